// The window feed on Qt's offscreen platform: real key, mouse and wheel
// events sent to real widgets reach the layer's keyboard and mouse, the typed
// text, and nothing while the window is inactive.
#include <gtest/gtest.h>

#include "platform/input/in_source.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWindow>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <memory>
#include <vector>

namespace
{
class IN_QtEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "platform_input_qt_tests";
        static char* ourArgv[] = {ourName, nullptr};
        if (!QCoreApplication::instance())
            new QApplication(ourArgc, ourArgv);
    }
};
[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new IN_QtEnvironment);

bool locWaitActive(QWidget* aWidget)
{
    aWidget->show();
    aWidget->activateWindow();
    QElapsedTimer locTimer;
    locTimer.start();
    while (!aWidget->isActiveWindow() && locTimer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return aWidget->isActiveWindow();
}

class IN_WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myWindow.reset(new QWidget);
        myWindow->resize(200, 150);
        ASSERT_TRUE(locWaitActive(myWindow.get()));
        ASSERT_TRUE(IN_AttachWindow(myWindow.get()));
        mySystem = IN_Open();
        // The feed's keyboard and mouse, and whatever joysticks the machine has after them.
        IN_EnumDevices(mySystem, [](const IN_DeviceInfo& anInfo, int anIndex, void* aTest) {
            IN_WindowTest* locTest = (IN_WindowTest*)aTest;
            IN_Device** locSlot = anInfo.myType == IN_TYPE_KEYBOARD ? &locTest->myKeyboard
                                  : anInfo.myType == IN_TYPE_MOUSE  ? &locTest->myMouse
                                                                    : nullptr;
            if (locSlot && !*locSlot)
                IN_CreateDevice(locTest->mySystem, anIndex, locSlot);
            return true;
        }, this);
        ASSERT_NE(nullptr, myKeyboard);
        ASSERT_NE(nullptr, myMouse);
        for (IN_Device* locDevice : {myKeyboard, myMouse})
        {
            ASSERT_EQ(IN_OK, IN_SetCooperativeLevel(locDevice, IN_COOP_FOREGROUND | IN_COOP_NONEXCLUSIVE));
            ASSERT_EQ(IN_OK, IN_SetProperty(locDevice, IN_PROP_BUFFER_SIZE, IN_WHOLE_DEVICE, 16));
        }
        ASSERT_EQ(IN_OK, IN_SetDataFormat(myKeyboard, IN_FORMAT_KEYBOARD));
        ASSERT_EQ(IN_OK, IN_SetDataFormat(myMouse, IN_FORMAT_MOUSE));
        ASSERT_EQ(IN_OK, IN_Acquire(myKeyboard));
        ASSERT_EQ(IN_OK, IN_Acquire(myMouse));
    }
    void TearDown() override
    {
        IN_ReleaseDevice(myKeyboard);
        IN_ReleaseDevice(myMouse);
        IN_Close(mySystem);
        IN_DetachWindow();
        myOther.reset();
        myWindow.reset();
    }

    void Key(QEvent::Type aType, int aKey, Qt::KeyboardModifiers aModifiers, const QString& aText = QString(),
             quint32 aNativeScanCode = 0)
    {
        QKeyEvent locEvent(aType, aKey, aModifiers, aNativeScanCode, 0, 0, aText);
        QApplication::sendEvent(myWindow->windowHandle(), &locEvent);
    }
    void Tap(int aKey, Qt::KeyboardModifiers aModifiers = Qt::NoModifier, quint32 aNativeScanCode = 0)
    {
        Key(QEvent::KeyPress, aKey, aModifiers, QString(), aNativeScanCode);
        Key(QEvent::KeyRelease, aKey, aModifiers, QString(), aNativeScanCode);
    }
    void Mouse(QEvent::Type aType, QPointF aPosition, Qt::MouseButton aButton = Qt::NoButton)
    {
        QMouseEvent locEvent(aType, aPosition, myWindow->mapToGlobal(aPosition), aButton,
                             aType == QEvent::MouseButtonRelease ? Qt::NoButton : aButton, Qt::NoModifier);
        QApplication::sendEvent(myWindow->windowHandle(), &locEvent);
    }
    // The keys that went down, in order.
    std::vector<uint32_t> KeysDown()
    {
        std::vector<uint32_t> locKeys;
        IN_Event locEvent;
        int locCount;
        while (!IN_Failed(IN_GetDeviceEvent(myKeyboard, &locEvent, &locCount)) && locCount)
        {
            if (locEvent.myData & 0x80)
                locKeys.push_back(locEvent.myOffset);
        }
        return locKeys;
    }
    std::vector<IN_Event> MouseEvents()
    {
        std::vector<IN_Event> locEvents;
        IN_Event locEvent;
        int locCount;
        while (!IN_Failed(IN_GetDeviceEvent(myMouse, &locEvent, &locCount)) && locCount)
            locEvents.push_back(locEvent);
        return locEvents;
    }

    std::unique_ptr<QWidget> myWindow;
    std::unique_ptr<QWidget> myOther;
    IN_System* mySystem = nullptr;
    IN_Device* myKeyboard = nullptr;
    IN_Device* myMouse = nullptr;
};

TEST_F(IN_WindowTest, KeysBecomeScanCodesWithAndWithoutNativeCodes)
{
    Tap(Qt::Key_Escape);
    Tap(Qt::Key_Plus, Qt::KeypadModifier);
    Tap(Qt::Key_Minus, Qt::KeypadModifier);
    Tap(Qt::Key_Minus);
    Tap(Qt::Key_A);
    Tap(Qt::Key_Up);
    Tap(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ((std::vector<uint32_t>{1, 78, 74, 12, 30, 0xC8, 0x9C}), KeysDown());

    // Native X codes: evdev code + 8. Keypad plus, A, right Ctrl, Delete, keypad divide, right Alt.
    Tap(Qt::Key_Plus, Qt::KeypadModifier, 78 + 8);
    Tap(Qt::Key_Q, Qt::NoModifier, 30 + 8);  // the key's place counts, not its label
    Tap(Qt::Key_Control, Qt::NoModifier, 97 + 8);
    Tap(Qt::Key_Delete, Qt::NoModifier, 111 + 8);
    Tap(Qt::Key_Slash, Qt::KeypadModifier, 98 + 8);
    Tap(Qt::Key_AltGr, Qt::NoModifier, 100 + 8);
    EXPECT_EQ((std::vector<uint32_t>{78, 30, 0x9D, 0xD3, 0xB5, 0xB8}), KeysDown());
}

TEST_F(IN_WindowTest, HeldKeysShowInTheStateAndRepeatsAreNoEvents)
{
    Key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QKeyEvent locRepeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(myWindow->windowHandle(), &locRepeat);
    EXPECT_EQ((std::vector<uint32_t>{57}), KeysDown());
    uint8_t locKeys[256];
    ASSERT_EQ(IN_OK, IN_GetDeviceState(myKeyboard, locKeys, sizeof(locKeys)));
    EXPECT_EQ(0x80, locKeys[57]);
    Key(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    ASSERT_EQ(IN_OK, IN_GetDeviceState(myKeyboard, locKeys, sizeof(locKeys)));
    EXPECT_EQ(0, locKeys[57]);
}

TEST_F(IN_WindowTest, TypedTextIsOneLatin1BytePerCharacter)
{
    char locText[128];
    IN_TakeTypedText(locText, sizeof(locText));
    Key(QEvent::KeyPress, Qt::Key_H, Qt::NoModifier, "h");
    Key(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, QString::fromUtf8("\xC3\xA9"));   // é
    Key(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, QString::fromUtf8("\xE2\x82\xAC")); // € has no Latin-1 byte
    Key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    Key(QEvent::KeyRelease, Qt::Key_H, Qt::NoModifier, "h");
    EXPECT_EQ(3, IN_TakeTypedText(locText, sizeof(locText)));
    EXPECT_STREQ("h\xE9\r", locText);
}

TEST_F(IN_WindowTest, MouseMotionIsRelativeAndTheWheelStepsBy120)
{
    Mouse(QEvent::MouseMove, QPointF(10, 10));  // the first position: no motion yet
    Mouse(QEvent::MouseMove, QPointF(15, 8));
    Mouse(QEvent::MouseButtonPress, QPointF(15, 8), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, QPointF(15, 8), Qt::LeftButton);
    Mouse(QEvent::MouseButtonPress, QPointF(15, 8), Qt::RightButton);
    Mouse(QEvent::MouseButtonPress, QPointF(15, 8), Qt::MiddleButton);
    Mouse(QEvent::MouseButtonPress, QPointF(15, 8), Qt::BackButton);
    QWheelEvent locWheel(QPointF(15, 8), myWindow->mapToGlobal(QPointF(15, 8)), QPoint(), QPoint(0, 120),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(myWindow->windowHandle(), &locWheel);

    const std::vector<IN_Event> locEvents = MouseEvents();
    std::vector<std::pair<uint32_t, int32_t>> locSeen;
    for (const IN_Event& locEvent : locEvents)
        locSeen.push_back({locEvent.myOffset, (int32_t)locEvent.myData});
    const std::vector<std::pair<uint32_t, int32_t>> locExpected = {
        {IN_MOUSE_X, 5},           {IN_MOUSE_Y, -2},          {IN_MOUSE_BUTTON0, 0x80},
        {IN_MOUSE_BUTTON0, 0},     {IN_MOUSE_BUTTON0 + 1, 0x80}, {IN_MOUSE_BUTTON0 + 2, 0x80},
        {IN_MOUSE_BUTTON0 + 3, 0x80}, {IN_MOUSE_Z, 120},
    };
    EXPECT_EQ(locExpected, locSeen);
}

TEST_F(IN_WindowTest, NothingArrivesWhileTheWindowIsInactive)
{
    myOther.reset(new QWidget);
    myOther->resize(100, 100);
    ASSERT_TRUE(locWaitActive(myOther.get()));
    ASSERT_FALSE(myWindow->isActiveWindow());
    EXPECT_FALSE(IN_IsForeground());
    Tap(Qt::Key_Escape);
    Key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
    char locText[128];
    EXPECT_EQ(0, IN_TakeTypedText(locText, sizeof(locText)));
    EXPECT_EQ(IN_ERR_INPUT_LOST, IN_Poll(myKeyboard));
    EXPECT_EQ(IN_ERR_NOT_ACQUIRED, IN_Poll(myKeyboard));
    EXPECT_EQ(IN_ERR_BACKGROUND, IN_Acquire(myKeyboard));

    ASSERT_TRUE(locWaitActive(myWindow.get()));
    EXPECT_TRUE(IN_IsForeground());
    ASSERT_EQ(IN_OK, IN_Acquire(myKeyboard));
    EXPECT_TRUE(KeysDown().empty());
    Tap(Qt::Key_Escape);
    EXPECT_EQ((std::vector<uint32_t>{1}), KeysDown());
}

TEST(IN_Window, KeysReachTheTableWhicheverChildHasTheFocusButTextOnlyFromTheWidget)
{
    QWidget locTop;
    QVBoxLayout* locLayout = new QVBoxLayout(&locTop);
    QWidget* locView = new QWidget;
    QLineEdit* locEdit = new QLineEdit;
    locLayout->addWidget(locView);
    locLayout->addWidget(locEdit);
    locTop.resize(200, 200);
    ASSERT_TRUE(IN_AttachWindow(locView));
    ASSERT_TRUE(locWaitActive(&locTop));
    locEdit->setFocus();
    QCoreApplication::processEvents();
    struct Found
    {
        IN_System* mySystem;
        IN_Device* myKeyboard;
    } locFound = {IN_Open(), nullptr};
    IN_EnumDevices(locFound.mySystem, [](const IN_DeviceInfo& anInfo, int anIndex, void* aFound) {
        Found* locFoundPtr = (Found*)aFound;
        if (anInfo.myType == IN_TYPE_KEYBOARD && !locFoundPtr->myKeyboard)
            IN_CreateDevice(locFoundPtr->mySystem, anIndex, &locFoundPtr->myKeyboard);
        return true;
    }, &locFound);
    IN_System* locSystem = locFound.mySystem;
    IN_Device* locKeyboard = locFound.myKeyboard;
    ASSERT_NE(nullptr, locKeyboard);
    ASSERT_EQ(IN_OK, IN_SetDataFormat(locKeyboard, IN_FORMAT_KEYBOARD));
    ASSERT_EQ(IN_OK, IN_Acquire(locKeyboard));
    char locText[128];
    IN_TakeTypedText(locText, sizeof(locText));
    QKeyEvent locPress(QEvent::KeyPress, Qt::Key_W, Qt::NoModifier, "w");
    QApplication::sendEvent(locTop.windowHandle(), &locPress);
    uint8_t locKeys[256];
    ASSERT_EQ(IN_OK, IN_GetDeviceState(locKeyboard, locKeys, sizeof(locKeys)));
    EXPECT_EQ(0x80, locKeys[17]);
    EXPECT_EQ("w", locEdit->text().toStdString());
    EXPECT_EQ(0, IN_TakeTypedText(locText, sizeof(locText)));
    IN_ReleaseDevice(locKeyboard);
    IN_Close(locSystem);
    IN_DetachWindow();
}

TEST(IN_Window, AttachesToAGivenWidgetBeforeItIsActiveAndNeedsAFocusWindowOtherwise)
{
    QWidget locWidget;
    locWidget.resize(50, 50);
    QApplication::setActiveWindow(nullptr);
    if (QApplication::focusWidget() == nullptr)
    {
        EXPECT_FALSE(IN_AttachWindow(nullptr));
    }
    ASSERT_TRUE(IN_AttachWindow(&locWidget));
    EXPECT_FALSE(IN_IsForeground());
    ASSERT_TRUE(locWaitActive(&locWidget));
    EXPECT_TRUE(IN_IsForeground());
    IN_DetachWindow();
    EXPECT_TRUE(IN_IsForeground());
    // The focus window when none is given.
    locWidget.setFocusPolicy(Qt::StrongFocus);
    locWidget.setFocus();
    QCoreApplication::processEvents();
    if (QApplication::focusWidget() == &locWidget)
    {
        EXPECT_TRUE(IN_AttachWindow(nullptr));
        IN_DetachWindow();
    }
}
} // namespace
