// The camera's projection and its sphere tests.
#include "qrender/qr_camera.h"

#include <math.h>

#include "qrender/qr_render.h"

QR_Camera::QR_Camera()
    : myMatrix(Matrix44::Identity())
    , myProjectionMatrix(Matrix44::Identity())
    , myNear(1.0f)
    , myFar(1000.0f)
    , myNearSquared(1.0f)
    , myFarSquared(1000000.0f)
    , myFieldOfView(1.5707825f)
    , myViewportX(0)
    , myViewportY(0)
    , myViewportWidth(QR_Render::ourInstance ? QR_Render::ourInstance->myRenderSettings.myWidth : 640)
    , myViewportHeight(QR_Render::ourInstance ? QR_Render::ourInstance->myRenderSettings.myHeight : 480)
{
    UpdateProjection();
}

void QR_Camera::SetViewport(int32_t aLeft, int32_t aTop, int32_t aWidth, int32_t aHeight)
{
    myViewportX = aLeft;
    myViewportY = aTop;
    myViewportWidth = aWidth;
    myViewportHeight = aHeight;
    UpdateProjection();
}

void QR_Camera::SetClipPlanes(float aNear, float aFar)
{
    myNear = aNear;
    myFar = aFar;
    myNearSquared = aNear * aNear;
    myFarSquared = aFar * aFar;
    UpdateProjection();
}

void QR_Camera::SetFieldOfView(float aRadians)
{
    myFieldOfView = aRadians;
    UpdateProjection();
}

void QR_Camera::UpdateProjection()
{
    if (myViewportHeight == 0)
        return;
    float c = 1.0f / tanf(myFieldOfView * 0.5f);
    float q = myFar / (myFar - myNear);
    Matrix44& p = myProjectionMatrix;
    for (float& f : p.myMatrix)
        f = 0.0f;
    p[0] = c;
    p[5] = c * (float)myViewportWidth / (float)myViewportHeight;
    p[10] = q;
    p[11] = 1.0f;
    p[14] = -q * myNear;
}

bool QR_Camera::IsSphereOutsideSides(const float aPoint[4], float aRadius) const
{
    const float* p = myProjectionMatrix.myMatrix;
    float rx = aRadius * p[0] * 1.42f;
    float ry = aRadius * p[5] * 1.42f;
    float x = aPoint[0], y = aPoint[1], w = aPoint[3];
    return x + rx < -w || x - rx > w || y - ry > w || y + ry < -w;
}

bool QR_Camera::IsSphereOutside(const float aPoint[4], float aRadius) const
{
    if (IsSphereOutsideSides(aPoint, aRadius))
        return true;
    const float* p = myProjectionMatrix.myMatrix;
    float rz = aRadius * p[10];
    return aPoint[2] + rz < p[14] || aPoint[2] - rz > myFar;
}

uint32_t QR_Camera::GetOutcode(const float aPoint[4]) const
{
    float x = aPoint[0], y = aPoint[1], z = aPoint[2], w = aPoint[3];
    uint32_t locCode = 0;
    if (x < -w)
        locCode |= 1;
    else if (x > w)
        locCode |= 2;
    if (y < -w)
        locCode |= 4;
    else if (y > w)
        locCode |= 8;
    if (z < myProjectionMatrix[14])
        locCode |= 16;
    else if (z > myFar)
        locCode |= 32;
    return locCode;
}
