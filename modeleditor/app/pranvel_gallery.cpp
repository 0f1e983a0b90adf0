// Gallery mode (Q_UI_GALLERY): the main window and every dialog the editor
// can show, each opened by its command on the model of the command line (the
// sample's tower.qre), shot and cancelled. File choosers on the way are
// answered with the sample's own files.
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_leftview.h"
#include "modeleditor/app/pranvel_meshdlg.h"
#include "modeleditor/app/pranvel_modeldlgs.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_scenedlgs.h"
#include "modeleditor/app/pranvel_statedlg.h"
#include "modeleditor/qrendereditor.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_gallery.h"
#include "platform/ui/ui_prompt_script.h"
#include "qrender/qr_light.h"

#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

namespace
{
int ourMissing = 0;

// Runs the opener with the next modal dialog shot under the name; a dialog
// that did not open is counted.
void locShootModal(const char* aName, const std::function<void()>& anOpener)
{
    if (!UI_GalleryShootModal(aName, anOpener))
        ourMissing++;
}

// The tree items of the kind (the model item for QRE_TREE_ROOT), depth first.
void locFindKind(UI_Dialog* aPane, UI_TreeItem aParent, int aKind, std::vector<UI_TreeItem>* anItems)
{
    for (UI_TreeItem i = UI_TreeGetRelated(aPane, IDC_MODEL_TREE, aParent, UI_TREE_CHILD); i;
         i = UI_TreeGetRelated(aPane, IDC_MODEL_TREE, i, UI_TREE_NEXT))
    {
        bool locModel = aParent == UI_TREE_ROOT;
        if (locModel ? aKind == QRE_TREE_ROOT
                     : CLeftView::ItemKind(UI_TreeGetData(aPane, IDC_MODEL_TREE, i)) == aKind)
            anItems->push_back(i);
        locFindKind(aPane, i, aKind, anItems);
    }
}

UI_TreeItem locFirstOfKind(UI_Dialog* aPane, int aKind)
{
    std::vector<UI_TreeItem> locItems;
    locFindKind(aPane, UI_TREE_ROOT, aKind, &locItems);
    return locItems.empty() ? 0 : locItems.front();
}

// Selects the items of the kind in turn and runs the command on each, as
// their context menu does, until it opens its dialog.
void locTreeCommand(CMainFrame* aMainFrame, UI_Dialog* aPane, int aKind, int aCommand, const char* aName)
{
    locShootModal(aName, [&]() {
        std::vector<UI_TreeItem> locItems;
        locFindKind(aPane, UI_TREE_ROOT, aKind, &locItems);
        size_t locBefore = UI_GalleryShots().size();
        for (UI_TreeItem locItem : locItems)
        {
            UI_TreeSelect(aPane, IDC_MODEL_TREE, locItem);
            aMainFrame->GetLeftView()->OnCommand(aMainFrame->GetFrame(), aCommand);
            if (UI_GalleryShots().size() != locBefore)
                break;
        }
    });
}

// A modeless dialog shown by its command, shot, and hidden again by it.
void locShootToggled(UI_Frame* aFrame, int aCommand, UI_Dialog* (*aFind)(CMainFrame*), CMainFrame* aMainFrame,
                     const char* aName)
{
    UI_FrameDoCommand(aFrame, aCommand);
    UI_Dialog* locShown = aFind(aMainFrame);
    if (!locShown || !UI_IsDialogVisible(locShown) || !UI_GalleryShootDialog(locShown, aName))
    {
        fprintf(stderr, "gallery: %s did not open\n", aName);
        ourMissing++;
    }
    UI_FrameDoCommand(aFrame, aCommand);
}
} // namespace

int PranvelGallery(CMainFrame* aMainFrame)
{
    UI_Frame* locFrame = aMainFrame ? aMainFrame->GetFrame() : nullptr;
    UI_Dialog* locPane = aMainFrame ? aMainFrame->GetTreePane() : nullptr;
    if (!locFrame || !locPane)
        return 1;
    UI_ScriptedPrompts locPrompts;
    UI_PromptService* locOldPrompts = UI_SetPromptService(&locPrompts);
    char locFolder[4096];
    std::string locHere = getcwd(locFolder, sizeof(locFolder)) ? locFolder : ".";

    UI_TreeExpand(locPane, IDC_MODEL_TREE, locFirstOfKind(locPane, QRE_TREE_ROOT), true);
    UI_GalleryShootFrame(locFrame, "pranvel-main");

    // The model tree's commands before the tools: Batch Conversion empties the tree.
    locTreeCommand(aMainFrame, locPane, QRE_TREE_ROOT, ID_TREE_EDIT_OBJECT, "pranvel-edit-object");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_ROOT, ID_TREE_VIEW_STATS, "pranvel-object-statistics");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_ROOT, ID_TREE_ADD_NULL, "pranvel-add-null");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_PART, ID_TREE_EDIT_BONE, "pranvel-edit-bone");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_PART, ID_TREE_EDIT_SURFACE, "pranvel-setup-surface");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_PART, ID_TREE_PART_ADD_STATE, "pranvel-state-name");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_STATE, ID_TREE_EDIT_STATE, "pranvel-edit-bone-state");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_STATE, ID_TREE_EDIT_POSITION, "pranvel-edit-position");
    locShootModal("pranvel-add-state-partial", [&]() {
        locPrompts.AnswerFile(locHere + "/tower.qrb");
        UI_TreeSelect(locPane, IDC_MODEL_TREE, locFirstOfKind(locPane, QRE_TREE_ROOT));
        aMainFrame->GetLeftView()->OnCommand(locFrame, ID_TREE_ADD_STATE_PARTIAL);
    });
    locTreeCommand(aMainFrame, locPane, QRE_TREE_STATE, ID_TREE_ADD_EMITTER, "pranvel-particle-editor");
    // The sample has no light: the dialog over a new one, as a scene's light shows.
    locShootModal("pranvel-light-properties", [&]() {
        QR_Light locLight;
        CEditLightPropertiesDlg locDialog(&locLight, "INTERNAL_ALPHA");
        locDialog.DoModal(nullptr);
    });

    locShootModal("pranvel-about", [&]() { UI_FrameDoCommand(locFrame, UI_ID_APP_ABOUT); });
    locShootModal("pranvel-options", [&]() { UI_FrameDoCommand(locFrame, ID_TOOLS_OPTIONS); });
    locShootModal("pranvel-setup-light", [&]() { UI_FrameDoCommand(locFrame, ID_TOOLS_SETUP_LIGHT); });
    locShootModal("pranvel-mesh-properties", [&]() { UI_FrameDoCommand(locFrame, ID_TOOLS_MESH_EDITOR); });
    locShootModal("pranvel-batch-conversion", [&]() { UI_FrameDoCommand(locFrame, ID_TOOLS_BATCH_CONVERSION); });
    locShootModal("pranvel-lws-errors", [&]() {
        locPrompts.AnswerFile(locHere + "/lightwave/tower.lws");
        UI_FrameDoCommand(locFrame, ID_TOOLS_CHECK_LWS);
    });

    // The animation of a mesh made animated in Mesh properties, by its button
    // there; last, as it changes the mesh.
    locShootModal("pranvel-edit-animation", [&]() {
        UI_SetModalHook([](UI_Dialog* aDialog) {
            UI_SetModalHook(nullptr);
            UI_GalleryShootNextModal("pranvel-edit-animation");
            if (!UI_IsButtonChecked(aDialog, IDC_MESH_ANIMATED))
                UI_ClickButton(aDialog, IDC_MESH_ANIMATED);
            UI_ClickButton(aDialog, IDC_MESH_EDIT_ANIMATION);
            UI_EndDialog(aDialog, UI_IDCANCEL);
        });
        UI_FrameDoCommand(locFrame, ID_TOOLS_MESH_EDITOR);
    });

    locShootToggled(
        locFrame, ID_TOOLS_COLORS,
        [](CMainFrame*) { return PranvelGetColorsDialog() ? PranvelGetColorsDialog()->GetDialog() : nullptr; },
        aMainFrame, "pranvel-colors");
    locShootToggled(
        locFrame, ID_MODEL_SET_ACTIVE_STATE, [](CMainFrame* f) { return f->GetStateDialog()->GetDialog(); },
        aMainFrame, "pranvel-set-active-state");

    UI_SetPromptService(locOldPrompts);
    return ourMissing == 0 ? 0 : 1;
}
