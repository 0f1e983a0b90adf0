// The model tree view: tree, context menus, file commands and edit commands.
#include "modeleditor/app/pranvel_leftview.h"
#include "modeleditor/app/pranvel_batch.h"
#include "modeleditor/app/pranvel_emittercmds.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_modeldlgs.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_statedlg.h"
#include "modeleditor/app/pranvel_surfacedlg.h"
#include "modeleditor/app/pranvel_view.h"

#include "modeleditor/editorerror.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/templateedit.h"
#include "platform/os/os_file.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt.h"
#include "qrender/qr_error.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

CLeftView* CLeftView::ourInstance = nullptr;

// [SECTION] context menus and pane messages
// [SECTION] file commands
// [SECTION] edit commands

namespace
{
constexpr uint32_t COMMAND_VERSION = QRECommand::CURRENT_VERSION;

void locBox(const char* aText)
{
    UI_MessageBox(PRANVEL_CAPTION, aText, OS_MB_OK);
}

// After SaveQRE failed: the message, the file and the system's reason.
void locSaveFailedBox()
{
    locBox((std::string("Failed to save file.\n") + EditorError::GetDetail()).c_str());
}

bool locEndsWithQRE(const char* aPath)
{
    size_t n = strlen(aPath);
    return n >= 4 && strcasecmp(aPath + n - 4, ".qre") == 0;
}

std::string locSlashes(const char* aPath)
{
    std::string locPath = aPath ? aPath : "";
    for (char& c : locPath)
        if (c == '\\')
            c = '/';
    return locPath;
}
} // namespace

// --- [SECTION] context menus and pane messages ---

namespace
{
const UI_MenuEntry ourModelMenu[] = {
    {UI_MENU_POPUP, 0, "Model"},
    {UI_MENU_ITEM, ID_TREE_EDIT_OBJECT, "Edit Object..."},
    {UI_MENU_ITEM, ID_TREE_ADD_STATE, "Add State..."},
    {UI_MENU_ITEM, ID_TREE_ADD_STATE_PARTIAL, "Add State Partial..."},
    {UI_MENU_ITEM, ID_TREE_VIEW_STATS, "View object stats..."},
    {UI_MENU_END, 0, nullptr},
};
const UI_MenuEntry ourPartMenu[] = {
    {UI_MENU_POPUP, 0, "Part"},
    {UI_MENU_ITEM, ID_TREE_PART_ADD_STATE, "Add State..."},
    {UI_MENU_ITEM, ID_TREE_ADD_NULL, "Add NULL Object..."},
    {UI_MENU_ITEM, ID_TREE_ADD_HIERARCHY, "Add Hierarchy"},
    {UI_MENU_ITEM, ID_TREE_EDIT_SURFACE, "Edit Surface..."},
    {UI_MENU_ITEM, ID_TREE_EDIT_BONE, "Edit joint/bone"},
    {UI_MENU_END, 0, nullptr},
};
const UI_MenuEntry ourStateMenu[] = {
    {UI_MENU_POPUP, 0, "State"},
    {UI_MENU_ITEM, ID_TREE_REMOVE_STATE, "Remove"},
    {UI_MENU_ITEM, ID_TREE_EDIT_STATE, "Edit State..."},
    {UI_MENU_ITEM, ID_TREE_ADD_EMITTER, "Add particle Emittor..."},
    {UI_MENU_ITEM, ID_TREE_EDIT_POSITION, "Edit position/orientation..."},
    {UI_MENU_END, 0, nullptr},
};
const UI_MenuEntry ourEmitterMenu[] = {
    {UI_MENU_POPUP, 0, "Emitter"},
    {UI_MENU_ITEM, ID_TREE_EDIT_EMITTER, "Edit Particle Emittor..."},
    {UI_MENU_ITEM, ID_TREE_DELETE_EMITTER, "Delete"},
    {UI_MENU_END, 0, nullptr},
};
const UI_MenuEntry ourLightMenu[] = {
    {UI_MENU_POPUP, 0, "Light"},
    {UI_MENU_ITEM, ID_TREE_EDIT_LIGHT, "Edit light..."},
    {UI_MENU_END, 0, nullptr},
};
#define Q_COUNT(a) int(sizeof(a) / sizeof(a[0]))

void locOpenQRE(const char* aPath, const char* aTitle)
{
    if (CLeftView::ourInstance)
        CLeftView::ourInstance->OpenQRE(aPath, aTitle);
}

void locOpenLightWave(const char* aPath, const char* aTitle)
{
    if (CLeftView::ourInstance)
        CLeftView::ourInstance->OpenLightWave(aPath, aTitle);
}
} // namespace

const UI_MenuEntry* PranvelContextMenu(int aKind, int* aNumEntries)
{
    switch (aKind)
    {
    case QRE_TREE_ROOT: *aNumEntries = Q_COUNT(ourModelMenu); return ourModelMenu;
    case QRE_TREE_PART: *aNumEntries = Q_COUNT(ourPartMenu); return ourPartMenu;
    case QRE_TREE_STATE: *aNumEntries = Q_COUNT(ourStateMenu); return ourStateMenu;
    case QRE_TREE_EMITTER: *aNumEntries = Q_COUNT(ourEmitterMenu); return ourEmitterMenu;
    case QRE_TREE_LIGHT: *aNumEntries = Q_COUNT(ourLightMenu); return ourLightMenu;
    default: *aNumEntries = 0; return nullptr;
    }
}

CLeftView::~CLeftView()
{
    Detach();
}

bool CLeftView::Attach(UI_Frame* aFrame, UI_Dialog* aPane, CPranvelView* aView)
{
    if (!aFrame || !aPane)
        return false;
    myFrame = aFrame;
    myPane = aPane;
    myView = aView;
    myTree = new PranvelTreeControl(aPane, IDC_MODEL_TREE);
    myEmitterCommands = new PranvelEmitterCommands(aView, myTree, aPane);
    UI_SetDialogUserData(aPane, this);
    ourInstance = this;
    ourPranvelTreeOps.myOpenQRE = locOpenQRE;
    ourPranvelTreeOps.myOpenLightWave = locOpenLightWave;
    ourPranvelDialogs.myRunBatchConversion = PranvelRunBatchConversion;
    return true;
}

void CLeftView::Detach()
{
    if (ourInstance == this)
    {
        ourInstance = nullptr;
        ourPranvelTreeOps.myOpenQRE = nullptr;
        ourPranvelTreeOps.myOpenLightWave = nullptr;
        ourPranvelDialogs.myRunBatchConversion = nullptr;
    }
    if (myPane)
        UI_SetDialogUserData(myPane, nullptr);
    delete myEmitterCommands;
    myEmitterCommands = nullptr;
    delete myTree;
    myTree = nullptr;
    myPane = nullptr;
    myFrame = nullptr;
    myView = nullptr;
}

intptr_t CLeftView::PaneProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CLeftView* locThis = static_cast<CLeftView*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return PranvelTreePaneProc(aDialog, aMessage);
    if (locThis->myTree->OnMessage(aMessage, locThis->Scene()))
        return 0;
    // Keys never reach the control's own handling (its no-keys style).
    if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == IDC_MODEL_TREE &&
        aMessage.myNotifyCode == UI_NM_RCLICK)
        locThis->OnRightButton(aMessage.myX, aMessage.myY);
    return 0;
}

int CLeftView::OnRightButton(int anX, int aY)
{
    UI_TreeItem locItem = UI_TreeHitTest(myPane, IDC_MODEL_TREE, anX, aY);
    if (!locItem)
        return 0;
    UI_TreeSelect(myPane, IDC_MODEL_TREE, locItem);
    int locCount = 0;
    const UI_MenuEntry* locMenu = PranvelContextMenu(ItemKind(UI_TreeGetData(myPane, IDC_MODEL_TREE, locItem)), &locCount);
    if (!locMenu)
        return 0;
    int locX = anX, locY = aY;
    UI_ControlToScreen(myPane, IDC_MODEL_TREE, &locX, &locY);
    return UI_TrackPopupMenu(myFrame, locMenu, locCount, locX, locY, this);
}

void CLeftView::RebuildTree()
{
    if (Scene())
        Scene()->RebuildTree(myTree);
    else
        myTree->DeleteAll();
}

bool CLeftView::OnCommand(UI_Frame*, int anId)
{
    switch (anId)
    {
    case UI_ID_FILE_NEW: OnFileNew(); return true;
    case UI_ID_FILE_OPEN: OnFileOpen(); return true;
    case UI_ID_FILE_SAVE: OnFileSave(); return true;
    case UI_ID_FILE_SAVE_AS: OnFileSaveAs(); return true;
    case ID_FILE_QRB_EXPORT: OnFileExport(); return true;
    case ID_MODEL_REFRESH: OnRefresh(); return true;
    case UI_ID_APP_EXIT:
        // The shell asks the document first, which asks our question.
        return false;
    case ID_TREE_EDIT_OBJECT: OnEditObject(); return true;
    case ID_TREE_ADD_STATE: OnAddState(false); return true;
    case ID_TREE_ADD_STATE_PARTIAL: OnAddState(true); return true;
    case ID_TREE_VIEW_STATS: OnViewStats(); return true;
    case ID_TREE_PART_ADD_STATE: OnPartAddState(); return true;
    case ID_TREE_ADD_NULL: OnAddNull(); return true;
    case ID_TREE_ADD_HIERARCHY: OnAddHierarchy(); return true;
    case ID_TREE_EDIT_BONE: OnEditBone(); return true;
    case ID_TREE_REMOVE_STATE: OnRemoveState(); return true;
    case ID_TREE_EDIT_STATE: OnEditState(); return true;
    case ID_TREE_EDIT_POSITION: OnEditPosition(); return true;
    case ID_TREE_DELETE_EMITTER: OnDeleteEmitter(); return true;
    case ID_TREE_EDIT_LIGHT: OnEditLight(); return true;
    case ID_TOOLS_CHECK_LWS: OnCheckLws(); return true;
    case ID_TREE_EDIT_SURFACE: OnEditSurface(); return true;
    case ID_TREE_ADD_EMITTER: OnEmitter(true); return true;
    case ID_TREE_EDIT_EMITTER: OnEmitter(false); return true;
    default: return false;
    }
}

bool CLeftView::OnUpdateCommand(UI_Frame*, int anId, UI_CommandState* aState)
{
    switch (anId)
    {
    case ID_TOOLS_CHECK_LWS: aState->myEnabled = true; return true;
    default: return false;
    }
}

// --- [SECTION] file commands ---

void CLeftView::EnableTimer(bool anOnFlag)
{
    if (myView)
        myView->EnableRenderTimer(anOnFlag);
}

void CLeftView::PublishModelChanged()
{
    // The state dialog lists the new model's states.
    if (Scene())
        Scene()->CallbackSubscribers(0, QC_String());
}

void CLeftView::SetDocument(const char* aPath, const char* aTitle)
{
    myDocumentPath = aPath ? aPath : "";
    myDocumentTitle = aTitle ? aTitle : "";
    if (myFrame)
    {
        UI_FrameSetPath(myFrame, myDocumentPath.c_str());
        UI_FrameSetModified(myFrame, false);
    }
}

std::string CLeftView::LoadFailureText()
{
    char locText[1024];
    uint32_t locCode = QR_Error::ourCode;
    if (locCode == 0)
    {
        const char* locEditor = GetEditorErrorText();
        if (EditorError::Get() != 0 && locEditor)
            snprintf(locText, sizeof(locText), "Error: %s '%s'", locEditor, EditorError::GetDetail());
        else
            snprintf(locText, sizeof(locText), "NO ERROR???");
    }
    else if (locCode == 1)
        snprintf(locText, sizeof(locText), "Could not load model.\nError: Texture load failed. '%s'", QR_Error::ourText);
    else if (locCode == 2)
        snprintf(locText, sizeof(locText), "Could not load model.\nError: Texture not found or unsupported fileformat. '%s'",
                 QR_Error::ourText);
    else
        snprintf(locText, sizeof(locText), "Could not load model.\nUnknown internal QRender error. Error: %u '%s'",
                 locCode, QR_Error::ourText);
    return locText;
}

bool CLeftView::SaveModified()
{
    CommandHandler* locHandler = CommandHandler::Get();
    if (!locHandler || !locHandler->IsModified())
        return true;
    switch (UI_MessageBox(PRANVEL_CAPTION, "You have made unsaved changes to this model.\n\nDo you want to save the changes?",
                          OS_MB_YESNOCANCEL))
    {
    case OS_ID_YES: return OnFileSave();
    case OS_ID_NO: return true;
    default: return false;
    }
}

void CLeftView::OnFileNew()
{
    if (!SaveModified())
        return;
    if (Scene())
    {
        Scene()->ClearModel();
        Scene()->ClearExpandedItems();
    }
    myTree->DeleteAll();
    if (CommandHandler* locHandler = CommandHandler::Get())
    {
        locHandler->Clear();
        locHandler->SetModified(false);
    }
    SetDocument("", "");
}

void CLeftView::OnFileOpen()
{
    EnableTimer(false);
    if (!SaveModified())
    {
        EnableTimer(true);
        return;
    }
    QC_String locPath, locTitle;
    if (!OpenFileDialog(PATHS_MODEL, ourPathsFile, true, &locPath, &locTitle))
    {
        // Model and history stay as they were.
        EnableTimer(true);
        return;
    }
    if (locEndsWithQRE(locPath))
        OpenQRE(locPath, locTitle);
    else
        OpenLightWave(locPath, locTitle);
    EnableTimer(true);
}

void CLeftView::OpenQRE(const char* aPath, const char* aTitle)
{
    CommandHandler* locHandler = CommandHandler::Get();
    if (!locHandler || !Scene())
        return;
    EnableTimer(false);
    int locCursor = UI_GetCursor();
    UI_SetCursor(UI_CURSOR_WAIT);
    Scene()->ClearModel();
    Scene()->ClearExpandedItems();
    // The failure text reads the renderer's code first: one left by an earlier load (the
    // statistics font) would name the wrong cause.
    QR_Error::ourCode = 0;
    if (!LoadQRE(*locHandler, QC_String(aPath), false))
        locBox(LoadFailureText().c_str());
    RebuildTree();
    UI_SetCursor(locCursor);
    SetDocument(aPath, aTitle);
    if (myFrame)
        UI_FrameAddRecentFile(myFrame, aPath);
    PublishModelChanged();
    EnableTimer(true);
}

void CLeftView::OpenLightWave(const char* aPath, const char* aTitle)
{
    CommandHandler* locHandler = CommandHandler::Get();
    QRenderEditor* locScene = Scene();
    if (!locHandler || !locScene)
        return;
    EnableTimer(false);
    char locCode[5];
    if (!ChooseState(locCode))
    {
        EnableTimer(true);
        return;
    }
    int locCursor = UI_GetCursor();
    UI_SetCursor(UI_CURSOR_WAIT);
    locScene->ClearModel();
    locScene->ClearExpandedItems();
    QR_Error::ourCode = 0;
    // A new model starts a new history: a second OPENMODEL could never load.
    locHandler->Clear();
    locHandler->SetModified(false);

    RunCommand(new HaloFileCommand(locScene->myDefaultHaloSurface), nullptr);
    RunCommand(new DefaultSurfaceCommand(locScene->myDefaultSurface), nullptr);
    DefaultLodDistanceCommand* locLod = new DefaultLodDistanceCommand;
    memcpy(locLod->myDistances, locScene->myLodDistances, sizeof(locLod->myDistances));
    RunCommand(locLod, nullptr);
    OpenModelCommand* locOpen = new OpenModelCommand;
    locOpen->myFileName = aPath;
    locOpen->myModelName = aTitle;
    locOpen->myStateCode = locCode;
    if (!locHandler->Run(COMMAND_VERSION, locOpen))
    {
        delete locOpen;
        locBox(LoadFailureText().c_str());
    }
    RebuildTree();
    UI_SetCursor(locCursor);
    std::string locQREPath = aPath;
    if (locQREPath.size() >= 3)
        locQREPath.replace(locQREPath.size() - 3, 3, "qre");
    SetDocument(locQREPath.c_str(), aTitle);
    if (myFrame)
        UI_FrameAddRecentFile(myFrame, aPath);
    PublishModelChanged();
    EnableTimer(true);
}

bool CLeftView::SaveTo(const std::string& aPath, const std::string& aTitle)
{
    CommandHandler* locHandler = CommandHandler::Get();
    if (!locHandler)
    {
        locBox("Failed to save file.");
        return false;
    }
    if (!SaveQRE(*locHandler, QC_String(aPath.c_str())))
    {
        locSaveFailedBox();
        return false;
    }
    // The document is the file as written: a name that exists in another case is written
    // under that spelling, a new one as given (upper-cased by Save).
    char locSaved[4096];
    SetDocument(OS_ResolvePath(aPath.c_str(), locSaved, sizeof(locSaved)) ? locSaved : aPath.c_str(), aTitle.c_str());
    return true;
}

bool CLeftView::OnFileSave()
{
    CommandHandler* locHandler = CommandHandler::Get();
    if (!locHandler || !locHandler->IsModified())
        return true;
    if (myDocumentPath.empty())
        return OnFileSaveAs();
    // Only the file's own name is upper-cased: folders keep their spelling.
    std::string locPath = myDocumentPath;
    size_t locSlash = locPath.find_last_of("/\\");
    for (size_t i = locSlash == std::string::npos ? 0 : locSlash + 1; i < locPath.size(); i++)
        locPath[i] = char(toupper((unsigned char)locPath[i]));
    return SaveTo(locPath, myDocumentTitle);
}

std::string CLeftView::QREName(const char* aChosenPath)
{
    return CutExtension(locSlashes(aChosenPath)) + ".qre";
}

std::string CLeftView::CutExtension(const std::string& aPath)
{
    size_t locMark = aPath.find_last_of("./");
    if (locMark != std::string::npos && aPath[locMark] == '.')
        return aPath.substr(0, locMark);
    return aPath;
}

bool CLeftView::OnFileSaveAs()
{
    EnableTimer(false);
    QC_String locPath, locTitle;
    if (!OpenFileDialog(PATHS_QRE, ourPathsFile, false, &locPath, &locTitle))
    {
        EnableTimer(true);
        return false;
    }
    std::string locName = QREName(locPath);
    bool locResult = SaveTo(locName, locTitle.GetBuffer());
    if (!locResult)
        SetDocument(locName.c_str(), locTitle); // the next Save tries the chosen name again
    EnableTimer(true);
    return locResult;
}

void CLeftView::OnFileExport()
{
    CommandHandler* locHandler = CommandHandler::Get();
    EnableTimer(false);
    if (!Scene() || !Scene()->IsModelLoaded() || !locHandler)
    {
        locBox("No model is loaded.");
        EnableTimer(true);
        return;
    }
    QC_String locPath;
    QC_String locName((CutExtension(myDocumentTitle) + ".qrb").c_str());
    if (!OpenFileDialog(PATHS_QRB, ourPathsFile, false, &locPath, &locName))
    {
        EnableTimer(true);
        return;
    }
    std::string locBase = CutExtension(locSlashes(locPath));
    std::string locQRE = locBase + ".qre";
    std::string locQRB = locBase + ".qrb";
    int locAnswer = OS_ID_YES;
    struct stat locStat;
    if (stat(locQRE.c_str(), &locStat) == 0)
        locAnswer = UI_MessageBox(
            PRANVEL_CAPTION, "QRE file already exist, overwrite it? Pressing Cancel will abort the QRB/QRE save entirely.",
            OS_MB_YESNOCANCEL);
    if (locAnswer != OS_ID_YES && locAnswer != OS_ID_NO)
    {
        locBox("No QRE or QRB file saved.");
        EnableTimer(true);
        return;
    }
    // The history written beside the export is saved: SaveQRE clears the modified flag,
    // so closing or opening another model does not ask again. The document keeps its name.
    if (locAnswer == OS_ID_YES && !SaveQRE(*locHandler, QC_String(locQRE.c_str())))
        locSaveFailedBox();
    if (Scene()->GetTemplate() && !Scene()->ExportQRB(locQRB.c_str()))
        locBox((std::string("Failed to export QRB.\n") + EditorError::GetDetail()).c_str());
    EnableTimer(true);
}

std::string CLeftView::MakeTemporaryName()
{
    const char* locDir = getenv("TMPDIR");
    std::string locPattern = std::string(locDir && locDir[0] ? locDir : "/tmp") + "/pranvel_refresh_XXXXXX.qre";
    std::vector<char> locBuffer(locPattern.begin(), locPattern.end());
    locBuffer.push_back('\0');
    int locFile = mkstemps(locBuffer.data(), 4);
    if (locFile < 0)
        return std::string();
    close(locFile);
    return std::string(locBuffer.data());
}

void CLeftView::OnRefresh()
{
    CommandHandler* locHandler = CommandHandler::Get();
    QRenderEditor* locScene = Scene();
    if (!locHandler || !locScene || !locScene->IsModelLoaded())
        return;
    EnableTimer(false);
    std::string locTemporary = MakeTemporaryName();
    bool locModified = locHandler->IsModified();
    if (locTemporary.empty() || !SaveQRE(*locHandler, QC_String(locTemporary.c_str())))
    {
        if (!locTemporary.empty())
            unlink(locTemporary.c_str());
        locHandler->SetModified(locModified);
        locBox("Could not refresh model");
        EnableTimer(true);
        return;
    }
    locScene->ClearModel();
    int locCursor = UI_GetCursor();
    UI_SetCursor(UI_CURSOR_WAIT);
    locScene->myRefreshing = true;
    bool locLoaded = LoadQRE(*locHandler, QC_String(locTemporary.c_str()), false);
    locScene->myRefreshing = false;
    RebuildTree();
    locHandler->SetModified(locModified);
    UI_SetCursor(locCursor);
    if (locLoaded)
        unlink(locTemporary.c_str());
    else
    {
        // The file holds the only copy of the edits: it stays, named.
        std::string locText = LoadFailureText() + "\n\nThe model's commands are kept in " + locTemporary;
        locBox(locText.c_str());
    }
    EnableTimer(true);
}

// --- [SECTION] edit commands ---

bool CLeftView::RunCommand(QRECommand* aCommand, const char* aFailureText)
{
    CommandHandler* locHandler = CommandHandler::Get();
    if (locHandler && locHandler->Run(COMMAND_VERSION, aCommand))
        return true;
    // A failed command stays with the caller.
    delete aCommand;
    if (aFailureText)
        locBox(aFailureText);
    return false;
}

bool CLeftView::GetSelection(intptr_t* aDatum, intptr_t* aParentDatum)
{
    UI_TreeItem locItem = myPane ? UI_TreeGetSelection(myPane, IDC_MODEL_TREE) : 0;
    if (!locItem)
        return false;
    *aDatum = UI_TreeGetData(myPane, IDC_MODEL_TREE, locItem);
    if (aParentDatum)
    {
        UI_TreeItem locParent = UI_TreeGetRelated(myPane, IDC_MODEL_TREE, locItem, UI_TREE_PARENT);
        *aParentDatum = locParent ? UI_TreeGetData(myPane, IDC_MODEL_TREE, locParent) : 0;
    }
    return true;
}

QR_TemplatePart* CLeftView::GetSelectedPart(int* anIndex)
{
    intptr_t locDatum = 0;
    *anIndex = -1;
    if (!GetSelection(&locDatum))
        return nullptr;
    *anIndex = ItemIndex(locDatum);
    QR_TemplateObject* locTemplate = Scene() && Scene()->IsModelLoaded() ? Scene()->GetTemplate() : nullptr;
    if (!locTemplate || uint32_t(*anIndex) >= locTemplate->myNumParts)
        return nullptr;
    return &locTemplate->myParts[*anIndex];
}

bool CLeftView::ChooseState(char aCode[5])
{
    CStateNameDlg locDialog;
    if (myView)
    {
        locDialog.SetLists(myView->GetStateCodes(), myView->GetStateNames());
        locDialog.SetScene(myView->GetScene());
    }
    else if (Scene())
        locDialog.SetLists(Scene()->myStateCodes, Scene()->myStateNames);
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return false;
    memcpy(aCode, locDialog.GetCode(), 5);
    return true;
}

void CLeftView::OnEditObject()
{
    CEditObjectDlg locDialog;
    if (Scene() && Scene()->GetTemplate())
    {
        QR_TemplateObject* t = Scene()->GetTemplate();
        locDialog.myRadius = t->myBoundRadius;
        memcpy(locDialog.myCentre, t->myBoundCentre, sizeof(locDialog.myCentre));
    }
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return;
    EnableTimer(false);
    EditObjectCommand* locCommand = new EditObjectCommand;
    locCommand->myRadius = locDialog.myRadius;
    memcpy(locCommand->myCentre, locDialog.myCentre, sizeof(locCommand->myCentre));
    RunCommand(locCommand, nullptr);
    EnableTimer(true);
}

void CLeftView::OnAddState(bool aPartialFlag)
{
    if (!Scene() || !Scene()->IsModelLoaded())
    {
        locBox("No model loaded.");
        return;
    }
    AddStatePartialDlg locParts;
    if (aPartialFlag)
    {
        QR_TemplateObject* t = Scene()->GetTemplate();
        for (uint32_t p = 0; t && p < t->myNumParts; p++)
            locParts.myPartNames.push_back(t->myParts[p].myName ? t->myParts[p].myName : "");
        if (locParts.DoModal(nullptr) != UI_IDOK)
            return;
    }
    QC_String locPath, locTitle;
    if (!OpenFileDialog(PATHS_MODEL, ourPathsFile, true, &locPath, &locTitle))
        return;
    char locCode[5];
    if (!ChooseState(locCode))
        return;
    EnableTimer(false);
    int locCursor = UI_GetCursor();
    UI_SetCursor(UI_CURSOR_WAIT);
    AddStateCommand* locCommand = new AddStateCommand;
    locCommand->myFileName = locPath;
    locCommand->myModelName = locTitle;
    locCommand->myStateCode = locCode;
    if (aPartialFlag)
    {
        QC_ListIterator<QC_String> i(&locParts.mySelectedNames);
        for (i.First(); !i.IsDone(); i.Next())
            locCommand->myPartNames.Add(i.GetCurrent());
    }
    RunCommand(locCommand, "Could not add new state.");
    if (Scene()->IsModelLoaded())
        RebuildTree();
    UI_SetCursor(locCursor);
    EnableTimer(true);
}

void CLeftView::GatherStats(uint32_t aValues[10])
{
    memset(aValues, 0, 10 * sizeof(uint32_t));
    QR_TemplateObject* t = QRenderEditor::ourInstance ? QRenderEditor::ourInstance->GetTemplate() : nullptr;
    if (!t)
        return;
    std::set<const QR_Mesh*> locMeshes;
    std::set<const void*> locSurfaces;
    uint64_t locBytes = 0;
    for (uint32_t p = 0; p < t->myNumParts; p++)
    {
        const QR_TemplatePart& part = t->myParts[p];
        if (part.myNumStates > 0 && part.myStates[0].myParent >= 0)
            aValues[2]++; // parts with a parent: the bones
        for (uint32_t s = 0; s < part.myNumStates; s++)
            aValues[3] += part.myStates[s].myPath.myNumKeys;
        const QR_Mesh* m = part.myMesh;
        if (!m || !locMeshes.insert(m).second)
            continue;
        if (m->myNumLods > 0)
        {
            aValues[0] += m->myLods[0].myNumVertices;
            aValues[1] += m->myLods[0].myNumIndices / 3;
        }
        locBytes += uint64_t(m->myNumVertices) * m->myVertexSize + uint64_t(m->myNumIndices) * sizeof(uint16_t);
        if (m->mySurface)
            locSurfaces.insert(m->mySurface);
    }
    aValues[4] = uint32_t(locSurfaces.size());
    aValues[5] = QR_Render::ourStats.myDrawCalls;
    aValues[6] = t->myNumLinks;
    aValues[7] = t->myNumExpressions;
    aValues[8] = uint32_t(locBytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : locBytes);
    aValues[9] = QR_Render::ourStats.myTextureMemory;
}

void CLeftView::OnViewStats()
{
    if (!Scene() || !Scene()->IsModelLoaded())
    {
        locBox("No model loaded.");
        return;
    }
    uint32_t locValues[10];
    GatherStats(locValues);
    CLodStatsDlg locDialog;
    locDialog.SetStats(locValues);
    locDialog.DoModal(nullptr);
}

void CLeftView::OnPartAddState()
{
    int locPart = -1;
    intptr_t locDatum = 0;
    if (!GetSelection(&locDatum))
        return;
    locPart = ItemIndex(locDatum);
    char locCode[5];
    if (!ChooseState(locCode))
        return;
    EnableTimer(false);
    AddJointStateCommand* locCommand = new AddJointStateCommand;
    locCommand->myPartIndex = locPart;
    locCommand->myStateCode = locCode;
    if (RunCommand(locCommand, "Could not add new state.") && Scene())
        Scene()->AddUsedName(QC_String(locCode));
    RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnAddNull()
{
    int locIndex = -1;
    QR_TemplatePart* locPart = GetSelectedPart(&locIndex);
    if (locIndex < 0)
        return;
    CAddNullObjDlg locDialog;
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return;
    char locCode[5];
    if (!ChooseState(locCode))
        return;
    EnableTimer(false);
    AddNullObjectCommand* locCommand = new AddNullObjectCommand;
    locCommand->myName = locDialog.myName;
    locCommand->myStateCode = locCode;
    locCommand->myParentName = locPart && locPart->myName ? locPart->myName : "";
    RunCommand(locCommand, "Could not add new null object.");
    if (Scene() && Scene()->IsModelLoaded())
        RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnAddHierarchy()
{
    int locIndex = -1;
    QR_TemplatePart* locPart = GetSelectedPart(&locIndex);
    if (locIndex < 0)
        return;
    QC_String locPath, locTitle;
    if (!OpenFileDialog(PATHS_MODEL, ourPathsFile, true, &locPath, &locTitle))
        return;
    const char* locPartName = locPart && locPart->myName ? locPart->myName : "";
    QRECommand* locCommand = nullptr;
    if (locEndsWithQRE(locPath))
    {
        AddQREHierarchyCommand* c = new AddQREHierarchyCommand;
        c->myPartName = locPartName;
        c->myFileName = locPath;
        locCommand = c;
    }
    else
    {
        char locCode[5];
        if (!ChooseState(locCode))
            return;
        AddModelHierarchyCommand* c = new AddModelHierarchyCommand;
        c->myValues[0] = locPartName;
        c->myValues[1] = locPath;
        c->myValues[2] = locCode;
        locCommand = c;
    }
    EnableTimer(false);
    RunCommand(locCommand, "Could not add new hierarchy.");
    if (Scene() && Scene()->IsModelLoaded())
        RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnEditBone()
{
    int locIndex = -1;
    QR_TemplatePart* locPart = GetSelectedPart(&locIndex);
    if (!locPart)
        return;
    CEditBoneDlg locDialog;
    locDialog.myStoredDistance = locPart->myMaxDistanceSquared;
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return;
    EnableTimer(false);
    EditBoneCommand* locCommand = new EditBoneCommand;
    locCommand->myPartIndex = locIndex;
    locCommand->myRemoveDistance = CEditBoneDlg::StoredDistance(locDialog.myDistance);
    locCommand->myAllChildrenFlag = locDialog.myAllChildrenFlag;
    RunCommand(locCommand, nullptr);
    RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnRemoveState()
{
    intptr_t locDatum = 0, locParent = 0;
    if (!GetSelection(&locDatum, &locParent) || ItemKind(locDatum) != QRE_TREE_STATE)
        return;
    EnableTimer(false);
    RemoveBoneStateCommand* locCommand = new RemoveBoneStateCommand;
    locCommand->myPartIndex = ItemIndex(locParent);
    locCommand->myJointStateIndex = ItemIndex(locDatum);
    RunCommand(locCommand, "Could not remove state.");
    RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnEditState()
{
    intptr_t locDatum = 0, locParent = 0;
    if (!GetSelection(&locDatum, &locParent) || ItemKind(locDatum) != QRE_TREE_STATE)
        return;
    int locPartIndex = ItemIndex(locParent);
    QR_TemplateObject* t = Scene() && Scene()->IsModelLoaded() ? Scene()->GetTemplate() : nullptr;
    const QR_TemplatePart* locPart = t && uint32_t(locPartIndex) < t->myNumParts ? &t->myParts[locPartIndex] : nullptr;
    QC_GrowingArray<QC_String>* locCodes = myView ? myView->GetStateCodes() : Scene() ? Scene()->myStateCodes : nullptr;
    QC_GrowingArray<QC_String>* locNames = myView ? myView->GetStateNames() : Scene() ? Scene()->myStateNames : nullptr;
    CEditBoneStateDlg locDialog(locCodes, locNames, locPart, locPartIndex, ItemIndex(locDatum));
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return;
    EnableTimer(false);
    EditJointStateCommand* locCommand = new EditJointStateCommand;
    locDialog.FillCommand(locCommand);
    RunCommand(locCommand, nullptr);
    RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnEditPosition()
{
    intptr_t locDatum = 0, locParent = 0;
    if (!GetSelection(&locDatum, &locParent) || ItemKind(locDatum) != QRE_TREE_STATE)
        return;
    int locPartIndex = ItemIndex(locParent);
    int locState = ItemIndex(locDatum);
    QR_TemplateObject* t = Scene() && Scene()->IsModelLoaded() ? Scene()->GetTemplate() : nullptr;
    const QR_TemplatePart* locPart = t && uint32_t(locPartIndex) < t->myNumParts ? &t->myParts[locPartIndex] : nullptr;
    char locCode[5] = {0, 0, 0, 0, 0};
    CEditNullDlg locDialog;
    if (locPart && uint32_t(locState) < locPart->myNumStates)
    {
        uint32_t locId = locPart->myStates[locState].myId;
        StateIdToCode(locId, locCode);
        GetPartChannelValues(t, locId, locPart->myName, locDialog.myPosition, locDialog.myHeadingPitchBank);
    }
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return;
    EnableTimer(false);
    EditPositionOrientationCommand* locCommand = new EditPositionOrientationCommand;
    locCommand->myPartName = locPart && locPart->myName ? locPart->myName : "";
    locCommand->myStateCode = locCode;
    memcpy(locCommand->myPosition, locDialog.myPosition, sizeof(locCommand->myPosition));
    memcpy(locCommand->myHeadingPitchBank, locDialog.myHeadingPitchBank, sizeof(locCommand->myHeadingPitchBank));
    RunCommand(locCommand, "Could not edit position/orientation.");
    if (Scene() && Scene()->IsModelLoaded())
        RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnDeleteEmitter()
{
    intptr_t locDatum = 0;
    if (!GetSelection(&locDatum) || ItemKind(locDatum) != QRE_TREE_EMITTER)
        return;
    EnableTimer(false);
    RemoveParticleEmittorCommand* locCommand = new RemoveParticleEmittorCommand;
    locCommand->myEmitterIndex = ItemIndex(locDatum);
    RunCommand(locCommand, "Could not remove particle emittor.");
    RebuildTree();
    EnableTimer(true);
}

void CLeftView::OnEditLight()
{
    intptr_t locDatum = 0;
    if (!GetSelection(&locDatum) || ItemKind(locDatum) != QRE_TREE_LIGHT)
        return;
    int locIndex = ItemIndex(locDatum);
    QR_TemplateObject* t = Scene() && Scene()->IsModelLoaded() ? Scene()->GetTemplate() : nullptr;
    QR_Light* locLight = t && uint32_t(locIndex) < t->myNumLights ? &t->myLights[locIndex] : nullptr;
    CEditLightPropertiesDlg locDialog(locLight, Scene() ? Scene()->myDefaultHaloSurface.GetBuffer() : "");
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return;
    EnableTimer(false);
    EditLightSourceCommand* locCommand = new EditLightSourceCommand;
    locCommand->myLightIndex = locIndex;
    locCommand->myHaloTexture = locDialog.myHaloTexture;
    locCommand->myDepthFudge = locDialog.myDepthFudge;
    RunCommand(locCommand, nullptr);
    if (Scene())
        Scene()->RecreateInstance();
    EnableTimer(true);
}

void CLeftView::OnEditSurface()
{
    // Only a part of the model; one without a surface shows nothing.
    int locIndex = -1;
    if (GetSelectedPart(&locIndex))
        PranvelTreeEditSurface(myView, myTree, uint32_t(locIndex), nullptr);
}

void CLeftView::OnEmitter(bool anAddFlag)
{
    intptr_t locDatum = 0, locParent = 0;
    if (!GetSelection(&locDatum, &locParent))
        return;
    if (anAddFlag && ItemKind(locDatum) == QRE_TREE_STATE)
        myEmitterCommands->OnAddParticleEmitter(locParent, locDatum);
    else if (!anAddFlag && ItemKind(locDatum) == QRE_TREE_EMITTER)
        myEmitterCommands->OnEditParticleEmitter(locDatum);
}

void CLeftView::OnCheckLws()
{
    QC_String locPath, locTitle;
    if (!OpenFileDialog(PATHS_LW_SCENE, ourPathsFile, true, &locPath, &locTitle))
        return;
    CLwsErrorDlg locDialog;
    locDialog.SetFileName(locPath);
    locDialog.SetView(myView);
    locDialog.DoModal(nullptr);
}
