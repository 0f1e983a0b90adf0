// Crashes on purpose in the way its argument names, for the crash-report tests.
// With QC_TEST_CLIPBOARD set, the report run's clipboard is that file.
#include "platform/os/os_ui.h"
#include "qcommon/qc_crash.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

static volatile int ourZero = 0;
static int* volatile ourNullPointer = nullptr;
static volatile bool ourStopRecursion = false;

static bool locClipboardToFile(const char* aText)
{
    FILE* locFile = fopen(getenv("QC_TEST_CLIPBOARD"), "wb");
    if (!locFile)
        return false;
    fputs(aText, locFile);
    fclose(locFile);
    return true;
}

__attribute__((noinline)) static void CrashNullWrite()
{
    *ourNullPointer = 1;  // crash: null write
}

__attribute__((noinline)) static int CrashDivide()
{
    return 100 / ourZero;  // crash: divide
}

__attribute__((noinline)) static int CrashRecurse(int aDepth)
{
    volatile char locPad[512];
    locPad[0] = static_cast<char>(aDepth);
    if (ourStopRecursion)
        return locPad[0];
    return CrashRecurse(aDepth + 1) + locPad[0];  // crash: recursion
}

__attribute__((noinline)) static int CrashDeep(int aDepth)
{
    if (aDepth == 0)
    {
        CrashNullWrite();
        return 0;
    }
    return CrashDeep(aDepth - 1) + 1;  // crash: deep
}

int main(int argc, char** argv)
{
    // The crashes are expected: no core files.
    struct rlimit locNoCore = {0, 0};
    setrlimit(RLIMIT_CORE, &locNoCore);
    if (getenv("QC_TEST_CLIPBOARD"))
        OS_SetClipboardHook(locClipboardToFile);
    if (QC_Mem::HandleCrashReportRun(argc, argv))
        return 0;
    const char* locMode = argc > 1 ? argv[1] : "";
    if (strcmp(locMode, "null") == 0)
        CrashNullWrite();  // crash: called
    else if (strcmp(locMode, "divide") == 0)
        return CrashDivide();
    else if (strcmp(locMode, "overflow") == 0)
        return CrashRecurse(0);
    else if (strcmp(locMode, "deep") == 0)
        return CrashDeep(40);
    else if (strcmp(locMode, "illegal") == 0)
        __builtin_trap();
    else if (strcmp(locMode, "breakpoint") == 0)
        __asm__ volatile("int3");
    else if (strcmp(locMode, "wait") == 0)
    {
        // Until another process sends a signal.
        printf("waiting\n");
        fflush(stdout);
        for (;;)
            pause();
    }
    printf("no crash\n");
    return 0;
}
