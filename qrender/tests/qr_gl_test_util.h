// The renderer on the OpenGL device (llvmpipe under the test environment), for the pixel tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"

inline GFX_System* QRT_MakeGLSystem()
{
    return GFX_CreateGLSystem();
}

// Windowed at aWidth x aHeight; the failure carries the device's detail.
inline testing::AssertionResult QRT_StartGL(int aWidth, int aHeight)
{
    QR_RenderD3D::ourSystemFactory = QRT_MakeGLSystem;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = aWidth;
    s.myHeight = aHeight;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
        return testing::AssertionFailure() << GFX_GetLastErrorDetail();
    return testing::AssertionSuccess();
}

// The presented frame, 0xAARRGGBB, top row first.
inline std::vector<uint32_t> QRT_GrabFrame(int aWidth, int aHeight)
{
    std::vector<uint32_t> p((size_t)aWidth * aHeight);
    EXPECT_TRUE(QR_Render::ourInstance->GrabFrontBuffer(p.data()));
    return p;
}
