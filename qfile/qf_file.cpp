// The file object.
//
// [SECTION] QF_File: opening and closing
// [SECTION] QF_File: reading
// [SECTION] QF_File: writing and positioning
// [SECTION] QF_File: names on disk and in archives
// [SECTION] Arrays of open files
#include "qfile/qf_file.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/os/os_memory.h"
#include "platform/os/os_savefile.h"
#include "qcommon/qc_assert.h"
#include "qfile/qf_sdf.h"

int QF_ErrorCode = 0;

namespace
{
// Kept under this name so that the assertion texts read as the file object's own.
constexpr OS_FileHandle INVALID_HANDLE_VALUE = OS_INVALID_HANDLE;

constexpr uint32_t locWriteGrowth = 65536;
constexpr uint64_t locMaxFileSize = 0xFFFFFFFFull;

// Reads size bytes from the start of aHandle into a new buffer of the file.
// A buffer that only gets read is taken as a large block: a file of
// megabytes goes back to the system whole when closed. One that Write may grow stays on
// the heap, for realloc.
bool locReadWhole(OS_FileHandle aHandle, QF_File* aFile, bool aLargeFlag)
{
    const size_t locSize = aFile->myFileSize ? aFile->myFileSize : 1;
    aFile->myBuffer = static_cast<uint8_t*>(aLargeFlag ? OS_AllocLarge(locSize) : malloc(locSize));
    if (!aFile->myBuffer)
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    int64_t locRead = OS_ReadFileAt(aHandle, aFile->myBuffer, aFile->myFileSize, 0);
    if (locRead != static_cast<int64_t>(aFile->myFileSize))
    {
        aFile->myFileSize = locRead > 0 ? static_cast<uint32_t>(locRead) : 0;
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    return true;
}
}


// [SECTION] QF_File: opening and closing

QF_File::QF_File()
    : myFlags(QFILE_NOT_OPEN)
    , myBuffer(nullptr)
    , myFileSize(0)
    , myFilePos(0)
    , myTime(0)
    , myCapacity(0)
    , myFileHand(INVALID_HANDLE_VALUE)
    , myLineState(0)
    , myWritePath(nullptr)
    , myBufferKind(BUFFER_HEAP)
{
}

QF_File::~QF_File()
{
    if (myFlags != QFILE_NOT_OPEN)
        Close();
}

void QF_File::Release()
{
    if (myBufferKind == BUFFER_LARGE)
        OS_FreeLarge(myBuffer, myCapacity ? myCapacity : 1);
    else if (myBufferKind == BUFFER_MAPPED)
        OS_UnmapFile(myBuffer, myCapacity);
    else
        free(myBuffer);
    myBuffer = nullptr;
    myBufferKind = BUFFER_HEAP;
    if (myFileHand != INVALID_HANDLE_VALUE)
        OS_CloseFile(myFileHand);
    myFileHand = INVALID_HANDLE_VALUE;
    free(myWritePath);
    myWritePath = nullptr;
    myFileSize = 0;
    myFilePos = 0;
    myCapacity = 0;
    myTime = 0;
}

bool QF_File::Open(const char* aName, uint32_t aMode)
{
    QC_ASSERT(!(aMode & OPEN_COMPRESSED) || !(aMode & OPEN_STREAMING));
    if (myFlags != QFILE_NOT_OPEN)
        Close();
    if (aMode & OPEN_APPEND)
        aMode |= OPEN_WRITE | OPEN_NO_TRUNCATE;
    myFlags = aMode;
    myLineState = 0;
    QF_ErrorCode = QF_ERROR_NONE;

    bool locOpened = false;
    if (!aName || !aName[0])
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
    else if (aMode & OPEN_WRITE)
        locOpened = OpenForWriting(aName);
    else
    {
        // Archives of priority 1, then the disk, then archives of priority 0.
        // A failed attempt may leave a buffer or a handle and clear the
        // streaming bit, so each source starts afresh.
        locOpened = QF_SDF::OpenFile(aName, this, 1);
        if (!locOpened)
        {
            Release();
            myFlags = aMode;
            locOpened = OpenFromDisk(aName);
        }
        if (!locOpened && QF_ErrorCode != QF_ERROR_TOO_LARGE)
        {
            Release();
            myFlags = aMode;
            locOpened = QF_SDF::OpenFile(aName, this, 0);
            if (!locOpened && QF_ErrorCode == QF_ERROR_NONE)
                QF_ErrorCode = QF_ERROR_NOT_FOUND;
        }
    }
    if (!locOpened)
    {
        // Nothing half-open is left behind: a later Close must not write a
        // partial buffer over the user's file.
        Release();
        myFlags = QFILE_NOT_OPEN;
        return false;
    }
    myFilePos = (myFlags & OPEN_APPEND) ? myFileSize : 0;
    return true;
}

bool QF_File::OpenForWriting(const char* aName)
{
    QC_ASSERT(!(myFlags & OPEN_STREAMING));
    QC_ASSERT(!(myFlags & OPEN_COMPRESSED));
    CreatePath(aName);
    // The disk keeps the old contents until Close replaces them whole.
    char locPath[4096];
    if (!OS_ResolvePath(aName, locPath, sizeof(locPath)) || !(myWritePath = strdup(locPath)))
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    // A new file appears only when Close writes it: a failed save leaves none.
    myFileHand = OS_OpenFile(locPath, OS_OPEN_FOR_SAVE);
    OS_FileInfo locInfo;
    if (myFileHand == INVALID_HANDLE_VALUE || !OS_GetHandleInfo(myFileHand, &locInfo))
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    if (locInfo.mySize > locMaxFileSize)
    {
        QF_ErrorCode = QF_ERROR_TOO_LARGE;
        return false;
    }
    myTime = PackTime(locInfo.myWriteTime);
    if (!(myFlags & OPEN_NO_TRUNCATE) || locInfo.mySize == 0)
        return true;
    myFileSize = myCapacity = static_cast<uint32_t>(locInfo.mySize);
    return locReadWhole(myFileHand, this, false);
}

bool QF_File::OpenFromDisk(const char* aName)
{
    OS_FileHandle locHandle = OS_OpenFile(aName, OS_OPEN_READ);
    if (locHandle == INVALID_HANDLE_VALUE)
        return false;
    myFileHand = locHandle;
    OS_FileInfo locInfo;
    if (!OS_GetHandleInfo(locHandle, &locInfo))
    {
        QF_ErrorCode = QF_ERROR_READ;
        return false;
    }
    if (locInfo.mySize > locMaxFileSize)
    {
        QF_ErrorCode = QF_ERROR_TOO_LARGE;
        return false;
    }
    myFileSize = myCapacity = static_cast<uint32_t>(locInfo.mySize);
    myTime = PackTime(locInfo.myWriteTime);
    if (myFlags & OPEN_STREAMING)
        return true;
    // Mapped, a large file costs no copy: its pages are those the system
    // holds for it already. Only for a reader that reads it through at once
    // and closes it: a file cut short by another program meanwhile would
    // fault the reader.
    if ((myFlags & OPEN_MAPPED) && myFileSize >= OS_LARGE_MIN)
    {
        const void* locAddress = nullptr;
        uint64_t locSize = 0;
        if (OS_MapFile(locHandle, &locAddress, &locSize, true))
        {
            if (locAddress && locSize == myFileSize)
            {
                myBuffer = static_cast<uint8_t*>(const_cast<void*>(locAddress));
                myBufferKind = BUFFER_MAPPED;
                OS_CloseFile(locHandle);
                myFileHand = INVALID_HANDLE_VALUE;
                return true;
            }
            OS_UnmapFile(locAddress, locSize);
        }
    }
    myBufferKind = BUFFER_LARGE;
    bool locRead = locReadWhole(locHandle, this, true);
    OS_CloseFile(locHandle);
    myFileHand = INVALID_HANDLE_VALUE;
    return locRead;
}

bool QF_File::Close()
{
    myLineState = 0;
    if (myFlags == QFILE_NOT_OPEN)
    {
        QF_ErrorCode = QF_ERROR_NOT_OPEN;
        return false;
    }
    bool locWritten = true;
    if ((myFlags & OPEN_WRITE) && myFileHand != INVALID_HANDLE_VALUE && myWritePath)
    {
        OS_SaveFile locSave;
        locWritten = locSave.Begin(myWritePath) && locSave.Write(myBuffer, myFileSize) && locSave.Commit();
        if (!locWritten)
            QF_ErrorCode = QF_ERROR_WRITE;
    }
    Release();
    myFlags = QFILE_NOT_OPEN;
    return locWritten;
}

// [SECTION] QF_File: reading

uint32_t QF_File::Read(void* aDestination, uint32_t aCount)
{
    ReadSome(aDestination, &aCount);
    return aCount;
}

void QF_File::ReadSome(void* aDestination, uint32_t* aCount)
{
    QC_ASSERT(myFlags & OPEN_READ);
    uint32_t locCount = *aCount;
    if (myFilePos >= myFileSize)
        locCount = 0;
    else if (locCount > myFileSize - myFilePos)
        locCount = myFileSize - myFilePos;
    if (locCount == 0)
    {
        *aCount = 0;
        return;
    }
    if (myFlags & OPEN_STREAMING)
    {
        QC_ASSERT(myFileHand != INVALID_HANDLE_VALUE);
        int64_t locRead = OS_ReadFile(myFileHand, aDestination, locCount);
        if (locRead < 0)
        {
            QF_ErrorCode = QF_ERROR_READ;
            locRead = 0;
        }
        locCount = static_cast<uint32_t>(locRead);
    }
    else
        memcpy(aDestination, myBuffer + myFilePos, locCount);
    myFilePos += locCount;
    *aCount = locCount;
}

bool QF_File::ReadU32(uint32_t* aValue)
{
    uint8_t locBytes[4] = {};
    if (Read(locBytes, 4) != 4)
    {
        *aValue = 0;
        return false;
    }
    if (myFlags & OPEN_SWAP_BYTES)
        *aValue = (uint32_t(locBytes[0]) << 24) | (uint32_t(locBytes[1]) << 16) | (uint32_t(locBytes[2]) << 8) | locBytes[3];
    else
        *aValue = (uint32_t(locBytes[3]) << 24) | (uint32_t(locBytes[2]) << 16) | (uint32_t(locBytes[1]) << 8) | locBytes[0];
    return true;
}

void QF_File::ReadString(char* aDestination, uint32_t aSize)
{
    QC_ASSERT(myFlags & OPEN_READ);
    if (aSize == 0)
        return;
    aDestination[0] = 0;
    // A string asked for at the end of a short file is an empty string, not a crash.
    if (aSize == 1 || myFilePos >= myFileSize)
        return;
    uint32_t locStored = 0;
    char locChar;
    while (locStored < aSize - 1 && Read(&locChar, 1) == 1)
    {
        aDestination[locStored++] = locChar;
        if (locChar == 0)
            return;
    }
    aDestination[locStored] = 0;
}

uint32_t QF_File::ReadLine(char* aDestination, uint32_t aSize)
{
    QC_ASSERT(myFlags & OPEN_READ);
    if (aSize == 0)
        return 0;
    aDestination[0] = 0;
    if (myFilePos >= myFileSize)
    {
        myLineState = 1;
        return 0;
    }
    if (aSize == 1)
        return 0;

    // Bytes come from the buffer, or one by one from the handle when streaming.
    const bool locStreaming = (myFlags & OPEN_STREAMING) != 0;
    auto locNext = [&](uint8_t* aByte) -> bool {
        if (myFilePos >= myFileSize)
            return false;
        if (!locStreaming)
        {
            *aByte = myBuffer[myFilePos++];
            return true;
        }
        return Read(aByte, 1) == 1;
    };
    auto locPeekLF = [&]() -> bool {
        if (myFilePos >= myFileSize)
            return false;
        if (!locStreaming)
            return myBuffer[myFilePos] == '\n';
        uint8_t locByte = 0;
        if (OS_ReadFile(myFileHand, &locByte, 1) != 1)
            return false;
        OS_SeekFile(myFileHand, -1, 1);
        return locByte == '\n';
    };

    bool locAtLineStart = (myLineState == 0);
    bool locInComment = false;
    uint32_t locStored = 0;
    uint8_t locChar;
    while (locNext(&locChar))
    {
        bool locLineEnd = (locChar == '\n');
        if (locChar == '\r' && locPeekLF())
        {
            locNext(&locChar);
            locLineEnd = true;
        }
        if (locLineEnd)
        {
            while (locStored > 0 && static_cast<uint8_t>(aDestination[locStored - 1]) < 33)
                --locStored;
            aDestination[locStored] = 0;
            locInComment = false;
            if (locStored > 0)
            {
                myLineState = 0;
                return locStored;
            }
            locAtLineStart = true;
            continue;
        }
        if (locInComment)
            continue;
        if (locAtLineStart)
        {
            if (locChar < 33)
                continue;
            locAtLineStart = false;
        }
        if (locChar == '/' && locStored > 0 && aDestination[locStored - 1] == '/')
        {
            --locStored;
            locInComment = true;
            continue;
        }
        aDestination[locStored++] = static_cast<char>(locChar);
        if (locStored == aSize - 1)
            break;
        if (!locStreaming)
        {
            // The bytes that follow and end or start nothing go over as one run.
            const uint32_t locRoom = std::min(aSize - 1 - locStored, myFileSize - myFilePos);
            const uint8_t* const locRun = myBuffer + myFilePos;
            uint32_t locLength = 0;
            while (locLength < locRoom && locRun[locLength] != '\n' && locRun[locLength] != '\r' &&
                   locRun[locLength] != '/')
                ++locLength;
            memcpy(aDestination + locStored, locRun, locLength);
            locStored += locLength;
            myFilePos += locLength;
            if (locStored == aSize - 1)
                break;
        }
    }
    aDestination[locStored] = 0;
    myLineState = 1;
    return locStored;
}

// [SECTION] QF_File: writing and positioning

bool QF_File::Write(const void* aSource, uint32_t aCount)
{
    QC_ASSERT(myFlags & OPEN_WRITE);
    if (aCount == 0)
        return true;
    uint64_t locEnd = uint64_t(myFilePos) + aCount;
    if (locEnd > locMaxFileSize)
    {
        QF_ErrorCode = QF_ERROR_OUT_OF_MEMORY;
        return false;
    }
    if (locEnd > myCapacity)
    {
        uint64_t locCapacity = myCapacity;
        while (locCapacity < locEnd)
            locCapacity += locWriteGrowth;
        if (locCapacity > locMaxFileSize)
            locCapacity = locMaxFileSize;
        // realloc moves large blocks by remapping pages rather than copying
        // them, so growing in small steps stays linear; on failure the old
        // buffer is kept.
        uint8_t* locBuffer = static_cast<uint8_t*>(realloc(myBuffer, static_cast<size_t>(locCapacity)));
        if (!locBuffer)
        {
            QF_ErrorCode = QF_ERROR_OUT_OF_MEMORY;
            return false;
        }
        myBuffer = locBuffer;
        myCapacity = static_cast<uint32_t>(locCapacity);
    }
    memcpy(myBuffer + myFilePos, aSource, aCount);
    myFilePos = static_cast<uint32_t>(locEnd);
    if (myFilePos > myFileSize)
        myFileSize = myFilePos;
    return true;
}

bool QF_File::Seek(uint32_t anOffset, int aWhence)
{
    QC_ASSERT(myFlags != QFILE_NOT_OPEN);
    // 32-bit arithmetic on purpose: an offset of -n from the position steps back.
    uint32_t locPos;
    switch (aWhence)
    {
    case 0: locPos = anOffset; break;
    case 1: locPos = myFilePos + anOffset; break;
    case 2: locPos = myFileSize - anOffset; break;
    default: return false;
    }
    if (locPos > myFileSize)
        return false;
    if ((myFlags & OPEN_STREAMING) && locPos != myFilePos)
    {
        if (!OS_SeekFile(myFileHand, int64_t(locPos) - int64_t(myFilePos), 1))
            return false;
    }
    myFilePos = locPos;
    return true;
}

uint32_t QF_File::GetPos() const
{
    QC_ASSERT(myFlags != QFILE_NOT_OPEN);
    return myFilePos;
}

// [SECTION] QF_File: names on disk and in archives

bool QF_File::GetFileInfo(const char* aName, uint32_t* aTime, uint32_t* aSize, char* anArchiveName)
{
    if (anArchiveName)
        anArchiveName[0] = 0;
    if (!aName || !aName[0])
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    QF_SDFFileRecord locRecord;
    const char* locArchive = QF_SDF::FindFile(aName, &locRecord, 1);
    if (!locArchive)
    {
        OS_FileInfo locInfo;
        if (OS_GetFileInfo(aName, &locInfo))
        {
            if (locInfo.mySize > locMaxFileSize)
            {
                QF_ErrorCode = QF_ERROR_TOO_LARGE;
                return false;
            }
            if (aTime)
                *aTime = PackTime(locInfo.myWriteTime);
            if (aSize)
                *aSize = static_cast<uint32_t>(locInfo.mySize);
            return true;
        }
        locArchive = QF_SDF::FindFile(aName, &locRecord, 0);
    }
    if (!locArchive)
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    if (aTime)
        *aTime = locRecord.myTime;
    if (aSize)
        *aSize = locRecord.mySize;
    if (anArchiveName)
    {
        strncpy(anArchiveName, locArchive, 255);
        anArchiveName[255] = 0;
    }
    return true;
}

bool QF_File::Exists(const char* aName)
{
    return GetFileInfo(aName, nullptr, nullptr, nullptr);
}

bool QF_File::GetTime(const char* aName, uint32_t* aTime)
{
    return GetFileInfo(aName, aTime, nullptr, nullptr);
}

bool QF_File::Delete(const char* aName)
{
    return aName && OS_DeleteFile(aName);
}

void QF_File::CreatePath(const char* aPath)
{
    if (!aPath)
        return;
    std::string locPath = aPath;
    for (size_t locIndex = 1; locIndex < locPath.size(); ++locIndex)
        if (locPath[locIndex] == '/' || locPath[locIndex] == '\\')
            OS_CreateDirectory(locPath.substr(0, locIndex).c_str());
}

bool QF_File::IsDirectory(const char* aPath)
{
    OS_FileInfo locInfo;
    if (!aPath || !OS_GetFileInfo(aPath, &locInfo))
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    return locInfo.myIsDirectory;
}

namespace
{
struct locListing
{
    QF_FileList* myList;
    bool myFailed;
};

bool locAddDiskEntry(const OS_DirEntry& anEntry, void* aUserData)
{
    locListing* locState = static_cast<locListing*>(aUserData);
    uint32_t locSize = anEntry.myInfo.mySize > locMaxFileSize ? 0xFFFFFFFFu : static_cast<uint32_t>(anEntry.myInfo.mySize);
    if (!locState->myList->Add(anEntry.myName, locSize, QF_File::PackTime(anEntry.myInfo.myWriteTime),
                               anEntry.myInfo.myIsDirectory))
        locState->myFailed = true;
    return !locState->myFailed;
}
}

QF_FileList* QF_File::ListDirectory(const char* aDirectory)
{
    QF_FileList* locList = new (std::nothrow) QF_FileList;
    if (!locList)
        return nullptr;
    QF_SDF::ListDirectory(aDirectory, locList, 1);
    locListing locState = {locList, false};
    OS_ListDirectory(aDirectory, locAddDiskEntry, &locState);
    QF_SDF::ListDirectory(aDirectory, locList, 0);
    return locList;
}

// [SECTION] Arrays of open files

template <>
void QC_GrowingArray<QF_File*>::DeleteAll()
{
    while (myUsedNrOfItems > 0)
    {
        QF_File* locFile = myItemList[0];
        if (locFile)
        {
            if (locFile->IsOpen())
                locFile->Close();
            delete locFile;
        }
        RemoveAt(0);
    }
}
