// The program with its own editor factory over a sound file of the data
// folder: selecting a "QS_Sound" opens the fall-off editor in the right pane,
// the tree and the pane drive it, and it plays on OpenAL's null device.
#include "korrinth/korrinth.h"
#include "korrinth/tests/korrinth_test_util.h"
#include "owncode/appfacade.h"
#include "owncode/velktree.h"
#include "platform/sound/tests/snd_test_files.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "qsound2/qs2_engine.h"
#include "velk/velk_namespace.h"
#include "velkeditor/qs_soundeditor.h"
#include "velkeditor/tests/velk_pane_test.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace korrinth_test;

namespace
{
const char* const SOUND_FRUIT =
    "CLASS QS_DistanceVolume\r\n{\r\nDECIMAL myDistance\r\nDECIMAL myVolume\r\n}\r\n"
    "SCRIPTCLASS QS_Envelope\r\n{\r\nQS_DistanceVolume\r\n}\r\n"
    "CLASS QS_SoundSpec\r\n{\r\nFILE myFileName\r\nNUMBER myBaseFrequency 0\r\nQS_Envelope myEnvelope\r\n}\r\n"
    "SCRIPTCLASS QS_SoundSpecs\r\n{\r\nQS_SoundSpec\r\n}\r\n"
    "CLASS QS_Sound\r\n{\r\nNUMBER myNumChannels 1\r\nQS_SoundSpecs mySpecs\r\n}\r\n";

// The file name as the studio's data writes it, with a backslash.
const char* const SOUNDS_VELK =
    "INCLUDE sound.fruit\r\n"
    "QS_Sound boom\r\n{\r\n\tmyNumChannels 2\r\n\tmySpecs\r\n\t{\r\n"
    "\t\tQS_SoundSpec QS_SoundSpec(0)\r\n\t\t{\r\n\t\t\tmyFileName sounds\\boom.wav\r\n\t\t\tmyEnvelope\r\n\t\t\t{\r\n"
    "\t\t\t\tQS_DistanceVolume QS_DistanceVolume(0)\r\n\t\t\t\t{\r\n\t\t\t\t\tmyDistance 0\r\n"
    "\t\t\t\t\tmyVolume 1\r\n\t\t\t\t}\r\n"
    "\t\t\t\tQS_DistanceVolume QS_DistanceVolume(1)\r\n\t\t\t\t{\r\n\t\t\t\t\tmyDistance 100\r\n"
    "\t\t\t\t\tmyVolume 0.5\r\n\t\t\t\t}\r\n"
    "\t\t\t\tQS_DistanceVolume QS_DistanceVolume(2)\r\n\t\t\t\t{\r\n\t\t\t\t\tmyDistance 300\r\n"
    "\t\t\t\t\tmyVolume 0\r\n\t\t\t\t}\r\n"
    "\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n"
    "NUMBER count 7\r\n";

class KorrinthSoundTest : public DataFolderTest
{
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        WriteFile(myDir / "sound.fruit", SOUND_FRUIT);
        WriteFile(myDir / "sounds.velk", SOUNDS_VELK);
        fs::create_directories(myDir / "sounds");
        std::vector<uint8_t> locTone = snd_test::MakeTone(snd_test::WAV16, 44100, 1, 44100 / 10);
        ASSERT_FALSE(locTone.empty());
        WriteFile(myDir / "sounds" / "boom.wav", std::string(locTone.begin(), locTone.end()));
    }
    void TearDown() override
    {
        if (myProgram)
            Korrinth_Stop(myProgram);
        DataFolderTest::TearDown();
    }

    UI_Dialog* Pane()
    {
        return static_cast<MFCVelkTreeControl*>(AppFacade::Get()->GetTree()->GetControl())->GetDialog();
    }
    // The tree item reached by the texts of its path from the root.
    UI_TreeItem Item(std::initializer_list<const char*> aPath)
    {
        UI_TreeItem locParent = UI_TREE_ROOT;
        for (const char* locName : aPath)
        {
            UI_TreeItem locFound = 0;
            for (UI_TreeItem locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locParent, UI_TREE_CHILD);
                 locItem && !locFound; locItem = UI_TreeGetRelated(Pane(), IDC_LEFT_TREE, locItem, UI_TREE_NEXT))
            {
                std::string locText;
                UI_TreeGetText(Pane(), IDC_LEFT_TREE, locItem, &locText);
                if (locText == locName)
                    locFound = locItem;
            }
            if (!locFound)
                return 0;
            locParent = locFound;
        }
        return locParent;
    }
    QS_SoundEditor* Editor() { return dynamic_cast<QS_SoundEditor*>(AppFacade::Get()->GetEditor()); }
    QWidget* View() { return UI_GetFrameView(myFrame); }
    void Mouse(QEvent::Type aType, int anX, int aY, Qt::MouseButton aButton, Qt::MouseButtons aButtons)
    {
        VelkPaneMouse(View(), aType, anX, aY, aButton, aButtons);
    }
    void Click(Qt::MouseButton aButton, int anX, int aY)
    {
        Mouse(QEvent::MouseButtonPress, anX, aY, aButton, aButton);
        Mouse(QEvent::MouseButtonRelease, anX, aY, aButton, Qt::NoButton);
    }
    std::string LogLine(int aFromEnd)
    {
        const std::vector<QC_String>& locLog = Editor()->GetLog();
        return int(locLog.size()) >= aFromEnd ? locLog[locLog.size() - size_t(aFromEnd)].GetBuffer() : "";
    }

    KorrinthProgram* myProgram = nullptr;
    UI_Frame* myFrame = nullptr;
};
} // namespace

TEST_F(KorrinthSoundTest, SelectingASoundOpensTheFallOffEditorWhichPlays)
{
    myProgram = Korrinth_Start("sounds.velk");
    ASSERT_NE(myProgram, nullptr);
    myFrame = Korrinth_GetFrame(myProgram);
    EXPECT_EQ(QS2_Engine::GetGlobal(), nullptr);

    // The sound's tree item: the editor opens, loads the sound and draws its curve.
    ASSERT_TRUE(UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"boom"})));
    QS_SoundEditor* locEditor = Editor();
    ASSERT_NE(locEditor, nullptr);
    ASSERT_NE(QS2_Engine::GetGlobal(), nullptr);
    EXPECT_EQ(LogLine(2), "Loaded sound!");
    ASSERT_NE(locEditor->GetTemplate(), nullptr);
    EXPECT_EQ(locEditor->GetTemplate()->myMaxNumActiveChannels, 2);
    QImage locShown = View()->grab().toImage();
    EXPECT_EQ(locShown.pixel(264, 300) & 0xFFFFFF, QS_SoundEditor::GetCurveColour(0));   // (200, 0.25)

    // A control point picked in the tree is the editor's; the pane's left button moves it.
    VelkType* locMiddle =
        AppFacade::Get()->GetNameSpace().GetInstance("boom.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(1)", false);
    ASSERT_NE(locMiddle, nullptr);
    ASSERT_TRUE(UI_TreeSelect(Pane(), IDC_LEFT_TREE,
                              Item({"boom", "mySpecs", "QS_SoundSpec(0)", "myEnvelope", "QS_DistanceVolume(1)"})));
    ASSERT_EQ(Editor(), locEditor);
    EXPECT_EQ(locEditor->GetSelectedInstance(), locMiddle);
    UI_FrameSetModified(myFrame, false);
    Click(Qt::LeftButton, 64 + 140, 150 + 60);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myDistance"), 140.0f);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myVolume"), 0.7f);
    EXPECT_TRUE(UI_FrameIsModified(myFrame));

    // Right-clicks: the first drops the selection, the second picks (0, 1) and the tree follows.
    Click(Qt::RightButton, 66, 152);
    EXPECT_EQ(locEditor->GetSelectedInstance(), nullptr);
    Click(Qt::RightButton, 66, 152);
    EXPECT_EQ(UI_TreeGetSelection(Pane(), IDC_LEFT_TREE),
              Item({"boom", "mySpecs", "QS_SoundSpec(0)", "myEnvelope", "QS_DistanceVolume(0)"}));
    EXPECT_EQ(Editor(), locEditor);
    EXPECT_EQ(locEditor->GetSelectedInstance(),
              AppFacade::Get()->GetNameSpace().GetInstance("boom.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(0)",
                                                           false));

    // Enter reloads with the moved point; Space plays at the pointer's distance.
    QKeyEvent locEnter(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(View(), &locEnter);
    EXPECT_EQ(LogLine(2), "Loaded sound!");
    EXPECT_FLOAT_EQ(locEditor->GetTemplate()->GetFalloffVolume(0, 140.0f), 0.7f);
    Mouse(QEvent::MouseMove, 64 + 50, 200, Qt::NoButton, Qt::NoButton);
    QKeyEvent locSpace(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(View(), &locSpace);
    EXPECT_EQ(LogLine(3), "Playing at distance 50.0...");
    EXPECT_EQ(LogLine(2), "Played!");
    // The program's idle turns run the engine until the sound ends.
    auto locStart = std::chrono::steady_clock::now();
    while (locEditor->GetSound()->IsPlaying() && std::chrono::steady_clock::now() - locStart < std::chrono::seconds(5))
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        UI_FrameIdle(myFrame);
    }
    EXPECT_FALSE(locEditor->GetSound()->IsPlaying());
    EXPECT_EQ(QS2_Engine::GetGlobal()->myNumOpenHandles, 0);

    // Saved with the moved point; closing the program releases the engine.
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_SAVE));
    EXPECT_NE(ReadFile(myDir / "sounds.velk").find("myDistance 140.000000"), std::string::npos);
    Korrinth_Stop(myProgram);
    myProgram = nullptr;
    EXPECT_EQ(QS2_Engine::GetGlobal(), nullptr);
    EXPECT_EQ(QS2_SoundTemplate::GetFirst(), nullptr);
    EXPECT_EQ(QS2_SoundData::GetFirst(), nullptr);
}

// Under X (the xvfb run): the server's pointer and keys reach the editor in the program.
TEST_F(KorrinthSoundTest, UnderXTheServersPointerAndKeysPlayInTheProgram)
{
    if (QGuiApplication::platformName() != "xcb" || system("xdotool version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs X and xdotool (the xvfb run)";
    myProgram = Korrinth_Start("sounds.velk");
    ASSERT_NE(myProgram, nullptr);
    myFrame = Korrinth_GetFrame(myProgram);
    ASSERT_TRUE(UI_TreeSelect(Pane(), IDC_LEFT_TREE, Item({"boom"})));
    QS_SoundEditor* locEditor = Editor();
    ASSERT_NE(locEditor, nullptr);
    ASSERT_TRUE(XActivateFrame(myFrame));
    UI_FrameFocusView(myFrame);

    QPoint locAt = View()->mapToGlobal(QPoint(64 + 60, 200));
    ASSERT_TRUE(Xdotool("mousemove " + std::to_string(locAt.x()) + " " + std::to_string(locAt.y()) + " key space"));
    EXPECT_EQ(LogLine(3), "Playing at distance 60.0...");
    EXPECT_EQ(LogLine(2), "Played!");
    // The program's own idle turns run the engine: the sound ends.
    auto locStart = std::chrono::steady_clock::now();
    while (locEditor->GetSound()->IsPlaying() && std::chrono::steady_clock::now() - locStart < std::chrono::seconds(5))
    {
        UI_DispatchMessages(false);
        UI_FrameIdle(myFrame);
    }
    EXPECT_FALSE(locEditor->GetSound()->IsPlaying());
    ASSERT_TRUE(Xdotool("key Return"));
    EXPECT_EQ(LogLine(2), "Loaded sound!");
}
