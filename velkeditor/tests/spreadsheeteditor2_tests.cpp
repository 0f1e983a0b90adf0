// The spreadsheet editor over a real .fruit/.velk pair, made by the factory and
// driven through the shell's view pane offscreen, as the facade drives it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/spreadsheeteditor2.h"
#include "velkeditor/tests/velk_pane_test.h"
#include "velkeditor/velk_editorfactory.h"
#include "velkeditor/velk_editorview.h"
#include "velkeditor/velk_typefilter.h"

namespace
{
class SheetEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "velkeditor_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new SheetEnvironment);

const char TYPES[] = "CLASS Pos\r\n{\r\nNUMBER x 0\r\nNUMBER y 0\r\n}\r\n"
                     "SCRIPTCLASS Tags\r\n{\r\nTEXT\r\n}\r\n"
                     "CLASS Unit\r\n{\r\nTEXT name\r\nNUMBER hp 10\r\nPos pos\r\nTags tags\r\n}\r\n"
                     "SCRIPTCLASS Army\r\n{\r\nUnit\r\n}\r\n"
                     "SCRIPTCLASS Numbers\r\n{\r\nNUMBER\r\n}\r\n"
                     "SCRIPTCLASS Armies\r\n{\r\nArmy\r\n}\r\n"
                     "SCRIPTCLASS Mixed\r\n{\r\nUnit\r\nNUMBER\r\n}\r\n";

const char DATA[] = "Army army\r\n{\r\n"
                    "\tUnit Unit(0)\r\n\t{\r\n\t\tname alpha\r\n\t\thp 5\r\n"
                    "\t\tpos\r\n\t\t{\r\n\t\t\tx 1\r\n\t\t\ty 2\r\n\t\t}\r\n"
                    "\t\ttags\r\n\t\t{\r\n\t\t\tTEXT TEXT(0) red\r\n\t\t}\r\n\t}\r\n"
                    "\tUnit Unit(1)\r\n\t{\r\n\t\tname beta\r\n\t\tpos\r\n\t\t{\r\n\t\t\tx 3\r\n\t\t}\r\n\t}\r\n"
                    "\tUnit Unit(2)\r\n\t{\r\n\t\tname gamma\r\n\t\thp 7\r\n"
                    "\t\ttags\r\n\t\t{\r\n\t\t\tTEXT TEXT(0) blue\r\n\t\t}\r\n\t}\r\n"
                    "}\r\n"
                    "Numbers numbers\r\n{\r\n\tNUMBER NUMBER(0) 1\r\n\tNUMBER NUMBER(1) 2\r\n}\r\n"
                    "Armies armies\r\n{\r\n\tArmy Army(0)\r\n\t{\r\n\t}\r\n}\r\n"
                    "Army nobody\r\n{\r\n}\r\n"
                    "Mixed mixed\r\n{\r\n\tNUMBER NUMBER(0) 4\r\n}\r\n";

enum
{
    VK_RETURN = 13,
    VK_SHIFT = 16,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_MULTIPLY = 106,
    VK_ADD = 107,
    VK_SUBTRACT = 109,
    VK_DIVIDE = 111,
};

using PaneFacade = VelkPaneFacade;

class SpreadSheetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SpreadSheetEditor2::ResetSharedState();
        ASSERT_TRUE(myConfig.isValid());
        setenv("XDG_CONFIG_HOME", myConfig.path().toUtf8().constData(), 1);
        // Per process: the same tests also run under Xvfb, maybe at the same time.
        std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / ("sheet." + std::to_string(getpid()));
        std::filesystem::create_directories(locDir);
        const std::string locFruit = (locDir / "units.fruit").string();
        const std::string locVelk = (locDir / "units.velk").string();
        std::ofstream(locFruit, std::ios::binary) << TYPES;
        std::ofstream(locVelk, std::ios::binary) << "INCLUDE " << locFruit << "\r\n" << DATA;
        ASSERT_TRUE(VelkCompiler::Compile(mySpace, locVelk.c_str(), &myTypes, nullptr));

        UI_FrameTemplate locTemplate = {"SheetTest", nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 200};
        myFrame = UI_CreateFrame(locTemplate);
        ASSERT_NE(myFrame, nullptr);
        UI_FrameAddHandler(myFrame, &myFacade);
        UI_FrameShow(myFrame);
        UI_DispatchMessages(false);
        myWindow = std::make_unique<VelkEditorView>(myFrame);
        myView = UI_GetFrameView(myFrame);
    }
    void TearDown() override
    {
        myFacade.myEditor = nullptr;
        myEditor.reset();
        UI_DestroyFrame(myFrame);
        unsetenv("XDG_CONFIG_HOME");
    }

    VelkType* Get(const char* aPath) { return mySpace.GetInstance(aPath, false); }

    // The factory's editor for an instance, shown in the pane.
    SpreadSheetEditor2* Open(const char* aPath, VelkTypeFilterManager* aFilters = nullptr)
    {
        VelkEditorFactory locPrototype;
        std::unique_ptr<VelkEditorFactory> locFactory(locPrototype.Create());
        VelkTypeFilterManager locOwnFilters(nullptr);
        myFacade.myEditor = nullptr;
        myEditor.reset(locFactory->CreateEditor(Get(aPath), aFilters ? aFilters : &myFilters, myWindow.get(), nullptr));
        SpreadSheetEditor2* locSheet = dynamic_cast<SpreadSheetEditor2*>(myEditor.get());
        myFacade.myEditor = locSheet;
        if (locSheet)
            locSheet->Draw(true);
        return locSheet;
    }

    void Mouse(QEvent::Type aType, Qt::MouseButton aButton, int x, int y,
               Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
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
    // The pane as painted: the presented picture.
    QImage Shown()
    {
        return myView->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Pixels of exactly that colour inside the rectangle.
    static int Count(const QImage& anImage, QRgb aColour, int aLeft, int aTop, int aRight, int aBottom)
    {
        int locCount = 0;
        for (int y = std::max(aTop, 0); y < std::min(aBottom, anImage.height()); y++)
            for (int x = std::max(aLeft, 0); x < std::min(aRight, anImage.width()); x++)
                locCount += (anImage.pixel(x, y) & 0xFFFFFF) == (aColour & 0xFFFFFF);
        return locCount;
    }
    // Centre of the cell of a column (-1: row titles) and row as shown.
    static int X(int aColumn) { return (aColumn + 1) * SpreadSheetEditor2::GetCellWidth() + 8; }
    static int Y(int aRow) { return (aRow + 1) * SpreadSheetEditor2::GetCellHeight() + 8; }
    std::vector<std::string> Titles(SpreadSheetEditor2* aSheet)
    {
        std::vector<std::string> locTitles;
        for (int i = 0; i < aSheet->GetNumColumns(); i++)
            locTitles.push_back(aSheet->GetColumnTitle(i).GetBuffer());
        return locTitles;
    }

    QTemporaryDir myConfig;
    VelkTypeManager myTypes;
    VelkNameSpace mySpace;
    VelkTypeFilterManager myFilters{nullptr};
    PaneFacade myFacade;
    UI_Frame* myFrame = nullptr;
    QWidget* myView = nullptr;
    std::unique_ptr<VelkEditorView> myWindow;
    std::unique_ptr<VelkEditor> myEditor;
};
} // namespace

TEST_F(SpreadSheetTest, FactoryOpensOnlyWhatItCanShow)
{
    ASSERT_NE(Open("army"), nullptr);
    EXPECT_EQ(myFilters.GetTypes().myCount, 1);

    // Several legal types, nothing held, a held script class, no window: none,
    // while the one legal type still gets its filter record.
    EXPECT_EQ(Open("mixed"), nullptr);
    EXPECT_EQ(Open("nobody"), nullptr);
    EXPECT_EQ(Open("armies"), nullptr);
    EXPECT_NE(myFilters.FindType("Army"), nullptr);
    VelkEditorFactory locFactory;
    EXPECT_EQ(locFactory.CreateEditor(Get("army"), &myFilters, nullptr, nullptr), nullptr);
    EXPECT_EQ(Open("army.Unit(0)"), nullptr);
}

TEST_F(SpreadSheetTest, RowsAndColumnsFollowTheFilterAndTheNestingFlag)
{
    SpreadSheetEditor2* locSheet = Open("army");
    ASSERT_NE(locSheet, nullptr);
    ASSERT_EQ(locSheet->GetNumRows(), 3);
    EXPECT_EQ(locSheet->GetRow(1).myInstance, Get("army.Unit(1)"));
    EXPECT_EQ(Titles(locSheet), (std::vector<std::string>{"name", "hp", "pos", "tags"}));
    const SpreadSheetRow& locFirst = locSheet->GetRow(0);
    ASSERT_EQ(locFirst.myCells.size(), 4u);
    EXPECT_STREQ(SpreadSheetEditor2::GetCellText(locFirst.myCells[0]), "alpha");
    EXPECT_STREQ(SpreadSheetEditor2::GetCellText(locFirst.myCells[1]), "5");
    EXPECT_STREQ(SpreadSheetEditor2::GetCellText(locFirst.myCells[2]), "STRUCTURE");
    EXPECT_STREQ(SpreadSheetEditor2::GetCellText(locFirst.myCells[3]), "LIST");
    EXPECT_EQ(locFirst.myCells[2].myInstance, Get("army.Unit(0).pos"));

    // Space (on key up) expands nested members; the flag outlives the editor.
    Key(Qt::Key_Space);
    EXPECT_TRUE(SpreadSheetEditor2::GetExpandNestedMembers());
    EXPECT_EQ(Titles(locSheet), (std::vector<std::string>{"name", "hp", "pos.x", "pos.y", "tags"}));
    EXPECT_STREQ(SpreadSheetEditor2::GetCellText(locSheet->GetRow(1).myCells[2]), "3");
    locSheet = Open("army");
    EXPECT_EQ(locSheet->GetNumColumns(), 5);

    // A filter names the columns; leaving out the outer member hides its
    // nested columns even when they are named.
    VelkTypeFilterManager locFilters(nullptr);
    VelkTypeFilter* locFilter = locFilters.GetType("Unit")->AddFilter("narrow");
    locFilter->AddMember("name");
    locFilter->AddMember("pos.x");
    locSheet = Open("army", &locFilters);
    EXPECT_EQ(Titles(locSheet), (std::vector<std::string>{"name"}));
    locFilter->AddMember("pos");
    locSheet->OnTreeRefreshed();
    EXPECT_EQ(Titles(locSheet), (std::vector<std::string>{"name", "pos.x"}));

    // A held type without members: one "VALUE" column of the instances themselves.
    locSheet = Open("numbers");
    EXPECT_EQ(Titles(locSheet), (std::vector<std::string>{"VALUE"}));
    EXPECT_EQ(locSheet->GetRow(1).myCells[0].myInstance, Get("numbers.NUMBER(1)"));
    EXPECT_STREQ(SpreadSheetEditor2::GetCellText(locSheet->GetRow(1).myCells[0]), "2");
}

TEST_F(SpreadSheetTest, ButtonsPickInstancesForTheTree)
{
    SpreadSheetEditor2* locSheet = Open("army");
    ASSERT_NE(locSheet, nullptr);
    Click(Qt::LeftButton, X(-1), Y(1));
    Click(Qt::LeftButton, X(0), Y(2));
    Click(Qt::RightButton, X(2), Y(0));
    ASSERT_EQ(myFacade.myActions.size(), 3u);
    EXPECT_EQ(myFacade.myActions[0].myInstance, Get("army.Unit(1)"));
    EXPECT_EQ(myFacade.myActions[0].myAction, EditorAction::SELECT_IN_TREE);
    EXPECT_EQ(myFacade.myActions[1].myInstance, Get("army.Unit(2).name"));
    EXPECT_EQ(myFacade.myActions[2].myInstance, Get("army.Unit(0).pos"));
    EXPECT_EQ(myFacade.myActions[2].myAction, EditorAction::EDIT_IN_TREE);

    // Nothing under the title row, past the last row, past the last column,
    // left of the pane; scrolled, the point maps to the scrolled cell.
    myFacade.myActions.clear();
    Click(Qt::LeftButton, X(0), 4);
    Click(Qt::RightButton, X(0), Y(3));
    Click(Qt::RightButton, X(0), Y(40));
    Click(Qt::RightButton, X(7), Y(0));
    EXPECT_TRUE(myFacade.myActions.empty());
    EXPECT_EQ(locSheet->GetInstanceAt(-3, Y(0)), nullptr);
    // The edges: the row titles start at 0, the first column at the cell width.
    const int w = SpreadSheetEditor2::GetCellWidth(), h = SpreadSheetEditor2::GetCellHeight();
    EXPECT_EQ(locSheet->GetInstanceAt(0, h), Get("army.Unit(0)"));
    EXPECT_EQ(locSheet->GetInstanceAt(w - 1, h - 1), nullptr);
    EXPECT_EQ(locSheet->GetInstanceAt(w, h), Get("army.Unit(0).name"));
    EXPECT_EQ(locSheet->GetInstanceAt(2 * w - 1, 2 * h - 1), Get("army.Unit(0).name"));
    EXPECT_EQ(locSheet->GetInstanceAt(2 * w, 2 * h), Get("army.Unit(1).hp"));
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    EXPECT_EQ(locSheet->GetInstanceAt(X(0), Y(0)), Get("army.Unit(1).hp"));
    EXPECT_EQ(locSheet->GetInstanceAt(X(-1), Y(1)), Get("army.Unit(2)"));
    EXPECT_EQ(locSheet->GetInstanceAt(X(0), 4), nullptr);
    EXPECT_EQ(locSheet->GetInstanceAt(X(0), Y(2)), nullptr);
}

TEST_F(SpreadSheetTest, ColumnsAreCopiedAndReset)
{
    SpreadSheetEditor2* locSheet = Open("numbers");
    ASSERT_NE(locSheet, nullptr);
    // Shift+right-click with no source column does nothing.
    Click(Qt::RightButton, X(0), Y(0), Qt::ShiftModifier);
    EXPECT_STREQ(Get("numbers.NUMBER(0)")->GetValue(), "1");

    Key(Qt::Key_Space);
    locSheet = Open("army");
    Click(Qt::LeftButton, X(2), Y(0), Qt::ShiftModifier);   // pos.x
    EXPECT_EQ(locSheet->GetSourceColumn(), 2);
    Click(Qt::RightButton, X(3), Y(1), Qt::ShiftModifier);  // into pos.y
    EXPECT_STREQ(Get("army.Unit(0).pos.y")->GetValue(), "1");
    EXPECT_STREQ(Get("army.Unit(1).pos.y")->GetValue(), "3");
    EXPECT_STREQ(Get("army.Unit(2).pos.y")->GetValue(), "0");

    // Into the first column, from the last one of the first row.
    Click(Qt::LeftButton, X(0), Y(0), Qt::ShiftModifier);
    EXPECT_EQ(locSheet->GetSourceColumn(), 0);
    Click(Qt::LeftButton, X(1), Y(0), Qt::ShiftModifier);
    Click(Qt::RightButton, X(0), Y(0), Qt::ShiftModifier);
    EXPECT_STREQ(Get("army.Unit(2).name")->GetValue(), "gamma");   // a number is no text: refused
    Click(Qt::LeftButton, X(3), Y(0), Qt::ShiftModifier);
    Click(Qt::RightButton, X(2), Y(0), Qt::ShiftModifier);
    EXPECT_STREQ(Get("army.Unit(2).pos.x")->GetValue(), "0");
    EXPECT_STREQ(Get("army.Unit(0).pos.x")->GetValue(), "1");
    // A list copied onto itself keeps its contents.
    Click(Qt::LeftButton, X(4), Y(0), Qt::ShiftModifier);
    Click(Qt::RightButton, X(4), Y(0), Qt::ShiftModifier);
    EXPECT_EQ(Get("army.Unit(0).tags")->GetNumMembers(), 1);

    // Control resets a column; on the row titles, the rows' own instances.
    Click(Qt::RightButton, X(1), Y(0), Qt::ControlModifier);
    EXPECT_STREQ(Get("army.Unit(0).hp")->GetValue(), "<empty>");
    EXPECT_STREQ(Get("army.Unit(2).hp")->GetValue(), "<empty>");
    EXPECT_STREQ(Get("army.Unit(0).name")->GetValue(), "alpha");
    Click(Qt::RightButton, X(-1), Y(2), Qt::ControlModifier);
    EXPECT_STREQ(Get("army.Unit(0).name")->GetValue(), "<empty>");
    EXPECT_STREQ(Get("army.Unit(1).pos.x")->GetValue(), "<empty>");

    // The source column counts from the scrolled columns; left of it is none.
    Key(Qt::Key_Right);
    Click(Qt::LeftButton, X(0), Y(0), Qt::ShiftModifier);
    EXPECT_EQ(locSheet->GetSourceColumn(), 1);
    Key(Qt::Key_Home);
    Click(Qt::LeftButton, X(-1), Y(0), Qt::ShiftModifier);
    EXPECT_EQ(locSheet->GetSourceColumn(), -1);
}

TEST_F(SpreadSheetTest, DeletingAHeldInstanceEmptiesItsRow)
{
    SpreadSheetEditor2* locSheet = Open("army");
    ASSERT_NE(locSheet, nullptr);
    VelkType* locGone = Get("army.Unit(1)");
    locSheet->SelectInstance(Get("army.Unit(1).pos.x"));
    // As the facade deletes: the editor is asked first.
    ASSERT_TRUE(myEditor->ReleaseInstance(locGone));
    ASSERT_TRUE(mySpace.DeleteInstance(locGone));
    EXPECT_EQ(locSheet->GetSelection(), nullptr);
    EXPECT_EQ(locSheet->GetRow(1).myInstance, nullptr);
    EXPECT_TRUE(locSheet->GetRow(1).myCells.empty());

    // Resetting and copying columns, hitting and drawing skip the emptied row.
    Click(Qt::RightButton, X(1), Y(1), Qt::ControlModifier);
    Click(Qt::LeftButton, X(0), Y(0), Qt::ShiftModifier);
    Click(Qt::RightButton, X(0), Y(1), Qt::ShiftModifier);
    Click(Qt::RightButton, X(-1), Y(1), Qt::ControlModifier);
    EXPECT_STREQ(Get("army.Unit(2).hp")->GetValue(), "<empty>");
    myFacade.myActions.clear();
    Click(Qt::LeftButton, X(-1), Y(1));
    Click(Qt::LeftButton, X(0), Y(1));
    EXPECT_TRUE(myFacade.myActions.empty());
    EXPECT_GT(Count(Shown(), qRgb(128, 128, 128), X(0) - 8, Y(2) - 8, X(1) - 8, Y(3) - 8), 0);

    // A member of a row going empties that row's cells; the row's name stays.
    VelkType* locPos = Get("army.Unit(2).pos");
    ASSERT_TRUE(myEditor->ReleaseInstance(locPos));
    EXPECT_EQ(locSheet->GetRow(2).myInstance, Get("army.Unit(2)"));
    EXPECT_TRUE(locSheet->GetRow(2).myCells.empty());
    // The editor's own instance cannot be released: the facade destroys the editor.
    EXPECT_FALSE(myEditor->ReleaseInstance(Get("army")));
}

TEST_F(SpreadSheetTest, KeysScrollAndSizeTheCells)
{
    SpreadSheetEditor2* locSheet = Open("army");
    ASSERT_NE(locSheet, nullptr);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down, Qt::ShiftModifier); // Shift read from the shell: +10
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(locSheet->GetRowScroll(), 11);
    EXPECT_EQ(locSheet->GetColumnScroll(), 10);
    Key(Qt::Key_Up, Qt::ShiftModifier);
    Key(Qt::Key_Up, Qt::ShiftModifier);
    Key(Qt::Key_Left);
    EXPECT_EQ(locSheet->GetRowScroll(), 0);
    EXPECT_EQ(locSheet->GetColumnScroll(), 9);
    Key(Qt::Key_Home);
    EXPECT_EQ(locSheet->GetColumnScroll(), 0);

    // Numpad keys size the cells in steps of 16, never below 16; the size is
    // shared by the next spreadsheet.
    Key(Qt::Key_Plus, Qt::KeypadModifier);
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(SpreadSheetEditor2::GetCellWidth(), 272);
    EXPECT_EQ(SpreadSheetEditor2::GetCellHeight(), 32);
    for (int i = 0; i < 20; i++)
    {
        Key(Qt::Key_Minus, Qt::KeypadModifier);
        Key(Qt::Key_Slash, Qt::KeypadModifier);
    }
    EXPECT_EQ(SpreadSheetEditor2::GetCellWidth(), 16);
    EXPECT_EQ(SpreadSheetEditor2::GetCellHeight(), 16);
    locSheet->OnKeyDown(VK_MULTIPLY);
    Open("army");
    EXPECT_EQ(SpreadSheetEditor2::GetCellHeight(), 32);
}

TEST_F(SpreadSheetTest, CopyToAllWaitsForConfirmation)
{
    SpreadSheetEditor2* locSheet = Open("army");
    ASSERT_NE(locSheet, nullptr);
    // Without a selection Enter does nothing.
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_FALSE(locSheet->IsConfirming());

    VelkType* locSource = Get("army.Unit(0).pos");
    locSheet->SelectInstance(locSource);
    Key(Qt::Key_Return);
    EXPECT_FALSE(locSheet->IsConfirming());
    Key(Qt::Key_Return, Qt::ShiftModifier);
    ASSERT_TRUE(locSheet->IsConfirming());
    ASSERT_EQ(myFacade.myActions.size(), 1u);
    EXPECT_EQ(myFacade.myActions[0].myInstance, locSource);
    EXPECT_STREQ(Get("army.Unit(1).pos.x")->GetValue(), "3");
    // Only the three message lines are drawn, in red with the large font.
    QImage locShown = Shown();
    EXPECT_GT(Count(locShown, qRgb(255, 0, 0), 0, 0, locShown.width(), 100), 200);
    EXPECT_EQ(Count(locShown, qRgb(0, 127, 0), 0, 0, locShown.width(), locShown.height()), 0);

    // Enter copies (and stays in the state), Escape leaves it.
    Key(Qt::Key_Return);
    EXPECT_TRUE(locSheet->IsConfirming());
    EXPECT_STREQ(Get("army.Unit(1).pos.x")->GetValue(), "1");
    EXPECT_STREQ(Get("army.Unit(2).pos.y")->GetValue(), "2");
    EXPECT_STREQ(Get("army.Unit(1).name")->GetValue(), "beta");
    Key(Qt::Key_Escape);
    EXPECT_FALSE(locSheet->IsConfirming());

    // An instance of that type and name holding the selection is walked, not
    // overwritten: a list would be emptied under its own source.
    locSheet->SelectInstance(Get("army.Unit(0).tags.TEXT(0)"));
    ASSERT_STREQ(Get("army.Unit(2).tags.TEXT(0)")->GetValue(), "blue");
    Key(Qt::Key_Return, Qt::ShiftModifier);
    Key(Qt::Key_Return);
    EXPECT_STREQ(Get("army.Unit(2).tags.TEXT(0)")->GetValue(), "red");
    EXPECT_STREQ(Get("army.Unit(0).tags.TEXT(0)")->GetValue(), "red");
}

TEST_F(SpreadSheetTest, PaneShowsTitlesCellsAndGridInTheirColours)
{
    // Narrow cells so that every column is in view.
    for (int i = 0; i < 11; i++)
        SpreadSheetEditor2(nullptr, nullptr, nullptr).OnKeyDown(VK_SUBTRACT);
    ASSERT_EQ(SpreadSheetEditor2::GetCellWidth(), 80);
    SpreadSheetEditor2* locSheet = Open("army");
    ASSERT_NE(locSheet, nullptr);
    QImage locShown = Shown();
    ASSERT_GE(locShown.width(), 5 * 80) << "pane too narrow";
    auto locInCell = [&](QRgb aColour, int aColumn, int aRow) {
        const int x = (aColumn + 1) * 80, y = (aRow + 1) * 16;
        return Count(locShown, aColour, x + 1, y + 1, x + 80, y + 16);
    };
    const QRgb locTitle = qRgb(0, 127, 0), locList = qRgb(255, 0, 0), locStructure = qRgb(0, 0, 255),
               locValue = qRgb(128, 128, 128);
    for (int c = 0; c < 4; c++)
        EXPECT_GT(locInCell(locTitle, c, -1), 10) << c;
    EXPECT_GT(locInCell(locTitle, -1, 0), 10);   // row names, after any cell colour
    EXPECT_GT(locInCell(locTitle, -1, 2), 10);
    EXPECT_GT(locInCell(locValue, 0, 0), 10);
    EXPECT_GT(locInCell(locStructure, 2, 1), 10);
    EXPECT_GT(locInCell(locList, 3, 2), 10);
    EXPECT_EQ(locInCell(locValue, 2, 1), 0);
    EXPECT_EQ(locInCell(locTitle, -1, 3), 0);    // no fourth row
    // Titles are right-aligned, cell texts left-aligned, 4 pixels in.
    EXPECT_EQ(Count(locShown, locTitle, 81, 1, 120, 16), 0);
    EXPECT_GT(Count(locShown, locValue, 84, 17, 90, 32), 0);
    EXPECT_EQ(Count(locShown, locValue, 81, 17, 84, 32), 0);
    // The grid: black lines at every multiple of the cell size.
    EXPECT_EQ(locShown.pixel(160, 300) & 0xFFFFFF, 0u);
    EXPECT_EQ(locShown.pixel(30, 48) & 0xFFFFFF, 0u);
    EXPECT_EQ(locShown.pixel(30, 300) & 0xFFFFFF, 0xFFFFFFu);

    // Scrolled, the corner cell tells by how much, and the first column goes.
    Key(Qt::Key_Right);
    Key(Qt::Key_Down);
    locShown = Shown();
    EXPECT_GT(Count(locShown, locTitle, 1, 1, 80, 16), 10);
    EXPECT_EQ(locInCell(locTitle, -1, 2), 0);
    EXPECT_GT(locInCell(locValue, 0, 0), 10);    // hp of the second unit
}

// Under X (the xvfb run): the server's own keys, modifiers and buttons reach the sheet.
TEST_F(SpreadSheetTest, UnderXTheServersKeysAndButtonsWork)
{
    if (QGuiApplication::platformName() != "xcb" || system("xdotool version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs X and xdotool (the xvfb run)";
    SpreadSheetEditor2* locSheet = Open("army");
    ASSERT_NE(locSheet, nullptr);
    QWidget* locWindow = UI_GetFrameWidget(myFrame);
    locWindow->activateWindow();
    auto locStart = std::chrono::steady_clock::now();
    while (!locWindow->isActiveWindow() && std::chrono::steady_clock::now() - locStart < std::chrono::seconds(10))
        UI_DispatchMessages(false);
    ASSERT_TRUE(locWindow->isActiveWindow());
    UI_FrameFocusView(myFrame);
    auto locAt = [&](int x, int y) {
        const QPoint locPoint = myView->mapToGlobal(QPoint(x, y));
        return "mousemove " + std::to_string(locPoint.x()) + " " + std::to_string(locPoint.y());
    };

    ASSERT_TRUE(Xdotool("key shift+Down"));
    EXPECT_EQ(locSheet->GetRowScroll(), 10);
    ASSERT_TRUE(Xdotool("key Home KP_Add"));
    EXPECT_EQ(locSheet->GetRowScroll(), 0);
    EXPECT_EQ(SpreadSheetEditor2::GetCellWidth(), 272);

    ASSERT_TRUE(Xdotool(locAt(X(0), Y(1)) + " click 1"));
    ASSERT_EQ(myFacade.myActions.size(), 1u);
    EXPECT_EQ(myFacade.myActions[0].myInstance, Get("army.Unit(1).name"));
    ASSERT_TRUE(Xdotool(locAt(X(1), Y(0)) + " keydown ctrl click 3 keyup ctrl"));
    EXPECT_STREQ(Get("army.Unit(2).hp")->GetValue(), "<empty>");
    ASSERT_EQ(myFacade.myActions.size(), 2u);
    EXPECT_EQ(myFacade.myActions[1].myAction, EditorAction::EDIT_IN_TREE);

    locSheet->SelectInstance(Get("army.Unit(0).pos"));
    ASSERT_TRUE(Xdotool("key shift+Return"));
    EXPECT_TRUE(locSheet->IsConfirming());
    ASSERT_TRUE(Xdotool("key Return Escape"));
    EXPECT_FALSE(locSheet->IsConfirming());
    EXPECT_STREQ(Get("army.Unit(1).pos.x")->GetValue(), "1");
    const QImage locShown = Shown();
    EXPECT_GT(Count(locShown, qRgb(0, 127, 0), X(0) - 8, 0, X(1) - 8, 16), 10);
}
