// The file object against real files: line reading, write-back, listings,
// packed times, and reads through a registered archive.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qfile/qf_file.h"
#include "qfile/qf_sdf.h"
#include "qfile/qf_sdfedit.h"

namespace fs = std::filesystem;

namespace
{
// Close under a file-size limit of 1 KiB: the write-back fails the way it
// does on a full disk.
static bool CloseOnAFullDisk(QF_File& aFile)
{
    struct rlimit locOld;
    getrlimit(RLIMIT_FSIZE, &locOld);
    struct rlimit locSmall = locOld;
    locSmall.rlim_cur = 1024;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    const bool locClosed = aFile.Close();
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, SIG_DFL);
    return locClosed;
}

class QFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir);
    }

    std::string PathOf(const std::string& aName) const { return (myDir / aName).string(); }

    void WriteDisk(const std::string& aName, const std::string& aContents) const
    {
        fs::create_directories((myDir / aName).parent_path());
        std::ofstream locOut(PathOf(aName), std::ios::binary);
        locOut << aContents;
    }

    std::string ReadDisk(const std::string& aName) const
    {
        std::ifstream locIn(PathOf(aName), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(locIn), {});
    }

    std::vector<std::string> ReadLines(const std::string& aText, uint32_t aSize = 4096, uint32_t aMode = OPEN_READ)
    {
        WriteDisk("lines.txt", aText);
        QF_File locFile;
        EXPECT_TRUE(locFile.Open(PathOf("lines.txt").c_str(), aMode));
        std::vector<std::string> locLines;
        std::vector<char> locBuffer(aSize);
        while (locFile.myFilePos < locFile.myFileSize)
        {
            locFile.ReadLine(locBuffer.data(), aSize);
            locLines.push_back(locBuffer.data());
        }
        return locLines;
    }

    fs::path myDir;
};

typedef std::vector<std::string> Lines;

// A file read whole takes plain bytes in runs, a streamed one byte by byte:
// both give the same lines at every buffer size.
TEST_F(QFileTest, ReadLineGivesTheSameLinesWholeAndStreamed)
{
    const std::string locText = "  first line / half // cut\r\nsecond\rstill second\r\n\r\n"
                                "\t third  \n/x//\r\nlong " + std::string(300, 'y') + " end \r\nlast";
    for (uint32_t locSize : {2u, 3u, 5u, 8u, 17u, 64u, 4096u})
        EXPECT_EQ(ReadLines(locText, locSize), ReadLines(locText, locSize, OPEN_READ | OPEN_STREAMING)) << locSize;
    EXPECT_EQ(ReadLines(locText),
              (Lines{"first line / half", "second\rstill second", "third", "/x", "long " + std::string(300, 'y') + " end",
                     "last"}));
}

// Large files read whole are the same bytes however they come: copied into a
// large block, or mapped.
TEST_F(QFileTest, LargeFilesReadTheSameCopiedOrMapped)
{
    std::string locText;
    for (int locLine = 0; locText.size() < 3 * 1024 * 1024; ++locLine)
        locText += "line " + std::to_string(locLine) + " // note\r\n";
    WriteDisk("large.txt", locText);
    for (uint32_t locMode : {uint32_t(OPEN_READ), uint32_t(OPEN_READ | OPEN_MAPPED)})
    {
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(PathOf("large.txt").c_str(), locMode));
        ASSERT_EQ(locFile.GetSize(), locText.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(locFile.myBuffer), locFile.myFileSize), locText);
        char locLine[64];
        ASSERT_GT(locFile.ReadLine(locLine, sizeof(locLine)), 0u);
        EXPECT_STREQ(locLine, "line 0");
        EXPECT_TRUE(locFile.Close());
        EXPECT_FALSE(locFile.IsOpen());
    }
}

TEST_F(QFileTest, ReadLineSkipsBlanksCommentsAndEmptyLines)
{
    EXPECT_EQ(ReadLines("  ab  // note\r\n\r\ncd\r\n"), (Lines{"ab", "cd"}));
    EXPECT_EQ(ReadLines("\t\r\n   \r\n// only a comment\r\nx = 1 \t\r\n"), (Lines{"x = 1"}));
    // The comment starts even inside quotes; the text before it stays whole.
    EXPECT_EQ(ReadLines("name \"a//b\"\r\n"), (Lines{"name \"a"}));
    EXPECT_EQ(ReadLines("a/b / c\r\n"), (Lines{"a/b / c"}));
}

TEST_F(QFileTest, ReadLineEndsLinesAtLoneLineFeedToo)
{
    EXPECT_EQ(ReadLines("x\ny\r\n"), (Lines{"x", "y"}));
    EXPECT_EQ(ReadLines("one\n\n  two // c\nthree"), (Lines{"one", "two", "three"}));
    // A lone CR is an ordinary character below 33.
    EXPECT_EQ(ReadLines("a\rb\r\n"), (Lines{"a\rb"}));
}

TEST_F(QFileTest, ReadLineReturnsTheLastLineUntrimmedAtTheEnd)
{
    EXPECT_EQ(ReadLines("first\r\nlast  "), (Lines{"first", "last  "}));
    // Trailing blank lines leave one empty read at the end.
    EXPECT_EQ(ReadLines("a\r\n\r\n  "), (Lines{"a", ""}));
}

TEST_F(QFileTest, ReadLineCutsLongLinesAndContinuesWithoutSkipping)
{
    // 4 characters fit in a 5-byte buffer; the rest keeps its leading blank.
    EXPECT_EQ(ReadLines("abcd efgh\r\nij\r\n", 5), (Lines{"abcd", " efg", "h", "ij"}));
    // A cut exactly before the line end does not produce an empty line.
    EXPECT_EQ(ReadLines("abcd\r\nef\r\n", 5), (Lines{"abcd", "ef"}));
}

TEST_F(QFileTest, ReadLineStartsAfreshAfterReopen)
{
    WriteDisk("a.txt", "abcdefgh\r\n");
    QF_File locFile;
    char locBuffer[4];
    ASSERT_TRUE(locFile.Open(PathOf("a.txt").c_str(), OPEN_READ));
    locFile.ReadLine(locBuffer, sizeof(locBuffer));
    EXPECT_EQ(locFile.myLineState, 1);
    WriteDisk("b.txt", "   z\r\n");
    ASSERT_TRUE(locFile.Open(PathOf("b.txt").c_str(), OPEN_READ));
    locFile.ReadLine(locBuffer, sizeof(locBuffer));
    EXPECT_STREQ(locBuffer, "z");
}

TEST_F(QFileTest, StreamingReadLineMatchesBufferedRead)
{
    // A carriage return not followed by a line feed is an ordinary character.
    const std::string locText = "  ab // c\r\nx\ny\rz\r\n\r\nlast\r";
    WriteDisk("s.txt", locText);
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(PathOf("s.txt").c_str(), OPEN_READ | OPEN_STREAMING));
    EXPECT_EQ(locFile.myBuffer, nullptr);
    Lines locLines;
    char locBuffer[64];
    while (locFile.myFilePos < locFile.myFileSize)
    {
        locFile.ReadLine(locBuffer, sizeof(locBuffer));
        locLines.push_back(locBuffer);
    }
    EXPECT_EQ(locLines, ReadLines(locText));
    EXPECT_EQ(locLines[2], "y\rz");
    // A buffer of one character holds only the terminator.
    ASSERT_TRUE(locFile.Open(PathOf("s.txt").c_str(), OPEN_READ | OPEN_STREAMING));
    EXPECT_EQ(locFile.ReadLine(locBuffer, 1), 0u);
    EXPECT_STREQ(locBuffer, "");
}

TEST_F(QFileTest, ReadClampsAtTheEndAndSeekFollowsWhence)
{
    WriteDisk("ten.bin", "0123456789");
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(PathOf("ten.bin").c_str(), OPEN_READ));
    EXPECT_EQ(locFile.GetSize(), 10u);
    char locBuffer[16] = {};
    ASSERT_TRUE(locFile.Seek(6, 0));
    EXPECT_EQ(locFile.Read(locBuffer, 10), 4u);
    EXPECT_STREQ(locBuffer, "6789");
    EXPECT_EQ(locFile.GetPos(), 10u);
    EXPECT_EQ(locFile.Read(locBuffer, 1), 0u);

    EXPECT_TRUE(locFile.Seek(3, 2));
    EXPECT_EQ(locFile.GetPos(), 7u);
    EXPECT_TRUE(locFile.Seek(uint32_t(-2), 1));
    EXPECT_EQ(locFile.GetPos(), 5u);
    EXPECT_FALSE(locFile.Seek(11, 0));
    EXPECT_FALSE(locFile.Seek(11, 2));
    EXPECT_FALSE(locFile.Seek(0, 3));
    EXPECT_EQ(locFile.GetPos(), 5u);

    uint32_t locCount = 8;
    locFile.ReadSome(locBuffer, &locCount);
    EXPECT_EQ(locCount, 5u);
    uint32_t locValue = 1;
    EXPECT_FALSE(locFile.ReadU32(&locValue));
    EXPECT_EQ(locValue, 0u);
    // A string asked for at the end is empty.
    locFile.ReadString(locBuffer, sizeof(locBuffer));
    EXPECT_STREQ(locBuffer, "");
}

TEST_F(QFileTest, ReadU32AndReadStringFollowTheMode)
{
    WriteDisk("w.bin", std::string("\x01\x02\x03\x04" "ab\0cdef", 11));
    QF_File locFile;
    uint32_t locValue = 0;
    char locText[8];
    ASSERT_TRUE(locFile.Open(PathOf("w.bin").c_str(), OPEN_READ));
    EXPECT_TRUE(locFile.ReadU32(&locValue));
    EXPECT_EQ(locValue, 0x04030201u);
    locFile.ReadString(locText, sizeof(locText));
    EXPECT_STREQ(locText, "ab");
    EXPECT_EQ(locFile.GetPos(), 7u);
    locFile.ReadString(locText, 3);
    EXPECT_STREQ(locText, "cd");
    ASSERT_TRUE(locFile.Open(PathOf("w.bin").c_str(), OPEN_READ | OPEN_SWAP_BYTES));
    EXPECT_TRUE(locFile.ReadU32(&locValue));
    EXPECT_EQ(locValue, 0x01020304u);
}

TEST_F(QFileTest, WriteGoesToDiskWholeAtClose)
{
    const std::string locPath = PathOf("out.txt");
    WriteDisk("out.txt", "old contents");
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), OPEN_WRITE));
    EXPECT_EQ(locFile.GetSize(), 0u);
    std::string locBig(200000, 'x');
    ASSERT_TRUE(locFile.Write(locBig.data(), uint32_t(locBig.size())));
    EXPECT_EQ(locFile.myCapacity, 4u * 65536u);
    // Until Close the user's file is as it was.
    EXPECT_EQ(ReadDisk("out.txt"), "old contents");
    ASSERT_TRUE(locFile.Seek(0, 0));
    ASSERT_TRUE(locFile.Write("head", 4));
    EXPECT_TRUE(locFile.Close());
    EXPECT_EQ(ReadDisk("out.txt"), "head" + locBig.substr(4));
    EXPECT_EQ(std::distance(fs::directory_iterator(myDir), fs::directory_iterator()), 1);

    QF_ErrorCode = 0;
    EXPECT_FALSE(locFile.Close());
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_OPEN);
}

TEST_F(QFileTest, NoTruncateKeepsContentsAndAppendStartsAtTheEnd)
{
    WriteDisk("keep.txt", "0123456789");
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(PathOf("keep.txt").c_str(), OPEN_WRITE | OPEN_NO_TRUNCATE));
    EXPECT_EQ(locFile.GetSize(), 10u);
    EXPECT_EQ(locFile.GetPos(), 0u);
    ASSERT_TRUE(locFile.Seek(2, 0));
    ASSERT_TRUE(locFile.Write("ab", 2));
    ASSERT_TRUE(locFile.Close());
    EXPECT_EQ(ReadDisk("keep.txt"), "01ab456789");

    ASSERT_TRUE(locFile.Open(PathOf("keep.txt").c_str(), OPEN_APPEND));
    EXPECT_EQ(locFile.myFlags, uint32_t(OPEN_APPEND | OPEN_WRITE | OPEN_NO_TRUNCATE));
    EXPECT_EQ(locFile.GetPos(), 10u);
    ASSERT_TRUE(locFile.Write("\r\n", 2));
    ASSERT_TRUE(locFile.Close());
    EXPECT_EQ(ReadDisk("keep.txt"), "01ab456789\r\n");
}

TEST_F(QFileTest, WritingCreatesMissingDirectoriesAndKeepsPermissions)
{
    const std::string locPath = PathOf("new/deeper/file.bin");
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), OPEN_WRITE));
    ASSERT_TRUE(locFile.Write("z", 1));
    ASSERT_TRUE(locFile.Close());
    EXPECT_EQ(ReadDisk("new/deeper/file.bin"), "z");

    chmod(locPath.c_str(), 0640);
    ASSERT_TRUE(locFile.Open(locPath.c_str(), OPEN_WRITE));
    ASSERT_TRUE(locFile.Close());
    EXPECT_EQ(fs::status(locPath).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadDisk("new/deeper/file.bin"), "");
}

TEST_F(QFileTest, CloseReportsAFailedWriteBack)
{
    const std::string locPath = PathOf("gone/file.txt");
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), OPEN_WRITE));
    ASSERT_TRUE(locFile.Write("data", 4));
    // The folder vanishes before the write-back: nowhere to put the file.
    fs::remove_all(myDir / "gone");
    QF_ErrorCode = 0;
    EXPECT_FALSE(locFile.Close());
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_WRITE);
    EXPECT_FALSE(locFile.IsOpen());
}

TEST_F(QFileTest, CloseOnAFullDiskKeepsTheOldFile)
{
    WriteDisk("full.txt", "keep me");
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(PathOf("full.txt").c_str(), OPEN_WRITE));
    std::string locBig(8192, 'x');
    ASSERT_TRUE(locFile.Write(locBig.data(), uint32_t(locBig.size())));
    QF_ErrorCode = 0;
    EXPECT_FALSE(CloseOnAFullDisk(locFile));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_WRITE);
    EXPECT_EQ(ReadDisk("full.txt"), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(myDir), fs::directory_iterator()), 1);
}

TEST_F(QFileTest, ANewFileAppearsOnlyWhenItsSaveSucceeds)
{
    // Open for writing makes nothing on the disk; a write-back that fails,
    // or a process killed before it, leaves no empty file behind.
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(PathOf("new.txt").c_str(), OPEN_WRITE));
    EXPECT_FALSE(fs::exists(PathOf("new.txt")));
    std::string locBig(8192, 'x');
    ASSERT_TRUE(locFile.Write(locBig.data(), uint32_t(locBig.size())));
    EXPECT_FALSE(CloseOnAFullDisk(locFile));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_WRITE);
    EXPECT_EQ(std::distance(fs::directory_iterator(myDir), fs::directory_iterator()), 0);

    pid_t locChild = fork();
    if (locChild == 0)
    {
        QF_File locKilled;
        if (locKilled.Open(PathOf("sub/killed.txt").c_str(), OPEN_WRITE))
            locKilled.Write("lost", 4);
        raise(SIGKILL);
    }
    int locStatus = 0;
    ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
    EXPECT_TRUE(WIFSIGNALED(locStatus));
    EXPECT_FALSE(fs::exists(PathOf("sub/killed.txt")));

    // A folder that cannot take the file fails at Open, as it did.
    WriteDisk("plain", "a file, not a folder");
    EXPECT_FALSE(locFile.Open(PathOf("plain/x.txt").c_str(), OPEN_WRITE));
    ASSERT_TRUE(locFile.Open(PathOf("new.txt").c_str(), OPEN_WRITE));
    ASSERT_TRUE(locFile.Write("kept", 4));
    ASSERT_TRUE(locFile.Close());
    EXPECT_EQ(ReadDisk("new.txt"), "kept");
}

TEST_F(QFileTest, OpenFailsCleanlyForMissingFiles)
{
    QF_File locFile;
    EXPECT_FALSE(locFile.Open(PathOf("missing.txt").c_str(), OPEN_READ));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
    EXPECT_FALSE(locFile.IsOpen());
    EXPECT_FALSE(QF_File::Exists(PathOf("missing.txt").c_str()));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
}

TEST_F(QFileTest, PathsResolveWithoutRegardToCaseAndWithBackslashes)
{
    WriteDisk("Data/Textures/Rock.TGA", "rock");
    const std::string locAsked = myDir.string() + "\\data\\TEXTURES\\rock.tga";
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locAsked.c_str(), OPEN_READ));
    EXPECT_EQ(locFile.GetSize(), 4u);
    uint32_t locTime = 0;
    uint32_t locSize = 0;
    char locArchive[256] = "x";
    EXPECT_TRUE(QF_File::GetFileInfo(locAsked.c_str(), &locTime, &locSize, locArchive));
    EXPECT_EQ(locSize, 4u);
    EXPECT_GT(locTime, 0u);
    EXPECT_STREQ(locArchive, "");
    EXPECT_TRUE(QF_File::IsDirectory((myDir.string() + "/DATA").c_str()));

    // Writing under another spelling replaces the same file, no twin appears.
    ASSERT_TRUE(locFile.Open(locAsked.c_str(), OPEN_WRITE));
    ASSERT_TRUE(locFile.Write("ROCK", 4));
    ASSERT_TRUE(locFile.Close());
    EXPECT_EQ(ReadDisk("Data/Textures/Rock.TGA"), "ROCK");
    EXPECT_EQ(std::distance(fs::directory_iterator(myDir / "Data/Textures"), fs::directory_iterator()), 1);
    EXPECT_TRUE(QF_File::Delete(locAsked.c_str()));
    EXPECT_FALSE(fs::exists(myDir / "Data/Textures/Rock.TGA"));
}

TEST_F(QFileTest, CreatePathMakesEveryPrefixDirectory)
{
    fs::create_directories(myDir / "Data");
    QF_File::CreatePath((myDir.string() + "/data\\Sub/deep/leaf.txt").c_str());
    EXPECT_TRUE(fs::is_directory(myDir / "Data/Sub/deep"));
    EXPECT_FALSE(fs::exists(myDir / "data"));
    EXPECT_FALSE(fs::exists(myDir / "Data/Sub/deep/leaf.txt"));
}

TEST_F(QFileTest, ListDirectoryListsDiskEntriesOnce)
{
    WriteDisk("list/a.txt", "12345");
    WriteDisk("list/B.bin", "");
    fs::create_directories(myDir / "list/sub");
    std::unique_ptr<QF_FileList> locList(QF_File::ListDirectory(PathOf("list").c_str()));
    ASSERT_TRUE(locList);
    EXPECT_EQ(locList->Count(), 3);
    QF_FileList::Node* locA = locList->Find("A.TXT");
    ASSERT_TRUE(locA);
    EXPECT_STREQ(locA->myName, "a.txt");
    EXPECT_EQ(locA->mySize, 5u);
    EXPECT_EQ(locA->myIsDirectory, 0);
    EXPECT_GT(locA->myTime, 0u);
    ASSERT_TRUE(locList->Find("sub"));
    EXPECT_EQ(locList->Find("sub")->myIsDirectory, 1);
    EXPECT_FALSE(locList->Find("."));
    EXPECT_FALSE(locList->Find(".."));

    // The first name given wins and later ones are newer at the head.
    QF_FileList locOwn;
    EXPECT_TRUE(locOwn.Add("one", 1, 1, false));
    EXPECT_TRUE(locOwn.Add("ONE", 2, 2, false));
    EXPECT_TRUE(locOwn.Add("two", 3, 3, true));
    EXPECT_EQ(locOwn.Count(), 2);
    EXPECT_STREQ(locOwn.myFirst->myName, "two");
    EXPECT_EQ(locOwn.Find("one")->mySize, 1u);
}

TEST_F(QFileTest, FilesOfFourGigabytesAreRefused)
{
    // Sparse: no disk space is used.
    fs::create_directories(myDir / "big");
    std::ofstream(myDir / "big/huge.bin").close();
    fs::resize_file(myDir / "big/huge.bin", 0x100000000ull);
    const std::string locPath = PathOf("big/huge.bin");
    QF_File locFile;
    EXPECT_FALSE(locFile.Open(locPath.c_str(), OPEN_READ | OPEN_STREAMING));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_TOO_LARGE);
    EXPECT_FALSE(QF_File::Exists(locPath.c_str()));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_TOO_LARGE);
    std::unique_ptr<QF_FileList> locList(QF_File::ListDirectory(PathOf("big").c_str()));
    ASSERT_TRUE(locList && locList->Find("huge.bin"));
    EXPECT_EQ(locList->Find("huge.bin")->mySize, 0xFFFFFFFFu);
}

TEST(QFilePackTime, PackDateTimeValues)
{
    struct Case
    {
        int myYear, myMonth, myDay, myHour, myMinute, mySecond;
        bool myValid;
        uint32_t myPacked;
    };
    const Case locCases[] = {
        {2000, 1, 1, 0, 0, 0, true, 0},
        {2000, 1, 1, 0, 0, 1, true, 1},
        {2000, 2, 1, 0, 0, 0, true, 2678400},
        {2001, 1, 1, 0, 0, 0, true, 372u * 86400u},
        {2000, 1, 31, 23, 59, 59, true, 31u * 86400u - 1},
        {1999, 12, 31, 0, 0, 0, false, 0},
        {2000, 13, 1, 0, 0, 0, false, 0},
        {2000, 1, 0, 0, 0, 0, false, 0},
        {2000, 1, 1, 24, 0, 0, false, 0},
        {2000, 1, 1, 0, 60, 0, false, 0},
        {2000, 1, 1, 0, 0, 60, false, 0},
        {2133, 8, 1, 0, 0, 0, true, 4293475200u},
        // Past 32 bits late in 2133: refused rather than wrapped.
        {2133, 12, 31, 23, 59, 59, false, 0},
        {2134, 1, 1, 0, 0, 0, false, 0},
    };
    for (const Case& locCase : locCases)
    {
        uint32_t locPacked = 12345;
        bool locValid = QF_File::PackDateTime(locCase.myYear, locCase.myMonth, locCase.myDay, locCase.myHour,
                                              locCase.myMinute, locCase.mySecond, &locPacked);
        EXPECT_EQ(locValid, locCase.myValid) << locCase.myYear << "-" << locCase.myMonth << "-" << locCase.myDay;
        EXPECT_EQ(locPacked, locCase.myValid ? locCase.myPacked : 12345u);
    }
}

TEST(QFilePackTime, PackTimeIsUTC)
{
    const char* locOldZone = getenv("TZ");
    std::string locSaved = locOldZone ? locOldZone : "";
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(QF_File::PackTime(946684800), 0u);          // 2000-01-01 00:00:00 UTC
    EXPECT_EQ(QF_File::PackTime(946684800 + 3661), 3661u);
    EXPECT_EQ(QF_File::PackTime(946684799), 0u);          // before 2000
    if (locOldZone)
        setenv("TZ", locSaved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(QFileTest, DeleteAllClosesAndWritesBackOpenFiles)
{
    QC_GrowingArray<QF_File*> locFiles;
    ASSERT_TRUE(locFiles.Init(2, 2, false));
    for (int locIndex = 0; locIndex < 3; ++locIndex)
    {
        QF_File* locFile = new QF_File;
        std::string locName = PathOf("f" + std::to_string(locIndex));
        ASSERT_TRUE(locFile->Open(locName.c_str(), OPEN_WRITE));
        ASSERT_TRUE(locFile->Write("k", 1));
        ASSERT_TRUE(locFiles.Add(locFile));
    }
    locFiles.Add(new QF_File);
    locFiles.DeleteAll();
    EXPECT_EQ(locFiles.myUsedNrOfItems, 0);
    for (int locIndex = 0; locIndex < 3; ++locIndex)
        EXPECT_EQ(ReadDisk("f" + std::to_string(locIndex)), "k");
}
}

TEST_F(QFileTest, ReadOnlyFilesAreNotReplacedByAWriteBackOrAnArchive)
{
    // Root may write anything: the mode decides, as Windows' read-only attribute would.
    WriteDisk("locked.txt", "locked");
    WriteDisk("locked.sdf", "not an archive, but read-only");
    WriteDisk("a.txt", "packed");
    chmod(PathOf("locked.txt").c_str(), 0444);
    chmod(PathOf("locked.sdf").c_str(), 0444);

    QF_File locFile;
    if (locFile.Open(PathOf("LOCKED.TXT").c_str(), OPEN_WRITE))
    {
        ASSERT_TRUE(locFile.Write("new", 3));
        EXPECT_FALSE(locFile.Close());
        EXPECT_EQ(QF_ErrorCode, QF_ERROR_WRITE);
    }
    // Archives hold relative names: the writer works from the folder.
    const fs::path locOld = fs::current_path();
    fs::current_path(myDir);
    QF_SDFEdit locWriter;
    ASSERT_TRUE(locWriter.AddFile("a.txt"));
    EXPECT_FALSE(locWriter.Write("locked.sdf"));
    fs::current_path(locOld);
    EXPECT_NE(QF_SDFEditError, QF_SDFEDIT_OK);
    EXPECT_EQ(std::string(QF_SDFEditErrorText).rfind("locked.sdf: ", 0), 0u) << QF_SDFEditErrorText;

    EXPECT_EQ(ReadDisk("locked.txt"), "locked");
    EXPECT_EQ(ReadDisk("locked.sdf"), "not an archive, but read-only");
    std::vector<std::string> locNames;
    for (const fs::directory_entry& locEntry : fs::directory_iterator(myDir))
        locNames.push_back(locEntry.path().filename().string());
    std::sort(locNames.begin(), locNames.end());
    EXPECT_EQ(locNames, (std::vector<std::string>{"a.txt", "locked.sdf", "locked.txt"}));
}
