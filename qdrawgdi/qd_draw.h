// The editors' 2D drawing interface: a factory bound to a window that owns an off-screen
// picture, and the bitmaps, fonts and line drawers it makes; plus the process-wide
// drawing state that the objects read when they draw.
#pragma once

#include <cstdint>

struct QD_Colour
{
    uint8_t myR;
    uint8_t myG;
    uint8_t myB;
};

struct QD_Point
{
    int myX;
    int myY;
};

// Right and bottom are exclusive.
struct QD_Rect
{
    int myLeft;
    int myTop;
    int myRight;
    int myBottom;
};

// Process-wide drawing state. Float components are clamped to 0..1 and scaled to 0..255.
class QD_Draw
{
public:
    static void SetColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue);
    static void SetColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue, uint8_t anAlpha);
    static void SetColour(const QD_Colour& aColour);
    static void SetColour(float aRed, float aGreen, float aBlue);
    static void SetColour(float aRed, float aGreen, float aBlue, float anAlpha);
    static QD_Colour GetColour() { return ourColour; }
    static uint8_t GetAlpha() { return ourAlpha; }

    // Off at start: every Blit is a plain copy until it is turned on.
    static void SetTransparentBlit(bool anOnFlag) { ourTransparentFlag = anOnFlag; }
    static bool GetTransparentBlit() { return ourTransparentFlag; }
    static void SetKeyColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue);
    static void SetKeyColour(float aRed, float aGreen, float aBlue);
    static QD_Colour GetKeyColour() { return ourKeyColour; }

    static void SetSecondColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue);
    static void SetSecondColour(uint8_t aRed, uint8_t aGreen, uint8_t aBlue, uint8_t anAlpha);
    static void SetSecondColour(float aRed, float aGreen, float aBlue);
    static void SetSecondColour(float aRed, float aGreen, float aBlue, float anAlpha);
    static QD_Colour GetSecondColour() { return ourSecondColour; }
    static uint8_t GetSecondAlpha() { return ourSecondAlpha; }

    // 0..1 (clamped, NaN as 0) to 0..255.
    static uint8_t ToByte(float aValue);

private:
    static QD_Colour ourColour;
    static uint8_t ourAlpha;
    static bool ourTransparentFlag;
    static QD_Colour ourKeyColour;
    static QD_Colour ourSecondColour;
    static uint8_t ourSecondAlpha;
};

class QD_Bitmap
{
public:
    virtual ~QD_Bitmap() {}
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    // w or h of 0: the bitmap's width or height.
    virtual bool Blit(int x, int y, int w, int h, int aSrcX, int aSrcY) = 0;
    // srcW or srcH of 0: the bitmap's width or height.
    virtual bool BlitStretch(int x, int y, int w, int h, int aSrcX, int aSrcY, int aSrcW, int aSrcH) = 0;
    // anAngle in radians.
    virtual bool BlitRotate(int x, int y, float anAngle) = 0;
    virtual bool BlitStretchRotate(int x, int y, int w, int h, float anAngle) = 0;

    // The whole bitmap placed at (x, y), cut to aClip; false, and nothing drawn, when
    // nothing remains.
    bool BlitClipped(int x, int y, const QD_Rect& aClip);
};

// Text is drawn in the process-wide colour.
class QD_Font
{
public:
    virtual ~QD_Font() {}
    virtual int GetTextWidth(const char* aText) = 0;
    virtual int GetHeight() = 0;
    virtual bool DrawText(int x, int y, const char* aText) = 0;
    // anAlignment: 0 left, 1 centred, 2 right.
    virtual bool DrawTextInRect(const char* aText, const QD_Rect& aRect, int anAlignment) = 0;
    virtual bool DrawTextScaled(float aScale, int x, int y, const char* aText) = 0;
    // anAngle in radians, counter-clockwise.
    virtual bool DrawTextRotated(float anAngle, int x, int y, const char* aText) = 0;
    virtual bool DrawTextScaledRotated(float aScale, float anAngle, int x, int y, const char* aText) = 0;
};

class QD_Line
{
public:
    virtual ~QD_Line() {}
    virtual bool Line(int x0, int y0, int x1, int y1, const QD_Colour& aColour) = 0;
    virtual bool LineWide(int x0, int y0, int x1, int y1, const QD_Colour& aColour) = 0;
    virtual bool HLine(int x0, int x1, int y, const QD_Colour& aColour) = 0;
    virtual bool VLine(int x, int y0, int y1, const QD_Colour& aColour) = 0;
    virtual bool Bezier(const QD_Point& aP0, const QD_Point& aP1, const QD_Point& aP2, const QD_Point& aP3,
                        const QD_Colour& aColour) = 0;
    virtual bool BezierWide(const QD_Point& aP0, const QD_Point& aP1, const QD_Point& aP2, const QD_Point& aP3,
                            const QD_Colour& aColour) = 0;
    virtual bool Circle(const QD_Point& aCentre, int aRadius, const QD_Colour& aColour) = 0;
    virtual bool CircleWide(const QD_Point& aCentre, int aRadius, const QD_Colour& aColour) = 0;
};

// Objects made by the factory are owned by the caller and must go before the factory.
class QD_Factory
{
public:
    virtual ~QD_Factory() {}
    virtual QD_Bitmap* CreateBitmap(const char* aFileName) = 0;
    // aHeight -1 means 12.
    virtual QD_Font* CreateFont(const char* aFaceName, int aHeight) = 0;
    virtual QD_Line* CreateLine() = 0;
    virtual bool Clear(const QD_Colour& aColour) = 0;
    virtual bool Present() = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual void Begin() = 0;
    virtual void End() = 0;
};
