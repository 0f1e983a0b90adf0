// The renderer on the OpenGL device over llvmpipe: clears, lit meshes through the
// fixed-function kind, fog, screenshots and a frame after a forced device loss.
#include <gtest/gtest.h>

#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/gfx/gfx_testsupport.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_view.h"

namespace
{

GFX_System* locGLSystem()
{
    return GFX_CreateGLSystem();
}

class RenderPixel : public testing::Test
{
protected:
    void SetUp() override
    {
        QR_RenderD3D::ourSystemFactory = locGLSystem;
        QR_RenderSettings s;
        s.myFullScreenFlag = 0;
        s.myBitsPerPixel = 32;
        s.myWidth = 64;
        s.myHeight = 64;
        s.myVertexShaderFlag = myVertexShaderFlag;
        ASSERT_TRUE(QR_Render::Create(nullptr, nullptr)) << GFX_GetLastErrorDetail();
        ASSERT_TRUE(QR_Render::ourInstance->Init(&s)) << GFX_GetLastErrorDetail();
        myView.myCamera.SetViewport(0, 0, 64, 64);
        QR_View::ourCurrentView = &myView;
        QR_VertexShader::ourWorldMatrix = nullptr;
        QR_VertexShader::ourObjectMatrix = nullptr;
    }
    void TearDown() override
    {
        QR_View::ourCurrentView = nullptr;
        delete myMesh;
        myMesh = nullptr;
        QR_Render::Destroy();
    }
    static QR_Render* R() { return QR_Render::ourInstance; }

    uint32_t Pixel(int x, int y)
    {
        std::vector<uint32_t> locPixels(64 * 64);
        EXPECT_TRUE(R()->GrabFrontBuffer(locPixels.data()));
        return locPixels[y * 64 + x] & 0xFFFFFF;
    }

    void ClearFrame(uint32_t aColor)
    {
        QR_Rect locAll = {0, 0, 64, 64};
        R()->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, aColor, 1.0f, 0);
    }

    // One screen-covering triangle facing the camera at depth 0.5, drawn through "NORMAL_MESH".
    void MakeMesh(uint32_t aLighting, uint8_t aFogFlag, uint32_t aSpecular = 0)
    {
        myMesh = new QR_Mesh();
        myMesh->myVertexFormat = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_NORMAL;
        myMesh->myVertexSize = 24;
        myMesh->myNumVertices = 3;
        float v[18] = {-1, -1, 0.5f, 0, 0, -1, -1, 3, 0.5f, 0, 0, -1, 3, -1, 0.5f, 0, 0, -1};
        myMesh->myVertexData = new uint8_t[sizeof(v)];
        memcpy(myMesh->myVertexData, v, sizeof(v));
        myMesh->myNumIndices = 3;
        myMesh->myIndexData = new uint16_t[3]{0, 1, 2};
        myMesh->myNumLods = 1;
        myMesh->myLods = new QR_MeshLod[1]();
        myMesh->myLods[0] = {1.0f, 0, 3, 0, 3, 0, nullptr, 0, 0.0f};
        myMesh->mySetupData.myLighting = aLighting;
        myMesh->mySetupData.myFogFlag = aFogFlag;
        myMesh->mySetupData.mySpecular = aSpecular;
        myMesh->myVertexShader = QR_VertexShader::Find("NORMAL_MESH");
        ASSERT_TRUE(myMesh->myVertexShader->PrepareMesh(myMesh));
        myMesh->mySetupData.myVertexFormatList[0] = myMesh->myVertexBufferVertexFormat;
        myMesh->myCompiledVertexShader = myMesh->myVertexShader->Compile(myMesh->mySetupData);
        ASSERT_NE(myMesh->myCompiledVertexShader, nullptr);
    }

    void DrawMesh(QR_LightSet* aLights)
    {
        QR_RenderStates locStates;
        locStates.myCullMode = 0;
        R()->SetRenderStates(&locStates, 0xFFFFFFFF);
        R()->SetView(&myView);
        myMesh->myVertexShader->Begin(myMesh->myCompiledVertexShader);
        R()->SetSurface(nullptr, 0xFFFFFFFF, 0.0f);
        myMesh->myDataBlock.myLightData = aLights;
        myMesh->myVertexShader->SetDataBlock(&myMesh->myDataBlock);
        myMesh->myVertexShader->Draw(myMesh, 0.0f, 0.0f);
    }

    QR_View myView;
    QR_Mesh* myMesh = nullptr;
    uint8_t myVertexShaderFlag = 0; // the fixed-function kind unless a test says otherwise
};

int locChannel(uint32_t aPixel, int aShift)
{
    return (int)((aPixel >> aShift) & 0xFF);
}

TEST_F(RenderPixel, ClearFillsTheFrameAndTheRectangle)
{
    R()->BeginFrame();
    ClearFrame(0x0000FF);
    QR_Rect locRect = {10, 20, 30, 40};
    R()->Clear(&locRect, QR_CLEAR_TARGET, 0xFF0000, 1.0f, 0);
    R()->EndFrame();
    EXPECT_EQ(Pixel(0, 0), 0x0000FFu);
    EXPECT_EQ(Pixel(10, 20), 0xFF0000u); // top-left origin
    EXPECT_EQ(Pixel(29, 39), 0xFF0000u);
    EXPECT_EQ(Pixel(30, 39), 0x0000FFu);
    EXPECT_EQ(Pixel(10, 40), 0x0000FFu);
}

TEST_F(RenderPixel, DirectionalLightLightsTheMesh)
{
    MakeMesh(1, 0);
    QR_LightSetLight locLight = {{0, 0, 0}, {0, 0, 1}, 0, {0.5f, 0.25f, 1.0f}, 100.0f};
    QR_LightSet locSet = {0x000000, 1, {&locLight, nullptr, nullptr}, {{0.5f, 0.25f, 1.0f}}, 0};
    R()->BeginFrame();
    ClearFrame(0);
    DrawMesh(&locSet);
    R()->EndFrame();
    uint32_t p = Pixel(32, 32);
    EXPECT_NEAR(locChannel(p, 16), 128, 2);
    EXPECT_NEAR(locChannel(p, 8), 64, 2);
    EXPECT_NEAR(locChannel(p, 0), 255, 2);

    // Lit from behind: only the ambient colour remains.
    locLight.myDirection[2] = -1.0f;
    locSet.myAmbientColor = 0x202020;
    locSet.myFlags = 1;
    R()->BeginFrame();
    ClearFrame(0);
    DrawMesh(&locSet);
    R()->EndFrame();
    EXPECT_NEAR(locChannel(Pixel(32, 32), 8), 0x20, 2);
}

TEST_F(RenderPixel, SpecularHighlightShowsOnASurfaceFacingTheCamera)
{
    // Set-up specular word 1 (twice each light's colour) and power 10; the renderer keeps
    // LOCALVIEWER off, so the viewer lies far along -z. A light 45 degrees off the view axis:
    // diffuse c (N.L), and with the specular sum on, + 2c (N.H)^10 where N.H = cos 22.5 degrees.
    MakeMesh(1, 0, 1);
    myMesh->myDataBlock.mySpecularPower = 10.0f;
    const float s = sqrtf(0.5f);
    const float c[3] = {0.5f, 0.25f, 0.125f};
    QR_LightSetLight locLight = {{0, 0, 0}, {-s, 0, s}, 0, {c[0], c[1], c[2]}, 100.0f};
    QR_LightSet locSet = {0x000000, 1, {&locLight, nullptr, nullptr}, {{c[0], c[1], c[2]}}, 0};
    uint32_t locFrames[2];
    for (int locOn = 0; locOn < 2; locOn++)
    {
        R()->BeginFrame();
        ClearFrame(0);
        QR_RenderD3D::ourDevice->SetRenderState(GFX_RS_SPECULARENABLE, (uint32_t)locOn);
        locSet.myFlags = 1;
        DrawMesh(&locSet);
        R()->EndFrame();
        locFrames[locOn] = Pixel(32, 32);
    }
    QR_RenderD3D::ourDevice->SetRenderState(GFX_RS_SPECULARENABLE, 0);
    const double ndl = s, ndh = cos(3.14159265358979 / 8.0);
    for (int k = 0; k < 3; k++)
    {
        const double locDiffuse = c[k] * ndl;
        const double locSpecular = std::min(2.0 * c[k] * pow(ndh, 10.0), 1.0);
        EXPECT_NEAR(locChannel(locFrames[0], 16 - 8 * k), 255.0 * locDiffuse, 2) << k;
        EXPECT_NEAR(locChannel(locFrames[1], 16 - 8 * k), 255.0 * std::min(locDiffuse + locSpecular, 1.0), 2) << k;
    }
    EXPECT_NE(locFrames[0], locFrames[1]);
}

TEST_F(RenderPixel, PointLightFadesWithDistance)
{
    MakeMesh(1, 0);
    // Attenuation range / d within the range, nothing beyond it.
    QR_LightSetLight locLight = {{-1, 1, -0.5f}, {0, 0, 1}, 1, {1, 1, 1}, 3.0f};
    QR_LightSet locSet = {0x000000, 1, {&locLight, nullptr, nullptr}, {{1, 1, 1}}, 0};
    R()->BeginFrame();
    ClearFrame(0);
    DrawMesh(&locSet);
    R()->EndFrame();
    int locNear = locChannel(Pixel(2, 2), 8);
    int locFar = locChannel(Pixel(60, 60), 8);
    EXPECT_GT(locNear, 0);
    EXPECT_GT(locNear, locFar);
}

TEST_F(RenderPixel, LinearFogBlendsTowardsTheViewsColour)
{
    MakeMesh(0, 1);
    myView.myFogColor = 0x0000FF;
    myView.myFogDistance = 0.0f;
    myView.myCamera.myFar = 10.0f;
    R()->BeginFrame();
    ClearFrame(0);
    DrawMesh(nullptr);
    R()->EndFrame();
    // Range fog per vertex: distances 1.5 and twice 3.2 give 0.85 and 0.68, weighted 1/2,
    // 1/4, 1/4 at the centre.
    uint32_t p = Pixel(32, 32);
    EXPECT_NEAR(locChannel(p, 16), 195, 8);
    EXPECT_NEAR(locChannel(p, 0), 255, 8);
}

TEST_F(RenderPixel, ScreenshotIsATopLeftTGAOfTheFrame)
{
    R()->BeginFrame();
    ClearFrame(0x102030);
    QR_Rect locCorner = {0, 0, 1, 1};
    R()->Clear(&locCorner, QR_CLEAR_TARGET, 0xFF8040, 1.0f, 0);
    R()->EndFrame();
    mkdir(Q_TEST_TMP_DIR, 0755);
    std::string locPath = std::string(Q_TEST_TMP_DIR) + "/shot.tga";
    remove(locPath.c_str());
    ASSERT_TRUE(QR_Render::SaveScreenshot(locPath.c_str()));
    FILE* f = fopen(locPath.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> locBytes(18 + 64 * 64 * 4 + 1);
    size_t locSize = fread(locBytes.data(), 1, locBytes.size(), f);
    fclose(f);
    ASSERT_EQ(locSize, 18u + 64 * 64 * 4);
    EXPECT_EQ(locBytes[2], 2);
    EXPECT_EQ(locBytes[12] | locBytes[13] << 8, 64);
    EXPECT_EQ(locBytes[14] | locBytes[15] << 8, 64);
    EXPECT_EQ(locBytes[16], 32);
    EXPECT_EQ(locBytes[17], 0x20);
    EXPECT_EQ(locBytes[18], 0x40); // B, G, R of the top-left pixel
    EXPECT_EQ(locBytes[19], 0x80);
    EXPECT_EQ(locBytes[20], 0xFF);
    EXPECT_EQ(locBytes[22], 0x30);

    // A write that cannot happen is reported: here a folder would have to be the file above.
    EXPECT_FALSE(QR_Render::SaveScreenshot((locPath + "/inside.tga").c_str()));
}

TEST_F(RenderPixel, FrameAfterAForcedLossIsCorrect)
{
    MakeMesh(0, 0);
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    R()->BeginFrame();
    ClearFrame(0xFF0000);
    R()->EndFrame(); // lost and resettable: the device is rebuilt
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    EXPECT_NE(myMesh->myVertexBuffer->myDeviceBuffer, nullptr);
    R()->BeginFrame();
    ClearFrame(0x00FF00);
    R()->EndFrame();
    EXPECT_EQ(Pixel(5, 5), 0x00FF00u);
    R()->BeginFrame();
    ClearFrame(0);
    DrawMesh(nullptr); // the static buffers were refilled
    R()->EndFrame();
    EXPECT_EQ(Pixel(32, 32), 0xFFFFFFu);
}

// Pre-transformed quads through the 2-D set-up and the dynamic buffer, combined by a stage
// block of the test's own.
class StagePixel : public RenderPixel
{
protected:
    struct TLVertex
    {
        float x, y, z, rhw;
        uint32_t myColor;
        float u, v;
    };

    void Quad(float aLeft, float aRight, uint32_t aColor)
    {
        QR_VertexBuffer* locVB = R()->myDynamicVertexBuffer;
        locVB->myVertexSize = sizeof(TLVertex);
        void* locData = nullptr;
        ASSERT_TRUE(R()->AppendVertices(locVB, &locData, 4));
        TLVertex q[4] = {{aLeft, 0, 0.5f, 1, aColor, 0, 0},
                         {aRight, 0, 0.5f, 1, aColor, 1, 0},
                         {aLeft, 64, 0.5f, 1, aColor, 0, 1},
                         {aRight, 64, 0.5f, 1, aColor, 1, 1}};
        memcpy(locData, q, sizeof(q));
        QR_VertexBuffer* locList[1] = {locVB};
        R()->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLESTRIP, 4);
    }

    static QR_StageWords Stage(uint32_t aColorOp, uint32_t aColor1, uint32_t aColor2, uint32_t anAlphaOp,
                               uint32_t anAlpha1, uint32_t aResult = GFX_TA_CURRENT)
    {
        return {{aColorOp, aColor1, aColor2, aResult, anAlphaOp, anAlpha1, GFX_TA_CURRENT, GFX_TA_CURRENT,
                 GFX_TA_CURRENT}};
    }

    void Begin(const QR_CompiledStageBlock& aBlock, uint32_t aFactor)
    {
        R()->BeginFrame();
        ClearFrame(0xFF0000);
        R()->BeginAlpha2D();
        QR_RenderD3D::ApplyStageBlock(&aBlock);
        QR_RenderD3D::ourDevice->SetRenderState(GFX_RS_TEXTUREFACTOR, aFactor);
    }

    static QR_CompiledStageBlock Block(uint32_t aSrc, uint32_t aDest, uint32_t anAlphaFunc)
    {
        QR_CompiledStageBlock b;
        memset(&b, 0, sizeof(b));
        b.mySrcBlend = aSrc;
        b.myDestBlend = aDest;
        b.myAlphaFunc = anAlphaFunc;
        return b;
    }
};

TEST_F(StagePixel, Modulate2XSaturates)
{
    QR_CompiledStageBlock b = Block(GFX_BLEND_ONE, GFX_BLEND_ZERO, GFX_CMP_ALWAYS);
    b.myNumStages = 1;
    b.myStages[0] = Stage(GFX_TOP_MODULATE2X, GFX_TA_DIFFUSE, GFX_TA_TFACTOR, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE);
    Begin(b, 0xFFFFFFFF);
    Quad(0, 64, 0xFFC04000);
    R()->EndFrame();
    uint32_t p = Pixel(32, 32);
    EXPECT_EQ(locChannel(p, 16), 255);
    EXPECT_NEAR(locChannel(p, 8), 0x80, 1);
    EXPECT_EQ(locChannel(p, 0), 0);
}

TEST_F(StagePixel, DotProductFillsTheAlphaToo)
{
    // Alpha blending over the red background: the quad's own alpha is 0, the dot product's 1.
    QR_CompiledStageBlock b = Block(GFX_BLEND_SRCALPHA, GFX_BLEND_INVSRCALPHA, GFX_CMP_ALWAYS);
    b.myNumStages = 1;
    b.myStages[0] = Stage(GFX_TOP_DOTPRODUCT3, GFX_TA_DIFFUSE, GFX_TA_TFACTOR, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE);
    Begin(b, 0x00FF8080);
    Quad(0, 64, 0x00FF8080);
    R()->EndFrame();
    EXPECT_EQ(Pixel(32, 32), 0xFFFFFFu);
}

TEST_F(StagePixel, TempRegisterKeepsAStageForALaterOne)
{
    QR_CompiledStageBlock b = Block(GFX_BLEND_ONE, GFX_BLEND_ZERO, GFX_CMP_ALWAYS);
    b.myNumStages = 3;
    b.myStages[0] = Stage(GFX_TOP_SELECTARG1, GFX_TA_TFACTOR, GFX_TA_CURRENT, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE,
                          GFX_TA_TEMP);
    b.myStages[1] = Stage(GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_CURRENT, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE);
    b.myStages[2] = Stage(GFX_TOP_ADD, GFX_TA_CURRENT, GFX_TA_TEMP, GFX_TOP_SELECTARG1, GFX_TA_CURRENT);
    Begin(b, 0xFF002000);
    Quad(0, 64, 0xFF400000);
    R()->EndFrame();
    EXPECT_EQ(Pixel(32, 32), 0x402000u);
}

TEST_F(StagePixel, AlphaTestComparesRoundedValues)
{
    QR_CompiledStageBlock b = Block(GFX_BLEND_ONE, GFX_BLEND_ZERO, GFX_CMP_GREATEREQUAL);
    b.myNumStages = 1;
    b.myStages[0] = Stage(GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_CURRENT, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE);
    Begin(b, 0xFFFFFFFF);
    QR_RenderD3D::ourDevice->SetRenderState(GFX_RS_ALPHAREF, 128);
    Quad(0, 32, 0x8000FF00);  // alpha 128: kept
    Quad(32, 64, 0x7F00FF00); // alpha 127: dropped
    R()->EndFrame();
    EXPECT_EQ(Pixel(16, 32), 0x00FF00u);
    EXPECT_EQ(Pixel(48, 32), 0xFF0000u);
}

} // namespace
