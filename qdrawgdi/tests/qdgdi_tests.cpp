// The drawing interface over the GDI layer: factory, bitmaps from files, fonts and lines,
// read back from the presented picture.
#include "qdrawgdi/qdgdi.h"
#include "qdrawgdi/tests/qdgdi_tga_writer.h"

#include "platform/gdi/gdi.h"
#include "qcommon/qc_debug.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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
    QD_Draw::SetColour(1.0f, 0.0f, 0.5f);
    EXPECT_EQ(QD_Draw::GetColour().myR, 255);
    EXPECT_EQ(QD_Draw::GetColour().myB, 127);
    QD_Draw::SetSecondColour(0.0f, 1.0f, 0.0f);
    EXPECT_EQ(QD_Draw::GetSecondColour().myG, 255);
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

namespace
{
std::vector<uint8_t> locFixture(const char* aName)
{
    std::ifstream locFile(std::string(Q_TEST_SOURCE_DIR) + "/tests/data/bmp/" + aName, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(locFile), std::istreambuf_iterator<char>());
}

void locPut16(std::vector<uint8_t>& aFile, size_t anAt, uint32_t aValue)
{
    aFile[anAt] = aValue & 0xFF, aFile[anAt + 1] = (aValue >> 8) & 0xFF;
}

void locPut32(std::vector<uint8_t>& aFile, size_t anAt, uint32_t aValue)
{
    locPut16(aFile, anAt, aValue & 0xFFFF);
    locPut16(aFile, anAt + 2, aValue >> 16);
}

// Where a byte sequence first starts in the file.
size_t locFind(const std::vector<uint8_t>& aFile, const std::vector<uint8_t>& aBytes, size_t aFrom)
{
    return (size_t)(std::search(aFile.begin() + (long)aFrom, aFile.end(), aBytes.begin(), aBytes.end()) -
                    aFile.begin());
}
} // namespace

TEST_F(QDGDI, BmpFilesLoadAndDrawTheirPixels)
{
    // Bottom-up and top-down rows, a colour table and run-length data all draw the same
    // yellow bar and white corner that ImageMagick was given.
    for (const char* locName : {"true24.bmp", "topdown24.bmp", "palette8.bmp", "rle8.bmp", "alpha32_v5.bmp"})
    {
        std::unique_ptr<QD_Bitmap> b(myFactory->CreateBitmap(Write(locName, locFixture(locName)).c_str()));
        ASSERT_TRUE(b) << locName;
        EXPECT_EQ(b->GetWidth(), 13);
        EXPECT_EQ(b->GetHeight(), 7);
        ASSERT_TRUE(myFactory->Clear({1, 2, 3}));
        ASSERT_TRUE(b->Blit(5, 6, 0, 0, 0, 0));
        Show();
        EXPECT_EQ(myWindow.At(4, 6), 0x010203u) << locName;
        EXPECT_EQ(myWindow.At(5 + 1, 6 + 1), 0xFFFF00u) << locName;
        EXPECT_EQ(myWindow.At(5 + 9, 6 + 2), 0xFFFF00u) << locName;
        EXPECT_EQ(myWindow.At(5 + 12, 6 + 6), 0xFFFFFFu) << locName;
        EXPECT_EQ(myWindow.At(5 + 13, 6 + 6), 0x010203u) << locName;
    }
    EXPECT_TRUE(ourTexts.empty());
}

TEST_F(QDGDI, DamagedBmpFilesAreRefusedWithTheirReason)
{
    const std::vector<uint8_t> locRle4 = locFixture("rle4.bmp");
    const size_t locJump = locFind(locRle4, {0, 2, 3, 1}, 118);
    const size_t locCopy = locFind(locRle4, {0, 6}, 118);
    struct Case
    {
        const char* myFile;
        std::function<void(std::vector<uint8_t>&)> myDamage;
        std::string myReason;
    } locCases[] = {
        // The file and information headers.
        {"true24.bmp", [](auto& f) { f.clear(); }, "is not a BMP file: it does not start with \"BM\""},
        {"true24.bmp", [](auto& f) { f[1] = 'A'; }, "is not a BMP file: it does not start with \"BM\""},
        {"true24.bmp", [](auto& f) { f.resize(12); }, "is cut short: 12 bytes, less than its file header"},
        {"true24.bmp", [](auto& f) { f.resize(17); }, "is cut short: 17 bytes, less than its file header"},
        {"true24.bmp", [](auto& f) { f.resize(18); },
         "is cut short: its 40-byte information header ends past the file's 18 bytes"},
        {"true24.bmp", [](auto& f) { locPut32(f, 14, 41); },
         "has an information header of a size no BMP writer makes: 41 bytes"},
        {"true24.bmp", [](auto& f) { locPut32(f, 14, 0); },
         "has an information header of a size no BMP writer makes: 0 bytes"},
        {"true24.bmp", [](auto& f) { f.resize(40); },
         "is cut short: its 40-byte information header ends past the file's 40 bytes"},
        {"true24.bmp", [](auto& f) { locPut32(f, 18, 0); }, "has a width or height of 0: 0 x 7 pixels"},
        {"true24.bmp", [](auto& f) { locPut32(f, 22, 0); }, "has a width or height of 0: 13 x 0 pixels"},
        {"true24.bmp", [](auto& f) { locPut32(f, 18, (uint32_t)-13); }, "has a size out of range: a width of -13"},
        {"true24.bmp", [](auto& f) { locPut32(f, 18, 65536), locPut32(f, 22, (uint32_t)-65536); },
         "has a size out of range: 65536 x 65536 pixels, more than 67108864"},
        {"true24.bmp", [](auto& f) { locPut16(f, 26, 2); }, "has a pixel format that is not read: 2 planes"},
        {"true24.bmp", [](auto& f) { locPut16(f, 28, 7); }, "has a pixel format that is not read: 7 bits per pixel"},
        {"true24.bmp", [](auto& f) { locPut16(f, 28, 0); }, "has a pixel format that is not read: 0 bits per pixel"},
        {"true24.bmp", [](auto& f) { locPut32(f, 30, 4); },
         "has a pixel format that is not read: compression 4 with 24 bits per pixel"},
        {"true24.bmp", [](auto& f) { locPut32(f, 30, 1); },
         "has a pixel format that is not read: compression 1 with 24 bits per pixel"},
        {"palette4.bmp", [](auto& f) { locPut32(f, 30, 1); },
         "has a pixel format that is not read: compression 1 with 4 bits per pixel"},
        {"rle8.bmp", [](auto& f) { locPut32(f, 22, (uint32_t)-7); },
         "has a pixel format that is not read: run-length data in a top-down picture"},
        // Colour tables and masks.
        {"palette8.bmp", [](auto& f) { locPut32(f, 46, 257); },
         "has a colour table of more than 256 colours: 257 colours"},
        {"palette8.bmp", [](auto& f) { f.resize(500); },
         "is cut short: its table of 256 colours ends past the file's 500 bytes"},
        {"rgb565_masks.bmp", [](auto& f) { locPut32(f, 54, 0x0F0F); },
         "has broken colour masks: mask 0x00000F0F of a 16-bit pixel"},
        {"rgb565_masks.bmp", [](auto& f) { locPut32(f, 54, 0x1F0000); },
         "has broken colour masks: mask 0x001F0000 of a 16-bit pixel"},
        {"rgb565_masks.bmp", [](auto& f) { locPut32(f, 58, 0xF800); },
         "has broken colour masks: masks 0x0000F800, 0x0000F800 and 0x0000001F overlap"},
        {"rgb565_masks.bmp", [](auto& f) { locPut32(f, 62, 0x07E0); },
         "has broken colour masks: masks 0x0000F800, 0x000007E0 and 0x000007E0 overlap"},
        {"rgb565_masks.bmp", [](auto& f) { locPut32(f, 62, 0xF800); },
         "has broken colour masks: masks 0x0000F800, 0x000007E0 and 0x0000F800 overlap"},
        {"rgb565_masks.bmp", [](auto& f) { f.resize(60); },
         "is cut short: its colour masks end past the file's 60 bytes"},
        {"rgb565_masks.bmp", [](auto& f) { f.resize(66); },
         "is cut short: its pixels need 196 bytes from byte 66, the file holds 0"},
        {"rgb565_masks.bmp", [](auto& f) { locPut32(f, 14, 64); },
         "has a pixel format that is not read: compression 3 with 16 bits per pixel"},
        // Pixels the file does not hold.
        {"true24.bmp", [](auto& f) { locPut32(f, 10, 400); },
         "is cut short: its pixels start at byte 400, past the file's 334 bytes"},
        {"true24.bmp", [](auto& f) { locPut32(f, 10, 334); },
         "is cut short: its pixels need 280 bytes from byte 334, the file holds 0"},
        {"true24.bmp", [](auto& f) { f.resize(54); },
         "is cut short: its pixels need 280 bytes from byte 54, the file holds 0"},
        {"true24.bmp", [](auto& f) { f.pop_back(); },
         "is cut short: its pixels need 280 bytes from byte 54, the file holds 279"},
        {"true24.bmp", [](auto& f) { f.resize(f.size() / 2); },
         "is cut short: its pixels need 280 bytes from byte 54, the file holds 113"},
        {"true24.bmp", [](auto& f) { locPut32(f, 18, 17189), locPut32(f, 22, 19), f.resize(2048, 0x55); },
         "is cut short: its pixels need 979792 bytes from byte 54, the file holds 1994"},
        {"mono1.bmp", [](auto& f) { f.pop_back(); },
         "is cut short: its pixels need 28 bytes from byte 62, the file holds 27"},
        {"palette4.bmp", [](auto& f) { f.pop_back(); },
         "is cut short: its pixels need 56 bytes from byte 118, the file holds 55"},
        {"core24.bmp", [](auto& f) { f.pop_back(); },
         "is cut short: its pixels need 280 bytes from byte 26, the file holds 279"},
        {"rgb565_v5.bmp", [](auto& f) { f.pop_back(); },
         "is cut short: its pixels need 196 bytes from byte 138, the file holds 195"},
        // Run-length data.
        {"rle8.bmp", [](auto& f) { f.resize(1150); },
         "has broken run-length data: the data ends at byte 1150 before its end mark"},
        {"rle8.bmp", [](auto& f) { f.resize(f.size() - 2); },
         "has broken run-length data: the data ends at byte 1208 before its end mark"},
        {"rle8.bmp", [](auto& f) { f[1078] = 0, f[1079] = 2, f[1080] = 14, f[1081] = 0; },
         "has broken run-length data: the jump at byte 1078 leaves the picture"},
        {"rle8.bmp", [](auto& f) { f[1078] = 0, f[1079] = 2, f[1080] = 0, f[1081] = 8; },
         "has broken run-length data: the jump at byte 1078 leaves the picture"},
        {"rle4.bmp", [](auto& f) { f.pop_back(); },
         "has broken run-length data: the data ends at byte 193 before its end mark"},
        {"rle4.bmp", [=](auto& f) { f[locJump + 2] = 8; },
         "has broken run-length data: the jump at byte " + std::to_string(locJump) + " leaves the picture"},
        {"rle4.bmp", [=](auto& f) { f[locJump + 3] = 9; },
         "has broken run-length data: the jump at byte " + std::to_string(locJump) + " leaves the picture"},
        {"rle4.bmp", [=](auto& f) { f.resize(locCopy + 4); },
         "has broken run-length data: the 6 pixels at byte " + std::to_string(locCopy) + " are cut short"},
        {"rle4.bmp", [=](auto& f) { f.resize(locJump + 4); },
         "has broken run-length data: the data ends at byte " + std::to_string(locJump + 4) + " before its end mark"},
        {"rle4.bmp", [=](auto& f) { f.resize(locCopy + 6); },
         "has broken run-length data: the data ends at byte " + std::to_string(locCopy + 6) + " before its end mark"},
        {"rle4.bmp", [=](auto& f) { f.resize(locJump + 3); },
         "has broken run-length data: the jump at byte " + std::to_string(locJump) + " is cut short"},
        {"rle4.bmp", [](auto& f) { f.insert(f.end() - 2, {2, 0x11}); },
         "has broken run-length data: the 2 pixels at byte 192 come after the last row"},
        {"rle4.bmp", [](auto& f) { f.insert(f.end() - 2, {0, 0}); },
         "has broken run-length data: an end of row after the last row at byte 192"},
    };
    int locIndex = 0;
    for (Case& locCase : locCases)
    {
        std::vector<uint8_t> locFile = locFixture(locCase.myFile);
        ASSERT_FALSE(locFile.empty());
        locCase.myDamage(locFile);
        const std::string locName = Write("damaged" + std::to_string(locIndex++) + ".bmp", locFile);
        ourTexts.clear();
        EXPECT_FALSE(std::unique_ptr<QD_Bitmap>(myFactory->CreateBitmap(locName.c_str()))) << locCase.myReason;
        EXPECT_EQ(ourTexts, std::vector<std::string>{"GDIBitmap::GetBMPData(): file '" + locName + "' " + locCase.myReason});
    }
    // A file that cannot be read at all.
    const std::string locMissing = (myDir / "missing.bmp").string();
    EXPECT_FALSE(myFactory->CreateBitmap(locMissing.c_str()));
    EXPECT_TRUE(Said("GDIBitmap::GetBMPData(): file '" + locMissing + "' does not exist"));
}
