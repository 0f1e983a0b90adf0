// Template objects read from ".qrb" files of the test writer over the recording device:
// sharing by name, the file's sections, shared meshes, lights and halos, reloads, and every
// damaged field refused with code 24 and nothing left behind.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <unistd.h>

#include "qrender/qr_error.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_pe_writer.h"
#include "qrender/tests/qr_qrb_model_writer.h"
#include "qrender/tests/qr_data_root.h"
#include "qrender/tests/qr_render_test_util.h"

namespace
{

const uint32_t IDLE = 'I' << 24 | 'D' << 16 | 'L' << 8 | 'E';

// Runs inside a folder of its own, the data root the names are relative to.
class TemplateTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_TRUE(myRoot.Enter("qrb_", {"models", "fx"}));
        QRT_WriteFile("fx/spark.tga", QRT_MakeTGA(8, 8, 32, std::vector<uint32_t>(64, 0xFFFFFFFFu), true, false));
        QR_SharedGenericParticleData d;
        d.myNumPhases = 1;
        d.myPhases = new QR_ParticlePhase[1]();
        d.myPhases[0].myLength = 1.0f;
        std::string s = QRT_WritePe(d, "INTERNAL_ALPHA", "fx/spark");
        QRT_WriteFile("fx/spark.pe", std::vector<uint8_t>(s.begin(), s.end()));
        QR_Error::SetCode(0);
    }
    void TearDown() override
    {
        EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u);
        EXPECT_EQ(QR_TemplateObject::ourList, nullptr);
        EXPECT_EQ(QR_Mesh::ourFirst, nullptr);
        EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
        QR_TemplateObject::DestroyAll();
        QR_Mesh::DestroyAll();
        RecordingRender::TearDown();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        myRoot.Leave();
    }
    static void Save(const std::string& aName, const QRB_TestModel& aModel)
    {
        ASSERT_TRUE(QRT_WriteFile(aName, QRB_WriteModel(aModel)));
    }
    // A model of one visible part holding a quad, a link, two texts and a point light.
    static QRB_TestModel Ship()
    {
        QRB_TestModel m;
        m.myRadius = 2.5f;
        m.myCentre[1] = 1.0f;
        QRB_TestPart p;
        p.myName = "Hull";
        p.myMeshName = "hull_quad";
        p.myMesh = QRB_TestQuad("");
        p.myMaxDistanceSquared = 400.0f;
        p.myStates[0].myId = IDLE;
        p.myStates[0].myNextState = -2;
        p.myStates[0].myRemembered = 5; // any non-zero word is true
        m.myParts.push_back(p);
        m.myLinks.push_back({0, "fx/spark", IDLE});
        m.myStrings = {"ST0=1", "ST1=ST0+2"};
        QRB_TestLight l;
        l.myPartIndex = 0;
        l.myPosition[2] = 3.0f;
        l.myStateId = IDLE;
        m.myLights.push_back(l);
        return m;
    }
    // Acquire fails with code 24, the file name (or aText) as text, and leaves nothing behind.
    static void Damaged(const std::vector<uint8_t>& aBytes, const std::string& aWhat,
                        const char* aText = "models/bad.qrb")
    {
        QRT_WriteFile("models/bad.qrb", aBytes);
        QR_Error::SetCode(0);
        EXPECT_EQ(QR_TemplateObject::Acquire("models/bad.qrb"), nullptr) << aWhat;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_DATA) << aWhat;
        EXPECT_STREQ(QR_Error::ourText, aText) << aWhat;
        EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u) << aWhat;
        EXPECT_EQ(QR_Mesh::ourFirst, nullptr) << aWhat;
        EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr) << aWhat;
    }
    static void Damaged(const QRB_TestModel& aModel, const std::string& aWhat)
    {
        Damaged(QRB_WriteModel(aModel), aWhat);
    }

    QRT_DataRoot myRoot;
};

TEST_F(TemplateTest, AModelIsReadOnceAndSharedByItsNormalisedName)
{
    Save("models/ship.qrb", Ship());
    QR_TemplateObject* a = QR_TemplateObject::Acquire("Models\\Ship.QRB");
    ASSERT_NE(a, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    EXPECT_STREQ(a->myName, "models/ship.qrb");
    std::filesystem::remove("models/ship.qrb");
    QR_TemplateObject* b = QR_TemplateObject::Acquire("models/ship.qrb");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->myRefCount, 2);

    EXPECT_FLOAT_EQ(a->GetBoundRadius(), 2.5f);
    EXPECT_FLOAT_EQ(a->myBoundCentre[1], 1.0f);
    ASSERT_EQ(a->myNumParts, 1u);
    const QR_TemplatePart& p = a->myParts[0];
    EXPECT_STREQ(p.myName, "Hull");
    EXPECT_FLOAT_EQ(p.myMaxDistanceSquared, 400.0f);
    ASSERT_NE(p.myMesh, nullptr);
    EXPECT_STREQ(p.myMesh->myName, "hull_quad");
    ASSERT_EQ(p.myNumStates, 1u);
    EXPECT_EQ(p.myStates[0].myId, (uint32_t)IDLE);
    EXPECT_EQ(p.myStates[0].myNextState, -2);
    EXPECT_EQ(p.myStates[0].myParent, -1);
    EXPECT_TRUE(p.myStates[0].myIsRemembered);
    EXPECT_TRUE(p.myStates[0].myIsVisible);
    EXPECT_FALSE(p.myStates[0].myRestarts);
    EXPECT_FLOAT_EQ(p.myStates[0].myPath.myRate, 1.0f);
    ASSERT_EQ(a->myNumLinks, 1u);
    ASSERT_NE(a->myLinks[0].myDefinition, nullptr);
    EXPECT_STREQ(a->myLinks[0].myDefinition->myName, "fx/spark");
    EXPECT_EQ(a->myLinks[0].myPartIndex, 0u);
    EXPECT_EQ(a->myLinks[0].myStateId, (uint32_t)IDLE);
    // S = 2: one ignored word, then the texts; the light count follows them.
    ASSERT_EQ(a->myNumExpressions, 2u);
    EXPECT_STREQ(a->myExpressions[1], "ST1=ST0+2");
    ASSERT_EQ(a->myNumLights, 1u);
    const QR_Light& l = a->myLights[0];
    EXPECT_EQ(l.myType, (uint32_t)QR_LIGHT_POINT);
    EXPECT_EQ(l.myLightMask, 2u);
    EXPECT_FLOAT_EQ(l.myPosition[2], 3.0f);
    EXPECT_FLOAT_EQ(l.myRange, 10.0f);
    EXPECT_EQ(l.myHalo, nullptr); // an empty halo name reads no texture name
    EXPECT_EQ(l.myStateId, (uint32_t)IDLE);
    b->Release();
    a->Release();
}

TEST_F(TemplateTest, FilesThatAreNotModels)
{
    EXPECT_EQ(QR_TemplateObject::Acquire("models/none.qrb"), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_OPEN);
    EXPECT_STREQ(QR_Error::ourText, "models/none.qrb");
    std::vector<uint8_t> f = QRB_WriteModel(Ship());
    f[3] = 8; // version 8
    QRT_WriteFile("models/old.qrb", f);
    EXPECT_EQ(QR_TemplateObject::Acquire("models/Old.qrb"), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_VERSION);
    EXPECT_STREQ(QR_Error::ourText, "models/old.qrb");
    QRT_WriteFile("models/short.qrb", {'Q', 'R'});
    EXPECT_EQ(QR_TemplateObject::Acquire("models/short.qrb"), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_VERSION);
    EXPECT_EQ(QR_TemplateObject::Acquire(std::string(300, 'a').c_str()), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_OPEN);
}

TEST_F(TemplateTest, AnEmptyModelLoadsAndIsFreed)
{
    Save("models/empty.qrb", QRB_TestModel());
    QR_TemplateObject* t = QR_TemplateObject::Acquire("models/empty.qrb");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myNumParts, 0u);
    EXPECT_EQ(t->myParts, nullptr);
    EXPECT_EQ(t->myLinks, nullptr);
    EXPECT_EQ(t->myLights, nullptr);
    EXPECT_EQ(t->myExpressions, nullptr);
    // S = 0 is followed directly by the light count.
    QRB_TestModel m;
    m.myLights.push_back(QRB_TestLight());
    m.myLights[0].myType = 2; // no type fields, as the editor writes it
    Save("models/light.qrb", m);
    QR_TemplateObject* u = QR_TemplateObject::Acquire("models/light.qrb");
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->myNumLights, 1u);
    EXPECT_EQ(u->myLights[0].myType, 2u);
    t->Release();
    u->Release();
}

TEST_F(TemplateTest, MeshesAreSharedAndTheirStoredBlocksSkipped)
{
    QRB_TestModel m = Ship();
    m.myParts.push_back(m.myParts[0]);
    m.myParts[1].myName = "Hull2";
    Save("models/a.qrb", m); // the second part names the mesh (kind 2)
    QR_TemplateObject* a = QR_TemplateObject::Acquire("models/a.qrb");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->myParts[0].myMesh, a->myParts[1].myMesh);
    EXPECT_EQ(a->myParts[0].myMesh->myRefCount, 2);
    // Another file storing the same mesh in full: its block is stepped over unread (the
    // unknown vertex shader in it would fail a reading).
    QRB_TestModel n = Ship();
    n.myParts[0].myMesh.myVertexShader = "NOT_A_KIND";
    Save("models/b.qrb", n);
    QR_TemplateObject* b = QR_TemplateObject::Acquire("models/b.qrb");
    ASSERT_NE(b, nullptr) << QR_Error::ourCode;
    EXPECT_EQ(b->myParts[0].myMesh, a->myParts[0].myMesh);
    EXPECT_EQ(a->myParts[0].myMesh->myRefCount, 3);
    a->Release();
    b->Release();
    // Read first, the same block fails with the mesh layer's code.
    Save("models/c.qrb", n);
    EXPECT_EQ(QR_TemplateObject::Acquire("models/c.qrb"), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_VERTEX_SHADER_NAME);
}

TEST_F(TemplateTest, LightsOfEveryTypeAndTheirHalos)
{
    QRB_TestModel m;
    QRB_TestLight l;
    l.myType = 0;
    l.myDirection[0] = 1, l.myDirection[2] = 0;
    l.myPathFlags[1] = true;
    l.myPaths[1] = QRB_TestPath::Constant({0.5f, 0.25f, 1});
    m.myLights.push_back(l);
    l = QRB_TestLight();
    l.myType = 3;
    l.myRange = 7;
    l.myCones[0] = 0.9f, l.myCones[1] = 0.95f;
    l.myFallOff = 0.5f;
    l.myHaloSurface = "INTERNAL_ALPHA";
    l.myHaloTexture = "fx/spark";
    l.myStateId = 7;
    m.myLights.push_back(l);
    Save("models/lights.qrb", m);
    QR_TemplateObject* t = QR_TemplateObject::Acquire("models/lights.qrb");
    ASSERT_NE(t, nullptr) << QR_Error::ourCode;
    ASSERT_EQ(t->myNumLights, 2u);
    EXPECT_FLOAT_EQ(t->myLights[0].myDirection[0], 1.0f);
    ASSERT_NE(t->myLights[0].myColorPath, nullptr);
    EXPECT_EQ(t->myLights[0].myMotionPath, nullptr);
    const QR_Light& s = t->myLights[1];
    EXPECT_EQ(s.myType, 3u);
    EXPECT_FLOAT_EQ(s.myConeValues[1], 0.95f);
    EXPECT_FLOAT_EQ(s.myFallOff, 0.5f);
    EXPECT_NE(s.myHalo, nullptr);
    EXPECT_EQ(s.myPartIndex, 0xFFFFFFFFu);
    EXPECT_EQ(s.myStateId, 7u);
    t->Release();
}

TEST_F(TemplateTest, ReloadAllStopsAtAMissingFile)
{
    Save("models/a.qrb", Ship());
    QRB_TestModel m = Ship();
    m.myParts[0].myMeshName = "other";
    Save("models/b.qrb", m);
    QR_TemplateObject* a = QR_TemplateObject::Acquire("models/a.qrb");
    QR_TemplateObject* b = QR_TemplateObject::Acquire("models/b.qrb");
    ASSERT_TRUE(a && b);
    uint32_t locLoads = b->myLoadCount;
    EXPECT_TRUE(QR_Render::ReloadResources(2));
    EXPECT_EQ(b->myNumParts, 1u);
    EXPECT_GT(b->myLoadCount, locLoads);
    std::filesystem::remove("models/a.qrb");
    EXPECT_FALSE(QR_TemplateObject::ReloadAll());
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_OPEN);
    EXPECT_EQ(b->myNumParts, 0u); // after the failure: left empty
    EXPECT_EQ(b->myParts, nullptr);
    EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 2u);
    a->Release();
    b->Release();
}

TEST_F(TemplateTest, CreateMakesAnEmptyListedTemplate)
{
    QR_TemplateObject* t = QR_TemplateObject::Create("Editor\\Model");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->myName, "editor\\model");
    EXPECT_EQ(QR_TemplateObject::Create("EDITOR\\MODEL"), nullptr);
    QR_TemplateObject::DestroyAll();
    EXPECT_EQ(QR_TemplateObject::ourNumTemplates, 0u);
}

TEST_F(TemplateTest, EveryCutOfAFileIsRefused)
{
    QRB_TestModel m = Ship();
    m.myParts[0].myStates[0].myPath.myNumChannels = 6;
    std::vector<uint8_t> f = QRB_WriteModel(m);
    for (size_t n = 4; n < f.size(); n++)
        Damaged(std::vector<uint8_t>(f.begin(), f.begin() + (long)n), "cut at " + std::to_string(n));
}

TEST_F(TemplateTest, DamagedFieldsGiveCode24)
{
    QRB_TestModel m = Ship();
    m.myParts[0].myStates[0].myParent = 1; // one part only
    Damaged(m, "parent past the parts");
    m = Ship();
    m.myParts[0].myStates[0].myParent = -2;
    Damaged(m, "parent -2");
    m = Ship();
    m.myParts[0].myStates[0].myNextState = 1; // one state only
    Damaged(m, "next state past the states");
    m = Ship();
    m.myParts[0].myStates[0].myNextState = -3;
    Damaged(m, "next state -3");
    m = Ship();
    m.myLinks[0].myPartIndex = 1;
    Damaged(m, "link part");
    m = Ship();
    m.myLights[0].myPartIndex = 4;
    Damaged(m, "light part");
    m = Ship();
    m.myLights[0].myType = 4;
    Damaged(m, "light type 4");
    m = Ship();
    m.myParts[0].myName = std::string(256, 'n'); // no NUL within 256 bytes
    Damaged(m, "long part name");
    m = Ship();
    m.myStrings[0] = std::string(1024, 'x');
    Damaged(m, "long text");
    m = Ship();
    m.myParts[0].mySlots.push_back({0, 1.0f, {"fx/spark"}}); // the mesh has no surface
    Damaged(m, "texture names without surface records");
    m = Ship();
    m.myParts[0].myMeshName.clear();
    m.myParts[0].mySlots.push_back({2, 1.0f, {}});
    Damaged(m, "texture slot kind 2");
    // 33 parts in one skin group: more bones than the palette holds.
    m = Ship();
    m.myLinks.clear();
    m.myLights.clear();
    m.myParts[0].myMeshName.clear();
    m.myParts[0].mySkinGroup = 0;
    m.myParts.resize(33, m.myParts[0]);
    Damaged(m, "skin run of 33");
    m.myParts.resize(32);
    Save("models/skin.qrb", m);
    QR_TemplateObject* t = QR_TemplateObject::Acquire("models/skin.qrb");
    ASSERT_NE(t, nullptr);
    t->Release();

    // Counts beyond the bytes left, before anything is allocated.
    std::vector<uint8_t> f = QRB_WriteModel(QRB_TestModel());
    auto locPatch = [&](size_t anAt, uint32_t aValue)
    {
        std::vector<uint8_t> g = f;
        for (int i = 0; i < 4; i++)
            g[anAt + i] = (uint8_t)(aValue >> (8 * i));
        return g;
    };
    Damaged(locPatch(20, 0x40000000), "part count");
    Damaged(locPatch(24, 1000), "link count");
    Damaged(locPatch(28, 0xFFFFFFFF), "string count");
    Damaged(locPatch(32, 3), "light count");
    // A presence word of 2 for a light's path.
    m = QRB_TestModel();
    m.myLights.push_back(QRB_TestLight());
    f = QRB_WriteModel(m);
    Damaged(locPatch(36 + 8 + 12, 2), "presence word 2");
}

// Parents precede their parts and levels go in increasing distance, each
// level's indices within its own vertices: files that break these rules are
// refused as damaged, the text naming the part or the mesh.
TEST_F(TemplateTest, OrderRulesAreRefusedNamingThePartOrMesh)
{
    // Two meshless parts and a quad of two levels over eight vertices.
    auto locModel = [] {
        QRB_TestModel m;
        QRB_TestPart a, b, c;
        a.myName = "Base";
        b.myName = "Arm";
        b.myStates[0].myParent = 0;
        c.myName = "Hand";
        c.myStates[0].myParent = 1;
        c.myMeshName = "hand_mesh";
        c.myMesh = QRB_TestQuad("");
        QRB_TestMesh& q = c.myMesh;
        q.myVertices.insert(q.myVertices.end(), q.myVertices.begin(), q.myVertices.end());
        q.myNumVertices = 8;
        q.myIndices = {0, 2, 1, 0, 3, 2, 4, 6, 5, 4, 7, 6};
        q.myLevels[0].myDistance = 100.0f;
        QRB_TestLevel l = q.myLevels[0];
        l.myFirstVertex = 4;
        l.myStartIndex = 6;
        l.myDistance = 400.0f;
        q.myLevels.push_back(l);
        m.myParts = {a, b, c};
        return m;
    };
    struct Case
    {
        const char* myWhat;
        void (*myBreak)(QRB_TestModel&);
        const char* myText;
    };
    const Case locCases[] = {
        {"parent after the part", [](QRB_TestModel& m) { m.myParts[1].myStates[0].myParent = 2; },
         "models/bad.qrb: part 'Arm': parent 2 is not before the part"},
        {"own parent", [](QRB_TestModel& m) { m.myParts[2].myStates[0].myParent = 2; },
         "models/bad.qrb: part 'Hand': parent 2 is not before the part"},
        {"a second state's parent",
         [](QRB_TestModel& m) {
             QRB_TestState s;
             s.myId = 7;
             s.myParent = 1;
             m.myParts[0].myStates.push_back(s);
         },
         "models/bad.qrb: part 'Base': parent 1 is not before the part"},
        {"decreasing distances", [](QRB_TestModel& m) { m.myParts[2].myMesh.myLevels[1].myDistance = 50.0f; },
         "models/bad.qrb: mesh 'hand_mesh', level 1: distance below the previous level's"},
        {"an index below the level's vertices", [](QRB_TestModel& m) { m.myParts[2].myMesh.myIndices[7] = 3; },
         "models/bad.qrb: mesh 'hand_mesh', level 1: an index outside the level's vertices"},
        {"an index past the level's vertices", [](QRB_TestModel& m) { m.myParts[2].myMesh.myIndices[1] = 4; },
         "models/bad.qrb: mesh 'hand_mesh', level 0: an index outside the level's vertices"},
        {"an index past a frame's vertices",
         [](QRB_TestModel& m) {
             QRB_TestLevel& l = m.myParts[2].myMesh.myLevels[1];
             l.myKind = 1;
             l.myFrames = {0, 4, 0, 6, 4, 3, 6, 6}; // the second frame holds vertices 4 to 6 only
         },
         "models/bad.qrb: mesh 'hand_mesh', level 1: an index outside its frame's vertices"},
    };
    for (const Case& c : locCases)
    {
        QRB_TestModel m = locModel();
        c.myBreak(m);
        Damaged(QRB_WriteModel(m), c.myWhat, c.myText);
    }
    // The same model as made, with equal distances too, loads.
    QRB_TestModel m = locModel();
    m.myParts[2].myMesh.myLevels[1].myDistance = 100.0f;
    Save("models/arm.qrb", m);
    QR_TemplateObject* t = QR_TemplateObject::Acquire("models/arm.qrb");
    ASSERT_NE(t, nullptr) << QR_Error::ourText;
    EXPECT_EQ(t->myParts[2].myMesh->myNumLods, 2u);
    t->Release();
}

TEST_F(TemplateTest, ALinkWhoseDefinitionFailsFailsTheModel)
{
    QRB_TestModel m = Ship();
    m.myLinks[0].myName = "fx/none";
    Save("models/a.qrb", m);
    EXPECT_EQ(QR_TemplateObject::Acquire("models/a.qrb"), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_OPEN);
    EXPECT_EQ(QR_Mesh::ourFirst, nullptr);

    // A file of another kind than "GENERIC" fails with the particle file's code,
    // whatever code an earlier failure left.
    const std::string locPe = "PARTICLES\r\nGENERIC\r\n";
    QRT_WriteFile("fx/other.pe", std::vector<uint8_t>(locPe.begin(), locPe.end()));
    m.myLinks[0].myName = "fx/other";
    Save("models/b.qrb", m);
    QR_Error::SetCode(QR_ERROR_MODEL_VERSION);
    EXPECT_EQ(QR_TemplateObject::Acquire("models/b.qrb"), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_SYNTAX);
    EXPECT_STREQ(QR_Error::ourText, "fx/other.pe");
    EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
}

TEST_F(TemplateTest, TextureNamesOverrideTheSurfaceSlotsOneForOne)
{
    QRT_WriteFile("fx/wood.tga", QRT_MakeTGA(4, 4, 24, std::vector<uint32_t>(16, 0xFF806040u), true, false));
    QRB_TestModel m = Ship();
    m.myParts[0].myMeshName = "solid_quad";
    m.myParts[0].myMesh = QRB_TestQuad("INTERNAL_SOLID"); // one texture slot
    m.myParts[0].mySlots = {{0, 5.0f, {"fx/wood", "fx/spark"}}};
    m.myParts[0].myTextureWord = 128;
    Save("models/a.qrb", m);
    QR_TemplateObject* t = QR_TemplateObject::Acquire("models/a.qrb");
    ASSERT_NE(t, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    const QR_TemplatePart& p = t->myParts[0];
    ASSERT_EQ(p.myNumTextureNames, 1u);
    EXPECT_EQ(p.myTextureWord, 128u);
    EXPECT_FLOAT_EQ(p.myTextureNames[0].myFramesPerSecond, 5.0f);
    ASSERT_EQ(p.myTextureNames[0].myNumNames, 2u);
    EXPECT_STREQ(p.myTextureNames[0].myNames[1], "fx/spark");
    t->Release();
    m.myParts[0].mySlots.push_back({0, 1.0f, {"fx/wood"}}); // more entries than slots
    Damaged(m, "two entries for one slot");
    m.myParts[0].mySlots = {{1, 1.0f, {"fx/wood"}}}; // a bump map where the surface has a texture
    Damaged(m, "another kind of slot");
}

TEST_F(TemplateTest, ReleasingKeepsTheOrderOfTheOthers)
{
    QRB_TestModel m;
    for (const char* n : {"models/a.qrb", "models/az.qrb", "models/c.qrb"})
        Save(n, m);
    QR_TemplateObject* a = QR_TemplateObject::Acquire("models/a.qrb");
    QR_TemplateObject* b = QR_TemplateObject::Acquire("MODELS\\AZ.QRB");
    QR_TemplateObject* c = QR_TemplateObject::Acquire("MODELS/C.QRB");
    ASSERT_TRUE(a && b && c);
    EXPECT_STREQ(b->myName, "models/az.qrb");
    EXPECT_EQ(QR_TemplateObject::Acquire("models/az.qrb"), b);
    b->Release();
    b->Release();
    ASSERT_EQ(QR_TemplateObject::ourNumTemplates, 2u);
    EXPECT_EQ(QR_TemplateObject::ourList[0], a);
    EXPECT_EQ(QR_TemplateObject::ourList[1], c);
    a->Release();
    EXPECT_EQ(QR_TemplateObject::ourList[0], c);
    c->Release();
    QR_TemplateObject* z = QR_TemplateObject::Create("AZ");
    ASSERT_NE(z, nullptr);
    EXPECT_STREQ(z->myName, "az");
    z->Release();
}

TEST_F(TemplateTest, NamesInsideModelsOpenThroughThePathRules)
{
    // A drive letter and backslashes, as the data trees from Windows hold them; the drive
    // is the data root here.
    char locRoot[4096];
    ASSERT_TRUE(getcwd(locRoot, sizeof(locRoot)));
    setenv("Q_DRIVE_T", locRoot, 1);
    QRB_TestModel m = Ship();
    m.myLinks[0].myName = "FX\\Spark";
    Save("models/ship.qrb", m);
    QR_TemplateObject* t = QR_TemplateObject::Acquire("t:\\Models\\SHIP.qrb");
    ASSERT_NE(t, nullptr) << QR_Error::ourCode << " " << QR_Error::ourText;
    EXPECT_STREQ(t->myLinks[0].myDefinition->myName, "fx/spark");
    t->Release();
    unsetenv("Q_DRIVE_T");
}

} // namespace
