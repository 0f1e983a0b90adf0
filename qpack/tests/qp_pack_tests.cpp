// Round trips and limits of the pack library's coders and memory streams.
#include "qpack/qp_memstream.h"
#include "qpack/qp_pack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <zlib.h>
#include <lzma.h>
#include <algorithm>
#include <unistd.h>

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

namespace
{
// The size the LZMA coder reaches with room to spare (properties included),
// with the options the pack library uses.
uint32_t locLZMASizeUnbounded(const std::vector<uint8_t>& aSource)
{
    lzma_options_lzma locOptions;
    lzma_lzma_preset(&locOptions, 6);
    locOptions.dict_size = aSource.size() < 4096 ? 4096 : uint32_t(aSource.size());
    locOptions.lc = 3;
    locOptions.lp = 0;
    locOptions.pb = 2;
    locOptions.mode = LZMA_MODE_NORMAL;
    locOptions.nice_len = 128;
    locOptions.mf = LZMA_MF_BT4;
    locOptions.depth = 0;
    locOptions.ext_flags = 0;
    locOptions.ext_size_low = locOptions.ext_size_high = 0;
    lzma_filter locFilters[2] = {{LZMA_FILTER_LZMA1EXT, &locOptions}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> locOut(aSource.size() * 2 + 64);
    size_t locPos = 0;
    if (lzma_raw_buffer_encode(locFilters, nullptr, aSource.data(), aSource.size(), locOut.data(), &locPos,
                               locOut.size()) != LZMA_OK)
        return 0;
    return uint32_t(locPos) + 5;
}

// Unpacks in pieces of the given sizes; the output, or empty when Run failed
// or the stream did not end at the size.
std::vector<uint8_t> locUnpackInPieces(uint32_t aMethod, const std::vector<uint8_t>& aPacked, uint32_t aSize,
                                       uint32_t anInPiece, uint32_t anOutPiece)
{
    QP_Unpacker locUnpacker;
    if (!locUnpacker.Begin(aMethod, aSize))
        return {};
    std::vector<uint8_t> locOut(aSize + 64);
    uint32_t locOutPos = 0;
    size_t locInPos = 0;
    for (int locRound = 0; locRound < 10000000 && !locUnpacker.IsDone(); ++locRound)
    {
        uint32_t locInSize = uint32_t(std::min<size_t>(anInPiece, aPacked.size() - locInPos));
        // Each piece in a buffer of its own, as a reader's pieces come: nothing
        // may be taken from beyond it.
        std::vector<uint8_t> locPiece(aPacked.begin() + long(locInPos), aPacked.begin() + long(locInPos + locInSize));
        const uint8_t* locIn = locPiece.data();
        uint32_t locRoom = std::min<uint32_t>(anOutPiece, uint32_t(locOut.size()) - locOutPos);
        uint8_t* locOutAt = locOut.data() + locOutPos;
        const bool locLast = locInPos + locInSize == aPacked.size();
        if (!locUnpacker.Run(&locIn, &locInSize, &locOutAt, &locRoom, locLast))
            return {};
        size_t locUsed = size_t(locIn - locPiece.data());
        uint32_t locMade = uint32_t(locOutAt - (locOut.data() + locOutPos));
        if (locUsed == 0 && locMade == 0 && locLast)
            break;
        locInPos += locUsed;
        locOutPos += locMade;
    }
    if (!locUnpacker.IsDone())
        return {};
    locOut.resize(locOutPos);
    return locOut;
}
}

TEST(QPPack, LZMAOutputAsLongAsTheInputIsRefused)
{
    // Random bytes then zeros: the packed size grows with the random part, so
    // some mix packs to exactly its own length, and one to a byte less.
    bool locFoundEqual = false;
    bool locFoundOneLess = false;
    std::vector<uint8_t> locPacked(400);
    for (uint32_t locLength = 200; locLength < 240 && !(locFoundEqual && locFoundOneLess); ++locLength)
        for (uint32_t locRandom = 150; locRandom <= locLength; ++locRandom)
        {
            std::vector<uint8_t> locSource = locRandomBytes(locRandom, locLength);
            locSource.resize(locLength, 0);
            uint32_t locUnbounded = locLZMASizeUnbounded(locSource);
            if (locUnbounded == locLength)
            {
                locFoundEqual = true;
                EXPECT_EQ(QP_Pack::CompressLZMA(locSource.data(), locPacked.data(), locLength), 0u) << locLength;
            }
            else if (locUnbounded + 1 == locLength)
            {
                locFoundOneLess = true;
                EXPECT_EQ(QP_Pack::CompressLZMA(locSource.data(), locPacked.data(), locLength), locLength - 1);
            }
        }
    EXPECT_TRUE(locFoundEqual);
    EXPECT_TRUE(locFoundOneLess);
}

TEST(QPPack, SmallAndFarReachingBuffersRoundTrip)
{
    // Below the coder's smallest dictionary, whole and in pieces.
    std::vector<uint8_t> locSmall = locText(1000);
    std::vector<uint8_t> locPacked(1000);
    uint32_t locSize = QP_Pack::CompressLZMA(locSmall.data(), locPacked.data(), 1000);
    ASSERT_GT(locSize, 5u);
    locPacked.resize(locSize);
    std::vector<uint8_t> locBack(1000);
    EXPECT_TRUE(QP_Pack::DecompressLZMA(locPacked.data(), locSize, locBack.data(), 1000));
    EXPECT_TRUE(locBack == locSmall);
    EXPECT_TRUE(locUnpackInPieces(2, locPacked, 1000, 7, 100) == locSmall);

    // A match 9 MiB back: the whole announced dictionary (8 MiB) is used and no more.
    std::vector<uint8_t> locFar = locRandomBytes(1 << 20, 3);
    locFar.resize(9u << 20, 0);
    std::vector<uint8_t> locTail = locRandomBytes(1 << 16, 3);
    locFar.insert(locFar.end(), locTail.begin(), locTail.end());
    std::vector<uint8_t> locFarPacked(locFar.size());
    locSize = QP_Pack::CompressLZMA(locFar.data(), locFarPacked.data(), uint32_t(locFar.size()));
    ASSERT_GT(locSize, 5u);
    EXPECT_EQ(locFarPacked[1] | (locFarPacked[2] << 8) | (locFarPacked[3] << 16) | (uint32_t(locFarPacked[4]) << 24),
              0x800000u);
    std::vector<uint8_t> locFarBack(locFar.size());
    ASSERT_TRUE(QP_Pack::DecompressLZMA(locFarPacked.data(), locSize, locFarBack.data(), uint32_t(locFar.size())));
    EXPECT_TRUE(locFarBack == locFar);

    // zlib output is compress2 at level 9, byte for byte.
    std::vector<uint8_t> locText9 = locText(20000);
    std::vector<uint8_t> locOurs(QP_Pack::GetZlibCapacity(20000));
    locOurs.resize(size_t(QP_Pack::CompressZlib(locText9.data(), locOurs.data(), 20000)));
    std::vector<uint8_t> locReference(compressBound(20000));
    uLongf locReferenceSize = locReference.size();
    ASSERT_EQ(compress2(locReference.data(), &locReferenceSize, locText9.data(), 20000, 9), Z_OK);
    locReference.resize(locReferenceSize);
    EXPECT_TRUE(locOurs == locReference);
}

TEST(QPPack, UnpackerInPiecesMatchesTheWholeBuffer)
{
    std::vector<uint8_t> locSource = locText(150000);
    std::vector<uint8_t> locRandom = locRandomBytes(3000, 5);
    locSource.insert(locSource.begin() + 7000, locRandom.begin(), locRandom.end());
    std::vector<uint8_t> locLZMA(locSource.size());
    locLZMA.resize(QP_Pack::CompressLZMA(locSource.data(), locLZMA.data(), uint32_t(locSource.size())));
    ASSERT_GT(locLZMA.size(), 5u);
    std::vector<uint8_t> locZlib(QP_Pack::GetZlibCapacity(uint32_t(locSource.size())));
    locZlib.resize(QP_Pack::CompressZlib(locSource.data(), locZlib.data(), uint32_t(locSource.size())));
    const uint32_t locSize = uint32_t(locSource.size());
    for (uint32_t locIn : {1u, 3u, 4096u, 1000000u})
        for (uint32_t locOut : {1u, 77u, 65536u, 1000000u})
        {
            EXPECT_TRUE(locUnpackInPieces(2, locLZMA, locSize, locIn, locOut) == locSource) << locIn << " " << locOut;
            EXPECT_TRUE(locUnpackInPieces(1, locZlib, locSize, locIn, locOut) == locSource) << locIn << " " << locOut;
        }
}

TEST(QPPack, UnpackerRefusesCutLongShortAndDamagedStreams)
{
    std::vector<uint8_t> locSource = locText(40000);
    const uint32_t locSize = uint32_t(locSource.size());
    std::vector<uint8_t> locLZMA(locSize);
    locLZMA.resize(QP_Pack::CompressLZMA(locSource.data(), locLZMA.data(), locSize));
    std::vector<uint8_t> locZlib(QP_Pack::GetZlibCapacity(locSize));
    locZlib.resize(QP_Pack::CompressZlib(locSource.data(), locZlib.data(), locSize));
    for (uint32_t locMethod : {1u, 2u})
    {
        const std::vector<uint8_t>& locPacked = locMethod == 1 ? locZlib : locLZMA;
        std::vector<uint8_t> locCut(locPacked.begin(), locPacked.begin() + long(locPacked.size() / 2));
        EXPECT_TRUE(locUnpackInPieces(locMethod, locCut, locSize, 512, 4096).empty()) << locMethod;
        std::vector<uint8_t> locFour(locPacked.begin(), locPacked.begin() + 4);
        EXPECT_TRUE(locUnpackInPieces(locMethod, locFour, locSize, 512, 4096).empty()) << locMethod;
        // The stream holds more, or less, than the size it is read for.
        EXPECT_TRUE(locUnpackInPieces(locMethod, locPacked, locSize - 1, 512, 4096).empty()) << locMethod;
        EXPECT_TRUE(locUnpackInPieces(locMethod, locPacked, locSize + 1, 512, 4096).empty()) << locMethod;
        std::vector<uint8_t> locDamaged = locPacked;
        for (size_t i = 8; i < locDamaged.size(); i += 5)
            locDamaged[i] ^= 0x5A;
        EXPECT_TRUE(locUnpackInPieces(locMethod, locDamaged, locSize, 512, 4096).empty()) << locMethod;
    }
    QP_Unpacker locUnpacker;
    EXPECT_FALSE(locUnpacker.Begin(0, 10));
    EXPECT_FALSE(locUnpacker.Begin(3, 10));
}

TEST(QPPack, PackerKeepingItsCoderGivesTheBytesOfAFreshCoder)
{
    // Sizes that keep, grow and shrink the coder's tables, buffers that do not
    // shrink (the coder stops half way), empty and one-byte ones, ones large
    // enough that the coder's memory is let go after them, and one whose
    // tables span many megabytes and are read all over (16 letters at random).
    std::vector<std::vector<uint8_t>> locSources;
    std::mt19937 locGenerator(11);
    for (uint32_t locLength : {1000u, 1u, 0u, 17u, 4096u, 4097u, 70000u, 5000u, 300u, 140000u, 2u, 1200000u, 900u})
        locSources.push_back(locText(locLength));
    std::vector<uint8_t> locLetters = locRandomBytes(3000000, 5);
    for (uint8_t& locByte : locLetters)
        locByte = uint8_t('a' + locByte % 16);
    locSources.push_back(locLetters);
    for (int i = 0; i < 60; ++i)
    {
        const uint32_t locLength = 1 + locGenerator() % (i % 10 == 0 ? 40000 : 2000);
        locSources.push_back(i % 3 == 0 ? locRandomBytes(locLength, uint32_t(i)) : locText(locLength));
    }

    QP_LZMAPacker locPacker;
    for (size_t i = 0; i < locSources.size(); ++i)
    {
        const std::vector<uint8_t>& locSource = locSources[i];
        const uint32_t locLength = uint32_t(locSource.size());
        std::vector<uint8_t> locFresh(locLength + 1), locKept(locLength + 1);
        const uint32_t locFreshSize = QP_Pack::CompressLZMA(locSource.data(), locFresh.data(), locLength);
        const uint32_t locKeptSize = locPacker.Compress(locSource.data(), locKept.data(), locLength);
        ASSERT_EQ(locKeptSize, locFreshSize) << i << ": " << locLength << " bytes";
        EXPECT_TRUE(std::equal(locFresh.begin(), locFresh.begin() + locFreshSize, locKept.begin())) << i;
        // The coder of a large buffer is not kept.
        EXPECT_LE(locPacker.GetKeptBytes(), 4u << 20) << i;
    }
    EXPECT_GT(locPacker.GetKeptBytes(), 0u);
}

TEST(QPPack, PackerGivesBackTheTablesOfLargeBuffers)
{
    // Pages the process has mapped.
    auto locMappedPages = [] {
        unsigned long locPages = 0;
        FILE* locFile = fopen("/proc/self/statm", "r");
        if (locFile)
        {
            if (fscanf(locFile, "%lu", &locPages) != 1)
                locPages = 0;
            fclose(locFile);
        }
        return locPages;
    };
    // Each buffer's tables take tens of megabytes; after the last only the
    // small coder is kept.
    const std::vector<uint8_t> locSource = locText(3000000);
    std::vector<uint8_t> locPacked(locSource.size());
    QP_LZMAPacker locPacker;
    ASSERT_GT(locPacker.Compress(locSource.data(), locPacked.data(), uint32_t(locSource.size())), 0u);
    const unsigned long locBefore = locMappedPages();
    ASSERT_GT(locBefore, 0u);
    for (int i = 0; i < 4; ++i)
        ASSERT_GT(locPacker.Compress(locSource.data(), locPacked.data(), uint32_t(locSource.size())), 0u);
    EXPECT_LT(locMappedPages(), locBefore + (16ul << 20) / (unsigned long)sysconf(_SC_PAGESIZE));
    EXPECT_LE(locPacker.GetKeptBytes(), 4u << 20);
}
