// What the file layer shares with the save-file helper: the cached folder
// listings behind the search without regard to case, and the per-user folder.
#pragma once

#include <string>
#include <vector>

// The name in the folder open as aDirHandle that equals aName without regard to
// case (the smallest in byte order when several do).
bool OS_FindNoCaseAt(int aDirHandle, const char* aName, std::string* aFound);
// Tells the listings that this process added or removed aName in the folder,
// so they stay current without reading the folder again.
void OS_NoteNameAt(int aDirHandle, const char* aName, bool anAdded);
// The per-user data folder of a program as OS_GetUserDataFolder names it,
// without making it; false when no home is known or the name is not one.
bool OS_UserDataPath(const char* aProgram, std::string* aFolder);
// The names of save-helper temporary files (".<name>.<pid>-<n>.tmp") in the folder.
void OS_TempNamesAt(int aDirHandle, std::vector<std::string>* aNames);
