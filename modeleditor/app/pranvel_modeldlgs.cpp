// The model tree's dialogs over their control tables.
#include "modeleditor/app/pranvel_modeldlgs.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_view.h"

#include "modeleditor/lw_keycheck.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "platform/ui/ui_prompt.h"
#include "qrender/qr_light.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

// [SECTION] shared
// [SECTION] control tables
// [SECTION] simple dialogs
// [SECTION] Edit Bone State
// [SECTION] statistics, LWS errors, folder browser

// --- [SECTION] shared ---

bool PranvelReadFloatField(UI_Dialog* aDialog, int anId, float* aValue)
{
    std::string locText;
    if (!UI_GetControlText(aDialog, anId, &locText) || locText.empty())
        return false;
    for (char& c : locText)
        if (c == ',')
            c = '.';
    *aValue = float(atof(locText.c_str()));
    return true;
}

namespace
{
void locSetFloat(UI_Dialog* aDialog, int anId, const char* aFormat, double aValue)
{
    char locText[64];
    snprintf(locText, sizeof(locText), aFormat, aValue);
    UI_SetControlText(aDialog, anId, locText);
}

bool locIsEnd(const UI_Message& aMessage)
{
    return (aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == UI_IDCANCEL) ||
           aMessage.myKind == UI_MSG_CLOSE;
}

bool locIsOK(const UI_Message& aMessage)
{
    return aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == UI_IDOK;
}

// --- [SECTION] control tables ---

#define Q_COUNT(a) int(sizeof(a) / sizeof(a[0]))

const UI_ControlTemplate ourEditObjectControls[] = {
    {-1, UI_CONTROL_STATIC, "Radius", 7, 9, 60, 8, 0},
    {IDC_OBJECT_RADIUS, UI_CONTROL_EDIT, "", 70, 7, 60, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Center of object", 7, 27, 60, 8, 0},
    {IDC_OBJECT_CENTRE_X, UI_CONTROL_EDIT, "", 70, 25, 40, 12, UI_STYLE_BORDER},
    {IDC_OBJECT_CENTRE_Y, UI_CONTROL_EDIT, "", 113, 25, 40, 12, UI_STYLE_BORDER},
    {IDC_OBJECT_CENTRE_Z, UI_CONTROL_EDIT, "", 156, 25, 40, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 92, 46, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 146, 46, 50, 14, 0},
};

const UI_ControlTemplate ourEditNullControls[] = {
    {-1, UI_CONTROL_STATIC, "X", 7, 9, 30, 8, 0},
    {IDC_NULL_X, UI_CONTROL_EDIT, "", 40, 7, 50, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "m", 94, 9, 10, 8, 0},
    {-1, UI_CONTROL_STATIC, "Y", 7, 25, 30, 8, 0},
    {IDC_NULL_Y, UI_CONTROL_EDIT, "", 40, 23, 50, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "m", 94, 25, 10, 8, 0},
    {-1, UI_CONTROL_STATIC, "Z", 7, 41, 30, 8, 0},
    {IDC_NULL_Z, UI_CONTROL_EDIT, "", 40, 39, 50, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "m", 94, 41, 10, 8, 0},
    {-1, UI_CONTROL_STATIC, "Heading", 112, 9, 30, 8, 0},
    {IDC_NULL_HEADING, UI_CONTROL_EDIT, "", 145, 7, 50, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "\xc2\xb0", 199, 9, 8, 8, 0},
    {-1, UI_CONTROL_STATIC, "Pitch", 112, 25, 30, 8, 0},
    {IDC_NULL_PITCH, UI_CONTROL_EDIT, "", 145, 23, 50, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "\xc2\xb0", 199, 25, 8, 8, 0},
    {-1, UI_CONTROL_STATIC, "Bank", 112, 41, 30, 8, 0},
    {IDC_NULL_BANK, UI_CONTROL_EDIT, "", 145, 39, 50, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "\xc2\xb0", 199, 41, 8, 8, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 104, 60, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 158, 60, 50, 14, 0},
};

const UI_ControlTemplate ourLightControls[] = {
    {-1, UI_CONTROL_STATIC, "Halo surface", 7, 9, 50, 8, 0},
    {IDC_LIGHT_HALO, UI_CONTROL_EDIT, "", 60, 7, 110, 12, UI_STYLE_BORDER},
    {IDC_LIGHT_BROWSE, UI_CONTROL_PUSHBUTTON, "Browse", 174, 6, 40, 14, 0},
    {-1, UI_CONTROL_STATIC, "Depth fudge", 7, 27, 50, 8, 0},
    {IDC_LIGHT_DEPTH_FUDGE, UI_CONTROL_EDIT, "", 60, 25, 50, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 164, 46, 50, 14, UI_STYLE_DEFAULT_BUTTON},
};

const UI_ControlTemplate ourBoneStateControls[] = {
    {-1, UI_CONTROL_STATIC, "State name", 7, 9, 90, 8, 0},
    {IDC_BONESTATE_NAME, UI_CONTROL_COMBOBOX, nullptr, 100, 7, 100, 80, 0},
    {-1, UI_CONTROL_STATIC, "Next Animation", 7, 27, 90, 8, 0},
    {IDC_BONESTATE_NEXT, UI_CONTROL_COMBOBOX, nullptr, 100, 25, 100, 80, 0},
    {-1, UI_CONTROL_STATIC, "Animation Interpolation Time ", 7, 45, 92, 8, 0},
    {IDC_BONESTATE_INTERPOLATION, UI_CONTROL_EDIT, "", 100, 43, 50, 12, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Time To Next Animation", 7, 63, 90, 8, 0},
    {IDC_BONESTATE_TIME_TO_NEXT, UI_CONTROL_EDIT, "", 100, 61, 50, 12, UI_STYLE_BORDER},
    {IDC_BONESTATE_LOOP, UI_CONTROL_CHECKBOX, "Spline Loop", 7, 80, 90, 10, 0},
    {IDC_BONESTATE_ACTIVE, UI_CONTROL_CHECKBOX, "Active", 7, 93, 90, 10, 0},
    {IDC_BONESTATE_FORCE_START, UI_CONTROL_CHECKBOX, "Force start from beginning", 100, 80, 110, 10, 0},
    {IDC_BONESTATE_SOLID, UI_CONTROL_CHECKBOX, "Solid state", 100, 93, 90, 10, 0},
    {IDC_BONESTATE_ALL, UI_CONTROL_PUSHBUTTON, "All", 7, 112, 50, 14, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 106, 112, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 160, 112, 50, 14, 0},
};

const UI_ControlTemplate ourBoneControls[] = {
    {-1, UI_CONTROL_STATIC, "Remove distance", 7, 9, 60, 8, 0},
    {IDC_BONE_REMOVE_DISTANCE, UI_CONTROL_EDIT, "", 70, 7, 60, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 140, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {IDC_BONE_ALL_CHILDREN, UI_CONTROL_PUSHBUTTON, "All childs", 140, 24, 50, 14, 0},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 140, 41, 50, 14, 0},
};

const UI_ControlTemplate ourPartialControls[] = {
    {-1, UI_CONTROL_STATIC, "Select bones/joints to add state to:", 7, 7, 150, 8, 0},
    {IDC_PARTIAL_PARTS, UI_CONTROL_LISTBOX, nullptr, 7, 18, 150, 120,
     UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_MULTIPLESEL},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 164, 18, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 164, 35, 50, 14, 0},
};

const UI_ControlTemplate ourAddNullControls[] = {
    {-1, UI_CONTROL_STATIC, "New NULL object name:", 7, 7, 120, 8, 0},
    {IDC_NEW_NULL_NAME, UI_CONTROL_EDIT, "", 7, 18, 120, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 134, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 134, 24, 50, 14, 0},
};

const UI_ControlTemplate ourStatsControls[] = {
    {-1, UI_CONTROL_STATIC, "Number of vertices:", 7, 7, 108, 8, 0},
    {IDC_STATS_FIRST + 0, UI_CONTROL_STATIC, "0", 118, 7, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Number of polygons:", 7, 19, 108, 8, 0},
    {IDC_STATS_FIRST + 1, UI_CONTROL_STATIC, "0", 118, 19, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Number of bones:", 7, 31, 108, 8, 0},
    {IDC_STATS_FIRST + 2, UI_CONTROL_STATIC, "0", 118, 31, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Number of spline points:", 7, 43, 108, 8, 0},
    {IDC_STATS_FIRST + 3, UI_CONTROL_STATIC, "0", 118, 43, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Number of surfaces:", 7, 55, 108, 8, 0},
    {IDC_STATS_FIRST + 4, UI_CONTROL_STATIC, "0", 118, 55, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Number of drawing calls:", 7, 67, 108, 8, 0},
    {IDC_STATS_FIRST + 5, UI_CONTROL_STATIC, "0", 118, 67, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Number of particle emitters:", 7, 79, 108, 8, 0},
    {IDC_STATS_FIRST + 6, UI_CONTROL_STATIC, "0", 118, 79, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Number of expression commands:", 7, 91, 108, 8, 0},
    {IDC_STATS_FIRST + 7, UI_CONTROL_STATIC, "0", 118, 91, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Memory usage:", 7, 103, 108, 8, 0},
    {IDC_STATS_FIRST + 8, UI_CONTROL_STATIC, "0", 118, 103, 60, 8, 0},
    {-1, UI_CONTROL_STATIC, "Texture memory usage:", 7, 115, 108, 8, 0},
    {IDC_STATS_TEXTURE_MEMORY, UI_CONTROL_STATIC, "0", 118, 115, 60, 8, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 128, 132, 50, 14, UI_STYLE_DEFAULT_BUTTON},
};

const UI_ControlTemplate ourLwsErrorControls[] = {
    {IDC_LWS_ERROR_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 286, 180,
     UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_NOINTEGRALHEIGHT},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 243, 192, 50, 14, UI_STYLE_DEFAULT_BUTTON},
};

// A modal run whose procedure is a member reached through the user data.
template <class Dialog> intptr_t locRun(const UI_DialogTemplate& aTemplate, Dialog* aThis, UI_Dialog* aParent,
                                         intptr_t (*aProc)(UI_Dialog*, const UI_Message&))
{
    return UI_DoModal(aTemplate, aProc, aParent, aThis);
}
} // namespace

const UI_DialogTemplate CEditObjectDlg::ourTemplate = {
    IDD_EDIT_OBJECT, "Edit Object", 203, 67, "MS Sans Serif", 8, ourEditObjectControls, Q_COUNT(ourEditObjectControls)};
const UI_DialogTemplate CEditNullDlg::ourTemplate = {IDD_EDIT_NULL, "Edit position and orientation", 215, 81,
                                                     "MS Sans Serif", 8, ourEditNullControls,
                                                     Q_COUNT(ourEditNullControls)};
const UI_DialogTemplate CEditLightPropertiesDlg::ourTemplate = {
    IDD_LIGHT_PROPERTIES, "Light properties", 221, 67, "MS Sans Serif", 8, ourLightControls, Q_COUNT(ourLightControls)};
const UI_DialogTemplate CEditBoneStateDlg::ourTemplate = {IDD_EDIT_BONE_STATE, "Edit Bone State", 217, 133,
                                                          "MS Sans Serif", 8, ourBoneStateControls,
                                                          Q_COUNT(ourBoneStateControls)};
const UI_DialogTemplate CEditBoneDlg::ourTemplate = {
    IDD_EDIT_BONE, "Edit bone/joint", 197, 62, "MS Sans Serif", 8, ourBoneControls, Q_COUNT(ourBoneControls)};
const UI_DialogTemplate AddStatePartialDlg::ourTemplate = {IDD_ADD_STATE_PARTIAL, "Add State Partial", 221, 145,
                                                           "MS Sans Serif", 8, ourPartialControls,
                                                           Q_COUNT(ourPartialControls)};
const UI_DialogTemplate CAddNullObjDlg::ourTemplate = {
    IDD_ADD_NULL_OBJECT, "Add NULL object", 191, 45, "MS Sans Serif", 8, ourAddNullControls, Q_COUNT(ourAddNullControls)};
const UI_DialogTemplate CLodStatsDlg::ourTemplate = {
    IDD_LOD_STATS, "Object statistics", 185, 153, "MS Sans Serif", 8, ourStatsControls, Q_COUNT(ourStatsControls)};
const UI_DialogTemplate CLwsErrorDlg::ourTemplate = {
    IDD_LWS_ERRORS, "Errors in LWS", 300, 213, "MS Sans Serif", 8, ourLwsErrorControls, Q_COUNT(ourLwsErrorControls)};

// --- [SECTION] simple dialogs ---

intptr_t CEditObjectDlg::DoModal(UI_Dialog* aParent)
{
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        CEditObjectDlg* t = static_cast<CEditObjectDlg*>(UI_GetDialogUserData(d));
        if (m.myKind == UI_MSG_INITDIALOG)
        {
            locSetFloat(d, IDC_OBJECT_RADIUS, "%.3f", t->myRadius);
            for (int i = 0; i < 3; i++)
                locSetFloat(d, IDC_OBJECT_CENTRE_X + i, "%.3f", t->myCentre[i]);
        }
        else if (locIsOK(m))
        {
            // The first empty field keeps the dialog open.
            if (!PranvelReadFloatField(d, IDC_OBJECT_RADIUS, &t->myRadius))
                return 0;
            for (int i = 0; i < 3; i++)
                if (!PranvelReadFloatField(d, IDC_OBJECT_CENTRE_X + i, &t->myCentre[i]))
                    return 0;
            UI_EndDialog(d, UI_IDOK);
        }
        else if (locIsEnd(m))
            UI_EndDialog(d, UI_IDCANCEL);
        return 0;
    });
}

namespace
{
const int ourNullFields[6] = {IDC_NULL_X, IDC_NULL_Y, IDC_NULL_Z, IDC_NULL_HEADING, IDC_NULL_PITCH, IDC_NULL_BANK};
}

intptr_t CEditNullDlg::DoModal(UI_Dialog* aParent)
{
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        CEditNullDlg* t = static_cast<CEditNullDlg*>(UI_GetDialogUserData(d));
        if (m.myKind == UI_MSG_INITDIALOG)
        {
            for (int i = 0; i < 3; i++)
            {
                locSetFloat(d, ourNullFields[i], "%.3f", t->myPosition[i]);
                locSetFloat(d, ourNullFields[3 + i], "%.3f", t->myHeadingPitchBank[i] * 57.29578f);
            }
        }
        else if (locIsOK(m))
        {
            float locValues[6];
            for (int i = 0; i < 6; i++)
                if (!PranvelReadFloatField(d, ourNullFields[i], &locValues[i]))
                    return 0;
            for (int i = 0; i < 3; i++)
            {
                t->myPosition[i] = locValues[i];
                t->myHeadingPitchBank[i] = locValues[3 + i] * 0.017453292f;
            }
            UI_EndDialog(d, UI_IDOK);
        }
        else if (locIsEnd(m))
            UI_EndDialog(d, UI_IDCANCEL);
        return 0;
    });
}

intptr_t CEditLightPropertiesDlg::DoModal(UI_Dialog* aParent)
{
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        CEditLightPropertiesDlg* t = static_cast<CEditLightPropertiesDlg*>(UI_GetDialogUserData(d));
        if (m.myKind == UI_MSG_INITDIALOG)
        {
            const char* locTexture = "";
            QR_SurfaceInstance* locHalo = t->myLight ? t->myLight->myHalo : nullptr;
            if (locHalo && locHalo->myNumTextures > 0 && locHalo->myTextures[0].myNumFrames > 0 &&
                locHalo->myTextures[0].myFrames[0] && locHalo->myTextures[0].myFrames[0]->myName)
                locTexture = locHalo->myTextures[0].myFrames[0]->myName;
            UI_SetControlText(d, IDC_LIGHT_HALO, locTexture ? locTexture : "");
            locSetFloat(d, IDC_LIGHT_DEPTH_FUDGE, "%g", t->myLight ? t->myLight->myFallOff : 0.0f);
        }
        else if (m.myKind == UI_MSG_COMMAND && m.myControlId == IDC_LIGHT_BROWSE)
        {
            QC_String locPath, locName;
            if (OpenFileDialog(PATHS_TEXTURE, ourPathsFile, true, &locPath, &locName))
                UI_SetControlText(d, IDC_LIGHT_HALO, locPath);
        }
        else if (locIsOK(m))
        {
            std::string locHalo;
            UI_GetControlText(d, IDC_LIGHT_HALO, &locHalo);
            t->myHaloTexture = locHalo.c_str();
            PranvelReadFloatField(d, IDC_LIGHT_DEPTH_FUDGE, &t->myDepthFudge);
            if (t->myLight)
            {
                delete t->myLight->myHalo;
                t->myLight->myHalo = nullptr;
                if (!locHalo.empty())
                    t->myLight->myHalo = QR_Surface::CreateInstanceWithTexture(t->myHaloSurface, locHalo.c_str());
                t->myLight->myFallOff = t->myDepthFudge;
            }
            UI_EndDialog(d, UI_IDOK);
        }
        else if (m.myKind == UI_MSG_COMMAND && m.myControlId == UI_IDCANCEL)
            UI_EndDialog(d, UI_IDCANCEL); // Escape
        return 0;
    });
}

float CEditBoneDlg::StoredDistance(float aDistance)
{
    return aDistance > 0.0f ? aDistance * aDistance : 1.0e15f;
}

intptr_t CEditBoneDlg::DoModal(UI_Dialog* aParent)
{
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        CEditBoneDlg* t = static_cast<CEditBoneDlg*>(UI_GetDialogUserData(d));
        if (m.myKind == UI_MSG_INITDIALOG)
            locSetFloat(d, IDC_BONE_REMOVE_DISTANCE, "%.1f",
                        t->myStoredDistance > 1.0e9f ? -1.0 : sqrt(double(t->myStoredDistance)));
        else if (m.myKind == UI_MSG_COMMAND && (m.myControlId == UI_IDOK || m.myControlId == IDC_BONE_ALL_CHILDREN))
        {
            if (m.myControlId == IDC_BONE_ALL_CHILDREN)
                t->myAllChildrenFlag = true;
            if (!PranvelReadFloatField(d, IDC_BONE_REMOVE_DISTANCE, &t->myDistance))
                return 0;
            UI_EndDialog(d, UI_IDOK);
        }
        else if (locIsEnd(m))
            UI_EndDialog(d, UI_IDCANCEL);
        return 0;
    });
}

intptr_t AddStatePartialDlg::DoModal(UI_Dialog* aParent)
{
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        AddStatePartialDlg* t = static_cast<AddStatePartialDlg*>(UI_GetDialogUserData(d));
        if (m.myKind == UI_MSG_INITDIALOG)
        {
            for (const std::string& locName : t->myPartNames)
                UI_ListAdd(d, IDC_PARTIAL_PARTS, locName.c_str());
        }
        else if (locIsOK(m))
        {
            int locCount = UI_ListGetCount(d, IDC_PARTIAL_PARTS);
            std::vector<int> locSelected(size_t(locCount > 0 ? locCount : 1));
            int n = UI_ListGetSelItems(d, IDC_PARTIAL_PARTS, locSelected.data(), locCount);
            t->mySelectedNames.RemoveAll();
            for (int i = 0; i < n; i++)
            {
                std::string locText;
                UI_ListGetText(d, IDC_PARTIAL_PARTS, locSelected[size_t(i)], &locText);
                t->mySelectedNames.Add(QC_String(locText.c_str()));
            }
            UI_EndDialog(d, UI_IDOK);
        }
        else if (locIsEnd(m))
            UI_EndDialog(d, UI_IDCANCEL);
        return 0;
    });
}

intptr_t CAddNullObjDlg::DoModal(UI_Dialog* aParent)
{
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        CAddNullObjDlg* t = static_cast<CAddNullObjDlg*>(UI_GetDialogUserData(d));
        if (locIsOK(m))
        {
            std::string locText;
            UI_GetControlText(d, IDC_NEW_NULL_NAME, &locText);
            t->myName = locText.c_str();
            UI_EndDialog(d, UI_IDOK);
        }
        else if (locIsEnd(m))
            UI_EndDialog(d, UI_IDCANCEL);
        return 0;
    });
}

// --- [SECTION] Edit Bone State ---

CEditBoneStateDlg::CEditBoneStateDlg(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames,
                                     const QR_TemplatePart* aPart, int32_t aPartIndex, int32_t aStateIndex)
    : myCodes(aCodes), myNames(aNames), myPart(aPart), myPartIndex(aPartIndex), myStateIndex(aStateIndex)
{
    if (myPart && aStateIndex >= 0 && uint32_t(aStateIndex) < myPart->myNumStates)
    {
        const QR_TemplateState& s = myPart->myStates[aStateIndex];
        StateIdToCode(s.myId, myStateCode);
        myNextState = s.myNextState;
        myInterpolationTime = s.myBlendTime;
        myTimeToNext = s.myDuration;
        myLoopFlag = s.myPath.myIsLooping;
        myForceStartFlag = s.myRestarts;
        myActiveFlag = s.myIsVisible;
        mySolidFlag = s.myIsRemembered;
    }
}

namespace
{
int locFindCode(QC_GrowingArray<QC_String>* aCodes, const char* aCode)
{
    if (!aCodes)
        return -1;
    for (int i = 0; i < aCodes->Count(); i++)
        if (strncmp((*aCodes)[i].GetBuffer(), aCode, 4) == 0)
            return i;
    return -1;
}

int locFindName(QC_GrowingArray<QC_String>* aNames, const char* aName)
{
    if (!aNames)
        return -1;
    for (int i = 0; i < aNames->Count(); i++)
        if (strcasecmp((*aNames)[i].GetBuffer(), aName) == 0)
            return i;
    return -1;
}

std::string locComboText(UI_Dialog* aDialog, int anId)
{
    std::string locText;
    int locSel = UI_ComboGetCurSel(aDialog, anId);
    if (locSel >= 0)
        UI_ComboGetText(aDialog, anId, locSel, &locText);
    return locText;
}
} // namespace

intptr_t CEditBoneStateDlg::DoModal(UI_Dialog* aParent)
{
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t CEditBoneStateDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CEditBoneStateDlg* t = static_cast<CEditBoneStateDlg*>(UI_GetDialogUserData(aDialog));
    if (aMessage.myKind == UI_MSG_INITDIALOG)
        t->OnInitDialog(aDialog);
    else if (locIsOK(aMessage))
        t->OnOK(aDialog);
    else if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == IDC_BONESTATE_ALL)
        t->OnAll(aDialog);
    else if (locIsEnd(aMessage))
        UI_EndDialog(aDialog, UI_IDCANCEL);
    return 0;
}

void CEditBoneStateDlg::OnInitDialog(UI_Dialog* aDialog)
{
    UI_SetButtonCheck(aDialog, IDC_BONESTATE_ACTIVE, myActiveFlag);
    UI_SetButtonCheck(aDialog, IDC_BONESTATE_LOOP, myLoopFlag);
    UI_SetButtonCheck(aDialog, IDC_BONESTATE_FORCE_START, myForceStartFlag);
    UI_SetButtonCheck(aDialog, IDC_BONESTATE_SOLID, mySolidFlag);
    locSetFloat(aDialog, IDC_BONESTATE_INTERPOLATION, "%.3f", myInterpolationTime);
    locSetFloat(aDialog, IDC_BONESTATE_TIME_TO_NEXT, "%.3f", myTimeToNext);
    int locCodeIndex = locFindCode(myCodes, myStateCode);
    if (myNames)
        for (int i = 0; i < myNames->Count(); i++)
            UI_ComboAdd(aDialog, IDC_BONESTATE_NAME, (*myNames)[i]);
    if (myNames && locCodeIndex >= 0 && locCodeIndex < myNames->Count())
        UI_ComboSetCurSel(aDialog, IDC_BONESTATE_NAME, locCodeIndex);
    UI_ComboAdd(aDialog, IDC_BONESTATE_NEXT, "NONE");
    UI_ComboAdd(aDialog, IDC_BONESTATE_NEXT, "LAST");
    for (uint32_t s = 0; myPart && s < myPart->myNumStates; s++)
    {
        char locCode[5];
        StateIdToCode(myPart->myStates[s].myId, locCode);
        int k = locFindCode(myCodes, locCode);
        UI_ComboAdd(aDialog, IDC_BONESTATE_NEXT, myNames && k >= 0 && k < myNames->Count() ? (*myNames)[k].GetBuffer()
                                                                                         : locCode);
    }
    UI_ComboSetCurSel(aDialog, IDC_BONESTATE_NEXT, myNextState == -1 ? 0 : myNextState == -2 ? 1 : myNextState + 2);
}

bool CEditBoneStateDlg::ReadFields(UI_Dialog* aDialog)
{
    PranvelReadFloatField(aDialog, IDC_BONESTATE_INTERPOLATION, &myInterpolationTime);
    PranvelReadFloatField(aDialog, IDC_BONESTATE_TIME_TO_NEXT, &myTimeToNext);
    myLoopFlag = UI_IsButtonChecked(aDialog, IDC_BONESTATE_LOOP);
    myActiveFlag = UI_IsButtonChecked(aDialog, IDC_BONESTATE_ACTIVE);
    myForceStartFlag = UI_IsButtonChecked(aDialog, IDC_BONESTATE_FORCE_START);
    mySolidFlag = UI_IsButtonChecked(aDialog, IDC_BONESTATE_SOLID);
    std::string locNext = locComboText(aDialog, IDC_BONESTATE_NEXT);
    if (strcasecmp(locNext.c_str(), "LAST") == 0)
        myNextState = -2;
    else if (strcasecmp(locNext.c_str(), "NONE") == 0)
        myNextState = -1;
    else
    {
        int k = locFindName(myNames, locNext.c_str());
        int32_t locFound = -1;
        if (k >= 0 && myCodes && k < myCodes->Count())
            for (uint32_t s = 0; myPart && s < myPart->myNumStates && locFound < 0; s++)
            {
                char locCode[5];
                StateIdToCode(myPart->myStates[s].myId, locCode);
                if (strncmp((*myCodes)[k].GetBuffer(), locCode, 4) == 0)
                    locFound = int32_t(s);
            }
        if (locFound < 0)
        {
            UI_MessageBox(PRANVEL_CAPTION, "Invalid next animation name!", OS_MB_OK);
            return false;
        }
        myNextState = locFound;
    }
    return true;
}

void CEditBoneStateDlg::OnOK(UI_Dialog* aDialog)
{
    if (!ReadFields(aDialog))
        return;
    std::string locName = locComboText(aDialog, IDC_BONESTATE_NAME);
    int k = locFindName(myNames, locName.c_str());
    if (k < 0 || !myCodes || k >= myCodes->Count())
    {
        UI_MessageBox(PRANVEL_CAPTION, "Invalid state name!", OS_MB_OK);
        return;
    }
    memset(myStateCode, 0, sizeof(myStateCode));
    strncpy(myStateCode, (*myCodes)[k].GetBuffer(), 4);
    if (QRenderEditor::ourInstance)
        QRenderEditor::ourInstance->AddUsedName(QC_String(myStateCode));
    UI_EndDialog(aDialog, UI_IDOK);
}

void CEditBoneStateDlg::FillCommand(EditJointStateCommand* aCommand) const
{
    aCommand->myPartIndex = myPartIndex;
    aCommand->myJointStateIndex = myStateIndex;
    aCommand->myStateCode = myStateCode;
    aCommand->myNextState = myNextState;
    aCommand->myInterpolationTime = myInterpolationTime;
    aCommand->myTimeToNext = myTimeToNext;
    aCommand->myLoopFlag = myLoopFlag;
    aCommand->myActiveFlag = myActiveFlag;
    aCommand->myForceStartFlag = myForceStartFlag;
    aCommand->mySolidFlag = mySolidFlag;
}

void CEditBoneStateDlg::OnAll(UI_Dialog* aDialog)
{
    if (!ReadFields(aDialog) || !CommandHandler::Get())
        return;
    EditAllJointStateCommand* locCommand = new EditAllJointStateCommand;
    FillCommand(locCommand);
    // A failure shows nothing; the editor error holds its code.
    if (!CommandHandler::Get()->Run(QRECommand::CURRENT_VERSION, locCommand))
        delete locCommand;
}

// --- [SECTION] statistics, LWS errors, folder browser ---

void CLodStatsDlg::SetStats(const uint32_t aValues[10])
{
    memcpy(myValues, aValues, sizeof(myValues));
}

float CLodStatsDlg::TextureMegabytes(uint32_t aBytes)
{
    return float(int(float(aBytes) * (1.0f / 1048576.0f) * 100.0f)) * 0.01f;
}

intptr_t CLodStatsDlg::DoModal(UI_Dialog* aParent)
{
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        CLodStatsDlg* t = static_cast<CLodStatsDlg*>(UI_GetDialogUserData(d));
        if (m.myKind == UI_MSG_INITDIALOG)
        {
            char locText[32];
            for (int i = 0; i < 9; i++)
            {
                snprintf(locText, sizeof(locText), "%u", t->myValues[i]);
                UI_SetControlText(d, IDC_STATS_FIRST + i, locText);
            }
            snprintf(locText, sizeof(locText), "%g", double(TextureMegabytes(t->myValues[9])));
            UI_SetControlText(d, IDC_STATS_TEXTURE_MEMORY, locText);
        }
        else if (locIsOK(m) || locIsEnd(m))
            UI_EndDialog(d, UI_IDOK);
        return 0;
    });
}

intptr_t CLwsErrorDlg::DoModal(UI_Dialog* aParent)
{
    myLines.clear();
    return locRun(ourTemplate, this, aParent, [](UI_Dialog* d, const UI_Message& m) -> intptr_t {
        CLwsErrorDlg* t = static_cast<CLwsErrorDlg*>(UI_GetDialogUserData(d));
        if (m.myKind == UI_MSG_INITDIALOG)
        {
            UI_MoveDialogToLeftEdge(d);
            CheckLwsKeys(t->myFileName, [d, t](const char* aLine) {
                UI_ListAdd(d, IDC_LWS_ERROR_LIST, aLine);
                t->myLines.push_back(aLine);
            });
        }
        else if (m.myKind == UI_MSG_MOUSEMOVE && t->myView)
            t->myView->OnMouseMove(m.myKeyState, m.myX, m.myY);
        else if (locIsOK(m) || locIsEnd(m))
            UI_EndDialog(d, UI_IDOK);
        return 0;
    });
}

CFolderBrowser::CFolderBrowser(unsigned aFlags, UI_Dialog* anOwner, const char* aStartFolder)
    : myFlags(aFlags), myOwner(anOwner), myStartFolder(aStartFolder ? aStartFolder : "")
{
}

std::string CFolderBrowser::StatusText(const char* aPath)
{
    std::string locPath = aPath ? aPath : "";
    if (locPath.size() > 35)
        return "..." + locPath.substr(locPath.size() - 35);
    return locPath;
}

int CFolderBrowser::Browse()
{
    std::string locFolder = myStartFolder;
    auto locStatus = [](const std::string& aFolder) { return StatusText(aFolder.c_str()); };
    if (!UI_ChooseFolder("Current Selection", StatusText(locFolder.c_str()).c_str(), &locFolder, locStatus))
        return 0;
    mySelectedPath = locFolder;
    return 1;
}
