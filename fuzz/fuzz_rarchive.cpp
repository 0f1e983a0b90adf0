// Directory-block archives: the input is an archive file, registered mapped
// and unmapped. Its tree is listed and every file found is looked up, read
// out of the archive and opened through the file object.
#include <cstdint>
#include <string>

#include "fuzz_util.h"
#include "qfile/render/qf_file.h"

static void locWalk(QF_ArchiveEntry* anEntry, const std::string& aDirectory, int aDepth, int* aBudget)
{
    QF_ArchiveListNode* locList = nullptr;
    QF_File::ListArchiveDirectory(aDirectory.c_str(), anEntry, &locList);
    for (QF_ArchiveListNode* locNode = locList; locNode && *aBudget > 0; locNode = locNode->myNext)
    {
        --*aBudget;
        std::string locPath = aDirectory.empty() ? locNode->myName : aDirectory + "/" + locNode->myName;
        if (locNode->myIsDirectory)
        {
            if (aDepth < 4)
                locWalk(anEntry, locPath, aDepth + 1, aBudget);
            continue;
        }
        QF_ArchiveRecord locRecord;
        uint8_t* locBuffer = nullptr;
        uint32_t locBufferSize = 0;
        bool locNotOwned = false;
        if (QF_File::LookupInArchive(anEntry, locPath.c_str(), &locRecord, &locBuffer, &locBufferSize, &locNotOwned))
        {
            volatile uint8_t locSum = 0;
            for (uint32_t i = 0; i < locBufferSize; i++)
                locSum += locBuffer[i];
            if (!locNotOwned)
                delete[] locBuffer;
        }
        for (uint32_t locMode : {uint32_t(QF_READ), uint32_t(QF_READ | QF_MAPPED)})
        {
            QF_File locFile;
            if (locFile.Open(locPath.c_str(), locMode))
            {
                char locLine[64];
                locFile.ReadLine(locLine, sizeof(locLine));
                locFile.Close();
            }
        }
        QF_File locStream;
        if (locStream.OpenStreaming(locPath.c_str()))
        {
            uint8_t locChunk[64];
            locStream.Read(locChunk, sizeof(locChunk));
            locStream.Close();
        }
        // A failed read closes the archive until it is opened again.
        if (!anEntry->myIsOpen)
            QF_File::ReopenArchive(anEntry);
    }
    QF_File::FreeArchiveList(locList);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const std::string locPath = FuzzScratch::Write("fuzz.pak", aData, aSize);
    FuzzScratch::Inside locInside;
    for (bool locNoMapping : {false, true})
    {
        if (QF_File::AddArchive(locPath.c_str(), locNoMapping, 1))
        {
            int locBudget = 64;
            locWalk(QF_File::GetFirstArchive(), "", 0, &locBudget);
        }
        QF_File::CloseAllArchives();
    }
    return 0;
}
