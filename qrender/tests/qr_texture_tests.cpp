// Textures over the recording device: the TGA reader on files of ImageMagick, of our
// screenshot writer and damaged ones; names, sharing, sizing and mip-maps; device textures
// of every kind; DDS files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/gfx/gfx_testsupport.h"
#include "qrender/qr_error.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_render_test_util.h"

namespace
{

const std::string locData = std::string(Q_TEST_SOURCE_DIR) + "/tests/data/";

class TextureTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        myDir = std::string(Q_TEST_TMP_DIR) + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : myDir)
            c = (char)tolower((unsigned char)c); // texture names are lower case
        std::filesystem::remove_all(myDir);
        std::filesystem::create_directories(myDir);
        myDir += "/";
    }
    void TearDown() override
    {
        RecordingRender::TearDown();
        EXPECT_EQ(QR_Texture::ourFirst, nullptr); // every test releases what it acquired
        QR_Texture::DestroyAll();
    }
    std::string Write(const std::string& aName, const std::vector<uint8_t>& aBytes)
    {
        EXPECT_TRUE(QRT_WriteFile(myDir + aName, aBytes));
        return myDir + aName;
    }
    // The 0xAARRGGBB words of one level of a texture's device texture (24 or 32 bits).
    static std::vector<uint32_t> Level(QR_Texture* aTexture, uint32_t aLevel)
    {
        bool locThreeFlag = aTexture->myFormatKind == 0 && QR_RenderD3D::ourTextureFormat24 == GFX_FORMAT_R8G8B8;
        std::vector<uint32_t> locOut;
        GFX_Texture* locTexture = aTexture->myDeviceData->myTexture;
        GFX_LockedRect r;
        if (!QR_RenderD3D::ourDevice->LockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, aLevel, GFX_LOCK_READONLY, &r))
            return locOut;
        uint32_t w = (uint32_t)aTexture->myWidth >> aLevel, h = (uint32_t)aTexture->myHeight >> aLevel;
        for (uint32_t y = 0; y < (h ? h : 1); y++)
            for (uint32_t x = 0; x < (w ? w : 1); x++)
            {
                const uint8_t* p = (const uint8_t*)r.myBits + y * r.myPitch + x * (locThreeFlag ? 3 : 4);
                locOut.push_back(locThreeFlag ? (0xFF000000u | p[2] << 16 | p[1] << 8 | p[0])
                                              : (uint32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24));
            }
        QR_RenderD3D::ourDevice->UnlockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, aLevel);
        return locOut;
    }
    static std::vector<uint8_t> RawLevel(QR_Texture* aTexture, uint32_t aLevel, uint32_t aBytes)
    {
        GFX_Texture* locTexture = aTexture->myDeviceData->myTexture;
        GFX_LockedRect r;
        EXPECT_TRUE(
            QR_RenderD3D::ourDevice->LockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, aLevel, GFX_LOCK_READONLY, &r));
        std::vector<uint8_t> locOut((uint8_t*)r.myBits, (uint8_t*)r.myBits + aBytes);
        QR_RenderD3D::ourDevice->UnlockTexture(locTexture, GFX_CUBEFACE_POSITIVE_X, aLevel);
        return locOut;
    }
    bool Start()
    {
        bool locOk = RecordingRender::Start();
        myStartMemory = QR_Render::ourStats.myTextureMemory; // the renderer's own textures
        return locOk;
    }
    std::string myDir;
    uint32_t myStartMemory = 0;
};

// The ImageMagick picture of tests/data/make_data.sh, as the reader must give it.
uint32_t locExpected(uint32_t x, uint32_t y, bool anAlphaFlag)
{
    uint32_t p = y < 4 ? 0xFFFF0000u : 0x800000FFu;
    if (x == 3 && y == 1)
        p = 0xFF00FF00u;
    if (x == 10 && y == 6)
        p = 0x40FFFFFFu;
    return anAlphaFlag ? p : (p | 0xFF000000u);
}

TEST(TGAReader, ImageMagickFilesOfEveryFormAndOrigin)
{
    struct Case
    {
        const char* myFile;
        uint32_t myBits;
    } locCases[] = {{"tga32_raw_bl", 32}, {"tga32_raw_tl", 32}, {"tga32_rle_bl", 32},
                    {"tga32_rle_tl", 32}, {"tga24_raw_bl", 24}, {"tga24_rle_tl", 24}};
    for (const Case& c : locCases)
    {
        std::vector<uint8_t> locFile = QRT_ReadFile(locData + c.myFile + ".tga");
        ASSERT_FALSE(locFile.empty()) << c.myFile;
        uint32_t w, h, locBits;
        uint32_t* locPixels;
        ASSERT_EQ(QR_DecodeTGA(locFile.data(), (uint32_t)locFile.size(), &w, &h, &locBits, &locPixels), 0) << c.myFile;
        EXPECT_EQ(w, 16u);
        EXPECT_EQ(h, 8u);
        EXPECT_EQ(locBits, c.myBits);
        for (uint32_t y = 0; y < 8; y++)
            for (uint32_t x = 0; x < 16; x++)
                ASSERT_EQ(locPixels[y * 16 + x], locExpected(x, y, c.myBits == 32)) << c.myFile << " " << x << "," << y;
        QR_Texture::FreePixels(locPixels);
    }
}

TEST(TGAReader, SidesUseBothBytes)
{
    std::vector<uint32_t> p(1 * 300, 0xFF000000u);
    p[299] = 0xFF0000FFu;
    std::vector<uint8_t> f = QRT_MakeTGA(1, 300, 24, p, false, false);
    uint32_t w, h, b;
    uint32_t* locPixels;
    ASSERT_EQ(QR_DecodeTGA(f.data(), (uint32_t)f.size(), &w, &h, &b, &locPixels), 0);
    EXPECT_EQ(h, 300u);
    EXPECT_EQ(locPixels[299], 0xFF0000FFu);
    QR_Texture::FreePixels(locPixels);
}

TEST(TGAReader, RunLengthPacketsCrossRowsAndStopAtTheLastPixel)
{
    std::vector<uint32_t> p = {1, 1, 1, 2, 2, 2, 3, 4, 5}; // 3 x 3, runs that cross rows
    for (uint32_t& v : p)
        v |= 0xFF000000u;
    std::vector<uint8_t> f = QRT_MakeTGA(3, 3, 24, p, true, true);
    uint32_t w, h, b;
    uint32_t* locPixels;
    ASSERT_EQ(QR_DecodeTGA(f.data(), (uint32_t)f.size(), &w, &h, &b, &locPixels), 0);
    EXPECT_EQ(std::vector<uint32_t>(locPixels, locPixels + 9), p);
    QR_Texture::FreePixels(locPixels);

    // A run of 128 over a 2 x 2 image fills it and stops.
    std::vector<uint8_t> g = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x20, 0xFF, 1, 2, 3};
    ASSERT_EQ(QR_DecodeTGA(g.data(), (uint32_t)g.size(), &w, &h, &b, &locPixels), 0);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(locPixels[i], 0xFF030201u);
    QR_Texture::FreePixels(locPixels);
}

TEST(TGAReader, RefusesDamagedAndUnsupportedFiles)
{
    std::vector<uint32_t> locPixels(4 * 4, 0xFF112233u);
    const std::vector<uint8_t> locGood = QRT_MakeTGA(4, 4, 32, locPixels, false, false);
    const std::vector<uint8_t> locGoodRLE = QRT_MakeTGA(4, 4, 24, {0xFF000001u, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, false, true);
    struct Case
    {
        const char* myWhat;
        std::vector<uint8_t> myFile;
    };
    std::vector<Case> locCases;
    auto locWith = [](std::vector<uint8_t> f, size_t i, uint8_t v)
    {
        f[i] = v;
        return f;
    };
    locCases.push_back({"short header", std::vector<uint8_t>(locGood.begin(), locGood.begin() + 17)});
    locCases.push_back({"colour-mapped type 1", locWith(locGood, 2, 1)});
    locCases.push_back({"grey type 3", locWith(locGood, 2, 3)});
    locCases.push_back({"colour map present", locWith(locGood, 1, 1)});
    for (size_t b = 3; b <= 7; b++)
        locCases.push_back({"colour-map bytes", locWith(locGood, b, 7)});
    locCases.push_back({"16 bits", locWith(locGood, 16, 16)});
    locCases.push_back({"zero width", locWith(locWith(locGood, 12, 0), 13, 0)});
    locCases.push_back({"zero height", locWith(locWith(locGood, 14, 0), 15, 0)});
    locCases.push_back({"truncated pixels", std::vector<uint8_t>(locGood.begin(), locGood.end() - 1)});
    locCases.push_back({"identifier past the end", locWith(locGood, 0, 255)});
    locCases.push_back({"run-length stream ends early", std::vector<uint8_t>(locGoodRLE.begin(), locGoodRLE.end() - 2)});
    std::vector<uint8_t> locRunCut = QRT_MakeTGA(2, 2, 24, std::vector<uint32_t>(4, 0xFF010203u), true, true);
    locRunCut.pop_back(); // the run packet's pixel is one byte short
    locCases.push_back({"run packet cut", locRunCut});
    std::vector<uint8_t> locStops = QRT_MakeTGA(2, 1, 24, std::vector<uint32_t>(2, 0xFF010203u), true, true);
    locStops[14] = 2; // two rows claimed, one row of packets given
    locCases.push_back({"packets end between packets", locStops});
    locCases.push_back({"raw packet cut", std::vector<uint8_t>(locGoodRLE.begin(), locGoodRLE.begin() + 18 + 1 + 5)});
    // 40 bytes claiming 65535 x 65535: refused before 17 GB are asked for.
    std::vector<uint8_t> locHuge = locWith(locWith(locWith(locWith(locGood, 12, 0xFF), 13, 0xFF), 14, 0xFF), 15, 0xFF);
    locHuge.resize(40);
    locCases.push_back({"huge raw", locHuge});
    locCases.push_back({"huge run-length", locWith(locHuge, 2, 10)});
    for (const Case& c : locCases)
    {
        uint32_t w, h, b;
        uint32_t* p = (uint32_t*)1;
        EXPECT_EQ(QR_DecodeTGA(c.myFile.data(), (uint32_t)c.myFile.size(), &w, &h, &b, &p), 1) << c.myWhat;
        EXPECT_EQ(p, nullptr) << c.myWhat;
    }
}

TEST_F(TextureTest, ScreenshotReadsBackAsTheFrame)
{
    ASSERT_TRUE(Start());
    QR_Rect r = {0, 0, 64, 48};
    R()->BeginFrame();
    R()->Clear(&r, QR_CLEAR_TARGET, 0x123456, 1.0f, 0);
    R()->EndFrame();
    ASSERT_TRUE(QR_Render::SaveScreenshot((myDir + "shot.tga").c_str()));
    QR_TexturePixels locPixels = {};
    QR_Texture* t = QR_Texture::Acquire((myDir + "shot").c_str(),
                                        QR_TEXTUREFLAG_PIXELSONLY | QR_TEXTUREFLAG_NODDS, 0, &locPixels);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->mySourceWidth, 64);
    EXPECT_EQ(t->mySourceHeight, 48);
    ASSERT_NE(locPixels.myPixels, nullptr);
    EXPECT_EQ(((uint32_t*)locPixels.myPixels)[47 * 64 + 63] & 0xFFFFFF, 0x123456u);
    QR_Texture::FreePixels(locPixels.myPixels);
    EXPECT_EQ(t->myDeviceData, nullptr);
    QR_Texture::Release(t);
}

TEST_F(TextureTest, NamesAreNormalisedAndSharedByKind)
{
    ASSERT_TRUE(Start());
    std::vector<uint32_t> p(4, 0x80FF0000u);
    Write("stone.tga", QRT_MakeTGA(2, 2, 32, p, true, false));
    mkdir((myDir + "sub").c_str(), 0700);
    Write("sub/stone.tga", QRT_MakeTGA(2, 2, 24, p, true, false));

    QR_Texture* a = QR_Texture::Acquire((myDir + "Stone.TGA").c_str(), 0, 0, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::string(a->myName), myDir + "stone");
    EXPECT_EQ(a->myFormatKind, 1u); // a 32-bit image
    QR_Texture* b = QR_Texture::Acquire((myDir + "stone").c_str(), 0, 0, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->myRefCount, 2);
    QR_Texture* c = QR_Texture::Acquire((myDir + "sub\\stone.tga").c_str(), 0, 0, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::string(c->myName), myDir + "sub/stone");
    EXPECT_EQ(c->myFormatKind, 0u);
    QR_Texture::Release(b);
    QR_Texture::Release(a);
    EXPECT_EQ(QR_Texture::Find((myDir + "stone").c_str(), 0), nullptr);
    EXPECT_EQ(QR_Texture::Find((myDir + "sub/stone").c_str(), 0), c);
    QR_Texture::Release(c);
    EXPECT_EQ(QR_Texture::Find((myDir + "sub/stone").c_str(), 0), nullptr);
    EXPECT_EQ(QR_Render::ourStats.myTextureMemory, myStartMemory);
}

TEST_F(TextureTest, DataFileNamesWithDriveLettersAndBackslashes)
{
    ASSERT_TRUE(Start());
    mkdir((myDir + "maps").c_str(), 0700);
    Write("maps/rock.tga", QRT_MakeTGA(2, 2, 24, std::vector<uint32_t>(4, 0xFF010203u), true, false));
    // A Windows path: a drive letter, backslashes, another case than on the disk.
    std::string locName = "T:" + myDir + "Maps\\Rock.TGA";
    for (char& c : locName)
        c = c == '/' ? '\\' : c;
    QR_Texture* t = QR_Texture::Acquire(locName.c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr) << QR_Error::ourText;
    EXPECT_EQ(std::string(t->myName), "t:" + myDir + "maps/rock");
    QR_Texture::Release(t);
}

// Rebuilds its texture with the elapsed time in the red channel.
class TimeUpdater : public QR_TextureUpdater
{
public:
    bool Update(QR_Texture* aTexture, QR_TexturePixels* aPixels, float anElapsedSeconds) override
    {
        for (uint32_t& p : myPixels)
            p = 0xFF000000u | (uint32_t)(anElapsedSeconds * 10.0f) << 16;
        aPixels->myBitsPerPixel = 32;
        aPixels->myPixels = myPixels;
        return true;
    }
    uint32_t myPixels[4];
};

TEST_F(TextureTest, ProceduralTexturesAreRebuiltByTheirUpdater)
{
    ASSERT_TRUE(Start());
    uint32_t locStart[4] = {};
    QR_TexturePixels locRecord = {2, 2, 32, locStart};
    QR_Texture* t = QR_Texture::Acquire("generated_clock", QR_TEXTUREFLAG_FROMMEMORY, 1, &locRecord);
    ASSERT_NE(t, nullptr);
    TimeUpdater locUpdater;
    t->myUpdater = &locUpdater;
    QR_Texture::UpdateProcedural(1.2f);
    EXPECT_EQ(Level(t, 0)[3], 0xFF0C0000u);
    t->myUpdater = nullptr;
    QR_Texture::Release(t);
}

TEST_F(TextureTest, FailuresLeaveTheirCodeAndText)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(QR_Texture::Acquire((myDir + "missing").c_str(), 0, 0, nullptr), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_TEXTURE_FILE);
    EXPECT_EQ(std::string(QR_Error::ourText), "File: '" + myDir + "missing'");
    std::vector<uint8_t> f = QRT_MakeTGA(2, 2, 24, std::vector<uint32_t>(4), true, false);
    f[2] = 1;
    Write("mapped.tga", f);
    EXPECT_EQ(QR_Texture::Acquire((myDir + "mapped").c_str(), 0, 0, nullptr), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_IMAGE_FORMAT);
    EXPECT_EQ(QR_Texture::Find((myDir + "mapped").c_str(), 0), nullptr);
    // A depth buffer without a render target: refused before anything is made.
    EXPECT_EQ(QR_Texture::Acquire("x", QR_TEXTUREFLAG_RENDERTARGET_DEPTH, 0, nullptr), nullptr);
}

TEST_F(TextureTest, SizingPadsOrStretchesAndBuildsTheMipChain)
{
    mySettings.myTextureFilter = 5;
    ASSERT_TRUE(Start());
    std::vector<uint32_t> p(100 * 60, 0xFF00FF00u);
    p[0] = 0xFF0000FFu;
    Write("pad.tga", QRT_MakeTGA(100, 60, 24, p, true, true));
    QR_Texture* t = QR_Texture::Acquire((myDir + "pad").c_str(), QR_TEXTUREFLAG_NOMIPMAPS, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myWidth, 128);
    EXPECT_EQ(t->myHeight, 64);
    std::vector<uint32_t> l = Level(t, 0);
    ASSERT_EQ(l.size(), 128u * 64u);
    EXPECT_EQ(l[0], 0xFF0000FFu);
    EXPECT_EQ(l[59 * 128 + 99], 0xFF00FF00u);
    EXPECT_EQ(l[59 * 128 + 100] & 0xFFFFFF, 0u); // right of the image (the opaque format has no alpha)
    EXPECT_EQ(l[60 * 128 + 0] & 0xFFFFFF, 0u);   // below it
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetTextureLevelCount(t->myDeviceData->myTexture), 1u);

    QR_Texture* s = QR_Texture::Acquire((myDir + "pad").c_str(), QR_TEXTUREFLAG_STRETCH, 1, nullptr);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s, t); // another kind
    l = Level(s, 0);
    EXPECT_EQ(l[63 * 128 + 127], 0xFF00FF00u); // scaled over the whole texture
    EXPECT_EQ(l[0], 0xFF0000FFu);
    // 128 x 64 with a smallest side of 1: 8 levels, each the box average of the one above.
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetTextureLevelCount(s->myDeviceData->myTexture), 8u);
    std::vector<uint32_t> l1 = Level(s, 1);
    uint32_t locAverage = 0;
    for (int c = 0; c < 32; c += 8)
        locAverage |= ((((l[0] >> c) & 0xFF) + ((l[1] >> c) & 0xFF) + ((l[128] >> c) & 0xFF) +
                        ((l[129] >> c) & 0xFF)) >> 2) << c;
    EXPECT_EQ(l1[0], locAverage);
    QR_Texture::Release(s);
    QR_Texture::Release(t);
}

TEST_F(TextureTest, ReductionLimitsAndExactSize)
{
    mySettings.myTextureReduction = 1;
    ASSERT_TRUE(Start());
    std::vector<uint32_t> p(256 * 256, 0xFF804020u);
    Write("big.tga", QRT_MakeTGA(256, 256, 24, p, true, true));
    QR_Texture* t = QR_Texture::Acquire((myDir + "big").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myWidth, 128);
    EXPECT_EQ(t->mySourceWidth, 256);
    QR_Texture* f = QR_Texture::Acquire((myDir + "big").c_str(), QR_TEXTUREFLAG_FULLDETAIL, 1, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->myWidth, 256);
    QR_Texture::Release(t);
    QR_Texture::Release(f);

    // An exact-size texture whose image is not already of its device size.
    std::vector<uint32_t> q(5 * 4, 0xFF000000u);
    QR_TexturePixels locRecord = {5, 4, 32, q.data()};
    R()->myCaps.myMaxTextureAspectRatio = 1;
    EXPECT_EQ(QR_Texture::Acquire("exact", QR_TEXTUREFLAG_EXACTSIZE | QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord),
              nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_TEXTURE_FILE);

    // A 5000-wide image is cut to 4096, then limited by the device's largest side.
    R()->myCaps.myMaxTextureAspectRatio = 2048;
    R()->myCaps.myMaxTextureSize = 2048;
    std::vector<uint32_t> w(5000, 0xFF000000u);
    QR_TexturePixels locWide = {5000, 1, 32, w.data()};
    QR_Texture* x = QR_Texture::Acquire("wide", QR_TEXTUREFLAG_FROMMEMORY | QR_TEXTUREFLAG_FULLDETAIL, 0, &locWide);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->myWidth, 2048);
    EXPECT_EQ(x->myHeight, 1);
    QR_Texture::Release(x);
}

TEST_F(TextureTest, MemoryTexturesConvertAndSurviveAReload)
{
    ASSERT_TRUE(Start());
    uint8_t locRGB[12] = {10, 20, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    QR_TexturePixels locRecord = {2, 2, 24, locRGB};
    QR_Texture* t = QR_Texture::Acquire("generated_one", QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myMemoryTextureBuffer[0], 0xFF0A141Eu);
    EXPECT_EQ(Level(t, 0)[0], 0xFF0A141Eu);
    EXPECT_TRUE(QR_Texture::RestoreAll());
    ASSERT_NE(t->myDeviceData, nullptr);
    EXPECT_EQ(Level(t, 0)[3], 0xFF070809u);
    uint32_t locNew[4] = {0xFF000001u, 2, 3, 4};
    QR_TexturePixels locUpdate = {2, 2, 32, locNew};
    ASSERT_TRUE(QR_Texture::ReloadFromMemory(t, &locUpdate));
    EXPECT_EQ(Level(t, 0)[0], 0xFF000001u);
    // The same pixels again keep the device texture; one changed pixel reaches it.
    QR_D3DTexture* locDevice = t->myDeviceData;
    ASSERT_TRUE(QR_Texture::ReloadFromMemory(t, &locUpdate));
    EXPECT_EQ(t->myDeviceData, locDevice);
    locNew[3] = 0xFF000005u;
    ASSERT_TRUE(QR_Texture::ReloadFromMemory(t, &locUpdate));
    EXPECT_EQ(Level(t, 0)[3], 0xFF000005u);
    EXPECT_EQ(t->myMemoryTextureBuffer[3], 0xFF000005u);
    // A 24-bit record of other pixels is converted again.
    QR_TexturePixels locBack = {2, 2, 24, locRGB};
    ASSERT_TRUE(QR_Texture::ReloadFromMemory(t, &locBack));
    EXPECT_EQ(Level(t, 0)[0], 0xFF0A141Eu);
    QR_Texture::Release(t);
}

TEST_F(TextureTest, CubeFacesRenderTargetsAndLocks)
{
    ASSERT_TRUE(Start());
    std::vector<uint32_t> p(8 * 8, 0xFF336699u);
    // A later face without the first one before it is refused.
    QR_TexturePixels locRecord = {8, 8, 32, p.data()};
    Calls().clear();
    EXPECT_EQ(QR_Texture::Acquire("face3", QR_TEXTUREFLAG_FROMMEMORY, 3, &locRecord), nullptr);
    QR_Texture* locFaces[6];
    for (uint32_t k = 2; k <= 7; k++)
    {
        char locName[16];
        snprintf(locName, sizeof(locName), "face%u", k);
        locFaces[k - 2] = QR_Texture::Acquire(locName, QR_TEXTUREFLAG_FROMMEMORY | QR_TEXTUREFLAG_NOMIPMAPS, k,
                                              &locRecord);
        ASSERT_NE(locFaces[k - 2], nullptr) << k;
    }
    ASSERT_NE(locFaces[0]->myDeviceData, nullptr);
    EXPECT_NE(locFaces[0]->myDeviceData->myCubeTexture, nullptr);
    EXPECT_EQ(locFaces[5]->myDeviceData, nullptr);
    EXPECT_EQ(Count("CreateTexture"), 1);
    // A face of another size.
    std::vector<uint32_t> q(4 * 4, 0xFF000000u);
    QR_TexturePixels locSmall = {4, 4, 32, q.data()};
    EXPECT_EQ(QR_Texture::Acquire("face4b", QR_TEXTUREFLAG_FROMMEMORY, 4, &locSmall), nullptr);
    for (QR_Texture* t : locFaces)
        QR_Texture::Release(t);

    QR_TexturePixels locTarget = {32, 16, 32, nullptr};
    EXPECT_EQ(QR_Texture::Acquire("rt", QR_TEXTUREFLAG_RENDERTARGET, 0, &locTarget), nullptr);
    QR_Texture* rt = QR_Texture::Acquire("rt", QR_TEXTUREFLAG_RENDERTARGET | QR_TEXTUREFLAG_RENDERTARGET_DEPTH, 0,
                                         &locTarget);
    ASSERT_NE(rt, nullptr);
    EXPECT_EQ(rt->myDeviceData->myMemory, 32u * 16u * 8u);
    EXPECT_NE(rt->myDeviceData->myDepthSurface, nullptr);
    EXPECT_TRUE(R()->SetRenderTarget(rt, true));
    EXPECT_EQ(R()->myRenderTarget, rt);
    EXPECT_TRUE(R()->SetRenderTarget(nullptr, true));

    QR_TexturePixels locProc = {4, 4, 32, q.data()};
    QR_Texture* pr = QR_Texture::Acquire("proc", QR_TEXTUREFLAG_FROMMEMORY | QR_TEXTUREFLAG_PROCEDURAL, 0, &locProc);
    ASSERT_NE(pr, nullptr);
    void* locBits;
    int32_t locPitch;
    ASSERT_TRUE(R()->LockTexture(pr, &locBits, &locPitch, 0));
    EXPECT_EQ(locPitch, 16);
    R()->UnlockTexture(pr, 0);
    EXPECT_FALSE(R()->SetRenderTarget(pr, true)); // not a render target
    QR_Texture::Release(pr);
    QR_Texture::Release(rt);
    EXPECT_EQ(QR_Render::ourStats.myTextureMemory, myStartMemory);
}

// [DDS] ---------------------------------------------------------------------------------------

TEST_F(TextureTest, DDSFromImageMagickLoadsTheLevelsAsStored)
{
    ASSERT_TRUE(Start());
    struct Case
    {
        const char* myFile;
        GFX_Format myFormat;
        uint32_t myLevels;
        uint32_t myKind;
    } locCases[] = {{"dds_dxt1", GFX_FORMAT_DXT1, 1, 0},
                    {"dds_dxt5", GFX_FORMAT_DXT5, 1, 1},
                    {"dds_dxt5_mips", GFX_FORMAT_DXT5, 5, 1}};
    for (const Case& c : locCases)
    {
        QR_Texture* t = QR_Texture::Acquire((locData + c.myFile).c_str(), 0, 0, nullptr);
        ASSERT_NE(t, nullptr) << c.myFile;
        EXPECT_EQ(t->myWidth, 16);
        EXPECT_EQ(t->myHeight, 8);
        EXPECT_EQ(t->myFormatKind, c.myKind);
        GFX_Texture* g = t->myDeviceData->myTexture;
        EXPECT_EQ(QR_RenderD3D::ourDevice->GetTextureLevelCount(g), c.myLevels);
        std::vector<uint8_t> locFile = QRT_ReadFile(locData + c.myFile + ".dds");
        uint32_t locBytes = GFX_FormatLevelSize(c.myFormat, 16, 8);
        EXPECT_EQ(RawLevel(t, 0, locBytes), std::vector<uint8_t>(locFile.begin() + 128, locFile.begin() + 128 + locBytes));
        // The decoded picture is the one ImageMagick was given, in the blocks of one colour
        // (its compressor drops a lone pixel of another colour).
        std::vector<uint32_t> locPixels(16 * 8);
        GFX_DecompressDXT(c.myFormat, 16, 8, locFile.data() + 128, locPixels.data());
        for (uint32_t y = 0; y < 8; y++)
            for (uint32_t x = 4; x < 8; x++)
                EXPECT_EQ(locPixels[y * 16 + x], locExpected(x, y, c.myFormat != GFX_FORMAT_DXT1)) << c.myFile;
        QR_Texture::Release(t);
    }
}

TEST_F(TextureTest, DDSLevelsSkipsAndRefusals)
{
    mySettings.myTextureReduction = 1;
    ASSERT_TRUE(Start());
    // 256 x 128 DXT1, 9 levels, skip 1: 128 x 64 with 8 levels of true sizes.
    std::vector<uint8_t> f = QRT_MakeDDS("DXT1", 256, 128, 9);
    Write("a.dds", f);
    QR_Texture* t = QR_Texture::Acquire((myDir + "a").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myWidth, 128);
    EXPECT_EQ(t->myHeight, 64);
    EXPECT_EQ(t->mySourceWidth, 256);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetTextureLevelCount(t->myDeviceData->myTexture), 8u);
    // The last level (1 x 1, one block) holds the file's last 8 bytes.
    EXPECT_EQ(RawLevel(t, 7, 8), std::vector<uint8_t>(f.end() - 8, f.end()));
    QR_Texture::Release(t);

    // More levels to skip than there are: the last level is still read.
    Write("b.dds", QRT_MakeDDS("DXT5", 8, 8, 0));
    R()->myRenderSettings.myTextureReduction = 3;
    t = QR_Texture::Acquire((myDir + "b").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myWidth, 8);
    QR_Texture::Release(t);
    Write("c.dds", QRT_MakeDDS("DXT5", 16, 8, 2));
    t = QR_Texture::Acquire((myDir + "c").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myWidth, 8); // the last of two levels
    QR_Texture::Release(t);
    R()->myRenderSettings.myTextureReduction = 0;

    // V8U8 with and without mip-maps.
    Write("v.dds", QRT_MakeDDS(nullptr, 16, 8, 5));
    t = QR_Texture::Acquire((myDir + "v").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myFormatKind, 0u);
    EXPECT_EQ(QR_RenderD3D::ourDevice->GetTextureLevelCount(t->myDeviceData->myTexture), 5u);
    QR_Texture::Release(t);
    // Narrower than tall: the width stops halving at 1 while the height goes on.
    Write("vt.dds", QRT_MakeDDS(nullptr, 8, 16, 5));
    t = QR_Texture::Acquire((myDir + "vt").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    QR_Texture::Release(t);
    // A side equal to the device's largest is taken.
    Write("edge.dds", QRT_MakeDDS("DXT1", 4096, 4, 0));
    t = QR_Texture::Acquire((myDir + "edge").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    QR_Texture::Release(t);
    Write("v1.dds", QRT_MakeDDS(nullptr, 4, 4, 0));
    t = QR_Texture::Acquire((myDir + "v1").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    QR_Texture::Release(t);

    // Refused DDS files fall back to the TGA file; with none there, the load fails.
    std::vector<uint8_t> locExtra = QRT_MakeDDS("DXT3", 64, 64, 0);
    locExtra.push_back(0), locExtra.push_back(0);
    std::vector<uint8_t> locBeyondChain = QRT_MakeDDS("DXT1", 8, 8, 5);
    std::vector<uint8_t> locCut = QRT_MakeDDS("DXT5", 16, 16, 3);
    locCut.resize(locCut.size() - 1);
    std::vector<uint8_t> locHugeCount = QRT_MakeDDSHeader("DXT1", 4, 4, 0xFFFFFFFFu);
    std::vector<uint8_t> locWrongMagic = QRT_MakeDDS("DXT1", 4, 4, 0);
    locWrongMagic[3] = 'X';
    std::vector<uint8_t> locNoFourCCFlag = QRT_MakeDDS(nullptr, 4, 4, 0); // V8U8 by its flag
    memcpy(&locNoFourCCFlag[84], "DXT5", 4);                           // not a DXT5 file
    locNoFourCCFlag.resize(128 + 16);                                    // V8U8's 32 bytes cut to DXT5's 16
    std::vector<uint8_t> locNoCaps = QRT_MakeDDS("DXT1", 4, 4, 0);
    memset(&locNoCaps[108], 0, 4);
    struct Case
    {
        const char* myName;
        std::vector<uint8_t> myFile;
    } locCases[] = {{"twelve", QRT_MakeDDS("DXT5", 12, 12, 0)},
                    {"extra", locExtra},
                    {"chain", locBeyondChain},
                    {"cut", locCut},
                    {"count", locHugeCount},
                    {"nocaps", locNoCaps},
                    {"wide", QRT_MakeDDSHeader("DXT1", 8192, 4, 0)},
                    {"magic", std::vector<uint8_t>(128, 'D')},
                    {"magic DDSX", locWrongMagic},
                    {"four-character code without its flag", locNoFourCCFlag},
                    {"wider than the device", QRT_MakeDDS("DXT1", 8192, 4, 0)},
                    {"taller than the device", QRT_MakeDDS("DXT1", 4, 8192, 0)},
                    {"short", std::vector<uint8_t>(20, 0)}};
    for (const Case& c : locCases)
    {
        Write(std::string(c.myName) + ".dds", c.myFile);
        EXPECT_EQ(QR_Texture::Acquire((myDir + c.myName).c_str(), 0, 0, nullptr), nullptr) << c.myName;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_TEXTURE_FILE) << c.myName;
    }
    // A refused DDS file beside a TGA file: the TGA file is used.
    Write("twelve.tga", QRT_MakeTGA(2, 2, 24, std::vector<uint32_t>(4, 0xFF000000u), true, false));
    t = QR_Texture::Acquire((myDir + "twelve").c_str(), 0, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myWidth, 2);
    QR_Texture::Release(t);
    // NODDS never looks at the DDS file.
    Write("only.dds", QRT_MakeDDS("DXT1", 4, 4, 0));
    EXPECT_EQ(QR_Texture::Acquire((myDir + "only").c_str(), QR_TEXTUREFLAG_NODDS, 0, nullptr), nullptr);
}

TEST_F(TextureTest, DeviceLossRestoresFileAndMemoryTextures)
{
    ASSERT_TRUE(Start());
    Write("file.tga", QRT_MakeTGA(4, 4, 32, std::vector<uint32_t>(16, 0x11223344u), true, false));
    QR_Texture* f = QR_Texture::Acquire((myDir + "file").c_str(), 0, 0, nullptr);
    uint32_t locMem[4] = {0xFF010203u, 0xFF010203u, 0xFF010203u, 0xFF010203u};
    QR_TexturePixels locRecord = {2, 2, 32, locMem};
    QR_Texture* m = QR_Texture::Acquire("generated_mem", QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord);
    ASSERT_TRUE(f && m);
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    R()->BeginFrame();
    R()->EndFrame();
    R()->BeginFrame();
    R()->EndFrame();
    ASSERT_NE(f->myDeviceData, nullptr);
    ASSERT_NE(m->myDeviceData, nullptr);
    EXPECT_EQ(Level(f, 0)[5], 0x11223344u);
    EXPECT_EQ(Level(m, 0)[3], 0xFF010203u);
    QR_Texture::Release(f);
    QR_Texture::Release(m);
}

TEST(PixelConverter, WritesEachDeviceFormat)
{
    const uint32_t p = 0x80FF8040u;
    uint8_t d[4] = {};
    EXPECT_EQ(QR_ConvertPixels(GFX_FORMAT_R8G8B8, &p, 1, 1, d, 4), 3u);
    EXPECT_EQ(d[0] | d[1] << 8 | d[2] << 16, 0xFF8040);
    EXPECT_EQ(QR_ConvertPixels(GFX_FORMAT_R5G6B5, &p, 1, 1, d, 4), 2u);
    EXPECT_EQ(d[0] | d[1] << 8, (31 << 11) | (32 << 5) | 8);
    EXPECT_EQ(QR_ConvertPixels(GFX_FORMAT_A1R5G5B5, &p, 1, 1, d, 4), 2u);
    EXPECT_EQ(d[0] | d[1] << 8, (1 << 15) | (31 << 10) | (16 << 5) | 8);
    EXPECT_EQ(QR_ConvertPixels(GFX_FORMAT_A4R4G4B4, &p, 1, 1, d, 4), 2u);
    EXPECT_EQ(d[0] | d[1] << 8, 0x8F84);
    EXPECT_EQ(QR_ConvertPixels(GFX_FORMAT_DXT1, &p, 1, 1, d, 4), 0u);
}

} // namespace
