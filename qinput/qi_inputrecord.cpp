// The input recording file: little-endian fields without padding. A header
// (version, seed, device blocks with their axis and button names), then one
// record per frame: the frame timer's four values and the axis and button
// events of that frame.
#include "qinput/qi_input.h"

#include "platform/os/os_savefile.h"
#include "qcommon/qc_debug.h"
#include "qinput/qi_input_local.h"
#include "qinput/qi_time.h"

#include <stdlib.h>
#include <string.h>

#include <new>
#include <vector>

namespace
{
constexpr uint32_t locNameRecordSize = 132;   // 128 characters and an int32 length
constexpr uint32_t locMaxAxes = 2048;         // 11 bits of an axis address
constexpr uint32_t locMaxButtons = 256;       // 8 bits of a button event
constexpr uint32_t locMaxKind = QI_RAW_PAD;
constexpr int locFrameHeaderSize = 24;

// Collects one header or frame, written with a single unbuffered write.
class Writer
{
public:
    void PutU16(uint32_t aValue)
    {
        myBytes.push_back((uint8_t)aValue);
        myBytes.push_back((uint8_t)(aValue >> 8));
    }
    void PutU32(uint32_t aValue)
    {
        for (int i = 0; i < 4; i++)
            myBytes.push_back((uint8_t)(aValue >> (8 * i)));
    }
    void PutF32(float aValue)
    {
        uint32_t locBits;
        memcpy(&locBits, &aValue, 4);
        PutU32(locBits);
    }
    void PutF64(double aValue)
    {
        uint64_t locBits;
        memcpy(&locBits, &aValue, 8);
        PutU32((uint32_t)locBits);
        PutU32((uint32_t)(locBits >> 32));
    }
    // The text, zeros up to 128 bytes (never what memory held after the NUL), the length.
    void PutName(const QC_StaticString<128>& aName)
    {
        const size_t locLength = strnlen(aName.GetBuffer(), 127);
        const size_t locStart = myBytes.size();
        myBytes.resize(locStart + 128, 0);
        memcpy(&myBytes[locStart], aName.GetBuffer(), locLength);
        PutU32((uint32_t)locLength);
    }
    // One write: a crash leaves whole records but the last.
    bool WriteTo(OS_SaveFile& aFile) const { return aFile.Write(myBytes.data(), myBytes.size()); }

private:
    std::vector<uint8_t> myBytes;
};

// Reads fields and knows how much of the file is left.
class Reader
{
public:
    explicit Reader(FILE* aFile) : myFile(aFile)
    {
        myLeft = UINT64_MAX;
        const long locStart = ftell(aFile);
        if (locStart >= 0 && fseek(aFile, 0, SEEK_END) == 0)
        {
            const long locEnd = ftell(aFile);
            if (locEnd >= locStart)
                myLeft = (uint64_t)(locEnd - locStart);
            fseek(aFile, locStart, SEEK_SET);
        }
    }
    uint64_t GetLeft() const { return myLeft; }
    bool Read(void* aData, size_t aSize)
    {
        if (fread(aData, 1, aSize, myFile) != aSize)
            return false;
        if (myLeft != UINT64_MAX)
            myLeft = myLeft >= aSize ? myLeft - aSize : 0;
        return true;
    }
    bool ReadU32(uint32_t* aValue)
    {
        uint8_t locBytes[4];
        if (!Read(locBytes, 4))
            return false;
        *aValue = locBytes[0] | (locBytes[1] << 8) | (locBytes[2] << 16) | ((uint32_t)locBytes[3] << 24);
        return true;
    }
    bool ReadF32(float* aValue)
    {
        uint32_t locBits;
        if (!ReadU32(&locBits))
            return false;
        memcpy(aValue, &locBits, 4);
        return true;
    }
    // A name record whose length is 0..127 and whose first NUL is at that length.
    bool ReadName(QC_StaticString<128>* aName)
    {
        char locText[128];
        uint32_t locLength;
        if (!Read(locText, sizeof(locText)) || !ReadU32(&locLength))
            return false;
        if (locLength > 127 || locText[locLength] != 0 || memchr(locText, 0, locLength))
            return false;
        *aName = locText;
        return true;
    }

private:
    FILE* myFile;
    uint64_t myLeft;
};

uint32_t locU32(const uint8_t* aBytes)
{
    return aBytes[0] | (aBytes[1] << 8) | (aBytes[2] << 16) | ((uint32_t)aBytes[3] << 24);
}

float locF32(const uint8_t* aBytes)
{
    const uint32_t locBits = locU32(aBytes);
    float locValue;
    memcpy(&locValue, &locBits, 4);
    return locValue;
}

double locF64(const uint8_t* aBytes)
{
    const uint64_t locBits = locU32(aBytes) | ((uint64_t)locU32(aBytes + 4) << 32);
    double locValue;
    memcpy(&locValue, &locBits, 8);
    return locValue;
}
} // namespace

// [Recording]

bool QI_Input::StartRecording(const char* aFileName)
{
    if (myPlayingBackFlag || myRecordingFlag || !aFileName)
    {
        QI_SetErrorCode(QI_ERROR_OPEN_FILE);
        return false;
    }
    OS_SaveFile* locFile = new (std::nothrow) OS_SaveFile;
    if (!locFile || !locFile->Begin(aFileName))
    {
        delete locFile;
        QI_SetErrorCode(QI_ERROR_OPEN_FILE);
        return false;
    }
    Writer locHeader;
    locHeader.PutU32(QINPUT_FILEVERSION);
    locHeader.PutU32(mySeed);
    locHeader.PutU32(myNumDevices);
    for (uint32_t i = 0; i < myNumDevices; i++)
    {
        const QI_Device* locDevice = myDevices[i];
        locHeader.PutName(locDevice->myName);
        locHeader.PutU32(locDevice->myKind);
        locHeader.PutU32(locDevice->myNumAxes);
        for (uint32_t j = 0; j < locDevice->myNumAxes; j++)
        {
            locHeader.PutName(locDevice->myAxes[j].myName);
            locHeader.PutF32(locDevice->myAxes[j].myScale);
        }
        locHeader.PutU32(locDevice->myNumButtons);
        for (uint32_t j = 0; j < locDevice->myNumButtons; j++)
            locHeader.PutName(locDevice->myButtons[j].myName);
    }
    if (!locHeader.WriteTo(*locFile))
    {
        delete locFile;
        QI_SetErrorCode(QI_ERROR_WRITE);
        return false;
    }
    myRecording = locFile;
    myRecordingFlag = true;
    return true;
}

const char* QI_Input::GetRecordingPath() const
{
    return myRecording ? myRecording->GetTempPath() : nullptr;
}

void QI_Input::EndRecording(QI_ErrorCode aCode, const char* aWhy)
{
    QC_Debug::Printf("QI_Input::Update(): recording ended: %s\n", aWhy);
    // The frames so far are whole unless a write failed: then the file named
    // keeps what it held.
    if (aCode != QI_ERROR_WRITE)
        myRecording->Commit();
    delete myRecording;
    myRecording = nullptr;
    myRecordingFlag = false;
    QI_SetErrorCode(aCode);
}

void QI_Input::RecordFrame()
{
    uint32_t locNumAxisEvents = 0;
    uint32_t locNumButtonEvents = 0;
    for (uint32_t i = 0; i < myNumDevices; i++)
    {
        const QI_Device* locDevice = myDevices[i];
        for (uint32_t j = 0; j < locDevice->myNumAxes; j++)
            locNumAxisEvents += locDevice->myAxes[j].myValue != 0.0f;
        for (uint32_t j = 0; j < locDevice->myNumButtons; j++)
        {
            const QI_Button& locButton = locDevice->myButtons[j];
            locNumButtonEvents += locButton.myCurrent != locButton.myPrevious || locButton.myTransientPress ||
                                  locButton.myTransientRelease;
        }
    }
    if (locNumAxisEvents >= 64 || locNumButtonEvents >= 1024)
    {
        EndRecording(QI_ERROR_TOO_MANY_EVENTS, "a frame has 64 axis events or 1024 button events");
        return;
    }

    Writer locFrame;
    locFrame.PutF32(QI_Time::ourFrameTime);
    locFrame.PutF32(QI_Time::ourTime);
    locFrame.PutF64(QI_Time::ourRealFrameTime);
    locFrame.PutF64(QI_Time::ourTotalRealTime);
    locFrame.PutU16((locNumAxisEvents << 10) | locNumButtonEvents);
    for (uint32_t i = 0; i < myNumDevices; i++)
    {
        const QI_Device* locDevice = myDevices[i];
        for (uint32_t j = 0; j < locDevice->myNumAxes; j++)
        {
            if (locDevice->myAxes[j].myValue != 0.0f)
            {
                locFrame.PutU16((i << 11) | j);
                locFrame.PutF32(locDevice->myAxes[j].myValue);
            }
        }
    }
    for (uint32_t i = 0; i < myNumDevices; i++)
    {
        const QI_Device* locDevice = myDevices[i];
        for (uint32_t j = 0; j < locDevice->myNumButtons; j++)
        {
            const QI_Button& locButton = locDevice->myButtons[j];
            if (locButton.myCurrent != locButton.myPrevious || locButton.myTransientPress ||
                locButton.myTransientRelease)
                locFrame.PutU16((i << 11) | (j << 3) | ((locButton.myTransientPress != 0) << 2) |
                                ((locButton.myTransientRelease != 0) << 1) | (locButton.myCurrent != 0));
        }
    }
    if (!locFrame.WriteTo(*myRecording))
        EndRecording(QI_ERROR_WRITE, "the file could not be written");
}

// [Playback]

bool QI_Input::StartPlayback(const char* aFileName)
{
    if (ourInstance)
    {
        QI_SetErrorCode(QI_ERROR_EXISTS);
        return false;
    }
    FILE* locFile = aFileName ? fopen(aFileName, "rb") : nullptr;
    if (!locFile)
    {
        QI_SetErrorCode(QI_ERROR_OPEN_FILE);
        return false;
    }
    return StartPlayback(locFile);
}

bool QI_Input::StartPlayback(FILE* aFile)
{
    if (!aFile)
    {
        QI_SetErrorCode(QI_ERROR_OPEN_FILE);
        return false;
    }
    if (ourInstance)
    {
        fclose(aFile);
        QI_SetErrorCode(QI_ERROR_EXISTS);
        return false;
    }
    QI_Input* locInput = new (std::nothrow) QI_Input;
    if (!locInput)
    {
        fclose(aFile);
        QI_SetErrorCode(QI_ERROR_NO_MEMORY);
        return false;
    }
    const bool locHadTimerFlag = QI_Time::GetInstance() != nullptr;
    ourInstance = locInput;
    locInput->InitCommon();
    locInput->myPlayingBackFlag = true;
    locInput->myFile = aFile;
    if (locInput->ReadHeader())
        return true;
    // Nothing is left behind: the devices read so far, the object, its file
    // and a timer made for it.
    for (uint32_t i = 0; i < locInput->myNumDevices; i++)
        delete locInput->myDevices[i];
    locInput->myNumDevices = 0;
    delete locInput;
    ourInstance = nullptr;
    if (!locHadTimerFlag)
        QI_Time::Shutdown();
    return false;
}

bool QI_Input::ReadHeader()
{
    Reader locReader(myFile);
    uint32_t locVersion;
    if (!locReader.ReadU32(&locVersion))
    {
        QI_SetErrorCode(QI_ERROR_BAD_HEADER);
        return false;
    }
    if (locVersion != QINPUT_FILEVERSION)
    {
        QI_SetErrorCode(QI_ERROR_VERSION);
        return false;
    }
    uint32_t locNumDevices;
    if (!locReader.ReadU32(&mySeed) || !locReader.ReadU32(&locNumDevices) || locNumDevices > QI_MAX_DEVICES)
    {
        QI_SetErrorCode(QI_ERROR_BAD_HEADER);
        return false;
    }
    // The recorded run's random numbers.
    srand(mySeed);
    for (uint32_t i = 0; i < locNumDevices; i++)
    {
        QI_Device* locDevice = new (std::nothrow) QI_Device;
        if (!locDevice)
        {
            QI_SetErrorCode(QI_ERROR_NO_MEMORY);
            return false;
        }
        AddDevice(locDevice);
        uint32_t locCount;
        if (!locReader.ReadName(&locDevice->myName) || !locReader.ReadU32(&locDevice->myKind) ||
            locDevice->myKind > locMaxKind || !locReader.ReadU32(&locCount) || locCount > locMaxAxes ||
            locCount * (uint64_t)(locNameRecordSize + 4) > locReader.GetLeft())
        {
            QI_SetErrorCode(QI_ERROR_BAD_HEADER);
            return false;
        }
        if (!locDevice->CreateAxes(locCount))
        {
            QI_SetErrorCode(QI_ERROR_NO_MEMORY);
            return false;
        }
        for (uint32_t j = 0; j < locCount; j++)
        {
            if (!locReader.ReadName(&locDevice->myAxes[j].myName) || !locReader.ReadF32(&locDevice->myAxes[j].myScale))
            {
                QI_SetErrorCode(QI_ERROR_BAD_HEADER);
                return false;
            }
        }
        if (!locReader.ReadU32(&locCount) || locCount > locMaxButtons ||
            locCount * (uint64_t)locNameRecordSize > locReader.GetLeft())
        {
            QI_SetErrorCode(QI_ERROR_BAD_HEADER);
            return false;
        }
        if (!locDevice->CreateButtons(locCount))
        {
            QI_SetErrorCode(QI_ERROR_NO_MEMORY);
            return false;
        }
        for (uint32_t j = 0; j < locCount; j++)
        {
            if (!locReader.ReadName(&locDevice->myButtons[j].myName))
            {
                QI_SetErrorCode(QI_ERROR_BAD_HEADER);
                return false;
            }
        }
    }
    return true;
}

void QI_Input::EndPlayback()
{
    fclose(myFile);
    myFile = nullptr;
}

void QI_Input::PlaybackFrame()
{
    for (uint32_t i = 0; i < myNumDevices; i++)
    {
        QI_Device* locDevice = myDevices[i];
        locDevice->StartFrame();
        // A joystick's hat entries hold only their frame's value, as when read live.
        if (locDevice->myKind == QI_JOYSTICK)
        {
            for (uint32_t j = 6; j < 8 && j < locDevice->myNumAxes; j++)
                locDevice->myAxes[j].myPosition = 0.0f;
        }
    }
    if (!myFile)
        return;

    // A record cut short is the end of the recording.
    uint8_t locTimes[locFrameHeaderSize];
    uint8_t locCountBytes[2];
    if (fread(locTimes, 1, sizeof(locTimes), myFile) != sizeof(locTimes))
    {
        EndPlayback();
        return;
    }
    QI_Time::ourFrameTime = locF32(locTimes);
    QI_Time::ourTime = locF32(locTimes + 4);
    QI_Time::ourRealFrameTime = locF64(locTimes + 8);
    QI_Time::ourTotalRealTime = locF64(locTimes + 16);
    if (fread(locCountBytes, 1, 2, myFile) != 2)
    {
        EndPlayback();
        return;
    }
    const uint32_t locCounts = locCountBytes[0] | (locCountBytes[1] << 8);
    const uint32_t locNumAxisEvents = locCounts >> 10;
    const uint32_t locNumButtonEvents = locCounts & 0x3FF;
    uint8_t locEvents[63 * 6 + 1023 * 2];
    const size_t locSize = locNumAxisEvents * 6 + locNumButtonEvents * 2;
    if (fread(locEvents, 1, locSize, myFile) != locSize)
    {
        EndPlayback();
        return;
    }

    // Every event is checked before any is applied.
    const uint8_t* locButtonEvents = locEvents + locNumAxisEvents * 6;
    for (uint32_t i = 0; i < locNumAxisEvents; i++)
    {
        const uint32_t locAddress = locEvents[i * 6] | (locEvents[i * 6 + 1] << 8);
        const uint32_t locDevice = locAddress >> 11;
        if (locDevice >= myNumDevices || (locAddress & 0x7FF) >= myDevices[locDevice]->myNumAxes)
        {
            QC_Debug::Printf("QI_Input::Update(): playback ended: event for a missing axis %u of device %u\n",
                             locAddress & 0x7FF, locDevice);
            QI_SetErrorCode(QI_ERROR_BAD_EVENT);
            EndPlayback();
            return;
        }
    }
    for (uint32_t i = 0; i < locNumButtonEvents; i++)
    {
        const uint32_t locWord = locButtonEvents[i * 2] | (locButtonEvents[i * 2 + 1] << 8);
        const uint32_t locDevice = locWord >> 11;
        if (locDevice >= myNumDevices || ((locWord >> 3) & 0xFF) >= myDevices[locDevice]->myNumButtons)
        {
            QC_Debug::Printf("QI_Input::Update(): playback ended: event for a missing button %u of device %u\n",
                             (locWord >> 3) & 0xFF, locDevice);
            QI_SetErrorCode(QI_ERROR_BAD_EVENT);
            EndPlayback();
            return;
        }
    }
    for (uint32_t i = 0; i < locNumAxisEvents; i++)
    {
        const uint32_t locAddress = locEvents[i * 6] | (locEvents[i * 6 + 1] << 8);
        QI_Axis& locAxis = myDevices[locAddress >> 11]->myAxes[locAddress & 0x7FF];
        locAxis.myValue = locF32(locEvents + i * 6 + 2);
        locAxis.myPosition += locAxis.myValue;
    }
    for (uint32_t i = 0; i < locNumButtonEvents; i++)
    {
        const uint32_t locWord = locButtonEvents[i * 2] | (locButtonEvents[i * 2 + 1] << 8);
        QI_Button& locButton = myDevices[locWord >> 11]->myButtons[(locWord >> 3) & 0xFF];
        locButton.myTransientPress = (locWord >> 2) & 1;
        locButton.myTransientRelease = (locWord >> 1) & 1;
        locButton.myCurrent = locWord & 1;
    }
}
