// The TGA reader: uncompressed (type 2) and run-length (type 10) true colour, 24 or 32 bits,
// either origin. Every size is checked against the bytes the file holds before anything is
// allocated or read.
#include <new>
#include <stdio.h>
#include <string.h>

#include "qfile/render/qf_file.h"
#include "qrender/qr_texture.h"

static const uint32_t locHeaderSize = 18;

int32_t QR_DecodeTGA(const uint8_t* aData, uint32_t aSize, uint32_t* aWidthOut, uint32_t* aHeightOut,
                     uint32_t* aBitsPerPixelOut, uint32_t** aPixelsOut)
{
    *aPixelsOut = nullptr;
    if (aSize < locHeaderSize)
        return 1;
    const uint8_t* h = aData;
    uint32_t locType = h[2];
    uint32_t locWidth = (uint32_t)h[12] | (uint32_t)h[13] << 8;
    uint32_t locHeight = (uint32_t)h[14] | (uint32_t)h[15] << 8;
    uint32_t locBits = h[16];
    *aWidthOut = locWidth;
    *aHeightOut = locHeight;
    if (locType != 2 && locType != 10)
        return 1;
    // Colour maps are not read; a file that carries one is refused rather than misread.
    if (h[1] != 0 || h[3] || h[4] || h[5] || h[6] || h[7])
        return 1;
    if ((locBits != 24 && locBits != 32) || locWidth == 0 || locHeight == 0)
        return 1;
    *aBitsPerPixelOut = locBits;

    uint64_t locPos = locHeaderSize + (uint64_t)h[0];
    if (locPos > aSize)
        return 1;
    const uint32_t locBytesPerPixel = locBits / 8;
    const uint64_t locNumPixels = (uint64_t)locWidth * locHeight;
    const uint64_t locLeft = aSize - locPos;
    // The file must be able to hold the image before its pixels are allocated: every pixel
    // stored, or at least one packet per 128 pixels.
    if (locType == 2 && locLeft < locNumPixels * locBytesPerPixel)
        return 1;
    if (locType == 10 && locLeft < (locNumPixels + 127) / 128 * (1 + locBytesPerPixel))
        return 1;

    uint32_t* locPixels = new (std::nothrow) uint32_t[locNumPixels];
    if (!locPixels)
        return 1;
    const bool locTopDownFlag = (h[17] & 0x20) != 0;
    const uint8_t* locSource = aData + locPos;
    const uint8_t* locEnd = aData + aSize;
    auto locRead = [&](const uint8_t* p) -> uint32_t
    {
        uint32_t locAlpha = locBytesPerPixel == 4 ? p[3] : 255;
        return locAlpha << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
    };
    // Pixel i of the file order lands in row y (counted in the fill order) at column x.
    auto locStore = [&](uint64_t i, uint32_t aValue)
    {
        uint64_t y = i / locWidth, x = i % locWidth;
        uint64_t locRow = locTopDownFlag ? y : locHeight - 1 - y;
        locPixels[locRow * locWidth + x] = aValue;
    };

    if (locType == 2)
    {
        for (uint64_t i = 0; i < locNumPixels; i++, locSource += locBytesPerPixel)
            locStore(i, locRead(locSource));
    }
    else
    {
        uint64_t i = 0;
        while (i < locNumPixels)
        {
            if (locSource >= locEnd)
            {
                delete[] locPixels;
                return 1;
            }
            uint8_t locPacket = *locSource++;
            uint32_t locCount = (uint32_t)(locPacket & 127) + 1;
            bool locRunFlag = (locPacket & 128) != 0;
            uint64_t locNeeded = locRunFlag ? locBytesPerPixel : (uint64_t)locCount * locBytesPerPixel;
            if ((uint64_t)(locEnd - locSource) < locNeeded)
            {
                delete[] locPixels;
                return 1;
            }
            // A packet running past the last pixel stops there.
            if (locCount > locNumPixels - i)
                locCount = (uint32_t)(locNumPixels - i);
            if (locRunFlag)
            {
                uint32_t locValue = locRead(locSource);
                locSource += locBytesPerPixel;
                for (uint32_t k = 0; k < locCount; k++)
                    locStore(i++, locValue);
            }
            else
            {
                for (uint32_t k = 0; k < locCount; k++, locSource += locBytesPerPixel)
                    locStore(i++, locRead(locSource));
                locSource += (uint64_t)((locPacket & 127) + 1 - locCount) * locBytesPerPixel;
            }
        }
    }
    *aPixelsOut = locPixels;
    return 0;
}

int32_t QR_LoadTGA(QR_Texture* aTexture, uint32_t** aPixelsOut, uint32_t* aBitsPerPixelOut)
{
    *aPixelsOut = nullptr;
    char locName[1100];
    snprintf(locName, sizeof(locName), "%s.tga", aTexture->myName);
    QF_File locFile;
    if (!locFile.Open(locName, QF_READ))
        return -1;
    uint32_t locSize = locFile.GetSize();
    uint8_t* locData = new (std::nothrow) uint8_t[locSize ? locSize : 1];
    if (!locData)
        return 1;
    uint32_t locRead = locFile.Read(locData, locSize);
    locFile.Close();
    uint32_t locWidth = 0, locHeight = 0, locBits = 0;
    int32_t locResult = QR_DecodeTGA(locData, locRead, &locWidth, &locHeight, &locBits, aPixelsOut);
    delete[] locData;
    aTexture->mySourceWidth = (int32_t)locWidth;
    aTexture->mySourceHeight = (int32_t)locHeight;
    if (locResult == 0)
        *aBitsPerPixelOut = locBits;
    return locResult;
}
