// "Setup surface": the surface file of one model part's mesh and the
// textures of its slots, each choice a recorded command (SELECTSURFACE on OK,
// CHANGETEXTURE at once).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_string.h"

class QR_Surface;
class QR_TemplateObject;

enum PranvelSurfaceDialogId
{
    IDD_SETUP_SURFACE = 198,
    IDC_SURF_FILE = 1182,
    IDC_SURF_CHANGE_TEXTURE = 1183,
    IDC_SURF_EDIT = 1184,
    IDC_SURF_TEXTURES = 1185,
    IDC_SURF_ALPHA_REF = 1186,
    IDC_SURF_FPS = 1195,
};

class CSelectSurfDlg
{
public:
    ~CSelectSurfDlg();
    // The model and the mesh slot (the low 16 bits index the part). False
    // when the slot names no part with a mesh surface.
    bool SetSlot(QR_TemplateObject* aTemplate, uint32_t aSlot);
    intptr_t DoModal(UI_Dialog* aParent);

    void FillSurfaceControls(UI_Dialog* aDialog);
    void OnSurfaceChosen(UI_Dialog* aDialog);
    void OnChangeTexture(UI_Dialog* aDialog);
    void OnApplySurface(UI_Dialog* aDialog);

    const QC_String& GetSurfaceName() const { return mySurfaceName; }
    int GetAlphaRef() const { return myAlphaRef; }

    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnAlphaRefChanged(UI_Dialog* aDialog);
    // The chosen surface, held while the dialog shows it.
    void HoldSurface(const char* aName);

    QR_TemplateObject* myTemplate = nullptr;
    uint32_t mySlot = 0;
    QC_String mySurfaceName;
    QR_Surface* mySurface = nullptr; // one reference
    int myAlphaRef = 0;
    std::vector<std::string> myFiles; // the ".sur" files listed after the two defaults
};

// The tree's "Edit Surface..." on part aPartIndex: the dialog for the part's
// mesh surface; true when the user pressed OK (the caller then rebuilds the
// tree inside the render-timer bracket). False, showing nothing, when the
// part has no mesh surface.
bool PranvelEditSurface(uint32_t aPartIndex, UI_Dialog* aParent);

class CPranvelView;
class QRenderEditorTree;
// The whole "Edit Surface..." of the tree for the selected part: the dialog,
// and on OK the tree rebuilt with the render timer stopped meanwhile.
void PranvelTreeEditSurface(CPranvelView* aView, QRenderEditorTree* aTree, uint32_t aPartIndex, UI_Dialog* aParent);
