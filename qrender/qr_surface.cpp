// Surfaces and their instances: the process-wide list, sharing by normalised name,
// instances with their own or the template's textures, and texture slots by file name.
#include "qrender/qr_surface.h"

#include <new>
#include <stdio.h>
#include <string.h>

#include "qfile/render/qf_file.h"
#include "qinput/qi_time.h"
#include "qrender/qr_render.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertexshader.h"

QR_Surface* QR_Surface::ourFirst = nullptr;
float QR_Surface::ourLastUpdateTime = 0.0f;

// [SECTION] Records --------------------------------------------------------------------------

QR_TextureNames::QR_TextureNames()
    : myType(QR_SURFACETEXTURETYPE_TEXTURE)
    , myNames(nullptr)
    , myNumNames(0)
    , myFramesPerSecond(1.0f)
{
}

QR_TextureNames::~QR_TextureNames()
{
    delete[] myNames;
}

void QR_TextureNames::SetNames(uint32_t aCount)
{
    delete[] myNames;
    myNames = aCount ? new QR_FrameName[aCount] : nullptr;
    myNumNames = aCount;
}

QR_SurfaceInstance::QR_SurfaceInstance()
    : mySurface(nullptr)
    , myTextures(nullptr)
    , myNumTextures(0)
    , myAlphaRef(0)
{
}

void QR_SurfaceInstance::ReleaseTextures()
{
    for (uint32_t i = 0; i < myNumTextures; i++)
    {
        for (uint32_t k = 0; k < myTextures[i].myNumFrames; k++)
            QR_Texture::Release(myTextures[i].myFrames[k]);
        delete[] myTextures[i].myFrames;
    }
    delete[] myTextures;
    myTextures = nullptr;
    myNumTextures = 0;
}

QR_SurfaceInstance::~QR_SurfaceInstance()
{
    if (mySurface)
        QR_Surface::Release(mySurface);
    ReleaseTextures();
}

// [SECTION] The list ---------------------------------------------------------------------------

void QR_Surface::NormaliseName(const char* aName, char* aResult, uint32_t aSize)
{
    uint32_t n = 0;
    for (; aName[n] && n + 1 < aSize; n++)
    {
        char c = aName[n];
        aResult[n] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : (c == '\\' ? '/' : c);
    }
    aResult[n] = 0;
}

QR_Surface::QR_Surface(const char* aNormalisedName)
    : myPrev(nullptr)
    , myNext(ourFirst)
    , myRefCount(1)
    , myName(nullptr)
    , myPass(nullptr)
    , myFadePass(nullptr)
    , mySortFlag(0)
    , myNumTextures(0)
    , myTextureNames(nullptr)
    , myNumTextureNames(0)
    , myUsesDiffuseColor(0)
    , myUsesDiffuseAlpha(0)
    , myUsesSpecularColor(0)
    , myUsesSpecularAlpha(0)
    , myUsesConstant(0)
{
    size_t locLength = strlen(aNormalisedName);
    myName = new char[locLength + 1];
    memcpy(myName, aNormalisedName, locLength + 1);
    if (ourFirst)
        ourFirst->myPrev = this;
    ourFirst = this;
}

QR_Surface::~QR_Surface()
{
    // The compiled passes, texture records and default textures.
    if (QR_Render::ourInstance)
        QR_Render::ourInstance->ReleaseSurfaceTemplate(this);
    delete[] myName;
    if (myPrev)
        myPrev->myNext = myNext;
    else
        ourFirst = myNext;
    if (myNext)
        myNext->myPrev = myPrev;
}

QR_Surface* QR_Surface::Find(const char* aNormalisedName)
{
    for (QR_Surface* s = ourFirst; s; s = s->myNext)
        if (strcmp(s->myName, aNormalisedName) == 0)
            return s;
    return nullptr;
}

QR_Surface* QR_Surface::Create(const char* aNormalisedName)
{
    if (!QR_Render::ourInstance)
        return nullptr;
    QR_Surface* locSurface = new (std::nothrow) QR_Surface(aNormalisedName);
    if (!locSurface)
        return nullptr;
    if (!QR_Render::ourInstance->CompileSurfaceTemplate(locSurface))
    {
        delete locSurface;
        return nullptr;
    }
    return locSurface;
}

QR_Surface* QR_Surface::Acquire(const char* aName)
{
    char locName[1024];
    NormaliseName(aName ? aName : "", locName, sizeof(locName));
    QR_Surface* locSurface = Find(locName);
    if (locSurface)
    {
        locSurface->myRefCount++;
        return locSurface;
    }
    return Create(locName);
}

QR_SurfaceInstance* QR_Surface::CreateInstance(const char* aSurfaceName, uint32_t aNumRecords,
                                               const QR_TextureNames* aRecords)
{
    char locName[1024];
    NormaliseName(aSurfaceName ? aSurfaceName : "", locName, sizeof(locName));
    QR_Surface* locSurface = Find(locName);
    if (locSurface)
        return NewInstance(locSurface, aNumRecords, aRecords);
    locSurface = Create(locName);
    if (!locSurface)
        return nullptr;
    // A surface made here lives through its instances only.
    QR_SurfaceInstance* locInstance = NewInstance(locSurface, aNumRecords, aRecords);
    Release(locSurface);
    return locInstance;
}

QR_SurfaceInstance* QR_Surface::CreateInstanceWithTexture(const char* aSurfaceName, const char* aTextureName)
{
    if (!aTextureName || strlen(aTextureName) > 255)
        return nullptr;
    QR_TextureNames locRecord;
    locRecord.SetNames(1);
    locRecord.myNames[0] = aTextureName;
    return CreateInstance(aSurfaceName, 1, &locRecord);
}

QR_SurfaceInstance* QR_Surface::NewInstance(QR_Surface* aSurface, uint32_t aNumRecords,
                                            const QR_TextureNames* aRecords, const char** aFailedTexture)
{
    QR_SurfaceInstance* locInstance = new (std::nothrow) QR_SurfaceInstance();
    if (!locInstance)
        return nullptr;
    aSurface->myRefCount++;
    locInstance->mySurface = aSurface;
    locInstance->myAlphaRef = aSurface->myDefaultInstance.myAlphaRef;
    uint32_t n = aSurface->myNumTextures;
    locInstance->myTextures = n ? new QR_SurfaceTexture[n]() : nullptr;
    locInstance->myNumTextures = n;
    for (uint32_t i = 0; i < n; i++)
    {
        QR_SurfaceTexture& e = locInstance->myTextures[i];
        if (i < aNumRecords && aRecords[i].myNames)
        {
            const QR_TextureNames& r = aRecords[i];
            e.myFrames = new QR_Texture*[r.myNumNames]();
            e.myFramesPerSecond = r.myFramesPerSecond;
            for (uint32_t k = 0; k < r.myNumNames; k++)
            {
                QR_Texture* t = QR_Texture::Acquire(r.myNames[k].myData, QR_TEXTUREFLAG_STRETCH, 0, nullptr);
                if (!t)
                {
                    if (aFailedTexture)
                        *aFailedTexture = r.myNames[k].myData;
                    delete locInstance; // releases the surface and what was acquired so far
                    return nullptr;
                }
                e.myFrames[e.myNumFrames++] = t;
            }
        }
        else if (i < aSurface->myDefaultInstance.myNumTextures)
        {
            const QR_SurfaceTexture& d = aSurface->myDefaultInstance.myTextures[i];
            e.myFrames = d.myNumFrames ? new QR_Texture*[d.myNumFrames] : nullptr;
            e.myNumFrames = d.myNumFrames;
            e.myFramesPerSecond = d.myFramesPerSecond;
            for (uint32_t k = 0; k < d.myNumFrames; k++)
            {
                e.myFrames[k] = d.myFrames[k];
                if (e.myFrames[k])
                    e.myFrames[k]->myRefCount++;
            }
        }
    }
    return locInstance;
}

void QR_Surface::Release(QR_Surface* aSurface)
{
    if (aSurface && --aSurface->myRefCount <= 0)
        delete aSurface;
}

void QR_Surface::DestroyAll()
{
    while (ourFirst)
        delete ourFirst;
}

bool QR_Surface::RecompileAll()
{
    if (!QR_Render::ourInstance)
        return false;
    for (QR_Surface* s = ourFirst; s; s = s->myNext)
        if (!QR_Render::ourInstance->CompileSurfaceTemplate(s))
            return false;
    return true;
}

void QR_Surface::ReleaseAllTemplates()
{
    if (!QR_Render::ourInstance)
        return;
    for (QR_Surface* s = ourFirst; s; s = s->myNext)
        QR_Render::ourInstance->ReleaseSurfaceTemplate(s);
}

void QR_Surface::UpdateTextures()
{
    float locNow = QI_Time::ourTime;
    QR_Texture::UpdateProcedural(locNow - ourLastUpdateTime);
    ourLastUpdateTime = locNow;
    QR_Render::ForgetAppliedSurface();
}

bool QR_Surface::GetShading(const QR_Surface* aSurface, QR_SurfaceShading* aShadingOut)
{
    if (!aSurface->myPass)
        return false;
    aShadingOut->myNumStages = aSurface->myPass->myNumRemapLines;
    aShadingOut->myLightingFlag = aSurface->myUsesDiffuseColor || aSurface->myUsesDiffuseAlpha;
    aShadingOut->mySpecularFlag = aSurface->myUsesSpecularColor || aSurface->myUsesSpecularAlpha;
    aShadingOut->myVertexColorFlag = aSurface->myUsesDiffuseColor || aSurface->myUsesDiffuseAlpha;
    return true;
}

// [SECTION] Texture slots by file name ---------------------------------------------------------

// Frame numbers 0000 to 9999 in place of the last four characters.
static void locPutFrameNumber(char* aFour, int aNumber)
{
    for (int i = 3; i >= 0; i--, aNumber /= 10)
        aFour[i] = (char)('0' + aNumber % 10);
}

static bool locFrameExists(const char* aName)
{
    char locPath[300];
    snprintf(locPath, sizeof(locPath), "%s.dds", aName);
    if (QF_File::Exists(locPath))
        return true;
    snprintf(locPath, sizeof(locPath), "%s.tga", aName);
    return QF_File::Exists(locPath);
}

bool QR_Surface::LoadTexture(const char* aName, QR_TextureNames* aRecord)
{
    aRecord->SetNames(0);
    size_t n = aName ? strlen(aName) : 0;
    if (n > 255)
        return false; // a frame name holds at most 255 characters
    char locName[256];
    memcpy(locName, aName ? aName : "", n + 1);
    if (n >= 4 && locName[n - 4] == '.')
        locName[n -= 4] = 0; // a three-letter extension
    // Numbered frames: the last four characters are "000" and a digit, the first frame's number.
    const char* locTail = locName + n - 4;
    if (n < 4 || strncmp(locTail, "000", 3) != 0 || locTail[3] < '0' || locTail[3] > '9')
    {
        aRecord->SetNames(1);
        aRecord->myNames[0] = locName;
        return true;
    }
    int d = locTail[3] - '0';
    char locFrame[256];
    memcpy(locFrame, locName, n + 1);
    int k = 1;
    for (; d + k <= 9999; k++)
    {
        locPutFrameNumber(locFrame + n - 4, d + k);
        if (!locFrameExists(locFrame))
            break;
    }
    aRecord->SetNames((uint32_t)k);
    for (int i = 0; i < k; i++)
    {
        locPutFrameNumber(locFrame + n - 4, d + i);
        aRecord->myNames[i] = locFrame;
    }
    aRecord->myFramesPerSecond = 20.0f;
    return true;
}
