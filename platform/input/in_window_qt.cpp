// The window feed: event filters on the program's window turn Qt's key,
// mouse and wheel events into the layer's keyboard and mouse, its typed text
// into the layer's text and its activation into the foreground. It registers
// itself when linked.
#include "platform/input/in_source.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <QWindow>
#include <QWidget>

namespace
{
// Evdev key codes (the X scan code less 8) from 89 up, as DirectInput scan
// codes; below 89 the two agree.
int locScanCodeOfEvdev(int aCode)
{
    if (aCode > 0 && aCode < 89)
        return aCode;
    switch (aCode)
    {
        case 89: return 0x73;   // Ro (ABNT C1)
        case 92: return 0x79;   // Henkan (convert)
        case 93: return 0x70;   // Katakana/Hiragana (kana)
        case 94: return 0x7B;   // Muhenkan (no convert)
        case 96: return 0x9C;   // keypad Enter
        case 97: return 0x9D;   // right Ctrl
        case 98: return 0xB5;   // keypad divide
        case 99: return 0xB7;   // SysRq / Print
        case 100: return 0xB8;  // right Alt
        case 102: return 0xC7;  // Home
        case 103: return 0xC8;  // Up
        case 104: return 0xC9;  // Page Up
        case 105: return 0xCB;  // Left
        case 106: return 0xCD;  // Right
        case 107: return 0xCF;  // End
        case 108: return 0xD0;  // Down
        case 109: return 0xD1;  // Page Down
        case 110: return 0xD2;  // Insert
        case 111: return 0xD3;  // Delete
        case 113: return 0xA0;  // Mute
        case 114: return 0xAE;  // Volume down
        case 115: return 0xB0;  // Volume up
        case 116: return 0xDE;  // Power
        case 117: return 0x8D;  // keypad equals
        case 119: return 0xC5;  // Pause
        case 121: return 0xB3;  // keypad comma
        case 124: return 0x7D;  // Yen
        case 125: return 0xDB;  // left Windows
        case 126: return 0xDC;  // right Windows
        case 127: return 0xDD;  // Apps (menu)
        case 142: return 0xDF;  // Sleep
        case 143: return 0xE3;  // Wake
        case 183: return 0x64;  // F13
        case 184: return 0x65;  // F14
        case 185: return 0x66;  // F15
        default: return 0;
    }
}

// Without a native scan code (offscreen): from Qt's key, as on a US layout.
int locScanCodeOfQtKey(int aKey, bool aKeypadFlag)
{
    if (aKeypadFlag)
    {
        switch (aKey)
        {
            case Qt::Key_7: case Qt::Key_Home: return 71;
            case Qt::Key_8: case Qt::Key_Up: return 72;
            case Qt::Key_9: case Qt::Key_PageUp: return 73;
            case Qt::Key_Minus: return 74;
            case Qt::Key_4: case Qt::Key_Left: return 75;
            case Qt::Key_5: case Qt::Key_Clear: return 76;
            case Qt::Key_6: case Qt::Key_Right: return 77;
            case Qt::Key_Plus: return 78;
            case Qt::Key_1: case Qt::Key_End: return 79;
            case Qt::Key_2: case Qt::Key_Down: return 80;
            case Qt::Key_3: case Qt::Key_PageDown: return 81;
            case Qt::Key_0: case Qt::Key_Insert: return 82;
            case Qt::Key_Period: case Qt::Key_Delete: case Qt::Key_Comma: return 83;
            case Qt::Key_Asterisk: return 55;
            case Qt::Key_Enter: case Qt::Key_Return: return 0x9C;
            case Qt::Key_Slash: return 0xB5;
            case Qt::Key_Equal: return 0x8D;
            default: break;
        }
    }
    if (aKey >= Qt::Key_F1 && aKey <= Qt::Key_F10)
        return 59 + (aKey - Qt::Key_F1);
    static const char locRows[][14] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    static const int locRowStarts[] = {2, 16, 30, 44};
    for (int locRow = 0; locRow < 4; locRow++)
    {
        for (int i = 0; locRows[locRow][i]; i++)
        {
            if (aKey == locRows[locRow][i])
                return locRowStarts[locRow] + i;
        }
    }
    switch (aKey)
    {
        case Qt::Key_Escape: return 1;
        case Qt::Key_Exclam: return 2;
        case Qt::Key_At: return 3;
        case Qt::Key_NumberSign: return 4;
        case Qt::Key_Dollar: return 5;
        case Qt::Key_Percent: return 6;
        case Qt::Key_AsciiCircum: return 7;
        case Qt::Key_Ampersand: return 8;
        case Qt::Key_Asterisk: return 9;
        case Qt::Key_ParenLeft: return 10;
        case Qt::Key_ParenRight: return 11;
        case Qt::Key_Minus: case Qt::Key_Underscore: return 12;
        case Qt::Key_Equal: case Qt::Key_Plus: return 13;
        case Qt::Key_Backspace: return 14;
        case Qt::Key_Tab: case Qt::Key_Backtab: return 15;
        case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 26;
        case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 27;
        case Qt::Key_Return: case Qt::Key_Enter: return 28;
        case Qt::Key_Control: return 29;
        case Qt::Key_Semicolon: case Qt::Key_Colon: return 39;
        case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 40;
        case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 41;
        case Qt::Key_Shift: return 42;
        case Qt::Key_Backslash: case Qt::Key_Bar: return 43;
        case Qt::Key_Comma: case Qt::Key_Less: return 51;
        case Qt::Key_Period: case Qt::Key_Greater: return 52;
        case Qt::Key_Slash: case Qt::Key_Question: return 53;
        case Qt::Key_Alt: return 56;
        case Qt::Key_Space: return 57;
        case Qt::Key_CapsLock: return 58;
        case Qt::Key_NumLock: return 69;
        case Qt::Key_ScrollLock: return 70;
        case Qt::Key_F11: return 87;
        case Qt::Key_F12: return 88;
        case Qt::Key_AltGr: return 0xB8;
        case Qt::Key_Print: case Qt::Key_SysReq: return 0xB7;
        case Qt::Key_Pause: return 0xC5;
        case Qt::Key_Home: return 0xC7;
        case Qt::Key_Up: return 0xC8;
        case Qt::Key_PageUp: return 0xC9;
        case Qt::Key_Left: return 0xCB;
        case Qt::Key_Right: return 0xCD;
        case Qt::Key_End: return 0xCF;
        case Qt::Key_Down: return 0xD0;
        case Qt::Key_PageDown: return 0xD1;
        case Qt::Key_Insert: return 0xD2;
        case Qt::Key_Delete: return 0xD3;
        case Qt::Key_Meta: case Qt::Key_Super_L: return 0xDB;
        case Qt::Key_Super_R: return 0xDC;
        case Qt::Key_Menu: return 0xDD;
        default: return 0;
    }
}

int locScanCode(const QKeyEvent* anEvent)
{
    // Under X and Wayland the native code is the evdev code plus 8.
    const quint32 locNative = anEvent->nativeScanCode();
    if (locNative > 8 && locNative < 8 + 256)
    {
        if (const int locCode = locScanCodeOfEvdev((int)locNative - 8))
            return locCode;
    }
    return locScanCodeOfQtKey(anEvent->key(), anEvent->modifiers() & Qt::KeypadModifier);
}

int locMouseButton(Qt::MouseButton aButton)
{
    switch (aButton)
    {
        case Qt::LeftButton: return 0;
        case Qt::RightButton: return 1;
        case Qt::MiddleButton: return 2;
        case Qt::BackButton: return 3;
        case Qt::ForwardButton: return 4;
        default: return -1;
    }
}

// Keys, the mouse and the wheel are taken where they reach the attached
// widget's top-level window, once each, whichever of its widgets has the
// focus or the pointer (DirectInput read them for the whole program); typed
// text and the activation where they reach the widget itself.
class WindowFilter : public QObject
{
public:
    QPointer<QWidget> myWidget;
    IN_Hardware* myKeyboard = nullptr;
    IN_Hardware* myMouse = nullptr;
    QPointF myLastPosition;
    bool myHasLastPositionFlag = false;

    bool IsActive() const { return myWidget && myWidget->isActiveWindow(); }

    void UpdateForeground()
    {
        const bool locActive = IsActive();
        if (!locActive)
        {
            // Releases made elsewhere never reach us.
            IN_ReleaseAll(myKeyboard);
            IN_ReleaseAll(myMouse);
            myHasLastPositionFlag = false;
        }
        IN_SetForeground(locActive);
    }

    void MouseMoved(const QPointF& aPosition)
    {
        if (myHasLastPositionFlag)
        {
            const int locDeltaX = qRound(aPosition.x()) - qRound(myLastPosition.x());
            const int locDeltaY = qRound(aPosition.y()) - qRound(myLastPosition.y());
            if (locDeltaX || locDeltaY)
                IN_FeedMotion(myMouse, locDeltaX, locDeltaY);
        }
        myLastPosition = aPosition;
        myHasLastPositionFlag = true;
    }

    // At the widget: the activation, and the text of the keys typed into it.
    void WidgetEvent(QEvent* anEvent)
    {
        switch (anEvent->type())
        {
            case QEvent::WindowActivate:
            case QEvent::WindowDeactivate:
            case QEvent::ActivationChange:
                UpdateForeground();
                break;
            case QEvent::KeyPress:
                if (IsActive())
                {
                    // One byte per character, where Latin-1 has it.
                    const QString locText = static_cast<const QKeyEvent*>(anEvent)->text();
                    for (QChar locChar : locText)
                    {
                        if (locChar.unicode() > 0 && locChar.unicode() < 256)
                            IN_FeedTypedChar((unsigned char)locChar.unicode());
                    }
                }
                break;
            default:
                break;
        }
    }

    // At the top-level window: keys, buttons, motion and the wheel.
    void WindowEvent(QEvent* anEvent)
    {
        switch (anEvent->type())
        {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            {
                const QKeyEvent* locKey = static_cast<const QKeyEvent*>(anEvent);
                if (locKey->isAutoRepeat())
                    break;
                if (const int locCode = locScanCode(locKey))
                    IN_FeedKey(myKeyboard, locCode, anEvent->type() == QEvent::KeyPress);
                break;
            }
            case QEvent::MouseMove:
                MouseMoved(static_cast<QMouseEvent*>(anEvent)->globalPosition());
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseButtonRelease:
            {
                const QMouseEvent* locMouse = static_cast<const QMouseEvent*>(anEvent);
                MouseMoved(locMouse->globalPosition());
                const int locButton = locMouseButton(locMouse->button());
                if (locButton >= 0)
                    IN_FeedButton(myMouse, locButton, anEvent->type() != QEvent::MouseButtonRelease);
                break;
            }
            case QEvent::Wheel:
                IN_FeedWheel(myMouse, static_cast<const QWheelEvent*>(anEvent)->angleDelta().y());
                break;
            default:
                break;
        }
    }

    bool eventFilter(QObject* anObject, QEvent* anEvent) override
    {
        if (!myWidget)
            return false;
        if (anObject == myWidget)
            WidgetEvent(anEvent);
        else if (anObject->isWindowType() && IsActive() && anObject == myWidget->window()->windowHandle())
            WindowEvent(anEvent);
        return false;
    }
};

WindowFilter* locFilter = nullptr;

void locDetach()
{
    if (!locFilter)
        return;
    if (QCoreApplication* locApp = QCoreApplication::instance())
        locApp->removeEventFilter(locFilter);
    IN_DetachHardware(locFilter->myKeyboard);
    IN_DetachHardware(locFilter->myMouse);
    delete locFilter;
    locFilter = nullptr;
    IN_SetForeground(true);
}

bool locAttach(void* aWindow)
{
    QApplication* locApp = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!locApp)
        return false;
    QWidget* locWidget = aWindow ? static_cast<QWidget*>(aWindow) : QApplication::focusWidget();
    if (!locWidget)
        return false;
    locDetach();
    locFilter = new WindowFilter;
    locFilter->myWidget = locWidget;

    IN_DeviceDesc locKeyboard;
    snprintf(locKeyboard.myInfo.myName, sizeof(locKeyboard.myInfo.myName), "Keyboard");
    locKeyboard.myInfo.myType = IN_TYPE_KEYBOARD;
    locKeyboard.myInfo.myNumButtons = 256;
    IN_DeviceDesc locMouse;
    snprintf(locMouse.myInfo.myName, sizeof(locMouse.myInfo.myName), "Mouse");
    locMouse.myInfo.myType = IN_TYPE_MOUSE;
    locMouse.myInfo.myNumAxes = 3;
    locMouse.myInfo.myNumButtons = 5;
    locFilter->myKeyboard = IN_AttachHardware(locKeyboard, nullptr, nullptr);
    locFilter->myMouse = IN_AttachHardware(locMouse, nullptr, nullptr);
    if (!locFilter->myKeyboard || !locFilter->myMouse)
    {
        locDetach();
        return false;
    }
    // Through the application: the widget's and its window's events, once each
    // (the top-level window may not exist yet).
    locApp->installEventFilter(locFilter);
    locFilter->UpdateForeground();
    return true;
}

const IN_WindowFeed locFeed = {locAttach, locDetach};
[[maybe_unused]] const bool locRegistered = IN_RegisterWindowFeed(&locFeed);
} // namespace
