// The input recording file: its layout, record and replay of a scripted run,
// the end of a recording, and the refusal of damaged files.
#include <gtest/gtest.h>

#include "platform/input/in_script.h"
#include "platform/os/os_savefile.h"
#include "qinput/qi_inputdinput.h"
#include "qinput/qi_time.h"

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
typedef std::vector<uint8_t> Bytes;

std::string locTempPath(const char* aName)
{
    mkdir(Q_TEST_TMP_DIR, 0755);
    return std::string(Q_TEST_TMP_DIR) + "/" + aName;
}

Bytes locReadFile(const std::string& aPath)
{
    Bytes locBytes;
    if (FILE* locFile = fopen(aPath.c_str(), "rb"))
    {
        int locChar;
        while ((locChar = fgetc(locFile)) != EOF)
            locBytes.push_back((uint8_t)locChar);
        fclose(locFile);
    }
    return locBytes;
}

void locWriteFile(const std::string& aPath, const Bytes& aBytes)
{
    FILE* locFile = fopen(aPath.c_str(), "wb");
    ASSERT_NE(nullptr, locFile);
    if (!aBytes.empty())
    {
        ASSERT_EQ(aBytes.size(), fwrite(aBytes.data(), 1, aBytes.size(), locFile));
    }
    fclose(locFile);
}

uint32_t locU32(const Bytes& aBytes, size_t anOffset)
{
    uint32_t locValue;
    memcpy(&locValue, &aBytes[anOffset], 4);
    return locValue;
}

void locPutU32(Bytes* aBytes, size_t anOffset, uint32_t aValue)
{
    memcpy(&(*aBytes)[anOffset], &aValue, 4);
}

uint16_t locU16(const Bytes& aBytes, size_t anOffset)
{
    return (uint16_t)(aBytes[anOffset] | (aBytes[anOffset + 1] << 8));
}

constexpr size_t locNameSize = 132;
constexpr size_t locFrameSize = 26;

// A device block's size in the header.
size_t locBlockSize(uint32_t aNumAxes, uint32_t aNumButtons)
{
    return locNameSize + 4 + 4 + aNumAxes * (locNameSize + 4) + 4 + aNumButtons * locNameSize;
}

// An input object made by hand: device 0 "Pad" (kind 2, axes "A" and "B", 3
// buttons), device 1 "Keys" (kind 0, 2 buttons). Its header is 12 + both blocks.
struct HandMade
{
    QI_Input myInput;
    QI_Device* myPad;
    QI_Device* myKeys;

    HandMade()
    {
        myPad = new QI_Device;
        myPad->myName = "Pad";
        myPad->myKind = QI_JOYSTICK;
        myPad->CreateAxes(2);
        myPad->myAxes[0].myName = "A";
        myPad->myAxes[1].myName = "B";
        myPad->myAxes[1].myScale = 0.3f;
        myPad->CreateButtons(3);
        myKeys = new QI_Device;
        myKeys->myName = "Keys";
        myKeys->myKind = QI_KEYBOARD;
        myKeys->CreateButtons(2);
        myInput.AddDevice(myPad);
        myInput.AddDevice(myKeys);
    }
    ~HandMade()
    {
        for (uint32_t i = 0; i < myInput.myNumDevices; i++)
            delete myInput.myDevices[i];
    }
    static size_t HeaderSize() { return 12 + locBlockSize(2, 3) + locBlockSize(0, 2); }
};

// A recording of the hand-made object: two frames, the second with an axis
// and a button event.
Bytes locHandMadeRecording(const std::string& aPath)
{
    {
        HandMade locMade;
        EXPECT_TRUE(locMade.myInput.StartRecording(aPath.c_str()));
        locMade.myInput.Update();
        locMade.myPad->myAxes[1].myValue = -1.2345f;
        locMade.myKeys->myButtons[1].myCurrent = 1;
        locMade.myInput.Update();
    }
    return locReadFile(aPath);
}

class QI_RecordTest : public ::testing::Test
{
protected:
    void SetUp() override { QI_SetErrorCodeForTests(); }
    void TearDown() override
    {
        QI_Input::Shutdown();
        myScript.reset();
    }
    static void QI_SetErrorCodeForTests()
    {
        // Leave the error code at a known value: a refused StartPlayback on a missing file.
        QI_Input::StartPlayback("/nonexistent/recording");
    }
    void InitLive()
    {
        myScript.reset(new IN_Script);
        myKeyboard = myScript->AddKeyboard();
        myMouse = myScript->AddMouse();
        myStick = myScript->AddJoystick("Stick", 7, 7, 4, 0x23, 0, 1000, 1);
        ASSERT_TRUE(QI_Input::Init(true));
    }
    static void Frame() { QI_Input::GetInstance()->Update(); }

    std::unique_ptr<IN_Script> myScript;
    IN_Hardware* myKeyboard = nullptr;
    IN_Hardware* myMouse = nullptr;
    IN_Hardware* myStick = nullptr;
};

TEST_F(QI_RecordTest, HeaderDescribesTheTablesAndQuietFramesAre26Bytes)
{
    InitLive();
    QI_Device* locKeyboard = QI_Input::GetDevice(QI_KEYBOARD, 0);
    // What the name buffer held past a shorter name must not reach the file.
    locKeyboard->myName = "A keyboard with a rather long name";
    locKeyboard->myName = "Kb";
    Frame();
    const std::string locPath = locTempPath("quiet.rec");
    ASSERT_TRUE(QI_Input::GetInstance()->StartRecording(locPath.c_str()));
    const std::string locRecording = QI_Input::GetInstance()->GetRecordingPath();
    const size_t locHeader = 12 + locBlockSize(0, 256) + locBlockSize(3, 5) + locBlockSize(8, 4);
    EXPECT_EQ(locHeader, locReadFile(locRecording).size());
    Frame();
    Frame();
    const Bytes locBytes = locReadFile(locRecording);
    ASSERT_EQ(locHeader + 2 * locFrameSize, locBytes.size());
    EXPECT_EQ(QINPUT_FILEVERSION, locU32(locBytes, 0));
    EXPECT_EQ(QI_Input::GetInstance()->mySeed, locU32(locBytes, 4));
    EXPECT_EQ(3u, locU32(locBytes, 8));
    EXPECT_EQ(0, memcmp(&locBytes[12], "Kb", 3));
    for (size_t i = 15; i < 12 + 128; i++)
        ASSERT_EQ(0, locBytes[i]) << i;
    EXPECT_EQ(2u, locU32(locBytes, 12 + 128));
    EXPECT_EQ((uint32_t)QI_KEYBOARD, locU32(locBytes, 12 + locNameSize));
    // The joystick's axis scale.
    const size_t locStick = 12 + locBlockSize(0, 256) + locBlockSize(3, 5);
    float locScale;
    memcpy(&locScale, &locBytes[locStick + locNameSize + 8 + 128 + 4], 4);
    EXPECT_FLOAT_EQ(1.0f / 256.0f, locScale);
    // The last frame: the timer's values, no events.
    float locFrameTime;
    memcpy(&locFrameTime, &locBytes[locHeader + locFrameSize], 4);
    EXPECT_EQ(QI_Time::ourFrameTime, locFrameTime);
    EXPECT_EQ(0, locU16(locBytes, locHeader + locFrameSize + 24));
}

TEST_F(QI_RecordTest, HeldKeysAndMouseMotionGiveOneEventPerChange)
{
    InitLive();
    Frame();
    const std::string locPath = locTempPath("events.rec");
    ASSERT_TRUE(QI_Input::GetInstance()->StartRecording(locPath.c_str()));
    const size_t locHeader = locReadFile(QI_Input::GetInstance()->GetRecordingPath()).size();
    IN_FeedKey(myKeyboard, 30, true);
    IN_FeedMotion(myMouse, 3, 0);
    Frame();
    IN_FeedMotion(myMouse, -2, 0);
    Frame();
    Frame();
    IN_FeedKey(myKeyboard, 30, false);
    Frame();
    QI_Input::Shutdown();

    const Bytes locBytes = locReadFile(locPath);
    size_t locAt = locHeader;
    struct Expected
    {
        int myAxisEvents;
        int myButtonEvents;
        float myMotion;
        uint16_t myButtonWord;
    };
    const Expected locFrames[] = {
        {1, 1, 3.0f, (30 << 3) | 1},
        {1, 0, -2.0f, 0},
        {0, 0, 0.0f, 0},
        {0, 1, 0.0f, (30 << 3) | 0},
    };
    for (const Expected& locFrame : locFrames)
    {
        ASSERT_LE(locAt + locFrameSize, locBytes.size());
        const uint16_t locCounts = locU16(locBytes, locAt + 24);
        EXPECT_EQ(locFrame.myAxisEvents, locCounts >> 10);
        EXPECT_EQ(locFrame.myButtonEvents, locCounts & 0x3FF);
        locAt += locFrameSize;
        if (locFrame.myAxisEvents)
        {
            EXPECT_EQ(1 << 11, locU16(locBytes, locAt));  // device 1, axis 0
            float locValue;
            memcpy(&locValue, &locBytes[locAt + 2], 4);
            EXPECT_EQ(locFrame.myMotion, locValue);
            locAt += 6;
        }
        if (locFrame.myButtonEvents)
        {
            EXPECT_EQ(locFrame.myButtonWord, locU16(locBytes, locAt));  // device 0
            locAt += 2;
        }
    }
    EXPECT_EQ(locBytes.size(), locAt);
}

// What one frame left in the tables and the timer, and the next random number.
struct Snapshot
{
    float myFrameTime, myTime;
    double myRealFrameTime, myTotalRealTime;
    std::vector<float> myAxes;
    std::vector<int> myButtons;
    int myRandom;

    static Snapshot Take()
    {
        Snapshot locShot;
        locShot.myFrameTime = QI_Time::ourFrameTime;
        locShot.myTime = QI_Time::ourTime;
        locShot.myRealFrameTime = QI_Time::ourRealFrameTime;
        locShot.myTotalRealTime = QI_Time::ourTotalRealTime;
        const QI_Input* locInput = QI_Input::GetInstance();
        for (uint32_t i = 0; i < locInput->myNumDevices; i++)
        {
            const QI_Device* locDevice = locInput->myDevices[i];
            for (uint32_t j = 0; j < locDevice->myNumAxes; j++)
            {
                locShot.myAxes.push_back(locDevice->myAxes[j].myValue);
                locShot.myAxes.push_back(locDevice->myAxes[j].myPosition);
            }
            for (uint32_t j = 0; j < locDevice->myNumButtons; j++)
            {
                const QI_Button& locButton = locDevice->myButtons[j];
                locShot.myButtons.push_back(locButton.myTransientPress | (locButton.myTransientRelease << 1) |
                                            (locButton.myPrevious << 2) | (locButton.myCurrent << 3));
            }
        }
        locShot.myRandom = rand();
        return locShot;
    }
    bool operator==(const Snapshot& anOther) const
    {
        return myFrameTime == anOther.myFrameTime && myTime == anOther.myTime &&
               myRealFrameTime == anOther.myRealFrameTime && myTotalRealTime == anOther.myTotalRealTime &&
               myAxes == anOther.myAxes && myButtons == anOther.myButtons && myRandom == anOther.myRandom;
    }
};

TEST_F(QI_RecordTest, ReplayGivesTheSameTablesTimesAndRandomNumbers)
{
    InitLive();
    const std::string locPath = locTempPath("replay.rec");
    ASSERT_TRUE(QI_Input::GetInstance()->StartRecording(locPath.c_str()));
    std::vector<Snapshot> locLive;
    srand(12345);  // the script's own choices, apart from the run's generator
    std::vector<int> locChoices;
    for (int i = 0; i < 400; i++)
        locChoices.push_back(rand());
    srand(QI_Input::GetInstance()->mySeed);
    for (int locFrame = 0; locFrame < 60; locFrame++)
    {
        const int locChoice = locChoices[locFrame];
        IN_FeedKey(myKeyboard, locChoice % 8, (locChoice >> 3) & 1);
        if (locChoice & 0x10)
        {
            IN_FeedKey(myKeyboard, 20, true);
            IN_FeedKey(myKeyboard, 20, false);
        }
        // Key 21 is held through the run and let go and pressed again now and then.
        if (locFrame == 0 || (locChoice & 0x20))
        {
            IN_FeedKey(myKeyboard, 21, false);
            IN_FeedKey(myKeyboard, 21, true);
        }
        IN_FeedMotion(myMouse, locChoice % 7 - 3, locChoice % 5 - 2);
        IN_FeedButton(myMouse, (locChoice >> 5) % 3, (locChoice >> 7) & 1);
        if (locChoice & 0x100)
            IN_FeedWheel(myMouse, 120);
        if (locFrame > 1)
            IN_FeedAxis(myStick, (locChoice & 1) ? 5 : 0, locChoice % 1001);
        IN_FeedPOV(myStick, 0, (locChoice & 0x200) ? 4500u * (locChoice % 8) : IN_POV_CENTRED);
        IN_FeedButton(myStick, locChoice % 4, (locChoice >> 11) & 1);
        Frame();
        locLive.push_back(Snapshot::Take());
    }
    QI_Input::Shutdown();
    myScript.reset();

    ASSERT_TRUE(QI_Input::StartPlayback(locPath.c_str()));
    EXPECT_TRUE(QI_Input::GetInstance()->IsPlayingBack());
    EXPECT_NE(nullptr, QI_Time::GetInstance());
    EXPECT_EQ(3u, QI_Input::GetInstance()->myNumDevices);
    EXPECT_STREQ("Stick", QI_Input::GetDevice(QI_JOYSTICK, 0)->myName);
    for (size_t i = 0; i < locLive.size(); i++)
    {
        Frame();
        EXPECT_TRUE(locLive[i] == Snapshot::Take()) << "frame " << i;
        EXPECT_STREQ("", QI_Input::GetInstance()->GetTypedText());
    }
    // Past the end: the frame's start only.
    Frame();
    EXPECT_EQ(nullptr, QI_Input::GetInstance()->myFile);
}

TEST_F(QI_RecordTest, AFileCutInsideAFrameStopsThereQuietly)
{
    const std::string locPath = locTempPath("cut.rec");
    const Bytes locWhole = locHandMadeRecording(locPath);
    ASSERT_EQ(HandMade::HeaderSize() + locFrameSize + locFrameSize + 6 + 2, locWhole.size());
    // Inside the timer values, inside the counts word, inside the events.
    for (size_t locCut : {size_t(3), size_t(25), size_t(30)})
    {
        locWriteFile(locPath, Bytes(locWhole.begin(), locWhole.begin() + HandMade::HeaderSize() + locFrameSize + locCut));
        ASSERT_TRUE(QI_Input::StartPlayback(locPath.c_str()));
        QI_Input* locInput = QI_Input::GetInstance();
        QI_Device* locPad = QI_Input::GetDevice(QI_JOYSTICK, 0);
        Frame();
        EXPECT_NE(nullptr, locInput->myFile);
        Frame();
        EXPECT_EQ(nullptr, locInput->myFile) << locCut;
        EXPECT_EQ(0.0f, locPad->myAxes[1].myValue);
        EXPECT_EQ(QI_ERROR_OPEN_FILE, QI_GetErrorCode());  // untouched
        Frame();
        QI_Input::Shutdown();
    }
}

TEST_F(QI_RecordTest, PlaybackOfTheHandMadeRecordingRebuildsPositionsAndStates)
{
    const std::string locPath = locTempPath("hand.rec");
    locHandMadeRecording(locPath);
    ASSERT_TRUE(QI_Input::StartPlayback(locPath.c_str()));
    QI_Device* locPad = QI_Input::GetDevice(QI_JOYSTICK, 0);
    ASSERT_NE(nullptr, locPad);
    EXPECT_STREQ("B", locPad->myAxes[1].myName);
    EXPECT_EQ(0.3f, locPad->myAxes[1].myScale);
    EXPECT_EQ(1, locPad->myAxes[0].mySuppressFlag);
    Frame();
    Frame();
    EXPECT_EQ(-1.2345f, locPad->myAxes[1].myValue);
    EXPECT_EQ(-1.2345f, locPad->myAxes[1].myPosition);
    const QI_Button& locKey = QI_Input::GetDevice(QI_KEYBOARD, 0)->myButtons[1];
    EXPECT_EQ(1, locKey.myCurrent);
    EXPECT_EQ(0, locKey.myPrevious);
    Frame();
    EXPECT_EQ(0.0f, locPad->myAxes[1].myValue);
    EXPECT_EQ(-1.2345f, locPad->myAxes[1].myPosition);
    EXPECT_EQ(1, locKey.myPrevious);
}

TEST_F(QI_RecordTest, DamagedHeadersAreRefusedAndLeaveNothingBehind)
{
    const std::string locPath = locTempPath("damaged.rec");
    const Bytes locGood = locHandMadeRecording(locPath);
    const size_t locPad = 12;
    const size_t locAxisCount = locPad + locNameSize + 4;
    const size_t locButtonCount = locAxisCount + 4 + 2 * (locNameSize + 4);
    const size_t locKeys = 12 + locBlockSize(2, 3);
    struct Case
    {
        const char* myWhat;
        size_t myOffset;
        uint32_t myValue;
        QI_ErrorCode myCode;
    };
    const Case locCases[] = {
        {"version 2", 0, 2, QI_ERROR_VERSION},
        {"version 0", 0, 0, QI_ERROR_VERSION},
        {"33 devices", 8, 33, QI_ERROR_BAD_HEADER},
        {"3 devices where 2 follow", 8, 3, QI_ERROR_BAD_HEADER},
        {"name length 128", locPad + 128, 128, QI_ERROR_BAD_HEADER},
        {"name length -1", locPad + 128, 0xFFFFFFFF, QI_ERROR_BAD_HEADER},
        {"name NUL before the length", locPad + 128, 4, QI_ERROR_BAD_HEADER},
        {"name NUL after the length", locPad + 128, 2, QI_ERROR_BAD_HEADER},
        {"kind 4", locPad + locNameSize, 4, QI_ERROR_BAD_HEADER},
        {"kind 3", locPad + locNameSize, 3, QI_ERROR_NONE},
        {"2049 axes", locAxisCount, 2049, QI_ERROR_BAD_HEADER},
        {"more axes than the file holds", locAxisCount, 40, QI_ERROR_BAD_HEADER},
        {"257 buttons", locButtonCount, 257, QI_ERROR_BAD_HEADER},
        {"more buttons than the file holds", locButtonCount, 200, QI_ERROR_BAD_HEADER},
        {"axis name length 200", locAxisCount + 4 + 128, 200, QI_ERROR_BAD_HEADER},
        {"button name length 200", locKeys + locNameSize + 12 + 128, 200, QI_ERROR_BAD_HEADER},
    };
    for (const Case& locCase : locCases)
    {
        Bytes locBytes = locGood;
        locPutU32(&locBytes, locCase.myOffset, locCase.myValue);
        locWriteFile(locPath, locBytes);
        QI_SetErrorCodeForTests();
        if (locCase.myCode == QI_ERROR_NONE)
        {
            EXPECT_TRUE(QI_Input::StartPlayback(locPath.c_str())) << locCase.myWhat;
            QI_Input::Shutdown();
            continue;
        }
        EXPECT_FALSE(QI_Input::StartPlayback(locPath.c_str())) << locCase.myWhat;
        EXPECT_EQ(locCase.myCode, QI_GetErrorCode()) << locCase.myWhat;
        EXPECT_EQ(nullptr, QI_Input::GetInstance()) << locCase.myWhat;
        EXPECT_EQ(nullptr, QI_Time::GetInstance()) << locCase.myWhat;
    }
    for (size_t locCut : {size_t(0), size_t(7), size_t(100), HandMade::HeaderSize() - 1})
    {
        locWriteFile(locPath, Bytes(locGood.begin(), locGood.begin() + locCut));
        EXPECT_FALSE(QI_Input::StartPlayback(locPath.c_str())) << locCut;
        EXPECT_EQ(QI_ERROR_BAD_HEADER, QI_GetErrorCode()) << locCut;
        EXPECT_EQ(nullptr, QI_Input::GetInstance());
    }
    // 33 whole device blocks are refused as well: the device indices of events have 5 bits.
    Bytes locMany(locGood.begin(), locGood.begin() + 12);
    locPutU32(&locMany, 8, 33);
    for (int i = 0; i < 33; i++)
        locMany.insert(locMany.end(), locGood.begin() + locKeys, locGood.begin() + HandMade::HeaderSize());
    locWriteFile(locPath, locMany);
    EXPECT_FALSE(QI_Input::StartPlayback(locPath.c_str()));
    EXPECT_EQ(QI_ERROR_BAD_HEADER, QI_GetErrorCode());
    locPutU32(&locMany, 8, 32);
    locMany.resize(locMany.size() - (HandMade::HeaderSize() - locKeys));
    locWriteFile(locPath, locMany);
    EXPECT_TRUE(QI_Input::StartPlayback(locPath.c_str()));
    EXPECT_EQ(32u, QI_Input::GetInstance()->myNumDevices);
    QI_Input::Shutdown();

    // The whole header alone is a recording without frames.
    locWriteFile(locPath, Bytes(locGood.begin(), locGood.begin() + HandMade::HeaderSize()));
    EXPECT_TRUE(QI_Input::StartPlayback(locPath.c_str()));
    EXPECT_FALSE(QI_Input::StartPlayback(locPath.c_str()));
    EXPECT_EQ(QI_ERROR_EXISTS, QI_GetErrorCode());
    QI_SetErrorCodeForTests();
    EXPECT_FALSE(QI_Input::StartPlayback(fopen(locPath.c_str(), "rb")));  // the stream is closed
    EXPECT_EQ(QI_ERROR_EXISTS, QI_GetErrorCode());
}

TEST_F(QI_RecordTest, TheLargestTablesEventsCanAddressAreAccepted)
{
    const std::string locPath = locTempPath("large.rec");
    {
        QI_Input locInput;
        QI_Device* locDevice = new QI_Device;
        locDevice->CreateAxes(2048);
        locDevice->CreateButtons(256);
        locInput.AddDevice(locDevice);
        ASSERT_TRUE(locInput.StartRecording(locPath.c_str()));
        locDevice->myAxes[2047].myValue = 3.0f;
        locDevice->myButtons[255].myCurrent = 1;
        locInput.Update();
        delete locDevice;
    }
    ASSERT_TRUE(QI_Input::StartPlayback(locPath.c_str()));
    QI_Input::GetInstance()->Update();
    const QI_Device* locDevice = QI_Input::GetDevice(QI_KEYBOARD, 0);
    ASSERT_NE(nullptr, locDevice);
    EXPECT_EQ(3.0f, locDevice->myAxes[2047].myValue);
    EXPECT_EQ(1, locDevice->myButtons[255].myCurrent);
}

TEST_F(QI_RecordTest, AnEventForAMissingEntryEndsPlayback)
{
    const std::string locPath = locTempPath("badevent.rec");
    const Bytes locGood = locHandMadeRecording(locPath);
    const size_t locEvents = HandMade::HeaderSize() + 2 * locFrameSize;
    struct Case
    {
        const char* myWhat;
        size_t myOffset;
        uint16_t myWord;
    };
    const Case locCases[] = {
        {"axis of device 2", locEvents, (2 << 11) | 0},
        {"axis 2 of the pad", locEvents, (0 << 11) | 2},
        {"axis of the keyboard", locEvents, (1 << 11) | 0},
        {"button 2 of the keyboard", locEvents + 6, (1 << 11) | (2 << 3) | 1},
        {"button of device 31", locEvents + 6, (31 << 11) | 1},
    };
    for (const Case& locCase : locCases)
    {
        Bytes locBytes = locGood;
        locBytes[locCase.myOffset] = (uint8_t)locCase.myWord;
        locBytes[locCase.myOffset + 1] = (uint8_t)(locCase.myWord >> 8);
        locWriteFile(locPath, locBytes);
        QI_SetErrorCodeForTests();
        ASSERT_TRUE(QI_Input::StartPlayback(locPath.c_str())) << locCase.myWhat;
        Frame();
        Frame();
        EXPECT_EQ(nullptr, QI_Input::GetInstance()->myFile) << locCase.myWhat;
        EXPECT_EQ(QI_ERROR_BAD_EVENT, QI_GetErrorCode()) << locCase.myWhat;
        // Nothing of the bad frame was applied.
        EXPECT_EQ(0.0f, QI_Input::GetDevice(QI_JOYSTICK, 0)->myAxes[1].myValue) << locCase.myWhat;
        EXPECT_EQ(0, QI_Input::GetDevice(QI_KEYBOARD, 0)->myButtons[1].myCurrent) << locCase.myWhat;
        QI_Input::Shutdown();
    }
}

TEST_F(QI_RecordTest, AFrameWithTooManyEventsEndsTheRecording)
{
    const std::string locPath = locTempPath("many.rec");
    for (int locAxesFlag = 0; locAxesFlag < 2; locAxesFlag++)
    {
        QI_Input locInput;
        for (int i = 0; i < 4; i++)
        {
            QI_Device* locDevice = new QI_Device;
            locDevice->CreateAxes(16);
            locDevice->CreateButtons(256);
            locInput.AddDevice(locDevice);
        }
        ASSERT_TRUE(locInput.StartRecording(locPath.c_str()));
        const size_t locHeader = locReadFile(locInput.GetRecordingPath()).size();
        // 63 axis events and 1023 button events still fit.
        for (int i = 0; i < 63; i++)
            locInput.myDevices[i / 16]->myAxes[i % 16].myValue = 1.0f;
        for (int i = 0; i < 1023; i++)
            locInput.myDevices[i / 256]->myButtons[i % 256].myTransientPress = 1;
        locInput.Update();
        EXPECT_TRUE(locInput.IsRecording());
        if (locAxesFlag)
            locInput.myDevices[3]->myAxes[15].myValue = -1.0f;
        else
            locInput.myDevices[3]->myButtons[255].myTransientRelease = 1;
        locInput.Update();
        EXPECT_FALSE(locInput.IsRecording());
        EXPECT_EQ(nullptr, locInput.GetRecordingPath());
        EXPECT_EQ(QI_ERROR_TOO_MANY_EVENTS, QI_GetErrorCode());
        EXPECT_EQ(locHeader + locFrameSize + 63 * 6 + 1023 * 2, locReadFile(locPath).size());
        locInput.Update();  // no longer recording: nothing more
        EXPECT_EQ(locHeader + locFrameSize + 63 * 6 + 1023 * 2, locReadFile(locPath).size());
        for (uint32_t i = 0; i < locInput.myNumDevices; i++)
            delete locInput.myDevices[i];
    }
}

TEST_F(QI_RecordTest, AFailedWriteEndsTheRecordingAndIsReported)
{
    HandMade locMade;
    // A device is not replaced by a file.
    EXPECT_FALSE(locMade.myInput.StartRecording("/dev/full"));
    EXPECT_EQ(QI_ERROR_OPEN_FILE, QI_GetErrorCode());
    EXPECT_FALSE(locMade.myInput.IsRecording());
    EXPECT_FALSE(locMade.myInput.StartRecording("/nonexistent/folder/x.rec"));
    EXPECT_EQ(QI_ERROR_OPEN_FILE, QI_GetErrorCode());
    // One recording at a time.
    const std::string locFirst = locTempPath("first.rec");
    ASSERT_TRUE(locMade.myInput.StartRecording(locFirst.c_str()));
    EXPECT_FALSE(QI_Input::Init(true));  // no window here: leaves another code behind
    EXPECT_FALSE(locMade.myInput.StartRecording(locTempPath("second.rec").c_str()));
    EXPECT_EQ(QI_ERROR_OPEN_FILE, QI_GetErrorCode());
    EXPECT_TRUE(locMade.myInput.IsRecording());
    delete locMade.myInput.myRecording;
    locMade.myInput.myRecording = nullptr;
    locMade.myInput.myRecordingFlag = false;

    // A file size limit lets the header and one frame through.
    const std::string locPath = locTempPath("limited.rec");
    remove(locPath.c_str());
    rlimit locOld;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &locOld));
    void (*locOldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    rlimit locLimit = locOld;
    locLimit.rlim_cur = HandMade::HeaderSize() + locFrameSize + 10;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &locLimit));
    const bool locStartedFlag = locMade.myInput.StartRecording(locPath.c_str());
    locMade.myInput.Update();
    const bool locAfterOneFlag = locMade.myInput.IsRecording();
    locMade.myInput.Update();
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, locOldHandler);
    EXPECT_TRUE(locStartedFlag);
    EXPECT_TRUE(locAfterOneFlag);
    EXPECT_FALSE(locMade.myInput.IsRecording());
    EXPECT_EQ(QI_ERROR_WRITE, QI_GetErrorCode());
    EXPECT_FALSE(fs::exists(locPath));   // nothing was there, nothing half is
}

TEST_F(QI_RecordTest, ARecordingOverAnotherReplacesItOnlyWhenItEnds)
{
    const fs::path locDir = fs::path(locTempPath("over"));
    fs::remove_all(locDir);
    fs::create_directories(locDir);
    const std::string locPath = (locDir / "run.rec").string();
    const Bytes locOld = locHandMadeRecording(locPath);
    fs::permissions(locPath, fs::perms::owner_read | fs::perms::owner_write);

    // Cut short by a crash after three frames: the old recording stays whole
    // and the three frames can be played from the file they went to.
    int locPipe[2];
    ASSERT_EQ(0, pipe(locPipe));
    const pid_t locChild = fork();
    ASSERT_GE(locChild, 0);
    if (locChild == 0)
    {
        HandMade locMade;
        if (!locMade.myInput.StartRecording(locPath.c_str()))
            _exit(1);
        for (int i = 0; i < 3; i++)
            locMade.myInput.Update();
        const std::string locRecording = locMade.myInput.GetRecordingPath();
        if (write(locPipe[1], locRecording.c_str(), locRecording.size()) != ssize_t(locRecording.size()))
            _exit(2);
        kill(getpid(), SIGKILL);
    }
    close(locPipe[1]);
    char locName[4096];
    const ssize_t locLength = read(locPipe[0], locName, sizeof(locName));
    close(locPipe[0]);
    int locStatus = 0;
    ASSERT_EQ(locChild, waitpid(locChild, &locStatus, 0));
    ASSERT_TRUE(WIFSIGNALED(locStatus)) << locStatus;
    ASSERT_GT(locLength, 0);
    const std::string locCut(locName, size_t(locLength));
    EXPECT_EQ(locOld, locReadFile(locPath));
    EXPECT_EQ(HandMade::HeaderSize() + 3 * locFrameSize, locReadFile(locCut).size());
    ASSERT_TRUE(QI_Input::StartPlayback(locCut.c_str()));
    for (int i = 0; i < 3; i++)
    {
        Frame();
        EXPECT_NE(nullptr, QI_Input::GetInstance()->myFile) << i;
    }
    Frame();
    EXPECT_EQ(nullptr, QI_Input::GetInstance()->myFile);
    QI_Input::Shutdown();

    // A recording that ends replaces the old one, keeps its mode and clears
    // what the crashed one left.
    {
        HandMade locMade;
        ASSERT_TRUE(locMade.myInput.StartRecording(locPath.c_str()));
        locMade.myInput.Update();
        EXPECT_EQ(locOld, locReadFile(locPath));
    }
    EXPECT_EQ(HandMade::HeaderSize() + locFrameSize, locReadFile(locPath).size());
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(locPath).permissions() & fs::perms::all);
    EXPECT_EQ(std::vector<fs::path>{locPath}, std::vector<fs::path>(fs::directory_iterator(locDir), {}));

    // A read-only recording is not replaced.
    fs::permissions(locPath, fs::perms::owner_read);
    HandMade locMade;
    EXPECT_FALSE(locMade.myInput.StartRecording(locPath.c_str()));
    EXPECT_EQ(QI_ERROR_OPEN_FILE, QI_GetErrorCode());
}
} // namespace
