// The GUI layout and skin editors in a real frame's view pane offscreen, over
// real skin files converted to .tez, a TGA texture and a layout of every
// widget type; pixels are read back from what the pane shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "qcommon/qc_debug.h"
#include "qdrawgdi/qdgdi.h"
#include "qdrawgdi/tests/qdgdi_tga_writer.h"
#include "va_velkeditors/tests/vave_gui_testdata.h"
#include "va_velkeditors/vave_factory.h"
#include "va_velkeditors/vave_guieditor.h"
#include "va_velkeditors/vave_guiskin.h"
#include "va_velkeditors/vave_guiskineditor.h"
#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_editorview.h"
#include "velkeditor/velk_typefilter.h"

using namespace VAVE_TestData;

namespace
{
std::vector<std::string> ourTexts;

class TextListener : public QC_DebugListener
{
  public:
    void Print(const char* aText) override { ourTexts.push_back(aText); }
    void Close() override {}
};

class GuiTestEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "va_velkeditors_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
        ASSERT_TRUE(QC_Debug::Init("", false, false, false, ""));
        ASSERT_TRUE(QC_Debug::AddListener(new TextListener));
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiTestEnvironment);

bool HasText(const std::string& aText)
{
    return std::find(ourTexts.begin(), ourTexts.end(), aText) != ourTexts.end();
}

// Hands the pane's messages to the editor as the facade does, then redraws.
class Forwarder : public UI_FrameHandler
{
  public:
    bool OnViewMessage(UI_Frame* aFrame, const UI_ViewMessage& m) override
    {
        if (!myEditor)
            return false;
        switch (m.myKind)
        {
            case UI_VM_LBUTTONDOWN:
                myLast = myEditor->OnLeftButton(m.myX, m.myY, (m.myKeyState & UI_MK_SHIFT) != 0);
                break;
            case UI_VM_MOUSEMOVE:
                if (m.myKeyState & UI_MK_LBUTTON)
                    myLast = myEditor->OnLeftButton(m.myX, m.myY, (m.myKeyState & UI_MK_SHIFT) != 0);
                if (m.myKeyState & UI_MK_RBUTTON)
                    myLast = myEditor->OnRightButton(m.myX, m.myY, (m.myKeyState & UI_MK_SHIFT) != 0,
                                                     (m.myKeyState & UI_MK_CONTROL) != 0);
                break;
            case UI_VM_LBUTTONUP:
                myLast = myEditor->OnLeftButtonUp(m.myX, m.myY);
                break;
            case UI_VM_RBUTTONDOWN:
                myLast = myEditor->OnRightButton(m.myX, m.myY, (m.myKeyState & UI_MK_SHIFT) != 0,
                                                 (m.myKeyState & UI_MK_CONTROL) != 0);
                break;
            case UI_VM_RBUTTONUP:
                myLast = myEditor->OnRightButtonUp(m.myX, m.myY);
                break;
            case UI_VM_KEYDOWN:
                myLast = myEditor->OnKeyDown(m.myVirtualKey);
                break;
            case UI_VM_KEYUP:
                myLast = myEditor->OnKeyUp(m.myVirtualKey);
                break;
            case UI_VM_CHAR:
                myLast = myEditor->OnChar((int)m.myChar);
                break;
            default:
                return false;
        }
        if (myLast.myInstance && myLast.myAction == EditorAction::SELECT_IN_TREE)
            myEditor->SelectInstance(myLast.myInstance);
        myEditor->Draw(true);
        return true;
    }

    VelkEditor* myEditor = nullptr;
    EditorAction myLast;
};

class GuiEditorsTest : public VelkScratchTest
{
  protected:
    void SetUp() override
    {
        VelkScratchTest::SetUp();
        ourTexts.clear();
        ASSERT_NE(getcwd(myOldDir, sizeof(myOldDir)), nullptr);
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        VelkLog::SetErrorSwitch(false);
        std::filesystem::create_directories(myDir / "skins");
        WriteDisk("widgets.fruit", Fruit());
        WriteDisk("skins/skin.tga", TextureTGA());
        WriteDisk("skins/main.velk", MainSkinFile());
        ASSERT_TRUE(myTypes.Compile("widgets.fruit"));

        myFrame = MakeFrame();
        ASSERT_NE(myFrame, nullptr);
        myWindow = std::make_unique<VelkEditorView>(myFrame);
        UI_FrameAddHandler(myFrame, &myForwarder);
    }

    void TearDown() override
    {
        myForwarder.myEditor = nullptr;
        myEditor.reset();
        UI_DestroyFrame(myFrame);
        VelkLog::SetErrorSwitch(true);
        ASSERT_EQ(chdir(myOldDir), 0);
    }

    static UI_Frame* MakeFrame()
    {
        static const UI_MenuEntry ourMenu[] = {
            {UI_MENU_POPUP, 0, "&File"}, {UI_MENU_ITEM, 0xE101, "&Open"}, {UI_MENU_END, 0, nullptr}};
        UI_FrameTemplate locTemplate = {"GuiTest", ourMenu, 3, nullptr, 0, nullptr,
                                        0,         nullptr, 0, nullptr, 0, 100};
        UI_Frame* locFrame = UI_CreateFrame(locTemplate);
        if (!locFrame)
            return nullptr;
        UI_FrameShow(locFrame);
        QWidget* locWidget = UI_GetFrameWidget(locFrame);
        locWidget->showNormal();
        locWidget->resize(1100, 900);
        QApplication::processEvents();
        return locFrame;
    }

    // Compiles a layout of the given widgets and opens its editor through the factory.
    VelkType* OpenLayout(const std::string& aWidgets)
    {
        WriteDisk("layout.velk", Gui("widgets.fruit", "layout", aWidgets));
        myLayout = std::make_unique<VelkNameSpace>();
        EXPECT_TRUE(VelkCompiler::Compile(*myLayout, "layout.velk", &myTypes, nullptr));
        VelkType* locGui = myLayout->GetInstance("layout", true);
        Open(locGui);
        return locGui;
    }

    void Open(VelkType* anInstance)
    {
        myForwarder.myEditor = nullptr;
        myEditor.reset();
        VAVE_Factory locPrototype;
        std::unique_ptr<VelkEditorFactory> locFactory(locPrototype.Create());
        myEditor.reset(locFactory->CreateEditor(anInstance, &myFilters, myWindow.get(), nullptr));
        myForwarder.myEditor = myEditor.get();
        if (myEditor)
            myEditor->Draw(true);
    }

    QWidget* View() { return UI_GetFrameView(myFrame); }
    QImage Shown() { return View()->grab().toImage(); }
    static uint32_t At(const QImage& anImage, int x, int y) { return anImage.pixel(x, y) & 0xFFFFFF; }
    static int Count(const QImage& anImage, int x0, int y0, int x1, int y1, uint32_t aColour)
    {
        int locCount = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                locCount += At(anImage, x, y) == aColour;
        return locCount;
    }

    void Mouse(QEvent::Type aType, int x, int y, Qt::MouseButton aButton, Qt::MouseButtons aButtons)
    {
        QMouseEvent locEvent(aType, QPointF(x, y), QPointF(x, y), aButton, aButtons, Qt::NoModifier);
        QApplication::sendEvent(View(), &locEvent);
    }
    // Press at the first point, move through the others with the button held, release.
    void Drag(std::initializer_list<std::pair<int, int>> aPoints, bool aReleaseFlag = true)
    {
        auto locIt = aPoints.begin();
        Mouse(QEvent::MouseButtonPress, locIt->first, locIt->second, Qt::LeftButton, Qt::LeftButton);
        for (++locIt; locIt != aPoints.end(); ++locIt)
            Mouse(QEvent::MouseMove, locIt->first, locIt->second, Qt::NoButton, Qt::LeftButton);
        if (aReleaseFlag)
            Mouse(QEvent::MouseButtonRelease, (aPoints.end() - 1)->first, (aPoints.end() - 1)->second,
                  Qt::LeftButton, Qt::NoButton);
    }
    // The press's answer.
    EditorAction RightClick(int x, int y)
    {
        Mouse(QEvent::MouseButtonPress, x, y, Qt::RightButton, Qt::RightButton);
        const EditorAction locAction = myForwarder.myLast;
        Mouse(QEvent::MouseButtonRelease, x, y, Qt::RightButton, Qt::NoButton);
        return locAction;
    }
    void Key(int aQtKey, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        QKeyEvent locPress(QEvent::KeyPress, aQtKey, aModifiers);
        QApplication::sendEvent(View(), &locPress);
        QKeyEvent locRelease(QEvent::KeyRelease, aQtKey, aModifiers);
        QApplication::sendEvent(View(), &locRelease);
    }

    char myOldDir[4096];
    VelkTypeManager myTypes;
    VelkTypeFilterManager myFilters{nullptr};
    std::unique_ptr<VelkNameSpace> myLayout;
    UI_Frame* myFrame = nullptr;
    std::unique_ptr<VelkEditorView> myWindow;
    Forwarder myForwarder;
    std::unique_ptr<VelkEditor> myEditor;
};

struct Rect
{
    int x, y, w, h;
};

Rect Members(VelkType* aWidget)
{
    return {aWidget->GetMemberValueAsInt("myXPos"), aWidget->GetMemberValueAsInt("myYPos"),
            aWidget->GetMemberValueAsInt("myWidth"), aWidget->GetMemberValueAsInt("myHeight")};
}

bool operator==(const Rect& a, const Rect& b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

std::ostream& operator<<(std::ostream& anOut, const Rect& r)
{
    return anOut << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}
} // namespace

// [SECTION] The layout editor

TEST_F(GuiEditorsTest, LayoutDrawsEveryWidgetTypeFromItsSkin)
{
    OpenLayout(EveryWidget());
    ASSERT_NE(myEditor, nullptr);
    auto* locEditor = dynamic_cast<VAVE_GuiEditor*>(myEditor.get());
    ASSERT_NE(locEditor, nullptr);
    // (main, red) and (main, blue); the missing file is noted and left out.
    EXPECT_EQ(locEditor->GetNumSkins(), 2);
    EXPECT_TRUE(
        HasText("VAVE_GuiEditor: skin 'red' of 'skins/none.tez' not loaded; its widgets draw as outlines"));
    EXPECT_TRUE(std::filesystem::exists(myDir / "skins/main.tez"));

    const QImage locShown = Shown();
    ASSERT_GE(locShown.width(), 801);
    ASSERT_GE(locShown.height(), 601);
    // The plate at (20, 20), 100 x 50 pixels: corners at their own 4 x 4 size, edges and centre stretched.
    EXPECT_EQ(At(locShown, 20, 20), TL);
    EXPECT_EQ(At(locShown, 23, 23), TL);
    EXPECT_EQ(At(locShown, 24, 20), TOP);
    EXPECT_EQ(At(locShown, 115, 23), TOP);
    EXPECT_EQ(At(locShown, 116, 20), TR);
    EXPECT_EQ(At(locShown, 119, 23), TR);
    EXPECT_EQ(At(locShown, 20, 24), LEFT);
    EXPECT_EQ(At(locShown, 23, 65), LEFT);
    EXPECT_EQ(At(locShown, 70, 45), CENTRE);
    EXPECT_EQ(Count(locShown, 24, 24, 116, 66, CENTRE), 92 * 42);
    EXPECT_EQ(At(locShown, 119, 40), RIGHT);
    EXPECT_EQ(At(locShown, 20, 66), BL);
    EXPECT_EQ(At(locShown, 70, 69), BOTTOM);
    EXPECT_EQ(At(locShown, 119, 69), BR);
    EXPECT_EQ(At(locShown, 121, 71), BLACK);
    // The progress bar (bar prefab) and the blue skin's text input, whose texture came by "myFileName".
    EXPECT_EQ(Count(locShown, 350, 20, 500, 40, BAR), 150 * 20);
    EXPECT_EQ(Count(locShown, 600, 350, 750, 370, BAR), 150 * 20);

    // The button's text in white, centred across and down; the label's from its left edge.
    int locMinX = 10000, locMaxX = -1, locMinY = 10000, locMaxY = -1;
    for (int y = 20; y < 70; y++)
        for (int x = 150; x < 300; x++)
            if (At(locShown, x, y) == WHITE)
                locMinX = std::min(locMinX, x), locMaxX = std::max(locMaxX, x),
                locMinY = std::min(locMinY, y), locMaxY = std::max(locMaxY, y);
    ASSERT_GE(locMaxX, 0) << "no text on the button";
    EXPECT_NEAR((locMinX + locMaxX) / 2.0, 225, 4);
    EXPECT_NEAR((locMinY + locMaxY) / 2.0, 45, 5);
    EXPECT_GT(Count(locShown, 21, 101, 60, 150, WHITE), 0);
    EXPECT_EQ(Count(locShown, 100, 101, 170, 150, WHITE), 0);

    // Outlines in red: the label, the special widget, the mini-map and the widget without its skin.
    EXPECT_EQ(At(locShown, 80, 100), RED);
    EXPECT_EQ(At(locShown, 20, 130), RED);
    EXPECT_EQ(At(locShown, 400, 350), RED);
    EXPECT_EQ(At(locShown, 450, 450), RED);
    EXPECT_EQ(At(locShown, 700, 520), RED);
    EXPECT_EQ(At(locShown, 400, 500), RED);
    EXPECT_EQ(Count(locShown, 351, 501, 449, 549, CENTRE), 0);
    // The text list's scroll bar: squares of 20 pixels inside its right edge, at its top, below that and at
    // its end.
    EXPECT_EQ(At(locShown, 380, 110), RED);
    EXPECT_EQ(At(locShown, 380, 130), RED);
    EXPECT_EQ(At(locShown, 390, 280), RED);
    // The multi-column list's title bar: the bar prefab across the top, 30 pixels high.
    EXPECT_EQ(Count(locShown, 20, 350, 320, 380, BAR), 300 * 30);
    EXPECT_EQ(At(locShown, 100, 385), CENTRE);
    // Its scroll bar's last square ends at its height: 530..550.
    EXPECT_EQ(At(locShown, 310, 530), RED);
    EXPECT_EQ(At(locShown, 300, 540), RED);
    // The screen frame.
    EXPECT_EQ(At(locShown, 800, 300), RED);
    EXPECT_EQ(At(locShown, 500, 600), RED);
    // Texts below the screen in white.
    EXPECT_GT(Count(locShown, 0, 602, 400, 800, WHITE), 0);
}

TEST_F(GuiEditorsTest, HitTestGridRoundingAndConversions)
{
    // A point on an edge is inside.
    EXPECT_EQ(VAVE_GuiEditor::HitTest(100, 100, 100, 100, 50, 50), VAVE_GuiEditor::DRAG_MOVE);
    EXPECT_EQ(VAVE_GuiEditor::HitTest(150, 150, 100, 100, 50, 50), VAVE_GuiEditor::DRAG_MOVE);
    EXPECT_EQ(VAVE_GuiEditor::HitTest(99, 120, 100, 100, 50, 50), VAVE_GuiEditor::DRAG_LEFT);
    EXPECT_EQ(VAVE_GuiEditor::HitTest(151, 150, 100, 100, 50, 50), VAVE_GuiEditor::DRAG_RIGHT);
    EXPECT_EQ(VAVE_GuiEditor::HitTest(100, 99, 100, 100, 50, 50), VAVE_GuiEditor::DRAG_TOP);
    EXPECT_EQ(VAVE_GuiEditor::HitTest(150, 151, 100, 100, 50, 50), VAVE_GuiEditor::DRAG_BOTTOM);
    EXPECT_EQ(VAVE_GuiEditor::HitTest(99, 99, 100, 100, 50, 50), VAVE_GuiEditor::DRAG_NONE);
    // Halves away from zero both ways: -50 needs as much as 50.
    EXPECT_EQ(VAVE_GuiEditor::RoundToGrid(49, 100), 0);
    EXPECT_EQ(VAVE_GuiEditor::RoundToGrid(50, 100), 100);
    EXPECT_EQ(VAVE_GuiEditor::RoundToGrid(-49, 100), 0);
    EXPECT_EQ(VAVE_GuiEditor::RoundToGrid(-50, 100), -100);
    EXPECT_EQ(VAVE_GuiEditor::RoundToGrid(-149, 100), -100);
    EXPECT_EQ(VAVE_GuiEditor::RoundToGrid(300, 200), 400);
    EXPECT_EQ(VAVE_GuiEditor::ToUnitsX(37), 740);
    EXPECT_EQ(VAVE_GuiEditor::ToUnitsY(37), 740);
    EXPECT_EQ(VAVE_GuiEditor::ToPixelsX(29), 1);
    EXPECT_EQ(VAVE_GuiEditor::ToPixelsX(30), 2);
    EXPECT_EQ(VAVE_GuiEditor::ToPixelsY(-30), -2);
}

TEST_F(GuiEditorsTest, RightClickSelectsTheLastWidgetUnderThePoint)
{
    VelkType* locGui = OpenLayout(EveryWidget());
    ASSERT_NE(myEditor, nullptr);
    VelkType* locWidgets = locGui->FindMember("myWidgets");
    // The text input (600..750, 350..390) and the mini-map (600..750, 370..520) overlap.
    const EditorAction locAction = RightClick(650, 380);
    EXPECT_EQ(locAction.myInstance, locWidgets->FindMember("minimap"));
    EXPECT_EQ(locAction.myAction, EditorAction::SELECT_IN_TREE);
    EXPECT_EQ(myEditor->GetSelectedInstance(), locWidgets->FindMember("minimap"));
    RightClick(650, 360);
    EXPECT_EQ(myEditor->GetSelectedInstance(), locWidgets->FindMember("input"));
    // Exactly on the plate's corner (20, 20) is inside it; outside every widget the selection stays.
    RightClick(20, 20);
    EXPECT_EQ(myEditor->GetSelectedInstance(), locWidgets->FindMember("plate"));
    RightClick(790, 590);
    EXPECT_EQ(myEditor->GetSelectedInstance(), locWidgets->FindMember("plate"));

    // The selected outline in green, and the four values under the screen.
    const QImage locShown = Shown();
    EXPECT_EQ(At(locShown, 70, 20), GREEN);
    EXPECT_EQ(At(locShown, 120, 45), GREEN);
    // A tree selection of a widget selects it; of anything else is ignored.
    myEditor->SelectInstance(locWidgets->FindMember("button"));
    EXPECT_EQ(myEditor->GetSelectedInstance(), locWidgets->FindMember("button"));
    myEditor->SelectInstance(locGui);
    EXPECT_EQ(myEditor->GetSelectedInstance(), locWidgets->FindMember("button"));
}

TEST_F(GuiEditorsTest, DragsMoveAndResizeOnTheGridAndWriteTheMembersBack)
{
    VelkType* locGui = OpenLayout(EveryWidget());
    ASSERT_NE(myEditor, nullptr);
    VelkType* locPlate = locGui->FindMember("myWidgets.plate");
    // Without a selected widget a drag does nothing.
    Drag({{70, 45}, {90, 45}});
    EXPECT_EQ(Members(locPlate), (Rect{400, 400, 2000, 1000}));
    EXPECT_FALSE(myEditor->TakeChanged());

    RightClick(70, 45);
    // 2 pixels are 40 units: below half the grid, nothing; 3 pixels (60) move by 100.
    Drag({{70, 45}, {72, 45}}, false);
    EXPECT_EQ(Members(locPlate), (Rect{400, 400, 2000, 1000}));
    EXPECT_FALSE(myEditor->TakeChanged()) << "selecting and a drag that moved nothing changed the data";
    Mouse(QEvent::MouseMove, 73, 45, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Members(locPlate), (Rect{500, 400, 2000, 1000}));
    EXPECT_TRUE(myEditor->TakeChanged());
    // The press point moved by the 100 applied: one more pixel (20 units) does nothing, four more move again.
    Mouse(QEvent::MouseMove, 74, 45, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Members(locPlate), (Rect{500, 400, 2000, 1000}));
    Mouse(QEvent::MouseMove, 78, 45, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Members(locPlate), (Rect{600, 400, 2000, 1000}));
    // Left and up round as far as right and down.
    Mouse(QEvent::MouseMove, 73, 42, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Members(locPlate), (Rect{500, 300, 2000, 1000}));
    // Past the right and bottom limits the widget is pushed back.
    Mouse(QEvent::MouseMove, 900, 700, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 900, 700, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(Members(locPlate), (Rect{14000, 11000, 2000, 1000}));

    // Put it back, then each edge. The plate is 20..120 x 20..70 pixels again.
    Drag({{750, 575}, {70, 45}});
    EXPECT_EQ(Members(locPlate), (Rect{400, 400, 2000, 1000}));
    Drag({{10, 45}, {7, 45}}); // left edge out by 100, rounded to the grid
    EXPECT_EQ(Members(locPlate), (Rect{300, 400, 2100, 1000}));
    Drag({{130, 45}, {133, 45}}); // right edge out
    EXPECT_EQ(Members(locPlate), (Rect{300, 400, 2200, 1000}));
    Drag({{70, 10}, {70, 13}}); // top edge in
    EXPECT_EQ(Members(locPlate), (Rect{300, 500, 2200, 900}));
    Drag({{70, 80}, {70, 83}}); // bottom edge out
    EXPECT_EQ(Members(locPlate), (Rect{300, 500, 2200, 1000}));
    Drag({{5, 5}, {40, 40}}); // beside a corner: no drag
    EXPECT_EQ(Members(locPlate), (Rect{300, 500, 2200, 1000}));
    // An edge never leaves less than one grid size.
    Drag({{130, 45}, {22, 45}});
    EXPECT_EQ(Members(locPlate), (Rect{300, 500, 2200, 1000}));
    Drag({{130, 45}, {25, 45}});
    EXPECT_EQ(Members(locPlate), (Rect{300, 500, 100, 1000}));

    // Without the grid every unit counts.
    Key(Qt::Key_Space);
    EXPECT_FALSE(static_cast<VAVE_GuiEditor*>(myEditor.get())->IsGridOn());
    Drag({{17, 50}, {18, 49}});
    EXPECT_EQ(Members(locPlate), (Rect{320, 480, 100, 1000}));
    EXPECT_EQ(locPlate->FindMember("myXPos")->GetValue(), "320");
}

TEST_F(GuiEditorsTest, GridKeysAndSizeToPrefab)
{
    VelkType* locGui = OpenLayout(EveryWidget());
    ASSERT_NE(myEditor, nullptr);
    auto* locEditor = static_cast<VAVE_GuiEditor*>(myEditor.get());
    const QImage locGrid100 = Shown();
    EXPECT_EQ(At(locGrid100, 5, 303), 0x303030); // a grid line every 5 pixels
    EXPECT_EQ(At(locGrid100, 303, 5), 0x303030);
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(VAVE_GuiEditor::GetGridSize(), 200);
    const QImage locGrid200 = Shown();
    EXPECT_EQ(At(locGrid200, 5, 303), BLACK);
    EXPECT_EQ(At(locGrid200, 10, 303), 0x303030);
    // The grid's text changed with it; the help lines did not.
    EXPECT_NE(locGrid100.copy(0, 602, 200, 22), locGrid200.copy(0, 602, 200, 22));
    EXPECT_EQ(locGrid100.copy(0, 660, 400, 80), locGrid200.copy(0, 660, 400, 80));
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(VAVE_GuiEditor::GetGridSize(), 100);
    Key(Qt::Key_Space);
    EXPECT_FALSE(locEditor->IsGridOn());
    const QImage locGridOff = Shown();
    EXPECT_EQ(At(locGridOff, 5, 303), BLACK);
    EXPECT_EQ(At(locGridOff, 303, 5), BLACK);
    EXPECT_NE(locGrid100.copy(0, 602, 200, 22), locGridOff.copy(0, 602, 200, 22));
    Key(Qt::Key_Space);
    EXPECT_TRUE(locEditor->IsGridOn());

    // Size to prefab: the button's "myUpPrefab" is 12 x 12 texture pixels, 240 x 240 units.
    VelkType* locButton = locGui->FindMember("myWidgets.button");
    RightClick(200, 40);
    ASSERT_EQ(myEditor->GetSelectedInstance(), locButton);
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Members(locButton), (Rect{3000, 400, 240, 240}));
    // The check box sizes to "myCheckedPrefab", the progress bar to its 32 x 8 "myPrefab".
    RightClick(600, 25);
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Members(locGui->FindMember("myWidgets.check")), (Rect{11000, 400, 240, 240}));
    RightClick(400, 25);
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Members(locGui->FindMember("myWidgets.progress")), (Rect{7000, 400, 640, 160}));
    // Types without a prefab and widgets without their skin are left alone.
    RightClick(400, 400);
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Members(locGui->FindMember("myWidgets.special")), (Rect{7000, 7000, 2000, 2000}));
    RightClick(400, 520);
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Members(locGui->FindMember("myWidgets.lost")), (Rect{7000, 10000, 2000, 1000}));
}

// In a window 768 pixels high the view is shorter than the screen and its six
// text lines: the lines move up into the view, every one whole.
TEST_F(GuiEditorsTest, TextLinesStayInViewOfAShortWindow)
{
    // Rows of the view's bottom band with white text, counted as runs of rows.
    auto locTextRuns = [this](int aBand, int* aLast) {
        const QImage locShot = Shown();
        int locRuns = 0;
        bool locInRun = false;
        *aLast = -1;
        for (int y = std::max(0, locShot.height() - aBand); y < locShot.height(); y++)
        {
            bool locInk = false;
            for (int x = 0; x < std::min(locShot.width(), 400) && !locInk; x++)
                locInk = qGray(locShot.pixel(x, y)) > 200;
            if (locInk && !locInRun)
                locRuns++;
            if (locInk)
                *aLast = y;
            locInRun = locInk;
        }
        return locRuns;
    };
    OpenLayout(EveryWidget());
    ASSERT_NE(myEditor, nullptr);
    int locLast = 0;
    // The tall window: the grid line and the four help lines below the frame.
    EXPECT_EQ(locTextRuns(Shown().height() - 602, &locLast), 5);

    QWidget* locWindow = UI_GetFrameWidget(myFrame);
    locWindow->resize(1024, 768);
    QApplication::processEvents();
    ASSERT_LT(View()->height(), 600 + 4 + 6 * 20);
    myEditor->Draw(true);
    QApplication::processEvents();
    EXPECT_EQ(locTextRuns(6 * 24, &locLast), 5);
    EXPECT_LT(locLast, View()->height() - 2) << "the last help line is cut";
}

TEST_F(GuiEditorsTest, AnEdgeDragMovesThePressPointByWhatWasApplied)
{
    VelkType* locGui = OpenLayout(EveryWidget());
    ASSERT_NE(myEditor, nullptr);
    VelkType* locPlate = locGui->FindMember("myWidgets.plate");
    RightClick(70, 45);
    // The right edge (120 pixels) pressed at 130: 3 pixels out move it by 100 units, one back
    // does nothing, four more move it again.
    Drag({{130, 45}, {133, 45}}, false);
    EXPECT_EQ(Members(locPlate), (Rect{400, 400, 2100, 1000}));
    Mouse(QEvent::MouseMove, 134, 45, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Members(locPlate), (Rect{400, 400, 2100, 1000}));
    Mouse(QEvent::MouseMove, 138, 45, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 138, 45, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(Members(locPlate), (Rect{400, 400, 2200, 1000}));
    // The same for the bottom edge (70 pixels).
    Drag({{70, 80}, {70, 83}, {70, 84}, {70, 88}});
    EXPECT_EQ(Members(locPlate), (Rect{400, 400, 2200, 1200}));
}

TEST_F(GuiEditorsTest, ASkinThatFailsIsNotedOnceAndLeftOut)
{
    const std::string locLost = "mySkinFile skins/none.tez\nmySkin red\nmyPrefab panel\n";
    OpenLayout(Widget("VAP_Plate", "one", locLost + Box(400, 400, 2000, 1000)) +
               Widget("VAP_Plate", "two", locLost + Box(4000, 400, 2000, 1000)) +
               Widget("VAP_Plate", "three", RED_SKIN + "myPrefab panel\n" + Box(8000, 400, 2000, 1000)));
    ASSERT_NE(myEditor, nullptr);
    EXPECT_EQ(static_cast<VAVE_GuiEditor*>(myEditor.get())->GetNumSkins(), 1);
    EXPECT_EQ(
        std::count(ourTexts.begin(), ourTexts.end(),
                   "VAVE_GuiEditor: skin 'red' of 'skins/none.tez' not loaded; its widgets draw as outlines"),
        1);
    const QImage locShown = Shown();
    EXPECT_EQ(At(locShown, 70, 20), RED);
    EXPECT_EQ(At(locShown, 250, 20), RED);
    EXPECT_EQ(At(locShown, 400, 20), TL);
}

TEST_F(GuiEditorsTest, SkinsFindPrefabsAndFontsByTheHashOfTheirNames)
{
    std::unique_ptr<QD_Factory> locFactory(QDGDI_Factory::Create(myWindow.get()));
    ASSERT_NE(locFactory, nullptr);
    std::unique_ptr<VAVE_GuiSkin> locSkin(VAVE_GuiSkin::Load(locFactory.get(), "skins/main.tez", "red"));
    ASSERT_NE(locSkin, nullptr);
    EXPECT_TRUE(locSkin->Is("skins/main.tez", "red"));
    EXPECT_FALSE(locSkin->Is("skins/main.tez", "blue"));
    const VAVE_GuiPrefab* locBar = locSkin->FindPrefab("bar");
    ASSERT_NE(locBar, nullptr);
    EXPECT_EQ((std::vector<int>{locBar->myStartX, locBar->myStartZ, locBar->myEndX, locBar->myEndZ,
                                locBar->myInnerStartX, locBar->myInnerStartZ, locBar->myInnerEndX,
                                locBar->myInnerEndZ}),
              (std::vector<int>{16, 0, 48, 8, 18, 2, 46, 6}));
    // Values past the range are held at it.
    EXPECT_EQ(locSkin->FindPrefab("huge")->myStartX, VAVE_MAX_PIXELS);
    EXPECT_EQ(locSkin->FindPrefab("huge")->myStartZ, -VAVE_MAX_PIXELS);
    EXPECT_EQ(locSkin->FindPrefab("nothing"), nullptr);
    QD_Font* locBig = locSkin->FindFont("big");
    QD_Font* locSmall = locSkin->FindFont("small");
    ASSERT_NE(locBig, nullptr);
    ASSERT_NE(locSmall, nullptr);
    EXPECT_NE(locBig, locSmall);
    EXPECT_EQ(locBig->GetHeight(), 20);
    EXPECT_EQ(locSkin->FindFont("nothing"), nullptr);
    EXPECT_EQ(locSkin->GetTexture()->GetWidth(), 64);
    // An unknown skin, and a skin without a texture, are not kept.
    EXPECT_EQ(VAVE_GuiSkin::Load(locFactory.get(), "skins/main.tez", "green"), nullptr);
    WriteDisk("skins/bare.velk",
              SkinFile("widgets.fruit", Skin("grey", "skins/absent.tga", "skins/absent.bmp", "", "")));
    EXPECT_EQ(VAVE_GuiSkin::Load(locFactory.get(), "skins/bare.tez", "grey"), nullptr);
    EXPECT_EQ(VAVE_GuiSkin::Load(locFactory.get(), "skins/none.tez", "grey"), nullptr);
}

TEST_F(GuiEditorsTest, TheGridIsSharedAndNeverBelow100)
{
    VAVE_GuiEditor::SetGridSize(0);
    EXPECT_EQ(VAVE_GuiEditor::GetGridSize(), 100);
    OpenLayout(EveryWidget());
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(VAVE_GuiEditor::GetGridSize(), 100);
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    // A second editor finds the grid the first left.
    OpenLayout(EveryWidget());
    EXPECT_EQ(VAVE_GuiEditor::GetGridSize(), 200);
    VAVE_GuiEditor::SetGridSize(100);
}

TEST_F(GuiEditorsTest, RemovedWidgetsAndLayoutsLeaveNoEditorOnFreedMemory)
{
    VelkType* locGui = OpenLayout(EveryWidget());
    ASSERT_NE(myEditor, nullptr);
    VelkType* locWidgets = locGui->FindMember("myWidgets");
    VelkType* locPlate = locWidgets->FindMember("plate");
    RightClick(70, 45);
    Drag({{70, 45}, {75, 45}}, false);
    ASSERT_EQ(myEditor->GetSelectedInstance(), locPlate);
    // Deleting the selected widget while dragging it: the editor forgets it.
    EXPECT_TRUE(myEditor->ReleaseInstance(locPlate));
    ASSERT_TRUE(locWidgets->DeleteMember(locPlate));
    EXPECT_EQ(myEditor->GetSelectedInstance(), nullptr);
    Mouse(QEvent::MouseMove, 90, 45, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 90, 45, Qt::LeftButton, Qt::NoButton);
    // Deleting the list that holds the selection forgets it too.
    RightClick(200, 40);
    ASSERT_NE(myEditor->GetSelectedInstance(), nullptr);
    VelkType* locOther = locWidgets->FindMember("special");
    EXPECT_TRUE(myEditor->ReleaseInstance(locOther));
    EXPECT_NE(myEditor->GetSelectedInstance(), nullptr);
    EXPECT_TRUE(myEditor->ReleaseInstance(locWidgets));
    EXPECT_EQ(myEditor->GetSelectedInstance(), nullptr);
    ASSERT_TRUE(locGui->DeleteMember(locWidgets));
    myEditor->Draw(true);
    // The layout itself: the editor must go first.
    EXPECT_FALSE(myEditor->ReleaseInstance(locGui));
}

TEST_F(GuiEditorsTest, DrawingObjectsThatCannotBeMadeRefuseTheEditor)
{
    WriteDisk("layout.velk", Gui("widgets.fruit", "layout", EveryWidget()));
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, "layout.velk", &myTypes, nullptr));
    VAVE_Factory locFactory;
    // No window to draw in: no editor.
    EXPECT_EQ(locFactory.CreateEditor(locSpace.GetInstance("layout", true), &myFilters, nullptr, nullptr),
              nullptr);
    // A layout without widgets opens and draws its frame.
    OpenLayout("");
    ASSERT_NE(myEditor, nullptr);
    EXPECT_EQ(At(Shown(), 800, 300), RED);
}

// [SECTION] Nine-part prefabs

namespace
{
// Records what a prefab asks of its texture.
class RecordingBitmap : public QD_Bitmap
{
  public:
    struct Call
    {
        int x, y, w, h, sx, sy, sw, sh;
    };
    int GetWidth() override { return 64; }
    int GetHeight() override { return 32; }
    bool Blit(int x, int y, int w, int h, int sx, int sy) override
    {
        myCalls.push_back({x, y, w, h, sx, sy, w, h});
        return true;
    }
    bool BlitStretch(int x, int y, int w, int h, int sx, int sy, int sw, int sh) override
    {
        myCalls.push_back({x, y, w, h, sx, sy, sw, sh});
        return true;
    }
    bool BlitRotate(int, int, float) override { return false; }
    bool BlitStretchRotate(int, int, int, int, float) override { return false; }
    std::vector<Call> myCalls;
};

VAVE_GuiPrefab MakePrefab(int sx, int sz, int ex, int ez, int isx, int isz, int iex, int iez)
{
    VAVE_GuiPrefab p;
    p.myStartX = sx, p.myStartZ = sz, p.myEndX = ex, p.myEndZ = ez;
    p.myInnerStartX = isx, p.myInnerStartZ = isz, p.myInnerEndX = iex, p.myInnerEndZ = iez;
    return p;
}
} // namespace

TEST(VAVE_GuiPrefab, NinePartsAtTheirPlaces)
{
    RecordingBitmap locBitmap;
    MakePrefab(0, 0, 12, 12, 4, 4, 8, 8).Draw(&locBitmap, 100, 50, 40, 20);
    ASSERT_EQ(locBitmap.myCalls.size(), 9u);
    const auto& c = locBitmap.myCalls;
    // Corners at their own size.
    EXPECT_EQ((std::vector<int>{c[0].x, c[0].y, c[0].w, c[0].h, c[0].sx, c[0].sy}),
              (std::vector<int>{100, 50, 4, 4, 0, 0}));
    EXPECT_EQ((std::vector<int>{c[3].x, c[3].y, c[3].w, c[3].h, c[3].sx, c[3].sy}),
              (std::vector<int>{136, 66, 4, 4, 8, 8}));
    // The centre stretched from 4 x 4 to 32 x 12.
    EXPECT_EQ((std::vector<int>{c[8].x, c[8].y, c[8].w, c[8].h, c[8].sx, c[8].sy, c[8].sw, c[8].sh}),
              (std::vector<int>{104, 54, 32, 12, 4, 4, 4, 4}));
}

TEST(VAVE_GuiPrefab, PartsOfNoSizeAreSkippedAndSourcesCutToTheTexture)
{
    auto locSound = [](const RecordingBitmap& aBitmap)
    {
        for (const auto& c : aBitmap.myCalls)
        {
            EXPECT_GT(c.w, 0);
            EXPECT_GT(c.h, 0);
            EXPECT_GT(c.sw, 0);
            EXPECT_GT(c.sh, 0);
            EXPECT_GE(c.sx, 0);
            EXPECT_GE(c.sy, 0);
            EXPECT_LE(c.sx + c.sw, 64);
            EXPECT_LE(c.sy + c.sh, 32);
        }
    };
    // A widget smaller than the borders: only the corners, no mirrored edges.
    RecordingBitmap locSmall;
    MakePrefab(0, 0, 12, 12, 4, 4, 8, 8).Draw(&locSmall, 0, 0, 6, 6);
    locSound(locSmall);
    EXPECT_EQ(locSmall.myCalls.size(), 4u);
    // An inner rectangle outside the outer one (values typed in the tree).
    RecordingBitmap locCrossed;
    MakePrefab(30, 20, 20, 10, 35, 25, 90, 11).Draw(&locCrossed, 0, 0, 50, 50);
    locSound(locCrossed);
    // A prefab reaching past the texture: the cut part keeps its scale.
    RecordingBitmap locBeyond;
    MakePrefab(56, 0, 72, 16, 60, 4, 68, 12).Draw(&locBeyond, 0, 0, 16, 16);
    locSound(locBeyond);
    ASSERT_FALSE(locBeyond.myCalls.empty());
    EXPECT_EQ(locBeyond.myCalls[0].x, 0);
    EXPECT_EQ(locBeyond.myCalls[0].w, 4);
    bool locFoundCut = false;
    for (const auto& c : locBeyond.myCalls)
        locFoundCut |= c.sx == 60 && c.sw == 4 && c.x == 4 && c.w == 4;
    EXPECT_TRUE(locFoundCut);
    // A skin font's height: mySize x 0.00008333333, truncated.
    EXPECT_EQ(VAVE_GuiSkin::FontHeight(250000), 20);
    EXPECT_EQ(VAVE_GuiSkin::FontHeight(240000), 19);
    EXPECT_EQ(VAVE_GuiSkin::FontHeight(0), 0);
}

// [SECTION] The skin editor

namespace
{
struct Values
{
    int v[8];
    bool operator==(const Values& o) const { return std::equal(v, v + 8, o.v); }
};
std::ostream& operator<<(std::ostream& anOut, const Values& a)
{
    for (int i : a.v)
        anOut << i << " ";
    return anOut;
}
Values PrefabValues(VelkType* aPrefab)
{
    const char* const locNames[] = {"myStart.x",      "myStart.z",      "myEnd.x",      "myEnd.z",
                                    "myInnerStart.x", "myInnerStart.z", "myInnerEnd.x", "myInnerEnd.z"};
    Values locResult;
    for (int i = 0; i < 8; i++)
        locResult.v[i] = aPrefab->GetMemberValueAsInt(locNames[i]);
    return locResult;
}
} // namespace

class SkinEditorTest : public GuiEditorsTest
{
  protected:
    void SetUp() override
    {
        GuiEditorsTest::SetUp();
        VAVE_GuiSkinEditor::SetView(1, 0, 0);
        ASSERT_TRUE(VelkCompiler::Compile(mySkins, "skins/main.velk", &myTypes, nullptr));
        mySkin = mySkins.GetInstance("mySkinFile.mySkins.red", true);
        ASSERT_NE(mySkin, nullptr);
        myPrefabs = mySkin->FindMember("myPrefabs");
        Open(mySkin);
        ASSERT_NE(myEditor, nullptr);
        mySkinEditor = dynamic_cast<VAVE_GuiSkinEditor*>(myEditor.get());
        ASSERT_NE(mySkinEditor, nullptr);
    }
    void TearDown() override
    {
        GuiEditorsTest::TearDown();
        VAVE_GuiSkinEditor::SetView(1, 0, 0);
    }
    VelkType* Prefab(const char* aName) { return myPrefabs->FindMember(aName); }

    VelkNameSpace mySkins;
    VelkType* mySkin = nullptr;
    VelkType* myPrefabs = nullptr;
    VAVE_GuiSkinEditor* mySkinEditor = nullptr;
};

TEST_F(SkinEditorTest, PrefabsAreNormalisedAtCreation)
{
    // "crossed": starts after ends, an inner rectangle reaching past the outer one and the texture.
    EXPECT_EQ(PrefabValues(Prefab("crossed")), (Values{{20, 30, 30, 40, 20, 30, 30, 31}}));
    EXPECT_EQ(PrefabValues(Prefab("panel")), (Values{{0, 0, 12, 12, 4, 4, 8, 8}}));
    // Values at the ends of the int range: held, then put within the 64 x 64 texture.
    EXPECT_EQ(PrefabValues(Prefab("huge")), (Values{{0, 0, 64, 5, 0, 0, 64, 5}}));
    EXPECT_EQ(mySkinEditor->GetMode(), VAVE_GuiSkinEditor::MODE_DRAG_OUTER);
    // Mending them changed the data, told once; a skin already in order opens with no change.
    EXPECT_TRUE(myEditor->TakeChanged());
    EXPECT_FALSE(myEditor->TakeChanged());
    Open(mySkin);
    ASSERT_NE(myEditor, nullptr);
    EXPECT_FALSE(myEditor->TakeChanged());
    // Keys that scroll, zoom and switch the mode change no value; narrowing the inner rectangle does.
    myEditor->SelectInstance(Prefab("panel"));
    for (int locKey : {37, 38, 107, 109, 32, 32, 32})
        myEditor->OnKeyDown(locKey);
    EXPECT_FALSE(myEditor->TakeChanged());
    myEditor->OnKeyDown(106);
    EXPECT_TRUE(myEditor->TakeChanged());
}

TEST_F(SkinEditorTest, SelectionAndItsDebugTexts)
{
    myEditor->SelectInstance(Prefab("panel"));
    EXPECT_TRUE(HasText("VAVE_GuiSkinEditor::SelectInstance(): selecting current prefab"));
    EXPECT_EQ(mySkinEditor->GetSelectedPrefab(), Prefab("panel"));
    myEditor->SelectInstance(mySkin);
    EXPECT_TRUE(HasText("VAVE_GuiSkinEditor::SelectInstance(): ignoring instance of type 'VAP_Skin'"));
    EXPECT_EQ(mySkinEditor->GetSelectedPrefab(), Prefab("panel"));
    // The tree's Delete key never deletes through this editor.
    EXPECT_EQ(myEditor->GetSelectedInstance(), nullptr);
}

TEST_F(SkinEditorTest, ZoomOffsetsAndTheirKeys)
{
    VAVE_GuiSkinEditor::SetView(2, 0, 0);
    int x, z;
    VAVE_GuiSkinEditor::ToTexture(10, 7, &x, &z);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(z, 3);
    Key(Qt::Key_Left);
    Key(Qt::Key_Up);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetOffsetX(), 0);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetOffsetY(), 0);
    Key(Qt::Key_Right);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetOffsetX(), -32);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetOffsetY(), -64);
    VAVE_GuiSkinEditor::ToTexture(10, 7, &x, &z);
    EXPECT_EQ(x, 21);
    EXPECT_EQ(z, 35);
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetOffsetX(), 0);
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetZoom(), 3);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetZoom(), 1);
}

TEST_F(SkinEditorTest, DefineAndDragTheSelectedPrefab)
{
    VelkType* locZero = Prefab("zero");
    // Without a selection the mouse changes nothing.
    Drag({{3, 3}, {9, 9}});
    EXPECT_EQ(PrefabValues(locZero), (Values{{10, 20, 10, 20, 10, 20, 10, 20}}));
    myEditor->SelectInstance(locZero);

    // Define: press, moves, release; going up and left is put in order.
    Key(Qt::Key_Space);
    Key(Qt::Key_Space);
    ASSERT_EQ(mySkinEditor->GetMode(), VAVE_GuiSkinEditor::MODE_DEFINE);
    VAVE_GuiSkinEditor::SetView(2, 0, 0);
    Drag({{40, 40}, {30, 36}, {20, 24}});
    EXPECT_EQ(PrefabValues(locZero), (Values{{10, 12, 15, 18, 10, 12, 15, 18}}));
    // A new press starts a new definition; the inner rectangle is kept inside.
    Drag({{60, 60}, {80, 70}});
    EXPECT_EQ(PrefabValues(locZero), (Values{{30, 30, 40, 35, 30, 30, 30, 30}}));
    Drag({{60, 60}});
    EXPECT_EQ(PrefabValues(locZero), (Values{{30, 30, 30, 30, 30, 30, 30, 30}}));

    // Drag Outer: the nearer edge takes the point, the start on a tie; a
    // start dragged past its end swaps with it.
    Key(Qt::Key_Space);
    ASSERT_EQ(mySkinEditor->GetMode(), VAVE_GuiSkinEditor::MODE_DRAG_OUTER);
    Drag({{70, 60}});
    EXPECT_EQ(PrefabValues(locZero), (Values{{30, 30, 35, 30, 30, 30, 30, 30}}));
    myEditor->TakeChanged();
    Drag({{58, 62}});
    EXPECT_EQ(PrefabValues(locZero), (Values{{29, 30, 35, 31, 30, 30, 30, 30}}));
    // Told as a change; the same point again moves nothing and is none.
    EXPECT_TRUE(myEditor->TakeChanged());
    Drag({{58, 62}});
    EXPECT_FALSE(myEditor->TakeChanged());

    // Drag Inner moves the inner edges, kept within the outer ones.
    Key(Qt::Key_Space);
    ASSERT_EQ(mySkinEditor->GetMode(), VAVE_GuiSkinEditor::MODE_DRAG_INNER);
    Drag({{66, 200}});
    EXPECT_EQ(PrefabValues(locZero), (Values{{29, 30, 35, 31, 30, 30, 33, 31}}));
    Key(Qt::Key_Space);
    EXPECT_EQ(mySkinEditor->GetMode(), VAVE_GuiSkinEditor::MODE_DEFINE);
}

TEST_F(SkinEditorTest, NormalisingKeepsValuesOnTheLimits)
{
    VelkType* locZero = Prefab("zero");
    struct Case
    {
        Values myIn, myOut;
    };
    const Case locCases[] = {
        // Every value on a limit stays.
        {{{0, 0, 0, 0, 0, 0, 0, 0}}, {{0, 0, 0, 0, 0, 0, 0, 0}}},
        {{{64, 64, 64, 64, 64, 64, 64, 64}}, {{64, 64, 64, 64, 64, 64, 64, 64}}},
        {{{0, 0, 64, 64, 0, 0, 64, 64}}, {{0, 0, 64, 64, 0, 0, 64, 64}}},
        {{{3, 4, 9, 10, 3, 4, 9, 10}}, {{3, 4, 9, 10, 3, 4, 9, 10}}},
        // One past them is brought back.
        {{{-1, -1, 65, 65, 2, 2, 3, 3}}, {{0, 0, 64, 64, 2, 2, 3, 3}}},
        {{{3, 4, 9, 10, 2, 3, 10, 11}}, {{3, 4, 9, 10, 3, 4, 9, 10}}},
        {{{3, 4, 9, 10, 10, 11, 2, 3}}, {{3, 4, 9, 10, 3, 4, 9, 10}}},
    };
    const char* const locNames[] = {"myStart.x",      "myStart.z",      "myEnd.x",      "myEnd.z",
                                    "myInnerStart.x", "myInnerStart.z", "myInnerEnd.x", "myInnerEnd.z"};
    for (const Case& locCase : locCases)
    {
        for (int i = 0; i < 8; i++)
            ASSERT_TRUE(locZero->FindMember(locNames[i])->AssignInt(locCase.myIn.v[i]));
        VAVE_GuiSkinEditor::Normalise(locZero, 64, 64);
        EXPECT_EQ(PrefabValues(locZero), locCase.myOut) << locCase.myIn;
    }
    // The view: zoom at least 1, offsets never above 0.
    VAVE_GuiSkinEditor::SetView(0, 5, 1);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetZoom(), 1);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetOffsetX(), 0);
    EXPECT_EQ(VAVE_GuiSkinEditor::GetOffsetY(), 0);

    // Past its end the end is the nearer edge.
    VelkType* locPanel = Prefab("panel");
    myEditor->SelectInstance(locPanel);
    Drag({{20, 30}});
    EXPECT_EQ(PrefabValues(locPanel), (Values{{0, 0, 20, 30, 4, 4, 8, 8}}));

    // Leaving normalises every prefab again.
    locPanel->FindMember("myStart.x")->AssignInt(30);
    locPanel->FindMember("myInnerEnd.z")->AssignInt(99);
    myForwarder.myEditor = nullptr;
    myEditor.reset();
    EXPECT_EQ(PrefabValues(locPanel), (Values{{20, 0, 30, 30, 20, 4, 30, 30}}));
}

TEST_F(SkinEditorTest, WidenAndNarrowTheInnerRectangleWithinTheOuter)
{
    VelkType* locPanel = Prefab("panel");
    myEditor->SelectInstance(locPanel);
    Key(Qt::Key_Slash, Qt::KeypadModifier);
    EXPECT_EQ(PrefabValues(locPanel), (Values{{0, 0, 12, 12, 3, 3, 9, 9}}));
    for (int i = 0; i < 5; i++)
        Key(Qt::Key_Slash, Qt::KeypadModifier);
    EXPECT_EQ(PrefabValues(locPanel), (Values{{0, 0, 12, 12, 0, 0, 12, 12}}));
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(PrefabValues(locPanel), (Values{{0, 0, 12, 12, 2, 2, 10, 10}}));
    for (int i = 0; i < 9; i++)
    {
        Key(Qt::Key_Asterisk, Qt::KeypadModifier);
        const Values v = PrefabValues(locPanel);
        EXPECT_LE(v.v[4], v.v[6]);
        EXPECT_GE(v.v[4], 0);
        EXPECT_LE(v.v[6], 12);
    }
}

TEST_F(SkinEditorTest, DrawsTheTextureRectanglesAndCorners)
{
    myEditor->SelectInstance(Prefab("panel"));
    VAVE_GuiSkinEditor::SetView(2, 0, 0);
    myEditor->Draw(true);
    QImage locShown = Shown();
    // Texture pixel (40, 40) at (80..81, 80..81); outside the 128 x 128 texture the background.
    EXPECT_EQ(At(locShown, 80, 80), REST);
    EXPECT_EQ(At(locShown, 81, 81), REST);
    EXPECT_EQ(At(locShown, 200, 200), 0x404040);
    // The selected prefab's outer right edge in green, another prefab's outer left edge in white.
    EXPECT_EQ(At(locShown, 24, 18), GREEN);
    EXPECT_EQ(At(locShown, 32, 14), WHITE);
    // End corners in red around "bar"'s outer end (96, 16).
    EXPECT_GT(Count(locShown, 91, 11, 102, 22, RED), 4);
    // The selected prefab's outer bottom edge; a start corner's circle in green ("crossed" at (40, 60)).
    EXPECT_EQ(At(locShown, 12, 24), GREEN);
    EXPECT_EQ(At(locShown, 36, 60), GREEN);
    // Zoom 1: a plain copy.
    VAVE_GuiSkinEditor::SetView(1, 0, 0);
    myEditor->Draw(true);
    locShown = Shown();
    EXPECT_EQ(At(locShown, 40, 40), REST);
    EXPECT_EQ(At(locShown, 100, 100), 0x404040);
    // The mode's name at the top left in white.
    EXPECT_GT(Count(locShown, 0, 0, 60, 12, WHITE), 5);
}

TEST_F(SkinEditorTest, RemovedPrefabsAndSkinsLeaveNoEditorOnFreedMemory)
{
    VelkType* locPanel = Prefab("panel");
    myEditor->SelectInstance(locPanel);
    EXPECT_TRUE(myEditor->ReleaseInstance(locPanel));
    ASSERT_TRUE(myPrefabs->DeleteMember(locPanel));
    EXPECT_EQ(mySkinEditor->GetSelectedPrefab(), nullptr);
    Drag({{3, 3}, {9, 9}});
    myEditor->SelectInstance(Prefab("bar"));
    EXPECT_TRUE(myEditor->ReleaseInstance(myPrefabs));
    EXPECT_EQ(mySkinEditor->GetSelectedPrefab(), nullptr);
    // The skin, or what holds it: the editor must go first; it normalises as it goes.
    EXPECT_FALSE(myEditor->ReleaseInstance(mySkin));
    EXPECT_FALSE(myEditor->ReleaseInstance(mySkins.GetInstance("mySkinFile", true)));
    myForwarder.myEditor = nullptr;
    myEditor.reset();
    VelkType* locFile = mySkins.GetInstance("mySkinFile", true);
    ASSERT_TRUE(mySkins.DeleteInstance(locFile));
}

TEST_F(SkinEditorTest, ASkinWithoutATextureOpensNoEditor)
{
    mySkin->FindMember("myEditorFileName")->AssignValue("skins/absent.tga");
    mySkin->FindMember("myFileName")->AssignValue("skins/absent.bmp");
    Open(mySkin);
    EXPECT_EQ(myEditor, nullptr);
    // The game's file serves when the editor's is missing.
    mySkin->FindMember("myFileName")->AssignValue("skins/skin.tga");
    Open(mySkin);
    EXPECT_NE(myEditor, nullptr);
}
