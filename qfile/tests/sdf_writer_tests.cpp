// The writer's rules: methods by extension, the raw fallback, progress,
// refusals with their codes, and replacing an archive only when complete.
#include "sdf_test_util.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "qfile/qf_file.h"
#include "qfile/qf_sdf_local.h"

using namespace sdftest;

namespace
{
std::vector<uint8_t> RandomBytes(size_t aCount)
{
    std::mt19937 locGenerator{uint32_t(aCount)};
    std::vector<uint8_t> locBytes(aCount);
    for (uint8_t& locByte : locBytes)
        locByte = uint8_t(locGenerator());
    return locBytes;
}

std::string ReadEntry(const char* aPath)
{
    QF_File locFile;
    if (!locFile.Open(aPath, OPEN_READ))
        return "<missing>";
    std::string locText(locFile.GetSize(), 0);
    locFile.Read(locText.data(), locFile.GetSize());
    return locText;
}

int ourProgressCalls = 0;
QF_SDFEditProgress ourLastProgress;
int ourStopAt = -1;

bool RecordProgress(QF_SDFEditProgress* aProgress)
{
    ourLastProgress = *aProgress;
    return ourProgressCalls++ != ourStopAt;
}
}

class SDFWriter : public ScratchTest
{
};

TEST_F(SDFWriter, ExtensionRulesPickTheMethod)
{
    QF_SDFEdit locWriter;
    EXPECT_TRUE(locWriter.SetCompression("bik", 0));
    EXPECT_TRUE(locWriter.SetCompression("mp3", 0));
    EXPECT_TRUE(locWriter.SetCompression("gz", 1));
    QF_SDFEditError = 0;
    EXPECT_FALSE(locWriter.SetCompression("BIK", 1));
    EXPECT_EQ(QF_SDFEditError, 2);
    EXPECT_TRUE(locWriter.SetCompression("averyveryverylongextension", 1));   // kept as its first 15 characters

    EXPECT_EQ(locWriter.GetCompression("movie.BIK"), 0u);
    EXPECT_EQ(locWriter.GetCompression("song.mp3"), 0u);
    EXPECT_EQ(locWriter.GetCompression("x.tar.gz"), 1u);
    EXPECT_EQ(locWriter.GetCompression("x.gz.tar"), 2u);
    EXPECT_EQ(locWriter.GetCompression("noext"), 2u);
    EXPECT_EQ(locWriter.GetCompression(".bik"), 0u);
    EXPECT_EQ(locWriter.GetCompression("a.averyveryverylo"), 1u);
    QF_SDFEditError = 0;
    EXPECT_EQ(locWriter.GetCompression("inner.SdF"), uint32_t(-1));
    EXPECT_EQ(QF_SDFEditError, 3);
    locWriter.SetDefaultCompression(1);
    EXPECT_EQ(locWriter.GetCompression("plain.txt"), 1u);
}

TEST_F(SDFWriter, RoundTripsMethodsAndFallsBackToStored)
{
    std::vector<uint8_t> locRandom = RandomBytes(2500000);   // written as 1,000,000 + 1,000,000 + 500,000
    std::string locText;
    for (int i = 0; i < 20000; ++i)
        locText += "vertex " + std::to_string(i % 300) + "\r\n";
    WriteBytes("raw/noise.dat", locRandom);
    WriteText("Models/ship.txt", locText);
    WriteText("models/tiny.txt", "x");
    WriteText("movie.bik", locText);

    QF_SDFEdit locWriter;
    for (const char* locName : {"raw\\noise.dat", "\"Models/ship.txt", "models/tiny.txt", "movie.bik"})
        ASSERT_TRUE(locWriter.AddFile(locName));
    locWriter.SetCompression("bik", 0);
    ASSERT_TRUE(locWriter.Write("all.sdf")) << QF_SDFEditError << " " << QF_SDFEditErrorText;

    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("all.sdf"));
    EXPECT_EQ(locArchive.myFatMethod, 2u);
    EXPECT_EQ(Word(locArchive.myFat, locArchive.FindFile("noise.dat") + 8), 2500000u);   // random: stored
    EXPECT_EQ(Word(locArchive.myFat, locArchive.FindFile("tiny.txt") + 8), 1u);          // tiny: stored
    EXPECT_EQ(Word(locArchive.myFat, locArchive.FindFile("movie.bik") + 8), uint32_t(locText.size()));
    EXPECT_EQ(Word(locArchive.myFat, locArchive.FindFile("ship.txt") + 8) >> 30, 2u);
    // models/tiny.txt joined the directory first created as "Models".
    EXPECT_EQ(locArchive.DirCount(), 3u);
    EXPECT_TRUE(locArchive.FindDir("Models"));
    EXPECT_FALSE(locArchive.FindDir("models"));
    EXPECT_EQ(Word(locArchive.myFat, locArchive.FindDir("Models") + 4), 2u);

    fs::create_directories("elsewhere");
    fs::rename("all.sdf", "elsewhere/all.sdf");
    fs::current_path("elsewhere");
    ASSERT_TRUE(QF_SDF::OpenByName("all.sdf", 1));
    std::string locNoise = ReadEntry("raw/noise.dat");
    EXPECT_TRUE(locNoise == std::string(locRandom.begin(), locRandom.end()));
    EXPECT_EQ(ReadEntry("models/ship.txt"), locText);
    EXPECT_EQ(ReadEntry("MODELS\\TINY.TXT"), "x");
    EXPECT_EQ(ReadEntry("movie.bik"), locText);
}

TEST_F(SDFWriter, BackslashNamesMakeEveryAncestor)
{
    WriteText("dir/sub/f.dat", "data");
    ASSERT_TRUE(Pack({"dir\\sub\\f.dat"}, "deep.sdf"));
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("deep.sdf"));
    EXPECT_EQ(locArchive.FileHash(0), Hash("dir/sub/f.dat"));
    EXPECT_EQ(locArchive.DirCount(), 3u);
    EXPECT_TRUE(locArchive.FindDir("") && locArchive.FindDir("dir") && locArchive.FindDir("dir/sub"));
    EXPECT_EQ(Text(locArchive.myFat, Word(locArchive.myFat, locArchive.FindFile("f.dat") + 16)), "dir/sub");
}

TEST_F(SDFWriter, RefusesWithItsCodes)
{
    WriteText("a.txt", "a");
    WriteText("empty.txt", "");
    WriteText("inner.sdf", "not really");

    QF_SDFEdit locNone;
    EXPECT_FALSE(locNone.Write("out.sdf"));
    EXPECT_EQ(QF_SDFEditError, 6);

    EXPECT_FALSE(Pack({"a.txt", "missing.txt"}, "out.sdf"));
    EXPECT_EQ(QF_SDFEditError, 7);
    EXPECT_STREQ(QF_SDFEditErrorText, "missing.txt");
    EXPECT_FALSE(Pack({"a.txt", "empty.txt"}, "out.sdf"));
    EXPECT_EQ(QF_SDFEditError, 8);
    EXPECT_STREQ(QF_SDFEditErrorText, "empty.txt");
    EXPECT_FALSE(Pack({"a.txt", "inner.sdf"}, "out.sdf"));
    EXPECT_EQ(QF_SDFEditError, 3);
    EXPECT_STREQ(QF_SDFEditErrorText, "inner.sdf");
    EXPECT_FALSE(Pack({"a.txt"}, "no/such/folder/out.sdf"));
    EXPECT_EQ(QF_SDFEditError, 9);
    EXPECT_FALSE(Pack({std::string(256, 'n')}, "out.sdf"));
    EXPECT_EQ(QF_SDFEditError, 7);

    QF_SDFEdit locBadMethod;
    locBadMethod.AddFile("a.txt");
    locBadMethod.SetDefaultCompression(3);
    EXPECT_FALSE(locBadMethod.Write("out.sdf"));
    EXPECT_EQ(QF_SDFEditError, 14);
    // No failure leaves an archive or a temporary file behind.
    EXPECT_FALSE(fs::exists("out.sdf"));
    for (const auto& locEntry : fs::directory_iterator("."))
        EXPECT_EQ(locEntry.path().filename().string().find(".tmp"), std::string::npos) << locEntry.path();
}

TEST_F(SDFWriter, ProgressReportsEachFileAndCanStopTheWrite)
{
    WriteText("one.txt", std::string(300, '1'));
    WriteText("two.txt", std::string(100, '2'));
    ASSERT_TRUE(Pack({"one.txt"}, "old.sdf"));
    std::vector<uint8_t> locOld = ReadBytes("old.sdf");

    QF_SDFEdit locWriter;
    locWriter.AddFile("one.txt");
    locWriter.AddFile("two.txt");
    EXPECT_TRUE(locWriter.SetProgressCallback(RecordProgress));
    EXPECT_FALSE(locWriter.SetProgressCallback(nullptr));
    EXPECT_EQ(QF_SDFEditError, 1);
    ourProgressCalls = 0;
    ourStopAt = 1;
    // Stopped on the second file: the earlier archive of that name is untouched.
    EXPECT_FALSE(locWriter.Write("old.sdf"));
    EXPECT_EQ(QF_SDFEditError, 10);
    EXPECT_EQ(ourProgressCalls, 2);
    EXPECT_EQ(ourLastProgress.myFileIndex, 1);
    EXPECT_EQ(ourLastProgress.myNumFiles, 2);
    EXPECT_EQ(ourLastProgress.myTotalBytes, 400u);
    EXPECT_TRUE(ourLastProgress.myFraction == 0.25f || ourLastProgress.myFraction == 0.75f);
    EXPECT_TRUE(ReadBytes("old.sdf") == locOld);

    QF_SDFEdit locAgain;
    locAgain.AddFile("one.txt");
    locAgain.AddFile("two.txt");
    locAgain.SetProgressCallback(RecordProgress);
    ourProgressCalls = 0;
    ourStopAt = -1;
    ASSERT_TRUE(locAgain.Write("old.sdf"));
    EXPECT_EQ(ourProgressCalls, 3);
    EXPECT_EQ(ourLastProgress.myFraction, 1.0f);
    EXPECT_EQ(ourLastProgress.myFileIndex, 2);
    EXPECT_STREQ(ourLastProgress.myName, "");
    // A complete write replaces the earlier archive.
    ASSERT_TRUE(QF_SDF::OpenByName("old.sdf", 1));
    fs::remove("one.txt");
    fs::remove("two.txt");
    EXPECT_EQ(ReadEntry("two.txt"), std::string(100, '2'));
}

TEST_F(SDFWriter, TakesFilesFromOpenArchives)
{
    WriteText("src/a/b.txt", "from the first archive");
    fs::current_path("src");
    ASSERT_TRUE(Pack({"a/b.txt"}, "../first.sdf"));
    fs::current_path(myDir);
    ASSERT_TRUE(QF_SDF::OpenByName("first.sdf", 1));
    ASSERT_TRUE(Pack({"a/b.txt"}, "second.sdf"));
    QF_SDF::Close(nullptr);
    ASSERT_TRUE(QF_SDF::OpenByName("second.sdf", 0));
    EXPECT_EQ(ReadEntry("a/b.txt"), "from the first archive");
}

// The compressing threads: whatever their number, the same archive, the same
// progress calls from the calling thread, and a failure on any of them ends
// the write as the single-threaded one would.
class SDFParallelWriter : public ScratchTest
{
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        // Text for LZMA, "gz" for zlib, "bik" stored, noise that falls back
        // to stored, files too small to shrink, and one big enough that the
        // read-ahead has to wait for it.
        std::mt19937 locGenerator{7};
        for (int i = 0; i < 48; ++i)
        {
            std::string locText;
            int locLines = 1 + int(locGenerator() % 4000);
            for (int j = 0; j < locLines; ++j)
                locText += "line " + std::to_string(locGenerator() % (50 + i)) + " of " + std::to_string(i) + "\n";
            const char* locExtension = i % 4 == 0 ? ".gz" : i % 4 == 1 ? ".bik" : ".txt";
            std::string locName = "tree/d" + std::to_string(i % 5) + "/f" + std::to_string(i) + locExtension;
            WriteText(locName, locText);
            myNames.push_back(locName);
        }
        WriteBytes("tree/noise.dat", RandomBytes(300000));
        WriteText("tree/tiny.txt", "t");
        std::string locBig;
        for (int i = 0; i < 150000; ++i)
            locBig += "big " + std::to_string(i % 977) + "\n";
        WriteText("tree/big.txt", locBig);
        for (const char* locName : {"tree/noise.dat", "tree/tiny.txt", "tree/big.txt"})
            myNames.push_back(locName);
        ourCalls.clear();
        ourCaller = std::this_thread::get_id();
        ourCallerOnly = true;
    }

    void TearDown() override
    {
        QF_SDFEditCompressionFault = nullptr;
        ScratchTest::TearDown();
    }

    bool Write(const char* anArchive, int aThreads)
    {
        QF_SDFEdit locWriter;
        for (const std::string& locName : myNames)
            EXPECT_TRUE(locWriter.AddFile(locName.c_str()));
        locWriter.SetCompression("gz", 1);
        locWriter.SetCompression("bik", 0);
        locWriter.SetThreadCount(aThreads);
        locWriter.SetProgressCallback(Record);
        return locWriter.Write(anArchive);
    }

    static bool Record(QF_SDFEditProgress* aProgress)
    {
        if (std::this_thread::get_id() != ourCaller)
            ourCallerOnly = false;
        ourCalls.push_back(std::to_string(aProgress->myFileIndex) + " " + aProgress->myName + " " +
                           std::to_string(aProgress->myFraction) + " " + std::to_string(aProgress->myKind) + " " +
                           std::to_string(aProgress->myTotalBytes) + " " + std::to_string(aProgress->myUpdateBytes) +
                           " " + std::to_string(aProgress->myReserved) + " " + std::to_string(aProgress->myNumFiles));
        return true;
    }

    std::vector<std::string> myNames;
    static std::vector<std::string> ourCalls;
    static std::thread::id ourCaller;
    static bool ourCallerOnly;
};

std::vector<std::string> SDFParallelWriter::ourCalls;
std::thread::id SDFParallelWriter::ourCaller;
bool SDFParallelWriter::ourCallerOnly;

namespace
{
std::mutex ourCompressorsMutex;
std::set<std::thread::id> ourCompressors;

bool NoteCompressor(const char*)
{
    std::lock_guard<std::mutex> locLock(ourCompressorsMutex);
    ourCompressors.insert(std::this_thread::get_id());
    return false;
}

// Compressions under way at once, and the most seen; each lasts a little
// longer so that the workers' turns overlap.
std::atomic<int> ourActive{0};
std::atomic<int> ourMostActive{0};

bool NoteOverlap(const char*)
{
    const int locNow = ++ourActive;
    int locMost = ourMostActive;
    while (locNow > locMost && !ourMostActive.compare_exchange_weak(locMost, locNow))
        ;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    --ourActive;
    return false;
}

// The file whose compression fails.
std::string ourFailing;

bool FailOnNamed(const char* aPath)
{
    return ourFailing == aPath;
}
}

TEST_F(SDFParallelWriter, OneAndEightThreadsWriteTheSameBytesAndProgress)
{
    ourCompressors.clear();
    QF_SDFEditCompressionFault = NoteCompressor;
    ASSERT_TRUE(Write("one.sdf", 1)) << QF_SDFEditError << " " << QF_SDFEditErrorText;
    EXPECT_EQ(ourCompressors, std::set<std::thread::id>{ourCaller});
    std::vector<std::string> locSequentialCalls = ourCalls;

    ourCalls.clear();
    ourCompressors.clear();
    ASSERT_TRUE(Write("eight.sdf", 8)) << QF_SDFEditError << " " << QF_SDFEditErrorText;
    EXPECT_EQ(ourCompressors.count(ourCaller), 0u);
    EXPECT_GT(ourCompressors.size(), 1u);
    EXPECT_TRUE(ourCallerOnly);

    std::vector<uint8_t> locOne = ReadBytes("one.sdf");
    EXPECT_TRUE(locOne == ReadBytes("eight.sdf"));
    ASSERT_EQ(ourCalls.size(), myNames.size() + 1);
    EXPECT_EQ(ourCalls, locSequentialCalls);
    for (size_t i = 0; i < ourCalls.size(); ++i)
        EXPECT_EQ(ourCalls[i].substr(0, ourCalls[i].find(' ')), std::to_string(i));
    // Each file's call: kind 1, the total bytes, no update bytes; the closing call: all ones.
    uint64_t locTotal = 0;
    for (const std::string& locName : myNames)
        locTotal += fs::file_size(locName);
    const std::string locEnd = " 1 " + std::to_string(locTotal) + " 0 0.000000 " + std::to_string(myNames.size());
    EXPECT_EQ(ourCalls[3].substr(ourCalls[3].size() - locEnd.size()), locEnd);
    EXPECT_EQ(ourCalls.back(), std::to_string(myNames.size()) + "  1.000000 1 1 1 1.000000 " + std::to_string(myNames.size()));

    // By default the writer compresses on workers too, when there are cores
    // for them, several files at once.
    if (std::thread::hardware_concurrency() > 1)
    {
        ourCompressors.clear();
        ASSERT_TRUE(Write("default.sdf", 0));
        EXPECT_EQ(ourCompressors.count(ourCaller), 0u);
        EXPECT_TRUE(ReadBytes("default.sdf") == locOne);
        ourMostActive = 0;
        QF_SDFEditCompressionFault = NoteOverlap;
        ASSERT_TRUE(Write("overlap.sdf", 4));
        EXPECT_GT(ourMostActive.load(), 1);
        EXPECT_TRUE(ReadBytes("overlap.sdf") == locOne);
    }

    // Every method made it in, and every entry reads back.
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("eight.sdf"));
    std::set<uint32_t> locMethods;
    for (uint32_t i = 0; i < locArchive.FileCount(); ++i)
        locMethods.insert(Word(locArchive.myFat, locArchive.FileRecord(i) + 8) >> 30);
    EXPECT_EQ(locMethods, (std::set<uint32_t>{0, 1, 2}));
    ASSERT_TRUE(QF_SDF::OpenByName("eight.sdf", 1));
    fs::rename("tree", "moved");
    for (const std::string& locName : myNames)
    {
        std::vector<uint8_t> locDisk = ReadBytes("moved" + locName.substr(4));
        EXPECT_TRUE(ReadEntry(locName.c_str()) == std::string(locDisk.begin(), locDisk.end())) << locName;
    }
}

TEST_F(SDFParallelWriter, AFailedCompressionOnAWorkerEndsTheWriteInOrder)
{
    ASSERT_TRUE(Write("old.sdf", 1));
    std::vector<uint8_t> locOld = ReadBytes("old.sdf");
    std::vector<std::string> locAllCalls = ourCalls;
    // An ordinary file, and the big one that the workers take up first.
    for (const char* locName : {"tree/d3/f18.txt", "tree/big.txt"})
    {
        size_t locFailing = 0;
        while (locFailing < locAllCalls.size() &&
               locAllCalls[locFailing].find(std::string(" ") + (strrchr(locName, '/') + 1) + " ") == std::string::npos)
            ++locFailing;
        ASSERT_LT(locFailing, myNames.size()) << locName;
        for (int locThreads : {8, 1})
        {
            ourCalls.clear();
            ourFailing = locName;
            QF_SDFEditCompressionFault = FailOnNamed;
            EXPECT_FALSE(Write("old.sdf", locThreads));
            EXPECT_EQ(QF_SDFEditError, 14);
            EXPECT_STREQ(QF_SDFEditErrorText, locName);
            // Progress went up to the failing file and no further.
            EXPECT_EQ(ourCalls, std::vector<std::string>(locAllCalls.begin(), locAllCalls.begin() + locFailing + 1));
            EXPECT_TRUE(ReadBytes("old.sdf") == locOld);
            for (const auto& locEntry : fs::directory_iterator("."))
                EXPECT_EQ(locEntry.path().filename().string().find(".tmp"), std::string::npos) << locEntry.path();
        }
    }

    // A disk that fills up ends the write at the file that does not fit.
    QF_SDFEditCompressionFault = nullptr;
    ourCalls.clear();
    struct rlimit locLimit;
    getrlimit(RLIMIT_FSIZE, &locLimit);
    struct rlimit locSmall = locLimit;
    locSmall.rlim_cur = 64 * 1024;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    const bool locWritten = Write("old.sdf", 8);
    setrlimit(RLIMIT_FSIZE, &locLimit);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(locWritten);
    EXPECT_EQ(QF_SDFEditError, 15);
    EXPECT_LT(ourCalls.size(), locAllCalls.size());
    EXPECT_TRUE(ReadBytes("old.sdf") == locOld);
    for (const auto& locEntry : fs::directory_iterator("."))
        EXPECT_EQ(locEntry.path().filename().string().find(".tmp"), std::string::npos) << locEntry.path();
}

namespace
{
std::vector<std::string> ourStarted;

// Notes the order compressions start in; each lasts long enough that every
// worker is awake before the first few are over.
bool NoteStart(const char* aPath)
{
    {
        std::lock_guard<std::mutex> locLock(ourCompressorsMutex);
        ourStarted.push_back(aPath);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return false;
}
}

TEST_F(SDFParallelWriter, LargestFilesStartFirstWhereverTheTableHasThem)
{
    // Sizes grow along the table's (hash) order: the largest file, a big one
    // among small ones, is the last written, far beyond the read-ahead of
    // two workers.
    std::vector<std::string> locNames;
    for (int i = 0; i < 400; ++i)
        locNames.push_back("order/f" + std::to_string(i) + ".txt");
    std::sort(locNames.begin(), locNames.end(), [](const std::string& a, const std::string& b) {
        char locNormalized[QF_SDF_MAX_PATH + 1];
        return QF_SDF::HashName(a.c_str(), locNormalized) < QF_SDF::HashName(b.c_str(), locNormalized);
    });
    std::mt19937 locGenerator{3};
    for (size_t i = 0; i < locNames.size(); ++i)
    {
        const size_t locLength = i + 1 == locNames.size() ? 1500000 : 100 + i * 5;
        std::string locText;
        while (locText.size() < locLength)
            locText += "word" + std::to_string(locGenerator() % (100 + i)) + (i % 3 ? " " : "\n");
        locText.resize(locLength);
        WriteText(locNames[i], locText);
    }
    myNames = locNames;

    ASSERT_TRUE(Write("one.sdf", 1)) << QF_SDFEditError << " " << QF_SDFEditErrorText;
    const std::vector<std::string> locOneCalls = ourCalls;
    ourCalls.clear();
    ASSERT_TRUE(Write("eight.sdf", 8)) << QF_SDFEditError << " " << QF_SDFEditErrorText;
    const std::vector<uint8_t> locOne = ReadBytes("one.sdf");
    EXPECT_TRUE(locOne == ReadBytes("eight.sdf"));
    EXPECT_EQ(ourCalls, locOneCalls);
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("one.sdf"));
    ASSERT_EQ(locArchive.FileCount(), locNames.size());
    const uint32_t locLastRecord = locArchive.FileRecord(uint32_t(locNames.size() - 1));
    EXPECT_EQ(Word(locArchive.myFat, locLastRecord + QF_SDF_FR_SIZE), 1500000u);

    // Two workers: the largest files start among the first, the largest of
    // all among the first few, though they are read last in table order.
    ourStarted.clear();
    QF_SDFEditCompressionFault = NoteStart;
    ASSERT_TRUE(Write("two.sdf", 2));
    EXPECT_TRUE(ReadBytes("two.sdf") == locOne);
    ASSERT_EQ(ourStarted.size(), locNames.size());
    EXPECT_LT(std::find(ourStarted.begin(), ourStarted.end(), locNames.back()) - ourStarted.begin(), 3);
    for (auto locLarge = locNames.end() - 8; locLarge != locNames.end(); ++locLarge)
        EXPECT_LT(std::find(ourStarted.begin(), ourStarted.end(), *locLarge) - ourStarted.begin(), 20) << *locLarge;
}

TEST_F(SDFParallelWriter, LargestFilesReadFirstTakeAtMostHalfTheReadAhead)
{
    // Three stored files of 32 MiB, last in table order behind many small
    // ones: two fill half of the 128 MiB read-ahead and start at once; the
    // third waits for its turn in order.
    std::vector<std::string> locNames;
    for (int i = 0; i < 300; ++i)
        locNames.push_back("half/f" + std::to_string(i) + (i < 297 ? ".txt" : ".bik"));
    std::sort(locNames.begin(), locNames.end() - 3, [](const std::string& a, const std::string& b) {
        char locNormalized[QF_SDF_MAX_PATH + 1];
        return QF_SDF::HashName(a.c_str(), locNormalized) < QF_SDF::HashName(b.c_str(), locNormalized);
    });
    // The big ones after the last small one in hash order: their names are
    // tried until they hash past it.
    char locNormalized[QF_SDF_MAX_PATH + 1];
    const uint32_t locLastSmall = QF_SDF::HashName(locNames[296].c_str(), locNormalized);
    int locTry = 0;
    for (size_t i = 297; i < locNames.size(); ++i)
    {
        do
            locNames[i] = "half/big" + std::to_string(locTry++) + ".bik";
        while (QF_SDF::HashName(locNames[i].c_str(), locNormalized) <= locLastSmall);
    }
    for (size_t i = 0; i < locNames.size(); ++i)
        WriteText(locNames[i], i < 297 ? "small " + std::to_string(i) : std::string(32u << 20, char('a' + i % 3)));
    myNames = locNames;

    ourStarted.clear();
    QF_SDFEditCompressionFault = NoteStart;
    ASSERT_TRUE(Write("half.sdf", 2)) << QF_SDFEditError << " " << QF_SDFEditErrorText;
    ASSERT_EQ(ourStarted.size(), locNames.size());
    std::vector<long> locBigStarts;
    for (size_t i = 297; i < locNames.size(); ++i)
        locBigStarts.push_back(std::find(ourStarted.begin(), ourStarted.end(), locNames[i]) - ourStarted.begin());
    std::sort(locBigStarts.begin(), locBigStarts.end());
    EXPECT_LT(locBigStarts[1], 4);
    EXPECT_GT(locBigStarts[2], 100);
}

TEST_F(SDFWriter, TablesAreInUnsignedHashOrderAndHighBytesHashUnsigned)
{
    // Names long enough that some hashes have the top bit set and some not,
    // and names with bytes of 0x80 and above.
    std::vector<std::string> locNames;
    for (int i = 0; i < 40; ++i)
    {
        std::string locName = std::string(size_t(i * 7 % 90 + 1), char('a' + i % 26)) + std::to_string(i) + ".t";
        if (i % 5 == 0)
            locName = "d" + std::to_string(i % 3) + "/\xe9t\xc3\xa9" + locName;
        WriteText(locName, "x");
        locNames.push_back(locName);
    }
    ASSERT_TRUE(Pack(locNames, "out.sdf"));
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("out.sdf"));
    ASSERT_EQ(locArchive.FileCount(), 40u);
    bool locHigh = false, locLow = false;
    for (uint32_t i = 0; i < locArchive.FileCount(); ++i)
    {
        (locArchive.FileHash(i) & 0x80000000u ? locHigh : locLow) = true;
        if (i > 0)
        {
            EXPECT_LE(locArchive.FileHash(i - 1), locArchive.FileHash(i)) << i;
        }
    }
    EXPECT_TRUE(locHigh && locLow);
    for (uint32_t i = 1; i < locArchive.DirCount(); ++i)
        EXPECT_LE(locArchive.DirHash(i - 1), locArchive.DirHash(i)) << i;

    // Every hash as this test computes it: Adler-32 of the upper-cased bytes as unsigned values.
    std::set<uint32_t> locExpected;
    for (const std::string& locName : locNames)
    {
        uint32_t locA = 1, locB = 0;
        for (unsigned char locChar : locName)
        {
            locA = (locA + ((locChar >= 'a' && locChar <= 'z') ? locChar - 32u : locChar)) % 65521;
            locB = (locB + locA) % 65521;
        }
        locExpected.insert(locA | (locB << 16));
    }
    std::set<uint32_t> locWritten;
    for (uint32_t i = 0; i < locArchive.FileCount(); ++i)
        locWritten.insert(locArchive.FileHash(i));
    EXPECT_EQ(locWritten, locExpected);

    ASSERT_TRUE(QF_SDF::OpenByName("out.sdf", 1));
    fs::remove_all("d0");
    QF_File locFile;
    EXPECT_TRUE(locFile.Open(locNames[0].c_str(), OPEN_READ)) << locNames[0];
}

TEST_F(SDFWriter, ManyTinyEntriesAreTheSameBytesOnOneAndEightThreads)
{
    // Tiny text, a few bytes of noise (stored), and now and then a file large
    // enough to change the size of the coder's tables between entries.
    std::mt19937 locGenerator{21};
    std::vector<std::string> locNames;
    for (int i = 0; i < 2500; ++i)
    {
        std::string locName = "d" + std::to_string(i % 13) + "/e" + std::to_string(i) + ".txt";
        const uint32_t locLength = 1 + locGenerator() % (i % 97 == 0 ? 30000 : 600);
        std::string locText;
        if (i % 11 == 0)
            for (uint32_t j = 0; j < locLength; ++j)
                locText += char(locGenerator());
        else
            while (locText.size() < locLength)
                locText += "entry " + std::to_string(locGenerator() % (7 + i % 50)) + (i % 2 ? "\n" : " ");
        locText.resize(locLength);
        WriteText(locName, locText);
        locNames.push_back(locName);
    }
    auto locWrite = [&](const char* anArchive, int aThreads) {
        QF_SDFEdit locWriter;
        for (const std::string& locName : locNames)
            locWriter.AddFile(locName.c_str());
        locWriter.SetThreadCount(aThreads);
        return locWriter.Write(anArchive);
    };
    ASSERT_TRUE(locWrite("one.sdf", 1)) << QF_SDFEditError;
    ASSERT_TRUE(locWrite("eight.sdf", 8)) << QF_SDFEditError;
    const std::vector<uint8_t> locOne = ReadBytes("one.sdf");
    EXPECT_TRUE(locOne == ReadBytes("eight.sdf"));

    // Each entry as a coder of its own packs it, or as it is when that does
    // not shrink it.
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("one.sdf"));
    ASSERT_EQ(locArchive.FileCount(), locNames.size());
    std::set<std::vector<uint8_t>> locExpected;
    for (const std::string& locName : locNames)
    {
        std::vector<uint8_t> locData = ReadBytes(locName);
        std::vector<uint8_t> locPacked(locData.size());
        const uint32_t locSize = QP_Pack::CompressLZMA(locData.data(), locPacked.data(), uint32_t(locData.size()));
        locPacked.resize(locSize);
        locExpected.insert(locSize ? locPacked : locData);
    }
    int locStored = 0;
    for (uint32_t i = 0; i < locArchive.FileCount(); ++i)
    {
        const uint32_t locRecord = locArchive.FileRecord(i);
        const uint32_t locPackedWord = Word(locArchive.myFat, locRecord + QF_SDF_FR_PACKED);
        const uint32_t locOffset = Word(locArchive.myFat, locRecord + QF_SDF_FR_DATA_OFFSET);
        const uint32_t locSize = QF_SDFStoredSize(locPackedWord);
        ASSERT_LE(uint64_t(locOffset) + locSize, locOne.size());
        locStored += (locPackedWord >> 30) == 0;
        EXPECT_EQ(locExpected.count(std::vector<uint8_t>(locOne.begin() + locOffset, locOne.begin() + locOffset + locSize)),
                  1u)
            << i;
    }
    EXPECT_GT(locStored, 100);
}

// The 255-character limit is the stored names': an archive deep in the disk's
// folders is written and opened by an absolute path of any length.
TEST_F(SDFWriter, ArchivesOpenByAbsolutePathsPastTheNameLimit)
{
    WriteText("src/a/b.txt", "deep inside");
    fs::path locDeep = fs::absolute(myDir);
    while (locDeep.string().size() < 300)
        locDeep /= "a_folder_with_a_rather_long_name_to_pass_the_limit";
    fs::create_directories(locDeep);
    const std::string locArchive = (locDeep / "deep.sdf").string();
    ASSERT_GT(locArchive.size(), 300u);
    fs::current_path("src");
    ASSERT_TRUE(Pack({"a/b.txt"}, locArchive.c_str()));
    fs::current_path(myDir);
    ASSERT_TRUE(QF_SDF::OpenByName(locArchive.c_str(), 1)) << QF_ErrorCode;
    EXPECT_EQ(ReadEntry("a/b.txt"), "deep inside");
    QF_SDF::Close(nullptr);

    // Backslashes as the originals wrote them.
    std::string locBackslashed = locArchive;
    std::replace(locBackslashed.begin(), locBackslashed.end(), '/', '\\');
    ASSERT_TRUE(QF_SDF::OpenByName(locBackslashed.c_str(), 1)) << QF_ErrorCode;
    EXPECT_EQ(ReadEntry("a/b.txt"), "deep inside");
    QF_SDF::Close(nullptr);
}

TEST_F(SDFWriter, EntryPathsAreWholeRelativePathsOfProperNames)
{
    for (const char* locGood : {"a", "a/b.txt", "a\\b\\c", "...", ".a/..b/c..", "a b/%d.txt"})
        EXPECT_TRUE(QF_SDFIsEntryPath(locGood)) << locGood;
    for (const char* locBad : {"", "/", "\\", "a/", "a\\", "/a", "\\a", "a//b", "a\\/b", ".", "..", "./a", "a/.",
                               "a/..", "../a", "a/./b", "a/../b", "a\\..\\b", ".\\a"})
        EXPECT_FALSE(QF_SDFIsEntryPath(locBad)) << locBad;
}

TEST_F(SDFWriter, OddNamesAreRefusedBeforeAnythingIsWritten)
{
    WriteText("y.txt", "why");
    WriteText("sub/x.txt", "ex");
    WriteText("x", "bare");
    ASSERT_TRUE(Pack({"y.txt"}, "out.sdf"));
    const std::vector<uint8_t> locOld = ReadBytes("out.sdf");

    // Each names a file that exists; the text is the name as kept ('\\' as '/').
    const std::pair<const char*, const char*> locCases[] = {
        {"./y.txt", "./y.txt"},         {"sub//x.txt", "sub//x.txt"}, {"sub/./x.txt", "sub/./x.txt"},
        {"sub/../y.txt", "sub/../y.txt"}, {"sub\\..\\y.txt", "sub/../y.txt"}, {"/abs", "/abs"},
        {"\\x", "/x"},                  {"\"/x", "/x"},               {"sub/", "sub/"}};
    for (const auto& [locName, locText] : locCases)
    {
        QF_SDFEdit locWriter;
        EXPECT_TRUE(locWriter.AddFile("y.txt"));
        QF_SDFEditError = 0;
        EXPECT_FALSE(locWriter.AddFile(locName)) << locName;
        EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_BAD_NAME) << locName;
        EXPECT_STREQ(QF_SDFEditErrorText, locText);
        // A caller that does not look at AddFile's answer still gets no archive.
        EXPECT_TRUE(locWriter.AddFile("sub/x.txt"));
        strcpy(QF_SDFEditErrorText, "stale");
        EXPECT_FALSE(locWriter.Write("out.sdf")) << locName;
        EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_BAD_NAME) << locName;
        EXPECT_STREQ(QF_SDFEditErrorText, locText);
        EXPECT_TRUE(ReadBytes("out.sdf") == locOld) << locName;
    }
    // The refusal comes before the files are looked at: a missing file later
    // in the list does not hide it.
    EXPECT_FALSE(Pack({"sub/../missing.txt"}, "new.sdf"));
    EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_BAD_NAME);
    EXPECT_FALSE(fs::exists("new.sdf"));
    for (const auto& locEntry : fs::directory_iterator("."))
        EXPECT_EQ(locEntry.path().filename().string().find(".tmp"), std::string::npos) << locEntry.path();
}

TEST_F(SDFWriter, WhatTheWriterWritesTheReaderOpens)
{
    // Names made of proper and improper parts at random, for files that exist
    // whatever the spelling: an archive is either refused or read whole.
    for (const char* locFile : {"a/b/c.txt", "a/c.txt", "c.txt", "z.txt"})
        WriteText(locFile, locFile);
    const char* const locParts[] = {"a", "b", "c.txt", ".", "..", ""};
    std::mt19937 locRandom(44);
    int locWritten = 0;
    for (int locRound = 0; locRound < 300; ++locRound)
    {
        std::string locName;
        const int locCount = 1 + int(locRandom() % 4);
        for (int i = 0; i < locCount; ++i)
            locName += std::string(i ? (locRandom() % 2 ? "/" : "\\") : "") + locParts[locRandom() % 6];
        QF_SDF::Close(nullptr);
        fs::remove("r.sdf");
        if (!Pack({locName, "z.txt"}, "r.sdf"))
            continue;
        ++locWritten;
        EXPECT_TRUE(QF_SDFIsEntryPath(locName.c_str())) << locName;
        ASSERT_TRUE(QF_SDF::OpenByName("r.sdf", 1)) << locName << ": " << QF_ErrorCode << " " << QF_SDFErrorText;
        QF_SDFFileRecord locRecord;
        EXPECT_TRUE(QF_SDF::FindFile(locName.c_str(), &locRecord, 1)) << locName;
    }
    EXPECT_GT(locWritten, 5);
}

TEST_F(SDFWriter, EveryFailedWriteNamesTheFileAndTheReason)
{
    WriteText("a.txt", std::string(20000, 'a'));
    QF_SDFEdit locNone;
    EXPECT_FALSE(locNone.Write("none.sdf"));
    EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_NO_FILES);
    EXPECT_STREQ(QF_SDFEditErrorText, "none.sdf: no files to write");

    EXPECT_FALSE(Pack({"a.txt"}, "no/such/folder/out.sdf"));
    EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_CANNOT_CREATE);
    EXPECT_EQ(std::string(QF_SDFEditErrorText), std::string("no/such/folder/out.sdf: ") + strerror(ENOENT));

    // A file-size limit: the archive's writes fail as on a full disk.
    struct rlimit locLimit;
    getrlimit(RLIMIT_FSIZE, &locLimit);
    struct rlimit locSmall = locLimit;
    locSmall.rlim_cur = 1000;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    bool locWritten = Pack({"a.txt"}, "big.sdf", 0);
    setrlimit(RLIMIT_FSIZE, &locLimit);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(locWritten);
    EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_WRITE_FAILED);
    EXPECT_EQ(std::string(QF_SDFEditErrorText), std::string("big.sdf: ") + strerror(EFBIG));

    // A file that cannot be read: its name and why.
    WriteText("locked.txt", "locked");
    fs::permissions("locked.txt", fs::perms::none);
    if (geteuid() != 0)
    {
        EXPECT_FALSE(Pack({"a.txt", "locked.txt"}, "out.sdf"));
        EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_CANNOT_READ);
        EXPECT_EQ(std::string(QF_SDFEditErrorText), std::string("locked.txt: ") + strerror(EACCES));
    }
    fs::permissions("locked.txt", fs::perms::owner_all);
}

// Two names that readers take for one entry (a-z case, a code page 1252 name
// beside its UTF-8 spelling) are refused as a pair: packed, one of them could
// never be read back. Names that differ otherwise are two entries.
TEST_F(SDFWriter, RefusesTwoNamesOfOneEntryNamingBoth)
{
    WriteText("Readme.txt", "mixed case");
    WriteText("README.txt", "upper case");
    WriteText("caf\xe9.txt", "code page 1252");
    WriteText("caf\xc3\xa9.txt", "utf-8");
    WriteText("CAF\xc3\x89.txt", "upper-case e acute");
    fs::create_directories("Data");
    fs::create_directories("DATA");
    WriteText("Data/x.txt", "one folder");
    WriteText("DATA/x.txt", "another folder");

    const struct
    {
        std::vector<std::string> myNames;
        const char* myText;
    } locPairs[] = {
        {{"Readme.txt", "README.txt"}, "Readme.txt and README.txt are one name in an archive"},
        {{"caf\xe9.txt", "Readme.txt", "caf\xc3\xa9.txt"},
         "caf\xc3\xa9.txt (code page 1252) and caf\xc3\xa9.txt are one name in an archive"},
        {{"Data/x.txt", "DATA\\x.txt"}, "Data/x.txt and DATA/x.txt are one name in an archive"},
        {{"Readme.txt", "Readme.txt"}, "Readme.txt and Readme.txt are one name in an archive"},
    };
    for (const auto& locPair : locPairs)
    {
        EXPECT_FALSE(Pack(locPair.myNames, "pair.sdf")) << locPair.myText;
        EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_SAME_NAME);
        EXPECT_STREQ(QF_SDFEditErrorText, locPair.myText);
        EXPECT_FALSE(fs::exists("pair.sdf"));
    }

    // Bytes outside a-z keep their case: both entries are there and read back.
    ASSERT_TRUE(Pack({"caf\xc3\xa9.txt", "CAF\xc3\x89.txt", "Readme.txt"}, "apart.sdf")) << QF_SDFEditErrorText;
    fs::remove("caf\xc3\xa9.txt");
    fs::remove("CAF\xc3\x89.txt");
    ASSERT_TRUE(QF_SDF::OpenByName("apart.sdf", 1));
    for (const auto& [locName, locText] : {std::pair<const char*, const char*>{"caf\xc3\xa9.txt", "utf-8"},
                                           {"CAF\xc3\x89.txt", "upper-case e acute"}})
    {
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(locName, OPEN_READ)) << locName;
        std::string locRead(locFile.GetSize(), 0);
        ASSERT_EQ(locFile.Read(locRead.data(), uint32_t(locRead.size())), locRead.size());
        EXPECT_EQ(locRead, locText);
    }
}
