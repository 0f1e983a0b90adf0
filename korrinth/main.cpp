// Entry point of the data-language editor.
#include "korrinth/korrinth.h"

#include "platform/os/os_cmdline.h"
#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

#include <cstdio>

static const OS_Option ourOptions[] = {{"--select", true}, {QC_Mem::ourCrashReportFlag, true}};
static const OS_CommandLine ourLine = {
    "Korrinth",
    "usage: Korrinth [--select NAME] [FILE.velk]\n"
    "The Velk editor. Start it in the data folder that holds korrinth.velk and\n"
    "the .fruit types; it opens FILE.velk, or a new file without it.\n"
    "  --select NAME  select the root instance NAME in the tree, opening its editor\n"
    "  -h, --help     this text\n",
    ourOptions, 2, true};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (locArguments.myOperands.size() > 1)
        return OS_RefuseCommandLine(ourLine, "one file at most");
    if (!UI_Init(&argc, argv))
    {
        std::fprintf(stderr, "Korrinth: no user interface\n");
        return 1;
    }
    // The second run after a crash only shows the report.
    if (QC_Mem::HandleCrashReportRun(argc, argv))
    {
        UI_Shutdown();
        return 0;
    }
    int locResult = KorrinthMain(locArguments.myOperands.empty() ? nullptr : locArguments.myOperands[0],
                                 locArguments.Get("--select"));
    UI_Shutdown();
    return locResult;
}
