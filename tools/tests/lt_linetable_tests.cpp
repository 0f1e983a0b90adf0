// The line-number table: built by the tool's code, read back by the stack trace.
#include "tools/lt_linetable.h"

#include "qcommon/qc_stacktrace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace
{
const uintptr_t TEST_BASE = 0x10000000;

LT_LineRow Row(uint32_t anAddress, uint32_t aLine, const char* aFile)
{
    LT_LineRow locRow;
    locRow.myAddress = anAddress;
    locRow.myLine = aLine;
    locRow.myFile = aFile;
    return locRow;
}

LT_LineRow EndRow(uint32_t anAddress)
{
    LT_LineRow locRow;
    locRow.myAddress = anAddress;
    locRow.myEndFlag = true;
    return locRow;
}

std::vector<uint8_t> Block(const std::vector<LT_LineRow>& aRows, int aVersion = 0)
{
    return LT_PackBlock(LT_BuildTable(aRows, nullptr), aVersion);
}

void Append(std::vector<uint8_t>* anImage, const std::vector<uint8_t>& aBlock)
{
    anImage->insert(anImage->end(), aBlock.begin(), aBlock.end());
}

void PutU32(std::vector<uint8_t>* aBytes, size_t anOffset, uint32_t aValue)
{
    for (int i = 0; i < 4; i++)
        (*aBytes)[anOffset + i] = static_cast<uint8_t>(aValue >> (8 * i));
}

// A block around raw table bytes, with a chosen unpacked size.
std::vector<uint8_t> RawBlock(const std::vector<uint8_t>& aTable, uint32_t anUnpackedSize)
{
    std::vector<uint8_t> locBlock = LT_PackBlock(aTable, 0);
    PutU32(&locBlock, 0, anUnpackedSize);
    return locBlock;
}

std::string Frame(uintptr_t anAddress, bool aReturnAddressFlag = false)
{
    char locLine[512];
    QC_StackTrace::FormatFrame(anAddress, locLine, sizeof(locLine), aReturnAddressFlag);
    return locLine;
}

const std::vector<LT_LineRow> SAMPLE_ROWS = {
    Row(0x100, 10, "a.cpp"), Row(0x110, 11, "a.cpp"), Row(0x120, 11, "a.cpp"), EndRow(0x130),
    Row(0x200, 7, "b.cpp"),  Row(0x208, 40000, "b.cpp"), EndRow(0x240),
};

class LineTableTest : public testing::Test
{
protected:
    void SetUp() override
    {
        mySavedBase = QC_StackTrace::GetImageBase();
        QC_StackTrace::SetImageBase(TEST_BASE);
    }
    void TearDown() override
    {
        QC_StackTrace::Free();
        QC_StackTrace::SetImageBase(mySavedBase);
    }
    uintptr_t mySavedBase = 0;
};
}

TEST_F(LineTableTest, LookupFindsTheRecordAtOrBelowTheAddress)
{
    std::vector<uint8_t> locImage(100, 0x55);  // the program's own bytes
    Append(&locImage, Block(SAMPLE_ROWS));
    ASSERT_TRUE(QC_StackTrace::LoadImage(locImage.data(), locImage.size()));

    QC_StackTrace::LookupRecord locRecord;
    locRecord.myAddress = TEST_BASE + 0x100;
    ASSERT_TRUE(QC_StackTrace::Lookup(&locRecord));
    EXPECT_STREQ(locRecord.myName, "a.cpp");
    EXPECT_EQ(locRecord.myLine, 10);
    EXPECT_EQ(locRecord.myOffset, 0u);
    EXPECT_GE(locRecord.myNameOffset, 0);

    // 0x120 repeats line 11, so 0x125 counts from 0x110.
    locRecord.myAddress = TEST_BASE + 0x125;
    ASSERT_TRUE(QC_StackTrace::Lookup(&locRecord));
    EXPECT_EQ(locRecord.myLine, 11);
    EXPECT_EQ(locRecord.myOffset, 0x15u);

    EXPECT_EQ(Frame(TEST_BASE + 0x204), "b.cpp:7+0x4\r\n");
    // Lines past 15 bits are held at the largest.
    EXPECT_EQ(Frame(TEST_BASE + 0x20A), "b.cpp:32767+0x2\r\n");
    // A return address is named by its call's line, its offset kept.
    EXPECT_EQ(Frame(TEST_BASE + 0x208, true), "b.cpp:7+0x8\r\n");
}

TEST_F(LineTableTest, AddressesOutsideTheCoveredCodeResolveByModule)
{
    std::vector<uint8_t> locImage = Block(SAMPLE_ROWS);
    ASSERT_TRUE(QC_StackTrace::LoadImage(locImage.data(), locImage.size()));
    for (uint32_t locAddress : {0x0FFu, 0x130u, 0x1F0u, 0x240u, 0x5000u})
    {
        QC_StackTrace::LookupRecord locRecord;
        locRecord.myAddress = TEST_BASE + locAddress;
        ASSERT_TRUE(QC_StackTrace::Lookup(&locRecord)) << locAddress;
        EXPECT_EQ(locRecord.myNameOffset, -1) << locAddress;
    }
    // A library function resolves to its library and the offset in it.
    std::string locLine = Frame(reinterpret_cast<uintptr_t>(&strtod));
    EXPECT_NE(locLine.find("libc.so"), std::string::npos) << locLine;
    EXPECT_NE(locLine.find("+0x"), std::string::npos);
}

TEST_F(LineTableTest, WithoutATableEveryFrameIsABareAddress)
{
    QC_StackTrace::Free();
    QC_StackTrace::LookupRecord locRecord;
    locRecord.myAddress = reinterpret_cast<uintptr_t>(&strtod);
    EXPECT_FALSE(QC_StackTrace::Lookup(&locRecord));
    EXPECT_EQ(locRecord.myNameOffset, -1);
    EXPECT_EQ(Frame(0x1234), "0x00001234\r\n");
}

TEST_F(LineTableTest, NewestVersionZeroBlockIsUsedAndOtherVersionsAreSkipped)
{
    std::vector<uint8_t> locImage;
    Append(&locImage, Block({Row(0x100, 1, "old.cpp"), EndRow(0x110)}));
    Append(&locImage, Block({Row(0x100, 2, "new.cpp"), EndRow(0x110)}));
    Append(&locImage, Block({Row(0x100, 3, "v1.cpp"), EndRow(0x110)}, 1));
    Append(&locImage, Block({Row(0x100, 4, "v7.cpp"), EndRow(0x110)}, 7));
    ASSERT_TRUE(QC_StackTrace::LoadImage(locImage.data(), locImage.size()));
    EXPECT_EQ(Frame(TEST_BASE + 0x100), "new.cpp:2+0x0\r\n");
}

TEST_F(LineTableTest, DamagedTablesAreIgnoredWithoutACrash)
{
    std::vector<uint8_t> locGood = Block(SAMPLE_ROWS);
    std::vector<uint8_t> locTable = LT_BuildTable(SAMPLE_ROWS, nullptr);
    std::vector<std::vector<uint8_t>> locBadImages;

    locBadImages.push_back({});
    locBadImages.push_back({'K', 'O', 'L', 0});
    std::vector<uint8_t> locForeign = locGood;
    locForeign[locForeign.size() - 2] = 'X';
    locBadImages.push_back(locForeign);
    // Cut at the front: the trailer's length reaches before the file.
    locBadImages.push_back(std::vector<uint8_t>(locGood.begin() + 3, locGood.end()));
    std::vector<uint8_t> locHuge = locGood;
    PutU32(&locHuge, locHuge.size() - 8, 0xFFFFFFF0u);
    locBadImages.push_back(locHuge);
    std::vector<uint8_t> locTiny = {1, 2, 0, 0, 0, 0, 0, 0, 'K', 'O', 'L', 0};
    PutU32(&locTiny, 4, 3);  // a block too short to hold its size word
    locBadImages.push_back(locTiny);
    std::vector<uint8_t> locGarbled = locGood;
    for (size_t i = 6; i < locGarbled.size() - 10; i += 3)
        locGarbled[i] ^= 0xA5;
    locBadImages.push_back(locGarbled);
    // The unpacked size disagrees with the stream.
    locBadImages.push_back(RawBlock(locTable, static_cast<uint32_t>(locTable.size() + 1)));
    locBadImages.push_back(RawBlock(locTable, static_cast<uint32_t>(locTable.size() - 1)));
    locBadImages.push_back(RawBlock(locTable, 0x7FFFFFFF));
    // A count larger than the records present.
    std::vector<uint8_t> locCount = locTable;
    PutU32(&locCount, 0, 1000);
    locBadImages.push_back(RawBlock(locCount, static_cast<uint32_t>(locCount.size())));
    PutU32(&locCount, 0, 0xFFFFFFFF);
    locBadImages.push_back(RawBlock(locCount, static_cast<uint32_t>(locCount.size())));
    // A name offset past the names.
    std::vector<uint8_t> locName = locTable;
    PutU32(&locName, 8, 10 | (4000u << 15));
    locBadImages.push_back(RawBlock(locName, static_cast<uint32_t>(locName.size())));
    // Records out of order.
    std::vector<uint8_t> locOrder = locTable;
    PutU32(&locOrder, 12, 0x900);
    locBadImages.push_back(RawBlock(locOrder, static_cast<uint32_t>(locOrder.size())));
    // A table shorter than its count.
    std::vector<uint8_t> locShort = {1, 0};
    locBadImages.push_back(RawBlock(locShort, 2));

    for (size_t i = 0; i < locBadImages.size(); i++)
    {
        ASSERT_TRUE(QC_StackTrace::LoadImage(locGood.data(), locGood.size()));
        EXPECT_EQ(QC_StackTrace::GetLoadResult(), QC_StackTrace::LOAD_OK);
        EXPECT_FALSE(QC_StackTrace::LoadImage(locBadImages[i].data(), locBadImages[i].size())) << "image " << i;
        // Only images without a trailer at their end count as carrying no table.
        EXPECT_EQ(QC_StackTrace::GetLoadResult(), i < 3 ? QC_StackTrace::LOAD_NO_TABLE : QC_StackTrace::LOAD_BAD_TABLE)
            << "image " << i;
        EXPECT_EQ(QC_StackTrace::GetNumRecords(), 0) << "image " << i;
        QC_StackTrace::LookupRecord locRecord;
        locRecord.myAddress = TEST_BASE + 0x100;
        EXPECT_FALSE(QC_StackTrace::Lookup(&locRecord)) << "image " << i;
    }
}

TEST_F(LineTableTest, BuildKeepsTheLastRowAtAnAddressAndClosesTheTable)
{
    LT_TableStats locStats;
    std::vector<uint8_t> locTable = LT_BuildTable(
        {Row(0x10, 5, "x.cpp"), Row(0x10, 6, "x.cpp"), EndRow(0x20), Row(0x20, 9, "y.cpp")}, &locStats);
    // 0x10 line 6, 0x20 line 9, and the closing record.
    EXPECT_EQ(locStats.myNumRecords, 3);
    EXPECT_EQ(locStats.myNumNames, 2);
    std::vector<uint8_t> locBlock = LT_PackBlock(locTable, 0);
    ASSERT_TRUE(QC_StackTrace::LoadImage(locBlock.data(), locBlock.size()));
    EXPECT_EQ(Frame(TEST_BASE + 0x10), "x.cpp:6+0x0\r\n");
    EXPECT_EQ(Frame(TEST_BASE + 0x20), "y.cpp:9+0x0\r\n");
    QC_StackTrace::LookupRecord locRecord;
    locRecord.myAddress = TEST_BASE + 0x21;
    ASSERT_TRUE(QC_StackTrace::Lookup(&locRecord));
    EXPECT_EQ(locRecord.myNameOffset, -1);
}

static const int ourMarkerLine = __LINE__ + 1;
__attribute__((noinline)) int LT_MarkerFunction(int aValue)
{
    return aValue * 3 + 1;
}

TEST(LineTableDwarf, RowsOfThisProgramResolveOneOfItsFunctions)
{
    std::vector<LT_LineRow> locRows;
    std::string locError;
    ASSERT_TRUE(LT_ReadLineRows("/proc/self/exe", &locRows, &locError)) << locError;
    ASSERT_FALSE(locRows.empty());
    std::vector<uint8_t> locBlock = Block(locRows);
    ASSERT_TRUE(QC_StackTrace::LoadImage(locBlock.data(), locBlock.size()));
    QC_StackTrace::LookupRecord locRecord;
    locRecord.myAddress = reinterpret_cast<uintptr_t>(&LT_MarkerFunction);
    ASSERT_TRUE(QC_StackTrace::Lookup(&locRecord));
    EXPECT_STREQ(locRecord.myName, Q_TEST_SOURCE_DIR "/tests/lt_linetable_tests.cpp");
    // Its entry belongs to its first line or, optimised, to its body.
    EXPECT_GE(locRecord.myLine, ourMarkerLine);
    EXPECT_LE(locRecord.myLine, ourMarkerLine + 2);
    EXPECT_EQ(locRecord.myOffset, 0u);
    QC_StackTrace::Free();
}

TEST(LineTableTool, AppendsOnceAndReplacesItsOwnTableOnALaterRun)
{
    std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / "tool";
    std::filesystem::create_directories(locDir);
    std::filesystem::path locProgram = locDir / "program";
    std::filesystem::copy_file(Q_CRASH_HELPER, locProgram, std::filesystem::copy_options::overwrite_existing);
    std::string locCommand = "'" + std::string(Q_LINETABLE_TOOL) + "' '" + locProgram.string() + "'";

    ASSERT_EQ(system(locCommand.c_str()), 0);
    uintmax_t locSize = std::filesystem::file_size(locProgram);
    ASSERT_EQ(system(locCommand.c_str()), 0);
    EXPECT_EQ(std::filesystem::file_size(locProgram), locSize);
    uint64_t locElfEnd = 0;
    std::string locError;
    ASSERT_TRUE(LT_GetElfEnd(locProgram.c_str(), &locElfEnd, &locError));
    EXPECT_LT(locElfEnd, locSize);

    ASSERT_TRUE(QC_StackTrace::LoadFile(locProgram.c_str()));
    EXPECT_GT(QC_StackTrace::GetNumRecords(), 10);
    QC_StackTrace::Free();

    // The program still runs with the table appended.
    EXPECT_EQ(system(("'" + locProgram.string() + "' none > /dev/null").c_str()), 0);

    std::filesystem::path locText = locDir / "text.txt";
    std::ofstream(locText) << "not a program\n";
    int locStatus = system(("'" + std::string(Q_LINETABLE_TOOL) + "' '" + locText.string() + "' 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 1);
}
