// The TGA reader of the GDI bitmaps: uncompressed true colour, 24 or 32 bits per pixel,
// turned into device-independent rows (bottom row first, each padded to 4 bytes).
#pragma once

#include <cstdint>

enum QDGDI_TGAError
{
    QDGDI_TGA_OK = 0,
    QDGDI_TGA_ILLEGAL_TYPE = 1,   // not uncompressed true colour of 24 or 32 bits
    QDGDI_TGA_CUT = 2,            // shorter than its header, fields or pixels
    QDGDI_TGA_NO_PIXELS = 3,      // width or height 0
    QDGDI_TGA_OUT_OF_MEMORY = 4,
};

struct QDGDI_TGAImage
{
    int myWidth;
    int myHeight;
    int myBitsPerPixel;   // 24 or 32
    int myStride;         // bytes per row, a multiple of 4
    uint8_t* myRows;      // myStride × myHeight bytes, bottom row first (malloc; QDGDI_FreeTGA)
};

// Leaves anImage empty (myRows null) on failure.
QDGDI_TGAError QDGDI_DecodeTGA(const uint8_t* aData, uint32_t aSize, QDGDI_TGAImage* anImage);
void QDGDI_FreeTGA(QDGDI_TGAImage* anImage);
