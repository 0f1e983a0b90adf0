// The scripted source: devices described by the caller, fed by hand.
#include "platform/input/in_script.h"

#include <stdio.h>

IN_Script::IN_Script() : myNumHardware(0)
{
    IN_SetScriptSource(true, true);
}

IN_Script::~IN_Script()
{
    for (int i = 0; i < myNumHardware; i++)
        IN_DetachHardware(myHardware[i]);
    IN_SetScriptSource(false, false);
}

void IN_Script::SetFocusWindow(bool aFlag)
{
    IN_SetScriptSource(true, aFlag);
}

IN_Hardware* IN_Script::Add(const IN_DeviceDesc& aDesc)
{
    if (myNumHardware >= (int)(sizeof(myHardware) / sizeof(myHardware[0])))
        return nullptr;
    IN_Hardware* locHardware = IN_AttachHardware(aDesc, nullptr, nullptr);
    if (locHardware)
        myHardware[myNumHardware++] = locHardware;
    return locHardware;
}

IN_Hardware* IN_Script::AddKeyboard(const char* aName)
{
    IN_DeviceDesc locDesc;
    snprintf(locDesc.myInfo.myName, sizeof(locDesc.myInfo.myName), "%s", aName);
    locDesc.myInfo.myType = IN_TYPE_KEYBOARD;
    locDesc.myInfo.myNumButtons = 256;
    return Add(locDesc);
}

IN_Hardware* IN_Script::AddMouse(const char* aName, int aNumAxes, int aNumButtons)
{
    IN_DeviceDesc locDesc;
    snprintf(locDesc.myInfo.myName, sizeof(locDesc.myInfo.myName), "%s", aName);
    locDesc.myInfo.myType = IN_TYPE_MOUSE;
    locDesc.myInfo.myNumAxes = aNumAxes;
    locDesc.myInfo.myNumButtons = aNumButtons;
    return Add(locDesc);
}

IN_Hardware* IN_Script::AddJoystick(const char* aName, uint16_t aVendor, uint16_t aProduct, int aNumButtons,
                                    int anAxisMask, int aRawMin, int aRawMax, int aNumPOVs)
{
    IN_DeviceDesc locDesc;
    snprintf(locDesc.myInfo.myName, sizeof(locDesc.myInfo.myName), "%s", aName);
    locDesc.myInfo.myType = IN_TYPE_JOYSTICK;
    locDesc.myInfo.myVendor = aVendor;
    locDesc.myInfo.myProduct = aProduct;
    locDesc.myInfo.myNumButtons = aNumButtons;
    locDesc.myInfo.myNumPOVs = aNumPOVs;
    for (int i = 0; i < IN_MAX_AXES; i++)
    {
        locDesc.myAxes[i].myPresentFlag = (anAxisMask >> i) & 1;
        locDesc.myAxes[i].myMin = aRawMin;
        locDesc.myAxes[i].myMax = aRawMax;
    }
    return Add(locDesc);
}
