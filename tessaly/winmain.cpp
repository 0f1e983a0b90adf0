// Entry point of the model browser: Tessaly [FOLDER | FILE.qrb | FILE.dds].
#include "tessaly/main.h"

#include "platform/ui/ui_app.h"
#include "qcommon/qc_crash.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (!UI_Init(&argc, argv))
    {
        std::fprintf(stderr, "Tessaly: no user interface\n");
        return 1;
    }
    // The second run after a crash only shows the report.
    if (QC_Mem::HandleCrashReportRun(argc, argv))
    {
        UI_Shutdown();
        return 0;
    }
    int locResult = ViewerMain(argc, argv);
    UI_Shutdown();
    return locResult;
}
