// The evdev joystick reader fed from a pipe of input_event records, with the
// capabilities given by hand; and the scan of device folders.
#include <gtest/gtest.h>

#include "platform/input/in_evdev.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace
{
void locSetBit(uint8_t* aBits, int aBit)
{
    aBits[aBit / 8] |= (uint8_t)(1 << (aBit % 8));
}

// A gamepad: X and Y over -32768..32767, throttle 0..255, one hat, two buttons.
IN_EvdevDesc locGamepad()
{
    IN_EvdevDesc locDesc;
    snprintf(locDesc.myName, sizeof(locDesc.myName), "Test Pad");
    locDesc.myId.vendor = 0x1234;
    locDesc.myId.product = 0x5678;
    for (int locCode : {ABS_X, ABS_Y, ABS_THROTTLE, ABS_HAT0X, ABS_HAT0Y})
        locSetBit(locDesc.myAbsBits, locCode);
    locDesc.myAbs[ABS_X] = {0, -32768, 32767, 16, 128, 0};
    locDesc.myAbs[ABS_Y] = {0, -32768, 32767, 16, 128, 0};
    locDesc.myAbs[ABS_THROTTLE] = {255, 0, 255, 0, 0, 0};
    locDesc.myAbs[ABS_HAT0X] = {0, -1, 1, 0, 0, 0};
    locDesc.myAbs[ABS_HAT0Y] = {0, -1, 1, 0, 0, 0};
    locSetBit(locDesc.myKeyBits, BTN_SOUTH);
    locSetBit(locDesc.myKeyBits, BTN_EAST);
    locSetBit(locDesc.myKeyState, BTN_EAST);  // held when opened
    return locDesc;
}

class IN_EvdevTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, pipe(myPipe));
        mySystem = IN_Open();
    }
    void TearDown() override
    {
        IN_ReleaseDevice(myDevice);
        IN_EvdevDetachAll();
        IN_Close(mySystem);
        if (myPipe[1] >= 0)
            close(myPipe[1]);
    }

    // Attaches the pipe's reading end as a joystick and makes an acquired device object over it.
    void Attach(const IN_EvdevDesc& aDesc)
    {
        ASSERT_NE(nullptr, IN_EvdevAttach(myPipe[0], aDesc));
        int locIndex = -1;
        IN_EnumDevices(mySystem, [](const IN_DeviceInfo& anInfo, int anIndex, void* aFound) {
            if (!strcmp(anInfo.myName, "Test Pad"))
                *(int*)aFound = anIndex;
            return true;
        }, &locIndex);
        ASSERT_GE(locIndex, 0);
        ASSERT_EQ(IN_OK, IN_CreateDevice(mySystem, locIndex, &myDevice));
        ASSERT_EQ(IN_OK, IN_GetDeviceInfo(myDevice, &myInfo));
        ASSERT_EQ(IN_OK, IN_SetDataFormat(myDevice, IN_FORMAT_JOYSTICK));
        ASSERT_EQ(IN_OK, IN_SetProperty(myDevice, IN_PROP_BUFFER_SIZE, IN_WHOLE_DEVICE, 16));
        ASSERT_EQ(IN_OK, IN_Acquire(myDevice));
    }

    void Write(const std::vector<input_event>& anEvents, size_t aCut = 0)
    {
        const size_t locSize = anEvents.size() * sizeof(input_event) - aCut;
        ASSERT_EQ((ssize_t)locSize, write(myPipe[1], anEvents.data(), locSize));
    }

    static input_event Event(int aType, int aCode, int aValue)
    {
        input_event locEvent = {};
        locEvent.type = (uint16_t)aType;
        locEvent.code = (uint16_t)aCode;
        locEvent.value = aValue;
        return locEvent;
    }

    struct State
    {
        int32_t myAxes[8];
        uint32_t myPOVs[4];
        uint8_t myButtons[32];
    };
    State Read()
    {
        State locState;
        EXPECT_EQ(IN_OK, IN_Poll(myDevice));
        EXPECT_EQ(IN_OK, IN_GetDeviceState(myDevice, &locState, sizeof(locState)));
        return locState;
    }

    int myPipe[2] = {-1, -1};
    IN_System* mySystem = nullptr;
    IN_Device* myDevice = nullptr;
    IN_DeviceInfo myInfo;
};

TEST_F(IN_EvdevTest, CapabilitiesBecomeTheJoystickDescription)
{
    Attach(locGamepad());
    EXPECT_EQ(IN_TYPE_JOYSTICK, myInfo.myType);
    EXPECT_EQ(0x1234, myInfo.myVendor);
    EXPECT_EQ(0x5678, myInfo.myProduct);
    EXPECT_EQ(3, myInfo.myNumAxes);
    EXPECT_EQ(2, myInfo.myNumButtons);
    EXPECT_EQ(1, myInfo.myNumPOVs);
    State locState = Read();
    EXPECT_EQ(32768, locState.myAxes[0]);     // 0 is half a step above the centre of -32768..32767
    EXPECT_EQ(65535, locState.myAxes[6]);     // throttle at its top
    EXPECT_EQ(0, locState.myAxes[2]);         // no Z
    EXPECT_EQ(IN_POV_CENTRED, locState.myPOVs[0]);
    EXPECT_EQ(0, locState.myButtons[0]);
    EXPECT_EQ(0x80, locState.myButtons[1]);   // held at opening
}

TEST_F(IN_EvdevTest, EventsMoveAxesHatAndButtonsEvenWhenRecordsArriveInPieces)
{
    Attach(locGamepad());
    const std::vector<input_event> locEvents = {
        Event(EV_ABS, ABS_X, 32767),    Event(EV_ABS, ABS_Y, -32768), Event(EV_KEY, BTN_SOUTH, 1),
        Event(EV_ABS, ABS_HAT0Y, -1),   Event(EV_ABS, ABS_HAT0X, 1),  Event(EV_KEY, KEY_A, 1),
        Event(EV_SYN, SYN_REPORT, 0),
    };
    // The last record arrives in two writes.
    Write(locEvents, 10);
    State locState = Read();
    EXPECT_EQ(65535, locState.myAxes[0]);
    EXPECT_EQ(0, locState.myAxes[1]);
    EXPECT_EQ(0x80, locState.myButtons[0]);
    EXPECT_EQ(4500u, locState.myPOVs[0]);  // up and right
    ASSERT_EQ(10, write(myPipe[1], (const char*)&locEvents.back() + sizeof(input_event) - 10, 10));
    Write({Event(EV_ABS, ABS_HAT0X, 0), Event(EV_ABS, ABS_HAT0Y, 0), Event(EV_KEY, BTN_SOUTH, 0)});
    locState = Read();
    EXPECT_EQ(IN_POV_CENTRED, locState.myPOVs[0]);
    EXPECT_EQ(0, locState.myButtons[0]);

    // The button events are buffered at the joystick's button offsets.
    std::vector<uint32_t> locButtonOffsets;
    IN_Event locEvent;
    int locCount;
    while (!IN_Failed(IN_GetDeviceEvent(myDevice, &locEvent, &locCount)) && locCount)
    {
        if (locEvent.myOffset >= IN_JOY_BUTTON0)
            locButtonOffsets.push_back(locEvent.myOffset);
    }
    EXPECT_EQ((std::vector<uint32_t>{IN_JOY_BUTTON0, IN_JOY_BUTTON0}), locButtonOffsets);
}

TEST_F(IN_EvdevTest, ADroppedReportSkipsToTheNextOneAndAClosedPipeKeepsTheLastState)
{
    Attach(locGamepad());
    Write({Event(EV_ABS, ABS_X, 32767), Event(EV_SYN, SYN_DROPPED, 0), Event(EV_ABS, ABS_X, -32768),
           Event(EV_SYN, SYN_REPORT, 0)});
    EXPECT_EQ(65535, Read().myAxes[0]);
    // Past the report, events count again.
    Write({Event(EV_ABS, ABS_Y, 32767), Event(EV_SYN, SYN_REPORT, 0)});
    EXPECT_EQ(65535, Read().myAxes[1]);
    close(myPipe[1]);
    myPipe[1] = -1;
    EXPECT_EQ(65535, Read().myAxes[0]);
}

TEST_F(IN_EvdevTest, HatsGiveEightDirectionsInHundredthsOfADegree)
{
    IN_EvdevDesc locDesc = locGamepad();
    locSetBit(locDesc.myAbsBits, ABS_HAT1Y);  // a second hat, vertical only
    locDesc.myAbs[ABS_HAT1Y] = {0, -1, 1, 0, 0, 0};
    Attach(locDesc);
    EXPECT_EQ(2, myInfo.myNumPOVs);
    struct Case
    {
        int myX, myY;
        uint32_t myPOV;
    };
    const Case locCases[] = {
        {0, -1, 0},      {1, -1, 4500},   {1, 0, 9000},   {1, 1, 13500},          {0, 1, 18000},
        {-1, 1, 22500},  {-1, 0, 27000},  {-1, -1, 31500}, {0, 0, IN_POV_CENTRED}, {5, -3, 4500},
    };
    for (const Case& locCase : locCases)
    {
        Write({Event(EV_ABS, ABS_HAT0X, locCase.myX), Event(EV_ABS, ABS_HAT0Y, locCase.myY),
               Event(EV_ABS, ABS_HAT1Y, locCase.myY), Event(EV_SYN, SYN_REPORT, 0)});
        const State locState = Read();
        EXPECT_EQ(locCase.myPOV, locState.myPOVs[0]) << locCase.myX << "," << locCase.myY;
        EXPECT_EQ(locCase.myY < 0 ? 0u : (locCase.myY > 0 ? 18000u : IN_POV_CENTRED), locState.myPOVs[1]);
        EXPECT_EQ(IN_POV_CENTRED, locState.myPOVs[2]);
    }
}

TEST_F(IN_EvdevTest, ButtonsAreTheJoystickGamepadAndTriggerButtonsInCodeOrderUpTo32)
{
    IN_EvdevDesc locDesc = locGamepad();
    memset(locDesc.myKeyBits, 0, sizeof(locDesc.myKeyBits));
    memset(locDesc.myKeyState, 0, sizeof(locDesc.myKeyState));
    locSetBit(locDesc.myKeyBits, KEY_A);          // not a joystick button
    locSetBit(locDesc.myKeyBits, BTN_LEFT);       // a mouse button
    locSetBit(locDesc.myKeyBits, BTN_THUMBR);     // the last gamepad button
    locSetBit(locDesc.myKeyBits, BTN_TRIGGER);    // the first joystick button
    for (int i = 0; i < 40; i++)
        locSetBit(locDesc.myKeyBits, BTN_TRIGGER_HAPPY + i);
    Attach(locDesc);
    EXPECT_EQ(32, myInfo.myNumButtons);
    Write({Event(EV_KEY, BTN_TRIGGER, 1), Event(EV_KEY, BTN_THUMBR, 1), Event(EV_KEY, BTN_TRIGGER_HAPPY, 1),
           Event(EV_KEY, BTN_TRIGGER_HAPPY + 29, 1), Event(EV_KEY, BTN_TRIGGER_HAPPY + 30, 1),
           Event(EV_KEY, KEY_A, 1), Event(EV_KEY, BTN_LEFT, 1)});
    const State locState = Read();
    for (int i = 0; i < 32; i++)
        EXPECT_EQ(i == 0 || i == 1 || i == 2 || i == 31 ? 0x80 : 0, locState.myButtons[i]) << i;
}

TEST_F(IN_EvdevTest, DetachingEveryJoystickTakesItOffTheList)
{
    Attach(locGamepad());
    IN_EvdevDetachAll();
    EXPECT_EQ(IN_ERR_UNPLUGGED, IN_Poll(myDevice));
    bool locListedFlag = false;
    IN_EnumDevices(mySystem, [](const IN_DeviceInfo& anInfo, int, void* aListed) {
        *(bool*)aListed = *(bool*)aListed || !strcmp(anInfo.myName, "Test Pad");
        return true;
    }, &locListedFlag);
    EXPECT_FALSE(locListedFlag);
}

TEST(IN_Evdev, OnlyAbsoluteAxesWithJoystickButtonsMakeAJoystick)
{
    IN_EvdevDesc locDesc = locGamepad();
    EXPECT_TRUE(IN_EvdevIsJoystick(locDesc));
    IN_EvdevDesc locTouchpad;
    locSetBit(locTouchpad.myAbsBits, ABS_X);
    locSetBit(locTouchpad.myAbsBits, ABS_Y);
    locSetBit(locTouchpad.myKeyBits, BTN_LEFT);
    locSetBit(locTouchpad.myKeyBits, BTN_TOUCH);
    EXPECT_FALSE(IN_EvdevIsJoystick(locTouchpad));
    IN_EvdevDesc locKeypad;
    locSetBit(locKeypad.myKeyBits, BTN_TRIGGER);
    EXPECT_FALSE(IN_EvdevIsJoystick(locKeypad));
    int locPipe[2];
    ASSERT_EQ(0, pipe(locPipe));
    EXPECT_EQ(nullptr, IN_EvdevAttach(locPipe[0], locTouchpad));  // and the descriptor is closed
    EXPECT_EQ(-1, fcntl(locPipe[0], F_GETFD));
    close(locPipe[1]);
}

TEST(IN_Evdev, ScansPassOverWhatIsNoInputDevice)
{
    char locFolder[] = "/tmp/in_evdev_scan.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(locFolder));
    const std::string locFile = std::string(locFolder) + "/event0";
    FILE* locStream = fopen(locFile.c_str(), "wb");
    ASSERT_NE(nullptr, locStream);
    fputs("not a device", locStream);
    fclose(locStream);
    EXPECT_EQ(0, IN_EvdevScan(locFolder));
    EXPECT_EQ(0, IN_EvdevScan("/nonexistent/input"));
    unlink(locFile.c_str());
    rmdir(locFolder);
    // The machine's own devices: none on CI; whatever is found must be a joystick.
    const int locFound = IN_EvdevScan("/dev/input");
    EXPECT_GE(locFound, 0);
    IN_EvdevDetachAll();
}
} // namespace
