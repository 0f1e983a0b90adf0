// Gallery mode (Q_UI_GALLERY): the main window and every dialog the program
// can show, each opened as the program opens it on the data of the working
// folder (the sample's Velk set: level.velk, menu.velk), shot and cancelled.
#include "korrinth/korrinth.h"

#include "owncode/appfacade.h"
#include "owncode/dlg_edit.h"
#include "owncode/dlg_filter.h"
#include "owncode/dlg_instance.h"
#include "owncode/dlg_treebrowser.h"
#include "owncode/dlg_type.h"
#include "owncode/velktree.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_gallery.h"
#include "platform/ui/ui_qt.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

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

// The member's value dialog, opened as a double click in the tree opens it.
void locShootEdit(AppFacade* aFacade, VelkType* anObject, const char* aMember, const char* aName)
{
    VelkType* locMember = anObject ? anObject->FindMember(aMember) : nullptr;
    locShootModal(aName, [&]() {
        if (locMember)
            aFacade->GetTree()->EditObject(locMember, aFacade->GetNameSpace(), aFacade->GetTypeManager());
    });
}
} // namespace

int Korrinth_Gallery(UI_Frame* aFrame)
{
    AppFacade* locFacade = AppFacade::Get();
    if (!aFrame || !locFacade)
        return 1;
    VelkNameSpace& locNameSpace = locFacade->GetNameSpace();
    VelkTypeManager& locTypes = locFacade->GetTypeManager();
    // The window of a 1024 x 768 screen.
    QWidget* locWindow = UI_GetFrameWidget(aFrame);
    locWindow->showNormal();
    locWindow->resize(1024, 768);
    QApplication::processEvents();
    UI_GalleryShootFrame(aFrame, "korrinth-main");

    locShootModal("korrinth-about", [&]() { UI_FrameDoCommand(aFrame, UI_ID_APP_ABOUT); });
    locShootModal("korrinth-new-instance", [&]() { UI_FrameDoCommand(aFrame, ID_INSTANCE_NEW); });
    locShootModal("korrinth-new-type", [&]() { UI_FrameDoCommand(aFrame, ID_TYPE_NEW); });
    locShootModal("korrinth-view-types", [&]() { UI_FrameDoCommand(aFrame, ID_TYPE_VIEW); });
    locShootModal("korrinth-view-velk", [&]() { UI_FrameDoCommand(aFrame, ID_VIEW_VELK); });

    VelkType* locTank = locNameSpace.GetInstance("tank", false);
    locShootEdit(locFacade, locTank, "title", "korrinth-edit-free");
    locShootEdit(locFacade, locTank, "colour", "korrinth-edit-type");
    locShootEdit(locFacade, locTank, "next", "korrinth-edit-ref");
    locShootEdit(locFacade, locTank, "sound", "korrinth-edit-file");
    locShootEdit(locFacade, locTank, "script", "korrinth-edit-script-class");
    locShootModal("korrinth-add-script-content", [&]() {
        CDlgAddScriptClassContent locDialog;
        VelkType* locScript = locTank ? locTank->FindMember("script") : nullptr;
        if (locScript)
            locScript->GetLegalValues(locDialog.myTypes);
        locDialog.DoModal();
    });
    if (locTank)
    {
        locFacade->GetTree()->SelectObject(locTank);
        locShootModal("korrinth-rename-instance", [&]() { locFacade->TreeRename(); });
        locFacade->TreeCopy();
        // Pasted at the top level: nothing selected.
        UI_TreeSelect(UI_FrameGetPane(aFrame), IDC_LEFT_TREE, 0);
        locShootModal("korrinth-copy-instance", [&]() { locFacade->TreePaste(); });
    }
    locShootModal("korrinth-ignore-instance", [&]() {
        CDlgIgnoreTypeInstance locDialog;
        locDialog.myTypeName = "Vehicle";
        locDialog.myInstanceName = "truck";
        locDialog.DoModal();
    });
    locShootModal("korrinth-ignore-member", [&]() {
        CDlgIgnoreTypeMember locDialog;
        locDialog.myTypeName = "Unit";
        locDialog.myMemberName = "armour";
        locDialog.DoModal();
    });
    VelkType* locUnit = locTypes.GetType("Unit");
    VelkTypeFilterManager::Type* locRecord = locFacade->GetTypeVis().GetFilterManager().GetType("Unit");
    if (locRecord && !locRecord->FindFilter("looks"))
        locRecord->AddFilter("looks")->AddMember("colour");
    locShootModal("korrinth-filter-list", [&]() {
        CDlgFilterList locDialog(locRecord, locUnit);
        locDialog.DoModal();
    });
    locShootModal("korrinth-filter-type", [&]() {
        CDlgFilterType locDialog(locUnit, locRecord ? locRecord->FindFilter("looks") : nullptr);
        locDialog.DoModal();
    });
    locShootModal("korrinth-new-filter", [&]() {
        CDlgNewFilter locDialog;
        locDialog.DoModal();
    });
    locShootModal("korrinth-browse", [&]() {
        CDlgTreeBrowser locDialog(locFacade->GetBaseDirectory(), "wav");
        locDialog.DoModal();
    });

    // The GUI layout editor over the menu's screen, and its constrained fields.
    if (locFacade->OpenFile("menu.velk"))
    {
        VelkType* locMenu = locNameSpace.GetInstance("menu", false);
        locFacade->GetTree()->SelectObject(locMenu);
        locFacade->SelectInstance(locMenu);
        UI_GalleryShootFrame(aFrame, "korrinth-gui-editor");
        VelkType* locWidgets = locMenu ? locMenu->FindMember("myWidgets") : nullptr;
        locShootEdit(locFacade, locWidgets ? locWidgets->FindMember("title") : nullptr, "myFont",
                     "korrinth-edit-constrained");
    }
    else
    {
        fprintf(stderr, "gallery: menu.velk does not open\n");
        ourMissing++;
    }
    // The skin editor over the sample's skin, and the table of its fonts.
    if (locFacade->OpenFile("skins/main.velk"))
    {
        const char* const locShots[][2] = {{"mySkinFile.mySkins.red", "korrinth-skin-editor"},
                                           {"mySkinFile.mySkins.red.myFonts", "korrinth-sheet-editor"}};
        for (const auto& locShot : locShots)
        {
            VelkType* locObject = locNameSpace.GetInstance(locShot[0], false);
            locFacade->GetTree()->SelectObject(locObject);
            locFacade->SelectInstance(locObject);
            if (!locObject || !locFacade->GetEditor())
            {
                fprintf(stderr, "gallery: %s has no editor\n", locShot[1]);
                ourMissing++;
            }
            UI_GalleryShootFrame(aFrame, locShot[1]);
        }
    }
    else
    {
        fprintf(stderr, "gallery: skins/main.velk does not open\n");
        ourMissing++;
    }
    return ourMissing == 0 ? 0 : 1;
}
