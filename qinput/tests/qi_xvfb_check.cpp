// A real X window (run under scripts/xvfb_run): keys, text, motion and the wheel made
// by xdotool through the X server reach the input object's tables.
// Exit status 0 when every check held; each failure is printed.
#include "qinput/qi_input.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
int locFailures = 0;

void locCheck(bool aCondition, const char* aWhat)
{
    printf("%s: %s\n", aCondition ? "ok" : "FAILED", aWhat);
    if (!aCondition)
        locFailures++;
}

// Runs xdotool, then lets the window take the X events for a while.
bool locXdotool(const char* anArguments)
{
    char locCommand[256];
    snprintf(locCommand, sizeof(locCommand), "xdotool %s", anArguments);
    const bool locOkFlag = system(locCommand) == 0;
    QElapsedTimer locTimer;
    locTimer.start();
    while (locTimer.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return locOkFlag;
}

const QI_Button& locKey(int aKey)
{
    return QI_Input::GetDevice(QI_KEYBOARD, 0)->myButtons[aKey];
}
} // namespace

int main(int argc, char** argv)
{
    if (!getenv("DISPLAY"))
    {
        fprintf(stderr, "qi_xvfb_check: no DISPLAY; run it under scripts/xvfb_run\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication locApp(argc, argv);
    QWidget locWindow;
    locWindow.setWindowTitle("qi_xvfb_check");
    locWindow.resize(320, 240);
    locWindow.move(0, 0);
    locWindow.setFocusPolicy(Qt::StrongFocus);
    // Attached before the window is shown or active, as a program's start-up does.
    locCheck(QI_Input::Init(true, &locWindow), "Init attaches to the given window");
    locWindow.show();
    locWindow.activateWindow();
    locWindow.setFocus();
    QElapsedTimer locTimer;
    locTimer.start();
    while (!locWindow.isActiveWindow() && locTimer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    locCheck(locWindow.isActiveWindow(), "the window is active");
    QI_Input* locInput = QI_Input::GetInstance();
    if (!locInput || !QI_Input::GetDevice(QI_KEYBOARD, 0) || !QI_Input::GetDevice(QI_MOUSE, 0))
    {
        locCheck(false, "a keyboard and a mouse exist");
        return 1;
    }
    locInput->Update();  // acquires

    locXdotool("keydown Escape");
    locInput->Update();
    locCheck(locKey(1).myCurrent == 1 && locKey(1).WentDown(), "Escape held is key 1 down");
    locXdotool("keyup Escape");
    locInput->Update();
    locCheck(locKey(1).myCurrent == 0 && locKey(1).WentUp(), "Escape released");

    locXdotool("key KP_Add KP_Subtract Right");
    locInput->Update();
    locCheck(locKey(78).myTransientPress == 1, "keypad plus is key 78");
    locCheck(locKey(74).myTransientPress == 1, "keypad minus is key 74");
    locCheck(locKey(0xCD).myTransientPress == 1, "Right arrow is key 0xCD");

    locXdotool("type hi");
    locInput->Update();
    locCheck(strcmp(locInput->GetTypedText(), "hi") == 0, "typed text");
    locCheck(locKey(35).WentDown() && locKey(23).WentDown(), "H and I are keys 35 and 23");

    const QI_Device* locMouse = QI_Input::GetDevice(QI_MOUSE, 0);
    locXdotool("mousemove --window $(xdotool search --name qi_xvfb_check | head -1) 100 100");
    locInput->Update();
    locXdotool("mousemove_relative 7 0");
    locInput->Update();
    locCheck(locMouse->myAxes[0].myValue == 7.0f && locMouse->myAxes[1].myValue == 0.0f, "motion 7 to the right");
    locXdotool("click 4");
    locInput->Update();
    locCheck(locMouse->myAxes[2].myValue == 120.0f, "one wheel notch is 120");
    locXdotool("click 1");
    locInput->Update();
    locCheck(locMouse->myButtons[0].WentDown() && !locMouse->myButtons[0].IsDown(), "a left click within one frame");

    QI_Input::Shutdown();
    printf("qi_xvfb_check: %d failed\n", locFailures);
    return locFailures ? 1 : 0;
}
