// Setup surface.
#include "modeleditor/app/pranvel_surfacedlg.h"
#include "modeleditor/app/pranvel_colorbutton.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_view.h"

#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "platform/os/os_file.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"

#include <cstdio>
#include <iterator>
#include <new>
#include <strings.h>

namespace
{
const UI_ControlTemplate ourSurfaceControls[] = {
    {-1, UI_CONTROL_STATIC, "Surface file", 7, 9, 50, 8, 0},
    {IDC_SURF_FILE, UI_CONTROL_COMBOBOX, nullptr, 60, 7, 150, 120, 0},
    {IDC_SURF_EDIT, UI_CONTROL_PUSHBUTTON, "Edit surface", 214, 7, 60, 14, UI_STYLE_DISABLED},
    {IDC_SURF_TEXTURES, UI_CONTROL_LISTBOX, nullptr, 7, 26, 203, 80, UI_STYLE_BORDER | UI_STYLE_VSCROLL},
    {IDC_SURF_CHANGE_TEXTURE, UI_CONTROL_PUSHBUTTON, "Change texture", 214, 26, 60, 14, 0},
    {-1, UI_CONTROL_STATIC, "Alpha ref", 7, 114, 40, 8, 0},
    {IDC_SURF_ALPHA_REF, UI_CONTROL_EDIT, nullptr, 50, 112, 30, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Animation FPS", 90, 114, 50, 8, 0},
    {IDC_SURF_FPS, UI_CONTROL_EDIT, nullptr, 142, 112, 40, 14, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 170, 134, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 224, 134, 50, 14, 0},
};

bool locEndsInSur(const char* aName)
{
    size_t n = strlen(aName);
    return n >= 4 && strcasecmp(aName + n - 4, ".sur") == 0;
}

bool locCollectSurface(const OS_DirEntry& anEntry, void* aUserData)
{
    if (!anEntry.myInfo.myIsDirectory && locEndsInSur(anEntry.myName))
        static_cast<std::vector<std::string>*>(aUserData)->push_back(anEntry.myName);
    return true;
}

QR_TemplatePart* locPart(QR_TemplateObject* aTemplate, uint32_t aSlot)
{
    uint32_t locIndex = aSlot & 0xFFFF;
    // The slot's part index is checked against the model's parts.
    if (!aTemplate || locIndex >= aTemplate->myNumParts)
        return nullptr;
    return &aTemplate->myParts[locIndex];
}
} // namespace

const UI_DialogTemplate CSelectSurfDlg::ourTemplate = {
    IDD_SETUP_SURFACE, "Setup surface", 281, 155, "MS Shell Dlg", 8, ourSurfaceControls,
    int(std::size(ourSurfaceControls))};

CSelectSurfDlg::~CSelectSurfDlg()
{
    HoldSurface(nullptr);
}

bool CSelectSurfDlg::SetSlot(QR_TemplateObject* aTemplate, uint32_t aSlot)
{
    myTemplate = aTemplate;
    mySlot = aSlot;
    QR_TemplatePart* locPart = ::locPart(aTemplate, aSlot);
    if (!locPart || !locPart->myMesh || !locPart->myMesh->mySurface)
        return false;
    HoldSurface(locPart->myMesh->mySurface->myName);
    myAlphaRef = 0;
    return true;
}

void CSelectSurfDlg::HoldSurface(const char* aName)
{
    if (mySurface)
        QR_Surface::Release(mySurface);
    mySurface = nullptr;
    mySurfaceName = aName ? aName : "";
    if (aName && aName[0])
        mySurface = QR_Surface::Acquire(aName);
}

intptr_t CSelectSurfDlg::DoModal(UI_Dialog* aParent)
{
    if (!locPart(myTemplate, mySlot))
        return UI_IDCANCEL;
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t CSelectSurfDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CSelectSurfDlg* locThis = static_cast<CSelectSurfDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    if (aMessage.myKind == UI_MSG_INITDIALOG)
    {
        locThis->FillSurfaceControls(aDialog);
        UI_MoveDialogToLeftEdge(aDialog);
        PranvelForwardMouseMoves(aDialog);
    }
    else if (aMessage.myKind == UI_MSG_CLOSE)
        UI_EndDialog(aDialog, UI_IDCANCEL);
    else if (aMessage.myKind == UI_MSG_COMMAND)
    {
        int locId = aMessage.myControlId;
        if (locId == IDC_SURF_FILE && aMessage.myNotifyCode == UI_CBN_SELCHANGE)
            locThis->OnSurfaceChosen(aDialog);
        else if (locId == IDC_SURF_CHANGE_TEXTURE && aMessage.myNotifyCode == UI_BN_CLICKED)
            locThis->OnChangeTexture(aDialog);
        else if (locId == IDC_SURF_ALPHA_REF && aMessage.myNotifyCode == UI_EN_CHANGE)
            locThis->OnAlphaRefChanged(aDialog);
        else if (locId == UI_IDOK && aMessage.myNotifyCode == UI_BN_CLICKED)
        {
            locThis->OnApplySurface(aDialog);
            UI_EndDialog(aDialog, UI_IDOK);
        }
        else if (locId == UI_IDCANCEL && aMessage.myNotifyCode == UI_BN_CLICKED)
            UI_EndDialog(aDialog, UI_IDCANCEL);
    }
    return 0;
}

void CSelectSurfDlg::FillSurfaceControls(UI_Dialog* aDialog)
{
    UI_SetEditLimit(aDialog, IDC_SURF_ALPHA_REF, 3);
    PranvelSetIntText(aDialog, IDC_SURF_ALPHA_REF, myAlphaRef);

    UI_ComboReset(aDialog, IDC_SURF_FILE);
    UI_ComboAdd(aDialog, IDC_SURF_FILE, "Default solid");
    UI_ComboAdd(aDialog, IDC_SURF_FILE, "Default alpha");
    myFiles.clear();
    // The path layer finds the folder whatever the case of its name on disk.
    OS_ListDirectory("surfaces", locCollectSurface, &myFiles);
    int locChoice = -1;
    if (mySurfaceName.CompareNoCase("INTERNAL_SOLID") == 0)
        locChoice = 0;
    else if (mySurfaceName.CompareNoCase("INTERNAL_ALPHA") == 0)
        locChoice = 1;
    for (size_t i = 0; i < myFiles.size(); i++)
    {
        UI_ComboAdd(aDialog, IDC_SURF_FILE, myFiles[i].c_str());
        std::string locPath = "surfaces/" + myFiles[i];
        if (locChoice < 0 && strcasecmp(locPath.c_str(), mySurfaceName) == 0)
            locChoice = int(i) + 2;
    }
    UI_ComboSetCurSel(aDialog, IDC_SURF_FILE, locChoice);

    UI_ListReset(aDialog, IDC_SURF_TEXTURES);
    QR_TemplatePart* locPart = ::locPart(myTemplate, mySlot);
    uint32_t locCount = mySurface ? mySurface->myNumTextures : 0;
    for (uint32_t i = 0; i < locCount; i++)
    {
        // The part's own texture where it names one, else the surface's.
        const QR_TextureNames* locNames = nullptr;
        if (locPart && i < locPart->myNumTextureNames && locPart->myTextureNames[i].myNumNames &&
            locPart->myTextureNames[i].myNames[0].GetBuffer()[0])
            locNames = &locPart->myTextureNames[i];
        else if (i < mySurface->myNumTextureNames)
            locNames = &mySurface->myTextureNames[i];
        const char* locName = locNames && locNames->myNumNames ? locNames->myNames[0].GetBuffer() : "";
        char locText[300];
        snprintf(locText, sizeof(locText), locNames && locNames->myNumNames > 1 ? "%s (animated)" : "%s", locName);
        UI_ListAdd(aDialog, IDC_SURF_TEXTURES, locText);
    }
}

void CSelectSurfDlg::OnSurfaceChosen(UI_Dialog* aDialog)
{
    int locChoice = UI_ComboGetCurSel(aDialog, IDC_SURF_FILE);
    if (locChoice < 0)
        return;
    if (locChoice == 0)
        HoldSurface("INTERNAL_SOLID");
    else if (locChoice == 1)
        HoldSurface("INTERNAL_ALPHA");
    else
    {
        std::string locText;
        UI_ComboGetText(aDialog, IDC_SURF_FILE, locChoice, &locText);
        HoldSurface(("surfaces/" + locText).c_str());
    }
    FillSurfaceControls(aDialog);
}

void CSelectSurfDlg::OnChangeTexture(UI_Dialog* aDialog)
{
    int locLine = UI_ListGetCurSel(aDialog, IDC_SURF_TEXTURES);
    if (locLine < 0 || !locPart(myTemplate, mySlot))
        return;
    QC_String locPath, locName;
    if (!OpenFileDialog(PATHS_TEXTURE, ourPathsFile, true, &locPath, &locName))
        return;
    // Only a three-letter extension goes; other names are kept whole.
    PranvelCutExtension(&locPath);
    ChangeTextureCommand* locCommand = new ChangeTextureCommand;
    locCommand->myTextureName = locPath;
    locCommand->myPartIndex = int32_t(mySlot);
    locCommand->mySlot = locLine;
    PranvelRunCommand(locCommand);
    FillSurfaceControls(aDialog);
}

void CSelectSurfDlg::OnAlphaRefChanged(UI_Dialog* aDialog)
{
    int locValue = PranvelReadInt(aDialog, IDC_SURF_ALPHA_REF);
    if (locValue < 0)
    {
        myAlphaRef = 0;
        UI_SetControlText(aDialog, IDC_SURF_ALPHA_REF, "0");
    }
    else if (locValue > 255)
    {
        myAlphaRef = 255;
        UI_SetControlText(aDialog, IDC_SURF_ALPHA_REF, "255");
    }
    else
        myAlphaRef = locValue;
}

void CSelectSurfDlg::OnApplySurface(UI_Dialog*)
{
    QR_TemplatePart* locPart = ::locPart(myTemplate, mySlot);
    if (!locPart)
        return;
    // The part's per-texture entries follow the surface's slot count: new ones
    // empty, surplus ones released.
    uint32_t locCount = mySurface ? mySurface->myNumTextures : 0;
    if (locCount != locPart->myNumTextureNames)
    {
        QR_TextureNames* locNames = locCount ? new (std::nothrow) QR_TextureNames[locCount] : nullptr;
        if (locCount && !locNames)
            return;
        for (uint32_t i = 0; i < locCount && i < locPart->myNumTextureNames; i++)
        {
            QR_TextureNames& o = locPart->myTextureNames[i];
            std::swap(locNames[i].myType, o.myType);
            std::swap(locNames[i].myNames, o.myNames);
            std::swap(locNames[i].myNumNames, o.myNumNames);
            std::swap(locNames[i].myFramesPerSecond, o.myFramesPerSecond);
        }
        delete[] locPart->myTextureNames;
        locPart->myTextureNames = locNames;
        locPart->myNumTextureNames = locCount;
    }
    SelectSurfaceCommand* locCommand = new SelectSurfaceCommand;
    locCommand->mySurfaceName = mySurfaceName;
    locCommand->myPartIndex = int32_t(mySlot);
    locCommand->myAlphaRef = myAlphaRef;
    PranvelRunCommand(locCommand);
}

bool PranvelEditSurface(uint32_t aPartIndex, UI_Dialog* aParent)
{
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    if (!locScene || !locScene->IsModelLoaded())
        return false;
    CSelectSurfDlg locDialog;
    if (!locDialog.SetSlot(locScene->GetTemplate(), aPartIndex))
        return false;
    return locDialog.DoModal(aParent) == UI_IDOK;
}

void PranvelTreeEditSurface(CPranvelView* aView, QRenderEditorTree* aTree, uint32_t aPartIndex, UI_Dialog* aParent)
{
    if (!PranvelEditSurface(aPartIndex, aParent))
        return;
    if (aView)
        aView->EnableRenderTimer(false);
    if (QRenderEditor::ourInstance && aTree)
        QRenderEditor::ourInstance->RebuildTree(aTree);
    if (aView)
        aView->EnableRenderTimer(true);
}
