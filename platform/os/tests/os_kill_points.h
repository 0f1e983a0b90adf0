// For tests that kill a child process at its Nth change to the disk, as a
// kill -9 landing there would: the count, and the calls that change the disk
// without writing bytes (a cut, a rename, a removal). A test defines its own
// writes and flushes, each calling OS_TestChange first. Include in one source
// of a test program only: the calls replace the system's for the program.
#pragma once

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

// Set in the child: the change that kills it (0: none). Counted from the start.
inline std::atomic<int> ourKillAtChange{0};
inline std::atomic<int> ourChanges{0};

inline void OS_TestChange()
{
    if (ourKillAtChange.load() > 0 && ourChanges.fetch_add(1) + 1 >= ourKillAtChange.load())
        raise(SIGKILL);
}

extern "C" int ftruncate(int aHandle, off_t aSize)
{
    OS_TestChange();
    return static_cast<int>(syscall(SYS_ftruncate, aHandle, aSize));
}

extern "C" int rename(const char* aFrom, const char* aTo)
{
    OS_TestChange();
    return static_cast<int>(syscall(SYS_renameat, AT_FDCWD, aFrom, AT_FDCWD, aTo));
}

extern "C" int unlink(const char* aPath)
{
    OS_TestChange();
    return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, aPath, 0));
}

extern "C" int unlinkat(int aDir, const char* aPath, int aFlags)
{
    OS_TestChange();
    return static_cast<int>(syscall(SYS_unlinkat, aDir, aPath, aFlags));
}
