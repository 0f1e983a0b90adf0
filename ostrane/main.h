// The archive tool: one modeless dialog that builds, lists, extends and
// extracts SDF archives of files below the start directory.
#pragma once

#include <string>

#include "platform/ui/ui_dialog.h"

struct QF_SDFArchive;
struct QF_SDFEditProgress;

// The program: start-up, the message loop until the quit message; returns 0.
int OstraneMain(const char* aCommandLine);
// Start-up alone (rounding mode, start directory, dialog, the command line's
// archive); false when that archive failed to load (the quit message is posted).
bool OstraneStart(const char* aCommandLine);
// The message loop with its idle check of the rounding mode.
void OstraneRunLoop();
// Destroys the dialog and forgets the program state (tests start again).
void OstraneShutdown();

intptr_t OstraneDlgProc(UI_Dialog* aDialog, const UI_Message& aMessage);

void OstraneSetTitle(const char* aName);
void OstraneNewSdf();
void OstraneAddListFile(const char* aPath);
void OstraneListSdfDir(QF_SDFArchive* anArchive, const char* aPath);
bool OstraneLoadSdf(const char* aPath);
void OstraneAddPath(const char* aRelativePath);
bool OstraneAddDirectory(const char* aRelativeDirectory);
bool OstraneSetProgressTitle(QF_SDFEditProgress* aProgress);

// Program state, readable by tests.
const std::string& OstraneGetSdfName();
bool OstraneGetChangedFlag();
