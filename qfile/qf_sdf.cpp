// SDF entry lookup, loading and directory listing over the open-archive registry.
#include "qfile/qf_sdf.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"
#include "qpack/qp_pack.h"

namespace
{
constexpr OS_FileHandle INVALID_HANDLE_VALUE = OS_INVALID_HANDLE;
constexpr uint32_t locStoredSizeMask = 0x3FFFFFFF;
constexpr size_t locMaxPath = 255;

// The shared handle failed under us: later searches skip the archive until it is reopened.
bool locArchiveReadFailed(QF_SDFArchive* anArchive)
{
    anArchive->myOpenFlag = 0;
    QF_ErrorCode = QF_ERROR_READ;
    return false;
}
}

QF_SDFArchive* QF_SDF::ourFirstArchive = nullptr;

// [Names and the FAT]

uint32_t QF_SDF::HashName(const char* aPath, char* aNormalized)
{
    size_t locLength = 0;
    if (aPath)
        while (aPath[locLength] && locLength < locMaxPath)
        {
            aNormalized[locLength] = aPath[locLength] == '\\' ? '/' : aPath[locLength];
            ++locLength;
        }
    aNormalized[locLength] = 0;
    uint32_t locA = 1;
    uint32_t locB = 0;
    for (size_t locIndex = 0; locIndex < locLength; ++locIndex)
    {
        uint8_t locByte = static_cast<uint8_t>(aNormalized[locIndex]);
        if (locByte >= 'a' && locByte <= 'z')
            locByte = static_cast<uint8_t>(locByte - 'a' + 'A');
        locA = (locA + locByte) % 65521;
        locB = (locB + locA) % 65521;
    }
    return locA | (locB << 16);
}

uint32_t QF_SDF::GetFATWord(const QF_SDFArchive* anArchive, uint32_t anOffset)
{
    if (!anArchive->myFAT || uint64_t(anOffset) + 4 > anArchive->myFATSize)
        return 0;
    const uint8_t* locBytes = anArchive->myFAT + anOffset;
    return uint32_t(locBytes[0]) | (uint32_t(locBytes[1]) << 8) | (uint32_t(locBytes[2]) << 16) |
           (uint32_t(locBytes[3]) << 24);
}

const char* QF_SDF::GetFATText(const QF_SDFArchive* anArchive, uint32_t anOffset)
{
    if (!anArchive->myFAT || anOffset >= anArchive->myFATSize)
        return nullptr;
    const char* locText = reinterpret_cast<const char*>(anArchive->myFAT + anOffset);
    return memchr(locText, 0, anArchive->myFATSize - anOffset) ? locText : nullptr;
}

bool QF_SDF::GetFileRecord(const QF_SDFArchive* anArchive, uint32_t aRecordOffset, QF_SDFFileRecord* aRecord)
{
    if (uint64_t(aRecordOffset) + 20 > anArchive->myFATSize)
        return false;
    aRecord->myTime = GetFATWord(anArchive, aRecordOffset);
    aRecord->mySize = GetFATWord(anArchive, aRecordOffset + 4);
    aRecord->myPackedWord = GetFATWord(anArchive, aRecordOffset + 8);
    aRecord->myDataOffset = GetFATWord(anArchive, aRecordOffset + 12);
    aRecord->myDirectory = GetFATText(anArchive, GetFATWord(anArchive, aRecordOffset + 16));
    aRecord->myName = GetFATText(anArchive, aRecordOffset + 20);
    return aRecord->myDirectory && aRecord->myName;
}

bool QF_SDF::IsSearched(const QF_SDFArchive* anArchive, uint8_t aPriority)
{
    return anArchive->myOpenFlag && anArchive->myPriority == aPriority && anArchive->myFileHand != INVALID_HANDLE_VALUE &&
           anArchive->myFAT;
}

// [Lookup and loading]

bool QF_SDF::FindEntry(QF_SDFArchive* anArchive, uint32_t aHash, const char* aNormalizedPath,
                       QF_SDFFileRecord* aRecord, QF_File* aFile)
{
    uint32_t locCount = GetFATWord(anArchive, anArchive->myFileTable);
    for (uint32_t locIndex = 0; locIndex < locCount; ++locIndex)
    {
        uint64_t locPair = uint64_t(anArchive->myFileTable) + 4 + uint64_t(locIndex) * 8;
        if (locPair + 8 > anArchive->myFATSize)
            break;
        if (GetFATWord(anArchive, static_cast<uint32_t>(locPair)) != aHash)
            continue;
        QF_SDFFileRecord locRecord;
        if (!GetFileRecord(anArchive, GetFATWord(anArchive, static_cast<uint32_t>(locPair + 4)), &locRecord))
            continue;
        const char* locLeaf = aNormalizedPath;
        size_t locDirLength = strlen(locRecord.myDirectory);
        if (locDirLength)
        {
            if (strncasecmp(aNormalizedPath, locRecord.myDirectory, locDirLength) != 0 ||
                aNormalizedPath[locDirLength] != '/')
                continue;
            locLeaf = aNormalizedPath + locDirLength + 1;
        }
        if (strcasecmp(locLeaf, locRecord.myName) != 0)
            continue;
        if (aRecord)
            *aRecord = locRecord;
        return aFile ? LoadEntry(anArchive, locRecord, aFile) : true;
    }
    return false;
}

bool QF_SDF::LoadEntry(QF_SDFArchive* anArchive, const QF_SDFFileRecord& aRecord, QF_File* aFile)
{
    const uint32_t locMethod = aRecord.myPackedWord >> 30;
    const uint32_t locStored = aRecord.myPackedWord & locStoredSizeMask;
    const uint32_t locSpan = locMethod == QF_SDF_STORED ? aRecord.mySize : locStored;
    aFile->myFileSize = aFile->myCapacity = aRecord.mySize;
    aFile->myTime = aRecord.myTime;
    if (locMethod != QF_SDF_STORED)
        aFile->myFlags &= ~uint32_t(OPEN_STREAMING);

    // The record's extent is checked against the archive before anything is allocated.
    OS_FileInfo locInfo;
    if (!OS_GetHandleInfo(anArchive->myFileHand, &locInfo) || uint64_t(aRecord.myDataOffset) + locSpan > locInfo.mySize)
        return locArchiveReadFailed(anArchive);

    if (aFile->myFlags & OPEN_STREAMING)
    {
        QC_ASSERT(aFile->myFileHand == INVALID_HANDLE_VALUE);
        OS_FileHandle locHandle = OS_OpenFile(anArchive->myName, OS_OPEN_READ);
        if (locHandle == INVALID_HANDLE_VALUE)
            aFile->myFlags &= ~uint32_t(OPEN_STREAMING);
        else
        {
            uint64_t locPos = 0;
            if (!OS_SeekFile(locHandle, aRecord.myDataOffset, 0, &locPos) || locPos != aRecord.myDataOffset)
            {
                OS_CloseFile(locHandle);
                return locArchiveReadFailed(anArchive);
            }
            aFile->myFileHand = locHandle;
            return true;
        }
    }

    aFile->myBuffer = static_cast<uint8_t*>(malloc(aRecord.mySize ? aRecord.mySize : 1));
    if (!aFile->myBuffer)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    if (locMethod == QF_SDF_STORED)
    {
        if (OS_ReadFileAt(anArchive->myFileHand, aFile->myBuffer, aRecord.mySize, aRecord.myDataOffset) !=
            int64_t(aRecord.mySize))
            return locArchiveReadFailed(anArchive);
        return true;
    }
    if (locMethod == QF_SDF_INVALID)
    {
        QF_ErrorCode = QF_ERROR_INVALID_METHOD;
        return false;
    }
    uint8_t* locPacked = static_cast<uint8_t*>(malloc(locStored ? locStored : 1));
    if (!locPacked)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    if (OS_ReadFileAt(anArchive->myFileHand, locPacked, locStored, aRecord.myDataOffset) != int64_t(locStored))
    {
        free(locPacked);
        return locArchiveReadFailed(anArchive);
    }
    bool locUnpacked = locMethod == QF_SDF_ZLIB
                           ? QP_Pack::DecompressZlib(aRecord.mySize, aFile->myBuffer, locStored, locPacked) == aRecord.mySize
                           : QP_Pack::DecompressLZMA(locPacked, locStored, aFile->myBuffer, aRecord.mySize);
    free(locPacked);
    // A bad entry leaves the archive usable.
    if (!locUnpacked)
        QF_ErrorCode = QF_ERROR_READ;
    return locUnpacked;
}

const char* QF_SDF::FindFile(const char* aPath, QF_SDFFileRecord* aRecord, uint8_t aPriority)
{
    char locPath[locMaxPath + 1];
    uint32_t locHash = HashName(aPath, locPath);
    for (QF_SDFArchive* locArchive = ourFirstArchive; locArchive; locArchive = locArchive->myNext)
        if (IsSearched(locArchive, aPriority) && FindEntry(locArchive, locHash, locPath, aRecord, nullptr))
            return locArchive->myName;
    return nullptr;
}

bool QF_SDF::OpenFile(const char* aPath, QF_File* aFile, uint8_t aPriority)
{
    char locPath[locMaxPath + 1];
    uint32_t locHash = HashName(aPath, locPath);
    const uint32_t locFlags = aFile->myFlags;
    for (QF_SDFArchive* locArchive = ourFirstArchive; locArchive; locArchive = locArchive->myNext)
    {
        if (!IsSearched(locArchive, aPriority))
            continue;
        QF_SDFFileRecord locRecord;
        if (FindEntry(locArchive, locHash, locPath, &locRecord, aFile))
            return true;
        // A failed load leaves no buffer or handle for the next archive to trip over.
        free(aFile->myBuffer);
        aFile->myBuffer = nullptr;
        if (aFile->myFileHand != INVALID_HANDLE_VALUE)
            OS_CloseFile(aFile->myFileHand);
        aFile->myFileHand = INVALID_HANDLE_VALUE;
        aFile->myFileSize = aFile->myCapacity = aFile->myTime = 0;
        aFile->myFlags = locFlags;
    }
    return false;
}

// [Listing]

bool QF_SDF::ListArchiveDirectory(const char* aDirectory, QF_SDFArchive* anArchive, QF_FileList* aList)
{
    if (anArchive->myFileHand == INVALID_HANDLE_VALUE || !anArchive->myFAT)
        return false;
    char locRequest[locMaxPath + 1];
    char locPath[locMaxPath + 1];
    size_t locLength = 0;
    if (aDirectory)
        while (aDirectory[locLength] && locLength < locMaxPath)
        {
            locRequest[locLength] = aDirectory[locLength];
            ++locLength;
        }
    // Archive paths carry no trailing separator.
    while (locLength > 0 && (locRequest[locLength - 1] == '/' || locRequest[locLength - 1] == '\\'))
        --locLength;
    locRequest[locLength] = 0;
    uint32_t locHash = HashName(locRequest, locPath);

    uint32_t locCount = GetFATWord(anArchive, anArchive->myDirTable);
    for (uint32_t locIndex = 0; locIndex < locCount; ++locIndex)
    {
        uint64_t locPair = uint64_t(anArchive->myDirTable) + 4 + uint64_t(locIndex) * 8;
        if (locPair + 8 > anArchive->myFATSize)
            break;
        if (GetFATWord(anArchive, static_cast<uint32_t>(locPair)) != locHash)
            continue;
        uint32_t locRecord = GetFATWord(anArchive, static_cast<uint32_t>(locPair + 4));
        uint64_t locSubCount = GetFATWord(anArchive, locRecord);
        uint64_t locFileCountAt = uint64_t(locRecord) + 4 + locSubCount * 4;
        if (locFileCountAt + 4 > anArchive->myFATSize)
            continue;
        uint64_t locFileCount = GetFATWord(anArchive, static_cast<uint32_t>(locFileCountAt));
        uint64_t locPathAt = locFileCountAt + 4 + locFileCount * 4;
        if (locPathAt >= anArchive->myFATSize)
            continue;
        const char* locDirPath = GetFATText(anArchive, static_cast<uint32_t>(locPathAt));
        if (!locDirPath || strcasecmp(locDirPath, locPath) != 0)
            continue;
        for (uint64_t locSub = 0; locSub < locSubCount; ++locSub)
        {
            const char* locName = GetFATText(anArchive, GetFATWord(anArchive, static_cast<uint32_t>(locRecord + 4 + locSub * 4)));
            if (locName)
                aList->Add(locName, 0, 0, true);
        }
        for (uint64_t locFile = 0; locFile < locFileCount; ++locFile)
        {
            QF_SDFFileRecord locEntry;
            if (GetFileRecord(anArchive, GetFATWord(anArchive, static_cast<uint32_t>(locFileCountAt + 4 + locFile * 4)), &locEntry))
                aList->Add(locEntry.myName, locEntry.mySize, locEntry.myTime, false);
        }
        return true;
    }
    return true;
}

bool QF_SDF::ListDirectory(const char* aDirectory, QF_FileList* aList, uint8_t aPriority)
{
    for (QF_SDFArchive* locArchive = ourFirstArchive; locArchive; locArchive = locArchive->myNext)
        if (IsSearched(locArchive, aPriority))
            ListArchiveDirectory(aDirectory, locArchive, aList);
    return true;
}

// [Registry entries]

QF_SDFArchive* QF_SDF::CreateEntry()
{
    QF_SDFArchive* locArchive = static_cast<QF_SDFArchive*>(calloc(1, sizeof(QF_SDFArchive)));
    if (!locArchive)
        return nullptr;
    locArchive->myRefCount = 1;
    locArchive->myFileHand = INVALID_HANDLE_VALUE;
    locArchive->myNext = ourFirstArchive;
    if (ourFirstArchive)
        ourFirstArchive->myPrevious = locArchive;
    ourFirstArchive = locArchive;
    return locArchive;
}

void QF_SDF::CloseArchive(QF_SDFArchive* anArchive)
{
    if (anArchive->myFileHand != INVALID_HANDLE_VALUE)
        OS_CloseFile(anArchive->myFileHand);
    anArchive->myFileHand = INVALID_HANDLE_VALUE;
    free(anArchive->myFAT);
    anArchive->myFAT = nullptr;
    anArchive->myFATSize = 0;
    free(anArchive->myName);
    anArchive->myName = nullptr;
    anArchive->myOpenFlag = 0;
}

void QF_SDF::DestroyEntry(QF_SDFArchive* anArchive)
{
    CloseArchive(anArchive);
    if (anArchive->myPrevious)
        anArchive->myPrevious->myNext = anArchive->myNext;
    else if (ourFirstArchive == anArchive)
        ourFirstArchive = anArchive->myNext;
    if (anArchive->myNext)
        anArchive->myNext->myPrevious = anArchive->myPrevious;
    anArchive->myNext = anArchive->myPrevious = nullptr;
}
