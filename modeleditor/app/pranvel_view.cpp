// The render view: start-up and shutdown, the render timer, camera control by
// keys and mouse, the 4:3 render area, and the settings and state files.
#include "modeleditor/app/pranvel_view.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/qre_command.h"

#include "platform/gfx/gfx_device.h"
#include "platform/os/os_file.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt.h"
#include "platform/ui/ui_qt.h"
#include "qinput/qi_input.h"
#include "qrender/qr_renderd3d.h"

#include <QWidget>

#include <cstdio>
#include <vector>

std::atomic<bool> CPranvelView::ourBatchBusyFlag{false};
PranvelSceneFactory CPranvelView::ourSceneFactory = PranvelScene::Create;
PranvelScene* PranvelScene::ourInstance = nullptr;

namespace
{
// Windows virtual keys and DirectInput scan codes the view reads.
enum
{
    VK_SHIFT_KEY = 0x10,
    VK_LEFT_KEY = 0x25,
    VK_UP_KEY = 0x26,
    VK_RIGHT_KEY = 0x27,
    VK_DOWN_KEY = 0x28,
    DIK_B_KEY = 0x30,
    DIK_LSHIFT_KEY = 0x2A,
    DIK_RSHIFT_KEY = 0x36,
    DIK_F1_KEY = 0x3B,
};

void locMessage(const char* aText)
{
    UI_MessageBox(PRANVEL_CAPTION, aText, OS_MB_OK);
}

QC_GrowingArray<QC_String>* locNewStateArray()
{
    QC_GrowingArray<QC_String>* locArray = new QC_GrowingArray<QC_String>;
    locArray->Init(10, 10, true);
    return locArray;
}
} // namespace

CPranvelView::CPranvelView() : myStateCodes(locNewStateArray()), myStateNames(locNewStateArray())
{
}

CPranvelView::~CPranvelView()
{
    if (myScene)
        OnDestroy();
    delete myStateCodes;
    delete myStateNames;
    delete myHostWindow;
}

void CPranvelView::Present(void* aUserData, const GFX_Image& anImage)
{
    // The device keeps the frame until its next present; the pane copies it when the device
    // lets it go (myReleaseFunc).
    CPranvelView* locView = static_cast<CPranvelView*>(aUserData);
    UI_FrameShowViewPixels(locView->myFrame, anImage.myPixels, int(anImage.myWidth), int(anImage.myHeight),
                           int(anImage.myPitch));
}

int CPranvelView::Create(UI_Frame* aFrame)
{
    myFrame = aFrame;
    // The input library reads the keys of the view's window.
    UI_FrameFocusView(aFrame);
    if (!myHostWindow)
    {
        myHostWindow = new QR_HostWindow{Present, this};
        // The last picture is painted while the software renderer draws the next.
        myHostWindow->myDrawingFunc = [](void* aUserData)
        { UI_FrameUpdateView(static_cast<CPranvelView*>(aUserData)->myFrame); };
        myHostWindow->myReleaseFunc = [](void* aUserData)
        { UI_FrameKeepViewPixels(static_cast<CPranvelView*>(aUserData)->myFrame); };
    }
    myScene = ourSceneFactory(myHostWindow, UI_GetFrameView(aFrame));
    if (!myScene)
    {
        locMessage("Failed to create QRenderEditor.");
        return -1;
    }
    PranvelScene::ourInstance = myScene;
    char locDirectory[4096];
    if (OS_GetCurrentDirectory(locDirectory, sizeof(locDirectory)))
        myStartUpDirectory = locDirectory;
    OS_SetCurrentDirectory(myStartUpDirectory.c_str());

    LoadPathsFile();
    LoadSettings();
    myScene->SetStateLists(myStateCodes, myStateNames);
    // The edit-command history (its first command holds the scene's working directory).
    if (!CommandHandler::Create())
        locMessage("Failed to create CommandHandler.");
    UI_FrameAddHandler(aFrame, this);
    EnableRenderTimer(true);
    return 1;
}

void CPranvelView::OnDestroy()
{
    EnableRenderTimer(false);
    if (myFrame)
        UI_FrameRemoveHandler(myFrame, this);
    if (myScene)
        SaveSettings();
    CommandHandler::Destroy();
    if (PranvelScene::ourInstance == myScene)
        PranvelScene::ourInstance = nullptr;
    delete myScene;
    myScene = nullptr;
    if (!myStartUpDirectory.empty())
        OS_SetCurrentDirectory(myStartUpDirectory.c_str());
    SavePathsFile();
}

void CPranvelView::EnableRenderTimer(bool anOnFlag)
{
    if (!myFrame)
        return;
    // A killed timer sends nothing more, so no late tick needs dropping.
    if (anOnFlag)
        UI_FrameSetTimer(myFrame, PRANVEL_RENDER_TIMER, PRANVEL_RENDER_PERIOD);
    else
        UI_FrameKillTimer(myFrame, PRANVEL_RENDER_TIMER);
}

// --- timer ---

void CPranvelView::OnTimer(UI_Frame*, int anId)
{
    Tick(anId);
}

void CPranvelView::Tick(int anId)
{
    if (myInTimerFlag || ourBatchBusyFlag || !myScene)
        return;
    myInTimerFlag = true;
    int locFocus = UI_FrameGetFocus(myFrame);
    if (locFocus == UI_FOCUS_VIEW || locFocus == UI_FOCUS_PANE)
    {
        float locStep = UI_GetAsyncKeyState(VK_SHIFT_KEY) ? 0.1f : 1.0f;
        if (locFocus == UI_FOCUS_VIEW)
        {
            if (UI_GetAsyncKeyState(VK_LEFT_KEY))
                myScene->PanCameraRight(-locStep);
            if (UI_GetAsyncKeyState(VK_RIGHT_KEY))
                myScene->PanCameraRight(locStep);
            if (UI_GetAsyncKeyState(VK_UP_KEY))
                myScene->ZoomCamera(locStep);
            if (UI_GetAsyncKeyState(VK_DOWN_KEY))
                myScene->ZoomCamera(-locStep);
        }
        QI_Device* locKeyboard = QI_Input::GetDevice(QI_KEYBOARD, 0);
        if (locKeyboard && locKeyboard->myNumButtons >= 256)
        {
            const QI_Button* locKeys = locKeyboard->myButtons;
            if (locKeys[DIK_B_KEY].WentDown())
                myScene->ToggleBoneOverlay();
            bool locShift = locKeys[DIK_LSHIFT_KEY].IsDown() || locKeys[DIK_RSHIFT_KEY].IsDown();
            int locNumStates = myScene->GetNumUsedStates();
            for (int i = 0; i < locNumStates && i < 20; i++)
            {
                if ((i < 10) == locShift)
                    continue;
                if (locKeys[DIK_F1_KEY + i % 10].WentDown())
                {
                    myScene->SetActiveState(myScene->GetUsedState(i));
                    break;
                }
            }
        }
    }
    if (anId == PRANVEL_RENDER_TIMER)
        myScene->Render();
    myInTimerFlag = false;
}

// --- mouse and size ---

bool CPranvelView::OnViewMessage(UI_Frame*, const UI_ViewMessage& aMessage)
{
    if (aMessage.myKind == UI_VM_MOUSEMOVE)
        OnMouseMove(aMessage.myKeyState, aMessage.myX, aMessage.myY);
    else if (aMessage.myKind == UI_VM_SIZE)
        OnSize(aMessage.myWidth, aMessage.myHeight);
    // The default processing follows in every case.
    return false;
}

void CPranvelView::OnMouseMove(unsigned aKeyState, int anX, int aY)
{
    if (!myScene || !myScene->IsModelLoaded())
        myTrackingFlag = false;
    else if (!myTrackingFlag)
        myTrackingFlag = true;
    else
    {
        float locSpeed = myScene->GetBoundingRadius() * 0.05f;
        float dx = float(anX - myLastMouseX);
        float dy = float(aY - myLastMouseY);
        if ((aKeyState & UI_MK_LBUTTON) && (aKeyState & UI_MK_SHIFT))
        {
            myScene->PanCameraRight(-dx * locSpeed * 0.5f);
            myScene->PanCameraUp(dy * locSpeed * 0.5f);
        }
        else if ((aKeyState & UI_MK_LBUTTON) && (aKeyState & UI_MK_CONTROL))
        {
            myScene->ZoomCamera(-dx * locSpeed);
            myScene->ZoomCamera(dy * locSpeed);
        }
        else if (aKeyState & UI_MK_LBUTTON)
        {
            myScene->RotateCameraHeading(dx * 0.02f);
            myScene->RotateCameraPitch(dy * 0.02f);
        }
    }
    myLastMouseX = anX;
    myLastMouseY = aY;
}

void CPranvelView::FitRenderArea(int* aWidth, int* aHeight)
{
    int w = *aWidth;
    int h = *aHeight;
    if (3 * (w / 4) < h)
        h = 3 * (w / 4);
    else if (4 * (h / 3) < w)
        w = 4 * (h / 3);
    *aWidth = w;
    *aHeight = h;
}

void CPranvelView::OnSize(int aWidth, int aHeight)
{
    if (!myScene || !myFrame)
        return;
    int w = aWidth;
    int h = aHeight;
    FitRenderArea(&w, &h);
    // A collapsed pane has no area: the device keeps its size until it has one.
    if (w <= 0 || h <= 0)
        return;
    QWidget* locView = UI_GetFrameView(myFrame);
    QPoint locTopLeft = locView->mapTo(locView->window(), QPoint(0, 0));
    myScene->SetWindowRect(locTopLeft.x(), locTopLeft.y(), w, h);
}

// --- settings and state file ---

void CPranvelView::SaveSettings()
{
    if (!myScene)
        return;
    OS_SetCurrentDirectory(myStartUpDirectory.c_str());
    PranvelSettings locSettings;
    locSettings.myStateFile = myStateFile;
    myScene->GatherSettings(&locSettings);
    std::string locPath = myStartUpDirectory.empty() ? "pranvel.cfg" : myStartUpDirectory + "/pranvel.cfg";
    if (!WriteSettingsFile(locPath.c_str(), locSettings))
        locMessage("Could not open config file for writing. No settings saved.");
}

void CPranvelView::LoadSettings()
{
    PranvelSettings locSettings;
    if (!ReadSettingsFile("pranvel.cfg", &locSettings))
    {
        locMessage("Could not load config file. No settings loaded.");
        return;
    }
    if (locSettings.WasFound(SETTINGS_STATEFILE))
        myStateFile = locSettings.myStateFile;
    myScene->ApplySettings(locSettings);
    PranvelSettings locCurrent;
    myScene->GatherSettings(&locCurrent);
    // The light colour as the file holds it: whole bytes.
    float locColor[3];
    for (int i = 0; i < 3; i++)
    {
        float locValue = locCurrent.myDirLightColor[i];
        int locByte = locValue > 0.0f ? (locValue >= 1.0f ? 255 : int(locValue * 255.0f)) : 0;
        locColor[i] = float(locByte) / 255.0f;
    }
    myScene->SetDirectionalLight(locCurrent.myDirLightDirection, locCurrent.myDirLightElevation, locColor[0],
                                 locColor[1], locColor[2]);
    LoadStateFile();
}

void CPranvelView::LoadStateFile()
{
    OS_SetCurrentDirectory(myStartUpDirectory.c_str());
    std::vector<int> locWrongLines;
    if (!ReadStateFile(myStateFile, myStateCodes, myStateNames, &locWrongLines))
    {
        locMessage("Could not load state file. No states loaded. Please set state file and restart the Pranvel!");
        return;
    }
    for (size_t i = 0; i < locWrongLines.size(); i++)
        locMessage("Wrong number of characters in state name.");
}
