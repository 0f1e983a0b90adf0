// The LightWave scene reader: the input is a scene file on disk beside the
// writer-made objects its seeds load ("box.lwo", "box_LOD2.lwo").
#include <cstdint>

#include "fuzz_util.h"
#include "modeleditor/lw_scene.h"
#include "modeleditor/lw_writer.h"

namespace
{
void locWriteObjects()
{
    static bool ourWritten = false;
    if (ourWritten)
        return;
    ourWritten = true;
    // The objects the seeds name; a scene may also name the objects it is not.
    for (const char* locName : {"box.lwo", "box_LOD2.lwo"})
    {
        LWO2Writer w;
        w.Tags({"Default"});
        w.Layer(0, "body");
        w.Points({{-1, 0, -1}, {1, 0, -1}, {1, 2, -1}, {-1, 2, 1}});
        w.Polygons({{0, 1, 2}, {0, 2, 3}});
        w.PolygonTags("SURF", {{0, 0}, {1, 0}});
        w.VertexMap("WGHT", 1, "Weight", {{0, 0, {1.0f}}, {1, 0, {0.5f}}});
        w.BeginSurface("Default");
        w.EndSurface();
        const std::vector<uint8_t> locBytes = w.GetBytes();
        FuzzScratch::Write(locName, locBytes.data(), locBytes.size());
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    locWriteObjects();
    const std::string locName = FuzzScratch::Write("fuzz.lws", aData, aSize);
    FuzzScratch::Inside locInside;
    LWScene locScene;
    bool locResult = ReadLWScene(locName.c_str(), &locScene);
    LWCache::Clear();
    return locResult && locScene.myItems.size() == size_t(-1);
}
