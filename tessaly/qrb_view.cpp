// The browser's grid cells.
#include "tessaly/qrb_view.h"

#include <string.h>

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

ViewerCell::ViewerCell()
    : myScene(nullptr)
    , myView(nullptr)
    , myObject(nullptr)
    , myBitmap(nullptr)
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
    return true;
}

void ViewerCell::SetBitmap(QR_Bitmap* aBitmap, const char* aName)
{
    myObject = nullptr;
    myBitmap = aBitmap;
    myLabel = ViewerLabelFromPath(aName);
}

void ViewerCell::Clear()
{
    myObject = nullptr;
    myBitmap = nullptr;
    myLabel = "";
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

bool ViewerCell::GetLabel(QR_FontText* aText, QR_Rect* aClip) const
{
    if (!myView || myLabel.IsEmpty())
        return false;
    const QR_Camera& c = myView->myCamera;
    aText->myX = c.myViewportX;
    aText->myY = c.myViewportY + c.myViewportHeight + 5;
    // A long name or a failure's text stops where the view does, short of the next cell's label.
    aClip->myLeft = c.myViewportX;
    aClip->myTop = c.myViewportY + c.myViewportHeight;
    aClip->myRight = c.myViewportX + c.myViewportWidth;
    aClip->myBottom = aClip->myTop + VIEWER_CELL_HEIGHT - VIEWER_VIEW_HEIGHT;
    aText->myClip = aClip;
    aText->myColor = myObject ? 0xFFFFFFFF : myBitmap ? 0xFF0000FF : 0xFFFFFF00;
    aText->myText = myLabel.GetBuffer();
    return true;
}
