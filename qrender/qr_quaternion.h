// Quaternions of the renderer and the pose blend of placed objects.
#pragma once

#include "qrender/matrix44.h"

// Rotation quaternion in doubles, the vector part (x, y, z) first.
class QR_Quaternion
{
public:
    double x, y, z, w;

    // Writes the 3x3 part, zeroes elements 3, 7, 11 and sets 15 to 1; the
    // translation is left as it was.
    static void ToMatrix(const QR_Quaternion& aQuaternion, Matrix44& aMatrix);
    static void FromMatrix(const Matrix44& aMatrix, QR_Quaternion& aQuaternion);
    // The three angles are used as given (not halved).
    static void FromAngles(float a, float b, float c, QR_Quaternion& aQuaternion);
    // Spherical interpolation along the shorter arc; the result is not normalised.
    static void Slerp(const QR_Quaternion& aQ0, const QR_Quaternion& aQ1, double aT, QR_Quaternion& anOut);
};

// Blends a part's pose from one matrix to another over a duration.
class QR_PoseBlend
{
public:
    float myStartTranslation[3];
    float myTranslationChange[3];
    QR_Quaternion myStartRotation;
    QR_Quaternion myEndRotation;
    float myStartTime;     // seconds of the frame timer's running time
    float myInvDuration;   // 1 / seconds; infinite for a zero duration

    static void Set(QR_PoseBlend& aBlend, const Matrix44& aFrom, const Matrix44& aTo, float aDuration);
    static void SetBlend(QR_PoseBlend& aBlend, const Matrix44& aFrom, const Matrix44& aTo, float aDuration)
    {
        Set(aBlend, aFrom, aTo, aDuration);
    }
    // Both return true once the blend is over (the output then holds the end pose).
    static bool Evaluate(const QR_PoseBlend& aBlend, Matrix44& anOut);
    static bool EvaluateAt(const QR_PoseBlend& aBlend, float aTime, Matrix44& anOut);
};
