// The assembled "NORMAL_MESH" kind on the recording device: program texts, shared records,
// the bone limit, stages the programs cannot serve, rebuilding after a device loss.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "platform/gfx/gfx_testsupport.h"
#include "qfile/render/qf_file.h"
#include "qr_qrb_writer.h"
#include "qr_render_test_util.h"
#include "qrender/qr_d3dvs_vshader.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_splinepath.h"
#include "qrender/qr_view.h"

namespace
{

QR_D3DVsCompiled locRecord(uint32_t aFormat, uint32_t aLighting, uint32_t aNumUVs, uint32_t aUV0, uint8_t aFog)
{
    QR_D3DVsCompiled r = {};
    r.myNumStreams = 1;
    r.myVertexFormatList[0] = aFormat;
    r.myLighting = aLighting;
    r.myNumUVs = aNumUVs;
    r.myUVs[0] = aUV0;
    r.myFogFlag = aFog;
    return r;
}

bool locHas(const std::string& aText, const char* aLine)
{
    return aText.find(std::string(aLine) + "\r\n") != std::string::npos;
}

TEST(VsProgramText, TexturedLitMeshReadsItsSetAndEndsWithTheLightBlock)
{
    std::string t = QR_D3DVsVShader::WriteProgram(locRecord(0x49, 1, 1, UV_VERTEX_UVSET_0, 0));
    EXPECT_EQ(t.compare(0, 8, "vs_1_1\r\n"), 0);
    EXPECT_TRUE(locHas(t, "dcl_position v0"));
    EXPECT_TRUE(locHas(t, "dcl_normal v3"));
    EXPECT_TRUE(locHas(t, "dcl_texcoord0 v5"));
    EXPECT_TRUE(locHas(t, "m4x4 r0, v0, c0"));
    EXPECT_TRUE(locHas(t, "mov oT0.xy, v5.xy"));
    EXPECT_TRUE(locHas(t, "mad oD1, r0.z, c92, r2"));
    EXPECT_TRUE(locHas(t, "mad r0, r0.y, c91, r1"));
    // The last line adds the ambient colour (the fixed-function kind's global ambient).
    EXPECT_EQ(t.substr(t.size() - 18), "add oD0, r0, c79\r\n");
    EXPECT_FALSE(locHas(t, "mad oFog, r1.x, c94.z, c94.w"));
}

TEST(VsProgramText, ColouredMeshWithoutNormalKeepsItsColour)
{
    std::string t = QR_D3DVsVShader::WriteProgram(locRecord(0x51, 0, 1, UV_VERTEX_UVSET_0, 1));
    EXPECT_TRUE(locHas(t, "dcl_color v10"));
    EXPECT_TRUE(locHas(t, "mov oD0, v10"));
    EXPECT_TRUE(locHas(t, "mov oD1, c93"));
    EXPECT_TRUE(locHas(t, "mad oFog, r1.x, c94.z, c94.w")); // range fog
    // Lit without a normal: the ambient light only, times the colour.
    std::string l = QR_D3DVsVShader::WriteProgram(locRecord(0x51, 1, 0, 0, 0));
    EXPECT_TRUE(locHas(l, "mul r0, c79, v10"));
    EXPECT_TRUE(locHas(l, "mov r0.w, v10.w"));
}

TEST(VsProgramText, MatrixAndProjectiveStages)
{
    QR_D3DVsCompiled r = locRecord(0xC9, 0, 2, UV_VERTEX_UVSET_1 | UV_TEXTUREMATRIX, 0);
    r.myUVs[1] = UV_CAMERASPACE_POSITION | UV_TEXTUREMATRIX | UV_THREECOMPONENTS | UV_PROJECTED;
    std::string t = QR_D3DVsVShader::WriteProgram(r);
    EXPECT_TRUE(locHas(t, "m3x2 oT0, v6.xyw, c60"));
    EXPECT_TRUE(locHas(t, "m4x4 r2, v0, c64"));
    EXPECT_TRUE(locHas(t, "mov oT1, r1"));
    // Sets past the fourth are not declared (their registers belong to the colour).
    std::string e = QR_D3DVsVShader::WriteProgram(locRecord(0x1D9, 0, 0, 0, 0));
    EXPECT_TRUE(locHas(e, "dcl_texcoord3 v8"));
    EXPECT_FALSE(locHas(e, "dcl_texcoord5 v10"));
}

TEST(VsProgramText, SkinningProgramsUnpackAndScale)
{
    std::string t2 = QR_D3DVsVShader::TwoBoneProgram();
    EXPECT_TRUE(locHas(t2, "mad r10, v3, c94.y, c94.x"));
    EXPECT_TRUE(locHas(t2, "mul r11, v0, c95.x"));
    EXPECT_TRUE(locHas(t2, "m4x3 r0.xyz, r11, c[a0.x + 4]"));
    EXPECT_TRUE(locHas(t2, "mul oT0.xy, v7.xy, c95.y"));
    EXPECT_TRUE(locHas(t2, "mul oT1.xy, v8.xy, c95.y"));
    std::string t4 = QR_D3DVsVShader::FourBoneProgram();
    EXPECT_TRUE(locHas(t4, "mov a0.x, v2.w"));
    EXPECT_FALSE(locHas(t4, "mul r11, v0, c95.x"));
}

class VsKindTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_NE(QR_D3DVsVShader::ourInstance, nullptr);
        mkdir(Q_TEST_TMP_DIR, 0755);
    }
    void TearDown() override
    {
        QR_Mesh::DestroyAll();
        RecordingRender::TearDown();
    }

    QR_Mesh* Read(const QRB_TestMesh& aMesh, const char* aName, bool* anOk = nullptr)
    {
        QRB_TestWriter w;
        w.MeshData(aMesh);
        std::string locPath = std::string(Q_TEST_TMP_DIR) + "/vs_mesh.bin";
        EXPECT_TRUE(w.Save(locPath));
        QF_File f;
        EXPECT_TRUE(f.Open(locPath.c_str(), QF_READ));
        QR_Mesh* m = QR_Mesh::Create(aName);
        bool locOk = m->ReadMeshData(f, "model.qrb");
        if (anOk)
            *anOk = locOk;
        return m;
    }

    static QRB_TestMesh Triangle(uint32_t aSkinning = 0)
    {
        QRB_TestMesh m;
        m.myVertexFormat = aSkinning ? 0x84F : 0x49;
        m.myNumVertices = 3;
        m.myVertices.assign(3 * (aSkinning ? 48 : 32), 0);
        m.myIndices = {0, 1, 2};
        QRB_TestLevel l;
        l.myNumVertices = 3;
        l.myNumIndices = 3;
        m.myLevels = {l};
        m.mySettings[0] = aSkinning;
        return m;
    }
};

TEST_F(VsKindTest, EqualSetUpsShareOneProgram)
{
    int locShaders = Count("CreateShader");
    QR_Mesh* a = Read(Triangle(), "a");
    QR_Mesh* b = Read(Triangle(), "b");
    ASSERT_NE(a->myCompiledVertexShader, nullptr);
    EXPECT_EQ(a->myCompiledVertexShader, b->myCompiledVertexShader);
    EXPECT_EQ(a->myCompiledVertexShader->myRefCount, 2u);
    EXPECT_EQ(Count("CreateShader"), locShaders + 1);
    // Skinned meshes take the kind's shared programs: nothing new is assembled.
    Read(Triangle(1), "s1");
    Read(Triangle(2), "s2");
    EXPECT_EQ(Count("CreateShader"), locShaders + 1);
    b->Release();
    EXPECT_EQ(a->myCompiledVertexShader->myRefCount, 1u);
}

TEST_F(VsKindTest, StagesTheProgramsCannotServeAreRefused)
{
    struct Case
    {
        uint32_t mySkinning;
        uint32_t myStage;
    } locCases[] = {{0, UV_CAMERASPACE_NORMAL},
                    {0, UV_CAMERASPACE_REFLECTION},
                    {0, UV_CAMERASPACE_POSITION},
                    {0, UV_VERTEX_UVSET_0 | UV_THREECOMPONENTS | UV_TEXTUREMATRIX},
                    {2, UV_VERTEX_UVSET_0 | UV_TEXTUREMATRIX}};
    int n = 0;
    for (const Case& c : locCases)
    {
        QRB_TestMesh q = Triangle(c.mySkinning);
        q.myStages = {c.myStage};
        q.myStagePathFlags = {(c.myStage & UV_TEXTUREMATRIX) != 0};
        q.myStagePaths = {QRB_TestPath::Constant({0, 0, 0, 0})};
        bool locOk = true;
        Read(q, ("m" + std::to_string(n++)).c_str(), &locOk);
        EXPECT_FALSE(locOk) << c.myStage;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_DATA) << c.myStage;
    }
    QRB_TestMesh q = Triangle();
    q.mySettings[0] = 3; // no such skinning
    bool locOk = true;
    Read(q, "skin3", &locOk);
    EXPECT_FALSE(locOk);
}

TEST_F(VsKindTest, TooManyBonesSkipTheDrawAndAreCounted)
{
    QR_Mesh* m = Read(Triangle(2), "bones");
    ASSERT_NE(m->myCompiledVertexShader, nullptr);
    QR_VertexShader* k = m->myVertexShader;
    R()->BeginFrame();
    for (uint32_t locBones : {24u, 25u})
    {
        uint32_t locSkipped = QR_View::ourSkippedDraws;
        QR_VertexShader::ourNumBoneMatrices = locBones;
        Calls().clear();
        k->Begin(m->myCompiledVertexShader);
        k->SetDataBlock(&m->myDataBlock);
        k->Draw(m, 0.0f, 0.0f);
        EXPECT_EQ(Count("DrawIndexedPrimitive"), locBones == 24 ? 1 : 0) << locBones;
        EXPECT_EQ(QR_View::ourSkippedDraws, locSkipped + (locBones == 24 ? 0 : 1)) << locBones;
        if (locBones == 24)
        {
            EXPECT_EQ(Last("SetVertexShaderConstantF 0"), "SetVertexShaderConstantF 0 76");
        }
    }
    QR_VertexShader::ourNumBoneMatrices = 0;
    R()->EndFrame();
}

TEST_F(VsKindTest, DeviceLossRebuildsTheProgramsAndRecords)
{
    QR_Mesh* m = Read(Triangle(), "lost");
    Read(Triangle(1), "lost_skinned");
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    R()->BeginFrame();
    R()->EndFrame();
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    Calls().clear();
    R()->BeginFrame();
    ASSERT_NE(m->myCompiledVertexShader, nullptr);
    QR_VertexShader* k = m->myVertexShader;
    k->Begin(m->myCompiledVertexShader);
    k->SetDataBlock(&m->myDataBlock);
    k->Draw(m, 0.0f, 0.0f);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 1);
    R()->EndFrame();
    // Released everything it made: the device counts no objects left over at the next loss.
    QR_Render::Destroy();
}

TEST_F(VsKindTest, SpecularColourInTheFormatIsLeftOut)
{
    // Position, normal, specular colour, one set: the program reads no second colour.
    QRB_TestMesh q = Triangle();
    q.myVertexFormat = 0x69;
    q.myVertices.assign(3 * 36, 0);
    bool locOk = false;
    QR_Mesh* m = Read(q, "specular", &locOk);
    ASSERT_TRUE(locOk) << QR_Error::ourCode;
    EXPECT_EQ(m->myVertexBuffer->myVertexSize, 36u);
    QR_D3DVsCompiled r = *(QR_D3DVsCompiled*)m->myCompiledVertexShader->myRecord;
    std::string t = QR_D3DVsVShader::WriteProgram(r);
    EXPECT_EQ(t.find("v11"), std::string::npos);
    EXPECT_TRUE(locHas(t, "dcl_texcoord0 v5"));
}

} // namespace
