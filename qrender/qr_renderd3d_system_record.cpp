// The device system of the library-only builds (sanitizers, fuzzing): the recording back
// end, which needs no OpenGL.
#include "platform/gfx/gfx_recording.h"
#include "qrender/qr_renderd3d.h"

static GFX_System* locCreateRecordingSystem()
{
    return GFX_CreateRecordingSystem();
}

QR_GfxSystemFactory QR_RenderD3D::ourSystemFactory = locCreateRecordingSystem;
