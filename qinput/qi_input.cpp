// The input object, its devices and their tables; the frame loop.
#include "qinput/qi_input.h"

#include "platform/os/os_savefile.h"

#include "qcommon/qc_assert.h"
#include "qinput/qi_time.h"
#include "qinput/qi_input_local.h"

#include <stdlib.h>
#include <time.h>

#include <new>

QI_Input* QI_Input::ourInstance = nullptr;

namespace
{
QI_ErrorCode locErrorCode = QI_ERROR_NONE;

const char* const locErrorTexts[] = {
    "no error",
    "an input object exists already",
    "no window to take input from",
    "the input system could not be opened",
    "the input devices could not be listed",
    "the recording file could not be opened",
    "the recording file could not be made unbuffered",
    "a write to the recording failed",
    "a frame had too many events to record",
    "the recording has an unknown version",
    "the recording's header is damaged",
    "a recorded event names a missing device, axis or button",
    "out of memory",
};
} // namespace

void QI_SetErrorCode(QI_ErrorCode aCode)
{
    locErrorCode = aCode;
}

QI_ErrorCode QI_GetErrorCode()
{
    return locErrorCode;
}

const char* QI_GetErrorText(QI_ErrorCode aCode)
{
    if ((int)aCode < 0 || (size_t)aCode >= sizeof(locErrorTexts) / sizeof(locErrorTexts[0]))
        return "unknown error";
    return locErrorTexts[aCode];
}

// [Devices]

QI_Device::QI_Device()
{
    myAxes = nullptr;
    myNumAxes = 0;
    myButtons = nullptr;
    myNumButtons = 0;
    myKind = QI_KEYBOARD;
}

QI_Device::~QI_Device()
{
    delete[] myAxes;
    delete[] myButtons;
}

bool QI_Device::Activate()
{
    Reset();
    return true;
}

bool QI_Device::Deactivate()
{
    return true;
}

bool QI_Device::Poll()
{
    return true;
}

void QI_Device::Reset()
{
    StartFrame();
    for (uint32_t i = 0; i < myNumButtons; i++)
        myButtons[i].myCurrent = 0;
}

void QI_Device::StartFrame()
{
    for (uint32_t i = 0; i < myNumAxes; i++)
        myAxes[i].myValue = 0.0f;
    for (uint32_t i = 0; i < myNumButtons; i++)
    {
        QI_Button& locButton = myButtons[i];
        locButton.myPrevious = locButton.myCurrent;
        locButton.myTransientPress = 0;
        locButton.myTransientRelease = 0;
    }
}

namespace
{
// Replaces a table by aCount fresh entries; an empty table when out of memory.
template <class Entry> bool locCreateTable(Entry*& aTable, uint32_t& aNumEntries, uint32_t aCount)
{
    delete[] aTable;
    aNumEntries = 0;
    aTable = aCount ? new (std::nothrow) Entry[aCount] : nullptr;
    if (aCount && !aTable)
        return false;
    aNumEntries = aCount;
    return true;
}
} // namespace

bool QI_Device::CreateAxes(uint32_t aCount)
{
    return locCreateTable(myAxes, myNumAxes, aCount);
}

bool QI_Device::CreateButtons(uint32_t aCount)
{
    return locCreateTable(myButtons, myNumButtons, aCount);
}

// [Input object]

QI_Input::QI_Input()
{
    myPlayingBackFlag = false;
    myRecordingFlag = false;
    myIsActiveFlag = true;
    mySeed = 0;
    myFile = nullptr;
    myRecording = nullptr;
    for (QI_Device*& locDevice : myDevices)
        locDevice = nullptr;
    myNumDevices = 0;
}

QI_Input::~QI_Input()
{
    if (myFile)
        fclose(myFile);
    myFile = nullptr;
    // Recording ends here: the recording replaces the file named.
    if (myRecording)
        myRecording->Commit();
    delete myRecording;
    myRecording = nullptr;
}

void QI_Input::FetchTypedText()
{
}

bool QI_Input::InitCommon()
{
    if (!QI_Time::GetInstance())
        QI_Time::Init();
    mySeed = (uint32_t)time(nullptr);
    srand(mySeed);
    return true;
}

bool QI_Input::AddDevice(QI_Device* aDevice)
{
    if (myNumDevices >= QI_MAX_DEVICES)
        return false;
    myDevices[myNumDevices++] = aDevice;
    return true;
}

void QI_Input::Shutdown()
{
    QI_Input* locInput = ourInstance;
    if (locInput)
    {
        for (uint32_t i = 0; i < locInput->myNumDevices; i++)
        {
            delete locInput->myDevices[i];
            locInput->myDevices[i] = nullptr;
        }
        locInput->myNumDevices = 0;
        delete locInput;
        ourInstance = nullptr;
    }
    QI_Time::Shutdown();
}

QI_Device* QI_Input::GetDevice(uint32_t aKind, uint32_t anIndex)
{
    if (!ourInstance)
        return nullptr;
    for (uint32_t i = 0; i < ourInstance->myNumDevices; i++)
    {
        QI_Device* locDevice = ourInstance->myDevices[i];
        if (locDevice->myKind == aKind)
        {
            if (anIndex == 0)
                return locDevice;
            anIndex--;
        }
    }
    return nullptr;
}

bool QI_Input::Activate()
{
    QC_ASSERT(!myIsActiveFlag);
    for (uint32_t i = 0; i < myNumDevices; i++)
        myDevices[i]->Activate();
    myIsActiveFlag = true;
    return true;
}

bool QI_Input::Deactivate()
{
    QC_ASSERT(myIsActiveFlag);
    for (uint32_t i = 0; i < myNumDevices; i++)
        myDevices[i]->Deactivate();
    myIsActiveFlag = false;
    return true;
}

void QI_Input::Update()
{
    if (myPlayingBackFlag)
    {
        PlaybackFrame();
        return;
    }
    if (QI_Time* locTime = QI_Time::GetInstance())
        locTime->Update();
    for (uint32_t i = 0; i < myNumDevices; i++)
        myDevices[i]->Poll();
    myTypedText = "";
    FetchTypedText();
    if (myRecordingFlag)
        RecordFrame();
}
