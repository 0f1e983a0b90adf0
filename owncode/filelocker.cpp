// Lock files: made whole by linking a finished, unnamed file in under the
// lock's name; read back bounded; taken over when their process is gone.
#include "owncode/filelocker.h"

#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"
#include "platform/os/os_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace
{
constexpr size_t locMaxLockBytes = 4096;
// The most of an owner's bytes a message shows.
constexpr size_t locMaxShownOwner = 256;
constexpr int64_t locMaxProcessId = INT32_MAX;
// A lock met at the create can leave before it is read (its holder closed the
// file) or be taken over meanwhile: a few rounds settle it.
constexpr int locMaxTries = 4;

enum LockState
{
    LOCK_NONE,
    LOCK_HELD,  // a named editor's, running or elsewhere
    LOCK_STALE, // this computer's, its process gone
    LOCK_EMPTY, // names no editor
    LOCK_UNREADABLE,
    LOCK_NOT_FILE, // a folder, link, pipe, socket or device in its place
};

struct LockRead
{
    LockState myState = LOCK_NONE;
    std::string myOwner;
    int64_t myProcessId = 0;
    int myError = 0;              // LOCK_UNREADABLE: errno
    const char* myKind = nullptr; // LOCK_NOT_FILE: what is there
};

bool locProcessRuns(int64_t aProcessId)
{
    // EPERM: it runs, as another user.
    return kill(pid_t(aProcessId), 0) == 0 || errno == EPERM;
}

const char* locKindOf(mode_t aMode)
{
    if (S_ISDIR(aMode))
        return "a folder";
    if (S_ISLNK(aMode))
        return "a symbolic link";
    if (S_ISFIFO(aMode))
        return "a pipe";
    if (S_ISSOCK(aMode))
        return "a socket";
    return "a device";
}

// Whatever has the lock's name counts, a link to nothing included; only a
// regular file is read, never through a link.
LockRead locReadLock(const std::string& aLock)
{
    LockRead locRead;
    struct stat locStat;
    if (lstat(aLock.c_str(), &locStat) != 0)
    {
        locRead.myState = errno == ENOENT ? LOCK_NONE : LOCK_UNREADABLE;
        locRead.myError = errno;
        return locRead;
    }
    if (!S_ISREG(locStat.st_mode))
    {
        locRead.myState = LOCK_NOT_FILE;
        locRead.myKind = locKindOf(locStat.st_mode);
        return locRead;
    }
    // Whatever came in its place since: a link is not followed, a pipe does not hang the editor.
    int locHandle = open(aLock.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (locHandle < 0)
    {
        locRead.myState = errno == ENOENT ? LOCK_NONE : LOCK_UNREADABLE;
        locRead.myError = errno;
        return locRead;
    }
    char locBytes[locMaxLockBytes];
    const int64_t locCount = OS_ReadFile(locHandle, locBytes, sizeof(locBytes));
    locRead.myError = errno;
    close(locHandle);
    if (locCount < 0)
    {
        locRead.myState = LOCK_UNREADABLE;
        return locRead;
    }
    locRead.myOwner = FileLocker::ParseOwner(locBytes, size_t(locCount));
    locRead.myProcessId = FileLocker::ParseProcessId(locBytes, size_t(locCount));
    if (locRead.myOwner.empty())
        locRead.myState = LOCK_EMPTY;
    else if (locRead.myOwner == FileLocker::GetComputerName() && locRead.myProcessId > 0 &&
             !locProcessRuns(locRead.myProcessId))
        locRead.myState = LOCK_STALE;
    else
        locRead.myState = LOCK_HELD;
    return locRead;
}

// The length of the UTF-8 character at anAt and its code point; 0 when the
// bytes there are no character (broken, over-long, a surrogate).
size_t locCharacterAt(const std::string& aText, size_t anAt, uint32_t* aCode)
{
    const unsigned char locLead = static_cast<unsigned char>(aText[anAt]);
    size_t locLength;
    uint32_t locCode;
    if (locLead < 0x80)
    {
        *aCode = locLead;
        return 1;
    }
    if (locLead >= 0xC2 && locLead <= 0xDF)
        locLength = 2, locCode = locLead & 0x1F;
    else if (locLead >= 0xE0 && locLead <= 0xEF)
        locLength = 3, locCode = locLead & 0x0F;
    else if (locLead >= 0xF0 && locLead <= 0xF4)
        locLength = 4, locCode = locLead & 0x07;
    else
        return 0;
    if (aText.size() - anAt < locLength)
        return 0;
    for (size_t i = 1; i < locLength; i++)
    {
        const unsigned char locNext = static_cast<unsigned char>(aText[anAt + i]);
        if ((locNext & 0xC0) != 0x80)
            return 0;
        locCode = (locCode << 6) | (locNext & 0x3F);
    }
    const uint32_t locLeast = locLength == 2 ? 0x80 : locLength == 3 ? 0x800 : 0x10000;
    if (locCode < locLeast || locCode > 0x10FFFF || (locCode >= 0xD800 && locCode <= 0xDFFF))
        return 0;
    *aCode = locCode;
    return locLength;
}

// Characters that act on a terminal or on the line around them instead of
// showing: C0 and C1 controls, DEL, line and paragraph separators, and the
// marks that turn the direction of the text after them.
bool locIsActing(uint32_t aCode)
{
    return aCode < 0x20 || (aCode >= 0x7F && aCode <= 0x9F) || aCode == 0x061C || aCode == 0x200E ||
           aCode == 0x200F || (aCode >= 0x2028 && aCode <= 0x202E) || (aCode >= 0x2066 && aCode <= 0x2069);
}

void locPutEscaped(const std::string& aText, size_t anAt, size_t aCount, std::string* anOut)
{
    static const char ourDigits[] = "0123456789abcdef";
    for (size_t i = anAt; i < anAt + aCount; i++)
    {
        const unsigned char locByte = static_cast<unsigned char>(aText[i]);
        *anOut += "\\x";
        *anOut += ourDigits[locByte >> 4];
        *anOut += ourDigits[locByte & 15];
    }
}

std::string locRefusal(const std::string& aPath, const std::string& aLock, const LockRead& aRead,
                       const char* aTail)
{
    const std::string locFile = "File '" + aPath + "' ";
    switch (aRead.myState)
    {
        case LOCK_EMPTY:
            return locFile + "is locked by the lock file '" + aLock + "', which names no editor, " + aTail;
        case LOCK_UNREADABLE:
            return locFile + "is locked by the lock file '" + aLock + "', which cannot be read (" +
                   strerror(aRead.myError) + "), " + aTail;
        case LOCK_NOT_FILE:
            return locFile + "is locked by '" + aLock + "', " + aRead.myKind + " in the lock file's place, " + aTail;
        default:
            return locFile + "is in use by '" + FileLocker::ShowOwner(aRead.myOwner) + "', " + aTail;
    }
}

std::string locFolderOf(const std::string& aPath)
{
    size_t locSlash = aPath.rfind('/');
    if (locSlash == std::string::npos)
        return ".";
    return locSlash == 0 ? "/" : aPath.substr(0, locSlash);
}

// aPath as the file layer finds it, its symbolic links followed as saves
// follow them, in a folder made absolute and free of links.
std::string locResolveTarget(const char* aPath)
{
    char locResolved[PATH_MAX];
    if (!OS_ResolvePath(aPath, locResolved, sizeof(locResolved)))
        return aPath;
    std::string locTarget = locResolved;
    OS_FollowLinks(&locTarget);
    char locFolder[PATH_MAX];
    if (!realpath(locFolderOf(locTarget).c_str(), locFolder))
        return locTarget;
    std::string locResult = locFolder;
    if (locResult.back() != '/')
        locResult += '/';
    size_t locSlash = locTarget.rfind('/');
    return locResult + (locSlash == std::string::npos ? locTarget : locTarget.substr(locSlash + 1));
}

// The lock file of a resolved target.
std::string locLockOf(const std::string& aTarget)
{
    std::string locLock = aTarget + ".lock";
    // A lock whose name differs in case (made on a system blind to case) is the one there.
    char locResolved[PATH_MAX];
    if (OS_ResolvePath(locLock.c_str(), locResolved, sizeof(locResolved)))
        locLock = locResolved;
    return locLock;
}

std::string locLockBytes()
{
    return FileLocker::GetComputerName() + '\0' + std::to_string(getpid());
}

bool locWriteWhole(int aHandle, const std::string& aBytes, struct stat* aMade)
{
    errno = EIO; // a write that moves nothing sets none
    return OS_WriteFile(aHandle, aBytes.data(), aBytes.size()) == int64_t(aBytes.size()) &&
           fstat(aHandle, aMade) == 0;
}

// 0 when aLock was made holding aBytes, else errno (EEXIST: a lock is there).
// Readers see no lock or all of it: the bytes go to an unnamed file in the
// lock's folder, which is then linked in under the lock's name; the link
// fails when a file is there. On a file system without unnamed files, the
// lock is made under its own name and written, and removed again when the
// write fails.
int locMakeLock(const std::string& aLock, const std::string& aBytes, struct stat* aMade)
{
    int locError = 0;
    int locHandle = open(locFolderOf(aLock).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (locHandle >= 0)
    {
        const std::string locSelf = "/proc/self/fd/" + std::to_string(locHandle);
        if (!locWriteWhole(locHandle, aBytes, aMade) ||
            linkat(AT_FDCWD, locSelf.c_str(), AT_FDCWD, aLock.c_str(), AT_SYMLINK_FOLLOW) != 0)
            locError = errno;
        close(locHandle);
        return locError;
    }
    locHandle = open(aLock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (locHandle < 0)
        return errno;
    locError = locWriteWhole(locHandle, aBytes, aMade) ? 0 : errno;
    close(locHandle);
    if (locError != 0)
        unlink(aLock.c_str()); // ours, and half written: not left to block everyone
    return locError;
}

// Under the folder's lock, so that of editors taking over one stale lock only
// the first removes it and makes its own: the next finds that one live. On a
// file system without flock the stale lock stays, as if held. aRead gets what
// was found under the folder's lock, LOCK_NONE once the stale lock is gone.
bool locTakeOver(const std::string& aLock, const std::string& aBytes, LockRead* aRead, struct stat* aMade)
{
    int locFolder = open(locFolderOf(aLock).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool locTaken = false;
    if (flock(locFolder, LOCK_EX) == 0)
    {
        *aRead = locReadLock(aLock);
        if (aRead->myState == LOCK_STALE && unlink(aLock.c_str()) == 0)
        {
            // Whoever makes the lock now holds it.
            aRead->myState = LOCK_NONE;
            locTaken = locMakeLock(aLock, aBytes, aMade) == 0;
        }
    }
    close(locFolder); // and with it the folder's lock
    return locTaken;
}

// What came of making a lock: myError is 0 when it was made (myMade is the
// file), EEXIST when something in its place holds the file (myRead says
// what), else why it cannot be made.
struct LockTake
{
    int myError = EAGAIN; // after locMaxTries of a lock that comes and goes
    LockRead myRead;
    struct stat myMade = {};
    bool myTakenOver = false; // from the stale lock of myRead's process
};

LockTake locTake(const std::string& aLock)
{
    const std::string locBytes = locLockBytes();
    LockTake locTaken;
    for (int locTry = 0; locTry < locMaxTries; ++locTry)
    {
        const int locError = locMakeLock(aLock, locBytes, &locTaken.myMade);
        if (locError == 0)
        {
            locTaken.myError = 0;
            return locTaken;
        }
        // Whatever kept it from being made, a lock there holds the file: a
        // folder this user may not write can hold another user's lock.
        locTaken.myRead = locReadLock(aLock);
        if (locTaken.myRead.myState == LOCK_STALE &&
            locTakeOver(aLock, locBytes, &locTaken.myRead, &locTaken.myMade))
        {
            locTaken.myError = 0;
            locTaken.myTakenOver = true;
            return locTaken;
        }
        const bool locUnseen = locTaken.myRead.myState == LOCK_NONE ||
                               (locTaken.myRead.myState == LOCK_UNREADABLE && locError != EEXIST);
        if (!locUnseen)
        {
            // A stale lock that cannot be taken over holds the file as any other.
            if (locTaken.myRead.myState == LOCK_STALE)
                locTaken.myRead.myState = LOCK_HELD;
            locTaken.myError = EEXIST;
            return locTaken;
        }
        if (locError != EEXIST)
        {
            locTaken.myError = locError;
            return locTaken;
        }
        // There at the make, gone at the read: once more.
    }
    return locTaken;
}
} // namespace

FileLocker::~FileLocker()
{
    Unlock();
}

std::string FileLocker::ShowOwner(const std::string& anOwner)
{
    std::string locShown;
    size_t locAt = 0;
    while (locAt < anOwner.size())
    {
        uint32_t locCode = 0;
        const size_t locLength = locCharacterAt(anOwner, locAt, &locCode);
        const size_t locTaken = locLength ? locLength : 1;
        if (locAt + locTaken > locMaxShownOwner)
            break;
        if (locLength == 0 || locIsActing(locCode))
            locPutEscaped(anOwner, locAt, locTaken, &locShown);
        else
            locShown.append(anOwner, locAt, locTaken);
        locAt += locTaken;
    }
    if (locAt < anOwner.size())
        locShown += "\xE2\x80\xA6"; // …
    return locShown;
}

std::string FileLocker::GetComputerName()
{
    char locName[257] = {};
    OS_GetComputerName(locName, sizeof(locName));
    return locName[0] ? std::string(locName) : std::string("UNKNOWN");
}

std::string FileLocker::GetLockName(const char* aPath)
{
    return locLockOf(locResolveTarget(aPath ? aPath : ""));
}

bool FileLocker::ReadOwner(const char* aPath, std::string* anOwner)
{
    LockRead locRead = locReadLock(GetLockName(aPath));
    *anOwner = locRead.myOwner;
    return locRead.myState != LOCK_NONE;
}

std::string FileLocker::ParseOwner(const char* aBytes, size_t aCount)
{
    if (!aBytes)
        return std::string();
    size_t locCount = aCount < locMaxLockBytes ? aCount : locMaxLockBytes;
    return std::string(aBytes, strnlen(aBytes, locCount));
}

int64_t FileLocker::ParseProcessId(const char* aBytes, size_t aCount)
{
    size_t locCount = aCount < locMaxLockBytes ? aCount : locMaxLockBytes;
    const char* locNul = aBytes ? static_cast<const char*>(memchr(aBytes, 0, locCount)) : nullptr;
    if (!locNul)
        return 0;
    int64_t locId = 0;
    for (const char* locAt = locNul + 1; locAt < aBytes + locCount && *locAt; ++locAt)
    {
        // No leading zero: one number has one spelling.
        if (*locAt < '0' || *locAt > '9' || (locId == 0 && *locAt == '0'))
            return 0;
        locId = locId * 10 + (*locAt - '0');
        if (locId > locMaxProcessId)
            return 0;
    }
    return locId;
}

void FileLocker::Priv_Hold(const std::string& aLock, uint64_t aDevice, uint64_t anInode, int64_t aStaleProcess)
{
    myHeldLock = aLock;
    myHeldDevice = aDevice;
    myHeldInode = anInode;
    myRefusedLock.clear();
    if (aStaleProcess != 0)
        myNotes.push_back("Lock file '" + aLock + "' was left by a program that is no longer running (process " +
                          std::to_string(aStaleProcess) + " on this computer): it is this editor's now");
}

bool FileLocker::Lock(const char* aPath, std::string* aMessage)
{
    Unlock();
    myNotes.clear();
    const std::string locPath = aPath ? aPath : "";
    const std::string locTarget = locResolveTarget(locPath.c_str());
    const std::string locLock = locLockOf(locTarget);
    const LockTake locTaken = locTake(locLock);
    if (locTaken.myError == EEXIST)
    {
        myRefusedLock = locLock;
        *aMessage = locRefusal(locPath, locLock, locTaken.myRead, "you won't be able to save any changes");
        return false;
    }
    if (locTaken.myError != 0)
    {
        myRefusedLock = locLock;
        *aMessage = "Failed to lock '" + locPath + "'";
        myNotes.push_back("Lock file '" + locLock + "' cannot be made (" + strerror(locTaken.myError) + "): '" +
                          locPath + "' is open without a lock");
        return false;
    }
    Priv_Hold(locLock, uint64_t(locTaken.myMade.st_dev), uint64_t(locTaken.myMade.st_ino),
              locTaken.myTakenOver ? locTaken.myRead.myProcessId : 0);

    // Hard links are other names of the file, with no lock of their own.
    struct stat locStat;
    if (stat(locTarget.c_str(), &locStat) == 0 && S_ISREG(locStat.st_mode) && locStat.st_nlink > 1)
        myNotes.push_back(
            "'" + locPath + "' has " + std::to_string(locStat.st_nlink) +
            " names (hard links): an editor that opens it by another name is not told of this lock");
    return true;
}

bool FileLocker::Priv_IsHeld(const std::string& aLock) const
{
    // The file this editor made, still holding its bytes: a lock deleted by
    // hand and made anew by another editor is that editor's.
    struct stat locStat;
    if (aLock != myHeldLock || lstat(aLock.c_str(), &locStat) != 0 ||
        uint64_t(locStat.st_dev) != myHeldDevice || uint64_t(locStat.st_ino) != myHeldInode)
        return false;
    LockRead locRead = locReadLock(aLock);
    return locRead.myOwner == GetComputerName() && locRead.myProcessId == getpid();
}

bool FileLocker::CanSave(const char* aPath, std::string* aMessage)
{
    myNotes.clear();
    const std::string locPath = aPath ? aPath : "";
    const std::string locLock = GetLockName(aPath);
    if (Priv_IsHeld(locLock))
        return true;
    LockRead locRead = locReadLock(locLock);
    if (locRead.myState != LOCK_NONE && locRead.myState != LOCK_STALE)
    {
        *aMessage = locRefusal(locPath, locLock, locRead, "you may not save to this filename");
        return false;
    }
    if (locLock != myRefusedLock)
        return true;
    // The open file, left unlocked when it was opened: its lock is taken first.
    const LockTake locTaken = locTake(locLock);
    if (locTaken.myError == 0)
    {
        Priv_Hold(locLock, uint64_t(locTaken.myMade.st_dev), uint64_t(locTaken.myMade.st_ino),
                  locTaken.myTakenOver ? locTaken.myRead.myProcessId : 0);
        return true;
    }
    if (locTaken.myError == EEXIST)
    {
        *aMessage = locRefusal(locPath, locLock, locTaken.myRead, "you may not save to this filename");
        return false;
    }
    // As where no lock exists: saved, and the console says it holds none.
    myNotes.push_back("Lock file '" + locLock + "' cannot be made (" + strerror(locTaken.myError) + "): '" + locPath +
                      "' is saved without a lock");
    return true;
}

void FileLocker::Unlock()
{
    if (Priv_IsHeld(myHeldLock))
        unlink(myHeldLock.c_str());
    myHeldLock.clear();
    myRefusedLock.clear();
}
