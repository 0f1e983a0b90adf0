// Spline paths: evaluation of every key type, looping and holding, the
// scale columns, and reading stored blocks (valid and refused).
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "qfile/render/qf_file.h"
#include "qrender/qr_splinepath.h"

namespace
{
QR_SplineKey locKey(float aTime, std::vector<float> aValues, uint32_t aType, std::vector<float> aTangents = {})
{
    QR_SplineKey locResult = {};
    locResult.myTime = aTime;
    locResult.myType = aType;
    for (size_t i = 0; i < aValues.size(); i++)
        locResult.myValues[i] = aValues[i];
    for (size_t i = 0; i < aTangents.size(); i++)
        locResult.myTangents[i] = aTangents[i];
    return locResult;
}

float locValueAt(const QR_SplinePath& aPath, float aTime, int aChannel = 0)
{
    float locOut[QR_SplinePath::MAX_CHANNELS];
    aPath.GetValue(aTime, locOut);
    return locOut[aChannel];
}

// A stored block: words in the file's byte order, arrays raw.
class Block
{
public:
    explicit Block(bool aBigEndian = false) : myBigEndian(aBigEndian) {}
    Block& Word(uint32_t aValue)
    {
        for (int i = 0; i < 4; i++)
            myBytes.push_back((uint8_t)(aValue >> (myBigEndian ? 24 - 8 * i : 8 * i)));
        return *this;
    }
    Block& FloatWord(float aValue)
    {
        uint32_t locBits;
        memcpy(&locBits, &aValue, 4);
        return Word(locBits);
    }
    Block& Raw(float aValue)
    {
        uint8_t locBytes[4];
        memcpy(locBytes, &aValue, 4);
        myBytes.insert(myBytes.end(), locBytes, locBytes + 4);
        return *this;
    }
    Block& RawType(uint32_t aType)
    {
        float locSlot;
        memcpy(&locSlot, &aType, 4);
        return Raw(locSlot);
    }
    // Writes the block to a file and reads it into aPath.
    bool ReadInto(QR_SplinePath& aPath, uint32_t aMode = QF_READ)
    {
        mkdir(Q_TEST_TMP_DIR, 0755);
        std::string locName = std::string(Q_TEST_TMP_DIR) + "/spline.bin";
        FILE* locFile = fopen(locName.c_str(), "wb");
        fwrite(myBytes.data(), 1, myBytes.size(), locFile);
        fclose(locFile);
        QF_File locReader;
        if (!locReader.Open(locName.c_str(), aMode))
            return false;
        return aPath.Read(locReader);
    }
    std::vector<uint8_t> myBytes;
    bool myBigEndian;
};

// Header of a block: rate, looping, channels, mask, tangents, keys.
Block locHeader(uint32_t aChannels, uint32_t aMask, uint32_t aTangents, uint32_t aKeys, bool aBigEndian = false)
{
    Block locBlock(aBigEndian);
    locBlock.FloatWord(1.0f).Word(1).Word(aChannels).Word(aMask).Word(aTangents).Word(aKeys);
    return locBlock;
}
} // namespace

TEST(QR_SplinePathTest, ConstantPathGivesItsConstantsAtAnyTime)
{
    QR_SplineKey locKeys[] = {locKey(0.0f, {1, 2, 3}, 3), locKey(1.0f, {1, 2, 3}, 3)};
    QR_SplinePath locPath;
    ASSERT_TRUE(locPath.BuildFromKeys(locKeys, 2, 3));
    EXPECT_EQ(locPath.myNumKeys, 1u);
    EXPECT_EQ(locPath.myKeys, nullptr);
    EXPECT_EQ(locPath.myKeySizeInFloats, 0u);
    for (float locTime : {0.0f, 0.3f, 7.0f, -2.0f})
    {
        EXPECT_FLOAT_EQ(locValueAt(locPath, locTime, 0), 1.0f);
        EXPECT_FLOAT_EQ(locValueAt(locPath, locTime, 2), 3.0f);
    }
}

TEST(QR_SplinePathTest, EvaluatesEveryKeyType)
{
    struct Case
    {
        uint32_t myType;
        float p0, m0, p1, m1, myTime, myExpected;
    } locCases[] = {
        {QR_SplinePath::LINEAR, 0, 0, 10, 0, 0.25f, 2.5f},
        {QR_SplinePath::STEP, 4, 0, 10, 0, 0.9f, 4.0f},
        {QR_SplinePath::HERMITE, 0, 0, 1, 0, 0.5f, 0.5f},
        // Tangents as stored, not scaled by the segment: 0.5 + 2/8 - 4/8.
        {QR_SplinePath::HERMITE_2, 0, 2, 1, 4, 0.5f, 0.25f},
        // Bezier weights the values p0, p1 and then the tangents m0, m1:
        // 3/8 p1 + 3/8 m0 + 1/8 m1.
        {QR_SplinePath::BEZIER, 0, 2, 1, 4, 0.5f, 1.625f},
        {QR_SplinePath::BEZIER, 0, 0, 1, 0, 1.0f / 3.0f, 4.0f / 9.0f},
    };
    for (const Case& c : locCases)
    {
        QR_SplineKey locKeys[] = {locKey(0.0f, {c.p0, 7}, c.myType, {c.m0}),
                                  locKey(1.0f, {c.p1, 7}, c.myType, {c.m1})};
        QR_SplinePath locPath;
        ASSERT_TRUE(locPath.BuildFromKeys(locKeys, 2, 2));
        EXPECT_NEAR(locValueAt(locPath, c.myTime), c.myExpected, 1e-6f) << "type " << c.myType;
        EXPECT_FLOAT_EQ(locValueAt(locPath, c.myTime, 1), 7.0f);
    }
}

TEST(QR_SplinePathTest, LoopsWrapsAndHolds)
{
    QR_SplineKey locKeys[] = {locKey(0.2f, {0}, 3), locKey(0.6f, {10}, 3), locKey(1.0f, {30}, 3)};
    QR_SplinePath locPath;
    ASSERT_TRUE(locPath.BuildFromKeys(locKeys, 3, 1));
    EXPECT_EQ(locPath.myNumTangents, 0u);
    EXPECT_EQ(locPath.myKeySizeInFloats, 3u);
    // Before the first key: its value. Second segment found by the scan.
    EXPECT_FLOAT_EQ(locValueAt(locPath, 0.1f), 0.0f);
    EXPECT_FLOAT_EQ(locValueAt(locPath, 0.8f), 20.0f);

    locPath.SetLength(2.0f);
    EXPECT_FLOAT_EQ(locPath.myRate, 0.5f);
    // Looping: time 3.2 at rate 0.5 is t = 1.6, wrapped to 0.6.
    EXPECT_NEAR(locValueAt(locPath, 3.2f), 10.0f, 1e-4f);
    locPath.myIsLooping = false;
    EXPECT_FLOAT_EQ(locValueAt(locPath, 3.2f), 30.0f);
    locPath.SetLength(0.0f);
    EXPECT_FLOAT_EQ(locPath.myRate, 1.0f);
    locPath.SetLength(4.0f);
    EXPECT_FLOAT_EQ(locPath.myRate, 0.25f);
    EXPECT_FLOAT_EQ(locValueAt(locPath, 4.0f), 30.0f);
}

TEST(QR_SplinePathTest, MatrixTakesTranslationAnglesAndScaleColumns)
{
    QR_SplineKey locKeys[] = {locKey(0.0f, {1, 2, 3, 0, 0, 0, 2, 1, 1}, 3),
                              locKey(1.0f, {1, 2, 3, 0, 0, 0, 2, 1, 1}, 3)};
    QR_SplinePath locPath;
    ASSERT_TRUE(locPath.BuildFromKeys(locKeys, 2, 9));
    Matrix44 locMatrix = Matrix44::Identity();
    locPath.GetMatrix(0.5f, locMatrix);
    EXPECT_FLOAT_EQ(locMatrix[0], 2.0f);
    EXPECT_FLOAT_EQ(locMatrix[5], 1.0f);
    EXPECT_FLOAT_EQ(locMatrix[10], 1.0f);
    EXPECT_FLOAT_EQ(locMatrix[12], 1.0f);
    EXPECT_FLOAT_EQ(locMatrix[14], 3.0f);
    EXPECT_FLOAT_EQ(locMatrix[15], 1.0f);

    // Scale applies to columns after the rotation: a quarter yaw moves the
    // doubled x column.
    QR_SplineKey locTurned[] = {locKey(0.0f, {0, 0, 0, (float)M_PI / 2, 0, 0, 2, 1, 1}, 3),
                                locKey(1.0f, {0, 0, 0, (float)M_PI / 2, 0, 0, 2, 1, 1}, 3)};
    ASSERT_TRUE(locPath.BuildFromKeys(locTurned, 2, 9));
    locPath.GetMatrix(0.0f, locMatrix);
    EXPECT_NEAR(locMatrix[8], 2.0f, 1e-6f);  // row 2, column 0
    EXPECT_NEAR(locMatrix[2], -1.0f, 1e-6f); // row 0, column 2
}

TEST(QR_SplinePathTest, ReadsStoredBlocksInBothByteOrders)
{
    for (bool locBigEndian : {false, true})
    {
        // Three channels: 0 and 2 keyed with one tangent, 1 constant.
        Block locBlock = locHeader(3, 0x5, 1, 2, locBigEndian);
        locBlock.Raw(0.0f).RawType(QR_SplinePath::LINEAR).Raw(0).Raw(0).Raw(100).Raw(0);
        locBlock.Raw(1.0f).RawType(QR_SplinePath::LINEAR).Raw(10).Raw(0).Raw(200).Raw(0);
        locBlock.Raw(42.0f);
        QR_SplinePath locPath;
        ASSERT_TRUE(locBlock.ReadInto(locPath, locBigEndian ? QF_READ | QF_SWAP_BYTES : QF_READ));
        EXPECT_EQ(locPath.myKeySizeInFloats, 6u);
        EXPECT_EQ(locPath.myNumKeys, 2u);
        float locOut[3];
        locPath.GetValue(0.5f, locOut);
        EXPECT_FLOAT_EQ(locOut[0], 5.0f);
        EXPECT_FLOAT_EQ(locOut[1], 42.0f);
        EXPECT_FLOAT_EQ(locOut[2], 150.0f);
    }
}

TEST(QR_SplinePathTest, RefusesBlocksThatCannotBeEvaluated)
{
    auto locTwoLinearKeys = [](Block aBlock, float aLastTime, uint32_t aType = QR_SplinePath::LINEAR) {
        aBlock.Raw(0.0f).RawType(aType).Raw(0);
        aBlock.Raw(aLastTime).RawType(aType).Raw(1);
        return aBlock;
    };
    struct Case
    {
        const char* myName;
        Block myBlock;
    } locCases[] = {
        {"17 channels", locTwoLinearKeys(locHeader(17, 1, 0, 2), 1.0f)},
        {"one key", locHeader(1, 1, 0, 1).Raw(1.0f).RawType(3).Raw(0)},
        {"last key not at 1", locTwoLinearKeys(locHeader(1, 1, 0, 2), 0.9f)},
        {"unknown key type", locTwoLinearKeys(locHeader(1, 1, 0, 2), 1.0f, 9)},
        {"curve without tangents", locTwoLinearKeys(locHeader(1, 1, 0, 2), 1.0f, QR_SplinePath::HERMITE)},
        {"three tangents", locHeader(1, 1, 3, 2)},
        {"keys past the end", locHeader(1, 1, 0, 1000000).Raw(0.0f)},
        {"constant path with two keys", locHeader(2, 0, 0, 2).Raw(1).Raw(2)},
        {"constants missing", locTwoLinearKeys(locHeader(2, 1, 0, 2), 1.0f)},
        {"header cut short", Block().FloatWord(1.0f).Word(1)},
    };
    for (Case& c : locCases)
    {
        QR_SplinePath locPath;
        EXPECT_FALSE(c.myBlock.ReadInto(locPath)) << c.myName;
        EXPECT_EQ(locPath.myKeys, nullptr) << c.myName;
        EXPECT_EQ(locPath.myConstants, nullptr) << c.myName;
    }

    // Decreasing key times.
    Block locBlock = locHeader(1, 1, 0, 3);
    locBlock.Raw(0.5f).RawType(3).Raw(0).Raw(0.2f).RawType(3).Raw(1).Raw(1.0f).RawType(3).Raw(2);
    QR_SplinePath locPath;
    EXPECT_FALSE(locBlock.ReadInto(locPath));
    // Mask bits above the channel count are ignored.
    Block locMasked = locHeader(1, 0xFFFFFFFE, 0, 1);
    locMasked.Raw(5.0f);
    ASSERT_TRUE(locMasked.ReadInto(locPath));
    EXPECT_EQ(locPath.myKeyedMask, 0u);
    EXPECT_FLOAT_EQ(locValueAt(locPath, 0.3f), 5.0f);
}

TEST(QR_SplinePathTest, CopiesOwnTheirArrays)
{
    QR_SplineKey locKeys[] = {locKey(0.0f, {0, 3}, 3), locKey(1.0f, {10, 3}, 3)};
    QR_SplinePath locPath;
    ASSERT_TRUE(locPath.BuildFromKeys(locKeys, 2, 2));
    QR_SplinePath locCopy(locPath);
    locPath.Free();
    EXPECT_FLOAT_EQ(locValueAt(locCopy, 0.5f), 5.0f);
    EXPECT_FLOAT_EQ(locValueAt(locCopy, 0.5f, 1), 3.0f);
}
