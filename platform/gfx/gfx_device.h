// The 3D device layer: a system object that lists adapters, modes and formats, and the
// device that owns buffers, textures, states and draws. Two back ends: OpenGL 3.3 over an
// EGL context the device owns (GFX_CreateGLSystem) and a recording one for tests
// (gfx_recording.h). Conventions kept at this boundary: row-vector matrices, depth 0..1,
// top-left origin, pixel centres on integer coordinates for pre-transformed vertices,
// colours as 0xAARRGGBB words (bytes B, G, R, A in memory).
//
// [SECTION] Errors
// [SECTION] Enumerations (formats, states and their values)
// [SECTION] Plain records (matrices, lights, viewport, caps, modes)
// [SECTION] Request structs
// [SECTION] GFX_Device
// [SECTION] GFX_System
#pragma once

#include <cstdint>

// [SECTION] Errors --------------------------------------------------------------------------

enum GFX_ErrorCode : int32_t
{
    GFX_ERROR_NONE = 0,
    GFX_ERROR_INVALID_CALL,        // a request broke a rule of this interface
    GFX_ERROR_NOT_AVAILABLE,       // format, mode, feature or adapter not offered
    GFX_ERROR_OUT_OF_VIDEO_MEMORY,
    GFX_ERROR_OUT_OF_MEMORY,
    GFX_ERROR_DEVICE_LOST,         // the device is lost and cannot be reset yet
    GFX_ERROR_DEVICE_NOT_RESET,    // the device is lost and can be reset now
    GFX_ERROR_NO_CONTEXT,          // no EGL display or context could be made
    GFX_ERROR_PROGRAM,             // a generated program failed to compile or link
    GFX_ERROR_COUNT
};

// The code of the last failure in this module; nothing clears it on success.
GFX_ErrorCode GFX_GetLastError();
const char* GFX_GetErrorText(GFX_ErrorCode aCode);
// The last failure's detail (a GL or EGL message, the rule that was broken).
const char* GFX_GetLastErrorDetail();

// [SECTION] Enumerations --------------------------------------------------------------------

enum GFX_Format : uint32_t
{
    GFX_FORMAT_UNKNOWN = 0,
    GFX_FORMAT_R8G8B8,   // 3 bytes: B, G, R
    GFX_FORMAT_A8R8G8B8, // 32-bit word 0xAARRGGBB
    GFX_FORMAT_X8R8G8B8,
    GFX_FORMAT_R5G6B5,
    GFX_FORMAT_X1R5G5B5,
    GFX_FORMAT_A1R5G5B5,
    GFX_FORMAT_A4R4G4B4,
    GFX_FORMAT_X4R4G4B4,
    GFX_FORMAT_A8,
    GFX_FORMAT_L8,
    GFX_FORMAT_A8L8,
    GFX_FORMAT_V8U8, // two signed bytes: U, V
    GFX_FORMAT_DXT1,
    GFX_FORMAT_DXT3,
    GFX_FORMAT_DXT5,
    GFX_FORMAT_D16,
    GFX_FORMAT_D15S1,
    GFX_FORMAT_D24S8,
    GFX_FORMAT_D24X8,
    GFX_FORMAT_D24X4S4,
    GFX_FORMAT_D32,
    GFX_FORMAT_INDEX16,
    GFX_FORMAT_INDEX32,
    GFX_FORMAT_COUNT
};

// Bytes per pixel (0 for block-compressed formats), bits for depth formats through the same call.
uint32_t GFX_FormatBytesPerPixel(GFX_Format aFormat);
bool GFX_FormatIsCompressed(GFX_Format aFormat);
bool GFX_FormatIsDepth(GFX_Format aFormat);
uint32_t GFX_FormatStencilBits(GFX_Format aFormat);
// Bytes of one row (one row of 4x4 blocks for DXT) and of a whole level of that size.
uint32_t GFX_FormatPitch(GFX_Format aFormat, uint32_t aWidth);
uint32_t GFX_FormatLevelSize(GFX_Format aFormat, uint32_t aWidth, uint32_t aHeight);
const char* GFX_FormatName(GFX_Format aFormat);
// Expands DXT1/3/5 blocks into aWidth x aHeight 0xAARRGGBB words.
void GFX_DecompressDXT(GFX_Format aFormat, uint32_t aWidth, uint32_t aHeight, const uint8_t* aSource,
                       uint32_t* aDest);

enum GFX_ResourceType : uint32_t
{
    GFX_RESOURCE_SURFACE = 1,
    GFX_RESOURCE_TEXTURE,
    GFX_RESOURCE_CUBETEXTURE,
    GFX_RESOURCE_VERTEXBUFFER,
    GFX_RESOURCE_INDEXBUFFER
};

enum GFX_Usage : uint32_t
{
    GFX_USAGE_RENDERTARGET = 1 << 0,
    GFX_USAGE_DEPTHSTENCIL = 1 << 1,
    GFX_USAGE_DYNAMIC = 1 << 2,
    GFX_USAGE_WRITEONLY = 1 << 3,
    GFX_USAGE_SOFTWAREPROCESSING = 1 << 4
};

// DEFAULT resources are lost with the device and must be released before a reset;
// MANAGED ones keep a copy and survive; SYSTEMMEM ones are never on the device.
enum GFX_Pool : uint32_t
{
    GFX_POOL_DEFAULT = 0,
    GFX_POOL_MANAGED,
    GFX_POOL_SYSTEMMEM
};

enum GFX_LockFlags : uint32_t
{
    GFX_LOCK_DISCARD = 1 << 0,     // the whole resource may be thrown away
    GFX_LOCK_NOOVERWRITE = 1 << 1, // the caller writes only where no pending draw reads
    GFX_LOCK_READONLY = 1 << 2
};

enum GFX_PrimitiveType : uint32_t
{
    GFX_PRIM_POINTLIST = 1,
    GFX_PRIM_LINELIST = 2,
    GFX_PRIM_LINESTRIP = 3,
    GFX_PRIM_TRIANGLELIST = 4,
    GFX_PRIM_TRIANGLESTRIP = 5,
    GFX_PRIM_TRIANGLEFAN = 6
};

enum GFX_ClearFlags : uint32_t
{
    GFX_CLEAR_TARGET = 1,
    GFX_CLEAR_ZBUFFER = 2,
    GFX_CLEAR_STENCIL = 4
};

// Render states. Each holds a 32-bit word; float states hold the float's bits (GFX_FloatBits).
enum GFX_RenderState : uint32_t
{
    GFX_RS_ZENABLE,           // 0/1, default 1 when the device has a depth buffer
    GFX_RS_FILLMODE,          // GFX_FILL_*, default SOLID
    GFX_RS_SHADEMODE,         // GFX_SHADE_*, default GOURAUD
    GFX_RS_ZWRITEENABLE,      // default 1
    GFX_RS_ALPHATESTENABLE,   // default 0
    GFX_RS_SRCBLEND,          // GFX_BLEND_*, default ONE
    GFX_RS_DESTBLEND,         // default ZERO
    GFX_RS_CULLMODE,          // GFX_CULL_*, default CCW
    GFX_RS_ZFUNC,             // GFX_CMP_*, default LESSEQUAL
    GFX_RS_ALPHAREF,          // 0..255
    GFX_RS_ALPHAFUNC,         // default ALWAYS
    GFX_RS_ALPHABLENDENABLE,  // default 0
    GFX_RS_FOGENABLE,         // default 0
    GFX_RS_SPECULARENABLE,    // default 0
    GFX_RS_FOGCOLOR,          // 0xAARRGGBB
    GFX_RS_FOGTABLEMODE,      // GFX_FOG_*, default NONE
    GFX_RS_FOGSTART,          // float, default 0
    GFX_RS_FOGEND,            // float, default 1
    GFX_RS_FOGDENSITY,        // float, default 1
    GFX_RS_RANGEFOGENABLE,    // default 0
    GFX_RS_STENCILENABLE,     // default 0
    GFX_RS_STENCILFAIL,       // GFX_STENCILOP_*, default KEEP
    GFX_RS_STENCILZFAIL,
    GFX_RS_STENCILPASS,
    GFX_RS_STENCILFUNC,       // default ALWAYS
    GFX_RS_STENCILREF,        // default 0
    GFX_RS_STENCILMASK,       // default 0xFFFFFFFF
    GFX_RS_STENCILWRITEMASK,  // default 0xFFFFFFFF
    GFX_RS_TEXTUREFACTOR,     // 0xAARRGGBB, default 0xFFFFFFFF
    GFX_RS_CLIPPING,          // accepted, always on
    GFX_RS_LIGHTING,          // default 1
    GFX_RS_AMBIENT,           // 0xAARRGGBB, default 0
    GFX_RS_FOGVERTEXMODE,     // GFX_FOG_*, default NONE
    GFX_RS_COLORVERTEX,       // default 1
    GFX_RS_LOCALVIEWER,       // default 1
    GFX_RS_NORMALIZENORMALS,  // default 0
    GFX_RS_DIFFUSEMATERIALSOURCE,  // GFX_MCS_*, default COLOR1
    GFX_RS_SPECULARMATERIALSOURCE, // default COLOR2
    GFX_RS_AMBIENTMATERIALSOURCE,  // default MATERIAL
    GFX_RS_EMISSIVEMATERIALSOURCE, // default MATERIAL
    GFX_RS_COLORWRITEENABLE,  // GFX_COLORWRITE_* bits, default 0xF
    GFX_RS_BLENDOP,           // GFX_BLENDOP_*, default ADD
    GFX_RS_SCISSORTESTENABLE, // default 0
    GFX_RS_DITHERENABLE,      // accepted, no effect
    GFX_RS_COUNT
};

enum GFX_CompareFunc : uint32_t
{
    GFX_CMP_NEVER = 1,
    GFX_CMP_LESS,
    GFX_CMP_EQUAL,
    GFX_CMP_LESSEQUAL,
    GFX_CMP_GREATER,
    GFX_CMP_NOTEQUAL,
    GFX_CMP_GREATEREQUAL,
    GFX_CMP_ALWAYS
};

enum GFX_Blend : uint32_t
{
    GFX_BLEND_ZERO = 1,
    GFX_BLEND_ONE,
    GFX_BLEND_SRCCOLOR,
    GFX_BLEND_INVSRCCOLOR,
    GFX_BLEND_SRCALPHA,
    GFX_BLEND_INVSRCALPHA,
    GFX_BLEND_DESTALPHA,
    GFX_BLEND_INVDESTALPHA,
    GFX_BLEND_DESTCOLOR,
    GFX_BLEND_INVDESTCOLOR,
    GFX_BLEND_SRCALPHASAT,
    GFX_BLEND_BOTHSRCALPHA,    // source SRCALPHA and destination INVSRCALPHA
    GFX_BLEND_BOTHINVSRCALPHA  // source INVSRCALPHA and destination SRCALPHA
};

enum GFX_BlendOp : uint32_t
{
    GFX_BLENDOP_ADD = 1,
    GFX_BLENDOP_SUBTRACT,
    GFX_BLENDOP_REVSUBTRACT,
    GFX_BLENDOP_MIN,
    GFX_BLENDOP_MAX
};

// Culling names the winding as seen on screen that is removed.
enum GFX_Cull : uint32_t
{
    GFX_CULL_NONE = 1,
    GFX_CULL_CW,
    GFX_CULL_CCW
};

enum GFX_Shade : uint32_t
{
    GFX_SHADE_FLAT = 1, // the first vertex of each primitive gives the colour
    GFX_SHADE_GOURAUD
};

enum GFX_Fill : uint32_t
{
    GFX_FILL_POINT = 1,
    GFX_FILL_WIREFRAME,
    GFX_FILL_SOLID
};

enum GFX_StencilOp : uint32_t
{
    GFX_STENCILOP_KEEP = 1,
    GFX_STENCILOP_ZERO,
    GFX_STENCILOP_REPLACE,
    GFX_STENCILOP_INCRSAT, // clamps at the top
    GFX_STENCILOP_DECRSAT, // clamps at 0
    GFX_STENCILOP_INVERT,
    GFX_STENCILOP_INCR,    // wraps
    GFX_STENCILOP_DECR     // wraps
};

enum GFX_FogMode : uint32_t
{
    GFX_FOG_NONE = 0,
    GFX_FOG_EXP,
    GFX_FOG_EXP2,
    GFX_FOG_LINEAR
};

enum GFX_MaterialSource : uint32_t
{
    GFX_MCS_MATERIAL = 0,
    GFX_MCS_COLOR1, // the vertex's diffuse colour
    GFX_MCS_COLOR2  // the vertex's specular colour
};

enum GFX_ColorWrite : uint32_t
{
    GFX_COLORWRITE_RED = 1 << 0,
    GFX_COLORWRITE_GREEN = 1 << 1,
    GFX_COLORWRITE_BLUE = 1 << 2,
    GFX_COLORWRITE_ALPHA = 1 << 3
};

// Texture-stage states, per stage 0..7.
enum GFX_TextureStageState : uint32_t
{
    GFX_TSS_COLOROP,      // GFX_TOP_*; stage 0 MODULATE, others DISABLE
    GFX_TSS_COLORARG1,    // GFX_TA_*, default TEXTURE
    GFX_TSS_COLORARG2,    // default CURRENT
    GFX_TSS_ALPHAOP,      // stage 0 SELECTARG1, others DISABLE
    GFX_TSS_ALPHAARG1,    // default TEXTURE
    GFX_TSS_ALPHAARG2,    // default CURRENT
    GFX_TSS_BUMPENVMAT00, // floats, default 0
    GFX_TSS_BUMPENVMAT01,
    GFX_TSS_BUMPENVMAT10,
    GFX_TSS_BUMPENVMAT11,
    GFX_TSS_TEXCOORDINDEX, // set index | GFX_TCI_*, default the stage number
    GFX_TSS_BUMPENVLSCALE,
    GFX_TSS_BUMPENVLOFFSET,
    GFX_TSS_TEXTURETRANSFORMFLAGS, // GFX_TTF_*, default DISABLE
    GFX_TSS_COLORARG0,    // default CURRENT
    GFX_TSS_ALPHAARG0,    // default CURRENT
    GFX_TSS_RESULTARG,    // CURRENT or TEMP, default CURRENT
    GFX_TSS_CONSTANT,     // 0xAARRGGBB, read by GFX_TA_CONSTANT
    GFX_TSS_COUNT
};

enum GFX_TextureOp : uint32_t
{
    GFX_TOP_DISABLE = 1,
    GFX_TOP_SELECTARG1,
    GFX_TOP_SELECTARG2,
    GFX_TOP_MODULATE,
    GFX_TOP_MODULATE2X,
    GFX_TOP_MODULATE4X,
    GFX_TOP_ADD,
    GFX_TOP_ADDSIGNED,
    GFX_TOP_ADDSIGNED2X,
    GFX_TOP_SUBTRACT,
    GFX_TOP_ADDSMOOTH,
    GFX_TOP_BLENDDIFFUSEALPHA,
    GFX_TOP_BLENDTEXTUREALPHA,
    GFX_TOP_BLENDFACTORALPHA,
    GFX_TOP_BLENDTEXTUREALPHAPM,
    GFX_TOP_BLENDCURRENTALPHA,
    GFX_TOP_PREMODULATE,
    GFX_TOP_MODULATEALPHA_ADDCOLOR,
    GFX_TOP_MODULATECOLOR_ADDALPHA,
    GFX_TOP_MODULATEINVALPHA_ADDCOLOR,
    GFX_TOP_MODULATEINVCOLOR_ADDALPHA,
    GFX_TOP_BUMPENVMAP,
    GFX_TOP_BUMPENVMAPLUMINANCE,
    GFX_TOP_DOTPRODUCT3, // result replicated into all four channels, alpha included
    GFX_TOP_MULTIPLYADD, // ARG0 + ARG1 * ARG2
    GFX_TOP_LERP         // ARG0 * ARG1 + (1 - ARG0) * ARG2
};

enum GFX_TextureArg : uint32_t
{
    GFX_TA_DIFFUSE = 0,
    GFX_TA_CURRENT = 1,
    GFX_TA_TEXTURE = 2,
    GFX_TA_TFACTOR = 3,
    GFX_TA_SPECULAR = 4,
    GFX_TA_TEMP = 5,
    GFX_TA_CONSTANT = 6,
    GFX_TA_SELECTMASK = 0xF,
    GFX_TA_COMPLEMENT = 0x10,     // one minus the value
    GFX_TA_ALPHAREPLICATE = 0x20  // the alpha copied into the colour channels
};

enum GFX_TexCoordIndex : uint32_t
{
    GFX_TCI_PASSTHRU = 0,
    GFX_TCI_CAMERASPACENORMAL = 0x10000,
    GFX_TCI_CAMERASPACEPOSITION = 0x20000,
    GFX_TCI_CAMERASPACEREFLECTIONVECTOR = 0x30000
};

enum GFX_TextureTransformFlags : uint32_t
{
    GFX_TTF_DISABLE = 0,
    GFX_TTF_COUNT1 = 1,
    GFX_TTF_COUNT2 = 2,
    GFX_TTF_COUNT3 = 3,
    GFX_TTF_COUNT4 = 4,
    GFX_TTF_PROJECTED = 256 // divide by the last of the counted components
};

enum GFX_SamplerState : uint32_t
{
    GFX_SAMP_ADDRESSU,      // GFX_TADDRESS_*, default WRAP
    GFX_SAMP_ADDRESSV,
    GFX_SAMP_ADDRESSW,
    GFX_SAMP_BORDERCOLOR,   // 0xAARRGGBB
    GFX_SAMP_MAGFILTER,     // GFX_TEXF_*, default POINT
    GFX_SAMP_MINFILTER,     // default POINT
    GFX_SAMP_MIPFILTER,     // default NONE
    GFX_SAMP_MIPMAPLODBIAS, // float
    GFX_SAMP_MAXMIPLEVEL,   // the most detailed level used
    GFX_SAMP_MAXANISOTROPY, // default 1
    GFX_SAMP_COUNT
};

enum GFX_TextureAddress : uint32_t
{
    GFX_TADDRESS_WRAP = 1,
    GFX_TADDRESS_MIRROR,
    GFX_TADDRESS_CLAMP,
    GFX_TADDRESS_BORDER,
    GFX_TADDRESS_MIRRORONCE
};

enum GFX_TextureFilter : uint32_t
{
    GFX_TEXF_NONE = 0,
    GFX_TEXF_POINT,
    GFX_TEXF_LINEAR,
    GFX_TEXF_ANISOTROPIC
};

enum GFX_TransformState : uint32_t
{
    GFX_TS_VIEW,
    GFX_TS_PROJECTION,
    GFX_TS_WORLD,
    GFX_TS_TEXTURE0, // GFX_TS_TEXTURE0 + stage, stages 0..7
    GFX_TS_COUNT = GFX_TS_TEXTURE0 + 8
};

enum GFX_LightType : uint32_t
{
    GFX_LIGHT_POINT = 1,
    GFX_LIGHT_SPOT,
    GFX_LIGHT_DIRECTIONAL
};

enum GFX_DeclType : uint8_t
{
    GFX_DECLTYPE_FLOAT1 = 0,
    GFX_DECLTYPE_FLOAT2,
    GFX_DECLTYPE_FLOAT3,
    GFX_DECLTYPE_FLOAT4,
    GFX_DECLTYPE_COLOR, // 0xAARRGGBB word, read as normalised RGBA
    GFX_DECLTYPE_UBYTE4,
    GFX_DECLTYPE_SHORT2,
    GFX_DECLTYPE_SHORT4,
    GFX_DECLTYPE_UBYTE4N,
    GFX_DECLTYPE_SHORT2N,
    GFX_DECLTYPE_SHORT4N,
    GFX_DECLTYPE_USHORT2N,
    GFX_DECLTYPE_USHORT4N,
    GFX_DECLTYPE_COUNT
};

enum GFX_DeclUsage : uint8_t
{
    GFX_DECLUSAGE_POSITION = 0,
    GFX_DECLUSAGE_BLENDWEIGHT,
    GFX_DECLUSAGE_BLENDINDICES,
    GFX_DECLUSAGE_NORMAL,
    GFX_DECLUSAGE_PSIZE,
    GFX_DECLUSAGE_TEXCOORD,
    GFX_DECLUSAGE_TANGENT,
    GFX_DECLUSAGE_BINORMAL,
    GFX_DECLUSAGE_TESSFACTOR,
    GFX_DECLUSAGE_POSITIONT, // pre-transformed x, y (pixels), z (0..1), 1/w
    GFX_DECLUSAGE_COLOR,
    GFX_DECLUSAGE_FOG,
    GFX_DECLUSAGE_DEPTH,
    GFX_DECLUSAGE_COUNT
};

enum GFX_PresentInterval : uint32_t
{
    GFX_PRESENT_INTERVAL_ONE = 1 << 0,
    GFX_PRESENT_INTERVAL_IMMEDIATE = 1 << 1
};

enum GFX_StateBlockType : uint32_t
{
    GFX_SBT_ALL = 1,
    GFX_SBT_PIXELSTATE,
    GFX_SBT_VERTEXSTATE
};

inline uint32_t GFX_FloatBits(float aValue)
{
    union { float f; uint32_t u; } loc;
    loc.f = aValue;
    return loc.u;
}
inline float GFX_BitsFloat(uint32_t aBits)
{
    union { float f; uint32_t u; } loc;
    loc.u = aBits;
    return loc.f;
}

const char* GFX_RenderStateName(GFX_RenderState aState);
const char* GFX_TextureStageStateName(GFX_TextureStageState aState);
const char* GFX_SamplerStateName(GFX_SamplerState aState);

// [SECTION] Plain records -------------------------------------------------------------------

// Row-major, row-vector convention: p' = p x M, translation in m[3][0..2].
struct GFX_Matrix
{
    float m[4][4];
};
GFX_Matrix GFX_MatrixIdentity();
GFX_Matrix GFX_MatrixMultiply(const GFX_Matrix& anA, const GFX_Matrix& aB); // A first, then B

struct GFX_Vector3
{
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct GFX_ColorValue
{
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

// Positions and directions in world space.
struct GFX_Light
{
    GFX_LightType myType = GFX_LIGHT_DIRECTIONAL;
    GFX_ColorValue myDiffuse;
    GFX_ColorValue mySpecular;
    GFX_ColorValue myAmbient;
    GFX_Vector3 myPosition;
    GFX_Vector3 myDirection = {0.0f, 0.0f, 1.0f};
    float myRange = 0.0f;       // beyond it a point or spot light gives nothing
    float myFalloff = 1.0f;     // spot: exponent between the inner and outer cone
    float myAttenuation0 = 1.0f; // 1 / (a0 + a1 d + a2 d^2)
    float myAttenuation1 = 0.0f;
    float myAttenuation2 = 0.0f;
    float myTheta = 0.0f;       // spot: inner cone angle, radians
    float myPhi = 0.0f;         // spot: outer cone angle, radians
};

struct GFX_Material
{
    GFX_ColorValue myDiffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    GFX_ColorValue myAmbient = {1.0f, 1.0f, 1.0f, 1.0f};
    GFX_ColorValue mySpecular;
    GFX_ColorValue myEmissive;
    float myPower = 0.0f;
};

struct GFX_Viewport
{
    uint32_t myX = 0, myY = 0;          // pixels from the top-left corner
    uint32_t myWidth = 0, myHeight = 0; // 0: the render target's size
    float myMinZ = 0.0f, myMaxZ = 1.0f;
};

struct GFX_Rect
{
    int32_t myLeft = 0, myTop = 0, myRight = 0, myBottom = 0; // right and bottom exclusive
};

struct GFX_VertexElement
{
    uint16_t myStream = 0;
    uint16_t myOffset = 0;
    GFX_DeclType myType = GFX_DECLTYPE_FLOAT3;
    GFX_DeclUsage myUsage = GFX_DECLUSAGE_POSITION;
    uint8_t myUsageIndex = 0;
};

struct GFX_DisplayMode
{
    uint32_t myWidth = 0, myHeight = 0;
    uint32_t myRefreshRate = 0; // Hz, 0 = unknown
    GFX_Format myFormat = GFX_FORMAT_UNKNOWN;
};

struct GFX_AdapterInfo
{
    char myDescription[128] = {};
    char myDriver[128] = {};
    uint32_t myVendorId = 0;
    uint32_t myDeviceId = 0;
};

// What an adapter offers. Stencil operations, compare functions and cull modes are all
// offered by both back ends; the recording back end lets tests take them away.
struct GFX_Caps
{
    uint32_t myMaxTextureWidth = 0;
    uint32_t myMaxTextureHeight = 0;
    uint32_t myMaxTextureAspectRatio = 0; // 0: no limit
    uint32_t myMaxSimultaneousTextures = 0;
    uint32_t myMaxTextureBlendStages = 0;
    uint32_t myMaxActiveLights = 0;
    uint32_t myMaxAnisotropy = 1;
    uint32_t myVertexShaderVersion = 0; // major << 8 | minor
    uint32_t myPixelShaderVersion = 0;
    uint32_t myPresentIntervals = 0;    // GFX_PRESENT_INTERVAL_* bits
    uint32_t myStencilOps = 0;          // bit (op - 1) for every GFX_StencilOp offered
    uint32_t myZCompareFuncs = 0;       // bit (func - 1) for every GFX_CompareFunc offered
    bool myHardwareTransformFlag = false;
    bool myDynamicTexturesFlag = false;
    bool myNonPow2ConditionalFlag = false; // textures of any size, without wrapping of mips
    bool myDrawTransformedFlag = false;    // pre-transformed vertices
    bool myCullModesFlag = false;          // none, clockwise and counter-clockwise
    bool myColorWriteMaskFlag = false;
    bool myRangeFogFlag = false;
    bool myMipLodBiasFlag = false;
};

// Handed to the host window at Present: the frame, top row first. The pixels stay until
// the device's next Present; before the device frees or resizes them it calls the host's
// release function, so that a host still showing them copies them.
struct GFX_Image
{
    const uint32_t* myPixels = nullptr; // 0xAARRGGBB
    uint32_t myWidth = 0;
    uint32_t myHeight = 0;
    uint32_t myPitch = 0; // bytes per row
};
typedef void (*GFX_PresentFunc)(void* aUserData, const GFX_Image& anImage);
// The pixels of the last Present are about to go; the host takes its own copy if it needs one.
typedef void (*GFX_ReleaseFunc)(void* aUserData);

// [SECTION] Request structs -----------------------------------------------------------------
// Fields left at their defaults mean "the default"; GFX_Device resolves them in one place.

struct GFX_DeviceDesc
{
    int32_t myAdapter = 0;
    uint32_t myWidth = 640;   // back buffer
    uint32_t myHeight = 480;
    GFX_Format myBackBufferFormat = GFX_FORMAT_X8R8G8B8;
    bool myWindowedFlag = true;
    bool myAutoDepthStencilFlag = true;
    GFX_Format myDepthStencilFormat = GFX_FORMAT_D24S8;
    uint32_t myMultiSampleType = 0; // only 0 (none) is offered
    uint32_t myRefreshRate = 0;     // full screen only
    uint32_t myPresentInterval = GFX_PRESENT_INTERVAL_ONE;
    bool myHardwareVertexProcessingFlag = true;
    GFX_PresentFunc myPresentFunc = nullptr; // the host window; none: frames are only kept
    void* myPresentUserData = nullptr;       // given to both functions
    GFX_ReleaseFunc myReleaseFunc = nullptr; // none: the host copies the pixels at Present
};

struct GFX_BufferDesc
{
    GFX_ResourceType myType = GFX_RESOURCE_VERTEXBUFFER; // or GFX_RESOURCE_INDEXBUFFER
    uint32_t mySize = 0;                                 // bytes
    uint32_t myUsage = 0;                                // GFX_USAGE_* bits
    GFX_Pool myPool = GFX_POOL_MANAGED;
    GFX_Format myFormat = GFX_FORMAT_INDEX16;            // index buffers: INDEX16 or INDEX32
};

struct GFX_TextureDesc
{
    uint32_t myWidth = 0;
    uint32_t myHeight = 0; // cube textures: equal to the width
    uint32_t myLevels = 1; // 0: the whole chain down to 1 x 1
    uint32_t myUsage = 0;  // GFX_USAGE_RENDERTARGET, GFX_USAGE_DYNAMIC
    GFX_Format myFormat = GFX_FORMAT_A8R8G8B8;
    GFX_Pool myPool = GFX_POOL_MANAGED;
    bool myCubeFlag = false;
};

enum GFX_CubeFace : uint32_t
{
    GFX_CUBEFACE_POSITIVE_X = 0,
    GFX_CUBEFACE_NEGATIVE_X,
    GFX_CUBEFACE_POSITIVE_Y,
    GFX_CUBEFACE_NEGATIVE_Y,
    GFX_CUBEFACE_POSITIVE_Z,
    GFX_CUBEFACE_NEGATIVE_Z
};

struct GFX_LockedRect
{
    void* myBits = nullptr;
    int32_t myPitch = 0; // bytes per row (per row of 4x4 blocks for DXT)
};

// Opaque objects owned by the device that made them.
struct GFX_Buffer;
struct GFX_Texture;
struct GFX_Surface;
struct GFX_VertexDecl;
struct GFX_StateBlock;
struct GFX_Shader;

// [SECTION] GFX_Device ----------------------------------------------------------------------
// Operations returning bool leave GFX_GetLastError() on failure. While the device is lost,
// draws, clears and presents do nothing (Present reports the loss); locks still work.

class GFX_Device
{
public:
    virtual ~GFX_Device() {}

    // Device loss: GFX_ERROR_NONE, GFX_ERROR_DEVICE_LOST or GFX_ERROR_DEVICE_NOT_RESET.
    virtual GFX_ErrorCode TestCooperativeLevel() = 0;
    // Needs every DEFAULT-pool resource released; brings the device back with default states.
    virtual bool Reset(const GFX_DeviceDesc& aDesc) = 0;
    // Windowed devices: the back buffer and its depth-stencil take the new size (contents
    // undefined) while every resource and state stays; the viewport and scissor cover the new
    // back buffer when it is the render target. Fails while lost, inside a scene or full screen.
    virtual bool ResizeBackBuffer(uint32_t aWidth, uint32_t aHeight) = 0;
    // Objects made by the device and not yet released (a clean shutdown leaves 0).
    virtual uint32_t GetLiveObjectCount() const = 0;
    // Lets go of the device's context on the calling thread, so that another
    // thread may use the device; that thread's first call takes it.
    virtual void ReleaseContext() {}

    virtual const GFX_DeviceDesc& GetDesc() const = 0;
    virtual const GFX_Caps& GetCaps() const = 0;
    virtual void EvictManagedResources() = 0;

    // Buffers.
    virtual GFX_Buffer* CreateBuffer(const GFX_BufferDesc& aDesc) = 0;
    virtual void ReleaseBuffer(GFX_Buffer* aBuffer) = 0;
    // aSize 0 locks from anOffset to the end.
    virtual bool LockBuffer(GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aSize, uint32_t aLockFlags,
                            void** aDataOut) = 0;
    virtual bool UnlockBuffer(GFX_Buffer* aBuffer) = 0;

    // Textures and surfaces.
    virtual GFX_Texture* CreateTexture(const GFX_TextureDesc& aDesc) = 0;
    virtual void ReleaseTexture(GFX_Texture* aTexture) = 0;
    virtual uint32_t GetTextureLevelCount(const GFX_Texture* aTexture) const = 0;
    virtual bool LockTexture(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel, uint32_t aLockFlags,
                             GFX_LockedRect* aRectOut) = 0;
    virtual bool UnlockTexture(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel) = 0;
    // The level's surface belongs to the texture: no release.
    virtual GFX_Surface* GetTextureSurface(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel) = 0;
    virtual GFX_Surface* CreateDepthStencilSurface(uint32_t aWidth, uint32_t aHeight, GFX_Format aFormat) = 0;
    virtual void ReleaseSurface(GFX_Surface* aSurface) = 0;
    // The device's own back buffer and depth-stencil surface (null without one): no release.
    virtual GFX_Surface* GetBackBuffer() = 0;
    virtual GFX_Surface* GetAutoDepthStencil() = 0;
    virtual bool SetRenderTarget(GFX_Surface* aSurface) = 0; // null: the back buffer
    virtual bool SetDepthStencilSurface(GFX_Surface* aSurface) = 0;
    virtual GFX_Surface* GetRenderTarget() = 0;
    virtual GFX_Surface* GetDepthStencilSurface() = 0;
    // A colour surface read back as 0xAARRGGBB words, top row first, aPitch bytes per row.
    virtual bool ReadSurface(GFX_Surface* aSurface, uint32_t* aPixels, uint32_t aPitch) = 0;

    // Vertex input.
    virtual GFX_VertexDecl* CreateVertexDecl(const GFX_VertexElement* anElements, uint32_t aCount) = 0;
    virtual void ReleaseVertexDecl(GFX_VertexDecl* aDecl) = 0;
    virtual void SetVertexDecl(GFX_VertexDecl* aDecl) = 0;
    virtual void SetStreamSource(uint32_t aStream, GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aStride) = 0;
    virtual void SetIndices(GFX_Buffer* aBuffer) = 0;

    // Shaders from text: vs_1_1, or ps_1_0 .. ps_1_4 (the first line says which). Null on a
    // syntax error, with the line and the reason in GFX_GetLastErrorDetail().
    virtual GFX_Shader* CreateShader(const char* aText, uint32_t aLength) = 0;
    virtual void ReleaseShader(GFX_Shader* aShader) = 0;
    // Null goes back to the fixed-function stage.
    virtual bool SetVertexShader(GFX_Shader* aShader) = 0;
    virtual bool SetPixelShader(GFX_Shader* aShader) = 0;
    // Constants in float4 registers: vertex shaders c0..c95, pixel shaders c0..c7.
    virtual bool SetVertexShaderConstantF(uint32_t aStart, const float* aValues, uint32_t aCount) = 0;
    virtual bool SetPixelShaderConstantF(uint32_t aStart, const float* aValues, uint32_t aCount) = 0;

    // States.
    virtual void SetRenderState(GFX_RenderState aState, uint32_t aValue) = 0;
    virtual uint32_t GetRenderState(GFX_RenderState aState) const = 0;
    virtual void SetTextureStageState(uint32_t aStage, GFX_TextureStageState aState, uint32_t aValue) = 0;
    virtual uint32_t GetTextureStageState(uint32_t aStage, GFX_TextureStageState aState) const = 0;
    virtual void SetSamplerState(uint32_t aSampler, GFX_SamplerState aState, uint32_t aValue) = 0;
    virtual uint32_t GetSamplerState(uint32_t aSampler, GFX_SamplerState aState) const = 0;
    virtual void SetTexture(uint32_t aStage, GFX_Texture* aTexture) = 0;
    virtual GFX_Texture* GetTexture(uint32_t aStage) const = 0;
    virtual void SetTransform(GFX_TransformState aState, const GFX_Matrix& aMatrix) = 0;
    virtual const GFX_Matrix& GetTransform(GFX_TransformState aState) const = 0;
    virtual bool SetLight(uint32_t anIndex, const GFX_Light& aLight) = 0;
    virtual bool LightEnable(uint32_t anIndex, bool anEnableFlag) = 0;
    virtual void SetMaterial(const GFX_Material& aMaterial) = 0;
    virtual void SetViewport(const GFX_Viewport& aViewport) = 0;
    virtual const GFX_Viewport& GetViewport() const = 0;
    virtual void SetScissorRect(const GFX_Rect& aRect) = 0;

    // State blocks: everything set between Begin and End is recorded; Apply replays it.
    virtual bool BeginStateBlock() = 0;
    virtual GFX_StateBlock* EndStateBlock() = 0;
    virtual bool ApplyStateBlock(GFX_StateBlock* aBlock) = 0;
    // Refreshes the recorded values from the current states.
    virtual bool CaptureStateBlock(GFX_StateBlock* aBlock) = 0;
    virtual void ReleaseStateBlock(GFX_StateBlock* aBlock) = 0;

    // Frames.
    virtual bool BeginScene() = 0;
    virtual bool EndScene() = 0;
    // aRects null (or aCount 0): the whole viewport. Write masks and the scissor do not apply.
    virtual bool Clear(uint32_t aCount, const GFX_Rect* aRects, uint32_t aFlags, uint32_t aColor, float aZ,
                       uint32_t aStencil) = 0;
    virtual bool DrawPrimitive(GFX_PrimitiveType aType, uint32_t aStartVertex, uint32_t aPrimitiveCount) = 0;
    virtual bool DrawIndexedPrimitive(GFX_PrimitiveType aType, int32_t aBaseVertex, uint32_t aMinIndex,
                                      uint32_t aNumVertices, uint32_t aStartIndex, uint32_t aPrimitiveCount) = 0;
    // The back buffer becomes the front buffer and goes to the host window. Fails with
    // GFX_ERROR_DEVICE_LOST while the device is lost.
    virtual bool Present() = 0;
    // The last presented frame (back-buffer size), top row first.
    virtual bool GetFrontBufferData(uint32_t* aPixels, uint32_t aPitch) = 0;

    // Gamma: applied to what Present hands to the host window.
    virtual void SetGammaRamp(const uint16_t aRed[256], const uint16_t aGreen[256], const uint16_t aBlue[256]) = 0;
    virtual void GetGammaRamp(uint16_t aRed[256], uint16_t aGreen[256], uint16_t aBlue[256]) const = 0;
};

// [SECTION] GFX_System ----------------------------------------------------------------------

struct GFX_SystemDesc
{
    // The emulated desktop: its mode and the largest full-screen mode listed.
    uint32_t myDesktopWidth = 1024;
    uint32_t myDesktopHeight = 768;
    GFX_Format myDesktopFormat = GFX_FORMAT_X8R8G8B8;
    uint32_t myDesktopRefreshRate = 60;
    // DXT levels are expanded to 32-bit texels on upload even where the driver decodes them
    // (it does so anyway where the driver cannot).
    bool myExpandDXTFlag = false;
};

class GFX_System
{
public:
    virtual ~GFX_System() {}

    virtual uint32_t GetAdapterCount() = 0;
    virtual bool GetAdapterInfo(uint32_t anAdapter, GFX_AdapterInfo* anInfoOut) = 0;
    virtual bool GetCaps(uint32_t anAdapter, GFX_Caps* aCapsOut) = 0;
    // Modes of one display format, in a fixed order; the same size may come at several rates.
    virtual uint32_t GetModeCount(uint32_t anAdapter, GFX_Format aFormat) = 0;
    virtual bool GetMode(uint32_t anAdapter, GFX_Format aFormat, uint32_t anIndex, GFX_DisplayMode* aModeOut) = 0;
    virtual bool GetDesktopMode(uint32_t anAdapter, GFX_DisplayMode* aModeOut) = 0;
    // The desktop's gamma ramp (an identity ramp under the emulation).
    virtual bool GetDesktopGammaRamp(uint16_t aRed[256], uint16_t aGreen[256], uint16_t aBlue[256]) = 0;

    virtual bool CheckDeviceType(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aBackBufferFormat,
                                 bool aWindowedFlag) = 0;
    virtual bool CheckDeviceFormat(uint32_t anAdapter, GFX_Format aDisplayFormat, uint32_t aUsage,
                                   GFX_ResourceType aType, GFX_Format aFormat) = 0;
    virtual bool CheckDepthStencilMatch(uint32_t anAdapter, GFX_Format aDisplayFormat, GFX_Format aTargetFormat,
                                        GFX_Format aDepthFormat) = 0;
    virtual bool CheckMultiSampleType(uint32_t anAdapter, GFX_Format aFormat, bool aWindowedFlag,
                                      uint32_t aType) = 0;

    // Null on failure (GFX_GetLastError: NOT_AVAILABLE, OUT_OF_VIDEO_MEMORY, NO_CONTEXT ...).
    virtual GFX_Device* CreateDevice(const GFX_DeviceDesc& aDesc) = 0;
    // Deletes a device made by this system; it releases what the caller left.
    virtual void DestroyDevice(GFX_Device* aDevice) = 0;
};

// The OpenGL system: one adapter, Mesa's surfaceless EGL platform where there is no GPU.
// Null (GFX_ERROR_NO_CONTEXT) when no EGL display with OpenGL 3.3 core can be made.
GFX_System* GFX_CreateGLSystem(const GFX_SystemDesc& aDesc = GFX_SystemDesc());
void GFX_DestroySystem(GFX_System* aSystem);
