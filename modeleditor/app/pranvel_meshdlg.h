// "Mesh properties": the render settings of each distinct mesh of the loaded
// model, every change a recorded EDITMESH command; the mesh-animated switch
// and "Edit Animation", which reorders, copies, removes and appends the
// frames of a mesh's vertex animation straight on the renderer's mesh.
#pragma once

#include <cstdint>
#include <vector>

#include "modeleditor/app/pranvel_colorbutton.h"
#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_string.h"
#include "qrender/qr_mesh.h"

class QR_TemplateObject;

enum PranvelMeshDialogId
{
    IDD_EDIT_ANIMATION = 138,
    IDD_MESH_PROPERTIES = 192,

    IDC_MESH_NAME = 1041,
    IDC_MESH_PRESORT = 1042,
    IDC_MESH_SHADER = 1174,
    IDC_MESH_ANIMATED = 1178,
    IDC_MESH_EDIT_ANIMATION = 1179,
    IDC_MESH_TRANSFORM = 1187,
    IDC_MESH_COLOR = 1188,
    IDC_MESH_FOG = 1190,
    IDC_MESH_SPECULAR = 1191,
    IDC_MESH_UV1 = 1192,
    IDC_MESH_UV2 = 1193,
    IDC_MESH_LOD_FIRST = 1194, // ... 1197

    IDC_ANIM_LIST = 1011,
    IDC_ANIM_UP = 1012,
    IDC_ANIM_DOWN = 1013,
    IDC_ANIM_COPY = 1014,
    IDC_ANIM_REMOVE = 1015,
    IDC_ANIM_SECONDS = 1016,
    IDC_ANIM_FLIP = 1020,
    IDC_ANIM_DOWN10 = 1029,
    IDC_ANIM_UP10 = 1058,
    IDC_ANIM_ADD_MESH = 1181,
};

// Loads a LightWave object into a new template (its part named
// aTemplateName) in the state; the caller releases it. The LightWave
// template builder unless a test puts another loader here.
typedef bool (*PranvelTemplateLoader)(const char* aFileName, const char* aTemplateName, const char* aStateCode,
                                      QR_TemplateObject** aTemplate);
extern PranvelTemplateLoader ourPranvelTemplateLoader;

class CEditAnimationDlg
{
public:
    // The mesh and the animation record of its level anIndex.
    void SetMesh(int anIndex, QR_Mesh* aMesh);
    intptr_t DoModal(UI_Dialog* aParent);

    void ApplyList(UI_Dialog* aDialog);
    void OnUp(UI_Dialog* aDialog);
    void OnDown(UI_Dialog* aDialog);
    void OnUp10(UI_Dialog* aDialog);
    void OnDown10(UI_Dialog* aDialog);
    void OnCopy(UI_Dialog* aDialog);
    void OnRemove(UI_Dialog* aDialog);
    void OnFlip(UI_Dialog* aDialog);
    void AddMeshFrame(UI_Dialog* aDialog);
    // False when the dialog stays open.
    bool OnOK(UI_Dialog* aDialog);

    const std::vector<QR_MeshFrame>& GetDistinctFrames() const { return myFrames; }

    static const UI_DialogTemplate ourTemplate;

private:
    struct Line
    {
        std::string myText;
        intptr_t myData;
        bool mySelected;
    };
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnInitDialog(UI_Dialog* aDialog);
    // The distinct index of the frame starting at that vertex, or -1.
    int FindDistinct(uint32_t aFirstVertex) const;
    std::vector<Line> ReadLines(UI_Dialog* aDialog) const;
    void WriteLines(UI_Dialog* aDialog, const std::vector<Line>& aLines) const;
    // The selected positions, ascending, at most 256.
    std::vector<int> Selection(const std::vector<Line>& aLines) const;

    QR_Mesh* myMesh = nullptr;
    QR_MeshLod* myLod = nullptr;
    std::vector<QR_MeshFrame> myFrames; // the distinct frames, in vertex-buffer order
};

class CMeshDlg
{
public:
    struct Entry
    {
        QC_String myName;
        QR_Mesh* myMesh;
        QR_MeshLod* myLod; // the first level
    };

    void SetTemplate(QR_TemplateObject* aTemplate) { myTemplate = aTemplate; }
    intptr_t DoModal(UI_Dialog* aParent);

    void BuildMeshList();
    void RefreshControls(UI_Dialog* aDialog);
    void ApplyMeshSettings(UI_Dialog* aDialog);
    void OnToggleAnimation(UI_Dialog* aDialog);
    void OnEditAnimation(UI_Dialog* aDialog);
    void OnSelectMesh(UI_Dialog* aDialog);
    void OnSpecularColor(UI_Dialog* aDialog);

    const std::vector<Entry>& GetEntries() const { return myEntries; }
    const CColorButton& GetSpecularSwatch() const { return mySpecularSwatch; }

    static const UI_DialogTemplate ourTemplate;
    static const char* const ourShaderNames[6];

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnInitDialog(UI_Dialog* aDialog);
    // Texture-coordinate source i can be chosen for the mesh.
    bool IsUVEnabled(const QR_Mesh* aMesh, int anIndex) const;

    QR_TemplateObject* myTemplate = nullptr;
    std::vector<Entry> myEntries;
    int myCurrent = 0;
    CColorButton mySpecularSwatch;
};
