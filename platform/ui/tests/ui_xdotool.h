// For the checks that run in a real X window under Xvfb: the server's pointer
// and keys through xdotool.
#pragma once

#include <QGuiApplication>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/ui/ui_app.h"

// Runs xdotool with the arguments, then lets the windows take the X events
// for a while. False when xdotool failed.
inline bool UI_TestXdotool(const std::string& anArguments)
{
    const bool locOkFlag = system(("xdotool " + anArguments).c_str()) == 0;
    // A round trip: the events xdotool made are in the queue however loaded the machine.
    QGuiApplication::sync();
    auto locStart = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - locStart < std::chrono::milliseconds(300))
        UI_DispatchMessages(false);
    return locOkFlag;
}
