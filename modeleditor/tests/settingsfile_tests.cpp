// The settings, state and paths files: the reading rules, the mends for long
// and short lines, and round trips through real files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "modeleditor/pathsfile.h"
#include "modeleditor/settingsfile.h"

namespace fs = std::filesystem;

namespace
{
PranvelSettings Parse(const std::string& aText)
{
    PranvelSettings locSettings;
    ParseSettingsText(aText.data(), aText.size(), &locSettings);
    return locSettings;
}

std::vector<std::string> Lines(const std::string& aText)
{
    SettingsLineReader locReader(aText.data(), aText.size());
    std::vector<std::string> locLines;
    std::string locLine;
    while (locReader.Next(&locLine, nullptr))
        locLines.push_back(locLine);
    return locLines;
}

class FilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir);
    }
    void Write(const std::string& aName, const std::string& aText)
    {
        std::ofstream(myDir / aName, std::ios::binary) << aText;
    }
    std::string Read(const std::string& aName)
    {
        std::ifstream locIn(myDir / aName, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(locIn), {});
    }
    std::string Path(const std::string& aName) { return (myDir / aName).string(); }

    fs::path myDir;
};
} // namespace

TEST(SettingsLines, TheLineReaderSkipsBlanksCommentsAndEmptyLines)
{
    EXPECT_EQ(Lines("  a b\r\n\r\n\t\r\nc  // note\nd/e\r\n//all comment\n x\ry \n"),
              (std::vector<std::string>{"a b", "c", "d/e", "x\ry"}));
    // A lone CR is no line end; the last line needs none.
    EXPECT_EQ(Lines("a\rb"), (std::vector<std::string>{"a\rb"}));
    EXPECT_EQ(Lines(std::string("ab \x01\0cd\nx", 10)), (std::vector<std::string>{"ab", "x"}));
    EXPECT_EQ(Lines(std::string("a\x01" "b\0c", 5)), (std::vector<std::string>{"a\x01" "b"}));
    // Blanks are the characters below 33: '!' is text at both ends.
    EXPECT_EQ(Lines("!a!\n \x20!\n"), (std::vector<std::string>{"!a!", "!"}));
    EXPECT_EQ(Lines(""), std::vector<std::string>{});
}

TEST(SettingsLines, LinesOver255CharactersAreSkippedWhole)
{
    std::string locLong(256, 'x');
    std::string locEdge(255, 'y');
    EXPECT_EQ(Lines("a 1\r\n" + locLong + "\r\nb 2\r\n" + locEdge + "   \r\n"),
              (std::vector<std::string>{"a 1", "b 2", locEdge}));
    // A comment does not count; a huge line is still skipped.
    EXPECT_EQ(Lines("k " + locEdge.substr(2) + "//" + locLong + "\n" + std::string(100000, 'z') + "\nend"),
              (std::vector<std::string>{"k " + locEdge.substr(2), "end"}));

    PranvelSettings locSettings = Parse("workDir " + locLong + "\r\nbgColor 5\r\n");
    EXPECT_FALSE(locSettings.WasFound(SETTINGS_WORKDIR));
    EXPECT_STREQ(locSettings.myWorkDir, "");
    EXPECT_EQ(locSettings.myBgColor, 5u);
}

TEST(SettingsFile, AbsentKeysKeepTheirStartUpValues)
{
    PranvelSettings locSettings = Parse("unknownKey 7\r\nnoblank\r\n");
    EXPECT_EQ(locSettings.myFoundKeys, 0u);
    EXPECT_EQ(locSettings.myAmbientColor, 0xFFFFFFu);
    EXPECT_EQ(locSettings.myFogColor, 0x808080u);
    EXPECT_FLOAT_EQ(locSettings.myFarPlane, 200.0f);
    EXPECT_FLOAT_EQ(locSettings.myNearPlane, 0.1f);
    EXPECT_TRUE(locSettings.myGridEnable);
    EXPECT_STREQ(locSettings.myDefaultSurface, "INTERNAL_SOLID");
    EXPECT_FLOAT_EQ(locSettings.myLodDistances[3], 400.0f);
}

TEST(SettingsFile, ValuesFollowTheConversionRules)
{
    // Only the value "1" switches on.
    EXPECT_TRUE(Parse("gridEnable 1").myGridEnable);
    EXPECT_FALSE(Parse("gridEnable true").myGridEnable);
    EXPECT_FALSE(Parse("gridEnable 01").myGridEnable);
    EXPECT_TRUE(Parse("gridEnable 01").WasFound(SETTINGS_GRIDENABLE));
    // Keys without regard to case; a decimal comma where allowed.
    EXPECT_FLOAT_EQ(Parse("GRIDSIZE 2,5").myGridSize, 2.5f);
    EXPECT_FLOAT_EQ(Parse("fogStart 12,25").myFogStart, 12.25f);
    EXPECT_FLOAT_EQ(Parse("lod1Distance 2,5").myLodDistances[0], 2.0f);
    // Integers with base 0.
    for (const char* locValue : {"255", "0xff", "0377"})
        EXPECT_EQ(Parse(std::string("bgColor ") + locValue).myBgColor, 0xFFu) << locValue;
    EXPECT_EQ(Parse("bgColor junk").myBgColor, 0u);
    // Object colours 0 to 7 only.
    PranvelSettings locColors = Parse("objectColor8 1\nobjectColor-1 2\nobjectColor 3\nOBJECTCOLOR7 0x123\nobjectColor0 4");
    EXPECT_EQ(locColors.myObjectColors[7], 0x123u);
    EXPECT_EQ(locColors.myObjectColors[0], 4u);
    EXPECT_EQ(locColors.myFoundKeys,
              (uint64_t(1) << (SETTINGS_OBJECTCOLOR0 + 7)) | (uint64_t(1) << SETTINGS_OBJECTCOLOR0));
    // A comment after the value is not part of it.
    EXPECT_EQ(Parse("fogColor 0x102030 // grey-blue").myFogColor, 0x102030u);
    // Degrees to radians; the light colour by bytes.
    PranvelSettings locLight = Parse("dirLightDirection 90.0\ndirLightElevation -45\ndirLightColor 0xff8000");
    EXPECT_NEAR(locLight.myDirLightDirection, 1.5707963f, 1e-6);
    EXPECT_NEAR(locLight.myDirLightElevation, -0.7853982f, 1e-6);
    EXPECT_FLOAT_EQ(locLight.myDirLightColor[0], 1.0f);
    EXPECT_FLOAT_EQ(locLight.myDirLightColor[1], 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(locLight.myDirLightColor[2], 0.0f);
    // The value is the rest of the line after the first blank.
    EXPECT_STREQ(Parse("workDir t:/my data/").myWorkDir, "t:/my data/");
    // Ignored keys change nothing; neither do keys past the known ones.
    EXPECT_EQ(Parse("fogActive 0\nmouseInvert 1").myFoundKeys, 0u);
    EXPECT_EQ(Parse("objectColor12 5\nobjectColor07 5").myFoundKeys, 0u);
    PranvelSettings locLod = Parse("lod5Distance 1\nlod0Distance 1");
    EXPECT_EQ(locLod.myFoundKeys, 0u);
    EXPECT_FLOAT_EQ(locLod.myLodDistances[3], 400.0f);
}

TEST_F(FilesTest, SettingsRoundTripThroughAFile)
{
    PranvelSettings locSettings;
    locSettings.myWorkDir = "t:/data/";
    locSettings.myStateFile = "states.txt";
    locSettings.myBgColor = 0x203040;
    for (int i = 0; i < 8; i++)
        locSettings.myObjectColors[i] = 0x010101u * uint32_t(i + 1);
    locSettings.myAmbientColor = 0x404040;
    locSettings.myDirLightDirection = 1.0f;
    locSettings.myDirLightElevation = -0.5f;
    locSettings.myDirLightColor[0] = 1.0f;
    locSettings.myDirLightColor[1] = 17.0f / 255.0f;
    locSettings.myDirLightColor[2] = 254.0f / 255.0f;
    locSettings.myFogColor = 0x112233;
    locSettings.myFogStart = 33.5f;
    locSettings.myNearPlane = 0.25f;
    locSettings.myFarPlane = 1500.0f;
    locSettings.myMouseSens = 0.01f;
    locSettings.myGridEnable = false;
    locSettings.myGridSize = 2.5f;
    locSettings.myDefaultHaloSurface = "surfaces/halo2.sur";
    locSettings.myDefaultSurface = "surfaces/default.sur";
    locSettings.myCacheRendering = false;
    locSettings.myAutoCalcFarplane = false;
    locSettings.myDontResetCameraOnRefresh = true;
    for (int i = 0; i < 4; i++)
        locSettings.myLodDistances[i] = 10.5f * float(i + 1);
    ASSERT_TRUE(WriteSettingsFile(Path("pranvel.cfg").c_str(), locSettings));

    std::string locText = Read("pranvel.cfg");
    EXPECT_EQ(locText.rfind("workDir t:/data/\r\nstateFile states.txt\r\nbgColor 0x203040\r\n", 0), 0u);
    EXPECT_NE(locText.find("\r\nobjectColor7 0x80808\r\nambientColor 0x404040\r\ndirLightDirection 57.3\r\n"),
              std::string::npos);
    EXPECT_NE(locText.find("dirLightColor 0xff11fe\r\nfogColor 0x112233\r\nfogActive 1\r\nfogStart 33.500\r\n"),
              std::string::npos);
    EXPECT_NE(locText.find("lod4Distance 42.0\r\n"), std::string::npos);
    EXPECT_EQ(locText.substr(locText.size() - 19), "lod4Distance 42.0\r\n");

    PranvelSettings locRead;
    ASSERT_TRUE(ReadSettingsFile(Path("pranvel.cfg").c_str(), &locRead));
    EXPECT_EQ(locRead.myFoundKeys, (uint64_t(1) << SETTINGS_NUM_KEYS) - 1);
    EXPECT_STREQ(locRead.myWorkDir, "t:/data/");
    EXPECT_STREQ(locRead.myStateFile, "states.txt");
    EXPECT_EQ(locRead.myBgColor, 0x203040u);
    EXPECT_EQ(locRead.myObjectColors[5], 0x060606u);
    EXPECT_NEAR(locRead.myDirLightDirection, 1.0f, 0.001f);
    for (int i = 0; i < 3; i++)
        EXPECT_FLOAT_EQ(locRead.myDirLightColor[i], locSettings.myDirLightColor[i]);
    EXPECT_FLOAT_EQ(locRead.myFarPlane, 1500.0f);
    EXPECT_FALSE(locRead.myGridEnable);
    EXPECT_FALSE(locRead.myCacheRendering);
    EXPECT_FALSE(locRead.myAutoCalcFarplane);
    EXPECT_TRUE(locRead.myDontResetCameraOnRefresh);
    EXPECT_STREQ(locRead.myDefaultSurface, "surfaces/default.sur");
    EXPECT_FLOAT_EQ(locRead.myLodDistances[2], 31.5f);
    // What was read writes the same text again.
    EXPECT_EQ(FormatSettingsText(locRead), locText);
}

TEST(SettingsFile, TheDefaultsAreWrittenAsTheyAreRead)
{
    std::string locText = FormatSettingsText(PranvelSettings());
    for (const char* locLine : {"\r\ngridEnable 1\r\n", "\r\ncacheRendering 1\r\n", "\r\nautoCalcFarplane 1\r\n",
                                "\r\ndontResetCameraOnRefresh 0\r\n", "\r\nfogActive 1\r\n", "\r\nambientColor 0xffffff\r\n",
                                "\r\ndefaultSurface INTERNAL_SOLID\r\n", "\r\nlod1Distance 50.0\r\n"})
        EXPECT_NE(locText.find(locLine), std::string::npos) << locLine;
}

TEST_F(FilesTest, EveryLightColourByteSurvivesARoundTrip)
{
    for (uint32_t b = 0; b < 256; b++)
    {
        char locLine[64];
        snprintf(locLine, sizeof(locLine), "dirLightColor 0x%x", (b << 16) | ((255 - b) << 8) | b);
        std::string locText = FormatSettingsText(Parse(locLine));
        EXPECT_NE(locText.find(std::string(locLine) + "\r\n"), std::string::npos) << b;
    }
}

TEST_F(FilesTest, FailedReadsAndWritesAreReported)
{
    PranvelSettings locSettings;
    locSettings.myBgColor = 9;
    EXPECT_FALSE(ReadSettingsFile(Path("missing.cfg").c_str(), &locSettings));
    EXPECT_EQ(locSettings.myBgColor, 9u);
    EXPECT_FALSE(ReadSettingsFile(myDir.string().c_str(), &locSettings));
    EXPECT_FALSE(WriteSettingsFile(Path("no/such/folder/pranvel.cfg").c_str(), locSettings));
    // A failed write keeps the old file.
    Write("pranvel.cfg", "bgColor 1\r\n");
    fs::create_directories(myDir / "pranvel.cfg.dir");
    EXPECT_FALSE(WriteSettingsFile(Path("pranvel.cfg.dir").c_str(), locSettings));
    EXPECT_EQ(Read("pranvel.cfg"), "bgColor 1\r\n");
}

TEST_F(FilesTest, StateFileCodesAndNames)
{
    Write("states.txt", "STND Standing\r\n// comment\r\n\r\nWALK Walking slowly\r\nRUN5X Running\r\nAB Short\r\n"
                        "nameless\r\nIDLE   spaced\r\nABC Three\r\n");
    QC_GrowingArray<QC_String> locCodes, locNames;
    std::vector<int> locWrong;
    ASSERT_TRUE(ReadStateFile(Path("states.txt").c_str(), &locCodes, &locNames, &locWrong));
    ASSERT_EQ(locCodes.Count(), 6);
    ASSERT_EQ(locNames.Count(), 6);
    EXPECT_STREQ(locCodes[5], "ABC ");
    EXPECT_STREQ(locCodes[0], "STND");
    EXPECT_STREQ(locNames[0], "Standing");
    EXPECT_STREQ(locNames[1], "Walking slowly");
    // Too long: reported and kept; too short: reported and padded to four.
    EXPECT_STREQ(locCodes[2], "RUN5X");
    EXPECT_STREQ(locCodes[3], "AB  ");
    EXPECT_STREQ(locNames[3], "Short");
    EXPECT_STREQ(locNames[4], "  spaced");
    EXPECT_EQ(locWrong, (std::vector<int>{5, 6, 9}));
    EXPECT_EQ(locCodes.myGrowthStep, 10);

    // A second read starts from empty arrays; a missing file leaves them empty.
    EXPECT_FALSE(ReadStateFile(Path("none.txt").c_str(), &locCodes, &locNames, nullptr));
    EXPECT_EQ(locCodes.Count(), 0);
    EXPECT_EQ(locNames.Count(), 0);
}

TEST_F(FilesTest, PathsFileCountsAndRoundTrip)
{
    PathsFile locPaths;
    // Three directories after a count of 3 fill kinds 0 to 2.
    Write("pranvel_paths.txt", "3\r\nsurfaces\r\nt:/tex\r\n  pe dir \r\nextra\r\n");
    ASSERT_TRUE(locPaths.Load(Path("pranvel_paths.txt").c_str()));
    EXPECT_STREQ(locPaths.Get(0), "surfaces");
    EXPECT_STREQ(locPaths.Get(1), "t:/tex");
    EXPECT_STREQ(locPaths.Get(2), "  pe dir ");
    EXPECT_STREQ(locPaths.Get(3), "");
    // More than eight: eight read. Fewer lines than the count: the rest empty.
    Write("many.txt", "12\n0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n");
    ASSERT_TRUE(locPaths.Load(Path("many.txt").c_str()));
    EXPECT_STREQ(locPaths.Get(7), "7");
    Write("few.txt", "8\r\na\r\nb");
    ASSERT_TRUE(locPaths.Load(Path("few.txt").c_str()));
    EXPECT_STREQ(locPaths.Get(1), "b");
    EXPECT_STREQ(locPaths.Get(2), "");
    // Not there, empty, or a negative count: all empty.
    EXPECT_FALSE(locPaths.Load(Path("none.txt").c_str()));
    EXPECT_STREQ(locPaths.Get(0), "");
    Write("empty.txt", "");
    EXPECT_TRUE(locPaths.Load(Path("empty.txt").c_str()));
    Write("neg.txt", "-1\na\n");
    EXPECT_TRUE(locPaths.Load(Path("neg.txt").c_str()));
    EXPECT_STREQ(locPaths.Get(0), "");
    // An over-long entry is empty and the later kinds keep their places.
    Write("long.txt", "8\n" + std::string(300, 'd') + "\nsecond\n");
    ASSERT_TRUE(locPaths.Load(Path("long.txt").c_str()));
    EXPECT_STREQ(locPaths.Get(0), "");
    EXPECT_STREQ(locPaths.Get(1), "second");
    // 255 characters are still an entry.
    std::string locEdge(255, 'e');
    Write("edge.txt", "1\r\n" + locEdge + "\r\n");
    ASSERT_TRUE(locPaths.Load(Path("edge.txt").c_str()));
    EXPECT_STREQ(locPaths.Get(0), locEdge.c_str());

    PathsFile locOut;
    locOut.Set(0, "surfaces");
    locOut.Set(6, "X:/Data/models");
    locOut.Set(7, "bad\nname");
    locOut.Set(8, "ignored");
    locOut.Set(-1, "ignored");
    EXPECT_STREQ(locOut.Get(8), "");
    ASSERT_TRUE(locOut.Save(Path("out.txt").c_str()));
    EXPECT_EQ(Read("out.txt"), "8\r\nsurfaces\r\n\r\n\r\n\r\n\r\n\r\nX:/Data/models\r\nbad name\r\n");
    PathsFile locBack;
    ASSERT_TRUE(locBack.Load(Path("out.txt").c_str()));
    EXPECT_STREQ(locBack.Get(6), "X:/Data/models");
    EXPECT_STREQ(locBack.Get(1), "");
    EXPECT_STREQ(locBack.Get(-1), "");
    EXPECT_STREQ(locBack.Get(7), "bad name");
    EXPECT_FALSE(locOut.Save(Path("no/such/dir/x.txt").c_str()));
}
