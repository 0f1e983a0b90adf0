// Start-up over Qt, the platform/os hooks, the message loop and the cursor.
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_prompt.h"
#include "platform/ui/ui_qt.h"

#include "platform/os/os_cmdline.h"
#include "platform/os/os_ui.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOption>
#include <QImage>
#include <QKeyEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

static bool ourQuitPosted = false;
static int ourQuitValue = 0;
static int ourCursor = UI_CURSOR_ARROW;
static bool ourHooksInstalled = false;

static int locMessageBoxHook(const char* aText, const char* aCaption, int aFlags)
{
    return UI_MessageBox(aCaption, aText, aFlags);
}

static bool locClipboardHook(const char* aText)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    QClipboard* locClipboard = QGuiApplication::clipboard();
    if (!locClipboard)
        return false;
    locClipboard->setText(QString::fromUtf8(aText));
    return true;
}

// Before a fatal error box: the active window goes to the bottom, hidden, and
// nothing holds the mouse or shows the wait cursor.
static void locRestoreDisplayHook()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    ourCursor = UI_CURSOR_ARROW;
    if (QWidget* locGrabber = QWidget::mouseGrabber())
        locGrabber->releaseMouse();
    if (QWidget* locActive = QApplication::activeWindow())
    {
        locActive->lower();
        locActive->setGeometry(0, 0, 100, 100);
        locActive->hide();
    }
}

// The down state of every virtual key, written on the user-interface thread
// and read from any.
static std::atomic<bool> ourKeysDown[256];

namespace
{
class UI_KeyStateFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* aWatched, QEvent* anEvent) override
    {
        // A key event travels up from the focused widget to its parents; only
        // its first delivery, to a widget, counts.
        switch (anEvent->type())
        {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        {
            if (!aWatched->isWidgetType())
                break;
            QKeyEvent* locKey = static_cast<QKeyEvent*>(anEvent);
            bool locDown = anEvent->type() == QEvent::KeyPress;
            int locCode = UI_VirtualKeyFromQt(locKey->key(), int(locKey->modifiers()));
            if (locCode > 0 && locCode < 256)
                ourKeysDown[locCode] = locDown;
            // The modifiers as the event reports them, so that a missed release cannot stick.
            if (locKey->key() != Qt::Key_Shift)
                ourKeysDown[0x10] = (locKey->modifiers() & Qt::ShiftModifier) != 0;
            if (locKey->key() != Qt::Key_Control)
                ourKeysDown[0x11] = (locKey->modifiers() & Qt::ControlModifier) != 0;
            if (locKey->key() != Qt::Key_Alt)
                ourKeysDown[0x12] = (locKey->modifiers() & Qt::AltModifier) != 0;
            break;
        }
        case QEvent::ApplicationDeactivate:
            for (std::atomic<bool>& locKey : ourKeysDown)
                locKey = false;
            break;
        default:
            break;
        }
        return false;
    }
};
UI_KeyStateFilter* ourKeyStateFilter = nullptr;
} // namespace

short UI_GetAsyncKeyState(int aVirtualKey)
{
    if (aVirtualKey <= 0 || aVirtualKey >= 256)
        return 0;
    return ourKeysDown[aVirtualKey] ? short(0x8000) : short(0);
}

bool UI_IsUIThread()
{
    QCoreApplication* locApp = QCoreApplication::instance();
    return !locApp || QThread::currentThread() == locApp->thread();
}

void UI_CallOnUIThread(const std::function<void()>& aCall)
{
    QCoreApplication* locApp = QCoreApplication::instance();
    if (!locApp || QThread::currentThread() == locApp->thread())
    {
        aCall();
        return;
    }
    QMetaObject::invokeMethod(locApp, aCall, Qt::BlockingQueuedConnection);
}

// --- termination signals ---
// SIGTERM, SIGINT and SIGHUP end the program as closing its main window does.
// The handler only writes to a pipe the loop watches; a second signal while
// the first is handled ends the process at once.
static int ourSignalPipe[2] = {-1, -1};
static volatile sig_atomic_t ourSignalSeen = 0;
static bool ourEnding = false;
static UI_EndHook ourEndHook = nullptr;
const int ourTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

static void locOnTerminationSignal(int aSignal)
{
    if (ourSignalSeen)
    {
        signal(aSignal, SIG_DFL);
        raise(aSignal);
        return;
    }
    ourSignalSeen = 1;
    char locByte = 1;
    ssize_t locIgnored = write(ourSignalPipe[1], &locByte, 1);
    (void) locIgnored;
}

static void locEndProgram()
{
    if (ourEnding)
        return;
    ourEnding = true;
    // The frame closes without its questions: nobody may be there to answer.
    if (ourEndHook)
        ourEndHook();
    UI_PostQuitMessage(0);
    // Ends every modal loop running (dialogs, message boxes, file dialogs);
    // loops started after this return at once.
    QCoreApplication::exit(0);
}

static void locWatchTerminationSignals()
{
    if (ourSignalPipe[0] >= 0 || pipe2(ourSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    QSocketNotifier* locNotifier = new QSocketNotifier(ourSignalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(locNotifier, &QSocketNotifier::activated, qApp, []() {
        char locBytes[16];
        while (read(ourSignalPipe[0], locBytes, sizeof(locBytes)) > 0)
        {
        }
        locEndProgram();
    });
    struct sigaction locAction = {};
    locAction.sa_handler = locOnTerminationSignal;
    sigemptyset(&locAction.sa_mask);
    locAction.sa_flags = SA_RESTART;
    for (int locSignal : ourTerminationSignals)
        sigaction(locSignal, &locAction, nullptr);
}

void UI_SetEndHook(UI_EndHook aHook)
{
    ourEndHook = aHook;
}

bool UI_IsEnding()
{
    return ourEnding;
}

namespace
{
// A style icon read from its file when first drawn. Reading a style's picture asks every
// installed image plugin whether it knows the format, which loads them all: the menu bar
// and tool bars ask for their extension arrows when they are made, and seldom show them.
class UI_LazyStyleIcon : public QIconEngine
{
public:
    UI_LazyStyleIcon(QStyle* aStyle, QStyle::StandardPixmap aWhich, const QStyleOption* anOption,
                     const QWidget* aWidget)
        : myStyle(aStyle), myWhich(aWhich), myRightToLeft(anOption ? anOption->direction == Qt::RightToLeft
                                                                   : aWidget && aWidget->isRightToLeft())
    {
    }
    void paint(QPainter* aPainter, const QRect& aRect, QIcon::Mode aMode, QIcon::State aState) override
    {
        Icon().paint(aPainter, aRect, Qt::AlignCenter, aMode, aState);
    }
    QPixmap pixmap(const QSize& aSize, QIcon::Mode aMode, QIcon::State aState) override
    {
        return Icon().pixmap(aSize, aMode, aState);
    }
    QPixmap scaledPixmap(const QSize& aSize, QIcon::Mode aMode, QIcon::State aState, qreal aScale) override
    {
        return Icon().pixmap(aSize, aScale, aMode, aState);
    }
    QSize actualSize(const QSize& aSize, QIcon::Mode aMode, QIcon::State aState) override
    {
        return Icon().actualSize(aSize, aMode, aState);
    }
    QList<QSize> availableSizes(QIcon::Mode aMode, QIcon::State aState) override
    {
        return Icon().availableSizes(aMode, aState);
    }
    bool isNull() override { return Icon().isNull(); }
    QString key() const override { return QStringLiteral("UI_LazyStyleIcon"); }
    QIconEngine* clone() const override { return new UI_LazyStyleIcon(*this); }

private:
    QIcon& Icon()
    {
        if (!myLoadedFlag && myStyle)
        {
            QStyleOption locOption;
            locOption.direction = myRightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
            myIcon = myStyle->standardIcon(myWhich, &locOption);
        }
        myLoadedFlag = true;
        return myIcon;
    }

    QPointer<QStyle> myStyle;
    QStyle::StandardPixmap myWhich;
    bool myRightToLeft;
    bool myLoadedFlag = false;
    QIcon myIcon;
};

// Qt's raster engine splits a fill of 96 lines or more that is not one plain colour into
// pieces run on the global thread pool, and waits for them. A tall scroll bar's gradients
// are such fills, painted again whenever its range moves (a browser's every loading
// frame): waking the pool's threads cost more than the drawing. So the bar is drawn in
// bands of fewer lines, each into a picture of its own laid over the target: the same
// pixels, as the bar's groove is opaque under everything else it draws.
constexpr int UI_STYLE_BAND_LINES = 80;

bool locDrawsInBands(const QStyleOptionComplex* anOption, const QPainter* aPainter)
{
    QPaintEngine* locEngine = aPainter ? aPainter->paintEngine() : nullptr;
    if (!anOption || anOption->rect.height() <= UI_STYLE_BAND_LINES || anOption->rect.width() <= 0 || !locEngine ||
        locEngine->type() != QPaintEngine::Raster || !aPainter->device())
        return false;
    // Only where a band's pixels are the target's: whole-pixel moves, no scaling, nothing faded.
    const QTransform locToDevice = aPainter->deviceTransform();
    if (locToDevice.type() > QTransform::TxTranslate || locToDevice.dx() != qRound(locToDevice.dx()) ||
        locToDevice.dy() != qRound(locToDevice.dy()) || aPainter->device()->devicePixelRatio() != 1.0 ||
        aPainter->opacity() != 1.0 || aPainter->compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    // A band holds the control's rectangle and the style may draw beside it: only where the
    // target keeps nothing beside it (a widget's own paint).
    QRect locKept = locEngine->systemClip().boundingRect();
    if (locKept.isEmpty())
        locKept = QRect(0, 0, aPainter->device()->width(), aPainter->device()->height());
    if (aPainter->hasClipping())
        locKept &= locToDevice.mapRect(aPainter->clipBoundingRect()).toAlignedRect();
    return locToDevice.mapRect(anOption->rect).contains(locKept);
}

class UI_Style : public QProxyStyle
{
public:
    QIcon standardIcon(StandardPixmap aWhich, const QStyleOption* anOption,
                       const QWidget* aWidget) const override
    {
        if (aWhich == SP_ToolBarHorizontalExtensionButton || aWhich == SP_ToolBarVerticalExtensionButton)
            return QIcon(new UI_LazyStyleIcon(baseStyle(), aWhich, anOption, aWidget));
        return QProxyStyle::standardIcon(aWhich, anOption, aWidget);
    }

    void drawComplexControl(ComplexControl aControl, const QStyleOptionComplex* anOption, QPainter* aPainter,
                            const QWidget* aWidget) const override
    {
        if (aControl != CC_ScrollBar || !locDrawsInBands(anOption, aPainter))
        {
            QProxyStyle::drawComplexControl(aControl, anOption, aPainter, aWidget);
            return;
        }
        const QRect r = anOption->rect;
        QImage locBand(r.width(), UI_STYLE_BAND_LINES, QImage::Format_ARGB32_Premultiplied);
        if (locBand.isNull())
        {
            QProxyStyle::drawComplexControl(aControl, anOption, aPainter, aWidget);
            return;
        }
        for (int y = 0; y < r.height(); y += UI_STYLE_BAND_LINES)
        {
            locBand.fill(Qt::transparent);
            {
                QPainter p(&locBand);
                p.setRenderHints(aPainter->renderHints());
                p.setPen(aPainter->pen());
                p.setBrush(aPainter->brush());
                p.setFont(aPainter->font());
                p.setLayoutDirection(aPainter->layoutDirection());
                p.translate(-r.x(), -(r.y() + y));
                QProxyStyle::drawComplexControl(aControl, anOption, &p, aWidget);
            }
            aPainter->drawImage(QPoint(r.x(), r.y() + y), locBand,
                                QRect(0, 0, r.width(), std::min(UI_STYLE_BAND_LINES, r.height() - y)));
        }
    }
};
} // namespace

// Qt's messages go on to the handler before ours, but for the offscreen platform's note,
// once for every window shown, that it cannot pass size hints on: it has no window manager
// to pass them to.
static QtMessageHandler ourQtMessageHandler = nullptr;

static void locQtMessage(QtMsgType aType, const QMessageLogContext& aContext, const QString& aText)
{
    if (aText == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    if (ourQtMessageHandler)
        ourQtMessageHandler(aType, aContext, aText);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(aType, aContext, aText)));
}

bool UI_Init(int* argc, char** argv)
{
    static bool ourMessagesFiltered = false;
    if (!ourMessagesFiltered)
    {
        ourQtMessageHandler = qInstallMessageHandler(locQtMessage);
        ourMessagesFiltered = true;
    }
    if (!QCoreApplication::instance())
    {
        QApplication* locApp = new QApplication(*argc, argv);
        locApp->setQuitOnLastWindowClosed(false);
        // The platform's own style, with its extension arrows read when drawn.
        QApplication::setStyle(new UI_Style);
        // Qt took the user's locale from the environment; numbers in text stay in C's.
        std::setlocale(LC_NUMERIC, "C");
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    if (!ourHooksInstalled)
    {
        OS_SetMessageBoxHook(locMessageBoxHook);
        OS_SetClipboardHook(locClipboardHook);
        OS_SetRestoreDisplayHook(locRestoreDisplayHook);
        ourHooksInstalled = true;
    }
    if (!ourKeyStateFilter)
    {
        ourKeyStateFilter = new UI_KeyStateFilter(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(ourKeyStateFilter);
    }
    locWatchTerminationSignals();
    return true;
}

void UI_Shutdown()
{
    if (ourHooksInstalled)
    {
        OS_SetMessageBoxHook(nullptr);
        OS_SetClipboardHook(nullptr);
        OS_SetRestoreDisplayHook(nullptr);
        ourHooksInstalled = false;
    }
    UI_SetCursor(UI_CURSOR_ARROW);
}

int UI_StartProgram(const OS_CommandLine& aLine, const char* aTooMany, UI_ReportRun aReportRun, int* argc,
                    char** argv, OS_Arguments* anArguments)
{
    const int locCheck = OS_ReadCommandLine(aLine, *argc, argv, anArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (anArguments->myOperands.size() > 1)
        return OS_RefuseCommandLine(aLine, aTooMany);
    if (!UI_Init(argc, argv))
    {
        std::fprintf(stderr, "%s: no user interface\n", aLine.myProgram);
        return 1;
    }
    if (aReportRun(*argc, argv))
    {
        UI_Shutdown();
        return 0;
    }
    return UI_START_GO_ON;
}

void UI_NoteWindowDrawn(QWidget* aWindow)
{
    static bool ourNoted = false;
    const char* locPath = std::getenv("Q_UI_FIRST_DRAWN");
    if (ourNoted || !aWindow || !locPath || !locPath[0])
        return;
    ourNoted = true;
    QImage locImage = aWindow->window()->grab().toImage();
    timespec locWall = {}, locCpu = {};
    clock_gettime(CLOCK_MONOTONIC, &locWall);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &locCpu);
    locImage.save(QString::fromUtf8(locPath), "PNG");
    if (FILE* locFile = std::fopen((std::string(locPath) + ".time").c_str(), "w"))
    {
        std::fprintf(locFile, "%.6f %.6f\n", double(locWall.tv_sec) + 1e-9 * double(locWall.tv_nsec),
                     double(locCpu.tv_sec) + 1e-9 * double(locCpu.tv_nsec));
        std::fclose(locFile);
    }
    UI_PostQuitMessage(0);
}

void UI_GrabAndQuitIfRequested(int aKind, QWidget* aWindow, const std::function<void(const char*)>& aGrab,
                               const std::function<void()>& anAfter)
{
    static bool ourArmed[2] = {};
    const char* locPath = std::getenv("Q_UI_GRAB");
    if (aKind < 0 || aKind > 1 || ourArmed[aKind] || !aWindow || !locPath || !locPath[0])
        return;
    ourArmed[aKind] = true;
    std::string locFile = locPath;
    QTimer::singleShot(500, aWindow, [aGrab, anAfter, locFile]() {
        aGrab(locFile.c_str());
        // Under X also the whole screen, as the user sees it.
        if (!UI_IsHeadless())
            if (QScreen* locScreen = QGuiApplication::primaryScreen())
                locScreen->grabWindow(0).save(QString::fromStdString(locFile + ".screen.png"), "PNG");
        UI_PostQuitMessage(0);
        if (anAfter)
            anAfter();
    });
}

bool UI_IsHeadless()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return true;
    QString locPlatform = QGuiApplication::platformName();
    return locPlatform == QLatin1String("offscreen") || locPlatform == QLatin1String("minimal");
}

void UI_PostQuitMessage(int anExitValue)
{
    ourQuitPosted = true;
    ourQuitValue = anExitValue;
    if (QAbstractEventDispatcher* locDispatcher = QAbstractEventDispatcher::instance())
        locDispatcher->wakeUp();
}

bool UI_PeekQuitMessage(int* anExitValue)
{
    if (ourQuitPosted && anExitValue)
        *anExitValue = ourQuitValue;
    return ourQuitPosted;
}

void UI_ClearQuitMessage()
{
    ourQuitPosted = false;
    ourQuitValue = 0;
    if (ourEnding)
    {
        // Qt lets modal loops run again only once its own loop has started afresh.
        ourEnding = false;
        ourSignalSeen = 0;
        QTimer::singleShot(0, qApp, []() { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
}

bool UI_DispatchMessages(bool aWaitFlag)
{
    // Events are still handled after the quit message: a worker being joined
    // may wait for a call on this thread.
    QCoreApplication::sendPostedEvents();
    QEventLoop::ProcessEventsFlags locFlags = QEventLoop::AllEvents;
    if (aWaitFlag && !ourQuitPosted)
        locFlags |= QEventLoop::WaitForMoreEvents;
    QCoreApplication::processEvents(locFlags);
    return ourQuitPosted;
}

int UI_RunMessageLoop(UI_IdleProc anIdleProc, void* aUserData)
{
    while (!UI_DispatchMessages(true))
        if (anIdleProc)
            anIdleProc(aUserData);
    return ourQuitValue;
}

void UI_SetCursor(int aCursor)
{
    if (aCursor == ourCursor)
        return;
    ourCursor = aCursor;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    if (aCursor == UI_CURSOR_WAIT)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
}

int UI_GetCursor()
{
    return ourCursor;
}
