// The editor scene's logic: start-up, camera, light, clip planes, states,
// vertex-shader overrides, the level-of-detail check, template edits, the
// model tree and clearing the model. Runs on whichever back end the build
// links (OpenGL on llvmpipe, or the recording one under the sanitizers).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "modeleditor/lw_mesh.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/input/in_script.h"
#include "platform/os/os_ui.h"
#include "qrender/qr_genericparticleemittor.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertexshader.h"
#include "qrender/qr_view.h"

namespace
{

std::vector<std::string> ourMessages;
int locScriptedBox(const char* aText, const char*, int)
{
    ourMessages.push_back(aText);
    return OS_ID_OK;
}

// An in-memory tree: items numbered from 1.
class FakeTree : public QRenderEditorTree
{
public:
    struct Item
    {
        intptr_t myParent;
        std::string myText;
        intptr_t myData;
        bool myExpanded;
    };
    void DeleteAll() override { myItems.clear(); }
    intptr_t Append(intptr_t aParent, const char* aText, intptr_t aData) override
    {
        myItems.push_back({aParent, aText, aData, false});
        return (intptr_t)myItems.size();
    }
    intptr_t GetChild(intptr_t anItem) override { return Following(anItem, 0); }
    intptr_t GetNext(intptr_t anItem) override { return Following(myItems[anItem - 1].myParent, anItem); }
    QC_String GetText(intptr_t anItem) override { return QC_String(myItems[anItem - 1].myText.c_str()); }
    void Expand(intptr_t anItem) override { myItems[anItem - 1].myExpanded = true; }
    intptr_t Find(const std::string& aText) const
    {
        for (size_t i = 0; i < myItems.size(); i++)
            if (myItems[i].myText == aText)
                return (intptr_t)i + 1;
        return 0;
    }
    std::vector<std::string> Children(intptr_t aParent) const
    {
        std::vector<std::string> r;
        for (const Item& i : myItems)
            if (i.myParent == aParent)
                r.push_back(i.myText);
        return r;
    }

    std::vector<Item> myItems;

private:
    intptr_t Following(intptr_t aParent, intptr_t anAfter)
    {
        for (size_t i = (size_t)anAfter; i < myItems.size(); i++)
            if (myItems[i].myParent == aParent)
                return (intptr_t)i + 1;
        return 0;
    }
};

class EditorScene : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string locDir = std::string(Q_TEST_TMP_DIR) + "/scene";
        std::filesystem::remove_all(locDir);
        std::filesystem::create_directories(locDir);
        ASSERT_TRUE(QRT_WriteSampleFolder(locDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(locDir.c_str()), 0);
        ourMessages.clear();
        myOldHook = OS_SetMessageBoxHook(locScriptedBox);
        // The input library reads a script: a keyboard and a window with the focus.
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        myScript->SetFocusWindow(true);
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
        myCodes.Init(4, 4, true);
        myNames.Init(4, 4, true);
        myCodes.Add(QC_String("STND"));
        myNames.Add(QC_String("Standing"));
        myCodes.Add(QC_String("WALK"));
        myNames.Add(QC_String("Walking"));
        e->myStateCodes = &myCodes;
        e->myStateNames = &myNames;
    }
    void TearDown() override
    {
        QRenderEditor::Destroy();
        myScript.reset();
        OS_SetMessageBoxHook(myOldHook);
        EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u);
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        EXPECT_EQ(chdir(myOldDir), 0);
    }
    void Open(const QRB_TestModel& aModel, const char* aState = "STND")
    {
        QR_TemplateObject* t = MET_LoadModel(aModel);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(e->SetModel(t, aState));
    }

    QRenderEditor* e = nullptr;
    std::unique_ptr<IN_Script> myScript;
    QC_GrowingArray<QC_String> myCodes, myNames;
    OS_MessageBoxHook myOldHook = nullptr;
    char myOldDir[4096];
};

TEST_F(EditorScene, OneSceneWithItsStartingValues)
{
    EXPECT_FALSE(QRenderEditor::Create());
    EXPECT_EQ(QRenderEditor::ourInstance, e);
    EXPECT_TRUE(e->myGridEnable);
    EXPECT_EQ(e->myGridSize, 1.0f);
    EXPECT_STREQ(e->myDefaultSurface, "INTERNAL_SOLID");
    EXPECT_STREQ(e->mySecondHaloSurface, "surfaces/halo.sur");
    EXPECT_EQ(e->myLodDistances[3], 400.0f);
    EXPECT_EQ(e->GetNearPlane(), 0.1f);
    EXPECT_EQ(e->GetFarPlane(), 200.0f);
    EXPECT_EQ(e->GetCameraDistance(), 5.0f);
    EXPECT_EQ(QRenderEditor::GetQRBVersion(), 9u);
    QR_View* v = e->GetView();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->myFogColor, 0x808080u);
    EXPECT_FLOAT_EQ(v->GetFogStart(), 50.0f);
    EXPECT_FLOAT_EQ(v->myCamera.GetPosition()[2], -5.0f);
    EXPECT_EQ(v->myMaxNumObjects, 2048u);
    EXPECT_EQ(v->myMaxNumTransparentObjects, 500u);
    EXPECT_EQ(e->GetPart(0), nullptr);
    // Without a model a frame draws nothing but the clear.
    EXPECT_TRUE(e->Render());
    EXPECT_LE(QR_Render::ourStats.myDrawCalls, 1u);
    // Every generic emitter starts with the editor's shared velocity.
    QR_GenericParticleEmitter locEmitter;
    ASSERT_EQ(locEmitter.myAppVelocity, QR_GenericParticleEmitter::ourAppVelocity);
    EXPECT_EQ(locEmitter.myAppVelocity[0], 5.0f);
    EXPECT_EQ(locEmitter.myAppVelocity[1], 0.0f);
    EXPECT_EQ(locEmitter.myAppVelocity[2], 5.0f);
}

TEST_F(EditorScene, TheWorkingDirectoryEndsInASlashAndBecomesCurrent)
{
    char locStart[4096];
    ASSERT_TRUE(getcwd(locStart, sizeof(locStart)));
    std::filesystem::create_directories("models/ships");
    e->SetWorkDir("models\\ships");
    EXPECT_STREQ(e->GetWorkDir(), "models/ships/");
    char locNow[4096];
    ASSERT_TRUE(getcwd(locNow, sizeof(locNow)));
    EXPECT_EQ(std::string(locNow), std::string(locStart) + "/models/ships");
    // An empty directory is stored and changes nothing.
    e->SetWorkDir("");
    EXPECT_STREQ(e->GetWorkDir(), "");
    ASSERT_TRUE(getcwd(locNow, sizeof(locNow)));
    EXPECT_EQ(std::string(locNow), std::string(locStart) + "/models/ships");
    ASSERT_EQ(chdir(locStart), 0);
}

TEST_F(EditorScene, ZoomKeepsClearOfZero)
{
    e->ZoomCamera(0.005f); // 5.005
    e->ZoomCamera(-5.0f);
    EXPECT_FLOAT_EQ(e->GetCameraDistance(), -0.01f);
    e->ZoomCamera(0.015f);
    EXPECT_FLOAT_EQ(e->GetCameraDistance(), 0.01f);
}

TEST_F(EditorScene, CameraRowsFollowHeadingAndPitch)
{
    e->RotateCameraHeading(-0.5f); // heading 0.5
    e->RotateCameraPitch(0.3f);
    const float h = 0.5f, p = 0.3f;
    const float f[3] = {-sinf(h) * cosf(p), -sinf(p), cosf(h) * cosf(p)};
    const float* m = e->GetView()->myCamera.myMatrix.myMatrix;
    for (int i = 0; i < 3; i++)
    {
        EXPECT_NEAR(m[8 + i], f[i], 1e-5);
        EXPECT_NEAR(m[12 + i], -5.0f * f[i], 1e-5);
    }
    // Rows are unit and at right angles.
    EXPECT_NEAR(m[0] * m[4] + m[1] * m[5] + m[2] * m[6], 0.0f, 1e-5);
    EXPECT_NEAR(m[0] * m[8] + m[1] * m[9] + m[2] * m[10], 0.0f, 1e-5);
    EXPECT_NEAR(m[0] * m[0] + m[1] * m[1] + m[2] * m[2], 1.0f, 1e-5);
    EXPECT_NEAR(m[5], cosf(p), 1e-5); // up' = (-sin p sin h, cos p, sin p cos h)
    // Panning moves the target along the side row.
    float s0 = m[0];
    e->PanCameraRight(2.0f);
    EXPECT_NEAR(e->GetCameraTarget()[0], 2.0f * s0, 1e-5);
}

TEST_F(EditorScene, LightsFromHeadingAndElevationAndTheToggle)
{
    EXPECT_FALSE(e->TogglePointLight()); // no light: nothing changes
    EXPECT_TRUE(e->SetDirectionalLight(0.4f, 0.2f, 1.0f, 0.5f, 0.25f));
    const QR_Light* l = e->GetLight();
    ASSERT_NE(l, nullptr);
    EXPECT_NEAR(l->myDirection[0], sinf(0.4f) * cosf(0.2f), 1e-6);
    EXPECT_NEAR(l->myDirection[1], -sinf(0.2f), 1e-6);
    EXPECT_NEAR(l->myDirection[2], cosf(0.4f) * cosf(0.2f), 1e-6);
    EXPECT_EQ(l->myType, (uint32_t)QR_LIGHT_DIRECTIONAL);
    EXPECT_EQ(l->myConeValues[0], -1.0f);
    EXPECT_EQ(l->myFallOff, 0.1f);
    EXPECT_EQ(e->GetLightScene()->myNumLights, 1u);
    e->SetDirLightElevation(0.0f);
    EXPECT_NEAR(l->myDirection[1], 0.0f, 1e-6);

    EXPECT_FALSE(e->TogglePointLight());
    EXPECT_EQ(e->GetLightScene()->myNumLights, 0u);
    EXPECT_TRUE(e->TogglePointLight());
    EXPECT_EQ(e->GetLightScene()->myNumLights, 1u);
    EXPECT_EQ(e->GetLight(), l);

    EXPECT_TRUE(e->SetPointLight(1, 2, 3, 1, 1, 1, 7.0f));
    EXPECT_EQ(e->GetLight()->myType, (uint32_t)QR_LIGHT_POINT);
    EXPECT_EQ(e->GetLight()->myRange, 7.0f);
    EXPECT_EQ(e->GetLightScene()->myNumLights, 1u);
    e->SetDirLightColor(0xFF8000);
    EXPECT_FLOAT_EQ(e->GetDirLightColor()[1], 128.0f / 255.0f);
}

TEST_F(EditorScene, ClipPlanesFromTheModelAndTheFogClamp)
{
    QRB_TestModel m = MET_BoxModel();
    m.myRadius = 0.2f;
    Open(m);
    e->SetFogStart(100.0f);
    e->Render();
    const QR_Camera& c = e->GetView()->myCamera;
    EXPECT_FLOAT_EQ(c.myNear, 0.01f);
    EXPECT_FLOAT_EQ(c.myFar, 8.0f);
    EXPECT_FLOAT_EQ(e->GetFogStart(), 8.0f * 0.99f);
    e->SetFogStart(3.0f);
    e->Render();
    EXPECT_FLOAT_EQ(e->GetFogStart(), 3.0f);
    e->myAutoCalcFarplane = false;
    e->SetFarPlane(50.0f);
    e->Render();
    EXPECT_FLOAT_EQ(c.myFar, 50.0f);
    EXPECT_FLOAT_EQ(c.myNear, 0.1f);
}

TEST_F(EditorScene, StatesUsedOnceAndReappliedAfterRecreation)
{
    Open(MET_BoxModel(), "WALK");
    e->AddUsedName(QC_String("walk"));
    e->AddUsedName(QC_String("STND"));
    ASSERT_EQ(e->GetUsedStates().Count(), 2);
    EXPECT_STREQ(e->GetUsedStates()[0], "WALK");
    EXPECT_STREQ(e->GetActiveState(), "WALK");
    QR_MainObject* o = e->GetInstance();
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->myPartInstances[0].myCurrentState, 1u);
    e->RecreateInstance();
    EXPECT_NE(e->GetInstance(), nullptr);
    EXPECT_EQ(e->GetInstance()->myPartInstances[0].myCurrentState, 0u);
    e->SetActiveState(QC_String());
    EXPECT_EQ(e->GetInstance()->myPartInstances[0].myCurrentState, 1u);
    EXPECT_STREQ(e->GetActiveState(), "WALK");
    // The tint: the object's alpha kept.
    e->SetObjectColor(2, 0x123456);
    e->SetObjectColorIndex(2);
    EXPECT_EQ(e->GetInstance()->myColor, 0xFF123456u);
    e->SetObjectColorIndex(8);
    EXPECT_EQ(e->GetObjectColorIndex(), 2u);
    EXPECT_EQ(e->GetObjectColor(9), 0u);
}

TEST_F(EditorScene, VertexShaderOverridesOnlyForUnknownKinds)
{
    Open(MET_BoxModel());
    QR_Mesh* m = e->GetTemplate()->myParts[0].myMesh;
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(e->GetMeshVertexShaderName(m), "NORMAL_MESH");
    e->SetMeshVertexShader(m, "FANCY_WATER");
    EXPECT_STREQ(e->GetMeshVertexShaderName(m), "FANCY_WATER");
    EXPECT_STREQ(m->myVertexShader->myName, "NORMAL_MESH");
    e->SetMeshVertexShader(m, "OTHER_KIND");
    EXPECT_STREQ(e->GetMeshVertexShaderName(m), "OTHER_KIND");
    // Back to the current kind: the kind stays, the override is forgotten (else the
    // export would still name OTHER_KIND).
    e->SetMeshVertexShader(m, "normal_mesh");
    EXPECT_STREQ(e->GetMeshVertexShaderName(m), "NORMAL_MESH");
    EXPECT_STREQ(m->myVertexShader->myName, "NORMAL_MESH");
    e->SetMeshVertexShader(m, "DEPTHSORT_MESH");
    if (QR_VertexShader* k = QR_VertexShader::Find("DEPTHSORT_MESH"))
    {
        k->Release();
        EXPECT_STREQ(e->GetMeshVertexShaderName(m), "DEPTHSORT_MESH");
        EXPECT_EQ(m->myVertexShader, k);
    }
}

TEST_F(EditorScene, LodsWrongIsShownAndMended)
{
    QRB_TestModel m = MET_BoxModel();
    m.myParts[0].myMaxDistanceSquared = 1.0e9f; // at the limit: left alone
    Open(m);
    EXPECT_TRUE(ourMessages.empty());
    QR_TemplatePart* p = e->GetPart(0);
    ASSERT_NE(p, nullptr);
    float locLast = 300.0f;
    p->myMesh->myLods[p->myMesh->myNumLods - 1].myLodDistance = locLast;
    p->myMaxDistanceSquared = locLast;
    e->RecreateInstance();
    ASSERT_EQ(ourMessages.size(), 1u);
    EXPECT_EQ(ourMessages[0], "Lods wrong, forcing closer no lod distance.");
    EXPECT_FLOAT_EQ(p->myMaxDistanceSquared, locLast * 0.99f);
    e->RecreateInstance();
    EXPECT_EQ(ourMessages.size(), 1u);
}

TEST_F(EditorScene, TemplateEditsRecreateTheInstanceInItsState)
{
    EXPECT_FALSE(e->AddNullObject("hand", "arm", "STND")); // no template
    Open(MET_BoxModel(), "WALK");
    ASSERT_TRUE(e->AddNullObject("hand", "arm", "JUMP"));
    EXPECT_EQ(e->GetInstance()->myNumPartInstances, 3u);
    EXPECT_EQ(e->GetUsedStates().Count(), 2);
    EXPECT_EQ(e->GetInstance()->myPartInstances[0].myCurrentState, 1u);
    ASSERT_TRUE(e->AddParticleEmitter("fx/sparks", "arm", "WALK"));
    EXPECT_EQ(e->GetTemplate()->myNumLinks, 1u);
    EXPECT_NE(e->GetInstance(), nullptr);
    EXPECT_TRUE(e->ReloadParticleEmitters());
    EXPECT_FALSE(e->RemoveParticleEmitter(1));
    EXPECT_NE(e->GetInstance(), nullptr);
    EXPECT_EQ(e->GetTemplate()->myNumLinks, 1u);
    EXPECT_TRUE(e->RemoveParticleEmitter(0));
    EXPECT_EQ(e->GetTemplate()->myNumLinks, 0u);
    // A failed change leaves no instance until the next good one.
    EXPECT_FALSE(e->AddParticleEmitter("fx/sparks", "leg", "WALK"));
    EXPECT_EQ(e->GetInstance(), nullptr);
    EXPECT_TRUE(e->Render());
}

TEST_F(EditorScene, TreeTextsDatumsAndKeptExpansion)
{
    QRB_TestModel m = MET_BoxModel();
    QRB_TestLight l;
    l.myPartIndex = 1;
    l.myStateId = StateCodeToId("WALK");
    m.myLights = {l};
    m.myParts[1].myStates.push_back(QRT_State(StateCodeToId("ZZZZ"), QRB_TestPath::Constant({0, 0, 0, 0, 0, 0})));
    Open(m);
    ASSERT_TRUE(e->AddParticleEmitter("fx/sparks", "arm", "WALK"));
    FakeTree t;
    EXPECT_TRUE(e->RebuildTree(&t));
    ASSERT_FALSE(t.myItems.empty());
    EXPECT_EQ(t.myItems[0].myText, "box.qrb");
    EXPECT_EQ(t.myItems[0].myData, 0);
    EXPECT_EQ(t.Children(1), (std::vector<std::string>{"body", "arm"}));
    EXPECT_EQ(t.Children(t.Find("body")), (std::vector<std::string>{"State 0 (Standing)", "State 1 (Walking)"}));
    EXPECT_EQ(t.Children(t.Find("arm")),
              (std::vector<std::string>{"State 0 (Standing)", "PE 0: fx/sparks:Walking", "Light 0: Walking",
                                        "State 1 (Walking)", "State 2 (ZZZZ)"}));
    EXPECT_EQ(t.myItems[t.Find("arm") - 1].myData, 1 << 16 | QRE_TREE_PART);
    EXPECT_EQ(t.myItems[t.Find("PE 0: fx/sparks:Walking") - 1].myData, QRE_TREE_EMITTER);
    EXPECT_EQ(t.myItems[t.Find("Light 0: Walking") - 1].myData, QRE_TREE_LIGHT);
    EXPECT_EQ(t.myItems[t.Find("State 2 (ZZZZ)") - 1].myData, 2 << 16 | QRE_TREE_STATE);

    e->ToggleExpandedItem("arm");
    e->ToggleExpandedItem("State 1 (Walking)");
    e->ToggleExpandedItem("gone");
    e->ToggleExpandedItem("gone");
    EXPECT_EQ(e->GetExpandedItems().Count(), 2);
    for (int i = 0; i < 2; i++)
    {
        EXPECT_TRUE(e->RebuildTree(&t));
        EXPECT_TRUE(t.myItems[t.Find("arm") - 1].myExpanded);
        EXPECT_TRUE(t.myItems[t.Find("State 1 (Walking)") - 1].myExpanded);
        EXPECT_FALSE(t.myItems[t.Find("body") - 1].myExpanded);
        EXPECT_EQ(e->GetExpandedItems().Count(), 2);
    }
    // The state survives the re-creation a rebuild makes.
    EXPECT_STREQ(e->GetActiveState(), "STND");
    EXPECT_NE(e->GetInstance(), nullptr);
}

TEST_F(EditorScene, ClearModelEmptiesCachesTemplatesAndMeshes)
{
    Open(MET_BoxModel());
    e->SetMeshVertexShader(e->GetTemplate()->myParts[0].myMesh, "FANCY");
    LWCache::ourObjects.push_back(std::make_unique<LWObject>());
    EXPECT_TRUE(e->ClearModel());
    EXPECT_FALSE(e->IsModelLoaded());
    EXPECT_EQ(e->GetInstance(), nullptr);
    EXPECT_EQ(e->GetTemplate(), nullptr);
    EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u);
    EXPECT_EQ(QR_Mesh::ourFirst, nullptr);
    EXPECT_TRUE(LWCache::ourObjects.empty());
    EXPECT_EQ(e->GetUsedStates().Count(), 0);
    // A new model opens after the clear.
    Open(MET_BoxModel());
    EXPECT_TRUE(e->IsModelLoaded());
}

} // namespace
