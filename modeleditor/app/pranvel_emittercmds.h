// The model tree's particle-emitter commands, which the tree view routes here: 102 "Add
// particle Emittor..." on a state item and 172 "Edit Particle Emittor..." on an emitter
// item, and the particle editor's add-emitter and emitter-changed operations. Over the
// editor scene (QRenderEditor::ourInstance) and the command handler (CommandHandler::Get()).
#pragma once

#include <cstdint>

#include "modeleditor/app/pranvel_particleeddlg.h"

class CPranvelView;
class QRenderEditorTree;

// The command version the tree's edit commands run with.
constexpr uint32_t PRANVEL_COMMAND_VERSION = 7;

class PranvelEmitterCommands : public ParticleEditorOwner
{
public:
    // aView: the render view (render timer, state codes, camera), may be null; aTree: the
    // tree the scene rebuilds; aParent: the window the editor runs over.
    PranvelEmitterCommands(CPranvelView* aView, QRenderEditorTree* aTree, UI_Dialog* aParent);

    // 102: a new emitter on the part and state of the selected state item (item data as
    // the tree holds them: index << 16 | kind).
    void OnAddParticleEmitter(intptr_t aPartData, intptr_t aStateData);
    // 172: the emitter of the selected emitter item; the scene reloads its emitters after
    // every Apply and once more when the editor closes with OK.
    void OnEditParticleEmitter(intptr_t anEmitterData);

    // Runs ADDPARTICLEEMITTOR through the command handler ("Could not add new particle
    // emittor." on failure) and rebuilds the tree while a model is loaded.
    bool AddEmitter(const char* anEmitterName, const char* aPartName, const char* aStateCode) override;
    // Timer off, the scene's emitters reloaded, timer on; nothing recorded.
    void EmitterChanged() override;
    void EditorMouseMove(unsigned aKeyState, int anX, int aY) override;

private:
    void EnableTimer(bool anOnFlag);

    CPranvelView* myView;
    QRenderEditorTree* myTree;
    UI_Dialog* myParent;
};
