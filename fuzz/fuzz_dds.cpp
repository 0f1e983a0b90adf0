// The DDS loader: the input is a flag byte (levels to skip, full detail) and a DDS file,
// loaded by name into a device texture on the recording device.
#include <cstdint>

#include "fuzz_render.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QR_Render* locRender = FuzzRenderer();
    FuzzInput locInput(aData, aSize);
    const uint8_t locFlags = locInput.TakeByte();
    FuzzScratch::Write("d.dds", locInput.GetData(), locInput.GetSize());
    FuzzScratch::Inside locInside;

    locRender->myRenderSettings.myTextureReduction = locFlags & 3;
    uint32_t locTextureFlags = (locFlags & 4) ? QR_TEXTUREFLAG_FULLDETAIL : 0;
    QR_Texture* locTexture = QR_Texture::Acquire("d", locTextureFlags, 0, nullptr);
    if (locTexture)
        QR_Texture::Release(locTexture);
    return 0;
}
