// Matrices, the inverses, quaternions, the pose blend and the error record.
#include <gtest/gtest.h>

#include <math.h>
#include <algorithm>
#include <string>

#include "qinput/qi_time.h"
#include "qrender/matrix.h"
#include "qrender/qr_error.h"
#include "qrender/qr_quaternion.h"
#include "qrender/qr_vl_list.h"

#include <vector>

namespace
{
constexpr float locPi = 3.14159265358979f;

void locExpectPoint(const Matrix44& aMatrix, float x, float y, float z, float ex, float ey, float ez)
{
    float locOut[4];
    aMatrix.Transform(x, y, z, locOut);
    EXPECT_NEAR(locOut[0], ex, 1e-5f);
    EXPECT_NEAR(locOut[1], ey, 1e-5f);
    EXPECT_NEAR(locOut[2], ez, 1e-5f);
}

void locExpectMatrix(const Matrix44& a, const Matrix44& b, float aTolerance = 1e-5f)
{
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(a[i], b[i], aTolerance) << "element " << i;
}

Matrix44 locTranslation(float x, float y, float z)
{
    Matrix44 locMatrix = Matrix44::Identity();
    locMatrix.SetTranslation(x, y, z);
    return locMatrix;
}
} // namespace

TEST(MatrixTest, FromAnglesTurnsRowVectorsAboutYXZ)
{
    Matrix33 locIdentity = Matrix33::FromAngles(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 9; i++)
        EXPECT_FLOAT_EQ(locIdentity[i], (i % 4 == 0) ? 1.0f : 0.0f);

    struct Case
    {
        float a0, a1, a2;
        QC_Vector myIn, myOut;
    } locCases[] = {
        {locPi / 2, 0, 0, {1, 0, 0}, {0, 0, -1}}, // yaw about Y
        {0, locPi / 2, 0, {0, 1, 0}, {0, 0, 1}},  // pitch about X
        {0, 0, locPi / 2, {1, 0, 0}, {0, 1, 0}},  // roll about Z
        // Z first, then X: (1,0,0) -> (0,1,0) -> (0,0,1)
        {0, locPi / 2, locPi / 2, {1, 0, 0}, {0, 0, 1}},
    };
    for (const Case& c : locCases)
    {
        QC_Vector locOut = Matrix33::FromAngles(QC_Vector(c.a0, c.a1, c.a2)).Transform(c.myIn);
        EXPECT_NEAR(locOut.x, c.myOut.x, 1e-6f);
        EXPECT_NEAR(locOut.y, c.myOut.y, 1e-6f);
        EXPECT_NEAR(locOut.z, c.myOut.z, 1e-6f);
    }
}

TEST(MatrixTest, RowMajorLayoutProductOrderAndTransform)
{
    Matrix44 locMatrix = locTranslation(5, 6, 7);
    locMatrix[3] = 0.5f;
    locMatrix.SetRotation(locPi / 2, 0, 0);
    // SetRotation keeps the translation row and the fourth column.
    EXPECT_FLOAT_EQ(locMatrix[12], 5.0f);
    EXPECT_FLOAT_EQ(locMatrix[14], 7.0f);
    EXPECT_FLOAT_EQ(locMatrix[3], 0.5f);
    float locOut[4];
    locMatrix.Transform(0, 0, 0, locOut);
    EXPECT_FLOAT_EQ(locOut[0], 5.0f);
    EXPECT_FLOAT_EQ(locOut[3], 1.0f);

    // A first, B second is A x B: rotate about Y, then translate.
    Matrix44 locRotate = Matrix44::Identity();
    locRotate.SetRotation(locPi / 2, 0, 0);
    locExpectPoint(locRotate * locTranslation(1, 2, 3), 1, 0, 0, 1, 2, 2);
    locExpectPoint(locTranslation(1, 2, 3) * locRotate, 1, 0, 0, 3, 2, -2);

    Matrix44 locTransposed = locMatrix.Transpose();
    EXPECT_FLOAT_EQ(locTransposed[3], 5.0f);
    EXPECT_FLOAT_EQ(locTransposed[12], 0.5f);
    Matrix33 locUpper = locMatrix.GetMatrix33();
    EXPECT_FLOAT_EQ(locUpper[2], locMatrix[2]);
    EXPECT_FLOAT_EQ(locUpper[6], locMatrix[8]);
}

TEST(MatrixTest, InverseOfKnownMatrices)
{
    Matrix44 locInverse;
    ASSERT_TRUE(Matrix44::Invert(Matrix44::Identity(), locInverse));
    locExpectMatrix(locInverse, Matrix44::Identity());
    ASSERT_TRUE(Matrix44::Invert(locTranslation(1, 2, 3), locInverse));
    locExpectMatrix(locInverse, locTranslation(-1, -2, -3));

    // A general matrix times its inverse is the identity.
    Matrix44 locGeneral = {{2, 1, 0, 0, 1, 3, 1, 0, 0, 1, 4, 1, 1, 2, 3, 1}};
    ASSERT_TRUE(Matrix44::Invert(locGeneral, locInverse));
    locExpectMatrix(locGeneral * locInverse, Matrix44::Identity(), 1e-5f);
    // The source may also be the output.
    Matrix44 locInPlace = locGeneral;
    ASSERT_TRUE(Matrix44::Invert(locInPlace, locInPlace));
    locExpectMatrix(locInPlace, locInverse);

    Matrix44 locSingular = {{1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1}};
    Matrix44 locUntouched = Matrix44::Identity();
    EXPECT_FALSE(Matrix44::Invert(locSingular, locUntouched));
    locExpectMatrix(locUntouched, Matrix44::Identity());
    Matrix44 locZero = {};
    EXPECT_FALSE(Matrix44::Invert(locZero, locUntouched));
}

TEST(MatrixTest, InverseHoldsOverRotationsTranslationsAndScales)
{
    // Quarter turns about every axis (the rest poses of rigs: a T pose's arm lies along x)
    // and odd angles, with translations and unequal scales. |M x inverse - I|, in double,
    // must stay at the rounding of floats of the sizes involved.
    const float locAngles[] = {0.0f, locPi / 4, locPi / 2, -locPi / 2, locPi, 1.0f, -2.5f};
    const float locScales[][3] = {{1, 1, 1}, {2, 0.5f, 3}, {0.01f, 100, 1}};
    float locWorst = 0.0f;
    int locInverted = 0;
    for (float h : locAngles)
        for (float p : locAngles)
            for (float b : locAngles)
                for (const auto& s : locScales)
                {
                    Matrix44 m = Matrix44::Identity();
                    m.SetRotation(h, p, b);
                    for (int r = 0; r < 3; r++)
                        for (int c = 0; c < 3; c++)
                            m[4 * r + c] *= s[r];
                    m.SetTranslation(h * 3 - 1, 5 * p, -7 * b);
                    Matrix44 locInverse;
                    if (!Matrix44::Invert(m, locInverse))
                    {
                        ADD_FAILURE() << "refused h=" << h << " p=" << p << " b=" << b << " scale " << s[0];
                        continue;
                    }
                    locInverted++;
                    double locSize = 0.0, locInverseSize = 0.0;
                    for (int i = 0; i < 16; i++)
                    {
                        locSize = std::max(locSize, (double)fabsf(m[i]));
                        locInverseSize = std::max(locInverseSize, (double)fabsf(locInverse[i]));
                    }
                    for (int r = 0; r < 4; r++)
                        for (int c = 0; c < 4; c++)
                        {
                            double locLeft = 0.0, locRight = 0.0;
                            for (int k = 0; k < 4; k++)
                            {
                                locLeft += (double)m[4 * r + k] * locInverse[4 * k + c];
                                locRight += (double)locInverse[4 * r + k] * m[4 * k + c];
                            }
                            double locIdentity = r == c ? 1.0 : 0.0;
                            double locError = std::max(fabs(locLeft - locIdentity), fabs(locRight - locIdentity));
                            locWorst = std::max(locWorst, float(locError / (locSize * locInverseSize)));
                        }
                }
    EXPECT_EQ(locInverted, 7 * 7 * 7 * 3);
    EXPECT_LT(locWorst, 1e-6f);

    // A rotation inverts to its transpose, exactly where the angles are quarter turns.
    Matrix44 locArm = Matrix44::Identity();
    locArm.SetRotation(-locPi / 2, locPi / 4, 0);
    Matrix44 locInverse;
    ASSERT_TRUE(Matrix44::Invert(locArm, locInverse));
    locExpectMatrix(locInverse, locArm.Transpose(), 1e-6f);

    // A full projection (no zero in the last column) and a shear.
    Matrix44 locProjection = {{1.5f, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.001f, 1, 0, 0, -0.1f, 0}};
    ASSERT_TRUE(Matrix44::Invert(locProjection, locInverse));
    locExpectMatrix(locProjection * locInverse, Matrix44::Identity(), 1e-5f);
    Matrix44 locShear = {{1, 0, 0, 0, 3, 1, 0, 0, 0, -2, 1, 0, 4, 5, 6, 1}};
    ASSERT_TRUE(Matrix44::Invert(locShear, locInverse));
    locExpectMatrix(locShear * locInverse, Matrix44::Identity(), 1e-5f);

    // Singular however it is scaled: a flattened axis, and a matrix of huge elements.
    Matrix44 locFlat = Matrix44::Identity();
    locFlat.SetRotation(locPi / 2, 0, 0);
    for (int c = 0; c < 3; c++)
        locFlat[4 + c] = 0.0f;
    EXPECT_FALSE(Matrix44::Invert(locFlat, locInverse));
    Matrix44 locHuge = {{1e30f, 2e30f, 0, 0, 2e30f, 4e30f, 0, 0, 0, 0, 1e30f, 0, 0, 0, 0, 1}};
    EXPECT_FALSE(Matrix44::Invert(locHuge, locInverse));
    // A small but regular matrix inverts.
    Matrix44 locSmall = Matrix44::Identity();
    for (int i = 0; i < 16; i += 5)
        locSmall[i] = 1e-6f;
    ASSERT_TRUE(Matrix44::Invert(locSmall, locInverse));
    EXPECT_FLOAT_EQ(locInverse[0], 1e6f);
    Matrix44 locNaN = Matrix44::Identity();
    locNaN[6] = NAN;
    EXPECT_FALSE(Matrix44::Invert(locNaN, locInverse));
}

TEST(MatrixTest, RigidInverseUndoesRotationAndTranslation)
{
    Matrix44 locCamera = Matrix44::Identity();
    locCamera.SetRotation(0, 0, locPi / 2);
    locCamera.SetTranslation(1, 0, 0);
    Matrix44 locView;
    Matrix44::InvertRigid(locCamera, locView);
    locExpectPoint(locView, 1, 0, 0, 0, 0, 0);
    locExpectMatrix(locCamera * locView, Matrix44::Identity());
    EXPECT_FLOAT_EQ(locView[3], 0.0f);
    EXPECT_FLOAT_EQ(locView[15], 1.0f);
    Matrix44 locGeneral;
    ASSERT_TRUE(Matrix44::Invert(locCamera, locGeneral));
    locExpectMatrix(locGeneral, locView);
}

TEST(QuaternionTest, ConversionsRoundTrip)
{
    QR_Quaternion q;
    QR_Quaternion::FromMatrix(Matrix44::Identity(), q);
    EXPECT_DOUBLE_EQ(q.x, 0.0);
    EXPECT_DOUBLE_EQ(q.w, 1.0);
    Matrix44 locMatrix = locTranslation(4, 5, 6);
    QR_Quaternion::ToMatrix(QR_Quaternion{0, 0, 0, 1}, locMatrix);
    Matrix44 locExpected = locTranslation(4, 5, 6);
    locExpectMatrix(locMatrix, locExpected);

    // Rotations of every trace sign go through the matrix and back.
    const float locAngles[][3] = {{0.3f, 0.2f, 0.1f}, {locPi, 0, 0}, {0, locPi, 0}, {0, 0, locPi}, {2.5f, -1.0f, 0.7f}};
    for (const auto& a : locAngles)
    {
        Matrix44 locRotation = Matrix44::Identity();
        locRotation.SetRotation(a[0], a[1], a[2]);
        QR_Quaternion::FromMatrix(locRotation, q);
        EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0, 1e-5);
        Matrix44 locBack = Matrix44::Identity();
        QR_Quaternion::ToMatrix(q, locBack);
        locExpectMatrix(locBack, locRotation, 1e-5f);
    }

    // The angles are used as given (not halved): the first goes to y, the
    // second to x, the third to z.
    QR_Quaternion::FromAngles(0.5f, 0, 0, q);
    EXPECT_NEAR(q.y, sin(0.5), 1e-6);
    EXPECT_NEAR(q.w, cos(0.5), 1e-6);
    QR_Quaternion::FromAngles(0, 0.5f, 0, q);
    EXPECT_NEAR(q.x, sin(0.5), 1e-6);
    QR_Quaternion::FromAngles(0, 0, 0.5f, q);
    EXPECT_NEAR(q.z, sin(0.5), 1e-6);
    EXPECT_NEAR(q.x, 0.0, 1e-9);
}

TEST(QuaternionTest, SlerpTakesTheShortArc)
{
    QR_Quaternion q = {0.0, 0.0, sin(0.25), cos(0.25)};
    QR_Quaternion locNegated = {-q.x, -q.y, -q.z, -q.w};
    QR_Quaternion locOut;
    QR_Quaternion::Slerp(q, locNegated, 0.7, locOut);
    EXPECT_NEAR(locOut.z, q.z, 1e-12);
    EXPECT_NEAR(locOut.w, q.w, 1e-12);

    QR_Quaternion locIdentity = {0, 0, 0, 1};
    QR_Quaternion locQuarter = {0, 0, sin(M_PI / 4), cos(M_PI / 4)};
    QR_Quaternion::Slerp(locIdentity, locQuarter, 0.5, locOut);
    EXPECT_NEAR(locOut.z, sin(M_PI / 8), 1e-9);
    EXPECT_NEAR(locOut.w, cos(M_PI / 8), 1e-9);
}

TEST(QuaternionTest, PoseBlendInterpolatesAndEnds)
{
    QI_Time::ourTime = 10.0f;
    QR_PoseBlend locBlend;
    Matrix44 locFrom = Matrix44::Identity();
    Matrix44 locTo = locTranslation(2, 0, 0);
    QR_PoseBlend::Set(locBlend, locFrom, locTo, 2.0f);
    EXPECT_FLOAT_EQ(locBlend.myStartTime, 10.0f);
    Matrix44 locOut = Matrix44::Identity();
    EXPECT_FALSE(QR_PoseBlend::EvaluateAt(locBlend, 1.0f, locOut));
    EXPECT_FLOAT_EQ(locOut[12], 1.0f);
    EXPECT_FLOAT_EQ(locOut[0], 1.0f);
    EXPECT_TRUE(QR_PoseBlend::EvaluateAt(locBlend, 2.0f, locOut));
    EXPECT_FLOAT_EQ(locOut[12], 2.0f);

    QI_Time::ourTime = 11.5f;
    EXPECT_FALSE(QR_PoseBlend::Evaluate(locBlend, locOut));
    EXPECT_FLOAT_EQ(locOut[12], 1.5f);

    // A rotation blend: halfway between no turn and a quarter turn about Z.
    Matrix44 locTurned = Matrix44::Identity();
    locTurned.SetRotation(0, 0, locPi / 2);
    QR_PoseBlend::Set(locBlend, locFrom, locTurned, 1.0f);
    QR_PoseBlend::EvaluateAt(locBlend, 0.5f, locOut);
    EXPECT_NEAR(locOut[0], cosf(locPi / 4), 1e-5f);
    EXPECT_NEAR(locOut[1], sinf(locPi / 4), 1e-5f);

    // A zero duration is over at once.
    QR_PoseBlend::Set(locBlend, locFrom, locTo, 0.0f);
    EXPECT_TRUE(QR_PoseBlend::EvaluateAt(locBlend, 0.0f, locOut));
    EXPECT_FLOAT_EQ(locOut[12], 2.0f);
    QI_Time::ourTime = 0.0f;
}

TEST(QR_ErrorTest, CodesAndTextsStayUntilOverwritten)
{
    EXPECT_EQ(QR_Error::ourCode, 0u);
    EXPECT_STREQ(QR_Error::ourText, "");
    QR_Error::SetCode(QR_ERROR_MODEL_OPEN);
    QR_Error::Printf("%s", "a.qrb");
    QR_Error::SetCode(QR_ERROR_MODEL_VERSION);
    QR_Error::Printf("%s", "b.qrb");
    EXPECT_EQ(QR_Error::ourCode, 8u);
    EXPECT_STREQ(QR_Error::ourText, "b.qrb");

    std::string locLong(300, 't');
    QR_Error::Printf("File: '%s'", locLong.c_str());
    EXPECT_EQ(strlen(QR_Error::ourText), 255u);
    EXPECT_EQ(std::string(QR_Error::ourText, 7), "File: '");

    EXPECT_STREQ(QR_Error::GetCodeText(23), "Vertex shader is not registered");
    EXPECT_STREQ(QR_Error::GetCodeText(4), "Unknown error");
    for (uint32_t locCode : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 10u, 12u, 13u, 14u, 15u, 16u, 17u, 18u, 19u, 20u, 21u, 22u, 23u})
        EXPECT_STRNE(QR_Error::GetCodeText(locCode), "Unknown error") << locCode;
}

TEST(QR_VL_ListTest, RemovingWhileWalkingKeepsTheListWhole)
{
    QR_VL_List<int> locList;
    locList.AddFirst(1);
    locList.Next();
    locList.RemoveCurrent();
    EXPECT_EQ(locList.myFirst, nullptr);
    EXPECT_EQ(locList.myLast, nullptr);
    EXPECT_EQ(locList.myIteratorNode, nullptr);
    EXPECT_EQ(locList.myCount, 0);

    for (int i = 1; i <= 5; i++)
        locList.AddLast(i);
    // Remove the even items while walking: the cursor steps back to the
    // predecessor, so Next continues after the removed node.
    locList.Reset();
    for (locList.Next(); !locList.AtEnd(); locList.Next())
        if (locList.GetCurrent() % 2 == 0)
            locList.RemoveCurrent();
    std::vector<int> locItems;
    for (QR_VL_List<int>::Node* n = locList.myFirst; n; n = n->myNext)
        locItems.push_back(n->myItem);
    EXPECT_EQ(locItems, (std::vector<int>{1, 3, 5}));
    // Removing the last node moves the last pointer to its predecessor.
    locList.Reset();
    locList.Next();
    locList.Next();
    locList.Next();
    locList.RemoveCurrent();
    EXPECT_EQ(locList.myLast->myItem, 3);
    EXPECT_EQ(locList.myCount, 2);
    locList.AddLast(9);
    EXPECT_EQ(locList.myLast->myItem, 9);
    locList.RemoveAll();
    EXPECT_EQ(locList.myCount, 0);
    EXPECT_EQ(locList.myFirst, nullptr);
}
