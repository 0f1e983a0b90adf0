// The particle editor dialog.
//
// Sections: [control table] [construction and data exchange] [emitter and phases]
// [handlers] [save]
#include "modeleditor/app/pranvel_particleeddlg.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "modeleditor/app/pranvel_emitterfile.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_resource.h"
#include "platform/ui/ui_prompt.h"
#include "qrender/qr_particletext.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"

// --- [SECTION] control table ---

namespace
{
enum
{
    IDC_PE_TYPE = 1041,
    IDC_PE_ORIGIN = 1042,
    IDC_PE_ROTATION = 1043,
    IDC_PE_SPACE = 1044,
    IDC_PE_VELX_OP = 1045,
    IDC_PE_SIZE_OP = 1048,
    IDC_PE_ALPHA_OP = 1049,
    IDC_PE_CONNECTED = 1050,
    IDC_PE_ANIMATED = 1051,
    IDC_PE_TEXTURE_BROWSE = 1053,
    IDC_PE_LIFETIME = 1034,
    IDC_PE_SPAWNTIME = 1035,
    IDC_PE_SIZE_MIN = 1098,
    IDC_PE_SIZE_MAX = 1099,
    IDC_PE_PHASE_TIME = 1107,
    IDC_PE_VELX_MIN = 1108, // min/max pairs for x, y, z: 1108/1109, 1110/1111, 1112/1113
    IDC_PE_ALPHA_MIN = 1116,
    IDC_PE_ALPHA_MAX = 1117,
    IDC_PE_TEXTURE = 1118,
    IDC_PE_NUM_TEXTURES = 1119,
    IDC_PE_FRAME_TIME = 1120,
    IDC_PE_SLIDER = 1129,
    IDC_PE_PHASE = 1130,
    IDC_PE_DELETE_PHASE = 1131,
    IDC_PE_PHASE_COUNT = 1132,
    IDC_PE_SLIDER_END = 1133,
    IDC_PE_INSERT_PHASE = 1134,
    IDC_PE_FILE = 1135,
    IDC_PE_FILE_BROWSE = 1136,
    IDC_PE_APPLY = 1155,
    IDC_PE_ADD = 1156,
    IDC_PE_PHASE_SPIN = 1157,
    IDC_PE_ORIGIN_X = 1167, // 1168 y, 1169 z
    IDC_PE_WIDTH = 1170,
    IDC_PE_HEIGHT = 1171,
    IDC_PE_ROT_MIN = 1172,
    IDC_PE_ROT_MAX = 1173,
    IDC_PE_LABEL = -1,
};

constexpr int E = UI_CONTROL_EDIT, S = UI_CONTROL_STATIC, B = UI_CONTROL_PUSHBUTTON, C = UI_CONTROL_COMBOBOX,
              K = UI_CONTROL_CHECKBOX, G = UI_CONTROL_GROUPBOX;
constexpr unsigned BD = UI_STYLE_BORDER;
constexpr int L = IDC_PE_LABEL;

const UI_ControlTemplate ourControls[] = {
    {L, G, "Emittor", 7, 4, 200, 146, 0},
    {L, S, "Emittor file", 14, 18, 48, 8, 0},
    {IDC_PE_FILE, E, nullptr, 64, 16, 90, 12, BD},
    {IDC_PE_FILE_BROWSE, B, "Browse...", 158, 16, 44, 13, 0},
    {L, S, "Type", 14, 34, 48, 8, 0},
    {IDC_PE_TYPE, C, nullptr, 64, 32, 90, 60, 0},
    {IDC_PE_CONNECTED, K, "Particles Connected to Emittor", 14, 48, 180, 10, 0},
    {L, S, "Emit Origin", 14, 64, 48, 8, 0},
    {IDC_PE_ORIGIN, C, nullptr, 64, 62, 90, 70, 0},
    {L, S, "X", 14, 80, 8, 8, 0},
    {IDC_PE_ORIGIN_X, E, nullptr, 24, 78, 48, 12, BD},
    {L, S, "Y", 78, 80, 8, 8, 0},
    {IDC_PE_ORIGIN_X + 1, E, nullptr, 88, 78, 48, 12, BD},
    {L, S, "Z", 142, 80, 8, 8, 0},
    {IDC_PE_ORIGIN_X + 2, E, nullptr, 152, 78, 48, 12, BD},
    {L, G, "Emittor Lifetime", 14, 98, 90, 30, 0},
    {IDC_PE_LIFETIME, E, nullptr, 20, 110, 78, 12, BD},
    {L, G, "Particle Spawntime", 110, 98, 90, 30, 0},
    {IDC_PE_SPAWNTIME, E, nullptr, 116, 110, 78, 12, BD},

    {L, G, "Texture", 214, 4, 200, 146, 0},
    {L, S, "File", 221, 18, 26, 8, 0},
    {IDC_PE_TEXTURE, E, nullptr, 250, 16, 112, 12, BD},
    {IDC_PE_TEXTURE_BROWSE, B, "Browse...", 366, 16, 44, 13, 0},
    {L, S, "Rotation", 221, 34, 44, 8, 0},
    {IDC_PE_ROTATION, C, nullptr, 270, 32, 90, 60, 0},
    {L, S, "Min Rotation Speed", 221, 50, 74, 8, 0},
    {IDC_PE_ROT_MIN, E, nullptr, 300, 48, 50, 12, BD},
    {L, S, "Max Rotation Speed", 221, 64, 74, 8, 0},
    {IDC_PE_ROT_MAX, E, nullptr, 300, 62, 50, 12, BD},
    {IDC_PE_ANIMATED, K, "Animated Texture", 221, 80, 100, 10, 0},
    {L, S, "Texture Width", 221, 96, 54, 8, 0},
    {IDC_PE_WIDTH, E, nullptr, 278, 94, 30, 12, BD},
    {L, S, "Texture Height", 316, 96, 56, 8, 0},
    {IDC_PE_HEIGHT, E, nullptr, 376, 94, 30, 12, BD},
    {L, S, "Number of textures", 221, 112, 74, 8, 0},
    {IDC_PE_NUM_TEXTURES, E, nullptr, 300, 110, 40, 12, BD},
    {L, S, "Time between steps", 221, 128, 74, 8, 0},
    {IDC_PE_FRAME_TIME, E, nullptr, 300, 126, 40, 12, BD},

    {L, G, "Phase", 7, 154, 407, 122, 0},
    {L, S, "Space", 14, 168, 30, 8, 0},
    {IDC_PE_SPACE, C, nullptr, 50, 166, 70, 40, 0},
    {L, S, "Time to reach phase endpoint", 200, 168, 108, 8, 0},
    {IDC_PE_PHASE_TIME, E, nullptr, 312, 166, 50, 12, BD},
    {L, S, "Min", 50, 182, 40, 8, 0},
    {L, S, "Max", 104, 182, 40, 8, 0},
    {L, S, "Modifier type", 158, 182, 60, 8, 0},
    {L, S, "X velocity", 14, 196, 34, 8, 0},
    {IDC_PE_VELX_MIN, E, nullptr, 50, 194, 50, 12, BD},
    {IDC_PE_VELX_MIN + 1, E, nullptr, 104, 194, 50, 12, BD},
    {IDC_PE_VELX_OP, C, nullptr, 158, 194, 66, 60, 0},
    {L, S, "Y velocity", 14, 210, 34, 8, 0},
    {IDC_PE_VELX_MIN + 2, E, nullptr, 50, 208, 50, 12, BD},
    {IDC_PE_VELX_MIN + 3, E, nullptr, 104, 208, 50, 12, BD},
    {IDC_PE_VELX_OP + 1, C, nullptr, 158, 208, 66, 60, 0},
    {L, S, "Z velocity", 14, 224, 34, 8, 0},
    {IDC_PE_VELX_MIN + 4, E, nullptr, 50, 222, 50, 12, BD},
    {IDC_PE_VELX_MIN + 5, E, nullptr, 104, 222, 50, 12, BD},
    {IDC_PE_VELX_OP + 2, C, nullptr, 158, 222, 66, 60, 0},
    {L, S, "Particle size (meters)", 232, 182, 90, 8, 0},
    {IDC_PE_SIZE_MIN, E, nullptr, 232, 194, 40, 12, BD},
    {IDC_PE_SIZE_MAX, E, nullptr, 276, 194, 40, 12, BD},
    {IDC_PE_SIZE_OP, C, nullptr, 320, 194, 64, 60, 0},
    {L, S, "Particle alpha", 232, 210, 90, 8, 0},
    {IDC_PE_ALPHA_MIN, E, nullptr, 232, 222, 40, 12, BD},
    {IDC_PE_ALPHA_MAX, E, nullptr, 276, 222, 40, 12, BD},
    {IDC_PE_ALPHA_OP, C, nullptr, 320, 222, 64, 60, 0},
    {L, S, "Current phase", 14, 244, 48, 8, 0},
    {IDC_PE_PHASE, E, nullptr, 64, 242, 28, 12, BD},
    {IDC_PE_PHASE_SPIN, UI_CONTROL_SPIN, nullptr, 92, 242, 10, 12, 0},
    {L, S, "of", 106, 244, 10, 8, 0},
    {IDC_PE_PHASE_COUNT, S, "1", 118, 244, 20, 8, 0},
    {IDC_PE_SLIDER, UI_CONTROL_SLIDER, nullptr, 142, 240, 170, 16, 0},
    {L, S, "0", 142, 258, 16, 8, 0},
    {IDC_PE_SLIDER_END, S, "0", 296, 258, 16, 8, 0},
    {IDC_PE_INSERT_PHASE, B, "Insert phase", 330, 240, 54, 14, 0},
    {IDC_PE_DELETE_PHASE, B, "Delete phase", 330, 256, 54, 14, 0},

    {IDC_PE_ADD, B, "Add", 250, 282, 50, 14, 0},
    {IDC_PE_APPLY, B, "Apply", 306, 282, 50, 14, 0},
    {UI_IDOK, B, "Close", 362, 282, 50, 14, UI_STYLE_DEFAULT_BUTTON},
};

const char* const ourTypes[] = {"Camera facing", "3D", "Streak"};
const char* const ourOrigins[] = {"Point", "Rectangle", "Circle", "Box", "Sphere"};
const char* const ourRotations[] = {"None", "Random once", "Speed", "Random dir"};
const char* const ourSpaces[] = {"Emittor", "World"};
const char* const ourOps[] = {"Set", "Add", "Mod", "App defined"};

const struct
{
    int myId;
    const char* myText;
} ourTips[] = {
    {IDC_PE_FILE, "Filename of emitter. Load existing or create new. Modify filename to save a new modified emitter."},
    {IDC_PE_TEXTURE, "Texture for the emitter. Can contain several textures for random animated particles."},
    {IDC_PE_NUM_TEXTURES, "Number of textures in texture file."},
    {IDC_PE_FRAME_TIME, "Number of seconds between textures when animated."},
    {IDC_PE_PHASE_TIME, "Number of seconds before the particles reach the settings for this phase."},
    {IDC_PE_LIFETIME, "For how many seconds should new particles be emitted / created?"},
    {IDC_PE_SPAWNTIME, "How fast should particles be spawned? Number of seconds between particles."},
    {IDC_PE_SLIDER, "Change phase to edit."},
    {IDC_PE_FILE_BROWSE, "Browse for an emitter file."},
    {UI_IDOK, "Close editor."},
    {IDC_PE_APPLY, "Save emitter to file and refresh scene."},
    {IDC_PE_ADD, "Save emitter to file and add to scene."},
};

const char* const SAVE_FAILED = "Save failed. Check emitter and texture filenames and validate input fields.";

constexpr double VALUE_LIMIT = 65535.0;

std::string locFormat(const char* aFormat, double aValue)
{
    char locText[64];
    snprintf(locText, sizeof(locText), aFormat, aValue);
    return locText;
}

std::string locInt(int aValue)
{
    return std::to_string(aValue);
}

int locClamp(int aValue, int aMin, int aMax)
{
    return aValue < aMin ? aMin : aValue > aMax ? aMax : aValue;
}
} // namespace

const UI_DialogTemplate CParticleEdDlg::ourTemplate = {
    164, "Particle Editor", 421, 302, "MS Shell Dlg", 8, ourControls, int(sizeof(ourControls) / sizeof(ourControls[0]))};

// --- [SECTION] construction and data exchange ---

CParticleEdDlg::CParticleEdDlg(ParticleEditorOwner* anOwner) : myOwner(anOwner)
{
}

CParticleEdDlg::~CParticleEdDlg()
{
    QR_SharedParticleData::Release(myDefinition);
}

void CParticleEdDlg::SetNewEmitterNames(const char* aPartName, const char* aStateCode)
{
    myPartName = aPartName ? aPartName : "";
    myStateCode = aStateCode ? aStateCode : "";
}

void CParticleEdDlg::SetEmitterToEdit(const char* anEmitterName)
{
    myEmitterName = anEmitterName ? anEmitterName : "";
    myEditingFlag = true;
}

intptr_t CParticleEdDlg::DoModal(UI_Dialog* aParent)
{
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t CParticleEdDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CParticleEdDlg* locThis = static_cast<CParticleEdDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    locThis->myDialog = aDialog;
    switch (aMessage.myKind)
    {
    case UI_MSG_INITDIALOG:
        locThis->OnInitDialog();
        break;
    case UI_MSG_COMMAND:
        locThis->OnCommand(aMessage.myControlId, aMessage.myNotifyCode);
        break;
    case UI_MSG_CLOSE:
        UI_EndDialog(aDialog, UI_IDCANCEL);
        break;
    case UI_MSG_MOUSEMOVE:
        if (locThis->myOwner)
            locThis->myOwner->EditorMouseMove(aMessage.myKeyState, aMessage.myX, aMessage.myY);
        break;
    case UI_MSG_DESTROY:
        locThis->myDialog = nullptr;
        break;
    }
    return 0;
}

bool CParticleEdDlg::UpdateData(bool aSaveFlag)
{
    UI_Dialog* d = myDialog;
    struct TextField
    {
        int myId;
        std::string* myText;
    } const locTexts[] = {{IDC_PE_FILE, &myFileText},           {IDC_PE_LIFETIME, &myLifetimeText},
                          {IDC_PE_SPAWNTIME, &mySpawnTimeText}, {IDC_PE_TEXTURE, &myTextureText},
                          {IDC_PE_WIDTH, &myWidthText},         {IDC_PE_HEIGHT, &myHeightText},
                          {IDC_PE_NUM_TEXTURES, &myNumTexturesText}, {IDC_PE_FRAME_TIME, &myFrameTimeText},
                          {IDC_PE_PHASE_TIME, &myPhaseTimeText}};
    struct ComboField
    {
        int myId;
        int* myIndex;
    } const locCombos[] = {{IDC_PE_TYPE, &myType},          {IDC_PE_ORIGIN, &myOrigin},
                           {IDC_PE_ROTATION, &myRotation},  {IDC_PE_SPACE, &mySpace},
                           {IDC_PE_VELX_OP, &myVelocityOp[0]}, {IDC_PE_VELX_OP + 1, &myVelocityOp[1]},
                           {IDC_PE_VELX_OP + 2, &myVelocityOp[2]}, {IDC_PE_SIZE_OP, &mySizeOp},
                           {IDC_PE_ALPHA_OP, &myAlphaOp}};
    struct FloatField
    {
        int myId;
        double* myValue;
        double myMin;
    } const locFloats[] = {{IDC_PE_ORIGIN_X, &myOriginSize[0], -VALUE_LIMIT},
                           {IDC_PE_ORIGIN_X + 1, &myOriginSize[1], -VALUE_LIMIT},
                           {IDC_PE_ORIGIN_X + 2, &myOriginSize[2], -VALUE_LIMIT},
                           {IDC_PE_ROT_MIN, &myRotationSpeed[0], -VALUE_LIMIT},
                           {IDC_PE_ROT_MAX, &myRotationSpeed[1], -VALUE_LIMIT},
                           {IDC_PE_VELX_MIN, &myVelocityMin[0], -VALUE_LIMIT},
                           {IDC_PE_VELX_MIN + 1, &myVelocityMax[0], -VALUE_LIMIT},
                           {IDC_PE_VELX_MIN + 2, &myVelocityMin[1], -VALUE_LIMIT},
                           {IDC_PE_VELX_MIN + 3, &myVelocityMax[1], -VALUE_LIMIT},
                           {IDC_PE_VELX_MIN + 4, &myVelocityMin[2], -VALUE_LIMIT},
                           {IDC_PE_VELX_MIN + 5, &myVelocityMax[2], -VALUE_LIMIT},
                           {IDC_PE_SIZE_MIN, &mySizeMin, 0.0},
                           {IDC_PE_SIZE_MAX, &mySizeMax, 0.0}};
    struct IntField
    {
        int myId;
        int* myValue;
        int myMin, myMax;
    } const locInts[] = {{IDC_PE_ALPHA_MIN, &myAlphaMin, -255, 255},
                         {IDC_PE_ALPHA_MAX, &myAlphaMax, -255, 255},
                         {IDC_PE_PHASE, &myCurrentPhase, INT32_MIN, INT32_MAX}};

    if (!aSaveFlag)
    {
        for (const TextField& f : locTexts)
            UI_SetControlText(d, f.myId, f.myText->c_str());
        for (const ComboField& f : locCombos)
            UI_ComboSetCurSel(d, f.myId, *f.myIndex);
        for (const FloatField& f : locFloats)
            UI_SetControlText(d, f.myId, locFormat("%g", *f.myValue).c_str());
        for (const IntField& f : locInts)
            UI_SetControlText(d, f.myId, locInt(*f.myValue).c_str());
        UI_SetButtonCheck(d, IDC_PE_CONNECTED, myConnectedFlag);
        UI_SetButtonCheck(d, IDC_PE_ANIMATED, myAnimatedFlag);
        return true;
    }
    ReadTextFields();
    for (const ComboField& f : locCombos)
        *f.myIndex = UI_ComboGetCurSel(d, f.myId);
    myConnectedFlag = UI_IsButtonChecked(d, IDC_PE_CONNECTED);
    myAnimatedFlag = UI_IsButtonChecked(d, IDC_PE_ANIMATED);
    for (const FloatField& f : locFloats)
        if (!UI_GetControlFloat(d, f.myId, f.myMin, VALUE_LIMIT, PRANVEL_CAPTION, f.myValue))
            return false;
    for (const IntField& f : locInts)
        if (!UI_GetControlInt(d, f.myId, f.myMin, f.myMax, PRANVEL_CAPTION, f.myValue))
            return false;
    return true;
}

void CParticleEdDlg::ReadTextFields()
{
    UI_GetControlText(myDialog, IDC_PE_FILE, &myFileText);
    UI_GetControlText(myDialog, IDC_PE_LIFETIME, &myLifetimeText);
    UI_GetControlText(myDialog, IDC_PE_SPAWNTIME, &mySpawnTimeText);
    UI_GetControlText(myDialog, IDC_PE_TEXTURE, &myTextureText);
    UI_GetControlText(myDialog, IDC_PE_WIDTH, &myWidthText);
    UI_GetControlText(myDialog, IDC_PE_HEIGHT, &myHeightText);
    UI_GetControlText(myDialog, IDC_PE_NUM_TEXTURES, &myNumTexturesText);
    UI_GetControlText(myDialog, IDC_PE_FRAME_TIME, &myFrameTimeText);
    UI_GetControlText(myDialog, IDC_PE_PHASE_TIME, &myPhaseTimeText);
}

void CParticleEdDlg::OnInitDialog()
{
    for (const auto& t : ourTips)
        UI_SetControlToolTip(myDialog, t.myId, t.myText);
    auto locFill = [this](int anId, const char* const* aTexts, int aCount) {
        UI_ComboReset(myDialog, anId);
        for (int i = 0; i < aCount; i++)
            UI_ComboAdd(myDialog, anId, aTexts[i]);
    };
    locFill(IDC_PE_TYPE, ourTypes, 3);
    locFill(IDC_PE_ORIGIN, ourOrigins, 5);
    locFill(IDC_PE_ROTATION, ourRotations, 4);
    locFill(IDC_PE_SPACE, ourSpaces, 2);
    for (int i = 0; i < 3; i++)
        locFill(IDC_PE_VELX_OP + i, ourOps, 4);
    locFill(IDC_PE_SIZE_OP, ourOps, 4);
    locFill(IDC_PE_ALPHA_OP, ourOps, 4);

    if (myEditingFlag)
    {
        myFileText = myEmitterName;
        if (!ReadEmitter(myEmitterName.c_str()))
        {
            // A missing or damaged file: a new emitter under the given name, as Browse does.
            std::string locText = "Could not read emitter file \"" + EmitterFile_Name(myEmitterName.c_str()) +
                                  "\". A new emitter is started under that name.";
            UI_MessageBox(PRANVEL_CAPTION, locText.c_str(), OS_MB_OK);
            NewEmitter();
            ResetEmitterFields();
            myFileText = myEmitterName;
        }
        myCurrentPhase = 0;
        UI_EnableControl(myDialog, IDC_PE_PHASE_TIME, false);
        UpdatePhaseControls();
        UpdateData(false);
        UI_EnableControl(myDialog, IDC_PE_FILE, false);
        UI_EnableControl(myDialog, IDC_PE_FILE_BROWSE, false);
        UI_EnableControl(myDialog, IDC_PE_ADD, false);
    }
    else
    {
        NewEmitter();
        ResetEmitterFields();
        UpdateData(false);
        UI_EnableControl(myDialog, IDC_PE_APPLY, false);
    }
    UpdateBaseControls();
    SetPhaseRanges();
    EnableAnimationFields();
    UI_MoveDialogToLeftEdge(myDialog);
}

// --- [SECTION] emitter and phases ---

void CParticleEdDlg::NewEmitter()
{
    QR_SharedParticleData::Release(myDefinition);
    myDefinition = static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Create(DEFINITION_NAME, 0));
    if (!myDefinition)
        return;
    QR_SharedGenericParticleData* d = myDefinition;
    d->mySurfaceInstance = QR_Surface::CreateInstance(SURFACE_NAME, 0, nullptr);
    d->myPhases = new (std::nothrow) QR_ParticlePhase[1]();
    if (d->myPhases)
    {
        QR_ParticlePhase& p = d->myPhases[0];
        p.myLength = 1.0f;
        p.mySpace = 0;
        p.myVelocityMin[1] = p.myVelocityMax[1] = 1.0f;
        p.mySizeMin = p.mySizeMax = 0.1f;
        d->myNumPhases = 1;
    }
    // The definition leaves the base space open: world, like the first phase.
    d->myVelocitySpace = 0;
    UpdateTotalLength();
}

bool CParticleEdDlg::ReadEmitter(const char* anEmitterName)
{
    // A definition of the dialog's own to read into; the old one goes only on success.
    if (!myDefinition)
        myDefinition = static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Create(DEFINITION_NAME, 0));
    EmitterRecord r;
    if (!myDefinition || !ReadEmitterFile(anEmitterName, r, myDefinition))
        return false;
    myTextureText = r.myTexture;
    myLifetimeText = locFormat("%g", r.myTotalTime);
    mySpawnTimeText = locFormat("%g", r.mySpawnTime);
    myNumTexturesText = locInt(r.myNumFrames);
    myFrameTimeText = (r.myFlags & 2) ? locFormat("%g", r.myFrameTime) : "1.0";
    myFrameWidth = r.myFrameWidth;
    myFrameHeight = r.myFrameHeight;
    return true;
}

void CParticleEdDlg::ResetEmitterFields()
{
    myFileText.clear();
    myTextureText.clear();
    UI_SetControlText(myDialog, IDC_PE_PHASE_COUNT, "1");
    UI_SetControlText(myDialog, IDC_PE_SLIDER_END, "1");
    myPhaseTimeText = "1";
    myCurrentPhase = 0;
    myLifetimeText = "9999999";
    mySpawnTimeText = "0.1";
    myNumTexturesText = "1";
    myFrameTimeText = "1.0";
    myFrameWidth = myFrameHeight = 32;
    UpdatePhaseControls();
}

void CParticleEdDlg::UpdateBaseControls()
{
    if (myDefinition)
    {
        const QR_SharedGenericParticleData* d = myDefinition;
        myType = (int)d->myParticleType;
        myOrigin = (int)d->myOrigin;
        myRotation = (int)d->myRotation;
        for (int i = 0; i < 3; i++)
            myOriginSize[i] = d->myOriginExtents[i];
        myRotationSpeed[0] = d->myRotationSpeedMin;
        myRotationSpeed[1] = d->myRotationSpeedMax;
        myConnectedFlag = (d->myFlags & QR_PARTICLEFLAG_EMITTORSPACE) != 0;
        myAnimatedFlag = (d->myFlags & QR_PARTICLEFLAG_TEXTUREANIMATED) != 0;
    }
    myWidthText = locInt(myFrameWidth);
    myHeightText = locInt(myFrameHeight);
    UpdateData(false);
}

void CParticleEdDlg::UpdatePhaseControls()
{
    int n = myDefinition ? (int)myDefinition->myNumPhases : 0;
    if (myDefinition && myCurrentPhase == 0)
    {
        const QR_SharedGenericParticleData* d = myDefinition;
        myPhaseTimeText = "0";
        mySpace = d->myVelocitySpace ? 0 : 1;
        for (int i = 0; i < 3; i++)
        {
            myVelocityMin[i] = d->myVelocityMin[i];
            myVelocityMax[i] = d->myVelocityMax[i];
            myVelocityOp[i] = 0;
        }
        mySizeMin = d->mySizeMin;
        mySizeMax = d->mySizeMax;
        myAlphaMin = EmitterFile_TruncateAlpha(d->myAlphaMin);
        myAlphaMax = EmitterFile_TruncateAlpha(d->myAlphaMax);
        mySizeOp = myAlphaOp = 0;
    }
    else if (myDefinition && myCurrentPhase >= 1 && myCurrentPhase <= n)
    {
        const QR_ParticlePhase& p = myDefinition->myPhases[myCurrentPhase - 1];
        myPhaseTimeText = locFormat("%g", p.myLength);
        mySpace = p.mySpace ? 0 : 1;
        for (int i = 0; i < 3; i++)
        {
            myVelocityMin[i] = p.myVelocityMin[i];
            myVelocityMax[i] = p.myVelocityMax[i];
            myVelocityOp[i] = (int)p.myVelocityBlend[i];
        }
        mySizeMin = p.mySizeMin;
        mySizeMax = p.mySizeMax;
        mySizeOp = (int)p.mySizeBlend;
        myAlphaMin = EmitterFile_TruncateAlpha(p.myAlphaMin);
        myAlphaMax = EmitterFile_TruncateAlpha(p.myAlphaMax);
        myAlphaOp = (int)p.myAlphaBlend;
    }
    UI_SetControlText(myDialog, IDC_PE_PHASE_COUNT, locInt(n).c_str());
    // The right end of the slider shows N - 1, though the slider reaches N.
    UI_SetControlText(myDialog, IDC_PE_SLIDER_END, locInt(n - 1).c_str());
    UI_SliderSetRange(myDialog, IDC_PE_SLIDER, 0, n);
    UI_SliderSetPos(myDialog, IDC_PE_SLIDER, myCurrentPhase);
}

void CParticleEdDlg::StorePhaseControls(int aPhase)
{
    if (!myDefinition)
        return;
    QR_SharedGenericParticleData* d = myDefinition;
    if (aPhase == 0)
    {
        d->myVelocitySpace = mySpace == 0 ? 1 : 0;
        for (int i = 0; i < 3; i++)
        {
            d->myVelocityMin[i] = (float)myVelocityMin[i];
            d->myVelocityMax[i] = (float)myVelocityMax[i];
        }
        d->mySizeMin = (float)mySizeMin;
        d->mySizeMax = (float)mySizeMax;
        d->myAlphaMin = (float)myAlphaMin;
        d->myAlphaMax = (float)myAlphaMax;
        return;
    }
    if (aPhase < 1 || aPhase > (int)d->myNumPhases)
        return;
    QR_ParticlePhase& p = d->myPhases[aPhase - 1];
    std::string locLength = myPhaseTimeText;
    for (char& c : locLength)
        if (c == ',')
            c = '.';
    p.myLength = QR_ParticleScanner::ToFloat(locLength.c_str());
    p.mySpace = mySpace == 0 ? 1 : 0;
    for (int i = 0; i < 3; i++)
    {
        p.myVelocityMin[i] = (float)myVelocityMin[i];
        p.myVelocityMax[i] = (float)myVelocityMax[i];
        p.myVelocityBlend[i] = (uint32_t)locClamp(myVelocityOp[i], 0, 3);
    }
    p.mySizeMin = (float)mySizeMin;
    p.mySizeMax = (float)mySizeMax;
    p.mySizeBlend = (uint32_t)locClamp(mySizeOp, 0, 3);
    p.myAlphaMin = (float)myAlphaMin;
    p.myAlphaMax = (float)myAlphaMax;
    p.myAlphaBlend = (uint32_t)locClamp(myAlphaOp, 0, 3);
    UpdateTotalLength();
}

void CParticleEdDlg::UpdateTotalLength()
{
    if (!myDefinition)
        return;
    myDefinition->myTotalLength = 0.0f;
    for (uint32_t i = 0; i < myDefinition->myNumPhases; i++)
        myDefinition->myTotalLength += myDefinition->myPhases[i].myLength;
}

void CParticleEdDlg::SetPhaseRanges()
{
    int n = myDefinition ? (int)myDefinition->myNumPhases : 0;
    UI_SpinSetRange(myDialog, IDC_PE_PHASE_SPIN, 0, n);
    UI_SpinSetPos(myDialog, IDC_PE_PHASE_SPIN, myCurrentPhase);
}

void CParticleEdDlg::EnableAnimationFields()
{
    bool locOn = UI_IsButtonChecked(myDialog, IDC_PE_ANIMATED);
    for (int locId : {IDC_PE_NUM_TEXTURES, IDC_PE_FRAME_TIME, IDC_PE_WIDTH, IDC_PE_HEIGHT})
        UI_EnableControl(myDialog, locId, locOn);
}

// --- [SECTION] handlers ---

void CParticleEdDlg::OnCommand(int anId, int aNotifyCode)
{
    switch (anId)
    {
    case UI_IDOK:
        OnClose();
        return;
    case UI_IDCANCEL:
        UI_EndDialog(myDialog, UI_IDCANCEL);
        return;
    case IDC_PE_INSERT_PHASE:
        OnInsertPhase();
        return;
    case IDC_PE_DELETE_PHASE:
        OnDeletePhase();
        return;
    case IDC_PE_FILE_BROWSE:
        OnBrowseEmitter();
        return;
    case IDC_PE_TEXTURE_BROWSE:
        OnBrowseTexture();
        return;
    case IDC_PE_APPLY:
        OnApply();
        return;
    case IDC_PE_ADD:
        OnAdd();
        return;
    case IDC_PE_ANIMATED:
        OnAnimatedTexture();
        return;
    case IDC_PE_SLIDER:
        if (aNotifyCode == UI_TB_POSCHANGED)
            OnHScroll();
        return;
    case IDC_PE_PHASE_SPIN:
        // The spin steps the phase field, which then acts as when left.
        if (aNotifyCode == UI_UDN_DELTAPOS)
        {
            UI_SetControlText(myDialog, IDC_PE_PHASE, locInt(UI_SpinGetPos(myDialog, IDC_PE_PHASE_SPIN)).c_str());
            OnPhaseFieldKillFocus();
        }
        return;
    case IDC_PE_PHASE:
        if (aNotifyCode == UI_EN_KILLFOCUS)
            OnPhaseFieldKillFocus();
        return;
    case IDC_PE_ROTATION:
        if (aNotifyCode == UI_CBN_SELCHANGE)
            OnValueKillFocus();
        return;
    default:
        break;
    }
    bool locValueField = anId == IDC_PE_ROT_MIN || anId == IDC_PE_ROT_MAX || anId == IDC_PE_SIZE_MIN ||
                         anId == IDC_PE_SIZE_MAX || anId == IDC_PE_ALPHA_MIN || anId == IDC_PE_ALPHA_MAX ||
                         (anId >= IDC_PE_VELX_MIN && anId <= IDC_PE_VELX_MIN + 5);
    if (locValueField && aNotifyCode == UI_EN_KILLFOCUS)
        OnValueKillFocus();
}

void CParticleEdDlg::OnHScroll()
{
    int locPos = UI_SliderGetPos(myDialog, IDC_PE_SLIDER);
    int locShown = myCurrentPhase;
    if (!myPhaseValid || !UpdateData(true))
    {
        myCurrentPhase = locShown;
        UI_SliderSetPos(myDialog, IDC_PE_SLIDER, myCurrentPhase);
        return;
    }
    StorePhaseControls(locShown);
    UI_EnableControl(myDialog, IDC_PE_PHASE_TIME, locPos != 0);
    myCurrentPhase = locPos;
    UpdatePhaseControls();
    UpdateData(false);
    UI_SpinSetPos(myDialog, IDC_PE_PHASE_SPIN, myCurrentPhase);
}

void CParticleEdDlg::OnPhaseFieldKillFocus()
{
    int locShown = myCurrentPhase;
    if (!UpdateData(true))
        return;
    StorePhaseControls(locShown);
    int n = myDefinition ? (int)myDefinition->myNumPhases : 0;
    myCurrentPhase = locClamp(myCurrentPhase, 0, n);
    UI_EnableControl(myDialog, IDC_PE_PHASE_TIME, myCurrentPhase != 0);
    UpdatePhaseControls();
    UpdateData(false);
    UI_SpinSetPos(myDialog, IDC_PE_PHASE_SPIN, myCurrentPhase);
}

void CParticleEdDlg::OnValueKillFocus()
{
    myPhaseValid = false;
    int n = myDefinition ? (int)myDefinition->myNumPhases : 0;
    if (UpdateData(true) && myCurrentPhase >= 0 && myCurrentPhase <= n)
        myPhaseValid = true;
}

void CParticleEdDlg::OnInsertPhase()
{
    if (!myDefinition)
        return;
    QR_SharedGenericParticleData* d = myDefinition;
    int n = (int)d->myNumPhases;
    if (n >= MAX_PHASES)
    {
        UI_MessageBox(PRANVEL_CAPTION, "Cannot add, max is 250 phases.", OS_MB_OK);
        return;
    }
    if (!UpdateData(true))
        return;
    // A phase typed outside 0..N would index past the records.
    int c = myCurrentPhase = locClamp(myCurrentPhase, 0, n);
    QR_ParticlePhase* locPhases = new (std::nothrow) QR_ParticlePhase[n + 1]();
    if (!locPhases)
        return;
    for (int i = 0; i < c; i++)
        locPhases[i] = d->myPhases[i];
    for (int i = c; i < n; i++)
        locPhases[i + 1] = d->myPhases[i];
    delete[] d->myPhases;
    d->myPhases = locPhases;
    d->myNumPhases = (uint32_t)(n + 1);
    // The new record c + 1 takes the values on display.
    StorePhaseControls(c + 1);
    UI_EnableControl(myDialog, IDC_PE_PHASE_TIME, true);
    SetPhaseRanges();
    UpdatePhaseControls();
    UpdateData(false);
}

void CParticleEdDlg::OnDeletePhase()
{
    if (!myDefinition)
        return;
    QR_SharedGenericParticleData* d = myDefinition;
    int n = (int)d->myNumPhases;
    if (n < 2)
    {
        UI_MessageBox(PRANVEL_CAPTION, "Cannot delete, must have at least two phases.", OS_MB_OK);
        return;
    }
    if (!UpdateData(true))
        return;
    int c = myCurrentPhase = locClamp(myCurrentPhase, 0, n);
    if (c < 1)
        return;
    for (int i = c; i < n; i++)
        d->myPhases[i - 1] = d->myPhases[i];
    d->myNumPhases = (uint32_t)(n - 1);
    UpdateTotalLength();
    myCurrentPhase = locClamp(c, 0, n - 1);
    if (myCurrentPhase == 0)
        UI_EnableControl(myDialog, IDC_PE_PHASE_TIME, false);
    SetPhaseRanges();
    UpdatePhaseControls();
    UpdateData(false);
}

void CParticleEdDlg::OnAnimatedTexture()
{
    myAnimatedFlag = UI_IsButtonChecked(myDialog, IDC_PE_ANIMATED);
    EnableAnimationFields();
}

void CParticleEdDlg::OnBrowseTexture()
{
    QC_String locPath, locName;
    if (!OpenFileDialog(1, ourPathsFile, true, &locPath, &locName))
        return;
    std::string p = locPath.GetBuffer();
    for (char& c : p)
        if (c == '\\')
            c = '/';
    size_t locDot = p.rfind('.');
    if (locDot != std::string::npos && p.find('/', locDot) == std::string::npos)
        p.erase(locDot);
    UI_SetControlText(myDialog, IDC_PE_TEXTURE, p.c_str());
}

void CParticleEdDlg::OnBrowseEmitter()
{
    QC_String locPath, locName;
    if (!OpenFileDialog(2, ourPathsFile, true, &locPath, &locName))
        return;
    // What was typed stays unless the file gives its own.
    ReadTextFields();
    myFileText = locPath.GetBuffer();
    if (!ReadEmitter(myFileText.c_str()))
    {
        std::string locText = "Could not read emitter file \"" + EmitterFile_Name(myFileText.c_str()) +
                              "\". A new emitter is started.";
        UI_MessageBox(PRANVEL_CAPTION, locText.c_str(), OS_MB_OK);
        NewEmitter();
    }
    UpdateBaseControls();
    myCurrentPhase = 0;
    UI_EnableControl(myDialog, IDC_PE_PHASE_TIME, false);
    SetPhaseRanges();
    UpdatePhaseControls();
    UpdateData(false);
    EnableAnimationFields();
}

void CParticleEdDlg::OnApply()
{
    if (SaveEmitter() && myOwner)
        myOwner->EmitterChanged();
}

void CParticleEdDlg::OnAdd()
{
    if (!SaveEmitter())
        return;
    if (myOwner)
        myOwner->AddEmitter(myEmitterName.c_str(), myPartName.c_str(), myStateCode.c_str());
    UI_EnableControl(myDialog, IDC_PE_APPLY, true);
    UI_EnableControl(myDialog, IDC_PE_ADD, false);
}

void CParticleEdDlg::OnClose()
{
    if (UpdateData(true))
        UI_EndDialog(myDialog, UI_IDOK);
}

// --- [SECTION] save ---

bool CParticleEdDlg::BuildRecord(EmitterRecord& aRecord)
{
    const QR_SharedGenericParticleData* d = myDefinition;
    if (!d)
        return false;
    EmitterRecord& e = aRecord;
    EmitterRecordFromDefinition(*d, e);
    // The texture, the strip and the two times come from the fields.
    e.myTexture = myTextureText;
    e.myNumFrames = QR_ParticleScanner::ToInt(myNumTexturesText.c_str());
    e.myFrameWidth = myFrameWidth;
    e.myFrameHeight = myFrameHeight;
    e.myFrameTime = QR_ParticleScanner::ToFloat(myFrameTimeText.c_str());
    e.myTotalTime = QR_ParticleScanner::ToFloat(myLifetimeText.c_str());
    e.mySpawnTime = QR_ParticleScanner::ToFloat(mySpawnTimeText.c_str());
    return true;
}

bool CParticleEdDlg::SaveEmitter()
{
    int locShown = myCurrentPhase;
    if (!UpdateData(true))
        return false;
    // The values on display belong to the phase shown, whatever number was typed since.
    StorePhaseControls(locShown);
    myCurrentPhase = locShown;
    EmitterRecord e;
    if (myDefinition)
    {
        QR_SharedGenericParticleData* d = myDefinition;
        d->myParticleType = (uint32_t)locClamp(myType, 0, 2);
        d->myFlags = (d->myFlags & ~(uint32_t)QR_PARTICLEFLAG_EMITTORSPACE) |
                     (myConnectedFlag ? QR_PARTICLEFLAG_EMITTORSPACE : 0u);
        d->myOrigin = (uint32_t)locClamp(myOrigin, 0, 4);
        for (int i = 0; i < 3; i++)
            d->myOriginExtents[i] = (float)myOriginSize[i];
        d->myRotation = (uint32_t)locClamp(myRotation, 0, 3);
        d->myRotationSpeedMin = (float)myRotationSpeed[0];
        d->myRotationSpeedMax = (float)myRotationSpeed[1];
        d->myFlags = (d->myFlags & ~(uint32_t)QR_PARTICLEFLAG_TEXTUREANIMATED) |
                     (myAnimatedFlag ? QR_PARTICLEFLAG_TEXTUREANIMATED : 0u);
        myFrameWidth = QR_ParticleScanner::ToInt(myWidthText.c_str());
        myFrameHeight = QR_ParticleScanner::ToInt(myHeightText.c_str());
    }
    // An empty name would write a file called ".pe".
    if (myFileText.empty() || !BuildRecord(e) || !WriteEmitterFile(myFileText.c_str(), e))
    {
        UI_MessageBox(PRANVEL_CAPTION, SAVE_FAILED, OS_MB_OK);
        return false;
    }
    myEmitterName = myFileText;
    return true;
}
