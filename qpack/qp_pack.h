// The pack library: memory-to-memory compression and decompression of one
// buffer with zlib or LZMA. Every call sets up and tears down its own coder.
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
