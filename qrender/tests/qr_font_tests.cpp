// Bitmap fonts over the recording device: glyphs cut from the strip, pages and their names,
// the drawn quads (tabs, missing characters, scales, clipping), widths and image copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "qrender/qr_error.h"
#include "qrender/qr_font.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_data_root.h"
#include "qrender/tests/qr_render_test_util.h"

namespace
{

struct TextVertex
{
    float x, y, z, rhw;
    uint32_t myColor;
    float u, v;
};

class FontTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_TRUE(myRoot.Enter("font_"));
    }
    void TearDown() override
    {
        EXPECT_EQ(QR_Font::ourFirst, nullptr);
        RecordingRender::TearDown();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        myRoot.Leave();
    }
    // A strip of aHeight rows whose opaque runs are the given [first, end) columns, each
    // pixel's red the column number; and its description line.
    static void Strip(const char* aName, int aWidth, int aHeight, const std::vector<std::pair<int, int>>& aRuns,
                      const std::string& aLine)
    {
        std::vector<uint32_t> p((size_t)aWidth * aHeight, 0);
        for (auto [a, b] : aRuns)
            for (int y = 0; y < aHeight; y++)
                for (int x = a; x < b; x++)
                    p[(size_t)y * aWidth + x] = 0xFF000000u | (uint32_t)x << 16 | (uint32_t)y << 8;
        QRT_WriteFile(std::string(aName) + ".tga", QRT_MakeTGA(aWidth, aHeight, 32, p, true, false));
        std::string t = "// comment line\r\n" + aLine + "\r\nignored\r\n";
        QRT_WriteFile(std::string(aName) + ".txt", std::vector<uint8_t>(t.begin(), t.end()));
    }
    static std::vector<TextVertex> LastVertices() { return LastDrawnVertices<TextVertex>(); }

    QRT_DataRoot myRoot;
};

TEST_F(FontTest, GlyphsAreCutAtEmptyColumns)
{
    Strip("ab", 12, 20, {{0, 5}, {7, 10}}, "AB");
    QR_Font* f = QR_Font::Acquire("AB.tga", "ab");
    ASSERT_NE(f, nullptr) << QR_Error::ourCode;
    EXPECT_EQ(QR_Font::Acquire("ab", "AB.TXT"), f); // shared by the pair of names
    EXPECT_EQ(f->myRefCount, 2);
    QR_Font::Release(f);
    EXPECT_EQ(f->myHeight, 20);
    EXPECT_EQ(f->myGlyphs['A'].myWidth, 5);
    EXPECT_EQ(f->myGlyphs['B'].myWidth, 3);
    EXPECT_EQ(f->myGlyphs['C'].myWidth, -1);
    ASSERT_EQ(f->myNumPages, 1);
    const QR_Texture* t = f->myPages[0]->myTextures[0].myFrames[0];
    EXPECT_EQ(t->myHeight, 32); // 20 rows rounded up
    EXPECT_FLOAT_EQ(f->myGlyphs['B'].myBottomV, 20.0f / 32.0f);
    EXPECT_FLOAT_EQ(f->myGlyphs['B'].myLeftU, 5.0f / (float)t->myWidth);
    EXPECT_EQ(QR_Font::GetTextWidth(f, "ABA?"), 13);
    // The glyphs copied into an image, unblended.
    std::vector<uint32_t> locImage(20 * 20, 0);
    QR_Font::RenderToImage32("BA", f, 1, 0, locImage.data(), 20);
    EXPECT_EQ(locImage[0], 0u);
    EXPECT_EQ(locImage[1], 0xFF070000u); // B's first column
    EXPECT_EQ(locImage[3], 0xFF090000u);
    EXPECT_EQ(locImage[4], 0xFF000000u); // then A's
    EXPECT_EQ(locImage[4 + 19 * 20], 0xFF001300u);
    EXPECT_EQ(locImage[9], 0u);
    std::vector<uint8_t> locBytes(20 * 20 * 3, 0);
    QR_Font::RenderToImage24("A", f, 0, 0, locBytes.data(), 20);
    EXPECT_EQ(locBytes[3 * (20 * 3 + 4) + 1], 3); // green: the row
    EXPECT_EQ(locBytes[3 * (20 * 3 + 4) + 2], 4); // red: the column
    QR_Font::Release(f);
}

TEST_F(FontTest, FullRowsAndPagesAreNamedInTurn)
{
    R()->myCaps.myMaxTextureSize = 16;
    // Ten glyphs 6 wide and 4 high: two to a row of 16, four rows to a page.
    std::vector<std::pair<int, int>> locRuns;
    for (int i = 0; i < 10; i++)
        locRuns.push_back({7 * i, 7 * i + 6});
    Strip("many", 70, 4, locRuns, "0123456789");
    QR_Font* f = QR_Font::Acquire("many", "many");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->myNumPages, 2);
    EXPECT_NE(QR_Texture::Find("many__0", 0), nullptr);
    EXPECT_NE(QR_Texture::Find("generated_font_many_1", 0), nullptr);
    EXPECT_EQ(f->myGlyphs['7'].myPage, 0);
    EXPECT_EQ(f->myGlyphs['8'].myPage, 1);
    EXPECT_FLOAT_EQ(f->myGlyphs['3'].myLeftU, 6.0f / 16.0f);
    EXPECT_FLOAT_EQ(f->myGlyphs['3'].myTopV, 4.0f / 16.0f);
    // The last page holds one row: 4 rows high, rounded by the loader.
    EXPECT_FLOAT_EQ(f->myGlyphs['9'].myBottomV, 1.0f);
    QR_Font::Release(f);
}

TEST_F(FontTest, FontsThatCannotBeLoaded)
{
    Strip("ab", 12, 20, {{0, 5}, {7, 10}}, "ABC"); // three names, two glyphs
    EXPECT_EQ(QR_Font::Acquire("ab", "ab"), nullptr);
    QRT_WriteFile("one.tga", QRT_MakeTGA(2, 2, 32, std::vector<uint32_t>(4, 0xFFFFFFFF), true, false));
    EXPECT_EQ(QR_Font::Acquire("one", "none"), nullptr); // no description
    EXPECT_EQ(QR_Font::Acquire("none", "ab"), nullptr);  // no image
    R()->myCaps.myMaxTextureSize = 8;
    Strip("wide", 12, 4, {{0, 10}}, "W"); // wider than a page
    EXPECT_EQ(QR_Font::Acquire("wide", "wide"), nullptr);
}

TEST_F(FontTest, TextIsDrawnAsQuadsWithTabsScalesAndClipping)
{
    // 'A' 65 wide, 'B' 3 wide, 10 high; no space glyph.
    Strip("t", 80, 10, {{0, 65}, {70, 73}}, "AB");
    QR_Font* f = QR_Font::Acquire("t", "t");
    ASSERT_NE(f, nullptr);
    f->myColor = 0x80FF0000;
    R()->BeginFrame();
    Calls().clear();
    QR_Font::DrawTextUnscaled(f, 0, 0, "AA\tBZB");
    ASSERT_EQ(Count("DrawIndexedPrimitive"), 1);
    std::vector<TextVertex> v = LastVertices();
    ASSERT_EQ(v.size(), 16u); // Z has no glyph and takes no room
    EXPECT_FLOAT_EQ(v[4].x, 64.5f);
    EXPECT_FLOAT_EQ(v[8].x, 199.5f); // the tab at 130 moves to 200
    EXPECT_FLOAT_EQ(v[12].x, 202.5f);
    EXPECT_FLOAT_EQ(v[2].y, 9.5f);
    EXPECT_EQ(v[0].myColor, 0x80FF0000u);
    EXPECT_FLOAT_EQ(v[8].v, f->myGlyphs['B'].myTopV);
    EXPECT_FLOAT_EQ(v[9].u, f->myGlyphs['B'].myRightU);
    // Twice as wide and high.
    QR_Font::DrawText(f, 10, 20, 2.0f, 2.0f, "BB");
    v = LastVertices();
    ASSERT_EQ(v.size(), 8u);
    EXPECT_FLOAT_EQ(v[1].x - v[0].x, 6.0f);
    EXPECT_FLOAT_EQ(v[4].x, 15.5f);
    EXPECT_FLOAT_EQ(v[2].y, 39.5f);
    // A rectangle through the middle of 'B' at scale 2 keeps its left half.
    QR_Rect locClip = {0, 0, 13, 100};
    QR_Font::DrawTextClipped(f, 10, 20, 2.0f, 2.0f, &locClip, "BB");
    v = LastVertices();
    ASSERT_EQ(v.size(), 4u); // the second B starts beyond the edge
    const QR_Glyph& g = f->myGlyphs['B'];
    EXPECT_FLOAT_EQ(v[1].x, 12.5f);
    EXPECT_NEAR(v[1].u, (g.myLeftU + g.myRightU) * 0.5f, 1e-6f);
    // Rectangles that are empty or miss the line draw nothing.
    Calls().clear();
    QR_Rect locEmpty = {5, 5, 5, 50}, locAbove = {0, 0, 100, 20};
    QR_Font::DrawTextClipped(f, 10, 20, 1.0f, 1.0f, &locEmpty, "B");
    QR_Font::DrawTextClipped(f, 10, 20, 1.0f, 1.0f, &locAbove, "B");
    QR_Font::DrawText(f, 0, 0, 1.0f, 1.0f, "");
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 0);
    R()->EndFrame();
    QR_Font::Release(f);
}

TEST_F(FontTest, LinesOfOneColourGoToTheDeviceInOneDraw)
{
    Strip("t", 80, 10, {{0, 65}, {70, 73}}, "AB");
    QR_Font* f = QR_Font::Acquire("t", "t");
    ASSERT_NE(f, nullptr);
    R()->BeginFrame();
    Calls().clear();
    const QR_FontText locLines[] = {
        {0, 0, 0xFFFFFF00u, "AB"}, {100, 30, 0xFFFFFF00u, ""}, {5, 20, 0xFFFFFF00u, "B"},
        {7, 40, 0xFFFFFFFFu, nullptr}, {7, 40, 0xFFFFFFFFu, "BA"},
    };
    QR_Font::DrawTexts(f, locLines, 5);
    // Yellow then white: two draws, the yellow lines' quads in order in the first.
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 2);
    EXPECT_EQ(f->myColor, 0xFFFFFFFFu);
    std::vector<TextVertex> v = LastVertices();
    ASSERT_EQ(v.size(), 8u);
    EXPECT_FLOAT_EQ(v[0].x, 6.5f);
    EXPECT_FLOAT_EQ(v[0].y, 39.5f);
    EXPECT_FLOAT_EQ(v[4].x, 9.5f + (float)f->mySpacing);
    EXPECT_EQ(v[7].myColor, 0xFFFFFFFFu);
    Calls().clear();
    QR_Font::DrawTexts(f, locLines, 3);
    ASSERT_EQ(Count("DrawIndexedPrimitive"), 1);
    v = LastVertices();
    ASSERT_EQ(v.size(), 12u);
    EXPECT_FLOAT_EQ(v[4].x, 64.5f + (float)f->mySpacing);
    EXPECT_FLOAT_EQ(v[8].x, 4.5f);
    EXPECT_FLOAT_EQ(v[8].y, 19.5f);
    EXPECT_EQ(v[11].myColor, 0xFFFFFF00u);
    EXPECT_FLOAT_EQ(v[9].u, f->myGlyphs['B'].myRightU);

    // A line with a clip rectangle is cut as DrawTextClipped cuts it, in the same draw as
    // the lines without one; a rectangle that misses the line leaves it out.
    QR_Rect locClip = {0, 0, 30, 100}, locAbove = {0, 0, 100, 20};
    QR_Font::DrawTextClipped(f, 0, 0, 1.0f, 1.0f, &locClip, "AB");
    const std::vector<TextVertex> locAlone = LastVertices();
    ASSERT_EQ(locAlone.size(), 4u); // A cut through, B beyond the edge
    EXPECT_FLOAT_EQ(locAlone[1].x, 29.5f);
    const QR_FontText locClipped[] = {
        {0, 0, 0xFFFFFFFFu, "AB", &locClip}, {5, 20, 0xFFFFFFFFu, "B", &locAbove}, {5, 20, 0xFFFFFFFFu, "B"}};
    Calls().clear();
    QR_Font::DrawTexts(f, locClipped, 3);
    ASSERT_EQ(Count("DrawIndexedPrimitive"), 1);
    v = LastVertices();
    ASSERT_EQ(v.size(), 8u);
    for (size_t i = 0; i < 4; i++)
    {
        EXPECT_FLOAT_EQ(v[i].x, locAlone[i].x) << i;
        EXPECT_FLOAT_EQ(v[i].u, locAlone[i].u) << i;
    }
    EXPECT_FLOAT_EQ(v[4].x, 4.5f);
    R()->EndFrame();
    QR_Font::Release(f);
}

// A rectangle inside a glyph cuts it on all four sides, in the current view's place, the
// texture rectangle in proportion.
TEST_F(FontTest, AClipRectangleCutsAGlyphOnEverySideWhereTheViewIs)
{
    Strip("t", 80, 10, {{0, 65}, {70, 73}}, "AB");
    QR_Font* f = QR_Font::Acquire("t", "t");
    ASSERT_NE(f, nullptr);
    QR_View locView;
    locView.myCamera.SetViewport(100, 50, 200, 100);
    locView.MakeCurrent();
    R()->BeginFrame();
    Calls().clear();
    const QR_Rect locClip = {10, 2, 30, 7}, locMiddle = {1, 20, 2, 30};
    const QR_FontText locLines[] = {{0, 0, 0xFFFFFFFFu, "A", &locClip}, {0, 20, 0xFFFFFFFFu, "B", &locMiddle}};
    QR_Font::DrawTexts(f, locLines, 2);
    const std::vector<TextVertex> v = LastVertices();
    ASSERT_EQ(v.size(), 8u);
    // B, 3 wide, keeps its middle column.
    const QR_Glyph& b = f->myGlyphs['B'];
    EXPECT_FLOAT_EQ(v[4].x, 100.5f);
    EXPECT_FLOAT_EQ(v[6].x, 101.5f);
    EXPECT_NEAR(v[4].u, b.myLeftU + (b.myRightU - b.myLeftU) / 3.0f, 1e-6f);
    EXPECT_NEAR(v[6].u, b.myRightU - (b.myRightU - b.myLeftU) / 3.0f, 1e-6f);
    const QR_Glyph& g = f->myGlyphs['A'];
    EXPECT_FLOAT_EQ(v[0].x, 109.5f);
    EXPECT_FLOAT_EQ(v[0].y, 51.5f);
    EXPECT_FLOAT_EQ(v[2].x, 129.5f);
    EXPECT_FLOAT_EQ(v[2].y, 56.5f);
    EXPECT_NEAR(v[0].u, g.myLeftU + 10.0f / 65.0f * (g.myRightU - g.myLeftU), 1e-6f);
    EXPECT_NEAR(v[2].u, g.myLeftU + 30.0f / 65.0f * (g.myRightU - g.myLeftU), 1e-6f);
    EXPECT_NEAR(v[0].v, g.myTopV + 0.2f * (g.myBottomV - g.myTopV), 1e-6f);
    EXPECT_NEAR(v[2].v, g.myTopV + 0.7f * (g.myBottomV - g.myTopV), 1e-6f);
    R()->EndFrame();
    QR_Font::Release(f);
}

} // namespace
