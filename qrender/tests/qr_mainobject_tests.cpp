// Placed objects over the recording device and a view: the state machine (ends, returns,
// blends, overrides), lights and emitters following states, fading with distance, skinned
// runs, the opaque and transparent lists, and templates read again under placed objects.
#include <gtest/gtest.h>

#include <math.h>
#include <filesystem>
#include <unistd.h>

#include "qcommon/tests/qc_debug_lines.h"
#include "qinput/qi_time.h"
#include "qrender/qr_genericparticleemittor.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_quaternion.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_pe_writer.h"
#include "qrender/tests/qr_qrb_model_writer.h"
#include "qrender/tests/qr_data_root.h"
#include "qrender/tests/qr_render_test_util.h"

namespace
{

const uint32_t WALK = 1, RUN = 2, JUMP = 3;

class MainObjectTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_TRUE(myRoot.Enter("placed_"));
        QRT_WriteFile("spark.tga", QRT_MakeTGA(8, 8, 32, std::vector<uint32_t>(64, 0xFFFFFFFFu), true, false));
        QR_SharedGenericParticleData d;
        d.myNumPhases = 1;
        d.myPhases = new QR_ParticlePhase[1]();
        d.myPhases[0].myLength = 1.0f;
        d.myPhases[0].myAlphaMax = d.myPhases[0].myAlphaMin = 255;
        d.mySpawnTime = 0.1f;
        d.myTotalTime = 100.0f;
        std::string s = QRT_WritePe(d, "INTERNAL_ALPHA", "spark");
        QRT_WriteFile("spark.pe", std::vector<uint8_t>(s.begin(), s.end()));
        QI_Time::ourTime = 10.0f;
        QI_Time::ourFrameTime = 0.02f;
        myView = new QR_View(64, nullptr, 64);
        myView->myCamera.myMatrix.SetTranslation(0, 0, -10);
        myView->MakeCurrent();
    }
    void TearDown() override
    {
        if (myInFrame)
            R()->EndFrame();
        delete myView;
        EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u);
        EXPECT_EQ(QR_Mesh::ourFirst, nullptr);
        EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
        QR_TemplateObject::DestroyAll();
        QR_Mesh::DestroyAll();
        RecordingRender::TearDown();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        myRoot.Leave();
    }
    void NewFrame(float aTime)
    {
        QI_Time::ourTime = aTime;
        if (myInFrame)
            R()->EndFrame();
        R()->BeginFrame();
        myInFrame = true;
        myView->BeginRender(false, 0);
    }
    static QR_MainObject* Place(const QRB_TestModel& aModel, const char* aName = "m.qrb")
    {
        QRT_WriteFile(aName, QRB_WriteModel(aModel));
        return QR_MainObject::Create(aName);
    }
    // A part holding a quad with states WALK (looping), RUN and JUMP (ends into aJumpNext).
    static QRB_TestPart Part(const std::string& aName, int32_t aJumpNext = -2)
    {
        QRB_TestPart p;
        p.myName = aName;
        p.myMeshName = "quad";
        p.myMesh = QRB_TestQuad("");
        QRB_TestState w;
        w.myId = WALK;
        w.myRemembered = 1;
        w.myPath = QRB_LinearPath({{0, {0, 0, 0, 0, 0, 0}}, {1, {2, 0, 0, 0, 0, 0}}}, true, 0.5f);
        QRB_TestState r = w;
        r.myId = RUN;
        r.myBlendTime = 0.5f;
        r.myPath = QRB_TestPath::Constant({0, 3, 0, 0, 0, 0});
        r.myPath.myLoopFlag = 1;
        QRB_TestState j;
        j.myId = JUMP;
        j.myDuration = 1.0f;
        j.myNextState = aJumpNext;
        j.myPath = QRB_TestPath::Constant({0, 0, 5, 0, 0, 0});
        p.myStates = {w, r, j};
        return p;
    }

    QR_View* myView = nullptr;
    bool myInFrame = false;
    QRT_DataRoot myRoot;
};

TEST_F(MainObjectTest, StatesEndReturnAndBlend)
{
    QRB_TestModel m;
    m.myParts = {Part("Body")};
    QR_MainObject* o = Place(m);
    ASSERT_NE(o, nullptr);
    QR_PartInstance& p = o->myPartInstances[0];
    EXPECT_EQ(p.myCurrentState, 0u); // the first state
    NewFrame(10.5f);
    o->Update(o->myMatrix);
    EXPECT_NEAR(p.myMatrix[12], 0.5f, 1e-5f); // half a pass at rate 0.5 and 0.5 s
    // An id no state has leaves the part and still gives true.
    EXPECT_TRUE(o->SetState(99, nullptr));
    EXPECT_EQ(p.myCurrentState, 0u);
    // JUMP ends after a second and returns (-2) to the remembered WALK.
    EXPECT_TRUE(o->SetState(JUMP, "body"));
    EXPECT_EQ(p.myCurrentState, 2u);
    EXPECT_EQ(p.myPreviousState, 0u);
    NewFrame(11.0f);
    o->Update(o->myMatrix);
    EXPECT_FLOAT_EQ(p.myMatrix[14], 5.0f);
    NewFrame(11.6f);
    o->Update(o->myMatrix);
    EXPECT_EQ(p.myCurrentState, 0u);
    // RUN from WALK blends over 0.5 s (longer than the frame).
    o->SetState(RUN, nullptr);
    ASSERT_NE(p.myBlend, nullptr);
    NewFrame(11.85f);
    o->Update(o->myMatrix);
    EXPECT_GT(p.myMatrix[13], 0.1f);
    EXPECT_LT(p.myMatrix[13], 2.9f);
    NewFrame(12.2f);
    o->Update(o->myMatrix);
    EXPECT_EQ(p.myBlend, nullptr);
    EXPECT_FLOAT_EQ(p.myMatrix[13], 3.0f);
    // Two looping states switch with the position carried over by the rates.
    EXPECT_FLOAT_EQ(o->GetStateLength(WALK, nullptr), 2.0f);
    o->SetStateLength(4.0f, WALK, "BODY");
    EXPECT_FLOAT_EQ(o->GetStateLength(WALK, nullptr), 4.0f);
    EXPECT_FLOAT_EQ(o->GetStateLength(77, nullptr), -1.0f);
    EXPECT_FLOAT_EQ(o->GetStateLength(WALK, "nobody"), -1.0f);
    delete o;
}

TEST_F(MainObjectTest, AStateOfRateZeroStartsAtItsBeginning)
{
    QRB_TestModel m;
    m.myParts = {Part("Body")};
    m.myParts[0].myStates[1].myPath = QRB_LinearPath({{0, {0, 0, 0, 0, 0, 0}}, {1, {0, 1, 0, 0, 0, 0}}}, true, 0.0f);
    QR_MainObject* o = Place(m);
    ASSERT_NE(o, nullptr);
    NewFrame(10.3f);
    o->Update(o->myMatrix);
    o->SetState(RUN, nullptr);
    EXPECT_FLOAT_EQ(o->myPartInstances[0].myStateStartTime, 10.3f);
    EXPECT_TRUE(std::isfinite(o->myPartInstances[0].myStateStartTime));
    delete o;
}

TEST_F(MainObjectTest, OverridesReplaceRotationAndTranslation)
{
    QRB_TestModel m;
    m.myParts = {Part("Body"), Part("Head")};
    m.myParts[1].myStates[0].myParent = 0;
    QR_MainObject* o = Place(m);
    ASSERT_NE(o, nullptr);
    EXPECT_FALSE(o->SetPartPosition(1, 2, 3, "tail"));
    EXPECT_TRUE(o->SetPartPosition(1, 2, 3, "HEAD"));
    const float r[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    EXPECT_TRUE(o->SetPartRotation(r, "Body", 0.0f));
    float locOut[9] = {};
    EXPECT_TRUE(o->GetPartRotation("body", locOut));
    EXPECT_FLOAT_EQ(locOut[1], 1.0f);
    NewFrame(10.0f);
    o->myMatrix.SetTranslation(0, 0, 1);
    o->Update(o->myMatrix);
    EXPECT_FLOAT_EQ(o->myPartInstances[0].myMatrix[1], 1.0f);
    EXPECT_FLOAT_EQ(o->myPartInstances[0].myMatrix[14], 1.0f);
    EXPECT_FLOAT_EQ(o->myPartInstances[1].myMatrix[12], 1.0f);
    EXPECT_FLOAT_EQ(o->myPartInstances[1].myMatrix[14], 3.0f);
    // With a blend time the rotation is reached over it.
    const float r2[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_TRUE(o->SetPartRotation(r2, "Body", 1.0f));
    NewFrame(10.5f);
    o->Update(o->myMatrix);
    EXPECT_NEAR(o->myPartInstances[0].myMatrix[0], cosf(0.7853982f), 1e-3f);
    NewFrame(11.5f);
    o->Update(o->myMatrix);
    EXPECT_FLOAT_EQ(o->myPartInstances[0].myMatrix[0], 1.0f);
    delete o;
}

TEST_F(MainObjectTest, LightsAndEmittersFollowTheirStates)
{
    QRB_TestModel m;
    m.myParts = {Part("Body")};
    QRB_TestLight l;
    l.myPartIndex = 0;
    l.myStateId = WALK; // the first state: on at once
    m.myLights.push_back(l);
    l.myStateId = RUN;
    m.myLights.push_back(l);
    l.myPartIndex = -1; // never switched by a state
    l.myStateId = WALK;
    m.myLights.push_back(l);
    m.myLinks.push_back({0, "spark", RUN});
    QR_MainObject* o = Place(m);
    ASSERT_NE(o, nullptr);
    EXPECT_FLOAT_EQ(o->myLightStartTimes[0], 10.0f);
    EXPECT_FLOAT_EQ(o->myLightStartTimes[1], -1.0f);
    EXPECT_FLOAT_EQ(o->myLightStartTimes[2], -1.0f);
    EXPECT_EQ(o->myLights[0].myLightMask, 2u);
    ASSERT_NE(o->myEmitters[0], nullptr);
    EXPECT_FALSE(o->myEmitters[0]->IsActive());
    NewFrame(10.5f);
    o->SetState(RUN, nullptr);
    EXPECT_FLOAT_EQ(o->myLightStartTimes[0], -1.0f);
    EXPECT_FLOAT_EQ(o->myLightStartTimes[1], 10.5f);
    EXPECT_TRUE(o->myEmitters[0]->IsActive());
    // Two updates in one frame move the parts once but hand the lights over twice.
    o->Update(o->myMatrix);
    o->Update(o->myMatrix);
    EXPECT_EQ(myView->myLights.Count(), 2);
    o->Render();
    QR_GenericParticleEmitter* e = static_cast<QR_GenericParticleEmitter*>(o->myEmitters[0]);
    EXPECT_EQ(e->myNumParticles, 1u);
    // Leaving the state ends the spawning; the emitter stops when its particles are gone.
    o->SetState(WALK, nullptr);
    EXPECT_LT(e->myStartTime, -1.0e38f);
    delete o;
}

TEST_F(MainObjectTest, PartsFadeWithDistanceAndGoToTheirLists)
{
    QRB_TestModel m;
    m.myParts = {Part("Near"), Part("Far")};
    m.myParts[0].myMaxDistanceSquared = 1000.0f;
    // The camera is 10 units away: d2 = 100 is 0.4 and 0.7 of these.
    m.myParts[1].myMaxDistanceSquared = 100.0f / 0.7f;
    QR_MainObject* o = Place(m);
    ASSERT_NE(o, nullptr);
    o->myColor = 0xFF102030;
    NewFrame(10.0f);
    o->Render(); // refused: not updated in this frame
    EXPECT_EQ(myView->myNumOpaqueObjects + myView->myNumTransparentObjects, 0u);
    o->Update(o->myMatrix);
    EXPECT_TRUE(o->IsVisible());
    QR_Render::ourStats.ResetFrame();
    o->Render();
    ASSERT_EQ(myView->myNumOpaqueObjects, 1u);
    ASSERT_EQ(myView->myNumTransparentObjects, 1u);
    const QR_OpaqueRecord& a = myView->myOpaqueRecords[0];
    EXPECT_EQ(a.myPart, &o->myPartInstances[0]);
    EXPECT_EQ(a.mySortKey, &a.myKey);
    EXPECT_EQ(a.mySurfaceColor, 0xFF102030u);
    EXPECT_FLOAT_EQ(a.myLodDistance, 100.0f);
    // Depth key: 10 x 16383 / (1000 x 1.414214).
    EXPECT_EQ(a.myKey & 0x3FFF, 115u);
    const QR_TransparentRecord& t = myView->myTransparentRecords[0];
    EXPECT_EQ(t.myPart, &o->myPartInstances[1]);
    EXPECT_EQ(t.mySurfaceColor >> 24, 127u); // trunc(0.3 x 1.6666666 x 255)
    EXPECT_EQ(QR_Render::ourStats.myDrawnParts, 2u);
    // Beyond the far plane the depth key stays within its 14 bits.
    myView->myCamera.SetClipPlanes(1.0f, 5.0f);
    NewFrame(10.1f);
    o->Update(o->myMatrix);
    o->Render();
    EXPECT_EQ(myView->myOpaqueRecords[0].myKey & ~0x3FFFu, o->myPartInstances[0].mySortKey);
    EXPECT_EQ(myView->myOpaqueRecords[0].myKey & 0x3FFF, 16383u);
    // Alpha 0 hides the object; a part alpha halves its alpha.
    o->SetAlpha(128, "near");
    NewFrame(10.2f);
    o->Update(o->myMatrix);
    o->Render();
    EXPECT_EQ(myView->myNumOpaqueObjects, 0u);
    EXPECT_EQ(myView->myTransparentRecords[0].mySurfaceColor >> 24, 128u);
    o->SetAlpha(0);
    NewFrame(10.3f);
    o->UpdateIfShown();
    EXPECT_NE(o->myLastUpdateFrame, (int32_t)QR_Render::ourFrameCount);
    delete o;
}

TEST_F(MainObjectTest, SkinnedRunsDrawOnceWithTheirBones)
{
    QRB_TestModel m;
    for (int i = 0; i < 3; i++)
    {
        m.myParts.push_back(Part("bone" + std::to_string(i)));
        m.myParts.back().mySkinGroup = 0;
        m.myParts.back().myMatrix[12] = (float)i; // rest matrices
    }
    m.myParts.push_back(Part("alone"));
    m.myParts.push_back(Part("stateless"));
    m.myParts.back().myStates.clear(); // never updated nor drawn
    QR_MainObject* o = Place(m);
    ASSERT_NE(o, nullptr);
    NewFrame(10.0f);
    o->Update(o->myMatrix);
    o->Render();
    ASSERT_EQ(myView->myNumOpaqueObjects, 2u);
    EXPECT_EQ(myView->myOpaqueRecords[0].myPart, &o->myPartInstances[0]);
    EXPECT_EQ(myView->myOpaqueRecords[0].myNumBoneMatrices, 3u);
    EXPECT_EQ(myView->myOpaqueRecords[1].myPart, &o->myPartInstances[3]);
    EXPECT_EQ(myView->myOpaqueRecords[1].myNumBoneMatrices, 0u);
    EXPECT_EQ(o->myPartInstances[0].myNextBone, &o->myPartInstances[1]);
    EXPECT_EQ(o->myPartInstances[2].myNextBone, nullptr);
    EXPECT_EQ(o->myPartInstances[1].myRestMatrix, &o->myTemplate->myParts[1].myMatrix);
    // The view draws the run with a palette of three.
    QR_View::ourSkippedDraws = 0;
    myView->Flush();
    EXPECT_EQ(QR_View::ourSkippedDraws, 0u);
    delete o;
}

// A texture override that cannot be made leaves the part drawn without its
// surface, and a debug line says which texture of which model.
TEST_F(MainObjectTest, AnOverrideWithAMissingTextureIsLogged)
{
    QRB_TestModel m;
    m.myParts = {Part("Body"), Part("Lid")};
    m.myParts[1].myMeshName = "solid_quad";
    m.myParts[1].myMesh = QRB_TestQuad("INTERNAL_SOLID");
    m.myParts[1].mySlots = {{0, 1.0f, {"spark", "no_such_wood"}}};
    DebugLines locLog;
    QR_MainObject* o = Place(m, "crate.qrb");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->myPartInstances[1].mySurfaceInstance, nullptr);
    ASSERT_EQ(locLog.myLines.size(), 1u);
    EXPECT_EQ(locLog.myLines[0], "QR_MainObject: model 'crate.qrb', part 'Lid': texture 'no_such_wood' cannot be made");
    NewFrame(10.0f);
    o->Update(o->myMatrix);
    o->Render();
    EXPECT_EQ(myView->myNumOpaqueObjects, 2u); // both parts still drawn
    delete o;
}

TEST_F(MainObjectTest, ReloadedTemplatesRebuildTheirPlacedObjects)
{
    QRB_TestModel m;
    m.myParts = {Part("Body")};
    QR_MainObject* o = Place(m);
    ASSERT_NE(o, nullptr);
    m.myParts.push_back(Part("Head"));
    m.myParts[1].myStates.resize(1);
    QRT_WriteFile("m.qrb", QRB_WriteModel(m));
    ASSERT_TRUE(QR_TemplateObject::ReloadAll());
    NewFrame(10.0f);
    o->Update(o->myMatrix);
    EXPECT_EQ(o->myNumPartInstances, 2u);
    o->Render();
    EXPECT_EQ(myView->myNumOpaqueObjects, 2u);
    // Read again with fewer parts: every operation sees the new parts at once.
    m.myParts.resize(1);
    QRT_WriteFile("m.qrb", QRB_WriteModel(m));
    ASSERT_TRUE(QR_TemplateObject::ReloadAll());
    o->Render(); // the parts of the earlier reading are not drawn
    EXPECT_FLOAT_EQ(o->GetStateLength(WALK, "head"), -1.0f);
    EXPECT_FALSE(o->SetPartPosition(0, 0, 0, "head"));
    o->SetAlpha(10, "head");
    EXPECT_TRUE(o->SetState(RUN, nullptr));
    EXPECT_EQ(o->myNumPartInstances, 1u);
    delete o;
}

} // namespace
