// Quaternion conversions, slerp and the pose blend.
#include "qrender/qr_quaternion.h"

#include <math.h>

#include "qinput/qi_time.h"

void QR_Quaternion::ToMatrix(const QR_Quaternion& q, Matrix44& aMatrix)
{
    double x2 = 2.0 * q.x, y2 = 2.0 * q.y, z2 = 2.0 * q.z;
    float* m = aMatrix.myMatrix;
    m[0] = (float)(1.0 - (z2 * q.z + y2 * q.y));
    m[1] = (float)(z2 * q.w + y2 * q.x);
    m[2] = (float)(z2 * q.x - y2 * q.w);
    m[4] = (float)(y2 * q.x - z2 * q.w);
    m[5] = (float)(1.0 - (z2 * q.z + x2 * q.x));
    m[6] = (float)(x2 * q.w + z2 * q.y);
    m[8] = (float)(y2 * q.w + z2 * q.x);
    m[9] = (float)(z2 * q.y - x2 * q.w);
    m[10] = (float)(1.0 - (y2 * q.y + x2 * q.x));
    m[3] = m[7] = m[11] = 0.0f;
    m[15] = 1.0f;
}

void QR_Quaternion::FromMatrix(const Matrix44& aMatrix, QR_Quaternion& q)
{
    const float* m = aMatrix.myMatrix;
    double locTrace = (double)m[0] + m[5] + m[10];
    if (locTrace > 0.0)
    {
        double s = sqrt(locTrace + 1.0);
        q.w = s / 2.0;
        s = 0.5 / s;
        q.x = (m[6] - m[9]) * s;
        q.y = (m[8] - m[2]) * s;
        q.z = (m[1] - m[4]) * s;
        return;
    }
    static const int locNext[3] = {1, 2, 0};
    int i = (m[0] < m[5]) ? 1 : 0;
    if (m[4 * i + i] < m[10])
        i = 2;
    int j = locNext[i];
    int k = locNext[j];
    double s = sqrt((double)m[4 * i + i] - ((double)m[4 * j + j] + m[4 * k + k]) + 1.0);
    double locQ[3];
    locQ[i] = s / 2.0;
    if (s != 0.0)
        s = 0.5 / s;
    q.w = ((double)m[4 * j + k] - m[4 * k + j]) * s;
    locQ[j] = ((double)m[4 * j + i] + m[4 * i + j]) * s;
    locQ[k] = ((double)m[4 * k + i] + m[4 * i + k]) * s;
    q.x = locQ[0];
    q.y = locQ[1];
    q.z = locQ[2];
}

void QR_Quaternion::FromAngles(float a, float b, float c, QR_Quaternion& q)
{
    float c1 = cosf(a), s1 = sinf(a);
    float c2 = cosf(b), s2 = sinf(b);
    float c3 = cosf(c), s3 = sinf(c);
    // Each product of two is rounded to a float before the third factor.
    float s3c2 = s3 * c2, c3s2 = c3 * s2, c3c2 = c3 * c2, s3s2 = s3 * s2;
    q.x = (double)(s3c2 * s1 + c3s2 * c1);
    q.y = (double)(c3c2 * s1 - s3s2 * c1);
    q.z = (double)(s3c2 * c1 - c3s2 * s1);
    q.w = (double)(c3c2 * c1 + s3s2 * s1);
}

void QR_Quaternion::Slerp(const QR_Quaternion& aQ0, const QR_Quaternion& aQ1, double aT, QR_Quaternion& anOut)
{
    QR_Quaternion locQ1 = aQ1;
    double d = aQ0.x * locQ1.x + aQ0.y * locQ1.y + aQ0.z * locQ1.z + aQ0.w * locQ1.w;
    if (d < 0.0)
    {
        d = -d;
        locQ1.x = -locQ1.x;
        locQ1.y = -locQ1.y;
        locQ1.z = -locQ1.z;
        locQ1.w = -locQ1.w;
    }
    double a, b;
    if (1.0 - d <= 0.001)
    {
        a = 1.0 - aT;
        b = aT;
    }
    else
    {
        double locTheta = acos(d);
        double locSin = sin(locTheta);
        a = sin((1.0 - aT) * locTheta) / locSin;
        b = sin(aT * locTheta) / locSin;
    }
    anOut.x = a * aQ0.x + b * locQ1.x;
    anOut.y = a * aQ0.y + b * locQ1.y;
    anOut.z = a * aQ0.z + b * locQ1.z;
    anOut.w = a * aQ0.w + b * locQ1.w;
}

void QR_PoseBlend::Set(QR_PoseBlend& aBlend, const Matrix44& aFrom, const Matrix44& aTo, float aDuration)
{
    aBlend.myStartTime = QI_Time::ourTime;
    aBlend.myInvDuration = (aDuration > 0.0f) ? 1.0f / aDuration : INFINITY;
    for (int i = 0; i < 3; i++)
    {
        aBlend.myStartTranslation[i] = aFrom.myMatrix[12 + i];
        aBlend.myTranslationChange[i] = aTo.myMatrix[12 + i] - aFrom.myMatrix[12 + i];
    }
    QR_Quaternion::FromMatrix(aFrom, aBlend.myStartRotation);
    QR_Quaternion::FromMatrix(aTo, aBlend.myEndRotation);
}

bool QR_PoseBlend::EvaluateAt(const QR_PoseBlend& aBlend, float aTime, Matrix44& anOut)
{
    float s = aTime * aBlend.myInvDuration;
    // Also taken for NaN (a zero duration at elapsed time 0).
    if (!(s < 1.0f))
    {
        QR_Quaternion::ToMatrix(aBlend.myEndRotation, anOut);
        for (int i = 0; i < 3; i++)
            anOut.myMatrix[12 + i] = aBlend.myStartTranslation[i] + aBlend.myTranslationChange[i];
        return true;
    }
    QR_Quaternion locRotation;
    QR_Quaternion::Slerp(aBlend.myStartRotation, aBlend.myEndRotation, s, locRotation);
    QR_Quaternion::ToMatrix(locRotation, anOut);
    for (int i = 0; i < 3; i++)
        anOut.myMatrix[12 + i] = aBlend.myStartTranslation[i] + s * aBlend.myTranslationChange[i];
    return false;
}

bool QR_PoseBlend::Evaluate(const QR_PoseBlend& aBlend, Matrix44& anOut)
{
    return EvaluateAt(aBlend, QI_Time::ourTime - aBlend.myStartTime, anOut);
}
