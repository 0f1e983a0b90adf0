// Object Colors, Setup Point Light and Options.
#include "modeleditor/app/pranvel_scenedlgs.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_modeldlgs.h"
#include "modeleditor/app/pranvel_resource.h"

#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "platform/os/os_file.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_prompt.h"
#include "qrender/qr_light.h"
#include "qrender/qr_view.h"

#include <cmath>
#include <iterator>
#include <cstdio>
#include <strings.h>

// [SECTION] resources
// [SECTION] Object Colors
// [SECTION] Setup Point Light
// [SECTION] Options

// --- [SECTION] resources ---

namespace
{
const UI_ControlTemplate ourColorsControls[] = {
    {IDC_OBJECT_COLOR_FIRST + 0, UI_CONTROL_PUSHBUTTON, nullptr, 7, 7, 18, 14, UI_STYLE_OWNERDRAW},
    {IDC_OBJECT_COLOR_FIRST + 1, UI_CONTROL_PUSHBUTTON, nullptr, 29, 7, 18, 14, UI_STYLE_OWNERDRAW},
    {IDC_OBJECT_COLOR_FIRST + 2, UI_CONTROL_PUSHBUTTON, nullptr, 51, 7, 18, 14, UI_STYLE_OWNERDRAW},
    {IDC_OBJECT_COLOR_FIRST + 3, UI_CONTROL_PUSHBUTTON, nullptr, 73, 7, 18, 14, UI_STYLE_OWNERDRAW},
    {IDC_OBJECT_COLOR_FIRST + 4, UI_CONTROL_PUSHBUTTON, nullptr, 95, 7, 18, 14, UI_STYLE_OWNERDRAW},
    {IDC_OBJECT_COLOR_FIRST + 5, UI_CONTROL_PUSHBUTTON, nullptr, 117, 7, 18, 14, UI_STYLE_OWNERDRAW},
    {IDC_OBJECT_COLOR_FIRST + 6, UI_CONTROL_PUSHBUTTON, nullptr, 139, 7, 18, 14, UI_STYLE_OWNERDRAW},
    {IDC_OBJECT_COLOR_FIRST + 7, UI_CONTROL_PUSHBUTTON, nullptr, 161, 7, 18, 14, UI_STYLE_OWNERDRAW},
};

const UI_ControlTemplate ourLightControls[] = {
    {-1, UI_CONTROL_GROUPBOX, "Ambient Light", 7, 7, 236, 36, 0},
    {-1, UI_CONTROL_STATIC, "Red", 14, 22, 18, 8, 0},
    {IDC_LIGHT_AMBIENT_RED, UI_CONTROL_EDIT, nullptr, 34, 20, 30, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Green", 70, 22, 22, 8, 0},
    {IDC_LIGHT_AMBIENT_GREEN, UI_CONTROL_EDIT, nullptr, 94, 20, 30, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Blue", 130, 22, 18, 8, 0},
    {IDC_LIGHT_AMBIENT_BLUE, UI_CONTROL_EDIT, nullptr, 150, 20, 30, 14, UI_STYLE_BORDER},
    {IDC_LIGHT_AMBIENT_SWATCH, UI_CONTROL_PUSHBUTTON, nullptr, 192, 20, 40, 14, UI_STYLE_OWNERDRAW},
    {-1, UI_CONTROL_GROUPBOX, "Directional Light", 7, 48, 236, 72, 0},
    {-1, UI_CONTROL_STATIC, "Direction", 14, 63, 34, 8, 0},
    {IDC_LIGHT_DIRECTION, UI_CONTROL_EDIT, nullptr, 50, 61, 40, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Elevation", 100, 63, 34, 8, 0},
    {IDC_LIGHT_ELEVATION, UI_CONTROL_EDIT, nullptr, 136, 61, 40, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Z-pos", 14, 82, 34, 8, 0},
    {IDC_LIGHT_ZPOS, UI_CONTROL_EDIT, nullptr, 50, 80, 40, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Range", 100, 82, 34, 8, 0},
    {IDC_LIGHT_RANGE, UI_CONTROL_EDIT, nullptr, 136, 80, 40, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Red", 14, 101, 18, 8, 0},
    {IDC_LIGHT_DIR_RED, UI_CONTROL_EDIT, nullptr, 34, 99, 30, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Green", 70, 101, 22, 8, 0},
    {IDC_LIGHT_DIR_GREEN, UI_CONTROL_EDIT, nullptr, 94, 99, 30, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Blue", 130, 101, 18, 8, 0},
    {IDC_LIGHT_DIR_BLUE, UI_CONTROL_EDIT, nullptr, 150, 99, 30, 14, UI_STYLE_BORDER},
    {IDC_LIGHT_DIR_SWATCH, UI_CONTROL_PUSHBUTTON, nullptr, 192, 99, 40, 14, UI_STYLE_OWNERDRAW},
    {IDC_LIGHT_DOT3, UI_CONTROL_CHECKBOX, "Dot3 light direction", 7, 128, 100, 10, 0},
    {-1, UI_CONTROL_STATIC, "Min light", 7, 146, 34, 8, 0},
    {IDC_LIGHT_MIN, UI_CONTROL_EDIT, nullptr, 44, 144, 40, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Max light", 94, 146, 34, 8, 0},
    {IDC_LIGHT_MAX, UI_CONTROL_EDIT, nullptr, 130, 144, 40, 14, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 250, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 250, 24, 50, 14, 0},
};

const UI_ControlTemplate ourOptionsControls[] = {
    {-1, UI_CONTROL_STATIC, "Working Folder", 7, 9, 60, 8, 0},
    {IDC_OPT_WORKDIR, UI_CONTROL_EDIT, nullptr, 70, 7, 170, 14, UI_STYLE_BORDER},
    {IDC_OPT_WORKDIR_BROWSE, UI_CONTROL_PUSHBUTTON, "Browse", 244, 7, 40, 14, 0},
    {-1, UI_CONTROL_STATIC, "Background Color", 7, 29, 60, 8, 0},
    {IDC_OPT_BG_SWATCH, UI_CONTROL_PUSHBUTTON, nullptr, 70, 27, 30, 14, UI_STYLE_OWNERDRAW},
    {-1, UI_CONTROL_STATIC, "Ambient Color", 110, 29, 50, 8, 0},
    {IDC_OPT_AMBIENT_SWATCH, UI_CONTROL_PUSHBUTTON, nullptr, 162, 27, 30, 14, UI_STYLE_OWNERDRAW},
    {-1, UI_CONTROL_GROUPBOX, "Fog", 7, 46, 277, 30, 0},
    {IDC_OPT_FOG_ACTIVE, UI_CONTROL_CHECKBOX, "Active", 14, 58, 40, 10, 0},
    {IDC_OPT_FOG_SWATCH, UI_CONTROL_PUSHBUTTON, nullptr, 60, 56, 30, 14, UI_STYLE_OWNERDRAW},
    {-1, UI_CONTROL_STATIC, "Start", 100, 58, 20, 8, 0},
    {IDC_OPT_FOG_START, UI_CONTROL_EDIT, nullptr, 122, 56, 50, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Nearplane", 7, 84, 40, 8, 0},
    {IDC_OPT_NEARPLANE, UI_CONTROL_EDIT, nullptr, 50, 82, 50, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Farplane", 110, 84, 36, 8, 0},
    {IDC_OPT_FARPLANE, UI_CONTROL_EDIT, nullptr, 148, 82, 50, 14, UI_STYLE_BORDER},
    {IDC_OPT_AUTO_FAR, UI_CONTROL_CHECKBOX, "Auto calc near/far plane", 7, 100, 120, 10, 0},
    {-1, UI_CONTROL_STATIC, "Sensitivity", 7, 118, 40, 8, 0},
    {IDC_OPT_MOUSE_SENS, UI_CONTROL_EDIT, nullptr, 50, 116, 50, 14, UI_STYLE_BORDER},
    {IDC_OPT_GRID, UI_CONTROL_CHECKBOX, "Enable grid", 7, 136, 60, 10, 0},
    {-1, UI_CONTROL_STATIC, "Grid size", 80, 137, 36, 8, 0},
    {IDC_OPT_GRID_SIZE, UI_CONTROL_EDIT, nullptr, 118, 135, 50, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Default Halo Texture", 7, 157, 70, 8, 0},
    {IDC_OPT_HALO, UI_CONTROL_EDIT, nullptr, 80, 155, 160, 14, UI_STYLE_BORDER},
    {IDC_OPT_HALO_BROWSE, UI_CONTROL_PUSHBUTTON, "Browse", 244, 155, 40, 14, 0},
    {-1, UI_CONTROL_STATIC, "Default Surface", 7, 176, 70, 8, 0},
    {IDC_OPT_SURFACE, UI_CONTROL_EDIT, nullptr, 80, 174, 160, 14, UI_STYLE_BORDER},
    {IDC_OPT_SURFACE_BROWSE, UI_CONTROL_PUSHBUTTON, "Browse", 244, 174, 40, 14, 0},
    {IDC_OPT_CACHE, UI_CONTROL_CHECKBOX, "Cache rendering", 7, 194, 80, 10, 0},
    {IDC_OPT_KEEP_CAMERA, UI_CONTROL_CHECKBOX, "Don't reset camera on reload", 100, 194, 130, 10, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 180, 212, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 234, 212, 50, 14, 0},
};


CColorsDlg ourColorsDlg;

// A colour component typed into a field: 0..255, so that it cannot spill
// into the next byte of the packed colour.
int locComponent(float aValue)
{
    if (!(aValue > 0.0f))
        return 0;
    return aValue >= 255.0f ? 255 : int(aValue);
}
} // namespace

const UI_DialogTemplate CColorsDlg::ourTemplate = {
    IDD_OBJECT_COLORS, "Object Colors", 186, 28, "MS Shell Dlg", 8, ourColorsControls, int(std::size(ourColorsControls))};
const UI_DialogTemplate CPointLightDlg::ourTemplate = {
    IDD_POINT_LIGHT, "Setup Point Light", 307, 166, "MS Shell Dlg", 8, ourLightControls, int(std::size(ourLightControls))};
const UI_DialogTemplate COptionsDlg::ourTemplate = {
    IDD_OPTIONS, "Options", 291, 233, "MS Shell Dlg", 8, ourOptionsControls, int(std::size(ourOptionsControls))};

float CPointLightDlg::ourMinLight = 0.0f;
float CPointLightDlg::ourMaxLight = 1.0f;

// --- [SECTION] Object Colors ---

CColorsDlg::~CColorsDlg()
{
    // The frame destroys the dialog with itself; a dialog left over goes with the application.
}

UI_Dialog* CColorsDlg::Create(UI_Dialog* aParent)
{
    if (myDialog)
        return myDialog;
    myDialog = UI_CreateDialog(ourTemplate, DialogProc, aParent);
    if (!myDialog)
        return nullptr;
    UI_SetDialogUserData(myDialog, this);
    // The user data arrives after the creation's initialisation.
    OnInitDialog(myDialog);
    return myDialog;
}

intptr_t CColorsDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CColorsDlg* locThis = static_cast<CColorsDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    if (aMessage.myKind == UI_MSG_DRAWITEM)
    {
        int k = aMessage.myControlId - IDC_OBJECT_COLOR_FIRST;
        if (k >= 0 && k < 8)
            locThis->mySwatches[k].DrawItem(aMessage.myDrawItem);
    }
    else if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myNotifyCode == UI_BN_CLICKED &&
             aMessage.myControlId >= IDC_OBJECT_COLOR_FIRST && aMessage.myControlId < IDC_OBJECT_COLOR_FIRST + 8)
        locThis->OnSwatchClicked(aMessage.myControlId - IDC_OBJECT_COLOR_FIRST);
    else if (aMessage.myKind == UI_MSG_CLOSE ||
             (aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == UI_IDCANCEL))
    {
        // Closed through the frame's own entry, so that its check mark follows.
        UI_Frame* locFrame = PranvelGetDialogFrame();
        if (!locFrame || !UI_IsDialogVisible(aDialog) || !UI_FrameDoCommand(locFrame, ID_TOOLS_COLORS))
            UI_ShowDialog(aDialog, false);
    }
    else if (aMessage.myKind == UI_MSG_DESTROY)
        locThis->myDialog = nullptr;
    return 0;
}

void CColorsDlg::OnInitDialog(UI_Dialog* aDialog)
{
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    for (int k = 0; k < 8; k++)
    {
        mySwatches[k].Attach(aDialog, IDC_OBJECT_COLOR_FIRST + k);
        mySwatches[k].myColor = locScene ? PranvelSwapRedBlue(locScene->GetObjectColor(uint32_t(k))) : 0;
        PranvelWatchDoubleClick(aDialog, IDC_OBJECT_COLOR_FIRST + k, [this, k]() { OnSwatchDoubleClicked(k); });
    }
    PranvelForwardMouseMoves(aDialog);
}

void CColorsDlg::OnSwatchClicked(int anIndex)
{
    // The scene sets the instance's tint, keeping its alpha, when there is one.
    if (QRenderEditor* locScene = QRenderEditor::ourInstance)
        locScene->SetObjectColorIndex(uint32_t(anIndex));
}

void CColorsDlg::OnSwatchDoubleClicked(int anIndex)
{
    uint32_t locColor = mySwatches[anIndex].myColor;
    if (!UI_ChooseColor("Color", &locColor))
        return;
    if (QRenderEditor* locScene = QRenderEditor::ourInstance)
        locScene->SetObjectColor(uint32_t(anIndex), PranvelSwapRedBlue(locColor));
    mySwatches[anIndex].SetColor(locColor);
}

// --- [SECTION] Setup Point Light ---

intptr_t CPointLightDlg::DoModal(UI_Dialog* aParent)
{
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t CPointLightDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CPointLightDlg* locThis = static_cast<CPointLightDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    switch (aMessage.myKind)
    {
    case UI_MSG_INITDIALOG:
        locThis->myAmbientSwatch.Attach(aDialog, IDC_LIGHT_AMBIENT_SWATCH);
        locThis->myDirSwatch.Attach(aDialog, IDC_LIGHT_DIR_SWATCH);
        locThis->Fill(aDialog);
        // The scene takes the light again from the fields, as whole components.
        locThis->ApplyDirectional(aDialog);
        locThis->ApplyAmbient(aDialog);
        PranvelForwardMouseMoves(aDialog);
        break;
    case UI_MSG_SHOWWINDOW:
        if (aMessage.myNotifyCode == 1)
            locThis->Fill(aDialog);
        break;
    case UI_MSG_DRAWITEM:
        if (aMessage.myControlId == IDC_LIGHT_AMBIENT_SWATCH)
            locThis->myAmbientSwatch.DrawItem(aMessage.myDrawItem);
        else if (aMessage.myControlId == IDC_LIGHT_DIR_SWATCH)
            locThis->myDirSwatch.DrawItem(aMessage.myDrawItem);
        break;
    case UI_MSG_COMMAND:
        switch (aMessage.myControlId)
        {
        case IDC_LIGHT_AMBIENT_SWATCH: locThis->PickColor(aDialog, true); break;
        case IDC_LIGHT_DIR_SWATCH: locThis->PickColor(aDialog, false); break;
        case IDC_LIGHT_AMBIENT_RED:
        case IDC_LIGHT_AMBIENT_GREEN:
        case IDC_LIGHT_AMBIENT_BLUE:
            if (aMessage.myNotifyCode == UI_EN_KILLFOCUS)
                locThis->ApplyAmbient(aDialog);
            break;
        case IDC_LIGHT_DIR_RED:
        case IDC_LIGHT_DIR_GREEN:
        case IDC_LIGHT_DIR_BLUE:
            if (aMessage.myNotifyCode == UI_EN_KILLFOCUS)
                locThis->ApplyDirectional(aDialog);
            break;
        case UI_IDOK: locThis->OnOK(aDialog); break;
        case UI_IDCANCEL: UI_EndDialog(aDialog, UI_IDCANCEL); break;
        default: break;
        }
        break;
    case UI_MSG_CLOSE: UI_EndDialog(aDialog, UI_IDCANCEL); break;
    default: break;
    }
    return 0;
}

void CPointLightDlg::Fill(UI_Dialog* aDialog)
{
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    if (!locScene)
        return;
    myDot3Flag = locScene->myLightVectorColoring ? 1 : 0;
    myMinLight = ourMinLight;
    myMaxLight = ourMaxLight;
    if (const QR_Light* locLight = locScene->GetLight())
    {
        for (int i = 0; i < 3; i++)
            myDirColor[i] = float(locComponent(locLight->myColor[i] * 255.0f + 0.5f));
        if (locLight->myType == 0)
        {
            myDirection = locScene->GetDirLightDirection() * 57.29579f;
            myElevation = locScene->GetDirLightElevation() * 57.29579f;
            myZPos = 0.0f;
            myRange = 0.0f;
        }
    }
    myDirSwatch.SetColor(uint32_t(locComponent(myDirColor[0])) | uint32_t(locComponent(myDirColor[1])) << 8 |
                         uint32_t(locComponent(myDirColor[2])) << 16);
    uint32_t locAmbient = locScene->GetAmbientColor();
    myAmbient[0] = float((locAmbient >> 16) & 0xFF);
    myAmbient[1] = float((locAmbient >> 8) & 0xFF);
    myAmbient[2] = float(locAmbient & 0xFF);
    myAmbientSwatch.SetColor(PranvelSwapRedBlue(locAmbient));
    ShowFields(aDialog);
}

void CPointLightDlg::ShowFields(UI_Dialog* aDialog)
{
    static const int locAmbientIds[3] = {IDC_LIGHT_AMBIENT_RED, IDC_LIGHT_AMBIENT_GREEN, IDC_LIGHT_AMBIENT_BLUE};
    static const int locDirIds[3] = {IDC_LIGHT_DIR_RED, IDC_LIGHT_DIR_GREEN, IDC_LIGHT_DIR_BLUE};
    for (int i = 0; i < 3; i++)
    {
        PranvelSetFloatText(aDialog, locAmbientIds[i], "%g", myAmbient[i]);
        PranvelSetFloatText(aDialog, locDirIds[i], "%g", myDirColor[i]);
    }
    PranvelSetFloatText(aDialog, IDC_LIGHT_DIRECTION, "%g", myDirection);
    PranvelSetFloatText(aDialog, IDC_LIGHT_ELEVATION, "%g", myElevation);
    PranvelSetFloatText(aDialog, IDC_LIGHT_ZPOS, "%g", myZPos);
    PranvelSetFloatText(aDialog, IDC_LIGHT_RANGE, "%g", myRange);
    PranvelSetFloatText(aDialog, IDC_LIGHT_MIN, "%g", myMinLight);
    PranvelSetFloatText(aDialog, IDC_LIGHT_MAX, "%g", myMaxLight);
    UI_SetButtonCheck(aDialog, IDC_LIGHT_DOT3, myDot3Flag != 0);
}

void CPointLightDlg::ReadFields(UI_Dialog* aDialog)
{
    PranvelReadFloat(aDialog, IDC_LIGHT_AMBIENT_RED, &myAmbient[0]);
    PranvelReadFloat(aDialog, IDC_LIGHT_AMBIENT_GREEN, &myAmbient[1]);
    PranvelReadFloat(aDialog, IDC_LIGHT_AMBIENT_BLUE, &myAmbient[2]);
    PranvelReadFloat(aDialog, IDC_LIGHT_DIRECTION, &myDirection);
    PranvelReadFloat(aDialog, IDC_LIGHT_ELEVATION, &myElevation);
    PranvelReadFloat(aDialog, IDC_LIGHT_ZPOS, &myZPos);
    PranvelReadFloat(aDialog, IDC_LIGHT_RANGE, &myRange);
    PranvelReadFloat(aDialog, IDC_LIGHT_DIR_RED, &myDirColor[0]);
    PranvelReadFloat(aDialog, IDC_LIGHT_DIR_GREEN, &myDirColor[1]);
    PranvelReadFloat(aDialog, IDC_LIGHT_DIR_BLUE, &myDirColor[2]);
    PranvelReadFloat(aDialog, IDC_LIGHT_MIN, &myMinLight);
    PranvelReadFloat(aDialog, IDC_LIGHT_MAX, &myMaxLight);
    myDot3Flag = UI_IsButtonChecked(aDialog, IDC_LIGHT_DOT3) ? 1 : 0;
}

void CPointLightDlg::ApplyAmbient(UI_Dialog* aDialog)
{
    ReadFields(aDialog);
    uint32_t r = uint32_t(locComponent(myAmbient[0]));
    uint32_t g = uint32_t(locComponent(myAmbient[1]));
    uint32_t b = uint32_t(locComponent(myAmbient[2]));
    myAmbientSwatch.SetColor(r | g << 8 | b << 16);
    if (QRenderEditor* locScene = QRenderEditor::ourInstance)
        locScene->SetAmbientColor(r << 16 | g << 8 | b);
}

void CPointLightDlg::ApplyDirectional(UI_Dialog* aDialog)
{
    ReadFields(aDialog);
    uint32_t r = uint32_t(locComponent(myDirColor[0]));
    uint32_t g = uint32_t(locComponent(myDirColor[1]));
    uint32_t b = uint32_t(locComponent(myDirColor[2]));
    myDirSwatch.SetColor(r | g << 8 | b << 16);
    if (QRenderEditor* locScene = QRenderEditor::ourInstance)
        locScene->SetDirectionalLight(myDirection * 0.017453289f, myElevation * 0.017453289f, float(r) * 0.003921569f,
                                      float(g) * 0.003921569f, float(b) * 0.003921569f);
}

void CPointLightDlg::PickColor(UI_Dialog* aDialog, bool anAmbientFlag)
{
    CColorButton& locSwatch = anAmbientFlag ? myAmbientSwatch : myDirSwatch;
    uint32_t locColor = locSwatch.myColor;
    if (!UI_ChooseColor("Color", &locColor))
        return;
    float* locFields = anAmbientFlag ? myAmbient : myDirColor;
    ReadFields(aDialog);
    locFields[0] = float(locColor & 0xFF);
    locFields[1] = float((locColor >> 8) & 0xFF);
    locFields[2] = float((locColor >> 16) & 0xFF);
    ShowFields(aDialog);
    if (anAmbientFlag)
        ApplyAmbient(aDialog);
    else
        ApplyDirectional(aDialog);
}

void CPointLightDlg::OnOK(UI_Dialog* aDialog)
{
    ReadFields(aDialog);
    for (int i = 0; i < 3; i++)
    {
        myAmbient[i] = float(locComponent(myAmbient[i]));
        myDirColor[i] = float(locComponent(myDirColor[i]));
    }
    myAmbientSwatch.myColor =
        uint32_t(myAmbient[0]) | uint32_t(myAmbient[1]) << 8 | uint32_t(myAmbient[2]) << 16;
    ourMinLight = myMinLight;
    ourMaxLight = myMaxLight;
    if (QRenderEditor* locScene = QRenderEditor::ourInstance)
        locScene->myLightVectorColoring = myDot3Flag != 0;
    UI_EndDialog(aDialog, UI_IDOK);
}

// --- [SECTION] Options ---

intptr_t COptionsDlg::DoModal(UI_Dialog* aParent)
{
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t COptionsDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    COptionsDlg* locThis = static_cast<COptionsDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    switch (aMessage.myKind)
    {
    case UI_MSG_INITDIALOG: locThis->OnInitDialog(aDialog); break;
    case UI_MSG_DRAWITEM:
        if (aMessage.myControlId == IDC_OPT_BG_SWATCH)
            locThis->myBgSwatch.DrawItem(aMessage.myDrawItem);
        else if (aMessage.myControlId == IDC_OPT_AMBIENT_SWATCH)
            locThis->myAmbientSwatch.DrawItem(aMessage.myDrawItem);
        else if (aMessage.myControlId == IDC_OPT_FOG_SWATCH)
            locThis->myFogSwatch.DrawItem(aMessage.myDrawItem);
        break;
    case UI_MSG_COMMAND:
        if (aMessage.myNotifyCode != UI_BN_CLICKED)
            break;
        switch (aMessage.myControlId)
        {
        case IDC_OPT_WORKDIR_BROWSE: locThis->OnBrowseFolder(aDialog); break;
        case IDC_OPT_HALO_BROWSE: locThis->OnBrowseHalo(aDialog); break;
        case IDC_OPT_SURFACE_BROWSE: locThis->OnBrowseSurface(aDialog); break;
        case IDC_OPT_BG_SWATCH: locThis->PickColor(&locThis->myBgSwatch); break;
        case IDC_OPT_AMBIENT_SWATCH: locThis->PickColor(&locThis->myAmbientSwatch); break;
        case IDC_OPT_FOG_SWATCH: locThis->PickColor(&locThis->myFogSwatch); break;
        case UI_IDOK:
            if (locThis->OnOK(aDialog))
                UI_EndDialog(aDialog, UI_IDOK);
            break;
        case UI_IDCANCEL: UI_EndDialog(aDialog, UI_IDCANCEL); break;
        default: break;
        }
        break;
    case UI_MSG_CLOSE: UI_EndDialog(aDialog, UI_IDCANCEL); break;
    default: break;
    }
    return 0;
}

void COptionsDlg::OnInitDialog(UI_Dialog* aDialog)
{
    myBgSwatch.Attach(aDialog, IDC_OPT_BG_SWATCH);
    myAmbientSwatch.Attach(aDialog, IDC_OPT_AMBIENT_SWATCH);
    myFogSwatch.Attach(aDialog, IDC_OPT_FOG_SWATCH);
    // The fog is always on; the check only shows it.
    UI_SetButtonCheck(aDialog, IDC_OPT_FOG_ACTIVE, true);
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    if (!locScene)
        return;
    UI_SetControlText(aDialog, IDC_OPT_WORKDIR, locScene->GetWorkDir());
    myBgSwatch.myColor = PranvelSwapRedBlue(locScene->GetBgColor());
    myAmbientSwatch.myColor = PranvelSwapRedBlue(locScene->GetAmbientColor());
    myFogSwatch.myColor = PranvelSwapRedBlue(locScene->GetView() ? locScene->GetView()->myFogColor : 0);
    PranvelSetFloatText(aDialog, IDC_OPT_FOG_START, "%.2f", locScene->GetFogStart());
    PranvelSetFloatText(aDialog, IDC_OPT_NEARPLANE, "%.2f", locScene->GetNearPlane());
    PranvelSetFloatText(aDialog, IDC_OPT_FARPLANE, "%.2f", locScene->GetFarPlane());
    UI_SetButtonCheck(aDialog, IDC_OPT_AUTO_FAR, locScene->myAutoCalcFarplane);
    PranvelSetFloatText(aDialog, IDC_OPT_MOUSE_SENS, "%g", locScene->myMouseSens);
    UI_SetButtonCheck(aDialog, IDC_OPT_GRID, locScene->myGridEnable);
    PranvelSetFloatText(aDialog, IDC_OPT_GRID_SIZE, "%.2f", locScene->myGridSize);
    UI_SetControlText(aDialog, IDC_OPT_HALO, locScene->myDefaultHaloSurface);
    UI_SetControlText(aDialog, IDC_OPT_SURFACE, locScene->myDefaultSurface);
    UI_SetButtonCheck(aDialog, IDC_OPT_CACHE, locScene->myCacheRendering);
    UI_SetButtonCheck(aDialog, IDC_OPT_KEEP_CAMERA, locScene->myDontResetCameraOnRefresh);
}

void COptionsDlg::OnBrowseFolder(UI_Dialog* aDialog)
{
    std::string locFolder;
    UI_GetControlText(aDialog, IDC_OPT_WORKDIR, &locFolder);
    CFolderBrowser locBrowser(0, aDialog, locFolder.c_str());
    if (locBrowser.Browse())
        UI_SetControlText(aDialog, IDC_OPT_WORKDIR, locBrowser.GetSelectedPath().c_str());
}

void COptionsDlg::OnBrowseHalo(UI_Dialog* aDialog)
{
    QC_String locPath, locName;
    if (!OpenFileDialog(PATHS_TEXTURE, ourPathsFile, true, &locPath, &locName))
        return;
    // The renderer finds the texture by its name without the extension.
    PranvelCutExtension(&locPath);
    UI_SetControlText(aDialog, IDC_OPT_HALO, locPath);
}

void COptionsDlg::OnBrowseSurface(UI_Dialog* aDialog)
{
    QC_String locPath, locName;
    if (OpenFileDialog(PATHS_SURFACE, ourPathsFile, true, &locPath, &locName))
        UI_SetControlText(aDialog, IDC_OPT_SURFACE, locPath);
}

void COptionsDlg::PickColor(CColorButton* aSwatch)
{
    uint32_t locColor = aSwatch->myColor;
    if (UI_ChooseColor("Color", &locColor))
        aSwatch->SetColor(locColor);
}

bool COptionsDlg::OnOK(UI_Dialog* aDialog)
{
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    if (!locScene)
        return true;
    std::string locFolder;
    UI_GetControlText(aDialog, IDC_OPT_WORKDIR, &locFolder);
    // A folder that is not there would leave the scene on a working directory
    // the process is not in; a degenerate projection draws nothing.
    if (!locFolder.empty() && !OS_IsDirectory(locFolder.c_str()))
    {
        UI_MessageBox(PRANVEL_CAPTION, "The working folder does not exist.", OS_MB_OK | OS_MB_ICONWARNING);
        return false;
    }
    float locFogStart = locScene->GetFogStart();
    float locNear = locScene->GetNearPlane();
    float locFar = locScene->GetFarPlane();
    PranvelReadFloat(aDialog, IDC_OPT_FOG_START, &locFogStart);
    PranvelReadFloat(aDialog, IDC_OPT_NEARPLANE, &locNear);
    PranvelReadFloat(aDialog, IDC_OPT_FARPLANE, &locFar);
    if (!(locNear > 0.0f) || !(locFar > locNear))
    {
        UI_MessageBox(PRANVEL_CAPTION, "The near plane must be above 0 and the far plane above the near plane.",
                      OS_MB_OK | OS_MB_ICONWARNING);
        return false;
    }

    locScene->SetBgColor(PranvelSwapRedBlue(myBgSwatch.myColor));
    if (!locFolder.empty())
    {
        locScene->SetWorkDir(locFolder.c_str());
        OS_SetCurrentDirectory(locScene->GetWorkDir());
    }
    locScene->SetAmbientColor(PranvelSwapRedBlue(myAmbientSwatch.myColor));
    locScene->SetFogColor(PranvelSwapRedBlue(myFogSwatch.myColor));
    locScene->SetFogStart(locFogStart);
    locScene->SetNearPlane(locNear);
    locScene->SetFarPlane(locFar);
    PranvelReadFloat(aDialog, IDC_OPT_MOUSE_SENS, &locScene->myMouseSens);
    locScene->myGridEnable = UI_IsButtonChecked(aDialog, IDC_OPT_GRID);
    locScene->myCacheRendering = UI_IsButtonChecked(aDialog, IDC_OPT_CACHE);
    locScene->myAutoCalcFarplane = UI_IsButtonChecked(aDialog, IDC_OPT_AUTO_FAR);
    locScene->myDontResetCameraOnRefresh = UI_IsButtonChecked(aDialog, IDC_OPT_KEEP_CAMERA);
    PranvelReadFloat(aDialog, IDC_OPT_GRID_SIZE, &locScene->myGridSize);

    std::string locHalo, locSurface;
    UI_GetControlText(aDialog, IDC_OPT_HALO, &locHalo);
    UI_GetControlText(aDialog, IDC_OPT_SURFACE, &locSurface);
    if (!locHalo.empty() && strcasecmp(locHalo.c_str(), locScene->myDefaultHaloSurface) != 0)
        PranvelRunCommand(new HaloFileCommand(locHalo.c_str()));
    if (!locSurface.empty() && strcasecmp(locSurface.c_str(), locScene->myDefaultSurface) != 0)
        PranvelRunCommand(new DefaultSurfaceCommand(locSurface.c_str()));
    return true;
}

CColorsDlg* PranvelGetColorsDialog()
{
    return &ourColorsDlg;
}
