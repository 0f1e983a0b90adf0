// The browser's grid cells.
#include "tessaly/qrb_view.h"

#include <string.h>

#include <algorithm>
#include <string>

#include "qinput/qi_time.h"
#include "qrender/qr_bitmap.h"
#include "qrender/qr_font.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_render.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_view.h"
#include "tessaly/main.h"

QC_String ViewerLabelFromPath(const char* aPath)
{
    const char* s = aPath;
    for (const char* p = aPath; *p; p++)
        if (*p == '/' || *p == '\\')
            s = p + 1;
    size_t n = strlen(s);
    if (n >= 4 && s[n - 4] == '.')
        n -= 4;
    std::string locText(s, n);
    QC_String locLabel;
    locLabel = locText.c_str();
    return locLabel;
}

namespace
{

// aWord with characters taken from its middle until it is at most aWidth pixels wide.
std::string locShortenMiddle(QR_Font* aFont, const std::string& aWord, int aWidth)
{
    const size_t n = aWord.size();
    std::string locShown = aWord;
    for (size_t locKeep = n; locKeep > 0 && QR_Font::GetTextWidth(aFont, locShown.c_str()) > aWidth; locKeep--)
    {
        // Cut between whole UTF-8 characters.
        size_t locHead = locKeep / 2, locTail = n - (locKeep - 1 - locKeep / 2);
        while (locHead > 0 && (aWord[locHead] & 0xC0) == 0x80)
            locHead--;
        while (locTail < n && (aWord[locTail] & 0xC0) == 0x80)
            locTail++;
        locShown = aWord.substr(0, locHead) + "..." + aWord.substr(locTail);
    }
    return locShown;
}

} // namespace

std::vector<std::string> ViewerWrapLabel(QR_Font* aFont, const char* aText, int aWidth, int aMaxLines)
{
    auto locWidth = [&](const std::string& aLine) { return QR_Font::GetTextWidth(aFont, aLine.c_str()); };
    std::vector<std::string> locWords; // each at most a line wide
    int locWidest = 0;
    for (const char* p = aText;; p++)
    {
        const char* e = strchr(p, ' ');
        locWords.push_back(locShortenMiddle(aFont, std::string(p, e ? (size_t)(e - p) : strlen(p)), aWidth));
        locWidest = std::max(locWidest, locWidth(locWords.back()));
        if (!e)
            break;
        p = e;
    }
    auto locWrap = [&](int aLineWidth)
    {
        std::vector<std::string> locLines;
        for (const std::string& w : locWords)
            if (!locLines.empty() && locWidth(locLines.back() + " " + w) <= aLineWidth)
                locLines.back() += " " + w;
            else
                locLines.push_back(w);
        return locLines;
    };
    // The fewest lines, as even as they go: the narrowest width that needs no more of them.
    const size_t locCount = locWrap(aWidth).size();
    int locLow = std::min(locWidest, aWidth), locHigh = aWidth;
    while (locLow < locHigh)
    {
        const int m = locLow + (locHigh - locLow) / 2;
        if (locWrap(m).size() <= locCount)
            locHigh = m;
        else
            locLow = m + 1;
    }
    std::vector<std::string> locLines = locWrap(locHigh);
    const size_t locMax = (size_t)std::max(aMaxLines, 1);
    if (locLines.size() > locMax)
    {
        // The first lines go together, giving way in their middle.
        const size_t locExtra = locLines.size() - locMax;
        for (size_t i = 1; i <= locExtra; i++)
            locLines[0] += " " + locLines[i];
        locLines[0] = locShortenMiddle(aFont, locLines[0], aWidth);
        locLines.erase(locLines.begin() + 1, locLines.begin() + 1 + (long)locExtra);
    }
    return locLines;
}

ViewerCell::ViewerCell()
    : myScene(nullptr)
    , myView(nullptr)
    , myObject(nullptr)
    , myBitmap(nullptr)
    , myLineHeight(0)
{
}

ViewerCell::~ViewerCell()
{
    delete myView;
    delete myScene;
}

bool ViewerCell::CreateView()
{
    if (myView)
        return true;
    myScene = new QR_Scene();
    myView = new QR_View(256, myScene, 256);
    myView->myAmbientColor = 0x7F7F7F;
    myView->myCamera.SetClipPlanes(1.0f, 500.0f);
    myView->myCamera.SetViewport(0, 0, 100, 100);
    myView->myCamera.UpdateProjection();
    myView->myFogColor = 0;
    myView->myFogDistance = 250.0f;
    return true;
}

bool ViewerCell::SetModel(QR_MainObject* anObject)
{
    myBitmap = nullptr;
    if (!CreateView())
        return false;
    QR_TemplateObject* t = anObject->myTemplate;
    const float r = t->GetBoundRadius() > 0.0f ? t->GetBoundRadius() : 1.0f;
    myView->myCamera.SetClipPlanes(0.005f * r, 10.0f * r);
    myView->myCamera.UpdateProjection();
    myView->myFogDistance = 5.0f * r;
    myView->myCamera.myMatrix.SetTranslation(t->myBoundCentre[0], t->myBoundCentre[1], -1.3f * r - 1.0f);
    myObject = anObject;
    myLabel = ViewerLabelFromPath(t->myName);
    myLabelLines.clear();
    return true;
}

void ViewerCell::SetBitmap(QR_Bitmap* aBitmap, const char* aName)
{
    myObject = nullptr;
    myBitmap = aBitmap;
    myLabel = ViewerLabelFromPath(aName);
    myLabelLines.clear();
}

void ViewerCell::Clear()
{
    myObject = nullptr;
    myBitmap = nullptr;
    myLabel = "";
    myLabelLines.clear();
}

void ViewerCell::WrapLabel(QR_Font* aFont)
{
    myLabelLines.clear();
    if (!aFont || !myView || myLabel.IsEmpty() ||
        QR_Font::GetTextWidth(aFont, myLabel.GetBuffer()) <= myView->myCamera.myViewportWidth)
        return;
    myLabelLines = ViewerWrapLabel(aFont, myLabel.GetBuffer(), myView->myCamera.myViewportWidth, VIEWER_LABEL_LINES);
    myLineHeight = aFont->myHeight;
}

void ViewerCell::SetRect(int anX, int aY, int aWidth, int aHeight)
{
    if (!CreateView())
        return;
    myView->myCamera.SetViewport(anX, aY, aWidth, aHeight);
    myView->myCamera.UpdateProjection();
}

void ViewerCell::Render(float aZoom, float anAngle1, float anAngle2)
{
    if (!myScene || !myView)
        return;
    myScene->Update();
    QR_Camera& c = myView->myCamera;
    if (myObject)
    {
        QR_TemplateObject* t = myObject->myTemplate;
        const float r = t->GetBoundRadius() > 0.0f ? t->GetBoundRadius() : 1.0f;
        const float cz = t->myBoundCentre[2];
        c.myMatrix.SetTranslation(t->myBoundCentre[0], t->myBoundCentre[1], cz + (-cz - 1.3f * r - 1.0f) / aZoom);
    }
    // Current and set first: the clear is cut to the device's viewport.
    myView->MakeCurrent();
    QR_Render::ourInstance->SetView(myView);
    myView->BeginRender(true, 0x5F5F5F);
    if (myBitmap)
    {
        const float s = 0.5f - 0.5f * aZoom;
        const float w = (float)c.myViewportWidth, h = (float)c.myViewportHeight;
        // Within the view: 2-D positions are relative to its viewport.
        QR_Bitmap::Draw(myBitmap, (int)(s * w + 5), (int)(s * h + 5),
                        (int)(aZoom * w - 5), (int)(aZoom * h - 5), 0, 0, 0, 0);
    }
    if (myObject)
    {
        Matrix44 m;
        m.SetIdentity();
        m.SetRotation(anAngle1, anAngle2, 0.0f);
        if (myObject->myColor >> 24)
            myObject->Update(m);
        myObject->Render();
    }
    myView->EndRender();
}

int ViewerCell::GetLabel(QR_FontText* someTexts, QR_Rect* aClip) const
{
    if (!myView || myLabel.IsEmpty())
        return 0;
    const QR_Camera& c = myView->myCamera;
    const int n = myLabelLines.empty() ? 1 : (int)myLabelLines.size();
    const int y = c.myViewportY + c.myViewportHeight + 5;
    // A long name stops where the view does, short of the next cell's label.
    aClip->myLeft = c.myViewportX;
    aClip->myTop = myLabelLines.empty() ? c.myViewportY + c.myViewportHeight : y - (n - 1) * myLineHeight;
    aClip->myRight = c.myViewportX + c.myViewportWidth;
    aClip->myBottom = c.myViewportY + c.myViewportHeight + VIEWER_CELL_HEIGHT - VIEWER_VIEW_HEIGHT;
    for (int i = 0; i < n; i++)
    {
        QR_FontText& t = someTexts[i];
        t.myX = c.myViewportX;
        t.myY = y - (n - 1 - i) * myLineHeight;
        t.myClip = aClip;
        t.myColor = myObject ? 0xFFFFFFFF : myBitmap ? 0xFF0000FF : 0xFFFFFF00;
        t.myText = myLabelLines.empty() ? myLabel.GetBuffer() : myLabelLines[(size_t)i].c_str();
    }
    return n;
}
