// The dialogs that write straight into the editor scene: "Object Colors"
// (eight tint swatches, modeless), "Setup Point Light" (ambient and
// directional light, the light-vector colouring) and "Options" (the settings
// pranvel.cfg keeps). They work on QRenderEditor::ourInstance; without a
// scene they change nothing.
#pragma once

#include <cstdint>
#include <string>

#include "modeleditor/app/pranvel_colorbutton.h"
#include "platform/ui/ui_dialog.h"

class QRenderEditor;

enum PranvelSceneDialogId
{
    IDD_OPTIONS = 130,
    IDD_POINT_LIGHT = 146,
    IDD_OBJECT_COLORS = 185,

    // Object Colors: the swatches 1160 .. 1167.
    IDC_OBJECT_COLOR_FIRST = 1160,

    // Setup Point Light.
    IDC_LIGHT_AMBIENT_SWATCH = 1003,
    IDC_LIGHT_DIR_SWATCH = 1004,
    IDC_LIGHT_DOT3 = 1033,
    IDC_LIGHT_DIRECTION = 1034,
    IDC_LIGHT_ELEVATION = 1035,
    IDC_LIGHT_ZPOS = 1036,
    IDC_LIGHT_DIR_RED = 1037,
    IDC_LIGHT_DIR_GREEN = 1038,
    IDC_LIGHT_DIR_BLUE = 1039,
    IDC_LIGHT_AMBIENT_RED = 1040,
    IDC_LIGHT_RANGE = 1041,
    IDC_LIGHT_AMBIENT_GREEN = 1042,
    IDC_LIGHT_AMBIENT_BLUE = 1043,
    IDC_LIGHT_MIN = 1165,
    IDC_LIGHT_MAX = 1166,

    // Options.
    IDC_OPT_WORKDIR = 1000,
    IDC_OPT_WORKDIR_BROWSE = 1001,
    IDC_OPT_BG_SWATCH = 1002,
    IDC_OPT_AMBIENT_SWATCH = 1003,
    IDC_OPT_FOG_ACTIVE = 1004,
    IDC_OPT_FOG_SWATCH = 1005,
    IDC_OPT_FOG_START = 1006,
    IDC_OPT_FARPLANE = 1007,
    IDC_OPT_HALO_BROWSE = 1008,
    IDC_OPT_SURFACE_BROWSE = 1009,
    IDC_OPT_NEARPLANE = 1010,
    IDC_OPT_CACHE = 1033,
    IDC_OPT_GRID_SIZE = 1035,
    IDC_OPT_AUTO_FAR = 1050,
    IDC_OPT_KEEP_CAMERA = 1051,
    IDC_OPT_MOUSE_SENS = 1054,
    IDC_OPT_GRID = 1159,
    IDC_OPT_HALO = 1164,
    IDC_OPT_SURFACE = 1165,
};

// The modeless "Object Colors" dialog: a click on swatch k makes tint k the
// model's, a double click edits tint k.
class CColorsDlg
{
public:
    ~CColorsDlg();
    // Made hidden; null when it cannot be made.
    UI_Dialog* Create(UI_Dialog* aParent);
    UI_Dialog* GetDialog() const { return myDialog; }
    void OnSwatchClicked(int anIndex);
    void OnSwatchDoubleClicked(int anIndex);
    const CColorButton& GetSwatch(int anIndex) const { return mySwatches[anIndex]; }

    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnInitDialog(UI_Dialog* aDialog);

    UI_Dialog* myDialog = nullptr;
    CColorButton mySwatches[8];
};

// "Setup Point Light". After OK the values below are the dialog's; the main
// frame rebuilds the directional light and the ambient colour from them.
class CPointLightDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);

    float myAmbient[3] = {0.0f, 0.0f, 0.0f}; // 0..255
    float myDirection = 0.0f;                // degrees
    float myElevation = 0.0f;
    float myZPos = 0.0f;
    float myRange = 0.0f;
    float myDirColor[3] = {0.0f, 0.0f, 0.0f}; // 0..255
    int myDot3Flag = 0;
    float myMinLight = 0.0f;
    float myMaxLight = 1.0f;
    CColorButton myAmbientSwatch;
    CColorButton myDirSwatch;

    // The ambient colour as the swatch holds it (0x00BBGGRR).
    uint32_t GetAmbientBGR() const { return myAmbientSwatch.myColor; }

    static const UI_DialogTemplate ourTemplate;
    // The dot3 light range: the scene keeps no such values, so they live here
    // for the program's run.
    static float ourMinLight;
    static float ourMaxLight;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void Fill(UI_Dialog* aDialog);
    void ReadFields(UI_Dialog* aDialog);
    void ShowFields(UI_Dialog* aDialog);
    void ApplyAmbient(UI_Dialog* aDialog);
    void ApplyDirectional(UI_Dialog* aDialog);
    void PickColor(UI_Dialog* aDialog, bool anAmbientFlag);
    void OnOK(UI_Dialog* aDialog);
};

// "Options": every setting of the editor scene that pranvel.cfg keeps.
class COptionsDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);

    CColorButton myBgSwatch;
    CColorButton myAmbientSwatch;
    CColorButton myFogSwatch;

    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnInitDialog(UI_Dialog* aDialog);
    void OnBrowseFolder(UI_Dialog* aDialog);
    void OnBrowseHalo(UI_Dialog* aDialog);
    void OnBrowseSurface(UI_Dialog* aDialog);
    void PickColor(CColorButton* aSwatch);
    // False (the dialog stays open) when a value is refused.
    bool OnOK(UI_Dialog* aDialog);
};

// The frame's Tools dialogs (Options, Setup Light, Colors, Mesh editor) put
// into the frame's dialog table.
void PranvelInstallDialogs();
// The program's one "Object Colors" dialog (made by the frame at creation).
CColorsDlg* PranvelGetColorsDialog();
