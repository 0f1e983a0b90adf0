// The editor scene's side of the edit commands: what each command changes in
// the loaded model, installed as the commands' execute hook while the scene
// exists.
#pragma once

#include <stdint.h>

class QRECommand;

// Carries out aCommand on QRenderEditor::ourInstance; false (with the
// command's EditorError code) when it cannot.
bool QRE_ExecuteOnScene(QRECommand& aCommand, uint32_t aVersion);

// Points the command layer's hooks (execute, working directory, default
// surface) at the scene, or takes them away.
void QRE_InstallSceneHooks();
void QRE_RemoveSceneHooks();
