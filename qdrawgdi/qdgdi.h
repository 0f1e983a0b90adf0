// The drawing interface over the GDI layer: everything goes into a memory picture as
// large as the desktop work area, and Present shows it in the window in one step.
#pragma once

#include "qdrawgdi/qd_draw.h"

class GDI_Picture;
class GDI_Bitmap;
class GDI_Font;

// The window a factory draws for (the shell's view pane, or a test's stand-in).
class QDGDI_Window
{
public:
    virtual ~QDGDI_Window() {}
    // The client area's size in pixels; false when it cannot be read.
    virtual bool GetClientSize(int* aWidth, int* aHeight) = 0;
    // Shows the picture: 0xAARRGGBB pixels, rows aStride bytes apart, valid during the call.
    // No pixels: the window shows its background.
    virtual void ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride) = 0;
    // The last pointer position seen over the window, in client pixels; false when unknown.
    virtual bool GetCursorPosition(int* anX, int* aY)
    {
        (void)anX, (void)aY;
        return false;
    }
};

class QDGDI_Factory : public QD_Factory
{
public:
    // Null when the work area cannot be read or the picture cannot be made. The window
    // is not owned and must outlive the factory.
    static QDGDI_Factory* Create(QDGDI_Window* aWindow);
    ~QDGDI_Factory() override;

    QD_Bitmap* CreateBitmap(const char* aFileName) override;
    QD_Font* CreateFont(const char* aFaceName, int aHeight) override;
    QD_Line* CreateLine() override;
    bool Clear(const QD_Colour& aColour) override;
    bool Present() override;
    int GetWidth() override;
    int GetHeight() override;
    void Begin() override {}
    void End() override {}

    GDI_Picture* GetPicture() { return myPicture; }
    int GetWorkAreaWidth() const { return myWorkAreaWidth; }
    int GetWorkAreaHeight() const { return myWorkAreaHeight; }

private:
    QDGDI_Factory(QDGDI_Window* aWindow, GDI_Picture* aPicture, int aWidth, int aHeight);
    // The client size, the picture grown to hold it; false when it cannot be read.
    bool GetClient(int* aWidth, int* aHeight);

    QDGDI_Window* myWindow;
    GDI_Picture* myPicture;
    int myWorkAreaWidth;
    int myWorkAreaHeight;
};

class GDIBitmap : public QD_Bitmap
{
public:
    // Null, with a debug text, when the file cannot be loaded.
    static GDIBitmap* Load(QDGDI_Factory* aFactory, const char* aFileName);
    ~GDIBitmap() override;

    int GetWidth() override;
    int GetHeight() override;
    bool Blit(int x, int y, int w, int h, int aSrcX, int aSrcY) override;
    bool BlitStretch(int x, int y, int w, int h, int aSrcX, int aSrcY, int aSrcW, int aSrcH) override;
    bool BlitRotate(int x, int y, float anAngle) override;
    bool BlitStretchRotate(int x, int y, int w, int h, float anAngle) override;

private:
    GDIBitmap(QDGDI_Factory* aFactory, GDI_Bitmap* aBitmap);
    static GDI_Bitmap* GetTGAData(const char* aFileName);
    static GDI_Bitmap* GetBMPData(const char* aFileName);

    QDGDI_Factory* myFactory;
    GDI_Bitmap* myBitmap;
};

class QDGDI_Font : public QD_Font
{
public:
    // Null when the font cannot be made.
    static QDGDI_Font* Create(QDGDI_Factory* aFactory, const char* aFaceName, int aHeight);
    ~QDGDI_Font() override;

    int GetTextWidth(const char* aText) override;
    int GetHeight() override;
    bool DrawText(int x, int y, const char* aText) override;
    bool DrawTextInRect(const char* aText, const QD_Rect& aRect, int anAlignment) override;
    bool DrawTextScaled(float aScale, int x, int y, const char* aText) override;
    bool DrawTextRotated(float anAngle, int x, int y, const char* aText) override;
    bool DrawTextScaledRotated(float aScale, float anAngle, int x, int y, const char* aText) override;

private:
    QDGDI_Font(QDGDI_Factory* aFactory, GDI_Font* aFont);

    QDGDI_Factory* myFactory;
    GDI_Font* myFont;
};

class QDGDI_Line : public QD_Line
{
public:
    explicit QDGDI_Line(QDGDI_Factory* aFactory) : myFactory(aFactory) {}

    bool Line(int x0, int y0, int x1, int y1, const QD_Colour& aColour) override;
    bool LineWide(int x0, int y0, int x1, int y1, const QD_Colour& aColour) override;
    bool HLine(int x0, int x1, int y, const QD_Colour& aColour) override;
    bool VLine(int x, int y0, int y1, const QD_Colour& aColour) override;
    bool Bezier(const QD_Point& aP0, const QD_Point& aP1, const QD_Point& aP2, const QD_Point& aP3,
                const QD_Colour& aColour) override;
    bool BezierWide(const QD_Point& aP0, const QD_Point& aP1, const QD_Point& aP2, const QD_Point& aP3,
                    const QD_Colour& aColour) override;
    bool Circle(const QD_Point& aCentre, int aRadius, const QD_Colour& aColour) override;
    bool CircleWide(const QD_Point& aCentre, int aRadius, const QD_Colour& aColour) override;

private:
    QDGDI_Factory* myFactory;
};
