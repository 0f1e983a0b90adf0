// Tessaly, the model browser: a grid of live views of every ".qrb" model and ".dds"
// texture of a folder, loaded one per frame, sub-folders opened with a click, one
// entry shown enlarged. The program's state is global; the tests drive it in-process.
#pragma once

#include <stdint.h>

#include <vector>

#include "platform/ui/ui_window.h"
#include "qcommon/qc_string.h"

class QR_Bitmap;
class QR_MainObject;
class ViewerCell;

constexpr int VIEWER_CELL_WIDTH = 240;
constexpr int VIEWER_CELL_HEIGHT = 190;
constexpr int VIEWER_VIEW_WIDTH = 220;
constexpr int VIEWER_VIEW_HEIGHT = 165;
constexpr int VIEWER_NUM_CELLS = 256;

struct ViewerEntry
{
    QR_MainObject* myObject = nullptr; // owned
    QR_Bitmap* myBitmap = nullptr;     // owned
    QC_String myName;                  // the path to load; empty once loaded; or an error text
    QC_String myLabelName;             // the loaded file's path, for a bitmap's label
    uint8_t myFlag = 0;                // a sub-folder, or a loaded file
};

struct ViewerState
{
    bool myActiveFlag = false;
    std::vector<ViewerEntry> myEntries; // grows past 1024 as needed
    int myLoadCursor = 0;
    float myLastLoadTime = 0.0f;
    bool myLoadedAny = false;
    ViewerCell* myCells[VIEWER_NUM_CELLS] = {};
    int myNumCellsInUse = 0;
    int myNumViewsX = 1;
    int myRows = 0;
    int myCurStartModel = 0;
    int mySavedStartModel = 0;
    QC_String myCurrentDirectory; // absolute, '/' separated
    bool myDirectoryMode = true;
    bool myScannedFlag = false;
    float myZoom = 1.0f;
    float myAngle1 = 0.0f;
    float myAngle2 = 0.0f;
    // The scroll bar as set by the layout.
    int myScrollMax = -1;
    int myScrollPage = 0;
    int myScrollPos = 0;
    int myFramesAfterLoad = 0; // frames drawn once every entry was handled
};
extern ViewerState ourViewer;

// The window's messages and scroll requests are the user-interface layer's.
enum ViewerScroll
{
    VIEWER_SB_LINEUP = UI_SB_LINEUP,
    VIEWER_SB_LINEDOWN = UI_SB_LINEDOWN,
    VIEWER_SB_PAGEUP = UI_SB_PAGEUP,
    VIEWER_SB_PAGEDOWN = UI_SB_PAGEDOWN,
    VIEWER_SB_THUMBTRACK = UI_SB_THUMBTRACK,
    VIEWER_SB_TOP = UI_SB_TOP,
    VIEWER_SB_BOTTOM = UI_SB_BOTTOM,
};
enum ViewerMessage
{
    VIEWER_WM_ACTIVATEAPP = UI_WM_ACTIVATEAPP,
    VIEWER_WM_SIZE = UI_WM_SIZE,
    VIEWER_WM_CLOSE = UI_WM_CLOSE,
    VIEWER_WM_VSCROLL = UI_WM_VSCROLL,     // aParam1 the request, aParam2 the track position
    VIEWER_WM_LBUTTONUP = UI_WM_LBUTTONUP, // client coordinates
};

// The start-up alone (0, or the exit code of a failure) and the exit, for the tests.
int ViewerStartUp(int argc, char** argv, const char* aProgramDir = nullptr);
void ViewerShutDown();
// argv-style start; the program folder comes from /proc/self/exe unless aProgramDir is given.
int ViewerMain(int argc, char** argv, const char* aProgramDir = nullptr);
void ViewerWndProc(int aMessage, int aParam1, int aParam2);
bool ViewerFrame();
bool ViewerScanDirectory(const char* aName);
void ViewerLayout();
void ViewerAssignCells();
// The client size the layout uses (the window's, or the tests').
void ViewerGetClientSize(int* aWidth, int* aHeight);
// Without a window the layout uses this size (tests of the layout alone).
void ViewerSetTestClientSize(int aWidth, int aHeight);
class QWidget;
class QImage;
UI_Window* ViewerGetWindow();
QWidget* ViewerGetClientWidget();
QImage ViewerGrabClient();
