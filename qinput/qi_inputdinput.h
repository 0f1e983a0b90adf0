// The live input object and its devices over the input layer.
#pragma once

#include "platform/input/in_input.h"
#include "qinput/qi_input.h"

class QI_InputDInput : public QI_Input
{
public:
    // Closes the input system and lets the window go.
    ~QI_InputDInput() override;
    // Moves the window's typed text into the object.
    void FetchTypedText() override;

    static IN_System* ourSystem;
};

class QI_DInputDevice : public QI_Device
{
public:
    explicit QI_DInputDevice(IN_Device* aDevice);
    // Unacquires and releases the device object.
    ~QI_DInputDevice() override;

    bool Activate() override;
    bool Deactivate() override;
    bool Poll() override;

    IN_Device* myDevice;

private:
    // Runs a read; when the device was lost or is not acquired, acquires it
    // and reads again. False on a failed acquire or any other error.
    template <class Read> bool Retry(Read aRead, int* aResult = nullptr);
    bool ReadEvents();
    bool ReadJoystick();
    bool ReadRawPad();
};
