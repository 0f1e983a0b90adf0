// Lights and their paths.
#include "qrender/qr_light.h"

#include <math.h>

#include "qrender/qr_splinepath.h"
#include "qrender/qr_surface.h"

QR_Light::QR_Light()
    : QR_LightSetLight{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, QR_LIGHT_DIRECTIONAL, {0.0f, 0.0f, 0.0f}, 0.0f}
    , myMotionPath(nullptr)
    , myColorPath(nullptr)
    , myRangePath(nullptr)
    , myHalo(nullptr)
    , myConeValues{-1.0f, -1.0f}
    , myFallOff(0.1f)
    , myLightMask(1)
    , myStateId(0)
    , myPartIndex(0xFFFFFFFF)
{
}

QR_Light::~QR_Light()
{
    delete myHalo;
    delete myMotionPath;
    delete myColorPath;
    delete myRangePath;
}

void QR_Light::CopyFields(const QR_Light& aSource)
{
    *static_cast<QR_LightSetLight*>(this) = aSource;
    myConeValues[0] = aSource.myConeValues[0];
    myConeValues[1] = aSource.myConeValues[1];
    myFallOff = aSource.myFallOff;
    myLightMask = aSource.myLightMask;
    myStateId = aSource.myStateId;
    myPartIndex = aSource.myPartIndex;
}

void QR_Light::Update(float aTime)
{
    float v[QR_SplinePath::MAX_CHANNELS];
    if (myMotionPath && myMotionPath->myNumChannels <= QR_SplinePath::MAX_CHANNELS)
    {
        myMotionPath->GetValue(aTime, v);
        for (uint32_t k = 0; k < 3 && k < myMotionPath->myNumChannels; k++)
            myPosition[k] = v[k];
        if (myMotionPath->myNumChannels >= 5)
        {
            float h = v[3], p = v[4];
            myDirection[0] = sinf(h) * cosf(p);
            myDirection[1] = -sinf(p);
            myDirection[2] = cosf(h) * cosf(p);
        }
    }
    if (myColorPath && myColorPath->myNumChannels <= QR_SplinePath::MAX_CHANNELS)
    {
        myColorPath->GetValue(aTime, v);
        for (uint32_t k = 0; k < 3 && k < myColorPath->myNumChannels; k++)
            myColor[k] = v[k];
    }
    if (myRangePath && myRangePath->myNumChannels <= QR_SplinePath::MAX_CHANNELS && myRangePath->myNumChannels > 0)
    {
        myRangePath->GetValue(aTime, v);
        myRange = v[0];
    }
}
