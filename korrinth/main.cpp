// Entry point of the data-language editor.
#include "korrinth/korrinth.h"

#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

#include <cstdio>

int main(int argc, char** argv)
{
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
    int locResult = KorrinthMain(argc, argv);
    UI_Shutdown();
    return locResult;
}
