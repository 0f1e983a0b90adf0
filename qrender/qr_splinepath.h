// Key-framed curves of up to 16 float channels over a normalised time: part
// motion in animation states, light motion and colour, texture animation.
#pragma once

#include <stdint.h>

#include "qrender/matrix44.h"

class QF_File;

// One key handed to BuildFromKeys (the model editor's import).
struct QR_SplineKey
{
    float myTime;
    float myValues[9];
    float myTangents[9];
    uint32_t myType; // QR_SplinePath::InterpolationType
};

class QR_SplinePath
{
public:
    enum InterpolationType
    {
        HERMITE = 0,
        HERMITE_2 = 1,
        BEZIER = 2,
        LINEAR = 3,
        STEP = 4,
    };
    static constexpr uint32_t MAX_CHANNELS = 16;
    static constexpr uint32_t MAX_TANGENTS = 2;

    float myRate;               // the path is evaluated at time x rate
    uint32_t myKeySizeInFloats; // 2 + keyed channels x (tangents + 1); 0 when nothing is keyed
    uint32_t myNumChannels;
    uint32_t myKeyedMask;       // bit c: channel c is stored in the keys
    uint32_t myNumTangents;
    float* myConstants;         // owned; one value per constant channel, in channel order
    float* myKeys;              // owned; myNumKeys x myKeySizeInFloats
    uint32_t myNumKeys;
    bool myIsLooping;

    QR_SplinePath();
    ~QR_SplinePath();
    QR_SplinePath(const QR_SplinePath& anOther);
    QR_SplinePath& operator=(const QR_SplinePath& anOther);

    // Reads a stored path into this one. False (and the path left empty) for
    // a block whose counts, key times or interpolation types cannot be
    // evaluated, or that runs past the end of the file.
    bool Read(QF_File& aFile);

    // anOutput receives myNumChannels floats.
    void GetValue(float aTime, float* anOutput) const;
    // Translation from channels 0-2, rotation from the angles in channels 3-5,
    // and with exactly 9 channels a per-axis scale from channels 6-8. The
    // fourth column is left as the caller initialised it.
    void GetMatrix(float aTime, Matrix44& aMatrix) const;
    // One pass takes aSeconds; a length not above 0 gives rate 1.
    void SetLength(float aSeconds);
    // aNumChannels is at most 9. False when memory runs out.
    bool BuildFromKeys(const QR_SplineKey* aKeys, int aNumKeys, int aNumChannels);

    void Free();

private:
    uint32_t GetType(uint32_t aKey) const;
    void KeyValues(uint32_t aKey, float* anOutput) const;
};
