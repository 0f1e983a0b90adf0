// Lock files between editors: real files, real processes racing for one lock
// or one left by a process gone, links and folders in a lock's place, folders
// no lock can be made in, and the directory scan that shows who holds what.
#include "owncode/directoryscanner.h"
#include "owncode/filelocker.h"
#include "platform/os/tests/os_open_shim.h"

#include "platform/ui/ui_dialog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// While set, the system has no unnamed files, as some file systems have none:
// a lock is then made under its own name and written there.
static std::atomic<bool> ourNoUnnamedFiles{false};
// Unnamed files refused meanwhile.
static std::atomic<int> ourUnnamedRefused{0};

int OS_TestOpenAt(int aDir, const char* aPath, int aFlags, mode_t aMode)
{
    if (ourNoUnnamedFiles.load() && (aFlags & O_TMPFILE) == O_TMPFILE)
    {
        ++ourUnnamedRefused;
        errno = EOPNOTSUPP;
        return -1;
    }
    return static_cast<int>(syscall(SYS_openat, aDir, aPath, aFlags, aMode));
}

namespace
{
class LockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::temp_directory_path() /
                ("filelocker_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        // Lock names are made from paths free of links.
        myDir = fs::canonical(myDir);
    }
    void TearDown() override { fs::remove_all(myDir); }
    std::string Make(const std::string& aName, const std::string& aText = "x")
    {
        fs::path locPath = myDir / aName;
        fs::create_directories(locPath.parent_path());
        std::ofstream(locPath, std::ios::binary) << aText;
        return locPath.string();
    }
    std::string Read(const std::string& aPath)
    {
        std::ifstream locFile(aPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(locFile), {});
    }
    fs::path myDir;
};

// The bytes a lock of this process holds.
std::string locOwnBytes()
{
    return FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(getpid());
}

// A process id that no process has: a child that has ended and been reaped.
pid_t locGonePid()
{
    pid_t locChild = fork();
    if (locChild == 0)
        _exit(0);
    int locStatus = 0;
    waitpid(locChild, &locStatus, 0);
    return locChild;
}

size_t locOpenDescriptors()
{
    return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(LockTest, LockHoldsTheComputerNameAndProcessAndMovesWithTheOpenFile)
{
    std::string locA = Make("a.velk");
    std::string locB = Make("b.velk");
    FileLocker locLocker;
    std::string locMessage;
    ASSERT_TRUE(locLocker.Lock(locA.c_str(), &locMessage)) << locMessage;
    ASSERT_FALSE(FileLocker::GetComputerName().empty());
    EXPECT_EQ(Read(locA + ".lock"), locOwnBytes());
    EXPECT_EQ(locLocker.GetHeldLock(), locA + ".lock");
    EXPECT_TRUE(locLocker.GetNotes().empty());
    EXPECT_TRUE(locLocker.CanSave(locA.c_str(), &locMessage));

    // The same file again: released first, then taken anew.
    EXPECT_TRUE(locLocker.Lock(locA.c_str(), &locMessage)) << locMessage;
    // Another file: the first lock leaves.
    ASSERT_TRUE(locLocker.Lock(locB.c_str(), &locMessage));
    EXPECT_FALSE(fs::exists(locA + ".lock"));
    EXPECT_TRUE(fs::exists(locB + ".lock"));
    locLocker.Unlock();
    EXPECT_FALSE(fs::exists(locB + ".lock"));
    EXPECT_TRUE(locLocker.GetHeldLock().empty());

    {
        FileLocker locScoped;
        ASSERT_TRUE(locScoped.Lock(locA.c_str(), &locMessage));
    }
    EXPECT_FALSE(fs::exists(locA + ".lock")); // gone with the editor
}

TEST_F(LockTest, ForeignLiveAndOlderLocksRefuseSavingButNotReading)
{
    const std::string locGone = std::to_string(locGonePid());
    std::string locA = Make("a.velk");
    // Another computer's lock, its process id one that runs nowhere here.
    Make("a.velk.lock", std::string("OTHERBOX\0", 9) + locGone);
    FileLocker locLocker;
    std::string locMessage;
    EXPECT_FALSE(locLocker.Lock(locA.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "File '" + locA + "' is in use by 'OTHERBOX', you won't be able to save any changes");
    EXPECT_TRUE(locLocker.GetHeldLock().empty());
    EXPECT_FALSE(locLocker.CanSave(locA.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "File '" + locA + "' is in use by 'OTHERBOX', you may not save to this filename");
    // The foreign lock is untouched by the refused editor's unlock.
    locLocker.Unlock();
    EXPECT_EQ(Read(locA + ".lock"), std::string("OTHERBOX\0", 9) + locGone);

    // This computer's: a running process (this one), an older editor's lock
    // without a process id, and malformed ids all hold the file.
    const std::string locHere = FileLocker::GetComputerName() + std::string(1, '\0');
    for (const std::string& locBytes : {locHere + std::to_string(getpid()), locHere, locHere + "0" + locGone})
    {
        std::string locB = Make("b.velk");
        Make("b.velk.lock", locBytes);
        EXPECT_FALSE(locLocker.Lock(locB.c_str(), &locMessage)) << locBytes.substr(locHere.size());
        EXPECT_EQ(locMessage, "File '" + locB + "' is in use by '" + FileLocker::GetComputerName() +
                                  "', you won't be able to save any changes");
        EXPECT_FALSE(locLocker.CanSave(locB.c_str(), &locMessage));
        EXPECT_EQ(Read(locB + ".lock"), locBytes);
    }

    // Locks that name nobody, and anything else in a lock's place (a link to
    // nothing, to itself or to another's lock, a pipe, a folder): the message
    // names the lock file and what is there; a link is never read through.
    const std::string locC = Make("c.velk");
    const std::string locLock = locC + ".lock";
    const std::string locNoEditor =
        "File '" + locC + "' is locked by the lock file '" + locLock + "', which names no editor, ";
    const std::string locPlace = "File '" + locC + "' is locked by '" + locLock + "', ";
    const std::string locElsewhere = Make("elsewhere", std::string("OTHERBOX\0", 9) + "1");
    const struct
    {
        std::string myStart;
        std::string myWhy;
    } locCases[] = {{"", locNoEditor},
                    {std::string(1, '\0') + std::to_string(getpid()), locNoEditor},
                    {"loop", locPlace + "a symbolic link in the lock file's place, "},
                    {"dangling", locPlace + "a symbolic link in the lock file's place, "},
                    {"to a lock", locPlace + "a symbolic link in the lock file's place, "},
                    {"pipe", locPlace + "a pipe in the lock file's place, "},
                    {"folder", locPlace + "a folder in the lock file's place, "}};
    for (const auto& locCase : locCases)
    {
        SCOPED_TRACE(locCase.myStart);
        fs::remove_all(locLock);
        if (locCase.myStart == "loop")
            fs::create_symlink(locLock, locLock);
        else if (locCase.myStart == "dangling")
            fs::create_symlink(myDir / "gone", locLock);
        else if (locCase.myStart == "to a lock")
            fs::create_symlink(locElsewhere, locLock);
        else if (locCase.myStart == "pipe")
            ASSERT_EQ(mkfifo(locLock.c_str(), 0600), 0);
        else if (locCase.myStart == "folder")
            fs::create_directories(fs::path(locLock) / "inside");
        else
            Make("c.velk.lock", locCase.myStart);
        EXPECT_FALSE(locLocker.Lock(locC.c_str(), &locMessage));
        EXPECT_EQ(locMessage, locCase.myWhy + "you won't be able to save any changes");
        EXPECT_TRUE(locLocker.GetHeldLock().empty());
        EXPECT_FALSE(locLocker.CanSave(locC.c_str(), &locMessage));
        EXPECT_EQ(locMessage, locCase.myWhy + "you may not save to this filename");
        std::string locOwner = "before";
        EXPECT_TRUE(FileLocker::ReadOwner(locC.c_str(), &locOwner));
        EXPECT_EQ(locOwner, "");
        // Nothing made through the link, nothing left behind.
        EXPECT_FALSE(fs::exists(myDir / "gone"));
        EXPECT_EQ(Read(locElsewhere), std::string("OTHERBOX\0", 9) + "1");
    }
    fs::remove_all(locLock);
}

TEST_F(LockTest, AFileLeftUnlockedAtItsOpenIsSavedOnlyUnderItsLock)
{
    FileLocker locLocker;
    std::string locMessage;
    // A link to nothing in the lock's place at the open: refused, and saving
    // stays refused until the link goes; then the save takes the lock first.
    const std::string locA = Make("a.velk");
    fs::create_symlink(myDir / "gone.lock", locA + ".lock");
    EXPECT_FALSE(locLocker.Lock(locA.c_str(), &locMessage));
    EXPECT_FALSE(locLocker.CanSave(locA.c_str(), &locMessage));
    EXPECT_FALSE(fs::exists(myDir / "gone.lock"));
    fs::remove(locA + ".lock");
    EXPECT_TRUE(locLocker.CanSave(locA.c_str(), &locMessage));
    EXPECT_EQ(locLocker.GetHeldLock(), locA + ".lock");
    EXPECT_EQ(Read(locA + ".lock"), locOwnBytes());

    // A lock that cannot be made (no such folder): the console says why, at
    // the open and again at the save, which goes ahead as with no lock.
    const std::string locMissing = (myDir / "nowhere" / "d.velk").string();
    EXPECT_FALSE(locLocker.Lock(locMissing.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "Failed to lock '" + locMissing + "'");
    EXPECT_FALSE(fs::exists(locA + ".lock")); // the earlier lock went
    const std::string locWhy = "Lock file '" + locMissing + ".lock' cannot be made (" + strerror(ENOENT) + "): '" +
                               locMissing + "' is ";
    EXPECT_EQ(locLocker.GetNotes(), std::vector<std::string>{locWhy + "open without a lock"});
    locMessage.clear();
    EXPECT_TRUE(locLocker.CanSave(locMissing.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "");
    EXPECT_EQ(locLocker.GetNotes(), std::vector<std::string>{locWhy + "saved without a lock"});
    // Another name is saved as before: nothing holds it.
    EXPECT_TRUE(locLocker.CanSave(locA.c_str(), &locMessage));
    EXPECT_TRUE(locLocker.GetHeldLock().empty());
    // A new file forgets the refusal.
    locLocker.Unlock();
    EXPECT_TRUE(locLocker.CanSave(locMissing.c_str(), &locMessage));
    EXPECT_TRUE(locLocker.GetNotes().empty());
}

TEST_F(LockTest, AFolderTheUserMayNotWriteHoldsNoLockOfItsAndKeepsOthers)
{
    // Run as an ordinary user: root may write any folder.
    const std::string locShut = (myDir / "shut").string();
    const std::string locA = Make("shut/a.velk");
    const std::string locB = Make("shut/b.velk");
    const std::string locC = Make("shut/c.velk");
    Make("shut/b.velk.lock", std::string("OTHERBOX\0", 9) + "1");
    Make("shut/c.velk.lock", FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(locGonePid()));
    fs::permissions(locShut, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::string locWhy = std::string("cannot be made (") + strerror(EACCES) + ")";
    for (int locNoLink = 0; locNoLink < 2; locNoLink++)
    {
        pid_t locChild = fork();
        if (locChild == 0)
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(255);
            ourNoUnnamedFiles = locNoLink == 1;
            FileLocker locLocker;
            std::string locMessage;
            int locFaults = 0;
            locFaults += locLocker.Lock(locA.c_str(), &locMessage) ? 1 : 0;
            locFaults += locMessage == "Failed to lock '" + locA + "'" ? 0 : 2;
            locFaults += locLocker.GetNotes().size() == 1 && locLocker.GetNotes()[0].find(locWhy) != std::string::npos
                             ? 0
                             : 4;
            // Saved as with no lock, the console saying so.
            locFaults += locLocker.CanSave(locA.c_str(), &locMessage) ? 0 : 8;
            locFaults += locLocker.GetNotes().size() == 1 &&
                                 locLocker.GetNotes()[0].find("saved without a lock") != std::string::npos
                             ? 0
                             : 8;
            // Another's lock there, and a stale one that cannot be removed, still hold their files.
            locFaults += locLocker.Lock(locB.c_str(), &locMessage) ? 16 : 0;
            locFaults += locMessage.find("in use by 'OTHERBOX'") != std::string::npos ? 0 : 32;
            locFaults += locLocker.CanSave(locB.c_str(), &locMessage) ? 32 : 0;
            locFaults += locLocker.Lock(locC.c_str(), &locMessage) ? 64 : 0;
            locFaults += locMessage.find("in use by '" + FileLocker::GetComputerName() + "'") != std::string::npos ? 0
                                                                                                            : 64;
            _exit(locFaults);
        }
        int locStatus = -1;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        ASSERT_TRUE(WIFEXITED(locStatus));
        if (WEXITSTATUS(locStatus) == 255)
            GTEST_SKIP() << "no ordinary user to run as";
        EXPECT_EQ(WEXITSTATUS(locStatus), 0) << (locNoLink ? "without links" : "linked in");
    }
    EXPECT_FALSE(fs::exists(locA + ".lock"));
    fs::permissions(locShut, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(LockTest, ReadingTakesTheTextToTheNulAndTheProcessAfterIt)
{
    // A lock with no NUL and over 4096 bytes: only the first 4096 are read.
    std::string locC = Make("c.velk");
    Make("c.velk.lock", std::string(5000, 'n'));
    std::string locOwner;
    ASSERT_TRUE(FileLocker::ReadOwner(locC.c_str(), &locOwner));
    EXPECT_EQ(locOwner.size(), 4096u);
    // A missing lock names nobody, whatever the string held before.
    locOwner = "stale";
    EXPECT_FALSE(FileLocker::ReadOwner((myDir / "none.velk").c_str(), &locOwner));
    EXPECT_EQ(locOwner, "");
    // One byte and no NUL is a name; the count given bounds the text.
    Make("f.velk.lock", "A");
    EXPECT_TRUE(FileLocker::ReadOwner((myDir / "f.velk").c_str(), &locOwner));
    EXPECT_EQ(locOwner, "A");
    EXPECT_EQ(FileLocker::ParseOwner("abc", 2), "ab");
    EXPECT_EQ(FileLocker::ParseOwner("ab\0cd", 5), "ab");
    EXPECT_EQ(FileLocker::ParseOwner(nullptr, 3), "");

    const struct
    {
        std::string myBytes;
        int64_t myId;
    } locIds[] = {
        {std::string("box\0" "1234", 8), 1234},
        {std::string("box\0" "1234\0junk", 13), 1234},
        {std::string("\0" "7", 2), 7},
        {std::string("box\0" "2147483647", 14), 2147483647},
        {std::string("box\0" "2147483648", 14), 0},
        {std::string("box\0" "0", 5), 0},
        {std::string("box\0" "012", 7), 0},
        {std::string("box\0" "12a", 7), 0},
        {std::string("box\0" " 12", 7), 0},
        {std::string("box\0", 4), 0},
        {"box1234", 0},
        {std::string(4095, 'n') + std::string("\0" "5", 2), 0},
        {std::string(4094, 'n') + std::string("\0" "56", 3), 5},
    };
    for (const auto& locCase : locIds)
        EXPECT_EQ(FileLocker::ParseProcessId(locCase.myBytes.data(), locCase.myBytes.size()), locCase.myId)
            << locCase.myBytes.substr(0, 20);
    EXPECT_EQ(FileLocker::ParseProcessId(nullptr, 5), 0);

    // The name written is the machine's own.
    char locHost[256] = {};
    if (gethostname(locHost, sizeof(locHost) - 1) == 0 && locHost[0])
    {
        EXPECT_EQ(FileLocker::GetComputerName(), std::string(locHost));
    }
}

TEST_F(LockTest, EveryNameOfOneFileSharesItsLock)
{
    std::string locReal = Make("data/level.velk");
    fs::create_symlink("data/level.velk", myDir / "alias.velk");
    fs::create_symlink(myDir / "alias.velk", myDir / "chain.velk");
    fs::create_symlink("data", myDir / "folder");
    fs::create_symlink("LEVEL.VELK", myDir / "data" / "cased.velk"); // as made on a system blind to case
    fs::create_symlink("level.velk", myDir / "data" / "l");
    fs::create_symlink("l", myDir / "data" / "short.velk");
    FileLocker locHolder;
    std::string locMessage;
    ASSERT_TRUE(locHolder.Lock((myDir / "alias.velk").c_str(), &locMessage)) << locMessage;
    EXPECT_EQ(locHolder.GetHeldLock(), locReal + ".lock");
    EXPECT_EQ(Read(locReal + ".lock"), locOwnBytes());
    EXPECT_FALSE(fs::exists(myDir / "alias.velk.lock"));
    EXPECT_TRUE(locHolder.CanSave(locReal.c_str(), &locMessage));

    const fs::path locNames[] = {myDir / "data" / "level.velk",   myDir / "chain.velk",
                                 myDir / "folder" / "level.velk", myDir / "DATA" / "Level.Velk",
                                 myDir / "data" / "cased.velk",   myDir / "data" / "short.velk",
                                 myDir / "folder" / ".." / "data" / "level.velk"};
    for (const fs::path& locName : locNames)
    {
        FileLocker locOther;
        EXPECT_FALSE(locOther.Lock(locName.c_str(), &locMessage)) << locName;
        EXPECT_EQ(locMessage, "File '" + locName.string() + "' is in use by '" + FileLocker::GetComputerName() +
                                  "', you won't be able to save any changes");
        EXPECT_FALSE(locOther.CanSave(locName.c_str(), &locMessage)) << locName;
    }
    locHolder.Unlock();
    EXPECT_FALSE(fs::exists(locReal + ".lock"));
    for (const fs::path& locName : locNames)
        EXPECT_EQ(FileLocker::GetLockName(locName.c_str()), locReal + ".lock") << locName;

    // A lock made in another case by a system blind to case is the file's lock.
    Make("data/LEVEL.VELK.LOCK", "WINBOX");
    FileLocker locOther;
    EXPECT_FALSE(locOther.Lock(locReal.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "File '" + locReal + "' is in use by 'WINBOX', you won't be able to save any changes");
    fs::remove(myDir / "data" / "LEVEL.VELK.LOCK");

    // A link to a file not made yet: the lock is the file's-to-be.
    fs::create_symlink("data/new.velk", myDir / "ahead.velk");
    ASSERT_TRUE(locOther.Lock((myDir / "ahead.velk").c_str(), &locMessage)) << locMessage;
    EXPECT_EQ(locOther.GetHeldLock(), (myDir / "data" / "new.velk.lock").string());

    // Hard links lead to no lock of their own: the holder is told.
    fs::create_hard_link(locReal, myDir / "hard.velk");
    ASSERT_TRUE(locOther.Lock(locReal.c_str(), &locMessage)) << locMessage;
    EXPECT_EQ(locOther.GetNotes(),
              std::vector<std::string>{"'" + locReal + "' has 2 names (hard links): an editor that opens it by "
                                                       "another name is not told of this lock"});
    EXPECT_TRUE(fs::exists(locReal + ".lock"));
}

// Children that try Lock at once on aPath when the gate opens and keep what
// they got until the parent has every answer; the winners' count.
int locRace(const std::string& aPath, int aCount)
{
    int locGate[2];
    int locAnswers[2];
    int locEnd[2];
    if (pipe(locGate) != 0 || pipe(locAnswers) != 0 || pipe(locEnd) != 0)
        return -1;
    std::vector<pid_t> locChildren;
    for (int i = 0; i < aCount; i++)
    {
        pid_t locChild = fork();
        if (locChild == 0)
        {
            close(locGate[1]);
            close(locEnd[1]);
            char locByte;
            // Everyone starts together when the parent closes the gate.
            while (read(locGate[0], &locByte, 1) > 0)
            {
            }
            {
                FileLocker locLocker;
                std::string locMessage;
                locByte = locLocker.Lock(aPath.c_str(), &locMessage) ? 'y' : 'n';
                if (write(locAnswers[1], &locByte, 1) != 1)
                    _exit(2);
                // The lock is held (the process runs) until every child has answered.
                while (read(locEnd[0], &locByte, 1) > 0)
                {
                }
            }
            _exit(0);
        }
        locChildren.push_back(locChild);
    }
    close(locGate[0]);
    close(locAnswers[1]);
    close(locEnd[0]);
    close(locGate[1]);
    int locWinners = 0;
    char locByte;
    for (int i = 0; i < aCount && read(locAnswers[0], &locByte, 1) == 1; i++)
        locWinners += locByte == 'y';
    close(locEnd[1]);
    close(locAnswers[0]);
    for (pid_t locChild : locChildren)
        waitpid(locChild, nullptr, 0);
    return locWinners;
}

TEST_F(LockTest, ProcessesRacingForOneLockOrOneStaleLockGetOneWinner)
{
    std::string locPath = Make("race.velk");
    fs::create_symlink("race.velk", myDir / "link.velk");
    const std::string locStale = FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(locGonePid());
    for (int locRound = 0; locRound < 10; locRound++)
    {
        // Half the rounds start from a lock of a process that has gone.
        if (locRound % 2)
            Make("race.velk.lock", locStale);
        EXPECT_EQ(locRace(locRound % 3 ? locPath : (myDir / "link.velk").string(), 20), 1) << "round " << locRound;
        // The winner's lock went with it: a whole lock each time, no half of one.
        EXPECT_FALSE(fs::exists(locPath + ".lock")) << "round " << locRound;
        EXPECT_EQ(std::distance(fs::directory_iterator(myDir), fs::directory_iterator()), 2);
    }
}

TEST_F(LockTest, StaleLockOfThisComputerIsTakenOverAndSaid)
{
    std::string locA = Make("a.velk");
    const std::string locGone = std::to_string(locGonePid());
    Make("a.velk.lock", FileLocker::GetComputerName() + std::string(1, '\0') + locGone);
    FileLocker locLocker;
    std::string locMessage;
    // Saving over it is allowed: its editor is gone.
    EXPECT_TRUE(locLocker.CanSave(locA.c_str(), &locMessage));
    ASSERT_TRUE(locLocker.Lock(locA.c_str(), &locMessage)) << locMessage;
    EXPECT_EQ(Read(locA + ".lock"), locOwnBytes());
    EXPECT_EQ(locLocker.GetNotes(),
              std::vector<std::string>{"Lock file '" + locA + ".lock' was left by a program that is no longer running "
                                       "(process " + locGone + " on this computer): it is this editor's now"});
    // Taken anew by the same editor: nothing stale to tell.
    ASSERT_TRUE(locLocker.Lock(locA.c_str(), &locMessage));
    EXPECT_TRUE(locLocker.GetNotes().empty());
}

TEST_F(LockTest, UnlockLeavesALockThatIsNotItsOwn)
{
    std::string locA = Make("a.velk");
    FileLocker locLocker;
    std::string locMessage;
    ASSERT_TRUE(locLocker.Lock(locA.c_str(), &locMessage));
    // Deleted by hand and taken by another computer meanwhile.
    fs::remove(locA + ".lock");
    Make("a.velk.lock", std::string("OTHERBOX\0", 9) + std::to_string(getpid()));
    EXPECT_FALSE(locLocker.CanSave(locA.c_str(), &locMessage));
    locLocker.Unlock();
    EXPECT_TRUE(fs::exists(locA + ".lock"));
    fs::remove(locA + ".lock");

    // Taken by another editor of this process while the first's lock file was
    // moved aside by hand: the same bytes, another file.
    ASSERT_TRUE(locLocker.Lock(locA.c_str(), &locMessage));
    fs::rename(locA + ".lock", locA + ".aside");
    FileLocker locSecond;
    ASSERT_TRUE(locSecond.Lock(locA.c_str(), &locMessage));
    EXPECT_FALSE(locLocker.CanSave(locA.c_str(), &locMessage));
    locLocker.Unlock();
    EXPECT_EQ(locSecond.GetHeldLock(), locA + ".lock");
    EXPECT_TRUE(fs::exists(locA + ".lock"));
    EXPECT_TRUE(locSecond.CanSave(locA.c_str(), &locMessage));
}

TEST_F(LockTest, NoDescriptorIsKeptAndNoHalfLockIsLeft)
{
    std::string locA = Make("a.velk");
    std::string locB = Make("b.velk");
    Make("b.velk.lock", "OTHERBOX");
    fs::create_directories(myDir / "c.velk.lock");
    const std::string locStale = FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(locGonePid());
    const size_t locOpen = locOpenDescriptors();
    for (int locNoLink = 0; locNoLink < 2; locNoLink++)
    {
        ourNoUnnamedFiles = locNoLink == 1;
        FileLocker locLocker;
        std::string locMessage;
        for (int i = 0; i < 100; i++)
        {
            Make("a.velk.lock", locStale);
            EXPECT_TRUE(locLocker.Lock(locA.c_str(), &locMessage));
            EXPECT_FALSE(locLocker.Lock(locB.c_str(), &locMessage));
            EXPECT_FALSE(locLocker.Lock((myDir / "c.velk").c_str(), &locMessage));
            EXPECT_TRUE(locLocker.Lock(locA.c_str(), &locMessage));
            EXPECT_TRUE(locLocker.CanSave(locA.c_str(), &locMessage));
            std::string locOwner;
            FileLocker::ReadOwner(locB.c_str(), &locOwner);
        }
        EXPECT_EQ(Read(locA + ".lock"), locOwnBytes());
        EXPECT_EQ(locOpenDescriptors(), locOpen) << (locNoLink ? "without links" : "linked in");

        // A write that fails (the file size limit, as a full disk would) leaves
        // no lock, whole or half; where another's lock is there, that is what
        // the editor is told.
        locLocker.Unlock();
        pid_t locChild = fork();
        if (locChild == 0)
        {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit locLimit = {3, 3};
            setrlimit(RLIMIT_FSIZE, &locLimit);
            FileLocker locLimited;
            bool locLocked = locLimited.Lock(locA.c_str(), &locMessage);
            bool locSaid = locMessage == "Failed to lock '" + locA + "'";
            bool locOther = !locLimited.Lock(locB.c_str(), &locMessage) &&
                            locMessage.find("in use by 'OTHERBOX'") != std::string::npos;
            _exit(!locLocked && locSaid && locOther && !fs::exists(locA + ".lock") ? 0 : 1);
        }
        int locStatus = -1;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0) << (locNoLink ? "without links" : "linked in");
        EXPECT_FALSE(fs::exists(locA + ".lock"));
    }
    EXPECT_GE(ourUnnamedRefused.load(), 200);
    ourNoUnnamedFiles = false;
    EXPECT_EQ(std::distance(fs::directory_iterator(myDir), fs::directory_iterator()), 4);
}

// --- the directory scan ---

enum
{
    ID_TREE = 100,
};
const UI_ControlTemplate ourControls[] = {{ID_TREE, UI_CONTROL_TREE, nullptr, 0, 0, 200, 200, 0}};
const UI_DialogTemplate ourTemplate = {1, "Scan", 200, 200, "MS Sans Serif", 8, ourControls, 1};

intptr_t locProc(UI_Dialog*, const UI_Message&)
{
    return 0;
}

struct Progress : ScanProgress
{
    void OnScanProgress(const char* aName) override { myNames.push_back(aName); }
    std::vector<std::string> myNames;
};

// "label[image]" of every item, children in braces.
std::string locDump(UI_Dialog* aTree, UI_TreeItem aParent)
{
    std::string locText;
    for (UI_TreeItem locItem = UI_TreeGetRelated(aTree, ID_TREE, aParent, UI_TREE_CHILD); locItem;
         locItem = UI_TreeGetRelated(aTree, ID_TREE, locItem, UI_TREE_NEXT))
    {
        std::string locLabel;
        UI_TreeGetText(aTree, ID_TREE, locItem, &locLabel);
        locText += locLabel + "[" + std::to_string(UI_TreeGetImage(aTree, ID_TREE, locItem)) + "]";
        if (UI_TreeGetRelated(aTree, ID_TREE, locItem, UI_TREE_CHILD))
            locText += "{" + locDump(aTree, locItem) + "}";
        locText += " ";
    }
    return locText;
}

TEST_F(LockTest, ScanShowsMatchingFilesLocksAndOnlyDirectoriesHoldingThem)
{
    Make("top.VELK");
    Make("notes.txt");
    Make(".velk"); // no name before the dot
    Make("data/a/b.velk");
    Make("data/a/b.velk.lock", std::string("BOX7\0", 5));
    Make("data/ab/x.txt");          // a sibling whose name extends "a": no match inside
    Make("data/bc/deep/er/z.velk");
    fs::create_directories(myDir / "empty");
    fs::create_symlink(myDir / "data", myDir / "data" / "bc" / "loop"); // back up the tree

    UI_Dialog* locTree = UI_CreateDialog(ourTemplate, locProc, nullptr);
    ASSERT_NE(locTree, nullptr);
    DirectoryScanner locScanner;
    Progress locProgress;
    ASSERT_TRUE(locScanner.ScanDirectory(&locProgress, locTree, ID_TREE, UI_TREE_ROOT, myDir.string().c_str(),
                                         "velk"));
    EXPECT_EQ(locDump(locTree, UI_TREE_ROOT),
              "data[0]{a[0]{b.velk (locked by BOX7)[2] } bc[0]{deep[0]{er[0]{z.velk[1] } } } } top.VELK[1] ");
    // Each file once, the loop not followed.
    ASSERT_EQ(locScanner.GetPaths().size(), 3u);
    std::map<std::string, int> locSeen;
    for (const std::string& locName : locProgress.myNames)
        locSeen[locName]++;
    EXPECT_EQ(locSeen["z.velk"], 1);
    EXPECT_EQ(locSeen["empty"], 1);

    // The file items point at their stored paths.
    UI_TreeItem locTop = UI_TreeGetRelated(locTree, ID_TREE, UI_TREE_ROOT, UI_TREE_CHILD);
    locTop = UI_TreeGetRelated(locTree, ID_TREE, locTop, UI_TREE_NEXT);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(UI_TreeGetData(locTree, ID_TREE, locTop))),
              (myDir / "top.VELK").string());

    // A directory that cannot be listed fails the scan.
    EXPECT_FALSE(locScanner.ScanDirectory(nullptr, locTree, ID_TREE, UI_TREE_ROOT,
                                          (myDir / "missing").string().c_str(), "velk"));
    UI_DestroyDialog(locTree);
}
} // namespace

TEST_F(LockTest, APathTooLongToResolveIsLockedByItsOwnNameOrNotAtAll)
{
    // Longer than any path the system takes: its lock's name is its own with
    // ".lock", and no lock can be made, which Lock says.
    std::string locLong = myDir.string();
    while (locLong.size() <= PATH_MAX)
        locLong += "/folder";
    locLong += "/level.velk";
    EXPECT_EQ(FileLocker::GetLockName(locLong.c_str()), locLong + ".lock");
    FileLocker locLocker;
    std::string locMessage;
    EXPECT_FALSE(locLocker.Lock(locLong.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "Failed to lock '" + locLong + "'");
    EXPECT_EQ(locLocker.GetHeldLock(), "");
}

// An editor started with its standard input closed gets descriptor 0 for the
// first file it opens: a lock read through it is still another's lock, a stale
// one is still taken over, and its own lock is still made.
TEST_F(LockTest, AnEditorWithoutStandardInputSeesLocksAsAnyOther)
{
    std::string locA = Make("a.velk");
    std::string locB = Make("b.velk");
    std::string locC = Make("c.velk");
    Make("b.velk.lock", std::string("OTHERBOX\0", 9) + "1");
    Make("c.velk.lock", FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(locGonePid()));
    for (int locNoLink = 0; locNoLink < 2; locNoLink++)
    {
        pid_t locChild = fork();
        if (locChild == 0)
        {
            close(0);
            ourNoUnnamedFiles = locNoLink == 1;
            ourUnnamedRefused = 0;
            FileLocker locLocker;
            std::string locMessage;
            int locFaults = 0;
            locFaults += locLocker.Lock(locB.c_str(), &locMessage) ? 1 : 0;
            locFaults += locMessage.find("'OTHERBOX'") == std::string::npos ? 2 : 0;
            locFaults += fcntl(0, F_GETFD) == -1 ? 0 : 4; // nothing kept open
            locFaults += locLocker.Lock(locC.c_str(), &locMessage) ? 0 : 8;
            locFaults += locLocker.Lock(locA.c_str(), &locMessage) ? 0 : 16;
            locFaults += Read(locA + ".lock") == locOwnBytes() ? 0 : 32;
            std::string locOwner;
            locFaults += FileLocker::ReadOwner(locB.c_str(), &locOwner) && locOwner == "OTHERBOX" ? 0 : 64;
            locFaults += (ourUnnamedRefused.load() > 0) == (locNoLink == 1) ? 0 : 128;
            locLocker.Unlock();
            _exit(locFaults);
        }
        int locStatus = -1;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        ASSERT_TRUE(WIFEXITED(locStatus));
        EXPECT_EQ(WEXITSTATUS(locStatus), 0) << (locNoLink ? "without links" : "linked in");
        Make("c.velk.lock", FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(locGonePid()));
    }
}

// Another user's lock file speaks as text: what acts on a terminal or on the
// line is shown as its bytes, and a long owner is cut.
TEST_F(LockTest, OwnersAreShownEscapedAndCut)
{
    const std::string locEllipsis = "\xe2\x80\xa6";
    const struct
    {
        std::string myOwner;
        std::string myShown;
    } locCases[] = {
        {"BOX7", "BOX7"},
        {"Box 7 ~", "Box 7 ~"},
        {"\xc2\x80\xc2\x9f\xc2\xa0", "\\xc2\\x80\\xc2\\x9f\xc2\xa0"},
        {"\x1b[31mRED\x1b[0m", "\\x1b[31mRED\\x1b[0m"},
        {"a\tb\rc\nd\x7f" "e\x01", "a\\x09b\\x0dc\\x0ad\\x7fe\\x01"},
        // UTF-8 letters stay; C1 controls, separators and direction marks do not.
        {"\xc3\x98resund-\xe2\x82\xac", "\xc3\x98resund-\xe2\x82\xac"},
        {"x\xc2\x9b" "31m", "x\\xc2\\x9b31m"},
        {"ab\xe2\x80\xae" "cd\xe2\x80\xa8" "e", "ab\\xe2\\x80\\xaecd\\xe2\\x80\\xa8e"},
        {"\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\xa9",
         "\\xe2\\x80\\x8e\\xe2\\x80\\x8f\\xd8\\x9c\\xe2\\x81\\xa6\\xe2\\x81\\xa9\\xe2\\x80\\xa9"},
        {"\xe2\x80\x8d\xe2\x80\xaf\xe2\x81\xaa", "\xe2\x80\x8d\xe2\x80\xaf\xe2\x81\xaa"},
        // Latin-1, broken, over-long and surrogate bytes are no characters.
        {"caf\xe9", "caf\\xe9"},
        {"\xc0\xaf\xed\xa0\x80\xe2\x82", "\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x82"},
        {"\xf0\x9f\x94\x92lock", "\xf0\x9f\x94\x92lock"},
        // The first and last leads of each length.
        {"\xc2\xa9\xdf\xbf\xe0\xa4\xb9\xef\xbf\xbd\xf4\x8f\xbf\xbf", "\xc2\xa9\xdf\xbf\xe0\xa4\xb9\xef\xbf\xbd\xf4\x8f\xbf\xbf"},
        {"\xc1\xbf\xf5\x80\x80\x80\xfc\x80\x80\x80\x84\x80\x80\x80",
         "\\xc1\\xbf\\xf5\\x80\\x80\\x80\\xfc\\x80\\x80\\x80\\x84\\x80\\x80\\x80"},
        {std::string(256, 'n'), std::string(256, 'n')},
        {std::string(257, 'n'), std::string(256, 'n') + locEllipsis},
        {std::string(5000, 'n'), std::string(256, 'n') + locEllipsis},
        // Cut between characters, and counted in the owner's bytes.
        {std::string(255, 'n') + "\xc3\x98" "x", std::string(255, 'n') + locEllipsis},
        {std::string(256, '\x1b'), [] {
             std::string locAll;
             for (int i = 0; i < 256; i++)
                 locAll += "\\x1b";
             return locAll;
         }()},
    };
    for (const auto& locCase : locCases)
        EXPECT_EQ(FileLocker::ShowOwner(locCase.myOwner), locCase.myShown) << locCase.myOwner.substr(0, 40);

    // Every place the owner of a real lock file is shown says the same.
    std::string locC = Make("c.velk");
    Make("c.velk.lock", "HOST\x1b[31mRED" + std::string(300, 'x') + std::string(1, '\0') + "1");
    const std::string locShown = "HOST\\x1b[31mRED" + std::string(244, 'x') + locEllipsis;
    std::string locMessage;
    FileLocker locLocker;
    EXPECT_FALSE(locLocker.Lock(locC.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "File '" + locC + "' is in use by '" + locShown + "', you won't be able to save any changes");
    EXPECT_FALSE(locLocker.CanSave(locC.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "File '" + locC + "' is in use by '" + locShown + "', you may not save to this filename");

    UI_Dialog* locTree = UI_CreateDialog(ourTemplate, locProc, nullptr);
    ASSERT_NE(locTree, nullptr);
    DirectoryScanner locScanner;
    ASSERT_TRUE(locScanner.ScanDirectory(nullptr, locTree, ID_TREE, UI_TREE_ROOT, myDir.string().c_str(), "velk"));
    EXPECT_EQ(locDump(locTree, UI_TREE_ROOT), "c.velk (locked by " + locShown + ")[2] ");
    UI_DestroyDialog(locTree);
}
