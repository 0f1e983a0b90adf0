// The crash filter: real crashes of a program that carries its table, the
// report text, the frame-pointer walk and the stack sampler.
#include "qcommon/qc_crash.h"
#include "qcommon/qc_stacktrace.h"
#include "tools/lt_linetable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Under AddressSanitizer the filter is not installed (the sanitizer reports crashes itself),
// so real crashes of the helper are not ours to check there.
#if defined(__SANITIZE_ADDRESS__)
#define Q_SKIP_UNDER_SANITIZER() GTEST_SKIP() << "no crash filter under AddressSanitizer"
#else
#define Q_SKIP_UNDER_SANITIZER() (void)0
#endif

namespace
{
struct CrashRun
{
    int myStatus = 0;
    std::string myOutput;  // standard error: the report, then the report run's box
    std::string myClipboard;
};

std::string ReadFile(const std::filesystem::path& aPath)
{
    std::ifstream locFile(aPath, std::ios::binary);
    std::stringstream locText;
    locText << locFile.rdbuf();
    return locText.str();
}

// With aSentSignal, the helper waits until it has said so on standard output
// and then gets the signal from this process.
CrashRun RunHelper(const char* aMode, bool aClipboardFlag = false, int aSentSignal = 0)
{
    std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / (std::string("crash_") + aMode);
    std::filesystem::remove_all(locDir);
    std::filesystem::create_directories(locDir / "tmp");
    std::string locOutputPath = (locDir / "stderr.txt").string();
    std::string locClipboardPath = (locDir / "clipboard.txt").string();
    std::string locTempDir = (locDir / "tmp").string();

    int locReady[2] = {-1, -1};
    if (aSentSignal && pipe(locReady) != 0)
        return CrashRun();
    pid_t locChild = fork();
    if (locChild == 0)
    {
        if (aSentSignal)
            dup2(locReady[1], STDOUT_FILENO);
        int locFile = open(locOutputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(locFile, STDERR_FILENO);
        setenv("TMPDIR", locTempDir.c_str(), 1);
        if (aClipboardFlag)
            setenv("QC_TEST_CLIPBOARD", locClipboardPath.c_str(), 1);
        execl(Q_CRASH_HELPER, Q_CRASH_HELPER, aMode, static_cast<char*>(nullptr));
        _exit(127);
    }
    CrashRun locRun;
    if (aSentSignal)
    {
        close(locReady[1]);
        char locByte = 0;
        while (read(locReady[0], &locByte, 1) == 1 && locByte != '\n')
        {
        }
        close(locReady[0]);
        kill(locChild, aSentSignal);
    }
    waitpid(locChild, &locRun.myStatus, 0);
    locRun.myOutput = ReadFile(locOutputPath);
    locRun.myClipboard = ReadFile(locClipboardPath);
    // The report file of the report run is gone.
    EXPECT_TRUE(std::filesystem::is_empty(locTempDir)) << aMode;
    return locRun;
}

// The line of the helper's source that carries the marker comment.
int HelperLine(const char* aMarker)
{
    std::ifstream locFile(Q_TEST_SOURCE_DIR "/tests/crash_helper.cpp");
    std::string locLine;
    for (int locNumber = 1; std::getline(locFile, locLine); locNumber++)
    {
        if (locLine.find(aMarker) != std::string::npos)
            return locNumber;
    }
    return -1;
}

std::string HelperFrame(const char* aMarker)
{
    return std::string(Q_TEST_SOURCE_DIR "/tests/crash_helper.cpp:") + std::to_string(HelperLine(aMarker)) + "+0x";
}

bool Contains(const std::string& aText, const std::string& aPart)
{
    return aText.find(aPart) != std::string::npos;
}

int CountOf(const std::string& aText, const std::string& aPart)
{
    int locCount = 0;
    for (size_t locPos = aText.find(aPart); locPos != std::string::npos; locPos = aText.find(aPart, locPos + 1))
        locCount++;
    return locCount;
}
}

TEST(CrashReport, NullWriteNamesTheFaultAndTheLines)
{
    Q_SKIP_UNDER_SANITIZER();
    CrashRun locRun = RunHelper("null");
    ASSERT_TRUE(WIFSIGNALED(locRun.myStatus));
    EXPECT_EQ(WTERMSIG(locRun.myStatus), SIGSEGV);
    EXPECT_EQ(locRun.myOutput.rfind("Access violation writing to 0x00000000 at 0x", 0), 0u) << locRun.myOutput;
    // The faulting line first, then the call in main (the crashing function made no frame).
    size_t locFault = locRun.myOutput.find("\r\n\r\n" + HelperFrame("crash: null write"));
    size_t locCall = locRun.myOutput.find(HelperFrame("crash: called"));
    EXPECT_NE(locFault, std::string::npos) << locRun.myOutput;
    EXPECT_NE(locCall, std::string::npos) << locRun.myOutput;
    EXPECT_LT(locFault, locCall);
    // The report run, without a user interface, shows its box on standard error.
    EXPECT_TRUE(Contains(locRun.myOutput, "[BOOOOOOM!] Access violation writing to 0x00000000"));
    EXPECT_TRUE(Contains(locRun.myOutput, "\r\n(text NOT copied to clipboard)"));
}

// kill -SEGV from a shell is no access violation: the report names the sender.
TEST(CrashReport, ASignalSentByAnotherProcessNamesTheSender)
{
    Q_SKIP_UNDER_SANITIZER();
    for (int locSignal : {SIGSEGV, SIGBUS, SIGFPE})
    {
        SCOPED_TRACE(locSignal);
        CrashRun locRun = RunHelper("wait", false, locSignal);
        ASSERT_TRUE(WIFSIGNALED(locRun.myStatus));
        EXPECT_EQ(WTERMSIG(locRun.myStatus), locSignal);
        const std::string locFirst = std::string(locSignal == SIGSEGV ? "SIGSEGV" : locSignal == SIGBUS ? "SIGBUS" : "SIGFPE") +
                                     " (" + std::to_string(locSignal) + ") sent by process " + std::to_string(getpid()) +
                                     " at 0x";
        EXPECT_EQ(locRun.myOutput.rfind(locFirst, 0), 0u) << locRun.myOutput;
        EXPECT_FALSE(Contains(locRun.myOutput, "Access violation")) << locRun.myOutput;
        EXPECT_TRUE(Contains(locRun.myOutput, "[BOOOOOOM!] " + locFirst)) << locRun.myOutput;
    }
}

TEST(CrashReport, DivideByZeroAndStackOverflow)
{
    Q_SKIP_UNDER_SANITIZER();
    CrashRun locDivide = RunHelper("divide");
    ASSERT_TRUE(WIFSIGNALED(locDivide.myStatus));
    EXPECT_EQ(WTERMSIG(locDivide.myStatus), SIGFPE);
    EXPECT_EQ(locDivide.myOutput.rfind("Integer divide by zero at 0x", 0), 0u) << locDivide.myOutput;
    EXPECT_TRUE(Contains(locDivide.myOutput, HelperFrame("crash: divide"))) << locDivide.myOutput;

    CrashRun locOverflow = RunHelper("overflow");
    ASSERT_TRUE(WIFSIGNALED(locOverflow.myStatus));
    EXPECT_EQ(WTERMSIG(locOverflow.myStatus), SIGSEGV);
    EXPECT_EQ(locOverflow.myOutput.rfind("Stack overflow at 0x", 0), 0u) << locOverflow.myOutput;
    // 32 frames, nearly all of them the recursive call.
    std::string locReport = locOverflow.myOutput.substr(0, locOverflow.myOutput.find("[BOOOOOOM!]"));
    EXPECT_EQ(CountOf(locReport, "\r\n"), 2 + QC_StackTrace::MAX_FRAMES + 1) << locReport;
    EXPECT_GE(CountOf(locReport, HelperFrame("crash: recursion")), QC_StackTrace::MAX_FRAMES - 2);
}

TEST(CrashReport, InstructionFaultsAndTheClipboard)
{
    Q_SKIP_UNDER_SANITIZER();
    CrashRun locIllegal = RunHelper("illegal", true);
    ASSERT_TRUE(WIFSIGNALED(locIllegal.myStatus));
    EXPECT_EQ(WTERMSIG(locIllegal.myStatus), SIGILL);
    EXPECT_EQ(locIllegal.myOutput.rfind("Illegal instruction at 0x", 0), 0u) << locIllegal.myOutput;
    // The clipboard holds the report without the note; the box has the note.
    EXPECT_EQ(locIllegal.myClipboard.rfind("Illegal instruction at 0x", 0), 0u);
    EXPECT_FALSE(Contains(locIllegal.myClipboard, "clipboard)"));
    EXPECT_TRUE(Contains(locIllegal.myOutput, "\r\n(text copied to clipboard)"));

    CrashRun locBreakpoint = RunHelper("breakpoint");
    ASSERT_TRUE(WIFSIGNALED(locBreakpoint.myStatus));
    EXPECT_EQ(WTERMSIG(locBreakpoint.myStatus), SIGTRAP);
    EXPECT_EQ(locBreakpoint.myOutput.rfind("Breakpoint at 0x", 0), 0u) << locBreakpoint.myOutput;
}

TEST(CrashReport, TextNamesEachFaultAsTheFilterDoes)
{
    struct Case
    {
        uint32_t myCode;
        uintptr_t myKind;
        const char* myText;
    };
    const Case locCases[] = {
        {QC_EXCEPTION_ACCESS_VIOLATION, QC_ACCESS_READ, "Access violation reading from 0x00000010 at 0x00401000\r\n\r\n"},
        {QC_EXCEPTION_ACCESS_VIOLATION, QC_ACCESS_EXECUTE, "Access violation UNKNOWN(!) access to 0x00000010 at 0x00401000\r\n\r\n"},
        {QC_EXCEPTION_MISALIGNMENT, 0, "Misalignment at 0x00401000\r\n\r\n"},
        {QC_EXCEPTION_SINGLE_STEP, 0, "Single step at 0x00401000\r\n\r\n"},
        {QC_EXCEPTION_FLT_DIVIDE_BY_ZERO, 0, "FPU divide by zero at 0x00401000\r\n\r\n"},
        {QC_EXCEPTION_PRIV_INSTRUCTION, 0, "Priv instruction at 0x00401000\r\n\r\n"},
        {0xE0000123, 0, "Unknown exception e0000123 at 0x00401000\r\n\r\n"},
    };
    QC_StackTrace::Free();
    for (const Case& locCase : locCases)
    {
        QC_ExceptionPointers locPointers;
        locPointers.myCode = locCase.myCode;
        locPointers.myAddress = 0x401000;
        locPointers.myInformation[0] = locCase.myKind;
        locPointers.myInformation[1] = 0x10;
        char locText[8192];
        QC_Mem::FormatExceptionReport(&locPointers, nullptr, 0, locText, sizeof(locText));
        EXPECT_STREQ(locText, locCase.myText);
    }
    QC_ExceptionPointers locUnknown;
    locUnknown.myCode = 1234;
    char locText[8192];
    QC_Mem::FormatExceptionReport(&locUnknown, nullptr, 0, locText, sizeof(locText), true);
    EXPECT_STREQ(locText, "Unknown exception 1234 at 0x00000000\r\n\r\n");
}

TEST(CrashReport, FramesStopOnceTheTextPasses3840Characters)
{
    std::string locLongName(200, 'n');
    LT_LineRow locRow;
    locRow.myAddress = 0x100;
    locRow.myLine = 12;
    locRow.myFile = locLongName;
    LT_LineRow locEnd;
    locEnd.myAddress = 0x200;
    locEnd.myEndFlag = true;
    std::vector<uint8_t> locBlock = LT_PackBlock(LT_BuildTable({locRow, locEnd}, nullptr), 0);
    uintptr_t locSavedBase = QC_StackTrace::GetImageBase();
    QC_StackTrace::SetImageBase(0x10000000);
    ASSERT_TRUE(QC_StackTrace::LoadImage(locBlock.data(), locBlock.size()));

    uintptr_t locAddresses[QC_StackTrace::MAX_FRAMES];
    for (uintptr_t& locAddress : locAddresses)
        locAddress = 0x10000110;
    QC_ExceptionPointers locPointers;
    locPointers.myCode = QC_EXCEPTION_STACK_OVERFLOW;
    char locText[8192];
    int locLength = QC_Mem::FormatExceptionReport(&locPointers, locAddresses, QC_StackTrace::MAX_FRAMES, locText, sizeof(locText));
    QC_StackTrace::Free();
    QC_StackTrace::SetImageBase(locSavedBase);

    // Each frame line is 200 + ":12+0x10\r\n" = 210 characters; lines are added
    // while the text is at most 3840 long.
    int locFrameLength = 210;
    int locHeaderLength = static_cast<int>(strlen("Stack overflow at 0x00000000\r\n\r\n"));
    int locFrames = (3840 - locHeaderLength) / locFrameLength + 1;
    EXPECT_EQ(locLength, locHeaderLength + locFrames * locFrameLength);
    EXPECT_GT(locLength, 3840);
    EXPECT_EQ(CountOf(locText, locLongName + ":12+0x10\r\n"), locFrames);
}

TEST(StackWalk, FollowsTheChainAndStopsAtBadFramePointers)
{
    // Fake frames: [next frame pointer, return address] pairs going up.
    alignas(16) uintptr_t locStack[2 * 40 + 2] = {};
    auto Chain = [&](int aNumFrames) {
        for (int i = 0; i < aNumFrames; i++)
        {
            locStack[2 * i] = reinterpret_cast<uintptr_t>(&locStack[2 * (i + 1)]);
            locStack[2 * i + 1] = 0x1000 + i;
        }
        locStack[2 * aNumFrames] = 0;
        locStack[2 * aNumFrames + 1] = 0;
    };
    uintptr_t locList[QC_StackTrace::MAX_FRAMES];
    uintptr_t locTop = reinterpret_cast<uintptr_t>(&locStack[0]);

    Chain(40);
    ASSERT_EQ(QC_StackTrace::WalkStack(0x99, locTop, locList, QC_StackTrace::MAX_FRAMES), QC_StackTrace::MAX_FRAMES);
    EXPECT_EQ(locList[0], 0x99u);
    EXPECT_EQ(locList[1], 0x1000u);
    EXPECT_EQ(locList[31], 0x1000u + 30);

    Chain(10);
    locStack[2 * 3] += 1;  // odd
    EXPECT_EQ(QC_StackTrace::WalkStack(0x99, locTop, locList, QC_StackTrace::MAX_FRAMES), 1 + 4);
    Chain(10);
    locStack[2 * 3] = reinterpret_cast<uintptr_t>(&locStack[2]);  // downwards
    EXPECT_EQ(QC_StackTrace::WalkStack(0x99, locTop, locList, QC_StackTrace::MAX_FRAMES), 1 + 4);
    Chain(10);
    locStack[2 * 3] = 0x10;  // unreadable
    EXPECT_EQ(QC_StackTrace::WalkStack(0x99, locTop, locList, QC_StackTrace::MAX_FRAMES), 1 + 4);
    Chain(10);
    locStack[2 * 2 + 1] = 0;  // a zero return address is skipped, not counted
    int locCount = QC_StackTrace::WalkStack(0x99, locTop, locList, QC_StackTrace::MAX_FRAMES);
    EXPECT_EQ(locCount, 1 + 9);
    EXPECT_EQ(locList[3], 0x1000u + 3);
    // An unreadable frame pointer leaves the instruction pointer alone.
    EXPECT_EQ(QC_StackTrace::WalkStack(0x99, 8, locList, QC_StackTrace::MAX_FRAMES), 1);
}

TEST(StackWalk, ACallerOfAFramelessFunctionIsFoundAtTheStackPointer)
{
    // "call rel32" bytes whose target lies just before the instruction pointer.
    uint8_t locCode[16] = {0x90, 0xE8};
    uintptr_t locReturn = reinterpret_cast<uintptr_t>(&locCode[6]);
    uintptr_t locTarget = locReturn + 0x100;
    int32_t locDisplacement = 0x100;
    memcpy(&locCode[2], &locDisplacement, 4);
    uintptr_t locStackSlot = locReturn;
    uintptr_t locList[QC_StackTrace::MAX_FRAMES];
    uintptr_t locStackPointer = reinterpret_cast<uintptr_t>(&locStackSlot);
    int locCount = QC_StackTrace::WalkStack(locTarget + 7, 8, locList, QC_StackTrace::MAX_FRAMES, locStackPointer);
    ASSERT_EQ(locCount, 2);
    EXPECT_EQ(locList[1], locReturn);
    // Not after a call into the function: a local, not a return address.
    locCode[1] = 0x90;
    EXPECT_EQ(QC_StackTrace::WalkStack(locTarget + 7, 8, locList, QC_StackTrace::MAX_FRAMES, locStackPointer), 1);
}

namespace
{
std::atomic<bool> ourSpinFlag(true);
std::atomic<bool> ourSpinningFlag(false);
std::atomic<int> ourScrollLockPresses(0);

__attribute__((noinline)) void SpinningFunction()
{
    ourSpinningFlag = true;
    while (ourSpinFlag.load())
    {
    }
}

bool ScriptedScrollLock()
{
    return ourScrollLockPresses.fetch_sub(1) > 0;
}
}

TEST(StackSampler, ScrollLockAppendsTheWatchedThreadsStack)
{
    std::vector<LT_LineRow> locRows;
    std::string locError;
    ASSERT_TRUE(LT_ReadLineRows("/proc/self/exe", &locRows, &locError)) << locError;
    std::vector<uint8_t> locBlock = LT_PackBlock(LT_BuildTable(locRows, nullptr), 0);
    ASSERT_TRUE(QC_StackTrace::LoadImage(locBlock.data(), locBlock.size()));

    std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / "sampler";
    std::filesystem::remove_all(locDir);
    std::filesystem::create_directories(locDir);
    std::filesystem::path locSavedDir = std::filesystem::current_path();
    std::filesystem::current_path(locDir);

    std::thread locWatched(SpinningFunction);
    while (!ourSpinningFlag.load())
        std::this_thread::yield();
    QC_Mem::SetScrollLockPoll(nullptr);
    EXPECT_FALSE(QC_Mem::DeadlockWatchPoll(locWatched.native_handle()));
    QC_Mem::SetScrollLockPoll(ScriptedScrollLock);
    EXPECT_FALSE(QC_Mem::DeadlockWatchPoll(locWatched.native_handle()));
    ourScrollLockPresses = 2;
    EXPECT_TRUE(QC_Mem::DeadlockWatchPoll(locWatched.native_handle()));
    EXPECT_TRUE(QC_Mem::DeadlockWatchPoll(locWatched.native_handle()));
    ourSpinFlag = false;
    locWatched.join();
    QC_Mem::SetScrollLockPoll(nullptr);
    std::filesystem::current_path(locSavedDir);
    QC_StackTrace::Free();

    std::string locText = ReadFile(locDir / "deadlock_thread.txt");
    // Two samples, each a list of frame lines closed by an empty line.
    EXPECT_EQ(CountOf(locText, "\r\n\r\n"), 2) << locText;
    EXPECT_EQ(locText.size() - locText.rfind("\r\n\r\n"), 4u);
    EXPECT_NE(locText.find(Q_TEST_SOURCE_DIR "/tests/qc_crash_tests.cpp:"), std::string::npos) << locText;
}
