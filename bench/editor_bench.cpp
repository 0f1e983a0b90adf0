// Frames of the model editor's scene (grid, a generated model of about 10,000
// triangles, bone overlay, statistics counters) on the OpenGL device, beside
// the renderer drawing the same placed object alone in the same run.
//   editor_bench [frames]
#include "bench/bench_args.h"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/input/in_script.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_render.h"
#include "qrender/qr_view.h"

namespace
{

// A 71 x 71 quad sheet: 5,041 vertices, 9,800 triangles.
QRB_TestMesh locSheet()
{
    QRB_TestMesh m;
    const int n = 71;
    std::vector<float> v;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++)
            v.insert(v.end(), {x / 35.0f - 1.0f, y / 35.0f, 0.0f, 0, 0, -1, x / 70.0f, y / 70.0f});
    for (int y = 0; y + 1 < n; y++)
        for (int x = 0; x + 1 < n; x++)
        {
            uint16_t a = (uint16_t)(y * n + x), b = (uint16_t)(a + 1), c = (uint16_t)(a + n), d = (uint16_t)(c + 1);
            for (uint16_t i : {a, c, b, b, c, d})
                m.myIndices.push_back(i);
        }
    m.myVertices = QRB_TestVertices(v);
    m.myNumVertices = (uint32_t)(n * n);
    m.myRadius = 1.5f;
    m.mySettings[1] = 0;
    QRB_TestLevel l;
    l.myNumVertices = m.myNumVertices;
    l.myNumIndices = (uint32_t)m.myIndices.size();
    m.myLevels = {l};
    return m;
}

double locSeconds(std::chrono::steady_clock::time_point aStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: editor_bench [FRAMES=300]\n");
    const std::vector<const char*> locRest = locArgs.Operands(0, 1);
    const int locFrames = locRest.empty() ? 300 : locArgs.Int("FRAMES", locRest[0], 1, 100000000);
    std::string locDir = std::filesystem::temp_directory_path().string() + "/editor_bench." + std::to_string(getpid());
    std::filesystem::create_directories(locDir);
    if (chdir(locDir.c_str()) != 0)
        return 1;
    IN_Script locScript;
    locScript.AddKeyboard();
    locScript.SetFocusWindow(true);
    if (!QRenderEditor::Create())
    {
        fprintf(stderr, "editor_bench: the scene did not start\n");
        return 1;
    }
    QRenderEditor* e = QRenderEditor::ourInstance;
    QRB_TestModel m = MET_BoxModel();
    m.myRadius = 3.0f;
    m.myParts[0].myMesh = locSheet();
    m.myParts[0].myMeshName = "sheet";
    QR_TemplateObject* t = MET_LoadModel(m, "sheet.qrb");
    if (!t || !e->SetModel(t, "STND"))
    {
        fprintf(stderr, "editor_bench: the model did not load\n");
        return 1;
    }
    e->SetObjectColor(0, 0x808080);
    QRenderEditorBoneLine l[2] = {{1.0f, 0xFFFF0000}, {1.0f, 0xFF00FF00}};
    e->SetBoneLines(l, 2);
    e->myBoneOverlay = true;
    e->Render();

    auto locStart = std::chrono::steady_clock::now();
    for (int i = 0; i < locFrames; i++)
        e->Render();
    double locScene = locSeconds(locStart);

    // The baseline: the same instance drawn through the same view, nothing else.
    QR_Render* r = QR_Render::ourInstance;
    QR_View* v = e->GetView();
    QR_MainObject* o = e->GetInstance();
    locStart = std::chrono::steady_clock::now();
    for (int i = 0; i < locFrames; i++)
    {
        r->BeginFrame();
        v->BeginRender(true, 0);
        v->MakeCurrent();
        r->SetView(v);
        o->Update(o->myMatrix);
        o->Render();
        v->EndRender();
        r->EndFrame();
    }
    double locAlone = locSeconds(locStart);
    printf("editor_bench: %d frames, model %u triangles\n", locFrames, 9800u);
    printf("  scene (grid, model, bones, counters): %.1f frames/s\n", locFrames / locScene);
    printf("  placed object alone (baseline):       %.1f frames/s\n", locFrames / locAlone);
    printf("  scene / baseline time ratio:          %.2f\n", locScene / locAlone);
    QRenderEditor::Destroy();
    std::filesystem::remove_all(locDir);
    return 0;
}
