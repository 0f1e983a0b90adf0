// Internals of the OpenGL back end: the key of the state that shapes a generated program,
// the program with its uniform locations, and the generator.
#pragma once

#include "platform/gfx/gfx_local.h"

#include <epoxy/gl.h>
#include <string>

// Attribute locations of the generated programs, by declaration usage.
enum GFX_GLAttrib : uint32_t
{
    GFX_GL_ATTRIB_POSITION = 0,
    GFX_GL_ATTRIB_NORMAL = 1,
    GFX_GL_ATTRIB_COLOR0 = 2,
    GFX_GL_ATTRIB_COLOR1 = 3,
    GFX_GL_ATTRIB_TEXCOORD0 = 4, // up to 11
    GFX_GL_ATTRIB_BLENDWEIGHT = 12,
    GFX_GL_ATTRIB_BLENDINDICES = 13,
    GFX_GL_ATTRIB_TANGENT = 14,
    GFX_GL_ATTRIB_BINORMAL = 15,
    GFX_GL_ATTRIB_NONE = 0xFF
};
uint32_t GFX_GLAttribLocation(const GFX_VertexElement& anElement);

struct GFX_GLStageKey
{
    uint8_t myColorOp;
    uint8_t myColorArgs[3]; // ARG1, ARG2, ARG0
    uint8_t myAlphaOp;
    uint8_t myAlphaArgs[3];
    uint8_t myResultTemp;   // the stage writes TEMP instead of CURRENT
    uint8_t myTexKind;      // 0 none (reads white), 1 2-D, 2 cube
    uint8_t myCoordSet;     // vertex texture-coordinate set
    uint8_t myCoordGen;     // GFX_TCI_* >> 16
    uint8_t myCoordSize;    // components of the source coordinates
    uint8_t myTransformCount; // GFX_TTF_COUNT*, 0 = no matrix
    uint8_t myProjectedFlag;
    uint8_t myCoordsFlag;   // the vertex stage writes vTex# for this stage
};

// Every byte is set (padding included) so the key compares and hashes as memory.
struct GFX_GLProgramKey
{
    uint32_t myVertexShader; // GFX_Shader id, 0: fixed function
    uint32_t myPixelShader;
    uint8_t myPretransformedFlag;
    uint8_t myHasNormal;
    uint8_t myHasColor0;
    uint8_t myHasColor1;
    uint8_t myLightingFlag;
    uint8_t myNumLights;
    uint8_t mySpecularFlag;
    uint8_t myLocalViewerFlag;
    uint8_t myNormalizeFlag;
    uint8_t myDiffuseSource; // GFX_MCS_* resolved against the declaration
    uint8_t myAmbientSource;
    uint8_t mySpecularSource;
    uint8_t myEmissiveSource;
    uint8_t myFogKind;       // 0 off, 1 vertex formula, 2 per-pixel formula, 3 specular alpha
    uint8_t myFogFormula;    // GFX_FOG_*
    uint8_t myRangeFogFlag;
    uint8_t myFlatFlag;
    uint8_t myAlphaFunc;     // GFX_CMP_*, 0 = no alpha test
    uint8_t myNumStages;
    uint8_t myFogDeviceDepthFlag; // per-pixel fog reads the device depth (projection not w-friendly)
    uint8_t myLightTypes[GFX_MAX_ACTIVE_LIGHTS];
    GFX_GLStageKey myStages[GFX_MAX_STAGES];
};

// The enabled lights in index order (at most GFX_MAX_ACTIVE_LIGHTS).
void GFX_GLActiveLights(const GFX_State& aState, const GFX_LightSlot** aLightsOut, uint32_t* aCountOut);
void GFX_GLBuildKey(const GFX_State& aState, GFX_GLProgramKey* aKeyOut);
void GFX_GLBuildSource(const GFX_GLProgramKey& aKey, const GFX_State& aState, std::string* aVertexOut,
                       std::string* aFragmentOut);

struct GFX_GLProgram
{
    GLuint myProgram = 0;
    GLint myWorldView = -1, myProj = -1, myNormalMatrix = -1, myHalfPixel = -1, myViewport = -1;
    GLint myMatDiffuse = -1, myMatAmbient = -1, myMatSpecular = -1, myMatEmissive = -1, myMatPower = -1;
    GLint myGlobalAmbient = -1;
    GLint myLightDiffuse = -1, myLightSpecular = -1, myLightAmbient = -1, myLightPos = -1, myLightDir = -1;
    GLint myLightAtt = -1, myLightSpot = -1;
    GLint myFog = -1, myFogColor = -1, myTFactor = -1, myAlphaRef = -1;
    GLint myTexMatrix[GFX_MAX_STAGES];
    GLint myBumpMat[GFX_MAX_STAGES];
    GLint myBumpLum[GFX_MAX_STAGES];
    GLint myConst[GFX_MAX_STAGES];
    GLint myVSConstants = -1, myPSConstants = -1;
    std::string myError; // a program that failed to build keeps its log, so later draws report it too
};
// Compiles and links (the state gives the shaders the key names); false leaves
// GFX_ERROR_PROGRAM with the log.
bool GFX_GLBuildProgram(const GFX_GLProgramKey& aKey, const GFX_State& aState, GFX_GLProgram* aProgramOut);
