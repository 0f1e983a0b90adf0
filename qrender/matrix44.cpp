// Out-of-line matrix operations: the general and the rigid inverse.
#include "qrender/matrix44.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool Matrix44::Invert(const Matrix44& aSource, Matrix44& anOut)
{
    // Gauss-Jordan elimination with partial pivoting, in double: the rest matrices of
    // rigs (a quarter turn about any axis) have zero blocks that a block inverse
    // divides by.
    double a[4][8];
    double locLargest = 0.0;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
        {
            a[r][c] = aSource.myMatrix[4 * r + c];
            a[r][c + 4] = r == c ? 1.0 : 0.0;
            locLargest = std::max(locLargest, std::fabs(a[r][c]));
        }
    if (!(locLargest > 0.0) || !std::isfinite(locLargest))
        return false;
    // A pivot this small beside the largest element is the rounding residue of a zero
    // (products of floats are exact in double, their sums leave residues near 1e-16).
    const double locTiny = locLargest * 1e-12;
    for (int c = 0; c < 4; c++)
    {
        int locPivot = c;
        for (int r = c + 1; r < 4; r++)
            if (std::fabs(a[r][c]) > std::fabs(a[locPivot][c]))
                locPivot = r;
        if (!(std::fabs(a[locPivot][c]) > locTiny))
            return false;
        if (locPivot != c)
            for (int k = 0; k < 8; k++)
                std::swap(a[c][k], a[locPivot][k]);
        const double locScale = 1.0 / a[c][c];
        for (int k = 0; k < 8; k++)
            a[c][k] *= locScale;
        for (int r = 0; r < 4; r++)
        {
            if (r == c || a[r][c] == 0.0)
                continue;
            const double locFactor = a[r][c];
            for (int k = 0; k < 8; k++)
                a[r][k] -= locFactor * a[c][k];
        }
    }
    Matrix44 locResult;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
        {
            const double v = a[r][c + 4];
            if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max())
                return false;
            locResult.myMatrix[4 * r + c] = float(v);
        }
    anOut = locResult;
    return true;
}

void Matrix44::InvertRigid(const Matrix44& aSource, Matrix44& anOut)
{
    const float* m = aSource.myMatrix;
    float t0 = m[12], t1 = m[13], t2 = m[14];
    Matrix44 locResult;
    float* o = locResult.myMatrix;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            o[4 * r + c] = m[4 * c + r];
    for (int j = 0; j < 3; j++)
        o[12 + j] = -(t0 * m[4 * j + 0] + t1 * m[4 * j + 1] + t2 * m[4 * j + 2]);
    o[3] = o[7] = o[11] = 0.0f;
    o[15] = 1.0f;
    // Through a copy, so that the source and the output may be one matrix.
    anOut = locResult;
}
