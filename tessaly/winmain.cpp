// Entry point of the model browser: Tessaly [FOLDER | FILE.qrb | FILE.dds].
#include "tessaly/main.h"

#include "platform/os/os_cmdline.h"
#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

static const OS_Option ourOptions[] = {{QC_Mem::ourCrashReportFlag, true}};
static const OS_CommandLine ourLine = {
    "Tessaly",
    "usage: Tessaly [FOLDER | FILE.qrb | FILE.dds]\n"
    "The model browser: live views of every .qrb model and .dds texture of\n"
    "FOLDER (else of the current folder), or of the one file. Start it in the\n"
    "data folder the models' texture paths are relative to.\n"
    "  -h, --help  this text\n",
    ourOptions, 1, true};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locStart = UI_StartProgram(ourLine, "one folder or file at most", QC_Mem::HandleCrashReportRun,
                                         &argc, argv, &locArguments);
    if (locStart != UI_START_GO_ON)
        return locStart;
    char* locArgv[] = {argv[0],
                       const_cast<char*>(locArguments.myOperands.empty() ? "" : locArguments.myOperands[0]),
                       nullptr};
    int locResult = ViewerMain(locArguments.myOperands.empty() ? 1 : 2, locArgv);
    UI_Shutdown();
    return locResult;
}
