// The TGA reader of the GDI bitmaps. Every field is checked against the file's size.
#include "qdrawgdi/qdgdi_tga.h"

#include <cstdlib>
#include <cstring>

namespace
{
const uint32_t locHeaderSize = 18;

uint32_t locU16(const uint8_t* aData)
{
    return (uint32_t)aData[0] | ((uint32_t)aData[1] << 8);
}
} // namespace

QDGDI_TGAError QDGDI_DecodeTGA(const uint8_t* aData, uint32_t aSize, QDGDI_TGAImage* anImage)
{
    *anImage = {};
    if (!aData || aSize < locHeaderSize)
        return QDGDI_TGA_CUT;
    const uint32_t locType = aData[2];
    const uint32_t locBits = aData[16];
    if (locType != 2 || (locBits != 24 && locBits != 32))
        return QDGDI_TGA_ILLEGAL_TYPE;
    const uint32_t locWidth = locU16(aData + 12);
    const uint32_t locHeight = locU16(aData + 14);
    if (locWidth == 0 || locHeight == 0)
        return QDGDI_TGA_NO_PIXELS;

    // The image-ID field (its length in byte 0) and a colour map, if any, come before the pixels.
    uint64_t locOffset = locHeaderSize + (uint64_t)aData[0];
    if (aData[1] != 0)
        locOffset += (uint64_t)locU16(aData + 5) * ((aData[7] + 7u) / 8u);
    const uint32_t locBytes = locBits / 8;
    const uint64_t locRowSize = (uint64_t)locWidth * locBytes;
    if (locOffset > aSize || locRowSize * locHeight > aSize - locOffset)
        return QDGDI_TGA_CUT;

    const uint32_t locStride = (uint32_t)((locRowSize + 3) & ~(uint64_t)3);
    uint8_t* locRows = (uint8_t*)calloc((size_t)locStride * locHeight, 1);
    if (!locRows)
        return QDGDI_TGA_OUT_OF_MEMORY;
    // Bit 5 of the descriptor: the first row in the file is the top one.
    const bool locTopDownFlag = (aData[17] & 0x20) != 0;
    const uint8_t* locSource = aData + locOffset;
    for (uint32_t y = 0; y < locHeight; y++)
    {
        const uint32_t locTarget = locTopDownFlag ? locHeight - 1 - y : y;
        memcpy(locRows + (size_t)locTarget * locStride, locSource + (size_t)y * locRowSize, (size_t)locRowSize);
    }
    anImage->myWidth = (int)locWidth;
    anImage->myHeight = (int)locHeight;
    anImage->myBitsPerPixel = (int)locBits;
    anImage->myStride = (int)locStride;
    anImage->myRows = locRows;
    return QDGDI_TGA_OK;
}

void QDGDI_FreeTGA(QDGDI_TGAImage* anImage)
{
    free(anImage->myRows);
    *anImage = {};
}
