// A scripted source for tests and tools: devices made up on the spot and fed
// by hand through in_source.h. While a script lives it is the only source.
#pragma once

#include "platform/input/in_source.h"

class IN_Script
{
public:
    // Installs the script with a focus window in the foreground.
    IN_Script();
    // Detaches its devices and uninstalls it.
    ~IN_Script();
    IN_Script(const IN_Script&) = delete;
    IN_Script& operator=(const IN_Script&) = delete;

    IN_Hardware* AddKeyboard(const char* aName = "Keyboard");
    IN_Hardware* AddMouse(const char* aName = "Mouse", int aNumAxes = 3, int aNumButtons = 5);
    // Bit i of anAxisMask gives axis i (X, Y, Z, Rx, Ry, Rz, slider 0, slider 1)
    // a raw travel of aRawMin..aRawMax.
    IN_Hardware* AddJoystick(const char* aName, uint16_t aVendor, uint16_t aProduct, int aNumButtons,
                             int anAxisMask, int aRawMin, int aRawMax, int aNumPOVs);

    // Whether attaching a window finds one (a program without a focused window).
    void SetFocusWindow(bool aFlag);

private:
    IN_Hardware* Add(const IN_DeviceDesc& aDesc);

    IN_Hardware* myHardware[64];
    int myNumHardware;
};
