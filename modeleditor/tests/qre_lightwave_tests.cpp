// Models opened from writer-made LightWave files through .qre command files:
// OPENMODEL and ADDSTATE replayed by the loader, the model exported and read
// back whole by the renderer, and ADDQREHIERARCHY merging another file's model.
#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <cmath>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/lw_writer.h"
#include "modeleditor/qrbwriter.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_lwfixture.h"
#include "modeleditor/tests/me_qrbcompare.h"
#include "platform/input/in_script.h"
#include "platform/os/os_ui.h"
#include "qrender/qr_error.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_texture.h"

namespace fs = std::filesystem;

namespace
{

int locQuietBox(const char*, const char*, int)
{
    return OS_ID_OK;
}

std::vector<uint8_t> locRead(const std::string& aPath)
{
    std::ifstream f(aPath, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void locText(const std::string& aPath, const std::string& aText)
{
    std::ofstream f(aPath, std::ios::binary);
    f << aText;
}

class LightWaveCommands : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/lwcommands";
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        ASSERT_TRUE(QRT_WriteSampleFolder(myDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        myOldHook = OS_SetMessageBoxHook(locQuietBox);
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        myScript->SetFocusWindow(true);
        ASSERT_TRUE(QRenderEditor::Create());
        e = QRenderEditor::ourInstance;
        ASSERT_TRUE(CommandHandler::Create());
        ASSERT_TRUE(MET_WriteShipFiles());
    }
    void TearDown() override
    {
        CommandHandler::Destroy();
        LWCache::Clear();
        QRenderEditor::Destroy();
        myScript.reset();
        OS_SetMessageBoxHook(myOldHook);
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        EXPECT_EQ(chdir(myOldDir), 0);
    }
    bool Load(const std::string& aFile, const std::string& aLines)
    {
        locText(aFile, "VERSION_NUMBER 7\r\n" + aLines);
        EditorError::Set(0);
        return LoadQRE(*CommandHandler::Get(), aFile.c_str(), false);
    }
    std::string PartNames() const
    {
        std::string n;
        const QR_TemplateObject* t = e->GetTemplate();
        for (uint32_t i = 0; t && i < t->myNumParts; i++)
            n += std::string(t->myParts[i].myName) + ",";
        return n;
    }
    int32_t PartIndex(const char* aName) const
    {
        const QR_TemplateObject* t = e->GetTemplate();
        for (uint32_t i = 0; t && i < t->myNumParts; i++)
            if (strcmp(t->myParts[i].myName, aName) == 0)
                return (int32_t)i;
        return -1;
    }

    QRenderEditor* e = nullptr;
    std::string myDir;
    char myOldDir[4096];
    std::unique_ptr<IN_Script> myScript;
    OS_MessageBoxHook myOldHook = nullptr;
};

TEST_F(LightWaveCommands, OpenedSceneExportsAndReadsBackWhole)
{
    ASSERT_TRUE(Load("ship.qre", "HALOFILE \"INTERNAL_ALPHA\"\r\n"
                                 "OPENMODEL \"ship.lws\" \"ship\" \"STND\"\r\n"
                                 "ADDSTATE \"ship.lws\" \"ship\" \"WALK\" 0\r\n"
                                 "ADDPARTICLEEMITTOR \"fx/sparks\" \"WALK\" \"hull_1_hull\"\r\n"
                                 "EDITLIGHTSOURCE 1 \"textures/halo\" 0.250\r\n"
                                 "EDITLIGHTSOURCE 2 \"textures/spark\" 0.500\r\n"
                                 "EDITLIGHTSOURCE 4 \"textures/halo\" 0.250\r\n"
                                 "EDITLIGHTSOURCE 5 \"textures/spark\" 0.500\r\n"))
        << EditorError::Get() << " " << EditorError::GetDetail() << " " << PartNames();
    // The history holds the default surface the loader put ahead of the model and every line.
    EXPECT_EQ(CommandHandler::Get()->GetHistory().Count(), 9);
    QR_TemplateObject* t = e->GetTemplate();
    ASSERT_NE(t, nullptr);
    ASSERT_GE(t->myNumParts, 4u);
    // The added state brings the scene's lights and emitter again, in its own state.
    EXPECT_EQ(t->myNumLights, 6u);
    EXPECT_EQ(t->myNumLinks, 3u);
    int32_t h = PartIndex("hull_1_hull");
    ASSERT_GE(h, 0);
    QR_Mesh* m = t->myParts[h].myMesh;
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->myNumLods, 3u);
    EXPECT_NE(m->myLods[1].myFirstVertex, m->myLods[1].myStartIndex);
    ASSERT_EQ(t->myParts[h].myNumStates, 2u);
    EXPECT_GE(t->myParts[0].mySkinGroup, 0);

    ASSERT_TRUE(e->ExportQRB("ship.qrb")) << EditorError::GetDetail();
    std::vector<uint8_t> locFirst = locRead("ship.qrb");
    MET_RenameBuiltMeshes(t);
    QR_TemplateObject* b = QR_TemplateObject::Acquire("ship.qrb");
    ASSERT_NE(b, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    ExpectSameTemplate(*t, *b);
    std::vector<uint8_t> locAgain;
    ASSERT_TRUE(QRBWriter().WriteToMemory(b, locAgain));
    EXPECT_EQ(locAgain, locFirst);
    b->Release();

    // The history saves, loads and saves again to the same lines; no backup is left.
    ASSERT_TRUE(SaveQRE(*CommandHandler::Get(), "saved.qre"));
    std::vector<uint8_t> locSaved = locRead("saved.qre");
    e->ClearModel();
    ASSERT_TRUE(LoadQRE(*CommandHandler::Get(), "saved.qre", false)) << EditorError::GetDetail();
    ASSERT_TRUE(SaveQRE(*CommandHandler::Get(), "saved.qre"));
    EXPECT_EQ(locRead("saved.qre"), locSaved);
    for (const auto& f : fs::directory_iterator("."))
        EXPECT_EQ(f.path().string().find("__PRANVEL_BACKUP__"), std::string::npos);
    std::vector<uint8_t> locReloaded;
    ASSERT_TRUE(e->ExportQRB("reloaded.qrb"));
    EXPECT_EQ(locRead("reloaded.qrb"), locFirst);
}

TEST_F(LightWaveCommands, OpenModelAndAddStateRules)
{
    // An unknown extension loads nothing; a state before a model fails.
    EXPECT_FALSE(Load("a.qre", "ADDSTATE \"ship.lws\" \"ship\" \"WALK\" 0\r\n"));
    EXPECT_FALSE(e->IsModelLoaded());
    EXPECT_FALSE(Load("b.qre", "OPENMODEL \"ship.txt\" \"ship\" \"STND\"\r\n"));
    EXPECT_FALSE(e->IsModelLoaded());
    // Upper-case extension; a second model is refused.
    ASSERT_TRUE(Load("c.qre", "OPENMODEL \"hull.LWO\" \"hull\" \"STND\"\r\n"));
    EXPECT_TRUE(e->IsModelLoaded());
    OpenModelCommand o;
    o.myFileName = "hull.lwo";
    o.myModelName = "hull";
    o.myStateCode = "STND";
    EXPECT_FALSE(o.Execute(7));
    // A state for named parts only (a version-3 line has the leading number).
    AddStateCommand a;
    std::string locLine = "ADDSTATE 0 \"hull.lwo\" \"hull\" \"RUNS\" 1 \"hull:1\"";
    std::vector<char> b(locLine.begin(), locLine.end());
    b.push_back(0);
    ASSERT_TRUE(ParseQRECommand(a, b.data(), 3));
    ASSERT_TRUE(a.Execute(3)) << EditorError::GetDetail();
    QR_TemplateObject* t = e->GetTemplate();
    EXPECT_EQ(t->myParts[PartIndex("hull")].myNumStates, 1u);
    EXPECT_EQ(t->myParts[PartIndex("hull:1")].myNumStates, 2u);
    EXPECT_STREQ(e->GetActiveState(), "RUNS");
}

TEST_F(LightWaveCommands, QREHierarchyMergesBelowThePartAndFailuresKeepTheModel)
{
    ASSERT_TRUE(Load("part.qre", "OPENMODEL \"hull_LOD2.lwo\" \"small\" \"STND\"\r\n"
                                 "EDITOBJECT 9.000 0.000 0.000 0.000\r\n"));
    e->ClearModel();
    ASSERT_TRUE(Load("main.qre", "OPENMODEL \"ship.lws\" \"ship\" \"STND\"\r\n"));
    QR_TemplateObject* t = e->GetTemplate();
    uint32_t locParts = t->myNumParts;
    int32_t h = PartIndex("hull_1_hull");
    ASSERT_GE(h, 0);
    char locCwd[4096];
    ASSERT_TRUE(getcwd(locCwd, sizeof(locCwd)));

    // A file that is not there, or one that imports itself: the model stays as it was.
    AddQREHierarchyCommand c;
    c.myPartName = "hull_1_hull";
    c.myFileName = "absent.qre";
    EXPECT_FALSE(c.Execute(7));
    EXPECT_TRUE(e->IsModelLoaded());
    EXPECT_EQ(e->GetTemplate(), t);
    EXPECT_EQ(t->myNumParts, locParts);
    EXPECT_STREQ(t->myName, "ship");
    locText("self.qre", "VERSION_NUMBER 7\r\nOPENMODEL \"hull_LOD3.lwo\" \"tiny\" \"STND\"\r\n"
                        "ADDQREHIERARCHY \"hull_1_hull\" \"self.qre\"\r\n");
    c.myFileName = "self.qre";
    EXPECT_FALSE(c.Execute(7));
    EXPECT_EQ(e->GetTemplate(), t);
    EXPECT_EQ(t->myNumParts, locParts);
    EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 1u);

    // The other model's parts hang below the hull; the history holds the main file's lines.
    int locHistory = CommandHandler::Get()->GetHistory().Count();
    c.myFileName = "part.qre";
    ASSERT_TRUE(c.Execute(7)) << EditorError::GetDetail();
    EXPECT_EQ(e->GetTemplate(), t);
    ASSERT_GT(t->myNumParts, locParts);
    EXPECT_EQ(t->myParts[locParts].myStates[0].myParent, h);
    EXPECT_NE(e->GetInstance(), nullptr);
    EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 1u);
    EXPECT_EQ(CommandHandler::Get()->GetHistory().Count(), locHistory);
    char locAfter[4096];
    ASSERT_TRUE(getcwd(locAfter, sizeof(locAfter)));
    EXPECT_STREQ(locAfter, locCwd);
    EXPECT_TRUE(e->ExportQRB("merged.qrb"));
}

TEST_F(LightWaveCommands, BonesRestingAtQuarterTurnsBindSoTheRestPoseIsTheModel)
{
    // An arm along x as in a T pose: the shoulder turned a quarter about y (heading 90), the
    // elbow below it at a pitch of 90 and a bank of 45, the wrist at heading -90 and pitch 45.
    // Each bone's motion is its rest, so the rest pose must leave every vertex where it was
    // modelled.
    LWO2Writer w;
    w.Tags({"Arm"});
    w.Layer(0, "arm");
    std::vector<LWVec3> locPoints;
    std::vector<LWO2Writer::MapEntry> locMaps[3];
    for (uint32_t k = 0; k < 6; k++)
        for (uint32_t c = 0; c < 2; c++)
        {
            locMaps[std::min(k / 2, 2u)].push_back({(uint32_t)locPoints.size(), 0, {1.0f}});
            locPoints.push_back({0.5f * (float)k, 0.2f * (float)c, 0.1f * (float)c});
        }
    w.Points(locPoints);
    std::vector<std::vector<uint32_t>> locQuads;
    std::vector<std::pair<uint32_t, uint16_t>> locTags;
    for (uint32_t k = 0; k + 1 < 6; k++)
    {
        locTags.push_back({(uint32_t)locQuads.size(), 0});
        locQuads.push_back({2 * k, 2 * k + 2, 2 * k + 3, 2 * k + 1});
    }
    w.Polygons(locQuads);
    w.PolygonTags("SURF", locTags);
    const char* locMapNames[3] = {"Upper", "Fore", "Hand"};
    for (int m = 0; m < 3; m++)
        w.VertexMap("WGHT", 1, locMapNames[m], locMaps[m]);
    w.BeginSurface("Arm");
    w.EndSurface();
    ASSERT_TRUE(w.Save("tarm.lwo"));

    struct Bone
    {
        const char* myName;
        const char* myParent;
        float myPosition[3];
        float myAngles[3]; // heading, pitch, bank in degrees
    } locBones[] = {{"Shoulder", "10000000", {0, 0, 0}, {90, 0, 0}},
                    {"Elbow", "40000000", {0, 0, 1}, {0, 90, 45}},
                    {"Wrist", "40010000", {0.25f, -0.5f, 1}, {-90, 45, 0}}};
    LWSceneText s;
    s.SceneHeader().Line("LoadObjectLayer 1 tarm.lwo");
    for (int b = 0; b < 3; b++)
    {
        const Bone& n = locBones[b];
        std::vector<std::vector<LWTextKey>> locMotion(9);
        for (int c = 0; c < 9; c++)
            locMotion[c].resize(1);
        for (int c = 0; c < 3; c++)
        {
            locMotion[c][0].myValue = n.myPosition[c];
            locMotion[3 + c][0].myValue = n.myAngles[c] * 0.017453f; // motions keep radians
            locMotion[6 + c][0].myValue = 1.0f;
        }
        auto locTriple = [](const float* v) {
            return LWSceneText::Number(v[0]) + " " + LWSceneText::Number(v[1]) + " " + LWSceneText::Number(v[2]);
        };
        s.Line("AddBone")
            .Line(std::string("BoneName ") + n.myName)
            .Line("BoneRestPosition " + locTriple(n.myPosition))
            .Line("BoneRestDirection " + locTriple(n.myAngles))
            .Line("BoneRestLength 1")
            .Line(std::string("BoneWeightMapName ") + locMapNames[b])
            .Line("BoneMotion")
            .Envelope(locMotion, true)
            .Line(std::string("ParentItem ") + n.myParent);
    }
    ASSERT_TRUE(s.Save("tarm.lws"));
    ASSERT_TRUE(Load("tarm.qre", "OPENMODEL \"tarm.lws\" \"tarm\" \"STND\"\r\n")) << EditorError::GetDetail();
    ASSERT_TRUE(e->ExportQRB("tarm.qrb")) << EditorError::GetDetail();
    // Read back from the file, not shared with the editor's meshes.
    MET_RenameBuiltMeshes(e->GetTemplate());
    QR_TemplateObject* t = QR_TemplateObject::Acquire("tarm.qrb");
    ASSERT_NE(t, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    ASSERT_EQ(t->myNumParts, 3u);

    // World matrices of the parts at the rest pose, parents first.
    std::vector<Matrix44> locWorld(t->myNumParts);
    for (uint32_t i = 0; i < t->myNumParts; i++)
    {
        const QR_TemplateState& st = t->myParts[i].myStates[0];
        Matrix44 locLocal = Matrix44::Identity();
        st.myPath.GetMatrix(0.0f, locLocal);
        ASSERT_LT(st.myParent, (int32_t)i);
        locWorld[i] = st.myParent >= 0 ? locLocal * locWorld[(size_t)st.myParent] : locLocal;
        // The stored bind pose undoes the bone's world rest matrix.
        Matrix44 locBoth = t->myParts[i].myMatrix * locWorld[i];
        for (int k = 0; k < 16; k++)
            EXPECT_NEAR(locBoth[k], k % 5 == 0 ? 1.0f : 0.0f, 1e-4f) << t->myParts[i].myName << " element " << k;
    }
    // Skinned as the renderer does (bind pose, then the bone's world matrix), every vertex
    // stays where it is.
    const QR_Mesh* m = t->myParts[0].myMesh;
    ASSERT_NE(m, nullptr);
    ASSERT_GE(m->myNumVertices, 12u);
    uint32_t locMoved = 0;
    std::set<int> locBonesUsed;
    for (uint32_t v = 0; v < m->myNumVertices; v++)
    {
        const uint8_t* d = m->myVertexData + (size_t)v * m->myVertexSize;
        float p[3], wt[3];
        memcpy(p, d, 12);
        memcpy(wt, d + 12, 12);
        const uint8_t* locBytes = d + 24;
        float locSum[3] = {0, 0, 0};
        float w3 = 1.0f - wt[0] - wt[1] - wt[2];
        for (int k = 0; k < 4; k++)
        {
            float locWeight = k < 3 ? wt[k] : w3;
            if (locWeight == 0.0f)
                continue;
            uint32_t locPart = (uint32_t)t->myParts[0].mySkinGroup + locBytes[k];
            ASSERT_LT(locPart, t->myNumParts);
            locBonesUsed.insert((int)locPart);
            float o[4];
            (t->myParts[locPart].myMatrix * locWorld[locPart]).Transform(p[0], p[1], p[2], o);
            for (int c = 0; c < 3; c++)
                locSum[c] += locWeight * o[c];
        }
        for (int c = 0; c < 3; c++)
            locMoved += std::fabs(locSum[c] - p[c]) > 1e-4f;
    }
    EXPECT_EQ(locMoved, 0u);
    EXPECT_EQ(locBonesUsed.size(), 3u);
    t->Release();
}

} // namespace
