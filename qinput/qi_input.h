// The input library's front object: every keyboard, mouse and joystick found
// at start, read once per frame into plain tables of axes and buttons, the
// text typed into the program's window, and the recording and playback of a
// run's input and frame times.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "qcommon/qc_staticstring.h"

class OS_SaveFile;

constexpr uint32_t QINPUT_FILEVERSION = 1;
constexpr uint32_t QI_MAX_DEVICES = 32;  // device indices take 5 bits in recordings

// Device kinds.
enum QI_DeviceKind
{
    QI_KEYBOARD = 0,
    QI_MOUSE = 1,
    QI_JOYSTICK = 2,
    QI_RAW_PAD = 3,  // the controller with vendor 0x045E, product 0x0033: raw values, no events
};

// Why the last failing operation failed.
enum QI_ErrorCode
{
    QI_ERROR_NONE = 0,
    QI_ERROR_EXISTS,          // an input object exists already
    QI_ERROR_NO_WINDOW,       // no window to take input from
    QI_ERROR_NO_SYSTEM,       // the input system could not be opened
    QI_ERROR_ENUMERATION,     // the devices could not be listed
    QI_ERROR_OPEN_FILE,       // the recording file could not be opened
    QI_ERROR_UNBUFFERED,      // no longer given: records go out in single writes
    QI_ERROR_WRITE,           // a write to the recording failed; the recording ended, the old file kept
    QI_ERROR_TOO_MANY_EVENTS, // a frame had 64 axis or 1024 button events; the recording ended
    QI_ERROR_VERSION,         // the recording has another version
    QI_ERROR_BAD_HEADER,      // the recording's header is damaged
    QI_ERROR_BAD_EVENT,       // a frame names a device, axis or button that does not exist
    QI_ERROR_NO_MEMORY,
};

QI_ErrorCode QI_GetErrorCode();
const char* QI_GetErrorText(QI_ErrorCode aCode);

class QI_Axis
{
public:
    QC_StaticString<128> myName;
    float myValue = 0.0f;     // movement in this frame
    float myPosition = 0.0f;  // accumulated (relative axes) or absolute position
    float myScale = 1.0f;
    int myCentre = 0;         // half the axis's range
    bool mySuppressFlag = true;  // the first reading gives no movement
};

class QI_Button
{
public:
    QC_StaticString<128> myName;
    uint8_t myTransientPress = 0;    // went down during this frame and is up again at its end
    uint8_t myTransientRelease = 0;  // went up during this frame and is down again at its end
    uint8_t myPrevious = 0;          // down (1) at the end of the previous frame
    uint8_t myCurrent = 0;           // down (1) now

    bool IsDown() const { return myCurrent != 0; }
    bool WentDown() const { return (myCurrent && !myPrevious) || myTransientPress; }
    bool WentUp() const { return (myPrevious && !myCurrent) || myTransientRelease; }
};

class QI_Device
{
public:
    QI_Device();
    virtual ~QI_Device();

    // Base: Reset. Live devices acquire first.
    virtual bool Activate();
    // Base: true.
    virtual bool Deactivate();
    // One frame of reading. Base: true.
    virtual bool Poll();

    // Every axis value 0; every button's previous = current, transients and current 0.
    void Reset();
    // Start of a frame: every axis value 0; every button's previous = current, transients 0.
    void StartFrame();
    // Replace the tables by aCount fresh entries; false when out of memory.
    bool CreateAxes(uint32_t aCount);
    bool CreateButtons(uint32_t aCount);

    QC_StaticString<128> myName;
    QI_Axis* myAxes;
    uint32_t myNumAxes;
    QI_Button* myButtons;
    uint32_t myNumButtons;
    uint32_t myKind;  // QI_DeviceKind
};

class QI_Input
{
public:
    // Creates the global input object over the input layer. aHostWindow is the
    // window whose keyboard and mouse events are read (a QWidget* of the
    // program); null takes the window that has the keyboard focus. With the
    // shared flag false the devices are asked for exclusive use, which the
    // layer grants as shared. False on any failure, leaving nothing behind.
    static bool Init(bool aSharedFlag, void* aHostWindow = nullptr);
    // Destroys every device and the object, then the frame timer.
    static void Shutdown();
    static QI_Input* GetInstance() { return ourInstance; }

    // The anIndex-th device of aKind in creation order; null when there is none
    // (or no input object).
    static QI_Device* GetDevice(uint32_t aKind, uint32_t anIndex);

    // Creates a base input object that replays the recording instead of
    // devices. False when an input object exists, the file cannot be opened or
    // its header is refused (nothing is left behind then).
    static bool StartPlayback(const char* aFileName);
    // The same over an open stream, which the call takes over in every case.
    static bool StartPlayback(FILE* aFile);
    // Writes the header from the current tables, then one record per Update.
    // The recording goes to a temporary file beside aFileName and replaces it
    // when the recording ends (a file there until then keeps its contents);
    // frames are written as they come, so a recording cut by a crash stays
    // readable in the temporary file until the next save of that name. A file
    // the user may not write is refused.
    bool StartRecording(const char* aFileName);
    bool IsRecording() const { return myRecordingFlag; }
    // The file the frames go to while recording; null otherwise, and for a
    // hard-linked file, which is rewritten in place when the recording ends.
    const char* GetRecordingPath() const;
    bool IsPlayingBack() const { return myPlayingBackFlag; }

    QI_Input();
    virtual ~QI_Input();
    virtual void FetchTypedText();
    virtual bool Activate();
    virtual bool Deactivate();
    // One frame: the timer, every device, the typed text; or one recorded frame.
    virtual void Update();

    // Shared set-up: the frame timer, the random seed from the clock.
    bool InitCommon();
    // Appends a device; false (the caller keeps it) when all slots are taken.
    bool AddDevice(QI_Device* aDevice);
    const char* GetTypedText() const { return myTypedText.GetBuffer(); }

    bool myPlayingBackFlag;
    bool myRecordingFlag;
    bool myIsActiveFlag;
    uint32_t mySeed;
    FILE* myFile;  // playback; owned
    OS_SaveFile* myRecording;  // owned, while recording
    QI_Device* myDevices[QI_MAX_DEVICES];
    uint32_t myNumDevices;
    QC_StaticString<128> myTypedText;

    static QI_Input* ourInstance;

private:
    bool ReadHeader();
    void PlaybackFrame();
    void RecordFrame();
    void EndRecording(QI_ErrorCode aCode, const char* aWhy);
    void EndPlayback();
};
