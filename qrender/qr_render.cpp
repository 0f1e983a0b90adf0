// The renderer interface's own part: the records' defaults, the singleton, screenshots,
// resource reloads, reset callbacks and the two 2-D drawing set-ups.
#include "qrender/qr_render.h"

#include <new>
#include <stdio.h>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qfile/render/qf_file.h"
#include "qrender/qr_bitmap.h"
#include "qrender/qr_expressions.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertexshader.h"

QR_Render* QR_Render::ourInstance = nullptr;
uint32_t QR_Render::ourFrameCount = 0;
QR_RenderStats QR_Render::ourStats = {};
// The force-flush surfaces: a 16 x 16 texture of 0xFF bytes under "INTERNAL_SOLID".
static QR_SurfaceInstance* locCreateForceFlushSurface(int anIndex)
{
    uint32_t locPixels[16 * 16];
    memset(locPixels, 0xFF, sizeof(locPixels));
    QR_TexturePixels locRecord = {16, 16, 32, locPixels};
    char locName[64];
    snprintf(locName, sizeof(locName), "generated_force_flush_surf%d", anIndex);
    QR_Texture* locTexture = QR_Texture::Acquire(locName, QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord);
    if (!locTexture)
        return nullptr;
    QR_SurfaceInstance* locInstance = QR_Surface::CreateInstanceWithTexture("INTERNAL_SOLID", locName);
    QR_Texture::Release(locTexture); // the instance keeps its own reference
    return locInstance;
}

static void locDestroyForceFlushSurface(QR_SurfaceInstance* anInstance)
{
    delete anInstance;
}

static void locReloadForceFlushSurface(QR_SurfaceInstance* anInstance)
{
    if (anInstance->myNumTextures == 0 || anInstance->myTextures[0].myNumFrames == 0)
        return;
    QR_Texture* locTexture = anInstance->myTextures[0].myFrames[0];
    uint32_t locPixels[16 * 16];
    memset(locPixels, 0xFF, sizeof(locPixels));
    QR_TexturePixels locRecord = {16, 16, 32, locPixels};
    if (locTexture)
        QR_Texture::ReloadFromMemory(locTexture, &locRecord);
}

QR_RenderHooks QR_Render::ourHooks;

QR_RenderHooks::QR_RenderHooks()
    : myReleaseAllMeshDeviceData(QR_Mesh::ReleaseAllDeviceData)
    , myCompileAllMeshVertexShaders(QR_Mesh::CompileAllVertexShaders)
    , myRestoreAllTextures(QR_Texture::RestoreAll)
    , myReloadAllTextures(QR_Texture::ReloadAll)
    , myReleaseAllTextures(QR_Texture::ReleaseAllDeviceTextures)
    , myRecompileAllSurfaces(QR_Surface::RecompileAll)
    , myReleaseAllSurfaceTemplates(QR_Surface::ReleaseAllTemplates)
    , myReloadAllTemplates(QR_TemplateObject::ReloadAll)
    , myCreateForceFlushSurface(locCreateForceFlushSurface)
    , myDestroyForceFlushSurface(locDestroyForceFlushSurface)
    , myDrawForceFlushSurface(QR_Bitmap::DrawForceFlushSurface)
    , myReloadForceFlushSurface(locReloadForceFlushSurface)
{
}

QR_RenderSettings::QR_RenderSettings()
    : myAdapter(-1)
    , myPosX(0)
    , myPosY(0)
    , myWidth(640)
    , myHeight(480)
    , myBitsPerPixel(16)
    , myFullScreenFlag(1)
    , myVertexShaderFlag(1)
    , myPixelShaderFlag(0)
    , myVSyncFlag(1)
    , myRefreshRate(0)
    , myGamma(1.0f)
    , myStencilBufferFlag(0)
    , myAlphaBufferFlag(0)
    , myMultiSampleType(0)
    , myTextureReduction(0)
    , myMipMapLodBias(0.0f)
    , myTextureFilter(5)
{
}

QR_RenderStartupOptions::QR_RenderStartupOptions()
    : myRequireStencilFlag(0)
    , myReserved{0, 0}
{
}

QR_RenderCaps::QR_RenderCaps()
    : myNumFixedStages(1)
    , myMaxTextureSize(256)
    , myMaxTextureAspectRatio(8)
    , myMaxSimultaneousTextures(1)
    , myMaxTextureBlendStages(2)
    , myDXTFlag(0)
    , myVertexShaderFlag(0)
    , myPixelShaderFlag(0)
{
}

QR_RenderStates::QR_RenderStates()
    : myCullMode(2)
    , myDepthTestFlag(1)
    , myDepthFunc(3)
    , myDepthWriteFlag(1)
    , myStencilFlag(0)
    , myStencilFunc(7)
    , myStencilRef(0)
    , myStencilMask(0xFFFFFFFF)
    , myStencilWriteMask(0xFFFFFFFF)
    , myStencilPassOp(0)
    , myStencilFailOp(0)
    , myStencilDepthFailOp(0)
    , myShadeMode(1)
    , myColorWriteFlag(1)
    , myAlphaWriteFlag(0)
    , myTextureWrapFlag(1)
    , myTextureFilter(QR_Render::ourInstance ? (uint32_t)QR_Render::ourInstance->myRenderSettings.myTextureFilter : 5)
{
}

QR_Render::QR_Render()
    : myRenderTarget(nullptr)
    , myRenderTargetWord(0)
    , myAdapterList(nullptr)
    , myIndexBufferList(nullptr)
    , myVertexBufferList(nullptr)
    , myDynamicIndexBuffer(nullptr)
    , myDynamicVertexBuffer(nullptr)
    , mySolid2DSetup(nullptr)
    , myAlpha2DSetup(nullptr)
{
    myResetCallbacks.Init(4, 4, false);
}

QR_Render::~QR_Render()
{
    // Device objects are gone already (Shutdown); only the records stay.
    delete myDynamicIndexBuffer;
    delete myDynamicVertexBuffer;
    while (myIndexBufferList)
    {
        QR_IndexBuffer* locNext = myIndexBufferList->myNext;
        delete myIndexBufferList;
        myIndexBufferList = locNext;
    }
    while (myVertexBufferList)
    {
        QR_VertexBuffer* locNext = myVertexBufferList->myNext;
        delete myVertexBufferList;
        myVertexBufferList = locNext;
    }
    while (myAdapterList)
    {
        QR_AdapterEntry* locNext = myAdapterList->myNext;
        delete[] myAdapterList->myModes;
        delete[] myAdapterList->myDescription;
        delete myAdapterList;
        myAdapterList = locNext;
    }
}

bool QR_Render::Create(QR_HostWindow* aWindow, const QR_RenderStartupOptions* anOptions)
{
    if (ourInstance)
        return false;
    ourInstance = CreateBackEnd();
    if (!ourInstance)
        return false;
    QR_ExpressionContext::Create();
    if (!ourInstance->StartUp(aWindow, anOptions))
        return false;
    // What survived an earlier renderer comes onto this one; results are not examined.
    if (ourHooks.myReleaseAllMeshDeviceData)
        ourHooks.myReleaseAllMeshDeviceData();
    if (ourHooks.myCompileAllMeshVertexShaders)
        ourHooks.myCompileAllMeshVertexShaders();
    if (ourHooks.myRestoreAllTextures)
        ourHooks.myRestoreAllTextures();
    if (ourHooks.myRecompileAllSurfaces)
        ourHooks.myRecompileAllSurfaces();
    return true;
}

void QR_Render::Destroy()
{
    if (ourInstance)
    {
        ourInstance->Shutdown();
        delete ourInstance;
        ourInstance = nullptr;
    }
    if (QR_ExpressionContext::GetInstance())
    {
        QR_ExpressionContext::GetInstance()->ClearGameVars();
        QR_ExpressionContext::Destroy();
    }
}

bool QR_Render::SaveScreenshot(const char* aFileName)
{
    QR_Render* locRender = ourInstance;
    if (!locRender)
        return false;
    uint32_t locWidth = (uint32_t)locRender->myRenderSettings.myWidth;
    uint32_t locHeight = (uint32_t)locRender->myRenderSettings.myHeight;
    uint32_t* locPixels = new (std::nothrow) uint32_t[(size_t)locWidth * locHeight];
    if (!locPixels)
        return false;
    if (!locRender->GrabFrontBuffer(locPixels))
    {
        delete[] locPixels;
        return false;
    }
    uint8_t locHeader[18] = {};
    locHeader[2] = 2; // uncompressed true colour
    locHeader[12] = (uint8_t)(locWidth & 0xFF);
    locHeader[13] = (uint8_t)(locWidth >> 8);
    locHeader[14] = (uint8_t)(locHeight & 0xFF);
    locHeader[15] = (uint8_t)(locHeight >> 8);
    locHeader[16] = 32;
    locHeader[17] = 0x20; // top-left origin

    // The pixels go out as B, G, R, A bytes whatever the host's byte order.
    uint8_t* locBytes = (uint8_t*)locPixels;
    for (size_t i = 0; i < (size_t)locWidth * locHeight; i++)
    {
        uint32_t locPixel = locPixels[i];
        locBytes[4 * i + 0] = (uint8_t)(locPixel);
        locBytes[4 * i + 1] = (uint8_t)(locPixel >> 8);
        locBytes[4 * i + 2] = (uint8_t)(locPixel >> 16);
        locBytes[4 * i + 3] = (uint8_t)(locPixel >> 24);
    }

    QF_File locFile;
    bool locOk = locFile.Open(aFileName, QF_WRITE | QF_CREATE_ALWAYS);
    if (locOk)
    {
        locOk = locFile.Write(locHeader, sizeof(locHeader));
        locOk = locOk && locFile.Write(locPixels, locWidth * locHeight * 4);
        // A failed write-back is a failed screenshot, not a success.
        locOk = locFile.Close() && locOk;
    }
    delete[] locPixels;
    return locOk;
}

bool QR_Render::ReloadResources(uint8_t aFlags)
{
    bool locOk = true;
    if (aFlags & 1)
    {
        if (ourHooks.myReleaseAllSurfaceTemplates)
            ourHooks.myReleaseAllSurfaceTemplates();
        if (ourHooks.myRecompileAllSurfaces && !ourHooks.myRecompileAllSurfaces())
            locOk = false;
        if (ourHooks.myRestoreAllTextures && !ourHooks.myRestoreAllTextures())
            locOk = false;
    }
    if (aFlags & 2)
    {
        if (ourHooks.myReloadAllTemplates && !ourHooks.myReloadAllTemplates())
            locOk = false;
    }
    return locOk;
}

bool QR_Render::AddResetCallback(QR_ResetCallback aCallback)
{
    if (!ourInstance)
        return false;
    return ourInstance->myResetCallbacks.Add(aCallback);
}

void QR_Render::RemoveResetCallback(QR_ResetCallback aCallback)
{
    if (!ourInstance)
        return;
    QC_GrowingArray<QR_ResetCallback>& locList = ourInstance->myResetCallbacks;
    for (int i = 0; i < locList.Count(); i++)
    {
        if (locList[i] == aCallback)
        {
            locList.RemoveAt(i);
            return;
        }
    }
}

static void locBegin2D(QR_Render* aRender, QR_CompiledVertexShader* aSetup, uint32_t aDepthFunc, uint32_t aFilter)
{
    QR_RenderStates locStates;
    locStates.myCullMode = 0;
    locStates.myDepthTestFlag = 1;
    locStates.myDepthFunc = aDepthFunc;
    locStates.myDepthWriteFlag = 0;
    locStates.myStencilFlag = 0;
    locStates.myShadeMode = 1;
    locStates.myColorWriteFlag = 1;
    locStates.myAlphaWriteFlag = 0;
    locStates.myTextureWrapFlag = 1;
    locStates.myTextureFilter = aFilter;
    QR_VertexShader* locKind = QR_VertexShader::ourDefault;
    // 2-D vertices need no world matrix (the last one may belong to an object gone since).
    QR_VertexShader::ourWorldMatrix = nullptr;
    if (locKind && aSetup)
    {
        locKind->Begin(aSetup);
        locKind->SetDataBlock(nullptr);
    }
    aRender->SetRenderStates(&locStates, (uint32_t)-5);
}

void QR_Render::BeginSolid2D()
{
    locBegin2D(this, mySolid2DSetup, 3, 3); // less-or-equal
}

void QR_Render::BeginAlpha2D()
{
    locBegin2D(this, myAlpha2DSetup, 7, 1); // always
}

void QR_Render::BeginAlpha2DFiltered()
{
    locBegin2D(this, myAlpha2DSetup, 7, 3);
}

bool QR_Render::OptimizeVertexOrder(uint8_t* aVertices, uint32_t aNumVertices, uint32_t aVertexSize,
                                    uint16_t* anIndices, uint32_t aNumIndices)
{
    return true;
}

bool QR_Render::OptimizeFaceOrder(uint16_t* anIndices, uint32_t aNumIndices, uint32_t aNumVertices)
{
    return true;
}
