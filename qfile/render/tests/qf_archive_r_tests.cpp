// Directory-block archives, built byte by byte in the tests: lookups through
// every storage mode, priorities against the disk, listings, refresh, and
// damaged directories that must be refused.
#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>
#include <zlib.h>

#include "qf_test_util.h"
#include "qfile/render/qf_file.h"

namespace
{
struct TNode
{
    std::string myName;
    bool myIsDirectory;
    std::vector<uint8_t> myData;
    std::vector<TNode> myChildren;
};

TNode locFile(const std::string& aName, const std::string& aData)
{
    return TNode{aName, false, QF_TestBytes(aData), {}};
}

TNode locDir(const std::string& aName, std::vector<TNode> aChildren)
{
    return TNode{aName, true, {}, std::move(aChildren)};
}

// Writes an archive of the given mode byte holding aRoot's children.
class ArchiveBuilder
{
public:
    explicit ArchiveBuilder(uint8_t aMode) : myMode(aMode) {}

    std::vector<uint8_t> Build(const TNode& aRoot)
    {
        myBytes = {'K', 'O', 'L', myMode, 0, 0, 0, 0};
        Reserve(16);
        PutUnit(8, (uint32_t)aRoot.myChildren.size());
        Place(aRoot, 12);
        PutWord(4, (uint32_t)myBytes.size());
        return myBytes;
    }

    // Offsets of what Build placed, for tests that damage the archive.
    uint32_t myRootBlock = 16;

private:
    static uint32_t BlockSize(const TNode& aDir)
    {
        uint32_t locSize = 4 * (uint32_t)aDir.myChildren.size();
        for (const TNode& locChild : aDir.myChildren)
            locSize += 9 + (uint32_t)locChild.myName.size() + 1;
        return locSize;
    }
    void Reserve(size_t anEnd)
    {
        if (myBytes.size() < anEnd)
            myBytes.resize(anEnd);
    }
    void PutWord(uint32_t aPosition, uint32_t aValue)
    {
        Reserve(aPosition + 4);
        memcpy(&myBytes[aPosition], &aValue, 4);
    }
    void PutUnit(uint32_t aPosition, uint32_t aValue)
    {
        PutWord(aPosition, aValue);
        QF_File::ScrambleBlock(4, &myBytes[aPosition], myMode & 0x3f);
    }
    std::vector<uint8_t> Stored(const std::vector<uint8_t>& aData)
    {
        std::vector<uint8_t> locStored = aData;
        if (myMode & 0x80)
        {
            locStored.resize(compressBound(aData.size()) + 4);
            uLongf locLength = locStored.size() - 4;
            compress2(locStored.data() + 4, &locLength, aData.data(), aData.size(), 9);
            locStored.resize(locLength + 4);
            uint32_t locSize = (uint32_t)aData.size();
            memcpy(locStored.data(), &locSize, 4);
        }
        if (myMode & 0x40)
            QF_File::ScrambleBlock((uint32_t)locStored.size(), locStored.data(), myMode & 0x3f);
        return locStored;
    }
    // The directory's block size word at aPosition, its block after it.
    void Place(const TNode& aDir, uint32_t aPosition)
    {
        uint32_t locBlockSize = BlockSize(aDir);
        uint32_t locBlock = aPosition + 4;
        Reserve(locBlock + locBlockSize);
        std::vector<uint8_t> locEntries(locBlockSize);
        uint32_t locEntry = 4 * (uint32_t)aDir.myChildren.size();
        for (size_t i = 0; i < aDir.myChildren.size(); i++)
        {
            const TNode& locChild = aDir.myChildren[i];
            uint32_t locSize, locOffset = (uint32_t)myBytes.size();
            if (locChild.myIsDirectory)
            {
                locSize = (uint32_t)locChild.myChildren.size();
                Place(locChild, locOffset);
            }
            else
            {
                std::vector<uint8_t> locStored = Stored(locChild.myData);
                myBytes.insert(myBytes.end(), locStored.begin(), locStored.end());
                locSize = (uint32_t)locStored.size();
            }
            memcpy(&locEntries[4 * i], &locEntry, 4);
            memcpy(&locEntries[locEntry], &locSize, 4);
            memcpy(&locEntries[locEntry + 4], &locOffset, 4);
            locEntries[locEntry + 8] = locChild.myIsDirectory ? 1 : 0;
            std::string locUpper = locChild.myName;
            for (char& c : locUpper)
                c = (char)toupper((unsigned char)c);
            memcpy(&locEntries[locEntry + 9], locUpper.c_str(), locUpper.size() + 1);
            locEntry += 9 + (uint32_t)locUpper.size() + 1;
        }
        QF_File::ScrambleBlock(locBlockSize, locEntries.data(), myMode & 0x3f);
        memcpy(&myBytes[locBlock], locEntries.data(), locBlockSize);
        PutUnit(aPosition, locBlockSize);
    }

    uint8_t myMode;
    std::vector<uint8_t> myBytes;
};

TNode locTree()
{
    return locDir("", {locFile("top.txt", "at the top"),
                       locDir("a", {locDir("b", {locFile("c.tga", "targa bytes"), locFile("d.txt", "dee")}),
                                    locFile("e.txt", "eee")})});
}

std::string locContents(QF_File& aFile)
{
    return std::string((const char*)aFile.myBuffer, aFile.myFileSize);
}

class QF_ArchiveTest : public ::testing::Test
{
protected:
    void TearDown() override { QF_File::CloseAllArchives(); }

    std::string WriteArchive(const char* aName, uint8_t aMode, const TNode& aRoot = locTree())
    {
        std::string locPath = QF_TestPath(aName);
        QF_TestWriteFile(locPath, ArchiveBuilder(aMode).Build(aRoot));
        return locPath;
    }
};
} // namespace

TEST_F(QF_ArchiveTest, ReadsFilesInEveryStorageMode)
{
    const uint8_t locModes[] = {0x07, 0x47, 0x87, 0xC7};
    for (uint8_t locMode : locModes)
    {
        std::string locPath = WriteArchive("modes.kol", locMode);
        ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 1)) << (int)locMode;
        QF_ArchiveEntry* locEntry = QF_File::FindArchive(locPath.c_str());
        ASSERT_NE(locEntry, nullptr);
        EXPECT_EQ(locEntry->myVersion, 7u);
        QF_File locFile;
        for (const char* locName : {"a/b/c.tga", "A\\B\\C.TGA", "a\\b/C.tga"})
        {
            ASSERT_TRUE(locFile.Open(locName, QF_READ)) << locName << " mode " << (int)locMode;
            EXPECT_EQ(locContents(locFile), "targa bytes");
            EXPECT_TRUE(locFile.myFlags & QF_FLAG_ARCHIVE);
            EXPECT_EQ(locFile.myFileTime, 0);
        }
        ASSERT_TRUE(locFile.Open("top.txt", QF_READ));
        EXPECT_EQ(locContents(locFile), "at the top");
        ASSERT_TRUE(locFile.Open("a/e.txt", QF_READ | QF_MAPPED));
        EXPECT_EQ(locContents(locFile), "eee");
        EXPECT_TRUE(locFile.myFlags & QF_FLAG_MAPPED);
        EXPECT_FALSE(locFile.Open("a/b", QF_READ));
        EXPECT_FALSE(locFile.Open("a/b/none.tga", QF_READ));
        EXPECT_FALSE(locFile.Open("top.txt/x", QF_READ));
        QF_File::CloseAllArchives();
    }
}

TEST_F(QF_ArchiveTest, MappedArchiveHandsOutViews)
{
    std::string locPath = WriteArchive("mapped.kol", 0x07);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 1));
    QF_ArchiveEntry* locEntry = QF_File::FindArchive(locPath.c_str());
    ASSERT_NE(locEntry->myView, nullptr);
    EXPECT_EQ(locEntry->myDataFlags, (uint32_t)QF_FLAG_MAPPED);
    QF_File locFile;
    ASSERT_TRUE(locFile.Open("a/b/d.txt", QF_READ));
    EXPECT_EQ(locFile.myFlags, (uint32_t)(QF_FLAG_ARCHIVE | QF_FLAG_NOT_OWNED));
    EXPECT_GE(locFile.myBuffer, locEntry->myView);
    EXPECT_EQ(locContents(locFile), "dee");
    EXPECT_TRUE(locFile.Close());

    // Without mapping the contents are a copy of their own.
    QF_File::CloseAllArchives();
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), true, 1));
    ASSERT_TRUE(locFile.Open("a/b/d.txt", QF_READ));
    EXPECT_EQ(locFile.myFlags, (uint32_t)QF_FLAG_ARCHIVE);
    EXPECT_EQ(locContents(locFile), "dee");
}

TEST_F(QF_ArchiveTest, PriorityDecidesAgainstTheDisk)
{
    std::string locFolder = QF_TestPath("prio");
    QF_File::CreatePath((locFolder + "/x").c_str());
    std::string locName = locFolder + "/top.txt";
    QF_TestWriteFile(locName, QF_TestBytes("from disk"));
    std::string locRelative = locName.substr(1); // the archive holds the path without the leading '/'
    TNode locRoot = locDir("", {});
    TNode* locLevel = &locRoot;
    size_t locStart = 0;
    while (true)
    {
        size_t locSlash = locRelative.find('/', locStart);
        if (locSlash == std::string::npos)
            break;
        locLevel->myChildren.push_back(locDir(locRelative.substr(locStart, locSlash - locStart), {}));
        locLevel = &locLevel->myChildren.back();
        locStart = locSlash + 1;
    }
    locLevel->myChildren.push_back(locFile("top.txt", "from archive"));
    std::string locPath = WriteArchive("prio.kol", 0x07, locRoot);

    QF_File locFile;
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 0));
    ASSERT_TRUE(locFile.Open(locName.c_str(), QF_READ));
    EXPECT_EQ(locContents(locFile), "from disk");
    QF_File::CloseAllArchives();
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 1));
    ASSERT_TRUE(locFile.Open(locName.c_str(), QF_READ));
    EXPECT_EQ(locContents(locFile), "from archive");
    // Priority 0 still serves names the disk lacks.
    QF_File::CloseAllArchives();
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 0));
    unlink(locName.c_str());
    ASSERT_TRUE(locFile.Open(locName.c_str(), QF_READ));
    EXPECT_EQ(locContents(locFile), "from archive");
    EXPECT_TRUE(QF_File::Exists(locName.c_str()));
}

TEST_F(QF_ArchiveTest, RefusesBadHeadersAndSizes)
{
    std::vector<uint8_t> locGood = ArchiveBuilder(0x07).Build(locTree());
    std::string locPath = QF_TestPath("bad.kol");
    struct Case
    {
        const char* myName;
        size_t myOffset;
        uint8_t myValue;
        int myError;
    } locCases[] = {
        {"magic", 0, 'X', QF_ERROR_ARCHIVE_HEADER},
        {"version 6", 3, 0x06, QF_ERROR_ARCHIVE_HEADER},
        {"mode bits", 3, 0x27, QF_ERROR_ARCHIVE_HEADER},
        {"size word", 4, 0xFF, QF_ERROR_ARCHIVE_SIZE},
    };
    for (const Case& c : locCases)
    {
        std::vector<uint8_t> locBad = locGood;
        locBad[c.myOffset] = c.myValue;
        QF_TestWriteFile(locPath, locBad);
        EXPECT_FALSE(QF_File::AddArchive(locPath.c_str(), false, 1)) << c.myName;
        EXPECT_EQ(QF_ErrorCode, c.myError) << c.myName;
        EXPECT_EQ(QF_File::GetFirstArchive(), nullptr);
    }
    QF_TestWriteFile(locPath, {'K', 'O'});
    EXPECT_FALSE(QF_File::AddArchive(locPath.c_str(), false, 1));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_READ);
    EXPECT_FALSE(QF_File::AddArchive(QF_TestPath("no_archive.kol").c_str(), false, 1));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
}

TEST_F(QF_ArchiveTest, RefusesDamagedDirectoriesWithoutReadingPastThem)
{
    std::vector<uint8_t> locGood = ArchiveBuilder(0x07).Build(locTree());
    std::string locPath = QF_TestPath("damaged.kol");
    auto locUnscrambledRoot = [&](std::vector<uint8_t>& aBytes, uint32_t* aSize) {
        uint32_t locSize;
        memcpy(&locSize, &aBytes[12], 4);
        QF_File::ScrambleBlock(4, &locSize, 7);
        *aSize = locSize;
        QF_File::ScrambleBlock(locSize, &aBytes[16], 7);
    };
    // Each damage is applied to the unscrambled root block, which is then
    // scrambled again.
    struct Case
    {
        const char* myName;
        void (*myDamage)(std::vector<uint8_t>& aBytes, uint32_t aBlockSize);
    } locCases[] = {
        {"entry offset past the block",
         [](std::vector<uint8_t>& b, uint32_t s) { uint32_t v = s - 3; memcpy(&b[16], &v, 4); }},
        {"name without terminator",
         [](std::vector<uint8_t>& b, uint32_t s) { memset(&b[16 + s - 6], 'Z', 6); }},
        {"file data past the end",
         [](std::vector<uint8_t>& b, uint32_t s) {
             uint32_t locEntry;
             memcpy(&locEntry, &b[16], 4);
             uint32_t v = 0xFFFFFF00u;
             memcpy(&b[16 + locEntry + 4], &v, 4);
         }},
        {"directory offset past the end",
         [](std::vector<uint8_t>& b, uint32_t s) {
             uint32_t locEntry;
             memcpy(&locEntry, &b[16 + 4], 4);
             uint32_t v = (uint32_t)b.size();
             memcpy(&b[16 + locEntry + 4], &v, 4);
         }},
    };
    for (const Case& c : locCases)
    {
        std::vector<uint8_t> locBad = locGood;
        uint32_t locBlockSize;
        locUnscrambledRoot(locBad, &locBlockSize);
        c.myDamage(locBad, locBlockSize);
        QF_File::ScrambleBlock(locBlockSize, &locBad[16], 7);
        QF_TestWriteFile(locPath, locBad);
        ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), true, 1)) << c.myName;
        QF_File locFile;
        EXPECT_FALSE(locFile.Open("a/b/c.tga", QF_READ)) << c.myName;
        EXPECT_FALSE(QF_File::GetFirstArchive()->myIsOpen) << c.myName;
        QF_File::CloseAllArchives();
    }

    // A root count larger than its block, and a block size larger than the file.
    std::vector<uint8_t> locBad = locGood;
    uint32_t locCount = 1000;
    QF_File::ScrambleBlock(4, &locCount, 7);
    memcpy(&locBad[8], &locCount, 4);
    QF_TestWriteFile(locPath, locBad);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), true, 1));
    QF_ArchiveRecord locRecord;
    EXPECT_FALSE(QF_File::LookupInArchive(QF_File::GetFirstArchive(), "top.txt", &locRecord, nullptr, nullptr, nullptr));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_READ);
    QF_File::CloseAllArchives();
    locBad = locGood;
    uint32_t locHuge = 0x7FFFFFF0;
    QF_File::ScrambleBlock(4, &locHuge, 7);
    memcpy(&locBad[12], &locHuge, 4);
    QF_TestWriteFile(locPath, locBad);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), true, 1));
    EXPECT_FALSE(QF_File::LookupInArchive(QF_File::GetFirstArchive(), "top.txt", &locRecord, nullptr, nullptr, nullptr));
}

TEST_F(QF_ArchiveTest, DeepPathsAreRefusedBeforeReading)
{
    std::string locPath = WriteArchive("deep.kol", 0x07);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 1));
    std::string locDeep;
    for (int i = 0; i < 32; i++)
        locDeep += "d/";
    locDeep += "f";
    QF_ArchiveRecord locRecord;
    QF_ArchiveEntry* locEntry = QF_File::GetFirstArchive();
    EXPECT_FALSE(QF_File::LookupInArchive(locEntry, locDeep.c_str(), &locRecord, nullptr, nullptr, nullptr));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
    EXPECT_TRUE(locEntry->myIsOpen);
    ASSERT_TRUE(QF_File::LookupInArchive(locEntry, "a/b/c.tga", &locRecord, nullptr, nullptr, nullptr));
    EXPECT_EQ(locRecord.mySize, 11u);
    EXPECT_EQ(locRecord.myFlags, 0);
}

TEST_F(QF_ArchiveTest, ListsDirectories)
{
    std::string locPath = WriteArchive("list.kol", 0x47);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 1));
    QF_ArchiveEntry* locEntry = QF_File::GetFirstArchive();
    QF_ArchiveListNode* locList = nullptr;
    ASSERT_TRUE(QF_File::ListArchiveDirectory("", locEntry, &locList));
    ASSERT_TRUE(QF_File::ListArchiveDirectory("a/b", locEntry, &locList));
    // Names already listed are not added twice.
    ASSERT_TRUE(QF_File::ListArchiveDirectory("A\\B", locEntry, &locList));
    std::vector<std::pair<std::string, bool>> locNames;
    for (QF_ArchiveListNode* locNode = locList; locNode; locNode = locNode->myNext)
        locNames.push_back({locNode->myName, locNode->myIsDirectory});
    std::vector<std::pair<std::string, bool>> locExpected = {
        {"TOP.TXT", false}, {"A", true}, {"C.TGA", false}, {"D.TXT", false}};
    EXPECT_EQ(locNames, locExpected);
    EXPECT_FALSE(QF_File::ListArchiveDirectory("a/missing", locEntry, &locList));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
    EXPECT_FALSE(QF_File::ListArchiveDirectory("top.txt", locEntry, &locList));
    QF_File::FreeArchiveList(locList);
}

TEST_F(QF_ArchiveTest, RefreshClosesAndReopens)
{
    std::string locPath = WriteArchive("refresh.kol", 0x07);
    std::vector<uint8_t> locBytes = QF_TestReadFile(locPath);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 1));
    EXPECT_TRUE(QF_File::RefreshArchives());
    unlink(locPath.c_str());
    EXPECT_FALSE(QF_File::RefreshArchives());
    QF_ArchiveEntry* locEntry = QF_File::FindArchive(locPath.c_str());
    ASSERT_NE(locEntry, nullptr);
    EXPECT_FALSE(locEntry->myIsOpen);
    EXPECT_FALSE(QF_File::Exists("top.txt"));
    QF_TestWriteFile(locPath, locBytes);
    EXPECT_TRUE(QF_File::RefreshArchives());
    EXPECT_TRUE(locEntry->myIsOpen);
    EXPECT_TRUE(QF_File::Exists("top.txt"));
    EXPECT_TRUE(QF_File::ReopenArchive(locEntry));
    QF_File::DestroyEntry(locEntry);
    EXPECT_EQ(QF_File::GetFirstArchive(), nullptr);
}

TEST_F(QF_ArchiveTest, StreamingHandleKeepsItsOwnPosition)
{
    TNode locRoot = locDir("", {locFile("one.bin", "0123456789abcdef"), locFile("two.bin", "ZYXWVUTSRQ")});
    std::string locPath = WriteArchive("stream.kol", 0x07, locRoot);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), true, 1));
    QF_File locStream;
    ASSERT_NE(locStream.OpenStreaming("one.bin"), nullptr);
    EXPECT_EQ(locStream.myFileSize, 16u);
    char locText[5] = {};
    EXPECT_EQ(locStream.Read(locText, 4), 4u);
    EXPECT_STREQ(locText, "0123");
    // Lookups through the archive between the reads.
    QF_File locOther;
    ASSERT_TRUE(locOther.Open("two.bin", QF_READ));
    EXPECT_EQ(locContents(locOther), "ZYXWVUTSRQ");
    EXPECT_TRUE(QF_File::Exists("two.bin"));
    EXPECT_EQ(locStream.Read(locText, 4), 4u);
    EXPECT_STREQ(locText, "4567");
    ASSERT_TRUE(locStream.Seek(4, 2));
    EXPECT_EQ(locStream.Read(locText, 10), 4u);
    EXPECT_STREQ(locText, "cdef");
}

TEST_F(QF_ArchiveTest, ListingAndQueriesMergeArchivesAndDisk)
{
    std::string locFolder = QF_TestPath("merged");
    QF_File::CreatePath((locFolder + "/x").c_str());
    QF_TestWriteFile(locFolder + "/top.txt", QF_TestBytes("disk"));
    QF_TestWriteFile(locFolder + "/only_disk.txt", QF_TestBytes("d"));
    std::string locPath = WriteArchive("merged.kol", 0x87);
    ASSERT_TRUE(QF_File::AddArchive(locPath.c_str(), false, 0));

    // Relative names: the archive's root and the working directory meet.
    char locOld[1024];
    ASSERT_NE(getcwd(locOld, sizeof(locOld)), nullptr);
    ASSERT_EQ(chdir(locFolder.c_str()), 0);
    QF_FileList* locList = QF_File::ListDirectory("");
    ASSERT_NE(locList, nullptr);
    EXPECT_EQ(locList->Count(), 3);
    QF_FileList::Node* locTop = locList->Find("TOP.TXT");
    ASSERT_NE(locTop, nullptr);
    EXPECT_EQ(locTop->mySize, 4u); // the disk's entry wins over the archive of priority 0
    EXPECT_NE(locTop->myTime, 0u);
    ASSERT_NE(locList->Find("a"), nullptr);
    EXPECT_EQ(locList->Find("a")->myIsDirectory, 1);
    delete locList;

    uint32_t locTime = 1, locSize = 0;
    char locArchive[256];
    ASSERT_TRUE(QF_File::GetFileInfo("a/e.txt", &locTime, &locSize, locArchive));
    EXPECT_EQ(locTime, 0u);
    EXPECT_GT(locSize, 0u);
    EXPECT_NE(std::string(locArchive).find("MERGED.KOL"), std::string::npos);
    ASSERT_TRUE(QF_File::GetFileInfo("only_disk.txt", &locTime, &locSize, locArchive));
    EXPECT_EQ(locSize, 1u);
    EXPECT_STREQ(locArchive, "");
    EXPECT_FALSE(QF_File::GetTime("absent.txt", &locTime));
    ASSERT_EQ(chdir(locOld), 0);

    uint32_t locPacked = 7;
    EXPECT_TRUE(QF_File::PackDateTime(2000, 1, 1, 0, 0, 1, &locPacked));
    EXPECT_EQ(locPacked, 1u);
    EXPECT_TRUE(QF_File::PackDateTime(2000, 2, 1, 0, 0, 0, &locPacked));
    EXPECT_EQ(locPacked, 2678400u);
    EXPECT_FALSE(QF_File::PackDateTime(1999, 12, 31, 0, 0, 0, &locPacked));
    EXPECT_EQ(locPacked, 2678400u);
}
