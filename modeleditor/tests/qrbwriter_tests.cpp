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
#include "modeleditor/tests/me_qrbmodel.h"
#include "platform/input/in_script.h"
#include "platform/os/os_ui.h"
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

void ExpectSamePath(const QR_SplinePath& a, const QR_SplinePath& b, const std::string& aWhere)
{
    SCOPED_TRACE(aWhere);
    EXPECT_EQ(a.myRate, b.myRate);
    EXPECT_EQ(a.myIsLooping, b.myIsLooping);
    EXPECT_EQ(a.myNumChannels, b.myNumChannels);
    EXPECT_EQ(a.myKeyedMask, b.myKeyedMask);
    EXPECT_EQ(a.myKeySizeInFloats, b.myKeySizeInFloats);
    uint32_t locKeyed = __builtin_popcount(a.myKeyedMask);
    if (locKeyed)
    {
        EXPECT_EQ(a.myNumTangents, b.myNumTangents);
        ASSERT_EQ(a.myNumKeys, b.myNumKeys);
        EXPECT_EQ(memcmp(a.myKeys, b.myKeys, (size_t)a.myNumKeys * a.myKeySizeInFloats * 4), 0);
    }
    ASSERT_EQ(a.myConstants == nullptr, b.myConstants == nullptr);
    if (a.myConstants)
    {
        EXPECT_EQ(memcmp(a.myConstants, b.myConstants, (a.myNumChannels - locKeyed) * 4), 0);
    }
}

void ExpectSameMesh(const QR_Mesh& a, const QR_Mesh& b, const std::string& aWhere)
{
    SCOPED_TRACE(aWhere);
    EXPECT_EQ(a.mySurface, b.mySurface); // surfaces are shared by name
    EXPECT_EQ(a.myVertexShader, b.myVertexShader);
    const QR_VertexShaderSetupData& s = a.mySetupData;
    const QR_VertexShaderSetupData& t = b.mySetupData;
    EXPECT_EQ(s.mySkinning, t.mySkinning);
    EXPECT_EQ(s.myLighting, t.myLighting);
    EXPECT_EQ(s.myWord7, t.myWord7);
    EXPECT_EQ(s.mySpecular, t.mySpecular);
    EXPECT_EQ(s.myWord9, t.myWord9);
    EXPECT_EQ(s.myFogFlag, t.myFogFlag);
    ASSERT_EQ(s.myNumUVs, t.myNumUVs);
    for (uint32_t i = 0; i < s.myNumUVs; i++)
    {
        EXPECT_EQ(s.myUVs[i], t.myUVs[i]);
        const QR_SplinePath* p = a.myDataBlock.myTextureMatrixSpline[i];
        const QR_SplinePath* q = b.myDataBlock.myTextureMatrixSpline[i];
        ASSERT_EQ(p == nullptr, q == nullptr);
        if (p)
            ExpectSamePath(*p, *q, "texture matrix " + std::to_string(i));
    }
    if (s.mySpecular == 1 || s.mySpecular == 2)
    {
        EXPECT_EQ(a.myDataBlock.mySpecularPower, b.myDataBlock.mySpecularPower);
    }
    if (s.mySpecular == 2)
    {
        EXPECT_EQ(a.myDataBlock.myColor, b.myDataBlock.myColor);
    }
    EXPECT_EQ(a.myRadius, b.myRadius);
    EXPECT_EQ(a.myVertexFormat, b.myVertexFormat);
    EXPECT_EQ(a.myVertexSize, b.myVertexSize);
    ASSERT_EQ(a.myNumVertices, b.myNumVertices);
    EXPECT_EQ(memcmp(a.myVertexData, b.myVertexData, (size_t)a.myNumVertices * a.myVertexSize), 0);
    EXPECT_EQ(a.myMeshIndexType, b.myMeshIndexType);
    ASSERT_EQ(a.myNumIndices, b.myNumIndices);
    EXPECT_EQ(memcmp(a.myIndexData, b.myIndexData, (size_t)a.myNumIndices * 2), 0);
    ASSERT_EQ(a.myNumLods, b.myNumLods);
    for (uint32_t k = 0; k < a.myNumLods; k++)
    {
        SCOPED_TRACE("level " + std::to_string(k));
        const QR_MeshLod& l = a.myLods[k];
        const QR_MeshLod& m = b.myLods[k];
        EXPECT_EQ(l.myLodDistance, m.myLodDistance);
        EXPECT_EQ(l.myIsAnimated, m.myIsAnimated);
        EXPECT_EQ(l.myNumVertices, m.myNumVertices);
        EXPECT_EQ(l.myStartIndex, m.myStartIndex);
        EXPECT_EQ(l.myNumIndices, m.myNumIndices);
        EXPECT_EQ(l.myFirstVertex, m.myFirstVertex);
        if (l.myIsAnimated != 1)
            continue;
        EXPECT_FLOAT_EQ(l.myFramesPerSecond, m.myFramesPerSecond);
        ASSERT_EQ(l.myNumFrames, m.myNumFrames);
        EXPECT_EQ(memcmp(l.myFrames, m.myFrames, l.myNumFrames * sizeof(QR_MeshFrame)), 0);
    }
}

void ExpectSameTemplate(const QR_TemplateObject& a, const QR_TemplateObject& b)
{
    EXPECT_EQ(a.myBoundRadius, b.myBoundRadius);
    EXPECT_EQ(memcmp(a.myBoundCentre, b.myBoundCentre, 12), 0);
    ASSERT_EQ(a.myNumParts, b.myNumParts);
    for (uint32_t i = 0; i < a.myNumParts; i++)
    {
        const QR_TemplatePart& p = a.myParts[i];
        const QR_TemplatePart& q = b.myParts[i];
        SCOPED_TRACE(std::string("part ") + p.myName);
        EXPECT_STREQ(p.myName, q.myName);
        EXPECT_EQ(p.myMaxDistanceSquared, q.myMaxDistanceSquared);
        EXPECT_EQ(memcmp(p.myMatrix.myMatrix, q.myMatrix.myMatrix, 64), 0);
        EXPECT_EQ(p.mySkinGroup, q.mySkinGroup);
        ASSERT_EQ(p.myNumStates, q.myNumStates);
        for (uint32_t k = 0; k < p.myNumStates; k++)
        {
            const QR_TemplateState& s = p.myStates[k];
            const QR_TemplateState& t = q.myStates[k];
            EXPECT_EQ(s.myId, t.myId);
            EXPECT_EQ(s.myParent, t.myParent);
            EXPECT_EQ(s.myIsVisible, t.myIsVisible);
            EXPECT_EQ(s.myIsRemembered, t.myIsRemembered);
            EXPECT_EQ(s.myBlendTime, t.myBlendTime);
            EXPECT_EQ(s.myDuration, t.myDuration);
            EXPECT_EQ(s.myNextState, t.myNextState);
            EXPECT_EQ(s.myRestarts, t.myRestarts);
            ExpectSamePath(s.myPath, t.myPath, "state " + std::to_string(k));
        }
        ASSERT_EQ(p.myMesh == nullptr, q.myMesh == nullptr);
        if (p.myMesh)
        {
            EXPECT_STREQ(q.myMesh->myName, MET_OriginalMeshName(p.myMesh->myName).c_str());
            ExpectSameMesh(*p.myMesh, *q.myMesh, p.myMesh->myName);
        }
        ASSERT_EQ(p.myNumTextureNames, q.myNumTextureNames);
        EXPECT_EQ(p.myTextureWord, q.myTextureWord);
        for (uint32_t j = 0; j < p.myNumTextureNames; j++)
        {
            const QR_TextureNames& s = p.myTextureNames[j];
            const QR_TextureNames& t = q.myTextureNames[j];
            EXPECT_EQ(s.myType, t.myType);
            EXPECT_EQ(s.myFramesPerSecond, t.myFramesPerSecond);
            ASSERT_EQ(s.myNumNames, t.myNumNames);
            for (uint32_t n = 0; n < s.myNumNames; n++)
                EXPECT_STREQ(s.myNames[n].myData, t.myNames[n].myData);
        }
    }
    ASSERT_EQ(a.myNumLinks, b.myNumLinks);
    for (uint32_t i = 0; i < a.myNumLinks; i++)
    {
        EXPECT_EQ(a.myLinks[i].myPartIndex, b.myLinks[i].myPartIndex);
        EXPECT_EQ(a.myLinks[i].myStateId, b.myLinks[i].myStateId);
        EXPECT_EQ(a.myLinks[i].myDefinition, b.myLinks[i].myDefinition); // shared by name
    }
    ASSERT_EQ(a.myNumExpressions, b.myNumExpressions);
    for (uint32_t i = 0; i < a.myNumExpressions; i++)
        EXPECT_STREQ(a.myExpressions[i], b.myExpressions[i]);
    ASSERT_EQ(a.myNumLights, b.myNumLights);
    for (uint32_t i = 0; i < a.myNumLights; i++)
    {
        SCOPED_TRACE("light " + std::to_string(i));
        const QR_Light& l = a.myLights[i];
        const QR_Light& m = b.myLights[i];
        EXPECT_EQ(l.myPartIndex, m.myPartIndex);
        EXPECT_EQ(l.myType, m.myType);
        EXPECT_EQ(memcmp(l.myColor, m.myColor, 12), 0);
        EXPECT_EQ(l.myStateId, m.myStateId);
        const QR_SplinePath* p[3] = {l.myMotionPath, l.myColorPath, l.myRangePath};
        const QR_SplinePath* q[3] = {m.myMotionPath, m.myColorPath, m.myRangePath};
        for (int k = 0; k < 3; k++)
        {
            ASSERT_EQ(p[k] == nullptr, q[k] == nullptr);
            if (p[k])
                ExpectSamePath(*p[k], *q[k], "light path " + std::to_string(k));
        }
        if (l.myType == QR_LIGHT_DIRECTIONAL || l.myType == QR_LIGHT_SPOT)
        {
            EXPECT_EQ(memcmp(l.myDirection, m.myDirection, 12), 0);
        }
        if (l.myType == QR_LIGHT_POINT || l.myType == QR_LIGHT_SPOT)
        {
            EXPECT_EQ(memcmp(l.myPosition, m.myPosition, 12), 0);
            EXPECT_EQ(l.myRange, m.myRange);
            ASSERT_EQ(l.myHalo == nullptr, m.myHalo == nullptr);
            if (l.myHalo)
            {
                EXPECT_EQ(l.myHalo->mySurface, m.myHalo->mySurface);
                EXPECT_EQ(l.myHalo->myTextures[0].myFrames[0], m.myHalo->myTextures[0].myFrames[0]);
            }
        }
        if (l.myType == QR_LIGHT_SPOT)
        {
            EXPECT_EQ(l.myConeValues[0], m.myConeValues[0]);
            EXPECT_EQ(l.myConeValues[1], m.myConeValues[1]);
            EXPECT_EQ(l.myFallOff, m.myFallOff);
        }
    }
}

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
