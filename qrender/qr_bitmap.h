// 2-D bitmaps: an image, or a rectangle of it, drawn as one screen-aligned quad in window
// pixels over the 3-D picture, through a surface instance on "INTERNAL_ALPHA" (images with
// alpha) or "INTERNAL_SOLID".
#pragma once

#include <stdint.h>

class QR_SurfaceInstance;

class QR_Bitmap
{
public:
    // Null when the texture cannot be loaded or the instance cannot be made. A filtered
    // bitmap is stretched to the device's sizes and drawn with filtering.
    static QR_Bitmap* Create(const char* aTextureName, bool aFilteredFlag);
    // Over a caller's instance, which the bitmap does not own.
    static QR_Bitmap* CreateFromInstance(QR_SurfaceInstance* anInstance);
    QR_Bitmap();
    ~QR_Bitmap();
    QR_Bitmap(const QR_Bitmap&) = delete;
    QR_Bitmap& operator=(const QR_Bitmap&) = delete;

    // The source rectangle stretched onto the destination, in pixels; a source width or
    // height of 0 means the image's.
    static void Draw(QR_Bitmap* aBitmap, int32_t anX, int32_t aY, int32_t aWidth, int32_t aHeight, int32_t aSourceX,
                     int32_t aSourceY, int32_t aSourceWidth, int32_t aSourceHeight);
    static void DrawUnscaled(QR_Bitmap* aBitmap, int32_t anX, int32_t aY, int32_t aSourceX, int32_t aSourceY,
                             int32_t aSourceWidth, int32_t aSourceHeight);
    // The renderer's force-flush square, drawn at the top-left at each frame's start.
    static void DrawForceFlushSurface(QR_SurfaceInstance* anInstance);

    QR_SurfaceInstance* myInstance; // slot 0, frame 0 is the image
    uint8_t myOwnsInstance;
    uint32_t myColor; // 0xAARRGGBB of the four vertices
    int32_t myWidth;  // the image's, pixels
    int32_t myHeight;
    uint8_t myFilteredFlag;
};
