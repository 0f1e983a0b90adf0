// Render states of the renderer's back end: the render-state record applied by group through
// a cache of what the device holds, the surface binding's no-surface path, the render target
// and the view's viewport. Device textures, DDS files and compiled surface passes arrive
// with the texture and surface code; until then their operations refuse.
#include <algorithm>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_renderd3d_local.h"
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

void QR_RenderD3D::SetSurface(QR_SurfaceInstance* anInstance, uint32_t aColor, float aTime)
{
    GFX_Device* locDevice = ourDevice;
    if (!locDevice)
        return;
    if (ourD3DStateCache.myDrawColor != aColor)
    {
        ourD3DStateCache.myDrawColor = aColor;
        locDevice->SetRenderState(GFX_RS_TEXTUREFACTOR, aColor);
    }
    // Surface instances bind through the surface code; what is done here is the pass used
    // for no surface.
    QR_View* locView = QR_View::ourCurrentView;
    if (locView && ourD3DStateCache.myFogColor != locView->myFogColor)
    {
        ourD3DStateCache.myFogColor = locView->myFogColor;
        locDevice->SetRenderState(GFX_RS_FOGCOLOR, locView->myFogColor);
    }
    uint32_t locDepthWrite = ourD3DStateCache.myStates.myDepthWriteFlag;
    if (locDepthWrite != 0xFF && ourD3DStateCache.mySurfaceDepthWrite != locDepthWrite)
    {
        ourD3DStateCache.mySurfaceDepthWrite = locDepthWrite;
        locDevice->SetRenderState(GFX_RS_ZWRITEENABLE, locDepthWrite);
    }
    if (ourD3DStateCache.myLastBlock != &ourDefaultStageBlock)
    {
        ourD3DStateCache.myLastBlock = &ourDefaultStageBlock;
        ApplyStageBlock(&ourDefaultStageBlock);
    }
    for (uint32_t i = 0; i < ourD3DStateCache.myNumBoundStages && i < 8; i++)
        ourD3DStateCache.myTextures[i] = nullptr;
    ourD3DStateCache.myNumBoundStages = 1;
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
    const int64_t locLeft = std::max<int64_t>(aView->myViewportX, 0);
    const int64_t locTop = std::max<int64_t>(aView->myViewportY, 0);
    const int64_t locRight = std::min<int64_t>(int64_t(aView->myViewportX) + aView->myViewportWidth, locWidth);
    const int64_t locBottom = std::min<int64_t>(int64_t(aView->myViewportY) + aView->myViewportHeight, locHeight);
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

bool QR_RenderD3D::CompileSurfaceTemplate(QR_Surface* aSurface)
{
    return false;
}

void QR_RenderD3D::ReleaseSurfaceTemplate(QR_Surface* aSurface) {}
