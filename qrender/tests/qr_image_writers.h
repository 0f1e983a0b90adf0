// Fixture writers of TGA and DDS files for the texture tests and the fuzz seeds: files of
// any size, depth, origin, compression, format and level count, including damaged ones.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

// A TGA of 0xAARRGGBB pixels (row 0 at the top), 24 or 32 bits, type 2 or 10.
inline std::vector<uint8_t> QRT_MakeTGA(uint32_t aWidth, uint32_t aHeight, uint32_t aBits,
                                        const std::vector<uint32_t>& aPixels, bool aTopDownFlag, bool aRLEFlag)
{
    std::vector<uint8_t> f(18, 0);
    f[2] = aRLEFlag ? 10 : 2;
    f[12] = (uint8_t)aWidth, f[13] = (uint8_t)(aWidth >> 8);
    f[14] = (uint8_t)aHeight, f[15] = (uint8_t)(aHeight >> 8);
    f[16] = (uint8_t)aBits;
    f[17] = (uint8_t)((aTopDownFlag ? 0x20 : 0) | (aBits == 32 ? 8 : 0));
    auto locPut = [&](uint32_t p)
    {
        f.push_back((uint8_t)p), f.push_back((uint8_t)(p >> 8)), f.push_back((uint8_t)(p >> 16));
        if (aBits == 32)
            f.push_back((uint8_t)(p >> 24));
    };
    std::vector<uint32_t> locOrder; // file order
    for (uint32_t y = 0; y < aHeight; y++)
    {
        uint32_t locRow = aTopDownFlag ? y : aHeight - 1 - y;
        for (uint32_t x = 0; x < aWidth; x++)
            locOrder.push_back(aPixels[(size_t)locRow * aWidth + x]);
    }
    if (!aRLEFlag)
    {
        for (uint32_t p : locOrder)
            locPut(p);
        return f;
    }
    // Runs of equal pixels as run packets, everything else as raw packets; packets cross rows.
    size_t i = 0;
    while (i < locOrder.size())
    {
        size_t n = 1;
        while (i + n < locOrder.size() && n < 128 && locOrder[i + n] == locOrder[i])
            n++;
        if (n >= 2)
        {
            f.push_back((uint8_t)(0x80 | (n - 1)));
            locPut(locOrder[i]);
        }
        else
        {
            while (i + n < locOrder.size() && n < 128 && locOrder[i + n] != locOrder[i + n - 1])
                n++;
            f.push_back((uint8_t)(n - 1));
            for (size_t k = 0; k < n; k++)
                locPut(locOrder[i + k]);
        }
        i += n;
    }
    return f;
}

// A DDS header: aFourCC "DXT1", "DXT3", "DXT5", or null for V8U8 (bump du/dv).
inline std::vector<uint8_t> QRT_MakeDDSHeader(const char* aFourCC, uint32_t aWidth, uint32_t aHeight,
                                              uint32_t aMipCount)
{
    std::vector<uint8_t> f(128, 0);
    auto locSet = [&](size_t anOffset, uint32_t aValue) { memcpy(&f[anOffset], &aValue, 4); };
    memcpy(&f[0], "DDS ", 4);
    locSet(4, 124);
    locSet(8, 0x1007 | (aMipCount ? 0x20000 : 0));
    locSet(12, aHeight);
    locSet(16, aWidth);
    locSet(28, aMipCount);
    locSet(76, 32);
    if (aFourCC)
    {
        locSet(80, 0x4);
        memcpy(&f[84], aFourCC, 4);
    }
    else
    {
        locSet(80, 0x80000);
        locSet(88, 16);
    }
    locSet(108, 0x1000 | (aMipCount ? 0x401008 : 0));
    return f;
}

// Bytes of one level with its true size (whole 4 x 4 blocks for DXT).
inline uint32_t QRT_DDSLevelBytes(const char* aFourCC, uint32_t aWidth, uint32_t aHeight)
{
    if (!aFourCC)
        return aWidth * aHeight * 2;
    uint32_t locBlocks = ((aWidth + 3) / 4) * ((aHeight + 3) / 4);
    return locBlocks * (strcmp(aFourCC, "DXT1") == 0 ? 8 : 16);
}

// A whole DDS file; level bytes follow a pattern seeded by the level number.
inline std::vector<uint8_t> QRT_MakeDDS(const char* aFourCC, uint32_t aWidth, uint32_t aHeight, uint32_t aMipCount)
{
    std::vector<uint8_t> f = QRT_MakeDDSHeader(aFourCC, aWidth, aHeight, aMipCount);
    uint32_t w = aWidth, h = aHeight;
    for (uint32_t i = 0; i < (aMipCount ? aMipCount : 1); i++)
    {
        uint32_t n = QRT_DDSLevelBytes(aFourCC, w, h);
        for (uint32_t k = 0; k < n; k++)
            f.push_back((uint8_t)(k * 7 + i * 31));
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return f;
}

inline bool QRT_WriteFile(const std::string& aPath, const std::vector<uint8_t>& aBytes)
{
    FILE* locFile = fopen(aPath.c_str(), "wb");
    if (!locFile)
        return false;
    bool locOk = fwrite(aBytes.data(), 1, aBytes.size(), locFile) == aBytes.size();
    return fclose(locFile) == 0 && locOk;
}

inline std::vector<uint8_t> QRT_ReadFile(const std::string& aPath)
{
    std::vector<uint8_t> locBytes;
    FILE* locFile = fopen(aPath.c_str(), "rb");
    if (!locFile)
        return locBytes;
    uint8_t locBuffer[4096];
    size_t n;
    while ((n = fread(locBuffer, 1, sizeof(locBuffer), locFile)) > 0)
        locBytes.insert(locBytes.end(), locBuffer, locBuffer + n);
    fclose(locFile);
    return locBytes;
}
