// 4x4 float matrix of the renderer: row-major, element (r, c) at 4r + c,
// row-vector convention (p x M), translation in elements 12-14. This is the
// layout the device takes for its world, view and projection transforms.
#pragma once

#include "qrender/matrix33.h"

class Matrix44
{
public:
    float myMatrix[16];

    float& operator[](int anIndex) { return myMatrix[anIndex]; }
    float operator[](int anIndex) const { return myMatrix[anIndex]; }

    // Copying (and operator=) copies the sixteen floats.

    void SetIdentity()
    {
        for (int i = 0; i < 16; i++)
            myMatrix[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    }

    static Matrix44 Identity()
    {
        Matrix44 locResult;
        locResult.SetIdentity();
        return locResult;
    }

    void SetTranslation(float anX, float aY, float aZ)
    {
        myMatrix[12] = anX;
        myMatrix[13] = aY;
        myMatrix[14] = aZ;
    }

    // Rows 0-2, columns 0-2 only; the other seven elements keep their values.
    void SetRotation(float a0, float a1, float a2) { SetMatrix33(Matrix33::FromAngles(a0, a1, a2)); }

    void SetMatrix33(const Matrix33& aRotation)
    {
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                myMatrix[4 * r + c] = aRotation.myMatrix[3 * r + c];
    }

    Matrix33 GetMatrix33() const
    {
        Matrix33 locResult;
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                locResult.myMatrix[3 * r + c] = myMatrix[4 * r + c];
        return locResult;
    }

    friend Matrix44 operator*(const Matrix44& a, const Matrix44& b)
    {
        Matrix44 locResult;
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                locResult.myMatrix[4 * i + j] =
                    a.myMatrix[4 * i + 0] * b.myMatrix[0 + j] + a.myMatrix[4 * i + 1] * b.myMatrix[4 + j] +
                    a.myMatrix[4 * i + 2] * b.myMatrix[8 + j] + a.myMatrix[4 * i + 3] * b.myMatrix[12 + j];
        return locResult;
    }

    // (x, y, z, 1) x M into four floats; no division by w.
    void Transform(float anX, float aY, float aZ, float* anOut) const
    {
        const float* m = myMatrix;
        anOut[0] = anX * m[0] + aY * m[4] + aZ * m[8] + m[12];
        anOut[1] = anX * m[1] + aY * m[5] + aZ * m[9] + m[13];
        anOut[2] = anX * m[2] + aY * m[6] + aZ * m[10] + m[14];
        anOut[3] = anX * m[3] + aY * m[7] + aZ * m[11] + m[15];
    }

    Matrix44 Transpose() const
    {
        Matrix44 locResult;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++)
                locResult.myMatrix[4 * c + r] = myMatrix[4 * r + c];
        return locResult;
    }

    // General inverse; false (output untouched) when the matrix is singular.
    // The source may be the output.
    static bool Invert(const Matrix44& aSource, Matrix44& anOut);
    // Inverse of a rotation-plus-translation matrix.
    static void InvertRigid(const Matrix44& aSource, Matrix44& anOut);
};
