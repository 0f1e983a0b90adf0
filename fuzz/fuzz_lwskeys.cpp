// The LightWave scene key check: the input is a scene file on disk; every
// finding is handed to a sink that reads it.
#include <cstdint>
#include <cstring>

#include "fuzz_util.h"
#include "modeleditor/lw_keycheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const std::string locName = FuzzScratch::Write("fuzz.lws", aData, aSize);
    size_t locTotal = 0;
    CheckLwsKeys(locName.c_str(), [&](const char* aLine) { locTotal += strlen(aLine); });
    return locTotal == size_t(-1);
}
