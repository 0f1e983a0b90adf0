// The save-file helper: temporary file beside the target, renamed on commit.
//
// Index:
// [SECTION] Helpers
// [SECTION] Begin
// [SECTION] Writing
// [SECTION] In place
// [SECTION] By rename
// [SECTION] Flushing while writing
// [SECTION] Commit, restore, set aside, abandon
#include "platform/os/os_savefile.h"
#include "platform/os/os_file_local.h"
#include "platform/os/os_savefile_local.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// [SECTION] Helpers

namespace
{
std::atomic<unsigned> ourTempCounter{0};

constexpr int locMaxLinks = 40;   // as the kernel's own limit on nested links
// Of a long name only this much goes into its temporary file's name, so that
// ".<name>.<pid>-<n>.tmp" still fits in one file name.
constexpr size_t locTempStemMax = 200;

std::string locTempStem(const char* aLeaf)
{
    return "." + std::string(aLeaf).substr(0, locTempStemMax) + ".";
}


// Removes the temporary files ".<aLeaf>.<pid>-<n>.tmp" of saves whose process is gone.
void locRemoveStaleTemps(int aDirHandle, const char* aLeaf)
{
    std::vector<std::string> locNames;
    OS_TempNamesAt(aDirHandle, &locNames);
    const std::string locPrefix = locTempStem(aLeaf);
    for (const std::string& locName : locNames)
    {
        if (locName.compare(0, locPrefix.size(), locPrefix) != 0)
            continue;
        const char* locRest = locName.c_str() + locPrefix.size();
        char* locEnd = nullptr;
        long locPid = strtol(locRest, &locEnd, 10);
        unsigned locCounter = 0;
        int locUsed = 0;
        if (locEnd == locRest || locPid <= 0 || locPid == long(getpid()) ||
            sscanf(locEnd, "-%u.tmp%n", &locCounter, &locUsed) != 1 || locEnd[locUsed] != 0)
            continue;
        if (kill(pid_t(locPid), 0) == 0 || errno != ESRCH)
            continue;
        if (unlinkat(aDirHandle, locName.c_str(), 0) == 0)
            OS_NoteNameAt(aDirHandle, locName.c_str(), false);
    }
}

// Removes what in-place saves of the file aLeaf (aStat) killed before their
// record was written left: backups ".<aLeaf>.<pid>-<n>.old.tmp" beside it, and
// "<device>-<inode>.<pid>-<n>.old" and "<record>.<pid>-<n>.tmp" in the records'
// folder, of processes that are gone. Nothing while a record of the file stays.
void locRemoveStaleBackups(int aDirHandle, const char* aLeaf, const struct stat& aStat)
{
    std::string locFolder;
    const std::string locRecordName = OS_SaveRecordName(uint64_t(aStat.st_dev), uint64_t(aStat.st_ino));
    struct stat locRecord;
    if (!S_ISREG(aStat.st_mode) || !OS_SaveRecordFolder(&locFolder, false) ||
        stat((locFolder + "/" + locRecordName).c_str(), &locRecord) == 0 ||
        fstatat(aDirHandle, ("." + locRecordName).c_str(), &locRecord, AT_SYMLINK_NOFOLLOW) == 0)
        return;
    const auto locIsStale = [](const char* aRest, const char* aEnd) {
        char* locEnd = nullptr;
        const long locPid = strtol(aRest, &locEnd, 10);
        unsigned locCounter = 0;
        int locUsed = 0;
        const std::string locFormat = std::string("-%u") + aEnd + "%n";
        return locEnd != aRest && locPid > 0 && locPid != long(getpid()) &&
               sscanf(locEnd, locFormat.c_str(), &locCounter, &locUsed) == 1 && locUsed > 0 && locEnd[locUsed] == 0 &&
               kill(pid_t(locPid), 0) != 0 && errno == ESRCH;
    };
    std::vector<std::string> locNames;
    OS_TempNamesAt(aDirHandle, &locNames);
    const std::string locStem = locTempStem(aLeaf);
    for (const std::string& locName : locNames)
        if (locName.compare(0, locStem.size(), locStem) == 0 && locIsStale(locName.c_str() + locStem.size(), ".old.tmp") &&
            unlinkat(aDirHandle, locName.c_str(), 0) == 0)
            OS_NoteNameAt(aDirHandle, locName.c_str(), false);
    DIR* locDir = opendir(locFolder.c_str());
    if (!locDir)
        return;
    const std::string locIdentity = locRecordName.substr(0, locRecordName.size() - strlen("save"));
    while (const struct dirent* locEntry = readdir(locDir))
    {
        const char* locName = locEntry->d_name;
        if (strncmp(locName, locIdentity.c_str(), locIdentity.size()) != 0)
            continue;
        const char* locRest = locName + locIdentity.size();
        const bool locStale = strncmp(locRest, "save.", 5) == 0 ? locIsStale(locRest + 5, ".tmp") : locIsStale(locRest, ".old");
        if (locStale)
            unlinkat(dirfd(locDir), locName, 0);
    }
    closedir(locDir);
}

// The absolute path of the folder open as aDirHandle, with a trailing '/';
// empty (errno set) when it cannot be had.
std::string locFolderPath(int aDirHandle)
{
    char locLink[32];
    snprintf(locLink, sizeof(locLink), "/proc/self/fd/%d", aDirHandle);
    char locPath[PATH_MAX];
    const ssize_t locLength = readlink(locLink, locPath, sizeof(locPath) - 1);
    if (locLength <= 0 || locPath[0] != '/')
    {
        errno = locLength <= 0 ? errno : ENOENT;
        return std::string();
    }
    std::string locFolder(locPath, size_t(locLength));
    if (locFolder.back() != '/')
        locFolder += '/';
    return locFolder;
}

// An unnamed file for the contents of a save that rewrites its target in place.
int locOpenScratch()
{
    const char* locDir = getenv("TMPDIR");
    if (!locDir || !locDir[0])
        locDir = "/tmp";
    int locHandle = open(locDir, O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (locHandle >= 0)
        return locHandle;
    std::string locTemplate = std::string(locDir) + "/save-XXXXXX";
    locHandle = mkostemp(&locTemplate[0], O_CLOEXEC);
    if (locHandle >= 0)
        unlink(locTemplate.c_str());
    return locHandle;
}

// Copies the first aSize bytes of one file over the start of another.
bool locCopy(int aFrom, int aTo, uint64_t aSize)
{
    char locBuffer[65536];
    for (uint64_t locOffset = 0; locOffset < aSize;)
    {
        const size_t locPiece = static_cast<size_t>(std::min<uint64_t>(sizeof(locBuffer), aSize - locOffset));
        const int64_t locRead = OS_ReadFileAt(aFrom, locBuffer, locPiece, locOffset);
        if (locRead <= 0)
        {
            if (locRead == 0)
                errno = EIO;   // cut short meanwhile
            return false;
        }
        if (OS_WriteFileAt(aTo, locBuffer, size_t(locRead), locOffset) != locRead)
            return false;
        locOffset += uint64_t(locRead);
    }
    return true;
}

// Windows' read-only attribute: a file that no one may write, or that this
// user may not. Root may write anything, so the mode is asked, not the system.
int locReadOnlyError(int aDirHandle, const char* aLeaf, const struct stat& aStat)
{
    if ((aStat.st_mode & 0222) == 0)
        return EACCES;
    if (geteuid() == aStat.st_uid)
        return (aStat.st_mode & S_IWUSR) ? 0 : EACCES;
    if (faccessat(aDirHandle, aLeaf, W_OK, AT_EACCESS) == 0)
        return 0;
    return errno == EROFS ? EROFS : EACCES;
}

// A free name ".<aLeaf>.<pid>-<n>.tmp" in the save helper's scheme, so that
// what a killed process left under it is found and removed.
bool locTempName(const char* aLeaf, char (&aName)[NAME_MAX + 1])
{
    int locLength = snprintf(aName, sizeof(aName), "%s%d-%u.tmp", locTempStem(aLeaf).c_str(),
                             static_cast<int>(getpid()), ourTempCounter.fetch_add(1));
    if (locLength < 0 || static_cast<size_t>(locLength) >= sizeof(aName))
    {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

// rename that never replaces a file: the names it moves to are meant to be free.
int locRenameNoReplace(int aDirHandle, const char* aFrom, const char* aTo)
{
    int locResult = renameat2(aDirHandle, aFrom, aDirHandle, aTo, RENAME_NOREPLACE);
    if (locResult != 0 && (errno == EINVAL || errno == ENOSYS))
        locResult = renameat(aDirHandle, aFrom, aDirHandle, aTo);
    return locResult;
}

// The flusher of a save wakes when this much more has been written.
constexpr uint64_t locFlushPiece = 4 * 1024 * 1024;

bool locIsAccessError(int anError)
{
    return anError == EACCES || anError == EPERM || anError == EROFS;
}
}

bool OS_FollowLinks(std::string* aPath)
{
    // One look more than links followed: the last name is the file itself.
    for (int locDepth = 0; locDepth <= locMaxLinks; ++locDepth)
    {
        struct stat locStat;
        if (lstat(aPath->c_str(), &locStat) != 0 || !S_ISLNK(locStat.st_mode))
            return true;
        char locLink[PATH_MAX];
        ssize_t locLength = readlink(aPath->c_str(), locLink, sizeof(locLink) - 1);
        if (locLength <= 0)
            return false;
        locLink[locLength] = 0;
        size_t locSlash = aPath->rfind('/');
        if (locLink[0] == '/' || locSlash == std::string::npos)
            *aPath = locLink;
        else
            *aPath = aPath->substr(0, locSlash + 1) + locLink;
        // A link made on a system blind to case may name its file in another case.
        char locResolved[PATH_MAX];
        if (lstat(aPath->c_str(), &locStat) != 0 && errno == ENOENT &&
            OS_ResolvePath(aPath->c_str(), locResolved, sizeof(locResolved)))
            *aPath = locResolved;
    }
    errno = ELOOP;
    return false;
}

struct OS_SaveFile::Flusher
{
    std::mutex myMutex;
    std::condition_variable myWake;
    uint64_t myWritten = 0;    // by Write, under the mutex
    uint64_t myAnnounced = 0;  // when the flusher was last woken
    bool myStopFlag = false;
    // The first failure: the system reports a failed flush once only, so the
    // flush at the end would not see it again.
    int myError = 0;
    std::thread myThread;
};

OS_SaveFile::~OS_SaveFile()
{
    Abandon();
}

void OS_SaveFile::Fail(int anError)
{
    if (!myError)
        myError = anError ? anError : EIO;
}

bool OS_SaveFile::CreateTemp(const char* aLeaf)
{
    // Hidden and unique: ".<leaf>.<pid>-<n>.tmp" in the target's own folder, so
    // the rename stays on one file system.
    char locTemp[NAME_MAX + 1];
    for (int locTry = 0; locTry < 100; ++locTry)
    {
        if (!locTempName(aLeaf, locTemp))
            return false;
        myHandle = openat(myDirHandle, locTemp, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (myHandle >= 0 || errno != EEXIST)
            break;
    }
    if (myHandle < 0)
    {
        myHandle = OS_INVALID_HANDLE;
        return false;
    }
    OS_NoteNameAt(myDirHandle, locTemp, true);
    myTempLeaf = strdup(locTemp);
    std::string locPath = myTargetPath;
    size_t locSlash = locPath.rfind('/');
    locPath = (locSlash == std::string::npos ? std::string() : locPath.substr(0, locSlash + 1)) + locTemp;
    myTempPath = strdup(locPath.c_str());
    if (!myTempLeaf || !myTempPath)
    {
        errno = ENOMEM;
        return false;
    }
    return true;
}

// [SECTION] Begin

bool OS_SaveFile::Begin(const char* aTargetPath)
{
    Abandon();
    myError = 0;
    myKeptPath.clear();
    myFlushFlag = true;
    char locResolved[PATH_MAX];
    if (!aTargetPath || !aTargetPath[0] || !OS_ResolvePath(aTargetPath, locResolved, sizeof(locResolved)))
    {
        Fail(ENAMETOOLONG);
        return false;
    }
    std::string locTarget = locResolved;
    if (!OS_FollowLinks(&locTarget))
    {
        Fail(errno);
        return false;
    }
    size_t locSlash = locTarget.rfind('/');
    std::string locDir = locSlash == std::string::npos ? "." : locTarget.substr(0, locSlash + 1);
    std::string locLeaf = locSlash == std::string::npos ? locTarget : locTarget.substr(locSlash + 1);
    myTargetPath = strdup(locTarget.c_str());
    myLeaf = strdup(locLeaf.c_str());
    myDirHandle = open(locDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!myTargetPath || !myLeaf || myDirHandle < 0 || locLeaf.empty())
    {
        Fail(locLeaf.empty() ? EISDIR : (myDirHandle < 0 ? errno : ENOMEM));
        Abandon();
        return false;
    }
    locRemoveStaleTemps(myDirHandle, myLeaf);

    // An in-place save of this file that a kill stopped is undone or dropped first.
    int locExisting = openat(myDirHandle, myLeaf, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat locExistingStat;
    if (locExisting >= 0)
    {
        OS_RecoverSave(locExisting, myTargetPath);
        if (fstat(locExisting, &locExistingStat) == 0)
            locRemoveStaleBackups(myDirHandle, myLeaf, locExistingStat);
        close(locExisting);
    }
    // A folder in the target's place fails at the rename, as it always did.
    struct stat locStat;
    bool locExists = fstatat(myDirHandle, myLeaf, &locStat, 0) == 0;
    // A device, pipe or socket in the target's place is refused: the rename
    // would leave a plain file where it stood (as root, even over /dev/null).
    if (locExists && !S_ISREG(locStat.st_mode) && !S_ISDIR(locStat.st_mode))
    {
        Fail(EINVAL);
        Abandon();
        return false;
    }
    if (locExists && S_ISREG(locStat.st_mode))
    {
        if (int locError = locReadOnlyError(myDirHandle, myLeaf, locStat))
        {
            Fail(locError);
            Abandon();
            return false;
        }
    }
    // A rename would part the file from its other names: write through them instead.
    bool locInPlace = locExists && S_ISREG(locStat.st_mode) && locStat.st_nlink > 1;
    if (!locInPlace && !CreateTemp(myLeaf))
    {
        int locError = errno;
        locInPlace = locExists && S_ISREG(locStat.st_mode) && locIsAccessError(locError) &&
                     faccessat(myDirHandle, myLeaf, W_OK, AT_EACCESS) == 0;
        if (!locInPlace)
        {
            Fail(locError);
            Abandon();
            return false;
        }
    }
    if (locInPlace)
    {
        myInPlaceFlag = true;
        myHandle = locOpenScratch();
        if (myHandle < 0)
        {
            myHandle = OS_INVALID_HANDLE;
            Fail(errno);
            Abandon();
            return false;
        }
    }
    else if (locExists && S_ISREG(locStat.st_mode))
    {
        // A replaced file keeps its permissions and, where allowed, its owner;
        // the owner first, since a change of owner clears the set-id bits.
        if (fchown(myHandle, locStat.st_uid, locStat.st_gid) == 0)
            fchmod(myHandle, locStat.st_mode & 07777);
        else
            fchmod(myHandle, locStat.st_mode & 0777);
    }
    return true;
}

bool OS_SaveFile::BeginBeneath(const char* aBase, const char* aRelativePath, bool aFlushFlag)
{
    Abandon();
    myError = 0;
    myKeptPath.clear();
    myFlushFlag = aFlushFlag;
    if (!aBase || !aRelativePath)
    {
        Fail(EINVAL);
        return false;
    }
    std::string locPath = aRelativePath;
    for (char& locChar : locPath)
        if (locChar == '\\')
            locChar = '/';
    // Only names beneath the base: no root, no drive, no step up or aside.
    std::vector<std::string> locParts;
    size_t locStart = 0;
    for (;;)
    {
        size_t locEnd = locPath.find('/', locStart);
        std::string locPart = locPath.substr(locStart, locEnd == std::string::npos ? std::string::npos : locEnd - locStart);
        if (locPart.empty() || locPart == "." || locPart == ".." || locPart.size() > NAME_MAX ||
            (locParts.empty() && locPart.size() >= 2 && locPart[1] == ':'))
        {
            Fail(EINVAL);
            return false;
        }
        locParts.push_back(locPart);
        if (locEnd == std::string::npos)
            break;
        locStart = locEnd + 1;
    }

    myDirHandle = open(aBase, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (myDirHandle < 0)
    {
        Fail(errno);
        return false;
    }
    std::string locTarget = aBase;
    for (size_t i = 0; i + 1 < locParts.size(); ++i)
    {
        std::string locName = locParts[i];
        int locNext = openat(myDirHandle, locName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (locNext < 0 && errno == ENOENT)
        {
            std::string locFound;
            if (OS_FindNoCaseAt(myDirHandle, locName.c_str(), &locFound))
                locName = locFound;
            else if (mkdirat(myDirHandle, locName.c_str(), 0777) == 0)
                OS_NoteNameAt(myDirHandle, locName.c_str(), true);
            locNext = openat(myDirHandle, locName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (locNext < 0)
        {
            // A link, or a file where a folder should be.
            Fail(errno == ENOTDIR ? ELOOP : errno);
            Abandon();
            return false;
        }
        close(myDirHandle);
        myDirHandle = locNext;
        locTarget += "/" + locName;
    }

    std::string locLeaf = locParts.back();
    struct stat locStat;
    bool locExists = fstatat(myDirHandle, locLeaf.c_str(), &locStat, AT_SYMLINK_NOFOLLOW) == 0;
    std::string locFound;
    if (!locExists && OS_FindNoCaseAt(myDirHandle, locLeaf.c_str(), &locFound))
    {
        locLeaf = locFound;
        locExists = fstatat(myDirHandle, locLeaf.c_str(), &locStat, AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (locExists && !S_ISREG(locStat.st_mode))
    {
        Fail(S_ISDIR(locStat.st_mode) ? EISDIR : ELOOP);
        Abandon();
        return false;
    }
    if (int locError = locExists ? locReadOnlyError(myDirHandle, locLeaf.c_str(), locStat) : 0)
    {
        Fail(locError);
        Abandon();
        return false;
    }
    locTarget += "/" + locLeaf;
    myTargetPath = strdup(locTarget.c_str());
    myLeaf = strdup(locLeaf.c_str());
    if (!myTargetPath || !myLeaf)
    {
        Fail(ENOMEM);
        Abandon();
        return false;
    }
    locRemoveStaleTemps(myDirHandle, myLeaf);
    if (!CreateTemp(myLeaf))
    {
        Fail(errno);
        Abandon();
        return false;
    }
    if (locExists)
        fchmod(myHandle, locStat.st_mode & 0777);
    return true;
}

// [SECTION] Writing

bool OS_SaveFile::Write(const void* aData, size_t aCount)
{
    if (myHandle == OS_INVALID_HANDLE)
    {
        Fail(EBADF);
        return false;
    }
    if (myError)
        return false;
    if (aCount && OS_WriteFile(myHandle, aData, aCount) != static_cast<int64_t>(aCount))
    {
        Fail(errno);
        return false;
    }
    if (!myFlusher && myFlushAsWrittenFlag)
    {
        myAppended += aCount;
        if (myAppended >= locFlushPiece)
            StartFlusher();
    }
    else if (myFlusher)
    {
        bool locWake = false;
        {
            std::lock_guard<std::mutex> locLock(myFlusher->myMutex);
            myFlusher->myWritten += aCount;
            if (myFlusher->myWritten - myFlusher->myAnnounced >= locFlushPiece)
            {
                myFlusher->myAnnounced = myFlusher->myWritten;
                locWake = true;
            }
        }
        if (locWake)
            myFlusher->myWake.notify_one();
    }
    return true;
}

bool OS_SaveFile::WriteAt(const void* aData, size_t aCount, uint64_t anOffset)
{
    if (myHandle == OS_INVALID_HANDLE)
    {
        Fail(EBADF);
        return false;
    }
    if (myError)
        return false;
    if (aCount && OS_WriteFileAt(myHandle, aData, aCount, anOffset) != static_cast<int64_t>(aCount))
    {
        Fail(errno);
        return false;
    }
    return true;
}

// [SECTION] In place
// Copies the old content to a named backup, flushes it and its folder, then
// writes the record that names both, locked while this save runs: from here
// on a kill leaves what the next open needs to put the old content back.
bool OS_SaveFile::MakeBackup(int aTarget, uint64_t aNewSize, const OS_SaveFile* aPartner)
{
    struct stat locOld;
    if (fstat(aTarget, &locOld) != 0)
        return false;
    OS_SaveRecord locRecord;
    locRecord.myDevice = uint64_t(locOld.st_dev);
    locRecord.myInode = uint64_t(locOld.st_ino);
    locRecord.myOldSize = myOldSize = uint64_t(locOld.st_size);
    locRecord.myNewSize = aNewSize;
    locRecord.myBlockSize = OS_SaveBlockSize(aNewSize);
    uint32_t locNewSum = 0;
    if (!OS_SumFile(myHandle, aNewSize, locRecord.myBlockSize, &locRecord.myNewSums, &locNewSum))
        return false;
    if (aPartner)
    {
        // The partner's new content: in its scratch file, or its temporary file.
        const bool locScratch = aPartner->myInPlaceFlag && aPartner->myHandle != OS_INVALID_HANDLE;
        const int locHandle =
            locScratch ? aPartner->myHandle : (aPartner->myTempPath ? open(aPartner->myTempPath, O_RDONLY | O_CLOEXEC) : -1);
        struct stat locStat;
        const bool locSummed = locHandle >= 0 && aPartner->myTargetPath && fstat(locHandle, &locStat) == 0 &&
                               OS_SumFile(locHandle, uint64_t(locStat.st_size), 4096, nullptr, &locRecord.myPartnerSum);
        if (locSummed)
        {
            locRecord.myPartnerPath = aPartner->myTargetPath;
            locRecord.myPartnerSize = uint64_t(locStat.st_size);
        }
        if (locHandle >= 0 && !locScratch)
            close(locHandle);
        if (!locSummed)
        {
            errno = EBADF;
            return false;
        }
    }
    const std::string locRecordName = OS_SaveRecordName(locRecord.myDevice, locRecord.myInode);
    const std::string locIdentity = locRecordName.substr(0, locRecordName.size() - strlen(".save"));
    char locUnique[32];
    snprintf(locUnique, sizeof(locUnique), "%d-%u", int(getpid()), ourTempCounter.fetch_add(1));
    // The record names the files by absolute paths, whatever the caller gave.
    std::string locTargetDir = locFolderPath(myDirHandle);
    if (locTargetDir.empty())
        return false;
    std::string locUserFolder;
    const bool locHasUserFolder = OS_SaveRecordFolder(&locUserFolder, true);

    // The backup beside the target, else in the per-user folder.
    // Named as the save's temporary files are, so that what a save killed
    // before its record was written leaves is found and removed.
    const std::string locBackupName = locTempStem(myLeaf) + locUnique + ".old.tmp";
    int locBackup = openat(myDirHandle, locBackupName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    int locBackupDir = -1;
    if (locBackup >= 0)
    {
        myBackupPath = locTargetDir + locBackupName;
        OS_NoteNameAt(myDirHandle, locBackupName.c_str(), true);
    }
    else if (locIsAccessError(errno) && locHasUserFolder)
    {
        myBackupPath = locUserFolder + "/" + locIdentity + "." + locUnique + ".old";
        locBackup = open(myBackupPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        locBackupDir = open(locUserFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (locBackup < 0)
    {
        myBackupPath.clear();
        if (locBackupDir >= 0)
            close(locBackupDir);
        return false;
    }
    bool locDone = locCopy(aTarget, locBackup, myOldSize) && fsync(locBackup) == 0 &&
                   fsync(locBackupDir >= 0 ? locBackupDir : myDirHandle) == 0 &&
                   OS_SumFile(locBackup, myOldSize, locRecord.myBlockSize, nullptr, &locRecord.myOldSum);
    int locError = errno;
    close(locBackup);
    if (locBackupDir >= 0)
        close(locBackupDir);
    locRecord.myTargetPath = locTargetDir + myLeaf;
    locRecord.myBackupPath = myBackupPath;

    // The record in the per-user folder, where any program finds it by the
    // file's identity whatever name it is opened by; beside the target where
    // there is none. Written whole under another name, then renamed.
    const std::string locRecordPath =
        locHasUserFolder ? locUserFolder + "/" + locRecordName : locTargetDir + "." + locRecordName;
    const std::string locRecordTemp = locRecordPath + "." + locUnique + ".tmp";
    const std::string locBytes = OS_WriteSaveRecord(locRecord);
    if (locDone)
    {
        myRecordHandle = open(locRecordTemp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        locDone = myRecordHandle >= 0 && flock(myRecordHandle, LOCK_EX) == 0 &&
                  OS_WriteFileAt(myRecordHandle, locBytes.data(), locBytes.size(), 0) == int64_t(locBytes.size()) &&
                  fsync(myRecordHandle) == 0 && rename(locRecordTemp.c_str(), locRecordPath.c_str()) == 0;
        locError = errno;
        if (locDone)
        {
            myRecordPath = locRecordPath;
            const std::string locRecordDir = locRecordPath.substr(0, locRecordPath.rfind('/') + 1);
            int locDir = open(locRecordDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            locDone = locDir >= 0 && fsync(locDir) == 0;
            locError = errno;
            if (locDir >= 0)
                close(locDir);
        }
        else
            unlink(locRecordTemp.c_str());
    }
    if (!locDone)
    {
        DropBackup();
        errno = locError;
    }
    return locDone;
}

// The old content back over the target from the backup, cut to its length and flushed.
bool OS_SaveFile::PutBack(int aTarget)
{
    int locBackup = open(myBackupPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    const bool locDone = locBackup >= 0 && locCopy(locBackup, aTarget, myOldSize) &&
                         OS_TruncateFile(aTarget, myOldSize) && fsync(aTarget) == 0;
    const int locError = errno;
    if (locBackup >= 0)
        close(locBackup);
    errno = locError;
    return locDone;
}

// The record first: once it is gone the new content stands, and the backup
// goes after it. A failed save that could not put the old content back keeps
// both (see myKeptPath), unlocked, for the next open.
void OS_SaveFile::DropBackup()
{
    if (myKeptPath.empty())
    {
        // Only this save's own record: another may have replaced it meanwhile.
        struct stat locOwn, locNamed;
        if (!myRecordPath.empty() && fstat(myRecordHandle, &locOwn) == 0 &&
            stat(myRecordPath.c_str(), &locNamed) == 0 && locOwn.st_ino == locNamed.st_ino &&
            locOwn.st_dev == locNamed.st_dev)
            unlink(myRecordPath.c_str());
        if (!myBackupPath.empty() && unlink(myBackupPath.c_str()) == 0 && myDirHandle >= 0)
            OS_NoteNameAt(myDirHandle, myBackupPath.substr(myBackupPath.rfind('/') + 1).c_str(), false);
    }
    if (myRecordHandle >= 0)
        close(myRecordHandle);
    myRecordHandle = -1;
    myRecordPath.clear();
    myBackupPath.clear();
}

// Copies the scratch file over the target's own contents and cuts it to
// length. The old bytes go to the backup first and the new size is reserved,
// so that nothing of the target changes for a save that cannot be done, and a
// failure on the way puts the old bytes back: old or new, never a mix.
bool OS_SaveFile::CommitInPlace(bool aKeepOldFlag, const OS_SaveFile* aPartner)
{
    struct stat locNew;
    if (fstat(myHandle, &locNew) != 0)
    {
        Fail(errno);
        return false;
    }
    const uint64_t locNewSize = uint64_t(locNew.st_size);
    int locTarget = openat(myDirHandle, myLeaf, O_RDWR | O_CLOEXEC);
    if (locTarget < 0)
    {
        Fail(errno);
        return false;
    }
    bool locReady = MakeBackup(locTarget, locNewSize, aPartner);
    // Where the file system cannot reserve, the save goes on: a failure still
    // puts the old bytes back.
    if (locReady && locNewSize > 0 && fallocate(locTarget, FALLOC_FL_KEEP_SIZE, 0, off_t(locNewSize)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
    {
        const int locError = errno;
        DropBackup();
        errno = locError;
        locReady = false;
    }
    if (!locReady)
    {
        Fail(errno);
        close(locTarget);
        return false;
    }
    bool locWritten =
        locCopy(myHandle, locTarget, locNewSize) && OS_TruncateFile(locTarget, locNewSize) && fsync(locTarget) == 0;
    if (!locWritten)
    {
        Fail(errno);
        if (!PutBack(locTarget))
        {
            myKeptPath = myBackupPath;
            fprintf(stderr, "save: '%s' could not be written (%s) nor its old content put back; it is kept in '%s'\n",
                    myTargetPath, strerror(myError), myKeptPath.c_str());
        }
        DropBackup();
    }
    // After fsync the contents are on the disk whatever close says.
    close(locTarget);
    if (locWritten && aKeepOldFlag)
        myKeptOld = KEPT_IN_PLACE;
    else
        DropBackup();
    return locWritten;
}

// [SECTION] By rename
// Renames the temporary file over the target; with aKeepOldFlag the file it
// replaces stays under the temporary name (swapped in one step where the
// system can, else kept by a second link).
bool OS_SaveFile::CommitRename(bool aKeepOldFlag)
{
    struct stat locStat;
    if (myAsideLeaf)
    {
        // The target was set aside: nothing stands at its name.
        if (renameat(myDirHandle, myTempLeaf, myDirHandle, myLeaf) != 0)
        {
            Fail(errno);
            return false;
        }
        OS_NoteNameAt(myDirHandle, myTempLeaf, false);
        OS_NoteNameAt(myDirHandle, myLeaf, true);
        free(myTempLeaf);
        myTempLeaf = nullptr;
        if (aKeepOldFlag)
        {
            myTempLeaf = myAsideLeaf;
            myAsideLeaf = nullptr;
            myKeptOld = KEPT_RENAMED;
        }
        return true;
    }
    const bool locHadOld = aKeepOldFlag && fstatat(myDirHandle, myLeaf, &locStat, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISREG(locStat.st_mode);
    if (locHadOld)
    {
        if (renameat2(myDirHandle, myTempLeaf, myDirHandle, myLeaf, RENAME_EXCHANGE) == 0)
        {
            myKeptOld = KEPT_RENAMED;
            return true;
        }
        char locOldLeaf[NAME_MAX + 1];
        if ((errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) && locTempName(myLeaf, locOldLeaf) &&
            linkat(myDirHandle, myLeaf, myDirHandle, locOldLeaf, 0) == 0)
        {
            OS_NoteNameAt(myDirHandle, locOldLeaf, true);
            if (renameat(myDirHandle, myTempLeaf, myDirHandle, myLeaf) != 0)
            {
                Fail(errno);
                if (unlinkat(myDirHandle, locOldLeaf, 0) == 0)
                    OS_NoteNameAt(myDirHandle, locOldLeaf, false);
                return false;
            }
            OS_NoteNameAt(myDirHandle, myTempLeaf, false);
            free(myTempLeaf);
            myTempLeaf = strdup(locOldLeaf);
            myKeptOld = myTempLeaf ? KEPT_RENAMED : KEPT_NOTHING;
            return true;
        }
        // Neither: replaced all the same, but Restore cannot undo it.
    }
    if (renameat(myDirHandle, myTempLeaf, myDirHandle, myLeaf) != 0)
    {
        Fail(errno);
        return false;
    }
    OS_NoteNameAt(myDirHandle, myTempLeaf, false);
    OS_NoteNameAt(myDirHandle, myLeaf, true);
    free(myTempLeaf);
    myTempLeaf = nullptr;
    if (aKeepOldFlag && !locHadOld)
        myKeptOld = KEPT_NONE_BEFORE;
    return true;
}

// [SECTION] Flushing while writing

void OS_SaveFile::FlushAsWritten()
{
    myFlushAsWrittenFlag = myHandle != OS_INVALID_HANDLE && !myInPlaceFlag && myFlushFlag;
}

void OS_SaveFile::StartFlusher()
{
    myFlushAsWrittenFlag = false;
    Flusher* locFlusher = new Flusher;
    // What is written so far goes at once.
    locFlusher->myWritten = locFlusher->myAnnounced = myAppended;
    const OS_FileHandle locHandle = myHandle;
    try
    {
        locFlusher->myThread = std::thread([locFlusher, locHandle] {
            uint64_t locFlushed = 0;
            std::unique_lock<std::mutex> locLock(locFlusher->myMutex);
            for (;;)
            {
                locFlusher->myWake.wait(locLock, [&] {
                    return locFlusher->myStopFlag || locFlusher->myWritten - locFlushed >= locFlushPiece;
                });
                if (locFlusher->myStopFlag)
                    return;
                const uint64_t locWritten = locFlusher->myWritten;
                locLock.unlock();
                const int locError = fdatasync(locHandle) == 0 ? 0 : errno;
                locLock.lock();
                if (locError && !locFlusher->myError)
                    locFlusher->myError = locError;
                locFlushed = locWritten;
            }
        });
    }
    catch (...)
    {
        // Without the thread everything waits for the flush at the end.
        delete locFlusher;
        return;
    }
    myFlusher = locFlusher;
}

void OS_SaveFile::StopFlusher()
{
    if (!myFlusher)
        return;
    {
        std::lock_guard<std::mutex> locLock(myFlusher->myMutex);
        myFlusher->myStopFlag = true;
    }
    myFlusher->myWake.notify_one();
    myFlusher->myThread.join();
    if (myFlusher->myError)
        Fail(myFlusher->myError);
    delete myFlusher;
    myFlusher = nullptr;
}

// [SECTION] Commit, restore, set aside, abandon

bool OS_SaveFile::Flush()
{
    if (myFlushedFlag)
        return true;
    if (myHandle == OS_INVALID_HANDLE)
    {
        Fail(EBADF);
        return false;
    }
    StopFlusher();
    // In place, the contents wait in the scratch file until Commit.
    if (!myInPlaceFlag)
    {
        if (!myError && myFlushFlag && fsync(myHandle) != 0)
            Fail(errno);
        if (close(myHandle) != 0)
            Fail(errno);
        myHandle = OS_INVALID_HANDLE;
    }
    if (myError)
    {
        Abandon();
        return false;
    }
    myFlushedFlag = true;
    return true;
}

bool OS_SaveFile::Commit()
{
    return Finish(false, nullptr);
}

bool OS_SaveFile::CommitKeepingOld(const OS_SaveFile* aPartner)
{
    return Finish(true, aPartner);
}

bool OS_SaveFile::Finish(bool aKeepOldFlag, const OS_SaveFile* aPartner)
{
    if (!Flush())
        return false;
    myFlushedFlag = false;
    if (!(myInPlaceFlag ? CommitInPlace(aKeepOldFlag, aPartner) : CommitRename(aKeepOldFlag)))
    {
        Abandon();
        return false;
    }
    // The rename itself reaches the disk with the folder.
    if (myFlushFlag && !myInPlaceFlag)
        fsync(myDirHandle);
    free(myTempPath);
    myTempPath = nullptr;
    if (myKeptOld != KEPT_NOTHING)
    {
        // The folder, the names and the old file stay for Restore or Abandon.
        if (myHandle != OS_INVALID_HANDLE)
            close(myHandle);
        myHandle = OS_INVALID_HANDLE;
        return true;
    }
    if (myAsideLeaf)
    {
        if (unlinkat(myDirHandle, myAsideLeaf, 0) == 0)
            OS_NoteNameAt(myDirHandle, myAsideLeaf, false);
        free(myAsideLeaf);
        myAsideLeaf = nullptr;
    }
    char* locTarget = myTargetPath;
    myTargetPath = nullptr;
    Abandon();
    myTargetPath = locTarget;
    return true;
}

bool OS_SaveFile::Restore()
{
    bool locDone = false;
    switch (myKeptOld)
    {
    case KEPT_RENAMED:
        locDone = renameat(myDirHandle, myTempLeaf, myDirHandle, myLeaf) == 0;
        if (locDone)
        {
            OS_NoteNameAt(myDirHandle, myTempLeaf, false);
            free(myTempLeaf);
            myTempLeaf = nullptr;
        }
        break;
    case KEPT_NONE_BEFORE:
        locDone = unlinkat(myDirHandle, myLeaf, 0) == 0;
        if (locDone)
            OS_NoteNameAt(myDirHandle, myLeaf, false);
        break;
    case KEPT_IN_PLACE:
    {
        int locTarget = openat(myDirHandle, myLeaf, O_WRONLY | O_CLOEXEC);
        locDone = locTarget >= 0 && PutBack(locTarget);
        if (!locDone)
            myKeptPath = myBackupPath;
        if (locTarget >= 0)
            close(locTarget);
        break;
    }
    default:
        errno = EINVAL;
        break;
    }
    if (!locDone)
    {
        Fail(errno);
        // The old file, if it could not go back, is not thrown away here.
        free(myTempLeaf);
        myTempLeaf = nullptr;
    }
    else if (myFlushFlag && myKeptOld != KEPT_IN_PLACE)
        fsync(myDirHandle);
    Abandon();
    return locDone;
}

bool OS_SaveFile::SetAside()
{
    if (myError || myDirHandle < 0 || !myLeaf)
    {
        Fail(EBADF);
        return false;
    }
    struct stat locStat;
    if (myInPlaceFlag || myAsideLeaf || fstatat(myDirHandle, myLeaf, &locStat, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(locStat.st_mode))
        return true;
    char locAside[NAME_MAX + 1];
    if (!locTempName(myLeaf, locAside) || locRenameNoReplace(myDirHandle, myLeaf, locAside) != 0 ||
        !(myAsideLeaf = strdup(locAside)))
    {
        Fail(errno);
        return false;
    }
    OS_NoteNameAt(myDirHandle, myLeaf, false);
    OS_NoteNameAt(myDirHandle, myAsideLeaf, true);
    return true;
}

void OS_SaveFile::Abandon()
{
    StopFlusher();
    myFlushAsWrittenFlag = false;
    myAppended = 0;
    myFlushedFlag = false;
    if (myHandle != OS_INVALID_HANDLE)
    {
        close(myHandle);
        myHandle = OS_INVALID_HANDLE;
    }
    DropBackup();
    myOldSize = 0;
    myKeptOld = KEPT_NOTHING;
    // Also the old file kept by CommitKeepingOld.
    if (myTempLeaf && myDirHandle >= 0 && unlinkat(myDirHandle, myTempLeaf, 0) == 0)
        OS_NoteNameAt(myDirHandle, myTempLeaf, false);
    if (myAsideLeaf && myDirHandle >= 0 && renameat(myDirHandle, myAsideLeaf, myDirHandle, myLeaf) == 0)
    {
        OS_NoteNameAt(myDirHandle, myAsideLeaf, false);
        OS_NoteNameAt(myDirHandle, myLeaf, true);
    }
    free(myAsideLeaf);
    myAsideLeaf = nullptr;
    if (myDirHandle >= 0)
        close(myDirHandle);
    myDirHandle = -1;
    myInPlaceFlag = false;
    free(myTempLeaf);
    myTempLeaf = nullptr;
    free(myTempPath);
    myTempPath = nullptr;
    free(myLeaf);
    myLeaf = nullptr;
    free(myTargetPath);
    myTargetPath = nullptr;
}
