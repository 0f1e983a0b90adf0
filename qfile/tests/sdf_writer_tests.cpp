// The writer's rules: methods by extension, the raw fallback, progress,
// refusals with their codes, and replacing an archive only when complete.
#include "sdf_test_util.h"

#include <random>

#include "qfile/qf_file.h"

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
