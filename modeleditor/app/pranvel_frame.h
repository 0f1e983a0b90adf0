// Pranvel's shell: the application, the document, the main frame with its
// menus, toolbar, status bar and two panes (the model tree left, the render
// view right) and the About box.
#pragma once

#include <cstdint>

#include "modeleditor/app/pranvel_leftview.h"
#include "modeleditor/app/pranvel_statedlg.h"
#include "modeleditor/app/pranvel_view.h"
#include "platform/ui/ui_frame.h"

// What the light set-up dialog gives back: angles in degrees, the light
// colour in bytes, the ambient colour as the dialog holds it (0x00BBGGRR).
struct PranvelLightSetup
{
    float myDirection = 0.0f;
    float myElevation = 0.0f;
    uint8_t myRed = 0;
    uint8_t myGreen = 0;
    uint8_t myBlue = 0;
    uint32_t myAmbientBGR = 0;
};

// The dialogs behind the Tools menu, filled in by the programs' dialog code.
// A command whose dialog is missing is disabled.
struct PranvelFrameDialogs
{
    void (*myRunOptions)() = nullptr;
    void (*myRunBatchConversion)() = nullptr;
    // False unless the user pressed OK; aValues then holds the dialog's values.
    bool (*myRunLightSetup)(PranvelLightSetup* aValues) = nullptr;
    // The modeless "Object Colors" dialog, hidden.
    UI_Dialog* (*myCreateColors)() = nullptr;
    void (*myRunMeshEditor)() = nullptr;
};
extern PranvelFrameDialogs ourPranvelDialogs;

// What the model tree offers the document for opening a file: path with '/'
// and title; the tree reports failures itself.
struct PranvelTreeOps
{
    void (*myOpenQRE)(const char* aPath, const char* aTitle) = nullptr;
    void (*myOpenLightWave)(const char* aPath, const char* aTitle) = nullptr;
};
extern PranvelTreeOps ourPranvelTreeOps;

class CPranvelDoc : public UI_DocumentHandler
{
public:
    bool OnNewDocument(UI_Frame* aFrame) override;
    // A ".qre", ".lws" or ".lwo" file (any case) goes to the tree's open
    // operation; any other name is refused.
    bool OnOpenDocument(UI_Frame* aFrame, const char* aPath) override;
    bool OnSaveDocument(UI_Frame* aFrame, const char* aPath) override;
    std::vector<UI_FileFilter> GetFileFilters() override;
    // The model tree's unsaved-changes question (the history's flag, never the frame's).
    bool SaveModified(UI_Frame* aFrame) override;

    // The path and title the tree would receive, by the document's rules;
    // false for a refused name.
    static bool SplitDocumentPath(const char* aPath, std::string* aSlashPath, std::string* aTitle, bool* aQREFlag);
};

class CMainFrame : public UI_FrameHandler
{
public:
    ~CMainFrame() override;
    // The frame with its bars and panes; false when a pane cannot be made.
    bool Create();
    void Destroy();

    bool OnCommand(UI_Frame* aFrame, int anId) override;
    bool OnUpdateCommand(UI_Frame* aFrame, int anId, UI_CommandState* aState) override;

    UI_Frame* GetFrame() const { return myFrame; }
    CPranvelView* GetView() { return &myView; }
    CLeftView* GetLeftView() { return &myLeftView; }
    UI_Dialog* GetTreePane() const { return myTreePane; }
    CSetActiveStateDlg* GetStateDialog() { return &myStateDialog; }
    bool IsStateDialogShown() const { return myStateDialog.IsVisible(); }

    static const UI_FrameTemplate ourTemplate;

private:
    bool OnCreateClient();
    void OnCreate();
    void OnSetupLight();
    void ToggleDialog(UI_Dialog* aDialog, bool* aShownFlag);

    UI_Frame* myFrame = nullptr;
    UI_Dialog* myTreePane = nullptr;
    CLeftView myLeftView;
    CPranvelView myView;
    UI_Dialog* myColorsDialog = nullptr;
    bool myColorsShownFlag = false;
    CSetActiveStateDlg myStateDialog;
    CPranvelDoc myDocument;
};

// Gallery mode (platform/ui/ui_gallery.h): shoots the shown frame and every
// dialog of the editor; 0 when each one opened.
int PranvelGallery(CMainFrame* aMainFrame);

class CAboutDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);
    static const UI_DialogTemplate ourTemplate;
};

class CPranvelApp : public UI_FrameHandler
{
public:
    // The frame, the command line's file (a failed open fails start-up) and
    // the maximised window. False when anything fails.
    bool InitInstance(int argc, char** argv);
    // The message loop; its exit value.
    int Run();
    void ExitInstance();

    bool OnCommand(UI_Frame* aFrame, int anId) override;
    bool OnUpdateCommand(UI_Frame* aFrame, int anId, UI_CommandState* aState) override;

    CMainFrame* GetMainFrame() { return myMainFrame; }

private:
    CMainFrame* myMainFrame = nullptr;
};
