// Reads through the archive registry: a small stored archive built byte by byte
// and registered by hand, searched before or after the disk by its priority.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "qfile/qf_file.h"
#include "qfile/qf_sdf.h"

namespace fs = std::filesystem;

namespace
{
void locPut(std::vector<uint8_t>& aBytes, uint32_t aValue)
{
    for (int locShift = 0; locShift < 32; locShift += 8)
        aBytes.push_back(uint8_t(aValue >> locShift));
}

void locPutText(std::vector<uint8_t>& aBytes, const char* aText)
{
    aBytes.insert(aBytes.end(), aText, aText + strlen(aText) + 1);
    while (aBytes.size() % 4)
        aBytes.push_back(0xEE);
}

uint32_t locHash(const char* aPath)
{
    char locNormalized[256];
    return QF_SDF::HashName(aPath, locNormalized);
}

// Archive of "data/x.txt" (stored "archived!") and "top.txt" (stored "top"),
// with the directories "" and "data". Hash order is not needed by the reader.
struct TestArchive
{
    std::vector<uint8_t> myFile;
    std::vector<uint8_t> myFAT;
};

TestArchive locBuild()
{
    TestArchive locArchive;
    std::vector<uint8_t>& locFile = locArchive.myFile;
    locPut(locFile, 0x094C4F4B);
    locPut(locFile, 0);
    const uint32_t locDataX = uint32_t(locFile.size());
    for (char locChar : std::string("archived!"))
        locFile.push_back(uint8_t(locChar));
    const uint32_t locDataTop = uint32_t(locFile.size());
    for (char locChar : std::string("top"))
        locFile.push_back(uint8_t(locChar));

    // N = 2, D = 2: records start at 8 + 8 x 4 = 40.
    std::vector<uint8_t> locRecords;
    const uint32_t locBase = 40;
    const uint32_t locRecX = locBase;            // 20 + "x.txt\0" padded to 8 = 28
    const uint32_t locRecTop = locRecX + 28;     // 20 + "top.txt\0" = 28
    const uint32_t locDirRoot = locRecTop + 28;  // S=1, sub, F=1, file, "" padded = 20
    const uint32_t locDirData = locDirRoot + 20; // S=0, F=1, file, "data\0" padded to 8 = 20
    const uint32_t locRootPath = locDirRoot + 16;
    const uint32_t locDataPath = locDirData + 12;

    std::vector<uint8_t>& locFAT = locArchive.myFAT;
    locPut(locFAT, 2);
    locPut(locFAT, locHash("data/x.txt"));
    locPut(locFAT, locRecX);
    locPut(locFAT, locHash("top.txt"));
    locPut(locFAT, locRecTop);
    locPut(locFAT, 2);
    locPut(locFAT, locHash(""));
    locPut(locFAT, locDirRoot);
    locPut(locFAT, locHash("data"));
    locPut(locFAT, locDirData);
    // File records.
    locPut(locFAT, 1000);
    locPut(locFAT, 9);
    locPut(locFAT, 9);
    locPut(locFAT, locDataX);
    locPut(locFAT, locDataPath);
    locPutText(locFAT, "x.txt");
    locPut(locFAT, 2000);
    locPut(locFAT, 3);
    locPut(locFAT, 3);
    locPut(locFAT, locDataTop);
    locPut(locFAT, locRootPath);
    locPutText(locFAT, "top.txt");
    // Directory records.
    locPut(locFAT, 1);
    locPut(locFAT, locDataPath);
    locPut(locFAT, 1);
    locPut(locFAT, locRecTop);
    locPutText(locFAT, "");
    locPut(locFAT, 0);
    locPut(locFAT, 1);
    locPut(locFAT, locRecX);
    locPutText(locFAT, "data");
    EXPECT_EQ(locFAT.size(), locDirData + 20);
    return locArchive;
}

class QFSDFSeamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir / "data");
        fs::current_path(myDir);
        TestArchive locArchive = locBuild();
        std::ofstream((myDir / "test.sdf").string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(locArchive.myFile.data()), std::streamsize(locArchive.myFile.size()));
        myFAT = locArchive.myFAT;
    }

    void TearDown() override
    {
        while (QF_SDF::ourFirstArchive)
        {
            QF_SDFArchive* locArchive = QF_SDF::ourFirstArchive;
            QF_SDF::DestroyEntry(locArchive);
            free(locArchive);
        }
        fs::current_path(Q_TEST_TMP_DIR);
    }

    QF_SDFArchive* Register(uint8_t aPriority)
    {
        QF_SDFArchive* locArchive = QF_SDF::CreateEntry();
        locArchive->myPriority = aPriority;
        locArchive->myName = strdup((myDir / "test.sdf").string().c_str());
        locArchive->myFileHand = OS_OpenFile(locArchive->myName, OS_OPEN_READ);
        locArchive->myFAT = static_cast<uint8_t*>(malloc(myFAT.size()));
        memcpy(locArchive->myFAT, myFAT.data(), myFAT.size());
        locArchive->myFATSize = uint32_t(myFAT.size());
        locArchive->myFileTable = 0;
        locArchive->myDirTable = 4 + 8 * 2;
        locArchive->myOpenFlag = 1;
        return locArchive;
    }

    static std::string Contents(QF_File& aFile)
    {
        std::string locText(aFile.GetSize(), 0);
        aFile.Read(locText.data(), aFile.GetSize());
        return locText;
    }

    fs::path myDir;
    std::vector<uint8_t> myFAT;
};

TEST_F(QFSDFSeamTest, EmptyRegistryFindsNothing)
{
    QF_SDFFileRecord locRecord;
    EXPECT_EQ(QF_SDF::FindFile("data/x.txt", &locRecord, 1), nullptr);
    QF_File locFile;
    EXPECT_FALSE(QF_SDF::OpenFile("data/x.txt", &locFile, 0));
    EXPECT_EQ(locHash(""), 1u);
    EXPECT_EQ(locHash("Data\\Tex.DDS"), locHash("data/tex.dds"));
}

TEST_F(QFSDFSeamTest, PriorityOneArchiveHidesTheDisk)
{
    std::ofstream("data/x.txt") << "on disk";
    Register(1);
    QF_File locFile;
    ASSERT_TRUE(locFile.Open("DATA\\X.TXT", OPEN_READ));
    EXPECT_EQ(Contents(locFile), "archived!");
    EXPECT_EQ(locFile.GetTime(), 1000u);
    uint32_t locSize = 0;
    char locArchive[256];
    ASSERT_TRUE(QF_File::GetFileInfo("data/x.txt", nullptr, &locSize, locArchive));
    EXPECT_EQ(locSize, 9u);
    EXPECT_EQ(fs::path(locArchive).filename(), "test.sdf");
    // A root record is found by its leaf alone, not under a directory.
    EXPECT_TRUE(QF_File::Exists("top.txt"));
    EXPECT_FALSE(QF_File::Exists("data/top.txt"));
}

TEST_F(QFSDFSeamTest, PriorityZeroArchiveStandsBehindTheDisk)
{
    std::ofstream("data/x.txt") << "on disk";
    Register(0);
    QF_File locFile;
    ASSERT_TRUE(locFile.Open("data/x.txt", OPEN_READ));
    EXPECT_EQ(Contents(locFile), "on disk");
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_READ | OPEN_STREAMING));
    EXPECT_NE(locFile.myFileHand, OS_INVALID_HANDLE);
    EXPECT_EQ(Contents(locFile), "top");

    std::unique_ptr<QF_FileList> locList(QF_File::ListDirectory("data"));
    ASSERT_TRUE(locList);
    EXPECT_EQ(locList->Count(), 1);
    EXPECT_EQ(locList->Find("x.txt")->mySize, 7u);
    EXPECT_NE(locList->Find("x.txt")->myTime, 1000u);

    locList.reset(QF_File::ListDirectory(""));
    ASSERT_TRUE(locList->Find("top.txt"));
    EXPECT_EQ(locList->Find("top.txt")->myTime, 2000u);
    EXPECT_EQ(locList->Find("data")->myIsDirectory, 1);
    EXPECT_TRUE(locList->Find("test.sdf"));
}

TEST_F(QFSDFSeamTest, ClosedOrFailingArchivesAreSkipped)
{
    QF_SDFArchive* locArchive = Register(1);
    locArchive->myOpenFlag = 0;
    EXPECT_FALSE(QF_File::Exists("top.txt"));
    locArchive->myOpenFlag = 1;
    // A record whose data lies past the archive's end fails to load and
    // disables the archive; the file is then looked for elsewhere.
    locArchive->myFAT[40 + 28 + 12] = 0xF0;
    QF_File locFile;
    EXPECT_FALSE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_READ);
    EXPECT_EQ(locArchive->myOpenFlag, 0);
    EXPECT_FALSE(locFile.IsOpen());
}
}
