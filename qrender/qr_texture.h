// Named, reference-counted images in one process-wide list: loading from TGA (or DDS through
// the back end) and from memory, sizing for the device, the mip-map chain, reloads after a
// device reset and procedural updates. The TGA reader is qr_texload_tga.cpp.
#pragma once

#include <stdint.h>

struct QR_D3DTexture;

enum QR_TextureFlags : uint32_t
{
    QR_TEXTUREFLAG_STRETCH = 0x001,            // scale the image to the device size (else pad with zero)
    QR_TEXTUREFLAG_FROMMEMORY = 0x002,         // pixels from the caller; the texture keeps a copy
    QR_TEXTUREFLAG_NOMIPMAPS = 0x004,
    QR_TEXTUREFLAG_NODDS = 0x008,              // never try "%s.dds"
    QR_TEXTUREFLAG_PIXELSONLY = 0x010,         // load the pixels for the caller: no sizing, no device texture
    QR_TEXTUREFLAG_FULLDETAIL = 0x080,         // exempt from the settings' detail reduction
    QR_TEXTUREFLAG_RENDERTARGET = 0x100,
    QR_TEXTUREFLAG_RENDERTARGET_DEPTH = 0x200, // with its own depth buffer; only with RENDERTARGET
    QR_TEXTUREFLAG_EXACTSIZE = 0x400,          // must already have its device size; implies NOMIPMAPS
    QR_TEXTUREFLAG_PROCEDURAL = 0x800          // its owner locks and writes the device texture
};

// Pixels in and out of Acquire and the reloads. 32 bits: 0xAARRGGBB words; 24 bits: bytes
// R, G, B. A file texture loaded with a record hands its top-level pixels back in myPixels
// (with their size and depth); the caller frees them with QR_Texture::FreePixels.
struct QR_TexturePixels
{
    uint32_t myWidth;
    uint32_t myHeight;
    uint32_t myBitsPerPixel;
    void* myPixels;
};

class QR_Texture;

// Rebuilds a texture's pixels over time; nothing in the renderer sets one.
class QR_TextureUpdater
{
public:
    virtual ~QR_TextureUpdater() {}
    // True when it filled depth and pixels of aPixels (prefilled with the texture's size).
    virtual bool Update(QR_Texture* aTexture, QR_TexturePixels* aPixels, float anElapsedSeconds) = 0;
};

class QR_Texture
{
public:
    // Null when the flags are contradictory or the first load fails (error code and text set).
    static QR_Texture* Acquire(const char* aName, uint32_t aFlags, uint32_t aFormatKind, QR_TexturePixels* aPixels);
    static void Release(QR_Texture* aTexture);
    static void DestroyAll();
    static void ReleaseAllDeviceTextures();
    // False at the first texture that cannot be loaded again.
    static bool ReloadAll();
    static bool RestoreAll();
    static bool Reload(QR_Texture* aTexture);
    static bool ReloadFromMemory(QR_Texture* aTexture, QR_TexturePixels* aPixels);
    static void UpdateProcedural(float anElapsedSeconds);
    static bool ReleaseDeviceTexture(QR_Texture* aTexture);
    static QR_Texture* Find(const char* aNormalisedName, uint32_t aFormatKind);
    static void FreePixels(void* aPixels);
    // Lower case, '/' for '\\', the extension cut; aSize includes the terminator.
    static void NormaliseName(const char* aName, char* aResult, uint32_t aSize);

    bool Load(QR_TexturePixels* aPixels);

    int32_t myRefCount;
    char* myName; // owned, normalised
    QR_Texture* myPrev;
    QR_Texture* myNext;
    QR_TextureUpdater* myUpdater;
    int32_t myWidth; // device size; -1 until sized
    int32_t myHeight;
    int32_t mySourceWidth;
    int32_t mySourceHeight;
    int32_t myBitsPerPixel; // of the source image
    uint32_t myFormatKind;  // 0 automatic, 1 alpha, 2..7 cube faces, 8 + device format for DDS levels
    uint32_t myDeviceFormat;
    uint32_t* myMemoryTextureBuffer; // owned copy of a memory texture's pixels
    uint32_t myFlags;
    QR_D3DTexture* myDeviceData;

    static QR_Texture* ourFirst;

private:
    QR_Texture(const char* aName, uint32_t aFlags, uint32_t aFormatKind);
    ~QR_Texture();
    bool Fail(uint32_t aCode);
};

// Reads "%s.tga" of the texture's name: 0 loaded, -1 the file cannot be opened, 1 refused
// (an image type other than 2 or 10, a colour map, another depth than 24 or 32, a zero
// side, or data that ends early). *aPixelsOut: width x height 0xAARRGGBB words, row 0 at
// the top; the texture's source size is set.
int32_t QR_LoadTGA(QR_Texture* aTexture, uint32_t** aPixelsOut, uint32_t* aBitsPerPixelOut);
// The same over a file's contents in memory.
int32_t QR_DecodeTGA(const uint8_t* aData, uint32_t aSize, uint32_t* aWidthOut, uint32_t* aHeightOut,
                     uint32_t* aBitsPerPixelOut, uint32_t** aPixelsOut);
