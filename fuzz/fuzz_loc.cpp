// The .loc decoder: the input is a .loc file; every text it gives is read.
#include <cstdint>

#include "fuzz_util.h"
#include "tez/tez_loc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    FuzzScratch::Write("fuzz.loc", aData, aSize);
    FuzzScratch::Inside locInside;
    TezLocDecoder locDecoder;
    if (locDecoder.LoadFile("fuzz.loc"))
    {
        for (uint32_t i = 0; i <= locDecoder.GetNumTexts(); i++)
        {
            const QC_LocString* locText = locDecoder.GetText(i);
            if ((locText != nullptr) != (i < locDecoder.GetNumTexts()))
                __builtin_trap();
            // The text must hold its length and a terminator.
            if (locText && locText->GetText()[locText->GetLength()] != 0)
                __builtin_trap();
        }
    }
    return 0;
}
