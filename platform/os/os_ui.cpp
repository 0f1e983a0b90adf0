// Hooks for message boxes and the clipboard, with the standard-error fallback.
#include "os_ui.h"

#include <cstdio>

static OS_MessageBoxHook ourMessageBoxHook = nullptr;
static OS_ClipboardHook ourClipboardHook = nullptr;
static OS_RestoreDisplayHook ourRestoreDisplayHook = nullptr;

int OS_DefaultMessageBoxResult(int aFlags)
{
    if (aFlags & (OS_MB_YESNO | OS_MB_YESNOCANCEL))
        return OS_ID_YES;
    return OS_ID_OK;
}

int OS_MessageBox(const char* aText, const char* aCaption, int aFlags)
{
    if (ourMessageBoxHook)
        return ourMessageBoxHook(aText ? aText : "", aCaption ? aCaption : "", aFlags);
    std::fprintf(stderr, "[%s] %s\n", aCaption ? aCaption : "", aText ? aText : "");
    std::fflush(stderr);
    return OS_DefaultMessageBoxResult(aFlags);
}

bool OS_SetClipboardText(const char* aText)
{
    if (ourClipboardHook)
        return ourClipboardHook(aText ? aText : "");
    return false;
}

OS_MessageBoxHook OS_SetMessageBoxHook(OS_MessageBoxHook aHook)
{
    OS_MessageBoxHook locOld = ourMessageBoxHook;
    ourMessageBoxHook = aHook;
    return locOld;
}

OS_ClipboardHook OS_SetClipboardHook(OS_ClipboardHook aHook)
{
    OS_ClipboardHook locOld = ourClipboardHook;
    ourClipboardHook = aHook;
    return locOld;
}

void OS_RestoreDisplay()
{
    if (ourRestoreDisplayHook)
        ourRestoreDisplayHook();
}

OS_RestoreDisplayHook OS_SetRestoreDisplayHook(OS_RestoreDisplayHook aHook)
{
    OS_RestoreDisplayHook locOld = ourRestoreDisplayHook;
    ourRestoreDisplayHook = aHook;
    return locOld;
}
