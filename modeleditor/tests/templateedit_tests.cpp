// Template part, state and emitter-link editing over templates read from our
// own model writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "modeleditor/editorerror.h"
#include "modeleditor/tests/me_testmodel.h"
#include "qcommon/qc_string.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"

namespace
{

class TemplateEdit : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string locDir = std::string(Q_TEST_TMP_DIR) + "/edit";
        std::filesystem::remove_all(locDir);
        std::filesystem::create_directories(locDir);
        ASSERT_TRUE(QRT_WriteSampleFolder(locDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(locDir.c_str()), 0);
        QR_RenderSettings s;
        s.myFullScreenFlag = 0;
        s.myWidth = 64;
        s.myHeight = 64;
        ASSERT_TRUE(QR_Render::Create(nullptr, nullptr));
        ASSERT_TRUE(QR_Render::ourInstance->Init(&s));
        QRB_TestModel m = MET_BoxModel();
        // The body gets three states with linked indices: 1, 3 (next 2 -> 5), 5 (next 0 -> 1).
        m.myParts[0].myStates = {QRT_State(1, QRB_TestPath::Constant({0, 0, 0, 0, 0, 0})),
                                 QRT_State(3, QRB_TestPath::Constant({0, 0, 0, 0, 0, 0})),
                                 QRT_State(5, QRB_TestPath::Constant({0, 0, 0, 0, 0, 0}))};
        m.myParts[0].myStates[1].myNextState = 2;
        m.myParts[0].myStates[1].myDuration = 0.1f;
        m.myParts[0].myStates[2].myNextState = 1;
        m.myParts[0].myStates[2].myDuration = 0.1f;
        // The arm moves in x from 1 to 3 over its first state.
        m.myParts[1].myStates[0].myPath = QRB_LinearPath({{0, {1, 2, 3, 0.1f, 0.2f, 0.3f}}, {1, {3, 2, 3, 0.1f, 0.2f, 0.3f}}}, true, 1.0f);
        myTemplate = MET_LoadModel(m);
        ASSERT_NE(myTemplate, nullptr);
    }
    void TearDown() override
    {
        if (myTemplate)
            myTemplate->Release();
        QR_Render::Destroy();
        QR_TemplateObject::DestroyAll();
        QR_Mesh::DestroyAll();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        EXPECT_EQ(chdir(myOldDir), 0);
    }
    QR_TemplatePart& Body() { return myTemplate->myParts[0]; }
    QR_TemplatePart& Arm() { return myTemplate->myParts[1]; }

    QR_TemplateObject* myTemplate = nullptr;
    char myOldDir[4096];
};

TEST_F(TemplateEdit, RemovingAStateShiftsAndCutsTheLinks)
{
    ASSERT_EQ(Body().myNumStates, 3u);
    EXPECT_FALSE(RemovePartState(&Body(), 4));
    EXPECT_EQ(EditorError::ourCode, (uint32_t)EDITOR_ERROR_STATE_NOT_FOUND);
    EXPECT_EQ(Body().myNumStates, 3u);

    ASSERT_TRUE(RemovePartState(&Body(), 3));
    ASSERT_EQ(Body().myNumStates, 2u);
    EXPECT_EQ(Body().myStates[0].myId, 1u);
    EXPECT_EQ(Body().myStates[1].myId, 5u);
    // State 5 pointed at index 1, the removed one: no next state now.
    EXPECT_EQ(Body().myStates[1].myNextState, -1);
    EXPECT_EQ(Body().myStates[1].myDuration, -1.0f);

    ASSERT_TRUE(RemovePartState(&Body(), 1));
    EditorError::ourCode = 0;
    EXPECT_FALSE(RemovePartState(&Body(), 5));
    EXPECT_EQ(EditorError::ourCode, (uint32_t)EDITOR_ERROR_DELETE_LAST_STATE);
    EXPECT_EQ(Body().myNumStates, 1u);
    EXPECT_EQ(Body().myStates[0].myId, 5u);
}

TEST_F(TemplateEdit, ALinkPastTheRemovedStateMovesDown)
{
    // 3 -> index 2 (state 5); removing state 1 (index 0) makes it index 1.
    ASSERT_TRUE(RemovePartState(&Body(), 1));
    EXPECT_EQ(Body().myStates[0].myId, 3u);
    EXPECT_EQ(Body().myStates[0].myNextState, 1);
    EXPECT_EQ(Body().myStates[1].myNextState, 0); // was 1, pointed at state 3 now at 0
}

TEST_F(TemplateEdit, PoseReadAndMovedOverEveryKey)
{
    float p[3], o[3];
    ASSERT_TRUE(GetPartChannelValues(myTemplate, StateCodeToId("STND"), "ARM", p, o));
    EXPECT_FLOAT_EQ(p[0], 1.0f);
    EXPECT_FLOAT_EQ(p[1], 2.0f);
    EXPECT_FLOAT_EQ(o[2], 0.3f);
    // A missing state or part is refused, nothing read past the records.
    EXPECT_FALSE(GetPartChannelValues(myTemplate, StateCodeToId("JUMP"), "arm", p, o));
    EXPECT_FALSE(GetPartChannelValues(myTemplate, StateCodeToId("STND"), "leg", p, o));
    EXPECT_FALSE(SetPartStatePose(myTemplate, StateCodeToId("JUMP"), p, o, "arm"));

    QR_SplinePath locBefore = Arm().myStates[0].myPath;
    ASSERT_TRUE(SetPartStatePose(myTemplate, StateCodeToId("STND"), p, o, "arm"));
    const QR_SplinePath& a = Arm().myStates[0].myPath;
    for (uint32_t i = 0; i < a.myNumKeys * a.myKeySizeInFloats; i++)
        EXPECT_EQ(a.myKeys[i], locBefore.myKeys[i]);

    p[0] += 1.0f;
    ASSERT_TRUE(SetPartStatePose(myTemplate, StateCodeToId("STND"), p, o, "arm"));
    float v0[16], v1[16];
    a.GetValue(0.0f, v0);
    a.GetValue(0.999f, v1);
    EXPECT_NEAR(v0[0], 2.0f, 1e-4);
    EXPECT_NEAR(v1[0], 4.0f, 1e-2);
    EXPECT_NEAR(v0[1], 2.0f, 1e-4);
}

TEST_F(TemplateEdit, AddedStateIsStillAtTheFirstStatesStartingPose)
{
    ASSERT_TRUE(AddPartState(&Arm(), StateCodeToId("JUMP")));
    ASSERT_EQ(Arm().myNumStates, 3u);
    const QR_TemplateState& s = Arm().myStates[2];
    EXPECT_EQ(s.myId, StateCodeToId("JUMP"));
    EXPECT_EQ(s.myNextState, -1);
    EXPECT_EQ(s.myBlendTime, -1.0f);
    EXPECT_EQ(s.myDuration, -1.0f);
    EXPECT_EQ(s.myParent, Arm().myStates[0].myParent);
    EXPECT_FALSE(s.myIsVisible);
    EXPECT_TRUE(s.myIsRemembered);
    float v0[16], v1[16];
    s.myPath.GetValue(0.0f, v0);
    s.myPath.GetValue(0.7f, v1);
    EXPECT_FLOAT_EQ(v0[0], 1.0f);
    EXPECT_FLOAT_EQ(v1[0], 1.0f);
    EXPECT_FLOAT_EQ(v0[5], 0.3f);
    // A first path of nine channels is evaluated whole (no write past a six-float buffer).
    Body().myStates[0].myPath.Free();
    float locNine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    Body().myStates[0].myPath.myNumChannels = 9;
    Body().myStates[0].myPath.myKeyedMask = 0;
    Body().myStates[0].myPath.myConstants = new float[9];
    memcpy(Body().myStates[0].myPath.myConstants, locNine, sizeof(locNine));
    Body().myStates[0].myPath.myNumKeys = 1;
    ASSERT_TRUE(AddPartState(&Body(), 77));
    Body().myStates[3].myPath.GetValue(0.0f, v0);
    EXPECT_FLOAT_EQ(v0[5], 6.0f);
}

TEST_F(TemplateEdit, EmitterLinksAddedRemovedAndReloaded)
{
    EXPECT_FALSE(AddEmitterLink(myTemplate, "fx/sparks", "leg", 1));
    EXPECT_EQ(myTemplate->myNumLinks, 0u);
    EXPECT_FALSE(AddEmitterLink(myTemplate, "fx/none", "arm", 1));
    EXPECT_EQ(myTemplate->myNumLinks, 0u);
    ASSERT_TRUE(AddEmitterLink(myTemplate, "fx/sparks", "arm", 7));
    ASSERT_TRUE(AddEmitterLink(myTemplate, "fx/sparks", "body", 8));
    ASSERT_EQ(myTemplate->myNumLinks, 2u);
    QR_SharedParticleData* d = myTemplate->myLinks[0].myDefinition;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myRefCount, 2);
    EXPECT_EQ(myTemplate->myLinks[0].myPartIndex, 1u);
    EXPECT_EQ(myTemplate->myLinks[1].myStateId, 8u);

    EXPECT_TRUE(ReloadEmitterLinks(myTemplate));
    ASSERT_EQ(myTemplate->myNumLinks, 2u);
    EXPECT_NE(myTemplate->myLinks[0].myDefinition, nullptr);
    EXPECT_EQ(myTemplate->myLinks[1].myStateId, 8u);

    EXPECT_FALSE(RemoveEmitterLink(myTemplate, 2));
    EXPECT_EQ(myTemplate->myNumLinks, 2u);
    ASSERT_TRUE(RemoveEmitterLink(myTemplate, 0));
    ASSERT_EQ(myTemplate->myNumLinks, 1u);
    EXPECT_EQ(myTemplate->myLinks[0].myStateId, 8u);
    EXPECT_EQ(myTemplate->myLinks[0].myDefinition->myRefCount, 1);
    ASSERT_TRUE(RemoveEmitterLink(myTemplate, 0));
    EXPECT_EQ(myTemplate->myLinks, nullptr);
    EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
}

TEST_F(TemplateEdit, NullPartsKeepTheOtherParts)
{
    QR_Mesh* locMesh = Body().myMesh;
    ASSERT_TRUE(AddNullPart(myTemplate, "hand", 9, "ARM"));
    ASSERT_TRUE(AddNullPart(myTemplate, "loose", 9, "nothing"));
    ASSERT_EQ(myTemplate->myNumParts, 4u);
    EXPECT_EQ(Body().myMesh, locMesh);
    EXPECT_STREQ(Body().myName, "body");
    EXPECT_EQ(Body().myNumStates, 3u);
    const QR_TemplatePart& h = myTemplate->myParts[2];
    EXPECT_STREQ(h.myName, "hand");
    EXPECT_EQ(h.myMesh, nullptr);
    ASSERT_EQ(h.myNumStates, 1u);
    EXPECT_EQ(h.myStates[0].myParent, 1);
    EXPECT_TRUE(h.myStates[0].myIsVisible);
    EXPECT_EQ(h.myStates[0].myPath.myNumChannels, 6u);
    EXPECT_FALSE(h.myStates[0].myPath.myIsLooping);
    EXPECT_EQ(myTemplate->myParts[3].myStates[0].myParent, -1);
    EXPECT_EQ(FindPartByName(myTemplate, "HAND"), 2);
    EXPECT_EQ(FindPartByName(myTemplate, "foot"), -1);
}

TEST(StateCode, WordsAndTextsRoundTrip)
{
    EXPECT_EQ(StateCodeToId("STND"), (uint32_t)('S' << 24 | 'T' << 16 | 'N' << 8 | 'D'));
    char c[5];
    StateIdToCode(StateCodeToId("WALK"), c);
    EXPECT_STREQ(c, "WALK");
    EXPECT_EQ(StateCodeToId("AB"), (uint32_t)('A' << 24 | 'B' << 16));
    EXPECT_EQ(StateCodeToId(nullptr), 0u);
}

TEST(QCString, AppendStringJoinsAndKeepsTheLengthLimit)
{
    QC_String a("Active state is ");
    QC_String b("WALK");
    EXPECT_STREQ(a.AppendString(b), "Active state is WALK");
    QC_String e;
    e.AppendString(QC_String());
    EXPECT_TRUE(e.IsEmpty());
    std::string locLong(40000, 'x');
    QC_String l(locLong.c_str());
    l.AppendString(QC_String(locLong.c_str()));
    EXPECT_EQ(l.GetLength(), 65534);
}

} // namespace
