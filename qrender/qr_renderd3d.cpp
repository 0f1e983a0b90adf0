// The renderer's back end: device system start-up and adapter list, the emulated render
// window, device creation with its fallbacks, frames, clearing, front-buffer capture, device
// loss and re-creation, shutdown.
//
// [SECTION] Process-wide state
// [SECTION] Construction, start-up and adapters
// [SECTION] Init
// [SECTION] Device creation
// [SECTION] Device release and restore
// [SECTION] Frames, clear and capture
// [SECTION] Stage blocks
#include "qrender/qr_renderd3d.h"

#include <math.h>
#include <new>
#include <stdlib.h>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_d3dcamerafacingvshader.h"
#include "qrender/qr_d3ddepthsortvshader.h"
#include "qrender/qr_d3dnormalvshader.h"
#include "qrender/qr_d3dnormalmap_vshader.h"
#include "qrender/qr_d3dvs_vshader.h"
#include "qrender/qr_error.h"
#include "qrender/qr_renderd3d_local.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"

// [SECTION] Process-wide state --------------------------------------------------------------

GFX_System* QR_RenderD3D::ourSystem = nullptr;
GFX_Device* QR_RenderD3D::ourDevice = nullptr;
QR_HostWindow QR_RenderD3D::ourWindow = {nullptr, nullptr};
bool QR_RenderD3D::ourWindowAdoptedFlag = false;
bool QR_RenderD3D::ourOwnWindowFlag = false;
GFX_Surface* QR_RenderD3D::ourBackBuffer = nullptr;
GFX_Surface* QR_RenderD3D::ourDepthStencil = nullptr;
GFX_Format QR_RenderD3D::ourAdapterFormat = GFX_FORMAT_X8R8G8B8;
GFX_Format QR_RenderD3D::ourBackBufferFormat = GFX_FORMAT_X8R8G8B8;
GFX_Format QR_RenderD3D::ourDepthStencilFormat = GFX_FORMAT_D24X8;
bool QR_RenderD3D::ourHardwareTransformFlag = false;
bool QR_RenderD3D::ourDynamicTexturesFlag = false;
bool QR_RenderD3D::ourNonPow2ConditionalFlag = false;
GFX_Format QR_RenderD3D::ourTextureFormat24 = GFX_FORMAT_X8R8G8B8;
GFX_Format QR_RenderD3D::ourTextureFormat32 = GFX_FORMAT_A8R8G8B8;
const Matrix44* QR_RenderD3D::ourProjectionMatrix = nullptr;
bool QR_RenderD3D::ourEmptyViewFlag = false;
bool (*QR_RenderD3D::ourCreateNormalMapKind)() = QR_D3DNormalMapVShader::Create;
bool (*QR_RenderD3D::ourCreateAssembledNormalMeshKind)() = QR_D3DVsVShader::Create;
static void locDestroyAssembledKinds()
{
    QR_D3DVsVShader::Destroy();
    QR_D3DNormalMapVShader::Destroy();
}
void (*QR_RenderD3D::ourDestroyAssembledKinds)() = locDestroyAssembledKinds;

QR_Render* QR_Render::CreateBackEnd()
{
    return new (std::nothrow) QR_RenderD3D();
}

static uint32_t locBitsOfFormat(GFX_Format aFormat)
{
    switch (aFormat)
    {
    case GFX_FORMAT_R5G6B5:
    case GFX_FORMAT_X1R5G5B5:
    case GFX_FORMAT_A1R5G5B5:
        return 16;
    case GFX_FORMAT_X8R8G8B8:
    case GFX_FORMAT_A8R8G8B8:
        return 32;
    default:
        return 0;
    }
}

static bool locFail(uint32_t aCode)
{
    QR_Error::SetCode(aCode);
    return false;
}

// [SECTION] Construction, start-up and adapters ---------------------------------------------

QR_RenderD3D::QR_RenderD3D()
    : myForceFlushSurfaces{nullptr, nullptr}
    , myForceFlushIndex(0)
    , myRecreatePendingFlag(false)
    , myRecreateFrame(ourFrameCount - 1)
{
}

QR_RenderD3D::~QR_RenderD3D()
{
    QR_VertexShader* locDefault = QR_VertexShader::ourDefault;
    if (locDefault)
    {
        if (mySolid2DSetup)
            locDefault->ReleaseCompiled(mySolid2DSetup);
        if (myAlpha2DSetup)
            locDefault->ReleaseCompiled(myAlpha2DSetup);
    }
    mySolid2DSetup = nullptr;
    myAlpha2DSetup = nullptr;
    DeleteOwnKinds();
}

bool QR_RenderD3D::StartUp(QR_HostWindow* aWindow, const QR_RenderStartupOptions* anOptions)
{
    ourWindowAdoptedFlag = aWindow != nullptr;
    ourWindow = aWindow ? *aWindow : QR_HostWindow{nullptr, nullptr};
    ourOwnWindowFlag = false;
    return InitD3D(anOptions);
}

bool QR_RenderD3D::InitD3D(const QR_RenderStartupOptions* anOptions)
{
    ourSystem = ourSystemFactory ? ourSystemFactory() : nullptr;
    if (!ourSystem)
        return locFail(QR_ERROR_NO_DIRECT3D);
    if (!anOptions)
        return true;

    QR_AdapterEntry** locTail = &myAdapterList;
    uint32_t locCount = ourSystem->GetAdapterCount();
    for (uint32_t a = 0; a < locCount; a++)
    {
        GFX_AdapterInfo locInfo;
        if (!ourSystem->GetAdapterInfo(a, &locInfo))
            return locFail(QR_ERROR_ADAPTER);
        GFX_Caps locCaps;
        if (!ourSystem->GetCaps(a, &locCaps))
            continue;
        bool locStencilFlag = locCaps.myStencilOps == 0xFF;
        if (anOptions->myRequireStencilFlag && !locStencilFlag)
            continue;
        uint32_t locNumModes = ourSystem->GetModeCount(a, GFX_FORMAT_X8R8G8B8);
        if (locNumModes == 0)
            continue;

        QR_AdapterEntry* locEntry = new QR_AdapterEntry();
        locEntry->myModes = new QR_DisplayMode[locNumModes];
        locEntry->myNumModes = 0;
        locEntry->myReserved = 0;
        locEntry->myStencilFlag = locStencilFlag;
        locEntry->mySecondFlag = 0;
        locEntry->myAdapter = a;
        size_t locLength = strnlen(locInfo.myDescription, sizeof(locInfo.myDescription));
        locEntry->myDescription = new char[locLength + 1];
        memcpy(locEntry->myDescription, locInfo.myDescription, locLength);
        locEntry->myDescription[locLength] = 0;
        locEntry->myNext = nullptr;
        *locTail = locEntry;
        locTail = &locEntry->myNext;

        for (uint32_t i = 0; i < locNumModes; i++)
        {
            GFX_DisplayMode locMode;
            if (!ourSystem->GetMode(a, GFX_FORMAT_X8R8G8B8, i, &locMode))
                continue;
            QR_DisplayMode locEntryMode = {locMode.myWidth, locMode.myHeight, locBitsOfFormat(locMode.myFormat)};
            bool locKnownFlag = false;
            for (uint32_t k = 0; k < locEntry->myNumModes && !locKnownFlag; k++)
                locKnownFlag = locEntry->myModes[k].myWidth == locEntryMode.myWidth &&
                               locEntry->myModes[k].myHeight == locEntryMode.myHeight &&
                               locEntry->myModes[k].myBitsPerPixel == locEntryMode.myBitsPerPixel;
            if (!locKnownFlag)
                locEntry->myModes[locEntry->myNumModes++] = locEntryMode;
        }
    }
    return true;
}

// [SECTION] Init ----------------------------------------------------------------------------

bool QR_RenderD3D::Init(QR_RenderSettings* aSettings)
{
    // A second initialisation would make a second device over the first one, or one that
    // skips the restore of everything made for the device a re-creation lost.
    if ((ourOwnWindowFlag && !ourWindowAdoptedFlag) || ourDevice || myRecreatePendingFlag)
        return locFail(QR_ERROR_RENDER_WINDOW);
    // Without a host window the frames are kept for capture only; the emulated window of
    // our own stands for the one a desktop would show.
    if (!ourWindowAdoptedFlag)
        ourOwnWindowFlag = true;

    myRenderSettings = *aSettings;
    if (!CreateDevice(this))
        return false;
    *aSettings = myRenderSettings;

    if (!ReserveDynamicIndices(65536) || !ReserveDynamicVertices(524288))
        return false;

    if (ourHooks.myCreateForceFlushSurface)
    {
        for (int i = 0; i < 2; i++)
        {
            myForceFlushSurfaces[i] = ourHooks.myCreateForceFlushSurface(i);
            if (!myForceFlushSurfaces[i])
                return false;
        }
    }

    QR_VertexShader* locDefault = QR_VertexShader::ourDefault;
    if (!locDefault)
        return false;
    QR_VertexShaderSetupData locSetup;
    memset(&locSetup, 0, sizeof(locSetup));
    locSetup.myNumStreams = 1;
    locSetup.myNumUVs = 1;
    locSetup.myUVs[0] = UV_VERTEX_UVSET_0;
    locSetup.myVertexFormatList[0] = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_DIFFUSE | QR_VERTEXFLAG_UV1;
    locSetup.myFogFlag = 1;
    mySolid2DSetup = locDefault->Compile(locSetup);
    locSetup.myVertexFormatList[0] = QR_VERTEXFLAG_XYZRHW | QR_VERTEXFLAG_DIFFUSE | QR_VERTEXFLAG_UV1;
    locSetup.myFogFlag = 0;
    myAlpha2DSetup = locDefault->Compile(locSetup);
    return mySolid2DSetup && myAlpha2DSetup;
}

// [SECTION] Device creation -----------------------------------------------------------------

static bool locChooseFullScreenMode(uint32_t anAdapter, QR_RenderSettings& aSettings, GFX_Format* aFormatOut)
{
    for (;;)
    {
        // 16-bit modes are listed in their own format; the 32-bit ones in X8R8G8B8.
        GFX_Format locListFormat = aSettings.myBitsPerPixel == 16 ? GFX_FORMAT_R5G6B5 : GFX_FORMAT_X8R8G8B8;
        uint32_t locCount = QR_RenderD3D::ourSystem->GetModeCount(anAdapter, locListFormat);
        bool locFoundFlag = false;
        GFX_DisplayMode locBest;
        for (uint32_t i = 0; i < locCount; i++)
        {
            GFX_DisplayMode locMode;
            if (!QR_RenderD3D::ourSystem->GetMode(anAdapter, locListFormat, i, &locMode))
                continue;
            if (locBitsOfFormat(locMode.myFormat) != (uint32_t)aSettings.myBitsPerPixel)
                continue;
            if (!locFoundFlag)
            {
                locBest = locMode;
                locFoundFlag = true;
                continue;
            }
            int64_t locDW = llabs((int64_t)locMode.myWidth - aSettings.myWidth);
            int64_t locBestDW = llabs((int64_t)locBest.myWidth - aSettings.myWidth);
            int64_t locDH = llabs((int64_t)locMode.myHeight - aSettings.myHeight);
            int64_t locBestDH = llabs((int64_t)locBest.myHeight - aSettings.myHeight);
            if (locDW < locBestDW || (locDW == locBestDW && locDH < locBestDH))
                locBest = locMode;
            else if (locDW == locBestDW && locDH == locBestDH && aSettings.myRefreshRate > 0)
            {
                int64_t locDR = llabs((int64_t)locMode.myRefreshRate - aSettings.myRefreshRate);
                int64_t locBestDR = llabs((int64_t)locBest.myRefreshRate - aSettings.myRefreshRate);
                if (locDR <= locBestDR)
                    locBest = locMode;
            }
        }
        if (!locFoundFlag)
        {
            if (aSettings.myBitsPerPixel == 32)
            {
                aSettings.myBitsPerPixel = 16;
                continue;
            }
            return false;
        }
        aSettings.myWidth = (int32_t)locBest.myWidth;
        aSettings.myHeight = (int32_t)locBest.myHeight;
        if (aSettings.myRefreshRate > 0)
            aSettings.myRefreshRate = (int32_t)locBest.myRefreshRate;
        *aFormatOut = locBest.myFormat;
        return true;
    }
}

static bool locIsOutOfMemory(GFX_ErrorCode aCode)
{
    return aCode == GFX_ERROR_OUT_OF_VIDEO_MEMORY || aCode == GFX_ERROR_OUT_OF_MEMORY;
}

bool QR_RenderD3D::CreateDevice(QR_RenderD3D* aRender)
{
    QR_RenderSettings& s = aRender->myRenderSettings;
    GFX_System* locSystem = ourSystem;
    if (!locSystem)
        return locFail(QR_ERROR_DEVICE_CREATE);
    uint32_t locAdapter = s.myAdapter < 0 ? 0 : (uint32_t)s.myAdapter;

    GFX_AdapterInfo locInfo;
    GFX_Caps locCaps;
    if (!locSystem->GetAdapterInfo(locAdapter, &locInfo) || !locSystem->GetCaps(locAdapter, &locCaps))
        return locFail(QR_ERROR_DEVICE_CREATE);

    GFX_Format locAdapterFormat = GFX_FORMAT_X8R8G8B8;
    if (!s.myFullScreenFlag)
    {
        GFX_DisplayMode locDesktop;
        if (!locSystem->GetDesktopMode(locAdapter, &locDesktop))
            return locFail(QR_ERROR_DEVICE_CREATE);
        uint32_t locBits = locBitsOfFormat(locDesktop.myFormat);
        if (!locBits)
            return locFail(QR_ERROR_DESKTOP_FORMAT);
        s.myBitsPerPixel = (int32_t)locBits;
        locAdapterFormat = locDesktop.myFormat;
    }

    if (locCaps.myStencilOps != 0xFF)
        s.myStencilBufferFlag = 0;

    if (s.myFullScreenFlag)
    {
        if (s.myBitsPerPixel != 16)
            s.myBitsPerPixel = 32;
        if (!locChooseFullScreenMode(locAdapter, s, &locAdapterFormat))
            return locFail(QR_ERROR_NO_DISPLAY_MODE);
    }

    // Shader capabilities; the assembled kinds must also be linked in to be used.
    bool locVertexShaders = locCaps.myVertexShaderVersion >= 0x101;
    bool locPixelShaders = locCaps.myPixelShaderVersion >= 0x102;
    if (locInfo.myVendorId == 0x10DE && locInfo.myDeviceId >= 0x170 && locInfo.myDeviceId <= 0x179)
        locVertexShaders = false;
    locVertexShaders = locVertexShaders && s.myVertexShaderFlag && ourCreateAssembledNormalMeshKind;
    locPixelShaders = locPixelShaders && s.myPixelShaderFlag;
    s.myVertexShaderFlag = locVertexShaders;
    s.myPixelShaderFlag = locPixelShaders;
    aRender->myCaps.myVertexShaderFlag = locVertexShaders;
    aRender->myCaps.myPixelShaderFlag = locPixelShaders;

    GFX_DeviceDesc locDesc;
    locDesc.myAdapter = (int32_t)locAdapter;
    locDesc.myWidth = (uint32_t)s.myWidth;
    locDesc.myHeight = (uint32_t)s.myHeight;
    locDesc.myWindowedFlag = !s.myFullScreenFlag;
    locDesc.myRefreshRate = s.myFullScreenFlag ? (uint32_t)s.myRefreshRate : 0;
    locDesc.myAutoDepthStencilFlag = true;
    locDesc.myPresentFunc = ourWindow.myPresentFunc;
    locDesc.myPresentUserData = ourWindow.myUserData;
    locDesc.myReleaseFunc = ourWindow.myReleaseFunc;
    locDesc.myHardwareVertexProcessingFlag = locCaps.myHardwareTransformFlag;
    bool locHasOne = (locCaps.myPresentIntervals & GFX_PRESENT_INTERVAL_ONE) != 0;
    bool locHasImmediate = (locCaps.myPresentIntervals & GFX_PRESENT_INTERVAL_IMMEDIATE) != 0;
    if ((s.myVSyncFlag || !locHasImmediate) && locHasOne)
        locDesc.myPresentInterval = GFX_PRESENT_INTERVAL_ONE;
    else if (locHasImmediate)
        locDesc.myPresentInterval = GFX_PRESENT_INTERVAL_IMMEDIATE;
    else
        return locFail(QR_ERROR_NO_DISPLAY_MODE);

    GFX_Format locBackBuffer;
    for (;;)
    {
        if (s.myBitsPerPixel == 16)
            locBackBuffer = s.myAlphaBufferFlag ? GFX_FORMAT_A1R5G5B5 : locAdapterFormat;
        else
            locBackBuffer = s.myAlphaBufferFlag ? GFX_FORMAT_A8R8G8B8 : locAdapterFormat;
        if (locSystem->CheckDeviceType(locAdapter, locAdapterFormat, locBackBuffer, !s.myFullScreenFlag))
            break;
        if (!s.myAlphaBufferFlag)
            return locFail(QR_ERROR_DEVICE_CREATE);
        s.myAlphaBufferFlag = 0;
    }
    locDesc.myBackBufferFormat = locBackBuffer;

    GFX_Format locDepth = GFX_FORMAT_UNKNOWN;
    for (;;)
    {
        static const GFX_Format locStencilList[] = {GFX_FORMAT_D24S8, GFX_FORMAT_D24X4S4, GFX_FORMAT_D15S1};
        static const GFX_Format loc16List[] = {GFX_FORMAT_D16, GFX_FORMAT_D32, GFX_FORMAT_D24X8, GFX_FORMAT_D15S1,
                                               GFX_FORMAT_D24S8};
        static const GFX_Format loc32List[] = {GFX_FORMAT_D32, GFX_FORMAT_D24X8, GFX_FORMAT_D24S8, GFX_FORMAT_D16};
        const GFX_Format* locList;
        uint32_t locCount;
        if (s.myStencilBufferFlag)
            locList = locStencilList, locCount = 3;
        else if (s.myBitsPerPixel == 16)
            locList = loc16List, locCount = 5;
        else
            locList = loc32List, locCount = 4;
        for (uint32_t i = 0; i < locCount && locDepth == GFX_FORMAT_UNKNOWN; i++)
        {
            if (locSystem->CheckDeviceFormat(locAdapter, locAdapterFormat, GFX_USAGE_DEPTHSTENCIL, GFX_RESOURCE_SURFACE,
                                             locList[i]) &&
                locSystem->CheckDepthStencilMatch(locAdapter, locAdapterFormat, locBackBuffer, locList[i]))
                locDepth = locList[i];
        }
        if (locDepth != GFX_FORMAT_UNKNOWN)
            break;
        if (!s.myStencilBufferFlag)
            return locFail(QR_ERROR_DEVICE_CREATE);
        s.myStencilBufferFlag = 0;
    }
    locDesc.myDepthStencilFormat = locDepth;

    GFX_Device* locDevice = nullptr;
    for (;;)
    {
        while (!locSystem->CheckMultiSampleType(locAdapter, locBackBuffer, !s.myFullScreenFlag,
                                                (uint32_t)s.myMultiSampleType))
        {
            if (s.myMultiSampleType >= 3)
                s.myMultiSampleType--;
            else if (s.myMultiSampleType == 2)
                s.myMultiSampleType = 0;
            else
                return locFail(QR_ERROR_DEVICE_CREATE);
        }
        locDesc.myMultiSampleType = (uint32_t)s.myMultiSampleType;
        locDevice = locSystem->CreateDevice(locDesc);
        if (locDevice)
            break;
        if (!locIsOutOfMemory(GFX_GetLastError()))
            return locFail(QR_ERROR_DEVICE_CREATE);
        if (s.myMultiSampleType >= 3)
            s.myMultiSampleType = 2;
        else if (s.myMultiSampleType >= 1)
            s.myMultiSampleType = 0;
        else
            return locFail(QR_ERROR_DEVICE_MEMORY);
    }
    ourDevice = locDevice;
    ourAdapterFormat = locAdapterFormat;
    ourBackBufferFormat = locBackBuffer;
    ourDepthStencilFormat = locDepth;
    QR_InvalidateStreamCache();

    const GFX_Caps& locDeviceCaps = locDevice->GetCaps();
    if (!locDeviceCaps.myDrawTransformedFlag || !locDeviceCaps.myCullModesFlag ||
        !locDeviceCaps.myColorWriteMaskFlag || locDeviceCaps.myZCompareFuncs != 0xFF)
        return locFail(QR_ERROR_NO_DISPLAY_MODE);
    ourHardwareTransformFlag = locDeviceCaps.myHardwareTransformFlag;
    ourDynamicTexturesFlag = locDeviceCaps.myDynamicTexturesFlag;
    ourNonPow2ConditionalFlag = locDeviceCaps.myNonPow2ConditionalFlag;

    QR_RenderCaps& c = aRender->myCaps;
    c.myDXTFlag = locSystem->CheckDeviceFormat(locAdapter, locAdapterFormat, 0, GFX_RESOURCE_TEXTURE, GFX_FORMAT_DXT1) &&
                  locSystem->CheckDeviceFormat(locAdapter, locAdapterFormat, 0, GFX_RESOURCE_TEXTURE, GFX_FORMAT_DXT3) &&
                  locSystem->CheckDeviceFormat(locAdapter, locAdapterFormat, 0, GFX_RESOURCE_TEXTURE, GFX_FORMAT_DXT5);
    c.myNumFixedStages = 4;
    c.myMaxTextureSize = locDeviceCaps.myMaxTextureWidth > locDeviceCaps.myMaxTextureHeight
                             ? locDeviceCaps.myMaxTextureWidth
                             : locDeviceCaps.myMaxTextureHeight;
    c.myMaxTextureAspectRatio = locDeviceCaps.myMaxTextureAspectRatio ? locDeviceCaps.myMaxTextureAspectRatio : 2048;
    c.myMaxSimultaneousTextures = locDeviceCaps.myMaxSimultaneousTextures < locDeviceCaps.myMaxTextureBlendStages
                                      ? locDeviceCaps.myMaxSimultaneousTextures
                                      : locDeviceCaps.myMaxTextureBlendStages;
    c.myMaxTextureBlendStages = locDeviceCaps.myMaxTextureBlendStages;
    if (c.myMaxSimultaneousTextures < 1 || c.myMaxTextureBlendStages < 1)
        return locFail(QR_ERROR_NO_DISPLAY_MODE);
    static const GFX_Format loc24List[] = {GFX_FORMAT_R8G8B8, GFX_FORMAT_X8R8G8B8, GFX_FORMAT_A8R8G8B8};
    ourTextureFormat24 = GFX_FORMAT_UNKNOWN;
    for (GFX_Format locFormat : loc24List)
        if (ourTextureFormat24 == GFX_FORMAT_UNKNOWN &&
            locSystem->CheckDeviceFormat(locAdapter, locAdapterFormat, 0, GFX_RESOURCE_TEXTURE, locFormat))
            ourTextureFormat24 = locFormat;
    if (ourTextureFormat24 == GFX_FORMAT_UNKNOWN ||
        !locSystem->CheckDeviceFormat(locAdapter, locAdapterFormat, 0, GFX_RESOURCE_TEXTURE, GFX_FORMAT_A8R8G8B8))
        return locFail(QR_ERROR_NO_DISPLAY_MODE);
    ourTextureFormat32 = GFX_FORMAT_A8R8G8B8;

    // Initial device state.
    locDevice->SetRenderState(GFX_RS_CLIPPING, 1);
    locDevice->SetRenderState(GFX_RS_SHADEMODE, GFX_SHADE_GOURAUD);
    locDevice->SetRenderState(GFX_RS_ALPHAFUNC, GFX_CMP_ALWAYS);
    locDevice->SetRenderState(GFX_RS_FOGTABLEMODE, GFX_FOG_NONE);
    locDevice->SetRenderState(GFX_RS_FOGVERTEXMODE, s.myVertexShaderFlag ? GFX_FOG_NONE : GFX_FOG_LINEAR);
    locDevice->SetRenderState(GFX_RS_RANGEFOGENABLE, locDeviceCaps.myRangeFogFlag ? 1 : 0);
    locDevice->SetRenderState(GFX_RS_COLORVERTEX, 1);
    locDevice->SetRenderState(GFX_RS_SPECULARENABLE, 0);
    locDevice->SetRenderState(GFX_RS_LOCALVIEWER, 0);
    locDevice->SetRenderState(GFX_RS_AMBIENTMATERIALSOURCE, GFX_MCS_COLOR1);
    locDevice->SetRenderState(GFX_RS_SPECULARMATERIALSOURCE, GFX_MCS_COLOR1);
    InvalidateStateCaches();
    QR_RenderStates locDefaultStates;
    locDefaultStates.myTextureWrapFlag = 1;
    locDefaultStates.myTextureFilter = (uint32_t)s.myTextureFilter;
    aRender->SetRenderStates(&locDefaultStates, QR_RSGROUP_SAMPLER);
    ourD3DStateCache.myNumBoundStages = 8;
    for (uint32_t i = 0; i < 8; i++)
    {
        if (locDeviceCaps.myMipLodBiasFlag)
            locDevice->SetSamplerState(i, GFX_SAMP_MIPMAPLODBIAS, GFX_FloatBits(s.myMipMapLodBias));
        locDevice->SetTextureStageState(i, GFX_TSS_COLOROP, GFX_TOP_DISABLE);
        locDevice->SetTextureStageState(i, GFX_TSS_ALPHAOP, GFX_TOP_DISABLE);
        locDevice->SetTextureStageState(i, GFX_TSS_COLORARG1, GFX_TA_TEXTURE);
        locDevice->SetTextureStageState(i, GFX_TSS_ALPHAARG1, GFX_TA_TEXTURE);
        locDevice->SetTextureStageState(i, GFX_TSS_COLORARG2, GFX_TA_CURRENT);
        locDevice->SetTextureStageState(i, GFX_TSS_ALPHAARG2, GFX_TA_CURRENT);
    }

    if (!aRender->MakeOwnKinds())
        return false;

    // Gamma: the desktop's ramp scaled by the setting.
    uint16_t locRamp[3][256];
    if (locSystem->GetDesktopGammaRamp(locRamp[0], locRamp[1], locRamp[2]))
    {
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 256; i++)
            {
                double locValue = (double)locRamp[k][i] * s.myGamma;
                if (locValue < 0.0)
                    locValue = 0.0;
                locRamp[k][i] = locValue > 65535.0 ? 65535 : (uint16_t)locValue;
            }
        locDevice->SetGammaRamp(locRamp[0], locRamp[1], locRamp[2]);
    }

    // One empty frame.
    bool locSceneFlag = locDevice->BeginScene();
    QC_ASSERT(locSceneFlag);
    locDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0, 1.0f, 0);
    locSceneFlag = locDevice->EndScene();
    QC_ASSERT(locSceneFlag);
    ourBackBuffer = locDevice->GetRenderTarget();
    ourDepthStencil = locDevice->GetDepthStencilSurface();
    if (!ourBackBuffer || !ourDepthStencil)
        return locFail(QR_ERROR_DEVICE_CREATE);
    // The no-surface block gets its pixel shader when they are in use.
    if (!WritePixelShader(&ourDefaultStageBlock))
        return locFail(QR_ERROR_DEVICE_CREATE);
    return true;
}

bool QR_RenderD3D::MakeOwnKinds()
{
    if (myRenderSettings.myPixelShaderFlag && ourCreateNormalMapKind && !ourCreateNormalMapKind())
        return false;
    if (myRenderSettings.myVertexShaderFlag && ourCreateAssembledNormalMeshKind)
    {
        if (!ourCreateAssembledNormalMeshKind())
            return false;
    }
    else if (!QR_D3DNormalVShader::Create())
        return false;
    return QR_D3DCameraFacingVShader::Create() && QR_D3DDepthSortVShader::Create();
}

void QR_RenderD3D::DeleteOwnKinds()
{
    if (ourDestroyAssembledKinds)
        ourDestroyAssembledKinds();
    delete QR_D3DNormalVShader::ourInstance;
    delete QR_D3DCameraFacingVShader::ourInstance;
    delete QR_D3DDepthSortVShader::ourInstance;
}

// [SECTION] Device release and restore ------------------------------------------------------

void QR_RenderD3D::ReleaseDevice(QR_RenderD3D* aRender, bool aDestroyWindowFlag)
{
    if (ourDevice)
    {
        for (int i = 0; i < aRender->myResetCallbacks.Count(); i++)
            aRender->myResetCallbacks[i](false);
        aRender->SetRenderTarget(nullptr, true);
        InvalidateStateCaches();

        if (ourHooks.myReleaseAllMeshDeviceData)
            ourHooks.myReleaseAllMeshDeviceData();
        QR_VertexShader::ReleaseAll();

        for (uint32_t i = 0; i < 8; i++)
            ourDevice->SetTexture(i, nullptr);
        ourDevice->SetIndices(nullptr);
        ourDevice->SetVertexDecl(nullptr);
        for (uint32_t i = 0; i < 8; i++)
            ourDevice->SetStreamSource(i, nullptr, 0, 0);
        ourDevice->SetDepthStencilSurface(nullptr);
        ourDevice->SetPixelShader(nullptr);
        ourDevice->SetVertexShader(nullptr);

        ReleaseStageBlock(&ourDefaultStageBlock);
        if (ourHooks.myReleaseAllTextures)
            ourHooks.myReleaseAllTextures();
        if (ourHooks.myReleaseAllSurfaceTemplates)
            ourHooks.myReleaseAllSurfaceTemplates();
        aRender->FreeBufferPools();

        ourDevice->EvictManagedResources();
        ourBackBuffer = nullptr;
        ourDepthStencil = nullptr;
        uint32_t i = ourDevice->GetLiveObjectCount();
        QC_ASSERT(i == 0);
        ourSystem->DestroyDevice(ourDevice);
        ourDevice = nullptr;
        QR_InvalidateStreamCache();
    }
    if (aDestroyWindowFlag && !ourWindowAdoptedFlag)
        ourOwnWindowFlag = false;
}

bool QR_RenderD3D::RestoreSequence()
{
    if (!QR_VertexShader::RestoreAll())
        return false;
    if (!CreateBufferPools())
        return false;
    if (ourHooks.myReloadAllTextures && !ourHooks.myReloadAllTextures())
        return false;
    if (ourHooks.myRecompileAllSurfaces && !ourHooks.myRecompileAllSurfaces())
        return false;
    if (ourHooks.myCompileAllMeshVertexShaders && !ourHooks.myCompileAllMeshVertexShaders())
        return false;
    for (int i = 0; i < myResetCallbacks.Count(); i++)
        if (!myResetCallbacks[i](true))
            return false;
    return true;
}

// A re-creation that fails leaves no device, never a half-made one or one with resources
// missing; the frames then try again through the loss path.
bool QR_RenderD3D::AbandonDevice()
{
    ReleaseDevice(this, false);
    myRecreatePendingFlag = true;
    return false;
}

// The loss path: the device made again at the current size, tried once a frame.
bool QR_RenderD3D::RecreateDevice()
{
    if (myRecreateFrame == ourFrameCount)
        return false;
    myRecreateFrame = ourFrameCount;
    return RemakeDevice();
}

bool QR_RenderD3D::RemakeDevice()
{
    ReleaseDevice(this, false);
    if (!CreateDevice(this) || !RestoreSequence())
        return AbandonDevice();
    myRecreatePendingFlag = false;
    return true;
}

bool QR_RenderD3D::SetWindowRect(int32_t anX, int32_t aY, int32_t aWidth, int32_t aHeight)
{
    myRenderSettings.myPosX = anX;
    myRenderSettings.myPosY = aY;
    if (aWidth == myRenderSettings.myWidth && aHeight == myRenderSettings.myHeight)
        return true;
    myRenderSettings.myWidth = aWidth;
    myRenderSettings.myHeight = aHeight;
    // A windowed device only resizes its back buffer: textures, buffers and shaders stay.
    // A lost, missing or full-screen one is made again.
    if (ourDevice && !myRecreatePendingFlag && !myRenderSettings.myFullScreenFlag && aWidth > 0 &&
        aHeight > 0 && ourDevice->ResizeBackBuffer((uint32_t)aWidth, (uint32_t)aHeight))
        return true;
    return RemakeDevice();
}

bool QR_RenderD3D::ChangeSettings(QR_RenderSettings* aSettings)
{
    ReleaseDevice(this, false);
    QR_RenderSettings locPrevious = myRenderSettings;
    myRenderSettings = *aSettings;
    if (!CreateDevice(this))
    {
        // Refused settings are not kept: the device is made again as it was.
        myRenderSettings = locPrevious;
        return AbandonDevice();
    }
    *aSettings = myRenderSettings;
    if (!RestoreSequence())
        return AbandonDevice();
    myRecreatePendingFlag = false;
    return true;
}

void QR_RenderD3D::Shutdown()
{
    if (ourHooks.myDestroyForceFlushSurface)
    {
        for (int i = 0; i < 2; i++)
            if (myForceFlushSurfaces[i])
                ourHooks.myDestroyForceFlushSurface(myForceFlushSurfaces[i]);
    }
    myForceFlushSurfaces[0] = myForceFlushSurfaces[1] = nullptr;
    ReleaseDevice(this, true);
    if (ourSystem)
        GFX_DestroySystem(ourSystem);
    ourSystem = nullptr;
}

// [SECTION] Frames, clear and capture -------------------------------------------------------

void QR_RenderD3D::ResetDynamicBuffers()
{
    if (myDynamicVertexBuffer && myDynamicVertexBuffer->myDeviceBuffer)
    {
        myDynamicVertexBuffer->myDeviceBuffer->myMemIndex = QR_BUFFER_UNUSED;
        myDynamicVertexBuffer->myDeviceBuffer->myPendingSize = 0;
    }
    if (myDynamicIndexBuffer && myDynamicIndexBuffer->myDeviceBuffer)
    {
        myDynamicIndexBuffer->myDeviceBuffer->myIBIndex = QR_BUFFER_UNUSED;
        myDynamicIndexBuffer->myDeviceBuffer->myPendingCount = 0;
    }
    for (QR_VertexBuffer* locVB = myVertexBufferList; locVB; locVB = locVB->myNext)
        if (!locVB->myIsStaticBufferFlag && locVB->myDeviceBuffer)
        {
            locVB->myDeviceBuffer->myMemIndex = QR_BUFFER_UNUSED;
            locVB->myDeviceBuffer->myPendingSize = 0;
        }
    for (QR_IndexBuffer* locIB = myIndexBufferList; locIB; locIB = locIB->myNext)
        if (!locIB->myIsStaticBufferFlag && locIB->myDeviceBuffer)
        {
            locIB->myDeviceBuffer->myIBIndex = QR_BUFFER_UNUSED;
            locIB->myDeviceBuffer->myPendingCount = 0;
        }
}

static void locSetWholeViewport(const QR_RenderSettings& aSettings)
{
    QR_RenderD3D::ourEmptyViewFlag = false;
    GFX_Viewport locViewport;
    locViewport.myX = 0;
    locViewport.myY = 0;
    locViewport.myWidth = (uint32_t)aSettings.myWidth;
    locViewport.myHeight = (uint32_t)aSettings.myHeight;
    locViewport.myMinZ = 0.0f;
    locViewport.myMaxZ = 1.0f;
    QR_RenderD3D::ourDevice->SetViewport(locViewport);
}

void QR_RenderD3D::BeginFrame()
{
    ourFrameCount++;
    // Without a device the frame is skipped, unless the device can be made again now.
    if (!ourDevice && (!myRecreatePendingFlag || !RecreateDevice()))
        return;
    bool locSceneFlag = ourDevice->BeginScene();
    QC_ASSERT(locSceneFlag);
    ResetDynamicBuffers();
    locSetWholeViewport(myRenderSettings);
    QR_SurfaceInstance* locFlush = myForceFlushSurfaces[myForceFlushIndex];
    if (locFlush && ourHooks.myDrawForceFlushSurface)
        ourHooks.myDrawForceFlushSurface(locFlush);
}

void QR_RenderD3D::EndFrame()
{
    if (!ourDevice)
    {
        if (myRecreatePendingFlag)
            RecreateDevice();
        return;
    }
    locSetWholeViewport(myRenderSettings);
    bool locSceneFlag = ourDevice->EndScene();
    QC_ASSERT(locSceneFlag);
    if (ourWindow.myDrawingFunc)
        ourWindow.myDrawingFunc(ourWindow.myUserData);
    if (!ourDevice->Present() && GFX_GetLastError() == GFX_ERROR_DEVICE_LOST)
    {
        // Reset through the size-change path once the device can be reset; until then
        // every frame asks again.
        if (ourDevice->TestCooperativeLevel() == GFX_ERROR_DEVICE_NOT_RESET)
            RecreateDevice();
        return;
    }
    QR_SurfaceInstance* locFlush = myForceFlushSurfaces[myForceFlushIndex];
    if (locFlush)
    {
        if (ourHooks.myReloadForceFlushSurface)
            ourHooks.myReloadForceFlushSurface(locFlush);
        myForceFlushIndex ^= 1;
    }
}

void QR_RenderD3D::Clear(const QR_Rect* aRect, uint32_t aFlags, uint32_t aColor, float aDepth, uint32_t aStencil)
{
    if (!ourDevice)
        return;
    if (!myRenderSettings.myStencilBufferFlag)
        aFlags &= ~QR_CLEAR_STENCIL;
    int32_t locWidth = myRenderSettings.myWidth;
    int32_t locHeight = myRenderSettings.myHeight;
    GFX_Rect locRect;
    locRect.myLeft = aRect->myLeft < 0 ? 0 : (aRect->myLeft > locWidth ? locWidth : aRect->myLeft);
    locRect.myTop = aRect->myTop < 0 ? 0 : (aRect->myTop > locHeight ? locHeight : aRect->myTop);
    locRect.myRight = aRect->myRight < locRect.myLeft + 1 ? locRect.myLeft + 1 : aRect->myRight;
    if (locRect.myRight > locWidth)
        locRect.myRight = locWidth;
    locRect.myBottom = aRect->myBottom < locRect.myTop + 1 ? locRect.myTop + 1 : aRect->myBottom;
    if (locRect.myBottom > locHeight)
        locRect.myBottom = locHeight;
    uint32_t locStencil = (myRenderSettings.myBitsPerPixel == 16 && aStencil) ? 1 : (aStencil & 0xFF);
    ourDevice->Clear(1, &locRect, aFlags, aColor, aDepth, locStencil);
}

void QR_RenderD3D::ReleaseContext()
{
    if (ourDevice)
        ourDevice->ReleaseContext();
}

bool QR_RenderD3D::GrabFrontBuffer(uint32_t* aPixels)
{
    // The frame last presented, at the render target's size: the window's own picture
    // whether it sits on a desktop or not.
    if (!ourDevice)
        return false;
    return ourDevice->GetFrontBufferData(aPixels, (uint32_t)myRenderSettings.myWidth * 4);
}

uint32_t QR_RenderD3D::TextureFormatCode(GFX_Format aFormat)
{
    switch (aFormat)
    {
    case GFX_FORMAT_R8G8B8:
        return 3;
    case GFX_FORMAT_A8R8G8B8:
    case GFX_FORMAT_X8R8G8B8:
        return 4;
    case GFX_FORMAT_R5G6B5:
        return 0;
    case GFX_FORMAT_X1R5G5B5:
    case GFX_FORMAT_A1R5G5B5:
        return 1;
    case GFX_FORMAT_A4R4G4B4:
    case GFX_FORMAT_X4R4G4B4:
        return 2;
    default:
        return 5;
    }
}

// [SECTION] Stage blocks --------------------------------------------------------------------

void QR_RenderD3D::ApplyStageBlock(const QR_CompiledStageBlock* aBlock)
{
    GFX_Device* locDevice = ourDevice;
    if (!locDevice)
        return;
    if (aBlock->myPixelShader)
        locDevice->SetPixelShader(aBlock->myPixelShader);
    if (aBlock->myStateBlock)
    {
        locDevice->ApplyStateBlock(aBlock->myStateBlock);
        return;
    }
    if (aBlock->mySrcBlend == GFX_BLEND_ONE && aBlock->myDestBlend == GFX_BLEND_ZERO)
        locDevice->SetRenderState(GFX_RS_ALPHABLENDENABLE, 0);
    else
    {
        locDevice->SetRenderState(GFX_RS_ALPHABLENDENABLE, 1);
        locDevice->SetRenderState(GFX_RS_SRCBLEND, aBlock->mySrcBlend);
        locDevice->SetRenderState(GFX_RS_DESTBLEND, aBlock->myDestBlend);
    }
    if (aBlock->myAlphaFunc == GFX_CMP_ALWAYS)
        locDevice->SetRenderState(GFX_RS_ALPHATESTENABLE, 0);
    else
    {
        locDevice->SetRenderState(GFX_RS_ALPHATESTENABLE, 1);
        locDevice->SetRenderState(GFX_RS_ALPHAFUNC, aBlock->myAlphaFunc);
    }
    static const GFX_TextureStageState locOrder[9] = {
        GFX_TSS_COLOROP, GFX_TSS_COLORARG1, GFX_TSS_COLORARG2, GFX_TSS_RESULTARG, GFX_TSS_ALPHAOP,
        GFX_TSS_ALPHAARG1, GFX_TSS_ALPHAARG2, GFX_TSS_COLORARG0, GFX_TSS_ALPHAARG0};
    uint32_t locNumStages = aBlock->myNumStages > 8 ? 8 : aBlock->myNumStages;
    for (uint32_t i = 0; i < locNumStages; i++)
    {
        if (i >= aBlock->myNumTextures)
            locDevice->SetTexture(i, nullptr);
        for (int k = 0; k < 9; k++)
            locDevice->SetTextureStageState(i, locOrder[k], aBlock->myStages[i].myWords[k]);
    }
    for (uint32_t i = locNumStages; i < 8; i++)
    {
        locDevice->SetTextureStageState(i, GFX_TSS_COLOROP, GFX_TOP_DISABLE);
        locDevice->SetTextureStageState(i, GFX_TSS_ALPHAOP, GFX_TOP_DISABLE);
        locDevice->SetTexture(i, nullptr);
    }
}

void QR_RenderD3D::ReleaseStageBlock(QR_CompiledStageBlock* aBlock)
{
    if (aBlock->myStateBlock && ourDevice)
        ourDevice->ReleaseStateBlock(aBlock->myStateBlock);
    if (aBlock->myPixelShader && ourDevice)
        ourDevice->ReleaseShader(aBlock->myPixelShader);
    aBlock->myStateBlock = nullptr;
    aBlock->myPixelShader = nullptr;
}
