// The edit commands carried out on the editor scene: each command's change to
// a model built in memory, its error codes, and a history saved as .qre and
// replayed onto a fresh model giving the same exported file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/qrbwriter.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "modeleditor/tests/me_qrbmodel.h"
#include "platform/input/in_script.h"
#include "platform/os/os_ui.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertexshader.h"

namespace fs = std::filesystem;

namespace
{

std::vector<std::string> ourMessages;
int locScriptedBox(const char* aText, const char*, int)
{
    ourMessages.push_back(aText);
    return OS_ID_OK;
}

class SceneCommands : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/commands";
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        ASSERT_TRUE(QRT_WriteSampleFolder(myDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        ourMessages.clear();
        myOldHook = OS_SetMessageBoxHook(locScriptedBox);
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        myScript->SetFocusWindow(true);
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
        ASSERT_NE(QRECommand::ourExecuteHook, nullptr);
    }
    void TearDown() override
    {
        CommandHandler::Destroy();
        QRenderEditor::Destroy();
        EXPECT_EQ(QRECommand::ourExecuteHook, nullptr);
        myScript.reset();
        OS_SetMessageBoxHook(myOldHook);
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        EXPECT_EQ(chdir(myOldDir), 0);
    }
    void Open()
    {
        t = MET_BuildRichTemplate("rich");
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(e->SetModel(t, "STND"));
    }
    // One line of aVersion parsed and carried out.
    bool Run(const std::string& aLine, uint32_t aVersion = QRECommand::CURRENT_VERSION)
    {
        std::unique_ptr<QRECommand> c(QRE_CreateCommand(aLine.c_str(), (uint32_t)aLine.find(' ')));
        EXPECT_NE(c, nullptr) << aLine;
        if (!c)
            return false;
        std::vector<char> locLine(aLine.begin(), aLine.end());
        locLine.push_back(0);
        EXPECT_TRUE(ParseQRECommand(*c, locLine.data(), aVersion)) << aLine;
        EditorError::Set(0);
        return c->Execute(aVersion);
    }
    QR_TemplatePart& Part(uint32_t i) { return t->myParts[i]; }

    QRenderEditor* e = nullptr;
    QR_TemplateObject* t = nullptr;
    std::string myDir;
    char myOldDir[4096];
    std::unique_ptr<IN_Script> myScript;
    OS_MessageBoxHook myOldHook = nullptr;
};

TEST_F(SceneCommands, WithoutAModelTheModelCommandsFailWithTheirCodes)
{
    struct
    {
        const char* myLine;
        uint32_t myCode;
    } locCases[] = {
        {"ADDJOINTSTATE 0 \"JUMP\"", 29},
        {"REMOVEBONESTATE 0 0", 29},
        {"EDITJOINTSTATE 0 0 \"STND\" -1 0.000 0.000 0 1 0 1", 29},
        {"EDITPOSITIONORIENTATION \"hull\" \"STND\" 0 0 0 0 0 0", 29},
        {"EDITLIGHTSOURCE 0 \"NULL\" 0.100", 35},
        {"SELECTSURFACE \"surfaces/fire.sur\" 0 0", 29},
        {"CHANGETEXTURE \"textures/wood\" 0 0", 29},
        {"ADDPARTICLEEMITTOR \"fx/sparks\" \"STND\" \"hull\"", 32},
        {"REMOVEPARTICLEEMITTOR 0", 34},
        {"ADDNULLOBJECT \"n\" \"STND\" \"hull\"", 31},
        {"EDITMESH \"nothing\" 0 \"NORMAL_MESH\" 0", 36},
    };
    for (const auto& c : locCases)
    {
        EXPECT_FALSE(Run(c.myLine)) << c.myLine;
        EXPECT_EQ(EditorError::Get(), c.myCode) << c.myLine;
    }
    // These do nothing without a model and succeed.
    EXPECT_TRUE(Run("EDITBONE 0 4.000 1"));
    EXPECT_TRUE(Run("EDITOBJECT 3.000 1.000 2.000 3.000"));
    // Not available without the LightWave template building.
    EXPECT_FALSE(Run("ADDMODELHIERARCHY \"a\" \"b\" \"c\""));
}

TEST_F(SceneCommands, SceneSettingsCommands)
{
    EXPECT_TRUE(Run("DEFAULTSURFACE \"\""));
    EXPECT_STREQ(e->myDefaultSurface, "INTERNAL_SOLID");
    EXPECT_TRUE(Run("DEFAULTSURFACE \"surfaces/stone.sur\""));
    EXPECT_STREQ(e->myDefaultSurface, "surfaces/stone.sur");
    EXPECT_TRUE(Run("HALOFILE \"\""));
    EXPECT_STREQ(e->myDefaultHaloSurface, "");
    EXPECT_TRUE(Run("HALOFILE \"INTERNAL_ALPHA\""));
    EXPECT_STREQ(e->myDefaultHaloSurface, "INTERNAL_ALPHA");
    EXPECT_TRUE(Run("DEFAULTLODDISTANCE 10.000 5.000 30.000 40.000"));
    EXPECT_EQ(e->myLodDistances[0], 10.0f);
    EXPECT_EQ(e->myLodDistances[1], 5.0f);
    EXPECT_EQ(e->myLodDistances[3], 40.0f);
    // The handler's working directory and default surface come from the scene.
    e->SetWorkDir("/some/where");
    ASSERT_TRUE(CommandHandler::Create());
    CommandHandler::Get()->PrependWorkDir();
    auto* w = static_cast<WorkDirCommand*>(CommandHandler::Get()->GetHistory().GetFirst());
    EXPECT_STREQ(w->myDirectory, "/some/where/");
}

TEST_F(SceneCommands, JointStatesAreAddedRemovedAndEdited)
{
    Open();
    uint32_t locParent = Part(1).myStates[0].myParent;
    ASSERT_TRUE(Run("ADDJOINTSTATE 1 \"JUMPING\""));
    ASSERT_EQ(Part(1).myNumStates, 3u);
    EXPECT_EQ(Part(1).myStates[2].myId, StateCodeToId("JUMP"));
    EXPECT_EQ((uint32_t)Part(1).myStates[2].myParent, locParent);
    // Version 0 holds the code as a number; the part index's high bits are ignored.
    ASSERT_TRUE(Run("ADDJOINTSTATE 7 65537 1380275273", 0));
    EXPECT_EQ(Part(1).myStates[3].myId, 1380275273u);
    EXPECT_FALSE(Run("ADDJOINTSTATE 99 \"JUMP\""));
    EXPECT_EQ(EditorError::Get(), 29u);

    // The locator has two states: one goes, the last cannot.
    EXPECT_FALSE(Run("REMOVEBONESTATE 3 2"));
    EXPECT_EQ(EditorError::Get(), 29u);
    ASSERT_TRUE(Run("REMOVEBONESTATE 3 1"));
    EXPECT_EQ(Part(3).myNumStates, 1u);
    EXPECT_FALSE(Run("REMOVEBONESTATE 3 0"));
    EXPECT_EQ(EditorError::Get(), 37u);

    ASSERT_TRUE(Run("EDITJOINTSTATE 0 1 \"RUNS\" -2 0.500 1.250 0 0 1 0"));
    const QR_TemplateState& s = Part(0).myStates[1];
    EXPECT_EQ(s.myId, StateCodeToId("RUNS"));
    EXPECT_EQ(s.myNextState, -2);
    EXPECT_EQ(s.myBlendTime, 0.5f);
    EXPECT_EQ(s.myDuration, 1.25f);
    EXPECT_FALSE(s.myPath.myIsLooping);
    EXPECT_FALSE(s.myIsVisible);
    EXPECT_TRUE(s.myRestarts);
    EXPECT_FALSE(s.myIsRemembered);
    EXPECT_TRUE(Run("EDITJOINTSTATE 0 1 \"RUNS\" -1 0.500 1.250 1 1 0 0"));
    EXPECT_EQ(Part(0).myStates[1].myNextState, -1);
    // Before version 3 the line has no solid flag: solid.
    EXPECT_TRUE(Run("EDITJOINTSTATE 0 0 1 \"RUNS\" 0 0.500 1.250 1 1 0", 2));
    EXPECT_TRUE(Part(0).myStates[1].myIsRemembered);
    // A version-0 line keeps the code.
    EXPECT_TRUE(Run("EDITJOINTSTATE 0 0 1 1234 0 0.500 1.250 1 1 0", 0));
    EXPECT_EQ(Part(0).myStates[1].myId, StateCodeToId("RUNS"));
    // Next states past the list, below -2, or a missing joint state: 29.
    for (const char* locLine : {"EDITJOINTSTATE 0 1 \"RUNS\" 2 0 0 1 1 0 0", "EDITJOINTSTATE 0 1 \"RUNS\" -3 0 0 1 1 0 0",
                                "EDITJOINTSTATE 0 2 \"RUNS\" 0 0 0 1 1 0 0"})
    {
        EXPECT_FALSE(Run(locLine)) << locLine;
        EXPECT_EQ(EditorError::Get(), 29u);
    }
}

TEST_F(SceneCommands, EditAllJointStateChangesWhatDiffersInEveryOtherPart)
{
    Open();
    // Part 4's WALK differs from the reference in its blend time only.
    Part(4).myStates[1].myBlendTime = 0.9f;
    Part(5).myStates[1].myNextState = -1;
    ASSERT_TRUE(Run("EDITALLJOINTSTATE 0 1 \"WALK\" 0 0.250 3.000 1 0 1 1"));
    const QR_TemplateState& r = Part(0).myStates[1];
    EXPECT_EQ(r.myDuration, 2.0f); // the reference is left
    EXPECT_TRUE(r.myIsVisible);
    for (uint32_t i = 1; i < t->myNumParts; i++)
    {
        const QR_TemplateState& s = Part(i).myStates[1];
        SCOPED_TRACE(i);
        EXPECT_EQ(s.myDuration, 3.0f);
        EXPECT_FALSE(s.myIsVisible);
        EXPECT_TRUE(s.myPath.myIsLooping);
        // The blend time equals the reference's: not touched.
        EXPECT_EQ(s.myBlendTime, i == 4 ? 0.9f : 0.25f);
        // Next state 0 of the reference is its STND: each part's own STND.
        EXPECT_EQ(s.myNextState, 0);
    }
    EXPECT_TRUE(Run("EDITALLJOINTSTATE 0 1 \"WALK\" -2 0.250 3.000 1 0 1 1"));
    EXPECT_EQ(Part(6).myStates[1].myNextState, -2);
    EXPECT_EQ(Part(0).myStates[1].myNextState, 0);
}

TEST_F(SceneCommands, EditBoneSetsThePartAndItsDescendantsOnly)
{
    Open();
    float locBefore[7];
    for (uint32_t i = 0; i < 7; i++)
        locBefore[i] = Part(i).myMaxDistanceSquared;
    // Bones 4, 5, 6 form a chain; their arm's last level is far away.
    ASSERT_TRUE(Run("EDITBONE 4 900.000 1"));
    for (uint32_t i = 0; i < 7; i++)
        EXPECT_EQ(Part(i).myMaxDistanceSquared, i >= 4 ? 900.0f : locBefore[i]) << i;
    // Without all children only the part; a mesh's last level limits the value.
    Part(0).myMesh->myLods[2].myLodDistance = 1600.0f;
    ASSERT_TRUE(Run("EDITBONE 0 5000.000 0"));
    EXPECT_EQ(Part(0).myMaxDistanceSquared, 1600.0f);
    EXPECT_EQ(Part(1).myMaxDistanceSquared, locBefore[1]);
    EXPECT_TRUE(Run("EDITBONE 0 5000.000 1"));
    EXPECT_EQ(Part(2).myMaxDistanceSquared, 1600.0f); // the hull copy shares the mesh
    EXPECT_EQ(Part(3).myMaxDistanceSquared, 5000.0f);
    EXPECT_EQ(Part(4).myMaxDistanceSquared, 5000.0f); // bone0 hangs below the hull
    // The whole value is the index: out of range does nothing.
    EXPECT_TRUE(Run("EDITBONE 65536 1.000 1"));
    EXPECT_EQ(Part(0).myMaxDistanceSquared, 1600.0f);
}

TEST_F(SceneCommands, EditBoneReachesEveryDescendantOfALongChain)
{
    // 300 null parts, each below the one before: more than a 256-entry table holds.
    t = MET_BuildSharedMeshTemplate("chain", "");
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(e->SetModel(t, "STND"));
    for (int i = 0; i < 298; i++)
        ASSERT_TRUE(AddNullPart(t, ("n" + std::to_string(i)).c_str(), StateCodeToId("STND"),
                                i ? ("n" + std::to_string(i - 1)).c_str() : "second"));
    ASSERT_EQ(t->myNumParts, 300u);
    ASSERT_TRUE(Run("EDITBONE 1 77.000 1"));
    EXPECT_EQ(Part(0).myMaxDistanceSquared, 1.0e15f);
    for (uint32_t i = 1; i < 300; i++)
        ASSERT_EQ(Part(i).myMaxDistanceSquared, i == 1 ? std::min(77.0f, Part(1).myMesh->myLods[1].myLodDistance) : 77.0f)
            << i;
    ASSERT_TRUE(Run("EDITBONE 299 5.000 1"));
    EXPECT_EQ(Part(299).myMaxDistanceSquared, 5.0f);
    EXPECT_EQ(Part(298).myMaxDistanceSquared, 77.0f);
}

TEST_F(SceneCommands, EditObjectAndPose)
{
    Open();
    // A version-5 line holds no centre: the origin.
    ASSERT_TRUE(Run("EDITOBJECT 2.500", 5));
    float c[3], r;
    ASSERT_TRUE(e->GetBounds(c, &r));
    EXPECT_EQ(r, 2.5f);
    EXPECT_EQ(c[0], 0.0f);
    EXPECT_EQ(c[2], 0.0f);
    ASSERT_TRUE(Run("EDITOBJECT 3.000 1.000 -2.000 0.500"));
    ASSERT_TRUE(e->GetBounds(c, &r));
    EXPECT_EQ(c[1], -2.0f);

    ASSERT_TRUE(Run("EDITPOSITIONORIENTATION \"FLAME\" \"WALK\" 1.000 2.000 3.000 0.100 0.200 0.300"));
    float p[3], o[3];
    ASSERT_TRUE(GetPartChannelValues(t, StateCodeToId("WALK"), "flame", p, o));
    EXPECT_FLOAT_EQ(p[1], 2.0f);
    EXPECT_FLOAT_EQ(o[2], 0.3f);
    EXPECT_FALSE(Run("EDITPOSITIONORIENTATION \"flame\" \"NONE\" 0 0 0 0 0 0"));
    EXPECT_EQ(EditorError::Get(), 29u);
    EXPECT_FALSE(Run("EDITPOSITIONORIENTATION \"nobody\" \"WALK\" 0 0 0 0 0 0"));
    EXPECT_EQ(EditorError::Get(), 29u);
}

TEST_F(SceneCommands, EditMeshSettingsSpecularAndStageRules)
{
    Open();
    QR_Mesh* m = Part(0).myMesh;
    QR_Mesh* f = Part(1).myMesh;
    // Version 6: settings copied; colour mode 1 gives power 40; a UV set the format lacks
    // becomes 0; the animation flag goes without a path; distances squared below the last level.
    ASSERT_TRUE(Run("EDITMESH \"MET_HULL\" 0 \"NORMAL_MESH\" 0 0 1 7 1 9 1193046 1 65539 0 "
                    "3.000 4.000 5.000 6.000",
                    6));
    EXPECT_EQ(m->mySetupData.myLighting, 1u);
    EXPECT_EQ(m->mySetupData.myWord7, 7u);
    EXPECT_EQ(m->mySetupData.mySpecular, 1u);
    EXPECT_EQ(m->mySetupData.myWord9, 9u);
    EXPECT_EQ(m->myDataBlock.myColor, 1193046u);
    EXPECT_EQ(m->mySetupData.myFogFlag, 1);
    EXPECT_EQ(m->myDataBlock.mySpecularPower, 40.0f);
    EXPECT_EQ(m->mySetupData.myUVs[0], 0u);
    EXPECT_EQ(m->myLods[0].myLodDistance, 9.0f);
    EXPECT_EQ(m->myLods[1].myLodDistance, 16.0f);
    EXPECT_EQ(m->myLods[2].myLodDistance, 1.0e10f);
    EXPECT_NE(m->myCompiledVertexShader, nullptr);
    // Version 7 carries the power; colour mode 0 always gives 0.
    ASSERT_TRUE(Run("EDITMESH \"met_hull\" 0 \"NORMAL_MESH\" 0 0 1 0 2 0 255 0 0 0 3 4 5 6 17.500"));
    EXPECT_EQ(m->myDataBlock.mySpecularPower, 17.5f);
    ASSERT_TRUE(Run("EDITMESH \"met_hull\" 0 \"NORMAL_MESH\" 0 0 1 0 0 0 255 0 0 0 3 4 5 6 17.500"));
    EXPECT_EQ(m->myDataBlock.mySpecularPower, 0.0f);
    // The flame's stage keeps its animation flag: it has a path.
    ASSERT_TRUE(Run("EDITMESH \"met_flame\" 0 \"NORMAL_MESH\" 0 0 1 0 0 0 0 0 65536 0 1 1 1 1 0.000"));
    EXPECT_EQ(f->mySetupData.myUVs[0], UV_TEXTUREMATRIX);

    // A kind the editor lacks is kept as the name to export.
    ASSERT_TRUE(Run("EDITMESH \"met_hull\" 0 \"LATER_KIND\" 0", 5));
    EXPECT_STREQ(e->GetMeshVertexShaderName(m), "LATER_KIND");
    ASSERT_TRUE(Run("EDITMESH \"met_hull\" 0 \"NORMAL_MESH\" 0", 5));
    EXPECT_STREQ(e->GetMeshVertexShaderName(m), "NORMAL_MESH");

    // Sorting one level leaves the indices outside it alone.
    std::vector<uint16_t> locBefore(m->myIndexData, m->myIndexData + m->myNumIndices);
    ASSERT_TRUE(Run("EDITMESH \"met_hull\" 1 \"NORMAL_MESH\" 1"));
    for (uint32_t i = 0; i < m->myNumIndices; i++)
    {
        if (i < 12 || i >= 36)
        {
            EXPECT_EQ(m->myIndexData[i], locBefore[i]) << i;
        }
    }
    // A level the mesh lacks fails before anything changes.
    m->myDataBlock.mySpecularPower = 5.0f;
    EXPECT_FALSE(Run("EDITMESH \"met_hull\" 3 \"NORMAL_MESH\" 2 0 1 0 0 0 0 0 0 0 1 1 1 1 0.000"));
    EXPECT_EQ(EditorError::Get(), 36u);
    EXPECT_EQ(m->myDataBlock.mySpecularPower, 5.0f);
    EXPECT_NE(m->myCompiledVertexShader, nullptr);
}

TEST_F(SceneCommands, LightHalosSurfacesAndTextures)
{
    Open();
    ASSERT_TRUE(Run("HALOFILE \"INTERNAL_ALPHA\""));
    ASSERT_NE(t->myLights[1].myHalo, nullptr);
    ASSERT_TRUE(Run("EDITLIGHTSOURCE 1 \"nUlL\" 0.750"));
    EXPECT_EQ(t->myLights[1].myHalo, nullptr);
    EXPECT_EQ(t->myLights[1].myFallOff, 0.75f);
    ASSERT_TRUE(Run("EDITLIGHTSOURCE 2 \"textures/halo\" 0.200"));
    ASSERT_NE(t->myLights[2].myHalo, nullptr);
    EXPECT_STREQ(t->myLights[2].myHalo->mySurface->myName, "internal_alpha");
    EXPECT_TRUE(Run("EDITLIGHTSOURCE 0 \"NULL\" 0.100"));
    EXPECT_EQ(t->myLights[0].myFallOff, 0.1f);
    EXPECT_FALSE(Run("EDITLIGHTSOURCE 3 \"NULL\" 0.100"));
    EXPECT_EQ(EditorError::Get(), 35u);
    EXPECT_FALSE(Run("EDITLIGHTSOURCE -1 \"NULL\" 0.100"));
    EXPECT_EQ(EditorError::Get(), 35u);

    // SELECTSURFACE: -1 changes nothing; a part without mesh is 29; a surface that does not
    // load is 38 and the mesh keeps its surface.
    QR_Mesh* m = Part(0).myMesh;
    QR_Surface* locOld = m->mySurface;
    EXPECT_TRUE(Run("SELECTSURFACE \"surfaces/none.sur\" -1 10"));
    EXPECT_EQ(m->mySurface, locOld);
    EXPECT_FALSE(Run("SELECTSURFACE \"surfaces/fire.sur\" 3 10"));
    EXPECT_EQ(EditorError::Get(), 29u);
    EXPECT_FALSE(Run("SELECTSURFACE \"surfaces/none.sur\" 0 10"));
    EXPECT_EQ(EditorError::Get(), 38u);
    EXPECT_EQ(m->mySurface, locOld);
    EXPECT_NE(m->myCompiledVertexShader, nullptr);
    m->mySetupData.myWord7 = 5;
    m->mySetupData.mySpecular = 2;
    ASSERT_TRUE(Run("SELECTSURFACE \"surfaces/fire.sur\" 0 77"));
    EXPECT_STREQ(m->mySurface->myName, "surfaces/fire.sur");
    EXPECT_EQ(Part(0).myTextureWord, 77u);
    EXPECT_EQ(m->mySetupData.myWord7, 0u);
    EXPECT_LE(m->mySetupData.mySpecular, 1u);
    EXPECT_EQ(m->myDataBlock.myColor, 0u);
    EXPECT_EQ(m->myDataBlock.mySpecularPower, m->mySetupData.mySpecular ? 12.5f : 0.0f);
    EXPECT_NE(m->myCompiledVertexShader, nullptr);

    // CHANGETEXTURE past the slot list grows it; slots beyond a surface's eight are 29.
    ASSERT_EQ(Part(0).myNumTextureNames, 1u);
    ASSERT_TRUE(Run("CHANGETEXTURE \"textures/metal\" 0 5"));
    ASSERT_EQ(Part(0).myNumTextureNames, 6u);
    EXPECT_STREQ(Part(0).myTextureNames[0].myNames[0].myData, "textures/wood");
    for (uint32_t i = 1; i < 5; i++)
        EXPECT_EQ(Part(0).myTextureNames[i].myNumNames, 0u) << i;
    ASSERT_EQ(Part(0).myTextureNames[5].myNumNames, 1u);
    EXPECT_STREQ(Part(0).myTextureNames[5].myNames[0].myData, "textures/metal");
    for (const char* locLine : {"CHANGETEXTURE \"textures/metal\" 0 -1", "CHANGETEXTURE \"textures/metal\" 0 8",
                                "CHANGETEXTURE \"textures/metal\" 9 0"})
    {
        EXPECT_FALSE(Run(locLine)) << locLine;
        EXPECT_EQ(EditorError::Get(), 29u);
    }
    // A name longer than a texture slot holds.
    EXPECT_FALSE(Run("CHANGETEXTURE \"" + std::string(300, 't') + "\" 0 1"));
    EXPECT_EQ(EditorError::Get(), 8u);
    EXPECT_TRUE(Run("CHANGETEXTURE \"textures/metal\" 0 7"));
    EXPECT_EQ(Part(0).myNumTextureNames, 8u);
}

TEST_F(SceneCommands, EmittersAndNullObjects)
{
    Open();
    ASSERT_TRUE(Run("ADDPARTICLEEMITTOR \"fx/sparks\" \"STND\" \"HULL\""));
    ASSERT_EQ(t->myNumLinks, 2u);
    EXPECT_EQ(t->myLinks[1].myPartIndex, 0u);
    EXPECT_NE(e->GetInstance(), nullptr);
    EXPECT_FALSE(Run("ADDPARTICLEEMITTOR \"fx/sparks\" \"STND\" \"nobody\""));
    EXPECT_EQ(EditorError::Get(), 32u);
    EXPECT_FALSE(Run("ADDPARTICLEEMITTOR \"fx/none\" \"STND\" \"hull\""));
    EXPECT_EQ(EditorError::Get(), 32u);
    EXPECT_FALSE(Run("REMOVEPARTICLEEMITTOR 2"));
    EXPECT_EQ(EditorError::Get(), 34u);
    EXPECT_FALSE(Run("REMOVEPARTICLEEMITTOR -1"));
    EXPECT_EQ(EditorError::Get(), 34u);
    ASSERT_TRUE(Run("REMOVEPARTICLEEMITTOR 0"));
    EXPECT_EQ(t->myNumLinks, 1u);

    ASSERT_TRUE(Run("ADDNULLOBJECT \"grip\" \"HOLD\" \"flame\""));
    ASSERT_EQ(t->myNumParts, 8u);
    EXPECT_STREQ(t->myParts[7].myName, "grip");
    EXPECT_EQ(t->myParts[7].myStates[0].myParent, 1);
    bool locUsed = false;
    for (int i = 0; i < e->GetUsedStates().Count(); i++)
        locUsed = locUsed || e->GetUsedStates()[i] == "HOLD";
    EXPECT_TRUE(locUsed);
}

TEST_F(SceneCommands, SavedHistoryReplaysOntoAFreshModelToTheSameExport)
{
    Open();
    ASSERT_TRUE(CommandHandler::Create());
    CommandHandler& h = *CommandHandler::Get();
    const char* locLines[] = {
        "HALOFILE \"INTERNAL_ALPHA\"",
        "ADDJOINTSTATE 2 \"JUMP\"",
        "EDITJOINTSTATE 2 2 \"JUMP\" -2 0.300 1.500 0 1 1 1",
        "EDITALLJOINTSTATE 0 1 \"WALK\" 0 0.250 3.000 1 0 1 1",
        "EDITBONE 4 900.000 1",
        "EDITPOSITIONORIENTATION \"flame\" \"WALK\" 1.000 2.000 3.000 0.100 0.200 0.300",
        "EDITOBJECT 3.000 1.000 -2.000 0.500",
        "EDITMESH \"met_hull\" 1 \"NORMAL_MESH\" 2 0 1 0 1 0 0 1 0 0 3.000 4.000 5.000 6.000 20.000",
        "EDITLIGHTSOURCE 2 \"textures/halo\" 0.200",
        "SELECTSURFACE \"surfaces/fire.sur\" 2 64",
        "CHANGETEXTURE \"textures/metal\" 1 0",
        "ADDPARTICLEEMITTOR \"fx/sparks\" \"STND\" \"hull\"",
        "REMOVEPARTICLEEMITTOR 0",
        "ADDNULLOBJECT \"grip\" \"HOLD\" \"flame\"",
        "REMOVEBONESTATE 3 1",
    };
    for (const char* locLine : locLines)
    {
        std::string s = locLine;
        QRECommand* c = QRE_CreateCommand(locLine, (uint32_t)s.find(' '));
        ASSERT_NE(c, nullptr);
        std::vector<char> b(s.begin(), s.end());
        b.push_back(0);
        ASSERT_TRUE(ParseQRECommand(*c, b.data(), QRECommand::CURRENT_VERSION));
        ASSERT_TRUE(h.Run(QRECommand::CURRENT_VERSION, c)) << locLine << " " << EditorError::Get();
    }
    std::vector<uint8_t> locEdited;
    QRBWriter w(
        [](const QR_Mesh* aMesh, void* aScene) { return ((QRenderEditor*)aScene)->GetMeshVertexShaderName(aMesh); },
        e);
    ASSERT_TRUE(w.WriteToMemory(t, locEdited));
    ASSERT_TRUE(SaveQRE(h, "edits.qre"));

    e->ClearModel();
    Open();
    ASSERT_TRUE(LoadQRE(h, "edits.qre", true));
    std::vector<uint8_t> locReplayed;
    ASSERT_TRUE(w.WriteToMemory(t, locReplayed));
    EXPECT_EQ(locReplayed, locEdited);
}

} // namespace
