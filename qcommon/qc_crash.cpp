// The crash filter over POSIX signals, the report run, and the stack sampler.
#include "qcommon/qc_crash.h"

#include "platform/os/os_ui.h"
#include "qcommon/qc_stacktrace.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QC_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QC_UNDER_SANITIZER 1
#endif
#endif

const char* const QC_Mem::ourCrashReportFlag = "--crash-report";

namespace
{
const int MAX_REPORT_TEXT = 3840;
const int REPORT_BUFFER_SIZE = 8192;
// The alternate stack must hold the filter itself: the lookup, the formatting, the fork.
const size_t ALTERNATE_STACK_SIZE = 128 * 1024;
const int CRASH_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};

std::atomic<bool> ourFilterHasRun(false);
bool ourFilterInstalled = false;
char ourReport[REPORT_BUFFER_SIZE];

// Set when main has armed the report run; prepared then, used from the handler.
bool ourReportRunArmed = false;
char ourProgramName[256];
char ourTempDirectory[200];

bool ourInited = false;

void locAppend(char* aBuffer, int aSize, int* aLength, const char* aText)
{
    int locLength = static_cast<int>(strlen(aText));
    if (*aLength + locLength >= aSize)
        locLength = aSize - 1 - *aLength;
    if (locLength <= 0)
        return;
    memcpy(aBuffer + *aLength, aText, static_cast<size_t>(locLength));
    *aLength += locLength;
    aBuffer[*aLength] = 0;
}

void locWriteAll(int aFile, const char* aText, size_t aLength)
{
    while (aLength > 0)
    {
        ssize_t locWritten = write(aFile, aText, aLength);
        if (locWritten < 0 && errno == EINTR)
            continue;
        if (locWritten <= 0)
            return;
        aText += locWritten;
        aLength -= static_cast<size_t>(locWritten);
    }
}

// Appends the decimal digits of aValue (used in the handler, where printf is avoided).
void locAppendNumber(char* aBuffer, int aSize, int* aLength, unsigned long aValue)
{
    char locDigits[24];
    int locCount = 0;
    do
    {
        locDigits[locCount++] = static_cast<char>('0' + aValue % 10);
        aValue /= 10;
    } while (aValue && locCount < 23);
    char locText[24];
    for (int i = 0; i < locCount; i++)
        locText[i] = locDigits[locCount - 1 - i];
    locText[locCount] = 0;
    locAppend(aBuffer, aSize, aLength, locText);
}

// Starts the program again in its report mode with the report in a temporary
// file, and waits for it. Only calls that are safe in a signal handler.
void locRunReport(const char* aText, int aLength)
{
    char locPath[300];
    int locPathLength = 0;
    locPath[0] = 0;
    locAppend(locPath, sizeof(locPath), &locPathLength, ourTempDirectory);
    locAppend(locPath, sizeof(locPath), &locPathLength, "/crash_report_");
    locAppendNumber(locPath, sizeof(locPath), &locPathLength, static_cast<unsigned long>(getpid()));
    locAppend(locPath, sizeof(locPath), &locPathLength, ".txt");

    int locFile = open(locPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (locFile < 0 && errno == EEXIST)
    {
        unlink(locPath);
        locFile = open(locPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (locFile < 0)
        return;
    locWriteAll(locFile, aText, static_cast<size_t>(aLength));
    close(locFile);

    char* locArguments[] = {ourProgramName, const_cast<char*>(QC_Mem::ourCrashReportFlag), locPath, nullptr};
    pid_t locChild = _Fork();
    if (locChild == 0)
    {
        // The handler blocks the crash signal, and exec keeps the mask.
        sigset_t locNoSignals;
        sigemptyset(&locNoSignals);
        sigprocmask(SIG_SETMASK, &locNoSignals, nullptr);
        execv("/proc/self/exe", locArguments);
        _exit(127);
    }
    if (locChild > 0)
    {
        int locStatus = 0;
        while (waitpid(locChild, &locStatus, 0) < 0 && errno == EINTR)
        {
        }
    }
    unlink(locPath);
}

void locCrashSignalHandler(int aSignal, siginfo_t* anInfo, void* aContext)
{
    int locSavedErrno = errno;
    QC_ExceptionPointers locPointers;
    QC_Mem::TranslateSignal(aSignal, anInfo, aContext, &locPointers);
    QC_Mem::ExceptionFilter(&locPointers);
    // The signal then ends the process as it would have without the filter.
    signal(aSignal, SIG_DFL);
    raise(aSignal);
    errno = locSavedErrno;
}

void locUseAlternateStack(void* aStack)
{
    stack_t locStack;
    memset(&locStack, 0, sizeof(locStack));
    locStack.ss_sp = aStack;
    locStack.ss_size = ALTERNATE_STACK_SIZE;
    sigaltstack(&locStack, nullptr);
}

void locGetContextPointers(const void* aContext, uintptr_t* anInstructionPointer, uintptr_t* aFramePointer,
                           uintptr_t* aStackPointer, uintptr_t* anErrorCode)
{
    *anInstructionPointer = *aFramePointer = *aStackPointer = *anErrorCode = 0;
    if (!aContext)
        return;
    const ucontext_t* locContext = static_cast<const ucontext_t*>(aContext);
#if defined(__x86_64__)
    *anInstructionPointer = static_cast<uintptr_t>(locContext->uc_mcontext.gregs[REG_RIP]);
    *aFramePointer = static_cast<uintptr_t>(locContext->uc_mcontext.gregs[REG_RBP]);
    *aStackPointer = static_cast<uintptr_t>(locContext->uc_mcontext.gregs[REG_RSP]);
    *anErrorCode = static_cast<uintptr_t>(locContext->uc_mcontext.gregs[REG_ERR]);
#elif defined(__aarch64__)
    *anInstructionPointer = static_cast<uintptr_t>(locContext->uc_mcontext.pc);
    *aFramePointer = static_cast<uintptr_t>(locContext->uc_mcontext.regs[29]);
    *aStackPointer = static_cast<uintptr_t>(locContext->uc_mcontext.sp);
#endif
}

// Whatever a program did to its own handlers, at start-up ours are set once.
struct QC_MemInitializer
{
    QC_MemInitializer() { QC_Mem::Init(); }
    ~QC_MemInitializer() { QC_StackTrace::Release(); }
};
QC_MemInitializer ourMemInitializer;
}

void QC_Mem::Init()
{
    if (ourInited)
        return;
    ourInited = true;
    QC_StackTrace::Load();
#if !defined(QC_UNDER_SANITIZER)
    // The sanitizers report crashes themselves, with more detail.
    InstallExceptionFilter();
#endif
}

void QC_Mem::InstallAlternateStack()
{
    stack_t locCurrent;
    if (sigaltstack(nullptr, &locCurrent) == 0 && !(locCurrent.ss_flags & SS_DISABLE) && locCurrent.ss_size >= ALTERNATE_STACK_SIZE)
        return;
    // Owned by the thread for the rest of the process.
    void* locStack = mmap(nullptr, ALTERNATE_STACK_SIZE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (locStack != MAP_FAILED)
        locUseAlternateStack(locStack);
}

void QC_Mem::InstallExceptionFilter()
{
    InstallAlternateStack();
    if (ourFilterInstalled)
        return;
    ourFilterInstalled = true;
    struct sigaction locAction;
    memset(&locAction, 0, sizeof(locAction));
    locAction.sa_sigaction = locCrashSignalHandler;
    locAction.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&locAction.sa_mask);
    for (int locSignal : CRASH_SIGNALS)
        sigaction(locSignal, &locAction, nullptr);
}

bool QC_Mem::TranslateSignal(int aSignal, const siginfo_t* anInfo, const void* aContext, QC_ExceptionPointers* aPointers)
{
    uintptr_t locErrorCode = 0;
    *aPointers = QC_ExceptionPointers();
    locGetContextPointers(aContext, &aPointers->myInstructionPointer, &aPointers->myFramePointer, &aPointers->myStackPointer,
                          &locErrorCode);
    uintptr_t locStackPointer = aPointers->myStackPointer;
    aPointers->myAddress = aPointers->myInstructionPointer;
    int locCode = anInfo ? anInfo->si_code : 0;
    uintptr_t locFaultAddress = anInfo ? reinterpret_cast<uintptr_t>(anInfo->si_addr) : 0;
    // SI_USER, SI_QUEUE, SI_TKILL and the other codes of signals sent by a
    // process are not above zero; si_addr then holds no address.
    if (anInfo && locCode <= 0)
    {
        aPointers->mySenderProcess = anInfo->si_pid > 0 ? anInfo->si_pid : -1;
        aPointers->mySignal = aSignal;
        locFaultAddress = 0;
    }
    switch (aSignal)
    {
    case SIGSEGV:
        // A fault right at the stack pointer is the stack running into its guard.
        if (locStackPointer && locFaultAddress + 65536 >= locStackPointer && locFaultAddress <= locStackPointer + 65536 &&
            locCode != SI_KERNEL)
        {
            aPointers->myCode = QC_EXCEPTION_STACK_OVERFLOW;
            break;
        }
        aPointers->myCode = QC_EXCEPTION_ACCESS_VIOLATION;
        aPointers->myInformation[1] = locFaultAddress;
#if defined(__x86_64__)
        // The page-fault error code: bit 1 a write, bit 4 an instruction fetch.
        if (locCode == SI_KERNEL)
            aPointers->myInformation[0] = 2;
        else if (locErrorCode & 0x10)
            aPointers->myInformation[0] = QC_ACCESS_EXECUTE;
        else if (locErrorCode & 0x2)
            aPointers->myInformation[0] = QC_ACCESS_WRITE;
        else
            aPointers->myInformation[0] = QC_ACCESS_READ;
#else
        aPointers->myInformation[0] = 2;
#endif
        break;
    case SIGBUS:
        aPointers->myCode = locCode == BUS_ADRALN ? QC_EXCEPTION_MISALIGNMENT : QC_EXCEPTION_IN_PAGE_ERROR;
        break;
    case SIGFPE:
        switch (locCode)
        {
        case FPE_INTDIV: aPointers->myCode = QC_EXCEPTION_INT_DIVIDE_BY_ZERO; break;
        case FPE_INTOVF: aPointers->myCode = QC_EXCEPTION_INT_OVERFLOW; break;
        case FPE_FLTDIV: aPointers->myCode = QC_EXCEPTION_FLT_DIVIDE_BY_ZERO; break;
        case FPE_FLTOVF: aPointers->myCode = QC_EXCEPTION_FLT_OVERFLOW; break;
        case FPE_FLTUND: aPointers->myCode = QC_EXCEPTION_FLT_UNDERFLOW; break;
        case FPE_FLTRES: aPointers->myCode = QC_EXCEPTION_FLT_INEXACT_RESULT; break;
        case FPE_FLTSUB: aPointers->myCode = QC_EXCEPTION_ARRAY_BOUNDS_EXCEEDED; break;
        default: aPointers->myCode = QC_EXCEPTION_FLT_INVALID_OPERATION; break;
        }
        break;
    case SIGILL:
        aPointers->myCode = (locCode == ILL_PRVOPC || locCode == ILL_PRVREG) ? QC_EXCEPTION_PRIV_INSTRUCTION
                                                                             : QC_EXCEPTION_ILLEGAL_INSTRUCTION;
        break;
    case SIGTRAP:
        if (locCode == TRAP_TRACE)
            aPointers->myCode = QC_EXCEPTION_SINGLE_STEP;
        else
        {
            aPointers->myCode = QC_EXCEPTION_BREAKPOINT;
#if defined(__x86_64__)
            // After int3 the instruction pointer has passed the breakpoint.
            if ((locCode == SI_KERNEL || locCode == TRAP_BRKPT) && aPointers->myAddress)
                aPointers->myAddress--;
#endif
        }
        break;
    default:
        aPointers->myCode = 0xE0000000u | static_cast<uint32_t>(aSignal);
        return false;
    }
    return true;
}

int QC_Mem::FormatExceptionReport(const QC_ExceptionPointers* aPointers, const uintptr_t* anAddressList, int aNumAddresses,
                                  char* aBuffer, int aSize, bool aDecimalCodeFlag)
{
    if (aSize <= 0)
        return 0;
    int locLength = 0;
    aBuffer[0] = 0;
    char locLine[512];
    const char* locName = nullptr;
    switch (aPointers->myCode)
    {
    case QC_EXCEPTION_GUARD_PAGE: locName = "Guard page"; break;
    case QC_EXCEPTION_MISALIGNMENT: locName = "Misalignment"; break;
    case QC_EXCEPTION_BREAKPOINT: locName = "Breakpoint"; break;
    case QC_EXCEPTION_SINGLE_STEP: locName = "Single step"; break;
    case QC_EXCEPTION_ACCESS_VIOLATION:
    {
        const char* locKind = "UNKNOWN(!) access to";
        if (aPointers->myInformation[0] == QC_ACCESS_READ)
            locKind = "reading from";
        else if (aPointers->myInformation[0] == QC_ACCESS_WRITE)
            locKind = "writing to";
        snprintf(locLine, sizeof(locLine), "Access violation %s 0x%08llx", locKind,
                 static_cast<unsigned long long>(aPointers->myInformation[1]));
        break;
    }
    case QC_EXCEPTION_IN_PAGE_ERROR: locName = "In page error"; break;
    case QC_EXCEPTION_INVALID_HANDLE: locName = "Invalid handle"; break;
    case QC_EXCEPTION_ILLEGAL_INSTRUCTION: locName = "Illegal instruction"; break;
    case QC_EXCEPTION_NONCONTINUABLE: locName = "Noncontinuable exception"; break;
    case QC_EXCEPTION_INVALID_DISPOSITION: locName = "Invalid disposition"; break;
    case QC_EXCEPTION_ARRAY_BOUNDS_EXCEEDED: locName = "Array bounds exceeded"; break;
    case QC_EXCEPTION_FLT_DENORMAL_OPERAND: locName = "FPU denormal operand"; break;
    case QC_EXCEPTION_FLT_DIVIDE_BY_ZERO: locName = "FPU divide by zero"; break;
    case QC_EXCEPTION_FLT_INEXACT_RESULT: locName = "FPU inexact result"; break;
    case QC_EXCEPTION_FLT_INVALID_OPERATION: locName = "FPU invalid operation"; break;
    case QC_EXCEPTION_FLT_OVERFLOW: locName = "FPU overflow"; break;
    case QC_EXCEPTION_FLT_STACK_CHECK: locName = "FPU stack check"; break;
    case QC_EXCEPTION_FLT_UNDERFLOW: locName = "FPU underflow"; break;
    case QC_EXCEPTION_INT_DIVIDE_BY_ZERO: locName = "Integer divide by zero"; break;
    case QC_EXCEPTION_INT_OVERFLOW: locName = "Integer overflow"; break;
    case QC_EXCEPTION_PRIV_INSTRUCTION: locName = "Priv instruction"; break;
    case QC_EXCEPTION_STACK_OVERFLOW: locName = "Stack overflow"; break;
    case QC_EXCEPTION_CTRL_C: locName = "Ctrl+C"; break;
    default:
        if (aDecimalCodeFlag)
            snprintf(locLine, sizeof(locLine), "Unknown exception %d", static_cast<int>(aPointers->myCode));
        else
            snprintf(locLine, sizeof(locLine), "Unknown exception %x", aPointers->myCode);
        break;
    }
    if (aPointers->mySenderProcess)
    {
        // Not a fault of the program: say who sent it and where the program was.
        const char* locSignalName = "signal";
        switch (aPointers->mySignal)
        {
        case SIGSEGV: locSignalName = "SIGSEGV"; break;
        case SIGBUS: locSignalName = "SIGBUS"; break;
        case SIGFPE: locSignalName = "SIGFPE"; break;
        case SIGILL: locSignalName = "SIGILL"; break;
        case SIGTRAP: locSignalName = "SIGTRAP"; break;
        default: break;
        }
        if (aPointers->mySenderProcess == static_cast<int>(getpid()))
            snprintf(locLine, sizeof(locLine), "%s (%d) raised by this process", locSignalName, aPointers->mySignal);
        else if (aPointers->mySenderProcess > 0)
            snprintf(locLine, sizeof(locLine), "%s (%d) sent by process %d", locSignalName, aPointers->mySignal,
                     aPointers->mySenderProcess);
        else
            snprintf(locLine, sizeof(locLine), "%s (%d) sent by another process", locSignalName, aPointers->mySignal);
        locName = nullptr;
    }
    locAppend(aBuffer, aSize, &locLength, locName ? locName : locLine);
    snprintf(locLine, sizeof(locLine), " at 0x%08llx\r\n\r\n", static_cast<unsigned long long>(aPointers->myAddress));
    locAppend(aBuffer, aSize, &locLength, locLine);
    for (int i = 0; i < aNumAddresses && locLength <= MAX_REPORT_TEXT; i++)
    {
        QC_StackTrace::FormatFrame(anAddressList[i], locLine, sizeof(locLine), i > 0);
        locAppend(aBuffer, aSize, &locLength, locLine);
    }
    return locLength;
}

int QC_Mem::ExceptionFilter(const QC_ExceptionPointers* aPointers)
{
    if (ourFilterHasRun.exchange(true))
        return 1;
    uintptr_t locAddressList[QC_StackTrace::MAX_FRAMES];
    int locNumAddresses = QC_StackTrace::WalkStack(aPointers->myInstructionPointer, aPointers->myFramePointer,
                                                   locAddressList, QC_StackTrace::MAX_FRAMES, aPointers->myStackPointer);
    // The display is put back by the report run: this process may not touch its windows.
#ifdef QC_RENDER_BUILD
    const bool locDecimalCodes = true; // the renderer build names unknown codes in decimal
#else
    const bool locDecimalCodes = false;
#endif
    int locLength = FormatExceptionReport(aPointers, locAddressList, locNumAddresses, ourReport, sizeof(ourReport),
                                          locDecimalCodes);
    locWriteAll(STDERR_FILENO, ourReport, static_cast<size_t>(locLength));
    locWriteAll(STDERR_FILENO, "\r\n", 2);
    if (ourReportRunArmed)
        locRunReport(ourReport, locLength);
    return 1;
}

bool QC_Mem::HandleCrashReportRun(int argc, char** argv)
{
    if (argc >= 3 && strcmp(argv[1], ourCrashReportFlag) == 0)
    {
        static char ourText[REPORT_BUFFER_SIZE];
        int locLength = 0;
        int locFile = open(argv[2], O_RDONLY | O_CLOEXEC);
        if (locFile >= 0)
        {
            ssize_t locRead;
            while (locLength < REPORT_BUFFER_SIZE - 1 &&
                   (locRead = read(locFile, ourText + locLength, static_cast<size_t>(REPORT_BUFFER_SIZE - 1 - locLength))) > 0)
                locLength += static_cast<int>(locRead);
            close(locFile);
            unlink(argv[2]);
        }
        ourText[locLength] = 0;
        ShowCrashReport(ourText);
        return true;
    }

    const char* locName = argc > 0 && argv[0] ? argv[0] : "program";
    snprintf(ourProgramName, sizeof(ourProgramName), "%s", locName);
    const char* locTemp = getenv("TMPDIR");
    if (!locTemp || !locTemp[0] || strlen(locTemp) >= sizeof(ourTempDirectory))
        locTemp = "/tmp";
    snprintf(ourTempDirectory, sizeof(ourTempDirectory), "%s", locTemp);
    ourReportRunArmed = true;
    return false;
}

void QC_Mem::ShowCrashReport(const char* aText)
{
    static char ourText[REPORT_BUFFER_SIZE + 64];
    int locLength = 0;
    ourText[0] = 0;
    locAppend(ourText, REPORT_BUFFER_SIZE, &locLength, aText);
    OS_RestoreDisplay();
    if (OS_SetClipboardText(ourText))
        locAppend(ourText, sizeof(ourText), &locLength, "\r\n(text copied to clipboard)");
    else
        locAppend(ourText, sizeof(ourText), &locLength, "\r\n(text NOT copied to clipboard)");
    OS_MessageBox(ourText, "BOOOOOOM!", OS_MB_OK | OS_MB_ICONERROR | OS_MB_TOPMOST);
}

// The stack sampler.

namespace
{
QC_Mem::ScrollLockPollFunction ourScrollLockPoll = nullptr;
sem_t ourSampleDone;
bool ourSamplerReady = false;
uintptr_t ourSample[QC_StackTrace::MAX_FRAMES];
volatile int ourSampleCount = 0;

int locSampleSignal()
{
    return SIGRTMIN + 7;
}

// Runs on the watched thread: it is stopped here while it walks its own stack.
void locSampleSignalHandler(int aSignal, siginfo_t* anInfo, void* aContext)
{
    int locSavedErrno = errno;
    uintptr_t locInstructionPointer, locFramePointer, locStackPointer, locErrorCode;
    locGetContextPointers(aContext, &locInstructionPointer, &locFramePointer, &locStackPointer, &locErrorCode);
    ourSampleCount = QC_StackTrace::WalkStack(locInstructionPointer, locFramePointer, ourSample, QC_StackTrace::MAX_FRAMES,
                                               locStackPointer);
    sem_post(&ourSampleDone);
    errno = locSavedErrno;
}

bool locPrepareSampler()
{
    if (ourSamplerReady)
        return true;
    if (sem_init(&ourSampleDone, 0, 0) != 0)
        return false;
    struct sigaction locAction;
    memset(&locAction, 0, sizeof(locAction));
    locAction.sa_sigaction = locSampleSignalHandler;
    locAction.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&locAction.sa_mask);
    if (sigaction(locSampleSignal(), &locAction, nullptr) != 0)
        return false;
    ourSamplerReady = true;
    return true;
}
}

void QC_Mem::SetScrollLockPoll(ScrollLockPollFunction aPoll)
{
    ourScrollLockPoll = aPoll;
}

bool QC_Mem::DeadlockWatchPoll(pthread_t aWatchedThread)
{
    if (!ourScrollLockPoll || !ourScrollLockPoll() || !locPrepareSampler())
        return false;
    // A sample that arrived after an earlier wait gave up is stale.
    while (sem_trywait(&ourSampleDone) == 0)
    {
    }
    if (pthread_kill(aWatchedThread, locSampleSignal()) != 0)
        return false;
    struct timespec locDeadline;
    clock_gettime(CLOCK_REALTIME, &locDeadline);
    locDeadline.tv_sec += 1;
    int locWait;
    while ((locWait = sem_timedwait(&ourSampleDone, &locDeadline)) != 0 && errno == EINTR)
    {
    }
    if (locWait != 0)
        return false;

    FILE* locFile = fopen("deadlock_thread.txt", "a+b");
    if (!locFile)
        return false;
    char locLine[512];
    for (int i = 0; i < ourSampleCount; i++)
    {
        QC_StackTrace::FormatFrame(ourSample[i], locLine, sizeof(locLine), i > 0);
        fputs(locLine, locFile);
    }
    fputs("\r\n", locFile);
    fclose(locFile);
    return true;
}

void QC_Mem::DeadlockWatchThread(pthread_t aWatchedThread)
{
    for (;;)
    {
        DeadlockWatchPoll(aWatchedThread);
        usleep(1000);
    }
}
