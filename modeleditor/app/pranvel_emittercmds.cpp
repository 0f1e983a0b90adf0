// The tree's particle-emitter commands.
#include "modeleditor/app/pranvel_emittercmds.h"

#include <cstring>

#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_view.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "platform/ui/ui_prompt.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_templateobject.h"

PranvelEmitterCommands::PranvelEmitterCommands(CPranvelView* aView, QRenderEditorTree* aTree, UI_Dialog* aParent)
    : myView(aView)
    , myTree(aTree)
    , myParent(aParent)
{
}

void PranvelEmitterCommands::EnableTimer(bool anOnFlag)
{
    if (myView)
        myView->EnableRenderTimer(anOnFlag);
}

void PranvelEmitterCommands::OnAddParticleEmitter(intptr_t aPartData, intptr_t aStateData)
{
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    const QR_TemplatePart* locPart = locScene ? locScene->GetPart((uint16_t)(aPartData >> 16)) : nullptr;
    uint32_t locState = (uint32_t)(aStateData >> 16);
    // The state's entry in the state file's codes (four bytes compared); none hands on "".
    QC_String locEntry;
    if (locPart && locState < locPart->myNumStates)
    {
        char locCode[5];
        StateIdToCode(locPart->myStates[locState].myId, locCode);
        // The render view's list, which the scene holds too.
        QC_GrowingArray<QC_String>* locCodes = myView ? myView->GetStateCodes() : locScene->myStateCodes;
        for (int i = 0; locCodes && i < locCodes->Count(); i++)
            if ((*locCodes)[i].GetLength() >= 4 && memcmp((*locCodes)[i].GetBuffer(), locCode, 4) == 0)
            {
                locEntry = (*locCodes)[i];
                break;
            }
    }
    CParticleEdDlg locEditor(this);
    locEditor.SetNewEmitterNames(locPart && locPart->myName ? locPart->myName : "", locEntry.GetBuffer());
    locEditor.DoModal(myParent);
}

void PranvelEmitterCommands::OnEditParticleEmitter(intptr_t anEmitterData)
{
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    const QR_TemplateObject* locTemplate = locScene ? locScene->GetTemplate() : nullptr;
    uint32_t locIndex = (uint32_t)(anEmitterData >> 16);
    if (!locTemplate || locIndex >= locTemplate->myNumLinks || !locTemplate->myLinks[locIndex].myDefinition)
        return;
    const char* locName = locTemplate->myLinks[locIndex].myDefinition->myName;
    CParticleEdDlg locEditor(this);
    locEditor.SetEmitterToEdit(locName ? locName : "");
    intptr_t locResult = locEditor.DoModal(myParent);
    if (locResult == UI_IDOK)
        EmitterChanged();
}

bool PranvelEmitterCommands::AddEmitter(const char* anEmitterName, const char* aPartName, const char* aStateCode)
{
    CommandHandler* locHandler = CommandHandler::Get();
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    EnableTimer(false);
    AddParticleEmittorCommand* locCommand = new AddParticleEmittorCommand;
    locCommand->myEmitterName = anEmitterName;
    locCommand->myStateCode = aStateCode;
    locCommand->myPartName = aPartName;
    bool locResult = locHandler && locHandler->Run(PRANVEL_COMMAND_VERSION, locCommand);
    if (!locResult)
    {
        UI_MessageBox(PRANVEL_CAPTION, "Could not add new particle emittor.", OS_MB_OK);
        delete locCommand;
    }
    if (locScene && locScene->IsModelLoaded() && myTree)
        locScene->RebuildTree(myTree);
    EnableTimer(true);
    return locResult;
}

void PranvelEmitterCommands::EmitterChanged()
{
    EnableTimer(false);
    if (QRenderEditor::ourInstance)
        QRenderEditor::ourInstance->ReloadParticleEmitters();
    EnableTimer(true);
}

void PranvelEmitterCommands::EditorMouseMove(unsigned aKeyState, int anX, int aY)
{
    if (myView)
        myView->OnMouseMove(aKeyState, anX, aY);
}
