// The application side of the user-interface layer: start-up over Qt, the
// message loop with its quit message and idle pass, the cursor.
#pragma once

#include <functional>

// Creates the Qt application when none exists and fills the platform/os hooks
// (message boxes through the prompt service, the clipboard, the display
// restore). Numbers keep the C locale (LC_NUMERIC) whatever the user's.
// argc and argv must outlive the layer. Safe to call twice.
bool UI_Init(int* argc, char** argv);
// Empties the hooks again; the Qt application is kept.
void UI_Shutdown();

struct OS_CommandLine;
struct OS_Arguments;
enum
{
    UI_START_GO_ON = -1,
};
// What a program's main does first: reads its command line (one operand at
// most, more are refused with aTooMany), starts the user interface and, in the
// second run after a crash (aReportRun says so), shows only the report.
// Returns UI_START_GO_ON with anArguments filled, else the exit code main
// returns at once (the layer already shut down where it was started).
typedef bool (*UI_ReportRun)(int argc, char** argv);
int UI_StartProgram(const OS_CommandLine& aLine, const char* aTooMany, UI_ReportRun aReportRun, int* argc,
                    char** argv, OS_Arguments* anArguments);

// True while the platform shows nothing to a user (Qt's offscreen platform):
// the default prompt service then answers from standard error.
bool UI_IsHeadless();

// The quit message: the loop ends with this exit value once it is seen.
void UI_PostQuitMessage(int anExitValue);
// True when a quit message was posted; its value goes to anExitValue (optional).
bool UI_PeekQuitMessage(int* anExitValue);
// Forgets a posted quit message (tests run several programs in one process).
void UI_ClearQuitMessage();

// SIGTERM, SIGINT and SIGHUP (watched from UI_Init on) end the program as
// closing its main window does: the end hook runs (the shown frame closes
// without its questions), the quit message is posted, every modal loop ends
// as cancelled and later ones return at once. UI_ClearQuitMessage forgets it.
typedef void (*UI_EndHook)();
void UI_SetEndHook(UI_EndHook aHook);
// True once a termination signal is being handled.
bool UI_IsEnding();

// Handles every waiting event; when aWaitFlag is set and none waits, sleeps
// until one arrives. Returns true when the quit message has been posted.
bool UI_DispatchMessages(bool aWaitFlag);

typedef void (*UI_IdleProc)(void* aUserData);
// Dispatches until the quit message; the idle procedure runs after every pass
// that emptied the queue. Returns the quit message's exit value.
int UI_RunMessageLoop(UI_IdleProc anIdleProc, void* aUserData);

enum UI_Cursor
{
    UI_CURSOR_ARROW = 0,
    UI_CURSOR_WAIT = 1,
};
// The keyboard as GetAsyncKeyState sees it: 0x8000 while the key (a Windows
// virtual-key code; 0x10 Shift, 0x11 Ctrl, 0x12 Alt, also without side) is
// down in any window of the program, else 0. Kept by an application-wide
// event filter that UI_Init installs; emptied when the program loses the focus.
short UI_GetAsyncKeyState(int aVirtualKey);

// True on the thread that runs the user-interface loop.
bool UI_IsUIThread();
// Runs aCall on the user-interface thread: at once there, else queued and
// waited for, so that one worker's calls run in the order made. The prompt
// service's questions from a worker go this way by themselves.
void UI_CallOnUIThread(const std::function<void()>& aCall);

// The wait cursor stays over every window until the arrow is set again.
void UI_SetCursor(int aCursor);
int UI_GetCursor();
