// The registry of open SDF archives and the read side of an archive: finding
// an entry by path, loading it into a QF_File, listing a directory.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/os_file.h"

class QF_File;
class QF_FileList;

// One open archive. The unpacked FAT keeps its 32-bit offsets as stored (FAT
// offsets, checked against myFATSize by the opener); they are resolved on access.
struct QF_SDFArchive
{
    uint32_t myRefCount;
    QF_SDFArchive* myNext;
    QF_SDFArchive* myPrevious;
    uint8_t myPriority;       // 1: before the disk, 0: after it
    uint8_t myOpenFlag;       // FAT loaded and sound; cleared when a read fails
    char* myName;             // owned (malloc), path as opened with '/' separators
    uint8_t* myFAT;           // owned (malloc), the unpacked FAT
    uint32_t myFATSize;
    uint32_t myFileTable;     // FAT offset of the file count (0)
    uint32_t myDirTable;      // FAT offset of the directory count
    OS_FileHandle myFileHand; // shared reading handle for entry data
    uint8_t myTablesSorted;   // both tables in ascending hash order (checked at open): searched by halving
};

// One file of an archive as the reader reports it.
struct QF_SDFFileRecord
{
    uint32_t myTime;           // packed last-write time
    uint32_t mySize;           // unpacked size
    uint32_t myPackedWord;     // stored size (low 30 bits) | method << 30
    uint32_t myDataOffset;     // absolute offset of the data block
    const char* myDirectory;   // the directory's path inside the FAT ("" for the root)
    const char* myName;        // the leaf name inside the FAT
};

// Why the last QF_SDF::Open failed, for the user; emptied when an open starts.
extern char QF_SDFErrorText[256];

// The one rule for the paths an archive holds, kept by the writer, the opener
// and the archive tool: parts separated by '/' or '\\' alike, none of them
// empty, "." or "..", so that no path begins or ends with a separator.
bool QF_SDFIsEntryPath(const char* aPath);

// An archive path for display and for the file names made on extraction: each
// part that is not valid UTF-8 (the Windows originals wrote code page 1252) is
// read as code page 1252. Lookups keep the stored bytes.
std::string QF_SDFNameToUtf8(const char* aName);

// The one comparison of archive paths: two paths of one key are one entry to
// every reader (looked up without regard to a-z case, extracted under their
// code page 1252 reading), so the writer refuses to pack both. The key is the
// path read as QF_SDFNameToUtf8 does, '\\' as '/', a-z upper-cased.
std::string QF_SDFNameKey(const char* aPath);
// A path for a message: as QF_SDFNameToUtf8 shows it, marked when that is not
// its own bytes, so that the two of a pair read apart.
std::string QF_SDFNameForMessage(const char* aPath);

enum QF_SDFMethod
{
    QF_SDF_STORED = 0,
    QF_SDF_ZLIB = 1,
    QF_SDF_LZMA = 2,
    QF_SDF_INVALID = 3,
};

class QF_SDF
{
public:
    // Head of the registry; entries are searched from here in list order.
    static QF_SDFArchive* ourFirstArchive;

    // Copies the path into aNormalized (256 bytes) with '\\' turned into '/' and
    // returns the Adler-32 of its upper-cased bytes. Paths are cut at 255 characters.
    static uint32_t HashName(const char* aPath, char* aNormalized);

    // Finds the record of a normalized path in one archive; when aFile is given
    // (its mode set by Open) the entry is loaded into it.
    static bool FindEntry(QF_SDFArchive* anArchive, uint32_t aHash, const char* aNormalizedPath,
                          QF_SDFFileRecord* aRecord, QF_File* aFile);
    // The name of the first searched archive of that priority holding the path, or null.
    static const char* FindFile(const char* aPath, QF_SDFFileRecord* aRecord, uint8_t aPriority);
    // The same, giving the archive itself.
    static QF_SDFArchive* FindArchiveEntry(const char* aPath, QF_SDFFileRecord* aRecord, uint8_t aPriority);
    // The checks made before an entry's data is read: its method, its sizes, and
    // its extent inside the archive file. False with QF_ErrorCode 6 or 2.
    static bool CheckEntry(QF_SDFArchive* anArchive, const QF_SDFFileRecord& aRecord);
    // Loads the path from the first archive of that priority that holds it and
    // reads it successfully.
    static bool OpenFile(const char* aPath, QF_File* aFile, uint8_t aPriority);
    // Adds one directory's sub-directories and files to the list.
    static bool ListArchiveDirectory(const char* aDirectory, QF_SDFArchive* anArchive, QF_FileList* aList);
    static bool ListDirectory(const char* aDirectory, QF_FileList* aList, uint8_t aPriority);

    // The registry. OpenByName shares an entry already registered under that
    // name (without regard to case) by reference count, whatever the priority
    // asked; otherwise it opens a new one. Null with QF_ErrorCode on failure.
    static QF_SDFArchive* OpenByName(const char* aPath, uint8_t aPriority);
    // (Re)loads one entry: header, FAT block and FAT checks. Codes: 1 cannot
    // open, 2 read, seek or unpacking failure, 4 not an archive, 5 corrupt FAT
    // (a directory table that is no tree too); QF_SDFErrorText says more.
    static bool Open(QF_SDFArchive* anArchive, const char* aPath, uint8_t aPriority);
    // A null name closes every archive (true). Otherwise lowers the count of
    // the entry of that name (compared without case, separators as given) and
    // frees it at 0; false when there is none.
    static bool Close(const char* aName);

    // Registry entries: created at the head (reference count 1, nothing loaded),
    // emptied in place, or emptied and unlinked (the caller frees it).
    static QF_SDFArchive* CreateEntry();
    static void CloseArchive(QF_SDFArchive* anArchive);
    static void DestroyEntry(QF_SDFArchive* anArchive);

    // Reading the FAT: bounded, 0 / null when the offset does not fit.
    static uint32_t GetFATWord(const QF_SDFArchive* anArchive, uint32_t anOffset);
    static const char* GetFATText(const QF_SDFArchive* anArchive, uint32_t anOffset);
    static bool GetFileRecord(const QF_SDFArchive* anArchive, uint32_t aRecordOffset, QF_SDFFileRecord* aRecord);

private:
    static bool IsSearched(const QF_SDFArchive* anArchive, uint8_t aPriority);
    static bool LoadEntry(QF_SDFArchive* anArchive, const QF_SDFFileRecord& aRecord, QF_File* aFile);
};
