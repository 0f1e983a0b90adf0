// 2-D bitmaps drawn as pre-transformed quads through the renderer's dynamic buffer.
#include "qrender/qr_bitmap.h"

#include <new>

#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"

QR_Bitmap::QR_Bitmap()
    : myInstance(nullptr)
    , myOwnsInstance(0)
    , myColor(0xFFFFFFFF)
    , myWidth(0)
    , myHeight(0)
    , myFilteredFlag(0)
{
}

QR_Bitmap::~QR_Bitmap()
{
    if (myOwnsInstance)
        delete myInstance;
}

QR_Bitmap* QR_Bitmap::Create(const char* aTextureName, bool aFilteredFlag)
{
    uint32_t locFlags = aFilteredFlag ? QR_TEXTUREFLAG_STRETCH : QR_TEXTUREFLAG_NOMIPMAPS | QR_TEXTUREFLAG_FULLDETAIL;
    QR_Texture* locTexture = QR_Texture::Acquire(aTextureName, locFlags, 0, nullptr);
    if (!locTexture)
        return nullptr;
    QR_Bitmap* locBitmap = new (std::nothrow) QR_Bitmap();
    if (locBitmap)
        locBitmap->myInstance = QR_Surface::CreateInstanceWithTexture(
            locTexture->myFormatKind == 1 ? "INTERNAL_ALPHA" : "INTERNAL_SOLID", aTextureName);
    int32_t locWidth = locTexture->mySourceWidth, locHeight = locTexture->mySourceHeight;
    QR_Texture::Release(locTexture); // the instance keeps its own reference
    if (!locBitmap || !locBitmap->myInstance)
    {
        delete locBitmap;
        return nullptr;
    }
    locBitmap->myOwnsInstance = 1;
    locBitmap->myFilteredFlag = aFilteredFlag;
    locBitmap->myWidth = locWidth;
    locBitmap->myHeight = locHeight;
    return locBitmap;
}

static QR_Texture* locImage(const QR_SurfaceInstance* anInstance)
{
    if (!anInstance || anInstance->myNumTextures == 0 || anInstance->myTextures[0].myNumFrames == 0)
        return nullptr;
    return anInstance->myTextures[0].myFrames[0];
}

QR_Bitmap* QR_Bitmap::CreateFromInstance(QR_SurfaceInstance* anInstance)
{
    QR_Bitmap* locBitmap = new (std::nothrow) QR_Bitmap();
    if (!locBitmap)
        return nullptr;
    locBitmap->myInstance = anInstance;
    if (const QR_Texture* t = locImage(anInstance))
    {
        locBitmap->myWidth = t->myWidth;
        locBitmap->myHeight = t->myHeight;
    }
    return locBitmap;
}

namespace
{
struct locVertex
{
    float myX, myY, myZ, myRhw;
    uint32_t myColor;
    float myU, myV;
};
static_assert(sizeof(locVertex) == 28, "pre-transformed vertex with colour and one uv set");
} // namespace

void QR_Bitmap::Draw(QR_Bitmap* aBitmap, int32_t anX, int32_t aY, int32_t aWidth, int32_t aHeight, int32_t aSourceX,
                     int32_t aSourceY, int32_t aSourceWidth, int32_t aSourceHeight)
{
    QR_Render* locRender = QR_Render::ourInstance;
    const QR_Texture* t = locImage(aBitmap->myInstance);
    if (!locRender || !t || !locRender->myDynamicVertexBuffer)
        return;
    if (aSourceWidth == 0)
        aSourceWidth = t->mySourceWidth;
    if (aSourceHeight == 0)
        aSourceHeight = t->mySourceHeight;
    // Past the device's size the texture was stretched: the image's own size then maps
    // onto the whole texture.
    float locDivU = (float)(aSourceWidth > t->myWidth ? t->mySourceWidth : t->myWidth);
    float locDivV = (float)(aSourceHeight > t->myHeight ? t->mySourceHeight : t->myHeight);
    if (locDivU <= 0.0f || locDivV <= 0.0f)
        return;
    float u0 = (float)aSourceX / locDivU, u1 = (float)(aSourceX + aSourceWidth) / locDivU;
    float v0 = (float)aSourceY / locDivV, v1 = (float)(aSourceY + aSourceHeight) / locDivV;
    if (const QR_View* locView = QR_View::ourCurrentView)
    {
        anX += locView->myCamera.myViewportX;
        aY += locView->myCamera.myViewportY;
    }
    float l = (float)anX - 0.5f, r = (float)(anX + aWidth) - 0.5f;
    float tp = (float)aY - 0.5f, b = (float)(aY + aHeight) - 0.5f;

    if (aBitmap->myFilteredFlag)
        locRender->BeginAlpha2DFiltered();
    else
        locRender->BeginAlpha2D();
    QR_VertexBuffer* locBuffer = locRender->myDynamicVertexBuffer;
    locBuffer->myVertexSize = sizeof(locVertex);
    void* locOut = nullptr;
    if (!locRender->AppendVertices(locBuffer, &locOut, 4))
        return;
    const uint32_t c = aBitmap->myColor;
    locVertex* v = (locVertex*)locOut;
    v[0] = {l, tp, 0.5f, 0.5f, c, u0, v0};
    v[1] = {r, tp, 0.5f, 0.5f, c, u1, v0};
    v[2] = {l, b, 0.5f, 0.5f, c, u0, v1};
    v[3] = {r, b, 0.5f, 0.5f, c, u1, v1};
    locRender->SetSurface(aBitmap->myInstance, c, -1.0f);
    QR_VertexBuffer* locList[1] = {locBuffer};
    locRender->DrawPrimitives(locList, QR_DRAWTYPES_TRIANGLESTRIP, 4);
}

void QR_Bitmap::DrawUnscaled(QR_Bitmap* aBitmap, int32_t anX, int32_t aY, int32_t aSourceX, int32_t aSourceY,
                             int32_t aSourceWidth, int32_t aSourceHeight)
{
    if (const QR_Texture* t = locImage(aBitmap->myInstance))
    {
        // The destination takes the source's size, the image's where that is 0.
        int32_t w = aSourceWidth ? aSourceWidth : t->mySourceWidth;
        int32_t h = aSourceHeight ? aSourceHeight : t->mySourceHeight;
        Draw(aBitmap, anX, aY, w, h, aSourceX, aSourceY, aSourceWidth, aSourceHeight);
    }
}

void QR_Bitmap::DrawForceFlushSurface(QR_SurfaceInstance* anInstance)
{
    const QR_Texture* t = locImage(anInstance);
    if (!t)
        return;
    QR_Bitmap locBitmap;
    locBitmap.myInstance = anInstance;
    locBitmap.myColor = 0x10101010;
    locBitmap.myWidth = t->myWidth;
    locBitmap.myHeight = t->myHeight;
    DrawUnscaled(&locBitmap, 0, 0, 0, 0, 0, 0);
}
