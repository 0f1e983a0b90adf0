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
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <atomic>
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
