// The POSIX layer against real files: path resolution, the save-file helper,
// mapped reads, the computer name and the rounding mode.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_savefile.h"
#include "platform/os/os_system.h"

namespace fs = std::filesystem;

namespace
{
class OSFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir);
    }

    void WriteDisk(const fs::path& aPath, const std::string& aText)
    {
        fs::create_directories(aPath.parent_path());
        std::ofstream(aPath, std::ios::binary) << aText;
    }

    std::string ReadDisk(const fs::path& aPath)
    {
        std::ifstream locIn(aPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(locIn), {});
    }

    std::string Resolve(const std::string& aPath)
    {
        char locResult[4096];
        EXPECT_TRUE(OS_ResolvePath(aPath.c_str(), locResult, sizeof(locResult)));
        return locResult;
    }

    std::set<std::string> Names(const fs::path& aDir)
    {
        std::set<std::string> locNames;
        for (const fs::directory_entry& locEntry : fs::directory_iterator(aDir))
            locNames.insert(locEntry.path().filename().string());
        return locNames;
    }

    fs::path myDir;
};

TEST_F(OSFileTest, PathsResolveComponentByComponentWithoutCase)
{
    WriteDisk(myDir / "Levels/Forest/Trees.DAT", "t");
    const std::string locBase = myDir.string();
    EXPECT_EQ(Resolve(locBase + "/levels/FOREST/trees.dat"), locBase + "/Levels/Forest/Trees.DAT");
    EXPECT_EQ(Resolve(locBase + "\\LEVELS\\forest\\Trees.dat"), locBase + "/Levels/Forest/Trees.DAT");
    // Past the first missing component the rest stays as written.
    EXPECT_EQ(Resolve(locBase + "/levels/Desert/Sand.dat"), locBase + "/Levels/Desert/Sand.dat");
    EXPECT_EQ(Resolve(locBase + "//levels/./forest"), locBase + "/Levels/./Forest");
    // A drive letter is dropped and the rest resolved the same way.
    EXPECT_EQ(Resolve("c:" + locBase + "/LEVELS"), locBase + "/Levels");
    EXPECT_EQ(Resolve("C:\\"), "/");

    OS_FileInfo locInfo;
    ASSERT_TRUE(OS_GetFileInfo((locBase + "\\levels\\forest\\TREES.dat").c_str(), &locInfo));
    EXPECT_EQ(locInfo.mySize, 1u);
    EXPECT_FALSE(locInfo.myIsDirectory);
    EXPECT_TRUE(OS_IsDirectory((locBase + "/LEVELS/forest").c_str()));
    EXPECT_FALSE(OS_FileExists((locBase + "/levels/forest/bushes.dat").c_str()));
}

TEST_F(OSFileTest, DriveLettersMapToTheirFolderOrAreDropped)
{
    WriteDisk(myDir / "Game/Data/Ship.lwo", "s");
    const std::string locBase = myDir.string();
    unsetenv("Q_DRIVE_T");
    unsetenv("Q_DRIVE_X");
    setenv("Q_DRIVE_T", (locBase + "/Game").c_str(), 1);
    EXPECT_EQ(Resolve("t:/data/SHIP.LWO"), locBase + "/Game/Data/Ship.lwo");
    EXPECT_EQ(Resolve("T:\\Data\\ship.lwo"), locBase + "/Game/Data/Ship.lwo");
    EXPECT_EQ(Resolve("t:data"), locBase + "/Game/Data");
    EXPECT_EQ(Resolve("t:"), locBase + "/Game/");
    EXPECT_TRUE(OS_FileExists("t:/DATA/ship.lwo"));
    // The folder itself is found without regard to case, given with '\\' too.
    setenv("Q_DRIVE_T", (locBase + "\\game\\").c_str(), 1);
    EXPECT_EQ(Resolve("t:/data/ship.lwo"), locBase + "/Game/Data/Ship.lwo");
    // Another letter, or an empty variable: dropped.
    EXPECT_EQ(Resolve("x:" + locBase + "/game"), locBase + "/Game");
    setenv("Q_DRIVE_T", "", 1);
    EXPECT_EQ(Resolve("t:" + locBase + "/game"), locBase + "/Game");
    unsetenv("Q_DRIVE_T");
}

TEST_F(OSFileTest, UserDataFolderIsMadeOnDemand)
{
    const char* locOldData = getenv("XDG_DATA_HOME");
    const char* locOldHome = getenv("HOME");
    std::string locSavedData = locOldData ? locOldData : "";
    std::string locSavedHome = locOldHome ? locOldHome : "";
    char locFolder[4096];

    setenv("XDG_DATA_HOME", (myDir / "xdg/data/").string().c_str(), 1);
    ASSERT_TRUE(OS_GetUserDataFolder("pranvel", locFolder, sizeof(locFolder)));
    EXPECT_EQ(std::string(locFolder), (myDir / "xdg/data/pranvel").string());
    EXPECT_TRUE(fs::is_directory(myDir / "xdg/data/pranvel"));
    EXPECT_EQ(fs::status(myDir / "xdg/data/pranvel").permissions() & fs::perms::all, fs::perms::owner_all);
    // Asked again: the same folder, no failure because it exists.
    ASSERT_TRUE(OS_GetUserDataFolder("pranvel", locFolder, sizeof(locFolder)));
    EXPECT_FALSE(OS_GetUserDataFolder("pranvel", locFolder, 8));
    EXPECT_FALSE(OS_GetUserDataFolder("../x", locFolder, sizeof(locFolder)));

    // Unset or relative: under the home folder.
    setenv("XDG_DATA_HOME", "relative/data", 1);
    setenv("HOME", (myDir / "home").string().c_str(), 1);
    ASSERT_TRUE(OS_GetUserDataFolder("pranvel", locFolder, sizeof(locFolder)));
    EXPECT_EQ(std::string(locFolder), (myDir / "home/.local/share/pranvel").string());
    unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(OS_GetUserDataFolder("pranvel", locFolder, sizeof(locFolder)));
    EXPECT_EQ(std::string(locFolder), (myDir / "home/.local/share/pranvel").string());

    // A file where the folder should be: refused.
    WriteDisk(myDir / "blocked/pranvel", "x");
    setenv("XDG_DATA_HOME", (myDir / "blocked").string().c_str(), 1);
    EXPECT_FALSE(OS_GetUserDataFolder("pranvel", locFolder, sizeof(locFolder)));

    if (locOldData)
        setenv("XDG_DATA_HOME", locSavedData.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    if (locOldHome)
        setenv("HOME", locSavedHome.c_str(), 1);
}

TEST_F(OSFileTest, ExactSpellingWinsAndTwinsAreNotCreated)
{
    WriteDisk(myDir / "a/File.txt", "upper");
    WriteDisk(myDir / "a/file.txt", "lower");
    EXPECT_EQ(Resolve((myDir / "a/file.txt").string()), (myDir / "a/file.txt").string());
    EXPECT_EQ(Resolve((myDir / "a/FILE.TXT").string()), (myDir / "a/File.txt").string());

    EXPECT_FALSE(OS_CreateDirectory((myDir / "A").string().c_str()));
    EXPECT_TRUE(OS_CreateDirectory((myDir / "A/New").string().c_str()));
    EXPECT_TRUE(fs::is_directory(myDir / "a/New"));
    EXPECT_EQ(Names(myDir), (std::set<std::string>{"a"}));
    EXPECT_TRUE(OS_RemoveDirectory((myDir / "A/NEW").string().c_str()));
    EXPECT_TRUE(OS_DeleteFile((myDir / "A/file.txt").string().c_str()));
    EXPECT_EQ(Names(myDir / "a"), (std::set<std::string>{"File.txt"}));
}

TEST_F(OSFileTest, HandlesReadWriteAndMapWholeFiles)
{
    const std::string locPath = (myDir / "h.bin").string();
    OS_FileHandle locHandle = OS_OpenFile(locPath.c_str(), OS_OPEN_CREATE_ALWAYS);
    ASSERT_NE(locHandle, OS_INVALID_HANDLE);
    EXPECT_EQ(OS_WriteFile(locHandle, "hello world", 11), 11);
    EXPECT_EQ(OS_WriteFileAt(locHandle, "W", 1, 6), 1);
    char locBuffer[16] = {};
    EXPECT_EQ(OS_ReadFileAt(locHandle, locBuffer, 16, 0), 11);
    EXPECT_STREQ(locBuffer, "hello World");
    uint64_t locPos = 0;
    EXPECT_TRUE(OS_SeekFile(locHandle, -5, 2, &locPos));
    EXPECT_EQ(locPos, 6u);
    EXPECT_TRUE(OS_TruncateFile(locHandle, 5));
    const void* locView = nullptr;
    uint64_t locSize = 0;
    ASSERT_TRUE(OS_MapFile(locHandle, &locView, &locSize));
    ASSERT_EQ(locSize, 5u);
    EXPECT_EQ(memcmp(locView, "hello", 5), 0);
    OS_UnmapFile(locView, locSize);
    OS_CloseFile(locHandle);

    EXPECT_EQ(OS_OpenFile((myDir / "missing").string().c_str(), OS_OPEN_READ), OS_INVALID_HANDLE);
    EXPECT_EQ(OS_OpenFile(myDir.string().c_str(), OS_OPEN_READ), OS_INVALID_HANDLE);

    // The exclusive create refuses an existing file, also spelt in another case,
    // and leaves it untouched.
    EXPECT_EQ(OS_OpenFile((myDir / "H.BIN").string().c_str(), OS_OPEN_CREATE_NEW), OS_INVALID_HANDLE);
    EXPECT_EQ(fs::file_size(myDir / "h.bin"), 5u);
    locHandle = OS_OpenFile((myDir / "new.bin").string().c_str(), OS_OPEN_CREATE_NEW);
    ASSERT_NE(locHandle, OS_INVALID_HANDLE);
    OS_CloseFile(locHandle);
    EXPECT_EQ(OS_OpenFile((myDir / "new.bin").string().c_str(), OS_OPEN_CREATE_NEW), OS_INVALID_HANDLE);
}

TEST_F(OSFileTest, SaveFileReplacesTheTargetOnlyOnCommit)
{
    const fs::path locTarget = myDir / "Save.txt";
    WriteDisk(locTarget, "old");
    fs::permissions(locTarget, fs::perms::owner_read | fs::perms::owner_write);
    {
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin((myDir / "SAVE.TXT").string().c_str()));
        EXPECT_EQ(fs::path(locSave.GetTempPath()).parent_path(), myDir);
        EXPECT_TRUE(locSave.Write("new ", 4));
        EXPECT_TRUE(locSave.Write("text", 4));
        EXPECT_EQ(ReadDisk(locTarget), "old");
        EXPECT_TRUE(locSave.Commit());
    }
    EXPECT_EQ(ReadDisk(locTarget), "new text");
    EXPECT_EQ(fs::status(locTarget).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Names(myDir), (std::set<std::string>{"Save.txt"}));
}

TEST_F(OSFileTest, AbandonedSaveLeavesTheTargetAndNoTemporaryFile)
{
    const fs::path locTarget = myDir / "keep.txt";
    WriteDisk(locTarget, "precious");
    {
        OS_SaveFile locSave;
        ASSERT_TRUE(locSave.Begin(locTarget.string().c_str()));
        EXPECT_TRUE(locSave.Write("partial", 7));
        EXPECT_TRUE(fs::exists(locSave.GetTempPath()));
        locSave.Abandon();
        EXPECT_FALSE(locSave.Write("x", 1));
        EXPECT_FALSE(locSave.Commit());
    }
    {
        OS_SaveFile locSave;   // dropped without a commit
        ASSERT_TRUE(locSave.Begin(locTarget.string().c_str()));
        EXPECT_TRUE(locSave.Write("partial", 7));
    }
    EXPECT_EQ(ReadDisk(locTarget), "precious");
    EXPECT_EQ(Names(myDir), (std::set<std::string>{"keep.txt"}));

    OS_SaveFile locNowhere;
    EXPECT_FALSE(locNowhere.Begin((myDir / "no/such/dir/x.txt").string().c_str()));
    EXPECT_NE(locNowhere.GetError(), 0);
    EXPECT_FALSE(locNowhere.Write("x", 1));
}

TEST_F(OSFileTest, FailedWriteFailsTheCommit)
{
    const fs::path locTarget = myDir / "t.txt";
    WriteDisk(locTarget, "before");
    // A file-size limit makes writes fail the way a full disk does.
    struct rlimit locOld;
    getrlimit(RLIMIT_FSIZE, &locOld);
    struct rlimit locSmall = locOld;
    locSmall.rlim_cur = 1024;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    OS_SaveFile locSave;
    bool locBegun = locSave.Begin(locTarget.string().c_str());
    std::string locBig(4096, 'x');
    bool locWritten = locSave.Write(locBig.data(), locBig.size());
    bool locLater = locSave.Write("y", 1);
    bool locCommitted = locSave.Commit();
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, SIG_DFL);

    ASSERT_TRUE(locBegun);
    EXPECT_FALSE(locWritten);
    EXPECT_FALSE(locLater);
    EXPECT_FALSE(locCommitted);
    EXPECT_EQ(locSave.GetError(), EFBIG);
    EXPECT_EQ(ReadDisk(locTarget), "before");
    EXPECT_EQ(Names(myDir), (std::set<std::string>{"t.txt"}));
}

TEST(OSSystem, ProcessAndTimes)
{
    char locPath[4096];
    ASSERT_TRUE(OS_GetProgramPath(locPath, sizeof(locPath)));
    EXPECT_EQ(fs::path(locPath).filename(), "platform_os_tests");
    ASSERT_TRUE(OS_GetCurrentDirectory(locPath, sizeof(locPath)));
    EXPECT_EQ(fs::path(locPath), fs::current_path());

    OS_DateTime locDate;
    ASSERT_TRUE(OS_TimeToDateTime(946684800 + 86399, &locDate));
    EXPECT_EQ(locDate.myYear, 2000);
    EXPECT_EQ(locDate.myMonth, 1);
    EXPECT_EQ(locDate.myDay, 1);
    EXPECT_EQ(locDate.myHour, 23);
    EXPECT_EQ(locDate.myMinute, 59);
    EXPECT_EQ(locDate.mySecond, 59);

    char locName[256];
    OS_GetComputerName(locName, sizeof(locName));
    EXPECT_GT(strlen(locName), 0u);
    char locShort[4];
    OS_GetComputerName(locShort, sizeof(locShort));
    EXPECT_LE(strlen(locShort), 3u);
}

TEST(OSSystem, RoundingModeRoundTripsAndTakesEffect)
{
    const OS_RoundingMode locModes[] = {OS_ROUND_DOWN, OS_ROUND_UP, OS_ROUND_TRUNCATE, OS_ROUND_NEAREST};
    for (OS_RoundingMode locMode : locModes)
    {
        ASSERT_TRUE(OS_SetRoundingMode(locMode));
        EXPECT_EQ(OS_GetRoundingMode(), locMode);
    }
    volatile double locValue = -2.5;
    ASSERT_TRUE(OS_SetRoundingMode(OS_ROUND_TRUNCATE));
    EXPECT_EQ(std::nearbyint(locValue), -2.0);
    ASSERT_TRUE(OS_SetRoundingMode(OS_ROUND_DOWN));
    EXPECT_EQ(std::nearbyint(locValue), -3.0);
    ASSERT_TRUE(OS_SetRoundingMode(OS_ROUND_NEAREST));
}
}
