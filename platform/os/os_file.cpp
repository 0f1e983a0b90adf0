// Files, directories and paths over POSIX, with the Windows path habits mended.
#include "platform/os/os_file.h"
#include "platform/os/os_file_local.h"
#include "platform/os/os_savefile_local.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
std::string locNormalize(const char* aPath)
{
    std::string locPath = aPath ? aPath : "";
    for (char& locChar : locPath)
        if (locChar == '\\')
            locChar = '/';
    if (locPath.size() >= 2 && locPath[1] == ':' &&
        ((locPath[0] >= 'a' && locPath[0] <= 'z') || (locPath[0] >= 'A' && locPath[0] <= 'Z')))
    {
        // A drive maps to the folder Q_DRIVE_<LETTER> names; without one it is dropped.
        char locVariable[] = "Q_DRIVE_X";
        locVariable[8] = char(locPath[0] & ~0x20);
        const char* locFolder = getenv(locVariable);
        std::string locRest = locPath.substr(2);
        if (locFolder && locFolder[0])
        {
            std::string locMapped = locFolder;
            for (char& locChar : locMapped)
                if (locChar == '\\')
                    locChar = '/';
            if (locRest.empty() || locRest[0] != '/')
                locMapped += '/';
            locRest = locMapped + locRest;
        }
        locPath = locRest;
    }
    // "a//b" names "a/b" on both systems; keep one separator.
    std::string locResult;
    locResult.reserve(locPath.size());
    for (char locChar : locPath)
        if (!(locChar == '/' && !locResult.empty() && locResult.back() == '/'))
            locResult.push_back(locChar);
    return locResult;
}

bool locExists(const std::string& aPath)
{
    struct stat locStat;
    return lstat(aPath.c_str(), &locStat) == 0;
}

// Listings of the folders searched without regard to case, so that a folder
// of many files is read once rather than once per missing name. A listing is
// read again when the folder's times show a change this process did not note.
struct locDirListing
{
    struct timespec myModified;
    struct timespec myChanged;
    // Upper-cased name -> the names on disk with that spelling in any case.
    std::unordered_map<std::string, std::vector<std::string>> myNames;
    // Names of the save helper's temporary files (".<name>.<pid>-<n>.tmp").
    std::vector<std::string> myTempNames;
    // Read so soon after the folder's last change that another change within the
    // clock's tick would leave its times as they are: not trusted.
    bool myRacyFlag;
};

std::mutex ourListingMutex;
std::unordered_map<std::string, locDirListing> ourListings;   // by "<device>:<inode>"
constexpr size_t locMaxListings = 16;

std::string locUpperKey(const char* aName)
{
    std::string locKey = aName;
    for (char& locChar : locKey)
        if (locChar >= 'a' && locChar <= 'z')
            locChar = char(locChar - 'a' + 'A');
    return locKey;
}

bool locIsTempName(const char* aName)
{
    size_t locLength = strlen(aName);
    return aName[0] == '.' && locLength > 5 && strcmp(aName + locLength - 4, ".tmp") == 0;
}

std::string locListingKey(const struct stat& aStat)
{
    return std::to_string(aStat.st_dev) + ":" + std::to_string(aStat.st_ino);
}

bool locSameTime(const struct timespec& aFirst, const struct timespec& aSecond)
{
    return aFirst.tv_sec == aSecond.tv_sec && aFirst.tv_nsec == aSecond.tv_nsec;
}

void locAddName(locDirListing* aListing, const char* aName)
{
    std::vector<std::string>& locSpellings = aListing->myNames[locUpperKey(aName)];
    for (const std::string& locSpelling : locSpellings)
        if (locSpelling == aName)
            return;
    locSpellings.push_back(aName);
    if (locIsTempName(aName))
        aListing->myTempNames.push_back(aName);
}

void locRemoveName(locDirListing* aListing, const char* aName)
{
    auto locIt = aListing->myNames.find(locUpperKey(aName));
    if (locIt != aListing->myNames.end())
    {
        std::vector<std::string>& locSpellings = locIt->second;
        for (size_t i = 0; i < locSpellings.size(); ++i)
            if (locSpellings[i] == aName)
            {
                locSpellings.erase(locSpellings.begin() + long(i));
                break;
            }
        if (locSpellings.empty())
            aListing->myNames.erase(locIt);
    }
    for (size_t i = 0; i < aListing->myTempNames.size(); ++i)
        if (aListing->myTempNames[i] == aName)
        {
            aListing->myTempNames.erase(aListing->myTempNames.begin() + long(i));
            break;
        }
}

// The current listing of the folder open as aDirHandle; null when it cannot be
// read. Called with ourListingMutex held.
locDirListing* locListingOf(int aDirHandle)
{
    struct stat locStat;
    if (fstat(aDirHandle, &locStat) != 0 || !S_ISDIR(locStat.st_mode))
        return nullptr;
    const std::string locKey = locListingKey(locStat);
    auto locIt = ourListings.find(locKey);
    if (locIt != ourListings.end() && !locIt->second.myRacyFlag &&
        locSameTime(locIt->second.myModified, locStat.st_mtim) && locSameTime(locIt->second.myChanged, locStat.st_ctim))
        return &locIt->second;

    int locCopy = openat(aDirHandle, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* locDir = locCopy >= 0 ? fdopendir(locCopy) : nullptr;
    if (!locDir)
    {
        if (locCopy >= 0)
            close(locCopy);
        return nullptr;
    }
    if (locIt == ourListings.end() && ourListings.size() >= locMaxListings)
        ourListings.erase(ourListings.begin());
    locDirListing& locListing = ourListings[locKey];
    locListing.myNames.clear();
    locListing.myTempNames.clear();
    locListing.myModified = locStat.st_mtim;
    locListing.myChanged = locStat.st_ctim;
    struct timespec locNow;
    clock_gettime(CLOCK_REALTIME, &locNow);
    const int64_t locSinceChange = (int64_t(locNow.tv_sec) - locStat.st_ctim.tv_sec) * 1000000000 +
                                   (locNow.tv_nsec - locStat.st_ctim.tv_nsec);
    locListing.myRacyFlag = locSinceChange < 100000000;   // 100 ms, well above any file system's tick
    while (struct dirent* locEntry = readdir(locDir))
    {
        if (strcmp(locEntry->d_name, ".") && strcmp(locEntry->d_name, ".."))
            locAddName(&locListing, locEntry->d_name);
    }
    closedir(locDir);
    return &locListing;
}

// The entry of aDir whose name equals aName without regard to case; the
// smallest such name (byte order) when several do, so the choice is stable.
bool locFindNoCase(const std::string& aDir, const std::string& aName, std::string* aFound)
{
    int locDirHandle = open(aDir.empty() ? "." : aDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (locDirHandle < 0)
        return false;
    bool locFoundFlag = OS_FindNoCaseAt(locDirHandle, aName.c_str(), aFound);
    close(locDirHandle);
    return locFoundFlag;
}
}

bool OS_FindNoCaseAt(int aDirHandle, const char* aName, std::string* aFound)
{
    std::lock_guard<std::mutex> locLock(ourListingMutex);
    locDirListing* locListing = locListingOf(aDirHandle);
    if (!locListing)
        return false;
    auto locIt = locListing->myNames.find(locUpperKey(aName));
    if (locIt == locListing->myNames.end())
        return false;
    const std::string* locBest = nullptr;
    for (const std::string& locSpelling : locIt->second)
        if (!locBest || locSpelling < *locBest)
            locBest = &locSpelling;
    *aFound = *locBest;
    return true;
}

void OS_NoteNameAt(int aDirHandle, const char* aName, bool anAdded)
{
    std::lock_guard<std::mutex> locLock(ourListingMutex);
    struct stat locStat;
    if (fstat(aDirHandle, &locStat) != 0)
        return;
    auto locIt = ourListings.find(locListingKey(locStat));
    if (locIt == ourListings.end())
        return;
    if (anAdded)
        locAddName(&locIt->second, aName);
    else
        locRemoveName(&locIt->second, aName);
    locIt->second.myModified = locStat.st_mtim;
    locIt->second.myChanged = locStat.st_ctim;
    // The listing holds this process's own change: trusted until the times move.
    locIt->second.myRacyFlag = false;
}

void OS_TempNamesAt(int aDirHandle, std::vector<std::string>* aNames)
{
    std::lock_guard<std::mutex> locLock(ourListingMutex);
    aNames->clear();
    if (locDirListing* locListing = locListingOf(aDirHandle))
        *aNames = locListing->myTempNames;
}

namespace
{
std::string locResolve(const char* aPath)
{
    std::string locPath = locNormalize(aPath);
    if (locPath.empty() || locExists(locPath))
        return locPath;

    std::string locResult;
    size_t locStart = 0;
    if (locPath[0] == '/')
    {
        locResult = "/";
        locStart = 1;
    }
    while (locStart < locPath.size())
    {
        size_t locEnd = locPath.find('/', locStart);
        std::string locPart = locPath.substr(locStart, locEnd == std::string::npos ? std::string::npos : locEnd - locStart);
        std::string locCandidate = locResult + locPart;
        if (locPart == "." || locPart == ".." || locExists(locCandidate))
            locResult = locCandidate;
        else
        {
            std::string locFound;
            if (!locFindNoCase(locResult, locPart, &locFound))
            {
                // The rest does not exist in any case: keep it as written.
                locResult += locPath.substr(locStart);
                return locResult;
            }
            locResult += locFound;
        }
        if (locEnd == std::string::npos)
            break;
        locResult += '/';
        locStart = locEnd + 1;
    }
    return locResult;
}

void locFillInfo(const struct stat& aStat, OS_FileInfo* anInfo)
{
    anInfo->mySize = S_ISDIR(aStat.st_mode) ? 0 : static_cast<uint64_t>(aStat.st_size);
    anInfo->myWriteTime = static_cast<int64_t>(aStat.st_mtim.tv_sec);
    anInfo->myWriteNanoseconds = static_cast<int32_t>(aStat.st_mtim.tv_nsec);
    anInfo->myIsDirectory = S_ISDIR(aStat.st_mode);
    anInfo->myDevice = static_cast<uint64_t>(aStat.st_dev);
    anInfo->myInode = static_cast<uint64_t>(aStat.st_ino);
}

bool locCopyOut(const std::string& aText, char* aResult, size_t aResultSize)
{
    if (!aResult || aText.size() + 1 > aResultSize)
        return false;
    memcpy(aResult, aText.c_str(), aText.size() + 1);
    return true;
}
}

bool OS_ResolvePath(const char* aPath, char* aResult, size_t aResultSize)
{
    return locCopyOut(locResolve(aPath), aResult, aResultSize);
}

namespace
{
// An unnamed file in the folder of aPath: proof that the file could be made
// there, without making it. Where the file system has no unnamed files, the
// file is made and removed at once.
int locOpenUnnamedBeside(const std::string& aPath)
{
    const size_t locSlash = aPath.rfind('/');
    const std::string locDir = locSlash == std::string::npos ? "." : aPath.substr(0, locSlash + 1);
    int locHandle = open(locDir.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0666);
    if (locHandle >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return locHandle;
    locHandle = open(aPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (locHandle >= 0)
        unlink(aPath.c_str());
    return locHandle;
}
}

OS_FileHandle OS_OpenFile(const char* aPath, OS_OpenMode aMode)
{
    std::string locPath = locResolve(aPath);
    if (locPath.empty())
        return OS_INVALID_HANDLE;
    int locFlags = O_CLOEXEC;
    switch (aMode)
    {
    case OS_OPEN_READ: locFlags |= O_RDONLY; break;
    case OS_OPEN_READ_WRITE: locFlags |= O_RDWR | O_CREAT; break;
    case OS_OPEN_CREATE_ALWAYS: locFlags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OS_OPEN_CREATE_NEW: locFlags |= O_RDWR | O_CREAT | O_EXCL; break;
    case OS_OPEN_FOR_SAVE: locFlags |= O_RDWR; break;
    default: return OS_INVALID_HANDLE;
    }
    int locHandle;
    do
        locHandle = open(locPath.c_str(), locFlags, 0666);
    while (locHandle < 0 && errno == EINTR);
    if (locHandle < 0 && errno == ENOENT && aMode == OS_OPEN_FOR_SAVE)
        locHandle = locOpenUnnamedBeside(locPath);
    if (locHandle < 0)
        return OS_INVALID_HANDLE;
    struct stat locStat;
    if (fstat(locHandle, &locStat) != 0 || S_ISDIR(locStat.st_mode))
    {
        close(locHandle);
        errno = EISDIR;
        return OS_INVALID_HANDLE;
    }
    // An in-place save of this file that a kill stopped is undone or dropped
    // before anyone reads it, whichever program of the toolset opens it.
    if (S_ISREG(locStat.st_mode))
        OS_RecoverSave(locHandle, locPath.c_str());
    return locHandle;
}

void OS_CloseFile(OS_FileHandle aHandle)
{
    if (aHandle != OS_INVALID_HANDLE)
        close(aHandle);
}

// Repeats aStep (bytes done so far -> bytes moved, or -1) until aCount bytes are done,
// retrying interrupted calls. A read ends early at the end of the file; a write that
// moves nothing fails.
template <class Step> static int64_t locTransfer(size_t aCount, bool aWriteFlag, Step aStep)
{
    size_t locDone = 0;
    while (locDone < aCount)
    {
        ssize_t locMoved = aStep(locDone);
        if (locMoved < 0 && errno == EINTR)
            continue;
        if (locMoved < 0 || (locMoved == 0 && aWriteFlag))
            return -1;
        if (locMoved == 0)
            break;
        locDone += static_cast<size_t>(locMoved);
    }
    return static_cast<int64_t>(locDone);
}

int64_t OS_ReadFile(OS_FileHandle aHandle, void* aDst, size_t aCount)
{
    return locTransfer(aCount, false, [&](size_t aDone) {
        return read(aHandle, static_cast<char*>(aDst) + aDone, aCount - aDone);
    });
}

int64_t OS_ReadFileAt(OS_FileHandle aHandle, void* aDst, size_t aCount, uint64_t anOffset)
{
    return locTransfer(aCount, false, [&](size_t aDone) {
        return pread(aHandle, static_cast<char*>(aDst) + aDone, aCount - aDone, static_cast<off_t>(anOffset + aDone));
    });
}

int64_t OS_WriteFile(OS_FileHandle aHandle, const void* aSrc, size_t aCount)
{
    return locTransfer(aCount, true, [&](size_t aDone) {
        return write(aHandle, static_cast<const char*>(aSrc) + aDone, aCount - aDone);
    });
}

int64_t OS_WriteFileAt(OS_FileHandle aHandle, const void* aSrc, size_t aCount, uint64_t anOffset)
{
    return locTransfer(aCount, true, [&](size_t aDone) {
        return pwrite(aHandle, static_cast<const char*>(aSrc) + aDone, aCount - aDone,
                      static_cast<off_t>(anOffset + aDone));
    });
}

bool OS_SeekFile(OS_FileHandle aHandle, int64_t anOffset, int aWhence, uint64_t* aNewPosition)
{
    int locWhence;
    switch (aWhence)
    {
    case 0: locWhence = SEEK_SET; break;
    case 1: locWhence = SEEK_CUR; break;
    case 2: locWhence = SEEK_END; break;
    default: return false;
    }
    off_t locPos = lseek(aHandle, static_cast<off_t>(anOffset), locWhence);
    if (locPos < 0)
        return false;
    if (aNewPosition)
        *aNewPosition = static_cast<uint64_t>(locPos);
    return true;
}

bool OS_TruncateFile(OS_FileHandle aHandle, uint64_t aSize)
{
    int locResult;
    do
        locResult = ftruncate(aHandle, static_cast<off_t>(aSize));
    while (locResult != 0 && errno == EINTR);
    return locResult == 0;
}

bool OS_SyncFile(OS_FileHandle aHandle)
{
    return fsync(aHandle) == 0;
}

bool OS_SyncFileSystem(const char* aPath)
{
    int locHandle = open(aPath && aPath[0] ? aPath : ".", O_RDONLY | O_CLOEXEC);
    if (locHandle < 0)
        return false;
    bool locSynced = syncfs(locHandle) == 0;
    close(locHandle);
    return locSynced;
}

bool OS_GetHandleInfo(OS_FileHandle aHandle, OS_FileInfo* anInfo)
{
    struct stat locStat;
    if (fstat(aHandle, &locStat) != 0)
        return false;
    locFillInfo(locStat, anInfo);
    return true;
}

bool OS_MapFile(OS_FileHandle aHandle, const void** anAddress, uint64_t* aSize, bool aPopulateFlag)
{
    struct stat locStat;
    if (fstat(aHandle, &locStat) != 0 || !S_ISREG(locStat.st_mode))
        return false;
    *aSize = static_cast<uint64_t>(locStat.st_size);
    *anAddress = nullptr;
    if (*aSize == 0)
        return true;
    void* locView = mmap(nullptr, static_cast<size_t>(*aSize), PROT_READ, MAP_PRIVATE | (aPopulateFlag ? MAP_POPULATE : 0),
                         aHandle, 0);
    if (locView == MAP_FAILED)
        return false;
    *anAddress = locView;
    return true;
}

void OS_UnmapFile(const void* anAddress, uint64_t aSize)
{
    if (anAddress && aSize)
        munmap(const_cast<void*>(anAddress), static_cast<size_t>(aSize));
}

bool OS_GetFileInfo(const char* aPath, OS_FileInfo* anInfo)
{
    std::string locPath = locResolve(aPath);
    struct stat locStat;
    if (locPath.empty() || stat(locPath.c_str(), &locStat) != 0)
        return false;
    if (anInfo)
        locFillInfo(locStat, anInfo);
    return true;
}

bool OS_FileExists(const char* aPath)
{
    return OS_GetFileInfo(aPath, nullptr);
}

bool OS_IsDirectory(const char* aPath)
{
    OS_FileInfo locInfo;
    return OS_GetFileInfo(aPath, &locInfo) && locInfo.myIsDirectory;
}

bool OS_DeleteFile(const char* aPath)
{
    std::string locPath = locResolve(aPath);
    return !locPath.empty() && unlink(locPath.c_str()) == 0;
}

bool OS_RenameFile(const char* anOldPath, const char* aNewPath)
{
    std::string locOld = locResolve(anOldPath);
    std::string locNew = locResolve(aNewPath);
    return !locOld.empty() && !locNew.empty() && rename(locOld.c_str(), locNew.c_str()) == 0;
}

bool OS_CreateDirectory(const char* aPath)
{
    std::string locPath = locResolve(aPath);
    while (locPath.size() > 1 && locPath.back() == '/')
        locPath.pop_back();
    if (locPath.empty() || locExists(locPath))
    {
        errno = EEXIST;
        return false;
    }
    return mkdir(locPath.c_str(), 0777) == 0;
}

bool OS_RemoveDirectory(const char* aPath)
{
    std::string locPath = locResolve(aPath);
    return !locPath.empty() && rmdir(locPath.c_str()) == 0;
}

bool OS_ListDirectory(const char* aPath, OS_DirCallback aCallback, void* aUserData)
{
    std::string locPath = (aPath && aPath[0]) ? locResolve(aPath) : std::string(".");
    DIR* locDir = opendir(locPath.c_str());
    if (!locDir)
        return false;
    int locDirHandle = dirfd(locDir);
    while (struct dirent* locEntry = readdir(locDir))
    {
        if (!strcmp(locEntry->d_name, ".") || !strcmp(locEntry->d_name, ".."))
            continue;
        struct stat locStat;
        // An entry that vanished, or a dangling link, is not listed.
        if (fstatat(locDirHandle, locEntry->d_name, &locStat, 0) != 0)
            continue;
        OS_DirEntry locItem;
        locItem.myName = locEntry->d_name;
        locFillInfo(locStat, &locItem.myInfo);
        if (!aCallback(locItem, aUserData))
            break;
    }
    closedir(locDir);
    return true;
}

bool OS_GetCurrentDirectory(char* aResult, size_t aResultSize)
{
    return aResult && aResultSize && getcwd(aResult, aResultSize) != nullptr;
}

bool OS_SetCurrentDirectory(const char* aPath)
{
    std::string locPath = locResolve(aPath);
    return !locPath.empty() && chdir(locPath.c_str()) == 0;
}

bool OS_GetProgramPath(char* aResult, size_t aResultSize)
{
    char locBuffer[PATH_MAX];
    ssize_t locLength = readlink("/proc/self/exe", locBuffer, sizeof(locBuffer) - 1);
    if (locLength <= 0)
        return false;
    locBuffer[locLength] = 0;
    return locCopyOut(locBuffer, aResult, aResultSize);
}

bool OS_UserDataPath(const char* aProgram, std::string* aFolder)
{
    if (!aProgram || !aProgram[0] || strchr(aProgram, '/'))
        return false;
    std::string locBase;
    const char* locDataHome = getenv("XDG_DATA_HOME");
    // The XDG rule: a relative XDG_DATA_HOME is invalid and ignored.
    if (locDataHome && locDataHome[0] == '/')
        locBase = locDataHome;
    else
    {
        const char* locHome = getenv("HOME");
        if (!locHome || locHome[0] != '/')
            return false;
        locBase = std::string(locHome) + "/.local/share";
    }
    while (locBase.size() > 1 && locBase.back() == '/')
        locBase.pop_back();
    *aFolder = locBase + "/" + aProgram;
    return true;
}

bool OS_GetUserDataFolder(const char* aProgram, char* aResult, size_t aResultSize)
{
    std::string locFolder;
    if (!OS_UserDataPath(aProgram, &locFolder))
        return false;
    // Made on demand, the parents too, private to the user as XDG asks.
    for (size_t locSlash = locFolder.find('/', 1);; locSlash = locFolder.find('/', locSlash + 1))
    {
        std::string locPart = locFolder.substr(0, locSlash);
        if (mkdir(locPart.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (locSlash == std::string::npos)
            break;
    }
    struct stat locStat;
    if (stat(locFolder.c_str(), &locStat) != 0 || !S_ISDIR(locStat.st_mode))
        return false;
    return locCopyOut(locFolder, aResult, aResultSize);
}

bool OS_TimeToDateTime(int64_t aTime, OS_DateTime* aDateTime)
{
    time_t locTime = static_cast<time_t>(aTime);
    struct tm locTm;
    if (!gmtime_r(&locTime, &locTm))
        return false;
    aDateTime->myYear = locTm.tm_year + 1900;
    aDateTime->myMonth = locTm.tm_mon + 1;
    aDateTime->myDay = locTm.tm_mday;
    aDateTime->myHour = locTm.tm_hour;
    aDateTime->myMinute = locTm.tm_min;
    aDateTime->mySecond = locTm.tm_sec > 59 ? 59 : locTm.tm_sec;
    return true;
}

int64_t OS_GetCurrentTime()
{
    return static_cast<int64_t>(time(nullptr));
}
