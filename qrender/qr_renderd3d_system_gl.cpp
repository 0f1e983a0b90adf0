// The device system the renderer starts on in the programs: OpenGL over EGL.
#include "qrender/qr_renderd3d.h"

static GFX_System* locCreateGLSystem()
{
    return GFX_CreateGLSystem();
}

QR_GfxSystemFactory QR_RenderD3D::ourSystemFactory = locCreateGLSystem;
