/* Loaded with LD_PRELOAD into a program of the toolset, makes its in-place
 * save of one file (Q_FAULT_LEAF, the file's name without its folder) meet a
 * kill or a lasting write error, as a user's machine would:
 *   Q_FAULT_KILL_AT=N   the Nth change to the disk (a write, a cut, a flush, a
 *                       rename or a removal) once the target is opened for
 *                       writing kills the process (SIGKILL);
 *   Q_FAULT_WRITES=N    once the target is opened for writing, every write to
 *                       a regular file fails (EIO) after N more bytes.
 * The save counts as over when its record ("*.save") is removed. With
 * Q_FAULT_COUNT=FILE the process that saved writes there, at its exit, the
 * number of changes it made. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int ourArmed = 0;
static int ourOver = 0;
static long ourChanges = 0;
static long ourKillAt = 0;
static long long ourWritesLeft = -1;

__attribute__((constructor)) static void locSetUp(void)
{
    const char* locKill = getenv("Q_FAULT_KILL_AT");
    const char* locWrites = getenv("Q_FAULT_WRITES");
    ourKillAt = locKill ? atol(locKill) : 0;
    ourWritesLeft = locWrites && locWrites[0] ? atoll(locWrites) : -1;
}

__attribute__((destructor)) static void locTellCount(void)
{
    const char* locFile = getenv("Q_FAULT_COUNT");
    /* Only the process that saved: a wrapper (timeout) ends later. */
    if (!locFile || !locFile[0] || !ourArmed)
        return;
    FILE* locOut = fopen(locFile, "w");
    if (locOut)
    {
        fprintf(locOut, "%ld\n", ourChanges);
        fclose(locOut);
    }
}

static void locArm(const char* aPath, int aFlags)
{
    const char* locLeaf = getenv("Q_FAULT_LEAF");
    if (ourArmed || ourOver || !locLeaf || !aPath || (aFlags & O_ACCMODE) == O_RDONLY)
        return;
    const char* locSlash = strrchr(aPath, '/');
    if (strcmp(locSlash ? locSlash + 1 : aPath, locLeaf) == 0)
        ourArmed = 1;
}

static void locChange(void)
{
    if (!ourArmed || ourOver)
        return;
    ++ourChanges;
    if (ourKillAt > 0 && ourChanges >= ourKillAt)
        raise(SIGKILL);
}

static void locRemoved(const char* aPath)
{
    size_t locLength = aPath ? strlen(aPath) : 0;
    if (ourArmed && locLength > 5 && strcmp(aPath + locLength - 5, ".save") == 0)
        ourOver = 1;
}

/* How many of aCount bytes may be written to aHandle; -1 when none may. */
static ssize_t locAllowed(int aHandle, size_t aCount)
{
    struct stat locStat;
    if (!ourArmed || ourOver || ourWritesLeft < 0 || aHandle <= 2 || fstat(aHandle, &locStat) != 0 ||
        !S_ISREG(locStat.st_mode))
        return (ssize_t)aCount;
    if (ourWritesLeft == 0)
        return -1;
    if ((long long)aCount > ourWritesLeft)
        aCount = (size_t)ourWritesLeft;
    ourWritesLeft -= (long long)aCount;
    return (ssize_t)aCount;
}

#define NEXT(aName, aResult, anArgs) \
    static aResult(*locNext) anArgs = 0; \
    if (!locNext) \
        locNext = (aResult(*) anArgs)dlsym(RTLD_NEXT, aName)

int open(const char* aPath, int aFlags, ...)
{
    NEXT("open", int, (const char*, int, ...));
    va_list locArgs;
    va_start(locArgs, aFlags);
    mode_t locMode = (aFlags & (O_CREAT | O_TMPFILE)) ? va_arg(locArgs, mode_t) : 0;
    va_end(locArgs);
    locArm(aPath, aFlags);
    return locNext(aPath, aFlags, locMode);
}

int open64(const char* aPath, int aFlags, ...)
{
    va_list locArgs;
    va_start(locArgs, aFlags);
    mode_t locMode = (aFlags & (O_CREAT | O_TMPFILE)) ? va_arg(locArgs, mode_t) : 0;
    va_end(locArgs);
    return open(aPath, aFlags, locMode);
}

int openat(int aDir, const char* aPath, int aFlags, ...)
{
    NEXT("openat", int, (int, const char*, int, ...));
    va_list locArgs;
    va_start(locArgs, aFlags);
    mode_t locMode = (aFlags & (O_CREAT | O_TMPFILE)) ? va_arg(locArgs, mode_t) : 0;
    va_end(locArgs);
    locArm(aPath, aFlags);
    return locNext(aDir, aPath, aFlags, locMode);
}

int openat64(int aDir, const char* aPath, int aFlags, ...)
{
    va_list locArgs;
    va_start(locArgs, aFlags);
    mode_t locMode = (aFlags & (O_CREAT | O_TMPFILE)) ? va_arg(locArgs, mode_t) : 0;
    va_end(locArgs);
    return openat(aDir, aPath, aFlags, locMode);
}

ssize_t write(int aHandle, const void* aData, size_t aCount)
{
    NEXT("write", ssize_t, (int, const void*, size_t));
    if (aHandle > 2)
        locChange();
    ssize_t locAllow = locAllowed(aHandle, aCount);
    if (locAllow < 0)
    {
        errno = EIO;
        return -1;
    }
    return locNext(aHandle, aData, (size_t)locAllow);
}

ssize_t pwrite(int aHandle, const void* aData, size_t aCount, off_t anOffset)
{
    NEXT("pwrite", ssize_t, (int, const void*, size_t, off_t));
    locChange();
    ssize_t locAllow = locAllowed(aHandle, aCount);
    if (locAllow < 0)
    {
        errno = EIO;
        return -1;
    }
    return locNext(aHandle, aData, (size_t)locAllow, anOffset);
}

ssize_t pwrite64(int aHandle, const void* aData, size_t aCount, off_t anOffset)
{
    return pwrite(aHandle, aData, aCount, anOffset);
}

int fsync(int aHandle)
{
    NEXT("fsync", int, (int));
    locChange();
    return locNext(aHandle);
}

int fdatasync(int aHandle)
{
    NEXT("fdatasync", int, (int));
    locChange();
    return locNext(aHandle);
}

int ftruncate(int aHandle, off_t aSize)
{
    NEXT("ftruncate", int, (int, off_t));
    locChange();
    return locNext(aHandle, aSize);
}

int ftruncate64(int aHandle, off_t aSize)
{
    return ftruncate(aHandle, aSize);
}

int rename(const char* aFrom, const char* aTo)
{
    NEXT("rename", int, (const char*, const char*));
    locChange();
    return locNext(aFrom, aTo);
}

int renameat(int aFromDir, const char* aFrom, int aToDir, const char* aTo)
{
    NEXT("renameat", int, (int, const char*, int, const char*));
    locChange();
    return locNext(aFromDir, aFrom, aToDir, aTo);
}

int renameat2(int aFromDir, const char* aFrom, int aToDir, const char* aTo, unsigned int aFlags)
{
    NEXT("renameat2", int, (int, const char*, int, const char*, unsigned int));
    locChange();
    return locNext(aFromDir, aFrom, aToDir, aTo, aFlags);
}

int unlink(const char* aPath)
{
    NEXT("unlink", int, (const char*));
    locChange();
    int locResult = locNext(aPath);
    locRemoved(aPath);
    return locResult;
}

int unlinkat(int aDir, const char* aPath, int aFlags)
{
    NEXT("unlinkat", int, (int, const char*, int));
    locChange();
    int locResult = locNext(aDir, aPath, aFlags);
    locRemoved(aPath);
    return locResult;
}
