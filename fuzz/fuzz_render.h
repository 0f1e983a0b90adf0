// The renderer the material fuzz targets draw through: made once on the recording device
// (the library-only builds' back end), with pixel shaders in use and one memory texture
// "fz" that templates can name.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "qrender/qr_render.h"
#include "qrender/qr_texture.h"

inline QR_Render* FuzzRenderer()
{
    static QR_Render* ourRender = []
    {
        QR_RenderSettings locSettings;
        locSettings.myFullScreenFlag = 0;
        locSettings.myWidth = 64;
        locSettings.myHeight = 48;
        locSettings.myPixelShaderFlag = 1;
        if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&locSettings))
            abort();
        static uint32_t ourPixels[16];
        for (int i = 0; i < 16; i++)
            ourPixels[i] = 0xFF000000u | (uint32_t)i * 0x111111u;
        QR_TexturePixels locRecord = {4, 4, 32, ourPixels};
        if (!QR_Texture::Acquire("fz", QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord))
            abort();
        return QR_Render::ourInstance;
    }();
    return ourRender;
}
