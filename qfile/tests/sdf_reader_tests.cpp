// Opening archives, finding and reading their entries through the file object,
// and refusing damaged archives with the file library's codes.
#include "sdf_test_util.h"

#include <memory>
#include <random>

#include "qfile/qf_file.h"

using namespace sdftest;

namespace
{
std::string Contents(QF_File& aFile)
{
    std::string locText(aFile.GetSize(), 0);
    aFile.Read(locText.data(), aFile.GetSize());
    return locText;
}

std::string TextOfSize(size_t aSize, int aSeed)
{
    std::string locText;
    while (locText.size() < aSize)
        locText += "line " + std::to_string(aSeed * 31 + int(locText.size() % 97)) + " of the text\r\n";
    locText.resize(aSize);
    return locText;
}
}

class SDFReader : public ScratchTest
{
protected:
    // textures/Rock.TGA (LZMA), data/x (zlib), top.txt (stored), all in one archive.
    void MakeArchive(const char* aName)
    {
        WriteText("src/textures/Rock.TGA", TextOfSize(50000, 1));
        WriteText("src/data/x", TextOfSize(3000, 2));
        WriteText("src/top.txt", "top");
        fs::current_path(myDir / "src");
        QF_SDFEdit locWriter;
        locWriter.AddFile("textures\\Rock.TGA");
        locWriter.AddFile("data/x");
        locWriter.AddFile("top.txt");
        locWriter.SetCompression("", 1);   // "data/x" has no dot: its extension is the whole name
        locWriter.SetCompression("x", 1);
        locWriter.SetCompression("txt", 0);
        ASSERT_TRUE(locWriter.Write((myDir / aName).c_str()));
        fs::current_path(myDir);
    }
};

TEST_F(SDFReader, EntriesReadBackWhateverTheirMethod)
{
    MakeArchive("pack.sdf");
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 1));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open("textures\\rock.tga", OPEN_READ));   // separators and case ignored
    EXPECT_EQ(Contents(locFile), TextOfSize(50000, 1));
    ASSERT_TRUE(locFile.Open("DATA/X", OPEN_READ));
    EXPECT_EQ(Contents(locFile), TextOfSize(3000, 2));
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(Contents(locFile), "top");
    // A root record is not found under a directory, nor a file under another.
    EXPECT_FALSE(locFile.Open("x/top.txt", OPEN_READ));
    EXPECT_FALSE(locFile.Open("textures/x", OPEN_READ));

    QF_SDFFileRecord locRecord;
    const char* locName = QF_SDF::FindFile("data/x", &locRecord, 1);
    ASSERT_TRUE(locName);
    EXPECT_STREQ(locName, "pack.sdf");
    EXPECT_EQ(locRecord.myPackedWord >> 30, 1u);
    EXPECT_STREQ(locRecord.myDirectory, "data");
    EXPECT_FALSE(QF_SDF::FindFile("data/x", &locRecord, 0));
}

TEST_F(SDFReader, StreamingOnlyForStoredEntries)
{
    MakeArchive("pack.sdf");
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 1));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_READ | OPEN_STREAMING));
    EXPECT_NE(locFile.myFileHand, OS_INVALID_HANDLE);
    EXPECT_TRUE(locFile.myFlags & OPEN_STREAMING);
    EXPECT_EQ(Contents(locFile), "top");
    ASSERT_TRUE(locFile.Open("data/x", OPEN_READ | OPEN_STREAMING));
    EXPECT_FALSE(locFile.myFlags & OPEN_STREAMING);
    EXPECT_EQ(locFile.myFileHand, OS_INVALID_HANDLE);
    EXPECT_EQ(Contents(locFile), TextOfSize(3000, 2));
}

TEST_F(SDFReader, PrioritiesOrderArchivesAroundTheDisk)
{
    MakeArchive("pack.sdf");
    WriteText("top.txt", "disk");
    WriteText("only/disk.txt", "d");
    // Priority 0: the disk wins, the archive fills in.
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 0));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(Contents(locFile), "disk");
    ASSERT_TRUE(locFile.Open("data/x", OPEN_READ));
    EXPECT_EQ(locFile.GetSize(), 3000u);
    char locArchiveName[256];
    uint32_t locSize = 0;
    ASSERT_TRUE(QF_File::GetFileInfo("top.txt", nullptr, &locSize, locArchiveName));
    EXPECT_STREQ(locArchiveName, "");
    EXPECT_EQ(locSize, 4u);

    // Listing merges the sources; the disk's entry wins at priority 0.
    std::unique_ptr<QF_FileList> locList(QF_File::ListDirectory(""));
    ASSERT_TRUE(locList);
    ASSERT_TRUE(locList->Find("top.txt"));
    EXPECT_EQ(locList->Find("top.txt")->mySize, 4u);
    ASSERT_TRUE(locList->Find("textures"));
    EXPECT_EQ(locList->Find("textures")->myIsDirectory, 1);
    EXPECT_TRUE(locList->Find("only"));
    EXPECT_TRUE(locList->Find("data"));
    locList.reset(QF_File::ListDirectory("textures"));
    ASSERT_TRUE(locList->Find("rock.tga"));
    EXPECT_EQ(locList->Find("rock.tga")->mySize, 50000u);

    // Priority 1: the archive hides the disk, in lookups and in listings.
    ASSERT_TRUE(QF_SDF::Close("pack.sdf"));
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 1));
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(Contents(locFile), "top");
    ASSERT_TRUE(QF_File::GetFileInfo("top.txt", nullptr, &locSize, locArchiveName));
    EXPECT_STREQ(locArchiveName, "pack.sdf");
    EXPECT_EQ(locSize, 3u);
    locList.reset(QF_File::ListDirectory(""));
    EXPECT_EQ(locList->Find("top.txt")->mySize, 3u);
    // Writes always go to the disk.
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_WRITE));
    ASSERT_TRUE(locFile.Write("new", 3));
    ASSERT_TRUE(locFile.Close());
    EXPECT_EQ(ReadBytes("top.txt").size(), 3u);
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(Contents(locFile), "top");
}

TEST_F(SDFReader, RegistrySharesEntriesByNameWithoutCase)
{
    MakeArchive("Game.sdf");
    fs::create_directories("Data");
    fs::rename("Game.sdf", "Data/Game.sdf");
    QF_SDFArchive* locFirst = QF_SDF::OpenByName("Data\\Game.sdf", 1);
    ASSERT_TRUE(locFirst);
    EXPECT_STREQ(locFirst->myName, "Data/Game.sdf");
    QF_SDFArchive* locSecond = QF_SDF::OpenByName("data/game.SDF", 0);
    EXPECT_EQ(locFirst, locSecond);
    EXPECT_EQ(locFirst->myRefCount, 2u);
    EXPECT_EQ(locFirst->myPriority, 1);
    // Close compares the name as given: a '\\' does not match the stored '/'.
    EXPECT_FALSE(QF_SDF::Close("Data\\Game.sdf"));
    EXPECT_TRUE(QF_SDF::Close("DATA/game.sdf"));
    EXPECT_EQ(QF_SDF::ourFirstArchive, locFirst);
    EXPECT_TRUE(QF_SDF::Close("data/game.sdf"));
    EXPECT_EQ(QF_SDF::ourFirstArchive, nullptr);
    EXPECT_TRUE(QF_SDF::Close(nullptr));
}

TEST_F(SDFReader, ArchiveDisabledByAFailedReadIsReopenedByName)
{
    MakeArchive("pack.sdf");
    QF_SDFArchive* locArchive = QF_SDF::OpenByName("pack.sdf", 1);
    ASSERT_TRUE(locArchive);
    // The shared handle goes bad: the read fails and the archive is skipped.
    OS_CloseFile(locArchive->myFileHand);
    locArchive->myFileHand = OS_OpenFile("/dev/null", OS_OPEN_READ);
    QF_File locFile;
    EXPECT_FALSE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(locArchive->myOpenFlag, 0);
    EXPECT_FALSE(QF_File::Exists("top.txt"));
    // Opening it again by name loads it afresh.
    EXPECT_EQ(QF_SDF::OpenByName("PACK.sdf", 1), locArchive);
    EXPECT_EQ(locArchive->myOpenFlag, 1);
    EXPECT_EQ(locArchive->myRefCount, 2u);
    ASSERT_TRUE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(Contents(locFile), "top");
}

class SDFOpener : public SDFReader
{
protected:
    void SetUp() override
    {
        SDFReader::SetUp();
        MakeArchive("good.sdf");
        ASSERT_TRUE(myGood.Load("good.sdf"));
    }

    // Opens a damaged copy; expects failure with the code and no entry left.
    void ExpectRejected(const std::vector<uint8_t>& aBytes, int aCode)
    {
        WriteBytes("bad.sdf", aBytes);
        QF_ErrorCode = 0;
        EXPECT_EQ(QF_SDF::OpenByName("bad.sdf", 1), nullptr);
        EXPECT_EQ(QF_ErrorCode, aCode);
        EXPECT_EQ(QF_SDF::ourFirstArchive, nullptr);
    }

    // The archive rebuilt with a stored (method 0) FAT, changed by aChange.
    template <class F>
    std::vector<uint8_t> WithFat(F aChange)
    {
        std::vector<uint8_t> locFat = myGood.myFat;
        aChange(locFat);
        std::vector<uint8_t> locBytes(myGood.myBytes.begin(), myGood.myBytes.begin() + myGood.myFatBlock);
        locBytes.resize(locBytes.size() + 8);
        PutWord(locBytes, myGood.myFatBlock, uint32_t(locFat.size()));
        PutWord(locBytes, myGood.myFatBlock + 4, uint32_t(locFat.size()));
        locBytes.insert(locBytes.end(), locFat.begin(), locFat.end());
        return locBytes;
    }

    Archive myGood;
};

TEST_F(SDFOpener, RejectsUnreadableFilesAndHeaders)
{
    QF_ErrorCode = 0;
    EXPECT_EQ(QF_SDF::OpenByName("missing.sdf", 1), nullptr);
    EXPECT_EQ(QF_ErrorCode, 1);

    std::vector<uint8_t> locBytes = myGood.myBytes;
    ExpectRejected(std::vector<uint8_t>(locBytes.begin(), locBytes.begin() + 7), 2);
    locBytes[3] = 0x0A;
    ExpectRejected(locBytes, 4);

    // A FAT offset past the end, truncations of the FAT block, a FAT stored with method 3.
    locBytes = myGood.myBytes;
    PutWord(locBytes, 4, uint32_t(locBytes.size()));
    ExpectRejected(locBytes, 2);
    ExpectRejected(std::vector<uint8_t>(myGood.myBytes.begin(), myGood.myBytes.begin() + myGood.myFatBlock + 6), 2);
    ExpectRejected(std::vector<uint8_t>(myGood.myBytes.begin(), myGood.myBytes.end() - 1), 2);
    locBytes = myGood.myBytes;
    PutWord(locBytes, myGood.myFatBlock + 4, Word(locBytes, myGood.myFatBlock + 4) | 0xC0000000u);
    ExpectRejected(locBytes, 2);
    // The FAT must unpack to exactly its recorded size.
    locBytes = myGood.myBytes;
    PutWord(locBytes, myGood.myFatBlock, Word(locBytes, myGood.myFatBlock) + 1);
    ExpectRejected(locBytes, 2);
    // Damaged compressed FAT bytes.
    locBytes = myGood.myBytes;
    for (size_t i = myGood.myFatBlock + 8 + 5; i < locBytes.size(); ++i)
        locBytes[i] ^= 0x5A;
    ExpectRejected(locBytes, 2);
}

TEST_F(SDFOpener, RejectsCorruptTables)
{
    // The unchanged table rebuilt stored opens fine.
    WriteBytes("same.sdf", WithFat([](std::vector<uint8_t>&) {}));
    EXPECT_TRUE(QF_SDF::OpenByName("same.sdf", 1));
    QF_SDF::Close(nullptr);

    const uint32_t locFirstRecord = myGood.FileRecord(0);
    const uint32_t locDirTable = myGood.DirTable();
    const uint32_t locFirstDir = myGood.DirRecord(0);
    const uint32_t locRoot = myGood.FindDir("");
    // A file count larger than the table.
    ExpectRejected(WithFat([](std::vector<uint8_t>& f) { PutWord(f, 0, uint32_t(f.size() / 8 + 1)); }), 5);
    ExpectRejected(WithFat([](std::vector<uint8_t>& f) { PutWord(f, 0, 0xFFFFFFFFu); }), 5);
    // A directory count past the end.
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locDirTable, 0x10000000u); }), 5);
    // A file-record offset not a multiple of 4, equal to the size, past it.
    ExpectRejected(WithFat([](std::vector<uint8_t>& f) { PutWord(f, 8, 6); }), 5);
    ExpectRejected(WithFat([](std::vector<uint8_t>& f) { PutWord(f, 8, uint32_t(f.size())); }), 5);
    ExpectRejected(WithFat([](std::vector<uint8_t>& f) { PutWord(f, 8, 0xFFFFFFF0u); }), 5);
    // A directory-path offset outside, or misaligned.
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locFirstRecord + 16, uint32_t(f.size())); }), 5);
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locFirstRecord + 16, 2); }), 5);
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) {
                       PutWord(f, locFirstRecord + 16, Word(f, locFirstRecord + 16) + 1);
                   }),
                   5);
    EXPECT_EQ(std::string(QF_SDFErrorText).rfind("the directory path of the file", 0), 0u) << QF_SDFErrorText;
    // A directory record outside; its subdirectory count running past the end.
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locDirTable + 8, uint32_t(f.size())); }), 5);
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locFirstDir, 0x3FFFFFFFu); }), 5);
    // A subdirectory name offset outside; a directory's file-record offset misaligned.
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locRoot + 4, uint32_t(f.size())); }), 5);
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) {
                       uint32_t locSubs = Word(f, locRoot);
                       PutWord(f, locRoot + 8 + 4 * locSubs, Word(f, locRoot + 8 + 4 * locSubs) + 1);
                   }),
                   5);
    // The last name without its NUL.
    ExpectRejected(WithFat([](std::vector<uint8_t>& f) {
                       while (!f.empty() && f.back() == 0)
                           f.pop_back();
                   }),
                   5);
    // An entry whose data would run into the FAT block.
    ExpectRejected(WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locFirstRecord + 12, myGood.myFatBlock - 1); }), 5);
    ExpectRejected(WithFat([](std::vector<uint8_t>& f) { f.resize(7); }), 5);
}

TEST_F(SDFOpener, DamagedEntriesFailWithoutClosingTheArchive)
{
    const uint32_t locTop = myGood.FindFile("top.txt");
    const uint32_t locRock = myGood.FindFile("Rock.TGA");
    std::vector<uint8_t> locBytes = WithFat([&](std::vector<uint8_t>& f) {
        PutWord(f, locTop + 8, Word(f, locTop + 8) | 0xC0000000u);   // method 3
        PutWord(f, locRock + 4, Word(f, locRock + 4) + 1);           // one byte more than the stream holds
    });
    WriteBytes("entries.sdf", locBytes);
    QF_SDFArchive* locArchive = QF_SDF::OpenByName("entries.sdf", 1);
    ASSERT_TRUE(locArchive);
    QF_File locFile;
    EXPECT_FALSE(locFile.Open("top.txt", OPEN_READ));
    EXPECT_EQ(QF_ErrorCode, 6);
    EXPECT_FALSE(locFile.Open("textures/rock.tga", OPEN_READ));
    EXPECT_EQ(QF_ErrorCode, 2);
    EXPECT_EQ(locArchive->myOpenFlag, 1);
    ASSERT_TRUE(locFile.Open("data/x", OPEN_READ));
    EXPECT_EQ(Contents(locFile), TextOfSize(3000, 2));
}

TEST_F(SDFOpener, RandomDamageNeverReadsOutsideTheArchive)
{
    // Damage one to four words of the FAT or the header at random; whatever
    // opens must read and list without running off its buffers.
    std::vector<uint8_t> locStored = WithFat([](std::vector<uint8_t>&) {});
    std::mt19937 locRandom(12345);
    const char* locNames[] = {"textures/rock.tga", "data/x", "top.txt", "nothing"};
    int locOpened = 0;
    for (int locRound = 0; locRound < 400; ++locRound)
    {
        std::vector<uint8_t> locBytes = locStored;
        int locChanges = 1 + int(locRandom() % 4);
        for (int i = 0; i < locChanges; ++i)
        {
            size_t locAt = locRound % 8 == 0 ? locRandom() % 8 : myGood.myFatBlock + locRandom() % (locBytes.size() - myGood.myFatBlock);
            locAt &= ~size_t(3);
            if (locAt + 4 > locBytes.size())
                continue;
            uint32_t locValue = locRandom() % 3 == 0 ? locRandom() : Word(locBytes, locAt) + (locRandom() % 16) - 8;
            PutWord(locBytes, locAt, locValue);
        }
        WriteBytes("fuzz.sdf", locBytes);
        QF_SDFArchive* locArchive = QF_SDF::OpenByName("fuzz.sdf", 1);
        if (!locArchive)
        {
            EXPECT_TRUE(QF_ErrorCode == 2 || QF_ErrorCode == 4 || QF_ErrorCode == 5) << QF_ErrorCode;
            continue;
        }
        ++locOpened;
        QF_File locFile;
        for (const char* locName : locNames)
        {
            if (locFile.Open(locName, OPEN_READ))
            {
                EXPECT_LE(locFile.GetSize(), 50000u + 16u);
            }
        }
        for (const char* locDir : {"", "textures", "data"})
        {
            QF_FileList locList;
            QF_SDF::ListArchiveDirectory(locDir, locArchive, &locList);
        }
        QF_SDF::Close(nullptr);
    }
    EXPECT_GT(locOpened, 0);
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*aMallocHook)(const volatile void*, size_t),
                                                         void (*aFreeHook)(const volatile void*));
// Under the sanitizers, the largest block allocated since the last reset.
static size_t ourLargestAllocation = 0;
static void locNoteAllocation(const volatile void*, size_t aSize)
{
    if (aSize > ourLargestAllocation)
        ourLargestAllocation = aSize;
}
static void locNoteFree(const volatile void*) {}
static bool ourHooksInstalled = __sanitizer_install_malloc_and_free_hooks(locNoteAllocation, locNoteFree) != 0;
#endif

TEST_F(SDFOpener, UnpackedSizesBeyondTheCoderRatioAreRefused)
{
#if defined(__SANITIZE_ADDRESS__)
    // Refused before a buffer of the claimed size is allocated.
    ourLargestAllocation = 0;
    struct CheckLargest
    {
        ~CheckLargest()
        {
            if (ourHooksInstalled)
                EXPECT_LT(ourLargestAllocation, size_t(64) << 20);
        }
    } locCheckLargest;
#endif
    // A FAT claiming gigabytes from a few hundred stored bytes.
    std::vector<uint8_t> locBytes = myGood.myBytes;
    PutWord(locBytes, myGood.myFatBlock, 0xD2856789u);
    ExpectRejected(locBytes, 2);

    // An entry claiming the same: refused, the archive stays usable.
    const uint32_t locRock = myGood.FindFile("Rock.TGA");
    WriteBytes("entries.sdf", WithFat([&](std::vector<uint8_t>& f) { PutWord(f, locRock + 4, 0x80000000u); }));
    QF_SDFArchive* locArchive = QF_SDF::OpenByName("entries.sdf", 1);
    ASSERT_TRUE(locArchive);
    QF_File locFile;
    EXPECT_FALSE(locFile.Open("textures/rock.tga", OPEN_READ));
    EXPECT_EQ(QF_ErrorCode, 2);
    EXPECT_EQ(locArchive->myOpenFlag, 1);
    ASSERT_TRUE(locFile.Open("data/x", OPEN_READ));
    EXPECT_EQ(Contents(locFile), TextOfSize(3000, 2));
}

TEST_F(SDFReader, HighlyCompressedEntriesStillRead)
{
    // Runs of one byte come close to each coder's best ratio.
    const std::string locZeros(8 << 20, '\0');
    WriteText("src/zeros.bin", locZeros);
    fs::current_path(myDir / "src");
    for (uint32_t locMethod : {1u, 2u})
    {
        std::string locName = "zeros" + std::to_string(locMethod) + ".sdf";
        ASSERT_TRUE(Pack({"zeros.bin"}, (myDir / locName).c_str(), locMethod));
        ASSERT_TRUE(QF_SDF::OpenByName((myDir / locName).c_str(), 1));
        QF_File locFile;
        ASSERT_TRUE(locFile.Open("zeros.bin", OPEN_READ)) << locMethod;
        EXPECT_TRUE(Contents(locFile) == locZeros);
        locFile.Close();
        QF_SDF::Close(nullptr);
    }
    fs::current_path(myDir);
}

TEST_F(SDFReader, ReadsStopExactlyAtTheEndFromEverySource)
{
    MakeArchive("pack.sdf");
    WriteText("disk.txt", "0123456789");
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 1));
    // (name, mode, size): a disk file whole and streamed, archive entries of each method.
    const struct
    {
        const char* myName;
        uint32_t myMode;
        uint32_t mySize;
    } locCases[] = {{"disk.txt", OPEN_READ, 10},           {"disk.txt", OPEN_READ | OPEN_STREAMING, 10},
                    {"top.txt", OPEN_READ, 3},             {"top.txt", OPEN_READ | OPEN_STREAMING, 3},
                    {"data/x", OPEN_READ, 3000},           {"textures/rock.tga", OPEN_READ | OPEN_STREAMING, 50000}};
    for (const auto& locCase : locCases)
    {
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(locCase.myName, locCase.myMode)) << locCase.myName;
        ASSERT_TRUE(locFile.Seek(locCase.mySize - 2, 0));
        std::vector<uint8_t> locBuffer(64, 0xEE);
        EXPECT_EQ(locFile.Read(locBuffer.data(), 64), 2u) << locCase.myName;
        for (size_t i = 2; i < locBuffer.size(); ++i)
            ASSERT_EQ(locBuffer[i], 0xEE) << locCase.myName << " byte " << i;
        EXPECT_EQ(locFile.GetPos(), locCase.mySize);
        EXPECT_EQ(locFile.Read(locBuffer.data(), 1), 0u);
        uint32_t locCount = 5;
        locFile.ReadSome(locBuffer.data(), &locCount);
        EXPECT_EQ(locCount, 0u);
        // One byte before the end reads that byte only.
        ASSERT_TRUE(locFile.Seek(1, 2));
        locBuffer.assign(4, 0xEE);
        EXPECT_EQ(locFile.Read(locBuffer.data(), 4), 1u);
        EXPECT_EQ(locBuffer[1], 0xEE);
    }
}

TEST_F(SDFReader, PathsOf255CharactersReadAndLongerOnesDoNot)
{
    // dir/ (4) + 250 'n' + ".x" = 256 would be one too many; 255 is the limit.
    const std::string locPath = "dir/" + std::string(249, 'n') + ".x";
    ASSERT_EQ(locPath.size(), 255u);
    WriteText(locPath, "longest");
    ASSERT_TRUE(Pack({locPath}, "long.sdf"));
    fs::remove_all("dir");
    ASSERT_TRUE(QF_SDF::OpenByName("long.sdf", 1));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), OPEN_READ));
    EXPECT_EQ(Contents(locFile), "longest");
    QF_SDFFileRecord locRecord;
    EXPECT_TRUE(QF_SDF::FindFile(locPath.c_str(), &locRecord, 1));
    // One more character is no archive path: not cut back to the 255 that exist.
    EXPECT_FALSE(QF_SDF::FindFile((locPath + "x").c_str(), &locRecord, 1));
    EXPECT_FALSE(locFile.Open((locPath + "x").c_str(), OPEN_READ));
    QF_FileList locList;
    QF_SDF::ListDirectory("dir", &locList, 1);
    EXPECT_EQ(locList.Count(), 1);
    // An archive whose own name takes the whole 255 characters is named in full.
    const std::string locLongArchive = std::string(251, 'a') + ".sdf";
    fs::rename("long.sdf", locLongArchive);
    QF_SDF::Close(nullptr);
    ASSERT_TRUE(QF_SDF::OpenByName(locLongArchive.c_str(), 1));
    char locArchiveName[256];
    ASSERT_TRUE(QF_File::GetFileInfo(locPath.c_str(), nullptr, nullptr, locArchiveName));
    EXPECT_EQ(std::string(locArchiveName), locLongArchive);
    EXPECT_FALSE(QF_File::Exists(nullptr));
    EXPECT_FALSE(QF_File::Exists(""));
    // An archive name of 256 characters is refused before anything is opened.
    EXPECT_FALSE(QF_SDF::OpenByName(std::string(256, 'a').c_str(), 1));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
}
