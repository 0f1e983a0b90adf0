// Entry point of the archive tool: Ostrane [ARCHIVE.sdf], the archive's path
// taken as given.
#include "ostrane/main.h"

#include "platform/os/os_cmdline.h"
#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

static const OS_Option ourOptions[] = {{QC_Mem::ourCrashReportFlag, true}};
static const OS_CommandLine ourLine = {
    "Ostrane",
    "usage: Ostrane [ARCHIVE.sdf]\n"
    "The SDF archive tool: lists ARCHIVE.sdf; without it starts empty\n"
    "(New SDF, Add files, Save SDF, Extract).\n"
    "  -h, --help  this text\n",
    ourOptions, 1, true};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locStart = UI_StartProgram(ourLine, "one archive at most (quote a name with blanks)",
                                         QC_Mem::HandleCrashReportRun, &argc, argv, &locArguments);
    if (locStart != UI_START_GO_ON)
        return locStart;
    int locResult = OstraneMain(locArguments.myOperands.empty() ? "" : locArguments.myOperands[0]);
    OstraneShutdown();
    UI_Shutdown();
    return locResult;
}
