// The top-level crash filter, the crash report run, and the Scroll-Lock stack
// sampler. The filter catches SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP on an
// alternate stack, writes the report (the fault, then the call stack resolved
// through the program's line-number table) to standard error, and runs the
// program again in its report mode, which puts the report on the clipboard and
// shows it in a box captioned "BOOOOOOM!". A crashed process cannot safely run
// a user interface, hence the second run.
//
// A program's main calls QC_Mem::HandleCrashReportRun first (after installing
// its user-interface hooks, if it has any). Linking that call also links the
// static initialiser that loads the table and installs the filter.
#pragma once

#include <cstdint>
#include <pthread.h>
#include <signal.h>

// The codes the report names faults by.
enum QC_ExceptionCode : uint32_t
{
    QC_EXCEPTION_GUARD_PAGE = 0x80000001,
    QC_EXCEPTION_MISALIGNMENT = 0x80000002,
    QC_EXCEPTION_BREAKPOINT = 0x80000003,
    QC_EXCEPTION_SINGLE_STEP = 0x80000004,
    QC_EXCEPTION_ACCESS_VIOLATION = 0xC0000005,
    QC_EXCEPTION_IN_PAGE_ERROR = 0xC0000006,
    QC_EXCEPTION_INVALID_HANDLE = 0xC0000008,
    QC_EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001D,
    QC_EXCEPTION_NONCONTINUABLE = 0xC0000025,
    QC_EXCEPTION_INVALID_DISPOSITION = 0xC0000026,
    QC_EXCEPTION_ARRAY_BOUNDS_EXCEEDED = 0xC000008C,
    QC_EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008D,
    QC_EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008E,
    QC_EXCEPTION_FLT_INEXACT_RESULT = 0xC000008F,
    QC_EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090,
    QC_EXCEPTION_FLT_OVERFLOW = 0xC0000091,
    QC_EXCEPTION_FLT_STACK_CHECK = 0xC0000092,
    QC_EXCEPTION_FLT_UNDERFLOW = 0xC0000093,
    QC_EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094,
    QC_EXCEPTION_INT_OVERFLOW = 0xC0000095,
    QC_EXCEPTION_PRIV_INSTRUCTION = 0xC0000096,
    QC_EXCEPTION_STACK_OVERFLOW = 0xC00000FD,
    QC_EXCEPTION_CTRL_C = 0xC000013A,
};

// Access kinds of an access violation (first information word).
enum
{
    QC_ACCESS_READ = 0,
    QC_ACCESS_WRITE = 1,
    QC_ACCESS_EXECUTE = 8,
};

struct QC_ExceptionPointers
{
    uint32_t myCode = 0;
    uintptr_t myAddress = 0;  // the faulting instruction
    // Access violations: the access kind, then the inaccessible address.
    uintptr_t myInformation[2] = {0, 0};
    // A signal another process sent (kill, sigqueue) is no fault: the sender's
    // process id, and the signal's number; 0 for a real fault.
    int mySenderProcess = 0;
    int mySignal = 0;
    uintptr_t myInstructionPointer = 0;
    uintptr_t myFramePointer = 0;
    uintptr_t myStackPointer = 0;
};

namespace QC_Mem
{
// Loads the line-number table and installs the filter. Runs from a static
// initialiser; later calls do nothing.
void Init();
// Catches the crash signals on the calling thread's alternate stack. The
// process-wide handlers are set once; each further thread that wants stack
// overflows reported calls InstallAlternateStack itself.
void InstallExceptionFilter();
void InstallAlternateStack();

// Reports the first crash and returns 1; later calls return 1 at once.
int ExceptionFilter(const QC_ExceptionPointers* aPointers);
// Describes a crash signal in the filter's terms. False for other signals.
bool TranslateSignal(int aSignal, const siginfo_t* anInfo, const void* aContext, QC_ExceptionPointers* aPointers);
// The report text: the fault's name and address, a blank line, then one frame
// line per address until the text passes 3840 characters. Returns its length.
// Codes without a name of their own are given in hexadecimal, or in decimal
// with aDecimalCodeFlag.
int FormatExceptionReport(const QC_ExceptionPointers* aPointers, const uintptr_t* anAddressList, int aNumAddresses,
                          char* aBuffer, int aSize, bool aDecimalCodeFlag = false);

// True when this run is the report run of a crashed run: the report has been
// shown and main should return 0. Otherwise arms crashes of this process to
// start that run, and returns false.
bool HandleCrashReportRun(int argc, char** argv);
// Puts the report on the clipboard and shows it in the "BOOOOOOM!" box.
void ShowCrashReport(const char* aText);
// The flag that starts the report run, followed by the report file's path.
extern const char* const ourCrashReportFlag;

// The stack sampler. The poll answers whether Scroll Lock was pressed since
// the last poll; without one the sampler never samples.
typedef bool (*ScrollLockPollFunction)();
void SetScrollLockPoll(ScrollLockPollFunction aPoll);
// One pass: when Scroll Lock was pressed, appends the watched thread's stack
// to "deadlock_thread.txt". True when a stack was written. The watched thread
// is interrupted by a real-time signal and walks its own stack.
bool DeadlockWatchPoll(pthread_t aWatchedThread);
// A thread body that polls every millisecond, forever.
[[noreturn]] void DeadlockWatchThread(pthread_t aWatchedThread);
}
