// The renderer build's additions to the common library.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string>
#include <sys/stat.h>

#include "qcommon/qc_debug.h"
#include "qcommon/qc_debuglistenerimplementations.h"
#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_mem.h"
#include "qcommon/qc_stacktrace.h"
#include "platform/os/os_ui.h"
#include "qcommon/qc_staticstring.h"
#include "qcommon/qc_string.h"
#include "qcommon/qc_vector.h"

namespace
{
std::string locTmpPath(const char* aName)
{
    mkdir(Q_TEST_TMP_DIR, 0755);
    return std::string(Q_TEST_TMP_DIR) + "/" + aName;
}

std::string locReadFile(const std::string& aPath)
{
    std::string locText;
    FILE* locFile = fopen(aPath.c_str(), "rb");
    if (!locFile)
        return "<missing>";
    char locBuffer[4096];
    size_t locRead;
    while ((locRead = fread(locBuffer, 1, sizeof(locBuffer), locFile)) > 0)
        locText.append(locBuffer, locRead);
    fclose(locFile);
    return locText;
}

class RecordingListener : public QC_DebugListener
{
public:
    void Print(const char* aText) override { myText += aText; }
    void Close() override {}
    std::string myText;
};
} // namespace

TEST(QC_StringRenderTest, TrimsBothEnds)
{
    QC_String locRight("ab  ");
    EXPECT_EQ(locRight.TrimRight(), 2);
    EXPECT_STREQ(locRight, "ab");
    EXPECT_EQ(locRight.GetLength(), 2);
    QC_String locLeft("  ab");
    locLeft.TrimLeft();
    EXPECT_STREQ(locLeft, "ab");
    EXPECT_EQ(locLeft.GetLength(), 2);
    QC_String locEmpty;
    EXPECT_EQ(locEmpty.TrimRight(), 0);
    locEmpty.TrimLeft();
    EXPECT_STREQ(locEmpty, "");
}

TEST(QC_StringRenderTest, ReplaceRepeatsAndRefusesEndlessCases)
{
    QC_String locText("axbx");
    EXPECT_EQ(locText.Replace("x", "yy"), 2);
    EXPECT_STREQ(locText, "ayybyy");
    EXPECT_EQ(locText.GetLength(), 6);
    // Each pass replaces the first occurrence of what is there now.
    QC_String locShrink("aaaa");
    EXPECT_EQ(locShrink.Replace("aa", "a"), 3);
    EXPECT_STREQ(locShrink, "a");
    QC_String locSame("abc");
    EXPECT_EQ(locSame.Replace("", "z"), 0);
    EXPECT_EQ(locSame.Replace("b", "bb"), 0);
    EXPECT_STREQ(locSame, "abc");
    EXPECT_EQ(locSame.Replace("b", nullptr), 1);
    EXPECT_STREQ(locSame, "ac");
}

TEST(QC_StringRenderTest, MidAndDeleteCutAtTheEnd)
{
    QC_String locText("abcdef");
    EXPECT_STREQ(locText.Mid(2, 10), "cdef");
    EXPECT_STREQ(locText.Mid(-1, 2), "");
    EXPECT_STREQ(locText.Mid(7, 2), "");
    EXPECT_EQ(locText.Delete(1, 2), 6);
    EXPECT_STREQ(locText, "adef");
    EXPECT_EQ(locText.Delete(2, 100), 4);
    EXPECT_STREQ(locText, "ad");
    EXPECT_EQ(locText.Delete(-1, 1), 2);
    EXPECT_STREQ(locText, "ad");
}

TEST(QC_StringRenderTest, AppendsAndCompares)
{
    QC_String locText("ab");
    locText += "cd";
    locText += 'e';
    EXPECT_STREQ(locText, "abcde");
    EXPECT_EQ(locText.GetLength(), 5);
    locText += locText.GetBuffer() + 3;
    EXPECT_STREQ(locText, "abcdede");
    QC_String locJoined = "x" + QC_String("y");
    EXPECT_STREQ(locJoined, "xy");
    EXPECT_STREQ(QC_String("p") + QC_String("q"), "pq");

    QC_String a("abc"), b("abd");
    EXPECT_TRUE(a < b && a <= b && b > a && b >= a && a <= a && a >= a);
    EXPECT_TRUE(a < "abd" && a <= "abc" && a > "abb" && a >= "abc");
    EXPECT_TRUE("abb" < a && "abc" <= a && "abd" > a && "abc" >= a && "abc" == a && "abd" != a);
    EXPECT_LT(a.Compare("abd"), 0);
    EXPECT_EQ(a.Compare("abc"), 0);
    EXPECT_GT(a.Compare(nullptr), 0);
}

TEST(QC_DebugRenderTest, ChannelsStatisticsAndListenerRemoval)
{
    std::string locChannel = locTmpPath("channel.txt");
    std::string locStatistics = locTmpPath("statistics.txt");
    ASSERT_TRUE(QC_Debug::Init(nullptr, false, false, false, locStatistics.c_str()));
    RecordingListener* locListener = new RecordingListener;
    ASSERT_TRUE(QC_Debug::AddListener(locListener));

    QC_Debug::OpenChannel(locChannel.c_str(), 3);
    QC_Debug::ChannelPrintf(3, "first %d", 1);
    // A second open of the channel is ignored: the file is not emptied again.
    QC_Debug::OpenChannel(locChannel.c_str(), 3);
    QC_Debug::ChannelPrintf(3, "second");
    QC_Debug::ChannelPrintf(4, "nowhere");
    QC_Debug::ChannelPrintf(12, "outside");
    QC_Debug::OpenChannel(locChannel.c_str(), -1);
    EXPECT_EQ(locReadFile(locChannel), "first 1\r\nsecond\r\n");
    EXPECT_EQ(locListener->myText, "first 1second");

    QC_Debug::AddStatistic("frames", 5);
    QC_Debug::AddStatistic("frames", 1);
    QC_Debug::AddStatistic("frames", 9);
    QC_Debug::AddStatistic("load", 0.5f);

    EXPECT_TRUE(QC_Debug::RemoveListener(locListener));
    EXPECT_FALSE(QC_Debug::RemoveListener(locListener));
    EXPECT_FALSE(QC_Debug::RemoveListener(nullptr));
    EXPECT_EQ(QC_Debug::GetNrOfListeners(), 0);
    delete locListener;
    QC_Debug::Shutdown();

    std::string locWritten = locReadFile(locStatistics);
    EXPECT_NE(locWritten.find("             3,             5,             1,             9, frames\r\n"),
              std::string::npos)
        << locWritten;
    EXPECT_NE(locWritten.find(", load\r\n"), std::string::npos);
}

TEST(QC_DebugRenderTest, PlainInitKeepsNoStatisticsAndPrintsNothing)
{
    ASSERT_TRUE(QC_Debug::Init());
    EXPECT_EQ(QC_Debug::Printf("nothing"), 0);
    QC_Debug::AddStatistic("ignored", 1);
    QC_Debug::Shutdown();
    EXPECT_EXIT(
        {
            QC_Debug::Init();
            QC_Debug::Init();
        },
        testing::ExitedWithCode(102), "Assertion \\(ourAmInitedFlag == false\\) failed");
}

TEST(QC_GrowingArrayRenderTest, RemoveCyclicAndFullArrayWithoutStep)
{
    QC_GrowingArray<int> locArray;
    ASSERT_TRUE(locArray.Init(3, 0, false));
    EXPECT_TRUE(locArray.Add(1));
    EXPECT_TRUE(locArray.Add(2));
    EXPECT_TRUE(locArray.Add(3));
    // Full, and a step of 0 cannot make room.
    EXPECT_FALSE(locArray.Add(4));
    EXPECT_EQ(locArray.myUsedNrOfItems, 3);
    EXPECT_TRUE(locArray.RemoveCyclic(1));
    ASSERT_EQ(locArray.myUsedNrOfItems, 2);
    EXPECT_EQ(locArray.myItemList[0], 3);
    EXPECT_EQ(locArray.myItemList[1], 2);
    EXPECT_FALSE(locArray.RemoveCyclic(7));
}

TEST(QC_StaticStringTest, HoldsUpToCapacityMinusOne)
{
    std::string loc127(127, 'a');
    {
        QC_StaticString<128> locText;
        locText = loc127.c_str();
        EXPECT_EQ(locText.myLength, 127);
        locText = nullptr;
        EXPECT_EQ(locText.myLength, 0);
        locText += 'x';
        locText.Format("Key %d", 12);
        EXPECT_STREQ(locText.myData, "Key 12");
        EXPECT_EQ(locText.myLength, 6);
        locText.Format("%s%s", loc127.c_str(), "overflow");
        EXPECT_EQ(locText.myLength, 127);
    }
    EXPECT_EXIT(
        {
            QC_StaticString<128> locText;
            std::string loc128(128, 'b');
            locText = loc128.c_str();
        },
        testing::ExitedWithCode(102), "Assertion \\(i < StringLength\\) failed");
    EXPECT_EXIT(
        {
            QC_StaticString<128> locText;
            locText = loc127.c_str();
            locText += 'c';
        },
        testing::ExitedWithCode(102), "Assertion \\(myLength \\+ 1 < StringLength\\) failed");
}

TEST(QC_VectorTest, NormalizeCrossAndCompare)
{
    QC_Vector locZero(0.0f, 0.0f, 0.0f);
    locZero.Normalize();
    EXPECT_EQ(locZero, QC_Vector(0.0f, 0.0f, 0.0f));
    QC_Vector locVector(3.0f, 0.0f, 4.0f);
    EXPECT_FLOAT_EQ(locVector.LengthSquared(), 25.0f);
    locVector.Normalize();
    EXPECT_FLOAT_EQ(locVector.x, 0.6f);
    EXPECT_FLOAT_EQ(locVector.z, 0.8f);
    QC_Vector locCross = QC_Vector::Cross(QC_Vector(1, 0, 0), QC_Vector(0, 1, 0));
    EXPECT_EQ(locCross, QC_Vector(0, 0, 1));
    QC_Vector locNaN(NAN, 0, 0);
    EXPECT_TRUE(locNaN != locNaN);
}

namespace
{
std::string locBoxes;
int locRecordBox(const char* aText, const char* aCaption, int aFlags)
{
    locBoxes += std::string(aCaption) + ": " + aText + "\n";
    return OS_ID_OK;
}
} // namespace

TEST(QC_StackTraceRenderTest, ProgramWithoutTableIsWarnedAbout)
{
    // The start-up load already ran (and warned on standard error); run it again
    // with a recording box.
    QC_StackTrace::Release();
    OS_MessageBoxHook locPrevious = OS_SetMessageBoxHook(locRecordBox);
    QC_StackTrace::Load();
    OS_SetMessageBoxHook(locPrevious);
    EXPECT_EQ(QC_StackTrace::GetLoadResult(), QC_StackTrace::LOAD_NO_TABLE);
    EXPECT_EQ(locBoxes, "Warning: .map file not found. Stack trace can't do name lookup.\n");
}

namespace
{
int locRestores = 0;
void locCountRestore()
{
    locRestores++;
}
} // namespace

TEST(QC_MemRenderTest, RestoreDisplayRunsTheHookAlone)
{
    OS_RestoreDisplayHook locPrevious = OS_SetRestoreDisplayHook(locCountRestore);
    QC_Mem::RestoreDisplay();
    OS_SetRestoreDisplayHook(locPrevious);
    EXPECT_EQ(locRestores, 1);
}
