// The prompt service: scripted answers, the platform/os hook, Qt's file dialog filters.
#include "platform/ui/ui_prompt.h"
#include "platform/ui/ui_prompt_script.h"

#include "platform/os/os_ui.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

TEST(PromptTest, LibraryMessageBoxesGoThroughTheInstalledService)
{
    UI_ScriptedPrompts locPrompts;
    UI_SetPromptService(&locPrompts);
    locPrompts.AnswerBox(OS_ID_CANCEL);
    EXPECT_EQ(OS_MessageBox("text", "caption", OS_MB_OKCANCEL), OS_ID_CANCEL);
    // Nothing scripted: the default button, counted.
    EXPECT_EQ(OS_MessageBox("second", "FatalError", OS_MB_ICONERROR), OS_ID_OK);
    EXPECT_EQ(locPrompts.myNumUnscripted, 1);
    EXPECT_EQ(locPrompts.GetBoxes(), (std::vector<std::string>{"caption|text", "FatalError|second"}));

    locPrompts.AnswerFiles("/data", {"a.txt", "b.txt"});
    UI_FileDialogRequest locRequest;
    locRequest.myKind = UI_FILEDIALOG_OPEN_MULTI;
    UI_FileDialogResult locResult;
    ASSERT_TRUE(UI_FileDialog(locRequest, &locResult));
    EXPECT_EQ(locResult.GetPath(1), "/data/b.txt");
    locPrompts.AnswerCancel();
    EXPECT_FALSE(UI_FileDialog(locRequest, &locResult));
    EXPECT_TRUE(locResult.myNames.empty());
    UI_SetPromptService(nullptr);
}

TEST(PromptTest, HeadlessDefaultServiceAnswersTheDefaultButton)
{
    EXPECT_EQ(UI_MessageBox("Are you sure?", "Press OK", OS_MB_OKCANCEL), OS_ID_OK);
    UI_FileDialogResult locResult;
    EXPECT_FALSE(UI_FileDialog(UI_FileDialogRequest(), &locResult));

    // A program driven in a test picks the file named in its environment.
    setenv("Q_UI_FILE", "models/tower.qre", 1);
    UI_FileDialogRequest locSave;
    locSave.myKind = UI_FILEDIALOG_SAVE;
    ASSERT_TRUE(UI_FileDialog(locSave, &locResult));
    unsetenv("Q_UI_FILE");
    EXPECT_EQ(locResult.GetPath(0), QDir::current().absoluteFilePath("models/tower.qre").toStdString());
    EXPECT_FALSE(UI_FileDialog(locSave, &locResult));
}

TEST(PromptTest, PatternsMatchWithoutRegardToCase)
{
    EXPECT_TRUE(UI_MatchFilePattern("*.SDF", "pack.sdf"));
    EXPECT_TRUE(UI_MatchFilePattern("*.sdf", "PACK.SDF"));
    EXPECT_FALSE(UI_MatchFilePattern("*.SDF", "pack.sdfx"));
    EXPECT_TRUE(UI_MatchFilePattern("*.txt;*.SDF", "a.Sdf"));
    EXPECT_TRUE(UI_MatchFilePattern("*.*", "abc"));
    EXPECT_TRUE(UI_MatchFilePattern("a?c*", "ABCdef"));
    EXPECT_FALSE(UI_MatchFilePattern("", "abc"));
}

// Qt's own dialog, set up as the default service sets it up, lists files of
// either case for an upper-case pattern.
TEST(PromptTest, QtFileDialogFilterIgnoresCase)
{
    std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / "filter";
    std::filesystem::remove_all(locDir);
    std::filesystem::create_directories(locDir);
    for (const char* locName : {"a.sdf", "b.SDF", "c.txt"})
    {
        QFile locFile(QString::fromStdString((locDir / locName).string()));
        ASSERT_TRUE(locFile.open(QIODevice::WriteOnly));
    }
    QFileDialog locDialog(nullptr, "Open", QString::fromStdString(locDir.string()));
    locDialog.setOption(QFileDialog::DontUseNativeDialog, true);
    locDialog.setOption(QFileDialog::HideNameFilterDetails, true);
    locDialog.setFilter(locDialog.filter() & ~QDir::CaseSensitive);
    locDialog.setNameFilters({"*.sdf (*.SDF)"});
    QFileSystemModel* locModel = locDialog.findChild<QFileSystemModel*>();
    ASSERT_NE(locModel, nullptr);
    bool locLoaded = false;
    QObject::connect(locModel, &QFileSystemModel::directoryLoaded, [&locLoaded]() { locLoaded = true; });
    locDialog.show();
    QElapsedTimer locClock;
    locClock.start();
    while (!locLoaded && locClock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QModelIndex locRoot = locModel->index(QString::fromStdString(locDir.string()));
    // Filtered entries are hidden rather than removed: count what the view shows.
    QListView* locView = locDialog.findChild<QListView*>("listView");
    ASSERT_NE(locView, nullptr);
    QApplication::processEvents();
    int locShown = 0;
    for (int i = 0; i < locModel->rowCount(locRoot); i++)
        if (!locView->isRowHidden(i))
        {
            QModelIndex locIndex = locView->model()->index(i, 0, locView->rootIndex());
            if (locIndex.isValid() && locIndex.flags() & Qt::ItemIsEnabled)
                locShown++;
        }
    locDialog.hide();
    EXPECT_EQ(locShown, 2);
}

namespace
{
// Runs aHandler on each tick while a dialog of type T is visible, polling in
// the prompt's own loop (a file dialog may refuse an answer until its listing
// has loaded). After two seconds any visible dialog is rejected. Polling ends
// with the returned timer.
template <class T, class F>
std::unique_ptr<QTimer> locWhileShown(F aHandler)
{
    std::unique_ptr<QTimer> locTimer(new QTimer);
    auto locTries = std::make_shared<int>(0);
    QObject::connect(locTimer.get(), &QTimer::timeout, [locTries, aHandler]() {
        for (QWidget* locWidget : QApplication::topLevelWidgets())
            if (T* locDialog = qobject_cast<T*>(locWidget); locDialog && locDialog->isVisible())
            {
                aHandler(locDialog);
                break;
            }
        if (++*locTries > 100)
            for (QWidget* locWidget : QApplication::topLevelWidgets())
                if (QDialog* locDialog = qobject_cast<QDialog*>(locWidget); locDialog && locDialog->isVisible())
                    locDialog->reject();
    });
    locTimer->start(20);
    return locTimer;
}
} // namespace

// The real Qt box: caption, text, the two buttons, no owner; Cancel answers Cancel.
TEST(PromptTest, QtMessageBoxShowsCaptionTextAndButtons)
{
    UI_SetDefaultPromptsInteractive(true);
    std::string locTitle, locText;
    int locNumButtons = 0;
    bool locHasParent = true;
    std::unique_ptr<QTimer> locDriver = locWhileShown<QMessageBox>([&](QMessageBox* aBox) {
        locTitle = aBox->windowTitle().toStdString();
        locText = aBox->text().toStdString();
        locNumButtons = (int) aBox->buttons().size();
        locHasParent = aBox->parentWidget() != nullptr;
        aBox->button(QMessageBox::Cancel)->click();
    });
    int locResult = UI_MessageBox("Warning", "SDF already exists. Press Ok to overwrite it.", OS_MB_OKCANCEL);
    UI_SetDefaultPromptsInteractive(false);
    EXPECT_EQ(locResult, OS_ID_CANCEL);
    EXPECT_EQ(locTitle, "Warning");
    EXPECT_EQ(locText, "SDF already exists. Press Ok to overwrite it.");
    EXPECT_EQ(locNumButtons, 2);
    EXPECT_FALSE(locHasParent);
}

// A title bar shows the whole caption: a box with a short text is widened for
// it (the caption in bold, centred, with three frame buttons of room on either
// side), and a box whose text is the wider keeps the width Qt gives it.
TEST(PromptTest, QtMessageBoxIsWideEnoughForItsWholeCaption)
{
    UI_SetDefaultPromptsInteractive(true);
    QFont locBold = QApplication::font();
    locBold.setBold(true);
    const QFontMetrics locMetrics(locBold);
    int locWidth = 0;
    std::unique_ptr<QTimer> locDriver = locWhileShown<QMessageBox>([&](QMessageBox* aBox) {
        locWidth = aBox->width();
        aBox->button(aBox->buttons().size() == 1 ? QMessageBox::Ok : QMessageBox::Cancel)->click();
    });
    for (const char* locCaption : {"SDF created", "Failed to create SDF!", "ERROR"})
    {
        locWidth = 0;
        UI_MessageBox(locCaption, "1 files in SDF", OS_MB_OK);
        EXPECT_GE(locWidth, locMetrics.horizontalAdvance(locCaption) + 2 * 3 * 24) << locCaption;
    }

    const char* locLong = "You have made changes to the existing SDF, these will be lost if you create a new one.";
    locWidth = 0;
    UI_MessageBox("Warning", locLong, OS_MB_OKCANCEL);
    const int locOurs = locWidth;
    locDriver.reset();
    QMessageBox locPlain;
    locPlain.setWindowTitle("Warning");
    locPlain.setTextFormat(Qt::PlainText);
    locPlain.setText(locLong);
    locPlain.addButton(QMessageBox::Ok);
    locPlain.addButton(QMessageBox::Cancel);
    locPlain.show();
    QApplication::processEvents();
    EXPECT_EQ(locOurs, locPlain.width());
    locPlain.hide();
    UI_SetDefaultPromptsInteractive(false);
}

// The real Qt file dialog: the chosen file comes back as directory and name.
TEST(PromptTest, QtFileDialogReturnsTheChosenFile)
{
    std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / "choose";
    std::filesystem::create_directories(locDir);
    {
        QFile locFile(QString::fromStdString((locDir / "pack.SDF").string()));
        ASSERT_TRUE(locFile.open(QIODevice::WriteOnly));
    }
    UI_SetDefaultPromptsInteractive(true);
    std::string locTitle;
    std::unique_ptr<QTimer> locDriver = locWhileShown<QFileDialog>([&](QFileDialog* aDialog) {
        locTitle = aDialog->windowTitle().toStdString();
        // Typed as a user would; selectFile waits for the directory listing.
        if (QLineEdit* locEdit = aDialog->findChild<QLineEdit*>("fileNameEdit"))
            locEdit->setText("pack.SDF");
        static_cast<QDialog*>(aDialog)->accept();
    });
    UI_FileDialogRequest locRequest;
    locRequest.myFilters.push_back({"*.sdf", "*.SDF"});
    locRequest.myInitialDirectory = locDir.string();
    locRequest.myFlags = UI_FD_FILE_MUST_EXIST | UI_FD_PATH_MUST_EXIST;
    UI_FileDialogResult locResult;
    bool locChosen = UI_FileDialog(locRequest, &locResult);
    UI_SetDefaultPromptsInteractive(false);
    EXPECT_EQ(locTitle, "Open");
    ASSERT_TRUE(locChosen);
    EXPECT_EQ(locResult.GetPath(0), (locDir / "pack.SDF").string());
}

// The real folder chooser: its status line follows the folder entered (the
// parent button) and the folder clicked, and the clicked one is the choice.
TEST(PromptTest, QtFolderChooserStatusFollowsTheSelection)
{
    std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / "folders";
    std::filesystem::remove_all(locDir);
    std::filesystem::create_directories(locDir / "outer" / "inner");
    std::string locOuter = (locDir / "outer").string(), locInner = (locDir / "outer" / "inner").string();
    UI_SetDefaultPromptsInteractive(true);
    std::vector<std::string> locShown;
    std::unique_ptr<QTimer> locDriver = locWhileShown<QFileDialog>([&](QFileDialog* aDialog) {
        QLabel* locStatus = nullptr;
        for (QLabel* locLabel : aDialog->findChildren<QLabel*>())
            if (locLabel->text() == "Pick one")
                locStatus = locLabel;
        QListView* locView = aDialog->findChild<QListView*>("listView");
        QFileSystemModel* locModel = aDialog->findChild<QFileSystemModel*>();
        QAbstractButton* locParent = aDialog->findChild<QAbstractButton*>("toParentButton");
        if (!locStatus || !locView || !locModel || !locParent)
            return;
        locShown.push_back(locStatus->text().toStdString());
        locParent->click();
        locShown.push_back(locStatus->text().toStdString());
        QModelIndex locIndex = locModel->index(QString::fromStdString(locInner));
        locView->selectionModel()->setCurrentIndex(locIndex,
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        locShown.push_back(locStatus->text().toStdString());
        static_cast<QDialog*>(aDialog)->accept();
    });
    std::string locFolder = locInner;
    bool locChosen = UI_ChooseFolder("Folder", "Pick one", &locFolder,
                                     [](const std::string& aFolder) { return "at " + aFolder; });
    UI_SetDefaultPromptsInteractive(false);
    ASSERT_TRUE(locChosen);
    EXPECT_EQ(locFolder, locInner);
    EXPECT_EQ(locShown, (std::vector<std::string>{"Pick one", "at " + locOuter, "at " + locInner}));
}
