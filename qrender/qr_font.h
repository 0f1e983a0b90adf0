// Bitmap fonts: proportional 2-D text drawn over the picture. A font is cut at load time
// from a 32-bit TGA strip of glyphs named, left to right, by the first line of a text file,
// and packed into square page textures drawn on "INTERNAL_ALPHA". Fonts are shared by the
// pair of names and reference-counted.
#pragma once

#include <stdint.h>

struct QR_Rect;
class QR_SurfaceInstance;

// One line of several drawn together (QR_Font::DrawTexts).
struct QR_FontText
{
    int32_t myX = 0;
    int32_t myY = 0;
    uint32_t myColor = 0xFFFFFFFF;
    const char* myText = nullptr;
    const QR_Rect* myClip = nullptr; // only what lies inside is drawn (as DrawTextClipped); null: all
};

struct QR_Glyph
{
    float myLeftU; // the glyph's rectangle on its page, fractions of the page texture
    float myTopV;
    float myRightU;
    float myBottomV;
    int32_t myWidth; // pixels; -1: the character has no glyph
    int32_t myPage;
};

class QR_Font
{
public:
    static constexpr uint32_t MAX_PAGE_SIDE = 512;
    static constexpr uint32_t PRINTF_SIZE = 512;

    // Null when the image, the description or a page texture cannot be had, or the image
    // holds fewer glyphs than the description names.
    static QR_Font* Acquire(const char* anImageName, const char* aDescriptionName);
    static void Release(QR_Font* aFont);

    // At whole pixels of the render window (moved by the current view's origin).
    static void DrawText(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY, const char* aText);
    static void DrawTextUnscaled(QR_Font* aFont, int32_t anX, int32_t aY, const char* aText);
    // The lines in turn at scale 1, each in its colour and within its clip rectangle, as
    // DrawTextUnscaled would draw them; lines of one colour and page go to the device in one
    // draw. The font keeps the last colour.
    static void DrawTexts(QR_Font* aFont, const QR_FontText* aTexts, uint32_t aCount);
    // Only what lies inside aClip (left, top, right, bottom); tabs are not special.
    static void DrawTextClipped(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY,
                                const QR_Rect* aClip, const char* aText);
    static void DrawTextClippedUnscaled(QR_Font* aFont, int32_t anX, int32_t aY, const QR_Rect* aClip,
                                        const char* aText);
    // Formatted into PRINTF_SIZE bytes (a longer text is cut).
    static void Printf(QR_Font* aFont, int32_t anX, int32_t aY, const char* aFormat, ...)
        __attribute__((format(printf, 4, 5)));
    static void PrintfScaled(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY,
                             const char* aFormat, ...) __attribute__((format(printf, 6, 7)));
    static void PrintfClipped(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY,
                              const QR_Rect* aClip, const char* aFormat, ...) __attribute__((format(printf, 7, 8)));
    // Pixels at scale 1: the space glyph for spaces, glyph width plus spacing for the others.
    static int32_t GetTextWidth(QR_Font* aFont, const char* aText);
    // Copies the glyphs, unblended, into a caller's image at (x, y) without clipping:
    // 0xAARRGGBB words, or 3 bytes (blue, green, red) per pixel.
    static void RenderToImage32(const char* aText, QR_Font* aFont, int32_t anX, int32_t aY, uint32_t* aPixels,
                                int32_t aWidth);
    static void RenderToImage24(const char* aText, QR_Font* aFont, int32_t anX, int32_t aY, uint8_t* aPixels,
                                int32_t aWidth);

    QR_Font();
    ~QR_Font();
    QR_Font(const QR_Font&) = delete;
    QR_Font& operator=(const QR_Font&) = delete;

    QR_SurfaceInstance** myPages; // owned
    QR_Glyph myGlyphs[256];       // by unsigned character
    int32_t myNumPages;
    char* myImageName;       // owned, normalised
    char* myDescriptionName; // owned, normalised
    int32_t myRefCount;
    QR_Font* myNext;
    int32_t myHeight;  // of every glyph, pixels
    int32_t mySpacing; // pixels after every glyph
    int32_t myTabWidth;
    uint32_t myColor; // 0xAARRGGBB of drawn text

    static QR_Font* ourFirst;

private:
    bool Load();
    bool FinishPage(uint32_t* aBuffer, int32_t aSide, int32_t aHeight, const char* aName);
    template <class Put> static void RenderToImage(const char* aText, QR_Font* aFont, int32_t anX, int32_t aY, Put aPut);
};
