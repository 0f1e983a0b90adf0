// The renderer build's file object: opening, closing, reading and writing.
//
// [SECTION] Scrambling and compression
// [SECTION] Open and Close
// [SECTION] Reading
// [SECTION] Text readers
// [SECTION] Writing and positioning
// [SECTION] Streaming
// [SECTION] Names on disk
#include "qfile/render/qf_file.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <new>
#include <zlib.h>

#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"
#include "qcommon/qc_assert.h"
#include "qfile/render/qf_archive_local.h"

int QF_ErrorCode = QF_ERROR_NONE;

namespace
{
constexpr uint32_t locWriteGrowth = 65536;
// zlib cannot pack better than about 1032:1; a stored size beyond that is a lie.
constexpr uint64_t locMaxInflateRatio = 1032;

uint32_t locReadLE32(const uint8_t* aBytes)
{
    return (uint32_t)aBytes[0] | ((uint32_t)aBytes[1] << 8) | ((uint32_t)aBytes[2] << 16) |
           ((uint32_t)aBytes[3] << 24);
}

void locWriteLE32(uint8_t* aBytes, uint32_t aValue)
{
    aBytes[0] = (uint8_t)aValue;
    aBytes[1] = (uint8_t)(aValue >> 8);
    aBytes[2] = (uint8_t)(aValue >> 16);
    aBytes[3] = (uint8_t)(aValue >> 24);
}

char* locCopyText(const char* aText)
{
    size_t locLength = strlen(aText);
    char* locCopy = new (std::nothrow) char[locLength + 1];
    if (locCopy)
        memcpy(locCopy, aText, locLength + 1);
    return locCopy;
}
} // namespace

// [SECTION] Scrambling and compression

void QF_ScrambleWithKey(void* aData, uint32_t aSize, uint32_t aKey)
{
    uint8_t* locBytes = (uint8_t*)aData;
    uint32_t locKey = aKey;
    uint32_t r = aSize;
    while (r > 3)
    {
        locWriteLE32(locBytes, locReadLE32(locBytes) ^ locKey);
        uint32_t locRotate = locKey & 31;
        locKey = ((locKey >> locRotate) | (locKey << ((32 - locRotate) & 31))) ^ r;
        locBytes += 4;
        r -= 4;
    }
}

void QF_File::Scramble(void* aData, uint32_t aSize)
{
    QF_ScrambleWithKey(aData, aSize, ~aSize ^ 0x3a9c6e15u);
}

long QF_File::Compress(const void* aSource, uint32_t aSize, void* aDestination, long aDestinationSize)
{
    uLongf locLength = (uLongf)aDestinationSize;
    if (compress2((Bytef*)aDestination, &locLength, (const Bytef*)aSource, aSize, 9) != Z_OK)
        return -1;
    return (long)locLength;
}

uint32_t QF_File::Uncompress(const void* aSource, uint32_t aSize, void* aDestination, uint32_t anUnpackedSize)
{
    uLongf locLength = anUnpackedSize;
    if (uncompress((Bytef*)aDestination, &locLength, (const Bytef*)aSource, aSize) != Z_OK ||
        locLength != anUnpackedSize)
        return 0;
    return anUnpackedSize;
}

// Inflates "u32 unpacked size + zlib stream" into a new[] block. False for
// contents under 4 bytes, a size the stream cannot hold, or a stream that does
// not give exactly that size.
bool QF_InflateStored(const uint8_t* aStored, uint32_t aStoredSize, uint8_t** anOut, uint32_t* anOutSize)
{
    if (aStoredSize < 4)
        return false;
    uint32_t locUnpacked = locReadLE32(aStored);
    if ((uint64_t)locUnpacked > (uint64_t)(aStoredSize - 4) * locMaxInflateRatio + 64 || locUnpacked > 0x7fffffffu)
        return false;
    uint8_t* locBuffer = new (std::nothrow) uint8_t[locUnpacked > 0 ? locUnpacked : 1];
    if (!locBuffer)
        return false;
    uLongf locLength = locUnpacked;
    int locResult = uncompress(locBuffer, &locLength, aStored + 4, aStoredSize - 4);
    if (locResult != Z_OK || locLength != locUnpacked)
    {
        delete[] locBuffer;
        return false;
    }
    *anOut = locBuffer;
    *anOutSize = locUnpacked;
    return true;
}

// [SECTION] Open and Close

QF_File::QF_File()
{
    myStatus = QF_FILE_NOT_OPEN;
    myFlags = 0;
    myBuffer = nullptr;
    myFileSize = 0;
    myFilePos = 0;
    myFileTime = 0;
    myCapacity = 0;
    myFileHandle = nullptr;
    myMapping = nullptr;
    myLineState = 0;
    myStreamBase = 0;
    myWritePath = nullptr;
}

QF_File::QF_File(const char* aName, uint32_t aMode) : QF_File()
{
    Open(aName, aMode);
}

QF_File::~QF_File()
{
    if (IsOpen())
        Close();
    else
        Release();
}

// Frees the buffer (unless it is a view), the mapping and the handle.
void QF_File::Release()
{
    if (!(myFlags & QF_FLAG_NOT_OWNED))
        delete[] myBuffer;
    myBuffer = nullptr;
    if (myMapping)
    {
        OS_UnmapFile(myMapping->myAddress, myMapping->mySize);
        delete myMapping;
        myMapping = nullptr;
    }
    if (myFileHandle)
    {
        OS_CloseFile(*myFileHandle);
        delete myFileHandle;
        myFileHandle = nullptr;
    }
    delete[] myWritePath;
    myWritePath = nullptr;
    myFileSize = myCapacity = myFilePos = 0;
    myStreamBase = 0;
    myFlags = 0;
    myStatus = QF_FILE_NOT_OPEN;
}

// Closes what is open and refuses an empty name.
bool QF_File::PrepareOpen(const char* aName)
{
    if (IsOpen())
        Close();
    Release();
    QF_ErrorCode = QF_ERROR_NONE;
    if (aName && aName[0])
        return true;
    QF_ErrorCode = QF_ERROR_NOT_FOUND;
    return false;
}

bool QF_File::Open(const char* aName, uint32_t aMode)
{
    if (!PrepareOpen(aName))
        return false;

    bool locOpened;
    if (aMode & QF_WRITE)
        locOpened = OpenForWriting(aName, aMode);
    else if (aMode & QF_MAPPED)
        locOpened = OpenMapped(aName);
    else
        locOpened = OpenPlain(aName, aMode);
    if (!locOpened)
    {
        int locError = QF_ErrorCode;
        Release();
        QF_ErrorCode = locError;
        return false;
    }

    myFilePos = 0;
    myStatus = aMode & ~QF_CREATE_ALWAYS;
    if (aMode & QF_SCRAMBLED)
        myFlags |= QF_FLAG_SCRAMBLED;
    if (aMode & QF_COMPRESSED)
    {
        if (myFileSize > 0 && !Inflate())
        {
            Release();
            QF_ErrorCode = QF_ERROR_DECOMPRESSION;
            return false;
        }
        myFlags |= QF_FLAG_COMPRESSED;
    }
    if (aMode & QF_SWAP_BYTES)
        myFlags |= QF_FLAG_SWAP_BYTES;
    return true;
}

// Replaces the stored contents by their unpacked form. A read file lets go of
// its handle and mapping; a write file keeps its handle so that Close stores
// the edits.
bool QF_File::Inflate()
{
    uint8_t* locBuffer;
    uint32_t locSize;
    if (!QF_InflateStored(myBuffer, myFileSize, &locBuffer, &locSize))
        return false;
    if (!(myFlags & QF_FLAG_NOT_OWNED))
        delete[] myBuffer;
    myFlags &= ~QF_FLAG_NOT_OWNED;
    if (myMapping)
    {
        OS_UnmapFile(myMapping->myAddress, myMapping->mySize);
        delete myMapping;
        myMapping = nullptr;
    }
    if (myFileHandle && !(myStatus & QF_WRITE))
    {
        OS_CloseFile(*myFileHandle);
        delete myFileHandle;
        myFileHandle = nullptr;
    }
    myBuffer = locBuffer;
    myFileSize = myCapacity = locSize;
    return true;
}

bool QF_File::OpenForWriting(const char* aName, uint32_t aMode)
{
    CreatePath(aName);
    char locPath[1024];
    if (!OS_ResolvePath(aName, locPath, sizeof(locPath)))
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    // The file and its contents appear only at Close, through a temporary
    // file: a failed save leaves neither a new empty file nor a changed one.
    OS_FileHandle locHandle = OS_OpenFile(locPath, OS_OPEN_FOR_SAVE);
    if (locHandle == OS_INVALID_HANDLE)
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    myFileHandle = new int(locHandle);
    myWritePath = locCopyText(locPath);
    OS_FileInfo locInfo;
    if (!myWritePath || !OS_GetHandleInfo(locHandle, &locInfo) || locInfo.mySize > 0xffffffffu)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    myFileTime = locInfo.myWriteTime;
    myFlags = 0;
    if (aMode & QF_CREATE_ALWAYS || locInfo.mySize == 0)
        return true;

    return ReadContents((uint32_t)locInfo.mySize, aMode);
}

// Looks in the archives searched before the disk, on the disk, then in the others. A
// file found on the disk is left open in myFileHandle.
bool QF_File::OpenSource(const char* aName, bool aMapped)
{
    if (FindInArchives(aName, 1, aMapped))
        return true;
    OS_FileHandle locHandle = OS_OpenFile(aName, OS_OPEN_READ);
    if (locHandle == OS_INVALID_HANDLE)
    {
        if (FindInArchives(aName, 0, aMapped))
            return true;
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    myFileHandle = new int(locHandle);
    return true;
}

// Reads aSize bytes from the start of the open disk file into a buffer of its own.
bool QF_File::ReadContents(uint32_t aSize, uint32_t aMode)
{
    myBuffer = new (std::nothrow) uint8_t[aSize > 0 ? aSize : 1];
    if (!myBuffer)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    myCapacity = aSize;
    int64_t locRead = aSize > 0 ? OS_ReadFileAt(*myFileHandle, myBuffer, aSize, 0) : 0;
    myFileSize = locRead > 0 ? (uint32_t)locRead : 0;
    if (locRead != (int64_t)aSize)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    if (aMode & QF_SCRAMBLED)
        Scramble(myBuffer, myFileSize);
    return true;
}

bool QF_File::OpenMapped(const char* aName)
{
    if (!OpenSource(aName, true))
        return false;
    if (!myFileHandle)
        return true; // from an archive
    OS_FileHandle locHandle = *myFileHandle;
    OS_FileInfo locInfo;
    const void* locAddress = nullptr;
    uint64_t locSize = 0;
    if (!OS_GetHandleInfo(locHandle, &locInfo) || locInfo.mySize > 0xffffffffu ||
        !OS_MapFile(locHandle, &locAddress, &locSize))
    {
        QF_ErrorCode = QF_ERROR_MAPPING;
        return false;
    }
    myFileTime = locInfo.myWriteTime;
    myMapping = new QF_Mapping{locAddress, locSize};
    myBuffer = (uint8_t*)locAddress;
    myFileSize = myCapacity = (uint32_t)locSize;
    myFlags = QF_FLAG_MAPPED | QF_FLAG_NOT_OWNED;
    return true;
}

bool QF_File::OpenPlain(const char* aName, uint32_t aMode)
{
    if (!OpenSource(aName, false))
        return false;
    if (!myFileHandle)
        return true; // from an archive
    OS_FileHandle locHandle = *myFileHandle;
    OS_FileInfo locInfo;
    if (!OS_GetHandleInfo(locHandle, &locInfo) || locInfo.myIsDirectory || locInfo.mySize > 0xffffffffu)
    {
        QF_ErrorCode = locInfo.myIsDirectory ? QF_ERROR_NOT_FOUND : QF_ERROR_READ;
        return false;
    }
    myFileTime = locInfo.myWriteTime;
    if (!ReadContents((uint32_t)locInfo.mySize, aMode))
        return false;
    OS_CloseFile(locHandle);
    delete myFileHandle;
    myFileHandle = nullptr;
    myFlags = 0;
    return true;
}

bool QF_File::FindInArchives(const char* aName, int aPriority, bool aMapped)
{
    for (QF_ArchiveEntry* locEntry = GetFirstArchive(); locEntry; locEntry = locEntry->myNext)
    {
        if (!locEntry->myIsOpen || locEntry->myPriority != aPriority)
            continue;
        QF_ArchiveRecord locRecord;
        uint8_t* locBuffer = nullptr;
        uint32_t locSize = 0;
        bool locNotOwned = false;
        if (!LookupInArchive(locEntry, aName, &locRecord, &locBuffer, &locSize, &locNotOwned))
            continue;
        myBuffer = locBuffer;
        myFileSize = myCapacity = locSize;
        myFileTime = 0;
        myFlags = aMapped ? QF_FLAG_MAPPED : QF_FLAG_ARCHIVE;
        if (locNotOwned)
            myFlags |= QF_FLAG_NOT_OWNED;
        return true;
    }
    return false;
}

bool QF_File::Close()
{
    myLineState = 0;
    if (!IsOpen())
    {
        QF_ErrorCode = QF_ERROR_NOT_OPEN;
        return false;
    }
    bool locResult = true;
    if ((myStatus & QF_WRITE) && myFileHandle && myWritePath)
    {
        const uint8_t* locData = myBuffer;
        uint32_t locSize = myFileSize;
        uint8_t* locPacked = nullptr;
        if ((myFlags & QF_FLAG_COMPRESSED) && myFileSize > 0)
        {
            long locBound = GetCompressBound(myFileSize) + 4;
            locPacked = new (std::nothrow) uint8_t[locBound];
            long locLength = locPacked ? Compress(myBuffer, myFileSize, locPacked + 4, locBound - 4) : -1;
            if (locLength < 0)
                locResult = false;
            else
            {
                locWriteLE32(locPacked, myFileSize);
                locData = locPacked;
                locSize = (uint32_t)locLength + 4;
                if (myFlags & QF_FLAG_SCRAMBLED)
                    Scramble(locPacked, locSize);
            }
        }
        else if (myFlags & QF_FLAG_SCRAMBLED)
            Scramble(myBuffer, myFileSize);

        if (locResult)
        {
            OS_SaveFile locSave;
            locResult = locSave.Begin(myWritePath) && locSave.Write(locData, locSize) && locSave.Commit();
        }
        delete[] locPacked;
        if (!locResult)
            QF_ErrorCode = QF_ERROR_WRITE;
    }
    Release();
    return locResult;
}

// [SECTION] Reading

uint32_t QF_File::Read(void* aDestination, uint32_t aCount)
{
    QC_ASSERT(myStatus != QF_FILE_NOT_OPEN);
    QC_ASSERT(myStatus & QF_READ);
    if (aCount == 0 || myFilePos >= myFileSize)
        return 0;
    if (aCount > myFileSize - myFilePos)
        aCount = myFileSize - myFilePos;
    if (myFlags & QF_FLAG_STREAMING)
    {
        int64_t locRead = OS_ReadFileAt(*myFileHandle, aDestination, aCount, myStreamBase + myFilePos);
        if (locRead < 0)
            locRead = 0;
        aCount = (uint32_t)locRead;
    }
    else
        memcpy(aDestination, myBuffer + myFilePos, aCount);
    myFilePos += aCount;
    return aCount;
}

void QF_File::ReadSome(void* aDestination, uint32_t* aCount)
{
    *aCount = Read(aDestination, *aCount);
}

bool QF_File::ReadU32(uint32_t* aValue)
{
    uint8_t locBytes[4];
    if (Read(locBytes, 4) != 4)
    {
        *aValue = 0;
        return false;
    }
    if (myFlags & QF_FLAG_SWAP_BYTES)
        *aValue = ((uint32_t)locBytes[0] << 24) | ((uint32_t)locBytes[1] << 16) | ((uint32_t)locBytes[2] << 8) |
                  locBytes[3];
    else
        *aValue = locReadLE32(locBytes);
    return true;
}

bool QF_File::ReadU16(uint16_t* aValue)
{
    uint8_t locBytes[2];
    if (Read(locBytes, 2) != 2)
    {
        *aValue = 0;
        return false;
    }
    if (myFlags & QF_FLAG_SWAP_BYTES)
        *aValue = (uint16_t)((locBytes[0] << 8) | locBytes[1]);
    else
        *aValue = (uint16_t)(locBytes[0] | (locBytes[1] << 8));
    return true;
}

uint8_t QF_File::ReadChar()
{
    QC_ASSERT(myStatus != QF_FILE_NOT_OPEN);
    QC_ASSERT(myStatus & QF_READ);
    uint8_t locChar = 0;
    Read(&locChar, 1);
    return locChar;
}

void QF_File::ReadString(char* aDestination, uint32_t aSize)
{
    QC_ASSERT(myStatus & QF_READ);
    uint32_t locStored = 0;
    while (locStored + 1 < aSize && myFilePos < myFileSize)
    {
        char locChar = (char)ReadChar();
        if (locChar == 0)
            break;
        aDestination[locStored++] = locChar;
    }
    if (aSize > 0)
        aDestination[locStored] = 0;
}

// [SECTION] Text readers

namespace
{
// Reads one unit of a text; wide units are swapped under the byte-swap flag.
uint32_t locReadUnit(QF_File& aFile, bool aWide)
{
    // Text lines are read a character at a time: straight from a whole-file buffer.
    if (!aWide && aFile.myBuffer && !(aFile.myFlags & QF_FLAG_STREAMING) && aFile.myFilePos < aFile.myFileSize)
        return aFile.myBuffer[aFile.myFilePos++];
    if (!aWide)
        return aFile.ReadChar();
    uint16_t locUnit = 0;
    aFile.ReadU16(&locUnit);
    return locUnit;
}

uint32_t locPeekUnit(QF_File& aFile, bool aWide)
{
    uint32_t locPos = aFile.myFilePos;
    uint32_t locUnit = locReadUnit(aFile, aWide);
    aFile.myFilePos = locPos;
    return locUnit;
}

void locStore(void* aDestination, uint32_t anIndex, uint32_t aUnit, bool aWide)
{
    if (aWide)
        ((uint16_t*)aDestination)[anIndex] = (uint16_t)aUnit;
    else
        ((char*)aDestination)[anIndex] = (char)aUnit;
}

uint32_t locFetch(const void* aDestination, uint32_t anIndex, bool aWide)
{
    return aWide ? ((const uint16_t*)aDestination)[anIndex] : (uint8_t)((const char*)aDestination)[anIndex];
}
} // namespace

uint32_t QF_File::ReadLineUnits(void* aDestination, uint32_t aSize, bool aWide)
{
    QC_ASSERT(myStatus & QF_READ);
    if (aSize == 0)
        return 0;
    uint32_t locUnitSize = aWide ? 2 : 1;
    uint32_t locStored = 0;
    bool locAtLineStart = myLineState == 0;
    bool locInComment = false;
    myLineState = 1;
    while (myFileSize - myFilePos >= locUnitSize)
    {
        uint32_t locUnit = locReadUnit(*this, aWide);
        bool locLineEnd = locUnit == '\n';
        if (locUnit == '\r' && myFileSize - myFilePos >= locUnitSize && locPeekUnit(*this, aWide) == '\n')
        {
            locReadUnit(*this, aWide);
            locLineEnd = true;
        }
        if (locLineEnd)
        {
            while (locStored > 0 && locFetch(aDestination, locStored - 1, aWide) < 33)
                locStored--;
            if (locStored > 0)
            {
                myLineState = 0;
                break;
            }
            locAtLineStart = true;
            locInComment = false;
            continue;
        }
        if (locInComment)
            continue;
        if (locAtLineStart && locUnit < 33)
            continue;
        locAtLineStart = false;
        if (locUnit == '/' && locStored > 0 && locFetch(aDestination, locStored - 1, aWide) == '/')
        {
            locStored--;
            locInComment = true;
            continue;
        }
        locStore(aDestination, locStored++, locUnit, aWide);
        if (locStored + 1 >= aSize)
            break;
    }
    locStore(aDestination, locStored, 0, aWide);
    return locStored;
}

void QF_File::ReadLine(char* aDestination, uint32_t aSize)
{
    ReadLineUnits(aDestination, aSize, false);
}

void QF_File::ReadWideLine(uint16_t* aDestination, uint32_t aSize)
{
    ReadLineUnits(aDestination, aSize, true);
}

void QF_File::ReadRawLine(char* aDestination, uint32_t aSize)
{
    QC_ASSERT(myStatus & QF_READ);
    if (aSize == 0)
        return;
    uint32_t locStored = 0;
    while (locStored + 1 < aSize && myFilePos < myFileSize)
    {
        char locChar = (char)ReadChar();
        if (locChar == '\n')
        {
            if (locStored > 0 && aDestination[locStored - 1] == '\r')
                locStored--;
            break;
        }
        aDestination[locStored++] = locChar;
    }
    aDestination[locStored] = 0;
}

void QF_File::ReadWord(char* aDestination, uint32_t aSize)
{
    QC_ASSERT(myStatus & QF_READ);
    if (aSize == 0)
        return;
    auto locIsDelimiter = [](uint8_t aChar) { return aChar == ' ' || aChar == '\t' || aChar == '\n' || aChar == '\r'; };
    uint32_t locStored = 0;
    bool locDelimited = false;
    while (locStored + 1 < aSize && myFilePos < myFileSize)
    {
        uint8_t locChar = ReadChar();
        if (locIsDelimiter(locChar))
        {
            locDelimited = true;
            break;
        }
        aDestination[locStored++] = (char)locChar;
    }
    aDestination[locStored] = 0;
    if (locDelimited)
        while (myFilePos < myFileSize && locIsDelimiter((uint8_t)locPeekUnit(*this, false)))
            myFilePos++;
}

// [SECTION] Writing and positioning

bool QF_File::Write(const void* aSource, uint32_t aCount)
{
    QC_ASSERT(myStatus & QF_WRITE);
    if (aCount == 0)
        return true;
    uint64_t locEnd = (uint64_t)myFilePos + aCount;
    if (locEnd > 0xffffffffu)
    {
        QF_ErrorCode = QF_ERROR_WRITE;
        return false;
    }
    if (locEnd > myCapacity)
    {
        uint64_t locCapacity = myCapacity;
        while (locCapacity < locEnd)
            locCapacity += locWriteGrowth;
        if (locCapacity > 0xffffffffu)
            locCapacity = 0xffffffffu;
        uint8_t* locBuffer = new (std::nothrow) uint8_t[locCapacity];
        if (!locBuffer)
        {
            QF_ErrorCode = QF_ERROR_WRITE;
            return false;
        }
        if (myFileSize > 0)
            memcpy(locBuffer, myBuffer, myFileSize);
        if (!(myFlags & QF_FLAG_NOT_OWNED))
            delete[] myBuffer;
        myFlags &= ~QF_FLAG_NOT_OWNED;
        myBuffer = locBuffer;
        myCapacity = (uint32_t)locCapacity;
    }
    memcpy(myBuffer + myFilePos, aSource, aCount);
    myFilePos += aCount;
    if (myFilePos > myFileSize)
        myFileSize = myFilePos;
    return true;
}

bool QF_File::Seek(uint32_t anOffset, int aWhence)
{
    QC_ASSERT(myStatus != QF_FILE_NOT_OPEN);
    uint64_t locPos;
    switch (aWhence)
    {
        case 0:
            locPos = anOffset;
            break;
        case 1:
            locPos = (uint64_t)myFilePos + anOffset;
            break;
        case 2:
            if (anOffset > myFileSize)
                return false;
            locPos = myFileSize - anOffset;
            break;
        default:
            return false;
    }
    // A position past the end is refused rather than trusted: offsets come from files.
    if (locPos > myFileSize)
        return false;
    myFilePos = (uint32_t)locPos;
    return true;
}

uint32_t QF_File::GetPos() const
{
    QC_ASSERT(myStatus != QF_FILE_NOT_OPEN);
    return myFilePos;
}

// [SECTION] Streaming

int* QF_File::OpenStreaming(const char* aName)
{
    if (!PrepareOpen(aName))
        return nullptr;
    OS_FileHandle locHandle = OS_INVALID_HANDLE;
    uint64_t locBase = 0;
    uint64_t locSize = 0;
    for (int locPass = 0; locPass < 3 && locHandle == OS_INVALID_HANDLE; locPass++)
    {
        if (locPass == 1)
        {
            locHandle = OS_OpenFile(aName, OS_OPEN_READ);
            OS_FileInfo locInfo;
            if (locHandle != OS_INVALID_HANDLE &&
                (!OS_GetHandleInfo(locHandle, &locInfo) || locInfo.myIsDirectory || locInfo.mySize > 0xffffffffu))
            {
                OS_CloseFile(locHandle);
                QF_ErrorCode = QF_ERROR_READ;
                return nullptr;
            }
            if (locHandle != OS_INVALID_HANDLE)
                locSize = locInfo.mySize;
            continue;
        }
        int locPriority = locPass == 0 ? 1 : 0;
        for (QF_ArchiveEntry* locEntry = GetFirstArchive(); locEntry; locEntry = locEntry->myNext)
        {
            QF_ArchiveRecord locRecord;
            if (!locEntry->myIsOpen || locEntry->myPriority != locPriority || !locEntry->myFileHandle ||
                !LookupInArchive(locEntry, aName, &locRecord, nullptr, nullptr, nullptr))
                continue;
            // A handle of its own that reads at absolute offsets, so that later
            // lookups through the archive's handle cannot move it.
            locHandle = QF_DuplicateHandle(*locEntry->myFileHandle);
            if (locHandle == OS_INVALID_HANDLE)
            {
                QF_ErrorCode = QF_ERROR_READ;
                return nullptr;
            }
            locBase = locRecord.myOffset;
            locSize = locRecord.mySize;
            break;
        }
    }
    if (locHandle == OS_INVALID_HANDLE)
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return nullptr;
    }
    myFileHandle = new int(locHandle);
    myStreamBase = locBase;
    myFileSize = myCapacity = (uint32_t)locSize;
    myFilePos = 0;
    myFlags = QF_FLAG_STREAMING;
    myStatus = QF_READ;
    return myFileHandle;
}

// [SECTION] Names on disk

bool QF_File::Exists(const char* aName)
{
    if (!aName || !aName[0])
        return false;
    OS_FileInfo locInfo;
    if (OS_GetFileInfo(aName, &locInfo) && !locInfo.myIsDirectory)
        return true;
    for (QF_ArchiveEntry* locEntry = GetFirstArchive(); locEntry; locEntry = locEntry->myNext)
    {
        QF_ArchiveRecord locRecord;
        if (locEntry->myIsOpen && LookupInArchive(locEntry, aName, &locRecord, nullptr, nullptr, nullptr))
            return true;
    }
    QF_ErrorCode = QF_ERROR_NOT_FOUND;
    return false;
}

bool QF_File::Exists(const char* aName, bool aRefreshArchives)
{
    if (aRefreshArchives)
        RefreshArchives();
    return Exists(aName);
}

bool QF_File::IsDirectory(const char* aName)
{
    if (aName && OS_IsDirectory(aName))
        return true;
    QF_ErrorCode = QF_ERROR_NOT_FOUND;
    return false;
}

bool QF_File::Delete(const char* aName)
{
    return aName && OS_DeleteFile(aName);
}

bool QF_File::Move(const char* aFrom, const char* aTo)
{
    // A move does not replace an existing file.
    if (!aFrom || !aTo || OS_FileExists(aTo))
        return false;
    return OS_RenameFile(aFrom, aTo);
}

void QF_File::CreatePath(const char* aPath)
{
    if (!aPath)
        return;
    char locPrefix[256];
    for (size_t i = 0; aPath[i] && i < sizeof(locPrefix) - 1; i++)
    {
        if ((aPath[i] == '/' || aPath[i] == '\\') && i > 0)
        {
            memcpy(locPrefix, aPath, i);
            locPrefix[i] = 0;
            OS_CreateDirectory(locPrefix);
        }
    }
}

namespace
{
struct DeleteContext
{
    const char* myDirectory;
    bool myHadEntries;
    bool mySucceeded;
};

bool locDeleteEntry(const OS_DirEntry& anEntry, void* aUserData)
{
    DeleteContext* locContext = (DeleteContext*)aUserData;
    locContext->myHadEntries = true;
    char locPath[1024];
    if (snprintf(locPath, sizeof(locPath), "%s/%s", locContext->myDirectory, anEntry.myName) >= (int)sizeof(locPath))
        return true;
    if (anEntry.myInfo.myIsDirectory)
        QF_File::DeleteDirectory(locPath);
    else
        OS_DeleteFile(locPath);
    return true;
}
} // namespace

bool QF_File::DeleteDirectory(const char* aDirectory)
{
    if (!aDirectory || !OS_IsDirectory(aDirectory))
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    DeleteContext locContext = {aDirectory, false, true};
    if (!OS_ListDirectory(aDirectory, locDeleteEntry, &locContext))
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    OS_RemoveDirectory(aDirectory);
    return true;
}
