// The spreadsheet in the running program offscreen: opened from the tree over
// a real .fruit/.velk pair, driven by the view pane's mouse and keys, acting
// on the tree and the value dialog.
#include "korrinth/korrinth.h"
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/appfacade.h"
#include "owncode/dlg_instance.h"
#include "owncode/velktree.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "velk/velk_namespace.h"
#include "velkeditor/spreadsheeteditor2.h"
#include "velkeditor/tests/velk_xdotool.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <chrono>

using namespace korrinth_test;

namespace
{
const char* const ARMY_FRUIT = "CLASS Pos\r\n{\r\nNUMBER x 0\r\nNUMBER y 0\r\n}\r\n"
                               "CLASS Unit\r\n{\r\nTEXT name\r\nNUMBER hp 10\r\nPos pos\r\n}\r\n"
                               "SCRIPTCLASS Army\r\n{\r\nUnit\r\n}\r\n";
const char* const ARMY_VELK = "INCLUDE army.fruit\r\n"
                              "Army army\r\n{\r\n"
                              "\tUnit Unit(0)\r\n\t{\r\n\t\tname alpha\r\n\t\thp 5\r\n"
                              "\t\tpos\r\n\t\t{\r\n\t\t\tx 1\r\n\t\t\ty 2\r\n\t\t}\r\n\t}\r\n"
                              "\tUnit Unit(1)\r\n\t{\r\n\t\tname beta\r\n\t}\r\n"
                              "\tUnit Unit(2)\r\n\t{\r\n\t\tname gamma\r\n\t\thp 7\r\n\t}\r\n"
                              "}\r\n";

class KorrinthSheetTest : public DataFolderTest
{
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        SpreadSheetEditor2::ResetSharedState();
        WriteFile(myDir / "army.fruit", ARMY_FRUIT);
        WriteFile(myDir / "army.velk", ARMY_VELK);
    }
    void TearDown() override
    {
        UI_SetModalHook(nullptr);
        if (myProgram)
            Korrinth_Stop(myProgram);
        SpreadSheetEditor2::ResetSharedState();
        DataFolderTest::TearDown();
    }
    UI_Dialog* Pane()
    {
        return static_cast<MFCVelkTreeControl*>(AppFacade::Get()->GetTree()->GetControl())->GetDialog();
    }
    UI_TreeItem Item(const std::string& aText)
    {
        for (UI_TreeItem locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, UI_TREE_ROOT, UI_TREE_CHILD); locItem;
             locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locItem, UI_TREE_NEXT))
        {
            std::string locText;
            UI_TreeGetText(Pane(), IDC_LEFT_TREE, locItem, &locText);
            if (locText == aText)
                return locItem;
        }
        return 0;
    }
    VelkType* Get(const char* aPath) { return AppFacade::Get()->GetNameSpace().GetInstance(aPath, false); }

    void Mouse(QEvent::Type aType, Qt::MouseButton aButton, int x, int y, Qt::KeyboardModifiers aModifiers)
    {
        const Qt::MouseButtons locHeld = aType == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(aButton);
        QMouseEvent locEvent(aType, QPointF(x, y), myView->mapToGlobal(QPointF(x, y)), aButton, locHeld, aModifiers);
        QApplication::sendEvent(myView, &locEvent);
    }
    void Click(Qt::MouseButton aButton, int x, int y, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        Mouse(QEvent::MouseButtonPress, aButton, x, y, aModifiers);
        Mouse(QEvent::MouseButtonRelease, aButton, x, y, aModifiers);
    }
    void Key(int aKey, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        QKeyEvent locPress(QEvent::KeyPress, aKey, aModifiers);
        QApplication::sendEvent(myView, &locPress);
        QKeyEvent locRelease(QEvent::KeyRelease, aKey, aModifiers);
        QApplication::sendEvent(myView, &locRelease);
    }
    static int X(int aColumn) { return (aColumn + 1) * SpreadSheetEditor2::GetCellWidth() + 8; }
    static int Y(int aRow) { return (aRow + 1) * SpreadSheetEditor2::GetCellHeight() + 8; }
    static int Count(const QImage& anImage, QRgb aColour, int aLeft, int aTop, int aRight, int aBottom)
    {
        int locCount = 0;
        for (int y = std::max(aTop, 0); y < std::min(aBottom, anImage.height()); y++)
            for (int x = std::max(aLeft, 0); x < std::min(aRight, anImage.width()); x++)
                locCount += (anImage.pixel(x, y) & 0xFFFFFF) == (aColour & 0xFFFFFF);
        return locCount;
    }

    KorrinthProgram* myProgram = nullptr;
    QWidget* myView = nullptr;
};
} // namespace

TEST_F(KorrinthSheetTest, TheSpreadsheetWorksInTheProgram)
{
    myProgram = Korrinth_Start("army.velk");
    ASSERT_NE(myProgram, nullptr);
    myView = UI_GetFrameView(Korrinth_GetFrame(myProgram));

    // Selecting the script class in the tree opens the spreadsheet.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("army"));
    SpreadSheetEditor2* locSheet = dynamic_cast<SpreadSheetEditor2*>(AppFacade::Get()->GetEditor());
    ASSERT_NE(locSheet, nullptr);
    ASSERT_EQ(locSheet->GetNumRows(), 3);
    // Under X (the xvfb run), the server's own keys and buttons.
    if (QGuiApplication::platformName() == "xcb" && system("xdotool version > /dev/null 2>&1") == 0)
    {
        UI_Frame* locFrame = Korrinth_GetFrame(myProgram);
        QWidget* locWindow = UI_GetFrameWidget(locFrame);
        // No window manager gives the frame the keyboard: the server is asked.
        if (!locWindow->isVisible())
            UI_FrameShow(locFrame);
        const auto locStart = std::chrono::steady_clock::now();
        while (!locWindow->isActiveWindow() && std::chrono::steady_clock::now() - locStart < std::chrono::seconds(10))
        {
            if (locWindow->windowHandle() && locWindow->windowHandle()->isExposed())
            {
                locWindow->raise();
                locWindow->activateWindow();
                Xdotool("windowfocus " + std::to_string(locWindow->winId()));
            }
            UI_DispatchMessages(false);
        }
        ASSERT_TRUE(locWindow->isActiveWindow());
        UI_FrameFocusView(locFrame);
        ASSERT_TRUE(Xdotool("key shift+Down"));
        EXPECT_EQ(locSheet->GetRowScroll(), 10);
        ASSERT_TRUE(Xdotool("key Home"));
        EXPECT_EQ(locSheet->GetRowScroll(), 0);
        const QPoint locAt = myView->mapToGlobal(QPoint(X(0), Y(1)));
        ASSERT_TRUE(Xdotool("mousemove " + std::to_string(locAt.x()) + " " + std::to_string(locAt.y()) + " click 1"));
        EXPECT_EQ(locSheet->GetSelection(), Get("army.Unit(1).name"));
    }

    // Narrower cells, from the numpad, so that every column is in view.
    for (int i = 0; i < 11; i++)
        Key(Qt::Key_Minus, Qt::KeypadModifier);
    ASSERT_EQ(SpreadSheetEditor2::GetCellWidth(), 80);
    QImage locShown = myView->grab().toImage();
    ASSERT_GE(locShown.width(), 4 * 80);
    EXPECT_GT(Count(locShown, qRgb(0, 127, 0), 80, 0, 320, 16), 30);      // titles
    EXPECT_GT(Count(locShown, qRgb(128, 128, 128), 81, 17, 240, 64), 30); // values
    EXPECT_GT(Count(locShown, qRgb(0, 0, 255), 241, 17, 320, 64), 30);    // "STRUCTURE"

    // Left button up selects the cell's instance in the tree, which hands it
    // to the editor as the selection.
    Click(Qt::LeftButton, X(2), Y(0));
    EXPECT_EQ(locSheet->GetSelection(), Get("army.Unit(0).pos"));
    EXPECT_EQ(AppFacade::Get()->GetEditor(), locSheet);

    // Right button up opens the value dialog for the cell; OK writes the value.
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_VALUE, "42");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    Click(Qt::RightButton, X(1), Y(2));
    EXPECT_STREQ(Get("army.Unit(2).hp")->GetValue(), "42");
    // From here every right button's release opens the dialog again: cancelled.
    UI_SetModalHook([](UI_Dialog* aDialog) { UI_ClickButton(aDialog, UI_IDCANCEL); });

    // Copy-to-all: Shift+Enter asks, Enter copies the selected position to
    // every other "pos", Escape ends.
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(locSheet->IsConfirming());
    Key(Qt::Key_Return);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(locSheet->IsConfirming());
    EXPECT_STREQ(Get("army.Unit(1).pos.x")->GetValue(), "1");
    EXPECT_STREQ(Get("army.Unit(2).pos.y")->GetValue(), "2");

    // A held instance deleted, then a column reset: the emptied row is skipped.
    ASSERT_TRUE(AppFacade::Get()->DeleteInstance(Get("army.Unit(1)")));
    EXPECT_EQ(AppFacade::Get()->GetEditor(), locSheet);
    EXPECT_TRUE(locSheet->GetRow(1).myCells.empty());
    Click(Qt::RightButton, X(1), Y(0), Qt::ControlModifier);
    EXPECT_STREQ(Get("army.Unit(0).hp")->GetValue(), "<empty>");
    EXPECT_STREQ(Get("army.Unit(2).hp")->GetValue(), "<empty>");

    // Deleting the script class itself ends the editor.
    ASSERT_TRUE(AppFacade::Get()->DeleteInstance(Get("army")));
    EXPECT_EQ(AppFacade::Get()->GetEditor(), nullptr);
}
