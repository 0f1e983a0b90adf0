// LightWave data built into templates: mesh layouts and levels from layers
// made in memory, parts, states, links, lights and merges from writer-made
// objects and scenes, the editor scene's open operations, and a scene of
// assimp-testmodels. Runs on whichever back end the build links.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "lw_test_util.h"
#include "modeleditor/editorerror.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/lw_scene.h"
#include "modeleditor/lw_writer.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "platform/input/in_script.h"
#include "platform/os/os_ui.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertex.h"
#include "qrender/tests/qr_sample_models.h"

namespace
{
int locQuietBox(const char*, const char*, int)
{
    return OS_ID_OK;
}

// The editor scene (and with it the renderer) in a folder holding the
// renderer's sample files, so "fx/sparks" and the surfaces exist.
class LWBuild : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/lwbuild";
        std::filesystem::remove_all(myDir);
        std::filesystem::create_directories(myDir);
        ASSERT_TRUE(QRT_WriteSampleFolder(myDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        myOldHook = OS_SetMessageBoxHook(locQuietBox);
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
        EditorError::Set(EDITOR_ERROR_NONE);
    }
    void TearDown() override
    {
        LWCache::Clear();
        QRenderEditor::Destroy();
        QR_TemplateObject::DestroyAll();
        QR_Mesh::DestroyAll();
        myScript.reset();
        OS_SetMessageBoxHook(myOldHook);
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        EXPECT_EQ(chdir(myOldDir), 0);
    }

    QR_Mesh* Fill(LWSItem& anItem, uint32_t aBatch, bool aSkinned, const char* aName = "m")
    {
        QR_Mesh* m = QR_Mesh::Create(aName);
        myResult = FillLWMesh(m, &anItem, aBatch, aSkinned, mySettings);
        return m;
    }

    QRenderEditor* e = nullptr;
    LWBuildSettings mySettings;
    bool myResult = false;
    std::string myDir;
    std::unique_ptr<IN_Script> myScript;
    OS_MessageBoxHook myOldHook = nullptr;
    char myOldDir[4096];
};

// A batch of n vertices at (k, 0, 0) and the triangles (k, k+1, k+2).
LWMeshBatch locStrip(uint32_t n, int aUVSets = 0, bool aColours = false)
{
    LWMeshBatch b;
    b.myNumUVSets = aUVSets;
    b.myHasVertexColours = aColours;
    for (uint32_t k = 0; k < n; k++)
    {
        LWMeshVertex v = {};
        v.myPosition[0] = (float)k;
        v.myNormal[1] = 1;
        v.myUV0[0] = 0.25f;
        v.myUV1[0] = 0.5f;
        v.myColour = 0xFF102030;
        b.myVertices.push_back(v);
    }
    for (uint32_t k = 0; k + 2 < n; k++)
        b.myTriangles.insert(b.myTriangles.end(), {k, k + 1, k + 2});
    return b;
}

template <class T> T locAt(const QR_Mesh* m, uint32_t aVertex, uint32_t anOffset)
{
    T v;
    memcpy(&v, m->myVertexData + (size_t)aVertex * m->myVertexSize + anOffset, sizeof(v));
    return v;
}

TEST_F(LWBuild, StaticFormatsOffsetsAndThePivotShift)
{
    struct Case
    {
        int myUVs;
        bool myColours;
        uint32_t myFormat, mySize;
    };
    const Case locCases[] = {{0, false, 0x9, 24},  {0, true, 0x19, 28}, {1, false, 0x49, 32},
                             {1, true, 0x59, 36},  {2, false, 0x89, 40}, {3, true, 0x99, 44}};
    int n = 0;
    for (const Case& c : locCases)
    {
        LWLayerMesh l;
        l.myBatches.push_back(locStrip(3, c.myUVs, c.myColours));
        l.myBatches[0].myVertices[0].myPosition[1] = 2;
        l.myBatches[0].myVertices[0].myPosition[2] = 3;
        LWSItem i;
        i.myLevels[0] = &l;
        i.myPivot = {0, 2, 3};
        QR_Mesh* m = Fill(i, 0, false, ("m" + std::to_string(n++)).c_str());
        ASSERT_TRUE(myResult) << c.myFormat;
        EXPECT_EQ(m->myVertexFormat, c.myFormat);
        EXPECT_EQ(m->myVertexSize, c.mySize);
        EXPECT_EQ(QR_GetVertexSize(m->myVertexFormat), c.mySize);
        ASSERT_EQ(m->myNumVertices, 3u);
        // Find the first source vertex (x = 0) wherever the cache order put it.
        uint32_t v = 0;
        while (v < 3 && locAt<float>(m, v, 0) != 0.0f)
            v++;
        ASSERT_LT(v, 3u);
        EXPECT_EQ(locAt<float>(m, v, 4), 0.0f);
        EXPECT_EQ(locAt<float>(m, v, 8), 0.0f);
        EXPECT_EQ(locAt<float>(m, v, 16), 1.0f); // normal y
        if (c.myColours)
        {
            EXPECT_EQ(locAt<uint32_t>(m, v, 24), 0xFF102030u);
        }
        uint32_t locUV = c.myColours ? 28 : 24;
        if (c.myUVs >= 1)
        {
            EXPECT_EQ(locAt<float>(m, v, locUV), 0.25f);
        }
        if (c.myUVs >= 2)
        {
            EXPECT_EQ(locAt<float>(m, v, locUV + 8), 0.5f);
        }
        // Untextured: no surface, lit, the renderer's stage defaults.
        EXPECT_EQ(m->mySurface, nullptr);
        EXPECT_EQ(m->mySetupData.mySkinning, 0u);
        EXPECT_EQ(m->mySetupData.myLighting, 1u);
        EXPECT_EQ(m->mySetupData.myNumUVs, 0u);
        EXPECT_NE(m->myCompiledVertexShader, nullptr);
    }
}

TEST_F(LWBuild, LevelsLayOutVerticesIndicesAndDistances)
{
    mySettings.myLodDistances[0] = 10;
    mySettings.myLodDistances[1] = 20;
    mySettings.myLodDistances[2] = 30;
    mySettings.myLodDistances[3] = 40;
    LWLayerMesh l[6];
    const uint32_t locCounts[6] = {100, 50, 20, 10, 8, 6};
    for (int k = 0; k < 6; k++)
        l[k].myBatches.push_back(locStrip(locCounts[k]));
    LWSItem i;
    for (int k = 0; k < 3; k++)
        i.myLevels[k] = &l[k];
    QR_Mesh* m = Fill(i, 0, false, "three");
    ASSERT_TRUE(myResult);
    ASSERT_EQ(m->myNumLods, 3u);
    const uint32_t locFirst[3] = {0, 100, 150};
    const uint32_t locIndex[3] = {0, 98 * 3, 98 * 3 + 48 * 3};
    const float locDistance[3] = {100, 400, 1.0e15f};
    for (uint32_t k = 0; k < 3; k++)
    {
        const QR_MeshLod& r = m->myLods[k];
        EXPECT_EQ(r.myFirstVertex, locFirst[k]) << k;
        EXPECT_EQ(r.myStartIndex, locIndex[k]) << k;
        EXPECT_EQ(r.myNumVertices, locCounts[k]) << k;
        EXPECT_EQ(r.myNumIndices, (locCounts[k] - 2) * 3) << k;
        EXPECT_EQ(r.myLodDistance, locDistance[k]) << k;
        EXPECT_EQ(r.myIsAnimated, 0u);
    }
    EXPECT_EQ(m->myNumVertices, 170u);
    EXPECT_EQ(m->myNumIndices, (98u + 48u + 18u) * 3u);
    // The second level's indices are its own triangles moved past the first level's vertices.
    EXPECT_EQ(m->myIndexData[locIndex[1]], 100u);
    EXPECT_EQ(m->myIndexData[locIndex[1] + 2], 102u);
    EXPECT_EQ(m->myIndexData[locIndex[2] + 5], 153u);
    EXPECT_EQ(locAt<float>(m, 101, 0), 1.0f);

    // The fourth file exists but did not load: its scene distance ends the last level.
    i.myFailedLevel = 3;
    m = Fill(i, 0, false, "marker");
    ASSERT_TRUE(myResult);
    ASSERT_EQ(m->myNumLods, 3u);
    EXPECT_EQ(m->myLods[2].myLodDistance, 900.0f);

    // Levels past the fourth take the fourth distance.
    for (int k = 3; k < 6; k++)
        i.myLevels[k] = &l[k];
    i.myFailedLevel = 6;
    m = Fill(i, 0, false, "six");
    ASSERT_TRUE(myResult);
    ASSERT_EQ(m->myNumLods, 6u);
    EXPECT_EQ(m->myLods[3].myLodDistance, 1600.0f);
    EXPECT_EQ(m->myLods[4].myLodDistance, 1600.0f);
    EXPECT_EQ(m->myLods[5].myLodDistance, 1600.0f);

    // A later batch ends its levels at the last layer that has it.
    l[0].myBatches.push_back(locStrip(5));
    l[1].myBatches.push_back(locStrip(4));
    i.myFailedLevel = -1;
    m = Fill(i, 1, false, "second");
    ASSERT_TRUE(myResult);
    ASSERT_EQ(m->myNumLods, 2u);
    EXPECT_EQ(m->myLods[1].myLodDistance, 1.0e15f);
    EXPECT_EQ(m->myLods[1].myFirstVertex, 5u);
}

TEST_F(LWBuild, AnIndexPastSixteenBitsGives39)
{
    LWLayerMesh a, b;
    a.myBatches.push_back(locStrip(65000));
    b.myBatches.push_back(locStrip(600));
    LWSItem i;
    i.myLevels[0] = &a;
    i.myLevels[1] = &b;
    Fill(i, 0, false);
    EXPECT_FALSE(myResult);
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_TOO_MANY_VERTICES);
    b.myBatches[0] = locStrip(536); // its last index is 65000 + 535 = 65535
    Fill(i, 0, false, "fits");
    EXPECT_TRUE(myResult);
}

TEST_F(LWBuild, SkinnedWeightsBoneBytesAndFormats)
{
    LWVertexMap arm, hand, other1, other2;
    arm.myName = "arm";
    hand.myName = "hand";
    other1.myName = "other1";
    other2.myName = "other2";
    LWLayerMesh l;
    l.myBatches.push_back(locStrip(3, 1));
    LWMeshVertex& v = l.myBatches[0].myVertices[0];
    v.myWeights[0] = {&arm, 0.5f};
    v.myWeights[1] = {&hand, 0.3f};
    v.myWeights[2] = {&other1, 0.15f};
    v.myWeights[3] = {&other2, 0.05f};
    LWSItem i;
    i.myLevels[0] = &l;
    i.myPivot = {5, 5, 5}; // not applied to skinned positions
    for (const char* n : {"root", "arm", "hand"})
    {
        i.myBones.push_back(std::make_unique<LWSBone>());
        i.myBones.back()->myName = n;
    }
    // The bone named after a map matters only through its weight map.
    LWVertexMap armAgain;
    armAgain.myName = "arm";
    i.myBones[1]->myWeightMap = &armAgain;
    i.myBones[1]->myPartOffset = 3;
    i.myBones[2]->myWeightMap = &hand;
    i.myBones[2]->myPartOffset = 5;
    QR_Mesh* m = Fill(i, 0, true, "skin");
    ASSERT_TRUE(myResult) << EditorError::GetDetail();
    EXPECT_EQ(m->myVertexFormat, 0x84fu);
    EXPECT_EQ(m->myVertexSize, 48u);
    EXPECT_EQ(m->mySetupData.mySkinning, 1u);
    for (uint32_t k = 0; k < 3; k++)
    {
        float x = locAt<float>(m, k, 0);
        uint32_t locBytes = locAt<uint32_t>(m, k, 24);
        EXPECT_EQ(locAt<float>(m, k, 40), 0.25f);
        EXPECT_EQ(locAt<float>(m, k, 32), 1.0f); // normal y
        if (x == 0.0f)
        {
            EXPECT_EQ(locAt<float>(m, k, 12), 0.5f);
            EXPECT_EQ(locAt<float>(m, k, 16), 0.3f);
            EXPECT_EQ(locAt<float>(m, k, 20), 0.15f);
            EXPECT_EQ(locBytes, 3u | 5u << 8);
        }
        else
        {
            EXPECT_EQ(locAt<float>(m, k, 12), 1.0f);
            EXPECT_EQ(locAt<float>(m, k, 16), 0.0f);
            EXPECT_EQ(locBytes, 0u);
        }
    }
    l.myBatches[0].myNumUVSets = 2;
    m = Fill(i, 0, true, "skin2");
    ASSERT_TRUE(myResult);
    EXPECT_EQ(m->myVertexFormat, 0x88fu);
    EXPECT_EQ(m->myVertexSize, 56u);
    l.myBatches[0].myNumUVSets = 0;
    m = Fill(i, 0, true, "skin0");
    ASSERT_TRUE(myResult);
    EXPECT_EQ(m->myVertexFormat, 0x80fu);
    EXPECT_EQ(m->myVertexSize, 40u);

    l.myBatches.push_back(locStrip(3, 1));
    m = Fill(i, 0, true, "skin3");
    EXPECT_FALSE(myResult);
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_SKINNED_SURFACES);
    EXPECT_EQ(m->myNumVertices, 0u);
}

TEST_F(LWBuild, SurfaceStagesTextureMatrixPathsAndRefusedMeshes)
{
    LWLayerMesh l;
    l.myBatches.push_back(locStrip(3, 2));
    l.myBatches[0].myTextureBaseNames[0] = "textures/wood";
    LWSItem i, bump;
    i.myLevels[0] = &l;
    bump.myMotion = std::make_unique<QR_SplinePath>();
    const float locZero[6] = {};
    ASSERT_TRUE(SetStillPath(*bump.myMotion, locZero));
    i.myReferences[0] = &bump;
    QR_Mesh* m = Fill(i, 0, false, "wood");
    ASSERT_TRUE(myResult) << EditorError::GetDetail();
    ASSERT_NE(m->mySurface, nullptr);
    // The default surface uses the diffuse colour but no specular: lit, colour mode off.
    EXPECT_EQ(m->mySetupData.myLighting, 1u);
    EXPECT_EQ(m->mySetupData.mySpecular, 0u);
    EXPECT_EQ(m->myDataBlock.mySpecularPower, 0.0f);
    EXPECT_EQ(m->mySetupData.myNumUVs, 2u);
    EXPECT_EQ(m->mySetupData.myUVs[0], UV_TEXTUREMATRIX);
    EXPECT_EQ(m->mySetupData.myUVs[1], 1u);
    EXPECT_NE(m->myDataBlock.myTextureMatrixSpline[0], nullptr);
    EXPECT_EQ(bump.myMotion, nullptr); // moved: the next mesh of the item has none
    QR_Mesh* n = Fill(i, 0, false, "wood2");
    ASSERT_TRUE(myResult);
    EXPECT_EQ(n->mySetupData.myUVs[0], 0u);

    // A textured batch without UVs asks for a set the format lacks: the renderer refuses.
    l.myBatches[0].myNumUVSets = 0;
    Fill(i, 0, false, "nouv");
    EXPECT_FALSE(myResult);
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_LOAD_MODEL);
    EXPECT_NE(strstr(EditorError::GetDetail(), "nouv"), nullptr) << EditorError::GetDetail();

    mySettings.myDefaultSurface = "surfaces/no_such_surface.sur";
    l.myBatches[0].myNumUVSets = 1;
    Fill(i, 0, false, "nosurface");
    EXPECT_FALSE(myResult);
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_LOAD_SURFACE);
}

// A two-triangle layer "body" spanning (-1, 0, -1) to (1, 2, 1), with the weight map "Weight".
void locWriteBox(const std::string& aPath, float aSize = 1.0f)
{
    LWO2Writer w;
    WriteWeightedLayer(w, aSize);
    ASSERT_TRUE(w.Save(aPath.c_str()));
}

// Three quads in three surfaces: colour and transparency images, a colour image, none.
void locWriteRock(const std::string& aPath)
{
    LWO2Writer w;
    w.Tags({"Both", "Colour", "Plain"});
    w.Layer(0, "rock");
    std::vector<LWVec3> p;
    std::vector<LWO2Writer::MapEntry> uv;
    for (uint32_t k = 0; k < 12; k++)
    {
        float x = (float)(k / 4) * 2 + (k % 4 == 1 || k % 4 == 2 ? 1.0f : 0.0f);
        float y = k % 4 >= 2 ? 1.0f : 0.0f;
        p.push_back({x, y, 0});
        uv.push_back({k, 0, {x / 6, y}});
    }
    w.Points(p);
    w.Polygons({{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}});
    w.PolygonTags("SURF", {{0, 0}, {1, 1}, {2, 2}});
    w.VertexMap("TXUV", 2, "UV", uv);
    w.StillClip(1, "textures/a.tga");
    w.StillClip(2, "textures/b.tga");
    w.StillClip(3, "textures/c.tga");
    w.BeginSurface("Both");
    w.SurfaceBlock({});
    LWO2Writer::Block t;
    t.myChannel = "TRNL";
    t.myImage = 2;
    w.SurfaceBlock(t);
    w.EndSurface();
    w.BeginSurface("Colour");
    LWO2Writer::Block c;
    c.myImage = 3;
    w.SurfaceBlock(c);
    w.EndSurface();
    w.BeginSurface("Plain");
    w.EndSurface();
    ASSERT_TRUE(w.Save(aPath.c_str()));
}

const uint32_t STND = StateCodeToId("STND");
const uint32_t WALK = StateCodeToId("WALK");

bool locSave(const LWSceneText& aText, const char* aName)
{
    return aText.Save(aName);
}

TEST_F(LWBuild, ALoneObjectGivesOnePartPerBatchWithItsSlots)
{
    locWriteRock("rock.lwo");
    QR_TemplateObject* t = nullptr;
    ASSERT_TRUE(BuildTemplateFromLWO("rock.lwo", "Rock", &t, STND, mySettings)) << EditorError::GetDetail();
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->myName, LW_OBJECT_TEMPLATE_NAME);
    ASSERT_EQ(t->myNumParts, 3u);
    const char* locNames[] = {"Rock", "Rock:1", "Rock:2"};
    const uint32_t locSlots[] = {2, 1, 0};
    std::string locMesh = t->myParts[0].myMesh->myName;
    for (uint32_t i = 0; i < 3; i++)
    {
        const QR_TemplatePart& p = t->myParts[i];
        EXPECT_STREQ(p.myName, locNames[i]);
        ASSERT_NE(p.myMesh, nullptr);
        if (i)
        {
            EXPECT_EQ(std::string(p.myMesh->myName), locMesh + ":" + std::to_string(i));
        }
        EXPECT_EQ(p.myNumTextureNames, locSlots[i]);
        EXPECT_EQ(p.myMaxDistanceSquared, 1.0e15f);
        ASSERT_EQ(p.myNumStates, 1u);
        const QR_TemplateState& s = p.myStates[0];
        EXPECT_EQ(s.myId, STND);
        EXPECT_EQ(s.myParent, i ? 0 : -1);
        EXPECT_FLOAT_EQ(s.myBlendTime, 0.2f);
        EXPECT_FLOAT_EQ(s.myDuration, 0.1f);
        EXPECT_EQ(s.myNextState, -1);
        EXPECT_TRUE(s.myIsVisible && s.myIsRemembered && !s.myRestarts);
        // No motion: a still six-channel path at the origin.
        EXPECT_EQ(s.myPath.myNumChannels, 6u);
        EXPECT_EQ(s.myPath.myKeyedMask, 0u);
        float v[16] = {1};
        s.myPath.GetValue(0, v);
        EXPECT_EQ(v[0], 0.0f);
    }
    EXPECT_STREQ(t->myParts[0].myTextureNames[0].myNames[0].GetBuffer(), "TEXTURES/A");
    EXPECT_STREQ(t->myParts[0].myTextureNames[1].myNames[0].GetBuffer(), "TEXTURES/B");
    EXPECT_STREQ(t->myParts[1].myTextureNames[0].myNames[0].GetBuffer(), "TEXTURES/C");
    EXPECT_NE(t->myParts[0].myMesh->mySurface, nullptr);
    EXPECT_EQ(t->myParts[2].myMesh->mySurface, nullptr);
    // The three quads span x 0..5, y 0..1.
    EXPECT_FLOAT_EQ(t->myBoundCentre[0], 2.5f);
    EXPECT_FLOAT_EQ(t->myBoundCentre[1], 0.5f);

    // The same file again (a second model) shares the meshes without refilling them.
    ASSERT_TRUE(AddLWOState(t, "rock.lwo", "Rock", WALK, nullptr, mySettings));
    for (uint32_t i = 0; i < 3; i++)
    {
        ASSERT_EQ(t->myParts[i].myNumStates, 2u);
        EXPECT_EQ(t->myParts[i].myStates[1].myId, WALK);
    }
    EXPECT_EQ(t->myParts[1].myStates[1].myParent, 0);
    EXPECT_EQ(t->myParts[0].myMesh->myRefCount, 1);
    t->Release();

    // A layer without polygons gives parts without a mesh, with bones or without.
    LWO2Writer w;
    w.Layer(0, "points");
    w.Points({{0, 0, 0}, {1, 0, 0}});
    ASSERT_TRUE(w.Save("points.lwo"));
    ASSERT_TRUE(BuildTemplateFromLWO("./points.lwo", "", &t, STND, mySettings)) << EditorError::GetDetail();
    // One lone-object template at a time.
    QR_TemplateObject* locSecond = nullptr;
    EXPECT_FALSE(BuildTemplateFromLWO("points.lwo", "", &locSecond, STND, mySettings));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_LOAD_MODEL);
    EXPECT_EQ(locSecond, nullptr);
    ASSERT_EQ(t->myNumParts, 1u);
    EXPECT_STREQ(t->myParts[0].myName, "points");
    EXPECT_EQ(t->myParts[0].myMesh, nullptr);
    t->Release();
    LWSceneText s;
    s.SceneHeader().Line("LoadObjectLayer 1 points.lwo").Line("AddBone").Line("AddBone").Line("ParentItem 40000000");
    ASSERT_TRUE(locSave(s, "points.lws"));
    t = LoadLWSTemplate("points.lws", "points", STND, nullptr, mySettings);
    ASSERT_NE(t, nullptr) << EditorError::GetDetail();
    ASSERT_EQ(t->myNumParts, 2u);
    EXPECT_EQ(t->myParts[1].myMesh, nullptr);
    EXPECT_EQ(t->myParts[1].myStates[0].myParent, 0);
    {
        QR_MainObject locObject(t); // a placed object over mesh-less bone parts
        locObject.Update(locObject.myMatrix);
    }
    t->Release();

    EXPECT_FALSE(BuildTemplateFromLWO("absent.lwo", "", &t, STND, mySettings));
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u);
}

TEST_F(LWBuild, BoundsFromTheMeshesAtTimeZero)
{
    locWriteBox("box.lwo");
    QR_TemplateObject* t = nullptr;
    ASSERT_TRUE(BuildTemplateFromLWO("box.lwo", "Box", &t, STND, mySettings));
    EXPECT_FLOAT_EQ(t->myBoundCentre[0], 0.0f);
    EXPECT_FLOAT_EQ(t->myBoundCentre[1], 1.0f);
    EXPECT_FLOAT_EQ(t->myBoundCentre[2], 0.0f);
    EXPECT_FLOAT_EQ(t->myBoundRadius, sqrtf(3.0f));
    // The farthest vertex from the origin: (1, 2, -1) or (-1, 2, 1).
    EXPECT_FLOAT_EQ(t->myParts[0].myMesh->myRadius, sqrtf(6.0f));
    // A moved pose moves the bounds; a mesh without vertices measures 0.01 and adds nothing.
    const float locPose[6] = {10, 0, 0, 0, 0, 0};
    ASSERT_TRUE(SetStillPath(t->myParts[0].myStates[0].myPath, locPose));
    ComputeTemplateBounds(t);
    EXPECT_FLOAT_EQ(t->myBoundCentre[0], 10.0f);
    QR_Mesh* m = t->myParts[0].myMesh;
    uint32_t locVertices = m->myNumVertices;
    m->myNumVertices = 0;
    ComputeTemplateBounds(t);
    EXPECT_FLOAT_EQ(m->myRadius, 0.01f);
    EXPECT_FLOAT_EQ(t->myBoundCentre[0], 0.0f);
    EXPECT_FLOAT_EQ(t->myBoundRadius, 9999999.0f * sqrtf(3.0f));
    m->myNumVertices = locVertices;
    t->Release();
}

TEST_F(LWBuild, ASceneBecomesPartsLinksLightsAndBoneLines)
{
    std::filesystem::create_directories(myDir + "/objects");
    locWriteBox(myDir + "/objects/box.lwo");
    locWriteBox(myDir + "/objects/box_LOD2.lwo", 0.5f);
    FILE* f = fopen((myDir + "/objects/box_LOD3.lwo").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("not an object", f);
    fclose(f);
    setenv("Q_DRIVE_D", myDir.c_str(), 1);
    mySettings.myLodDistances[1] = 10;
    LWSceneText s;
    s.SceneHeader()
        .Line("LoadObjectLayer 1 D:objects/box.lwo")
        .Line("AddBone")
        .Line("BoneName Root")
        .Line("ShowBone 1 3")
        .Line("BoneRestLength 0.75")
        .Line("BoneWeightMapName Weight")
        .Line("ParentItem 10000000")
        .Line("AddBone")
        .Line("BoneName Tip")
        .Line("ShowBone 1 0")
        .Line("ParentItem 40000000")
        .Line("AddBone")
        .Line("BoneName Tip2")
        .Line("ParentItem 40010000")
        .Line("AddNullObject Null")
        .Line("ParentItem 40020000")
        .Line("AddNullObject Null")
        .Line("AddNullObject Null")
        .Line("ParentItem 10000001")
        .Line("AddNullObject PE_fx/sparks")
        .Line("ParentItem 10000001")
        .Line("AddNullObject Child")
        .Line("ParentItem 10000004")
        .Line("AddLight")
        .Line("LightName NoParent")
        .Line("AddLight")
        .Line("LightName Lamp")
        .Line("LightType 1")
        .Line("LightColor 1 0.5 0.25")
        .Line("LightIntensity 0.5")
        .Line("LightRange 5")
        .Line("ParentItem 10000001")
        .Line("AddLight")
        .Line("LightName Spot")
        .Line("LightType 2")
        .Line("LightConeAngle 30")
        .Line("LightEdgeAngle 5")
        .Line("ParentItem 40010000");
    ASSERT_TRUE(locSave(s, "scene.lws"));
    mySettings.myHaloSurface = "INTERNAL_ALPHA";
    QR_TemplateObject* t = QR_TemplateObject::Create("scene");
    std::vector<QRenderEditorBoneLine> locLines;
    ASSERT_TRUE(LoadLWS(t, "scene.lws", STND, &locLines, mySettings)) << EditorError::GetDetail();
    unsetenv("Q_DRIVE_D");
    ASSERT_EQ(t->myNumParts, 6u);
    const char* locNames[] = {"Root", "Tip", "Tip2", "Null", "Null2", "Null1"};
    const int32_t locParents[] = {-1, 0, 1, 2, 3, -1};
    for (uint32_t i = 0; i < 6; i++)
    {
        EXPECT_STREQ(t->myParts[i].myName, locNames[i]);
        EXPECT_EQ(t->myParts[i].myStates[0].myParent, locParents[i]) << i;
        EXPECT_EQ(t->myParts[i].mySkinGroup, i < 3 ? 0 : -1) << i;
    }
    // One skinned mesh (the D: path found), shared by the three bone parts, two levels of
    // detail with the third file's marker. The second level's 10 is nearer than the
    // first's 50: it serves from the first's distance, so the parts are removed at
    // 0.99 x 50 x 50.
    QR_Mesh* m = t->myParts[0].myMesh;
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(t->myParts[2].myMesh, m);
    EXPECT_EQ(m->myRefCount, 3);
    EXPECT_EQ(m->myVertexFormat, 0x80fu);
    ASSERT_EQ(m->myNumLods, 2u);
    EXPECT_FLOAT_EQ(m->myLods[0].myLodDistance, 2500.0f);
    EXPECT_FLOAT_EQ(m->myLods[1].myLodDistance, 2500.0f);
    EXPECT_FLOAT_EQ(t->myParts[1].myMaxDistanceSquared, 2475.0f);
    EXPECT_FLOAT_EQ(t->myParts[1].myStates[0].myDuration, -1.0f);
    EXPECT_EQ(t->myParts[3].myMesh, nullptr);
    EXPECT_EQ(t->myParts[3].myMaxDistanceSquared, 1.0e15f);

    ASSERT_EQ(t->myNumLinks, 1u);
    EXPECT_EQ(t->myLinks[0].myPartIndex, 3u);
    EXPECT_EQ(t->myLinks[0].myStateId, STND);
    ASSERT_NE(t->myLinks[0].myDefinition, nullptr);

    // The light without a parent is dropped; the last one, at the end of the file, kept.
    ASSERT_EQ(t->myNumLights, 2u);
    const QR_Light& l = t->myLights[0];
    EXPECT_EQ(l.myType, QR_LIGHT_POINT);
    EXPECT_EQ(l.myPartIndex, 3u);
    EXPECT_FLOAT_EQ(l.myRange, 5.0f);
    EXPECT_FLOAT_EQ(l.myColor[0], 0.5f);
    EXPECT_FLOAT_EQ(l.myColor[2], 0.125f);
    EXPECT_NE(l.myHalo, nullptr);
    const QR_Light& sp = t->myLights[1];
    EXPECT_EQ(sp.myType, QR_LIGHT_SPOT);
    EXPECT_EQ(sp.myPartIndex, 1u);
    EXPECT_NEAR(sp.myConeValues[0], cosf(30 * 0.017453f), 1e-5f);
    EXPECT_NEAR(sp.myConeValues[1], cosf(25 * 0.017453f), 1e-5f);

    ASSERT_EQ(locLines.size(), 6u);
    EXPECT_FLOAT_EQ(locLines[0].myLength, 0.75f);
    EXPECT_EQ(locLines[0].myColor, 0xff0000ffu);
    EXPECT_EQ(locLines[1].myColor, 0xffffffffu); // colour number 0: outside the table
    EXPECT_EQ(locLines[3].myColor, 0u);
    t->Release();

    // More bones than a bone byte addresses.
    LWSceneText locMany;
    locMany.SceneHeader().Line("AddNullObject Many");
    for (int k = 0; k < 257; k++)
        locMany.Line("AddBone").Line("BoneName B" + std::to_string(k));
    ASSERT_TRUE(locSave(locMany, "many.lws"));
    t = QR_TemplateObject::Create("many");
    EXPECT_FALSE(LoadLWS(t, "many.lws", STND, nullptr, mySettings));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_INVALID_SCENE);
    EXPECT_NE(strstr(EditorError::GetDetail(), "Many"), nullptr);
    t->Release();

    // Without the drive variable the letter is dropped: the path is not found.
    t = QR_TemplateObject::Create("scene2");
    EXPECT_FALSE(LoadLWS(t, "scene.lws", STND, nullptr, mySettings));
    t->Release();
}

TEST_F(LWBuild, MergingAppendsPartsStatesLinksAndLights)
{
    LWSceneText a, b;
    a.SceneHeader().Line("AddNullObject Base");
    for (int k = 0; k < 3; k++)
        a.Line("AddNullObject PE_fx/sparks").Line("ParentItem 10000000");
    b.SceneHeader()
        .Line("AddNullObject Base")
        .Line("AddNullObject Extra")
        .Line("ParentItem 10000000")
        .Line("AddNullObject PE_fx/sparks")
        .Line("ParentItem 10000001")
        .Line("AddNullObject PE_fx/sparks")
        .Line("ParentItem 10000000")
        .Line("AddLight")
        .Line("ParentItem 10000001")
        .Line("AddCamera");
    ASSERT_TRUE(locSave(a, "a.lws"));
    ASSERT_TRUE(locSave(b, "b.lws"));
    QR_TemplateObject* t = LoadLWSTemplate("a.lws", "model", STND, nullptr, mySettings);
    ASSERT_NE(t, nullptr) << EditorError::GetDetail();
    ASSERT_EQ(t->myNumLinks, 3u);
    ASSERT_TRUE(AddLWSState(t, "b.lws", WALK, nullptr, mySettings));
    ASSERT_EQ(t->myNumParts, 2u);
    EXPECT_STREQ(t->myParts[1].myName, "Extra");
    ASSERT_EQ(t->myParts[0].myNumStates, 2u);
    EXPECT_EQ(t->myParts[0].myStates[1].myId, WALK);
    EXPECT_EQ(t->myParts[1].myStates[0].myParent, 0);
    ASSERT_EQ(t->myNumLinks, 5u);
    EXPECT_EQ(t->myLinks[3].myPartIndex, 1u);
    EXPECT_EQ(t->myLinks[4].myPartIndex, 0u);
    EXPECT_EQ(t->myLinks[4].myStateId, WALK);
    ASSERT_EQ(t->myNumLights, 1u);
    EXPECT_EQ(t->myLights[0].myPartIndex, 1u);
    EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 1u);

    // A part-name list merges those parts only; a state a part has is not added twice.
    std::vector<QC_String> locOnly = {QC_String("extra")};
    ASSERT_TRUE(AddLWSState(t, "b.lws", StateCodeToId("RUN"), &locOnly, mySettings));
    EXPECT_EQ(t->myParts[0].myNumStates, 2u);
    ASSERT_EQ(t->myParts[1].myNumStates, 2u);
    EXPECT_EQ(t->myParts[1].myStates[1].myParent, 0);
    ASSERT_TRUE(AddLWSState(t, "b.lws", WALK, nullptr, mySettings));
    EXPECT_EQ(t->myParts[0].myNumStates, 2u);

    // Attached: the new roots hang below the named part, links to gone parts get -1.
    QR_TemplateObject* n = QR_TemplateObject::Create("new");
    ASSERT_TRUE(LoadLWS(n, "b.lws", STND, nullptr, mySettings));
    char* locName = new char[6];
    strcpy(locName, "Other");
    delete[] n->myParts[0].myName;
    n->myParts[0].myName = locName;
    n->myParts[0].myStates[0].myNextState = 1; // past its one record: dropped
    ASSERT_TRUE(MergeTemplate(t, n, nullptr, "extra"));
    n->Release();
    ASSERT_EQ(t->myNumParts, 3u);
    EXPECT_EQ(t->myParts[2].myStates[0].myParent, 1);
    EXPECT_EQ(t->myParts[2].myStates[0].myNextState, -1);
    const QR_TemplatePart& x = t->myParts[1];
    ASSERT_EQ(x.myNumStates, 3u); // STND, WALK, RUN: STND was there already
    t->Release();
}
TEST_F(LWBuild, PivotsShiftKeysAndVerticesAndReferenceItemsAnimateStages)
{
    // A textured quad with its layer pivot at (2, 0, 0) and a bump texture whose reference
    // object is the null "BumpNull".
    LWO2Writer w;
    w.Tags({"Wood"});
    w.Layer(0, "quad", -1, {2, 0, 0});
    w.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    w.Polygons({{0, 1, 2, 3}});
    w.PolygonTags("SURF", {{0, 0}});
    w.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}, {1, 0, {1, 0}}, {2, 0, {1, 1}}, {3, 0, {0, 1}}});
    w.StillClip(1, "textures/wood.tga");
    w.BeginSurface("Wood");
    w.SurfaceBlock({});
    LWO2Writer::Block locBump;
    locBump.myChannel = "BUMP";
    locBump.myReferenceObject = "BumpNull";
    w.SurfaceBlock(locBump);
    w.EndSurface();
    ASSERT_TRUE(w.Save("quad.lwo"));
    std::vector<std::vector<LWTextKey>> locMotion(9);
    for (std::vector<LWTextKey>& c : locMotion)
    {
        LWTextKey a, b;
        b.myTime = 1;
        b.myValue = 1;
        c = {a, b};
    }
    LWSceneText s;
    s.SceneHeader()
        .Line("AddNullObject Parent")
        .Line("PivotPosition 1 1 1")
        .Line("LoadObjectLayer 1 quad.lwo")
        .Line("PivotPosition 0 1 0")
        .Line("ParentItem 10000000")
        .Line("LoadObjectLayer 1 quad.lwo")
        .Line("AddNullObject BumpNull")
        .Line("ObjectMotion")
        .Envelope(locMotion, true);
    ASSERT_TRUE(locSave(s, "pivots.lws"));
    QR_TemplateObject* t = LoadLWSTemplate("pivots.lws", "pivots", STND, nullptr, mySettings);
    ASSERT_NE(t, nullptr) << EditorError::GetDetail();
    // The reference null is consumed: no part of its own.
    ASSERT_EQ(t->myNumParts, 3u);
    EXPECT_STREQ(t->myParts[1].myName, "quad_1_quad");
    EXPECT_STREQ(t->myParts[2].myName, "quad_1_quad1");
    float v[16];
    t->myParts[0].myStates[0].myPath.GetValue(0, v);
    EXPECT_EQ(v[0], 0.0f); // a null is not shifted
    t->myParts[1].myStates[0].myPath.GetValue(0, v);
    EXPECT_FLOAT_EQ(v[0], 1.0f); // layer pivot 2 less the parent's 1
    EXPECT_FLOAT_EQ(v[1], -1.0f);
    t->myParts[2].myStates[0].myPath.GetValue(0, v);
    EXPECT_FLOAT_EQ(v[0], 2.0f); // a root: the layer pivot alone
    // Both items share the layer's mesh; its vertices are moved by the first item's pivot.
    QR_Mesh* m = t->myParts[1].myMesh;
    ASSERT_EQ(t->myParts[2].myMesh, m);
    EXPECT_EQ(m->myRefCount, 2);
    float locLowestY = 9;
    for (uint32_t k = 0; k < m->myNumVertices; k++)
        locLowestY = std::min(locLowestY, locAt<float>(m, k, 4));
    EXPECT_FLOAT_EQ(locLowestY, -1.0f);
    // The second object's surface named the null: its motion animates the bump stage of
    // the first mesh filled for that owner.
    EXPECT_EQ(m->mySetupData.myUVs[0] & UV_TEXTUREMATRIX, UV_TEXTUREMATRIX);
    EXPECT_NE(m->myDataBlock.myTextureMatrixSpline[0], nullptr);
    EXPECT_EQ(m->mySetupData.myUVs[1], 0u);
    t->Release();
}

#ifdef Q_ASSIMP_MODELS
TEST_F(LWBuild, ARealSceneOfAssimpTestModels)
{
    if (chdir(Q_ASSIMP_MODELS "/LWS") != 0)
        GTEST_SKIP() << "assimp-testmodels is not installed";
    QR_TemplateObject* t = LoadLWSTemplate("move_x_oldformat_6.lws", "move_x", STND, nullptr, mySettings);
    ASSERT_NE(t, nullptr) << EditorError::GetDetail();
    ASSERT_EQ(t->myNumParts, 1u);
    const QR_TemplatePart& p = t->myParts[0];
    EXPECT_STREQ(p.myName, "simple_cube_1_");
    ASSERT_NE(p.myMesh, nullptr);
    EXPECT_EQ(p.myMesh->myNumVertices, 8u);
    EXPECT_EQ(p.myMesh->myNumIndices, 36u);
    EXPECT_EQ(p.myStates[0].myPath.myNumChannels, 9u);
    EXPECT_FLOAT_EQ(p.myStates[0].myPath.myRate, 0.5f);
    EXPECT_EQ(t->myNumLights, 0u);
    t->Release();

    for (const char* locOther : {"move_x.lws", "move_x_oldformat_56.lws"})
    {
        t = QR_TemplateObject::Create("other");
        EXPECT_FALSE(LoadLWS(t, locOther, STND, nullptr, mySettings)) << locOther;
        EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_INVALID_SCENE) << locOther;
        t->Release();
    }

    // Cut at many points: loads less or fails, never more.
    FILE* f = fopen("move_x_oldformat_6.lws", "rb");
    ASSERT_NE(f, nullptr);
    std::string locText(1 << 16, '\0');
    locText.resize(fread(&locText[0], 1, locText.size(), f));
    fclose(f);
    const std::string locCut = myDir + "/cut.lws";
    for (size_t n = 0; n < locText.size(); n += 41)
    {
        FILE* c = fopen(locCut.c_str(), "wb");
        ASSERT_NE(c, nullptr);
        fwrite(locText.data(), 1, n, c);
        fclose(c);
        t = QR_TemplateObject::Create("cut");
        if (LoadLWS(t, locCut.c_str(), STND, nullptr, mySettings))
        {
            EXPECT_LE(t->myNumParts, 1u);
        }
        t->Release();
    }
}
#endif

TEST_F(LWBuild, TheEditorSceneOpensScenesAndObjectsAndAddsStates)
{
    LWSceneText s;
    s.SceneHeader().Line("AddNullObject Base").Line("AddNullObject Arm").Line("ParentItem 10000000");
    ASSERT_TRUE(locSave(s, "upper.LWS"));
    locWriteBox("box.lwo");
    e->SetWorkDir(myDir.c_str());
    EXPECT_FALSE(e->OpenScene("upper.txt", "upper", "STND"));
    EXPECT_FALSE(e->IsModelLoaded());
    ASSERT_TRUE(e->OpenScene("upper.LWS", "upper", "STND")) << EditorError::GetDetail();
    EXPECT_TRUE(e->IsModelLoaded());
    EXPECT_FALSE(e->OpenScene("upper.LWS", "upper", "STND")); // a model is loaded
    ASSERT_EQ(e->GetTemplate()->myNumParts, 2u);
    EXPECT_STREQ(e->GetActiveState(), "STND");

    // A state for the named parts only.
    QC_List<QC_String> locParts;
    locParts.Add(QC_String("ARM"));
    ASSERT_TRUE(e->OpenModelFile("upper.LWS", "upper", "WALK", &locParts));
    EXPECT_EQ(e->GetTemplate()->myParts[0].myNumStates, 1u);
    EXPECT_EQ(e->GetTemplate()->myParts[1].myNumStates, 2u);
    EXPECT_STREQ(e->GetActiveState(), "WALK");
    EXPECT_EQ(e->GetUsedStates().Count(), 2);
    ASSERT_NE(e->GetInstance(), nullptr);
    EXPECT_FALSE(e->OpenModelFile("upper.obj", "upper", "RUN"));

    // A refresh that keeps the camera.
    e->RotateCameraHeading(0.5f);
    float locHeading = e->GetCameraHeading();
    e->ClearModel();
    e->myRefreshing = true;
    e->myDontResetCameraOnRefresh = true;
    ASSERT_TRUE(e->OpenScene("box.lwo", "box", "STND"));
    EXPECT_EQ(e->GetCameraHeading(), locHeading);
    EXPECT_STREQ(e->GetTemplate()->myParts[0].myName, "box");
    e->myRefreshing = false;
    for (int k = 0; k < 3; k++)
        EXPECT_TRUE(e->Render());
}
} // namespace
