// The TGA reader on files from the tests' writer, well-formed and broken.
#include "qdrawgdi/qdgdi_tga.h"
#include "qdrawgdi/tests/qdgdi_tga_writer.h"

#include <gtest/gtest.h>

namespace
{
QDGDI_TGAError locDecode(const std::vector<uint8_t>& aFile, QDGDI_TGAImage* anImage)
{
    return QDGDI_DecodeTGA(aFile.data(), (uint32_t)aFile.size(), anImage);
}

// B, G, R of pixel x of the DIB row holding picture row y (top = 0).
uint32_t locPixel(const QDGDI_TGAImage& anImage, int x, int y)
{
    const uint8_t* p = anImage.myRows + (size_t)(anImage.myHeight - 1 - y) * anImage.myStride +
                       (size_t)x * (anImage.myBitsPerPixel / 8);
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
}
} // namespace

TEST(QDGDI_TGA, FiveWide24BitRowsArePaddedToSixteenBytes)
{
    QDGDI_TestTGA t;
    t.myWidth = 5, t.myHeight = 3;
    for (uint32_t i = 0; i < 15; i++)
        t.myPixels.push_back(0x010101u * (i + 1));
    QDGDI_TGAImage locImage;
    ASSERT_EQ(locDecode(t.Write(), &locImage), QDGDI_TGA_OK);
    EXPECT_EQ(locImage.myWidth, 5);
    EXPECT_EQ(locImage.myHeight, 3);
    EXPECT_EQ(locImage.myBitsPerPixel, 24);
    EXPECT_EQ(locImage.myStride, 16);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++)
            EXPECT_EQ(locPixel(locImage, x, y), 0x010101u * (y * 5 + x + 1)) << x << "," << y;
    EXPECT_EQ(locImage.myRows[15], 0);   // the padding
    QDGDI_FreeTGA(&locImage);
    EXPECT_EQ(locImage.myRows, nullptr);
}

TEST(QDGDI_TGA, RowOrderAndIdFieldAreHonoured)
{
    for (bool locTopDown : {false, true})
        for (const char* locId : {"", "made by the tests"})
        {
            QDGDI_TestTGA t;
            t.myWidth = 2, t.myHeight = 2, t.myBits = 32, t.myTopDownFlag = locTopDown, t.myId = locId;
            t.myPixels = {0x00112233, 0x80445566, 0xFF778899, 0x01AABBCC};
            QDGDI_TGAImage locImage;
            ASSERT_EQ(locDecode(t.Write(), &locImage), QDGDI_TGA_OK);
            EXPECT_EQ(locImage.myStride, 8);
            EXPECT_EQ(locPixel(locImage, 0, 0), 0x112233u) << locTopDown << locId;
            EXPECT_EQ(locPixel(locImage, 1, 0), 0x445566u);
            EXPECT_EQ(locPixel(locImage, 0, 1), 0x778899u);
            EXPECT_EQ(locPixel(locImage, 1, 1), 0xAABBCCu);
            QDGDI_FreeTGA(&locImage);
        }
}

TEST(QDGDI_TGA, ColourMapBeforeThePixelsIsSkipped)
{
    QDGDI_TestTGA t;
    t.myPixels = {0x123456};
    std::vector<uint8_t> f = t.Write();
    f[1] = 1;          // a colour map of 2 entries of 24 bits
    f[5] = 2, f[7] = 24;
    f.insert(f.begin() + 18, 6, 0xEE);
    QDGDI_TGAImage locImage;
    ASSERT_EQ(locDecode(f, &locImage), QDGDI_TGA_OK);
    EXPECT_EQ(locPixel(locImage, 0, 0), 0x123456u);
    QDGDI_FreeTGA(&locImage);
}

TEST(QDGDI_TGA, UnsupportedKindsAreRefused)
{
    QDGDI_TestTGA t;
    QDGDI_TGAImage locImage;
    t.myType = 10;   // run-length encoded
    EXPECT_EQ(locDecode(t.Write(), &locImage), QDGDI_TGA_ILLEGAL_TYPE);
    t.myType = 2, t.myBits = 16;
    EXPECT_EQ(locDecode(t.Write(), &locImage), QDGDI_TGA_ILLEGAL_TYPE);
    t.myBits = 8, t.myType = 3;
    EXPECT_EQ(locDecode(t.Write(), &locImage), QDGDI_TGA_ILLEGAL_TYPE);
    EXPECT_EQ(locImage.myRows, nullptr);
}

TEST(QDGDI_TGA, CutAndEmptyFilesAreRefused)
{
    QDGDI_TestTGA t;
    t.myWidth = 4, t.myHeight = 4, t.myId = "id";
    std::vector<uint8_t> f = t.Write();
    QDGDI_TGAImage locImage;
    for (size_t locCut : {size_t(0), size_t(10), size_t(17), size_t(19), f.size() - 1})
    {
        std::vector<uint8_t> locShort(f.begin(), f.begin() + locCut);
        EXPECT_EQ(QDGDI_DecodeTGA(locShort.data(), (uint32_t)locShort.size(), &locImage), QDGDI_TGA_CUT)
            << locCut;
    }
    // Sizes that promise far more than the file holds, and an ID field past the end.
    std::vector<uint8_t> locHuge = f;
    locHuge[12] = locHuge[13] = locHuge[14] = locHuge[15] = 0xFF;
    EXPECT_EQ(locDecode(locHuge, &locImage), QDGDI_TGA_CUT);
    std::vector<uint8_t> locId(f.begin(), f.begin() + 18);
    locId[0] = 200;
    locId[12] = 1, locId[14] = 1;
    EXPECT_EQ(locDecode(locId, &locImage), QDGDI_TGA_CUT);

    for (int locWidth : {0, 4})
    {
        t.myWidth = locWidth, t.myHeight = 4 - locWidth;
        EXPECT_EQ(locDecode(t.Write(), &locImage), QDGDI_TGA_NO_PIXELS);
    }
    EXPECT_EQ(locImage.myRows, nullptr);
}
