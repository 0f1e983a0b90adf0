// Control operations, message boxes and file dialogs of the archive tool over
// the user-interface layer.
#include "ostrane/win32_wrap.h"
#include "ostrane/resource.h"

#include "platform/os/os_file.h"
#include "platform/ui/ui_prompt.h"
#include "qcommon/qc_assert.h"
#include "qfile/qf_file.h"

#include <cctype>
#include <cstring>
#include <strings.h>

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

bool OstraneGetRelativePath(const std::string& aBaseDirectory, const std::string& aPath, std::string* aRelative)
{
    std::string locBase = aBaseDirectory;
    while (locBase.size() > 1 && (locBase.back() == '/' || locBase.back() == '\\'))
        locBase.pop_back();
    if (aPath.size() < locBase.size() || strncasecmp(aPath.c_str(), locBase.c_str(), locBase.size()) != 0)
        return false;
    if (aPath.size() == locBase.size())
    {
        aRelative->clear();
        return true;
    }
    bool locBaseEndsInSeparator = !locBase.empty() && (locBase.back() == '/' || locBase.back() == '\\');
    if (locBaseEndsInSeparator)
    {
        *aRelative = aPath.substr(locBase.size());
        return true;
    }
    char locNext = aPath[locBase.size()];
    if (locNext != '/' && locNext != '\\')
        return false;
    *aRelative = aPath.substr(locBase.size() + 1);
    return true;
}

static bool locFileDialog(int aKind, char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag)
{
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
    {
        aBuffer[0] = 0;
        return false;
    }
    // A path the buffer cannot hold whole is refused rather than cut.
    if (locPath.size() > 255)
    {
        aBuffer[0] = 0;
        return false;
    }
    std::memcpy(aBuffer, locPath.c_str(), locPath.size() + 1);
    if (aKind == UI_FILEDIALOG_OPEN && !QF_File::Exists(aBuffer))
        return false;
    return true;
}

bool OstraneOpenFileDialog(char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag)
{
    return locFileDialog(UI_FILEDIALOG_OPEN, aBuffer, aPattern, aRelativeOnlyFlag);
}

bool OstraneSaveFileDialog(char* aBuffer, const char* aPattern, bool aRelativeOnlyFlag)
{
    return locFileDialog(UI_FILEDIALOG_SAVE, aBuffer, aPattern, aRelativeOnlyFlag);
}
