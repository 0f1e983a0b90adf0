// Input from the X server itself for the editors' tests under Xvfb.
#pragma once

#include "platform/ui/ui_app.h"

#include <chrono>
#include <cstdlib>
#include <string>

// Runs xdotool, then lets the frame take the X events for a while.
inline bool Xdotool(const std::string& anArguments)
{
    const bool locOkFlag = system(("xdotool " + anArguments).c_str()) == 0;
    auto locStart = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - locStart < std::chrono::milliseconds(300))
        UI_DispatchMessages(false);
    return locOkFlag;
}
