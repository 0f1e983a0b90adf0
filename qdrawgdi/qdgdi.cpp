// The drawing interface over the GDI layer.
#include "qdrawgdi/qdgdi.h"

#include "platform/gdi/gdi.h"
#include "qcommon/qc_debug.h"
#include "qdrawgdi/qdgdi_bmp.h"
#include "qdrawgdi/qdgdi_tga.h"
#include "qfile/qf_file.h"

#include <cmath>
#include <cstring>
#include <strings.h>
#include <vector>

namespace
{
GDI_Colour locColour(const QD_Colour& aColour)
{
    return GDI_RGB(aColour.myR, aColour.myG, aColour.myB);
}

void locShow(void* aUser, const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    ((QDGDI_Window*)aUser)->ShowPicture(aPixels, aWidth, aHeight, aStride);
}

// The whole file through the file library; false when it cannot be opened or read.
bool locReadFile(const char* aFileName, std::vector<uint8_t>* aContents)
{
    QF_File locFile;
    if (!locFile.Open(aFileName, OPEN_READ))
        return false;
    aContents->resize(locFile.GetSize());
    const uint32_t locRead = aContents->empty() ? 0 : locFile.Read(aContents->data(), locFile.GetSize());
    locFile.Close();
    return locRead == aContents->size();
}
} // namespace

// ---------------------------------------------------------------- factory

QDGDI_Factory::QDGDI_Factory(QDGDI_Window* aWindow, GDI_Picture* aPicture, int aWidth, int aHeight)
    : myWindow(aWindow), myPicture(aPicture), myWorkAreaWidth(aWidth), myWorkAreaHeight(aHeight)
{
    myPicture->SetPresentCallback(locShow, myWindow);
}

QDGDI_Factory* QDGDI_Factory::Create(QDGDI_Window* aWindow)
{
    int w = 0, h = 0;
    if (!aWindow || !GDI_GetWorkArea(&w, &h))
        return nullptr;
    GDI_Picture* locPicture = GDI_Picture::Create(w, h);
    if (!locPicture)
        return nullptr;
    return new QDGDI_Factory(aWindow, locPicture, w, h);
}

QDGDI_Factory::~QDGDI_Factory()
{
    delete myPicture;
}

QD_Bitmap* QDGDI_Factory::CreateBitmap(const char* aFileName)
{
    return GDIBitmap::Load(this, aFileName);
}

QD_Font* QDGDI_Factory::CreateFont(const char* aFaceName, int aHeight)
{
    return QDGDI_Font::Create(this, aFaceName, aHeight);
}

QD_Line* QDGDI_Factory::CreateLine()
{
    return new QDGDI_Line(this);
}

bool QDGDI_Factory::GetClient(int* aWidth, int* aHeight)
{
    if (!myWindow->GetClientSize(aWidth, aHeight) || *aWidth <= 0 || *aHeight <= 0)
        return false;
    // A pane larger than the work area (a second, larger screen) grows the picture.
    return myPicture->Grow(*aWidth, *aHeight);
}

bool QDGDI_Factory::Clear(const QD_Colour& aColour)
{
    int w, h;
    if (!GetClient(&w, &h))
        return false;
    return myPicture->FillRect({0, 0, w, h}, locColour(aColour));
}

bool QDGDI_Factory::Present()
{
    int w, h;
    if (!GetClient(&w, &h))
        return false;
    return myPicture->Present(w, h);
}

int QDGDI_Factory::GetWidth()
{
    int w, h;
    return myWindow->GetClientSize(&w, &h) ? w : 0;
}

int QDGDI_Factory::GetHeight()
{
    int w, h;
    return myWindow->GetClientSize(&w, &h) ? h : 0;
}

// ---------------------------------------------------------------- bitmap

GDIBitmap::GDIBitmap(QDGDI_Factory* aFactory, GDI_Bitmap* aBitmap) : myFactory(aFactory), myBitmap(aBitmap) {}

GDIBitmap::~GDIBitmap()
{
    delete myBitmap;
}

GDIBitmap* GDIBitmap::Load(QDGDI_Factory* aFactory, const char* aFileName)
{
    if (!aFactory || !aFileName)
        return nullptr;
    const size_t locLength = strlen(aFileName);
    const char* locEnding = aFileName + (locLength >= 3 ? locLength - 3 : 0);
    GDI_Bitmap* locBitmap = nullptr;
    if (locLength >= 3 && strcasecmp(locEnding, "bmp") == 0)
        locBitmap = GetBMPData(aFileName);
    else if (locLength >= 3 && strcasecmp(locEnding, "tga") == 0)
        locBitmap = GetTGAData(aFileName);
    else
        QC_Debug::Printf("GDIBitmap::Load(): Illegal file type. GDI only supports TGA and BMP.");
    if (!locBitmap)
        return nullptr;
    return new GDIBitmap(aFactory, locBitmap);
}

GDI_Bitmap* GDIBitmap::GetBMPData(const char* aFileName)
{
    std::vector<uint8_t> locContents;
    if (!locReadFile(aFileName, &locContents))
    {
        QC_Debug::Printf("GDIBitmap::GetBMPData(): file '%s' does not exist", aFileName);
        return nullptr;
    }
    QDGDI_BMPImage locImage;
    if (QDGDI_DecodeBMP(locContents.data(), (uint32_t)locContents.size(), &locImage) != QDGDI_BMP_OK)
    {
        QC_Debug::Printf("GDIBitmap::GetBMPData(): file '%s' %s", aFileName, locImage.myReason);
        return nullptr;
    }
    GDI_Bitmap* locBitmap = GDI_Bitmap::CreateFromRows(locImage.myWidth, locImage.myHeight, 32, true,
                                                       locImage.myRows, locImage.myStride);
    QDGDI_FreeBMP(&locImage);
    if (!locBitmap)
        QC_Debug::Printf("GDIBitmap::GetBMPData(): file '%s' %s", aFileName,
                         QDGDI_BMPErrorText(QDGDI_BMP_OUT_OF_MEMORY));
    return locBitmap;
}

GDI_Bitmap* GDIBitmap::GetTGAData(const char* aFileName)
{
    std::vector<uint8_t> locContents;
    if (!locReadFile(aFileName, &locContents))
    {
        QC_Debug::Printf("GDIBitmap::GetTGAData(): file '%s' does not exist", aFileName);
        return nullptr;
    }
    QDGDI_TGAImage locImage;
    switch (QDGDI_DecodeTGA(locContents.data(), (uint32_t)locContents.size(), &locImage))
    {
    case QDGDI_TGA_OK:
        break;
    case QDGDI_TGA_ILLEGAL_TYPE:
        QC_Debug::Printf("GDIBitmap::GetTGAData(): Illegal file type. Loader only supports uncompressed 24 or 32 bpp TGA.");
        return nullptr;
    case QDGDI_TGA_CUT:
        QC_Debug::Printf("GDIBitmap::GetTGAData(): file '%s' is cut short", aFileName);
        return nullptr;
    case QDGDI_TGA_NO_PIXELS:
        QC_Debug::Printf("GDIBitmap::GetTGAData(): file '%s' has a width or height of 0", aFileName);
        return nullptr;
    case QDGDI_TGA_OUT_OF_MEMORY:
        return nullptr;
    }
    GDI_Bitmap* locBitmap = GDI_Bitmap::CreateFromRows(locImage.myWidth, locImage.myHeight,
                                                       locImage.myBitsPerPixel, true, locImage.myRows,
                                                       locImage.myStride);
    QDGDI_FreeTGA(&locImage);
    return locBitmap;
}

int GDIBitmap::GetWidth()
{
    return myBitmap->GetWidth();
}

int GDIBitmap::GetHeight()
{
    return myBitmap->GetHeight();
}

bool GDIBitmap::Blit(int x, int y, int w, int h, int aSrcX, int aSrcY)
{
    if (w == 0)
        w = myBitmap->GetWidth();
    if (h == 0)
        h = myBitmap->GetHeight();
    GDI_Picture* locPicture = myFactory->GetPicture();
    if (QD_Draw::GetTransparentBlit())
    {
        const QD_Colour locKey = QD_Draw::GetKeyColour();
        // The source is as large as the destination: a plain copy that leaves out the key.
        return locPicture->TransparentBlt(x, y, w, h, myBitmap, aSrcX, aSrcY, w, h, locColour(locKey));
    }
    return locPicture->BitBlt(x, y, w, h, myBitmap, aSrcX, aSrcY);
}

bool GDIBitmap::BlitStretch(int x, int y, int w, int h, int aSrcX, int aSrcY, int aSrcW, int aSrcH)
{
    if (aSrcW == 0)
        aSrcW = myBitmap->GetWidth();
    if (aSrcH == 0)
        aSrcH = myBitmap->GetHeight();
    return myFactory->GetPicture()->StretchBlt(x, y, w, h, myBitmap, aSrcX, aSrcY, aSrcW, aSrcH);
}

bool GDIBitmap::BlitRotate(int x, int y, float anAngle)
{
    QC_Debug::Printf("GDIBitmap::BlitRotate(): Bitmap rotation is not implemented in GDI.");
    return false;
}

bool GDIBitmap::BlitStretchRotate(int x, int y, int w, int h, float anAngle)
{
    QC_Debug::Printf("GDIBitmap::BlitStretchRotate(): Bitmap rotation is not implemented in GDI.");
    return false;
}

// ---------------------------------------------------------------- font

QDGDI_Font::QDGDI_Font(QDGDI_Factory* aFactory, GDI_Font* aFont) : myFactory(aFactory), myFont(aFont) {}

QDGDI_Font::~QDGDI_Font()
{
    delete myFont;
}

QDGDI_Font* QDGDI_Font::Create(QDGDI_Factory* aFactory, const char* aFaceName, int aHeight)
{
    if (!aFactory || !aFaceName)
        return nullptr;
    if (aHeight == -1)
        aHeight = 12;
    GDI_Font* locFont = GDI_Font::Create(aFaceName, aHeight, 0);
    if (!locFont)
        return nullptr;
    return new QDGDI_Font(aFactory, locFont);
}

int QDGDI_Font::GetTextWidth(const char* aText)
{
    int w = 0, h = 0;
    return myFont->GetTextExtent(aText, &w, &h) ? w : 0;
}

int QDGDI_Font::GetHeight()
{
    // The height the font was made with; the cell height when that was not a cell height.
    const int locHeight = myFont->GetRequestedHeight();
    return locHeight > 0 ? locHeight : myFont->GetHeight();
}

bool QDGDI_Font::DrawText(int x, int y, const char* aText)
{
    return myFactory->GetPicture()->TextOut(myFont, x, y, aText, locColour(QD_Draw::GetColour()));
}

bool QDGDI_Font::DrawTextInRect(const char* aText, const QD_Rect& aRect, int anAlignment)
{
    const GDI_Align locAlign = anAlignment == 1 ? GDI_ALIGN_CENTRE : anAlignment == 2 ? GDI_ALIGN_RIGHT
                                                                                      : GDI_ALIGN_LEFT;
    const GDI_Rect locRect = {aRect.myLeft, aRect.myTop, aRect.myRight, aRect.myBottom};
    return myFactory->GetPicture()->DrawText(myFont, aText, locRect, locAlign, locColour(QD_Draw::GetColour()));
}

bool QDGDI_Font::DrawTextScaled(float aScale, int x, int y, const char* aText)
{
    return DrawTextScaledRotated(aScale, 0.0f, x, y, aText);
}

bool QDGDI_Font::DrawTextRotated(float anAngle, int x, int y, const char* aText)
{
    return DrawTextScaledRotated(1.0f, anAngle, x, y, aText);
}

bool QDGDI_Font::DrawTextScaledRotated(float aScale, float anAngle, int x, int y, const char* aText)
{
    // A copy of the font's description: the height scaled, the escapement in tenths of a degree.
    const double locHeight = (double)myFont->GetRequestedHeight() * aScale;
    const double locEscapement = (double)anAngle * 57.29578 * 10.0;
    if (!std::isfinite(locHeight) || !std::isfinite(locEscapement) || std::fabs(locHeight) > 1e5 ||
        std::fabs(locEscapement) > 1e9)
        return false;
    GDI_Font* locFont = GDI_Font::Create(myFont->GetFaceName(), (int)locHeight, (int)locEscapement);
    if (!locFont)
        return false;
    const bool locResult = myFactory->GetPicture()->TextOut(locFont, x, y, aText, locColour(QD_Draw::GetColour()));
    delete locFont;
    return locResult;
}

// ---------------------------------------------------------------- line

bool QDGDI_Line::Line(int x0, int y0, int x1, int y1, const QD_Colour& aColour)
{
    return myFactory->GetPicture()->Line(x0, y0, x1, y1, locColour(aColour), 1);
}

bool QDGDI_Line::LineWide(int x0, int y0, int x1, int y1, const QD_Colour& aColour)
{
    return myFactory->GetPicture()->Line(x0, y0, x1, y1, locColour(aColour), 3);
}

bool QDGDI_Line::HLine(int x0, int x1, int y, const QD_Colour& aColour)
{
    return myFactory->GetPicture()->Line(x0, y, x1, y, locColour(aColour), 1);
}

bool QDGDI_Line::VLine(int x, int y0, int y1, const QD_Colour& aColour)
{
    return myFactory->GetPicture()->Line(x, y0, x, y1, locColour(aColour), 1);
}

namespace
{
bool locBezier(QDGDI_Factory* aFactory, const QD_Point& aP0, const QD_Point& aP1, const QD_Point& aP2,
               const QD_Point& aP3, const QD_Colour& aColour, int aWidth)
{
    const int locPoints[8] = {aP0.myX, aP0.myY, aP1.myX, aP1.myY, aP2.myX, aP2.myY, aP3.myX, aP3.myY};
    return aFactory->GetPicture()->Bezier(locPoints, locColour(aColour), aWidth);
}
} // namespace

bool QDGDI_Line::Bezier(const QD_Point& aP0, const QD_Point& aP1, const QD_Point& aP2, const QD_Point& aP3,
                        const QD_Colour& aColour)
{
    return locBezier(myFactory, aP0, aP1, aP2, aP3, aColour, 1);
}

bool QDGDI_Line::BezierWide(const QD_Point& aP0, const QD_Point& aP1, const QD_Point& aP2, const QD_Point& aP3,
                            const QD_Colour& aColour)
{
    return locBezier(myFactory, aP0, aP1, aP2, aP3, aColour, 3);
}

bool QDGDI_Line::Circle(const QD_Point& aCentre, int aRadius, const QD_Colour& aColour)
{
    return myFactory->GetPicture()->Circle(aCentre.myX, aCentre.myY, aRadius, locColour(aColour), 1);
}

bool QDGDI_Line::CircleWide(const QD_Point& aCentre, int aRadius, const QD_Colour& aColour)
{
    return myFactory->GetPicture()->Circle(aCentre.myX, aCentre.myY, aRadius, locColour(aColour), 3);
}
