// Pixel tests of the OpenGL back end on llvmpipe: what the fixed-function conventions
// make of a few small scenes, read back from the render target.
//
// [SECTION] Fixture
// [SECTION] Conventions: clears, half-pixel texels, culling
// [SECTION] Lighting, stage operations, alpha test, fog, shading, stencil
// [SECTION] Formats, render targets, device loss
// [SECTION] Bump, cube, coordinates, mips, DXT decoding, two devices
// [SECTION] Specular and table fog against the published equations
#include "platform/gfx/gfx_device.h"
#include "platform/gfx/gfx_local.h" // the DXT decoder
#include "platform/gfx/gfx_testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

// [SECTION] Fixture

namespace
{

struct TLVertex
{
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

struct LitVertex
{
    float x, y, z;
    float nx, ny, nz;
};

class GfxPixel : public ::testing::Test
{
protected:
    static GFX_System* ourSystem;
    static void SetUpTestSuite() { ourSystem = GFX_CreateGLSystem(); }
    static void TearDownTestSuite()
    {
        GFX_DestroySystem(ourSystem);
        ourSystem = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(ourSystem, nullptr) << GFX_GetLastErrorDetail();
        GFX_DeviceDesc locDesc;
        locDesc.myWidth = 64;
        locDesc.myHeight = 64;
        myDevice = ourSystem->CreateDevice(locDesc);
        ASSERT_NE(myDevice, nullptr) << GFX_GetLastErrorDetail();
        const GFX_VertexElement locTL[] = {{0, 0, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_POSITIONT, 0},
                                           {0, 16, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_COLOR, 0},
                                           {0, 20, GFX_DECLTYPE_FLOAT2, GFX_DECLUSAGE_TEXCOORD, 0}};
        myTLDecl = myDevice->CreateVertexDecl(locTL, 3);
        const GFX_VertexElement locLit[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0},
                                            {0, 12, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_NORMAL, 0}};
        myLitDecl = myDevice->CreateVertexDecl(locLit, 2);
        GFX_BufferDesc locBuffer;
        locBuffer.mySize = 4096;
        locBuffer.myUsage = GFX_USAGE_DYNAMIC | GFX_USAGE_WRITEONLY;
        locBuffer.myPool = GFX_POOL_DEFAULT;
        myVB = myDevice->CreateBuffer(locBuffer);
        ASSERT_NE(myVB, nullptr);
    }

    void TearDown() override
    {
        if (!myDevice)
            return;
        myDevice->ReleaseBuffer(myVB);
        myDevice->ReleaseVertexDecl(myTLDecl);
        myDevice->ReleaseVertexDecl(myLitDecl);
        for (GFX_Texture* t : myTextures)
            myDevice->ReleaseTexture(t);
        EXPECT_EQ(myDevice->GetLiveObjectCount(), 0u);
        ourSystem->DestroyDevice(myDevice);
    }

    template <class V> void Draw(GFX_VertexDecl* aDecl, GFX_PrimitiveType aType, const std::vector<V>& aVertices,
                                 uint32_t aPrimitives)
    {
        void* locData = nullptr;
        ASSERT_TRUE(myDevice->LockBuffer(myVB, 0, 0, GFX_LOCK_DISCARD, &locData));
        memcpy(locData, aVertices.data(), aVertices.size() * sizeof(V));
        ASSERT_TRUE(myDevice->UnlockBuffer(myVB));
        myDevice->SetVertexDecl(aDecl);
        myDevice->SetStreamSource(0, myVB, 0, sizeof(V));
        ASSERT_TRUE(myDevice->BeginScene());
        ASSERT_TRUE(myDevice->DrawPrimitive(aType, 0, aPrimitives)) << GFX_GetLastErrorDetail();
        ASSERT_TRUE(myDevice->EndScene());
    }

    // A screen-aligned rectangle of pre-transformed vertices, texture 0..1 across it.
    void Quad(float aLeft, float aTop, float aRight, float aBottom, uint32_t aColor)
    {
        std::vector<TLVertex> v = {{aLeft, aTop, 0.5f, 1.0f, aColor, 0.0f, 0.0f},
                                   {aRight, aTop, 0.5f, 1.0f, aColor, 1.0f, 0.0f},
                                   {aLeft, aBottom, 0.5f, 1.0f, aColor, 0.0f, 1.0f},
                                   {aRight, aBottom, 0.5f, 1.0f, aColor, 1.0f, 1.0f}};
        Draw(myTLDecl, GFX_PRIM_TRIANGLESTRIP, v, 2);
    }

    std::vector<uint32_t> Read()
    {
        std::vector<uint32_t> locPixels(64 * 64);
        EXPECT_TRUE(myDevice->ReadSurface(myDevice->GetBackBuffer(), locPixels.data(), 64 * 4));
        return locPixels;
    }
    uint32_t Pixel(int x, int y) { return Read()[size_t(y) * 64 + x]; }

    GFX_Texture* Texture(uint32_t aColor, GFX_Format aFormat = GFX_FORMAT_A8R8G8B8)
    {
        GFX_TextureDesc d;
        d.myWidth = d.myHeight = 4;
        d.myFormat = aFormat;
        GFX_Texture* t = myDevice->CreateTexture(d);
        EXPECT_NE(t, nullptr);
        GFX_LockedRect r;
        EXPECT_TRUE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
            {
                uint8_t* p = static_cast<uint8_t*>(r.myBits) + y * r.myPitch;
                if (aFormat == GFX_FORMAT_V8U8)
                    memcpy(p + x * 2, &aColor, 2);
                else
                    memcpy(p + x * 4, &aColor, 4);
            }
        EXPECT_TRUE(myDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0));
        myTextures.push_back(t);
        return t;
    }

    // 2 x 2 texels: red and green on the top row, blue and white below. Null on failure.
    GFX_Texture* FourTexels()
    {
        GFX_TextureDesc d;
        d.myWidth = d.myHeight = 2;
        GFX_Texture* t = myDevice->CreateTexture(d);
        if (!t)
            return nullptr;
        myTextures.push_back(t);
        GFX_LockedRect r;
        if (!myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r))
            return nullptr;
        const uint32_t locTexels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        memcpy(r.myBits, locTexels, 8);
        memcpy(static_cast<uint8_t*>(r.myBits) + r.myPitch, locTexels + 2, 8);
        return myDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0) ? t : nullptr;
    }

    void Stage(uint32_t aStage, uint32_t aColorOp, uint32_t aColor1, uint32_t aColor2, uint32_t anAlphaOp,
               uint32_t anAlpha1, uint32_t anAlpha2)
    {
        myDevice->SetTextureStageState(aStage, GFX_TSS_COLOROP, aColorOp);
        myDevice->SetTextureStageState(aStage, GFX_TSS_COLORARG1, aColor1);
        myDevice->SetTextureStageState(aStage, GFX_TSS_COLORARG2, aColor2);
        myDevice->SetTextureStageState(aStage, GFX_TSS_ALPHAOP, anAlphaOp);
        myDevice->SetTextureStageState(aStage, GFX_TSS_ALPHAARG1, anAlpha1);
        myDevice->SetTextureStageState(aStage, GFX_TSS_ALPHAARG2, anAlpha2);
    }

    GFX_Device* myDevice = nullptr;
    GFX_VertexDecl* myTLDecl = nullptr;
    GFX_VertexDecl* myLitDecl = nullptr;
    GFX_Buffer* myVB = nullptr;
    std::vector<GFX_Texture*> myTextures;
};

GFX_System* GfxPixel::ourSystem = nullptr;

// Channel distance, for values that pass through filtering or float maths.
int Distance(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int s = 0; s < 32; s += 8)
        d = std::max(d, std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)));
    return d;
}

} // namespace

// [SECTION] Conventions: clears, half-pixel texels, culling

TEST_F(GfxPixel, ClearFillsRectangleFromTopLeft)
{
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF102030, 1.0f, 0));
    GFX_Rect r = {4, 2, 10, 6};
    ASSERT_TRUE(myDevice->Clear(1, &r, GFX_CLEAR_TARGET, 0xFFFF0000, 1.0f, 0));
    EXPECT_EQ(Pixel(4, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(9, 5), 0xFFFF0000u);
    EXPECT_EQ(Pixel(10, 5), 0xFF102030u);
    EXPECT_EQ(Pixel(9, 6), 0xFF102030u);
    EXPECT_EQ(Pixel(3, 2), 0xFF102030u);
}

TEST_F(GfxPixel, PretransformedTexelsMapOneToOneWithHalfPixelOffset)
{
    // Linear filtering shows any offset: a half-texel error would blend neighbours.
    GFX_Texture* t = FourTexels();
    ASSERT_NE(t, nullptr);
    myDevice->SetTexture(0, t);
    myDevice->SetSamplerState(0, GFX_SAMP_MINFILTER, GFX_TEXF_LINEAR);
    myDevice->SetSamplerState(0, GFX_SAMP_MAGFILTER, GFX_TEXF_LINEAR);
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF000000, 1.0f, 0));
    Quad(-0.5f, -0.5f, 1.5f, 1.5f, 0xFFFFFFFF);
    const std::vector<uint32_t> p = Read();
    EXPECT_EQ(p[0], 0xFFFF0000u);
    EXPECT_EQ(p[1], 0xFF00FF00u);
    EXPECT_EQ(p[64], 0xFF0000FFu);
    EXPECT_EQ(p[65], 0xFFFFFFFFu);
    EXPECT_EQ(p[2], 0xFF000000u);
}

TEST_F(GfxPixel, ClockwiseTrianglesAreFrontFacing)
{
    myDevice->SetRenderState(GFX_RS_LIGHTING, 0);
    myDevice->SetRenderState(GFX_RS_ZENABLE, 0);
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0}};
    GFX_VertexDecl* locDecl = myDevice->CreateVertexDecl(e, 1);
    struct P { float x, y, z; };
    // Seen on screen (y up): top-left, top-right, bottom-left is clockwise.
    const std::vector<P> locCW = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}};
    const std::vector<P> locCCW = {{-1, 1, 0.5f}, {-1, -1, 0.5f}, {1, 1, 0.5f}};
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF000000, 1.0f, 0));
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, locCW, 1);
    EXPECT_EQ(Pixel(2, 2), 0xFFFFFFFFu); // unlit without colours: white, in the top-left corner
    EXPECT_EQ(Pixel(61, 61), 0xFF000000u);
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF000000, 1.0f, 0));
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, locCCW, 1);
    EXPECT_EQ(Pixel(2, 2), 0xFF000000u);
    myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_CW);
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, locCCW, 1);
    EXPECT_EQ(Pixel(2, 2), 0xFFFFFFFFu);
    myDevice->ReleaseVertexDecl(locDecl);
}

// [SECTION] Lighting, stage operations, alpha test, fog, shading, stencil

TEST_F(GfxPixel, DirectionalAndPointLightsLightATriangle)
{
    // Identity transforms: camera space is clip space; the triangle faces the viewer (-z).
    const std::vector<LitVertex> v = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1}};
    myDevice->SetRenderState(GFX_RS_AMBIENT, 0xFF000000);
    GFX_Material m;
    myDevice->SetMaterial(m);
    GFX_Light l;
    l.myType = GFX_LIGHT_DIRECTIONAL;
    l.myDiffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    l.myDirection = {0.0f, 0.0f, 1.0f};
    ASSERT_TRUE(myDevice->SetLight(0, l));
    ASSERT_TRUE(myDevice->LightEnable(0, true));
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000000, 1.0f, 0));
    Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF8040FF), 1);

    // 60 degrees off the normal: half the light.
    l.myDirection = {0.0f, std::sin(3.14159265f / 3.0f), std::cos(3.14159265f / 3.0f)};
    ASSERT_TRUE(myDevice->SetLight(0, l));
    Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF402080), 1);

    // A point light in front: N.L = 1.5 / |(x, y, -1.5)| at every vertex.
    GFX_Light p;
    p.myType = GFX_LIGHT_POINT;
    p.myDiffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    p.myPosition = {0.0f, 0.0f, -1.0f};
    p.myRange = 10.0f;
    ASSERT_TRUE(myDevice->LightEnable(0, false));
    ASSERT_TRUE(myDevice->SetLight(1, p));
    ASSERT_TRUE(myDevice->LightEnable(1, true));
    Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    const int locExpected = int(std::lround(255.0 * 1.5 / std::sqrt(4.25)));
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF000000u | uint32_t(locExpected * 0x010101)), 2);

    // Out of range the light gives nothing; the global ambient still counts.
    p.myRange = 1.0f;
    ASSERT_TRUE(myDevice->SetLight(1, p));
    myDevice->SetRenderState(GFX_RS_AMBIENT, 0xFF202020);
    Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF202020), 1);
}

TEST_F(GfxPixel, Modulate2XSaturatesAndScales)
{
    myDevice->SetTexture(0, Texture(0xFF808080));
    Stage(0, GFX_TOP_MODULATE2X, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    Quad(0, 0, 8, 8, 0xFF404040);
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF404040), 1);
    myDevice->SetTexture(0, Texture(0xFFC0C0C0));
    Quad(0, 0, 8, 8, 0xFFC0C0C0);
    EXPECT_EQ(Pixel(4, 4), 0xFFFFFFFFu);
}

TEST_F(GfxPixel, DotProduct3WritesAlphaToo)
{
    // Both arguments encode (0, 0, 1): the dot product is 1 in every channel, alpha included,
    // whatever the alpha operation says.
    myDevice->SetTexture(0, Texture(0xFF8080FF));
    myDevice->SetRenderState(GFX_RS_TEXTUREFACTOR, 0xFF8080FF);
    Stage(0, GFX_TOP_DOTPRODUCT3, GFX_TA_TEXTURE, GFX_TA_TFACTOR, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    myDevice->SetRenderState(GFX_RS_ALPHABLENDENABLE, 1);
    myDevice->SetRenderState(GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA);
    myDevice->SetRenderState(GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA);
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF000000, 1.0f, 0));
    Quad(0, 0, 8, 8, 0x00FFFFFF);
    EXPECT_GE(Pixel(4, 4) & 0xFF, 0xFDu);
    // A plain alpha from the diffuse colour (0) would leave the target black.
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_TFACTOR, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF000000, 1.0f, 0));
    Quad(0, 0, 8, 8, 0x00FFFFFF);
    EXPECT_EQ(Pixel(4, 4), 0xFF000000u);
}

TEST_F(GfxPixel, TempRegisterHoldsAStageResult)
{
    myDevice->SetTexture(0, Texture(0xFF808080));
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    myDevice->SetTextureStageState(0, GFX_TSS_RESULTARG, GFX_TA_TEMP);
    Stage(1, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    Stage(2, GFX_TOP_MODULATE, GFX_TA_TEMP, GFX_TA_CURRENT, GFX_TOP_SELECTARG1, GFX_TA_CURRENT, GFX_TA_CURRENT);
    Quad(0, 0, 8, 8, 0xFFFF00FF);
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF800080), 1);
    // Complement and alpha replicate on the way in.
    Stage(2, GFX_TOP_SELECTARG1, GFX_TA_TEMP | GFX_TA_COMPLEMENT, GFX_TA_CURRENT, GFX_TOP_SELECTARG1,
          GFX_TA_CURRENT, GFX_TA_CURRENT);
    Quad(0, 0, 8, 8, 0xFFFF00FF);
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF7F7F7F), 1);
    Stage(2, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE | GFX_TA_ALPHAREPLICATE, GFX_TA_CURRENT, GFX_TOP_SELECTARG1,
          GFX_TA_CURRENT, GFX_TA_CURRENT);
    Quad(0, 0, 8, 8, 0x40FF00FF);
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF404040), 1);
}

TEST_F(GfxPixel, AlphaTestComparesTheRoundedAlpha)
{
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    myDevice->SetRenderState(GFX_RS_ALPHATESTENABLE, 1);
    myDevice->SetRenderState(GFX_RS_ALPHAFUNC, GFX_CMP_GREATEREQUAL);
    myDevice->SetRenderState(GFX_RS_ALPHAREF, 128);
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF000000, 1.0f, 0));
    Quad(0, 0, 8, 8, 0x80FF0000);
    Quad(8, 0, 16, 8, 0x7F00FF00);
    EXPECT_EQ(Pixel(4, 4), 0xFFFF0000u);
    EXPECT_EQ(Pixel(12, 4), 0xFF000000u);
    myDevice->SetRenderState(GFX_RS_ALPHAFUNC, GFX_CMP_EQUAL);
    myDevice->SetRenderState(GFX_RS_ALPHAREF, 127);
    Quad(16, 0, 24, 8, 0x7F0000FF);
    EXPECT_EQ(Pixel(20, 4), 0xFF0000FFu);
}

TEST_F(GfxPixel, LinearVertexFogBlendsTowardsTheFogColour)
{
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0}};
    GFX_VertexDecl* locDecl = myDevice->CreateVertexDecl(e, 1);
    struct P { float x, y, z; };
    myDevice->SetRenderState(GFX_RS_LIGHTING, 0);
    myDevice->SetRenderState(GFX_RS_FOGENABLE, 1);
    myDevice->SetRenderState(GFX_RS_FOGVERTEXMODE, GFX_FOG_LINEAR);
    myDevice->SetRenderState(GFX_RS_FOGCOLOR, 0xFFFF0000);
    myDevice->SetRenderState(GFX_RS_FOGSTART, GFX_FloatBits(0.0f));
    myDevice->SetRenderState(GFX_RS_FOGEND, GFX_FloatBits(1.0f));
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000000, 1.0f, 0));
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, std::vector<P>{{-1, 1, 0.25f}, {1, 1, 0.25f}, {-1, -1, 0.25f}}, 1);
    EXPECT_LE(Distance(Pixel(2, 2), 0xFFFFBFBF), 1); // 3/4 of the white is left
    myDevice->SetRenderState(GFX_RS_FOGSTART, GFX_FloatBits(0.5f));
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, std::vector<P>{{-1, 1, 0.25f}, {1, 1, 0.25f}, {-1, -1, 0.25f}}, 1);
    EXPECT_EQ(Pixel(2, 2), 0xFFFFFFFFu); // nearer than the start: no fog
    myDevice->ReleaseVertexDecl(locDecl);
}

TEST_F(GfxPixel, FlatShadingTakesTheFirstVertex)
{
    std::vector<TLVertex> v = {{0, 0, 0.5f, 1, 0xFFFF0000, 0, 0}, {32, 0, 0.5f, 1, 0xFF00FF00, 0, 0},
                               {0, 32, 0.5f, 1, 0xFF0000FF, 0, 0}};
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    myDevice->SetRenderState(GFX_RS_SHADEMODE, GFX_SHADE_FLAT);
    Draw(myTLDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_EQ(Pixel(20, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(2, 20), 0xFFFF0000u);
    myDevice->SetRenderState(GFX_RS_SHADEMODE, GFX_SHADE_GOURAUD);
    Draw(myTLDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_NE(Pixel(2, 20), 0xFFFF0000u);
}

TEST_F(GfxPixel, StencilIncrementWrapsAndIncrementSaturateClamps)
{
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    myDevice->SetRenderState(GFX_RS_STENCILENABLE, 1);
    for (uint32_t locOp : {uint32_t(GFX_STENCILOP_INCR), uint32_t(GFX_STENCILOP_INCRSAT)})
    {
        ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_STENCIL, 0xFF000000, 1.0f, 255));
        myDevice->SetRenderState(GFX_RS_STENCILFUNC, GFX_CMP_ALWAYS);
        myDevice->SetRenderState(GFX_RS_STENCILPASS, locOp);
        myDevice->SetRenderState(GFX_RS_COLORWRITEENABLE, 0);
        Quad(0, 0, 8, 8, 0xFFFFFFFF);
        myDevice->SetRenderState(GFX_RS_COLORWRITEENABLE, 0xF);
        myDevice->SetRenderState(GFX_RS_STENCILFUNC, GFX_CMP_EQUAL);
        myDevice->SetRenderState(GFX_RS_STENCILREF, 0);
        myDevice->SetRenderState(GFX_RS_STENCILPASS, GFX_STENCILOP_KEEP);
        Quad(0, 0, 8, 8, 0xFF00FF00);
        EXPECT_EQ(Pixel(4, 4), locOp == GFX_STENCILOP_INCR ? 0xFF00FF00u : 0xFF000000u) << locOp;
    }
}

TEST_F(GfxPixel, ClearIgnoresTheWriteMasks)
{
    myDevice->SetRenderState(GFX_RS_COLORWRITEENABLE, 0);
    myDevice->SetRenderState(GFX_RS_ZWRITEENABLE, 0);
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF336699, 1.0f, 0));
    EXPECT_EQ(Pixel(0, 0), 0xFF336699u);
    // The masks still hold for draws afterwards.
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    Quad(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(4, 4), 0xFF336699u);
}

// [SECTION] Formats, render targets, device loss

TEST_F(GfxPixel, TexelFormatsDecodeToTheSameColour)
{
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    struct Case { GFX_Format myFormat; std::vector<uint8_t> myTexel; uint32_t myExpected; };
    const Case locCases[] = {
        {GFX_FORMAT_A8R8G8B8, {0x33, 0x66, 0x99, 0xFF}, 0xFF996633},
        {GFX_FORMAT_X8R8G8B8, {0x33, 0x66, 0x99, 0x00}, 0xFF996633},
        {GFX_FORMAT_R5G6B5, {0x1F, 0xF8}, 0xFFFF00FF},   // red and blue full, green 0
        {GFX_FORMAT_A1R5G5B5, {0xE0, 0x83}, 0xFF00FF00}, // alpha 1, green full
        {GFX_FORMAT_A4R4G4B4, {0x0F, 0xF0}, 0xFF0000FF}, // alpha and blue full
        {GFX_FORMAT_L8, {0x80}, 0xFF808080},
        // DXT1: colour 0 = red, colour 1 = blue, every index 0.
        {GFX_FORMAT_DXT1, {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0}, 0xFFFF0000},
    };
    for (const Case& c : locCases)
    {
        GFX_TextureDesc d;
        d.myWidth = d.myHeight = 4;
        d.myFormat = c.myFormat;
        GFX_Texture* t = myDevice->CreateTexture(d);
        ASSERT_NE(t, nullptr) << GFX_FormatName(c.myFormat);
        myTextures.push_back(t);
        GFX_LockedRect r;
        ASSERT_TRUE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
        if (GFX_FormatIsCompressed(c.myFormat))
            memcpy(r.myBits, c.myTexel.data(), c.myTexel.size());
        else
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    memcpy(static_cast<uint8_t*>(r.myBits) + y * r.myPitch + x * c.myTexel.size(), c.myTexel.data(),
                           c.myTexel.size());
        ASSERT_TRUE(myDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0));
        myDevice->SetTexture(0, t);
        Quad(0, 0, 8, 8, 0xFFFFFFFF);
        EXPECT_LE(Distance(Pixel(4, 4), c.myExpected), 1) << GFX_FormatName(c.myFormat);
    }
}

TEST_F(GfxPixel, RenderTargetTextureKeepsTopRowFirst)
{
    GFX_TextureDesc d;
    d.myWidth = d.myHeight = 16;
    d.myUsage = GFX_USAGE_RENDERTARGET;
    d.myPool = GFX_POOL_DEFAULT;
    GFX_Texture* t = myDevice->CreateTexture(d);
    ASSERT_NE(t, nullptr);
    myTextures.push_back(t);
    GFX_Surface* locDepth = myDevice->CreateDepthStencilSurface(16, 16, GFX_FORMAT_D24S8);
    ASSERT_TRUE(myDevice->SetRenderTarget(myDevice->GetTextureSurface(t, GFX_CUBEFACE_POSITIVE_X, 0)));
    ASSERT_TRUE(myDevice->SetDepthStencilSurface(locDepth));
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0));
    GFX_Rect locTop = {0, 0, 16, 8};
    ASSERT_TRUE(myDevice->Clear(1, &locTop, GFX_CLEAR_TARGET, 0xFFFF0000, 1.0f, 0));
    std::vector<uint32_t> locTarget(16 * 16);
    ASSERT_TRUE(myDevice->ReadSurface(myDevice->GetRenderTarget(), locTarget.data(), 16 * 4));
    EXPECT_EQ(locTarget[0], 0xFFFF0000u);
    EXPECT_EQ(locTarget[15 * 16], 0xFF0000FFu);
    ASSERT_TRUE(myDevice->SetRenderTarget(nullptr));
    ASSERT_TRUE(myDevice->SetDepthStencilSurface(myDevice->GetAutoDepthStencil()));
    myDevice->ReleaseSurface(locDepth);
    myDevice->SetTexture(0, t);
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    Quad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(4, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(4, 13), 0xFF0000FFu);
}

TEST_F(GfxPixel, LostDeviceRecoversAndPresentsACorrectFrame)
{
    struct Host { std::vector<uint32_t> myPixels; int myFrames = 0; } locHost;
    GFX_DeviceDesc locDesc;
    locDesc.myWidth = 8;
    locDesc.myHeight = 4;
    locDesc.myPresentUserData = &locHost;
    locDesc.myPresentFunc = [](void* aUser, const GFX_Image& anImage)
    {
        Host* h = static_cast<Host*>(aUser);
        h->myPixels.assign(anImage.myPixels, anImage.myPixels + anImage.myWidth * anImage.myHeight);
        ++h->myFrames;
    };
    GFX_Device* d = ourSystem->CreateDevice(locDesc);
    ASSERT_NE(d, nullptr);
    GFX_BufferDesc locBuffer;
    locBuffer.mySize = 64;
    locBuffer.myPool = GFX_POOL_DEFAULT;
    GFX_Buffer* b = d->CreateBuffer(locBuffer);
    ASSERT_TRUE(d->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF112233, 1.0f, 0));
    ASSERT_TRUE(d->Present());
    EXPECT_EQ(locHost.myFrames, 1);
    EXPECT_EQ(locHost.myPixels[31], 0xFF112233u);

    GFX_LoseDevice(d, 1);
    EXPECT_FALSE(d->Present());
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_DEVICE_LOST);
    EXPECT_EQ(d->TestCooperativeLevel(), GFX_ERROR_DEVICE_LOST);
    EXPECT_EQ(d->TestCooperativeLevel(), GFX_ERROR_DEVICE_NOT_RESET);
    EXPECT_FALSE(d->Reset(locDesc)); // the DEFAULT-pool buffer is still alive
    d->ReleaseBuffer(b);
    locDesc.myWidth = 4;
    ASSERT_TRUE(d->Reset(locDesc));
    EXPECT_EQ(d->TestCooperativeLevel(), GFX_ERROR_NONE);
    ASSERT_TRUE(d->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF445566, 1.0f, 0));
    uint16_t r[256], g[256], bl[256];
    for (int i = 0; i < 256; ++i)
        r[i] = g[i] = bl[i] = uint16_t(std::min(65535, i * 2 * 257));
    d->SetGammaRamp(r, g, bl);
    ASSERT_TRUE(d->Present());
    EXPECT_EQ(locHost.myFrames, 2);
    ASSERT_EQ(locHost.myPixels.size(), 16u);
    EXPECT_EQ(locHost.myPixels[15], 0xFF88AACCu); // the host sees the gamma ramp ...
    std::vector<uint32_t> locFront(16);
    ASSERT_TRUE(d->GetFrontBufferData(locFront.data(), 16));
    EXPECT_EQ(locFront[15], 0xFF445566u); // ... the front buffer holds the frame itself
    EXPECT_EQ(d->GetLiveObjectCount(), 0u);
    ourSystem->DestroyDevice(d);
}

TEST_F(GfxPixel, AResizedBackBufferKeepsTexturesBuffersAndStates)
{
    GFX_Texture* t = Texture(0xFF20A040);
    myDevice->SetTexture(0, t);
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE,
          GFX_TA_DIFFUSE);
    myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_NONE);
    const uint32_t locLive = myDevice->GetLiveObjectCount();
    ASSERT_TRUE(myDevice->BeginScene());
    EXPECT_FALSE(myDevice->ResizeBackBuffer(96, 32)); // not inside a scene
    ASSERT_TRUE(myDevice->EndScene());

    ASSERT_TRUE(myDevice->ResizeBackBuffer(96, 32)) << GFX_GetLastErrorDetail();
    EXPECT_EQ(myDevice->GetLiveObjectCount(), locLive);
    EXPECT_EQ(myDevice->GetDesc().myWidth, 96u);
    EXPECT_EQ(myDevice->GetViewport().myWidth, 96u);
    EXPECT_EQ(myDevice->GetViewport().myHeight, 32u);
    EXPECT_EQ(myDevice->GetTexture(0), t);
    EXPECT_EQ(myDevice->GetRenderState(GFX_RS_CULLMODE), uint32_t(GFX_CULL_NONE));
    ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000080, 1.0f, 0));
    // The same texture and vertex buffer draw on the new size: the right 32 columns only.
    Quad(64.0f, 0.0f, 96.0f, 32.0f, 0xFFFFFFFF);
    std::vector<uint32_t> locPixels(96 * 32);
    ASSERT_TRUE(myDevice->ReadSurface(myDevice->GetBackBuffer(), locPixels.data(), 96 * 4));
    EXPECT_EQ(locPixels[0], 0xFF000080u);
    EXPECT_EQ(locPixels[31 * 96 + 63], 0xFF000080u);
    EXPECT_EQ(locPixels[64], 0xFF20A040u);
    EXPECT_EQ(locPixels[31 * 96 + 95], 0xFF20A040u);
    ASSERT_TRUE(myDevice->Present());
    std::vector<uint32_t> locFront(96 * 32);
    ASSERT_TRUE(myDevice->GetFrontBufferData(locFront.data(), 96 * 4));
    EXPECT_EQ(locFront, locPixels);

    GFX_LoseDevice(myDevice, 0);
    EXPECT_FALSE(myDevice->ResizeBackBuffer(64, 64));
    EXPECT_EQ(GFX_GetLastError(), GFX_ERROR_DEVICE_LOST);
}

TEST_F(GfxPixel, TheHostMayShowTheFrameUntilTheDeviceLetsItGo)
{
    // A host that shows the device's own pixels and copies them when told.
    struct Host
    {
        const uint32_t* myShown = nullptr;
        std::vector<uint32_t> myKept;
        int myReleases = 0;
    } locHost;
    GFX_DeviceDesc locDesc;
    locDesc.myWidth = 8;
    locDesc.myHeight = 4;
    locDesc.myPresentUserData = &locHost;
    locDesc.myPresentFunc = [](void* aUser, const GFX_Image& anImage)
    {
        ASSERT_NE(anImage.myPixels, nullptr);
        static_cast<Host*>(aUser)->myShown = anImage.myPixels;
    };
    locDesc.myReleaseFunc = [](void* aUser)
    {
        Host* h = static_cast<Host*>(aUser);
        h->myReleases++;
        if (h->myShown)
            h->myKept.assign(h->myShown, h->myShown + 8 * 4);
        h->myShown = nullptr;
    };
    GFX_Device* d = ourSystem->CreateDevice(locDesc);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF112233, 1.0f, 0));
    ASSERT_TRUE(d->Present());
    const uint32_t* locFirst = locHost.myShown;
    ASSERT_NE(locFirst, nullptr);
    // The next frame lands in the same pixels: the host shows it without being told.
    ASSERT_TRUE(d->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF445566, 1.0f, 0));
    ASSERT_TRUE(d->Present());
    EXPECT_EQ(locHost.myShown, locFirst);
    EXPECT_EQ(locHost.myShown[31], 0xFF445566u);
    EXPECT_EQ(locHost.myReleases, 0);

    // A resize, a reset (which keeps the host when it names none) and the device's end
    // each come after a release.
    ASSERT_TRUE(d->ResizeBackBuffer(16, 4));
    EXPECT_EQ(locHost.myReleases, 1);
    EXPECT_EQ(locHost.myKept[31], 0xFF445566u);
    ASSERT_TRUE(d->Present());
    ASSERT_NE(locHost.myShown, nullptr);
    GFX_DeviceDesc locBare;
    locBare.myWidth = 8;
    locBare.myHeight = 4;
    ASSERT_TRUE(d->Reset(locBare));
    EXPECT_EQ(locHost.myReleases, 2);
    EXPECT_EQ(locHost.myShown, nullptr);
    ASSERT_TRUE(d->Present());
    ASSERT_NE(locHost.myShown, nullptr);
    ourSystem->DestroyDevice(d);
    EXPECT_EQ(locHost.myReleases, 3);
    EXPECT_EQ(locHost.myShown, nullptr);
}

TEST_F(GfxPixel, StageOperationsCombineTheirArguments)
{
    struct Case { uint32_t myOp; uint32_t myTexel, myDiffuse, myFactor, myExpected; };
    const Case locCases[] = {
        {GFX_TOP_SELECTARG2, 0xFF202020, 0xFF606060, 0, 0xFF606060},
        {GFX_TOP_ADD, 0xFF404040, 0xFF303030, 0, 0xFF707070},
        {GFX_TOP_SUBTRACT, 0xFF808080, 0xFF303030, 0, 0xFF505050},
        {GFX_TOP_SUBTRACT, 0xFF303030, 0xFF808080, 0, 0xFF000000},
        {GFX_TOP_ADDSMOOTH, 0xFF808080, 0xFF808080, 0, 0xFFC0C0C0},
        {GFX_TOP_MODULATE4X, 0xFF202020, 0xFF404040, 0, 0xFF202020},
        {GFX_TOP_MULTIPLYADD, 0xFF808080, 0xFF808080, 0xFF202020, 0xFF606060},
        {GFX_TOP_LERP, 0xFFFFFFFF, 0xFF000000, 0xFF404040, 0xFF404040},
        {GFX_TOP_BLENDDIFFUSEALPHA, 0xFFFFFFFF, 0x80000000, 0, 0xFF808080},
        {GFX_TOP_BLENDFACTORALPHA, 0xFFFFFFFF, 0xFF000000, 0x40000000, 0xFF404040},
        {GFX_TOP_MODULATEALPHA_ADDCOLOR, 0x80202020, 0xFF808080, 0, 0xFF606060},
    };
    for (const Case& c : locCases)
    {
        myDevice->SetTexture(0, Texture(c.myTexel));
        myDevice->SetRenderState(GFX_RS_TEXTUREFACTOR, c.myFactor);
        Stage(0, c.myOp, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
        myDevice->SetTextureStageState(0, GFX_TSS_COLORARG0, GFX_TA_TFACTOR);
        Quad(0, 0, 8, 8, c.myDiffuse);
        EXPECT_LE(Distance(Pixel(4, 4), c.myExpected), 1) << "operation " << c.myOp;
    }
}

// [SECTION] Bump, cube, coordinates, mips, DXT decoding, two devices

TEST_F(GfxPixel, BumpEnvironmentMapShiftsTheNextStagesCoordinates)
{
    // Stage 1 reads a texture whose left half is red and right half blue, at u = 0.375;
    // stage 0's du of 64 / 127 through a matrix of 0.496 moves it by 0.25, into the blue.
    GFX_TextureDesc d;
    d.myWidth = d.myHeight = 4;
    GFX_Texture* locHalves = myDevice->CreateTexture(d);
    myTextures.push_back(locHalves);
    GFX_LockedRect r;
    ASSERT_TRUE(myDevice->LockTexture(locHalves, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.myBits) + y * r.myPitch)[x] =
                x < 2 ? 0xFFFF0000 : 0xFF0000FF;
    ASSERT_TRUE(myDevice->UnlockTexture(locHalves, GFX_CUBEFACE_POSITIVE_X, 0));
    myDevice->SetTexture(0, Texture(0x00000040, GFX_FORMAT_V8U8));
    myDevice->SetTexture(1, locHalves);
    Stage(0, GFX_TOP_BUMPENVMAP, GFX_TA_TEXTURE, GFX_TA_CURRENT, GFX_TOP_SELECTARG1, GFX_TA_DIFFUSE, GFX_TA_DIFFUSE);
    Stage(1, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_CURRENT, GFX_TOP_SELECTARG1, GFX_TA_CURRENT, GFX_TA_CURRENT);
    myDevice->SetTextureStageState(1, GFX_TSS_TEXCOORDINDEX, 0);
    std::vector<TLVertex> v = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0.375f, 0.5f}, {8, 0, 0.5f, 1, 0xFFFFFFFF, 0.375f, 0.5f},
                               {0, 8, 0.5f, 1, 0xFFFFFFFF, 0.375f, 0.5f}, {8, 8, 0.5f, 1, 0xFFFFFFFF, 0.375f, 0.5f}};
    Draw(myTLDecl, GFX_PRIM_TRIANGLESTRIP, v, 2);
    EXPECT_EQ(Pixel(4, 4), 0xFFFF0000u);
    myDevice->SetTextureStageState(0, GFX_TSS_BUMPENVMAT00, GFX_FloatBits(0.496f));
    Draw(myTLDecl, GFX_PRIM_TRIANGLESTRIP, v, 2);
    EXPECT_EQ(Pixel(4, 4), 0xFF0000FFu);
}

TEST_F(GfxPixel, CubeTextureFacesFollowTheMajorAxis)
{
    GFX_TextureDesc d;
    d.myWidth = d.myHeight = 2;
    d.myCubeFlag = true;
    GFX_Texture* t = myDevice->CreateTexture(d);
    ASSERT_NE(t, nullptr);
    myTextures.push_back(t);
    const uint32_t locFaces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (uint32_t f = 0; f < 6; ++f)
    {
        GFX_LockedRect r;
        ASSERT_TRUE(myDevice->LockTexture(t, GFX_CubeFace(f), 0, 0, &r));
        for (int i = 0; i < 4; ++i)
            memcpy(static_cast<uint8_t*>(r.myBits) + (i / 2) * r.myPitch + (i % 2) * 4, &locFaces[f], 4);
        ASSERT_TRUE(myDevice->UnlockTexture(t, GFX_CubeFace(f), 0));
    }
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_POSITIONT, 0},
                                   {0, 16, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_TEXCOORD, 0}};
    GFX_VertexDecl* locDecl = myDevice->CreateVertexDecl(e, 2);
    struct V { float x, y, z, w, s, t, r; };
    myDevice->SetTexture(0, t);
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    const float locDirs[6][3] = {{1, 0.1f, 0.1f}, {-1, 0.1f, 0.1f}, {0.1f, 1, 0.1f},
                                 {0.1f, -1, 0.1f}, {0.1f, 0.1f, 1}, {0.1f, 0.1f, -1}};
    for (uint32_t f = 0; f < 6; ++f)
    {
        const float* c = locDirs[f];
        std::vector<V> v = {{0, 0, 0.5f, 1, c[0], c[1], c[2]}, {8, 0, 0.5f, 1, c[0], c[1], c[2]},
                            {0, 8, 0.5f, 1, c[0], c[1], c[2]}, {8, 8, 0.5f, 1, c[0], c[1], c[2]}};
        Draw(locDecl, GFX_PRIM_TRIANGLESTRIP, v, 2);
        EXPECT_EQ(Pixel(4, 4), locFaces[f]) << "face " << f;
    }
    myDevice->ReleaseVertexDecl(locDecl);
}

TEST_F(GfxPixel, CameraSpacePositionThroughATextureMatrix)
{
    // u = x / 2 + 1/2, v = -y / 2 + 1/2 maps the screen's corners onto the texture's.
    GFX_Texture* t = FourTexels();
    ASSERT_NE(t, nullptr);
    GFX_Matrix m = GFX_MatrixIdentity();
    m.m[0][0] = 0.5f;
    m.m[1][1] = -0.5f;
    m.m[3][0] = 0.5f;
    m.m[3][1] = 0.5f;
    myDevice->SetTransform(GFX_TransformState(GFX_TS_TEXTURE0 + 0), m);
    myDevice->SetTextureStageState(0, GFX_TSS_TEXCOORDINDEX, GFX_TCI_CAMERASPACEPOSITION);
    myDevice->SetTextureStageState(0, GFX_TSS_TEXTURETRANSFORMFLAGS, GFX_TTF_COUNT2);
    myDevice->SetSamplerState(0, GFX_SAMP_ADDRESSU, GFX_TADDRESS_CLAMP);
    myDevice->SetSamplerState(0, GFX_SAMP_ADDRESSV, GFX_TADDRESS_CLAMP);
    myDevice->SetTexture(0, t);
    myDevice->SetRenderState(GFX_RS_LIGHTING, 0);
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0}};
    GFX_VertexDecl* locDecl = myDevice->CreateVertexDecl(e, 1);
    struct P { float x, y, z; };
    Draw(locDecl, GFX_PRIM_TRIANGLESTRIP, std::vector<P>{{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}}, 2);
    EXPECT_EQ(Pixel(8, 8), 0xFFFF0000u);
    EXPECT_EQ(Pixel(56, 8), 0xFF00FF00u);
    EXPECT_EQ(Pixel(8, 56), 0xFF0000FFu);
    EXPECT_EQ(Pixel(56, 56), 0xFFFFFFFFu);
    myDevice->ReleaseVertexDecl(locDecl);
}

TEST_F(GfxPixel, SpotLightConeCutsTheLight)
{
    const std::vector<LitVertex> v = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1}};
    myDevice->SetRenderState(GFX_RS_AMBIENT, 0);
    GFX_Light s;
    s.myType = GFX_LIGHT_SPOT;
    s.myDiffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    s.myPosition = {0.0f, 0.0f, -1.0f};
    s.myDirection = {0.0f, 0.0f, 1.0f};
    s.myRange = 10.0f;
    s.myTheta = 2.0f; // cos(1) = 0.54 < 0.728 at every vertex: fully inside
    s.myPhi = 2.5f;
    ASSERT_TRUE(myDevice->SetLight(0, s));
    ASSERT_TRUE(myDevice->LightEnable(0, true));
    Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    const int locExpected = int(std::lround(255.0 * 1.5 / std::sqrt(4.25)));
    EXPECT_LE(Distance(Pixel(4, 4), 0xFF000000u | uint32_t(locExpected * 0x010101)), 2);
    s.myTheta = 0.2f;
    s.myPhi = 0.4f; // every vertex outside the outer cone
    ASSERT_TRUE(myDevice->SetLight(0, s));
    Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_EQ(Pixel(4, 4), 0xFF000000u);
}

TEST(GfxDXT, BlocksDecodeWithTheirAlphaRules)
{
    uint32_t t[16];
    // DXT1, colour 0 (white) <= colour 1 (white + 1): three colours and transparent black.
    const uint8_t locDXT1[8] = {0xFE, 0xFF, 0xFF, 0xFF, 0xE4, 0, 0, 0}; // row 0 indices 0, 1, 2, 3
    GFX_DecompressDXT(GFX_FORMAT_DXT1, 4, 4, locDXT1, t);
    EXPECT_EQ(t[0], 0xFFFFFFF7u); // 0xFFFE: blue 30 of 31
    EXPECT_EQ(t[3], 0x00000000u);
    // DXT3: explicit 4-bit alpha, colour block red.
    uint8_t locDXT3[16] = {0x0F, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};
    GFX_DecompressDXT(GFX_FORMAT_DXT3, 4, 4, locDXT3, t);
    EXPECT_EQ(t[0], 0xFFFF0000u);
    EXPECT_EQ(t[1], 0x00FF0000u);
    // DXT5: alpha 0 = 255, alpha 1 = 0, texel 0 index 1 (0), texel 1 index 2 (6/7 of 255 + ...).
    uint8_t locDXT5[16] = {255, 0, 0x11, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    GFX_DecompressDXT(GFX_FORMAT_DXT5, 4, 4, locDXT5, t);
    EXPECT_EQ(t[0], 0x000000FFu);
    EXPECT_EQ(t[1] >> 24, (6u * 255u) / 7u);
    EXPECT_EQ(t[2] >> 24, 255u);
    // A 2 x 2 level still reads one whole block, row by row.
    uint32_t s[4];
    GFX_DecompressDXT(GFX_FORMAT_DXT3, 2, 2, locDXT3, s);
    EXPECT_EQ(s[0], 0xFFFF0000u);
    EXPECT_EQ(s[1], 0x00FF0000u);
    EXPECT_EQ(s[2], 0x00FF0000u);
}

TEST(GfxDXT, ExpandedUploadDrawsLikeTheDriversDecoder)
{
    GFX_SystemDesc locDesc;
    locDesc.myExpandDXTFlag = true;
    GFX_System* locSystem = GFX_CreateGLSystem(locDesc);
    ASSERT_NE(locSystem, nullptr);
    GFX_DeviceDesc d;
    d.myWidth = d.myHeight = 8;
    GFX_Device* locDevice = locSystem->CreateDevice(d);
    ASSERT_NE(locDevice, nullptr);
    GFX_TextureDesc t;
    t.myWidth = t.myHeight = 4;
    t.myFormat = GFX_FORMAT_DXT1;
    GFX_Texture* locTexture = locDevice->CreateTexture(t);
    GFX_LockedRect r;
    ASSERT_TRUE(locDevice->LockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
    const uint8_t locBlock[8] = {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    memcpy(r.myBits, locBlock, 8);
    ASSERT_TRUE(locDevice->UnlockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, 0));
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_POSITIONT, 0},
                                   {0, 16, GFX_DECLTYPE_FLOAT2, GFX_DECLUSAGE_TEXCOORD, 0}};
    GFX_VertexDecl* locDecl = locDevice->CreateVertexDecl(e, 2);
    GFX_BufferDesc b;
    b.mySize = 4 * 24;
    GFX_Buffer* locBuffer = locDevice->CreateBuffer(b);
    void* p = nullptr;
    ASSERT_TRUE(locDevice->LockBuffer(locBuffer, 0, 0, 0, &p));
    const float v[4][6] = {{0, 0, 0.5f, 1, 0, 0}, {8, 0, 0.5f, 1, 1, 0}, {0, 8, 0.5f, 1, 0, 1}, {8, 8, 0.5f, 1, 1, 1}};
    memcpy(p, v, sizeof(v));
    locDevice->UnlockBuffer(locBuffer);
    locDevice->SetVertexDecl(locDecl);
    locDevice->SetStreamSource(0, locBuffer, 0, 24);
    locDevice->SetTexture(0, locTexture);
    locDevice->SetTextureStageState(0, GFX_TSS_COLOROP, GFX_TOP_SELECTARG1);
    ASSERT_TRUE(locDevice->BeginScene());
    ASSERT_TRUE(locDevice->DrawPrimitive(GFX_PRIM_TRIANGLESTRIP, 0, 2));
    ASSERT_TRUE(locDevice->EndScene());
    uint32_t locPixels[64];
    ASSERT_TRUE(locDevice->ReadSurface(locDevice->GetBackBuffer(), locPixels, 32));
    EXPECT_EQ(locPixels[36], 0xFFFF0000u);
    locDevice->ReleaseBuffer(locBuffer);
    locDevice->ReleaseVertexDecl(locDecl);
    locDevice->ReleaseTexture(locTexture);
    locSystem->DestroyDevice(locDevice);
    GFX_DestroySystem(locSystem);
}

TEST_F(GfxPixel, MipFilterPicksTheSmallerLevel)
{
    GFX_TextureDesc d;
    d.myWidth = d.myHeight = 8;
    d.myLevels = 0;
    GFX_Texture* t = myDevice->CreateTexture(d);
    myTextures.push_back(t);
    ASSERT_EQ(myDevice->GetTextureLevelCount(t), 4u);
    const uint32_t locColours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (uint32_t l = 0; l < 4; ++l)
    {
        GFX_LockedRect r;
        ASSERT_TRUE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, l, 0, &r));
        const uint32_t w = 8 >> l;
        for (uint32_t y = 0; y < w; ++y)
            for (uint32_t x = 0; x < w; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.myBits) + y * r.myPitch)[x] = locColours[l];
        ASSERT_TRUE(myDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, l));
    }
    myDevice->SetTexture(0, t);
    Stage(0, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE, GFX_TOP_SELECTARG1, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
    // 8 texels over 4 pixels: level 1.
    myDevice->SetSamplerState(0, GFX_SAMP_MIPFILTER, GFX_TEXF_POINT);
    Quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(1, 1), 0xFF00FF00u);
    // Without mip filtering the top level is read; MAXMIPLEVEL holds back the detailed ones.
    myDevice->SetSamplerState(0, GFX_SAMP_MIPFILTER, GFX_TEXF_NONE);
    Quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(1, 1), 0xFFFF0000u);
    myDevice->SetSamplerState(0, GFX_SAMP_MIPFILTER, GFX_TEXF_POINT);
    myDevice->SetSamplerState(0, GFX_SAMP_MAXMIPLEVEL, 2);
    Quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(1, 1), 0xFF0000FFu);
}

TEST_F(GfxPixel, RangeFogUsesTheDistanceNotTheDepth)
{
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0}};
    GFX_VertexDecl* locDecl = myDevice->CreateVertexDecl(e, 1);
    struct P { float x, y, z; };
    // A small triangle around (0.6, 0.6, 0.8): depth 0.8, distance 1.166.
    const std::vector<P> v = {{0.55f, 0.65f, 0.8f}, {0.65f, 0.65f, 0.8f}, {0.55f, 0.55f, 0.8f}};
    myDevice->SetRenderState(GFX_RS_LIGHTING, 0);
    myDevice->SetRenderState(GFX_RS_ZENABLE, 0);
    myDevice->SetRenderState(GFX_RS_FOGENABLE, 1);
    myDevice->SetRenderState(GFX_RS_FOGVERTEXMODE, GFX_FOG_LINEAR);
    myDevice->SetRenderState(GFX_RS_FOGCOLOR, 0xFF000000);
    myDevice->SetRenderState(GFX_RS_FOGSTART, GFX_FloatBits(0.0f));
    myDevice->SetRenderState(GFX_RS_FOGEND, GFX_FloatBits(2.0f));
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_LE(Distance(Pixel(50, 12), 0xFF999999), 2); // 1 - 0.8 / 2 = 0.6
    myDevice->SetRenderState(GFX_RS_RANGEFOGENABLE, 1);
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    const uint32_t c = uint32_t(std::lround(255.0 * (1.0 - std::sqrt(0.6 * 0.6 * 2 + 0.64) / 2.0)));
    EXPECT_LE(Distance(Pixel(50, 12), 0xFF000000u | c * 0x010101u), 3);
    myDevice->ReleaseVertexDecl(locDecl);
}

// A system's probe context goes to one device only: ending that device leaves the other's
// context alive, also after systems made and dropped without a device.
TEST(GfxTwoDevices, ProbeContextServesOneDevice)
{
    GFX_DestroySystem(GFX_CreateGLSystem());
    GFX_System* s = GFX_CreateGLSystem();
    ASSERT_NE(s, nullptr);
    GFX_DeviceDesc d;
    d.myWidth = d.myHeight = 4;
    GFX_Device* a = s->CreateDevice(d);
    GFX_Device* b = s->CreateDevice(d);
    ASSERT_TRUE(a && b);
    uint32_t p[16];
    for (GFX_Device* g : {a, b})
    {
        ASSERT_TRUE(g->Clear(0, nullptr, GFX_CLEAR_TARGET, g == a ? 0xFFFF0000u : 0xFF0000FFu, 1.0f, 0));
        ASSERT_TRUE(g->Present());
    }
    ASSERT_TRUE(a->GetFrontBufferData(p, 16));
    EXPECT_EQ(p[5], 0xFFFF0000u);
    s->DestroyDevice(a);
    ASSERT_TRUE(b->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF00FF00u, 1.0f, 0));
    ASSERT_TRUE(b->Present());
    ASSERT_TRUE(b->GetFrontBufferData(p, 16));
    EXPECT_EQ(p[5], 0xFF00FF00u);
    s->DestroyDevice(b);
    GFX_DestroySystem(s);
}

TEST(GfxTwoDevices, InterleavedDevicesKeepTheirOwnTargetsAndStates)
{
    GFX_System* s = GFX_CreateGLSystem();
    ASSERT_NE(s, nullptr);
    GFX_DeviceDesc d;
    d.myWidth = d.myHeight = 4;
    GFX_Device* a = s->CreateDevice(d);
    d.myWidth = 8;
    GFX_Device* b = s->CreateDevice(d);
    ASSERT_TRUE(a && b);
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_POSITIONT, 0},
                                   {0, 16, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_COLOR, 0}};
    struct V { float x, y, z, w; uint32_t c; };
    GFX_Buffer* locBuffers[2];
    GFX_VertexDecl* locDecls[2];
    GFX_Device* locDevices[2] = {a, b};
    for (int i = 0; i < 2; ++i)
    {
        GFX_Device* g = locDevices[i];
        locDecls[i] = g->CreateVertexDecl(e, 2);
        GFX_BufferDesc bd;
        bd.mySize = 4 * sizeof(V);
        locBuffers[i] = g->CreateBuffer(bd);
        const uint32_t c = i == 0 ? 0xFFFF0000 : 0xFF0000FF;
        const V v[4] = {{-0.5f, -0.5f, 0.5f, 1, c}, {9, -0.5f, 0.5f, 1, c}, {-0.5f, 9, 0.5f, 1, c}, {9, 9, 0.5f, 1, c}};
        void* p = nullptr;
        ASSERT_TRUE(g->LockBuffer(locBuffers[i], 0, 0, 0, &p));
        memcpy(p, v, sizeof(v));
        g->UnlockBuffer(locBuffers[i]);
        g->SetVertexDecl(locDecls[i]);
        g->SetStreamSource(0, locBuffers[i], 0, sizeof(V));
        g->SetTextureStageState(0, GFX_TSS_COLOROP, GFX_TOP_SELECTARG1);
        g->SetTextureStageState(0, GFX_TSS_COLORARG1, GFX_TA_DIFFUSE);
    }
    // a blends, b does not: each context keeps its own state.
    a->SetRenderState(GFX_RS_ALPHABLENDENABLE, 1);
    a->SetRenderState(GFX_RS_SRCBLEND, GFX_BLEND_ZERO);
    a->SetRenderState(GFX_RS_DESTBLEND, GFX_BLEND_ONE);
    for (int f = 0; f < 2; ++f)
        for (GFX_Device* g : locDevices)
        {
            ASSERT_TRUE(g->Clear(0, nullptr, GFX_CLEAR_TARGET, 0xFF00FF00, 1.0f, 0));
            ASSERT_TRUE(g->BeginScene());
            ASSERT_TRUE(g->DrawPrimitive(GFX_PRIM_TRIANGLESTRIP, 0, 2));
            ASSERT_TRUE(g->EndScene());
            ASSERT_TRUE(g->Present());
        }
    uint32_t pa[16], pb[32];
    ASSERT_TRUE(a->GetFrontBufferData(pa, 16));
    ASSERT_TRUE(b->GetFrontBufferData(pb, 32));
    EXPECT_EQ(pa[5], 0xFF00FF00u); // blended away
    EXPECT_EQ(pb[5], 0xFF0000FFu);
    EXPECT_EQ(pb[31], 0xFF0000FFu);
    for (int i = 0; i < 2; ++i)
    {
        locDevices[i]->ReleaseBuffer(locBuffers[i]);
        locDevices[i]->ReleaseVertexDecl(locDecls[i]);
        s->DestroyDevice(locDevices[i]);
    }
    GFX_DestroySystem(s);
}

// [SECTION] Specular and table fog against the published equations

namespace
{

struct Vec3
{
    double x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Normalize(Vec3 a)
{
    const double l = std::sqrt(Dot(a, a));
    return l > 0.0 ? Vec3{a.x / l, a.y / l, a.z / l} : Vec3{0.0, 0.0, 0.0};
}

// Specular of one directional light at a vertex: Ls (N.H)^P with H = norm(V + L), V the unit
// vector from the vertex to the viewer: (0, 0, -1) without a local viewer, norm(-P) with one.
Vec3 Specular(Vec3 aPosition, Vec3 aNormal, Vec3 aToLight, Vec3 aLightSpecular, double aPower, bool aLocalFlag)
{
    const Vec3 v = aLocalFlag ? Normalize({-aPosition.x, -aPosition.y, -aPosition.z}) : Vec3{0.0, 0.0, -1.0};
    const double ndh = Dot(aNormal, Normalize(v + aToLight));
    if (Dot(aNormal, aToLight) <= 0.0 || ndh <= 0.0)
        return {0.0, 0.0, 0.0};
    const double f = std::pow(ndh, aPower);
    return {aLightSpecular.x * f, aLightSpecular.y * f, aLightSpecular.z * f};
}

uint32_t Color(Vec3 c)
{
    auto locByte = [](double v) { return uint32_t(std::lround(255.0 * std::clamp(v, 0.0, 1.0))); };
    return 0xFF000000u | locByte(c.x) << 16 | locByte(c.y) << 8 | locByte(c.z);
}

} // namespace

TEST_F(GfxPixel, SpecularFollowsTheHalfVectorWithAndWithoutALocalViewer)
{
    // Identity transforms; a triangle facing the viewer at depth 0.5; black diffuse, so the
    // frame shows the specular sum alone.
    const std::vector<LitVertex> v = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1}};
    myDevice->SetRenderState(GFX_RS_AMBIENT, 0);
    myDevice->SetRenderState(GFX_RS_SPECULARENABLE, 1);
    GFX_Material m;
    m.myDiffuse = {0.0f, 0.0f, 0.0f, 1.0f};
    m.mySpecular = {1.0f, 1.0f, 1.0f, 1.0f};
    m.myPower = 10.0f;
    myDevice->SetMaterial(m);
    const Vec3 locLs = {1.0, 0.5, 0.25};
    const Vec3 locN = {0.0, 0.0, -1.0};
    GFX_Light l;
    l.myType = GFX_LIGHT_DIRECTIONAL;
    l.mySpecular = {1.0f, 0.5f, 0.25f, 1.0f};
    const double s = std::sqrt(0.5);
    struct Case { Vec3 myToLight; bool myLocalFlag; };
    const Case locCases[] = {{{s, 0.0, -s}, false}, {{0.0, 0.0, -1.0}, false}, {{s, 0.0, -s}, true},
                             {{0.0, 0.6, -0.8}, true}};
    for (const Case& c : locCases)
    {
        l.myDirection = {float(-c.myToLight.x), float(-c.myToLight.y), float(-c.myToLight.z)};
        ASSERT_TRUE(myDevice->SetLight(0, l));
        ASSERT_TRUE(myDevice->LightEnable(0, true));
        myDevice->SetRenderState(GFX_RS_LOCALVIEWER, c.myLocalFlag);
        ASSERT_TRUE(myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000000, 1.0f, 0));
        Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
        // Gouraud: pixel (px, py) samples clip (px / 32 - 1, 1 - py / 32): for this triangle the
        // weights of vertices 1 and 2 are (x + 1) / 2 and (1 - y) / 2.
        for (const auto& p : {std::pair<int, int>{16, 16}, std::pair<int, int>{8, 24}})
        {
            const double x = p.first / 32.0 - 1.0, y = 1.0 - p.second / 32.0;
            const double w1 = (x + 1.0) / 2.0, w2 = (1.0 - y) / 2.0, w0 = 1.0 - w1 - w2;
            Vec3 locSum = {0.0, 0.0, 0.0};
            const double w[3] = {w0, w1, w2};
            for (int k = 0; k < 3; ++k)
            {
                const Vec3 e = Specular({v[k].x, v[k].y, v[k].z}, locN, c.myToLight, locLs, 10.0, c.myLocalFlag);
                locSum = locSum + Vec3{w[k] * std::min(e.x, 1.0), w[k] * std::min(e.y, 1.0), w[k] * std::min(e.z, 1.0)};
            }
            const uint32_t locExpected = Color(locSum);
            EXPECT_NE(locExpected & 0xFFFFFF, 0u); // every case has a highlight
            EXPECT_LE(Distance(Pixel(p.first, p.second), locExpected), 2)
                << "to light (" << c.myToLight.x << ", " << c.myToLight.y << ", " << c.myToLight.z << ") local "
                << c.myLocalFlag << std::hex << " expected 0x" << locExpected << " got 0x"
                << Pixel(p.first, p.second);
        }
    }
    // Off, the same light adds nothing.
    myDevice->SetRenderState(GFX_RS_SPECULARENABLE, 0);
    Draw(myLitDecl, GFX_PRIM_TRIANGLELIST, v, 1);
    EXPECT_EQ(Pixel(16, 16), 0xFF000000u);
}

TEST_F(GfxPixel, TableFogReadsDeviceDepthUnlessTheProjectionGivesW)
{
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0}};
    GFX_VertexDecl* locDecl = myDevice->CreateVertexDecl(e, 1);
    struct P { float x, y, z; };
    myDevice->SetRenderState(GFX_RS_LIGHTING, 0);
    myDevice->SetRenderState(GFX_RS_ZENABLE, 0);
    myDevice->SetRenderState(GFX_RS_FOGENABLE, 1);
    myDevice->SetRenderState(GFX_RS_FOGTABLEMODE, GFX_FOG_LINEAR);
    myDevice->SetRenderState(GFX_RS_FOGCOLOR, 0xFFFF0000);
    const float locStart = 0.0f, locEnd = 4.0f;
    myDevice->SetRenderState(GFX_RS_FOGSTART, GFX_FloatBits(locStart));
    myDevice->SetRenderState(GFX_RS_FOGEND, GFX_FloatBits(locEnd));
    // White under linear fog f = (end - d) / (end - start): red stays, green and blue are 255 f.
    auto locExpected = [&](double d) {
        const double f = std::clamp((locEnd - d) / (locEnd - locStart), 0.0, 1.0);
        return 0xFFFF0000u | uint32_t(std::lround(255.0 * f)) * 0x0101u;
    };

    // Orthographic, fourth column (0, 0, 0, 1): z' = 0.25 z + 0.5, so eye depth 2 is device depth 1.
    GFX_Matrix locOrtho = {};
    locOrtho.m[0][0] = locOrtho.m[1][1] = 0.5f;
    locOrtho.m[2][2] = 0.25f;
    locOrtho.m[3][2] = 0.5f;
    locOrtho.m[3][3] = 1.0f;
    myDevice->SetTransform(GFX_TS_PROJECTION, locOrtho);
    const std::vector<P> locFar = {{-2, 2, 1.5f}, {2, 2, 1.5f}, {-2, -2, 1.5f}};
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, locFar, 1);
    EXPECT_LE(Distance(Pixel(8, 8), locExpected(0.25 * 1.5 + 0.5)), 1);

    // Perspective (w = z): the eye depth, 1.5.
    const float zn = 0.5f, zf = 10.0f;
    GFX_Matrix locPersp = {};
    locPersp.m[0][0] = locPersp.m[1][1] = 1.0f;
    locPersp.m[2][2] = zf / (zf - zn);
    locPersp.m[3][2] = -zn * zf / (zf - zn);
    locPersp.m[2][3] = 1.0f;
    myDevice->SetTransform(GFX_TS_PROJECTION, locPersp);
    Draw(locDecl, GFX_PRIM_TRIANGLELIST, locFar, 1);
    EXPECT_LE(Distance(Pixel(8, 8), locExpected(1.5)), 2);
    myDevice->ReleaseVertexDecl(locDecl);
}
