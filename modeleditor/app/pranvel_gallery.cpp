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

#include <cstdio>
#include <string>
#include <unistd.h>

namespace
{
int ourMissing = 0;

template <class Opener> void locShootModal(const char* aName, Opener anOpener)
{
    size_t locBefore = UI_GalleryShots().size();
    UI_GalleryShootNextModal(aName);
    anOpener();
    if (UI_GalleryShots().size() == locBefore)
    {
        UI_SetModalHook(nullptr);
        fprintf(stderr, "gallery: %s did not open\n", aName);
        ourMissing++;
    }
}

// The first tree item of the kind, depth first; 0 when none.
UI_TreeItem locFindKind(UI_Dialog* aPane, UI_TreeItem aParent, int aKind)
{
    for (UI_TreeItem i = UI_TreeGetRelated(aPane, IDC_MODEL_TREE, aParent, UI_TREE_CHILD); i;
         i = UI_TreeGetRelated(aPane, IDC_MODEL_TREE, i, UI_TREE_NEXT))
    {
        if (aParent != UI_TREE_ROOT && CLeftView::ItemKind(UI_TreeGetData(aPane, IDC_MODEL_TREE, i)) == aKind)
            return i;
        if (aParent == UI_TREE_ROOT && aKind == QRE_TREE_ROOT)
            return i;
        if (UI_TreeItem locFound = locFindKind(aPane, i, aKind))
            return locFound;
    }
    return 0;
}

// Selects the first item of the kind and runs the command on it, as its
// context menu does.
void locTreeCommand(CMainFrame* aMainFrame, UI_Dialog* aPane, int aKind, int aCommand, const char* aName)
{
    locShootModal(aName, [&]() {
        UI_TreeItem locItem = locFindKind(aPane, UI_TREE_ROOT, aKind);
        if (!locItem)
            return;
        UI_TreeSelect(aPane, IDC_MODEL_TREE, locItem);
        aMainFrame->GetLeftView()->OnCommand(aMainFrame->GetFrame(), aCommand);
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

    UI_TreeItem locRoot = locFindKind(locPane, UI_TREE_ROOT, QRE_TREE_ROOT);
    UI_TreeExpand(locPane, IDC_MODEL_TREE, locRoot, true);
    UI_GalleryShootFrame(locFrame, "pranvel-main");

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
        UI_TreeSelect(locPane, IDC_MODEL_TREE, locFindKind(locPane, UI_TREE_ROOT, QRE_TREE_ROOT));
        aMainFrame->GetLeftView()->OnCommand(locFrame, ID_TREE_ADD_STATE_PARTIAL);
    });
    locTreeCommand(aMainFrame, locPane, QRE_TREE_STATE, ID_TREE_ADD_EMITTER, "pranvel-particle-editor");
    locTreeCommand(aMainFrame, locPane, QRE_TREE_LIGHT, ID_TREE_EDIT_LIGHT, "pranvel-light-properties");
    locShootModal("pranvel-edit-animation", [&]() {
        CEditAnimationDlg locDialog;
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
