// Entry point of the model editor: the crash report run first, then the
// application with the command line's file.
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_scenedlgs.h"

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_gallery.h"
#include "qcommon/qc_crash.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (!UI_Init(&argc, argv))
    {
        std::fprintf(stderr, "Pranvel: no user interface\n");
        return 1;
    }
    if (QC_Mem::HandleCrashReportRun(argc, argv))
    {
        UI_Shutdown();
        return 0;
    }
    PranvelInstallDialogs();
    CPranvelApp locApp;
    int locResult = 1;
    if (locApp.InitInstance(argc, argv))
        locResult = UI_GalleryFolder() ? PranvelGallery(locApp.GetMainFrame()) : locApp.Run();
    locApp.ExitInstance();
    UI_Shutdown();
    return locResult;
}
