// A file read in pieces, archive entries unpacked on the way.
#include "qfile/qf_filestream.h"

#include <cstdlib>

#include "platform/os/os_savefile.h"
#include "qfile/qf_file.h"
#include "qfile/qf_sdf.h"
#include "qfile/qf_sdf_local.h"

namespace
{
constexpr uint32_t locPieceSize = 65536;
constexpr uint64_t locMaxFileSize = 0xFFFFFFFFull;
}

bool QF_FileStream::Fail()
{
    QF_ErrorCode = QF_ERROR_READ;
    return false;
}

int64_t QF_FileStream::ReadFailed()
{
    QF_ErrorCode = QF_ERROR_READ;
    return -1;
}

void QF_FileStream::Close()
{
    if (myHandle != OS_INVALID_HANDLE)
        OS_CloseFile(myHandle);
    myHandle = OS_INVALID_HANDLE;
    myUnpacker.End();
    free(myInput);
    myInput = nullptr;
    myInputLength = myInputPos = 0;
    myOffset = 0;
    myStoredLeft = myMethod = mySize = myTime = myDone = 0;
}

bool QF_FileStream::Open(const char* aName)
{
    Close();
    QF_ErrorCode = QF_ERROR_NONE;
    if (!aName || !aName[0])
    {
        QF_ErrorCode = QF_ERROR_NOT_FOUND;
        return false;
    }
    QF_SDFFileRecord locRecord;
    QF_SDFArchive* locArchive = QF_SDF::FindArchiveEntry(aName, &locRecord, 1);
    if (!locArchive)
    {
        myHandle = OS_OpenFile(aName, OS_OPEN_READ);
        if (myHandle != OS_INVALID_HANDLE)
        {
            OS_FileInfo locInfo;
            if (!OS_GetHandleInfo(myHandle, &locInfo))
            {
                Close();
                return Fail();
            }
            if (locInfo.mySize > locMaxFileSize)
            {
                Close();
                QF_ErrorCode = QF_ERROR_TOO_LARGE;
                return false;
            }
            mySize = myStoredLeft = uint32_t(locInfo.mySize);
            myTime = QF_File::PackTime(locInfo.myWriteTime);
            return true;
        }
        locArchive = QF_SDF::FindArchiveEntry(aName, &locRecord, 0);
        if (!locArchive)
        {
            QF_ErrorCode = QF_ERROR_NOT_FOUND;
            return false;
        }
    }
    if (!QF_SDF::CheckEntry(locArchive, locRecord))
        return false;
    // A handle of its own: reads here never move the archive's shared one.
    myHandle = OS_OpenFile(locArchive->myName, OS_OPEN_READ);
    if (myHandle == OS_INVALID_HANDLE)
        return Fail();
    myMethod = QF_SDFMethodOf(locRecord.myPackedWord);
    myStoredLeft = QF_SDFStoredSize(locRecord.myPackedWord);
    myOffset = locRecord.myDataOffset;
    mySize = locRecord.mySize;
    myTime = locRecord.myTime;
    if (myMethod != QF_SDF_STORED)
    {
        myInput = static_cast<uint8_t*>(malloc(locPieceSize));
        if (!myInput || !myUnpacker.Begin(myMethod, mySize))
        {
            Close();
            return Fail();
        }
    }
    return true;
}

int64_t QF_FileStream::Read(void* aDestination, uint32_t aCount)
{
    if (myHandle == OS_INVALID_HANDLE)
        return ReadFailed();
    uint32_t locWanted = aCount < mySize - myDone ? aCount : mySize - myDone;
    if (myMethod == QF_SDF_STORED)
    {
        if (locWanted == 0)
            return 0;
        int64_t locRead = OS_ReadFileAt(myHandle, aDestination, locWanted, myOffset);
        if (locRead != int64_t(locWanted))
            return ReadFailed();
        myOffset += locWanted;
        myDone += locWanted;
        return locWanted;
    }

    uint8_t* locOut = static_cast<uint8_t*>(aDestination);
    uint32_t locRoom = locWanted;
    // Runs until this call's room is full and, once the whole size has come
    // out, until the stream has ended there.
    while (locRoom > 0 || (myDone + (locWanted - locRoom) == mySize && !myUnpacker.IsDone()))
    {
        if (myInputPos == myInputLength && myStoredLeft > 0)
        {
            uint32_t locPiece = myStoredLeft < locPieceSize ? myStoredLeft : locPieceSize;
            if (OS_ReadFileAt(myHandle, myInput, locPiece, myOffset) != int64_t(locPiece))
                return ReadFailed();
            myOffset += locPiece;
            myStoredLeft -= locPiece;
            myInputLength = locPiece;
            myInputPos = 0;
        }
        const uint8_t* locIn = myInput + myInputPos;
        uint32_t locInSize = myInputLength - myInputPos;
        const uint32_t locRoomBefore = locRoom;
        const bool locLast = myStoredLeft == 0;
        if (!myUnpacker.Run(&locIn, &locInSize, &locOut, &locRoom, locLast))
            return ReadFailed();
        const bool locProgress = locInSize != myInputLength - myInputPos || locRoom != locRoomBefore;
        myInputPos = myInputLength - locInSize;
        if (myUnpacker.IsDone())
            break;
        // Everything read and nothing moves: the stream is cut short.
        if (!locProgress && locLast && myInputPos == myInputLength)
            return ReadFailed();
    }
    myDone += locWanted - locRoom;
    if (myDone == mySize && !myUnpacker.IsDone())
        return ReadFailed();
    return locWanted - locRoom;
}

bool QF_FileStream::SaveBeneath(const char* aBase, const char* aRelativePath, bool aFlushFlag)
{
    OS_SaveFile locOutput;
    if (!locOutput.BeginBeneath(aBase, aRelativePath, aFlushFlag))
        return false;
    uint8_t* locPiece = static_cast<uint8_t*>(malloc(locPieceSize));
    if (!locPiece)
        return false;
    bool locOk = true;
    for (;;)
    {
        int64_t locRead = Read(locPiece, locPieceSize);
        if (locRead < 0 || (locRead > 0 && !locOutput.Write(locPiece, size_t(locRead))))
        {
            locOk = false;
            break;
        }
        if (locRead == 0)
            break;
    }
    free(locPiece);
    return locOk && myDone == mySize && locOutput.Commit();
}
