// Every modal question the programs ask (message boxes, file dialogs) goes
// through one prompt service. The default one shows Qt's dialogs; tests install
// a scripted one (ui_prompt_script.h) that answers without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Message boxes use the flags and results of platform/os (OS_MB_*, OS_ID_*).
#include "platform/os/os_ui.h"

enum UI_FileDialogKind
{
    UI_FILEDIALOG_OPEN = 0,
    UI_FILEDIALOG_SAVE = 1,
    UI_FILEDIALOG_OPEN_MULTI = 2,
};

enum UI_FileDialogFlags
{
    UI_FD_PATH_MUST_EXIST = 1 << 0,
    UI_FD_FILE_MUST_EXIST = 1 << 1,
    UI_FD_OVERWRITE_PROMPT = 1 << 2,
    UI_FD_HIDE_READONLY = 1 << 3,
    UI_FD_LONG_NAMES = 1 << 4,
    UI_FD_EXPLORER = 1 << 5,
};

// One entry of a file dialog's type list: the text shown and the patterns
// ("*.sdf;*.txt"). Patterns match without regard to case.
struct UI_FileFilter
{
    std::string myText;
    std::string myPattern;
};

struct UI_FileDialogRequest
{
    int myKind = UI_FILEDIALOG_OPEN;
    std::string myTitle;                // empty: "Open" or "Save As"
    std::vector<UI_FileFilter> myFilters; // empty: every file
    std::string myInitialDirectory;     // empty: the current directory
    std::string myInitialName;
    int myFlags = 0;                    // UI_FD_*
};

// The chosen files: an absolute directory without trailing '/' and the leaf
// names in it (one for the open and save dialogs).
struct UI_FileDialogResult
{
    std::string myDirectory;
    std::vector<std::string> myNames;

    std::string GetPath(size_t anIndex) const;
};

// The status line a folder chooser shows for the folder the user selects in it.
using UI_FolderStatusFn = std::function<std::string(const std::string& aFolder)>;

class UI_PromptService
{
public:
    virtual ~UI_PromptService() = default;
    // Returns the OS_ID_* of the button that closed the box.
    virtual int MessageBox(const char* aCaption, const char* aText, int aFlags) = 0;
    // False when the user cancelled.
    virtual bool FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult) = 0;
    // A colour as Windows holds it (COLORREF, 0x00BBGGRR), in and out; false
    // when cancelled (aColor kept). The base answers cancel.
    virtual bool ChooseColor(const char* aTitle, uint32_t* aColor);
    // A folder, absolute, in (where the choice starts) and out; aStatus is a
    // line of text shown with the choice, replaced by aStatusFn's line for
    // each folder the user selects when aStatusFn is set. False when
    // cancelled (aFolder kept). The base answers cancel.
    virtual bool ChooseFolder(const char* aTitle, const char* aStatus, std::string* aFolder,
                              const UI_FolderStatusFn& aStatusFn);
};

// Installs a service (not owned); null restores the default. Returns the previous one.
UI_PromptService* UI_SetPromptService(UI_PromptService* aService);
UI_PromptService* UI_GetPromptService();

// The default service: Qt's message boxes and (non-native) file dialogs while an
// interactive Qt application runs, else standard error and the default button
// (a file dialog: cancelled, or the file Q_UI_FILE=<path> names when set).
UI_PromptService* UI_GetDefaultPromptService();
// Makes the default service show its Qt dialogs on the offscreen platform too
// (tests that drive them with timers).
void UI_SetDefaultPromptsInteractive(bool anInteractiveFlag);

// From any thread: a worker's question is asked on the user-interface thread
// and the worker waits for the answer.
int UI_MessageBox(const char* aCaption, const char* aText, int aFlags);
bool UI_FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult);
bool UI_ChooseColor(const char* aTitle, uint32_t* aColor);
bool UI_ChooseFolder(const char* aTitle, const char* aStatus, std::string* aFolder,
                     const UI_FolderStatusFn& aStatusFn = {});

// The filters of an MFC filter string: "text|patterns|text|patterns||".
// An entry without patterns is dropped; parsing stops at the empty entry.
std::vector<UI_FileFilter> UI_ParseFilterString(const char* aFilterString);

// True when the name matches one of the ';'-separated wildcard patterns
// ('*' and '?'), without regard to case.
bool UI_MatchFilePattern(const char* aPatternList, const char* aName);
