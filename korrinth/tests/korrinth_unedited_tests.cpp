// Korrinth on the sample tree, one case per editor the tree's selections open:
// looking, selecting, scrolling and playing leave the document unmodified, so
// Open, New and Exit ask nothing and the .velk stays byte for byte; a real edit
// is asked about once and saved with the values its author wrote kept.
#include "korrinth/korrinth.h"
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/appfacade.h"
#include "owncode/velktree.h"
#include "platform/os/os_ui.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "va_velkeditors/vave_guieditor.h"
#include "va_velkeditors/vave_guiskineditor.h"
#include "velk/velk_namespace.h"
#include "velkeditor/qs_soundeditor.h"
#include "velkeditor/spreadsheeteditor2.h"
#include "velkeditor/tests/velk_xdotool.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <chrono>
#include <functional>
#include <set>

using namespace korrinth_test;

namespace
{
class KorrinthUneditedTest;
// The sheet's first value column starts one cell width in; the first row below the titles.
const int SHEET_X = 300, SHEET_Y = 20;
using UneditedStep = std::function<void(KorrinthUneditedTest&)>;

struct EditorCase
{
    const char* myName;
    const char* myFile;                           // in the sample's velk folder
    const char* mySelect;                         // dotted path of the instance selected
    std::function<bool(VelkEditor*)> myIsEditor;  // the editor it opens
    UneditedStep myLook;                          // viewing input that changes nothing
    UneditedStep myEdit;                          // one real change
    const char* mySavedText;                      // in the file saved after the edit
    const char* myGoneText;                       // no longer in it
    const char* myKeptText;                       // as its author wrote it, kept
};

void PrintTo(const EditorCase& aCase, std::ostream* aStream)
{
    *aStream << aCase.myName;
}

class KorrinthUneditedTest : public DataFolderTest, public ::testing::WithParamInterface<EditorCase>
{
public:
    void SetUp() override
    {
        DataFolderTest::SetUp();
#ifndef KORRINTH_SAMPLE_DATA
        GTEST_SKIP() << "the sample data writer is not built";
#else
        fs::create_directories(myDir / "sample" / "velk");
        const std::string locCommand =
            "'" + std::string(KORRINTH_SAMPLE_DATA) + "' '" + (myDir / "sample").string() + "' >/dev/null";
        ASSERT_EQ(std::system(locCommand.c_str()), 0);
        myVelk = myDir / "sample" / "velk";
        ASSERT_EQ(chdir(myVelk.c_str()), 0);
        myOriginal = ReadFile(myVelk / GetParam().myFile);
        ASSERT_FALSE(myOriginal.empty());
        SpreadSheetEditor2::ResetSharedState();
        VAVE_GuiEditor::SetGridSize(100);
        VAVE_GuiSkinEditor::SetView(1, 0, 0);
        myXFlag = QGuiApplication::platformName() == "xcb" && system("xdotool version > /dev/null 2>&1") == 0;
#endif
    }
    void TearDown() override
    {
        if (myProgram)
            Korrinth_Stop(myProgram);
        DataFolderTest::TearDown();
    }

    QWidget* View() { return UI_GetFrameView(myFrame); }
    void Mouse(QEvent::Type aType, int x, int y, Qt::MouseButton aButton, Qt::MouseButtons aButtons,
               Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        QMouseEvent locEvent(aType, QPointF(x, y), QPointF(x, y), aButton, aButtons, aModifiers);
        QApplication::sendEvent(View(), &locEvent);
    }
    void Click(Qt::MouseButton aButton, int x, int y, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        Mouse(QEvent::MouseMove, x, y, Qt::NoButton, Qt::NoButton);
        Mouse(QEvent::MouseButtonPress, x, y, aButton, aButton, aModifiers);
        Mouse(QEvent::MouseButtonRelease, x, y, aButton, Qt::NoButton, aModifiers);
    }
    void Drag(int x0, int y0, int x1, int y1)
    {
        Mouse(QEvent::MouseButtonPress, x0, y0, Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, x1, y1, Qt::NoButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, x1, y1, Qt::LeftButton, Qt::NoButton);
    }
    // Control and the right button on the first column resets it; released
    // below the rows, so no value dialog opens for a cell.
    void ResetSheetColumn()
    {
        Mouse(QEvent::MouseButtonPress, SHEET_X, SHEET_Y, Qt::RightButton, Qt::RightButton, Qt::ControlModifier);
        Mouse(QEvent::MouseButtonRelease, SHEET_X, 900, Qt::RightButton, Qt::NoButton);
    }
    void Key(int aQtKey)
    {
        QKeyEvent locPress(QEvent::KeyPress, aQtKey, Qt::NoModifier);
        QApplication::sendEvent(View(), &locPress);
        QKeyEvent locRelease(QEvent::KeyRelease, aQtKey, Qt::NoModifier);
        QApplication::sendEvent(View(), &locRelease);
    }
    // A menu shortcut as a person types it with the view focused: Control
    // goes down first (the view sees it), then the letter. Under X the
    // server's own keys.
    void Shortcut(char aLetter)
    {
        UI_FrameFocusView(myFrame);
        if (myXFlag)
        {
            Xdotool(std::string("key ctrl+") + aLetter);
            return;
        }
        QKeyEvent locControl(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
        QApplication::sendEvent(View(), &locControl);
        const int locKey = Qt::Key_A + (aLetter - 'a');
        QKeyEvent locPress(QEvent::KeyPress, locKey, Qt::ControlModifier);
        QApplication::sendEvent(View(), &locPress);
        QKeyEvent locRelease(QEvent::KeyRelease, locKey, Qt::ControlModifier);
        QApplication::sendEvent(View(), &locRelease);
        QKeyEvent locControlUp(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
        QApplication::sendEvent(View(), &locControlUp);
    }
    void SelectByPath(const char* aPath)
    {
        VelkType* locInstance = AppFacade::Get()->GetNameSpace().GetInstance(aPath, false);
        ASSERT_NE(locInstance, nullptr) << aPath;
        AppFacade::Get()->GetTree()->SelectObject(locInstance);
    }
    // The program as a person starts it: the file, the window shown, the
    // instance selected, the editor's picture in view for a second.
    void StartAndShow()
    {
        myProgram = Korrinth_Start(GetParam().myFile);
        ASSERT_NE(myProgram, nullptr);
        myFrame = Korrinth_GetFrame(myProgram);
        if (myXFlag)
            ASSERT_TRUE(XActivateFrame(myFrame));
        else
            UI_FrameShow(myFrame);
        ShowEditor();
    }
    void ShowEditor()
    {
        SelectByPath(GetParam().mySelect);
        ASSERT_TRUE(GetParam().myIsEditor(AppFacade::Get()->GetEditor())) << "no such editor opened";
        auto locStart = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - locStart < std::chrono::seconds(1))
        {
            UI_DispatchMessages(false);
            UI_FrameIdle(myFrame);
        }
        if (myXFlag)
            Xdotool("mousemove " + At(200, 200) + " mousemove " + At(300, 250));
    }
    std::string At(int x, int y)
    {
        const QPoint locAt = View()->mapToGlobal(QPoint(x, y));
        return std::to_string(locAt.x()) + " " + std::to_string(locAt.y());
    }
    // What a person sees: the frame alone, no dialog over it, and the
    // editor's picture in the pane.
    void ExpectOnlyTheFrameShown()
    {
        QWidget* locFrameWidget = UI_GetFrameWidget(myFrame);
        for (QWidget* locWidget : QApplication::topLevelWidgets())
            if (locWidget != locFrameWidget && locWidget->isVisible() && locWidget->isWindow() &&
                !(locWidget->windowFlags() & Qt::ToolTip))
                ADD_FAILURE() << "a window is shown: " << locWidget->windowTitle().toStdString();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        const QImage locShot = locFrameWidget->grab().toImage();
        locShot.save(QString::fromStdString((myDir / (std::string(GetParam().myName) + ".png")).string()));
        const QImage locPane = View()->grab().toImage();
        std::set<QRgb> locColours;
        for (int y = 0; y < locPane.height() && locColours.size() < 2; y += 7)
            for (int x = 0; x < locPane.width() && locColours.size() < 2; x += 7)
                locColours.insert(locPane.pixel(x, y));
        EXPECT_GE(locColours.size(), 2u) << "the pane shows no picture";
    }
    std::vector<std::string> Boxes() { return myPrompts.GetBoxes(); }
    int FileDialogs()
    {
        int locCount = 0;
        for (const UI_ScriptedPrompts::Question& locQuestion : myPrompts.myQuestions)
            locCount += locQuestion.myKind == UI_ScriptedPrompts::FILE_DIALOG;
        return locCount;
    }
    std::string Saved() { return ReadFile(myVelk / GetParam().myFile); }

    fs::path myVelk;
    std::string myOriginal;
    bool myXFlag = false;
    KorrinthProgram* myProgram = nullptr;
    UI_Frame* myFrame = nullptr;
};

bool IsSheet(VelkEditor* anEditor)
{
    return dynamic_cast<SpreadSheetEditor2*>(anEditor) != nullptr;
}

const EditorCase ourCases[] = {
    {"spreadsheet", "level.velk", "supplies", IsSheet,
     [](KorrinthUneditedTest& t) {
         t.Key(Qt::Key_Right), t.Key(Qt::Key_Down), t.Key(Qt::Key_Home), t.Key(Qt::Key_Escape);
         t.Click(Qt::LeftButton, SHEET_X, SHEET_Y);
     },
     [](KorrinthUneditedTest& t) { t.ResetSheetColumn(); },
     "Supply Supply(0)", "name fuel", "\t\tamount 40\r\n"},
    {"sound", "sounds.velk", "engine",
     [](VelkEditor* e) { return dynamic_cast<QS_SoundEditor*>(e) != nullptr; },
     [](KorrinthUneditedTest& t) {
         // Picks the point at (0, 1), drops it; reloads and plays.
         t.Click(Qt::RightButton, 66, 152), t.Click(Qt::RightButton, 66, 152);
         t.Key(Qt::Key_Return), t.Key(Qt::Key_Space);
         t.Click(Qt::LeftButton, 300, 300);
     },
     [](KorrinthUneditedTest& t) {
         t.SelectByPath("engine.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(1)");
         t.Click(Qt::LeftButton, 64 + 200, 150 + 100);
     },
     "myDistance 200.000000", "myDistance 150\r\n", "\t\t\t\t\tmyDistance 400\r\n"},
    {"layout", "menu.velk", "menu",
     [](VelkEditor* e) { return dynamic_cast<VAVE_GuiEditor*>(e) != nullptr; },
     [](KorrinthUneditedTest& t) {
         // Selects the back plate, presses on it without moving, grid off and on.
         t.Click(Qt::RightButton, 100, 100), t.Click(Qt::LeftButton, 100, 100);
         t.Key(Qt::Key_Space), t.Key(Qt::Key_Space);
     },
     [](KorrinthUneditedTest& t) {
         t.Click(Qt::RightButton, 100, 100);
         t.Drag(100, 100, 110, 100);
     },
     "myXPos 600", "myXPos 400\r\n", "\t\t\tmyYPos 400\r\n"},
    {"skin", "skins/main.velk", "mySkinFile.mySkins.red",
     [](VelkEditor* e) { return dynamic_cast<VAVE_GuiSkinEditor*>(e) != nullptr; },
     [](KorrinthUneditedTest& t) {
         t.Key(Qt::Key_Left), t.Key(Qt::Key_Up);
         t.Key(Qt::Key_Space), t.Key(Qt::Key_Space), t.Key(Qt::Key_Space);
         t.Click(Qt::LeftButton, 5, 5);
     },
     [](KorrinthUneditedTest& t) {
         t.SelectByPath("mySkinFile.mySkins.red.myPrefabs.panel");
         t.Drag(11, 11, 20, 16);
     },
     "\t\t\t\t\t\tx 20\r\n", "\t\t\t\t\t\tx 12\r\n", "myFileName skins/skin.tga\r\n"},
    // A list of one type inside a sound: the spreadsheet over its specifications.
    {"sound_specs", "sounds.velk", "engine.mySpecs", IsSheet,
     [](KorrinthUneditedTest& t) {
         t.Key(Qt::Key_Right), t.Key(Qt::Key_Left), t.Key(Qt::Key_Down), t.Key(Qt::Key_Home);
         t.Click(Qt::LeftButton, SHEET_X, SHEET_Y);
     },
     [](KorrinthUneditedTest& t) { t.ResetSheetColumn(); },
     "QS_SoundSpec QS_SoundSpec(0)", "engine.wav", "\t\t\t\t\tmyVolume 0.4\r\n"},
};
} // namespace

TEST_P(KorrinthUneditedTest, LookingChangesNothingSoNothingIsAskedAndTheFileStays)
{
    ASSERT_NO_FATAL_FAILURE(StartAndShow());
    GetParam().myLook(*this);
    EXPECT_FALSE(UI_FrameIsModified(myFrame));
    ExpectOnlyTheFrameShown();

    // Open, with the same file picked: no question before or after the dialog.
    myPrompts.AnswerFile((myVelk / GetParam().myFile).string());
    Shortcut('o');
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(FileDialogs(), 1);
    EXPECT_EQ(AppFacade::Get()->GetEditor(), nullptr) << "the file was not opened again";

    // New asks nothing; the file opened once more, looked at, then Exit.
    Shortcut('n');
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    ASSERT_TRUE(UI_FrameOpenDocument(myFrame, GetParam().myFile));
    ASSERT_NO_FATAL_FAILURE(ShowEditor());
    GetParam().myLook(*this);
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_APP_EXIT));
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(myPrompts.myNumUnscripted, 0);
    Korrinth_Stop(myProgram);
    myProgram = nullptr;
    EXPECT_TRUE(Saved() == myOriginal) << "the file was rewritten";
}

TEST_P(KorrinthUneditedTest, ARealEditIsAskedAboutOnceAndSaved)
{
    ASSERT_NO_FATAL_FAILURE(StartAndShow());
    GetParam().myEdit(*this);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));

    // Open answered No: one question, then the dialog, and the file opens unsaved.
    myPrompts.AnswerBox(OS_ID_NO);
    myPrompts.AnswerFile((myVelk / GetParam().myFile).string());
    Shortcut('o');
    const std::string locQuestion = "Korrinth|Save changes to " + (myVelk / GetParam().myFile).string() + "?";
    EXPECT_EQ(Boxes(), std::vector<std::string>{locQuestion});
    EXPECT_EQ(FileDialogs(), 1);
    EXPECT_FALSE(UI_FrameIsModified(myFrame));
    EXPECT_TRUE(Saved() == myOriginal);

    // The same edit again, Exit answered Yes: saved with it, and with what it did not touch as written.
    myPrompts.Clear();
    ASSERT_NO_FATAL_FAILURE(ShowEditor());
    GetParam().myEdit(*this);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));
    myPrompts.AnswerBox(OS_ID_YES);
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_APP_EXIT));
    EXPECT_EQ(Boxes(), std::vector<std::string>{locQuestion});
    Korrinth_Stop(myProgram);
    myProgram = nullptr;
    const std::string locSaved = Saved();
    EXPECT_NE(locSaved.find(GetParam().mySavedText), std::string::npos) << locSaved;
    EXPECT_EQ(locSaved.find(GetParam().myGoneText), std::string::npos) << locSaved;
    EXPECT_NE(locSaved.find(GetParam().myKeptText), std::string::npos) << locSaved;
}

INSTANTIATE_TEST_SUITE_P(SampleTree, KorrinthUneditedTest, ::testing::ValuesIn(ourCases),
                         [](const ::testing::TestParamInfo<EditorCase>& anInfo) { return anInfo.param.myName; });
