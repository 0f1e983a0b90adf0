// The model browser's start-up, window procedure, frame, folder scan and layout.
//
// [SECTION] The window
// [SECTION] Scan and layout
// [SECTION] Frame
// [SECTION] Window procedure
// [SECTION] Start-up
#include "tessaly/main.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QScreen>
#include <QWidget>

#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <string>

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt.h"
#include "platform/ui/ui_qt.h"
#include "qcommon/qc_crash.h"
#include "qfile/render/qf_file.h"
#include "qinput/qi_input.h"
#include "qinput/qi_time.h"
#include "qrender/qr_bitmap.h"
#include "qrender/qr_error.h"
#include "qrender/qr_expressions.h"
#include "qrender/qr_font.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_view.h"
#include "tessaly/qrb_view.h"

ViewerState ourViewer;

namespace
{

QR_Font* ourFont = nullptr;
QR_View* ourMainView = nullptr;
float ourElapsedTime = 0.0f;
float ourRunningTime = 0.0f;

// [SECTION] The window -------------------------------------------------------------------------

UI_Window* ourWindow = nullptr;
int ourTestWidth = 0, ourTestHeight = 0;

// The window shows the device's front buffer itself and copies it when the device lets it go.
void locPresent(void*, const GFX_Image& anImage)
{
    UI_WindowShowPixels(ourWindow, anImage.myPixels, (int)anImage.myWidth, (int)anImage.myHeight,
                        (int)anImage.myPitch);
}

intptr_t locWindowProc(UI_Window*, int aMessage, int aParam1, int aParam2, void*)
{
    ViewerWndProc(aMessage, aParam1, aParam2);
    return 0;
}

// The scroll bar keeps the Windows rules; the layout reads back what it kept.
void locSetScroll(int aMax, int aPage, int aPos)
{
    ourViewer.myScrollMax = aMax;
    ourViewer.myScrollPage = aPage;
    if (ourWindow)
    {
        ourViewer.myScrollPos = UI_SetScrollInfo(ourWindow, 0, aMax, aPage, aPos);
        return;
    }
    const int locTop = aMax - (aPage > 0 ? aPage - 1 : 0);
    ourViewer.myScrollPos = aPos > locTop ? locTop : aPos;
    if (ourViewer.myScrollPos < 0)
        ourViewer.myScrollPos = 0;
}

// The window's icon: a 2 x 2 grid of grey cells on the button face.
UI_Image locIcon()
{
    UI_Image i;
    i.myWidth = i.myHeight = 16;
    i.myPixels.assign(256, 0xFFD4D0C8u);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            if (x % 8 >= 1 && x % 8 <= 6 && y % 8 >= 1 && y % 8 <= 5)
                i.myPixels[y * 16 + x] = 0xFF5F5F5Fu;
    return i;
}

bool locHasExtension(const char* aName, const char* anExtension)
{
    size_t n = strlen(aName);
    return n >= 4 && strcasecmp(aName + n - 4, anExtension) == 0;
}

void locDestroyEntries()
{
    for (ViewerEntry& e : ourViewer.myEntries)
    {
        delete e.myObject;
        delete e.myBitmap;
        e.myObject = nullptr;
        e.myBitmap = nullptr;
        e.myFlag = 0;
    }
}

} // namespace

UI_Window* ViewerGetWindow()
{
    return ourWindow;
}

QWidget* ViewerGetClientWidget()
{
    return UI_GetWindowClient(ourWindow);
}

QImage ViewerGrabClient()
{
    return ourWindow ? UI_GetWindowClient(ourWindow)->grab().toImage() : QImage();
}

void ViewerSetTestClientSize(int aWidth, int aHeight)
{
    ourTestWidth = aWidth;
    ourTestHeight = aHeight;
}

void ViewerGetClientSize(int* aWidth, int* aHeight)
{
    if (ourWindow)
        UI_GetClientSize(ourWindow, aWidth, aHeight);
    else
    {
        *aWidth = ourTestWidth;
        *aHeight = ourTestHeight;
    }
}

// [SECTION] Scan and layout --------------------------------------------------------------------

bool ViewerScanDirectory(const char* aName)
{
    ourViewer.myScannedFlag = true;
    ourViewer.mySavedStartModel = 0;
    locDestroyEntries();
    std::string d = ourViewer.myCurrentDirectory.GetBuffer();
    if (strcmp(aName, "..") == 0)
    {
        size_t p = d.find_last_of('/');
        if (p != std::string::npos)
            d = p == 0 ? "/" : d.substr(0, p);
    }
    else if (aName[0] == '/')
        d = aName;
    else
        d = d.empty() ? std::string(aName) : d == "/" ? "/" + std::string(aName) : d + "/" + aName;
    // Absolute, so that ".." always climbs; stops at "/".
    std::error_code locError;
    std::filesystem::path locPath = std::filesystem::absolute(d.empty() ? "." : d, locError).lexically_normal();
    d = locPath.string();
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    ourViewer.myCurrentDirectory = d.c_str();
    ourViewer.myEntries.clear();
    ourViewer.myCurStartModel = 0;
    ourViewer.myLoadCursor = 0;
    ourViewer.myLoadedAny = false;
    ourViewer.myFramesAfterLoad = 0;
    DIR* locDir = opendir(d.c_str());
    if (!locDir)
    {
        ViewerLayout();
        return false;
    }
    UI_SetWindowTitle(ourWindow, d.c_str());
    while (dirent* e = readdir(locDir))
    {
        std::string locFull = (d == "/" ? "" : d) + "/" + e->d_name;
        struct stat st;
        if (stat(locFull.c_str(), &st) != 0)
            continue;
        ViewerEntry locEntry;
        if (S_ISDIR(st.st_mode))
        {
            if (strcmp(e->d_name, ".") == 0)
                continue;
            locEntry.myName = e->d_name;
            locEntry.myFlag = 1;
        }
        else if (locHasExtension(e->d_name, ".qrb") || locHasExtension(e->d_name, ".dds"))
            locEntry.myName = locFull.c_str();
        else
            continue;
        ourViewer.myEntries.push_back(std::move(locEntry));
    }
    closedir(locDir);
    ViewerAssignCells();
    ViewerLayout();
    return true;
}

void ViewerLayout()
{
    int W, H;
    ViewerGetClientSize(&W, &H);
    ViewerState& v = ourViewer;
    const int n = (int)v.myEntries.size();
    v.myNumViewsX = W / VIEWER_CELL_WIDTH;
    if (VIEWER_CELL_WIDTH * v.myNumViewsX + VIEWER_VIEW_WIDTH <= W)
        v.myNumViewsX++;
    if (v.myNumViewsX < 1)
        v.myNumViewsX = 1;
    const int X = v.myNumViewsX;
    int locRows = H / VIEWER_CELL_HEIGHT;
    if (locRows < 1)
        locRows = 1;
    if (locRows * X > n)
        locRows = (n + X - 1) / X;
    if (locRows * X > VIEWER_NUM_CELLS)
        locRows = VIEWER_NUM_CELLS / X;
    v.myRows = locRows;
    const int R = (n + X - 1) / X;
    if ((v.myCurStartModel / X + locRows) * X > n)
    {
        v.myCurStartModel = (R - locRows) * X;
        if (v.myCurStartModel < 0)
            v.myCurStartModel = 0;
    }
    v.myCurStartModel -= v.myCurStartModel % X;
    if (v.myDirectoryMode)
        locSetScroll(R - 1, locRows, v.myCurStartModel / X);
    ViewerAssignCells();
}

static void locShowEntry(ViewerCell* aCell, const ViewerEntry& anEntry)
{
    if (anEntry.myObject)
        aCell->SetModel(anEntry.myObject);
    else if (anEntry.myBitmap)
        aCell->SetBitmap(anEntry.myBitmap, anEntry.myLabelName.GetBuffer());
    else
    {
        aCell->Clear();
        aCell->myLabel = ViewerLabelFromPath(anEntry.myName.GetBuffer());
        if (anEntry.myFlag)
            aCell->myLabel = anEntry.myName;
        else if (strncmp(anEntry.myName.GetBuffer(), "Failed to load", 14) == 0)
        {
            // The whole text, error code included, in lines over the empty view.
            aCell->myLabel = anEntry.myName;
            aCell->WrapLabel(ourFont);
        }
    }
}

void ViewerAssignCells()
{
    ViewerState& v = ourViewer;
    v.myNumCellsInUse = 0;
    const int n = (int)v.myEntries.size();
    if (v.myDirectoryMode)
    {
        for (int r = 0; r < v.myRows; r++)
            for (int c = 0; c < v.myNumViewsX; c++)
            {
                const int locCell = r * v.myNumViewsX + c, locEntry = r * v.myNumViewsX + v.myCurStartModel + c;
                if (locCell >= VIEWER_NUM_CELLS || locEntry >= n)
                    break;
                ViewerCell* cell = v.myCells[locCell];
                if (!cell)
                    continue;
                cell->SetRect(VIEWER_CELL_WIDTH * c, VIEWER_CELL_HEIGHT * r, VIEWER_VIEW_WIDTH, VIEWER_VIEW_HEIGHT);
                locShowEntry(cell, v.myEntries[locEntry]);
                v.myNumCellsInUse = locCell + 1;
            }
    }
    else if (v.myCells[0] && v.myCurStartModel < n)
    {
        int W, H;
        ViewerGetClientSize(&W, &H);
        v.myCells[0]->SetRect(0, 0, W, H);
        locShowEntry(v.myCells[0], v.myEntries[v.myCurStartModel]);
        v.myNumCellsInUse = 1;
    }
}

// [SECTION] Frame ------------------------------------------------------------------------------

static void locLoadNext()
{
    ViewerState& v = ourViewer;
    if (v.myLoadCursor >= (int)v.myEntries.size())
        return;
    if (v.myLoadedAny && !(QI_Time::ourTime > v.myLastLoadTime + 0.1f))
        return;
    ViewerEntry& e = v.myEntries[v.myLoadCursor];
    if (!e.myFlag)
    {
        std::string locName = e.myName.GetBuffer();
        bool locModel = locHasExtension(locName.c_str(), ".qrb"), locImage = locHasExtension(locName.c_str(), ".dds");
        if (locModel || locImage)
        {
            bool locOk = false;
            if (locModel)
            {
                if (QR_TemplateObject* t = QR_TemplateObject::Acquire(locName.c_str()))
                {
                    e.myObject = new QR_MainObject(t);
                    e.myObject->myColor = 0xFFFFFFFF;
                    t->Release();
                    locOk = true;
                }
            }
            else if ((e.myBitmap = QR_Bitmap::Create(locName.c_str(), false)) != nullptr)
                locOk = true;
            if (locOk)
            {
                e.myLabelName = e.myName;
                e.myName = "";
                e.myFlag = 1;
                v.myLastLoadTime = QI_Time::ourTime;
                v.myLoadedAny = true;
            }
            else
            {
                char locText[600];
                const char* f = strrchr(locName.c_str(), '/');
                snprintf(locText, sizeof(locText), "Failed to load '%s', error: %u", f ? f + 1 : locName.c_str(),
                         (unsigned)QR_Error::ourCode);
                e.myName = locText;
            }
            ViewerAssignCells();
        }
    }
    v.myLoadCursor++;
}

bool ViewerFrame()
{
    ViewerState& v = ourViewer;
    if (QI_Input::GetInstance())
        QI_Input::GetInstance()->Update();
    if (QI_Time::GetInstance())
        QI_Time::GetInstance()->Update();
    ourElapsedTime = QI_Time::ourFrameTime;
    ourRunningTime = QI_Time::ourTime;
    if (!v.myActiveFlag)
        return true;
    if (QI_Device* k = QI_Input::GetDevice(0, 0))
        if (k->myNumButtons > 78)
        {
            if (k->myButtons[1].WentDown())
                return false;
            if (k->myButtons[78].WentDown())
                v.myZoom = v.myZoom + 0.2f > 1.0f ? 1.0f : v.myZoom + 0.2f;
            if (k->myButtons[74].WentDown())
                v.myZoom = v.myZoom - 0.2f < 0.2f ? 0.2f : v.myZoom - 0.2f;
        }
    if (QI_Device* m = QI_Input::GetDevice(1, 0))
        if (m->myNumButtons > 1 && m->myNumAxes > 1 && m->myButtons[1].IsDown())
        {
            v.myAngle1 -= 0.005f * m->myAxes[0].myValue;
            v.myAngle2 -= 0.005f * m->myAxes[1].myValue;
        }
    locLoadNext();
    QR_Render* r = QR_Render::ourInstance;
    QR_Render::ourFrameCount++;
    QR_Render::ourStats.myFrameCounter++;
    QR_Render::ourStats.ResetFrame();
    r->BeginFrame();
    QR_Rect locAll = {0, 0, r->myRenderSettings.myWidth, r->myRenderSettings.myHeight};
    r->Clear(&locAll, QR_CLEAR_TARGET | QR_CLEAR_ZBUFFER | QR_CLEAR_STENCIL, 0x7F7F7F, 1.0f, 127);
    if (v.myDirectoryMode)
    {
        for (int i = 0; i < v.myNumCellsInUse; i++)
            if (v.myCells[i])
                v.myCells[i]->Render(1.0f, 0.0f, 0.0f);
    }
    else if (v.myNumCellsInUse > 0)
        v.myCells[0]->Render(v.myZoom, v.myAngle1, v.myAngle2);
    ourMainView->BeginRender(false, 0);
    ourMainView->MakeCurrent();
    r->SetView(ourMainView);
    // The labels in one go: one draw for the lines of one colour.
    QR_FontText locLabels[VIEWER_NUM_CELLS * VIEWER_LABEL_LINES];
    QR_Rect locClips[VIEWER_NUM_CELLS];
    uint32_t locNumLabels = 0;
    for (int i = 0; i < v.myNumCellsInUse; i++)
        if (v.myCells[i])
            locNumLabels += (uint32_t)v.myCells[i]->GetLabel(&locLabels[locNumLabels], &locClips[i]);
    QR_Font::DrawTexts(ourFont, locLabels, locNumLabels);
    ourMainView->EndRender();
    r->EndFrame();
    if (v.myLoadCursor >= (int)v.myEntries.size())
        v.myFramesAfterLoad++;
    return true;
}

// [SECTION] Window procedure -------------------------------------------------------------------

void ViewerWndProc(int aMessage, int aParam1, int aParam2)
{
    ViewerState& v = ourViewer;
    switch (aMessage)
    {
    case VIEWER_WM_ACTIVATEAPP:
        v.myActiveFlag = aParam1 != 0;
        break;
    case VIEWER_WM_SIZE:
        ViewerLayout();
        break;
    case VIEWER_WM_CLOSE:
        UI_PostQuitMessage(0);
        break;
    case VIEWER_WM_VSCROLL:
    {
        if (!v.myDirectoryMode)
            break;
        int p = v.myScrollPos;
        switch (aParam1)
        {
        case VIEWER_SB_LINEUP: p--; break;
        case VIEWER_SB_LINEDOWN: p++; break;
        case VIEWER_SB_PAGEUP: p -= v.myScrollPage; break;
        case VIEWER_SB_PAGEDOWN: p += v.myScrollPage; break;
        case VIEWER_SB_THUMBTRACK: p = aParam2; break;
        case VIEWER_SB_TOP: p = 0; break;
        case VIEWER_SB_BOTTOM: p = v.myScrollMax; break;
        default: break;
        }
        const int locOld = v.myScrollPos;
        locSetScroll(v.myScrollMax, v.myScrollPage, p);
        if (v.myScrollPos != locOld)
        {
            v.myCurStartModel = v.myNumViewsX * v.myScrollPos;
            ViewerAssignCells();
        }
        break;
    }
    case VIEWER_WM_LBUTTONUP:
    {
        if (!v.myDirectoryMode)
        {
            v.myDirectoryMode = true;
            v.myCurStartModel = v.mySavedStartModel;
            if (!v.myScannedFlag)
                ViewerScanDirectory("..");
            ViewerLayout();
            break;
        }
        const int c = aParam1 / VIEWER_CELL_WIDTH, r = aParam2 / VIEWER_CELL_HEIGHT;
        // Only a view on screen counts: a column past the last or a row past the shown ones
        // would name an entry of another row.
        if (aParam1 < 0 || aParam2 < 0 || c >= v.myNumViewsX || r >= v.myRows ||
            aParam1 >= VIEWER_CELL_WIDTH * c + VIEWER_VIEW_WIDTH || aParam2 >= VIEWER_CELL_HEIGHT * r + VIEWER_VIEW_HEIGHT)
            break;
        const int e = r * v.myNumViewsX + v.myCurStartModel + c;
        if (e >= (int)v.myEntries.size() || !v.myEntries[e].myFlag)
            break;
        ViewerEntry& locEntry = v.myEntries[e];
        if (!locEntry.myName.IsEmpty())
        {
            std::string locName = locEntry.myName.GetBuffer();
            ViewerScanDirectory(locName.c_str());
        }
        else if (e <= v.myLoadCursor && (locEntry.myObject || locEntry.myBitmap))
        {
            v.myAngle1 = v.myAngle2 = 0.0f;
            v.mySavedStartModel = v.myCurStartModel;
            v.myCurStartModel = e;
            v.myDirectoryMode = false;
            ViewerAssignCells();
        }
        break;
    }
    default:
        UI_DefWindowProc(ourWindow, aMessage, aParam1, aParam2);
        break;
    }
}

// [SECTION] Start-up ---------------------------------------------------------------------------

static int locFail(const char* aText, int aCode)
{
    UI_MessageBox("Error", aText, 0);
    return aCode;
}

void ViewerShutDown()
{
    if (!ourWindow)
        return;
    locDestroyEntries();
    ourViewer.myEntries.clear();
    for (ViewerCell*& c : ourViewer.myCells)
    {
        delete c;
        c = nullptr;
    }
    delete ourMainView;
    ourMainView = nullptr;
    QR_Font::Release(ourFont);
    ourFont = nullptr;
    QI_Input::Shutdown();
    QI_Time::Shutdown();
    QR_Render::Destroy();
    QR_ExpressionContext::Destroy();
    QF_File::CloseAllArchives();
    UI_ClipCursor(nullptr);
    UI_DestroyWindow(ourWindow);
    ourWindow = nullptr;
}

int ViewerStartUp(int argc, char** argv, const char* aProgramDir)
{
    ourViewer = ViewerState();
    UI_ClearQuitMessage();
    static const UI_Image locIconImage = locIcon();
    UI_WindowDesc locDesc;
    locDesc.myTitle = "QRB browser";
    locDesc.myWidth = 800;
    locDesc.myHeight = 600;
    locDesc.myVScrollFlag = true;
    locDesc.myIcon = &locIconImage;
    locDesc.myProc = locWindowProc;
    ourWindow = UI_CreateWindow(locDesc);
    if (!ourWindow)
        return -2;
    static QR_HostWindow locHost;
    locHost.myPresentFunc = locPresent;
    locHost.myUserData = nullptr;
    locHost.myReleaseFunc = [](void*) { UI_WindowKeepPixels(ourWindow); };
    // The last frame's picture is painted while the software renderer draws the next.
    locHost.myDrawingFunc = [](void*) { UI_UpdateWindow(ourWindow); };
    if (!QR_Render::Create(&locHost, nullptr))
    {
        UI_DestroyWindow(ourWindow);
        ourWindow = nullptr;
        return locFail("Failed to init DX8.1", -3);
    }
    // Showing reports the program's activation, which sets the active flag.
    UI_ShowWindow(ourWindow, true);
    QR_RenderSettings s;
    QScreen* locScreenOf = UI_GetWindowWidget(ourWindow)->screen();
    QSize locScreen = locScreenOf ? locScreenOf->size() : QSize(800, 600);
    s.myWidth = locScreen.width();
    s.myHeight = locScreen.height();
    s.myBitsPerPixel = 32;
    s.myFullScreenFlag = 0;
    s.myMipMapLodBias = -0.5f;
    s.myTextureFilter = 6;
    if (!QR_Render::ourInstance->Init(&s))
    {
        QR_Render::Destroy();
        UI_DestroyWindow(ourWindow);
        ourWindow = nullptr;
        return locFail("Failed to init DX8.1", -4);
    }
    QR_Rect locAll = {0, 0, s.myWidth, s.myHeight};
    QR_Render::ourInstance->Clear(&locAll, QR_CLEAR_TARGET, 0, 1.0f, 127);

    std::string locDir;
    if (aProgramDir)
        locDir = aProgramDir;
    else
    {
        char locExe[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", locExe, sizeof(locExe) - 1);
        locDir = n > 0 ? std::string(locExe, (size_t)n) : std::string();
        size_t p = locDir.find_last_of('/');
        locDir = p == std::string::npos ? std::string() : locDir.substr(0, p + 1);
    }
    if (!locDir.empty() && locDir.back() != '/')
        locDir += '/';
    ourFont = QR_Font::Acquire((locDir + "Tessaly_font.tga").c_str(), (locDir + "Tessaly_font.txt").c_str());
    if (!ourFont)
    {
        QR_Render::Destroy();
        UI_DestroyWindow(ourWindow);
        ourWindow = nullptr;
        return locFail("Failed to load font", -1);
    }
    if (!QI_Input::Init(true, UI_GetWindowClient(ourWindow)))
    {
        ViewerShutDown();
        return locFail("Failed to init DInput", -7);
    }
    QI_Time::Init();
    ourMainView = new QR_View(400, nullptr, 2048);
    for (ViewerCell*& c : ourViewer.myCells)
        c = new ViewerCell();
    QR_ExpressionContext::Create();
    QR_ExpressionContext::GetInstance()->AddFloatVar(&ourElapsedTime, "ETIME");
    QR_ExpressionContext::GetInstance()->AddFloatVar(&ourRunningTime, "TIME");

    std::string locArg = argc > 1 && argv[1] ? argv[1] : "";
    if (locArg.size() > 1 && (locArg.back() == '/' || locArg.back() == '\\'))
        locArg.pop_back();
    struct stat st;
    if (!locArg.empty() && (QF_File::IsDirectory(locArg.c_str()) || (stat(locArg.c_str(), &st) == 0 && S_ISDIR(st.st_mode))))
        ViewerScanDirectory(locArg.c_str());
    else if (!locArg.empty() && QF_File::Exists(locArg.c_str()) &&
             (locHasExtension(locArg.c_str(), ".qrb") || locHasExtension(locArg.c_str(), ".dds")))
    {
        ViewerEntry e;
        e.myName = locArg.c_str();
        ourViewer.myEntries.push_back(std::move(e));
        std::error_code locError;
        ourViewer.myCurrentDirectory = std::filesystem::absolute(locArg, locError).lexically_normal().string().c_str();
        ourViewer.myDirectoryMode = false;
        ViewerAssignCells();
        ViewerLayout();
    }
    else
    {
        std::error_code locError;
        ViewerScanDirectory(std::filesystem::current_path(locError).string().c_str());
    }

    return 0;
}

int ViewerMain(int argc, char** argv, const char* aProgramDir)
{
    int locStart = ViewerStartUp(argc, argv, aProgramDir);
    if (locStart != 0)
        return locStart;
    const char* locGrab = getenv("Q_UI_GRAB");
    int locResult = 0;
    // The grab run prints the time until the last entry is handled and the mean frame time
    // of the full grid after it.
    auto locNow = []() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); };
    const double locBegin = locNow();
    double locLoaded = -1.0;
    for (;;)
    {
        if (UI_DispatchMessages(false))
            break;
        if (!ViewerFrame())
            UI_PostQuitMessage(0);
        if (locGrab && *locGrab && locLoaded < 0 && ourViewer.myFramesAfterLoad == 1)
            locLoaded = locNow();
        if (locGrab && *locGrab && ourViewer.myFramesAfterLoad >= 3)
        {
            printf("Tessaly: %zu entries handled in %.3f s; full grid %.2f ms per frame\n", ourViewer.myEntries.size(),
                   locLoaded - locBegin, 1e3 * (locNow() - locLoaded) / (ourViewer.myFramesAfterLoad - 1));
            UI_DispatchMessages(false);
            ViewerGrabClient().save(QString::fromUtf8(locGrab));
            UI_PostQuitMessage(0);
        }
        usleep(1000);
    }
    UI_PeekQuitMessage(&locResult);
    ViewerShutDown();
    return locResult;
}
