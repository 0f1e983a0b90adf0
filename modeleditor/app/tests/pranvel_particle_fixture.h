// What the particle tests share: the editor's particle surface and textures written into
// the working directory, and the renderer started on llvmpipe.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/gfx/gfx_device.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_sample_models.h"

inline GFX_System* PET_GLSystem()
{
    return GFX_CreateGLSystem();
}

// "surfaces/particle_additive.sur" over "fx/dummy" (8 x 8) and a strip texture "fx/strip"
// of aStripWidth x aStripHeight texels.
inline bool PET_WriteParticleFiles(uint32_t aStripWidth, uint32_t aStripHeight)
{
    std::filesystem::create_directories("surfaces");
    std::filesystem::create_directories("fx");
    return QRT_WriteText("surfaces/particle_additive.sur", QRT_SurfaceText("fx/dummy", true)) &&
           QRT_WriteFile("fx/dummy.tga", QRT_MakeTGA(8, 8, 32, std::vector<uint32_t>(64, ~0u), true, false)) &&
           QRT_WriteFile("fx/strip.tga", QRT_MakeTGA(aStripWidth, aStripHeight, 32,
                                                     std::vector<uint32_t>(aStripWidth * aStripHeight, 0xFF8040C0u),
                                                     true, false));
}

// A 32 x 32 renderer on the OpenGL device.
inline bool PET_StartRenderer()
{
    QR_RenderD3D::ourSystemFactory = PET_GLSystem;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 32;
    s.myHeight = 32;
    return QR_Render::Create(nullptr, nullptr) && QR_Render::ourInstance->Init(&s);
}

// Every definition, the renderer, surfaces and textures gone.
inline void PET_StopRenderer()
{
    while (QR_SharedParticleData::ourFirst)
        QR_SharedParticleData::Release(QR_SharedParticleData::ourFirst);
    QR_Render::Destroy();
    QR_Surface::DestroyAll();
    QR_Texture::DestroyAll();
}
