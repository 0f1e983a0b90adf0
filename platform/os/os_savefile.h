// The one way a user's file is replaced: the contents go to a temporary file
// beside the target, every write is checked, and only a complete, flushed file
// is renamed over the target. An abandoned save leaves the target untouched.
#pragma once

#include <cstddef>

#include "platform/os/os_file.h"

class OS_SaveFile
{
public:
    OS_SaveFile() = default;
    ~OS_SaveFile();   // abandons a save that was not committed
    OS_SaveFile(const OS_SaveFile&) = delete;
    OS_SaveFile& operator=(const OS_SaveFile&) = delete;

    // Creates the temporary file beside aTargetPath (resolved like every path).
    bool Begin(const char* aTargetPath);
    // Appends; after one failure every later write and the commit fail too.
    bool Write(const void* aData, size_t aCount);
    // Flushes and closes the temporary file without renaming it, so that several
    // files can be made durable before any of them replaces its target. False
    // (and the temporary file removed) when anything failed since Begin.
    bool Flush();
    // Flushes (unless done), closes and renames over the target; false (and the
    // temporary file removed) when anything failed since Begin.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Abandon();

    bool IsOpen() const { return myHandle != OS_INVALID_HANDLE; }
    // errno of the first failure, 0 when none.
    int GetError() const { return myError; }
    const char* GetTargetPath() const { return myTargetPath; }
    const char* GetTempPath() const { return myTempPath; }

private:
    void Fail(int anError);

    OS_FileHandle myHandle = OS_INVALID_HANDLE;
    bool myFlushedFlag = false;
    int myError = 0;
    char* myTargetPath = nullptr;   // owned, resolved
    char* myTempPath = nullptr;     // owned
};
