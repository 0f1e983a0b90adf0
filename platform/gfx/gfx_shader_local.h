// Shader texts (vs_1_1, ps_1_1 .. ps_1_4) as our assembler reads them: an instruction list
// that the back ends translate.
#pragma once

#include "platform/gfx/gfx_device.h"

#include <string>
#include <vector>

enum GFX_ShaderRegFile : uint8_t
{
    GFX_REG_TEMP,     // r#
    GFX_REG_INPUT,    // v#: vertex inputs, or the pixel shader's colours
    GFX_REG_CONST,    // c#
    GFX_REG_ADDRESS,  // a0
    GFX_REG_TEXTURE,  // t#: pixel shader texture registers
    GFX_REG_POSITION, // oPos
    GFX_REG_FOG,      // oFog
    GFX_REG_POINTSIZE,// oPts
    GFX_REG_COLOROUT, // oD#
    GFX_REG_TEXOUT    // oT#
};

enum GFX_ShaderSrcMod : uint8_t
{
    GFX_SRCMOD_NONE,
    GFX_SRCMOD_BIAS,       // x - 0.5
    GFX_SRCMOD_BX2,        // 2x - 1
    GFX_SRCMOD_COMPLEMENT, // 1 - x
    GFX_SRCMOD_X2,         // 2x
    GFX_SRCMOD_DZ,         // divide by z (texld of ps_1_4)
    GFX_SRCMOD_DW          // divide by w
};

enum GFX_ShaderOp : uint8_t
{
    GFX_SOP_NOP,
    GFX_SOP_MOV, GFX_SOP_ADD, GFX_SOP_SUB, GFX_SOP_MUL, GFX_SOP_MAD, GFX_SOP_DP3, GFX_SOP_DP4,
    GFX_SOP_RCP, GFX_SOP_RSQ, GFX_SOP_MIN, GFX_SOP_MAX, GFX_SOP_SLT, GFX_SOP_SGE, GFX_SOP_EXP,
    GFX_SOP_EXPP, GFX_SOP_LOG, GFX_SOP_LOGP, GFX_SOP_LIT, GFX_SOP_DST, GFX_SOP_FRC,
    GFX_SOP_M4X4, GFX_SOP_M4X3, GFX_SOP_M3X4, GFX_SOP_M3X3, GFX_SOP_M3X2,
    GFX_SOP_LRP, GFX_SOP_CND, GFX_SOP_CMP, GFX_SOP_BEM,
    // Texture instructions: GFX_SOP_TEX .. GFX_SOP_TEXCRD.
    GFX_SOP_TEX, GFX_SOP_TEXCOORD, GFX_SOP_TEXKILL, GFX_SOP_TEXBEM, GFX_SOP_TEXBEML, GFX_SOP_TEXDP3,
    GFX_SOP_TEXDP3TEX, GFX_SOP_TEXREG2AR, GFX_SOP_TEXREG2GB, GFX_SOP_TEXREG2RGB, GFX_SOP_TEXM3X2PAD,
    GFX_SOP_TEXM3X2TEX, GFX_SOP_TEXM3X3PAD, GFX_SOP_TEXM3X3TEX, GFX_SOP_TEXM3X3SPEC, GFX_SOP_TEXM3X3VSPEC,
    GFX_SOP_TEXM3X3, GFX_SOP_TEXDEPTH, GFX_SOP_TEXLD, GFX_SOP_TEXCRD,
    GFX_SOP_DEF, GFX_SOP_DCL, GFX_SOP_PHASE
};

struct GFX_ShaderDst
{
    GFX_ShaderRegFile myFile = GFX_REG_TEMP;
    uint8_t myIndex = 0;
    uint8_t myMask = 0xF; // bit 0 x/r ... bit 3 w/a
};

struct GFX_ShaderSrc
{
    GFX_ShaderRegFile myFile = GFX_REG_TEMP;
    uint16_t myIndex = 0;
    uint8_t mySwizzle[4] = {0, 1, 2, 3};
    bool myNegateFlag = false;
    GFX_ShaderSrcMod myMod = GFX_SRCMOD_NONE;
    bool myRelativeFlag = false; // c[a0.x + myIndex]
};

struct GFX_ShaderInst
{
    GFX_ShaderOp myOp = GFX_SOP_NOP;
    GFX_ShaderDst myDst;
    GFX_ShaderSrc mySrc[3];
    uint8_t mySrcCount = 0;
    bool mySatFlag = false;
    int8_t myShift = 0; // result scaled by 2^myShift (_x2 1, _x4 2, _x8 3, _d2 -1 ...)
    bool myCoissueFlag = false;
    GFX_DeclUsage myUsage = GFX_DECLUSAGE_POSITION; // dcl
    uint8_t myUsageIndex = 0;
    float myValues[4] = {};                          // def
    uint32_t myLine = 0;
};

struct GFX_ShaderProgram
{
    bool myPixelFlag = false;
    uint32_t myMajor = 1;
    uint32_t myMinor = 1;
    std::vector<GFX_ShaderInst> myInsts;
};

// Register limits of a version: temps, inputs, constants, texture registers.
struct GFX_ShaderLimits
{
    uint32_t myTemps, myInputs, myConsts, myTextures;
};
GFX_ShaderLimits GFX_GetShaderLimits(const GFX_ShaderProgram& aProgram);

// false with GFX_ERROR_INVALID_CALL and a detail "line N: ..." on the first error: text the
// shader versions do not allow is refused with its line and the rule it breaks.
bool GFX_AssembleShader(const char* aText, size_t aLength, GFX_ShaderProgram* aProgramOut);

// What the translation needs from the device state: per texture stage the sampler kind
// (0 none, 1 2-D, 2 cube) and the component that projected coordinates are divided by + 1.
struct GFX_ShaderContext
{
    uint8_t myTexKinds[8] = {};
    uint8_t myProjectCounts[8] = {};
};

// The GLSL body of a program: vertex shaders write oPos, oD0, oD1, oT0..7, oFog as locals;
// pixel shaders leave the colour in r0 and read vTex#, uTex#, uBumpMat#, uBumpLum#.
// Constants read "<aConstName>[i]".
std::string GFX_ShaderToGLSL(const GFX_ShaderProgram& aProgram, const GFX_ShaderContext& aContext,
                             const char* aConstName);
// Texture stages a pixel shader reads (coordinates or samples).
uint32_t GFX_ShaderStageCount(const GFX_ShaderProgram& aProgram);
