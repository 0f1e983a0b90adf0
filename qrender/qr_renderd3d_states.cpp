// Render states of the renderer's back end: the render-state record applied by group through
// a cache of what the device holds, surface instances bound for each draw, and the view's
// viewport.
#include <algorithm>
#include <math.h>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_expressions.h"
#include "qrender/qr_renderd3d_local.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertexshader.h"
#include "qrender/qr_view.h"

QR_D3DStateCache ourD3DStateCache;

QR_CompiledStageBlock ourDefaultStageBlock = {
    nullptr,
    nullptr,
    GFX_BLEND_SRCALPHA,
    GFX_BLEND_INVSRCALPHA,
    GFX_CMP_ALWAYS,
    0,
    1,
    {{{GFX_TOP_MODULATE, GFX_TA_TFACTOR, GFX_TA_DIFFUSE, GFX_TA_CURRENT, GFX_TOP_MODULATE, GFX_TA_TFACTOR,
       GFX_TA_DIFFUSE, GFX_TA_CURRENT, GFX_TA_CURRENT}}}};

void QR_RenderD3D::InvalidateStateCaches()
{
    memset((void*)&ourD3DStateCache, 0xFF, sizeof(ourD3DStateCache));
    ourD3DStateCache.myLastBlock = nullptr;
    ourD3DStateCache.myCurrentInstance = nullptr;
    for (int i = 0; i < 8; i++)
        ourD3DStateCache.myTextures[i] = (QR_Texture*)nullptr;
    ourD3DStateCache.myNumBoundStages = 8;
    QR_InvalidateStreamCache();
}

static void locSetSamplers(GFX_SamplerState aState, uint32_t aValue)
{
    for (uint32_t i = 0; i < 8; i++)
        QR_RenderD3D::ourDevice->SetSamplerState(i, aState, aValue);
}

void QR_RenderD3D::SetRenderStates(const QR_RenderStates* aStates, uint32_t aGroupMask)
{
    GFX_Device* locDevice = ourDevice;
    if (!locDevice)
        return;
    QR_RenderStates& c = ourD3DStateCache.myStates;
    if (aGroupMask & QR_RSGROUP_CULL)
    {
        if (c.myCullMode != aStates->myCullMode)
        {
            c.myCullMode = aStates->myCullMode;
            locDevice->SetRenderState(GFX_RS_CULLMODE, aStates->myCullMode + 1);
        }
    }
    if (aGroupMask & QR_RSGROUP_DEPTH)
    {
        if (aStates->myDepthTestFlag)
        {
            if (c.myDepthTestFlag != 1)
            {
                c.myDepthTestFlag = 1;
                locDevice->SetRenderState(GFX_RS_ZENABLE, 1);
            }
            c.myDepthWriteFlag = aStates->myDepthWriteFlag;
            if (ourD3DStateCache.mySurfaceDepthWrite != aStates->myDepthWriteFlag)
            {
                ourD3DStateCache.mySurfaceDepthWrite = aStates->myDepthWriteFlag;
                locDevice->SetRenderState(GFX_RS_ZWRITEENABLE, aStates->myDepthWriteFlag);
            }
            if (c.myDepthFunc != aStates->myDepthFunc)
            {
                c.myDepthFunc = aStates->myDepthFunc;
                locDevice->SetRenderState(GFX_RS_ZFUNC, aStates->myDepthFunc + 1);
            }
        }
        else if (c.myDepthTestFlag != 0)
        {
            c.myDepthTestFlag = 0;
            locDevice->SetRenderState(GFX_RS_ZENABLE, 0);
        }
    }
    if (aGroupMask & QR_RSGROUP_STENCIL)
    {
        if (aStates->myStencilFlag)
        {
            if (c.myStencilFlag != 1)
            {
                c.myStencilFlag = 1;
                locDevice->SetRenderState(GFX_RS_STENCILENABLE, 1);
            }
            if (c.myStencilFunc != aStates->myStencilFunc)
            {
                c.myStencilFunc = aStates->myStencilFunc;
                locDevice->SetRenderState(GFX_RS_STENCILFUNC, aStates->myStencilFunc + 1);
            }
            if (c.myStencilRef != aStates->myStencilRef)
            {
                c.myStencilRef = aStates->myStencilRef;
                locDevice->SetRenderState(GFX_RS_STENCILREF, aStates->myStencilRef);
            }
            if (c.myStencilMask != aStates->myStencilMask)
            {
                c.myStencilMask = aStates->myStencilMask;
                locDevice->SetRenderState(GFX_RS_STENCILMASK, aStates->myStencilMask);
            }
            if (c.myStencilWriteMask != aStates->myStencilWriteMask)
            {
                c.myStencilWriteMask = aStates->myStencilWriteMask;
                locDevice->SetRenderState(GFX_RS_STENCILWRITEMASK, aStates->myStencilWriteMask);
            }
            if (c.myStencilPassOp != aStates->myStencilPassOp)
            {
                c.myStencilPassOp = aStates->myStencilPassOp;
                locDevice->SetRenderState(GFX_RS_STENCILPASS, aStates->myStencilPassOp + 1);
            }
            if (c.myStencilFailOp != aStates->myStencilFailOp)
            {
                c.myStencilFailOp = aStates->myStencilFailOp;
                locDevice->SetRenderState(GFX_RS_STENCILFAIL, aStates->myStencilFailOp + 1);
            }
            if (c.myStencilDepthFailOp != aStates->myStencilDepthFailOp)
            {
                c.myStencilDepthFailOp = aStates->myStencilDepthFailOp;
                locDevice->SetRenderState(GFX_RS_STENCILZFAIL, aStates->myStencilDepthFailOp + 1);
            }
        }
        else if (c.myStencilFlag != 0)
        {
            c.myStencilFlag = 0;
            locDevice->SetRenderState(GFX_RS_STENCILENABLE, 0);
        }
    }
    if (aGroupMask & QR_RSGROUP_SHADE)
    {
        if (c.myShadeMode != aStates->myShadeMode)
        {
            c.myShadeMode = aStates->myShadeMode;
            locDevice->SetRenderState(GFX_RS_SHADEMODE, aStates->myShadeMode + 1);
        }
    }
    if (aGroupMask & QR_RSGROUP_COLORWRITE)
    {
        if (c.myColorWriteFlag != aStates->myColorWriteFlag || c.myAlphaWriteFlag != aStates->myAlphaWriteFlag)
        {
            c.myColorWriteFlag = aStates->myColorWriteFlag;
            c.myAlphaWriteFlag = aStates->myAlphaWriteFlag;
            uint32_t locMask = 0;
            if (aStates->myColorWriteFlag)
                locMask |= GFX_COLORWRITE_RED | GFX_COLORWRITE_GREEN | GFX_COLORWRITE_BLUE;
            if (aStates->myAlphaWriteFlag)
                locMask |= GFX_COLORWRITE_ALPHA;
            locDevice->SetRenderState(GFX_RS_COLORWRITEENABLE, locMask);
        }
    }
    if (aGroupMask & QR_RSGROUP_SAMPLER)
    {
        if (c.myTextureWrapFlag != aStates->myTextureWrapFlag)
        {
            c.myTextureWrapFlag = aStates->myTextureWrapFlag;
            uint32_t locAddress = aStates->myTextureWrapFlag ? GFX_TADDRESS_WRAP : GFX_TADDRESS_CLAMP;
            locSetSamplers(GFX_SAMP_ADDRESSU, locAddress);
            locSetSamplers(GFX_SAMP_ADDRESSV, locAddress);
            locSetSamplers(GFX_SAMP_ADDRESSW, locAddress);
        }
        if (c.myTextureFilter != aStates->myTextureFilter)
        {
            c.myTextureFilter = aStates->myTextureFilter;
            static const uint32_t locMin[7] = {GFX_TEXF_POINT, GFX_TEXF_LINEAR, GFX_TEXF_POINT, GFX_TEXF_LINEAR,
                                               GFX_TEXF_POINT, GFX_TEXF_LINEAR, GFX_TEXF_ANISOTROPIC};
            static const uint32_t locMip[7] = {GFX_TEXF_NONE, GFX_TEXF_NONE, GFX_TEXF_POINT, GFX_TEXF_POINT,
                                               GFX_TEXF_LINEAR, GFX_TEXF_LINEAR, GFX_TEXF_LINEAR};
            uint32_t locFilter = aStates->myTextureFilter > 6 ? 5 : aStates->myTextureFilter;
            locSetSamplers(GFX_SAMP_MAGFILTER, GFX_TEXF_LINEAR);
            locSetSamplers(GFX_SAMP_MINFILTER, locMin[locFilter]);
            locSetSamplers(GFX_SAMP_MIPFILTER, locMip[locFilter]);
            if (locFilter == 6)
                locSetSamplers(GFX_SAMP_MAXANISOTROPY, 2);
        }
    }
}

void QR_Render::ForgetAppliedSurface()
{
    ourD3DStateCache.myCurrentInstance = nullptr;
    ourD3DStateCache.myLastBlock = nullptr;
}

// The expression language's "TIME" in seconds, 0 when it is not registered.
static float locGameTime()
{
    QR_ExpressionContext* locContext = QR_ExpressionContext::GetInstance();
    const QR_GameVar* v = locContext ? locContext->FindGameVar("TIME") : nullptr;
    if (!v || !v->myVariable)
        return 0.0f;
    switch (v->myKind)
    {
    case QR_VAR_FLOAT: return *(const float*)v->myVariable;
    case QR_VAR_DOUBLE: return (float)*(const double*)v->myVariable;
    case QR_VAR_INT: return (float)*(const int32_t*)v->myVariable;
    default: return (float)*(const uint8_t*)v->myVariable;
    }
}

static void locSetDepthWrite(GFX_Device* aDevice, uint32_t aValue)
{
    ourD3DStateCache.mySurfaceDepthWrite = aValue;
    aDevice->SetRenderState(GFX_RS_ZWRITEENABLE, aValue);
}

// Depth writes as the render-state record has them, when the surface binding left another.
static void locRestoreDepthWrite(GFX_Device* aDevice)
{
    uint32_t locDepthWrite = ourD3DStateCache.myStates.myDepthWriteFlag;
    if (locDepthWrite != 0xFF && ourD3DStateCache.mySurfaceDepthWrite != locDepthWrite)
        locSetDepthWrite(aDevice, locDepthWrite);
}

static void locSetFog(GFX_Device* aDevice, bool aHaveFlag, uint32_t aColor)
{
    if (aHaveFlag && ourD3DStateCache.myFogColor != aColor)
    {
        ourD3DStateCache.myFogColor = aColor;
        aDevice->SetRenderState(GFX_RS_FOGCOLOR, aColor);
    }
}

static void locApplyBlock(const QR_CompiledStageBlock* aBlock)
{
    if (ourD3DStateCache.myLastBlock != aBlock)
    {
        ourD3DStateCache.myLastBlock = aBlock;
        QR_RenderD3D::ApplyStageBlock(aBlock);
    }
}

// The frame of a slot at a time: frame 0 below two frames, else (time x fps) mod count.
static QR_Texture* locFrame(const QR_SurfaceTexture* anEntry, float aTime)
{
    if (!anEntry || anEntry->myNumFrames == 0)
        return nullptr; // a slot without frames binds nothing
    if (anEntry->myNumFrames < 2)
        return anEntry->myFrames[0];
    double locFrames = (double)aTime * anEntry->myFramesPerSecond;
    if (!(locFrames >= 0.0)) // negative or not a number
        locFrames = 0.0;
    uint64_t locIndex = locFrames < 1.8e19 ? (uint64_t)locFrames : 0;
    return anEntry->myFrames[locIndex % anEntry->myNumFrames];
}

void QR_RenderD3D::SetSurface(QR_SurfaceInstance* anInstance, uint32_t aColor, float aTime)
{
    GFX_Device* locDevice = ourDevice;
    if (!locDevice)
        return;
    QR_D3DStateCache& c = ourD3DStateCache;
    c.myCurrentInstance = anInstance;
    c.myDrawAlpha = aColor >> 24;
    bool locPixelShaderFlag = myRenderSettings.myPixelShaderFlag != 0;
    if (c.myDrawColor != aColor)
    {
        c.myDrawColor = aColor;
        if (locPixelShaderFlag)
        {
            float c0[4] = {((aColor >> 16) & 0xFF) / 255.0f, ((aColor >> 8) & 0xFF) / 255.0f, (aColor & 0xFF) / 255.0f,
                           (aColor >> 24) / 255.0f};
            float c1[4] = {2 * c0[0] - 1, 2 * c0[1] - 1, 2 * c0[2] - 1, 2 * c0[3] - 1};
            locDevice->SetPixelShaderConstantF(0, c0, 1);
            locDevice->SetPixelShaderConstantF(1, c1, 1);
        }
        else
            locDevice->SetRenderState(GFX_RS_TEXTUREFACTOR, aColor);
    }
    QR_View* locView = QR_View::ourCurrentView;
    QR_Surface* locSurface = anInstance ? anInstance->mySurface : nullptr;
    if (!locSurface || !locSurface->myPass)
    {
        // No surface: vertex colour times the draw colour.
        locSetFog(locDevice, locView != nullptr, locView ? locView->myFogColor : 0);
        locRestoreDepthWrite(locDevice);
        locApplyBlock(&ourDefaultStageBlock);
        for (uint32_t i = 0; i < c.myNumBoundStages && i < 8; i++)
            c.myTextures[i] = nullptr;
        c.myNumBoundStages = 1;
        return;
    }

    const QR_SurfacePass* locPass = c.myDrawAlpha < 255 ? locSurface->myFadePass : locSurface->myPass;
    if (locPass->myFogColorFlag)
        locSetFog(locDevice, true, locPass->myFogColor);
    else
        locSetFog(locDevice, locView != nullptr, locView ? locView->myFogColor : 0);
    if (locPass->myZWriteMode == 1 || locPass->myZWriteMode == 2)
        locSetDepthWrite(locDevice, locPass->myZWriteMode == 1 ? 1 : 0);
    else
        locRestoreDepthWrite(locDevice);
    if (locPass->myAlphaTestFlag)
    {
        // A fading surface keeps its cut-out edge proportional to its opacity.
        uint32_t locRef = anInstance->myAlphaRef * c.myDrawAlpha / 255;
        if (c.myAlphaRef != locRef)
        {
            c.myAlphaRef = locRef;
            locDevice->SetRenderState(GFX_RS_ALPHAREF, locRef);
        }
    }

    float locTime = aTime < 0.0f ? locGameTime() : aTime;
    uint32_t locNumUnits = locPass->myNumRemapEntries < 8 ? locPass->myNumRemapEntries : 8;
    for (uint32_t i = 0; i < locNumUnits; i++)
    {
        uint32_t locSlot = locPass->myTextureIndexRemapList[i];
        const QR_SurfaceTexture* locEntry = locSlot < anInstance->myNumTextures ? &anInstance->myTextures[locSlot] : nullptr;
        QR_Texture* locTexture = locFrame(locEntry, locTime);
        if (c.myTextures[i] != locTexture)
        {
            c.myTextures[i] = locTexture;
            QR_D3DTexture* d = locTexture ? locTexture->myDeviceData : nullptr;
            locDevice->SetTexture(i, d ? (d->myTexture ? d->myTexture : d->myCubeTexture) : nullptr);
        }
        if (locSlot < locSurface->myNumTextureNames &&
            locSurface->myTextureNames[locSlot].myType == QR_SURFACETEXTURETYPE_BUMPMAP)
        {
            uint32_t locStage = locPixelShaderFlag ? i + 1 : i;
            if (locStage < 8)
            {
                // A rotation by 0 scaled by 0.013.
                locDevice->SetTextureStageState(locStage, GFX_TSS_BUMPENVMAT00, GFX_FloatBits(0.013f * cosf(0.0f)));
                locDevice->SetTextureStageState(locStage, GFX_TSS_BUMPENVMAT01, GFX_FloatBits(-0.013f * sinf(0.0f)));
                locDevice->SetTextureStageState(locStage, GFX_TSS_BUMPENVMAT10, GFX_FloatBits(0.013f * sinf(0.0f)));
                locDevice->SetTextureStageState(locStage, GFX_TSS_BUMPENVMAT11, GFX_FloatBits(0.013f * cosf(0.0f)));
            }
        }
    }
    for (uint32_t i = locNumUnits; i < c.myNumBoundStages && i < 8; i++)
        c.myTextures[i] = nullptr;
    c.myNumBoundStages = locNumUnits;
    locApplyBlock(locPass->myBlock);
}

void QR_RenderD3D::SetView(QR_View* aView)
{
    QC_ASSERT(aView);
    ourProjectionMatrix = &aView->myViewProjectionMatrix;
    // The view rectangle cut to the target (64-bit sums); when nothing is left the view
    // draws nothing rather than falling back to a whole-target viewport.
    int64_t locWidth = myRenderSettings.myWidth;
    int64_t locHeight = myRenderSettings.myHeight;
    if (myRenderTarget && myRenderTarget->myWidth > 0 && myRenderTarget->myHeight > 0)
    {
        locWidth = myRenderTarget->myWidth;
        locHeight = myRenderTarget->myHeight;
    }
    const QR_Camera& c = aView->myCamera;
    const int64_t locLeft = std::max<int64_t>(c.myViewportX, 0);
    const int64_t locTop = std::max<int64_t>(c.myViewportY, 0);
    const int64_t locRight = std::min<int64_t>(int64_t(c.myViewportX) + c.myViewportWidth, locWidth);
    const int64_t locBottom = std::min<int64_t>(int64_t(c.myViewportY) + c.myViewportHeight, locHeight);
    ourEmptyViewFlag = locLeft >= locRight || locTop >= locBottom;
    if (ourEmptyViewFlag || !ourDevice)
        return;
    GFX_Viewport locViewport;
    locViewport.myX = (uint32_t)locLeft;
    locViewport.myY = (uint32_t)locTop;
    locViewport.myWidth = (uint32_t)(locRight - locLeft);
    locViewport.myHeight = (uint32_t)(locBottom - locTop);
    locViewport.myMinZ = 0.0f;
    locViewport.myMaxZ = 1.0f;
    ourDevice->SetViewport(locViewport);
}
