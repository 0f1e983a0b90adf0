// The program: resources (menu, accelerators, toolbar, dialog bar, panes),
// the document, the two views and the main frame with its commands.
//
// Sections: [SECTION] resources, [SECTION] document, [SECTION] views,
// [SECTION] main frame, [SECTION] start.
#include "korrinth/korrinth.h"

#include "owncode/appfacade.h"
#include "owncode/dlg_instance.h"
#include "owncode/dlg_type.h"
#include "owncode/dlg_viewvelk.h"
#include "owncode/velktree.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_gallery.h"
#include "platform/ui/ui_prompt.h"
#include "va_velkeditors/vave_factory.h"
#include "va_velkeditors/vave_typeconstraints.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velkeditor/velk_editorview.h"
#include "velkeditor/velk_uitext.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// --- [SECTION] resources ---

namespace
{
const char* const locProgram = "Korrinth";

const UI_MenuEntry ourMenu[] = {
    {UI_MENU_POPUP, 0, "&File"},
    {UI_MENU_ITEM, UI_ID_FILE_NEW, "&New\tCtrl+N"},
    {UI_MENU_ITEM, UI_ID_FILE_OPEN, "&Open...\tCtrl+O"},
    {UI_MENU_ITEM, UI_ID_FILE_SAVE, "&Save\tCtrl+S"},
    {UI_MENU_ITEM, UI_ID_FILE_SAVE_AS, "Save &As..."},
    {UI_MENU_ITEM, ID_FILE_MERGE, "&Merge\tCtrl+M"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, UI_ID_FILE_PRINT, "&Print...\tCtrl+P"},
    {UI_MENU_ITEM, ID_FILE_PRINT_PREVIEW, "Print Pre&view"},
    {UI_MENU_ITEM, ID_FILE_PRINT_SETUP, "P&rint Setup..."},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, UI_ID_FILE_MRU_FIRST, "Recent File"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, UI_ID_APP_EXIT, "E&xit"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Edit"},
    {UI_MENU_ITEM, ID_EDIT_UNDO, "&Undo\tCtrl+Z"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, ID_EDIT_CUT, "Cu&t\tCtrl+X"},
    {UI_MENU_ITEM, ID_EDIT_COPY, "&Copy\tCtrl+C"},
    {UI_MENU_ITEM, ID_EDIT_PASTE, "&Paste\tCtrl+V"},
    {UI_MENU_ITEM, ID_EDIT_RENAME, "&Rename\tCtrl+R"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&View"},
    {UI_MENU_ITEM, UI_ID_VIEW_TOOLBAR, "&Toolbar"},
    {UI_MENU_ITEM, UI_ID_VIEW_STATUS_BAR, "&Status Bar"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, ID_VIEW_LARGEICON, "Lar&ge Icons"},
    {UI_MENU_ITEM, ID_VIEW_SMALLICON, "S&mall Icons"},
    {UI_MENU_ITEM, ID_VIEW_LIST, "&List"},
    {UI_MENU_ITEM, ID_VIEW_DETAILS, "&Details"},
    {UI_MENU_ITEM, ID_VIEW_LINEUP, "L&ine Up Icons"},
    {UI_MENU_SEPARATOR, 0, nullptr},
    {UI_MENU_ITEM, ID_VIEW_CLEAR_ON_REDRAW, "Clear On Re&draw\tCtrl+D"},
    {UI_MENU_ITEM, ID_VIEW_VELK, "&Velk\tCtrl+J"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Instance"},
    {UI_MENU_ITEM, ID_INSTANCE_NEW, "&New\tCtrl+1"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Type"},
    {UI_MENU_ITEM, ID_TYPE_INCLUDE, "&Include\tCtrl+2"},
    {UI_MENU_ITEM, ID_TYPE_NEW, "&New\tCtrl+3"},
    {UI_MENU_ITEM, ID_TYPE_VIEW, "&View\tCtrl+4"},
    {UI_MENU_END, 0, nullptr},
    {UI_MENU_POPUP, 0, "&Help"},
    {UI_MENU_ITEM, UI_ID_APP_ABOUT, "&About Korrinth..."},
    {UI_MENU_END, 0, nullptr},
};

const UI_Accelerator ourAccelerators[] = {
    {'N', UI_MOD_CONTROL, UI_ID_FILE_NEW},       {'O', UI_MOD_CONTROL, UI_ID_FILE_OPEN},
    {'S', UI_MOD_CONTROL, UI_ID_FILE_SAVE},      {'M', UI_MOD_CONTROL, ID_FILE_MERGE},
    {'P', UI_MOD_CONTROL, UI_ID_FILE_PRINT},     {'Z', UI_MOD_CONTROL, ID_EDIT_UNDO},
    {'X', UI_MOD_CONTROL, ID_EDIT_CUT},          {'C', UI_MOD_CONTROL, ID_EDIT_COPY},
    {'V', UI_MOD_CONTROL, ID_EDIT_PASTE},        {'R', UI_MOD_CONTROL, ID_EDIT_RENAME},
    {'D', UI_MOD_CONTROL, ID_VIEW_CLEAR_ON_REDRAW}, {'J', UI_MOD_CONTROL, ID_VIEW_VELK},
    {'1', UI_MOD_CONTROL, ID_INSTANCE_NEW},      {'2', UI_MOD_CONTROL, ID_TYPE_INCLUDE},
    {'3', UI_MOD_CONTROL, ID_TYPE_NEW},          {'4', UI_MOD_CONTROL, ID_TYPE_VIEW},
};

const UI_ToolButton ourButtons[] = {
    {UI_ID_FILE_NEW, 0, "New"},     {UI_ID_FILE_OPEN, 1, "Open"},   {UI_ID_FILE_SAVE, 2, "Save"},
    {0, -1, nullptr},               {ID_EDIT_CUT, 3, "Cut"},        {ID_EDIT_COPY, 4, "Copy"},
    {ID_EDIT_PASTE, 5, "Paste"},    {0, -1, nullptr},               {UI_ID_FILE_PRINT, 6, "Print"},
    {UI_ID_APP_ABOUT, 7, "About"},
};

const UI_Indicator ourIndicators[] = {
    {UI_ID_INDICATOR_CAPS, "CAP"},
    {UI_ID_INDICATOR_NUM, "NUM"},
    {UI_ID_INDICATOR_SCRL, "SCRL"},
};

// Dialog bar 128: the console.
const UI_ControlTemplate ourBarControls[] = {
    {IDC_CONSOLE, UI_CONTROL_COMBOBOX, nullptr, 4, 2, 600, 120, UI_STYLE_VSCROLL},
};
const UI_DialogTemplate ourBarTemplate = {128, "", 610, 16, "MS Shell Dlg", 8, ourBarControls,
                                          int(sizeof(ourBarControls) / sizeof(ourBarControls[0]))};

// The left pane: the language tree.
const UI_ControlTemplate ourPaneControls[] = {
    {IDC_LEFT_TREE, UI_CONTROL_TREE, nullptr, 0, 0, 100, 100, UI_STYLE_VSCROLL},
};
const UI_DialogTemplate ourPaneTemplate = {129, "", 100, 100, "MS Shell Dlg", 8, ourPaneControls, 1};

// About box 100.
enum
{
    IDC_ABOUT_TEXT = 1200,
    IDC_ABOUT_COPYRIGHT = 1201,
};
const UI_ControlTemplate ourAboutControls[] = {
    {IDC_ABOUT_TEXT, UI_CONTROL_STATIC, "Korrinth Version 1.0", 40, 10, 119, 8, 0},
    {IDC_ABOUT_COPYRIGHT, UI_CONTROL_STATIC, "Copyright (C) 2002", 40, 25, 119, 8, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 178, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
};
const UI_DialogTemplate ourAboutTemplate = {100, "About Korrinth", 235, 55, "MS Shell Dlg", 8, ourAboutControls,
                                            int(sizeof(ourAboutControls) / sizeof(ourAboutControls[0]))};

intptr_t locAboutProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    if (aMessage.myKind == UI_MSG_COMMAND && (aMessage.myControlId == UI_IDOK || aMessage.myControlId == UI_IDCANCEL))
        UI_EndDialog(aDialog, aMessage.myControlId);
    else if (aMessage.myKind == UI_MSG_CLOSE)
        UI_EndDialog(aDialog, UI_IDCANCEL);
    return 0;
}

intptr_t locBarProc(UI_Dialog*, const UI_Message&)
{
    return 0;
}

// Toolbar pictures, 16x15: a plain glyph per button.
std::vector<UI_Image> locToolImages()
{
    const uint32_t locColours[8] = {0xFFFFFFFF, 0xFFE0C040, 0xFF4060C0, 0xFFC04040,
                                    0xFF40A040, 0xFF8080C0, 0xFF606060, 0xFF2080E0};
    std::vector<UI_Image> locImages;
    for (int i = 0; i < 8; i++)
    {
        UI_Image locImage;
        locImage.myWidth = 16;
        locImage.myHeight = 15;
        locImage.myPixels.assign(16 * 15, 0);
        for (int y = 2; y < 13; y++)
            for (int x = 3; x < 13; x++)
            {
                bool locEdge = y == 2 || y == 12 || x == 3 || x == 12;
                locImage.myPixels[y * 16 + x] = locEdge ? 0xFF000000 : locColours[i];
            }
        locImages.push_back(locImage);
    }
    return locImages;
}

std::vector<std::string> locTypeNames(AppFacade* aFacade)
{
    std::vector<std::string> locNames;
    QC_List<VelkType*> locTypes;
    aFacade->GetTypeManager().GetTypes(locTypes);
    for (QC_List<VelkType*>::Link* locLink = locTypes.myFirstLink; locLink; locLink = locLink->myNext)
        locNames.push_back(locLink->myItem->GetTypeName().GetBuffer());
    return locNames;
}

bool locFileDialog(const char* aTitle, const char* aFilterText, const char* aPattern, std::string* aPath)
{
    UI_FileDialogRequest locRequest;
    locRequest.myKind = UI_FILEDIALOG_OPEN;
    locRequest.myTitle = aTitle;
    locRequest.myFilters.push_back(UI_FileFilter{aFilterText, aPattern});
    locRequest.myFlags = UI_FD_HIDE_READONLY | UI_FD_OVERWRITE_PROMPT;
    UI_FileDialogResult locResult;
    if (!UI_FileDialog(locRequest, &locResult) || locResult.myNames.empty())
        return false;
    *aPath = locResult.GetPath(0);
    return true;
}
} // namespace

// --- [SECTION] document ---

// CKorrinthDoc: path, title and modified flag live in the frame.
class KorrinthDocument : public UI_DocumentHandler, public AppDocument
{
public:
    bool OnNewDocument(UI_Frame*) override
    {
        if (AppFacade* locFacade = AppFacade::Get())
            locFacade->NewFile();
        return true;
    }

    bool OnOpenDocument(UI_Frame* aFrame, const char* aPath) override
    {
        AppFacade* locFacade = AppFacade::Get();
        if (!locFacade)
            return false;
        locFacade->ResetDirectory();
        QC_String locRelative;
        bool locValidPath = locFacade->ValidateString(aPath, locRelative);
        if (!locFacade->OpenFile(aPath))
        {
            QC_String locText;
            locText.Format("Failed to compile %s", aPath);
            UI_MessageBox(locProgram, locText, OS_MB_OK | OS_MB_ICONERROR);
            // What compiled stays open, but Save must not replace the whole
            // file with it: the document becomes untitled.
            if (locValidPath)
            {
                UI_FrameSetPath(aFrame, "");
                UI_FrameSetModified(aFrame, false);
            }
            return false;
        }
        return true;
    }

    bool OnSaveDocument(UI_Frame*, const char* aPath) override
    {
        AppFacade* locFacade = AppFacade::Get();
        if (!locFacade)
            return false;
        locFacade->ResetDirectory();
        return locFacade->SaveFile(aPath);
    }

    void SetModifiedFlag(bool aModifiedFlag) override { UI_FrameSetModified(myFrame, aModifiedFlag); }

    UI_Frame* myFrame = nullptr;
};

// --- [SECTION] views ---

// CLeftView's commands: those of the tree pane, while it is the active view.
class KorrinthLeftView : public UI_FrameHandler
{
public:
    bool OnCommand(UI_Frame* aFrame, int anId) override
    {
        if (anId != ID_EDIT_RENAME || UI_FrameGetActivePane(aFrame) != UI_PANE_LEFT)
            return false;
        AppFacade::Get()->TreeRename();
        return true;
    }
    bool OnUpdateCommand(UI_Frame* aFrame, int anId, UI_CommandState* aState) override
    {
        if (anId != ID_EDIT_RENAME || UI_FrameGetActivePane(aFrame) != UI_PANE_LEFT)
            return false;
        aState->myEnabled = true;
        return true;
    }

    // The tree control's notifications.
    static intptr_t PaneProc(UI_Dialog* aDialog, const UI_Message& aMessage)
    {
        AppFacade* locFacade = AppFacade::Get();
        if (!locFacade || aMessage.myKind != UI_MSG_COMMAND || aMessage.myControlId != IDC_LEFT_TREE)
            return 0;
        switch (aMessage.myNotifyCode)
        {
        case UI_TVN_SELCHANGED:
        {
            UI_TreeItem locItem = UI_TreeGetSelection(aDialog, IDC_LEFT_TREE);
            VelkType* locObject = reinterpret_cast<VelkType*>(UI_TreeGetData(aDialog, IDC_LEFT_TREE, locItem));
            if (locObject)
                locFacade->SelectInstance(locObject);
            break;
        }
        case UI_TVN_KEYDOWN:
            if (aMessage.myVirtualKey == 13)
                locFacade->TreeToggleOrEdit();
            else if (aMessage.myVirtualKey == 45)
                locFacade->TreeEditSelected();
            else if (aMessage.myVirtualKey == 46)
                locFacade->TreeDelete();
            break;
        case UI_NM_CLICK:
            locFacade->TreeLeftButton(aMessage.myX, aMessage.myY);
            break;
        case UI_NM_RCLICK:
            locFacade->TreeEditAtPoint(aMessage.myX, aMessage.myY);
            locFacade->Draw();
            break;
        default:
            break;
        }
        return 0;
    }
};

// CKorrinthView: the right pane's input goes to the facade's editor.
class KorrinthView : public UI_FrameHandler
{
public:
    bool OnViewMessage(UI_Frame* aFrame, const UI_ViewMessage& aMessage) override
    {
        AppFacade* locFacade = AppFacade::Get();
        if (!locFacade)
            return false;
        bool locShift = (aMessage.myKeyState & UI_MK_SHIFT) != 0;
        bool locControl = (aMessage.myKeyState & UI_MK_CONTROL) != 0;
        switch (aMessage.myKind)
        {
        case UI_VM_LBUTTONDOWN:
            locFacade->OnLeftButton(aMessage.myX, aMessage.myY, locShift);
            return true;
        case UI_VM_LBUTTONUP:
            locFacade->OnLeftButtonUp(aMessage.myX, aMessage.myY);
            return true;
        case UI_VM_RBUTTONDOWN:
            locFacade->OnRightButton(aMessage.myX, aMessage.myY, locShift, locControl);
            return true;
        case UI_VM_RBUTTONUP:
            locFacade->OnRightButtonUp(aMessage.myX, aMessage.myY);
            return true;
        case UI_VM_MOUSEMOVE:
            UI_FrameFocusView(aFrame);
            if (aMessage.myKeyState & UI_MK_LBUTTON)
                locFacade->OnLeftButton(aMessage.myX, aMessage.myY, locShift);
            if (aMessage.myKeyState & UI_MK_RBUTTON)
                locFacade->OnRightButton(aMessage.myX, aMessage.myY, locShift, locControl);
            return true;
        case UI_VM_KEYDOWN:
            locFacade->OnKeyDown(aMessage.myVirtualKey);
            return true;
        case UI_VM_KEYUP:
            locFacade->OnKeyUp(aMessage.myVirtualKey);
            return true;
        case UI_VM_CHAR:
            locFacade->OnChar(int(aMessage.myChar));
            return true;
        case UI_VM_SIZE:
            locFacade->OnSize(aMessage.myWidth, aMessage.myHeight);
            return true;
        case UI_VM_PAINT:
            locFacade->Refresh(false);
            return true;
        default:
            return false;
        }
    }
};

// --- [SECTION] main frame ---

class KorrinthMainFrame : public UI_FrameHandler
{
public:
    bool OnCommand(UI_Frame* aFrame, int anId) override;
    bool OnUpdateCommand(UI_Frame* aFrame, int anId, UI_CommandState* aState) override;
    void OnIdle(UI_Frame*) override
    {
        if (AppFacade* locFacade = AppFacade::Get())
            locFacade->OnIdle();
    }

    // LVS_TYPEMASK of the list view: 0 icon, 1 report, 2 small icon, 3 list.
    int myViewStyle = 0;
};

bool KorrinthMainFrame::OnUpdateCommand(UI_Frame*, int anId, UI_CommandState* aState)
{
    AppFacade* locFacade = AppFacade::Get();
    if (!locFacade)
        return false;
    switch (anId)
    {
    case ID_FILE_MERGE:
        aState->myEnabled = locFacade->HasInstances();
        return true;
    case ID_INSTANCE_NEW:
        aState->myEnabled = locFacade->HasTypes();
        return true;
    case ID_VIEW_CLEAR_ON_REDRAW:
        aState->myChecked = locFacade->GetDrawFlag();
        return true;
    case ID_VIEW_SMALLICON:
        aState->myChecked = myViewStyle == 2;
        return true;
    case ID_VIEW_LARGEICON:
        aState->myChecked = myViewStyle == 0;
        return true;
    case ID_VIEW_LIST:
        aState->myChecked = myViewStyle == 3;
        return true;
    case ID_VIEW_DETAILS:
        aState->myChecked = myViewStyle == 1;
        return true;
    case ID_VIEW_LINEUP:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
    case ID_VIEW_VELK:
    case ID_TYPE_INCLUDE:
    case ID_TYPE_NEW:
    case ID_TYPE_VIEW:
    case UI_ID_APP_ABOUT:
        return true;
    default:
        return false;
    }
}

bool KorrinthMainFrame::OnCommand(UI_Frame* aFrame, int anId)
{
    AppFacade* locFacade = AppFacade::Get();
    if (!locFacade)
        return false;
    switch (anId)
    {
    case ID_FILE_MERGE:
    {
        std::string locPath;
        if (!locFileDialog("Merge Velk", "Velk Files (*.velk)", "*.velk", &locPath))
            return true;
        if (locFacade->MergeFile(locPath.c_str()))
            UI_FrameSetModified(aFrame, true);
        return true;
    }
    case ID_EDIT_COPY:
        locFacade->TreeCopy();
        return true;
    case ID_EDIT_PASTE:
        locFacade->TreePaste();
        return true;
    case ID_VIEW_CLEAR_ON_REDRAW:
        locFacade->ToggleDrawFlag();
        return true;
    case ID_VIEW_VELK:
    {
        CDlgViewVelk locDialog;
        locDialog.myBaseDirectory = locFacade->GetBaseDirectory();
        for (QC_List<VelkViewer*>::Link* locLink = locFacade->GetViewers().myFirstLink; locLink;
             locLink = locLink->myNext)
            locDialog.myFiles.Add(locLink->myItem->GetFileName());
        if (locDialog.DoModal() != UI_IDOK)
            return true;
        locFacade->DeleteViewers();
        for (QC_List<QC_String>::Link* locLink = locDialog.myRelativeFiles.myFirstLink; locLink;
             locLink = locLink->myNext)
            locFacade->AddViewer(locLink->myItem);
        locFacade->Refresh(false);
        return true;
    }
    case ID_INSTANCE_NEW:
    {
        CDlgInstance locDialog;
        locDialog.myTypeManager = &locFacade->GetTypeManager();
        for (const std::string& locName : locTypeNames(locFacade))
            locDialog.myTypes.Add(QC_String(locName.c_str()));
        if (locDialog.DoModal() == UI_IDOK)
            locFacade->NewInstance(locDialog.myTypeName, locDialog.myName);
        return true;
    }
    case ID_TYPE_INCLUDE:
    {
        std::string locPath;
        if (!locFileDialog("Include Types", "Type Files (*.fruit)", "*.fruit", &locPath))
        {
            locFacade->ResetDirectory();
            return true;
        }
        if (locFacade->IncludeTypes(locPath.c_str()))
            UI_FrameSetModified(aFrame, true);
        return true;
    }
    case ID_TYPE_NEW:
    {
        CDlgType locDialog;
        for (const std::string& locName : locTypeNames(locFacade))
            locDialog.myTypes.Add(QC_String(locName.c_str()));
        if (locDialog.DoModal() != UI_IDOK)
            return true;
        if (!locFacade->NewType(locDialog.myMetaType, locDialog.myTypeName, locDialog.myMembers))
        {
            QC_String locText;
            locText.Format("Type '%s' was not created: the editor cannot create types. Declare it in a .fruit file "
                           "and include that file.",
                           locDialog.myTypeName.GetBuffer());
            UI_MessageBox(locProgram, VelkText_ToUI(locText).c_str(), OS_MB_OK | OS_MB_ICONWARNING);
        }
        return true;
    }
    case ID_TYPE_VIEW:
    {
        TypeVis& locTypeVis = locFacade->GetTypeVis();
        CDlgViewTypes locDialog(&locFacade->GetTypeManager(), &locTypeVis.GetFilterManager());
        locDialog.myVisible = locTypeVis.GetShown();
        locDialog.myInvisible = locTypeVis.GetHidden();
        if (locDialog.DoModal() == UI_IDOK)
            locTypeVis.SetLists(locDialog.myVisible, locDialog.myInvisible);
        locFacade->Refresh(true);
        return true;
    }
    case ID_VIEW_SMALLICON:
        myViewStyle = 2;
        return true;
    case ID_VIEW_LARGEICON:
        myViewStyle = 0;
        return true;
    case ID_VIEW_LIST:
        myViewStyle = 3;
        return true;
    case ID_VIEW_DETAILS:
        myViewStyle = 1;
        return true;
    case ID_VIEW_LINEUP:
        // The list view holds no items of its own: nothing moves.
        UI_FrameInvalidateView(aFrame);
        return true;
    case UI_ID_APP_ABOUT:
        UI_DoModal(ourAboutTemplate, locAboutProc, nullptr, nullptr);
        return true;
    default:
        return false;
    }
}

// --- [SECTION] start ---

class KorrinthProgram
{
public:
    UI_Frame* myFrame = nullptr;
    // The window the editors draw in: the frame's view pane. Outlives the facade.
    std::unique_ptr<VelkEditorView> myEditorView;
    KorrinthDocument myDocument;
    KorrinthLeftView myLeftView;
    KorrinthView myView;
    KorrinthMainFrame myMainFrame;
};

KorrinthProgram* Korrinth_Start(const char* aFileName, VelkEditorFactory* aFactoryPrototype)
{
    static const std::vector<UI_Image> ourToolImages = locToolImages();
    UI_FrameTemplate locTemplate = {};
    locTemplate.myProgramName = locProgram;
    locTemplate.myMenu = ourMenu;
    locTemplate.myNumMenuEntries = int(sizeof(ourMenu) / sizeof(ourMenu[0]));
    locTemplate.myAccelerators = ourAccelerators;
    locTemplate.myNumAccelerators = int(sizeof(ourAccelerators) / sizeof(ourAccelerators[0]));
    locTemplate.myToolButtons = ourButtons;
    locTemplate.myNumToolButtons = int(sizeof(ourButtons) / sizeof(ourButtons[0]));
    locTemplate.myToolImages = ourToolImages.data();
    locTemplate.myNumToolImages = int(ourToolImages.size());
    locTemplate.myIndicators = ourIndicators;
    locTemplate.myNumIndicators = int(sizeof(ourIndicators) / sizeof(ourIndicators[0]));
    locTemplate.myLeftPaneWidth = 350;

    KorrinthProgram* locProgramState = new KorrinthProgram;
    UI_Frame* locFrame = UI_CreateFrame(locTemplate);
    UI_Dialog* locBar = locFrame ? UI_FrameCreateDialogBar(locFrame, ourBarTemplate, locBarProc) : nullptr;
    UI_Dialog* locPane =
        locFrame ? UI_FrameCreatePane(locFrame, ourPaneTemplate, KorrinthLeftView::PaneProc, IDC_LEFT_TREE) : nullptr;
    if (!locFrame || !locBar || !locPane)
    {
        UI_MessageBox(locProgram, "Failed to create the main window", OS_MB_OK | OS_MB_ICONERROR);
        UI_DestroyFrame(locFrame);
        delete locProgramState;
        return nullptr;
    }
    locProgramState->myFrame = locFrame;
    locProgramState->myDocument.myFrame = locFrame;
    locProgramState->myEditorView = std::make_unique<VelkEditorView>(locFrame);

    AppFacade::Panes locPanes;
    locPanes.myDocument = &locProgramState->myDocument;
    locPanes.myListView = static_cast<QDGDI_Window*>(locProgramState->myEditorView.get());
    locPanes.myTreePane = locPane;
    locPanes.myTreeId = IDC_LEFT_TREE;
    locPanes.myConsoleBar = locBar;
    QC_String locMessage;
    VAVE_Factory locFactory;
    VAVE_TypeConstraintSet locConstraints;
    if (!AppFacade::Create(locPanes, locMessage, aFactoryPrototype ? aFactoryPrototype : &locFactory,
                           &locConstraints))
    {
        UI_MessageBox(locProgram, locMessage, OS_MB_OK | OS_MB_ICONERROR);
        UI_DestroyFrame(locFrame);
        delete locProgramState;
        return nullptr;
    }
    UI_FrameAddHandler(locFrame, &locProgramState->myLeftView);
    UI_FrameAddHandler(locFrame, &locProgramState->myView);
    UI_FrameAddHandler(locFrame, &locProgramState->myMainFrame);
    UI_FrameSetDocument(locFrame, &locProgramState->myDocument);

    bool locStarted = aFileName && aFileName[0] ? UI_FrameOpenDocument(locFrame, aFileName)
                                                : locProgramState->myDocument.OnNewDocument(locFrame);
    if (!locStarted)
    {
        Korrinth_Stop(locProgramState);
        return nullptr;
    }
    UI_FrameUpdateCommands(locFrame);
    return locProgramState;
}

UI_Frame* Korrinth_GetFrame(KorrinthProgram* aProgram)
{
    return aProgram ? aProgram->myFrame : nullptr;
}

int Korrinth_GetViewStyle(KorrinthProgram* aProgram)
{
    return aProgram ? aProgram->myMainFrame.myViewStyle : -1;
}

void Korrinth_Stop(KorrinthProgram* aProgram)
{
    if (!aProgram)
        return;
    UI_FrameRemoveHandler(aProgram->myFrame, &aProgram->myLeftView);
    UI_FrameRemoveHandler(aProgram->myFrame, &aProgram->myView);
    UI_FrameRemoveHandler(aProgram->myFrame, &aProgram->myMainFrame);
    UI_FrameSetDocument(aProgram->myFrame, nullptr);
    AppFacade::Destroy();
    UI_DestroyFrame(aProgram->myFrame);
    delete aProgram;
}

int KorrinthMain(const char* aFileName, const char* aSelectName)
{
    KorrinthProgram* locProgramState = Korrinth_Start(aFileName);
    if (!locProgramState)
        return 1;
    if (aSelectName && aSelectName[0])
    {
        VelkType* locInstance = AppFacade::Get()->GetNameSpace().GetInstance(aSelectName, false);
        if (locInstance)
        {
            AppFacade::Get()->GetTree()->SelectObject(locInstance);
            if (!AppFacade::Get()->GetEditor())
                std::fprintf(stderr, "Korrinth: no editor opens for %s\n", aSelectName);
        }
        else
            std::fprintf(stderr, "Korrinth: no instance %s in %s\n", aSelectName, aFileName ? aFileName : "the file");
    }
    UI_FrameShow(locProgramState->myFrame);
    int locResult = UI_GalleryFolder() ? Korrinth_Gallery(locProgramState->myFrame)
                                       : UI_FrameRun(locProgramState->myFrame);
    Korrinth_Stop(locProgramState);
    return locResult;
}
