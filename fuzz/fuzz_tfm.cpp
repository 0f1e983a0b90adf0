// The filter-file reader: whatever it keeps of an input must write out and
// read back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "velkeditor/velk_typefilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    VelkTypeFilterManager locManager(nullptr);
    locManager.LoadFrom(aData, aSize);
    std::vector<uint8_t> locFirst;
    locManager.SaveTo(locFirst);

    VelkTypeFilterManager locAgain(nullptr);
    if (!locAgain.LoadFrom(locFirst.data(), locFirst.size()))
        abort();
    std::vector<uint8_t> locSecond;
    locAgain.SaveTo(locSecond);
    if (locSecond != locFirst)
        abort();
    return 0;
}
