// Writes the seed corpus of the input recording reader: recordings made by the
// input object over a scripted keyboard, mouse and joystick, and one of a raw pad.
// Usage: make_seeds_input <corpus folder>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/input/in_script.h"
#include "qinput/qi_input.h"

static void locRecord(const std::string& aPath, bool aKeyboardFlag, bool aJoystickFlag, int aFrames)
{
    IN_Script locScript;
    IN_Hardware* locKeyboard = aKeyboardFlag ? locScript.AddKeyboard() : nullptr;
    IN_Hardware* locMouse = locScript.AddMouse();
    IN_Hardware* locStick = aJoystickFlag ? locScript.AddJoystick("Stick", 1, 2, 4, 0x3F, 0, 1023, 1)
                                          : locScript.AddJoystick("Pad", 0x045E, 0x0033, 2, 0x23, -512, 511, 0);
    if (!QI_Input::Init(true) || !QI_Input::GetInstance()->StartRecording(aPath.c_str()))
        exit(1);
    for (int i = 0; i < aFrames; i++)
    {
        IN_FeedKey(locKeyboard, 2 + i % 5, i % 3 != 0);
        if (i % 4 == 1)
        {
            IN_FeedKey(locKeyboard, 57, true);
            IN_FeedKey(locKeyboard, 57, false);
        }
        IN_FeedMotion(locMouse, i % 5 - 2, i % 3 - 1);
        IN_FeedButton(locMouse, i % 3, i % 2);
        if (i % 6 == 0)
            IN_FeedWheel(locMouse, 120);
        IN_FeedAxis(locStick, i % 3, (i * 97) % 1024 - (aJoystickFlag ? 0 : 512));
        IN_FeedPOV(locStick, 0, i % 5 == 0 ? 0xFFFFFFFFu : 4500u * (i % 8));
        IN_FeedButton(locStick, i % 2, i % 4 < 2);
        QI_Input::GetInstance()->Update();
    }
    QI_Input::Shutdown();
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_seeds_input <corpus folder>\n");
        return 2;
    }
    const std::string locFolder = std::string(argv[1]) + "/fuzz_inputrec";
    mkdir(argv[1], 0755);
    mkdir(locFolder.c_str(), 0755);
    locRecord(locFolder + "/keys_mouse_stick.rec", true, true, 12);
    locRecord(locFolder + "/mouse_stick.rec", false, true, 40);
    locRecord(locFolder + "/mouse_raw_pad.rec", false, false, 6);
    locRecord(locFolder + "/header_only.rec", true, true, 0);
    return 0;
}
