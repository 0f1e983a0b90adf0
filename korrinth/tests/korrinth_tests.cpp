// The program offscreen over real files: start, open, merge, include, save,
// new, the tree's commands, the console and the editor's forwarders.
#include "korrinth/korrinth.h"
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/appfacade.h"
#include "owncode/console.h"
#include "owncode/dlg_instance.h"
#include "owncode/dlg_treebrowser.h"
#include "owncode/dlg_type.h"
#include "owncode/dlg_viewvelk.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "tez/tez_loc.h"
#include "velk/velk_namespace.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QStandardItemModel>
#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <QKeyEvent>
#include <QMouseEvent>

using namespace korrinth_test;

namespace
{
class KorrinthTest : public DataFolderTest
{
protected:
    void TearDown() override
    {
        UI_SetModalHook(nullptr);
        if (myProgram)
            Korrinth_Stop(myProgram);
        DataFolderTest::TearDown();
    }

    bool Start(const char* aFile, VelkEditorFactory* aFactory = nullptr)
    {
        myProgram = Korrinth_Start(aFile, aFactory);
        myFrame = Korrinth_GetFrame(myProgram);
        return myProgram != nullptr;
    }
    AppFacade* Facade() { return AppFacade::Get(); }
    UI_Dialog* Pane() { return static_cast<MFCVelkTreeControl*>(Facade()->GetTree()->GetControl())->GetDialog(); }

    // The tree as "text" lines, children indented by two blanks.
    std::vector<std::string> Tree()
    {
        std::vector<std::string> locLines;
        Walk(UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, UI_TREE_ROOT, UI_TREE_CHILD), "", locLines);
        return locLines;
    }
    void Walk(UI_TreeItem anItem, const std::string& anIndent, std::vector<std::string>& aLines)
    {
        for (; anItem; anItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, anItem, UI_TREE_NEXT))
        {
            std::string locText;
            UI_TreeGetText(Pane(), IDC_LEFT_TREE, anItem, &locText);
            aLines.push_back(anIndent + locText);
            Walk(UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, anItem, UI_TREE_CHILD), anIndent + "  ", aLines);
        }
    }
    UI_TreeItem Item(const std::string& aText, UI_TreeItem aParent = UI_TREE_ROOT)
    {
        for (UI_TreeItem locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, aParent, UI_TREE_CHILD); locItem;
             locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locItem, UI_TREE_NEXT))
        {
            std::string locText;
            UI_TreeGetText(Pane(), IDC_LEFT_TREE, locItem, &locText);
            if (locText == aText)
                return locItem;
        }
        return 0;
    }
    std::vector<std::string> ConsoleLines()
    {
        std::vector<std::string> locLines;
        UI_Dialog* locBar = nullptr;
        (void) locBar;
        return locLines;
    }
    bool Enabled(int anId)
    {
        UI_FrameUpdateCommands(myFrame);
        UI_CommandState locState;
        return UI_FrameGetCommandState(myFrame, anId, &locState) && locState.myEnabled;
    }
    bool Checked(int anId)
    {
        UI_FrameUpdateCommands(myFrame);
        UI_CommandState locState;
        return UI_FrameGetCommandState(myFrame, anId, &locState) && locState.myChecked;
    }
    // Answers the next modal dialog with a name and OK.
    void AnswerName(const char* aName)
    {
        std::string locName = aName;
        UI_SetModalHook([locName](UI_Dialog* aDialog) {
            UI_SetControlText(aDialog, IDC_NAME, locName.c_str());
            UI_ClickButton(aDialog, UI_IDOK);
        });
    }

    KorrinthProgram* myProgram = nullptr;
    UI_Frame* myFrame = nullptr;
};
} // namespace

TEST_F(KorrinthTest, StartFailuresShowTheirMessageAndEnd)
{
    fs::remove(myDir / "korrinth.velk");
    EXPECT_FALSE(Start(nullptr));
    EXPECT_EQ(AppFacade::Get(), nullptr);
    EXPECT_EQ(myPrompts.GetBoxes(),
              std::vector<std::string>{"Korrinth|AppFacade::Init(): Failed to compile directory namespace 'korrinth.velk'"});

    // A browse filter of another type.
    myPrompts.Clear();
    WriteFile(myDir / "odd.fruit", "CLASS Odd\r\n{\r\nPoint first\r\n}\r\n");
    WriteFile(myDir / "korrinth.velk", std::string("INCLUDE game.fruit\r\nINCLUDE odd.fruit\r\n") +
                                           "TEXT DebugFile debug.txt\r\nOdd myBrowseFilters\r\n{\r\n}\r\n");
    EXPECT_FALSE(Start(nullptr));
    EXPECT_EQ(myPrompts.GetBoxes(),
              std::vector<std::string>{"Korrinth|AppFacade::Init(): Failed to load browse filters"});

    myPrompts.Clear();
    WriteFile(myDir / "korrinth.velk", "INCLUDE game.fruit\r\nTEXT Other debug.txt\r\n");
    EXPECT_FALSE(Start(nullptr));
    EXPECT_EQ(myPrompts.GetBoxes(),
              std::vector<std::string>{"Korrinth|AppFacade::Init(): Failed to find instance 'DebugFile' in directory"});
}

TEST_F(KorrinthTest, OpenShowsTheSortedTreeTitleAndLock)
{
    ASSERT_TRUE(Start("level.velk"));
    EXPECT_EQ(UI_FrameGetDocumentTitle(myFrame), "level.velk");
    EXPECT_EQ(Tree(), (std::vector<std::string>{"count = 7", "jeep", "  title = <empty>", "  colour = Green", "  pos",
                                                "    x = 1", "    y = 2", "  sound = <empty>", "  next = NULL",
                                                "  script", "spot", "  x = 1", "  y = 2", "tank",
                                                "  title = big tank", "  colour = Blue", "  pos", "    x = 10",
                                                "    y = 2", "  sound = <empty>", "  next = jeep", "  script",
                                                "    TEXT(1) = hello", "    NUMBER(2) = 5"}));
    EXPECT_EQ(ReadFile(myDir / "level.velk.lock"),
              FileLocker::GetComputerName() + std::string(1, '\0') + std::to_string(getpid()));
    EXPECT_TRUE(Enabled(ID_FILE_MERGE));
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(Enabled(ID_EDIT_CUT));

    // New: empty tree, lock gone, Merge disabled.
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_NEW));
    EXPECT_TRUE(Tree().empty());
    EXPECT_FALSE(fs::exists(myDir / "level.velk.lock"));
    EXPECT_FALSE(Enabled(ID_FILE_MERGE));
    EXPECT_EQ(UI_FrameGetDocumentTitle(myFrame), "Untitled");
}

TEST_F(KorrinthTest, SaveWritesVelkAndTezAndLogsTheConversion)
{
    ASSERT_TRUE(Start("level.velk"));
    UI_FrameSetModified(myFrame, true);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_FALSE(UI_FrameIsModified(myFrame));
    EXPECT_TRUE(fs::exists(myDir / "level.tez"));
    EXPECT_NE(ReadFile(myDir / "level.velk").find("Unit tank"), std::string::npos);
    UI_Dialog* locBar = nullptr;
    (void) locBar;

    // Save As elsewhere below the base: the lock moves with the file.
    fs::create_directories(myDir / "Sub");
    myPrompts.AnswerFile((myDir / "Sub" / "Copy.VELK").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE_AS));
    EXPECT_TRUE(fs::exists(myDir / "Sub" / "Copy.tez"));
    EXPECT_TRUE(fs::exists(myDir / "Sub" / "Copy.VELK.lock"));
    EXPECT_FALSE(fs::exists(myDir / "level.velk.lock"));

    // An empty namespace is not saved.
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_NEW));
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "empty.velk").string());
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_FALSE(fs::exists(myDir / "empty.velk"));
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Korrinth|You may not save an empty namespace!"});
}

// A conversion that cannot write one of its files: the console names that file
// and the system's reason, says what stayed old, and the document stays changed.
TEST_F(KorrinthTest, FailedConversionSaysWhichFileAndWhyAndKeepsTheChanges)
{
    WriteFile(myDir / "level.velk", std::string(LEVEL_VELK) + "LOCTEXT greeting hello\r\n");
    ASSERT_TRUE(Start("level.velk"));
    UI_Dialog* locBar = Facade()->GetConsole()->GetDialogBar();
    auto locLines = [locBar]() {
        std::vector<std::string> locText;
        for (int i = 0; i < UI_ComboGetCount(locBar, IDC_CONSOLE); i++)
        {
            std::string locLine;
            UI_ComboGetText(locBar, IDC_CONSOLE, i, &locLine);
            if (locLine.rfind("ERROR:", 0) == 0)
                locText.push_back(locLine);
        }
        return locText;
    };
    // A folder where the .loc goes: the old pair stays.
    WriteFile(myDir / "level.tez", "old tez");
    fs::create_directories(myDir / "level.loc" / "inside");
    UI_FrameSetModified(myFrame, true);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    EXPECT_EQ(locLines(), (std::vector<std::string>{
                              std::string("ERROR: Failed to convert 'level.velk' to tez: 'level.loc' could not be "
                                          "written: ") + strerror(EISDIR),
                              "ERROR: 'level.velk' was saved, but 'level.tez' and 'level.loc' were left as they were"}));
    EXPECT_EQ(ReadFile(myDir / "level.tez"), "old tez");
    EXPECT_NE(ReadFile(myDir / "level.velk").find("greeting"), std::string::npos);

    // The .tez's place taken by a folder, in a file without texts to localise.
    fs::remove_all(myDir / "level.loc");
    fs::remove(myDir / "level.tez");
    fs::create_directories(myDir / "level.tez" / "inside");
    WriteFile(myDir / "plain.velk", LEVEL_VELK);
    UI_FrameSetModified(myFrame, false);
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "plain.velk").c_str()));
    fs::rename(myDir / "level.tez", myDir / "plain.tez");
    UI_FrameSetModified(myFrame, true);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    EXPECT_EQ(locLines(), (std::vector<std::string>{
                              std::string("ERROR: Failed to convert 'plain.velk' to tez: 'plain.tez' could not be "
                                          "written: ") + strerror(EISDIR),
                              "ERROR: 'plain.velk' was saved, but 'plain.tez' was left as it was"}));

    // Only the hash report failed: the new pair stands and nothing says otherwise.
    fs::remove_all(myDir / "plain.tez");
    fs::create_directories(myDir / "plain.hash" / "inside");
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_TRUE(fs::is_regular_file(myDir / "plain.tez"));
    EXPECT_EQ(locLines(), (std::vector<std::string>{std::string("ERROR: Failed to convert 'plain.velk' to tez: "
                                                                "'plain.hash' could not be written: ") +
                                                    strerror(EISDIR)}));

    // Saved through a symbolic link: the pair named is the one beside the file
    // the link names, which the conversion writes.
    fs::remove_all(myDir / "plain.hash");
    fs::create_directories(myDir / "real" / "linked.tez" / "inside");
    WriteFile(myDir / "real" / "linked.velk", LEVEL_VELK);
    WriteFile(myDir / "alias.tez", "beside the link");
    fs::create_symlink("real/linked.velk", myDir / "alias.velk");
    UI_FrameSetModified(myFrame, false);
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "alias.velk").c_str()));
    UI_FrameSetModified(myFrame, true);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_EQ(locLines(), (std::vector<std::string>{
                              std::string("ERROR: Failed to convert 'alias.velk' to tez: 'real/linked.tez' could not "
                                          "be written: ") + strerror(EISDIR),
                              "ERROR: 'alias.velk' was saved, but 'real/linked.tez' was left as it was"}));
    // The link named in other capitals, as Save As may be given it.
    myPrompts.AnswerFile((myDir / "ALIAS.VELK").string());
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE_AS));
    EXPECT_EQ(locLines(), (std::vector<std::string>{
                              std::string("ERROR: Failed to convert 'ALIAS.VELK' to tez: 'real/linked.tez' could not "
                                          "be written: ") + strerror(EISDIR),
                              "ERROR: 'ALIAS.VELK' was saved, but 'real/linked.tez' was left as it was"}));
    EXPECT_FALSE(fs::exists(myDir / "ALIAS.VELK"));
    EXPECT_TRUE(fs::is_symlink(myDir / "alias.velk"));
    EXPECT_EQ(ReadFile(myDir / "alias.tez"), "beside the link");
}

TEST_F(KorrinthTest, RefusedOpenKeepsTheOpenFileAndItsLock)
{
    ASSERT_TRUE(Start("level.velk"));
    // Outside the base directory.
    fs::path locOutside = fs::temp_directory_path() / ("korrinth_outside_" + std::to_string(getpid()) + ".velk");
    WriteFile(locOutside, LEVEL_VELK);
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, locOutside.c_str()));
    fs::remove(locOutside);
    EXPECT_TRUE(fs::exists(myDir / "level.velk.lock"));
    EXPECT_EQ(UI_FrameGetDocumentTitle(myFrame), "level.velk");
    EXPECT_EQ(Tree().size(), 24u);
    // An extension in capitals passes.
    WriteFile(myDir / "CAPS.VELK", LEVEL_VELK);
    EXPECT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "CAPS.VELK").c_str()));
    EXPECT_TRUE(fs::exists(myDir / "CAPS.VELK.lock"));
    EXPECT_FALSE(fs::exists(myDir / "level.velk.lock"));
}

TEST_F(KorrinthTest, FailedCompileLeavesWhatCompiledUntitled)
{
    ASSERT_TRUE(Start("level.velk"));
    WriteFile(myDir / "broken.velk", "INCLUDE game.fruit\r\nPoint early\r\n{\r\n}\r\nPoint late\r\n{\r\n\tz 3\r\n}\r\n");
    myPrompts.Clear();
    // The unknown member question: not ignored.
    UI_SetModalHook([](UI_Dialog* aDialog) { UI_ClickButton(aDialog, UI_IDCANCEL); });
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, (myDir / "broken.velk").c_str()));
    ASSERT_FALSE(myPrompts.GetBoxes().empty());
    EXPECT_EQ(myPrompts.GetBoxes().back(), "Korrinth|Failed to compile " + (myDir / "broken.velk").string());
    EXPECT_EQ(UI_FrameGetDocumentTitle(myFrame), "Untitled");
    EXPECT_EQ(UI_FrameGetPath(myFrame), "");
    ASSERT_FALSE(Tree().empty());
    EXPECT_EQ(Tree()[0], "early");
    // Save asks for a name instead of replacing the broken file.
    std::string locBefore = ReadFile(myDir / "broken.velk");
    myPrompts.AnswerCancel();
    UI_FrameSetModified(myFrame, true);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_EQ(ReadFile(myDir / "broken.velk"), locBefore);
    EXPECT_EQ(myPrompts.myQuestions.back().myKind, UI_ScriptedPrompts::FILE_DIALOG);
}

// A .velk saved as UTF-16 by another editor is refused, named; what is added
// afterwards never replaces it.
TEST_F(KorrinthTest, WideTextFileIsRefusedAndNeverSavedOver)
{
    ASSERT_TRUE(Start("level.velk"));
    std::string locWide = "\xFF\xFE";
    for (char locChar : std::string(LEVEL_VELK))
        locWide += std::string{locChar, '\0'};
    const fs::path locPath = myDir / "wide.velk";
    WriteFile(locPath, locWide);
    myPrompts.Clear();
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, locPath.c_str()));
    ASSERT_FALSE(myPrompts.GetBoxes().empty());
    EXPECT_EQ(myPrompts.GetBoxes().back(), "Korrinth|Failed to compile " + locPath.string());
    Console* locConsole = Facade()->GetConsole();
    UI_Dialog* locBar = locConsole->GetDialogBar();
    std::string locShown;
    UI_ComboGetText(locBar, IDC_CONSOLE, UI_ComboGetCurSel(locBar, IDC_CONSOLE), &locShown);
    EXPECT_NE(locShown.find("'wide.velk' is not 8-bit text (it starts with a UTF-16 byte-order mark)"), std::string::npos)
        << locShown;
    EXPECT_TRUE(Tree().empty());
    EXPECT_EQ(UI_FrameGetPath(myFrame), "");

    ASSERT_NE(Facade()->NewInstance("NUMBER", "added"), nullptr);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    myPrompts.AnswerCancel();
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_EQ(myPrompts.myQuestions.back().myKind, UI_ScriptedPrompts::FILE_DIALOG);
    EXPECT_EQ(ReadFile(locPath), locWide);
    EXPECT_FALSE(fs::exists(myDir / "wide.tez"));
}

TEST_F(KorrinthTest, NewInstanceNamesAndMenuStates)
{
    ASSERT_TRUE(Start(nullptr));
    EXPECT_FALSE(Enabled(ID_FILE_MERGE));
    bool locBuiltinTypes = AppFacade::Get()->HasTypes();
    EXPECT_EQ(Enabled(ID_INSTANCE_NEW), locBuiltinTypes);
    myPrompts.AnswerFile((myDir / "game.fruit").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_TYPE_INCLUDE));
    EXPECT_TRUE(Enabled(ID_INSTANCE_NEW));
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    ASSERT_NE(Facade()->NewInstance("Point", ""), nullptr);
    ASSERT_NE(Facade()->NewInstance("Point", nullptr), nullptr);
    ASSERT_NE(Facade()->NewInstance("Point", "Point0"), nullptr);
    ASSERT_NE(Facade()->NewInstance("Unit", "spot"), nullptr);
    ASSERT_NE(Facade()->NewInstance("Unit", "spot"), nullptr);
    EXPECT_EQ(Facade()->NewInstance("Nothing", "x"), nullptr);
    std::vector<std::string> locRoots;
    for (const std::string& locLine : Tree())
        if (locLine[0] != ' ')
            locRoots.push_back(locLine);
    EXPECT_EQ(locRoots, (std::vector<std::string>{"Point0", "Point00", "Point1", "spot", "spot0"}));
    EXPECT_TRUE(Enabled(ID_FILE_MERGE));

    // The Instance menu's dialog.
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_NAME, "fresh");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_INSTANCE_NEW));
    VelkType* locFresh = Facade()->GetNameSpace().GetInstance("fresh", false);
    ASSERT_NE(locFresh, nullptr);
    EXPECT_NE(Facade()->GetTree()->FindItem(locFresh), 0);

    // Clear On Redraw: checked while the draw flag is set.
    EXPECT_TRUE(Checked(ID_VIEW_CLEAR_ON_REDRAW));
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_VIEW_CLEAR_ON_REDRAW));
    EXPECT_FALSE(Checked(ID_VIEW_CLEAR_ON_REDRAW));
    EXPECT_FALSE(Facade()->GetDrawFlag());

    // List-view styles.
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_VIEW_DETAILS));
    EXPECT_EQ(Korrinth_GetViewStyle(myProgram), 1);
    EXPECT_TRUE(Checked(ID_VIEW_DETAILS));
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_VIEW_SMALLICON));
    EXPECT_EQ(Korrinth_GetViewStyle(myProgram), 2);

    // Cancelling the include dialog returns to the base directory.
    fs::create_directories(myDir / "elsewhere");
    ASSERT_EQ(chdir("elsewhere"), 0);
    myPrompts.AnswerCancel();
    UI_FrameDoCommand(myFrame, ID_TYPE_INCLUDE);
    EXPECT_EQ(fs::current_path(), myDir);

    // Types cannot be made: the user is told.
    myPrompts.Clear();
    UI_SetModalHook([](UI_Dialog* aDialog) { UI_ClickButton(aDialog, UI_IDOK); });
    UI_FrameDoCommand(myFrame, ID_TYPE_NEW);
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_NE(myPrompts.GetBoxes()[0].find("was not created"), std::string::npos);
}

TEST_F(KorrinthTest, MergeIncludeAndHiddenTypes)
{
    ASSERT_TRUE(Start("level.velk"));
    WriteFile(myDir / "more.velk", "INCLUDE game.fruit\r\nPoint extra\r\n{\r\n\ty 9\r\n}\r\n");
    // Hide Point, then merge: the hidden type stays hidden.
    QC_List<QC_String> locShown = Facade()->GetTypeVis().GetShown();
    QC_List<QC_String> locHidden;
    for (QC_List<QC_String>::Link* locLink = locShown.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem == "Point")
        {
            locShown.RemoveLink(locLink);
            break;
        }
    locHidden.Add(QC_String("Point"));
    Facade()->GetTypeVis().SetLists(locShown, locHidden);
    Facade()->Refresh(true);
    EXPECT_EQ(Item("spot"), 0);
    myPrompts.AnswerFile((myDir / "more.velk").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_MERGE));
    EXPECT_NE(Facade()->GetNameSpace().GetInstance("extra", false), nullptr);
    EXPECT_EQ(Item("extra"), 0);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    // Opening again shows every type.
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "level.velk").c_str()));
    EXPECT_NE(Item("spot"), 0);
}

TEST_F(KorrinthTest, ConsoleKeepsTheFirstErrorInView)
{
    ASSERT_TRUE(Start("level.velk"));
    Console* locConsole = Facade()->GetConsole();
    ASSERT_NE(locConsole, nullptr);
    UI_Dialog* locBar = locConsole->GetDialogBar();
    auto locShown = [locBar]() {
        std::string locText;
        UI_ComboGetText(locBar, IDC_CONSOLE, UI_ComboGetCurSel(locBar, IDC_CONSOLE), &locText);
        return locText;
    };
    locConsole->Clear();
    locConsole->Receive(0, "one");
    EXPECT_EQ(locShown(), "one");
    locConsole->Receive(1, "first error");
    locConsole->Receive(0, "two");
    locConsole->Receive(1, "second error");
    locConsole->Receive(7, "ignored");
    EXPECT_EQ(UI_ComboGetCount(locBar, IDC_CONSOLE), 4);
    EXPECT_EQ(locShown(), "first error");
    locConsole->Clear();
    EXPECT_EQ(UI_ComboGetCount(locBar, IDC_CONSOLE), 0);
    locConsole->Receive(0, "after");
    EXPECT_EQ(locShown(), "after");

    // A save logs its conversion; a file with errors shows its first error.
    UI_FrameSetModified(myFrame, true);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_EQ(locShown(), "LOG: Successfully converted 'level.velk' to tez");
    WriteFile(myDir / "bad.velk", "INCLUDE game.fruit\r\nPoint p\r\n{\r\n\tx 1\r\n}\r\nNoSuchType q\r\n{\r\n}\r\n"
                                  "AlsoMissing r\r\n{\r\n}\r\n");
    UI_SetModalHook([](UI_Dialog* aDialog) { UI_ClickButton(aDialog, UI_IDCANCEL); });
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, (myDir / "bad.velk").c_str()));
    EXPECT_TRUE(locConsole->IsErrorShown());
    EXPECT_NE(locShown().find("NoSuchType"), std::string::npos) << locShown();
}

TEST_F(KorrinthTest, RenameCutsAndRefusesTakenNames)
{
    ASSERT_TRUE(Start("level.velk"));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("spot"));
    // The dialog takes no blank or '=': nothing happens.
    AnswerName("place = 3");
    EXPECT_FALSE(Facade()->TreeRename());
    AnswerName("place");
    EXPECT_TRUE(Facade()->TreeRename());
    EXPECT_NE(Item("place"), 0);
    EXPECT_NE(Facade()->GetNameSpace().GetInstance("place", false), nullptr);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    // Another root's name, and nothing before the cut.
    AnswerName("tank");
    EXPECT_FALSE(Facade()->TreeRename());
    EXPECT_NE(Facade()->GetNameSpace().GetInstance("place", false), nullptr);
    // A member of a plain class may not be renamed.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("pos", Item("tank")));
    AnswerName("where");
    EXPECT_FALSE(Facade()->TreeRename());
    // The facade's own rename cuts at the first space.
    VelkType* locJeep = Facade()->GetNameSpace().GetInstance("jeep", false);
    EXPECT_TRUE(Facade()->Rename(locJeep, "car more words"));
    EXPECT_EQ(locJeep->GetName(), "car");
    EXPECT_FALSE(Facade()->Rename(locJeep, "tank"));
    EXPECT_FALSE(Facade()->Rename(locJeep, " lead"));
}

TEST_F(KorrinthTest, CopyPasteAndDeleteKeepTheCopiedObjectSafe)
{
    ASSERT_TRUE(Start("level.velk"));
    // Copy tank, paste at the root under a new name.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("tank"));
    Facade()->TreeCopy();
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, 0);
    AnswerName("tank2");
    ASSERT_TRUE(Facade()->TreePaste());
    EXPECT_NE(Item("tank2"), 0);
    // A root name in use: the namespace refuses, nothing is shown.
    AnswerName("jeep");
    EXPECT_FALSE(Facade()->TreePaste());
    EXPECT_EQ(Facade()->GetNameSpace().GetNumInstances(), 5);
    // Same type: the values come over.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("jeep"));
    ASSERT_TRUE(Facade()->TreePaste());
    EXPECT_NE(Item("title = big tank", Item("jeep")), 0);
    // Onto a member inside the copied object: refused.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("script", Item("tank")));
    EXPECT_FALSE(Facade()->TreePaste());
    // Deleting the copied object forgets it: a later paste does nothing.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("tank"));
    ASSERT_TRUE(Facade()->TreeDelete());
    EXPECT_EQ(Item("tank"), 0);
    EXPECT_EQ(Facade()->GetTree()->GetCopied(), nullptr);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("jeep"));
    EXPECT_FALSE(Facade()->TreePaste());
    // A script-class member copied, its class deleted: forgotten too.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("TEXT(1) = hello", Item("script", Item("jeep"))));
    Facade()->TreeCopy();
    ASSERT_NE(Facade()->GetTree()->GetCopied(), nullptr);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("jeep"));
    ASSERT_TRUE(Facade()->TreeDelete());
    EXPECT_EQ(Facade()->GetTree()->GetCopied(), nullptr);
    // A member of a plain class is not deleted.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("pos", Item("tank2")));
    EXPECT_FALSE(Facade()->TreeDelete());
    EXPECT_NE(Item("pos", Item("tank2")), 0);
}

TEST_F(KorrinthTest, ForwardersReachTheEditorFromTheFactory)
{
    std::vector<std::string> locLog;
    std::vector<VelkType*> locConfigs;
    RecordingEditor* locLast = nullptr;
    RecordingFactory locFactory;
    locFactory.myLog = &locLog;
    locFactory.myConfigs = &locConfigs;
    locFactory.myLastEditor = &locLast;
    ASSERT_TRUE(Start("level.velk", &locFactory));

    // Selecting a Unit makes an editor, with the settings instance "Unit".
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("tank"));
    ASSERT_NE(Facade()->GetEditor(), nullptr);
    ASSERT_EQ(locConfigs.size(), 1u);
    ASSERT_NE(locConfigs[0], nullptr);
    EXPECT_EQ(locConfigs[0]->GetMemberValue("x"), "77");
    EXPECT_EQ(locLog, std::vector<std::string>{"draw 1"});

    // The right pane's messages.
    locLog.clear();
    UI_FrameSetModified(myFrame, false);
    // Through the view widget, as the user's mouse and keys arrive.
    QWidget* locView = UI_GetFrameView(myFrame);
    QMouseEvent locLeft(QEvent::MouseButtonPress, QPointF(3, 4), QPointF(3, 4), Qt::LeftButton, Qt::LeftButton,
                        Qt::ShiftModifier);
    QApplication::sendEvent(locView, &locLeft);
    QMouseEvent locRight(QEvent::MouseButtonPress, QPointF(5, 6), QPointF(5, 6), Qt::RightButton, Qt::RightButton,
                         Qt::ControlModifier);
    QApplication::sendEvent(locView, &locRight);
    QKeyEvent locKey(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(locView, &locKey);
    Facade()->OnSize(300, 200);
    Facade()->OnIdle();
    EXPECT_EQ(locLog, (std::vector<std::string>{"left 3 4 shift", "draw 1", "right 5 6 control", "draw 1",
                                                 "keydown 65", "draw 1", "char 97", "draw 1", "resize 300 200",
                                                 "draw 1", "idle"}));
    // The editor changed no value: the document is as it was.
    EXPECT_FALSE(UI_FrameIsModified(myFrame));
    // A handler that changes one marks it, a key-up or a character too.
    locLast->myChangesFlag = true;
    Facade()->OnKeyUp(32);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    UI_FrameSetModified(myFrame, false);
    Facade()->OnChar(97);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    UI_FrameSetModified(myFrame, false);
    Facade()->OnRightButtonUp(1, 1);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    locLast->myChangesFlag = false;

    // An action selecting another object selects it in the tree: the editor
    // is asked to show it.
    locLog.clear();
    VelkType* locJeep = Facade()->GetNameSpace().GetInstance("jeep", false);
    locLast->myNextAction = EditorAction(locJeep, EditorAction::SELECT_IN_TREE);
    Facade()->OnLeftButtonUp(1, 1);
    EXPECT_EQ(UI_TreeGetSelection(Pane(), IDC_LEFT_TREE), Item("jeep"));

    // Delete in the right pane: a member of a plain class stays.
    VelkType* locTank = Facade()->GetNameSpace().GetInstance("tank", false);
    locLast = nullptr;
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("tank"));
    ASSERT_NE(locLast, nullptr);
    locLast->mySelected = locTank->FindMember("pos");
    Facade()->OnKeyUp(46);
    EXPECT_NE(locTank->FindMember("pos"), nullptr);
    // A script-class member goes, and the editor is told first.
    locLog.clear();
    locLast->mySelected = locTank->FindMember("script")->GetMemberAt(0);
    Facade()->OnKeyUp(46);
    EXPECT_EQ(locTank->FindMember("script")->GetNumMembers(), 1);
    EXPECT_EQ(locLog[0], "removed");
    // The editor's own instance: the editor goes first.
    locLog.clear();
    locLast->mySelected = locTank;
    Facade()->OnKeyUp(46);
    EXPECT_EQ(Facade()->GetEditor(), nullptr);
    EXPECT_EQ(locLog, std::vector<std::string>{"destroyed"});
    EXPECT_EQ(Facade()->GetNameSpace().GetInstance("tank", false), nullptr);
    EXPECT_EQ(Item("tank"), 0);
}

TEST_F(KorrinthTest, ValuesAreEditedWithTheDialogThatFits)
{
    ASSERT_TRUE(Start("level.velk"));
    UI_TreeItem locTank = Item("tank");
    std::vector<std::string> locTitles;
    auto locPick = [&locTitles](const char* aValue) {
        std::string locValue = aValue;
        UI_SetModalHook([&locTitles, locValue](UI_Dialog* aDialog) {
            locTitles.push_back(UI_GetDialogTitle(aDialog));
            if (UI_HasControl(aDialog, IDC_LIST))
            {
                int locIndex = UI_ListFindExact(aDialog, IDC_LIST, locValue.c_str());
                UI_ListClick(aDialog, IDC_LIST, locIndex);
            }
            else
                UI_SetControlText(aDialog, IDC_VALUE, locValue.c_str());
            UI_ClickButton(aDialog, UI_IDOK);
        });
    };
    // An enumeration offers its legal values.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("colour = Blue", locTank));
    locPick("Red");
    EXPECT_TRUE(Facade()->TreeEditSelected());
    EXPECT_NE(Item("colour = Red", locTank), 0);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    // A reference offers the paths of its type's objects.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("next = jeep", locTank));
    locPick("tank");
    EXPECT_TRUE(Facade()->TreeEditSelected());
    EXPECT_NE(Item("next = tank", locTank), 0);
    // A file member gets its browse filter's extension; free text its edit.
    WriteFile(myDir / "boom.wav", "RIFF");
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("sound = <empty>", locTank));
    locPick("boom.wav");
    EXPECT_TRUE(Facade()->TreeEditSelected());
    EXPECT_NE(Item("sound = boom.wav", locTank), 0);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("title = big tank", locTank));
    locPick("small tank");
    EXPECT_TRUE(Facade()->TreeToggleOrEdit());
    EXPECT_NE(Item("title = small tank", locTank), 0);
    EXPECT_EQ(locTitles, (std::vector<std::string>{"Edit Type", "Edit Ref", "Edit File", "Edit Free"}));
    VelkType* locObject = Facade()->GetNameSpace().GetInstance("tank", false);
    EXPECT_EQ(locObject->GetMemberValue("colour"), "Red");
    EXPECT_EQ(locObject->GetMemberValue("sound"), "boom.wav");
    // Cancelled: nothing changes.
    UI_SetModalHook([](UI_Dialog* aDialog) { UI_ClickButton(aDialog, UI_IDCANCEL); });
    UI_FrameSetModified(myFrame, false);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("title = small tank", locTank));
    EXPECT_FALSE(Facade()->TreeEditSelected());
    EXPECT_FALSE(UI_FrameIsModified(myFrame));

    // Enter on a branch only toggles it.
    UI_TreeItem locScript = Item("script", locTank);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, locScript);
    EXPECT_FALSE(Facade()->TreeToggleOrEdit());
    EXPECT_TRUE(UI_TreeIsExpanded(Pane(), IDC_LEFT_TREE, locScript));
    // A script class gets a new member through its dialog.
    UI_SetModalHook([](UI_Dialog* aDialog) {
        if (UI_GetDialogTitle(aDialog) == "Edit ScriptClass")
        {
            UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_ADD);
            UI_ClickButton(aDialog, UI_IDOK);
            return;
        }
        UI_ListClick(aDialog, IDC_LIST, UI_ListFindExact(aDialog, IDC_LIST, "TEXT"));
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_TRUE(Facade()->TreeEditSelected());
    std::vector<std::string> locMembers;
    for (UI_TreeItem locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locScript, UI_TREE_CHILD); locItem;
         locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locItem, UI_TREE_NEXT))
    {
        std::string locText;
        UI_TreeGetText(Pane(), IDC_LEFT_TREE, locItem, &locText);
        locMembers.push_back(locText);
    }
    ASSERT_EQ(locMembers.size(), 3u);
    EXPECT_EQ(locMembers[0], "TEXT(1) = hello");
    EXPECT_EQ(locMembers[2].substr(0, 7), "TEXT(0)");
}

TEST_F(KorrinthTest, TreePressesSelectClearAndEdit)
{
    ASSERT_TRUE(Start("level.velk"));
    UI_FrameShow(myFrame);
    QApplication::processEvents();
    UI_TreeItem locCount = Item("count = 7");
    int locX = 0, locY = 0, locW = 0, locH = 0;
    ASSERT_TRUE(UI_TreeGetLabelRect(Pane(), IDC_LEFT_TREE, locCount, &locX, &locY, &locW, &locH));
    // A left press on the label selects; beside every label it clears.
    UI_TreeMouseDown(Pane(), IDC_LEFT_TREE, locX + 2, locY + 2, false);
    EXPECT_EQ(UI_TreeGetSelection(Pane(), IDC_LEFT_TREE), locCount);
    UI_TreeMouseDown(Pane(), IDC_LEFT_TREE, locX + locW + 50, locY + 2, false);
    EXPECT_EQ(UI_TreeGetSelection(Pane(), IDC_LEFT_TREE), 0);
    // A right press edits the item under it.
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_VALUE, "8");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    UI_TreeMouseDown(Pane(), IDC_LEFT_TREE, locX + 2, locY + 2, true);
    EXPECT_NE(Item("count = 8"), 0);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    // Rename is the tree pane's: disabled while the view has the focus.
    QWidget* locWindow = UI_GetFrameWidget(myFrame);
    QApplication::setActiveWindow(locWindow);
    UI_FrameFocusView(myFrame);
    QApplication::processEvents();
    EXPECT_FALSE(Enabled(ID_EDIT_RENAME));
    UI_GetControlWidget(Pane(), IDC_LEFT_TREE)->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    EXPECT_TRUE(Enabled(ID_EDIT_RENAME));
}

TEST_F(KorrinthTest, TreeBrowserListsFilesOfTheExtension)
{
    fs::create_directories(myDir / "sounds" / "deep");
    fs::create_directories(myDir / "empty");
    fs::create_directories(myDir / "other");
    WriteFile(myDir / "sounds" / "a.wav", "RIFF");
    WriteFile(myDir / "sounds" / "deep" / "B.WAV", "RIFF");
    WriteFile(myDir / "sounds" / "c.wav", "RIFF");
    WriteFile(myDir / "sounds" / "c.wav.lock", std::string("HOSTX") + '\0');
    WriteFile(myDir / "other" / "x.txt", "text");
    CDlgTreeBrowser locBrowser(myDir.c_str(), "wav");
    std::vector<std::string> locSeen;
    UI_SetModalHook([&locSeen](UI_Dialog* aDialog) {
        locSeen.push_back(UI_GetDialogTitle(aDialog));
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK));
        const int locId = CDlgTreeBrowser::IDC_TREE;
        UI_TreeItem locSounds = UI_TreeGetRelated(aDialog, locId, UI_TREE_ROOT, UI_TREE_CHILD);
        std::vector<std::string> locTexts;
        for (UI_TreeItem locItem = locSounds; locItem; locItem = UI_TreeGetRelated(aDialog, locId, locItem, UI_TREE_NEXT))
        {
            std::string locText;
            UI_TreeGetText(aDialog, locId, locItem, &locText);
            locTexts.push_back(locText);
        }
        EXPECT_EQ(locTexts, std::vector<std::string>{"sounds"});
        locTexts.clear();
        UI_TreeItem locA = 0;
        for (UI_TreeItem locItem = UI_TreeGetRelated(aDialog, locId, locSounds, UI_TREE_CHILD); locItem;
             locItem = UI_TreeGetRelated(aDialog, locId, locItem, UI_TREE_NEXT))
        {
            std::string locText;
            UI_TreeGetText(aDialog, locId, locItem, &locText);
            locTexts.push_back(locText + " " + std::to_string(UI_TreeGetImage(aDialog, locId, locItem)));
            if (locText == "a.wav")
                locA = locItem;
        }
        EXPECT_EQ(locTexts, (std::vector<std::string>{"a.wav 1", "c.wav (locked by HOSTX) 2", "deep 0"}));
        UI_TreeClick(aDialog, locId, locSounds);
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK));
        UI_TreeClick(aDialog, locId, locA);
        EXPECT_TRUE(UI_IsControlEnabled(aDialog, UI_IDOK));
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locBrowser.DoModal(), UI_IDOK);
    EXPECT_EQ(locSeen, std::vector<std::string>{"Browse for 'wav' files..."});
    EXPECT_EQ(std::string(locBrowser.myPath), (myDir / "sounds" / "a.wav").string());
}

TEST_F(KorrinthTest, ViewerTypeViewAndAboutCommands)
{
    ASSERT_TRUE(Start("level.velk"));
    // Reopening the open file takes its lock anew.
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "level.velk").c_str()));
    EXPECT_TRUE(fs::exists(myDir / "level.velk.lock"));

    WriteFile(myDir / "more.velk", "INCLUDE game.fruit\r\nPoint extra\r\n{\r\n}\r\n");
    myPrompts.AnswerFile((myDir / "more.velk").string());
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_ClickButton(aDialog, CDlgViewVelk::IDC_ADD);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_VIEW_VELK));
    ASSERT_EQ(Facade()->GetViewers().myCount, 1);
    EXPECT_EQ(Facade()->GetViewers().myFirstLink->myItem->GetFileName(), "more.velk");
    EXPECT_NE(Facade()->GetViewers().myFirstLink->myItem->GetNameSpace().GetInstance("extra", false), nullptr);

    // The type view: everything moved to the hidden side empties the tree.
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_ClickButton(aDialog, CDlgViewTypes::IDC_HIDE_ALL);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_TYPE_VIEW));
    EXPECT_TRUE(Tree().empty());
    EXPECT_EQ(Facade()->GetTypeVis().GetShown().myCount, 0);

    std::string locAbout;
    UI_SetModalHook([&locAbout](UI_Dialog* aDialog) {
        locAbout = UI_GetDialogTitle(aDialog);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_APP_ABOUT));
    EXPECT_EQ(locAbout, "About Korrinth");
}

TEST_F(KorrinthTest, PasteOverAScriptClassReleasesTheEditorsMembers)
{
    std::vector<std::string> locLog;
    std::vector<VelkType*> locConfigs;
    RecordingEditor* locLast = nullptr;
    RecordingFactory locFactory;
    locFactory.myLog = &locLog;
    locFactory.myConfigs = &locConfigs;
    locFactory.myLastEditor = &locLast;
    ASSERT_TRUE(Start("level.velk", &locFactory));
    VelkType* locTank = Facade()->GetNameSpace().GetInstance("tank", false);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("tank"));
    ASSERT_NE(locLast, nullptr);
    locLast->mySelected = locTank->FindMember("script")->GetMemberAt(0);
    // Copy jeep (an empty script) over tank: tank's script members go.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("jeep"));
    ASSERT_NE(locLast, nullptr);
    Facade()->TreeCopy();
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("tank"));
    locLast->mySelected = locTank->FindMember("script")->GetMemberAt(0);
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("tank"));
    locLog.clear();
    ASSERT_TRUE(Facade()->TreePaste());
    EXPECT_EQ(locTank->FindMember("script")->GetNumMembers(), 0);
    // Told before, refreshed after; its selection inside the script is gone.
    ASSERT_GE(locLog.size(), 3u);
    EXPECT_EQ(locLog[0], "removed");
    EXPECT_NE(std::find(locLog.begin(), locLog.end(), "refreshed"), locLog.end());
    EXPECT_EQ(locLast->mySelected, nullptr);
    EXPECT_NE(Item("title = <empty>", Item("tank")), 0);
    // The editor records into this test's log: it goes before the log.
    Korrinth_Stop(myProgram);
    myProgram = nullptr;
}

namespace
{
// Dark pixels (text) of a grabbed window inside a rectangle, and the
// rectangle they fill.
int locInk(const QImage& anImage, const QRect& aRect, QRect* aBounds = nullptr)
{
    int locCount = 0;
    QRect locBounds;
    QRect locRect = aRect & anImage.rect();
    for (int y = locRect.top(); y <= locRect.bottom(); y++)
        for (int x = locRect.left(); x <= locRect.right(); x++)
            if (qGray(anImage.pixel(x, y)) < 100)
            {
                locCount++;
                locBounds |= QRect(x, y, 1, 1);
            }
    if (aBounds)
        *aBounds = locBounds;
    return locCount;
}
} // namespace

TEST_F(KorrinthTest, ConsoleShowsItsLineInTheClosedBoxAndNoListBelowIt)
{
    ASSERT_TRUE(Start("level.velk"));
    UI_Dialog* locBar = Facade()->GetConsole()->GetDialogBar();
    QWidget* locWindow = UI_GetFrameWidget(myFrame);
    QWidget* locCombo = UI_GetControlWidget(locBar, IDC_CONSOLE);
    locWindow->show();
    for (int i = 0; i < 4; i++)
        Facade()->GetConsole()->Receive(0, i == 0 ? "WWWWWWWW first line\n" : "WWWWWWWW later line\n");
    QApplication::processEvents();
    QImage locShot = locWindow->grab().toImage();
    QRect locClosed(locCombo->mapTo(locWindow, QPoint(0, 0)), locCombo->size());
    int locLine = locCombo->fontMetrics().height();
    // One line of the font and a frame: not the list's template height.
    EXPECT_GE(locClosed.height(), locLine);
    EXPECT_LT(locClosed.height(), 2 * locLine + 4);
    // The line is drawn whole in the middle of the closed box, clear of its
    // frame (a trailing line end once pushed it up into the frame). The
    // arrow at the right is left out.
    QRect locText;
    EXPECT_GT(locInk(locShot, locClosed.adjusted(1, 1, -locClosed.height() - 4, -1), &locText), 20);
    EXPECT_GE(locText.top(), locClosed.top() + 3) << "the line is cut at the top";
    EXPECT_LE(locText.bottom(), locClosed.bottom() - 3) << "the line is cut at the bottom";
    EXPECT_GE(locText.height(), locCombo->fontMetrics().capHeight());
    EXPECT_LE(std::abs(locText.center().y() - locClosed.center().y()), locLine / 4) << "the line is not centred";
    // Below the box, where an opened list's rows would lie, nothing of it is drawn.
    QRect locBelow(locClosed.left(), locClosed.bottom() + 1, locClosed.width(), 4 * locLine);
    QWidget* locPane = UI_GetDialogWidget(Pane());
    QRect locPaneRect(locPane->mapTo(locWindow, QPoint(0, 0)), locPane->size());
    EXPECT_EQ(locInk(locShot, locBelow.intersected(QRect(0, 0, locPaneRect.right() + 1, locPaneRect.top()))), 0);
    EXPECT_FALSE(locBelow.intersected(locPaneRect).isEmpty()) << "the pane starts right under the bar";
}

TEST_F(KorrinthTest, NumbersThatAreNotNumbersAreRefusedAndNotConverted)
{
    ASSERT_TRUE(Start("level.velk"));
    UI_TreeItem locPos = Item("pos", Item("tank"));
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("x = 10", locPos));
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_VALUE, "abc");
        UI_ClickButton(aDialog, UI_IDOK);
        UI_SetControlText(aDialog, IDC_VALUE, "12");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_TRUE(Facade()->TreeEditSelected());
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{
                  "Invalid Value|'abc' is not a value of the NUMBER 'x': it takes a whole number such as 12 or -3."}));
    EXPECT_NE(Item("x = 12", locPos), 0);

    // A file that holds one opens as before; its save says why the .tez is not made.
    WriteFile(myDir / "bad.velk", "INCLUDE game.fruit\r\nPoint p\r\n{\r\n\tx abc\r\n}\r\n");
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "bad.velk").c_str()));
    UI_FrameSetModified(myFrame, true);
    UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    UI_Dialog* locBar = Facade()->GetConsole()->GetDialogBar();
    std::vector<std::string> locLines;
    for (int i = 0; i < UI_ComboGetCount(locBar, IDC_CONSOLE); i++)
    {
        std::string locText;
        UI_ComboGetText(locBar, IDC_CONSOLE, i, &locText);
        locLines.push_back(locText);
    }
    EXPECT_EQ(locLines, (std::vector<std::string>{"LOG: Successfully wrote namespace to 'bad.velk'",
                                                  "ERROR: VelkToTez: the NUMBER member 'x' of instance 'p' holds 'abc', "
                                                  "which is not a whole number such as 12 or -3",
                                                  "ERROR: Failed to convert 'bad.velk' to tez",
                                                  "ERROR: 'bad.velk' was saved, but 'bad.tez' was left as it was"}));
    EXPECT_FALSE(std::filesystem::exists(myDir / "bad.tez"));
}

// Velk text is Latin-1 from the file through the tree, the edit dialogs and the
// console to the saved .velk and the .loc's UTF-8, and back at the next open.
TEST_F(KorrinthTest, AccentedTextSurvivesTreeDialogsSaveAndConversion)
{
    // (A .loc key is the LOCTEXT's path and must be ASCII: the accented root holds none.)
    WriteFile(myDir / "signs.fruit",
              "CLASS Sign\r\n{\r\nLOCTEXT label\r\nTEXT note\r\n}\r\nCLASS Note\r\n{\r\nTEXT note\r\n}\r\n");
    WriteFile(myDir / "signs.velk", "INCLUDE signs.fruit\r\nSign scout\r\n{\r\n\tlabel \"Sp\xe4her \xe9t\xe9\"\r\n"
                                    "\tnote caf\xe9\r\n}\r\nNote \xe9" "claireur\r\n{\r\n}\r\nNote \xe9t\xe9\r\n{\r\n}\r\n");
    ASSERT_TRUE(Start("signs.velk"));
    UI_FrameShow(myFrame);
    UI_TreeItem locScout = Item("scout");
    ASSERT_NE(Item("\xc3\xa9" "claireur"), 0);
    UI_TreeExpand(Pane(), IDC_LEFT_TREE, locScout, true);
    UI_TreeItem locLabel = Item("label = Sp\xc3\xa4her \xc3\xa9t\xc3\xa9", locScout);
    ASSERT_NE(locLabel, 0);
    ASSERT_NE(Item("note = caf\xc3\xa9", locScout), 0);
    if (const char* locShots = std::getenv("Q_DIALOG_SHOTS"))
        UI_GrabFrame(myFrame, (std::string(locShots) + "/korrinth-accented-tree.png").c_str());

    // One letter appended to what the dialog shows.
    UI_SetModalHook([](UI_Dialog* aDialog) {
        std::string locText;
        UI_GetControlText(aDialog, IDC_VALUE, &locText);
        UI_SetControlText(aDialog, IDC_VALUE, (locText + "s").c_str());
        UI_ClickButton(aDialog, UI_IDOK);
    });
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, locLabel);
    ASSERT_TRUE(Facade()->TreeEditSelected());
    // Typed accents.
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_VALUE, "Gr\xc3\xb6\xc3\x9f" "e");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("note = caf\xc3\xa9", locScout));
    ASSERT_TRUE(Facade()->TreeEditSelected());
    // A rename to a taken accented name: the console names it as typed. (The
    // scout's own name must stay ASCII: its label's key starts with it.)
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("\xc3\xa9t\xc3\xa9"));
    AnswerName("\xc3\xa9" "claireur");
    EXPECT_FALSE(Facade()->TreeRename());
    UI_Dialog* locBar = Facade()->GetConsole()->GetDialogBar();
    std::string locLine;
    UI_ComboGetText(locBar, IDC_CONSOLE, UI_ComboGetCount(locBar, IDC_CONSOLE) - 1, &locLine);
    EXPECT_EQ(locLine, "ERROR: Rename: '\xc3\xa9" "claireur' is taken by another instance");

    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_FALSE(UI_FrameIsModified(myFrame));
    const std::string locVelk = ReadFile(myDir / "signs.velk");
    EXPECT_NE(locVelk.find("label \"Sp\xe4her \xe9t\xe9s\""), std::string::npos) << locVelk;
    EXPECT_NE(locVelk.find("note Gr\xf6\xdf" "e"), std::string::npos) << locVelk;
    EXPECT_NE(locVelk.find("Note \xe9" "claireur"), std::string::npos) << locVelk;
    EXPECT_EQ(locVelk.find('\xc3'), std::string::npos) << locVelk;
    EXPECT_EQ(ReadFile(myDir / "signs.loc"), "\xef\xbb\xbfscout.label\tSp\xc3\xa4her \xc3\xa9t\xc3\xa9s\r\n");
    TezLocDecoder locTexts;
    ASSERT_TRUE(locTexts.Load("signs.tez"));
    ASSERT_EQ(locTexts.GetNumTexts(), 1u);
    EXPECT_EQ(std::u16string(locTexts.GetText(0)->GetText()), u"Sp\u00e4her \u00e9t\u00e9s");

    // Opened again: the same characters in the tree.
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "signs.velk").c_str()));
    locScout = Item("scout");
    EXPECT_NE(Item("label = Sp\xc3\xa4her \xc3\xa9t\xc3\xa9s", locScout), 0);
    EXPECT_NE(Item("note = Gr\xc3\xb6\xc3\x9f" "e", locScout), 0);
}

// A name that the .loc key of a LOCTEXT text cannot hold: a file that holds one
// says why its conversion fails; the tree's rename and the new-instance
// dialog refuse it with the reason; renamed, the file converts.
TEST_F(KorrinthTest, NamesTheLocKeysCannotHoldAreExplainedAtSaveAndRefusedWhenTyped)
{
    WriteFile(myDir / "signs.fruit", "CLASS Sign\r\n{\r\nLOCTEXT label\r\n}\r\n");
    WriteFile(myDir / "accent.velk", "INCLUDE signs.fruit\r\nSign \xd8resund\r\n{\r\n\tlabel Bridge\r\n}\r\n");
    ASSERT_TRUE(Start("accent.velk"));
    UI_FrameSetModified(myFrame, true);
    UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    UI_Dialog* locBar = Facade()->GetConsole()->GetDialogBar();
    auto locLines = [locBar] {
        std::vector<std::string> locTexts;
        for (int i = 0; i < UI_ComboGetCount(locBar, IDC_CONSOLE); i++)
        {
            std::string locText;
            UI_ComboGetText(locBar, IDC_CONSOLE, i, &locText);
            locTexts.push_back(locText);
        }
        return locTexts;
    };
    EXPECT_EQ(locLines(), (std::vector<std::string>{
                              "LOG: Successfully wrote namespace to 'accent.velk'",
                              "ERROR: VelkToTez: the LOCTEXT text '\xc3\x98resund.label' cannot be converted: its key "
                              "(the names of its instance and members, joined by '.') holds '\xc3\x98', and keys hold "
                              "only ASCII characters (below 128); rename '\xc3\x98resund'",
                              "ERROR: Failed to convert 'accent.velk' to tez",
                              "ERROR: 'accent.velk' was saved, but 'accent.tez' and 'accent.loc' were left as they were"}));
    EXPECT_FALSE(fs::exists(myDir / "accent.tez"));

    // Typed again, the name is refused and said why; another is taken.
    UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item("\xc3\x98resund"));
    int locTries = 0;
    UI_SetModalHook([&locTries](UI_Dialog* aDialog) {
        for (const char* locName : {"\xc3\x86r\xc3\xb8", "Oresund"})
        {
            locTries++;
            UI_SetControlText(aDialog, IDC_NAME, locName);
            UI_ClickButton(aDialog, UI_IDOK);
            if (!UI_IsDialogVisible(aDialog))
                break;
        }
    });
    EXPECT_TRUE(Facade()->TreeRename());
    EXPECT_EQ(locTries, 2);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"Invalid Name|'\xc3\x86' cannot be in this name: it would be in the key of "
                                        "the LOCTEXT text '\xc3\x86r\xc3\xb8.label', and the .tez conversion takes "
                                        "only ASCII characters (below 128) in keys."}));
    ASSERT_NE(Item("Oresund"), 0);

    // The new-instance dialog of the menu knows the types.
    myPrompts.Clear();
    UI_SetModalHook([](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, UI_ListFindExact(aDialog, IDC_LIST, "Sign"));
        UI_SetControlText(aDialog, IDC_NAME, "\xc3\x98rn");
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    UI_FrameDoCommand(myFrame, 32772); // Instance, New
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0].substr(0, 17), "Invalid Name|'\xc3\x98'");
    EXPECT_EQ(Item("\xc3\x98rn"), 0);

    UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE);
    EXPECT_FALSE(UI_FrameIsModified(myFrame));
    EXPECT_EQ(ReadFile(myDir / "accent.loc"), "\xef\xbb\xbfOresund.label\tBridge\r\n");
}

// A file of many roots logs a line per root: the console holds every line, in
// order, and draws the shown line and the opened list as a combo box holding
// the same lines as items draws them.
TEST_F(KorrinthTest, ConsoleKeepsEveryLineOfAManyRootFileAndDrawsThem)
{
    std::string locText = "INCLUDE game.fruit\r\n";
    for (int i = 0; i < 3000; i++)
        locText += "Point p" + std::to_string(i) + (i % 7 ? "" : "\xe9") + "\r\n{\r\n}\r\n";
    WriteFile(myDir / "many.velk", locText);
    ASSERT_TRUE(Start(nullptr));
    Console* locConsole = Facade()->GetConsole();
    UI_Dialog* locBar = locConsole->GetDialogBar();
    locConsole->Clear();
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "many.velk").c_str()));
    std::vector<std::string> locLines;
    for (int i = 0; i < UI_ComboGetCount(locBar, IDC_CONSOLE); i++)
    {
        std::string locLine;
        UI_ComboGetText(locBar, IDC_CONSOLE, i, &locLine);
        locLines.push_back(locLine);
    }
    std::vector<std::string> locRoots;
    for (const std::string& locLine : locLines)
        if (locLine.find("Instantiated Point ") != std::string::npos)
            locRoots.push_back(locLine.substr(locLine.find("Instantiated Point ") + 19));
    ASSERT_EQ(locRoots.size(), 3000u);
    for (int i = 0; i < 3000; i++)
        ASSERT_EQ(locRoots[size_t(i)], "p" + std::to_string(i) + (i % 7 ? "" : "\xc3\xa9")) << i;

    // The same box over the same lines held as items, in turn.
    QWidget* locWindow = UI_GetFrameWidget(myFrame);
    locWindow->show();
    QComboBox* locCombo = qobject_cast<QComboBox*>(UI_GetControlWidget(locBar, IDC_CONSOLE));
    ASSERT_NE(locCombo, nullptr);
    auto locShots = [locCombo]() {
        std::vector<QImage> locImages;
        for (int locRow : {0, 1, 7, 1500, locCombo->count() - 1})
        {
            locCombo->setCurrentIndex(locRow);
            QApplication::processEvents();
            locImages.push_back(locCombo->grab().toImage());
        }
        locCombo->showPopup();
        QApplication::processEvents();
        locImages.push_back(locCombo->view()->viewport()->grab().toImage());
        locCombo->hidePopup();
        return locImages;
    };
    const std::vector<QImage> locOwn = locShots();
    QAbstractItemModel* locModel = locCombo->model();
    locModel->setParent(nullptr);
    QStandardItemModel locItems;
    for (const std::string& locLine : locLines)
        locItems.appendRow(new QStandardItem(QString::fromStdString(locLine)));
    locCombo->setModel(&locItems);
    const std::vector<QImage> locPlain = locShots();
    locCombo->setModel(locModel);
    locModel->setParent(locCombo);
    ASSERT_EQ(locOwn.size(), locPlain.size());
    for (size_t i = 0; i < locOwn.size(); i++)
    {
        EXPECT_GT(locInk(locOwn[i], locOwn[i].rect()), 20) << i;
        EXPECT_TRUE(locOwn[i] == locPlain[i]) << i;
    }
}
