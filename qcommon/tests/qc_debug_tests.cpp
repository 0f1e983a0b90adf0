// Debug listeners, the assertion report and the fatal-error routine.
#include "qcommon/qc_assert.h"
#include "qcommon/qc_debug.h"
#include "qcommon/qc_debuglistenerimplementations.h"
#include "qcommon/qc_mem.h"

#include "platform/os/os_ui.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

static std::vector<std::string> ourEvents;

class RecordingListener : public QC_DebugListener
{
public:
    explicit RecordingListener(const char* aName) : myName(aName) {}
    void Print(const char* aText) override { ourEvents.push_back(myName + " print " + aText); }
    void Close() override { ourEvents.push_back(myName + " close"); }
    std::string myName;
};

static std::string locTmpPath(const char* aName)
{
    std::filesystem::create_directories(Q_TEST_TMP_DIR);
    return std::string(Q_TEST_TMP_DIR) + "/" + aName;
}

static std::string locReadFile(const std::string& aPath)
{
    std::ifstream locStream(aPath, std::ios::binary);
    std::stringstream locText;
    locText << locStream.rdbuf();
    return locText.str();
}

class QC_DebugTest : public testing::Test
{
protected:
    void SetUp() override { ourEvents.clear(); }
    void TearDown() override
    {
        if (QC_Debug::IsInited())
            QC_Debug::Shutdown();
    }
};

TEST_F(QC_DebugTest, PrintfReachesEveryListenerInOrder)
{
    EXPECT_EQ(QC_Debug::Printf("before init %d", 1), 0);
    ASSERT_TRUE(QC_Debug::Init(nullptr, false, false, false, nullptr));
    EXPECT_EQ(QC_Debug::Printf("no listener"), 0);
    QC_Debug::AddListener(new RecordingListener("a"));
    QC_Debug::AddListener(new RecordingListener("b"));
    QC_Debug::AddListener(new RecordingListener("c"));
    EXPECT_FALSE(QC_Debug::AddListener(nullptr));
    EXPECT_EQ(QC_Debug::Printf("x=%d", 7), 3);
    EXPECT_EQ(ourEvents, (std::vector<std::string>{"a print x=7", "b print x=7", "c print x=7"}));

    // Shutdown drains slot 0: first, last, second-to-last.
    ourEvents.clear();
    QC_Debug::Shutdown();
    EXPECT_EQ(ourEvents, (std::vector<std::string>{"a close", "c close", "b close"}));
    EXPECT_EQ(QC_Debug::Printf("after shutdown"), 0);
}

TEST_F(QC_DebugTest, InitCreatesTheRequestedListeners)
{
    std::string locLog = locTmpPath("debug.log");
    ASSERT_TRUE(QC_Debug::Init(locLog.c_str(), false, false, false, ""));
    EXPECT_EQ(QC_Debug::GetNrOfListeners(), 1);
    QC_Debug::Printf("line %d", 1);
    QC_Debug::Printf("line %d", 2);
    // Unbuffered: the text is in the file before shutdown.
    EXPECT_EQ(locReadFile(locLog), "line 1\r\nline 2\r\n");
    QC_Debug::Shutdown();

    ASSERT_TRUE(QC_Debug::Init(locLog.c_str(), true, true, true, nullptr));
    EXPECT_EQ(QC_Debug::GetNrOfListeners(), 3);
    testing::internal::CaptureStdout();
    QC_Debug::Printf("appended");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "appended\n");
    QC_Debug::Shutdown();
    EXPECT_EQ(locReadFile(locLog), "line 1\r\nline 2\r\nappended\r\n");
}

TEST_F(QC_DebugTest, UnopenableLogLeavesASilentListener)
{
    std::string locLog = locTmpPath("no/such/dir/debug.log");
    ASSERT_TRUE(QC_Debug::Init(locLog.c_str(), false, false, false, nullptr));
    EXPECT_EQ(QC_Debug::GetNrOfListeners(), 1);
    EXPECT_EQ(QC_Debug::Printf("lost"), 1);
    QC_FileDebugListener locListener(false, locLog.c_str());
    EXPECT_FALSE(locListener.IsOpen());
}

TEST_F(QC_DebugTest, LongMessagesAreCutAt1023Characters)
{
    ASSERT_TRUE(QC_Debug::Init(nullptr, false, false, false, nullptr));
    QC_Debug::AddListener(new RecordingListener("a"));
    std::string locLong(5000, 'z');
    QC_Debug::Printf("%s", locLong.c_str());
    ASSERT_EQ(ourEvents.size(), 1u);
    EXPECT_EQ(ourEvents[0], "a print " + std::string(1023, 'z'));

    // Print hands a text on unformatted, cut where Printf cuts it.
    ourEvents.clear();
    EXPECT_EQ(QC_Debug::Print("100% as is %s"), 1);
    EXPECT_EQ(QC_Debug::Print(std::string(1023, 'y').c_str()), 1);
    EXPECT_EQ(QC_Debug::Print(std::string(1024, 'x').c_str()), 1);
    EXPECT_EQ(QC_Debug::Print(nullptr), 1);
    EXPECT_EQ(ourEvents, (std::vector<std::string>{"a print 100% as is %s", "a print " + std::string(1023, 'y'),
                                                   "a print " + std::string(1023, 'x'), "a print "}));
    QC_Debug::Shutdown();
    EXPECT_EQ(QC_Debug::Print("after shutdown"), 0);
}

TEST(QC_DebugDeathTest, SecondInitIsFatal)
{
    EXPECT_EXIT(
        {
            QC_Debug::Init(nullptr, false, false, false, nullptr);
            QC_Debug::Init(nullptr, false, false, false, nullptr);
        },
        testing::ExitedWithCode(102),
        "\\[FatalError\\] Assertion \\(ourAmInitedFlag == false\\) failed in .*qc_debug.cpp, line [0-9]+");
}

TEST(QC_AssertDeathTest, FailedAssertionReportsToListenersThenEndsTheProgram)
{
    // The listener text goes to stdout; the box falls back to stderr without a UI.
    EXPECT_EXIT(
        {
            QC_Debug::Init(nullptr, false, false, false, nullptr);
            QC_Debug::AddListener(new RecordingListener("log"));
            int myItemCount = 3;
            QC_ASSERT(myItemCount == 0);
        },
        testing::ExitedWithCode(102),
        "^\\[FatalError\\] Assertion \\(myItemCount == 0\\) failed in .*qc_debug_tests.cpp, line [0-9]+\n$");

    std::string locLog = locTmpPath("assert.log");
    std::remove(locLog.c_str());
    EXPECT_EXIT(
        {
            QC_Debug::Init(locLog.c_str(), false, false, false, nullptr);
            QC_ASSERT(1 + 1 == 3);
        },
        testing::ExitedWithCode(102), "Assertion \\(1 \\+ 1 == 3\\) failed");
    std::string locText = locReadFile(locLog);
    EXPECT_EQ(locText.find("Assertion (1 + 1 == 3) failed in "), 0u) << locText;
    EXPECT_NE(locText.find("qc_debug_tests.cpp, line "), std::string::npos);
}

TEST(QC_AssertDeathTest, PassingAssertionDoesNothing)
{
    int locValue = 1;
    QC_ASSERT(locValue == 1);
    SUCCEED();
}

static void locRestoreDisplay()
{
    fprintf(stderr, "display restored\n");
}

static int locMessageBox(const char* aText, const char* aCaption, int aFlags)
{
    fprintf(stderr, "box <%s> <%s> %d\n", aCaption, aText, aFlags);
    return OS_ID_OK;
}

TEST(QC_FatalErrorDeathTest, RestoresTheDisplayShowsTheBoxAndExits)
{
    EXPECT_EXIT(
        {
            OS_SetRestoreDisplayHook(locRestoreDisplay);
            OS_SetMessageBoxHook(locMessageBox);
            QC_Mem::FatalError("bad %s %d", "thing", 42);
        },
        testing::ExitedWithCode(102),
        "^display restored\nbox <FatalError> <bad thing 42> " + std::to_string(OS_MB_ICONERROR | OS_MB_TOPMOST) + "\n$");
}

TEST(QC_FatalErrorDeathTest, LongTextIsCutTo255Characters)
{
    std::string locLong(1000, 'w');
    EXPECT_EXIT(QC_Mem::FatalError("%s", locLong.c_str()), testing::ExitedWithCode(102),
                "^\\[FatalError\\] w{255}\n$");
}

static int locFailingMessageBox(const char* aText, const char* aCaption, int aFlags)
{
    fprintf(stderr, "box <%s>\n", aText);
    QC_Mem::FatalError("inside the box");
    return OS_ID_OK;
}

TEST(QC_FatalErrorDeathTest, FailureInsideTheBoxDoesNotRecurse)
{
    EXPECT_EXIT(
        {
            OS_SetMessageBoxHook(locFailingMessageBox);
            QC_Mem::FatalError("first");
        },
        testing::ExitedWithCode(102), "^box <first>\n\\[FatalError\\] inside the box\n$");
}

class AssertingListener : public QC_DebugListener
{
public:
    void Print(const char* aText) override
    {
        int myPrintCount = 1;
        QC_ASSERT(myPrintCount == 0);
    }
    void Close() override {}
};

TEST(QC_AssertDeathTest, FailingListenerDoesNotRecurse)
{
    EXPECT_EXIT(
        {
            QC_Debug::Init(nullptr, false, false, false, nullptr);
            QC_Debug::AddListener(new AssertingListener);
            QC_Debug::Printf("hello");
        },
        testing::ExitedWithCode(102), "^\\[FatalError\\] Assertion \\(myPrintCount == 0\\) failed in .*, line [0-9]+\n$");
}
