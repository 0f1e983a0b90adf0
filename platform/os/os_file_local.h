// What the file layer shares with the save-file helper: the cached folder
// listings behind the search without regard to case.
#pragma once

#include <string>
#include <vector>

// The name in the folder open as aDirHandle that equals aName without regard to
// case (the smallest in byte order when several do).
bool OS_FindNoCaseAt(int aDirHandle, const char* aName, std::string* aFound);
// Tells the listings that this process added or removed aName in the folder,
// so they stay current without reading the folder again.
void OS_NoteNameAt(int aDirHandle, const char* aName, bool anAdded);
// The names of save-helper temporary files (".<name>.<pid>-<n>.tmp") in the folder.
void OS_TempNamesAt(int aDirHandle, std::vector<std::string>* aNames);
