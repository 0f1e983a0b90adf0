// In-memory input and output streams that the LZMA coder reads from and
// writes into. Neither owns its buffer.
#pragma once

#include <cstdint>

// Stream results, as the coder layer expects them.
enum QP_StreamResult
{
    QP_S_OK = 0,
    QP_E_FAIL = 1,
};

// Seek origins: from the start, from the position, back from the end.
enum QP_SeekOrigin
{
    QP_SEEK_SET = 0,
    QP_SEEK_CUR = 1,
    QP_SEEK_END = 2,
};

// Reads from a caller's buffer of known size.
class QP_MemInStream
{
public:
    QP_MemInStream(const void* aData, uint64_t aSize);

    // Copies min(aSize, bytes left); always QP_S_OK.
    int Read(void* aData, uint32_t aSize, uint32_t* aProcessedSize);
    int ReadPart(void* aData, uint32_t aSize, uint32_t* aProcessedSize);
    // Origin QP_SEEK_END sets the position to the data size minus anOffset.
    int Seek(int64_t anOffset, uint32_t anOrigin, uint64_t* aNewPosition);
    uint64_t GetSize() const { return myDataSize; }
    uint64_t GetPosition() const { return myPosition; }

    // The unread bytes in place, for coders that take a buffer; Skip consumes them.
    const uint8_t* GetReadPointer(uint64_t* anAvailable) const;
    void Skip(uint64_t aCount);

private:
    const uint8_t* myData;
    uint64_t myDataSize;
    uint64_t myPosition;
};

// Writes into a caller's buffer; a write that would pass the capacity fails
// and writes nothing.
class QP_MemOutStream
{
public:
    QP_MemOutStream(void* aBuffer, uint64_t aCapacity);

    int Write(const void* aData, uint32_t aSize, uint32_t* aProcessedSize);
    int WritePart(const void* aData, uint32_t aSize, uint32_t* aProcessedSize);
    // Origin QP_SEEK_END counts back from the written size.
    int Seek(int64_t anOffset, uint32_t anOrigin, uint64_t* aNewPosition);
    // QP_E_FAIL when aSize exceeds the capacity.
    int SetSize(uint64_t aSize);

    uint64_t GetWrittenSize() const { return myWrittenSize; }
    uint64_t GetCapacity() const { return myCapacity; }
    uint64_t GetPosition() const { return myPosition; }

    // Room left at the position, for coders that write in place; Commit
    // advances past aCount bytes written there (at most the room).
    uint8_t* GetWritePointer(uint64_t* aRoom);
    void Commit(uint64_t aCount);

private:
    uint8_t* myBuffer;
    uint64_t myWrittenSize;
    uint64_t myCapacity;
    uint64_t myPosition;
};
