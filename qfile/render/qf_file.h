// The file object of the renderer build: whole-file buffers written back at
// Close, contents stored compressed or scrambled, read-only mapped reads,
// streaming handles, and reads through registered directory-block archives
// (searched before the disk at priority 1, after it at priority 0).
#pragma once

#ifndef QC_RENDER_BUILD
#error "This is the renderer build's file object: link qfile_r."
#endif

#include <stdint.h>

#include "qfile/qf_filelist.h"

// Open-mode bits of QF_File::Open, kept in myStatus (without QF_CREATE_ALWAYS).
enum QF_OpenMode : uint32_t
{
    QF_FILE_NOT_OPEN = 0,
    QF_READ = 0x002,
    QF_WRITE = 0x004,           // edited in memory, written back at Close
    QF_SCRAMBLED = 0x008,       // the stored bytes are scrambled
    QF_MAPPED = 0x040,          // read through a read-only mapping
    QF_COMPRESSED = 0x080,      // stored as u32 unpacked size + zlib stream
    QF_SWAP_BYTES = 0x100,      // multi-byte reads swap their byte order
    QF_CREATE_ALWAYS = 0x400,   // write: start from an empty file
};

// Bits of QF_File::myFlags: where the contents came from and how they are stored.
enum QF_FileFlags : uint32_t
{
    QF_FLAG_SCRAMBLED = 0x008,
    QF_FLAG_ARCHIVE = 0x010,     // plain read out of a registered archive
    QF_FLAG_STREAMING = 0x020,
    QF_FLAG_MAPPED = 0x040,      // contents from an archive or a mapping
    QF_FLAG_COMPRESSED = 0x080,
    QF_FLAG_SWAP_BYTES = 0x100,
    QF_FLAG_NOT_OWNED = 0x200,   // the buffer is a view and is not freed
};

// Values of QF_ErrorCode in this build. Open sets QF_ERROR_NONE.
enum QF_Error
{
    QF_ERROR_NONE = -1,
    QF_ERROR_NOT_FOUND = 0,          // not found, or cannot be opened
    QF_ERROR_READ = 1,               // short read, archive read failure or a bad archive directory
    QF_ERROR_ARCHIVE_HEADER = 2,
    QF_ERROR_ARCHIVE_SIZE = 3,
    QF_ERROR_MAPPING = 4,
    QF_ERROR_DECOMPRESSION = 5,      // also a stored size that cannot be right
    QF_ERROR_NOT_OPEN = 6,           // Close on a file that is not open
    QF_ERROR_WRITE = 7,              // write-back or compression at Close failed; the old file is kept
};

extern int QF_ErrorCode;

// An open mapping of a whole file.
struct QF_Mapping
{
    const void* myAddress;
    uint64_t mySize;
};

// A registered directory-block archive.
struct QF_ArchiveEntry
{
    QF_ArchiveEntry* myNext;
    QF_ArchiveEntry* myPrevious;
    int* myFileHandle;          // heap cell, or null
    QF_Mapping* myMapping;      // heap cell, or null
    const uint8_t* myView;      // the whole archive, or null when not mapped
    char* myName;               // upper-cased heap copy
    uint32_t myDataFlags;       // QF_FLAG_MAPPED (plain), _SCRAMBLED, _COMPRESSED or both
    uint8_t myNoMapping;
    uint8_t myPriority;         // 1: before the disk, 0: after it
    uint8_t myIsOpen;
    uint32_t myVersion;
    uint64_t myFileSize;        // of the archive file, checked against its header
};

// What a lookup found of a file entry.
struct QF_ArchiveRecord
{
    uint32_t mySize;     // stored size
    uint32_t myOffset;   // of the data in the archive file
    uint8_t myFlags;
};

// One name of an archive directory listing.
struct QF_ArchiveListNode
{
    char* myName;        // upper-cased heap copy
    bool myIsDirectory;
    QF_ArchiveListNode* myNext;
};

class QF_File
{
public:
    QF_File();
    QF_File(const char* aName, uint32_t aMode);
    ~QF_File();
    QF_File(const QF_File&) = delete;
    QF_File& operator=(const QF_File&) = delete;

    bool Open(const char* aName, uint32_t aMode);
    // Writes a write-mode file back (through a temporary file renamed over it)
    // and releases everything. False with QF_ERROR_WRITE when the write-back
    // failed, with QF_ERROR_NOT_OPEN when not open.
    bool Close();
    bool IsOpen() const { return myStatus != QF_FILE_NOT_OPEN; }

    // Returns the number of bytes copied, clamped at the end.
    uint32_t Read(void* aDestination, uint32_t aCount);
    void ReadSome(void* aDestination, uint32_t* aCount);
    // False (and 0 stored) when fewer than 4 bytes were left.
    bool ReadU32(uint32_t* aValue);
    bool ReadU16(uint16_t* aValue);
    // 0 at the end.
    uint8_t ReadChar();
    void ReadString(char* aDestination, uint32_t aSize);
    // One logical line: leading blanks and empty lines skipped, "//" comments
    // dropped, trailing characters below 33 cut; ends at CR LF or a lone LF.
    void ReadLine(char* aDestination, uint32_t aSize);
    // Every byte up to the line end, which is removed; nothing trimmed.
    void ReadRawLine(char* aDestination, uint32_t aSize);
    // Up to a blank, tab, LF or CR; the delimiters after it are consumed too.
    void ReadWord(char* aDestination, uint32_t aSize);
    // ReadLine over 16-bit characters (swapped under QF_SWAP_BYTES).
    void ReadWideLine(uint16_t* aDestination, uint32_t aSize);

    bool Write(const void* aSource, uint32_t aCount);
    bool Seek(uint32_t anOffset, int aWhence);
    uint32_t GetPos() const;
    uint32_t GetSize() const { return myFileSize; }

    // Reads on demand through a handle of its own; returns the handle cell or null.
    int* OpenStreaming(const char* aName);

    static bool Exists(const char* aName);
    // Re-checks the registered archives first when aRefreshArchives is set.
    static bool Exists(const char* aName, bool aRefreshArchives);
    static bool IsDirectory(const char* aName);
    static bool Delete(const char* aName);
    static bool Move(const char* aFrom, const char* aTo);
    static void CreatePath(const char* aPath);
    static bool DeleteDirectory(const char* aDirectory);
    // Archives of priority 1, then the disk, then archives of priority 0; the
    // first source that names an entry wins. Archive entries have time 0.
    static bool GetTime(const char* aName, uint32_t* aTime);
    // anArchiveName (optional, 256 bytes) gets the archive's name, or "" for a disk file.
    static bool GetFileInfo(const char* aName, uint32_t* aTime, uint32_t* aSize, char* anArchiveName);
    // A merged listing in the same order of sources; null when out of memory.
    static QF_FileList* ListDirectory(const char* aDirectory);
    // A file time (seconds since 1970, UTC) packed; 0 when it cannot be.
    static uint32_t PackTime(int64_t aTime);
    // Seconds since 2000-01-01 as if every month had 31 days and every year 372.
    // False, and *aPackedTime untouched, outside 2000..2133 or past 32 bits.
    static bool PackDateTime(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                             uint32_t* aPackedTime);

    // zlib level 9 into a destination of GetCompressBound(n) bytes; the
    // compressed size, or -1.
    static long Compress(const void* aSource, uint32_t aSize, void* aDestination, long aDestinationSize);
    static long GetCompressBound(uint32_t aSize) { return (long)(aSize * 1.05 + 16); }
    // Into a buffer of the known unpacked size; that size, or 0 when the
    // stream does not inflate to exactly that many bytes.
    static uint32_t Uncompress(const void* aSource, uint32_t aSize, void* aDestination, uint32_t anUnpackedSize);

    // The self-inverse scrambling of the disk files: key (NOT n) XOR 0x3a9c6e15.
    static void Scramble(void* aData, uint32_t aSize);

    // Directory-block archives (a process-wide registry).
    static bool AddArchive(const char* aName, bool aNoMapping, int aPriority);
    static bool OpenArchive(QF_ArchiveEntry* anEntry, const char* aName);
    static void CloseArchive(QF_ArchiveEntry* anEntry);
    static void DestroyEntry(QF_ArchiveEntry* anEntry);
    static void CloseAllArchives();
    static bool ReopenArchive(QF_ArchiveEntry* anEntry);
    static bool RefreshArchives();
    static QF_ArchiveEntry* FindArchive(const char* aName);
    static QF_ArchiveEntry* GetFirstArchive();
    // aBuffer (optional) receives the contents: a view into a mapped archive
    // (*aNotOwned set) or a new[] block of the unpacked size.
    static bool LookupInArchive(QF_ArchiveEntry* anEntry, const char* aPath, QF_ArchiveRecord* aRecord,
                                uint8_t** aBuffer, uint32_t* aBufferSize, bool* aNotOwned);
    // Appends the names of a directory not yet in *aList; an empty path is the root.
    static bool ListArchiveDirectory(const char* aPath, QF_ArchiveEntry* anEntry, QF_ArchiveListNode** aList);
    static void FreeArchiveList(QF_ArchiveListNode* aList);
    static void ScrambleBlock(uint32_t aSize, void* aData, uint32_t aVersion);

    uint32_t myStatus;       // the open mode without QF_CREATE_ALWAYS
    uint32_t myFlags;        // QF_FileFlags
    uint8_t* myBuffer;
    uint32_t myFileSize;
    uint32_t myFilePos;
    int64_t myFileTime;      // last write of the disk file, seconds since 1970 UTC; 0 when unknown
    uint32_t myCapacity;
    int* myFileHandle;       // heap cell, or null
    QF_Mapping* myMapping;   // heap cell of a mapped read, or null
    uint8_t myLineState;     // 1 when the last line read stopped inside a line
    uint64_t myStreamBase;   // a streaming handle reads at myStreamBase + myFilePos
    char* myWritePath;       // write mode: where Close writes the contents back

private:
    bool PrepareOpen(const char* aName);
    bool OpenForWriting(const char* aName, uint32_t aMode);
    bool OpenMapped(const char* aName);
    bool OpenPlain(const char* aName, uint32_t aMode);
    bool FindInArchives(const char* aName, int aPriority, bool aMapped);
    bool OpenSource(const char* aName, bool aMapped);
    bool ReadContents(uint32_t aSize, uint32_t aMode);
    bool Inflate();
    void Release();
    uint32_t ReadLineUnits(void* aDestination, uint32_t aSize, bool aWide);
};
