// The pack library: memory-to-memory compression and decompression of one
// buffer with zlib or LZMA. Every QP_Pack call sets up and tears down its own
// coder; QP_LZMAPacker keeps one for a thread that packs many buffers.
//
// LZMA buffers are 5 coder-property bytes followed by a raw LZMA stream with
// no size field and no end marker; the caller keeps the unpacked size.
#pragma once

#include <cstdint>

namespace QP_Pack
{
// The output capacity handed to zlib for aLength input bytes:
// aLength x 1.05 (single precision, truncated) + 16.
uint64_t GetZlibCapacity(uint32_t aLength);

// zlib compress2 at level 9 into aDestination, which must hold
// GetZlibCapacity(aLength) bytes. Bytes written, or -1 on any zlib error.
int CompressZlib(const void* aSource, void* aDestination, uint32_t aLength);

// LZMA (8 MiB dictionary, lc 3, lp 0, pb 2, normal mode, 128 fast bytes)
// into aDestination, whose usable capacity is aLength - 1 bytes. Bytes
// written (properties included), or 0 when the coder failed or the output
// would not be smaller than the input: the caller then stores the data raw.
uint32_t CompressLZMA(const void* aSource, void* aDestination, uint32_t aLength);

// zlib uncompress with an output limit of anUnpackedSize. Bytes produced, or 0
// on any zlib error.
uint32_t DecompressZlib(uint32_t anUnpackedSize, void* aDestination, uint32_t aPackedSize, const void* aSource);

// Unpacks exactly anUnpackedSize bytes; false when the properties are invalid,
// the stream is damaged or it does not come out at exactly that size.
bool DecompressLZMA(const void* aSource, uint32_t aPackedSize, void* aDestination, uint32_t anUnpackedSize);
}

// LZMA with exactly the bytes of QP_Pack::CompressLZMA, for one thread packing
// many buffers in turn: the coder and its match finder's memory stay between
// calls, so that a small buffer costs its encoding, not the coder's set-up
// (about half a megabyte of tables to allocate, fault in and clear). Memory
// beyond what a buffer of a few hundred kilobytes needs is not kept.
class QP_LZMAPacker
{
public:
    QP_LZMAPacker();
    ~QP_LZMAPacker();
    QP_LZMAPacker(const QP_LZMAPacker&) = delete;
    QP_LZMAPacker& operator=(const QP_LZMAPacker&) = delete;

    // As QP_Pack::CompressLZMA.
    uint32_t Compress(const void* aSource, void* aDestination, uint32_t aLength);
    // Bytes of coder memory kept until the next call.
    uint64_t GetKeptBytes() const;

private:
    struct Coder;
    Coder* myCoder;   // owned; null when memory for it ran out
};

// Unpacks one zlib or LZMA block in pieces, so that neither the packed nor the
// unpacked bytes need to be in memory at once. Memory stays bounded by the
// coder's own state (LZMA: its dictionary, at most the unpacked size).
class QP_Unpacker
{
public:
    QP_Unpacker() = default;
    ~QP_Unpacker() { End(); }
    QP_Unpacker(const QP_Unpacker&) = delete;
    QP_Unpacker& operator=(const QP_Unpacker&) = delete;

    // aMethod 1: a zlib stream; 2: 5 LZMA property bytes, then a raw LZMA
    // stream. The output must come to exactly anUnpackedSize bytes.
    bool Begin(uint32_t aMethod, uint32_t anUnpackedSize);
    // Takes what it can of the input and fills what it can of the output,
    // advancing both; aLastInput says no input follows this. False when the
    // data is damaged or would run past the unpacked size.
    bool Run(const uint8_t** anInput, uint32_t* anInputSize, uint8_t** anOutput, uint32_t* anOutputSize,
             bool aLastInput);
    // The whole unpacked size has come out and the stream ended there.
    bool IsDone() const { return myDoneFlag; }
    void End();

private:
    void* myZlib = nullptr;        // z_stream, owned
    void* myLzma = nullptr;        // lzma_stream, owned
    uint32_t myMethod = 0;
    uint32_t mySize = 0;
    uint32_t myProduced = 0;
    uint8_t myProperties[5] = {};
    uint32_t myPropertyCount = 0;
    bool myDoneFlag = false;
};
