// Spline paths: reading, evaluation and building from editor keys.
#include "qrender/qr_splinepath.h"

#include <math.h>
#include <new>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qfile/render/qf_file.h"

namespace
{
int locCountBits(uint32_t aMask)
{
    int locCount = 0;
    for (; aMask; aMask &= aMask - 1)
        locCount++;
    return locCount;
}

float* locCopyArray(const float* aSource, size_t aCount)
{
    if (!aSource)
        return nullptr;
    float* locCopy = new (std::nothrow) float[aCount];
    if (locCopy)
        memcpy(locCopy, aSource, aCount * sizeof(float));
    return locCopy;
}
} // namespace

QR_SplinePath::QR_SplinePath()
{
    myRate = 1.0f;
    myKeySizeInFloats = 0;
    myNumChannels = 0;
    myKeyedMask = 0;
    myNumTangents = 0;
    myConstants = nullptr;
    myKeys = nullptr;
    myNumKeys = 0;
    myIsLooping = true;
}

QR_SplinePath::~QR_SplinePath()
{
    Free();
}

QR_SplinePath::QR_SplinePath(const QR_SplinePath& anOther) : QR_SplinePath()
{
    *this = anOther;
}

QR_SplinePath& QR_SplinePath::operator=(const QR_SplinePath& anOther)
{
    if (this == &anOther)
        return *this;
    Free();
    myRate = anOther.myRate;
    myKeySizeInFloats = anOther.myKeySizeInFloats;
    myNumChannels = anOther.myNumChannels;
    myKeyedMask = anOther.myKeyedMask;
    myNumTangents = anOther.myNumTangents;
    myNumKeys = anOther.myNumKeys;
    myIsLooping = anOther.myIsLooping;
    int locKeyed = locCountBits(myKeyedMask);
    myConstants = locCopyArray(anOther.myConstants, myNumChannels - locKeyed);
    myKeys = locCopyArray(anOther.myKeys, (size_t)myNumKeys * myKeySizeInFloats);
    return *this;
}

void QR_SplinePath::Free()
{
    delete[] myConstants;
    delete[] myKeys;
    myConstants = nullptr;
    myKeys = nullptr;
}

bool QR_SplinePath::Read(QF_File& aFile)
{
    Free();
    myKeySizeInFloats = 0;
    myNumChannels = 0;
    myKeyedMask = 0;
    myNumTangents = 0;
    myNumKeys = 0;

    uint32_t locWords[6];
    for (uint32_t& locWord : locWords)
        if (!aFile.ReadU32(&locWord))
            return false;
    uint32_t locNumChannels = locWords[2];
    uint32_t locNumTangents = locWords[4];
    uint32_t locNumKeys = locWords[5];
    if (locNumChannels > MAX_CHANNELS || locNumTangents > MAX_TANGENTS)
        return false;
    // Bits above the channel count do not describe any channel.
    uint32_t locMask = locWords[3] & (uint32_t)((1ull << locNumChannels) - 1);
    uint32_t locKeyed = (uint32_t)locCountBits(locMask);
    uint32_t locKeySize = 0;
    float* locKeys = nullptr;
    if (locKeyed > 0)
    {
        locKeySize = (locNumTangents + 1) * locKeyed + 2;
        uint64_t locBytes = (uint64_t)locNumKeys * locKeySize * sizeof(float);
        if (locNumKeys < 2 || locBytes > aFile.myFileSize - aFile.myFilePos)
            return false;
        locKeys = new (std::nothrow) float[(size_t)locNumKeys * locKeySize];
        if (!locKeys || !aFile.Read(locKeys, (uint32_t)locBytes))
        {
            delete[] locKeys;
            return false;
        }
        // The evaluation's segment scan ends on the last key at time 1.
        bool locValid = locKeys[(locNumKeys - 1) * locKeySize] == 1.0f;
        for (uint32_t k = 0; locValid && k + 1 < locNumKeys; k++)
        {
            float locTime = locKeys[k * locKeySize];
            float locNext = locKeys[(k + 1) * locKeySize];
            uint32_t locType;
            memcpy(&locType, &locKeys[k * locKeySize + 1], sizeof(locType));
            locValid = locTime == locTime && locTime <= locNext && locType <= STEP &&
                       (locNumTangents > 0 || locType >= LINEAR);
        }
        if (!locValid)
        {
            delete[] locKeys;
            return false;
        }
    }
    else if (locNumKeys != 1 || locNumTangents != 0)
        return false;

    float* locConstants = nullptr;
    uint32_t locNumConstants = locNumChannels - locKeyed;
    if (locNumConstants > 0)
    {
        uint32_t locBytes = locNumConstants * (uint32_t)sizeof(float);
        locConstants = new (std::nothrow) float[locNumConstants];
        if (!locConstants || locBytes > aFile.myFileSize - aFile.myFilePos || !aFile.Read(locConstants, locBytes))
        {
            delete[] locConstants;
            delete[] locKeys;
            return false;
        }
    }

    memcpy(&myRate, &locWords[0], sizeof(myRate));
    myIsLooping = locWords[1] != 0;
    myNumChannels = locNumChannels;
    myKeyedMask = locMask;
    myNumTangents = locNumTangents;
    myNumKeys = locNumKeys;
    myKeySizeInFloats = locKeySize;
    myKeys = locKeys;
    myConstants = locConstants;
    QC_ASSERT(!myKeys || (myKeys[(myNumKeys - 1) * myKeySizeInFloats] == 1.0f && myKeys[(myNumKeys - 2) * myKeySizeInFloats] <= myKeys[(myNumKeys - 1) * myKeySizeInFloats]));
    return true;
}

uint32_t QR_SplinePath::GetType(uint32_t aKey) const
{
    uint32_t locType;
    memcpy(&locType, &myKeys[aKey * myKeySizeInFloats + 1], sizeof(locType));
    return locType;
}

// The values of one key, constants for the constant channels.
void QR_SplinePath::KeyValues(uint32_t aKey, float* anOutput) const
{
    const float* locKey = myKeys ? &myKeys[aKey * myKeySizeInFloats + 2] : nullptr;
    const float* locConstant = myConstants;
    for (uint32_t c = 0; c < myNumChannels; c++)
    {
        if (myKeyedMask & (1u << c))
        {
            anOutput[c] = *locKey;
            locKey += myNumTangents + 1;
        }
        else
            anOutput[c] = *locConstant++;
    }
}

void QR_SplinePath::GetValue(float aTime, float* anOutput) const
{
    if (myNumKeys <= 1 || !myKeys)
    {
        KeyValues(0, anOutput);
        return;
    }
    float t = aTime * myRate;
    if (t >= 1.0f)
    {
        if (!myIsLooping)
        {
            KeyValues(myNumKeys - 1, anOutput);
            return;
        }
        t = isinf(t) ? 0.0f : t - floorf(t);
        QC_ASSERT(t >= 0.0f && "SHOW THIS TO KOL!!!!");
        QC_ASSERT(t < 1.0f && "SHOW THIS TO KOL!!!!");
    }
    if (!(t >= myKeys[0]))
    {
        // Also for a NaN time.
        KeyValues(0, anOutput);
        return;
    }

    // Only paths built in memory can end before time 1; they hold their last key.
    if (t >= myKeys[(myNumKeys - 1) * myKeySizeInFloats])
    {
        KeyValues(myNumKeys - 1, anOutput);
        return;
    }

    const float* key = myKeys;
    while (!(key[0] <= t && t < key[myKeySizeInFloats]))
    {
        key += myKeySizeInFloats;
        QC_ASSERT(key >= myKeys);
        QC_ASSERT(key < myKeys + (myNumKeys - 1) * myKeySizeInFloats);
    }
    const float* locNextKey = key + myKeySizeInFloats;
    float s = (t - key[0]) / (locNextKey[0] - key[0]);
    uint32_t locType;
    memcpy(&locType, &key[1], sizeof(locType));

    float s2 = s * s, s3 = s2 * s;
    float locOneMinus = 1.0f - s;
    const float* locP = key + 2;
    const float* locQ = locNextKey + 2;
    const float* locConstant = myConstants;
    for (uint32_t c = 0; c < myNumChannels; c++)
    {
        if (!(myKeyedMask & (1u << c)))
        {
            anOutput[c] = *locConstant++;
            continue;
        }
        float p0 = locP[0], p1 = locQ[0];
        switch (locType)
        {
            case HERMITE:
            case HERMITE_2:
            {
                float m0 = locP[1], m1 = locQ[1];
                anOutput[c] = (2.0f * s3 - 3.0f * s2 + 1.0f) * p0 + (3.0f * s2 - 2.0f * s3) * p1 +
                              (s3 - 2.0f * s2 + s) * m0 + (s3 - s2) * m1;
                break;
            }
            case BEZIER:
            {
                float m0 = locP[1], m1 = locQ[1];
                anOutput[c] = locOneMinus * locOneMinus * locOneMinus * p0 + 3.0f * s * locOneMinus * locOneMinus * p1 +
                              3.0f * s2 * locOneMinus * m0 + s3 * m1;
                break;
            }
            case LINEAR:
                anOutput[c] = p0 + (p1 - p0) * s;
                break;
            case STEP:
                anOutput[c] = p0;
                break;
            default:
                QC_ASSERT(0);
        }
        locP += myNumTangents + 1;
        locQ += myNumTangents + 1;
    }
}

void QR_SplinePath::GetMatrix(float aTime, Matrix44& aMatrix) const
{
    float w[MAX_CHANNELS] = {};
    GetValue(aTime, w);
    Matrix33 locRotation = Matrix33::FromAnglesXYZ(w[3], w[4], w[5]);
    if (myNumChannels == 9)
        for (int r = 0; r < 3; r++)
            for (int j = 0; j < 3; j++)
                locRotation.myMatrix[3 * r + j] *= w[6 + j];
    aMatrix.SetMatrix33(locRotation);
    aMatrix.SetTranslation(w[0], w[1], w[2]);
}

void QR_SplinePath::SetLength(float aSeconds)
{
    myRate = (aSeconds > 0.0f) ? 1.0f / aSeconds : 1.0f;
}

bool QR_SplinePath::BuildFromKeys(const QR_SplineKey* aKeys, int aNumKeys, int aNumChannels)
{
    QC_ASSERT(aNumChannels >= 0 && aNumChannels <= 9);
    Free();
    myNumChannels = (uint32_t)aNumChannels;
    myNumTangents = 0;
    myKeyedMask = 0;
    for (int k = 0; k < aNumKeys; k++)
        if (aKeys[k].myType <= BEZIER)
            myNumTangents = 1;
    for (int c = 0; c < aNumChannels; c++)
        for (int k = 0; k + 1 < aNumKeys; k++)
            if (aKeys[k].myValues[c] != aKeys[k + 1].myValues[c])
                myKeyedMask |= 1u << c;
    uint32_t locKeyed = (uint32_t)locCountBits(myKeyedMask);

    if (locKeyed < myNumChannels)
    {
        myConstants = new (std::nothrow) float[myNumChannels - locKeyed];
        if (!myConstants)
            return false;
        float* locConstant = myConstants;
        for (int c = 0; c < aNumChannels; c++)
            if (!(myKeyedMask & (1u << c)))
                *locConstant++ = aNumKeys > 0 ? aKeys[0].myValues[c] : 0.0f;
    }
    if (locKeyed == 0)
    {
        myNumKeys = 1;
        myNumTangents = 0;
        myKeySizeInFloats = 0;
        return true;
    }

    myNumKeys = (uint32_t)aNumKeys;
    myKeySizeInFloats = 2 + locKeyed * (myNumTangents + 1);
    myKeys = new (std::nothrow) float[(size_t)myNumKeys * myKeySizeInFloats];
    if (!myKeys)
    {
        Free();
        return false;
    }
    for (int k = 0; k < aNumKeys; k++)
    {
        float* locKey = &myKeys[k * myKeySizeInFloats];
        locKey[0] = aKeys[k].myTime;
        memcpy(&locKey[1], &aKeys[k].myType, sizeof(uint32_t));
        float* locSlot = locKey + 2;
        for (int c = 0; c < aNumChannels; c++)
        {
            if (!(myKeyedMask & (1u << c)))
                continue;
            *locSlot++ = aKeys[k].myValues[c];
            for (uint32_t i = 0; i < myNumTangents; i++)
                *locSlot++ = aKeys[k].myTangents[c];
        }
    }
    return true;
}
