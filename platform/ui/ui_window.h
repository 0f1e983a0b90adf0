// A plain top-level window for programs that draw their own client area: title,
// position, size, icon, an optional vertical scroll bar beside the client area
// with the Windows range, page and position rules, the pictures the program
// presents painted top-left without scaling, and a window procedure. Also the
// cursor confinement (ClipCursor).
#pragma once

#include <stdint.h>

#include "platform/ui/ui_dialog.h"

struct UI_Window;

// Messages to the window procedure (the Windows numbers).
enum UI_WindowMessage
{
    UI_WM_SIZE = 0x0005,        // aParam1, aParam2: the client area's width and height
    UI_WM_CLOSE = 0x0010,       // the user closes the window; the default hides it
    UI_WM_ACTIVATEAPP = 0x001C, // aParam1: 1 when the program became active, 0 when not
    UI_WM_VSCROLL = 0x0115,     // aParam1: a UI_SB_ request; aParam2: the track position
    UI_WM_LBUTTONUP = 0x0202,   // aParam1, aParam2: client coordinates
};

// Requests of the vertical scroll bar.
enum UI_ScrollRequest
{
    UI_SB_LINEUP = 0,
    UI_SB_LINEDOWN = 1,
    UI_SB_PAGEUP = 2,
    UI_SB_PAGEDOWN = 3,
    UI_SB_THUMBTRACK = 5,
    UI_SB_TOP = 6,
    UI_SB_BOTTOM = 7,
};

typedef intptr_t (*UI_WindowProc)(UI_Window* aWindow, int aMessage, int aParam1, int aParam2, void* aUserData);
// What a message does when the program's procedure does not handle it.
intptr_t UI_DefWindowProc(UI_Window* aWindow, int aMessage, int aParam1, int aParam2);

struct UI_WindowDesc
{
    const char* myTitle = "";
    int myX = 0, myY = 0;               // the top-left of the window's frame on the screen
    int myWidth = 640, myHeight = 480;  // inside the frame, scroll bar included
    bool myVScrollFlag = false;
    const UI_Image* myIcon = nullptr;   // copied
    UI_WindowProc myProc = nullptr;     // null: UI_DefWindowProc
    void* myUserData = nullptr;
};

// Hidden until shown. Null without a Qt application.
UI_Window* UI_CreateWindow(const UI_WindowDesc& aDesc);
void UI_DestroyWindow(UI_Window* aWindow);
// Showing also sends UI_WM_ACTIVATEAPP with the program's state; later changes
// follow. On the offscreen platform nothing ever activates a window, so there
// the program counts as active.
void UI_ShowWindow(UI_Window* aWindow, bool aShowFlag);
void UI_SetWindowTitle(UI_Window* aWindow, const char* aTitle);
void UI_GetClientSize(UI_Window* aWindow, int* aWidth, int* aHeight);
// Client coordinates to the screen's.
void UI_ClientToScreen(UI_Window* aWindow, int* anX, int* aY);

// The scroll bar (SetScrollInfo with range, page and position): the page is
// cut to the range's size, the position clamped to aMin .. aMax - aPage + 1
// (aMax with page 0); aMax below aMin (0 .. -1) disables the bar. Returns the
// position kept.
int UI_SetScrollInfo(UI_Window* aWindow, int aMin, int aMax, int aPage, int aPos);
void UI_GetScrollInfo(UI_Window* aWindow, int* aMin, int* aMax, int* aPage, int* aPos);

// A presented frame: 0xAARRGGBB pixels, rows aStride bytes apart, copied once
// and painted at the client area's top left; the client repaints on its next turn.
void UI_WindowPresent(UI_Window* aWindow, const uint32_t* aPixels, int aWidth, int aHeight, int aStride);
// The same without the copy: the client shows the caller's pixels, which must stay as they
// are until the next frame or until UI_WindowKeepPixels takes a copy of them. They are
// painted at UI_UpdateWindow, which a program drawing frame after frame calls while its
// next frame renders, or else some milliseconds after the last frame.
void UI_WindowShowPixels(UI_Window* aWindow, const uint32_t* aPixels, int aWidth, int aHeight, int aStride);
void UI_WindowKeepPixels(UI_Window* aWindow);
// Paints now what the client was given and has not painted yet (UpdateWindow).
void UI_UpdateWindow(UI_Window* aWindow);

// The cursor kept inside a screen rectangle (right and bottom exclusive) as
// ClipCursor does, for every move the program sees (all of them while a
// button is held); null lifts the confinement. False for an empty rectangle.
struct UI_Rect
{
    int myLeft = 0, myTop = 0, myRight = 0, myBottom = 0;
};
bool UI_ClipCursor(const UI_Rect* aRect);
// True while the cursor is confined, with the rectangle.
bool UI_GetClipCursor(UI_Rect* aRect);
