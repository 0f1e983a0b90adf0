// Dialogs from control tables over Qt Widgets, and the control operations.
#include "platform/ui/ui_dialog_local.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// [SECTION] helpers
// [SECTION] dialog widget and list box
// [SECTION] creation
// [SECTION] modal dialogs
// [SECTION] control operations
// [SECTION] list box operations
// [SECTION] combo box operations

// --- [SECTION] helpers ---

int UI_CompareNoCase(const QByteArray& aLeft, const QByteArray& aRight)
{
    int locCount = std::min(aLeft.size(), aRight.size());
    for (int i = 0; i < locCount; i++)
    {
        int locLeft = std::tolower((unsigned char) aLeft[i]);
        int locRight = std::tolower((unsigned char) aRight[i]);
        if (locLeft != locRight)
            return locLeft - locRight;
    }
    return (int) aLeft.size() - (int) aRight.size();
}

UI_Control* UI_FindControl(UI_Dialog* aDialog, int anId)
{
    if (!aDialog)
        return nullptr;
    for (UI_Control& locControl : aDialog->myControls)
        if (locControl.myId == anId)
            return &locControl;
    return nullptr;
}

void UI_SendDialogCommand(UI_Dialog* aDialog, int anId, int aNotifyCode)
{
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_COMMAND;
    locMessage.myControlId = anId;
    locMessage.myNotifyCode = aNotifyCode;
    UI_SendDialogMessage(aDialog, locMessage);
}

namespace
{
using SilentScope = UI_SilentScope;

// Windows' MulDiv for the positive values of dialog layouts: rounds halves up.
int locMulDiv(int aValue, int aNumerator, int aDenominator)
{
    long long locProduct = (long long) aValue * aNumerator;
    if (locProduct >= 0)
        return (int) ((2 * locProduct + aDenominator) / (2 * aDenominator));
    return -(int) ((-2 * locProduct + aDenominator) / (2 * aDenominator));
}

// Windows font names of dialog templates map to the desktop's own sans font.
QFont locDialogFont(const char* aName, int aPointSize)
{
    static const char* const locWindowsNames[] = {"MS Shell Dlg", "MS Shell Dlg 2", "MS Sans Serif",
                                                  "Microsoft Sans Serif", "Tahoma", "Segoe UI", "System"};
    QFont locFont = QApplication::font();
    bool locSubstitute = aName == nullptr || aName[0] == 0;
    for (const char* locName : locWindowsNames)
        if (aName && strcasecmp(aName, locName) == 0)
            locSubstitute = true;
    if (!locSubstitute)
        locFont.setFamily(QString::fromUtf8(aName));
    if (aPointSize > 0)
        locFont.setPointSize(aPointSize);
    return locFont;
}

// Lower-case folded as Windows' list boxes and _stricmp do ('_' sorts before letters).
int locCompareNoCase(const QByteArray& aLeft, const QByteArray& aRight)
{
    return UI_CompareNoCase(aLeft, aRight);
}

UI_Control* locFind(UI_Dialog* aDialog, int anId)
{
    return UI_FindControl(aDialog, anId);
}

UI_ListBoxWidget* locFindList(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl || locControl->myKind != UI_CONTROL_LISTBOX)
        return nullptr;
    return static_cast<UI_ListBoxWidget*>(locControl->myWidget);
}

QString locTitleText(const char* aTitle)
{
    QString locTitle = QString::fromUtf8(aTitle ? aTitle : "");
    while (locTitle.endsWith('\n') || locTitle.endsWith('\r'))
        locTitle.chop(1);
    return locTitle;
}

void locSendCommand(UI_Dialog* aDialog, int anId, int aNotifyCode)
{
    UI_SendDialogCommand(aDialog, anId, aNotifyCode);
}

std::vector<std::string> locLocalFiles(const QMimeData* aData)
{
    std::vector<std::string> locPaths;
    if (!aData || !aData->hasUrls())
        return locPaths;
    for (const QUrl& locUrl : aData->urls())
        if (locUrl.isLocalFile())
            locPaths.push_back(locUrl.toLocalFile().toStdString());
    return locPaths;
}
} // namespace

intptr_t UI_SendDialogMessage(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    if (!aDialog || !aDialog->myProc)
        return 0;
    return aDialog->myProc(aDialog, aMessage);
}

// --- [SECTION] dialog widget and list box ---

UI_DialogWidget::UI_DialogWidget(UI_Dialog* anOwner, QWidget* aParent) : QDialog(aParent), myOwner(anOwner)
{
    // Caption, system menu and a modal frame: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // Moves arrive without a button held too, as on Windows.
    setMouseTracking(true);
}

void UI_DialogWidget::closeEvent(QCloseEvent* anEvent)
{
    // The procedure decides what closing means; the window stays until destroyed.
    anEvent->ignore();
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_CLOSE;
    UI_SendDialogMessage(myOwner, locMessage);
}

void UI_DialogWidget::keyPressEvent(QKeyEvent* anEvent)
{
    if (anEvent->modifiers() == Qt::NoModifier || anEvent->modifiers() == Qt::KeypadModifier)
    {
        if (anEvent->key() == Qt::Key_Escape)
        {
            locSendCommand(myOwner, UI_IDCANCEL, UI_BN_CLICKED);
            return;
        }
        if (anEvent->key() == Qt::Key_Return || anEvent->key() == Qt::Key_Enter)
        {
            locSendCommand(myOwner, UI_IDOK, UI_BN_CLICKED);
            return;
        }
    }
    QWidget::keyPressEvent(anEvent);
}

void UI_DialogWidget::resizeEvent(QResizeEvent* anEvent)
{
    QDialog::resizeEvent(anEvent);
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_SIZE;
    locMessage.myWidth = width();
    locMessage.myHeight = height();
    UI_SendDialogMessage(myOwner, locMessage);
}

static void locSendShowWindow(UI_Dialog* aDialog, bool aShownFlag)
{
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_SHOWWINDOW;
    locMessage.myNotifyCode = aShownFlag ? 1 : 0;
    UI_SendDialogMessage(aDialog, locMessage);
}

void UI_DialogWidget::showEvent(QShowEvent* anEvent)
{
    QDialog::showEvent(anEvent);
    locSendShowWindow(myOwner, true);
}

void UI_DialogWidget::hideEvent(QHideEvent* anEvent)
{
    QDialog::hideEvent(anEvent);
    locSendShowWindow(myOwner, false);
}

void UI_DialogWidget::mouseMoveEvent(QMouseEvent* anEvent)
{
    QDialog::mouseMoveEvent(anEvent);
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_MOUSEMOVE;
    QPoint locPos = anEvent->position().toPoint();
    locMessage.myX = locPos.x();
    locMessage.myY = locPos.y();
    Qt::MouseButtons b = anEvent->buttons();
    Qt::KeyboardModifiers m = anEvent->modifiers();
    unsigned k = 0;
    if (b & Qt::LeftButton)
        k |= UI_MK_LBUTTON;
    if (b & Qt::RightButton)
        k |= UI_MK_RBUTTON;
    if (b & Qt::MiddleButton)
        k |= UI_MK_MBUTTON;
    if (m & Qt::ShiftModifier)
        k |= UI_MK_SHIFT;
    if (m & Qt::ControlModifier)
        k |= UI_MK_CONTROL;
    locMessage.myKeyState = k;
    UI_SendDialogMessage(myOwner, locMessage);
}

bool UI_DialogMouseMove(UI_Dialog* aDialog, int anX, int aY, unsigned aKeyState)
{
    if (!aDialog || !aDialog->myWidget)
        return false;
    Qt::MouseButtons b;
    if (aKeyState & UI_MK_LBUTTON)
        b |= Qt::LeftButton;
    if (aKeyState & UI_MK_RBUTTON)
        b |= Qt::RightButton;
    if (aKeyState & UI_MK_MBUTTON)
        b |= Qt::MiddleButton;
    Qt::KeyboardModifiers m;
    if (aKeyState & UI_MK_SHIFT)
        m |= Qt::ShiftModifier;
    if (aKeyState & UI_MK_CONTROL)
        m |= Qt::ControlModifier;
    QPointF locLocal(anX, aY);
    QMouseEvent locEvent(QEvent::MouseMove, locLocal, aDialog->myWidget->mapToGlobal(locLocal), Qt::NoButton, b, m);
    QCoreApplication::sendEvent(aDialog->myWidget, &locEvent);
    return true;
}

UI_ListBoxWidget::UI_ListBoxWidget(UI_Dialog* anOwner, int anId, unsigned aStyle, QWidget* aParent)
    : QListWidget(aParent), myOwner(anOwner), myId(anId), myStyle(aStyle)
{
    setSortingEnabled(false);
    setUniformItemSizes(true);
    if (aStyle & UI_STYLE_LB_EXTENDEDSEL)
        setSelectionMode(QAbstractItemView::ExtendedSelection);
    else if (aStyle & UI_STYLE_LB_MULTIPLESEL)
        setSelectionMode(QAbstractItemView::MultiSelection);
    else
        setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollBarPolicy((aStyle & UI_STYLE_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape((aStyle & UI_STYLE_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
    setAcceptDrops((aStyle & UI_STYLE_ACCEPTFILES) != 0);
    if (aStyle & UI_STYLE_LB_NOTIFY)
    {
        connect(this, &QListWidget::itemSelectionChanged, this, [this]() {
            if (myOwner->mySilentDepth == 0)
                locSendCommand(myOwner, myId, UI_LBN_SELCHANGE);
        });
        connect(this, &QListWidget::itemDoubleClicked, this,
                [this](QListWidgetItem*) { locSendCommand(myOwner, myId, UI_LBN_DBLCLK); });
    }
}

int UI_ListBoxWidget::AddText(const QString& aText)
{
    int locIndex = count();
    if (myStyle & UI_STYLE_LB_SORT)
    {
        // After the last entry that does not sort behind the new one.
        QByteArray locText = aText.toUtf8();
        int locLow = 0;
        int locHigh = count();
        while (locLow < locHigh)
        {
            int locMid = (locLow + locHigh) / 2;
            if (locCompareNoCase(item(locMid)->text().toUtf8(), locText) <= 0)
                locLow = locMid + 1;
            else
                locHigh = locMid;
        }
        locIndex = locLow;
    }
    insertItem(locIndex, aText);
    return locIndex;
}

int UI_ListBoxWidget::FindExact(const QByteArray& aText) const
{
    int locCount = count();
    for (int i = 0; i < locCount; i++)
    {
        QByteArray locEntry = item(i)->text().toUtf8();
        if (locEntry.size() == aText.size() && locCompareNoCase(locEntry, aText) == 0)
            return i;
    }
    return -1;
}

void UI_ListBoxWidget::dragEnterEvent(QDragEnterEvent* anEvent)
{
    if (!locLocalFiles(anEvent->mimeData()).empty())
        anEvent->acceptProposedAction();
    else
        anEvent->ignore();
}

void UI_ListBoxWidget::dragMoveEvent(QDragMoveEvent* anEvent)
{
    if (!locLocalFiles(anEvent->mimeData()).empty())
        anEvent->acceptProposedAction();
    else
        anEvent->ignore();
}

void UI_ListBoxWidget::dropEvent(QDropEvent* anEvent)
{
    std::vector<std::string> locPaths = locLocalFiles(anEvent->mimeData());
    if (locPaths.empty())
    {
        anEvent->ignore();
        return;
    }
    anEvent->acceptProposedAction();
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_DROPFILES;
    locMessage.myControlId = myId;
    locMessage.myDroppedFiles = &locPaths;
    UI_SendDialogMessage(myOwner, locMessage);
}

// --- [SECTION] creation ---

static QWidget* locCreateControl(UI_Dialog* aDialog, const UI_ControlTemplate& aTemplate)
{
    QWidget* locParent = aDialog->myWidget;
    QString locText = QString::fromUtf8(aTemplate.myText ? aTemplate.myText : "");
    int locId = aTemplate.myId;
    switch (aTemplate.myKind)
    {
    case UI_CONTROL_PUSHBUTTON:
    {
        if (aTemplate.myStyle & UI_STYLE_OWNERDRAW)
            return UI_CreateFurtherControl(aDialog, aTemplate, locParent);
        QPushButton* locButton = new QPushButton(locText, locParent);
        locButton->setDefault((aTemplate.myStyle & UI_STYLE_DEFAULT_BUTTON) != 0);
        QObject::connect(locButton, &QPushButton::clicked, locButton,
                         [aDialog, locId]() { locSendCommand(aDialog, locId, UI_BN_CLICKED); });
        return locButton;
    }
    case UI_CONTROL_LISTBOX:
        return new UI_ListBoxWidget(aDialog, locId, aTemplate.myStyle, locParent);
    case UI_CONTROL_EDIT:
        // Windows sends EN_CHANGE for the program's own changes too.
        if (aTemplate.myStyle & UI_STYLE_MULTILINE)
        {
            QPlainTextEdit* locEdit = new QPlainTextEdit(locText, locParent);
            locEdit->setReadOnly((aTemplate.myStyle & UI_STYLE_READONLY) != 0);
            QObject::connect(locEdit, &QPlainTextEdit::textChanged, locEdit,
                             [aDialog, locId]() { locSendCommand(aDialog, locId, UI_EN_CHANGE); });
            return locEdit;
        }
        else
        {
            QLineEdit* locEdit = new QLineEdit(locText, locParent);
            locEdit->setReadOnly((aTemplate.myStyle & UI_STYLE_READONLY) != 0);
            UI_WatchEditFocus(aDialog, locId, locEdit);
            QObject::connect(locEdit, &QLineEdit::textChanged, locEdit,
                             [aDialog, locId]() { locSendCommand(aDialog, locId, UI_EN_CHANGE); });
            return locEdit;
        }
    case UI_CONTROL_RADIOBUTTON:
    {
        QRadioButton* locRadio = new QRadioButton(locText, locParent);
        bool locAfterRadio = !aDialog->myControls.empty() && aDialog->myControls.back().myKind == UI_CONTROL_RADIOBUTTON;
        if (!aDialog->myRadioGroup || !locAfterRadio || (aTemplate.myStyle & UI_STYLE_GROUP))
            aDialog->myRadioGroup = new QButtonGroup(locParent);
        aDialog->myRadioGroup->addButton(locRadio);
        QObject::connect(locRadio, &QRadioButton::clicked, locRadio,
                         [aDialog, locId]() { locSendCommand(aDialog, locId, UI_BN_CLICKED); });
        return locRadio;
    }
    case UI_CONTROL_COMBOBOX:
    {
        QComboBox* locCombo = new QComboBox(locParent);
        locCombo->setEditable(false);
        QObject::connect(locCombo, &QComboBox::activated, locCombo,
                         [aDialog, locId](int) { locSendCommand(aDialog, locId, UI_CBN_SELCHANGE); });
        return locCombo;
    }
    case UI_CONTROL_TREE:
        return new UI_TreeWidget(aDialog, locId, aTemplate.myStyle, locParent);
    case UI_CONTROL_SLIDER:
    case UI_CONTROL_SPIN:
        return UI_CreateFurtherControl(aDialog, aTemplate, locParent);
    case UI_CONTROL_CHECKBOX:
    {
        QCheckBox* locBox = new QCheckBox(locText, locParent);
        QObject::connect(locBox, &QCheckBox::clicked, locBox,
                         [aDialog, locId]() { locSendCommand(aDialog, locId, UI_BN_CLICKED); });
        return locBox;
    }
    case UI_CONTROL_GROUPBOX:
        return new QGroupBox(locText, locParent);
    case UI_CONTROL_STATIC:
    default:
    {
        QLabel* locLabel = new QLabel(locText, locParent);
        locLabel->setWordWrap((aTemplate.myStyle & UI_STYLE_MULTILINE) != 0);
        return locLabel;
    }
    }
}

// A drop-down combo box's template height is the height of its opened list;
// closed it is one line of its font high, as on Windows.
static void locPlaceControl(const UI_Control& aControl, int anX, int aY, int aWidth, int aHeight)
{
    QComboBox* locCombo = aControl.myKind == UI_CONTROL_COMBOBOX ? static_cast<QComboBox*>(aControl.myWidget) : nullptr;
    if (!locCombo)
    {
        aControl.myWidget->setGeometry(anX, aY, aWidth, aHeight);
        return;
    }
    int locClosed = locCombo->minimumSizeHint().height();
    int locRow = std::max(1, locCombo->fontMetrics().height() + 2);
    locCombo->setMaxVisibleItems(std::max(1, (aHeight - locClosed) / locRow));
    locCombo->setGeometry(anX, aY, aWidth, locClosed);
}

static void locGrabAndQuitIfRequested(UI_Dialog* aDialog)
{
    // A modal loop ends on the quit message, as on Windows.
    UI_GrabAndQuitIfRequested(
        UI_GRAB_DIALOG, aDialog->myWidget, [aDialog](const char* aFile) { UI_GrabDialog(aDialog, aFile); },
        [aDialog]() { UI_EndDialog(aDialog, UI_IDCANCEL); });
}

// A modal loop is given before UI_MSG_INITDIALOG, so that the procedure may
// end the dialog there already.
static UI_Dialog* locBuildDialog(const UI_DialogTemplate& aTemplate, UI_DialogProc aProc, UI_Dialog* aParent,
                                 void* aUserData, QEventLoop* aModalLoop)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    UI_Dialog* locDialog = new UI_Dialog;
    locDialog->myProc = aProc;
    locDialog->myUserData = aUserData;
    locDialog->myModalLoop = aModalLoop;
    locDialog->myModalResult = UI_IDCANCEL;
    locDialog->myWidget = new UI_DialogWidget(locDialog, aParent ? aParent->myWidget : nullptr);
    locDialog->myWidget->setFont(locDialogFont(aTemplate.myFontName, aTemplate.myFontPointSize));

    // Base units as Windows takes them from the dialog font: the average width
    // of the 52 letters, rounded, and the character height. Measured with the
    // font the widget resolved on its screen, which the controls draw with.
    QFontMetrics locMetrics = locDialog->myWidget->fontMetrics();
    int locLettersWidth = locMetrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    locDialog->myBaseX = (locLettersWidth / 26 + 1) / 2;
    locDialog->myBaseY = locMetrics.height();

    locDialog->myTitle = aTemplate.myCaption ? aTemplate.myCaption : "";
    locDialog->myWidget->setWindowTitle(locTitleText(aTemplate.myCaption));
    locDialog->myWidget->setFixedSize(locMulDiv(aTemplate.myWidth, locDialog->myBaseX, 4),
                                      locMulDiv(aTemplate.myHeight, locDialog->myBaseY, 8));
    for (int i = 0; i < aTemplate.myNumControls; i++)
    {
        const UI_ControlTemplate& locTemplate = aTemplate.myControls[i];
        UI_Control locControl;
        locControl.myId = locTemplate.myId;
        locControl.myKind = locTemplate.myKind;
        locControl.myStyle = locTemplate.myStyle;
        locControl.myWidget = locCreateControl(locDialog, locTemplate);
        locPlaceControl(locControl, locMulDiv(locTemplate.myX, locDialog->myBaseX, 4),
                        locMulDiv(locTemplate.myY, locDialog->myBaseY, 8),
                        locMulDiv(locTemplate.myWidth, locDialog->myBaseX, 4),
                        locMulDiv(locTemplate.myHeight, locDialog->myBaseY, 8));
        locControl.myWidget->setEnabled(!(locTemplate.myStyle & UI_STYLE_DISABLED));
        locControl.myWidget->setVisible(!(locTemplate.myStyle & UI_STYLE_HIDDEN));
        locDialog->myControls.push_back(locControl);
    }
    locDialog->myRadioGroup = nullptr;
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_INITDIALOG;
    UI_SendDialogMessage(locDialog, locMessage);
    return locDialog;
}

UI_Dialog* UI_CreateDialog(const UI_DialogTemplate& aTemplate, UI_DialogProc aProc, UI_Dialog* aParent)
{
    return locBuildDialog(aTemplate, aProc, aParent, nullptr, nullptr);
}

void UI_DestroyDialog(UI_Dialog* aDialog)
{
    if (!aDialog)
        return;
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_DESTROY;
    UI_SendDialogMessage(aDialog, locMessage);
    aDialog->myProc = nullptr;
    delete aDialog->myWidget;
    delete aDialog;
}

void UI_ShowDialog(UI_Dialog* aDialog, bool aShowFlag)
{
    if (!aDialog)
        return;
    if (aShowFlag)
    {
        aDialog->myWidget->show();
        if (!UI_IsHeadless())
        {
            aDialog->myWidget->raise();
            aDialog->myWidget->activateWindow();
        }
        locGrabAndQuitIfRequested(aDialog);
        QWidget* locWidget = aDialog->myWidget;
        if (std::getenv("Q_UI_FIRST_DRAWN"))
            QTimer::singleShot(0, locWidget, [locWidget]() { UI_NoteWindowDrawn(locWidget); });
    }
    else
        aDialog->myWidget->hide();
}

bool UI_IsDialogVisible(UI_Dialog* aDialog)
{
    return aDialog && aDialog->myWidget->isVisible();
}

QImage UI_ToQImage(const UI_Image& anImage)
{
    if (anImage.myWidth <= 0 || anImage.myHeight <= 0 ||
        anImage.myPixels.size() < size_t(anImage.myWidth) * size_t(anImage.myHeight))
        return QImage();
    QImage locImage(anImage.myWidth, anImage.myHeight, QImage::Format_ARGB32);
    for (int y = 0; y < anImage.myHeight; y++)
        std::memcpy(locImage.scanLine(y), &anImage.myPixels[size_t(y) * anImage.myWidth],
                    size_t(anImage.myWidth) * 4);
    return locImage;
}

void UI_SetDialogIcon(UI_Dialog* aDialog, const UI_Image& anImage)
{
    QImage locImage = UI_ToQImage(anImage);
    if (!aDialog || locImage.isNull())
        return;
    QIcon locIcon;
    QPixmap locPixmap = QPixmap::fromImage(locImage);
    locIcon.addPixmap(locPixmap);
    locIcon.addPixmap(locPixmap.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    aDialog->myWidget->setWindowIcon(locIcon);
}

void UI_SetDialogUserData(UI_Dialog* aDialog, void* aUserData)
{
    if (aDialog)
        aDialog->myUserData = aUserData;
}

void* UI_GetDialogUserData(UI_Dialog* aDialog)
{
    return aDialog ? aDialog->myUserData : nullptr;
}

void UI_SetDialogTitle(UI_Dialog* aDialog, const char* aTitle)
{
    if (!aDialog)
        return;
    QString locTitle = locTitleText(aTitle);
    aDialog->myTitle = locTitle.toStdString();
    // Qt reads "[*]" as the modified mark; "[*][*]" shows it as written.
    locTitle.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    // On X the title property is sent and flushed here, so it shows during a
    // long operation that runs without returning to the loop.
    aDialog->myWidget->setWindowTitle(locTitle);
}

std::string UI_GetDialogTitle(UI_Dialog* aDialog)
{
    return aDialog ? aDialog->myTitle : std::string();
}

void UI_GetDialogBaseUnits(UI_Dialog* aDialog, int* aBaseX, int* aBaseY)
{
    *aBaseX = aDialog ? aDialog->myBaseX : 0;
    *aBaseY = aDialog ? aDialog->myBaseY : 0;
}

bool UI_GetControlRect(UI_Dialog* aDialog, int anId, int* anX, int* anY, int* aWidth, int* aHeight)
{
    if (!aDialog)
        return false;
    QWidget* locWidget = anId == 0 ? aDialog->myWidget : UI_GetControlWidget(aDialog, anId);
    if (!locWidget)
        return false;
    QRect locRect = anId == 0 ? QRect(0, 0, locWidget->width(), locWidget->height()) : locWidget->geometry();
    *anX = locRect.x();
    *anY = locRect.y();
    *aWidth = locRect.width();
    *aHeight = locRect.height();
    return true;
}

bool UI_ControlToScreen(UI_Dialog* aDialog, int anId, int* anX, int* aY)
{
    QWidget* locWidget = aDialog ? UI_GetControlWidget(aDialog, anId) : nullptr;
    if (!locWidget)
        return false;
    if (QAbstractScrollArea* locArea = qobject_cast<QAbstractScrollArea*>(locWidget))
        locWidget = locArea->viewport();
    QPoint locPoint = locWidget->mapToGlobal(QPoint(*anX, *aY));
    *anX = locPoint.x();
    *aY = locPoint.y();
    return true;
}

void UI_SetDialogResizable(UI_Dialog* aDialog, bool aResizableFlag)
{
    if (!aDialog)
        return;
    QWidget* locWidget = aDialog->myWidget;
    if (aResizableFlag)
    {
        locWidget->setMinimumSize(0, 0);
        locWidget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    else
        locWidget->setFixedSize(locWidget->size());
}

bool UI_SetDialogSize(UI_Dialog* aDialog, int aWidth, int aHeight)
{
    if (!aDialog || aWidth < 0 || aHeight < 0)
        return false;
    QWidget* locWidget = aDialog->myWidget;
    if (locWidget->minimumSize() == locWidget->maximumSize())
        locWidget->setFixedSize(aWidth, aHeight);
    else
        locWidget->resize(aWidth, aHeight);
    return true;
}

bool UI_SetControlRect(UI_Dialog* aDialog, int anId, int anX, int aY, int aWidth, int aHeight)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl || aWidth < 0 || aHeight < 0)
        return false;
    locPlaceControl(*locControl, anX, aY, aWidth, aHeight);
    return true;
}

bool UI_GrabDialog(UI_Dialog* aDialog, const char* aPngPath)
{
    if (!aDialog)
        return false;
    return aDialog->myWidget->grab().save(QString::fromUtf8(aPngPath), "PNG");
}

QWidget* UI_GetDialogWidget(UI_Dialog* aDialog)
{
    return aDialog ? aDialog->myWidget : nullptr;
}

QWidget* UI_GetControlWidget(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = locFind(aDialog, anId);
    return locControl ? locControl->myWidget : nullptr;
}

// --- [SECTION] modal dialogs ---

static UI_ModalHook ourModalHook;

UI_ModalHook UI_SetModalHook(UI_ModalHook aHook)
{
    std::swap(ourModalHook, aHook);
    return aHook;
}

intptr_t UI_DoModal(const UI_DialogTemplate& aTemplate, UI_DialogProc aProc, UI_Dialog* aParent, void* aUserData)
{
    QEventLoop locLoop;
    UI_Dialog* locDialog = locBuildDialog(aTemplate, aProc, aParent, aUserData, &locLoop);
    if (!locDialog)
        return -1;
    if (!locDialog->myModalEnded && !ourModalHook && UI_IsHeadless())
    {
        fprintf(stderr, "dialog \"%s\": nobody can answer on the offscreen platform, cancelled\n",
                locDialog->myTitle.c_str());
        locDialog->myModalEnded = true;
    }
    if (!locDialog->myModalEnded)
    {
        locDialog->myWidget->setWindowModality(Qt::ApplicationModal);
        UI_ShowDialog(locDialog, true);
        if (ourModalHook)
        {
            // A copy: the hook may install another one for nested dialogs.
            UI_ModalHook locHook = ourModalHook;
            QTimer::singleShot(0, locDialog->myWidget, [locDialog, locHook]() {
                locHook(locDialog);
                if (!locDialog->myModalEnded && UI_IsHeadless())
                {
                    fprintf(stderr, "dialog \"%s\": left open by the modal hook, cancelled\n",
                            locDialog->myTitle.c_str());
                    UI_EndDialog(locDialog, UI_IDCANCEL);
                }
            });
        }
        locLoop.exec(QEventLoop::DialogExec);
    }
    intptr_t locResult = locDialog->myModalResult;
    locDialog->myModalLoop = nullptr;
    UI_DestroyDialog(locDialog);
    return locResult;
}

bool UI_EndDialog(UI_Dialog* aDialog, intptr_t aResult)
{
    if (!aDialog || !aDialog->myModalLoop)
        return false;
    aDialog->myModalResult = aResult;
    aDialog->myModalEnded = true;
    aDialog->myWidget->hide();
    aDialog->myModalLoop->quit();
    return true;
}

// --- [SECTION] control operations ---

bool UI_HasControl(UI_Dialog* aDialog, int anId)
{
    return locFind(aDialog, anId) != nullptr;
}

bool UI_EnableControl(UI_Dialog* aDialog, int anId, bool anEnableFlag)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl)
        return false;
    locControl->myWidget->setEnabled(anEnableFlag);
    return true;
}

bool UI_IsControlEnabled(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = locFind(aDialog, anId);
    return locControl && locControl->myWidget->isEnabled();
}

bool UI_SetControlText(UI_Dialog* aDialog, int anId, const char* aText)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl)
        return false;
    SilentScope locSilent(aDialog);
    QString locText = QString::fromUtf8(aText ? aText : "");
    QWidget* locWidget = locControl->myWidget;
    if (QAbstractButton* locButton = qobject_cast<QAbstractButton*>(locWidget))
        locButton->setText(locText);
    else if (QLineEdit* locLine = qobject_cast<QLineEdit*>(locWidget))
        locLine->setText(locText);
    else if (QPlainTextEdit* locEdit = qobject_cast<QPlainTextEdit*>(locWidget))
        locEdit->setPlainText(locText);
    else if (QGroupBox* locGroup = qobject_cast<QGroupBox*>(locWidget))
        locGroup->setTitle(locText);
    else if (QLabel* locLabel = qobject_cast<QLabel*>(locWidget))
        locLabel->setText(locText);
    else
        return false;
    return true;
}

bool UI_GetControlText(UI_Dialog* aDialog, int anId, std::string* aText)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl)
        return false;
    QWidget* locWidget = locControl->myWidget;
    QString locText;
    if (QAbstractButton* locButton = qobject_cast<QAbstractButton*>(locWidget))
        locText = locButton->text();
    else if (QLineEdit* locLine = qobject_cast<QLineEdit*>(locWidget))
        locText = locLine->text();
    else if (QPlainTextEdit* locEdit = qobject_cast<QPlainTextEdit*>(locWidget))
        locText = locEdit->toPlainText();
    else if (QGroupBox* locGroup = qobject_cast<QGroupBox*>(locWidget))
        locText = locGroup->title();
    else if (QLabel* locLabel = qobject_cast<QLabel*>(locWidget))
        locText = locLabel->text();
    else
        return false;
    *aText = locText.toStdString();
    return true;
}

bool UI_ClickButton(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl)
        return false;
    QAbstractButton* locButton = qobject_cast<QAbstractButton*>(locControl->myWidget);
    if (!locButton)
        return false;
    locButton->click();
    return true;
}

bool UI_IsButtonChecked(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = locFind(aDialog, anId);
    QAbstractButton* locButton = locControl ? qobject_cast<QAbstractButton*>(locControl->myWidget) : nullptr;
    return locButton && locButton->isCheckable() && locButton->isChecked();
}

bool UI_SetButtonCheck(UI_Dialog* aDialog, int anId, bool aCheckFlag)
{
    UI_Control* locControl = locFind(aDialog, anId);
    QAbstractButton* locButton = locControl ? qobject_cast<QAbstractButton*>(locControl->myWidget) : nullptr;
    if (!locButton || !locButton->isCheckable())
        return false;
    // An exclusive group refuses to uncheck its checked button by itself.
    QButtonGroup* locGroup = locButton->group();
    bool locExclusive = locGroup && locGroup->exclusive();
    if (locExclusive && !aCheckFlag)
        locGroup->setExclusive(false);
    locButton->setChecked(aCheckFlag);
    if (locExclusive && !aCheckFlag)
        locGroup->setExclusive(true);
    return true;
}

bool UI_CheckRadioButton(UI_Dialog* aDialog, int aFirstId, int aLastId, int anId)
{
    if (!UI_HasControl(aDialog, anId))
        return false;
    for (UI_Control& locControl : aDialog->myControls)
        if (locControl.myId >= aFirstId && locControl.myId <= aLastId && locControl.myId != anId)
            UI_SetButtonCheck(aDialog, locControl.myId, false);
    return UI_SetButtonCheck(aDialog, anId, true);
}

bool UI_DropFiles(UI_Dialog* aDialog, int anId, const std::vector<std::string>& aPaths)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl || !(locControl->myStyle & UI_STYLE_ACCEPTFILES) || aPaths.empty())
        return false;
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_DROPFILES;
    locMessage.myControlId = anId;
    locMessage.myDroppedFiles = &aPaths;
    UI_SendDialogMessage(aDialog, locMessage);
    return true;
}

// --- [SECTION] list box operations ---

bool UI_ListReset(UI_Dialog* aDialog, int anId)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList)
        return false;
    SilentScope locSilent(aDialog);
    locList->clear();
    return true;
}

int UI_ListAdd(UI_Dialog* aDialog, int anId, const char* aText)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList)
        return -1;
    SilentScope locSilent(aDialog);
    return locList->AddText(QString::fromUtf8(aText ? aText : ""));
}

bool UI_ListDelete(UI_Dialog* aDialog, int anId, int anIndex)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList || anIndex < 0 || anIndex >= locList->count())
        return false;
    SilentScope locSilent(aDialog);
    delete locList->takeItem(anIndex);
    return true;
}

int UI_ListGetCount(UI_Dialog* aDialog, int anId)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    return locList ? locList->count() : -1;
}

int UI_ListFindExact(UI_Dialog* aDialog, int anId, const char* aText)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList)
        return -1;
    return locList->FindExact(QByteArray(aText ? aText : ""));
}

bool UI_ListGetText(UI_Dialog* aDialog, int anId, int anIndex, std::string* aText)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList || anIndex < 0 || anIndex >= locList->count())
        return false;
    *aText = locList->item(anIndex)->text().toStdString();
    return true;
}

int UI_ListGetCurSel(UI_Dialog* aDialog, int anId)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList)
        return -1;
    if (locList->selectionMode() == QAbstractItemView::SingleSelection)
    {
        QList<QListWidgetItem*> locSelected = locList->selectedItems();
        return locSelected.isEmpty() ? -1 : locList->row(locSelected.front());
    }
    return locList->currentRow();
}

int UI_ListGetSelItems(UI_Dialog* aDialog, int anId, int* anIndices, int aMax)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList)
        return -1;
    if (locList->selectionMode() == QAbstractItemView::SingleSelection)
    {
        int locCurrent = UI_ListGetCurSel(aDialog, anId);
        if (locCurrent < 0 || aMax < 1)
            return 0;
        anIndices[0] = locCurrent;
        return 1;
    }
    int locNum = 0;
    int locCount = locList->count();
    for (int i = 0; i < locCount && locNum < aMax; i++)
        if (locList->item(i)->isSelected())
            anIndices[locNum++] = i;
    return locNum;
}

bool UI_ListSetSel(UI_Dialog* aDialog, int anId, int anIndex, bool aSelectFlag)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList || anIndex < -1 || anIndex >= locList->count())
        return false;
    SilentScope locSilent(aDialog);
    // -1 selects or clears every entry, as LB_SETSEL does.
    if (anIndex == -1)
    {
        for (int i = 0; i < locList->count(); i++)
            locList->item(i)->setSelected(aSelectFlag);
        return true;
    }
    if (locList->selectionMode() == QAbstractItemView::SingleSelection && aSelectFlag)
        locList->setCurrentRow(anIndex);
    locList->item(anIndex)->setSelected(aSelectFlag);
    return true;
}

int UI_ListSelectString(UI_Dialog* aDialog, int anId, int anAfter, const char* aPrefix)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList)
        return -1;
    int locCount = locList->count();
    QByteArray locPrefix(aPrefix ? aPrefix : "");
    int locStart = (anAfter < -1 || anAfter >= locCount) ? 0 : anAfter + 1;
    for (int n = 0; n < locCount; n++)
    {
        int i = (locStart + n) % locCount;
        QByteArray locEntry = locList->item(i)->text().toUtf8();
        if (locEntry.size() >= locPrefix.size() &&
            locCompareNoCase(locEntry.left(locPrefix.size()), locPrefix) == 0)
        {
            SilentScope locSilent(aDialog);
            if (locList->selectionMode() == QAbstractItemView::SingleSelection)
                locList->setCurrentRow(i);
            else
                locList->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
            return i;
        }
    }
    return -1;
}

bool UI_ListSetItemData(UI_Dialog* aDialog, int anId, int anIndex, intptr_t aData)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList || anIndex < 0 || anIndex >= locList->count())
        return false;
    locList->item(anIndex)->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(aData));
    return true;
}

intptr_t UI_ListGetItemData(UI_Dialog* aDialog, int anId, int anIndex)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList || anIndex < 0 || anIndex >= locList->count())
        return 0;
    return intptr_t(locList->item(anIndex)->data(Qt::UserRole).toLongLong());
}

bool UI_ListClick(UI_Dialog* aDialog, int anId, int anIndex)
{
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    if (!locList || anIndex < 0 || anIndex >= locList->count())
        return false;
    locList->setCurrentRow(anIndex, QItemSelectionModel::ClearAndSelect);
    return true;
}

bool UI_ListDoubleClick(UI_Dialog* aDialog, int anId, int anIndex)
{
    if (!UI_ListClick(aDialog, anId, anIndex))
        return false;
    UI_ListBoxWidget* locList = locFindList(aDialog, anId);
    emit locList->itemDoubleClicked(locList->item(anIndex));
    return true;
}

// --- [SECTION] combo box operations ---

static QComboBox* locFindCombo(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = locFind(aDialog, anId);
    if (!locControl || locControl->myKind != UI_CONTROL_COMBOBOX)
        return nullptr;
    return static_cast<QComboBox*>(locControl->myWidget);
}

bool UI_ComboReset(UI_Dialog* aDialog, int anId)
{
    QComboBox* locCombo = locFindCombo(aDialog, anId);
    if (!locCombo)
        return false;
    SilentScope locSilent(aDialog);
    locCombo->clear();
    return true;
}

int UI_ComboAdd(UI_Dialog* aDialog, int anId, const char* aText)
{
    QComboBox* locCombo = locFindCombo(aDialog, anId);
    if (!locCombo)
        return -1;
    SilentScope locSilent(aDialog);
    // An empty drop-down list shows no selection until one is set.
    int locCurrent = locCombo->currentIndex();
    // An entry is one line: a trailing line end would push the text out of the closed box.
    locCombo->addItem(locTitleText(aText));
    locCombo->setCurrentIndex(locCurrent);
    return locCombo->count() - 1;
}

int UI_ComboGetCount(UI_Dialog* aDialog, int anId)
{
    QComboBox* locCombo = locFindCombo(aDialog, anId);
    return locCombo ? locCombo->count() : -1;
}

bool UI_ComboSetCurSel(UI_Dialog* aDialog, int anId, int anIndex)
{
    QComboBox* locCombo = locFindCombo(aDialog, anId);
    if (!locCombo || anIndex < -1 || anIndex >= locCombo->count())
        return false;
    SilentScope locSilent(aDialog);
    locCombo->setCurrentIndex(anIndex);
    return true;
}

int UI_ComboGetCurSel(UI_Dialog* aDialog, int anId)
{
    QComboBox* locCombo = locFindCombo(aDialog, anId);
    return locCombo ? locCombo->currentIndex() : -1;
}

bool UI_ComboGetText(UI_Dialog* aDialog, int anId, int anIndex, std::string* aText)
{
    QComboBox* locCombo = locFindCombo(aDialog, anId);
    if (!locCombo || anIndex < 0 || anIndex >= locCombo->count())
        return false;
    *aText = locCombo->itemText(anIndex).toStdString();
    return true;
}

bool UI_ComboPick(UI_Dialog* aDialog, int anId, int anIndex)
{
    QComboBox* locCombo = locFindCombo(aDialog, anId);
    if (!locCombo || anIndex < 0 || anIndex >= locCombo->count())
        return false;
    locCombo->setCurrentIndex(anIndex);
    emit locCombo->activated(anIndex);
    return true;
}
