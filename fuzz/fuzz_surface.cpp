// The surface-template compiler: the input is a flag byte (bit 0: pixel shaders in use,
// bit 1: an instance with its own texture for slot 0) and a template file. A surface that
// compiles is bound for an opaque and a fading draw.
#include <cstdint>

#include "fuzz_render.h"
#include "fuzz_util.h"
#include "qrender/qr_surface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    QR_Render* locRender = FuzzRenderer();
    FuzzInput locInput(aData, aSize);
    const uint8_t locFlags = locInput.TakeByte();
    FuzzScratch::Write("s.sur", locInput.GetData(), locInput.GetSize());
    FuzzScratch::Inside locInside;

    locRender->myRenderSettings.myPixelShaderFlag = locFlags & 1;
    QR_TextureNames locRecord;
    locRecord.SetNames(1);
    locRecord.myNames[0] = "fz";
    QR_SurfaceInstance* locInstance = QR_Surface::CreateInstance("s.sur", (locFlags & 2) ? 1 : 0, &locRecord);
    if (locInstance)
    {
        locRender->SetSurface(locInstance, 0xFFFFFFFF, 0.5f);
        locRender->SetSurface(locInstance, 0x80FFFFFF, 1.3f);
        locRender->SetSurface(nullptr, 0xFFFFFFFF, 0.0f);
        delete locInstance;
    }
    locRender->myRenderSettings.myPixelShaderFlag = 1;
    return 0;
}
