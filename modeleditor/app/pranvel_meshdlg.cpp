// Mesh properties and Edit Animation.
#include "modeleditor/app/pranvel_meshdlg.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_resource.h"

#include "modeleditor/lw_build.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/templateedit.h"
#include "modeleditor/qrendereditor.h"
#include "platform/ui/ui_prompt.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <new>
#include <strings.h>

namespace
{
// A LightWave object's first layer as a template, built as the scene builds models.
bool locBuildFromLWO(const char* aFileName, const char* anItemName, const char* aStateCode,
                     QR_TemplateObject** aTemplate)
{
    LWBuildSettings locSettings;
    if (QRenderEditor::ourInstance)
        QRenderEditor::ourInstance->GetBuildSettings(&locSettings);
    return BuildTemplateFromLWO(aFileName, anItemName, aTemplate, StateCodeToId(aStateCode), locSettings);
}
} // namespace

PranvelTemplateLoader ourPranvelTemplateLoader = locBuildFromLWO;

// [SECTION] resources
// [SECTION] Edit Animation
// [SECTION] Mesh properties

// --- [SECTION] resources ---

namespace
{
const UI_ControlTemplate ourMeshControls[] = {
    {-1, UI_CONTROL_STATIC, "Mesh", 7, 9, 67, 8, 0},
    {IDC_MESH_NAME, UI_CONTROL_COMBOBOX, nullptr, 76, 7, 150, 100, 0},
    {-1, UI_CONTROL_STATIC, "Vertex shader", 7, 27, 67, 8, 0},
    {IDC_MESH_SHADER, UI_CONTROL_COMBOBOX, nullptr, 76, 25, 150, 100, 0},
    {-1, UI_CONTROL_STATIC, "Transform", 7, 45, 67, 8, 0},
    {IDC_MESH_TRANSFORM, UI_CONTROL_COMBOBOX, nullptr, 76, 43, 150, 100, 0},
    {-1, UI_CONTROL_STATIC, "Color", 7, 63, 67, 8, 0},
    {IDC_MESH_COLOR, UI_CONTROL_COMBOBOX, nullptr, 76, 61, 150, 100, 0},
    {IDC_MESH_SPECULAR, UI_CONTROL_PUSHBUTTON, nullptr, 232, 61, 30, 14, UI_STYLE_OWNERDRAW},
    {IDC_MESH_FOG, UI_CONTROL_CHECKBOX, "Fog", 76, 79, 60, 10, 0},
    {-1, UI_CONTROL_STATIC, "First UV", 7, 97, 67, 8, 0},
    {IDC_MESH_UV1, UI_CONTROL_COMBOBOX, nullptr, 76, 95, 150, 100, 0},
    {-1, UI_CONTROL_STATIC, "Second UV", 7, 115, 67, 8, 0},
    {IDC_MESH_UV2, UI_CONTROL_COMBOBOX, nullptr, 76, 113, 150, 100, 0},
    {-1, UI_CONTROL_STATIC, "Lod distances", 7, 133, 67, 8, 0},
    {IDC_MESH_LOD_FIRST + 0, UI_CONTROL_EDIT, nullptr, 76, 131, 34, 14, UI_STYLE_BORDER},
    {IDC_MESH_LOD_FIRST + 1, UI_CONTROL_EDIT, nullptr, 114, 131, 34, 14, UI_STYLE_BORDER},
    {IDC_MESH_LOD_FIRST + 2, UI_CONTROL_EDIT, nullptr, 152, 131, 34, 14, UI_STYLE_BORDER},
    {IDC_MESH_LOD_FIRST + 3, UI_CONTROL_EDIT, nullptr, 190, 131, 34, 14, UI_STYLE_BORDER},
    {-1, UI_CONTROL_STATIC, "Transparency presort", 7, 151, 67, 8, 0},
    {IDC_MESH_PRESORT, UI_CONTROL_COMBOBOX, nullptr, 76, 149, 150, 100, 0},
    {IDC_MESH_ANIMATED, UI_CONTROL_CHECKBOX, "Mesh animated", 76, 169, 70, 10, 0},
    {IDC_MESH_EDIT_ANIMATION, UI_CONTROL_PUSHBUTTON, "Edit animation", 156, 167, 70, 14, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 212, 190, 50, 14, UI_STYLE_DEFAULT_BUTTON},
};

const UI_ControlTemplate ourAnimationControls[] = {
    {IDC_ANIM_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 80, 150,
     UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_EXTENDEDSEL | UI_STYLE_LB_NOINTEGRALHEIGHT},
    {IDC_ANIM_UP, UI_CONTROL_PUSHBUTTON, "Up", 94, 7, 40, 14, 0},
    {IDC_ANIM_UP10, UI_CONTROL_PUSHBUTTON, "10", 138, 7, 20, 14, 0},
    {IDC_ANIM_DOWN, UI_CONTROL_PUSHBUTTON, "Down", 94, 24, 40, 14, 0},
    {IDC_ANIM_DOWN10, UI_CONTROL_PUSHBUTTON, "10", 138, 24, 20, 14, 0},
    {IDC_ANIM_COPY, UI_CONTROL_PUSHBUTTON, "Copy", 94, 46, 64, 14, 0},
    {IDC_ANIM_REMOVE, UI_CONTROL_PUSHBUTTON, "Remove", 94, 63, 64, 14, 0},
    {IDC_ANIM_FLIP, UI_CONTROL_PUSHBUTTON, "Flip Selected", 94, 80, 64, 14, 0},
    {IDC_ANIM_ADD_MESH, UI_CONTROL_PUSHBUTTON, "Add mesh", 94, 102, 64, 14, 0},
    {-1, UI_CONTROL_STATIC, "Seconds between frames", 7, 164, 90, 8, 0},
    {IDC_ANIM_SECONDS, UI_CONTROL_EDIT, nullptr, 98, 162, 60, 14, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 166, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 166, 24, 50, 14, 0},
};


const char* const ourTransformNames[] = {"Normal", "Skinned", "Skinned HQ"};
const char* const ourColorNames[] = {"From vertex (fullbright)", "Light calc, no specular",
                                     "Light calc with specular", "Light calc with set specular color"};
const char* const ourUVNames[] = {"1st UV set", "2nd UV set", "Camera space position", "Camera space normal",
                                  "Camera space reflection vector"};
const char* const ourPresortNames[] = {"None", "Presort above", "Presort outside", "Presort outside (partial)"};

constexpr int MAX_SELECTED = 256;
constexpr uint32_t MAX_VERTICES = 65535;

void locFillCombo(UI_Dialog* aDialog, int anId, const char* const* aNames, int aCount)
{
    UI_ComboReset(aDialog, anId);
    for (int i = 0; i < aCount; i++)
        UI_ComboAdd(aDialog, anId, aNames[i]);
}

void locError(const char* aText)
{
    UI_MessageBox("Error", aText, OS_MB_OK | OS_MB_ICONERROR);
}
} // namespace

const UI_DialogTemplate CMeshDlg::ourTemplate = {
    IDD_MESH_PROPERTIES, "Mesh properties", 269, 211, "MS Shell Dlg", 8, ourMeshControls, int(std::size(ourMeshControls))};
const UI_DialogTemplate CEditAnimationDlg::ourTemplate = {
    IDD_EDIT_ANIMATION, "Edit Animation", 223, 183, "MS Shell Dlg", 8, ourAnimationControls,
    int(std::size(ourAnimationControls))};
const char* const CMeshDlg::ourShaderNames[6] = {"NORMAL_MESH",    "CAMERA_FACING", "VARNOS_GETY",
                                                 "VARNOS_DISTORT", "DEPTH_SORT",    "NORMAL_MAP"};

// --- [SECTION] Edit Animation ---

void CEditAnimationDlg::SetMesh(int anIndex, QR_Mesh* aMesh)
{
    myMesh = aMesh;
    myLod = aMesh && anIndex >= 0 && uint32_t(anIndex) < aMesh->myNumLods ? &aMesh->myLods[anIndex] : nullptr;
}

intptr_t CEditAnimationDlg::DoModal(UI_Dialog* aParent)
{
    if (!myMesh || !myLod)
        return UI_IDCANCEL;
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t CEditAnimationDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CEditAnimationDlg* locThis = static_cast<CEditAnimationDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    if (aMessage.myKind == UI_MSG_INITDIALOG)
        locThis->OnInitDialog(aDialog);
    else if (aMessage.myKind == UI_MSG_CLOSE)
        UI_EndDialog(aDialog, UI_IDCANCEL);
    else if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myNotifyCode == UI_BN_CLICKED)
    {
        switch (aMessage.myControlId)
        {
        case IDC_ANIM_UP: locThis->OnUp(aDialog); break;
        case IDC_ANIM_DOWN: locThis->OnDown(aDialog); break;
        case IDC_ANIM_UP10: locThis->OnUp10(aDialog); break;
        case IDC_ANIM_DOWN10: locThis->OnDown10(aDialog); break;
        case IDC_ANIM_COPY: locThis->OnCopy(aDialog); break;
        case IDC_ANIM_REMOVE: locThis->OnRemove(aDialog); break;
        case IDC_ANIM_FLIP: locThis->OnFlip(aDialog); break;
        case IDC_ANIM_ADD_MESH: locThis->AddMeshFrame(aDialog); break;
        case UI_IDOK:
            if (locThis->OnOK(aDialog))
                UI_EndDialog(aDialog, UI_IDOK);
            break;
        case UI_IDCANCEL: UI_EndDialog(aDialog, UI_IDCANCEL); break;
        default: break;
        }
    }
    return 0;
}

int CEditAnimationDlg::FindDistinct(uint32_t aFirstVertex) const
{
    for (size_t i = 0; i < myFrames.size(); i++)
        if (myFrames[i].myFirstVertex == aFirstVertex)
            return int(i);
    return -1;
}

void CEditAnimationDlg::OnInitDialog(UI_Dialog* aDialog)
{
    myFrames.clear();
    myFrames.reserve(16);
    const QR_MeshFrame* locFrames = myLod->myFrames;
    uint32_t locCount = locFrames ? myLod->myNumFrames : 0;
    // The distinct frames in vertex-buffer order. A position no frame starts
    // at, or a frame of no vertices, moves on to the nearest frame start above
    // it, so the walk always ends.
    uint32_t locPosition = 0;
    while (locPosition < myLod->myNumVertices)
    {
        const QR_MeshFrame* locFound = nullptr;
        for (uint32_t f = 0; f < locCount && !locFound; f++)
            if (locFrames[f].myFirstVertex == locPosition)
                locFound = &locFrames[f];
        if (locFound && FindDistinct(locPosition) < 0)
            myFrames.push_back(*locFound);
        if (locFound && locFound->myNumVertices > 0)
        {
            locPosition += locFound->myNumVertices;
            continue;
        }
        bool locAbove = false;
        uint32_t locNext = 0;
        for (uint32_t f = 0; f < locCount; f++)
            if (locFrames[f].myFirstVertex > locPosition && (!locAbove || locFrames[f].myFirstVertex < locNext))
            {
                locNext = locFrames[f].myFirstVertex;
                locAbove = true;
            }
        if (!locAbove)
            break;
        locPosition = locNext;
    }
    UI_ListReset(aDialog, IDC_ANIM_LIST);
    for (uint32_t f = 0; f < locCount; f++)
    {
        int locIndex = FindDistinct(locFrames[f].myFirstVertex);
        if (locIndex < 0)
        {
            // A frame the walk did not reach is kept all the same.
            myFrames.push_back(locFrames[f]);
            locIndex = int(myFrames.size()) - 1;
        }
        char locText[16];
        snprintf(locText, sizeof(locText), "%d", locIndex + 1);
        int locLine = UI_ListAdd(aDialog, IDC_ANIM_LIST, locText);
        UI_ListSetItemData(aDialog, IDC_ANIM_LIST, locLine, locIndex);
    }
    float locRate = myLod->myFramesPerSecond;
    PranvelSetFloatText(aDialog, IDC_ANIM_SECONDS, "%.3f", locRate > 0.0f ? 1.0f / locRate : 1.0f);
    PranvelForwardMouseMoves(aDialog);
}

void CEditAnimationDlg::ApplyList(UI_Dialog* aDialog)
{
    std::vector<QR_MeshFrame> locList;
    int locLines = UI_ListGetCount(aDialog, IDC_ANIM_LIST);
    for (int i = 0; i < locLines; i++)
    {
        intptr_t locData = UI_ListGetItemData(aDialog, IDC_ANIM_LIST, i);
        if (locData >= 0 && size_t(locData) < myFrames.size())
            locList.push_back(myFrames[size_t(locData)]);
    }
    // An animated level without a frame would divide by zero in the frame choice.
    if (locList.empty())
        return;
    QR_MeshFrame* locFrames = new (std::nothrow) QR_MeshFrame[locList.size()];
    if (!locFrames)
        return;
    std::copy(locList.begin(), locList.end(), locFrames);
    delete[] myLod->myFrames;
    myLod->myFrames = locFrames;
    myLod->myNumFrames = uint32_t(locList.size());
}

std::vector<CEditAnimationDlg::Line> CEditAnimationDlg::ReadLines(UI_Dialog* aDialog) const
{
    std::vector<Line> locLines(size_t(std::max(0, UI_ListGetCount(aDialog, IDC_ANIM_LIST))));
    for (size_t i = 0; i < locLines.size(); i++)
    {
        UI_ListGetText(aDialog, IDC_ANIM_LIST, int(i), &locLines[i].myText);
        locLines[i].myData = UI_ListGetItemData(aDialog, IDC_ANIM_LIST, int(i));
        locLines[i].mySelected = false;
    }
    std::vector<int> locSelected(MAX_SELECTED);
    int n = UI_ListGetSelItems(aDialog, IDC_ANIM_LIST, locSelected.data(), MAX_SELECTED);
    for (int i = 0; i < n; i++)
        if (locSelected[size_t(i)] >= 0 && size_t(locSelected[size_t(i)]) < locLines.size())
            locLines[size_t(locSelected[size_t(i)])].mySelected = true;
    return locLines;
}

void CEditAnimationDlg::WriteLines(UI_Dialog* aDialog, const std::vector<Line>& aLines) const
{
    UI_ListReset(aDialog, IDC_ANIM_LIST);
    for (const Line& locLine : aLines)
    {
        int i = UI_ListAdd(aDialog, IDC_ANIM_LIST, locLine.myText.c_str());
        UI_ListSetItemData(aDialog, IDC_ANIM_LIST, i, locLine.myData);
        if (locLine.mySelected)
            UI_ListSetSel(aDialog, IDC_ANIM_LIST, i, true);
    }
}

std::vector<int> CEditAnimationDlg::Selection(const std::vector<Line>& aLines) const
{
    std::vector<int> locSelected;
    for (size_t i = 0; i < aLines.size() && locSelected.size() < size_t(MAX_SELECTED); i++)
        if (aLines[i].mySelected)
            locSelected.push_back(int(i));
    return locSelected;
}

namespace
{
// Moves the line at aFrom to aTo, the lines between closing up.
template <class T> void locMoveLine(std::vector<T>& aLines, int aFrom, int aTo)
{
    T locLine = aLines[size_t(aFrom)];
    aLines.erase(aLines.begin() + aFrom);
    aLines.insert(aLines.begin() + aTo, locLine);
}
} // namespace

void CEditAnimationDlg::OnUp(UI_Dialog* aDialog)
{
    std::vector<Line> locLines = ReadLines(aDialog);
    for (int i : Selection(locLines))
        if (i > 0)
            std::swap(locLines[size_t(i)], locLines[size_t(i) - 1]);
    WriteLines(aDialog, locLines);
    ApplyList(aDialog);
}

void CEditAnimationDlg::OnDown(UI_Dialog* aDialog)
{
    std::vector<Line> locLines = ReadLines(aDialog);
    std::vector<int> locSelected = Selection(locLines);
    int locLast = int(locLines.size()) - 1;
    for (auto it = locSelected.rbegin(); it != locSelected.rend(); ++it)
        if (*it < locLast)
            std::swap(locLines[size_t(*it)], locLines[size_t(*it) + 1]);
    WriteLines(aDialog, locLines);
    ApplyList(aDialog);
}

void CEditAnimationDlg::OnUp10(UI_Dialog* aDialog)
{
    std::vector<Line> locLines = ReadLines(aDialog);
    std::vector<int> locSelected = Selection(locLines);
    if (locSelected.empty())
        return;
    int locStep = locSelected.front() < 10 ? locSelected.front() : 10;
    for (int i : locSelected)
        if (i > 0 && locStep > 0)
            locMoveLine(locLines, i, i - locStep);
    WriteLines(aDialog, locLines);
    ApplyList(aDialog);
}

void CEditAnimationDlg::OnDown10(UI_Dialog* aDialog)
{
    std::vector<Line> locLines = ReadLines(aDialog);
    std::vector<int> locSelected = Selection(locLines);
    if (locSelected.empty())
        return;
    int locLast = int(locLines.size()) - 1;
    int locStep = locSelected.back() + 10 > locLast ? locLast - locSelected.back() : 10;
    for (auto it = locSelected.rbegin(); it != locSelected.rend(); ++it)
        if (*it < locLast && locStep > 0)
            locMoveLine(locLines, *it, *it + locStep);
    WriteLines(aDialog, locLines);
    ApplyList(aDialog);
}

void CEditAnimationDlg::OnCopy(UI_Dialog* aDialog)
{
    std::vector<Line> locLines = ReadLines(aDialog);
    for (int i : Selection(locLines))
    {
        Line locCopy = locLines[size_t(i)];
        locCopy.mySelected = false;
        locLines.push_back(locCopy);
    }
    WriteLines(aDialog, locLines);
    ApplyList(aDialog);
}

void CEditAnimationDlg::OnRemove(UI_Dialog* aDialog)
{
    std::vector<Line> locLines = ReadLines(aDialog);
    std::vector<int> locSelected = Selection(locLines);
    if (locSelected.empty())
        return;
    // An animated level without a frame cannot be drawn.
    if (locSelected.size() >= locLines.size())
    {
        locError("An animation keeps at least one frame.");
        return;
    }
    for (auto it = locSelected.rbegin(); it != locSelected.rend(); ++it)
        locLines.erase(locLines.begin() + *it);
    WriteLines(aDialog, locLines);
    ApplyList(aDialog);
}

void CEditAnimationDlg::OnFlip(UI_Dialog* aDialog)
{
    std::vector<Line> locLines = ReadLines(aDialog);
    std::vector<int> locSelected = Selection(locLines);
    for (size_t a = 0, b = locSelected.size(); b > a + 1; a++, b--)
        std::swap(locLines[size_t(locSelected[a])], locLines[size_t(locSelected[b - 1])]);
    WriteLines(aDialog, locLines);
    ApplyList(aDialog);
}

void CEditAnimationDlg::AddMeshFrame(UI_Dialog* aDialog)
{
    QC_String locPath, locName;
    if (!OpenFileDialog(PATHS_LW_OBJECT, ourPathsFile, true, &locPath, &locName))
        return;
    QR_TemplateObject* locTemplate = nullptr;
    if (!ourPranvelTemplateLoader ||
        !ourPranvelTemplateLoader(locPath, "TEMPORARY_INTERNAL_PRANVEL", "STND", &locTemplate) || !locTemplate)
    {
        locError("Failed to load mesh");
        return;
    }
    QR_Mesh* locNew = nullptr;
    for (uint32_t p = 0; p < locTemplate->myNumParts && !locNew; p++)
        locNew = locTemplate->myParts[p].myMesh;
    if (!locNew || myMesh->myNumVertices + locNew->myNumVertices > MAX_VERTICES)
    {
        locError(locNew ? "Failed to add mesh because of too many vertices" : "Failed to load mesh");
        locTemplate->Release();
        return;
    }
    if (locNew->myVertexFormat != myMesh->myVertexFormat || locNew->myVertexSize != myMesh->myVertexSize)
    {
        locError("Failed to add mesh because of different vertex formats");
        locTemplate->Release();
        return;
    }
    uint32_t locOldVertices = myMesh->myNumVertices;
    uint32_t locOldIndices = myMesh->myNumIndices;
    size_t locSize = myMesh->myVertexSize;
    uint8_t* locVertices = new (std::nothrow) uint8_t[(locOldVertices + locNew->myNumVertices) * locSize + 1];
    uint16_t* locIndices = new (std::nothrow) uint16_t[locOldIndices + locNew->myNumIndices + 1];
    QR_MeshFrame* locFrames = new (std::nothrow) QR_MeshFrame[myLod->myNumFrames + 1];
    if (!locVertices || !locIndices || !locFrames)
    {
        delete[] locVertices;
        delete[] locIndices;
        delete[] locFrames;
        locError("Failed to load mesh");
        locTemplate->Release();
        return;
    }
    myMesh->ReleaseDeviceData();
    memcpy(locVertices, myMesh->myVertexData, locOldVertices * locSize);
    memcpy(locVertices + locOldVertices * locSize, locNew->myVertexData, locNew->myNumVertices * locSize);
    memcpy(locIndices, myMesh->myIndexData, locOldIndices * sizeof(uint16_t));
    for (uint32_t i = 0; i < locNew->myNumIndices; i++)
        locIndices[locOldIndices + i] = uint16_t(locNew->myIndexData[i] + locOldVertices);
    // The new frame lies where its data went: past everything the mesh held.
    QR_MeshFrame locFrame = {locOldVertices, locNew->myNumVertices, locOldIndices, locNew->myNumIndices};
    if (myLod->myNumFrames)
        memcpy(locFrames, myLod->myFrames, myLod->myNumFrames * sizeof(QR_MeshFrame));
    locFrames[myLod->myNumFrames] = locFrame;
    delete[] myMesh->myVertexData;
    delete[] myMesh->myIndexData;
    delete[] myLod->myFrames;
    myMesh->myVertexData = locVertices;
    myMesh->myIndexData = locIndices;
    myLod->myFrames = locFrames;
    myLod->myNumFrames++;
    myMesh->myNumVertices += locNew->myNumVertices;
    myMesh->myNumIndices += locNew->myNumIndices;
    myLod->myNumVertices += locNew->myNumVertices;
    myLod->myNumIndices += locNew->myNumIndices;
    myFrames.push_back(locFrame);

    char locText[16];
    snprintf(locText, sizeof(locText), "%d", int(myFrames.size()));
    int locLine = UI_ListAdd(aDialog, IDC_ANIM_LIST, locText);
    UI_ListSetItemData(aDialog, IDC_ANIM_LIST, locLine, intptr_t(myFrames.size()) - 1);
    locTemplate->Release();
    myMesh->CompileVertexShader();
}

bool CEditAnimationDlg::OnOK(UI_Dialog* aDialog)
{
    std::string locText;
    UI_GetControlText(aDialog, IDC_ANIM_SECONDS, &locText);
    if (locText.empty())
        return false;
    float locSeconds = 0.0f;
    PranvelReadFloat(aDialog, IDC_ANIM_SECONDS, &locSeconds);
    myLod->myFramesPerSecond = locSeconds > 0.0f ? 1.0f / locSeconds : 1.0f;
    ApplyList(aDialog);
    return true;
}

// --- [SECTION] Mesh properties ---

intptr_t CMeshDlg::DoModal(UI_Dialog* aParent)
{
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t CMeshDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CMeshDlg* locThis = static_cast<CMeshDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    switch (aMessage.myKind)
    {
    case UI_MSG_INITDIALOG: locThis->OnInitDialog(aDialog); break;
    case UI_MSG_DRAWITEM:
        if (aMessage.myControlId == IDC_MESH_SPECULAR)
            locThis->mySpecularSwatch.DrawItem(aMessage.myDrawItem);
        break;
    case UI_MSG_CLOSE: UI_EndDialog(aDialog, UI_IDCANCEL); break;
    case UI_MSG_COMMAND:
    {
        int locId = aMessage.myControlId;
        int locCode = aMessage.myNotifyCode;
        if (locId == IDC_MESH_NAME && locCode == UI_CBN_SELCHANGE)
            locThis->OnSelectMesh(aDialog);
        else if (locId >= IDC_MESH_LOD_FIRST && locId < IDC_MESH_LOD_FIRST + 4 && locCode == UI_EN_KILLFOCUS)
            locThis->ApplyMeshSettings(aDialog);
        else if ((locId == IDC_MESH_PRESORT || locId == IDC_MESH_SHADER || locId == IDC_MESH_TRANSFORM ||
                  locId == IDC_MESH_COLOR || locId == IDC_MESH_UV1 || locId == IDC_MESH_UV2) &&
                 locCode == UI_CBN_SELCHANGE)
            locThis->ApplyMeshSettings(aDialog);
        else if (locId == IDC_MESH_FOG && locCode == UI_BN_CLICKED)
            locThis->ApplyMeshSettings(aDialog);
        else if (locId == IDC_MESH_SPECULAR && locCode == UI_BN_CLICKED)
            locThis->OnSpecularColor(aDialog);
        else if (locId == IDC_MESH_ANIMATED && locCode == UI_BN_CLICKED)
            locThis->OnToggleAnimation(aDialog);
        else if (locId == IDC_MESH_EDIT_ANIMATION && locCode == UI_BN_CLICKED)
            locThis->OnEditAnimation(aDialog);
        else if ((locId == UI_IDOK || locId == UI_IDCANCEL) && locCode == UI_BN_CLICKED)
            UI_EndDialog(aDialog, locId);
        break;
    }
    default: break;
    }
    return 0;
}

void CMeshDlg::BuildMeshList()
{
    myEntries.clear();
    myCurrent = 0;
    if (!myTemplate)
        return;
    for (uint32_t p = 0; p < myTemplate->myNumParts; p++)
    {
        QR_Mesh* locMesh = myTemplate->myParts[p].myMesh;
        if (!locMesh || !locMesh->myName)
            continue;
        bool locListed = false;
        for (const Entry& locEntry : myEntries)
            locListed = locListed || strcmp(locEntry.myName, locMesh->myName) == 0;
        if (!locListed)
            myEntries.push_back({QC_String(locMesh->myName), locMesh, locMesh->myNumLods ? &locMesh->myLods[0] : nullptr});
    }
}

void CMeshDlg::OnInitDialog(UI_Dialog* aDialog)
{
    mySpecularSwatch.Attach(aDialog, IDC_MESH_SPECULAR);
    locFillCombo(aDialog, IDC_MESH_TRANSFORM, ourTransformNames, 3);
    locFillCombo(aDialog, IDC_MESH_COLOR, ourColorNames, 4);
    locFillCombo(aDialog, IDC_MESH_UV1, ourUVNames, 5);
    locFillCombo(aDialog, IDC_MESH_UV2, ourUVNames, 5);
    locFillCombo(aDialog, IDC_MESH_PRESORT, ourPresortNames, 4);
    for (int i = 0; i < 4; i++)
        UI_SetEditLimit(aDialog, IDC_MESH_LOD_FIRST + i, 10);
    UI_SetControlToolTip(aDialog, IDC_MESH_ANIMATED, "The mesh plays its frames in sequence");
    BuildMeshList();
    RefreshControls(aDialog);
    PranvelForwardMouseMoves(aDialog);
}

bool CMeshDlg::IsUVEnabled(const QR_Mesh* aMesh, int anIndex) const
{
    QR_SurfaceShading locShading = {};
    uint32_t locStages = aMesh->mySetupData.myNumUVs;
    if (aMesh->mySurface && QR_Surface::GetShading(aMesh->mySurface, &locShading))
        locStages = locShading.myNumStages;
    return uint32_t(anIndex) < aMesh->mySetupData.myNumUVs && uint32_t(anIndex) < locStages;
}

void CMeshDlg::RefreshControls(UI_Dialog* aDialog)
{
    static const int locAll[] = {IDC_MESH_NAME,  IDC_MESH_SHADER, IDC_MESH_TRANSFORM, IDC_MESH_COLOR,
                                 IDC_MESH_FOG,   IDC_MESH_UV1,    IDC_MESH_UV2,       IDC_MESH_PRESORT,
                                 IDC_MESH_ANIMATED, IDC_MESH_EDIT_ANIMATION};
    UI_ComboReset(aDialog, IDC_MESH_NAME);
    for (const Entry& locEntry : myEntries)
        UI_ComboAdd(aDialog, IDC_MESH_NAME, locEntry.myName);
    // A model without meshes: nothing to show or change.
    bool locAny = myCurrent >= 0 && size_t(myCurrent) < myEntries.size() && myEntries[size_t(myCurrent)].myLod;
    for (int locId : locAll)
        UI_EnableControl(aDialog, locId, locAny);
    for (int i = 0; i < 4; i++)
        UI_EnableControl(aDialog, IDC_MESH_LOD_FIRST + i, false);
    if (!locAny)
    {
        PranvelShowControl(aDialog, IDC_MESH_SPECULAR, false);
        UI_EnableControl(aDialog, IDC_MESH_SPECULAR, false);
        return;
    }
    const Entry& locEntry = myEntries[size_t(myCurrent)];
    QR_Mesh* locMesh = locEntry.myMesh;
    UI_ComboSetCurSel(aDialog, IDC_MESH_NAME, myCurrent);

    // The six kinds, and a kind the editor lacks (kept for export) after them.
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    const char* locShader = locScene ? locScene->GetMeshVertexShaderName(locMesh)
                                     : (locMesh->myVertexShader ? locMesh->myVertexShader->myName : "");
    locFillCombo(aDialog, IDC_MESH_SHADER, ourShaderNames, 6);
    int locShaderIndex = -1;
    for (int i = 0; i < 6; i++)
        if (locShader && strcasecmp(locShader, ourShaderNames[i]) == 0)
            locShaderIndex = i;
    if (locShaderIndex < 0 && locShader && locShader[0])
        locShaderIndex = UI_ComboAdd(aDialog, IDC_MESH_SHADER, locShader);
    UI_ComboSetCurSel(aDialog, IDC_MESH_SHADER, locShaderIndex);

    const QR_VertexShaderSetupData& s = locMesh->mySetupData;
    UI_ComboSetCurSel(aDialog, IDC_MESH_TRANSFORM, s.mySkinning <= 2 ? int(s.mySkinning) : -1);
    int locColor = s.myLighting == 0 ? 0 : (s.mySpecular == 0 ? 1 : (s.mySpecular == 1 ? 2 : 3));
    UI_ComboSetCurSel(aDialog, IDC_MESH_COLOR, locColor);
    if (locColor == 3)
        mySpecularSwatch.SetColor(PranvelSwapRedBlue(locMesh->myDataBlock.myColor));
    UI_EnableControl(aDialog, IDC_MESH_SPECULAR, locColor == 3);
    PranvelShowControl(aDialog, IDC_MESH_SPECULAR, locColor == 3);

    UI_SetButtonCheck(aDialog, IDC_MESH_FOG, s.myFogFlag != 0);
    for (int i = 0; i < 2; i++)
    {
        int locId = i == 0 ? IDC_MESH_UV1 : IDC_MESH_UV2;
        bool locEnabled = IsUVEnabled(locMesh, i);
        UI_EnableControl(aDialog, locId, locEnabled);
        int locChoice = int(s.myUVs[i] & 0xFFFF);
        if (locChoice > 1)
            locChoice -= 2;
        UI_ComboSetCurSel(aDialog, locId, locEnabled && locChoice < 5 ? locChoice : -1);
    }

    uint32_t locLods = locMesh->myNumLods;
    for (int i = 0; i < 4; i++)
    {
        int locId = IDC_MESH_LOD_FIRST + i;
        bool locEnabled = uint32_t(i) + 1 < locLods;
        UI_EnableControl(aDialog, locId, locEnabled);
        if (locEnabled)
            PranvelSetFloatText(aDialog, locId, "%.1f", sqrtf(locMesh->myLods[i].myLodDistance));
        else
            UI_SetControlText(aDialog, locId, "");
    }
    UI_ComboSetCurSel(aDialog, IDC_MESH_PRESORT, 0);
    bool locAnimated = locEntry.myLod->myIsAnimated == 1;
    UI_SetButtonCheck(aDialog, IDC_MESH_ANIMATED, locAnimated);
    UI_EnableControl(aDialog, IDC_MESH_EDIT_ANIMATION, locAnimated);
}

void CMeshDlg::ApplyMeshSettings(UI_Dialog* aDialog)
{
    if (myCurrent < 0 || size_t(myCurrent) >= myEntries.size())
        return;
    const Entry& locEntry = myEntries[size_t(myCurrent)];
    QR_Mesh* locMesh = locEntry.myMesh;
    EditMeshCommand* locCommand = new EditMeshCommand;
    locCommand->myMeshName = locEntry.myName;
    locCommand->myLodIndex = 0;
    std::string locShader;
    UI_ComboGetText(aDialog, IDC_MESH_SHADER, UI_ComboGetCurSel(aDialog, IDC_MESH_SHADER), &locShader);
    locCommand->myVertexShaderName = locShader.c_str();
    locCommand->myPresortMode = std::max(0, UI_ComboGetCurSel(aDialog, IDC_MESH_PRESORT));

    int locColor = UI_ComboGetCurSel(aDialog, IDC_MESH_COLOR);
    int locLighting = locColor <= 0 ? 0 : 1;
    int locMode = locColor <= 1 ? 0 : locColor - 1;
    locCommand->mySettings[0] = std::max(0, UI_ComboGetCurSel(aDialog, IDC_MESH_TRANSFORM));
    locCommand->mySettings[1] = locLighting;
    locCommand->mySettings[2] = 0;
    locCommand->mySettings[3] = locMode;
    locCommand->mySettings[4] = 0;
    locCommand->mySpecularPower = 40.0f;
    locCommand->mySpecularColour = int32_t(PranvelSwapRedBlue(mySpecularSwatch.myColor));
    locCommand->myFogFlag = UI_IsButtonChecked(aDialog, IDC_MESH_FOG);
    for (int i = 0; i < 2; i++)
    {
        uint32_t locWord = locMesh->mySetupData.myUVs[i];
        int locChoice = UI_ComboGetCurSel(aDialog, i == 0 ? IDC_MESH_UV1 : IDC_MESH_UV2);
        if (IsUVEnabled(locMesh, i) && locChoice >= 0)
            locWord = (locWord & 0xFFFF0000u) | uint32_t(locChoice >= 2 ? locChoice + 2 : locChoice);
        locCommand->myUVSetWords[i] = int32_t(locWord);
    }
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    for (int i = 0; i < 4; i++)
        locCommand->myLodDistances[i] = locScene ? locScene->myLodDistances[i] : 0.0f;
    for (int i = 0; uint32_t(i) + 1 < locMesh->myNumLods && i < 4; i++)
    {
        int locId = IDC_MESH_LOD_FIRST + i;
        float locDistance = locCommand->myLodDistances[i];
        PranvelReadFloat(aDialog, locId, &locDistance);
        if (i > 0 && locDistance < locCommand->myLodDistances[i - 1])
        {
            locDistance = locCommand->myLodDistances[i - 1];
            PranvelSetFloatText(aDialog, locId, "%.1f", locDistance);
        }
        locCommand->myLodDistances[i] = locDistance;
    }
    PranvelRunCommand(locCommand);
    RefreshControls(aDialog);
}

void CMeshDlg::OnSelectMesh(UI_Dialog* aDialog)
{
    int locChoice = UI_ComboGetCurSel(aDialog, IDC_MESH_NAME);
    if (locChoice >= 0 && size_t(locChoice) < myEntries.size())
        myCurrent = locChoice;
    RefreshControls(aDialog);
}

void CMeshDlg::OnSpecularColor(UI_Dialog* aDialog)
{
    uint32_t locColor = mySpecularSwatch.myColor;
    if (!UI_ChooseColor("Specular color", &locColor))
        return;
    mySpecularSwatch.SetColor(locColor);
    ApplyMeshSettings(aDialog);
}

void CMeshDlg::OnToggleAnimation(UI_Dialog* aDialog)
{
    if (myCurrent < 0 || size_t(myCurrent) >= myEntries.size() || !myEntries[size_t(myCurrent)].myLod)
        return;
    QR_MeshLod* locLod = myEntries[size_t(myCurrent)].myLod;
    if (!UI_IsButtonChecked(aDialog, IDC_MESH_ANIMATED))
    {
        // Back to one still range: that of the first frame, when there is one.
        if (locLod->myFrames && locLod->myNumFrames > 0)
        {
            locLod->myFirstVertex = locLod->myFrames[0].myFirstVertex;
            locLod->myNumVertices = locLod->myFrames[0].myNumVertices;
            locLod->myStartIndex = locLod->myFrames[0].myStartIndex;
            locLod->myNumIndices = locLod->myFrames[0].myNumIndices;
        }
        delete[] locLod->myFrames;
        locLod->myFrames = nullptr;
        locLod->myNumFrames = 0;
        locLod->myIsAnimated = 0;
    }
    else
    {
        QR_MeshFrame* locFrame = new (std::nothrow) QR_MeshFrame[1];
        if (locFrame)
        {
            *locFrame = {0, locLod->myNumVertices, 0, locLod->myNumIndices};
            delete[] locLod->myFrames;
            locLod->myFrames = locFrame;
            locLod->myNumFrames = 1;
            locLod->myFramesPerSecond = 1.0f;
            locLod->myIsAnimated = 1;
        }
    }
    RefreshControls(aDialog);
}

void CMeshDlg::OnEditAnimation(UI_Dialog* aDialog)
{
    if (myCurrent < 0 || size_t(myCurrent) >= myEntries.size())
        return;
    CEditAnimationDlg locDialog;
    locDialog.SetMesh(0, myEntries[size_t(myCurrent)].myMesh);
    locDialog.DoModal(aDialog);
    RefreshControls(aDialog);
}
