// The scene reader on scenes written by our scene writer beside writer-made
// objects, and on a scene of assimp-testmodels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "lw_test_util.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/lw_scene.h"

namespace
{
// A two-triangle layer named "body" with a weight map "Weight".
void locWriteObject(const std::string& aPath, float aSize = 1.0f)
{
    LWO2Writer w;
    WriteWeightedLayer(w, aSize);
    ASSERT_TRUE(w.Save(aPath.c_str()));
}

// Reads aText saved as a scene; the caches are cleared by the fixture.
class SceneTest : public ::testing::Test
{
protected:
    void TearDown() override { LWCache::Clear(); }

    bool Read(const LWSceneText& aText, const char* aName = "scene.lws")
    {
        myPath = TestPath(aName);
        EXPECT_TRUE(aText.Save(myPath.c_str()));
        EditorError::Set(EDITOR_ERROR_NONE);
        return ReadLWScene(myPath.c_str(), &myScene);
    }
    bool ReadLines(const std::vector<std::string>& aLines)
    {
        LWSceneText t;
        t.SceneHeader();
        for (const std::string& l : aLines)
            t.Line(l);
        return Read(t);
    }

    std::string myPath;
    LWScene myScene;
};

std::vector<std::vector<LWTextKey>> locMotion(float aLastTime)
{
    std::vector<std::vector<LWTextKey>> locChannels(9);
    for (std::vector<LWTextKey>& c : locChannels)
    {
        LWTextKey a, b;
        b.myTime = aLastTime;
        c = {a, b};
    }
    for (int c = 6; c < 9; c++)
        for (LWTextKey& k : locChannels[c])
            k.myValue = 1;
    return locChannels;
}

TEST_F(SceneTest, HeaderAndOpenFailures)
{
    EXPECT_FALSE(ReadLWScene(TestPath("no_such_scene.lws").c_str(), &myScene));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_FILE_NOT_FOUND);
    EXPECT_NE(strstr(EditorError::GetDetail(), "no_such_scene.lws"), nullptr);

    LWSceneText t;
    t.Line("lwsc").Line("3   ").Line("AddNullObject A");
    EXPECT_TRUE(Read(t));
    ASSERT_EQ(myScene.myItems.size(), 1u);

    for (const char* locVersion : {"2", "5", ""})
    {
        LWSceneText v;
        v.Line("LWSC").Line(locVersion).Line("AddNullObject A");
        EXPECT_FALSE(Read(v)) << locVersion;
        EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_INVALID_SCENE);
    }
}

TEST_F(SceneTest, NullsEmittersAndCommits)
{
    ASSERT_TRUE(ReadLines({"FramesPerSecond 0", "AddNullObject Null", "AddNullObject Null", "AddNullObject null",
                           "ADDNULLOBJECT pe_Smoke", "ParentItem 10000001", "AddLight", "LightName Lamp",
                           "AddLight", "LightName Kept", "LightIntensity 0.5", "LightColor 1 0.5 0",
                           "ParentItem 10000000", "AddNullObject Rock9", "AddNullObject Rock9"}));
    EXPECT_EQ(myScene.myFramesPerSecond, 25);
    ASSERT_EQ(myScene.myItems.size(), 6u);
    const char* locNames[] = {"Null", "Null1", "null2", "pe_Smoke", "Rock9", "Rock10"};
    for (size_t i = 0; i < 6; i++)
        EXPECT_STREQ(myScene.myItems[i]->myName, locNames[i]);
    const LWSItem& e = *myScene.myItems[3];
    EXPECT_TRUE(e.IsEmitter());
    EXPECT_EQ(e.myIndex, 0x10000000);
    EXPECT_STREQ(e.myEmitterName, "Smoke");
    EXPECT_EQ(e.myParent, myScene.myItems[1].get());
    EXPECT_EQ(myScene.myItems[4]->myIndex, 3);
    // The light without a parent is dropped; the last one is kept at the end.
    ASSERT_EQ(myScene.myLights.size(), 1u);
    const LWSLight& l = *myScene.myLights[0];
    EXPECT_STREQ(l.myName, "Kept");
    EXPECT_STREQ(l.myParentName, "Null");
    EXPECT_FLOAT_EQ(l.myColour[0], 0.5f);
    EXPECT_FLOAT_EQ(l.myColour[1], 0.25f);
    EXPECT_EQ(myScene.myLongestLength, 1.0f);
}

TEST_F(SceneTest, IndicesFromTheFileAreChecked)
{
    struct Case
    {
        std::vector<std::string> myLines;
        const char* myNamed;
    };
    const Case locCases[] = {
        {{"AddNullObject A", "ParentItem 10000005"}, "A"},
        {{"AddNullObject A", "ParentItem 10000000"}, "A"},
        {{"AddNullObject A", "ParentItem 10000001", "AddNullObject B", "ParentItem 10000000"}, "A"},
        {{"AddNullObject A", "AddNullObject B", "ParentItem 40030000"}, "B"},
        {{"AddNullObject A", "AddBone", "BoneName Root", "AddBone", "BoneName Tip", "ParentItem 40050000"}, "Tip"},
        {{"AddNullObject A", "AddBone", "BoneName Root", "ParentItem 40010000", "AddBone", "BoneName Tip",
          "ParentItem 40000000"},
         "Root"},
        {{"AddNullObject A", "AddLight", "LightName L", "ParentItem 10000004"}, "L"},
        {{"AddNullObject A", "AddLight", "LightName L", "ParentItem 40020000"}, "L"},
        {{"AddNullObject A", "ParentItem 20000000"}, "ParentItem"},
    };
    for (const Case& c : locCases)
    {
        EXPECT_FALSE(ReadLines(c.myLines)) << c.myNamed;
        EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_INVALID_SCENE) << c.myNamed;
        EXPECT_NE(strstr(EditorError::GetDetail(), c.myNamed), nullptr) << EditorError::GetDetail();
    }
}

TEST_F(SceneTest, LayersLevelsBonesAndTiming)
{
    const std::string locBox = TestPath("box.lwo");
    locWriteObject(locBox);
    locWriteObject(TestPath("box_LOD2.lwo"), 0.5f);
    locWriteObject(TestPath("box_LOD3.lwo"), 0.25f);
    ::unlink(TestPath("box_LOD4.lwo").c_str());
    LWSceneText t;
    t.SceneHeader()
        .Line("PreviewFirstFrame 0")
        .Line("PreviewLastFrame 60")
        .Line("FramesPerSecond 30")
        .Line("LoadObjectLayer 1 " + locBox)
        .Line("PivotPosition 1 2 3")
        .Line("ObjectMotion")
        .Envelope(locMotion(2.0f), true)
        .Line("AddBone")
        .Line("BoneName Root")
        .Line("ShowBone 1 3")
        .Line("BoneRestPosition 0 1 0")
        .Line("BoneRestLength 0.75")
        .Line("BoneWeightMapName Weight")
        .Line("ParentItem 10000000")
        .Line("BoneMotion")
        .Envelope(locMotion(1.0f), true)
        .Line("AddBone")
        .Line("BoneName Tip")
        .Line("BoneWeightMapName Missing")
        .Line("ParentItem 40000000")
        .Line("AddNullObject Child")
        .Line("ParentItem 40010000");
    ASSERT_TRUE(Read(t));
    ASSERT_EQ(myScene.myItems.size(), 2u);
    const LWSItem& i = *myScene.myItems[0];
    EXPECT_STREQ(i.myName, "box_1_body");
    EXPECT_EQ(i.myLayerIndex, 0);
    ASSERT_NE(i.myLevels[0], nullptr);
    EXPECT_NE(i.myLevels[1], nullptr);
    EXPECT_NE(i.myLevels[2], nullptr);
    EXPECT_EQ(i.myLevels[3], nullptr);
    EXPECT_EQ(i.myFailedLevel, -1);
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_NONE);
    EXPECT_FLOAT_EQ(i.myPivot.z, 3.0f);

    ASSERT_EQ(i.myBones.size(), 2u);
    const LWSBone& r = *i.myBones[0];
    const LWSBone& b = *i.myBones[1];
    EXPECT_EQ(i.myRootBone, &r);
    EXPECT_EQ(b.myParent, &r);
    EXPECT_EQ(b.myNumber, 1);
    ASSERT_EQ(r.myChildren.size(), 1u);
    EXPECT_EQ(r.myColourIndex, 2);
    EXPECT_EQ(LWBoneColour(r.myColourIndex), 0xff0000ffu);
    EXPECT_EQ(LWBoneColour(-1), 0xffffffffu);
    // The bind pose: the inverse of the world rest matrix.
    EXPECT_FLOAT_EQ(r.myRestMatrix[13], -1.0f);
    EXPECT_FLOAT_EQ(r.myRestLength, 0.75f);
    ASSERT_NE(r.myWeightMap, nullptr);
    EXPECT_STREQ(r.myWeightMap->myName, "Weight");
    EXPECT_EQ(b.myWeightMap, nullptr);

    const LWSItem& c = *myScene.myItems[1];
    EXPECT_EQ(c.myParent, &i);
    EXPECT_EQ(c.myParentBone, 1);

    // 60 frames at 30 fps over the longest 2 s: the item's path runs at 0.5,
    // the bone's 1 s path twice as fast.
    EXPECT_FLOAT_EQ(myScene.myLongestLength, 2.0f);
    ASSERT_NE(i.myMotion, nullptr);
    EXPECT_FLOAT_EQ(i.myMotion->myRate, 0.5f);
    EXPECT_FLOAT_EQ(r.myMotion->myRate, 1.0f);
}

// Items that load the same layer share one conversion of it, levels of
// detail included; names stay unique however many items share one.
TEST_F(SceneTest, ItemsSharingAnObjectConvertEachLayerOnce)
{
    const std::string locShared = TestPath("shared.lwo");
    locWriteObject(locShared);
    locWriteObject(TestPath("shared_LOD2.lwo"), 0.5f);
    ::unlink(TestPath("shared_LOD3.lwo").c_str());
    const std::string locOther = TestPath("other.lwo");
    locWriteObject(locOther, 2.0f);
    LWSceneText t;
    t.SceneHeader();
    for (int i = 0; i < 40; i++)
    {
        t.Line("LoadObjectLayer 1 " + (i % 4 == 3 ? locOther : locShared));
        t.Line("AddNullObject Null");
    }
    ASSERT_TRUE(Read(t)) << EditorError::GetDetail();
    // shared.lwo, its second level and other.lwo: three layers, three conversions.
    EXPECT_EQ(LWCache::ourMeshes.size(), 3u);
    ASSERT_EQ(myScene.myItems.size(), 80u);
    const LWSItem& locFirst = *myScene.myItems[0];
    const LWSItem& locLater = *myScene.myItems[2 * 37];
    EXPECT_EQ(locFirst.myLevels[0], locLater.myLevels[0]);
    EXPECT_EQ(locFirst.myLevels[1], locLater.myLevels[1]);
    EXPECT_NE(locFirst.myLevels[0], myScene.myItems[2 * 3]->myLevels[0]);
    EXPECT_EQ(myScene.myItems[1]->myName, "Null");
    EXPECT_EQ(myScene.myItems[79]->myName, "Null39");
    EXPECT_EQ(myScene.myItems[2]->myName, "shared_1_body1");

    // A long run of digits counts from its last nine.
    ASSERT_TRUE(ReadLines({"AddNullObject N12345678901", "AddNullObject N12345678901", "AddNullObject n345678902",
                           "AddNullObject N7"}));
    ASSERT_EQ(myScene.myItems.size(), 4u);
    EXPECT_EQ(myScene.myItems[1]->myName, "N345678902");
    EXPECT_EQ(myScene.myItems[2]->myName, "n345678903");
    EXPECT_EQ(myScene.myItems[3]->myName, "N7");
    ASSERT_TRUE(ReadLines({"AddNullObject N1234567890", "AddNullObject N1234567890", "AddNullObject Null55",
                           "AddNullObject Null55", "AddNullObject 42", "AddNullObject 42"}));
    ASSERT_EQ(myScene.myItems.size(), 6u);
    EXPECT_EQ(myScene.myItems[1]->myName, "N234567891");
    EXPECT_EQ(myScene.myItems[3]->myName, "Null56");
    EXPECT_EQ(myScene.myItems[5]->myName, "43");
    // Numbers free below or above those known taken are still found.
    ASSERT_TRUE(ReadLines({"AddNullObject Null5", "AddNullObject Null5", "AddNullObject Null5", "AddNullObject Null2",
                           "AddNullObject Null2", "AddNullObject Null9", "AddNullObject Null9"}));
    std::vector<std::string> locNames;
    for (const std::unique_ptr<LWSItem>& i : myScene.myItems)
        locNames.push_back(i->myName.GetBuffer());
    EXPECT_EQ(locNames, (std::vector<std::string>{"Null5", "Null6", "Null7", "Null2", "Null3", "Null9", "Null10"}));
}

TEST_F(SceneTest, FailedLevelAndBadEnvelope)
{
    const std::string locBox = TestPath("lone.lwo");
    locWriteObject(locBox);
    FILE* f = fopen(TestPath("lone_LOD2.lwo").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("not an object", f);
    fclose(f);
    ASSERT_TRUE(ReadLines({"LoadObjectLayer 1 " + locBox, "AddLight", "ParentItem 10000000", "LightColor (envelope)",
                           "{ Envelope", "1", "Key 0.5 0 0 0 0 0 0 0 0", "Behaviors 1 1", "}", "{ Envelope", "1",
                           "Key 0.25 0 0 0 0 0 0 0 0", "Behaviors 1 1", "}", "{ Envelope", "1",
                           "Key 1 0 0 0 0 0 0 0 0", "Behaviors 1 1", "}"}));
    const LWSItem& i = *myScene.myItems[0];
    EXPECT_EQ(i.myLevels[1], nullptr);
    EXPECT_EQ(i.myFailedLevel, 1);
    ASSERT_EQ(myScene.myLights.size(), 1u);
    EXPECT_FLOAT_EQ(myScene.myLights[0]->myColour[1], 0.25f);

    EXPECT_FALSE(ReadLines({"AddNullObject Mover", "ObjectMotion", "NumChannels 1", "Channel 0", "{ Envelope", "x"}));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_SPLINE_SYNTAX);
    EXPECT_NE(strstr(EditorError::GetDetail(), "joint: Mover"), nullptr);
    EXPECT_FALSE(ReadLines({"LoadObjectLayer 1 " + TestPath("absent.lwo")}));
    EXPECT_NE(EditorError::Get(), (uint32_t)EDITOR_ERROR_NONE);
}

#ifdef Q_ASSIMP_MODELS
// Runs in the models' folder: the scenes name their objects relative to it.
class RealSceneTest : public SceneTest
{
protected:
    void SetUp() override
    {
        myOld = getcwd(nullptr, 0);
        if (chdir(Q_ASSIMP_MODELS "/LWS") != 0)
            GTEST_SKIP() << "assimp-testmodels is not installed";
    }
    void TearDown() override
    {
        if (myOld && chdir(myOld) != 0)
            ADD_FAILURE();
        free(myOld);
        SceneTest::TearDown();
    }
    char* myOld = nullptr;
};

TEST_F(RealSceneTest, MoveX)
{
    ASSERT_TRUE(ReadLWScene("move_x_oldformat_6.lws", &myScene)) << EditorError::GetDetail();
    ASSERT_EQ(myScene.myItems.size(), 1u);
    const LWSItem& i = *myScene.myItems[0];
    EXPECT_STREQ(i.myName, "simple_cube_1_");
    ASSERT_NE(i.myLevels[0], nullptr);
    ASSERT_EQ(i.myLevels[0]->myBatches.size(), 1u);
    EXPECT_EQ(i.myLevels[0]->myBatches[0].GetNumTriangles(), 12u);
    ASSERT_NE(i.myMotion, nullptr);
    EXPECT_EQ(i.myMotion->myNumChannels, 9u);
    EXPECT_FLOAT_EQ(i.myMotion->myRate, 0.5f);
    EXPECT_TRUE(myScene.myLights.empty());

    // Cut at many points: loads less or fails, never more items.
    FILE* f = fopen("move_x_oldformat_6.lws", "rb");
    ASSERT_NE(f, nullptr);
    std::string locText(1 << 16, '\0');
    locText.resize(fread(&locText[0], 1, locText.size(), f));
    fclose(f);
    for (size_t locCut = 0; locCut < locText.size(); locCut += 37)
    {
        LWSceneText t;
        t.Line(locText.substr(0, locCut));
        const std::string locPath = TestPath("cut.lws");
        ASSERT_TRUE(t.Save(locPath.c_str()));
        LWScene locCutScene;
        if (ReadLWScene(locPath.c_str(), &locCutScene))
        {
            EXPECT_LE(locCutScene.myItems.size(), 1u);
        }
        LWCache::Clear();
    }

    for (const char* locOther : {"move_x.lws", "move_x_oldformat_56.lws"})
    {
        EXPECT_FALSE(ReadLWScene(locOther, &myScene)) << locOther;
        EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_INVALID_SCENE) << locOther;
    }
}
#endif
} // namespace
