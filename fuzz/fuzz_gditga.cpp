// The GDI bitmaps' TGA reader on the bytes in memory; every row it hands back is read whole.
#include <cstdint>
#include <cstring>

#include "qdrawgdi/qdgdi_tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QDGDI_TGAImage locImage;
    if (QDGDI_DecodeTGA(aData, (uint32_t)aSize, &locImage) != QDGDI_TGA_OK)
        return 0;
    if (locImage.myStride % 4 != 0 || locImage.myStride < locImage.myWidth * (locImage.myBitsPerPixel / 8))
        __builtin_trap();
    uint32_t locSum = 0;
    for (int y = 0; y < locImage.myHeight; y++)
        locSum += locImage.myRows[(size_t)y * locImage.myStride + locImage.myStride - 1];
    volatile uint32_t locKeep = locSum;
    (void)locKeep;
    QDGDI_FreeTGA(&locImage);
    return 0;
}
