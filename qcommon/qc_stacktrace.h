// Stack traces resolved through the line-number table appended to the program.
//
// The table sits at the end of the executable file as a chain of blocks, each
// followed by an 8-byte trailer (u32 block length, then 'K','O','L' and a
// version byte). A version-0 block is a u32 unpacked size and one zlib stream
// holding: u32 record count, the records sorted by address, then the
// NUL-terminated source-file names. Addresses are relative to the image base
// (the lowest loadable address of the program, so a PIE's load base drops out).
#pragma once

#include <cstddef>
#include <cstdint>

class QC_StackTrace
{
public:
    struct MapLineNumber
    {
        uint32_t myAddress;
        // Bits 0-14: line number; bits 15-31: offset of the source-file name
        // from the first byte after the record array.
        uint32_t myPacked;
    };

    enum
    {
        LINE_BITS = 15,
        LINE_MASK = 0x7FFF,
        MAX_NAME_OFFSET = (1 << 17) - 1,
        TRAILER_SIZE = 8,
        MAX_FRAMES = 32,
    };
    // The marker word of a trailer without its version byte (the top byte).
    static constexpr uint32_t TRAILER_MARKER = 'K' | ('O' << 8) | ('L' << 16);

    struct LookupRecord
    {
        uintptr_t myAddress;  // in
        int myLine;
        // From the record's address, or from the module base when resolved by module.
        uintptr_t myOffset;
        // -1 when the address was resolved by module (myName is then the module's path).
        int myNameOffset;
        char myName[256];
    };

    // Reference-counted; the first load reads the table of the running program.
    static void Load();
    static void Release();

    // False without a table. Addresses outside the table resolve by module.
    static bool Lookup(LookupRecord* aRecord);

    // What the last load found.
    enum LoadResult
    {
        LOAD_OK = 0,
        LOAD_NO_FILE,    // the file could not be opened
        LOAD_NO_TABLE,   // the file does not end in a trailer
        LOAD_BAD_TABLE,  // a trailer, but the chain or the table is damaged
    };
    static LoadResult GetLoadResult();

    // Reads the newest version-0 table from the end of a file, replacing the
    // current one. A missing, foreign or damaged table leaves none (false).
    static bool LoadFile(const char* aPath);
    // Reads a table from an image already in memory (same rules as LoadFile).
    static bool LoadImage(const void* aData, size_t aSize);
    static void Free();
    static int GetNumRecords();
    // Where the program's image starts in memory; table addresses count from here.
    static uintptr_t GetImageBase();
    static void SetImageBase(uintptr_t aBase);

    // The instruction pointer, then the return addresses of the frame-pointer
    // chain; at most aMaxCount. Safe on a damaged stack. With the stack
    // pointer, a caller of a function that made no frame (a leaf, or a
    // prologue) is found too.
    static int WalkStack(uintptr_t anInstructionPointer, uintptr_t aFramePointer, uintptr_t* anAddressList, int aMaxCount,
                         uintptr_t aStackPointer = 0);
    // One line "file:line+0xoff\r\n", "module+0xoff\r\n" or "0x%08x\r\n".
    // A return address is named by the line of its call (the byte before it);
    // the offset is still the address's own. Returns the length written (the
    // text is truncated to aSize - 1).
    static int FormatFrame(uintptr_t anAddress, char* aBuffer, int aSize, bool aReturnAddressFlag = false);
    // Copies aSize bytes from anAddress unless they are not readable.
    static bool SafeRead(uintptr_t anAddress, void* aDestination, size_t aSize);
};
