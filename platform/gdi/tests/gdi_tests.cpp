// Pixel tests of the GDI layer on the off-screen picture.
#include "platform/gdi/gdi.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
class GDI_TestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "platform_gdi_tests";
        static char* ourArgv[] = {ourName, nullptr};
        static QGuiApplication* ourApp = new QGuiApplication(ourArgc, ourArgv);
        (void)ourApp;
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new GDI_TestEnvironment);

const GDI_Colour locRed = GDI_RGB(255, 0, 0);
const GDI_Colour locWhite = GDI_RGB(255, 255, 255);
const uint32_t locRedPixel = 0xFF0000;

std::unique_ptr<GDI_Picture> locPicture(int w = 64, int h = 64, GDI_Colour aClear = 0)
{
    std::unique_ptr<GDI_Picture> locResult(GDI_Picture::Create(w, h));
    EXPECT_TRUE(locResult);
    locResult->FillRect({0, 0, w, h}, aClear);
    return locResult;
}

// Pixels of a colour inside a rectangle, and their bounds.
struct Coverage
{
    int myCount = 0;
    int myOther = 0;   // pixels neither the colour nor the background
    int myMinX = 1 << 30, myMaxX = -1, myMinY = 1 << 30, myMaxY = -1;
};

Coverage locCover(const GDI_Picture& aPicture, uint32_t aPixel, uint32_t aBackground = 0)
{
    Coverage locResult;
    for (int y = 0; y < aPicture.GetHeight(); y++)
        for (int x = 0; x < aPicture.GetWidth(); x++)
        {
            const uint32_t p = aPicture.GetPixel(x, y);
            if (p == aPixel)
            {
                locResult.myCount++;
                locResult.myMinX = std::min(locResult.myMinX, x);
                locResult.myMaxX = std::max(locResult.myMaxX, x);
                locResult.myMinY = std::min(locResult.myMinY, y);
                locResult.myMaxY = std::max(locResult.myMaxY, y);
            }
            else if (p != aBackground)
                locResult.myOther++;
        }
    return locResult;
}

// A bitmap from 0xRRGGBB values, top row first, stored 32-bit with the given alpha.
std::unique_ptr<GDI_Bitmap> locBitmap(int w, int h, const std::vector<uint32_t>& aPixels, uint8_t anAlpha = 255)
{
    std::vector<uint8_t> locRows((size_t)w * h * 4);
    for (size_t i = 0; i < aPixels.size(); i++)
    {
        locRows[i * 4] = aPixels[i] & 0xFF;
        locRows[i * 4 + 1] = (aPixels[i] >> 8) & 0xFF;
        locRows[i * 4 + 2] = (aPixels[i] >> 16) & 0xFF;
        locRows[i * 4 + 3] = anAlpha;
    }
    return std::unique_ptr<GDI_Bitmap>(GDI_Bitmap::CreateFromRows(w, h, 32, false, locRows.data(), w * 4));
}
} // namespace

TEST(GDI_Picture, WorkAreaIsTheScreensAvailableRightAndBottomEdges)
{
    int w = 0, h = 0;
    ASSERT_TRUE(GDI_GetWorkArea(&w, &h));
    const QRect locArea = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(w, locArea.right() + 1);
    EXPECT_EQ(h, locArea.bottom() + 1);
    EXPECT_GT(w, 0);
}

TEST(GDI_Picture, FillGrowAndPresentHandTheClientPartOver)
{
    auto p = locPicture(16, 8, GDI_RGB(1, 2, 3));
    EXPECT_EQ(p->GetPixel(15, 7), 0x010203u);
    EXPECT_EQ(p->GetPixel(16, 0), 0u);   // outside
    ASSERT_TRUE(p->Grow(32, 4));
    EXPECT_EQ(p->GetWidth(), 32);
    EXPECT_EQ(p->GetHeight(), 8);        // never shrinks
    EXPECT_EQ(p->GetPixel(15, 7), 0x010203u);
    EXPECT_FALSE(GDI_Picture::Create(0, 5));

    struct Seen
    {
        int w = 0, h = 0, calls = 0;
        uint32_t first = 0;
    } locSeen;
    p->SetPresentCallback(
        [](void* aUser, const uint32_t* aPixels, int w, int h, int aStride) {
            Seen* s = (Seen*)aUser;
            s->w = w, s->h = h, s->calls++;
            s->first = aPixels[0];
            EXPECT_GE(aStride, w * 4);
        },
        &locSeen);
    ASSERT_TRUE(p->Present(10, 100));
    EXPECT_EQ(locSeen.calls, 1);
    EXPECT_EQ(locSeen.w, 10);
    EXPECT_EQ(locSeen.h, 8);   // cut to the picture
    EXPECT_EQ(locSeen.first, 0xFF010203u);
}

TEST(GDI_Picture, LinesOfOneAndThreePixels)
{
    auto p = locPicture();
    p->Line(10, 20, 40, 20, locRed, 1);
    Coverage c = locCover(*p, locRedPixel);
    EXPECT_EQ(c.myMinY, 20);
    EXPECT_EQ(c.myMaxY, 20);
    EXPECT_EQ(c.myMinX, 10);
    EXPECT_GE(c.myMaxX, 39);
    EXPECT_EQ(c.myOther, 0);   // no antialiasing

    p = locPicture();
    p->Line(30, 5, 30, 50, locRed, 3);
    c = locCover(*p, locRedPixel);
    EXPECT_EQ(c.myMaxX - c.myMinX + 1, 3);
    EXPECT_EQ(c.myMinX, 29);
    EXPECT_EQ(p->GetPixel(30, 30), locRedPixel);
    EXPECT_EQ(c.myOther, 0);

    p = locPicture();
    p->Line(0, 0, 20, 20, locRed, 1);
    EXPECT_EQ(p->GetPixel(10, 10), locRedPixel);
    EXPECT_EQ(p->GetPixel(10, 11), 0u);
}

TEST(GDI_Picture, ThinLevelAndUprightLinesSetTheSamePixelsAsQPainter)
{
    const int locLines[][4] = {{10, 20, 40, 20}, {40, 21, 10, 21}, {30, 5, 30, 50}, {31, 50, 31, 5},
                               {-5, 3, 80, 3},   {7, -9, 7, 90},   {70, 10, 90, 10}, {12, 12, 12, 12}};
    for (const auto& l : locLines)
    {
        auto p = locPicture();
        ASSERT_TRUE(p->Line(l[0], l[1], l[2], l[3], locRed, 1));
        QImage locReference(64, 64, QImage::Format_ARGB32);
        locReference.fill(0xFF000000u);
        QPainter locPainter(&locReference);
        locPainter.setRenderHint(QPainter::Antialiasing, false);
        QPen locPen(QColor(255, 0, 0), 1);
        locPen.setCapStyle(Qt::SquareCap);
        locPainter.setPen(locPen);
        locPainter.drawLine(l[0], l[1], l[2], l[3]);
        locPainter.end();
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++)
                ASSERT_EQ(p->GetPixel(x, y), locReference.pixel(x, y) & 0xFFFFFF)
                    << "line " << l[0] << "," << l[1] << " - " << l[2] << "," << l[3] << " at " << x << "," << y;
    }
}

TEST(GDI_Picture, BezierAndCircleAtKnownPixels)
{
    auto p = locPicture();
    // A symmetric arch: at t = 0.5 it is at (32, 0.25 * 10 + 0.75 * 50) = (32, 47.5 -> 47/48).
    const int locPoints[8] = {2, 10, 22, 60, 42, 60, 62, 10};
    ASSERT_TRUE(p->Bezier(locPoints, locRed, 1));
    EXPECT_TRUE(p->GetPixel(32, 47) == locRedPixel || p->GetPixel(32, 48) == locRedPixel);
    EXPECT_EQ(p->GetPixel(2, 10), locRedPixel);
    EXPECT_EQ(p->GetPixel(32, 20), 0u);   // the curve, not its control polygon
    Coverage c = locCover(*p, locRedPixel);
    EXPECT_EQ(c.myOther, 0);

    p = locPicture();
    ASSERT_TRUE(p->Circle(32, 32, 10, locRed, 1));
    EXPECT_EQ(p->GetPixel(42, 32), locRedPixel);
    EXPECT_EQ(p->GetPixel(22, 32), locRedPixel);
    EXPECT_EQ(p->GetPixel(32, 22), locRedPixel);
    EXPECT_EQ(p->GetPixel(32, 32), 0u);   // unfilled
    c = locCover(*p, locRedPixel);
    EXPECT_EQ(c.myMinX, 22);
    EXPECT_EQ(c.myMaxX, 42);

    p = locPicture();
    ASSERT_TRUE(p->Circle(32, 32, 10, locRed, 3));
    c = locCover(*p, locRedPixel);
    EXPECT_GE(c.myMaxX - c.myMinX, 21);
    EXPECT_EQ(p->GetPixel(32, 32), 0u);
}

TEST(GDI_Font, CellHeightRuleDefaultsAndSubstitutes)
{
    for (const char* locFace : {"verdana", "arial", "ms sans serif", "no such face"})
    {
        std::unique_ptr<GDI_Font> f(GDI_Font::Create(locFace, 20, 0));
        ASSERT_TRUE(f) << locFace;
        EXPECT_LE(f->GetHeight(), 20) << locFace;
        EXPECT_GE(f->GetHeight(), 18) << locFace;
        int w = 0, h = 0;
        ASSERT_TRUE(f->GetTextExtent("Hello", &w, &h));
        EXPECT_GT(w, 10);
        EXPECT_EQ(h, f->GetHeight());
    }
    std::unique_ptr<GDI_Font> locSmall(GDI_Font::Create("verdana", 12, 0));
    std::unique_ptr<GDI_Font> locBig(GDI_Font::Create("verdana", 32, 0));
    std::unique_ptr<GDI_Font> locDefault(GDI_Font::Create("verdana", 0, 0));
    int w12, w32, h;
    locSmall->GetTextExtent("Wide text", &w12, &h);
    locBig->GetTextExtent("Wide text", &w32, &h);
    EXPECT_GT(w32, w12 * 2);
    EXPECT_GT(locDefault->GetHeight(), 10);
    int locEmpty = -1;
    locSmall->GetTextExtent("", &locEmpty, &h);
    EXPECT_EQ(locEmpty, 0);
}

TEST(GDI_Text, TextOutInItsColourLeavesTheBackground)
{
    const GDI_Colour locBack = GDI_RGB(0, 0, 128);
    auto p = locPicture(128, 64, locBack);
    std::unique_ptr<GDI_Font> f(GDI_Font::Create("verdana", 20, 0));
    ASSERT_TRUE(p->TextOut(f.get(), 10, 10, "Hello", locWhite));
    Coverage c = locCover(*p, 0xFFFFFF, 0x000080);
    EXPECT_GT(c.myCount, 20);
    EXPECT_EQ(c.myOther, 0);   // every pixel either the text colour or the background
    EXPECT_GE(c.myMinY, 10);
    EXPECT_LT(c.myMaxY, 10 + f->GetHeight());
    EXPECT_GE(c.myMinX, 10);
    int w, h;
    f->GetTextExtent("Hello", &w, &h);
    EXPECT_LE(c.myMaxX, 10 + w);
}

TEST(GDI_Text, EscapementTurnsCounterClockwise)
{
    auto p = locPicture(64, 128);
    std::unique_ptr<GDI_Font> f(GDI_Font::Create("verdana", 16, 900));
    EXPECT_EQ(f->GetEscapement(), 900);
    ASSERT_TRUE(p->TextOut(f.get(), 10, 110, "Upward", locWhite));
    Coverage c = locCover(*p, 0xFFFFFF);
    // Read bottom to top: the text runs up from (10, 110), its cell to the right.
    EXPECT_GT(c.myMaxY - c.myMinY, 30);
    EXPECT_LE(c.myMaxY, 110);
    EXPECT_LT(c.myMaxX - c.myMinX, 20);
}

TEST(GDI_Text, DrawTextAlignsInItsRectangleAndClips)
{
    std::unique_ptr<GDI_Font> f(GDI_Font::Create("arial", 14, 0));
    int w, h;
    f->GetTextExtent("abc", &w, &h);
    const GDI_Rect locRect = {20, 10, 120, 30};
    int locMin[3], locMax[3];
    for (int a = 0; a < 3; a++)
    {
        auto p = locPicture(160, 40);
        ASSERT_TRUE(p->DrawText(f.get(), "abc", locRect, (GDI_Align)a, locWhite));
        Coverage c = locCover(*p, 0xFFFFFF);
        ASSERT_GT(c.myCount, 0);
        locMin[a] = c.myMinX, locMax[a] = c.myMaxX;
        EXPECT_GE(c.myMinY, 10);
    }
    EXPECT_LE(locMin[0], 22);
    EXPECT_GE(locMax[2], 115);
    EXPECT_LE(locMax[2], 119);
    EXPECT_NEAR((locMin[1] + locMax[1]) / 2.0, 70, 3);

    auto p = locPicture(160, 40);
    p->DrawText(f.get(), "a long text cut by the rectangle", {20, 10, 40, 30}, GDI_ALIGN_LEFT, locWhite);
    Coverage c = locCover(*p, 0xFFFFFF);
    EXPECT_LE(c.myMaxX, 39);
}

TEST(GDI_Blit, BitBltCopiesColourIgnoringAlpha)
{
    auto p = locPicture(16, 16, GDI_RGB(9, 9, 9));
    auto b = locBitmap(2, 2, {0x112233, 0x445566, 0x778899, 0xAABBCC}, 0);
    ASSERT_TRUE(b);
    ASSERT_TRUE(p->BitBlt(4, 5, 2, 2, b.get(), 0, 0));
    EXPECT_EQ(p->GetPixel(4, 5), 0x112233u);
    EXPECT_EQ(p->GetPixel(5, 6), 0xAABBCCu);
    EXPECT_EQ(p->GetPixel(6, 6), 0x090909u);
    ASSERT_TRUE(p->BitBlt(0, 0, 1, 1, b.get(), 1, 1));   // a source offset
    EXPECT_EQ(p->GetPixel(0, 0), 0xAABBCCu);
    ASSERT_TRUE(p->BitBlt(15, 15, 2, 2, b.get(), 0, 0));   // cut at the picture's edge
    EXPECT_EQ(p->GetPixel(15, 15), 0x112233u);
    EXPECT_FALSE(p->BitBlt(0, 0, 0, 2, b.get(), 0, 0));
    EXPECT_FALSE(p->BitBlt(0, 0, 2, 2, nullptr, 0, 0));

    // Bottom-up 24-bit rows, padded.
    const uint8_t locRows[] = {1, 2, 3, 0, 4, 5, 6, 0};
    std::unique_ptr<GDI_Bitmap> b24(GDI_Bitmap::CreateFromRows(1, 2, 24, true, locRows, 4));
    ASSERT_TRUE(b24);
    EXPECT_EQ(b24->GetPixel(0, 0), 0x060504u);
    EXPECT_EQ(b24->GetPixel(0, 1), 0x030201u);
    EXPECT_FALSE(GDI_Bitmap::CreateFromRows(2, 1, 24, false, locRows, 4));   // stride too short
    EXPECT_FALSE(GDI_Bitmap::CreateFromRows(1, 1, 16, false, locRows, 4));
}

TEST(GDI_Blit, StretchRepeatsPixelsAndTransparentLeavesTheKey)
{
    auto b = locBitmap(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    auto p = locPicture(8, 8);
    ASSERT_TRUE(p->StretchBlt(0, 0, 4, 4, b.get(), 0, 0, 2, 2));
    const uint32_t locWant[4][4] = {{0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00},
                                    {0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00},
                                    {0x0000FF, 0x0000FF, 0xFFFFFF, 0xFFFFFF},
                                    {0x0000FF, 0x0000FF, 0xFFFFFF, 0xFFFFFF}};
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(p->GetPixel(x, y), locWant[y][x]) << x << "," << y;

    p = locPicture(8, 8, GDI_RGB(7, 7, 7));
    ASSERT_TRUE(p->TransparentBlt(1, 1, 2, 2, b.get(), 0, 0, 2, 2, GDI_RGB(0, 255, 0)));
    EXPECT_EQ(p->GetPixel(1, 1), 0xFF0000u);
    EXPECT_EQ(p->GetPixel(2, 1), 0x070707u);   // the key colour is not drawn
    EXPECT_EQ(p->GetPixel(2, 2), 0xFFFFFFu);
    ASSERT_TRUE(p->TransparentBlt(4, 4, 1, 1, b.get(), 1, 1, 1, 1, GDI_RGB(0, 255, 0)));
    EXPECT_EQ(p->GetPixel(4, 4), 0xFFFFFFu);
}
