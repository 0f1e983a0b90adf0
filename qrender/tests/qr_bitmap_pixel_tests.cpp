// 2-D bitmaps on the OpenGL device over llvmpipe: padded and stretched images drawn whole
// and in part, the surface chosen by the image's alpha, and the force-flush square at the
// start of each frame.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "qrender/qr_bitmap.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_gl_test_util.h"
#include "qrender/tests/qr_image_writers.h"

namespace
{

const uint32_t BACKGROUND = 0x000040;
const int WIDTH = 160, HEIGHT = 96;

// A gradient that tells every texel of a 100 x 60 image apart.
uint32_t locImagePixel(uint32_t x, uint32_t y)
{
    return 0xFF000000u | (x * 2) << 16 | (y * 4) << 8 | 0x80;
}

bool locNear(uint32_t a, uint32_t b, int aTolerance)
{
    for (int s = 0; s < 24; s += 8)
        if (abs((int)((a >> s) & 0xFF) - (int)((b >> s) & 0xFF)) > aTolerance)
            return false;
    return true;
}

class BitmapPixel : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/bitmap/";
        std::filesystem::create_directories(myDir);
        std::vector<uint32_t> p;
        for (uint32_t y = 0; y < 60; y++)
            for (uint32_t x = 0; x < 100; x++)
                p.push_back(locImagePixel(x, y));
        QRT_WriteFile(myDir + "img32.tga", QRT_MakeTGA(100, 60, 32, p, true, false));
        QRT_WriteFile(myDir + "img24.tga", QRT_MakeTGA(100, 60, 24, p, false, false));
        ASSERT_TRUE(QRT_StartGL(WIDTH, HEIGHT));
    }
    void TearDown() override
    {
        QR_Render::Destroy();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
    }
    static QR_Render* R() { return QR_Render::ourInstance; }

    // One frame: cleared, then aDraw, then read back.
    std::vector<uint32_t> Frame(const std::function<void()>& aDraw)
    {
        R()->BeginFrame();
        QR_Rect locAll = {0, 0, WIDTH, HEIGHT};
        R()->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, BACKGROUND, 1.0f, 0);
        aDraw();
        R()->EndFrame();
        return QRT_GrabFrame(WIDTH, HEIGHT);
    }
    static uint32_t At(const std::vector<uint32_t>& aPixels, int x, int y) { return aPixels[y * WIDTH + x] & 0xFFFFFF; }

    std::string myDir;
};

TEST_F(BitmapPixel, PaddedImageShowsOnlyItsOwnTexels)
{
    QR_Bitmap* b = QR_Bitmap::Create((myDir + "img32").c_str(), false);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->myInstance->mySurface->myName, "internal_alpha");
    EXPECT_EQ(b->myWidth, 100);
    EXPECT_EQ(b->myHeight, 60);
    const QR_Texture* t = b->myInstance->myTextures[0].myFrames[0];
    EXPECT_EQ(t->myWidth, 128); // padded with zero, not stretched
    EXPECT_EQ(t->myHeight, 64);
    // A source size of 0 is the whole image: u runs to 100/128, v to 60/64.
    std::vector<uint32_t> f = Frame([&] { QR_Bitmap::DrawUnscaled(b, 10, 20, 0, 0, 0, 0); });
    for (auto [x, y] : {std::pair{0, 0}, {99, 0}, {0, 59}, {99, 59}, {37, 23}})
        EXPECT_EQ(At(f, 10 + x, 20 + y), locImagePixel(x, y) & 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(At(f, 110, 20), BACKGROUND);
    EXPECT_EQ(At(f, 10, 80), BACKGROUND);
    EXPECT_EQ(At(f, 9, 19), BACKGROUND);
    // A part of the image, unscaled and stretched.
    f = Frame([&]
              {
                  QR_Bitmap::DrawUnscaled(b, 0, 0, 40, 10, 8, 4);
                  QR_Bitmap::Draw(b, 100, 0, 40, 40, 50, 30, 20, 20);
              });
    EXPECT_EQ(At(f, 0, 0), locImagePixel(40, 10) & 0xFFFFFF);
    EXPECT_EQ(At(f, 7, 3), locImagePixel(47, 13) & 0xFFFFFF);
    EXPECT_EQ(At(f, 8, 0), BACKGROUND);
    EXPECT_TRUE(locNear(At(f, 100, 0), locImagePixel(50, 30), 6));
    EXPECT_TRUE(locNear(At(f, 139, 39), locImagePixel(69, 49), 6));
    EXPECT_EQ(At(f, 140, 0), BACKGROUND);
    delete b;
    EXPECT_EQ(QR_Texture::Find("img32", 0), nullptr);
}

TEST_F(BitmapPixel, SolidImageDrawsOnTheSolidSurface)
{
    QR_Bitmap* b = QR_Bitmap::Create((myDir + "img24").c_str(), false);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->myInstance->mySurface->myName, "internal_solid");
    b->myColor = 0xFF808080; // the vertex colour modulates the image
    std::vector<uint32_t> f = Frame([&] { QR_Bitmap::DrawUnscaled(b, 0, 0, 0, 0, 0, 0); });
    EXPECT_TRUE(locNear(At(f, 99, 59), 0x637640, 2)) << std::hex << At(f, 99, 59);
    EXPECT_EQ(At(f, 100, 59), BACKGROUND);
    // A bitmap over a caller's instance takes the device size and leaves the instance.
    QR_Bitmap* c = QR_Bitmap::CreateFromInstance(b->myInstance);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->myWidth, 128);
    EXPECT_EQ(c->myHeight, 64);
    delete c;
    EXPECT_NE(b->myInstance->mySurface, nullptr);
    delete b;
}

TEST_F(BitmapPixel, FilteredImageLargerThanTheDeviceStillFillsTheQuad)
{
    R()->myCaps.myMaxTextureSize = 64;
    QR_Bitmap* b = QR_Bitmap::Create((myDir + "img32").c_str(), true);
    ASSERT_NE(b, nullptr);
    const QR_Texture* t = b->myInstance->myTextures[0].myFrames[0];
    EXPECT_LE(t->myWidth, 64);
    EXPECT_EQ(b->myWidth, 100);
    // The divisor is the image's own width, so its right edge lands on the quad's (red
    // counts columns). Its 60 rows are below the device's 64 and divide by 64, as a
    // padded image would.
    std::vector<uint32_t> f = Frame([&] { QR_Bitmap::DrawUnscaled(b, 0, 0, 0, 0, 0, 0); });
    for (int x : {1, 50, 98})
        EXPECT_NEAR((int)(At(f, x, 30) >> 16), x * 2, 6) << x;
    EXPECT_EQ(At(f, 101, 30), BACKGROUND);
    delete b;
}

TEST_F(BitmapPixel, ForceFlushSquareIsDrawnAtTheTopLeftOfEachFrame)
{
    // The square goes in before anything of the frame, over the previous frame's picture:
    // 16 x 16 pixels of colour and alpha 0x10 through the fading pass of "INTERNAL_SOLID",
    // all but invisible, which is its purpose.
    R()->BeginFrame();
    QR_Rect locAll = {0, 0, WIDTH, HEIGHT};
    R()->Clear(&locAll, QR_CLEAR_TARGET, 0xFFFFFF, 1.0f, 0);
    R()->EndFrame();
    R()->BeginFrame();
    R()->EndFrame();
    std::vector<uint32_t> f(WIDTH * HEIGHT);
    ASSERT_TRUE(R()->GrabFrontBuffer(f.data()));
    for (auto [x, y] : {std::pair{0, 0}, {15, 15}, {15, 0}, {0, 15}})
    {
        EXPECT_NE(At(f, x, y), 0xFFFFFFu) << x << "," << y;
        EXPECT_TRUE(locNear(At(f, x, y), 0xFFFFFF, 4)) << std::hex << At(f, x, y);
    }
    EXPECT_EQ(At(f, 16, 0), 0xFFFFFFu);
    EXPECT_EQ(At(f, 0, 16), 0xFFFFFFu);
}

} // namespace
