// The one way a user's file is replaced: the contents go to a temporary file
// beside the target, every write checked, and only a complete, flushed file
// is renamed over it; an abandoned save leaves it untouched. A symbolic link
// is followed (the link stays, its target gets the contents); a name that
// exists in another case is the file replaced; the mode is kept, the set-id
// bits only with the owner. A file with several hard links, or in a folder
// that takes no temporary file, is rewritten in place at Commit, one save of
// it at a time, behind a backup in the user's own data folder: a failure, or
// the next open or save after a kill, puts the old content back. A file the
// user may not write (as Windows' read-only attribute) is not replaced: Begin
// fails with EACCES. Temporary files a killed save left beside it are removed.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os/os_file.h"

class OS_SaveFile
{
public:
    OS_SaveFile() = default;
    ~OS_SaveFile() { Abandon(); }   // abandons a save that was not committed
    OS_SaveFile(const OS_SaveFile&) = delete;
    OS_SaveFile& operator=(const OS_SaveFile&) = delete;

    // Creates the temporary file beside aTargetPath (resolved like every path).
    bool Begin(const char* aTargetPath) { return Start(false, nullptr, aTargetPath, true); }
    // The same for aRelativePath beneath the folder aBase, walked one component
    // at a time without following any symbolic link: folders are made as
    // needed; a path that is absolute, holds a drive letter, an empty, "." or
    // ".." component, passes a link or ends at a link or a folder fails (ELOOP,
    // EINVAL, EISDIR). The target is always replaced by a rename, never
    // rewritten in place. Without aFlushFlag the commit does not wait for the
    // disk: for saving many files, followed by one OS_SyncFileSystem.
    bool BeginBeneath(const char* aBase, const char* aRelativePath, bool aFlushFlag = true)
    {
        return Start(true, aBase, aRelativePath, aFlushFlag);
    }
    // Appends after the furthest byte written; after one failure every later
    // write and the commit fail too.
    bool Write(const void* aData, size_t aCount) { return WriteAt(aData, aCount, UINT64_MAX); }
    // Overwrites bytes already written, at anOffset from the start.
    bool WriteAt(const void* aData, size_t aCount, uint64_t anOffset);
    // Flushes and closes the temporary file without renaming it, so that several
    // files are durable before any replaces its target. Fails as Commit does.
    bool Flush();
    // Flushes (unless done), closes and renames over the target; false (and the
    // temporary file removed) when anything failed since Begin.
    bool Commit() { return Finish(false, nullptr); }
    // Commit, keeping the file replaced (beside the target, or its bytes when
    // rewritten in place) until Restore puts it back or Abandon drops it: for
    // files replaced together, where a later failure undoes the earlier ones.
    // With aPartner (flushed, not committed), an in-place rewrite stands after
    // a kill only once aPartner's target holds its new content whole.
    bool CommitKeepingOld(const OS_SaveFile* aPartner = nullptr) { return Finish(true, aPartner); }
    // After CommitKeepingOld: the old file back at the target's name (none
    // there when there was none); false when it could not be put back.
    bool Restore();
    // Moves the existing target aside under a temporary name, so that until
    // Commit none stands at its name (a file that must not outlive its partner's
    // replacement): Abandon puts it back, Commit drops it. Nothing moves in place.
    bool SetAside();
    // Removes the temporary file; the target stays as it was (a file set aside
    // goes back). After CommitKeepingOld, drops the old file: the commit stands.
    void Abandon();

    // errno of the first failure, 0 when none.
    int GetError() const { return myError; }
    // Null when the target is rewritten in place.
    const char* GetTempPath() const { return myTempPath.empty() ? nullptr : myTempPath.c_str(); }
    // After a failed in-place save whose old content could not be put back: the
    // backup whose first bytes hold it (the next open puts it back); else null.
    const char* GetKeptPath() const { return myKeptPath.empty() ? nullptr : myKeptPath.c_str(); }

private:
    // Keeps the first failure; false, for the caller to return.
    bool Fail(int anError)
    {
        myError = myError ? myError : (anError ? anError : EIO);
        return false;
    }
    bool Start(bool aBeneathFlag, const char* aBase, const char* aPath, bool aFlushFlag);
    bool CreateTemp();
    bool OpenTarget(const char* aTargetPath);
    bool OpenBeneath(const char* aBase, const char* aRelativePath);
    bool ChooseWay(bool aBeneathFlag);
    bool BeginInPlace();
    bool StartBackup(uint64_t aNewSize);
    bool Finish(bool aKeepOldFlag, const OS_SaveFile* aPartner);
    bool CommitInPlace(bool aKeepOldFlag, const OS_SaveFile* aPartner);
    bool StandBackup(const OS_SaveFile* aPartner);
    bool PutBack();
    bool CommitRename(bool aKeepOldFlag);

    OS_FileHandle myHandle = OS_INVALID_HANDLE;   // in place, the backup
    int myDirHandle = -1;           // the target's folder
    int myError = 0;
    bool myInPlaceFlag = false;
    bool myFlushedFlag = false;
    bool myFlushFlag = true;        // fsync the file and its folder at Commit
    std::string myTargetPath;       // resolved
    std::string myTempPath;
    std::string myLeaf;             // the target's name in its folder
    std::string myTempLeaf;         // the temporary file's name in that folder
    // After CommitKeepingOld, the old file: at myTempLeaf, none before, or its
    // bytes in the backup.
    enum KeptOld : uint8_t { KEPT_NOTHING, KEPT_RENAMED, KEPT_NONE_BEFORE, KEPT_IN_PLACE };
    KeptOld myKeptOld = KEPT_NOTHING;
    uint64_t myOldSize = 0;         // in place, at the backup's start
    uint32_t myOldSum = 0;
    uint64_t myWritten = 0;         // the new content's length so far
    // In place: the target open (locked at Commit), the backups' folder, and
    // the backup's name there ("*.tmp" until it stands). -1 or empty when none.
    int myTargetHandle = -1;
    int myBackupFolder = -1;
    std::string myBackupFolderPath;
    std::string myBackupName;
    std::string myKeptPath;
    std::string myAsideLeaf;        // the target's name while set aside
};

// The file a chain of symbolic links from aPath ends at (aPath itself when none),
// as a save replaces it: a link's target missing as written is found without regard
// to case. False (errno set; ELOOP past the system's 40 links) when the chain cannot
// be followed, aPath then holding the last name reached.
bool OS_FollowLinks(std::string* aPath);
