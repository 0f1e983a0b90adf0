// Real Korrinth processes on one file: the second is told who holds it and
// cannot save; the lock leaves with the first. And the window the program
// grabbed (under X in CI) shows the file's tree.
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/filelocker.h"

#include <QColor>
#include <QImage>

#include <csignal>
#include <functional>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>

using namespace korrinth_test;

namespace
{
// Starts the program in the working directory; standard error goes to aLog.
// aBeforeStart runs in the child first (a gate, a limit).
pid_t locSpawn(const std::vector<std::string>& anArgs, const std::string& aCommands, const fs::path& aLog,
               const std::function<void()>& aBeforeStart = nullptr)
{
    pid_t locPid = fork();
    if (locPid != 0)
        return locPid;
    if (aBeforeStart)
        aBeforeStart();
    int locFile = open(aLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (locFile >= 0)
    {
        dup2(locFile, 2);
        close(locFile);
    }
    unsetenv("Q_UI_GRAB");
    if (aCommands.empty())
        unsetenv("Q_UI_COMMANDS");
    else
        setenv("Q_UI_COMMANDS", aCommands.c_str(), 1);
    std::vector<char*> locArgv;
    static std::string ourProgram = KORRINTH_PROGRAM;
    locArgv.push_back(ourProgram.data());
    for (const std::string& locArg : anArgs)
        locArgv.push_back(const_cast<char*>(locArg.c_str()));
    locArgv.push_back(nullptr);
    execv(ourProgram.c_str(), locArgv.data());
    _exit(127);
}

int locWait(pid_t aPid)
{
    int locStatus = 0;
    // At most 30 s: a hung program fails the test instead of the run.
    for (int i = 0; i < 3000; i++)
    {
        pid_t locDone = waitpid(aPid, &locStatus, WNOHANG);
        if (locDone == aPid)
            return WIFEXITED(locStatus) ? WEXITSTATUS(locStatus) : 128 + WTERMSIG(locStatus);
        usleep(10000);
    }
    kill(aPid, SIGKILL);
    waitpid(aPid, &locStatus, 0);
    return -1;
}

const char* const locSaveAndExit = "57603,57665";

// The lock file once it names a process; empty when none came.
std::string locLockOnceWritten(const fs::path& aLock)
{
    for (int i = 0; i < 3000; i++)
    {
        std::string locBytes = ReadFile(aLock);
        if (FileLocker::ParseProcessId(locBytes.data(), locBytes.size()) != 0)
            return locBytes;
        usleep(10000);
    }
    return std::string();
}

bool locLogSays(const fs::path& aLog, const std::string& aText)
{
    return ReadFile(aLog).find(aText) != std::string::npos;
}

std::string locLockBytes(pid_t aPid)
{
    return FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(aPid);
}
} // namespace

TEST_F(DataFolderTest, TwoProgramsOnOneFileByTwoNames)
{
    fs::create_symlink("level.velk", myDir / "alias.velk");
    const fs::path locLock = myDir / "level.velk.lock";
    pid_t locFirst = locSpawn({"level.velk"}, "", myDir / "first.log");
    ASSERT_GT(locFirst, 0);
    // Made whole: the holder's name and process id.
    const std::string locHolder = locLockOnceWritten(locLock);
    EXPECT_EQ(locHolder, locLockBytes(locFirst));

    // The second opens the file by its other name: told, and its save refused.
    std::string locBefore = ReadFile(myDir / "level.velk");
    pid_t locSecond = locSpawn({"alias.velk"}, locSaveAndExit, myDir / "second.log");
    ASSERT_GT(locSecond, 0);
    EXPECT_EQ(locWait(locSecond), 0);
    const std::string locName = FileLocker::GetComputerName();
    EXPECT_TRUE(locLogSays(myDir / "second.log",
                           "File 'alias.velk' is in use by '" + locName + "', you won't be able to save any changes"))
        << ReadFile(myDir / "second.log");
    EXPECT_TRUE(locLogSays(myDir / "second.log",
                           "File 'alias.velk' is in use by '" + locName + "', you may not save to this filename"));
    EXPECT_FALSE(fs::exists(myDir / "level.tez"));
    EXPECT_EQ(ReadFile(myDir / "level.velk"), locBefore);
    EXPECT_FALSE(fs::exists(myDir / "alias.velk.lock"));
    // The second left the first's lock alone.
    EXPECT_EQ(ReadFile(locLock), locHolder);

    // The first ends through its close path: the lock goes with it.
    kill(locFirst, SIGTERM);
    EXPECT_EQ(locWait(locFirst), 0);
    EXPECT_FALSE(fs::exists(locLock));

    // Now the other name may save, through the link (the conversion goes
    // beside the file the link names), and leaves no lock behind.
    pid_t locThird = locSpawn({"alias.velk"}, locSaveAndExit, myDir / "third.log");
    EXPECT_EQ(locWait(locThird), 0);
    EXPECT_TRUE(fs::exists(myDir / "level.tez")) << ReadFile(myDir / "third.log");
    EXPECT_FALSE(fs::exists(myDir / "alias.tez"));
    EXPECT_TRUE(fs::is_symlink(myDir / "alias.velk"));
    EXPECT_FALSE(fs::exists(locLock));
}

TEST_F(DataFolderTest, LockOfAKilledProgramIsTakenOverBySaying)
{
    const fs::path locLock = myDir / "level.velk.lock";
    for (int locRun = 0; locRun < 3; locRun++)
    {
        fs::remove(myDir / "level.tez");
        pid_t locKilled = locSpawn({"level.velk"}, "", myDir / "killed.log");
        ASSERT_GT(locKilled, 0);
        ASSERT_EQ(locLockOnceWritten(locLock), locLockBytes(locKilled)) << "run " << locRun;
        kill(locKilled, SIGKILL);
        EXPECT_EQ(locWait(locKilled), 128 + SIGKILL);
        EXPECT_EQ(ReadFile(locLock), locLockBytes(locKilled)); // left behind
        // A kill while the settings were saved can leave the settings' own
        // lock, empty, which holds the next start for half a minute: not
        // this test's subject.
        fs::remove(myDir / "config" / "Korrinth" / "Korrinth.conf.lock");

        // The next one takes it over, says so, and saves.
        pid_t locNext = locSpawn({"level.velk"}, locSaveAndExit, myDir / "next.log");
        EXPECT_EQ(locWait(locNext), 0);
        EXPECT_FALSE(locLogSays(myDir / "next.log", "is in use by")) << ReadFile(myDir / "next.log");
        EXPECT_TRUE(locLogSays(myDir / "korrinth_debug.txt",
                               "LOG: Lock file '" + (fs::canonical(myDir) / "level.velk.lock").string() +
                                   "' was left by a program that is no longer running (process " +
                                   std::to_string(locKilled) + " on this computer): it is this editor's now"))
            << ReadFile(myDir / "korrinth_debug.txt");
        EXPECT_TRUE(fs::exists(myDir / "level.tez")) << "run " << locRun;
        EXPECT_FALSE(fs::exists(locLock));
    }
}

TEST_F(DataFolderTest, AnotherComputersLockRefusesEverySave)
{
    // Its process id means nothing here.
    WriteFile(myDir / "level.velk.lock", std::string("OTHERHOST") + '\0' + std::to_string(getpid() + 1));
    const std::string locBefore = ReadFile(myDir / "level.velk.lock");
    pid_t locProgram = locSpawn({"level.velk"}, locSaveAndExit, myDir / "run.log");
    EXPECT_EQ(locWait(locProgram), 0);
    std::string locLog = ReadFile(myDir / "run.log");
    EXPECT_NE(locLog.find("File 'level.velk' is in use by 'OTHERHOST', you won't be able to save any changes"),
              std::string::npos)
        << locLog;
    EXPECT_NE(locLog.find("File 'level.velk' is in use by 'OTHERHOST', you may not save to this filename"),
              std::string::npos)
        << locLog;
    EXPECT_EQ(ReadFile(myDir / "level.velk.lock"), locBefore);
    EXPECT_FALSE(fs::exists(myDir / "level.tez"));
}

TEST_F(DataFolderTest, ALinkInTheLocksPlaceRefusesEverySaveAndIsNotFollowed)
{
    // To nothing, and to a file that reads as another's lock.
    WriteFile(myDir / "elsewhere", std::string("OTHERHOST") + '\0' + "1");
    for (const fs::path& locTo : {myDir / "gone", myDir / "elsewhere"})
    {
        fs::remove(myDir / "level.velk.lock");
        fs::create_symlink(locTo, myDir / "level.velk.lock");
        pid_t locProgram = locSpawn({"level.velk"}, locSaveAndExit, myDir / "run.log");
        EXPECT_EQ(locWait(locProgram), 0);
        const std::string locLog = ReadFile(myDir / "run.log");
        const std::string locWhy = "File 'level.velk' is locked by '" +
                                   (fs::canonical(myDir) / "level.velk.lock").string() +
                                   "', a symbolic link in the lock file's place, ";
        EXPECT_NE(locLog.find(locWhy + "you won't be able to save any changes"), std::string::npos) << locLog;
        EXPECT_NE(locLog.find(locWhy + "you may not save to this filename"), std::string::npos) << locLog;
        EXPECT_EQ(locLog.find("OTHERHOST"), std::string::npos) << locLog;
        EXPECT_FALSE(fs::exists(myDir / "level.tez"));
        EXPECT_FALSE(fs::exists(myDir / "gone"));
        EXPECT_TRUE(fs::is_symlink(myDir / "level.velk.lock"));
    }
}

TEST_F(DataFolderTest, ProgramsStartedTogetherLeaveOneHolder)
{
    // More rounds for a longer run: KORRINTH_LOCK_ROUNDS.
    const char* locRoundsText = std::getenv("KORRINTH_LOCK_ROUNDS");
    const int locRounds = locRoundsText ? std::atoi(locRoundsText) : 50;
    const fs::path locLock = myDir / "level.velk.lock";
    const std::string locRefused = "File 'level.velk' is in use by '" + FileLocker::GetComputerName() +
                                   "', you won't be able to save any changes";
    int locOneHolder = 0;
    for (int locRound = 0; locRound < locRounds; locRound++)
    {
        int locGate[2];
        ASSERT_EQ(pipe(locGate), 0);
        // Both wait at the gate until both are made, then start at once.
        auto locAtGate = [&locGate] {
            close(locGate[1]);
            char locByte;
            while (read(locGate[0], &locByte, 1) > 0)
            {
            }
            close(locGate[0]);
        };
        const fs::path locLogs[2] = {myDir / "a.log", myDir / "b.log"};
        pid_t locPrograms[2];
        for (int i = 0; i < 2; i++)
            locPrograms[i] = locSpawn({"level.velk"}, "", locLogs[i], locAtGate);
        close(locGate[0]);
        close(locGate[1]);
        // The holder is the one the lock names; the other must have been told.
        std::string locBytes = locLockOnceWritten(locLock);
        int locHolder = locBytes == locLockBytes(locPrograms[0]) ? 0 : locBytes == locLockBytes(locPrograms[1]) ? 1 : -1;
        bool locToldOther = false;
        for (int i = 0; i < 3000 && locHolder >= 0 && !locToldOther; i++)
        {
            locToldOther = locLogSays(locLogs[1 - locHolder], locRefused);
            if (!locToldOther)
                usleep(10000);
        }
        const bool locHolderTold = locHolder >= 0 && locLogSays(locLogs[locHolder], locRefused);
        EXPECT_TRUE(locHolder >= 0 && locToldOther && !locHolderTold)
            << "round " << locRound << ": holder " << locHolder << "\n"
            << ReadFile(locLogs[0]) << "\n"
            << ReadFile(locLogs[1]);
        locOneHolder += locHolder >= 0 && locToldOther && !locHolderTold;
        // Still the holder's lock once both have opened.
        EXPECT_EQ(ReadFile(locLock), locBytes);
        for (pid_t locProgram : locPrograms)
        {
            kill(locProgram, SIGTERM);
            EXPECT_EQ(locWait(locProgram), 0);
        }
        EXPECT_FALSE(fs::exists(locLock));
    }
    std::printf("%d of %d rounds had exactly one holder\n", locOneHolder, locRounds);
}

// Run by the X check after the program grabbed its window: the left pane
// shows the tree's text (dark pixels on the light pane) and the view beside
// it is plain.
TEST(KorrinthGrab, GrabbedWindowShowsTheFilledTree)
{
    const char* locPath = std::getenv("KORRINTH_CHECK_GRAB");
    if (!locPath)
        GTEST_SKIP() << "no grab to check";
    QImage locImage(QString::fromUtf8(locPath));
    ASSERT_FALSE(locImage.isNull());
    ASSERT_GT(locImage.width(), 700);
    int locTreeDark = 0;
    int locViewDark = 0;
    // Below the menu, toolbar and dialog bar: the first rows of the tree.
    for (int y = 90; y < 160 && y < locImage.height(); y++)
        for (int x = 0; x < locImage.width(); x++)
        {
            if (QColor(locImage.pixel(x, y)).lightness() >= 100)
                continue;
            if (x > 20 && x < 330)
                locTreeDark++;
            else if (x > 380)
                locViewDark++;
        }
    EXPECT_GT(locTreeDark, 100);
    EXPECT_EQ(locViewDark, 0);
}

TEST_F(DataFolderTest, AHostileOwnerIsShownAsTextEverywhere)
{
    // Its escape sequences would colour the terminal; past 256 bytes it is cut.
    WriteFile(myDir / "level.velk.lock",
              "BOX\x1b[31mRED\x07" + std::string(5000, 'x') + std::string(1, '\0') + std::to_string(getpid() + 1));
    pid_t locProgram = locSpawn({"level.velk"}, locSaveAndExit, myDir / "run.log");
    EXPECT_EQ(locWait(locProgram), 0);
    const std::string locLog = ReadFile(myDir / "run.log");
    const std::string locShown = "BOX\\x1b[31mRED\\x07" + std::string(244, 'x') + "\xe2\x80\xa6";
    EXPECT_NE(locLog.find("File 'level.velk' is in use by '" + locShown + "', you won't be able to save any changes"),
              std::string::npos)
        << locLog;
    EXPECT_NE(locLog.find("File 'level.velk' is in use by '" + locShown + "', you may not save to this filename"),
              std::string::npos);
    for (const fs::path& locFile : {myDir / "run.log", myDir / "korrinth_debug.txt"})
    {
        const std::string locText = ReadFile(locFile);
        EXPECT_EQ(locText.find('\x1b'), std::string::npos) << locFile;
        EXPECT_EQ(locText.find('\x07'), std::string::npos) << locFile;
        EXPECT_EQ(locText.find(std::string(245, 'x')), std::string::npos) << locFile;
    }
    EXPECT_FALSE(fs::exists(myDir / "level.tez"));
}
