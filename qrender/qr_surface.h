// Surfaces: named materials compiled from surface-template files (or the two built-ins) and
// shared by normalised name; instances pair a surface with one set of textures per slot.
// The template compiler and the binding are the back end's (qr_renderd3d_surface.cpp,
// qr_renderd3d_states.cpp).
#pragma once

#include <stdint.h>

#include "qcommon/qc_staticstring.h"

class QR_Texture;
class QR_Surface;
struct QR_CompiledStageBlock;

enum QR_SurfaceTextureType : uint32_t
{
    QR_SURFACETEXTURETYPE_TEXTURE = 0,
    QR_SURFACETEXTURETYPE_BUMPMAP = 1
};

// The frames of one texture slot; SetSurface shows (unsigned)(time x fps) mod count.
struct QR_SurfaceTexture
{
    QR_Texture** myFrames; // owned array; each frame holds one texture reference
    uint32_t myNumFrames;
    float myFramesPerSecond;
};

typedef QC_StaticString<256> QR_FrameName;

// A texture slot described by file names: one name, or numbered animation frames.
struct QR_TextureNames
{
    QR_TextureNames();
    ~QR_TextureNames();
    QR_TextureNames(const QR_TextureNames&) = delete;
    QR_TextureNames& operator=(const QR_TextureNames&) = delete;
    void SetNames(uint32_t aCount); // a fresh array of aCount empty names

    uint32_t myType;        // QR_SURFACETEXTURETYPE_*
    QR_FrameName* myNames;  // owned
    uint32_t myNumNames;
    float myFramesPerSecond;
};

// Marks of remap entries, read by the pixel-shader translation.
enum QR_RemapMark : uint8_t
{
    QR_REMAP_PLAIN = 0,   // a texture (slot up to 15) or coordinates only (above 15)
    QR_REMAP_DOT3CALC = 1,
    QR_REMAP_DOT3TEX = 2
};

const uint32_t QR_MAX_REMAP_ENTRIES = 8;

// One pass of a compiled surface.
struct QR_SurfacePass
{
    uint8_t myAlphaTestFlag;
    uint32_t myZWriteMode; // 0 the renderer's default, 1 on, 2 off
    uint8_t myFogColorFlag;
    uint32_t myFogColor;   // 0xAARRGGBB
    uint32_t myTextureIndexRemapList[QR_MAX_REMAP_ENTRIES]; // unit -> slot; above 15: coordinates only
    uint8_t myRemapMarks[QR_MAX_REMAP_ENTRIES];
    uint32_t myNumRemapLines;   // every entry read
    uint32_t myNumRemapEntries; // entries that bind a texture (slot 15 or less)
    QR_CompiledStageBlock* myBlock; // owned
};

class QR_SurfaceInstance
{
public:
    QR_SurfaceInstance();
    // Releases the surface reference, then every frame texture.
    ~QR_SurfaceInstance();
    QR_SurfaceInstance(const QR_SurfaceInstance&) = delete;
    QR_SurfaceInstance& operator=(const QR_SurfaceInstance&) = delete;
    void ReleaseTextures();

    QR_Surface* mySurface; // holds one reference; null in a surface's default instance
    QR_SurfaceTexture* myTextures; // owned, one per slot
    uint32_t myNumTextures;
    uint32_t myAlphaRef; // copied from the surface's default instance
};

class QR_Surface
{
public:
    static QR_Surface* Acquire(const char* aName);
    static QR_SurfaceInstance* CreateInstance(const char* aSurfaceName, uint32_t aNumRecords,
                                              const QR_TextureNames* aRecords);
    static QR_SurfaceInstance* CreateInstanceWithTexture(const char* aSurfaceName, const char* aTextureName);
    // Null when a texture of the records cannot be made; aFailedTexture then
    // points to its name (owned by aRecords).
    static QR_SurfaceInstance* NewInstance(QR_Surface* aSurface, uint32_t aNumRecords,
                                           const QR_TextureNames* aRecords, const char** aFailedTexture = nullptr);
    static void Release(QR_Surface* aSurface);
    static void DestroyAll();
    static bool RecompileAll();
    static void ReleaseAllTemplates();
    static void UpdateTextures();
    // Fills aRecord from a file name: one frame, or the numbered frames that exist.
    static bool LoadTexture(const char* aName, QR_TextureNames* aRecord);
    static QR_Surface* Find(const char* aNormalisedName);
    // Lower case, '/' for '\\'; the extension stays. aSize includes the terminator.
    static void NormaliseName(const char* aName, char* aResult, uint32_t aSize);
    // What the vertex-shader kinds need to know of a mesh's surface.
    static bool GetShading(const QR_Surface* aSurface, struct QR_SurfaceShading* aShadingOut);

    QR_Surface* myPrev;
    QR_Surface* myNext;
    int32_t myRefCount;
    char* myName; // owned, normalised
    // Filled by the template compiler, emptied by ReleaseSurfaceTemplate.
    QR_SurfacePass* myPass;
    QR_SurfacePass* myFadePass; // myPass when the template has no fade variant
    uint32_t mySortFlag;
    QR_SurfaceInstance myDefaultInstance;
    uint32_t myNumTextures;
    QR_TextureNames* myTextureNames; // owned, myNumTextureNames records
    uint32_t myNumTextureNames;
    uint8_t myUsesDiffuseColor;
    uint8_t myUsesDiffuseAlpha;
    uint8_t myUsesSpecularColor;
    uint8_t myUsesSpecularAlpha;
    uint32_t myUsesConstant;

    static QR_Surface* ourFirst;
    static float ourLastUpdateTime;

private:
    explicit QR_Surface(const char* aNormalisedName);
    ~QR_Surface();
    static QR_Surface* Create(const char* aNormalisedName);
};
