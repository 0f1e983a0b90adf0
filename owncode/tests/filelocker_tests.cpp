// Lock files between editors: real files, real processes racing for one lock,
// and the directory scan that shows who holds what.
#include "owncode/directoryscanner.h"
#include "owncode/filelocker.h"

#include "platform/ui/ui_dialog.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

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

TEST_F(LockTest, LockHoldsTheComputerNameAndMovesWithTheOpenFile)
{
    std::string locA = Make("a.velk");
    std::string locB = Make("b.velk");
    FileLocker locLocker;
    std::string locMessage;
    ASSERT_TRUE(locLocker.Lock(locA.c_str(), &locMessage)) << locMessage;
    std::string locName = FileLocker::GetComputerName();
    ASSERT_FALSE(locName.empty());
    EXPECT_EQ(Read(locA + ".lock"), locName + std::string(1, '\0'));
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

TEST_F(LockTest, ForeignOrLeftoverLockRefusesSavingButNotReading)
{
    std::string locA = Make("a.velk");
    Make("a.velk.lock", std::string("OTHERBOX\0trailing", 17));
    FileLocker locLocker;
    std::string locMessage;
    EXPECT_FALSE(locLocker.Lock(locA.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "File '" + locA + "' is in use by 'OTHERBOX', you won't be able to save any changes");
    EXPECT_TRUE(locLocker.GetHeldLock().empty());
    EXPECT_FALSE(locLocker.CanSave(locA.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "File '" + locA + "' is in use by 'OTHERBOX', you may not save to this filename");
    // The foreign lock is untouched by the refused editor's unlock.
    locLocker.Unlock();
    EXPECT_EQ(Read(locA + ".lock").substr(0, 8), "OTHERBOX");

    // A lock left by this very computer (a crash) blocks too.
    std::string locB = Make("b.velk");
    Make("b.velk.lock", FileLocker::GetComputerName() + std::string(1, '\0'));
    EXPECT_FALSE(locLocker.Lock(locB.c_str(), &locMessage));
    EXPECT_FALSE(locLocker.CanSave(locB.c_str(), &locMessage));

    // A lock with no NUL and over 4096 bytes: only the first 4096 are read.
    std::string locC = Make("c.velk");
    Make("c.velk.lock", std::string(5000, 'n'));
    std::string locOwner;
    ASSERT_TRUE(FileLocker::ReadOwner(locC.c_str(), &locOwner));
    EXPECT_EQ(locOwner.size(), 4096u);

    // A missing lock names nobody, whatever the string held before; an empty
    // lock file (only the NUL) names an empty owner.
    locOwner = "stale";
    EXPECT_FALSE(FileLocker::ReadOwner((myDir / "none.velk").c_str(), &locOwner));
    EXPECT_EQ(locOwner, "");
    Make("e.velk.lock", std::string(1, '\0'));
    locOwner = "stale";
    EXPECT_TRUE(FileLocker::ReadOwner((myDir / "e.velk").c_str(), &locOwner));
    EXPECT_EQ(locOwner, "");
    // One byte and no NUL is a name; the count given bounds the text.
    Make("f.velk.lock", "A");
    EXPECT_TRUE(FileLocker::ReadOwner((myDir / "f.velk").c_str(), &locOwner));
    EXPECT_EQ(locOwner, "A");
    EXPECT_EQ(FileLocker::ParseOwner("abc", 2), "ab");
    EXPECT_EQ(FileLocker::ParseOwner("ab\0cd", 5), "ab");
    EXPECT_EQ(FileLocker::ParseOwner(nullptr, 3), "");
    // Reading closes the file: a thousand reads leave no descriptor open.
    size_t locOpen = std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    for (int i = 0; i < 1000; i++)
        FileLocker::ReadOwner(locC.c_str(), &locOwner);
    EXPECT_EQ(size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator())), locOpen);

    // The name written is the machine's own.
    char locHost[256] = {};
    if (gethostname(locHost, sizeof(locHost) - 1) == 0 && locHost[0])
        EXPECT_EQ(FileLocker::GetComputerName(), std::string(locHost));

    // A lock that cannot be made (no such folder) says so.
    std::string locMissing = (myDir / "nowhere" / "d.velk").string();
    EXPECT_FALSE(locLocker.Lock(locMissing.c_str(), &locMessage));
    EXPECT_EQ(locMessage, "Failed to lock '" + locMissing + "'");
}

TEST_F(LockTest, TwentyProcessesRacingGetOneWinnerPerRound)
{
    std::string locPath = Make("race.velk");
    for (int locRound = 0; locRound < 5; locRound++)
    {
        int locGate[2];
        ASSERT_EQ(pipe(locGate), 0);
        std::vector<pid_t> locChildren;
        for (int i = 0; i < 20; i++)
        {
            pid_t locChild = fork();
            ASSERT_GE(locChild, 0);
            if (locChild == 0)
            {
                close(locGate[1]);
                char locByte;
                // Everyone starts together when the parent closes the gate.
                while (read(locGate[0], &locByte, 1) > 0)
                {
                }
                FileLocker* locLocker = new FileLocker; // kept: the lock must outlive the child
                std::string locMessage;
                _exit(locLocker->Lock(locPath.c_str(), &locMessage) ? 0 : 1);
            }
            locChildren.push_back(locChild);
        }
        close(locGate[0]);
        close(locGate[1]);
        int locWinners = 0;
        for (pid_t locChild : locChildren)
        {
            int locStatus = 0;
            ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
            ASSERT_TRUE(WIFEXITED(locStatus));
            locWinners += WEXITSTATUS(locStatus) == 0;
        }
        EXPECT_EQ(locWinners, 1) << "round " << locRound;
        EXPECT_EQ(Read(locPath + ".lock"), FileLocker::GetComputerName() + std::string(1, '\0'));
        fs::remove(locPath + ".lock");
    }
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
