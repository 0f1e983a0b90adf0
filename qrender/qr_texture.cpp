// Textures: the process-wide list, acquisition by normalised name, and the preparation of
// pixels for the device (power-of-two sizing, detail reduction, device limits, resampling,
// the mip-map chain).
//
// [SECTION] The list
// [SECTION] Loading
// [SECTION] Sizing, resampling and mip-maps
#include "qrender/qr_texture.h"

#include <new>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qrender/qr_error.h"
#include "qrender/qr_render.h"

QR_Texture* QR_Texture::ourFirst = nullptr;

// The smallest side the device takes; the mip-map chain ends there.
static const int32_t locMinTextureSide = 1;

// [SECTION] The list --------------------------------------------------------------------------

void QR_Texture::NormaliseName(const char* aName, char* aResult, uint32_t aSize)
{
    uint32_t n = 0;
    for (; aName[n] && n + 1 < aSize; n++)
    {
        char c = aName[n];
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        else if (c == '\\')
            c = '/';
        aResult[n] = c;
    }
    aResult[n] = 0;
    // The extension ends at the last '.' after the last '/'.
    for (uint32_t i = n; i-- > 0;)
    {
        if (aResult[i] == '/')
            break;
        if (aResult[i] == '.')
        {
            aResult[i] = 0;
            break;
        }
    }
}

QR_Texture::QR_Texture(const char* aName, uint32_t aFlags, uint32_t aFormatKind)
    : myRefCount(1)
    , myName(nullptr)
    , myPrev(nullptr)
    , myNext(ourFirst)
    , myUpdater(nullptr)
    , myWidth(-1)
    , myHeight(-1)
    , mySourceWidth(-1)
    , mySourceHeight(-1)
    , myBitsPerPixel(0)
    , myFormatKind(aFormatKind)
    , myDeviceFormat(5)
    , myMemoryTextureBuffer(nullptr)
    , myFlags(aFlags)
    , myDeviceData(nullptr)
{
    size_t locLength = strlen(aName);
    myName = new char[locLength + 1];
    memcpy(myName, aName, locLength + 1);
    if (ourFirst)
        ourFirst->myPrev = this;
    ourFirst = this;
}

QR_Texture::~QR_Texture()
{
    if (myDeviceData && QR_Render::ourInstance)
        QR_Render::ourInstance->ReleaseTexture(this);
    delete[] myName;
    if (myPrev)
        myPrev->myNext = myNext;
    else
        ourFirst = myNext;
    if (myNext)
        myNext->myPrev = myPrev;
    delete[] myMemoryTextureBuffer;
}

QR_Texture* QR_Texture::Find(const char* aNormalisedName, uint32_t aFormatKind)
{
    for (QR_Texture* t = ourFirst; t; t = t->myNext)
        if (strcmp(t->myName, aNormalisedName) == 0 &&
            (t->myFormatKind == aFormatKind || (aFormatKind == 0 && t->myFormatKind == 1)))
            return t;
    return nullptr;
}

QR_Texture* QR_Texture::Acquire(const char* aName, uint32_t aFlags, uint32_t aFormatKind, QR_TexturePixels* aPixels)
{
    if ((aFlags & QR_TEXTUREFLAG_RENDERTARGET_DEPTH) && !(aFlags & QR_TEXTUREFLAG_RENDERTARGET))
        return nullptr;
    if (aFlags & QR_TEXTUREFLAG_EXACTSIZE)
        aFlags |= QR_TEXTUREFLAG_NOMIPMAPS;
    char locName[1024];
    NormaliseName(aName ? aName : "", locName, sizeof(locName));
    QR_Texture* locTexture = Find(locName, aFormatKind);
    if (locTexture)
    {
        locTexture->myRefCount++;
        return locTexture;
    }
    locTexture = new (std::nothrow) QR_Texture(locName, aFlags, aFormatKind);
    if (!locTexture)
        return nullptr;
    if (!locTexture->Load(aPixels))
    {
        delete locTexture;
        return nullptr;
    }
    return locTexture;
}

void QR_Texture::Release(QR_Texture* aTexture)
{
    if (aTexture && --aTexture->myRefCount <= 0)
        delete aTexture;
}

void QR_Texture::DestroyAll()
{
    while (ourFirst)
        delete ourFirst;
}

void QR_Texture::ReleaseAllDeviceTextures()
{
    for (QR_Texture* t = ourFirst; t; t = t->myNext)
        ReleaseDeviceTexture(t);
}

bool QR_Texture::ReleaseDeviceTexture(QR_Texture* aTexture)
{
    if (aTexture->myDeviceData && QR_Render::ourInstance)
        QR_Render::ourInstance->ReleaseTexture(aTexture);
    return true;
}

bool QR_Texture::ReloadAll()
{
    for (QR_Texture* t = ourFirst; t; t = t->myNext)
    {
        // Pixels handed out once have no device texture to make again.
        if (t->myFlags & QR_TEXTUREFLAG_PIXELSONLY)
            continue;
        if (!t->Load(nullptr))
            return false;
    }
    return true;
}

bool QR_Texture::RestoreAll()
{
    ReleaseAllDeviceTextures();
    return ReloadAll();
}

bool QR_Texture::Reload(QR_Texture* aTexture)
{
    return aTexture->Load(nullptr);
}

// Whether the record holds exactly the pixels of aTexture's memory copy.
static bool locSamePixels(const QR_Texture* aTexture, const QR_TexturePixels* aPixels)
{
    const uint32_t* m = aTexture->myMemoryTextureBuffer;
    if (!m || !aPixels || !aPixels->myPixels || (int32_t)aPixels->myWidth != aTexture->mySourceWidth ||
        (int32_t)aPixels->myHeight != aTexture->mySourceHeight ||
        (int32_t)aPixels->myBitsPerPixel != aTexture->myBitsPerPixel)
        return false;
    size_t n = (size_t)aPixels->myWidth * aPixels->myHeight;
    if (aPixels->myBitsPerPixel == 32)
        return memcmp(m, aPixels->myPixels, n * 4) == 0;
    if (aPixels->myBitsPerPixel != 24)
        return false;
    const uint8_t* s = (const uint8_t*)aPixels->myPixels;
    for (size_t i = 0; i < n; i++, s += 3)
        if (m[i] != (0xFF000000u | (uint32_t)s[0] << 16 | (uint32_t)s[1] << 8 | s[2]))
            return false;
    return true;
}

bool QR_Texture::ReloadFromMemory(QR_Texture* aTexture, QR_TexturePixels* aPixels)
{
    QC_ASSERT(aTexture->myFlags & QR_TEXTUREFLAG_FROMMEMORY);
    // The device texture already holds what a load of these very pixels would make (the
    // renderer's force-flush reload every frame): nothing to allocate or upload.
    if (aTexture->myDeviceData && locSamePixels(aTexture, aPixels))
        return true;
    ReleaseDeviceTexture(aTexture);
    delete[] aTexture->myMemoryTextureBuffer;
    aTexture->myMemoryTextureBuffer = nullptr;
    return aTexture->Load(aPixels);
}

void QR_Texture::UpdateProcedural(float anElapsedSeconds)
{
    for (QR_Texture* t = ourFirst; t; t = t->myNext)
    {
        if (!t->myUpdater)
            continue;
        QR_TexturePixels locPixels = {(uint32_t)t->myWidth, (uint32_t)t->myHeight, 0, nullptr};
        if (t->myUpdater->Update(t, &locPixels, anElapsedSeconds))
            ReloadFromMemory(t, &locPixels);
    }
}

void QR_Texture::FreePixels(void* aPixels)
{
    delete[] (uint32_t*)aPixels;
}

// [SECTION] Loading ---------------------------------------------------------------------------

bool QR_Texture::Fail(uint32_t aCode)
{
    QR_Error::SetCode(aCode);
    QR_Error::Printf("File: '%s'", myName);
    return false;
}

static int32_t locRoundUpToPow2(int32_t aSide)
{
    if (aSide > 4096)
        return 4096; // cut, not rounded
    int32_t locSide = 1;
    while (locSide < aSide)
        locSide <<= 1;
    return locSide;
}

// Nearest sampling: a position starting at 0 grows by source / device per step.
static void locResample(const uint32_t* aSource, int32_t aSourceWidth, int32_t aSourceHeight, uint32_t* aDest,
                        int32_t aWidth, int32_t aHeight, bool aStretchFlag)
{
    double locStepY = (double)aSourceHeight / aHeight;
    double locStepX = (double)aSourceWidth / aWidth;
    bool locSampleRows = aStretchFlag || aHeight < aSourceHeight;
    bool locSampleColumns = aStretchFlag || aWidth < aSourceWidth;
    for (int32_t y = 0; y < aHeight; y++)
    {
        uint32_t* locRow = aDest + (size_t)y * aWidth;
        int32_t locSourceY = locSampleRows ? (int32_t)(y * locStepY) : y;
        if (locSourceY >= aSourceHeight)
        {
            if (!locSampleRows)
            {
                memset(locRow, 0, (size_t)aWidth * 4); // below the image
                continue;
            }
            locSourceY = aSourceHeight - 1;
        }
        const uint32_t* locSourceRow = aSource + (size_t)locSourceY * aSourceWidth;
        if (locSampleColumns)
        {
            for (int32_t x = 0; x < aWidth; x++)
            {
                int32_t locSourceX = (int32_t)(x * locStepX);
                locRow[x] = locSourceRow[locSourceX < aSourceWidth ? locSourceX : aSourceWidth - 1];
            }
        }
        else
        {
            memcpy(locRow, locSourceRow, (size_t)aSourceWidth * 4);
            memset(locRow + aSourceWidth, 0, (size_t)(aWidth - aSourceWidth) * 4);
        }
    }
}

// One mip level from the previous one: 2 x 2 boxes, or pairs where a side is 1.
static uint32_t* locHalve(const uint32_t* aSource, int32_t aWidth, int32_t aHeight, int32_t* aWidthOut,
                          int32_t* aHeightOut)
{
    int32_t w = aWidth > 1 ? aWidth / 2 : 1;
    int32_t h = aHeight > 1 ? aHeight / 2 : 1;
    uint32_t* locLevel = new (std::nothrow) uint32_t[(size_t)w * h];
    if (!locLevel)
        return nullptr;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
        {
            uint32_t p[4];
            int n;
            if (aWidth > 1 && aHeight > 1)
            {
                const uint32_t* s = aSource + (size_t)(2 * y) * aWidth + 2 * x;
                p[0] = s[0], p[1] = s[1], p[2] = s[aWidth], p[3] = s[aWidth + 1];
                n = 4;
            }
            else if (aWidth > 1)
                p[0] = aSource[2 * x], p[1] = aSource[2 * x + 1], n = 2;
            else if (aHeight > 1)
                p[0] = aSource[(size_t)2 * y], p[1] = aSource[(size_t)2 * y + 1], n = 2;
            else
                p[0] = aSource[0], n = 1;
            uint32_t locOut = 0;
            for (int c = 0; c < 32; c += 8)
            {
                uint32_t locSum = 0;
                for (int k = 0; k < n; k++)
                    locSum += (p[k] >> c) & 0xFF;
                locOut |= (locSum >> (n == 4 ? 2 : n == 2 ? 1 : 0)) << c;
            }
            locLevel[(size_t)y * w + x] = locOut;
        }
    *aWidthOut = w;
    *aHeightOut = h;
    return locLevel;
}

bool QR_Texture::Load(QR_TexturePixels* aPixels)
{
    QR_Render* locRender = QR_Render::ourInstance;
    if (myDeviceData && locRender)
        locRender->ReleaseTexture(this);

    // 1. Source pixels.
    uint32_t* locSource = nullptr;
    bool locOwnSourceFlag = false;
    if (myFlags & QR_TEXTUREFLAG_RENDERTARGET)
    {
        if (mySourceWidth == -1)
        {
            QC_ASSERT(aPixels);
            mySourceWidth = (int32_t)aPixels->myWidth;
            mySourceHeight = (int32_t)aPixels->myHeight;
            myBitsPerPixel = (int32_t)aPixels->myBitsPerPixel;
        }
        if (mySourceWidth <= 0 || mySourceHeight <= 0)
            return Fail(QR_ERROR_DEVICE_TEXTURE);
    }
    else if (myFlags & QR_TEXTUREFLAG_FROMMEMORY)
    {
        if (!myMemoryTextureBuffer)
        {
            QC_ASSERT(aPixels && aPixels->myPixels);
            uint32_t w = aPixels->myWidth, h = aPixels->myHeight, locBits = aPixels->myBitsPerPixel;
            if (w == 0 || h == 0 || w > 65535 || h > 65535 || (locBits != 24 && locBits != 32))
                return Fail(QR_ERROR_IMAGE_FORMAT);
            myMemoryTextureBuffer = new (std::nothrow) uint32_t[(size_t)w * h];
            QC_ASSERT(myMemoryTextureBuffer);
            if (locBits == 32)
                memcpy(myMemoryTextureBuffer, aPixels->myPixels, (size_t)w * h * 4);
            else
            {
                const uint8_t* s = (const uint8_t*)aPixels->myPixels;
                for (size_t i = 0; i < (size_t)w * h; i++, s += 3)
                    myMemoryTextureBuffer[i] = 0xFF000000u | (uint32_t)s[0] << 16 | (uint32_t)s[1] << 8 | s[2];
            }
            mySourceWidth = (int32_t)w;
            mySourceHeight = (int32_t)h;
            myBitsPerPixel = (int32_t)locBits;
        }
        locSource = myMemoryTextureBuffer;
    }
    else
    {
        if (!(myFlags & QR_TEXTUREFLAG_PIXELSONLY) && locRender && locRender->myCaps.myDXTFlag &&
            locRender->LoadDDS(this, myName))
            return true;
        uint32_t locBits = 0;
        int32_t locResult = QR_LoadTGA(this, &locSource, &locBits);
        if (locResult == -1)
            return Fail(QR_ERROR_TEXTURE_FILE);
        if (locResult != 0)
            return Fail(QR_ERROR_IMAGE_FORMAT);
        myBitsPerPixel = (int32_t)locBits;
        locOwnSourceFlag = true;
    }

    // 2. The source is known.
    if (myBitsPerPixel == 32 && myFormatKind == 0)
        myFormatKind = 1;

    // 3. Pixels only: handed to the caller as they are.
    if (myFlags & QR_TEXTUREFLAG_PIXELSONLY)
    {
        myWidth = mySourceWidth;
        myHeight = mySourceHeight;
        if (aPixels && locOwnSourceFlag)
        {
            aPixels->myWidth = (uint32_t)mySourceWidth;
            aPixels->myHeight = (uint32_t)mySourceHeight;
            aPixels->myBitsPerPixel = 32;
            aPixels->myPixels = locSource;
        }
        else if (locOwnSourceFlag)
            delete[] locSource;
        return true;
    }
    if (!locRender)
    {
        if (locOwnSourceFlag)
            delete[] locSource;
        return Fail(QR_ERROR_DEVICE_TEXTURE);
    }

    // 4.-6. Device size.
    int32_t w = mySourceWidth, h = mySourceHeight;
    const QR_RenderSettings& s = locRender->myRenderSettings;
    const QR_RenderCaps& c = locRender->myCaps;
    if (!(myFlags & QR_TEXTUREFLAG_EXACTSIZE))
    {
        w = locRoundUpToPow2(w);
        h = locRoundUpToPow2(h);
        if (s.myTextureReduction > 0 && !(myFlags & QR_TEXTUREFLAG_FULLDETAIL))
            for (int32_t i = 0; i < s.myTextureReduction && (w > 1 || h > 1); i++)
            {
                w = w > 1 ? w / 2 : 1;
                h = h > 1 ? h / 2 : 1;
            }
    }
    int32_t locMaxSide = (int32_t)c.myMaxTextureSize;
    if (locMaxSide > 0)
    {
        w = w > locMaxSide ? locMaxSide : w;
        h = h > locMaxSide ? locMaxSide : h;
    }
    w = w < locMinTextureSide ? locMinTextureSide : w;
    h = h < locMinTextureSide ? locMinTextureSide : h;
    int32_t locAspect = (int32_t)c.myMaxTextureAspectRatio;
    if (locAspect > 0)
    {
        if (w > (int64_t)h * locAspect)
            h = w / locAspect;
        else if (h > (int64_t)w * locAspect)
            w = h / locAspect;
    }
    if ((myFlags & QR_TEXTUREFLAG_EXACTSIZE) && (w != mySourceWidth || h != mySourceHeight))
    {
        if (locOwnSourceFlag)
            delete[] locSource;
        return Fail(QR_ERROR_TEXTURE_FILE);
    }
    myWidth = w;
    myHeight = h;

    // 7. Resampling.
    uint32_t* locLevel0 = locSource;
    if (locSource && (w != mySourceWidth || h != mySourceHeight))
    {
        locLevel0 = new (std::nothrow) uint32_t[(size_t)w * h];
        if (!locLevel0)
        {
            if (locOwnSourceFlag)
                delete[] locSource;
            return Fail(QR_ERROR_DEVICE_TEXTURE);
        }
        locResample(locSource, mySourceWidth, mySourceHeight, locLevel0, w, h,
                    (myFlags & QR_TEXTUREFLAG_STRETCH) != 0);
        if (locOwnSourceFlag)
            delete[] locSource;
        locOwnSourceFlag = true;
    }

    // 8. Mip-map chain.
    uint32_t* locLevels[16] = {locLevel0};
    uint32_t locNumLevels = 1;
    if (locLevel0 && !(myFlags & (QR_TEXTUREFLAG_NOMIPMAPS | QR_TEXTUREFLAG_RENDERTARGET)) && s.myTextureFilter >= 2)
    {
        uint32_t locQuotient = (uint32_t)((w > h ? w : h) / locMinTextureSide);
        uint32_t locBits = 0;
        while (locQuotient >> locBits)
            locBits++;
        uint32_t locWanted = locBits ? locBits : 1;
        int32_t lw = w, lh = h;
        while (locNumLevels < locWanted && locNumLevels < 16)
        {
            uint32_t* locNext = locHalve(locLevels[locNumLevels - 1], lw, lh, &lw, &lh);
            if (!locNext)
                break;
            locLevels[locNumLevels++] = locNext;
        }
    }

    // 9. The device texture.
    bool locOk = locRender->CreateDeviceTexture(this, (void**)locLevels, locNumLevels, myFormatKind);

    // 10. Level buffers: level 0 goes back to a caller that gave a record for a file.
    for (uint32_t i = 1; i < locNumLevels; i++)
        delete[] locLevels[i];
    if (locOwnSourceFlag)
    {
        if (locOk && aPixels && locLevel0 && !(myFlags & QR_TEXTUREFLAG_FROMMEMORY))
        {
            aPixels->myWidth = (uint32_t)w;
            aPixels->myHeight = (uint32_t)h;
            aPixels->myBitsPerPixel = 32;
            aPixels->myPixels = locLevel0;
        }
        else
            delete[] locLevel0;
    }
    if (!locOk)
        return Fail(QR_ERROR_DEVICE_TEXTURE);
    return true;
}
