// Input from the X server itself for the editors' tests under Xvfb.
#pragma once

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdlib>
#include <string>

// Runs xdotool, then lets the frame take the X events for a while.
inline bool Xdotool(const std::string& anArguments)
{
    const bool locOkFlag = system(("xdotool " + anArguments).c_str()) == 0;
    // A round trip: the events xdotool made are in the queue however loaded the machine.
    QGuiApplication::sync();
    auto locStart = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - locStart < std::chrono::milliseconds(300))
        UI_DispatchMessages(false);
    return locOkFlag;
}

// The frame shown (as the program does after the start) and given the
// keyboard (there is no window manager to do it).
inline bool XActivateFrame(UI_Frame* aFrame)
{
    QWidget* locWindow = UI_GetFrameWidget(aFrame);
    if (!locWindow->isVisible())
        UI_FrameShow(aFrame);
    auto locStart = std::chrono::steady_clock::now();
    while (!locWindow->isActiveWindow() && std::chrono::steady_clock::now() - locStart < std::chrono::seconds(10))
    {
        if (locWindow->windowHandle() && locWindow->windowHandle()->isExposed())
        {
            locWindow->raise();
            locWindow->activateWindow();
            Xdotool("windowfocus " + std::to_string(locWindow->winId()));
        }
        UI_DispatchMessages(false);
    }
    return locWindow->isActiveWindow();
}
