// The back-end independent part of the device: errors, formats, validation, states,
// shadow copies of buffers and textures, state blocks, device loss and gamma.
//
// [SECTION] Errors and names
// [SECTION] Formats and matrices
// [SECTION] Device life, loss and reset
// [SECTION] Buffers
// [SECTION] Textures and surfaces
// [SECTION] Vertex input and states
// [SECTION] State blocks
// [SECTION] Frames and draws
#include "platform/gfx/gfx_local.h"
#include "platform/gfx/gfx_testsupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// [SECTION] Errors and names ----------------------------------------------------------------

static GFX_ErrorCode ourLastError = GFX_ERROR_NONE;
static char ourLastErrorDetail[512] = "";

void GFX_SetError(GFX_ErrorCode aCode, const char* aFormat, ...)
{
    ourLastError = aCode;
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(ourLastErrorDetail, sizeof(ourLastErrorDetail), aFormat, locArgs);
    va_end(locArgs);
}

GFX_ErrorCode GFX_GetLastError()
{
    return ourLastError;
}

const char* GFX_GetLastErrorDetail()
{
    return ourLastErrorDetail;
}

const char* GFX_GetErrorText(GFX_ErrorCode aCode)
{
    static const char* const ourTexts[GFX_ERROR_COUNT] = {
        "no error",          "invalid call",      "not available", "out of video memory", "out of memory",
        "device lost",       "device not reset",  "no EGL context", "program build failed"};
    return aCode >= 0 && aCode < GFX_ERROR_COUNT ? ourTexts[aCode] : "unknown error";
}

const char* GFX_RenderStateName(GFX_RenderState aState)
{
    static const char* const ourNames[GFX_RS_COUNT] = {
        "ZENABLE",          "FILLMODE",         "SHADEMODE",          "ZWRITEENABLE",
        "ALPHATESTENABLE",  "SRCBLEND",         "DESTBLEND",          "CULLMODE",
        "ZFUNC",            "ALPHAREF",         "ALPHAFUNC",          "ALPHABLENDENABLE",
        "FOGENABLE",        "SPECULARENABLE",   "FOGCOLOR",           "FOGTABLEMODE",
        "FOGSTART",         "FOGEND",           "FOGDENSITY",         "RANGEFOGENABLE",
        "STENCILENABLE",    "STENCILFAIL",      "STENCILZFAIL",       "STENCILPASS",
        "STENCILFUNC",      "STENCILREF",       "STENCILMASK",        "STENCILWRITEMASK",
        "TEXTUREFACTOR",    "CLIPPING",         "LIGHTING",           "AMBIENT",
        "FOGVERTEXMODE",    "COLORVERTEX",      "LOCALVIEWER",        "NORMALIZENORMALS",
        "DIFFUSEMATERIALSOURCE", "SPECULARMATERIALSOURCE", "AMBIENTMATERIALSOURCE", "EMISSIVEMATERIALSOURCE",
        "COLORWRITEENABLE", "BLENDOP",          "SCISSORTESTENABLE",  "DITHERENABLE"};
    return aState < GFX_RS_COUNT ? ourNames[aState] : "?";
}

const char* GFX_TextureStageStateName(GFX_TextureStageState aState)
{
    static const char* const ourNames[GFX_TSS_COUNT] = {
        "COLOROP",      "COLORARG1",    "COLORARG2",     "ALPHAOP",        "ALPHAARG1",
        "ALPHAARG2",    "BUMPENVMAT00", "BUMPENVMAT01",  "BUMPENVMAT10",   "BUMPENVMAT11",
        "TEXCOORDINDEX", "BUMPENVLSCALE", "BUMPENVLOFFSET", "TEXTURETRANSFORMFLAGS", "COLORARG0",
        "ALPHAARG0",    "RESULTARG",    "CONSTANT"};
    return aState < GFX_TSS_COUNT ? ourNames[aState] : "?";
}

const char* GFX_SamplerStateName(GFX_SamplerState aState)
{
    static const char* const ourNames[GFX_SAMP_COUNT] = {
        "ADDRESSU",  "ADDRESSV",  "ADDRESSW",      "BORDERCOLOR", "MAGFILTER",
        "MINFILTER", "MIPFILTER", "MIPMAPLODBIAS", "MAXMIPLEVEL", "MAXANISOTROPY"};
    return aState < GFX_SAMP_COUNT ? ourNames[aState] : "?";
}

// [SECTION] Formats and matrices ------------------------------------------------------------

const char* GFX_FormatName(GFX_Format aFormat)
{
    static const char* const ourNames[GFX_FORMAT_COUNT] = {
        "UNKNOWN", "R8G8B8", "A8R8G8B8", "X8R8G8B8", "R5G6B5", "X1R5G5B5", "A1R5G5B5", "A4R4G4B4",
        "X4R4G4B4", "A8",    "L8",       "A8L8",     "V8U8",   "DXT1",     "DXT3",     "DXT5",
        "D16",     "D15S1",  "D24S8",    "D24X8",    "D24X4S4", "D32",     "INDEX16",  "INDEX32"};
    return aFormat < GFX_FORMAT_COUNT ? ourNames[aFormat] : "?";
}

uint32_t GFX_FormatBytesPerPixel(GFX_Format aFormat)
{
    switch (aFormat)
    {
        case GFX_FORMAT_R8G8B8: return 3;
        case GFX_FORMAT_A8R8G8B8:
        case GFX_FORMAT_X8R8G8B8:
        case GFX_FORMAT_D24S8:
        case GFX_FORMAT_D24X8:
        case GFX_FORMAT_D24X4S4:
        case GFX_FORMAT_D32:
        case GFX_FORMAT_INDEX32: return 4;
        case GFX_FORMAT_R5G6B5:
        case GFX_FORMAT_X1R5G5B5:
        case GFX_FORMAT_A1R5G5B5:
        case GFX_FORMAT_A4R4G4B4:
        case GFX_FORMAT_X4R4G4B4:
        case GFX_FORMAT_A8L8:
        case GFX_FORMAT_V8U8:
        case GFX_FORMAT_D16:
        case GFX_FORMAT_D15S1:
        case GFX_FORMAT_INDEX16: return 2;
        case GFX_FORMAT_A8:
        case GFX_FORMAT_L8: return 1;
        default: return 0;
    }
}

bool GFX_FormatIsCompressed(GFX_Format aFormat)
{
    return aFormat == GFX_FORMAT_DXT1 || aFormat == GFX_FORMAT_DXT3 || aFormat == GFX_FORMAT_DXT5;
}

bool GFX_FormatIsDepth(GFX_Format aFormat)
{
    return aFormat >= GFX_FORMAT_D16 && aFormat <= GFX_FORMAT_D32;
}

uint32_t GFX_FormatStencilBits(GFX_Format aFormat)
{
    switch (aFormat)
    {
        case GFX_FORMAT_D15S1: return 1;
        case GFX_FORMAT_D24X4S4: return 4;
        case GFX_FORMAT_D24S8: return 8;
        default: return 0;
    }
}

uint32_t GFX_FormatPitch(GFX_Format aFormat, uint32_t aWidth)
{
    if (GFX_FormatIsCompressed(aFormat))
        return std::max(1u, (aWidth + 3) / 4) * (aFormat == GFX_FORMAT_DXT1 ? 8 : 16);
    return aWidth * GFX_FormatBytesPerPixel(aFormat);
}

uint32_t GFX_FormatLevelSize(GFX_Format aFormat, uint32_t aWidth, uint32_t aHeight)
{
    if (GFX_FormatIsCompressed(aFormat))
        return GFX_FormatPitch(aFormat, aWidth) * std::max(1u, (aHeight + 3) / 4);
    return GFX_FormatPitch(aFormat, aWidth) * aHeight;
}

GFX_Matrix GFX_MatrixIdentity()
{
    GFX_Matrix locM = {};
    for (int i = 0; i < 4; ++i)
        locM.m[i][i] = 1.0f;
    return locM;
}

GFX_Matrix GFX_MatrixMultiply(const GFX_Matrix& anA, const GFX_Matrix& aB)
{
    GFX_Matrix locM;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            locM.m[r][c] = anA.m[r][0] * aB.m[0][c] + anA.m[r][1] * aB.m[1][c] + anA.m[r][2] * aB.m[2][c] +
                           anA.m[r][3] * aB.m[3][c];
    return locM;
}

// [SECTION] Device life, loss and reset -----------------------------------------------------

// Systems of every back end are deleted the same way.
void GFX_DestroySystem(GFX_System* aSystem)
{
    delete aSystem;
}

GFX_DeviceCommon::GFX_DeviceCommon(const GFX_DeviceDesc& aDesc, const GFX_Caps& aCaps)
    : myDesc(aDesc), myCaps(aCaps)
{
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            myGamma[c][i] = uint16_t(i * 257);
}

GFX_DeviceCommon::~GFX_DeviceCommon()
{
    ReleaseHostPixels();
    // The back end's destructor has released its objects; only the records remain.
    for (GFX_Buffer* locBuffer : myBuffers)
        delete locBuffer;
    for (GFX_Texture* locTexture : myTextures)
        delete locTexture;
    for (GFX_Surface* locSurface : myDepthSurfaces)
        delete locSurface;
    for (GFX_VertexDecl* locDecl : myDecls)
        delete locDecl;
    for (GFX_StateBlock* locBlock : myStateBlocks)
        delete locBlock;
    for (GFX_Shader* locShader : myShaders)
        delete locShader;
    delete myRecordingBlock;
}

bool GFX_DeviceCommon::Init()
{
    myBackBuffer.myKind = GFX_SURFACE_BACKBUFFER;
    myBackBuffer.myWidth = myDesc.myWidth;
    myBackBuffer.myHeight = myDesc.myHeight;
    myBackBuffer.myFormat = myDesc.myBackBufferFormat;
    myAutoDepth.myKind = GFX_SURFACE_AUTODEPTH;
    myAutoDepth.myWidth = myDesc.myWidth;
    myAutoDepth.myHeight = myDesc.myHeight;
    myAutoDepth.myFormat = myDesc.myDepthStencilFormat;
    myRenderTarget = &myBackBuffer;
    myDepthStencil = myDesc.myAutoDepthStencilFlag ? &myAutoDepth : nullptr;
    myFrontPixels.assign(size_t(myDesc.myWidth) * myDesc.myHeight, 0xFF000000u);
    SetDefaultStates();
    return BackInit();
}

void GFX_DeviceCommon::SetDefaultStates()
{
    GFX_State& s = myState;
    memset(s.myRS, 0, sizeof(s.myRS));
    s.myRS[GFX_RS_ZENABLE] = myDesc.myAutoDepthStencilFlag ? 1 : 0;
    s.myRS[GFX_RS_FILLMODE] = GFX_FILL_SOLID;
    s.myRS[GFX_RS_SHADEMODE] = GFX_SHADE_GOURAUD;
    s.myRS[GFX_RS_ZWRITEENABLE] = 1;
    s.myRS[GFX_RS_SRCBLEND] = GFX_BLEND_ONE;
    s.myRS[GFX_RS_DESTBLEND] = GFX_BLEND_ZERO;
    s.myRS[GFX_RS_CULLMODE] = GFX_CULL_CCW;
    s.myRS[GFX_RS_ZFUNC] = GFX_CMP_LESSEQUAL;
    s.myRS[GFX_RS_ALPHAFUNC] = GFX_CMP_ALWAYS;
    s.myRS[GFX_RS_FOGEND] = GFX_FloatBits(1.0f);
    s.myRS[GFX_RS_FOGDENSITY] = GFX_FloatBits(1.0f);
    s.myRS[GFX_RS_STENCILFAIL] = GFX_STENCILOP_KEEP;
    s.myRS[GFX_RS_STENCILZFAIL] = GFX_STENCILOP_KEEP;
    s.myRS[GFX_RS_STENCILPASS] = GFX_STENCILOP_KEEP;
    s.myRS[GFX_RS_STENCILFUNC] = GFX_CMP_ALWAYS;
    s.myRS[GFX_RS_STENCILMASK] = 0xFFFFFFFFu;
    s.myRS[GFX_RS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    s.myRS[GFX_RS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    s.myRS[GFX_RS_CLIPPING] = 1;
    s.myRS[GFX_RS_LIGHTING] = 1;
    s.myRS[GFX_RS_COLORVERTEX] = 1;
    s.myRS[GFX_RS_LOCALVIEWER] = 1;
    s.myRS[GFX_RS_DIFFUSEMATERIALSOURCE] = GFX_MCS_COLOR1;
    s.myRS[GFX_RS_SPECULARMATERIALSOURCE] = GFX_MCS_COLOR2;
    s.myRS[GFX_RS_COLORWRITEENABLE] = 0xF;
    s.myRS[GFX_RS_BLENDOP] = GFX_BLENDOP_ADD;
    s.myRS[GFX_RS_DITHERENABLE] = 0;
    for (uint32_t i = 0; i < GFX_MAX_STAGES; ++i)
    {
        uint32_t* t = s.myTSS[i];
        memset(t, 0, sizeof(s.myTSS[i]));
        t[GFX_TSS_COLOROP] = i == 0 ? GFX_TOP_MODULATE : GFX_TOP_DISABLE;
        t[GFX_TSS_ALPHAOP] = i == 0 ? GFX_TOP_SELECTARG1 : GFX_TOP_DISABLE;
        t[GFX_TSS_COLORARG1] = GFX_TA_TEXTURE;
        t[GFX_TSS_COLORARG2] = GFX_TA_CURRENT;
        t[GFX_TSS_ALPHAARG1] = GFX_TA_TEXTURE;
        t[GFX_TSS_ALPHAARG2] = GFX_TA_CURRENT;
        t[GFX_TSS_COLORARG0] = GFX_TA_CURRENT;
        t[GFX_TSS_ALPHAARG0] = GFX_TA_CURRENT;
        t[GFX_TSS_RESULTARG] = GFX_TA_CURRENT;
        t[GFX_TSS_TEXCOORDINDEX] = i;
        uint32_t* p = s.mySamp[i];
        memset(p, 0, sizeof(s.mySamp[i]));
        p[GFX_SAMP_ADDRESSU] = GFX_TADDRESS_WRAP;
        p[GFX_SAMP_ADDRESSV] = GFX_TADDRESS_WRAP;
        p[GFX_SAMP_ADDRESSW] = GFX_TADDRESS_WRAP;
        p[GFX_SAMP_MAGFILTER] = GFX_TEXF_POINT;
        p[GFX_SAMP_MINFILTER] = GFX_TEXF_POINT;
        p[GFX_SAMP_MIPFILTER] = GFX_TEXF_NONE;
        p[GFX_SAMP_MAXANISOTROPY] = 1;
        s.myTextures[i] = nullptr;
    }
    for (uint32_t i = 0; i < GFX_TS_COUNT; ++i)
        s.myTransforms[i] = GFX_MatrixIdentity();
    s.myLights.clear();
    s.myMaterial = GFX_Material();
    s.myMaterial.myDiffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    s.myViewport = GFX_Viewport();
    s.myViewport.myWidth = myRenderTarget ? myRenderTarget->myWidth : myDesc.myWidth;
    s.myViewport.myHeight = myRenderTarget ? myRenderTarget->myHeight : myDesc.myHeight;
    s.myScissor = {0, 0, int32_t(s.myViewport.myWidth), int32_t(s.myViewport.myHeight)};
    s.myDecl = nullptr;
    for (GFX_Stream& locStream : s.myStreams)
        locStream = GFX_Stream();
    s.myIndices = nullptr;
    s.myVertexShader = nullptr;
    s.myPixelShader = nullptr;
    memset(s.myVSConstants, 0, sizeof(s.myVSConstants));
    memset(s.myPSConstants, 0, sizeof(s.myPSConstants));
}

GFX_ErrorCode GFX_DeviceCommon::TestCooperativeLevel()
{
    if (!myLostFlag)
        return GFX_ERROR_NONE;
    if (myLostCallsLeft > 0)
    {
        --myLostCallsLeft;
        return GFX_ERROR_DEVICE_LOST;
    }
    return GFX_ERROR_DEVICE_NOT_RESET;
}

void GFX_DeviceCommon::MakeLost(uint32_t aLostCallsBeforeResettable)
{
    Trace("MakeLost %u", aLostCallsBeforeResettable);
    myLostFlag = true;
    myLostCallsLeft = aLostCallsBeforeResettable;
    BackLoseDevice();
}

void GFX_LoseDevice(GFX_Device* aDevice, uint32_t aLostCallsBeforeResettable)
{
    // Every back end's device is a GFX_DeviceCommon.
    if (GFX_DeviceCommon* locDevice = dynamic_cast<GFX_DeviceCommon*>(aDevice))
        locDevice->MakeLost(aLostCallsBeforeResettable);
}

bool GFX_DeviceCommon::Reset(const GFX_DeviceDesc& aDesc)
{
    if (myLostFlag && myLostCallsLeft > 0)
    {
        GFX_SetError(GFX_ERROR_DEVICE_LOST, "the device cannot be reset yet");
        return false;
    }
    for (GFX_Buffer* locBuffer : myBuffers)
        if (locBuffer->myDesc.myPool == GFX_POOL_DEFAULT)
        {
            GFX_SetError(GFX_ERROR_INVALID_CALL, "reset with a DEFAULT-pool buffer alive");
            return false;
        }
    for (GFX_Texture* locTexture : myTextures)
        if (locTexture->myDesc.myPool == GFX_POOL_DEFAULT)
        {
            GFX_SetError(GFX_ERROR_INVALID_CALL, "reset with a DEFAULT-pool texture alive");
            return false;
        }
    if (!myDepthSurfaces.empty())
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "reset with a depth-stencil surface alive");
        return false;
    }
    if (aDesc.myWidth == 0 || aDesc.myHeight == 0)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "reset to an empty back buffer");
        return false;
    }
    Trace("Reset %ux%u", aDesc.myWidth, aDesc.myHeight);
    ReleaseHostPixels();
    const GFX_DeviceDesc locOld = myDesc;
    myDesc = aDesc;
    if (!myDesc.myPresentFunc)
    {
        myDesc.myPresentFunc = locOld.myPresentFunc;
        myDesc.myPresentUserData = locOld.myPresentUserData;
        myDesc.myReleaseFunc = locOld.myReleaseFunc;
    }
    myBackBuffer.myWidth = myAutoDepth.myWidth = myDesc.myWidth;
    myBackBuffer.myHeight = myAutoDepth.myHeight = myDesc.myHeight;
    myBackBuffer.myFormat = myDesc.myBackBufferFormat;
    myAutoDepth.myFormat = myDesc.myDepthStencilFormat;
    myRenderTarget = &myBackBuffer;
    myDepthStencil = myDesc.myAutoDepthStencilFlag ? &myAutoDepth : nullptr;
    myFrontPixels.assign(size_t(myDesc.myWidth) * myDesc.myHeight, 0xFF000000u);
    myInSceneFlag = false;
    if (!BackReset())
        return false;
    myLostFlag = false;
    SetDefaultStates();
    return true;
}

bool GFX_DeviceCommon::ResizeBackBuffer(uint32_t aWidth, uint32_t aHeight)
{
    if (myLostFlag)
    {
        GFX_SetError(GFX_ERROR_DEVICE_LOST, "the device is lost");
        return false;
    }
    if (!myDesc.myWindowedFlag || myInSceneFlag || aWidth == 0 || aHeight == 0)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "back buffer resize: full screen, inside a scene or empty");
        return false;
    }
    Trace("ResizeBackBuffer %ux%u", aWidth, aHeight);
    myDesc.myWidth = aWidth;
    myDesc.myHeight = aHeight;
    myBackBuffer.myWidth = myAutoDepth.myWidth = aWidth;
    myBackBuffer.myHeight = myAutoDepth.myHeight = aHeight;
    ReleaseHostPixels();
    myFrontPixels.assign(size_t(aWidth) * aHeight, 0xFF000000u);
    if (!BackReset())
        return false;
    if (myRenderTarget == &myBackBuffer)
    {
        myState.myViewport.myX = myState.myViewport.myY = 0;
        myState.myViewport.myWidth = aWidth;
        myState.myViewport.myHeight = aHeight;
        myState.myScissor = {0, 0, int32_t(aWidth), int32_t(aHeight)};
    }
    return true;
}

uint32_t GFX_DeviceCommon::GetLiveObjectCount() const
{
    return uint32_t(myBuffers.size() + myTextures.size() + myDepthSurfaces.size() + myDecls.size() +
                    myStateBlocks.size() + myShaders.size());
}

void GFX_DeviceCommon::EvictManagedResources()
{
    Trace("EvictManagedResources");
}

// [SECTION] Buffers -------------------------------------------------------------------------

GFX_Buffer* GFX_DeviceCommon::CreateBuffer(const GFX_BufferDesc& aDesc)
{
    if (aDesc.mySize == 0 ||
        (aDesc.myType != GFX_RESOURCE_VERTEXBUFFER && aDesc.myType != GFX_RESOURCE_INDEXBUFFER) ||
        (aDesc.myType == GFX_RESOURCE_INDEXBUFFER && aDesc.myFormat != GFX_FORMAT_INDEX16 &&
         aDesc.myFormat != GFX_FORMAT_INDEX32))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "buffer: empty, or not a vertex or index buffer");
        return nullptr;
    }
    if (aDesc.mySize > myMaxBufferSize)
    {
        GFX_SetError(GFX_ERROR_OUT_OF_VIDEO_MEMORY, "buffer of %u bytes: the device holds at most %u", aDesc.mySize,
                     myMaxBufferSize);
        return nullptr;
    }
    GFX_Buffer* locBuffer = new GFX_Buffer;
    locBuffer->myDesc = aDesc;
    locBuffer->myShadow.assign(aDesc.mySize, 0);
    if (!BackCreateBuffer(locBuffer))
    {
        delete locBuffer;
        return nullptr;
    }
    myBuffers.push_back(locBuffer);
    Trace("CreateBuffer %s %u usage %u pool %u",
          aDesc.myType == GFX_RESOURCE_VERTEXBUFFER ? "vertex" : "index", aDesc.mySize, aDesc.myUsage,
          aDesc.myPool);
    return locBuffer;
}

void GFX_DeviceCommon::ReleaseBuffer(GFX_Buffer* aBuffer)
{
    auto locIt = std::find(myBuffers.begin(), myBuffers.end(), aBuffer);
    if (locIt == myBuffers.end())
        return;
    Trace("ReleaseBuffer %u", aBuffer->myDesc.mySize);
    for (GFX_Stream& locStream : myState.myStreams)
        if (locStream.myBuffer == aBuffer)
            locStream = GFX_Stream();
    if (myState.myIndices == aBuffer)
        myState.myIndices = nullptr;
    BackReleaseBuffer(aBuffer);
    myBuffers.erase(locIt);
    delete aBuffer;
}

bool GFX_DeviceCommon::LockBuffer(GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aSize, uint32_t aLockFlags,
                                  void** aDataOut)
{
    if (!aBuffer || !aDataOut || aBuffer->myLockedFlag || anOffset > aBuffer->myDesc.mySize ||
        (aSize != 0 && aSize > aBuffer->myDesc.mySize - anOffset))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "buffer lock: locked already or range outside the buffer");
        return false;
    }
    if (aSize == 0)
        aSize = aBuffer->myDesc.mySize - anOffset;
    aBuffer->myLockedFlag = true;
    aBuffer->myLockOffset = anOffset;
    aBuffer->myLockSize = aSize;
    aBuffer->myLockFlags = aLockFlags;
    *aDataOut = aBuffer->myShadow.data() + anOffset;
    Trace("LockBuffer %u %u%s%s", anOffset, aSize, aLockFlags & GFX_LOCK_DISCARD ? " DISCARD" : "",
          aLockFlags & GFX_LOCK_NOOVERWRITE ? " NOOVERWRITE" : "");
    return true;
}

bool GFX_DeviceCommon::UnlockBuffer(GFX_Buffer* aBuffer)
{
    if (!aBuffer || !aBuffer->myLockedFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "buffer unlock: not locked");
        return false;
    }
    aBuffer->myLockedFlag = false;
    if (!(aBuffer->myLockFlags & GFX_LOCK_READONLY))
        BackUploadBuffer(aBuffer, aBuffer->myLockOffset, aBuffer->myLockSize,
                         (aBuffer->myLockFlags & GFX_LOCK_DISCARD) != 0);
    Trace("UnlockBuffer");
    return true;
}

// [SECTION] Textures and surfaces -----------------------------------------------------------

GFX_Texture* GFX_DeviceCommon::CreateTexture(const GFX_TextureDesc& aDesc)
{
    GFX_TextureDesc locDesc = aDesc;
    const bool locTargetFlag = (locDesc.myUsage & GFX_USAGE_RENDERTARGET) != 0;
    const uint32_t locMaxSide = std::max(myCaps.myMaxTextureWidth, myCaps.myMaxTextureHeight);
    if (locDesc.myWidth == 0 || locDesc.myHeight == 0 || locDesc.myWidth > locMaxSide ||
        locDesc.myHeight > locMaxSide || (locDesc.myCubeFlag && locDesc.myWidth != locDesc.myHeight) ||
        locDesc.myFormat == GFX_FORMAT_UNKNOWN || GFX_FormatIsDepth(locDesc.myFormat) ||
        locDesc.myFormat >= GFX_FORMAT_INDEX16)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "texture: bad size or format (%ux%u %s)", locDesc.myWidth,
                     locDesc.myHeight, GFX_FormatName(locDesc.myFormat));
        return nullptr;
    }
    if (locTargetFlag && (locDesc.myPool != GFX_POOL_DEFAULT || GFX_FormatIsCompressed(locDesc.myFormat) ||
                          locDesc.myCubeFlag))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "render target: DEFAULT pool, 2-D, uncompressed only");
        return nullptr;
    }
    uint32_t locFull = 1;
    while ((std::max(locDesc.myWidth, locDesc.myHeight) >> locFull) > 0)
        ++locFull;
    if (locDesc.myLevels == 0 || locDesc.myLevels > locFull)
        locDesc.myLevels = locFull;
    if (locTargetFlag)
        locDesc.myLevels = 1;

    GFX_Texture* locTexture = new GFX_Texture;
    locTexture->myDesc = locDesc;
    locTexture->myFaceCount = locDesc.myCubeFlag ? 6 : 1;
    const uint32_t locImages = locTexture->myFaceCount * locDesc.myLevels;
    locTexture->myImages.resize(locImages);
    locTexture->myLockedFlags.assign(locImages, 0);
    locTexture->mySurfaces.resize(locImages);
    for (uint32_t f = 0; f < locTexture->myFaceCount; ++f)
        for (uint32_t l = 0; l < locDesc.myLevels; ++l)
        {
            const uint32_t i = f * locDesc.myLevels + l;
            const uint32_t w = locTexture->LevelWidth(l), h = locTexture->LevelHeight(l);
            locTexture->myImages[i].assign(GFX_FormatLevelSize(locDesc.myFormat, w, h), 0);
            GFX_Surface& s = locTexture->mySurfaces[i];
            s.myKind = GFX_SURFACE_TEXTURELEVEL;
            s.myWidth = w;
            s.myHeight = h;
            s.myFormat = locDesc.myFormat;
            s.myTexture = locTexture;
            s.myFace = f;
            s.myLevel = l;
        }
    if (!BackCreateTexture(locTexture))
    {
        delete locTexture;
        return nullptr;
    }
    myTextures.push_back(locTexture);
    Trace("CreateTexture %ux%u levels %u %s%s%s", locDesc.myWidth, locDesc.myHeight, locDesc.myLevels,
          GFX_FormatName(locDesc.myFormat), locDesc.myCubeFlag ? " cube" : "", locTargetFlag ? " target" : "");
    return locTexture;
}

void GFX_DeviceCommon::ReleaseTexture(GFX_Texture* aTexture)
{
    auto locIt = std::find(myTextures.begin(), myTextures.end(), aTexture);
    if (locIt == myTextures.end())
        return;
    Trace("ReleaseTexture");
    // Bound stages and recorded blocks forget it, so no later apply reaches a freed texture.
    for (uint32_t i = 0; i < GFX_MAX_STAGES; ++i)
    {
        if (myState.myTextures[i] == aTexture)
            myState.myTextures[i] = nullptr;
        for (GFX_StateBlock* locBlock : myStateBlocks)
            if (locBlock->myValues.myTextures[i] == aTexture)
                locBlock->myValues.myTextures[i] = nullptr;
        if (myRecordingBlock && myRecordingBlock->myValues.myTextures[i] == aTexture)
            myRecordingBlock->myValues.myTextures[i] = nullptr;
    }
    if (myRenderTarget && myRenderTarget->myTexture == aTexture)
        myRenderTarget = &myBackBuffer;
    BackReleaseTexture(aTexture);
    myTextures.erase(locIt);
    delete aTexture;
}

uint32_t GFX_DeviceCommon::GetTextureLevelCount(const GFX_Texture* aTexture) const
{
    return aTexture ? aTexture->myDesc.myLevels : 0;
}

bool GFX_DeviceCommon::LockTexture(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel,
                                   uint32_t aLockFlags, GFX_LockedRect* aRectOut)
{
    if (!aTexture || !aRectOut || aLevel >= aTexture->myDesc.myLevels || aFace >= aTexture->myFaceCount ||
        (aTexture->myDesc.myUsage & GFX_USAGE_RENDERTARGET))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "texture lock: no such level, or a render target");
        return false;
    }
    const uint32_t i = aFace * aTexture->myDesc.myLevels + aLevel;
    if (aTexture->myLockedFlags[i])
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "texture lock: level locked already");
        return false;
    }
    aTexture->myLockedFlags[i] = (aLockFlags & GFX_LOCK_READONLY) ? 2 : 1;
    aRectOut->myBits = aTexture->myImages[i].data();
    aRectOut->myPitch = int32_t(GFX_FormatPitch(aTexture->myDesc.myFormat, aTexture->LevelWidth(aLevel)));
    Trace("LockTexture face %u level %u%s", aFace, aLevel, aLockFlags & GFX_LOCK_DISCARD ? " DISCARD" : "");
    return true;
}

bool GFX_DeviceCommon::UnlockTexture(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel)
{
    if (!aTexture || aLevel >= aTexture->myDesc.myLevels || aFace >= aTexture->myFaceCount)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "texture unlock: no such level");
        return false;
    }
    const uint32_t i = aFace * aTexture->myDesc.myLevels + aLevel;
    if (!aTexture->myLockedFlags[i])
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "texture unlock: level not locked");
        return false;
    }
    const bool locWriteFlag = aTexture->myLockedFlags[i] == 1;
    aTexture->myLockedFlags[i] = 0;
    if (locWriteFlag)
        BackUploadTexture(aTexture, aFace, aLevel);
    Trace("UnlockTexture face %u level %u", aFace, aLevel);
    return true;
}

GFX_Surface* GFX_DeviceCommon::GetTextureSurface(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel)
{
    if (!aTexture || aLevel >= aTexture->myDesc.myLevels || aFace >= aTexture->myFaceCount)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "texture surface: no such level");
        return nullptr;
    }
    return &aTexture->mySurfaces[aFace * aTexture->myDesc.myLevels + aLevel];
}

GFX_Surface* GFX_DeviceCommon::CreateDepthStencilSurface(uint32_t aWidth, uint32_t aHeight, GFX_Format aFormat)
{
    if (aWidth == 0 || aHeight == 0 || !GFX_FormatIsDepth(aFormat))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "depth surface: empty or not a depth format");
        return nullptr;
    }
    GFX_Surface* locSurface = new GFX_Surface;
    locSurface->myKind = GFX_SURFACE_DEPTH;
    locSurface->myWidth = aWidth;
    locSurface->myHeight = aHeight;
    locSurface->myFormat = aFormat;
    if (!BackCreateDepthSurface(locSurface))
    {
        delete locSurface;
        return nullptr;
    }
    myDepthSurfaces.push_back(locSurface);
    Trace("CreateDepthStencilSurface %ux%u %s", aWidth, aHeight, GFX_FormatName(aFormat));
    return locSurface;
}

void GFX_DeviceCommon::ReleaseSurface(GFX_Surface* aSurface)
{
    auto locIt = std::find(myDepthSurfaces.begin(), myDepthSurfaces.end(), aSurface);
    if (locIt == myDepthSurfaces.end())
        return; // surfaces of textures and of the device are not released by callers
    Trace("ReleaseSurface");
    if (myDepthStencil == aSurface)
        myDepthStencil = nullptr;
    BackReleaseDepthSurface(aSurface);
    myDepthSurfaces.erase(locIt);
    delete aSurface;
}

bool GFX_DeviceCommon::SetRenderTarget(GFX_Surface* aSurface)
{
    if (!aSurface)
        aSurface = &myBackBuffer;
    if (aSurface->myKind == GFX_SURFACE_TEXTURELEVEL &&
        !(aSurface->myTexture->myDesc.myUsage & GFX_USAGE_RENDERTARGET))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "render target: the texture was not made as one");
        return false;
    }
    if (aSurface->myKind == GFX_SURFACE_DEPTH || aSurface->myKind == GFX_SURFACE_AUTODEPTH)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "render target: a depth surface");
        return false;
    }
    Trace("SetRenderTarget %ux%u", aSurface->myWidth, aSurface->myHeight);
    myRenderTarget = aSurface;
    // A new target resets the viewport to the whole target.
    myState.myViewport = GFX_Viewport();
    myState.myViewport.myWidth = aSurface->myWidth;
    myState.myViewport.myHeight = aSurface->myHeight;
    return true;
}

bool GFX_DeviceCommon::SetDepthStencilSurface(GFX_Surface* aSurface)
{
    if (aSurface && aSurface->myKind != GFX_SURFACE_DEPTH && aSurface->myKind != GFX_SURFACE_AUTODEPTH)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "depth-stencil: not a depth surface");
        return false;
    }
    Trace("SetDepthStencilSurface %s", aSurface ? "surface" : "none");
    myDepthStencil = aSurface;
    return true;
}

bool GFX_DeviceCommon::ReadSurface(GFX_Surface* aSurface, uint32_t* aPixels, uint32_t aPitch)
{
    if (!aSurface || !aPixels || aPitch < aSurface->myWidth * 4 || GFX_FormatIsDepth(aSurface->myFormat))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "read surface: no colour surface or pitch too small");
        return false;
    }
    return BackReadSurface(aSurface, aPixels, aPitch);
}

// [SECTION] Vertex input and states ---------------------------------------------------------

GFX_VertexDecl* GFX_DeviceCommon::CreateVertexDecl(const GFX_VertexElement* anElements, uint32_t aCount)
{
    if (!anElements || aCount == 0 || aCount > 64)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "vertex declaration: 1 to 64 elements");
        return nullptr;
    }
    for (uint32_t i = 0; i < aCount; ++i)
        if (anElements[i].myStream >= GFX_MAX_STREAMS || anElements[i].myType >= GFX_DECLTYPE_COUNT ||
            anElements[i].myUsage >= GFX_DECLUSAGE_COUNT)
        {
            GFX_SetError(GFX_ERROR_INVALID_CALL, "vertex declaration: element %u out of range", i);
            return nullptr;
        }
    GFX_VertexDecl* locDecl = new GFX_VertexDecl;
    locDecl->myElements.assign(anElements, anElements + aCount);
    BackCreateDecl(locDecl);
    myDecls.push_back(locDecl);
    Trace("CreateVertexDecl %u", aCount);
    return locDecl;
}

void GFX_DeviceCommon::ReleaseVertexDecl(GFX_VertexDecl* aDecl)
{
    auto locIt = std::find(myDecls.begin(), myDecls.end(), aDecl);
    if (locIt == myDecls.end())
        return;
    Trace("ReleaseVertexDecl");
    if (myState.myDecl == aDecl)
        myState.myDecl = nullptr;
    BackReleaseDecl(aDecl);
    myDecls.erase(locIt);
    delete aDecl;
}

void GFX_DeviceCommon::SetVertexDecl(GFX_VertexDecl* aDecl)
{
    Trace("SetVertexDecl %s", aDecl ? "decl" : "none");
    myState.myDecl = aDecl;
}

void GFX_DeviceCommon::SetStreamSource(uint32_t aStream, GFX_Buffer* aBuffer, uint32_t anOffset, uint32_t aStride)
{
    if (aStream >= GFX_MAX_STREAMS || (aBuffer && aBuffer->myDesc.myType != GFX_RESOURCE_VERTEXBUFFER))
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "stream %u: not a stream or not a vertex buffer", aStream);
        return;
    }
    Trace("SetStreamSource %u %s %u %u", aStream, aBuffer ? "buffer" : "none", anOffset, aStride);
    myState.myStreams[aStream] = {aBuffer, anOffset, aStride};
}

void GFX_DeviceCommon::SetIndices(GFX_Buffer* aBuffer)
{
    if (aBuffer && aBuffer->myDesc.myType != GFX_RESOURCE_INDEXBUFFER)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "indices: not an index buffer");
        return;
    }
    Trace("SetIndices %s", aBuffer ? "buffer" : "none");
    myState.myIndices = aBuffer;
}

GFX_Shader* GFX_DeviceCommon::CreateShader(const char* aText, uint32_t aLength)
{
    static uint32_t ourNextId = 1;
    if (!aText)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "shader: no text");
        return nullptr;
    }
    GFX_Shader* locShader = new GFX_Shader;
    if (!GFX_AssembleShader(aText, aLength, &locShader->myProgram))
    {
        delete locShader;
        return nullptr;
    }
    locShader->myId = ourNextId++;
    locShader->myStageCount = locShader->myProgram.myPixelFlag ? GFX_ShaderStageCount(locShader->myProgram) : 0;
    myShaders.push_back(locShader);
    Trace("CreateShader %s_%u_%u %zu instructions", locShader->myProgram.myPixelFlag ? "ps" : "vs",
          locShader->myProgram.myMajor, locShader->myProgram.myMinor, locShader->myProgram.myInsts.size());
    return locShader;
}

void GFX_DeviceCommon::ReleaseShader(GFX_Shader* aShader)
{
    auto locIt = std::find(myShaders.begin(), myShaders.end(), aShader);
    if (locIt == myShaders.end())
        return;
    Trace("ReleaseShader");
    if (myState.myVertexShader == aShader)
        myState.myVertexShader = nullptr;
    if (myState.myPixelShader == aShader)
        myState.myPixelShader = nullptr;
    myShaders.erase(locIt);
    delete aShader;
}

bool GFX_DeviceCommon::SetVertexShader(GFX_Shader* aShader)
{
    if (aShader && aShader->myProgram.myPixelFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "a pixel shader set as vertex shader");
        return false;
    }
    Trace("SetVertexShader %u", aShader ? aShader->myId : 0);
    myState.myVertexShader = aShader;
    return true;
}

bool GFX_DeviceCommon::SetPixelShader(GFX_Shader* aShader)
{
    if (aShader && !aShader->myProgram.myPixelFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "a vertex shader set as pixel shader");
        return false;
    }
    Trace("SetPixelShader %u", aShader ? aShader->myId : 0);
    myState.myPixelShader = aShader;
    return true;
}

bool GFX_DeviceCommon::SetVertexShaderConstantF(uint32_t aStart, const float* aValues, uint32_t aCount)
{
    if (!aValues || aStart > GFX_VS_CONSTANTS || aCount > GFX_VS_CONSTANTS - aStart)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "vertex shader constants %u + %u beyond %u", aStart, aCount,
                     GFX_VS_CONSTANTS);
        return false;
    }
    Trace("SetVertexShaderConstantF %u %u", aStart, aCount);
    memcpy(myState.myVSConstants[aStart], aValues, size_t(aCount) * 16);
    return true;
}

bool GFX_DeviceCommon::SetPixelShaderConstantF(uint32_t aStart, const float* aValues, uint32_t aCount)
{
    if (!aValues || aStart > GFX_PS_CONSTANTS || aCount > GFX_PS_CONSTANTS - aStart)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "pixel shader constants %u + %u beyond %u", aStart, aCount,
                     GFX_PS_CONSTANTS);
        return false;
    }
    Trace("SetPixelShaderConstantF %u %u", aStart, aCount);
    memcpy(myState.myPSConstants[aStart], aValues, size_t(aCount) * 16);
    return true;
}

void GFX_DeviceCommon::SetRenderState(GFX_RenderState aState, uint32_t aValue)
{
    if (aState >= GFX_RS_COUNT)
        return;
    Trace("SetRenderState %s %u", GFX_RenderStateName(aState), aValue);
    if (myRecordingBlock)
    {
        myRecordingBlock->myRSMask.set(aState);
        myRecordingBlock->myValues.myRS[aState] = aValue;
        return;
    }
    myState.myRS[aState] = aValue;
}

uint32_t GFX_DeviceCommon::GetRenderState(GFX_RenderState aState) const
{
    return aState < GFX_RS_COUNT ? myState.myRS[aState] : 0;
}

void GFX_DeviceCommon::SetTextureStageState(uint32_t aStage, GFX_TextureStageState aState, uint32_t aValue)
{
    if (aStage >= GFX_MAX_STAGES || aState >= GFX_TSS_COUNT)
        return;
    Trace("SetTextureStageState %u %s %u", aStage, GFX_TextureStageStateName(aState), aValue);
    if (myRecordingBlock)
    {
        myRecordingBlock->myTSSMask.set(aStage * GFX_TSS_COUNT + aState);
        myRecordingBlock->myValues.myTSS[aStage][aState] = aValue;
        return;
    }
    myState.myTSS[aStage][aState] = aValue;
}

uint32_t GFX_DeviceCommon::GetTextureStageState(uint32_t aStage, GFX_TextureStageState aState) const
{
    return aStage < GFX_MAX_STAGES && aState < GFX_TSS_COUNT ? myState.myTSS[aStage][aState] : 0;
}

void GFX_DeviceCommon::SetSamplerState(uint32_t aSampler, GFX_SamplerState aState, uint32_t aValue)
{
    if (aSampler >= GFX_MAX_STAGES || aState >= GFX_SAMP_COUNT)
        return;
    Trace("SetSamplerState %u %s %u", aSampler, GFX_SamplerStateName(aState), aValue);
    if (myRecordingBlock)
    {
        myRecordingBlock->mySampMask.set(aSampler * GFX_SAMP_COUNT + aState);
        myRecordingBlock->myValues.mySamp[aSampler][aState] = aValue;
        return;
    }
    myState.mySamp[aSampler][aState] = aValue;
}

uint32_t GFX_DeviceCommon::GetSamplerState(uint32_t aSampler, GFX_SamplerState aState) const
{
    return aSampler < GFX_MAX_STAGES && aState < GFX_SAMP_COUNT ? myState.mySamp[aSampler][aState] : 0;
}

void GFX_DeviceCommon::SetTexture(uint32_t aStage, GFX_Texture* aTexture)
{
    if (aStage >= GFX_MAX_STAGES)
        return;
    Trace("SetTexture %u %s", aStage, aTexture ? "texture" : "none");
    if (myRecordingBlock)
    {
        myRecordingBlock->myTextureMask.set(aStage);
        myRecordingBlock->myValues.myTextures[aStage] = aTexture;
        return;
    }
    myState.myTextures[aStage] = aTexture;
}

void GFX_DeviceCommon::SetTransform(GFX_TransformState aState, const GFX_Matrix& aMatrix)
{
    if (aState >= GFX_TS_COUNT)
        return;
    Trace("SetTransform %u", aState);
    if (myRecordingBlock)
    {
        myRecordingBlock->myTransformMask.set(aState);
        myRecordingBlock->myValues.myTransforms[aState] = aMatrix;
        return;
    }
    myState.myTransforms[aState] = aMatrix;
}

const GFX_Matrix& GFX_DeviceCommon::GetTransform(GFX_TransformState aState) const
{
    return myState.myTransforms[aState < GFX_TS_COUNT ? aState : GFX_TS_WORLD];
}

bool GFX_DeviceCommon::SetLight(uint32_t anIndex, const GFX_Light& aLight)
{
    if (anIndex > 1023 || aLight.myType < GFX_LIGHT_POINT || aLight.myType > GFX_LIGHT_DIRECTIONAL)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "light: index above 1023 or unknown type");
        return false;
    }
    Trace("SetLight %u type %u", anIndex, aLight.myType);
    GFX_State& s = myRecordingBlock ? myRecordingBlock->myValues : myState;
    if (s.myLights.size() <= anIndex)
        s.myLights.resize(anIndex + 1);
    s.myLights[anIndex].myLight = aLight;
    if (myRecordingBlock)
    {
        if (myRecordingBlock->myLightMask.size() <= anIndex)
            myRecordingBlock->myLightMask.resize(anIndex + 1, 0);
        myRecordingBlock->myLightMask[anIndex] = 1;
    }
    return true;
}

bool GFX_DeviceCommon::LightEnable(uint32_t anIndex, bool anEnableFlag)
{
    if (anIndex > 1023)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "light: index above 1023");
        return false;
    }
    GFX_State& s = myRecordingBlock ? myRecordingBlock->myValues : myState;
    if (!myRecordingBlock && anEnableFlag && (s.myLights.size() <= anIndex || !s.myLights[anIndex].myEnabledFlag))
    {
        uint32_t locActive = 0;
        for (const GFX_LightSlot& locSlot : s.myLights)
            locActive += locSlot.myEnabledFlag ? 1 : 0;
        if (locActive >= myCaps.myMaxActiveLights)
        {
            GFX_SetError(GFX_ERROR_INVALID_CALL, "light: more than %u active", myCaps.myMaxActiveLights);
            return false;
        }
    }
    Trace("LightEnable %u %d", anIndex, anEnableFlag ? 1 : 0);
    // Enabling a light that was never set enables the default (white directional) light.
    if (s.myLights.size() <= anIndex)
        s.myLights.resize(anIndex + 1);
    s.myLights[anIndex].myEnabledFlag = anEnableFlag;
    if (myRecordingBlock)
    {
        if (myRecordingBlock->myLightEnableMask.size() <= anIndex)
            myRecordingBlock->myLightEnableMask.resize(anIndex + 1, 0);
        myRecordingBlock->myLightEnableMask[anIndex] = 1;
    }
    return true;
}

void GFX_DeviceCommon::SetMaterial(const GFX_Material& aMaterial)
{
    Trace("SetMaterial power %g", aMaterial.myPower);
    if (myRecordingBlock)
    {
        myRecordingBlock->myMaterialFlag = true;
        myRecordingBlock->myValues.myMaterial = aMaterial;
        return;
    }
    myState.myMaterial = aMaterial;
}

void GFX_DeviceCommon::SetViewport(const GFX_Viewport& aViewport)
{
    GFX_Viewport locViewport = aViewport;
    const uint32_t w = myRenderTarget->myWidth, h = myRenderTarget->myHeight;
    if (locViewport.myWidth == 0)
        locViewport.myWidth = w;
    if (locViewport.myHeight == 0)
        locViewport.myHeight = h;
    Trace("SetViewport %u %u %u %u %g %g", locViewport.myX, locViewport.myY, locViewport.myWidth,
          locViewport.myHeight, locViewport.myMinZ, locViewport.myMaxZ);
    if (myRecordingBlock)
    {
        myRecordingBlock->myViewportFlag = true;
        myRecordingBlock->myValues.myViewport = locViewport;
        return;
    }
    myState.myViewport = locViewport;
}

void GFX_DeviceCommon::SetScissorRect(const GFX_Rect& aRect)
{
    Trace("SetScissorRect %d %d %d %d", aRect.myLeft, aRect.myTop, aRect.myRight, aRect.myBottom);
    myState.myScissor = aRect;
}

// [SECTION] State blocks --------------------------------------------------------------------

bool GFX_DeviceCommon::BeginStateBlock()
{
    if (myRecordingBlock)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "state block: recording already");
        return false;
    }
    Trace("BeginStateBlock");
    myRecordingBlock = new GFX_StateBlock;
    myRecordingBlock->myValues = myState;
    return true;
}

GFX_StateBlock* GFX_DeviceCommon::EndStateBlock()
{
    if (!myRecordingBlock)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "state block: not recording");
        return nullptr;
    }
    Trace("EndStateBlock");
    GFX_StateBlock* locBlock = myRecordingBlock;
    myRecordingBlock = nullptr;
    myStateBlocks.push_back(locBlock);
    return locBlock;
}

bool GFX_DeviceCommon::ApplyStateBlock(GFX_StateBlock* aBlock)
{
    if (!aBlock || myRecordingBlock ||
        std::find(myStateBlocks.begin(), myStateBlocks.end(), aBlock) == myStateBlocks.end())
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "state block: unknown, or applied while recording");
        return false;
    }
    Trace("ApplyStateBlock");
    const GFX_State& v = aBlock->myValues;
    for (uint32_t i = 0; i < GFX_RS_COUNT; ++i)
        if (aBlock->myRSMask.test(i))
            myState.myRS[i] = v.myRS[i];
    for (uint32_t s = 0; s < GFX_MAX_STAGES; ++s)
    {
        for (uint32_t i = 0; i < GFX_TSS_COUNT; ++i)
            if (aBlock->myTSSMask.test(s * GFX_TSS_COUNT + i))
                myState.myTSS[s][i] = v.myTSS[s][i];
        for (uint32_t i = 0; i < GFX_SAMP_COUNT; ++i)
            if (aBlock->mySampMask.test(s * GFX_SAMP_COUNT + i))
                myState.mySamp[s][i] = v.mySamp[s][i];
        if (aBlock->myTextureMask.test(s))
            myState.myTextures[s] = v.myTextures[s];
    }
    for (uint32_t i = 0; i < GFX_TS_COUNT; ++i)
        if (aBlock->myTransformMask.test(i))
            myState.myTransforms[i] = v.myTransforms[i];
    const size_t locLights = std::max(aBlock->myLightMask.size(), aBlock->myLightEnableMask.size());
    if (myState.myLights.size() < locLights)
        myState.myLights.resize(locLights);
    for (size_t i = 0; i < aBlock->myLightMask.size(); ++i)
        if (aBlock->myLightMask[i])
            myState.myLights[i].myLight = v.myLights[i].myLight;
    for (size_t i = 0; i < aBlock->myLightEnableMask.size(); ++i)
        if (aBlock->myLightEnableMask[i])
            myState.myLights[i].myEnabledFlag = v.myLights[i].myEnabledFlag;
    if (aBlock->myMaterialFlag)
        myState.myMaterial = v.myMaterial;
    if (aBlock->myViewportFlag)
        myState.myViewport = v.myViewport;
    return true;
}

bool GFX_DeviceCommon::CaptureStateBlock(GFX_StateBlock* aBlock)
{
    if (!aBlock || myRecordingBlock ||
        std::find(myStateBlocks.begin(), myStateBlocks.end(), aBlock) == myStateBlocks.end())
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "state block: unknown, or captured while recording");
        return false;
    }
    Trace("CaptureStateBlock");
    std::vector<GFX_LightSlot> locLights = myState.myLights;
    const size_t locSize = std::max(aBlock->myLightMask.size(), aBlock->myLightEnableMask.size());
    if (locLights.size() < locSize)
        locLights.resize(locSize);
    aBlock->myValues = myState;
    aBlock->myValues.myLights = locLights;
    return true;
}

void GFX_DeviceCommon::ReleaseStateBlock(GFX_StateBlock* aBlock)
{
    auto locIt = std::find(myStateBlocks.begin(), myStateBlocks.end(), aBlock);
    if (locIt == myStateBlocks.end())
        return;
    Trace("ReleaseStateBlock");
    myStateBlocks.erase(locIt);
    delete aBlock;
}

// [SECTION] Frames and draws ----------------------------------------------------------------

bool GFX_DeviceCommon::BeginScene()
{
    if (myInSceneFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "BeginScene inside a scene");
        return false;
    }
    Trace("BeginScene");
    myInSceneFlag = true;
    return true;
}

bool GFX_DeviceCommon::EndScene()
{
    if (!myInSceneFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "EndScene outside a scene");
        return false;
    }
    Trace("EndScene");
    myInSceneFlag = false;
    BackEndScene();
    return true;
}

bool GFX_DeviceCommon::Clear(uint32_t aCount, const GFX_Rect* aRects, uint32_t aFlags, uint32_t aColor, float aZ,
                             uint32_t aStencil)
{
    if ((aFlags & (GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL)) && !myDepthStencil)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "clear: depth or stencil without a depth buffer");
        return false;
    }
    if ((aFlags & GFX_CLEAR_STENCIL) && GFX_FormatStencilBits(myDepthStencil->myFormat) == 0)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "clear: stencil without stencil bits");
        return false;
    }
    if (myLostFlag)
        return true;
    // Rectangles are cut to the viewport; none means the whole viewport.
    const GFX_Viewport& v = myState.myViewport;
    GFX_Rect locView = {int32_t(v.myX), int32_t(v.myY), int32_t(v.myX + v.myWidth), int32_t(v.myY + v.myHeight)};
    locView.myRight = std::min(locView.myRight, int32_t(myRenderTarget->myWidth));
    locView.myBottom = std::min(locView.myBottom, int32_t(myRenderTarget->myHeight));
    const uint32_t locCount = aRects && aCount ? aCount : 1;
    for (uint32_t i = 0; i < locCount; ++i)
    {
        GFX_Rect r = aRects && aCount ? aRects[i] : locView;
        r.myLeft = std::max(r.myLeft, locView.myLeft);
        r.myTop = std::max(r.myTop, locView.myTop);
        r.myRight = std::min(r.myRight, locView.myRight);
        r.myBottom = std::min(r.myBottom, locView.myBottom);
        if (r.myLeft >= r.myRight || r.myTop >= r.myBottom)
            continue;
        Trace("Clear %d %d %d %d flags %u color 0x%08X z %g stencil %u", r.myLeft, r.myTop, r.myRight, r.myBottom,
              aFlags, aColor, aZ, aStencil);
        BackClear(r, aFlags, aColor, aZ, aStencil);
    }
    return true;
}

static uint32_t locDeclTypeSize(GFX_DeclType aType)
{
    switch (aType)
    {
        case GFX_DECLTYPE_FLOAT1:
        case GFX_DECLTYPE_COLOR:
        case GFX_DECLTYPE_UBYTE4:
        case GFX_DECLTYPE_UBYTE4N:
        case GFX_DECLTYPE_SHORT2:
        case GFX_DECLTYPE_SHORT2N:
        case GFX_DECLTYPE_USHORT2N: return 4;
        case GFX_DECLTYPE_FLOAT2:
        case GFX_DECLTYPE_SHORT4:
        case GFX_DECLTYPE_SHORT4N:
        case GFX_DECLTYPE_USHORT4N: return 8;
        case GFX_DECLTYPE_FLOAT3: return 12;
        default: return 16;
    }
}

bool GFX_DeviceCommon::ValidateVertexRange(int64_t aFirst, uint64_t aCount)
{
    if (aCount == 0)
        return true;
    if (aFirst < 0)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "draw: vertices start at %lld", static_cast<long long>(aFirst));
        return false;
    }
    const uint64_t locLast = uint64_t(aFirst) + aCount - 1;
    for (const GFX_VertexElement& e : myState.myDecl->myElements)
    {
        const GFX_Stream& locStream = myState.myStreams[e.myStream];
        const uint64_t locEnd =
            locStream.myOffset + locLast * locStream.myStride + e.myOffset + locDeclTypeSize(e.myType);
        if (locEnd > locStream.myBuffer->myDesc.mySize)
        {
            GFX_SetError(GFX_ERROR_INVALID_CALL, "draw: vertices %lld + %llu beyond stream %u (%u bytes)",
                         static_cast<long long>(aFirst), static_cast<unsigned long long>(aCount), e.myStream,
                         locStream.myBuffer->myDesc.mySize);
            return false;
        }
    }
    return true;
}

bool GFX_DeviceCommon::ValidateDraw(GFX_PrimitiveType aType, uint32_t aPrimitiveCount, uint32_t* aCountOut)
{
    if (!myInSceneFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "draw outside BeginScene/EndScene");
        return false;
    }
    if (!myState.myDecl)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "draw without a vertex declaration");
        return false;
    }
    for (const GFX_VertexElement& e : myState.myDecl->myElements)
        if (!myState.myStreams[e.myStream].myBuffer)
        {
            GFX_SetError(GFX_ERROR_INVALID_CALL, "draw: stream %u has no buffer", e.myStream);
            return false;
        }
    uint64_t locCount = 0;
    switch (aType)
    {
        case GFX_PRIM_POINTLIST: locCount = aPrimitiveCount; break;
        case GFX_PRIM_LINELIST: locCount = uint64_t(aPrimitiveCount) * 2; break;
        case GFX_PRIM_LINESTRIP: locCount = uint64_t(aPrimitiveCount) + 1; break;
        case GFX_PRIM_TRIANGLELIST: locCount = uint64_t(aPrimitiveCount) * 3; break;
        case GFX_PRIM_TRIANGLESTRIP:
        case GFX_PRIM_TRIANGLEFAN: locCount = uint64_t(aPrimitiveCount) + 2; break;
        default: GFX_SetError(GFX_ERROR_INVALID_CALL, "draw: unknown primitive type %u", aType); return false;
    }
    if (locCount > 0x7FFFFFFF)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "draw: %u primitives are too many", aPrimitiveCount);
        return false;
    }
    *aCountOut = uint32_t(locCount);
    return true;
}

bool GFX_DeviceCommon::DrawPrimitive(GFX_PrimitiveType aType, uint32_t aStartVertex, uint32_t aPrimitiveCount)
{
    uint32_t locCount = 0;
    if (!ValidateDraw(aType, aPrimitiveCount, &locCount))
        return false;
    if (aPrimitiveCount && !ValidateVertexRange(aStartVertex, locCount))
        return false;
    Trace("DrawPrimitive %u %u %u", aType, aStartVertex, aPrimitiveCount);
    if (myLostFlag || aPrimitiveCount == 0)
        return true;
    return BackDraw({aType, false, 0, aStartVertex, locCount, aPrimitiveCount});
}

bool GFX_DeviceCommon::DrawIndexedPrimitive(GFX_PrimitiveType aType, int32_t aBaseVertex, uint32_t aMinIndex,
                                            uint32_t aNumVertices, uint32_t aStartIndex, uint32_t aPrimitiveCount)
{
    uint32_t locCount = 0;
    if (!ValidateDraw(aType, aPrimitiveCount, &locCount))
        return false;
    GFX_Buffer* locIndices = myState.myIndices;
    if (!locIndices)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "indexed draw without an index buffer");
        return false;
    }
    const uint32_t locIndexSize = locIndices->myDesc.myFormat == GFX_FORMAT_INDEX32 ? 4 : 2;
    if ((uint64_t(aStartIndex) + locCount) * locIndexSize > locIndices->myDesc.mySize)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "indexed draw: indices %u + %u beyond the buffer", aStartIndex,
                     locCount);
        return false;
    }
    if (aPrimitiveCount && !ValidateVertexRange(int64_t(aBaseVertex) + aMinIndex, aNumVertices))
        return false;
    Trace("DrawIndexedPrimitive %u %d %u %u %u %u", aType, aBaseVertex, aMinIndex, aNumVertices, aStartIndex,
          aPrimitiveCount);
    if (myLostFlag || aPrimitiveCount == 0)
        return true;
    return BackDraw({aType, true, aBaseVertex, aStartIndex, locCount, aPrimitiveCount});
}

bool GFX_DeviceCommon::Present()
{
    if (myInSceneFlag)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "Present inside a scene");
        return false;
    }
    if (myLostFlag)
    {
        GFX_SetError(GFX_ERROR_DEVICE_LOST, "the device is lost");
        return false;
    }
    Trace("Present");
    BackPresent();
    ++myFrameCount;
    if (myDesc.myPresentFunc)
    {
        bool locIdentityFlag = true;
        for (int c = 0; c < 3 && locIdentityFlag; ++c)
            for (int i = 0; i < 256 && locIdentityFlag; ++i)
                locIdentityFlag = myGamma[c][i] == uint16_t(i * 257);
        GFX_Image locImage;
        locImage.myWidth = myDesc.myWidth;
        locImage.myHeight = myDesc.myHeight;
        locImage.myPitch = myDesc.myWidth * 4;
        if (locIdentityFlag)
        {
            locImage.myPixels = myFrontPixels.data();
            myDesc.myPresentFunc(myDesc.myPresentUserData, locImage);
        }
        else
        {
            std::vector<uint32_t>& locCorrected = myGammaPixels;
            locCorrected.resize(myFrontPixels.size());
            for (size_t i = 0; i < myFrontPixels.size(); ++i)
            {
                const uint32_t p = myFrontPixels[i];
                const uint32_t r = myGamma[0][(p >> 16) & 0xFF] >> 8;
                const uint32_t g = myGamma[1][(p >> 8) & 0xFF] >> 8;
                const uint32_t b = myGamma[2][p & 0xFF] >> 8;
                locCorrected[i] = (p & 0xFF000000u) | (r << 16) | (g << 8) | b;
            }
            locImage.myPixels = locCorrected.data();
            myDesc.myPresentFunc(myDesc.myPresentUserData, locImage);
        }
    }
    return true;
}

bool GFX_DeviceCommon::GetFrontBufferData(uint32_t* aPixels, uint32_t aPitch)
{
    if (!aPixels || aPitch < myDesc.myWidth * 4)
    {
        GFX_SetError(GFX_ERROR_INVALID_CALL, "front buffer: no pixels or pitch too small");
        return false;
    }
    Trace("GetFrontBufferData");
    for (uint32_t y = 0; y < myDesc.myHeight; ++y)
        memcpy(reinterpret_cast<uint8_t*>(aPixels) + size_t(y) * aPitch, &myFrontPixels[size_t(y) * myDesc.myWidth],
               size_t(myDesc.myWidth) * 4);
    return true;
}

void GFX_DeviceCommon::SetGammaRamp(const uint16_t aRed[256], const uint16_t aGreen[256], const uint16_t aBlue[256])
{
    Trace("SetGammaRamp");
    memcpy(myGamma[0], aRed, sizeof(myGamma[0]));
    memcpy(myGamma[1], aGreen, sizeof(myGamma[1]));
    memcpy(myGamma[2], aBlue, sizeof(myGamma[2]));
}

void GFX_DeviceCommon::GetGammaRamp(uint16_t aRed[256], uint16_t aGreen[256], uint16_t aBlue[256]) const
{
    memcpy(aRed, myGamma[0], sizeof(myGamma[0]));
    memcpy(aGreen, myGamma[1], sizeof(myGamma[1]));
    memcpy(aBlue, myGamma[2], sizeof(myGamma[2]));
}

void GFX_DeviceCommon::ReleaseHostPixels()
{
    if (myDesc.myPresentFunc && myDesc.myReleaseFunc && myFrameCount > 0)
        myDesc.myReleaseFunc(myDesc.myPresentUserData);
}

void GFX_DeviceCommon::Trace(const char* aFormat, ...)
{
    if (!myTraceFlag)
        return;
    char locLine[256];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locLine, sizeof(locLine), aFormat, locArgs);
    va_end(locArgs);
    TraceLine(locLine);
}
