// The save-file helper against links, hard links, closed folders, read-only
// files, names in another case, disks that fill during an in-place save, leftovers
// of killed saves, paths that try to leave the folder they are saved under,
// in-place saves that overlap, and files another user plants to mislead it.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <csignal>
#include <cstring>
#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"
#include "platform/os/os_savefile_local.h"
#include "platform/os/tests/os_kill_points.h"

#include <zlib.h>

namespace fs = std::filesystem;

// The next flushes of a file's data that fail as a failing disk's would: the
// system reports such a failure once, to the first flush that meets it.
static std::atomic<int> ourDataFlushesToFail{0};

// Flushes of a file's data, counted.
static std::atomic<int> ourDataFlushes{0};

extern "C" int fdatasync(int aHandle)
{
    ++ourDataFlushes;
    if (ourDataFlushesToFail.load() > 0 && ourDataFlushesToFail.fetch_sub(1) > 0)
    {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fdatasync, aHandle));
}

// A disk that fails every write once this many more bytes are written (-1: never).
static std::atomic<int64_t> ourWritesLeft{-1};

// While set, flushes of folders and renames are noted in order.
static std::atomic<bool> ourTracing{false};
static std::vector<std::string> ourTrace;
// While set, the exchange-rename fails with this error (EINVAL, ENOSYS or
// EOPNOTSUPP where older kernels and some file systems have none).
static std::atomic<int> ourNoExchange{0};
// While set, the rename that never replaces fails with this error (EINVAL or
// ENOSYS where a file system or an older kernel has none).
static std::atomic<int> ourNoNoReplace{0};

// The next flushes of a whole file that fail as a failing disk's would, once
// as many more as ourFlushesToPass have passed.
static std::atomic<int> ourFlushesToFail{0};
static std::atomic<int> ourFlushesToPass{0};

extern "C" int fsync(int aHandle)
{
    OS_TestChange();
    if (ourFlushesToFail.load() > 0 && ourFlushesToPass.load() > 0)
        --ourFlushesToPass;
    else if (ourFlushesToFail.load() > 0 && ourFlushesToFail.fetch_sub(1) > 0)
    {
        errno = EIO;
        return -1;
    }
    struct stat locStat;
    if (ourTracing.load() && fstat(aHandle, &locStat) == 0 && S_ISDIR(locStat.st_mode))
        ourTrace.push_back("flush folder");
    return static_cast<int>(syscall(SYS_fsync, aHandle));
}

extern "C" int renameat2(int aFromDir, const char* aFrom, int aToDir, const char* aTo, unsigned int aFlags)
{
    OS_TestChange();
    if (ourNoExchange.load() && (aFlags & RENAME_EXCHANGE))
    {
        errno = ourNoExchange.load();
        return -1;
    }
    if (ourNoNoReplace.load() && (aFlags & RENAME_NOREPLACE))
    {
        errno = ourNoNoReplace.load();
        return -1;
    }
    if (ourTracing.load())
        ourTrace.push_back("rename");
    return static_cast<int>(syscall(SYS_renameat2, aFromDir, aFrom, aToDir, aTo, aFlags));
}

// The next plain renames that fail as on a failing disk.
static std::atomic<int> ourRenamesToFail{0};

extern "C" int renameat(int aFromDir, const char* aFrom, int aToDir, const char* aTo)
{
    OS_TestChange();
    if (ourRenamesToFail.load() > 0 && ourRenamesToFail.fetch_sub(1) > 0)
    {
        errno = EIO;
        return -1;
    }
    if (ourTracing.load())
        ourTrace.push_back("rename");
    return static_cast<int>(syscall(SYS_renameat, aFromDir, aFrom, aToDir, aTo));
}

// Writes to one file (by inode) that fail with ENOSPC once they pass a given
// offset, the bytes before it written, as on a disk that fills meanwhile.
static std::atomic<ino_t> ourFullInode{0};
static std::atomic<int64_t> ourFullAt{0};
// Writes to one file (by inode), counted.
static std::atomic<ino_t> ourWatchedInode{0};
static std::atomic<int> ourWatchedWrites{0};
// While set, writes to that file take a while each.
static std::atomic<bool> ourSlowWrites{false};

extern "C" ssize_t pwrite(int aHandle, const void* aData, size_t aCount, off_t anOffset)
{
    OS_TestChange();
    const int64_t locLeft = ourWritesLeft.load();
    if (locLeft == 0)
    {
        errno = EIO;
        return -1;
    }
    if (locLeft > 0)
    {
        aCount = size_t(std::min<int64_t>(int64_t(aCount), locLeft));
        ourWritesLeft = locLeft - int64_t(aCount);
    }
    struct stat locStat;
    const ino_t locInode = ourFullInode.load();
    if (locInode && fstat(aHandle, &locStat) == 0 && locStat.st_ino == locInode &&
        anOffset + int64_t(aCount) > ourFullAt.load())
    {
        if (anOffset < ourFullAt.load())
            aCount = size_t(ourFullAt.load() - anOffset);
        else
        {
            ourFullInode = 0;
            errno = ENOSPC;
            return -1;
        }
    }
    struct stat locWatched;
    if (ourWatchedInode.load() && fstat(aHandle, &locWatched) == 0 && locWatched.st_ino == ourWatchedInode.load())
    {
        // A slow shared drive, for saves that overlap.
        if (ourSlowWrites.load())
            usleep(20000);
        ++ourWatchedWrites;
        if (ourTracing.load() && (ourTrace.empty() || ourTrace.back() != "write target"))
            ourTrace.push_back("write target");
    }
    return static_cast<ssize_t>(syscall(SYS_pwrite64, aHandle, aData, aCount, anOffset));
}

// A file (by inode) that another program cuts to a given size just before this
// one first reads it: a copy of it ends early.
static std::atomic<ino_t> ourShrinkInode{0};
static std::atomic<int64_t> ourShrinkTo{0};
// The next read that fails as on a failing disk, once as many as
// ourReadsToPass have passed (-1: none).
static std::atomic<int> ourReadsToPass{-1};

extern "C" ssize_t pread(int aHandle, void* aData, size_t aCount, off_t anOffset)
{
    if (ourReadsToPass.load() >= 0 && ourReadsToPass.fetch_sub(1) == 0)
    {
        errno = EIO;
        return -1;
    }
    struct stat locStat;
    const ino_t locInode = ourShrinkInode.load();
    if (locInode && fstat(aHandle, &locStat) == 0 && locStat.st_ino == locInode)
    {
        ourShrinkInode = 0;
        syscall(SYS_ftruncate, aHandle, ourShrinkTo.load());
    }
    return static_cast<ssize_t>(syscall(SYS_pread64, aHandle, aData, aCount, anOffset));
}

// While set, the system has no unnamed files (as some file systems have none).
static std::atomic<bool> ourNoUnnamedFiles{false};
// The open that gets handle 0, as in a program started without a standard
// input, once as many as this have passed (-1: none).
static std::atomic<int> ourOpensBeforeZero{-1};

static int locMaybeZero(int aHandle)
{
    if (aHandle <= 0 || ourOpensBeforeZero.load() < 0 || ourOpensBeforeZero.fetch_sub(1) != 0)
        return aHandle;
    dup2(aHandle, 0);
    syscall(SYS_close, aHandle);
    return 0;
}

extern "C" int openat(int aDir, const char* aPath, int aFlags, ...)
{
    mode_t locMode = 0;
    if ((aFlags & O_CREAT) || (aFlags & O_TMPFILE) == O_TMPFILE)
    {
        va_list locArgs;
        va_start(locArgs, aFlags);
        locMode = mode_t(va_arg(locArgs, int));
        va_end(locArgs);
    }
    return locMaybeZero(static_cast<int>(syscall(SYS_openat, aDir, aPath, aFlags, locMode)));
}

extern "C" int open(const char* aPath, int aFlags, ...)
{
    mode_t locMode = 0;
    if ((aFlags & O_CREAT) || (aFlags & O_TMPFILE) == O_TMPFILE)
    {
        va_list locArgs;
        va_start(locArgs, aFlags);
        locMode = mode_t(va_arg(locArgs, int));
        va_end(locArgs);
    }
    if (ourNoUnnamedFiles.load() && (aFlags & O_TMPFILE) == O_TMPFILE)
    {
        errno = EOPNOTSUPP;
        return -1;
    }
    return locMaybeZero(static_cast<int>(syscall(SYS_openat, AT_FDCWD, aPath, aFlags, locMode)));
}

// The close of one file (by inode) reports a write error, as a network file
// system reports there what it could not write; the handle goes all the same.
static std::atomic<ino_t> ourCloseFailInode{0};

extern "C" int close(int aHandle)
{
    struct stat locStat;
    const ino_t locInode = ourCloseFailInode.load();
    const bool locFail = locInode && fstat(aHandle, &locStat) == 0 && locStat.st_ino == locInode;
    const int locResult = static_cast<int>(syscall(SYS_close, aHandle));
    if (!locFail)
        return locResult;
    ourCloseFailInode = 0;
    errno = EIO;
    return -1;
}

namespace
{
// Whether a save under way rewrites its target in place: no temporary file
// of it stands beside the target, and its new content goes into a backup
// being written in the user's data folder.
bool InPlace(const OS_SaveFile& aSave)
{
    const char* locHome = getenv("XDG_DATA_HOME");
    std::error_code locError;
    bool locBackup = false;
    for (const fs::directory_entry& locEntry : fs::directory_iterator(fs::path(locHome ? locHome : "") / "qtools", locError))
        locBackup = locBackup || locEntry.path().extension() == ".tmp";
    return aSave.GetTempPath() == nullptr && locBackup;
}

class OSSaveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir / "base");
        fs::create_directories(myDir / "outside");
        myBase = (myDir / "base").string();
        // Backups and records of in-place saves go here, not to the user's home.
        fs::create_directories(myDir / "data");
        setenv("XDG_DATA_HOME", (myDir / "data").c_str(), 1);
    }

    void TearDown() override
    {
        // A test may leave a folder closed.
        fs::permissions(myDir, fs::perms::all, fs::perm_options::add);
    }

    static void WriteDisk(const fs::path& aPath, const std::string& aText)
    {
        fs::create_directories(aPath.parent_path());
        std::ofstream(aPath, std::ios::binary) << aText;
    }

    // base/level.velk holding aText, with a second name outside/twin.velk:
    // a file its saves rewrite in place.
    fs::path MakeHardLinked(const std::string& aText)
    {
        const fs::path locFile = myDir / "base" / "level.velk";
        fs::remove(myDir / "outside" / "twin.velk");
        WriteDisk(locFile, aText);
        fs::create_hard_link(locFile, myDir / "outside" / "twin.velk");
        return locFile;
    }

    static std::string ReadDisk(const fs::path& aPath)
    {
        std::ifstream locIn(aPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(locIn), {});
    }

    static std::set<std::string> Names(const fs::path& aDir)
    {
        std::set<std::string> locNames;
        for (const fs::directory_entry& locEntry : fs::directory_iterator(aDir))
            locNames.insert(locEntry.path().filename().string());
        return locNames;
    }

    static bool Save(const fs::path& aTarget, const std::string& aText)
    {
        OS_SaveFile locSave;
        return locSave.Begin(aTarget.string().c_str()) && locSave.Write(aText.data(), aText.size()) && locSave.Commit();
    }

    // Saves beneath the base folder; the errno of the failure, 0 on success.
    int SaveBeneath(const char* aRelative, const std::string& aText)
    {
        OS_SaveFile locSave;
        if (locSave.BeginBeneath(myBase.c_str(), aRelative) && locSave.Write(aText.data(), aText.size()) &&
            locSave.Commit())
            return 0;
        return locSave.GetError() ? locSave.GetError() : -1;
    }

    static std::string Text(size_t aSize, char aFirst)
    {
        std::string locText(aSize, 0);
        for (size_t i = 0; i < aSize; ++i)
            locText[i] = char(aFirst + i % 23);
        return locText;
    }

    fs::path myDir;
    std::string myBase;
};
}

TEST_F(OSSaveTest, DevicesAndPipesAreNotReplaced)
{
    const fs::path locPipe = myDir / "pipe";
    ASSERT_EQ(0, mkfifo(locPipe.c_str(), 0600));
    OS_SaveFile locSave;
    EXPECT_FALSE(locSave.Begin(locPipe.string().c_str()));
    EXPECT_EQ(EINVAL, locSave.GetError());
    EXPECT_TRUE(fs::is_fifo(locPipe));
    EXPECT_EQ(std::set<std::string>({"base", "data", "outside", "pipe"}), Names(myDir));
}

TEST_F(OSSaveTest, LinksAreFollowedAndKept)
{
    WriteDisk(myDir / "real" / "target.txt", "old");
    fs::permissions(myDir / "real" / "target.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("../real/target.txt", myDir / "base" / "link.txt");
    fs::create_symlink("link.txt", myDir / "base" / "chain.txt");
    ASSERT_TRUE(Save(myDir / "base" / "chain.txt", "new"));
    EXPECT_TRUE(fs::is_symlink(myDir / "base" / "link.txt"));
    EXPECT_TRUE(fs::is_symlink(myDir / "base" / "chain.txt"));
    EXPECT_EQ(ReadDisk(myDir / "real" / "target.txt"), "new");
    EXPECT_EQ(fs::status(myDir / "real" / "target.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Names(myDir / "real"), std::set<std::string>{"target.txt"});

    // A dangling link gets its target made, however short its name; a loop
    // of links is refused.
    fs::create_symlink("made.txt", myDir / "base" / "dangling.txt");
    ASSERT_TRUE(Save(myDir / "base" / "dangling.txt", "made"));
    EXPECT_EQ(ReadDisk(myDir / "base" / "made.txt"), "made");
    fs::create_symlink("m", myDir / "base" / "short.txt");
    ASSERT_TRUE(Save(myDir / "base" / "short.txt", "short"));
    EXPECT_EQ(ReadDisk(myDir / "base" / "m"), "short");
    fs::create_symlink("loop2", myDir / "base" / "loop1");
    fs::create_symlink("loop1", myDir / "base" / "loop2");
    OS_SaveFile locLoop;
    EXPECT_FALSE(locLoop.Begin((myDir / "base" / "loop1").string().c_str()));
    EXPECT_EQ(locLoop.GetError(), ELOOP);
}

TEST_F(OSSaveTest, HardLinkedFilesAreRewrittenInPlace)
{
    WriteDisk(myDir / "base" / "a.txt", "a long old text");
    fs::create_hard_link(myDir / "base" / "a.txt", myDir / "outside" / "b.txt");
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin((myDir / "base" / "a.txt").string().c_str()));
    EXPECT_TRUE(InPlace(locSave));
    ASSERT_TRUE(locSave.Write("short", 5));
    EXPECT_EQ(ReadDisk(myDir / "base" / "a.txt"), "a long old text");   // nothing before the commit
    ASSERT_TRUE(locSave.Commit());
    EXPECT_EQ(ReadDisk(myDir / "outside" / "b.txt"), "short");
    EXPECT_EQ(fs::hard_link_count(myDir / "base" / "a.txt"), 2u);
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"a.txt"});

    // An abandoned in-place save changes nothing.
    OS_SaveFile locAbandoned;
    ASSERT_TRUE(locAbandoned.Begin((myDir / "base" / "a.txt").string().c_str()));
    locAbandoned.Write("gone", 4);
    locAbandoned.Abandon();
    EXPECT_EQ(ReadDisk(myDir / "base" / "a.txt"), "short");
}

namespace
{
int OpenHandleCount();
}

TEST_F(OSSaveTest, FileInAClosedFolderIsRewrittenInPlace)
{
    // Run as another user where the tests run as root, since root writes anywhere.
    const fs::path locFile = myDir / "base" / "own.txt";
    WriteDisk(locFile, "old contents");
    uid_t locUser = geteuid() == 0 ? 65534 : geteuid();
    if (geteuid() == 0)
    {
        ASSERT_EQ(chown(locFile.c_str(), locUser, locUser), 0);
        ASSERT_EQ(chown(myDir.c_str(), locUser, locUser), 0);   // so the child can reach it
        ASSERT_EQ(chown((myDir / "data").c_str(), locUser, locUser), 0);
    }
    fs::permissions(myDir / "base", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    pid_t locChild = fork();
    if (locChild == 0)
    {
        if (geteuid() == 0 && (setgid(locUser) != 0 || setuid(locUser) != 0))
            _exit(3);
        // Without a per-user folder either, there is no place for the old
        // content: the save is refused and the file stays as it is.
        const std::string locDataHome = getenv("XDG_DATA_HOME");
        unsetenv("XDG_DATA_HOME");
        setenv("HOME", "/nonexistent", 1);
        const int locHandles = OpenHandleCount();
        OS_SaveFile locNowhere;
        const bool locKept = !locNowhere.Begin(locFile.c_str()) && locNowhere.GetError() != 0 &&
                             OpenHandleCount() == locHandles;
        setenv("XDG_DATA_HOME", locDataHome.c_str(), 1);
        // Nor where the per-user folder takes no file: refused, nothing kept open.
        const fs::path locRecords = fs::path(locDataHome) / "qtools";
        fs::create_directories(locRecords);
        fs::permissions(locRecords, fs::perms::owner_read | fs::perms::owner_exec);
        OS_SaveFile locFull;
        const bool locRefusedThere = !locFull.Begin(locFile.c_str()) && locFull.GetError() == EACCES &&
                                     OpenHandleCount() == locHandles;
        fs::permissions(locRecords, fs::perms::owner_all);
        OS_SaveFile locSave;
        bool locBegun = locSave.Begin(locFile.c_str());
        bool locDone = locBegun && InPlace(locSave) && locSave.Write("new", 3) && locSave.Commit();
        locSave.Abandon();
        const bool locClosed = OpenHandleCount() == locHandles;
        OS_SaveFile locNew;   // a new file cannot be made there at all
        bool locRefused = !locNew.Begin((myDir / "base" / "new.txt").c_str()) && locNew.GetError() == EACCES;
        _exit(!locKept ? 4 : !locClosed ? 5 : !locRefusedThere ? 6 : locDone && locRefused ? 0 : 1);
    }
    int locStatus = 0;
    ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
    fs::permissions(myDir / "base", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0) << locStatus;
    EXPECT_EQ(ReadDisk(locFile), "new");
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"own.txt"});
    // The backup went to the per-user folder, and went once the save stood.
    EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
}

TEST_F(OSSaveTest, TemporaryFilesOfDeadSavesAreRemoved)
{
    // A process that has ended leaves its pid free.
    pid_t locDead = fork();
    if (locDead == 0)
        _exit(0);
    waitpid(locDead, nullptr, 0);
    const std::string locDeadTemp = ".t.txt." + std::to_string(locDead) + "-7.tmp";
    const std::string locLiveTemp = ".t.txt." + std::to_string(getppid()) + "-1.tmp";
    WriteDisk(myDir / "base" / locDeadTemp, "left by a killed save");
    WriteDisk(myDir / "base" / locLiveTemp, "a save still running");
    WriteDisk(myDir / "base" / ".other.txt.1-1.tmp", "another file's");
    WriteDisk(myDir / "base" / ".t.txt.notes", "not a temporary file");
    ASSERT_TRUE(Save(myDir / "base" / "t.txt", "saved"));
    EXPECT_EQ(Names(myDir / "base"),
              (std::set<std::string>{"t.txt", locLiveTemp, ".other.txt.1-1.tmp", ".t.txt.notes"}));

    // Saving beneath a folder cleans the same way.
    WriteDisk(myDir / "base" / locDeadTemp, "again");
    EXPECT_EQ(SaveBeneath("t.txt", "beneath"), 0);
    EXPECT_FALSE(fs::exists(myDir / "base" / locDeadTemp));
}

TEST_F(OSSaveTest, SavingBeneathAFolderNeverPassesALink)
{
    WriteDisk(myDir / "outside" / "victim.txt", "untouched");
    fs::create_symlink("../outside", myDir / "base" / "link");
    fs::create_symlink("../outside", myDir / "base" / "LINK2");
    fs::create_symlink("../outside/nothing.txt", myDir / "base" / "dangling.txt");
    fs::create_symlink("../outside/victim.txt", myDir / "base" / "file-link.txt");

    EXPECT_EQ(SaveBeneath("link/victim.txt", "x"), ELOOP);
    EXPECT_EQ(SaveBeneath("link/new/deep.txt", "x"), ELOOP);
    EXPECT_EQ(SaveBeneath("link2/victim.txt", "x"), ELOOP);   // found without regard to case, still a link
    EXPECT_EQ(SaveBeneath("dangling.txt", "x"), ELOOP);
    EXPECT_EQ(SaveBeneath("file-link.txt", "x"), ELOOP);
    EXPECT_EQ(ReadDisk(myDir / "outside" / "victim.txt"), "untouched");
    EXPECT_EQ(Names(myDir / "outside"), std::set<std::string>{"victim.txt"});
    EXPECT_TRUE(fs::is_symlink(myDir / "base" / "file-link.txt"));

    // Folders are made as needed and found without regard to case.
    EXPECT_EQ(SaveBeneath("Data/Sub/one.txt", "1"), 0);
    EXPECT_EQ(SaveBeneath("data\\SUB\\two.txt", "2"), 0);
    EXPECT_EQ(SaveBeneath("DATA/sub/ONE.TXT", "one"), 0);
    EXPECT_EQ(Names(myDir / "base" / "Data" / "Sub"), (std::set<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(ReadDisk(myDir / "base" / "Data" / "Sub" / "one.txt"), "one");
    // A folder where the file should be, or a file where a folder should be.
    EXPECT_EQ(SaveBeneath("Data", "x"), EISDIR);
    EXPECT_EQ(SaveBeneath("Data/Sub/one.txt/x", "x"), ELOOP);
}

TEST_F(OSSaveTest, SavingBeneathAFolderRefusesPathsThatLeaveIt)
{
    for (const char* locPath : {"../outside/x.txt", "a/../../outside/x.txt", "a/..", "a/./b.txt", "/etc/x",
                                "\\x.txt", "a\\..\\..\\x.txt", "c:/x.txt", "C:x.txt", "a//b.txt", "a/", "", "."})
        EXPECT_EQ(SaveBeneath(locPath, "x"), EINVAL) << locPath;
    EXPECT_EQ(Names(myDir / "outside"), std::set<std::string>{});
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{});
    // Dots inside a name are only a name.
    EXPECT_EQ(SaveBeneath("a..b/..c", "x"), 0);
    EXPECT_EQ(ReadDisk(myDir / "base" / "a..b" / "..c"), "x");
}

TEST_F(OSSaveTest, ListingsBehindTheSearchWithoutCaseSeeOtherWriters)
{
    // Looked up while missing, then made by someone else at once, in the same
    // tick of the clock, then after it: each lookup sees the folder as it is.
    const std::string locBase = myBase;
    char locResolved[4096];
    ASSERT_TRUE(OS_ResolvePath((locBase + "/NEW.TXT").c_str(), locResolved, sizeof(locResolved)));
    EXPECT_EQ(std::string(locResolved), locBase + "/NEW.TXT");
    WriteDisk(myDir / "base" / "new.txt", "made elsewhere");
    ASSERT_TRUE(OS_ResolvePath((locBase + "/NEW.TXT").c_str(), locResolved, sizeof(locResolved)));
    EXPECT_EQ(std::string(locResolved), locBase + "/new.txt");
    usleep(150000);
    ASSERT_TRUE(OS_ResolvePath((locBase + "/OTHER.TXT").c_str(), locResolved, sizeof(locResolved)));
    WriteDisk(myDir / "base" / "Other.txt", "made later");
    ASSERT_TRUE(OS_ResolvePath((locBase + "/OTHER.TXT").c_str(), locResolved, sizeof(locResolved)));
    EXPECT_EQ(std::string(locResolved), locBase + "/Other.txt");
    fs::remove(myDir / "base" / "Other.txt");
    ASSERT_TRUE(OS_ResolvePath((locBase + "/OTHER.TXT").c_str(), locResolved, sizeof(locResolved)));
    EXPECT_EQ(std::string(locResolved), locBase + "/OTHER.TXT");

    // Saves beneath the folder keep the listing current themselves.
    EXPECT_EQ(SaveBeneath("Saved.txt", "1"), 0);
    EXPECT_EQ(SaveBeneath("SAVED.TXT", "2"), 0);
    EXPECT_EQ(ReadDisk(myDir / "base" / "Saved.txt"), "2");
    WriteDisk(myDir / "base" / "Third.txt", "3");
    EXPECT_EQ(SaveBeneath("third.TXT", "three"), 0);
    EXPECT_EQ(ReadDisk(myDir / "base" / "Third.txt"), "three");
    EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"new.txt", "Saved.txt", "Third.txt"}));
}

namespace
{
int OpenHandleCount()
{
    int locCount = 0;
    for ([[maybe_unused]] const fs::directory_entry& locEntry : fs::directory_iterator("/proc/self/fd"))
        ++locCount;
    return locCount;
}
}

TEST_F(OSSaveTest, EveryWayASaveEndsClosesWhatItOpened)
{
    WriteDisk(myDir / "base" / "old.txt", "old");
    fs::permissions(myDir / "base" / "old.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_hard_link(myDir / "base" / "old.txt", myDir / "outside" / "twin.txt");
    fs::create_symlink("../outside", myDir / "base" / "link");
    fs::create_directories(myDir / "base" / "folder");
    const int locBefore = OpenHandleCount();
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(Save(myDir / "base" / "new.txt", "new"));
        EXPECT_TRUE(Save(myDir / "base" / "old.txt", "in place"));   // hard-linked
        EXPECT_FALSE(Save(myDir / "base" / "folder", "x"));
        {
            OS_SaveFile locAbandoned;
            EXPECT_TRUE(locAbandoned.Begin((myDir / "base" / "new.txt").c_str()));
            EXPECT_TRUE(locAbandoned.Flush());
        }
        EXPECT_EQ(SaveBeneath("sub/made.txt", "m"), 0);
        EXPECT_EQ(SaveBeneath("link/x.txt", "x"), ELOOP);
        EXPECT_EQ(SaveBeneath("link", "x"), ELOOP);
        EXPECT_EQ(SaveBeneath("folder", "x"), EISDIR);
        EXPECT_EQ(SaveBeneath("../x", "x"), EINVAL);
    }
    EXPECT_EQ(OpenHandleCount(), locBefore);
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.txt"), "in place");
    EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"new.txt", "old.txt", "link", "folder", "sub"}));

    // A folder that does not exist, or none at all, is no base.
    OS_SaveFile locSave;
    EXPECT_FALSE(locSave.BeginBeneath((myDir / "missing").c_str(), "x.txt"));
    EXPECT_EQ(locSave.GetError(), ENOENT);
    EXPECT_FALSE(locSave.BeginBeneath(nullptr, "x.txt"));
    EXPECT_FALSE(locSave.BeginBeneath(myBase.c_str(), nullptr));
}

TEST_F(OSSaveTest, ModesAndLongNamesSurviveSavesBeneath)
{
    const mode_t locMask = umask(022);
    EXPECT_EQ(SaveBeneath("fresh.txt", "f"), 0);
    EXPECT_EQ(fs::status(myDir / "base" / "fresh.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    WriteDisk(myDir / "base" / "private.txt", "p");
    fs::permissions(myDir / "base" / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(SaveBeneath("private.txt", "still private"), 0);
    EXPECT_EQ(fs::status(myDir / "base" / "private.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    umask(locMask);

    // A name of 250 characters leaves no room for ".<name>.<pid>-<n>.tmp" whole.
    const std::string locLong(250, 'L');
    EXPECT_EQ(SaveBeneath(locLong.c_str(), "long"), 0);
    EXPECT_TRUE(Save(myDir / "base" / locLong, "longer"));
    EXPECT_EQ(ReadDisk(myDir / "base" / locLong), "longer");
    EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"fresh.txt", "private.txt", locLong}));
}

TEST_F(OSSaveTest, ReadOnlyFilesAreNotReplaced)
{
    // The tests run as root, who may write anything: the mode decides, as
    // Windows' read-only attribute would.
    WriteDisk(myDir / "base" / "locked.txt", "locked");
    fs::permissions(myDir / "base" / "locked.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    WriteDisk(myDir / "base" / "group.txt", "group");
    fs::permissions(myDir / "base" / "group.txt", fs::perms::owner_read | fs::perms::group_write);
    for (const char* locName : {"locked.txt", "group.txt", "LOCKED.TXT"})
    {
        OS_SaveFile locSave;
        EXPECT_FALSE(locSave.Begin((myDir / "base" / locName).c_str())) << locName;
        EXPECT_EQ(locSave.GetError(), EACCES);
        EXPECT_EQ(SaveBeneath(locName, "x"), EACCES);
    }
    // Nor through a link, nor rewritten in place.
    fs::create_symlink("base/locked.txt", myDir / "link.txt");
    EXPECT_FALSE(Save(myDir / "link.txt", "x"));
    fs::create_hard_link(myDir / "base" / "locked.txt", myDir / "outside" / "twin.txt");
    EXPECT_FALSE(Save(myDir / "outside" / "twin.txt", "x"));
    EXPECT_EQ(ReadDisk(myDir / "base" / "locked.txt"), "locked");
    EXPECT_EQ(ReadDisk(myDir / "base" / "group.txt"), "group");
    EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"locked.txt", "group.txt"}));

    // Another user may not write a file only its owner may.
    WriteDisk(myDir / "base" / "rootonly.txt", "root");
    fs::permissions(myDir / "base" / "rootonly.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    if (geteuid() == 0)
    {
        pid_t locChild = fork();
        if (locChild == 0)
        {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
            OS_SaveFile locSave;
            _exit(!locSave.Begin((myDir / "base" / "rootonly.txt").c_str()) && locSave.GetError() == EACCES ? 0 : 1);
        }
        int locStatus = 0;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0) << locStatus;
        EXPECT_TRUE(Save(myDir / "base" / "rootonly.txt", "root's own"));
    }
}

TEST_F(OSSaveTest, NamesInAnotherCaseReplaceTheFileThatExists)
{
    WriteDisk(myDir / "base" / "tower.qre", "old");
    fs::permissions(myDir / "base" / "tower.qre", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(Save(myDir / "base" / "TOWER.QRE", "new"));
    EXPECT_EQ(ReadDisk(myDir / "base" / "tower.qre"), "new");
    EXPECT_EQ(fs::status(myDir / "base" / "tower.qre").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(SaveBeneath("Tower.Qre", "beneath"), 0);
    EXPECT_EQ(ReadDisk(myDir / "base" / "tower.qre"), "beneath");
    // A new file gets the name given.
    ASSERT_TRUE(Save(myDir / "base" / "NEW.QRE", "made"));
    EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"tower.qre", "NEW.QRE"}));

    // A link whose target is named in another case reaches the file that exists.
    WriteDisk(myDir / "outside" / "target.txt", "old");
    fs::create_symlink("../outside/Target.TXT", myDir / "base" / "link.txt");
    ASSERT_TRUE(Save(myDir / "base" / "link.txt", "through"));
    EXPECT_TRUE(fs::is_symlink(myDir / "base" / "link.txt"));
    EXPECT_EQ(ReadDisk(myDir / "outside" / "target.txt"), "through");
    EXPECT_EQ(Names(myDir / "outside"), std::set<std::string>{"target.txt"});
}

TEST_F(OSSaveTest, AnInPlaceSaveThatFailsHalfWayPutsTheOldBytesBack)
{
    const fs::path locFile = myDir / "base" / "level.velk";
    const std::string locOld = Text(150000, 'a');
    MakeHardLinked(locOld);
    struct stat locStat;
    ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
    // Longer and shorter than the old text: its tail must not stay behind.
    for (size_t locNewSize : {size_t(233698), size_t(90000)})
    {
        SCOPED_TRACE(locNewSize);
        const std::string locNew = Text(locNewSize, 'A');
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()));
        ASSERT_TRUE(InPlace(locSave));
        ASSERT_TRUE(locSave.Write(locNew.data(), locNew.size()));
        ourFullAt = 70000;
        ourFullInode = locStat.st_ino;
        EXPECT_FALSE(locSave.Commit());
        EXPECT_EQ(ourFullInode.load(), ino_t(0));   // the failure did happen
        ourFullInode = 0;
        EXPECT_EQ(locSave.GetError(), ENOSPC);
        EXPECT_TRUE(ReadDisk(locFile) == locOld);
        EXPECT_EQ(fs::hard_link_count(locFile), 2u);
    }
    ASSERT_TRUE(Save(locFile, "whole"));
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.velk"), "whole");
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
}

TEST_F(OSSaveTest, AnInPlaceSaveWithoutRoomForItsSizeChangesNothing)
{
    // A small file system of its own, so that it can fill up.
    const fs::path locSmall = myDir / "small";
    fs::create_directories(locSmall);
    if (mount("tmpfs", locSmall.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    struct Unmount
    {
        const fs::path& myPath;
        ~Unmount() { umount2(myPath.c_str(), MNT_DETACH); }
    } locUnmount{locSmall};
    const std::string locOld = Text(100000, 'a');
    WriteDisk(locSmall / "level.velk", locOld);
    fs::create_hard_link(locSmall / "level.velk", locSmall / "twin.velk");
    const std::string locNew = Text(400000, 'A');
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin((locSmall / "level.velk").c_str()));
    ASSERT_TRUE(InPlace(locSave));
    ASSERT_TRUE(locSave.Write(locNew.data(), locNew.size()));
    // Refused before the first byte of the file changes, not put back after.
    ourWatchedWrites = 0;
    struct stat locStat;
    ASSERT_EQ(stat((locSmall / "level.velk").c_str(), &locStat), 0);
    ourWatchedInode = locStat.st_ino;
    EXPECT_FALSE(locSave.Commit());
    ourWatchedInode = 0;
    EXPECT_EQ(ourWatchedWrites.load(), 0);
    EXPECT_EQ(locSave.GetError(), ENOSPC);
    EXPECT_TRUE(ReadDisk(locSmall / "level.velk") == locOld);
    EXPECT_EQ(fs::file_size(locSmall / "level.velk"), locOld.size());
    // What fits is written.
    const std::string locFits = Text(120000, 'B');
    ASSERT_TRUE(Save(locSmall / "level.velk", locFits));
    EXPECT_TRUE(ReadDisk(locSmall / "twin.velk") == locFits);
    // Nothing to reserve for an empty file.
    ASSERT_TRUE(Save(locSmall / "level.velk", ""));
    EXPECT_EQ(fs::file_size(locSmall / "twin.velk"), 0u);
}

TEST_F(OSSaveTest, AKeptOldFileGoesBackOrIsDropped)
{
    const fs::path locFile = myDir / "base" / "pair.loc";
    const fs::path locLinked = myDir / "base" / "linked.loc";
    const fs::path locNone = myDir / "base" / "none.loc";
    WriteDisk(locFile, "old");
    fs::permissions(locFile, fs::perms::owner_read | fs::perms::owner_write);
    WriteDisk(locLinked, "old linked text");
    fs::create_hard_link(locLinked, myDir / "outside" / "twin.loc");
    for (int locRestoreFlag = 1; locRestoreFlag >= 0; --locRestoreFlag)
    {
        SCOPED_TRACE(locRestoreFlag ? "restored" : "dropped");
        for (const fs::path& locPath : {locFile, locLinked, locNone})
        {
            OS_SaveFile locSave;
            ASSERT_TRUE(locSave.Begin(locPath.c_str()));
            ASSERT_TRUE(locSave.Write("new", 3));
            ASSERT_TRUE(locSave.CommitKeepingOld());
            EXPECT_EQ(ReadDisk(locPath), "new");
            if (locRestoreFlag)
                EXPECT_TRUE(locSave.Restore());
            else
                locSave.Abandon();
        }
        if (locRestoreFlag)
        {
            EXPECT_EQ(ReadDisk(locFile), "old");
            EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.loc"), "old linked text");
            EXPECT_FALSE(fs::exists(locNone));
            EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"pair.loc", "linked.loc"}));
        }
    }
    EXPECT_EQ(ReadDisk(locFile), "new");
    EXPECT_EQ(fs::status(locFile).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.loc"), "new");
    EXPECT_EQ(fs::hard_link_count(locLinked), 2u);
    EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"pair.loc", "linked.loc", "none.loc"}));
}

namespace
{
// What a file holds when read through the file layer, which first undoes or
// drops an in-place save that a kill stopped.
std::string ReadThroughLayer(const fs::path& aPath)
{
    OS_FileHandle locHandle = OS_OpenFile(aPath.c_str(), OS_OPEN_READ);
    if (locHandle == OS_INVALID_HANDLE)
        return "<cannot open>";
    std::string locText;
    char locBuffer[65536];
    for (int64_t locRead; (locRead = OS_ReadFile(locHandle, locBuffer, sizeof(locBuffer))) > 0;)
        locText.append(locBuffer, size_t(locRead));
    OS_CloseFile(locHandle);
    return locText;
}

// Opens aPath through the file layer in a child process (as another user
// where aUser is not -1), which recovers what a save of that user left.
void OpenAs(const fs::path& aPath, uid_t aUser)
{
    pid_t locChild = fork();
    if (locChild == 0)
    {
        if (aUser != uid_t(-1) && (setgid(aUser) != 0 || setuid(aUser) != 0))
            _exit(3);
        OS_FileHandle locHandle = OS_OpenFile(aPath.c_str(), OS_OPEN_READ);
        OS_CloseFile(locHandle);
        _exit(locHandle == OS_INVALID_HANDLE ? 1 : 0);
    }
    int locStatus = 0;
    waitpid(locChild, &locStatus, 0);
    EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0) << locStatus;
}

// Saves aText over aTarget in a child process killed at its Nth change to the
// disk (as another user where aUser is not -1); true when the kill landed.
bool SaveKilledAt(const fs::path& aTarget, const std::string& aText, int anAt, uid_t aUser)
{
    pid_t locChild = fork();
    if (locChild == 0)
    {
        if (aUser != uid_t(-1) && (setgid(aUser) != 0 || setuid(aUser) != 0))
            _exit(3);
        ourKillAtChange = anAt;
        OS_SaveFile locSave;
        const bool locSaved =
            locSave.Begin(aTarget.c_str()) && locSave.Write(aText.data(), aText.size()) && locSave.Commit();
        ourKillAtChange = 0;
        _exit(locSaved ? 0 : 1);
    }
    int locStatus = 0;
    waitpid(locChild, &locStatus, 0);
    if (WIFSIGNALED(locStatus) && WTERMSIG(locStatus) == SIGKILL)
        return true;
    EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0) << locStatus;
    return false;
}
}

TEST_F(OSSaveTest, AKillAnywhereInAnInPlaceSaveLeavesTheOldOrTheNewContent)
{
    // A hard-linked file, its other name in another folder; then a file in a
    // folder its user may not write (as an ordinary user where this runs as root).
    const fs::path locLinked = myDir / "base" / "level.velk";
    const fs::path locTwin = myDir / "outside" / "twin.velk";
    const fs::path locClosedDir = myDir / "closed";
    const fs::path locClosed = locClosedDir / "model.qre";
    const uid_t locUser = geteuid() == 0 ? 65534 : uid_t(-1);
    fs::create_directories(locClosedDir);
    if (locUser != uid_t(-1))
    {
        ASSERT_EQ(chown(myDir.c_str(), locUser, locUser), 0);
        ASSERT_EQ(chown((myDir / "data").c_str(), locUser, locUser), 0);
    }
    const std::string locOld = Text(300000, 'a');
    for (size_t locNewSize : {size_t(470000), size_t(120000)})
    {
        const std::string locNew = Text(locNewSize, 'A');
        for (int locCase = 0; locCase < 2; ++locCase)
        {
            SCOPED_TRACE(std::to_string(locNewSize) + (locCase ? " closed folder" : " hard link"));
            const fs::path locTarget = locCase ? locClosed : locLinked;
            fs::create_directories(myDir / "data" / "qtools");
            if (locUser != uid_t(-1))
            {
                ASSERT_EQ(chown((myDir / "data" / "qtools").c_str(), locCase ? locUser : 0, locCase ? locUser : 0), 0);
            }
            int locKills = 0;
            for (int locAt = 1; locAt < 200; ++locAt)
            {
                SCOPED_TRACE(locAt);
                fs::permissions(locClosedDir, fs::perms::owner_write, fs::perm_options::add);
                fs::remove(locTwin);
                WriteDisk(locTarget, locOld);
                if (locCase)
                {
                    if (locUser != uid_t(-1))
                    {
                        ASSERT_EQ(chown(locTarget.c_str(), locUser, locUser), 0);
                    }
                    fs::permissions(locClosedDir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                                    fs::perm_options::remove);
                }
                else
                    fs::create_hard_link(locTarget, locTwin);
                const bool locKilled = SaveKilledAt(locTarget, locNew, locAt, locCase ? locUser : uid_t(-1));
                // Opened again by either name, by the user who saved: the
                // whole old or the whole new content.
                const fs::path locReopened = !locCase && locAt % 2 ? locTwin : locTarget;
                OpenAs(locReopened, locCase ? locUser : uid_t(-1));
                const std::string locHeld = ReadDisk(locReopened);
                EXPECT_TRUE(locHeld == locOld || locHeld == locNew) << locHeld.size();
                EXPECT_TRUE(ReadDisk(locTarget) == locHeld);
                // No record is left; what a save killed before writing it
                // left is removed by the next save.
                if (fs::exists(myDir / "data" / "qtools"))
                {
                    for (const std::string& locName : Names(myDir / "data" / "qtools"))
                        EXPECT_FALSE(locName.size() > 5 && locName.substr(locName.size() - 5) == ".save") << locName;
                }
                if (!locKilled)
                {
                    EXPECT_TRUE(locHeld == locNew);
                    EXPECT_EQ(Names(locTarget.parent_path()), std::set<std::string>{locTarget.filename().string()});
                    if (fs::exists(myDir / "data" / "qtools"))
                    {
                        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
                    }
                    break;
                }
                ++locKills;
            }
            // Kills landed before, during and after the backup and the rewrite.
            EXPECT_GE(locKills, 8);
        }
    }
    fs::permissions(locClosedDir, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(OSSaveTest, ALastingWriteErrorKeepsTheOldContentInPlaceOrInTheNamedBackup)
{
    const fs::path locFile = myDir / "base" / "pack.sdf";
    const std::string locOld = Text(200000, 'a');
    const std::string locNew = Text(260000, 'A');
    int locKept = 0;
    // Every write fails from some byte on: while the old content goes into the
    // backup, the new after it, the header, the target, and the put-back.
    for (int64_t locLimit : {int64_t(0), int64_t(5000), int64_t(199999), int64_t(300000), int64_t(460100),
                             int64_t(600000), int64_t(719000), int64_t(720100)})
    {
        SCOPED_TRACE(locLimit);
        WriteDisk(locFile, locOld);
        fs::remove(myDir / "outside" / "twin.sdf");
        fs::create_hard_link(locFile, myDir / "outside" / "twin.sdf");
        OS_SaveFile locSave;
        ourWritesLeft = locLimit;
        ::testing::internal::CaptureStderr();
        const bool locSaved = locSave.Begin(locFile.c_str()) && locSave.Write(locNew.data(), locNew.size()) &&
                              locSave.Commit();
        locSave.Abandon();
        const std::string locMessage = ::testing::internal::GetCapturedStderr();
        ourWritesLeft = -1;
        EXPECT_FALSE(locSaved);
        EXPECT_EQ(locSave.GetError(), EIO);
        if (locSave.GetKeptPath())
        {
            // The message names the file and where its old content is kept.
            ++locKept;
            const std::string locKeptPath = locSave.GetKeptPath();
            EXPECT_TRUE(ReadDisk(locKeptPath).substr(0, locOld.size()) == locOld);
            EXPECT_NE(locMessage.find("'" + locFile.string() + "'"), std::string::npos) << locMessage;
            EXPECT_NE(locMessage.find("'" + locKeptPath + "'"), std::string::npos) << locMessage;
            // Once writes work again, the next open puts it back.
            EXPECT_TRUE(ReadThroughLayer(myDir / "outside" / "twin.sdf") == locOld);
            EXPECT_FALSE(fs::exists(locKeptPath));
        }
        else
            EXPECT_EQ(locMessage, "");
        EXPECT_TRUE(ReadDisk(locFile) == locOld);
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pack.sdf"});
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
    }
    EXPECT_GE(locKept, 2);
}

class OSWrittenSinceTest : public OSSaveTest, public ::testing::WithParamInterface<int>
{
};

INSTANTIATE_TEST_SUITE_P(Edits, OSWrittenSinceTest, ::testing::Range(0, 4));

TEST_P(OSWrittenSinceTest, ABackupIsNeverPutBackOverContentWrittenSince)
{
    const fs::path locFile = myDir / "base" / "level.velk";
    const std::string locOld = Text(100000, 'a');
    MakeHardLinked(locOld);
    // Killed while the new content is written: a mix of the two is left.
    int locAt = 1;
    std::string locMixed;
    for (; locAt < 100; ++locAt)
    {
        WriteDisk(locFile, locOld);
        ASSERT_TRUE(SaveKilledAt(locFile, Text(150000, 'A'), locAt, uid_t(-1)));
        locMixed = ReadDisk(locFile);
        if (locMixed != locOld && locMixed.compare(0, 5, "ABCDE") == 0)
            break;
    }
    ASSERT_NE(locMixed, locOld);
    // The user writes the file in place before any of ours opens it: other
    // bytes shorter than both, between the two sizes, or the old content
    // edited at its end, or the new one with a byte of the old in it.
    std::string locLater = Text(90000, 'k');
    if (GetParam() == 1)
        locLater = Text(120000, 'k');
    else if (GetParam() == 2)
        locLater = locOld.substr(0, 99990) + "edited";
    else if (GetParam() == 3)
        locLater = Text(150000, 'A').replace(500, 1, 1, locOld[500]);
    {
        std::ofstream locOut(myDir / "outside" / "twin.velk", std::ios::binary | std::ios::trunc);
        locOut << locLater;
    }
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(ReadThroughLayer(locFile) == locLater);
    const std::string locMessage = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(locMessage.find("written since"), std::string::npos) << locMessage;
    // The old content is not thrown away either, but kept under a name the
    // message gives, out of the records' names.
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
    const std::set<std::string> locLeft = Names(myDir / "data" / "qtools");
    ASSERT_EQ(locLeft.size(), 1u);
    EXPECT_EQ(fs::path(*locLeft.begin()).extension(), ".kept");
    EXPECT_TRUE(ReadDisk(myDir / "data" / "qtools" / *locLeft.begin()) == locOld);
    EXPECT_NE(locMessage.find(*locLeft.begin() + "'"), std::string::npos) << locMessage;
    EXPECT_TRUE(ReadThroughLayer(locFile) == locLater);
}

TEST_F(OSSaveTest, AnUnreadableRecordLeavesTheFileAlone)
{
    const fs::path locFile = myDir / "base" / "level.velk";
    WriteDisk(locFile, "as it is");
    struct stat locStat;
    ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
    fs::create_directories(myDir / "data" / "qtools");
    char locName[64];
    snprintf(locName, sizeof(locName), "%llx-%llx.save", (unsigned long long)locStat.st_dev,
             (unsigned long long)locStat.st_ino);
    WriteDisk(myDir / "data" / "qtools" / locName, "QSAVEREC garbage");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ReadThroughLayer(locFile), "as it is");
    const std::string locMessage = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(locMessage.find("cannot be read"), std::string::npos) << locMessage;
    EXPECT_TRUE(fs::exists(myDir / "data" / "qtools" / locName));
}

TEST_F(OSSaveTest, AFileSetAsideComesBackWhenTheSaveIsAbandoned)
{
    // Nothing begun: nothing to set aside. Rewritten in place: the file stays.
    OS_SaveFile locIdle;
    EXPECT_FALSE(locIdle.SetAside());
    EXPECT_EQ(locIdle.GetError(), EBADF);
    WriteDisk(myDir / "base" / "linked.tez", "old");
    fs::create_hard_link(myDir / "base" / "linked.tez", myDir / "outside" / "twin.tez");
    OS_SaveFile locInPlace;
    ASSERT_TRUE(locInPlace.Begin((myDir / "base" / "linked.tez").c_str()));
    ASSERT_TRUE(InPlace(locInPlace));
    EXPECT_TRUE(locInPlace.SetAside());
    EXPECT_EQ(ReadDisk(myDir / "base" / "linked.tez"), "old");
    locInPlace.Abandon();
    fs::remove(myDir / "base" / "linked.tez");

    const fs::path locFile = myDir / "base" / "pair.tez";
    for (int locCommitFlag = 0; locCommitFlag < 2; ++locCommitFlag)
    {
        SCOPED_TRACE(locCommitFlag ? "committed" : "abandoned");
        WriteDisk(locFile, "old");
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()));
        ASSERT_TRUE(locSave.Write("new", 3));
        ASSERT_TRUE(locSave.Flush());
        ASSERT_TRUE(locSave.SetAside());
        EXPECT_FALSE(fs::exists(locFile));
        if (locCommitFlag)
            EXPECT_TRUE(locSave.Commit());
        else
            locSave.Abandon();
        EXPECT_EQ(ReadDisk(locFile), locCommitFlag ? "new" : "old");
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pair.tez"});
    }
}

TEST_F(OSSaveTest, SavesUnderWayAtOnceHaveTemporaryFilesOfTheirOwn)
{
    const fs::path locFile = myDir / "base" / "level.velk";
    WriteDisk(locFile, "old");
    OS_SaveFile locFirst, locSecond;
    ASSERT_TRUE(locFirst.Begin(locFile.c_str()));
    ASSERT_TRUE(locSecond.Begin(locFile.c_str()));
    ASSERT_NE(locFirst.GetTempPath(), nullptr);
    ASSERT_NE(locSecond.GetTempPath(), nullptr);
    EXPECT_STRNE(locFirst.GetTempPath(), locSecond.GetTempPath());
    ASSERT_TRUE(locFirst.Write("first", 5));
    ASSERT_TRUE(locSecond.Write("second", 6));
    EXPECT_TRUE(locFirst.Commit());
    EXPECT_TRUE(locSecond.Commit());
    EXPECT_EQ(ReadDisk(locFile), "second");
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
}

TEST_F(OSSaveTest, LongNamesAndFilesOthersMayWriteAreReplaced)
{
    // The longest name a folder takes, saved by rename and in place.
    const fs::path locLong = myDir / "base" / std::string(255, 'n');
    ASSERT_TRUE(Save(locLong, "first"));
    fs::create_hard_link(locLong, myDir / "outside" / "twin");
    ASSERT_TRUE(Save(locLong, "second"));
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin"), "second");

    if (geteuid() != 0)
    {
        printf("another user's files: skipped, this test does not run as root\n");
        return;
    }
    // Root may write anything, yet another user's file that no one may
    // write is refused, as Windows' read-only attribute.
    const fs::path locReadOnly = myDir / "base" / "readonly.velk";
    WriteDisk(locReadOnly, "old");
    ASSERT_EQ(chown(locReadOnly.c_str(), 65534, 65534), 0);
    fs::permissions(locReadOnly, fs::perms(0444));
    OS_SaveFile locRefusedToRoot;
    EXPECT_FALSE(locRefusedToRoot.Begin(locReadOnly.c_str()));
    EXPECT_EQ(locRefusedToRoot.GetError(), EACCES);
    // Another user's file that this one may write through its group or
    // others' bits is saved; one it may only read is refused.
    const fs::path locShared = myDir / "base" / "shared.velk";
    const fs::path locClosed = myDir / "base" / "closed.velk";
    WriteDisk(locShared, "old");
    WriteDisk(locClosed, "old");
    fs::permissions(locShared, fs::perms(0606));
    fs::permissions(locClosed, fs::perms(0644));
    fs::permissions(myDir / "base", fs::perms(0777));
    ASSERT_EQ(chmod(myDir.c_str(), 0755), 0);
    pid_t locChild = fork();
    if (locChild == 0)
    {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        OS_SaveFile locRefused;
        const bool locRefusedRight = !locRefused.Begin(locClosed.c_str()) && locRefused.GetError() == EACCES;
        _exit(Save(locShared, "new") && locRefusedRight ? 0 : 1);
    }
    int locStatus = 0;
    ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
    EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0) << locStatus;
    EXPECT_EQ(ReadDisk(locShared), "new");
    EXPECT_EQ(ReadDisk(locClosed), "old");
}

TEST_F(OSSaveTest, ATemporaryFileThatCannotBeMadeFailsTheSave)
{
    // A file system without a free inode: the temporary file cannot be made,
    // and the save must not fall back to a rewrite in place.
    const fs::path locSmall = myDir / "small";
    fs::create_directories(locSmall);
    if (mount("tmpfs", locSmall.c_str(), "tmpfs", 0, "size=64k,nr_inodes=2") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    struct Unmount
    {
        const fs::path& myPath;
        ~Unmount() { umount2(myPath.c_str(), MNT_DETACH); }
    } locUnmount{locSmall};
    WriteDisk(locSmall / "level.velk", "old");
    ASSERT_TRUE(fs::exists(locSmall / "level.velk"));
    // Either way, nothing of the failed save stays open.
    const int locHandles = OpenHandleCount();
    OS_SaveFile locSave;
    EXPECT_FALSE(locSave.Begin((locSmall / "level.velk").c_str()));
    EXPECT_EQ(locSave.GetError(), ENOSPC);
    EXPECT_FALSE(InPlace(locSave));
    EXPECT_EQ(OpenHandleCount(), locHandles);
    OS_SaveFile locBeneath;
    EXPECT_FALSE(locBeneath.BeginBeneath(locSmall.c_str(), "level.velk"));
    EXPECT_EQ(locBeneath.GetError(), ENOSPC);
    EXPECT_FALSE(locBeneath.Write("x", 1));
    EXPECT_EQ(OpenHandleCount(), locHandles);
    EXPECT_EQ(ReadDisk(locSmall / "level.velk"), "old");
}

TEST_F(OSSaveTest, TheOldFileIsKeptWithoutTheExchangeRenameAndTheFolderIsFlushed)
{
    const fs::path locFile = myDir / "base" / "pair.loc";
    for (int locError : {EINVAL, ENOSYS, EOPNOTSUPP, EIO})
        for (int locRestoreFlag = 1; locRestoreFlag >= 0; --locRestoreFlag)
        {
            SCOPED_TRACE(std::string(strerror(locError)) + (locRestoreFlag ? ", restored" : ", dropped"));
            WriteDisk(locFile, "old");
            OS_SaveFile locSave;
            ASSERT_TRUE(locSave.Begin(locFile.c_str()));
            ASSERT_TRUE(locSave.Write("new", 3));
            ourNoExchange = locError;
            EXPECT_TRUE(locSave.CommitKeepingOld());
            ourNoExchange = 0;
            EXPECT_EQ(ReadDisk(locFile), "new");
            // Kept by a second name where there is no exchange; after another
            // failure the file is replaced all the same, and cannot go back.
            const bool locKept = locError != EIO;
            if (locRestoreFlag)
                EXPECT_EQ(locSave.Restore(), locKept);
            else
                locSave.Abandon();
            EXPECT_EQ(ReadDisk(locFile), locRestoreFlag && locKept ? "old" : "new");
            EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pair.loc"});
        }

    // The rename reaches the disk with its folder, flushed after it; so does
    // the rename that puts an old file back.
    ourTrace.clear();
    ourTracing = true;
    const bool locSaved = Save(locFile, "newer");
    ourTracing = false;
    EXPECT_TRUE(locSaved);
    ASSERT_FALSE(ourTrace.empty());
    EXPECT_EQ(ourTrace.back(), "flush folder");
    EXPECT_NE(std::find(ourTrace.begin(), ourTrace.end(), "rename"), ourTrace.end());
    OS_SaveFile locKept;
    ASSERT_TRUE(locKept.Begin(locFile.c_str()));
    ASSERT_TRUE(locKept.Write("newest", 6));
    ASSERT_TRUE(locKept.CommitKeepingOld());
    ourTrace.clear();
    ourTracing = true;
    EXPECT_TRUE(locKept.Restore());
    ourTracing = false;
    EXPECT_EQ(ourTrace, (std::vector<std::string>{"rename", "flush folder"}));
    EXPECT_EQ(ReadDisk(locFile), "newer");
}

TEST_F(OSSaveTest, ASaveThatStillRunsIsLeftAloneByOtherOpeners)
{
    // Kept after an in-place commit, the old content's record stays locked
    // by this process: another process opening the file leaves it new.
    const fs::path locFile = myDir / "base" / "pair.loc";
    WriteDisk(locFile, "old text");
    fs::create_hard_link(locFile, myDir / "outside" / "twin.loc");
    const int locHandles = OpenHandleCount();
    const int locStandardIn = fcntl(0, F_GETFD);
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin(locFile.c_str()));
    ASSERT_TRUE(InPlace(locSave));
    ASSERT_TRUE(locSave.Write("new text, longer", 16));
    ASSERT_TRUE(locSave.CommitKeepingOld());
    pid_t locChild = fork();
    if (locChild == 0)
        _exit(ReadThroughLayer(myDir / "outside" / "twin.loc") == "new text, longer" ? 0 : 1);
    int locStatus = 0;
    ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
    EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0);
    EXPECT_TRUE(locSave.Restore());
    EXPECT_EQ(locSave.GetError(), 0);
    // Everything the save opened is closed, and nothing else.
    locSave.Abandon();
    EXPECT_EQ(OpenHandleCount(), locHandles);
    EXPECT_EQ(fcntl(0, F_GETFD), locStandardIn);
    EXPECT_EQ(ReadThroughLayer(locFile), "old text");
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pair.loc"});
    EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
}

TEST_F(OSSaveTest, OnlyTemporaryFilesOfTheSaveSchemeWhoseProcessIsGoneAreRemoved)
{
    pid_t locDead = fork();
    if (locDead == 0)
        _exit(0);
    waitpid(locDead, nullptr, 0);
    const std::string locDead1 = ".t.txt." + std::to_string(locDead);
    // Near the scheme, but not of it: all stay.
    const std::set<std::string> locKept = {
        "t.txt",
        locDead1 + "-7.tmp.bak",
        locDead1 + "-x.tmp",
        locDead1 + "x7.tmp",
        locDead1 + "-7a.tmp",
        locDead1 + ".tmp",
        ".t.txt.abc-1.tmp",
        ".t.txt.0-1.tmp",
        ".t.txt.-5-1.tmp",
        ".t.txt.+" + std::to_string(locDead) + "-7.tmp",
        ".t.txt. " + std::to_string(locDead) + "-7.tmp",
        ".t.txt." + std::to_string(getpid()) + "-9.tmp",
    };
    for (const std::string& locName : locKept)
        WriteDisk(myDir / "base" / locName, "kept");
    WriteDisk(myDir / "base" / (locDead1 + "-7.tmp"), "left by a killed save");
    ASSERT_TRUE(Save(myDir / "base" / "t.txt", "saved"));
    EXPECT_EQ(Names(myDir / "base"), locKept);
}

TEST_F(OSSaveTest, AbsoluteLinksAndLongChainsOfLinksAreFollowed)
{
    WriteDisk(myDir / "real" / "target.txt", "old");
    fs::create_symlink(myDir / "real" / "target.txt", myDir / "base" / "absolute.txt");
    ASSERT_TRUE(Save(myDir / "base" / "absolute.txt", "through an absolute link"));
    EXPECT_EQ(ReadDisk(myDir / "real" / "target.txt"), "through an absolute link");
    EXPECT_TRUE(fs::is_symlink(myDir / "base" / "absolute.txt"));
    // As the system's own limit: a chain of 40 links is followed, 41 is not.
    fs::path locPrevious = "absolute.txt";
    for (int i = 1; i <= 41; ++i)
    {
        const fs::path locLink = "chain" + std::to_string(i);
        fs::create_symlink(locPrevious, myDir / "base" / locLink);
        locPrevious = locLink;
    }
    EXPECT_TRUE(Save(myDir / "base" / "chain39", "through 40 links"));
    EXPECT_EQ(ReadDisk(myDir / "real" / "target.txt"), "through 40 links");
    OS_SaveFile locSave;
    EXPECT_FALSE(locSave.Begin((myDir / "base" / "chain40").c_str()));
    EXPECT_EQ(locSave.GetError(), ELOOP);
}

TEST_F(OSSaveTest, RefusedSavesBeneathAFolderFailAtBeginAndLeaveNothingOpen)
{
    WriteDisk(myDir / "base" / "locked.txt", "old");
    fs::permissions(myDir / "base" / "locked.txt", fs::perms::owner_read);
    fs::create_directories(myDir / "base" / "folder");
    fs::create_symlink(myDir / "outside", myDir / "base" / "link");
    const int locHandles = OpenHandleCount();
    const struct
    {
        const char* myPath;
        int myError;
    } locCases[] = {
        {"/abs.txt", EINVAL}, {"../up.txt", EINVAL}, {"c:/drive.txt", EINVAL}, {"a//b.txt", EINVAL},
        {"link/x.txt", ELOOP}, {"locked.txt/x.txt", ELOOP}, {"folder", EISDIR}, {"locked.txt", EACCES},
    };
    for (const auto& locCase : locCases)
    {
        SCOPED_TRACE(locCase.myPath);
        OS_SaveFile locSave;
        EXPECT_FALSE(locSave.BeginBeneath(myBase.c_str(), locCase.myPath));
        EXPECT_EQ(locSave.GetError(), locCase.myError);
        EXPECT_FALSE(locSave.Write("x", 1));
        EXPECT_EQ(OpenHandleCount(), locHandles);
    }
    EXPECT_EQ(ReadDisk(myDir / "base" / "locked.txt"), "old");
    EXPECT_TRUE(fs::is_empty(myDir / "outside"));
}

TEST_F(OSSaveTest, WritesOutsideASaveFailAndWriteAtOverwrites)
{
    OS_SaveFile locIdle;
    EXPECT_FALSE(locIdle.Write("x", 1));
    EXPECT_EQ(locIdle.GetError(), EBADF);
    OS_SaveFile locIdleAt;
    EXPECT_FALSE(locIdleAt.WriteAt("x", 1, 0));
    EXPECT_EQ(locIdleAt.GetError(), EBADF);

    // By rename and in place alike, WriteAt changes bytes already written.
    const fs::path locFile = myDir / "base" / "pack.sdf";
    WriteDisk(locFile, "old");
    for (int locInPlace = 0; locInPlace < 2; ++locInPlace)
    {
        SCOPED_TRACE(locInPlace ? "in place" : "by rename");
        if (locInPlace)
            fs::create_hard_link(locFile, myDir / "outside" / "twin.sdf");
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()));
        EXPECT_EQ(InPlace(locSave), locInPlace == 1);
        ASSERT_TRUE(locSave.Write("header and body", 15));
        EXPECT_TRUE(locSave.WriteAt("HEADER", 6, 0));
        EXPECT_TRUE(locSave.WriteAt("BODY", 4, 11));
        EXPECT_TRUE(locSave.WriteAt("", 0, 100));
        ASSERT_TRUE(locSave.Write("!", 1));
        ASSERT_TRUE(locSave.Commit());
        EXPECT_EQ(ReadDisk(locFile), "HEADER and BODY!");
    }
    // After a failed write, WriteAt fails too and the save is not committed.
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin(locFile.c_str()));
    ourWritesLeft = 0;
    EXPECT_FALSE(locSave.WriteAt("abc", 3, 0));
    ourWritesLeft = -1;
    EXPECT_FALSE(locSave.WriteAt("abc", 3, 0));
    EXPECT_EQ(locSave.GetError(), EIO);
    EXPECT_FALSE(locSave.Commit());
    EXPECT_EQ(ReadDisk(locFile), "HEADER and BODY!");
}

TEST_F(OSSaveTest, AFileKeptForItsPartnerStandsOnlyBesideThePartnersNewContent)
{
    // The second file of a pair, rewritten in place and committed first,
    // keeps its old content for the first: killed before that one is in,
    // the next open puts the old content back; once it is in, the new stays.
    const fs::path locFirst = myDir / "base" / "pair.tez";
    const fs::path locSecond = myDir / "base" / "pair.loc";
    for (int locFirstInPlace = 0; locFirstInPlace < 2; ++locFirstInPlace)
        for (int locKillBeforeFirst = 0; locKillBeforeFirst < 2; ++locKillBeforeFirst)
        {
            SCOPED_TRACE(std::string(locFirstInPlace ? "partner in place" : "partner by rename") +
                         (locKillBeforeFirst ? ", killed before it" : ", killed after it"));
            for (const fs::path& locPath : {locFirst, locSecond})
            {
                fs::remove(myDir / "outside" / locPath.filename());
                WriteDisk(locPath, "old " + locPath.extension().string().substr(1));
            }
            fs::create_hard_link(locSecond, myDir / "outside" / "pair.loc");
            if (locFirstInPlace)
                fs::create_hard_link(locFirst, myDir / "outside" / "pair.tez");
            pid_t locChild = fork();
            if (locChild == 0)
            {
                OS_SaveFile locTez, locLoc;
                const bool locReady = locTez.Begin(locFirst.c_str()) && locTez.Write("new tez", 7) && locTez.Flush() &&
                                      locLoc.Begin(locSecond.c_str()) && InPlace(locLoc) &&
                                      locLoc.Write("new loc", 7) && locLoc.Flush() &&
                                      locLoc.CommitKeepingOld(&locTez);
                if (!locReady)
                    _exit(1);
                if (!locKillBeforeFirst && !locTez.Commit())
                    _exit(1);
                raise(SIGKILL);
            }
            int locStatus = 0;
            ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
            ASSERT_TRUE(WIFSIGNALED(locStatus)) << locStatus;
            EXPECT_EQ(ReadDisk(locSecond), "new loc");
            const std::string locRound = locKillBeforeFirst ? "old " : "new ";
            EXPECT_EQ(ReadThroughLayer(locSecond), locRound + "loc");
            EXPECT_EQ(ReadThroughLayer(locFirst), locRound + "tez");
            // No backup is left (the killed process's temporary files go with the next save).
            for (const std::string& locName : Names(myDir / "base"))
                EXPECT_EQ(locName.find(".old"), std::string::npos) << locName;
            for (const std::string& locName : Names(myDir / "data" / "qtools"))
                EXPECT_EQ(fs::path(locName).extension(), ".tmp") << locName;
        }
}

TEST_F(OSSaveTest, AFailedFlushOrRenameFailsTheCommitAndLeavesNoTemporaryFile)
{
    const fs::path locFile = myDir / "base" / "level.velk";
    WriteDisk(locFile, "old");
    // Nothing begun: nothing to flush or commit.
    OS_SaveFile locIdle;
    EXPECT_FALSE(locIdle.Flush());
    EXPECT_EQ(locIdle.GetError(), EBADF);
    EXPECT_FALSE(locIdle.Commit());

    // The disk fails the flush of the new file: the old one stays.
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin(locFile.c_str()));
    ASSERT_TRUE(locSave.Write("new", 3));
    ourFlushesToFail = 1;
    EXPECT_FALSE(locSave.Commit());
    ourFlushesToFail = 0;
    EXPECT_EQ(locSave.GetError(), EIO);
    EXPECT_EQ(ReadDisk(locFile), "old");
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});

    // A folder put at the name meanwhile: the rename fails, and says why.
    const fs::path locLater = myDir / "base" / "later.velk";
    OS_SaveFile locRenamed;
    ASSERT_TRUE(locRenamed.Begin(locLater.c_str()));
    ASSERT_TRUE(locRenamed.Write("new", 3));
    fs::create_directories(locLater / "inside");
    EXPECT_FALSE(locRenamed.Commit());
    EXPECT_NE(locRenamed.GetError(), 0);
    EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"level.velk", "later.velk"}));
    EXPECT_TRUE(fs::is_directory(locLater / "inside"));
}

TEST_F(OSSaveTest, BadTargetsFailAtBeginAndEveryModeBitIsKept)
{
    for (const char* locPath : {"", "/nonexistent-folder/x.velk"})
    {
        OS_SaveFile locSave;
        EXPECT_FALSE(locSave.Begin(locPath)) << locPath;
        EXPECT_NE(locSave.GetError(), 0);
        EXPECT_FALSE(locSave.Write("x", 1));
    }
    OS_SaveFile locNull;
    EXPECT_FALSE(locNull.Begin(nullptr));
    OS_SaveFile locMissing;
    EXPECT_FALSE(locMissing.Begin((myDir / "missing" / "x.velk").c_str()));
    EXPECT_EQ(locMissing.GetError(), ENOENT);

    // The set-id and sticky bits stay with the file (root keeps its owner).
    const fs::path locFile = myDir / "base" / "tool";
    for (mode_t locMode : {04755, 02750, 01644, 0600})
    {
        WriteDisk(locFile, "old");
        ASSERT_EQ(chmod(locFile.c_str(), locMode), 0);
        ASSERT_TRUE(Save(locFile, "new"));
        struct stat locStat;
        ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
        EXPECT_EQ(locStat.st_mode & 07777, locMode) << std::oct << locMode;
    }

    // Names taken by others' temporary files are passed over.
    OS_SaveFile locFirst;
    ASSERT_TRUE(locFirst.Begin(locFile.c_str()));
    const std::string locTaken = locFirst.GetTempPath();
    locFirst.Abandon();
    const size_t locDash = locTaken.rfind('-');
    const unsigned locNext = unsigned(std::stoul(locTaken.substr(locDash + 1))) + 1;
    for (unsigned i = 0; i < 5; ++i)
        WriteDisk(locTaken.substr(0, locDash + 1) + std::to_string(locNext + i) + ".tmp", "taken");
    EXPECT_TRUE(Save(locFile, "past them"));
    EXPECT_EQ(ReadDisk(locFile), "past them");
    // Every name it tries taken: the save fails and each stays its owner's.
    ASSERT_TRUE(locFirst.Begin(locFile.c_str()));
    const std::string locLast = locFirst.GetTempPath();
    locFirst.Abandon();
    const unsigned locFrom = unsigned(std::stoul(locLast.substr(locDash + 1))) + 1;
    for (unsigned i = 0; i < 120; ++i)
        WriteDisk(locTaken.substr(0, locDash + 1) + std::to_string(locFrom + i) + ".tmp", "taken");
    EXPECT_FALSE(Save(locFile, "nowhere"));
    EXPECT_EQ(Names(myDir / "base").size(), 121u + 5u);
}

TEST_F(OSSaveTest, TheBackupNamedAfterAFailureIsForgottenByTheNextSave)
{
    const fs::path locFile = MakeHardLinked(Text(100000, 'a'));
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin(locFile.c_str()));
    ASSERT_TRUE(locSave.Write(Text(150000, 'A').data(), 150000));
    // The header, part of the new content, and nothing of the old put back.
    ourWritesLeft = 1000 + 50000;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(locSave.Commit());
    ::testing::internal::GetCapturedStderr();
    ourWritesLeft = -1;
    ASSERT_NE(locSave.GetKeptPath(), nullptr);
    EXPECT_TRUE(ReadThroughLayer(locFile) == Text(100000, 'a'));
    ASSERT_TRUE(locSave.Begin(locFile.c_str()));
    EXPECT_EQ(locSave.GetKeptPath(), nullptr);
    ASSERT_TRUE(locSave.Write("new", 3));
    EXPECT_TRUE(locSave.Commit());
    EXPECT_EQ(locSave.GetKeptPath(), nullptr);
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.velk"), "new");

    // A save kept for its partner holds the file until it is dropped: a
    // second in-place save of it waits, then fails and says so.
    OS_SaveFile locA, locB;
    ASSERT_TRUE(locA.Begin(locFile.c_str()) && locA.Write("from a", 6) && locA.CommitKeepingOld());
    ASSERT_TRUE(locB.Begin(locFile.c_str()) && locB.Write("from b", 6));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(locB.CommitKeepingOld());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("being saved by another program"), std::string::npos);
    EXPECT_EQ(locB.GetError(), EBUSY);
    EXPECT_EQ(ReadDisk(locFile), "from a");
    EXPECT_EQ(Names(myDir / "data" / "qtools").size(), 1u);
    locA.Abandon();
    ASSERT_TRUE(locB.Begin(locFile.c_str()) && locB.Write("from b", 6) && locB.CommitKeepingOld());
    EXPECT_TRUE(locB.Restore());
    EXPECT_EQ(ReadDisk(locFile), "from a");
    EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
}

TEST_F(OSSaveTest, AWriteErrorReportedWhenTheNewFileIsClosedFailsTheSave)
{
    // Flushed or not: the error the close reports is the save's.
    const fs::path locFile = myDir / "base" / "level.velk";
    WriteDisk(locFile, "old");
    for (int locFlushFlag = 1; locFlushFlag >= 0; --locFlushFlag)
    {
        SCOPED_TRACE(locFlushFlag ? "flushed" : "not flushed");
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.BeginBeneath(myBase.c_str(), "level.velk", locFlushFlag == 1));
        ASSERT_TRUE(locSave.Write("new", 3));
        struct stat locStat;
        ASSERT_EQ(stat(locSave.GetTempPath(), &locStat), 0);
        ourCloseFailInode = locStat.st_ino;
        EXPECT_FALSE(locSave.Commit());
        EXPECT_EQ(ourCloseFailInode.load(), ino_t(0));   // the failure did happen
        ourCloseFailInode = 0;
        EXPECT_EQ(locSave.GetError(), EIO);
        EXPECT_EQ(ReadDisk(locFile), "old");
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
    }
}

TEST_F(OSSaveTest, AnInPlaceSaveOfAFileCutShortMeanwhileFailsAndChangesNothingMore)
{
    // Another program cuts the file while its old content is copied aside:
    // the copy ends early, and the save fails rather than waiting for bytes
    // that will never come or keeping a short backup.
    const fs::path locFile = MakeHardLinked(Text(150000, 'a'));
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin(locFile.c_str()));
    ASSERT_TRUE(InPlace(locSave));
    ASSERT_TRUE(locSave.Write(Text(90000, 'A').data(), 90000));
    struct stat locStat;
    ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
    ourShrinkTo = 70000;
    ourShrinkInode = locStat.st_ino;
    EXPECT_FALSE(locSave.Commit());
    EXPECT_EQ(ourShrinkInode.load(), ino_t(0));   // it was cut
    ourShrinkInode = 0;
    EXPECT_EQ(locSave.GetError(), EIO);
    EXPECT_TRUE(ReadDisk(locFile) == Text(70000, 'a'));
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
    EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
}

TEST_F(OSSaveTest, ASaveHoldsNothingOnceItFailedToBeginOrWasCommitted)
{
    // Whatever a save had open goes when it ends, not when it is destroyed:
    // an editor keeps its save object between saves.
    WriteDisk(myDir / "base" / "linked.velk", "old");
    fs::create_hard_link(myDir / "base" / "linked.velk", myDir / "outside" / "twin.velk");
    const int locHandles = OpenHandleCount();
    WriteDisk(myDir / "base" / "readonly.velk", "old");
    fs::permissions(myDir / "base" / "readonly.velk", fs::perms(0444));
    ASSERT_EQ(mkfifo((myDir / "base" / "pipe").c_str(), 0600), 0);
    OS_SaveFile locSave;
    for (const fs::path& locBad : {myDir / "base" / "", myDir / "missing" / "x.velk", myDir / "base" / "pipe",
                                   myDir / "base" / "readonly.velk"})
    {
        SCOPED_TRACE(locBad.string());
        EXPECT_FALSE(locSave.Begin(locBad.c_str()));
        EXPECT_NE(locSave.GetError(), 0);
        EXPECT_EQ(OpenHandleCount(), locHandles);
    }
    for (const char* locLeaf : {"linked.velk", "new.velk"})
    {
        SCOPED_TRACE(locLeaf);
        ASSERT_TRUE(locSave.Begin((myDir / "base" / locLeaf).c_str()));
        EXPECT_EQ(InPlace(locSave), std::string(locLeaf) == "linked.velk");
        ASSERT_TRUE(locSave.Write("new", 3));
        ASSERT_TRUE(locSave.Commit());
        EXPECT_EQ(OpenHandleCount(), locHandles);
        EXPECT_FALSE(locSave.Write("x", 1));
        EXPECT_EQ(ReadDisk(myDir / "base" / locLeaf), "new");
    }
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.velk"), "new");
}

TEST_F(OSSaveTest, AnInPlaceSaveIsFlushedInOrderAndAFailedFlushLeavesTheOldContentAlone)
{
    // The backup, named, and its folder reach the disk before the first byte
    // of the file changes: a power cut anywhere finds
    // what it needs to put the old content back.
    const fs::path locFile = myDir / "base" / "level.velk";
    const std::string locOld = Text(50000, 'a');
    const std::string locNew = Text(70000, 'A');
    MakeHardLinked(locOld);
    struct stat locStat;
    ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
    {
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()) && locSave.Write(locNew.data(), locNew.size()));
        ourTrace.clear();
        ourWatchedInode = locStat.st_ino;
        ourTracing = true;
        const bool locSaved = locSave.Commit();
        ourTracing = false;
        ourWatchedInode = 0;
        EXPECT_TRUE(locSaved);
        EXPECT_EQ(ourTrace, (std::vector<std::string>{"rename", "flush folder", "write target"}));
    }
    // Each flush of the save failing in turn: the backup, its folder, the
    // file itself. The save fails and says why, the
    // old content stays or is put back, and nothing of the save is left.
    WriteDisk(locFile, locOld);
    for (int locPassed = 0;; ++locPassed)
    {
        SCOPED_TRACE(locPassed);
        ASSERT_LT(locPassed, 10);
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()) && locSave.Write(locNew.data(), locNew.size()));
        ourFlushesToPass = locPassed;
        ourFlushesToFail = 1;
        ::testing::internal::CaptureStderr();
        const bool locSaved = locSave.Commit();
        const std::string locMessage = ::testing::internal::GetCapturedStderr();
        const bool locFailed = ourFlushesToFail.load() == 0;
        ourFlushesToFail = 0;
        ourFlushesToPass = 0;
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
        EXPECT_EQ(locMessage, "");
        if (!locFailed)
        {
            EXPECT_TRUE(locSaved);
            EXPECT_TRUE(ReadDisk(myDir / "outside" / "twin.velk") == locNew);
            EXPECT_EQ(locPassed, 3);
            break;
        }
        EXPECT_FALSE(locSaved);
        EXPECT_EQ(locSave.GetError(), EIO);
        EXPECT_TRUE(ReadDisk(myDir / "outside" / "twin.velk") == locOld);
    }
}

namespace
{
// Every name ever seen in aDir, looked up through the file layer in capitals:
// found as it is spelled on the disk while it is there, and not at all once gone.
void ExpectLookupsMatchDisk(const fs::path& aDir, std::set<std::string>* aSeen)
{
    std::set<std::string> locOnDisk;
    for (const fs::directory_entry& locEntry : fs::directory_iterator(aDir))
        locOnDisk.insert(locEntry.path().filename().string());
    aSeen->insert(locOnDisk.begin(), locOnDisk.end());
    for (const std::string& locName : *aSeen)
    {
        std::string locUpper = locName;
        for (char& locChar : locUpper)
            locChar = char(toupper(static_cast<unsigned char>(locChar)));
        char locResolved[PATH_MAX];
        ASSERT_TRUE(OS_ResolvePath((aDir / locUpper).c_str(), locResolved, sizeof(locResolved)));
        const fs::path locExpected = aDir / (locOnDisk.count(locName) ? locName : locUpper);
        EXPECT_EQ(fs::path(locResolved), locExpected) << locName;
    }
}
}

TEST_F(OSSaveTest, LookupsWithoutCaseSeeEveryNameASaveMakesOrRemoves)
{
    // Each step runs while another save in the folder is under way; that one's
    // commit tells the folder's listing of its own change and so vouches for
    // the rest of it: any name a step made or removed untold would linger or
    // be missed by lookups in another case.
    const fs::path locBase = myDir / "base";
    std::set<std::string> locSeen;
    int locOthers = 0;
    const auto locStep = [&](const char* aWhat, const std::function<void()>& anOp) {
        SCOPED_TRACE(aWhat);
        OS_SaveFile locOther;
        ASSERT_TRUE(locOther.Begin((locBase / ("other" + std::to_string(++locOthers) + ".txt")).c_str()));
        ExpectLookupsMatchDisk(locBase, &locSeen);
        anOp();
        ASSERT_TRUE(locOther.Write("o", 1) && locOther.Commit());
        ExpectLookupsMatchDisk(locBase, &locSeen);
    };
    pid_t locDead = fork();
    if (locDead == 0)
        _exit(0);
    waitpid(locDead, nullptr, 0);
    WriteDisk(locBase / "pair.tez", "old tez");
    WriteDisk(locBase / "pair.loc", "old loc");
    fs::create_hard_link(locBase / "pair.loc", myDir / "outside" / "pair.loc");
    WriteDisk(locBase / (".pair.tez." + std::to_string(locDead) + "-7.tmp"), "left by a killed save");
    WriteDisk(locBase / (".pair.tez." + std::to_string(locDead) + "-8.old.tmp"), "left by a killed save");
    WriteDisk(locBase / (".made.txt." + std::to_string(locDead) + "-7.tmp"), "left by a killed save");
    OS_SaveFile locTez, locLoc;
    locStep("what a killed save of a new file left is removed", [&] {
        ASSERT_TRUE(locTez.Begin((locBase / "made.txt").c_str()));
        locTez.Abandon();
    });
    fs::create_directories(myDir / "data" / "qtools");
    locStep("what killed saves left is removed", [&] { ASSERT_TRUE(locTez.Begin((locBase / "pair.tez").c_str())); });
    locStep("set aside", [&] { ASSERT_TRUE(locTez.Write("new", 3) && locTez.Flush() && locTez.SetAside()); });
    locStep("committed in its place", [&] { ASSERT_TRUE(locTez.Commit()); });
    locStep("rewritten in place, kept", [&] {
        ASSERT_TRUE(locLoc.Begin((locBase / "pair.loc").c_str()) && InPlace(locLoc) && locLoc.Write("new", 3) &&
                    locLoc.CommitKeepingOld());
    });
    locStep("its backup dropped", [&] { locLoc.Abandon(); });
    locStep("kept by exchange", [&] {
        ASSERT_TRUE(locTez.Begin((locBase / "pair.tez").c_str()) && locTez.Write("newer", 5) &&
                    locTez.CommitKeepingOld());
    });
    locStep("put back", [&] { EXPECT_TRUE(locTez.Restore()); });
    locStep("begun", [&] { ASSERT_TRUE(locTez.Begin((locBase / "pair.tez").c_str()) && locTez.Write("lost", 4)); });
    locStep("failing when kept by a second name", [&] {
        ourNoExchange = EINVAL;
        ourRenamesToFail = 1;
        EXPECT_FALSE(locTez.CommitKeepingOld());
        ourNoExchange = 0;
        ourRenamesToFail = 0;
    });
    locStep("begun again", [&] { ASSERT_TRUE(locTez.Begin((locBase / "pair.tez").c_str()) && locTez.Write("newest", 6)); });
    locStep("kept by a second name", [&] {
        ourNoExchange = EINVAL;
        EXPECT_TRUE(locTez.CommitKeepingOld());
        ourNoExchange = 0;
    });
    locStep("the kept one dropped", [&] { locTez.Abandon(); });
    locStep("new, kept", [&] {
        ASSERT_TRUE(locTez.Begin((locBase / "fresh.txt").c_str()) && locTez.Write("f", 1) && locTez.CommitKeepingOld());
    });
    locStep("new, taken back", [&] { EXPECT_TRUE(locTez.Restore()); });
    locStep("set aside again", [&] {
        ASSERT_TRUE(locTez.Begin((locBase / "pair.tez").c_str()) && locTez.Flush() && locTez.SetAside());
    });
    locStep("abandoned", [&] { locTez.Abandon(); });
    locStep("a folder made beneath", [&] {
        ASSERT_TRUE(locTez.BeginBeneath(myBase.c_str(), "sub/x.txt"));
        locTez.Abandon();
    });
    EXPECT_EQ(ReadDisk(locBase / "pair.tez"), "newest");
    EXPECT_EQ(ReadDisk(myDir / "outside" / "pair.loc"), "new");
    EXPECT_FALSE(fs::exists(locBase / "fresh.txt"));
}

TEST_F(OSSaveTest, TemporaryFilesOfSavesStillRunningStayWhateverTheirOrderOrUser)
{
    // Many of dead and of running processes mixed in one folder: however the
    // folder lists them, only the dead ones' go.
    pid_t locDead = fork();
    if (locDead == 0)
        _exit(0);
    waitpid(locDead, nullptr, 0);
    const std::string locLive = std::to_string(getppid());
    std::set<std::string> locKept = {"t.txt"};
    for (int i = 1; i <= 8; ++i)
    {
        WriteDisk(myDir / "base" / (".t.txt." + std::to_string(locDead) + "-" + std::to_string(i) + ".tmp"), "dead");
        locKept.insert(".t.txt." + locLive + "-" + std::to_string(i) + ".tmp");
    }
    for (const std::string& locName : locKept)
        WriteDisk(myDir / "base" / locName, "running");
    fs::create_directories(myDir / "data" / "qtools");
    ASSERT_TRUE(Save(myDir / "base" / "t.txt", "saved"));
    ASSERT_TRUE(Save(myDir / "base" / "t.txt", "saved again"));
    EXPECT_EQ(Names(myDir / "base"), locKept);

    if (geteuid() != 0)
    {
        printf("another user's running saves: skipped, this test does not run as root\n");
        return;
    }
    // A process of another user that runs cannot be signalled, yet runs: its
    // files stay when this user saves.
    const fs::path locShared = myDir / "shared";
    fs::create_directories(locShared);
    ASSERT_EQ(chmod(locShared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(myDir.c_str(), 0755), 0);
    const std::string locRoots = ".t.txt." + std::to_string(getpid());
    WriteDisk(locShared / (locRoots + "-1.tmp"), "root's save, running");
    WriteDisk(locShared / "t.txt", "old");
    ASSERT_EQ(chown((locShared / "t.txt").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod((myDir / "data").c_str(), 0777), 0);
    ASSERT_EQ(chmod((myDir / "data" / "qtools").c_str(), 0777), 0);
    pid_t locChild = fork();
    if (locChild == 0)
    {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        _exit(Save(locShared / "t.txt", "new") ? 0 : 1);
    }
    int locStatus = 0;
    ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
    EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0) << locStatus;
    EXPECT_EQ(ReadDisk(locShared / "t.txt"), "new");
    EXPECT_EQ(Names(locShared), (std::set<std::string>{"t.txt", locRoots + "-1.tmp"}));
}

TEST_F(OSSaveTest, AnOpenThatCannotPutTheOldContentBackKeepsTheBackupForTheNext)
{
    // Killed while the new content is written: the next open must put the
    // old content back. While the disk fails its writes, or the flush after
    // them, that open says so and keeps both the backup and its record.
    const fs::path locFile = myDir / "base" / "level.velk";
    const std::string locOld = Text(100000, 'a');
    for (int locFlushFails = 0; locFlushFails < 2; ++locFlushFails)
    {
        SCOPED_TRACE(locFlushFails ? "the flush fails" : "writes fail");
        MakeHardLinked(locOld);
        std::string locMixed;
        for (int locAt = 1; locAt < 100; ++locAt)
        {
            WriteDisk(locFile, locOld);
            ASSERT_TRUE(SaveKilledAt(locFile, Text(150000, 'A'), locAt, uid_t(-1)));
            locMixed = ReadDisk(locFile);
            if (locMixed != locOld && locMixed.compare(0, 5, "ABCDE") == 0)
                break;
        }
        ASSERT_NE(locMixed, locOld);
        const std::set<std::string> locRecords = Names(myDir / "data" / "qtools");
        ASSERT_EQ(locRecords.size(), 1u);
        const std::set<std::string> locBeside = Names(myDir / "base");
        ASSERT_EQ(locBeside, std::set<std::string>{"level.velk"});
        if (locFlushFails)
            ourFlushesToFail = 1;
        else
            ourWritesLeft = 5000;
        ::testing::internal::CaptureStderr();
        const std::string locHeld = ReadThroughLayer(locFile);
        const std::string locMessage = ::testing::internal::GetCapturedStderr();
        ourWritesLeft = -1;
        ourFlushesToFail = 0;
        EXPECT_NE(locMessage.find("cannot be put back"), std::string::npos) << locMessage;
        EXPECT_EQ(Names(myDir / "data" / "qtools"), locRecords);
        EXPECT_EQ(Names(myDir / "base"), locBeside);
        // Once the disk works again, the next open does it.
        ::testing::internal::CaptureStderr();
        EXPECT_TRUE(ReadThroughLayer(locFile) == locOld);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
    }
}

TEST_F(OSSaveTest, AnInPlaceSaveWhoseReadsFailLeavesTheOldContentAndNothingElse)
{
    // Each read of the commit failing in turn: of the new content while it is
    // summed, of the old while it is copied aside, of the backup while it is
    // summed, of the new content while it is copied over the old.
    const fs::path locFile = myDir / "base" / "level.velk";
    const std::string locOld = Text(150000, 'a');
    const std::string locNew = Text(100000, 'A');
    MakeHardLinked(locOld);
    fs::create_directories(myDir / "data" / "qtools");
    for (int locPassed = 0;; ++locPassed)
    {
        SCOPED_TRACE(locPassed);
        ASSERT_LT(locPassed, 100);
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()) && locSave.Write(locNew.data(), locNew.size()));
        ourReadsToPass = locPassed;
        ::testing::internal::CaptureStderr();
        const bool locSaved = locSave.Commit();
        const std::string locMessage = ::testing::internal::GetCapturedStderr();
        const bool locFailed = ourReadsToPass.load() < 0;
        ourReadsToPass = -1;
        EXPECT_EQ(locMessage, "");
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
        if (!locFailed)
        {
            EXPECT_TRUE(locSaved);
            EXPECT_TRUE(ReadDisk(myDir / "outside" / "twin.velk") == locNew);
            EXPECT_GE(locPassed, 4);
            break;
        }
        EXPECT_FALSE(locSaved);
        EXPECT_EQ(locSave.GetError(), EIO);
        EXPECT_TRUE(ReadDisk(myDir / "outside" / "twin.velk") == locOld);
    }
}

TEST_F(OSSaveTest, WithoutUnnamedFilesAnInPlaceSaveKeepsItsNewContentInANamedFileRemovedAtOnce)
{
    // The new content of an in-place save waits in the temporary folder; where
    // it cannot be an unnamed file it is named there and removed at once, so
    // that nothing of it stays behind whatever becomes of the save.
    const fs::path locTemp = myDir / "tmp";
    fs::create_directories(locTemp);
    const char* locOldTemp = getenv("TMPDIR");
    const std::string locSavedTemp = locOldTemp ? locOldTemp : "";
    setenv("TMPDIR", locTemp.c_str(), 1);
    const fs::path locFile = MakeHardLinked("old");
    ourNoUnnamedFiles = true;
    for (int locCommit = 0; locCommit < 2; ++locCommit)
    {
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()));
        ASSERT_TRUE(InPlace(locSave));
        EXPECT_EQ(Names(locTemp), std::set<std::string>{});
        ASSERT_TRUE(locSave.Write("new content", 11));
        if (locCommit)
        {
            EXPECT_TRUE(locSave.Commit());
        }
    }
    ourNoUnnamedFiles = false;
    if (locOldTemp)
        setenv("TMPDIR", locSavedTemp.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.velk"), "new content");
    EXPECT_EQ(Names(locTemp), std::set<std::string>{});
}

TEST_F(OSSaveTest, InPlaceSavesOfEveryLengthAroundTheCopysPieces)
{
    // The old and the new content are copied in pieces of 64 KiB: lengths of
    // a byte, and a byte past a piece, are copied whole too.
    const fs::path locFile = MakeHardLinked("x");
    for (size_t locSize : {size_t(1), size_t(65537), size_t(65536), size_t(1), size_t(0), size_t(131073)})
    {
        SCOPED_TRACE(locSize);
        const std::string locNew = Text(locSize, 'A');
        ASSERT_TRUE(Save(locFile, locNew));
        EXPECT_TRUE(ReadDisk(myDir / "outside" / "twin.velk") == locNew);
    }
}

TEST_F(OSSaveTest, AFileCannotBeKeptForAPartnerThatIsNoLongerUnderWay)
{
    // Its partner committed (or never begun): there is no new content to stand
    // or fall with, and the save says so rather than keep a record of nothing.
    WriteDisk(myDir / "base" / "pair.loc", "old loc");
    fs::create_hard_link(myDir / "base" / "pair.loc", myDir / "outside" / "pair.loc");
    fs::create_directories(myDir / "data" / "qtools");
    for (int locBegun = 0; locBegun < 2; ++locBegun)
    {
        SCOPED_TRACE(locBegun ? "committed" : "never begun");
        OS_SaveFile locTez;
        if (locBegun)
        {
            ASSERT_TRUE(locTez.Begin((myDir / "base" / "pair.tez").c_str()) && locTez.Write("tez", 3) &&
                        locTez.Commit());
        }
        OS_SaveFile locLoc;
        ASSERT_TRUE(locLoc.Begin((myDir / "base" / "pair.loc").c_str()) && InPlace(locLoc) &&
                    locLoc.Write("new loc", 7));
        EXPECT_FALSE(locLoc.CommitKeepingOld(&locTez));
        EXPECT_EQ(locLoc.GetError(), EBADF);
        EXPECT_EQ(ReadDisk(myDir / "outside" / "pair.loc"), "old loc");
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
    }
    // Under way, by rename: its temporary file is read for the record and closed again.
    const int locHandles = OpenHandleCount();
    {
        OS_SaveFile locTez, locLoc;
        ASSERT_TRUE(locTez.Begin((myDir / "base" / "pair.tez").c_str()) && locTez.Write("new tez", 7) &&
                    locTez.Flush());
        ASSERT_TRUE(locLoc.Begin((myDir / "base" / "pair.loc").c_str()) && locLoc.Write("new loc", 7));
        const int locDuring = OpenHandleCount();
        EXPECT_TRUE(locLoc.CommitKeepingOld(&locTez));
        // The file, locked, its backup and their folder stay held, no more;
        // and no handle of the partner's.
        EXPECT_EQ(OpenHandleCount(), locDuring);
        EXPECT_TRUE(locTez.Commit());
    }
    EXPECT_EQ(OpenHandleCount(), locHandles);
    EXPECT_EQ(ReadDisk(myDir / "outside" / "pair.loc"), "new loc");
}

TEST_F(OSSaveTest, AFileIsSetAsideWithoutTheRenameThatNeverReplaces)
{
    const fs::path locFile = myDir / "base" / "pair.tez";
    for (int locError : {EINVAL, ENOSYS, 0})
    {
        SCOPED_TRACE(locError);
        WriteDisk(locFile, "old");
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()) && locSave.Write("new", 3) && locSave.Flush());
        ourNoNoReplace = locError;
        const bool locAside = locSave.SetAside();
        ourNoNoReplace = 0;
        ASSERT_TRUE(locAside);
        EXPECT_FALSE(fs::exists(locFile));
        EXPECT_EQ(Names(myDir / "base").size(), 2u);
        EXPECT_TRUE(locSave.Commit());
        EXPECT_EQ(ReadDisk(locFile), "new");
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pair.tez"});
    }
}

TEST_F(OSSaveTest, EveryHandleASaveOpensMayBeTheFirst)
{
    // A program started without a standard input gets handle 0 from its next
    // open: each open of a save, of a save beneath a folder, of a pair kept
    // for one another and of the recovery after a kill gets it in turn.
    const fs::path locFile = myDir / "base" / "level.velk";
    const fs::path locTez = myDir / "base" / "pair.tez";
    const fs::path locLoc = myDir / "base" / "pair.loc";
    WriteDisk(locFile, "old");
    WriteDisk(locTez, "old tez");
    WriteDisk(locLoc, "old loc");
    fs::create_hard_link(locLoc, myDir / "outside" / "pair.loc");
    fs::create_directories(myDir / "data" / "qtools");
    const int locStandardIn = dup(0);
    const std::vector<std::pair<const char*, std::function<bool(int)>>> locFlows = {
        {"by rename", [&](int aRound) { return Save(locFile, "new " + std::to_string(aRound)); }},
        {"beneath", [&](int aRound) {
             fs::remove_all(myDir / "base" / "sub");
             return SaveBeneath("sub/deeper/x.txt", "x") == 0 &&
                    ReadDisk(myDir / "base" / "sub" / "deeper" / "x.txt") == "x" && aRound >= 0;
         }},
        {"a pair", [&](int aRound) {
             const std::string locText = "new " + std::to_string(aRound);
             OS_SaveFile locFirst, locSecond;
             const bool locDone = locFirst.Begin(locTez.c_str()) && locFirst.Write("tez", 3) && locFirst.Flush() &&
                                  locSecond.Begin(locLoc.c_str()) && InPlace(locSecond) &&
                                  locSecond.Write(locText.data(), locText.size()) &&
                                  locSecond.CommitKeepingOld(&locFirst) && locFirst.Commit();
             locSecond.Abandon();
             return locDone && ReadDisk(myDir / "outside" / "pair.loc") == locText;
         }},
        {"rewritten in place and put back", [&](int aRound) {
             WriteDisk(locLoc, "old loc");
             OS_SaveFile locSave;
             const bool locKept = locSave.Begin(locLoc.c_str()) && InPlace(locSave) && locSave.Write("new", 3) &&
                                  locSave.CommitKeepingOld();
             return locKept && locSave.Restore() && ReadDisk(myDir / "outside" / "pair.loc") == "old loc" &&
                    aRound >= 0;
         }},
        {"recovered by the next save", [&](int aRound) {
             WriteDisk(locLoc, Text(100000, 'a'));
             const int locZero = ourOpensBeforeZero.exchange(-1);
             for (int locAt = 1; locAt < 100 && fs::is_empty(myDir / "data" / "qtools"); ++locAt)
                 SaveKilledAt(locLoc, Text(150000, 'A'), locAt, uid_t(-1));
             ourOpensBeforeZero = locZero;
             ::testing::internal::CaptureStderr();
             const bool locSaved = Save(locLoc, "after");
             ::testing::internal::GetCapturedStderr();
             return locSaved && ReadDisk(myDir / "outside" / "pair.loc") == "after" && aRound >= 0;
         }},
        {"recovered", [&](int aRound) {
             const std::string locOld = Text(100000, 'a');
             std::string locMixed;
             for (int locAt = 1; locAt < 100; ++locAt)
             {
                 WriteDisk(locLoc, locOld);
                 const int locZero = ourOpensBeforeZero.exchange(-1);
                 SaveKilledAt(locLoc, Text(150000, 'A'), locAt, uid_t(-1));
                 ourOpensBeforeZero = locZero;
                 locMixed = ReadDisk(locLoc);
                 if (locMixed != locOld && locMixed.compare(0, 5, "ABCDE") == 0)
                     break;
             }
             ::testing::internal::CaptureStderr();
             const bool locBack = ReadThroughLayer(locLoc) == locOld;
             ::testing::internal::GetCapturedStderr();
             return locBack && aRound >= 0;
         }},
    };
    for (const auto& locFlow : locFlows)
        for (int locPassed = 0;; ++locPassed)
        {
            SCOPED_TRACE(std::string(locFlow.first) + ", open " + std::to_string(locPassed));
            ASSERT_LT(locPassed, 60);
            ourOpensBeforeZero = locPassed;
            const bool locDone = locFlow.second(locPassed);
            const bool locReached = ourOpensBeforeZero.load() < 0;
            ourOpensBeforeZero = -1;
            // Whatever got handle 0 was closed again, and nothing of the save stays.
            if (locReached)
            {
                EXPECT_EQ(fcntl(0, F_GETFD), -1);
            }
            dup2(locStandardIn, 0);
            EXPECT_TRUE(locDone);
            EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
            for (const std::string& locName : Names(myDir / "base"))
                EXPECT_EQ(locName.find(".tmp"), std::string::npos) << locName;
            if (!locReached)
                break;
        }
    close(locStandardIn);
}

namespace
{
// Runs aStep in a child process, as another user where aUser is not -1,
// stopped (and failed) when it takes over 20 s; its exit status.
int RunAs(uid_t aUser, const std::function<int()>& aStep)
{
    pid_t locChild = fork();
    if (locChild == 0)
    {
        alarm(20);
        if (aUser != uid_t(-1) && (setgid(aUser) != 0 || setuid(aUser) != 0))
            _exit(3);
        _exit(aStep());
    }
    int locStatus = 0;
    waitpid(locChild, &locStatus, 0);
    EXPECT_TRUE(WIFEXITED(locStatus)) << "stopped by signal " << WTERMSIG(locStatus);
    return WIFEXITED(locStatus) ? WEXITSTATUS(locStatus) : -1;
}

// A user of its own for the test, made where it runs as root; -1 otherwise.
uid_t OtherUser()
{
    if (geteuid() != 0)
        return uid_t(-1);
    system("useradd -M -N -s /usr/sbin/nologin qsaveplant > /dev/null 2>&1");
    FILE* locId = popen("id -u qsaveplant 2>/dev/null", "r");
    unsigned locUid = 0;
    const bool locFound = locId && fscanf(locId, "%u", &locUid) == 1 && locUid != 0;
    if (locId)
        pclose(locId);
    return locFound ? uid_t(locUid) : uid_t(-1);
}

// Whole backup of a save of aOld -> aNew over the file aTarget, as a planter
// would make one to have aOld written over it: the file already holds
// aOld's first bytes and aNew's after, so the backup's proof holds.
std::string Forged(const fs::path& aTarget, const std::string& aOld, const std::string& aNew)
{
    const int locHandle = open(aTarget.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat locStat;
    fstat(locHandle, &locStat);
    OS_SaveRecord locRecord;
    locRecord.myDevice = uint64_t(locStat.st_dev);
    locRecord.myInode = uint64_t(locStat.st_ino);
    locRecord.myBirth = OS_BirthOf(locHandle);
    close(locHandle);
    locRecord.myOldSize = aOld.size();
    locRecord.myNewSize = aNew.size();
    locRecord.myOldSum = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(aOld.data()), uInt(aOld.size())));
    locRecord.myNewSum = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(aNew.data()), uInt(aNew.size())));
    locRecord.myTargetPath = aTarget.string();
    return aOld + aNew + OS_WriteSaveRecord(locRecord);
}
}

TEST_F(OSSaveTest, FilesAnotherUserPlantsNeverMakeASaveOrAnOpenTouchAnythingElse)
{
    const uid_t locOther = OtherUser();
    if (locOther == uid_t(-1))
    {
        printf("planted files: skipped, this test does not run as root\n");
        return;
    }
    // The victim's files in a shared folder (sticky, anyone may write), one
    // with a second name so its saves rewrite it in place, and a private one.
    const fs::path locShared = myDir / "shared";
    const fs::path locLevel = locShared / "level.velk";
    const fs::path locPrivate = myDir / "private" / "thesis.txt";
    fs::create_directories(locShared);
    ASSERT_EQ(chmod(locShared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(myDir.c_str(), 0755), 0);
    WriteDisk(locPrivate, "the thesis");
    const fs::path locRecords = myDir / "data" / "qtools";
    const std::string locOld = Text(5000, 'a');
    struct stat locStat;
    int locTried = 0, locIntact = 0;
    // Each planting, then the victim opens and saves the file. The records'
    // folder is private, loosened (saves in place are then refused), or
    // loosened while the planter plants, private again after (the planted
    // backup then stands in the way of saves in place).
    enum { PRIVATE, LOOSE, TIGHTENED };
    const auto locAttack = [&](const char* aWhat, int aFolder, const std::function<void()>& aPlant) {
        SCOPED_TRACE(aWhat);
        ++locTried;
        fs::remove_all(locShared);
        fs::create_directories(locShared);
        ASSERT_EQ(chmod(locShared.c_str(), 01777), 0);
        WriteDisk(locLevel, locOld);
        fs::create_hard_link(locLevel, locShared / "twin.velk");
        fs::remove_all(locRecords);
        fs::create_directories(locRecords);
        ASSERT_EQ(chmod(locRecords.c_str(), aFolder == PRIVATE ? 0700 : 0777), 0);
        ASSERT_EQ(stat(locLevel.c_str(), &locStat), 0);
        EXPECT_EQ(RunAs(locOther, [&] { aPlant(); return 0; }), 0);
        ASSERT_EQ(chmod(locRecords.c_str(), aFolder == LOOSE ? 0777 : 0700), 0);
        const bool aLoose = aFolder != PRIVATE;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunAs(uid_t(-1), [&] { return ReadThroughLayer(locLevel) == locOld ? 0 : 1; }), 0);
        const int locSaved = RunAs(uid_t(-1), [&] { return Save(locLevel, "saved") ? 0 : 1; });
        const std::string locMessage = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(locSaved, aLoose ? 1 : 0) << locMessage;
        const bool locWhole = ReadDisk(locLevel) == (aLoose ? locOld : "saved") && ReadDisk(locPrivate) == "the thesis";
        EXPECT_TRUE(locWhole);
        locIntact += locWhole;
    };
    const auto locName = [&] { return OS_SaveRecordName(uint64_t(locStat.st_dev), uint64_t(locStat.st_ino)); };
    const std::string locForgedOld = locOld.substr(0, 10) + Text(4990, 'X');
    const std::string locForgedNew = Text(10, 'Y') + locOld.substr(10);
    locAttack("a whole backup beside the file, named as records were and are", PRIVATE, [&] {
        WriteDisk(locShared / ("." + locName()), Forged(locLevel, locForgedOld, locForgedNew));
        WriteDisk(locShared / locName(), Forged(locLevel, locForgedOld, locForgedNew));
    });
    locAttack("FIFOs beside the file", PRIVATE, [&] {
        mkfifo((locShared / ("." + locName())).c_str(), 0666);
        mkfifo((locShared / ".level.velk.1-1.old.tmp").c_str(), 0666);
    });
    locAttack("links beside the file to a private file, under names the sweep removes", PRIVATE, [&] {
        fs::create_symlink(locPrivate, locShared / ("." + locName()));
        fs::create_symlink(locPrivate, locShared / ".level.velk.999999-1.tmp");
    });
    locAttack("a whole backup in a loosened records' folder", LOOSE,
              [&] { WriteDisk(locRecords / locName(), Forged(locLevel, locForgedOld, locForgedNew)); });
    locAttack("a FIFO in a loosened records' folder", LOOSE, [&] { mkfifo((locRecords / locName()).c_str(), 0666); });
    locAttack("a link in a loosened records' folder", LOOSE, [&] {
        WriteDisk(fs::path("/tmp") / "qsaveplant.forged", Forged(locLevel, locForgedOld, locForgedNew));
        fs::create_symlink(fs::path("/tmp") / "qsaveplant.forged", locRecords / locName());
    });
    locAttack("another user's backup and link left in the folder made private again", TIGHTENED, [&] {
        WriteDisk(locRecords / locName(), Forged(locLevel, locForgedOld, locForgedNew));
        fs::create_symlink(locPrivate, locRecords / "1-1.999999-1.tmp");
    });
    fs::remove(fs::path("/tmp") / "qsaveplant.forged");
    printf("planted files: %d attacks tried, %d left the victim's files whole\n", locTried, locIntact);
}

TEST_F(OSSaveTest, TwoInPlaceSavesOfOneFileTakeTurnsAndLeaveOneWholeVersion)
{
    // Two processes rewrite one hard-linked file on a slow drive, the second
    // started at several points of the first's save.
    const std::string locOld = Text(600000, 'a');
    const std::string locA = Text(900000, 'A'), locB = Text(700000, 'k');
    int locRuns = 0, locWhole = 0, locBoth = 0;
    for (int locDelay : {0, 20000, 100000, 250000})
    {
        SCOPED_TRACE(locDelay);
        const fs::path locFile = MakeHardLinked(locOld);
        struct stat locStat;
        ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
        pid_t locWriters[2];
        for (int i = 0; i < 2; ++i)
        {
            locWriters[i] = fork();
            if (locWriters[i] == 0)
            {
                alarm(20);
                const std::string& locText = i ? locB : locA;
                OS_SaveFile locSave;
                if (!locSave.Begin(locFile.c_str()) || !locSave.Write(locText.data(), locText.size()))
                    _exit(2);
                ourWatchedInode = locStat.st_ino;
                ourSlowWrites = true;
                _exit(locSave.Commit() ? 0 : 1);
            }
            usleep(useconds_t(locDelay));
        }
        int locSucceeded = 0;
        for (pid_t locWriter : locWriters)
        {
            int locStatus = 0;
            waitpid(locWriter, &locStatus, 0);
            ASSERT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) <= 1) << locStatus;
            locSucceeded += WEXITSTATUS(locStatus) == 0;
        }
        ++locRuns;
        const std::string locHeld = ReadDisk(myDir / "outside" / "twin.velk");
        const bool locIsWhole = locHeld == locA || locHeld == locB;
        EXPECT_TRUE(locIsWhole) << locHeld.size();
        // The second waits for the first rather than fail.
        EXPECT_EQ(locSucceeded, 2);
        locWhole += locIsWhole;
        locBoth += locSucceeded == 2;
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
    }
    printf("overlapping in-place saves: %d runs, %d whole, %d with both saves done in turn\n", locRuns, locWhole, locBoth);
}

TEST_F(OSSaveTest, AnotherFileThatGetsATornFilesInodeIsLeftAlone)
{
    // Killed while the new content is written, then both names removed: the
    // backup stays. New files with the torn content itself are made until
    // one gets the inode number back; opening it changes nothing.
    const fs::path locFile = myDir / "base" / "level.velk";
    const std::string locOld = Text(100000, 'a');
    std::string locMixed;
    for (int locAt = 1; locAt < 100; ++locAt)
    {
        MakeHardLinked(locOld);
        ASSERT_TRUE(SaveKilledAt(locFile, Text(150000, 'A'), locAt, uid_t(-1)));
        locMixed = ReadDisk(locFile);
        if (locMixed != locOld && locMixed.compare(0, 5, "ABCDE") == 0)
            break;
    }
    ASSERT_NE(locMixed, locOld);
    struct stat locStat;
    ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
    fs::remove(locFile);
    fs::remove(myDir / "outside" / "twin.velk");
    fs::path locReused;
    for (int i = 0; i < 4000 && locReused.empty(); ++i)
    {
        const fs::path locNew = myDir / "base" / ("new" + std::to_string(i) + ".velk");
        WriteDisk(locNew, locMixed);
        struct stat locNewStat;
        ASSERT_EQ(stat(locNew.c_str(), &locNewStat), 0);
        if (locNewStat.st_ino == locStat.st_ino && locNewStat.st_dev == locStat.st_dev)
            locReused = locNew;
        else
            fs::remove(locNew);
    }
    if (locReused.empty())
    {
        printf("inode reuse: skipped, the file system gave the inode number to none of 4000 new files\n");
        return;
    }
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(ReadThroughLayer(locReused) == locMixed);
    const std::string locMessage = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(locMessage.find("is not the file"), std::string::npos) << locMessage;
    // Kept under a name given, out of the records' names.
    const std::set<std::string> locLeft = Names(myDir / "data" / "qtools");
    ASSERT_EQ(locLeft.size(), 1u);
    EXPECT_TRUE(ReadDisk(myDir / "data" / "qtools" / *locLeft.begin()) == locOld);
    EXPECT_TRUE(Save(locReused, "saved"));
    EXPECT_EQ(ReadDisk(locReused), "saved");
}

TEST_F(OSSaveTest, TheSweepNeverRemovesTheLiveBackupOfAnotherName)
{
    // proj/big.velk and other/big.velk are one file; its save is killed while
    // it writes; another program replaces proj/big.velk by a rename; our save
    // of proj/big.velk then runs. other/big.velk still gets its old content.
    const fs::path locProj = myDir / "base" / "big.velk";
    const fs::path locOther = myDir / "outside" / "twin.velk";
    const std::string locOld = Text(100000, 'a');
    std::string locMixed;
    for (int locAt = 1; locAt < 100; ++locAt)
    {
        fs::remove_all(myDir / "data" / "qtools");
        MakeHardLinked(locOld);
        fs::rename(myDir / "base" / "level.velk", locProj);
        ASSERT_TRUE(SaveKilledAt(locProj, Text(150000, 'A'), locAt, uid_t(-1)));
        locMixed = ReadDisk(locProj);
        if (locMixed != locOld && locMixed.compare(0, 5, "ABCDE") == 0)
            break;
    }
    ASSERT_NE(locMixed, locOld);
    WriteDisk(myDir / "base" / "replacement", "by another program");
    fs::rename(myDir / "base" / "replacement", locProj);
    EXPECT_TRUE(Save(locProj, "saved"));
    EXPECT_EQ(Names(myDir / "data" / "qtools").size(), 1u);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(ReadThroughLayer(locOther) == locOld);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadDisk(locProj), "saved");
    EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
}

TEST_F(OSSaveTest, FilesSetAsideOrKeptSurviveRenamesThatFail)
{
    const fs::path locFile = myDir / "base" / "pair.tez";
    const auto locBegun = [&](OS_SaveFile* aSave) {
        WriteDisk(locFile, "old");
        return aSave->Begin(locFile.c_str()) && aSave->Write("new", 3) && aSave->Flush();
    };
    {
        // A save that failed is not set aside.
        WriteDisk(locFile, "old");
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()));
        ourWritesLeft = 0;
        EXPECT_FALSE(locSave.WriteAt("new", 3, 0));
        ourWritesLeft = -1;
        EXPECT_FALSE(locSave.SetAside());
        EXPECT_EQ(ReadDisk(locFile), "old");
    }
    {
        // The move aside fails: the save says so, the file stays.
        OS_SaveFile locSave;
        ASSERT_TRUE(locBegun(&locSave));
        ourNoNoReplace = EINVAL;
        ourRenamesToFail = 1;
        EXPECT_FALSE(locSave.SetAside());
        ourNoNoReplace = 0;
        EXPECT_EQ(locSave.GetError(), EIO);
        EXPECT_EQ(ReadDisk(locFile), "old");
    }
    {
        // Set aside, then the rename into place fails: the old file comes back.
        OS_SaveFile locSave;
        ASSERT_TRUE(locBegun(&locSave) && locSave.SetAside());
        ourRenamesToFail = 1;
        EXPECT_FALSE(locSave.Commit());
        EXPECT_EQ(locSave.GetError(), EIO);
        EXPECT_EQ(ReadDisk(locFile), "old");
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pair.tez"});
    }
    {
        // Set aside and committed keeping the old file: Restore puts it back.
        OS_SaveFile locSave;
        ASSERT_TRUE(locBegun(&locSave) && locSave.SetAside() && locSave.CommitKeepingOld());
        EXPECT_EQ(ReadDisk(locFile), "new");
        EXPECT_TRUE(locSave.Restore());
        EXPECT_EQ(ReadDisk(locFile), "old");
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pair.tez"});
    }
    {
        // Restore fails: the old file is not thrown away.
        OS_SaveFile locSave;
        ASSERT_TRUE(locBegun(&locSave) && locSave.CommitKeepingOld());
        ourRenamesToFail = 1;
        EXPECT_FALSE(locSave.Restore());
        std::set<std::string> locLeft = Names(myDir / "base");
        ASSERT_EQ(locLeft.size(), 2u);
        locLeft.erase("pair.tez");
        EXPECT_EQ(ReadDisk(myDir / "base" / *locLeft.begin()), "old");
        fs::remove(myDir / "base" / *locLeft.begin());
    }
    {
        // Without the exchange, kept by a second name; the rename fails: that
        // name goes again and the old file stays.
        OS_SaveFile locSave;
        ASSERT_TRUE(locBegun(&locSave));
        ourNoExchange = EINVAL;
        ourRenamesToFail = 1;
        EXPECT_FALSE(locSave.CommitKeepingOld());
        ourNoExchange = 0;
        EXPECT_EQ(ReadDisk(locFile), "old");
        EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"pair.tez"});
    }
    {
        // The name it would go under is another's file: that file and the
        // target both stay as they are, after the failure and the Abandon.
        OS_SaveFile locSave;
        ASSERT_TRUE(locBegun(&locSave));
        const std::string locUnique = OS_SaveUnique();
        const size_t locDash = locUnique.find('-');
        const fs::path locTaken = myDir / "base" / (".pair.tez." + locUnique.substr(0, locDash + 1) +
                                                    std::to_string(std::stoul(locUnique.substr(locDash + 1)) + 1) + ".tmp");
        WriteDisk(locTaken, "another's");
        EXPECT_FALSE(locSave.SetAside());
        EXPECT_EQ(locSave.GetError(), EEXIST);
        locSave.Abandon();
        EXPECT_EQ(ReadDisk(locFile), "old");
        EXPECT_EQ(ReadDisk(locTaken), "another's");
        fs::remove(locTaken);
    }
    ourRenamesToFail = 0;
}

TEST_F(OSSaveTest, TheBackupBegunWithAnInPlaceSaveStandsWhenTheFileDidNotChange)
{
    // At Commit the old content is read again to see it is the same, not copied again.
    const fs::path locFile = MakeHardLinked(Text(3000, 'a'));
    const auto locBackupInode = [&] {
        const std::set<std::string> locNames = Names(myDir / "data" / "qtools");
        struct stat locStat;
        const bool locOne = locNames.size() == 1 && stat((myDir / "data" / "qtools" / *locNames.begin()).c_str(), &locStat) == 0;
        return locOne ? locStat.st_ino : ino_t(0);
    };
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin(locFile.c_str()) && InPlace(locSave) && locSave.Write("new", 3));
    const ino_t locBegun = locBackupInode();
    ASSERT_NE(locBegun, ino_t(0));
    ASSERT_TRUE(locSave.CommitKeepingOld());
    EXPECT_EQ(locBackupInode(), locBegun);
    EXPECT_TRUE(locSave.Restore());
    EXPECT_TRUE(ReadDisk(locFile) == Text(3000, 'a'));
}

TEST_F(OSSaveTest, ABackupNameTakenByAnotherFileFailsTheSaveAndLeavesThatFile)
{
    // The next name an in-place save would give its backup is taken: Begin
    // fails, and neither the file nor the one under that name changes.
    const fs::path locFile = MakeHardLinked("old");
    const fs::path locRecords = myDir / "data" / "qtools";
    fs::create_directories(locRecords);
    fs::permissions(locRecords, fs::perms::owner_all);
    struct stat locStat;
    ASSERT_EQ(stat(locFile.c_str(), &locStat), 0);
    const std::string locRecord = OS_SaveRecordName(uint64_t(locStat.st_dev), uint64_t(locStat.st_ino));
    const std::string locUnique = OS_SaveUnique();
    const size_t locDash = locUnique.find('-');
    const fs::path locTaken = locRecords / (locRecord.substr(0, locRecord.size() - 4) + locUnique.substr(0, locDash + 1) +
                                            std::to_string(std::stoul(locUnique.substr(locDash + 1)) + 1) + ".tmp");
    WriteDisk(locTaken, "another's");
    OS_SaveFile locSave;
    EXPECT_FALSE(locSave.Begin(locFile.c_str()));
    EXPECT_EQ(locSave.GetError(), EEXIST);
    locSave.Abandon();
    EXPECT_EQ(ReadDisk(locFile), "old");
    EXPECT_EQ(ReadDisk(locTaken), "another's");
    EXPECT_EQ(Names(locRecords), std::set<std::string>{locTaken.filename().string()});
}

TEST_F(OSSaveTest, AnInPlaceSaveOfAFileRemovedMeanwhileFailsWithoutABackup)
{
    const fs::path locFile = MakeHardLinked("old");
    OS_SaveFile locSave;
    ASSERT_TRUE(locSave.Begin(locFile.c_str()) && InPlace(locSave) && locSave.Write("new", 3));
    fs::remove(locFile);
    EXPECT_FALSE(locSave.Commit());
    EXPECT_EQ(locSave.GetError(), ENOENT);
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.velk"), "old");
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{});
}

TEST_F(OSSaveTest, AKillBetweenAPairsCommitsLeavesBothOldOrBothNew)
{
    // A .loc rewritten in place and kept for its .tez, killed before or after
    // the .tez goes in: the next open finds the .loc old beside the old .tez
    // (set aside, gone from its name) or new beside the new.
    const fs::path locLoc = myDir / "base" / "pair.loc";
    const fs::path locTez = myDir / "base" / "pair.tez";
    for (int locTezIn = 0; locTezIn < 2; ++locTezIn)
    {
        SCOPED_TRACE(locTezIn ? ".tez in" : ".tez not in");
        WriteDisk(locTez, "old tez");
        WriteDisk(locLoc, "old loc");
        fs::remove(myDir / "outside" / "pair.loc");
        fs::create_hard_link(locLoc, myDir / "outside" / "pair.loc");
        pid_t locChild = fork();
        if (locChild == 0)
        {
            OS_SaveFile locTezFile, locLocFile;
            const bool locDone = locTezFile.Begin(locTez.c_str()) && locTezFile.Write("new tez!", 8) &&
                                 locTezFile.Flush() && locLocFile.Begin(locLoc.c_str()) &&
                                 locLocFile.Write("new loc", 7) && locLocFile.Flush() && locTezFile.SetAside() &&
                                 locLocFile.CommitKeepingOld(&locTezFile) && (!locTezIn || locTezFile.Commit());
            raise(locDone ? SIGKILL : SIGABRT);
        }
        int locStatus = 0;
        waitpid(locChild, &locStatus, 0);
        ASSERT_TRUE(WIFSIGNALED(locStatus) && WTERMSIG(locStatus) == SIGKILL);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ReadThroughLayer(locLoc), locTezIn ? "new loc" : "old loc");
        ::testing::internal::GetCapturedStderr();
        if (locTezIn)
        {
            EXPECT_EQ(ReadDisk(locTez), "new tez!");
        }
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
    }
}

TEST_F(OSSaveTest, WithoutAHomeAFileIsNotRewrittenInPlace)
{
    // No per-user folder for its backup: the save fails, the file stays.
    const fs::path locFile = MakeHardLinked("old");
    const std::string locHome = getenv("HOME") ? getenv("HOME") : "";
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    OS_SaveFile locSave;
    const bool locSaved = locSave.Begin(locFile.c_str()) && locSave.Write("new", 3) && locSave.Commit();
    const int locError = locSave.GetError();
    setenv("HOME", locHome.c_str(), 1);
    EXPECT_FALSE(locSaved);
    EXPECT_EQ(locError, EACCES);
    EXPECT_EQ(ReadDisk(myDir / "outside" / "twin.velk"), "old");
    struct stat locStat;
    EXPECT_EQ(fstat(0, &locStat), 0);
}

TEST_F(OSSaveTest, AFileWrittenByAnotherProgramDuringASaveIsBackedUpAsItIsAtCommit)
{
    // Changed to another length, and to other bytes of the same length, after
    // Begin: a failure that cannot put the old content back keeps what the
    // file held at Commit, and the next open puts that back.
    for (const std::string& locMeanwhile : {Text(1500, 'b'), Text(1000, 'c')})
    {
        SCOPED_TRACE(locMeanwhile.size());
        const fs::path locFile = MakeHardLinked(Text(1000, 'a'));
        const int locHandles = OpenHandleCount();
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locFile.c_str()) && locSave.Write(Text(3000, 'A').data(), 3000));
        WriteDisk(myDir / "outside" / "twin.velk", locMeanwhile);
        // The backup made again, the header, part of the new content, none of the old.
        ourWritesLeft = int64_t(locMeanwhile.size()) + 3000 + 1000;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(locSave.Commit());
        ::testing::internal::GetCapturedStderr();
        ourWritesLeft = -1;
        ASSERT_NE(locSave.GetKeptPath(), nullptr);
        EXPECT_TRUE(ReadDisk(locSave.GetKeptPath()).substr(0, locMeanwhile.size()) == locMeanwhile);
        EXPECT_TRUE(ReadThroughLayer(locFile) == locMeanwhile);
        locSave.Abandon();
        EXPECT_EQ(Names(myDir / "data" / "qtools"), std::set<std::string>{});
        // The first backup's handle closed with it when the backup was made again.
        EXPECT_EQ(OpenHandleCount(), locHandles);
    }
}
