// The plain top-level window over Qt Widgets: a client widget that paints the
// presented frame beside a QScrollBar kept to the Windows scroll-bar rules, and
// the cursor confinement as an application-wide filter of mouse moves.
#include "platform/ui/ui_window.h"

#include "platform/os/os_memory.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog_local.h"
#include "platform/ui/ui_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QRegion>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <cstring>

namespace
{

class UI_WindowClient : public QWidget
{
public:
    explicit UI_WindowClient(UI_Window* aWindow) : myWindow(aWindow)
    {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    UI_Window* myWindow;
    QImage myFrame;
    bool myFrameBorrowed = false; // myFrame over the presenter's pixels: never written through
    UI_PaintLater myPaintLater{this}; // shown pixels, painted at UI_UpdateWindow or soon after

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* anEvent) override;
    void resizeEvent(QResizeEvent*) override;
};

class UI_WindowWidget : public QWidget
{
public:
    explicit UI_WindowWidget(UI_Window* aWindow) : myWindow(aWindow) {}
    UI_Window* myWindow;

protected:
    void closeEvent(QCloseEvent* anEvent) override;
};

} // namespace

struct UI_Window
{
    UI_WindowWidget* myWidget = nullptr; // owns the client and the bar
    UI_WindowClient* myClient = nullptr;
    QScrollBar* myBar = nullptr;         // null without WS_VSCROLL
    UI_WindowProc myProc = nullptr;
    void* myUserData = nullptr;
    int myMin = 0, myMax = 100, myPage = 0, myPos = 0;
    bool myActiveFlag = false;
};

namespace
{

intptr_t locSend(UI_Window* aWindow, int aMessage, int aParam1, int aParam2)
{
    if (aWindow->myProc)
        return aWindow->myProc(aWindow, aMessage, aParam1, aParam2, aWindow->myUserData);
    return UI_DefWindowProc(aWindow, aMessage, aParam1, aParam2);
}

void UI_WindowClient::paintEvent(QPaintEvent*)
{
    myPaintLater.Painted();
    QPainter locPainter(this);
    // The button face only where the frame does not reach: filled under the frame too, every
    // pixel would be painted twice.
    const QRect locFrame = myFrame.isNull() ? QRect() : QRect(QPoint(0, 0), myFrame.size());
    for (const QRect& r : QRegion(rect()).subtracted(QRegion(locFrame)))
        locPainter.fillRect(r, palette().button());
    if (!myFrame.isNull())
        locPainter.drawImage(0, 0, myFrame);
}

void UI_WindowClient::mouseReleaseEvent(QMouseEvent* anEvent)
{
    if (anEvent->button() == Qt::LeftButton)
        locSend(myWindow, UI_WM_LBUTTONUP, (int)anEvent->position().x(), (int)anEvent->position().y());
}

void UI_WindowClient::resizeEvent(QResizeEvent*)
{
    locSend(myWindow, UI_WM_SIZE, width(), height());
}

void UI_WindowWidget::closeEvent(QCloseEvent* anEvent)
{
    // The procedure decides; the default hides the window.
    anEvent->ignore();
    locSend(myWindow, UI_WM_CLOSE, 0, 0);
}

bool locProgramActive()
{
    return UI_IsHeadless() || QGuiApplication::applicationState() == Qt::ApplicationActive;
}

// Shows the kept range, page and position on the Qt bar, whose own range ends
// where the Windows position does (max - page + 1).
void locShowScroll(UI_Window* aWindow)
{
    QScrollBar* b = aWindow->myBar;
    if (!b)
        return;
    QSignalBlocker locBlock(b);
    const bool locEnabled = aWindow->myMax >= aWindow->myMin;
    const int locTop = aWindow->myMax - std::max(aWindow->myPage - 1, 0);
    b->setEnabled(locEnabled);
    b->setPageStep(std::max(aWindow->myPage, 1));
    b->setRange(aWindow->myMin, locEnabled ? std::max(locTop, aWindow->myMin) : aWindow->myMin);
    b->setSliderPosition(aWindow->myPos); // the value follows: the bar tracks
}

// The bar's actions become requests; the position moves only when the
// procedure sets it, as with Windows.
void locConnectScroll(UI_Window* aWindow)
{
    QScrollBar* b = aWindow->myBar;
    QObject::connect(b, &QScrollBar::actionTriggered, b,
                     [aWindow, b](int anAction)
                     {
                         int r = -1;
                         switch (anAction)
                         {
                         case QAbstractSlider::SliderSingleStepAdd: r = UI_SB_LINEDOWN; break;
                         case QAbstractSlider::SliderSingleStepSub: r = UI_SB_LINEUP; break;
                         case QAbstractSlider::SliderPageStepAdd: r = UI_SB_PAGEDOWN; break;
                         case QAbstractSlider::SliderPageStepSub: r = UI_SB_PAGEUP; break;
                         case QAbstractSlider::SliderToMinimum: r = UI_SB_TOP; break;
                         case QAbstractSlider::SliderToMaximum: r = UI_SB_BOTTOM; break;
                         case QAbstractSlider::SliderMove: r = UI_SB_THUMBTRACK; break;
                         default: break;
                         }
                         if (r < 0)
                             return;
                         locSend(aWindow, UI_WM_VSCROLL, r, b->sliderPosition());
                         if (r != UI_SB_THUMBTRACK)
                             b->setSliderPosition(aWindow->myPos);
                     });
    QObject::connect(b, &QScrollBar::sliderReleased, b, [aWindow]() { locShowScroll(aWindow); });
}

bool ourClipFlag = false;
UI_Rect ourClip;

// The nearest point inside the confinement.
QPoint locInsideClip(const QPoint& aPoint)
{
    return QPoint(std::clamp(aPoint.x(), ourClip.myLeft, ourClip.myRight - 1),
                  std::clamp(aPoint.y(), ourClip.myTop, ourClip.myBottom - 1));
}

class UI_ClipFilter : public QObject
{
public:
    bool eventFilter(QObject* anObject, QEvent* anEvent) override
    {
        if (ourClipFlag && anEvent->type() == QEvent::MouseMove && anObject->isWindowType())
        {
            const QPoint p = static_cast<QMouseEvent*>(anEvent)->globalPosition().toPoint();
            const QPoint locInside = locInsideClip(p);
            if (locInside != p)
                QCursor::setPos(locInside);
        }
        return false;
    }
};
QPointer<UI_ClipFilter> ourClipFilter;

} // namespace

intptr_t UI_DefWindowProc(UI_Window* aWindow, int aMessage, int, int)
{
    if (aMessage == UI_WM_CLOSE && aWindow && aWindow->myWidget)
        aWindow->myWidget->hide();
    return 0;
}

UI_Window* UI_CreateWindow(const UI_WindowDesc& aDesc)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    UI_Window* w = new UI_Window;
    w->myProc = aDesc.myProc;
    w->myUserData = aDesc.myUserData;
    w->myWidget = new UI_WindowWidget(w);
    w->myWidget->setWindowTitle(QString::fromUtf8(aDesc.myTitle ? aDesc.myTitle : ""));
    if (aDesc.myIcon)
    {
        QImage locIcon = UI_ToQImage(*aDesc.myIcon);
        if (!locIcon.isNull())
            w->myWidget->setWindowIcon(QIcon(QPixmap::fromImage(locIcon)));
    }
    auto* locLayout = new QHBoxLayout(w->myWidget);
    locLayout->setContentsMargins(0, 0, 0, 0);
    locLayout->setSpacing(0);
    w->myClient = new UI_WindowClient(w);
    locLayout->addWidget(w->myClient, 1);
    if (aDesc.myVScrollFlag)
    {
        w->myBar = new QScrollBar(Qt::Vertical);
        locLayout->addWidget(w->myBar);
        locShowScroll(w);
        locConnectScroll(w);
    }
    w->myWidget->resize(std::max(aDesc.myWidth, 1), std::max(aDesc.myHeight, 1));
    // As Windows places a window: the frame's top-left, not the client's (a window at (0, 0)
    // keeps its title bar on the screen under a window manager).
    w->myWidget->move(aDesc.myX, aDesc.myY);
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, w->myWidget,
                     [w](Qt::ApplicationState)
                     {
                         const bool locActive = locProgramActive();
                         if (locActive != w->myActiveFlag && w->myWidget->isVisible())
                         {
                             w->myActiveFlag = locActive;
                             locSend(w, UI_WM_ACTIVATEAPP, locActive, 0);
                         }
                     });
    return w;
}

void UI_DestroyWindow(UI_Window* aWindow)
{
    if (!aWindow)
        return;
    delete aWindow->myWidget;
    delete aWindow;
}

void UI_ShowWindow(UI_Window* aWindow, bool aShowFlag)
{
    if (!aWindow)
        return;
    if (!aShowFlag)
    {
        aWindow->myWidget->hide();
        return;
    }
    aWindow->myWidget->show();
    aWindow->myWidget->activateWindow();
    aWindow->myClient->setFocus();
    aWindow->myActiveFlag = locProgramActive();
    locSend(aWindow, UI_WM_ACTIVATEAPP, aWindow->myActiveFlag, 0);
}

void UI_SetWindowTitle(UI_Window* aWindow, const char* aTitle)
{
    if (aWindow)
        aWindow->myWidget->setWindowTitle(QString::fromUtf8(aTitle ? aTitle : ""));
}

void UI_GetClientSize(UI_Window* aWindow, int* aWidth, int* aHeight)
{
    *aWidth = aWindow ? aWindow->myClient->width() : 0;
    *aHeight = aWindow ? aWindow->myClient->height() : 0;
}

void UI_ClientToScreen(UI_Window* aWindow, int* anX, int* aY)
{
    if (!aWindow)
        return;
    const QPoint p = aWindow->myClient->mapToGlobal(QPoint(*anX, *aY));
    *anX = p.x();
    *aY = p.y();
}

int UI_SetScrollInfo(UI_Window* aWindow, int aMin, int aMax, int aPage, int aPos)
{
    if (!aWindow)
        return 0;
    aWindow->myMin = aMin;
    aWindow->myMax = aMax;
    // The page is at most the range's size; the position stops where the page
    // shows the last unit.
    const int64_t locSize = aMax >= aMin ? (int64_t)aMax - aMin + 1 : 0;
    aWindow->myPage = (int)std::clamp<int64_t>(aPage, 0, locSize);
    const int locTop = aMax - std::max(aWindow->myPage - 1, 0);
    aWindow->myPos = aMax >= aMin ? std::clamp(aPos, aMin, std::max(locTop, aMin)) : aMin;
    locShowScroll(aWindow);
    return aWindow->myPos;
}

void UI_GetScrollInfo(UI_Window* aWindow, int* aMin, int* aMax, int* aPage, int* aPos)
{
    if (!aWindow)
        return;
    if (aMin)
        *aMin = aWindow->myMin;
    if (aMax)
        *aMax = aWindow->myMax;
    if (aPage)
        *aPage = aWindow->myPage;
    if (aPos)
        *aPos = aWindow->myPos;
}

void UI_WindowPresent(UI_Window* aWindow, const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    if (!aWindow)
        return;
    UI_WindowClient* c = aWindow->myClient;
    if (c->myFrameBorrowed)
    {
        QImage locOwn;
        if (!UI_CopyPixels(&locOwn, aPixels, aWidth, aHeight, aStride))
            return;
        c->myFrame = locOwn;
        c->myFrameBorrowed = false;
    }
    else if (!UI_CopyPixels(&c->myFrame, aPixels, aWidth, aHeight, aStride))
        return;
    c->update();
    if (aWindow->myWidget->isVisible())
        UI_NoteWindowDrawn(aWindow->myWidget);
}

void UI_WindowShowPixels(UI_Window* aWindow, const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    if (!aWindow || !aPixels || aWidth <= 0 || aHeight <= 0 || aStride < aWidth * 4 || aStride % 4)
        return;
    UI_WindowClient* c = aWindow->myClient;
    const uchar* locBits = reinterpret_cast<const uchar*>(aPixels);
    if (!c->myFrameBorrowed || c->myFrame.constBits() != locBits || c->myFrame.width() != aWidth ||
        c->myFrame.height() != aHeight || c->myFrame.bytesPerLine() != aStride)
        c->myFrame = QImage(locBits, aWidth, aHeight, aStride, QImage::Format_RGB32);
    c->myFrameBorrowed = true;
    // Painted while the presenter draws its next frame (UI_UpdateWindow), or shortly
    // after the last one.
    c->myPaintLater.Wait();
    if (aWindow->myWidget->isVisible())
        UI_NoteWindowDrawn(aWindow->myWidget);
}

void UI_UpdateWindow(UI_Window* aWindow)
{
    if (aWindow)
        aWindow->myClient->myPaintLater.PaintNow();
}

void UI_WindowKeepPixels(UI_Window* aWindow)
{
    if (!aWindow || !aWindow->myClient->myFrameBorrowed)
        return;
    UI_WindowClient* c = aWindow->myClient;
    QImage locOwn;
    if (UI_CopyPixels(&locOwn, reinterpret_cast<const uint32_t*>(c->myFrame.constBits()), c->myFrame.width(),
                      c->myFrame.height(), int(c->myFrame.bytesPerLine())))
        c->myFrame = locOwn;
    else
        c->myFrame = QImage();
    c->myFrameBorrowed = false;
}

bool UI_ClipCursor(const UI_Rect* aRect)
{
    if (!aRect)
    {
        ourClipFlag = false;
        return true;
    }
    if (aRect->myRight <= aRect->myLeft || aRect->myBottom <= aRect->myTop)
        return false;
    ourClip = *aRect;
    ourClipFlag = true;
    if (!ourClipFilter && QCoreApplication::instance())
    {
        ourClipFilter = new UI_ClipFilter;
        ourClipFilter->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(ourClipFilter);
    }
    // The cursor is moved inside at once, as ClipCursor does.
    const QPoint p = QCursor::pos();
    const QPoint locInside = locInsideClip(p);
    if (locInside != p)
        QCursor::setPos(locInside);
    return true;
}

bool UI_GetClipCursor(UI_Rect* aRect)
{
    if (ourClipFlag && aRect)
        *aRect = ourClip;
    return ourClipFlag;
}

QWidget* UI_GetWindowWidget(UI_Window* aWindow)
{
    return aWindow ? aWindow->myWidget : nullptr;
}

QWidget* UI_GetWindowClient(UI_Window* aWindow)
{
    return aWindow ? aWindow->myClient : nullptr;
}

namespace
{

struct UI_LargeBlock
{
    void* myBlock;
    size_t mySize;
};

void locFreeLargeBlock(void* aBlock)
{
    UI_LargeBlock* b = static_cast<UI_LargeBlock*>(aBlock);
    OS_FreeLarge(b->myBlock, b->mySize);
    delete b;
}

// A frame-sized picture in a large block of its own, given back to the system when it goes.
QImage locLargeImage(int aWidth, int aHeight)
{
    const size_t locSize = OS_LargeSize(size_t(aWidth) * size_t(aHeight) * 4);
    UI_LargeBlock* b = new UI_LargeBlock{OS_AllocLarge(locSize), locSize};
    if (!b->myBlock)
    {
        delete b;
        return QImage(aWidth, aHeight, QImage::Format_RGB32);
    }
    return QImage(static_cast<uchar*>(b->myBlock), aWidth, aHeight, qsizetype(aWidth) * 4, QImage::Format_RGB32,
                  locFreeLargeBlock, b);
}

} // namespace

UI_PaintLater::UI_PaintLater(QWidget* aWidget) : myWidget(aWidget)
{
    myTimer.setSingleShot(true);
    myTimer.setInterval(ourDelayMs);
    QObject::connect(&myTimer, &QTimer::timeout, myWidget, [this] { myWidget->update(); });
}

void UI_PaintLater::Wait()
{
    myWaitingFlag = true;
    if (!myTimer.isActive())
        myTimer.start();
}

void UI_PaintLater::Painted()
{
    myWaitingFlag = false;
    myTimer.stop();
}

void UI_PaintLater::PaintNow()
{
    if (!myWaitingFlag)
        return;
    if (myWidget->isVisible())
        myWidget->repaint();
    else
        Painted();
}

bool UI_CopyPixels(QImage* aPicture, const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    if (!aPixels || aWidth <= 0 || aHeight <= 0 || aStride < aWidth * 4)
        return false;
    if (aPicture->width() != aWidth || aPicture->height() != aHeight)
        *aPicture = locLargeImage(aWidth, aHeight);
    if (aPicture->isNull())
        return false;
    // bits() detaches once; scanLine() would ask on every row.
    uint8_t* locBits = aPicture->bits();
    const size_t locLine = size_t(aPicture->bytesPerLine());
    const size_t locRow = size_t(aWidth) * 4;
    if (locLine == size_t(aStride))
        memcpy(locBits, aPixels, locLine * size_t(aHeight - 1) + locRow);
    else
        for (int y = 0; y < aHeight; y++)
            memcpy(locBits + size_t(y) * locLine, (const uint8_t*)aPixels + size_t(y) * aStride, locRow);
    return true;
}
