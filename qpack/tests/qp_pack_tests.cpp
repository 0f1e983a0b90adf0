// Round trips and limits of the pack library's coders and memory streams.
#include "qpack/qp_memstream.h"
#include "qpack/qp_pack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>
#include <zlib.h>

namespace
{
std::vector<uint8_t> locRandomBytes(size_t aCount, uint32_t aSeed)
{
    std::mt19937 locGenerator(aSeed);
    std::vector<uint8_t> locBytes(aCount);
    for (uint8_t& locByte : locBytes)
        locByte = (uint8_t)locGenerator();
    return locBytes;
}

std::vector<uint8_t> locText(size_t aCount)
{
    static const char* locWords[] = {"texture ", "mesh ", "surface\r\n", "light ", "joint ", "bone\r\n"};
    std::vector<uint8_t> locBytes;
    for (size_t i = 0; locBytes.size() < aCount; ++i)
    {
        const char* locWord = locWords[(i * 7 + i / 3) % 6];
        locBytes.insert(locBytes.end(), locWord, locWord + strlen(locWord));
    }
    locBytes.resize(aCount);
    return locBytes;
}
}

TEST(QPPack, LZMAOfRepeatedBytesIsSmallWithPropertyHeader)
{
    std::vector<uint8_t> locSource(1000, 0x41);
    std::vector<uint8_t> locPacked(1000);
    uint32_t locSize = QP_Pack::CompressLZMA(locSource.data(), locPacked.data(), 1000);
    ASSERT_GT(locSize, 5u);
    EXPECT_LT(locSize, 64u);
    const uint8_t locHeader[5] = {0x5D, 0x00, 0x00, 0x80, 0x00};
    EXPECT_EQ(0, memcmp(locPacked.data(), locHeader, 5));

    std::vector<uint8_t> locBack(1000);
    ASSERT_TRUE(QP_Pack::DecompressLZMA(locPacked.data(), locSize, locBack.data(), 1000));
    EXPECT_EQ(locSource, locBack);
}

TEST(QPPack, LZMARoundTripsTextOfSeveralSizes)
{
    for (uint32_t locLength : {64u, 4097u, 300000u, 9u * 1024u * 1024u})
    {
        std::vector<uint8_t> locSource = locText(locLength);
        std::vector<uint8_t> locPacked(locLength);
        uint32_t locSize = QP_Pack::CompressLZMA(locSource.data(), locPacked.data(), locLength);
        ASSERT_GT(locSize, 5u) << locLength;
        ASSERT_LT(locSize, locLength);
        std::vector<uint8_t> locBack(locLength);
        ASSERT_TRUE(QP_Pack::DecompressLZMA(locPacked.data(), locSize, locBack.data(), locLength)) << locLength;
        EXPECT_TRUE(locSource == locBack) << locLength;
    }
}

TEST(QPPack, LZMAGivesZeroWhenOutputWouldNotBeSmaller)
{
    std::vector<uint8_t> locRandom = locRandomBytes(100000, 7);
    std::vector<uint8_t> locPacked(100000);
    EXPECT_EQ(0u, QP_Pack::CompressLZMA(locRandom.data(), locPacked.data(), 100000));

    // Tiny inputs: the capacity (length - 1) cannot even hold the properties;
    // a length of 0 must not wrap the capacity.
    uint8_t locTiny[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    uint8_t locOut[8] = {};
    for (uint32_t locLength = 0; locLength <= 6; ++locLength)
        EXPECT_EQ(0u, QP_Pack::CompressLZMA(locTiny, locOut, locLength)) << locLength;
}

TEST(QPPack, LZMADecodeRefusesBadPropertiesTruncationAndWrongSize)
{
    std::vector<uint8_t> locSource = locText(50000);
    std::vector<uint8_t> locPacked(50000);
    uint32_t locSize = QP_Pack::CompressLZMA(locSource.data(), locPacked.data(), 50000);
    ASSERT_GT(locSize, 5u);
    std::vector<uint8_t> locBack(50000 + 100);

    std::vector<uint8_t> locBadProperties = locPacked;
    locBadProperties[0] = 225; // lc/lp/pb out of range
    EXPECT_FALSE(QP_Pack::DecompressLZMA(locBadProperties.data(), locSize, locBack.data(), 50000));
    EXPECT_FALSE(QP_Pack::DecompressLZMA(locPacked.data(), 4, locBack.data(), 50000));
    EXPECT_FALSE(QP_Pack::DecompressLZMA(locPacked.data(), locSize / 2, locBack.data(), 50000));
    // Asking for more than the stream holds must fail, not pad.
    EXPECT_FALSE(QP_Pack::DecompressLZMA(locPacked.data(), locSize, locBack.data(), 50000 + 100));
    EXPECT_TRUE(QP_Pack::DecompressLZMA(locPacked.data(), locSize, locBack.data(), 50000));
}

TEST(QPPack, ZlibRoundTripAndCapacity)
{
    for (uint32_t locLength : {1u, 1000u, 200000u})
    {
        for (int locKind = 0; locKind < 2; ++locKind)
        {
            std::vector<uint8_t> locSource = locKind ? locRandomBytes(locLength, locLength) : locText(locLength);
            std::vector<uint8_t> locPacked(QP_Pack::GetZlibCapacity(locLength));
            int locSize = QP_Pack::CompressZlib(locSource.data(), locPacked.data(), locLength);
            ASSERT_GT(locSize, 0);
            EXPECT_LE((uint64_t)locSize, (uint64_t)(locLength * 1.05f) + 16);
            std::vector<uint8_t> locBack(locLength);
            EXPECT_EQ(locLength, QP_Pack::DecompressZlib(locLength, locBack.data(), locSize, locPacked.data()));
            EXPECT_TRUE(locSource == locBack);
            if (locLength > 1)
            {
                EXPECT_EQ(0u, QP_Pack::DecompressZlib(locLength, locBack.data(), locSize / 2, locPacked.data()));
            }
            // A limit smaller than the contents is an error, not a partial result.
            EXPECT_EQ(0u, QP_Pack::DecompressZlib(locLength - 1, locBack.data(), locSize, locPacked.data()));
        }
    }
}

TEST(QPMemStream, InStreamReadsAndSeeksFromEachOrigin)
{
    const char locData[] = "0123456789";
    QP_MemInStream locIn(locData, 10);
    char locBuffer[16] = {};
    uint32_t locRead = 0;
    EXPECT_EQ(QP_S_OK, locIn.Read(locBuffer, 4, &locRead));
    EXPECT_EQ(4u, locRead);
    uint64_t locPosition = 0;
    EXPECT_EQ(QP_S_OK, locIn.Seek(2, QP_SEEK_CUR, &locPosition));
    EXPECT_EQ(6u, locPosition);
    EXPECT_EQ(QP_S_OK, locIn.Seek(3, QP_SEEK_END, &locPosition));
    EXPECT_EQ(7u, locPosition);
    EXPECT_EQ(QP_S_OK, locIn.ReadPart(locBuffer, 16, &locRead));
    EXPECT_EQ(3u, locRead);
    EXPECT_EQ(0, memcmp(locBuffer, "789", 3));
    EXPECT_EQ(QP_E_FAIL, locIn.Seek(0, 3, NULL));
    // Sought past the end, a read gives nothing instead of running off.
    EXPECT_EQ(QP_S_OK, locIn.Seek(20, QP_SEEK_SET, NULL));
    EXPECT_EQ(QP_S_OK, locIn.Read(locBuffer, 4, &locRead));
    EXPECT_EQ(0u, locRead);
    EXPECT_EQ(10u, locIn.GetSize());
}

TEST(QPMemStream, OutStreamRefusesWritesPastCapacity)
{
    char locBuffer[8] = {};
    QP_MemOutStream locOut(locBuffer, 6);
    uint32_t locWritten = 0;
    EXPECT_EQ(QP_S_OK, locOut.Write("abcd", 4, &locWritten));
    EXPECT_EQ(4u, locWritten);
    EXPECT_EQ(QP_E_FAIL, locOut.Write("efg", 3, &locWritten));
    EXPECT_EQ(4u, locOut.GetWrittenSize());
    EXPECT_EQ(QP_S_OK, locOut.WritePart("ef", 2, NULL));
    EXPECT_EQ(0, memcmp(locBuffer, "abcdef", 6));

    uint64_t locPosition = 0;
    EXPECT_EQ(QP_S_OK, locOut.Seek(2, QP_SEEK_END, &locPosition));
    EXPECT_EQ(4u, locPosition);
    EXPECT_EQ(QP_S_OK, locOut.Write("X", 1, NULL));
    EXPECT_EQ(6u, locOut.GetWrittenSize());
    EXPECT_EQ(QP_E_FAIL, locOut.SetSize(7));
    EXPECT_EQ(QP_S_OK, locOut.SetSize(3));
    EXPECT_EQ(3u, locOut.GetWrittenSize());
}
