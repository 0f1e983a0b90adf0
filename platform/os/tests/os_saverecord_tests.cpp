// The recovery that the next open runs for an in-place save a kill stopped:
// what it does from a backup of this user's own, and what it refuses to do
// from anything else.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_savefile_local.h"

namespace fs = std::filesystem;

namespace
{
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
        fs::permissions(myRecords, fs::perms::owner_all);
        setenv("XDG_DATA_HOME", (myDir / "data").c_str(), 1);
        myTarget = myDir / "base" / "level.velk";
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

    static uint32_t Crc(const std::string& aText)
    {
        return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(aText.data()), uInt(aText.size())));
    }

    // The record of an in-place save of aOld -> aNew over the target as it is now.
    OS_SaveRecord RecordOf(const std::string& aOld, const std::string& aNew)
    {
        const int locHandle = open(myTarget.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat locStat;
        EXPECT_EQ(fstat(locHandle, &locStat), 0);
        OS_SaveRecord locRecord;
        locRecord.myDevice = uint64_t(locStat.st_dev);
        locRecord.myInode = uint64_t(locStat.st_ino);
        locRecord.myBirth = OS_BirthOf(locHandle);
        close(locHandle);
        locRecord.myOldSize = aOld.size();
        locRecord.myOldSum = Crc(aOld);
        locRecord.myNewSize = aNew.size();
        locRecord.myNewSum = Crc(aNew);
        locRecord.myTargetPath = myTarget.string();
        return locRecord;
    }

    // What an in-place save of aOld -> aNew that a kill stopped leaves: the
    // target holding aHeld and the backup in the per-user folder.
    OS_SaveRecord Plant(const std::string& aOld, const std::string& aNew, const std::string& aHeld)
    {
        WriteDisk(myTarget, aHeld);
        const OS_SaveRecord locRecord = RecordOf(aOld, aNew);
        WriteBackup(locRecord, aOld + aNew);
        return locRecord;
    }

    void WriteBackup(const OS_SaveRecord& aRecord, const std::string& aContents)
    {
        myBackup = myRecords / OS_SaveRecordName(aRecord.myDevice, aRecord.myInode);
        WriteDisk(myBackup, aContents + OS_WriteSaveRecord(aRecord));
        fs::permissions(myBackup, fs::perms::owner_read | fs::perms::owner_write);
    }

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

    static std::set<std::string> Names(const fs::path& aDir)
    {
        std::set<std::string> locNames;
        for (const fs::directory_entry& locEntry : fs::directory_iterator(aDir))
            locNames.insert(locEntry.path().filename().string());
        return locNames;
    }

    // The one file left in the records' folder, which must be a kept backup
    // holding aOld, named in aMessage.
    void ExpectKept(const std::string& aOld, const std::string& aMessage)
    {
        const std::set<std::string> locLeft = Names(myRecords);
        ASSERT_EQ(locLeft.size(), 1u);
        EXPECT_EQ(fs::path(*locLeft.begin()).extension(), ".kept");
        EXPECT_TRUE(ReadDisk(myRecords / *locLeft.begin()) == aOld);
        EXPECT_NE(aMessage.find(*locLeft.begin() + "'"), std::string::npos) << aMessage;
        fs::remove(myRecords / *locLeft.begin());
    }

    fs::path myDir, myRecords, myTarget, myBackup;
};
}

TEST_F(OSRecoveryTest, EveryStateAStoppedSaveLeavesGoesBackToTheOldAndTheWholeOfEitherStays)
{
    // Sizes either way, down to one byte; the new content written over the
    // old from the start (cut at every offset), then the old put back over
    // that from the start (cut at every offset), at each size the save has.
    for (const auto& locPair : {std::make_pair(Text(1, 'a'), Text(1, 'A')), std::make_pair(Text(7, 'a'), Text(12, 'A')),
                                std::make_pair(Text(12, 'a'), Text(5, 'A')), std::make_pair(Text(0, 'a'), Text(3, 'A')),
                                std::make_pair(Text(6, 'a'), Text(0, 'A'))})
    {
        const std::string &locOld = locPair.first, &locNew = locPair.second;
        SCOPED_TRACE(std::to_string(locOld.size()) + " -> " + std::to_string(locNew.size()));
        std::set<std::string> locStates;
        for (size_t k = 0; k <= locNew.size(); ++k)
        {
            std::string locWritten = locNew.substr(0, k) + (k < locOld.size() ? locOld.substr(k) : "");
            locStates.insert(locWritten);
            if (k == locNew.size())
                locWritten = locNew;   // cut to length
            for (size_t j = 0; j <= locOld.size(); ++j)
                locStates.insert(locOld.substr(0, j) + (j < locWritten.size() ? locWritten.substr(j) : ""));
        }
        for (const std::string& locHeld : locStates)
        {
            SCOPED_TRACE(locHeld);
            Plant(locOld, locNew, locHeld);
            std::string locMessage;
            const std::string locAfter = Open(&locMessage);
            EXPECT_TRUE(locAfter == (locHeld == locNew ? locNew : locOld)) << locAfter;
            EXPECT_EQ(Names(myRecords), std::set<std::string>{});
        }
    }
}

TEST_F(OSRecoveryTest, AnythingElseIsContentWrittenSinceAndStaysWithTheOldKeptAside)
{
    const std::string locOld = Text(9, 'a'), locNew = Text(14, 'A');
    // A byte that is neither; new bytes after the old again; shorter or
    // longer than both; the one-byte file of a one-byte save made a third.
    for (const std::string& locHeld :
         {std::string("abcXefghi"), locOld.substr(0, 2) + locNew.substr(2, 3) + locOld.substr(5, 2) + locNew.substr(7, 2),
          locOld.substr(0, 8), locNew + "x", std::string("q"), std::string(), locNew.substr(0, 9) + std::string(1, '\0')})
    {
        SCOPED_TRACE(locHeld);
        const bool locOneByte = locHeld == "q";
        Plant(locOneByte ? "a" : locOld, locOneByte ? "b" : locNew, locHeld);
        std::string locMessage;
        EXPECT_EQ(Open(&locMessage), locHeld);
        EXPECT_NE(locMessage.find("written since"), std::string::npos) << locMessage;
        ExpectKept(locOneByte ? "a" : locOld, locMessage);
        // Once only: the next open finds nothing to do.
        EXPECT_EQ(Open(&locMessage), locHeld);
        EXPECT_EQ(locMessage, "");
    }
    // A file torn at the old size, then cut or lengthened by another tool: at
    // any other size a stopped save leaves old bytes then new, never old after new.
    const std::string locLonger = Text(12, 'a'), locShorter = Text(5, 'A');
    const std::string locTorn = locShorter.substr(0, 3) + locLonger.substr(3);
    for (const std::string& locHeld : {locTorn.substr(0, 11), locTorn.substr(0, 6), locTorn + "a",
                                       locLonger.substr(0, 2) + locShorter.substr(2, 2) + locLonger.substr(4, 3)})
    {
        SCOPED_TRACE(locHeld);
        Plant(locLonger, locShorter, locHeld);
        std::string locMessage;
        EXPECT_EQ(Open(&locMessage), locHeld);
        ExpectKept(locLonger, locMessage);
    }
}

TEST_F(OSRecoveryTest, ABackupThatDoesNotProveItsFileIsNeverApplied)
{
    const std::string locOld = Text(30, 'a'), locNew = Text(40, 'A');
    const std::string locMixed = locNew.substr(0, 10) + locOld.substr(10);
    // Another file of the same inode number (born later), one the record's
    // path no longer reaches where no birth is known, and the record of
    // another inode or device under this file's name: kept, not applied.
    for (int locCase = 0; locCase < 4; ++locCase)
    {
        SCOPED_TRACE(locCase);
        WriteDisk(myTarget, locMixed);
        OS_SaveRecord locRecord = RecordOf(locOld, locNew);
        const fs::path locName = myRecords / OS_SaveRecordName(locRecord.myDevice, locRecord.myInode);
        if (locCase == 0)
            locRecord.myBirth -= 1000000000;
        else if (locCase == 1)
        {
            locRecord.myBirth = 0;
            locRecord.myTargetPath = (myDir / "base" / "gone.velk").string();
        }
        locRecord.myInode += locCase == 2;
        locRecord.myDevice += locCase == 3;
        WriteBackup(locRecord, locOld + locNew);
        fs::rename(myBackup, locName);
        std::string locMessage;
        const std::string locAfter = Open(&locMessage);
        EXPECT_EQ(locAfter, locMixed);
        EXPECT_NE(locMessage.find("is not the file"), std::string::npos) << locMessage;
        ExpectKept(locOld, locMessage);
    }
    // Damaged: a wrong sum of either content, a length that does not add up.
    for (int locCase = 0; locCase < 3; ++locCase)
    {
        SCOPED_TRACE(locCase);
        WriteDisk(myTarget, locMixed);
        OS_SaveRecord locRecord = RecordOf(locOld, locNew);
        locRecord.myOldSum += locCase == 0;
        locRecord.myNewSum += locCase == 1;
        WriteBackup(locRecord, locOld + locNew + (locCase == 2 ? "x" : ""));
        std::string locMessage;
        EXPECT_EQ(Open(&locMessage), locMixed);
        EXPECT_NE(locMessage.find("cannot be read"), std::string::npos) << locMessage;
        EXPECT_EQ(Names(myRecords), std::set<std::string>{myBackup.filename().string()});
        fs::remove(myBackup);
    }
}

TEST_F(OSRecoveryTest, OnlyAPrivateFolderAndRegularFilesOfThisUsersOwnAreRead)
{
    const std::string locOld = Text(30, 'a'), locNew = Text(40, 'A');
    const std::string locMixed = locNew.substr(0, 10) + locOld.substr(10);
    const auto locExpectRefused = [&](const char* aWhat) {
        SCOPED_TRACE(aWhat);
        std::string locMessage;
        // A FIFO is not waited on: the open returns at once.
        alarm(20);
        EXPECT_EQ(Open(&locMessage), locMixed);
        alarm(0);
        EXPECT_NE(locMessage.find("nothing is recovered"), std::string::npos) << locMessage;
    };
    // A backup others may write.
    Plant(locOld, locNew, locMixed);
    fs::permissions(myBackup, fs::perms::group_write, fs::perm_options::add);
    locExpectRefused("group-writable backup");
    fs::remove(myBackup);
    // A FIFO and a link in the backup's place.
    ASSERT_EQ(mkfifo(myBackup.c_str(), 0600), 0);
    locExpectRefused("FIFO");
    fs::remove(myBackup);
    WriteDisk(myDir / "elsewhere", locOld + locNew + OS_WriteSaveRecord(RecordOf(locOld, locNew)));
    fs::create_symlink(myDir / "elsewhere", myBackup);
    locExpectRefused("link");
    fs::remove(myBackup);
    // A whole, valid backup in a folder others may write, or one that is a link.
    Plant(locOld, locNew, locMixed);
    fs::permissions(myRecords, fs::perms::others_write, fs::perm_options::add);
    {
        SCOPED_TRACE("loosened folder");
        std::string locMessage;
        EXPECT_EQ(Open(&locMessage), locMixed);
        EXPECT_NE(locMessage.find("folder of this user's own"), std::string::npos) << locMessage;
    }
    fs::permissions(myRecords, fs::perms::owner_all);
    fs::rename(myRecords, myDir / "real");
    fs::create_symlink(myDir / "real", myRecords);
    {
        SCOPED_TRACE("folder as a link");
        std::string locMessage;
        EXPECT_EQ(Open(&locMessage), locMixed);
        EXPECT_NE(locMessage.find("folder of this user's own"), std::string::npos) << locMessage;
    }
    fs::remove(myRecords);
    fs::rename(myDir / "real", myRecords);
    // Made right again: the same backup is applied.
    std::string locMessage;
    EXPECT_EQ(Open(&locMessage), locOld);
}

TEST_F(OSRecoveryTest, TheWholeNewContentStandsOnlyBesideItsPartnersWholeNewContent)
{
    const std::string locOld = Text(20, 'a'), locNew = Text(25, 'A');
    const fs::path locPartner = myDir / "base" / "level.tez";
    for (const std::string& locPartnerHeld : {std::string("new tez"), std::string("old tez"), std::string()})
    {
        SCOPED_TRACE(locPartnerHeld);
        fs::remove(locPartner);
        if (!locPartnerHeld.empty())
            WriteDisk(locPartner, locPartnerHeld);
        WriteDisk(myTarget, locNew);
        OS_SaveRecord locRecord = RecordOf(locOld, locNew);
        locRecord.myPartnerPath = locPartner.string();
        locRecord.myPartnerSize = 7;
        locRecord.myPartnerSum = Crc("new tez");
        WriteBackup(locRecord, locOld + locNew);
        std::string locMessage;
        const size_t locHandles = Names("/proc/self/fd").size();
        EXPECT_EQ(Open(&locMessage), locPartnerHeld == "new tez" ? locNew : locOld);
        EXPECT_EQ(Names("/proc/self/fd").size(), locHandles);
        EXPECT_EQ(Names(myRecords), std::set<std::string>{});
    }
}

TEST_F(OSRecoveryTest, HeadersReadBackWholeAndBrokenOnesAreRefused)
{
    OS_SaveRecord locGood;
    locGood.myDevice = 0x1234;
    locGood.myInode = uint64_t(1) << 40;
    locGood.myBirth = 99;
    locGood.myOldSize = 5;
    locGood.myNewSize = uint64_t(INT64_MAX);
    locGood.myTargetPath = "/" + std::string(PATH_MAX - 2, 'x');
    locGood.myPartnerPath = "/p.tez";
    const std::string locBytes = OS_WriteSaveRecord(locGood);
    ASSERT_LE(locBytes.size(), OS_SAVE_HEADER_MAX);
    // Read from the end of whatever precedes it.
    const std::string locFile = "old and new bytes" + locBytes;
    OS_SaveRecord locBack;
    size_t locHeader = 0;
    ASSERT_TRUE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locFile.data()), locFile.size(), &locBack, &locHeader));
    EXPECT_EQ(locHeader, locBytes.size());
    EXPECT_EQ(OS_WriteSaveRecord(locBack), locBytes);
    const std::vector<std::function<void(OS_SaveRecord&)>> locBreaks = {
        [](OS_SaveRecord& r) { r.myTargetPath.clear(); },
        [](OS_SaveRecord& r) { r.myTargetPath = "relative.velk"; },
        [](OS_SaveRecord& r) { r.myPartnerPath = "relative.tez"; },
        [](OS_SaveRecord& r) { r.myTargetPath = std::string("/a\0b", 4); },
        [](OS_SaveRecord& r) { r.myTargetPath = "/" + std::string(PATH_MAX, 'x'); },
        [](OS_SaveRecord& r) { r.myOldSize = uint64_t(1) << 63; },
        [](OS_SaveRecord& r) { r.myPartnerSize = uint64_t(1) << 63; },
    };
    for (size_t i = 0; i < locBreaks.size(); ++i)
    {
        SCOPED_TRACE(i);
        OS_SaveRecord locBroken = locGood;
        locBreaks[i](locBroken);
        const std::string locBad = OS_WriteSaveRecord(locBroken);
        EXPECT_FALSE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBad.data()), locBad.size(), &locBack, &locHeader));
    }
    // Another version, or a byte more before the sum, summed again.
    const auto locResummed = [&](std::string aFields) {
        const uint32_t locSum = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(aFields.data()), uInt(aFields.size())));
        for (uint32_t locValue : {locSum, uint32_t(aFields.size() + 16)})
            for (int i = 0; i < 4; ++i)
                aFields.push_back(char((locValue >> (8 * i)) & 0xFF));
        return aFields + locBytes.substr(locBytes.size() - 8);
    };
    const std::string locFields = locBytes.substr(0, locBytes.size() - 16);
    ASSERT_EQ(locResummed(locFields), locBytes);
    for (const std::string& locBad : {locResummed("\3" + locFields.substr(1)), locResummed(locFields + "x")})
    {
        EXPECT_FALSE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBad.data()), locBad.size(), &locBack, &locHeader));
    }
    // Any byte changed, the header cut anywhere.
    for (size_t i = 0; i < locBytes.size(); i += 97)
    {
        std::string locBad = locBytes;
        locBad[i] ^= 0x20;
        EXPECT_FALSE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBad.data()), locBad.size(), &locBack, &locHeader));
        EXPECT_FALSE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBytes.data()) + i, locBytes.size() - i,
                                       &locBack, &locHeader) && i > 0);
        EXPECT_FALSE(OS_ReadSaveRecord(reinterpret_cast<const uint8_t*>(locBytes.data()), i, &locBack, &locHeader));
    }
}
