// The document/view shell over QMainWindow.
//
// Sections: [SECTION] widgets, [SECTION] frame building, [SECTION] commands,
// [SECTION] document, [SECTION] panes and view, [SECTION] timers and keys.
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog_local.h"
#include "platform/ui/ui_qt.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLockFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPageSetupDialog>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

bool UI_FrameHandler::OnCommand(UI_Frame*, int)
{
    return false;
}
bool UI_FrameHandler::OnUpdateCommand(UI_Frame*, int, UI_CommandState*)
{
    return false;
}
bool UI_FrameHandler::OnViewMessage(UI_Frame*, const UI_ViewMessage&)
{
    return false;
}
void UI_FrameHandler::OnTimer(UI_Frame*, int)
{
}
void UI_FrameHandler::OnIdle(UI_Frame*)
{
}

// --- [SECTION] widgets ---

// The frame the termination signals close (the one shown last).
static UI_Frame* ourSignalFrame = nullptr;

class UI_FrameWindow;
class UI_ViewWidget;

struct UI_Frame
{
    UI_FrameWindow* myWindow = nullptr;
    UI_ViewWidget* myView = nullptr;
    QSplitter* mySplitter = nullptr;
    QToolBar* myToolBar = nullptr;
    QToolBar* myDialogBarRow = nullptr;
    QLabel* myMessagePane = nullptr;
    std::vector<std::pair<int, QLabel*>> myIndicators;
    std::string myIndicatorTexts[16];
    std::string myProgramName;
    std::vector<UI_FrameHandler*> myHandlers;
    UI_DocumentHandler* myDocument = nullptr;
    std::string myPath;
    std::string myTitle = "Untitled";
    bool myModified = false;
    std::vector<std::string> myRecentFiles;
    // One action per command id (menu item and toolbar button share it).
    QHash<int, QAction*> myActions;
    std::map<int, UI_CommandState> myStates;
    std::vector<UI_Accelerator> myAccelerators;
    QAction* myRecentActions[UI_RECENT_FILE_COUNT] = {};
    QString myRecentEmptyText;
    std::map<int, QTimer*> myTimers;
    UI_Dialog* myDialogBar = nullptr;
    UI_Dialog* myPane = nullptr;
    int myPaneFillId = 0;
    QImage myPicture;
    bool myPictureBorrowed = false; // myPicture stands on the program's pixels
    bool myPainting = false; // a picture presented while painting needs no second paint
    // Shown pixels, painted at UI_FrameUpdateView or soon after; made with the view.
    std::unique_ptr<UI_PaintLater> myPaintLater;
    int myCursorX = 0;
    int myCursorY = 0;
    bool myClosing = false;
    int myActivePane = UI_PANE_LEFT;
    int myLeftPaneWidth = 200;
};

namespace
{
// The modifiers of the view message being handled (or the last one), for UI_IsKeyDown.
Qt::KeyboardModifiers ourViewModifiers;

unsigned locKeyState(Qt::MouseButtons aButtons, Qt::KeyboardModifiers aModifiers)
{
    ourViewModifiers = aModifiers;
    unsigned locState = 0;
    if (aButtons & Qt::LeftButton)
        locState |= UI_MK_LBUTTON;
    if (aButtons & Qt::RightButton)
        locState |= UI_MK_RBUTTON;
    if (aButtons & Qt::MiddleButton)
        locState |= UI_MK_MBUTTON;
    if (aModifiers & Qt::ShiftModifier)
        locState |= UI_MK_SHIFT;
    if (aModifiers & Qt::ControlModifier)
        locState |= UI_MK_CONTROL;
    return locState;
}

bool locSendViewMessage(UI_Frame* aFrame, const UI_ViewMessage& aMessage)
{
    // A copy: a handler may remove itself.
    std::vector<UI_FrameHandler*> locHandlers = aFrame->myHandlers;
    for (UI_FrameHandler* locHandler : locHandlers)
        if (locHandler->OnViewMessage(aFrame, aMessage))
            return true;
    return false;
}
} // namespace

class UI_ViewWidget : public QWidget
{
public:
    UI_ViewWidget(UI_Frame* aFrame, QWidget* aParent) : QWidget(aParent), myFrame(aFrame)
    {
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void SendMouse(int aKind, QMouseEvent* anEvent)
    {
        UI_ViewMessage locMessage;
        locMessage.myKind = aKind;
        QPoint locPos = anEvent->position().toPoint();
        locMessage.myX = locPos.x();
        locMessage.myY = locPos.y();
        myFrame->myCursorX = locPos.x();
        myFrame->myCursorY = locPos.y();
        locMessage.myKeyState = locKeyState(anEvent->buttons(), anEvent->modifiers());
        locSendViewMessage(myFrame, locMessage);
    }
    void mousePressEvent(QMouseEvent* anEvent) override
    {
        setFocus(Qt::MouseFocusReason);
        if (anEvent->button() == Qt::LeftButton)
            SendMouse(UI_VM_LBUTTONDOWN, anEvent);
        else if (anEvent->button() == Qt::RightButton)
            SendMouse(UI_VM_RBUTTONDOWN, anEvent);
        else if (anEvent->button() == Qt::MiddleButton)
            SendMouse(UI_VM_MBUTTONDOWN, anEvent);
    }
    void mouseReleaseEvent(QMouseEvent* anEvent) override
    {
        if (anEvent->button() == Qt::LeftButton)
            SendMouse(UI_VM_LBUTTONUP, anEvent);
        else if (anEvent->button() == Qt::RightButton)
            SendMouse(UI_VM_RBUTTONUP, anEvent);
        else if (anEvent->button() == Qt::MiddleButton)
            SendMouse(UI_VM_MBUTTONUP, anEvent);
    }
    void mouseDoubleClickEvent(QMouseEvent* anEvent) override
    {
        if (anEvent->button() == Qt::LeftButton)
            SendMouse(UI_VM_LBUTTONDBLCLK, anEvent);
    }
    void mouseMoveEvent(QMouseEvent* anEvent) override { SendMouse(UI_VM_MOUSEMOVE, anEvent); }
    void wheelEvent(QWheelEvent* anEvent) override
    {
        UI_ViewMessage locMessage;
        locMessage.myKind = UI_VM_MOUSEWHEEL;
        QPoint locPos = anEvent->position().toPoint();
        locMessage.myX = locPos.x();
        locMessage.myY = locPos.y();
        locMessage.myKeyState = locKeyState(anEvent->buttons(), anEvent->modifiers());
        locMessage.myWheelDelta = anEvent->angleDelta().y();
        locSendViewMessage(myFrame, locMessage);
    }
    void keyPressEvent(QKeyEvent* anEvent) override { SendKey(anEvent, true); }
    void keyReleaseEvent(QKeyEvent* anEvent) override { SendKey(anEvent, false); }
    void SendKey(QKeyEvent* anEvent, bool aDownFlag)
    {
        UI_ViewMessage locMessage;
        locMessage.myKind = aDownFlag ? UI_VM_KEYDOWN : UI_VM_KEYUP;
        ourViewModifiers = anEvent->modifiers();
        locMessage.myVirtualKey = UI_VirtualKeyFromQt(anEvent->key(), int(anEvent->modifiers()));
        locMessage.myX = myFrame->myCursorX;
        locMessage.myY = myFrame->myCursorY;
        bool locTaken = locMessage.myVirtualKey != 0 && locSendViewMessage(myFrame, locMessage);
        // WM_CHAR follows the key-down for keys that make characters.
        if (aDownFlag)
            for (char32_t locChar : anEvent->text().toUcs4())
                if (locChar >= 0x20 || locChar == '\r' || locChar == '\b' || locChar == 0x1B || locChar == '\t')
                {
                    UI_ViewMessage locCharMessage;
                    locCharMessage.myKind = UI_VM_CHAR;
                    locCharMessage.myChar = unsigned(locChar);
                    locTaken = locSendViewMessage(myFrame, locCharMessage) || locTaken;
                }
        if (!locTaken)
            anEvent->ignore();
    }
    void resizeEvent(QResizeEvent* anEvent) override
    {
        UI_ViewMessage locMessage;
        locMessage.myKind = UI_VM_SIZE;
        locMessage.myWidth = anEvent->size().width();
        locMessage.myHeight = anEvent->size().height();
        locSendViewMessage(myFrame, locMessage);
    }
    void paintEvent(QPaintEvent*) override
    {
        UI_ViewMessage locMessage;
        locMessage.myKind = UI_VM_PAINT;
        locMessage.myWidth = width();
        locMessage.myHeight = height();
        if (myFrame->myPaintLater)
            myFrame->myPaintLater->Painted();
        myFrame->myPainting = true;
        locSendViewMessage(myFrame, locMessage);
        myFrame->myPainting = false;
        QPainter locPainter(this);
        // Under an opaque picture only the area it leaves is filled.
        const QImage& locPicture = myFrame->myPicture;
        if (locPicture.hasAlphaChannel())
            locPainter.fillRect(rect(), palette().color(QPalette::Base));
        else if (locPicture.width() < width() || locPicture.height() < height())
            for (const QRect& locRest : QRegion(rect()).subtracted(QRegion(locPicture.rect())))
                locPainter.fillRect(locRest, palette().color(QPalette::Base));
        if (!locPicture.isNull())
            locPainter.drawImage(0, 0, locPicture);
    }

private:
    UI_Frame* myFrame;
};

class UI_FrameWindow : public QMainWindow
{
public:
    explicit UI_FrameWindow(UI_Frame* aFrame) : myFrame(aFrame) {}

protected:
    void closeEvent(QCloseEvent* anEvent) override
    {
        if (myFrame->myClosing || UI_FrameSaveModified(myFrame))
        {
            anEvent->accept();
            UI_PostQuitMessage(0);
        }
        else
            anEvent->ignore();
    }

private:
    UI_Frame* myFrame;
};

// Accelerators are looked up before a focused control sees the key, as the
// Windows message loop translates them first.
class UI_AcceleratorFilter : public QObject
{
public:
    UI_AcceleratorFilter(UI_Frame* aFrame, QObject* aParent) : QObject(aParent), myFrame(aFrame) {}

protected:
    bool eventFilter(QObject* aWatched, QEvent* anEvent) override
    {
        if (anEvent->type() != QEvent::KeyPress && anEvent->type() != QEvent::ShortcutOverride)
            return false;
        QWidget* locWidget = qobject_cast<QWidget*>(aWatched);
        if (!locWidget || locWidget->window() != static_cast<QWidget*>(myFrame->myWindow))
            return false;
        QKeyEvent* locKey = static_cast<QKeyEvent*>(anEvent);
        int locVirtualKey = UI_VirtualKeyFromQt(locKey->key(), int(locKey->modifiers()));
        int locModifiers = 0;
        if (locKey->modifiers() & Qt::ShiftModifier)
            locModifiers |= UI_MOD_SHIFT;
        if (locKey->modifiers() & Qt::ControlModifier)
            locModifiers |= UI_MOD_CONTROL;
        if (locKey->modifiers() & Qt::AltModifier)
            locModifiers |= UI_MOD_ALT;
        for (const UI_Accelerator& locAccelerator : myFrame->myAccelerators)
            if (locAccelerator.myVirtualKey == locVirtualKey && locAccelerator.myModifiers == locModifiers)
            {
                if (anEvent->type() == QEvent::ShortcutOverride)
                    return false; // the key press follows
                UI_FrameUpdateCommands(myFrame);
                UI_FrameDoCommand(myFrame, locAccelerator.myId);
                return true;
            }
        return false;
    }

private:
    UI_Frame* myFrame;
};

// --- [SECTION] frame building ---

namespace
{
QString locSettingsFile(const std::string& aProgram)
{
    // Read each time, so that a changed XDG_CONFIG_HOME (tests) is followed.
    const char* locConfig = std::getenv("XDG_CONFIG_HOME");
    QString locFolder = locConfig && locConfig[0] ? QString::fromUtf8(locConfig)
                                                   : QDir::homePath() + QStringLiteral("/.config");
    QString locName = QString::fromStdString(aProgram);
    return locFolder + QLatin1Char('/') + locName + QLatin1Char('/') + locName + QStringLiteral(".conf");
}

void locLoadRecentFiles(UI_Frame* aFrame)
{
    QSettings locSettings(locSettingsFile(aFrame->myProgramName), QSettings::IniFormat);
    aFrame->myRecentFiles.clear();
    for (int i = 0; i < UI_RECENT_FILE_COUNT; i++)
    {
        QString locPath = locSettings.value(QStringLiteral("Recent File List/File%1").arg(i + 1)).toString();
        if (!locPath.isEmpty())
            aFrame->myRecentFiles.push_back(locPath.toStdString());
    }
}

// A program killed as it took the settings' lock leaves the lock file without
// its owner's name: Qt would wait out its stale time (30 s) at the next write.
// Qt writes the name at once after making the file, so one still unnamed a
// second later is a dead program's.
void locDropUnnamedSettingsLock(const QString& aSettingsFile)
{
    const QString locName = aSettingsFile + QStringLiteral(".lock");
    QLockFile locLock(locName);
    qint64 locOwner = 0;
    QString locHost, locProgram;
    if (!QFileInfo::exists(locName) || locLock.getLockInfo(&locOwner, &locHost, &locProgram))
        return;
    locLock.setStaleLockTime(1000);
    if (locLock.tryLock(0))
        locLock.unlock();
}

void locSaveRecentFiles(UI_Frame* aFrame)
{
    locDropUnnamedSettingsLock(locSettingsFile(aFrame->myProgramName));
    QSettings locSettings(locSettingsFile(aFrame->myProgramName), QSettings::IniFormat);
    for (int i = 0; i < UI_RECENT_FILE_COUNT; i++)
    {
        QString locKey = QStringLiteral("Recent File List/File%1").arg(i + 1);
        if (size_t(i) < aFrame->myRecentFiles.size())
            locSettings.setValue(locKey, QString::fromStdString(aFrame->myRecentFiles[i]));
        else
            locSettings.remove(locKey);
    }
}

void locShowRecentFiles(UI_Frame* aFrame)
{
    for (int i = 0; i < UI_RECENT_FILE_COUNT; i++)
    {
        QAction* locAction = aFrame->myRecentActions[i];
        if (!locAction)
            continue;
        if (size_t(i) < aFrame->myRecentFiles.size())
        {
            QString locPath = QString::fromStdString(aFrame->myRecentFiles[i]);
            locPath.replace(QLatin1Char('&'), QStringLiteral("&&"));
            locAction->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(locPath));
            locAction->setVisible(true);
        }
        else
        {
            // An empty list shows the table's text, disabled.
            locAction->setText(i == 0 ? aFrame->myRecentEmptyText : QString());
            locAction->setVisible(i == 0);
        }
    }
}

void locAddRecentFile(UI_Frame* aFrame, const std::string& aPath)
{
    std::vector<std::string>& locList = aFrame->myRecentFiles;
    // Already at the top as written: the settings file would be written with what it holds.
    if (!locList.empty() && locList.front() == aPath)
        return;
    for (size_t i = 0; i < locList.size(); i++)
        if (QString::fromStdString(locList[i]).compare(QString::fromStdString(aPath), Qt::CaseInsensitive) == 0)
        {
            locList.erase(locList.begin() + i);
            break;
        }
    locList.insert(locList.begin(), aPath);
    if (locList.size() > size_t(UI_RECENT_FILE_COUNT))
        locList.resize(UI_RECENT_FILE_COUNT);
    locSaveRecentFiles(aFrame);
    locShowRecentFiles(aFrame);
}

void locDropRecentFile(UI_Frame* aFrame, const std::string& aPath)
{
    std::vector<std::string>& locList = aFrame->myRecentFiles;
    for (size_t i = 0; i < locList.size(); i++)
        if (locList[i] == aPath)
        {
            locList.erase(locList.begin() + i);
            locSaveRecentFiles(aFrame);
            locShowRecentFiles(aFrame);
            return;
        }
}

void locUpdateTitle(UI_Frame* aFrame)
{
    QString locTitle = QString::fromStdString(aFrame->myTitle + " - " + aFrame->myProgramName);
    locTitle.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    aFrame->myWindow->setWindowTitle(locTitle);
}

QAction* locAction(UI_Frame* aFrame, int anId, const QString& aText)
{
    QAction*& locAction = aFrame->myActions[anId];
    if (!locAction)
    {
        locAction = new QAction(aText, aFrame->myWindow);
        QObject::connect(locAction, &QAction::triggered, aFrame->myWindow,
                         [aFrame, anId]() { UI_FrameDoCommand(aFrame, anId); });
        aFrame->myStates[anId] = UI_CommandState();
    }
    return locAction;
}

QIcon locIcon(const UI_Image& anImage)
{
    QImage locImage = UI_ToQImage(anImage);
    return locImage.isNull() ? QIcon() : QIcon(QPixmap::fromImage(locImage));
}

void locBuildMenus(UI_Frame* aFrame, const UI_FrameTemplate& aTemplate)
{
    std::vector<QMenu*> locStack;
    for (int i = 0; i < aTemplate.myNumMenuEntries; i++)
    {
        const UI_MenuEntry& locEntry = aTemplate.myMenu[i];
        QString locText = QString::fromUtf8(locEntry.myText ? locEntry.myText : "");
        switch (locEntry.myKind)
        {
        case UI_MENU_POPUP:
        {
            QMenu* locMenu = locStack.empty() ? aFrame->myWindow->menuBar()->addMenu(locText)
                                              : locStack.back()->addMenu(locText);
            QObject::connect(locMenu, &QMenu::aboutToShow, aFrame->myWindow,
                             [aFrame]() { UI_FrameUpdateCommands(aFrame); });
            locStack.push_back(locMenu);
            break;
        }
        case UI_MENU_END:
            if (!locStack.empty())
                locStack.pop_back();
            break;
        case UI_MENU_SEPARATOR:
            if (!locStack.empty())
                locStack.back()->addSeparator();
            break;
        case UI_MENU_ITEM:
        default:
            if (locStack.empty())
                break;
            if (locEntry.myId == UI_ID_FILE_MRU_FIRST)
            {
                aFrame->myRecentEmptyText = locText;
                for (int r = 0; r < UI_RECENT_FILE_COUNT; r++)
                {
                    aFrame->myRecentActions[r] = locAction(aFrame, UI_ID_FILE_MRU_FIRST + r, locText);
                    locStack.back()->addAction(aFrame->myRecentActions[r]);
                }
                break;
            }
            // QMenu shows the text after a tab as the shortcut column.
            locStack.back()->addAction(locAction(aFrame, locEntry.myId, locText));
            break;
        }
    }
}
} // namespace

UI_Frame* UI_CreateFrame(const UI_FrameTemplate& aTemplate)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    UI_Frame* locFrame = new UI_Frame;
    locFrame->myProgramName = aTemplate.myProgramName ? aTemplate.myProgramName : "";
    locFrame->myWindow = new UI_FrameWindow(locFrame);
    // Owned by the window, so it leaves the application's filters with it.
    qApp->installEventFilter(new UI_AcceleratorFilter(locFrame, locFrame->myWindow));
    for (int i = 0; i < aTemplate.myNumAccelerators; i++)
        locFrame->myAccelerators.push_back(aTemplate.myAccelerators[i]);

    locBuildMenus(locFrame, aTemplate);

    locFrame->myToolBar = locFrame->myWindow->addToolBar(QStringLiteral("Toolbar"));
    locFrame->myToolBar->setIconSize(QSize(16, 15));
    locFrame->myToolBar->setMovable(false);
    for (int i = 0; i < aTemplate.myNumToolButtons; i++)
    {
        const UI_ToolButton& locButton = aTemplate.myToolButtons[i];
        if (locButton.myId == 0)
        {
            locFrame->myToolBar->addSeparator();
            continue;
        }
        QAction* locButtonAction = locAction(locFrame, locButton.myId, QString());
        if (locButtonAction->text().isEmpty())
            locButtonAction->setText(QString::fromUtf8(locButton.myToolTip ? locButton.myToolTip : ""));
        if (locButton.myToolTip)
            locButtonAction->setToolTip(QString::fromUtf8(locButton.myToolTip));
        if (locButton.myImage >= 0 && locButton.myImage < aTemplate.myNumToolImages)
            locButtonAction->setIcon(locIcon(aTemplate.myToolImages[locButton.myImage]));
        locFrame->myToolBar->addAction(locButtonAction);
    }

    QStatusBar* locStatus = locFrame->myWindow->statusBar();
    locFrame->myMessagePane = new QLabel(QStringLiteral("Ready"), locStatus);
    locStatus->addWidget(locFrame->myMessagePane, 1);
    for (int i = 0; i < aTemplate.myNumIndicators && i < 16; i++)
    {
        const UI_Indicator& locIndicator = aTemplate.myIndicators[i];
        QLabel* locLabel = new QLabel(locStatus);
        locLabel->setFrameShape(QFrame::Panel);
        locLabel->setFrameShadow(QFrame::Sunken);
        QString locText = QString::fromUtf8(locIndicator.myText ? locIndicator.myText : "");
        locLabel->setMinimumWidth(locLabel->fontMetrics().horizontalAdvance(locText) + 8);
        locStatus->addPermanentWidget(locLabel);
        locFrame->myIndicators.emplace_back(locIndicator.myId, locLabel);
        locFrame->myIndicatorTexts[i] = locText.toStdString();
        locFrame->myStates[locIndicator.myId] = UI_CommandState{false, false};
    }

    locFrame->mySplitter = new QSplitter(Qt::Horizontal, locFrame->myWindow);
    locFrame->mySplitter->setChildrenCollapsible(false);
    QWidget* locEmptyPane = new QWidget(locFrame->mySplitter);
    locFrame->mySplitter->addWidget(locEmptyPane);
    locFrame->myView = new UI_ViewWidget(locFrame, locFrame->mySplitter);
    locFrame->myPaintLater = std::make_unique<UI_PaintLater>(locFrame->myView);
    locFrame->mySplitter->addWidget(locFrame->myView);
    int locLeft = aTemplate.myLeftPaneWidth > 0 ? aTemplate.myLeftPaneWidth : 200;
    locFrame->myLeftPaneWidth = locLeft;
    locFrame->mySplitter->setSizes({locLeft, 800});
    locFrame->mySplitter->setStretchFactor(1, 1);
    locFrame->myWindow->setCentralWidget(locFrame->mySplitter);
    locFrame->myWindow->resize(1024, 768);

    QObject::connect(qApp, &QApplication::focusChanged, locFrame->myWindow, [locFrame](QWidget*, QWidget* aNow) {
        if (!aNow)
            return;
        if (locFrame->myView == aNow || locFrame->myView->isAncestorOf(aNow))
            locFrame->myActivePane = UI_PANE_VIEW;
        else if (locFrame->mySplitter->widget(0) == aNow || locFrame->mySplitter->widget(0)->isAncestorOf(aNow))
            locFrame->myActivePane = UI_PANE_LEFT;
    });

    locLoadRecentFiles(locFrame);
    locShowRecentFiles(locFrame);
    locUpdateTitle(locFrame);
    UI_FrameUpdateCommands(locFrame);
    return locFrame;
}

void UI_DestroyFrame(UI_Frame* aFrame)
{
    if (!aFrame)
        return;
    for (auto& locTimer : aFrame->myTimers)
        delete locTimer.second;
    aFrame->myTimers.clear();
    if (aFrame->myDialogBar)
        UI_DestroyDialog(aFrame->myDialogBar);
    if (aFrame->myPane)
        UI_DestroyDialog(aFrame->myPane);
    aFrame->myClosing = true;
    if (ourSignalFrame == aFrame)
        ourSignalFrame = nullptr;
    delete aFrame->myWindow;
    delete aFrame;
}

// A termination signal closes the shown frame without the save question.
static void locCloseSignalFrame()
{
    if (!ourSignalFrame)
        return;
    ourSignalFrame->myClosing = true;
    ourSignalFrame->myWindow->close();
}

static void locWatchSignals(UI_Frame* aFrame)
{
    ourSignalFrame = aFrame;
    UI_SetEndHook(locCloseSignalFrame);
}

void UI_FrameShow(UI_Frame* aFrame)
{
    if (!aFrame)
        return;
    locWatchSignals(aFrame);
    aFrame->myWindow->showMaximized();
    // The static splitter: the left pane keeps its width, the view takes the rest.
    int locTotal = aFrame->mySplitter->width();
    if (locTotal > aFrame->myLeftPaneWidth)
        aFrame->mySplitter->setSizes({aFrame->myLeftPaneWidth, locTotal - aFrame->myLeftPaneWidth});
    if (!UI_IsHeadless())
    {
        aFrame->myWindow->raise();
        aFrame->myWindow->activateWindow();
    }
    static bool ourCommandsSent = false;
    const char* locCommands = std::getenv("Q_UI_COMMANDS");
    if (!ourCommandsSent && locCommands && locCommands[0])
    {
        ourCommandsSent = true;
        std::vector<int> locIds;
        for (const QString& locId : QString::fromUtf8(locCommands).split(QLatin1Char(',')))
            locIds.push_back(locId.trimmed().toInt());
        QTimer::singleShot(0, aFrame->myWindow, [aFrame, locIds]() {
            for (int locId : locIds)
            {
                UI_FrameUpdateCommands(aFrame);
                UI_FrameDoCommand(aFrame, locId);
            }
        });
    }
    // A view drawn on a timer counts once it shows its first picture.
    if (std::getenv("Q_UI_FIRST_DRAWN"))
        QTimer::singleShot(0, aFrame->myWindow, [aFrame]() {
            if (aFrame->myTimers.empty())
                UI_NoteWindowDrawn(aFrame->myWindow);
        });
    UI_GrabAndQuitIfRequested(UI_GRAB_FRAME, aFrame->myWindow,
                              [aFrame](const char* aFile) { UI_GrabFrame(aFrame, aFile); });
}

bool UI_FrameClose(UI_Frame* aFrame)
{
    if (!aFrame || !UI_FrameSaveModified(aFrame))
        return false;
    aFrame->myClosing = true;
    aFrame->myWindow->close();
    UI_PostQuitMessage(0);
    return true;
}

void UI_FrameAddHandler(UI_Frame* aFrame, UI_FrameHandler* aHandler)
{
    if (aFrame && aHandler)
        aFrame->myHandlers.push_back(aHandler);
}

void UI_FrameRemoveHandler(UI_Frame* aFrame, UI_FrameHandler* aHandler)
{
    if (!aFrame)
        return;
    std::vector<UI_FrameHandler*>& locList = aFrame->myHandlers;
    for (size_t i = 0; i < locList.size(); i++)
        if (locList[i] == aHandler)
        {
            locList.erase(locList.begin() + i);
            return;
        }
}

void UI_FrameSetDocument(UI_Frame* aFrame, UI_DocumentHandler* aDocument)
{
    if (aFrame)
        aFrame->myDocument = aDocument;
}

// --- [SECTION] commands ---

namespace
{
bool locIsShellCommand(UI_Frame* aFrame, int anId)
{
    switch (anId)
    {
    case UI_ID_FILE_NEW:
    case UI_ID_FILE_OPEN:
    case UI_ID_FILE_SAVE:
    case UI_ID_FILE_SAVE_AS:
        return aFrame->myDocument != nullptr;
    case UI_ID_FILE_PRINT:
    case UI_ID_FILE_PRINT_PREVIEW:
    case UI_ID_FILE_PRINT_SETUP:
        return aFrame->myDocument != nullptr;
    case UI_ID_APP_EXIT:
    case UI_ID_VIEW_TOOLBAR:
    case UI_ID_VIEW_STATUS_BAR:
        return true;
    default:
        return aFrame->myDocument && anId >= UI_ID_FILE_MRU_FIRST &&
               anId < UI_ID_FILE_MRU_FIRST + int(aFrame->myRecentFiles.size());
    }
}

UI_CommandState locAsk(UI_Frame* aFrame, int anId)
{
    std::vector<UI_FrameHandler*> locHandlers = aFrame->myHandlers;
    for (UI_FrameHandler* locHandler : locHandlers)
    {
        UI_CommandState locState;
        if (locHandler->OnUpdateCommand(aFrame, anId, &locState))
            return locState;
    }
    UI_CommandState locState;
    locState.myEnabled = locIsShellCommand(aFrame, anId);
    if (anId == UI_ID_VIEW_TOOLBAR)
        locState.myChecked = aFrame->myToolBar->isVisible() || !aFrame->myWindow->isVisible();
    if (anId == UI_ID_VIEW_STATUS_BAR)
        locState.myChecked = aFrame->myWindow->statusBar()->isVisible() || !aFrame->myWindow->isVisible();
    return locState;
}

bool locShellCommand(UI_Frame* aFrame, int anId);
} // namespace

void UI_FrameUpdateCommands(UI_Frame* aFrame)
{
    if (!aFrame)
        return;
    for (auto it = aFrame->myActions.begin(); it != aFrame->myActions.end(); ++it)
    {
        UI_CommandState locState = locAsk(aFrame, it.key());
        aFrame->myStates[it.key()] = locState;
        it.value()->setEnabled(locState.myEnabled);
        it.value()->setCheckable(locState.myChecked || it.value()->isCheckable());
        it.value()->setChecked(locState.myChecked);
    }
    for (size_t i = 0; i < aFrame->myIndicators.size(); i++)
    {
        UI_CommandState locState = locAsk(aFrame, aFrame->myIndicators[i].first);
        aFrame->myStates[aFrame->myIndicators[i].first] = locState;
        aFrame->myIndicators[i].second->setText(
            locState.myEnabled ? QString::fromStdString(aFrame->myIndicatorTexts[i]) : QString());
    }
}

bool UI_FrameGetCommandState(UI_Frame* aFrame, int anId, UI_CommandState* aState)
{
    if (!aFrame)
        return false;
    auto it = aFrame->myStates.find(anId);
    if (it == aFrame->myStates.end())
        return false;
    *aState = it->second;
    return true;
}

bool UI_FrameGetMenuText(UI_Frame* aFrame, int anId, std::string* aText)
{
    if (!aFrame || !aFrame->myActions.contains(anId))
        return false;
    QString locText = aFrame->myActions.value(anId)->text();
    locText = locText.section(QLatin1Char('\t'), 0, 0);
    locText.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    locText.remove(QLatin1Char('&'));
    locText.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    *aText = locText.toStdString();
    return true;
}

bool UI_FrameDoCommand(UI_Frame* aFrame, int anId)
{
    if (!aFrame)
        return false;
    // As Windows does, a command is checked against its state at the moment.
    if (!locAsk(aFrame, anId).myEnabled)
        return false;
    std::vector<UI_FrameHandler*> locHandlers = aFrame->myHandlers;
    for (UI_FrameHandler* locHandler : locHandlers)
        if (locHandler->OnCommand(aFrame, anId))
            return true;
    return locShellCommand(aFrame, anId);
}

void UI_FrameIdle(UI_Frame* aFrame)
{
    if (!aFrame)
        return;
    UI_FrameUpdateCommands(aFrame);
    std::vector<UI_FrameHandler*> locHandlers = aFrame->myHandlers;
    for (UI_FrameHandler* locHandler : locHandlers)
        locHandler->OnIdle(aFrame);
}

int UI_FrameRun(UI_Frame* aFrame)
{
    return UI_RunMessageLoop([](void* aData) { UI_FrameIdle(static_cast<UI_Frame*>(aData)); }, aFrame);
}

// --- [SECTION] document ---

static bool locOpenAsked(UI_Frame* aFrame, const char* aPath);

namespace
{
std::string locLeafName(const std::string& aPath)
{
    size_t locSlash = aPath.find_last_of('/');
    return locSlash == std::string::npos ? aPath : aPath.substr(locSlash + 1);
}

bool locDoSave(UI_Frame* aFrame, bool anAskFlag)
{
    std::string locPath = aFrame->myPath;
    if (anAskFlag || locPath.empty())
    {
        UI_FileDialogRequest locRequest;
        locRequest.myKind = UI_FILEDIALOG_SAVE;
        locRequest.myFilters = aFrame->myDocument->GetFileFilters();
        locRequest.myInitialName = aFrame->myPath.empty() ? aFrame->myTitle : locLeafName(aFrame->myPath);
        locRequest.myFlags = UI_FD_OVERWRITE_PROMPT | UI_FD_HIDE_READONLY | UI_FD_PATH_MUST_EXIST;
        UI_FileDialogResult locResult;
        if (!UI_FileDialog(locRequest, &locResult) || locResult.myNames.empty())
            return false;
        locPath = locResult.GetPath(0);
    }
    if (!aFrame->myDocument->OnSaveDocument(aFrame, locPath.c_str()))
        return false;
    aFrame->myModified = false;
    if (locPath != aFrame->myPath)
    {
        UI_FrameSetPath(aFrame, locPath.c_str());
        locAddRecentFile(aFrame, locPath);
    }
    return true;
}

bool locShellCommand(UI_Frame* aFrame, int anId)
{
    switch (anId)
    {
    case UI_ID_FILE_NEW:
        if (!aFrame->myDocument || !UI_FrameSaveModified(aFrame))
            return false;
        if (!aFrame->myDocument->OnNewDocument(aFrame))
            return false;
        aFrame->myPath.clear();
        aFrame->myTitle = "Untitled";
        aFrame->myModified = false;
        locUpdateTitle(aFrame);
        return true;
    case UI_ID_FILE_OPEN:
    {
        if (!aFrame->myDocument || !UI_FrameSaveModified(aFrame))
            return false;
        UI_FileDialogRequest locRequest;
        locRequest.myKind = UI_FILEDIALOG_OPEN;
        locRequest.myFilters = aFrame->myDocument->GetFileFilters();
        locRequest.myFlags = UI_FD_FILE_MUST_EXIST | UI_FD_HIDE_READONLY;
        UI_FileDialogResult locResult;
        if (!UI_FileDialog(locRequest, &locResult) || locResult.myNames.empty())
            return false;
        const std::string locPicked = locResult.GetPath(0);
        return !locPicked.empty() && locOpenAsked(aFrame, locPicked.c_str());
    }
    case UI_ID_FILE_SAVE:
        return aFrame->myDocument && locDoSave(aFrame, false);
    case UI_ID_FILE_SAVE_AS:
        return aFrame->myDocument && locDoSave(aFrame, true);
    case UI_ID_FILE_PRINT:
        return UI_FramePrint(aFrame, nullptr);
    case UI_ID_FILE_PRINT_PREVIEW:
        return UI_FramePrintPreview(aFrame);
    case UI_ID_FILE_PRINT_SETUP:
        return UI_FramePrintSetup(aFrame);
    case UI_ID_APP_EXIT:
        return UI_FrameClose(aFrame);
    case UI_ID_VIEW_TOOLBAR:
        aFrame->myToolBar->setVisible(!aFrame->myToolBar->isVisible());
        return true;
    case UI_ID_VIEW_STATUS_BAR:
        aFrame->myWindow->statusBar()->setVisible(!aFrame->myWindow->statusBar()->isVisible());
        return true;
    default:
        if (anId >= UI_ID_FILE_MRU_FIRST && anId < UI_ID_FILE_MRU_FIRST + int(aFrame->myRecentFiles.size()))
        {
            std::string locPath = aFrame->myRecentFiles[anId - UI_ID_FILE_MRU_FIRST];
            return UI_FrameOpenDocument(aFrame, locPath.c_str());
        }
        return false;
    }
}
} // namespace

std::string UI_FrameGetPath(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myPath : std::string();
}

std::string UI_FrameGetDocumentTitle(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myTitle : std::string();
}

void UI_FrameSetModified(UI_Frame* aFrame, bool aModifiedFlag)
{
    if (aFrame)
        aFrame->myModified = aModifiedFlag;
}

bool UI_FrameIsModified(UI_Frame* aFrame)
{
    return aFrame && aFrame->myModified;
}

void UI_FrameSetPath(UI_Frame* aFrame, const char* aPath)
{
    if (!aFrame)
        return;
    aFrame->myPath = aPath ? aPath : "";
    aFrame->myTitle = aFrame->myPath.empty() ? "Untitled" : locLeafName(aFrame->myPath);
    locUpdateTitle(aFrame);
}

void UI_FrameAddRecentFile(UI_Frame* aFrame, const char* aPath)
{
    if (aFrame && aPath && aPath[0])
        locAddRecentFile(aFrame, QFileInfo(QString::fromUtf8(aPath)).absoluteFilePath().toStdString());
}

// The open once the user was asked about unsaved changes: an answer "No" keeps the
// document modified, and must not bring the question again after the file dialog.
static bool locOpenAsked(UI_Frame* aFrame, const char* aPath)
{
    QString locAbsolute = QFileInfo(QString::fromUtf8(aPath)).absoluteFilePath();
    std::string locPath = locAbsolute.toStdString();
    if (!aFrame->myDocument->OnOpenDocument(aFrame, locPath.c_str()))
    {
        locDropRecentFile(aFrame, aPath);
        locDropRecentFile(aFrame, locPath);
        return false;
    }
    aFrame->myModified = false;
    UI_FrameSetPath(aFrame, locPath.c_str());
    locAddRecentFile(aFrame, locPath);
    return true;
}

bool UI_FrameOpenDocument(UI_Frame* aFrame, const char* aPath)
{
    if (!aFrame || !aFrame->myDocument || !aPath || !aPath[0] || !UI_FrameSaveModified(aFrame))
        return false;
    return locOpenAsked(aFrame, aPath);
}

bool UI_FrameSaveModified(UI_Frame* aFrame)
{
    if (!aFrame || !aFrame->myDocument)
        return true;
    return aFrame->myDocument->SaveModified(aFrame);
}

bool UI_DocumentHandler::SaveModified(UI_Frame* aFrame)
{
    if (!aFrame->myModified)
        return true;
    std::string locText = "Save changes to " + (aFrame->myPath.empty() ? aFrame->myTitle : aFrame->myPath) + "?";
    switch (UI_MessageBox(aFrame->myProgramName.c_str(), locText.c_str(), OS_MB_YESNOCANCEL | OS_MB_ICONWARNING))
    {
    case OS_ID_YES:
        return locDoSave(aFrame, false);
    case OS_ID_NO:
        return true;
    default:
        return false;
    }
}

std::vector<std::string> UI_FrameGetRecentFiles(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myRecentFiles : std::vector<std::string>();
}

bool UI_FrameSetStatusText(UI_Frame* aFrame, int aPane, const char* aText)
{
    if (!aFrame || aPane < 0 || aPane > int(aFrame->myIndicators.size()))
        return false;
    QLabel* locLabel = aPane == 0 ? aFrame->myMessagePane : aFrame->myIndicators[aPane - 1].second;
    locLabel->setText(QString::fromUtf8(aText ? aText : ""));
    return true;
}

std::string UI_FrameGetStatusText(UI_Frame* aFrame, int aPane)
{
    if (!aFrame || aPane < 0 || aPane > int(aFrame->myIndicators.size()))
        return std::string();
    QLabel* locLabel = aPane == 0 ? aFrame->myMessagePane : aFrame->myIndicators[aPane - 1].second;
    return locLabel->text().toStdString();
}

// --- [SECTION] panes and view ---

namespace
{
// A dialog built from a table, made a plain child widget of the frame.
QWidget* locEmbed(UI_Dialog* aDialog, QWidget* aParent)
{
    QWidget* locWidget = UI_GetDialogWidget(aDialog);
    locWidget->setParent(aParent, Qt::Widget);
    locWidget->setMinimumSize(0, 0);
    locWidget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return locWidget;
}

// Keeps one control the size of its pane.
class UI_FillFilter : public QObject
{
public:
    UI_FillFilter(QWidget* aControl, QObject* aParent) : QObject(aParent), myControl(aControl) {}

protected:
    bool eventFilter(QObject* aWatched, QEvent* anEvent) override
    {
        if (anEvent->type() == QEvent::Resize)
            myControl->setGeometry(0, 0, static_cast<QWidget*>(aWatched)->width(),
                                   static_cast<QWidget*>(aWatched)->height());
        return false;
    }

private:
    QWidget* myControl;
};
// Keeps a dialog bar's controls inside a frame narrower than its template:
// a control running past the bar's right edge is shortened to end a margin
// inside it (no shorter than its own height), and gets its template width
// back when the frame widens again.
class UI_BarFitFilter : public QObject
{
public:
    UI_BarFitFilter(QWidget* aBar) : QObject(aBar)
    {
        for (QObject* locChild : aBar->children())
            if (QWidget* locControl = qobject_cast<QWidget*>(locChild))
                myControls.push_back({locControl, locControl->geometry()});
    }

protected:
    bool eventFilter(QObject* aWatched, QEvent* anEvent) override
    {
        if (anEvent->type() != QEvent::Resize)
            return false;
        const int locRight = static_cast<QWidget*>(aWatched)->width() - ourMargin;
        for (const Control& locControl : myControls)
        {
            QRect locRect = locControl.myTemplateRect;
            if (locRect.right() > locRight)
                locRect.setWidth(std::max(locRight - locRect.x(), std::min(locRect.width(), locRect.height())));
            if (locControl.myWidget->width() != locRect.width())
                locControl.myWidget->resize(locRect.width(), locControl.myWidget->height());
        }
        return false;
    }

private:
    struct Control
    {
        QWidget* myWidget;
        QRect myTemplateRect;
    };
    static const int ourMargin = 4; // pixels kept free at the bar's right edge
    std::vector<Control> myControls;
};
} // namespace

UI_Dialog* UI_FrameCreateDialogBar(UI_Frame* aFrame, const UI_DialogTemplate& aTemplate, UI_DialogProc aProc)
{
    if (!aFrame || aFrame->myDialogBar)
        return nullptr;
    UI_Dialog* locDialog = UI_CreateDialog(aTemplate, aProc, nullptr);
    if (!locDialog)
        return nullptr;
    QWidget* locSize = UI_GetDialogWidget(locDialog);
    QSize locFixed = locSize->size();
    aFrame->myWindow->addToolBarBreak();
    aFrame->myDialogBarRow = aFrame->myWindow->addToolBar(QStringLiteral("Dialog bar"));
    aFrame->myDialogBarRow->setMovable(false);
    QWidget* locWidget = locEmbed(locDialog, aFrame->myDialogBarRow);
    // The bar takes the row's width; only its height is fixed, so a frame
    // narrower than the template shortens the controls instead of hiding them.
    locWidget->setMinimumSize(std::min(locFixed.width(), 160), locFixed.height());
    locWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    locWidget->installEventFilter(new UI_BarFitFilter(locWidget));
    aFrame->myDialogBarRow->addWidget(locWidget);
    locWidget->show();
    aFrame->myDialogBar = locDialog;
    return locDialog;
}

UI_Dialog* UI_FrameCreatePane(UI_Frame* aFrame, const UI_DialogTemplate& aTemplate, UI_DialogProc aProc,
                              int aFillId)
{
    if (!aFrame || aFrame->myPane)
        return nullptr;
    UI_Dialog* locDialog = UI_CreateDialog(aTemplate, aProc, nullptr);
    if (!locDialog)
        return nullptr;
    QWidget* locWidget = locEmbed(locDialog, nullptr);
    QWidget* locOld = aFrame->mySplitter->replaceWidget(0, locWidget);
    delete locOld;
    if (QWidget* locFill = UI_GetControlWidget(locDialog, aFillId))
        locWidget->installEventFilter(new UI_FillFilter(locFill, locWidget));
    locWidget->show();
    aFrame->mySplitter->setSizes({aFrame->myLeftPaneWidth, 800});
    aFrame->myPane = locDialog;
    aFrame->myPaneFillId = aFillId;
    return locDialog;
}

UI_Dialog* UI_FrameGetDialogBar(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myDialogBar : nullptr;
}

UI_Dialog* UI_FrameGetPane(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myPane : nullptr;
}

void UI_FrameSetViewPicture(UI_Frame* aFrame, const UI_Image& anImage)
{
    if (!aFrame)
        return;
    aFrame->myPicture = UI_ToQImage(anImage);
    aFrame->myPictureBorrowed = false;
    if (!aFrame->myPainting)
        aFrame->myView->update();
    if (aFrame->myWindow->isVisible())
        UI_NoteWindowDrawn(aFrame->myWindow);
}

void UI_FrameSetViewPixels(UI_Frame* aFrame, const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    if (!aFrame)
        return;
    if (aFrame->myPictureBorrowed)
    {
        // Not written through: the pixels under it are the program's.
        aFrame->myPicture = QImage();
        aFrame->myPictureBorrowed = false;
    }
    if (!UI_CopyPixels(&aFrame->myPicture, aPixels, aWidth, aHeight, aStride))
        return;
    if (!aFrame->myPainting)
        aFrame->myView->update();
    if (aFrame->myWindow->isVisible())
        UI_NoteWindowDrawn(aFrame->myWindow);
}

void UI_FrameShowViewPixels(UI_Frame* aFrame, const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    if (!aFrame || !aPixels || aWidth <= 0 || aHeight <= 0 || aStride < aWidth * 4 || aStride % 4)
        return;
    const uchar* locBits = reinterpret_cast<const uchar*>(aPixels);
    if (!aFrame->myPictureBorrowed || aFrame->myPicture.constBits() != locBits ||
        aFrame->myPicture.width() != aWidth || aFrame->myPicture.height() != aHeight ||
        aFrame->myPicture.bytesPerLine() != aStride)
        aFrame->myPicture = QImage(locBits, aWidth, aHeight, aStride, QImage::Format_RGB32);
    aFrame->myPictureBorrowed = true;
    // Painted while the program draws its next picture (UI_FrameUpdateView), or shortly
    // after the last one.
    if (!aFrame->myPainting)
        aFrame->myPaintLater->Wait();
    if (aFrame->myWindow->isVisible())
        UI_NoteWindowDrawn(aFrame->myWindow);
}

void UI_FrameUpdateView(UI_Frame* aFrame)
{
    if (aFrame)
        aFrame->myPaintLater->PaintNow();
}

bool UI_FrameWaitForViewPicture(UI_Frame* aFrame, int aMilliseconds)
{
    if (!aFrame)
        return false;
    QElapsedTimer locClock;
    locClock.start();
    while (!aFrame->myTimers.empty() && aFrame->myPicture.isNull())
    {
        if (locClock.elapsed() >= aMilliseconds)
            return false;
        // The view's own timer wakes the wait.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void UI_FrameKeepViewPixels(UI_Frame* aFrame)
{
    if (!aFrame || !aFrame->myPictureBorrowed)
        return;
    aFrame->myPicture = aFrame->myPicture.copy();
    aFrame->myPictureBorrowed = false;
}

bool UI_IsKeyDown(int aVirtualKey)
{
    switch (aVirtualKey)
    {
    case 0x10: return (ourViewModifiers & Qt::ShiftModifier) != 0;
    case 0x11: return (ourViewModifiers & Qt::ControlModifier) != 0;
    case 0x12: return (ourViewModifiers & Qt::AltModifier) != 0;
    default: return false;
    }
}

void UI_FrameInvalidateView(UI_Frame* aFrame)
{
    if (aFrame)
        aFrame->myView->update();
}

void UI_FrameGetViewSize(UI_Frame* aFrame, int* aWidth, int* aHeight)
{
    *aWidth = aFrame ? aFrame->myView->width() : 0;
    *aHeight = aFrame ? aFrame->myView->height() : 0;
}

void UI_FrameGetViewCursor(UI_Frame* aFrame, int* anX, int* aY)
{
    *anX = aFrame ? aFrame->myCursorX : 0;
    *aY = aFrame ? aFrame->myCursorY : 0;
}

void UI_FrameFocusView(UI_Frame* aFrame)
{
    if (aFrame)
        aFrame->myView->setFocus(Qt::OtherFocusReason);
}

namespace
{
// The printer's settings live as long as the program, as the page setup does.
QPrinter& locPrinter()
{
    static QPrinter ourPrinter(QPrinter::HighResolution);
    return ourPrinter;
}

// The view's picture on one page, as large as it fits, its proportions kept.
bool locPaint(UI_Frame* aFrame, QPrinter* aPrinter)
{
    QImage locImage = aFrame->myView->grab().toImage();
    QPainter locPainter;
    if (locImage.isNull() || !locPainter.begin(aPrinter))
        return false;
    QRect locPage = locPainter.viewport();
    QSize locSize = locImage.size().scaled(locPage.size(), Qt::KeepAspectRatio);
    locPainter.drawImage(QRect(locPage.topLeft(), locSize), locImage);
    return locPainter.end();
}

bool locCanAsk(const char* aWhat)
{
    if (!UI_IsHeadless())
        return true;
    std::fprintf(stderr, "[%s] no print dialog without a display\n", aWhat);
    return false;
}
} // namespace

bool UI_FramePrint(UI_Frame* aFrame, const char* aPdfPath)
{
    if (!aFrame)
        return false;
    QPrinter& locTarget = locPrinter();
    if (aPdfPath && aPdfPath[0])
    {
        QPrinter locPdf(QPrinter::HighResolution);
        locPdf.setOutputFormat(QPrinter::PdfFormat);
        locPdf.setOutputFileName(QString::fromUtf8(aPdfPath));
        locPdf.setPageLayout(locTarget.pageLayout());
        return locPaint(aFrame, &locPdf);
    }
    if (!locCanAsk("Print"))
        return false;
    QPrintDialog locDialog(&locTarget, aFrame->myWindow);
    return locDialog.exec() == QDialog::Accepted && locPaint(aFrame, &locTarget);
}

bool UI_FramePrintPreview(UI_Frame* aFrame)
{
    if (!aFrame || !locCanAsk("Print Preview"))
        return false;
    QPrintPreviewDialog locDialog(&locPrinter(), aFrame->myWindow);
    QObject::connect(&locDialog, &QPrintPreviewDialog::paintRequested,
                     [aFrame](QPrinter* aPrinter) { locPaint(aFrame, aPrinter); });
    return locDialog.exec() == QDialog::Accepted;
}

bool UI_FramePrintSetup(UI_Frame* aFrame)
{
    if (!aFrame || !locCanAsk("Print Setup"))
        return false;
    QPageSetupDialog locDialog(&locPrinter(), aFrame->myWindow);
    return locDialog.exec() == QDialog::Accepted;
}

int UI_FrameGetActivePane(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myActivePane : UI_PANE_LEFT;
}

bool UI_GrabFrame(UI_Frame* aFrame, const char* aPngPath)
{
    return aFrame && aFrame->myWindow->grab().save(QString::fromUtf8(aPngPath), "PNG");
}

QWidget* UI_GetFrameWidget(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myWindow : nullptr;
}

QWidget* UI_GetFrameView(UI_Frame* aFrame)
{
    return aFrame ? aFrame->myView : nullptr;
}

static UI_PopupHook ourPopupHook;

UI_PopupHook UI_SetPopupHook(UI_PopupHook aHook)
{
    std::swap(ourPopupHook, aHook);
    return aHook;
}

int UI_TrackPopupMenu(UI_Frame* aFrame, const UI_MenuEntry* anEntries, int aNumEntries, int aScreenX, int aScreenY,
                      UI_FrameHandler* aTarget)
{
    if (!anEntries || aNumEntries <= 0)
        return 0;
    int locStart = 0;
    int locEnd = aNumEntries;
    if (anEntries[0].myKind == UI_MENU_POPUP)
    {
        // The first popup's own entries, up to its matching end.
        locStart = 1;
        int locDepth = 1;
        for (locEnd = 1; locEnd < aNumEntries && locDepth > 0; locEnd++)
        {
            if (anEntries[locEnd].myKind == UI_MENU_POPUP)
                locDepth++;
            else if (anEntries[locEnd].myKind == UI_MENU_END && --locDepth == 0)
                break;
        }
    }
    QMenu locMenu;
    std::vector<QMenu*> locStack = {&locMenu};
    std::vector<int> locIds;
    for (int i = locStart; i < locEnd; i++)
    {
        const UI_MenuEntry& locEntry = anEntries[i];
        QString locText = QString::fromUtf8(locEntry.myText ? locEntry.myText : "");
        switch (locEntry.myKind)
        {
        case UI_MENU_POPUP:
            locStack.push_back(locStack.back()->addMenu(locText));
            break;
        case UI_MENU_END:
            if (locStack.size() > 1)
                locStack.pop_back();
            break;
        case UI_MENU_SEPARATOR:
            locStack.back()->addSeparator();
            break;
        default:
            locStack.back()->addAction(locText)->setData(locEntry.myId);
            locIds.push_back(locEntry.myId);
            break;
        }
    }
    int locPicked = 0;
    if (ourPopupHook)
    {
        UI_PopupHook locHook = ourPopupHook;
        locPicked = locHook(locIds);
        if (std::find(locIds.begin(), locIds.end(), locPicked) == locIds.end())
            locPicked = 0;
    }
    else if (UI_IsHeadless())
        fprintf(stderr, "popup menu: nobody can pick on the offscreen platform, dismissed\n");
    else if (QAction* locAction = locMenu.exec(QPoint(aScreenX, aScreenY)))
        locPicked = locAction->data().toInt();
    if (locPicked && aTarget)
        aTarget->OnCommand(aFrame, locPicked);
    return locPicked;
}

int UI_FrameGetFocus(UI_Frame* aFrame)
{
    QWidget* locFocus = QApplication::focusWidget();
    if (!aFrame || !locFocus)
        return UI_FOCUS_OTHER;
    if (locFocus == aFrame->myView)
        return UI_FOCUS_VIEW;
    QWidget* locPane = aFrame->mySplitter->widget(0);
    if (locPane && (locFocus == locPane || locPane->isAncestorOf(locFocus)))
        return UI_FOCUS_PANE;
    return UI_FOCUS_OTHER;
}

bool UI_FrameSendViewMessage(UI_Frame* aFrame, const UI_ViewMessage& aMessage)
{
    return aFrame && locSendViewMessage(aFrame, aMessage);
}

// --- [SECTION] timers and keys ---

bool UI_FrameSetTimer(UI_Frame* aFrame, int anId, int aMilliseconds)
{
    if (!aFrame || aMilliseconds < 0)
        return false;
    QTimer*& locTimer = aFrame->myTimers[anId];
    if (!locTimer)
    {
        locTimer = new QTimer(aFrame->myWindow);
        QObject::connect(locTimer, &QTimer::timeout, aFrame->myWindow, [aFrame, anId]() {
            // A handler may kill this timer or another one in the same pass.
            if (aFrame->myTimers.find(anId) == aFrame->myTimers.end())
                return;
            std::vector<UI_FrameHandler*> locHandlers = aFrame->myHandlers;
            for (UI_FrameHandler* locHandler : locHandlers)
            {
                if (aFrame->myTimers.find(anId) == aFrame->myTimers.end())
                    return;
                locHandler->OnTimer(aFrame, anId);
            }
        });
    }
    locTimer->start(aMilliseconds);
    return true;
}

bool UI_FrameKillTimer(UI_Frame* aFrame, int anId)
{
    if (!aFrame)
        return false;
    auto it = aFrame->myTimers.find(anId);
    if (it == aFrame->myTimers.end())
        return false;
    it->second->stop();
    it->second->deleteLater();
    aFrame->myTimers.erase(it);
    return true;
}

int UI_VirtualKeyFromQt(int aQtKey, int aQtModifiers)
{
    bool locPad = (aQtModifiers & Qt::KeypadModifier) != 0;
    if (locPad)
    {
        if (aQtKey >= Qt::Key_0 && aQtKey <= Qt::Key_9)
            return 0x60 + (aQtKey - Qt::Key_0);
        switch (aQtKey)
        {
        case Qt::Key_Asterisk:
            return 106;
        case Qt::Key_Plus:
            return 107;
        case Qt::Key_Minus:
            return 109;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return 110;
        case Qt::Key_Slash:
            return 111;
        case Qt::Key_Enter:
            return 0x0D;
        default:
            break;
        }
    }
    if (aQtKey >= Qt::Key_A && aQtKey <= Qt::Key_Z)
        return 'A' + (aQtKey - Qt::Key_A);
    if (aQtKey >= Qt::Key_0 && aQtKey <= Qt::Key_9)
        return '0' + (aQtKey - Qt::Key_0);
    if (aQtKey >= Qt::Key_F1 && aQtKey <= Qt::Key_F24)
        return 0x70 + (aQtKey - Qt::Key_F1);
    switch (aQtKey)
    {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 0xBA;
    case Qt::Key_Plus:
    case Qt::Key_Equal: return 0xBB;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 0xBC;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 0xBE;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 0xBF;
    case Qt::Key_Asterisk: return '8'; // Shift+8 on the main block
    default: return 0;
    }
}
