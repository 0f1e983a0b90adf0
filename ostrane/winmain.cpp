// Entry point of the archive tool: the arguments form one command line, the
// path of an archive to load.
#include "ostrane/main.h"

#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
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
    std::string locCommandLine;
    for (int i = 1; i < argc; i++)
    {
        if (i > 1)
            locCommandLine += ' ';
        locCommandLine += argv[i];
    }
    int locResult = OstraneMain(locCommandLine.c_str());
    OstraneShutdown();
    UI_Shutdown();
    return locResult;
}
