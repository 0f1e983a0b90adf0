// The Tools menu's dialogs as the main frame runs them.
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_meshdlg.h"
#include "modeleditor/app/pranvel_scenedlgs.h"

#include "modeleditor/qrendereditor.h"

namespace
{
void locRunOptions()
{
    COptionsDlg locDialog;
    locDialog.DoModal(nullptr);
}

bool locRunLightSetup(PranvelLightSetup* aValues)
{
    CPointLightDlg locDialog;
    if (locDialog.DoModal(nullptr) != UI_IDOK)
        return false;
    aValues->myDirection = locDialog.myDirection;
    aValues->myElevation = locDialog.myElevation;
    // OK left the components whole and within 0..255.
    aValues->myRed = uint8_t(locDialog.myDirColor[0]);
    aValues->myGreen = uint8_t(locDialog.myDirColor[1]);
    aValues->myBlue = uint8_t(locDialog.myDirColor[2]);
    aValues->myAmbientBGR = locDialog.GetAmbientBGR();
    return true;
}

UI_Dialog* locCreateColors()
{
    return PranvelGetColorsDialog()->Create(nullptr);
}

void locRunMeshEditor()
{
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    if (!locScene || !locScene->GetTemplate())
        return;
    CMeshDlg locDialog;
    locDialog.SetTemplate(locScene->GetTemplate());
    locDialog.DoModal(nullptr);
}
} // namespace

void PranvelInstallDialogs()
{
    ourPranvelDialogs.myRunOptions = locRunOptions;
    ourPranvelDialogs.myRunLightSetup = locRunLightSetup;
    ourPranvelDialogs.myCreateColors = locCreateColors;
    ourPranvelDialogs.myRunMeshEditor = locRunMeshEditor;
}
