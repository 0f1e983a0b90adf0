// Entry point of the data-language editor.
#include "korrinth/korrinth.h"

#include "platform/os/os_cmdline.h"
#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

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
    const int locStart = UI_StartProgram(ourLine, "one file at most", QC_Mem::HandleCrashReportRun, &argc,
                                         argv, &locArguments);
    if (locStart != UI_START_GO_ON)
        return locStart;
    int locResult = KorrinthMain(locArguments.myOperands.empty() ? nullptr : locArguments.myOperands[0],
                                 locArguments.Get("--select"));
    UI_Shutdown();
    return locResult;
}
