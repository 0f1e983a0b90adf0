// Meshes on the recording device: mesh blocks written as the model editor writes them,
// read, shared, drawn by level and frame; damaged blocks refused with code 24; triangle
// reordering and face normals.
#include <gtest/gtest.h>

#include <functional>
#include <math.h>
#include <string>
#include <sys/stat.h>

#include "platform/gfx/gfx_testsupport.h"
#include "qfile/render/qf_file.h"
#include "qr_qrb_writer.h"
#include "qr_render_test_util.h"
#include "qrender/qr_d3dnormalvshader.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_splinepath.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_vertex.h"


namespace
{

// Two quads side by side (8 vertices of format 0x49) and two levels: both quads up to
// distance 10, the first quad alone beyond.
QRB_TestMesh locQuads()
{
    QRB_TestMesh m;
    std::vector<float> v;
    for (int q = 0; q < 2; q++)
        for (int k = 0; k < 4; k++)
        {
            float x = (float)(q * 2 + (k & 1)), y = (float)(k >> 1);
            v.insert(v.end(), {x, y, 0.0f, 0.0f, 0.0f, -1.0f, x, y});
        }
    m.myNumVertices = 8;
    m.myVertices = QRB_TestVertices(v);
    m.myIndices = {0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7};
    QRB_TestLevel a;
    a.myNumVertices = 8;
    a.myNumIndices = 12;
    a.myDistance = 10.0f;
    QRB_TestLevel b;
    b.myNumVertices = 4;
    b.myNumIndices = 6;
    b.myDistance = 1000.0f;
    m.myLevels = {a, b};
    return m;
}

class MeshTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        mkdir(Q_TEST_TMP_DIR, 0755);
        myPath = std::string(Q_TEST_TMP_DIR) + "/mesh_block.bin";
        ASSERT_TRUE(Start());
    }
    void TearDown() override
    {
        QR_Mesh::DestroyAll();
        RecordingRender::TearDown();
    }

    // Reads the block into a new mesh of that name; the mesh stays listed either way.
    QR_Mesh* Read(const QRB_TestMesh& aMesh, const char* aName = "Hull", bool* aResult = nullptr)
    {
        QRB_TestWriter w;
        w.MeshData(aMesh);
        return ReadBytes(w.myBytes, aName, aResult);
    }
    QR_Mesh* ReadBytes(const std::vector<uint8_t>& aBytes, const char* aName, bool* aResult)
    {
        FILE* f = fopen(myPath.c_str(), "wb");
        if (!aBytes.empty()) // fwrite of no bytes from a null pointer is undefined
            fwrite(aBytes.data(), 1, aBytes.size(), f);
        fclose(f);
        QF_File locFile;
        EXPECT_TRUE(locFile.Open(myPath.c_str(), QF_READ));
        QR_Mesh* m = QR_Mesh::Create(aName);
        bool locOk = m && m->ReadMeshData(locFile, "models/ship.qrb");
        if (aResult)
            *aResult = locOk;
        locFile.Close();
        return m;
    }

    // The indexed draws recorded since the last call, as "first-index primitives".
    std::vector<std::string> Draws()
    {
        std::vector<std::string> locOut;
        for (size_t i = myCallMark; i < Calls().size(); i++)
            if (Calls()[i].rfind("DrawIndexedPrimitive", 0) == 0)
                locOut.push_back(Calls()[i]);
        myCallMark = Calls().size();
        return locOut;
    }

    void Draw(QR_Mesh* m, float aDistance, float aTime)
    {
        m->myVertexShader->Begin(m->myCompiledVertexShader);
        m->myVertexShader->SetDataBlock(nullptr);
        m->myVertexShader->Draw(m, aDistance, aTime);
    }

    std::string myPath;
    size_t myCallMark = 0;
};

TEST_F(MeshTest, BlockIsReadSharedByNameAndDrawnByLevel)
{
    QRB_TestMesh q = locQuads();
    q.myRadius = 2.5f;
    bool locOk = false;
    QR_Mesh* m = Read(q, "Hull", &locOk);
    ASSERT_TRUE(locOk) << QR_Error::ourCode << " " << QR_Error::ourText;
    EXPECT_STREQ(m->myName, "hull");
    EXPECT_EQ(m->mySurface, nullptr); // empty surface name
    EXPECT_EQ(m->myVertexSize, 32u);
    EXPECT_EQ(m->myNumVertices, 8u);
    EXPECT_EQ(m->myNumIndices, 12u);
    EXPECT_EQ(m->myNumLods, 2u);
    EXPECT_FLOAT_EQ(m->myRadius, 2.5f);
    ASSERT_NE(m->myIndexBuffer, nullptr);
    ASSERT_NE(m->myCompiledVertexShader, nullptr);
    EXPECT_EQ(m->mySetupData.myVertexFormatList[0], m->myVertexBufferVertexFormat);

    EXPECT_EQ(QR_Mesh::Create("HULL"), nullptr);
    EXPECT_EQ(QR_Mesh::Find("Hull"), m);
    EXPECT_EQ(m->myRefCount, 2);
    m->Release();
    EXPECT_EQ(QR_Mesh::Find("nothing"), nullptr);

    R()->BeginFrame();
    Draws();
    Draw(m, 10.0f, 0.0f); // exactly the first level's distance
    Draw(m, 10.5f, 0.0f);
    Draw(m, 5000.0f, 0.0f); // past the last level: the last one
    std::vector<std::string> d = Draws();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0], "DrawIndexedPrimitive 4 0 0 8 0 4");
    EXPECT_EQ(d[1], "DrawIndexedPrimitive 4 0 0 4 0 2");
    EXPECT_EQ(d[2], d[1]);
    R()->EndFrame();

    m->Release();
    EXPECT_EQ(QR_Mesh::ourFirst, nullptr);
}

TEST_F(MeshTest, SurfaceSpecularAndStagePathsAreRead)
{
    QRB_TestMesh q = locQuads();
    q.mySurface = "INTERNAL_SOLID";
    q.mySettings[3] = 2;
    q.mySpecularPower = 12.0f;
    q.mySpecularColor = 0x804020;
    q.myStages = {UV_VERTEX_UVSET_0 | UV_TEXTUREMATRIX};
    q.myStagePathFlags = {true};
    q.myStagePaths = {QRB_TestPath::Constant({0.5f, 0, 0.25f, 0})};
    q.myFogFlag = 7;
    bool locOk = false;
    QR_Mesh* m = Read(q, "Skin", &locOk);
    ASSERT_TRUE(locOk) << QR_Error::ourCode;
    ASSERT_NE(m->mySurface, nullptr);
    EXPECT_EQ(m->mySurface, QR_Surface::Find("internal_solid"));
    EXPECT_EQ(m->mySetupData.mySpecular, 2u);
    EXPECT_FLOAT_EQ(m->myDataBlock.mySpecularPower, 12.0f);
    EXPECT_EQ(m->myDataBlock.myColor, 0x804020u);
    EXPECT_EQ(m->mySetupData.myFogFlag, 1);
    EXPECT_EQ(m->mySetupData.myNumUVs, 1u);
    ASSERT_NE(m->myDataBlock.myTextureMatrixSpline[0], nullptr);
    EXPECT_EQ(m->myDataBlock.myTextureMatrixSpline[0]->myNumChannels, 4u);
    // Releasing the mesh drops its surface reference and frees the path.
    int32_t locSurfaceCount = m->mySurface->myRefCount;
    QR_Surface* s = m->mySurface;
    s->myRefCount++;
    m->Release();
    EXPECT_EQ(s->myRefCount, locSurfaceCount);
    QR_Surface::Release(s);
}

TEST_F(MeshTest, AnimatedLevelDrawsTheFrameOfTheTime)
{
    QRB_TestMesh q = locQuads();
    QRB_TestLevel a;
    a.myKind = 1;
    a.myDistance = 100.0f;
    a.myFrameTime = 0.05f;
    // Four frames: the quads in turn, twice.
    a.myFrames = {0, 4, 0, 6, 4, 4, 6, 6, 0, 4, 0, 6, 4, 4, 6, 6};
    q.myLevels = {a};
    bool locOk = false;
    QR_Mesh* m = Read(q, "Anim", &locOk);
    ASSERT_TRUE(locOk) << QR_Error::ourCode;
    EXPECT_FLOAT_EQ(m->myLods[0].myFramesPerSecond, 20.0f);
    R()->BeginFrame();
    Draws();
    Draw(m, 1.0f, 0.26f); // frame 5 mod 4 = 1
    Draw(m, 1.0f, 0.0f);
    std::vector<std::string> d = Draws();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0], "DrawIndexedPrimitive 4 0 4 4 6 2");
    EXPECT_EQ(d[1], "DrawIndexedPrimitive 4 0 0 4 0 2");
    R()->EndFrame();
}

TEST_F(MeshTest, UnregisteredVertexShaderGivesCode23WithTheName)
{
    QRB_TestMesh q = locQuads();
    q.myVertexShader = "Shiny_Mesh";
    bool locOk = true;
    Read(q, "a", &locOk);
    EXPECT_FALSE(locOk);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_VERTEX_SHADER_NAME);
    EXPECT_STREQ(QR_Error::ourText, "Shiny_Mesh");
    // The kind name is found in any case.
    q.myVertexShader = "normal_mesh";
    Read(q, "b", &locOk);
    EXPECT_TRUE(locOk);
}

// Each damaged field is refused with code 24 and the file's name; the mesh frees what it
// read when released (the sanitizer build checks that nothing leaks).
TEST_F(MeshTest, DamagedBlocksGiveCode24)
{
    struct Case
    {
        const char* myWhat;
        std::function<void(QRB_TestMesh&)> myChange;
    };
    const float locInf = INFINITY;
    const std::vector<Case> locCases = {
        {"five stages", [](QRB_TestMesh& m) { m.myStages = {0, 0, 0, 0, 0}; }},
        {"format bit 12", [](QRB_TestMesh& m) { m.myVertexFormat = 0x1049; }},
        {"nine sets", [](QRB_TestMesh& m) { m.myVertexFormat = 0x249; m.myVertices.resize(8 * 96); }},
        {"index type 2", [](QRB_TestMesh& m) { m.myIndexType = 2; }},
        {"presence word 2", [](QRB_TestMesh& m) { m.myStages = {0}; m.myStagePathFlags = {false}; }},
        {"vertex count past the end", [](QRB_TestMesh& m) { m.myNumVertices = 0x08000001; }},
        {"no level", [](QRB_TestMesh& m) { m.myLevels.clear(); }},
        {"level indices outside", [](QRB_TestMesh& m) { m.myLevels[1].myStartIndex = 10; }},
        {"level vertices outside", [](QRB_TestMesh& m) { m.myLevels[1].myFirstVertex = 0xFFFFFFFE; }},
        {"index past the vertices", [](QRB_TestMesh& m) { m.myIndices[5] = 8; }},
        {"first index past the vertices", [](QRB_TestMesh& m) { m.myIndices[0] = 9; }},
        {"animated without frames", [](QRB_TestMesh& m) { m.myLevels[0].myKind = 1; }},
        {"frame time 0",
         [](QRB_TestMesh& m) { m.myLevels[0].myKind = 1; m.myLevels[0].myFrameTime = 0; m.myLevels[0].myFrames = {0, 4, 0, 6}; }},
        {"frame time infinite",
         [locInf](QRB_TestMesh& m) { m.myLevels[0].myKind = 1; m.myLevels[0].myFrameTime = locInf; m.myLevels[0].myFrames = {0, 4, 0, 6}; }},
        {"frame time NaN",
         [](QRB_TestMesh& m) { m.myLevels[0].myKind = 1; m.myLevels[0].myFrameTime = NAN; m.myLevels[0].myFrames = {0, 4, 0, 6}; }},
        {"frame outside", [](QRB_TestMesh& m) { m.myLevels[0].myKind = 1; m.myLevels[0].myFrames = {6, 4, 0, 6}; }},
        {"stage reads a missing set", [](QRB_TestMesh& m) { m.myStages = {UV_VERTEX_UVSET_1}; }},
        {"matrix stage without a path", [](QRB_TestMesh& m) { m.myStages = {UV_TEXTUREMATRIX}; }},
        {"unknown source", [](QRB_TestMesh& m) { m.myStages = {7}; }},
    };
    int n = 0;
    for (const Case& c : locCases)
    {
        QRB_TestMesh q = locQuads();
        c.myChange(q);
        QRB_TestWriter w;
        w.MeshData(q);
        if (std::string(c.myWhat) == "presence word 2")
        {
            // After the two names (1 + 12 bytes), five words, one stage and the fog flag.
            w.myBytes[13 + 20 + 8 + 4] = 2;
        }
        QR_Error::ourCode = 0;
        bool locOk = true;
        QR_Mesh* m = ReadBytes(w.myBytes, ("m" + std::to_string(n++)).c_str(), &locOk);
        EXPECT_FALSE(locOk) << c.myWhat;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_DATA) << c.myWhat;
        EXPECT_STREQ(QR_Error::ourText, "models/ship.qrb") << c.myWhat;
        EXPECT_EQ(m->myIndexBuffer, nullptr) << c.myWhat;
        m->Release();
    }
    EXPECT_EQ(QR_Mesh::ourFirst, nullptr);
}

TEST_F(MeshTest, NamesEndWithinTheirLimitAndEightSetsAreTheMost)
{
    // A kind name of 255 characters is read whole (and not found); one without its NUL in
    // 256 bytes is damage.
    QRB_TestMesh q = locQuads();
    q.myVertexShader = std::string(255, 'K');
    bool locOk = true;
    Read(q, "long255", &locOk);
    EXPECT_FALSE(locOk);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_VERTEX_SHADER_NAME);
    EXPECT_EQ(strlen(QR_Error::ourText), 255u);
    q.myVertexShader = std::string(300, 'K');
    Read(q, "long300", &locOk);
    EXPECT_FALSE(locOk);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_DATA);

    // A stage path that cannot be read is damage too.
    QRB_TestMesh p = locQuads();
    p.myStages = {UV_VERTEX_UVSET_0 | UV_TEXTUREMATRIX};
    p.myStagePathFlags = {true};
    p.myStagePaths = {QRB_TestPath::Constant(std::vector<float>(17, 0.0f))}; // 17 channels
    Read(p, "badpath", &locOk);
    EXPECT_FALSE(locOk);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_DATA);
    // Keys read whole whose last time is not 1: the block after it would still parse.
    QRB_TestPath k;
    k.myNumChannels = 1;
    k.myKeyedMask = 1;
    k.myNumKeys = 2;
    uint32_t locLinear = 3;
    float locType;
    memcpy(&locType, &locLinear, 4);
    k.myKeys = {0.0f, locType, 0.0f, 0.5f, locType, 1.0f};
    p.myStagePaths = {k};
    Read(p, "badkeys", &locOk);
    EXPECT_FALSE(locOk);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_DATA);

    // Eight sets is the most a format may hold; none at all with no stages is fine.
    for (uint32_t locFormat : {0x209u, 0x9u})
    {
        QRB_TestMesh e = locQuads();
        e.myVertexFormat = locFormat;
        e.myVertices.assign(8 * QR_GetVertexSize(locFormat), 0);
        QR_Mesh* m = Read(e, locFormat == 0x209 ? "eight" : "none", &locOk);
        EXPECT_TRUE(locOk) << std::hex << locFormat << " " << QR_Error::ourCode;
        EXPECT_EQ(m->myVertexSize, QR_GetVertexSize(locFormat));
        // A second preparation while compiled is refused.
        EXPECT_FALSE(m->CompileVertexShader());
    }
}

TEST_F(MeshTest, EveryCutOfABlockFails)
{
    QRB_TestMesh q = locQuads();
    q.mySettings[3] = 2;
    q.myStages = {UV_VERTEX_UVSET_0 | UV_TEXTUREMATRIX};
    q.myStagePathFlags = {true};
    q.myStagePaths = {QRB_TestPath::Constant({0.5f, 0, 0.25f, 0})};
    q.myLevels[1].myKind = 1;
    q.myLevels[1].myFrames = {0, 4, 0, 6, 4, 4, 6, 6};
    QRB_TestWriter w;
    w.MeshData(q);
    for (size_t locSize = 0; locSize < w.myBytes.size(); locSize++)
    {
        std::vector<uint8_t> locCut(w.myBytes.begin(), w.myBytes.begin() + locSize);
        bool locOk = true;
        QR_Mesh* m = ReadBytes(locCut, "cut", &locOk);
        EXPECT_FALSE(locOk) << locSize;
        m->Release();
    }
    bool locOk = false;
    ReadBytes(w.myBytes, "whole", &locOk);
    EXPECT_TRUE(locOk);
}

TEST_F(MeshTest, DestroyAllFreesEveryMeshWhateverItsCount)
{
    QR_Mesh* a = Read(locQuads(), "a");
    Read(locQuads(), "b");
    QR_Mesh::Find("a");
    QR_Mesh::Find("a");
    EXPECT_EQ(a->myRefCount, 3);
    QR_Mesh::DestroyAll();
    EXPECT_EQ(QR_Mesh::ourFirst, nullptr);
}

TEST_F(MeshTest, DeviceLossRebuildsBuffersAndCompiledSetUps)
{
    QR_Mesh* m = Read(locQuads(), "lost");
    ASSERT_NE(m->myCompiledVertexShader, nullptr);
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    R()->BeginFrame();
    R()->EndFrame(); // the loss is seen and the device made again
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    ASSERT_NE(m->myIndexBuffer, nullptr);
    ASSERT_NE(m->myCompiledVertexShader, nullptr);
    EXPECT_NE(m->myVertexBuffer->myDeviceBuffer, nullptr);
    R()->BeginFrame();
    Draws();
    Draw(m, 1.0f, 0.0f);
    EXPECT_EQ(Draws().size(), 1u);
    R()->EndFrame();
}

TEST_F(MeshTest, SoftwareSkinningTakesTheTwoSetFormat)
{
    // Format 0x88F: position, three weights, bones, normal, two sets (56 bytes).
    QRB_TestMesh q;
    q.mySettings[0] = 1;
    q.myVertexFormat = 0x88F;
    q.myNumVertices = 3;
    q.myVertices.assign(3 * 56, 0);
    q.myVertices[56 + 24] = 3; // bone 3
    q.myIndices = {0, 1, 2};
    QRB_TestLevel l;
    l.myNumVertices = 3;
    l.myNumIndices = 3;
    q.myLevels = {l};
    for (uint8_t locFlag : {1, 0})
    {
        // The assembled kind packs it into a buffer; the fixed-function one skins it each draw.
        QR_Mesh::DestroyAll();
        QR_Render::Destroy();
        mySettings.myVertexShaderFlag = locFlag;
        ASSERT_TRUE(Start());
        bool locOk = false;
        QR_Mesh* m = Read(q, "skin", &locOk);
        ASSERT_TRUE(locOk) << QR_Error::ourCode;
        EXPECT_EQ(m->myIndexBuffer != nullptr, locFlag == 1);
        R()->BeginFrame();
        Calls().clear();
        Draw(m, 0.0f, 0.0f);
        EXPECT_EQ(Count("DrawIndexedPrimitive"), 1);
        R()->EndFrame();
    }
}

// [SECTION] reordering

QR_Mesh* locSortMesh(const std::vector<float>& aPositions, const std::vector<uint16_t>& anIndices,
                     const std::vector<uint32_t>& aColors = {})
{
    QR_Mesh* m = new QR_Mesh();
    bool locColorFlag = !aColors.empty();
    m->myVertexFormat = QR_VERTEXFLAG_XYZ | (locColorFlag ? (uint32_t)QR_VERTEXFLAG_DIFFUSE : 0u);
    m->myVertexSize = QR_GetVertexSize(m->myVertexFormat);
    m->myNumVertices = (uint32_t)aPositions.size() / 3;
    m->myVertexData = new uint8_t[m->myNumVertices * m->myVertexSize];
    for (uint32_t v = 0; v < m->myNumVertices; v++)
    {
        memcpy(m->myVertexData + v * m->myVertexSize, &aPositions[v * 3], 12);
        if (locColorFlag)
            memcpy(m->myVertexData + v * m->myVertexSize + 12, &aColors[v], 4);
    }
    m->myNumIndices = (uint32_t)anIndices.size();
    m->myIndexData = new uint16_t[anIndices.size()];
    memcpy(m->myIndexData, anIndices.data(), anIndices.size() * 2);
    m->myNumLods = 1;
    m->myLods = new QR_MeshLod[1]();
    m->myLods[0].myNumIndices = m->myNumIndices;
    m->myLods[0].myNumVertices = m->myNumVertices;
    return m;
}

std::vector<uint16_t> locIndices(const QR_Mesh* m)
{
    return std::vector<uint16_t>(m->myIndexData, m->myIndexData + m->myNumIndices);
}

TEST(MeshSort, ViewDirectionPutsTheFarthestTriangleFirst)
{
    // Three triangles at z = 0, 5 and 10; looking along +z the eye sits at z = -2 x radius.
    QR_Mesh* m = locSortMesh({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 5, 1, 0, 5, 0, 1, 5, 0, 0, 10, 1, 0, 10, 0, 1, 10},
                             {0, 1, 2, 3, 4, 5, 6, 7, 8});
    m->myRadius = 1.0f;
    float d[3] = {0, 0, 3};
    ASSERT_TRUE(m->SortLodTriangles(0, d));
    EXPECT_EQ(locIndices(m), (std::vector<uint16_t>{6, 7, 8, 3, 4, 5, 0, 1, 2}));
    // Looking the other way from far beyond, the nearest becomes the farthest.
    d[2] = -1;
    m->myRadius = 10.0f;
    ASSERT_TRUE(m->SortLodTriangles(0, d));
    EXPECT_EQ(locIndices(m), (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    // A zero direction puts the eye at the origin: the triangle at z = 0 is nearest.
    float z[3] = {0, 0, 0};
    ASSERT_TRUE(m->SortLodTriangles(0, z));
    EXPECT_EQ(locIndices(m), (std::vector<uint16_t>{6, 7, 8, 3, 4, 5, 0, 1, 2}));
    EXPECT_FALSE(m->SortLodTriangles(1, d)); // no such level
    m->myMeshIndexType = 1;
    EXPECT_FALSE(m->SortLodTriangles(0, d)); // strips are not reordered
    delete m;
}

TEST(MeshSort, OpaqueTrianglesStayInFrontInTheirOrder)
{
    std::vector<float> p = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 5, 1, 0, 5, 0, 1, 5, 0, 0, 9, 1, 0, 9, 0, 1, 9};
    std::vector<uint16_t> i = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    QR_Mesh* m = locSortMesh(p, i, std::vector<uint32_t>(9, 0xFF808080));
    ASSERT_TRUE(m->SortLodTriangles(0, QR_MESHSORT_OPAQUE_FIRST));
    EXPECT_EQ(locIndices(m), i); // all opaque: unchanged
    delete m;

    // The middle triangle opaque, the others half transparent: it moves to the front.
    std::vector<uint32_t> c(9, 0x80FFFFFF);
    c[3] = c[4] = c[5] = 0xFFFFFFFF;
    m = locSortMesh(p, i, c);
    ASSERT_TRUE(m->SortLodTriangles(0, QR_MESHSORT_OPAQUE_FIRST));
    EXPECT_EQ(std::vector<uint16_t>(m->myIndexData, m->myIndexData + 3), (std::vector<uint16_t>{3, 4, 5}));
    delete m;

    // Without colours every triangle counts as opaque.
    m = locSortMesh(p, i);
    ASSERT_TRUE(m->SortLodTriangles(0, QR_MESHSORT_OPAQUE_FIRST));
    EXPECT_EQ(locIndices(m), i);
    delete m;
}

TEST(MeshSort, CentreEyeSortsFacingTrianglesFarFirstThenTheRestNearFirst)
{
    // Eye at the mean of the indexed positions (z = 5 by symmetry). Triangles wound so that
    // the one at z = 0 faces away from the eye (normal -z) and the others face it.
    std::vector<float> p = {0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 4, 1, 0, 4, 0, 1, 4, 0, 0, 11, 1, 0, 11, 0, 1, 11};
    QR_Mesh* m = locSortMesh(p, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(m->SortLodTriangles(0, QR_MESHSORT_ALL));
    // (p1 - p0) x (p2 - p1) . (c - eye) >= 0 is "outward": z=0 wound (0,1,2): n = -z, c - eye
    // = -z: outward. z=4 (3,4,5): n = +z, c - eye = -z: inward. z=11: n = +z, +z: outward.
    // Outward far first: z = 11 (d 36) then z = 0 (d 25); then inward near first: z = 4.
    EXPECT_EQ(locIndices(m), (std::vector<uint16_t>{6, 7, 8, 0, 1, 2, 3, 4, 5}));
    delete m;
}

TEST(MeshSort, ALevelsRangeStartsAtItsStartIndex)
{
    // Level 1 draws indices 3..8; its first vertex is 0. Reordering it must leave level 0's
    // triangle (indices 0..2) alone.
    std::vector<float> p = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 5, 1, 0, 5, 0, 1, 5};
    QR_Mesh* m = locSortMesh(p, {0, 1, 2, 0, 1, 2, 3, 4, 5});
    delete[] m->myLods;
    m->myLods = new QR_MeshLod[2]();
    m->myNumLods = 2;
    m->myLods[0] = {1.0f, 0, 3, 0, 3, 0, nullptr, 0, 0.0f};
    m->myLods[1] = {2.0f, 0, 6, 3, 6, 0, nullptr, 0, 0.0f};
    float d[3] = {0, 0, 1};
    ASSERT_TRUE(m->SortLodTriangles(1, d));
    EXPECT_EQ(locIndices(m), (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 0, 1, 2}));
    delete m;
}

TEST(MeshSort, FaceNormalsAreUnitOrZero)
{
    QR_Mesh* m = locSortMesh({0, 0, 0, 2, 0, 0, 0, 2, 0, 5, 5, 5}, {0, 1, 2, 3, 3, 3, 0, 2, 1});
    ASSERT_TRUE(m->BuildFaceNormals());
    ASSERT_EQ(m->myNumFaceNormals, 3u);
    // (p1 - p0) x (p2 - p1) = (2,0,0) x (-2,2,0) = (0,0,4).
    EXPECT_FLOAT_EQ(m->myFaceNormals[2], 1.0f);
    EXPECT_FLOAT_EQ(m->myFaceNormals[3], 0.0f);
    EXPECT_FLOAT_EQ(m->myFaceNormals[5], 0.0f);
    EXPECT_FLOAT_EQ(m->myFaceNormals[8], -1.0f);
    delete m;
}

} // namespace

namespace
{
TEST(MeshFrames, FrameOfTimeStaysInsideTheFrames)
{
    EXPECT_EQ(QR_FrameOfTime(0.26f, 20.0f, 4), 1u); // 5 mod 4
    EXPECT_EQ(QR_FrameOfTime(0.0f, 20.0f, 4), 0u);
    EXPECT_EQ(QR_FrameOfTime(-3.0f, 20.0f, 4), 0u);
    EXPECT_LT(QR_FrameOfTime(1000.0f, 1.0e20f, 3), 3u);
    EXPECT_EQ(QR_FrameOfTime(1000.0f, INFINITY, 3), 0u);
    EXPECT_EQ(QR_FrameOfTime(NAN, 20.0f, 3), 0u);
}
} // namespace
