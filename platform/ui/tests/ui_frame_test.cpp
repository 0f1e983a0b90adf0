// The document/view shell, driven offscreen as a small document/view program.
//
// [SECTION] The test program and its frame
// [SECTION] Commands, documents and recent files
// [SECTION] The view, its messages and pictures
// [SECTION] The pane tree
// [SECTION] The dialog bar and its console
// [SECTION] Presses and keys in the pane tree
// [SECTION] Focus, commands from the environment and printing
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"
#include "platform/ui/tests/ui_paint_counter.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

#include <csignal>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <algorithm>
#include <sys/stat.h>
#include <vector>

// [SECTION] The test program and its frame ----------------------------------------------------

namespace
{
enum
{
    ID_EDIT_THING = 32771,
    ID_VIEW_GRID = 32772,
    ID_NOBODY = 32773,
    ID_PANE_TREE = 1000,
    ID_CONSOLE = 1003,
};

// Bytes the heap holds for the program; the sanitizer's allocator counts none.
size_t locHeld()
{
    const struct mallinfo2 locInfo = mallinfo2();
    return locInfo.uordblks + locInfo.hblkhd;
}

bool locHeapCounts()
{
    const size_t locBefore = locHeld();
    void* volatile locProbe = malloc(1 << 20);
    const bool locCounted = locHeld() >= locBefore + (1 << 20);
    free(locProbe);
    return locCounted;
}

const UI_MenuEntry ourMenu[] = {
    {UI_MENU_POPUP, 0, "&File"},
    {UI_MENU_ITEM, UI_ID_FILE_NEW, "&New\tCtrl+N"},
    {UI_MENU_ITEM, UI_ID_FILE_OPEN, "&Open...\tCtrl+O"},
    {UI_MENU_ITEM, UI_ID_FILE_SAVE, "&Save\tCtrl+S"},
    {UI_MENU_ITEM, UI_ID_FILE_SAVE_AS, "Save &As..."},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, UI_ID_FILE_MRU_FIRST, "Recent File"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, UI_ID_APP_EXIT, "E&xit"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Edit"},
    {UI_MENU_ITEM, ID_EDIT_THING, "&Thing\tF5"},
    {UI_MENU_ITEM, ID_VIEW_GRID, "&Grid\tCtrl+G"},
    {UI_MENU_ITEM, ID_NOBODY, "&Nobody"},
    {UI_MENU_END, 0, nullptr},
};
const UI_Accelerator ourAccelerators[] = {
    {'N', UI_MOD_CONTROL, UI_ID_FILE_NEW},
    {0x74, 0, ID_EDIT_THING},
    {'G', UI_MOD_CONTROL, ID_VIEW_GRID},
    {'X', UI_MOD_CONTROL, ID_NOBODY},
};
const UI_ToolButton ourButtons[] = {
    {UI_ID_FILE_NEW, 0, "New"},
    {0, -1, nullptr},
    {ID_EDIT_THING, 0, "Thing"},
};
const UI_Indicator ourIndicators[] = {
    {UI_ID_INDICATOR_CAPS, "CAP"},
    {UI_ID_INDICATOR_NUM, "NUM"},
};
const UI_ControlTemplate ourPaneControls[] = {
    {ID_PANE_TREE, UI_CONTROL_TREE, nullptr, 0, 0, 100, 100, 0},
};
const UI_DialogTemplate ourPane = {0, "", 100, 100, "MS Sans Serif", 8, ourPaneControls, 1};
const UI_ControlTemplate ourBarControls[] = {
    {ID_CONSOLE, UI_CONTROL_COMBOBOX, nullptr, 0, 0, 300, 100, 0},
};
const UI_DialogTemplate ourBar = {0, "", 300, 14, "MS Sans Serif", 8, ourBarControls, 1};

std::vector<std::pair<int, int>> ourTreeNotes; // control id, notify code
UI_Message ourLastNote; // the last of the tree's own notifications

intptr_t locPaneProc(UI_Dialog*, const UI_Message& aMessage)
{
    if (aMessage.myKind == UI_MSG_COMMAND)
    {
        ourTreeNotes.emplace_back(aMessage.myControlId, aMessage.myNotifyCode);
        if (aMessage.myControlId == ID_PANE_TREE)
            ourLastNote = aMessage;
    }
    return 0;
}

std::vector<std::string> locTreeTexts(UI_Dialog* aDialog, int anId, UI_TreeItem aParent = UI_TREE_ROOT)
{
    std::vector<std::string> locTexts;
    for (UI_TreeItem locItem = UI_TreeGetRelated(aDialog, anId, aParent, UI_TREE_CHILD); locItem;
         locItem = UI_TreeGetRelated(aDialog, anId, locItem, UI_TREE_NEXT))
    {
        std::string locText;
        UI_TreeGetText(aDialog, anId, locItem, &locText);
        locTexts.push_back(locText);
    }
    return locTexts;
}

// The program's view and document in one: records what reaches it.
class TestProgram : public UI_FrameHandler, public UI_DocumentHandler
{
public:
    bool OnCommand(UI_Frame*, int anId) override
    {
        if (anId == ID_EDIT_THING || anId == ID_VIEW_GRID)
        {
            myCommands.push_back(anId);
            if (anId == ID_VIEW_GRID)
                myGrid = !myGrid;
            return true;
        }
        return false;
    }
    bool OnUpdateCommand(UI_Frame*, int anId, UI_CommandState* aState) override
    {
        myAsked++;
        if (anId == ID_EDIT_THING)
            aState->myEnabled = myThingEnabled;
        else if (anId == ID_VIEW_GRID)
            aState->myChecked = myGrid;
        else if (anId == UI_ID_INDICATOR_CAPS)
            aState->myEnabled = true;
        else
            return false;
        return true;
    }
    bool OnViewMessage(UI_Frame*, const UI_ViewMessage& aMessage) override
    {
        if (aMessage.myKind != UI_VM_PAINT && aMessage.myKind != UI_VM_SIZE)
            myMessages.push_back(aMessage);
        return aMessage.myKind == UI_VM_KEYDOWN;
    }
    void OnTimer(UI_Frame* aFrame, int anId) override
    {
        myTicks.push_back(anId);
        if (myKillOnTick)
        {
            UI_FrameKillTimer(aFrame, 1);
            UI_FrameKillTimer(aFrame, 2);
        }
    }
    void OnIdle(UI_Frame*) override { myIdles++; }

    bool OnNewDocument(UI_Frame*) override
    {
        myLog.push_back("new");
        return true;
    }
    bool OnOpenDocument(UI_Frame*, const char* aPath) override
    {
        myLog.push_back(std::string("open ") + aPath);
        return QFile::exists(QString::fromUtf8(aPath));
    }
    bool OnSaveDocument(UI_Frame*, const char* aPath) override
    {
        myLog.push_back(std::string("save ") + aPath);
        QFile locFile(QString::fromUtf8(aPath));
        return locFile.open(QIODevice::WriteOnly) && locFile.write("x", 1) == 1;
    }

    std::vector<int> myCommands;
    std::vector<int> myTicks;
    std::vector<UI_ViewMessage> myMessages;
    std::vector<std::string> myLog;
    bool myThingEnabled = true;
    bool myGrid = false;
    bool myKillOnTick = false;
    int myAsked = 0;
    int myIdles = 0;
};

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(myConfig.isValid());
        setenv("XDG_CONFIG_HOME", myConfig.path().toUtf8().constData(), 1);
        UI_ClearQuitMessage();
        UI_SetPromptService(&myPrompts);
        myFrame = Make();
        ASSERT_NE(myFrame, nullptr);
        ourTreeNotes.clear();
    }
    void TearDown() override
    {
        UI_DestroyFrame(myFrame);
        UI_SetPromptService(nullptr);
        UI_ClearQuitMessage();
        unsetenv("XDG_CONFIG_HOME");
    }
    UI_Frame* Make()
    {
        UI_FrameTemplate locTemplate = {"ShellTest", ourMenu, int(std::size(ourMenu)), ourAccelerators,
                                        int(std::size(ourAccelerators)), ourButtons, int(std::size(ourButtons)),
                                        nullptr, 0, ourIndicators, int(std::size(ourIndicators)), 350};
        UI_Frame* locFrame = UI_CreateFrame(locTemplate);
        if (locFrame)
        {
            UI_FrameAddHandler(locFrame, &myProgram);
            UI_FrameSetDocument(locFrame, &myProgram);
            UI_FrameShow(locFrame);
        }
        return locFrame;
    }
    std::string File(const char* aName)
    {
        std::string locPath = myFiles.path().toStdString() + "/" + aName;
        QFile locFile(QString::fromStdString(locPath));
        locFile.open(QIODevice::WriteOnly);
        return locPath;
    }
    UI_CommandState State(int anId)
    {
        UI_CommandState locState;
        EXPECT_TRUE(UI_FrameGetCommandState(myFrame, anId, &locState)) << anId;
        return locState;
    }
    void Key(QWidget* aTarget, int aKey, Qt::KeyboardModifiers aModifiers, const QString& aText = QString())
    {
        QKeyEvent locPress(QEvent::KeyPress, aKey, aModifiers, aText);
        QApplication::sendEvent(aTarget, &locPress);
        QKeyEvent locRelease(QEvent::KeyRelease, aKey, aModifiers, aText);
        QApplication::sendEvent(aTarget, &locRelease);
    }

    QTemporaryDir myConfig;
    QTemporaryDir myFiles;
    UI_ScriptedPrompts myPrompts;
    TestProgram myProgram;
    UI_Frame* myFrame = nullptr;
};

// [SECTION] Commands, documents and recent files ----------------------------------------------

TEST_F(FrameTest, UpdatePassAsksEveryIdAndDisablesTheUnhandled)
{
    myProgram.myThingEnabled = false;
    myProgram.myGrid = true;
    UI_FrameUpdateCommands(myFrame);
    EXPECT_FALSE(State(ID_EDIT_THING).myEnabled);
    EXPECT_TRUE(State(ID_VIEW_GRID).myEnabled);
    EXPECT_TRUE(State(ID_VIEW_GRID).myChecked);
    EXPECT_FALSE(State(ID_NOBODY).myEnabled);
    EXPECT_TRUE(State(UI_ID_FILE_SAVE_AS).myEnabled);
    EXPECT_FALSE(State(UI_ID_FILE_MRU_FIRST).myEnabled); // no recent file yet
    EXPECT_EQ(UI_FrameGetStatusText(myFrame, 1), "CAP");
    EXPECT_EQ(UI_FrameGetStatusText(myFrame, 2), "");

    // A disabled command does nothing, also when sent directly; the idle turn
    // runs the update pass and the handlers' idle work.
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, ID_EDIT_THING));
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, ID_NOBODY));
    myProgram.myThingEnabled = true;
    UI_FrameIdle(myFrame);
    EXPECT_TRUE(State(ID_EDIT_THING).myEnabled);
    EXPECT_EQ(myProgram.myIdles, 1);
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, ID_EDIT_THING));
    EXPECT_EQ(myProgram.myCommands, std::vector<int>{ID_EDIT_THING});

    std::string locText;
    ASSERT_TRUE(UI_FrameGetMenuText(myFrame, UI_ID_FILE_OPEN, &locText));
    EXPECT_EQ(locText, "Open...");
    EXPECT_EQ(QString::fromUtf8(UI_GetFrameWidget(myFrame)->windowTitle().toUtf8()).toStdString(),
              "Untitled - ShellTest");
}

TEST_F(FrameTest, RoutingAsksHandlersInOrder)
{
    struct First : UI_FrameHandler
    {
        bool OnCommand(UI_Frame*, int anId) override { return anId == ID_EDIT_THING && ++myTaken > 0; }
        bool OnUpdateCommand(UI_Frame*, int anId, UI_CommandState* aState) override
        {
            if (anId != ID_NOBODY)
                return false;
            aState->myEnabled = true;
            return true;
        }
        int myTaken = 0;
    } locFirst;
    UI_FrameRemoveHandler(myFrame, &myProgram);
    UI_FrameAddHandler(myFrame, &locFirst);
    UI_FrameAddHandler(myFrame, &myProgram);
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, ID_EDIT_THING));
    EXPECT_EQ(locFirst.myTaken, 1);
    EXPECT_TRUE(myProgram.myCommands.empty());
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, ID_VIEW_GRID)); // the first passes it on
    EXPECT_EQ(myProgram.myCommands, std::vector<int>{ID_VIEW_GRID});
    // Enabled but nobody carries it out.
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, ID_NOBODY));
    UI_FrameRemoveHandler(myFrame, &locFirst);
}

TEST_F(FrameTest, AcceleratorsFromKeyEventsOnlyForEnabledCommands)
{
    QWidget* locView = UI_GetFrameView(myFrame);
    Key(locView, Qt::Key_F5, Qt::NoModifier);
    Key(locView, Qt::Key_G, Qt::ControlModifier, QStringLiteral("\x07"));
    EXPECT_EQ(myProgram.myCommands, (std::vector<int>{ID_EDIT_THING, ID_VIEW_GRID}));
    // The keys went to the accelerators, not to the view.
    for (const UI_ViewMessage& locMessage : myProgram.myMessages)
        EXPECT_NE(locMessage.myKind, UI_VM_KEYDOWN);

    myProgram.myThingEnabled = false;
    Key(locView, Qt::Key_F5, Qt::NoModifier);
    Key(locView, Qt::Key_G, Qt::ShiftModifier | Qt::ControlModifier, QString());
    EXPECT_EQ(myProgram.myCommands.size(), 2u);
    // Ctrl+G with Shift is no accelerator: the view gets it.
    ASSERT_FALSE(myProgram.myMessages.empty());
    EXPECT_EQ(myProgram.myMessages.back().myKind, UI_VM_KEYUP);
    EXPECT_EQ(myProgram.myMessages.back().myVirtualKey, 'G');
}

TEST_F(FrameTest, SaveQuestionGuardsNewOpenAndExit)
{
    std::string locOpened = File("first.velk");
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, locOpened.c_str()));
    EXPECT_EQ(UI_FrameGetDocumentTitle(myFrame), "first.velk");
    EXPECT_EQ(UI_GetFrameWidget(myFrame)->windowTitle().toStdString(), "first.velk - ShellTest");

    UI_FrameSetModified(myFrame, true);
    myPrompts.AnswerBox(OS_ID_CANCEL);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_NEW));
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0], "ShellTest|Save changes to " + locOpened + "?");
    EXPECT_EQ(UI_FrameGetPath(myFrame), locOpened);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));

    // Cancel keeps the frame open; the quit message is not posted.
    myPrompts.AnswerBox(OS_ID_CANCEL);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_APP_EXIT));
    EXPECT_FALSE(UI_PeekQuitMessage(nullptr));
    EXPECT_TRUE(UI_GetFrameWidget(myFrame)->isVisible());

    // Yes saves to the document's own path, then the new document starts.
    myProgram.myLog.clear();
    myPrompts.AnswerBox(OS_ID_YES);
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_NEW));
    EXPECT_EQ(myProgram.myLog, (std::vector<std::string>{"save " + locOpened, "new"}));
    EXPECT_EQ(UI_FrameGetDocumentTitle(myFrame), "Untitled");
    EXPECT_FALSE(UI_FrameIsModified(myFrame));

    // An untitled document's Yes asks for a name; cancelling that cancels all.
    UI_FrameSetModified(myFrame, true);
    myPrompts.AnswerBox(OS_ID_YES);
    myPrompts.AnswerCancel();
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_OPEN));
    EXPECT_EQ(myPrompts.GetBoxes().back(), "ShellTest|Save changes to Untitled?");

    // No drops the changes; Exit posts the quit message.
    myPrompts.AnswerBox(OS_ID_NO);
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_APP_EXIT));
    EXPECT_TRUE(UI_PeekQuitMessage(nullptr));
}

// The signal closes the frame without asking: nobody may be there to answer.
// Modal loops started while the program ends return at once, until the quit
// message is forgotten; a second signal would end the process.
TEST_F(FrameTest, TerminationSignalsCloseWithoutQuestionsAndEndModalLoops)
{
    static const UI_ControlTemplate locControls[] = {{UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 10, 10, 50, 14, 0}};
    static const UI_DialogTemplate locTemplate = {100, "Asked", 100, 60, "MS Sans Serif", 8, locControls, 1};
    for (int locSignal : {SIGTERM, SIGINT, SIGHUP})
    {
        SCOPED_TRACE(locSignal);
        UI_FrameSetModified(myFrame, true);
        raise(locSignal);
        QElapsedTimer locClock;
        locClock.start();
        while (!UI_PeekQuitMessage(nullptr) && locClock.elapsed() < 5000)
            UI_DispatchMessages(false);
        EXPECT_TRUE(UI_PeekQuitMessage(nullptr));
        EXPECT_TRUE(UI_IsEnding());
        EXPECT_TRUE(myPrompts.GetBoxes().empty());
        EXPECT_FALSE(UI_GetFrameWidget(myFrame)->isVisible());

        int locHookCalls = 0;
        UI_SetModalHook([&](UI_Dialog* aDialog) {
            locHookCalls++;
            UI_EndDialog(aDialog, UI_IDOK);
        });
        EXPECT_NE(UI_DoModal(locTemplate, [](UI_Dialog*, const UI_Message&) -> intptr_t { return 0; }, nullptr,
                             nullptr),
                  UI_IDOK);
        EXPECT_EQ(locHookCalls, 0);

        // Forgotten, the program runs dialogs again.
        UI_ClearQuitMessage();
        EXPECT_FALSE(UI_IsEnding());
        EXPECT_EQ(UI_DoModal(locTemplate, [](UI_Dialog*, const UI_Message&) -> intptr_t { return 0; }, nullptr,
                             nullptr),
                  UI_IDOK);
        EXPECT_EQ(locHookCalls, 1);
        UI_SetModalHook(nullptr);
        UI_FrameShow(myFrame);
    }
}

TEST_F(FrameTest, SaveAsAndRecentFilesPersistAndDropFailures)
{
    std::string locSaved = myFiles.path().toStdString() + "/saved.velk";
    myPrompts.AnswerFile(locSaved);
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_EQ(UI_FrameGetPath(myFrame), locSaved);
    ASSERT_FALSE(myPrompts.myQuestions.empty());
    EXPECT_EQ(myPrompts.myQuestions.back().myRequest.myKind, UI_FILEDIALOG_SAVE);
    EXPECT_EQ(myPrompts.myQuestions.back().myRequest.myInitialName, "Untitled");

    std::vector<std::string> locFiles;
    for (const char* locName : {"a.velk", "b.velk", "c.velk", "d.velk", "e.velk"})
    {
        locFiles.push_back(File(locName));
        ASSERT_TRUE(UI_FrameOpenDocument(myFrame, locFiles.back().c_str()));
    }
    // Reopening one moves it to the front instead of doubling it.
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, locFiles[2].c_str()));
    std::vector<std::string> locExpected = {locFiles[2], locFiles[4], locFiles[3], locFiles[1]};
    EXPECT_EQ(UI_FrameGetRecentFiles(myFrame), locExpected);
    UI_FrameUpdateCommands(myFrame);
    EXPECT_TRUE(State(UI_ID_FILE_MRU_FIRST + 3).myEnabled);
    std::string locText;
    ASSERT_TRUE(UI_FrameGetMenuText(myFrame, UI_ID_FILE_MRU_FIRST + 1, &locText));
    EXPECT_EQ(locText, "2 " + locFiles[4]);

    // The settings file is replaced (a new inode) only when the list changes: the program's
    // own note of the file it opened and the shell's own open leave it alone.
    const std::string locConf = myConfig.path().toStdString() + "/ShellTest/ShellTest.conf";
    auto locInode = [&locConf]()
    {
        struct stat locStat = {};
        return stat(locConf.c_str(), &locStat) == 0 ? locStat.st_ino : ino_t(0);
    };
    const ino_t locBefore = locInode();
    ASSERT_NE(locBefore, ino_t(0));
    UI_FrameAddRecentFile(myFrame, locFiles[2].c_str());
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, locFiles[2].c_str()));
    EXPECT_EQ(locInode(), locBefore);
    EXPECT_EQ(UI_FrameGetRecentFiles(myFrame), locExpected);
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, locFiles[4].c_str()));
    EXPECT_NE(locInode(), locBefore);
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, locFiles[2].c_str()));

    // A second frame (the next start) reads the list back from the settings.
    UI_DestroyFrame(myFrame);
    myFrame = Make();
    EXPECT_EQ(UI_FrameGetRecentFiles(myFrame), locExpected);

    // A recent file that is gone fails to open and leaves the list.
    QFile::remove(QString::fromStdString(locFiles[4]));
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_MRU_FIRST + 1));
    EXPECT_EQ(UI_FrameGetRecentFiles(myFrame), (std::vector<std::string>{locFiles[2], locFiles[3], locFiles[1]}));
    EXPECT_EQ(UI_FrameGetPath(myFrame), "");
}

// [SECTION] The view, its messages and pictures -----------------------------------------------

TEST_F(FrameTest, ViewMessagesCarryWindowsKeyStateAndCodes)
{
    QWidget* locView = UI_GetFrameView(myFrame);
    QMouseEvent locPress(QEvent::MouseButtonPress, QPointF(12, 34), QPointF(12, 34), Qt::RightButton,
                         Qt::RightButton | Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    QApplication::sendEvent(locView, &locPress);
    ASSERT_EQ(myProgram.myMessages.size(), 1u);
    const UI_ViewMessage& locMouse = myProgram.myMessages[0];
    EXPECT_EQ(locMouse.myKind, UI_VM_RBUTTONDOWN);
    EXPECT_EQ(locMouse.myKeyState, unsigned(UI_MK_LBUTTON | UI_MK_RBUTTON | UI_MK_SHIFT | UI_MK_CONTROL));
    int locX = 0, locY = 0;
    UI_FrameGetViewCursor(myFrame, &locX, &locY);
    EXPECT_EQ(locX, 12);
    EXPECT_EQ(locY, 34);

    myProgram.myMessages.clear();
    Key(locView, Qt::Key_Asterisk, Qt::KeypadModifier, QStringLiteral("*"));
    Key(locView, Qt::Key_Minus, Qt::KeypadModifier, QStringLiteral("-"));
    Key(locView, Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A"));
    std::vector<int> locDownKeys;
    std::vector<unsigned> locChars;
    for (const UI_ViewMessage& locMessage : myProgram.myMessages)
    {
        if (locMessage.myKind == UI_VM_KEYDOWN)
            locDownKeys.push_back(locMessage.myVirtualKey);
        if (locMessage.myKind == UI_VM_CHAR)
            locChars.push_back(locMessage.myChar);
    }
    EXPECT_EQ(locDownKeys, (std::vector<int>{106, 109, 'A'}));
    EXPECT_EQ(locChars, (std::vector<unsigned>{'*', '-', 'A'}));
    EXPECT_EQ(UI_VirtualKeyFromQt(Qt::Key_Plus, Qt::KeypadModifier), 107);
    EXPECT_EQ(UI_VirtualKeyFromQt(Qt::Key_Slash, Qt::KeypadModifier), 111);
    EXPECT_EQ(UI_VirtualKeyFromQt(Qt::Key_Slash, Qt::NoModifier), 0xBF);
    EXPECT_EQ(UI_VirtualKeyFromQt(Qt::Key_F11, Qt::NoModifier), 0x7A);
}

TEST_F(FrameTest, PresentedPictureAndGrab)
{
    UI_Image locPicture;
    locPicture.myWidth = 8;
    locPicture.myHeight = 4;
    locPicture.myPixels.assign(32, 0xFF00FF00u);
    UI_FrameSetViewPicture(myFrame, locPicture);
    QWidget* locView = UI_GetFrameView(myFrame);
    QImage locShown = locView->grab().toImage();
    ASSERT_GE(locShown.width(), 8);
    EXPECT_EQ(locShown.pixel(3, 2), 0xFF00FF00u);
    EXPECT_NE(locShown.pixel(20, 20), 0xFF00FF00u);

    std::string locPng = myFiles.path().toStdString() + "/frame.png";
    ASSERT_TRUE(UI_GrabFrame(myFrame, locPng.c_str()));
    QImage locGrabbed(QString::fromStdString(locPng));
    EXPECT_GT(locGrabbed.width(), locView->width());
}

TEST_F(FrameTest, BorrowedViewPixelsShowUntilACopyIsKept)
{
    std::vector<uint32_t> locPixels(8 * 4, 0xFF0000FFu);
    UI_FrameShowViewPixels(myFrame, locPixels.data(), 8, 4, 8 * 4);
    QWidget* locView = UI_GetFrameView(myFrame);
    EXPECT_EQ(locView->grab().toImage().pixel(3, 2), 0xFF0000FFu);
    // The view draws what the program's pixels hold now, with no second call.
    std::fill(locPixels.begin(), locPixels.end(), 0xFF00FF00u);
    QImage locShown = locView->grab().toImage();
    EXPECT_EQ(locShown.pixel(3, 2), 0xFF00FF00u);
    EXPECT_NE(locShown.pixel(20, 20), 0xFF00FF00u); // outside the picture: the background

    // Kept: the pixels may go.
    UI_FrameKeepViewPixels(myFrame);
    locPixels.assign(locPixels.size(), 0xFFFF0000u);
    locPixels.clear();
    locPixels.shrink_to_fit();
    EXPECT_EQ(locView->grab().toImage().pixel(3, 2), 0xFF00FF00u);
    // A copied picture after a borrowed one never writes into the program's pixels.
    std::vector<uint32_t> locOther(8 * 4, 0xFF123456u), locSource(8 * 4, 0xFF654321u);
    UI_FrameShowViewPixels(myFrame, locOther.data(), 8, 4, 8 * 4);
    UI_FrameSetViewPixels(myFrame, locSource.data(), 8, 4, 8 * 4);
    EXPECT_EQ(locOther[5], 0xFF123456u);
    EXPECT_EQ(locView->grab().toImage().pixel(3, 2), 0xFF654321u);
}

// Borrowed pixels are painted when the program asks, at once and once, or else
// shortly after on the view's own.
TEST_F(FrameTest, BorrowedViewPixelsArePaintedOnAskingOrSoonAfter)
{
    QWidget* locView = UI_GetFrameView(myFrame);
    ASSERT_TRUE(locView->isVisible());
    QCoreApplication::processEvents();
    UI_PaintCounter locCounter(locView);
    std::vector<uint32_t> locPixels(8 * 4, 0xFF0000FFu);
    UI_FrameShowViewPixels(myFrame, locPixels.data(), 8, 4, 8 * 4);
    UI_FrameUpdateView(myFrame);
    EXPECT_EQ(locCounter.myPaints, 1);
    UI_FrameUpdateView(myFrame);
    EXPECT_EQ(locCounter.myPaints, 1);
    UI_FrameShowViewPixels(myFrame, locPixels.data(), 8, 4, 8 * 4);
    QElapsedTimer locClock;
    locClock.start();
    while (locCounter.myPaints < 2 && locClock.elapsed() < 2000)
        UI_DispatchMessages(false);
    EXPECT_EQ(locCounter.myPaints, 2);
    UI_FrameUpdateView(myFrame);
    EXPECT_EQ(locCounter.myPaints, 2);
    UI_FrameUpdateView(nullptr);
}

TEST_F(FrameTest, GrabVariableWritesTheMainWindowAndQuits)
{
    std::string locPng = myFiles.path().toStdString() + "/grabbed.png";
    setenv("Q_UI_GRAB", locPng.c_str(), 1);
    UI_DestroyFrame(myFrame);
    myFrame = Make();
    unsetenv("Q_UI_GRAB");
    QElapsedTimer locClock;
    locClock.start();
    while (!UI_PeekQuitMessage(nullptr) && locClock.elapsed() < 5000)
        UI_DispatchMessages(false);
    ASSERT_TRUE(UI_PeekQuitMessage(nullptr));
    QImage locGrabbed(QString::fromStdString(locPng));
    EXPECT_EQ(locGrabbed.size(), UI_GetFrameWidget(myFrame)->size());
}

// The start-up bench's mark: a frame whose view is drawn on a timer is not drawn until its
// view shows a picture, and then the grab holds that picture.
TEST_F(FrameTest, FirstDrawnMarkWaitsForTheViewsFirstPicture)
{
    std::string locPng = myFiles.path().toStdString() + "/first.png";
    setenv("Q_UI_FIRST_DRAWN", locPng.c_str(), 1);
    UI_DestroyFrame(myFrame);
    myFrame = Make();
    ASSERT_TRUE(UI_FrameSetTimer(myFrame, 7, 100000));
    QElapsedTimer locClock;
    locClock.start();
    while (locClock.elapsed() < 200)
        UI_DispatchMessages(false);
    EXPECT_FALSE(UI_PeekQuitMessage(nullptr));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(locPng)));

    std::vector<uint32_t> locPixels(16 * 8, 0xFF00FF00u);
    UI_FrameSetViewPixels(myFrame, locPixels.data(), 16, 8, 16 * 4);
    unsetenv("Q_UI_FIRST_DRAWN");
    EXPECT_TRUE(UI_PeekQuitMessage(nullptr));
    QImage locGrabbed(QString::fromStdString(locPng));
    ASSERT_EQ(locGrabbed.size(), UI_GetFrameWidget(myFrame)->size());
    QWidget* locView = UI_GetFrameView(myFrame);
    QPoint locCorner = locView->mapTo(locView->window(), QPoint(3, 2));
    EXPECT_EQ(locGrabbed.pixel(locCorner), 0xFF00FF00u);
    FILE* locTimes = fopen((locPng + ".time").c_str(), "r");
    ASSERT_NE(locTimes, nullptr);
    double locWall = 0.0, locCpu = 0.0;
    EXPECT_EQ(fscanf(locTimes, "%lf %lf", &locWall, &locCpu), 2);
    fclose(locTimes);
    EXPECT_GT(locWall, 0.0);
    EXPECT_GT(locCpu, 0.0);

    // Only the first counts.
    UI_ClearQuitMessage();
    setenv("Q_UI_FIRST_DRAWN", locPng.c_str(), 1);
    UI_FrameSetViewPixels(myFrame, locPixels.data(), 16, 8, 16 * 4);
    unsetenv("Q_UI_FIRST_DRAWN");
    EXPECT_FALSE(UI_PeekQuitMessage(nullptr));
}

TEST_F(FrameTest, NoTickAfterKill)
{
    ASSERT_TRUE(UI_FrameSetTimer(myFrame, 1, 5));
    ASSERT_TRUE(UI_FrameSetTimer(myFrame, 2, 5));
    myProgram.myKillOnTick = true;
    QElapsedTimer locClock;
    locClock.start();
    while (myProgram.myTicks.empty() && locClock.elapsed() < 5000)
        UI_DispatchMessages(true);
    ASSERT_EQ(myProgram.myTicks.size(), 1u);
    // Both were due; the one killed inside the first tick never arrives.
    locClock.restart();
    while (locClock.elapsed() < 60)
        UI_DispatchMessages(false);
    EXPECT_EQ(myProgram.myTicks.size(), 1u);
    EXPECT_FALSE(UI_FrameKillTimer(myFrame, 1));
}

// [SECTION] The pane tree ---------------------------------------------------------------------

TEST_F(FrameTest, PaneTreeSortsHitTestsAndNotifiesProgramSelection)
{
    UI_Dialog* locPane = UI_FrameCreatePane(myFrame, ourPane, locPaneProc, ID_PANE_TREE);
    ASSERT_NE(locPane, nullptr);
    UI_Dialog* locBar = UI_FrameCreateDialogBar(myFrame, ourBar, locPaneProc);
    ASSERT_NE(locBar, nullptr);
    EXPECT_EQ(UI_ComboAdd(locBar, ID_CONSOLE, "line"), 0);
    QApplication::processEvents();

    int locWidth = 0, locHeight = 0;
    UI_FrameGetViewSize(myFrame, &locWidth, &locHeight);
    EXPECT_GT(locWidth, 0);
    int locPaneX = 0, locPaneY = 0, locPaneW = 0, locPaneH = 0;
    ASSERT_TRUE(UI_GetControlRect(locPane, ID_PANE_TREE, &locPaneX, &locPaneY, &locPaneW, &locPaneH));
    EXPECT_EQ(locPaneW, 350); // the control fills the pane of the template's width

    UI_TreeItem locB = UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "beta", -1, true);
    UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "Alpha", -1, true);
    UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "GAMMA", -1, true);
    UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "alpha", -1, true);
    std::vector<std::string> locOrder;
    for (UI_TreeItem locItem = UI_TreeGetRelated(locPane, ID_PANE_TREE, UI_TREE_ROOT, UI_TREE_CHILD); locItem;
         locItem = UI_TreeGetRelated(locPane, ID_PANE_TREE, locItem, UI_TREE_NEXT))
    {
        std::string locText;
        UI_TreeGetText(locPane, ID_PANE_TREE, locItem, &locText);
        locOrder.push_back(locText);
    }
    // Equal names without regard to case keep their insertion order.
    EXPECT_EQ(locOrder, (std::vector<std::string>{"Alpha", "alpha", "beta", "GAMMA"}));

    // Object pointers fit the item data.
    static int ourObject;
    ASSERT_TRUE(UI_TreeSetData(locPane, ID_PANE_TREE, locB, reinterpret_cast<intptr_t>(&ourObject)));
    EXPECT_EQ(UI_TreeGetData(locPane, ID_PANE_TREE, locB), reinterpret_cast<intptr_t>(&ourObject));

    ourTreeNotes.clear();
    ASSERT_TRUE(UI_TreeSelect(locPane, ID_PANE_TREE, locB));
    EXPECT_EQ(ourTreeNotes, (std::vector<std::pair<int, int>>{{ID_PANE_TREE, UI_TVN_SELCHANGED}}));
    ASSERT_TRUE(UI_TreeSelect(locPane, ID_PANE_TREE, locB)); // no change, no note
    EXPECT_EQ(ourTreeNotes.size(), 1u);

    int locX = 0, locY = 0, locW = 0, locH = 0;
    ASSERT_TRUE(UI_TreeGetLabelRect(locPane, ID_PANE_TREE, locB, &locX, &locY, &locW, &locH));
    EXPECT_EQ(UI_TreeHitTest(locPane, ID_PANE_TREE, locX + locW / 2, locY + locH / 2), locB);
    EXPECT_EQ(UI_TreeHitTest(locPane, ID_PANE_TREE, locX + locW + 40, locY + locH / 2), 0);
    EXPECT_EQ(UI_TreeHitTest(locPane, ID_PANE_TREE, locX + locW / 2, locY + 40 * locH), 0);
}

TEST_F(FrameTest, TreeUpdateSortsOnceAsOneByOneInsertsWould)
{
    UI_Dialog* locBatch = UI_FrameCreatePane(myFrame, ourPane, locPaneProc, ID_PANE_TREE);
    UI_Dialog* locSingle = UI_CreateDialog(ourPane, locPaneProc, nullptr);
    ASSERT_NE(locBatch, nullptr);
    ASSERT_NE(locSingle, nullptr);
    // Case variants and equal texts: their insertion order must survive.
    const std::vector<std::string> locFirst = {"delta", "Alpha", "charlie", "alpha", "Bravo", "ALPHA", "echo"};
    const std::vector<std::string> locLater = {"beta", "alpha", "Zulu", "aaa"};
    for (const std::string& locText : locFirst)
        UI_TreeInsert(locSingle, ID_PANE_TREE, UI_TREE_ROOT, locText.c_str(), -1, true);
    // Items that exist before the update stay where they are.
    UI_TreeInsert(locBatch, ID_PANE_TREE, UI_TREE_ROOT, "delta", -1, true);
    UI_TreeInsert(locBatch, ID_PANE_TREE, UI_TREE_ROOT, "Alpha", -1, true);
    ASSERT_TRUE(UI_TreeBeginUpdate(locBatch, ID_PANE_TREE));
    EXPECT_FALSE(UI_TreeBeginUpdate(locBatch, ID_PANE_TREE));
    ourTreeNotes.clear();
    UI_TreeItem locEcho = 0;
    for (size_t i = 2; i < locFirst.size(); i++)
    {
        UI_TreeItem locItem = UI_TreeInsert(locBatch, ID_PANE_TREE, UI_TREE_ROOT, locFirst[i].c_str(), -1, true);
        UI_TreeSetData(locBatch, ID_PANE_TREE, locItem, intptr_t(i));
        if (locFirst[i] == "echo")
            locEcho = locItem;
    }
    // Reading the structure in the middle sees the sorted order.
    EXPECT_EQ(locTreeTexts(locBatch, ID_PANE_TREE), locTreeTexts(locSingle, ID_PANE_TREE));
    for (const std::string& locText : locLater)
    {
        UI_TreeInsert(locSingle, ID_PANE_TREE, UI_TREE_ROOT, locText.c_str(), -1, true);
        UI_TreeInsert(locBatch, ID_PANE_TREE, UI_TREE_ROOT, locText.c_str(), -1, true);
    }
    // Children appended in order under a pending parent; a deleted item goes.
    UI_TreeInsert(locBatch, ID_PANE_TREE, locEcho, "z", -1, false);
    UI_TreeInsert(locBatch, ID_PANE_TREE, locEcho, "a", -1, false);
    UI_TreeItem locGone = UI_TreeInsert(locBatch, ID_PANE_TREE, UI_TREE_ROOT, "gone", -1, true);
    EXPECT_TRUE(UI_TreeDelete(locBatch, ID_PANE_TREE, locGone));
    // A selection made meanwhile is applied, and notified, at the end.
    EXPECT_TRUE(UI_TreeSelect(locBatch, ID_PANE_TREE, locEcho));
    EXPECT_EQ(UI_TreeGetSelection(locBatch, ID_PANE_TREE), locEcho);
    EXPECT_TRUE(ourTreeNotes.empty());
    ASSERT_TRUE(UI_TreeEndUpdate(locBatch, ID_PANE_TREE));
    EXPECT_FALSE(UI_TreeEndUpdate(locBatch, ID_PANE_TREE));
    EXPECT_EQ(ourTreeNotes, (std::vector<std::pair<int, int>>{{ID_PANE_TREE, UI_TVN_SELCHANGED}}));

    std::vector<std::string> locExpected = locTreeTexts(locSingle, ID_PANE_TREE);
    EXPECT_EQ(locExpected, (std::vector<std::string>{"aaa", "Alpha", "alpha", "ALPHA", "alpha", "beta", "Bravo",
                                                     "charlie", "delta", "echo", "Zulu"}));
    EXPECT_EQ(locTreeTexts(locBatch, ID_PANE_TREE), locExpected);
    EXPECT_EQ(locTreeTexts(locBatch, ID_PANE_TREE, locEcho), (std::vector<std::string>{"z", "a"}));
    EXPECT_EQ(UI_TreeGetData(locBatch, ID_PANE_TREE, locEcho), intptr_t(6));
    EXPECT_EQ(UI_TreeGetCount(locBatch, ID_PANE_TREE), 13);
    EXPECT_EQ(UI_TreeGetSelection(locBatch, ID_PANE_TREE), locEcho);
    // The view shows the items.
    QTreeView* locView = static_cast<QTreeView*>(UI_GetControlWidget(locBatch, ID_PANE_TREE));
    EXPECT_EQ(locView->model()->rowCount(), 11);
    UI_DestroyDialog(locSingle);
}

// Items whose children are made when first needed: the fill procedure runs
// once per item, whoever asks first (the program's walk or expansion, or the
// user through the view), and handles of removed items stay refused.
TEST_F(FrameTest, TreeMakesChildrenWhenFirstNeeded)
{
    UI_Dialog* locPane = UI_FrameCreatePane(myFrame, ourPane, locPaneProc, ID_PANE_TREE);
    ASSERT_NE(locPane, nullptr);
    static std::vector<UI_TreeItem> ourFilled;
    ourFilled.clear();
    // Each item gets "<text>.a" and "<text>.b", the first of which waits again.
    UI_TreeFillProc locFill = [](UI_Dialog* aDialog, int anId, UI_TreeItem anItem, void*) {
        ourFilled.push_back(anItem);
        std::string locText;
        UI_TreeGetText(aDialog, anId, anItem, &locText);
        UI_TreeItem locFirst = UI_TreeInsert(aDialog, anId, anItem, (locText + ".a").c_str(), -1, false);
        UI_TreeInsert(aDialog, anId, anItem, (locText + ".b").c_str(), -1, false);
        UI_TreeSetChildrenLater(aDialog, anId, locFirst);
    };
    ASSERT_TRUE(UI_TreeSetFillProc(locPane, ID_PANE_TREE, locFill, nullptr));
    std::vector<UI_TreeItem> locRoots;
    for (int i = 0; i < 40; i++)
    {
        std::string locText = "r" + std::to_string(i);
        locRoots.push_back(UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, locText.c_str(), -1, false));
        ASSERT_TRUE(UI_TreeSetChildrenLater(locPane, ID_PANE_TREE, locRoots.back()));
    }
    EXPECT_EQ(UI_TreeGetCount(locPane, ID_PANE_TREE), 40);
    QTreeView* locView = static_cast<QTreeView*>(UI_GetControlWidget(locPane, ID_PANE_TREE));
    QAbstractItemModel* locModel = locView->model();
    EXPECT_TRUE(locModel->hasChildren(locModel->index(3, 0)));
    EXPECT_EQ(locModel->rowCount(locModel->index(3, 0)), 0);
    EXPECT_TRUE(ourFilled.empty());

    // The program asks: filled once.
    EXPECT_EQ(locTreeTexts(locPane, ID_PANE_TREE, locRoots[0]), (std::vector<std::string>{"r0.a", "r0.b"}));
    EXPECT_EQ(locTreeTexts(locPane, ID_PANE_TREE, locRoots[0]), (std::vector<std::string>{"r0.a", "r0.b"}));
    EXPECT_EQ(ourFilled, (std::vector<UI_TreeItem>{locRoots[0]}));
    // An item with children made cannot wait again.
    EXPECT_FALSE(UI_TreeSetChildrenLater(locPane, ID_PANE_TREE, locRoots[0]));
    // The program expands: filled, expanded, not notified.
    ourTreeNotes.clear();
    EXPECT_TRUE(UI_TreeExpand(locPane, ID_PANE_TREE, locRoots[1], true));
    EXPECT_TRUE(UI_TreeIsExpanded(locPane, ID_PANE_TREE, locRoots[1]));
    EXPECT_EQ(ourFilled.size(), 2u);
    EXPECT_TRUE(ourTreeNotes.empty());
    // The user expands through the laid-out view: filled through the model.
    QApplication::processEvents();
    locView->expand(locModel->index(2, 0));
    EXPECT_EQ(locModel->rowCount(locModel->index(2, 0)), 2);
    EXPECT_TRUE(UI_TreeIsExpanded(locPane, ID_PANE_TREE, locRoots[2]));
    EXPECT_EQ(ourFilled, (std::vector<UI_TreeItem>{locRoots[0], locRoots[1], locRoots[2]}));
    // A child that waits in turn.
    UI_TreeItem locNested = UI_TreeGetRelated(locPane, ID_PANE_TREE, locRoots[2], UI_TREE_CHILD);
    EXPECT_EQ(locTreeTexts(locPane, ID_PANE_TREE, locNested), (std::vector<std::string>{"r2.a.a", "r2.a.b"}));
    EXPECT_EQ(UI_TreeGetCount(locPane, ID_PANE_TREE), 48);

    // Removed items: their handles (and their children's) are refused, also
    // once the slots are used again; a reset refuses every old handle.
    UI_TreeItem locChild = UI_TreeGetRelated(locPane, ID_PANE_TREE, locRoots[0], UI_TREE_CHILD);
    EXPECT_TRUE(UI_TreeDelete(locPane, ID_PANE_TREE, locRoots[0]));
    std::string locText;
    EXPECT_FALSE(UI_TreeGetText(locPane, ID_PANE_TREE, locRoots[0], &locText));
    EXPECT_FALSE(UI_TreeGetText(locPane, ID_PANE_TREE, locChild, &locText));
    EXPECT_FALSE(UI_TreeSetChildrenLater(locPane, ID_PANE_TREE, locChild));
    EXPECT_EQ(UI_TreeGetRelated(locPane, ID_PANE_TREE, locChild, UI_TREE_CHILD), 0);
    EXPECT_FALSE(UI_TreeGetText(locPane, ID_PANE_TREE, locRoots[0] + 1, &locText));
    UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "again", -1, true);
    EXPECT_TRUE(UI_TreeGetText(locPane, ID_PANE_TREE, locRoots[39], &locText));
    EXPECT_EQ(locText, "r39");
    EXPECT_TRUE(UI_TreeReset(locPane, ID_PANE_TREE));
    EXPECT_FALSE(UI_TreeGetText(locPane, ID_PANE_TREE, locRoots[39], &locText));
    EXPECT_EQ(UI_TreeGetCount(locPane, ID_PANE_TREE), 0);
    UI_TreeItem locFresh = UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "fresh", -1, true);
    EXPECT_TRUE(UI_TreeGetText(locPane, ID_PANE_TREE, locFresh, &locText));
    EXPECT_EQ(locText, "fresh");
}

// Texts short enough to sit in the item and longer ones, UTF-8 among them:
// they read back, sort and show as put, also when changed to another length,
// and a slot used again after a delete starts with its own text.
TEST_F(FrameTest, TreeTextsOfEveryLengthReadBackSortAndShow)
{
    UI_Dialog* locPane = UI_FrameCreatePane(myFrame, ourPane, locPaneProc, ID_PANE_TREE);
    ASSERT_NE(locPane, nullptr);
    std::vector<std::string> locTexts = {"", "b", std::string(14, 'c'), std::string(15, 'd'), std::string(16, 'e'),
                                         std::string(17, 'f'), "g" + std::string(299, 'x'),
                                         std::string(70000, 'h'), "\xc3\xa4hnlich \xe2\x82\xac 15+ bytes"};
    std::vector<UI_TreeItem> locItems;
    for (const std::string& locText : locTexts)
        locItems.push_back(UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, locText.c_str(), -1, true));
    // Bytes above 0x7f sort behind ASCII letters, as the list boxes sort.
    std::vector<std::string> locSorted = locTexts;
    std::sort(locSorted.begin(), locSorted.end());
    EXPECT_EQ(locTreeTexts(locPane, ID_PANE_TREE), locSorted);
    QTreeView* locView = static_cast<QTreeView*>(UI_GetControlWidget(locPane, ID_PANE_TREE));
    QAbstractItemModel* locModel = locView->model();
    for (int i = 0; i < locModel->rowCount(); i++)
        EXPECT_EQ(locModel->index(i, 0).data().toString().toStdString(), locSorted[size_t(i)]) << i;

    // From short to long and back, and to a piece of the text it had.
    std::string locText;
    const std::vector<std::string> locChanges = {std::string(40, 'L'), "s", std::string(15, 'S'), "", "mid length text"};
    for (const std::string& locChange : locChanges)
        for (UI_TreeItem locItem : locItems)
        {
            ASSERT_TRUE(UI_TreeSetText(locPane, ID_PANE_TREE, locItem, locChange.c_str()));
            ASSERT_TRUE(UI_TreeGetText(locPane, ID_PANE_TREE, locItem, &locText));
            EXPECT_EQ(locText, locChange);
        }
    ASSERT_TRUE(UI_TreeGetText(locPane, ID_PANE_TREE, locItems[0], &locText));
    ASSERT_TRUE(UI_TreeSetText(locPane, ID_PANE_TREE, locItems[0], locText.c_str() + 4));
    ASSERT_TRUE(UI_TreeGetText(locPane, ID_PANE_TREE, locItems[0], &locText));
    EXPECT_EQ(locText, "length text");

    // A deleted long text's slot, used again by a short one; a child's list
    // gone with its last child takes the expander with it.
    UI_TreeItem locParent = locItems[7];
    UI_TreeItem locChild = UI_TreeInsert(locPane, ID_PANE_TREE, locParent, std::string(33, 'k').c_str(), -1, false);
    ASSERT_NE(locChild, 0);
    QModelIndex locParentIndex = locModel->index(int(std::find(locSorted.begin(), locSorted.end(), locTexts[7]) -
                                                     locSorted.begin()),
                                                 0);
    EXPECT_TRUE(locModel->hasChildren(locParentIndex));
    EXPECT_TRUE(UI_TreeDelete(locPane, ID_PANE_TREE, locChild));
    EXPECT_FALSE(locModel->hasChildren(locParentIndex));
    EXPECT_EQ(UI_TreeGetRelated(locPane, ID_PANE_TREE, locParent, UI_TREE_CHILD), 0);
    UI_TreeItem locAgain = UI_TreeInsert(locPane, ID_PANE_TREE, locParent, "k", -1, false);
    EXPECT_EQ(locAgain, locChild);
    ASSERT_TRUE(UI_TreeGetText(locPane, ID_PANE_TREE, locAgain, &locText));
    EXPECT_EQ(locText, "k");
    EXPECT_EQ(locTreeTexts(locPane, ID_PANE_TREE, locParent), (std::vector<std::string>{"k"}));

    // Expanded with its one child, it opens again after an update.
    ASSERT_TRUE(UI_TreeExpand(locPane, ID_PANE_TREE, locParent, true));
    ASSERT_TRUE(UI_TreeBeginUpdate(locPane, ID_PANE_TREE));
    UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "zz", -1, true);
    ASSERT_TRUE(UI_TreeEndUpdate(locPane, ID_PANE_TREE));
    int locRow = 0;
    while (locRow < locModel->rowCount() && locModel->index(locRow, 0).internalPointer() != (void*) locParent)
        locRow++;
    ASSERT_LT(locRow, locModel->rowCount());
    EXPECT_TRUE(locView->isExpanded(locModel->index(locRow, 0)));
}

// A file's roots, sorted in one update: the tree's own store takes well under
// a hundred bytes a root (its text, data, place and the parent's list).
TEST_F(FrameTest, TreeHoldsManyRootsInFewBytesEach)
{
    UI_Dialog* locPane = UI_FrameCreatePane(myFrame, ourPane, locPaneProc, ID_PANE_TREE);
    ASSERT_NE(locPane, nullptr);
    if (!locHeapCounts())
        GTEST_SKIP() << "this allocator does not count its blocks";

    const int locCount = 100000;
    const size_t locStart = locHeld();
    ASSERT_TRUE(UI_TreeBeginUpdate(locPane, ID_PANE_TREE));
    for (int i = 0; i < locCount; i++)
    {
        char locName[32];
        snprintf(locName, sizeof(locName), "item%06d", (i * 7919) % locCount);
        UI_TreeItem locItem = UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, locName, -1, true);
        UI_TreeSetData(locPane, ID_PANE_TREE, locItem, intptr_t(i));
    }
    ASSERT_TRUE(UI_TreeEndUpdate(locPane, ID_PANE_TREE));
    const double locPerRoot = double(locHeld() - locStart) / locCount;
    EXPECT_LT(locPerRoot, 72.0) << (locHeld() - locStart) << " bytes for " << locCount << " roots";
    UI_TreeItem locFirst = UI_TreeGetRelated(locPane, ID_PANE_TREE, UI_TREE_ROOT, UI_TREE_CHILD);
    std::string locText;
    ASSERT_TRUE(UI_TreeGetText(locPane, ID_PANE_TREE, locFirst, &locText));
    EXPECT_EQ(locText, "item000000");
    EXPECT_EQ(UI_TreeGetData(locPane, ID_PANE_TREE, locFirst), 0);
    EXPECT_EQ(UI_TreeGetCount(locPane, ID_PANE_TREE), locCount);
}

// [SECTION] The dialog bar and its console ----------------------------------------------------

// Many lines at once among lines added one by one: the texts read back as they
// were put (line ends gone, as UI_ComboAdd takes them), in order, and the shown
// line stays.
TEST_F(FrameTest, ComboTakesManyLinesAtOnce)
{
    UI_Dialog* locBar = UI_FrameCreateDialogBar(myFrame, ourBar, locPaneProc);
    ASSERT_NE(locBar, nullptr);
    std::vector<std::string> locExpected = {"first", "second"};
    EXPECT_EQ(UI_ComboAdd(locBar, ID_CONSOLE, "first"), 0);
    EXPECT_EQ(UI_ComboAdd(locBar, ID_CONSOLE, "second"), 1);
    EXPECT_TRUE(UI_ComboSetCurSel(locBar, ID_CONSOLE, 1));
    std::vector<std::string> locMany;
    for (int i = 0; i < 70; i++)
        locMany.push_back(i % 9 == 4 ? std::string() : "LOG: made Item item" + std::to_string(i * 13) + (i % 5 ? "" : " \xc3\xa4"));
    EXPECT_EQ(UI_ComboAddMany(locBar, ID_CONSOLE, locMany), 2);
    locExpected.insert(locExpected.end(), locMany.begin(), locMany.end());
    EXPECT_EQ(UI_ComboGetCurSel(locBar, ID_CONSOLE), 1);
    EXPECT_EQ(UI_ComboAdd(locBar, ID_CONSOLE, "LOG: made Item item9"), 72);
    locExpected.push_back("LOG: made Item item9");
    EXPECT_EQ(UI_ComboAddMany(locBar, ID_CONSOLE, {"LOG: made Item item91\r\n", "LOG: x\n"}), 73);
    locExpected.insert(locExpected.end(), {"LOG: made Item item91", "LOG: x"});
    EXPECT_EQ(UI_ComboAddMany(locBar, 9999, {"nowhere"}), -1);

    std::vector<std::string> locTexts;
    std::string locText;
    for (int i = 0; i < UI_ComboGetCount(locBar, ID_CONSOLE); i++)
        locTexts.push_back(UI_ComboGetText(locBar, ID_CONSOLE, i, &locText) ? locText : "?");
    EXPECT_EQ(locTexts, locExpected);
    QComboBox* locCombo = static_cast<QComboBox*>(UI_GetControlWidget(locBar, ID_CONSOLE));
    EXPECT_EQ(locCombo->currentText().toStdString(), "second");
    EXPECT_TRUE(UI_ComboReset(locBar, ID_CONSOLE));
    EXPECT_EQ(UI_ComboGetCount(locBar, ID_CONSOLE), 0);
}

// A log of many lines costs the combo box little more than their text: one
// object per line would take three times it and more.
TEST_F(FrameTest, ComboHoldsManyLinesInLittleMoreThanTheirText)
{
    UI_Dialog* locBar = UI_FrameCreateDialogBar(myFrame, ourBar, locPaneProc);
    ASSERT_NE(locBar, nullptr);
    if (!locHeapCounts())
        GTEST_SKIP() << "this allocator does not count its blocks";

    const size_t locStart = locHeld();
    size_t locText = 0;
    std::vector<std::string> locLines;
    for (int i = 0; i < 100000; i++)
    {
        locLines.push_back("LOG: VelkCompiler::Compile(): Instantiated Cell c" + std::to_string(i));
        locText += locLines.back().size();
        if (locLines.size() == 1024 || i == 99999)
        {
            ASSERT_GE(UI_ComboAddMany(locBar, ID_CONSOLE, locLines), 0);
            locLines.clear();
        }
    }
    std::vector<std::string>().swap(locLines);
    ASSERT_EQ(UI_ComboGetCount(locBar, ID_CONSOLE), 100000);
    const double locRatio = double(locHeld() - locStart) / double(locText);
    EXPECT_LT(locRatio, 2.5) << (locHeld() - locStart) << " bytes for " << locText << " bytes of text";
    std::string locLine;
    EXPECT_TRUE(UI_ComboGetText(locBar, ID_CONSOLE, 76543, &locLine));
    EXPECT_EQ(locLine, "LOG: VelkCompiler::Compile(): Instantiated Cell c76543");
    UI_ComboReset(locBar, ID_CONSOLE);
    EXPECT_EQ(UI_ComboGetCount(locBar, ID_CONSOLE), 0);
    EXPECT_EQ(UI_ComboAdd(locBar, ID_CONSOLE, "after"), 0);
    EXPECT_TRUE(UI_ComboGetText(locBar, ID_CONSOLE, 0, &locLine));
    EXPECT_EQ(locLine, "after");

    // The box's own edits anywhere in the lines.
    EXPECT_EQ(UI_ComboAddMany(locBar, ID_CONSOLE, {"one", "", "three \xc3\xa4", "four"}), 1);
    QComboBox* locCombo = qobject_cast<QComboBox*>(UI_GetControlWidget(locBar, ID_CONSOLE));
    ASSERT_NE(locCombo, nullptr);
    locCombo->insertItem(2, "between");
    locCombo->removeItem(0);
    locCombo->setItemText(2, "two");
    locCombo->setItemText(5, "five");
    locCombo->addItem("last");
    std::vector<std::string> locTexts;
    for (int i = 0; i < UI_ComboGetCount(locBar, ID_CONSOLE); i++)
        locTexts.push_back(UI_ComboGetText(locBar, ID_CONSOLE, i, &locLine) ? locLine : "?");
    EXPECT_EQ(locTexts, (std::vector<std::string>{"one", "between", "two", "three \xc3\xa4", "four", "last"}));
}

// Lines that share much, little or nothing with the line before, empty ones
// and ones longer than a block, among the box's own edits at the end and in
// the middle: every line reads back as put, in order.
TEST_F(FrameTest, ComboLinesReadBackAcrossGroupsAndBlocks)
{
    UI_Dialog* locBar = UI_FrameCreateDialogBar(myFrame, ourBar, locPaneProc);
    ASSERT_NE(locBar, nullptr);
    QComboBox* locCombo = qobject_cast<QComboBox*>(UI_GetControlWidget(locBar, ID_CONSOLE));
    ASSERT_NE(locCombo, nullptr);
    std::vector<std::string> locExpected;
    std::vector<std::string> locLines;
    // Several blocks fill between the long lines, which take blocks of their own.
    for (int i = 0; i < 6000; i++)
    {
        std::string locLine;
        switch (i % 7)
        {
        case 0: locLine = "LOG: Instantiated Item item" + std::to_string(i); break;
        case 1: locLine = "LOG: Instantiated Item item" + std::to_string(i) + "0"; break;
        case 2: locLine = "LOG: Instantiated"; break;
        case 3: locLine = ""; break;
        case 4: locLine = "LOG: Instantiated Item \xc3\xa4" + std::string(size_t(i % 300), 'x'); break;
        case 5: locLine = i % 2000 == 5 ? std::string(70000 + size_t(i), 'y') : "x" + std::to_string(i); break;
        default: locLine = "LOG: Instantiated Item \xc3\xa4" + std::string(size_t(i % 300), 'x') + "!"; break;
        }
        locLines.push_back(locLine);
        if (locLines.size() == 37 || i == 5999)
        {
            ASSERT_GE(UI_ComboAddMany(locBar, ID_CONSOLE, locLines), 0);
            locExpected.insert(locExpected.end(), locLines.begin(), locLines.end());
            locLines.clear();
        }
        if (i % 101 == 0)
        {
            // One by one: the box appends an empty row and sets its text.
            const std::string locAgain = locExpected.empty() ? "first" : locExpected.back() + " again";
            locCombo->addItem(QString::fromStdString(locAgain));
            locExpected.push_back(locAgain);
        }
    }
    auto locRead = [&]() {
        std::vector<std::string> locTexts;
        std::string locLine;
        for (int i = 0; i < UI_ComboGetCount(locBar, ID_CONSOLE); i++)
            locTexts.push_back(UI_ComboGetText(locBar, ID_CONSOLE, i, &locLine) ? locLine : "?");
        return locTexts;
    };
    ASSERT_EQ(locRead().size(), locExpected.size());
    EXPECT_TRUE(locRead() == locExpected);
    // Edits in the middle and at the end, a removal across groups.
    locCombo->setItemText(17, "seventeen");
    locExpected[17] = "seventeen";
    locCombo->removeItem(40);
    locExpected.erase(locExpected.begin() + 40);
    locCombo->insertItem(1000, "inserted");
    locExpected.insert(locExpected.begin() + 1000, "inserted");
    locCombo->addItem("");
    locCombo->setItemText(locCombo->count() - 1, "set last");
    locExpected.push_back("set last");
    locCombo->addItem("after");
    locExpected.push_back("after");
    EXPECT_TRUE(locRead() == locExpected);
    EXPECT_EQ(locCombo->itemText(1000).toStdString(), "inserted");
}

// A bar template wider than the frame: the console stays whole inside the
// window (its arrow on screen) and gets its template width back when the
// window widens.
TEST_F(FrameTest, DialogBarControlsStayInsideANarrowFrame)
{
    const UI_ControlTemplate locControls[] = {
        {ID_CONSOLE, UI_CONTROL_COMBOBOX, nullptr, 4, 2, 600, 120, UI_STYLE_VSCROLL},
    };
    const UI_DialogTemplate locWide = {128, "", 610, 16, "MS Shell Dlg", 8, locControls, 1};
    UI_Dialog* locBar = UI_FrameCreateDialogBar(myFrame, locWide, locPaneProc);
    ASSERT_NE(locBar, nullptr);
    QWidget* locCombo = UI_GetControlWidget(locBar, ID_CONSOLE);
    QWidget* locWindow = UI_GetFrameView(myFrame)->window();
    locWindow->showNormal();
    locWindow->resize(2400, 700);
    QApplication::processEvents();
    const int locTemplateWidth = locCombo->width();
    ASSERT_GT(locTemplateWidth, 700);

    for (int locWidth : {640, 1024})
    {
        locWindow->resize(locWidth, 700);
        QApplication::processEvents();
            QRect locInWindow(locCombo->mapTo(locWindow, QPoint(0, 0)), locCombo->size());
        EXPECT_EQ(locWindow->width(), locWidth); // the bar does not hold the window wider
        EXPECT_TRUE(locCombo->isVisible()) << locWidth;
        EXPECT_LE(locInWindow.right(), locWindow->width() - 1) << locWidth;
        EXPECT_GT(locCombo->width(), locWidth / 2) << locWidth;
        EXPECT_EQ(locCombo->height(), locCombo->sizeHint().height()) << locWidth;
    }
    locWindow->resize(2400, 700);
    QApplication::processEvents();
    EXPECT_EQ(locCombo->width(), locTemplateWidth);
}

// [SECTION] Presses and keys in the pane tree -------------------------------------------------

TEST_F(FrameTest, TreePressesAndKeysAreNotified)
{
    UI_Dialog* locPane = UI_FrameCreatePane(myFrame, ourPane, locPaneProc, ID_PANE_TREE);
    ASSERT_NE(locPane, nullptr);
    UI_TreeItem locA = UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "apple", -1, true);
    UI_TreeItem locB = UI_TreeInsert(locPane, ID_PANE_TREE, UI_TREE_ROOT, "banana", -1, true);
    UI_TreeInsert(locPane, ID_PANE_TREE, locB, "seed", -1, false);
    QApplication::processEvents();
    int locX = 0, locY = 0, locW = 0, locH = 0;
    ASSERT_TRUE(UI_TreeGetLabelRect(locPane, ID_PANE_TREE, locB, &locX, &locY, &locW, &locH));

    // A left press on the label selects and is notified with the point.
    ourTreeNotes.clear();
    ASSERT_TRUE(UI_TreeMouseDown(locPane, ID_PANE_TREE, locX + 2, locY + 2, false));
    EXPECT_EQ(UI_TreeGetSelection(locPane, ID_PANE_TREE), locB);
    EXPECT_EQ(ourTreeNotes, (std::vector<std::pair<int, int>>{{ID_PANE_TREE, UI_TVN_SELCHANGED},
                                                              {ID_PANE_TREE, UI_NM_CLICK}}));
    EXPECT_EQ(ourLastNote.myX, locX + 2);
    EXPECT_EQ(ourLastNote.myY, locY + 2);
    // Beside the label nothing is selected; a right press never selects.
    ourTreeNotes.clear();
    UI_TreeMouseDown(locPane, ID_PANE_TREE, locX + locW + 60, locY + 2, false);
    EXPECT_EQ(ourTreeNotes, (std::vector<std::pair<int, int>>{{ID_PANE_TREE, UI_NM_CLICK}}));
    int locAX = 0, locAY = 0, locAW = 0, locAH = 0;
    ASSERT_TRUE(UI_TreeGetLabelRect(locPane, ID_PANE_TREE, locA, &locAX, &locAY, &locAW, &locAH));
    ourTreeNotes.clear();
    UI_TreeMouseDown(locPane, ID_PANE_TREE, locAX + 2, locAY + 2, true);
    EXPECT_EQ(UI_TreeGetSelection(locPane, ID_PANE_TREE), locB);
    EXPECT_EQ(ourTreeNotes, (std::vector<std::pair<int, int>>{{ID_PANE_TREE, UI_NM_RCLICK}}));
    // The expander toggles without selecting.
    UI_TreeMouseDown(locPane, ID_PANE_TREE, locX - 10, locY + 2, false);
    EXPECT_TRUE(UI_TreeIsExpanded(locPane, ID_PANE_TREE, locB));
    EXPECT_EQ(UI_TreeGetSelection(locPane, ID_PANE_TREE), locB);

    // Keys arrive with their virtual-key codes before the tree handles them.
    QWidget* locTree = UI_GetControlWidget(locPane, ID_PANE_TREE);
    std::vector<int> locKeys;
    for (int locKey : {int(Qt::Key_Delete), int(Qt::Key_Return), int(Qt::Key_Insert)})
    {
        ourLastNote = UI_Message();
        QKeyEvent locPress(QEvent::KeyPress, locKey, Qt::NoModifier);
        QApplication::sendEvent(locTree, &locPress);
        EXPECT_EQ(ourLastNote.myNotifyCode, UI_TVN_KEYDOWN);
        locKeys.push_back(ourLastNote.myVirtualKey);
    }
    EXPECT_EQ(locKeys, (std::vector<int>{46, 13, 45}));
}

// [SECTION] Focus, commands from the environment and printing ---------------------------------

TEST_F(FrameTest, ActivePaneFollowsTheFocus)
{
    UI_Dialog* locPane = UI_FrameCreatePane(myFrame, ourPane, locPaneProc, ID_PANE_TREE);
    ASSERT_NE(locPane, nullptr);
    EXPECT_EQ(UI_FrameGetActivePane(myFrame), UI_PANE_LEFT);
    QWidget* locWindow = UI_GetFrameWidget(myFrame);
    locWindow->activateWindow();
    QApplication::setActiveWindow(locWindow);
    UI_FrameFocusView(myFrame);
    QApplication::processEvents();
    EXPECT_EQ(UI_FrameGetActivePane(myFrame), UI_PANE_VIEW);
    UI_GetControlWidget(locPane, ID_PANE_TREE)->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(UI_FrameGetActivePane(myFrame), UI_PANE_LEFT);
}

TEST_F(FrameTest, CommandsVariableSendsCommandsOnceTheLoopRuns)
{
    UI_DestroyFrame(myFrame);
    myFrame = nullptr;
    setenv("Q_UI_COMMANDS", "32771, 32772,32771", 1);
    UI_FrameTemplate locTemplate = {"ShellTest", ourMenu, int(std::size(ourMenu)), ourAccelerators,
                                    int(std::size(ourAccelerators)), ourButtons, int(std::size(ourButtons)),
                                    nullptr, 0, ourIndicators, int(std::size(ourIndicators)), 350};
    myFrame = UI_CreateFrame(locTemplate);
    ASSERT_NE(myFrame, nullptr);
    UI_FrameAddHandler(myFrame, &myProgram);
    myProgram.myThingEnabled = false;
    UI_FrameShow(myFrame);
    unsetenv("Q_UI_COMMANDS");
    EXPECT_TRUE(myProgram.myCommands.empty());
    QApplication::processEvents();
    // A disabled command is not sent, as from the menu.
    EXPECT_EQ(myProgram.myCommands, (std::vector<int>{ID_VIEW_GRID}));
}

TEST_F(FrameTest, PrintWritesTheViewToAPage)
{
    UI_Image locPicture;
    locPicture.myWidth = 40;
    locPicture.myHeight = 30;
    locPicture.myPixels.assign(40 * 30, 0xFF2040C0);
    UI_FrameSetViewPicture(myFrame, locPicture);
    QApplication::processEvents();
    std::string locPdf = myFiles.path().toStdString() + "/page.pdf";
    ASSERT_TRUE(UI_FramePrint(myFrame, locPdf.c_str()));
    QFile locFile(QString::fromStdString(locPdf));
    ASSERT_TRUE(locFile.open(QIODevice::ReadOnly));
    QByteArray locBytes = locFile.readAll();
    EXPECT_TRUE(locBytes.startsWith("%PDF"));
    EXPECT_GT(locBytes.size(), 1000);
    // The print items: enabled with a document; without a display no dialog can ask.
    UI_FrameUpdateCommands(myFrame);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_FILE_PRINT));
    EXPECT_FALSE(UI_FramePrintPreview(myFrame));
    EXPECT_FALSE(UI_FramePrintSetup(myFrame));
}
} // namespace
