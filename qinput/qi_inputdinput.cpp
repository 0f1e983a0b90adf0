// The live input object: device creation with its tables per kind, and the
// per-frame reading of keyboards, mice and joysticks through the input layer.
#include "qinput/qi_inputdinput.h"

#include "qinput/qi_input_local.h"

#include <math.h>
#include <string.h>

#include <new>

IN_System* QI_InputDInput::ourSystem = nullptr;

namespace
{
constexpr uint16_t locRawPadVendor = 0x045E;
constexpr uint16_t locRawPadProduct = 0x0033;
constexpr int locBufferSize = 16;
constexpr uint32_t locMaxAxes = 2048;    // what a recording can address
constexpr uint32_t locMaxButtons = 256;
constexpr float locHundredthDegree = 0.00017453289f;  // radians

struct CreateContext
{
    QI_InputDInput* myInput;
    bool mySharedFlag;
};

void locNameAxes(QI_Device* aDevice)
{
    for (uint32_t i = 0; i < aDevice->myNumAxes; i++)
    {
        QI_Axis& locAxis = aDevice->myAxes[i];
        if (aDevice->myKind == QI_MOUSE && i < 3)
            locAxis.myName = i == 0 ? "X" : (i == 1 ? "Y" : "Wheel");
        else
            locAxis.myName.Format("Axis %u", i + 1);
    }
}

void locNameButtons(QI_Device* aDevice)
{
    static const char* const locMouseNames[] = {"Left Button", "Right Button", "Middle Button"};
    for (uint32_t i = 0; i < aDevice->myNumButtons; i++)
    {
        QI_Button& locButton = aDevice->myButtons[i];
        if (aDevice->myKind == QI_KEYBOARD)
            locButton.myName.Format("Key %u", i);
        else if (aDevice->myKind == QI_MOUSE && i < 3)
            locButton.myName = locMouseNames[i];
        else
            locButton.myName.Format("Button %u", i + 1);
    }
}

// The enumeration callback: one attached device becomes a table-bearing
// device of the input object, or is skipped. Enumeration always goes on.
bool locCreateDevice(const IN_DeviceInfo& anInfo, int anIndex, void* aUserData)
{
    CreateContext* locContext = (CreateContext*)aUserData;
    QI_InputDInput* locInput = locContext->myInput;
    if (locInput->myNumDevices >= QI_MAX_DEVICES)
        return true;
    IN_Device* locHandle = nullptr;
    if (IN_Failed(IN_CreateDevice(QI_InputDInput::ourSystem, anIndex, &locHandle)))
        return true;
    const int locLevel = locContext->mySharedFlag ? (IN_COOP_FOREGROUND | IN_COOP_NONEXCLUSIVE)
                                                  : (IN_COOP_FOREGROUND | IN_COOP_EXCLUSIVE | IN_COOP_NOWINKEY);
    IN_DeviceInfo locInfo;
    if (IN_Failed(IN_SetCooperativeLevel(locHandle, locLevel)) || IN_Failed(IN_GetDeviceInfo(locHandle, &locInfo)))
    {
        IN_ReleaseDevice(locHandle);
        return true;
    }
    uint32_t locKind;
    if (locInfo.myVendor == locRawPadVendor && locInfo.myProduct == locRawPadProduct)
        locKind = QI_RAW_PAD;
    else if (locInfo.myType == IN_TYPE_KEYBOARD)
        locKind = QI_KEYBOARD;
    else if (locInfo.myType == IN_TYPE_MOUSE)
        locKind = QI_MOUSE;
    else if (locInfo.myType == IN_TYPE_JOYSTICK)
        locKind = QI_JOYSTICK;
    else
    {
        IN_ReleaseDevice(locHandle);
        return true;
    }

    QI_DInputDevice* locDevice = new (std::nothrow) QI_DInputDevice(nullptr);
    if (!locDevice)
    {
        IN_ReleaseDevice(locHandle);
        return true;
    }
    locDevice->myKind = locKind;
    locDevice->myName.Format("%s", locInfo.myName);
    uint32_t locNumAxes = 0;
    uint32_t locNumButtons = 0;
    IN_DataFormat locFormat = IN_FORMAT_JOYSTICK;
    switch (locKind)
    {
        case QI_KEYBOARD:
            locFormat = IN_FORMAT_KEYBOARD;
            locNumButtons = 256;
            break;
        case QI_MOUSE:
            locFormat = IN_FORMAT_MOUSE;
            locNumAxes = locInfo.myNumAxes > 0 ? (uint32_t)locInfo.myNumAxes : 0;
            locNumButtons = locInfo.myNumButtons > 0 ? (uint32_t)locInfo.myNumButtons : 0;
            break;
        default:
            locNumAxes = 8;
            locNumButtons = locInfo.myNumButtons > 0 ? (uint32_t)locInfo.myNumButtons : 0;
            break;
    }
    if (locNumAxes > locMaxAxes)
        locNumAxes = locMaxAxes;
    if (locNumButtons > locMaxButtons)
        locNumButtons = locMaxButtons;
    bool locOkFlag = locDevice->CreateAxes(locNumAxes) && locDevice->CreateButtons(locNumButtons);
    if (locOkFlag)
    {
        locNameAxes(locDevice);
        locNameButtons(locDevice);
        locOkFlag = !IN_Failed(IN_SetDataFormat(locHandle, locFormat));
    }
    if (locOkFlag && locKind == QI_JOYSTICK)
    {
        // The two sliders read their range at offset 0, as X.
        static const int locRangeOffsets[8] = {0, 4, 8, 12, 16, 20, 0, 0};
        for (uint32_t i = 0; i < 8; i++)
        {
            QI_Axis& locAxis = locDevice->myAxes[i];
            locAxis.myScale = 1.0f / 256.0f;
            int locMin, locMax;
            if (!IN_Failed(IN_GetRange(locHandle, locRangeOffsets[i], &locMin, &locMax)))
                locAxis.myCentre = (int)(((int64_t)locMax - locMin) / 2);
        }
        for (int locOffset = 0; locOffset <= 20; locOffset += 4)
        {
            IN_SetProperty(locHandle, IN_PROP_DEAD_ZONE, locOffset, 1000);
            IN_SetProperty(locHandle, IN_PROP_SATURATION, locOffset, 9500);
        }
    }
    if (locOkFlag && locKind == QI_RAW_PAD)
        locOkFlag = !IN_Failed(IN_SetProperty(locHandle, IN_PROP_CALIBRATION_MODE, IN_WHOLE_DEVICE, IN_CALIBRATION_RAW));
    else if (locOkFlag)
        locOkFlag = !IN_Failed(IN_SetProperty(locHandle, IN_PROP_BUFFER_SIZE, IN_WHOLE_DEVICE, locBufferSize));
    if (!locOkFlag)
    {
        delete locDevice;
        IN_ReleaseDevice(locHandle);
        return true;
    }
    locDevice->myDevice = locHandle;
    locInput->AddDevice(locDevice);
    return true;
}

// Integer steps of the original reading: (value × factor / 512), truncating toward zero.
float locScaled(int64_t aValue, int64_t aFactor, float aScale)
{
    return (float)(aValue * aFactor / 512) * aScale;
}

int32_t locStateWord(const uint8_t* aState, int anOffset)
{
    int32_t locValue;
    memcpy(&locValue, aState + anOffset, 4);
    return locValue;
}
} // namespace

// [Input object]

bool QI_Input::Init(bool aSharedFlag, void* aHostWindow)
{
    if (ourInstance)
    {
        QI_SetErrorCode(QI_ERROR_EXISTS);
        return false;
    }
    if (!IN_AttachWindow(aHostWindow))
    {
        QI_SetErrorCode(QI_ERROR_NO_WINDOW);
        return false;
    }
    IN_System* locSystem = IN_Open();
    QI_InputDInput* locInput = locSystem ? new (std::nothrow) QI_InputDInput : nullptr;
    if (!locInput)
    {
        if (locSystem)
            IN_Close(locSystem);
        IN_DetachWindow();
        QI_SetErrorCode(locSystem ? QI_ERROR_NO_MEMORY : QI_ERROR_NO_SYSTEM);
        return false;
    }
    QI_InputDInput::ourSystem = locSystem;
    ourInstance = locInput;
    locInput->InitCommon();
    CreateContext locContext = {locInput, aSharedFlag};
    if (IN_Failed(IN_EnumDevices(locSystem, locCreateDevice, &locContext)))
    {
        Shutdown();
        QI_SetErrorCode(QI_ERROR_ENUMERATION);
        return false;
    }
    return true;
}

QI_InputDInput::~QI_InputDInput()
{
    IN_Close(ourSystem);
    ourSystem = nullptr;
    IN_DetachWindow();
}

void QI_InputDInput::FetchTypedText()
{
    char locText[IN_MAX_TYPED_TEXT + 1];
    IN_TakeTypedText(locText, sizeof(locText));
    myTypedText = locText;
}

// [Devices]

QI_DInputDevice::QI_DInputDevice(IN_Device* aDevice) : myDevice(aDevice)
{
}

QI_DInputDevice::~QI_DInputDevice()
{
    if (myDevice)
    {
        IN_Unacquire(myDevice);
        IN_ReleaseDevice(myDevice);
    }
}

bool QI_DInputDevice::Activate()
{
    if (!myDevice)
        return false;
    IN_Acquire(myDevice);
    Reset();
    return true;
}

bool QI_DInputDevice::Deactivate()
{
    if (!myDevice)
        return false;
    IN_Unacquire(myDevice);
    return true;
}

template <class Read> bool QI_DInputDevice::Retry(Read aRead, int* aResult)
{
    int locResult = aRead();
    // Bounded: an acquire that works is followed by a read that does.
    for (int locTry = 0; locTry < 4 && (locResult == IN_ERR_INPUT_LOST || locResult == IN_ERR_NOT_ACQUIRED); locTry++)
    {
        if (IN_Failed(IN_Acquire(myDevice)))
            return false;
        locResult = aRead();
    }
    if (aResult)
        *aResult = locResult;
    return !IN_Failed(locResult);
}

bool QI_DInputDevice::ReadEvents()
{
    bool locMouseOverflowFlag = false;
    // The buffer holds 16 events; the bound only guards against a source that never stops.
    for (int locRead = 0; locRead < 4096; locRead++)
    {
        IN_Event locEvent;
        int locCount = 0;
        int locResult;
        if (!Retry([&] { return IN_GetDeviceEvent(myDevice, &locEvent, &locCount); }, &locResult))
            return false;
        if (locResult == IN_BUFFER_OVERFLOW && myKind == QI_KEYBOARD)
        {
            // Events were lost: the whole key state is read instead.
            uint8_t locKeys[IN_KEYBOARD_STATE_SIZE];
            if (!Retry([&] { return IN_FlushDeviceEvents(myDevice); }) ||
                !Retry([&] { return IN_GetDeviceState(myDevice, locKeys, sizeof(locKeys)); }))
                return false;
            for (uint32_t i = 0; i < myNumButtons && i < IN_KEYBOARD_STATE_SIZE; i++)
            {
                myButtons[i].myCurrent = (locKeys[i] >> 7) & 1;
                myButtons[i].myTransientPress = 0;
                myButtons[i].myTransientRelease = 0;
            }
            return true;
        }
        if (locResult == IN_BUFFER_OVERFLOW)
            locMouseOverflowFlag = myKind == QI_MOUSE;
        if (locCount == 0)
            break;

        int locButton = -1;
        if (myKind == QI_KEYBOARD)
            locButton = (int)locEvent.myOffset;
        else if (myKind == QI_MOUSE)
        {
            const float locMotion = (float)(int32_t)locEvent.myData;
            if (locEvent.myOffset == IN_MOUSE_X && myNumAxes >= 1)
                myAxes[0].myValue += locMotion * myAxes[0].myScale;
            else if (locEvent.myOffset == IN_MOUSE_Y && myNumAxes >= 2)
                myAxes[1].myValue += locMotion * myAxes[1].myScale;
            else if (locEvent.myOffset == IN_MOUSE_Z && myNumAxes >= 3)
                myAxes[2].myValue += locMotion * myAxes[2].myScale;
            else if (locEvent.myOffset >= IN_MOUSE_BUTTON0 && locEvent.myOffset < IN_MOUSE_BUTTON0 + 8)
                locButton = (int)locEvent.myOffset - IN_MOUSE_BUTTON0;
        }
        else if (locEvent.myOffset >= IN_JOY_BUTTON0 && locEvent.myOffset < IN_JOY_BUTTON0 + 32)
            locButton = (int)locEvent.myOffset - IN_JOY_BUTTON0;
        if (locButton >= 0 && (uint32_t)locButton < myNumButtons)
        {
            QI_Button& locEntry = myButtons[locButton];
            locEntry.myCurrent = (locEvent.myData >> 7) & 1;
            if (locEntry.myCurrent)
                locEntry.myTransientPress = 1;
            else
                locEntry.myTransientRelease = 1;
        }
    }
    if (locMouseOverflowFlag)
    {
        // The events read count for the axes; the buttons come from the state.
        uint8_t locState[IN_MOUSE_STATE_SIZE];
        if (!Retry([&] { return IN_GetDeviceState(myDevice, locState, sizeof(locState)); }))
            return false;
        for (uint32_t i = 0; i < myNumButtons && i < 8; i++)
        {
            myButtons[i].myCurrent = (locState[IN_MOUSE_BUTTON0 + i] >> 7) & 1;
            myButtons[i].myTransientPress = 0;
            myButtons[i].myTransientRelease = 0;
        }
    }
    return true;
}

bool QI_DInputDevice::ReadJoystick()
{
    uint8_t locState[IN_JOYSTICK_STATE_SIZE];
    if (!Retry([&] { return IN_GetDeviceState(myDevice, locState, sizeof(locState)); }))
        return false;
    for (uint32_t i = 0; i < 6 && i < myNumAxes; i++)
    {
        QI_Axis& locAxis = myAxes[i];
        const float locPosition =
            locScaled((int64_t)locStateWord(locState, 4 * i) - locAxis.myCentre, 1000, locAxis.myScale);
        if (locAxis.mySuppressFlag)
        {
            // The first reading sets the position without a movement.
            locAxis.myValue = 0.0f;
            locAxis.myPosition = locPosition;
            locAxis.mySuppressFlag = false;
        }
        else
            locAxis.myValue = locPosition - locAxis.myPosition;
    }
    if (myNumAxes < 8)
        return true;
    uint32_t locPOV;
    memcpy(&locPOV, locState + IN_JOY_POV0, 4);
    QI_Axis& locHatX = myAxes[6];
    QI_Axis& locHatY = myAxes[7];
    if ((locPOV & 0xFFFF) == 0xFFFF)
    {
        locHatX.myValue = 0.0f;
        locHatY.myValue = 0.0f;
    }
    else
    {
        const float locAngle = (float)locPOV * locHundredthDegree;
        locHatX.myValue = sinf(locAngle) * 128.0f;
        locHatY.myValue = cosf(locAngle) * 128.0f;
    }
    if (locHatX.mySuppressFlag)
    {
        locHatX.myValue = 0.0f;
        locHatY.myValue = 0.0f;
        locHatX.mySuppressFlag = false;
        locHatY.mySuppressFlag = false;
    }
    locHatX.myPosition = 0.0f;
    locHatY.myPosition = 0.0f;
    return true;
}

bool QI_DInputDevice::ReadRawPad()
{
    uint8_t locState[IN_JOYSTICK_STATE_SIZE];
    if (!Retry([&] { return IN_GetDeviceState(myDevice, locState, sizeof(locState)); }))
        return false;
    if (myNumAxes < 6)
        return true;
    myAxes[0].myValue = locScaled(locStateWord(locState, IN_JOY_X), 1000, myAxes[0].myScale);
    myAxes[1].myValue = locScaled(locStateWord(locState, IN_JOY_Y), -1000, myAxes[1].myScale);
    myAxes[5].myValue = locScaled(locStateWord(locState, IN_JOY_RZ), 1000, myAxes[5].myScale);
    return true;
}

bool QI_DInputDevice::Poll()
{
    StartFrame();
    if (!myDevice)
        return false;
    if (!Retry([&] { return IN_Poll(myDevice); }))
        return false;
    if (myKind != QI_RAW_PAD && !ReadEvents())
        return false;
    if (myKind == QI_JOYSTICK && !ReadJoystick())
        return false;
    if (myKind == QI_RAW_PAD && !ReadRawPad())
        return false;
    // End of frame: a transient flag stands only when the button is back where it was.
    for (uint32_t i = 0; i < myNumButtons; i++)
    {
        QI_Button& locButton = myButtons[i];
        if (locButton.myCurrent)
            locButton.myTransientPress = 0;
        else
            locButton.myTransientRelease = 0;
    }
    for (uint32_t i = 0; i < myNumAxes; i++)
        myAxes[i].myPosition += myAxes[i].myValue;
    return true;
}
