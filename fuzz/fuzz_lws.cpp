// The LightWave scene reader and, where the renderer is built, the whole
// scene load into a template on the recording device: the input is a scene
// file on disk beside the writer-made objects its seeds load ("box.lwo",
// "box_LOD2.lwo"). Afterwards no template or mesh may be left.
#include <cstdint>
#include <cstdlib>

#include "fuzz_util.h"
#include "modeleditor/lw_scene.h"
#include "modeleditor/lw_writer.h"
#ifdef FUZZ_LWS_TEMPLATES
#include "fuzz_render.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/qrendereditor.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_templateobject.h"
#endif

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
#ifdef FUZZ_LWS_TEMPLATES
    FuzzRenderer();
    QR_TemplateObject* locTemplate = QR_TemplateObject::Create("fuzz");
    if (!locTemplate)
        abort();
    LWBuildSettings locSettings;
    std::vector<QRenderEditorBoneLine> locLines;
    bool locResult = LoadLWS(locTemplate, locName.c_str(), 0x53544E44, &locLines, locSettings);
    if (locResult)
    {
        ComputeTemplateBounds(locTemplate);
        if (locLines.size() != locTemplate->myNumParts)
            abort();
    }
    locTemplate->Release();
    if (QR_TemplateObject::ourNumTemplates != 0 || QR_Mesh::ourFirst)
        abort();
    return 0;
#else
    LWScene locScene;
    bool locResult = ReadLWScene(locName.c_str(), &locScene);
    LWCache::Clear();
    return locResult && locScene.myItems.size() == size_t(-1);
#endif
}
