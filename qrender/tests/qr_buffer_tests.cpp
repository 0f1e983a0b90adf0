// Buffers, appends and draws, the vertex-shader registry and the fixed-function kinds on
// the recording device.
#include "qrender/tests/qr_render_test_util.h"

#include <new>
#include <string.h>

#include "qrender/qr_d3dcamerafacingvshader.h"
#include "qrender/qr_d3ddepthsortvshader.h"
#include "qrender/qr_d3dnormalvshader.h"
#include "qrender/qr_d3dvs_vshader.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"
#include "qrender/qr_view.h"

class BufferTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        mySettings.myVertexShaderFlag = 0; // the fixed-function kind
        // The offsets below count from an empty buffer: no force-flush square first.
        QR_Render::ourHooks.myDrawForceFlushSurface = nullptr;
        ASSERT_TRUE(Start());
        R()->BeginFrame();
        R()->BeginSolid2D(); // a declaration for the draws
        Calls().clear();
    }
    void TearDown() override
    {
        R()->EndFrame();
        RecordingRender::TearDown();
    }
    QR_VertexBuffer* VB() { return R()->myDynamicVertexBuffer; }
    QR_IndexBuffer* IB() { return R()->myDynamicIndexBuffer; }
    void Append(uint32_t aCount)
    {
        void* locData = nullptr;
        ASSERT_TRUE(R()->AppendVertices(VB(), &locData, aCount));
        memset(locData, 0, (size_t)aCount * VB()->myVertexSize);
    }
    void Draw(uint32_t aCount)
    {
        QR_VertexBuffer* locList[1] = {VB()};
        R()->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLELIST, aCount);
    }
};

TEST_F(BufferTest, AppendsFollowEachOtherWithinAFrameAndDiscardAtTheNext)
{
    VB()->myVertexSize = 32;
    Append(10);
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 0 320 DISCARD");
    Draw(10);
    EXPECT_EQ(Last("DrawPrimitive"), "DrawPrimitive 4 0 3");
    Append(10);
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 320 320 NOOVERWRITE");
    Draw(10);
    EXPECT_EQ(Last("DrawPrimitive"), "DrawPrimitive 4 10 3");
    R()->EndFrame();
    R()->BeginFrame();
    Append(10);
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 0 320 DISCARD");
}

TEST_F(BufferTest, AppendPastVertex65535RestartsWithDiscard)
{
    ASSERT_TRUE(R()->ReserveDynamicVertices(4 << 20));
    VB()->myVertexSize = 32;
    Append(60000);
    Draw(60000);
    Append(10000);
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 0 320000 DISCARD");
}

TEST_F(BufferTest, ChangedVertexSizeAlignsTheNextAppend)
{
    VB()->myVertexSize = 32;
    Append(10);
    Draw(10);
    VB()->myVertexSize = 24;
    Append(2);
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 336 48 NOOVERWRITE");
}

TEST_F(BufferTest, AppendThatDoesNotFitDiscards)
{
    VB()->myVertexSize = 32;
    Append(16000);
    Draw(16000);
    Append(1000); // 16000 + 1000 vertices of 32 bytes pass 524288 bytes
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 0 32000 DISCARD");
}

TEST_F(BufferTest, ReservingLessKeepsTheBuffer)
{
    QR_VertexBuffer* locVB = VB();
    QR_D3DVertexBuffer* locRecord = locVB->myDeviceBuffer;
    EXPECT_TRUE(R()->ReserveDynamicVertices(1000));
    EXPECT_EQ(VB()->myDeviceBuffer, locRecord);
    EXPECT_TRUE(R()->ReserveDynamicVertices(1048576));
    EXPECT_EQ(VB()->mySize, 1048576u);
    EXPECT_EQ(VB()->myNumVertices, 32768u);
}

TEST_F(BufferTest, AFailedReserveKeepsTheSharedBuffersUsable)
{
    // The device refuses buffers past 1 MiB: the bigger reserves fail with their codes, and
    // the shared buffers stay as they were, so appends and draws go on.
    R()->EndFrame();
    QR_Render::Destroy();
    ourConfig.myMaxBufferSize = 1u << 20;
    ASSERT_TRUE(Start());
    R()->BeginFrame();
    R()->BeginSolid2D();
    EXPECT_FALSE(R()->ReserveDynamicVertices(2u << 20));
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_VERTEX_BUFFER);
    ASSERT_NE(VB()->myDeviceBuffer, nullptr);
    EXPECT_EQ(VB()->mySize, 524288u);
    EXPECT_FALSE(R()->ReserveDynamicIndices(1u << 20));
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_INDEX_BUFFER);
    ASSERT_NE(IB()->myDeviceBuffer, nullptr);
    EXPECT_EQ(IB()->myLength, 65536u);
    VB()->myVertexSize = 32;
    void* v = nullptr;
    uint16_t* i = nullptr;
    uint32_t locFirst = 0;
    ASSERT_TRUE(R()->AppendIndexedVertices(VB(), IB(), &v, 3, &i, 3, &locFirst));
    memset(v, 0, 96);
    memset(i, 0, 6);
    QR_VertexBuffer* locList[1] = {VB()};
    R()->DrawIndexedDynamic(locList, IB(), QR_DRAWTYPES_TRIANGLELIST, 3, 1);
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 4 0 0 3 0 1");
    // A first reserve that fails leaves no device data: appends fail and draws do nothing.
    QR_VertexBuffer* locKept = R()->myDynamicVertexBuffer;
    R()->myDynamicVertexBuffer = nullptr;
    EXPECT_FALSE(R()->ReserveDynamicVertices(2u << 20));
    ASSERT_NE(VB(), nullptr);
    EXPECT_EQ(VB()->myDeviceBuffer, nullptr);
    EXPECT_FALSE(R()->AppendVertices(VB(), &v, 3));
    Calls().clear();
    locList[0] = VB();
    R()->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLELIST, 3);
    EXPECT_EQ(Count("DrawPrimitive"), 0);
    delete R()->myDynamicVertexBuffer;
    R()->myDynamicVertexBuffer = locKept;
}

TEST_F(BufferTest, ViewIsCutToTheTargetAndAnEmptyViewDrawsNothing)
{
    // The target is 64 x 48.
    QR_View v;
    struct Case { int32_t x, y, w, h; const char* myViewport; };
    const Case locCases[] = {
        {-10, 5, 30, 20, "SetViewport 0 5 20 20 0 1"},   // partly off the left: cut, not shifted
        {50, 40, 30, 20, "SetViewport 50 40 14 8 0 1"},  // past the right and bottom
        {0, 0, 0, 20, nullptr},                          // no width: nothing, not the whole target
        {64, 0, 10, 10, nullptr},                        // beside the target
        {-20, 0, 20, 48, nullptr},                       // ends at the left edge
        {2147483600, 0, 100, 10, nullptr},               // x + width beyond 32 bits
    };
    VB()->myVertexSize = 32;
    for (const Case& c : locCases)
    {
        v.myCamera.myViewportX = c.x;
        v.myCamera.myViewportY = c.y;
        v.myCamera.myViewportWidth = c.w;
        v.myCamera.myViewportHeight = c.h;
        Calls().clear();
        R()->SetView(&v);
        Append(3);
        Draw(3);
        if (c.myViewport)
        {
            EXPECT_EQ(Last("SetViewport"), c.myViewport);
            EXPECT_EQ(Count("DrawPrimitive"), 1);
        }
        else
        {
            EXPECT_EQ(Count("SetViewport"), 0) << c.x << " " << c.w;
            EXPECT_EQ(Count("DrawPrimitive"), 0) << c.x << " " << c.w;
        }
    }
    // The next frame's whole-target viewport draws again.
    R()->EndFrame();
    R()->BeginFrame();
    Append(3);
    Draw(3);
    EXPECT_EQ(Count("DrawPrimitive"), 1);
    QR_RenderD3D::ourProjectionMatrix = nullptr;
}

TEST_F(BufferTest, IndexedAppendsRebaseAndCountPendingIndices)
{
    VB()->myVertexSize = 32;
    void* v = nullptr;
    uint16_t* i = nullptr;
    uint32_t locFirst = 99;
    ASSERT_TRUE(R()->AppendIndexedVertices(VB(), IB(), &v, 4, &i, 6, &locFirst));
    EXPECT_EQ(locFirst, 0u);
    memset(v, 0, 128);
    memset(i, 0, 12);
    QR_VertexBuffer* locList[1] = {VB()};
    R()->DrawIndexedDynamic(locList, IB(), QR_DRAWTYPES_TRIANGLELIST, 4, 2);
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 4 0 0 4 0 2");
    ASSERT_TRUE(R()->AppendIndexedVertices(VB(), IB(), &v, 4, &i, 4, &locFirst));
    EXPECT_EQ(locFirst, 4u);
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 12 8 NOOVERWRITE");
    memset(v, 0, 128);
    memset(i, 0, 8);
    R()->DrawIndexedDynamic(locList, IB(), QR_DRAWTYPES_TRIANGLESTRIP, 4, 2);
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 5 0 4 4 6 2");
}

TEST_F(BufferTest, DrawsCountAndBindOnlyOnChange)
{
    VB()->myVertexSize = 32;
    QR_Render::ourStats.ResetFrame();
    Append(12);
    QR_VertexBuffer* locList[1] = {VB()};
    R()->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLESTRIP, 12);
    EXPECT_EQ(Last("DrawPrimitive"), "DrawPrimitive 5 0 10");
    Append(12);
    R()->DrawPrimitives(locList, QR_DRAWTYPES_LINELIST, 12);
    EXPECT_EQ(Last("DrawPrimitive"), "DrawPrimitive 2 12 6");
    R()->DrawPrimitives(locList, 7, 12); // unknown types draw nothing but count
    EXPECT_EQ(Count("SetStreamSource"), 1);
    EXPECT_EQ(QR_Render::ourStats.myDrawCalls, 3u);
    EXPECT_EQ(QR_Render::ourStats.myPrimitives, 16u);
    EXPECT_EQ(QR_Render::ourStats.myVertices, 36u);
    EXPECT_EQ(QR_Render::ourStats.myWeightedVertices, 150u);
    EXPECT_EQ(QR_Render::ourStats.myDynamicBytes, 3u * 12 * 32);
}

static int ourRefills = 0;
static bool locCountRefill(void*)
{
    ourRefills++;
    return true;
}

TEST_F(BufferTest, StaticBuffersLockWithoutFlagsAndCountTheirMemory)
{
    uint32_t locMemory = QR_Render::ourStats.myVertexBufferMemory;
    QR_VertexBuffer* locVB = R()->CreateVertexBuffer(32, 10, true, locCountRefill, nullptr);
    QR_IndexBuffer* locIB = R()->CreateIndexBuffer(30, true, locCountRefill, nullptr);
    ASSERT_NE(locVB, nullptr);
    ASSERT_NE(locIB, nullptr);
    EXPECT_EQ(ourRefills, 0); // creation does not refill
    EXPECT_EQ(QR_Render::ourStats.myVertexBufferMemory, locMemory + 320);
    EXPECT_EQ(R()->myVertexBufferList, locVB);
    void* v = nullptr;
    ASSERT_TRUE(R()->LockVertexBuffer(locVB, &v, 2, -1));
    EXPECT_EQ(Last("LockBuffer"), "LockBuffer 64 256");
    R()->UnlockVertexBuffer(locVB);
    R()->FreeBufferPools();
    EXPECT_EQ(locVB->myDeviceBuffer, nullptr);
    EXPECT_EQ(R()->myVertexBufferList, locVB); // records stay registered
    ASSERT_TRUE(R()->CreateBufferPools());
    EXPECT_EQ(ourRefills, 2);
    R()->ReleaseVertexBuffer(locVB);
    R()->ReleaseIndexBuffer(locIB);
    EXPECT_EQ(QR_Render::ourStats.myVertexBufferMemory, locMemory);
    EXPECT_EQ(R()->myVertexBufferList, nullptr);
}

// [registry] ---------------------------------------------------------------------------------

TEST_F(BufferTest, FindIsCaseBlindForUpperCaseNamesOnly)
{
    QR_VertexShader* locKind = QR_VertexShader::ourDefault;
    ASSERT_NE(locKind, nullptr);
    uint32_t locCount = locKind->myRefCount;
    EXPECT_EQ(QR_VertexShader::Find("normal_mesh"), locKind);
    EXPECT_EQ(QR_VertexShader::Find("NORMAL_MESH"), locKind);
    EXPECT_EQ(locKind->myRefCount, locCount + 2);
    locKind->myRefCount = locCount;

    class LowerKind : public QR_VertexShader
    {
    public:
        LowerKind() : QR_VertexShader("lower", 0) {}
        QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData&) override { return nullptr; }
        void ReleaseCompiled(QR_CompiledVertexShader*) override {}
        void Begin(QR_CompiledVertexShader*) override {}
        void SetDataBlock(QR_VertexShaderDataBlock*) override {}
        bool PrepareMesh(QR_Mesh*) override { return true; }
        void Draw(QR_Mesh*, float, float) override {}
    };
    LowerKind* locLower = new LowerKind();
    EXPECT_EQ(QR_VertexShader::Find("lower"), nullptr);
    locLower->Release();
    EXPECT_EQ(QR_VertexShader::Find("nothing"), nullptr);
}

static QR_VertexShaderSetupData locSetup(uint32_t aFormat, uint32_t aLighting)
{
    QR_VertexShaderSetupData s;
    memset(&s, 0, sizeof(s));
    s.myNumStreams = 1;
    s.myVertexFormatList[0] = aFormat;
    s.myLighting = aLighting;
    return s;
}

TEST_F(BufferTest, EqualSetUpsShareARecordAndIdsAreReused)
{
    QR_VertexShader* k = QR_VertexShader::ourDefault;
    QR_CompiledVertexShader* a = k->Compile(locSetup(0x49, 1));
    QR_CompiledVertexShader* a2 = k->Compile(locSetup(0x84F, 1)); // weights and bones are masked out
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, a2);
    EXPECT_EQ(a->myRefCount, 2u);
    k->ReleaseCompiled(a2);
    EXPECT_EQ(a->myRefCount, 1u);

    QR_CompiledVertexShader* b = k->Compile(locSetup(0x49, 0));
    QR_CompiledVertexShader* c = k->Compile(locSetup(0x41, 0));
    ASSERT_NE(b, nullptr);
    ASSERT_NE(c, nullptr);
    uint32_t locIdB = b->myId;
    EXPECT_NE(a->myId, b->myId);
    EXPECT_NE(b->myId, c->myId);
    k->ReleaseCompiled(b);
    QR_CompiledVertexShader* d = k->Compile(locSetup(0x9, 0));
    EXPECT_EQ(d->myId, locIdB);
    k->ReleaseCompiled(a);
    k->ReleaseCompiled(c);
    k->ReleaseCompiled(d);
}

TEST_F(BufferTest, BeginSendsTheSetUpOnceAndResetsStagesItLeaves)
{
    QR_VertexShader* k = QR_VertexShader::ourDefault;
    QR_VertexShaderSetupData s = locSetup(0x89, 1); // two UV sets
    s.myNumUVs = 2;
    s.myUVs[0] = UV_VERTEX_UVSET_1;
    s.myUVs[1] = UV_CAMERASPACE_REFLECTION | UV_TEXTUREMATRIX | UV_THREECOMPONENTS;
    QR_CompiledVertexShader* c = k->Compile(s);
    ASSERT_NE(c, nullptr);
    k->Begin(c);
    EXPECT_EQ(Count("SetTextureStageState 0 TEXCOORDINDEX 1"), 1);
    EXPECT_EQ(Count("SetTextureStageState 1 TEXCOORDINDEX 196608"), 1);
    EXPECT_EQ(Count("SetTextureStageState 1 TEXTURETRANSFORMFLAGS 3"), 1);
    Calls().clear();
    k->Begin(c);
    EXPECT_TRUE(Calls().empty());
    k->ReleaseCompiled(c);
}

// [meshes] -----------------------------------------------------------------------------------

struct TestMesh : QR_Mesh
{
    // A strip or list of aNumIndices indices over aNumVertices 0x49 vertices.
    TestMesh(uint32_t aNumVertices, uint32_t aNumIndices, uint32_t anIndexType)
    {
        myNumVertices = aNumVertices;
        myVertexData = new uint8_t[(size_t)aNumVertices * 32]();
        myNumIndices = aNumIndices;
        myIndexData = new uint16_t[aNumIndices];
        for (uint32_t i = 0; i < aNumIndices; i++)
            myIndexData[i] = (uint16_t)(i % aNumVertices);
        myMeshIndexType = anIndexType;
        myNumLods = 2;
        myLods = new QR_MeshLod[2]();
        myLods[0] = {10.0f, 0, aNumVertices, 0, aNumIndices, 0, nullptr, 0, 0.0f};
        myLods[1] = {20.0f, 0, aNumVertices / 2, 0, aNumIndices / 2, 0, nullptr, 0, 0.0f};
        myVertexShader = QR_VertexShader::Find("NORMAL_MESH");
    }
};

TEST_F(BufferTest, MeshLevelsAndPrimitiveCounts)
{
    TestMesh m(20, 20, QR_DRAWTYPES_TRIANGLESTRIP);
    ASSERT_TRUE(m.myVertexShader->PrepareMesh(&m));
    ASSERT_NE(m.myVertexBuffer, nullptr);
    EXPECT_EQ(m.myVertexBufferVertexFormat, 0x9u); // no surface: position and the mesh's normal
    m.mySetupData.myVertexFormatList[0] = m.myVertexBufferVertexFormat;
    m.myCompiledVertexShader = m.myVertexShader->Compile(m.mySetupData);
    m.myVertexShader->Begin(m.myCompiledVertexShader);
    m.myVertexShader->Draw(&m, 10.0f, 0.0f); // equal distance: that level
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 5 0 0 20 0 18");
    m.myVertexShader->Draw(&m, 10.5f, 0.0f);
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 5 0 0 10 0 8");
    m.myVertexShader->Draw(&m, 1000.0f, 0.0f); // past the last level: the last level
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 5 0 0 10 0 8");
    m.myMeshIndexType = 7; // refused: nothing drawn
    Calls().clear();
    m.myVertexShader->Draw(&m, 1.0f, 0.0f);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 0);

    TestMesh l(21, 21, QR_DRAWTYPES_TRIANGLELIST);
    ASSERT_TRUE(l.myVertexShader->PrepareMesh(&l));
    l.myVertexShader->Draw(&l, 0.0f, 0.0f);
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 4 0 0 21 0 7");
}

TEST_F(BufferTest, MeshWhoseVertexSizeDisagreesWithItsFormatIsRefused)
{
    // 0x49 vertices are 32 bytes. Filling a buffer sized from the format with 40-byte
    // strides would write past it; the dynamic path would read past the mesh.
    TestMesh m(100, 99, QR_DRAWTYPES_TRIANGLELIST);
    for (const uint32_t locSize : {40u, 24u})
    {
        m.myVertexSize = locSize;
        EXPECT_FALSE(m.myVertexShader->PrepareMesh(&m)) << locSize;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_VERTEX_BUFFER);
        EXPECT_EQ(m.myVertexBuffer, nullptr);
        EXPECT_EQ(m.myIndexBuffer, nullptr);
        Calls().clear();
        m.myVertexShader->Draw(&m, 0.0f, 0.0f);
        EXPECT_EQ(Count("DrawIndexedPrimitive"), 0);
    }
    m.myVertexSize = 32;
    EXPECT_TRUE(m.myVertexShader->PrepareMesh(&m));
}

TEST_F(BufferTest, AnimatedLevelsPickTheFrameOfTheTime)
{
    TestMesh m(16, 24, QR_DRAWTYPES_TRIANGLELIST);
    QR_MeshFrame* f = new QR_MeshFrame[4];
    for (uint32_t i = 0; i < 4; i++)
        f[i] = {4 * i, 4, 6 * i, 6};
    m.myLods[0].myIsAnimated = 1;
    m.myLods[0].myFrames = f;
    m.myLods[0].myNumFrames = 4;
    m.myLods[0].myFramesPerSecond = 20.0f;
    ASSERT_TRUE(m.myVertexShader->PrepareMesh(&m));
    m.myVertexShader->Draw(&m, 0.0f, 0.26f); // frame 5 mod 4
    EXPECT_EQ(Last("DrawIndexedPrimitive"), "DrawIndexedPrimitive 4 0 4 4 6 2");
}

TEST_F(BufferTest, BufferFormatReadsOnlyWhatTheSurfaceUses)
{
    TestMesh m(4, 6, QR_DRAWTYPES_TRIANGLELIST);
    m.myVertexFormat = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_NORMAL | QR_VERTEXFLAG_DIFFUSE | QR_VERTEXFLAG_UV3;
    QR_Surface* locSurface = QR_Surface::Acquire("INTERNAL_SOLID"); // one stage, lit by the diffuse colour
    ASSERT_NE(locSurface, nullptr);
    m.mySurface = locSurface;
    m.mySetupData.myNumUVs = 1;
    m.mySetupData.myUVs[0] = UV_VERTEX_UVSET_1;
    m.mySetupData.myLighting = 0;
    // A mesh that reads only set 1 keeps sets 0 and 1, so set 1 stays set 1.
    EXPECT_EQ(QR_D3DNormalVShader::BufferFormat(&m),
              (uint32_t)(QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_DIFFUSE | QR_VERTEXFLAG_UV2));
    m.mySetupData.myLighting = 1;
    EXPECT_TRUE(QR_D3DNormalVShader::BufferFormat(&m) & QR_VERTEXFLAG_NORMAL);
    m.mySetupData.myLighting = 0;
    m.mySetupData.myUVs[0] = UV_CAMERASPACE_NORMAL;
    EXPECT_EQ(QR_D3DNormalVShader::BufferFormat(&m),
              (uint32_t)(QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_DIFFUSE | QR_VERTEXFLAG_NORMAL));
    m.mySurface = nullptr;
    QR_Surface::Release(locSurface);
}

TEST_F(BufferTest, FillingDefaultsMissingComponents)
{
    TestMesh m(1, 3, QR_DRAWTYPES_TRIANGLELIST);
    float locSource[8] = {1, 2, 3, 0, 0, 1, 0.25f, 0.75f};
    memcpy(m.myVertexData, locSource, 32);
    m.myVertexFormat = 0x49;
    m.myVertexBufferVertexFormat = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_DIFFUSE | QR_VERTEXFLAG_UV2;
    uint8_t locOut[36];
    QR_D3DNormalVShader::FillVertices(&m, locOut);
    float p[3];
    uint32_t locColor;
    float uv[4];
    memcpy(p, locOut, 12);
    memcpy(&locColor, locOut + 12, 4);
    memcpy(uv, locOut + 16, 16);
    EXPECT_EQ(p[2], 3.0f);
    EXPECT_EQ(locColor, 0xFFFFFFFFu);
    EXPECT_EQ(uv[1], 0.75f);
    EXPECT_EQ(uv[2], 0.0f);
}

// [skinning] ---------------------------------------------------------------------------------

struct SkinnedMesh : QR_Mesh
{
    SkinnedMesh(uint32_t aSkinning, const float* aWeights, const uint8_t* aBones)
    {
        myVertexFormat = 0x84F;
        myVertexSize = 48;
        myNumVertices = 3;
        myVertexData = new uint8_t[3 * 48]();
        for (int v = 0; v < 3; v++)
        {
            uint8_t* d = myVertexData + v * 48;
            float locPosition[3] = {(float)v, 0.0f, 0.0f};
            float locNormal[3] = {0.0f, 1.0f, 0.0f};
            memcpy(d, locPosition, 12);
            memcpy(d + 12, aWeights, 12);
            memcpy(d + 24, aBones, 4);
            memcpy(d + 28, locNormal, 12);
        }
        myNumIndices = 3;
        myIndexData = new uint16_t[3]{0, 1, 2};
        myNumLods = 1;
        myLods = new QR_MeshLod[1]();
        myLods[0] = {100.0f, 0, 3, 0, 3, 0, nullptr, 0, 0.0f};
        mySetupData.mySkinning = aSkinning;
        myVertexShader = QR_VertexShader::Find("NORMAL_MESH");
    }
};

// Reads back the vertices the last draw appended to the dynamic buffer.
static void locReadDynamic(QR_Render* aRender, uint32_t aCount, float* anOut)
{
    QR_VertexBuffer* locVB = aRender->myDynamicVertexBuffer;
    void* locData = nullptr;
    ASSERT_TRUE(QR_RenderD3D::ourDevice->LockBuffer(locVB->myDeviceBuffer->myBuffer, locVB->myDeviceBuffer->myMemIndex,
                                                    aCount * 32, GFX_LOCK_READONLY, &locData));
    memcpy(anOut, locData, aCount * 32);
    QR_RenderD3D::ourDevice->UnlockBuffer(locVB->myDeviceBuffer->myBuffer);
}

TEST_F(BufferTest, RigidSkinningMovesByTheFirstBone)
{
    float w[3] = {1.0f, 0.0f, 0.0f};
    uint8_t b[4] = {3, 0, 0, 0};
    SkinnedMesh m(1, w, b);
    ASSERT_TRUE(m.myVertexShader->PrepareMesh(&m));
    EXPECT_EQ(m.myVertexBuffer, nullptr); // skinned meshes draw through the dynamic buffers
    QR_VertexShader::ourBoneMatrices[3].SetIdentity();
    QR_VertexShader::ourBoneMatrices[3].SetTranslation(1.0f, 2.0f, 3.0f);
    m.myVertexShader->Draw(&m, 0.0f, 0.0f);
    float v[24];
    locReadDynamic(R(), 3, v);
    EXPECT_EQ(v[8 + 0], 2.0f); // vertex 1 at x = 1, moved by (1, 2, 3)
    EXPECT_EQ(v[8 + 1], 2.0f);
    EXPECT_EQ(v[8 + 2], 3.0f);
    EXPECT_EQ(v[8 + 4], 1.0f); // normal unchanged
    QR_VertexShader::ourBoneMatrices[3].SetIdentity();
}

TEST_F(BufferTest, BlendedSkinningGivesTheLastBoneTheRestOfTheWeight)
{
    float w[3] = {0.5f, 0.25f, 0.0f};
    uint8_t b[4] = {0, 1, 2, 4};
    SkinnedMesh m(2, w, b);
    ASSERT_TRUE(m.myVertexShader->PrepareMesh(&m));
    QR_VertexShader::ourBoneMatrices[1].SetTranslation(4.0f, 0.0f, 0.0f);
    QR_VertexShader::ourBoneMatrices[4].SetTranslation(0.0f, 8.0f, 0.0f);
    m.myVertexShader->Draw(&m, 0.0f, 0.0f);
    float v[24];
    locReadDynamic(R(), 3, v);
    EXPECT_FLOAT_EQ(v[0], 1.0f); // 0.25 x 4
    EXPECT_FLOAT_EQ(v[1], 2.0f); // (1 - 0.75) x 8
    QR_VertexShader::ourBoneMatrices[1].SetIdentity();
    QR_VertexShader::ourBoneMatrices[4].SetIdentity();
}

TEST_F(BufferTest, BoneIndicesOutsideThePaletteAreRefused)
{
    float w[3] = {1.0f, 0.0f, 0.0f};
    uint8_t b[4] = {0, 0, 32, 0};
    SkinnedMesh m(2, w, b);
    EXPECT_FALSE(m.myVertexShader->PrepareMesh(&m));
    m.myVertexShader->Draw(&m, 0.0f, 0.0f);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 0);
}

// [optimisers] -------------------------------------------------------------------------------

TEST_F(BufferTest, OptimisersKeepTheTrianglesAndRefuseBadIndices)
{
    // A 6 x 6 grid of quads with its triangles in a scattered order.
    const uint32_t n = 7;
    std::vector<uint16_t> locIndices;
    for (uint32_t q = 0; q < 36; q++)
    {
        uint32_t k = (q * 17) % 36;
        uint16_t a = (uint16_t)((k / 6) * n + k % 6);
        uint16_t locQuad[6] = {a, (uint16_t)(a + 1), (uint16_t)(a + n), (uint16_t)(a + 1), (uint16_t)(a + n + 1),
                               (uint16_t)(a + n)};
        locIndices.insert(locIndices.end(), locQuad, locQuad + 6);
    }
    std::vector<float> locVertices(n * n);
    for (uint32_t i = 0; i < n * n; i++)
        locVertices[i] = (float)i;
    std::vector<uint16_t> locOriginal = locIndices;
    ASSERT_TRUE(R()->OptimizeVertexOrder((uint8_t*)locVertices.data(), n * n, 4, locIndices.data(),
                                         (uint32_t)locIndices.size()));
    // Every triangle still names the same vertex values, in the same winding.
    std::vector<std::vector<float>> locBefore, locAfter;
    for (size_t t = 0; t < locIndices.size(); t += 3)
    {
        locBefore.push_back({(float)locOriginal[t], (float)locOriginal[t + 1], (float)locOriginal[t + 2]});
        std::vector<float> a = {locVertices[locIndices[t]], locVertices[locIndices[t + 1]],
                                locVertices[locIndices[t + 2]]};
        while (a[0] != *std::min_element(a.begin(), a.end()))
            std::rotate(a.begin(), a.begin() + 1, a.end());
        locAfter.push_back(a);
        std::vector<float>& b = locBefore.back();
        while (b[0] != *std::min_element(b.begin(), b.end()))
            std::rotate(b.begin(), b.begin() + 1, b.end());
    }
    std::sort(locBefore.begin(), locBefore.end());
    std::sort(locAfter.begin(), locAfter.end());
    EXPECT_EQ(locBefore, locAfter);
    EXPECT_EQ(locIndices[0], 0); // vertices renumbered by first use

    uint16_t locBad[3] = {0, 1, 9};
    EXPECT_FALSE(R()->OptimizeFaceOrder(locBad, 3, 5));

    uint16_t locTwice[6] = {0, 1, 2, 2, 1, 0};
    uint16_t locCopy[6];
    memcpy(locCopy, locTwice, sizeof(locTwice));
    float locV[3] = {7, 8, 9};
    EXPECT_TRUE(R()->OptimizeVertexOrder((uint8_t*)locV, 3, 4, locTwice, 6));
    EXPECT_EQ(memcmp(locCopy, locTwice, sizeof(locTwice)), 0);
}

// [kinds] ------------------------------------------------------------------------------------

TEST_F(BufferTest, LightsAreReloadedOnlyForANewOrChangedSet)
{
    TestMesh m(3, 3, QR_DRAWTYPES_TRIANGLELIST);
    m.mySetupData.myLighting = 1;
    m.mySetupData.myVertexFormatList[0] = 0x9;
    m.myCompiledVertexShader = m.myVertexShader->Compile(m.mySetupData);
    QR_LightSetLight locLights[2] = {{{0, 0, 0}, {0, 0, 1}, 0, {1, 1, 1}, 10.0f},
                                     {{1, 2, 3}, {0, 0, 1}, 1, {1, 0, 0}, 4.0f}};
    QR_LightSet locSet = {0x101010, 2, {&locLights[0], &locLights[1], nullptr}, {{1, 1, 1}, {1, 0, 0}}, 0};
    m.myDataBlock.myLightData = &locSet;
    m.myVertexShader->Begin(m.myCompiledVertexShader);
    m.myVertexShader->SetDataBlock(&m.myDataBlock);
    EXPECT_EQ(Count("SetLight"), 2);
    EXPECT_EQ(Count("LightEnable 1 1"), 1);
    EXPECT_EQ(Count("SetRenderState AMBIENT 1052688"), 1);
    m.myVertexShader->SetDataBlock(&m.myDataBlock);
    EXPECT_EQ(Count("SetLight"), 2);
    locSet.myFlags = 1; // changed by the view
    locSet.myNumLights = 1;
    m.myVertexShader->SetDataBlock(&m.myDataBlock);
    EXPECT_EQ(Count("SetLight"), 3);
    EXPECT_EQ(Count("LightEnable 1 0"), 1);
    EXPECT_EQ(locSet.myFlags, 0u);
}

TEST_F(BufferTest, CameraSpacePositionGetsTheProjectiveTextureMatrix)
{
    TestMesh m(3, 3, QR_DRAWTYPES_TRIANGLELIST);
    m.mySetupData.myVertexFormatList[0] = 0x9;
    m.mySetupData.myNumUVs = 1;
    m.mySetupData.myUVs[0] = UV_CAMERASPACE_POSITION | UV_TEXTUREMATRIX | UV_THREECOMPONENTS | UV_PROJECTED;
    m.myCompiledVertexShader = m.myVertexShader->Compile(m.mySetupData);
    m.myVertexShader->Begin(m.myCompiledVertexShader);
    EXPECT_EQ(Count("SetTextureStageState 0 TEXTURETRANSFORMFLAGS 259"), 1); // COUNT3 | PROJECTED
    m.myVertexShader->SetDataBlock(&m.myDataBlock);
    EXPECT_EQ(Last("SetTransform"), "SetTransform 3");
    const GFX_Matrix& t = QR_RenderD3D::ourDevice->GetTransform(GFX_TS_TEXTURE0);
    EXPECT_EQ(t.m[0][0], 0.5f);
    EXPECT_EQ(t.m[2][0], 0.5f);
    EXPECT_EQ(t.m[2][2], 1.0f);
}

TEST_F(BufferTest, WrappersBecomeCurrentAndDepthSortDoesNotSkin)
{
    QR_VertexShader* locSort = QR_VertexShader::Find("DEPTH_SORT");
    QR_VertexShader* locFacing = QR_VertexShader::Find("CAMERA_FACING");
    ASSERT_NE(locSort, nullptr);
    ASSERT_NE(locFacing, nullptr);
    EXPECT_EQ(locSort->mySortGroup, 1u);
    EXPECT_EQ(locFacing->mySortGroup, 2u);

    float w[3] = {1.0f, 0.0f, 0.0f};
    uint8_t b[4] = {0, 0, 0, 0};
    SkinnedMesh m(1, w, b);
    m.mySetupData.myVertexFormatList[0] = 0x84F;
    m.myCompiledVertexShader = locSort->Compile(m.mySetupData);
    locSort->Begin(m.myCompiledVertexShader);
    EXPECT_EQ(QR_VertexShader::ourCurrent, locSort);
    locSort->Draw(&m, 0.0f, 0.0f);
    EXPECT_EQ(VB()->myVertexSize, 48u); // the stored vertices, not skinned ones
    Calls().clear();
    QR_VertexShader::ourDefault->Begin(m.myCompiledVertexShader); // the wrapped kind starts afresh
    EXPECT_EQ(Count("SetVertexDecl"), 1);

    // Camera facing: the world matrix keeps its translation and turns to the camera.
    Matrix44 locWorld = Matrix44::Identity();
    locWorld.SetTranslation(5.0f, 6.0f, 7.0f);
    QR_VertexShader::ourWorldMatrix = &locWorld;
    locFacing->Begin(m.myCompiledVertexShader);
    locFacing->Draw(&m, 0.0f, 0.0f);
    ASSERT_EQ(QR_VertexShader::ourWorldMatrix, &QR_D3DCameraFacingVShader::ourBillboard);
    EXPECT_EQ(QR_D3DCameraFacingVShader::ourBillboard[12], 5.0f);
    EXPECT_EQ(QR_D3DCameraFacingVShader::ourBillboard[14], 7.0f);
    EXPECT_EQ(QR_D3DCameraFacingVShader::ourBillboard[0], 1.0f); // no view: facing along z
    QR_VertexShader::ourWorldMatrix = nullptr;
    m.myVertexShader->ReleaseCompiled(m.myCompiledVertexShader);
    m.myCompiledVertexShader = nullptr;
    locSort->myRefCount--;
    locFacing->myRefCount--;
}

// [kinds] ------------------------------------------------------------------------------------

// The kinds are made with new (std::nothrow). This program's replacement fails one such
// allocation of a chosen size, once; otherwise it allocates as usual.
static size_t ourFailingNothrowSize = 0;

void* operator new(size_t aSize, const std::nothrow_t&) noexcept
{
    if (aSize == ourFailingNothrowSize)
    {
        ourFailingNothrowSize = 0;
        return nullptr;
    }
    try
    {
        return ::operator new(aSize);
    }
    catch (...)
    {
        return nullptr;
    }
}

TEST_F(RecordingRender, AKindThatCannotBeAllocatedFailsTheStartCleanly)
{
    const size_t locSizes[] = {sizeof(QR_D3DNormalVShader), sizeof(QR_D3DCameraFacingVShader),
                               sizeof(QR_D3DDepthSortVShader), sizeof(QR_D3DVsVShader)};
    for (const size_t locSize : locSizes)
    {
        mySettings.myVertexShaderFlag = locSize == sizeof(QR_D3DVsVShader);
        ourFailingNothrowSize = locSize;
        EXPECT_FALSE(Start()) << locSize;
        EXPECT_EQ(ourFailingNothrowSize, 0u) << "the allocation was not tried";
        QR_Render::Destroy();
        // Nothing half-made stays registered (and, under the sanitizer, nothing leaks).
        EXPECT_EQ(QR_VertexShader::Find("NORMAL_MESH"), nullptr);
        EXPECT_EQ(QR_VertexShader::Find("CAMERA_FACING"), nullptr);
        EXPECT_EQ(QR_VertexShader::Find("DEPTH_SORT"), nullptr);
    }
    ASSERT_TRUE(Start());
    EXPECT_NE(QR_VertexShader::Find("NORMAL_MESH"), nullptr);
    EXPECT_NE(QR_VertexShader::Find("CAMERA_FACING"), nullptr);
    EXPECT_NE(QR_VertexShader::Find("DEPTH_SORT"), nullptr);
}
