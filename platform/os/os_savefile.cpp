// The save-file helper: temporary file beside the target, renamed on commit.
#include "platform/os/os_savefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
std::atomic<unsigned> ourTempCounter{0};
}

OS_SaveFile::~OS_SaveFile()
{
    Abandon();
}

void OS_SaveFile::Fail(int anError)
{
    if (!myError)
        myError = anError ? anError : EIO;
}

bool OS_SaveFile::Begin(const char* aTargetPath)
{
    Abandon();
    myError = 0;
    char locTarget[PATH_MAX];
    if (!aTargetPath || !aTargetPath[0] || !OS_ResolvePath(aTargetPath, locTarget, sizeof(locTarget)))
    {
        Fail(ENAMETOOLONG);
        return false;
    }
    const char* locSlash = strrchr(locTarget, '/');
    size_t locDirLength = locSlash ? static_cast<size_t>(locSlash - locTarget) + 1 : 0;
    const char* locLeaf = locTarget + locDirLength;

    // Hidden and unique: ".<leaf>.<pid>-<n>.tmp" in the target's own folder, so
    // the rename stays on one file system.
    char locTemp[PATH_MAX];
    for (int locTry = 0; locTry < 100; ++locTry)
    {
        int locLength = snprintf(locTemp, sizeof(locTemp), "%.*s.%s.%d-%u.tmp", static_cast<int>(locDirLength),
                                 locTarget, locLeaf, static_cast<int>(getpid()), ourTempCounter.fetch_add(1));
        if (locLength < 0 || static_cast<size_t>(locLength) >= sizeof(locTemp))
        {
            Fail(ENAMETOOLONG);
            return false;
        }
        myHandle = open(locTemp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (myHandle >= 0 || errno != EEXIST)
            break;
    }
    if (myHandle < 0)
    {
        myHandle = OS_INVALID_HANDLE;
        Fail(errno);
        return false;
    }
    // A replaced file keeps its permissions.
    struct stat locStat;
    if (stat(locTarget, &locStat) == 0 && S_ISREG(locStat.st_mode))
        fchmod(myHandle, locStat.st_mode & 07777);
    myTargetPath = strdup(locTarget);
    myTempPath = strdup(locTemp);
    if (!myTargetPath || !myTempPath)
    {
        Fail(ENOMEM);
        Abandon();
        return false;
    }
    return true;
}

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
    return true;
}

bool OS_SaveFile::Flush()
{
    if (myFlushedFlag)
        return true;
    if (myHandle == OS_INVALID_HANDLE)
    {
        Fail(EBADF);
        return false;
    }
    if (!myError && fsync(myHandle) != 0)
        Fail(errno);
    if (close(myHandle) != 0)
        Fail(errno);
    myHandle = OS_INVALID_HANDLE;
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
    if (!Flush())
        return false;
    myFlushedFlag = false;
    if (!myError && rename(myTempPath, myTargetPath) != 0)
        Fail(errno);
    if (myError)
    {
        Abandon();
        return false;
    }
    // The rename itself reaches the disk with the folder.
    char locDir[PATH_MAX];
    const char* locSlash = strrchr(myTargetPath, '/');
    if (locSlash)
        snprintf(locDir, sizeof(locDir), "%.*s", static_cast<int>(locSlash - myTargetPath + 1), myTargetPath);
    else
        snprintf(locDir, sizeof(locDir), ".");
    int locDirHandle = open(locDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (locDirHandle >= 0)
    {
        fsync(locDirHandle);
        close(locDirHandle);
    }
    free(myTempPath);
    myTempPath = nullptr;
    return true;
}

void OS_SaveFile::Abandon()
{
    myFlushedFlag = false;
    if (myHandle != OS_INVALID_HANDLE)
    {
        close(myHandle);
        myHandle = OS_INVALID_HANDLE;
    }
    if (myTempPath)
    {
        unlink(myTempPath);
        free(myTempPath);
        myTempPath = nullptr;
    }
    free(myTargetPath);
    myTargetPath = nullptr;
}
