// Control operations on the archive tool's main dialog, its message boxes and
// file dialogs. Every control is given by its id; a missing one is an
// assertion failure.
#pragma once

#include <string>

#include "platform/ui/ui_dialog.h"

// The main dialog; every message to it stores its handle here.
extern UI_Dialog* ourOstraneDialog;

void OstraneEnableItem(int anId, bool anEnableFlag);
void OstraneListReset(int anId);
// At most 1,023 characters of the text are kept.
void OstraneListAdd(int anId, const char* aText);
void OstraneListDelete(int anId, int anIndex);
bool OstraneListFind(int anId, const char* aText);
bool OstraneListGetText(int anId, int anIndex, std::string* aText);
int OstraneListGetCurSel(int anId);
int OstraneListGetSelItems(int anId, int* aBuffer, int aMaxNumSelections);

void OstraneMessageBox(const char* aCaption, const char* aText);
// True for OK.
bool OstraneConfirm(const char* aCaption, const char* aText);

// Creates the modeless dialog from the program's resources, sets the icon as
// its big and small icon, shows it and returns it.
UI_Dialog* OstraneCreateDialog(int aTemplateId, UI_DialogProc aProc, UI_Dialog* aParent, int anIconId);

// The file dialogs start in the current directory and restore it afterwards.
// The buffer (256 characters) receives the chosen path relative to the current
// directory; with aRelativeOnlyFlag a path outside it empties the buffer and
// gives false. A chosen file refused so puts its path and the reason into aRefusal
// (emptied otherwise, a cancel included).
bool OstraneOpenFileDialog(char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag,
                           std::string* aRefusal = nullptr);
bool OstraneSaveFileDialog(char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag);

// When aPath lies in aBaseDirectory stores the rest in aRelative and returns
// true. Both are resolved first (spelled as on disk where they do not exist as
// written, links, "." and ".." followed) and compared as folders, so case counts
// where the file system minds it. A link keeps its own name but must point
// inside too. The directory itself gives true with an empty rest.
bool OstraneGetRelativePath(const std::string& aBaseDirectory, const std::string& aPath, std::string* aRelative);
