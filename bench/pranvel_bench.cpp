// pranvel_bench: the model editor's render tick in its real window at 800 x 600 (input,
// the editor scene's frame with the grid and a fixture model, present into the view,
// paint), against the same model drawn by the renderer alone through a view with the same
// camera, without a window, in the same run. Prints frames per second, the milliseconds
// of the scene's frame and of present plus paint, and the ratio.
// Usage: pranvel_bench [--frames N]   (default 200)
//        pranvel_bench --batch N       (batch conversion, pranvel_bench_batch.cpp)
#include "bench/bench_args.h"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/gfx/gfx_device.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_qt.h"
#include "qrender/qr_render.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_view.h"

#include <QApplication>
#include <QWidget>

namespace
{
using Clock = std::chrono::steady_clock;

double ourPresentSeconds = 0.0;
QR_HostWindow ourViewWindow = {nullptr, nullptr};

double locSeconds(Clock::time_point aStart)
{
    return std::chrono::duration<double>(Clock::now() - aStart).count();
}

// The view's own host window, timed.
void locTimedPresent(void*, const GFX_Image& anImage)
{
    Clock::time_point locStart = Clock::now();
    ourViewWindow.myPresentFunc(ourViewWindow.myUserData, anImage);
    ourPresentSeconds += locSeconds(locStart);
}

// Painting the last picture while the next one renders is part of the present.
void locTimedDrawing(void*)
{
    Clock::time_point locStart = Clock::now();
    if (ourViewWindow.myDrawingFunc)
        ourViewWindow.myDrawingFunc(ourViewWindow.myUserData);
    ourPresentSeconds += locSeconds(locStart);
}

// Letting the picture go costs a copy of it.
void locTimedRelease(void*)
{
    Clock::time_point locStart = Clock::now();
    if (ourViewWindow.myReleaseFunc)
        ourViewWindow.myReleaseFunc(ourViewWindow.myUserData);
    ourPresentSeconds += locSeconds(locStart);
}

QR_HostWindow ourTimedWindow = {locTimedPresent, nullptr, locTimedDrawing, locTimedRelease};

PranvelScene* locTimedScene(QR_HostWindow* aWindow, void* anInputWindow)
{
    ourViewWindow = *aWindow;
    return PranvelScene::Create(&ourTimedWindow, anInputWindow);
}
} // namespace

int PranvelBatchBench(int argc, char** argv, int aCount);

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv, "usage: pranvel_bench [--frames N]\n       pranvel_bench --batch N\n");
    int locCount = 0;
    if (locArgs.IntOption("--batch", &locCount, 1, 100000000))
    {
        locArgs.Operands(0, 0);
        return PranvelBatchBench(argc, argv, locCount);
    }
    int locFrames = 200;
    locArgs.IntOption("--frames", &locFrames, 1, 100000000);
    locArgs.Operands(0, 0);
    if (!UI_Init(&argc, argv))
        return 1;
    // Its own folder, so that the settings it writes at exit land nowhere that matters.
    std::filesystem::path locDir = std::filesystem::temp_directory_path() / "pranvel_bench";
    std::filesystem::create_directories(locDir);
    std::filesystem::current_path(locDir);

    CPranvelView::ourSceneFactory = locTimedScene;
    CPranvelApp* locApp = new CPranvelApp;
    static char locName[] = "Pranvel";
    char* locArgv[] = {locName, nullptr};
    if (!locApp->InitInstance(1, locArgv))
        return 1;
    UI_Frame* locFrame = locApp->GetMainFrame()->GetFrame();
    CPranvelView* locView = locApp->GetMainFrame()->GetView();
    locView->EnableRenderTimer(false);
    QWidget* locViewWidget = UI_GetFrameView(locFrame);
    // A render area of exactly 800 x 600.
    locViewWidget->setFixedSize(800, 600);
    QCoreApplication::processEvents();
    // The fixture: the editor tests' two-part box of radius 3, seen from a little above.
    QRB_TestModel locModel = MET_BoxModel();
    locModel.myRadius = 3.0f;
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    QR_TemplateObject* locTemplate = MET_LoadModel(locModel, "fixture.qrb");
    if (!locScene || !locTemplate || !locScene->SetModel(locTemplate, "STND"))
    {
        fprintf(stderr, "pranvel_bench: the fixture model did not load\n");
        return 1;
    }
    locScene->myGridEnable = true;
    locScene->RotateCameraPitch(0.5f);
    for (int i = 0; i < 5; i++)
        locView->Tick(PRANVEL_RENDER_TIMER);

    ourPresentSeconds = 0.0;
    double locTickSeconds = 0.0;
    double locPaintSeconds = 0.0;
    Clock::time_point locStart = Clock::now();
    for (int i = 0; i < locFrames; i++)
    {
        Clock::time_point locTick = Clock::now();
        locView->Tick(PRANVEL_RENDER_TIMER);
        locTickSeconds += locSeconds(locTick);
        Clock::time_point locPaint = Clock::now();
        // The program's turn of its event loop between ticks: the paint of a picture
        // waiting there, if any.
        QCoreApplication::processEvents();
        locPaintSeconds += locSeconds(locPaint);
    }
    double locEditorSeconds = locSeconds(locStart);
    int locWidth = QR_Render::ourInstance->myRenderSettings.myWidth;
    int locHeight = QR_Render::ourInstance->myRenderSettings.myHeight;
    const QR_Camera& locEditorCamera = locScene->GetView()->myCamera;
    Matrix44 locCameraMatrix = locEditorCamera.myMatrix;
    float locNear = locEditorCamera.myNear, locFar = locEditorCamera.myFar;
    locApp->ExitInstance();
    delete locApp;

    // The renderer alone: the same settings and frames, no window.
    if (!QR_Render::Create(nullptr, nullptr))
        return 1;
    QR_RenderSettings locSettings;
    locSettings.myWidth = locWidth;
    locSettings.myHeight = locHeight;
    locSettings.myBitsPerPixel = 32;
    locSettings.myFullScreenFlag = 0;
    if (!QR_Render::ourInstance->Init(&locSettings))
        return 1;
    QR_Render* locRender = QR_Render::ourInstance;
    QR_Scene* locLights = new QR_Scene;
    QR_View* locAloneView = new QR_View(500, locLights, 2048);
    QR_Camera& c = locAloneView->myCamera;
    c.SetClipPlanes(locNear, locFar);
    c.SetViewport(0, 0, locWidth, locHeight);
    c.UpdateProjection();
    c.myMatrix = locCameraMatrix;
    locTemplate = QR_TemplateObject::Acquire("fixture.qrb");
    QR_MainObject* locObject = locTemplate ? new QR_MainObject(locTemplate) : nullptr;
    if (!locObject)
        return 1;
    locObject->SetState(StateCodeToId("STND"));
    auto locAloneFrame = [&]() {
        QR_Render::ourStats.ResetFrame();
        locRender->BeginFrame();
        locAloneView->BeginRender(true, 0);
        locAloneView->MakeCurrent();
        locRender->SetView(locAloneView);
        locObject->Update(locObject->myMatrix);
        locObject->Render();
        locAloneView->EndRender();
        locRender->EndFrame();
    };
    for (int i = 0; i < 5; i++)
        locAloneFrame();
    locStart = Clock::now();
    for (int i = 0; i < locFrames; i++)
        locAloneFrame();
    double locAloneSeconds = locSeconds(locStart);
    delete locObject;
    locTemplate->Release();
    delete locAloneView;
    delete locLights;
    QR_TemplateObject::DestroyAll();
    QR_Render::Destroy();

    printf("pranvel_bench: %d frames at %dx%d\n", locFrames, locWidth, locHeight);
    printf("  editor tick:     %8.1f fps  render %6.3f ms  present+paint %6.3f ms\n", locFrames / locEditorSeconds,
           1000.0 * (locTickSeconds - ourPresentSeconds) / locFrames,
           1000.0 * (ourPresentSeconds + locPaintSeconds) / locFrames);
    printf("  renderer alone (the model through a view):  %8.1f fps  %6.3f ms per frame\n",
           locFrames / locAloneSeconds,
           1000.0 * locAloneSeconds / locFrames);
    printf("  ratio editor/renderer time: %.2f\n", locEditorSeconds / locAloneSeconds);
    UI_Shutdown();
    return 0;
}
