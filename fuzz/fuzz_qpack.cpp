// Memory decompression with zlib and LZMA. The input is a method byte, the
// unpacked size (u32, bounded), then the packed bytes.
#include <cstdint>
#include <cstdlib>

#include "fuzz_util.h"
#include "qpack/qp_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    FuzzInput locInput(aData, aSize);
    const uint8_t locMethod = locInput.TakeByte();
    // Sizes the callers allocate come from the stored records; keep them small here.
    const uint32_t locUnpackedSize = locInput.TakeU32() % (1u << 20);
    uint8_t* locOutput = static_cast<uint8_t*>(malloc(locUnpackedSize ? locUnpackedSize : 1));
    const uint32_t locPackedSize = uint32_t(locInput.GetSize());
    if (locMethod & 1)
    {
        uint32_t locProduced = QP_Pack::DecompressZlib(locUnpackedSize, locOutput, locPackedSize, locInput.GetData());
        if (locProduced > locUnpackedSize)
            __builtin_trap();
    }
    else
        QP_Pack::DecompressLZMA(locInput.GetData(), locPackedSize, locOutput, locUnpackedSize);
    free(locOutput);
    return 0;
}
