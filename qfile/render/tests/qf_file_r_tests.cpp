// The renderer build's file object on real files: scrambled and compressed
// contents, mapped reads, write modes, the text readers and the refusals.
#include <gtest/gtest.h>

#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include "qf_test_util.h"
#include "qfile/render/qf_file.h"

namespace
{
std::vector<uint8_t> locInflate(const uint8_t* aData, size_t aSize, size_t anUnpacked)
{
    std::vector<uint8_t> locOut(anUnpacked);
    uLongf locLength = anUnpacked;
    EXPECT_EQ(uncompress(locOut.data(), &locLength, aData, aSize), Z_OK);
    EXPECT_EQ(locLength, anUnpacked);
    return locOut;
}

std::vector<uint8_t> locCompressed(const std::vector<uint8_t>& aData, uint32_t aStatedSize)
{
    std::vector<uint8_t> locOut(compressBound(aData.size()) + 4);
    uLongf locLength = locOut.size() - 4;
    compress2(locOut.data() + 4, &locLength, aData.data(), aData.size(), 9);
    locOut.resize(locLength + 4);
    memcpy(locOut.data(), &aStatedSize, 4);
    return locOut;
}

void locWriteThrough(const std::string& aPath, uint32_t aMode, const std::vector<uint8_t>& aData)
{
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(aPath.c_str(), QF_WRITE | aMode));
    if (!aData.empty())
    {
        ASSERT_TRUE(locFile.Write(aData.data(), (uint32_t)aData.size()));
    }
    ASSERT_TRUE(locFile.Close());
}

std::vector<uint8_t> locReadThrough(const std::string& aPath, uint32_t aMode)
{
    QF_File locFile;
    EXPECT_TRUE(locFile.Open(aPath.c_str(), QF_READ | aMode)) << QF_ErrorCode;
    std::vector<uint8_t> locData(locFile.myFileSize);
    if (!locData.empty())
        locFile.Read(locData.data(), (uint32_t)locData.size());
    return locData;
}
} // namespace

TEST(QF_FileRenderTest, ScrambleMatchesKnownBytesAndIsSelfInverse)
{
    std::vector<uint8_t> locData(11);
    for (int i = 0; i < 11; i++)
        locData[i] = (uint8_t)i;
    QF_File::Scramble(locData.data(), 11);
    const uint8_t locExpected[] = {0xe1, 0x90, 0x61, 0xc6, 0xff, 0xcd, 0xb7, 0xe5, 0x08, 0x09, 0x0a};
    EXPECT_EQ(memcmp(locData.data(), locExpected, 11), 0);
    QF_File::Scramble(locData.data(), 11);
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(locData[i], i);

    // The archive key of version 7.
    uint8_t locBlock[8] = {};
    QF_File::ScrambleBlock(8, locBlock, 7);
    const uint8_t locVersion7[] = {0x1e, 0x5d, 0x38, 0xae, 0x72, 0x74, 0xe1, 0xb8};
    EXPECT_EQ(memcmp(locBlock, locVersion7, 8), 0);
}

TEST(QF_FileRenderTest, ScrambledFilesRoundTripKeepingTheTail)
{
    std::string locPath = QF_TestPath("scrambled.bin");
    std::vector<uint8_t> locData = QF_TestBytes("scrambled contents!");
    locWriteThrough(locPath, QF_SCRAMBLED | QF_CREATE_ALWAYS, locData);
    std::vector<uint8_t> locStored = QF_TestReadFile(locPath);
    ASSERT_EQ(locStored.size(), locData.size());
    EXPECT_NE(locStored, locData);
    // 19 bytes: the last 3 are stored as they are.
    EXPECT_EQ(memcmp(locStored.data() + 16, locData.data() + 16, 3), 0);
    EXPECT_EQ(locReadThrough(locPath, QF_SCRAMBLED), locData);
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ | QF_SCRAMBLED));
    EXPECT_EQ(locFile.myFlags & QF_FLAG_SCRAMBLED, (uint32_t)QF_FLAG_SCRAMBLED);
}

TEST(QF_FileRenderTest, CompressedLayoutRoundTripsAlsoScrambled)
{
    std::string locPath = QF_TestPath("compressed.bin");
    std::vector<uint8_t> locData;
    for (int i = 0; i < 5000; i++)
        locData.push_back((uint8_t)(i % 7));
    locWriteThrough(locPath, QF_COMPRESSED | QF_CREATE_ALWAYS, locData);
    std::vector<uint8_t> locStored = QF_TestReadFile(locPath);
    ASSERT_GT(locStored.size(), 4u);
    uint32_t locSize;
    memcpy(&locSize, locStored.data(), 4);
    EXPECT_EQ(locSize, 5000u);
    EXPECT_LT(locStored.size(), 5000u);
    EXPECT_EQ(locInflate(locStored.data() + 4, locStored.size() - 4, 5000), locData);
    EXPECT_EQ(locReadThrough(locPath, QF_COMPRESSED), locData);

    locWriteThrough(locPath, QF_COMPRESSED | QF_SCRAMBLED | QF_CREATE_ALWAYS, locData);
    std::vector<uint8_t> locBoth = QF_TestReadFile(locPath);
    QF_File::Scramble(locBoth.data(), (uint32_t)locBoth.size());
    EXPECT_EQ(locBoth, locStored);
    EXPECT_EQ(locReadThrough(locPath, QF_COMPRESSED | QF_SCRAMBLED), locData);

    // An empty compressed file stays empty.
    locWriteThrough(locPath, QF_COMPRESSED | QF_CREATE_ALWAYS, {});
    EXPECT_TRUE(QF_TestReadFile(locPath).empty());
    QF_File locEmpty;
    ASSERT_TRUE(locEmpty.Open(locPath.c_str(), QF_READ | QF_COMPRESSED));
    EXPECT_EQ(locEmpty.myFileSize, 0u);
    EXPECT_EQ(locEmpty.myFlags & QF_FLAG_COMPRESSED, (uint32_t)QF_FLAG_COMPRESSED);
}

TEST(QF_FileRenderTest, CompressedOpenDoesNotTrustTheStoredSize)
{
    std::string locPath = QF_TestPath("lying.bin");
    std::vector<uint8_t> locData = QF_TestBytes("some text that compresses a little, some text");
    struct Case
    {
        const char* myName;
        std::vector<uint8_t> myStored;
    } locCases[] = {
        {"under 4 bytes", {1, 2}},
        {"size too large for the stream", locCompressed(locData, 0x7fffffff)},
        {"size larger than the stream gives", locCompressed(locData, (uint32_t)locData.size() + 1)},
        {"size smaller than the stream gives", locCompressed(locData, (uint32_t)locData.size() - 1)},
        {"not a zlib stream", {10, 0, 0, 0, 1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : locCases)
    {
        QF_TestWriteFile(locPath, c.myStored);
        QF_File locFile;
        EXPECT_FALSE(locFile.Open(locPath.c_str(), QF_READ | QF_COMPRESSED)) << c.myName;
        EXPECT_EQ(QF_ErrorCode, QF_ERROR_DECOMPRESSION) << c.myName;
        EXPECT_FALSE(locFile.IsOpen());
    }
    QF_TestWriteFile(locPath, locCompressed(locData, (uint32_t)locData.size()));
    EXPECT_EQ(locReadThrough(locPath, QF_COMPRESSED), locData);
}

TEST(QF_FileRenderTest, CompressedEditsOfAnExistingFileAreKept)
{
    std::string locPath = QF_TestPath("edited.bin");
    locWriteThrough(locPath, QF_COMPRESSED | QF_CREATE_ALWAYS, QF_TestBytes("first"));
    {
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ | QF_WRITE | QF_COMPRESSED));
        EXPECT_EQ(locFile.myFileSize, 5u);
        ASSERT_TRUE(locFile.Seek(0, 2));
        ASSERT_TRUE(locFile.Write(" second", 7));
        ASSERT_TRUE(locFile.Close());
    }
    EXPECT_EQ(locReadThrough(locPath, QF_COMPRESSED), QF_TestBytes("first second"));
}

TEST(QF_FileRenderTest, WriteModesAndWriteBackFailure)
{
    std::string locPath = QF_TestPath("modes.txt");
    QF_TestWriteFile(locPath, QF_TestBytes("old contents"));
    {
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_WRITE | QF_READ));
        EXPECT_EQ(locFile.myFileSize, 12u);
        EXPECT_EQ(locFile.myStatus, (uint32_t)(QF_WRITE | QF_READ));
        ASSERT_TRUE(locFile.Write("new", 3));
        ASSERT_TRUE(locFile.Close());
    }
    EXPECT_EQ(QF_TestReadFile(locPath), QF_TestBytes("new contents"));
    {
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_WRITE | QF_CREATE_ALWAYS));
        EXPECT_EQ(locFile.myFileSize, 0u);
        EXPECT_EQ(locFile.myStatus, (uint32_t)QF_WRITE);
        ASSERT_TRUE(locFile.Close());
    }
    EXPECT_TRUE(QF_TestReadFile(locPath).empty());

    // Directories along the path are created; a write-back that cannot
    // happen is reported.
    std::string locDir = QF_TestPath("gone");
    std::string locDeep = locDir + "/deeper/file.txt";
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locDeep.c_str(), QF_WRITE));
    ASSERT_TRUE(locFile.Write("x", 1));
    QF_File::DeleteDirectory(locDir.c_str());
    EXPECT_FALSE(QF_File::IsDirectory(locDir.c_str()));
    EXPECT_FALSE(locFile.Close());
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_WRITE);
    EXPECT_FALSE(locFile.IsOpen());

    EXPECT_FALSE(locFile.Close());
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_OPEN);
    EXPECT_FALSE(locFile.Open(QF_TestPath("missing.txt").c_str(), QF_READ));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
}

TEST(QF_FileRenderTest, ANewFileWhoseWriteBackFailsLeavesNoFile)
{
    std::string locPath = QF_TestPath("never.bin");
    remove(locPath.c_str());
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_WRITE));
    EXPECT_NE(access(locPath.c_str(), F_OK), 0);
    std::vector<uint8_t> locBig(8192, 7);
    ASSERT_TRUE(locFile.Write(locBig.data(), (uint32_t)locBig.size()));
    struct rlimit locOld;
    getrlimit(RLIMIT_FSIZE, &locOld);
    struct rlimit locSmall = locOld;
    locSmall.rlim_cur = 1024;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    const bool locClosed = locFile.Close();
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(locClosed);
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_WRITE);
    EXPECT_NE(access(locPath.c_str(), F_OK), 0);
}

TEST(QF_FileRenderTest, MappedReadIsAViewReleasedAtClose)
{
    std::string locPath = QF_TestPath("mapped.bin");
    QF_TestWriteFile(locPath, QF_TestBytes("mapped bytes"));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ | QF_MAPPED));
    EXPECT_EQ(locFile.myFlags, (uint32_t)(QF_FLAG_MAPPED | QF_FLAG_NOT_OWNED));
    EXPECT_NE(locFile.myMapping, nullptr);
    EXPECT_NE(locFile.myFileHandle, nullptr);
    char locText[7] = {};
    EXPECT_EQ(locFile.Read(locText, 6), 6u);
    EXPECT_STREQ(locText, "mapped");
    EXPECT_TRUE(locFile.Close());
    EXPECT_EQ(locFile.myMapping, nullptr);
    EXPECT_EQ(locFile.myFileHandle, nullptr);

    // Compressed contents can be mapped too; the unpacked copy is owned.
    std::string locPacked = QF_TestPath("mapped_packed.bin");
    QF_TestWriteFile(locPacked, locCompressed(QF_TestBytes("packed"), 6));
    ASSERT_TRUE(locFile.Open(locPacked.c_str(), QF_READ | QF_MAPPED | QF_COMPRESSED));
    EXPECT_EQ(locFile.myFlags & QF_FLAG_NOT_OWNED, 0u);
    EXPECT_EQ(locFile.myMapping, nullptr);
    EXPECT_EQ(memcmp(locFile.myBuffer, "packed", 6), 0);
}

TEST(QF_FileRenderTest, BinaryReadersSwapAndStopAtTheEnd)
{
    std::string locPath = QF_TestPath("words.bin");
    QF_TestWriteFile(locPath, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 'h', 'i', 0, 'x'});
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ | QF_SWAP_BYTES));
    uint32_t locWord;
    ASSERT_TRUE(locFile.ReadU32(&locWord));
    EXPECT_EQ(locWord, 0x01020304u);
    uint16_t locHalf;
    ASSERT_TRUE(locFile.ReadU16(&locHalf));
    EXPECT_EQ(locHalf, 0x0506);
    char locText[8];
    locFile.ReadString(locText, sizeof(locText));
    EXPECT_STREQ(locText, "hi");
    EXPECT_EQ(locFile.ReadChar(), 'x');
    EXPECT_EQ(locFile.ReadChar(), 0);
    EXPECT_EQ(locFile.GetPos(), 10u);
    EXPECT_FALSE(locFile.ReadU32(&locWord));
    EXPECT_EQ(locWord, 0u);
    locFile.ReadString(locText, sizeof(locText));
    EXPECT_STREQ(locText, "");

    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ));
    ASSERT_TRUE(locFile.ReadU32(&locWord));
    EXPECT_EQ(locWord, 0x04030201u);
    uint8_t locBytes[20];
    EXPECT_EQ(locFile.Read(locBytes, 20), 6u);
    EXPECT_TRUE(locFile.Seek(3, 2));
    EXPECT_EQ(locFile.GetPos(), 7u);
    EXPECT_FALSE(locFile.Seek(11, 0));
    EXPECT_FALSE(locFile.Seek(1, 5));
    EXPECT_EQ(locFile.GetPos(), 7u);
}

TEST(QF_FileRenderTest, TextReaders)
{
    std::string locPath = QF_TestPath("text.txt");
    QF_TestWriteFile(locPath, QF_TestBytes("  ab  // note\r\n\r\n\tcd\nlast"));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ));
    char locLine[16];
    locFile.ReadLine(locLine, sizeof(locLine));
    EXPECT_STREQ(locLine, "ab");
    locFile.ReadLine(locLine, sizeof(locLine));
    EXPECT_STREQ(locLine, "cd");
    locFile.ReadLine(locLine, sizeof(locLine));
    EXPECT_STREQ(locLine, "last");
    EXPECT_EQ(locFile.myLineState, 1);
    EXPECT_EQ(locFile.myFilePos, locFile.myFileSize);

    QF_TestWriteFile(locPath, QF_TestBytes("  raw line \r\nnext\nab  \t cd"));
    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ));
    locFile.ReadRawLine(locLine, sizeof(locLine));
    EXPECT_STREQ(locLine, "  raw line ");
    locFile.ReadRawLine(locLine, sizeof(locLine));
    EXPECT_STREQ(locLine, "next");
    locFile.ReadWord(locLine, sizeof(locLine));
    EXPECT_STREQ(locLine, "ab");
    EXPECT_EQ(locFile.ReadChar(), 'c');
    // A full buffer ends the word; the line reader continues a cut line.
    ASSERT_TRUE(locFile.Seek(0, 0));
    locFile.ReadLine(locLine, 5);
    EXPECT_STREQ(locLine, "raw ");
    locFile.ReadLine(locLine, sizeof(locLine));
    EXPECT_STREQ(locLine, "line");

    // Wide lines, stored big-endian.
    std::vector<uint8_t> locWide;
    for (char c : std::string(" w1 //c\r\nw2"))
    {
        locWide.push_back(0);
        locWide.push_back((uint8_t)c);
    }
    QF_TestWriteFile(locPath, locWide);
    ASSERT_TRUE(locFile.Open(locPath.c_str(), QF_READ | QF_SWAP_BYTES));
    uint16_t locWideLine[8];
    locFile.ReadWideLine(locWideLine, 8);
    EXPECT_EQ(locWideLine[0], 'w');
    EXPECT_EQ(locWideLine[1], '1');
    EXPECT_EQ(locWideLine[2], 0);
    locFile.ReadWideLine(locWideLine, 8);
    EXPECT_EQ(locWideLine[0], 'w');
    EXPECT_EQ(locWideLine[1], '2');
    EXPECT_EQ(locWideLine[2], 0);
}

TEST(QF_FileRenderTest, NamesOnDisk)
{
    std::string locDir = QF_TestPath("names");
    std::string locFile = locDir + "/sub/a.txt";
    QF_File::CreatePath(locFile.c_str());
    QF_TestWriteFile(locFile, QF_TestBytes("a"));
    EXPECT_TRUE(QF_File::Exists(locFile.c_str()));
    EXPECT_FALSE(QF_File::Exists((locDir + "/sub").c_str()));
    EXPECT_FALSE(QF_File::Exists(""));
    EXPECT_FALSE(QF_File::Exists(nullptr));
    EXPECT_TRUE(QF_File::IsDirectory((locDir + "/sub").c_str()));
    EXPECT_FALSE(QF_File::IsDirectory(locFile.c_str()));
    // Windows-style names find the same file.
    std::string locUpper = locDir + "\\SUB\\A.TXT";
    EXPECT_TRUE(QF_File::Exists(locUpper.c_str()));

    std::string locMoved = locDir + "/b.txt";
    EXPECT_TRUE(QF_File::Move(locFile.c_str(), locMoved.c_str()));
    QF_TestWriteFile(locFile, QF_TestBytes("again"));
    EXPECT_FALSE(QF_File::Move(locFile.c_str(), locMoved.c_str()));
    EXPECT_TRUE(QF_File::Delete(locMoved.c_str()));
    EXPECT_FALSE(QF_File::Delete(locMoved.c_str()));
    EXPECT_TRUE(QF_File::DeleteDirectory(locDir.c_str()));
    EXPECT_FALSE(QF_File::IsDirectory(locDir.c_str()));
    EXPECT_FALSE(QF_File::DeleteDirectory(locDir.c_str()));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
}

TEST(QF_FileRenderTest, StreamingReadsADiskFileOnDemand)
{
    std::string locPath = QF_TestPath("stream.bin");
    QF_TestWriteFile(locPath, QF_TestBytes("0123456789"));
    QF_File locFile;
    ASSERT_NE(locFile.OpenStreaming(locPath.c_str()), nullptr);
    EXPECT_EQ(locFile.myFlags, (uint32_t)QF_FLAG_STREAMING);
    EXPECT_EQ(locFile.myBuffer, nullptr);
    EXPECT_EQ(locFile.myFileSize, 10u);
    ASSERT_TRUE(locFile.Seek(4, 0));
    char locText[4] = {};
    EXPECT_EQ(locFile.Read(locText, 3), 3u);
    EXPECT_STREQ(locText, "456");
    EXPECT_TRUE(locFile.Close());
    EXPECT_EQ(locFile.OpenStreaming(QF_TestPath("nothing").c_str()), nullptr);
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_NOT_FOUND);
}

TEST(QF_FileRenderTest, CompressionHelpers)
{
    std::vector<uint8_t> locData(1000, 'z');
    std::vector<uint8_t> locPacked(QF_File::GetCompressBound(1000));
    long locLength = QF_File::Compress(locData.data(), 1000, locPacked.data(), (long)locPacked.size());
    ASSERT_GT(locLength, 0);
    std::vector<uint8_t> locBack(1000);
    EXPECT_EQ(QF_File::Uncompress(locPacked.data(), (uint32_t)locLength, locBack.data(), 1000), 1000u);
    EXPECT_EQ(locBack, locData);
    EXPECT_EQ(QF_File::Uncompress(locPacked.data(), (uint32_t)locLength, locBack.data(), 999), 0u);
    EXPECT_EQ(QF_File::Compress(locData.data(), 1000, locPacked.data(), 2), -1);
}
