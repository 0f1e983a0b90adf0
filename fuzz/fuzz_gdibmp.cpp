// The GDI bitmaps' BMP reader on the bytes in memory; every pixel it hands back is read,
// and a refusal must come with its reason.
#include <cstdint>
#include <cstring>

#include "qdrawgdi/qdgdi_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QDGDI_BMPImage locImage;
    if (QDGDI_DecodeBMP(aData, (uint32_t)aSize, &locImage) != QDGDI_BMP_OK)
    {
        if (locImage.myRows || locImage.myReason[0] == 0)
            __builtin_trap();
        return 0;
    }
    if (locImage.myWidth <= 0 || locImage.myHeight <= 0 || locImage.myStride != locImage.myWidth * 4 ||
        (uint64_t)locImage.myWidth * locImage.myHeight > QDGDI_BMP_MAX_PIXELS)
        __builtin_trap();
    // Every fourth byte (the unused one of B, G, R, 0) is zero.
    uint32_t locSum = 0;
    const size_t locBytes = (size_t)locImage.myStride * locImage.myHeight;
    for (size_t i = 0; i < locBytes; i++)
    {
        if (i % 4 == 3 && locImage.myRows[i] != 0)
            __builtin_trap();
        locSum += locImage.myRows[i];
    }
    volatile uint32_t locKeep = locSum;
    (void)locKeep;
    QDGDI_FreeBMP(&locImage);
    return 0;
}
