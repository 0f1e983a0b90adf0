// Writer-made LightWave files for the command and export tests, written into
// the current folder: "hull.lwo" (four quads in a textured and a plain
// surface) with two further levels of detail, "arm.lwo" (a bar weighted to two
// maps) and "ship.lws": the arm with two bones, the hull below it, an emitter
// and lights of types 0, 1 and 2 (a spot).
#pragma once

#include <string>
#include <vector>

#include "modeleditor/lw_writer.h"

// aQuads quads side by side along x in two surfaces: "Stone" textured with
// textures/stone through the UV map, "Plain" without a texture.
inline bool MET_WriteHull(const std::string& aPath, uint32_t aQuads)
{
    LWO2Writer w;
    w.Tags({"Stone", "Plain"});
    w.Layer(0, "hull");
    std::vector<LWVec3> p;
    std::vector<LWO2Writer::MapEntry> uv;
    std::vector<std::vector<uint32_t>> q;
    std::vector<std::pair<uint32_t, uint16_t>> tags;
    for (uint32_t k = 0; k < aQuads; k++)
    {
        for (uint32_t c = 0; c < 4; c++)
        {
            float x = (float)k + (c == 1 || c == 2 ? 1.0f : 0.0f), y = c >= 2 ? 1.0f : 0.0f;
            uv.push_back({(uint32_t)p.size(), 0, {x / (float)aQuads, y}});
            p.push_back({x, y, 0});
        }
        q.push_back({4 * k, 4 * k + 1, 4 * k + 2, 4 * k + 3});
        tags.push_back({k, (uint16_t)(k % 2)});
    }
    w.Points(p);
    w.Polygons(q);
    w.PolygonTags("SURF", tags);
    w.VertexMap("TXUV", 2, "UV", uv);
    w.StillClip(1, "textures/stone.tga");
    w.BeginSurface("Stone");
    LWO2Writer::Block b;
    b.myImage = 1;
    w.SurfaceBlock(b);
    w.EndSurface();
    w.BeginSurface("Plain");
    w.EndSurface();
    return w.Save(aPath.c_str());
}

// A bar along x, its first half weighted to "W1", the second to "W2".
inline bool MET_WriteArm(const std::string& aPath)
{
    LWO2Writer w;
    w.Tags({"Arm"});
    w.Layer(0, "arm");
    std::vector<LWVec3> p;
    std::vector<LWO2Writer::MapEntry> w1, w2;
    for (uint32_t k = 0; k < 3; k++)
        for (uint32_t c = 0; c < 2; c++)
        {
            uint32_t n = (uint32_t)p.size();
            p.push_back({(float)k, (float)c * 0.4f, 0});
            (k == 0 ? w1 : w2).push_back({n, 0, {1.0f}});
        }
    w.Points(p);
    w.Polygons({{0, 2, 3, 1}, {2, 4, 5, 3}});
    w.PolygonTags("SURF", {{0, 0}, {1, 0}});
    w.VertexMap("WGHT", 1, "W1", w1);
    w.VertexMap("WGHT", 1, "W2", w2);
    w.BeginSurface("Arm");
    w.EndSurface();
    return w.Save(aPath.c_str());
}

inline bool MET_WriteShipFiles()
{
    if (!MET_WriteHull("hull.lwo", 4) || !MET_WriteHull("hull_LOD2.lwo", 2) || !MET_WriteHull("hull_LOD3.lwo", 1) ||
        !MET_WriteArm("arm.lwo"))
        return false;
    LWSceneText s;
    s.SceneHeader()
        .Line("LoadObjectLayer 1 arm.lwo")
        .Line("AddBone")
        .Line("BoneName Root")
        .Line("BoneRestLength 1")
        .Line("BoneWeightMapName W1")
        .Line("ParentItem 10000000")
        .Line("AddBone")
        .Line("BoneName Tip")
        .Line("BoneRestLength 1")
        .Line("BoneWeightMapName W2")
        .Line("ParentItem 40000000")
        .Line("LoadObjectLayer 1 hull.lwo")
        .Line("ParentItem 10000000")
        .Line("AddNullObject PE_fx/sparks")
        .Line("ParentItem 10000001")
        .Line("AddLight")
        .Line("LightName Sun")
        .Line("LightType 0")
        .Line("ParentItem 10000001")
        .Line("AddLight")
        .Line("LightName Lamp")
        .Line("LightType 1")
        .Line("LightRange 5")
        .Line("ParentItem 10000001")
        .Line("AddLight")
        .Line("LightName Spot")
        .Line("LightType 2")
        .Line("LightConeAngle 30")
        .Line("LightEdgeAngle 5")
        .Line("ParentItem 40010000");
    return s.Save("ship.lws");
}
