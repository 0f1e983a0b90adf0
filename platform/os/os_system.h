// Machine and processor settings: the computer's name and the floating-point
// rounding mode.
#pragma once

#include <cstddef>

// The host name, or "UNKNOWN" when none can be had. Always NUL-terminated.
void OS_GetComputerName(char* aResult, size_t aResultSize);

enum OS_RoundingMode
{
    OS_ROUND_NEAREST = 0,
    OS_ROUND_DOWN = 1,       // towards minus infinity
    OS_ROUND_UP = 2,         // towards plus infinity
    OS_ROUND_TRUNCATE = 3,   // towards zero
};

bool OS_SetRoundingMode(OS_RoundingMode aMode);
OS_RoundingMode OS_GetRoundingMode();
