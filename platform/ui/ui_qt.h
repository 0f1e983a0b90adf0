// The Qt widgets behind the layer's handles, for program code and tests that
// need Qt itself (events, grabs). Libraries outside platform/ never include it.
#pragma once

#include "platform/ui/ui_dialog.h"

#include <functional>

class QWidget;

QWidget* UI_GetDialogWidget(UI_Dialog* aDialog);
QWidget* UI_GetControlWidget(UI_Dialog* aDialog, int anId);

struct UI_Frame;
QWidget* UI_GetFrameWidget(UI_Frame* aFrame);
QWidget* UI_GetFrameView(UI_Frame* aFrame);
// For a frame whose view is drawn on a timer: runs the loop until the view shows its
// first picture, at most aMilliseconds; false when none came. A frame without timers
// is taken as drawn.
bool UI_FrameWaitForViewPicture(UI_Frame* aFrame, int aMilliseconds);

struct UI_Window;
QWidget* UI_GetWindowWidget(UI_Window* aWindow);
// The client area (the input layer's window feed attaches here).
QWidget* UI_GetWindowClient(UI_Window* aWindow);

// With Q_UI_FIRST_DRAWN=<file.png> in the environment (the start-up bench), the first
// window that counts as drawn is grabbed into that file, the monotonic clock and the
// process's CPU time at the grab are written to <file.png>.time ("seconds seconds"), and
// the quit message is posted. Frames and dialogs count once shown and the loop has run;
// a frame whose view is drawn on a timer, and a plain window, once their first picture is
// presented. Later calls do nothing.
void UI_NoteWindowDrawn(QWidget* aWindow);

// With Q_UI_GRAB=<file.png> in the environment, the first frame and the first dialog shown
// are each handed to aGrab with that path half a second later (under X the whole screen is
// also saved beside it, as <file.png>.screen.png), then the quit message is posted and
// anAfter runs. aWindow owns the timer. Later calls of the same kind do nothing.
enum UI_GrabKind
{
    UI_GRAB_FRAME = 0,
    UI_GRAB_DIALOG = 1,
};
void UI_GrabAndQuitIfRequested(int aKind, QWidget* aWindow, const std::function<void(const char*)>& aGrab,
                               const std::function<void()>& anAfter = {});
