// Batch conversion: every editable model (.qre) below a chosen folder loaded
// as an open loads it and exported as .qrb beside it, on a worker thread that
// owns the editor scene and the command history while it runs. The dialog
// shows a line per step and can abort between files.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/ui/ui_dialog.h"

enum PranvelBatchId
{
    IDD_BATCH_CONVERSION = 143,
    IDC_BATCH_HIDDEN = 1028,
    IDC_BATCH_START = 1029,
    IDC_BATCH_CLOSE = 1030,
    IDC_BATCH_LIST = 1031,
    IDC_BATCH_ABORT = 1032,
};

class CBatchConversionDlg
{
public:
    ~CBatchConversionDlg();
    intptr_t DoModal(UI_Dialog* aParent);

    // The worker's walk (depth first, in listing order) and one file's load and export.
    void ConvertFolder(const std::string& aFolder);
    void ConvertFile(const std::string& aPath);

    // A name the walk converts: ends in ".qre", does not start with '_' or
    // "Copy of" (each without regard to case).
    static bool IsConvertible(const char* aName);
    // The export's name: a final ".qre" (any case) becomes ".qrb"; folders keep theirs.
    static std::string QRBPath(const std::string& aPath);
    // "qre_batchconversion_errors.txt" in the per-user data folder; empty when none.
    static std::string LogPath();

    bool IsRunning() const { return myRunning; }
    // The last file converted in this dialog's runs (empty: none).
    const std::string& GetLastConverted() const { return myLastConverted; }
    // Starts a run over aFolder as the Start button does after its folder choice.
    bool StartRun(const std::string& aFolder);
    UI_Dialog* GetDialog() const { return myDialog; }

    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnStart();
    void OnAbort();
    void Worker();
    void JoinWorker();

    UI_Dialog* myDialog = nullptr;
    std::atomic<bool> myKeepGoing{false};
    std::atomic<bool> myRunning{false};
    std::string myRootFolder;
    std::string myLastConverted;
    std::thread myWorker;
};

// The frame's Tools entry: the unsaved-changes question, the dialog, and
// afterwards the document names the last converted file.
void PranvelRunBatchConversion();
