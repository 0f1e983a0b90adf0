// For tests that watch or refuse the files a program opens: open and openat
// both go to OS_TestOpenAt, which the test defines (the mode is 0 unless the
// call creates a file). Include in one source of a test program only: the
// calls replace the system's for the program.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstdarg>

int OS_TestOpenAt(int aDir, const char* aPath, int aFlags, mode_t aMode);

inline mode_t OS_TestOpenMode(int aFlags, va_list anArgs)
{
    const bool locCreates = (aFlags & O_CREAT) || (aFlags & O_TMPFILE) == O_TMPFILE;
    return locCreates ? mode_t(va_arg(anArgs, int)) : 0;
}

extern "C" int open(const char* aPath, int aFlags, ...)
{
    va_list locArgs;
    va_start(locArgs, aFlags);
    const mode_t locMode = OS_TestOpenMode(aFlags, locArgs);
    va_end(locArgs);
    return OS_TestOpenAt(AT_FDCWD, aPath, aFlags, locMode);
}

extern "C" int openat(int aDir, const char* aPath, int aFlags, ...)
{
    va_list locArgs;
    va_start(locArgs, aFlags);
    const mode_t locMode = OS_TestOpenMode(aFlags, locArgs);
    va_end(locArgs);
    return OS_TestOpenAt(aDir, aPath, aFlags, locMode);
}
