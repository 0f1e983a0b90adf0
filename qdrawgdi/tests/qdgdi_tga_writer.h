// Writes TGA files for the tests and the fuzz seeds: uncompressed true colour, with an
// optional image-ID field and either row order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct QDGDI_TestTGA
{
    int myWidth = 1;
    int myHeight = 1;
    int myBits = 24;
    int myType = 2;
    bool myTopDownFlag = false;
    std::string myId;
    // 0xAARRGGBB, top row first whatever the file's row order.
    std::vector<uint32_t> myPixels;

    std::vector<uint8_t> Write() const
    {
        std::vector<uint8_t> f(18, 0);
        f[0] = (uint8_t)myId.size();
        f[2] = (uint8_t)myType;
        f[12] = myWidth & 0xFF, f[13] = (myWidth >> 8) & 0xFF;
        f[14] = myHeight & 0xFF, f[15] = (myHeight >> 8) & 0xFF;
        f[16] = (uint8_t)myBits;
        f[17] = (uint8_t)((myBits == 32 ? 8 : 0) | (myTopDownFlag ? 0x20 : 0));
        for (char c : myId)
            f.push_back((uint8_t)c);
        for (int row = 0; row < myHeight; row++)
        {
            const int y = myTopDownFlag ? row : myHeight - 1 - row;
            for (int x = 0; x < myWidth; x++)
            {
                const size_t i = (size_t)y * myWidth + x;
                const uint32_t p = i < myPixels.size() ? myPixels[i] : 0;
                f.push_back(p & 0xFF);
                f.push_back((p >> 8) & 0xFF);
                f.push_back((p >> 16) & 0xFF);
                if (myBits == 32)
                    f.push_back(p >> 24);
            }
        }
        return f;
    }
};
