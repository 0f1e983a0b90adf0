// The plain top-level window offscreen: the scroll bar's Windows rules and requests,
// the procedure's messages, presented frames and the cursor confinement.
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_qt.h"
#include "platform/ui/tests/ui_paint_counter.h"
#include "platform/ui/ui_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct Seen
{
    int myMessage, myParam1, myParam2;
};

struct Recorder
{
    std::vector<Seen> mySeen;
    bool myFollowScroll = false; // sets the position a request names, as programs do
    int Count(int aMessage) const
    {
        int n = 0;
        for (const Seen& s : mySeen)
            n += s.myMessage == aMessage;
        return n;
    }
    const Seen* Last(int aMessage) const
    {
        for (auto i = mySeen.rbegin(); i != mySeen.rend(); ++i)
            if (i->myMessage == aMessage)
                return &*i;
        return nullptr;
    }
};

intptr_t locProc(UI_Window* aWindow, int aMessage, int aParam1, int aParam2, void* aUserData)
{
    Recorder* r = (Recorder*)aUserData;
    r->mySeen.push_back({aMessage, aParam1, aParam2});
    if (aMessage == UI_WM_VSCROLL && r->myFollowScroll)
    {
        int locMin, locMax, locPage, locPos;
        UI_GetScrollInfo(aWindow, &locMin, &locMax, &locPage, &locPos);
        int p = aParam1 == UI_SB_LINEDOWN ? locPos + 1 : aParam1 == UI_SB_THUMBTRACK ? aParam2 : aParam1 == UI_SB_BOTTOM ? locMax : locPos;
        UI_SetScrollInfo(aWindow, locMin, locMax, locPage, p);
        return 0;
    }
    if (aMessage == UI_WM_CLOSE)
        return 0; // kept open
    return UI_DefWindowProc(aWindow, aMessage, aParam1, aParam2);
}

class UIWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UI_WindowDesc d;
        d.myTitle = "Plain window";
        d.myX = 10;
        d.myY = 20;
        d.myWidth = 400;
        d.myHeight = 300;
        d.myVScrollFlag = true;
        UI_Image locIcon;
        locIcon.myWidth = locIcon.myHeight = 2;
        locIcon.myPixels.assign(4, 0xFF00FF00u);
        d.myIcon = &locIcon;
        d.myProc = locProc;
        d.myUserData = &myRecorder;
        myWindow = UI_CreateWindow(d);
        ASSERT_NE(myWindow, nullptr);
    }
    void TearDown() override
    {
        UI_DestroyWindow(myWindow);
        UI_ClipCursor(nullptr);
    }
    QScrollBar* Bar() { return UI_GetWindowWidget(myWindow)->findChild<QScrollBar*>(); }
    Recorder myRecorder;
    UI_Window* myWindow = nullptr;
};

} // namespace

TEST_F(UIWindowTest, ScrollRangePageAndPositionFollowWindowsRules)
{
    // The position stops at max - page + 1.
    EXPECT_EQ(7, UI_SetScrollInfo(myWindow, 0, 9, 3, 100));
    EXPECT_EQ(0, UI_SetScrollInfo(myWindow, 0, 9, 3, -5));
    EXPECT_EQ(4, UI_SetScrollInfo(myWindow, 0, 9, 3, 4));
    EXPECT_TRUE(Bar()->isEnabled());
    EXPECT_EQ(7, Bar()->maximum());
    EXPECT_EQ(4, Bar()->value());
    EXPECT_EQ(3, Bar()->pageStep());
    // 7 entries in rows of 3 shown 3 at a time: range 0..2, page 3, only position 0.
    EXPECT_EQ(0, UI_SetScrollInfo(myWindow, 0, 2, 3, 2));
    // A page beyond the range's size is cut to it; page 0 lets the position reach max.
    UI_SetScrollInfo(myWindow, 0, 4, 50, 3);
    int locMin, locMax, locPage, locPos;
    UI_GetScrollInfo(myWindow, &locMin, &locMax, &locPage, &locPos);
    EXPECT_EQ(5, locPage);
    EXPECT_EQ(0, locPos);
    EXPECT_EQ(4, UI_SetScrollInfo(myWindow, 0, 4, 0, 9));
    // A range that does not start at 0: the page is cut to its 5 units.
    EXPECT_EQ(5, UI_SetScrollInfo(myWindow, 5, 9, 50, 7));
    UI_GetScrollInfo(myWindow, &locMin, &locMax, &locPage, &locPos);
    EXPECT_EQ(5, locMin);
    EXPECT_EQ(5, locPage);
    EXPECT_EQ(5, Bar()->minimum());
    EXPECT_EQ(5, Bar()->maximum());
    // A range 0..-1 disables the bar.
    EXPECT_EQ(0, UI_SetScrollInfo(myWindow, 0, -1, 1, 3));
    EXPECT_FALSE(Bar()->isEnabled());
    UI_GetScrollInfo(myWindow, &locMin, &locMax, &locPage, &locPos);
    EXPECT_EQ(-1, locMax);
    EXPECT_EQ(0, locPage);
}

TEST_F(UIWindowTest, BarActionsArriveAsRequestsAndMoveOnlyWhenTheProgramSets)
{
    UI_ShowWindow(myWindow, true);
    UI_SetScrollInfo(myWindow, 0, 9, 3, 2);
    const struct
    {
        QAbstractSlider::SliderAction myAction;
        int myRequest;
    } locCases[] = {
        {QAbstractSlider::SliderSingleStepAdd, UI_SB_LINEDOWN}, {QAbstractSlider::SliderSingleStepSub, UI_SB_LINEUP},
        {QAbstractSlider::SliderPageStepAdd, UI_SB_PAGEDOWN},   {QAbstractSlider::SliderPageStepSub, UI_SB_PAGEUP},
        {QAbstractSlider::SliderToMinimum, UI_SB_TOP},          {QAbstractSlider::SliderToMaximum, UI_SB_BOTTOM},
    };
    for (const auto& c : locCases)
    {
        Bar()->triggerAction(c.myAction);
        const Seen* s = myRecorder.Last(UI_WM_VSCROLL);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(c.myRequest, s->myParam1);
        // The procedure did not set it: the position stays.
        EXPECT_EQ(2, Bar()->value()) << c.myRequest;
        int locPos;
        UI_GetScrollInfo(myWindow, nullptr, nullptr, nullptr, &locPos);
        EXPECT_EQ(2, locPos);
    }
    myRecorder.myFollowScroll = true;
    Bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(3, Bar()->value());
    Bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(7, Bar()->value()); // the procedure asked for 9; the rule keeps 7
    // Dragging the thumb sends the track position.
    Bar()->setSliderDown(true);
    Bar()->setSliderPosition(5);
    const Seen* s = myRecorder.Last(UI_WM_VSCROLL);
    EXPECT_EQ(UI_SB_THUMBTRACK, s->myParam1);
    EXPECT_EQ(5, s->myParam2);
    Bar()->setSliderDown(false);
    EXPECT_EQ(5, Bar()->value());
}

TEST_F(UIWindowTest, SizeCloseClickAndActivationReachTheProcedure)
{
    QWidget* w = UI_GetWindowWidget(myWindow);
    EXPECT_EQ(QString("Plain window"), w->windowTitle());
    EXPECT_FALSE(w->windowIcon().isNull());
    EXPECT_EQ(QRect(10, 20, 400, 300), w->geometry());
    UI_ShowWindow(myWindow, true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    // Offscreen counts as active, and stays so: only a change is sent.
    ASSERT_EQ(1, myRecorder.Count(UI_WM_ACTIVATEAPP));
    EXPECT_EQ(1, myRecorder.Last(UI_WM_ACTIVATEAPP)->myParam1);
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_EQ(1, myRecorder.Count(UI_WM_ACTIVATEAPP));

    // The size is the client area's: the bar takes its width beside it.
    w->resize(500, 260);
    QApplication::processEvents();
    const Seen* s = myRecorder.Last(UI_WM_SIZE);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(500 - Bar()->width(), s->myParam1);
    EXPECT_EQ(260, s->myParam2);
    int locW, locH;
    UI_GetClientSize(myWindow, &locW, &locH);
    EXPECT_EQ(s->myParam1, locW);
    EXPECT_EQ(260, locH);

    // Left-button-up in client coordinates; other buttons send nothing.
    QWidget* c = UI_GetWindowClient(myWindow);
    QTest::mouseClick(c, Qt::LeftButton, Qt::NoModifier, QPoint(37, 41));
    s = myRecorder.Last(UI_WM_LBUTTONUP);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(37, s->myParam1);
    EXPECT_EQ(41, s->myParam2);
    QTest::mouseClick(c, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(1, myRecorder.Count(UI_WM_LBUTTONUP));
    int x = 3, y = 4;
    UI_ClientToScreen(myWindow, &x, &y);
    EXPECT_EQ(c->mapToGlobal(QPoint(3, 4)), QPoint(x, y));

    // Close: this procedure keeps the window; the default procedure hides it.
    w->close();
    EXPECT_EQ(1, myRecorder.Count(UI_WM_CLOSE));
    EXPECT_TRUE(w->isVisible());
    UI_DefWindowProc(myWindow, UI_WM_CLOSE, 0, 0);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(UIWindowTest, PresentedFramePaintsTopLeftUnscaled)
{
    UI_ShowWindow(myWindow, true);
    QWidget* c = UI_GetWindowClient(myWindow);
    // A 20 x 10 frame with a wider stride: left half red, right half blue, one green pixel.
    const int locStride = 24 * 4;
    std::vector<uint32_t> locPixels(24 * 10, 0xFFFFFFFFu);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 20; x++)
            locPixels[y * 24 + x] = x < 10 ? 0xFFFF0000u : 0xFF0000FFu;
    locPixels[5 * 24 + 19] = 0xFF00FF00u;
    UI_WindowPresent(myWindow, locPixels.data(), 20, 10, locStride);
    QImage g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFFFF0000u, g.pixel(0, 0));
    EXPECT_EQ(0xFFFF0000u, g.pixel(9, 9));
    EXPECT_EQ(0xFF0000FFu, g.pixel(10, 0));
    EXPECT_EQ(0xFF00FF00u, g.pixel(19, 5));
    // Outside the frame the button face, not the stride's padding.
    const QRgb locFace = c->palette().button().color().rgb();
    EXPECT_EQ(locFace, g.pixel(20, 5));
    EXPECT_EQ(locFace, g.pixel(5, 10));
    EXPECT_EQ(locFace, g.pixel(c->width() - 1, c->height() - 1));
    // A bad size or stride keeps the last frame.
    UI_WindowPresent(myWindow, locPixels.data(), 20, 10, 40);
    UI_WindowPresent(myWindow, nullptr, 20, 10, locStride);
    g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFFFF0000u, g.pixel(0, 0));

    // A frame larger than the client (a back buffer the screen's size), then a small one again.
    const int W = c->width() + 300, H = c->height() + 200;
    std::vector<uint32_t> locLarge(size_t(W) * H);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            locLarge[size_t(y) * W + x] = 0xFF000000u | uint32_t(x & 0xFF) << 8 | uint32_t(y & 0xFF);
    UI_WindowPresent(myWindow, locLarge.data(), W, H, W * 4);
    g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int cx = c->width() - 1, cy = c->height() - 1;
    EXPECT_EQ(0xFF000000u | uint32_t(cx & 0xFF) << 8 | uint32_t(cy & 0xFF), g.pixel(cx, cy));
    EXPECT_EQ(0xFF000000u | 7u << 8 | 3u, g.pixel(7, 3));
    UI_WindowPresent(myWindow, locPixels.data(), 20, 10, locStride);
    g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFF0000FFu, g.pixel(10, 0));
    EXPECT_EQ(locFace, g.pixel(cx, cy));
}

TEST_F(UIWindowTest, ShownPixelsAreTheCallersUntilKeptOrCopied)
{
    UI_ShowWindow(myWindow, true);
    QWidget* c = UI_GetWindowClient(myWindow);
    const int locStride = 24 * 4;
    std::vector<uint32_t> locPixels(24 * 10, 0xFFFF0000u);
    UI_WindowShowPixels(myWindow, locPixels.data(), 20, 10, locStride);
    QImage g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFFFF0000u, g.pixel(19, 9));
    const QRgb locFace = c->palette().button().color().rgb();
    EXPECT_EQ(locFace, g.pixel(20, 5));
    // Not copied: the next frame in the same pixels shows as it is drawn.
    std::fill(locPixels.begin(), locPixels.end(), 0xFF00FF00u);
    UI_WindowShowPixels(myWindow, locPixels.data(), 20, 10, locStride);
    g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFF00FF00u, g.pixel(3, 3));
    // Kept: the caller's pixels may go.
    UI_WindowKeepPixels(myWindow);
    std::fill(locPixels.begin(), locPixels.end(), 0xFF0000FFu);
    locPixels.assign(4, 0);
    locPixels.shrink_to_fit();
    g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFF00FF00u, g.pixel(3, 3));
    EXPECT_EQ(0xFF00FF00u, g.pixel(19, 9));
    EXPECT_EQ(locFace, g.pixel(20, 5));
    UI_WindowKeepPixels(myWindow); // nothing borrowed: nothing to do

    // Shown, then a copied present of another size: the copy is the window's own.
    std::vector<uint32_t> locOther(8 * 6, 0xFF123456u);
    UI_WindowShowPixels(myWindow, locOther.data(), 8, 6, 8 * 4);
    UI_WindowPresent(myWindow, locOther.data(), 6, 6, 8 * 4);
    locOther.assign(locOther.size(), 0xFF000000u);
    g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFF123456u, g.pixel(5, 5));
    EXPECT_EQ(locFace, g.pixel(6, 0));
    // Bad sizes leave the last frame.
    UI_WindowShowPixels(myWindow, nullptr, 8, 6, 8 * 4);
    UI_WindowShowPixels(myWindow, locOther.data(), 8, 6, 7 * 4);
    g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFF123456u, g.pixel(0, 0));
}

// Shown pixels are painted when the program asks, at once and once, or else
// shortly after on the window's own.
TEST_F(UIWindowTest, ShownPixelsArePaintedOnAskingOrSoonAfter)
{
    UI_ShowWindow(myWindow, true);
    QWidget* c = UI_GetWindowClient(myWindow);
    QApplication::processEvents();
    UI_PaintCounter locCounter(c);
    std::vector<uint32_t> locPixels(20 * 10, 0xFF00FF00u);
    UI_WindowShowPixels(myWindow, locPixels.data(), 20, 10, 20 * 4);
    UI_UpdateWindow(myWindow);
    EXPECT_EQ(locCounter.myPaints, 1);
    UI_UpdateWindow(myWindow); // painted already: nothing to do
    EXPECT_EQ(locCounter.myPaints, 1);

    // Not asked: painted by the window itself.
    std::fill(locPixels.begin(), locPixels.end(), 0xFF0000FFu);
    UI_WindowShowPixels(myWindow, locPixels.data(), 20, 10, 20 * 4);
    for (int i = 0; i < 200 && locCounter.myPaints < 2; i++)
        QTest::qWait(10);
    EXPECT_EQ(locCounter.myPaints, 2);
    UI_UpdateWindow(myWindow);
    EXPECT_EQ(locCounter.myPaints, 2);
    const QImage g = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(0xFF0000FFu, g.pixel(3, 3));
    UI_UpdateWindow(nullptr);
}

TEST_F(UIWindowTest, ClipCursorKeepsTheCursorInsideUntilLifted)
{
    UI_ShowWindow(myWindow, true);
    QWidget* w = UI_GetWindowWidget(myWindow);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    UI_Rect r;
    EXPECT_FALSE(UI_GetClipCursor(&r));
    UI_Rect locEmpty;
    locEmpty.myLeft = locEmpty.myRight = 50;
    locEmpty.myBottom = 10;
    EXPECT_FALSE(UI_ClipCursor(&locEmpty));

    QCursor::setPos(300, 280);
    UI_Rect locClip;
    locClip.myLeft = 40;
    locClip.myTop = 50;
    locClip.myRight = 140;
    locClip.myBottom = 150;
    ASSERT_TRUE(UI_ClipCursor(&locClip));
    ASSERT_TRUE(UI_GetClipCursor(&r));
    EXPECT_EQ(139, r.myRight - 1);
    // Confining moves the cursor inside at once (right and bottom exclusive).
    EXPECT_EQ(QPoint(139, 149), QCursor::pos());

    // A move the program sees outside the rectangle puts it back on the edge.
    QWindow* h = w->windowHandle();
    const QPoint locOutside(5, 400);
    QMouseEvent e(QEvent::MouseMove, h->mapFromGlobal(locOutside), locOutside, Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(h, &e);
    EXPECT_EQ(QPoint(40, 149), QCursor::pos());

    // The moves still reach their window.
    struct Probe : QWindow
    {
        int myMoves = 0;
        void mouseMoveEvent(QMouseEvent*) override { myMoves++; }
    } locProbe;
    QMouseEvent e3(QEvent::MouseMove, QPointF(50, 60), QPointF(50, 60), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&locProbe, &e3);
    QApplication::sendEvent(&locProbe, &e);
    EXPECT_EQ(2, locProbe.myMoves);

    UI_ClipCursor(nullptr);
    EXPECT_FALSE(UI_GetClipCursor(nullptr));
    QCursor::setPos(300, 280);
    QMouseEvent e2(QEvent::MouseMove, h->mapFromGlobal(QPoint(300, 280)), QPoint(300, 280), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(h, &e2);
    EXPECT_EQ(QPoint(300, 280), QCursor::pos());
}

// Qt's note that the offscreen platform passes no size hints on, printed for every window
// shown, stays off standard error; its other messages still come.
TEST_F(UIWindowTest, QtsSizeHintNoteIsDroppedAndItsOtherMessagesKept)
{
    std::fflush(stderr);
    FILE* locCapture = std::tmpfile();
    ASSERT_NE(locCapture, nullptr);
    const int locSaved = dup(2);
    dup2(fileno(locCapture), 2);
    UI_WindowDesc d;
    d.myTitle = "Second window";
    d.myWidth = 200;
    d.myHeight = 100;
    UI_Window* locWindow = UI_CreateWindow(d);
    UI_ShowWindow(locWindow, true);
    UI_ShowWindow(myWindow, true);
    QTest::qWaitForWindowExposed(UI_GetWindowWidget(locWindow));
    qWarning("This plugin does not support propagateSizeHints()");
    qWarning("A message of the test's own");
    UI_DestroyWindow(locWindow);
    std::fflush(stderr);
    dup2(locSaved, 2);
    close(locSaved);
    std::string locText;
    std::rewind(locCapture);
    for (int c; (c = std::fgetc(locCapture)) != EOF;)
        locText += (char)c;
    std::fclose(locCapture);
    EXPECT_EQ(locText.find("propagateSizeHints"), std::string::npos) << locText;
    EXPECT_NE(locText.find("A message of the test's own"), std::string::npos) << locText;
}
