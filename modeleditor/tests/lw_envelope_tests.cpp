// Envelope groups, motion files and the scene key check, on text written by
// our scene writer and on the scenes of assimp-testmodels.
#include <gtest/gtest.h>

#include <string.h>

#include "lw_test_util.h"
#include "modeleditor/lw_envelope.h"
#include "modeleditor/lw_keycheck.h"

namespace
{
typedef std::vector<std::vector<LWTextKey>> Channels;

LWTextKey locKey(float aValue, float aTime, int aShape = 3)
{
    LWTextKey locResult;
    locResult.myValue = aValue;
    locResult.myTime = aTime;
    locResult.myShape = aShape;
    return locResult;
}

// Reads one group from text through a file object over it.
float locRead(const std::string& aText, QR_SplinePath* aPath, int aNumChannels = -1)
{
    MemoryFile locFile(aText.data(), aText.size(), false);
    EditorError::Set(EDITOR_ERROR_NONE);
    return ReadEnvelope(aPath, locFile.myFile, 30.0f, aNumChannels);
}

float locReadGroup(const Channels& aChannels, QR_SplinePath* aPath, bool aChannelLines = true, int aPre = 1,
                   int aPost = 1)
{
    LWSceneText locText;
    locText.Envelope(aChannels, aChannelLines, aPre, aPost);
    return locRead(locText.GetText(), aPath, aChannelLines ? -1 : (int)aChannels.size());
}

Channels locMotion(float aScale = 1.0f)
{
    Channels locChannels(9, std::vector<LWTextKey>{locKey(0, 0)});
    locChannels[0] = {locKey(0, 0), locKey(1, 1), locKey(3, 2)};
    for (int c = 6; c < 9; c++)
        locChannels[c] = {locKey(aScale, 0)};
    return locChannels;
}

float locKeyTime(const QR_SplinePath& aPath, int aKey)
{
    return aPath.myKeys[aKey * aPath.myKeySizeInFloats];
}

TEST(LWEnvelope, MotionsWithUnitScaleBecomeSixChannelPaths)
{
    QR_SplinePath locPath;
    EXPECT_EQ(locReadGroup(locMotion(), &locPath), 2.0f);
    EXPECT_EQ(locPath.myNumChannels, 6u);
    EXPECT_EQ(locPath.myNumKeys, 3u);
    EXPECT_EQ(locKeyTime(locPath, 1), 0.5f);
    EXPECT_EQ(locKeyTime(locPath, 2), 1.0f);
    EXPECT_FALSE(locPath.myIsLooping);

    Channels locChanged = locMotion();
    locChanged[7] = {locKey(1, 0), locKey(2, 1), locKey(1, 2)};
    QR_SplinePath locScaled;
    EXPECT_EQ(locReadGroup(locChanged, &locScaled), 2.0f);
    EXPECT_EQ(locScaled.myNumChannels, 9u);

    Channels locDepth = locMotion();
    locDepth[8] = {locKey(0.5f, 0)};
    QR_SplinePath locDeep;
    EXPECT_EQ(locReadGroup(locDepth, &locDeep), 2.0f);
    EXPECT_EQ(locDeep.myNumChannels, 9u);

    // A constant scale other than 1 is kept.
    QR_SplinePath locConstant;
    EXPECT_EQ(locReadGroup(locMotion(0.98f), &locConstant), 2.0f);
    EXPECT_EQ(locConstant.myNumChannels, 9u);
    float locValues[16];
    locConstant.GetValue(0.5f, locValues);
    EXPECT_EQ(locValues[8], 0.98f);
}

TEST(LWEnvelope, SingleKeyChannelsAreConstantOverTheGroupsKeys)
{
    QR_SplinePath locPath;
    Channels locChannels = {{locKey(5, 0), locKey(6, 1), locKey(7, 2), locKey(8, 3)}, {locKey(9, 0)}};
    EXPECT_EQ(locReadGroup(locChannels, &locPath, false), 3.0f);
    EXPECT_EQ(locPath.myNumKeys, 4u);
    EXPECT_EQ(locPath.myKeyedMask, 1u);
    EXPECT_EQ(locPath.myConstants[0], 9.0f);

    // A first channel of one key followed by one of four: copied into all four.
    QR_SplinePath locCopied;
    Channels locLater = {{locKey(9, 0)}, {locKey(5, 0), locKey(6, 1), locKey(7, 2), locKey(8, 4)}};
    EXPECT_EQ(locReadGroup(locLater, &locCopied, false), 4.0f);
    EXPECT_EQ(locCopied.myNumKeys, 4u);
    EXPECT_EQ(locKeyTime(locCopied, 2), 0.5f);
    EXPECT_EQ(locCopied.myConstants[0], 9.0f);

    QR_SplinePath locMismatch;
    Channels locCounts = {{locKey(0, 0), locKey(1, 1), locKey(2, 2)},
                          {locKey(0, 0), locKey(1, 1), locKey(2, 2), locKey(3, 3)}};
    EXPECT_EQ(locReadGroup(locCounts, &locMismatch), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_KEY_COUNT);
    EXPECT_STREQ(EditorError::GetDetail(), "channel: Y, expected # keys: 3, has 4 keys.");
}

TEST(LWEnvelope, KeyTimesAndTheirOrder)
{
    QR_SplinePath locPath;
    EXPECT_EQ(locReadGroup({{locKey(0, 0), locKey(1, 10), locKey(2, 20)}}, &locPath, false), 20.0f);
    EXPECT_EQ(locKeyTime(locPath, 1), 0.5f);

    EXPECT_EQ(locReadGroup({{locKey(0, 0), locKey(1, 20), locKey(2, 10)}}, &locPath, false), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_KEY_ORDER);
    EXPECT_EQ(GetEditorErrorText(), nullptr);
    EXPECT_STREQ(EditorError::GetDetail(), "channel: X, key: 2");

    EXPECT_EQ(locReadGroup({{locKey(0, -3), locKey(1, 0), locKey(2, 1)}}, &locPath, false), 1.0f);
    EXPECT_EQ(locReadGroup({{locKey(0, 5), locKey(1, 10), locKey(2, 20)}}, &locPath, false), 20.0f);
    EXPECT_EQ(locKeyTime(locPath, 0), 0.25f);
    EXPECT_EQ(locReadGroup({{locKey(1, 0), locKey(2, 0)}}, &locPath, false), 0.0f);
    EXPECT_EQ(locPath.myNumKeys, 1u);
    EXPECT_EQ(locPath.myConstants[0], 2.0f);

    // Keys that all sit at time 0: the last one stands.
    EXPECT_EQ(locReadGroup({{locKey(1, 0), locKey(2, 0), locKey(7, -1)}}, &locPath, false), 0.0f);
    EXPECT_EQ(locPath.myNumKeys, 1u);
    EXPECT_EQ(locPath.myConstants[0], 7.0f);

    Channels locTimes = {{locKey(0, 0), locKey(1, 1)}, {locKey(0, 0), locKey(1, 2)}};
    EXPECT_EQ(locReadGroup(locTimes, &locPath), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_KEY_TIME);
    EXPECT_STREQ(EditorError::GetDetail(), "channel: Y, key: 1");

    Channels locShapes = {{locKey(0, 0), locKey(1, 1)}, {locKey(0, 0), locKey(1, 1, 2)}};
    EXPECT_EQ(locReadGroup(locShapes, &locPath), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_KEY_SHAPE);
}

TEST(LWEnvelope, BehavioursSetTheLoopOfKeyedPathsOnly)
{
    QR_SplinePath locPath;
    Channels locTwo = {{locKey(0, 0), locKey(1, 1)}};
    locReadGroup(locTwo, &locPath, false, 1, 2);
    EXPECT_TRUE(locPath.myIsLooping);
    locReadGroup(locTwo, &locPath, false, 2, 1);
    EXPECT_FALSE(locPath.myIsLooping);
    EXPECT_EQ(locReadGroup({{locKey(4, 0.5f)}}, &locPath, false, 1, 2), 0.5f);
    EXPECT_FALSE(locPath.myIsLooping);
}

TEST(LWEnvelope, MalformedGroupsAreRefused)
{
    struct Case
    {
        const char* myText;
        uint32_t myCode;
    };
    const Case locCases[] = {
        {"NumChannels 0\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 10\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"Channels 1\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 1\r\nChannel 1\r\n", EDITOR_ERROR_SPLINE_CHANNEL_MISSING},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  0\r\n", EDITOR_ERROR_SPLINE_FEW_KEYS},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  2000000000\r\nKey 0 0 0 0 0 0 0 0\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 1\r\nChannel 0\r\n{ envelope\r\n  1\r\nkey nan 0 0 0 0 0 0 0\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  1\r\nKey 1 inf 0 0 0 0 0 0\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  1\r\nKey 1 0 0 0 0\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  1\r\nKey 1 0 0 0 0 0 nan 0\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  1\r\nKey 1 0 5 0 0 0 0 0\r\n", EDITOR_ERROR_SPLINE_TYPE},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  1\r\nKey 1 0 0 0 0.5 0 0 0\r\n", EDITOR_ERROR_SPLINE_CONTINUITY},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  1\r\nKey 1 0 0 0 0 0 0 0\r\nBehaviors 1\r\n}\r\n",
         EDITOR_ERROR_SPLINE_SYNTAX},
        {"NumChannels 1\r\nChannel 0\r\n{ Envelope\r\n  1\r\nKey 1 0 0 0 0 0 0 0\r\nBehaviors 1 1\r\n", EDITOR_ERROR_SPLINE_SYNTAX},
    };
    for (const Case& locCase : locCases)
    {
        QR_SplinePath locPath;
        EXPECT_EQ(locRead(locCase.myText, &locPath), -1.0f) << locCase.myText;
        EXPECT_EQ(EditorError::Get(), locCase.myCode) << locCase.myText;
    }
    // Keywords ignore case and lone LF line ends are read.
    QR_SplinePath locPath;
    EXPECT_EQ(locRead("numchannels 1\nCHANNEL 0\n{ ENVELOPE\n 1\nKEY 2.5 0.25 3 0 0 0 0 0 0\nbehaviors 1 2\n}\n", &locPath),
              0.25f);
    EXPECT_EQ(locPath.myConstants[0], 2.5f);

    // Stepped keys are played; the seventh number of a key line is its tangent.
    LWTextKey locFirst = locKey(0, 0, 4), locSecond = locKey(1, 1, 4);
    EXPECT_EQ(locReadGroup({{locFirst, locSecond}}, &locPath, false), 1.0f);
    LWTextKey locCurved = locKey(0, 0, 1);
    locCurved.myParameters[3] = 0.5f;
    locCurved.myParameters[4] = 9.0f;
    EXPECT_EQ(locReadGroup({{locCurved, locKey(1, 1, 1)}}, &locPath, false), 1.0f);
    ASSERT_EQ(locPath.myNumTangents, 1u);
    EXPECT_EQ(locPath.myKeys[3], 0.5f);
}

TEST(LWEnvelope, MotionFiles)
{
    QR_SplinePath locPath;
    EXPECT_EQ(LoadMotionFile(TestPath("absent.mot").c_str(), &locPath, 30), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_NOT_FOUND);
    EXPECT_EQ(EditorError::GetDetail(), "File: '" + TestPath("absent.mot") + "'");

    LWSceneText locBad;
    locBad.Line("LWSC").Line("3");
    ASSERT_TRUE(locBad.Save(TestPath("bad.mot").c_str()));
    EXPECT_EQ(LoadMotionFile(TestPath("bad.mot").c_str(), &locPath, 30), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_INVALID);
    EXPECT_EQ(EditorError::GetDetail(), "File: '" + TestPath("bad.mot") + "'");

    LWSceneText locOld;
    locOld.Line("LWMO").Line("2");
    ASSERT_TRUE(locOld.Save(TestPath("old.mot").c_str()));
    EXPECT_EQ(LoadMotionFile(TestPath("old.mot").c_str(), &locPath, 30), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_VERSION);

    LWSceneText locGood;
    locGood.MotionHeader().Envelope(locMotion(), true);
    ASSERT_TRUE(locGood.Save(TestPath("good.mot").c_str()));
    EXPECT_EQ(LoadMotionFile(TestPath("good.mot").c_str(), &locPath, 30), 2.0f);
    EXPECT_EQ(locPath.myNumChannels, 6u);
}

// Reads the envelope group after the first line starting with aKeyword.
float locReadSceneGroup(const std::string& aScene, const char* aKeyword, QR_SplinePath* aPath)
{
    QF_File locFile;
    if (!locFile.Open(aScene.c_str(), QF_READ))
        return -2.0f;
    char locLine[256];
    do
        locFile.ReadLine(locLine, sizeof(locLine));
    while (locLine[0] && strncmp(locLine, aKeyword, strlen(aKeyword)) != 0);
    float locResult = ReadEnvelope(aPath, locFile, 30, -1);
    locFile.Close();
    return locResult;
}

TEST(LWEnvelope, AssimpScenes)
{
    std::string locScenes = std::string(Q_ASSIMP_MODELS) + "/LWS/";
    QR_SplinePath locPath;
    float locLength = locReadSceneGroup(locScenes + "move_x_oldformat_6.lws", "ObjectMotion", &locPath);
    if (locLength == -2.0f)
        GTEST_SKIP() << "assimp-testmodels is not installed";
    EXPECT_NEAR(locLength, 1.3333333f, 1e-6);
    ASSERT_EQ(locPath.myNumKeys, 3u);
    EXPECT_EQ(locKeyTime(locPath, 0), 0.0f);
    EXPECT_NEAR(locKeyTime(locPath, 1), 0.5f, 1e-6);
    EXPECT_EQ(locKeyTime(locPath, 2), 1.0f);
    EXPECT_EQ(locPath.myNumChannels, 9u); // the constant scale of 0.98 stays

    EXPECT_EQ(locReadSceneGroup(locScenes + "move_xz_bezier.lws", "ObjectMotion", &locPath), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_TYPE);
    // X and Z keyed at different times.
    EXPECT_EQ(locReadSceneGroup(locScenes + "move_xz_linear.lws", "ObjectMotion", &locPath), -1.0f);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_SPLINE_KEY_TIME);
    EXPECT_STREQ(EditorError::GetDetail(), "channel: Z, key: 1");
    EXPECT_GT(locReadSceneGroup(locScenes + "move_x_post_repeat.lws", "ObjectMotion", &locPath), 0.0f);
    EXPECT_TRUE(locPath.myIsLooping);
}

std::vector<std::string> locCheck(const std::string& aPath)
{
    std::vector<std::string> locLines;
    CheckLwsKeys(aPath.c_str(), [&](const char* aLine) { locLines.push_back(aLine); });
    return locLines;
}

TEST(LWKeyCheck, KeysMissingFromTheFirstKeyedChannel)
{
    Channels locChannels(9, std::vector<LWTextKey>{locKey(0, 0)});
    locChannels[0] = {locKey(0, 0), locKey(1, 1), locKey(2, 2)};
    locChannels[3] = {locKey(0, 0), locKey(1, 2)};
    LWSceneText locScene;
    locScene.SceneHeader().Line("LoadObjectLayer 1 crate.lwo").Line("ObjectMotion").Envelope(locChannels, true);
    for (const char* locChannel : {"Channel 9", "Channel -1"}) // not motion channels: ignored
        locScene.Line(locChannel).Line("{ Envelope").Line("  2").Line("Key 0 0 0").Line("Key 0 5 0");
    ASSERT_TRUE(locScene.Save(TestPath("check.lws").c_str()));
    EXPECT_EQ(locCheck(TestPath("check.lws")),
              std::vector<std::string>{
                  "Obj: 1 crate.lwo, channel: X, key: 2 (time: 1.000, frame: 20) doesn't exist in channel H"});

    LWSceneText locFast;
    locFast.SceneHeader().Line("FramesPerSecond 30").Line("LoadObjectLayer 1 crate.lwo").Line("ObjectMotion");
    locFast.Envelope(locChannels, true);
    ASSERT_TRUE(locFast.Save(TestPath("fast.lws").c_str()));
    ASSERT_EQ(locCheck(TestPath("fast.lws")).size(), 1u);
    EXPECT_NE(locCheck(TestPath("fast.lws"))[0].find("frame: 30)"), std::string::npos);

    EXPECT_TRUE(locCheck(TestPath("absent.lws")).empty());
}

TEST(LWKeyCheck, RecordsInFileOrderAndTheirLinesGrouped)
{
    Channels locGood(9, std::vector<LWTextKey>{locKey(0, 0)});
    locGood[4] = {locKey(0, 0), locKey(1, 1)};
    Channels locBad(9, std::vector<LWTextKey>{locKey(0, 0)});
    locBad[1] = {locKey(0, 0), locKey(1, 1)};
    locBad[2] = {locKey(0, 0.5f), locKey(1, 1)};
    locBad[8] = {locKey(0, 0), locKey(1, 1), locKey(2, 3)};
    LWSceneText locScene;
    locScene.SceneHeader();
    locScene.Line("Channel 0").Line("{ Envelope").Line("  1").Line("  Key 0 0 0 0 0 0 0 0 0"); // before any item
    locScene.Line("BoneName Spine").Line("BoneMotion").Envelope(locGood, true);
    locScene.Line("LightName Sun").Line("LightMotion").Envelope(locBad, true);
    locScene.Line("CameraName Eye").Line("CameraMotion").Envelope(locBad, true);
    ASSERT_TRUE(locScene.Save(TestPath("records.lws").c_str()));
    std::vector<std::string> locLines = locCheck(TestPath("records.lws"));
    ASSERT_EQ(locLines.size(), 6u);
    EXPECT_EQ(locLines[0], "Obj: Sun, channel: Y, key: 1 (time: 0.000, frame: 0) doesn't exist in channel Z");
    EXPECT_EQ(locLines[1], "Obj: Sun, channel: Z, key: 1 (time: 0.500, frame: 10) doesn't exist in channel Y");
    EXPECT_EQ(locLines[2], "Obj: Sun, channel: sZ, key: 3 (time: 3.000, frame: 60) doesn't exist in channel Y");
    EXPECT_EQ(locLines[3].substr(0, 23), "Obj: Eye, channel: Y, k");

    // Short key lines are skipped and a count beyond the text stops at its end.
    LWSceneText locShort;
    locShort.Line("LoadObjectLayer 1 a.lwo").Line("Channel 0").Line("{ Envelope").Line("  2000000000");
    locShort.Line("Key").Line("Key 0 0 0").Line("Key 0 2 0").Line("Channel 1").Line("{ Envelope").Line("  2");
    locShort.Line("Key 0 0 0").Line("Key 0 1 0");
    ASSERT_TRUE(locShort.Save(TestPath("short.lws").c_str()));
    EXPECT_TRUE(locCheck(TestPath("short.lws")).empty()); // the Channel 1 lines were read as keys of X
}

TEST(LWKeyCheck, AssimpScene)
{
    std::vector<std::string> locLines = locCheck(std::string(Q_ASSIMP_MODELS) + "/LWS/move_xz_bezier.lws");
    if (locLines.empty())
        GTEST_SKIP() << "assimp-testmodels is not installed";
    const char* locName = "Obj: 1 10000000 simple_cube.lwo, ";
    ASSERT_GE(locLines.size(), 4u);
    EXPECT_EQ(locLines[0], std::string(locName) + "channel: X, key: 2 (time: 0.667, frame: 20) doesn't exist in channel Z");
    EXPECT_EQ(locLines[1], std::string(locName) + "channel: Z, key: 2 (time: 1.333, frame: 40) doesn't exist in channel X");
    EXPECT_EQ(locLines[2], std::string(locName) + "channel: X, key: 3 (time: 2.000, frame: 60) doesn't exist in channel Z");
    EXPECT_EQ(locLines[3], std::string(locName) + "channel: Z, key: 3 (time: 2.967, frame: 89) doesn't exist in channel X");
}
} // namespace
