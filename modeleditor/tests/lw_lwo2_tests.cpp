// The LWO2 reader on writer-made files: the layer rule, the field forms,
// chunk bounds and skipping, truncation, surfaces, blocks, clips and
// envelopes, and the error codes.
#include <gtest/gtest.h>

#include <string.h>

#include "lw_test_util.h"
#include "modeleditor/lw_mesh.h"
#include "qcommon/tests/qc_debug_lines.h"

namespace
{
TEST(LWO2Layers, GeometryBeforeAnyLayerGoesToTheDefaultLayer)
{
    LWO2Writer locWriter;
    locWriter.Tags({"Default"});
    WriteCube(locWriter);
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    ASSERT_EQ(locObject->myLayers.size(), 1u);
    EXPECT_EQ(locObject->myLayers[0]->myNumber, LW_DEFAULT_LAYER);
    EXPECT_EQ(locObject->myLayers[0]->myPoints.size(), 8u);
    EXPECT_EQ(locObject->myLayers[0]->myPolygonLists[0].myPolygons.size(), 6u);
}

TEST(LWO2Layers, FileLayersFollowTheDefaultLayerWithTheirParentForms)
{
    LWO2Writer locWriter;
    locWriter.Layer(0, "first");          // no parent field
    locWriter.Points({{1, 2, 3}});
    locWriter.Layer(1, "second", 0);      // exactly two bytes: the parent
    locWriter.BeginChunk("LAYR");         // more than two extra bytes: skipped
    locWriter.U2(5);
    locWriter.U2(0);
    locWriter.VEC12(1, 2, 3);
    locWriter.S0("third");
    locWriter.U2(1);
    locWriter.U2(99);
    locWriter.EndChunk();
    locWriter.Points({{4, 5, 6}});
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    ASSERT_EQ(locObject->myLayers.size(), 4u);
    EXPECT_TRUE(locObject->myLayers[0]->myPoints.empty());
    EXPECT_EQ(locObject->myLayers[1]->myName, "first");
    EXPECT_EQ(locObject->myLayers[1]->myParent, LW_NO_PARENT);
    EXPECT_EQ(locObject->myLayers[1]->myPoints[0].z, 3.0f);
    EXPECT_EQ(locObject->myLayers[2]->myNumber, 1);
    EXPECT_EQ(locObject->myLayers[2]->myParent, 0);
    EXPECT_EQ(locObject->myLayers[3]->myNumber, 5);
    EXPECT_EQ(locObject->myLayers[3]->myParent, LW_NO_PARENT);
    EXPECT_EQ(locObject->myLayers[3]->myPivot.y, 2.0f);
    EXPECT_EQ(locObject->myLayers[3]->myPoints[0].x, 4.0f);
}

TEST(LWO2Fields, IndicesInBothFormsAndTagPadsReadBack)
{
    LWO2Writer locWriter;
    locWriter.Tags({"ab", "abc", "", "x"}); // even lengths carry a pad byte
    std::vector<LWVec3> locPoints(70001, LWVec3{0, 0, 0});
    locWriter.Points(locPoints);
    locWriter.Polygons({{70000, 1, 2}});
    locWriter.BeginChunk("PTAG");
    locWriter.ID4("SURF");
    locWriter.VX(0, true); // the long form of a small index
    locWriter.U2(3);
    locWriter.EndChunk();
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    ASSERT_EQ(locObject->myTags.size(), 4u);
    EXPECT_EQ(locObject->myTags[0], "ab");
    EXPECT_EQ(locObject->myTags[1], "abc");
    EXPECT_EQ(locObject->myTags[2], "");
    EXPECT_EQ(locObject->myTags[3], "x");
    const LWPolygonList& locList = locObject->myLayers[0]->myPolygonLists[0];
    EXPECT_EQ(locList.GetIndices(locList.myPolygons[0])[0], 70000u);
    EXPECT_EQ(locObject->myLayers[0]->myPolygonTagLists[0].myEntries[0].myPolygon, 0u);
    EXPECT_EQ(locObject->myLayers[0]->myPolygonTagLists[0].myEntries[0].myTag, 3);
}

TEST(LWO2Fields, PolygonTypesAndFlags)
{
    LWO2Writer locWriter;
    locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    locWriter.Polygons({{0, 1, 2}}, "face");  // the type ignores case
    locWriter.Polygons({{0, 1, 2, 3}}, "PTCH"); // anything else is skipped whole
    locWriter.BeginChunk("POLS");
    locWriter.ID4("FACE");
    locWriter.U2(0xFC00 | 3); // all six flag bits
    locWriter.VX(0);
    locWriter.VX(2);
    locWriter.VX(3);
    locWriter.EndChunk();
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    const LWLayer& locLayer = *locObject->myLayers[0];
    ASSERT_EQ(locLayer.myPolygonLists.size(), 2u);
    EXPECT_EQ(locLayer.myPolygonLists[0].myPolygons[0].myNumVertices, 3);
    EXPECT_EQ(locLayer.myPolygonLists[1].myPolygons[0].myFlags, 0x7E);
    EXPECT_EQ(locLayer.myPolygonLists[1].myPolygons[0].myNumVertices, 3);
}

TEST(LWO2Errors, FacesOfFewerThanThreePointsAndPointsOutsideTheLayer)
{
    LWO2Writer locTwo;
    locTwo.Points({{0, 0, 0}, {1, 0, 0}});
    locTwo.Polygons({{0, 1}});
    EXPECT_FALSE(LoadLWBytes(locTwo.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_NOT_TRIANGULATED);
    EXPECT_STREQ(GetEditorErrorText(), "object not trippled");
    EXPECT_STREQ(EditorError::GetDetail(), "File: 'test.lwo', default layer, polygon 0: 2 corners");

    // The index counts the layer's polygons across its lists; the chunks
    // skipped so far follow.
    LWO2Writer locSecond;
    locSecond.Layer(2, "hull");
    locSecond.BeginChunk("NVSK");
    locSecond.EndChunk();
    locSecond.BeginSurface("s");
    locSecond.BeginSubChunk("SIDE");
    locSecond.U1(1);
    locSecond.EndSubChunk();
    locSecond.EndSurface();
    locSecond.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    locSecond.Polygons({{0, 1, 2}, {2, 1, 0}});
    locSecond.Polygons({{0, 1, 2}, {1}});
    EXPECT_FALSE(LoadLWBytes(locSecond.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_NOT_TRIANGULATED);
    EXPECT_STREQ(EditorError::GetDetail(),
                 "File: 'test.lwo', layer 3 'hull', polygon 3: 1 corners skipped chunks: NVSK short sub-chunks: SIDE");

    LWO2Writer locOutside;
    locOutside.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    locOutside.Polygons({{0, 1, 3}});
    EXPECT_FALSE(LoadLWBytes(locOutside.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);
}

TEST(LWO2Errors, OnlyLWO2FormsAreRead)
{
    LWO2Writer locOld("LWOB");
    locOld.Points({{0, 0, 0}});
    EXPECT_FALSE(LoadLWBytes(locOld.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);
    std::vector<uint8_t> locBytes = LWO2Writer().GetBytes();
    locBytes[0] = 'X';
    EXPECT_FALSE(LoadLWBytes(locBytes));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);
    EXPECT_FALSE(LoadLWBytes({}));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);

    EXPECT_EQ(LoadLWO2(TestPath("missing.lwo").c_str()), nullptr);
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_LOAD_MODEL);
}

TEST(LWO2Chunks, UnknownAndOddChunksAreSkippedByTheirLength)
{
    LWO2Writer locWriter;
    locWriter.BeginChunk("VMPA"); // unknown, odd size: a pad byte follows
    locWriter.Bytes("abc", 3);
    locWriter.EndChunk();
    locWriter.BeginChunk("ICON");
    locWriter.U4(7);
    locWriter.EndChunk();
    locWriter.Points({{1, 2, 3}, {4, 5, 6}});
    locWriter.BeginChunk("PNTS"); // a tail shorter than a point is skipped
    locWriter.VEC12(7, 8, 9);
    locWriter.U2(0);
    locWriter.EndChunk();
    locWriter.BeginChunk("PTAG");
    locWriter.ID4("COLR"); // kept; the conversion decides
    locWriter.VX(0);
    locWriter.U2(0);
    locWriter.U1(0);
    locWriter.EndChunk();
    locWriter.BeginChunk("POLS"); // a tail byte too short for a polygon
    locWriter.ID4("FACE");
    locWriter.U2(3);
    locWriter.VX(0);
    locWriter.VX(1);
    locWriter.VX(2);
    locWriter.U1(3);
    locWriter.EndChunk();
    locWriter.BeginChunk("VMAD"); // a tail one byte short of a two-value entry
    locWriter.ID4("TXUV");
    locWriter.U2(2);
    locWriter.S0("UV");
    locWriter.VX(0);
    locWriter.VX(0);
    locWriter.F4(0.5f);
    locWriter.F4(0.5f);
    locWriter.Bytes("\0\0\0\0\0\0\0\0\0\0\0", 11);
    locWriter.EndChunk();
    locWriter.BeginChunk("TAGS"); // a tail byte too short for a string
    locWriter.S0("one");
    locWriter.U1(0);
    locWriter.EndChunk();
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    EXPECT_EQ(locObject->myLayers[0]->myPoints.size(), 3u);
    EXPECT_EQ(locObject->myLayers[0]->myPoints[2].z, 9.0f);
    EXPECT_EQ(locObject->myTags.size(), 1u);
    EXPECT_EQ(locObject->myLayers[0]->myPolygonLists[0].myPolygons.size(), 1u);
    EXPECT_EQ(locObject->myLayers[0]->myPolyVertexMaps[0].myPoints.size(), 1u);
    EXPECT_EQ(locObject->myLayers[0]->myPolygonTagLists[0].myEntries.size(), 1u);
}

TEST(LWO2Chunks, SkippedChunkIDsAreLoggedOnce)
{
    LWO2Writer locWriter;
    for (const char* locId : {"VMPA", "NVSK", "VMPA", "\x01Z\x7f "})
    {
        locWriter.BeginChunk(locId);
        locWriter.EndChunk();
    }
    locWriter.BeginSurface("s");
    locWriter.BeginSubChunk("NODS");
    locWriter.EndSubChunk();
    locWriter.EndSurface();
    DebugLines locLog;
    ASSERT_TRUE(LoadLWBytes(locWriter.GetBytes(), "log.lwo"));
    ASSERT_EQ(locLog.myLines.size(), 1u);
    EXPECT_EQ(locLog.myLines[0], "LoadLWO2: 'log.lwo': skipped unknown chunks VMPA NVSK ?Z?  NODS");
    // Each ID once, the first 32 kept.
    LWO2Writer locMany;
    for (int i = 0; i < 40; i++)
    {
        char locId[5] = {'X', 'Q', (char)('A' + i / 10), (char)('0' + i % 10), 0};
        locMany.BeginChunk(locId);
        locMany.EndChunk();
    }
    auto locManyObject = LoadLWBytes(locMany.GetBytes());
    ASSERT_TRUE(locManyObject);
    ASSERT_EQ(locManyObject->mySkippedChunks.size(), 32u);
    EXPECT_EQ(locManyObject->mySkippedChunks[31], LWID("XQD1"));
    locLog.myLines.clear();
    LWO2Writer locPlain;
    locPlain.Points({{0, 0, 0}});
    ASSERT_TRUE(LoadLWBytes(locPlain.GetBytes()));
    EXPECT_TRUE(locLog.myLines.empty());
}

// The form LightWave itself writes: an image block whose AAST holds the
// flags alone. The object loads and converts as if the strength were there.
TEST(LWO2Chunks, AShortAntialiasingSubChunkLoadsTheObjectWithItsOtherFields)
{
    LWO2Writer locWriter;
    locWriter.Tags({"Wood"});
    locWriter.Layer(0, "crate");
    WriteCube(locWriter);
    std::vector<LWO2Writer::MapEntry> locUVs;
    for (uint32_t p = 0; p < 8; p++)
        locUVs.push_back({p, 0, {(float)(p & 1), (float)((p >> 1) & 1)}});
    locWriter.VertexMap("TXUV", 2, "UV", locUVs);
    locWriter.StillClip(1, "images/wood.tga");
    locWriter.BeginSurface("Wood");
    LWO2Writer::Block locBlock;
    locBlock.myExtra.push_back({"AAST", {0x00, 0x01}});
    locBlock.myExtra.push_back({"PIXB", {0x00, 0x01}});
    locWriter.SurfaceBlock(locBlock);
    locWriter.SurfaceValue("GLOS", 0.5f);
    locWriter.EndSurface();
    const std::string locPath = TestPath("short_aast.lwo");
    ASSERT_TRUE(locWriter.Save(locPath.c_str()));

    DebugLines locLog;
    LWCache::Clear();
    ASSERT_TRUE(FindOrLoadLWObject(locPath.c_str(), 1, false)) << EditorError::GetDetail();
    const LWObject& o = *LWCache::ourObjects[0];
    const LWTextureBlock& b = o.mySurfaces[0]->myBlocks[0];
    EXPECT_EQ(b.myAntialiasingFlags, 1);
    EXPECT_EQ(b.myAntialiasingStrength, 1.0f);
    EXPECT_EQ(b.myPixelBlending, 1);
    EXPECT_EQ(b.myUVMapName, "UV");
    EXPECT_EQ(o.mySurfaces[0]->myGlossiness, 0.5f);
    const LWLayerMesh& m = *LWCache::GetLastMesh();
    ASSERT_EQ(m.myBatches.size(), 1u);
    EXPECT_EQ(m.myBatches[0].GetNumTriangles(), 12u);
    EXPECT_EQ(m.myBatches[0].myTextureNames[0], "IMAGES/WOOD.TGA");
    ASSERT_EQ(locLog.myLines.size(), 1u);
    EXPECT_NE(locLog.myLines[0].find("shorter than their fields AAST"), std::string::npos) << locLog.myLines[0];
    LWCache::Clear();
}

TEST(LWO2Chunks, SizesAreNeverTrusted)
{
    // A chunk that runs past the file.
    LWO2Writer locLong;
    locLong.Points({{1, 2, 3}});
    locLong.PatchLastSize(1000);
    EXPECT_FALSE(LoadLWBytes(locLong.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);

    // A sub-chunk that runs past its surface.
    LWO2Writer locSub;
    locSub.BeginSurface("s");
    locSub.SurfaceValue("DIFF", 1.0f);
    locSub.PatchLastSize(40);
    locSub.EndSurface();
    EXPECT_FALSE(LoadLWBytes(locSub.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);

    // A string without its NUL before the chunk's end, and a PTAG too short for its type.
    LWO2Writer locString;
    locString.BeginChunk("TAGS");
    locString.Bytes("abcd", 4);
    locString.EndChunk();
    EXPECT_FALSE(LoadLWBytes(locString.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);
    LWO2Writer locTag;
    locTag.BeginChunk("PTAG");
    locTag.U2(0);
    locTag.EndChunk();
    EXPECT_FALSE(LoadLWBytes(locTag.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);

    // A polygon chunk too short for its type.
    LWO2Writer locNoType;
    locNoType.BeginChunk("POLS");
    locNoType.U2(0);
    locNoType.EndChunk();
    EXPECT_FALSE(LoadLWBytes(locNoType.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);

    // A polygon whose count word ends the chunk.
    LWO2Writer locPolygon;
    locPolygon.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    locPolygon.BeginChunk("POLS");
    locPolygon.ID4("FACE");
    locPolygon.U2(3);
    locPolygon.EndChunk();
    EXPECT_FALSE(LoadLWBytes(locPolygon.GetBytes()));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO);

    // A form size beyond the file is clipped to it; one short of the file
    // ends the walk early.
    LWO2Writer locForm;
    locForm.Points({{1, 2, 3}});
    std::vector<uint8_t> locBytes = locForm.GetBytes();
    locBytes[4] = 0x7F;
    auto locClipped = LoadLWBytes(locBytes);
    ASSERT_TRUE(locClipped);
    EXPECT_EQ(locClipped->myLayers[0]->myPoints.size(), 1u);
    locBytes[4] = 0;
    locBytes[7] = 4;
    auto locShort = LoadLWBytes(locBytes);
    ASSERT_TRUE(locShort);
    EXPECT_TRUE(locShort->myLayers[0]->myPoints.empty());
    LWO2Writer locTwo;
    locTwo.Points({{1, 2, 3}});
    locTwo.Points({{4, 5, 6}});
    std::vector<uint8_t> locTwoBytes = locTwo.GetBytes();
    locTwoBytes[7] = 4 + 20; // the form ends after the first PNTS chunk
    auto locFirstOnly = LoadLWBytes(locTwoBytes);
    ASSERT_TRUE(locFirstOnly);
    EXPECT_EQ(locFirstOnly->myLayers[0]->myPoints.size(), 1u);
}

TEST(LWO2Chunks, TruncationFailsCleanlyAtEveryCut)
{
    LWO2Writer locWriter;
    locWriter.Tags({"Skin", "Metal"});
    locWriter.Layer(1, "body");
    WriteCube(locWriter);
    locWriter.VertexMap("TXUV", 2, "UV", {{0, 0, {0.5f, 0.5f}}, {1, 0, {1, 0}}});
    locWriter.PolyVertexMap("TXUV", 2, "UV", {{0, 0, {0.1f, 0.2f}}});
    locWriter.StillClip(1, "images/skin.tga");
    locWriter.BeginSurface("Skin");
    locWriter.SurfaceValue("DIFF", 0.8f);
    locWriter.SurfaceBlock({});
    locWriter.EndSurface();
    std::vector<uint8_t> locBytes = locWriter.GetBytes();
    ASSERT_TRUE(LoadLWBytes(locBytes));
    // Chunk boundaries: a cut there loses whole chunks only.
    std::vector<size_t> locBoundaries = {12};
    for (size_t locPos = 12; locPos + 8 <= locBytes.size();)
    {
        uint32_t locSize = (locBytes[locPos + 4] << 24) | (locBytes[locPos + 5] << 16) | (locBytes[locPos + 6] << 8) |
                           locBytes[locPos + 7];
        locPos += 8 + locSize + (locSize & 1);
        locBoundaries.push_back(locPos);
    }
    for (size_t locCut = 0; locCut < locBytes.size(); locCut++)
    {
        std::vector<uint8_t> locPart(locBytes.begin(), locBytes.begin() + locCut);
        auto locObject = LoadLWBytes(locPart);
        bool locAtBoundary = false;
        for (size_t locBoundary : locBoundaries)
            locAtBoundary |= locCut >= locBoundary && locCut < locBoundary + 8;
        if (locAtBoundary)
            EXPECT_TRUE(locObject) << "cut at " << locCut;
        else
        {
            EXPECT_FALSE(locObject) << "cut at " << locCut;
            EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO) << "cut at " << locCut;
        }
    }
}

TEST(LWO2Chunks, LongTextsStayAligned)
{
    LWO2Writer locWriter;
    std::string locLong(300, 'n');
    locWriter.Tags({locLong, "after", std::string(70000, 'm')});
    locWriter.BeginChunk("DESC");
    std::string locDescription(70000, 'd');
    locWriter.Bytes(locDescription.data(), locDescription.size());
    locWriter.EndChunk();
    locWriter.Points({{1, 1, 1}});
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    EXPECT_EQ(locObject->myTags[0].GetLength(), 300);
    EXPECT_EQ(locObject->myTags[1], "after");
    EXPECT_EQ(locObject->myTags[2].GetLength(), 65534);
    EXPECT_EQ(locObject->myLayers[0]->myDescription.GetLength(), 65534);
    EXPECT_EQ(locObject->myLayers[0]->myPoints.size(), 1u);
}

TEST(LWO2Files, TheNameIsUpperCasedAndMapsKeepTheirEntries)
{
    LWO2Writer locWriter;
    locWriter.Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    locWriter.Polygons({{0, 1, 2}});
    locWriter.VertexMap("WGHT", 1, "bone", {{2, 0, {0.5f}}, {0, 0, {0.25f}}});
    locWriter.PolyVertexMap("TXUV", 2, "UV", {{1, 0, {0.5f, 0.75f}}});
    std::string locPath = TestPath("Crate.lwo");
    ASSERT_TRUE(locWriter.Save(locPath.c_str()));
    std::unique_ptr<LWObject> locObject(LoadLWO2(locPath.c_str()));
    ASSERT_TRUE(locObject);
    QC_String locUpper(locPath.c_str());
    locUpper.MakeUpper();
    EXPECT_EQ(locObject->myName, locUpper);
    const LWVertexMap& locMap = locObject->myLayers[0]->myVertexMaps[0];
    EXPECT_EQ(locMap.myType, LWID("WGHT"));
    ASSERT_EQ(locMap.myPoints.size(), 2u);
    EXPECT_EQ(locMap.myPoints[1], 0u);
    EXPECT_EQ(locMap.GetValues(1)[0], 0.25f);
    const LWPolyVertexMap& locCorner = locObject->myLayers[0]->myPolyVertexMaps[0];
    EXPECT_EQ(locCorner.myPoints[0], 1u);
    EXPECT_EQ(locCorner.GetValues(0)[1], 0.75f);
}

TEST(LWO2Surfaces, AnEmptySurfaceKeepsEveryDefault)
{
    LWO2Writer locWriter;
    locWriter.BeginSurface("plain", "src");
    locWriter.BeginSubChunk("FLAG");
    locWriter.U2(1);
    locWriter.EndSubChunk();
    locWriter.EndSurface();
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    const LWSurface& locSurface = *locObject->mySurfaces[0];
    EXPECT_EQ(locSurface.myName, "plain");
    EXPECT_EQ(locSurface.mySourceName, "src");
    EXPECT_EQ(locSurface.myGlossiness, 0.4f);
    EXPECT_EQ(locSurface.mySidedness, 1);
    EXPECT_EQ(locSurface.myAlphaMode, 2);
    EXPECT_EQ(locSurface.myRefractiveIndex, 1.0f);
    uint32_t locBits;
    memcpy(&locBits, &locSurface.mySmoothingAngle, 4);
    EXPECT_EQ(locBits, 0x40C90FF9u);
    EXPECT_EQ(locSurface.myColourEnvelope, LW_NO_ENVELOPE);
    EXPECT_EQ(locSurface.myFirstColourImage, -1);
}

TEST(LWO2Surfaces, SubChunksAndBlocks)
{
    LWO2Writer locWriter;
    locWriter.BeginSurface("s");
    locWriter.SurfaceValue("GLOS", 0.25f);
    locWriter.SurfaceSmoothing(0.5f);
    locWriter.SurfaceU2("ALPH", 1); // size 2: the value stays 0
    locWriter.SurfaceVertexColours("RGBA", "paint");
    locWriter.BeginSubChunk("NODS"); // unknown: skipped
    locWriter.U4(0);
    locWriter.EndSubChunk();
    LWO2Writer::Block locProcedural;
    locProcedural.myType = "PROC";
    locWriter.SurfaceBlock(locProcedural);
    LWO2Writer::Block locFirst;
    locFirst.myImage = 3;
    locFirst.myReferenceObject = "(none)";
    locWriter.SurfaceBlock(locFirst);
    LWO2Writer::Block locSecond;
    locSecond.myImage = 4;
    locSecond.myReferenceObject = "Null";
    locWriter.SurfaceBlock(locSecond);
    locWriter.EndSurface();
    locWriter.BeginSurface("t");
    locWriter.BeginSubChunk("ALPH");
    locWriter.U2(3);
    locWriter.F4(0.75f);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("BLOK");
    locWriter.BeginSubChunk("GRAD");
    locWriter.S0("\x80\x81\x82"); // a long ordinal
    locWriter.BeginSubChunk("OPAC");
    locWriter.U2(7);
    locWriter.F4(0.5f);
    locWriter.VX(0);
    locWriter.EndSubChunk();
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("VALU");
    locWriter.F4(1);
    locWriter.F4(2);
    locWriter.F4(3);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("FKEY");
    for (int i = 0; i < 10; i++)
        locWriter.F4((float)i);
    locWriter.EndSubChunk();
    locWriter.EndSubChunk();
    locWriter.EndSurface();

    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    const LWSurface& s = *locObject->mySurfaces[0];
    EXPECT_EQ(s.myGlossiness, 0.25f);
    EXPECT_EQ(s.mySmoothingAngle, 0.5f);
    EXPECT_EQ(s.myAlphaMode, 1);
    EXPECT_EQ(s.myAlphaValue, 0.0f);
    EXPECT_EQ(s.myVertexColourMapType, LWID("RGBA"));
    EXPECT_EQ(s.myVertexColourMapName, "paint");
    ASSERT_EQ(s.myBlocks.size(), 3u);
    EXPECT_EQ(s.myFirstColourImage, 1);
    EXPECT_EQ(s.myBlocks[1].myImage, 3u);
    EXPECT_EQ(s.myBlocks[1].myReferenceObject, "");
    EXPECT_EQ(s.myBlocks[2].myReferenceObject, "Null");
    EXPECT_EQ(s.myBlocks[1].myProjection, 5);
    EXPECT_EQ(s.myBlocks[1].myUVMapName, "UV");
    EXPECT_EQ(s.myBlocks[1].myChannel, LWID("COLR"));
    const LWSurface& t = *locObject->mySurfaces[1];
    EXPECT_EQ(t.myAlphaMode, 3);
    EXPECT_EQ(t.myAlphaValue, 0.75f);
    ASSERT_EQ(t.myBlocks.size(), 1u);
    EXPECT_EQ(t.myBlocks[0].myOpacityType, 7);
    EXPECT_EQ(t.myBlocks[0].myOpacity, 0.5f);
    EXPECT_EQ(t.myBlocks[0].myNumValues, 3);
    EXPECT_EQ(t.myBlocks[0].myValues[2], 3.0f);
    EXPECT_EQ(t.myBlocks[0].myGradientInputs.size(), 2u);
    EXPECT_EQ(t.myBlocks[0].myGradientOutputs[7], 9.0f);
}

// A surface of one IMAP block with the given header and attributes.
void locWriteBlock(LWO2Writer& w, void (*aHeader)(LWO2Writer&), void (*anAttribute)(LWO2Writer&))
{
    w.BeginSurface("s");
    w.BeginSubChunk("BLOK");
    w.BeginSubChunk("IMAP");
    aHeader(w);
    w.EndSubChunk();
    anAttribute(w);
    w.EndSubChunk();
    w.EndSurface();
}

TEST(LWO2Surfaces, FieldsCrossingTheirChunkFailTheLoad)
{
    typedef void (*Write)(LWO2Writer&);
    const Write locCases[] = {
        [](LWO2Writer& w) {
            w.BeginChunk("SURF");
            w.Bytes("abcd", 4); // a name without its NUL
            w.EndChunk();
        },
        [](LWO2Writer& w) {
            w.BeginChunk("ENVL");
            w.U1(0); // half an index
            w.EndChunk();
        },
        [](LWO2Writer& w) { // a block header larger than its block
            w.BeginSurface("s");
            w.BeginSubChunk("BLOK");
            w.ID4("IMAP");
            w.U2(40);
            w.S0("\x80");
            w.EndSubChunk();
            w.EndSurface();
        },
        [](LWO2Writer& w) { // a header sub-chunk larger than its header
            locWriteBlock(w, [](LWO2Writer& w) {
                w.S0("\x80");
                w.ID4("CHAN");
                w.U2(12);
                w.ID4("COLR");
            }, [](LWO2Writer&) {});
        },
        [](LWO2Writer& w) { // a texture-map sub-chunk larger than its map
            locWriteBlock(w, [](LWO2Writer& w) { w.S0("\x80"); }, [](LWO2Writer& w) {
                w.BeginSubChunk("TMAP");
                w.ID4("CNTR");
                w.U2(30);
                w.VEC12(1, 2, 3);
                w.EndSubChunk();
            });
        },
    };
    int locCase = 0;
    for (Write locWrite : locCases)
    {
        LWO2Writer locWriter;
        locWrite(locWriter);
        EXPECT_FALSE(LoadLWBytes(locWriter.GetBytes())) << "case " << locCase;
        EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_INVALID_LWO) << "case " << locCase;
        locCase++;
    }
}

// A known sub-chunk shorter than its fields keeps the fields that fit and the
// defaults of the rest; the walk goes on at its declared end.
TEST(LWO2Surfaces, SubChunksShorterThanTheirFieldsKeepWhatFits)
{
    struct Case
    {
        const char* myShort;
        void (*myWrite)(LWO2Writer&);
        void (*myCheck)(const LWObject&);
    };
    const Case locCases[] = {
        {"COLR",
         [](LWO2Writer& w) {
             w.BeginSurface("s");
             w.BeginSubChunk("COLR");
             w.VEC12(1, 0.5f, 0.25f); // no envelope index
             w.EndSubChunk();
             w.SurfaceValue("DIFF", 0.75f);
             w.EndSurface();
         },
         [](const LWObject& o) {
             EXPECT_EQ(o.mySurfaces[0]->myColour.z, 0.25f);
             EXPECT_EQ(o.mySurfaces[0]->myColourEnvelope, LW_NO_ENVELOPE);
             EXPECT_EQ(o.mySurfaces[0]->myDiffuse, 0.75f);
         }},
        {"IMAP",
         [](LWO2Writer& w) { locWriteBlock(w, [](LWO2Writer& w) { w.Bytes("ab", 2); }, [](LWO2Writer&) {}); },
         [](const LWObject& o) { EXPECT_EQ(o.mySurfaces[0]->myBlocks.size(), 1u); }},
        {"OREF",
         [](LWO2Writer& w) {
             locWriteBlock(w, [](LWO2Writer& w) { w.S0("\x80"); }, [](LWO2Writer& w) {
                 w.BeginSubChunk("TMAP");
                 w.BeginSubChunk("OREF");
                 w.Bytes("ab", 2);
                 w.EndSubChunk();
                 w.BeginSubChunk("CSYS");
                 w.U2(1);
                 w.EndSubChunk();
                 w.EndSubChunk();
             });
         },
         [](const LWObject& o) {
             EXPECT_EQ(o.mySurfaces[0]->myBlocks[0].myReferenceObject, "");
             EXPECT_EQ(o.mySurfaces[0]->myBlocks[0].myCoordinateSystem, 1);
         }},
        {"IMAG",
         [](LWO2Writer& w) {
             locWriteBlock(w, [](LWO2Writer& w) { w.S0("\x80"); }, [](LWO2Writer& w) {
                 w.BeginSubChunk("IMAG");
                 w.U1(1);
                 w.EndSubChunk();
             });
         },
         [](const LWObject& o) { EXPECT_EQ(o.mySurfaces[0]->myBlocks[0].myImage, LW_NO_IMAGE); }},
        {"LINE",
         [](LWO2Writer& w) {
             w.BeginSurface("s");
             w.BeginSubChunk("LINE");
             w.U2(1);
             w.U2(0); // half a size
             w.EndSubChunk();
             w.EndSurface();
         },
         [](const LWObject& o) {
             EXPECT_EQ(o.mySurfaces[0]->myLineFlags, 1);
             EXPECT_EQ(o.mySurfaces[0]->myLineSize, 0.0f);
         }},
        {"VCOL",
         [](LWO2Writer& w) {
             w.BeginSurface("s");
             w.BeginSubChunk("VCOL");
             w.F4(1);
             w.VX(0);
             w.ID4("RGBA");
             w.Bytes("ab", 2);
             w.EndSubChunk();
             w.EndSurface();
         },
         [](const LWObject& o) {
             EXPECT_EQ(o.mySurfaces[0]->myVertexColourMapType, LWID("RGBA"));
             EXPECT_EQ(o.mySurfaces[0]->myVertexColourMapName, "");
         }},
        {"ANIM",
         [](LWO2Writer& w) {
             w.BeginChunk("CLIP");
             w.U4(1);
             w.BeginSubChunk("ANIM");
             w.S0("a");
             w.S0("b");
             w.U1(0); // half the flags
             w.EndSubChunk();
             w.BeginSubChunk("STIL");
             w.S0("x.tga");
             w.EndSubChunk();
             w.EndChunk();
         },
         [](const LWObject& o) {
             ASSERT_EQ(o.myClips[0]->myItems.size(), 2u);
             EXPECT_EQ(static_cast<const LWClipAnim&>(*o.myClips[0]->myItems[0]).myServerName, "b");
             EXPECT_EQ(static_cast<const LWClipStill&>(*o.myClips[0]->myItems[1]).myFileName, "x.tga");
         }},
        {"TYPE",
         [](LWO2Writer& w) {
             w.BeginChunk("ENVL");
             w.VX(0);
             w.BeginSubChunk("TYPE");
             w.U1(3);
             w.EndSubChunk();
             w.BeginSubChunk("POST");
             w.U2(2);
             w.EndSubChunk();
             w.EndChunk();
         },
         [](const LWObject& o) {
             EXPECT_EQ(o.myEnvelopes[0]->myUserFormat, 3);
             EXPECT_EQ(o.myEnvelopes[0]->myPostBehaviour, 2);
         }},
        {"KEY ",
         [](LWO2Writer& w) {
             w.BeginChunk("ENVL");
             w.VX(0);
             w.BeginSubChunk("KEY ");
             w.F4(1);
             w.EndSubChunk();
             w.EndChunk();
         },
         [](const LWObject& o) { EXPECT_TRUE(o.myEnvelopes[0]->myKeys.empty()); }},
    };
    for (const Case& c : locCases)
    {
        LWO2Writer locWriter;
        c.myWrite(locWriter);
        auto locObject = LoadLWBytes(locWriter.GetBytes());
        ASSERT_TRUE(locObject) << c.myShort;
        EXPECT_EQ(LWChunkIdText(locObject->myShortChunks), c.myShort);
        c.myCheck(*locObject);
    }
}

TEST(LWO2Surfaces, BlockTailsAndUnknownBlockSubChunks)
{
    LWO2Writer locWriter;
    locWriter.BeginSurface("s");
    locWriter.BeginSubChunk("BLOK");
    locWriter.BeginSubChunk("GRAD");
    locWriter.S0("\x81");
    locWriter.BeginSubChunk("XHDR"); // unknown in the header
    locWriter.U2(0);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("CHAN");
    locWriter.ID4("COLR");
    locWriter.EndSubChunk();
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("TMAP");
    locWriter.BeginSubChunk("XMAP"); // unknown in the texture map
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("CSYS");
    locWriter.U2(1);
    locWriter.EndSubChunk();
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("FKEY"); // one key and a 5-byte tail
    for (int i = 0; i < 5; i++)
        locWriter.F4(1.0f + i);
    locWriter.Bytes("\0\0\0\0\0", 5);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("IKEY"); // two values and a 1-byte tail
    locWriter.U2(7);
    locWriter.U2(9);
    locWriter.U1(0);
    locWriter.EndSubChunk();
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("BLOK"); // a header of its ordinal alone
    locWriter.BeginSubChunk("IMAP");
    locWriter.S0("\x82");
    locWriter.EndSubChunk();
    locWriter.EndSubChunk();
    locWriter.EndSurface();
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    const LWSurface& s = *locObject->mySurfaces[0];
    ASSERT_EQ(s.myBlocks.size(), 2u);
    const LWTextureBlock& b = s.myBlocks[0];
    EXPECT_EQ(b.myOrdinal, "\x81");
    EXPECT_EQ(b.myChannel, LWID("COLR"));
    EXPECT_EQ(b.myCoordinateSystem, 1);
    ASSERT_EQ(b.myGradientInputs.size(), 1u);
    EXPECT_EQ(b.myGradientInputs[0], 1.0f);
    ASSERT_EQ(b.myGradientOutputs.size(), 4u);
    EXPECT_EQ(b.myGradientOutputs[3], 5.0f);
    EXPECT_EQ(b.myGradientInterpolations, (std::vector<uint16_t>{7, 9}));
    EXPECT_EQ(s.myBlocks[1].myOrdinal, "\x82");
    EXPECT_EQ(s.myFirstColourImage, -1); // neither a GRAD block nor an IMAP without a channel
}

TEST(LWO2Surfaces, ClipsAndEnvelopes)
{
    LWO2Writer locWriter;
    locWriter.BeginChunk("CLIP");
    locWriter.U4(2);
    locWriter.BeginSubChunk("ISEQ");
    locWriter.U1(3);
    locWriter.U1(0);
    locWriter.U2(1);
    locWriter.U2(0);
    locWriter.U2(1);
    locWriter.U2(9);
    locWriter.S0("frame");
    locWriter.S0(".tga");
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("GAMM");
    locWriter.F4(2.2f);
    locWriter.VX(0);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("XXXX");
    locWriter.EndSubChunk();
    locWriter.EndChunk();
    locWriter.BeginChunk("ENVL");
    locWriter.VX(1);
    locWriter.BeginSubChunk("PRE ");
    locWriter.U2(1);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("KEY ");
    locWriter.F4(0.5f);
    locWriter.F4(2.0f);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("SPAN");
    locWriter.ID4("TCB ");
    locWriter.F4(0);
    locWriter.F4(0);
    locWriter.F4(0);
    locWriter.EndSubChunk();
    locWriter.BeginSubChunk("NAME");
    locWriter.S0("Position.X");
    locWriter.EndSubChunk();
    locWriter.EndChunk();
    auto locObject = LoadLWBytes(locWriter.GetBytes());
    ASSERT_TRUE(locObject);
    const LWClip& locClip = *locObject->myClips[0];
    EXPECT_EQ(locClip.myIndex, 2u);
    ASSERT_EQ(locClip.myItems.size(), 2u);
    EXPECT_EQ(locClip.myItems[0]->myId, LWID("ISEQ"));
    EXPECT_EQ(static_cast<LWClipSequence&>(*locClip.myItems[0]).mySuffix, ".tga");
    EXPECT_EQ(static_cast<LWClipValue&>(*locClip.myItems[1]).myValue, 2.2f);
    const LWEnvelope& locEnvelope = *locObject->myEnvelopes[0];
    EXPECT_EQ(locEnvelope.myIndex, 1u);
    EXPECT_EQ(locEnvelope.myPreBehaviour, 1);
    ASSERT_EQ(locEnvelope.myKeys.size(), 1u);
    EXPECT_EQ(locEnvelope.myKeys[0].myValue, 2.0f);
    EXPECT_EQ(locEnvelope.mySpans[0].myParameters.size(), 3u);
    EXPECT_EQ(locEnvelope.myName, "Position.X");
}

TEST(EditorErrors, TextsAndDetail)
{
    EXPECT_EQ(GetEditorErrorText(0), nullptr);
    EXPECT_EQ(GetEditorErrorText(25), nullptr);
    EXPECT_EQ(GetEditorErrorText(40), nullptr);
    EXPECT_STREQ(GetEditorErrorText(6), "unsupported LW feature (talk to Kol)");
    EXPECT_STREQ(GetEditorErrorText(38), "Couldn't load surface");
    EXPECT_STREQ(GetEditorErrorText(39), "mesh has too many vertices for 16-bit indices");
    SetErrorDetail("%s", "");
    AppendErrorDetail("a");
    AppendErrorDetail("%s", "b");
    EXPECT_STREQ(EditorError::GetDetail(), " a b");
    std::string locLong(400, 'x');
    SetErrorDetail("%s", locLong.c_str());
    EXPECT_EQ(strlen(EditorError::GetDetail()), 255u);
    SetErrorDetail("%s", locLong.c_str() + 200);
    AppendErrorDetail("%s", locLong.c_str());
    EXPECT_EQ(strlen(EditorError::GetDetail()), 255u);
}
} // namespace
