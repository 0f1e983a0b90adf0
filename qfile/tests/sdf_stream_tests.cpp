// Reading files in pieces and saving them beneath a folder: every method,
// every source, damaged entries, and memory that stays bounded.
#include "sdf_test_util.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "qfile/qf_file.h"
#include "qfile/qf_filestream.h"

using namespace sdftest;

namespace
{
std::string Pattern(size_t aSize, int aSeed)
{
    std::string locText;
    uint32_t locState = uint32_t(aSeed) * 2654435761u;
    while (locText.size() < aSize)
    {
        locState = locState * 1103515245u + 12345u;
        locText += "entry " + std::to_string(locState % 1000) + ((locState >> 16) % 3 ? " text\n" : " more text\r\n");
    }
    locText.resize(aSize);
    return locText;
}

// The whole stream read in pieces of aPiece bytes; "<failed>" when a read fails.
std::string ReadAll(QF_FileStream& aStream, uint32_t aPiece)
{
    std::string locAll;
    std::vector<char> locBuffer(aPiece);
    for (;;)
    {
        int64_t locRead = aStream.Read(locBuffer.data(), aPiece);
        if (locRead < 0)
            return "<failed>";
        if (locRead == 0)
            return locAll;
        locAll.append(locBuffer.data(), size_t(locRead));
    }
}
}

class SDFStream : public ScratchTest
{
protected:
    // big.txt (LZMA), mid.z (zlib), raw.bin (stored) under src/.
    void MakeArchive()
    {
        WriteText("src/dir/big.txt", Pattern(300000, 1));
        WriteText("src/mid.z", Pattern(70000, 2));
        WriteText("src/raw.bin", Pattern(100000, 3));
        fs::current_path(myDir / "src");
        QF_SDFEdit locWriter;
        locWriter.AddFile("dir/big.txt");
        locWriter.AddFile("mid.z");
        locWriter.AddFile("raw.bin");
        locWriter.SetCompression("z", 1);
        locWriter.SetCompression("bin", 0);
        ASSERT_TRUE(locWriter.Write((myDir / "pack.sdf").c_str())) << QF_SDFEditError;
        fs::current_path(myDir);
        fs::remove_all(myDir / "src");
    }
};

TEST_F(SDFStream, EveryMethodReadsInPiecesAsAWhole)
{
    MakeArchive();
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 1));
    const std::pair<const char*, std::string> locEntries[] = {
        {"DIR\\Big.txt", Pattern(300000, 1)}, {"mid.z", Pattern(70000, 2)}, {"raw.bin", Pattern(100000, 3)}};
    for (const auto& locEntry : locEntries)
        for (uint32_t locPiece : {1u, 4095u, 65536u, 1u << 20})
        {
            if (locPiece == 1 && locEntry.second.size() > 100000)
                continue;
            QF_FileStream locStream;
            ASSERT_TRUE(locStream.Open(locEntry.first)) << locEntry.first;
            EXPECT_EQ(locStream.GetSize(), locEntry.second.size());
            EXPECT_TRUE(ReadAll(locStream, locPiece) == locEntry.second) << locEntry.first << " " << locPiece;
            EXPECT_EQ(locStream.Read(nullptr, 10), 0);
        }
    // Saved beneath a folder, each entry comes out whole.
    fs::create_directories("out");
    for (const auto& locEntry : locEntries)
    {
        QF_FileStream locStream;
        ASSERT_TRUE(locStream.Open(locEntry.first));
        ASSERT_TRUE(locStream.SaveBeneath((myDir / "out").c_str(), locEntry.first)) << locEntry.first;
        std::vector<uint8_t> locSaved = ReadBytes(myDir / "out" / (std::string(locEntry.first) == "DIR\\Big.txt" ? "DIR/Big.txt" : locEntry.first));
        EXPECT_TRUE(std::string(locSaved.begin(), locSaved.end()) == locEntry.second) << locEntry.first;
    }
    // Archives of priority 1 before the disk, the disk before priority 0.
    WriteText("raw.bin", "disk");
    WriteText("disk.txt", "only on disk");
    QF_FileStream locStream;
    ASSERT_TRUE(locStream.Open("raw.bin"));
    EXPECT_EQ(locStream.GetSize(), 100000u);
    ASSERT_TRUE(locStream.Open("disk.txt"));
    EXPECT_EQ(ReadAll(locStream, 5), "only on disk");
    QF_SDF::Close(nullptr);
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 0));
    ASSERT_TRUE(locStream.Open("raw.bin"));
    EXPECT_EQ(ReadAll(locStream, 100), "disk");
    ASSERT_TRUE(locStream.Open("mid.z"));
    EXPECT_EQ(locStream.GetSize(), 70000u);
    EXPECT_FALSE(locStream.Open("nowhere.txt"));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
}

TEST_F(SDFStream, EntriesPackedLargerThanOnePieceRead)
{
    // Random digits: packed to about half, well over one 64 KiB piece of input.
    std::string locDigits;
    uint32_t locState = 7;
    for (int i = 0; i < 400000; ++i)
    {
        locState = locState * 1103515245u + 12345u;
        locDigits += char('0' + (locState >> 16) % 10);
    }
    WriteText("digits.z", locDigits);
    WriteText("digits.l", locDigits);
    QF_SDFEdit locWriter;
    locWriter.AddFile("digits.z");
    locWriter.AddFile("digits.l");
    locWriter.SetCompression("z", 1);
    locWriter.SetCompression("l", 2);
    ASSERT_TRUE(locWriter.Write("digits.sdf"));
    fs::remove("digits.z");
    fs::remove("digits.l");
    ASSERT_TRUE(QF_SDF::OpenByName("digits.sdf", 1));
    for (const char* locName : {"digits.z", "digits.l"})
    {
        QF_SDFFileRecord locRecord;
        ASSERT_TRUE(QF_SDF::FindFile(locName, &locRecord, 1));
        EXPECT_GT(locRecord.myPackedWord & 0x3FFFFFFF, 2u * 65536) << locName;
        EXPECT_NE(locRecord.myPackedWord >> 30, 0u) << locName;
        QF_FileStream locStream;
        ASSERT_TRUE(locStream.Open(locName));
        EXPECT_TRUE(ReadAll(locStream, 10000) == locDigits) << locName;
    }
}

TEST_F(SDFStream, EntriesThatCannotBeReadAreNotOpened)
{
    MakeArchive();
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("pack.sdf"));
    ASSERT_EQ(locArchive.myFatMethod, 2u);
    // The table is packed: rebuild the archive with a stored table holding the changes.
    auto locRewrite = [&](const char* aLeaf, uint32_t aPackedWord) {
        std::vector<uint8_t> locFat = locArchive.myFat;
        PutWord(locFat, locArchive.FindFile(aLeaf) + 8, aPackedWord);
        std::vector<uint8_t> locBytes(locArchive.myBytes.begin(), locArchive.myBytes.begin() + locArchive.myFatBlock + 8);
        PutWord(locBytes, locArchive.myFatBlock + 4, uint32_t(locFat.size()));
        locBytes.insert(locBytes.end(), locFat.begin(), locFat.end());
        QF_SDF::Close(nullptr);
        WriteBytes("changed.sdf", locBytes);
        EXPECT_TRUE(QF_SDF::OpenByName("changed.sdf", 1));
    };
    const uint32_t locRawWord = Word(locArchive.myFat, locArchive.FindFile("raw.bin") + 8);
    QF_FileStream locStream;
    locRewrite("raw.bin", locRawWord | 0xC0000000u);
    EXPECT_FALSE(locStream.Open("raw.bin"));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_INVALID_METHOD);
    locRewrite("raw.bin", locRawWord - 1);   // stored, but shorter than its size
    EXPECT_FALSE(locStream.Open("raw.bin"));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_READ);
    locRewrite("raw.bin", locRawWord);
    EXPECT_TRUE(locStream.Open("raw.bin"));
}

TEST_F(SDFStream, DamagedEntriesFailWhileReading)
{
    MakeArchive();
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("pack.sdf"));
    for (const char* locLeaf : {"big.txt", "mid.z"})
    {
        uint32_t locRecord = locArchive.FindFile(locLeaf);
        ASSERT_NE(locRecord, 0u);
        uint32_t locData = Word(locArchive.myFat, locRecord + 12);
        uint32_t locStored = Word(locArchive.myFat, locRecord + 8) & 0x3FFFFFFF;
        std::vector<uint8_t> locBytes = locArchive.myBytes;
        for (uint32_t i = locStored / 2; i < locStored; i += 3)
            locBytes[locData + i] ^= 0xA5;
        WriteBytes("damaged.sdf", locBytes);
        QF_SDF::Close(nullptr);
        ASSERT_TRUE(QF_SDF::OpenByName("damaged.sdf", 1));
        QF_FileStream locStream;
        ASSERT_TRUE(locStream.Open(std::string(locLeaf) == "big.txt" ? "dir/big.txt" : locLeaf));
        EXPECT_EQ(ReadAll(locStream, 4096), "<failed>") << locLeaf;
        EXPECT_EQ(QF_ErrorCode, QF_ERROR_READ);
        // Nothing of a failed entry replaces the file on disk.
        WriteText("out/kept.txt", "kept");
        ASSERT_TRUE(locStream.Open(std::string(locLeaf) == "big.txt" ? "dir/big.txt" : locLeaf));
        EXPECT_FALSE(locStream.SaveBeneath((myDir / "out").c_str(), "kept.txt"));
        EXPECT_EQ(ReadBytes(myDir / "out" / "kept.txt").size(), 4u);
    }
}

TEST_F(SDFStream, FailedWriteBackIsAFailure)
{
    MakeArchive();
    ASSERT_TRUE(QF_SDF::OpenByName("pack.sdf", 1));
    WriteText("out/raw.bin", "old");
    struct rlimit locOld;
    getrlimit(RLIMIT_FSIZE, &locOld);
    struct rlimit locSmall = locOld;
    locSmall.rlim_cur = 50000;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    QF_FileStream locStream;
    bool locOpened = locStream.Open("raw.bin");
    bool locSaved = locStream.SaveBeneath((myDir / "out").c_str(), "raw.bin");
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, SIG_DFL);
    ASSERT_TRUE(locOpened);
    EXPECT_FALSE(locSaved);
    EXPECT_EQ(ReadBytes(myDir / "out" / "raw.bin").size(), 3u);
    EXPECT_EQ(std::distance(fs::directory_iterator(myDir / "out"), fs::directory_iterator()), 1);
}

TEST_F(SDFStream, SavingABigEntryKeepsMemoryBounded)
{
    // 192 MiB of zeros packs to a few hundred KiB; reading it whole three times
    // over, as extraction once did, would take over half a gigabyte.
    const uint32_t locSize = 192u << 20;
    {
        std::ofstream locOut("zeros.bin", std::ios::binary);
        locOut.seekp(locSize - 1);
        locOut.put(0);
    }
    ASSERT_TRUE(Pack({"zeros.bin"}, "zeros.sdf", 1));
    fs::remove("zeros.bin");
    fs::create_directories("out");
    pid_t locChild = fork();
    if (locChild == 0)
    {
        struct rusage locBefore;
        getrusage(RUSAGE_SELF, &locBefore);
        QF_FileStream locStream;
        bool locDone = QF_SDF::OpenByName("zeros.sdf", 1) && locStream.Open("zeros.bin") &&
                       locStream.SaveBeneath((myDir / "out").c_str(), "zeros.bin");
        struct rusage locAfter;
        getrusage(RUSAGE_SELF, &locAfter);
        // ru_maxrss is in KiB.
        _exit(!locDone ? 2 : (locAfter.ru_maxrss - locBefore.ru_maxrss > 32 * 1024 ? 3 : 0));
    }
    int locStatus = 0;
    ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
    ASSERT_TRUE(WIFEXITED(locStatus));
    EXPECT_EQ(WEXITSTATUS(locStatus), 0) << "2: extraction failed, 3: memory grew with the entry";
    EXPECT_EQ(fs::file_size(myDir / "out" / "zeros.bin"), locSize);
}
