// The assertion of the common library. Every site owns a static ignore flag
// that is tested before it reports; a failed check ends in the fatal-error
// routine through QC_Mem::AssertionFailed and does not return.
#pragma once

#include "qcommon/qc_mem.h"

// The expression is reported as written, so write it as the message should read.
#define QC_ASSERT(anExpression)                                                                \
    do                                                                                         \
    {                                                                                          \
        static bool locAssertIgnoreFlag = false;                                               \
        if (!(anExpression) && !locAssertIgnoreFlag)                                           \
            QC_Mem::AssertionFailed(__FILE__, __LINE__, #anExpression, &locAssertIgnoreFlag);  \
    } while (0)
