// The SDF opener and entry reader: the input is an archive. Every file the
// table names is read whole, streamed through QF_File and read in pieces
// through QF_FileStream, and the directory
// tree is walked from the root through every level. A lookup never answers a
// name with an entry of another key (QF_SDFNameKey).
#include <cstdint>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "fuzz_util.h"
#include "qfile/qf_file.h"
#include "qfile/qf_filestream.h"
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

static void locWalk(QF_SDFArchive* anArchive, const std::string& aPath, std::set<std::string>* aSeen, int* aBudget)
{
    std::string locKey = aPath;
    for (char& locChar : locKey)
        locChar = char(toupper((unsigned char) locChar));
    if (!aSeen->insert(locKey).second)
        abort();
    if (--*aBudget < 0 || !anArchive->myOpenFlag)
        return;
    QF_FileList locList;
    QF_SDF::ListArchiveDirectory(aPath.c_str(), anArchive, &locList);
    for (QF_FileList::Node* locNode = locList.myFirst; locNode; locNode = locNode->myNext)
    {
        if (locNode->myIsDirectory)
            locWalk(anArchive, aPath.empty() ? locNode->myName : aPath + "/" + locNode->myName, aSeen, aBudget);
    }
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
            // As the archive tool shows it: valid UTF-8 whatever the bytes.
            const std::string locShown = QF_SDFNameToUtf8(locPath);
            if (locShown.size() > 3 * strlen(locPath))
                abort();
            // The key that the writer refuses pairs by is the readers' own: the
            // shown name is one name with the stored one, and a lookup in
            // another a-z case finds an entry of the same key.
            const std::string locKey = QF_SDFNameKey(locPath);
            if (QF_SDFNameKey(locShown.c_str()) != locKey)
                abort();
            std::string locOtherCase = locPath;
            for (char& locChar : locOtherCase)
                locChar = char(locChar >= 'a' && locChar <= 'z'   ? locChar - 32
                               : locChar >= 'A' && locChar <= 'Z' ? locChar + 32
                                                                  : locChar);
            QF_SDFFileRecord locFound;
            if (QF_SDF::FindFile(locOtherCase.c_str(), &locFound, 1))
            {
                char locFoundPath[600];
                snprintf(locFoundPath, sizeof(locFoundPath), locFound.myDirectory[0] ? "%s/%s" : "%s%s",
                         locFound.myDirectory, locFound.myName);
                if (QF_SDFNameKey(locFoundPath) != locKey)
                    abort();
            }
            locReadEntry(locPath, OPEN_READ);
            locReadEntry(locPath, OPEN_READ | OPEN_STREAMING);
            // In pieces, unpacking as it goes.
            QF_FileStream locStream;
            if (locStream.Open(locPath))
            {
                uint8_t locPiece[1000];
                while (locStream.Read(locPiece, sizeof(locPiece)) > 0)
                {
                }
            }
            // A failed read closes the archive for lookups; opening it again reloads it.
            if (!locArchive->myOpenFlag)
                break;
        }
        // Every level from the root down, as the archive tool lists it; a
        // directory met twice means the opener let a cycle through.
        std::set<std::string> locSeen;
        int locBudget = 256;
        locWalk(locArchive, "", &locSeen, &locBudget);
        QF_FileList* locRootList = QF_File::ListDirectory("");
        delete locRootList;
    }
    QF_SDF::Close(nullptr);
    return 0;
}
