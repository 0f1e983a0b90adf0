// CPranvelView, the right pane: the live 3D view. At creation it brings up the
// scene, the settings, the state file and the remembered paths; a 20 ms timer
// then moves the camera by keys, picks states by function keys and renders;
// mouse moves turn, pan and zoom the camera; the render area is kept at 4:3.
#pragma once

#include <atomic>
#include <string>

#include "modeleditor/app/pranvel_scene.h"
#include "platform/ui/ui_frame.h"
#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_string.h"

typedef PranvelScene* (*PranvelSceneFactory)(QR_HostWindow* aWindow, void* anInputWindow);

class CPranvelView : public UI_FrameHandler
{
public:
    CPranvelView();
    ~CPranvelView() override;

    // The start-up sequence on the frame's view pane: -1 when the scene cannot
    // be made ("Failed to create QRenderEditor."), else 1.
    int Create(UI_Frame* aFrame);
    // The shutdown sequence: timer off, settings and paths saved, scene gone.
    void OnDestroy();

    // On: the 20 ms timer 666. Off: killed; no tick arrives afterwards.
    void EnableRenderTimer(bool anOnFlag);

    bool OnViewMessage(UI_Frame* aFrame, const UI_ViewMessage& aMessage) override;
    void OnTimer(UI_Frame* aFrame, int anId) override;
    // The tick's work for one timer id (tests call it straight).
    void Tick(int anId);
    void OnMouseMove(unsigned aKeyState, int anX, int aY);
    void OnSize(int aWidth, int aHeight);

    void LoadSettings();
    void SaveSettings();
    void LoadStateFile();

    PranvelScene* GetScene() const { return myScene; }
    QC_GrowingArray<QC_String>* GetStateCodes() { return myStateCodes; }
    QC_GrowingArray<QC_String>* GetStateNames() { return myStateNames; }
    const std::string& GetStartUpDirectory() const { return myStartUpDirectory; }
    bool IsTracking() const { return myTrackingFlag; }

    // The render area for a view of aWidth x aHeight pixels: the largest 4:3
    // rectangle at its top left, by the integer rule of the original.
    static void FitRenderArea(int* aWidth, int* aHeight);

    // Set by the batch conversion's worker for its whole run; ticks return at once meanwhile.
    static std::atomic<bool> ourBatchBusyFlag;
    // How the scene is made (tests put a recording scene here).
    static PranvelSceneFactory ourSceneFactory;

private:
    static void Present(void* aUserData, const struct GFX_Image& anImage);

    UI_Frame* myFrame = nullptr;
    PranvelScene* myScene = nullptr;
    QR_HostWindow* myHostWindow = nullptr;
    QC_GrowingArray<QC_String>* myStateCodes;
    QC_GrowingArray<QC_String>* myStateNames;
    std::string myStartUpDirectory;
    int myLastMouseX = 0;
    int myLastMouseY = 0;
    bool myInTimerFlag = false;
    bool myTrackingFlag = false;
    QC_String myStateFile;
};
