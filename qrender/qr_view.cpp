// The view record's defaults.
#include "qrender/qr_view.h"

#include "qrender/qr_render.h"

QR_View* QR_View::ourCurrentView = nullptr;

QR_View::QR_View()
    : myViewMatrix(Matrix44::Identity())
    , myViewProjectionMatrix(Matrix44::Identity())
    , myProjectionMatrix(Matrix44::Identity())
    , myViewportX(0)
    , myViewportY(0)
    , myViewportWidth(QR_Render::ourInstance ? QR_Render::ourInstance->myRenderSettings.myWidth : 640)
    , myViewportHeight(QR_Render::ourInstance ? QR_Render::ourInstance->myRenderSettings.myHeight : 480)
    , myFogColor(0)
    , myFogStart(0.0f)
    , myFogEnd(1000.0f)
{
}
