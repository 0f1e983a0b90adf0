// Directory-block archives of the renderer build: the registry, opening, and
// lookups and listings that check every size, offset and name they read.
#include <ctype.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>
#include <new>
#include <vector>

#include "qfile/render/qf_archive_local.h"
#include "qfile/render/qf_file.h"

namespace
{
QF_ArchiveEntry* locFirstArchive = nullptr;

constexpr int locMaxSeparators = 31;

uint32_t locReadLE32(const uint8_t* aBytes)
{
    return (uint32_t)aBytes[0] | ((uint32_t)aBytes[1] << 8) | ((uint32_t)aBytes[2] << 16) |
           ((uint32_t)aBytes[3] << 24);
}

char* locUpperCopy(const char* aText)
{
    size_t locLength = strlen(aText);
    char* locCopy = new (std::nothrow) char[locLength + 1];
    if (!locCopy)
        return nullptr;
    for (size_t i = 0; i <= locLength; i++)
        locCopy[i] = (char)toupper((unsigned char)aText[i]);
    return locCopy;
}

// Releases the handles and the view; the name stays.
void locCloseHandles(QF_ArchiveEntry* anEntry)
{
    if (anEntry->myMapping)
    {
        OS_UnmapFile(anEntry->myMapping->myAddress, anEntry->myMapping->mySize);
        delete anEntry->myMapping;
        anEntry->myMapping = nullptr;
    }
    anEntry->myView = nullptr;
    if (anEntry->myFileHandle)
    {
        OS_CloseFile(*anEntry->myFileHandle);
        delete anEntry->myFileHandle;
        anEntry->myFileHandle = nullptr;
    }
    anEntry->myIsOpen = 0;
}

void locUnlink(QF_ArchiveEntry* anEntry)
{
    if (anEntry->myPrevious)
        anEntry->myPrevious->myNext = anEntry->myNext;
    else if (locFirstArchive == anEntry)
        locFirstArchive = anEntry->myNext;
    if (anEntry->myNext)
        anEntry->myNext->myPrevious = anEntry->myPrevious;
    anEntry->myNext = anEntry->myPrevious = nullptr;
}

// A read failure makes the archive unusable until it is refreshed or reopened.
bool locFail(QF_ArchiveEntry* anEntry, int anError)
{
    anEntry->myIsOpen = 0;
    QF_ErrorCode = anError;
    return false;
}

bool locReadAt(QF_ArchiveEntry* anEntry, void* aDestination, uint64_t aCount, uint64_t anOffset)
{
    if (anOffset + aCount > anEntry->myFileSize)
        return false;
    return OS_ReadFileAt(*anEntry->myFileHandle, aDestination, aCount, anOffset) == (int64_t)aCount;
}

// A scrambled 4-byte unit of the directory structure.
bool locReadWord(QF_ArchiveEntry* anEntry, uint64_t anOffset, uint32_t* aValue)
{
    uint8_t locBytes[4];
    if (!locReadAt(anEntry, locBytes, 4, anOffset))
        return false;
    QF_File::ScrambleBlock(4, locBytes, anEntry->myVersion);
    *aValue = locReadLE32(locBytes);
    return true;
}

struct DirEntry
{
    const char* myName;   // into the level's block
    uint32_t mySize;      // file: stored size; directory: entry count
    uint32_t myOffset;    // file: data; directory: its block size word
    uint8_t myFlags;      // bit 0: directory
};

// One directory level: the block at anOffset (its size word first) holding
// aCount entries. False (archive closed, error 1) when anything in it does not
// fit in the block or the file.
bool locReadLevel(QF_ArchiveEntry* anEntry, uint64_t anOffset, uint32_t aCount, std::vector<uint8_t>& aBlock,
                  std::vector<DirEntry>& anEntries)
{
    uint32_t locBlockSize;
    if (!locReadWord(anEntry, anOffset, &locBlockSize))
        return locFail(anEntry, QF_ERROR_READ);
    if ((uint64_t)locBlockSize > anEntry->myFileSize || (uint64_t)aCount * 4 > locBlockSize)
        return locFail(anEntry, QF_ERROR_READ);
    aBlock.resize(locBlockSize + 1);
    if (!locReadAt(anEntry, aBlock.data(), locBlockSize, anOffset + 4))
        return locFail(anEntry, QF_ERROR_READ);
    QF_File::ScrambleBlock(locBlockSize, aBlock.data(), anEntry->myVersion);
    aBlock[locBlockSize] = 0;

    anEntries.clear();
    anEntries.reserve(aCount);
    const uint8_t* locBlock = aBlock.data();
    for (uint32_t i = 0; i < aCount; i++)
    {
        uint32_t locEntryOffset = locReadLE32(locBlock + 4 * i);
        // size, offset, flags and at least the name's terminator
        if ((uint64_t)locEntryOffset + 10 > locBlockSize)
            return locFail(anEntry, QF_ERROR_READ);
        const uint8_t* locRecord = locBlock + locEntryOffset;
        const char* locName = (const char*)locRecord + 9;
        if (!memchr(locName, 0, locBlockSize - (locEntryOffset + 9)))
            return locFail(anEntry, QF_ERROR_READ);
        DirEntry locEntry = {locName, locReadLE32(locRecord), locReadLE32(locRecord + 4), locRecord[8]};
        uint64_t locExtent = (locEntry.myFlags & 1) ? 4 : locEntry.mySize;
        if ((uint64_t)locEntry.myOffset + locExtent > anEntry->myFileSize)
            return locFail(anEntry, QF_ERROR_READ);
        anEntries.push_back(locEntry);
    }
    return true;
}

// Cuts an upper-cased copy of aPath into its components. False for more than
// 31 separators.
bool locSplitPath(const char* aPath, std::vector<char>& aCopy, std::vector<const char*>& aComponents)
{
    size_t locLength = strlen(aPath);
    aCopy.assign(aPath, aPath + locLength + 1);
    int locSeparators = 0;
    for (size_t i = 0; i < locLength; i++)
        if (aCopy[i] == '/' || aCopy[i] == '\\')
            locSeparators++;
    if (locSeparators > locMaxSeparators)
        return false;
    aComponents.clear();
    char* locStart = aCopy.data();
    for (size_t i = 0; i <= locLength; i++)
    {
        char& c = aCopy[i];
        if (c == '/' || c == '\\' || c == 0)
        {
            c = 0;
            if (*locStart)
                aComponents.push_back(locStart);
            locStart = &c + 1;
        }
        else
            c = (char)toupper((unsigned char)c);
    }
    return true;
}

uint64_t locRootOffset(const QF_ArchiveEntry* anEntry)
{
    return anEntry->myVersion > 5 ? 8 : 4;
}

// Walks down aDirectories (directory entries only) from the root; on success
// anEntries holds the entries of the directory reached.
bool locWalk(QF_ArchiveEntry* anEntry, const std::vector<const char*>& aDirectories, size_t aDepth,
             std::vector<uint8_t>& aBlock, std::vector<DirEntry>& anEntries)
{
    uint64_t locOffset = locRootOffset(anEntry);
    uint32_t locCount;
    if (!locReadWord(anEntry, locOffset, &locCount))
        return locFail(anEntry, QF_ERROR_READ);
    locOffset += 4;
    for (size_t locLevel = 0;; locLevel++)
    {
        if (!locReadLevel(anEntry, locOffset, locCount, aBlock, anEntries))
            return false;
        if (locLevel == aDepth)
            return true;
        const DirEntry* locFound = nullptr;
        for (const DirEntry& locDir : anEntries)
            if ((locDir.myFlags & 1) && strcmp(locDir.myName, aDirectories[locLevel]) == 0)
            {
                locFound = &locDir;
                break;
            }
        if (!locFound)
        {
            QF_ErrorCode = QF_ERROR_NOT_FOUND;
            return false;
        }
        locOffset = locFound->myOffset;
        locCount = locFound->mySize;
    }
}
} // namespace

OS_FileHandle QF_DuplicateHandle(OS_FileHandle aHandle)
{
    int locHandle = dup(aHandle);
    return locHandle < 0 ? OS_INVALID_HANDLE : locHandle;
}

void QF_File::ScrambleBlock(uint32_t aSize, void* aData, uint32_t aVersion)
{
    uint32_t locKey;
    if (aVersion == 5 || aVersion == 6)
        locKey = ~aSize ^ 0x3a9c6e15u;
    else if (aVersion == 7)
        locKey = ~aSize ^ 0x51c7a2e9u;
    else
        locKey = aVersion;
    QF_ScrambleWithKey(aData, aSize, locKey);
}

QF_ArchiveEntry* QF_File::GetFirstArchive()
{
    return locFirstArchive;
}

bool QF_File::AddArchive(const char* aName, bool aNoMapping, int aPriority)
{
    if (!aName)
        return false;
    QF_ArchiveEntry* locEntry = new (std::nothrow) QF_ArchiveEntry();
    if (!locEntry)
        return false;
    locEntry->myNoMapping = aNoMapping ? 1 : 0;
    locEntry->myPriority = aPriority ? 1 : 0;
    locEntry->myNext = locFirstArchive;
    if (locFirstArchive)
        locFirstArchive->myPrevious = locEntry;
    locFirstArchive = locEntry;
    if (OpenArchive(locEntry, aName))
        return true;
    CloseArchive(locEntry);
    locUnlink(locEntry);
    delete locEntry;
    return false;
}

bool QF_File::OpenArchive(QF_ArchiveEntry* anEntry, const char* aName)
{
    char* locName = aName ? locUpperCopy(aName) : nullptr;
    CloseArchive(anEntry);
    // Kept even when opening fails, so that a refresh can try again.
    anEntry->myName = locName;
    if (!locName)
        return locFail(anEntry, QF_ERROR_NOT_FOUND);
    OS_FileHandle locHandle = OS_OpenFile(aName, OS_OPEN_READ);
    if (locHandle == OS_INVALID_HANDLE)
        return locFail(anEntry, QF_ERROR_NOT_FOUND);
    anEntry->myFileHandle = new int(locHandle);
    OS_FileInfo locInfo;
    if (!OS_GetHandleInfo(locHandle, &locInfo) || locInfo.myIsDirectory)
    {
        locCloseHandles(anEntry);
        return locFail(anEntry, QF_ERROR_READ);
    }
    anEntry->myFileSize = locInfo.mySize;

    uint8_t locHeader[4];
    if (!locReadAt(anEntry, locHeader, 4, 0))
    {
        locCloseHandles(anEntry);
        return locFail(anEntry, QF_ERROR_READ);
    }
    uint8_t locMode = locHeader[3];
    if (locHeader[0] != 'K' || locHeader[1] != 'O' || locHeader[2] != 'L' ||
        (locMode != 0x07 && locMode != 0x47 && locMode != 0x87 && locMode != 0xC7))
    {
        locCloseHandles(anEntry);
        return locFail(anEntry, QF_ERROR_ARCHIVE_HEADER);
    }
    anEntry->myVersion = locMode & 0x3f;
    anEntry->myDataFlags = 0;
    if (locMode & 0x40)
        anEntry->myDataFlags |= QF_FLAG_SCRAMBLED;
    if (locMode & 0x80)
        anEntry->myDataFlags |= QF_FLAG_COMPRESSED;
    if (!anEntry->myDataFlags)
        anEntry->myDataFlags = QF_FLAG_MAPPED;

    if (anEntry->myVersion > 5)
    {
        uint8_t locSizeWord[4];
        if (!locReadAt(anEntry, locSizeWord, 4, 4))
        {
            locCloseHandles(anEntry);
            return locFail(anEntry, QF_ERROR_READ);
        }
        if (locReadLE32(locSizeWord) != anEntry->myFileSize)
        {
            locCloseHandles(anEntry);
            return locFail(anEntry, QF_ERROR_ARCHIVE_SIZE);
        }
    }

    if (anEntry->myDataFlags == QF_FLAG_MAPPED && !anEntry->myNoMapping)
    {
        const void* locAddress = nullptr;
        uint64_t locSize = 0;
        if (OS_MapFile(locHandle, &locAddress, &locSize) && locAddress)
        {
            anEntry->myMapping = new QF_Mapping{locAddress, locSize};
            anEntry->myView = (const uint8_t*)locAddress;
        }
        else
            anEntry->myNoMapping = 1;
    }
    anEntry->myIsOpen = 1;
    return true;
}

void QF_File::CloseArchive(QF_ArchiveEntry* anEntry)
{
    locCloseHandles(anEntry);
    delete[] anEntry->myName;
    anEntry->myName = nullptr;
}

void QF_File::DestroyEntry(QF_ArchiveEntry* anEntry)
{
    CloseArchive(anEntry);
    locUnlink(anEntry);
    delete anEntry;
}

void QF_File::CloseAllArchives()
{
    while (locFirstArchive)
        DestroyEntry(locFirstArchive);
}

bool QF_File::ReopenArchive(QF_ArchiveEntry* anEntry)
{
    if (!anEntry->myName)
        return false;
    std::vector<char> locName(anEntry->myName, anEntry->myName + strlen(anEntry->myName) + 1);
    return OpenArchive(anEntry, locName.data());
}

bool QF_File::RefreshArchives()
{
    bool locResult = true;
    for (QF_ArchiveEntry* locEntry = locFirstArchive; locEntry; locEntry = locEntry->myNext)
    {
        OS_FileHandle locProbe = locEntry->myName ? OS_OpenFile(locEntry->myName, OS_OPEN_READ) : OS_INVALID_HANDLE;
        if (locProbe == OS_INVALID_HANDLE)
        {
            locCloseHandles(locEntry);
            locResult = false;
            continue;
        }
        OS_CloseFile(locProbe);
        if (!locEntry->myIsOpen)
            ReopenArchive(locEntry);
    }
    return locResult;
}

QF_ArchiveEntry* QF_File::FindArchive(const char* aName)
{
    for (QF_ArchiveEntry* locEntry = locFirstArchive; locEntry; locEntry = locEntry->myNext)
        if (aName && locEntry->myName && strcasecmp(locEntry->myName, aName) == 0)
            return locEntry;
    return nullptr;
}

bool QF_File::LookupInArchive(QF_ArchiveEntry* anEntry, const char* aPath, QF_ArchiveRecord* aRecord,
                              uint8_t** aBuffer, uint32_t* aBufferSize, bool* aNotOwned)
{
    if (aNotOwned)
        *aNotOwned = false;
    std::vector<char> locCopy;
    std::vector<const char*> locComponents;
    if (!aPath || !locSplitPath(aPath, locCopy, locComponents) || locComponents.empty())
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    if (!anEntry->myIsOpen || !anEntry->myFileHandle)
        return false;

    std::vector<uint8_t> locBlock;
    std::vector<DirEntry> locEntries;
    if (!locWalk(anEntry, locComponents, locComponents.size() - 1, locBlock, locEntries))
        return false;
    const DirEntry* locFile = nullptr;
    for (const DirEntry& locCandidate : locEntries)
        if (strcmp(locCandidate.myName, locComponents.back()) == 0)
        {
            locFile = &locCandidate;
            break;
        }
    if (!locFile || (locFile->myFlags & 1))
        return false;

    aRecord->mySize = locFile->mySize;
    aRecord->myOffset = locFile->myOffset;
    aRecord->myFlags = locFile->myFlags;
    if (!aBuffer)
        return true;

    if (anEntry->myView)
    {
        *aBuffer = (uint8_t*)anEntry->myView + locFile->myOffset;
        *aBufferSize = locFile->mySize;
        if (aNotOwned)
            *aNotOwned = true;
        return true;
    }
    uint8_t* locData = new (std::nothrow) uint8_t[locFile->mySize > 0 ? locFile->mySize : 1];
    if (!locData)
        return locFail(anEntry, QF_ERROR_READ);
    if (!locReadAt(anEntry, locData, locFile->mySize, locFile->myOffset))
    {
        delete[] locData;
        return locFail(anEntry, QF_ERROR_READ);
    }
    uint32_t locSize = locFile->mySize;
    if (anEntry->myDataFlags & QF_FLAG_SCRAMBLED)
        ScrambleBlock(locSize, locData, anEntry->myVersion);
    if (anEntry->myDataFlags & QF_FLAG_COMPRESSED)
    {
        uint8_t* locUnpacked;
        uint32_t locUnpackedSize;
        bool locInflated = QF_InflateStored(locData, locSize, &locUnpacked, &locUnpackedSize);
        delete[] locData;
        if (!locInflated)
        {
            QF_ErrorCode = QF_ERROR_DECOMPRESSION;
            return false;
        }
        locData = locUnpacked;
        locSize = locUnpackedSize;
    }
    *aBuffer = locData;
    *aBufferSize = locSize;
    return true;
}

bool QF_File::ListArchiveDirectory(const char* aPath, QF_ArchiveEntry* anEntry, QF_ArchiveListNode** aList)
{
    std::vector<char> locCopy;
    std::vector<const char*> locComponents;
    if (!locSplitPath(aPath ? aPath : "", locCopy, locComponents))
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    if (!anEntry->myIsOpen || !anEntry->myFileHandle)
        return false;
    std::vector<uint8_t> locBlock;
    std::vector<DirEntry> locEntries;
    if (!locWalk(anEntry, locComponents, locComponents.size(), locBlock, locEntries))
        return false;

    QF_ArchiveListNode** locTail = aList;
    while (*locTail)
        locTail = &(*locTail)->myNext;
    for (const DirEntry& locEntry : locEntries)
    {
        bool locListed = false;
        for (QF_ArchiveListNode* locNode = *aList; locNode && !locListed; locNode = locNode->myNext)
            locListed = strcasecmp(locNode->myName, locEntry.myName) == 0;
        if (locListed)
            continue;
        QF_ArchiveListNode* locNode = new (std::nothrow) QF_ArchiveListNode{locUpperCopy(locEntry.myName), (locEntry.myFlags & 1) != 0, nullptr};
        if (!locNode || !locNode->myName)
        {
            delete locNode;
            return false;
        }
        *locTail = locNode;
        locTail = &locNode->myNext;
    }
    return true;
}

void QF_File::FreeArchiveList(QF_ArchiveListNode* aList)
{
    while (aList)
    {
        QF_ArchiveListNode* locNext = aList->myNext;
        delete[] aList->myName;
        delete aList;
        aList = locNext;
    }
}
