// The model browser in-process with its real window offscreen on llvmpipe: layout rules,
// folder scans, progressive loading, clicks, keys and a right-drag through the input layer.
#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <string.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gfx/gfx_device.h"
#include "platform/ui/ui_app.h"
#include "qinput/qi_time.h"
#include "qrender/qr_error.h"
#include "qrender/qr_font.h"
#include "qrender/qr_render.h"
#include "tessaly/main.h"
#include "tessaly/qrb_view.h"

namespace
{

std::string ourSamples; // a folder written by qrb_samples, made once

const std::string& Samples()
{
    if (ourSamples.empty())
    {
        ourSamples = std::filesystem::temp_directory_path() / ("tessaly_samples_" + std::to_string(getpid()));
        std::filesystem::remove_all(ourSamples);
        std::string locCommand = "'" + std::string(TESSALY_SAMPLES) + "' '" + ourSamples + "'";
        EXPECT_EQ(0, system(locCommand.c_str()));
    }
    return ourSamples;
}

class TessalyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myOldDir = std::filesystem::current_path();
        std::filesystem::current_path(Samples());
    }
    void TearDown() override
    {
        ViewerShutDown();
        UI_ClearQuitMessage();
        std::filesystem::current_path(myOldDir);
    }
    int Start(const char* anArg, const char* aDir = TESSALY_FONT_DIR)
    {
        char locName[] = "Tessaly";
        char* argv[3] = {locName, (char*)anArg, nullptr};
        return ViewerStartUp(anArg ? 2 : 1, argv, aDir);
    }
    // Frames until every entry has been handled (the loader waits 0.1 s between files).
    void LoadAll()
    {
        for (int i = 0; i < 20000 && ourViewer.myLoadCursor < (int)ourViewer.myEntries.size(); i++)
        {
            UI_DispatchMessages(false);
            ASSERT_TRUE(ViewerFrame());
            QI_Time::ourTime += 0.11f; // the frame clock: a file per frame
        }
        ASSERT_EQ(ourViewer.myLoadCursor, (int)ourViewer.myEntries.size());
    }
    QWindow* Window() { return ViewerGetClientWidget()->window()->windowHandle(); }
    void Key(QEvent::Type aType, int aKey, Qt::KeyboardModifiers aModifiers)
    {
        QKeyEvent e(aType, aKey, aModifiers, 0, 0, 0);
        QApplication::sendEvent(Window(), &e);
    }
    void Tap(int aKey, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        Key(QEvent::KeyPress, aKey, aModifiers);
        bool r = ViewerFrame();
        Key(QEvent::KeyRelease, aKey, aModifiers);
        myLastFrame = r && ViewerFrame();
    }
    void Mouse(QEvent::Type aType, QPointF aPos, Qt::MouseButton aButton, Qt::MouseButtons aButtons)
    {
        QMouseEvent e(aType, aPos, Window()->mapToGlobal(aPos), aButton, aButtons, Qt::NoModifier);
        QApplication::sendEvent(Window(), &e);
    }
    void Click(int x, int y)
    {
        Mouse(QEvent::MouseButtonPress, QPointF(x, y), Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, QPointF(x, y), Qt::LeftButton, Qt::NoButton);
        UI_DispatchMessages(false);
    }
    int FindEntry(const char* aLabelPart)
    {
        for (size_t i = 0; i < ourViewer.myEntries.size(); i++)
        {
            const ViewerEntry& e = ourViewer.myEntries[i];
            if (strstr(e.myName.GetBuffer(), aLabelPart) || strstr(e.myLabelName.GetBuffer(), aLabelPart))
                return (int)i;
        }
        return -1;
    }
    std::filesystem::path myOldDir;
    bool myLastFrame = true;
};

// Pixel statistics of a view rectangle: the share differing from the clear colour and the mean.
struct Stats
{
    double myShareChanged = 0;
    double myMean[3] = {0, 0, 0};
};
Stats ViewStats(const QImage& anImage, int x0, int y0, int w, int h)
{
    Stats s;
    int n = 0, locChanged = 0;
    for (int y = y0 + 2; y < y0 + h - 2 && y < anImage.height(); y++)
        for (int x = x0 + 2; x < x0 + w - 2 && x < anImage.width(); x++)
        {
            QRgb p = anImage.pixel(x, y);
            n++;
            if (abs(qRed(p) - 0x5F) + abs(qGreen(p) - 0x5F) + abs(qBlue(p) - 0x5F) > 12)
                locChanged++;
            s.myMean[0] += qRed(p), s.myMean[1] += qGreen(p), s.myMean[2] += qBlue(p);
        }
    if (n)
    {
        s.myShareChanged = (double)locChanged / n;
        for (double& m : s.myMean)
            m /= n;
    }
    return s;
}
// Pixels of the label strip below a view close to a colour.
int LabelPixels(const QImage& anImage, int x0, int y0, QRgb aColor)
{
    int n = 0;
    for (int y = y0 + VIEWER_VIEW_HEIGHT + 2; y < y0 + VIEWER_CELL_HEIGHT && y < anImage.height(); y++)
        for (int x = x0; x < x0 + VIEWER_VIEW_WIDTH && x < anImage.width(); x++)
        {
            QRgb p = anImage.pixel(x, y);
            if (abs(qRed(p) - qRed(aColor)) + abs(qGreen(p) - qGreen(aColor)) + abs(qBlue(p) - qBlue(aColor)) < 40)
                n++;
        }
    return n;
}

// Pixels of the grab that differ from the device's last presented frame, over the part of
// the client the frame covers; outside it the window must show the button face.
int FrameMismatches(const QImage& aGrab)
{
    QR_Render* r = QR_Render::ourInstance;
    const int W = r->myRenderSettings.myWidth, H = r->myRenderSettings.myHeight;
    std::vector<uint32_t> locFront((size_t)W * H);
    if (!r->GrabFrontBuffer(locFront.data()))
        return -1;
    const QImage g = aGrab.convertToFormat(QImage::Format_RGB32);
    const QRgb locFace = ViewerGetClientWidget()->palette().button().color().rgb();
    int n = 0;
    for (int y = 0; y < g.height(); y++)
        for (int x = 0; x < g.width(); x++)
            n += g.pixel(x, y) != (x < W && y < H ? (locFront[(size_t)y * W + x] | 0xFF000000u) : locFace);
    return n;
}

// A label's colour: white for a model, blue for a texture, yellow for a folder or a failure.
QRgb LabelColor(const ViewerEntry& anEntry)
{
    return anEntry.myObject ? 0xFFFFFFFF : anEntry.myBitmap ? 0xFF0000FF : 0xFFFFFF00;
}

} // namespace

TEST(TessalyLayout, ColumnsRowsAndScrollRange)
{
    ViewerState& v = ourViewer;
    v = ViewerState();
    auto locEntries = [&](int n)
    {
        v.myEntries.clear();
        v.myEntries.resize((size_t)n);
    };
    locEntries(20);
    ViewerSetTestClientSize(784, 600);
    ViewerLayout();
    EXPECT_EQ(3, v.myNumViewsX); // 720 + 220 > 784
    ViewerSetTestClientSize(960, 600);
    ViewerLayout();
    EXPECT_EQ(4, v.myNumViewsX);
    ViewerSetTestClientSize(720 + 219, 3 * 190);
    ViewerLayout();
    EXPECT_EQ(3, v.myNumViewsX);
    ViewerSetTestClientSize(720 + 220, 3 * 190);
    ViewerLayout();
    EXPECT_EQ(4, v.myNumViewsX); // the last column's view fits without its gap

    // 7 entries, room for 3 x 3: 3 rows, range 0..2, page 3.
    locEntries(7);
    v.myCurStartModel = 0;
    ViewerSetTestClientSize(784, 3 * 190 + 20);
    ViewerLayout();
    EXPECT_EQ(3, v.myRows);
    EXPECT_EQ(2, v.myScrollMax);
    EXPECT_EQ(3, v.myScrollPage);

    // 10 entries, 3 columns, 2 rows, scrolled to the end: starts at 6.
    locEntries(10);
    ViewerSetTestClientSize(784, 2 * 190 + 10);
    ViewerLayout();
    ViewerWndProc(VIEWER_WM_VSCROLL, VIEWER_SB_BOTTOM, 0);
    EXPECT_EQ(6, v.myCurStartModel);
    EXPECT_EQ(2, v.myScrollPos); // clamped to max - page + 1
    ViewerWndProc(VIEWER_WM_VSCROLL, VIEWER_SB_LINEDOWN, 0);
    EXPECT_EQ(6, v.myCurStartModel);
    ViewerWndProc(VIEWER_WM_VSCROLL, VIEWER_SB_TOP, 0);
    EXPECT_EQ(0, v.myCurStartModel);
    ViewerWndProc(VIEWER_WM_VSCROLL, VIEWER_SB_PAGEDOWN, 0);
    EXPECT_EQ(6, v.myCurStartModel);
    ViewerWndProc(VIEWER_WM_VSCROLL, VIEWER_SB_THUMBTRACK, 1);
    EXPECT_EQ(3, v.myCurStartModel);
    ViewerWndProc(VIEWER_WM_VSCROLL, VIEWER_SB_LINEUP, 0);
    EXPECT_EQ(0, v.myCurStartModel);

    // A huge window: rows cut so that rows x columns <= 256.
    locEntries(5000);
    ViewerSetTestClientSize(240 * 20, 190 * 40);
    ViewerLayout();
    EXPECT_EQ(20, v.myNumViewsX);
    EXPECT_EQ(12, v.myRows);

    // Empty: no rows, range 0..-1.
    locEntries(0);
    ViewerSetTestClientSize(800, 600);
    ViewerLayout();
    EXPECT_EQ(0, v.myRows);
    EXPECT_EQ(-1, v.myScrollMax);
    EXPECT_EQ(0, v.myNumCellsInUse);
    v = ViewerState();
    ViewerSetTestClientSize(0, 0);
}

TEST(TessalyLayout, LabelFromPath)
{
    EXPECT_STREQ("rock", ViewerLabelFromPath("models/rock.qrb").GetBuffer());
    EXPECT_STREQ("a.b", ViewerLabelFromPath("x\\y/a.b.dds").GetBuffer());
    EXPECT_STREQ("ab", ViewerLabelFromPath("ab").GetBuffer());
}

TEST_F(TessalyTest, NoFontEndsWithMinusOne)
{
    EXPECT_EQ(-1, Start("models", "/nonexistent-folder"));
}

TEST_F(TessalyTest, GridFillsOneEntryPerFrameWithLabelsAndClicks)
{
    ASSERT_EQ(0, Start("models"));
    ViewerGetClientWidget()->window()->resize(784, 600);
    UI_DispatchMessages(false);
    const int n = (int)ourViewer.myEntries.size();
    ASSERT_GE(n, 3);
    EXPECT_EQ(FindEntry(".."), FindEntry(".."));
    ASSERT_GE(FindEntry(".."), 0); // ".." is kept
    // One file per frame, and none while the pause after a load has not passed.
    ASSERT_TRUE(ViewerFrame());
    int locFirst = ourViewer.myLoadCursor;
    ASSERT_TRUE(ViewerFrame());
    EXPECT_LE(ourViewer.myLoadCursor, locFirst + 1);
    LoadAll();
    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(ViewerFrame());
    UI_DispatchMessages(false);
    QImage g = ViewerGrabClient();
    ASSERT_FALSE(g.isNull());
    if (getenv("TESSALY_SAVE"))
        g.save(getenv("TESSALY_SAVE"));
    int locModels = 0;
    for (int i = 0; i < ourViewer.myNumCellsInUse; i++)
    {
        const ViewerEntry& e = ourViewer.myEntries[(size_t)(ourViewer.myCurStartModel + i)];
        const int x = VIEWER_CELL_WIDTH * (i % ourViewer.myNumViewsX), y = VIEWER_CELL_HEIGHT * (i / ourViewer.myNumViewsX);
        if (e.myObject)
        {
            locModels++;
            EXPECT_GT(ViewStats(g, x, y, VIEWER_VIEW_WIDTH, VIEWER_VIEW_HEIGHT).myShareChanged, 0.01) << i;
            EXPECT_GT(LabelPixels(g, x, y, 0xFFFFFFFF), 10) << i;
        }
        else if (e.myFlag)
        {
            EXPECT_GE(LabelPixels(g, x, y, 0xFFFFFF00), 3) << i; // a folder (".." is short): yellow
        }
    }
    EXPECT_GT(locModels, 0);

    // A click on a loaded model enlarges it; keypad plus and minus zoom within 0.2 .. 1.0.
    int e = -1;
    for (int i = 0; i < ourViewer.myNumCellsInUse && e < 0; i++)
        if (ourViewer.myEntries[(size_t)i].myObject)
            e = i;
    ASSERT_GE(e, 0);
    Click(VIEWER_CELL_WIDTH * (e % ourViewer.myNumViewsX) + 100, VIEWER_CELL_HEIGHT * (e / ourViewer.myNumViewsX) + 80);
    EXPECT_FALSE(ourViewer.myDirectoryMode);
    EXPECT_EQ(e, ourViewer.myCurStartModel);
    for (int i = 0; i < 6; i++)
        Tap(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_FLOAT_EQ(0.2f, ourViewer.myZoom);
    for (int i = 0; i < 6; i++)
        Tap(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_FLOAT_EQ(1.0f, ourViewer.myZoom);
    Tap(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_NEAR(0.8f, ourViewer.myZoom, 1e-5);

    // A right-drag turns it.
    Mouse(QEvent::MouseMove, QPointF(300, 300), Qt::NoButton, Qt::NoButton);
    ViewerFrame();
    Mouse(QEvent::MouseButtonPress, QPointF(300, 300), Qt::RightButton, Qt::RightButton);
    ViewerFrame();
    Mouse(QEvent::MouseMove, QPointF(340, 280), Qt::NoButton, Qt::RightButton);
    ViewerFrame();
    // The window is the program's own, adopted by the renderer: the cursor stays free.
    EXPECT_FALSE(UI_GetClipCursor(nullptr));
    Mouse(QEvent::MouseButtonRelease, QPointF(340, 280), Qt::RightButton, Qt::NoButton);
    ViewerFrame();
    EXPECT_NEAR(-0.2f, ourViewer.myAngle1, 1e-4);
    EXPECT_NEAR(0.1f, ourViewer.myAngle2, 1e-4);

    // A click anywhere goes back to the grid at the same place.
    Click(5, 5);
    EXPECT_TRUE(ourViewer.myDirectoryMode);
    EXPECT_EQ(0, ourViewer.myCurStartModel);

    // Beyond the last column, and in the gap, a click selects nothing.
    const int locCols = ourViewer.myNumViewsX;
    Click(VIEWER_CELL_WIDTH * locCols + 5, 20);
    Click(VIEWER_VIEW_WIDTH + 5, 20);
    EXPECT_TRUE(ourViewer.myDirectoryMode);

    // ".." lists the parent, made absolute.
    int locUp = FindEntry("..");
    std::string locBefore = ourViewer.myCurrentDirectory.GetBuffer();
    Click(VIEWER_CELL_WIDTH * (locUp % locCols) + 50, VIEWER_CELL_HEIGHT * (locUp / locCols) + 50);
    EXPECT_EQ(std::filesystem::path(locBefore).parent_path().string(), ourViewer.myCurrentDirectory.GetBuffer());
    EXPECT_GE(FindEntry("models"), 0);

    // Escape ends.
    Tap(Qt::Key_Escape);
    EXPECT_FALSE(myLastFrame);
}

TEST_F(TessalyTest, WindowShowsTheLastFrameThroughScrollsResizesAndANewDevice)
{
    ASSERT_EQ(0, Start("models"));
    // Two columns and two rows: the folder scrolls.
    ViewerGetClientWidget()->window()->resize(520, 400);
    UI_DispatchMessages(false);
    LoadAll();
    ASSERT_GT(ourViewer.myScrollMax, 0);
    auto locFrame = []()
    {
        ASSERT_TRUE(ViewerFrame());
        UI_DispatchMessages(false);
    };
    locFrame();
    QImage g = ViewerGrabClient();
    EXPECT_EQ(0, FrameMismatches(g));
    EXPECT_GE(LabelPixels(g, 0, 0, LabelColor(ourViewer.myEntries[0])), 3);

    // A line down: the next row's entries in the first row's cells.
    ViewerWndProc(VIEWER_WM_VSCROLL, VIEWER_SB_LINEDOWN, 0);
    ASSERT_EQ(ourViewer.myNumViewsX, ourViewer.myCurStartModel);
    locFrame();
    const QImage locScrolled = ViewerGrabClient();
    EXPECT_EQ(0, FrameMismatches(locScrolled));
    EXPECT_NE(g, locScrolled);
    EXPECT_GE(LabelPixels(locScrolled, 0, 0, LabelColor(ourViewer.myEntries[(size_t)ourViewer.myCurStartModel])), 3);

    // A larger window: more columns, the frame past the old client edge.
    ViewerGetClientWidget()->window()->resize(1000, 640);
    UI_DispatchMessages(false);
    ASSERT_GE(ourViewer.myNumViewsX, 4);
    locFrame();
    g = ViewerGrabClient();
    EXPECT_EQ(ViewerGetClientWidget()->width(), g.width());
    EXPECT_EQ(0, FrameMismatches(g));

    // A new device, and another with a smaller back buffer: until its first frame the window
    // keeps the old device's last one, then shows the new one with the button face beside it.
    // (The first new device's buffer likely takes the old one's place.)
    QR_RenderSettings locSettings = QR_Render::ourInstance->myRenderSettings;
    ASSERT_TRUE(QR_Render::ourInstance->ChangeSettings(&locSettings));
    UI_DispatchMessages(false);
    EXPECT_EQ(g, ViewerGrabClient());
    locSettings.myWidth = 600;
    locSettings.myHeight = 500;
    ASSERT_TRUE(QR_Render::ourInstance->ChangeSettings(&locSettings));
    UI_DispatchMessages(false);
    EXPECT_EQ(g, ViewerGrabClient());
    locFrame();
    g = ViewerGrabClient();
    EXPECT_EQ(0, FrameMismatches(g));
    const ViewerEntry& e = ourViewer.myEntries[(size_t)(ourViewer.myCurStartModel + ourViewer.myNumViewsX)];
    EXPECT_GE(LabelPixels(g, 0, VIEWER_CELL_HEIGHT, LabelColor(e)), 3);

    // The device goes for good: the window keeps what it showed.
    QR_Render::Destroy();
    UI_DispatchMessages(false);
    EXPECT_EQ(g, ViewerGrabClient());
}

TEST_F(TessalyTest, SingleTextureShownEnlargedThenItsFolder)
{
    ASSERT_EQ(0, Start("textures/metal.dds"));
    EXPECT_FALSE(ourViewer.myDirectoryMode);
    ASSERT_EQ(1u, ourViewer.myEntries.size());
    LoadAll();
    ASSERT_NE(nullptr, ourViewer.myEntries[0].myBitmap);
    ASSERT_TRUE(ViewerFrame());
    Click(10, 10);
    EXPECT_TRUE(ourViewer.myDirectoryMode);
    EXPECT_EQ(Samples() + "/textures", ourViewer.myCurrentDirectory.GetBuffer());
    EXPECT_GE(FindEntry("metal.dds"), 0);
}

TEST_F(TessalyTest, UpperCaseNamesAndFailuresAndSubFolders)
{
    std::filesystem::create_directories("mixed/sub");
    std::filesystem::copy_file("models/crate.qrb", "mixed/ROCK.QRB", std::filesystem::copy_options::overwrite_existing);
    std::ofstream("mixed/broken.qrb") << "not a model";
    std::ofstream("mixed/notes.txt") << "skipped";
    ASSERT_EQ(0, Start("mixed/"));
    EXPECT_EQ(-1, FindEntry("notes"));
    LoadAll();
    int r = FindEntry("ROCK.QRB"), b = FindEntry("broken.qrb"), s = FindEntry("sub");
    ASSERT_GE(r, 0);
    ASSERT_GE(b, 0);
    ASSERT_GE(s, 0);
    EXPECT_NE(nullptr, ourViewer.myEntries[(size_t)r].myObject);
    EXPECT_EQ(nullptr, ourViewer.myEntries[(size_t)b].myObject);
    EXPECT_NE(nullptr, strstr(ourViewer.myEntries[(size_t)b].myName.GetBuffer(), "Failed to load 'broken.qrb', error: "));
    EXPECT_EQ(0, ourViewer.myEntries[(size_t)b].myFlag);
    ASSERT_TRUE(ViewerFrame());
    UI_DispatchMessages(false);
    QImage g = ViewerGrabClient();
    const int X = ourViewer.myNumViewsX;
    EXPECT_GT(LabelPixels(g, VIEWER_CELL_WIDTH * (b % X), VIEWER_CELL_HEIGHT * (b / X), 0xFFFFFF00), 10);
    // A failed entry does not enlarge.
    Click(VIEWER_CELL_WIDTH * (b % X) + 50, VIEWER_CELL_HEIGHT * (b / X) + 50);
    EXPECT_TRUE(ourViewer.myDirectoryMode);
    // A sub-folder opens.
    Click(VIEWER_CELL_WIDTH * (s % X) + 50, VIEWER_CELL_HEIGHT * (s / X) + 50);
    EXPECT_EQ(Samples() + "/mixed/sub", ourViewer.myCurrentDirectory.GetBuffer());
    // ".." at the root stays at "/".
    ViewerScanDirectory("/");
    ViewerScanDirectory("..");
    EXPECT_STREQ("/", ourViewer.myCurrentDirectory.GetBuffer());
}

// Names wider than a cell, a failure's text among them: each label stops where its view
// does, so the gap to the next cell keeps the clear colour and the next label stays readable.
TEST_F(TessalyTest, LabelsStayInsideTheirCells)
{
    std::filesystem::create_directories("long");
    const std::string locLong = "_with_a_name_far_wider_than_the_cell_it_is_shown_in";
    std::filesystem::copy_file("models/crate.qrb", "long/crate" + locLong + ".qrb",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file("models/walker.qrb", "long/walker" + locLong + ".qrb",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream("long/broken" + locLong + ".qrb") << "not a model";
    ASSERT_EQ(0, Start("long"));
    ViewerGetClientWidget()->window()->resize(784, 600);
    UI_DispatchMessages(false);
    LoadAll();
    ASSERT_TRUE(ViewerFrame());
    UI_DispatchMessages(false);
    const QImage g = ViewerGrabClient().convertToFormat(QImage::Format_RGB32);
    if (getenv("TESSALY_SAVE"))
        g.save(getenv("TESSALY_SAVE"));
    const int X = ourViewer.myNumViewsX;
    ASSERT_EQ(4, ourViewer.myNumCellsInUse); // ".." and the three files
    ASSERT_GE(X, 3);
    int locFailures = 0;
    for (int i = 0; i < ourViewer.myNumCellsInUse; i++)
    {
        const ViewerEntry& e = ourViewer.myEntries[(size_t)i];
        const int x0 = VIEWER_CELL_WIDTH * (i % X), y0 = VIEWER_CELL_HEIGHT * (i / X);
        locFailures += strncmp(e.myName.GetBuffer(), "Failed to load", 14) == 0;
        EXPECT_GT(LabelPixels(g, x0, y0, LabelColor(e)), e.myFlag && !e.myObject ? 3 : 10) << i;
        // The gap right of the view, label strip included, holds only the clear colour.
        int locInk = 0;
        for (int y = y0; y < y0 + VIEWER_CELL_HEIGHT && y < g.height(); y++)
            for (int x = x0 + VIEWER_VIEW_WIDTH; x < x0 + VIEWER_CELL_WIDTH && x < g.width(); x++)
                locInk += (g.pixel(x, y) & 0xFFFFFF) != 0x7F7F7F;
        EXPECT_EQ(0, locInk) << i;
    }
    EXPECT_EQ(1, locFailures);
}

// A failure's whole text, error code included, is drawn inside its cell: in lines over the
// empty view, a name wider than the view giving way in its middle. The code's glyphs, as
// the font renders them, are found in the grab where the last line is drawn.
TEST_F(TessalyTest, FailureLabelKeepsItsErrorCodeInsideTheCell)
{
    std::filesystem::create_directories("failing");
    const std::string locShort = "damaged_model.qrb", locLong = "a_damaged_model_with_a_name_wider_than_its_view.qrb";
    std::ofstream("failing/" + locShort) << "not a model";
    std::ofstream("failing/" + locLong) << "not a model";
    ASSERT_EQ(0, Start("failing"));
    LoadAll();
    ASSERT_TRUE(ViewerFrame());
    UI_DispatchMessages(false);
    const QImage g = ViewerGrabClient().convertToFormat(QImage::Format_RGB32);
    if (getenv("TESSALY_SAVE"))
        g.save(getenv("TESSALY_SAVE"));
    QR_Font* f = QR_Font::Acquire(TESSALY_FONT_DIR "/Tessaly_font.tga", TESSALY_FONT_DIR "/Tessaly_font.txt");
    ASSERT_NE(nullptr, f);
    const int h = f->myHeight, X = ourViewer.myNumViewsX;
    int locChecked = 0;
    for (int b = 0; b < ourViewer.myNumCellsInUse; b++)
    {
        const std::string locText = ourViewer.myEntries[(size_t)b].myName.GetBuffer();
        if (locText.find("Failed to load") != 0)
            continue;
        locChecked++;
        const bool locIsLong = locText.find(locLong) != std::string::npos;
        EXPECT_TRUE(locIsLong || locText.find("'" + locShort + "'") != std::string::npos) << locText;
        const std::vector<std::string>& locLines = ourViewer.myCells[b]->myLabelLines;
        ASSERT_GE(locLines.size(), 2u) << locText;
        ASSERT_LE(locLines.size(), (size_t)VIEWER_LABEL_LINES) << locText;
        std::string locJoined;
        for (const std::string& l : locLines)
        {
            EXPECT_LE(QR_Font::GetTextWidth(f, l.c_str()), VIEWER_VIEW_WIDTH) << l;
            locJoined += (locJoined.empty() ? "" : " ") + l;
        }
        const std::string locDigits = std::to_string(QR_Error::ourCode);
        EXPECT_EQ(", error: " + locDigits, locJoined.substr(locJoined.size() - locDigits.size() - 9)) << locJoined;
        if (locIsLong)
        {
            // Its beginning and end stay.
            EXPECT_EQ(0u, locJoined.find("Failed to load 'a_damaged_m")) << locJoined;
            EXPECT_NE(std::string::npos, locJoined.find("...")) << locJoined;
            EXPECT_NE(std::string::npos, locJoined.find("view.qrb',")) << locJoined;
        }
        else
            EXPECT_EQ(locText, locJoined);

        // The last line as the font renders it: the columns its digits take hold yellow ink
        // on the label's own line, and the gap right of the view holds none.
        const std::string& locLast = locLines.back();
        std::vector<uint32_t> locLine((size_t)VIEWER_CELL_WIDTH * h, 0);
        QR_Font::RenderToImage32(locLast.c_str(), f, 0, 0, locLine.data(), VIEWER_CELL_WIDTH);
        const int locCodeLeft = QR_Font::GetTextWidth(f, locLast.substr(0, locLast.size() - locDigits.size()).c_str());
        const int locRight = QR_Font::GetTextWidth(f, locLast.c_str());
        const int x0 = VIEWER_CELL_WIDTH * (b % X), y0 = VIEWER_CELL_HEIGHT * (b / X);
        auto locYellow = [&](int x, int aTop, int aBottom)
        {
            for (int y = aTop; y < aBottom; y++)
            {
                const QRgb p = g.pixel(x, y);
                if (qRed(p) > 0xC0 && qGreen(p) > 0xC0 && qBlue(p) < 0x60)
                    return true;
            }
            return false;
        };
        const int locLabelTop = y0 + VIEWER_VIEW_HEIGHT, locLabelBottom = y0 + VIEWER_CELL_HEIGHT;
        int locCodeColumns = 0, locMissing = 0;
        for (int x = locCodeLeft; x < locRight; x++)
        {
            bool locInk = false;
            for (int y = 0; y < h && !locInk; y++)
                locInk = (locLine[(size_t)y * VIEWER_CELL_WIDTH + x] >> 24) > 0x80;
            if (!locInk)
                continue;
            locCodeColumns++;
            bool locSeen = false;
            for (int d = -1; d <= 1; d++)
                locSeen = locSeen || locYellow(x0 + x + d, locLabelTop, locLabelBottom);
            locMissing += !locSeen;
        }
        EXPECT_GE(locCodeColumns, 2) << locLast;
        EXPECT_EQ(0, locMissing) << "of " << locCodeColumns << " columns of the error code in " << locLast;
        // The lines above stand over the view; the first line's ink starts at its left.
        EXPECT_TRUE(locYellow(x0 + 1, y0, locLabelTop) || locYellow(x0 + 2, y0, locLabelTop)) << locText;
        for (int x = x0 + VIEWER_VIEW_WIDTH; x < x0 + VIEWER_CELL_WIDTH; x++)
            EXPECT_FALSE(locYellow(x, y0, locLabelBottom)) << x - x0;
    }
    QR_Font::Release(f);
    EXPECT_EQ(2, locChecked);
}

TEST_F(TessalyTest, MoreThan1024EntriesAreAllKept)
{
    std::filesystem::create_directories("big");
    for (int i = 0; i < 1100; i++)
        std::ofstream("big/m" + std::to_string(i) + ".qrb");
    ASSERT_EQ(0, Start("big"));
    EXPECT_EQ(1101u, ourViewer.myEntries.size()); // with ".."
    std::filesystem::remove_all("big");
}

// The mean colour of a DDS file's top level as drawn over the cell's clear colour: images
// with alpha (DXT3, DXT5) blend, DXT1 ones draw solid (a transparent texel is black).
bool DDSMean(const std::string& aPath, double aMean[3])
{
    std::ifstream f(aPath, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (d.size() < 128)
        return false;
    uint32_t h, w;
    memcpy(&h, &d[12], 4);
    memcpy(&w, &d[16], 4);
    const std::string locFourCC((const char*)&d[84], 4);
    const GFX_Format locFormat = locFourCC == "DXT1" ? GFX_FORMAT_DXT1 : locFourCC == "DXT3" ? GFX_FORMAT_DXT3 : GFX_FORMAT_DXT5;
    if (d.size() < 128 + GFX_FormatLevelSize(locFormat, w, h))
        return false;
    std::vector<uint32_t> p((size_t)w * h);
    GFX_DecompressDXT(locFormat, w, h, &d[128], p.data());
    aMean[0] = aMean[1] = aMean[2] = 0;
    for (uint32_t c : p)
    {
        const double a = locFormat == GFX_FORMAT_DXT1 ? 1.0 : (c >> 24) / 255.0;
        for (int k = 0; k < 3; k++)
            aMean[k] += a * ((c >> (16 - 8 * k)) & 0xFF) + (1.0 - a) * 0x5F;
    }
    for (int k = 0; k < 3; k++)
        aMean[k] /= (double)p.size();
    return true;
}

// The grab of a whole run (the program on its offscreen platform or under X) over a
// folder of models, textures and a damaged model: the entries are listed in the
// program's order and each cell is checked by what it shows.
TEST(TessalyGrab, CellsShowTheirEntries)
{
    const char* locFile = getenv("TESSALY_CHECK_GRAB");
    const char* locDir = getenv("TESSALY_CHECK_DIR");
    if (!locFile || !locDir)
        GTEST_SKIP() << "run by the tessaly_grab test";
    QImage g(locFile);
    ASSERT_FALSE(g.isNull());
    ASSERT_GE(g.width(), 480);
    std::vector<std::string> locEntries; // as the program scans: readdir order
    DIR* d = opendir(locDir);
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d))
    {
        const std::string n = e->d_name;
        const std::string x = n.size() > 4 ? n.substr(n.size() - 4) : "";
        if (n != "." && (e->d_type == DT_DIR || x == ".qrb" || x == ".dds"))
            locEntries.push_back(n);
    }
    closedir(d);
    int X = g.width() / VIEWER_CELL_WIDTH;
    if (VIEWER_CELL_WIDTH * X + VIEWER_VIEW_WIDTH <= g.width())
        X++;
    const int locShown = std::min((int)locEntries.size(), X * (g.height() / VIEWER_CELL_HEIGHT));
    ASSERT_GE(locShown, 6) << "the folder should fit the window";
    int locModels = 0, locTextures = 0;
    for (int i = 0; i < locShown; i++)
    {
        const std::string& n = locEntries[(size_t)i];
        const int x0 = VIEWER_CELL_WIDTH * (i % X), y0 = VIEWER_CELL_HEIGHT * (i / X);
        const Stats s = ViewStats(g, x0, y0, VIEWER_VIEW_WIDTH, VIEWER_VIEW_HEIGHT);
        if (n.find('.') == std::string::npos || n == "..")
        {
            EXPECT_GE(LabelPixels(g, x0, y0, 0xFFFFFF00), 3) << n; // folders: yellow
            continue;
        }
        if (n.size() > 4 && n.substr(n.size() - 4) == ".dds")
        {
            // Blue label; the bitmap fills the view but for a 5-pixel border.
            locTextures++;
            EXPECT_GT(LabelPixels(g, x0, y0, 0xFF0000FF), 10) << n;
            double locWant[3];
            ASSERT_TRUE(DDSMean(std::string(locDir) + "/" + n, locWant)) << n;
            const Stats t = ViewStats(g, x0 + 6, y0 + 6, VIEWER_VIEW_WIDTH - 8, VIEWER_VIEW_HEIGHT - 8);
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(locWant[k], t.myMean[k], 10.0) << n << " channel " << k;
            continue;
        }
        // The folders' models broken on purpose.
        if (n.find("damaged") != std::string::npos || n.find("missing") != std::string::npos)
        {
            // A failure: a yellow label and an empty view.
            EXPECT_GT(LabelPixels(g, x0, y0, 0xFFFFFF00), 10) << n;
            EXPECT_LT(s.myShareChanged, 0.01) << n;
            continue;
        }
        // A model: a white label, and drawn pixels around the view's centre, where the
        // camera looks at the model's bounds.
        locModels++;
        EXPECT_GT(LabelPixels(g, x0, y0, 0xFFFFFFFF), 10) << n;
        EXPECT_GT(s.myShareChanged, 0.01) << n; // a thin bar covers under 2%
        double cx = 0, cy = 0;
        int locChanged = 0;
        for (int y = y0; y < y0 + VIEWER_VIEW_HEIGHT; y++)
            for (int x = x0; x < x0 + VIEWER_VIEW_WIDTH; x++)
            {
                const QRgb p = g.pixel(x, y);
                if (abs(qRed(p) - 0x5F) + abs(qGreen(p) - 0x5F) + abs(qBlue(p) - 0x5F) > 12)
                    cx += x - x0, cy += y - y0, locChanged++;
            }
        ASSERT_GT(locChanged, 0) << n;
        EXPECT_NEAR(VIEWER_VIEW_WIDTH / 2.0, cx / locChanged, VIEWER_VIEW_WIDTH / 4.0) << n;
        EXPECT_NEAR(VIEWER_VIEW_HEIGHT / 2.0, cy / locChanged, VIEWER_VIEW_HEIGHT / 4.0) << n;
        // The gap right of the view and the label strip hold no model pixels.
        const Stats locGap = ViewStats(g, x0 + VIEWER_VIEW_WIDTH - 2, y0 - 2, 20, VIEWER_VIEW_HEIGHT);
        EXPECT_NEAR(0x7F, locGap.myMean[0], 3) << n;
    }
    // The sample tree's model folder holds no textures: it sets the least to 0.
    const char* locMinTextures = getenv("TESSALY_CHECK_MIN_TEXTURES");
    EXPECT_GE(locModels, 2);
    EXPECT_GE(locTextures, locMinTextures ? atoi(locMinTextures) : 2);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    UI_Init(&argc, argv);
    int r = RUN_ALL_TESTS();
    if (!ourSamples.empty())
        std::filesystem::remove_all(ourSamples);
    return r;
}
