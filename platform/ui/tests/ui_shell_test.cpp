// The shell's services for the model editor: key state from real key events,
// calls and questions from a worker thread, filter strings, dialog size and
// show notifications, list prefix search and item data, the focus query,
// forwarded view messages and presented pixels.
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QTest>
#include <QThreadPool>
#include <QTreeView>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
const UI_ControlTemplate ourControls[] = {
    {100, UI_CONTROL_LISTBOX, nullptr, 5, 5, 100, 80, UI_STYLE_BORDER | UI_STYLE_LB_NOTIFY},
    {101, UI_CONTROL_EDIT, "", 110, 5, 60, 12, 0},
};
const UI_DialogTemplate ourTemplate = {1, "Shell", 180, 100, "MS Shell Dlg", 8, ourControls, 2};

std::vector<std::string> ourEvents;

intptr_t locRecordProc(UI_Dialog*, const UI_Message& aMessage)
{
    char locText[64];
    if (aMessage.myKind == UI_MSG_SIZE)
        snprintf(locText, sizeof(locText), "size %dx%d", aMessage.myWidth, aMessage.myHeight);
    else if (aMessage.myKind == UI_MSG_SHOWWINDOW)
        snprintf(locText, sizeof(locText), "show %d", aMessage.myNotifyCode);
    else if (aMessage.myKind == UI_MSG_COMMAND)
        snprintf(locText, sizeof(locText), "command %d %d", aMessage.myControlId, aMessage.myNotifyCode);
    else
        return 0;
    ourEvents.push_back(locText);
    return 0;
}

void locSpinUntil(const std::function<bool()>& aDone)
{
    QElapsedTimer locTimer;
    locTimer.start();
    while (!aDone() && locTimer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

const UI_MenuEntry ourMenu[] = {
    {UI_MENU_POPUP, 0, "&File"},
    {UI_MENU_ITEM, UI_ID_APP_EXIT, "E&xit"},
    {UI_MENU_END, 0, nullptr},
};
const UI_ControlTemplate ourPaneControls[] = {{7, UI_CONTROL_TREE, nullptr, 0, 0, 100, 100, 0}};
const UI_DialogTemplate ourPane = {0, "", 100, 100, nullptr, 0, ourPaneControls, 1};

class ViewRecorder : public UI_FrameHandler
{
public:
    bool OnViewMessage(UI_Frame*, const UI_ViewMessage& aMessage) override
    {
        if (aMessage.myKind == UI_VM_MOUSEMOVE)
            myMoves.push_back(aMessage.myKeyState);
        return false;
    }
    std::vector<unsigned> myMoves;
};
} // namespace

TEST(UIShell, KeyStateFollowsRealKeyEvents)
{
    QWidget locWindow;
    QLineEdit* locEdit = new QLineEdit(&locWindow);
    locWindow.show();
    locWindow.activateWindow();
    locSpinUntil([&]() { return locWindow.isActiveWindow(); });
    locEdit->setFocus();
    QWindow* locHandle = locWindow.windowHandle();
    EXPECT_EQ(UI_GetAsyncKeyState(0x25), 0);
    QTest::keyPress(locHandle, Qt::Key_Left);
    EXPECT_EQ(UI_GetAsyncKeyState(0x25), short(0x8000));
    QTest::keyPress(locHandle, Qt::Key_Shift);
    QTest::keyPress(locHandle, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_NE(UI_GetAsyncKeyState(0x10), 0);
    EXPECT_NE(UI_GetAsyncKeyState(0x70), 0);
    QTest::keyRelease(locHandle, Qt::Key_F1, Qt::ShiftModifier);
    QTest::keyRelease(locHandle, Qt::Key_Shift);
    QTest::keyRelease(locHandle, Qt::Key_Left);
    EXPECT_EQ(UI_GetAsyncKeyState(0x10), 0);
    EXPECT_EQ(UI_GetAsyncKeyState(0x70), 0);
    EXPECT_EQ(UI_GetAsyncKeyState(0x25), 0);
    EXPECT_EQ(UI_GetAsyncKeyState(0), 0);
    EXPECT_EQ(UI_GetAsyncKeyState(300), 0);
}

TEST(UIShell, AWorkerThreadsCallsAndQuestionsRunOnTheUIThreadInOrder)
{
    UI_ScriptedPrompts locPrompts;
    UI_SetPromptService(&locPrompts);
    locPrompts.AnswerBox(OS_ID_NO);
    EXPECT_TRUE(UI_IsUIThread());
    std::vector<int> locOrder;
    std::atomic<bool> locDone{false};
    std::atomic<int> locAnswer{0};
    std::atomic<bool> locWorkerOnUI{true};
    std::thread locWorker([&]() {
        locWorkerOnUI = UI_IsUIThread();
        for (int i = 0; i < 20; i++)
            UI_CallOnUIThread([&locOrder, i]() {
                EXPECT_TRUE(UI_IsUIThread());
                locOrder.push_back(i);
            });
        // The box blocks the worker until it is answered.
        locAnswer = UI_MessageBox("Batch", "Go on?", OS_MB_YESNO);
        locDone = true;
    });
    locSpinUntil([&]() { return locDone.load(); });
    locWorker.join();
    EXPECT_FALSE(locWorkerOnUI);
    ASSERT_EQ(locOrder.size(), 20u);
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(locOrder[size_t(i)], i);
    EXPECT_EQ(locAnswer, OS_ID_NO);
    EXPECT_EQ(locPrompts.GetBoxes(), std::vector<std::string>{"Batch|Go on?"});
    UI_SetPromptService(nullptr);
}

TEST(UIShell, TheStyleDrawsItsExtensionArrowsAsThePlatformStyleDoes)
{
    QStyle* locOurs = QApplication::style();
    QProxyStyle* locProxy = qobject_cast<QProxyStyle*>(locOurs);
    ASSERT_NE(locProxy, nullptr);
    std::unique_ptr<QStyle> locPlain(QStyleFactory::create(locProxy->baseStyle()->name()));
    ASSERT_NE(locPlain, nullptr) << locProxy->baseStyle()->name().toStdString();
    for (QStyle::StandardPixmap locWhich :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton,
          QStyle::SP_MessageBoxWarning})
    {
        QIcon locIcon = locOurs->standardIcon(locWhich);
        QIcon locExpected = locPlain->standardIcon(locWhich);
        ASSERT_FALSE(locIcon.isNull()) << locWhich;
        EXPECT_EQ(locIcon.availableSizes(), locExpected.availableSizes()) << locWhich;
        for (int locSide : {16, 32})
            EXPECT_EQ(locIcon.pixmap(locSide).toImage(), locExpected.pixmap(locSide).toImage()) << locWhich;
    }
}

// A scroll bar in the given state drawn by a style into a picture on a coloured ground,
// offset so that its bands do not start on the picture's rows, and kept to its rectangle
// as a widget's paint is.
QImage locDrawBar(QStyle* aStyle, QScrollBar* aBar, QStyle::State aState, QStyle::SubControls anActive)
{
    QStyleOptionSlider o;
    o.initFrom(aBar);
    o.orientation = aBar->orientation();
    o.minimum = aBar->minimum();
    o.maximum = aBar->maximum();
    o.sliderPosition = o.sliderValue = aBar->sliderPosition();
    o.singleStep = aBar->singleStep();
    o.pageStep = aBar->pageStep();
    o.upsideDown = false;
    o.subControls = QStyle::SC_All;
    o.activeSubControls = anActive;
    o.state |= aState;
    if (o.orientation == Qt::Horizontal)
        o.state |= QStyle::State_Horizontal;
    QImage locImage(aBar->width() + 9, aBar->height() + 13, QImage::Format_RGB32);
    locImage.fill(0xFF3366CCu);
    QPainter p(&locImage);
    p.translate(4, 7);
    p.setClipRect(aBar->rect());
    aStyle->drawComplexControl(QStyle::CC_ScrollBar, &o, &p, aBar);
    return locImage;
}

// Tall bars are drawn in bands: the pixels stay the platform style's, whatever the handle
// crosses, the state or the orientation.
TEST(UIShell, TheStyleDrawsScrollBarsAsThePlatformStyleDoes)
{
    QProxyStyle* locProxy = qobject_cast<QProxyStyle*>(QApplication::style());
    ASSERT_NE(locProxy, nullptr);
    std::unique_ptr<QStyle> locPlain(QStyleFactory::create(locProxy->baseStyle()->name()));
    ASSERT_NE(locPlain, nullptr);
    struct Case
    {
        Qt::Orientation myOrientation;
        int myLength, myMax, myPage, myPos;
        bool myEnabled;
    };
    const Case locCases[] = {
        {Qt::Vertical, 600, 0, 3, 0, true},     // the handle fills the groove
        {Qt::Vertical, 600, 100, 10, 47, true}, // a short handle across a band's edge
        {Qt::Vertical, 263, 5, 1, 5, true},
        {Qt::Vertical, 600, 0, 0, 0, false},
        {Qt::Vertical, 60, 10, 2, 4, true}, // one band
        {Qt::Horizontal, 600, 100, 10, 30, true},
    };
    const std::pair<QStyle::State, QStyle::SubControls> locStates[] = {
        {QStyle::State_None, QStyle::SC_None},
        {QStyle::State_MouseOver, QStyle::SC_ScrollBarSlider},
        {QStyle::State_Sunken, QStyle::SC_ScrollBarAddLine},
    };
    for (const Case& c : locCases)
    {
        QScrollBar locBar(c.myOrientation);
        locBar.setRange(0, c.myMax);
        locBar.setPageStep(c.myPage);
        locBar.setValue(c.myPos);
        locBar.setEnabled(c.myEnabled);
        const int locThickness = std::min(locBar.sizeHint().width(), locBar.sizeHint().height());
        if (c.myOrientation == Qt::Vertical)
            locBar.resize(locThickness, c.myLength);
        else
            locBar.resize(c.myLength, locThickness);
        const std::string locName = std::to_string(c.myLength) + " long, at " + std::to_string(c.myPos);
        for (const auto& s : locStates)
            EXPECT_EQ(locDrawBar(QApplication::style(), &locBar, s.first, s.second),
                      locDrawBar(locPlain.get(), &locBar, s.first, s.second))
                << locName << ", state " << int(s.first);
        // The widget's own paint, as a window shows it.
        QImage locOurs = locBar.grab().toImage();
        locBar.setStyle(locPlain.get());
        EXPECT_EQ(locOurs, locBar.grab().toImage()) << locName;
    }
}

// Qt runs a fill of many lines on the global thread pool and waits for it; with every
// thread of the pool held, such a fill would never end.
TEST(UIShell, ATallScrollBarIsPaintedWithoutThePool)
{
    QScrollBar locBar(Qt::Vertical);
    locBar.setRange(0, 2);
    locBar.setPageStep(3);
    locBar.resize(locBar.sizeHint().width(), 900);
    QThreadPool* locPool = QThreadPool::globalInstance();
    const int locThreads = locPool->maxThreadCount();
    std::atomic<bool> locPainted{false}, locRelease{false};
    std::atomic<int> locHeld{0};
    for (int i = 0; i < locThreads; i++)
        locPool->start(
            [&]()
            {
                locHeld++;
                while (!locRelease)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
    while (locHeld < locThreads)
        std::this_thread::yield();
    // Lets the pool go if the paint waits on it, so that a failure ends.
    std::thread locWatch(
        [&]()
        {
            for (int i = 0; i < 20000 && !locPainted; i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            locRelease = true;
        });
    const QImage locImage = locBar.grab().toImage();
    const bool locReleased = locRelease;
    locPainted = true;
    locWatch.join();
    locRelease = true;
    locPool->waitForDone();
    EXPECT_FALSE(locReleased) << "the paint waited for the pool";
    EXPECT_FALSE(locImage.isNull());
}

TEST(UIShell, FilterStringsBecomePromptFilters)
{
    std::vector<UI_FileFilter> locFilters = UI_ParseFilterString(
        "Known files (*.lws, *.lwo, *.qre)|*.lws;*.lwo;*.qre|Lightwave files (*.lws, *.lwo)|*.lws;*.lwo|All Files "
        "(*.*)|*.*||");
    ASSERT_EQ(locFilters.size(), 3u);
    EXPECT_EQ(locFilters[0].myText, "Known files (*.lws, *.lwo, *.qre)");
    EXPECT_EQ(locFilters[0].myPattern, "*.lws;*.lwo;*.qre");
    EXPECT_EQ(locFilters[2].myPattern, "*.*");
    // "*.*" takes names without a dot, as Windows does.
    EXPECT_TRUE(UI_MatchFilePattern(locFilters[2].myPattern.c_str(), "README"));
    EXPECT_TRUE(UI_MatchFilePattern(locFilters[0].myPattern.c_str(), "SHIP.LWO"));
    EXPECT_EQ(UI_ParseFilterString("Lightwave models (*.lwo)|*.lwo||").size(), 1u);
    EXPECT_TRUE(UI_ParseFilterString("").empty());
    EXPECT_TRUE(UI_ParseFilterString("no patterns").empty());
    EXPECT_EQ(UI_ParseFilterString("A|*.a|B|").size(), 1u);
    EXPECT_EQ(UI_ParseFilterString("A|*.a|B|*.b").size(), 2u);
}

TEST(UIShell, DialogsNotifySizeAndShowAndCanBeResized)
{
    ourEvents.clear();
    UI_Dialog* locDialog = UI_CreateDialog(ourTemplate, locRecordProc, nullptr);
    ASSERT_NE(locDialog, nullptr);
    ourEvents.clear();
    UI_ShowDialog(locDialog, true);
    QCoreApplication::processEvents();
    ASSERT_FALSE(ourEvents.empty());
    EXPECT_NE(std::find(ourEvents.begin(), ourEvents.end(), "show 1"), ourEvents.end());

    // Fixed until allowed: then a new size is notified.
    UI_SetDialogResizable(locDialog, true);
    ourEvents.clear();
    ASSERT_TRUE(UI_SetDialogSize(locDialog, 400, 300));
    QCoreApplication::processEvents();
    EXPECT_NE(std::find(ourEvents.begin(), ourEvents.end(), "size 400x300"), ourEvents.end()) << (ourEvents.empty() ? "" : ourEvents[0]);
    int x, y, w, h;
    ASSERT_TRUE(UI_SetControlRect(locDialog, 100, 3, 4, 250, 200));
    ASSERT_TRUE(UI_GetControlRect(locDialog, 100, &x, &y, &w, &h));
    EXPECT_EQ(x, 3);
    EXPECT_EQ(w, 250);
    EXPECT_EQ(h, 200);
    EXPECT_FALSE(UI_SetControlRect(locDialog, 555, 0, 0, 1, 1));
    EXPECT_FALSE(UI_SetControlRect(locDialog, 100, 0, 0, -1, 1));

    ourEvents.clear();
    UI_ShowDialog(locDialog, false);
    EXPECT_EQ(ourEvents, std::vector<std::string>{"show 0"});
    UI_DestroyDialog(locDialog);
}

TEST(UIShell, ListPrefixSearchAndItemData)
{
    ourEvents.clear();
    UI_Dialog* locDialog = UI_CreateDialog(ourTemplate, locRecordProc, nullptr);
    for (const char* locText : {"Standing", "Walking", "Walk fast", "stand up"})
        UI_ListAdd(locDialog, 100, locText);
    ourEvents.clear();
    EXPECT_EQ(UI_ListSelectString(locDialog, 100, -1, "WALK"), 1);
    EXPECT_EQ(UI_ListGetCurSel(locDialog, 100), 1);
    // From after an entry, wrapping round; not notified.
    EXPECT_EQ(UI_ListSelectString(locDialog, 100, 1, "walk"), 2);
    EXPECT_EQ(UI_ListSelectString(locDialog, 100, 2, "stand"), 3);
    EXPECT_EQ(UI_ListSelectString(locDialog, 100, 3, "stand"), 0);
    EXPECT_EQ(UI_ListSelectString(locDialog, 100, -1, "Running"), -1);
    EXPECT_EQ(UI_ListGetCurSel(locDialog, 100), 0);
    EXPECT_EQ(UI_ListSelectString(locDialog, 100, -1, ""), 0);
    EXPECT_TRUE(ourEvents.empty());
    EXPECT_EQ(UI_ListSelectString(locDialog, 555, -1, "x"), -1);

    EXPECT_EQ(UI_ListGetItemData(locDialog, 100, 2), 0);
    int locObject = 0;
    ASSERT_TRUE(UI_ListSetItemData(locDialog, 100, 2, intptr_t(&locObject)));
    EXPECT_EQ(UI_ListGetItemData(locDialog, 100, 2), intptr_t(&locObject));
    EXPECT_FALSE(UI_ListSetItemData(locDialog, 100, 4, 1));
    EXPECT_EQ(UI_ListGetItemData(locDialog, 100, -1), 0);
    UI_DestroyDialog(locDialog);
}

TEST(UIShell, FocusQueryForwardedMovesAndPresentedPixels)
{
    UI_FrameTemplate locTemplate = {};
    locTemplate.myProgramName = "ShellTest";
    locTemplate.myMenu = ourMenu;
    locTemplate.myNumMenuEntries = 3;
    locTemplate.myLeftPaneWidth = 250;
    UI_Frame* locFrame = UI_CreateFrame(locTemplate);
    ASSERT_NE(locFrame, nullptr);
    UI_Dialog* locPane = UI_FrameCreatePane(locFrame, ourPane, nullptr, 7);
    ASSERT_NE(locPane, nullptr);
    ViewRecorder locRecorder;
    UI_FrameAddHandler(locFrame, &locRecorder);
    UI_FrameShow(locFrame);
    QWidget* locWindow = UI_GetFrameWidget(locFrame);
    locWindow->activateWindow();
    locSpinUntil([&]() { return locWindow->isActiveWindow(); });
    // The left pane starts at the template's width.
    EXPECT_EQ(UI_GetDialogWidget(locPane)->width(), 250);

    UI_GetControlWidget(locPane, 7)->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(UI_FrameGetFocus(locFrame), UI_FOCUS_PANE);
    UI_FrameFocusView(locFrame);
    QCoreApplication::processEvents();
    EXPECT_EQ(UI_FrameGetFocus(locFrame), UI_FOCUS_VIEW);
    EXPECT_EQ(UI_FrameGetFocus(nullptr), UI_FOCUS_OTHER);

    UI_ViewMessage locMove;
    locMove.myKind = UI_VM_MOUSEMOVE;
    locMove.myKeyState = UI_MK_LBUTTON | UI_MK_SHIFT;
    EXPECT_FALSE(UI_FrameSendViewMessage(locFrame, locMove));
    ASSERT_EQ(locRecorder.myMoves.size(), 1u);
    EXPECT_EQ(locRecorder.myMoves[0], unsigned(UI_MK_LBUTTON | UI_MK_SHIFT));

    // Rows with padding at their ends, drawn at the view's top left.
    std::vector<uint32_t> locPixels(8 * 4, 0xFF00FF00);
    for (int y = 0; y < 4; y++)
        locPixels[size_t(y) * 8 + 6] = locPixels[size_t(y) * 8 + 7] = 0xFFFF0000;
    UI_FrameSetViewPixels(locFrame, locPixels.data(), 6, 4, 32);
    QImage locGrab = UI_GetFrameView(locFrame)->grab().toImage();
    EXPECT_EQ(locGrab.pixel(0, 0) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(locGrab.pixel(5, 3) & 0xFFFFFF, 0x00FF00u);
    EXPECT_NE(locGrab.pixel(6, 0) & 0xFFFFFF, 0xFF0000u);
    UI_FrameRemoveHandler(locFrame, &locRecorder);
    UI_DestroyFrame(locFrame);
}

namespace
{
const UI_ControlTemplate ourFurtherControls[] = {
    {200, UI_CONTROL_SLIDER, nullptr, 5, 5, 100, 15, 0},
    {201, UI_CONTROL_SPIN, nullptr, 110, 5, 10, 14, 0},
    {202, UI_CONTROL_PUSHBUTTON, nullptr, 5, 25, 40, 20, UI_STYLE_OWNERDRAW},
    {203, UI_CONTROL_EDIT, "", 5, 50, 60, 12, 0},
    {204, UI_CONTROL_EDIT, "", 70, 50, 60, 12, 0},
};
const UI_DialogTemplate ourFurtherTemplate = {2, "Further", 180, 80, "MS Shell Dlg", 8, ourFurtherControls, 5};

uint32_t ourSwatch = 0x00FF8000;
std::vector<int> ourDeltas;

intptr_t locFurtherProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    if (aMessage.myKind == UI_MSG_DRAWITEM && aMessage.myDrawItem)
    {
        UI_DrawItem* locItem = aMessage.myDrawItem;
        UI_DrawFillRect(locItem, 0, 0, locItem->myWidth, locItem->myHeight, ourSwatch);
        UI_DrawFrameRect(locItem, 0, 0, locItem->myWidth, locItem->myHeight, 0x000000);
    }
    else if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myNotifyCode == UI_UDN_DELTAPOS)
        ourDeltas.push_back(aMessage.myWidth);
    return locRecordProc(aDialog, aMessage);
}
} // namespace

TEST(UIShell, ColourAndFolderChoosersAreScriptable)
{
    UI_ScriptedPrompts locPrompts;
    UI_SetPromptService(&locPrompts);
    uint32_t locColor = 0x000000FF; // red as COLORREF
    locPrompts.AnswerColor(0x00FF0000);
    ASSERT_TRUE(UI_ChooseColor("Colour", &locColor));
    EXPECT_EQ(locColor, 0x00FF0000u);
    EXPECT_EQ(locPrompts.myQuestions.back().myColor, 0x000000FFu);
    // Cancelled or unscripted: the value stays.
    locPrompts.AnswerChooserCancel(UI_ScriptedPrompts::COLOR_DIALOG);
    EXPECT_FALSE(UI_ChooseColor("Colour", &locColor));
    EXPECT_FALSE(UI_ChooseColor("Colour", &locColor));
    EXPECT_EQ(locColor, 0x00FF0000u);
    EXPECT_EQ(locPrompts.myNumUnscripted, 1);

    std::string locFolder = "/start";
    locPrompts.AnswerFolder("/data/models");
    std::thread locWorker([&]() { EXPECT_TRUE(UI_ChooseFolder("Folder", "Pick the source tree", &locFolder)); });
    locSpinUntil([&]() { return locFolder != "/start"; });
    locWorker.join();
    EXPECT_EQ(locFolder, "/data/models");
    EXPECT_EQ(locPrompts.myQuestions.back().myText, "Pick the source tree");
    EXPECT_EQ(locPrompts.myQuestions.back().myFolder, "/start");
    UI_SetPromptService(nullptr);
    // The default service offscreen: nobody can answer, so it cancels.
    EXPECT_FALSE(UI_ChooseFolder("Folder", "", &locFolder));
    EXPECT_FALSE(UI_ChooseColor("Colour", &locColor));
}

TEST(UIShell, PopupMenusGoToTheirTarget)
{
    const UI_MenuEntry locMenu[] = {
        {UI_MENU_POPUP, 0, "State"},   {UI_MENU_ITEM, 32792, "Remove"},   {UI_MENU_SEPARATOR, 0, nullptr},
        {UI_MENU_ITEM, 32789, "Edit"}, {UI_MENU_END, 0, nullptr},         {UI_MENU_POPUP, 0, "Other"},
        {UI_MENU_ITEM, 1, "Not this"}, {UI_MENU_END, 0, nullptr},
    };
    struct Target : UI_FrameHandler
    {
        bool OnCommand(UI_Frame*, int anId) override
        {
            myIds.push_back(anId);
            return true;
        }
        std::vector<int> myIds;
    } locTarget;
    std::vector<int> locOffered;
    UI_PopupHook locOld = UI_SetPopupHook([&](const std::vector<int>& anIds) {
        locOffered = anIds;
        return 32789;
    });
    EXPECT_EQ(UI_TrackPopupMenu(nullptr, locMenu, 8, 100, 100, &locTarget), 32789);
    EXPECT_EQ(locOffered, (std::vector<int>{32792, 32789}));
    EXPECT_EQ(locTarget.myIds, std::vector<int>{32789});
    // An id the menu does not hold counts as dismissed.
    UI_SetPopupHook([](const std::vector<int>&) { return 1; });
    EXPECT_EQ(UI_TrackPopupMenu(nullptr, locMenu, 8, 0, 0, &locTarget), 0);
    UI_SetPopupHook(nullptr);
    EXPECT_EQ(UI_TrackPopupMenu(nullptr, locMenu, 8, 0, 0, &locTarget), 0);
    EXPECT_EQ(locTarget.myIds.size(), 1u);
    UI_SetPopupHook(locOld);
}

TEST(UIShell, SlidersSpinsAndOwnerDrawnButtons)
{
    ourEvents.clear();
    ourDeltas.clear();
    UI_Dialog* locDialog = UI_CreateDialog(ourFurtherTemplate, locFurtherProc, nullptr);
    ASSERT_NE(locDialog, nullptr);
    ASSERT_TRUE(UI_SliderSetRange(locDialog, 200, 0, 255));
    ASSERT_TRUE(UI_SliderSetPos(locDialog, 200, 300));
    EXPECT_EQ(UI_SliderGetPos(locDialog, 200), 255);
    EXPECT_TRUE(ourEvents.empty());
    ASSERT_TRUE(UI_SliderDrag(locDialog, 200, 17));
    EXPECT_EQ(UI_SliderGetPos(locDialog, 200), 17);
    EXPECT_EQ(ourEvents, (std::vector<std::string>{"command 200 20", "command 200 21"}));
    EXPECT_FALSE(UI_SliderSetRange(locDialog, 200, 5, 1));
    EXPECT_EQ(UI_SliderGetPos(locDialog, 201), -1);

    ASSERT_TRUE(UI_SpinSetRange(locDialog, 201, 0, 2));
    ASSERT_TRUE(UI_SpinSetPos(locDialog, 201, 1));
    UI_SpinPress(locDialog, 201, true);
    UI_SpinPress(locDialog, 201, true);
    EXPECT_EQ(UI_SpinGetPos(locDialog, 201), 2);
    UI_SpinPress(locDialog, 201, false);
    EXPECT_EQ(UI_SpinGetPos(locDialog, 201), 1);
    EXPECT_EQ(ourDeltas, (std::vector<int>{1, 1, -1}));

    // The owner-drawn button shows what the procedure draws.
    UI_ShowDialog(locDialog, true);
    QWidget* locButton = UI_GetControlWidget(locDialog, 202);
    QImage locImage = locButton->grab().toImage();
    EXPECT_EQ(locImage.pixel(0, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(locImage.pixel(locImage.width() / 2, locImage.height() / 2) & 0xFFFFFF, 0xFF8000u);
    ourSwatch = 0x0000FF;
    UI_InvalidateControl(locDialog, 202);
    locImage = locButton->grab().toImage();
    EXPECT_EQ(locImage.pixel(locImage.width() / 2, locImage.height() / 2) & 0xFFFFFF, 0x0000FFu);
    ourEvents.clear();
    UI_ClickButton(locDialog, 202);
    EXPECT_EQ(ourEvents, std::vector<std::string>{"command 202 0"});

    ASSERT_TRUE(UI_SetControlToolTip(locDialog, 202, "Pick a colour"));
    EXPECT_EQ(locButton->toolTip().toStdString(), "Pick a colour");
    UI_DestroyDialog(locDialog);
}

TEST(UIShell, NumericFieldsNameTheirRangeAndEditsLimitAndNotifyFocusLoss)
{
    UI_ScriptedPrompts locPrompts;
    UI_SetPromptService(&locPrompts);
    ourEvents.clear();
    UI_Dialog* locDialog = UI_CreateDialog(ourFurtherTemplate, locFurtherProc, nullptr);
    int locInt = -1;
    double locFloat = -1.0;
    UI_SetControlText(locDialog, 203, " 42 ");
    EXPECT_TRUE(UI_GetControlInt(locDialog, 203, 0, 100, "Options", &locInt));
    EXPECT_EQ(locInt, 42);
    EXPECT_FALSE(UI_GetControlInt(locDialog, 203, 0, 10, "Options", &locInt));
    UI_SetControlText(locDialog, 203, "4x");
    EXPECT_FALSE(UI_GetControlInt(locDialog, 203, 0, 10, "Options", &locInt));
    UI_SetControlText(locDialog, 203, "2.5");
    EXPECT_TRUE(UI_GetControlFloat(locDialog, 203, 0.0, 10.0, "Options", &locFloat));
    EXPECT_DOUBLE_EQ(locFloat, 2.5);
    EXPECT_FALSE(UI_GetControlFloat(locDialog, 203, 0.0, 1.5, "Options", &locFloat));
    UI_SetControlText(locDialog, 203, "nan");
    EXPECT_FALSE(UI_GetControlFloat(locDialog, 203, 0.0, 1.5, "Options", &locFloat));
    EXPECT_EQ(locInt, 42);
    EXPECT_DOUBLE_EQ(locFloat, 2.5);
    EXPECT_EQ(locPrompts.GetBoxes(),
              (std::vector<std::string>{"Options|Please enter an integer between 0 and 10.",
                                        "Options|Please enter an integer.", "Options|Please enter a number between 0 "
                                                                            "and 1.5.",
                                        "Options|Please enter a number."}));
    EXPECT_FALSE(UI_GetControlInt(locDialog, 999, 0, 10, "Options", &locInt));
    EXPECT_EQ(locPrompts.GetBoxes().size(), 4u);

    ASSERT_TRUE(UI_SetEditLimit(locDialog, 203, 3));
    QLineEdit* locEdit = static_cast<QLineEdit*>(UI_GetControlWidget(locDialog, 203));
    locEdit->setText("");
    QTest::keyClicks(locEdit, "12345");
    EXPECT_EQ(locEdit->text().toStdString(), "123");
    EXPECT_FALSE(UI_SetEditLimit(locDialog, 200, 3));

    UI_ShowDialog(locDialog, true);
    QWidget* locWindow = UI_GetDialogWidget(locDialog);
    locWindow->activateWindow();
    locSpinUntil([&]() { return locWindow->isActiveWindow(); });
    locEdit->setFocus();
    QCoreApplication::processEvents();
    ourEvents.clear();
    UI_GetControlWidget(locDialog, 204)->setFocus();
    QCoreApplication::processEvents();
    EXPECT_NE(std::find(ourEvents.begin(), ourEvents.end(), "command 203 23"), ourEvents.end());

    ASSERT_TRUE(UI_MoveDialogToLeftEdge(locDialog));
    EXPECT_EQ(locWindow->frameGeometry().left(), locWindow->screen()->availableGeometry().left());
    UI_DestroyDialog(locDialog);
    UI_SetPromptService(nullptr);
}

TEST(UIShell, ADialogMovedToTheLeftEdgeAtItsStartKeepsTheTopItGetsCentredOnItsOwner)
{
    // Moved while it is built, before it shows (as the programs do at the init message): the
    // top is not the screen's corner over the owner's menu bar but the top the dialog gets
    // centred on its owner: its parent's window, else the active window.
    QWidget locOwner;
    locOwner.setGeometry(300, 120, 400, 380);
    locOwner.show();
    locOwner.activateWindow();
    locSpinUntil([&]() { return locOwner.isActiveWindow(); });
    const QRect locArea = locOwner.screen()->availableGeometry();
    const QRect locAround = locOwner.frameGeometry();
    for (bool locParented : {false, true})
    {
        SCOPED_TRACE(locParented);
        UI_Dialog* locOwnerDialog = nullptr;
        if (locParented)
        {
            // The owner as the programs have it: a dialog, moved away from the active window.
            locOwnerDialog = UI_CreateDialog(ourTemplate, nullptr, nullptr);
            QWidget* w = UI_GetDialogWidget(locOwnerDialog);
            w->move(locArea.left() + 40, locArea.top() + 200);
            UI_ShowDialog(locOwnerDialog, true);
        }
        UI_Dialog* locDialog = UI_CreateDialog(ourFurtherTemplate, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
            if (m.myKind == UI_MSG_INITDIALOG)
                EXPECT_TRUE(UI_MoveDialogToLeftEdge(d));
            return 0;
        }, locOwnerDialog);
        UI_ShowDialog(locDialog, true);
        QCoreApplication::processEvents();
        QWidget* locWindow = UI_GetDialogWidget(locDialog);
        const QRect o = locParented ? UI_GetDialogWidget(locOwnerDialog)->frameGeometry() : locAround;
        const QRect f = locWindow->frameGeometry();
        EXPECT_EQ(f.left(), locArea.left());
        EXPECT_GT(f.top(), locArea.top());
        EXPECT_LE(std::abs((f.top() + f.bottom()) - (o.top() + o.bottom())), 2)
            << f.top() << "-" << f.bottom() << " beside " << o.top() << "-" << o.bottom();
        // Shown and moved again, it keeps that top.
        EXPECT_TRUE(UI_MoveDialogToLeftEdge(locDialog));
        EXPECT_EQ(locWindow->frameGeometry().top(), f.top());
        UI_DestroyDialog(locDialog);
        if (locOwnerDialog)
            UI_DestroyDialog(locOwnerDialog);
    }
}

TEST(UIShell, TheUsersTreeExpansionsAreNotified)
{
    static std::vector<std::pair<intptr_t, int>> ourExpansions;
    ourExpansions.clear();
    UI_Dialog* locDialog = UI_CreateDialog(ourPane, [](UI_Dialog*, const UI_Message& aMessage) -> intptr_t {
        if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myNotifyCode == UI_TVN_ITEMEXPANDED)
            ourExpansions.push_back({aMessage.myItem, aMessage.myWidth});
        return 0;
    }, nullptr);
    UI_TreeItem locRoot = UI_TreeInsert(locDialog, 7, UI_TREE_ROOT, "model", -1, false);
    UI_TreeItem locPart = UI_TreeInsert(locDialog, 7, locRoot, "part", -1, false);
    UI_TreeInsert(locDialog, 7, locPart, "State 0 (Standing)", -1, false);
    UI_ShowDialog(locDialog, true);
    // The program's own expansion: no notification.
    ASSERT_TRUE(UI_TreeExpand(locDialog, 7, locRoot, true));
    EXPECT_TRUE(ourExpansions.empty());
    // The user's, as the view makes it.
    QTreeView* locTree = static_cast<QTreeView*>(UI_GetControlWidget(locDialog, 7));
    QModelIndex locPartIndex = locTree->model()->index(0, 0, locTree->model()->index(0, 0));
    locTree->expand(locPartIndex);
    locTree->collapse(locPartIndex);
    ASSERT_EQ(ourExpansions.size(), 2u);
    EXPECT_EQ(ourExpansions[0], (std::pair<intptr_t, int>{locPart, 1}));
    EXPECT_EQ(ourExpansions[1], (std::pair<intptr_t, int>{locPart, 0}));
    EXPECT_FALSE(UI_TreeIsExpanded(locDialog, 7, locPart));
    UI_DestroyDialog(locDialog);
}
