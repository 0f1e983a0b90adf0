// Vertex format sizes, component offsets and declarations.
#include <gtest/gtest.h>

#include "platform/gfx/gfx_device.h"
#include "qrender/qr_vertex.h"

TEST(QR_Vertex, SizesFollowTheComponentWidths)
{
    EXPECT_EQ(QR_GetVertexSize(0x49), 32u);
    EXPECT_EQ(QR_GetVertexSize(0x84F), 48u);
    EXPECT_EQ(QR_GetVertexSize(0x1), 12u);
    EXPECT_EQ(QR_GetVertexSize(0x400), 16u);
    EXPECT_EQ(QR_GetVertexSize(0x3), 20u); // one weight and the bone-index bytes
    EXPECT_EQ(QR_GetVertexSize(0x7), 28u);
    EXPECT_EQ(QR_GetVertexSize(0x801), 16u);
    EXPECT_EQ(QR_GetVertexSize(0x51), 24u);
}

TEST(QR_Vertex, OffsetsLieBehindEarlierComponents)
{
    EXPECT_EQ(QR_GetVertexComponentOffset(0x8, 0x84F), 28);
    EXPECT_EQ(QR_GetVertexComponentOffset(0x40, 0x84F), 40);
    EXPECT_EQ(QR_GetVertexComponentOffset(0x800, 0x84F), 24);
    EXPECT_EQ(QR_GetVertexComponentOffset(0x4, 0x84F), 16);
    EXPECT_EQ(QR_GetVertexComponentOffset(0x8, 0x809), 16); // bone bytes without weights precede the normal
    EXPECT_EQ(QR_GetVertexComponentOffset(0x20, 0x31), 16);
    EXPECT_EQ(QR_GetVertexComponentOffset(0x200, 0x201) - QR_GetVertexComponentOffset(0x40, 0x201), 56);
}

TEST(QR_Vertex, MissingComponentsHaveNoOffset)
{
    EXPECT_EQ(QR_GetVertexComponentOffset(0x80, 0x49), -1); // only one UV set
    EXPECT_EQ(QR_GetVertexComponentOffset(0x10, 0x49), -1);
    EXPECT_EQ(QR_GetVertexComponentOffset(0x6, 0x3), -1); // one weight only
}

TEST(QR_Vertex, DeclarationListsPositionNormalColoursAndSets)
{
    GFX_VertexElement e[QR_MAX_DECLARATION_ELEMENTS];
    uint32_t locFormat = 0x49;
    ASSERT_EQ(QR_BuildVertexElements(1, &locFormat, e), 3u);
    EXPECT_EQ(e[0].myUsage, GFX_DECLUSAGE_POSITION);
    EXPECT_EQ(e[1].myUsage, GFX_DECLUSAGE_NORMAL);
    EXPECT_EQ(e[1].myOffset, 12);
    EXPECT_EQ(e[2].myUsage, GFX_DECLUSAGE_TEXCOORD);
    EXPECT_EQ(e[2].myOffset, 24);

    uint32_t locFormats[2] = {0x450 | 0x20, 0x84F};
    uint32_t n = QR_BuildVertexElements(2, locFormats, e);
    ASSERT_EQ(n, 7u); // POSITIONT, COLOR0, COLOR1, TEXCOORD0 | POSITION, NORMAL, TEXCOORD0 (no weights)
    EXPECT_EQ(e[0].myUsage, GFX_DECLUSAGE_POSITIONT);
    EXPECT_EQ(e[0].myType, GFX_DECLTYPE_FLOAT4);
    EXPECT_EQ(e[2].myUsage, GFX_DECLUSAGE_COLOR);
    EXPECT_EQ(e[2].myUsageIndex, 1);
    EXPECT_EQ(e[2].myOffset, 20);
    EXPECT_EQ(e[4].myStream, 1);
    EXPECT_EQ(e[5].myOffset, 28);
    EXPECT_EQ(e[6].myOffset, 40);
}
