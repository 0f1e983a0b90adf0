// Real Korrinth processes on one file: the second is told who holds it and
// cannot save; the lock leaves with the first. And the window the program
// grabbed (under X in CI) shows the file's tree.
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/filelocker.h"

#include <QColor>
#include <QImage>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>

using namespace korrinth_test;

namespace
{
// Starts the program in the working directory; standard error goes to aLog.
pid_t locSpawn(const std::vector<std::string>& anArgs, const std::string& aCommands, const fs::path& aLog)
{
    pid_t locPid = fork();
    if (locPid != 0)
        return locPid;
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

bool locWaitFor(const fs::path& aPath, bool anExistsFlag)
{
    for (int i = 0; i < 3000; i++)
    {
        if (fs::exists(aPath) == anExistsFlag)
            return true;
        usleep(10000);
    }
    return false;
}

const char* const locSaveAndExit = "57603,57665";
} // namespace

TEST_F(DataFolderTest, TwoProgramsOnOneFile)
{
    const fs::path locLock = myDir / "level.velk.lock";
    pid_t locFirst = locSpawn({"level.velk"}, "", myDir / "first.log");
    ASSERT_GT(locFirst, 0);
    ASSERT_TRUE(locWaitFor(locLock, true));
    // The lock is made before its holder's name is written into it.
    std::string locHolder = ReadFile(locLock);
    for (int i = 0; i < 3000 && locHolder.empty(); i++)
    {
        usleep(10000);
        locHolder = ReadFile(locLock);
    }
    const std::string locName = FileLocker::GetComputerName();
    EXPECT_EQ(locHolder, locName + std::string(1, '\0'));

    // The second is told, and its save is refused.
    std::string locBefore = ReadFile(myDir / "level.velk");
    pid_t locSecond = locSpawn({"level.velk"}, locSaveAndExit, myDir / "second.log");
    ASSERT_GT(locSecond, 0);
    EXPECT_EQ(locWait(locSecond), 0);
    std::string locLog = ReadFile(myDir / "second.log");
    EXPECT_NE(locLog.find("File 'level.velk' is in use by '" + locName + "', you won't be able to save any changes"),
              std::string::npos)
        << locLog;
    EXPECT_NE(locLog.find("File 'level.velk' is in use by '" + locName + "', you may not save to this filename"),
              std::string::npos)
        << locLog;
    EXPECT_FALSE(fs::exists(myDir / "level.tez"));
    EXPECT_EQ(ReadFile(myDir / "level.velk"), locBefore);
    // The second left the first's lock alone.
    EXPECT_EQ(ReadFile(locLock), locHolder);

    // The first ends through its close path: the lock goes with it.
    kill(locFirst, SIGTERM);
    EXPECT_EQ(locWait(locFirst), 0);
    EXPECT_FALSE(fs::exists(locLock));

    // Now the second may save, and leaves no lock behind.
    pid_t locThird = locSpawn({"level.velk"}, locSaveAndExit, myDir / "third.log");
    EXPECT_EQ(locWait(locThird), 0);
    EXPECT_TRUE(fs::exists(myDir / "level.tez")) << ReadFile(myDir / "third.log");
    EXPECT_FALSE(fs::exists(locLock));
}

TEST_F(DataFolderTest, LeftoverLockBlocksUntilDeletedByHand)
{
    WriteFile(myDir / "level.velk.lock", std::string("OTHERHOST") + '\0' + "junk after the NUL");
    pid_t locProgram = locSpawn({"level.velk"}, locSaveAndExit, myDir / "run.log");
    EXPECT_EQ(locWait(locProgram), 0);
    std::string locLog = ReadFile(myDir / "run.log");
    EXPECT_NE(locLog.find("is in use by 'OTHERHOST', you won't be able"), std::string::npos) << locLog;
    EXPECT_NE(locLog.find("is in use by 'OTHERHOST', you may not save"), std::string::npos) << locLog;
    EXPECT_TRUE(fs::exists(myDir / "level.velk.lock"));
    EXPECT_FALSE(fs::exists(myDir / "level.tez"));
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
