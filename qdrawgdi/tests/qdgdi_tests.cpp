// The drawing interface over the GDI layer: factory, bitmaps from files, fonts and lines,
// read back from the presented picture.
#include "qdrawgdi/qdgdi.h"
#include "qdrawgdi/tests/qdgdi_tga_writer.h"

#include "platform/gdi/gdi.h"
#include "qcommon/qc_debug.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace
{
std::vector<std::string> ourTexts;

class TextListener : public QC_DebugListener
{
public:
    void Print(const char* aText) override { ourTexts.push_back(aText); }
    void Close() override {}
};

class QDGDI_TestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "qdrawgdi_tests";
        static char* ourArgv[] = {ourName, nullptr};
        static QGuiApplication* ourApp = new QGuiApplication(ourArgc, ourArgv);
        (void)ourApp;
        ASSERT_TRUE(QC_Debug::Init("", false, false, false, ""));
        ASSERT_TRUE(QC_Debug::AddListener(new TextListener));
    }
    void TearDown() override { QC_Debug::Shutdown(); }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new QDGDI_TestEnvironment);

// The view pane's stand-in: a client size, and the last picture shown as 0xRRGGBB.
class TestWindow : public QDGDI_Window
{
public:
    bool GetClientSize(int* aWidth, int* aHeight) override
    {
        *aWidth = myWidth, *aHeight = myHeight;
        return myReadableFlag;
    }
    void ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride) override
    {
        myShownWidth = aWidth, myShownHeight = aHeight, myShowCount++;
        myShown.assign((size_t)aWidth * aHeight, 0);
        for (int y = 0; y < aHeight; y++)
            for (int x = 0; x < aWidth; x++)
                myShown[(size_t)y * aWidth + x] = aPixels[(size_t)y * (aStride / 4) + x] & 0xFFFFFF;
    }
    uint32_t At(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < myShownWidth && y < myShownHeight ? myShown[(size_t)y * myShownWidth + x]
                                                                        : 0xDEADBEEF;
    }
    int Count(uint32_t aPixel) const { return (int)std::count(myShown.begin(), myShown.end(), aPixel); }

    int myWidth = 96, myHeight = 64;
    bool myReadableFlag = true;
    std::vector<uint32_t> myShown;
    int myShownWidth = 0, myShownHeight = 0, myShowCount = 0;
};

class QDGDI : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        myFactory.reset(QDGDI_Factory::Create(&myWindow));
        ASSERT_TRUE(myFactory);
        ASSERT_TRUE(myFactory->Clear({0, 0, 0}));
        ourTexts.clear();
        QD_Draw::SetTransparentBlit(false);
        QD_Draw::SetColour((uint8_t)255, 255, 255);
    }

    std::string Write(const std::string& aName, const std::vector<uint8_t>& aBytes)
    {
        const fs::path locPath = myDir / aName;
        fs::create_directories(locPath.parent_path());
        std::ofstream(locPath, std::ios::binary).write((const char*)aBytes.data(), (std::streamsize)aBytes.size());
        return locPath.string();
    }
    std::unique_ptr<QD_Bitmap> LoadTGA(const QDGDI_TestTGA& aTGA, const char* aName = "t.tga")
    {
        return std::unique_ptr<QD_Bitmap>(myFactory->CreateBitmap(Write(aName, aTGA.Write()).c_str()));
    }
    // A 2 × 2 bitmap: red, green / blue, white.
    std::unique_ptr<QD_Bitmap> Quad()
    {
        QDGDI_TestTGA t;
        t.myWidth = 2, t.myHeight = 2;
        t.myPixels = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        return LoadTGA(t);
    }
    bool Said(const std::string& aText) const
    {
        return std::find(ourTexts.begin(), ourTexts.end(), aText) != ourTexts.end();
    }
    void Show()
    {
        ASSERT_TRUE(myFactory->Present());
    }

    fs::path myDir;
    TestWindow myWindow;
    std::unique_ptr<QDGDI_Factory> myFactory;
};
} // namespace

TEST(QD_Draw, FloatColoursAreClampedAndScaled)
{
    QD_Draw::SetColour(-1.0f, 0.5f, 2.0f, NAN);
    EXPECT_EQ(QD_Draw::GetColour().myR, 0);
    EXPECT_EQ(QD_Draw::GetColour().myG, 127);
    EXPECT_EQ(QD_Draw::GetColour().myB, 255);
    EXPECT_EQ(QD_Draw::GetAlpha(), 0);
    QD_Draw::SetColour(QD_Colour{1, 2, 3});
    EXPECT_EQ(QD_Draw::GetColour().myB, 3);
    EXPECT_EQ(QD_Draw::GetAlpha(), 0);   // only the four-part setters change alpha
    QD_Draw::SetKeyColour(1.5f, 0.0f, 1.0f);
    EXPECT_EQ(QD_Draw::GetKeyColour().myR, 255);
    EXPECT_EQ(QD_Draw::GetKeyColour().myB, 255);
    QD_Draw::SetSecondColour(0.25f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(QD_Draw::GetSecondColour().myR, 63);
    EXPECT_EQ(QD_Draw::GetSecondAlpha(), 255);
    QD_Draw::SetColour((uint8_t)0, 0, 0, 255);
}

TEST_F(QDGDI, FactoryPictureIsTheWorkAreaAndPresentShowsTheClientPart)
{
    int w, h;
    ASSERT_TRUE(GDI_GetWorkArea(&w, &h));
    EXPECT_EQ(myFactory->GetWorkAreaWidth(), w);
    EXPECT_EQ(myFactory->GetPicture()->GetWidth(), w);
    EXPECT_EQ(myFactory->GetWidth(), 96);
    EXPECT_EQ(myFactory->GetHeight(), 64);

    ASSERT_TRUE(myFactory->Clear({10, 20, 30}));
    Show();
    EXPECT_EQ(myWindow.myShownWidth, 96);
    EXPECT_EQ(myWindow.myShownHeight, 64);
    EXPECT_EQ(myWindow.Count(0x0A141E), 96 * 64);

    // A pane larger than the work area grows the picture.
    myWindow.myWidth = w + 10;
    ASSERT_TRUE(myFactory->Clear({1, 1, 1}));
    Show();
    EXPECT_EQ(myWindow.myShownWidth, w + 10);
    EXPECT_EQ(myWindow.At(w + 9, 0), 0x010101u);

    myWindow.myReadableFlag = false;
    EXPECT_EQ(myFactory->GetWidth(), 0);
    EXPECT_EQ(myFactory->GetHeight(), 0);
    EXPECT_FALSE(myFactory->Present());
}

TEST_F(QDGDI, BitmapFilesByEnding)
{
    // A BMP written by the image library, with an upper-case ending and a Windows spelling.
    std::vector<uint8_t> locBmp = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1,
                                   0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0, 0, 0, 0, 0, 0, 0x30, 0x20, 0x10, 0};
    Write("Pics/Logo.BMP", locBmp);
    const std::string locWindowsName = (myDir / "PICS").string() + "\\LOGO.BMP";
    std::unique_ptr<QD_Bitmap> b(myFactory->CreateBitmap(locWindowsName.c_str()));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->GetWidth(), 1);
    ASSERT_TRUE(b->Blit(3, 4, 0, 0, 0, 0));
    Show();
    EXPECT_EQ(myWindow.At(3, 4), 0x102030u);

    std::unique_ptr<QD_Bitmap> locTga(LoadTGA(QDGDI_TestTGA(), "Upper.TGA"));
    EXPECT_TRUE(locTga);

    EXPECT_FALSE(myFactory->CreateBitmap(Write("a.png", locBmp).c_str()));
    EXPECT_TRUE(Said("GDIBitmap::Load(): Illegal file type. GDI only supports TGA and BMP."));
    EXPECT_FALSE(myFactory->CreateBitmap("ab"));

    const std::string locMissing = (myDir / "missing.tga").string();
    EXPECT_FALSE(myFactory->CreateBitmap(locMissing.c_str()));
    EXPECT_TRUE(Said("GDIBitmap::GetTGAData(): file '" + locMissing + "' does not exist"));
    EXPECT_FALSE(myFactory->CreateBitmap((myDir / "missing.bmp").string().c_str()));

    QDGDI_TestTGA locRle;
    locRle.myType = 10;
    EXPECT_FALSE(LoadTGA(locRle));
    EXPECT_TRUE(Said("GDIBitmap::GetTGAData(): Illegal file type. Loader only supports uncompressed 24 or 32 bpp TGA."));
    QDGDI_TestTGA locSixteen;
    locSixteen.myBits = 16;
    EXPECT_FALSE(LoadTGA(locSixteen));

    QDGDI_TestTGA locBig;
    locBig.myWidth = 8, locBig.myHeight = 8;
    std::vector<uint8_t> locCut = locBig.Write();
    locCut.resize(locCut.size() - 3);
    const std::string locCutName = Write("cut.tga", locCut);
    EXPECT_FALSE(myFactory->CreateBitmap(locCutName.c_str()));
    EXPECT_TRUE(Said("GDIBitmap::GetTGAData(): file '" + locCutName + "' is cut short"));
}

TEST_F(QDGDI, TgaPixelsKeepOrderAndIgnoreAlpha)
{
    // Alpha 0 everywhere must not make the picture vanish; top-down must not be upside down.
    for (bool locTopDown : {false, true})
    {
        QDGDI_TestTGA t;
        t.myWidth = 5, t.myHeight = 2, t.myBits = locTopDown ? 32 : 24, t.myTopDownFlag = locTopDown;
        t.myId = "x";
        for (uint32_t i = 0; i < 10; i++)
            t.myPixels.push_back(0x00102030u + i);
        std::unique_ptr<QD_Bitmap> b = LoadTGA(t);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->GetWidth(), 5);
        EXPECT_EQ(b->GetHeight(), 2);
        ASSERT_TRUE(b->Blit(10, 10, 0, 0, 0, 0));
        Show();
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 5; x++)
                EXPECT_EQ(myWindow.At(10 + x, 10 + y), 0x102030u + (uint32_t)(y * 5 + x)) << locTopDown;
    }
}

TEST_F(QDGDI, BlitsPlainStretchedAndTransparent)
{
    std::unique_ptr<QD_Bitmap> b = Quad();
    ASSERT_TRUE(b);
    ASSERT_TRUE(b->Blit(0, 0, 1, 1, 1, 1));   // part of it, from a source offset
    ASSERT_TRUE(b->BlitStretch(10, 10, 4, 4, 0, 0, 0, 0));
    Show();
    EXPECT_EQ(myWindow.At(0, 0), 0xFFFFFFu);
    EXPECT_EQ(myWindow.At(1, 0), 0u);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
        {
            const uint32_t locWant[2][2] = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}};
            EXPECT_EQ(myWindow.At(10 + x, 10 + y), locWant[y / 2][x / 2]) << x << "," << y;   // never blended
        }

    // With the switch on: the key colour is left out, and the source is as large as the
    // destination even from an offset (not the whole bitmap squeezed in).
    myFactory->Clear({7, 7, 7});
    QD_Draw::SetTransparentBlit(true);
    QD_Draw::SetKeyColour((uint8_t)0, 255, 0);
    ASSERT_TRUE(b->Blit(20, 20, 0, 0, 0, 0));
    ASSERT_TRUE(b->Blit(30, 30, 1, 2, 1, 0));
    QD_Draw::SetTransparentBlit(false);
    Show();
    EXPECT_EQ(myWindow.At(20, 20), 0xFF0000u);
    EXPECT_EQ(myWindow.At(21, 20), 0x070707u);
    EXPECT_EQ(myWindow.At(21, 21), 0xFFFFFFu);
    EXPECT_EQ(myWindow.At(30, 30), 0x070707u);   // the key at (1, 0)
    EXPECT_EQ(myWindow.At(30, 31), 0xFFFFFFu);
    EXPECT_EQ(myWindow.At(31, 30), 0x070707u);

    EXPECT_FALSE(b->BlitRotate(0, 0, 1.0f));
    EXPECT_FALSE(b->BlitStretchRotate(0, 0, 4, 4, 1.0f));
    EXPECT_TRUE(Said("GDIBitmap::BlitRotate(): Bitmap rotation is not implemented in GDI."));
    EXPECT_TRUE(Said("GDIBitmap::BlitStretchRotate(): Bitmap rotation is not implemented in GDI."));
}

TEST_F(QDGDI, BlitClippedCutsEverySide)
{
    std::unique_ptr<QD_Bitmap> b = Quad();
    const QD_Rect locClip = {10, 10, 20, 20};
    struct Case
    {
        int x, y;
        uint32_t at[4];   // the picture at (x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1)
    } locCases[] = {
        {9, 12, {0, 0x00FF00, 0, 0xFFFFFF}},           // left cut
        {12, 9, {0, 0, 0x0000FF, 0xFFFFFF}},           // top cut
        {19, 12, {0xFF0000, 0, 0x0000FF, 0}},          // right cut
        {12, 19, {0xFF0000, 0x00FF00, 0, 0}},          // bottom cut
        {9, 9, {0, 0, 0, 0xFFFFFF}},                   // top-left corner
    };
    for (const Case& c : locCases)
    {
        myFactory->Clear({0, 0, 0});
        ASSERT_TRUE(b->BlitClipped(c.x, c.y, locClip)) << c.x << "," << c.y;
        Show();
        EXPECT_EQ(myWindow.At(c.x, c.y), c.at[0]) << c.x << "," << c.y;
        EXPECT_EQ(myWindow.At(c.x + 1, c.y), c.at[1]) << c.x << "," << c.y;
        EXPECT_EQ(myWindow.At(c.x, c.y + 1), c.at[2]) << c.x << "," << c.y;
        EXPECT_EQ(myWindow.At(c.x + 1, c.y + 1), c.at[3]) << c.x << "," << c.y;
    }
    myFactory->Clear({0, 0, 0});
    for (QD_Point p : {QD_Point{8, 12}, QD_Point{20, 12}, QD_Point{12, 8}, QD_Point{12, 20}, QD_Point{-100, -100}})
        EXPECT_FALSE(b->BlitClipped(p.myX, p.myY, locClip)) << p.myX << "," << p.myY;
    Show();
    EXPECT_EQ(myWindow.Count(0), 96 * 64);
}

TEST_F(QDGDI, FontsDrawInTheProcessWideColour)
{
    std::unique_ptr<QD_Font> locDefault(myFactory->CreateFont("verdana", -1));
    ASSERT_TRUE(locDefault);
    EXPECT_EQ(locDefault->GetHeight(), 12);
    std::unique_ptr<QD_Font> f(myFactory->CreateFont("verdana", 16));
    EXPECT_EQ(f->GetHeight(), 16);
    const int locWidth = f->GetTextWidth("Text");
    EXPECT_GT(locWidth, 10);
    EXPECT_EQ(f->GetTextWidth(""), 0);

    QD_Draw::SetColour((uint8_t)0, 127, 0);
    ASSERT_TRUE(f->DrawText(2, 2, "Text"));
    Show();
    const int locPlain = myWindow.Count(0x007F00);
    EXPECT_GT(locPlain, 10);
    EXPECT_EQ(myWindow.Count(0) + locPlain, 96 * 64);   // the background untouched

    myFactory->Clear({0, 0, 0});
    ASSERT_TRUE(f->DrawTextScaled(2.0f, 2, 2, "Text"));
    Show();
    EXPECT_GT(myWindow.Count(0x007F00), locPlain * 2);

    // Rotated a quarter turn: the text runs upwards from its start.
    myFactory->Clear({0, 0, 0});
    ASSERT_TRUE(f->DrawTextRotated((float)M_PI / 2, 20, 60, "Text"));
    ASSERT_TRUE(f->DrawTextScaledRotated(1.0f, 0.0f, 60, 2, "T"));
    Show();
    int locMinY = 1000, locMaxX = 0;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 50; x++)
            if (myWindow.At(x, y) == 0x007F00)
                locMinY = std::min(locMinY, y), locMaxX = std::max(locMaxX, x);
    EXPECT_LE(locMinY, 60 - locWidth + 4);
    EXPECT_LT(locMaxX, 20 + 18);

    myFactory->Clear({0, 0, 0});
    QD_Draw::SetColour((uint8_t)255, 0, 0);
    ASSERT_TRUE(f->DrawTextInRect("ab", {0, 0, 96, 20}, 2));
    Show();
    int locRight = 0;
    for (int x = 0; x < 96; x++)
        for (int y = 0; y < 20; y++)
            if (myWindow.At(x, y) == 0xFF0000)
                locRight = std::max(locRight, x);
    EXPECT_GE(locRight, 90);
}

TEST_F(QDGDI, LinesCurvesAndCirclesInTheirColours)
{
    std::unique_ptr<QD_Line> l(myFactory->CreateLine());
    const QD_Colour locColour = {10, 20, 30};
    ASSERT_TRUE(l->HLine(0, 95, 5, locColour));
    ASSERT_TRUE(l->VLine(7, 0, 63, locColour));
    ASSERT_TRUE(l->LineWide(20, 30, 60, 30, {1, 2, 3}));
    ASSERT_TRUE(l->Circle({70, 40}, 5, {4, 5, 6}));
    ASSERT_TRUE(l->CircleWide({40, 50}, 6, {4, 5, 6}));
    ASSERT_TRUE(l->Bezier({20, 10}, {30, 20}, {40, 20}, {50, 10}, {7, 8, 9}));
    ASSERT_TRUE(l->BezierWide({20, 60}, {30, 50}, {40, 50}, {50, 60}, {7, 8, 9}));
    ASSERT_TRUE(l->Line(80, 0, 90, 10, {7, 8, 9}));
    Show();
    EXPECT_EQ(myWindow.At(50, 5), 0x0A141Eu);   // R | G << 8 | B << 16 shown as 0xRRGGBB
    EXPECT_EQ(myWindow.At(7, 40), 0x0A141Eu);
    EXPECT_EQ(myWindow.At(40, 29), 0x010203u);
    EXPECT_EQ(myWindow.At(40, 31), 0x010203u);
    EXPECT_EQ(myWindow.At(40, 32), 0u);
    EXPECT_EQ(myWindow.At(75, 40), 0x040506u);
    EXPECT_EQ(myWindow.At(70, 40), 0u);
    EXPECT_EQ(myWindow.At(20, 10), 0x070809u);
    EXPECT_EQ(myWindow.At(85, 5), 0x070809u);
}
