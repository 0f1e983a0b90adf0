// Out-of-line matrix operations: the general and the rigid inverse.
#include "qrender/matrix44.h"

namespace
{
// A 2x2 block (a b; c d).
struct Block
{
    float a, b, c, d;
};

Block locMul(const Block& x, const Block& y)
{
    return {x.a * y.a + x.b * y.c, x.a * y.b + x.b * y.d, x.c * y.a + x.d * y.c, x.c * y.b + x.d * y.d};
}

bool locInverse(const Block& x, Block& anOut)
{
    float locDet = x.a * x.d - x.c * x.b;
    if (locDet == 0.0f || locDet != locDet)
        return false;
    float locInvDet = 1.0f / locDet;
    anOut = {locInvDet * x.d, -locInvDet * x.b, -locInvDet * x.c, locInvDet * x.a};
    return true;
}
} // namespace

bool Matrix44::Invert(const Matrix44& aSource, Matrix44& anOut)
{
    const float* m = aSource.myMatrix;
    Block locA = {m[0], m[1], m[4], m[5]};
    Block locB = {m[2], m[3], m[6], m[7]};
    Block locG = {m[8], m[9], m[12], m[13]};
    Block locD = {m[10], m[11], m[14], m[15]};

    Block locAi;
    if (!locInverse(locA, locAi))
        return false;
    Block locE = locMul(locAi, locB);
    Block locF = locMul(locG, locAi);
    Block locGE = locMul(locG, locE);
    // The negated Schur complement of A.
    Block locS = {locGE.a - locD.a, locGE.b - locD.b, locGE.c - locD.c, locGE.d - locD.d};
    Block locSi;
    if (!locInverse(locS, locSi))
        return false;

    Block locUpperRight = locMul(locE, locSi);
    Block locLowerLeft = locMul(locSi, locF);
    Block locESiF = locMul(locUpperRight, locF);
    Block locUpperLeft = {locAi.a - locESiF.a, locAi.b - locESiF.b, locAi.c - locESiF.c, locAi.d - locESiF.d};

    float* o = anOut.myMatrix;
    o[0] = locUpperLeft.a;
    o[1] = locUpperLeft.b;
    o[4] = locUpperLeft.c;
    o[5] = locUpperLeft.d;
    o[2] = locUpperRight.a;
    o[3] = locUpperRight.b;
    o[6] = locUpperRight.c;
    o[7] = locUpperRight.d;
    o[8] = locLowerLeft.a;
    o[9] = locLowerLeft.b;
    o[12] = locLowerLeft.c;
    o[13] = locLowerLeft.d;
    o[10] = -locSi.a;
    o[11] = -locSi.b;
    o[14] = -locSi.c;
    o[15] = -locSi.d;
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
