// The assertion report and the fatal-error routine.
#include "qcommon/qc_mem.h"

#include "platform/os/os_ui.h"
#include "qcommon/qc_debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Set while an assertion is being reported or a fatal error shown, so that a
// listener or a message-box hook that fails in turn cannot recurse.
static bool ourIsReportingFlag = false;
static bool ourIsFatalFlag = false;

void QC_Mem::AssertionFailed(const char* aFile, int aLine, const char* anExpression, bool* anIgnoreFlag)
{
    (void)anIgnoreFlag;
    if (!ourIsReportingFlag)
    {
        ourIsReportingFlag = true;
        QC_Debug::Printf("Assertion (%s) failed in %s, line %d", anExpression, aFile, aLine);
    }
    QC_Mem::FatalError("Assertion (%s) failed in %s, line %d", anExpression, aFile, aLine);
}

void QC_Mem::FatalError(const char* aFormat, ...)
{
    // Fixed size so that it works when memory is gone; longer text is cut.
    char locText[256] = "";
    if (aFormat)
    {
        va_list locArgs;
        va_start(locArgs, aFormat);
        vsnprintf(locText, sizeof(locText), aFormat, locArgs);
        va_end(locArgs);
    }

    if (ourIsFatalFlag)
    {
        // A second fatal error while the first is shown: no user interface now,
        // and no exit handlers, which may be what failed.
        fprintf(stderr, "[FatalError] %s\n", locText);
        fflush(stderr);
        _exit(-666);
    }
    ourIsFatalFlag = true;

    OS_RestoreDisplay();
    OS_MessageBox(locText, "FatalError", OS_MB_ICONERROR | OS_MB_TOPMOST);
    exit(-666);
}
