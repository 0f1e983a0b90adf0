// The input object over the scripted source: device tables and names per
// kind, device order, the frame rules for buttons, buffer overflows, lost
// devices, joystick scaling and hat, the raw pad, typed text.
#include <gtest/gtest.h>

#include "platform/input/in_script.h"
#include "qinput/qi_inputdinput.h"
#include "qinput/qi_time.h"

#include <time.h>

#include <memory>
#include <string>

namespace
{
class QI_InputTest : public ::testing::Test
{
protected:
    void SetUp() override { myScript.reset(new IN_Script); }
    void TearDown() override
    {
        QI_Input::Shutdown();
        myScript.reset();
    }

    void Init()
    {
        ASSERT_TRUE(QI_Input::Init(true));
        ASSERT_NE(nullptr, QI_Input::GetInstance());
    }
    void Frame() { QI_Input::GetInstance()->Update(); }
    static const QI_Button& Key(int aKey) { return QI_Input::GetDevice(QI_KEYBOARD, 0)->myButtons[aKey]; }

    std::unique_ptr<IN_Script> myScript;
};

TEST_F(QI_InputTest, EachKindGetsItsTablesAndNames)
{
    myScript->AddKeyboard("Keyboard");
    myScript->AddMouse("Mouse", 3, 5);
    myScript->AddJoystick("Flight Stick", 0x1234, 0x0001, 3, 0x3F, 0, 1023, 1);
    myScript->AddJoystick("Pad", 0x045E, 0x0033, 2, 0x23, 0, 1023, 0);
    Init();

    const QI_Device* locKeyboard = QI_Input::GetDevice(QI_KEYBOARD, 0);
    ASSERT_NE(nullptr, locKeyboard);
    EXPECT_STREQ("Keyboard", locKeyboard->myName);
    EXPECT_EQ(0u, locKeyboard->myNumAxes);
    ASSERT_EQ(256u, locKeyboard->myNumButtons);
    EXPECT_STREQ("Key 0", locKeyboard->myButtons[0].myName);
    EXPECT_STREQ("Key 255", locKeyboard->myButtons[255].myName);

    const QI_Device* locMouse = QI_Input::GetDevice(QI_MOUSE, 0);
    ASSERT_NE(nullptr, locMouse);
    ASSERT_EQ(3u, locMouse->myNumAxes);
    EXPECT_STREQ("X", locMouse->myAxes[0].myName);
    EXPECT_STREQ("Y", locMouse->myAxes[1].myName);
    EXPECT_STREQ("Wheel", locMouse->myAxes[2].myName);
    ASSERT_EQ(5u, locMouse->myNumButtons);
    EXPECT_STREQ("Left Button", locMouse->myButtons[0].myName);
    EXPECT_STREQ("Right Button", locMouse->myButtons[1].myName);
    EXPECT_STREQ("Middle Button", locMouse->myButtons[2].myName);
    EXPECT_STREQ("Button 4", locMouse->myButtons[3].myName);
    EXPECT_FLOAT_EQ(1.0f, locMouse->myAxes[0].myScale);

    const QI_Device* locStick = QI_Input::GetDevice(QI_JOYSTICK, 0);
    ASSERT_NE(nullptr, locStick);
    ASSERT_EQ(8u, locStick->myNumAxes);
    EXPECT_STREQ("Axis 1", locStick->myAxes[0].myName);
    EXPECT_STREQ("Axis 8", locStick->myAxes[7].myName);
    ASSERT_EQ(3u, locStick->myNumButtons);
    EXPECT_STREQ("Button 1", locStick->myButtons[0].myName);
    for (uint32_t i = 0; i < 8; i++)
    {
        EXPECT_FLOAT_EQ(1.0f / 256.0f, locStick->myAxes[i].myScale);
        // (65535 - 0) / 2 for present axes; the sliders read the range of X.
        EXPECT_EQ(32767, locStick->myAxes[i].myCentre) << i;
    }

    const QI_Device* locPad = QI_Input::GetDevice(QI_RAW_PAD, 0);
    ASSERT_NE(nullptr, locPad);
    EXPECT_STREQ("Pad", locPad->myName);
    EXPECT_EQ(8u, locPad->myNumAxes);
    EXPECT_EQ(2u, locPad->myNumButtons);
    EXPECT_FLOAT_EQ(1.0f, locPad->myAxes[0].myScale);
    EXPECT_EQ(0, locPad->myAxes[0].myCentre);
    EXPECT_EQ(nullptr, QI_Input::GetDevice(QI_JOYSTICK, 1));
}

TEST_F(QI_InputTest, GetDeviceCountsWithinAKindInCreationOrder)
{
    myScript->AddKeyboard("First");
    myScript->AddMouse("Mouse");
    myScript->AddKeyboard("Second");
    Init();
    EXPECT_STREQ("First", QI_Input::GetDevice(QI_KEYBOARD, 0)->myName);
    EXPECT_STREQ("Second", QI_Input::GetDevice(QI_KEYBOARD, 1)->myName);
    EXPECT_STREQ("Mouse", QI_Input::GetDevice(QI_MOUSE, 0)->myName);
    EXPECT_EQ(nullptr, QI_Input::GetDevice(QI_MOUSE, 1));
    EXPECT_EQ(nullptr, QI_Input::GetDevice(QI_KEYBOARD, 2));
    EXPECT_EQ(nullptr, QI_Input::GetDevice(QI_JOYSTICK, 0));
}

TEST_F(QI_InputTest, InitNeedsAWindowAndNoOtherObjectAndLeavesNothingWhenItFails)
{
    myScript->AddKeyboard();
    myScript->SetFocusWindow(false);
    EXPECT_FALSE(QI_Input::Init(true));
    EXPECT_EQ(QI_ERROR_NO_WINDOW, QI_GetErrorCode());
    EXPECT_EQ(nullptr, QI_Input::GetInstance());
    EXPECT_EQ(nullptr, QI_Time::GetInstance());
    myScript->SetFocusWindow(true);
    Init();
    EXPECT_FALSE(QI_Input::Init(true));
    EXPECT_EQ(QI_ERROR_EXISTS, QI_GetErrorCode());
    // The seed comes from the clock and seeds rand().
    const uint32_t locSeed = QI_Input::GetInstance()->mySeed;
    EXPECT_LE((uint32_t)time(nullptr) - locSeed, 5u);
    srand(locSeed);
    const int locFirst = rand();
    QI_Input::Shutdown();
    EXPECT_EQ(nullptr, QI_Time::GetInstance());
    Init();
    srand(QI_Input::GetInstance()->mySeed);
    if (QI_Input::GetInstance()->mySeed == locSeed)
    {
        EXPECT_EQ(locFirst, rand());
    }
}

TEST_F(QI_InputTest, TheExclusiveLevelIsGrantedAsShared)
{
    IN_Hardware* locKeyboard = myScript->AddKeyboard();
    ASSERT_TRUE(QI_Input::Init(false));
    // Another reader of the same keyboard is not locked out.
    IN_System* locSystem = IN_Open();
    IN_Device* locOther = nullptr;
    ASSERT_EQ(IN_OK, IN_CreateDevice(locSystem, 0, &locOther));
    ASSERT_EQ(IN_OK, IN_SetDataFormat(locOther, IN_FORMAT_KEYBOARD));
    ASSERT_EQ(IN_OK, IN_Acquire(locOther));
    Frame();
    IN_FeedKey(locKeyboard, 44, true);
    Frame();
    EXPECT_EQ(1, Key(44).myCurrent);
    uint8_t locKeys[256];
    ASSERT_EQ(IN_OK, IN_GetDeviceState(locOther, locKeys, sizeof(locKeys)));
    EXPECT_EQ(0x80, locKeys[44]);
    IN_ReleaseDevice(locOther);
    IN_Close(locSystem);
}

TEST_F(QI_InputTest, MoreThan32DevicesAreSkipped)
{
    for (int i = 0; i < 40; i++)
        myScript->AddKeyboard(("Keyboard " + std::to_string(i)).c_str());
    Init();
    EXPECT_EQ(32u, QI_Input::GetInstance()->myNumDevices);
    EXPECT_STREQ("Keyboard 31", QI_Input::GetDevice(QI_KEYBOARD, 31)->myName);
}

TEST_F(QI_InputTest, ButtonsFollowTheFrameRules)
{
    IN_Hardware* locKeyboard = myScript->AddKeyboard();
    Init();
    Frame();  // the first poll acquires

    // Pressed and released within one frame.
    IN_FeedKey(locKeyboard, 30, true);
    IN_FeedKey(locKeyboard, 30, false);
    Frame();
    EXPECT_EQ(1, Key(30).myTransientPress);
    EXPECT_EQ(0, Key(30).myTransientRelease);
    EXPECT_EQ(0, Key(30).myCurrent);
    EXPECT_EQ(0, Key(30).myPrevious);
    EXPECT_TRUE(Key(30).WentDown());

    // Held over frames, then released and pressed again within one frame.
    IN_FeedKey(locKeyboard, 1, true);
    Frame();
    EXPECT_EQ(1, Key(1).myCurrent);
    EXPECT_EQ(0, Key(1).myPrevious);
    EXPECT_EQ(0, Key(1).myTransientPress);
    EXPECT_TRUE(Key(1).WentDown());
    EXPECT_EQ(0, Key(30).myTransientPress);
    Frame();
    EXPECT_EQ(1, Key(1).myPrevious);
    EXPECT_FALSE(Key(1).WentDown());
    IN_FeedKey(locKeyboard, 1, false);
    IN_FeedKey(locKeyboard, 1, true);
    Frame();
    EXPECT_EQ(1, Key(1).myCurrent);
    EXPECT_EQ(1, Key(1).myTransientRelease);
    EXPECT_TRUE(Key(1).WentUp());
    IN_FeedKey(locKeyboard, 1, false);
    Frame();
    EXPECT_EQ(0, Key(1).myCurrent);
    EXPECT_EQ(1, Key(1).myPrevious);
    EXPECT_TRUE(Key(1).WentUp());
}

TEST_F(QI_InputTest, KeyboardOverflowTakesEveryKeyFromTheState)
{
    IN_Hardware* locKeyboard = myScript->AddKeyboard();
    Init();
    IN_FeedKey(locKeyboard, 200, true);  // before the first poll: not acquired yet, dropped
    Frame();
    for (int i = 2; i < 40; i += 2)
        IN_FeedKey(locKeyboard, i, true);
    IN_FeedKey(locKeyboard, 2, false);
    Frame();
    for (int i = 0; i < 256; i++)
    {
        EXPECT_EQ((i > 2 && i < 40 && i % 2 == 0) || i == 200 ? 1 : 0, Key(i).myCurrent) << i;
        EXPECT_EQ(0, Key(i).myTransientPress) << i;
        EXPECT_EQ(0, Key(i).myTransientRelease) << i;
    }
}

TEST_F(QI_InputTest, MouseOverflowKeepsTheMotionReadAndTakesButtonsFromTheState)
{
    IN_Hardware* locMouse = myScript->AddMouse();
    Init();
    Frame();
    IN_FeedButton(locMouse, 1, true);
    IN_FeedButton(locMouse, 1, false);
    IN_FeedButton(locMouse, 0, true);
    for (int i = 0; i < 20; i++)
        IN_FeedMotion(locMouse, 2, 0);
    Frame();
    const QI_Device* locDevice = QI_Input::GetDevice(QI_MOUSE, 0);
    EXPECT_FLOAT_EQ(26.0f, locDevice->myAxes[0].myValue);  // 13 of the 16 buffered events
    EXPECT_FLOAT_EQ(26.0f, locDevice->myAxes[0].myPosition);
    EXPECT_EQ(1, locDevice->myButtons[0].myCurrent);
    EXPECT_EQ(0, locDevice->myButtons[1].myCurrent);
    EXPECT_EQ(0, locDevice->myButtons[1].myTransientPress);

    IN_FeedWheel(locMouse, 120);
    IN_FeedMotion(locMouse, -1, 4);
    Frame();
    EXPECT_FLOAT_EQ(-1.0f, locDevice->myAxes[0].myValue);
    EXPECT_FLOAT_EQ(4.0f, locDevice->myAxes[1].myValue);
    EXPECT_FLOAT_EQ(120.0f, locDevice->myAxes[2].myValue);
    EXPECT_FLOAT_EQ(25.0f, locDevice->myAxes[0].myPosition);
}

TEST_F(QI_InputTest, MouseTablesFollowTheCapabilities)
{
    IN_Hardware* locMouse = myScript->AddMouse("Two axes", 2, 8);
    // A device of a type the library does not read is skipped, and the list goes on.
    IN_DeviceDesc locOther;
    snprintf(locOther.myInfo.myName, sizeof(locOther.myInfo.myName), "Tablet");
    locOther.myInfo.myType = 5;
    IN_Hardware* locTablet = IN_AttachHardware(locOther, nullptr, nullptr);
    myScript->AddKeyboard("After");
    Init();
    EXPECT_EQ(2u, QI_Input::GetInstance()->myNumDevices);
    EXPECT_STREQ("After", QI_Input::GetDevice(QI_KEYBOARD, 0)->myName);
    const QI_Device* locDevice = QI_Input::GetDevice(QI_MOUSE, 0);
    ASSERT_EQ(2u, locDevice->myNumAxes);
    ASSERT_EQ(8u, locDevice->myNumButtons);
    EXPECT_STREQ("Button 8", locDevice->myButtons[7].myName);
    Frame();
    IN_FeedWheel(locMouse, 120);  // no wheel axis: dropped
    IN_FeedMotion(locMouse, 0, -3);
    IN_FeedButton(locMouse, 7, true);
    // A click within the frame, without an overflow: a transient press.
    IN_FeedButton(locMouse, 0, true);
    IN_FeedButton(locMouse, 0, false);
    Frame();
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[0].myValue);
    EXPECT_FLOAT_EQ(-3.0f, locDevice->myAxes[1].myValue);
    EXPECT_EQ(1, locDevice->myButtons[7].myCurrent);
    EXPECT_EQ(1, locDevice->myButtons[0].myTransientPress);
    EXPECT_EQ(0, locDevice->myButtons[0].myCurrent);
    IN_DetachHardware(locTablet);
}

TEST_F(QI_InputTest, ALostDeviceIsAcquiredAgainWhenTheWindowReturns)
{
    IN_Hardware* locKeyboard = myScript->AddKeyboard();
    Init();
    IN_FeedKey(locKeyboard, 57, true);
    Frame();  // the first poll acquires; the press came before it
    EXPECT_EQ(0, Key(57).myCurrent);
    IN_FeedKey(locKeyboard, 57, false);
    IN_FeedKey(locKeyboard, 57, true);
    Frame();
    ASSERT_EQ(1, Key(57).myCurrent);

    QI_Device* locDevice = QI_Input::GetDevice(QI_KEYBOARD, 0);
    IN_SetForeground(false);
    IN_FeedKey(locKeyboard, 16, true);  // while in the background: dropped
    EXPECT_FALSE(locDevice->Poll());
    // The tables stay as the start of the frame left them.
    EXPECT_EQ(1, Key(57).myCurrent);
    EXPECT_EQ(1, Key(57).myPrevious);
    EXPECT_FALSE(locDevice->Poll());
    IN_SetForeground(true);
    IN_FeedKey(locKeyboard, 17, true);  // not acquired yet: dropped as well
    EXPECT_TRUE(locDevice->Poll());
    IN_FeedKey(locKeyboard, 18, true);
    Frame();
    EXPECT_EQ(0, Key(16).myCurrent);
    EXPECT_EQ(0, Key(17).myCurrent);
    EXPECT_EQ(1, Key(18).myCurrent);
}

TEST_F(QI_InputTest, DeactivateAndActivateRelease)
{
    IN_Hardware* locKeyboard = myScript->AddKeyboard();
    Init();
    Frame();
    IN_FeedKey(locKeyboard, 5, true);
    Frame();
    ASSERT_EQ(1, Key(5).myCurrent);
    QI_Input* locInput = QI_Input::GetInstance();
    EXPECT_TRUE(locInput->Deactivate());
    EXPECT_FALSE(locInput->myIsActiveFlag);
    IN_FeedKey(locKeyboard, 6, true);  // unacquired: dropped
    EXPECT_TRUE(locInput->Activate());
    EXPECT_EQ(0, Key(5).myCurrent);
    EXPECT_EQ(1, Key(5).myPrevious);
    Frame();
    EXPECT_EQ(0, Key(6).myCurrent);
}

TEST_F(QI_InputTest, JoystickAxesAreCentredScaledAndDeadZoned)
{
    IN_Hardware* locStick = myScript->AddJoystick("Stick", 1, 1, 2, 0x07, 0, 1000, 1);
    Init();
    IN_FeedAxis(locStick, 0, 1000);
    IN_FeedAxis(locStick, 1, 0);
    Frame();
    const QI_Device* locDevice = QI_Input::GetDevice(QI_JOYSTICK, 0);
    // The first reading places the axes without a movement.
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[0].myValue);
    // (65535 - 32767) × 1000 / 512 = 64000, × 1/256.
    EXPECT_FLOAT_EQ(250.0f, locDevice->myAxes[0].myPosition);
    EXPECT_FLOAT_EQ((float)((0 - 32767) * 1000 / 512) / 256.0f, locDevice->myAxes[1].myPosition);
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[2].myPosition);

    IN_FeedAxis(locStick, 0, 540);  // inside the 10 % dead zone: the centre
    IN_FeedAxis(locStick, 2, 1000);
    Frame();
    EXPECT_FLOAT_EQ(-250.0f, locDevice->myAxes[0].myValue);
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[0].myPosition);
    EXPECT_FLOAT_EQ(250.0f, locDevice->myAxes[2].myValue);
    IN_FeedAxis(locStick, 2, 980);  // past the 95 % saturation: still the end
    IN_FeedButton(locStick, 1, true);
    Frame();
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[2].myValue);
    EXPECT_EQ(1, locDevice->myButtons[1].myCurrent);
    EXPECT_TRUE(locDevice->myButtons[1].WentDown());
}

TEST_F(QI_InputTest, JoystickHatCountsFromTheSecondPoll)
{
    IN_Hardware* locStick = myScript->AddJoystick("Stick", 1, 1, 2, 0x03, 0, 1000, 1);
    Init();
    const QI_Device* locDevice = QI_Input::GetDevice(QI_JOYSTICK, 0);
    Frame();
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[6].myValue);
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[7].myValue);
    Frame();  // centred
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[6].myValue);
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[7].myValue);
    IN_FeedPOV(locStick, 0, 0);  // straight up
    Frame();
    EXPECT_NEAR(0.0f, locDevice->myAxes[6].myValue, 1e-4f);
    EXPECT_FLOAT_EQ(128.0f, locDevice->myAxes[7].myValue);
    EXPECT_FLOAT_EQ(128.0f, locDevice->myAxes[7].myPosition);
    IN_FeedPOV(locStick, 0, 9000);  // right
    Frame();
    EXPECT_FLOAT_EQ(128.0f, locDevice->myAxes[6].myValue);
    EXPECT_NEAR(0.0f, locDevice->myAxes[7].myValue, 1e-3f);
}

TEST_F(QI_InputTest, HatPushedUpBeforeTheFirstPollReadsFromTheSecond)
{
    IN_Hardware* locStick = myScript->AddJoystick("Stick", 1, 1, 2, 0x03, 0, 1000, 1);
    IN_FeedPOV(locStick, 0, 0);
    Init();
    const QI_Device* locDevice = QI_Input::GetDevice(QI_JOYSTICK, 0);
    Frame();
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[7].myValue);
    Frame();
    EXPECT_FLOAT_EQ(128.0f, locDevice->myAxes[7].myValue);
}

TEST_F(QI_InputTest, RawPadReadsThreeAxesWithoutCentring)
{
    IN_Hardware* locPad = myScript->AddJoystick("Pad", 0x045E, 0x0033, 4, 0x27, -1024, 1023, 0);
    Init();
    IN_FeedAxis(locPad, 0, 512);
    IN_FeedAxis(locPad, 1, 512);
    IN_FeedAxis(locPad, 5, -257);
    IN_FeedAxis(locPad, 2, 1000);
    IN_FeedButton(locPad, 0, true);  // no events are read from the pad
    Frame();
    const QI_Device* locDevice = QI_Input::GetDevice(QI_RAW_PAD, 0);
    EXPECT_FLOAT_EQ(1000.0f, locDevice->myAxes[0].myValue);
    EXPECT_FLOAT_EQ(-1000.0f, locDevice->myAxes[1].myValue);
    EXPECT_FLOAT_EQ(-501.0f, locDevice->myAxes[5].myValue);  // -257000 / 512 truncates toward zero
    EXPECT_FLOAT_EQ(0.0f, locDevice->myAxes[2].myValue);
    EXPECT_EQ(0, locDevice->myButtons[0].myCurrent);
    Frame();
    EXPECT_FLOAT_EQ(2000.0f, locDevice->myAxes[0].myPosition);
}

TEST_F(QI_InputTest, TypedTextIsTheFramesAndLongTypingIsCut)
{
    myScript->AddKeyboard();
    Init();
    IN_FeedTypedChar('h');
    IN_FeedTypedChar('i');
    IN_FeedTypedChar(0xE9);
    Frame();
    EXPECT_STREQ("hi\xE9", QI_Input::GetInstance()->GetTypedText());
    Frame();
    EXPECT_STREQ("", QI_Input::GetInstance()->GetTypedText());
    for (int i = 0; i < 200; i++)
        IN_FeedTypedChar('x');
    Frame();
    EXPECT_EQ(127u, strlen(QI_Input::GetInstance()->GetTypedText()));
}
} // namespace
