// Message boxes and the clipboard as the libraries see them. A user-interface
// layer fills the hooks; without one, boxes go to standard error and answer
// their default button. Tests install scripted answers through the same hooks.
#pragma once

// Buttons and icons of a message box (flag values, combinable).
enum OS_MessageBoxFlags
{
    OS_MB_OK = 0,
    OS_MB_OKCANCEL = 1 << 0,
    OS_MB_YESNO = 1 << 1,
    OS_MB_YESNOCANCEL = 1 << 2,
    OS_MB_ICONERROR = 1 << 4,
    OS_MB_ICONWARNING = 1 << 5,
    OS_MB_ICONINFO = 1 << 6,
    OS_MB_TOPMOST = 1 << 7,
};

// The button that closed a message box.
enum OS_MessageBoxResult
{
    OS_ID_OK = 1,
    OS_ID_CANCEL = 2,
    OS_ID_YES = 6,
    OS_ID_NO = 7,
};

typedef int (*OS_MessageBoxHook)(const char* aText, const char* aCaption, int aFlags);
typedef bool (*OS_ClipboardHook)(const char* aText);
// Puts the desktop back before a fatal error is shown: display mode, the active
// window moved to the bottom and hidden, the cursor clip released.
typedef void (*OS_RestoreDisplayHook)();

// Shows a message box with no owner window; returns the OS_ID_* of the button.
int OS_MessageBox(const char* aText, const char* aCaption, int aFlags);
// Puts text on the clipboard; false when no clipboard is reachable.
bool OS_SetClipboardText(const char* aText);

// Runs the restore-display hook; nothing happens without a user interface.
void OS_RestoreDisplay();

// A null hook restores the standard-error fallback. Returns the previous hook.
OS_MessageBoxHook OS_SetMessageBoxHook(OS_MessageBoxHook aHook);
OS_ClipboardHook OS_SetClipboardHook(OS_ClipboardHook aHook);
OS_RestoreDisplayHook OS_SetRestoreDisplayHook(OS_RestoreDisplayHook aHook);

// The answer a box gives without a user interface: OK, or Yes for yes/no boxes.
int OS_DefaultMessageBoxResult(int aFlags);
