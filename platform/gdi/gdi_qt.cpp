// The GDI operations over QImage and QPainter.
#include "platform/gdi/gdi.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

int GDI_ErrorCode = GDI_ERROR_NONE;

namespace
{
bool locFail(int anError)
{
    GDI_ErrorCode = anError;
    return false;
}

QColor locColour(GDI_Colour aColour)
{
    return QColor(aColour & 0xFF, (aColour >> 8) & 0xFF, (aColour >> 16) & 0xFF);
}

// GDI draws without antialiasing; so does every painter made here.
void locSetUp(QPainter& aPainter)
{
    aPainter.setRenderHint(QPainter::Antialiasing, false);
    aPainter.setRenderHint(QPainter::TextAntialiasing, false);
    aPainter.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

// Height 0: the cell height of the system's default font.
const int locDefaultCellHeight = 16;
} // namespace

bool GDI_GetWorkArea(int* aWidth, int* aHeight)
{
    if (!qGuiApp)
        return locFail(GDI_ERROR_NO_SCREEN);
    QScreen* locScreen = QGuiApplication::primaryScreen();
    if (!locScreen)
        return locFail(GDI_ERROR_NO_SCREEN);
    const QRect locArea = locScreen->availableGeometry();
    *aWidth = locArea.x() + locArea.width();
    *aHeight = locArea.y() + locArea.height();
    return true;
}

// ---------------------------------------------------------------- bitmaps

struct GDI_BitmapData
{
    QImage myImage;   // Format_RGB32: alpha is dropped when the bitmap is made
};

GDI_Bitmap::GDI_Bitmap(GDI_BitmapData* aData) : myData(aData) {}

GDI_Bitmap::~GDI_Bitmap()
{
    delete myData;
}

GDI_Bitmap* GDI_Bitmap::CreateFromRows(int aWidth, int aHeight, int aBitsPerPixel, bool aBottomUpFlag,
                                       const uint8_t* aRows, int aStride)
{
    const int locBytes = aBitsPerPixel / 8;
    if (aWidth <= 0 || aHeight <= 0 || !aRows || (aBitsPerPixel != 24 && aBitsPerPixel != 32) ||
        aStride < aWidth * locBytes)
    {
        locFail(GDI_ERROR_BAD_ARGUMENT);
        return nullptr;
    }
    QImage locImage(aWidth, aHeight, QImage::Format_RGB32);
    if (locImage.isNull())
    {
        locFail(GDI_ERROR_OUT_OF_MEMORY);
        return nullptr;
    }
    for (int y = 0; y < aHeight; y++)
    {
        const uint8_t* locSource = aRows + (size_t)(aBottomUpFlag ? aHeight - 1 - y : y) * aStride;
        uint32_t* locTarget = (uint32_t*)locImage.scanLine(y);
        for (int x = 0; x < aWidth; x++, locSource += locBytes)
            locTarget[x] = 0xFF000000u | ((uint32_t)locSource[2] << 16) | ((uint32_t)locSource[1] << 8) |
                           locSource[0];
    }
    return new GDI_Bitmap(new GDI_BitmapData{locImage});
}

int GDI_Bitmap::GetWidth() const
{
    return myData->myImage.width();
}

int GDI_Bitmap::GetHeight() const
{
    return myData->myImage.height();
}

uint32_t GDI_Bitmap::GetPixel(int x, int y) const
{
    if (!myData->myImage.valid(x, y))
        return 0;
    return myData->myImage.pixel(x, y) & 0xFFFFFF;
}

// ---------------------------------------------------------------- fonts

struct GDI_FontData
{
    QFont myFont;
    std::string myFaceName;
    int myRequestedHeight;
    int myEscapement;
    int myAscent;
    int myCellHeight;
};

GDI_Font::GDI_Font(GDI_FontData* aData) : myData(aData) {}

GDI_Font::~GDI_Font()
{
    delete myData;
}

GDI_Font* GDI_Font::Create(const char* aFaceName, int aHeight, int anEscapement)
{
    if (!aFaceName)
        aFaceName = "";
    QFont locFont(QString::fromLatin1(aFaceName));
    locFont.setStyleHint(QFont::SansSerif);
    // Exact colour in every text pixel, as GDI's plain text output gives.
    locFont.setStyleStrategy(QFont::NoAntialias);
    const int locCell = aHeight > 0 ? aHeight : aHeight == 0 ? locDefaultCellHeight : 0;
    if (locCell > 0)
    {
        // The cell height is ascent + descent: search the pixel size that gives it.
        int locSize = locCell;
        locFont.setPixelSize(locSize);
        const int locFirst = QFontMetrics(locFont).height();
        if (locFirst > 0)
            locSize = std::max(1, (locCell * locCell + locFirst / 2) / locFirst);
        for (int i = 0; i < 8; i++)
        {
            locFont.setPixelSize(locSize);
            const int locGot = QFontMetrics(locFont).height();
            if (locGot > locCell && locSize > 1)
                locSize--;
            else if (locGot < locCell)
            {
                QFont locBigger = locFont;
                locBigger.setPixelSize(locSize + 1);
                if (QFontMetrics(locBigger).height() > locCell)
                    break;
                locSize++;
            }
            else
                break;
        }
        locFont.setPixelSize(locSize);
    }
    else
        locFont.setPixelSize(-aHeight);
    const QFontMetrics locMetrics(locFont);
    GDI_FontData* locData = new GDI_FontData{locFont, aFaceName, aHeight, anEscapement, locMetrics.ascent(),
                                             locMetrics.height()};
    return new GDI_Font(locData);
}

int GDI_Font::GetHeight() const
{
    return myData->myCellHeight;
}

bool GDI_Font::GetTextExtent(const char* aText, int* aWidth, int* aHeight) const
{
    if (!aText)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    const QFontMetrics locMetrics(myData->myFont);
    *aWidth = locMetrics.horizontalAdvance(QString::fromLatin1(aText));
    *aHeight = myData->myCellHeight;
    return true;
}

const char* GDI_Font::GetFaceName() const
{
    return myData->myFaceName.c_str();
}

int GDI_Font::GetRequestedHeight() const
{
    return myData->myRequestedHeight;
}

int GDI_Font::GetEscapement() const
{
    return myData->myEscapement;
}

// ---------------------------------------------------------------- picture

struct GDI_PictureData
{
    QImage myImage;   // Format_RGB32: every pixel opaque
    GDI_PresentCallback myCallback;
    void* myUser;
    // Kept open between drawing calls, as a memory context keeps its bitmap
    // selected: opening a painter costs more than drawing one cell's text.
    // Closed before the pixels are touched directly.
    QPainter myPainter;
};

namespace
{
QPainter& locPainter(GDI_PictureData* aData)
{
    QPainter& locResult = aData->myPainter;
    if (!locResult.isActive())
    {
        locResult.begin(&aData->myImage);
        locSetUp(locResult);
    }
    locResult.setClipping(false);
    return locResult;
}

void locEndPainting(GDI_PictureData* aData)
{
    if (aData->myPainter.isActive())
        aData->myPainter.end();
}
} // namespace

GDI_Picture::GDI_Picture(GDI_PictureData* aData) : myData(aData) {}

GDI_Picture::~GDI_Picture()
{
    locEndPainting(myData);
    delete myData;
}

GDI_Picture* GDI_Picture::Create(int aWidth, int aHeight)
{
    if (aWidth <= 0 || aHeight <= 0)
    {
        locFail(GDI_ERROR_BAD_ARGUMENT);
        return nullptr;
    }
    QImage locImage(aWidth, aHeight, QImage::Format_RGB32);
    if (locImage.isNull())
    {
        locFail(GDI_ERROR_OUT_OF_MEMORY);
        return nullptr;
    }
    locImage.fill(0xFF000000u);
    GDI_PictureData* locData = new GDI_PictureData;
    locData->myImage = locImage;
    locData->myCallback = nullptr;
    locData->myUser = nullptr;
    return new GDI_Picture(locData);
}

int GDI_Picture::GetWidth() const
{
    return myData->myImage.width();
}

int GDI_Picture::GetHeight() const
{
    return myData->myImage.height();
}

bool GDI_Picture::Grow(int aWidth, int aHeight)
{
    const QImage& locOld = myData->myImage;
    if (aWidth <= locOld.width() && aHeight <= locOld.height())
        return true;
    locEndPainting(myData);
    QImage locImage(std::max(aWidth, locOld.width()), std::max(aHeight, locOld.height()), QImage::Format_RGB32);
    if (locImage.isNull())
        return locFail(GDI_ERROR_OUT_OF_MEMORY);
    locImage.fill(0xFF000000u);
    for (int y = 0; y < locOld.height(); y++)
        memcpy(locImage.scanLine(y), locOld.constScanLine(y), (size_t)locOld.width() * 4);
    myData->myImage = locImage;
    return true;
}

bool GDI_Picture::FillRect(const GDI_Rect& aRect, GDI_Colour aColour)
{
    const QRect locRect = QRect(QPoint(aRect.myLeft, aRect.myTop), QPoint(aRect.myRight - 1, aRect.myBottom - 1))
                              .intersected(myData->myImage.rect());
    if (locRect.isEmpty())
        return true;
    locEndPainting(myData);
    const uint32_t locPixel = 0xFF000000u | (locColour(aColour).rgb() & 0xFFFFFF);
    for (int y = locRect.top(); y <= locRect.bottom(); y++)
    {
        uint32_t* locRow = (uint32_t*)myData->myImage.scanLine(y);
        for (int x = locRect.left(); x <= locRect.right(); x++)
            locRow[x] = locPixel;
    }
    return true;
}

namespace
{
// Nearest-pixel copy of the source rectangle to the destination one, both cut to
// their images; aKey >= 0 leaves out source pixels of that 0xRRGGBB.
bool locBlit(QImage& aTarget, int x, int y, int w, int h, const QImage& aSource, int srcX, int srcY, int srcW,
             int srcH, int64_t aKey)
{
    if (w <= 0 || h <= 0 || srcW <= 0 || srcH <= 0)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    const int locX0 = std::max(x, 0), locX1 = std::min(x + w, aTarget.width());
    const int locY0 = std::max(y, 0), locY1 = std::min(y + h, aTarget.height());
    if (locX1 <= locX0 || locY1 <= locY0)
        return true;
    // The source column of each destination column, worked out once per call
    // (-1 outside the source).
    const int locSourceWidth = aSource.width(), locSourceHeight = aSource.height();
    std::vector<int> locColumns((size_t)(locX1 - locX0));
    for (int tx = locX0; tx < locX1; tx++)
    {
        const int64_t sx = srcX + (int64_t)(tx - x) * srcW / w;
        locColumns[(size_t)(tx - locX0)] = sx < 0 || sx >= locSourceWidth ? -1 : (int)sx;
    }
    for (int ty = locY0; ty < locY1; ty++)
    {
        const int64_t sy = srcY + (int64_t)(ty - y) * srcH / h;
        if (sy < 0 || sy >= locSourceHeight)
            continue;
        const uint32_t* locSourceRow = (const uint32_t*)aSource.constScanLine((int)sy);
        uint32_t* locTargetRow = (uint32_t*)aTarget.scanLine(ty) + locX0;
        for (size_t i = 0; i < locColumns.size(); i++)
        {
            const int sx = locColumns[i];
            if (sx < 0)
                continue;
            const uint32_t locPixel = locSourceRow[sx] & 0xFFFFFF;
            if (aKey >= 0 && locPixel == (uint32_t)aKey)
                continue;
            locTargetRow[i] = 0xFF000000u | locPixel;
        }
    }
    return true;
}
} // namespace

bool GDI_Picture::BitBlt(int x, int y, int w, int h, const GDI_Bitmap* aBitmap, int srcX, int srcY)
{
    if (!aBitmap)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    locEndPainting(myData);
    return locBlit(myData->myImage, x, y, w, h, aBitmap->myData->myImage, srcX, srcY, w, h, -1);
}

bool GDI_Picture::StretchBlt(int x, int y, int w, int h, const GDI_Bitmap* aBitmap, int srcX, int srcY, int srcW,
                             int srcH)
{
    if (!aBitmap)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    locEndPainting(myData);
    return locBlit(myData->myImage, x, y, w, h, aBitmap->myData->myImage, srcX, srcY, srcW, srcH, -1);
}

bool GDI_Picture::TransparentBlt(int x, int y, int w, int h, const GDI_Bitmap* aBitmap, int srcX, int srcY,
                                 int srcW, int srcH, GDI_Colour aKey)
{
    if (!aBitmap)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    const uint32_t locKey = locColour(aKey).rgb() & 0xFFFFFF;
    locEndPainting(myData);
    return locBlit(myData->myImage, x, y, w, h, aBitmap->myData->myImage, srcX, srcY, srcW, srcH, locKey);
}

bool GDI_Picture::TextOut(const GDI_Font* aFont, int x, int y, const char* aText, GDI_Colour aColour)
{
    if (!aFont || !aText)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    QPainter& locDraw = locPainter(myData);
    locDraw.setFont(aFont->myData->myFont);
    locDraw.setPen(locColour(aColour));
    locDraw.translate(x, y);
    // Escapement turns counter-clockwise on screen; Qt's rotation turns clockwise.
    if (aFont->myData->myEscapement != 0)
        locDraw.rotate(-aFont->myData->myEscapement / 10.0);
    locDraw.drawText(0, aFont->myData->myAscent, QString::fromLatin1(aText));
    locDraw.resetTransform();
    return true;
}

bool GDI_Picture::DrawText(const GDI_Font* aFont, const char* aText, const GDI_Rect& aRect, GDI_Align anAlign,
                           GDI_Colour aColour)
{
    if (!aFont || !aText)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    const QRect locRect(QPoint(aRect.myLeft, aRect.myTop), QPoint(aRect.myRight - 1, aRect.myBottom - 1));
    if (locRect.isEmpty())
        return true;
    int locFlags = Qt::AlignTop | Qt::TextSingleLine;
    locFlags |= anAlign == GDI_ALIGN_CENTRE ? Qt::AlignHCenter : anAlign == GDI_ALIGN_RIGHT ? Qt::AlignRight
                                                                                          : Qt::AlignLeft;
    QPainter& locDraw = locPainter(myData);
    locDraw.setFont(aFont->myData->myFont);
    locDraw.setPen(locColour(aColour));
    locDraw.setClipRect(locRect);
    locDraw.drawText(locRect, locFlags, QString::fromLatin1(aText));
    return true;
}

namespace
{
QPen locPen(GDI_Colour aColour, int aPenWidth)
{
    QPen locResult(locColour(aColour), aPenWidth > 1 ? aPenWidth : 1);
    // GDI's wide pens are round at their ends and joins.
    locResult.setCapStyle(aPenWidth > 1 ? Qt::RoundCap : Qt::SquareCap);
    locResult.setJoinStyle(Qt::RoundJoin);
    return locResult;
}
} // namespace

bool GDI_Picture::Line(int x0, int y0, int x1, int y1, GDI_Colour aColour, int aPenWidth)
{
    // Thin level and upright lines are written directly: Qt hands every such
    // span fill to its thread pool, which made a grid of lines cost a thread
    // wake-up per line. The pixels are the ones QPainter's square cap sets.
    if (aPenWidth <= 1 && (x0 == x1 || y0 == y1))
    {
        locEndPainting(myData);
        const QRect locRect =
            QRect(QPoint(std::min(x0, x1), std::min(y0, y1)), QPoint(std::max(x0, x1), std::max(y0, y1)))
                .intersected(myData->myImage.rect());
        const uint32_t locPixel = 0xFF000000u | (locColour(aColour).rgb() & 0xFFFFFF);
        for (int y = locRect.top(); y <= locRect.bottom(); y++)
        {
            uint32_t* locRow = (uint32_t*)myData->myImage.scanLine(y);
            std::fill(locRow + locRect.left(), locRow + locRect.right() + 1, locPixel);
        }
        return true;
    }
    QPainter& locDraw = locPainter(myData);
    locDraw.setPen(locPen(aColour, aPenWidth));
    locDraw.drawLine(x0, y0, x1, y1);
    return true;
}

bool GDI_Picture::Bezier(const int aPoints[8], GDI_Colour aColour, int aPenWidth)
{
    if (!aPoints)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    QPainterPath locPath(QPointF(aPoints[0], aPoints[1]));
    locPath.cubicTo(aPoints[2], aPoints[3], aPoints[4], aPoints[5], aPoints[6], aPoints[7]);
    QPainter& locDraw = locPainter(myData);
    locDraw.setPen(locPen(aColour, aPenWidth));
    locDraw.setBrush(Qt::NoBrush);
    locDraw.drawPath(locPath);
    return true;
}

bool GDI_Picture::Circle(int aCentreX, int aCentreY, int aRadius, GDI_Colour aColour, int aPenWidth)
{
    if (aRadius < 0)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    QPainter& locDraw = locPainter(myData);
    locDraw.setPen(locPen(aColour, aPenWidth));
    locDraw.setBrush(Qt::NoBrush);
    locDraw.drawEllipse(QPoint(aCentreX, aCentreY), aRadius, aRadius);
    return true;
}

uint32_t GDI_Picture::GetPixel(int x, int y) const
{
    if (!myData->myImage.valid(x, y))
        return 0;
    locEndPainting(myData);
    return myData->myImage.pixel(x, y) & 0xFFFFFF;
}

void GDI_Picture::SetPresentCallback(GDI_PresentCallback aCallback, void* aUser)
{
    myData->myCallback = aCallback;
    myData->myUser = aUser;
}

bool GDI_Picture::Present(int aWidth, int aHeight)
{
    if (aWidth <= 0 || aHeight <= 0)
        return locFail(GDI_ERROR_BAD_ARGUMENT);
    if (!myData->myCallback)
        return true;
    locEndPainting(myData);
    const QImage& locImage = myData->myImage;
    myData->myCallback(myData->myUser, (const uint32_t*)locImage.constBits(), std::min(aWidth, locImage.width()),
                       std::min(aHeight, locImage.height()), (int)locImage.bytesPerLine());
    return true;
}
