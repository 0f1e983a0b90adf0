// The type compiler: the input is a .fruit file (it may include itself).
#include <cstdint>

#include "fuzz_util.h"
#include "velk/velk_log.h"
#include "velk/velk_typemanager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    VelkLog::SetErrorSwitch(false);
    FuzzScratch::Write("a.fruit", aData, aSize);
    FuzzScratch::Inside locInside;
    VelkTypeManager locTypeManager;
    locTypeManager.Compile("a.fruit");
    return 0;
}
