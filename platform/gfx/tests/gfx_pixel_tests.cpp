// Pixel tests of the OpenGL back end on llvmpipe: what the fixed-function conventions
// make of a few small scenes, read back from the render target.
#include "platform/gfx/gfx_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

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
