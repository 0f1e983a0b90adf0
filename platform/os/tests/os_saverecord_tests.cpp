// The recovery that the next open runs for an in-place save a kill stopped:
// what it decides from the record, the backup and what the target holds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_savefile_local.h"

namespace fs = std::filesystem;

namespace
{
constexpr size_t locBlock = 4096;

// CRC-32 of zip, bit by bit.
uint32_t Crc32(const std::string& aBytes)
{
    uint32_t locSum = 0xFFFFFFFFu;
    for (unsigned char locByte : aBytes)
    {
        locSum ^= locByte;
        for (int k = 0; k < 8; ++k)
            locSum = (locSum & 1) ? 0xEDB88320u ^ (locSum >> 1) : locSum >> 1;
    }
    return ~locSum;
}

class OSRecoveryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir / "base");
        myRecords = myDir / "data" / "qtools";
        fs::create_directories(myRecords);
        setenv("XDG_DATA_HOME", (myDir / "data").c_str(), 1);
        myTarget = myDir / "base" / "level.velk";
        myBackup = myDir / "base" / ".level.velk.1-1.old.tmp";
    }

    static void WriteDisk(const fs::path& aPath, const std::string& aText)
    {
        std::ofstream(aPath, std::ios::binary | std::ios::trunc) << aText;
    }

    static std::string ReadDisk(const fs::path& aPath)
    {
        std::ifstream locIn(aPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(locIn), {});
    }

    static std::string Text(size_t aSize, char aFirst)
    {
        std::string locText(aSize, 0);
        for (size_t i = 0; i < aSize; ++i)
            locText[i] = char(aFirst + i % 23);
        return locText;
    }

    // The sums of aText as a save writes them into its record.
    std::vector<uint32_t> Sums(const std::string& aText, uint32_t aBlockSize, uint32_t* aWhole)
    {
        const fs::path locScratch = myDir / "scratch";
        WriteDisk(locScratch, aText);
        int locHandle = open(locScratch.c_str(), O_RDONLY | O_CLOEXEC);
        std::vector<uint32_t> locSums;
        EXPECT_TRUE(OS_SumFile(locHandle, aText.size(), aBlockSize, &locSums, aWhole));
        close(locHandle);
        fs::remove(locScratch);
        return locSums;
    }

    // What an in-place save of aOld -> aNew that a kill stopped leaves: the
    // target holding aHeld, the backup of aOld and the record (in the per-user
    // folder, or beside the target).
    OS_SaveRecord Plant(const std::string& aOld, const std::string& aNew, const std::string& aHeld,
                        bool aBesideFlag = false)
    {
        WriteDisk(myTarget, aHeld);
        WriteDisk(myBackup, aOld);
        struct stat locStat;
        EXPECT_EQ(stat(myTarget.c_str(), &locStat), 0);
        OS_SaveRecord locRecord;
        locRecord.myDevice = uint64_t(locStat.st_dev);
        locRecord.myInode = uint64_t(locStat.st_ino);
        locRecord.myOldSize = aOld.size();
        Sums(aOld, locBlock, &locRecord.myOldSum);
        locRecord.myNewSize = aNew.size();
        locRecord.myBlockSize = OS_SaveBlockSize(aNew.size());
        uint32_t locWhole = 0;
        locRecord.myNewSums = Sums(aNew, locRecord.myBlockSize, &locWhole);
        locRecord.myTargetPath = myTarget.string();
        locRecord.myBackupPath = myBackup.string();
        myRecord = (aBesideFlag ? myDir / "base" / ("." + OS_SaveRecordName(locRecord.myDevice, locRecord.myInode))
                                : myRecords / OS_SaveRecordName(locRecord.myDevice, locRecord.myInode));
        WriteRecord(locRecord);
        return locRecord;
    }

    void WriteRecord(const OS_SaveRecord& aRecord) { WriteDisk(myRecord, OS_WriteSaveRecord(aRecord)); }

    // Opens the target through the file layer; what it then holds and what
    // the recovery said.
    std::string Open(std::string* aMessage)
    {
        ::testing::internal::CaptureStderr();
        OS_FileHandle locHandle = OS_OpenFile(myTarget.c_str(), OS_OPEN_READ);
        *aMessage = ::testing::internal::GetCapturedStderr();
        if (locHandle == OS_INVALID_HANDLE)
            return "<cannot open>";
        OS_CloseFile(locHandle);
        return ReadDisk(myTarget);
    }

    std::set<std::string> Names(const fs::path& aDir)
    {
        std::set<std::string> locNames;
        for (const fs::directory_entry& locEntry : fs::directory_iterator(aDir))
            locNames.insert(locEntry.path().filename().string());
        return locNames;
    }

    fs::path myDir, myRecords, myTarget, myBackup, myRecord;
};
}

TEST_F(OSRecoveryTest, TheOldContentGoesBackOverAMixAndTheWholeOfEitherStays)
{
    // Five blocks of old content, a new one shorter or longer; killed at
    // every stage of the rewrite: the new content's first blocks over the
    // old, one block half written, cut or grown to the new size.
    const std::string locOld = Text(5 * locBlock, 'a');
    for (const std::string& locNew : {Text(4 * locBlock + 100, 'A'), Text(7 * locBlock + 9, 'A'), Text(3 * locBlock, 'A')})
    {
        SCOPED_TRACE(locNew.size());
        const std::string locHalf = locNew.substr(0, 2 * locBlock) + locNew.substr(2 * locBlock, 100) +
                                    locOld.substr(2 * locBlock + 100);
        const struct
        {
            std::string myHeld;
            const char* myMessage;
            bool myPutBack;
        } locCases[] = {
            {locOld, "holds its old content", false},
            {locNew, "holds the whole new content", false},
            {locNew.substr(0, 2 * locBlock) + locOld.substr(2 * locBlock), "left half saved", true},
            {locHalf, "left half saved", true},
            {locNew.substr(0, 4 * locBlock) + locOld.substr(4 * locBlock), "left half saved", true},
            // The new content whole but its length not yet cut or grown.
            {locNew.size() < locOld.size() ? locNew + locOld.substr(locNew.size()) : locNew.substr(0, locOld.size()),
             "left half saved", true},
        };
        for (const auto& locCase : locCases)
        {
            SCOPED_TRACE(locCase.myHeld.size());
            Plant(locOld, locNew, locCase.myHeld);
            const size_t locHandles = Names("/proc/self/fd").size();
            std::string locMessage;
            const std::string locHeld = Open(&locMessage);
            EXPECT_EQ(Names("/proc/self/fd").size(), locHandles);
            EXPECT_TRUE(locHeld == (locCase.myPutBack ? locOld : locCase.myHeld));
            EXPECT_NE(locMessage.find(locCase.myMessage), std::string::npos) << locMessage;
            // Settled: record and backup go.
            EXPECT_EQ(Names(myRecords), std::set<std::string>{});
            EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
        }
    }
}

TEST_F(OSRecoveryTest, ContentWrittenSinceIsNeverOverwritten)
{
    // Neither old nor new nor a mix a save could leave: more than two blocks
    // of neither, a length outside the old and new ones, or a block of the new
    // content at the wrong length. The backup is kept out of the way.
    const std::string locOld = Text(5 * locBlock, 'a');
    const std::string locNew = Text(4 * locBlock + 100, 'A');
    const std::string locOther = Text(5 * locBlock, 'k');
    const std::string locCases[] = {
        locOther,
        locNew.substr(0, locBlock) + locOther.substr(locBlock, 3 * locBlock) + locOld.substr(4 * locBlock),
        locOld.substr(0, 3 * locBlock),                                    // shorter than both
        locOld + Text(locBlock, 'a'),                                      // longer than both
        locNew.substr(0, 4 * locBlock) + locOld.substr(4 * locBlock, 50),  // the last block cut short of the new
        "",
    };
    for (const std::string& locHeld : locCases)
    {
        SCOPED_TRACE(locHeld.size());
        Plant(locOld, locNew, locHeld);
        std::string locMessage;
        EXPECT_TRUE(Open(&locMessage) == locHeld);
        EXPECT_NE(locMessage.find("written since"), std::string::npos) << locMessage;
        // The message says where the old content is now.
        EXPECT_NE(locMessage.find("left in '" + myBackup.string() + ".kept'"), std::string::npos) << locMessage;
        EXPECT_EQ(Names(myRecords), std::set<std::string>{});
        EXPECT_EQ(Names(myDir / "base"), (std::set<std::string>{"level.velk", myBackup.filename().string() + ".kept"}));
        EXPECT_TRUE(ReadDisk(myBackup.string() + ".kept") == locOld);
        fs::remove(myBackup.string() + ".kept");
    }
    // Two blocks of neither are what a kill leaves at most: put back.
    const std::string locTwo =
        locNew.substr(0, locBlock) + locOther.substr(locBlock, 2 * locBlock) + locOld.substr(3 * locBlock);
    Plant(locOld, locNew, locTwo);
    std::string locMessage;
    EXPECT_TRUE(Open(&locMessage) == locOld);
    EXPECT_NE(locMessage.find("half saved"), std::string::npos) << locMessage;
}

TEST_F(OSRecoveryTest, ARecordThatDoesNotFitTheFileOrItsBackupChangesNothing)
{
    const std::string locOld = Text(3 * locBlock, 'a');
    const std::string locNew = Text(2 * locBlock, 'A');
    const std::string locMixed = locNew + locOld.substr(2 * locBlock);
    const fs::path locRecords = myRecords;
    // A record of another file under this one's name (its inode, then its device).
    for (int locField = 0; locField < 2; ++locField)
    {
        OS_SaveRecord locRecord = Plant(locOld, locNew, locMixed);
        (locField ? locRecord.myDevice : locRecord.myInode) += 1;
        WriteRecord(locRecord);
        std::string locMessage;
        EXPECT_TRUE(Open(&locMessage) == locMixed);
        EXPECT_EQ(locMessage, "");
        EXPECT_TRUE(fs::exists(myRecord));
    }
    // A backup missing, of another length, or changed since: the file stays.
    const std::string locBackups[] = {"<none>", locOld.substr(1), Text(3 * locBlock, 'b')};
    for (const std::string& locBackup : locBackups)
    {
        SCOPED_TRACE(locBackup.size());
        fs::remove(myRecord);
        Plant(locOld, locNew, locMixed);
        if (locBackup == "<none>")
            fs::remove(myBackup);
        else
            WriteDisk(myBackup, locBackup);
        const size_t locHandles = Names("/proc/self/fd").size();
        std::string locMessage;
        EXPECT_TRUE(Open(&locMessage) == locMixed);
        EXPECT_NE(locMessage.find("missing or damaged"), std::string::npos) << locMessage;
        EXPECT_TRUE(fs::exists(myRecord));
        EXPECT_EQ(Names("/proc/self/fd").size(), locHandles);
    }
    // A record too large to be one of ours, or cut short: left as it is.
    for (const std::string& locBytes : {std::string((1 << 20) + 1, 'Q'), std::string()})
    {
        fs::remove(myRecord);
        Plant(locOld, locNew, locMixed);
        WriteDisk(myRecord, locBytes.empty() ? OS_WriteSaveRecord(OS_SaveRecord()).substr(0, 40) : locBytes);
        std::string locMessage;
        EXPECT_TRUE(Open(&locMessage) == locMixed);
        EXPECT_NE(locMessage.find("cannot be read"), std::string::npos) << locMessage;
        EXPECT_TRUE(fs::exists(myRecord));
    }
}

TEST_F(OSRecoveryTest, ARecordBesideTheFileIsFoundWithoutAPerUserFolder)
{
    // Both places are looked at: the per-user folder first, then beside the file.
    const std::string locOld = Text(2 * locBlock + 7, 'a');
    const std::string locNew = Text(3 * locBlock, 'A');
    const std::string locMixed = locNew.substr(0, locBlock) + locOld.substr(locBlock);
    Plant(locOld, locNew, locMixed, true);
    std::string locMessage;
    EXPECT_TRUE(Open(&locMessage) == locOld);
    EXPECT_NE(locMessage.find("half saved"), std::string::npos) << locMessage;
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});

    const char* locHome = getenv("HOME");
    const std::string locSavedHome = locHome ? locHome : "";
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/nonexistent", 1);
    Plant(locOld, locNew, locMixed, true);
    const std::string locHeld = Open(&locMessage);
    if (locHome)
        setenv("HOME", locSavedHome.c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_TRUE(locHeld == locOld);
    EXPECT_EQ(Names(myDir / "base"), std::set<std::string>{"level.velk"});
}

TEST_F(OSRecoveryTest, TheWholeNewContentStandsOnlyBesideItsPartnersWholeNewContent)
{
    const std::string locOld = Text(2 * locBlock, 'a');
    const std::string locNew = Text(locBlock + 10, 'A');
    const fs::path locPartner = myDir / "base" / "level.tez";
    const std::string locPartnerNew = Text(5000, 'p');
    uint32_t locPartnerSum = 0;
    Sums(locPartnerNew, locBlock, &locPartnerSum);
    // The partner holds its new content whole; of another length; other bytes; is gone.
    const std::string locPartners[] = {locPartnerNew, locPartnerNew + "x", Text(5000, 'q'), "<none>"};
    for (const std::string& locHeld : locPartners)
    {
        SCOPED_TRACE(locHeld.substr(0, 6));
        const bool locStands = locHeld == locPartnerNew;
        if (locHeld == "<none>")
            fs::remove(locPartner);
        else
            WriteDisk(locPartner, locHeld);
        OS_SaveRecord locRecord = Plant(locOld, locNew, locNew);
        locRecord.myPartnerPath = locPartner.string();
        locRecord.myPartnerSize = locPartnerNew.size();
        locRecord.myPartnerSum = locPartnerSum;
        WriteRecord(locRecord);
        // The partner is read, and closed again.
        const size_t locHandles = Names("/proc/self/fd").size();
        std::string locMessage;
        EXPECT_TRUE(Open(&locMessage) == (locStands ? locNew : locOld));
        EXPECT_EQ(Names("/proc/self/fd").size(), locHandles);
        EXPECT_EQ(Names(myRecords), std::set<std::string>{});
    }
}

TEST_F(OSRecoveryTest, PathsOfEveryLengthAPathCanHaveAreReadBack)
{
    OS_SaveRecord locRecord;
    locRecord.myBlockSize = 4096;
    locRecord.myTargetPath = "/" + std::string(PATH_MAX - 2, 't');
    locRecord.myBackupPath = "/b";
    const auto locRead = [](const OS_SaveRecord& aRecord) {
        const std::string locBytes = OS_WriteSaveRecord(aRecord);
        OS_SaveRecord locBack;
        return OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBytes.data()), locBytes.size(), &locBack) &&
               locBack.myTargetPath == aRecord.myTargetPath && locBack.myBackupPath == aRecord.myBackupPath;
    };
    EXPECT_TRUE(locRead(locRecord));
    // One byte more leaves no room for the terminating NUL.
    locRecord.myTargetPath += "t";
    EXPECT_FALSE(locRead(locRecord));
    locRecord.myTargetPath = "/t";
    // The largest new content one record describes: 65536 sums.
    locRecord.myNewSize = uint64_t(65536) * 4096;
    locRecord.myNewSums.assign(65536, 7);
    EXPECT_TRUE(locRead(locRecord));
    locRecord.myNewSize += 1;
    locRecord.myNewSums.push_back(7);
    EXPECT_FALSE(locRead(locRecord));
    // The largest block; the largest size a file may have.
    locRecord.myBlockSize = 1u << 30;
    locRecord.myNewSize = uint64_t(3) << 30;
    locRecord.myNewSums.assign(3, 7);
    locRecord.myOldSize = uint64_t(INT64_MAX);
    EXPECT_TRUE(locRead(locRecord));
    locRecord.myBlockSize = 1u << 31;
    locRecord.myNewSize = uint64_t(3) << 31;
    EXPECT_FALSE(locRead(locRecord));
}

TEST_F(OSRecoveryTest, RecordsKeepTheirLayoutByteForByte)
{
    // Every program of the toolset, of whatever version, reads the records
    // the others leave: the layout stays as it is. Little-endian fields after
    // "QSAVEREC" and version 1; the CRC-32 of zip at the end.
    OS_SaveRecord locRecord;
    locRecord.myDevice = 0x0102030405060708ull;
    locRecord.myInode = 0x1112131415161718ull;
    locRecord.myOldSize = 5;
    locRecord.myOldSum = 0xA1A2A3A4;
    locRecord.myNewSize = 4097;
    locRecord.myBlockSize = 4096;
    locRecord.myNewSums = {0xB1B2B3B4, 0xC1C2C3C4};
    locRecord.myTargetPath = "/t";
    locRecord.myBackupPath = "/b";
    locRecord.myPartnerPath = "/p";
    locRecord.myPartnerSize = 9;
    locRecord.myPartnerSum = 0xD1D2D3D4;
    const std::string locBytes(
        "\x51\x53\x41\x56\x45\x52\x45\x43\x01\x00\x00\x00\x08\x07\x06\x05"
        "\x04\x03\x02\x01\x18\x17\x16\x15\x14\x13\x12\x11\x05\x00\x00\x00"
        "\x00\x00\x00\x00\xa4\xa3\xa2\xa1\x01\x10\x00\x00\x00\x00\x00\x00"
        "\x00\x10\x00\x00\x02\x00\x00\x00\xb4\xb3\xb2\xb1\xc4\xc3\xc2\xc1"
        "\x02\x00\x00\x00\x2f\x74\x02\x00\x00\x00\x2f\x62\x02\x00\x00\x00"
        "\x2f\x70\x09\x00\x00\x00\x00\x00\x00\x00\xd4\xd3\xd2\xd1\x5f\x86"
        "\x73\xac",
        98);
    EXPECT_EQ(OS_WriteSaveRecord(locRecord), locBytes);
    OS_SaveRecord locBack;
    ASSERT_TRUE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBytes.data()), locBytes.size(), &locBack));
    EXPECT_EQ(OS_WriteSaveRecord(locBack), locBytes);
    EXPECT_EQ(locBack.myDevice, locRecord.myDevice);
    EXPECT_EQ(locBack.myInode, locRecord.myInode);
    EXPECT_EQ(locBack.myNewSums, locRecord.myNewSums);
    EXPECT_EQ(locBack.myPartnerPath, "/p");
}

TEST_F(OSRecoveryTest, APathLongerThanWhatIsLeftIsRefusedThoughSummed)
{
    // An empty target path whose length is then made 1000: the rest of the
    // record would read as whole if the path were passed over.
    OS_SaveRecord locRecord;
    locRecord.myBlockSize = 4096;
    locRecord.myBackupPath = "/b";
    std::string locBytes = OS_WriteSaveRecord(locRecord);
    locBytes.resize(locBytes.size() - 4);
    const size_t locAt = 56;   // after the fixed fields and no sums
    ASSERT_EQ(locBytes.substr(locAt, 6), std::string("\0\0\0\0\x02\0", 6));
    locBytes[locAt] = char(1000 & 0xFF);
    locBytes[locAt + 1] = char(1000 >> 8);
    const uint32_t locSum = Crc32(locBytes);
    for (int i = 0; i < 4; ++i)
        locBytes.push_back(char((locSum >> (8 * i)) & 0xFF));
    OS_SaveRecord locBack;
    EXPECT_FALSE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBytes.data()), locBytes.size(), &locBack));
}

TEST_F(OSRecoveryTest, ARecordCutAnywhereAndSummedAgainIsRefused)
{
    // A record whose end was lost but whose sum was made over what is left,
    // as a writer that stopped early would: every field must be there whole.
    OS_SaveRecord locRecord;
    locRecord.myBlockSize = 4096;
    locRecord.myNewSize = 5000;
    locRecord.myNewSums = {1, 2};
    locRecord.myTargetPath = "/data/level.velk";
    locRecord.myBackupPath = "/data/.level.velk.1-1.old.tmp";
    const std::string locWhole = OS_WriteSaveRecord(locRecord);
    const std::string locBody = locWhole.substr(0, locWhole.size() - 4);
    ASSERT_EQ(Crc32(locBody), uint32_t(uint8_t(locWhole[locWhole.size() - 4])) |
                                  uint32_t(uint8_t(locWhole[locWhole.size() - 3])) << 8 |
                                  uint32_t(uint8_t(locWhole[locWhole.size() - 2])) << 16 |
                                  uint32_t(uint8_t(locWhole[locWhole.size() - 1])) << 24);
    for (size_t locLength = 8; locLength < locBody.size(); ++locLength)
    {
        std::string locCut = locBody.substr(0, locLength);
        const uint32_t locSum = Crc32(locCut);
        for (int i = 0; i < 4; ++i)
            locCut.push_back(char((locSum >> (8 * i)) & 0xFF));
        OS_SaveRecord locBack;
        EXPECT_FALSE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locCut.data()), locCut.size(), &locBack))
            << locLength;
    }
}

TEST_F(OSRecoveryTest, SumsAreZipsCrc32OfEveryByteValue)
{
    // Records hold these sums and every program compares them: they are the
    // CRC-32 of zip, whatever the bytes, in blocks or whole.
    std::string locText;
    for (int i = 0; i < 3 * 4096 + 77; ++i)
        locText.push_back(char((i * 7 + i / 256) & 0xFF));
    uint32_t locWhole = 0;
    const std::vector<uint32_t> locSums = Sums(locText, 4096, &locWhole);
    EXPECT_EQ(locWhole, Crc32(locText));
    ASSERT_EQ(locSums.size(), 4u);
    for (size_t i = 0; i < locSums.size(); ++i)
        EXPECT_EQ(locSums[i], Crc32(locText.substr(i * 4096, 4096))) << i;
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);   // the check value of the CRC-32 of zip
}
