// Entry point of the archive tool: Ostrane [ARCHIVE.sdf], the archive's path
// taken as given.
#include "ostrane/main.h"

#include "platform/os/os_cmdline.h"
#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

#include <cstdio>

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
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (locArguments.myOperands.size() > 1)
        return OS_RefuseCommandLine(ourLine, "one archive at most (quote a name with blanks)");
    if (!UI_Init(&argc, argv))
    {
        std::fprintf(stderr, "Ostrane: no user interface\n");
        return 1;
    }
    // The second run after a crash only shows the report.
    if (QC_Mem::HandleCrashReportRun(argc, argv))
    {
        UI_Shutdown();
        return 0;
    }
    int locResult = OstraneMain(locArguments.myOperands.empty() ? "" : locArguments.myOperands[0]);
    OstraneShutdown();
    UI_Shutdown();
    return locResult;
}
