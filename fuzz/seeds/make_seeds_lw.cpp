// Writes the seed corpora of the LightWave readers with our own writers:
// objects (fuzz_lwo), envelope groups and motion files (fuzz_lwenvelope)
// and scenes (fuzz_lwskeys, fuzz_lws: its objects are written by the target).
// Usage: make_seeds_lw <corpus folder>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "seed_file.h"
#include "modeleditor/lw_writer.h"

static std::string ourCorpus;

static void locSeed(const char* aTarget, const char* aName, const void* aData, size_t aSize)
{
    WriteSeed(ourCorpus, aTarget, aName, aData, aSize);
}

static void locObject(const char* aName, const LWO2Writer& aWriter)
{
    std::vector<uint8_t> locBytes = aWriter.GetBytes();
    locSeed("fuzz_lwo", aName, locBytes.data(), locBytes.size());
}

static void locCube(LWO2Writer& aWriter)
{
    aWriter.Points({{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}});
    aWriter.Polygons({{0, 1, 2, 3}, {7, 6, 5, 4}, {0, 4, 5, 1}, {1, 5, 6, 2}, {2, 6, 7, 3}, {3, 7, 4, 0}});
}

static void locObjectSeeds()
{
    LWO2Writer locPlain;
    locPlain.Tags({"Box"});
    locCube(locPlain);
    locPlain.PolygonTags("SURF", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}});
    locPlain.BeginSurface("Box");
    locPlain.SurfaceSmoothing(0.5f);
    locPlain.EndSurface();
    locObject("cube.lwo", locPlain);

    // Two layers, textures on two channels, UV seams, weights and colours.
    LWO2Writer locRich;
    locRich.Tags({"Skin", "Glass"});
    locRich.Layer(1, "body", -1, {0, 1, 0});
    locCube(locRich);
    locRich.PolygonTags("SURF", {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 0}, {5, 1}});
    locRich.PolygonTags("PART", {{0, 0}});
    locRich.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}, {1, 0, {1, 0}}, {2, 0, {1, 1}}, {3, 0, {0, 1}}});
    locRich.VertexMap("WGHT", 1, "Spine", {{0, 0, {0.7f}}, {1, 0, {0.2f}}});
    locRich.VertexMap("RGBA", 4, "Paint", {{2, 0, {1, 0.5f, 0.25f, 1}}});
    locRich.PolyVertexMap("TXUV", 2, "UV", {{0, 2, {0.5f, 0.5f}}});
    locRich.Layer(2, "child", 1);
    locRich.Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {70000, 0, 0}});
    locRich.Polygons({{0, 1, 2}});
    locRich.PolygonTags("SURF", {{0, 1}});
    locRich.StillClip(1, "C:IMAGES/SKIN.TGA");
    locRich.StillClip(2, "images\\glass_alpha.tga");
    locRich.BeginSurface("Skin");
    locRich.SurfaceValue("DIFF", 0.8f);
    locRich.SurfaceVertexColours("RGBA", "Paint");
    locRich.SurfaceBlock({});
    locRich.EndSurface();
    locRich.BeginSurface("Glass");
    LWO2Writer::Block locColour;
    locRich.SurfaceBlock(locColour);
    LWO2Writer::Block locAlpha;
    locAlpha.myChannel = "TRNL";
    locAlpha.myImage = 2;
    locRich.SurfaceBlock(locAlpha);
    LWO2Writer::Block locBump;
    locBump.myChannel = "BUMP";
    locBump.myReferenceObject = "Null";
    locRich.SurfaceBlock(locBump);
    locRich.EndSurface();
    locObject("layers_textures_maps.lwo", locRich);

    // Envelopes, clip kinds, an unknown chunk and descriptions.
    LWO2Writer locOther;
    locOther.BeginChunk("VMPA");
    locOther.Bytes("abc", 3);
    locOther.EndChunk();
    locOther.BeginChunk("ENVL");
    locOther.VX(1);
    locOther.BeginSubChunk("TYPE");
    locOther.U1(0);
    locOther.U1(3);
    locOther.EndSubChunk();
    locOther.BeginSubChunk("KEY ");
    locOther.F4(0);
    locOther.F4(1);
    locOther.EndSubChunk();
    locOther.BeginSubChunk("SPAN");
    locOther.ID4("TCB ");
    locOther.F4(0);
    locOther.F4(0);
    locOther.F4(0);
    locOther.EndSubChunk();
    locOther.EndChunk();
    locOther.BeginChunk("CLIP");
    locOther.U4(3);
    locOther.BeginSubChunk("ISEQ");
    locOther.Bytes("\3\0\0\0\0\0\0\1\0\x09", 10);
    locOther.S0("frame");
    locOther.S0(".tga");
    locOther.EndSubChunk();
    locOther.BeginSubChunk("GAMM");
    locOther.F4(2.2f);
    locOther.VX(0);
    locOther.EndSubChunk();
    locOther.EndChunk();
    locOther.BeginChunk("DESC");
    locOther.S0("a description");
    locOther.EndChunk();
    locCube(locOther);
    locOther.Polygons({{0, 1, 2, 3}}, "PTCH");
    locObject("envelope_clips_unknown.lwo", locOther);

    // A surface naming its colour map as RGB over a map stored as RGBA, and a texture.
    LWO2Writer locColours;
    locColours.Tags({"Paint"});
    locCube(locColours);
    locColours.PolygonTags("SURF", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}});
    locColours.VertexMap("RGBA", 4, "Vertex Color 0", {{0, 0, {0.8f, 0.3f, 1, 0}}, {6, 0, {0.4f, 0, 0.1f, 0}}});
    locColours.VertexMap("TXUV", 2, "UV", {{0, 0, {0, 0}}, {6, 0, {1, 1}}});
    locColours.StillClip(1, "white.bmp");
    locColours.BeginSurface("Paint");
    locColours.SurfaceVertexColours("RGB ", "Vertex Color 0");
    locColours.SurfaceBlock({});
    locColours.EndSurface();
    locObject("rgb_surface_over_rgba_map.lwo", locColours);
}

static std::vector<std::vector<LWTextKey>> locChannels(int aCount, int aShape)
{
    std::vector<std::vector<LWTextKey>> locResult(aCount);
    for (int c = 0; c < aCount; c++)
        for (int k = 0; k < (c % 2 ? 1 : 3); k++)
        {
            LWTextKey locKey;
            locKey.myValue = (float)(c + k);
            locKey.myTime = 0.5f * k;
            locKey.myShape = aShape;
            locResult[c].push_back(locKey);
        }
    return locResult;
}

static void locText(const char* aTarget, const char* aName, char aMode, const LWSceneText& aText)
{
    std::string locData = aMode ? std::string(1, aMode) + aText.GetText() : aText.GetText();
    locSeed(aTarget, aName, locData.data(), locData.size());
}

static void locEnvelopeSeeds()
{
    LWSceneText locMotion;
    locMotion.MotionHeader().Envelope(locChannels(9, 0), true, 1, 2);
    locText("fuzz_lwenvelope", "motion_file.mot", 0, locMotion);
    LWSceneText locGroup;
    locGroup.Envelope(locChannels(9, 3), true);
    locText("fuzz_lwenvelope", "motion_group.txt", 1, locGroup);
    LWSceneText locRange;
    locRange.Envelope(locChannels(1, 4), false);
    locText("fuzz_lwenvelope", "range.txt", 2, locRange);
    LWSceneText locColour;
    locColour.Envelope(locChannels(3, 1), false, 2, 2);
    locText("fuzz_lwenvelope", "colour.txt", 3, locColour);
}

static void locSceneSeeds()
{
    std::vector<std::vector<LWTextKey>> locMismatched = locChannels(9, 3);
    locMismatched[2] = locMismatched[0];
    locMismatched[2][1].myTime = 0.75f;
    LWSceneText locScene;
    locScene.SceneHeader().Line("FramesPerSecond 30").Line("LoadObjectLayer 1 cube.lwo").Line("ObjectMotion");
    locScene.Envelope(locMismatched, true);
    locScene.Line("AddBone").Line("BoneName Spine").Line("BoneMotion").Envelope(locChannels(9, 3), true);
    locScene.Line("AddLight").Line("LightName Sun").Line("LightMotion").Envelope(locMismatched, true);
    locScene.Line("LightColor 1 1 1").Line("AddCamera").Line("CameraName Eye").Line("CameraMotion");
    locScene.Envelope(locChannels(6, 0), true);
    locText("fuzz_lwskeys", "scene.lws", 0, locScene);

    // Scene reader seeds over the target's own "box.lwo" and "box_LOD2.lwo".
    LWSceneText locFull;
    locFull.SceneHeader().Line("PreviewFirstFrame 0").Line("PreviewLastFrame 60").Line("FramesPerSecond 30");
    locFull.Line("LoadObjectLayer 1 box.lwo").Line("PivotPosition 0 1 0").Line("ObjectMotion");
    locFull.Envelope(locChannels(9, 3), true);
    locFull.Line("AddBone").Line("BoneName Root").Line("ShowBone 1 3").Line("BoneRestPosition 0 1 0");
    locFull.Line("BoneRestDirection 0 90 0").Line("BoneRestLength 0.5").Line("BoneWeightMapName Weight");
    locFull.Line("BoneWeightMapOnly 1").Line("BoneNormalization 1").Line("BoneStrength 1").Line("ScaleBoneStrength 1");
    locFull.Line("ParentItem 10000000").Line("BoneMotion").Envelope(locChannels(9, 0), true);
    locFull.Line("AddBone").Line("BoneName Tip").Line("ParentItem 40000000").Line("BoneActive 1");
    locFull.Line("AddNullObject Null").Line("ParentItem 40010000").Line("AddNullObject Null");
    locFull.Line("AddNullObject PE_Smoke").Line("ParentItem 10000001");
    locFull.Line("AddLight").Line("LightName Sun").Line("ParentItem 10000000").Line("LightColor (envelope)");
    locFull.Envelope(locChannels(3, 1), false).Line("LightRange (envelope)").Envelope(locChannels(1, 4), false);
    locFull.Line("LightIntensity 0.5").Line("LightType 2").Line("LightConeAngle 30").Line("LightEdgeAngle 5");
    locFull.Line("LightMotion").Envelope(locChannels(9, 3), true);
    locFull.Line("AddLight").Line("LightName Loose").Line("LightRange 4").Line("AddCamera");
    locText("fuzz_lws", "scene.lws", 0, locFull);
    LWSceneText locSmall;
    locSmall.SceneHeader().Line("LoadObjectLayer 1 D:box.lwo").Line("AddNullObject pe_Dust");
    locSmall.Line("ParentItem 10000000").Line("AddLight").Line("ParentItem 40000000");
    locText("fuzz_lws", "small.lws", 0, locSmall);
    // Two objects, the second below the first's bone, and a point light on it.
    LWSceneText locNested;
    locNested.SceneHeader().Line("LoadObjectLayer 1 box.lwo").Line("AddBone").Line("BoneName A");
    locNested.Line("BoneWeightMapName Weight").Line("ParentItem 10000000").Line("AddBone").Line("BoneName B");
    locNested.Line("ParentItem 40000000").Line("LoadObjectLayer 1 box_LOD2.lwo").Line("ParentItem 40010000");
    locNested.Line("PivotPosition 1 0 0").Line("AddLight").Line("LightType 1").Line("ParentItem 10000001");
    locText("fuzz_lws", "nested.lws", 0, locNested);
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_seeds_lw <corpus folder>\n");
        return 2;
    }
    ourCorpus = argv[1];
    mkdir(ourCorpus.c_str(), 0755);
    locObjectSeeds();
    locEnvelopeSeeds();
    locSceneSeeds();
    return 0;
}
