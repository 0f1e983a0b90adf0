// The SDF opener and entry reader: the input is an archive. Every file the
// table names is read whole and streamed through QF_File, and every directory
// is listed.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_util.h"
#include "qfile/qf_file.h"
#include "qfile/qf_sdf.h"

static void locReadEntry(const char* aPath, uint32_t aMode)
{
    QF_File locFile;
    if (!locFile.Open(aPath, aMode))
        return;
    uint8_t locChunk[4096];
    while (locFile.Read(locChunk, sizeof(locChunk)) == sizeof(locChunk))
    {
    }
    locFile.Seek(0, 0);
    char locLine[256];
    locFile.ReadLine(locLine, sizeof(locLine));
    locFile.Close();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const std::string locArchivePath = FuzzScratch::Write("fuzz.sdf", aData, aSize);
    FuzzScratch::Inside locInside;
    QF_SDFArchive* locArchive = QF_SDF::OpenByName(locArchivePath.c_str(), 1);
    if (locArchive)
    {
        // Bounded so that a table of a million empty names stays quick.
        const uint32_t locFileCount = QF_SDF::GetFATWord(locArchive, locArchive->myFileTable);
        for (uint32_t i = 0; i < locFileCount && i < 64; i++)
        {
            QF_SDFFileRecord locRecord;
            if (!QF_SDF::GetFileRecord(locArchive, QF_SDF::GetFATWord(locArchive, locArchive->myFileTable + 8 + 8 * i),
                                       &locRecord))
                continue;
            char locPath[600];
            snprintf(locPath, sizeof(locPath), locRecord.myDirectory[0] ? "%s/%s" : "%s%s", locRecord.myDirectory,
                     locRecord.myName);
            uint32_t locTime = 0, locSize = 0;
            char locArchiveName[256];
            QF_File::GetFileInfo(locPath, &locTime, &locSize, locArchiveName);
            locReadEntry(locPath, OPEN_READ);
            locReadEntry(locPath, OPEN_READ | OPEN_STREAMING);
            // A failed read closes the archive for lookups; opening it again reloads it.
            if (!locArchive->myOpenFlag)
                break;
        }
        const uint32_t locDirCount = QF_SDF::GetFATWord(locArchive, locArchive->myDirTable);
        for (uint32_t i = 0; i < locDirCount && i < 64 && locArchive->myOpenFlag; i++)
        {
            const uint32_t locRecord = QF_SDF::GetFATWord(locArchive, locArchive->myDirTable + 8 + 8 * i);
            const uint32_t locSubCount = QF_SDF::GetFATWord(locArchive, locRecord);
            const uint64_t locFileCountAt = uint64_t(locRecord) + 4 + uint64_t(locSubCount) * 4;
            if (locFileCountAt > 0xFFFFFFF0u)
                continue;
            const uint64_t locPathAt = locFileCountAt + 4 + uint64_t(QF_SDF::GetFATWord(locArchive, uint32_t(locFileCountAt))) * 4;
            const char* locDirectory = locPathAt < 0xFFFFFFF0u ? QF_SDF::GetFATText(locArchive, uint32_t(locPathAt)) : nullptr;
            QF_FileList locList;
            QF_SDF::ListDirectory(locDirectory ? locDirectory : "", &locList, 1);
        }
        QF_FileList* locRootList = QF_File::ListDirectory("");
        delete locRootList;
    }
    QF_SDF::Close(nullptr);
    return 0;
}
