// The .qrb writer: a template built in memory is written, read back whole by the
// renderer's own reader and compared field by field; the read-back template
// written again gives the same bytes; the byte layout's rules; failures keep
// the old file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/qrbwriter.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "modeleditor/tests/me_qrbcompare.h"
#include "modeleditor/tests/me_qrbmodel.h"
#include "platform/input/in_script.h"
#include "platform/os/os_ui.h"
#include "qrender/qr_error.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"

namespace fs = std::filesystem;

namespace
{

std::vector<uint8_t> locReadFile(const std::string& aPath)
{
    std::ifstream f(aPath, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void locWriteFile(const std::string& aPath, const std::string& aText)
{
    std::ofstream f(aPath, std::ios::binary);
    f << aText;
}

// Reads the words of a written file in order.
struct ByteCursor
{
    const std::vector<uint8_t>& myBytes;
    size_t myPos = 0;
    uint32_t U32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++)
            v |= (uint32_t)myBytes.at(myPos + i) << (8 * i);
        myPos += 4;
        return v;
    }
    float F32()
    {
        uint32_t v = U32();
        float f;
        memcpy(&f, &v, 4);
        return f;
    }
    std::string Name()
    {
        std::string s;
        while (myBytes.at(myPos))
            s += (char)myBytes[myPos++];
        myPos++;
        return s;
    }
    void Skip(size_t n) { myPos += n; }
};

int locAcceptBox(const char*, const char*, int)
{
    return OS_ID_OK;
}

class QRBWriterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/qrbwriter";
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        ASSERT_TRUE(QRT_WriteSampleFolder(myDir));
        ASSERT_TRUE(getcwd(myOldDir, sizeof(myOldDir)));
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        myOldHook = OS_SetMessageBoxHook(locAcceptBox);
        myScript.reset(new IN_Script);
        myScript->AddKeyboard();
        myScript->SetFocusWindow(true);
        ASSERT_TRUE(QRenderEditor::Create());
    }
    void TearDown() override
    {
        QRenderEditor::Destroy();
        myScript.reset();
        OS_SetMessageBoxHook(myOldHook);
        QR_TemplateObject::DestroyAll();
        QR_Mesh::DestroyAll();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        EXPECT_EQ(chdir(myOldDir), 0);
    }

    std::string myDir;
    char myOldDir[4096];
    std::unique_ptr<IN_Script> myScript;
    OS_MessageBoxHook myOldHook = nullptr;
};

TEST_F(QRBWriterTest, RoundTripThroughTheRenderersReaderKeepsEveryField)
{
    QR_TemplateObject* a = MET_BuildRichTemplate("built");
    ASSERT_NE(a, nullptr);
    QRBWriter w;
    ASSERT_TRUE(w.Write(a, "rich.qrb")) << EditorError::GetDetail();
    std::vector<uint8_t> locFirst = locReadFile("rich.qrb");
    // The reader makes its own meshes: the built ones leave the names free.
    MET_RenameBuiltMeshes(a);
    QR_TemplateObject* b = QR_TemplateObject::Acquire("rich.qrb");
    ASSERT_NE(b, nullptr);
    ExpectSameTemplate(*a, *b);

    // Written again, the read-back template gives the same bytes.
    std::vector<uint8_t> locAgain;
    ASSERT_TRUE(w.WriteToMemory(b, locAgain));
    EXPECT_EQ(locAgain, locFirst);
    b->Release();
    a->Release();
}

TEST_F(QRBWriterTest, SampleModelsBuiltInMemoryWriteTheRenderersTestBytes)
{
    // The renderer's tests lay files out byte by byte from the same descriptions.
    for (const QRT_SampleModel& s : QRT_SampleModels())
    {
        SCOPED_TRACE(s.myName);
        QR_TemplateObject* t = MET_TemplateFromDescription("described", s.myModel);
        ASSERT_NE(t, nullptr);
        std::vector<uint8_t> b;
        EXPECT_TRUE(QRBWriter().WriteToMemory(t, b));
        // The renderer keeps surface names as its reader normalises them: lower case.
        QRB_TestModel locLower = s.myModel;
        for (QRB_TestLight& l : locLower.myLights)
            for (char& c : l.myHaloSurface)
                c = (char)tolower((unsigned char)c);
        std::vector<uint8_t> locTest = QRB_WriteModel(locLower);
        size_t locAt = 0;
        while (locAt < b.size() && locAt < locTest.size() && b[locAt] == locTest[locAt])
            locAt++;
        EXPECT_EQ(b.size(), locTest.size());
        EXPECT_EQ(locAt, b.size()) << std::string((const char*)b.data() + locAt, std::min<size_t>(20, b.size() - locAt));
        t->Release();
        EXPECT_EQ(QR_Mesh::ourFirst, nullptr);
    }
}

TEST_F(QRBWriterTest, SharedMeshIsStoredOnceAndNamedAfterwards)
{
    QR_TemplateObject* t = MET_BuildSharedMeshTemplate("shared", "surfaces/stone.sur");
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> b;
    ASSERT_TRUE(QRBWriter().WriteToMemory(t, b));
    ByteCursor c{b};
    EXPECT_EQ(c.U32(), ('Q' | 'R' << 8 | 'B' << 16 | 9u << 24));
    EXPECT_EQ(c.F32(), t->myBoundRadius);
    c.Skip(12);
    ASSERT_EQ(c.U32(), 2u);
    EXPECT_EQ(c.Name(), "first");
    c.Skip(4 + 64 + 4);
    ASSERT_EQ(c.U32(), 1u); // one state
    c.Skip(8 * 4 + 6 * 4 + 6 * 4); // the state and its constant six-channel path
    EXPECT_EQ(c.U32(), 1u);        // stored in full
    EXPECT_EQ(c.Name(), "met_cube");
    uint32_t locCount = c.U32();
    size_t locDataStart = c.myPos;
    // The count runs from its end to the end of the mesh data.
    EXPECT_EQ(c.Name(), "surfaces/stone.sur");
    EXPECT_EQ(c.Name(), "NORMAL_MESH");
    c.Skip(5 * 4);
    ASSERT_EQ(c.U32(), 1u); // one stage
    c.Skip(4 + 4 + 4);      // stage word, fog, no path
    EXPECT_EQ(c.F32(), t->myParts[0].myMesh->myRadius);
    EXPECT_EQ(c.U32(), 0x49u);
    uint32_t locVertices = c.U32();
    c.Skip(locVertices * 32);
    c.Skip(4);
    uint32_t locIndices = c.U32();
    c.Skip(locIndices * 2);
    uint32_t locLevels = c.U32();
    c.Skip(locLevels * 24);
    EXPECT_EQ(c.myPos - locDataStart, locCount);
    c.Skip(4 + 4); // slot count 0 (none on the part), alpha reference
    EXPECT_EQ(c.Name(), "second");
    c.Skip(4 + 64 + 4 + 4 + 8 * 4 + 6 * 4 + 6 * 4);
    EXPECT_EQ(c.U32(), 2u); // named only
    EXPECT_EQ(c.Name(), "met_cube");
    t->Release();
}

TEST_F(QRBWriterTest, NameListZeroWordOnlyWithNamesAndPointLightWithoutHalo)
{
    QR_TemplateObject* t = MET_BuildSharedMeshTemplate("lists", "");
    ASSERT_NE(t, nullptr);
    delete[] t->myParts;
    t->myParts = nullptr;
    t->myNumParts = 0;
    std::vector<uint8_t> b;
    ASSERT_TRUE(QRBWriter().WriteToMemory(t, b));
    // Magic, radius, centre, no parts, no links, no names, no lights.
    EXPECT_EQ(b.size(), 4u + 16 + 4 + 4 + 4 + 4);

    t->myExpressions = new char*[2]{MET_Copy("A=1"), MET_Copy("B=2")};
    t->myNumExpressions = 2;
    t->myLights = new QR_Light[1];
    t->myNumLights = 1;
    t->myLights[0].myType = QR_LIGHT_POINT;
    t->myLights[0].myStateId = 0x41424344;
    ASSERT_TRUE(QRBWriter().WriteToMemory(t, b));
    ByteCursor c{b};
    c.Skip(4 + 16 + 4 + 4);
    EXPECT_EQ(c.U32(), 2u);
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.Name(), "A=1");
    EXPECT_EQ(c.Name(), "B=2");
    EXPECT_EQ(c.U32(), 1u);
    EXPECT_EQ(c.U32(), 0xFFFFFFFFu); // attached to no part
    EXPECT_EQ(c.U32(), 1u);
    c.Skip(12 + 3 * 4 + 12 + 4);     // colour, no paths, position, range
    EXPECT_EQ(b.at(c.myPos), 0);     // no halo: one zero byte
    c.Skip(1);
    EXPECT_EQ(c.U32(), 0x41424344u);
    EXPECT_EQ(c.myPos, b.size());
    t->Release();
}

TEST_F(QRBWriterTest, HaloWithoutAnyTextureIsStoredAsNone)
{
    QR_TemplateObject* t = MET_BuildSharedMeshTemplate("halos", "");
    ASSERT_NE(t, nullptr);
    delete[] t->myParts;
    t->myParts = nullptr;
    t->myNumParts = 0;
    t->myLights = new QR_Light[2];
    t->myNumLights = 2;
    for (int i = 0; i < 2; i++)
        t->myLights[i].myType = QR_LIGHT_POINT;
    // A built-in surface names no texture; the stone surface shows textures/stone.
    t->myLights[0].myHalo = QR_Surface::CreateInstance("INTERNAL_ALPHA", 0, nullptr);
    t->myLights[1].myHalo = QR_Surface::CreateInstance("surfaces/stone.sur", 0, nullptr);
    ASSERT_NE(t->myLights[0].myHalo, nullptr);
    ASSERT_NE(t->myLights[1].myHalo, nullptr);
    ASSERT_TRUE(QRBWriter().Write(t, "halos.qrb"));
    std::vector<uint8_t> b = locReadFile("halos.qrb");
    ByteCursor c{b};
    c.Skip(4 + 16 + 4 + 4 + 4 + 4);
    c.Skip(4 + 4 + 12 + 3 * 4 + 12 + 4);
    EXPECT_EQ(c.Name(), "");
    c.Skip(4 + 4 + 4 + 12 + 3 * 4 + 12 + 4);
    EXPECT_EQ(c.Name(), "surfaces/stone.sur");
    EXPECT_EQ(c.Name(), "textures/stone");
    QR_TemplateObject* r = QR_TemplateObject::Acquire("halos.qrb");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->myLights[0].myHalo, nullptr);
    ASSERT_NE(r->myLights[1].myHalo, nullptr);
    r->Release();
    t->Release();
}

TEST_F(QRBWriterTest, MeshWithoutSurfaceHasNoStagesAndNoSlots)
{
    QR_TemplateObject* t = MET_BuildSharedMeshTemplate("nosurface", "");
    ASSERT_NE(t, nullptr);
    // Slots on the part and a stage on the mesh are dropped without a surface.
    QR_TemplatePart& p = t->myParts[0];
    p.myTextureNames = new QR_TextureNames[1];
    p.myTextureNames[0].SetNames(1);
    p.myTextureNames[0].myNames[0] = "textures/wood";
    p.myNumTextureNames = 1;
    p.myMesh->mySetupData.myNumUVs = 1;
    std::vector<uint8_t> b;
    ASSERT_TRUE(QRBWriter().WriteToMemory(t, b));
    ByteCursor c{b};
    c.Skip(4 + 16 + 4);
    c.Name();
    c.Skip(4 + 64 + 4 + 4 + 8 * 4 + 6 * 4 + 6 * 4 + 4);
    c.Name();
    c.Skip(4);
    EXPECT_EQ(c.Name(), "");
    c.Name();
    c.Skip(5 * 4);
    EXPECT_EQ(c.U32(), 0u); // Q
    c.Skip(4 + 4 + 4);      // fog, radius, format
    uint32_t locVertices = c.U32();
    c.Skip(locVertices * 32 + 4);
    uint32_t locIndices = c.U32();
    c.Skip(locIndices * 2);
    uint32_t locLevels = c.U32();
    c.Skip(locLevels * 24);
    EXPECT_EQ(c.U32(), 0u); // T
    t->Release();
}

TEST_F(QRBWriterTest, FailuresGiveCode13AndKeepTheOldFile)
{
    locWriteFile("old.qrb", "old contents");
    QR_TemplateObject* t = MET_BuildSharedMeshTemplate("failing", "surfaces/stone.sur");
    ASSERT_NE(t, nullptr);

    // A light type the reader refuses.
    t->myLights = new QR_Light[1];
    t->myNumLights = 1;
    t->myLights[0].myType = 4;
    EditorError::Set(0);
    EXPECT_FALSE(QRBWriter().Write(t, "old.qrb"));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_WRITE_QRB);
    t->myLights[0].myType = QR_LIGHT_DIRECTIONAL;

    // A part name the reader would cut: 255 characters pass, 256 fail naming it.
    std::string locLong(255, 'p');
    delete[] t->myParts[1].myName;
    t->myParts[1].myName = MET_Copy(locLong.c_str());
    ASSERT_TRUE(QRBWriter().Write(t, "long.qrb")) << EditorError::GetDetail();
    MET_RenameBuiltMeshes(t);
    QR_TemplateObject* r = QR_TemplateObject::Acquire("long.qrb");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::string(r->myParts[1].myName), locLong);
    r->Release();
    delete[] t->myParts[1].myName;
    t->myParts[1].myName = MET_Copy((locLong + "q").c_str());
    EditorError::Set(0);
    EXPECT_FALSE(QRBWriter().Write(t, "old.qrb"));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_WRITE_QRB);
    EXPECT_NE(std::string(EditorError::GetDetail()).find("ppppp"), std::string::npos);
    delete[] t->myParts[1].myName;
    t->myParts[1].myName = MET_Copy("second");

    // So do mesh names.
    char* locMeshName = t->myParts[0].myMesh->myName;
    std::string locLongMesh(256, 'm');
    t->myParts[0].myMesh->myName = (char*)locLongMesh.c_str();
    EditorError::Set(0);
    EXPECT_FALSE(QRBWriter().Write(t, "old.qrb"));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_WRITE_QRB);
    t->myParts[0].myMesh->myName = locMeshName;

    // Name-list entries take 1023 characters.
    t->myExpressions = new char*[1]{MET_Copy(std::string(1024, 'x').c_str())};
    t->myNumExpressions = 1;
    EditorError::Set(0);
    EXPECT_FALSE(QRBWriter().Write(t, "old.qrb"));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_WRITE_QRB);
    delete[] t->myExpressions[0];
    t->myExpressions[0] = MET_Copy(std::string(1023, 'x').c_str());
    std::vector<uint8_t> b;
    EXPECT_TRUE(QRBWriter().WriteToMemory(t, b));

    // The write-back itself failing (file-size limit) is reported too.
    signal(SIGXFSZ, SIG_IGN);
    rlimit locOld{};
    getrlimit(RLIMIT_FSIZE, &locOld);
    rlimit locSmall = locOld;
    locSmall.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &locSmall);
    EditorError::Set(0);
    bool locWritten = QRBWriter().Write(t, "old.qrb");
    setrlimit(RLIMIT_FSIZE, &locOld);
    EXPECT_FALSE(locWritten);
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_WRITE_QRB);
    EXPECT_FALSE(QRBWriter().Write(t, "no/such/folder/x.qrb"));

    std::vector<uint8_t> locKept = locReadFile("old.qrb");
    EXPECT_EQ(std::string(locKept.begin(), locKept.end()), "old contents");
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_EQ(e.path().filename().string().find("old.qrb."), std::string::npos) << e.path();
    t->Release();
}

// What the reader refuses as out of order is never written: a parent after
// its part and an index outside its level fail with 13; a level nearer than
// the one before it is stored at that one's distance, as it is drawn.
TEST_F(QRBWriterTest, TheOrderRulesOfTheReaderHold)
{
    QR_TemplateObject* t = MET_BuildSharedMeshTemplate("ordered", "surfaces/stone.sur");
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> b;
    t->myParts[0].myStates[0].myParent = 1;
    EditorError::Set(0);
    EXPECT_FALSE(QRBWriter().WriteToMemory(t, b));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_WRITE_QRB);
    EXPECT_STREQ(EditorError::GetDetail(), "a parent after its part first");
    t->myParts[0].myStates[0].myParent = 0; // itself
    EXPECT_FALSE(QRBWriter().WriteToMemory(t, b));
    t->myParts[0].myStates[0].myParent = -1;

    QR_Mesh* m = t->myParts[0].myMesh;
    const uint16_t locKept = m->myIndexData[m->myLods[0].myStartIndex];
    m->myIndexData[m->myLods[0].myStartIndex] = (uint16_t)(m->myLods[0].myFirstVertex + m->myLods[0].myNumVertices);
    EditorError::Set(0);
    EXPECT_FALSE(QRBWriter().WriteToMemory(t, b));
    EXPECT_EQ(EditorError::Get(), (uint32_t)EDITOR_ERROR_WRITE_QRB);
    EXPECT_STREQ(EditorError::GetDetail(), "an index outside its level's vertices in mesh met_cube");
    m->myIndexData[m->myLods[0].myStartIndex] = locKept;

    QR_MeshLod* locLevels = new QR_MeshLod[2]();
    locLevels[0] = locLevels[1] = m->myLods[0];
    locLevels[0].myLodDistance = 400.0f;
    locLevels[1].myLodDistance = 100.0f;
    delete[] m->myLods;
    m->myLods = locLevels;
    m->myNumLods = 2;
    ASSERT_TRUE(QRBWriter().Write(t, "levels.qrb")) << EditorError::GetDetail();
    MET_RenameBuiltMeshes(t);
    QR_TemplateObject* r = QR_TemplateObject::Acquire("levels.qrb");
    ASSERT_NE(r, nullptr) << QR_Error::ourText;
    ASSERT_EQ(r->myParts[0].myMesh->myNumLods, 2u);
    EXPECT_EQ(r->myParts[0].myMesh->myLods[1].myLodDistance, 400.0f);
    r->Release();
    t->Release();
}

TEST_F(QRBWriterTest, ExportStoresTheScenesVertexShaderName)
{
    QRenderEditor* e = QRenderEditor::ourInstance;
    EXPECT_TRUE(e->ExportQRB("none.qrb")); // no model: nothing to write
    EXPECT_FALSE(fs::exists("none.qrb"));

    QR_TemplateObject* t = MET_BuildSharedMeshTemplate("exported", "surfaces/stone.sur");
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(e->SetModel(t, "STND"));
    e->SetMeshVertexShader(t->myParts[0].myMesh, "SOME_LATER_KIND");
    ASSERT_TRUE(e->ExportQRB("exported.qrb"));
    std::vector<uint8_t> b = locReadFile("exported.qrb");
    std::string locText(b.begin(), b.end());
    EXPECT_NE(locText.find(std::string("SOME_LATER_KIND\0", 16)), std::string::npos);
    EXPECT_EQ(locText.find("NORMAL_MESH"), std::string::npos);
}

} // namespace
