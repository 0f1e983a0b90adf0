// tessaly_bench: the model browser end to end in-process, with its real window (offscreen
// under the test environment): the time until the last entry of a folder is handled (one
// file a frame, the grid drawn each frame, the program's 0.1 s pause between loads left
// out by a frame clock of 1/9 s) and the mean frame time of the full grid. Baseline in the same
// run, as bench/model_bench draws: the same files loaded in the same order with a frame of
// the cells loaded so far after each, then the same cells in a grid of views: no window,
// no labels, no loop.
// Usage: tessaly_bench DATAROOT [FOLDER=models] [FRAMES=200]
#include "bench/bench_args.h"
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/ui/ui_app.h"
#include "qinput/qi_time.h"
#include "qrender/qr_bitmap.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_render.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_view.h"
#include "tessaly/main.h"

namespace
{

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Cell
{
    QR_View* myView = nullptr;
    QR_MainObject* myObject = nullptr;
    QR_Bitmap* myBitmap = nullptr;
};

bool locEnds(const std::string& aName, const char* anExtension)
{
    return aName.size() >= 4 && strcasecmp(aName.c_str() + aName.size() - 4, anExtension) == 0;
}

// One baseline frame: the cells' views cleared, each model or bitmap drawn.
void locBaselineFrame(std::vector<Cell>& aCells, int aShown)
{
    QR_Render* r = QR_Render::ourInstance;
    QI_Time::ourTime += 0.02f;
    QR_Render::ourStats.ResetFrame();
    r->BeginFrame();
    QR_Rect locAll = {0, 0, r->myRenderSettings.myWidth, r->myRenderSettings.myHeight};
    r->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER | QR_CLEAR_STENCIL, 0x7F7F7F, 1.0f, 127);
    for (int i = 0; i < aShown && i < (int)aCells.size(); i++)
    {
        Cell& c = aCells[(size_t)i];
        c.myView->MakeCurrent();
        r->SetView(c.myView);
        c.myView->BeginRender(true, 0x5F5F5F);
        if (c.myBitmap)
            QR_Bitmap::Draw(c.myBitmap, 5, 5, VIEWER_VIEW_WIDTH - 5, VIEWER_VIEW_HEIGHT - 5, 0, 0, 0, 0);
        if (c.myObject)
        {
            Matrix44 m;
            m.SetIdentity();
            c.myObject->Update(m);
            c.myObject->Render();
        }
        c.myView->EndRender();
    }
    r->EndFrame();
}

} // namespace

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: tessaly_bench DATAROOT [FOLDER=models] [FRAMES=200]\n");
    const std::vector<const char*> locRest = locArgs.Operands(1, 3);
    if (chdir(locRest[0]) != 0)
        locArgs.Refuse((std::string("no folder ") + locRest[0]).c_str());
    std::string locFolder = locRest.size() > 1 ? locRest[1] : "models";
    const int locFrames = locRest.size() > 2 ? locArgs.Int("FRAMES", locRest[2], 1, 100000000) : 200;
    UI_Init(&argc, argv);

    // The program: once untimed, so that neither side pays the first start (shaders, file
    // cache), then measured.
    char locName[] = "Tessaly";
    char* locArgv[] = {locName, locFolder.data(), nullptr};
    for (int locRun = 0; locRun < 2; locRun++)
    {
        if (ViewerStartUp(2, locArgv, TESSALY_FONT_DIR) != 0)
        {
            fprintf(stderr, "tessaly_bench: the browser did not start\n");
            return 1;
        }
        if (locRun == 1)
            break;
        QI_Time::GetInstance()->SetMaxFrameRate(9.0f);
        while (ourViewer.myLoadCursor < (int)ourViewer.myEntries.size() && ViewerFrame())
            UI_DispatchMessages(false);
        ViewerShutDown();
    }
    std::vector<std::string> locFiles; // the entries in the program's order, folders as ""
    for (const ViewerEntry& e : ourViewer.myEntries)
        locFiles.push_back(e.myFlag ? std::string() : std::string(e.myName.GetBuffer()));
    const int locEntries = (int)locFiles.size();
    int locLoadFrames = 0;
    // Each frame counts as 1/9 s on the program's clock: past the pause between loads.
    QI_Time::GetInstance()->SetMaxFrameRate(9.0f);
    double t0 = Now();
    while (ourViewer.myLoadCursor < locEntries)
    {
        UI_DispatchMessages(false);
        if (!ViewerFrame())
            break;
        locLoadFrames++;
    }
    const double locProgramLoad = Now() - t0;
    QI_Time::GetInstance()->SetMaxFrameRate(0.0f);
    const int locShown = ourViewer.myNumCellsInUse;
    t0 = Now();
    for (int f = 0; f < locFrames; f++)
    {
        UI_DispatchMessages(false);
        ViewerFrame();
    }
    const double locProgramGrid = (Now() - t0) / locFrames;
    int locFailed = 0, locFolders = 0;
    for (size_t i = 0; i < locFiles.size(); i++)
    {
        locFolders += locFiles[i].empty();
        locFailed += !ourViewer.myEntries[i].myFlag;
    }
    const QR_RenderSettings locSettings = QR_Render::ourInstance->myRenderSettings;
    ViewerShutDown();

    // The baseline: the same files and cells without the program.
    QR_RenderSettings s = locSettings;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "tessaly_bench: no renderer for the baseline\n");
        return 1;
    }
    const int X = std::max(1, ourViewer.myNumViewsX);
    std::vector<Cell> locCells(locFiles.size());
    for (size_t i = 0; i < locCells.size(); i++)
    {
        Cell& c = locCells[i];
        c.myView = new QR_View(256, nullptr, 256);
        c.myView->myAmbientColor = 0x7F7F7F;
        c.myView->myCamera.SetViewport(VIEWER_CELL_WIDTH * (int)(i % X), VIEWER_CELL_HEIGHT * (int)(i / X),
                                       VIEWER_VIEW_WIDTH, VIEWER_VIEW_HEIGHT);
        c.myView->myCamera.UpdateProjection();
    }
    QI_Time::ourTime = 0.0f;
    t0 = Now();
    for (size_t i = 0; i < locFiles.size(); i++)
    {
        const std::string& n = locFiles[i];
        Cell& c = locCells[i];
        if (locEnds(n, ".qrb"))
        {
            if (QR_TemplateObject* t = QR_TemplateObject::Acquire(n.c_str()))
            {
                c.myObject = new QR_MainObject(t);
                c.myObject->myColor = 0xFFFFFFFF;
                t->Release();
                const float r = t->GetBoundRadius() > 0.0f ? t->GetBoundRadius() : 1.0f;
                c.myView->myCamera.SetClipPlanes(0.005f * r, 10.0f * r);
                c.myView->myCamera.UpdateProjection();
                c.myView->myCamera.myMatrix.SetTranslation(t->myBoundCentre[0], t->myBoundCentre[1], -1.3f * r - 1.0f);
            }
        }
        else if (locEnds(n, ".dds"))
            c.myBitmap = QR_Bitmap::Create(n.c_str(), false);
        locBaselineFrame(locCells, std::min((int)i + 1, locShown));
    }
    const double locBaseLoad = Now() - t0;
    t0 = Now();
    for (int f = 0; f < locFrames; f++)
        locBaselineFrame(locCells, locShown);
    const double locBaseGrid = (Now() - t0) / locFrames;
    for (Cell& c : locCells)
    {
        delete c.myObject;
        delete c.myBitmap;
        delete c.myView;
    }
    QR_Render::Destroy();

    printf("folder %s: %d entries (%d folders, %d failed), %d cells shown, back buffer %d x %d\n", locFolder.c_str(),
           locEntries, locFolders, locFailed, locShown, locSettings.myWidth, locSettings.myHeight);
    printf("to the last entry: Tessaly %.1f ms (%d frames), baseline %.1f ms; ratio %.2f\n", 1e3 * locProgramLoad,
           locLoadFrames, 1e3 * locBaseLoad, locProgramLoad / std::max(locBaseLoad, 1e-9));
    printf("full grid: Tessaly %.2f ms per frame, baseline %.2f ms; ratio %.2f\n", 1e3 * locProgramGrid,
           1e3 * locBaseGrid, locProgramGrid / std::max(locBaseGrid, 1e-9));
    return 0;
}
