// The input layer through its scripted source: acquisition and the
// foreground, event buffers and their overflow, state blocks, joystick
// properties, typed text.
#include <gtest/gtest.h>

#include "platform/input/in_script.h"

#include <string.h>

#include <string>
#include <vector>

namespace
{
class IN_InputTest : public ::testing::Test
{
protected:
    void SetUp() override { mySystem = IN_Open(); }
    void TearDown() override
    {
        for (IN_Device* locDevice : myDevices)
            IN_ReleaseDevice(locDevice);
        IN_Close(mySystem);
    }

    // A device object over the last attached device, set up as the input library does.
    IN_Device* Create(IN_DataFormat aFormat, int aBufferSize = 16, int aFlags = IN_COOP_FOREGROUND | IN_COOP_NONEXCLUSIVE)
    {
        int locLast = -1;
        IN_EnumDevices(mySystem, [](const IN_DeviceInfo&, int anIndex, void* aLast) {
            *(int*)aLast = anIndex;
            return true;
        }, &locLast);
        IN_Device* locDevice = nullptr;
        EXPECT_EQ(IN_OK, IN_CreateDevice(mySystem, locLast, &locDevice));
        EXPECT_EQ(IN_OK, IN_SetCooperativeLevel(locDevice, aFlags));
        EXPECT_EQ(IN_OK, IN_SetDataFormat(locDevice, aFormat));
        if (aBufferSize)
        {
            EXPECT_EQ(IN_OK, IN_SetProperty(locDevice, IN_PROP_BUFFER_SIZE, IN_WHOLE_DEVICE, aBufferSize));
        }
        myDevices.push_back(locDevice);
        return locDevice;
    }

    std::vector<IN_Event> Drain(IN_Device* aDevice, int* aLastResult = nullptr)
    {
        std::vector<IN_Event> locEvents;
        for (;;)
        {
            IN_Event locEvent;
            int locCount = 0;
            const int locResult = IN_GetDeviceEvent(aDevice, &locEvent, &locCount);
            if (aLastResult && locResult != IN_OK)
                *aLastResult = locResult;
            if (IN_Failed(locResult) || locCount == 0)
                return locEvents;
            locEvents.push_back(locEvent);
        }
    }

    IN_Script myScript;
    IN_System* mySystem = nullptr;
    std::vector<IN_Device*> myDevices;
};

TEST_F(IN_InputTest, ListsOnlyTheScriptsDevicesInAttachOrder)
{
    myScript.AddKeyboard("Keyboard A");
    myScript.AddMouse("Mouse A");
    myScript.AddJoystick("Stick", 0x045E, 0x0033, 6, 0x23, 0, 1023, 1);
    std::vector<std::string> locNames;
    std::vector<int> locTypes;
    IN_DeviceInfo locStick;
    struct Seen
    {
        std::vector<std::string>* myNames;
        std::vector<int>* myTypes;
        IN_DeviceInfo* myLast;
    } locSeen = {&locNames, &locTypes, &locStick};
    ASSERT_EQ(IN_OK, IN_EnumDevices(mySystem, [](const IN_DeviceInfo& anInfo, int, void* aSeen) {
        Seen* locSeenPtr = (Seen*)aSeen;
        locSeenPtr->myNames->push_back(anInfo.myName);
        locSeenPtr->myTypes->push_back(anInfo.myType);
        *locSeenPtr->myLast = anInfo;
        return true;
    }, &locSeen));
    EXPECT_EQ((std::vector<std::string>{"Keyboard A", "Mouse A", "Stick"}), locNames);
    EXPECT_EQ((std::vector<int>{IN_TYPE_KEYBOARD, IN_TYPE_MOUSE, IN_TYPE_JOYSTICK}), locTypes);
    // Axes counted from the mask (X, Y, slider 1), vendor and product kept.
    EXPECT_EQ(3, locStick.myNumAxes);
    EXPECT_EQ(6, locStick.myNumButtons);
    EXPECT_EQ(0x045E, locStick.myVendor);
    EXPECT_EQ(0x0033, locStick.myProduct);
}

TEST_F(IN_InputTest, AcquisitionFollowsTheForegroundAndReportsTheLossOnce)
{
    IN_Hardware* locKeyboard = myScript.AddKeyboard();
    IN_Device* locDevice = Create(IN_FORMAT_KEYBOARD);
    uint8_t locKeys[256];
    EXPECT_EQ(IN_ERR_NOT_ACQUIRED, IN_GetDeviceState(locDevice, locKeys, sizeof(locKeys)));
    EXPECT_EQ(IN_OK, IN_Acquire(locDevice));
    EXPECT_EQ(IN_OK, IN_Poll(locDevice));

    IN_SetForeground(false);
    IN_FeedKey(locKeyboard, 30, true);  // dropped: nobody holds the device
    EXPECT_EQ(IN_ERR_INPUT_LOST, IN_Poll(locDevice));
    EXPECT_EQ(IN_ERR_NOT_ACQUIRED, IN_Poll(locDevice));
    EXPECT_EQ(IN_ERR_BACKGROUND, IN_Acquire(locDevice));

    IN_SetForeground(true);
    EXPECT_EQ(IN_OK, IN_Acquire(locDevice));
    EXPECT_TRUE(Drain(locDevice).empty());
    // A background device keeps its acquisition.
    IN_Device* locBackground = Create(IN_FORMAT_KEYBOARD, 16, IN_COOP_BACKGROUND | IN_COOP_NONEXCLUSIVE);
    EXPECT_EQ(IN_OK, IN_Acquire(locBackground));
    IN_SetForeground(false);
    EXPECT_EQ(IN_OK, IN_Poll(locBackground));
    IN_SetForeground(true);
}

TEST_F(IN_InputTest, RefusesBadSetUp)
{
    myScript.AddKeyboard();
    IN_Device* locDevice = Create(IN_FORMAT_KEYBOARD, 0);
    EXPECT_EQ(IN_ERR_INVALID, IN_SetDataFormat(locDevice, IN_FORMAT_MOUSE));
    EXPECT_EQ(IN_ERR_INVALID, IN_SetCooperativeLevel(locDevice, IN_COOP_FOREGROUND));
    EXPECT_EQ(IN_ERR_INVALID, IN_SetCooperativeLevel(locDevice, IN_COOP_EXCLUSIVE | IN_COOP_NONEXCLUSIVE | IN_COOP_FOREGROUND));
    EXPECT_EQ(IN_ERR_INVALID, IN_SetProperty(locDevice, IN_PROP_BUFFER_SIZE, 0, 16));
    EXPECT_EQ(IN_ERR_NOT_FOUND, IN_SetProperty(locDevice, IN_PROP_DEAD_ZONE, IN_WHOLE_DEVICE, 1000));
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));
    IN_Event locEvent;
    int locCount;
    EXPECT_EQ(IN_ERR_NOT_BUFFERED, IN_GetDeviceEvent(locDevice, &locEvent, &locCount));
    EXPECT_EQ(IN_ERR_ACQUIRED, IN_SetProperty(locDevice, IN_PROP_BUFFER_SIZE, IN_WHOLE_DEVICE, 16));
    uint8_t locKeys[256];
    EXPECT_EQ(IN_ERR_INVALID, IN_GetDeviceState(locDevice, locKeys, 20));
}

TEST_F(IN_InputTest, KeyboardEventsAndOverflowKeepTheOldestAndTheWholeState)
{
    IN_Hardware* locKeyboard = myScript.AddKeyboard();
    IN_Device* locDevice = Create(IN_FORMAT_KEYBOARD);
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));
    IN_FeedKey(locKeyboard, 1, true);
    IN_FeedKey(locKeyboard, 1, true);  // auto-repeat: no second event
    IN_FeedKey(locKeyboard, 1, false);
    std::vector<IN_Event> locEvents = Drain(locDevice);
    ASSERT_EQ(2u, locEvents.size());
    EXPECT_EQ(1u, locEvents[0].myOffset);
    EXPECT_EQ(0x80u, locEvents[0].myData);
    EXPECT_EQ(0u, locEvents[1].myData);
    EXPECT_LT(locEvents[0].mySequence, locEvents[1].mySequence);

    for (int i = 0; i < 20; i++)
        IN_FeedKey(locKeyboard, 2 + i, true);
    int locLast = IN_OK;
    IN_Event locFirst;
    int locCount = 0;
    EXPECT_EQ(IN_BUFFER_OVERFLOW, IN_GetDeviceEvent(locDevice, &locFirst, &locCount));
    EXPECT_EQ(1, locCount);
    EXPECT_EQ(2u, locFirst.myOffset);
    EXPECT_EQ(15u, Drain(locDevice, &locLast).size());
    EXPECT_EQ(IN_OK, locLast);  // reported once
    uint8_t locKeys[256];
    ASSERT_EQ(IN_OK, IN_GetDeviceState(locDevice, locKeys, sizeof(locKeys)));
    for (int i = 0; i < 256; i++)
        EXPECT_EQ((i >= 2 && i < 22) ? 0x80 : 0, locKeys[i]) << i;
}

TEST_F(IN_InputTest, MouseStateCarriesMotionSinceTheLastRead)
{
    IN_Hardware* locMouse = myScript.AddMouse();
    IN_Device* locDevice = Create(IN_FORMAT_MOUSE);
    IN_FeedMotion(locMouse, 50, 50);  // before acquisition: not seen
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));
    IN_FeedMotion(locMouse, 3, 0);
    IN_FeedMotion(locMouse, -1, 2);
    IN_FeedWheel(locMouse, -120);
    IN_FeedButton(locMouse, 4, true);
    IN_FeedButton(locMouse, 5, true);  // the mouse has 5 buttons
    std::vector<IN_Event> locEvents = Drain(locDevice);
    ASSERT_EQ(5u, locEvents.size());
    EXPECT_EQ((uint32_t)IN_MOUSE_X, locEvents[0].myOffset);
    EXPECT_EQ(-1, (int32_t)locEvents[1].myData);
    EXPECT_EQ((uint32_t)IN_MOUSE_Y, locEvents[2].myOffset);
    EXPECT_EQ(-120, (int32_t)locEvents[3].myData);
    EXPECT_EQ((uint32_t)IN_MOUSE_BUTTON0 + 4, locEvents[4].myOffset);

    uint8_t locState[IN_MOUSE_STATE_SIZE];
    int32_t locAxes[3];
    ASSERT_EQ(IN_OK, IN_GetDeviceState(locDevice, locState, sizeof(locState)));
    memcpy(locAxes, locState, sizeof(locAxes));
    EXPECT_EQ(2, locAxes[0]);
    EXPECT_EQ(2, locAxes[1]);
    EXPECT_EQ(-120, locAxes[2]);
    EXPECT_EQ(0x80, locState[IN_MOUSE_BUTTON0 + 4]);
    EXPECT_EQ(0, locState[IN_MOUSE_BUTTON0 + 5]);
    ASSERT_EQ(IN_OK, IN_GetDeviceState(locDevice, locState, sizeof(locState)));
    memcpy(locAxes, locState, sizeof(locAxes));
    EXPECT_EQ(0, locAxes[0]);
    EXPECT_EQ(0, locAxes[2]);
}

TEST_F(IN_InputTest, JoystickAxesAreRescaledWithDeadZoneAndSaturation)
{
    IN_Hardware* locStick = myScript.AddJoystick("Stick", 1, 2, 4, 0x3, 0, 1000, 1);
    IN_Device* locDevice = Create(IN_FORMAT_JOYSTICK);
    int locMin = -1, locMax = -1;
    ASSERT_EQ(IN_OK, IN_GetRange(locDevice, IN_JOY_X, &locMin, &locMax));
    EXPECT_EQ(0, locMin);
    EXPECT_EQ(65535, locMax);
    EXPECT_EQ(IN_ERR_NOT_FOUND, IN_GetRange(locDevice, IN_JOY_Z, &locMin, &locMax));
    EXPECT_EQ(IN_ERR_NOT_FOUND, IN_SetProperty(locDevice, IN_PROP_DEAD_ZONE, IN_JOY_RZ, 1000));
    ASSERT_EQ(IN_OK, IN_SetProperty(locDevice, IN_PROP_DEAD_ZONE, IN_JOY_X, 1000));
    ASSERT_EQ(IN_OK, IN_SetProperty(locDevice, IN_PROP_SATURATION, IN_JOY_X, 9500));
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));

    struct Case
    {
        int myRaw;
        int32_t myX;  // dead zone 10 %, saturation 95 %
        int32_t myY;  // untouched properties
    };
    const Case locCases[] = {
        {500, 32767, 32767},   // centre
        {540, 32767, 35389},   // inside the dead zone on X
        {1000, 65535, 65535},  // full travel
        {990, 65535, 64880},   // beyond the saturation on X
        {0, 0, 0},
        {775, 50115, 50790},   // between dead zone and saturation on X: (55 - 10) / (95 - 10) of the half travel
    };
    for (const Case& locCase : locCases)
    {
        IN_FeedAxis(locStick, 0, locCase.myRaw);
        IN_FeedAxis(locStick, 1, locCase.myRaw);
        uint8_t locState[IN_JOYSTICK_STATE_SIZE];
        ASSERT_EQ(IN_OK, IN_GetDeviceState(locDevice, locState, sizeof(locState)));
        int32_t locAxes[8];
        uint32_t locPOV;
        memcpy(locAxes, locState, sizeof(locAxes));
        memcpy(&locPOV, locState + IN_JOY_POV0, 4);
        EXPECT_EQ(locCase.myX, locAxes[0]) << locCase.myRaw;
        EXPECT_EQ(locCase.myY, locAxes[1]) << locCase.myRaw;
        EXPECT_EQ(0, locAxes[2]);  // absent
        EXPECT_EQ(IN_POV_CENTRED, locPOV);
    }

    // Raw calibration reports what the source gave.
    ASSERT_EQ(IN_OK, IN_Unacquire(locDevice));
    ASSERT_EQ(IN_OK, IN_SetProperty(locDevice, IN_PROP_CALIBRATION_MODE, IN_WHOLE_DEVICE, IN_CALIBRATION_RAW));
    ASSERT_EQ(IN_OK, IN_SetRange(locDevice, IN_WHOLE_DEVICE, -100, 100));
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));
    IN_FeedAxis(locStick, 0, 123);
    uint8_t locState[IN_JOYSTICK_STATE_SIZE];
    ASSERT_EQ(IN_OK, IN_GetDeviceState(locDevice, locState, sizeof(locState)));
    int32_t locX;
    memcpy(&locX, locState, 4);
    EXPECT_EQ(123, locX);
    ASSERT_EQ(IN_OK, IN_Unacquire(locDevice));
    ASSERT_EQ(IN_OK, IN_SetProperty(locDevice, IN_PROP_CALIBRATION_MODE, IN_WHOLE_DEVICE, IN_CALIBRATION_COOKED));
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));
    ASSERT_EQ(IN_OK, IN_GetDeviceState(locDevice, locState, sizeof(locState)));
    memcpy(&locX, locState, 4);
    EXPECT_EQ(-77, locX);  // raw 123: 75.4 % below the centre, through the dead zone and saturation
}

TEST_F(IN_InputTest, JoystickEventsCarryButtonsAxesAndHat)
{
    IN_Hardware* locStick = myScript.AddJoystick("Stick", 1, 2, 4, 0x1, 0, 100, 1);
    IN_Device* locDevice = Create(IN_FORMAT_JOYSTICK);
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));
    IN_FeedButton(locStick, 3, true);
    IN_FeedAxis(locStick, 0, 50);  // the centre it already had: no event
    IN_FeedAxis(locStick, 0, 100);
    IN_FeedPOV(locStick, 0, 9000);
    IN_FeedPOV(locStick, 1, 9000);  // a second hat it does not have
    std::vector<IN_Event> locEvents = Drain(locDevice);
    ASSERT_EQ(3u, locEvents.size());
    EXPECT_EQ((uint32_t)IN_JOY_BUTTON0 + 3, locEvents[0].myOffset);
    EXPECT_EQ((uint32_t)IN_JOY_X, locEvents[1].myOffset);
    EXPECT_EQ(65535u, locEvents[1].myData);
    EXPECT_EQ((uint32_t)IN_JOY_POV0, locEvents[2].myOffset);
    EXPECT_EQ(9000u, locEvents[2].myData);
}

TEST_F(IN_InputTest, DetachedDevicesAnswerUnplugged)
{
    IN_Script* locScript = &myScript;
    IN_Hardware* locMouse = locScript->AddMouse();
    IN_Device* locDevice = Create(IN_FORMAT_MOUSE);
    ASSERT_EQ(IN_OK, IN_Acquire(locDevice));
    IN_DetachHardware(locMouse);
    EXPECT_EQ(IN_ERR_UNPLUGGED, IN_Poll(locDevice));
    EXPECT_EQ(IN_ERR_UNPLUGGED, IN_Acquire(locDevice));
}

TEST(IN_TypedText, KeepsAtMost127CharactersAndEmptiesOnTake)
{
    IN_ClearTypedText();
    for (int i = 0; i < 300; i++)
        IN_FeedTypedChar((unsigned char)('a' + i % 26));
    IN_FeedTypedChar(0xE9);  // dropped too: the buffer is full
    char locText[256];
    EXPECT_EQ(IN_MAX_TYPED_TEXT, IN_TakeTypedText(locText, sizeof(locText)));
    EXPECT_EQ(127u, strlen(locText));
    EXPECT_EQ('a', locText[0]);
    EXPECT_EQ(0, IN_TakeTypedText(locText, sizeof(locText)));
    IN_FeedTypedChar(0xE9);
    EXPECT_EQ(1, IN_TakeTypedText(locText, 4));
    EXPECT_EQ((char)0xE9, locText[0]);
}

TEST(IN_ScriptWindow, AttachingFollowsTheScriptsFocusWindow)
{
    IN_Script locScript;
    EXPECT_TRUE(IN_AttachWindow(nullptr));
    locScript.SetFocusWindow(false);
    EXPECT_FALSE(IN_AttachWindow(nullptr));
}
} // namespace
