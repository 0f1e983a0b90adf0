// Computer name and floating-point rounding mode.
#include "platform/os/os_system.h"

#include <unistd.h>

#include <cfenv>
#include <cstdio>
#include <cstring>

void OS_GetComputerName(char* aResult, size_t aResultSize)
{
    if (!aResult || !aResultSize)
        return;
    char locName[256] = {};
    if (gethostname(locName, sizeof(locName) - 1) != 0 || !locName[0])
        strcpy(locName, "UNKNOWN");
    snprintf(aResult, aResultSize, "%s", locName);
}

bool OS_SetRoundingMode(OS_RoundingMode aMode)
{
    int locMode = FE_TONEAREST;
    switch (aMode)
    {
    case OS_ROUND_NEAREST: locMode = FE_TONEAREST; break;
    case OS_ROUND_DOWN: locMode = FE_DOWNWARD; break;
    case OS_ROUND_UP: locMode = FE_UPWARD; break;
    case OS_ROUND_TRUNCATE: locMode = FE_TOWARDZERO; break;
    }
    return fesetround(locMode) == 0;
}

OS_RoundingMode OS_GetRoundingMode()
{
    switch (fegetround())
    {
    case FE_DOWNWARD: return OS_ROUND_DOWN;
    case FE_UPWARD: return OS_ROUND_UP;
    case FE_TOWARDZERO: return OS_ROUND_TRUNCATE;
    default: return OS_ROUND_NEAREST;
    }
}
