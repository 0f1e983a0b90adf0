// Lock files beside the files the editor has open: "<file>.lock" holds the
// computer name of the editor that has the file, then a NUL. Other editors
// may open the file but not save over it. A lock left by a crash blocks every
// editor, the crashed one's computer too, until it is deleted by hand.
#pragma once

#include <cstddef>
#include <string>

class FileLocker
{
public:
    FileLocker() = default;
    // The held lock goes with the editor.
    ~FileLocker();
    FileLocker(const FileLocker&) = delete;
    FileLocker& operator=(const FileLocker&) = delete;

    // Releases the lock held for any file, then takes the one of aPath. False
    // with the message for the user when another editor (or a leftover lock)
    // holds it, or when it cannot be made.
    bool Lock(const char* aPath, std::string* aMessage);
    // False with the message when another editor holds the file's lock.
    bool CanSave(const char* aPath, std::string* aMessage) const;
    // Deletes the held lock file, if any.
    void Unlock();
    // Creates "<aPath>.lock" exclusively with the computer name and a NUL and
    // holds it. False when it exists already or cannot be written whole.
    bool WriteLock(const char* aPath);

    // True when "<aPath>.lock" exists; anOwner gets its text up to the first NUL
    // (at most 4096 bytes are read).
    static bool ReadOwner(const char* aPath, std::string* anOwner);
    // The owner named by a lock file's bytes: the text up to the first NUL,
    // of at most the first 4096 bytes.
    static std::string ParseOwner(const char* aBytes, size_t aCount);
    // This machine's name, "UNKNOWN" when it has none.
    static std::string GetComputerName();
    static std::string GetLockName(const char* aPath) { return std::string(aPath ? aPath : "") + ".lock"; }

    // The lock file this editor holds; empty when none.
    const std::string& GetHeldLock() const { return myHeldLock; }

private:
    std::string myHeldLock;
};
