// qlinetable: appends the line-number table to a linked program, as a
// post-build step. Usage: qlinetable [-v] <program>
#include "tools/lt_linetable.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    bool locVerbose = false;
    const char* locPath = nullptr;
    int locNumPaths = 0;
    for (int i = 1; i < argc; i++)
    {
        if (strcmp(argv[i], "-v") == 0)
            locVerbose = true;
        else
        {
            locPath = argv[i];
            locNumPaths++;
        }
    }
    if (locNumPaths != 1)
    {
        fprintf(stderr, "usage: qlinetable [-v] <program>\n");
        return 2;
    }

    std::string locError;
    std::vector<LT_LineRow> locRows;
    uint64_t locElfEnd = 0;
    if (!LT_ReadLineRows(locPath, &locRows, &locError) || !LT_GetElfEnd(locPath, &locElfEnd, &locError))
    {
        fprintf(stderr, "qlinetable: %s\n", locError.c_str());
        return 1;
    }
    LT_TableStats locStats;
    std::vector<uint8_t> locBlock = LT_PackBlock(LT_BuildTable(locRows, &locStats), 0);
    // A table appended by an earlier run is replaced, not stacked.
    if (!LT_StripBlocks(locPath, locElfEnd, nullptr, &locError) || !LT_AppendToFile(locPath, locBlock, &locError))
    {
        fprintf(stderr, "qlinetable: %s\n", locError.c_str());
        return 1;
    }
    if (locStats.myNumRecords == 0)
        fprintf(stderr, "qlinetable: warning: %s has no line information\n", locPath);
    if (locStats.myNumDroppedRows > 0)
        fprintf(stderr, "qlinetable: warning: %d rows left out, the source names pass 128 KB\n", locStats.myNumDroppedRows);
    if (locVerbose)
        printf("qlinetable: %s: %d records, %d source files (%d bytes), %zu bytes appended\n", locPath,
               locStats.myNumRecords, locStats.myNumNames, locStats.myNamesSize, locBlock.size());
    return 0;
}
