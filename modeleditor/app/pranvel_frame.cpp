// Pranvel's application, document, main frame and About box.
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_colorbutton.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_tree.h"

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt.h"

#include <cstdio>
#include <string>
#include <strings.h>

PranvelFrameDialogs ourPranvelDialogs;
PranvelTreeOps ourPranvelTreeOps;

// [SECTION] resources
// [SECTION] document
// [SECTION] main frame
// [SECTION] About box and application

// --- [SECTION] resources ---

namespace
{
const UI_MenuEntry ourMenu[] = {
    {UI_MENU_POPUP, 0, "&File"},
    {UI_MENU_ITEM, UI_ID_FILE_OPEN, "&Open...\tCtrl+O"},
    {UI_MENU_ITEM, UI_ID_FILE_SAVE, "&Save\tCtrl+S"},
    {UI_MENU_ITEM, UI_ID_FILE_SAVE_AS, "Save &As..."},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, ID_FILE_QRB_EXPORT, "QRB &Export...\tCtrl+E"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, UI_ID_FILE_MRU_FIRST, "Recent File"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, UI_ID_APP_EXIT, "E&xit"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Edit"},
    {UI_MENU_ITEM, ID_EDIT_UNDO, "&Undo\tCtrl+Z"},
    {UI_MENU_ITEM, ID_EDIT_CUT, "Cu&t\tCtrl+X"},
    {UI_MENU_ITEM, ID_EDIT_COPY, "&Copy\tCtrl+C"},
    {UI_MENU_ITEM, ID_EDIT_PASTE, "&Paste\tCtrl+V"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&View"},
    {UI_MENU_ITEM, UI_ID_VIEW_TOOLBAR, "&Toolbar"},
    {UI_MENU_ITEM, UI_ID_VIEW_STATUS_BAR, "&Status Bar"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Tools"},
    {UI_MENU_ITEM, ID_TOOLS_BATCH_CONVERSION, "Batch Conversion..."},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, ID_TOOLS_SETUP_LIGHT, "Setup Light..  Ctrl+L"},
    {UI_MENU_ITEM, ID_TOOLS_TOGGLE_POINT_LIGHT, "Toggle Point Light   L"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, ID_TOOLS_COLORS, "&Colors..."},
    {UI_MENU_ITEM, ID_TOOLS_OPTIONS, "&Options..."},
    {UI_MENU_ITEM, ID_TOOLS_MESH_EDITOR, "Mesh editor..  Ctrl+M"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, ID_TOOLS_CHECK_LWS, "Check LWS"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Model"},
    {UI_MENU_ITEM, ID_MODEL_SET_ACTIVE_STATE, "Set Active &State..."},
    {UI_MENU_ITEM, ID_MODEL_REFRESH, "&Refresh\tCtrl+R"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Help"},
    {UI_MENU_ITEM, UI_ID_APP_ABOUT, "&About Pranvel..."},
    {UI_MENU_END, 0, nullptr},
};

// Windows virtual keys of the accelerator table.
enum
{
    VK_BACK_KEY = 0x08,
    VK_INSERT_KEY = 0x2D,
    VK_DELETE_KEY = 0x2E,
};

const UI_Accelerator ourAccelerators[] = {
    {'C', UI_MOD_CONTROL, ID_EDIT_COPY},
    {VK_INSERT_KEY, UI_MOD_CONTROL, ID_EDIT_COPY},
    {VK_DELETE_KEY, UI_MOD_SHIFT, ID_EDIT_CUT},
    {'X', UI_MOD_CONTROL, ID_EDIT_CUT},
    {'V', UI_MOD_CONTROL, ID_EDIT_PASTE},
    {VK_INSERT_KEY, UI_MOD_SHIFT, ID_EDIT_PASTE},
    {VK_BACK_KEY, UI_MOD_ALT, ID_EDIT_UNDO},
    {'Z', UI_MOD_CONTROL, ID_EDIT_UNDO},
    {'O', UI_MOD_CONTROL, UI_ID_FILE_OPEN},
    {'S', UI_MOD_CONTROL, UI_ID_FILE_SAVE},
    {'R', 0, ID_REAPPLY_ACTIVE_STATE},
    {'R', UI_MOD_CONTROL, ID_MODEL_REFRESH},
    {'A', UI_MOD_SHIFT, ID_RESET_CAMERA},
    {'E', UI_MOD_CONTROL, ID_FILE_QRB_EXPORT},
    {'L', 0, ID_TOOLS_TOGGLE_POINT_LIGHT},
    {'L', UI_MOD_CONTROL, ID_TOOLS_SETUP_LIGHT},
    {'M', UI_MOD_CONTROL, ID_TOOLS_MESH_EDITOR},
};

const UI_ToolButton ourToolButtons[] = {
    {UI_ID_FILE_NEW, 0, "New"},      {UI_ID_FILE_OPEN, 1, "Open"},  {UI_ID_FILE_SAVE, 2, "Save"},
    {0, -1, nullptr},                {ID_EDIT_CUT, 3, "Cut"},       {ID_EDIT_COPY, 4, "Copy"},
    {ID_EDIT_PASTE, 5, "Paste"},     {0, -1, nullptr},              {UI_ID_APP_ABOUT, 6, "About"},
    {0, -1, nullptr},                {ID_MODEL_REFRESH, 7, "Reload all model data"},
};

const UI_Indicator ourIndicators[] = {
    {UI_ID_INDICATOR_CAPS, "CAP"},
    {UI_ID_INDICATOR_NUM, "NUM"},
    {UI_ID_INDICATOR_SCRL, "SCRL"},
};

// The toolbar's 16 x 15 pictures: '.' clear, then k black, w white, y yellow,
// b blue, g grey, r red.
const char* const ourToolArt[8][15] = {
    {"...kkkkkkk......", "...kwwwwwkk.....", "...kwwwwwkwk....", "...kwwwwwkkkk...", "...kwwwwwwwwk...",
     "...kwwwwwwwwk...", "...kwwwwwwwwk...", "...kwwwwwwwwk...", "...kwwwwwwwwk...", "...kwwwwwwwwk...",
     "...kwwwwwwwwk...", "...kwwwwwwwwk...", "...kkkkkkkkkk...", "................", "................"},
    {"................", "..........kkk...", ".........k...k.k", "..............kk", ".kkk.........kkk",
     "kyyykkkkkkk.....", "kyyyyyyyyyk.....", "kyyykkkkkkkkk...", "kyykgggggggggk..", "kykgggggggggk...",
     "kkgggggggggk....", "kkkkkkkkkkk.....", "................", "................", "................"},
    {"kkkkkkkkkkkkkk..", "kbkwwwwwwwwkbk..", "kbkwwwwwwwwkbk..", "kbkwwwwwwwwkbk..", "kbkwwwwwwwwkbk..",
     "kbbkkkkkkkkbbk..", "kbbbbbbbbbbbbk..", "kbbkkkkkkkkbbk..", "kbbkkkkkgggkbk..", "kbbkkkkkgggkbk..",
     "kbbkkkkkgggkbk..", ".kkkkkkkkkkkkk..", "................", "................", "................"},
    {"....k.....k.....", "....k.....k.....", "....k.....k.....", "....kk...kk.....", ".....k...k......",
     ".....kk.kk......", "......kkk.......", ".......k........", "......bbb.......", "....bbb.bbb.....",
     "...b..b.b..b....", "...b..b.b..b....", "...b..b.b..b....", "....bb...bb.....", "................"},
    {"kkkkkk..........", "kwwwwkk.........", "kwkkwkwk........", "kwwwwkkkkkk.....", "kwkkkkwwwwkk....",
     "kwwwwkwkkwkwk...", "kwkkkkwwwwkkkk..", "kwwwwkwkkkkkwk..", "kkkkkkwwwwwwwk..", "......wkkkkkwk..",
     "......kwwwwwwk..", "......kkkkkkkk..", "................", "................", "................"},
    {"....kkkk........", ".kkkgwwgkkk.....", "kyyykkkkyyyk....", "kyykkkkkkkyk....", "kyykwwwwwwkk....",
     "kyykwkkkkwkwk...", "kyykwwwwwwkkkk..", "kyykwkkkkkwwwk..", "kyykwwwwwwwwwk..", "kyykwkkkkkkkwk..",
     "kyykwwwwwwwwwk..", "kkkkkkkkkkkkkk..", "................", "................", "................"},
    {"......bbbb......", "....bbbbbbbb....", "...bbbbwwbbbb...", "..bbbbbwwbbbbb..", "..bbbbbbbbbbbb..",
     ".bbbbbwwwbbbbbb.", ".bbbbbbwwbbbbbb.", ".bbbbbbwwbbbbbb.", ".bbbbbbwwbbbbbb.", "..bbbbbwwbbbbb..",
     "..bbbbwwwwbbbb..", "...bbbbbbbbbb...", "....bbbbbbbb....", "......bbbb......", "................"},
    {"................", ".....kkkkk......", "...kkrrrrrkk.r..", "..krr.....rrkr..", "..kr.......rrr..",
     ".kr.......rrrr..", ".kr.............", ".kr.............", ".kr.............", "..kr.......kr...",
     "..krr.....rrk...", "...kkrrrrrkk....", ".....kkkkk......", "................", "................"},
};

std::vector<UI_Image> locToolImages()
{
    std::vector<UI_Image> locImages;
    for (const auto& locArt : ourToolArt)
    {
        UI_Image locImage;
        locImage.myWidth = 16;
        locImage.myHeight = 15;
        for (const char* locRow : locArt)
            for (int x = 0; x < 16; x++)
            {
                switch (locRow[x])
                {
                case 'k': locImage.myPixels.push_back(0xFF000000); break;
                case 'w': locImage.myPixels.push_back(0xFFFFFFFF); break;
                case 'y': locImage.myPixels.push_back(0xFFFFFF00); break;
                case 'b': locImage.myPixels.push_back(0xFF0000C0); break;
                case 'g': locImage.myPixels.push_back(0xFF808080); break;
                case 'r': locImage.myPixels.push_back(0xFFC00000); break;
                default: locImage.myPixels.push_back(0x00000000); break;
                }
            }
        locImages.push_back(locImage);
    }
    return locImages;
}

const std::vector<UI_Image>& locToolImageList()
{
    static const std::vector<UI_Image> ourImages = locToolImages();
    return ourImages;
}

const UI_ControlTemplate ourTreePaneControls[] = {
    {IDC_MODEL_TREE, UI_CONTROL_TREE, nullptr, 0, 0, 150, 100, UI_STYLE_BORDER | UI_STYLE_TV_NOKEYS},
};
const UI_DialogTemplate ourTreePaneTemplate = {0, "", 150, 100, "MS Shell Dlg", 8, ourTreePaneControls, 1};

const UI_ControlTemplate ourAboutControls[] = {
    {-1, UI_CONTROL_STATIC, "Pranvel Version 1.0", 40, 10, 119, 8, 0},
    {-1, UI_CONTROL_STATIC, "Copyright (C) 2002", 40, 25, 119, 8, 0},
    {IDC_ABOUT_VERSION, UI_CONTROL_EDIT, "", 40, 40, 119, 14, UI_STYLE_READONLY},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 178, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
};
} // namespace

const UI_FrameTemplate CMainFrame::ourTemplate = {
    "Pranvel",
    ourMenu,
    int(sizeof(ourMenu) / sizeof(ourMenu[0])),
    ourAccelerators,
    int(sizeof(ourAccelerators) / sizeof(ourAccelerators[0])),
    ourToolButtons,
    int(sizeof(ourToolButtons) / sizeof(ourToolButtons[0])),
    nullptr, // the images are made at start-up
    0,
    ourIndicators,
    int(sizeof(ourIndicators) / sizeof(ourIndicators[0])),
    300,
};

// --- [SECTION] document ---

bool CPranvelDoc::OnNewDocument(UI_Frame*)
{
    return true;
}

bool CPranvelDoc::SplitDocumentPath(const char* aPath, std::string* aSlashPath, std::string* aTitle, bool* aQREFlag)
{
    std::string locPath = aPath ? aPath : "";
    for (char& locChar : locPath)
        if (locChar == '\\')
            locChar = '/';
    std::string locEnd = locPath.size() > 4 ? locPath.substr(locPath.size() - 4) : locPath;
    bool locQRE = strcasecmp(locEnd.c_str(), ".qre") == 0;
    if (!locQRE && strcasecmp(locEnd.c_str(), ".lws") != 0 && strcasecmp(locEnd.c_str(), ".lwo") != 0)
        return false;
    size_t locSlash = locPath.rfind('/');
    size_t locStart = locSlash == std::string::npos ? 0 : locSlash + 1;
    size_t locDot = locPath.rfind('.');
    *aTitle = locPath.substr(locStart, locDot == std::string::npos || locDot < locStart ? std::string::npos
                                                                                        : locDot - locStart);
    *aSlashPath = locPath;
    *aQREFlag = locQRE;
    return true;
}

bool CPranvelDoc::OnOpenDocument(UI_Frame*, const char* aPath)
{
    std::string locPath, locTitle;
    bool locQRE = false;
    if (!SplitDocumentPath(aPath, &locPath, &locTitle, &locQRE))
        return false;
    void (*locOpen)(const char*, const char*) = locQRE ? ourPranvelTreeOps.myOpenQRE : ourPranvelTreeOps.myOpenLightWave;
    if (!locOpen)
        return false;
    // A failed load has been shown to the user already.
    locOpen(locPath.c_str(), locTitle.c_str());
    return true;
}

bool CPranvelDoc::OnSaveDocument(UI_Frame*, const char*)
{
    // The model is saved by the tree's commands, never by the document.
    return false;
}

bool CPranvelDoc::SaveModified(UI_Frame*)
{
    return !CLeftView::ourInstance || CLeftView::ourInstance->SaveModified();
}

std::vector<UI_FileFilter> CPranvelDoc::GetFileFilters()
{
    return UI_ParseFilterString(GetFileKindFilter(PATHS_MODEL));
}

// --- [SECTION] main frame ---

CMainFrame::~CMainFrame()
{
    Destroy();
}

bool CMainFrame::Create()
{
    UI_FrameTemplate locTemplate = ourTemplate;
    locTemplate.myToolImages = locToolImageList().data();
    locTemplate.myNumToolImages = int(locToolImageList().size());
    myFrame = UI_CreateFrame(locTemplate);
    if (!myFrame)
        return false;
    UI_FrameSetDocument(myFrame, &myDocument);
    if (!OnCreateClient())
    {
        UI_DestroyFrame(myFrame);
        myFrame = nullptr;
        return false;
    }
    UI_FrameAddHandler(myFrame, this);
    OnCreate();
    return true;
}

bool CMainFrame::OnCreateClient()
{
    myTreePane = UI_FrameCreatePane(myFrame, ourTreePaneTemplate, CLeftView::PaneProc, IDC_MODEL_TREE);
    if (!myTreePane)
        return false;
    // The tree view is asked first for commands, as the active view.
    myLeftView.Attach(myFrame, myTreePane, &myView);
    UI_FrameAddHandler(myFrame, &myLeftView);
    return myView.Create(myFrame) == 1;
}

void CMainFrame::OnCreate()
{
    // Dialogs hand their mouse moves to this frame's render view.
    PranvelSetDialogFrame(myFrame);
    if (ourPranvelDialogs.myCreateColors)
        myColorsDialog = ourPranvelDialogs.myCreateColors();
    myStateDialog.Create(myView.GetScene(), nullptr);
    myStateDialog.SetLists(myView.GetStateCodes(), myView.GetStateNames());
}

void CMainFrame::Destroy()
{
    if (!myFrame)
        return;
    myStateDialog.Destroy();
    if (PranvelGetDialogFrame() == myFrame)
        PranvelSetDialogFrame(nullptr);
    if (myColorsDialog)
        UI_DestroyDialog(myColorsDialog);
    myColorsDialog = nullptr;
    UI_FrameRemoveHandler(myFrame, this);
    UI_FrameRemoveHandler(myFrame, &myLeftView);
    myLeftView.Detach();
    myView.OnDestroy();
    UI_DestroyFrame(myFrame);
    myFrame = nullptr;
    myTreePane = nullptr;
}

void CMainFrame::ToggleDialog(UI_Dialog* aDialog, bool* aShownFlag)
{
    if (!aDialog)
        return;
    *aShownFlag = !*aShownFlag;
    UI_ShowDialog(aDialog, *aShownFlag);
}

void CMainFrame::OnSetupLight()
{
    PranvelLightSetup locValues;
    if (!ourPranvelDialogs.myRunLightSetup(&locValues))
        return;
    PranvelScene* locScene = myView.GetScene();
    myView.EnableRenderTimer(false);
    locScene->SetDirectionalLight(locValues.myDirection * 0.017453289f, locValues.myElevation * 0.017453289f,
                                  locValues.myRed * 0.003921569f, locValues.myGreen * 0.003921569f,
                                  locValues.myBlue * 0.003921569f);
    uint32_t locBGR = locValues.myAmbientBGR;
    locScene->SetAmbientColor(((locBGR & 0xFF) << 16) | (locBGR & 0xFF00) | ((locBGR >> 16) & 0xFF));
    myView.EnableRenderTimer(true);
}

bool CMainFrame::OnCommand(UI_Frame*, int anId)
{
    PranvelScene* locScene = myView.GetScene();
    switch (anId)
    {
    case ID_TOOLS_OPTIONS:
        if (!ourPranvelDialogs.myRunOptions)
            return false;
        ourPranvelDialogs.myRunOptions();
        return true;
    case ID_TOOLS_BATCH_CONVERSION:
        if (!ourPranvelDialogs.myRunBatchConversion)
            return false;
        myView.EnableRenderTimer(false);
        UI_TreeReset(myTreePane, IDC_MODEL_TREE);
        ourPranvelDialogs.myRunBatchConversion();
        myView.EnableRenderTimer(true);
        return true;
    case ID_MODEL_SET_ACTIVE_STATE:
    {
        bool locShow = !myStateDialog.IsVisible();
        if (locShow)
            myStateDialog.UpdateList();
        myStateDialog.Show(locShow);
        return true;
    }
    case ID_TOOLS_COLORS:
        ToggleDialog(myColorsDialog, &myColorsShownFlag);
        return myColorsDialog != nullptr;
    case ID_TOOLS_SETUP_LIGHT:
        if (!ourPranvelDialogs.myRunLightSetup)
            return false;
        OnSetupLight();
        return true;
    case ID_TOOLS_TOGGLE_POINT_LIGHT:
        locScene->TogglePointLight();
        return true;
    case ID_TOOLS_MESH_EDITOR:
        if (!ourPranvelDialogs.myRunMeshEditor)
            return false;
        if (locScene->HasTemplate())
            ourPranvelDialogs.myRunMeshEditor();
        return true;
    case ID_REAPPLY_ACTIVE_STATE:
        locScene->SetActiveState(QC_String());
        return true;
    case ID_RESET_CAMERA:
        locScene->ResetCamera();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::OnUpdateCommand(UI_Frame*, int anId, UI_CommandState* aState)
{
    PranvelScene* locScene = myView.GetScene();
    bool locLoaded = locScene && locScene->IsModelLoaded();
    switch (anId)
    {
    case UI_ID_FILE_NEW:
        aState->myEnabled = false;
        return true;
    case UI_ID_FILE_SAVE:
    case UI_ID_FILE_SAVE_AS:
    case ID_FILE_QRB_EXPORT:
    case ID_MODEL_REFRESH:
        aState->myEnabled = locLoaded;
        return true;
    case ID_MODEL_SET_ACTIVE_STATE:
        aState->myEnabled = locLoaded;
        // The dialog's close box hides it without this command: the mark asks the dialog.
        aState->myChecked = myStateDialog.IsVisible();
        return true;
    case ID_TOOLS_TOGGLE_POINT_LIGHT:
        aState->myEnabled = locScene != nullptr;
        aState->myChecked = locScene && locScene->IsLightInScene();
        return true;
    case ID_TOOLS_COLORS:
        aState->myEnabled = myColorsDialog != nullptr;
        aState->myChecked = myColorsShownFlag;
        return true;
    case ID_TOOLS_OPTIONS:
        aState->myEnabled = ourPranvelDialogs.myRunOptions != nullptr;
        return true;
    case ID_TOOLS_BATCH_CONVERSION:
        aState->myEnabled = ourPranvelDialogs.myRunBatchConversion != nullptr;
        return true;
    case ID_TOOLS_SETUP_LIGHT:
        aState->myEnabled = ourPranvelDialogs.myRunLightSetup != nullptr;
        return true;
    case ID_TOOLS_MESH_EDITOR:
        aState->myEnabled = ourPranvelDialogs.myRunMeshEditor != nullptr;
        return true;
    case ID_REAPPLY_ACTIVE_STATE:
    case ID_RESET_CAMERA:
        aState->myEnabled = locScene != nullptr;
        return true;
    default:
        return false;
    }
}

// --- [SECTION] About box and application ---

const UI_DialogTemplate CAboutDlg::ourTemplate = {
    IDD_ABOUTBOX, "About Pranvel", 235, 62, "MS Shell Dlg", 8, ourAboutControls, 4};

intptr_t CAboutDlg::DoModal(UI_Dialog* aParent)
{
    return UI_DoModal(
        ourTemplate,
        [](UI_Dialog* aDialog, const UI_Message& aMessage) -> intptr_t {
            if (aMessage.myKind == UI_MSG_SHOWWINDOW && aMessage.myNotifyCode == 1)
            {
                char locText[32];
                snprintf(locText, sizeof(locText), "QRB Version %d", PRANVEL_QRB_VERSION);
                UI_SetControlText(aDialog, IDC_ABOUT_VERSION, locText);
            }
            else if ((aMessage.myKind == UI_MSG_COMMAND &&
                      (aMessage.myControlId == UI_IDOK || aMessage.myControlId == UI_IDCANCEL)) ||
                     aMessage.myKind == UI_MSG_CLOSE)
                UI_EndDialog(aDialog, UI_IDOK);
            return 0;
        },
        aParent, nullptr);
}

bool CPranvelApp::InitInstance(int argc, char** argv)
{
    myMainFrame = new CMainFrame;
    if (!myMainFrame->Create())
    {
        delete myMainFrame;
        myMainFrame = nullptr;
        return false;
    }
    UI_Frame* locFrame = myMainFrame->GetFrame();
    UI_FrameAddHandler(locFrame, this);
    if (argc > 1 && argv[1] && argv[1][0] && !UI_FrameOpenDocument(locFrame, argv[1]))
    {
        ExitInstance();
        return false;
    }
    UI_FrameShow(locFrame);
    return true;
}

int CPranvelApp::Run()
{
    return myMainFrame ? UI_FrameRun(myMainFrame->GetFrame()) : 1;
}

void CPranvelApp::ExitInstance()
{
    delete myMainFrame;
    myMainFrame = nullptr;
}

bool CPranvelApp::OnCommand(UI_Frame*, int anId)
{
    if (anId != UI_ID_APP_ABOUT)
        return false;
    CAboutDlg locAbout;
    locAbout.DoModal(nullptr);
    return true;
}

bool CPranvelApp::OnUpdateCommand(UI_Frame*, int anId, UI_CommandState* aState)
{
    if (anId != UI_ID_APP_ABOUT)
        return false;
    aState->myEnabled = true;
    return true;
}
