// Pranvel's window offscreen: the real frame over a recording scene (menu
// states, keys, mouse, sizes, the state dialogs, settings), the file dialog
// over scripted prompts, and one frame drawn by the renderer on llvmpipe.
#include <gtest/gtest.h>

#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_tree.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/editorerror.h"
#include "modeleditor/tests/me_lwfixture.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/gfx/gfx_device.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_view.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"
#include "qinput/qi_input.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QMainWindow>
#include <QResizeEvent>
#include <QTest>
#include <QTreeView>
#include <QWindow>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
class PranvelEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "pranvel_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new PranvelEnvironment);

// A scene that records what the window asks of it.
class RecordingScene : public PranvelScene
{
public:
    explicit RecordingScene(void* anInputWindow) { QI_Input::Init(true, anInputWindow); }
    ~RecordingScene() override { QI_Input::Shutdown(); }

    bool Render() override
    {
        myRenders++;
        if (QI_Input* locInput = QI_Input::GetInstance())
            locInput->Update();
        return true;
    }
    bool SetWindowRect(int anX, int aY, int aWidth, int aHeight) override
    {
        myRects.push_back({anX, aY, aWidth, aHeight});
        return true;
    }
    void ResetCamera() override { myCalls.push_back("reset"); }
    void ZoomCamera(float aDelta) override { Call("zoom", aDelta); }
    void RotateCameraHeading(float anAngle) override { Call("heading", anAngle); }
    void RotateCameraPitch(float anAngle) override { Call("pitch", anAngle); }
    void PanCameraRight(float anAmount) override { Call("right", anAmount); }
    void PanCameraUp(float anAmount) override { Call("up", anAmount); }
    bool IsModelLoaded() const override { return myLoaded; }
    bool HasTemplate() const override { return myLoaded; }
    float GetBoundingRadius() const override { return myRadius; }
    void ToggleBoneOverlay() override { myCalls.push_back("bones"); }
    int GetNumUsedStates() const override { return int(myUsed.size()); }
    QC_String GetUsedState(int anIndex) const override { return myUsed[size_t(anIndex)].c_str(); }
    QC_String GetActiveState() const override { return myActive.c_str(); }
    void SetActiveState(const QC_String& aCode) override
    {
        myCalls.push_back(std::string("state ") + aCode.GetBuffer());
        if (!aCode.IsEmpty())
            myActive = aCode.GetBuffer();
    }
    void SetStateLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames) override
    {
        myCodes = aCodes;
        myNames = aNames;
    }
    bool SetDirectionalLight(float aHeading, float anElevation, float r, float g, float b) override
    {
        mySettings.myDirLightDirection = aHeading;
        mySettings.myDirLightElevation = anElevation;
        mySettings.myDirLightColor[0] = r;
        mySettings.myDirLightColor[1] = g;
        mySettings.myDirLightColor[2] = b;
        myLight = true;
        return true;
    }
    bool TogglePointLight() override { return myLight = !myLight; }
    bool IsLightInScene() const override { return myLight; }
    void SetAmbientColor(uint32_t aColor) override { mySettings.myAmbientColor = aColor; }
    void ApplySettings(const PranvelSettings& aSettings) override
    {
        myApplied = aSettings;
        if (aSettings.WasFound(SETTINGS_BGCOLOR))
            mySettings.myBgColor = aSettings.myBgColor;
        if (aSettings.WasFound(SETTINGS_GRIDSIZE))
            mySettings.myGridSize = aSettings.myGridSize;
        if (aSettings.WasFound(SETTINGS_DIRLIGHTCOLOR))
            for (int i = 0; i < 3; i++)
                mySettings.myDirLightColor[i] = aSettings.myDirLightColor[i];
    }
    void GatherSettings(PranvelSettings* aSettings) const override
    {
        QC_String locStateFile = aSettings->myStateFile;
        *aSettings = mySettings;
        aSettings->myStateFile = locStateFile;
    }
    QC_String GetWorkDir() const override { return myWorkDir.c_str(); }
    QC_Publisher<int, QC_String>* GetPublisher() override { return &myPublisher; }

    void Call(const char* aName, float aValue)
    {
        char locText[64];
        snprintf(locText, sizeof(locText), "%s %.3f", aName, aValue);
        myCalls.push_back(locText);
    }

    struct Rect
    {
        int x, y, w, h;
    };
    std::vector<Rect> myRects;
    std::vector<std::string> myCalls;
    std::vector<std::string> myUsed;
    std::string myActive;
    std::string myWorkDir;
    int myRenders = 0;
    bool myLoaded = false;
    bool myLight = false;
    float myRadius = 10.0f;
    PranvelSettings mySettings;
    PranvelSettings myApplied;
    QC_GrowingArray<QC_String>* myCodes = nullptr;
    QC_GrowingArray<QC_String>* myNames = nullptr;
    QC_Publisher<int, QC_String> myPublisher;
};

RecordingScene* ourRecording = nullptr;

PranvelScene* locRecordingFactory(QR_HostWindow*, void* anInputWindow)
{
    ourRecording = new RecordingScene(anInputWindow);
    return ourRecording;
}

void locSpin(int aMilliseconds)
{
    QElapsedTimer locTimer;
    locTimer.start();
    while (locTimer.elapsed() < aMilliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

class PranvelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        fs::current_path(myDir);
        setenv("XDG_CONFIG_HOME", (myDir / "config").c_str(), 1);
        UI_SetPromptService(&myPrompts);
        CPranvelView::ourSceneFactory = locRecordingFactory;
        CPranvelView::ourBatchBusyFlag = false;
    }
    void TearDown() override
    {
        if (myApp)
        {
            myApp->ExitInstance();
            delete myApp;
        }
        ourRecording = nullptr;
        UI_SetPromptService(nullptr);
        UI_ClearQuitMessage();
        CPranvelView::ourSceneFactory = PranvelScene::Create;
        fs::current_path(Q_TEST_TMP_DIR);
    }
    void Write(const std::string& aName, const std::string& aText)
    {
        std::ofstream(myDir / aName, std::ios::binary) << aText;
    }
    std::string Read(const std::string& aName)
    {
        std::ifstream locIn(myDir / aName, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(locIn), {});
    }
    // The program as InitInstance makes it.
    void Launch()
    {
        myApp = new CPranvelApp;
        static char ourName[] = "Pranvel";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(myApp->InitInstance(1, ourArgv));
        myFrame = myApp->GetMainFrame()->GetFrame();
        myWindow = UI_GetFrameWidget(myFrame);
        myView = UI_GetFrameView(myFrame);
    }
    // On the recording scene, shown and active.
    void Start()
    {
        Launch();
        myWindow->activateWindow();
        QElapsedTimer locTimer;
        locTimer.start();
        while (!myWindow->isActiveWindow() && locTimer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(myWindow->isActiveWindow());
        ASSERT_NE(ourRecording, nullptr);
        myPrompts.Clear();
    }
    // The program on the editor scene and the renderer (llvmpipe).
    void StartOnTheEditorScene()
    {
        CPranvelView::ourSceneFactory = PranvelScene::Create;
        Launch();
        ASSERT_NE(QRenderEditor::ourInstance, nullptr);
        myPrompts.Clear();
    }
    // The box model (two parts in STND and WALK) of radius 6 shown in aState.
    void ShowBox(const char* aState)
    {
        QRB_TestModel locModel = MET_BoxModel();
        locModel.myRadius = 6.0f;
        QR_TemplateObject* locTemplate = MET_LoadModel(locModel); // "box.qrb" in the current folder
        ASSERT_NE(locTemplate, nullptr);
        ASSERT_TRUE(QRenderEditor::ourInstance->SetModel(locTemplate, aState));
    }
    CPranvelView* View() { return myApp->GetMainFrame()->GetView(); }
    QWidget* TreeWidget() { return UI_GetControlWidget(myApp->GetMainFrame()->GetTreePane(), IDC_MODEL_TREE); }
    UI_CommandState State(int anId)
    {
        UI_FrameUpdateCommands(myFrame);
        UI_CommandState locState;
        EXPECT_TRUE(UI_FrameGetCommandState(myFrame, anId, &locState)) << anId;
        return locState;
    }
    // A key as the window system delivers it, through the program's window.
    void Key(bool aDownFlag, Qt::Key aKey, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
    {
        QWindow* locWindow = myWindow->windowHandle();
        if (aDownFlag)
            QTest::keyPress(locWindow, aKey, aModifiers);
        else
            QTest::keyRelease(locWindow, aKey, aModifiers);
        QCoreApplication::processEvents();
    }
    // One tick of the render timer, as the 20 ms timer gives it.
    void Tick() { View()->Tick(PRANVEL_RENDER_TIMER); }
    std::vector<std::string> TakeCalls()
    {
        std::vector<std::string> locCalls = ourRecording->myCalls;
        ourRecording->myCalls.clear();
        return locCalls;
    }

    fs::path myDir;
    UI_ScriptedPrompts myPrompts;
    CPranvelApp* myApp = nullptr;
    UI_Frame* myFrame = nullptr;
    QWidget* myWindow = nullptr;
    QWidget* myView = nullptr;
};
} // namespace

// --- document and frame ---

TEST(PranvelDocument, ExtensionsAndBackslashes)
{
    std::string locPath, locTitle;
    bool locQRE = false;
    EXPECT_TRUE(CPranvelDoc::SplitDocumentPath("MODEL.QRE", &locPath, &locTitle, &locQRE));
    EXPECT_TRUE(locQRE);
    EXPECT_EQ(locTitle, "MODEL");
    EXPECT_TRUE(CPranvelDoc::SplitDocumentPath("c:\\data\\model.Lwo", &locPath, &locTitle, &locQRE));
    EXPECT_FALSE(locQRE);
    EXPECT_EQ(locPath, "c:/data/model.Lwo");
    EXPECT_TRUE(CPranvelDoc::SplitDocumentPath("t:\\game\\data\\ship.lws", &locPath, &locTitle, &locQRE));
    EXPECT_EQ(locPath, "t:/game/data/ship.lws");
    EXPECT_EQ(locTitle, "ship");
    EXPECT_TRUE(CPranvelDoc::SplitDocumentPath(".lwo", &locPath, &locTitle, &locQRE));
    EXPECT_EQ(locTitle, "");
    EXPECT_FALSE(CPranvelDoc::SplitDocumentPath("model.lw", &locPath, &locTitle, &locQRE));
    EXPECT_FALSE(CPranvelDoc::SplitDocumentPath("model", &locPath, &locTitle, &locQRE));
    EXPECT_FALSE(CPranvelDoc::SplitDocumentPath("dir.qre/model", &locPath, &locTitle, &locQRE));
}

TEST_F(PranvelTest, OpeningADocumentHandsTheTreeSlashPathAndTitle)
{
    Start();
    static std::vector<std::string> ourOpened;
    ourOpened.clear();
    ourPranvelTreeOps.myOpenQRE = [](const char* aPath, const char* aTitle) {
        ourOpened.push_back(std::string("qre ") + aPath + " " + aTitle);
    };
    ourPranvelTreeOps.myOpenLightWave = [](const char* aPath, const char* aTitle) {
        ourOpened.push_back(std::string("lw ") + aPath + " " + aTitle);
    };
    Write("ship.lws", "");
    Write("MODEL.QRE", "");
    EXPECT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "ship.lws").c_str()));
    EXPECT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "MODEL.QRE").c_str()));
    Write("notes.txt", "");
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, (myDir / "notes.txt").c_str()));
    ASSERT_EQ(ourOpened.size(), 2u);
    EXPECT_EQ(ourOpened[0], "lw " + (myDir / "ship.lws").string() + " ship");
    EXPECT_EQ(ourOpened[1], "qre " + (myDir / "MODEL.QRE").string() + " MODEL");
    ourPranvelTreeOps = PranvelTreeOps();
    // Without the tree's operations nothing opens.
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, (myDir / "ship.lws").c_str()));
}

TEST_F(PranvelTest, MenuStatesWithAndWithoutAModel)
{
    Start();
    std::string locTitle = myWindow->windowTitle().toStdString();
    EXPECT_EQ(locTitle, "Untitled - Pranvel");
    EXPECT_TRUE(myWindow->isMaximized());
    for (int locId : {int(UI_ID_FILE_NEW), int(UI_ID_FILE_SAVE), int(UI_ID_FILE_SAVE_AS), int(ID_FILE_QRB_EXPORT),
                      int(ID_MODEL_REFRESH), int(ID_MODEL_SET_ACTIVE_STATE), int(ID_EDIT_UNDO), int(ID_EDIT_CUT),
                      int(ID_EDIT_COPY), int(ID_EDIT_PASTE)})
        EXPECT_FALSE(State(locId).myEnabled) << locId;
    // The model tree serves Check LWS with or without a model.
    EXPECT_TRUE(State(ID_TOOLS_CHECK_LWS).myEnabled);
    EXPECT_TRUE(State(UI_ID_APP_ABOUT).myEnabled);
    EXPECT_TRUE(State(UI_ID_FILE_OPEN).myEnabled);
    EXPECT_TRUE(State(UI_ID_VIEW_TOOLBAR).myChecked);
    // Dialog commands whose dialogs are not there are disabled, not broken.
    EXPECT_FALSE(State(ID_TOOLS_OPTIONS).myEnabled);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, ID_TOOLS_OPTIONS));

    ourRecording->myLoaded = true;
    for (int locId : {int(UI_ID_FILE_SAVE), int(UI_ID_FILE_SAVE_AS), int(ID_FILE_QRB_EXPORT), int(ID_MODEL_REFRESH),
                      int(ID_MODEL_SET_ACTIVE_STATE)})
        EXPECT_TRUE(State(locId).myEnabled) << locId;
    EXPECT_FALSE(State(UI_ID_FILE_NEW).myEnabled);

    // The point light's check mark follows the scene.
    EXPECT_FALSE(State(ID_TOOLS_TOGGLE_POINT_LIGHT).myChecked);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_TOOLS_TOGGLE_POINT_LIGHT));
    EXPECT_TRUE(State(ID_TOOLS_TOGGLE_POINT_LIGHT).myChecked);
    std::string locText;
    ASSERT_TRUE(UI_FrameGetMenuText(myFrame, ID_MODEL_SET_ACTIVE_STATE, &locText));
    EXPECT_EQ(locText, "Set Active State...");
}

TEST_F(PranvelTest, AcceleratorsFromRealKeys)
{
    Start();
    TakeCalls();
    Key(true, Qt::Key_A, Qt::ShiftModifier);
    Key(false, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{"reset"});
    // R re-applies the active state (an empty code).
    Key(true, Qt::Key_R);
    Key(false, Qt::Key_R);
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{"state "});
    Key(true, Qt::Key_L);
    Key(false, Qt::Key_L);
    EXPECT_TRUE(ourRecording->myLight);
}

TEST_F(PranvelTest, TheStateDialogToggles)
{
    Start();
    ourRecording->myLoaded = true;
    ourRecording->myUsed = {"STND", "WALK", "XTRA"};
    ourRecording->myActive = "WALK";
    QC_GrowingArray<QC_String>* locCodes = View()->GetStateCodes();
    QC_GrowingArray<QC_String>* locNames = View()->GetStateNames();
    for (const char* locCode : {"STND", "WALK", "RUN "})
        locCodes->Add(locCode);
    for (const char* locName : {"Standing", "Walking", "Running"})
        locNames->Add(locName);

    CSetActiveStateDlg* locDialog = myApp->GetMainFrame()->GetStateDialog();
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_MODEL_SET_ACTIVE_STATE));
    EXPECT_TRUE(locDialog->IsVisible());
    EXPECT_TRUE(State(ID_MODEL_SET_ACTIVE_STATE).myChecked);
    UI_Dialog* locUI = locDialog->GetDialog();
    ASSERT_EQ(UI_ListGetCount(locUI, IDC_ACTIVE_STATE_LIST), 3);
    std::string locText;
    UI_ListGetText(locUI, IDC_ACTIVE_STATE_LIST, 2, &locText);
    EXPECT_EQ(locText, "XTRA"); // a code the state file does not name
    EXPECT_EQ(UI_ListGetCurSel(locUI, IDC_ACTIVE_STATE_LIST), 1);

    // A user's selection applies the state; a raw code too.
    TakeCalls();
    UI_ListClick(locUI, IDC_ACTIVE_STATE_LIST, 0);
    UI_ListClick(locUI, IDC_ACTIVE_STATE_LIST, 2);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"state STND", "state XTRA"}));

    // The scene's notification refills the list.
    ourRecording->myUsed.push_back("RUN ");
    ourRecording->PublishModelShown();
    EXPECT_EQ(UI_ListGetCount(locUI, IDC_ACTIVE_STATE_LIST), 4);

    // Resizing keeps the list 20 pixels inside the dialog.
    UI_SetDialogSize(locUI, 300, 240);
    int x, y, w, h;
    UI_GetControlRect(locUI, IDC_ACTIVE_STATE_LIST, &x, &y, &w, &h);
    EXPECT_EQ(w, 280);
    EXPECT_EQ(h, 220);

    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_MODEL_SET_ACTIVE_STATE));
    EXPECT_FALSE(locDialog->IsVisible());
    EXPECT_FALSE(State(ID_MODEL_SET_ACTIVE_STATE).myChecked);
}

TEST_F(PranvelTest, TheStateDialogsCloseBoxClearsTheMenuMark)
{
    Start();
    ourRecording->myLoaded = true;
    ourRecording->myUsed = {"STND"};
    QAction* locItem = nullptr;
    for (QAction* locAction : myWindow->findChildren<QAction*>())
        if (locAction->text().startsWith("Set Active &State"))
            locItem = locAction;
    ASSERT_NE(locItem, nullptr);
    CSetActiveStateDlg* locDialog = myApp->GetMainFrame()->GetStateDialog();
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_MODEL_SET_ACTIVE_STATE));
    EXPECT_TRUE(State(ID_MODEL_SET_ACTIVE_STATE).myChecked);
    EXPECT_TRUE(locItem->isChecked());

    UI_GetDialogWidget(locDialog->GetDialog())->close();
    EXPECT_FALSE(locDialog->IsVisible());
    EXPECT_FALSE(State(ID_MODEL_SET_ACTIVE_STATE).myChecked);
    EXPECT_FALSE(locItem->isChecked());
    // One command shows it again, with the list filled.
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_MODEL_SET_ACTIVE_STATE));
    EXPECT_TRUE(locDialog->IsVisible());
    EXPECT_TRUE(State(ID_MODEL_SET_ACTIVE_STATE).myChecked);
    EXPECT_TRUE(locItem->isChecked());
    EXPECT_EQ(UI_ListGetCount(locDialog->GetDialog(), IDC_ACTIVE_STATE_LIST), 1);
}

TEST_F(PranvelTest, TheAboutBoxShowsTheQRBVersion)
{
    Start();
    std::string locText;
    UI_ModalHook locOld = UI_SetModalHook([&](UI_Dialog* aDialog) {
        UI_GetControlText(aDialog, IDC_ABOUT_VERSION, &locText);
        EXPECT_EQ(UI_GetDialogTitle(aDialog), "About Pranvel");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_APP_ABOUT));
    UI_SetModalHook(locOld);
    EXPECT_EQ(locText, "QRB Version 9");
}

// --- render view ---

TEST(PranvelView, TheRenderAreaIsFourByThree)
{
    struct Case
    {
        int w, h, fw, fh;
    } locCases[] = {{1000, 600, 800, 600}, {800, 900, 800, 600}, {803, 600, 800, 600}, {800, 600, 800, 600},
                    {3, 100, 3, 0},        {7, 3, 4, 3},         {0, 0, 0, 0}};
    for (const Case& c : locCases)
    {
        int w = c.w, h = c.h;
        CPranvelView::FitRenderArea(&w, &h);
        EXPECT_EQ(w, c.fw) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.fh) << c.w << "x" << c.h;
    }
}

TEST_F(PranvelTest, ResizeEventsSetTheWindowRect)
{
    Start();
    for (QSize locSize : {QSize(1000, 600), QSize(800, 900), QSize(803, 600)})
    {
        ourRecording->myRects.clear();
        QResizeEvent locEvent(locSize, myView->size());
        QApplication::sendEvent(myView, &locEvent);
        ASSERT_EQ(ourRecording->myRects.size(), 1u);
        EXPECT_EQ(ourRecording->myRects[0].w, 800);
        EXPECT_EQ(ourRecording->myRects[0].h, 600);
    }
    // A collapsed pane leaves the device alone.
    ourRecording->myRects.clear();
    QResizeEvent locEmpty(QSize(0, 600), myView->size());
    QApplication::sendEvent(myView, &locEmpty);
    EXPECT_TRUE(ourRecording->myRects.empty());
}

TEST_F(PranvelTest, FunctionKeysPickUsedStates)
{
    Start();
    // Ticks come from the test alone: a slow run would let the render timer add its own.
    View()->EnableRenderTimer(false);
    for (int i = 0; i < 11; i++)
    {
        char locCode[8];
        snprintf(locCode, sizeof(locCode), "S%03d", i);
        ourRecording->myUsed.push_back(locCode);
    }
    // F1 with the tree pane focused still picks the first used state.
    TreeWidget()->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(UI_FrameGetFocus(myFrame), UI_FOCUS_PANE);
    Tick();
    TakeCalls();
    Key(true, Qt::Key_F1);
    Tick();
    Key(false, Qt::Key_F1);
    Tick();
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{"state S000"});
    // Shift+F1 picks the eleventh.
    Key(true, Qt::Key_Shift);
    Key(true, Qt::Key_F1, Qt::ShiftModifier);
    Tick();
    Key(false, Qt::Key_F1, Qt::ShiftModifier);
    Key(false, Qt::Key_Shift);
    Tick();
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{"state S010"});
    // Plain F11 picks nothing; B toggles the bone overlay.
    Key(true, Qt::Key_F11);
    Tick();
    Key(false, Qt::Key_F11);
    Key(true, Qt::Key_B);
    Tick();
    Key(false, Qt::Key_B);
    Tick();
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{"bones"});
}

TEST_F(PranvelTest, ArrowsMoveTheCameraOnlyWithTheViewFocused)
{
    Start();
    // Ticks come from the test alone: a slow run would let the render timer add its own.
    View()->EnableRenderTimer(false);
    TreeWidget()->setFocus();
    QCoreApplication::processEvents();
    Tick();
    TakeCalls();
    Key(true, Qt::Key_Left);
    Tick();
    Key(false, Qt::Key_Left);
    EXPECT_TRUE(TakeCalls().empty());

    UI_FrameFocusView(myFrame);
    QCoreApplication::processEvents();
    ASSERT_EQ(UI_FrameGetFocus(myFrame), UI_FOCUS_VIEW);
    Key(true, Qt::Key_Left);
    Key(true, Qt::Key_Up);
    Tick();
    Key(false, Qt::Key_Left);
    Key(false, Qt::Key_Up);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"right -1.000", "zoom 1.000"}));
    // With Shift the step is a tenth.
    Key(true, Qt::Key_Shift);
    Key(true, Qt::Key_Right, Qt::ShiftModifier);
    Key(true, Qt::Key_Down, Qt::ShiftModifier);
    Tick();
    Key(false, Qt::Key_Right, Qt::ShiftModifier);
    Key(false, Qt::Key_Down, Qt::ShiftModifier);
    Key(false, Qt::Key_Shift);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"right 0.100", "zoom -0.100"}));
    Tick();
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(PranvelTest, ATickIsSkippedWhileTheBatchRuns)
{
    Start();
    int locRenders = ourRecording->myRenders;
    CPranvelView::ourBatchBusyFlag = true;
    Tick();
    EXPECT_EQ(ourRecording->myRenders, locRenders);
    CPranvelView::ourBatchBusyFlag = false;
    Tick();
    EXPECT_EQ(ourRecording->myRenders, locRenders + 1);
    // Another timer id moves the camera but does not render.
    View()->Tick(1);
    EXPECT_EQ(ourRecording->myRenders, locRenders + 1);
    // The real timer ticks every 20 ms, and not after it is switched off.
    QElapsedTimer locWait;
    locWait.start();
    while (ourRecording->myRenders <= locRenders + 2 && locWait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_GT(ourRecording->myRenders, locRenders + 2);
    View()->EnableRenderTimer(false);
    int locStopped = ourRecording->myRenders;
    locSpin(100);
    EXPECT_EQ(ourRecording->myRenders, locStopped);
}

TEST_F(PranvelTest, MouseMovesTurnPanAndZoom)
{
    Start();
    ourRecording->myRadius = 20.0f; // speed 1.0
    auto locMove = [&](int x, int y, unsigned aKeys) {
        UI_ViewMessage locMessage;
        locMessage.myKind = UI_VM_MOUSEMOVE;
        locMessage.myX = x;
        locMessage.myY = y;
        locMessage.myKeyState = aKeys;
        UI_FrameSendViewMessage(myFrame, locMessage);
    };
    TakeCalls();
    // No model: nothing tracks.
    locMove(10, 10, UI_MK_LBUTTON);
    locMove(20, 20, UI_MK_LBUTTON);
    EXPECT_FALSE(View()->IsTracking());
    ourRecording->myLoaded = true;
    // The first move after an open only records the point.
    locMove(100, 100, UI_MK_LBUTTON);
    EXPECT_TRUE(View()->IsTracking());
    EXPECT_TRUE(TakeCalls().empty());
    locMove(110, 95, UI_MK_LBUTTON);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"heading 0.200", "pitch -0.100"}));
    locMove(112, 99, UI_MK_LBUTTON | UI_MK_CONTROL);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"zoom -2.000", "zoom 4.000"}));
    // Shift and Ctrl together pan (Shift wins).
    locMove(116, 97, UI_MK_LBUTTON | UI_MK_CONTROL | UI_MK_SHIFT);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"right -2.000", "up -1.000"}));
    locMove(200, 200, 0);
    EXPECT_TRUE(TakeCalls().empty());
    // A real move over the view arrives the same way.
    QTest::mouseMove(myView, QPoint(50, 50));
    QCoreApplication::processEvents();
    int locX = 0, locY = 0;
    UI_FrameGetViewCursor(myFrame, &locX, &locY);
    EXPECT_EQ(locX, 50);
}

// --- settings, state file, paths ---

TEST_F(PranvelTest, SettingsAreReadAtStartAndSavedAtExit)
{
    Write("pranvel.cfg", "bgColor 0377\r\nGRIDSIZE 2,5\r\nstateFile states.txt\r\ndirLightColor 0x80ff00\r\n");
    Write("states.txt", "STND Standing\r\nWALKS Walking\r\nAB Short\r\n");
    Start();
    EXPECT_EQ(ourRecording->myApplied.myBgColor, 0xFFu);
    EXPECT_FLOAT_EQ(ourRecording->myApplied.myGridSize, 2.5f);
    // The light is re-created from the settings with whole-byte colours.
    EXPECT_FLOAT_EQ(ourRecording->mySettings.myDirLightColor[0], 128.0f / 255.0f);
    EXPECT_TRUE(ourRecording->myLight);
    ASSERT_EQ(View()->GetStateCodes()->Count(), 3);
    EXPECT_STREQ((*View()->GetStateCodes())[2], "AB  ");
    EXPECT_EQ(ourRecording->myCodes, View()->GetStateCodes());

    ourRecording->mySettings.myBgColor = 0x123456;
    myApp->ExitInstance();
    delete myApp;
    myApp = nullptr;
    std::string locSaved = Read("pranvel.cfg");
    EXPECT_NE(locSaved.find("bgColor 0x123456\r\n"), std::string::npos);
    EXPECT_NE(locSaved.find("stateFile states.txt\r\n"), std::string::npos);
    EXPECT_NE(locSaved.find("gridSize 2.500\r\n"), std::string::npos);
    EXPECT_EQ(Read("pranvel_paths.txt"), "8\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST_F(PranvelTest, MissingFilesAreReported)
{
    Start();
    std::vector<std::string> locBoxes = myPrompts.GetBoxes();
    (void) locBoxes;
    myApp->ExitInstance();
    delete myApp;
    myApp = nullptr;
    // The first run finds nothing: the settings message only (no state file is read then).
    UI_ScriptedPrompts locPrompts;
    UI_SetPromptService(&locPrompts);
    Write("pranvel.cfg", "stateFile none.txt\r\n");
    Start();
    EXPECT_EQ(locPrompts.GetBoxes(),
              std::vector<std::string>{"Pranvel|Could not load state file. No states loaded. Please set state file "
                                       "and restart the Pranvel!"});
    UI_SetPromptService(&myPrompts);
}

TEST_F(PranvelTest, StateLinesOfTheWrongLengthAreReportedOnce)
{
    Write("pranvel.cfg", "stateFile states.txt\r\n");
    Write("states.txt", "STND Standing\r\nWALKS Walking\r\nAB Short\r\n");
    UI_ScriptedPrompts locPrompts;
    UI_SetPromptService(&locPrompts);
    Start();
    EXPECT_EQ(locPrompts.GetBoxes(), (std::vector<std::string>{"Pranvel|Wrong number of characters in state name.",
                                                               "Pranvel|Wrong number of characters in state name."}));
    EXPECT_STREQ((*View()->GetStateCodes())[1], "WALKS");
    UI_SetPromptService(&myPrompts);
}

TEST_F(PranvelTest, AnUnwritableSettingsFileIsReported)
{
    Start();
    fs::create_directories(myDir / "pranvel.cfg");
    myPrompts.Clear();
    View()->SaveSettings();
    EXPECT_EQ(myPrompts.GetBoxes(),
              std::vector<std::string>{"Pranvel|Could not open config file for writing. No settings saved."});
    fs::remove_all(myDir / "pranvel.cfg");
}

TEST_F(PranvelTest, TheFileDialogReturnsPathsInsideTheWorkingDirectory)
{
    Start();
    PathsFile locStore;
    QC_String locPath, locName;
    ourRecording->myWorkDir = "x:/data/";
    unsetenv("Q_DRIVE_X");

    // Relative to the working directory, compared without case.
    myPrompts.AnswerFile("X:\\Data\\models\\a.lwo");
    ASSERT_TRUE(OpenFileDialog(PATHS_LW_OBJECT, &locStore, true, &locPath, &locName));
    EXPECT_STREQ(locPath, "models/a.lwo");
    EXPECT_STREQ(locName, "a.lwo");
    EXPECT_STREQ(locStore.Get(PATHS_LW_OBJECT), "X:/Data/models");
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
    ASSERT_EQ(myPrompts.myQuestions.size(), 1u);
    const UI_FileDialogRequest& locRequest = myPrompts.myQuestions[0].myRequest;
    ASSERT_EQ(locRequest.myFilters.size(), 1u);
    EXPECT_EQ(locRequest.myFilters[0].myPattern, "*.lwo");
    EXPECT_EQ(locRequest.myKind, UI_FILEDIALOG_OPEN);

    // Another drive: the warning, and the full path.
    myPrompts.Clear();
    myPrompts.AnswerFile("y:/other/b.lwo");
    ASSERT_TRUE(OpenFileDialog(PATHS_MODEL, &locStore, false, &locPath, &locName));
    EXPECT_STREQ(locPath, "y:/other/b.lwo");
    EXPECT_EQ(myPrompts.GetBoxes(),
              std::vector<std::string>{"Pranvel|Warning: attempting to load data that isn't situated within the "
                                       "working dir."});
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myFilters.size(), 4u);
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myKind, UI_FILEDIALOG_SAVE);

    // A folder that only starts like the working directory is outside it.
    myPrompts.Clear();
    myPrompts.AnswerFile("x:/database/c.lwo");
    ASSERT_TRUE(OpenFileDialog(PATHS_LW_OBJECT, &locStore, true, &locPath, &locName));
    EXPECT_STREQ(locPath, "x:/database/c.lwo");
    EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);

    // Cancel: both outputs empty, the remembered directory kept and offered.
    myPrompts.Clear();
    locName = "proposed.qrb";
    myPrompts.AnswerCancel();
    EXPECT_FALSE(OpenFileDialog(PATHS_LW_OBJECT, &locStore, true, &locPath, &locName));
    EXPECT_STREQ(locPath, "");
    EXPECT_STREQ(locName, "");
    EXPECT_STREQ(locStore.Get(PATHS_LW_OBJECT), "x:/database");
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myInitialName, "proposed.qrb");
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myInitialDirectory, "/database");
}

TEST_F(PranvelTest, DriveLettersOfTheWorkingDirectoryMapThroughTheirVariable)
{
    Start();
    fs::create_directories(myDir / "Game/Models");
    setenv("Q_DRIVE_T", (myDir / "Game").c_str(), 1);
    ourRecording->myWorkDir = "t:/";
    PathsFile locStore;
    QC_String locPath, locName;
    myPrompts.AnswerFile((myDir / "game/models/ship.lws").string());
    ASSERT_TRUE(OpenFileDialog(PATHS_LW_SCENE, &locStore, true, &locPath, &locName));
    EXPECT_STREQ(locPath, "Models/ship.lws");
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
    unsetenv("Q_DRIVE_T");
}

// --- state name dialog ---

TEST_F(PranvelTest, TheStateNameDialogAsksBeforeReusingAState)
{
    Start();
    QC_GrowingArray<QC_String> locCodes, locNames;
    locCodes.Init(10, 10, true);
    locNames.Init(10, 10, true);
    for (const char* locCode : {"STND", "WALK"})
        locCodes.Add(locCode);
    for (const char* locName : {"Standing", "Walking"})
        locNames.Add(locName);
    ourRecording->myUsed = {"WALK"};
    CStateNameDlg locDialog;
    locDialog.SetLists(&locCodes, &locNames);
    locDialog.SetScene(ourRecording);

    // No selection: the message, the dialog stays; a used state answered No stays too.
    myPrompts.AnswerBox(OS_ID_NO);
    myPrompts.AnswerBox(OS_ID_YES);
    int locStep = 0;
    UI_ModalHook locOld = UI_SetModalHook([&](UI_Dialog* aDialog) {
        EXPECT_EQ(UI_ListGetCount(aDialog, IDC_STATE_NAME_LIST), 2);
        UI_ClickButton(aDialog, UI_IDOK);
        locStep++;
        UI_ListClick(aDialog, IDC_STATE_NAME_LIST, 1);
        UI_ClickButton(aDialog, UI_IDOK);
        locStep++;
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_EQ(locDialog.DoModal(nullptr), UI_IDOK);
    EXPECT_STREQ(locDialog.GetCode(), "WALK");
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"Pranvel|State name not defined. Choose an existing name!",
                                                               "Pranvel|State name may be in use. Are you sure?",
                                                               "Pranvel|State name may be in use. Are you sure?"}));
    // Without the check no question.
    myPrompts.Clear();
    locDialog.SetCheckInUse(false);
    UI_SetModalHook([&](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_STATE_NAME_LIST, 1);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_EQ(locDialog.DoModal(nullptr), UI_IDOK);
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
    UI_SetModalHook(locOld);
}

TEST_F(PranvelTest, TwoLinesWithOneNameApplyTheLaterCode)
{
    Start();
    ourRecording->myLoaded = true;
    ourRecording->myUsed = {"AAAA", "BBBB"};
    for (const char* locCode : {"AAAA", "BBBB"})
        View()->GetStateCodes()->Add(locCode);
    for (int i = 0; i < 2; i++)
        View()->GetStateNames()->Add("Same");
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_MODEL_SET_ACTIVE_STATE));
    UI_Dialog* locUI = myApp->GetMainFrame()->GetStateDialog()->GetDialog();
    TakeCalls();
    UI_ListClick(locUI, IDC_ACTIVE_STATE_LIST, 1);
    UI_ListClick(locUI, IDC_ACTIVE_STATE_LIST, 0);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"state BBBB", "state BBBB"}));
}

// --- the renderer on llvmpipe ---

TEST_F(PranvelTest, AFrameFromTheViewShowsTheClearColour)
{
    Write("pranvel.cfg", "bgColor 0x3366cc\r\n");
    StartOnTheEditorScene();
    // Two frames drawn here, whatever the timer managed on a loaded machine.
    QCoreApplication::processEvents();
    View()->Tick(PRANVEL_RENDER_TIMER);
    View()->Tick(PRANVEL_RENDER_TIMER);
    QImage locGrab = UI_GetFrameView(myFrame)->grab().toImage();
    ASSERT_FALSE(locGrab.isNull());
    EXPECT_EQ(locGrab.pixel(10, 10) & 0xFFFFFF, 0x3366CCu);
    EXPECT_EQ(locGrab.pixel(locGrab.width() / 2, 20) & 0xFFFFFF, 0x3366CCu);
    // A second scene cannot start while this one holds the renderer.
    EXPECT_EQ(PranvelScene::Create(nullptr, nullptr), nullptr);
}

TEST_F(PranvelTest, TheEditorSceneTakesTheSettingsAndGivesThemBack)
{
    fs::create_directories(myDir / "models");
    Write("pranvel.cfg", "workDir models\r\nbgColor 0x102030\r\nobjectColor3 0x3060c0\r\ngridSize 0,5\r\n"
                         "gridEnable 0\r\nfogColor 0x404040\r\nnearPlane 0,2\r\nlod1Distance 60\r\n"
                         "lod2Distance 10\r\ndirLightColor 0x80ff00\r\ndirLightDirection 90\r\n"
                         "defaultSurface surfaces/x.sur\r\nfarPlane 90\r\nautoCalcFarplane 0\r\n"
                         "dontResetCameraOnRefresh 1\r\ncacheRendering 0\r\nmouseSens 0,25\r\n"
                         "lod4Distance 700\r\nstateFile states.txt\r\n");
    Write("states.txt", "STND Standing\r\n");
    StartOnTheEditorScene();
    QRenderEditor* e = QRenderEditor::ourInstance;
    EXPECT_STREQ(e->GetWorkDir(), "models/");
    // The state file was read from the start-up folder again.
    EXPECT_EQ(fs::current_path(), myDir);
    EXPECT_EQ(e->GetBgColor(), 0x102030u);
    EXPECT_EQ(e->GetObjectColor(3), 0x3060C0u);
    EXPECT_FLOAT_EQ(e->myGridSize, 0.5f);
    EXPECT_FALSE(e->myGridEnable);
    EXPECT_EQ(e->GetFogColor(), 0x404040u);
    EXPECT_FLOAT_EQ(e->GetNearPlane(), 0.2f);
    // The distances stay non-decreasing.
    EXPECT_FLOAT_EQ(e->myLodDistances[0], 60.0f);
    EXPECT_FLOAT_EQ(e->myLodDistances[1], 60.0f);
    EXPECT_STREQ(e->myDefaultSurface, "surfaces/x.sur");
    EXPECT_FLOAT_EQ(e->GetFarPlane(), 90.0f);
    EXPECT_FALSE(e->myAutoCalcFarplane);
    EXPECT_TRUE(e->myDontResetCameraOnRefresh);
    EXPECT_FALSE(e->myCacheRendering);
    EXPECT_FLOAT_EQ(e->myMouseSens, 0.25f);
    EXPECT_FLOAT_EQ(e->myLodDistances[3], 700.0f);
    // The light made from the settings, with whole-byte colours.
    ASSERT_TRUE(e->IsLightInScene());
    EXPECT_NEAR(e->GetDirLightDirection(), 1.5707963f, 1e-5f);
    EXPECT_FLOAT_EQ(e->GetDirLightColor()[0], 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(e->GetDirLightColor()[1], 1.0f);
    EXPECT_EQ(e->myStateCodes, View()->GetStateCodes());
    EXPECT_EQ(e->myStateNames, View()->GetStateNames());

    // The command history starts with the scene's working directory.
    ASSERT_NE(CommandHandler::Get(), nullptr);
    QC_ListIterator<QRECommand*> locHistory(&CommandHandler::Get()->GetHistory());
    locHistory.First();
    ASSERT_FALSE(locHistory.IsDone());
    ASSERT_STREQ(locHistory.GetCurrent()->GetKeyword(), "WORKDIR");
    EXPECT_STREQ(static_cast<WorkDirCommand*>(locHistory.GetCurrent())->myDirectory, "models/");

    // Values changed meanwhile are saved from the scene, in the start-up folder.
    e->SetBgColor(0x0000FF);
    e->myGridSize = 2.0f;
    myApp->ExitInstance();
    delete myApp;
    myApp = nullptr;
    EXPECT_EQ(QRenderEditor::ourInstance, nullptr);
    EXPECT_EQ(CommandHandler::Get(), nullptr);
    std::string locSaved = Read("pranvel.cfg");
    for (const char* locLine :
         {"workDir models/\r\n", "bgColor 0xff\r\n", "objectColor3 0x3060c0\r\n", "gridSize 2.000\r\n",
          "gridEnable 0\r\n", "fogColor 0x404040\r\n", "nearPlane 0.200\r\n", "dirLightDirection 90.0\r\n",
          "dirLightColor 0x80ff00\r\n", "lod2Distance 60.0\r\n", "lod4Distance 700.0\r\n", "farPlane 90.000\r\n",
          "autoCalcFarplane 0\r\n", "dontResetCameraOnRefresh 1\r\n", "cacheRendering 0\r\n",
          "mouseSens 0.250\r\n", "stateFile states.txt\r\n"})
        EXPECT_NE(locSaved.find(locLine), std::string::npos) << locLine << "\n" << locSaved;
}

TEST_F(PranvelTest, TheEditorSceneDrawsTheGridAndTheModelIntoTheView)
{
    Write("pranvel.cfg", "bgColor 0x000000\r\nobjectColor0 0x3060c0\r\nstateFile states.txt\r\n");
    Write("states.txt", "STND Standing\r\nWALK Walking\r\n");
    StartOnTheEditorScene();
    QRenderEditor* e = QRenderEditor::ourInstance;
    PranvelScene* locScene = View()->GetScene();
    EXPECT_FALSE(locScene->HasTemplate());
    EXPECT_FLOAT_EQ(locScene->GetBoundingRadius(), 0.0f);
    ShowBox("WALK");
    EXPECT_TRUE(locScene->HasTemplate());
    EXPECT_TRUE(locScene->IsModelLoaded());
    EXPECT_FLOAT_EQ(locScene->GetBoundingRadius(), 6.0f);
    locScene->RotateCameraPitch(0.6f);
    View()->Tick(PRANVEL_RENDER_TIMER);
    View()->Tick(PRANVEL_RENDER_TIMER);
    QImage locGrab = myView->grab().toImage();
    ASSERT_FALSE(locGrab.isNull());
    int locGrid = 0, locAxes = 0, locModel = 0;
    for (int y = 0; y < locGrab.height(); y++)
        for (int x = 0; x < locGrab.width(); x++)
        {
            QRgb locPixel = locGrab.pixel(x, y);
            locGrid += locPixel == 0xFF9F9F9Fu;
            locAxes += locPixel == 0xFF7F7F7Fu;
            locModel += locPixel == 0xFF3060C0u;
        }
    EXPECT_GT(locGrid, 200);
    EXPECT_GT(locAxes, 20);
    EXPECT_GT(locModel, 100);

    // The open operations' notification refills the state dialog from the scene.
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_MODEL_SET_ACTIVE_STATE));
    UI_Dialog* locStates = myApp->GetMainFrame()->GetStateDialog()->GetDialog();
    ASSERT_EQ(UI_ListGetCount(locStates, IDC_ACTIVE_STATE_LIST), 1);
    e->AddUsedName("STND");
    locScene->PublishModelShown();
    ASSERT_EQ(UI_ListGetCount(locStates, IDC_ACTIVE_STATE_LIST), 2);
    std::string locText;
    UI_ListGetText(locStates, IDC_ACTIVE_STATE_LIST, 1, &locText);
    EXPECT_EQ(locText, "Standing");
    UI_ListClick(locStates, IDC_ACTIVE_STATE_LIST, 1);
    EXPECT_STREQ(e->GetActiveState(), "STND");

    // A resize fits the device and the camera's viewport to 4:3, and the projection follows.
    QResizeEvent locEvent(QSize(500, 600), myView->size());
    QApplication::sendEvent(myView, &locEvent);
    EXPECT_EQ(QR_Render::ourInstance->myRenderSettings.myWidth, 500);
    EXPECT_EQ(QR_Render::ourInstance->myRenderSettings.myHeight, 375);
    const QR_Camera& locCamera = e->GetView()->myCamera;
    EXPECT_EQ(locCamera.myViewportWidth, 500);
    EXPECT_EQ(locCamera.myViewportHeight, 375);
    Matrix44 locProjection = locCamera.myProjectionMatrix;
    QResizeEvent locWide(QSize(1000, 600), myView->size());
    QApplication::sendEvent(myView, &locWide);
    EXPECT_EQ(locCamera.myViewportWidth, 800);
    EXPECT_EQ(locCamera.myViewportHeight, 600);
    EXPECT_NE(memcmp(&locProjection, &locCamera.myProjectionMatrix, sizeof(Matrix44)), 0);

    // The mouse turns the scene's camera; the first move only tracks.
    float locHeading = e->GetCameraHeading();
    UI_ViewMessage locMove;
    locMove.myKind = UI_VM_MOUSEMOVE;
    locMove.myKeyState = UI_MK_LBUTTON;
    locMove.myX = 100;
    locMove.myY = 100;
    UI_FrameSendViewMessage(myFrame, locMove);
    locMove.myX = 110;
    UI_FrameSendViewMessage(myFrame, locMove);
    EXPECT_NEAR(e->GetCameraHeading(), locHeading - 0.2f, 1e-5f);
    // The bone overlay switch and Shift+A's reset (heading and pitch kept).
    locScene->ToggleBoneOverlay();
    EXPECT_TRUE(e->myBoneOverlay);
    e->ZoomCamera(2.0f);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_RESET_CAMERA));
    EXPECT_FLOAT_EQ(e->GetCameraDistance(), 6.0f);
    EXPECT_FLOAT_EQ(e->GetCameraTarget()[1], 1.8f);
}

TEST_F(PranvelTest, AResizedViewKeepsTheDeviceAndShowsTheModelAtTheNewSize)
{
    Write("pranvel.cfg", "bgColor 0x000000\r\nobjectColor0 0x3060c0\r\nstateFile states.txt\r\n");
    Write("states.txt", "STND Standing\r\n");
    StartOnTheEditorScene();
    ShowBox("STND");
    View()->GetScene()->RotateCameraPitch(0.6f);
    myView->setFixedSize(800, 600);
    QCoreApplication::processEvents();
    View()->Tick(PRANVEL_RENDER_TIMER);
    GFX_Device* locDevice = QR_RenderD3D::ourDevice;
    ASSERT_NE(locDevice, nullptr);
    const uint32_t locLive = locDevice->GetLiveObjectCount();
    // A state the renderer never sets: a device made again would have its default back.
    locDevice->SetRenderState(GFX_RS_DITHERENABLE, 1);
    View()->EnableRenderTimer(false); // no picture but the ones asked for here
    const QImage locLarge = myView->grab().toImage();

    // The real widget made smaller: a 400 x 300 picture on the same device. The device lets
    // the last picture's pixels go; the pane shows its own copy of it until the next one.
    myView->setFixedSize(400, 360);
    QCoreApplication::processEvents();
    EXPECT_EQ(myView->grab().toImage(), locLarge.copy(0, 0, 400, 360));
    EXPECT_EQ(QR_RenderD3D::ourDevice, locDevice);
    EXPECT_EQ(locDevice->GetLiveObjectCount(), locLive);
    EXPECT_EQ(locDevice->GetRenderState(GFX_RS_DITHERENABLE), 1u);
    EXPECT_EQ(locDevice->GetDesc().myWidth, 400u);
    EXPECT_EQ(locDevice->GetDesc().myHeight, 300u);
    View()->Tick(PRANVEL_RENDER_TIMER);
    View()->Tick(PRANVEL_RENDER_TIMER);
    QImage locGrab = myView->grab().toImage();
    ASSERT_EQ(locGrab.size(), QSize(400, 360));
    int locGrid = 0, locModel = 0, locBelow = 0;
    long locModelX = 0, locModelY = 0;
    for (int y = 0; y < locGrab.height(); y++)
        for (int x = 0; x < locGrab.width(); x++)
        {
            QRgb locPixel = locGrab.pixel(x, y);
            bool locInside = y < 300;
            locGrid += locInside && locPixel == 0xFF9F9F9Fu;
            if (locInside && locPixel == 0xFF3060C0u)
                locModel++, locModelX += x, locModelY += y;
            // Below the 4:3 area the view's own background, never a frame's pixels.
            locBelow +=
                !locInside && (locPixel == 0xFF3060C0u || locPixel == 0xFF9F9F9Fu || locPixel == 0xFF000000u);
        }
    EXPECT_GT(locGrid, 100);
    EXPECT_GT(locModel, 50);
    EXPECT_EQ(locBelow, 0);
    // The model sits where the camera looks, about the middle of the smaller picture.
    ASSERT_GT(locModel, 0);
    EXPECT_NEAR(double(locModelX) / locModel, 200.0, 40.0);
    EXPECT_NEAR(double(locModelY) / locModel, 150.0, 60.0);

    // The scene and its device go: the pane keeps showing the last picture, its own copy.
    View()->OnDestroy();
    EXPECT_EQ(myView->grab().toImage(), locGrab);
}

TEST_F(PranvelTest, TheModelTreeFilledByTheSceneKeepsTheUsersExpansions)
{
    Write("pranvel.cfg", "stateFile states.txt\r\n");
    Write("states.txt", "STND Standing\r\nWALK Walking\r\n");
    StartOnTheEditorScene();
    QRenderEditor* e = QRenderEditor::ourInstance;
    ShowBox("STND");
    UI_Dialog* locPane = myApp->GetMainFrame()->GetTreePane();
    const int c = IDC_MODEL_TREE;
    // The aNumber-th child (from 0) of anItem (UI_TREE_ROOT: the top level).
    auto locChild = [&](UI_TreeItem anItem, int aNumber) {
        UI_TreeItem locItem = UI_TreeGetRelated(locPane, c, anItem, UI_TREE_CHILD);
        for (int i = 0; i < aNumber && locItem; i++)
            locItem = UI_TreeGetRelated(locPane, c, locItem, UI_TREE_NEXT);
        return locItem;
    };
    auto locText = [&](UI_TreeItem anItem) {
        std::string locString;
        UI_TreeGetText(locPane, c, anItem, &locString);
        return locString;
    };
    PranvelTreeControl locTree(locPane, c);
    ASSERT_TRUE(e->RebuildTree(&locTree));
    EXPECT_EQ(UI_TreeGetCount(locPane, c), 7);
    UI_TreeItem locRoot = locChild(UI_TREE_ROOT, 0);
    EXPECT_EQ(locText(locRoot), "box.qrb");
    EXPECT_EQ(UI_TreeGetData(locPane, c, locRoot), 0);
    UI_TreeItem locArm = locChild(locRoot, 1);
    EXPECT_EQ(locText(locArm), "arm");
    intptr_t locData = UI_TreeGetData(locPane, c, locArm);
    EXPECT_EQ(PranvelTreeControl::GetKind(locData), int(QRE_TREE_PART));
    EXPECT_EQ(PranvelTreeControl::GetIndex(locData), 1);
    UI_TreeItem locWalk = locChild(locArm, 1);
    EXPECT_EQ(locText(locWalk), "State 1 (Walking)");
    locData = UI_TreeGetData(locPane, c, locWalk);
    EXPECT_EQ(PranvelTreeControl::GetKind(locData), int(QRE_TREE_STATE));
    EXPECT_EQ(PranvelTreeControl::GetIndex(locData), 1);

    // The user opens the root and the arm in the view; the scene remembers both texts.
    QTreeView* locView = static_cast<QTreeView*>(UI_GetControlWidget(locPane, c));
    QModelIndex locRootIndex = locView->model()->index(0, 0);
    locView->expand(locRootIndex);
    locView->expand(locView->model()->index(1, 0, locRootIndex));
    ASSERT_EQ(e->GetExpandedItems().Count(), 2);
    EXPECT_STREQ(e->GetExpandedItems()[1], "arm");
    // Two rebuilds open the root and the arm again.
    for (int i = 0; i < 2; i++)
    {
        ASSERT_TRUE(e->RebuildTree(&locTree));
        EXPECT_TRUE(UI_TreeIsExpanded(locPane, c, locChild(UI_TREE_ROOT, 0))) << i;
        EXPECT_TRUE(UI_TreeIsExpanded(locPane, c, locChild(locChild(UI_TREE_ROOT, 0), 1))) << i;
        EXPECT_FALSE(UI_TreeIsExpanded(locPane, c, locChild(locChild(UI_TREE_ROOT, 0), 0))) << i;
        EXPECT_EQ(e->GetExpandedItems().Count(), 2) << i;
        EXPECT_EQ(UI_TreeGetCount(locPane, c), 7) << i;
    }
    // Other messages are not the adapter's.
    UI_Message locOther;
    locOther.myControlId = c;
    locOther.myNotifyCode = UI_TVN_SELCHANGED;
    EXPECT_FALSE(locTree.OnMessage(locOther, e));
    // Collapsing forgets it.
    locRootIndex = locView->model()->index(0, 0);
    locView->expand(locRootIndex);
    locView->collapse(locView->model()->index(1, 0, locRootIndex));
    ASSERT_TRUE(e->RebuildTree(&locTree));
    EXPECT_FALSE(UI_TreeIsExpanded(locPane, c, locChild(locChild(UI_TREE_ROOT, 0), 1)));
}

TEST_F(PranvelTest, AModelLoadedThroughLoadQREIsShownInTheWindow)
{
    ASSERT_TRUE(QRT_WriteSampleFolder(myDir.string()));
    ASSERT_TRUE(MET_WriteShipFiles());
    Write("pranvel.cfg", "bgColor 0x000000\r\nstateFile states.txt\r\n");
    Write("states.txt", "STND Standing\r\n");
    Write("ship.qre", "VERSION_NUMBER 7\r\nOPENMODEL \"ship.lws\" \"ship\" \"STND\"\r\n");
    StartOnTheEditorScene();
    QRenderEditor* e = QRenderEditor::ourInstance;
    EXPECT_FALSE(State(UI_ID_FILE_SAVE).myEnabled);
    EXPECT_FALSE(State(ID_MODEL_SET_ACTIVE_STATE).myEnabled);
    ASSERT_NE(CommandHandler::Get(), nullptr);
    ASSERT_TRUE(LoadQRE(*CommandHandler::Get(), "ship.qre", false)) << EditorError::GetDetail();
    ASSERT_TRUE(e->IsModelLoaded());
    View()->GetScene()->PublishModelShown();
    for (int locId : {int(UI_ID_FILE_SAVE), int(ID_FILE_QRB_EXPORT), int(ID_MODEL_REFRESH),
                      int(ID_MODEL_SET_ACTIVE_STATE)})
        EXPECT_TRUE(State(locId).myEnabled) << locId;
    ASSERT_EQ(View()->GetScene()->GetNumUsedStates(), 1);
    EXPECT_STREQ(View()->GetScene()->GetUsedState(0), "STND");

    View()->Tick(PRANVEL_RENDER_TIMER);
    View()->Tick(PRANVEL_RENDER_TIMER);
    QImage locGrab = myView->grab().toImage();
    ASSERT_FALSE(locGrab.isNull());
    int locGrid = 0, locModel = 0;
    for (int y = 0; y < locGrab.height(); y++)
        for (int x = 0; x < locGrab.width(); x++)
        {
            QRgb locPixel = locGrab.pixel(x, y);
            if (locPixel == 0xFF9F9F9Fu || locPixel == 0xFF7F7F7Fu)
                locGrid++;
            else if (locPixel != 0xFF000000u)
                locModel++;
        }
    EXPECT_GT(locGrid, 100);
    EXPECT_GT(locModel, 500);
}
