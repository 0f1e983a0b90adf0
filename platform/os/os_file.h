// Files, directories and paths over POSIX. Every path given here may use '\\'
// as a separator and a leading drive letter ("c:/x"), and is resolved without
// regard to case when it does not exist as written (data trees come from Windows).
#pragma once

#include <cstddef>
#include <cstdint>

// A file handle is a POSIX descriptor; OS_INVALID_HANDLE when none.
typedef int OS_FileHandle;
constexpr OS_FileHandle OS_INVALID_HANDLE = -1;

// How OS_OpenFile opens a file.
enum OS_OpenMode
{
    OS_OPEN_READ = 0,            // existing file, read only
    OS_OPEN_READ_WRITE = 1,      // read and write; created when missing, contents kept
    OS_OPEN_CREATE_ALWAYS = 2,   // read and write; created when missing, emptied when present
    // Read and write; fails when the file exists (in any case). The create is
    // atomic (O_EXCL) on a local disk and on NFSv3+ and SMB shares: one caller
    // of many racing ones gets the file. For lock files.
    OS_OPEN_CREATE_NEW = 3,
    // Read and write an existing file. Where it is missing, nothing is made:
    // the handle is an unnamed, empty file in its folder (so a folder that
    // cannot take the file fails here), and the file appears only when a save
    // (OS_SaveFile) writes it. For files written whole at the end.
    OS_OPEN_FOR_SAVE = 4,
};

// A calendar time in UTC.
struct OS_DateTime
{
    int myYear = 0;     // e.g. 2024
    int myMonth = 0;    // 1..12
    int myDay = 0;      // 1..31
    int myHour = 0;     // 0..23
    int myMinute = 0;   // 0..59
    int mySecond = 0;   // 0..59 (a leap second reads as 59)
};

// What a directory search or a status query reports of one file.
struct OS_FileInfo
{
    uint64_t mySize = 0;
    int64_t myWriteTime = 0;   // last write, seconds since 1970-01-01 00:00 UTC
    int32_t myWriteNanoseconds = 0;   // 0..999,999,999 past myWriteTime
    bool myIsDirectory = false;
    uint64_t myDevice = 0;     // with myInode, names one file whatever path reaches it
    uint64_t myInode = 0;
};

// One entry of a directory listing; the name is valid during the callback only.
struct OS_DirEntry
{
    const char* myName = nullptr;
    OS_FileInfo myInfo;
};

// Return false to stop the listing.
typedef bool (*OS_DirCallback)(const OS_DirEntry& anEntry, void* aUserData);

// Paths.
// Turns '\\' into '/', maps a drive letter to the folder named by the
// environment variable Q_DRIVE_<LETTER> ("t:/x" with Q_DRIVE_T=/srv/data is
// "/srv/data/x") or drops it when that is unset or empty, and, where the path does not exist as
// written, takes each component from the disk's spelling of it. Components past
// the first missing one are kept as written. False only when aResult is too small.
bool OS_ResolvePath(const char* aPath, char* aResult, size_t aResultSize);

// The per-user data folder of a program, "$XDG_DATA_HOME/<program>", else
// "$HOME/.local/share/<program>"; made (with its parents) when missing. The
// machine-local files of the Windows originals ("c:/...", "t:/...") live there.
// False when no home is known, the folder cannot be made or aResult is too small.
bool OS_GetUserDataFolder(const char* aProgram, char* aResult, size_t aResultSize);

// Handles. Reads and writes loop until the count is done; they return the
// number of bytes moved (short only at the end of the file) or -1 on failure.
// Opening a file that an in-place save left unfinished (the process was
// killed) first puts its old content back, or keeps the new where it is
// whole (see OS_SaveFile).
OS_FileHandle OS_OpenFile(const char* aPath, OS_OpenMode aMode);
void OS_CloseFile(OS_FileHandle aHandle);
int64_t OS_ReadFile(OS_FileHandle aHandle, void* aDst, size_t aCount);
int64_t OS_ReadFileAt(OS_FileHandle aHandle, void* aDst, size_t aCount, uint64_t anOffset);
int64_t OS_WriteFile(OS_FileHandle aHandle, const void* aSrc, size_t aCount);
int64_t OS_WriteFileAt(OS_FileHandle aHandle, const void* aSrc, size_t aCount, uint64_t anOffset);
// aWhence: 0 from the start, 1 from the current position, 2 from the end.
bool OS_SeekFile(OS_FileHandle aHandle, int64_t anOffset, int aWhence, uint64_t* aNewPosition = nullptr);
bool OS_TruncateFile(OS_FileHandle aHandle, uint64_t aSize);
bool OS_SyncFile(OS_FileHandle aHandle);
// Writes everything cached for the file system holding aPath to the disk.
bool OS_SyncFileSystem(const char* aPath);
bool OS_GetHandleInfo(OS_FileHandle aHandle, OS_FileInfo* anInfo);

// A read-only mapping of a whole file; an empty file maps to null with size 0.
// OS_UnmapFile takes what OS_MapFile gave. With aPopulateFlag the pages are
// mapped at once, for a file that is read through.
bool OS_MapFile(OS_FileHandle aHandle, const void** anAddress, uint64_t* aSize, bool aPopulateFlag = false);
void OS_UnmapFile(const void* anAddress, uint64_t aSize);

// Names on disk.
bool OS_GetFileInfo(const char* aPath, OS_FileInfo* anInfo);
bool OS_FileExists(const char* aPath);
bool OS_IsDirectory(const char* aPath);
bool OS_DeleteFile(const char* aPath);
bool OS_RenameFile(const char* anOldPath, const char* aNewPath);
// False when the directory already exists (in any case) or cannot be made.
bool OS_CreateDirectory(const char* aPath);
bool OS_RemoveDirectory(const char* aPath);
// Calls back for each entry except "." and ".."; false when the directory
// cannot be read. A null or empty path lists the current directory.
bool OS_ListDirectory(const char* aPath, OS_DirCallback aCallback, void* aUserData);

// The process.
bool OS_GetCurrentDirectory(char* aResult, size_t aResultSize);
bool OS_SetCurrentDirectory(const char* aPath);
// The running program's own file (from /proc/self/exe).
bool OS_GetProgramPath(char* aResult, size_t aResultSize);

// Times, always in UTC.
bool OS_TimeToDateTime(int64_t aTime, OS_DateTime* aDateTime);
int64_t OS_GetCurrentTime();
