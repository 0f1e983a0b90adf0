// The file object: the one way files are read and written. Reads look in the
// open SDF archives of priority 1, then on disk, then in archives of priority 0;
// writes go to the disk, edited in memory and written back whole at Close.
#pragma once

#include <cstdint>

#include "platform/os/os_file.h"
#include "qfile/qf_filelist.h"
#include "qcommon/qc_growingarray.h"

// Open-mode bits of QF_File::Open.
enum QF_OpenMode : uint32_t
{
    QFILE_NOT_OPEN = 0,
    OPEN_READ = 0x01,
    OPEN_WRITE = 0x02,          // contents kept in memory, written back at Close
    OPEN_APPEND = 0x04,         // implies OPEN_WRITE | OPEN_NO_TRUNCATE; starts at the end
    OPEN_NO_TRUNCATE = 0x08,    // write: keep the existing contents
    OPEN_STREAMING = 0x10,      // read: read from the handle on demand
    OPEN_COMPRESSED = 0x20,     // accepted and stored; no compressed file I/O here
    OPEN_SWAP_BYTES = 0x40,     // ReadU32 swaps the byte order
    OPEN_MAPPED = 0x80,         // read: a large file on disk is mapped, not copied (see Open)
};

// Values of QF_ErrorCode. Open resets it; nothing else clears it on success.
enum QF_Error
{
    QF_ERROR_NONE = 0,
    QF_ERROR_NOT_FOUND = 1,          // not found, or cannot be opened
    QF_ERROR_READ = 2,               // read, allocation while opening, archive read or unpacking
    QF_ERROR_OUT_OF_MEMORY = 3,      // growing a write buffer
    QF_ERROR_NOT_SDF = 4,            // wrong archive magic
    QF_ERROR_CORRUPT_SDF = 5,        // corrupt archive table
    QF_ERROR_INVALID_METHOD = 6,     // archive entry stored with method 3
    QF_ERROR_NOT_OPEN = 7,           // Close on a file that is not open
    QF_ERROR_TOO_LARGE = 8,          // a file of 4 GB or more
    QF_ERROR_WRITE = 9,              // writing back at Close failed; the old file is kept
};

extern int QF_ErrorCode;

class QF_File
{
public:
    QF_File();
    ~QF_File();   // closes an open file
    QF_File(const QF_File&) = delete;
    QF_File& operator=(const QF_File&) = delete;

    // A failed Open leaves the object closed, with QF_ErrorCode set.
    bool Open(const char* aName, uint32_t aMode);
    // Writes a write-mode file back through a temporary file renamed over it;
    // false with QF_ERROR_WRITE when that fails (the file on disk is then as it
    // was), false with QF_ERROR_NOT_OPEN when not open. The object is closed after.
    bool Close();

    // Returns the number of bytes copied, clamped at the end of the file.
    uint32_t Read(void* aDestination, uint32_t aCount);
    // The count goes in and comes out reduced to what was read.
    void ReadSome(void* aDestination, uint32_t* aCount);
    // False (and 0 stored) when fewer than 4 bytes were left.
    bool ReadU32(uint32_t* aValue);
    // Up to and including a NUL, at most aSize - 1 characters; always terminated.
    void ReadString(char* aDestination, uint32_t aSize);
    // One logical text line, at most aSize - 1 characters, NUL-terminated; lines
    // end at CR LF or a lone LF, leading blanks and "//" comments are dropped and
    // empty lines skipped. Returns the number of characters stored. The end of
    // the text is the position reaching the size.
    uint32_t ReadLine(char* aDestination, uint32_t aSize);

    bool Write(const void* aSource, uint32_t aCount);
    // aWhence: 0 from the start, 1 from the position, 2 back from the end. False
    // for another whence or a position past the end (the position is kept).
    bool Seek(uint32_t anOffset, int aWhence);
    uint32_t GetPos() const;
    uint32_t GetSize() const { return myFileSize; }
    uint32_t GetTime() const { return myTime; }
    bool IsOpen() const { return myFlags != QFILE_NOT_OPEN; }

    static bool Exists(const char* aName);
    static bool GetTime(const char* aName, uint32_t* aTime);
    // anArchiveName (optional, 256 bytes) gets the archive's name, or "" for a disk file.
    static bool GetFileInfo(const char* aName, uint32_t* aTime, uint32_t* aSize, char* anArchiveName);
    static bool Delete(const char* aName);
    // Creates every directory named by a prefix ending before a '/' or '\\'.
    static void CreatePath(const char* aPath);
    // True when the path names a directory on disk; else QF_ErrorCode 1.
    static bool IsDirectory(const char* aPath);
    // A new list, null when it cannot be allocated. The caller deletes it.
    static QF_FileList* ListDirectory(const char* aDirectory);
    // A file time (seconds since 1970, UTC) packed; 0 when it cannot be.
    static uint32_t PackTime(int64_t aTime);
    // Seconds since 2000-01-01 as if every month had 31 days. False, and
    // *aPackedTime untouched, for a date outside 2000..2133 or a value that
    // does not fit in 32 bits.
    static bool PackDateTime(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                             uint32_t* aPackedTime);

    // Readable by callers and set up by the archive reader.
    uint32_t myFlags;
    uint8_t* myBuffer;        // whole contents (see myBufferKind), or null; read-only when read
    uint32_t myFileSize;
    uint32_t myFilePos;
    uint32_t myTime;          // packed last-write time, 0 when unknown
    uint32_t myCapacity;      // allocated size of myBuffer
    OS_FileHandle myFileHand;
    uint8_t myLineState;      // 1 when the last ReadLine stopped inside a line
    char* myWritePath;        // write mode: the resolved path written back at Close (malloc)

private:
    // Where myBuffer comes from: malloc, OS_AllocLarge(myCapacity), or a
    // mapping of a whole file of myCapacity bytes opened for reading.
    enum BufferKind : uint8_t
    {
        BUFFER_HEAP,
        BUFFER_LARGE,
        BUFFER_MAPPED,
    };
    BufferKind myBufferKind;

    void Release();
    bool OpenForWriting(const char* aName);
    bool OpenFromDisk(const char* aName);
};

// Closes and deletes every file of the array.
template <>
void QC_GrowingArray<QF_File*>::DeleteAll();
