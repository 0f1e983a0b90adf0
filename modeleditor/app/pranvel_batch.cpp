// Batch conversion of .qre files to .qrb on a worker thread.
#include "modeleditor/app/pranvel_batch.h"
#include "modeleditor/app/pranvel_leftview.h"
#include "modeleditor/app/pranvel_modeldlgs.h"
#include "modeleditor/app/pranvel_view.h"

#include "modeleditor/qre_command.h"
#include "modeleditor/qrendereditor.h"
#include "platform/os/os_file.h"
#include "platform/ui/ui_app.h"
#include "qrender/qr_render.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

namespace
{
const UI_ControlTemplate ourBatchControls[] = {
    {IDC_BATCH_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 297, 282,
     UI_STYLE_LB_NOINTEGRALHEIGHT | UI_STYLE_LB_NOTIFY | UI_STYLE_VSCROLL | UI_STYLE_BORDER},
    {IDC_BATCH_START, UI_CONTROL_PUSHBUTTON, "Start Convertion", 7, 293, 61, 14, 0},
    {IDC_BATCH_ABORT, UI_CONTROL_PUSHBUTTON, "Abort", 125, 293, 61, 14, 0},
    {IDC_BATCH_CLOSE, UI_CONTROL_PUSHBUTTON, "Close", 243, 293, 61, 14, 0},
    {IDC_BATCH_HIDDEN, UI_CONTROL_PUSHBUTTON, "Button1", 7, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON | UI_STYLE_HIDDEN},
};

void locSetButtons(UI_Dialog* aDialog, bool aRunningFlag)
{
    UI_EnableControl(aDialog, IDC_BATCH_START, !aRunningFlag);
    UI_EnableControl(aDialog, IDC_BATCH_CLOSE, !aRunningFlag);
    UI_EnableControl(aDialog, IDC_BATCH_ABORT, aRunningFlag);
}

std::string locCurrentDirectory()
{
    char locBuffer[PATH_MAX];
    return OS_GetCurrentDirectory(locBuffer, sizeof(locBuffer)) ? std::string(locBuffer) : std::string();
}
} // namespace

const UI_DialogTemplate CBatchConversionDlg::ourTemplate = {
    IDD_BATCH_CONVERSION, "Dialog", 311, 314, "MS Sans Serif", 8, ourBatchControls,
    int(sizeof(ourBatchControls) / sizeof(ourBatchControls[0]))};

CBatchConversionDlg::~CBatchConversionDlg()
{
    myKeepGoing = false;
    JoinWorker();
}

void CBatchConversionDlg::JoinWorker()
{
    if (!myWorker.joinable())
        return;
    // The worker's last calls to this thread must run while it is joined.
    while (myRunning)
        UI_DispatchMessages(false);
    myWorker.join();
}

intptr_t CBatchConversionDlg::DoModal(UI_Dialog* aParent)
{
    intptr_t locResult = UI_DoModal(ourTemplate, DialogProc, aParent, this);
    // A dialog that could not be made, or a test that left it, waits for its worker.
    myKeepGoing = false;
    JoinWorker();
    myDialog = nullptr;
    return locResult;
}

intptr_t CBatchConversionDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CBatchConversionDlg* t = static_cast<CBatchConversionDlg*>(UI_GetDialogUserData(aDialog));
    if (!t)
        return 0;
    switch (aMessage.myKind)
    {
    case UI_MSG_INITDIALOG: t->myDialog = aDialog; break;
    case UI_MSG_DESTROY: t->myDialog = nullptr; break;
    case UI_MSG_SHOWWINDOW:
        if (aMessage.myNotifyCode == 1)
            UI_EnableControl(aDialog, IDC_BATCH_ABORT, false);
        break;
    case UI_MSG_CLOSE:
        // Ending while the worker runs could leave it waiting on a question.
        if (!t->myRunning)
            UI_EndDialog(aDialog, UI_IDCANCEL);
        break;
    case UI_MSG_COMMAND:
        switch (aMessage.myControlId)
        {
        case IDC_BATCH_START: t->OnStart(); break;
        case IDC_BATCH_ABORT: t->OnAbort(); break;
        case IDC_BATCH_CLOSE:
        case UI_IDCANCEL:
            if (!t->myRunning)
                UI_EndDialog(aDialog, UI_IDCANCEL);
            break;
        default: break;
        }
        break;
    default: break;
    }
    return 0;
}

void CBatchConversionDlg::OnStart()
{
    QC_String locStart = QRenderEditor::ourInstance ? QRenderEditor::ourInstance->GetWorkDir() : QC_String();
    CFolderBrowser locBrowser(0, myDialog, locStart);
    if (!locBrowser.Browse())
        return;
    StartRun(locBrowser.GetSelectedPath());
}

bool CBatchConversionDlg::StartRun(const std::string& aFolder)
{
    if (myRunning)
        return false;
    JoinWorker();
    myRootFolder = aFolder;
    if (myDialog)
        locSetButtons(myDialog, true);
    myKeepGoing = true;
    myRunning = true;
    CPranvelView::ourBatchBusyFlag = true;
    // The worker's first device call takes the context.
    if (QR_Render::ourInstance)
        QR_Render::ourInstance->ReleaseContext();
    myWorker = std::thread([this] { Worker(); });
    return true;
}

void CBatchConversionDlg::OnAbort()
{
    if (myDialog)
        UI_EnableControl(myDialog, IDC_BATCH_ABORT, false);
    myKeepGoing = false;
}

void CBatchConversionDlg::Worker()
{
    ConvertFolder(myRootFolder);
    UI_CallOnUIThread([this] {
        if (myDialog)
            locSetButtons(myDialog, false);
    });
    if (QR_Render::ourInstance)
        QR_Render::ourInstance->ReleaseContext();
    CPranvelView::ourBatchBusyFlag = false;
    myRunning = false;
}

bool CBatchConversionDlg::IsConvertible(const char* aName)
{
    size_t n = strlen(aName);
    const char* locEnd = n > 4 ? aName + n - 4 : aName;
    if (strcasecmp(locEnd, ".qre") != 0)
        return false;
    if (aName[0] == '_')
        return false;
    return strncasecmp(aName, "Copy of", 7) != 0;
}

std::string CBatchConversionDlg::QRBPath(const std::string& aPath)
{
    std::string locPath = aPath;
    if (locPath.size() >= 4 && strcasecmp(locPath.c_str() + locPath.size() - 4, ".qre") == 0)
        locPath.replace(locPath.size() - 4, 4, ".qrb");
    return locPath;
}

std::string CBatchConversionDlg::LogPath()
{
    char locFolder[PATH_MAX];
    if (!OS_GetUserDataFolder("pranvel", locFolder, sizeof(locFolder)))
        return std::string();
    return std::string(locFolder) + "/qre_batchconversion_errors.txt";
}

void CBatchConversionDlg::ConvertFolder(const std::string& aFolder)
{
    struct Walk
    {
        CBatchConversionDlg* myThis;
        std::string myFolder;
    } locWalk = {this, aFolder};
    OS_ListDirectory(
        aFolder.c_str(),
        [](const OS_DirEntry& anEntry, void* aData) -> bool {
            Walk* w = static_cast<Walk*>(aData);
            if (!w->myThis->myKeepGoing)
                return false;
            std::string locPath = w->myFolder + "/" + anEntry.myName;
            if (anEntry.myInfo.myIsDirectory)
            {
                // A link to a folder is not followed: a loop would never end.
                struct stat locStat;
                if (lstat(locPath.c_str(), &locStat) == 0 && !S_ISLNK(locStat.st_mode))
                    w->myThis->ConvertFolder(locPath);
            }
            else if (IsConvertible(anEntry.myName))
            {
                std::string locDirectory = locCurrentDirectory();
                w->myThis->ConvertFile(locPath);
                if (!locDirectory.empty())
                    OS_SetCurrentDirectory(locDirectory.c_str());
            }
            return w->myThis->myKeepGoing;
        },
        &locWalk);
}

void CBatchConversionDlg::ConvertFile(const std::string& aPath)
{
    // Each visit to the user-interface thread costs the worker a round trip:
    // a file's lines go over in two.
    int locCursor = UI_CURSOR_ARROW;
    std::string locLoading = "Loading: " + aPath;
    UI_CallOnUIThread([this, &locCursor, &locLoading] {
        locCursor = UI_GetCursor();
        UI_SetCursor(UI_CURSOR_WAIT);
        if (myDialog)
            UI_ListAdd(myDialog, IDC_BATCH_LIST, locLoading.c_str());
    });
    QRenderEditor* locScene = QRenderEditor::ourInstance;
    if (locScene)
        locScene->ClearModel();
    CommandHandler* locHandler = CommandHandler::Get();
    myLastConverted = aPath;
    std::vector<std::string> locLines;
    // A file with lines the loader could not read would export a model short of
    // them: it fails as an unloadable one does.
    int locUnknown = 0;
    if (!locHandler || !LoadQRE(*locHandler, QC_String(aPath.c_str()), false, &locUnknown) || locUnknown > 0)
    {
        locLines.push_back("Conversion failed (couldn't load qre)");
        std::string locLog = LogPath();
        if (FILE* f = locLog.empty() ? nullptr : fopen(locLog.c_str(), "ab"))
        {
            fprintf(f, "Failed to load %s\n", aPath.c_str());
            fclose(f);
        }
    }
    else
    {
        std::string locQRB = QRBPath(aPath);
        locLines.push_back("Writing: " + locQRB);
        bool locWritten = !locScene || !locScene->GetTemplate() || locScene->ExportQRB(locQRB.c_str());
        locLines.push_back(locWritten ? "Conversion successful" : "Conversion failed (couldn't save qrb)");
    }
    locLines.push_back("");
    UI_CallOnUIThread([this, locCursor, &locLines] {
        if (myDialog)
            for (const std::string& locLine : locLines)
                UI_ListAdd(myDialog, IDC_BATCH_LIST, locLine.c_str());
        UI_SetCursor(locCursor);
    });
}

void PranvelRunBatchConversion()
{
    CLeftView* locView = CLeftView::ourInstance;
    if (locView && !locView->SaveModified())
    {
        locView->RebuildTree();
        return;
    }
    CBatchConversionDlg locDialog;
    locDialog.DoModal(nullptr);
    const std::string& locLast = locDialog.GetLastConverted();
    if (locView && !locLast.empty())
    {
        // The scene and history now hold that file: a later Save writes there.
        size_t locSlash = locLast.rfind('/');
        std::string locTitle = locLast.substr(locSlash == std::string::npos ? 0 : locSlash + 1);
        locView->SetDocument(locLast.c_str(), CLeftView::CutExtension(locTitle).c_str());
    }
}
