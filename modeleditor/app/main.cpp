// Entry point of the model editor: the crash report run first, then the
// application with the command line's file.
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_scenedlgs.h"

#include "platform/os/os_cmdline.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_gallery.h"
#include "qcommon/qc_crash.h"

static const OS_Option ourOptions[] = {{QC_Mem::ourCrashReportFlag, true}};
static const OS_CommandLine ourLine = {
    "Pranvel",
    "usage: Pranvel [FILE.qre]\n"
    "The model editor: opens the command file FILE.qre, or starts empty.\n"
    "It reads pranvel.cfg from the folder it starts in.\n"
    "  -h, --help  this text\n",
    ourOptions, 1, true};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locStart = UI_StartProgram(ourLine, "one file at most", QC_Mem::HandleCrashReportRun, &argc,
                                         argv, &locArguments);
    if (locStart != UI_START_GO_ON)
        return locStart;
    PranvelInstallDialogs();
    CPranvelApp locApp;
    int locResult = 1;
    char* locArgv[] = {argv[0],
                       const_cast<char*>(locArguments.myOperands.empty() ? "" : locArguments.myOperands[0]),
                       nullptr};
    if (locApp.InitInstance(locArguments.myOperands.empty() ? 1 : 2, locArgv))
        locResult = UI_GalleryFolder() ? PranvelGallery(locApp.GetMainFrame()) : locApp.Run();
    locApp.ExitInstance();
    UI_Shutdown();
    return locResult;
}
