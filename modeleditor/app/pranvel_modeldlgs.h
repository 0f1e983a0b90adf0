// The model tree's dialogs: the seven edit dialogs that ask for an edit
// command's values, the object statistics, the LightWave scene key check's
// list and the folder browser. Each runs modally over its control table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class CPranvelView;
class EditJointStateCommand;
class QR_Light;
class QR_TemplatePart;

enum PranvelModelDialogId
{
    IDD_EDIT_OBJECT = 139,
    IDD_EDIT_BONE_STATE = 141,
    IDD_ADD_STATE_PARTIAL = 160,
    IDD_EDIT_NULL = 175,
    IDD_ADD_NULL_OBJECT = 178,
    IDD_LOD_STATS = 180,
    IDD_LWS_ERRORS = 182,
    IDD_EDIT_BONE = 187,
    IDD_LIGHT_PROPERTIES = 195,

    IDC_OBJECT_RADIUS = 1017,
    IDC_OBJECT_CENTRE_X = 1018,
    IDC_OBJECT_CENTRE_Y = 1019,
    IDC_OBJECT_CENTRE_Z = 1020,
    IDC_NULL_X = 1034,
    IDC_NULL_Y = 1035,
    IDC_NULL_Z = 1140,
    IDC_NULL_HEADING = 1141,
    IDC_NULL_PITCH = 1142,
    IDC_NULL_BANK = 1143,
    IDC_LIGHT_HALO = 1175,
    IDC_LIGHT_BROWSE = 1176,
    IDC_LIGHT_DEPTH_FUDGE = 1177,
    IDC_BONESTATE_NAME = 1041,
    IDC_BONESTATE_NEXT = 1024,
    IDC_BONESTATE_INTERPOLATION = 1022,
    IDC_BONESTATE_TIME_TO_NEXT = 1025,
    IDC_BONESTATE_LOOP = 1021,
    IDC_BONESTATE_ACTIVE = 1023,
    IDC_BONESTATE_FORCE_START = 1033,
    IDC_BONESTATE_SOLID = 1163,
    IDC_BONESTATE_ALL = 1158,
    IDC_BONE_REMOVE_DISTANCE = 1161,
    IDC_BONE_ALL_CHILDREN = 3,
    IDC_PARTIAL_PARTS = 1089,
    IDC_NEW_NULL_NAME = 1034,
    IDC_LWS_ERROR_LIST = 1086,
    IDC_STATS_FIRST = 1144, // 1144..1152 the nine counts, 1153 the texture memory
    IDC_STATS_TEXTURE_MEMORY = 1153,
};

// A float field as the dialogs read it: commas become points, then atof.
// False for an empty field.
bool PranvelReadFloatField(UI_Dialog* aDialog, int anId, float* aValue);

class CEditObjectDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);
    float myRadius = 0.0f;
    float myCentre[3] = {0.0f, 0.0f, 0.0f};
    static const UI_DialogTemplate ourTemplate;
};

class CEditNullDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);
    float myPosition[3] = {0.0f, 0.0f, 0.0f};        // metres
    float myHeadingPitchBank[3] = {0.0f, 0.0f, 0.0f}; // radians
    static const UI_DialogTemplate ourTemplate;
};

// Applies its values to the light itself on OK; the caller records them.
class CEditLightPropertiesDlg
{
public:
    CEditLightPropertiesDlg(QR_Light* aLight, const char* aHaloSurface) : myLight(aLight), myHaloSurface(aHaloSurface) {}
    intptr_t DoModal(UI_Dialog* aParent);
    QC_String myHaloTexture;
    float myDepthFudge = 0.0f;
    static const UI_DialogTemplate ourTemplate;

private:
    QR_Light* myLight;
    QC_String myHaloSurface;
};

class CEditBoneStateDlg
{
public:
    // aCodes/aNames: the state file's lists (the chosen name joins aNames' owner's
    // used names through the caller); aPart: the part whose joint state aStateIndex is edited.
    CEditBoneStateDlg(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames,
                      const QR_TemplatePart* aPart, int32_t aPartIndex, int32_t aStateIndex);
    intptr_t DoModal(UI_Dialog* aParent);
    // The joint-state command of this part and state with the dialog's values.
    void FillCommand(EditJointStateCommand* aCommand) const;

    char myStateCode[5] = {0, 0, 0, 0, 0};
    int32_t myNextState = -1;
    float myInterpolationTime = 0.0f;
    float myTimeToNext = 0.0f;
    bool myLoopFlag = false;
    bool myActiveFlag = false;
    bool myForceStartFlag = false;
    bool mySolidFlag = true;
    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnInitDialog(UI_Dialog* aDialog);
    // Reads the fields; false (a message shown) when the next animation does not resolve.
    bool ReadFields(UI_Dialog* aDialog);
    void OnOK(UI_Dialog* aDialog);
    void OnAll(UI_Dialog* aDialog);

    QC_GrowingArray<QC_String>* myCodes;
    QC_GrowingArray<QC_String>* myNames;
    const QR_TemplatePart* myPart;
    int32_t myPartIndex;
    int32_t myStateIndex;
};

class CEditBoneDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);
    // The stored (squared) distance in, the entered distance out.
    float myStoredDistance = 0.0f;
    float myDistance = 0.0f;
    bool myAllChildrenFlag = false;
    // The value the command stores for an entered distance: its square, or
    // 1.0e15 (never removed) for 0 or less.
    static float StoredDistance(float aDistance);
    static const UI_DialogTemplate ourTemplate;
};

class AddStatePartialDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);
    std::vector<std::string> myPartNames;  // offered, in part order
    QC_List<QC_String> mySelectedNames;    // chosen, in list order
    static const UI_DialogTemplate ourTemplate;
};

class CAddNullObjDlg
{
public:
    intptr_t DoModal(UI_Dialog* aParent);
    QC_String myName;
    static const UI_DialogTemplate ourTemplate;
};

class CLodStatsDlg
{
public:
    // The nine counts in the order of the statics, the texture memory last (bytes).
    void SetStats(const uint32_t aValues[10]);
    intptr_t DoModal(UI_Dialog* aParent);
    // The texture memory as shown: megabytes truncated to two decimals.
    static float TextureMegabytes(uint32_t aBytes);
    static const UI_DialogTemplate ourTemplate;

private:
    uint32_t myValues[10] = {};
};

class CLwsErrorDlg
{
public:
    void SetFileName(const char* aFileName) { myFileName = aFileName; }
    // Mouse moves over the dialog turn, pan and zoom that view's camera.
    void SetView(CPranvelView* aView) { myView = aView; }
    intptr_t DoModal(UI_Dialog* aParent);
    // The lines the last opening listed.
    std::vector<std::string> myLines;
    static const UI_DialogTemplate ourTemplate;

private:
    QC_String myFileName;
    CPranvelView* myView = nullptr;
};

// The folder chooser of the prompt service, with the selected path shown as
// its status text.
class CFolderBrowser
{
public:
    CFolderBrowser(unsigned aFlags, UI_Dialog* anOwner, const char* aStartFolder);
    virtual ~CFolderBrowser() = default;
    // 1 when a folder was chosen (GetSelectedPath then holds it), else 0.
    virtual int Browse();
    const std::string& GetSelectedPath() const { return mySelectedPath; }
    // A path longer than 35 characters shows as "..." and its last 35.
    static std::string StatusText(const char* aPath);

private:
    unsigned myFlags;
    UI_Dialog* myOwner;
    std::string myStartFolder;
    std::string mySelectedPath;
};
