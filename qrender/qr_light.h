// A light of a model or a program: position, direction, colour and range that may follow
// spline paths over time, an optional halo, and the group mask that says whom it lights.
// Its leading fields are what the vertex-shader kinds read (QR_LightSetLight).
#pragma once

#include <stdint.h>

#include "qrender/qr_vertexshader.h"

class QR_SplinePath;
class QR_SurfaceInstance;

enum QR_LightType : uint32_t
{
    QR_LIGHT_DIRECTIONAL = 0,
    QR_LIGHT_POINT = 1,
    QR_LIGHT_NONE = 2, // no type fields; neither lit nor haloed
    QR_LIGHT_SPOT = 3
};

class QR_Light : public QR_LightSetLight
{
public:
    // Direction (0, 0, 1), directional, range 0, cone values -1, fall-off 0.1, group 1.
    QR_Light();
    // Destroys the halo instance and the three paths.
    ~QR_Light();
    QR_Light(const QR_Light&) = delete;
    QR_Light& operator=(const QR_Light&) = delete;

    // Copies every plain field of another light; paths and halo stay this light's own.
    void CopyFields(const QR_Light& aSource);
    // Evaluates the paths at aTime: position (and with 5 channels heading and pitch as the
    // direction), colour, range.
    void Update(float aTime);

    QR_SplinePath* myMotionPath; // owned, or null
    QR_SplinePath* myColorPath;
    QR_SplinePath* myRangePath;
    QR_SurfaceInstance* myHalo; // owned, or null
    // Halo thresholds on -(light direction . camera direction): none below the first, full
    // at the second.
    float myConeValues[2];
    float myFallOff; // halo size, world units
    uint32_t myLightMask;
    uint32_t myStateId;
    uint32_t myPartIndex; // -1: the object itself
};
