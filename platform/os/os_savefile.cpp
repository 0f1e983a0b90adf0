// The save-file helper: temporary file beside the target, renamed on commit,
// or the target rewritten in place behind a backup.
//
// Index:
// [SECTION] Helpers
// [SECTION] Begin and write
// [SECTION] In place
// [SECTION] By rename
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
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// [SECTION] Helpers

namespace
{
// A second in-place save of a file waits this long for the first, in ms.
constexpr int locLockWait = 5000;

// The start of the names of aLeaf's temporary files: of a long name only 200
// bytes, so that ".<name>.<pid>-<n>.tmp" still fits in one file name.
std::string locTempStem(const char* aLeaf)
{
    return "." + std::string(aLeaf).substr(0, 200) + ".";
}

// Removes from the folder the files "<prefix><pid>-<n>.tmp" of processes gone:
// with aLeaf, its temporary files; else the backups of in-place saves killed
// before they stood ("<device>-<inode>.<pid>-<n>.tmp"; one that stands,
// "*.save", is dropped only by the recovery of its own file).
void locRemoveStale(int aDir, const char* aLeaf)
{
    std::vector<std::string> locNames;
    if (aLeaf)
        OS_TempNamesAt(aDir, &locNames);
    DIR* locDir = aLeaf ? nullptr : fdopendir(dup(aDir));
    while (const struct dirent* locEntry = locDir ? readdir(locDir) : nullptr)
        locNames.push_back(locEntry->d_name);
    if (locDir)
        closedir(locDir);
    for (const std::string& locName : locNames)
    {
        const std::string locPrefix = aLeaf ? locTempStem(aLeaf) : locName.substr(0, locName.find('.') + 1);
        if (locName.compare(0, locPrefix.size(), locPrefix) != 0)
            continue;
        const char* locRest = locName.c_str() + locPrefix.size();
        char* locEnd = nullptr;
        const long locPid = isdigit(uint8_t(locRest[0])) ? strtol(locRest, &locEnd, 10) : 0;
        if (locPid <= 0 || locPid == long(getpid()) || *locEnd != '-' || !isdigit(uint8_t(locEnd[1])))
            continue;
        strtoul(locEnd + 1, &locEnd, 10);
        if (strcmp(locEnd, ".tmp") == 0 && kill(pid_t(locPid), 0) != 0 && errno == ESRCH &&
            unlinkat(aDir, locName.c_str(), 0) == 0)
            OS_NoteNameAt(aDir, locName.c_str(), false);
    }
}

// Windows' read-only attribute: a file that no one may write, or that this
// user may not. Root may write anything, so the mode is asked, not the system.
int locReadOnlyError(int aDirHandle, const char* aLeaf, const struct stat& aStat)
{
    if ((aStat.st_mode & 0222) == 0 || (geteuid() == aStat.st_uid && !(aStat.st_mode & S_IWUSR)))
        return EACCES;
    if (geteuid() == aStat.st_uid || faccessat(aDirHandle, aLeaf, W_OK, AT_EACCESS) == 0)
        return 0;
    return errno == EROFS ? EROFS : EACCES;
}

// ".<aLeaf>.<pid>-<n>.tmp", so that what a killed process left under it is
// found and removed; empty (errno set) when it would be too long.
std::string locTempName(const std::string& aLeaf)
{
    const std::string locName = locTempStem(aLeaf.c_str()) + OS_SaveUnique() + ".tmp";
    errno = locName.size() > NAME_MAX ? ENAMETOOLONG : errno;
    return locName.size() > NAME_MAX ? std::string() : locName;
}

// rename within a folder, told to its listings; never over a file with aNoReplaceFlag (where refused).
bool locMove(int aDir, const std::string& aFrom, const std::string& aTo, bool aNoReplaceFlag = false)
{
    int locResult = aNoReplaceFlag ? renameat2(aDir, aFrom.c_str(), aDir, aTo.c_str(), RENAME_NOREPLACE) : -1;
    if (!aNoReplaceFlag || (locResult != 0 && (errno == EINVAL || errno == ENOSYS)))
        locResult = renameat(aDir, aFrom.c_str(), aDir, aTo.c_str());
    if (locResult != 0)
        return false;
    OS_NoteNameAt(aDir, aFrom.c_str(), false);
    OS_NoteNameAt(aDir, aTo.c_str(), true);
    return true;
}

// Removes aName from the folder (when there is one) and forgets it.
void locRemove(int aDir, std::string* aName)
{
    if (!aName->empty() && aDir >= 0 && unlinkat(aDir, aName->c_str(), 0) == 0)
        OS_NoteNameAt(aDir, aName->c_str(), false);
    aName->clear();
}

// Waits a bounded time for the lock of a file that another save rewrites in place.
bool locLockTarget(int aHandle)
{
    for (int locWaited = 0; flock(aHandle, LOCK_EX | LOCK_NB) != 0; locWaited += 10)
    {
        if (errno != EWOULDBLOCK || locWaited >= locLockWait)
            return false;
        usleep(10000);
    }
    return true;
}

// Splits a path beneath a folder into its names: no root, no drive, no step up or aside.
bool locSplitBeneath(const char* aRelativePath, std::vector<std::string>* aParts)
{
    std::string locPath = aRelativePath;
    std::replace(locPath.begin(), locPath.end(), '\\', '/');
    for (size_t locStart = 0, locEnd = 0; locEnd != std::string::npos; locStart = locEnd + 1)
    {
        locEnd = locPath.find('/', locStart);
        const std::string locPart = locPath.substr(locStart, locEnd - locStart);   // to the end at npos
        if (locPart.empty() || locPart == "." || locPart == ".." || locPart.size() > NAME_MAX ||
            (aParts->empty() && locPart.size() >= 2 && locPart[1] == ':'))
            return false;
        aParts->push_back(locPart);
    }
    return true;
}
}

bool OS_FollowLinks(std::string* aPath)
{
    // 40 links at most, as the kernel's own limit; one look more for the file itself.
    for (int locDepth = 0; locDepth <= 40; ++locDepth)
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

bool OS_SaveFile::CreateTemp()
{
    // Hidden and unique: ".<leaf>.<pid>-<n>.tmp" in the target's own folder, so
    // the rename stays on one file system.
    for (int locTry = 0; locTry < 100; ++locTry)
    {
        myTempLeaf = locTempName(myLeaf);
        if (myTempLeaf.empty())
            return false;
        myHandle = openat(myDirHandle, myTempLeaf.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (myHandle >= 0 || errno != EEXIST)
            break;
    }
    if (myHandle < 0)
    {
        myTempLeaf.clear();
        return false;
    }
    OS_NoteNameAt(myDirHandle, myTempLeaf.c_str(), true);
    myTempPath = myTargetPath.substr(0, myTargetPath.size() - myLeaf.size()) + myTempLeaf;
    return true;
}

// [SECTION] Begin and write

// Resolves the target, opens its folder and runs the recovery of an in-place
// save of it that a kill stopped.
bool OS_SaveFile::OpenTarget(const char* aTargetPath)
{
    char locResolved[PATH_MAX];
    const bool locResolvedFlag = aTargetPath && aTargetPath[0] && OS_ResolvePath(aTargetPath, locResolved, PATH_MAX);
    myTargetPath = locResolvedFlag ? locResolved : "";
    if (!locResolvedFlag || !OS_FollowLinks(&myTargetPath))
        return Fail(locResolvedFlag ? errno : ENAMETOOLONG);
    const size_t locSlash = myTargetPath.rfind('/');
    myLeaf = myTargetPath.substr(locSlash == std::string::npos ? 0 : locSlash + 1);
    const std::string locDir = locSlash == std::string::npos ? "." : myTargetPath.substr(0, locSlash + 1);
    myDirHandle = open(locDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (myDirHandle < 0 || myLeaf.empty())
        return Fail(myLeaf.empty() ? EISDIR : errno);
    const int locExisting = openat(myDirHandle, myLeaf.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (locExisting >= 0)
    {
        OS_RecoverSave(locExisting, myTargetPath.c_str());
        close(locExisting);
    }
    return true;
}

// Walks aRelativePath beneath aBase one name at a time, never through a
// link, making folders as needed; the last name is found without regard to case.
bool OS_SaveFile::OpenBeneath(const char* aBase, const char* aRelativePath)
{
    std::vector<std::string> locParts;
    if (!aBase || !aRelativePath || !locSplitBeneath(aRelativePath, &locParts))
        return Fail(EINVAL);
    myDirHandle = open(aBase, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    myTargetPath = aBase;
    for (size_t i = 0; myDirHandle >= 0 && i + 1 < locParts.size(); ++i)
    {
        std::string locName = locParts[i];
        int locNext = openat(myDirHandle, locName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (locNext < 0 && errno == ENOENT)
        {
            if (!OS_FindNoCaseAt(myDirHandle, locParts[i].c_str(), &locName) &&
                mkdirat(myDirHandle, locName.c_str(), 0777) == 0)
                OS_NoteNameAt(myDirHandle, locName.c_str(), true);
            locNext = openat(myDirHandle, locName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        // A link, or a file where a folder should be.
        const int locError = errno == ENOTDIR ? ELOOP : errno;
        close(myDirHandle);
        myDirHandle = locNext;
        errno = locError;
        myTargetPath += "/" + locName;
    }
    if (myDirHandle < 0)
        return Fail(errno);
    myLeaf = locParts.back();
    struct stat locStat;
    if (fstatat(myDirHandle, myLeaf.c_str(), &locStat, AT_SYMLINK_NOFOLLOW) != 0)
        OS_FindNoCaseAt(myDirHandle, locParts.back().c_str(), &myLeaf);
    myTargetPath += "/" + myLeaf;
    return true;
}

// By rename where a temporary file can be made beside a file with one name;
// in place otherwise (never beneath a folder), the new content going into the
// backup. A replaced file keeps its permissions and, where allowed, its owner.
bool OS_SaveFile::ChooseWay(bool aBeneathFlag)
{
    struct stat locStat;
    const bool locExists = fstatat(myDirHandle, myLeaf.c_str(), &locStat, AT_SYMLINK_NOFOLLOW) == 0;
    const bool locFile = locExists && S_ISREG(locStat.st_mode);
    // A device, pipe or socket is refused: the rename would leave a plain file
    // in its place (as root, even /dev/null). A folder fails at the rename, or
    // at once beneath a folder.
    int locRefused = locFile ? locReadOnlyError(myDirHandle, myLeaf.c_str(), locStat) : 0;
    if (locExists && !locFile)
        locRefused = S_ISDIR(locStat.st_mode) ? (aBeneathFlag ? EISDIR : 0) : (aBeneathFlag ? ELOOP : EINVAL);
    if (!locRefused)
        locRemoveStale(myDirHandle, myLeaf.c_str());
    // A rename would part the file from its other names: write through them instead.
    myInPlaceFlag = !locRefused && !aBeneathFlag && locFile && locStat.st_nlink > 1;
    if (!locRefused && !myInPlaceFlag && !CreateTemp())
    {
        locRefused = errno;
        myInPlaceFlag = !aBeneathFlag && locFile && (errno == EACCES || errno == EPERM || errno == EROFS) &&
                        faccessat(myDirHandle, myLeaf.c_str(), W_OK, AT_EACCESS) == 0;
    }
    if ((locRefused && !myInPlaceFlag) || (myInPlaceFlag && !BeginInPlace()))
        return Fail(locRefused && !myInPlaceFlag ? locRefused : errno);
    // The owner first, since a change of owner clears the set-id bits; they
    // are kept only with it.
    if (!myInPlaceFlag && locFile)
        fchmod(myHandle, locStat.st_mode & (fchown(myHandle, locStat.st_uid, locStat.st_gid) == 0 ? 07777 : 0777));
    return true;
}

// Begin, or BeginBeneath with aBeneathFlag: nothing of the last save is held or remembered.
bool OS_SaveFile::Start(bool aBeneathFlag, const char* aBase, const char* aPath, bool aFlushFlag)
{
    Abandon();
    myError = 0;
    myKeptPath.clear();
    myFlushFlag = aFlushFlag;
    if ((aBeneathFlag ? OpenBeneath(aBase, aPath) : OpenTarget(aPath)) && ChooseWay(aBeneathFlag))
        return true;
    Abandon();
    return false;
}

bool OS_SaveFile::WriteAt(const void* aData, size_t aCount, uint64_t anOffset)   // UINT64_MAX: at the end
{
    // In place the new content follows the old in the backup.
    const uint64_t locAt = anOffset == UINT64_MAX ? myWritten : anOffset;
    if (myHandle == OS_INVALID_HANDLE)
        Fail(EBADF);
    else if (!myError && aCount &&
             (anOffset == UINT64_MAX && !myInPlaceFlag ? OS_WriteFile(myHandle, aData, aCount)
                                                       : OS_WriteFileAt(myHandle, aData, aCount, myOldSize + locAt)) !=
                 int64_t(aCount))
        Fail(errno);
    else if (aCount)
        myWritten = std::max(myWritten, locAt + aCount);
    return myHandle != OS_INVALID_HANDLE && !myError;
}

// [SECTION] In place
// The backup, "<device>-<inode>.<pid>-<n>.tmp" in the user's own folder until
// it stands: the target's content as it is now, then aNewSize bytes of new
// content from the one before (which goes), unless that one still holds it.
bool OS_SaveFile::StartBackup(uint64_t aNewSize)
{
    struct stat locOld;
    uint32_t locSum = 0;
    if (fstat(myTargetHandle, &locOld) != 0)
        return false;
    if (myHandle >= 0 && uint64_t(locOld.st_size) == myOldSize)
    {
        // A read cut short is another program writing the file now: no save.
        if (!OS_CopyRange(myTargetHandle, 0, -1, 0, myOldSize, &locSum))
            return false;
        if (locSum == myOldSum)
            return true;
    }
    const int locFrom = myHandle;
    const std::string locFromName = myBackupName;
    const uint64_t locFromOldSize = myOldSize;
    const std::string locName = OS_SaveRecordName(uint64_t(locOld.st_dev), uint64_t(locOld.st_ino));
    myBackupName = locName.substr(0, locName.size() - strlen("save")) + OS_SaveUnique() + ".tmp";
    myHandle = openat(myBackupFolder, myBackupName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    myOldSize = uint64_t(locOld.st_size);
    myOldSum = 0;
    if (myHandle < 0)
        myBackupName.clear();
    const bool locStarted = myHandle >= 0 && OS_CopyRange(myTargetHandle, 0, myHandle, 0, myOldSize, &myOldSum) &&
                            OS_CopyRange(locFrom, locFromOldSize, myHandle, myOldSize, aNewSize, nullptr);
    const int locError = errno;
    if (locFrom >= 0)
    {
        unlinkat(myBackupFolder, locFromName.c_str(), 0);
        close(locFrom);
    }
    errno = locError;
    return locStarted;
}

// The target opened, the backups' folder, and the backup started.
bool OS_SaveFile::BeginInPlace()
{
    myTargetHandle = openat(myDirHandle, myLeaf.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (myTargetHandle < 0)
        return false;
    myBackupFolder = OS_OpenSaveFolder(true, &myBackupFolderPath);
    if (myBackupFolder < 0)
        return Fail(EACCES);
    locRemoveStale(myBackupFolder, nullptr);
    return StartBackup(0);
}

// The backup made to stand, the target locked: started again if the target
// changed since Begin, the header naming it added, flushed, named "<device>-<inode>.save"
// (never over another) and its folder flushed; from here a kill leaves what the next open needs.
bool OS_SaveFile::StandBackup(const OS_SaveFile* aPartner)
{
    struct stat locOld;
    char locDir[PATH_MAX];
    const std::string locNamed = myTargetPath.substr(0, myTargetPath.size() - myLeaf.size());
    if (fstat(myTargetHandle, &locOld) != 0 || !realpath(locNamed.empty() ? "." : locNamed.c_str(), locDir) ||
        !StartBackup(myWritten))
        return false;
    OS_SaveRecord locRecord;
    locRecord.myDevice = uint64_t(locOld.st_dev);
    locRecord.myInode = uint64_t(locOld.st_ino);
    locRecord.myBirth = OS_BirthOf(myTargetHandle);
    locRecord.myOldSize = myOldSize;
    locRecord.myOldSum = myOldSum;
    locRecord.myNewSize = myWritten;
    locRecord.myTargetPath = std::string(locDir) + "/" + myLeaf;
    if (!OS_CopyRange(myHandle, myOldSize, -1, 0, myWritten, &locRecord.myNewSum))
        return false;
    if (aPartner)
    {
        // The partner's new content: in its backup, or its temporary file.
        const bool locInPlace = aPartner->myInPlaceFlag;
        if (aPartner->myTargetPath.empty() ||
            !OS_SumFrom(locInPlace ? aPartner->myHandle : -1, locInPlace ? nullptr : aPartner->GetTempPath(),
                        locInPlace ? aPartner->myOldSize : 0, &locRecord.myPartnerSize, &locRecord.myPartnerSum))
            return Fail(EBADF);
        locRecord.myPartnerPath = aPartner->myTargetPath;
    }
    const std::string locName = OS_SaveRecordName(locRecord.myDevice, locRecord.myInode);
    const std::string locHeader = OS_WriteSaveRecord(locRecord);
    const bool locDone = OS_WriteFileAt(myHandle, locHeader.data(), locHeader.size(), myOldSize + myWritten) ==
                             int64_t(locHeader.size()) &&
                         fsync(myHandle) == 0 && locMove(myBackupFolder, myBackupName, locName, true);
    const int locError = errno;
    if (locDone)
        myBackupName = locName;
    else if (locError == EEXIST)
        fprintf(stderr, "save: an unfinished save of '%s' stands in '%s/%s'; this save is not done\n",
                myTargetPath.c_str(), myBackupFolderPath.c_str(), locName.c_str());
    errno = locError;
    return locDone && fsync(myBackupFolder) == 0;
}

// The old content back over the target from the backup; where it cannot be,
// the backup stands for the next open (see myKeptPath).
bool OS_SaveFile::PutBack()
{
    if (OS_CopyOver(myHandle, 0, myTargetHandle, myOldSize))
        return true;
    myKeptPath = myBackupFolderPath + "/" + myBackupName;
    return false;
}

// The new content from the backup over the target's, cut to length: the
// target locked, the backup standing and the size reserved first, so that a
// save that cannot be done changes nothing and one that fails on the way puts
// the old bytes back: old or new, never a mix.
bool OS_SaveFile::CommitInPlace(bool aKeepOldFlag, const OS_SaveFile* aPartner)
{
    // The file gone from its name since Begin is not written through another.
    struct stat locNamed, locOpen;
    if (fstat(myTargetHandle, &locOpen) != 0 || fstatat(myDirHandle, myLeaf.c_str(), &locNamed, AT_SYMLINK_NOFOLLOW) != 0 ||
        locNamed.st_ino != locOpen.st_ino || locNamed.st_dev != locOpen.st_dev)
        return Fail(ENOENT);
    if (!locLockTarget(myTargetHandle))
    {
        fprintf(stderr, "save: '%s' is being saved by another program; this save is not done\n", myTargetPath.c_str());
        return Fail(EBUSY);
    }
    // What an earlier save of this file that a kill stopped left goes first.
    OS_RecoverSave(myTargetHandle, myTargetPath.c_str(), true);
    // Where the file system cannot reserve, the save goes on: a failure still
    // puts the old bytes back.
    if (!StandBackup(aPartner) ||
        (myWritten > 0 && fallocate(myTargetHandle, FALLOC_FL_KEEP_SIZE, 0, off_t(myWritten)) != 0 &&
         errno != EOPNOTSUPP && errno != ENOSYS))
        return Fail(errno);
    if (!OS_CopyOver(myHandle, myOldSize, myTargetHandle, myWritten))
    {
        Fail(errno);
        if (!PutBack())
            fprintf(stderr, "save: '%s' could not be written (%s) nor its old content put back; it is kept in '%s' "
                            "(its first %llu bytes)\n", myTargetPath.c_str(), strerror(myError), myKeptPath.c_str(),
                    static_cast<unsigned long long>(myOldSize));
        return false;
    }
    if (aKeepOldFlag)
        myKeptOld = KEPT_IN_PLACE;
    return true;
}

// [SECTION] By rename
// Renames the temporary file over the target; with aKeepOldFlag the file it
// replaces stays under the temporary name (swapped in one step where the
// system can, else kept by a second link).
bool OS_SaveFile::CommitRename(bool aKeepOldFlag)
{
    struct stat locStat;
    // A file set aside already stands apart, and nothing at the target's name.
    const bool locHadOld = aKeepOldFlag && myAsideLeaf.empty() &&
                           fstatat(myDirHandle, myLeaf.c_str(), &locStat, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISREG(locStat.st_mode);
    if (locHadOld && renameat2(myDirHandle, myTempLeaf.c_str(), myDirHandle, myLeaf.c_str(), RENAME_EXCHANGE) == 0)
    {
        myKeptOld = KEPT_RENAMED;
        return true;
    }
    std::string locOldLeaf;
    if (locHadOld && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) &&
        !(locOldLeaf = locTempName(myLeaf)).empty() &&
        linkat(myDirHandle, myLeaf.c_str(), myDirHandle, locOldLeaf.c_str(), 0) == 0)
        OS_NoteNameAt(myDirHandle, locOldLeaf.c_str(), true);
    else
        locOldLeaf.clear();   // neither: replaced all the same, but Restore cannot undo it
    if (!locMove(myDirHandle, myTempLeaf, myLeaf))
    {
        Fail(errno);
        locRemove(myDirHandle, &locOldLeaf);
        return false;
    }
    // The old file takes the temporary name: Abandon drops it, Restore puts it back.
    myTempLeaf = myAsideLeaf.empty() ? locOldLeaf : myAsideLeaf;
    myAsideLeaf.clear();
    if (aKeepOldFlag)
        myKeptOld = !myTempLeaf.empty() ? KEPT_RENAMED : (locHadOld ? KEPT_NOTHING : KEPT_NONE_BEFORE);
    return true;
}

// [SECTION] Commit, restore, set aside, abandon

bool OS_SaveFile::Flush()
{
    if (myFlushedFlag)
        return true;
    if (myHandle == OS_INVALID_HANDLE)
        return Fail(EBADF);
    // In place, the new content waits in the backup until Commit.
    if (!myInPlaceFlag)
    {
        if (!myError && myFlushFlag && fsync(myHandle) != 0)
            Fail(errno);
        if (close(myHandle) != 0)
            Fail(errno);
        myHandle = OS_INVALID_HANDLE;
    }
    if (myError)
        Abandon();
    myFlushedFlag = !myError;
    return myFlushedFlag;
}

bool OS_SaveFile::Finish(bool aKeepOldFlag, const OS_SaveFile* aPartner)
{
    if (!Flush())
        return false;
    myFlushedFlag = false;
    myKeptOld = KEPT_NOTHING;
    const bool locDone = myInPlaceFlag ? CommitInPlace(aKeepOldFlag, aPartner) : CommitRename(aKeepOldFlag);
    // The rename itself reaches the disk with the folder.
    if (locDone && myFlushFlag && !myInPlaceFlag)
        fsync(myDirHandle);
    myTempPath.clear();
    // The folder, the names and the old file stay for Restore or Abandon.
    if (myKeptOld == KEPT_NOTHING)
        Abandon();
    return locDone;
}

bool OS_SaveFile::Restore()
{
    bool locDone = false;
    errno = EINVAL;
    if (myKeptOld == KEPT_RENAMED)
        locDone = locMove(myDirHandle, myTempLeaf, myLeaf);
    else if (myKeptOld == KEPT_NONE_BEFORE && (locDone = unlinkat(myDirHandle, myLeaf.c_str(), 0) == 0))
        OS_NoteNameAt(myDirHandle, myLeaf.c_str(), false);
    else if (myKeptOld == KEPT_IN_PLACE)
        locDone = PutBack();
    // The old file, back or not, is not thrown away here.
    myTempLeaf.clear();
    if (!locDone)
        Fail(errno);
    else if (myFlushFlag && myKeptOld != KEPT_IN_PLACE)
        fsync(myDirHandle);
    Abandon();
    return locDone;
}

bool OS_SaveFile::SetAside()
{
    if (myError || myDirHandle < 0 || myLeaf.empty())
        return Fail(EBADF);
    struct stat locStat;
    if (myInPlaceFlag || !myAsideLeaf.empty() || fstatat(myDirHandle, myLeaf.c_str(), &locStat, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(locStat.st_mode))
        return true;
    myAsideLeaf = locTempName(myLeaf);
    if (!myAsideLeaf.empty() && locMove(myDirHandle, myLeaf, myAsideLeaf, true))
        return true;
    myAsideLeaf.clear();
    return Fail(errno);
}

// The backup goes first, while the target is still locked: once it is gone
// the new content stands. A backup named by myKeptPath stays for the next open.
void OS_SaveFile::Abandon()
{
    if (myKeptPath.empty())
        locRemove(myBackupFolder, &myBackupName);
    // Also the old file kept by CommitKeepingOld.
    locRemove(myDirHandle, &myTempLeaf);
    if (!myAsideLeaf.empty() && myDirHandle >= 0)
        locMove(myDirHandle, myAsideLeaf, myLeaf);
    for (int* locHandle : {&myHandle, &myBackupFolder, &myTargetHandle, &myDirHandle})
    {
        if (*locHandle >= 0)
            close(*locHandle);
        *locHandle = -1;
    }
    myFlushedFlag = false;
    myInPlaceFlag = false;
    myOldSize = 0;
    myWritten = 0;
    myKeptOld = KEPT_NOTHING;
    for (std::string* locName : {&myAsideLeaf, &myTempPath, &myLeaf, &myTargetPath, &myBackupName})
        locName->clear();
}
