// The BMP reader of the GDI bitmaps. Every size, offset, table and run is checked against
// the file before it is used; a refusal says what is wrong in the image's reason.
//
// [SECTION] texts and small readers
// [SECTION] headers
// [SECTION] uncompressed rows
// [SECTION] run-length data
// [SECTION] decoding
#include "qdrawgdi/qdgdi_bmp.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// [SECTION] texts and small readers

namespace
{
// One text per code, in the order of QDGDI_BMPError.
const char* const locErrorTexts[] = {
    "was read",
    "is not a BMP file",
    "is cut short",
    "has an information header of a size no BMP writer makes",
    "has a width or height of 0",
    "has a size out of range",
    "has a pixel format that is not read",
    "has a colour table of more than 256 colours",
    "has broken colour masks",
    "has broken run-length data",
    "does not fit in memory",
};
static_assert(sizeof(locErrorTexts) / sizeof(locErrorTexts[0]) == QDGDI_BMP_OUT_OF_MEMORY + 1,
              "one text per code");

const uint32_t locFileHeaderSize = 14;

enum
{
    locRGB = 0,
    locRLE8 = 1,
    locRLE4 = 2,
    locBitFields = 3,
};

uint32_t locU16(const uint8_t* aData)
{
    return (uint32_t)aData[0] | ((uint32_t)aData[1] << 8);
}

uint32_t locU32(const uint8_t* aData)
{
    return locU16(aData) | (locU16(aData + 2) << 16);
}

// Fills the reason ("<code's text>: <details>") and gives the code back.
QDGDI_BMPError locFail(QDGDI_BMPImage* anImage, QDGDI_BMPError anError, const char* aFormat, ...)
    __attribute__((format(printf, 3, 4)));

QDGDI_BMPError locFail(QDGDI_BMPImage* anImage, QDGDI_BMPError anError, const char* aFormat, ...)
{
    char locDetails[160];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locDetails, sizeof(locDetails), aFormat, locArgs);
    va_end(locArgs);
    snprintf(anImage->myReason, sizeof(anImage->myReason), "%s: %s", locErrorTexts[anError], locDetails);
    return anError;
}

// One colour channel of a bit-field pixel: its mask, the shift to its lowest bit and
// its width in bits (0 for a channel the file leaves out).
struct Channel
{
    uint32_t myMask;
    uint32_t myShift;
    uint32_t myBits;
};

// False for a mask that is split or reaches past the pixel's bits.
bool locMakeChannel(uint32_t aMask, uint32_t aBits, Channel* aChannel)
{
    *aChannel = {aMask, 0, 0};
    if (aBits < 32 && (aMask >> aBits) != 0)
        return false;
    if (aMask == 0)
        return true;
    aChannel->myShift = (uint32_t)__builtin_ctz(aMask);
    const uint32_t locMax = aMask >> aChannel->myShift;
    aChannel->myBits = (uint32_t)__builtin_popcount(locMax);
    return (locMax & (locMax + 1)) == 0;   // one unbroken run of bits
}

// The channel's value moved to the top of a byte, as the system shows it: a 5-bit 31 is 248.
uint8_t locChannelByte(uint32_t aPixel, const Channel& aChannel)
{
    if (aChannel.myBits == 0)
        return 0;
    const uint32_t locValue = (aPixel & aChannel.myMask) >> aChannel.myShift;
    return (uint8_t)(aChannel.myBits <= 8 ? locValue << (8 - aChannel.myBits) : locValue >> (aChannel.myBits - 8));
}

// [SECTION] headers

// What the headers say, once they are checked.
struct Layout
{
    uint32_t myWidth;
    uint32_t myHeight;
    bool myTopDownFlag;
    uint32_t myBits;
    uint32_t myCompression;
    Channel myChannels[3];   // red, green, blue of 16- and 32-bit pixels
    uint32_t myColourCount;  // entries of the colour table (bits 1 to 8)
    uint32_t myPalette[256]; // 0x00RRGGBB; entries past the table are black
    uint32_t myPixelStart;   // where the pixel data begins in the file
};

QDGDI_BMPError locReadHeaders(const uint8_t* aData, uint32_t aSize, uint64_t aMaxPixels, Layout* aLayout,
                              QDGDI_BMPImage* anImage)
{
    if (aSize < 2 || aData[0] != 'B' || aData[1] != 'M')
        return locFail(anImage, QDGDI_BMP_NOT_BMP, "it does not start with \"BM\"");
    if (aSize < locFileHeaderSize + 4)
        return locFail(anImage, QDGDI_BMP_CUT, "%u bytes, less than its file header", aSize);
    const uint32_t locOffset = locU32(aData + 10);
    const uint32_t locHeaderSize = locU32(aData + 14);
    // The Windows headers (core, information and its versions 2 to 5) and OS/2's second one.
    if (locHeaderSize != 12 && locHeaderSize != 40 && locHeaderSize != 52 && locHeaderSize != 56 &&
        locHeaderSize != 64 && locHeaderSize != 108 && locHeaderSize != 124)
        return locFail(anImage, QDGDI_BMP_BAD_HEADER, "%u bytes", locHeaderSize);
    if (locHeaderSize > aSize - locFileHeaderSize)
        return locFail(anImage, QDGDI_BMP_CUT, "its %u-byte information header ends past the file's %u bytes",
                       locHeaderSize, aSize);
    const uint8_t* locInfo = aData + locFileHeaderSize;
    uint64_t locTableStart = locFileHeaderSize + locHeaderSize;
    int64_t locWidth, locHeight;
    uint32_t locPlanes, locColoursUsed = 0, locEntrySize = 4;
    *aLayout = {};
    if (locHeaderSize == 12)
    {
        locWidth = locU16(locInfo + 4);
        locHeight = locU16(locInfo + 6);
        locPlanes = locU16(locInfo + 8);
        aLayout->myBits = locU16(locInfo + 10);
        locEntrySize = 3;
    }
    else
    {
        locWidth = (int32_t)locU32(locInfo + 4);
        locHeight = (int32_t)locU32(locInfo + 8);
        locPlanes = locU16(locInfo + 12);
        aLayout->myBits = locU16(locInfo + 14);
        aLayout->myCompression = locU32(locInfo + 16);
        locColoursUsed = locU32(locInfo + 32);
    }

    if (locWidth == 0 || locHeight == 0)
        return locFail(anImage, QDGDI_BMP_NO_PIXELS, "%lld x %lld pixels", (long long)locWidth,
                       (long long)locHeight);
    if (locWidth < 0)
        return locFail(anImage, QDGDI_BMP_BAD_SIZE, "a width of %lld", (long long)locWidth);
    aLayout->myTopDownFlag = locHeight < 0;
    aLayout->myWidth = (uint32_t)locWidth;
    aLayout->myHeight = (uint32_t)(locHeight < 0 ? -locHeight : locHeight);
    if ((uint64_t)aLayout->myWidth * aLayout->myHeight > aMaxPixels)
        return locFail(anImage, QDGDI_BMP_BAD_SIZE, "%u x %u pixels, more than %llu", aLayout->myWidth,
                       aLayout->myHeight, (unsigned long long)aMaxPixels);

    const uint32_t locBits = aLayout->myBits;
    const uint32_t locCompression = aLayout->myCompression;
    if (locPlanes != 1)
        return locFail(anImage, QDGDI_BMP_BAD_FORMAT, "%u planes", locPlanes);
    if (locBits != 1 && locBits != 4 && locBits != 8 && locBits != 16 && locBits != 24 && locBits != 32)
        return locFail(anImage, QDGDI_BMP_BAD_FORMAT, "%u bits per pixel", locBits);
    // OS/2's header gives compressions 3 and 4 other meanings (Huffman, 24-bit runs): not read.
    const bool locKnown = locCompression == locRGB || (locCompression == locRLE8 && locBits == 8) ||
                          (locCompression == locRLE4 && locBits == 4) ||
                          (locCompression == locBitFields && (locBits == 16 || locBits == 32) &&
                           locHeaderSize != 64);
    if (!locKnown)
        return locFail(anImage, QDGDI_BMP_BAD_FORMAT, "compression %u with %u bits per pixel", locCompression,
                       locBits);
    if (aLayout->myTopDownFlag && (locCompression == locRLE8 || locCompression == locRLE4))
        return locFail(anImage, QDGDI_BMP_BAD_FORMAT, "run-length data in a top-down picture");

    if (locBits == 16 || locBits == 32)
    {
        // Without bit fields: 5 bits a channel in 16-bit pixels, a byte a channel in 32-bit ones.
        uint32_t locMasks[3] = {0x7C00, 0x03E0, 0x001F};
        if (locBits == 32)
            locMasks[0] = 0xFF0000, locMasks[1] = 0x00FF00, locMasks[2] = 0x0000FF;
        if (locCompression == locBitFields)
        {
            // The masks are in the larger headers, and follow the 40-byte one, unless the
            // pixels start right there: some writers leave them out, meaning the defaults.
            const bool locMasksFlag = locHeaderSize > 40 || locOffset != locTableStart;
            if (locHeaderSize == 40 && locMasksFlag)
            {
                if (locTableStart + 12 > aSize)
                    return locFail(anImage, QDGDI_BMP_CUT, "its colour masks end past the file's %u bytes", aSize);
                locTableStart += 12;
            }
            for (int i = 0; locMasksFlag && i < 3; i++)
                locMasks[i] = locU32(locInfo + 40 + 4 * i);
        }
        for (int i = 0; i < 3; i++)
            if (!locMakeChannel(locMasks[i], locBits, &aLayout->myChannels[i]))
                return locFail(anImage, QDGDI_BMP_BAD_MASKS, "mask 0x%08X of a %u-bit pixel", locMasks[i], locBits);
        if ((locMasks[0] & locMasks[1]) || (locMasks[0] & locMasks[2]) || (locMasks[1] & locMasks[2]))
            return locFail(anImage, QDGDI_BMP_BAD_MASKS, "masks 0x%08X, 0x%08X and 0x%08X overlap", locMasks[0],
                           locMasks[1], locMasks[2]);
    }
    else if (locBits <= 8)
    {
        aLayout->myColourCount = locColoursUsed ? locColoursUsed : 1u << locBits;
        if (aLayout->myColourCount > 256)
            return locFail(anImage, QDGDI_BMP_BAD_PALETTE, "%u colours", aLayout->myColourCount);
        const uint64_t locTableSize = (uint64_t)aLayout->myColourCount * locEntrySize;
        if (locTableStart + locTableSize > aSize)
            return locFail(anImage, QDGDI_BMP_CUT, "its table of %u colours ends past the file's %u bytes",
                           aLayout->myColourCount, aSize);
        for (uint32_t i = 0; i < aLayout->myColourCount; i++)
        {
            const uint8_t* locEntry = aData + locTableStart + (uint64_t)i * locEntrySize;
            aLayout->myPalette[i] = ((uint32_t)locEntry[2] << 16) | ((uint32_t)locEntry[1] << 8) | locEntry[0];
        }
        locTableStart += locTableSize;
    }

    // An offset into the headers or the table (old writers leave 0) means "right after them".
    if (locOffset > aSize)
        return locFail(anImage, QDGDI_BMP_CUT, "its pixels start at byte %u, past the file's %u bytes", locOffset,
                       aSize);
    aLayout->myPixelStart = locOffset > locTableStart ? locOffset : (uint32_t)locTableStart;
    return QDGDI_BMP_OK;
}

// [SECTION] uncompressed rows

// One row of the file's pixels to B, G, R, 0.
void locConvertRow(const Layout& aLayout, const uint8_t* aSource, uint8_t* aTarget)
{
    const uint32_t locBits = aLayout.myBits;
    for (uint32_t x = 0; x < aLayout.myWidth; x++, aTarget += 4)
    {
        uint32_t locColour;
        if (locBits <= 8)
        {
            const uint32_t locBit = x * locBits;
            const uint32_t locIndex = (aSource[locBit / 8] >> (8 - locBits - locBit % 8)) & ((1u << locBits) - 1);
            locColour = aLayout.myPalette[locIndex];
        }
        else if (locBits == 24)
            locColour = locU16(aSource + 3 * x) | ((uint32_t)aSource[3 * x + 2] << 16);
        else
        {
            const uint32_t locPixel = locBits == 16 ? locU16(aSource + 2 * x) : locU32(aSource + 4 * x);
            locColour = ((uint32_t)locChannelByte(locPixel, aLayout.myChannels[0]) << 16) |
                        ((uint32_t)locChannelByte(locPixel, aLayout.myChannels[1]) << 8) |
                        locChannelByte(locPixel, aLayout.myChannels[2]);
        }
        memcpy(aTarget, &locColour, 4);   // little-endian: B, G, R, 0
    }
}

QDGDI_BMPError locReadRows(const uint8_t* aData, uint32_t aSize, const Layout& aLayout, uint8_t* aRows,
                           QDGDI_BMPImage* anImage)
{
    // Rows are padded to 4 bytes, the last one too.
    const uint64_t locStride = (((uint64_t)aLayout.myWidth * aLayout.myBits + 31) / 32) * 4;
    const uint64_t locNeeded = locStride * aLayout.myHeight;
    if (locNeeded > aSize - aLayout.myPixelStart)
        return locFail(anImage, QDGDI_BMP_CUT, "its pixels need %llu bytes from byte %u, the file holds %u",
                       (unsigned long long)locNeeded, aLayout.myPixelStart, aSize - aLayout.myPixelStart);
    const size_t locTargetStride = (size_t)aLayout.myWidth * 4;
    for (uint32_t y = 0; y < aLayout.myHeight; y++)
    {
        const uint32_t locTargetRow = aLayout.myTopDownFlag ? aLayout.myHeight - 1 - y : y;
        locConvertRow(aLayout, aData + aLayout.myPixelStart + y * locStride, aRows + locTargetRow * locTargetStride);
    }
    return QDGDI_BMP_OK;
}

// [SECTION] run-length data

// Runs of one index (count, index), and escapes (0, code): 0 ends the row, 1 the
// picture, 2 jumps right and up by the next two bytes, 3 and more copy that many
// indices that follow, padded to an even number of bytes. RLE4 indices are nibbles,
// high first, a run alternating between the two of its byte. A jump out of the
// picture, pixels after the last row and data without its end mark are refused.
// Pixels no run reaches have colour 0 of the table, as in the zeroed section the
// system decoded into.
QDGDI_BMPError locReadRuns(const uint8_t* aData, uint32_t aSize, const Layout& aLayout, uint8_t* aRows,
                           QDGDI_BMPImage* anImage)
{
    const bool locNibbleFlag = aLayout.myCompression == locRLE4;
    const uint32_t w = aLayout.myWidth, h = aLayout.myHeight;
    const size_t locTargetStride = (size_t)w * 4;
    // Colour 0 everywhere, in doubling copies: a few bytes of runs may span 64 Mi pixels.
    const size_t locTotal = locTargetStride * h;
    memcpy(aRows, &aLayout.myPalette[0], 4);
    for (size_t locDone = 4; locDone < locTotal; locDone *= 2)
        memcpy(aRows + locDone, aRows, locDone < locTotal - locDone ? locDone : locTotal - locDone);

    uint32_t locPos = aLayout.myPixelStart;
    uint32_t x = 0, y = 0;   // y counts rows from the bottom, as the data does
    for (;;)
    {
        if (aSize - locPos < 2)
            return locFail(anImage, QDGDI_BMP_BAD_RLE, "the data ends at byte %u before its end mark", aSize);
        const uint32_t locCount = aData[locPos], locValue = aData[locPos + 1];
        const uint32_t locCodeAt = locPos;
        locPos += 2;
        if (locCount == 0 && locValue == 0)
        {
            if (y >= h)
                return locFail(anImage, QDGDI_BMP_BAD_RLE, "an end of row after the last row at byte %u", locCodeAt);
            x = 0, y++;
            continue;
        }
        if (locCount == 0 && locValue == 1)
            return QDGDI_BMP_OK;
        if (locCount == 0 && locValue == 2)
        {
            if (aSize - locPos < 2)
                return locFail(anImage, QDGDI_BMP_BAD_RLE, "the jump at byte %u is cut short", locCodeAt);
            const uint32_t locRight = aData[locPos], locUp = aData[locPos + 1];
            locPos += 2;
            if (locRight > w - x || locUp > h - y)
                return locFail(anImage, QDGDI_BMP_BAD_RLE, "the jump at byte %u leaves the picture", locCodeAt);
            x += locRight, y += locUp;
            continue;
        }
        // A run (locCount indices of locValue) or a copy (locValue indices that follow).
        const bool locCopyFlag = locCount == 0;
        const uint32_t locPixels = locCopyFlag ? locValue : locCount;
        const uint8_t* locIndices = aData + locPos;
        if (locCopyFlag)
        {
            const uint32_t locBytes = locNibbleFlag ? (locPixels + 1) / 2 : locPixels;
            const uint32_t locPadded = (locBytes + 1) & ~1u;
            if (aSize - locPos < locPadded)
                return locFail(anImage, QDGDI_BMP_BAD_RLE, "the %u pixels at byte %u are cut short", locPixels,
                               locCodeAt);
            locPos += locPadded;
        }
        if (y >= h)
            return locFail(anImage, QDGDI_BMP_BAD_RLE, "the %u pixels at byte %u come after the last row", locPixels,
                           locCodeAt);
        // Writers pad rows to 4 bytes with pixels past the width (ImageMagick's RLE8 does):
        // those are dropped, as the system drops them.
        const uint32_t locShown = locPixels < w - x ? locPixels : w - x;
        uint8_t* locTarget = aRows + (size_t)y * locTargetStride + (size_t)x * 4;
        for (uint32_t i = 0; i < locShown; i++, locTarget += 4)
        {
            uint32_t locIndex;
            if (!locNibbleFlag)
                locIndex = locCopyFlag ? locIndices[i] : locValue;
            else
            {
                const uint32_t locByte = locCopyFlag ? locIndices[i / 2] : locValue;
                locIndex = i % 2 == 0 ? locByte >> 4 : locByte & 15;
            }
            memcpy(locTarget, &aLayout.myPalette[locIndex], 4);
        }
        x += locShown;
    }
}
} // namespace

// [SECTION] decoding

QDGDI_BMPError QDGDI_DecodeBMP(const uint8_t* aData, uint32_t aSize, QDGDI_BMPImage* anImage, uint64_t aMaxPixels)
{
    *anImage = {};
    if (!aData)
        aSize = 0;
    Layout locLayout = {};
    if (aMaxPixels > QDGDI_BMP_MAX_PIXELS)
        aMaxPixels = QDGDI_BMP_MAX_PIXELS;
    QDGDI_BMPError locError = locReadHeaders(aData, aSize, aMaxPixels, &locLayout, anImage);
    if (locError != QDGDI_BMP_OK)
        return locError;
    uint8_t* locRows = (uint8_t*)malloc((size_t)locLayout.myWidth * locLayout.myHeight * 4);
    if (!locRows)
        return locFail(anImage, QDGDI_BMP_OUT_OF_MEMORY, "%u x %u pixels", locLayout.myWidth, locLayout.myHeight);
    const bool locRunsFlag = locLayout.myCompression == locRLE8 || locLayout.myCompression == locRLE4;
    locError = locRunsFlag ? locReadRuns(aData, aSize, locLayout, locRows, anImage)
                           : locReadRows(aData, aSize, locLayout, locRows, anImage);
    if (locError != QDGDI_BMP_OK)
    {
        free(locRows);
        return locError;
    }
    anImage->myWidth = (int)locLayout.myWidth;
    anImage->myHeight = (int)locLayout.myHeight;
    anImage->myStride = (int)locLayout.myWidth * 4;
    anImage->myRows = locRows;
    return QDGDI_BMP_OK;
}

void QDGDI_FreeBMP(QDGDI_BMPImage* anImage)
{
    free(anImage->myRows);
    *anImage = {};
}

const char* QDGDI_BMPErrorText(QDGDI_BMPError anError)
{
    if ((unsigned)anError > QDGDI_BMP_OUT_OF_MEMORY)
        return "has an unknown fault";
    return locErrorTexts[anError];
}
