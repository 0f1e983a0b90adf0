// Bitmap fonts made by tools/qfontstrip from DejaVu Sans: the strip's rules (one empty
// column between glyphs, no gap inside one, each character named once), the glyphs the
// loader cuts from it, and text drawn on the OpenGL device over llvmpipe lying where
// GetTextWidth says.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "qrender/qr_font.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_gl_test_util.h"

#ifdef Q_FONTSTRIP_TOOL

namespace
{

const int WIDTH = 400, HEIGHT = 120;


struct Strip
{
    int myWidth = 0, myHeight = 0;
    std::vector<uint8_t> myAlpha; // top row first
    std::string myLine;
};

// Runs the tool and reads back its two files (32-bit TGA, top row first as it writes them).
bool MakeStrip(const std::string& aBase, int aPixels, Strip* aStrip)
{
    const std::string locCommand =
        "'" + std::string(Q_FONTSTRIP_TOOL) + "' 'DejaVu Sans' " + std::to_string(aPixels) + " '" + aBase + "'";
    if (system(locCommand.c_str()) != 0)
        return false;
    std::ifstream t(aBase + ".tga", std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(t)), std::istreambuf_iterator<char>());
    if (d.size() < 18 || d[2] != 2 || d[16] != 32)
        return false;
    aStrip->myWidth = d[12] | d[13] << 8;
    aStrip->myHeight = d[14] | d[15] << 8;
    if (d.size() != 18 + (size_t)aStrip->myWidth * aStrip->myHeight * 4 || !(d[17] & 0x20))
        return false;
    for (size_t i = 18 + 3; i < d.size(); i += 4)
        aStrip->myAlpha.push_back(d[i]);
    std::ifstream l(aBase + ".txt", std::ios::binary);
    std::getline(l, aStrip->myLine);
    return true;
}

class FontStrip : public testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::string(Q_TEST_TMP_DIR) + "/fontstrip/";
        std::filesystem::create_directories(myDir);
        ASSERT_TRUE(QRT_StartGL(WIDTH, HEIGHT));
    }
    void TearDown() override
    {
        EXPECT_EQ(QR_Font::ourFirst, nullptr);
        QR_Render::Destroy();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
    }
    static QR_Render* R() { return QR_Render::ourInstance; }

    // One frame cleared to black with aDraw, read back as lit (non-black) pixels.
    std::vector<uint8_t> Lit(const std::function<void()>& aDraw)
    {
        R()->BeginFrame();
        QR_Rect locAll = {0, 0, WIDTH, HEIGHT};
        R()->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, 0, 1.0f, 0);
        aDraw();
        R()->EndFrame();
        std::vector<uint32_t> p = QRT_GrabFrame(WIDTH, HEIGHT);
        std::vector<uint8_t> l(p.size());
        for (size_t i = 0; i < p.size(); i++)
            l[i] = (p[i] & 0xFFFFFF) != 0;
        return l;
    }
    // The columns holding a lit pixel: first and last, -1 when none.
    static std::pair<int, int> Columns(const std::vector<uint8_t>& aLit)
    {
        int a = -1, b = -1;
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++)
                if (aLit[y * WIDTH + x])
                {
                    if (a < 0)
                        a = x;
                    b = x;
                    break;
                }
        return {a, b};
    }

    std::string myDir;
};

// Lines drawn together blend as drawn one after the other: the same pixels where they cross.
TEST_F(FontStrip, LinesDrawnTogetherAreThoseDrawnInTurn)
{
    Strip s;
    const std::string locBase = myDir + "dejavu16";
    ASSERT_TRUE(MakeStrip(locBase, 16, &s));
    QR_Font* f = QR_Font::Acquire((locBase + ".tga").c_str(), (locBase + ".txt").c_str());
    ASSERT_NE(f, nullptr);
    const QR_FontText locLines[] = {
        {10, 10, 0xFFFFFF00u, "Folder one"}, {14, 14, 0xFFFFFF00u, "crossing it"},
        {20, 12, 0x80FFFFFFu, "half white"}, {30, 60, 0xFF0000FFu, "blue, W%rld"},
    };
    auto locFrame = [&](const std::function<void()>& aDraw)
    {
        R()->BeginFrame();
        QR_Rect locAll = {0, 0, WIDTH, HEIGHT};
        R()->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER, 0x203040, 1.0f, 0);
        aDraw();
        R()->EndFrame();
        return QRT_GrabFrame(WIDTH, HEIGHT);
    };
    const std::vector<uint32_t> locInTurn = locFrame(
        [&]
        {
            for (const QR_FontText& t : locLines)
            {
                f->myColor = t.myColor;
                QR_Font::DrawTextUnscaled(f, t.myX, t.myY, t.myText);
            }
        });
    const std::vector<uint32_t> locTogether = locFrame([&] { QR_Font::DrawTexts(f, locLines, 4); });
    EXPECT_TRUE(locInTurn == locTogether);
    size_t locLit = 0;
    for (uint32_t p : locTogether)
        locLit += (p & 0xFFFFFF) != 0x203040;
    EXPECT_GT(locLit, 200u);
    QR_Font::Release(f);
}

} // namespace

TEST_F(FontStrip, StripFollowsTheRulesAndLoadsGlyphForGlyph)
{
    for (int locPixels : {13, 31})
    {
        SCOPED_TRACE(locPixels);
        Strip s;
        const std::string locBase = myDir + "dejavu" + std::to_string(locPixels);
        ASSERT_TRUE(MakeStrip(locBase, locPixels, &s));
        // The line: each character once, no "//", neither end below 33; space and the
        // characters with gaps ('"', '%') are named.
        ASSERT_FALSE(s.myLine.empty());
        EXPECT_EQ(std::set<char>(s.myLine.begin(), s.myLine.end()).size(), s.myLine.size());
        EXPECT_EQ(s.myLine.find("//"), std::string::npos);
        EXPECT_GE((unsigned char)s.myLine.front(), 33);
        EXPECT_GE((unsigned char)s.myLine.back(), 33);
        for (char c : {' ', '"', '%', 'W', '.'})
            EXPECT_NE(s.myLine.find(c), std::string::npos) << c;
        // Runs of columns with some alpha, separated by exactly one empty column.
        std::vector<std::pair<int, int>> locRuns;
        int locEmptyRun = 0;
        for (int x = 0; x < s.myWidth; x++)
        {
            bool locAny = false;
            for (int y = 0; y < s.myHeight && !locAny; y++)
                locAny = s.myAlpha[(size_t)y * s.myWidth + x] > 0;
            if (!locAny)
            {
                locEmptyRun++;
                EXPECT_LE(locEmptyRun, 1) << "column " << x;
                continue;
            }
            if (locEmptyRun || locRuns.empty())
                locRuns.push_back({x, x + 1});
            else
                locRuns.back().second = x + 1;
            locEmptyRun = 0;
        }
        ASSERT_EQ(locRuns.size(), s.myLine.size());

        // The loader cuts the same glyphs, each as wide as its run.
        QR_Font* f = QR_Font::Acquire((locBase + ".tga").c_str(), (locBase + ".txt").c_str());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->myHeight, s.myHeight);
        for (size_t i = 0; i < s.myLine.size(); i++)
            EXPECT_EQ(f->myGlyphs[(unsigned char)s.myLine[i]].myWidth, locRuns[i].second - locRuns[i].first)
                << s.myLine[i];
        EXPECT_EQ(f->myGlyphs['\t'].myWidth, -1);
        EXPECT_EQ(f->myGlyphs[200].myWidth, -1);
        // Widths add up glyph by glyph; a character without a glyph takes no room.
        int locSum = 0;
        for (char c : std::string("Hello, World \"%\""))
            locSum += f->myGlyphs[(unsigned char)c].myWidth + f->mySpacing;
        EXPECT_EQ(QR_Font::GetTextWidth(f, "Hello, World \"%\""), locSum);
        EXPECT_EQ(QR_Font::GetTextWidth(f, "Hello\xC8"), QR_Font::GetTextWidth(f, "Hello"));
        QR_Font::Release(f);
    }
}

TEST_F(FontStrip, DrawnTextLiesWhereGetTextWidthSays)
{
    Strip s;
    const std::string locBase = myDir + "dejavu20";
    ASSERT_TRUE(MakeStrip(locBase, 20, &s));
    QR_Font* f = QR_Font::Acquire((locBase + ".tga").c_str(), (locBase + ".txt").c_str());
    ASSERT_NE(f, nullptr);
    f->myColor = 0xFFFFFFFF;
    const char* locText = "Hello, W%rld";
    const int w = QR_Font::GetTextWidth(f, locText);
    ASSERT_GT(w, 60);

    // The text's lit columns stay within [x, x + width) and reach its last glyph.
    std::vector<uint8_t> a = Lit([&] { QR_Font::DrawTextUnscaled(f, 30, 40, locText); });
    auto [x0, x1] = Columns(a);
    ASSERT_GE(x0, 30);
    EXPECT_LT(x0, 30 + f->myGlyphs['H'].myWidth);
    EXPECT_LT(x1, 30 + w);
    EXPECT_GE(x1, 30 + w - f->myGlyphs['d'].myWidth - f->mySpacing - 1);
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
        {
            if (a[y * WIDTH + x])
            {
                ASSERT_TRUE(y >= 40 && y < 40 + f->myHeight) << x << "," << y;
            }
        }

    // Drawn in two parts, the second at the first part's width, the pixels are the same.
    std::vector<uint8_t> b = Lit(
        [&]
        {
            QR_Font::DrawTextUnscaled(f, 30, 40, "Hello, ");
            QR_Font::DrawTextUnscaled(f, 30 + QR_Font::GetTextWidth(f, "Hello, "), 40, "W%rld");
        });
    EXPECT_EQ(a, b);

    // At scale 2 the line is twice as long and twice as high.
    std::vector<uint8_t> c = Lit([&] { QR_Font::DrawText(f, 10, 10, 2.0f, 2.0f, "W%rld"); });
    auto [c0, c1] = Columns(c);
    const int w2 = QR_Font::GetTextWidth(f, "W%rld");
    EXPECT_GE(c0, 10);
    EXPECT_LT(c1, 10 + 2 * w2);
    EXPECT_GE(c1, 10 + 2 * (w2 - f->myGlyphs['d'].myWidth - f->mySpacing) - 1);

    // Clipped at a glyph's middle: nothing right of the edge, the left part as drawn whole.
    const int locEdge = 30 + QR_Font::GetTextWidth(f, "Hel") + f->myGlyphs['l'].myWidth / 2;
    QR_Rect locClip = {0, 0, locEdge, HEIGHT};
    std::vector<uint8_t> d = Lit([&] { QR_Font::DrawTextClippedUnscaled(f, 30, 40, &locClip, locText); });
    EXPECT_LT(Columns(d).second, locEdge);
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < locEdge - 1; x++)
            ASSERT_EQ(a[y * WIDTH + x], d[y * WIDTH + x]) << x << "," << y;
    QR_Font::Release(f);
}

#endif
