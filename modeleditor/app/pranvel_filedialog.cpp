// The editor's file dialog over the prompt service, and the paths store.
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_scene.h"

#include "platform/os/os_file.h"
#include "platform/ui/ui_prompt.h"

#include <string>
#include <strings.h>

PathsFile* ourPathsFile = nullptr;

namespace
{
const char* const ourFilters[PATHS_NUM_KINDS] = {
    "Surfaces (*.sur)|*.sur|All Files (*.*)|*.*||",
    "Texture Files (*.dds, *.tga)|*.tga;*.dds|All Files (*.*)|*.*||",
    "PE Files (*.pe)|*.pe|All Files (*.*)|*.*||",
    "QRB Files (*.qrb)|*.qrb|All Files (*.*)|*.*||",
    "Pranvel Files (*.qre)|*.qre|All Files (*.*)|*.*||",
    "Lightwave models (*.lwo)|*.lwo||",
    "Known files (*.lws, *.lwo, *.qre)|*.lws;*.lwo;*.qre|Lightwave files (*.lws, *.lwo)|*.lws;*.lwo|Pranvel files "
    "(*.qre)|*.qre|All Files (*.*)|*.*||",
    "Lightwave scenes (*.lws)|*.lws||",
};

std::string locResolved(const std::string& aPath)
{
    std::string locResult(aPath.size() + 4096, '\0');
    if (!OS_ResolvePath(aPath.c_str(), &locResult[0], locResult.size()))
        return aPath;
    locResult.resize(strlen(locResult.c_str()));
    return locResult;
}

void locChangeToWorkDir(const QC_String& aWorkDir)
{
    if (!aWorkDir.IsEmpty())
        OS_SetCurrentDirectory(aWorkDir);
}
} // namespace

bool LoadPathsFile()
{
    if (!ourPathsFile)
    {
        ourPathsFile = new PathsFile;
        ourPathsFile->Load("pranvel_paths.txt");
    }
    return true;
}

void SavePathsFile()
{
    if (!ourPathsFile)
        return;
    // A paths file that cannot be written is silently not written.
    ourPathsFile->Save("pranvel_paths.txt");
    delete ourPathsFile;
    ourPathsFile = nullptr;
}

const char* GetFileKindFilter(int aKind)
{
    return aKind >= 0 && aKind < PATHS_NUM_KINDS ? ourFilters[aKind] : "";
}

bool IsWindows2000OrLater()
{
    return true;
}

bool OpenFileDialog(int aKind, PathsFile* aStore, bool anOpenFlag, QC_String* aPath, QC_String* aFileName)
{
    QC_String locWorkDir = PranvelScene::ourInstance ? PranvelScene::ourInstance->GetWorkDir() : QC_String();

    UI_FileDialogRequest locRequest;
    locRequest.myKind = anOpenFlag ? UI_FILEDIALOG_OPEN : UI_FILEDIALOG_SAVE;
    locRequest.myFlags = UI_FD_OVERWRITE_PROMPT | UI_FD_HIDE_READONLY;
    locRequest.myFilters = UI_ParseFilterString(GetFileKindFilter(aKind));
    if (aFileName && !aFileName->IsEmpty())
        locRequest.myInitialName = aFileName->GetBuffer();
    if (aStore && !aStore->Get(aKind).IsEmpty())
        locRequest.myInitialDirectory = locResolved(aStore->Get(aKind).GetBuffer());

    UI_FileDialogResult locResult;
    if (!UI_FileDialog(locRequest, &locResult) || locResult.myNames.empty())
    {
        *aPath = "";
        if (aFileName)
            *aFileName = "";
        locChangeToWorkDir(locWorkDir);
        return false;
    }

    std::string locPath = locResult.GetPath(0);
    for (char& locChar : locPath)
        if (locChar == '\\')
            locChar = '/';
    size_t locSlash = locPath.rfind('/');
    if (aFileName)
        *aFileName = locPath.c_str() + (locSlash == std::string::npos ? 0 : locSlash + 1);
    if (aStore)
        aStore->Set(aKind, locSlash == std::string::npos ? "" : locPath.substr(0, locSlash).c_str());
    locChangeToWorkDir(locWorkDir);

    // Paths are compared as they resolve on this machine (drive letters mapped,
    // case ignored), so that "X:\Data\a.lwo" lies within "x:/data/".
    if (!locWorkDir.IsEmpty())
    {
        std::string locBase = locResolved(locWorkDir.GetBuffer());
        while (locBase.size() > 1 && locBase.back() == '/')
            locBase.pop_back();
        std::string locFull = locResolved(locPath);
        if (locFull.size() > locBase.size() && strncasecmp(locFull.c_str(), locBase.c_str(), locBase.size()) == 0 &&
            (locFull[locBase.size()] == '/' || locBase == "/"))
            locPath = locFull.substr(locBase == "/" ? 1 : locBase.size() + 1);
        else
            UI_MessageBox(PRANVEL_CAPTION, "Warning: attempting to load data that isn't situated within the working dir.",
                          OS_MB_OK);
    }
    *aPath = locPath.c_str();
    return true;
}
