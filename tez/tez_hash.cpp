#include "tez/tez_hash.h"

#include <cstdarg>
#include <cstring>

#include "qcommon/qc_debug.h"
#include "tez/tez_local.h"

uint32_t Tez_HashRange(const char* aText, size_t aLength)
{
    // Sums wrap at 32 bits; the modulo is taken once, at the end.
    uint32_t a = 1;
    uint32_t s = 0;
    const unsigned char* locText = reinterpret_cast<const unsigned char*>(aText);
    for (size_t locIndex = 0; locIndex < aLength; ++locIndex)
    {
        a += locText[locIndex];
        s += a;
    }
    return (a % 65521u) | ((s % 65521u) << 16);
}

uint32_t TezHash(const char* aText)
{
    return aText ? Tez_HashRange(aText, strlen(aText)) : 1u;
}

void Tez_Print(const char* aFormat, ...)
{
    va_list locArgs;
    va_start(locArgs, aFormat);
    QC_Debug::PrintfV(aFormat, locArgs);
    va_end(locArgs);
}

bool Tez_CutExtension(const char* aFileName, std::string& aBase)
{
    if (!aFileName)
        return false;
    const char* locFile = aFileName;
    for (const char* locChar = aFileName; *locChar; ++locChar)
        if (*locChar == '/' || *locChar == '\\')
            locFile = locChar + 1;
    const char* locDot = strrchr(locFile, '.');
    if (!locDot || locDot == locFile)
        return false;
    aBase.assign(aFileName, static_cast<size_t>(locDot - aFileName));
    return true;
}
