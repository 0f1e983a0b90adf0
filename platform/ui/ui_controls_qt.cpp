// The further controls: sliders, up-down controls, owner-drawn buttons, and
// tooltips, edit limits, numeric fields and placement for every control.
#include "platform/ui/ui_dialog_local.h"
#include "platform/ui/ui_prompt.h"
#include "platform/ui/ui_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QAbstractListModel>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace
{
QColor locColor(uint32_t aColor)
{
    return QColor(int((aColor >> 16) & 0xFF), int((aColor >> 8) & 0xFF), int(aColor & 0xFF));
}

// An up-down control: two arrows over a position within a range.
class UI_SpinWidget : public QWidget
{
public:
    UI_SpinWidget(UI_Dialog* anOwner, int anId, QWidget* aParent) : QWidget(aParent), myOwner(anOwner), myId(anId)
    {
        QVBoxLayout* locLayout = new QVBoxLayout(this);
        locLayout->setContentsMargins(0, 0, 0, 0);
        locLayout->setSpacing(0);
        for (bool locUp : {true, false})
        {
            QToolButton* locButton = new QToolButton(this);
            locButton->setArrowType(locUp ? Qt::UpArrow : Qt::DownArrow);
            locButton->setAutoRepeat(true);
            locButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            locLayout->addWidget(locButton);
            QObject::connect(locButton, &QToolButton::clicked, this, [this, locUp]() { Press(locUp); });
        }
    }
    void Press(bool anUpFlag)
    {
        int locNew = std::clamp(myPos + (anUpFlag ? 1 : -1), std::min(myMin, myMax), std::max(myMin, myMax));
        myPos = locNew;
        UI_Message locMessage;
        locMessage.myKind = UI_MSG_COMMAND;
        locMessage.myControlId = myId;
        locMessage.myNotifyCode = UI_UDN_DELTAPOS;
        locMessage.myWidth = anUpFlag ? 1 : -1;
        UI_SendDialogMessage(myOwner, locMessage);
    }
    int myMin = 0;
    int myMax = 100;
    int myPos = 0;

private:
    UI_Dialog* myOwner;
    int myId;
};

// A push button the dialog procedure paints.
class UI_OwnerDrawButton : public QAbstractButton
{
public:
    UI_OwnerDrawButton(UI_Dialog* anOwner, int anId, QWidget* aParent)
        : QAbstractButton(aParent), myOwner(anOwner), myId(anId)
    {
        QObject::connect(this, &QAbstractButton::clicked, this,
                         [this]() { UI_SendDialogCommand(myOwner, myId, UI_BN_CLICKED); });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter locPainter(this);
        UI_DrawItem locItem;
        locItem.myWidth = width();
        locItem.myHeight = height();
        locItem.mySelectedFlag = isDown();
        locItem.myFocusFlag = hasFocus();
        locItem.myPainter = &locPainter;
        UI_Message locMessage;
        locMessage.myKind = UI_MSG_DRAWITEM;
        locMessage.myControlId = myId;
        locMessage.myDrawItem = &locItem;
        UI_SendDialogMessage(myOwner, locMessage);
    }

private:
    UI_Dialog* myOwner;
    int myId;
};

class UI_EditFocusFilter : public QObject
{
public:
    UI_EditFocusFilter(UI_Dialog* anOwner, int anId, QObject* aParent) : QObject(aParent), myOwner(anOwner), myId(anId)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* anEvent) override
    {
        if (anEvent->type() == QEvent::FocusOut)
            UI_SendDialogCommand(myOwner, myId, UI_EN_KILLFOCUS);
        return false;
    }

private:
    UI_Dialog* myOwner;
    int myId;
};

QSlider* locSlider(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = UI_FindControl(aDialog, anId);
    return locControl && locControl->myKind == UI_CONTROL_SLIDER ? static_cast<QSlider*>(locControl->myWidget)
                                                                 : nullptr;
}

UI_SpinWidget* locSpin(UI_Dialog* aDialog, int anId)
{
    UI_Control* locControl = UI_FindControl(aDialog, anId);
    return locControl && locControl->myKind == UI_CONTROL_SPIN ? static_cast<UI_SpinWidget*>(locControl->myWidget)
                                                               : nullptr;
}

// The edit's text as a number, blanks around it allowed; false when anything else is there.
bool locReadNumber(UI_Dialog* aDialog, int anId, bool anIntegerFlag, double* aValue)
{
    std::string locText;
    if (!UI_GetControlText(aDialog, anId, &locText))
        return false;
    const char* locStart = locText.c_str();
    char* locEnd = nullptr;
    double locValue = anIntegerFlag ? double(strtol(locStart, &locEnd, 10)) : strtod(locStart, &locEnd);
    if (locEnd == locStart)
        return false;
    while (*locEnd == ' ' || *locEnd == '\t')
        locEnd++;
    if (*locEnd || !std::isfinite(locValue))
        return false;
    *aValue = locValue;
    return true;
}

void locRefuse(UI_Dialog* aDialog, int anId, const char* aCaption, const char* aText)
{
    UI_MessageBox(aCaption, aText, OS_MB_OK | OS_MB_ICONWARNING);
    if (QWidget* locWidget = UI_GetControlWidget(aDialog, anId))
        locWidget->setFocus(Qt::OtherFocusReason);
}
// A log's lines for a combo box: their UTF-8 bytes in blocks of 64 KB and
// where each line starts. A console keeps a line per compiled root; a QString
// or an item object each would take several times the text, and one growing
// block would be copied whole at each growth, the old beside the new. A line
// becomes a QString only when it is asked for, which is when it is shown.
class UI_LineModel : public QAbstractListModel
{
public:
    explicit UI_LineModel(QObject* aParent) : QAbstractListModel(aParent) {}

    int rowCount(const QModelIndex& aParent = QModelIndex()) const override
    {
        return aParent.isValid() ? 0 : int(myStarts.size());
    }

    QVariant data(const QModelIndex& anIndex, int aRole) const override
    {
        if (!Priv_Valid(anIndex) || (aRole != Qt::DisplayRole && aRole != Qt::EditRole))
            return QVariant();
        const std::string_view locLine = Priv_Line(size_t(anIndex.row()));
        return QString::fromUtf8(locLine.data(), qsizetype(locLine.size()));
    }

    Qt::ItemFlags flags(const QModelIndex& anIndex) const override
    {
        return Priv_Valid(anIndex) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                                   : Qt::NoItemFlags;
    }

    // The combo box adds a single entry as an empty row at the end given its
    // text; a change elsewhere lays the lines out again.
    bool setData(const QModelIndex& anIndex, const QVariant& aValue, int aRole) override
    {
        if (!Priv_Valid(anIndex) || (aRole != Qt::DisplayRole && aRole != Qt::EditRole))
            return false;
        const size_t locRow = size_t(anIndex.row());
        const QByteArray locText = aValue.toString().toUtf8();
        if (locRow + 1 == myStarts.size() && Priv_Line(locRow).empty())
        {
            myStarts.pop_back();
            Priv_Append(std::string_view(locText.constData(), size_t(locText.size())));
        }
        else
        {
            std::vector<std::string> locLines = Priv_Take();
            locLines[locRow].assign(locText.constData(), size_t(locText.size()));
            for (const std::string& locLine : locLines)
                Priv_Append(locLine);
        }
        emit dataChanged(anIndex, anIndex, {Qt::DisplayRole, Qt::EditRole});
        return true;
    }

    bool insertRows(int aRow, int aCount, const QModelIndex& aParent = QModelIndex()) override
    {
        if (aParent.isValid() || aRow < 0 || aRow > rowCount() || aCount <= 0)
            return false;
        beginInsertRows(QModelIndex(), aRow, aRow + aCount - 1);
        const bool locAtEnd = aRow == rowCount();
        std::vector<std::string> locLines;
        if (!locAtEnd)
            locLines = Priv_Take();
        locLines.insert(locLines.begin() + (locAtEnd ? 0 : aRow), size_t(aCount), std::string());
        for (const std::string& locLine : locLines)
            Priv_Append(locLine);
        endInsertRows();
        return true;
    }

    bool removeRows(int aRow, int aCount, const QModelIndex& aParent = QModelIndex()) override
    {
        if (aParent.isValid() || aRow < 0 || aCount <= 0 || aRow + aCount > rowCount())
            return false;
        beginRemoveRows(QModelIndex(), aRow, aRow + aCount - 1);
        // Cleared, as the console is before each compile, without a copy.
        std::vector<std::string> locLines;
        if (aCount < rowCount())
        {
            locLines = Priv_Take();
            locLines.erase(locLines.begin() + aRow, locLines.begin() + aRow + aCount);
        }
        else
            Priv_Take(0);
        for (const std::string& locLine : locLines)
            Priv_Append(locLine);
        endRemoveRows();
        return true;
    }

    // Appended at the end at once, trailing line ends gone as the combo box's
    // entries are one line each.
    void AppendLines(const std::vector<std::string>& aLines)
    {
        if (aLines.empty())
            return;
        const int locFirst = rowCount();
        beginInsertRows(QModelIndex(), locFirst, locFirst + int(aLines.size()) - 1);
        for (const std::string& locLine : aLines)
        {
            size_t locLength = locLine.size();
            while (locLength > 0 && (locLine[locLength - 1] == '\n' || locLine[locLength - 1] == '\r'))
                locLength--;
            Priv_Append(std::string_view(locLine.data(), locLength));
        }
        endInsertRows();
    }

private:
    static constexpr size_t BLOCK = 64 * 1024;

    struct Start
    {
        uint32_t myBlock;
        uint32_t myOffset;
    };

    bool Priv_Valid(const QModelIndex& anIndex) const
    {
        return anIndex.isValid() && !anIndex.parent().isValid() && anIndex.row() >= 0 &&
               size_t(anIndex.row()) < myStarts.size() && anIndex.column() == 0;
    }

    std::string_view Priv_Line(size_t aRow) const
    {
        const Start locStart = myStarts[aRow];
        const std::string& locBlock = myBlocks[locStart.myBlock];
        const size_t locEnd = aRow + 1 < myStarts.size() && myStarts[aRow + 1].myBlock == locStart.myBlock
                                  ? myStarts[aRow + 1].myOffset
                                  : locBlock.size();
        return std::string_view(locBlock.data() + locStart.myOffset, locEnd - locStart.myOffset);
    }

    // A line longer than a block gets a block of its own.
    void Priv_Append(std::string_view aLine)
    {
        if (myBlocks.empty() || myBlocks.back().size() + aLine.size() > myBlocks.back().capacity())
        {
            myBlocks.emplace_back();
            myBlocks.back().reserve(aLine.size() > BLOCK ? aLine.size() : BLOCK);
        }
        myStarts.push_back({uint32_t(myBlocks.size() - 1), uint32_t(myBlocks.back().size())});
        myBlocks.back().append(aLine.data(), aLine.size());
    }

    // The first aCount lines (all by default), the model left empty.
    std::vector<std::string> Priv_Take(size_t aCount = size_t(-1))
    {
        std::vector<std::string> locLines;
        locLines.reserve(std::min(aCount, myStarts.size()));
        for (size_t i = 0; i < myStarts.size() && i < aCount; i++)
            locLines.emplace_back(Priv_Line(i));
        std::vector<std::string>().swap(myBlocks);
        std::vector<Start>().swap(myStarts);
        return locLines;
    }

    std::vector<std::string> myBlocks;
    std::vector<Start> myStarts;
};
} // namespace

QWidget* UI_CreateFurtherControl(UI_Dialog* aDialog, const UI_ControlTemplate& aTemplate, QWidget* aParent)
{
    int locId = aTemplate.myId;
    if (aTemplate.myKind == UI_CONTROL_SLIDER)
    {
        QSlider* locSlider = new QSlider(Qt::Horizontal, aParent);
        locSlider->setRange(0, 100);
        QObject::connect(locSlider, &QSlider::actionTriggered, locSlider, [aDialog, locId, locSlider](int) {
            // The action's position is applied after this signal.
            QMetaObject::invokeMethod(
                locSlider, [aDialog, locId]() { UI_SendDialogCommand(aDialog, locId, UI_TB_POSCHANGED); },
                Qt::QueuedConnection);
        });
        QObject::connect(locSlider, &QSlider::sliderMoved, locSlider,
                         [aDialog, locId](int) { UI_SendDialogCommand(aDialog, locId, UI_TB_POSCHANGED); });
        QObject::connect(locSlider, &QSlider::sliderReleased, locSlider,
                         [aDialog, locId]() { UI_SendDialogCommand(aDialog, locId, UI_TB_ENDTRACK); });
        return locSlider;
    }
    if (aTemplate.myKind == UI_CONTROL_SPIN)
        return new UI_SpinWidget(aDialog, locId, aParent);
    return new UI_OwnerDrawButton(aDialog, locId, aParent);
}

void UI_WatchEditFocus(UI_Dialog* aDialog, int anId, QWidget* anEdit)
{
    anEdit->installEventFilter(new UI_EditFocusFilter(aDialog, anId, anEdit));
}

bool UI_SliderSetRange(UI_Dialog* aDialog, int anId, int aMin, int aMax)
{
    QSlider* locControl = locSlider(aDialog, anId);
    if (!locControl || aMin > aMax)
        return false;
    UI_SilentScope locSilent(aDialog);
    locControl->setRange(aMin, aMax);
    return true;
}

bool UI_SliderSetPos(UI_Dialog* aDialog, int anId, int aPos)
{
    QSlider* locControl = locSlider(aDialog, anId);
    if (!locControl)
        return false;
    locControl->blockSignals(true);
    locControl->setValue(aPos);
    locControl->blockSignals(false);
    return true;
}

int UI_SliderGetPos(UI_Dialog* aDialog, int anId)
{
    QSlider* locControl = locSlider(aDialog, anId);
    return locControl ? locControl->value() : -1;
}

bool UI_SliderDrag(UI_Dialog* aDialog, int anId, int aPos)
{
    QSlider* locControl = locSlider(aDialog, anId);
    if (!locControl || !locControl->isEnabled())
        return false;
    UI_SliderSetPos(aDialog, anId, aPos);
    UI_SendDialogCommand(aDialog, anId, UI_TB_POSCHANGED);
    UI_SendDialogCommand(aDialog, anId, UI_TB_ENDTRACK);
    return true;
}

bool UI_SpinSetRange(UI_Dialog* aDialog, int anId, int aMin, int aMax)
{
    UI_SpinWidget* locControl = locSpin(aDialog, anId);
    if (!locControl)
        return false;
    locControl->myMin = aMin;
    locControl->myMax = aMax;
    locControl->myPos = std::clamp(locControl->myPos, std::min(aMin, aMax), std::max(aMin, aMax));
    return true;
}

bool UI_SpinSetPos(UI_Dialog* aDialog, int anId, int aPos)
{
    UI_SpinWidget* locControl = locSpin(aDialog, anId);
    if (!locControl)
        return false;
    locControl->myPos = std::clamp(aPos, std::min(locControl->myMin, locControl->myMax),
                                   std::max(locControl->myMin, locControl->myMax));
    return true;
}

int UI_SpinGetPos(UI_Dialog* aDialog, int anId)
{
    UI_SpinWidget* locControl = locSpin(aDialog, anId);
    return locControl ? locControl->myPos : -1;
}

bool UI_SpinPress(UI_Dialog* aDialog, int anId, bool anUpFlag)
{
    UI_SpinWidget* locControl = locSpin(aDialog, anId);
    if (!locControl || !locControl->isEnabled())
        return false;
    locControl->Press(anUpFlag);
    return true;
}

void UI_DrawFillRect(UI_DrawItem* anItem, int anX, int aY, int aWidth, int aHeight, uint32_t aColor)
{
    if (anItem && anItem->myPainter && aWidth > 0 && aHeight > 0)
        static_cast<QPainter*>(anItem->myPainter)->fillRect(anX, aY, aWidth, aHeight, locColor(aColor));
}

void UI_DrawFrameRect(UI_DrawItem* anItem, int anX, int aY, int aWidth, int aHeight, uint32_t aColor)
{
    if (!anItem || !anItem->myPainter || aWidth <= 0 || aHeight <= 0)
        return;
    // One pixel inside the rectangle, as FrameRect draws.
    QPainter* locPainter = static_cast<QPainter*>(anItem->myPainter);
    QColor locPen = locColor(aColor);
    locPainter->fillRect(anX, aY, aWidth, 1, locPen);
    locPainter->fillRect(anX, aY + aHeight - 1, aWidth, 1, locPen);
    locPainter->fillRect(anX, aY, 1, aHeight, locPen);
    locPainter->fillRect(anX + aWidth - 1, aY, 1, aHeight, locPen);
}

bool UI_InvalidateControl(UI_Dialog* aDialog, int anId)
{
    QWidget* locWidget = UI_GetControlWidget(aDialog, anId);
    if (!locWidget)
        return false;
    locWidget->update();
    return true;
}

bool UI_SetControlToolTip(UI_Dialog* aDialog, int anId, const char* aText)
{
    QWidget* locWidget = UI_GetControlWidget(aDialog, anId);
    if (!locWidget)
        return false;
    locWidget->setToolTip(QString::fromUtf8(aText ? aText : ""));
    return true;
}

bool UI_SetEditLimit(UI_Dialog* aDialog, int anId, int aMaxChars)
{
    QLineEdit* locEdit = qobject_cast<QLineEdit*>(UI_GetControlWidget(aDialog, anId));
    if (!locEdit || aMaxChars < 0)
        return false;
    locEdit->setMaxLength(aMaxChars == 0 ? 32767 : aMaxChars);
    return true;
}

namespace
{
// MFC's data exchange messages: the parse failure, then the range with its bounds.
bool locGetNumber(UI_Dialog* aDialog, int anId, bool anIntegerFlag, double aMin, double aMax, const char* aCaption,
                  double* aValue)
{
    double locValue = 0.0;
    const char* locKind = anIntegerFlag ? "an integer" : "a number";
    char locText[160];
    if (!locReadNumber(aDialog, anId, anIntegerFlag, &locValue))
    {
        if (!UI_HasControl(aDialog, anId))
            return false;
        snprintf(locText, sizeof(locText), "Please enter %s.", locKind);
        locRefuse(aDialog, anId, aCaption, locText);
        return false;
    }
    if (locValue < aMin || locValue > aMax)
    {
        snprintf(locText, sizeof(locText), "Please enter %s between %.15g and %.15g.", locKind, aMin, aMax);
        locRefuse(aDialog, anId, aCaption, locText);
        return false;
    }
    *aValue = locValue;
    return true;
}
} // namespace

bool UI_GetControlInt(UI_Dialog* aDialog, int anId, int aMin, int aMax, const char* aCaption, int* aValue)
{
    double locValue = 0.0;
    if (!locGetNumber(aDialog, anId, true, aMin, aMax, aCaption, &locValue))
        return false;
    *aValue = int(locValue);
    return true;
}

bool UI_GetControlFloat(UI_Dialog* aDialog, int anId, double aMin, double aMax, const char* aCaption, double* aValue)
{
    return locGetNumber(aDialog, anId, false, aMin, aMax, aCaption, aValue);
}

bool UI_MoveDialogToLeftEdge(UI_Dialog* aDialog)
{
    QWidget* locWidget = UI_GetDialogWidget(aDialog);
    if (!locWidget)
        return false;
    QRect locFrame = locWidget->frameGeometry();
    QScreen* locScreen = locWidget->screen();
    if (!locWidget->isVisible() && !locWidget->testAttribute(Qt::WA_Moved))
    {
        // Not placed yet (the init message comes before the dialog shows): its top is the
        // one it gets centred on its owner, the active window for a dialog without a parent,
        // as Windows places dialogs. The title bar is taken as tall as the owner's.
        QWidget* locOwner = locWidget->parentWidget() ? locWidget->parentWidget()->window() : QApplication::activeWindow();
        if (locOwner == locWidget || (locOwner && !locOwner->isVisible()))
            locOwner = nullptr;
        int locTitle = locOwner ? locOwner->geometry().top() - locOwner->frameGeometry().top() : 0;
        if (locOwner && locOwner->screen())
            locScreen = locOwner->screen();
        QRect locArea = locScreen ? locScreen->availableGeometry() : QRect();
        QRect locAround = locOwner ? locOwner->frameGeometry() : locArea;
        locFrame.setHeight(locWidget->height() + locTitle);
        locFrame.moveTop(locAround.top() + (locAround.height() - locFrame.height()) / 2);
    }
    if (!locScreen)
        locScreen = QGuiApplication::primaryScreen();
    QRect locArea = locScreen ? locScreen->availableGeometry() : QRect(0, 0, 0, 0);
    int locTop = std::clamp(locFrame.top(), locArea.top(), std::max(locArea.top(), locArea.bottom() - locFrame.height()));
    locWidget->move(locArea.left(), locTop);
    return true;
}

int UI_ComboAddMany(UI_Dialog* aDialog, int anId, const std::vector<std::string>& aTexts)
{
    UI_Control* locControl = UI_FindControl(aDialog, anId);
    if (!locControl || locControl->myKind != UI_CONTROL_COMBOBOX)
        return -1;
    QComboBox* locCombo = static_cast<QComboBox*>(locControl->myWidget);
    UI_SilentScope locSilent(aDialog);
    const int locFirst = locCombo->count();
    const int locCurrent = locCombo->currentIndex();
    UI_LineModel* locModel = dynamic_cast<UI_LineModel*>(locCombo->model());
    if (!locModel)
    {
        std::vector<std::string> locOld;
        for (int i = 0; i < locFirst; i++)
            locOld.push_back(locCombo->itemText(i).toStdString());
        locModel = new UI_LineModel(locCombo);
        locModel->AppendLines(locOld);
        locCombo->setModel(locModel);
    }
    locModel->AppendLines(aTexts);
    locCombo->setCurrentIndex(locCurrent);
    return locFirst;
}
