// Conversion of layers into batches on writer-made objects: smoothing,
// splitting, welding, merging, vertex maps, the texture rules and their
// error codes, and the caches.
#include <gtest/gtest.h>

#include <math.h>

#include "lw_test_util.h"
#include "modeleditor/lw_mesh.h"

namespace
{
// Converts layer 0xFFFF (the default layer) of writer-made bytes.
struct Converted
{
    std::unique_ptr<LWObject> myObject;
    LWLayerMesh myMesh;
    bool myOk = false;
};

std::unique_ptr<Converted> locConvert(const LWO2Writer& aWriter, int aLayer = LW_DEFAULT_LAYER)
{
    auto locResult = std::make_unique<Converted>();
    locResult->myObject = LoadLWBytes(aWriter.GetBytes());
    if (locResult->myObject)
        locResult->myOk = ConvertLWLayer(aLayer, locResult->myObject.get(), &locResult->myMesh);
    return locResult;
}

// A quad of four points with one UV each, textured from clip 1.
void locTexturedQuad(LWO2Writer& aWriter, const char* aStill = "images/wood.tga")
{
    aWriter.Tags({"Wood"});
    aWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    aWriter.Polygons({{0, 1, 2, 3}});
    aWriter.PolygonTags("SURF", {{0, 0}});
    aWriter.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}, {1, 0, {1, 0}}, {2, 0, {1, 1}}, {3, 0, {0, 0.25f}}});
    aWriter.StillClip(1, aStill);
}

TEST(LWConvert, CubeWeldsToEightVerticesUnlessTheSmoothingAngleSplitsIt)
{
    LWO2Writer locSmooth;
    locSmooth.Tags({"Box"});
    WriteCube(locSmooth);
    auto locResult = locConvert(locSmooth);
    ASSERT_TRUE(locResult->myOk);
    ASSERT_EQ(locResult->myMesh.myBatches.size(), 1u);
    const LWMeshBatch& locBatch = locResult->myMesh.myBatches[0];
    EXPECT_EQ(locBatch.myVertices.size(), 8u);
    EXPECT_EQ(locBatch.GetNumTriangles(), 12u);
    EXPECT_NEAR(fabsf(locBatch.myVertices[0].myNormal[0]), 1 / sqrtf(3), 1e-6);
    EXPECT_NEAR(locResult->myMesh.myRadius, sqrtf(3), 1e-6);
    // The fan of the first quad (0 1 2 3) in output indices.
    EXPECT_EQ(std::vector<uint32_t>(locBatch.myTriangles.begin(), locBatch.myTriangles.begin() + 6),
              (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));

    LWO2Writer locSharp;
    locSharp.Tags({"Box"});
    WriteCube(locSharp);
    locSharp.BeginSurface("Box");
    locSharp.SurfaceSmoothing(0.5f);
    locSharp.EndSurface();
    locResult = locConvert(locSharp);
    ASSERT_TRUE(locResult->myOk);
    const LWMeshBatch& locFlat = locResult->myMesh.myBatches[0];
    EXPECT_EQ(locFlat.myVertices.size(), 24u);
    for (const LWMeshVertex& locVertex : locFlat.myVertices)
    {
        int locAxes = 0;
        for (float locComponent : locVertex.myNormal)
            locAxes += fabsf(locComponent) == 1.0f;
        EXPECT_EQ(locAxes, 1);
    }
}

TEST(LWConvert, ADoubleSidedQuadKeepsBothNormals)
{
    // Normals that differ only in z must not weld.
    LWO2Writer locWriter;
    locWriter.Tags({"Card"});
    locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    locWriter.Polygons({{0, 1, 2, 3}, {3, 2, 1, 0}});
    locWriter.PolygonTags("SURF", {{0, 0}, {1, 0}});
    locWriter.BeginSurface("Card");
    locWriter.SurfaceSmoothing(0.5f);
    locWriter.EndSurface();
    auto locResult = locConvert(locWriter);
    ASSERT_TRUE(locResult->myOk);
    const LWMeshBatch& locBatch = locResult->myMesh.myBatches[0];
    ASSERT_EQ(locBatch.myVertices.size(), 8u);
    EXPECT_EQ(locBatch.myVertices[0].myNormal[2], -locBatch.myVertices[4].myNormal[2]);
    EXPECT_NEAR(locResult->myMesh.myRadius, sqrtf(2), 1e-6);
}

TEST(LWConvert, PolygonsUpToTwentyFourCornersBecomeFans)
{
    for (int locCorners : {24, 25})
    {
        LWO2Writer locWriter;
        locWriter.Tags({"Disc"});
        std::vector<LWVec3> locPoints;
        std::vector<uint32_t> locPolygon;
        for (int i = 0; i < locCorners; i++)
        {
            float locAngle = 6.2831853f * i / locCorners;
            locPoints.push_back({cosf(locAngle), sinf(locAngle), 0});
            locPolygon.push_back(i);
        }
        locWriter.Points(locPoints);
        locWriter.Polygons({locPolygon});
        locWriter.PolygonTags("SURF", {{0, 0}});
        auto locResult = locConvert(locWriter);
        if (locCorners == 24)
        {
            ASSERT_TRUE(locResult->myOk);
            EXPECT_EQ(locResult->myMesh.myBatches[0].GetNumTriangles(), 22u);
        }
        else
        {
            EXPECT_FALSE(locResult->myOk);
            EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_NOT_TRIANGULATED);
            EXPECT_STREQ(EditorError::GetDetail(), "File: 'TEST.LWO', default layer, polygon 0: 25 corners");
        }
    }

    // In a named layer, after a triangle, with a chunk the reader skipped.
    LWO2Writer locWriter;
    locWriter.Tags({"Disc"});
    locWriter.Layer(4, "rim");
    locWriter.BeginChunk("VMPA");
    locWriter.EndChunk();
    std::vector<LWVec3> locPoints(30, LWVec3{0, 0, 0});
    std::vector<uint32_t> locRim;
    for (uint32_t i = 0; i < 30; i++)
    {
        locPoints[i] = {cosf(0.2f * i), sinf(0.2f * i), 0};
        locRim.push_back(i);
    }
    locWriter.Points(locPoints);
    locWriter.Polygons({{0, 1, 2}, locRim});
    auto locResult = locConvert(locWriter, 4);
    EXPECT_FALSE(locResult->myOk);
    EXPECT_STREQ(EditorError::GetDetail(), "File: 'TEST.LWO', layer 5 'rim', polygon 1: 30 corners skipped chunks: VMPA");
}

TEST(LWConvert, SurfacesSharingTheirImagesMergeIntoOneBatch)
{
    for (bool locSameImage : {true, false})
    {
        LWO2Writer locWriter;
        locWriter.Tags({"A", "B", "Untextured"});
        locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}});
        locWriter.Polygons({{0, 1, 2}, {0, 2, 3}, {1, 4, 5}, {1, 5, 2}});
        locWriter.PolygonTags("SURF", {{0, 0}, {2, 1}, {1, 0}});
        locWriter.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}, {1, 0, {1, 0}}, {2, 0, {1, 1}}, {4, 0, {0, 1}}});
        locWriter.StillClip(1, "a.tga");
        locWriter.StillClip(2, "b.tga");
        locWriter.BeginSurface("A");
        locWriter.SurfaceValue("GLOS", 0.75f);
        locWriter.SurfaceBlock({});
        locWriter.EndSurface();
        locWriter.BeginSurface("B");
        LWO2Writer::Block locBlock;
        locBlock.myImage = locSameImage ? 1 : 2;
        locWriter.SurfaceBlock(locBlock);
        locWriter.EndSurface();
        auto locResult = locConvert(locWriter);
        ASSERT_TRUE(locResult->myOk);
        const std::vector<LWMeshBatch>& locBatches = locResult->myMesh.myBatches;
        // Polygon 3 carries no SURF tag and is dropped.
        if (locSameImage)
        {
            ASSERT_EQ(locBatches.size(), 1u);
            EXPECT_EQ(locBatches[0].GetNumTriangles(), 3u);
            // A's slots (points 0 1 2 3), then B's (1 2 4 5): 1 and 2 weld.
            EXPECT_EQ(locBatches[0].myVertices.size(), 6u);
            EXPECT_EQ(locBatches[0].myGlossiness, 0.75f);
        }
        else
        {
            ASSERT_EQ(locBatches.size(), 2u);
            EXPECT_EQ(locBatches[1].myTextureNames[0], "B.TGA");
            EXPECT_EQ(locBatches[1].myTextureBaseNames[0], "B");
        }
        EXPECT_EQ(locBatches[0].myTextureNames[0], "A.TGA");
        EXPECT_EQ(locBatches[0].myNumUVSets, 1);
    }
}

TEST(LWConvert, TextureRulesGiveTheirCodesWithTheSurface)
{
    struct Case
    {
        const char* myName;
        uint32_t myCode;
    };
    for (const Case& locCase : {Case{"planar", EDITOR_ERROR_NOT_UV_MAPPED}, Case{"sequence", EDITOR_ERROR_MISSING_TEXTURE},
                                Case{"noitems", EDITOR_ERROR_MISSING_TEXTURE}, Case{"noclip", EDITOR_ERROR_MISSING_TEXTURE},
                                Case{"nouv", EDITOR_ERROR_TEXTURE_WITHOUT_UV},
                                Case{"trnlonly", EDITOR_ERROR_TEXTURE2_WITHOUT_TEXTURE1},
                                Case{"trnlsequence", EDITOR_ERROR_MISSING_TEXTURE}})
    {
        std::string locName = locCase.myName;
        LWO2Writer locWriter;
        locWriter.Tags({"Wood"});
        locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
        locWriter.Polygons({{0, 1, 2}});
        locWriter.PolygonTags("SURF", {{0, 0}});
        if (locName != "nouv")
            locWriter.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}});
        locWriter.StillClip(1, "wood.tga");
        locWriter.BeginChunk("CLIP");
        locWriter.U4(2);
        if (locName != "noitems")
        {
            locWriter.BeginSubChunk("ISEQ");
            locWriter.Bytes("\3\0\0\0\0\0\0\1\0\x09", 10);
            locWriter.S0("seq");
            locWriter.S0(".tga");
            locWriter.EndSubChunk();
        }
        locWriter.EndChunk();
        locWriter.BeginSurface("Wood");
        LWO2Writer::Block locBlock;
        if (locName == "planar")
            locBlock.myProjection = 0;
        if (locName == "sequence" || locName == "noitems")
            locBlock.myImage = 2;
        if (locName == "noclip")
            locBlock.myImage = 7;
        if (locName == "trnlonly" || locName == "trnlsequence")
        {
            locBlock.myChannel = "TRNL";
            locBlock.myImage = locName == "trnlonly" ? 1 : 2;
        }
        locWriter.SurfaceBlock(locBlock);
        locWriter.EndSurface();
        auto locResult = locConvert(locWriter);
        EXPECT_FALSE(locResult->myOk) << locName;
        EXPECT_EQ(EditorError::Get(), locCase.myCode) << locName;
        EXPECT_STREQ(EditorError::GetDetail(), "File: 'TEST.LWO', surface: Wood") << locName;
    }
}

TEST(LWConvert, TransparencyImageBumpAndReflectionNames)
{
    LWO2Writer locWriter;
    locTexturedQuad(locWriter, "c:\\Images\\Wood.TGA");
    locWriter.StillClip(2, "C:IMAGES/WOOD_ALPHA.TGA");
    locWriter.VertexMap("TXUV", 2, "Alpha", {{3, 0, {0.125f, 0.5f}}});
    locWriter.BeginSurface("Wood");
    locWriter.SurfaceBlock({});
    LWO2Writer::Block locAlpha;
    locAlpha.myChannel = "TRNL";
    locAlpha.myImage = 2;
    locAlpha.myUVMap = "Alpha";
    locWriter.SurfaceBlock(locAlpha);
    LWO2Writer::Block locBump;
    locBump.myChannel = "BUMP";
    locBump.myReferenceObject = "BumpNull";
    locWriter.SurfaceBlock(locBump);
    LWO2Writer::Block locReflection;
    locReflection.myChannel = "REFL";
    locReflection.myReferenceObject = "Sky";
    locWriter.SurfaceBlock(locReflection);
    locWriter.EndSurface();
    auto locResult = locConvert(locWriter);
    ASSERT_TRUE(locResult->myOk);
    const LWMeshBatch& locBatch = locResult->myMesh.myBatches[0];
    EXPECT_EQ(locBatch.myTextureNames[0], "C:\\IMAGES\\WOOD.TGA");
    EXPECT_EQ(locBatch.myTextureBaseNames[0], "C://IMAGES/WOOD");
    EXPECT_EQ(locBatch.myTextureBaseNames[1], "C:/IMAGES/WOOD_ALPHA");
    EXPECT_EQ(locBatch.myBumpName, "BumpNull");
    EXPECT_EQ(locBatch.myReflectionName, "Sky");
    EXPECT_EQ(locBatch.myNumUVSets, 2);
    // v is flipped; the quad's corner 3 has UV (0, 0.25), and (0.125, 0.5) in the second set.
    EXPECT_EQ(locBatch.myVertices[3].myUV0[1], 0.75f);
    EXPECT_EQ(locBatch.myVertices[3].myUV1[0], 0.125f);
    EXPECT_EQ(locBatch.myVertices[3].myUV1[1], 0.5f);
    EXPECT_EQ(locBatch.myVertices[2].myUV1[0], 0.0f);
}

TEST(LWConvert, TheTextureNameRule)
{
    EXPECT_EQ(LWTextureBaseName("C:IMAGES/WOOD.TGA"), "C:/IMAGES/WOOD");
    EXPECT_EQ(LWTextureBaseName("IMAGES\\WOOD.TGA"), "IMAGES/WOOD");
    EXPECT_EQ(LWTextureBaseName("DIR.V2/WOOD"), "DIR.V2/WOOD");
    EXPECT_EQ(LWTextureBaseName("A.B.C"), "A.B");
    EXPECT_EQ(LWTextureBaseName(".TGA"), ".TGA");
    EXPECT_EQ(LWTextureBaseName(""), "");
}

TEST(LWConvert, WeightsKeepTheFourLargestNormalised)
{
    LWO2Writer locWriter;
    locWriter.Tags({"Skin"});
    locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    locWriter.Polygons({{0, 1, 2}});
    locWriter.PolygonTags("SURF", {{0, 0}});
    const float locWeights[] = {0.1f, 0.5f, 0.2f, 0.4f, 0.3f};
    for (int i = 0; i < 5; i++)
        locWriter.VertexMap("WGHT", 1, ("bone" + std::to_string(i)).c_str(), {{0, 0, {locWeights[i]}}});
    locWriter.VertexMap("WGHT", 1, "left", {{1, 0, {0.25f}}, {1, 0, {0.005f}}});
    locWriter.VertexMap("WGHT", 1, "right", {{1, 0, {0.25f}}});
    auto locResult = locConvert(locWriter);
    ASSERT_TRUE(locResult->myOk);
    const LWMeshBatch& locBatch = locResult->myMesh.myBatches[0];
    const LWLayer& locLayer = *locResult->myObject->myLayers[0];
    const LWMeshVertex& v0 = locBatch.myVertices[0];
    const float locExpected[] = {0.5f / 1.4f, 0.4f / 1.4f, 0.3f / 1.4f, 0.2f / 1.4f};
    const int locMaps[] = {1, 3, 4, 2};
    for (int i = 0; i < 4; i++)
    {
        EXPECT_NEAR(v0.myWeights[i].myWeight, locExpected[i], 1e-6);
        EXPECT_EQ(v0.myWeights[i].myMap, &locLayer.myVertexMaps[locMaps[i]]);
    }
    const LWMeshVertex& v1 = locBatch.myVertices[1];
    EXPECT_EQ(v1.myWeights[0].myWeight, 0.5f);
    EXPECT_EQ(v1.myWeights[1].myWeight, 0.5f);
    EXPECT_EQ(v1.myWeights[0].myMap->myName, "left"); // a tie keeps the earlier first
    EXPECT_EQ(v1.myWeights[2].myMap, nullptr);
    EXPECT_EQ(locBatch.myVertices[2].myWeights[0].myMap, nullptr);
}

TEST(LWConvert, CornerUVsSplitOnlyTheirCorner)
{
    LWO2Writer locWriter;
    locTexturedQuad(locWriter);
    locWriter.Polygons({{1, 4, 2}});
    locWriter.PolygonTags("SURF", {{1, 0}});
    locWriter.Points({{2, 0, 0}});
    // Corner (point 1, polygon 1) has its own UV; the same value as the
    // vertex map on polygon 0 changes nothing.
    locWriter.PolyVertexMap("TXUV", 2, "UV", {{1, 1, {0.5f, 0.5f}}, {1, 0, {1, 0}}, {9, 0, {0, 0}}, {1, 7, {0, 0}}});
    locWriter.BeginSurface("Wood");
    locWriter.SurfaceBlock({});
    locWriter.EndSurface();
    auto locResult = locConvert(locWriter);
    ASSERT_FALSE(locResult->myOk); // POLS names point 4 before its PNTS
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);

    LWO2Writer locOrdered;
    locOrdered.Tags({"Wood"});
    locOrdered.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}});
    locOrdered.Polygons({{0, 1, 2, 3}, {1, 4, 2}});
    locOrdered.PolygonTags("SURF", {{0, 0}, {1, 0}});
    locOrdered.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}, {1, 0, {1, 0}}, {2, 0, {1, 1}}, {3, 0, {0, 1}}});
    locOrdered.PolyVertexMap("TXUV", 2, "UV", {{1, 1, {0.5f, 0.5f}}, {1, 0, {1, 0}}, {9, 0, {0, 0}}, {1, 7, {0, 0}}});
    locOrdered.StillClip(1, "wood.tga");
    locOrdered.BeginSurface("Wood");
    locOrdered.SurfaceBlock({});
    locOrdered.EndSurface();
    locResult = locConvert(locOrdered);
    ASSERT_TRUE(locResult->myOk);
    const LWMeshBatch& locBatch = locResult->myMesh.myBatches[0];
    ASSERT_EQ(locBatch.myVertices.size(), 6u);
    EXPECT_EQ(locBatch.myVertices[5].myUV0[0], 0.5f);
    EXPECT_EQ(locBatch.myVertices[5].myUV0[1], 0.5f);
    EXPECT_EQ(locBatch.myVertices[5].myPosition[0], 1.0f);
    // Polygon 0 keeps the shared vertex 1, polygon 1 uses the copy.
    EXPECT_EQ(locBatch.myTriangles[0 * 3 + 1], 1u);
    EXPECT_EQ(locBatch.myTriangles[2 * 3 + 0], 5u);

    // Copies are made in corner-map then entry order, whatever the polygon
    // order; a change of u alone splits.
    LWO2Writer locTwoMaps;
    locTwoMaps.Tags({"Wood"});
    locTwoMaps.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}});
    locTwoMaps.Polygons({{0, 1, 2, 3}, {1, 4, 2}});
    locTwoMaps.PolygonTags("SURF", {{0, 0}, {1, 0}});
    locTwoMaps.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}, {1, 0, {1, 0}}, {2, 0, {1, 1}}, {3, 0, {0, 1}}});
    locTwoMaps.VertexMap("TXUV", 2, "UV2", {{1, 0, {0, 0}}, {2, 0, {0, 0}}});
    locTwoMaps.PolyVertexMap("TXUV", 2, "UV", {{2, 1, {0.25f, 1}}, {0, 0, {0, 0.5f}}});
    locTwoMaps.PolyVertexMap("TXUV", 2, "UV2", {{1, 0, {0.75f, 0}}});
    locTwoMaps.StillClip(1, "wood.tga");
    locTwoMaps.StillClip(2, "alpha.tga");
    locTwoMaps.BeginSurface("Wood");
    locTwoMaps.SurfaceBlock({});
    LWO2Writer::Block locSecond;
    locSecond.myChannel = "TRNL";
    locSecond.myImage = 2;
    locSecond.myUVMap = "UV2";
    locTwoMaps.SurfaceBlock(locSecond);
    locTwoMaps.EndSurface();
    locResult = locConvert(locTwoMaps);
    ASSERT_TRUE(locResult->myOk);
    const LWMeshBatch& locOrderedBatch = locResult->myMesh.myBatches[0];
    // Point 0 is in polygon 0 only: a change of v alone overwrites its UV.
    ASSERT_EQ(locOrderedBatch.myVertices.size(), 7u);
    EXPECT_EQ(locOrderedBatch.myVertices[0].myUV0[1], 0.5f);
    EXPECT_EQ(locOrderedBatch.myVertices[5].myUV0[0], 0.25f); // polygon 1's corner, first map
    EXPECT_EQ(locOrderedBatch.myVertices[6].myUV1[0], 0.75f); // polygon 0's corner, second map
}

TEST(LWConvert, VertexColoursFromTheSurfacesMap)
{
    LWO2Writer locWriter;
    locWriter.Tags({"Paint", "Other"});
    locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}});
    locWriter.Polygons({{0, 1, 2}, {1, 3, 2}});
    locWriter.PolygonTags("SURF", {{0, 0}, {1, 1}});
    locWriter.VertexMap("rgba", 4, "paint", {{0, 0, {1.0f, 0.5f, 0.0f, 0.25f}}, {1, 0, {2.0f, -1.0f, 0.1f, 1.0f}}});
    locWriter.VertexMap("RGB ", 3, "paint", {{2, 0, {0.0f, 0.0f, 1.0f}}});
    locWriter.BeginSurface("Paint");
    locWriter.SurfaceVertexColours("RGBA", "paint");
    locWriter.EndSurface();
    locWriter.BeginSurface("Other");
    locWriter.SurfaceValue("GLOS", 0.25f);
    locWriter.EndSurface();
    auto locResult = locConvert(locWriter);
    ASSERT_TRUE(locResult->myOk);
    // Both batches are untextured, so they merge; the first keeps its surface.
    ASSERT_EQ(locResult->myMesh.myBatches.size(), 1u);
    const LWMeshBatch& locBatch = locResult->myMesh.myBatches[0];
    EXPECT_TRUE(locBatch.myHasVertexColours);
    EXPECT_EQ(locBatch.myGlossiness, 0.4f);
    EXPECT_EQ(locBatch.myVertices[0].myColour, 0x3FFF7F00u);
    EXPECT_EQ(locBatch.myVertices[1].myColour, 0xFFFF0019u);
    EXPECT_EQ(locBatch.myVertices[2].myColour, 0xFF0000FFu);
    // The second batch's slots have no colour map of their own.
    EXPECT_EQ(locBatch.myVertices[3].myColour, 0u);

    // A surface naming its map as RGB takes the colours of an RGBA map, opaque, whatever
    // alpha the map stores (the box of assimp-testmodels stores 0 and vanished).
    LWO2Writer locRGB;
    locRGB.Tags({"Paint"});
    locRGB.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    locRGB.Polygons({{0, 1, 2}});
    locRGB.PolygonTags("SURF", {{0, 0}});
    locRGB.VertexMap("RGBA", 4, "paint", {{0, 0, {1.0f, 0.5f, 0.0f, 0.0f}}, {1, 0, {0.0f, 1.0f, 0.0f, 0.25f}}});
    locRGB.BeginSurface("Paint");
    locRGB.SurfaceVertexColours("RGB ", "paint");
    locRGB.EndSurface();
    auto locOpaque = locConvert(locRGB);
    ASSERT_TRUE(locOpaque->myOk);
    ASSERT_EQ(locOpaque->myMesh.myBatches.size(), 1u);
    const LWMeshBatch& b = locOpaque->myMesh.myBatches[0];
    EXPECT_TRUE(b.myHasVertexColours);
    ASSERT_EQ(b.myVertices.size(), 3u);
    EXPECT_EQ(b.myVertices[0].myColour, 0xFFFF7F00u);
    EXPECT_EQ(b.myVertices[1].myColour, 0xFF00FF00u);
}

TEST(LWConvert, BadReferencesAreIgnoredAndUnknownSurfacesTakeTheDefaults)
{
    LWO2Writer locWriter;
    locWriter.Tags({"Nowhere"});
    locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    locWriter.Polygons({{0, 1, 2}, {0, 2, 1}});
    locWriter.PolygonTags("SURF", {{0, 0}, {5, 0}, {1, 3}});
    locWriter.PolygonTags("ABCD", {{0, 0}});
    locWriter.PolygonTags("PART", {{1, 0}});
    locWriter.VertexMap("WGHT", 1, "w", {{70, 0, {1}}});
    locWriter.VertexMap("TXUV", 1, "short", {{0, 0, {1}}});
    locWriter.VertexMap("MNVW", 0, "no values", {{0, 0, {}}, {1, 0, {}}});
    locWriter.VertexMap("WGHT", 0, "no weights", {{0, 0, {}}, {1, 0, {}}});
    locWriter.VertexMap("RGB ", 2, "", {{0, 0, {1, 1}}}); // the surface's (empty) colour map name, too short
    auto locResult = locConvert(locWriter);
    ASSERT_TRUE(locResult->myOk);
    ASSERT_EQ(locResult->myMesh.myBatches.size(), 1u);
    EXPECT_EQ(locResult->myMesh.myBatches[0].GetNumTriangles(), 1u);
    EXPECT_EQ(locResult->myMesh.myBatches[0].myGlossiness, 0.4f);
    EXPECT_EQ(locResult->myMesh.myBatches[0].myNumUVSets, 0);
    EXPECT_FALSE(locResult->myMesh.myBatches[0].myHasVertexColours);
    EXPECT_EQ(locResult->myMesh.myBatches[0].myVertices[0].myWeights[0].myMap, nullptr);

    auto locMissing = locConvert(locWriter, 3);
    EXPECT_FALSE(locMissing->myOk);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_LAYER_NOT_FOUND);
    EXPECT_STREQ(EditorError::GetDetail(), "Looking for layer 3 in TEST.LWO");
}

TEST(LWConvert, BatchesBeyondSixteenBitIndicesFail)
{
    // 21845 separate triangles weld to 65535 vertices, one more to 65538.
    for (uint32_t locTriangles : {21845u, 21846u})
    {
        LWO2Writer locWriter;
        locWriter.Tags({"Big"});
        std::vector<LWVec3> locPoints;
        std::vector<std::vector<uint32_t>> locPolygons;
        std::vector<std::pair<uint32_t, uint16_t>> locTags;
        for (uint32_t i = 0; i < locTriangles; i++)
        {
            float x = (float)i;
            locPoints.insert(locPoints.end(), {{x, 0, 0}, {x, 1, 0}, {x, 0, 1}});
            locPolygons.push_back({3 * i, 3 * i + 1, 3 * i + 2});
            locTags.push_back({i, 0});
        }
        locWriter.Points(locPoints);
        locWriter.Polygons(locPolygons);
        locWriter.PolygonTags("SURF", locTags);
        auto locResult = locConvert(locWriter);
        if (locTriangles == 21845)
        {
            ASSERT_TRUE(locResult->myOk);
            EXPECT_EQ(locResult->myMesh.myBatches[0].myVertices.size(), 65535u);
            continue;
        }
        EXPECT_FALSE(locResult->myOk);
        EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_TOO_MANY_VERTICES);
        EXPECT_STREQ(EditorError::GetDetail(), "File: 'TEST.LWO', surface: Big");
    }
}

TEST(LWCache, ObjectsLoadOnceAndLayersAreFoundByIndexOrNumber)
{
    LWCache::Clear();
    LWO2Writer locWriter;
    locWriter.Tags({"S"});
    locWriter.Layer(4, "four", -1, {1, 2, 3});
    WriteCube(locWriter, 2.0f);
    locWriter.Layer(7, "seven");
    WriteCube(locWriter, 1.0f);
    std::string locPath = TestPath("Cached.lwo");
    ASSERT_TRUE(locWriter.Save(locPath.c_str()));

    ASSERT_TRUE(FindOrLoadLWObject(locPath.c_str(), 1, false));
    LWLayerMesh* locFirst = LWCache::GetLastMesh();
    EXPECT_EQ(locFirst->myLayerNumber, 4);
    EXPECT_EQ(locFirst->myName, (locPath + ":4").c_str());
    EXPECT_EQ(locFirst->myPivot.z, 3.0f);
    EXPECT_NEAR(locFirst->myRadius, 2 * sqrtf(3), 1e-5);

    QC_String locUpper(locPath.c_str());
    locUpper.MakeUpper();
    ASSERT_TRUE(FindOrLoadLWObject(locUpper, 7, true));
    EXPECT_EQ(LWCache::ourObjects.size(), 1u);
    EXPECT_EQ(LWCache::ourMeshes.size(), 2u);
    EXPECT_EQ(LWCache::GetLastMesh()->myLayerNumber, 7);
    EXPECT_EQ(LWCache::GetLastMesh()->myObject, locFirst->myObject);

    ASSERT_TRUE(FindOrLoadLWObject(locPath.c_str(), 0, false)); // the empty default layer
    EXPECT_TRUE(LWCache::GetLastMesh()->myBatches.empty());
    EXPECT_EQ(LWCache::ourMeshes.size(), 3u);
    EXPECT_FALSE(FindOrLoadLWObject(locPath.c_str(), 3, false));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_LAYER_NOT_FOUND);
    EXPECT_EQ(std::string(EditorError::GetDetail()), "Looking for layer 3 in " + std::string(locUpper));
    EXPECT_FALSE(FindOrLoadLWObject(locPath.c_str(), 5, true));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_LAYER_NOT_FOUND);
    EXPECT_EQ(LWCache::ourMeshes.size(), 3u);

    EXPECT_FALSE(FindOrLoadLWObject(TestPath("absent.lwo").c_str(), 1, false));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_LOAD_MODEL);
    LWCache::Clear();
    EXPECT_EQ(LWCache::GetLastMesh(), nullptr);
}

// Within one import a file that did not load fails again with its code and
// detail without being read; cleared caches read it afresh.
TEST(LWCache, AFileThatDidNotLoadIsNotReadAgainUntilTheCachesAreCleared)
{
    LWCache::Clear();
    const std::string locPath = TestPath("later.lwo");
    LWO2Writer locBad;
    locBad.Points({{0, 0, 0}, {1, 0, 0}});
    locBad.Polygons({{0, 1}});
    ASSERT_TRUE(locBad.Save(locPath.c_str()));
    EXPECT_FALSE(FindOrLoadLWObject(locPath.c_str(), 0, false));
    const std::string locDetail = EditorError::GetDetail();
    LWO2Writer locGood;
    locGood.Tags({"Default"});
    WriteCube(locGood);
    ASSERT_TRUE(locGood.Save(locPath.c_str()));
    EditorError::Set(EDITOR_ERROR_NONE);
    SetErrorDetail("other");
    EXPECT_FALSE(FindOrLoadLWObject(locPath.c_str(), 0, false));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_NOT_TRIANGULATED);
    EXPECT_EQ(EditorError::GetDetail(), locDetail);
    LWCache::Clear();
    ASSERT_TRUE(FindOrLoadLWObject(locPath.c_str(), 0, false));
    EXPECT_EQ(LWCache::GetLastMesh()->myBatches[0].GetNumTriangles(), 12u);
    LWCache::Clear();
}
} // namespace
