// What the renderer and the vertex-shader kinds read of a view: its matrices, its rectangle
// of the render target and its fog. The views' gathering and sorting come on top.
#pragma once

#include <stdint.h>

#include "qrender/matrix44.h"

class QR_View
{
public:
    QR_View();

    Matrix44 myViewMatrix;           // world to camera space
    Matrix44 myViewProjectionMatrix; // view x projection
    Matrix44 myProjectionMatrix;
    int32_t myViewportX;
    int32_t myViewportY;
    int32_t myViewportWidth;
    int32_t myViewportHeight;
    uint32_t myFogColor; // 0xRRGGBB
    float myFogStart;
    float myFogEnd;

    // The camera's forward axis in world space.
    void GetForward(float* anOut) const
    {
        anOut[0] = myViewMatrix[2];
        anOut[1] = myViewMatrix[6];
        anOut[2] = myViewMatrix[10];
    }

    static QR_View* ourCurrentView;
};
