// DXT1/3/5 block decoding, for drivers without S3TC: levels are expanded on upload.
#include "platform/gfx/gfx_local.h"

#include <algorithm>

static uint32_t locExpand565(uint16_t aColor)
{
    const uint32_t r = (aColor >> 11) & 31, g = (aColor >> 5) & 63, b = aColor & 31;
    return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

static uint32_t locMix(uint32_t a, uint32_t b, uint32_t aWeight, uint32_t aTotal)
{
    uint32_t locResult = 0;
    for (int s = 0; s < 24; s += 8)
    {
        const uint32_t x = (a >> s) & 0xFF, y = (b >> s) & 0xFF;
        locResult |= ((x * (aTotal - aWeight) + y * aWeight) / aTotal) << s;
    }
    return locResult;
}

// Colours of one block: 4 palette entries; DXT1 with colour 0 <= colour 1 has black
// transparent as entry 3.
static void locColorBlock(const uint8_t* aBlock, bool aDXT1Flag, uint32_t anOut[16])
{
    const uint16_t c0 = uint16_t(aBlock[0] | aBlock[1] << 8), c1 = uint16_t(aBlock[2] | aBlock[3] << 8);
    uint32_t p[4];
    p[0] = locExpand565(c0) | 0xFF000000u;
    p[1] = locExpand565(c1) | 0xFF000000u;
    if (c0 > c1 || !aDXT1Flag)
    {
        p[2] = locMix(p[0], p[1], 1, 3) | 0xFF000000u;
        p[3] = locMix(p[0], p[1], 2, 3) | 0xFF000000u;
    }
    else
    {
        p[2] = locMix(p[0], p[1], 1, 2) | 0xFF000000u;
        p[3] = 0;
    }
    for (int i = 0; i < 16; ++i)
        anOut[i] = p[(aBlock[4 + i / 4] >> (2 * (i % 4))) & 3];
}

void GFX_DecompressDXT(GFX_Format aFormat, uint32_t aWidth, uint32_t aHeight, const uint8_t* aSource,
                       uint32_t* aDest)
{
    const uint32_t locBlockSize = aFormat == GFX_FORMAT_DXT1 ? 8 : 16;
    const uint32_t locBlocksX = std::max(1u, (aWidth + 3) / 4), locBlocksY = std::max(1u, (aHeight + 3) / 4);
    for (uint32_t by = 0; by < locBlocksY; ++by)
        for (uint32_t bx = 0; bx < locBlocksX; ++bx)
        {
            const uint8_t* b = aSource + (by * locBlocksX + bx) * locBlockSize;
            uint32_t locTexels[16];
            locColorBlock(aFormat == GFX_FORMAT_DXT1 ? b : b + 8, aFormat == GFX_FORMAT_DXT1, locTexels);
            if (aFormat == GFX_FORMAT_DXT3)
                for (int i = 0; i < 16; ++i)
                {
                    const uint32_t a = (b[i / 2] >> (4 * (i % 2))) & 15;
                    locTexels[i] = (locTexels[i] & 0xFFFFFFu) | ((a << 4 | a) << 24);
                }
            else if (aFormat == GFX_FORMAT_DXT5)
            {
                uint32_t a[8] = {b[0], b[1]};
                if (a[0] > a[1])
                    for (uint32_t k = 1; k < 7; ++k)
                        a[k + 1] = ((7 - k) * a[0] + k * a[1]) / 7;
                else
                {
                    for (uint32_t k = 1; k < 5; ++k)
                        a[k + 1] = ((5 - k) * a[0] + k * a[1]) / 5;
                    a[6] = 0;
                    a[7] = 255;
                }
                uint64_t locBits = 0;
                for (int k = 0; k < 6; ++k)
                    locBits |= uint64_t(b[2 + k]) << (8 * k);
                for (int i = 0; i < 16; ++i)
                    locTexels[i] = (locTexels[i] & 0xFFFFFFu) | (a[(locBits >> (3 * i)) & 7] << 24);
            }
            for (uint32_t i = 0; i < 16; ++i)
            {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < aWidth && y < aHeight)
                    aDest[size_t(y) * aWidth + x] = locTexels[i];
            }
        }
}
