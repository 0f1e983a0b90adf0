// In-memory streams of the pack library.
#include "qpack/qp_memstream.h"

#include <cstring>

static int locSeek(uint64_t* aPosition, uint64_t anEnd, int64_t anOffset, uint32_t anOrigin, uint64_t* aNewPosition)
{
    switch (anOrigin)
    {
    case QP_SEEK_SET:
        *aPosition = (uint64_t)anOffset;
        break;
    case QP_SEEK_CUR:
        *aPosition += (uint64_t)anOffset;
        break;
    case QP_SEEK_END:
        *aPosition = anEnd - (uint64_t)anOffset;
        break;
    default:
        return QP_E_FAIL;
    }
    if (aNewPosition)
        *aNewPosition = *aPosition;
    return QP_S_OK;
}

QP_MemInStream::QP_MemInStream(const void* aData, uint64_t aSize)
    : myData((const uint8_t*)aData)
    , myDataSize(aSize)
    , myPosition(0)
{
}

int QP_MemInStream::Read(void* aData, uint32_t aSize, uint32_t* aProcessedSize)
{
    uint64_t locAvailable = 0;
    GetReadPointer(&locAvailable);
    uint32_t locCount = locAvailable < aSize ? (uint32_t)locAvailable : aSize;
    if (locCount)
        memcpy(aData, myData + myPosition, locCount);
    myPosition += locCount;
    if (aProcessedSize)
        *aProcessedSize = locCount;
    return QP_S_OK;
}

int QP_MemInStream::ReadPart(void* aData, uint32_t aSize, uint32_t* aProcessedSize)
{
    return Read(aData, aSize, aProcessedSize);
}

int QP_MemInStream::Seek(int64_t anOffset, uint32_t anOrigin, uint64_t* aNewPosition)
{
    return locSeek(&myPosition, myDataSize, anOffset, anOrigin, aNewPosition);
}

const uint8_t* QP_MemInStream::GetReadPointer(uint64_t* anAvailable) const
{
    // A position sought past the end reads nothing.
    *anAvailable = myPosition < myDataSize ? myDataSize - myPosition : 0;
    return *anAvailable ? myData + myPosition : myData;
}

void QP_MemInStream::Skip(uint64_t aCount)
{
    myPosition += aCount;
}

QP_MemOutStream::QP_MemOutStream(void* aBuffer, uint64_t aCapacity)
    : myBuffer((uint8_t*)aBuffer)
    , myWrittenSize(0)
    , myCapacity(aCapacity)
    , myPosition(0)
{
}

int QP_MemOutStream::Write(const void* aData, uint32_t aSize, uint32_t* aProcessedSize)
{
    if (myPosition > myCapacity || aSize > myCapacity - myPosition)
        return QP_E_FAIL;
    if (aSize)
        memcpy(myBuffer + myPosition, aData, aSize);
    myPosition += aSize;
    if (myPosition > myWrittenSize)
        myWrittenSize = myPosition;
    if (aProcessedSize)
        *aProcessedSize = aSize;
    return QP_S_OK;
}

int QP_MemOutStream::WritePart(const void* aData, uint32_t aSize, uint32_t* aProcessedSize)
{
    return Write(aData, aSize, aProcessedSize);
}

int QP_MemOutStream::Seek(int64_t anOffset, uint32_t anOrigin, uint64_t* aNewPosition)
{
    return locSeek(&myPosition, myWrittenSize, anOffset, anOrigin, aNewPosition);
}

int QP_MemOutStream::SetSize(uint64_t aSize)
{
    if (aSize > myCapacity)
        return QP_E_FAIL;
    myWrittenSize = aSize;
    return QP_S_OK;
}

uint8_t* QP_MemOutStream::GetWritePointer(uint64_t* aRoom)
{
    *aRoom = myPosition < myCapacity ? myCapacity - myPosition : 0;
    return myBuffer + (*aRoom ? myPosition : 0);
}

void QP_MemOutStream::Commit(uint64_t aCount)
{
    uint64_t locRoom = 0;
    GetWritePointer(&locRoom);
    if (aCount > locRoom)
        aCount = locRoom;
    myPosition += aCount;
    if (myPosition > myWrittenSize)
        myWrittenSize = myPosition;
}
