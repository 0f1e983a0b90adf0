// pranvel_bench --batch N: N generated .qre files in a folder tree (each opens
// a LightWave box), converted to .qrb through the batch dialog's worker, against
// the same files converted in the same run by a plain loop of LoadQRE and
// QRBWriter::Write on one thread. Prints files per second, MB of .qrb per
// second and the ratio of the two times.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "modeleditor/app/pranvel_batch.h"
#include "modeleditor/lw_writer.h"
#include "modeleditor/qrbwriter.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog.h"

#include <QWidget>

namespace fs = std::filesystem;

namespace
{
using Clock = std::chrono::steady_clock;

double locSeconds(Clock::time_point aStart)
{
    return std::chrono::duration<double>(Clock::now() - aStart).count();
}

uint64_t locQRBBytes(const fs::path& aRoot, std::vector<fs::path>* aFiles)
{
    uint64_t locBytes = 0;
    for (auto& f : fs::recursive_directory_iterator(aRoot))
        if (f.path().extension() == ".qrb")
        {
            locBytes += fs::file_size(f.path());
            if (aFiles)
                aFiles->push_back(f.path());
        }
    return locBytes;
}
} // namespace

// aCount: checked by the caller, above 0.
int PranvelBatchBench(int argc, char** argv, int aCount)
{
    const int locCount = aCount;
    if (!UI_Init(&argc, argv))
        return 1;
    fs::path locDir = fs::temp_directory_path() / "pranvel_bench_batch";
    fs::remove_all(locDir);
    fs::create_directories(locDir / "tree");
    fs::current_path(locDir);

    // A box object of 12 triangles per file's model.
    if (!WriteLWBoxObject((locDir / "box.lwo").c_str()))
        return 1;

    QWidget locInputWindow;
    if (!QRenderEditor::Create(nullptr, &locInputWindow) || !CommandHandler::Create())
        return 1;
    QRenderEditor* e = QRenderEditor::ourInstance;
    e->SetWorkDir(locDir.c_str());
    CommandHandler* h = CommandHandler::Get();
    OpenModelCommand* locOpen = new OpenModelCommand;
    locOpen->myFileName = "box.lwo";
    locOpen->myModelName = "box";
    locOpen->myStateCode = "STND";
    if (!h->Run(QRECommand::CURRENT_VERSION, locOpen))
    {
        fprintf(stderr, "pranvel_bench: the box does not open\n");
        return 1;
    }
    // Ten files a folder, folders three deep at most.
    std::vector<fs::path> locFiles;
    for (int i = 0; i < locCount; i++)
    {
        fs::path f = locDir / "tree" / ("f" + std::to_string(i / 100)) / ("g" + std::to_string(i / 10 % 10)) /
                     ("model" + std::to_string(i) + ".qre");
        fs::create_directories(f.parent_path());
        if (!SaveQRE(*h, QC_String(f.c_str())))
            return 1;
        locFiles.push_back(f);
    }

    // Through the dialog's worker.
    CBatchConversionDlg locDialog;
    double locWorkerSeconds = 0.0;
    UI_SetModalHook([&](UI_Dialog* d) {
        Clock::time_point locStart = Clock::now();
        locDialog.StartRun((locDir / "tree").string());
        // As a modal loop waits: events as they come, no busy spinning.
        while (locDialog.IsRunning())
        {
            UI_DispatchMessages(false);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        UI_DispatchMessages(false);
        locWorkerSeconds = locSeconds(locStart);
        UI_EndDialog(d, UI_IDCANCEL);
    });
    locDialog.DoModal(nullptr);
    UI_SetModalHook(nullptr);
    std::vector<fs::path> locWritten;
    uint64_t locWorkerBytes = locQRBBytes(locDir / "tree", &locWritten);
    for (const fs::path& f : locWritten)
        fs::remove(f);

    // The plain loop on this thread.
    Clock::time_point locStart = Clock::now();
    int locConverted = 0;
    for (const fs::path& f : locFiles)
    {
        e->ClearModel();
        if (!LoadQRE(*h, QC_String(f.c_str()), false) || !e->GetTemplate())
            continue;
        fs::path q = f;
        q.replace_extension(".qrb");
        QRBWriter locWriter;
        locConverted += locWriter.Write(e->GetTemplate(), q.c_str());
    }
    double locLoopSeconds = locSeconds(locStart);
    uint64_t locLoopBytes = locQRBBytes(locDir / "tree", nullptr);

    printf("pranvel_bench --batch: %d files, %zu converted by the worker, %d by the loop\n", locCount,
           locWritten.size(), locConverted);
    printf("  dialog worker: %8.1f files/s  %7.2f MB/s of .qrb  (%.3f s)\n", locCount / locWorkerSeconds,
           locWorkerBytes / 1048576.0 / locWorkerSeconds, locWorkerSeconds);
    printf("  plain loop:    %8.1f files/s  %7.2f MB/s of .qrb  (%.3f s)\n", locCount / locLoopSeconds,
           locLoopBytes / 1048576.0 / locLoopSeconds, locLoopSeconds);
    printf("  ratio worker/loop time: %.2f\n", locWorkerSeconds / locLoopSeconds);
    CommandHandler::Destroy();
    QRenderEditor::Destroy();
    UI_Shutdown();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(locDir);
    return locWritten.size() == size_t(locCount) && locConverted == locCount ? 0 : 1;
}
