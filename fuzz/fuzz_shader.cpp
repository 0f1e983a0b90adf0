// The shader assembler: the input is shader text (vs_1_1, ps_1_0 .. ps_1_4), as surface
// templates and the renderer's vertex-program writer hand it over. Accepted programs are
// translated to GLSL under a few device contexts, as the back end does at draw time.
#include <cstdint>
#include <cstring>

#include "platform/gfx/gfx_shader_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    GFX_ShaderProgram locProgram;
    if (!GFX_AssembleShader(reinterpret_cast<const char*>(aData), aSize, &locProgram))
        return 0;
    GFX_ShaderContext locContexts[3];
    for (uint32_t i = 0; i < 8; ++i)
    {
        locContexts[1].myTexKinds[i] = 1;
        locContexts[2].myTexKinds[i] = uint8_t(i % 2 ? 2 : 1);
        locContexts[2].myProjectCounts[i] = uint8_t(i % 4 + 1);
    }
    uint32_t locStages = GFX_ShaderStageCount(locProgram);
    for (const GFX_ShaderContext& c : locContexts)
        locStages += uint32_t(GFX_ShaderToGLSL(locProgram, c, locProgram.myPixelFlag ? "uPSConst" : "uVSConst").size());
    return locStages == 0xFFFFFFFF ? 1 : 0;
}
