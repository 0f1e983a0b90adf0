// model_bench: acquires every ".qrb" model and makes a bitmap of every ".dds" file of a
// folder (its data root), then renders every placed object (animated, with its emitters)
// and bitmap in a grid of views for FRAMES frames. Baselines in the same run: the same
// files read whole with plain reads (load overhead), and the same meshes drawn straight
// through their vertex-shader kinds (render overhead), each printed as a ratio.
// Usage: model_bench DIR [FRAMES=100] [WIDTH=800] [HEIGHT=600]
#include "bench/bench_args.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "qinput/qi_time.h"
#include "qrender/qr_bitmap.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_vertexshader.h"
#include "qrender/qr_view.h"

namespace
{

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Cell
{
    QR_View* myView;
    QR_MainObject* myObject;
    QR_Bitmap* myBitmap;
};

} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: model_bench DIR [FRAMES=100] [WIDTH=800] [HEIGHT=600]\n");
    const std::vector<const char*> locRest = locArgs.Operands(1, 4);
    const int locFrames = locRest.size() > 1 ? locArgs.Int("FRAMES", locRest[1], 1, 100000000) : 100;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = locRest.size() > 2 ? locArgs.Int("WIDTH", locRest[2], 16, 16384) : 800;
    s.myHeight = locRest.size() > 3 ? locArgs.Int("HEIGHT", locRest[3], 16, 16384) : 600;
    if (chdir(locRest[0]) != 0)
    {
        fprintf(stderr, "model_bench: no folder %s\n", locRest[0]);
        return 1;
    }
    std::vector<std::string> locModels, locImages;
    for (const auto& e : std::filesystem::recursive_directory_iterator("."))
    {
        if (!e.is_regular_file())
            continue;
        std::string p = e.path().lexically_normal().string(), x = e.path().extension().string();
        std::transform(x.begin(), x.end(), x.begin(), ::tolower);
        if (x == ".qrb")
            locModels.push_back(p);
        else if (x == ".dds")
            locImages.push_back(p);
    }
    std::sort(locModels.begin(), locModels.end());
    std::sort(locImages.begin(), locImages.end());
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "model_bench: no renderer (error %u)\n", QR_Error::ourCode);
        return 1;
    }
    QR_Render* r = QR_Render::ourInstance;

    // Loading, against reading the same files whole.
    double locBytes = 0;
    std::vector<std::vector<char>> locRaw;
    double t0 = Now();
    for (const std::vector<std::string>* l : {&locModels, &locImages})
        for (const std::string& n : *l)
            if (FILE* f = fopen(n.c_str(), "rb"))
            {
                std::vector<char> b(std::filesystem::file_size(n));
                if (!b.empty() && fread(b.data(), 1, b.size(), f) != b.size())
                    b.clear();
                fclose(f);
                locBytes += (double)b.size();
                locRaw.push_back(std::move(b));
            }
    double locPlain = Now() - t0;
    locRaw.clear();
    std::vector<Cell> locCells;
    int locFailed = 0;
    t0 = Now();
    for (const std::string& n : locModels)
    {
        QR_MainObject* o = QR_MainObject::Create(n.c_str());
        if (!o)
        {
            printf("Failed to load '%s', error: %u\n", n.c_str(), QR_Error::ourCode);
            locFailed++;
            continue;
        }
        o->myColor = 0xFFFFFFFF;
        locCells.push_back({nullptr, o, nullptr});
    }
    double locModelTime = Now() - t0;
    t0 = Now();
    for (const std::string& n : locImages)
    {
        std::string locName = n.substr(0, n.size() - 4);
        QR_Bitmap* b = QR_Bitmap::Create(locName.c_str(), true);
        if (!b)
        {
            printf("Failed to load '%s', error: %u\n", n.c_str(), QR_Error::ourCode);
            locFailed++;
            continue;
        }
        locCells.push_back({nullptr, nullptr, b});
    }
    double locLoad = locModelTime + (Now() - t0);
    printf("files %zu (%zu models, %zu images, %d failed), %.2f MB\n", locModels.size() + locImages.size(),
           locModels.size(), locImages.size(), locFailed, locBytes / 1e6);
    printf("load: %.3f ms per model, %.1f MB/s; plain reads %.1f MB/s; load/plain %.1f\n",
           locModels.empty() ? 0.0 : 1e3 * locModelTime / (double)locModels.size(), locBytes / 1e6 / locLoad,
           locBytes / 1e6 / std::max(locPlain, 1e-9), locLoad / std::max(locPlain, 1e-9));

    // A grid of cells, one view each, as the browser lays them out.
    const int locColumns = std::max(1, (int)ceil(sqrt((double)locCells.size())));
    const int locRows = std::max(1, ((int)locCells.size() + locColumns - 1) / locColumns);
    const int w = s.myWidth / locColumns, h = s.myHeight / locRows;
    for (size_t i = 0; i < locCells.size(); i++)
    {
        Cell& c = locCells[i];
        c.myView = new QR_View(256, nullptr, 256);
        c.myView->myCamera.SetViewport((int)(i % locColumns) * w, (int)(i / locColumns) * h, w, h);
        float locRadius = c.myObject ? c.myObject->myTemplate->GetBoundRadius() : 1.0f;
        c.myView->myCamera.myMatrix.SetTranslation(0, 0.5f, -3.0f * locRadius - 1.0f);
    }
    auto locFrame = [&](int aFrame)
    {
        QI_Time::ourFrameTime = 0.02f;
        QI_Time::ourTime = 0.02f * (float)aFrame;
        QR_Render::ourStats.ResetFrame();
        r->BeginFrame();
        for (Cell& c : locCells)
        {
            c.myView->MakeCurrent();
            c.myView->BeginRender(true, 0x203040);
            if (c.myObject)
            {
                if (aFrame % 100 == 50) // now and then into another state
                    c.myObject->SetState(aFrame % 200 == 50 ? 'W' << 24 | 'A' << 16 | 'L' << 8 | 'K'
                                                            : 'J' << 24 | 'U' << 16 | 'M' << 8 | 'P');
                c.myObject->UpdateIfShown();
                if (c.myObject->IsVisible())
                    c.myObject->Render();
            }
            c.myView->EndRender();
            if (c.myBitmap)
                QR_Bitmap::DrawUnscaled(c.myBitmap, 0, 0, 0, 0, w < c.myBitmap->myWidth ? w : 0,
                                        h < c.myBitmap->myHeight ? h : 0);
        }
        r->EndFrame();
    };
    locFrame(0);
    double locParts = 0, locParticles = 0;
    t0 = Now();
    for (int f = 1; f <= locFrames; f++)
    {
        locFrame(f);
        locParts += QR_Render::ourStats.myDrawnParts;
        locParticles += QR_Render::ourStats.myParticles;
    }
    double locRender = Now() - t0;
    printf("render: %d frames, %zu cells: %.1f frames/s, %.0f parts/s, %.0f particles/s\n", locFrames,
           locCells.size(), locFrames / locRender, locParts / locRender, locParticles / locRender);

    // The same meshes straight through their kinds, one draw each, at their last matrices.
    std::vector<QR_PartInstance*> locParts2;
    for (Cell& c : locCells)
        if (c.myObject)
            for (uint32_t i = 0; i < c.myObject->myNumPartInstances; i++)
                if (c.myObject->myPartInstances[i].myMesh &&
                    c.myObject->myPartInstances[i].myMesh->myCompiledVertexShader)
                    locParts2.push_back(&c.myObject->myPartInstances[i]);
    t0 = Now();
    for (int f = 1; f <= locFrames; f++)
    {
        r->BeginFrame();
        for (size_t i = 0; i < locCells.size(); i++)
        {
            locCells[i].myView->MakeCurrent();
            locCells[i].myView->BeginRender(true, 0x203040);
        }
        QR_RenderStates locDefault;
        r->SetRenderStates(&locDefault, (uint32_t)-5);
        QR_LightSet* locLights =
            locCells.empty() ? nullptr : locCells[0].myView->MakeLightSet(0, 0, 0, 1.0f, 0xFFFFFFFF);
        for (QR_PartInstance* p : locParts2)
        {
            QR_Mesh* m = p->myMesh;
            m->myVertexShader->Begin(m->myCompiledVertexShader);
            QR_VertexShader::ourWorldMatrix = &p->myMatrix;
            r->SetSurface(p->mySurfaceInstance, 0xFFFFFFFF, 0.0f);
            m->myDataBlock.myLightData = locLights;
            m->myVertexShader->SetDataBlock(&m->myDataBlock);
            m->myVertexShader->Draw(m, 0.0f, 0.0f);
        }
        QR_VertexShader::ourWorldMatrix = nullptr;
        r->EndFrame();
    }
    double locDirect = Now() - t0;
    printf("direct: %zu meshes through their kinds: %.1f frames/s; render/direct %.2f\n", locParts2.size(),
           locFrames / locDirect, locRender / std::max(locDirect, 1e-9));

    for (Cell& c : locCells)
    {
        delete c.myObject;
        delete c.myBitmap;
        delete c.myView;
    }
    QR_Render::Destroy();
    return 0;
}
