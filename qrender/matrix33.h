// 3x3 float matrix of the renderer: row-major, element (r, c) at 3r + c,
// row-vector convention (p x M).
#pragma once

#include <math.h>

#include "qcommon/qc_vector.h"

class Matrix33
{
public:
    // Deliberately uninitialised: a fresh matrix holds whatever was there.
    float myMatrix[9];

    float& operator[](int anIndex) { return myMatrix[anIndex]; }
    float operator[](int anIndex) const { return myMatrix[anIndex]; }

    void SetIdentity()
    {
        for (int i = 0; i < 9; i++)
            myMatrix[i] = (i % 4 == 0) ? 1.0f : 0.0f;
    }

    static Matrix33 Identity()
    {
        Matrix33 locResult;
        locResult.SetIdentity();
        return locResult;
    }

    friend Matrix33 operator*(const Matrix33& a, const Matrix33& b)
    {
        Matrix33 locResult;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                locResult.myMatrix[3 * i + j] = a.myMatrix[3 * i + 0] * b.myMatrix[0 + j] +
                                                a.myMatrix[3 * i + 1] * b.myMatrix[3 + j] +
                                                a.myMatrix[3 * i + 2] * b.myMatrix[6 + j];
        return locResult;
    }

    // Yaw a0 about Y, pitch a1 about X, roll a2 about Z (radians); a row vector
    // is turned about Z first, then X, then Y: Rz(a2) x Rx(a1) x Ry(a0).
    static Matrix33 FromAnglesXYZ(float a0, float a1, float a2)
    {
        float s0 = sinf(a0), c0 = cosf(a0);
        float s1 = sinf(a1), c1 = cosf(a1);
        float s2 = sinf(a2), c2 = cosf(a2);
        Matrix33 locY = {{c0, 0.0f, -s0, 0.0f, 1.0f, 0.0f, s0, 0.0f, c0}};
        Matrix33 locX = {{1.0f, 0.0f, 0.0f, 0.0f, c1, s1, 0.0f, -s1, c1}};
        Matrix33 locZ = {{c2, s2, 0.0f, -s2, c2, 0.0f, 0.0f, 0.0f, 1.0f}};
        return (locZ * locX) * locY;
    }

    static Matrix33 FromAngles(float a0, float a1, float a2) { return FromAnglesXYZ(a0, a1, a2); }
    static Matrix33 FromAngles(const QC_Vector& anAngles) { return FromAnglesXYZ(anAngles.x, anAngles.y, anAngles.z); }

    QC_Vector Transform(const QC_Vector& aPoint) const
    {
        return QC_Vector(aPoint.x * myMatrix[0] + aPoint.y * myMatrix[3] + aPoint.z * myMatrix[6],
                         aPoint.x * myMatrix[1] + aPoint.y * myMatrix[4] + aPoint.z * myMatrix[7],
                         aPoint.x * myMatrix[2] + aPoint.y * myMatrix[5] + aPoint.z * myMatrix[8]);
    }
};
