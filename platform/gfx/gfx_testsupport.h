// What tests bring about on a device that, in use, only the display does to it. Not part of
// the device interface: programs never include this.
#pragma once

#include <cstdint>

class GFX_Device;

// The device becomes lost, as when another program takes the display: TestCooperativeLevel
// answers DEVICE_LOST for aLostCallsBeforeResettable calls, then DEVICE_NOT_RESET until Reset.
// Any back end's device (OpenGL or recording).
void GFX_LoseDevice(GFX_Device* aDevice, uint32_t aLostCallsBeforeResettable);
