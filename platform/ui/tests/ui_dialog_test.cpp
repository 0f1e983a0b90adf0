// Dialogs from control tables on Qt's offscreen platform.
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QUrl>

#include <gtest/gtest.h>

#include <vector>

namespace
{
enum
{
    ID_BUTTON = 10,
    ID_LIST = 11,
    ID_SINGLE = 12,
};

const UI_ControlTemplate ourControls[] = {
    {ID_BUTTON, UI_CONTROL_PUSHBUTTON, "Press", 301, 24, 57, 14, 0},
    {ID_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 291, 304,
     UI_STYLE_LB_SORT | UI_STYLE_LB_EXTENDEDSEL | UI_STYLE_VSCROLL | UI_STYLE_BORDER | UI_STYLE_LB_NOTIFY |
         UI_STYLE_ACCEPTFILES},
    {ID_SINGLE, UI_CONTROL_LISTBOX, nullptr, 301, 100, 57, 40, 0},
};
const UI_DialogTemplate ourTemplate = {100, "Caption", 365, 318, "MS Shell Dlg", 8, ourControls, 3};

std::vector<UI_Message> ourMessages;
std::vector<std::string> ourDropped;

intptr_t locRecordingProc(UI_Dialog*, const UI_Message& aMessage)
{
    ourMessages.push_back(aMessage);
    if (aMessage.myKind == UI_MSG_DROPFILES)
        ourDropped = *aMessage.myDroppedFiles;
    return aMessage.myKind == UI_MSG_INITDIALOG;
}

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ourMessages.clear();
        ourDropped.clear();
        myDialog = UI_CreateDialog(ourTemplate, locRecordingProc, nullptr);
        ASSERT_NE(myDialog, nullptr);
    }
    void TearDown() override { UI_DestroyDialog(myDialog); }

    int CountCommands(int anId) const
    {
        int locNum = 0;
        for (const UI_Message& locMessage : ourMessages)
            if (locMessage.myKind == UI_MSG_COMMAND && locMessage.myControlId == anId)
                locNum++;
        return locNum;
    }

    UI_Dialog* myDialog = nullptr;
};

int locMulDiv(int aValue, int aNumerator, int aDenominator)
{
    return (2 * aValue * aNumerator + aDenominator) / (2 * aDenominator);
}
} // namespace

TEST_F(DialogTest, LayoutConvertsDialogUnitsWithTheFontBaseUnits)
{
    ASSERT_FALSE(ourMessages.empty());
    EXPECT_EQ(ourMessages.front().myKind, UI_MSG_INITDIALOG);
    int locBaseX = 0, locBaseY = 0;
    UI_GetDialogBaseUnits(myDialog, &locBaseX, &locBaseY);
    EXPECT_GE(locBaseX, 4);
    EXPECT_GE(locBaseY, 10);
    int x, y, w, h;
    ASSERT_TRUE(UI_GetControlRect(myDialog, 0, &x, &y, &w, &h));
    EXPECT_EQ(w, locMulDiv(365, locBaseX, 4));
    EXPECT_EQ(h, locMulDiv(318, locBaseY, 8));
    ASSERT_TRUE(UI_GetControlRect(myDialog, ID_BUTTON, &x, &y, &w, &h));
    EXPECT_EQ(x, locMulDiv(301, locBaseX, 4));
    EXPECT_EQ(y, locMulDiv(24, locBaseY, 8));
    EXPECT_EQ(w, locMulDiv(57, locBaseX, 4));
    EXPECT_EQ(h, locMulDiv(14, locBaseY, 8));
    EXPECT_TRUE(UI_HasControl(myDialog, ID_LIST));
    EXPECT_FALSE(UI_HasControl(myDialog, 999));
    EXPECT_FALSE(UI_EnableControl(myDialog, 999, true));
    EXPECT_EQ(UI_ListAdd(myDialog, ID_BUTTON, "x"), -1);
}

TEST_F(DialogTest, SortedListIgnoresCaseAndFindsExactMatchesOnly)
{
    for (const char* locText : {"b.txt", "A.txt", "c", "_x", "a.TXT2", "B.TXT"})
        UI_ListAdd(myDialog, ID_LIST, locText);
    std::vector<std::string> locOrder;
    std::string locText;
    for (int i = 0; UI_ListGetText(myDialog, ID_LIST, i, &locText); i++)
        locOrder.push_back(locText);
    EXPECT_EQ(locOrder, (std::vector<std::string>{"_x", "A.txt", "a.TXT2", "b.txt", "B.TXT", "c"}));
    EXPECT_EQ(UI_ListFindExact(myDialog, ID_LIST, "a.txt"), 1);
    EXPECT_EQ(UI_ListFindExact(myDialog, ID_LIST, "b.TXT"), 3);
    EXPECT_EQ(UI_ListFindExact(myDialog, ID_LIST, "a.tx"), -1);
    EXPECT_FALSE(UI_ListGetText(myDialog, ID_LIST, 6, &locText));
    EXPECT_FALSE(UI_ListGetText(myDialog, ID_LIST, -1, &locText));
    EXPECT_TRUE(UI_ListDelete(myDialog, ID_LIST, 0));
    EXPECT_FALSE(UI_ListDelete(myDialog, ID_LIST, 5));
    EXPECT_EQ(UI_ListGetCount(myDialog, ID_LIST), 5);
    EXPECT_TRUE(UI_ListReset(myDialog, ID_LIST));
    EXPECT_EQ(UI_ListGetCount(myDialog, ID_LIST), 0);
    // Programmatic changes send no selection notification.
    EXPECT_EQ(CountCommands(ID_LIST), 0);
}

TEST_F(DialogTest, SelectedIndicesComeInAscendingOrder)
{
    for (const char* locText : {"e", "d", "c", "b", "a"})
        UI_ListAdd(myDialog, ID_LIST, locText);
    int locIndices[8];
    EXPECT_EQ(UI_ListGetSelItems(myDialog, ID_LIST, locIndices, 8), 0);
    UI_ListSetSel(myDialog, ID_LIST, 4, true);
    UI_ListSetSel(myDialog, ID_LIST, 0, true);
    UI_ListSetSel(myDialog, ID_LIST, 2, true);
    ASSERT_EQ(UI_ListGetSelItems(myDialog, ID_LIST, locIndices, 8), 3);
    EXPECT_EQ(locIndices[0], 0);
    EXPECT_EQ(locIndices[1], 2);
    EXPECT_EQ(locIndices[2], 4);
    EXPECT_EQ(UI_ListGetSelItems(myDialog, ID_LIST, locIndices, 2), 2);

    // A single-selection list answers with its current selection.
    UI_ListAdd(myDialog, ID_SINGLE, "one");
    UI_ListAdd(myDialog, ID_SINGLE, "two");
    EXPECT_EQ(UI_ListGetCurSel(myDialog, ID_SINGLE), -1);
    EXPECT_EQ(UI_ListGetSelItems(myDialog, ID_SINGLE, locIndices, 8), 0);
    UI_ListSetSel(myDialog, ID_SINGLE, 1, true);
    EXPECT_EQ(UI_ListGetCurSel(myDialog, ID_SINGLE), 1);
    ASSERT_EQ(UI_ListGetSelItems(myDialog, ID_SINGLE, locIndices, 8), 1);
    EXPECT_EQ(locIndices[0], 1);
}

TEST_F(DialogTest, ButtonsSendCommandsOnlyWhenEnabled)
{
    UI_ClickButton(myDialog, ID_BUTTON);
    EXPECT_EQ(CountCommands(ID_BUTTON), 1);
    UI_EnableControl(myDialog, ID_BUTTON, false);
    EXPECT_FALSE(UI_IsControlEnabled(myDialog, ID_BUTTON));
    UI_ClickButton(myDialog, ID_BUTTON);
    EXPECT_EQ(CountCommands(ID_BUTTON), 1);
    std::string locText;
    ASSERT_TRUE(UI_GetControlText(myDialog, ID_BUTTON, &locText));
    EXPECT_EQ(locText, "Press");
}

TEST_F(DialogTest, TitleDropsItsLineEndAndKeepsMarks)
{
    UI_SetDialogTitle(myDialog, "Tool - Working on a[*].txt... 1/2 (50.0%)\n");
    EXPECT_EQ(UI_GetDialogTitle(myDialog), "Tool - Working on a[*].txt... 1/2 (50.0%)");
    UI_ShowDialog(myDialog, true);
    ASSERT_NE(UI_GetDialogWidget(myDialog)->windowHandle(), nullptr);
    EXPECT_EQ(UI_GetDialogWidget(myDialog)->windowHandle()->title().toStdString(), "Tool - Working on a[*].txt... 1/2 (50.0%)");
}

TEST_F(DialogTest, ClosingAndKeysReachTheProcedureAndTheWindowStays)
{
    UI_ShowDialog(myDialog, true);
    QWidget* locWidget = UI_GetDialogWidget(myDialog);
    locWidget->close();
    EXPECT_TRUE(locWidget->isVisible());
    ASSERT_FALSE(ourMessages.empty());
    EXPECT_EQ(ourMessages.back().myKind, UI_MSG_CLOSE);

    QKeyEvent locEscape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(locWidget, &locEscape);
    EXPECT_TRUE(locWidget->isVisible());
    EXPECT_EQ(CountCommands(UI_IDCANCEL), 1);
}

TEST_F(DialogTest, MouseMovesOverTheDialogReachTheProcedureWithButtonsAndKeys)
{
    UI_ShowDialog(myDialog, true);
    QWidget* locWidget = UI_GetDialogWidget(myDialog);
    QWindow* locWindow = locWidget->windowHandle();
    ASSERT_NE(locWindow, nullptr);
    // A point of the client area between the button and the small list, over no control.
    int bx, by, bw, bh, sx, sy, sw, sh;
    ASSERT_TRUE(UI_GetControlRect(myDialog, ID_BUTTON, &bx, &by, &bw, &bh));
    ASSERT_TRUE(UI_GetControlRect(myDialog, ID_SINGLE, &sx, &sy, &sw, &sh));
    const QPoint locPoint(bx + bw / 2, (by + bh + sy) / 2);
    auto locMoves = [] {
        std::vector<UI_Message> locFound;
        for (const UI_Message& m : ourMessages)
            if (m.myKind == UI_MSG_MOUSEMOVE)
                locFound.push_back(m);
        return locFound;
    };
    // Without a button held, as the window system sends a hovering pointer.
    ourMessages.clear();
    QTest::mouseMove(locWindow, locPoint);
    QCoreApplication::processEvents();
    std::vector<UI_Message> locFound = locMoves();
    ASSERT_FALSE(locFound.empty());
    EXPECT_EQ(locFound.back().myX, locPoint.x());
    EXPECT_EQ(locFound.back().myY, locPoint.y());
    EXPECT_EQ(locFound.back().myKeyState, 0u);
    // Dragged with the left button held.
    ourMessages.clear();
    QTest::mousePress(locWindow, Qt::LeftButton, Qt::NoModifier, locPoint);
    QTest::mouseMove(locWindow, locPoint + QPoint(3, 2));
    QCoreApplication::processEvents();
    locFound = locMoves();
    ASSERT_FALSE(locFound.empty());
    EXPECT_EQ(locFound.back().myX, locPoint.x() + 3);
    EXPECT_TRUE(locFound.back().myKeyState & UI_MK_LBUTTON);
    EXPECT_FALSE(locFound.back().myKeyState & UI_MK_RBUTTON);
    QTest::mouseRelease(locWindow, Qt::LeftButton, Qt::NoModifier, locPoint + QPoint(3, 2));
    // Shift and Control come with the event's modifiers (the test's own move carries them).
    ourMessages.clear();
    ASSERT_TRUE(UI_DialogMouseMove(myDialog, 5, 6, UI_MK_RBUTTON | UI_MK_SHIFT | UI_MK_CONTROL));
    locFound = locMoves();
    ASSERT_EQ(locFound.size(), 1u);
    EXPECT_EQ(locFound[0].myKeyState, unsigned(UI_MK_RBUTTON | UI_MK_SHIFT | UI_MK_CONTROL));
    EXPECT_EQ(locFound[0].myX, 5);
}

TEST_F(DialogTest, FilesDroppedOnTheListReachTheProcedure)
{
    QListWidget* locList = qobject_cast<QListWidget*>(UI_GetControlWidget(myDialog, ID_LIST));
    ASSERT_NE(locList, nullptr);
    UI_ShowDialog(myDialog, true);
    QMimeData locData;
    locData.setUrls({QUrl::fromLocalFile("/tmp/a b/x.txt"), QUrl::fromLocalFile("/tmp/y")});
    QPoint locPos(10, 10);
    QDragEnterEvent locEnter(locPos, Qt::CopyAction, &locData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(locList->viewport(), &locEnter);
    EXPECT_TRUE(locEnter.isAccepted());
    QDropEvent locDrop(QPointF(locPos), Qt::CopyAction, &locData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(locList->viewport(), &locDrop);
    EXPECT_EQ(ourDropped, (std::vector<std::string>{"/tmp/a b/x.txt", "/tmp/y"}));
    EXPECT_FALSE(UI_DropFiles(myDialog, ID_SINGLE, {"/tmp/z"}));
}

static int ourIdlePasses = 0;
static void locIdle(void*)
{
    if (++ourIdlePasses == 3)
        UI_PostQuitMessage(-2);
}

TEST(MessageLoopTest, QuitMessageEndsTheLoopWithItsValueAfterIdlePasses)
{
    UI_ClearQuitMessage();
    ourIdlePasses = 0;
    // Something to wake the loop: idle passes run after events.
    QTimer locTimer;
    locTimer.start(1);
    EXPECT_EQ(UI_RunMessageLoop(locIdle, nullptr), -2);
    EXPECT_EQ(ourIdlePasses, 3);
    int locValue = 0;
    EXPECT_TRUE(UI_PeekQuitMessage(&locValue));
    EXPECT_EQ(locValue, -2);
    UI_ClearQuitMessage();
    EXPECT_FALSE(UI_PeekQuitMessage(nullptr));
}

TEST(CursorTest, WaitCursorOverridesUntilTheArrowReturns)
{
    UI_SetCursor(UI_CURSOR_WAIT);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    UI_SetCursor(UI_CURSOR_WAIT);
    UI_SetCursor(UI_CURSOR_ARROW);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
