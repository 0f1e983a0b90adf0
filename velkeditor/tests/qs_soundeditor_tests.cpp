// The sound fall-off editor in the real frame's view pane (offscreen, or
// under X), made by the editor factory, over sounds compiled from .velk text
// and WAV files written with libsndfile; played on OpenAL's null device in
// real time, or on the loopback device where the mix is measured.
#include "velkeditor/qs_soundeditor.h"

#include "platform/sound/snd_sound.h"
#include "platform/sound/tests/snd_test_files.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"
#include "platform/ui/tests/ui_xdotool.h"
#include "qcommon/qc_debug.h"
#include "qsound2/qs2_engine.h"
#include "tez/tez_hash.h"
#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_editorfactory.h"
#include "velkeditor/tests/velk_pane_test.h"
#include "velkeditor/velk_editorview.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <thread>
#include <vector>

namespace
{
std::vector<std::string> ourDebugLines;

class CaptureListener : public QC_DebugListener
{
public:
    void Print(const char* aText) override { ourDebugLines.push_back(aText); }
    void Close() override {}
};

class SoundEditorEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "velkeditor_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
        if (!QC_Debug::IsInited())
        {
            ASSERT_TRUE(QC_Debug::Init("", false, false, false, ""));
            ASSERT_TRUE(QC_Debug::AddListener(new CaptureListener));
        }
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new SoundEditorEnvironment);

const char* const SOUND_FRUIT =
    "CLASS QS_DistanceVolume\r\n{\r\nDECIMAL myDistance\r\nDECIMAL myVolume\r\n}\r\n"
    "SCRIPTCLASS QS_Envelope\r\n{\r\nQS_DistanceVolume\r\n}\r\n"
    "CLASS QS_SoundSpec\r\n{\r\nTEXT myFileName\r\nNUMBER myBaseFrequency 0\r\nQS_Envelope myEnvelope\r\n}\r\n"
    "SCRIPTCLASS QS_SoundSpecs\r\n{\r\nQS_SoundSpec\r\n}\r\n"
    "CLASS QS_Sound\r\n{\r\nNUMBER myNumChannels 1\r\nQS_SoundSpecs mySpecs\r\n}\r\n";

struct Spec
{
    std::string myFile;
    std::vector<std::pair<float, float>> myPoints;
    int myBaseFrequency = 0;
};

// The .velk text of one sound.
std::string SoundText(const char* aName, int aNumChannels, const std::vector<Spec>& aSpecs)
{
    std::string locText = std::string("QS_Sound ") + aName + "\r\n{\r\n\tmyNumChannels " +
                          std::to_string(aNumChannels) + "\r\n\tmySpecs\r\n\t{\r\n";
    for (size_t i = 0; i < aSpecs.size(); i++)
    {
        locText += "\t\tQS_SoundSpec QS_SoundSpec(" + std::to_string(i) + ")\r\n\t\t{\r\n";
        locText += "\t\t\tmyFileName \"" + aSpecs[i].myFile + "\"\r\n";
        locText += "\t\t\tmyBaseFrequency " + std::to_string(aSpecs[i].myBaseFrequency) + "\r\n";
        locText += "\t\t\tmyEnvelope\r\n\t\t\t{\r\n";
        for (size_t j = 0; j < aSpecs[i].myPoints.size(); j++)
        {
            char locPoint[160];
            snprintf(locPoint, sizeof(locPoint),
                     "\t\t\t\tQS_DistanceVolume QS_DistanceVolume(%d)\r\n\t\t\t\t{\r\n\t\t\t\t\tmyDistance %g\r\n"
                     "\t\t\t\t\tmyVolume %g\r\n\t\t\t\t}\r\n",
                     int(j), double(aSpecs[i].myPoints[j].first), double(aSpecs[i].myPoints[j].second));
            locText += locPoint;
        }
        locText += "\t\t\t}\r\n\t\t}\r\n";
    }
    return locText + "\t}\r\n}\r\n";
}

const UI_MenuEntry ourMenu[] = {
    {UI_MENU_POPUP, 0, "&File"},
    {UI_MENU_ITEM, UI_ID_APP_EXIT, "E&xit"},
    {UI_MENU_END, 0, nullptr},
};

class SoundEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Per process: the same tests also run under Xvfb, maybe at the same time.
        myDir = std::filesystem::path(Q_TEST_TMP_DIR) / ("soundeditor." + std::to_string(getpid()));
        std::filesystem::create_directories(myDir);
        std::ofstream(myDir / "sound.fruit", std::ios::binary) << SOUND_FRUIT;
        ASSERT_TRUE(myTypes.Compile((myDir / "sound.fruit").string().c_str()));

        UI_FrameTemplate locTemplate = {"SoundEditorTest", ourMenu, int(std::size(ourMenu)), nullptr, 0, nullptr,
                                        0, nullptr, 0, nullptr, 0, 80};
        myFrame = UI_CreateFrame(locTemplate);
        ASSERT_NE(myFrame, nullptr);
        UI_FrameAddHandler(myFrame, &myFacade);
        UI_FrameShow(myFrame);
        for (int i = 0; i < 20; i++)
            UI_DispatchMessages(false);
        myView = std::make_unique<VelkEditorView>(myFrame);
        ourDebugLines.clear();
    }
    void TearDown() override
    {
        myFacade.myEditor = nullptr;
        myEditors.clear();
        EXPECT_EQ(QS_SoundEditor::GetEditorCount(), 0);
        EXPECT_EQ(QS2_Engine::GetGlobal(), nullptr);
        EXPECT_EQ(QS2_SoundTemplate::GetFirst(), nullptr);
        EXPECT_EQ(QS2_SoundData::GetFirst(), nullptr);
        QS2_LayerEngine::ourLoopbackFlag = false;
        myView.reset();
        if (myFrame)
            UI_DestroyFrame(myFrame);
    }

    // A WAV tone of aSeconds written with libsndfile; its path.
    std::string Tone(const char* aName, double aSeconds, double anAmplitude = 0.5)
    {
        std::vector<uint8_t> locBytes =
            snd_test::MakeTone(snd_test::WAV16, 44100, 1, int(44100 * aSeconds), 440.0, anAmplitude);
        EXPECT_FALSE(locBytes.empty());
        std::filesystem::path locPath = myDir / aName;
        std::ofstream(locPath, std::ios::binary).write((const char*)locBytes.data(), std::streamsize(locBytes.size()));
        return locPath.string();
    }

    VelkType* Compile(const std::string& aBody)
    {
        std::string aText = "INCLUDE " + (myDir / "sound.fruit").string() + "\r\n" + aBody;
        VelkLogCollector locLog;
        EXPECT_TRUE(VelkCompiler::CompileText(mySpace, "sounds.velk", aText.c_str(), aText.size(), &myTypes, nullptr))
            << locLog.AllErrors();
        QC_List<VelkType*> locRoots;
        mySpace.GetInstances(locRoots, true);
        return locRoots.IsEmpty() ? nullptr : locRoots.GetLast();
    }

    // An editor made by the editor factory over the frame's view pane.
    QS_SoundEditor* Open(VelkType* anInstance)
    {
        std::unique_ptr<VelkEditorFactory> locFactory(VelkEditorFactory().Create());
        VelkEditor* locEditor = locFactory->CreateEditor(anInstance, nullptr, myView.get(), nullptr);
        QS_SoundEditor* locSound = dynamic_cast<QS_SoundEditor*>(locEditor);
        EXPECT_NE(locSound, nullptr);
        if (!locSound)
        {
            delete locEditor;
            return nullptr;
        }
        myEditors.emplace_back(locSound);
        myFacade.myEditor = locSound;
        locSound->Draw(true);
        return locSound;
    }
    void Close(QS_SoundEditor* anEditor)
    {
        if (myFacade.myEditor == anEditor)
            myFacade.myEditor = nullptr;
        for (size_t i = 0; i < myEditors.size(); i++)
            if (myEditors[i].get() == anEditor)
                myEditors.erase(myEditors.begin() + long(i));
    }

    QWidget* View() { return UI_GetFrameView(myFrame); }
    void Mouse(QEvent::Type aType, int anX, int aY, Qt::MouseButton aButton = Qt::NoButton,
               Qt::MouseButtons aButtons = Qt::NoButton)
    {
        VelkPaneMouse(View(), aType, anX, aY, aButton, aButtons);
    }
    void Click(Qt::MouseButton aButton, int anX, int aY)
    {
        Mouse(QEvent::MouseButtonPress, anX, aY, aButton, aButton);
        Mouse(QEvent::MouseButtonRelease, anX, aY, aButton, Qt::NoButton);
    }
    void KeyUp(int aQtKey)
    {
        QKeyEvent locEvent(QEvent::KeyRelease, aQtKey, Qt::NoModifier);
        QApplication::sendEvent(View(), &locEvent);
    }
    QImage Shown() { return View()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    static uint32_t Rgb(QRgb aPixel) { return aPixel & 0xFFFFFF; }

    // Idle turns every 10 ms until the sound stops; false after aSeconds.
    bool IdleUntilStopped(QS_SoundEditor* anEditor, double aSeconds)
    {
        auto locStart = std::chrono::steady_clock::now();
        while (anEditor->GetSound()->IsPlaying())
        {
            if (std::chrono::steady_clock::now() - locStart > std::chrono::duration<double>(aSeconds))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            UI_FrameIdle(myFrame);
        }
        return true;
    }

    std::vector<std::string> Log(QS_SoundEditor* anEditor)
    {
        std::vector<std::string> locLines;
        for (const QC_String& locLine : anEditor->GetLog())
            locLines.push_back(locLine.GetBuffer());
        return locLines;
    }

    std::filesystem::path myDir;
    VelkTypeManager myTypes;
    VelkNameSpace mySpace;
    UI_Frame* myFrame = nullptr;
    std::unique_ptr<VelkEditorView> myView;
    VelkPaneFacade myFacade;
    std::vector<std::unique_ptr<QS_SoundEditor>> myEditors;
};
} // namespace

TEST_F(SoundEditorTest, GraphMappingColoursAndGroup)
{
    int locX, locY;
    QS_SoundEditor::GraphToPixel(0.0f, 0.0f, &locX, &locY);
    EXPECT_EQ(locX, 64);
    EXPECT_EQ(locY, 350);
    QS_SoundEditor::GraphToPixel(100.0f, 1.0f, &locX, &locY);
    EXPECT_EQ(locX, 164);
    EXPECT_EQ(locY, 150);
    float locDistance, locVolume;
    QS_SoundEditor::PixelToGraph(264, 250, &locDistance, &locVolume);
    EXPECT_FLOAT_EQ(locDistance, 200.0f);
    EXPECT_FLOAT_EQ(locVolume, 0.5f);
    // Whatever the data holds, the pixel stays within reach.
    QS_SoundEditor::GraphToPixel(INFINITY, NAN, &locX, &locY);
    EXPECT_EQ(locX, 1000000);
    EXPECT_EQ(locY, -1000000);
    QS_SoundEditor::GraphToPixel(-1e30f, -1e30f, &locX, &locY);
    EXPECT_EQ(locX, -1000000);
    EXPECT_EQ(locY, 1000000);
    EXPECT_EQ(QS_SoundEditor::GetCurveColour(0), 0xFF7F7Fu);
    EXPECT_EQ(QS_SoundEditor::GetCurveColour(7), 0x000000u);
    // A ninth curve repeats the table.
    EXPECT_EQ(QS_SoundEditor::GetCurveColour(8), QS_SoundEditor::GetCurveColour(0));
    EXPECT_EQ(QS_SoundEditor::GetCurveColour(10), 0x7F7FFFu);
    EXPECT_EQ(QS_SoundEditor::ourGroupId, TezHash("QS_SoundEditor"));
}

TEST_F(SoundEditorTest, FactoryOpensTheEditorWhichLoadsTheSound)
{
    std::string locTone = Tone("tone.wav", 0.2);
    VelkType* locSound = Compile(SoundText("boom", 2, {{locTone, {{0, 1}, {100, 0.5f}, {300, 0}}}}));
    ASSERT_NE(locSound, nullptr);

    // Without a window there is no plot, so no editor and no engine.
    std::unique_ptr<VelkEditorFactory> locFactory(VelkEditorFactory().Create());
    EXPECT_EQ(locFactory->CreateEditor(locSound, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(QS2_Engine::GetGlobal(), nullptr);
    EXPECT_EQ(QS_SoundEditor::GetEditorCount(), 0);

    QS_SoundEditor* locEditor = Open(locSound);
    ASSERT_NE(locEditor, nullptr);
    ASSERT_NE(QS2_Engine::GetGlobal(), nullptr);
    EXPECT_EQ(Log(locEditor), (std::vector<std::string>{"Destroying old sound...", "Setting up sound specifications...",
                                                        locTone, "(0.0, 1.00) (100.0, 0.50) (300.0, 0.00) ",
                                                        "Loaded sound!", "--------"}));
    QS2_SoundTemplate* locTemplate = locEditor->GetTemplate();
    ASSERT_NE(locTemplate, nullptr);
    EXPECT_TRUE(locTemplate->my3DFlag);
    EXPECT_EQ(locTemplate->myMaxNumActiveChannels, 2);
    EXPECT_EQ(QS2_Engine::GetGlobal()->myGroups[locTemplate->myGroupIndex].myId, TezHash("QS_SoundEditor"));
    EXPECT_FLOAT_EQ(locTemplate->myRange, 300.0f);
    EXPECT_FLOAT_EQ(locTemplate->GetFalloffVolume(0, 50.0f), 0.75f);

    // The next selection makes its editor before the old one goes: the engine stays.
    QS2_Engine* locEngine = QS2_Engine::GetGlobal();
    QS_SoundEditor* locSecond = Open(locSound);
    ASSERT_NE(locSecond, nullptr);
    EXPECT_EQ(QS_SoundEditor::GetEditorCount(), 2);
    Close(locEditor);
    EXPECT_EQ(QS2_Engine::GetGlobal(), locEngine);
    Close(locSecond);
    EXPECT_EQ(QS_SoundEditor::GetEditorCount(), 0);
    EXPECT_EQ(QS2_Engine::GetGlobal(), nullptr);
}

TEST_F(SoundEditorTest, BadSoundsAreLoggedAndNothingLoads)
{
    std::string locTone = Tone("tone.wav", 0.1);
    struct Case
    {
        std::string myText;
        std::vector<std::string> myTail;
    };
    const Case locCases[] = {
        {SoundText("none", 0, {{locTone, {{0, 1}, {10, 0}}}}), {"Sound has no channels!"}},
        {SoundText("empty", 1, {}), {"Sound has no specifications!"}},
        // Distances that fall (100 then 50) fail validation; so does a single point.
        {SoundText("falling", 1, {{locTone, {{0, 1}, {100, 0.5f}, {50, 0}}}}),
         {"Setting up sound specifications...", locTone, "(0.0, 1.00) (100.0, 0.50) (50.0, 0.00) ",
          "Failed to validate specification for '" + locTone + "'!"}},
        {SoundText("single", 1, {{locTone, {{0, 1}, {10, 0}}}, {locTone, {{5, 1}}}}),
         {"Setting up sound specifications...", locTone, "(0.0, 1.00) (10.0, 0.00) ", locTone, "(5.0, 1.00) ",
          "Failed to validate specification for '" + locTone + "'!"}},
        // Equal distances are no fall.
        {SoundText("missing", 1, {{(myDir / "missing.wav").string(), {{0, 1}, {0, 0.5f}, {10, 0}}}}),
         {"Setting up sound specifications...", (myDir / "missing.wav").string(),
          "(0.0, 1.00) (0.0, 0.50) (10.0, 0.00) ", "Failed to load sound!", "--------"}},
    };
    for (const Case& locCase : locCases)
    {
        QS_SoundEditor* locEditor = Open(Compile(locCase.myText));
        ASSERT_NE(locEditor, nullptr);
        std::vector<std::string> locExpected = {"Destroying old sound..."};
        locExpected.insert(locExpected.end(), locCase.myTail.begin(), locCase.myTail.end());
        EXPECT_EQ(Log(locEditor), locExpected) << locCase.myText;
        EXPECT_EQ(locEditor->GetSound(), nullptr);

        // Space without a sound.
        locEditor->OnKeyUp(32);
        EXPECT_EQ(Log(locEditor).back(), "--------");
        EXPECT_EQ(Log(locEditor)[Log(locEditor).size() - 2], "Sound not loaded!");
        Close(locEditor);
    }
}

TEST_F(SoundEditorTest, OddNumbersInTheDataDrawAndPlay)
{
    // "inf" and huge values are numbers the data may hold; "nan" fails validation.
    std::string locTone = Tone("tone.wav", 0.1);
    std::string locText = SoundText("odd", 1, {{locTone, {{0, 1}, {1e30f, 0.5f}, {INFINITY, -1e30f}}}});
    QS_SoundEditor* locEditor = Open(Compile(locText));
    ASSERT_NE(locEditor, nullptr);
    EXPECT_EQ(Log(locEditor)[Log(locEditor).size() - 2], "Loaded sound!");
    locEditor->SelectInstance(mySpace.GetInstance("odd.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(2)", false));
    locEditor->Draw(true);
    locEditor->PlaySound();
    EXPECT_EQ(Log(locEditor)[Log(locEditor).size() - 2], "Played!");
    EXPECT_TRUE(IdleUntilStopped(locEditor, 5.0));
    Close(locEditor);

    locEditor = Open(Compile(SoundText("nan", 1, {{locTone, {{NAN, 1}, {10, 0.5f}}}})));
    ASSERT_NE(locEditor, nullptr);
    EXPECT_EQ(Log(locEditor).back(), "Failed to validate specification for '" + locTone + "'!");
    locEditor->Draw(true);
}

TEST_F(SoundEditorTest, RightClicksSelectThenDropAndTheLeftButtonMovesThePoint)
{
    std::string locTone = Tone("tone.wav", 0.1);
    VelkType* locSound = Compile(SoundText(
        "boom", 1, {{locTone, {{0, 1}, {100, 0.5f}, {300, 0}}}, {locTone, {{0, 0.8f}, {150, 0.6f}}}}));
    QS_SoundEditor* locEditor = Open(locSound);
    ASSERT_NE(locEditor, nullptr);
    VelkType* locSecondSpecPoint = mySpace.GetInstance("boom.mySpecs.QS_SoundSpec(1).myEnvelope.QS_DistanceVolume(1)", false);
    VelkType* locMiddle = mySpace.GetInstance("boom.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(1)", false);
    ASSERT_NE(locSecondSpecPoint, nullptr);
    ASSERT_NE(locMiddle, nullptr);

    // Nearest over every envelope: (150, 0.6) of the second file.
    myFacade.myActions.clear();
    Click(Qt::RightButton, 64 + 148, 150 + 80);
    ASSERT_EQ(myFacade.myActions.size(), 1u);
    EXPECT_EQ(myFacade.myActions[0].myInstance, locSecondSpecPoint);
    EXPECT_EQ(myFacade.myActions[0].myAction, 0);
    EXPECT_EQ(locEditor->GetSelectedInstance(), locSecondSpecPoint);
    // The second right-click drops the selection: nothing for the tree to select.
    myFacade.myActions.clear();
    Click(Qt::RightButton, 64 + 148, 150 + 80);
    EXPECT_TRUE(myFacade.myActions.empty());
    EXPECT_EQ(locEditor->GetSelectedInstance(), nullptr);
    // Nothing within 10,000 graph units: nothing selected.
    EXPECT_EQ(locEditor->OnRightButton(64 + 20000, 150, false, false).myInstance, nullptr);
    EXPECT_EQ(locEditor->GetSelectedInstance(), nullptr);

    // The tree selects a point; the left button drags it, written to its members.
    locEditor->SelectInstance(locSound);   // not a control point: ignored
    EXPECT_EQ(locEditor->GetSelectedInstance(), nullptr);
    locEditor->SelectInstance(locMiddle);
    Mouse(QEvent::MouseButtonPress, 64 + 120, 150 + 100, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, 64 + 140, 150 + 60, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 64 + 140, 150 + 60, Qt::LeftButton, Qt::NoButton);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myDistance"), 140.0f);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myVolume"), 0.7f);
    EXPECT_STREQ(locMiddle->FindMember("myDistance")->GetValue().GetBuffer(), "140.000000");
    // Left of the axis and outside 0..1 are held at the edges.
    locEditor->OnLeftButton(10, 0, false);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myDistance"), 0.0f);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myVolume"), 1.0f);
    locEditor->OnLeftButton(64 + 30, 900, false);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myDistance"), 30.0f);
    EXPECT_FLOAT_EQ(locMiddle->GetMemberValueAsFloat("myVolume"), 0.0f);

    // A control point of another sound is selected but never moved by this editor.
    VelkType* locOther = Compile(SoundText("other", 1, {{locTone, {{5, 1}, {10, 0}}}}));
    VelkType* locForeign = mySpace.GetInstance("other.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(0)", false);
    ASSERT_NE(locOther, nullptr);
    locEditor->SelectInstance(locForeign);
    EXPECT_EQ(locEditor->GetSelectedInstance(), locForeign);
    locEditor->OnLeftButton(64 + 80, 200, false);
    EXPECT_FLOAT_EQ(locForeign->GetMemberValueAsFloat("myDistance"), 5.0f);

    // Removing what holds the selection forgets it; the editor's own instance ends it.
    locEditor->SelectInstance(locMiddle);
    EXPECT_TRUE(locEditor->ReleaseInstance(locSecondSpecPoint));
    EXPECT_EQ(locEditor->GetSelectedInstance(), locMiddle);
    EXPECT_TRUE(locEditor->ReleaseInstance(mySpace.GetInstance("boom.mySpecs.QS_SoundSpec(0)", false)));
    EXPECT_EQ(locEditor->GetSelectedInstance(), nullptr);
    EXPECT_FALSE(locEditor->ReleaseInstance(locSound));

    // The other slots answer the empty result.
    EXPECT_EQ(locEditor->OnKeyDown(13).myInstance, nullptr);
    EXPECT_EQ(locEditor->OnChar('x').myInstance, nullptr);
    EXPECT_EQ(locEditor->OnLeftButtonUp(1, 1).myInstance, nullptr);
    EXPECT_EQ(locEditor->OnRightButtonUp(1, 1).myInstance, nullptr);
}

// Only a point that really moves is written and told as a change: a value
// the editor passes through keeps the text its author wrote.
TEST_F(SoundEditorTest, OnlyAMovedPointIsAChange)
{
    std::string locTone = Tone("tone.wav", 0.1);
    VelkType* locSound = Compile(SoundText("boom", 1, {{locTone, {{0, 1}, {100, 0.5f}, {300, 0}}}}));
    QS_SoundEditor* locEditor = Open(locSound);
    ASSERT_NE(locEditor, nullptr);
    VelkType* locMiddle = mySpace.GetInstance("boom.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(1)", false);
    ASSERT_NE(locMiddle, nullptr);

    // Picking, dropping, reloading and playing change nothing.
    Click(Qt::RightButton, 64 + 100, 150 + 100);
    Click(Qt::RightButton, 64 + 100, 150 + 100);
    locEditor->OnKeyUp(13);
    locEditor->OnKeyUp(32);
    EXPECT_FALSE(locEditor->TakeChanged());
    // The left button on the point's own place: (100, 0.5) stays as written.
    locEditor->SelectInstance(locMiddle);
    Click(Qt::LeftButton, 64 + 100, 150 + 100);
    EXPECT_STREQ(locMiddle->FindMember("myDistance")->GetValue().GetBuffer(), "100");
    EXPECT_STREQ(locMiddle->FindMember("myVolume")->GetValue().GetBuffer(), "0.5");
    EXPECT_FALSE(locEditor->TakeChanged());
    // One pixel right: the distance moves, told once; the volume keeps its text.
    Click(Qt::LeftButton, 64 + 101, 150 + 100);
    EXPECT_STREQ(locMiddle->FindMember("myDistance")->GetValue().GetBuffer(), "101.000000");
    EXPECT_STREQ(locMiddle->FindMember("myVolume")->GetValue().GetBuffer(), "0.5");
    EXPECT_TRUE(locEditor->TakeChanged());
    EXPECT_FALSE(locEditor->TakeChanged());
}

TEST_F(SoundEditorTest, SpaceAndEnterPlayAndReloadOnTheNullDevice)
{
    std::string locTone = Tone("tone.wav", 0.15);
    VelkType* locSound = Compile(SoundText("boom", 1, {{locTone, {{0, 1}, {100, 0.5f}, {300, 0}}}}));
    QS_SoundEditor* locEditor = Open(locSound);
    ASSERT_NE(locEditor, nullptr);
    ASSERT_NE(locEditor->GetSound(), nullptr);

    // The pointer over the graph at distance 30: Space plays there.
    Mouse(QEvent::MouseMove, 64 + 30, 200);
    KeyUp(Qt::Key_Space);
    std::vector<std::string> locLog = Log(locEditor);
    ASSERT_EQ(locLog.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(locLog.begin() + 6, locLog.end()),
              (std::vector<std::string>{"Playing at distance 30.0...", "Played!", "--------"}));
    EXPECT_TRUE(locEditor->GetSound()->IsPlaying());
    EXPECT_FLOAT_EQ(locEditor->GetSound()->myZ, 30.0f);
    // Idle turns run the engine: the sound ends and is reaped.
    EXPECT_TRUE(IdleUntilStopped(locEditor, 5.0));
    EXPECT_EQ(QS2_Engine::GetGlobal()->myNumOpenHandles, 0);
    EXPECT_EQ(locEditor->GetTemplate()->myCurrentNumActiveChannels, 0);

    // Left of the distance axis plays at 0. The log had 9 lines: kept.
    Mouse(QEvent::MouseMove, 20, 200);
    KeyUp(Qt::Key_Space);
    locLog = Log(locEditor);
    ASSERT_EQ(locLog.size(), 12u);
    EXPECT_EQ(locLog[9], "Playing at distance 0.0...");
    EXPECT_EQ(locLog[10], "Played!");
    // Now over ten lines: the next action starts a fresh log.
    KeyUp(Qt::Key_Return);
    locLog = Log(locEditor);
    ASSERT_EQ(locLog.size(), 6u);
    EXPECT_EQ(locLog.front(), "Destroying old sound...");
    EXPECT_EQ(locLog.back(), "--------");
    ASSERT_NE(locEditor->GetSound(), nullptr);
    EXPECT_FALSE(locEditor->GetSound()->IsPlaying());
    // Other keys do nothing.
    KeyUp(Qt::Key_A);
    EXPECT_EQ(Log(locEditor).size(), 6u);
}

TEST_F(SoundEditorTest, TheLogKeepsTenLinesAndLongEnvelopesAreCut)
{
    // A sound without channels logs two lines a load: kept up to ten, then emptied.
    QS_SoundEditor* locEditor = Open(Compile(SoundText("none", 0, {})));
    ASSERT_NE(locEditor, nullptr);
    std::vector<size_t> locSizes = {locEditor->GetLog().size()};
    for (int i = 0; i < 6; i++)
    {
        locEditor->OnKeyUp(13);
        locSizes.push_back(locEditor->GetLog().size());
    }
    EXPECT_EQ(locSizes, (std::vector<size_t>{2, 4, 6, 8, 10, 12, 2}));

    // The points of a long envelope make one log line, cut at 1,024 characters.
    std::string locTone = Tone("tone.wav", 0.1);
    std::vector<std::pair<float, float>> locPoints;
    for (int i = 0; i < 100; i++)
        locPoints.push_back({float(1000 + i), 0.5f});
    locEditor = Open(Compile(SoundText("long", 1, {{locTone, locPoints}})));
    ASSERT_NE(locEditor, nullptr);
    std::vector<std::string> locLog = Log(locEditor);
    ASSERT_EQ(locLog.size(), 6u);
    EXPECT_EQ(locLog[3].size(), 1024u);
    EXPECT_EQ(locLog[3].compare(0, 30, "(1000.0, 0.50) (1001.0, 0.50) "), 0);
    EXPECT_EQ(locLog[3].substr(locLog[3].size() - 4), "....");
    EXPECT_EQ(locLog[4], "Loaded sound!");
}

TEST_F(SoundEditorTest, PlayFailsAtTheChannelMaximum)
{
    // Two sounds with the same file and curve share one template of one channel.
    std::string locTone = Tone("tone.wav", 2.0);
    VelkType* locFirst = Compile(SoundText("first", 1, {{locTone, {{0, 1}, {100, 0}}}}));
    VelkType* locSecond = Compile(SoundText("second", 1, {{locTone, {{0, 1}, {100, 0}}}}));
    QS_SoundEditor* locA = Open(locFirst);
    QS_SoundEditor* locB = Open(locSecond);
    ASSERT_TRUE(locA && locB);
    ASSERT_EQ(locA->GetTemplate(), locB->GetTemplate());
    locA->PlaySound();
    EXPECT_EQ(Log(locA)[Log(locA).size() - 2], "Played!");
    locB->PlaySound();
    EXPECT_EQ(Log(locB)[Log(locB).size() - 2], "Failed to play!");
    EXPECT_FALSE(locB->GetSound()->IsPlaying());
    // Playing again restarts the editor's own sound.
    locA->PlaySound();
    EXPECT_EQ(Log(locA)[Log(locA).size() - 2], "Played!");
    EXPECT_EQ(locA->GetTemplate()->myCurrentNumActiveChannels, 1);
    // Closing the editor that plays releases its sound while it plays.
    Close(locA);
    EXPECT_EQ(locB->GetTemplate()->myCurrentNumActiveChannels, 0);
    locB->PlaySound();
    EXPECT_EQ(Log(locB)[Log(locB).size() - 2], "Played!");
}

TEST_F(SoundEditorTest, TheEditedCurveIsWhatIsHeard)
{
    QS2_LayerEngine::ourLoopbackFlag = true;
    std::string locTone = Tone("long.wav", 2.0, 0.25);
    VelkType* locSound = Compile(SoundText("boom", 1, {{locTone, {{0, 1}, {100, 0.5f}, {300, 0}}}}));
    QS_SoundEditor* locEditor = Open(locSound);
    ASSERT_NE(locEditor, nullptr);

    // The energy of 4096 frames after the first 1024, played at pixel x.
    auto locEnergyAt = [&](int anX) {
        Mouse(QEvent::MouseMove, anX, 200);
        locEditor->PlaySound();
        EXPECT_EQ(Log(locEditor)[Log(locEditor).size() - 2], "Played!");
        UI_FrameIdle(myFrame);
        std::vector<int16_t> locMix(2 * 5120);
        EXPECT_TRUE(SND_RenderLoopback(locMix.data(), 5120));
        double locEnergy = 0.0;
        for (size_t i = 2 * 1024; i < locMix.size(); i++)
            locEnergy += double(locMix[i]) * locMix[i];
        return locEnergy;
    };
    const double locNear = locEnergyAt(64);
    ASSERT_GT(locNear, 0.0);
    EXPECT_NEAR(locEnergyAt(64 + 100) / locNear, 0.25, 0.02);
    EXPECT_NEAR(locEnergyAt(64 + 200) / locNear, 0.0625, 0.01);
    EXPECT_LT(locEnergyAt(64 + 400) / locNear, 1e-6);   // beyond the range: silent

    // Drag the point at 100 down to 0.25, reload, and hear it.
    locEditor->SelectInstance(mySpace.GetInstance("boom.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(1)", false));
    locEditor->OnLeftButton(64 + 100, 150 + 150, false);
    locEditor->OnKeyUp(13);
    ASSERT_NE(locEditor->GetSound(), nullptr);
    EXPECT_NEAR(locEnergyAt(64 + 100) / locNear, 0.0625, 0.01);
}

// Pixels of aRect in anImage that are aColour (or, with aNotFlag, are not).
int CountIn(const QImage& anImage, const QRect& aRect, uint32_t aColour, bool aNotFlag = false)
{
    int locCount = 0;
    for (int y = aRect.top(); y <= aRect.bottom(); y++)
        for (int x = aRect.left(); x <= aRect.right(); x++)
            locCount += ((anImage.pixel(x, y) & 0xFFFFFF) == aColour) != aNotFlag;
    return locCount;
}

TEST_F(SoundEditorTest, PixelsOfCurvesTextsAndTheSelection)
{
    std::string locTone = Tone("tone.wav", 0.1);
    std::vector<Spec> locSpecs;
    locSpecs.push_back({locTone, {{0, 1}, {100, 1}, {300, 0}}});
    // Curves 1 to 7 upright at distances 40 to 100; the ninth at 20, in the first colour again.
    for (int i = 1; i < 8; i++)
        locSpecs.push_back({locTone, {{float(30 + 10 * i), 0.2f}, {float(30 + 10 * i), 0.05f}}});
    locSpecs.push_back({locTone, {{20, 0.2f}, {20, 0.05f}}, 22050});
    QS_SoundEditor* locEditor = Open(Compile(SoundText("boom", 1, locSpecs)));
    ASSERT_NE(locEditor, nullptr);
    ASSERT_NE(locEditor->GetSound(), nullptr);
    int locWidth = 0, locHeight = 0;
    UI_FrameGetViewSize(myFrame, &locWidth, &locHeight);
    ASSERT_GE(locWidth, 660);
    ASSERT_GE(locHeight, 600);
    const uint32_t locBackground = 0x404040u;

    QImage locShown = Shown();
    EXPECT_EQ(Rgb(locShown.pixel(10, 10)), locBackground);
    EXPECT_EQ(Rgb(locShown.pixel(64, 300)), 0xFFFFFFu);           // volume axis
    EXPECT_EQ(Rgb(locShown.pixel(200, 350)), 0xFFFFFFu);          // distance axis
    EXPECT_EQ(Rgb(locShown.pixel(650, 350)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(locShown.pixel(140, 150)), 0xFF7F7Fu);          // first curve, flat part
    EXPECT_EQ(Rgb(locShown.pixel(264, 250)), 0xFF7F7Fu);          // first curve, falling part
    const uint32_t locColours[9] = {0xFF7F7F, 0x7FFF7F, 0x7F7FFF, 0xFFFF7F, 0x7FFFFF,
                                    0xFF7FFF, 0xFFFFFF, 0x000000, 0xFF7F7F};
    for (int i = 1; i < 8; i++)
        EXPECT_EQ(Rgb(locShown.pixel(94 + 10 * i, 325)), locColours[i]) << i;
    EXPECT_EQ(Rgb(locShown.pixel(84, 325)), 0xFF7F7Fu);           // the ninth curve
    EXPECT_EQ(Rgb(locShown.pixel(160, 147)), locBackground);      // no selection yet

    // Each caption in its curve's colour, 20 pixels apart from y 390.
    for (int i = 0; i < 9; i++)
        EXPECT_GT(CountIn(locShown, QRect(64, 390 + 20 * i, 300, 9), locColours[i]), 20) << i;
    // Texts where the graph places them: help, name, axis labels, the first point's label, the log.
    EXPECT_GT(CountIn(locShown, QRect(64, 50, 300, 9), 0xFFFFFFu), 20);
    EXPECT_EQ(CountIn(locShown, QRect(64, 126, 300, 8), locBackground, true), 0);
    EXPECT_GT(CountIn(locShown, QRect(64, 135, 100, 9), 0xFFFFFFu), 10);
    EXPECT_GT(CountIn(locShown, QRect(64, 370, 40, 9), 0xFFFFFFu), 5);
    EXPECT_GT(CountIn(locShown, QRect(44, 200, 12, 50), 0xFFFFFFu), 10);
    EXPECT_EQ(CountIn(locShown, QRect(44, 150, 12, 48), locBackground, true), 0);
    EXPECT_GT(CountIn(locShown, QRect(66, 152, 40, 7), 0xFFFFFFu), 5);
    EXPECT_GT(CountIn(locShown, QRect(64, 565, 150, 9), 0xFFFFFFu), 10);

    // Select (100, 1): a white square of 8 pixels around it.
    Click(Qt::RightButton, 166, 152);
    EXPECT_EQ(locEditor->GetSelectedInstance(),
              mySpace.GetInstance("boom.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(1)", false));
    locShown = Shown();
    EXPECT_EQ(Rgb(locShown.pixel(160, 147)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(locShown.pixel(168, 147)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(locShown.pixel(162, 146)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(locShown.pixel(161, 154)), 0xFFFFFFu);
    EXPECT_EQ(Rgb(locShown.pixel(156, 147)), locBackground);
    // Drag it to (200, 0.5): the flat part now rises from y 150 to 250.
    Mouse(QEvent::MouseButtonPress, 264, 250, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 264, 250, Qt::LeftButton, Qt::NoButton);
    locShown = Shown();
    EXPECT_EQ(Rgb(locShown.pixel(140, 150)), locBackground);
    EXPECT_EQ(Rgb(locShown.pixel(164, 200)), 0xFF7F7Fu);
    EXPECT_EQ(Rgb(locShown.pixel(260, 246)), 0xFFFFFFu);          // the square moved along
}

// Under X (the xvfb run): the server's own pointer and keys reach the editor.
TEST_F(SoundEditorTest, UnderXTheServersPointerAndKeysPlay)
{
    if (QGuiApplication::platformName() != "xcb" || system("xdotool version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs X and xdotool (the xvfb run)";
    std::string locTone = Tone("tone.wav", 0.1);
    VelkType* locSound = Compile(SoundText("boom", 1, {{locTone, {{0, 1}, {100, 0.5f}, {300, 0}}}}));
    QS_SoundEditor* locEditor = Open(locSound);
    ASSERT_NE(locEditor, nullptr);
    ASSERT_TRUE(XActivateFrame(myFrame));
    UI_FrameFocusView(myFrame);

    // The pointer over distance 50; Space is released there.
    QPoint locAt = View()->mapToGlobal(QPoint(64 + 50, 200));
    ASSERT_TRUE(UI_TestXdotool("mousemove " + std::to_string(locAt.x()) + " " + std::to_string(locAt.y())));
    int locX = 0, locY = 0;
    UI_FrameGetViewCursor(myFrame, &locX, &locY);
    EXPECT_EQ(locX, 64 + 50);
    ASSERT_TRUE(UI_TestXdotool("key space"));
    std::vector<std::string> locLog = Log(locEditor);
    ASSERT_GE(locLog.size(), 3u);
    EXPECT_EQ(locLog[locLog.size() - 3], "Playing at distance 50.0...");
    EXPECT_EQ(locLog[locLog.size() - 2], "Played!");
    EXPECT_TRUE(IdleUntilStopped(locEditor, 5.0));

    // A right click of the server's button selects the nearest point; a left drag moves it.
    locAt = View()->mapToGlobal(QPoint(164 + 3, 250 - 2));
    ASSERT_TRUE(UI_TestXdotool("mousemove " + std::to_string(locAt.x()) + " " + std::to_string(locAt.y()) + " click 3"));
    VelkType* locPoint = mySpace.GetInstance("boom.mySpecs.QS_SoundSpec(0).myEnvelope.QS_DistanceVolume(1)", false);
    EXPECT_EQ(locEditor->GetSelectedInstance(), locPoint);
    locAt = View()->mapToGlobal(QPoint(64 + 120, 150 + 60));
    ASSERT_TRUE(UI_TestXdotool("mousemove " + std::to_string(locAt.x()) + " " + std::to_string(locAt.y()) + " click 1"));
    EXPECT_FLOAT_EQ(locPoint->GetMemberValueAsFloat("myDistance"), 120.0f);
    EXPECT_FLOAT_EQ(locPoint->GetMemberValueAsFloat("myVolume"), 0.7f);
    ASSERT_TRUE(UI_TestXdotool("key Return"));
    EXPECT_EQ(Log(locEditor).back(), "--------");
    EXPECT_EQ(Log(locEditor)[Log(locEditor).size() - 2], "Loaded sound!");
    EXPECT_FLOAT_EQ(locEditor->GetTemplate()->GetFalloffVolume(0, 120.0f), 0.7f);
}

// Without a sound device there is no engine, and so no editor: the factory
// answers none and the pane keeps what it had. (A process of its own: the
// sound library reads its drivers once per process.)
TEST_F(SoundEditorTest, NoSoundDeviceNoEditor)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::string locTone = Tone("tone.wav", 0.1);
    VelkType* locSound = Compile(SoundText("boom", 1, {{locTone, {{0, 1}, {100, 0}}}}));
    ASSERT_NE(locSound, nullptr);
    EXPECT_EXIT(
        {
            setenv("ALSOFT_DRIVERS", "no_such_driver", 1);
            std::unique_ptr<VelkEditorFactory> locFactory(VelkEditorFactory().Create());
            VelkEditor* locEditor = locFactory->CreateEditor(locSound, nullptr, myView.get(), nullptr);
            const bool locCleanFlag = !locEditor && !QS2_Engine::GetGlobal() && QS_SoundEditor::GetEditorCount() == 0 &&
                                      !QS2_SoundTemplate::GetFirst();
            fprintf(stderr, "editor %s\n", locEditor ? "made" : "none");
            // Straight out: the test's frame and view stay behind in this process.
            _exit(locCleanFlag ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "editor none");
}
