// The GDI operations the editors' 2D drawing calls: an off-screen picture, bitmaps, fonts,
// text, pens, lines, Bézier curves and circles. Colours are GDI colour values
// (R | G << 8 | B << 16); coordinates are pixels with y going down.
#pragma once

#include <cstdint>

enum GDI_Error
{
    GDI_ERROR_NONE = 0,
    GDI_ERROR_BAD_ARGUMENT = 1,   // null object, empty or negative size
    GDI_ERROR_OUT_OF_MEMORY = 2,  // a picture or bitmap could not be allocated
    GDI_ERROR_BAD_IMAGE = 3,      // image data not readable as the format asked for
    GDI_ERROR_NO_SCREEN = 4,      // no screen to read the work area from
};

// Set by every failing call; never cleared by a success.
extern int GDI_ErrorCode;

typedef uint32_t GDI_Colour;

inline GDI_Colour GDI_RGB(uint8_t aRed, uint8_t aGreen, uint8_t aBlue)
{
    return (GDI_Colour)aRed | ((GDI_Colour)aGreen << 8) | ((GDI_Colour)aBlue << 16);
}

struct GDI_Rect
{
    int myLeft;
    int myTop;
    int myRight;   // exclusive
    int myBottom;  // exclusive
};

// DrawText's horizontal placement in its rectangle.
enum GDI_Align
{
    GDI_ALIGN_LEFT = 0,
    GDI_ALIGN_CENTRE = 1,
    GDI_ALIGN_RIGHT = 2,
};

// The desktop work area as the system gives it: its right edge and its bottom edge.
// False with GDI_ERROR_NO_SCREEN without a screen (or without the GUI application).
bool GDI_GetWorkArea(int* aWidth, int* aHeight);

struct GDI_BitmapData;

// A device-independent bitmap. Alpha is kept but never used when drawing: a copy
// paints the colour channels, as a 32-bit section copied by GDI does.
class GDI_Bitmap
{
public:
    // Rows of aBitsPerPixel (24: B, G, R; 32: B, G, R, A), aStride bytes apart, the
    // first row the bottom one when aBottomUpFlag is set. Null on a bad argument or
    // when the memory cannot be had.
    static GDI_Bitmap* CreateFromRows(int aWidth, int aHeight, int aBitsPerPixel, bool aBottomUpFlag,
                                      const uint8_t* aRows, int aStride);
    ~GDI_Bitmap();
    GDI_Bitmap(const GDI_Bitmap&) = delete;
    GDI_Bitmap& operator=(const GDI_Bitmap&) = delete;

    int GetWidth() const;
    int GetHeight() const;
    // 0xRRGGBB of the pixel (top-left origin), 0 outside.
    uint32_t GetPixel(int x, int y) const;

private:
    friend class GDI_Picture;
    explicit GDI_Bitmap(GDI_BitmapData* aData);
    GDI_BitmapData* myData;
};

struct GDI_FontData;

// A font made like CreateFontA: a positive height is the cell height (ascent +
// descent), a negative one the character height, 0 the default size. The face name is
// a Windows one ("verdana", "arial", "ms sans serif"), matched by the system's font
// configuration to what is installed. The escapement is in tenths of a degree,
// counter-clockwise.
class GDI_Font
{
public:
    static GDI_Font* Create(const char* aFaceName, int aHeight, int anEscapement);
    ~GDI_Font();
    GDI_Font(const GDI_Font&) = delete;
    GDI_Font& operator=(const GDI_Font&) = delete;

    // The cell height in pixels.
    int GetHeight() const;
    // GetTextExtentPoint32: width and height of a single line of text in pixels.
    bool GetTextExtent(const char* aText, int* aWidth, int* aHeight) const;

    const char* GetFaceName() const;
    int GetRequestedHeight() const;
    int GetEscapement() const;

private:
    friend class GDI_Picture;
    explicit GDI_Font(GDI_FontData* aData);
    GDI_FontData* myData;
};

struct GDI_PictureData;

// Called by Present with the top-left aWidth × aHeight of the picture: 32-bit pixels
// 0xAARRGGBB (alpha always 255), rows aStride bytes apart, valid during the call only.
typedef void (*GDI_PresentCallback)(void* aUser, const uint32_t* aPixels, int aWidth, int aHeight,
                                    int aStride);

// The memory picture everything is drawn into; one Present per frame shows it.
class GDI_Picture
{
public:
    static GDI_Picture* Create(int aWidth, int aHeight);
    ~GDI_Picture();
    GDI_Picture(const GDI_Picture&) = delete;
    GDI_Picture& operator=(const GDI_Picture&) = delete;

    int GetWidth() const;
    int GetHeight() const;
    // Grows the picture to hold at least aWidth × aHeight; the old contents stay.
    bool Grow(int aWidth, int aHeight);

    bool FillRect(const GDI_Rect& aRect, GDI_Colour aColour);

    // A plain copy of (srcX, srcY, w, h) of the bitmap to (x, y).
    bool BitBlt(int x, int y, int w, int h, const GDI_Bitmap* aBitmap, int srcX, int srcY);
    // The source rectangle scaled to the destination one, pixels repeated, never blended.
    bool StretchBlt(int x, int y, int w, int h, const GDI_Bitmap* aBitmap, int srcX, int srcY, int srcW,
                    int srcH);
    // As StretchBlt, leaving out the source pixels of the key colour.
    bool TransparentBlt(int x, int y, int w, int h, const GDI_Bitmap* aBitmap, int srcX, int srcY, int srcW,
                        int srcH, GDI_Colour aKey);

    // TextOut: the cell's top-left at (x, y), the background left as it is.
    bool TextOut(const GDI_Font* aFont, int x, int y, const char* aText, GDI_Colour aColour);
    // DrawText: one line at the top of the rectangle, clipped to it.
    bool DrawText(const GDI_Font* aFont, const char* aText, const GDI_Rect& aRect, GDI_Align anAlign,
                  GDI_Colour aColour);

    // Pens are 1 or 3 pixels wide; lines include both end points.
    bool Line(int x0, int y0, int x1, int y1, GDI_Colour aColour, int aPenWidth);
    // Four points: start, two control points, end (x, y pairs).
    bool Bezier(const int aPoints[8], GDI_Colour aColour, int aPenWidth);
    bool Circle(int aCentreX, int aCentreY, int aRadius, GDI_Colour aColour, int aPenWidth);

    // 0xRRGGBB of a pixel, 0 outside.
    uint32_t GetPixel(int x, int y) const;

    // Where Present hands the picture; none set means Present does nothing.
    void SetPresentCallback(GDI_PresentCallback aCallback, void* aUser);
    // Hands the top-left aWidth × aHeight (cut to the picture) to the callback.
    bool Present(int aWidth, int aHeight);

private:
    explicit GDI_Picture(GDI_PictureData* aData);
    GDI_PictureData* myData;
};
