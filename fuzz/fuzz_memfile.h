// A read-only file object of the renderer build over the fuzz input in
// memory, for readers that take an open file; the bytes stay the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qfile/render/qf_file.h"

class FuzzMemoryFile
{
public:
    FuzzMemoryFile(const uint8_t* aData, size_t aSize, bool aSwapBytes)
    {
        myFile.myBuffer = const_cast<uint8_t*>(aData);
        myFile.myFileSize = myFile.myCapacity = uint32_t(aSize);
        myFile.myFilePos = 0;
        myFile.myStatus = QF_READ | (aSwapBytes ? (uint32_t)QF_SWAP_BYTES : 0u);
        myFile.myFlags = QF_FLAG_NOT_OWNED | (aSwapBytes ? (uint32_t)QF_FLAG_SWAP_BYTES : 0u);
    }
    ~FuzzMemoryFile()
    {
        myFile.myBuffer = nullptr;
        myFile.myStatus = QF_FILE_NOT_OPEN;
    }
    FuzzMemoryFile(const FuzzMemoryFile&) = delete;
    FuzzMemoryFile& operator=(const FuzzMemoryFile&) = delete;

    QF_File myFile;
};
