// The BMP reader of the GDI bitmaps: every header, table and run of the file is checked
// before a pixel is made, and the picture comes back as 32-bit device-independent rows
// (B, G, R, 0; bottom row first), whatever the file's own depth and row order.
#pragma once

#include <cstdint>

enum QDGDI_BMPError
{
    QDGDI_BMP_OK = 0,
    QDGDI_BMP_NOT_BMP = 1,          // no "BM" at the start
    QDGDI_BMP_CUT = 2,              // headers, colour table or pixels past the end of the file
    QDGDI_BMP_BAD_HEADER = 3,       // an information header of a size no writer makes
    QDGDI_BMP_NO_PIXELS = 4,        // width or height 0
    QDGDI_BMP_BAD_SIZE = 5,         // a negative width, or a picture past QDGDI_BMP_MAX_PIXELS
    QDGDI_BMP_BAD_FORMAT = 6,       // planes, bit count or compression not read, or not matching
    QDGDI_BMP_BAD_PALETTE = 7,      // a colour table of more than 256 colours
    QDGDI_BMP_BAD_MASKS = 8,        // colour masks split, overlapping or wider than a pixel
    QDGDI_BMP_BAD_RLE = 9,          // run-length data that leaves the picture or lacks its end mark
    QDGDI_BMP_OUT_OF_MEMORY = 10,
};

// The largest picture read: 64 Mi pixels, 256 MiB of 32-bit rows.
const uint64_t QDGDI_BMP_MAX_PIXELS = (uint64_t)1 << 26;

struct QDGDI_BMPImage
{
    int myWidth;
    int myHeight;
    int myStride;      // bytes per row: myWidth × 4
    uint8_t* myRows;   // myStride × myHeight bytes, bottom row first (malloc; QDGDI_FreeBMP)
    // What is wrong, after a refusal: the code's text and the details ("is cut short: ...").
    char myReason[192];
};

// Leaves anImage without rows (myRows null) and myReason filled on failure. A picture of
// more than aMaxPixels is refused (QDGDI_BMP_BAD_SIZE).
QDGDI_BMPError QDGDI_DecodeBMP(const uint8_t* aData, uint32_t aSize, QDGDI_BMPImage* anImage,
                               uint64_t aMaxPixels = QDGDI_BMP_MAX_PIXELS);
void QDGDI_FreeBMP(QDGDI_BMPImage* anImage);
// The fixed text of a code: "is cut short", "is not a BMP file", ...
const char* QDGDI_BMPErrorText(QDGDI_BMPError anError);
