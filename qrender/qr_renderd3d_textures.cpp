// Device textures of the renderer's back end: textures from prepared pixels, cube faces,
// render targets with their depth buffers, levels already in a device format, DDS files,
// locks of procedural textures and the render target.
#include <new>
#include <stdio.h>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qfile/render/qf_file.h"
#include "qrender/qr_renderd3d_local.h"
#include "qrender/qr_texture.h"

// The cube texture whose faces are being filled: kind 2 makes it, kinds 3 to 7 fill it.
static GFX_Texture* ourCubeTexture = nullptr;
static uint32_t ourCubeEdge = 0;

uint32_t QR_ConvertPixels(GFX_Format aFormat, const uint32_t* aSource, uint32_t aWidth, uint32_t aHeight,
                          uint8_t* aDest, int32_t aPitch)
{
    uint32_t locBytes = GFX_FormatBytesPerPixel(aFormat);
    switch (aFormat)
    {
    case GFX_FORMAT_R8G8B8:
    case GFX_FORMAT_A8R8G8B8:
    case GFX_FORMAT_X8R8G8B8:
    case GFX_FORMAT_R5G6B5:
    case GFX_FORMAT_X1R5G5B5:
    case GFX_FORMAT_A1R5G5B5:
    case GFX_FORMAT_A4R4G4B4:
        break;
    default:
        return 0;
    }
    for (uint32_t y = 0; y < aHeight; y++)
    {
        const uint32_t* s = aSource + (size_t)y * aWidth;
        uint8_t* d = aDest + (ptrdiff_t)y * aPitch;
        for (uint32_t x = 0; x < aWidth; x++, d += locBytes)
        {
            uint32_t p = s[x];
            uint32_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            uint32_t v;
            switch (aFormat)
            {
            case GFX_FORMAT_R8G8B8:
                d[0] = (uint8_t)b, d[1] = (uint8_t)g, d[2] = (uint8_t)r;
                continue;
            case GFX_FORMAT_A8R8G8B8:
            case GFX_FORMAT_X8R8G8B8:
                memcpy(d, &p, 4);
                continue;
            case GFX_FORMAT_R5G6B5:
                v = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
                break;
            case GFX_FORMAT_A4R4G4B4:
                v = (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4);
                break;
            default: // X1R5G5B5, A1R5G5B5
                v = (a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
                break;
            }
            d[0] = (uint8_t)v, d[1] = (uint8_t)(v >> 8);
        }
    }
    return aWidth * aHeight * locBytes;
}

static bool locIsOutOfMemory()
{
    GFX_ErrorCode locCode = GFX_GetLastError();
    return locCode == GFX_ERROR_OUT_OF_VIDEO_MEMORY || locCode == GFX_ERROR_OUT_OF_MEMORY;
}

// One retry after evicting managed resources when the device runs out of memory.
static GFX_Texture* locCreateTexture(const GFX_TextureDesc& aDesc)
{
    GFX_Texture* locTexture = QR_RenderD3D::ourDevice->CreateTexture(aDesc);
    if (!locTexture && locIsOutOfMemory())
    {
        QR_RenderD3D::ourDevice->EvictManagedResources();
        locTexture = QR_RenderD3D::ourDevice->CreateTexture(aDesc);
    }
    return locTexture;
}

static GFX_Surface* locCreateDepthSurface(uint32_t aWidth, uint32_t aHeight, GFX_Format aFormat)
{
    GFX_Surface* locSurface = QR_RenderD3D::ourDevice->CreateDepthStencilSurface(aWidth, aHeight, aFormat);
    if (!locSurface && locIsOutOfMemory())
    {
        QR_RenderD3D::ourDevice->EvictManagedResources();
        locSurface = QR_RenderD3D::ourDevice->CreateDepthStencilSurface(aWidth, aHeight, aFormat);
    }
    return locSurface;
}

// Copies the rows of one level in a device format into a locked level.
static bool locFillLevel(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel, uint32_t aLockFlags,
                         const uint8_t* aSource, uint32_t aRowBytes, uint32_t aRows)
{
    GFX_LockedRect locRect;
    if (!QR_RenderD3D::ourDevice->LockTexture(aTexture, aFace, aLevel, aLockFlags, &locRect))
        return false;
    for (uint32_t y = 0; y < aRows; y++)
        memcpy((uint8_t*)locRect.myBits + (ptrdiff_t)y * locRect.myPitch, aSource + (size_t)y * aRowBytes, aRowBytes);
    QR_RenderD3D::ourDevice->UnlockTexture(aTexture, aFace, aLevel);
    return true;
}

static bool locConvertLevel(GFX_Texture* aTexture, GFX_CubeFace aFace, uint32_t aLevel, uint32_t aLockFlags,
                            GFX_Format aFormat, const uint32_t* aPixels, uint32_t aWidth, uint32_t aHeight,
                            uint32_t* aBytesOut)
{
    GFX_LockedRect locRect;
    if (!aPixels || !QR_RenderD3D::ourDevice->LockTexture(aTexture, aFace, aLevel, aLockFlags, &locRect))
        return false;
    *aBytesOut = QR_ConvertPixels(aFormat, aPixels, aWidth, aHeight, (uint8_t*)locRect.myBits, locRect.myPitch);
    QR_RenderD3D::ourDevice->UnlockTexture(aTexture, aFace, aLevel);
    return *aBytesOut != 0;
}

static bool locAttach(QR_Texture* aTexture, GFX_Texture* aPlain, GFX_Texture* aCube, GFX_Surface* aDepth,
                      uint32_t aMemory)
{
    QR_D3DTexture* locRecord = new (std::nothrow) QR_D3DTexture();
    if (!locRecord)
        return false;
    locRecord->myTexture = aPlain;
    locRecord->myCubeTexture = aCube;
    locRecord->myDepthSurface = aDepth;
    locRecord->myMemory = aMemory;
    aTexture->myDeviceData = locRecord;
    QR_Render::ourStats.myTextureMemory += aMemory;
    return true;
}

bool QR_RenderD3D::CreateDeviceTexture(QR_Texture* aTexture, void** aLevelList, uint32_t aNumLevels,
                                       uint32_t aFormatKind)
{
    GFX_Device* locDevice = ourDevice;
    if (!locDevice || aTexture->myWidth <= 0 || aTexture->myHeight <= 0 || aNumLevels == 0)
        return false;
    if ((aTexture->myFlags & QR_TEXTUREFLAG_EXACTSIZE) && !ourNonPow2ConditionalFlag)
        return false;
    uint32_t w = (uint32_t)aTexture->myWidth, h = (uint32_t)aTexture->myHeight;
    GFX_TextureDesc locDesc;
    locDesc.myWidth = w;
    locDesc.myHeight = h;

    if (aTexture->myFlags & QR_TEXTUREFLAG_RENDERTARGET)
    {
        if (!(aTexture->myFlags & QR_TEXTUREFLAG_RENDERTARGET_DEPTH))
            return false;
        locDesc.myFormat = ourBackBufferFormat;
        locDesc.myUsage = GFX_USAGE_RENDERTARGET;
        locDesc.myPool = GFX_POOL_DEFAULT;
        aTexture->myDeviceFormat = TextureFormatCode(ourBackBufferFormat);
        GFX_Texture* locTexture = locCreateTexture(locDesc);
        if (!locTexture)
            return false;
        GFX_Surface* locDepth = locCreateDepthSurface(w, h, ourDepthStencilFormat);
        if (!locDepth || !locAttach(aTexture, locTexture, nullptr, locDepth, w * h * 8))
        {
            if (locDepth)
                locDevice->ReleaseSurface(locDepth);
            locDevice->ReleaseTexture(locTexture);
            return false;
        }
        return true;
    }

    if (aFormatKind >= 8)
    {
        GFX_Format locFormat = (GFX_Format)(aFormatKind - 8);
        if (locFormat != GFX_FORMAT_DXT1 && locFormat != GFX_FORMAT_DXT3 && locFormat != GFX_FORMAT_DXT5 &&
            locFormat != GFX_FORMAT_V8U8)
            return false;
        aTexture->myDeviceFormat = 5;
        locDesc.myFormat = locFormat;
        locDesc.myLevels = aNumLevels;
        GFX_Texture* locTexture = locCreateTexture(locDesc);
        if (!locTexture)
            return false;
        uint32_t locMemory = 0;
        for (uint32_t i = 0; i < aNumLevels; i++)
        {
            // True level sizes; DXT rows are rows of whole 4 x 4 blocks.
            uint32_t lw = w >> i ? w >> i : 1, lh = h >> i ? h >> i : 1;
            uint32_t locRowBytes = GFX_FormatPitch(locFormat, lw);
            uint32_t locRows = GFX_FormatIsCompressed(locFormat) ? (lh + 3) / 4 : lh;
            if (!locFillLevel(locTexture, GFX_CUBEFACE_POSITIVE_X, i, 0, (const uint8_t*)aLevelList[i], locRowBytes,
                              locRows))
            {
                locDevice->ReleaseTexture(locTexture);
                return false;
            }
            locMemory += locRowBytes * locRows;
        }
        if (!locAttach(aTexture, locTexture, nullptr, nullptr, locMemory))
        {
            locDevice->ReleaseTexture(locTexture);
            return false;
        }
        return true;
    }

    if (aFormatKind >= 2 && aFormatKind <= 7)
    {
        GFX_CubeFace locFace = (GFX_CubeFace)(aFormatKind - 2);
        uint32_t locBytes = 0;
        if (aFormatKind == 2)
        {
            if (w != h)
                return false;
            locDesc.myFormat = ourTextureFormat24;
            locDesc.myCubeFlag = true;
            GFX_Texture* locCube = locCreateTexture(locDesc);
            if (!locCube)
                return false;
            if (!locConvertLevel(locCube, locFace, 0, 0, ourTextureFormat24, (const uint32_t*)aLevelList[0], w, h,
                                 &locBytes) ||
                !locAttach(aTexture, nullptr, locCube, nullptr, locBytes * 6))
            {
                locDevice->ReleaseTexture(locCube);
                return false;
            }
            ourCubeTexture = locCube;
            ourCubeEdge = w;
            return true;
        }
        // A later face needs the first face's cube, and its size.
        if (!ourCubeTexture || w != ourCubeEdge || h != ourCubeEdge)
            return false;
        return locConvertLevel(ourCubeTexture, locFace, 0, 0, ourTextureFormat24, (const uint32_t*)aLevelList[0], w,
                               h, &locBytes);
    }

    GFX_Format locFormat = aFormatKind == 1 ? ourTextureFormat32 : ourTextureFormat24;
    locDesc.myFormat = locFormat;
    locDesc.myLevels = aNumLevels;
    bool locDynamicFlag = (aTexture->myFlags & QR_TEXTUREFLAG_PROCEDURAL) && ourDynamicTexturesFlag;
    if (locDynamicFlag)
    {
        locDesc.myUsage = GFX_USAGE_DYNAMIC;
        locDesc.myPool = GFX_POOL_DEFAULT;
    }
    GFX_Texture* locTexture = locCreateTexture(locDesc);
    if (!locTexture)
        return false;
    uint32_t locMemory = 0;
    for (uint32_t i = 0; i < aNumLevels; i++)
    {
        uint32_t lw = w >> i ? w >> i : 1, lh = h >> i ? h >> i : 1;
        uint32_t locBytes = 0;
        uint32_t locFlags = (locDynamicFlag && i == 0) ? (uint32_t)GFX_LOCK_DISCARD : 0u;
        if (!locConvertLevel(locTexture, GFX_CUBEFACE_POSITIVE_X, i, locFlags, locFormat,
                             (const uint32_t*)aLevelList[i], lw, lh, &locBytes))
        {
            locDevice->ReleaseTexture(locTexture);
            return false;
        }
        locMemory += locBytes;
    }
    if (!locAttach(aTexture, locTexture, nullptr, nullptr, locMemory))
    {
        locDevice->ReleaseTexture(locTexture);
        return false;
    }
    return true;
}

void QR_RenderD3D::ReleaseTexture(QR_Texture* aTexture)
{
    QR_D3DTexture* locRecord = aTexture->myDeviceData;
    if (!locRecord)
        return;
    QR_Render::ourStats.myTextureMemory -= locRecord->myMemory;
    if (ourDevice)
    {
        if (locRecord->myTexture)
            ourDevice->ReleaseTexture(locRecord->myTexture);
        if (locRecord->myCubeTexture)
            ourDevice->ReleaseTexture(locRecord->myCubeTexture);
        if (locRecord->myDepthSurface)
            ourDevice->ReleaseSurface(locRecord->myDepthSurface);
    }
    if (locRecord->myCubeTexture && locRecord->myCubeTexture == ourCubeTexture)
        ourCubeTexture = nullptr;
    for (int i = 0; i < 8; i++)
        if (ourD3DStateCache.myTextures[i] == aTexture)
            ourD3DStateCache.myTextures[i] = nullptr;
    delete locRecord;
    aTexture->myDeviceData = nullptr;
}

// [SECTION] DDS files ---------------------------------------------------------------------------

static uint32_t locWord(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static bool locIsFourTimesPow2(uint32_t aSide)
{
    return aSide >= 4 && aSide % 4 == 0 && ((aSide / 4) & (aSide / 4 - 1)) == 0;
}

bool QR_RenderD3D::LoadDDS(QR_Texture* aTexture, const char* aName)
{
    if (aTexture->myFlags & QR_TEXTUREFLAG_NODDS)
        return false;
    char locName[1100];
    snprintf(locName, sizeof(locName), "%s.dds", aName);
    QF_File locFile;
    if (!locFile.Open(locName, QF_READ))
        return false;
    uint8_t h[128];
    if (locFile.Read(h, 128) != 128 || memcmp(h, "DDS ", 4) != 0)
        return false;
    const uint8_t* d = h + 4;
    uint32_t locFlags = locWord(d + 4), locHeight = locWord(d + 8), locWidth = locWord(d + 12);
    uint32_t locMipCount = locWord(d + 24);
    uint32_t locPFFlags = locWord(d + 76), locFourCC = locWord(d + 80);
    uint32_t locCaps = locWord(d + 104);
    if ((locFlags & 0x1007) != 0x1007)
        return false;
    GFX_Format locFormat;
    if ((locPFFlags & 0x4) && locFourCC == locWord((const uint8_t*)"DXT1"))
        locFormat = GFX_FORMAT_DXT1;
    else if ((locPFFlags & 0x4) && locFourCC == locWord((const uint8_t*)"DXT3"))
        locFormat = GFX_FORMAT_DXT3;
    else if ((locPFFlags & 0x4) && locFourCC == locWord((const uint8_t*)"DXT5"))
        locFormat = GFX_FORMAT_DXT5;
    else if (locPFFlags & 0x80000)
        locFormat = GFX_FORMAT_V8U8;
    else
        return false;
    bool locMipFlag = (locFlags & 0x20000) != 0;
    if (!(locCaps & 0x1000) || (locMipFlag && (locCaps & 0x401008) != 0x401008))
        return false;
    if (!locIsFourTimesPow2(locWidth) || !locIsFourTimesPow2(locHeight))
        return false;
    // Sides the device cannot take, or more levels than the first level's whole chain.
    uint32_t locMaxSide = myCaps.myMaxTextureSize;
    if (locWidth > locMaxSide || locHeight > locMaxSide)
        return false;
    uint32_t locFullChain = 1;
    while (((locWidth > locHeight ? locWidth : locHeight) >> locFullChain) > 0)
        locFullChain++;
    uint32_t locLevels = locMipFlag ? (locMipCount ? locMipCount : 1) : 1;
    if (locLevels > locFullChain)
        return false;

    aTexture->mySourceWidth = (int32_t)locWidth;
    aTexture->mySourceHeight = (int32_t)locHeight;
    aTexture->myFormatKind = (locFormat == GFX_FORMAT_DXT3 || locFormat == GFX_FORMAT_DXT5) ? 1 : 0;

    int32_t locSkip = myRenderSettings.myTextureReduction;
    if (aTexture->myFlags & QR_TEXTUREFLAG_FULLDETAIL)
        locSkip = 0;
    uint8_t* locRead[16] = {};
    uint32_t locNumRead = 0;
    bool locOk = true;
    uint32_t w = locWidth, hh = locHeight;
    for (uint32_t i = 0; i < locLevels && locOk; i++)
    {
        uint64_t locBytes = GFX_FormatLevelSize(locFormat, w, hh);
        uint64_t locLeft = (uint64_t)locFile.GetSize() - locFile.GetPos();
        if (locBytes > locLeft)
            locOk = false;
        else if ((int32_t)i < locSkip && i + 1 < locLevels)
            locFile.Seek((uint32_t)locBytes, SEEK_CUR);
        else
        {
            if (locNumRead == 0)
            {
                aTexture->myWidth = (int32_t)w;
                aTexture->myHeight = (int32_t)hh;
            }
            locRead[locNumRead] = new (std::nothrow) uint8_t[locBytes];
            if (!locRead[locNumRead] || locFile.Read(locRead[locNumRead], (uint32_t)locBytes) != locBytes)
                locOk = false;
            locNumRead++;
        }
        w = w > 1 ? w / 2 : 1;
        hh = hh > 1 ? hh / 2 : 1;
    }
    if (locOk && locFile.GetPos() != locFile.GetSize())
        locOk = false;
    if (locOk)
        locOk = CreateDeviceTexture(aTexture, (void**)locRead, locNumRead, 8 + (uint32_t)locFormat);
    for (uint32_t i = 0; i < locNumRead; i++)
        delete[] locRead[i];
    locFile.Close();
    return locOk;
}

// [SECTION] Locks and the render target ---------------------------------------------------------

bool QR_RenderD3D::LockTexture(QR_Texture* aTexture, void** aBitsOut, int32_t* aPitchOut, uint32_t aLevel)
{
    QC_ASSERT(aTexture->myFlags & QR_TEXTUREFLAG_PROCEDURAL);
    QR_D3DTexture* locRecord = aTexture->myDeviceData;
    if (!ourDevice || !locRecord || !locRecord->myTexture)
        return false;
    uint32_t locFlags = (ourDynamicTexturesFlag && aLevel == 0) ? (uint32_t)GFX_LOCK_DISCARD : 0u;
    GFX_LockedRect locRect;
    if (!ourDevice->LockTexture(locRecord->myTexture, GFX_CUBEFACE_POSITIVE_X, aLevel, locFlags, &locRect))
        return false;
    *aBitsOut = locRect.myBits;
    *aPitchOut = locRect.myPitch;
    return true;
}

void QR_RenderD3D::UnlockTexture(QR_Texture* aTexture, uint32_t aLevel)
{
    QR_D3DTexture* locRecord = aTexture->myDeviceData;
    if (ourDevice && locRecord && locRecord->myTexture)
        ourDevice->UnlockTexture(locRecord->myTexture, GFX_CUBEFACE_POSITIVE_X, aLevel);
}

bool QR_RenderD3D::SetRenderTarget(QR_Texture* aTexture, bool aSetDepthBufferAlsoFlag)
{
    if (aTexture && !(aTexture->myFlags & QR_TEXTUREFLAG_RENDERTARGET))
        return false;
    if (aTexture == myRenderTarget && aTexture)
        return true;
    QC_ASSERT(aSetDepthBufferAlsoFlag);
    if (!aTexture)
    {
        if (ourDevice && ourBackBuffer)
        {
            ourDevice->SetDepthStencilSurface(ourDepthStencil);
            ourDevice->SetRenderTarget(ourBackBuffer);
        }
        myRenderTarget = nullptr;
        myRenderTargetWord = 0;
        return true;
    }
    QR_D3DTexture* locRecord = aTexture->myDeviceData;
    if (!ourDevice || !locRecord || !locRecord->myTexture)
        return false;
    GFX_Surface* locSurface = ourDevice->GetTextureSurface(locRecord->myTexture, GFX_CUBEFACE_POSITIVE_X, 0);
    if (!locSurface || !ourDevice->SetRenderTarget(locSurface) ||
        !ourDevice->SetDepthStencilSurface(locRecord->myDepthSurface))
        return false;
    myRenderTarget = aTexture;
    return true;
}
