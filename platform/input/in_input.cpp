// The input layer's core: attached devices, device objects with their event
// buffers, properties and acquisition, the typed text and the foreground.
#include "platform/input/in_evdev.h"
#include "platform/input/in_source.h"

#include <math.h>
#include <string.h>
#include <time.h>

#include <new>
#include <vector>

struct IN_Hardware
{
    IN_DeviceDesc myDesc;
    bool myScriptFlag = false;
    IN_PumpProc myPump = nullptr;
    void* myPumpData = nullptr;
    uint8_t myKeys[256] = {};
    uint8_t myButtons[IN_MAX_JOY_BUTTONS] = {};
    int myAxes[IN_MAX_AXES] = {};  // raw
    uint32_t myPOVs[IN_MAX_POVS] = {IN_POV_CENTRED, IN_POV_CENTRED, IN_POV_CENTRED, IN_POV_CENTRED};
    std::vector<IN_Device*> myDevices;
};

struct IN_Device
{
    IN_Hardware* myHardware = nullptr;
    int myCoopFlags = IN_COOP_NONEXCLUSIVE | IN_COOP_BACKGROUND;
    IN_DataFormat myFormat = IN_FORMAT_NONE;
    bool myAcquiredFlag = false;
    bool myLostFlag = false;
    // Event ring of myBufferSize entries.
    std::vector<IN_Event> myEvents;
    int myBufferSize = 0;
    int myFirstEvent = 0;
    int myNumEvents = 0;
    bool myOverflowFlag = false;
    // Mouse motion since the last state read (wraps like the 32-bit fields it fills).
    uint32_t myMotion[3] = {};
    // Joystick axes as this object reports them.
    int myRangeMin[IN_MAX_AXES];
    int myRangeMax[IN_MAX_AXES];
    int myDeadZone[IN_MAX_AXES] = {};
    int mySaturation[IN_MAX_AXES];
    int myCalibration = IN_CALIBRATION_COOKED;
    int myLastAxes[IN_MAX_AXES] = {};

    IN_Device()
    {
        for (int i = 0; i < IN_MAX_AXES; i++)
        {
            myRangeMin[i] = 0;
            myRangeMax[i] = 65535;
            mySaturation[i] = 10000;
        }
    }
};

struct IN_System
{
    int myUnused = 0;
};

namespace
{
struct Globals
{
    std::vector<IN_Hardware*> myHardware;
    const IN_WindowFeed* myWindowFeed = nullptr;
    bool myScriptFlag = false;
    bool myScriptFocusFlag = false;
    bool myForegroundFlag = true;
    char myText[IN_MAX_TYPED_TEXT + 1] = {};
    int myTextLength = 0;
    uint32_t mySequence = 0;
    int myOpenCount = 0;
    IN_System mySystem;
};

// Function-local so that a window feed can register from a static initialiser.
Globals& locGlobals()
{
    static Globals ourGlobals;
    return ourGlobals;
}

uint32_t locMilliseconds()
{
    timespec locNow;
    clock_gettime(CLOCK_MONOTONIC, &locNow);
    return (uint32_t)((uint64_t)locNow.tv_sec * 1000u + (uint64_t)locNow.tv_nsec / 1000000u);
}

// The attached devices a program sees: a script's alone while one is installed.
bool locIsListed(const IN_Hardware* aHardware)
{
    return aHardware->myScriptFlag == locGlobals().myScriptFlag;
}

int locFormatSize(IN_DataFormat aFormat)
{
    switch (aFormat)
    {
        case IN_FORMAT_KEYBOARD: return IN_KEYBOARD_STATE_SIZE;
        case IN_FORMAT_MOUSE: return IN_MOUSE_STATE_SIZE;
        case IN_FORMAT_JOYSTICK: return IN_JOYSTICK_STATE_SIZE;
        default: return 0;
    }
}

IN_DataFormat locFormatOfType(int aType)
{
    switch (aType)
    {
        case IN_TYPE_KEYBOARD: return IN_FORMAT_KEYBOARD;
        case IN_TYPE_MOUSE: return IN_FORMAT_MOUSE;
        case IN_TYPE_JOYSTICK: return IN_FORMAT_JOYSTICK;
        default: return IN_FORMAT_NONE;
    }
}

// The axis index of a joystick offset, or -1.
int locAxisOfOffset(int anOffset)
{
    if (anOffset < IN_JOY_X || anOffset > IN_JOY_SLIDER1 || (anOffset & 3))
        return -1;
    return anOffset / 4;
}

// A raw joystick value as a device object reports it: rescaled into its range,
// with the dead zone and saturation taken around the centre of the raw travel.
int locCookAxis(const IN_Device* aDevice, int anAxis, int aRaw)
{
    if (aDevice->myCalibration == IN_CALIBRATION_RAW)
        return aRaw;
    const IN_AxisDesc& locDesc = aDevice->myHardware->myDesc.myAxes[anAxis];
    const int64_t locMin = aDevice->myRangeMin[anAxis];
    const int64_t locMax = aDevice->myRangeMax[anAxis];
    const double locHalf = ((double)locDesc.myMax - (double)locDesc.myMin) * 0.5;
    double locNorm = 0.0;
    if (locHalf > 0.0)
        locNorm = ((double)aRaw - ((double)locDesc.myMin + locHalf)) / locHalf;
    if (locNorm > 1.0)
        locNorm = 1.0;
    if (locNorm < -1.0)
        locNorm = -1.0;
    const double locMagnitude = fabs(locNorm) * 10000.0;
    const double locSign = locNorm < 0.0 ? -1.0 : 1.0;
    const int locDeadZone = aDevice->myDeadZone[anAxis];
    const int locSaturation = aDevice->mySaturation[anAxis];
    if (locMagnitude <= locDeadZone)
        locNorm = 0.0;
    else if (locMagnitude >= locSaturation)
        locNorm = locSign;
    else
        locNorm = locSign * (locMagnitude - locDeadZone) / (double)(locSaturation - locDeadZone);
    if (locNorm == 0.0)
        return (int)(locMin + (locMax - locMin) / 2);
    return (int)(locMin + (int64_t)floor((locNorm + 1.0) * 0.5 * (double)(locMax - locMin) + 0.5));
}

void locPushEvent(IN_Device* aDevice, uint32_t anOffset, uint32_t aData)
{
    if (!aDevice->myAcquiredFlag || aDevice->myBufferSize <= 0)
        return;
    if (aDevice->myNumEvents >= aDevice->myBufferSize)
    {
        aDevice->myOverflowFlag = true;
        return;
    }
    const int locSlot = (aDevice->myFirstEvent + aDevice->myNumEvents) % aDevice->myBufferSize;
    IN_Event& locEvent = aDevice->myEvents[locSlot];
    locEvent.myOffset = anOffset;
    locEvent.myData = aData;
    locEvent.myTimeStamp = locMilliseconds();
    locEvent.mySequence = ++locGlobals().mySequence;
    aDevice->myNumEvents++;
}

void locClearEvents(IN_Device* aDevice)
{
    aDevice->myFirstEvent = 0;
    aDevice->myNumEvents = 0;
    aDevice->myOverflowFlag = false;
}

// The answer of a read on an object that may not be acquired.
IN_Result locCheckAcquired(IN_Device* aDevice)
{
    if (!aDevice || !aDevice->myHardware)
        return aDevice ? IN_ERR_UNPLUGGED : IN_ERR_INVALID;
    if (aDevice->myAcquiredFlag)
        return IN_OK;
    if (aDevice->myLostFlag)
    {
        aDevice->myLostFlag = false;
        return IN_ERR_INPUT_LOST;
    }
    return IN_ERR_NOT_ACQUIRED;
}

bool locIsJoystick(const IN_Device* aDevice)
{
    return aDevice->myHardware && aDevice->myHardware->myDesc.myInfo.myType == IN_TYPE_JOYSTICK;
}
} // namespace

// [Sources]

IN_Hardware* IN_AttachHardware(const IN_DeviceDesc& aDesc, IN_PumpProc aPump, void* aUserData)
{
    IN_Hardware* locHardware = new (std::nothrow) IN_Hardware;
    if (!locHardware)
        return nullptr;
    locHardware->myDesc = aDesc;
    locHardware->myDesc.myInfo.myName[sizeof(locHardware->myDesc.myInfo.myName) - 1] = 0;
    IN_DeviceInfo& locInfo = locHardware->myDesc.myInfo;
    if (locInfo.myType == IN_TYPE_JOYSTICK)
    {
        locInfo.myNumAxes = 0;
        for (int i = 0; i < IN_MAX_AXES; i++)
        {
            if (locHardware->myDesc.myAxes[i].myPresentFlag)
            {
                locInfo.myNumAxes++;
                // Centred until the source says otherwise.
                const IN_AxisDesc& locAxis = locHardware->myDesc.myAxes[i];
                locHardware->myAxes[i] = (int)(((int64_t)locAxis.myMin + locAxis.myMax) / 2);
            }
        }
        if (locInfo.myNumPOVs > IN_MAX_POVS)
            locInfo.myNumPOVs = IN_MAX_POVS;
        if (locInfo.myNumButtons > IN_MAX_JOY_BUTTONS)
            locInfo.myNumButtons = IN_MAX_JOY_BUTTONS;
    }
    else
    {
        for (IN_AxisDesc& locAxis : locHardware->myDesc.myAxes)
            locAxis = IN_AxisDesc();
        locInfo.myNumPOVs = 0;
        if (locInfo.myType == IN_TYPE_MOUSE && locInfo.myNumButtons > IN_MAX_MOUSE_BUTTONS)
            locInfo.myNumButtons = IN_MAX_MOUSE_BUTTONS;
    }
    locHardware->myScriptFlag = locGlobals().myScriptFlag;
    locHardware->myPump = aPump;
    locHardware->myPumpData = aUserData;
    locGlobals().myHardware.push_back(locHardware);
    return locHardware;
}

void IN_DetachHardware(IN_Hardware* aHardware)
{
    if (!aHardware)
        return;
    // A device detached twice (by its source and by hand) is gone after the first.
    std::vector<IN_Hardware*>& locList = locGlobals().myHardware;
    size_t locIndex = 0;
    while (locIndex < locList.size() && locList[locIndex] != aHardware)
        locIndex++;
    if (locIndex == locList.size())
        return;
    locList.erase(locList.begin() + locIndex);
    for (IN_Device* locDevice : aHardware->myDevices)
    {
        locDevice->myHardware = nullptr;
        locDevice->myAcquiredFlag = false;
    }
    delete aHardware;
}

void IN_FeedKey(IN_Hardware* aHardware, int aKey, bool aDownFlag)
{
    if (!aHardware || aKey < 0 || aKey > 255 || aHardware->myDesc.myInfo.myType != IN_TYPE_KEYBOARD)
        return;
    const uint8_t locState = aDownFlag ? 0x80 : 0;
    if (aHardware->myKeys[aKey] == locState)
        return;
    aHardware->myKeys[aKey] = locState;
    for (IN_Device* locDevice : aHardware->myDevices)
        locPushEvent(locDevice, (uint32_t)aKey, locState);
}

void IN_FeedButton(IN_Hardware* aHardware, int aButton, bool aDownFlag)
{
    if (!aHardware || aButton < 0 || aButton >= aHardware->myDesc.myInfo.myNumButtons)
        return;
    uint32_t locOffset;
    if (aHardware->myDesc.myInfo.myType == IN_TYPE_MOUSE)
        locOffset = IN_MOUSE_BUTTON0 + aButton;
    else if (aHardware->myDesc.myInfo.myType == IN_TYPE_JOYSTICK)
        locOffset = IN_JOY_BUTTON0 + aButton;
    else
        return;
    const uint8_t locState = aDownFlag ? 0x80 : 0;
    if (aHardware->myButtons[aButton] == locState)
        return;
    aHardware->myButtons[aButton] = locState;
    for (IN_Device* locDevice : aHardware->myDevices)
        locPushEvent(locDevice, locOffset, locState);
}

void IN_FeedMotion(IN_Hardware* aHardware, int aDeltaX, int aDeltaY)
{
    if (!aHardware || aHardware->myDesc.myInfo.myType != IN_TYPE_MOUSE)
        return;
    for (IN_Device* locDevice : aHardware->myDevices)
    {
        if (!locDevice->myAcquiredFlag)
            continue;
        locDevice->myMotion[0] += (uint32_t)aDeltaX;
        locDevice->myMotion[1] += (uint32_t)aDeltaY;
        if (aDeltaX)
            locPushEvent(locDevice, IN_MOUSE_X, (uint32_t)aDeltaX);
        if (aDeltaY)
            locPushEvent(locDevice, IN_MOUSE_Y, (uint32_t)aDeltaY);
    }
}

void IN_FeedWheel(IN_Hardware* aHardware, int aDelta)
{
    if (!aHardware || aHardware->myDesc.myInfo.myType != IN_TYPE_MOUSE || aDelta == 0)
        return;
    for (IN_Device* locDevice : aHardware->myDevices)
    {
        if (!locDevice->myAcquiredFlag)
            continue;
        locDevice->myMotion[2] += (uint32_t)aDelta;
        locPushEvent(locDevice, IN_MOUSE_Z, (uint32_t)aDelta);
    }
}

void IN_FeedAxis(IN_Hardware* aHardware, int anAxis, int aRawValue)
{
    if (!aHardware || aHardware->myDesc.myInfo.myType != IN_TYPE_JOYSTICK || anAxis < 0 ||
        anAxis >= IN_MAX_AXES || !aHardware->myDesc.myAxes[anAxis].myPresentFlag)
        return;
    aHardware->myAxes[anAxis] = aRawValue;
    for (IN_Device* locDevice : aHardware->myDevices)
    {
        if (!locDevice->myAcquiredFlag)
            continue;
        const int locValue = locCookAxis(locDevice, anAxis, aRawValue);
        if (locValue == locDevice->myLastAxes[anAxis])
            continue;
        locDevice->myLastAxes[anAxis] = locValue;
        locPushEvent(locDevice, (uint32_t)(anAxis * 4), (uint32_t)locValue);
    }
}

void IN_FeedPOV(IN_Hardware* aHardware, int aPOV, uint32_t aValue)
{
    if (!aHardware || aHardware->myDesc.myInfo.myType != IN_TYPE_JOYSTICK || aPOV < 0 ||
        aPOV >= aHardware->myDesc.myInfo.myNumPOVs || aHardware->myPOVs[aPOV] == aValue)
        return;
    aHardware->myPOVs[aPOV] = aValue;
    for (IN_Device* locDevice : aHardware->myDevices)
        locPushEvent(locDevice, (uint32_t)(IN_JOY_POV0 + 4 * aPOV), aValue);
}

void IN_ReleaseAll(IN_Hardware* aHardware)
{
    if (!aHardware)
        return;
    memset(aHardware->myKeys, 0, sizeof(aHardware->myKeys));
    memset(aHardware->myButtons, 0, sizeof(aHardware->myButtons));
}

void IN_FeedTypedChar(unsigned char aChar)
{
    Globals& locG = locGlobals();
    if (aChar == 0 || locG.myTextLength >= IN_MAX_TYPED_TEXT)
        return;
    locG.myText[locG.myTextLength++] = (char)aChar;
    locG.myText[locG.myTextLength] = 0;
}

void IN_ClearTypedText()
{
    locGlobals().myTextLength = 0;
    locGlobals().myText[0] = 0;
}

int IN_TakeTypedText(char* aBuffer, int aSize)
{
    Globals& locG = locGlobals();
    if (!aBuffer || aSize <= 0)
        return 0;
    int locLength = locG.myTextLength < aSize - 1 ? locG.myTextLength : aSize - 1;
    memcpy(aBuffer, locG.myText, (size_t)locLength);
    aBuffer[locLength] = 0;
    IN_ClearTypedText();
    return locLength;
}

void IN_SetForeground(bool aFlag)
{
    Globals& locG = locGlobals();
    locG.myForegroundFlag = aFlag;
    if (aFlag)
        return;
    for (IN_Hardware* locHardware : locG.myHardware)
    {
        for (IN_Device* locDevice : locHardware->myDevices)
        {
            if (locDevice->myAcquiredFlag && (locDevice->myCoopFlags & IN_COOP_FOREGROUND))
            {
                locDevice->myAcquiredFlag = false;
                locDevice->myLostFlag = true;
            }
        }
    }
}

bool IN_IsForeground()
{
    return locGlobals().myForegroundFlag;
}

bool IN_RegisterWindowFeed(const IN_WindowFeed* aFeed)
{
    locGlobals().myWindowFeed = aFeed;
    return true;
}

void IN_SetScriptSource(bool anInstalledFlag, bool aFocusWindowFlag)
{
    Globals& locG = locGlobals();
    locG.myScriptFlag = anInstalledFlag;
    locG.myScriptFocusFlag = aFocusWindowFlag;
    locG.myForegroundFlag = true;
}

bool IN_AttachWindow(void* aWindow)
{
    Globals& locG = locGlobals();
    IN_ClearTypedText();
    if (locG.myScriptFlag)
        return locG.myScriptFocusFlag;
    return locG.myWindowFeed && locG.myWindowFeed->myAttach(aWindow);
}

void IN_DetachWindow()
{
    Globals& locG = locGlobals();
    if (!locG.myScriptFlag && locG.myWindowFeed)
        locG.myWindowFeed->myDetach();
}

// [System]

IN_System* IN_Open()
{
    Globals& locG = locGlobals();
    if (locG.myOpenCount++ == 0 && !locG.myScriptFlag)
        IN_EvdevScan("/dev/input");
    return &locG.mySystem;
}

void IN_Close(IN_System* aSystem)
{
    Globals& locG = locGlobals();
    if (!aSystem || locG.myOpenCount <= 0)
        return;
    if (--locG.myOpenCount == 0)
        IN_EvdevDetachAll();
}

IN_Result IN_EnumDevices(IN_System* aSystem, IN_EnumCallback aCallback, void* aUserData)
{
    if (!aSystem || !aCallback)
        return IN_ERR_INVALID;
    // A copy: the callback may create device objects, and sources do not attach meanwhile.
    const std::vector<IN_Hardware*> locList = locGlobals().myHardware;
    for (size_t i = 0; i < locList.size(); i++)
    {
        if (locIsListed(locList[i]) && !aCallback(locList[i]->myDesc.myInfo, (int)i, aUserData))
            break;
    }
    return IN_OK;
}

IN_Result IN_CreateDevice(IN_System* aSystem, int anIndex, IN_Device** aDevice)
{
    std::vector<IN_Hardware*>& locList = locGlobals().myHardware;
    if (!aSystem || !aDevice || anIndex < 0 || (size_t)anIndex >= locList.size() || !locIsListed(locList[anIndex]))
        return IN_ERR_INVALID;
    IN_Device* locDevice = new (std::nothrow) IN_Device;
    if (!locDevice)
        return IN_ERR_NO_MEMORY;
    locDevice->myHardware = locList[anIndex];
    locDevice->myHardware->myDevices.push_back(locDevice);
    *aDevice = locDevice;
    return IN_OK;
}

void IN_ReleaseDevice(IN_Device* aDevice)
{
    if (!aDevice)
        return;
    if (IN_Hardware* locHardware = aDevice->myHardware)
    {
        for (size_t i = 0; i < locHardware->myDevices.size(); i++)
        {
            if (locHardware->myDevices[i] == aDevice)
            {
                locHardware->myDevices.erase(locHardware->myDevices.begin() + i);
                break;
            }
        }
    }
    delete aDevice;
}

// [Device objects]

IN_Result IN_SetCooperativeLevel(IN_Device* aDevice, int aFlags)
{
    if (!aDevice)
        return IN_ERR_INVALID;
    const int locAccess = aFlags & (IN_COOP_EXCLUSIVE | IN_COOP_NONEXCLUSIVE);
    const int locWhen = aFlags & (IN_COOP_FOREGROUND | IN_COOP_BACKGROUND);
    if (locAccess == 0 || locAccess == (IN_COOP_EXCLUSIVE | IN_COOP_NONEXCLUSIVE) || locWhen == 0 ||
        locWhen == (IN_COOP_FOREGROUND | IN_COOP_BACKGROUND) || (aFlags & ~0x1F))
        return IN_ERR_INVALID;
    if (aDevice->myAcquiredFlag)
        return IN_ERR_ACQUIRED;
    aDevice->myCoopFlags = aFlags;
    return IN_OK;
}

IN_Result IN_GetDeviceInfo(IN_Device* aDevice, IN_DeviceInfo* anInfo)
{
    if (!aDevice || !anInfo)
        return IN_ERR_INVALID;
    if (!aDevice->myHardware)
        return IN_ERR_UNPLUGGED;
    *anInfo = aDevice->myHardware->myDesc.myInfo;
    return IN_OK;
}

IN_Result IN_SetDataFormat(IN_Device* aDevice, IN_DataFormat aFormat)
{
    if (!aDevice)
        return IN_ERR_INVALID;
    if (!aDevice->myHardware)
        return IN_ERR_UNPLUGGED;
    if (aDevice->myAcquiredFlag)
        return IN_ERR_ACQUIRED;
    if (aFormat == IN_FORMAT_NONE || aFormat != locFormatOfType(aDevice->myHardware->myDesc.myInfo.myType))
        return IN_ERR_INVALID;
    aDevice->myFormat = aFormat;
    return IN_OK;
}

IN_Result IN_SetProperty(IN_Device* aDevice, IN_Property aProperty, int anOffset, int aValue)
{
    if (!aDevice)
        return IN_ERR_INVALID;
    if (!aDevice->myHardware)
        return IN_ERR_UNPLUGGED;
    switch (aProperty)
    {
        case IN_PROP_BUFFER_SIZE:
            if (anOffset != IN_WHOLE_DEVICE || aValue < 0 || aValue > 1024)
                return IN_ERR_INVALID;
            if (aDevice->myAcquiredFlag)
                return IN_ERR_ACQUIRED;
            aDevice->myBufferSize = aValue;
            aDevice->myEvents.assign((size_t)aValue, IN_Event());
            locClearEvents(aDevice);
            return IN_OK;
        case IN_PROP_CALIBRATION_MODE:
            if (anOffset != IN_WHOLE_DEVICE || (aValue != IN_CALIBRATION_COOKED && aValue != IN_CALIBRATION_RAW))
                return IN_ERR_INVALID;
            if (!locIsJoystick(aDevice))
                return IN_ERR_NOT_FOUND;
            aDevice->myCalibration = aValue;
            return IN_OK;
        case IN_PROP_DEAD_ZONE:
        case IN_PROP_SATURATION:
        {
            if (aValue < 0 || aValue > 10000)
                return IN_ERR_INVALID;
            if (!locIsJoystick(aDevice))
                return IN_ERR_NOT_FOUND;
            int* locTable = aProperty == IN_PROP_DEAD_ZONE ? aDevice->myDeadZone : aDevice->mySaturation;
            if (anOffset == IN_WHOLE_DEVICE)
            {
                for (int i = 0; i < IN_MAX_AXES; i++)
                    locTable[i] = aValue;
                return IN_OK;
            }
            const int locAxis = locAxisOfOffset(anOffset);
            if (locAxis < 0 || !aDevice->myHardware->myDesc.myAxes[locAxis].myPresentFlag)
                return IN_ERR_NOT_FOUND;
            locTable[locAxis] = aValue;
            return IN_OK;
        }
    }
    return IN_ERR_INVALID;
}

IN_Result IN_GetProperty(IN_Device* aDevice, IN_Property aProperty, int anOffset, int* aValue)
{
    if (!aDevice || !aValue)
        return IN_ERR_INVALID;
    if (!aDevice->myHardware)
        return IN_ERR_UNPLUGGED;
    switch (aProperty)
    {
        case IN_PROP_BUFFER_SIZE:
            *aValue = aDevice->myBufferSize;
            return IN_OK;
        case IN_PROP_CALIBRATION_MODE:
            if (!locIsJoystick(aDevice))
                return IN_ERR_NOT_FOUND;
            *aValue = aDevice->myCalibration;
            return IN_OK;
        case IN_PROP_DEAD_ZONE:
        case IN_PROP_SATURATION:
        {
            const int locAxis = locAxisOfOffset(anOffset);
            if (!locIsJoystick(aDevice) || locAxis < 0 || !aDevice->myHardware->myDesc.myAxes[locAxis].myPresentFlag)
                return IN_ERR_NOT_FOUND;
            *aValue = aProperty == IN_PROP_DEAD_ZONE ? aDevice->myDeadZone[locAxis] : aDevice->mySaturation[locAxis];
            return IN_OK;
        }
    }
    return IN_ERR_INVALID;
}

IN_Result IN_GetRange(IN_Device* aDevice, int anOffset, int* aMin, int* aMax)
{
    if (!aDevice || !aMin || !aMax)
        return IN_ERR_INVALID;
    if (!aDevice->myHardware)
        return IN_ERR_UNPLUGGED;
    const int locAxis = locAxisOfOffset(anOffset);
    if (!locIsJoystick(aDevice) || locAxis < 0 || !aDevice->myHardware->myDesc.myAxes[locAxis].myPresentFlag)
        return IN_ERR_NOT_FOUND;
    *aMin = aDevice->myRangeMin[locAxis];
    *aMax = aDevice->myRangeMax[locAxis];
    return IN_OK;
}

IN_Result IN_SetRange(IN_Device* aDevice, int anOffset, int aMin, int aMax)
{
    if (!aDevice || aMin >= aMax)
        return IN_ERR_INVALID;
    if (!aDevice->myHardware)
        return IN_ERR_UNPLUGGED;
    if (!locIsJoystick(aDevice))
        return IN_ERR_NOT_FOUND;
    if (anOffset == IN_WHOLE_DEVICE)
    {
        for (int i = 0; i < IN_MAX_AXES; i++)
        {
            aDevice->myRangeMin[i] = aMin;
            aDevice->myRangeMax[i] = aMax;
        }
        return IN_OK;
    }
    const int locAxis = locAxisOfOffset(anOffset);
    if (locAxis < 0 || !aDevice->myHardware->myDesc.myAxes[locAxis].myPresentFlag)
        return IN_ERR_NOT_FOUND;
    aDevice->myRangeMin[locAxis] = aMin;
    aDevice->myRangeMax[locAxis] = aMax;
    return IN_OK;
}

IN_Result IN_Acquire(IN_Device* aDevice)
{
    if (!aDevice)
        return IN_ERR_INVALID;
    if (!aDevice->myHardware)
        return IN_ERR_UNPLUGGED;
    if (aDevice->myFormat == IN_FORMAT_NONE)
        return IN_ERR_INVALID;
    if ((aDevice->myCoopFlags & IN_COOP_FOREGROUND) && !locGlobals().myForegroundFlag)
        return IN_ERR_BACKGROUND;
    if (aDevice->myAcquiredFlag)
        return IN_OK;
    aDevice->myAcquiredFlag = true;
    aDevice->myLostFlag = false;
    locClearEvents(aDevice);
    memset(aDevice->myMotion, 0, sizeof(aDevice->myMotion));
    if (locIsJoystick(aDevice))
    {
        for (int i = 0; i < IN_MAX_AXES; i++)
            aDevice->myLastAxes[i] = locCookAxis(aDevice, i, aDevice->myHardware->myAxes[i]);
    }
    return IN_OK;
}

IN_Result IN_Unacquire(IN_Device* aDevice)
{
    if (!aDevice)
        return IN_ERR_INVALID;
    aDevice->myAcquiredFlag = false;
    aDevice->myLostFlag = false;
    return IN_OK;
}

IN_Result IN_Poll(IN_Device* aDevice)
{
    const IN_Result locResult = locCheckAcquired(aDevice);
    if (IN_Failed(locResult))
        return locResult;
    if (aDevice->myHardware->myPump)
        aDevice->myHardware->myPump(aDevice->myHardware->myPumpData);
    // The source may have found its device gone.
    return aDevice->myHardware ? IN_OK : IN_ERR_UNPLUGGED;
}

IN_Result IN_GetDeviceEvent(IN_Device* aDevice, IN_Event* anEvent, int* aCount)
{
    if (aCount)
        *aCount = 0;
    if (!anEvent || !aCount)
        return IN_ERR_INVALID;
    const IN_Result locResult = locCheckAcquired(aDevice);
    if (IN_Failed(locResult))
        return locResult;
    if (aDevice->myBufferSize <= 0)
        return IN_ERR_NOT_BUFFERED;
    if (aDevice->myNumEvents > 0)
    {
        *anEvent = aDevice->myEvents[aDevice->myFirstEvent];
        aDevice->myFirstEvent = (aDevice->myFirstEvent + 1) % aDevice->myBufferSize;
        aDevice->myNumEvents--;
        *aCount = 1;
    }
    if (aDevice->myOverflowFlag)
    {
        aDevice->myOverflowFlag = false;
        return IN_BUFFER_OVERFLOW;
    }
    return IN_OK;
}

IN_Result IN_FlushDeviceEvents(IN_Device* aDevice)
{
    const IN_Result locResult = locCheckAcquired(aDevice);
    if (IN_Failed(locResult))
        return locResult;
    locClearEvents(aDevice);
    return IN_OK;
}

IN_Result IN_GetDeviceState(IN_Device* aDevice, void* aState, int aSize)
{
    if (!aState)
        return IN_ERR_INVALID;
    const IN_Result locResult = locCheckAcquired(aDevice);
    if (IN_Failed(locResult))
        return locResult;
    if (aSize != locFormatSize(aDevice->myFormat))
        return IN_ERR_INVALID;
    const IN_Hardware* locHardware = aDevice->myHardware;
    uint8_t* locState = (uint8_t*)aState;
    switch (aDevice->myFormat)
    {
        case IN_FORMAT_KEYBOARD:
            memcpy(locState, locHardware->myKeys, IN_KEYBOARD_STATE_SIZE);
            break;
        case IN_FORMAT_MOUSE:
            memcpy(locState, aDevice->myMotion, sizeof(aDevice->myMotion));
            memset(aDevice->myMotion, 0, sizeof(aDevice->myMotion));
            memcpy(locState + IN_MOUSE_BUTTON0, locHardware->myButtons, IN_MAX_MOUSE_BUTTONS);
            break;
        case IN_FORMAT_JOYSTICK:
            for (int i = 0; i < IN_MAX_AXES; i++)
            {
                int32_t locValue = 0;
                if (locHardware->myDesc.myAxes[i].myPresentFlag)
                    locValue = locCookAxis(aDevice, i, locHardware->myAxes[i]);
                memcpy(locState + 4 * i, &locValue, 4);
            }
            memcpy(locState + IN_JOY_POV0, locHardware->myPOVs, sizeof(locHardware->myPOVs));
            memcpy(locState + IN_JOY_BUTTON0, locHardware->myButtons, IN_MAX_JOY_BUTTONS);
            break;
        default:
            return IN_ERR_INVALID;
    }
    return IN_OK;
}
