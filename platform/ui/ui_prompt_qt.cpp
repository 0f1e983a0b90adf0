// The default prompt service: Qt's message boxes and its own (non-native) file
// dialogs; standard error and the default answer where nobody can see them.
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt.h"

#include <QApplication>
#include <QColorDialog>
#include <QGridLayout>
#include <QLabel>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace
{
class UI_QtPromptService : public UI_PromptService
{
public:
    int MessageBox(const char* aCaption, const char* aText, int aFlags) override;
    bool FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult) override;
    bool ChooseColor(const char* aTitle, uint32_t* aColor) override;
    bool ChooseFolder(const char* aTitle, const char* aStatus, std::string* aFolder,
                      const UI_FolderStatusFn& aStatusFn) override;
};

struct WaitCursorLift
{
    WaitCursorLift() : myWaitFlag(UI_GetCursor() == UI_CURSOR_WAIT)
    {
        if (myWaitFlag)
            UI_SetCursor(UI_CURSOR_ARROW);
    }
    ~WaitCursorLift()
    {
        if (myWaitFlag)
            UI_SetCursor(UI_CURSOR_WAIT);
    }
    bool myWaitFlag;
};

bool ourForceInteractive = false;

bool locCanShow()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
           (ourForceInteractive || !UI_IsHeadless());
}

// The width a window needs for its whole caption in a window manager's title
// bar: the caption in the bold title font, and on each side room for three
// frame buttons, since managers centre the caption in the whole bar. Windows
// widens a message box so; Qt sizes one from its text, and a short text
// leaves "S..." of "SDF created".
int locCaptionWidth(const QString& aCaption)
{
    QFont locFont = QApplication::font();
    locFont.setBold(true);
    const QFontMetrics locMetrics(locFont);
    const int locButtons = 3 * (locMetrics.height() + 8) + 8;
    return locMetrics.horizontalAdvance(aCaption) + 2 * locButtons;
}

// A message box is never narrower than its caption needs, up to the screen's
// width. Qt fixes the box's size from its layout, so the room goes into the
// layout as a row of its own that holds nothing.
void locWidenForCaption(QMessageBox* aBox)
{
    QGridLayout* locGrid = qobject_cast<QGridLayout*>(aBox->layout());
    if (!locGrid)
        return;
    int locWidth = locCaptionWidth(aBox->windowTitle());
    if (QScreen* locScreen = QGuiApplication::primaryScreen())
        locWidth = std::min(locWidth, locScreen->availableGeometry().width() * 9 / 10);
    const QMargins locMargins = locGrid->contentsMargins();
    locWidth -= locMargins.left() + locMargins.right();
    if (locWidth <= 0)
        return;
    locGrid->addItem(new QSpacerItem(locWidth, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), locGrid->rowCount(), 0, 1,
                     locGrid->columnCount());
}

int UI_QtPromptService::MessageBox(const char* aCaption, const char* aText, int aFlags)
{
    if (!locCanShow())
    {
        std::fprintf(stderr, "[%s] %s\n", aCaption, aText);
        std::fflush(stderr);
        return OS_DefaultMessageBoxResult(aFlags);
    }
    // No owner window, as the boxes of the programs have none. The arrow shows
    // over the box even in the middle of a long operation.
    WaitCursorLift locLift;
    QMessageBox locBox;
    locBox.setWindowTitle(QString::fromUtf8(aCaption));
    locBox.setTextFormat(Qt::PlainText);
    locBox.setText(QString::fromUtf8(aText));
    if (aFlags & OS_MB_ICONERROR)
        locBox.setIcon(QMessageBox::Critical);
    else if (aFlags & OS_MB_ICONWARNING)
        locBox.setIcon(QMessageBox::Warning);
    else if (aFlags & OS_MB_ICONINFO)
        locBox.setIcon(QMessageBox::Information);
    if (aFlags & OS_MB_TOPMOST)
        locBox.setWindowFlag(Qt::WindowStaysOnTopHint, true);

    QAbstractButton* locButtons[3] = {nullptr, nullptr, nullptr};
    int locResults[3] = {OS_ID_OK, 0, 0};
    if (aFlags & OS_MB_YESNOCANCEL)
    {
        locButtons[0] = locBox.addButton(QMessageBox::Yes);
        locButtons[1] = locBox.addButton(QMessageBox::No);
        locButtons[2] = locBox.addButton(QMessageBox::Cancel);
        locResults[0] = OS_ID_YES;
        locResults[1] = OS_ID_NO;
        locResults[2] = OS_ID_CANCEL;
        locBox.setEscapeButton(locButtons[2]);
    }
    else if (aFlags & OS_MB_YESNO)
    {
        locButtons[0] = locBox.addButton(QMessageBox::Yes);
        locButtons[1] = locBox.addButton(QMessageBox::No);
        locResults[0] = OS_ID_YES;
        locResults[1] = OS_ID_NO;
    }
    else if (aFlags & OS_MB_OKCANCEL)
    {
        locButtons[0] = locBox.addButton(QMessageBox::Ok);
        locButtons[1] = locBox.addButton(QMessageBox::Cancel);
        locResults[1] = OS_ID_CANCEL;
        locBox.setEscapeButton(locButtons[1]);
    }
    else
    {
        locButtons[0] = locBox.addButton(QMessageBox::Ok);
        locBox.setEscapeButton(locButtons[0]);
    }
    locBox.setDefaultButton(qobject_cast<QPushButton*>(locButtons[0]));
    locWidenForCaption(&locBox);
    locBox.exec();
    QAbstractButton* locClicked = locBox.clickedButton();
    for (int i = 0; i < 3; i++)
        if (locButtons[i] && locButtons[i] == locClicked)
            return locResults[i];
    // Closed without a button: the escape button's answer.
    QAbstractButton* locEscape = locBox.escapeButton();
    for (int i = 0; i < 3; i++)
        if (locButtons[i] && locButtons[i] == locEscape)
            return locResults[i];
    return locResults[0];
}

bool UI_QtPromptService::FileDialog(const UI_FileDialogRequest& aRequest, UI_FileDialogResult* aResult)
{
    if (!locCanShow())
    {
        // Q_UI_FILE=<path>: the file picked in every file dialog (the programs' tests drive a
        // real process so, as Q_UI_COMMANDS picks its menu commands).
        const char* locPicked = std::getenv("Q_UI_FILE");
        if (locPicked && locPicked[0])
        {
            const QFileInfo locFile(QString::fromUtf8(locPicked));
            aResult->myDirectory = locFile.absolutePath().toStdString();
            aResult->myNames.assign(1, locFile.fileName().toStdString());
            return true;
        }
        std::fprintf(stderr, "[%s] no file dialog without a display\n",
                     aRequest.myKind == UI_FILEDIALOG_SAVE ? "Save As" : "Open");
        return false;
    }
    QString locTitle = QString::fromUtf8(aRequest.myTitle.c_str());
    if (locTitle.isEmpty())
        locTitle = aRequest.myKind == UI_FILEDIALOG_SAVE ? QStringLiteral("Save As") : QStringLiteral("Open");
    QString locDirectory = aRequest.myInitialDirectory.empty() ? QDir::currentPath()
                                                               : QString::fromUtf8(aRequest.myInitialDirectory.c_str());

    WaitCursorLift locLift;
    QFileDialog locDialog(nullptr, locTitle, locDirectory);
    // Qt's own dialog: its filters match without regard to case.
    locDialog.setOption(QFileDialog::DontUseNativeDialog, true);
    locDialog.setOption(QFileDialog::HideNameFilterDetails, true);
    locDialog.setFilter(locDialog.filter() & ~QDir::CaseSensitive);
    QStringList locFilters;
    for (const UI_FileFilter& locFilter : aRequest.myFilters)
    {
        // Qt separates patterns with blanks; its "*.*" wants a dot, Windows' takes every name.
        QStringList locPatterns = QString::fromUtf8(locFilter.myPattern.c_str()).split(';', Qt::SkipEmptyParts);
        for (QString& locPattern : locPatterns)
        {
            locPattern = locPattern.trimmed();
            if (locPattern == QLatin1String("*.*"))
                locPattern = QStringLiteral("*");
        }
        locFilters << QString::fromUtf8(locFilter.myText.c_str()) + " (" + locPatterns.join(' ') + ")";
    }
    if (!locFilters.isEmpty())
        locDialog.setNameFilters(locFilters);
    if (aRequest.myKind == UI_FILEDIALOG_SAVE)
    {
        locDialog.setAcceptMode(QFileDialog::AcceptSave);
        locDialog.setFileMode(QFileDialog::AnyFile);
        locDialog.setOption(QFileDialog::DontConfirmOverwrite, !(aRequest.myFlags & UI_FD_OVERWRITE_PROMPT));
    }
    else if (aRequest.myKind == UI_FILEDIALOG_OPEN_MULTI)
        locDialog.setFileMode(QFileDialog::ExistingFiles);
    else
        locDialog.setFileMode((aRequest.myFlags & UI_FD_FILE_MUST_EXIST) ? QFileDialog::ExistingFile
                                                                          : QFileDialog::AnyFile);
    if (!aRequest.myInitialName.empty())
        locDialog.selectFile(QString::fromUtf8(aRequest.myInitialName.c_str()));

    // The dialog may move the current directory; the caller's stays.
    char locCwd[4096];
    bool locHaveCwd = getcwd(locCwd, sizeof(locCwd)) != nullptr;
    bool locAccepted = locDialog.exec() == QDialog::Accepted;
    if (locHaveCwd && chdir(locCwd) != 0)
        std::perror("chdir");
    if (!locAccepted)
        return false;
    QStringList locFiles = locDialog.selectedFiles();
    if (locFiles.isEmpty())
        return false;
    aResult->myDirectory = QFileInfo(locFiles.front()).absolutePath().toStdString();
    for (const QString& locFile : locFiles)
        aResult->myNames.push_back(QFileInfo(locFile).fileName().toStdString());
    if (aRequest.myKind == UI_FILEDIALOG_SAVE && (aRequest.myFlags & UI_FD_PATH_MUST_EXIST) &&
        !QFileInfo(QString::fromStdString(aResult->myDirectory)).isDir())
        return false;
    return true;
}
bool UI_QtPromptService::ChooseColor(const char* aTitle, uint32_t* aColor)
{
    if (!locCanShow())
    {
        std::fprintf(stderr, "[%s] no colour dialog without a display\n", aTitle);
        return false;
    }
    WaitCursorLift locLift;
    // COLORREF holds red in its low byte.
    QColor locStart(int(*aColor & 0xFF), int((*aColor >> 8) & 0xFF), int((*aColor >> 16) & 0xFF));
    QColorDialog locDialog(locStart);
    locDialog.setOption(QColorDialog::DontUseNativeDialog, true);
    if (aTitle[0])
        locDialog.setWindowTitle(QString::fromUtf8(aTitle));
    if (locDialog.exec() != QDialog::Accepted)
        return false;
    QColor locColor = locDialog.selectedColor();
    *aColor = uint32_t(locColor.red()) | (uint32_t(locColor.green()) << 8) | (uint32_t(locColor.blue()) << 16);
    return true;
}

bool UI_QtPromptService::ChooseFolder(const char* aTitle, const char* aStatus, std::string* aFolder,
                                      const UI_FolderStatusFn& aStatusFn)
{
    if (!locCanShow())
    {
        std::fprintf(stderr, "[%s] no folder dialog without a display\n", aTitle);
        return false;
    }
    WaitCursorLift locLift;
    QString locStart = aFolder->empty() ? QDir::currentPath() : QString::fromUtf8(aFolder->c_str());
    QFileDialog locDialog(nullptr, QString::fromUtf8(aTitle[0] ? aTitle : "Browse for Folder"), locStart);
    locDialog.setOption(QFileDialog::DontUseNativeDialog, true);
    locDialog.setFileMode(QFileDialog::Directory);
    locDialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The status line below the folder view.
    QGridLayout* locGrid = qobject_cast<QGridLayout*>(locDialog.layout());
    if (locGrid && (aStatus[0] || aStatusFn))
    {
        // Paths are text, never markup.
        QLabel* locStatus = new QLabel(QString::fromUtf8(aStatus), &locDialog);
        locStatus->setTextFormat(Qt::PlainText);
        locGrid->addWidget(locStatus, locGrid->rowCount(), 0, 1, -1);
        if (aStatusFn)
        {
            // A click selects a folder in the view; entering one selects it
            // too while nothing inside is selected (no current item).
            auto locFollow = [&locDialog, locStatus, &aStatusFn](const QString& aPath) {
                QString locPath = aPath.isEmpty() ? locDialog.directory().absolutePath() : aPath;
                locStatus->setText(QString::fromStdString(aStatusFn(locPath.toStdString())));
            };
            QObject::connect(&locDialog, &QFileDialog::currentChanged, locStatus, locFollow);
            QObject::connect(&locDialog, &QFileDialog::directoryEntered, locStatus, locFollow);
        }
    }
    char locCwd[4096];
    bool locHaveCwd = getcwd(locCwd, sizeof(locCwd)) != nullptr;
    bool locAccepted = locDialog.exec() == QDialog::Accepted;
    if (locHaveCwd && chdir(locCwd) != 0)
        std::perror("chdir");
    if (!locAccepted || locDialog.selectedFiles().isEmpty())
        return false;
    *aFolder = QFileInfo(locDialog.selectedFiles().front()).absoluteFilePath().toStdString();
    return true;
}
} // namespace

void UI_SetDefaultPromptsInteractive(bool anInteractiveFlag)
{
    ourForceInteractive = anInteractiveFlag;
}

UI_PromptService* UI_GetDefaultPromptService()
{
    static UI_QtPromptService ourService;
    return &ourService;
}
