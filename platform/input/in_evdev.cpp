// Joysticks through Linux evdev: capability queries, the mapping of axes,
// hats and buttons onto the joystick state, and non-blocking reads.
#include "platform/input/in_evdev.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace
{
// The evdev axes behind the joystick state's eight axes, in order.
const int locAxisCodes[IN_MAX_AXES] = {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ, ABS_THROTTLE, ABS_RUDDER};

bool locTestBit(const uint8_t* aBits, int aBit)
{
    return (aBits[aBit / 8] >> (aBit % 8)) & 1;
}

// Joystick and gamepad buttons, then the extra trigger buttons.
bool locIsJoystickButton(int aCode)
{
    return (aCode >= BTN_JOYSTICK && aCode <= BTN_THUMBR) ||
           (aCode >= BTN_TRIGGER_HAPPY && aCode < BTN_TRIGGER_HAPPY + 40);
}

// One joystick: its descriptor, the code tables and the half-read record.
struct Joystick
{
    int myFd = -1;
    IN_Hardware* myHardware = nullptr;
    int myAxisOfCode[ABS_CNT];      // axis 0..7, or -1
    int myButtonOfCode[KEY_CNT];    // button 0..31, or -1
    int myHat[IN_MAX_POVS][2] = {}; // x, y: -1, 0 or 1
    uint8_t myPending[sizeof(input_event)];
    size_t myNumPending = 0;
    bool myDroppingFlag = false;    // skipping to the next report after SYN_DROPPED
};

std::vector<Joystick*>& locJoysticks()
{
    static std::vector<Joystick*> ourJoysticks;
    return ourJoysticks;
}

int locSign(int aValue)
{
    return aValue < 0 ? -1 : (aValue > 0 ? 1 : 0);
}

// Hundredths of a degree clockwise from up; centred when both are 0.
uint32_t locPOVOfHat(int anX, int aY)
{
    static const uint32_t locAngles[3][3] = {
        // y = -1 (up), 0, 1 (down); by x = -1, 0, 1
        {31500, 0, 4500},
        {27000, IN_POV_CENTRED, 9000},
        {22500, 18000, 13500},
    };
    return locAngles[aY + 1][anX + 1];
}

void locFeedHat(Joystick* aStick, int aPOV)
{
    IN_FeedPOV(aStick->myHardware, aPOV, locPOVOfHat(aStick->myHat[aPOV][0], aStick->myHat[aPOV][1]));
}

void locHandleAbs(Joystick* aStick, int aCode, int aValue)
{
    if (aCode >= ABS_HAT0X && aCode <= ABS_HAT3Y)
    {
        const int locPOV = (aCode - ABS_HAT0X) / 2;
        aStick->myHat[locPOV][(aCode - ABS_HAT0X) % 2] = locSign(aValue);
        locFeedHat(aStick, locPOV);
        return;
    }
    if (aCode >= 0 && aCode < ABS_CNT && aStick->myAxisOfCode[aCode] >= 0)
        IN_FeedAxis(aStick->myHardware, aStick->myAxisOfCode[aCode], aValue);
}

void locHandleEvent(Joystick* aStick, const input_event& anEvent)
{
    if (anEvent.type == EV_SYN)
    {
        if (anEvent.code == SYN_DROPPED)
            aStick->myDroppingFlag = true;
        else if (anEvent.code == SYN_REPORT && aStick->myDroppingFlag)
        {
            // Events were lost: take the whole state again where the device answers.
            aStick->myDroppingFlag = false;
            uint8_t locKeys[KEY_CNT / 8] = {};
            if (ioctl(aStick->myFd, EVIOCGKEY(sizeof(locKeys)), locKeys) >= 0)
            {
                for (int i = 0; i < KEY_CNT; i++)
                {
                    if (aStick->myButtonOfCode[i] >= 0)
                        IN_FeedButton(aStick->myHardware, aStick->myButtonOfCode[i], locTestBit(locKeys, i));
                }
            }
            for (int i = 0; i < ABS_CNT; i++)
            {
                input_absinfo locInfo;
                if ((aStick->myAxisOfCode[i] >= 0 || (i >= ABS_HAT0X && i <= ABS_HAT3Y)) &&
                    ioctl(aStick->myFd, EVIOCGABS(i), &locInfo) >= 0)
                    locHandleAbs(aStick, i, locInfo.value);
            }
        }
        return;
    }
    if (aStick->myDroppingFlag)
        return;
    if (anEvent.type == EV_KEY && anEvent.code < KEY_CNT && aStick->myButtonOfCode[anEvent.code] >= 0)
        IN_FeedButton(aStick->myHardware, aStick->myButtonOfCode[anEvent.code], anEvent.value != 0);
    else if (anEvent.type == EV_ABS)
        locHandleAbs(aStick, anEvent.code, anEvent.value);
}

// Reads every waiting record without blocking.
void locPump(void* aUserData)
{
    Joystick* locStick = (Joystick*)aUserData;
    uint8_t locBuffer[64 * sizeof(input_event)];
    while (locStick->myFd >= 0)
    {
        memcpy(locBuffer, locStick->myPending, locStick->myNumPending);
        const ssize_t locRead =
            read(locStick->myFd, locBuffer + locStick->myNumPending, sizeof(locBuffer) - locStick->myNumPending);
        if (locRead < 0 && errno == EINTR)
            continue;
        if (locRead <= 0)
        {
            // Gone (unplugged, or the writer closed its end): the joystick keeps its last state.
            if (locRead == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            {
                close(locStick->myFd);
                locStick->myFd = -1;
            }
            return;
        }
        const size_t locTotal = locStick->myNumPending + (size_t)locRead;
        const size_t locWhole = locTotal / sizeof(input_event);
        for (size_t i = 0; i < locWhole; i++)
        {
            input_event locEvent;
            memcpy(&locEvent, locBuffer + i * sizeof(input_event), sizeof(locEvent));
            locHandleEvent(locStick, locEvent);
        }
        locStick->myNumPending = locTotal - locWhole * sizeof(input_event);
        memcpy(locStick->myPending, locBuffer + locWhole * sizeof(input_event), locStick->myNumPending);
    }
}

bool locQuery(int aFd, IN_EvdevDesc* aDesc)
{
    uint8_t locTypes[EV_CNT / 8 + 1] = {};
    if (ioctl(aFd, EVIOCGID, &aDesc->myId) < 0 || ioctl(aFd, EVIOCGBIT(0, sizeof(locTypes)), locTypes) < 0)
        return false;
    if (!locTestBit(locTypes, EV_ABS) || !locTestBit(locTypes, EV_KEY))
        return false;
    if (ioctl(aFd, EVIOCGNAME(sizeof(aDesc->myName) - 1), aDesc->myName) < 0)
        aDesc->myName[0] = 0;
    aDesc->myName[sizeof(aDesc->myName) - 1] = 0;
    if (ioctl(aFd, EVIOCGBIT(EV_KEY, sizeof(aDesc->myKeyBits)), aDesc->myKeyBits) < 0 ||
        ioctl(aFd, EVIOCGBIT(EV_ABS, sizeof(aDesc->myAbsBits)), aDesc->myAbsBits) < 0)
        return false;
    for (int i = 0; i < ABS_CNT; i++)
    {
        if (locTestBit(aDesc->myAbsBits, i) && ioctl(aFd, EVIOCGABS(i), &aDesc->myAbs[i]) < 0)
            return false;
    }
    if (ioctl(aFd, EVIOCGKEY(sizeof(aDesc->myKeyState)), aDesc->myKeyState) < 0)
        memset(aDesc->myKeyState, 0, sizeof(aDesc->myKeyState));
    return true;
}

// Numeric order of "eventN", so that joysticks keep their order between runs.
bool locEventNameLess(const std::string& aLeft, const std::string& aRight)
{
    const long locLeft = strtol(aLeft.c_str() + 5, nullptr, 10);
    const long locRight = strtol(aRight.c_str() + 5, nullptr, 10);
    return locLeft != locRight ? locLeft < locRight : aLeft < aRight;
}
} // namespace

bool IN_EvdevIsJoystick(const IN_EvdevDesc& aDesc)
{
    bool locHasAxis = false;
    for (int locCode : locAxisCodes)
        locHasAxis = locHasAxis || locTestBit(aDesc.myAbsBits, locCode);
    for (int i = ABS_HAT0X; i <= ABS_HAT3Y; i++)
        locHasAxis = locHasAxis || locTestBit(aDesc.myAbsBits, i);
    bool locHasButton = false;
    for (int i = BTN_JOYSTICK; i <= BTN_THUMBR; i++)
        locHasButton = locHasButton || locTestBit(aDesc.myKeyBits, i);
    return locHasAxis && locHasButton;
}

IN_Hardware* IN_EvdevAttach(int aFd, const IN_EvdevDesc& aDesc)
{
    Joystick* locStick = aFd >= 0 && IN_EvdevIsJoystick(aDesc) ? new (std::nothrow) Joystick : nullptr;
    if (!locStick)
    {
        if (aFd >= 0)
            close(aFd);
        return nullptr;
    }
    fcntl(aFd, F_SETFL, fcntl(aFd, F_GETFL) | O_NONBLOCK);
    locStick->myFd = aFd;

    IN_DeviceDesc locDesc;
    memcpy(locDesc.myInfo.myName, aDesc.myName, sizeof(locDesc.myInfo.myName));
    locDesc.myInfo.myName[sizeof(locDesc.myInfo.myName) - 1] = 0;
    locDesc.myInfo.myType = IN_TYPE_JOYSTICK;
    locDesc.myInfo.myVendor = aDesc.myId.vendor;
    locDesc.myInfo.myProduct = aDesc.myId.product;
    std::fill(locStick->myAxisOfCode, locStick->myAxisOfCode + ABS_CNT, -1);
    std::fill(locStick->myButtonOfCode, locStick->myButtonOfCode + KEY_CNT, -1);
    for (int i = 0; i < IN_MAX_AXES; i++)
    {
        const int locCode = locAxisCodes[i];
        if (!locTestBit(aDesc.myAbsBits, locCode) || aDesc.myAbs[locCode].minimum >= aDesc.myAbs[locCode].maximum)
            continue;
        locStick->myAxisOfCode[locCode] = i;
        locDesc.myAxes[i].myPresentFlag = true;
        locDesc.myAxes[i].myMin = aDesc.myAbs[locCode].minimum;
        locDesc.myAxes[i].myMax = aDesc.myAbs[locCode].maximum;
    }
    for (int i = 0; i < IN_MAX_POVS; i++)
    {
        if (locTestBit(aDesc.myAbsBits, ABS_HAT0X + 2 * i) || locTestBit(aDesc.myAbsBits, ABS_HAT0X + 2 * i + 1))
            locDesc.myInfo.myNumPOVs = i + 1;
    }
    int locNumButtons = 0;
    for (int i = 0; i < KEY_CNT && locNumButtons < IN_MAX_JOY_BUTTONS; i++)
    {
        if (locIsJoystickButton(i) && locTestBit(aDesc.myKeyBits, i))
            locStick->myButtonOfCode[i] = locNumButtons++;
    }
    locDesc.myInfo.myNumButtons = locNumButtons;

    locStick->myHardware = IN_AttachHardware(locDesc, locPump, locStick);
    if (!locStick->myHardware)
    {
        close(aFd);
        delete locStick;
        return nullptr;
    }
    // The state the device was opened in.
    for (int i = 0; i < IN_MAX_AXES; i++)
    {
        if (locDesc.myAxes[i].myPresentFlag)
            IN_FeedAxis(locStick->myHardware, i, aDesc.myAbs[locAxisCodes[i]].value);
    }
    for (int i = ABS_HAT0X; i <= ABS_HAT3Y; i++)
    {
        if (locTestBit(aDesc.myAbsBits, i))
            locHandleAbs(locStick, i, aDesc.myAbs[i].value);
    }
    for (int i = 0; i < KEY_CNT; i++)
    {
        if (locStick->myButtonOfCode[i] >= 0 && locTestBit(aDesc.myKeyState, i))
            IN_FeedButton(locStick->myHardware, locStick->myButtonOfCode[i], true);
    }
    locJoysticks().push_back(locStick);
    return locStick->myHardware;
}

int IN_EvdevScan(const char* aFolder)
{
    DIR* locDir = opendir(aFolder);
    if (!locDir)
        return 0;
    std::vector<std::string> locNames;
    while (dirent* locEntry = readdir(locDir))
    {
        if (strncmp(locEntry->d_name, "event", 5) == 0)
            locNames.push_back(locEntry->d_name);
    }
    closedir(locDir);
    std::sort(locNames.begin(), locNames.end(), locEventNameLess);

    int locFound = 0;
    for (const std::string& locName : locNames)
    {
        const std::string locPath = std::string(aFolder) + "/" + locName;
        const int locFd = open(locPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (locFd < 0)
            continue;
        IN_EvdevDesc* locDesc = new (std::nothrow) IN_EvdevDesc;
        if (locDesc && locQuery(locFd, locDesc) && IN_EvdevIsJoystick(*locDesc))
        {
            if (IN_EvdevAttach(locFd, *locDesc))
                locFound++;
        }
        else
            close(locFd);
        delete locDesc;
    }
    return locFound;
}

void IN_EvdevDetachAll()
{
    for (Joystick* locStick : locJoysticks())
    {
        IN_DetachHardware(locStick->myHardware);
        if (locStick->myFd >= 0)
            close(locStick->myFd);
        delete locStick;
    }
    locJoysticks().clear();
}
