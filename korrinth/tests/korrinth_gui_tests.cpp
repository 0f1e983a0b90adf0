// The GUI layout and skin editors in the running program offscreen: opened
// by selecting "Gui" and "VAP_Skin" instances in the tree, driven through the
// view pane, and the tree's deletes while they are open.
#include "korrinth/korrinth.h"
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/appfacade.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "va_velkeditors/tests/vave_gui_testdata.h"
#include "va_velkeditors/vave_guieditor.h"
#include "va_velkeditors/vave_guiskineditor.h"
#include "velk/velk_namespace.h"
#include "velkeditor/tests/velk_pane_test.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace korrinth_test;

namespace
{
class KorrinthGuiTest : public DataFolderTest
{
  protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        fs::create_directories(myDir / "skins");
        WriteFile(myDir / "widgets.fruit", VAVE_TestData::Fruit());
        WriteFile(myDir / "skins/skin.tga", VAVE_TestData::TextureTGA());
        WriteFile(myDir / "skins/main.velk", VAVE_TestData::MainSkinFile());
        WriteFile(myDir / "gui.velk",
                  VAVE_TestData::Gui("widgets.fruit", "layout", VAVE_TestData::EveryWidget()));
        VAVE_GuiEditor::SetGridSize(100);
        VAVE_GuiSkinEditor::SetView(1, 0, 0);
    }
    void TearDown() override
    {
        if (myProgram)
            Korrinth_Stop(myProgram);
        DataFolderTest::TearDown();
    }

    bool Start(const char* aFile)
    {
        myProgram = Korrinth_Start(aFile);
        myFrame = Korrinth_GetFrame(myProgram);
        return myProgram != nullptr;
    }
    AppFacade* Facade() { return AppFacade::Get(); }
    UI_Dialog* Pane()
    {
        return static_cast<MFCVelkTreeControl*>(Facade()->GetTree()->GetControl())->GetDialog();
    }
    // The item with that text under aParent, following a path of texts.
    UI_TreeItem Item(std::initializer_list<const char*> aPath)
    {
        UI_TreeItem locParent = UI_TREE_ROOT;
        for (const char* locText : aPath)
        {
            UI_TreeItem locFound = 0;
            for (UI_TreeItem locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locParent, UI_TREE_CHILD);
                 locItem && !locFound;
                 locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locItem, UI_TREE_NEXT))
            {
                std::string locItemText;
                UI_TreeGetText(Pane(), IDC_LEFT_TREE, locItem, &locItemText);
                if (locItemText == locText)
                    locFound = locItem;
            }
            if (!locFound)
                return 0;
            locParent = locFound;
        }
        return locParent;
    }
    QWidget* View() { return UI_GetFrameView(myFrame); }
    uint32_t Shown(int x, int y) { return View()->grab().toImage().pixel(x, y) & 0xFFFFFF; }
    void Mouse(QEvent::Type aType, int x, int y, Qt::MouseButton aButton, Qt::MouseButtons aButtons)
    {
        QMouseEvent locEvent(aType, QPointF(x, y), QPointF(x, y), aButton, aButtons, Qt::NoModifier);
        QApplication::sendEvent(View(), &locEvent);
    }
    void Drag(int x0, int y0, int x1, int y1)
    {
        Mouse(QEvent::MouseButtonPress, x0, y0, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, x1, y1, Qt::NoButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, x1, y1, Qt::LeftButton, Qt::NoButton);
    }
    void Key(int aQtKey, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        QKeyEvent locPress(QEvent::KeyPress, aQtKey, aModifiers);
        QApplication::sendEvent(View(), &locPress);
        QKeyEvent locRelease(QEvent::KeyRelease, aQtKey, aModifiers);
        QApplication::sendEvent(View(), &locRelease);
    }

    KorrinthProgram* myProgram = nullptr;
    UI_Frame* myFrame = nullptr;
};
} // namespace

TEST_F(KorrinthGuiTest, LayoutEditorInTheProgram)
{
    ASSERT_TRUE(Start("gui.velk"));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"layout"}));
    auto* locEditor = dynamic_cast<VAVE_GuiEditor*>(Facade()->GetEditor());
    ASSERT_NE(locEditor, nullptr);
    EXPECT_EQ(Shown(20, 20), VAVE_TestData::TL);
    EXPECT_EQ(Shown(70, 45), VAVE_TestData::CENTRE);

    // Right-click selects the plate in the tree; a drag moves it and marks the document.
    UI_FrameSetModified(myFrame, false);
    Mouse(QEvent::MouseButtonPress, 70, 45, Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, 70, 45, Qt::RightButton, Qt::NoButton);
    const UI_TreeItem locPlateItem = Item({"layout", "myWidgets", "plate"});
    ASSERT_NE(locPlateItem, 0);
    EXPECT_EQ(UI_TreeGetSelection(Pane(), IDC_LEFT_TREE), locPlateItem);
    // The tree's selection went back to the same editor.
    ASSERT_EQ(Facade()->GetEditor(), locEditor);
    VelkType* locPlate = Facade()->GetNameSpace().GetInstance("layout.myWidgets.plate", false);
    ASSERT_NE(locPlate, nullptr);
    EXPECT_EQ(locEditor->GetSelectedInstance(), locPlate);
    Drag(70, 45, 78, 48);
    EXPECT_EQ(locPlate->GetMemberValueAsInt("myXPos"), 600);
    EXPECT_EQ(locPlate->GetMemberValueAsInt("myYPos"), 500);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    EXPECT_EQ(Shown(31, 26), VAVE_TestData::TL);
    // The grid on key-up.
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(VAVE_GuiEditor::GetGridSize(), 200);

    // Delete in the right pane deletes the selected widget; the editor forgets it.
    Facade()->OnKeyUp(46);
    EXPECT_EQ(Facade()->GetNameSpace().GetInstance("layout.myWidgets.plate", false), nullptr);
    ASSERT_EQ(Facade()->GetEditor(), locEditor);
    EXPECT_EQ(locEditor->GetSelectedInstance(), nullptr);
    Drag(30, 25, 60, 60);
    // Deleting the widget list through the tree while a widget is selected.
    Mouse(QEvent::MouseButtonPress, 200, 40, Qt::RightButton, Qt::RightButton);
    ASSERT_NE(locEditor->GetSelectedInstance(), nullptr);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"layout", "myWidgets", "button"}));
    ASSERT_TRUE(Facade()->TreeDelete());
    EXPECT_EQ(Facade()->GetEditor(), locEditor);
    EXPECT_EQ(locEditor->GetSelectedInstance(), nullptr);
    Facade()->OnLeftButton(200, 40, false);
    // Deleting the layout itself takes the editor with it.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"layout"}));
    ASSERT_TRUE(Facade()->TreeDelete());
    EXPECT_EQ(Facade()->GetEditor(), nullptr);
    VAVE_GuiEditor::SetGridSize(100);
}

TEST_F(KorrinthGuiTest, SkinEditorInTheProgram)
{
    ASSERT_TRUE(Start("skins/main.velk"));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"mySkinFile", "mySkins", "red"}));
    auto* locEditor = dynamic_cast<VAVE_GuiSkinEditor*>(Facade()->GetEditor());
    ASSERT_NE(locEditor, nullptr);
    // Normalised at creation: "crossed" had its starts after its ends.
    VelkType* locCrossed =
        Facade()->GetNameSpace().GetInstance("mySkinFile.mySkins.red.myPrefabs.crossed", false);
    ASSERT_NE(locCrossed, nullptr);
    EXPECT_EQ(locCrossed->GetMemberValueAsInt("myStart.x"), 20);
    EXPECT_EQ(locCrossed->GetMemberValueAsInt("myEnd.x"), 30);
    EXPECT_EQ(Shown(40, 40), VAVE_TestData::REST);

    // A prefab picked in the tree becomes the editor's; the tree's selection
    // of it does not replace the editor.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"mySkinFile", "mySkins", "red", "myPrefabs", "panel"}));
    ASSERT_EQ(Facade()->GetEditor(), locEditor);
    VelkType* locPanel =
        Facade()->GetNameSpace().GetInstance("mySkinFile.mySkins.red.myPrefabs.panel", false);
    EXPECT_EQ(locEditor->GetSelectedPrefab(), locPanel);
    UI_FrameSetModified(myFrame, false);
    Drag(11, 11, 20, 16);
    EXPECT_EQ(locPanel->GetMemberValueAsInt("myEnd.x"), 20);
    EXPECT_EQ(locPanel->GetMemberValueAsInt("myEnd.z"), 16);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetZoom(), 2);

    // Deleting the selected prefab through the tree: forgotten, the editor stays.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"mySkinFile", "mySkins", "red", "myPrefabs", "panel"}));
    ASSERT_TRUE(Facade()->TreeDelete());
    EXPECT_EQ(Facade()->GetEditor(), locEditor);
    EXPECT_EQ(locEditor->GetSelectedPrefab(), nullptr);
    Drag(11, 11, 30, 30);
    // Deleting the skin takes the editor with it.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"mySkinFile", "mySkins", "red"}));
    ASSERT_TRUE(Facade()->TreeDelete());
    EXPECT_EQ(Facade()->GetEditor(), nullptr);
    VAVE_GuiSkinEditor::SetView(1, 0, 0);
}

// File > Open leaves no picture of the editor of the file before; nor do New
// and deleting the edited layout.
TEST_F(KorrinthGuiTest, OpeningAnotherFileClearsTheEditorsPicture)
{
    ASSERT_TRUE(Start("gui.velk"));
    UI_FrameShow(myFrame);
    auto locBlank = [this]() {
        const QImage locShown = View()->grab().toImage();
        const QRgb locBase = View()->palette().color(QPalette::Base).rgb();
        for (int y = 0; y < locShown.height(); y++)
            for (int x = 0; x < locShown.width(); x++)
                if (locShown.pixel(x, y) != locBase)
                    return false;
        return true;
    };
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"layout"}));
    ASSERT_NE(Facade()->GetEditor(), nullptr);
    ASSERT_EQ(Shown(20, 20), VAVE_TestData::TL);

    myPrompts.AnswerFile((myDir / "skins" / "main.velk").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_OPEN));
    ASSERT_EQ(UI_FrameGetPath(myFrame), (myDir / "skins" / "main.velk").string());
    EXPECT_EQ(Facade()->GetEditor(), nullptr);
    EXPECT_TRUE(locBlank());
    if (const char* locShots = std::getenv("Q_DIALOG_SHOTS"))
        UI_GrabFrame(myFrame, (std::string(locShots) + "/korrinth-open-second-file.png").c_str());

    myPrompts.AnswerFile((myDir / "gui.velk").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_OPEN));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"layout"}));
    ASSERT_FALSE(locBlank());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_NEW));
    EXPECT_TRUE(locBlank());
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "gui.velk").c_str()));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"layout"}));
    ASSERT_FALSE(locBlank());
    ASSERT_TRUE(Facade()->TreeDelete());
    EXPECT_TRUE(locBlank());
}

namespace
{
std::string At(QWidget* aView, int x, int y)
{
    const QPoint locAt = aView->mapToGlobal(QPoint(x, y));
    return std::to_string(locAt.x()) + " " + std::to_string(locAt.y());
}
} // namespace

// Under X (the xvfb run): the server's pointer and keys reach both editors.
TEST_F(KorrinthGuiTest, UnderXTheServersPointerAndKeysEditLayoutAndSkin)
{
    if (QGuiApplication::platformName() != "xcb" || system("xdotool version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs X and xdotool (the xvfb run)";
    ASSERT_TRUE(Start("gui.velk"));
    ASSERT_TRUE(XActivateFrame(myFrame));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"layout"}));
    auto* locEditor = dynamic_cast<VAVE_GuiEditor*>(Facade()->GetEditor());
    ASSERT_NE(locEditor, nullptr);
    UI_FrameFocusView(myFrame);
    EXPECT_EQ(Shown(20, 20), VAVE_TestData::TL);

    // A right click selects the plate; a left drag of 8 pixels (160 units) moves it by 200.
    ASSERT_TRUE(Xdotool("mousemove " + At(View(), 70, 45) + " click 3"));
    VelkType* locPlate = Facade()->GetNameSpace().GetInstance("layout.myWidgets.plate", false);
    ASSERT_EQ(locEditor->GetSelectedInstance(), locPlate);
    ASSERT_TRUE(Xdotool("mousedown 1"));
    ASSERT_TRUE(Xdotool("mousemove " + At(View(), 78, 45)));
    ASSERT_TRUE(Xdotool("mouseup 1"));
    EXPECT_EQ(locPlate->GetMemberValueAsInt("myXPos"), 600);
    EXPECT_EQ(Shown(31, 21), VAVE_TestData::TL);
    ASSERT_TRUE(Xdotool("key KP_Add"));
    EXPECT_EQ(VAVE_GuiEditor::GetGridSize(), 200);
    ASSERT_TRUE(Xdotool("key space"));
    EXPECT_FALSE(locEditor->IsGridOn());
    VAVE_GuiEditor::SetGridSize(100);

    // The skin editor: Space on key-down cycles the mode, a drag moves the nearer corner.
    Korrinth_Stop(myProgram);
    ASSERT_TRUE(Start("skins/main.velk"));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"mySkinFile", "mySkins", "red"}));
    auto* locSkinEditor = dynamic_cast<VAVE_GuiSkinEditor*>(Facade()->GetEditor());
    ASSERT_NE(locSkinEditor, nullptr);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"mySkinFile", "mySkins", "red", "myPrefabs", "panel"}));
    ASSERT_TRUE(XActivateFrame(myFrame));
    UI_FrameFocusView(myFrame);
    ASSERT_TRUE(Xdotool("mousemove " + At(View(), 11, 11)));
    ASSERT_TRUE(Xdotool("mousedown 1"));
    ASSERT_TRUE(Xdotool("mousemove " + At(View(), 20, 16)));
    ASSERT_TRUE(Xdotool("mouseup 1"));
    VelkType* locPanel =
        Facade()->GetNameSpace().GetInstance("mySkinFile.mySkins.red.myPrefabs.panel", false);
    EXPECT_EQ(locPanel->GetMemberValueAsInt("myEnd.x"), 20);
    EXPECT_EQ(locPanel->GetMemberValueAsInt("myEnd.z"), 16);
    ASSERT_TRUE(Xdotool("key space"));
    EXPECT_EQ(locSkinEditor->GetMode(), VAVE_GuiSkinEditor::MODE_DRAG_INNER);
}
