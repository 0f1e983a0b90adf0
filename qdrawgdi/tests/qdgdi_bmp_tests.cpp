// The BMP reader on real files: pictures written by ImageMagick (1, 4 and 8 bits with a
// colour table, RLE8, 16 bits of 5-6-5 and 5-5-5, 24 bits, 32 bits with alpha, the old
// 12-byte header) and copies of them made by hand (top-down rows, RLE4 with a jump and a
// row ended early, 32 bits without masks, masks after a 40-byte header). The image
// library that read them before stands as the reference for the pixels.
#include "qdrawgdi/qdgdi_bmp.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
std::vector<uint8_t> locRead(const std::string& aName)
{
    std::ifstream locFile(std::string(Q_TEST_SOURCE_DIR) + "/tests/data/bmp/" + aName, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(locFile), std::istreambuf_iterator<char>());
}

// The picture as 0xRRGGBB, top row first.
struct Picture
{
    int myWidth = 0;
    int myHeight = 0;
    std::vector<uint32_t> myPixels;
    uint32_t At(int x, int y) const { return myPixels[(size_t)y * myWidth + x]; }
};

Picture locDecode(const std::vector<uint8_t>& aFile, QDGDI_BMPError* anError = nullptr)
{
    Picture locPicture;
    QDGDI_BMPImage locImage;
    const QDGDI_BMPError locError = QDGDI_DecodeBMP(aFile.data(), (uint32_t)aFile.size(), &locImage);
    if (anError)
        *anError = locError;
    if (locError != QDGDI_BMP_OK)
        return locPicture;
    locPicture.myWidth = locImage.myWidth, locPicture.myHeight = locImage.myHeight;
    for (int y = 0; y < locImage.myHeight; y++)
        for (int x = 0; x < locImage.myWidth; x++)
        {
            const uint8_t* p = locImage.myRows + (size_t)(locImage.myHeight - 1 - y) * locImage.myStride + 4 * x;
            EXPECT_EQ(p[3], 0);
            locPicture.myPixels.push_back((uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16));
        }
    QDGDI_FreeBMP(&locImage);
    return locPicture;
}

Picture locDecodeWithQt(const std::vector<uint8_t>& aFile)
{
    Picture locPicture;
    QImage locImage;
    if (!locImage.loadFromData(aFile.data(), (int)aFile.size(), "BMP"))
        return locPicture;
    locImage = locImage.convertToFormat(QImage::Format_RGB32);
    locPicture.myWidth = locImage.width(), locPicture.myHeight = locImage.height();
    for (int y = 0; y < locImage.height(); y++)
        for (int x = 0; x < locImage.width(); x++)
            locPicture.myPixels.push_back(locImage.pixel(x, y) & 0xFFFFFF);
    return locPicture;
}

// rle4.bmp: row 3 (from the top) has six pixels, then a jump three right and one row up
// (towards the top), so the rest of row 3 and columns 0..8 of row 2 are not written.
bool locJumpedOver(int x, int y)
{
    return (y == 3 && x >= 6) || (y == 2 && x < 9);
}

// Pixels a run-length picture jumps over are left out when aJumpsFlag is set: the image
// library left them as its memory happened to be.
void locExpectSame(const Picture& aPicture, const Picture& aWanted, const std::string& aName,
                   bool aJumpsFlag = false)
{
    ASSERT_EQ(aPicture.myWidth, aWanted.myWidth) << aName;
    ASSERT_EQ(aPicture.myHeight, aWanted.myHeight) << aName;
    for (int y = 0; y < aWanted.myHeight; y++)
        for (int x = 0; x < aWanted.myWidth; x++)
            if (!aJumpsFlag || !locJumpedOver(x, y))
            {
                ASSERT_EQ(aPicture.At(x, y), aWanted.At(x, y)) << aName << " at " << x << "," << y;
            }
}
} // namespace

TEST(QDGDI_BMP, EveryWrittenKindReadsAsTheImageLibraryReadIt)
{
    for (const char* locName : {"mono1.bmp", "palette4.bmp", "palette8.bmp", "rle8.bmp", "rle4.bmp", "true24.bmp",
                                "alpha32_v5.bmp", "rgb32.bmp", "rgb565_v5.bmp", "rgb565_masks.bmp", "core8.bmp",
                                "core24.bmp", "topdown24.bmp", "topdown8.bmp"})
    {
        const std::vector<uint8_t> locFile = locRead(locName);
        ASSERT_FALSE(locFile.empty()) << locName;
        QDGDI_BMPError locError;
        const Picture locPicture = locDecode(locFile, &locError);
        ASSERT_EQ(locError, QDGDI_BMP_OK) << locName;
        EXPECT_EQ(locPicture.myWidth, 13);
        EXPECT_EQ(locPicture.myHeight, 7);
        locExpectSame(locPicture, locDecodeWithQt(locFile), locName, strcmp(locName, "rle4.bmp") == 0);
    }
}

TEST(QDGDI_BMP, SixteenBitChannelsFillTheTopOfTheirByte)
{
    // 5-5-5 written with a 40-byte header that says "bit fields" but holds no masks (the
    // pixels start right after it): the default masks hold. A 5-bit 31 shows as 248 and
    // a 6-bit 63 as 252; every channel is within a step and a half of the 24-bit picture's.
    const Picture locTrue = locDecode(locRead("true24.bmp"));
    for (const char* locName : {"rgb555_nomasks.bmp", "rgb565_v5.bmp"})
    {
        const Picture locPicture = locDecode(locRead(locName));
        ASSERT_EQ(locPicture.myWidth, 13) << locName;
        const uint32_t locWhite = locName[4] == '5' ? 0xF8F8F8u : 0xF8FCF8u;
        EXPECT_EQ(locPicture.At(12, 6), locWhite) << locName;
        EXPECT_EQ(locPicture.At(1, 1), locWhite & 0xFFFF00u) << locName;
        for (int y = 0; y < 7; y++)
            for (int x = 0; x < 13; x++)
                for (int locShift : {0, 8, 16})
                {
                    const int locWant = (locTrue.At(x, y) >> locShift) & 0xFF;
                    const int locGot = (locPicture.At(x, y) >> locShift) & 0xFF;
                    EXPECT_LE(std::abs(locWant - locGot), 12) << locName << " at " << x << "," << y;
                }
    }
}

TEST(QDGDI_BMP, RunsLeavePixelsTheyJumpOverAtColourZero)
{
    const Picture locRuns = locDecode(locRead("rle4.bmp"));
    const Picture locPlain = locDecode(locRead("palette4.bmp"));
    ASSERT_EQ(locRuns.myWidth, 13);
    const std::vector<uint8_t> locFile = locRead("rle4.bmp");
    const uint32_t locColourZero = locFile[54] | (locFile[55] << 8) | (locFile[56] << 16);
    ASSERT_NE(locColourZero, 0u);
    for (int y = 0; y < 7; y++)
        for (int x = 0; x < 13; x++)
        {
            if (locJumpedOver(x, y))
            {
                EXPECT_EQ(locRuns.At(x, y), locColourZero) << x << "," << y;
            }
            else if (y != 2)
            {
                EXPECT_EQ(locRuns.At(x, y), locPlain.At(x, y)) << x << "," << y;
            }
        }
    // ImageMagick's RLE8 pads each row with a run of three pixels past the width: dropped.
    EXPECT_EQ(locDecode(locRead("rle8.bmp")).myPixels, locDecode(locRead("palette8.bmp")).myPixels);
}

namespace
{
// A BMP put together by hand: an information header of aHeaderSize bytes (12: the core
// one; masks inside the larger ones, after the 40-byte one), a colour table of
// 0xRRGGBB, the pixel bytes; the pixel offset 0 when aZeroOffsetFlag is set.
std::vector<uint8_t> locBuild(uint32_t aHeaderSize, int aWidth, int aHeight, int aBits, int aCompression,
                              const std::vector<uint32_t>& aMasks, const std::vector<uint32_t>& aColours,
                              const std::vector<uint8_t>& aPixels, bool aZeroOffsetFlag = false)
{
    std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const auto locPut = [&f](uint32_t aValue, int aBytes) {
        for (int i = 0; i < aBytes; i++)
            f.push_back((uint8_t)(aValue >> (8 * i)));
    };
    locPut(aHeaderSize, 4);
    if (aHeaderSize == 12)
        locPut(aWidth, 2), locPut(aHeight, 2), locPut(1, 2), locPut(aBits, 2);
    else
    {
        locPut(aWidth, 4), locPut(aHeight, 4), locPut(1, 2), locPut(aBits, 2), locPut(aCompression, 4);
        locPut((uint32_t)aPixels.size(), 4), locPut(0, 4), locPut(0, 4), locPut((uint32_t)aColours.size(), 4);
        locPut(0, 4);
        for (uint32_t locMask : aMasks)
            if (aHeaderSize == 40 || f.size() < 14 + aHeaderSize)
                locPut(locMask, 4);
        while (f.size() < 14 + aHeaderSize)
            f.push_back(0);
    }
    for (uint32_t locColour : aColours)
        locPut(locColour, aHeaderSize == 12 ? 3 : 4);
    const uint32_t locOffset = aZeroOffsetFlag ? 0 : (uint32_t)f.size();
    for (int i = 0; i < 4; i++)
        f[10 + i] = (uint8_t)(locOffset >> (8 * i));
    f.insert(f.end(), aPixels.begin(), aPixels.end());
    return f;
}
} // namespace

TEST(QDGDI_BMP, RareButValidLayoutsAreRead)
{
    // Every header size a writer makes, a single row, pixels right after the headers
    // (offset 0): one 24-bit pixel, blue 0x30, green 0x20, red 0x10.
    for (uint32_t locHeader : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
        for (bool locZeroOffset : {false, true})
        {
            const Picture p = locDecode(locBuild(locHeader, 1, 1, 24, 0, {}, {}, {0x30, 0x20, 0x10, 0}, locZeroOffset));
            ASSERT_EQ(p.myPixels.size(), 1u) << locHeader;
            EXPECT_EQ(p.At(0, 0), 0x102030u) << locHeader;
        }
    // Bit fields: a channel left out, a channel of one bit, channels wider than a byte;
    // masks after the 40-byte header or inside a larger one.
    for (uint32_t locHeader : {40u, 56u, 124u})
    {
        Picture p = locDecode(locBuild(locHeader, 1, 1, 16, 3, {0x8000, 0x03E0, 0}, {}, {0xE0, 0x83, 0, 0}));
        ASSERT_EQ(p.myPixels.size(), 1u) << locHeader;
        EXPECT_EQ(p.At(0, 0), 0x80F800u) << locHeader;
        p = locDecode(locBuild(locHeader, 1, 1, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF}, {},
                               {0x04, 0x00, 0xF8, 0x3F}));
        ASSERT_EQ(p.myPixels.size(), 1u) << locHeader;
        EXPECT_EQ(p.At(0, 0), 0xFF8001u) << locHeader;
    }
}

TEST(QDGDI_BMP, IndicesPastTheColourTableAreBlack)
{
    // A 2 × 1 4-bit picture with a table of 2 colours: index 1 is white, index 2 has no colour.
    const Picture p = locDecode(locBuild(40, 2, 1, 4, 0, {}, {0x000000, 0xFFFFFF}, {0x12, 0, 0, 0}));
    ASSERT_EQ(p.myPixels.size(), 2u);
    EXPECT_EQ(p.At(0, 0), 0xFFFFFFu);
    EXPECT_EQ(p.At(1, 0), 0u);
}

TEST(QDGDI_BMP, RunsStopWhereTheySay)
{
    // 4 × 2, RLE8. Bottom row: two of colour 1, a jump of one, one of colour 2. Top row: a
    // copy of three (colours 3, 4, 5) with a pad byte that is no pixel. Unwritten: colour 0.
    const std::vector<uint32_t> locColours = {0x000010, 0x000011, 0x000012, 0x000013, 0x000014, 0x000015, 0x000016,
                                              0x000017};
    const Picture p = locDecode(locBuild(40, 4, 2, 8, 1, {}, locColours,
                                         {2, 1, 0, 2, 1, 0, 1, 2, 0, 0, 0, 3, 3, 4, 5, 7, 0, 1}));
    ASSERT_EQ(p.myPixels.size(), 8u);
    EXPECT_EQ(p.myPixels, (std::vector<uint32_t>{0x13, 0x14, 0x15, 0x10, 0x11, 0x11, 0x10, 0x12}));
    // Jumps may end on the right edge and on the row past the top; then only the end follows.
    const Picture locEdges = locDecode(locBuild(40, 4, 2, 8, 1, {}, locColours, {2, 1, 0, 2, 2, 0, 0, 0, 0, 2, 0, 1, 0, 1}));
    ASSERT_EQ(locEdges.myPixels.size(), 8u);
    EXPECT_EQ(locEdges.myPixels, (std::vector<uint32_t>{0x10, 0x10, 0x10, 0x10, 0x11, 0x11, 0x10, 0x10}));
    // A run past the row's end is cut there and leaves the next row alone.
    const Picture locCut = locDecode(locBuild(40, 4, 2, 8, 1, {}, locColours, {2, 1, 5, 3, 0, 0, 0, 2, 3, 0, 1, 2, 0, 1}));
    EXPECT_EQ(locCut.myPixels, (std::vector<uint32_t>{0x10, 0x10, 0x10, 0x12, 0x11, 0x11, 0x13, 0x13}));
    // RLE4 copies of an odd and an even number of pixels take their bytes, padded to two.
    const Picture locNibbles = locDecode(locBuild(40, 5, 2, 4, 2, {}, locColours,
                                                  {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 4, 0x67, 0x12, 1, 0x30, 0, 1}));
    EXPECT_EQ(locNibbles.myPixels,
              (std::vector<uint32_t>{0x16, 0x17, 0x11, 0x12, 0x13, 0x11, 0x12, 0x13, 0x14, 0x15}));
}
