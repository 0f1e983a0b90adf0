// A file read in pieces: found the way QF_File reads (archives of priority 1,
// the disk, archives of priority 0), with archive entries unpacked as they are
// read, so that memory stays bounded whatever the file's size.
#pragma once

#include <cstdint>

#include "platform/os/os_file.h"
#include "qpack/qp_pack.h"

class QF_FileStream
{
public:
    QF_FileStream() = default;
    ~QF_FileStream() { Close(); }
    QF_FileStream(const QF_FileStream&) = delete;
    QF_FileStream& operator=(const QF_FileStream&) = delete;

    // False with QF_ErrorCode (1 not found, 2 read, 6 method 3, 8 too large).
    bool Open(const char* aName);
    // Up to aCount bytes; 0 at the end; -1 when reading or unpacking fails
    // (QF_ErrorCode 2), also when a packed entry does not come out at its size.
    int64_t Read(void* aDestination, uint32_t aCount);
    // Reads the rest into a file saved at aRelativePath beneath the folder
    // aBase (OS_SaveFile::BeginBeneath: no link is followed). False, the old
    // file kept, when reading or writing fails. For many files in a row the
    // caller may leave the flush to one OS_SyncFileSystem at the end.
    bool SaveBeneath(const char* aBase, const char* aRelativePath, bool aFlushFlag = true);
    void Close();

    uint32_t GetSize() const { return mySize; }
    uint32_t GetTime() const { return myTime; }
    bool IsOpen() const { return myHandle != OS_INVALID_HANDLE; }

private:
    bool Fail();
    int64_t ReadFailed();

    OS_FileHandle myHandle = OS_INVALID_HANDLE;   // owned: the archive or the disk file
    uint64_t myOffset = 0;          // where the next stored bytes are read
    uint32_t myStoredLeft = 0;      // stored bytes not read yet
    uint32_t myMethod = 0;          // 0 stored (or a disk file), 1 zlib, 2 LZMA
    uint32_t mySize = 0;
    uint32_t myTime = 0;
    uint32_t myDone = 0;            // bytes handed out
    QP_Unpacker myUnpacker;
    uint8_t* myInput = nullptr;     // owned: packed bytes read ahead
    uint32_t myInputLength = 0;
    uint32_t myInputPos = 0;
};
