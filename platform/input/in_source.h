// The side of the input layer that sources use: they attach devices, feed
// them what the hardware or the window did, and say whether the program's
// window is in the foreground. Every call runs on the window's thread.
#pragma once

#include "platform/input/in_input.h"

constexpr int IN_MAX_AXES = 8;     // joystick: X, Y, Z, Rx, Ry, Rz, slider 0, slider 1
constexpr int IN_MAX_POVS = 4;
constexpr int IN_MAX_JOY_BUTTONS = 32;
constexpr int IN_MAX_MOUSE_BUTTONS = 8;
constexpr uint32_t IN_POV_CENTRED = 0xFFFFFFFFu;

// The raw travel of one absolute axis as its source reports it.
struct IN_AxisDesc
{
    bool myPresentFlag = false;
    int myMin = 0;
    int myMax = 0;
};

// A device as a source attaches it. For joysticks the axis counts of myInfo
// are taken from myAxes and the POV count from myInfo.myNumPOVs.
struct IN_DeviceDesc
{
    IN_DeviceInfo myInfo;
    IN_AxisDesc myAxes[IN_MAX_AXES];
};

// An attached device, owned by the layer between attach and detach.
struct IN_Hardware;

// Called before a device object reads its device (sources that are polled).
typedef void (*IN_PumpProc)(void* aUserData);

IN_Hardware* IN_AttachHardware(const IN_DeviceDesc& aDesc, IN_PumpProc aPump, void* aUserData);
// Device objects over it answer IN_ERR_UNPLUGGED from then on.
void IN_DetachHardware(IN_Hardware* aHardware);

// Keyboards: aKey is a DirectInput scan code (0..255). A key already in the
// given state gives no event (auto-repeat).
void IN_FeedKey(IN_Hardware* aHardware, int aKey, bool aDownFlag);
// Mice (0..7) and joysticks (0..31).
void IN_FeedButton(IN_Hardware* aHardware, int aButton, bool aDownFlag);
// Mice: motion in pixels, wheel in steps of 120 per notch (away from the user positive).
void IN_FeedMotion(IN_Hardware* aHardware, int aDeltaX, int aDeltaY);
void IN_FeedWheel(IN_Hardware* aHardware, int aDelta);
// Joysticks: anAxis 0..7 in the raw travel of its IN_AxisDesc; a POV in
// hundredths of a degree clockwise from up, IN_POV_CENTRED when centred.
void IN_FeedAxis(IN_Hardware* aHardware, int anAxis, int aRawValue);
void IN_FeedPOV(IN_Hardware* aHardware, int aPOV, uint32_t aValue);
// Every key and button up, without events: the window lost the keyboard and
// will not see the releases.
void IN_ReleaseAll(IN_Hardware* aHardware);

// One typed character (Latin-1); beyond IN_MAX_TYPED_TEXT waiting characters it is dropped.
void IN_FeedTypedChar(unsigned char aChar);
void IN_ClearTypedText();

// The window's activation. Going to the background takes every foreground
// device object's acquisition away; they acquire again once it is back.
void IN_SetForeground(bool aFlag);
bool IN_IsForeground();

// The window feed fills these when it is linked into the program.
struct IN_WindowFeed
{
    bool (*myAttach)(void* aWindow);  // null: the focus window; false when there is none
    void (*myDetach)();
};
// Returns true so that a static initialiser can call it.
bool IN_RegisterWindowFeed(const IN_WindowFeed* aFeed);

// A script source replaces the window and the joysticks: while one is
// installed only its devices are listed, and attaching a window succeeds when
// the script says a window has the focus.
void IN_SetScriptSource(bool anInstalledFlag, bool aFocusWindowFlag);
