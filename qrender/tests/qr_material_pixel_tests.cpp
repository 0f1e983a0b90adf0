// Textures and surfaces on the OpenGL device over llvmpipe: a DDS texture drawn as its
// decoded pixels, and the built-in surfaces and templates drawn with pixel shaders off and
// on, giving the same picture as the stage arithmetic computed here.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qrender/qr_error.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_image_writers.h"

namespace
{

GFX_System* locGLSystem()
{
    return GFX_CreateGLSystem();
}

struct TLVertex
{
    float x, y, z, rhw;
    uint32_t myColor;
    float u, v;
};

class MaterialPixel : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/material";
        std::filesystem::create_directories(myDir);
        myDir += "/";
    }
    void TearDown() override { QR_Render::Destroy(); }

    void Start(bool aPixelShaderFlag)
    {
        QR_Render::Destroy();
        QR_RenderD3D::ourSystemFactory = locGLSystem;
        QR_RenderSettings s;
        s.myFullScreenFlag = 0;
        s.myWidth = 32;
        s.myHeight = 32;
        s.myPixelShaderFlag = aPixelShaderFlag;
        s.myTextureFilter = 0; // point sampling, no mip-maps: texels as stored
        ASSERT_TRUE(QR_Render::Create(nullptr, nullptr)) << GFX_GetLastErrorDetail();
        ASSERT_TRUE(QR_Render::ourInstance->Init(&s)) << GFX_GetLastErrorDetail();
        ASSERT_EQ(QR_Render::ourInstance->myRenderSettings.myPixelShaderFlag, aPixelShaderFlag ? 1 : 0);
    }
    static QR_Render* R() { return QR_Render::ourInstance; }

    // The whole frame cleared to aBackground, one quad of vertex colour aVertex with the
    // instance at the draw colour, then the frame read back.
    std::vector<uint32_t> Draw(QR_SurfaceInstance* anInstance, uint32_t aVertex, uint32_t aDrawColor,
                               uint32_t aBackground)
    {
        R()->BeginFrame();
        QR_Rect locAll = {0, 0, 32, 32};
        R()->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, aBackground, 1.0f, 0);
        R()->BeginAlpha2D();
        R()->SetSurface(anInstance, aDrawColor, 0.0f);
        QR_VertexBuffer* locVB = R()->myDynamicVertexBuffer;
        locVB->myVertexSize = sizeof(TLVertex);
        void* locData = nullptr;
        EXPECT_TRUE(R()->AppendVertices(locVB, &locData, 4));
        TLVertex q[4] = {{0, 0, 0.5f, 1, aVertex, 0, 0},
                         {32, 0, 0.5f, 1, aVertex, 1, 0},
                         {0, 32, 0.5f, 1, aVertex, 0, 1},
                         {32, 32, 0.5f, 1, aVertex, 1, 1}};
        memcpy(locData, q, sizeof(q));
        QR_VertexBuffer* locList[1] = {locVB};
        R()->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLESTRIP, 4);
        R()->EndFrame();
        std::vector<uint32_t> locPixels(32 * 32);
        EXPECT_TRUE(R()->GrabFrontBuffer(locPixels.data()));
        return locPixels;
    }

    // A 4 x 4 memory texture, left half aLeft, right half aRight.
    static QR_Texture* MemoryTexture(const char* aName, uint32_t aLeft, uint32_t aRight)
    {
        uint32_t p[16];
        for (int i = 0; i < 16; i++)
            p[i] = (i % 4) < 2 ? aLeft : aRight;
        QR_TexturePixels locRecord = {4, 4, 32, p};
        return QR_Texture::Acquire(aName, QR_TEXTUREFLAG_FROMMEMORY | QR_TEXTUREFLAG_NOMIPMAPS, 1, &locRecord);
    }

    std::string Template(const std::string& aName, const std::string& aText)
    {
        QRT_WriteFile(myDir + aName, std::vector<uint8_t>(aText.begin(), aText.end()));
        return myDir + aName;
    }

    std::string myDir;
};

bool locNear(uint32_t a, uint32_t b, int aTolerance)
{
    for (int s = 0; s < 24; s += 8)
        if (abs((int)((a >> s) & 0xFF) - (int)((b >> s) & 0xFF)) > aTolerance)
            return false;
    return true;
}

// Channel-wise product of two colours (a x b / 255), times aScale, saturated.
uint32_t locModulate(uint32_t a, uint32_t b, int aScale = 1)
{
    uint32_t r = 0;
    for (int s = 0; s < 24; s += 8)
    {
        int v = (int)((a >> s) & 0xFF) * (int)((b >> s) & 0xFF) * aScale / 255;
        r |= (uint32_t)(v > 255 ? 255 : v) << s;
    }
    return r;
}

TEST_F(MaterialPixel, DDSTextureDrawsAsItsDecodedPixels)
{
    Start(false);
    std::vector<uint8_t> locFile = QRT_ReadFile(std::string(Q_TEST_SOURCE_DIR) + "/tests/data/dds_dxt1.dds");
    ASSERT_FALSE(locFile.empty());
    std::vector<uint32_t> locDecoded(16 * 8);
    GFX_DecompressDXT(GFX_FORMAT_DXT1, 16, 8, locFile.data() + 128, locDecoded.data());
    QR_SurfaceInstance* i = QR_Surface::CreateInstanceWithTexture(
        "INTERNAL_SOLID", (std::string(Q_TEST_SOURCE_DIR) + "/tests/data/dds_dxt1").c_str());
    ASSERT_NE(i, nullptr) << QR_Error::ourCode;
    std::vector<uint32_t> f = Draw(i, 0xFFFFFFFF, 0xFFFFFFFF, 0);
    // A 32 x 32 quad over a 16 x 8 texture: 2 x 4 pixels a texel. The 2-D set-up filters
    // linearly (and wraps), so texels are compared where their neighbours are the same.
    auto locTexel = [&](int tx, int ty) { return locDecoded[((ty + 8) % 8) * 16 + (tx + 16) % 16]; };
    int locChecked = 0;
    for (int ty = 0; ty < 8; ty++)
        for (int tx = 0; tx < 16; tx++)
        {
            bool locUniform = true;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++)
                    locUniform = locUniform && locTexel(tx + dx, ty + dy) == locTexel(tx, ty);
            if (!locUniform)
                continue;
            for (int y = 4 * ty; y < 4 * ty + 4; y++)
                for (int x = 2 * tx; x < 2 * tx + 2; x++, locChecked++)
                    ASSERT_TRUE(locNear(f[y * 32 + x], locTexel(tx, ty) & 0xFFFFFF, 3))
                        << x << "," << y << " " << std::hex << f[y * 32 + x] << " " << locTexel(tx, ty);
        }
    EXPECT_GT(locChecked, 200);
    delete i;
}

// The cases drawn with pixel shaders off and on: each gives the expected colour left and
// right, and the two pictures agree.
TEST_F(MaterialPixel, SurfacesDrawTheSameWithAndWithoutPixelShaders)
{
    const uint32_t locTexLeft = 0xFF806040u, locTexRight = 0x40C0A080u;
    const uint32_t locVertex = 0xFF80FF80u;
    const std::string h = "VERSION 1\r\nNUM_DEFAULT_TEXTURES 1\r\nTEXTURE tex\r\nNUM_CONFIGS 1\r\nCONFIG D\r\n";
    auto locPass = [](const std::string& anInstructions, int aCount, const char* aBlend, const char* anAlpha,
                      const std::string& aRemap = "0\r\n", int aRemapCount = 1)
    {
        return std::string("NUM_PASSES 1\r\nFRAMEBUFFERBLENDING ") + aBlend + "\r\nALPHATEST " + anAlpha +
               "\r\nZWRITE DEFAULT\r\nFOGCOLOR DEFAULT\r\nNUM_REMAP_ENTRIES " + std::to_string(aRemapCount) + "\r\n" +
               aRemap + "NUM_INSTRUCTIONS " + std::to_string(aCount) + "\r\n" + anInstructions;
    };
    struct Case
    {
        const char* myName;
        std::string myText; // empty: the built-in INTERNAL_SOLID
        uint32_t myDrawColor;
        uint32_t myLeft, myRight; // expected
    };
    const uint32_t locBack = 0x000000;
    std::vector<Case> locCases = {
        {"solid", "", 0xFFFFFFFF, locModulate(locTexLeft, locVertex), locModulate(locTexRight, locVertex)},
        {"mod.sur", h + "CONFIG_FLAGS\r\n" + locPass("MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\r\n", 1, "OFF", "OFF"),
         0xFFFFFFFF, locModulate(locTexLeft, locVertex), locModulate(locTexRight, locVertex)},
        {"mod2x.sur", h + "CONFIG_FLAGS\r\n" + locPass("MUL_X2_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\r\n", 1, "OFF", "OFF"),
         0xFFFFFFFF, locModulate(locTexLeft, locVertex, 2), locModulate(locTexRight, locVertex, 2)},
        // Faded to alpha 0x80: the fade pass blends colour x (texture alpha x 0.5), and the
        // alpha test at 128 becomes 64, which the right half (0x40 x 0.5) fails.
        {"fade.sur",
         h + "CONFIG_FLAGS FADE\r\n" +
             locPass("MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\r\n", 1, "OFF", "GREATER 128") +
             locPass("MUL_CLAMP TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\r\nMUL_CLAMP TEMP0.A TEXTURE0.A CONSTANT0.A\r\n", 2,
                     "SRCALPHA INVSRCALPHA", "GREATER 128"),
         0x80FFFFFF, locModulate(locModulate(locTexLeft, locVertex), 0x808080), locBack},
        // A bump map read through the next unit, over a texture of one colour.
        {"bump.sur",
         "VERSION 1\r\nNUM_DEFAULT_TEXTURES 2\r\nBUMPMAP bump\r\nTEXTURE flat\r\nNUM_CONFIGS 1\r\nCONFIG D\r\nCONFIG_FLAGS\r\n" +
             locPass("MUL_CLAMP TEMP0.RGBA TEXTURE1.RGBA VERTEX0.RGBA\r\n", 1, "OFF", "OFF", "0\r\n1\r\n", 2),
         0xFFFFFFFF, locModulate(0xFF6080A0u, locVertex), locModulate(0xFF6080A0u, locVertex)},
        // DOT3 of saturating inputs, where the signed and plain dot products agree: white.
        {"dot3.sur",
         "VERSION 1\r\nNUM_DEFAULT_TEXTURES 1\r\nTEXTURE dot\r\nNUM_CONFIGS 1\r\nCONFIG D\r\nCONFIG_FLAGS\r\n" +
             locPass("DOT3_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\r\n", 1, "OFF", "OFF"),
         0xFFFFFFFF, 0xFFFFFF, 0xFFFFFF},
    };
    std::vector<uint32_t> locFrames[2][8];
    for (int locShaders = 0; locShaders < 2; locShaders++)
    {
        Start(locShaders == 1);
        QR_Texture* t[4] = {MemoryTexture("tex", locTexLeft, locTexRight), MemoryTexture("flat", 0xFF6080A0u, 0xFF6080A0u),
                            MemoryTexture("bump", 0xFF808080u, 0xFF808080u), MemoryTexture("dot", 0xFFFF8080u, 0xFFFF8080u)};
        for (size_t k = 0; k < locCases.size(); k++)
        {
            const Case& c = locCases[k];
            std::string locName = c.myText.empty() ? "INTERNAL_SOLID" : Template(c.myName, c.myText);
            QR_TextureNames locRecord;
            locRecord.SetNames(1);
            locRecord.myNames[0] = "tex";
            QR_SurfaceInstance* i = QR_Surface::CreateInstance(locName.c_str(), c.myText.empty() ? 1 : 0, &locRecord);
            ASSERT_NE(i, nullptr) << c.myName << " " << QR_Error::ourCode << " " << GFX_GetLastErrorDetail();
            uint32_t locVertex2 = c.myName == std::string("dot3.sur") ? 0xFFFF8080u : locVertex;
            locFrames[locShaders][k] = Draw(i, locVertex2, c.myDrawColor, locBack);
            const std::vector<uint32_t>& f = locFrames[locShaders][k];
            EXPECT_TRUE(locNear(f[16 * 32 + 4], c.myLeft, 3))
                << c.myName << " shaders " << locShaders << std::hex << " left " << f[16 * 32 + 4] << " expected " << c.myLeft;
            EXPECT_TRUE(locNear(f[16 * 32 + 28], c.myRight, 3))
                << c.myName << " shaders " << locShaders << std::hex << " right " << f[16 * 32 + 28] << " expected " << c.myRight;
            delete i;
        }
        for (QR_Texture* x : t)
            QR_Texture::Release(x);
    }
    for (size_t k = 0; k < locCases.size(); k++)
        for (int p = 0; p < 32 * 32; p += 7)
            ASSERT_TRUE(locNear(locFrames[0][k][p], locFrames[1][k][p], 3)) << locCases[k].myName << " pixel " << p;
}

} // namespace
