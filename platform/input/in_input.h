// The input layer: keyboards, mice and joysticks as the input library expects
// DirectInput to give them. Attached devices are fed by sources (the program's
// window, evdev joysticks, a script for tests); a program opens the input
// system, lists what is attached, and makes device objects that it acquires,
// reads through a small event buffer and by whole state blocks.
#pragma once

#include <stdint.h>

// Results: negative values are failures, as DirectInput's were.
enum IN_Result
{
    IN_OK = 0,
    IN_BUFFER_OVERFLOW = 1,      // success, but events were lost since the last read
    IN_ERR_INPUT_LOST = -1,      // the device was taken away (the window went to the background)
    IN_ERR_NOT_ACQUIRED = -2,    // reads need an acquired device
    IN_ERR_BACKGROUND = -3,      // foreground devices cannot be acquired while the window is inactive
    IN_ERR_INVALID = -4,         // a bad argument, or no data format set
    IN_ERR_NOT_FOUND = -5,       // no such object (axis) on the device
    IN_ERR_ACQUIRED = -6,        // the property cannot change while the device is acquired
    IN_ERR_NOT_BUFFERED = -7,    // events read from a device whose buffer size is 0
    IN_ERR_UNPLUGGED = -8,       // the device is gone
    IN_ERR_NO_MEMORY = -9,
};

inline bool IN_Failed(int aResult)
{
    return aResult < 0;
}

// Device types, with DirectInput's numbers (the low byte of its device type).
enum IN_DeviceType
{
    IN_TYPE_MOUSE = 2,
    IN_TYPE_KEYBOARD = 3,
    IN_TYPE_JOYSTICK = 4,
};

// What an attached device is.
struct IN_DeviceInfo
{
    char myName[128] = {};  // NUL-terminated
    int myType = 0;         // IN_DeviceType
    uint16_t myVendor = 0;  // USB identifiers, 0 when unknown
    uint16_t myProduct = 0;
    int myNumAxes = 0;      // axes the device has (a wheel counts)
    int myNumButtons = 0;
    int myNumPOVs = 0;      // point-of-view hats
};

// The state blocks, by data format.
enum IN_DataFormat
{
    IN_FORMAT_NONE = 0,
    IN_FORMAT_KEYBOARD = 1,  // 256 bytes: byte i is key i (DirectInput scan code), 0x80 when down
    IN_FORMAT_MOUSE = 2,     // 20 bytes: X, Y, Z (wheel) as int32 moved since the last state read,
                             // then 8 button bytes
    IN_FORMAT_JOYSTICK = 3,  // 80 bytes: X, Y, Z, Rx, Ry, Rz, two sliders as int32, four
                             // point-of-view uint32 (hundredths of a degree, 0xFFFFFFFF centred),
                             // 32 button bytes
};

constexpr int IN_KEYBOARD_STATE_SIZE = 256;
constexpr int IN_MOUSE_STATE_SIZE = 20;
constexpr int IN_JOYSTICK_STATE_SIZE = 80;

// Byte offsets inside the state blocks; events name their object by them.
enum IN_Offset
{
    IN_MOUSE_X = 0,
    IN_MOUSE_Y = 4,
    IN_MOUSE_Z = 8,
    IN_MOUSE_BUTTON0 = 12,     // to 19
    IN_JOY_X = 0,
    IN_JOY_Y = 4,
    IN_JOY_Z = 8,
    IN_JOY_RX = 12,
    IN_JOY_RY = 16,
    IN_JOY_RZ = 20,
    IN_JOY_SLIDER0 = 24,       // throttle
    IN_JOY_SLIDER1 = 28,       // rudder
    IN_JOY_POV0 = 32,          // to 44
    IN_JOY_BUTTON0 = 48,       // to 79
};

// One buffered event: 16 bytes as DirectInput's. Buttons carry 0x80 (down) or
// 0 in myData; relative axes the signed motion; absolute axes the position.
struct IN_Event
{
    uint32_t myOffset;
    uint32_t myData;
    uint32_t myTimeStamp;  // milliseconds
    uint32_t mySequence;
};

// Cooperative-level flags (DirectInput's values). Exclusive access is granted as
// shared: no other program is kept from the devices.
enum IN_CooperativeFlags
{
    IN_COOP_EXCLUSIVE = 1 << 0,
    IN_COOP_NONEXCLUSIVE = 1 << 1,
    IN_COOP_FOREGROUND = 1 << 2,
    IN_COOP_BACKGROUND = 1 << 3,
    IN_COOP_NOWINKEY = 1 << 4,
};

// Properties. Axis properties name the axis by its offset, or the whole device
// with IN_WHOLE_DEVICE.
enum IN_Property
{
    IN_PROP_BUFFER_SIZE = 1,      // events held between reads; 0 (the default) holds none
    IN_PROP_DEAD_ZONE = 2,        // 0..10000 of the axis's travel around its centre
    IN_PROP_SATURATION = 3,       // 0..10000; beyond it the axis reads its extreme
    IN_PROP_CALIBRATION_MODE = 4, // IN_CALIBRATION_COOKED or IN_CALIBRATION_RAW
};
constexpr int IN_WHOLE_DEVICE = -1;
constexpr int IN_CALIBRATION_COOKED = 0;
constexpr int IN_CALIBRATION_RAW = 1;  // raw values: no range, dead zone or saturation

struct IN_System;
struct IN_Device;

// The input system. Opening scans for joysticks (unless a script source is
// installed); the system is reference counted. Null only when out of memory.
IN_System* IN_Open();
void IN_Close(IN_System* aSystem);

// Attached devices, in the order their sources attached them: a script's
// devices, else the window's keyboard and mouse, then joysticks. Return false
// from the callback to stop. aCallback gets the index for IN_CreateDevice.
typedef bool (*IN_EnumCallback)(const IN_DeviceInfo& anInfo, int anIndex, void* aUserData);
IN_Result IN_EnumDevices(IN_System* aSystem, IN_EnumCallback aCallback, void* aUserData);

// A device object over the anIndex-th attached device; not acquired.
IN_Result IN_CreateDevice(IN_System* aSystem, int anIndex, IN_Device** aDevice);
// Unacquires and frees the object.
void IN_ReleaseDevice(IN_Device* aDevice);

IN_Result IN_SetCooperativeLevel(IN_Device* aDevice, int aFlags);
IN_Result IN_GetDeviceInfo(IN_Device* aDevice, IN_DeviceInfo* anInfo);
// The format must suit the device's type (keyboard, mouse, joystick); unacquired only.
IN_Result IN_SetDataFormat(IN_Device* aDevice, IN_DataFormat aFormat);
IN_Result IN_SetProperty(IN_Device* aDevice, IN_Property aProperty, int anOffset, int aValue);
IN_Result IN_GetProperty(IN_Device* aDevice, IN_Property aProperty, int anOffset, int* aValue);
// Absolute axes report positions in their range, 0..65535 unless set.
IN_Result IN_GetRange(IN_Device* aDevice, int anOffset, int* aMin, int* aMax);
IN_Result IN_SetRange(IN_Device* aDevice, int anOffset, int aMin, int aMax);

// Acquiring needs a data format, and for a foreground device the window in the
// foreground. A device loses its acquisition when the window goes inactive:
// the next read answers IN_ERR_INPUT_LOST, later ones IN_ERR_NOT_ACQUIRED.
IN_Result IN_Acquire(IN_Device* aDevice);
IN_Result IN_Unacquire(IN_Device* aDevice);
// Reads what the device's source has waiting (joysticks are polled).
IN_Result IN_Poll(IN_Device* aDevice);
// The oldest buffered event; *aCount is 1 when one was taken, 0 when none is left.
IN_Result IN_GetDeviceEvent(IN_Device* aDevice, IN_Event* anEvent, int* aCount);
// Drops every buffered event.
IN_Result IN_FlushDeviceEvents(IN_Device* aDevice);
// aSize must be the data format's size.
IN_Result IN_GetDeviceState(IN_Device* aDevice, void* aState, int aSize);

// Text typed into the window since the last take, one Latin-1 byte per
// character; at most IN_MAX_TYPED_TEXT characters are kept, later ones dropped.
constexpr int IN_MAX_TYPED_TEXT = 127;
// Copies and empties the text; aBuffer gets a NUL-terminated copy (aSize >= 1).
int IN_TakeTypedText(char* aBuffer, int aSize);

// The window whose events feed the keyboard and mouse. aWindow is the
// program's window object (a QWidget*); null takes the window that has the
// keyboard focus. False when there is none, or no window feed is linked.
bool IN_AttachWindow(void* aWindow);
void IN_DetachWindow();
