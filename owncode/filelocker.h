// Lock files beside the files the editor has open: "<file>.lock" holds the
// computer name of the editor that has the file, a NUL, then the editor's
// process id in decimal. Other editors may open the file but not save over it.
//
// The lock is named from the file's resolved path (its spelling on disk,
// symbolic links followed as saves follow them), so every name that reaches
// one file through links shares one lock. It is created whole and at once:
// readers never see a half-written lock, and of editors racing for it exactly
// one gets it. A lock of this computer whose process no longer runs was left
// by a crash: the next editor takes it over and says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FileLocker
{
  public:
    FileLocker() = default;
    // The held lock goes with the editor.
    ~FileLocker();
    FileLocker(const FileLocker&) = delete;
    FileLocker& operator=(const FileLocker&) = delete;

    // Releases the lock held for any file, then takes the one of aPath. False
    // with the message for the user when anything has the lock's name (another
    // editor's lock, one that cannot be read, a link, a folder), or when it
    // cannot be made; the file is then open without a lock. See GetNotes.
    bool Lock(const char* aPath, std::string* aMessage);
    // False with the message when anything but this editor's lock has the
    // file's lock name. For the file the last Lock left unlocked this takes
    // the lock first; where it still cannot be made, the file is saved
    // without it and GetNotes says why.
    bool CanSave(const char* aPath, std::string* aMessage);
    // Deletes the held lock file, if any, unless another editor's has taken its
    // place meanwhile.
    void Unlock();
    // Lines for the console from the last Lock or CanSave: a lock left by a
    // program that is no longer running was taken over; why a lock cannot be
    // made; the file has other names (hard links) that other editors may open
    // it by.
    const std::vector<std::string>& GetNotes() const { return myNotes; }

    // True when anything has the lock name of aPath; anOwner gets a lock
    // file's text up to the first NUL (at most 4096 bytes are read), and is
    // empty for anything but a regular file.
    static bool ReadOwner(const char* aPath, std::string* anOwner);
    // The owner named by a lock file's bytes: the text up to the first NUL,
    // of at most the first 4096 bytes.
    static std::string ParseOwner(const char* aBytes, size_t aCount);
    // The process id a lock file's bytes hold after the owner's NUL: 1 to
    // 2^31-1 written in decimal with no leading zero, ending at the end or at a
    // NUL, within the first 4096 bytes. 0 when there is none (a lock of an
    // older editor) or it is malformed.
    static int64_t ParseProcessId(const char* aBytes, size_t aCount);
    // An owner as every message shows it: its first 256 bytes (whole
    // characters), then "…" when there are more; control characters, bytes
    // that are not UTF-8 and characters that turn or break the line written
    // as "\xNN" for each of their bytes. The result is UTF-8.
    static std::string ShowOwner(const std::string& anOwner);
    // This machine's name, "UNKNOWN" when it has none.
    static std::string GetComputerName();
    // The lock file of aPath: "<resolved path>.lock", where the resolved path
    // is aPath as the file layer finds it on disk, its symbolic links followed
    // and its folder made absolute. An existing lock file whose name differs
    // only in case is the one named.
    static std::string GetLockName(const char* aPath);

    // The lock file this editor holds; empty when none.
    const std::string& GetHeldLock() const { return myHeldLock; }

  private:
    // aStaleProcess: the process whose stale lock was taken over; 0 when none.
    void Priv_Hold(const std::string& aLock, uint64_t aDevice, uint64_t anInode, int64_t aStaleProcess);
    bool Priv_IsHeld(const std::string& aLock) const;

    std::string myHeldLock;
    uint64_t myHeldDevice = 0; // with myHeldInode: the lock file this editor made
    uint64_t myHeldInode = 0;
    std::string myRefusedLock; // of the open file when its Lock failed
    std::vector<std::string> myNotes;
};
