// The SDF archive layout shared by the opener, the entry reader and the writer.
// All values are little-endian u32; FAT offsets count from the start of the
// unpacked FAT, data offsets from the start of the archive file.
#pragma once

#include <cstddef>
#include <cstdint>

// 'K', 'O', 'L', 0x09 read as a u32.
constexpr uint32_t QF_SDF_MAGIC = 0x094C4F4B;
constexpr uint32_t QF_SDF_HEADER_SIZE = 8;       // magic, FAT block offset
constexpr uint32_t QF_SDF_FAT_HEADER_SIZE = 8;   // unpacked size, packed word
constexpr uint32_t QF_SDF_FILE_RECORD_SIZE = 20; // before the leaf name
constexpr uint32_t QF_SDF_MAX_PATH = 255;

constexpr uint32_t QF_SDF_STORED_SIZE_MASK = 0x3FFFFFFF;

inline uint32_t QF_SDFStoredSize(uint32_t aPackedWord) { return aPackedWord & QF_SDF_STORED_SIZE_MASK; }
inline uint32_t QF_SDFMethodOf(uint32_t aPackedWord) { return aPackedWord >> 30; }
inline uint32_t QF_SDFPackWord(uint32_t aStoredSize, uint32_t aMethod) { return aStoredSize | (aMethod << 30); }

inline uint32_t QF_SDFGetU32(const uint8_t* aData)
{
    return (uint32_t)aData[0] | ((uint32_t)aData[1] << 8) | ((uint32_t)aData[2] << 16) | ((uint32_t)aData[3] << 24);
}

inline void QF_SDFPutU32(uint8_t* aData, uint32_t aValue)
{
    aData[0] = (uint8_t)aValue;
    aData[1] = (uint8_t)(aValue >> 8);
    aData[2] = (uint8_t)(aValue >> 16);
    aData[3] = (uint8_t)(aValue >> 24);
}

// Fields of a file record, by byte offset from the record's start.
enum QF_SDFFileRecordField : uint32_t
{
    QF_SDF_FR_TIME = 0,
    QF_SDF_FR_SIZE = 4,
    QF_SDF_FR_PACKED = 8,
    QF_SDF_FR_DATA_OFFSET = 12,
    QF_SDF_FR_DIR_PATH = 16,
    QF_SDF_FR_NAME = 20,
};

// Room for the text of a FAT check's fault, NUL included.
constexpr size_t QF_SDF_FAULT_SIZE = 256;

// The checks applied to an unpacked FAT before it is used: counts against its
// size, every record and string inside it (an offset equal to the size lies
// outside), every name's NUL inside it, record offsets on multiples of 4.
// On success *aDirTable is the FAT offset of the directory count; on failure
// aFault (QF_SDF_FAULT_SIZE bytes) says what is wrong.
bool QF_SDFCheckFat(const uint8_t* aData, uint32_t aSize, uint32_t* aDirTable, char* aFault);

// A leaf name an archive may hold: not empty, not "." or "..", no '/' or '\\'.
bool QF_SDFIsLeafName(const char* aName);
// The directory tree of a FAT that passed QF_SDFCheckFat: every directory path
// is an entry path (QF_SDFIsEntryPath) or the root's empty one, every
// sub-directory entry names, by a proper leaf name, a directory whose path is
// its parent's path and that name, and no directory is listed twice. On
// failure aFault says what is wrong.
bool QF_SDFCheckTree(const uint8_t* aData, uint32_t aSize, uint32_t aDirTable, char* aFault);

// Test seam: when set, the writer's compression of a file's data asks it first
// and fails as if the coder had (error 14) when it answers true. Called on the
// compressing threads.
extern bool (*QF_SDFEditCompressionFault)(const char* aPath);
