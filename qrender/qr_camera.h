// The camera of a view: its placement, the left-handed perspective made from field of view,
// clip planes and viewport, and the sphere tests that cull objects, emitters and halos.
#pragma once

#include <stdint.h>

#include "qrender/matrix44.h"

class QR_Camera
{
public:
    // Identity placement, planes 1 and 1000, a field of view just under 90 degrees, the
    // renderer's size as viewport (640 x 480 without a renderer).
    QR_Camera();

    void SetViewport(int32_t aLeft, int32_t aTop, int32_t aWidth, int32_t aHeight);
    void SetClipPlanes(float aNear, float aFar);
    void SetFieldOfView(float aRadians);
    // A viewport of height 0 keeps the last projection.
    void UpdateProjection();

    // aPoint is (x, y, z, w) after the view-projection matrix.
    bool IsSphereOutside(const float aPoint[4], float aRadius) const;
    bool IsSphereOutsideSides(const float aPoint[4], float aRadius) const;
    uint32_t GetOutcode(const float aPoint[4]) const;

    const float* GetPosition() const { return &myMatrix.myMatrix[12]; }
    const float* GetForward() const { return &myMatrix.myMatrix[8]; }

    Matrix44 myMatrix;           // placement: rows side, up, forward, position
    Matrix44 myProjectionMatrix;
    float myNear;
    float myFar;
    float myNearSquared;
    float myFarSquared;
    float myFieldOfView; // radians, horizontal
    int32_t myViewportX;
    int32_t myViewportY;
    int32_t myViewportWidth;
    int32_t myViewportHeight;
};
