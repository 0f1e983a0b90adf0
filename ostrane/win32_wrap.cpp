// Control operations, message boxes and file dialogs of the archive tool over
// the user-interface layer.
#include "ostrane/win32_wrap.h"
#include "ostrane/resource.h"

#include "platform/os/os_file.h"
#include "platform/ui/ui_prompt.h"
#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

UI_Dialog* ourOstraneDialog = nullptr;

static UI_Dialog* locDialogWith(int anId)
{
    if (!UI_HasControl(ourOstraneDialog, anId))
        QC_ASSERT(0);
    return ourOstraneDialog;
}

void OstraneEnableItem(int anId, bool anEnableFlag)
{
    UI_EnableControl(locDialogWith(anId), anId, anEnableFlag);
}

void OstraneListReset(int anId)
{
    UI_ListReset(locDialogWith(anId), anId);
}

void OstraneListAdd(int anId, const char* aText)
{
    std::string locText(aText ? aText : "");
    if (locText.size() > 1023)
        locText.resize(1023);
    UI_ListAdd(locDialogWith(anId), anId, locText.c_str());
}

void OstraneListDelete(int anId, int anIndex)
{
    UI_ListDelete(locDialogWith(anId), anId, anIndex);
}

bool OstraneListFind(int anId, const char* aText)
{
    return UI_ListFindExact(locDialogWith(anId), anId, aText) >= 0;
}

bool OstraneListGetText(int anId, int anIndex, std::string* aText)
{
    return UI_ListGetText(locDialogWith(anId), anId, anIndex, aText);
}

int OstraneListGetCurSel(int anId)
{
    return UI_ListGetCurSel(locDialogWith(anId), anId);
}

int OstraneListGetSelItems(int anId, int* aBuffer, int aMaxNumSelections)
{
    QC_ASSERT(aMaxNumSelections > 0);
    int locNum = UI_ListGetSelItems(locDialogWith(anId), anId, aBuffer, aMaxNumSelections);
    return locNum < 0 ? 0 : locNum;
}

void OstraneMessageBox(const char* aCaption, const char* aText)
{
    UI_MessageBox(aCaption, aText, OS_MB_OK);
}

bool OstraneConfirm(const char* aCaption, const char* aText)
{
    return UI_MessageBox(aCaption, aText, OS_MB_OKCANCEL) == OS_ID_OK;
}

UI_Dialog* OstraneCreateDialog(int aTemplateId, UI_DialogProc aProc, UI_Dialog* aParent, int anIconId)
{
    const UI_DialogTemplate* locTemplate = OstraneFindDialogTemplate(aTemplateId);
    if (!locTemplate)
        return nullptr;
    UI_Dialog* locDialog = UI_CreateDialog(*locTemplate, aProc, aParent);
    if (!locDialog)
        return nullptr;
    UI_SetDialogIcon(locDialog, OstraneLoadIcon(anIconId));
    UI_ShowDialog(locDialog, true);
    return locDialog;
}

// The path as the system finds it: spelled as on disk where it does not exist
// as written, then with every link, "." and ".." resolved. A last part that does
// not exist (a file about to be saved) is kept as written. Empty when nothing
// of it can be found.
static std::string locResolvePath(const std::string& aPath)
{
    char locFound[PATH_MAX];
    if (aPath.empty() || !OS_ResolvePath(aPath.c_str(), locFound, sizeof(locFound)))
        return std::string();
    char locResolved[PATH_MAX];
    if (realpath(locFound, locResolved))
        return locResolved;
    if (errno != ENOENT)
        return std::string();
    std::string locPath = locFound;
    size_t locSlash = locPath.find_last_of('/');
    std::string locLeaf = locSlash == std::string::npos ? locPath : locPath.substr(locSlash + 1);
    if (locLeaf.empty() || locLeaf == "." || locLeaf == ".." || locSlash == std::string::npos)
        return std::string();
    std::string locParent = locResolvePath(locSlash == 0 ? std::string("/") : locPath.substr(0, locSlash));
    if (locParent.empty())
        return std::string();
    return (locParent == "/" ? locParent : locParent + "/") + locLeaf;
}

// The part of the resolved path below the resolved directory, found by the
// identity of the folders and not by their names, so that case counts only
// where the file system minds it. False when the path is not inside.
static bool locPathBelow(const std::string& aDirectory, const std::string& aPath, std::string* aRest)
{
    struct stat locDirectory;
    if (aDirectory.empty() || aPath.empty() || stat(aDirectory.c_str(), &locDirectory) != 0)
        return false;
    for (size_t locEnd = 0; locEnd <= aPath.size(); locEnd++)
    {
        if (locEnd < aPath.size() && aPath[locEnd] != '/')
            continue;
        struct stat locFolder;
        if (stat(locEnd ? aPath.substr(0, locEnd).c_str() : "/", &locFolder) != 0)
            return false;
        if (locFolder.st_dev == locDirectory.st_dev && locFolder.st_ino == locDirectory.st_ino)
        {
            *aRest = locEnd < aPath.size() ? aPath.substr(locEnd + 1) : std::string();
            return true;
        }
    }
    return false;
}

bool OstraneGetRelativePath(const std::string& aBaseDirectory, const std::string& aPath, std::string* aRelative)
{
    const std::string locBase = locResolvePath(aBaseDirectory);
    const std::string locPath = locResolvePath(aPath);
    std::string locRest;
    if (!locPathBelow(locBase, locPath, &locRest))
        return false;
    // A link is listed under its own name (as the disk spells it), found in its
    // resolved folder; what it points at must lie inside as well.
    char locFound[PATH_MAX];
    if (!OS_ResolvePath(aPath.c_str(), locFound, sizeof(locFound)))
        return false;
    std::string locGiven = locFound;
    while (locGiven.size() > 1 && locGiven.back() == '/')
        locGiven.pop_back();
    size_t locSlash = locGiven.find_last_of('/');
    std::string locLeaf = locSlash == std::string::npos ? locGiven : locGiven.substr(locSlash + 1);
    if (!locRest.empty() && !locLeaf.empty() && locLeaf != "." && locLeaf != ".." && locSlash != std::string::npos)
    {
        std::string locFolderRest;
        if (!locPathBelow(locBase, locResolvePath(locGiven.substr(0, locSlash ? locSlash : 1)), &locFolderRest))
            return false;
        locRest = locFolderRest.empty() ? locLeaf : locFolderRest + "/" + locLeaf;
    }
    *aRelative = locRest;
    return true;
}

// A chosen file the caller cannot take: the buffer emptied, the path and why in aRefusal.
static bool locRefuse(char* aBuffer, std::string* aRefusal, const std::string& aPath, const char* aReason)
{
    aBuffer[0] = 0;
    if (aRefusal)
        *aRefusal = aPath + ": " + aReason;
    return false;
}

static bool locFileDialog(int aKind, char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag,
                          std::string* aRefusal)
{
    if (aRefusal)
        aRefusal->clear();
    char locCurrent[4096];
    if (!OS_GetCurrentDirectory(locCurrent, sizeof(locCurrent)))
        locCurrent[0] = 0;

    UI_FileDialogRequest locRequest;
    locRequest.myKind = aKind;
    UI_FileFilter locFilter;
    locFilter.myText = aPattern;
    locFilter.myPattern = aPattern;
    for (char& locChar : locFilter.myPattern)
        locChar = (char) std::toupper((unsigned char) locChar);
    locRequest.myFilters.push_back(locFilter);
    locRequest.myInitialDirectory = locCurrent;
    locRequest.myInitialName = aBuffer;
    locRequest.myFlags = UI_FD_PATH_MUST_EXIST | UI_FD_HIDE_READONLY | UI_FD_LONG_NAMES;
    if (aKind == UI_FILEDIALOG_OPEN)
        locRequest.myFlags |= UI_FD_FILE_MUST_EXIST;
    else
        locRequest.myFlags |= UI_FD_OVERWRITE_PROMPT;

    UI_FileDialogResult locResult;
    bool locChosen = UI_FileDialog(locRequest, &locResult);
    if (locCurrent[0])
        OS_SetCurrentDirectory(locCurrent);
    if (!locChosen || locResult.myNames.empty())
        return false;

    std::string locPath = locResult.GetPath(0);
    std::string locRelative;
    if (OstraneGetRelativePath(locCurrent, locPath, &locRelative) && !locRelative.empty())
        locPath = locRelative;
    else if (aRelativeOnlyFlag)
        return locRefuse(aBuffer, aRefusal, locPath, "not inside the folder the program started in");
    // A path the buffer cannot hold whole is refused rather than cut.
    if (locPath.size() > 255)
        return locRefuse(aBuffer, aRefusal, locPath, "the path is longer than 255 characters");
    std::memcpy(aBuffer, locPath.c_str(), locPath.size() + 1);
    if (aKind == UI_FILEDIALOG_OPEN && !QF_File::Exists(aBuffer))
        return locRefuse(aBuffer, aRefusal, locPath, "No such file or directory");
    return true;
}

bool OstraneOpenFileDialog(char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag, std::string* aRefusal)
{
    return locFileDialog(UI_FILEDIALOG_OPEN, aBuffer, aPattern, aRelativeOnlyFlag, aRefusal);
}

bool OstraneSaveFileDialog(char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag)
{
    return locFileDialog(UI_FILEDIALOG_SAVE, aBuffer, aPattern, aRelativeOnlyFlag, nullptr);
}
