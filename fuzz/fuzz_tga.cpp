// The TGA reader through texture loading: the input is a flag byte (stretch, no mip-maps,
// pixels only, detail reduction, a pixel record) and a TGA file, loaded by name with
// sizing, resampling, the mip chain and the device texture on the recording device.
#include <cstdint>

#include "fuzz_render.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QR_Render* locRender = FuzzRenderer();
    FuzzInput locInput(aData, aSize);
    const uint8_t locFlags = locInput.TakeByte();
    FuzzScratch::Write("t.tga", locInput.GetData(), locInput.GetSize());
    FuzzScratch::Inside locInside;

    // The reader on the bytes in memory.
    uint32_t w, h, locBits;
    uint32_t* locPixels = nullptr;
    if (QR_DecodeTGA(locInput.GetData(), (uint32_t)locInput.GetSize(), &w, &h, &locBits, &locPixels) == 0)
        QR_Texture::FreePixels(locPixels);

    uint32_t locTextureFlags = QR_TEXTUREFLAG_NODDS;
    if (locFlags & 1)
        locTextureFlags |= QR_TEXTUREFLAG_STRETCH;
    if (locFlags & 2)
        locTextureFlags |= QR_TEXTUREFLAG_NOMIPMAPS;
    if (locFlags & 4)
        locTextureFlags |= QR_TEXTUREFLAG_PIXELSONLY;
    locRender->myRenderSettings.myTextureReduction = (locFlags >> 3) & 1;
    QR_TexturePixels locRecord = {};
    QR_Texture* locTexture = QR_Texture::Acquire("t", locTextureFlags, 0, (locFlags & 16) ? &locRecord : nullptr);
    if (locTexture)
    {
        QR_Texture::FreePixels(locRecord.myPixels);
        QR_Texture::Release(locTexture);
    }
    return 0;
}
