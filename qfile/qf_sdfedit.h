// The SDF writer: packs a list of files, named relative to the current
// directory, into one archive.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_string.h"

class OS_SaveFile;

// What the progress callback is told before each file, and once at the end.
struct QF_SDFEditProgress
{
    int myKind;               // always 1
    float myFraction;         // bytes of earlier files / bytes of all files
    uint32_t myTotalBytes;    // all files (low 32 bits)
    uint32_t myUpdateBytes;   // always 0
    int myFileIndex;          // in file-table order
    int myNumFiles;
    float myReserved;
    const char* myName;       // the file's leaf name; "" in the closing call
};

// Returning false stops the write (error 10).
typedef bool (*QF_SDFEditProgressCallback)(QF_SDFEditProgress* aProgress);

// Values of QF_SDFEditError; some failures also leave QF_SDFEditErrorText.
enum QF_SDFEditErrorCode
{
    QF_SDFEDIT_OK = 0,
    QF_SDFEDIT_CALLBACK_SET = 1,       // progress callback set twice
    QF_SDFEDIT_RULE_EXISTS = 2,        // extension rule already present
    QF_SDFEDIT_SDF_IN_SDF = 3,         // a file has the extension "sdf"; text: its path
    QF_SDFEDIT_NO_FILES = 6,           // a write with no names; text: the archive
    QF_SDFEDIT_NOT_FOUND = 7,          // neither in an archive nor on disk, 4 GB or more, or a path over 255 characters; text: the name
    QF_SDFEDIT_EMPTY_FILE = 8,         // text: the name
    QF_SDFEDIT_CANNOT_CREATE = 9,      // the output cannot be created; text: the archive and the system's reason
    QF_SDFEDIT_CANCELLED = 10,         // the progress callback returned false; text: the archive
    QF_SDFEDIT_CANNOT_READ = 11,       // text: the path and the system's reason
    QF_SDFEDIT_SIZE_CHANGED = 12,      // text: the path
    QF_SDFEDIT_NO_MEMORY = 13,         // text: "%s: %d bytes" or "%d bytes" for the FAT
    QF_SDFEDIT_NOT_COMPRESSED = 14,    // the compression produced nothing; text: the path or "FAT"
    QF_SDFEDIT_WRITE_FAILED = 15,      // a write, seek or the final rename failed; text: the archive and the system's reason
    QF_SDFEDIT_TOO_LARGE = 16,         // a stored block over 2^30 - 1 bytes or an archive past 4 GB; text: the path or "FAT"
    QF_SDFEDIT_BAD_NAME = 17,          // a name no archive may hold (see QF_SDFIsEntryPath); text: the name
    QF_SDFEDIT_SAME_NAME = 18,         // two names one entry to readers (QF_SDFNameKey); text: both names
};

extern int QF_SDFEditError;
extern char QF_SDFEditErrorText[1024];

class QF_SDFEdit
{
public:
    QF_SDFEdit();
    ~QF_SDFEdit();
    QF_SDFEdit(const QF_SDFEdit&) = delete;
    QF_SDFEdit& operator=(const QF_SDFEdit&) = delete;

    // Keeps a copy with '\\' turned into '/' and one leading '"' dropped. False
    // when memory runs out, and with error 17 for a name that is no entry path
    // (QF_SDFIsEntryPath): that name is kept all the same, so that Write
    // refuses it too rather than leave it out.
    bool AddFile(const char* aName);
    // Method for files of that extension (at most 15 characters, compared
    // without case); an extension already given: error 2.
    bool SetCompression(const char* anExtension, uint32_t aMethod);
    // For file data without a rule and for the FAT. 0 stored, 1 zlib, 2 LZMA (the default).
    void SetDefaultCompression(uint32_t aMethod);
    // A second call: error 1, the first callback stays.
    bool SetProgressCallback(QF_SDFEditProgressCallback aCallback);
    // The method for a leaf name, or (uint32_t)-1 with error 3 for "sdf".
    uint32_t GetCompression(const char* aLeafName);

    // Compressing threads of Write: 0 (the default) one per core, 1 none
    // besides the calling thread. The archive's bytes do not depend on it.
    void SetThreadCount(int aCount);

    // Writes the archive through a temporary file beside anArchivePath that
    // replaces it only when complete: a failed write leaves any earlier file
    // of that name as it was, and every failure leaves a text. One write per writer. Files are read, progress
    // is reported and the archive written on the calling thread, in file-table
    // order (with workers, a few of the largest files are read first); only
    // the compression runs on the workers.
    bool Write(const char* anArchivePath);

private:
    struct FileStats
    {
        const char* myName;          // the stored name, as added
        const char* myLeaf;          // into the stored name
        uint32_t myHash;
        uint32_t mySize;
        uint32_t myPackedWord;       // stored size | method << 30
        uint32_t myTime;
        int myDirectoryIndex;
        uint32_t myDataOffset;
        uint32_t myFileInfoOffset;   // FAT offset of its record
        uint8_t myUpdateMark;        // always 0
    };

    struct Directory
    {
        QC_String myPath;            // no trailing '/'; empty for the root
        uint32_t myHash;
        QC_GrowingArray<int> myFileIndices;
        QC_GrowingArray<int> mySubDirIndices;
        Directory* myParent;
        uint32_t myDirectoryOffset;
        uint32_t myLeafNameOffset;   // position in myPath, later FAT offset
    };

    struct ExtensionRule
    {
        char myExtension[16];
        uint32_t myMethod;
    };

    bool Fail(int aCode, const char* aFormat = NULL, ...) __attribute__((format(printf, 3, 4)));
    // Error 9 or 15 with the archive's name and the system's reason.
    bool FailOutput(int aCode, int anErrno);
    int FindOrAddDirectory(const char* aPath, int aLength);
    bool ScanFiles(uint64_t* aTotalBytes);
    bool LayOut(uint64_t* aFatSize);
    bool WriteFiles(OS_SaveFile* anOutput, uint64_t aTotalBytes, uint32_t* aDataOffset);
    bool WriteFat(OS_SaveFile* anOutput, uint32_t aFatSize);
    bool ReportProgress(int aFileIndex, uint64_t aBytesDone, uint64_t aTotalBytes);

    FileStats* myFileStats;
    int myNumFileStats;
    QC_GrowingArray<Directory*> myDirs;
    QC_GrowingArray<ExtensionRule> myExtensionRules;
    QF_SDFEditProgressCallback myProgressCallback;
    QF_SDFEditProgress myProgress;
    uint32_t myDefaultMethod;
    uint32_t myFatMethod;
    int myThreadCount;
    QC_GrowingArray<char*> myNames;
    const char* myArchivePath;       // during Write, for the texts of its failures
    std::unordered_multimap<uint32_t, int> myDirIndex;   // directory hash to index in myDirs
};
