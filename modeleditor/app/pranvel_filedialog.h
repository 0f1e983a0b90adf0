// Every file chooser of the editor: OpenFileDialog opens the kind's filter in
// the directory last used for that kind and returns the chosen path relative
// to the working directory. The remembered directories live in one PathsFile.
#pragma once

#include "modeleditor/pathsfile.h"
#include "qcommon/qc_string.h"

// The store the render view loads at creation and saves at destruction.
extern PathsFile* ourPathsFile;

// Creates and loads the store when there is none ("pranvel_paths.txt" in the
// current directory); always true.
bool LoadPathsFile();
// Saves, destroys and clears the store when there is one.
void SavePathsFile();

// The MFC filter string of a file kind ("" outside 0..7).
const char* GetFileKindFilter(int aKind);

// True when the user chose a file: aPath is then relative to the working
// directory (or full, after a warning, when outside it) and aFileName the
// chosen name, both with '/'; the kind's directory is remembered. Cancel
// empties both. aFileName's text on entry is the proposed name.
bool OpenFileDialog(int aKind, PathsFile* aStore, bool anOpenFlag, QC_String* aPath, QC_String* aFileName);

// Every system this runs on is newer than Windows 2000.
bool IsWindows2000OrLater();
