// Bitmap fonts: the list, cutting the glyph strip into page textures, and drawing text as
// pre-transformed quads through the renderer's dynamic buffers.
//
// [SECTION] The list
// [SECTION] Loading
// [SECTION] Drawing
// [SECTION] Measuring and copying
#include "qrender/qr_font.h"

#include <float.h>
#include <new>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "qfile/render/qf_file.h"
#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"

QR_Font* QR_Font::ourFirst = nullptr;

// [SECTION] The list ---------------------------------------------------------------------------

QR_Font::QR_Font()
    : myPages(nullptr)
    , myNumPages(0)
    , myImageName(nullptr)
    , myDescriptionName(nullptr)
    , myRefCount(1)
    , myNext(nullptr)
    , myHeight(0)
    , mySpacing(0)
    , myTabWidth(100)
    , myColor(0xFFFFFFFF)
{
    for (QR_Glyph& g : myGlyphs)
        g = {0.0f, 0.0f, 0.0f, 0.0f, -1, 0};
}

QR_Font::~QR_Font()
{
    for (int32_t i = 0; i < myNumPages; i++)
        delete myPages[i];
    delete[] myPages;
    delete[] myImageName;
    delete[] myDescriptionName;
}

static char* locCopyName(const char* aName)
{
    char locName[256];
    QR_Texture::NormaliseName(aName, locName, sizeof(locName));
    size_t n = strlen(locName);
    char* locCopy = new (std::nothrow) char[n + 1];
    if (locCopy)
        memcpy(locCopy, locName, n + 1);
    return locCopy;
}

QR_Font* QR_Font::Acquire(const char* anImageName, const char* aDescriptionName)
{
    char locImage[256], locDescription[256];
    QR_Texture::NormaliseName(anImageName, locImage, sizeof(locImage));
    QR_Texture::NormaliseName(aDescriptionName, locDescription, sizeof(locDescription));
    for (QR_Font* f = ourFirst; f; f = f->myNext)
        if (strcmp(f->myImageName, locImage) == 0 && strcmp(f->myDescriptionName, locDescription) == 0)
        {
            f->myRefCount++;
            return f;
        }
    QR_Font* locFont = new (std::nothrow) QR_Font();
    if (!locFont)
        return nullptr;
    locFont->myImageName = locCopyName(anImageName);
    locFont->myDescriptionName = locCopyName(aDescriptionName);
    if (!locFont->myImageName || !locFont->myDescriptionName || !locFont->Load())
    {
        delete locFont;
        return nullptr;
    }
    locFont->myNext = ourFirst;
    ourFirst = locFont;
    return locFont;
}

void QR_Font::Release(QR_Font* aFont)
{
    if (!aFont || --aFont->myRefCount > 0)
        return;
    for (QR_Font** p = &ourFirst; *p; p = &(*p)->myNext)
        if (*p == aFont)
        {
            *p = aFont->myNext;
            break;
        }
    delete aFont;
}

// [SECTION] Loading ----------------------------------------------------------------------------

bool QR_Font::FinishPage(uint32_t* aBuffer, int32_t aSide, int32_t aHeight, const char* aName)
{
    QR_TexturePixels locRecord = {(uint32_t)aSide, (uint32_t)aHeight, 32, aBuffer};
    QR_Texture* locTexture = QR_Texture::Acquire(aName, 0x08E, 0, &locRecord);
    delete[] aBuffer;
    if (!locTexture)
        return false;
    QR_SurfaceInstance* locInstance = QR_Surface::CreateInstanceWithTexture("INTERNAL_ALPHA", aName);
    float locWidth = (float)locTexture->myWidth, locHeight = (float)locTexture->myHeight;
    QR_Texture::Release(locTexture); // the instance keeps its own reference
    QR_SurfaceInstance** locPages = locInstance ? new (std::nothrow) QR_SurfaceInstance*[myNumPages + 1] : nullptr;
    if (!locPages)
    {
        delete locInstance;
        return false;
    }
    for (int32_t i = 0; i < myNumPages; i++)
        locPages[i] = myPages[i];
    locPages[myNumPages] = locInstance;
    delete[] myPages;
    myPages = locPages;
    // The glyphs of this page go from pixels to fractions of the device texture.
    for (QR_Glyph& g : myGlyphs)
        if (g.myWidth >= 0 && g.myPage == myNumPages)
        {
            g.myLeftU /= locWidth, g.myRightU /= locWidth;
            g.myTopV /= locHeight, g.myBottomV /= locHeight;
        }
    myNumPages++;
    return true;
}

bool QR_Font::Load()
{
    QR_TexturePixels locImage = {0, 0, 0, nullptr};
    QR_Texture* locTexture = QR_Texture::Acquire(myImageName, 0x01C, 1, &locImage);
    if (!locTexture)
        return false;
    const uint32_t* locPixels = (const uint32_t*)locImage.myPixels;
    const int32_t W = (int32_t)locImage.myWidth, H = (int32_t)locImage.myHeight;
    char locLine[256] = "";
    char locFileName[300];
    snprintf(locFileName, sizeof(locFileName), "%s.txt", myDescriptionName);
    QF_File locFile;
    bool locOk = locPixels && W > 0 && H > 0 && locFile.Open(locFileName, QF_READ);
    if (locOk)
    {
        locFile.ReadLine(locLine, sizeof(locLine));
        locFile.Close();
    }
    QR_Render* locRender = QR_Render::ourInstance;
    int32_t P = locRender && locRender->myCaps.myMaxTextureSize < MAX_PAGE_SIDE
                    ? (int32_t)locRender->myCaps.myMaxTextureSize
                    : (int32_t)MAX_PAGE_SIDE;
    // A glyph taller or wider than a page could not be placed.
    locOk = locOk && H <= P;
    myHeight = H;

    auto locColumnUsed = [&](int32_t x)
    {
        for (int32_t y = 0; y < H; y++)
            if (locPixels[(size_t)y * W + x] >> 24)
                return true;
        return false;
    };
    int32_t c = -1, px = P + 1, py = P + 1;
    uint32_t* locBuffer = nullptr;
    for (const char* t = locLine; locOk && *t; t++)
    {
        do
            c++;
        while (c < W && !locColumnUsed(c));
        if (c >= W)
        {
            locOk = false; // fewer glyphs than characters
            break;
        }
        int32_t e = c + 1;
        while (e < W && locColumnUsed(e))
            e++;
        const int32_t w = e - c;
        if (w > P)
        {
            locOk = false;
            break;
        }
        if (px + w > P)
        {
            py += H;
            px = 0;
            if (py + H > P)
            {
                char locName[300];
                snprintf(locName, sizeof(locName), "%s__%d", myImageName, (int)myNumPages);
                if (locBuffer && !FinishPage(locBuffer, P, P, locName))
                {
                    locBuffer = nullptr;
                    locOk = false;
                    break;
                }
                locBuffer = new (std::nothrow) uint32_t[(size_t)P * P]();
                if (!locBuffer)
                {
                    locOk = false;
                    break;
                }
                px = py = 0;
            }
        }
        for (int32_t y = 0; y < H; y++)
            memcpy(locBuffer + (size_t)(py + y) * P + px, locPixels + (size_t)y * W + c, sizeof(uint32_t) * w);
        myGlyphs[(uint8_t)*t] = {(float)px, (float)py, (float)(px + w), (float)(py + H), w, myNumPages};
        px += w;
        c = e - 1; // the search for the next glyph starts after this one
    }
    if (locOk && locBuffer && (px >= 1 || py >= 1))
    {
        char locName[300];
        snprintf(locName, sizeof(locName), "generated_font_%s_%d", myImageName, (int)myNumPages);
        locOk = FinishPage(locBuffer, P, py + H, locName);
    }
    else
        delete[] locBuffer;
    QR_Texture::FreePixels(locImage.myPixels);
    QR_Texture::Release(locTexture);
    return locOk;
}

// [SECTION] Drawing ----------------------------------------------------------------------------

namespace
{
struct locVertex
{
    float myX, myY, myZ, myRhw;
    uint32_t myColor;
    float myU, myV;
};
static_assert(sizeof(locVertex) == 28, "pre-transformed vertex with colour and one uv set");

// Most characters of one reservation of the dynamic buffers.
const uint32_t BATCH_CHARACTERS = 1024;

// The quads of one page gathered in the dynamic buffers, drawn when the page changes.
class locQuads
{
public:
    explicit locQuads(QR_Render* aRender) : myRender(aRender) {}
    ~locQuads() { Flush(); }

    bool Begin(QR_SurfaceInstance* aPage, uint32_t aColor, uint32_t aCharactersLeft)
    {
        Flush();
        myRender->SetSurface(aPage, aColor, -1.0f);
        myPage = aPage;
        myColor = aColor;
        return Reserve(aCharactersLeft);
    }
    // Begins a batch unless the current one has the same page and colour.
    bool Continue(QR_SurfaceInstance* aPage, uint32_t aColor, uint32_t aCharactersLeft)
    {
        return (aPage == myPage && aColor == myColor && myPage) || Begin(aPage, aColor, aCharactersLeft);
    }
    bool Add(float x0, float y0, float x1, float y1, const QR_Glyph& g, float lu, float tv, float ru, float bv,
             uint32_t aColor, uint32_t aCharactersLeft)
    {
        (void)g;
        if (myUsed == myRoom && !(Flush(), Reserve(aCharactersLeft)))
            return false;
        locVertex* v = myVertices + 4 * myUsed;
        v[0] = {x0, y0, 0.5f, 0.5f, aColor, lu, tv};
        v[1] = {x1, y0, 0.5f, 0.5f, aColor, ru, tv};
        v[2] = {x1, y1, 0.5f, 0.5f, aColor, ru, bv};
        v[3] = {x0, y1, 0.5f, 0.5f, aColor, lu, bv};
        uint16_t b = (uint16_t)(myBase + 4 * myUsed);
        uint16_t* ix = myIndices + 6 * myUsed;
        const uint16_t locQuad[6] = {0, 1, 2, 0, 2, 3};
        for (int i = 0; i < 6; i++)
            ix[i] = (uint16_t)(b + locQuad[i]);
        myUsed++;
        return true;
    }
    void Flush()
    {
        if (myUsed)
        {
            QR_VertexBuffer* locList[1] = {myRender->myDynamicVertexBuffer};
            myRender->DrawIndexedDynamic(locList, myRender->myDynamicIndexBuffer, QR_DRAWTYPES_TRIANGLELIST,
                                         4 * myUsed, 2 * myUsed);
        }
        myUsed = myRoom = 0;
    }

private:
    bool Reserve(uint32_t aCharacters)
    {
        QR_VertexBuffer* locBuffer = myRender->myDynamicVertexBuffer;
        if (!locBuffer || !myRender->myDynamicIndexBuffer)
            return false;
        uint32_t n = aCharacters < BATCH_CHARACTERS ? aCharacters : BATCH_CHARACTERS;
        locBuffer->myVertexSize = sizeof(locVertex);
        void* locOut = nullptr;
        if (!myRender->AppendIndexedVertices(locBuffer, myRender->myDynamicIndexBuffer, &locOut, 4 * n, &myIndices,
                                             6 * n, &myBase))
            return false;
        myVertices = (locVertex*)locOut;
        myRoom = n;
        return true;
    }
    QR_Render* myRender;
    QR_SurfaceInstance* myPage = nullptr;
    uint32_t myColor = 0;
    locVertex* myVertices = nullptr;
    uint16_t* myIndices = nullptr;
    uint32_t myBase = 0;
    uint32_t myUsed = 0;
    uint32_t myRoom = 0;
};

void locViewOrigin(int32_t* anX, int32_t* aY)
{
    if (const QR_View* v = QR_View::ourCurrentView)
    {
        *anX += v->myCamera.myViewportX;
        *aY += v->myCamera.myViewportY;
    }
}
} // namespace

// One line's quads into the batch, aMore characters still to come after it; false when the
// font or the buffers fail. With aClip (left, top, right, bottom, the line's own coordinates)
// only what lies inside it is drawn, a cut glyph's texture rectangle moved in proportion.
// Tabs go to the font's tab stops where aTabsFlag is set, else they are glyphs like any.
static bool locLine(locQuads& q, QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY,
                    uint32_t aColor, const char* aText, uint32_t aMore, const QR_Rect* aClip, bool aTabsFlag)
{
    int32_t locDx = 0, locDy = 0;
    locViewOrigin(&locDx, &locDy);
    const float top = (float)(aY + locDy) - 0.5f, lineHeight = (float)aFont->myHeight * aScaleY;
    const float bottom = top + lineHeight;
    float pen = (float)(anX + locDx) - 0.5f;
    float cl = -FLT_MAX, ct = -FLT_MAX, cr = FLT_MAX, cb = FLT_MAX;
    if (aClip)
    {
        cl = (float)(aClip->myLeft + locDx) - 0.5f, cr = (float)(aClip->myRight + locDx) - 0.5f;
        ct = (float)(aClip->myTop + locDy) - 0.5f, cb = (float)(aClip->myBottom + locDy) - 0.5f;
        if (cl >= cr || ct >= cb || bottom <= ct || top >= cb)
            return true;
    }
    const uint32_t locLength = (uint32_t)strlen(aText);
    bool locBegun = false;
    int32_t locPage = -1;
    for (uint32_t i = 0; i < locLength && pen < cr; i++)
    {
        const uint8_t ch = (uint8_t)aText[i];
        const QR_Glyph& g = aFont->myGlyphs[ch];
        if (ch == ' ')
        {
            if (g.myWidth > 0)
                pen += (float)g.myWidth * aScaleX;
            continue;
        }
        if (ch == 9 && aTabsFlag)
        {
            if (aFont->myTabWidth > 0)
                pen += (float)(aFont->myTabWidth - (int32_t)(pen + 0.5f) % aFont->myTabWidth) * aScaleX;
            continue;
        }
        if (g.myWidth < 0)
            continue;
        const float w = (float)g.myWidth * aScaleX;
        float qx0 = pen, qx1 = pen + w, qy0 = top, qy1 = bottom;
        pen += (float)(aFont->mySpacing + g.myWidth) * aScaleX;
        if (aClip && (qx1 <= cl || w <= 0.0f))
            continue;
        float lu = g.myLeftU, ru = g.myRightU, tv = g.myTopV, bv = g.myBottomV;
        if (qx0 < cl)
            lu += (cl - qx0) / w * (g.myRightU - g.myLeftU), qx0 = cl;
        if (qx1 > cr)
            ru -= (qx1 - cr) / w * (g.myRightU - g.myLeftU), qx1 = cr;
        if (qy0 < ct)
            tv += (ct - qy0) / lineHeight * (g.myBottomV - g.myTopV), qy0 = ct;
        if (qy1 > cb)
            bv -= (qy1 - cb) / lineHeight * (g.myBottomV - g.myTopV), qy1 = cb;
        if (g.myPage != locPage)
        {
            // A line's first page may carry on the batch of the line before it.
            if (g.myPage >= aFont->myNumPages ||
                !(locBegun ? q.Begin(aFont->myPages[g.myPage], aColor, locLength - i + aMore)
                           : q.Continue(aFont->myPages[g.myPage], aColor, locLength - i + aMore)))
                return false;
            locPage = g.myPage;
            locBegun = true;
        }
        if (!q.Add(qx0, qy0, qx1, qy1, g, lu, tv, ru, bv, aColor, locLength - i + aMore))
            return false;
    }
    return true;
}

void QR_Font::DrawText(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY, const char* aText)
{
    QR_Render* r = QR_Render::ourInstance;
    if (!aFont || !r || !aText || !aText[0])
        return;
    r->BeginAlpha2D();
    locQuads q(r);
    locLine(q, aFont, anX, aY, aScaleX, aScaleY, aFont->myColor, aText, 0, nullptr, true);
}

void QR_Font::DrawTexts(QR_Font* aFont, const QR_FontText* aTexts, uint32_t aCount)
{
    QR_Render* r = QR_Render::ourInstance;
    if (!aFont || !r || !aTexts)
        return;
    uint32_t locMore = 0;
    for (uint32_t i = 0; i < aCount; i++)
        locMore += aTexts[i].myText ? (uint32_t)strlen(aTexts[i].myText) : 0;
    bool locBegun = false;
    locQuads q(r);
    for (uint32_t i = 0; i < aCount; i++)
    {
        const QR_FontText& t = aTexts[i];
        if (!t.myText || !t.myText[0])
            continue;
        aFont->myColor = t.myColor;
        if (!locBegun)
            r->BeginAlpha2D();
        locBegun = true;
        locMore -= (uint32_t)strlen(t.myText);
        if (!locLine(q, aFont, t.myX, t.myY, 1.0f, 1.0f, t.myColor, t.myText, locMore, t.myClip, true))
            return;
    }
}

void QR_Font::DrawTextUnscaled(QR_Font* aFont, int32_t anX, int32_t aY, const char* aText)
{
    DrawText(aFont, anX, aY, 1.0f, 1.0f, aText);
}

void QR_Font::DrawTextClipped(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY,
                              const QR_Rect* aClip, const char* aText)
{
    QR_Render* r = QR_Render::ourInstance;
    if (!aFont || !r || !aText || !aText[0] || !aClip || !(aScaleX > 0.0f) || !(aScaleY > 0.0f) ||
        aClip->myLeft >= aClip->myRight || aClip->myTop >= aClip->myBottom)
        return;
    // A line box that misses the rectangle sets no states.
    if ((float)aY + (float)aFont->myHeight * aScaleY <= (float)aClip->myTop || aY >= aClip->myBottom ||
        anX >= aClip->myRight)
        return;
    r->BeginAlpha2D();
    locQuads q(r);
    locLine(q, aFont, anX, aY, aScaleX, aScaleY, aFont->myColor, aText, 0, aClip, false);
}

void QR_Font::DrawTextClippedUnscaled(QR_Font* aFont, int32_t anX, int32_t aY, const QR_Rect* aClip,
                                      const char* aText)
{
    DrawTextClipped(aFont, anX, aY, 1.0f, 1.0f, aClip, aText);
}

void QR_Font::Printf(QR_Font* aFont, int32_t anX, int32_t aY, const char* aFormat, ...)
{
    char locText[PRINTF_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat, locArgs);
    va_end(locArgs);
    DrawText(aFont, anX, aY, 1.0f, 1.0f, locText);
}

void QR_Font::PrintfScaled(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY,
                           const char* aFormat, ...)
{
    char locText[PRINTF_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat, locArgs);
    va_end(locArgs);
    DrawText(aFont, anX, aY, aScaleX, aScaleY, locText);
}

void QR_Font::PrintfClipped(QR_Font* aFont, int32_t anX, int32_t aY, float aScaleX, float aScaleY,
                            const QR_Rect* aClip, const char* aFormat, ...)
{
    char locText[PRINTF_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat, locArgs);
    va_end(locArgs);
    DrawTextClipped(aFont, anX, aY, aScaleX, aScaleY, aClip, locText);
}

// [SECTION] Measuring and copying ----------------------------------------------------------------

int32_t QR_Font::GetTextWidth(QR_Font* aFont, const char* aText)
{
    int32_t w = 0;
    for (const char* t = aText; aFont && t && *t; t++)
    {
        const QR_Glyph& g = aFont->myGlyphs[(uint8_t)*t];
        if (*t == ' ')
            w += g.myWidth > 0 ? g.myWidth : 0;
        else if (g.myWidth >= 0)
            w += g.myWidth + aFont->mySpacing;
    }
    return w;
}

template <class Put>
void QR_Font::RenderToImage(const char* aText, QR_Font* aFont, int32_t anX, int32_t aY, Put aPut)
{
    int32_t pen = anX;
    for (const char* t = aText; aFont && t && *t; t++)
    {
        const QR_Glyph& g = aFont->myGlyphs[(uint8_t)*t];
        if (*t == ' ')
        {
            pen += g.myWidth > 0 ? g.myWidth : 0;
            continue;
        }
        if (g.myWidth < 0)
            continue;
        // The page's own copy of its pixels (a memory texture), at its source size.
        const QR_SurfaceInstance* s = g.myPage < aFont->myNumPages ? aFont->myPages[g.myPage] : nullptr;
        const QR_Texture* p = s && s->myNumTextures && s->myTextures[0].myNumFrames ? s->myTextures[0].myFrames[0]
                                                                                   : nullptr;
        if (p && p->myMemoryTextureBuffer)
        {
            int32_t sx = (int32_t)(g.myLeftU * (float)p->myWidth + 0.5f);
            int32_t sy = (int32_t)(g.myTopV * (float)p->myHeight + 0.5f);
            for (int32_t y = 0; y < aFont->myHeight && sy + y < p->mySourceHeight; y++)
                for (int32_t x = 0; x < g.myWidth && sx + x < p->mySourceWidth; x++)
                    aPut(pen + x, aY + y, p->myMemoryTextureBuffer[(size_t)(sy + y) * p->mySourceWidth + sx + x]);
        }
        pen += g.myWidth + aFont->mySpacing;
    }
}

void QR_Font::RenderToImage32(const char* aText, QR_Font* aFont, int32_t anX, int32_t aY, uint32_t* aPixels,
                              int32_t aWidth)
{
    RenderToImage(aText, aFont, anX, aY,
                  [&](int32_t x, int32_t y, uint32_t c) { aPixels[(size_t)y * aWidth + x] = c; });
}

void QR_Font::RenderToImage24(const char* aText, QR_Font* aFont, int32_t anX, int32_t aY, uint8_t* aPixels,
                              int32_t aWidth)
{
    RenderToImage(aText, aFont, anX, aY,
                  [&](int32_t x, int32_t y, uint32_t c)
                  {
                      uint8_t* d = aPixels + 3 * ((size_t)y * aWidth + x);
                      d[0] = (uint8_t)c, d[1] = (uint8_t)(c >> 8), d[2] = (uint8_t)(c >> 16);
                  });
}
