// Joysticks and gamepads through Linux evdev: devices with absolute axes and
// joystick or gamepad buttons, read without blocking when they are polled.
#pragma once

#include <linux/input.h>

#include "platform/input/in_source.h"

// What the capability queries tell of an evdev device.
struct IN_EvdevDesc
{
    char myName[128] = {};
    input_id myId = {};
    uint8_t myKeyBits[KEY_CNT / 8] = {};
    uint8_t myAbsBits[ABS_CNT / 8] = {};
    input_absinfo myAbs[ABS_CNT] = {};
    uint8_t myKeyState[KEY_CNT / 8] = {};  // keys down when the device was opened
};

// True for devices with an absolute stick or hat and a joystick or gamepad button.
bool IN_EvdevIsJoystick(const IN_EvdevDesc& aDesc);
// Attaches a joystick read from aFd (owned from here on, also on failure; set
// to non-blocking). Null when aDesc is no joystick.
IN_Hardware* IN_EvdevAttach(int aFd, const IN_EvdevDesc& aDesc);
// Opens every "event*" device of aFolder that is a joystick; devices that
// cannot be opened (no permission) are passed over. Returns how many attached.
int IN_EvdevScan(const char* aFolder);
// Detaches every joystick of this source and closes its descriptor.
void IN_EvdevDetachAll();
