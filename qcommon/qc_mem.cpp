// The assertion report and the fatal-error routine.
#include "qcommon/qc_mem.h"

#include "platform/os/os_ui.h"
#include "qcommon/qc_debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void QC_Mem::AssertionFailed(const char* aFile, int aLine, const char* anExpression, bool* anIgnoreFlag)
{
    (void)anIgnoreFlag;
    QC_Debug::Printf("Assertion (%s) failed in %s, line %d", anExpression, aFile, aLine);
    QC_Mem::FatalError("Assertion (%s) failed in %s, line %d", anExpression, aFile, aLine);
}

void QC_Mem::FatalError(const char* aFormat, ...)
{
    // Fixed size so that it works when memory is gone; longer text is cut.
    char locText[256];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat ? aFormat : "", locArgs);
    va_end(locArgs);

    OS_RestoreDisplay();
    OS_MessageBox(locText, "FatalError", OS_MB_ICONERROR | OS_MB_TOPMOST);
    exit(-666);
}
