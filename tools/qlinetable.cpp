// qlinetable: appends the line-number table to a linked program, as a
// post-build step. Usage: qlinetable [-v] <program>
#include "platform/os/os_cmdline.h"

#include "tools/lt_linetable.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    static const OS_Option ourOptions[] = {{"-v", false}};
    static const OS_CommandLine ourLine = {
        "qlinetable",
        "usage: qlinetable [-v] PROGRAM\n"
        "Appends the line-number table made from PROGRAM's DWARF line information\n"
        "to PROGRAM, for its crash reports.\n"
        "  -v          print the table's size\n"
        "  -h, --help  this text\n",
        ourOptions, 1, false};
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (locArguments.myOperands.size() != 1)
        return OS_RefuseCommandLine(ourLine, "one program");
    const bool locVerbose = locArguments.Has("-v");
    const char* locPath = locArguments.myOperands[0];

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
