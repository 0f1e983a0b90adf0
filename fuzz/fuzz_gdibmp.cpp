// The GDI bitmaps' BMP reader on the bytes in memory; every row it hands back is read,
// and a refusal must come with its reason.
#include <cstdint>
#include <cstring>

#include "qdrawgdi/qdgdi_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    // Pictures of up to 1 Mi pixels: larger ones take the same paths, only slower.
    const uint64_t locMaxPixels = (uint64_t)1 << 20;
    QDGDI_BMPImage locImage;
    if (QDGDI_DecodeBMP(aData, (uint32_t)aSize, &locImage, locMaxPixels) != QDGDI_BMP_OK)
    {
        if (locImage.myRows || locImage.myReason[0] == 0)
            __builtin_trap();
        return 0;
    }
    if (locImage.myWidth <= 0 || locImage.myHeight <= 0 || locImage.myStride != locImage.myWidth * 4 ||
        (uint64_t)locImage.myWidth * locImage.myHeight > locMaxPixels)
        __builtin_trap();
    // Both ends of every row are there, and the byte after B, G, R is zero.
    uint32_t locSum = 0;
    for (int y = 0; y < locImage.myHeight; y++)
    {
        const uint8_t* locRow = locImage.myRows + (size_t)y * locImage.myStride;
        if (locRow[3] != 0 || locRow[locImage.myStride - 1] != 0)
            __builtin_trap();
        locSum += locRow[0] + locRow[locImage.myStride - 2];
    }
    volatile uint32_t locKeep = locSum;
    (void)locKeep;
    QDGDI_FreeBMP(&locImage);
    return 0;
}
