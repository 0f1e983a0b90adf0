// The layout of drawn dialogs and frames as a person sees it, and the
// gallery mode that writes it for every dialog of a program.
#include "platform/ui/ui_gallery.h"
#include "platform/ui/ui_dialog_local.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{
const char* locClassName(int aKind)
{
    switch (aKind)
    {
    case UI_CONTROL_PUSHBUTTON: return "button";
    case UI_CONTROL_LISTBOX: return "list";
    case UI_CONTROL_STATIC: return "static";
    case UI_CONTROL_EDIT: return "edit";
    case UI_CONTROL_CHECKBOX: return "check";
    case UI_CONTROL_GROUPBOX: return "group";
    case UI_CONTROL_RADIOBUTTON: return "radio";
    case UI_CONTROL_COMBOBOX: return "combo";
    case UI_CONTROL_TREE: return "tree";
    case UI_CONTROL_SLIDER: return "slider";
    case UI_CONTROL_SPIN: return "spin";
    default: return "other";
    }
}

// A button's text as drawn: "&x" underlines x, "&&" is one '&'.
QString locWithoutMnemonics(const QString& aText)
{
    QString locText;
    for (int i = 0; i < aText.size(); i++)
    {
        if (aText[i] == '&' && i + 1 < aText.size())
            i++;
        locText += aText[i];
    }
    return locText;
}

QString locControlText(QWidget* aWidget)
{
    if (QAbstractButton* locButton = qobject_cast<QAbstractButton*>(aWidget))
        return locWithoutMnemonics(locButton->text());
    if (QLineEdit* locLine = qobject_cast<QLineEdit*>(aWidget))
        return locLine->text();
    if (QPlainTextEdit* locEdit = qobject_cast<QPlainTextEdit*>(aWidget))
        return locEdit->toPlainText();
    if (QGroupBox* locGroup = qobject_cast<QGroupBox*>(aWidget))
        return locGroup->title();
    if (QLabel* locLabel = qobject_cast<QLabel*>(aWidget))
        return locLabel->text();
    if (QComboBox* locCombo = qobject_cast<QComboBox*>(aWidget))
        return locCombo->currentText();
    if (QListWidget* locList = qobject_cast<QListWidget*>(aWidget))
        return locList->currentItem() ? locList->currentItem()->text() : QString();
    if (QTreeView* locTree = qobject_cast<QTreeView*>(aWidget))
        return locTree->currentIndex().data(Qt::DisplayRole).toString();
    return QString();
}

// Width and height of the text's lines as drawn unwrapped.
QSize locTextSize(const QFontMetrics& aMetrics, const QString& aText)
{
    const QStringList locLines = aText.split('\n');
    int locWidth = 0;
    // Trailing blanks draw nothing.
    for (QString locLine : locLines)
    {
        while (locLine.endsWith(' '))
            locLine.chop(1);
        locWidth = std::max(locWidth, aMetrics.horizontalAdvance(locLine));
    }
    return QSize(locWidth, int(locLines.size()) * aMetrics.height());
}

// Fills the class, text, text rectangle and fit of one control whose
// rectangle (in the picture) is set.
void locMeasure(const UI_Control& aControl, UI_LayoutControl* anOut)
{
    QWidget* locWidget = aControl.myWidget;
    const QFontMetrics locMetrics = locWidget->fontMetrics();
    const QRect locRect(anOut->myX, anOut->myY, anOut->myWidth, anOut->myHeight);
    const QString locText = locControlText(locWidget);
    QRect locTextRect;
    bool locFits = true;
    const int locLine = locMetrics.height();
    switch (aControl.myKind)
    {
    case UI_CONTROL_STATIC:
    {
        QLabel* locLabel = qobject_cast<QLabel*>(locWidget);
        if (locText.isEmpty() || !locLabel)
            break;
        QSize locSize;
        if (locLabel->wordWrap())
        {
            QRect locBounds = locMetrics.boundingRect(QRect(0, 0, locRect.width(), 1 << 20),
                                                      Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, locText);
            locSize = locBounds.size();
            // A word longer than the line sticks out on the right.
            locFits = locBounds.width() <= locRect.width();
        }
        else
            locSize = locTextSize(locMetrics, locText);
        locFits = locFits && locSize.width() <= locRect.width() && locSize.height() <= locRect.height();
        locTextRect = QStyle::alignedRect(Qt::LeftToRight, locLabel->alignment(), locSize, locRect);
        break;
    }
    case UI_CONTROL_PUSHBUTTON:
    case UI_CONTROL_GROUPBOX:
    {
        if (locText.isEmpty())
            break;
        QSize locSize = locTextSize(locMetrics, locText);
        if (aControl.myKind == UI_CONTROL_GROUPBOX)
        {
            // The title sits on the frame's top line, after a short stretch of it.
            locTextRect = QRect(locRect.x() + 8, locRect.y(), locSize.width(), locSize.height());
            locFits = locSize.width() + 16 <= locRect.width() && locSize.height() <= locRect.height();
        }
        else
        {
            // The frame and a margin of 3 pixels on each side.
            locTextRect = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, locSize, locRect);
            locFits = locSize.width() + 6 <= locRect.width() && locSize.height() + 4 <= locRect.height();
        }
        break;
    }
    case UI_CONTROL_CHECKBOX:
    case UI_CONTROL_RADIOBUTTON:
    {
        bool locRadio = aControl.myKind == UI_CONTROL_RADIOBUTTON;
        QStyle* locStyle = locWidget->style();
        int locIndicator =
            locStyle->pixelMetric(locRadio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, nullptr,
                                  locWidget) +
            locStyle->pixelMetric(locRadio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing,
                                  nullptr, locWidget);
        QSize locSize = locText.isEmpty() ? QSize(0, 0) : locTextSize(locMetrics, locText);
        QRect locLabelArea = locRect.adjusted(locIndicator, 0, 0, 0);
        if (!locText.isEmpty())
            locTextRect = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignLeft | Qt::AlignVCenter, locSize, locLabelArea);
        locFits = locSize.width() <= locLabelArea.width() && std::max(locSize.height(), locLine) <= locRect.height();
        break;
    }
    case UI_CONTROL_COMBOBOX:
    {
        QComboBox* locCombo = static_cast<QComboBox*>(locWidget);
        QStyleOptionComboBox locOption;
        locOption.initFrom(locCombo);
        locOption.rect = QRect(0, 0, locRect.width(), locRect.height());
        locOption.editable = false;
        QRect locField = locCombo->style()->subControlRect(QStyle::CC_ComboBox, &locOption,
                                                           QStyle::SC_ComboBoxEditField, locCombo);
        locField.translate(locRect.topLeft());
        QSize locSize = locTextSize(locMetrics, locText);
        if (!locText.isEmpty())
            locTextRect = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignLeft | Qt::AlignVCenter, locSize, locField);
        locFits = locSize.width() <= locField.width() && std::max(locSize.height(), locLine) <= locField.height();
        break;
    }
    case UI_CONTROL_EDIT:
    case UI_CONTROL_LISTBOX:
    case UI_CONTROL_TREE:
    {
        // These scroll their text; one line must show in full, inside the frame.
        locFits = locLine + 4 <= locRect.height();
        if (aControl.myKind == UI_CONTROL_EDIT && !locText.isEmpty())
        {
            QRect locInner = locRect.adjusted(3, 2, -3, -2);
            QSize locSize(std::min(locTextSize(locMetrics, locText).width(), locInner.width()), locLine);
            locTextRect = QStyle::alignedRect(Qt::LeftToRight,
                                              (aControl.myStyle & UI_STYLE_MULTILINE) ? Qt::AlignLeft | Qt::AlignTop
                                                                                      : Qt::AlignLeft | Qt::AlignVCenter,
                                              locSize, locInner);
        }
        break;
    }
    default:
        break;
    }
    anOut->myClass = locClassName(aControl.myKind);
    QString locFlat = locText;
    locFlat.replace('\t', ' ').replace('\r', ' ').replace('\n', ' ');
    anOut->myText = locFlat.toStdString();
    anOut->myFitsFlag = locFits;
    anOut->myTextX = locTextRect.x();
    anOut->myTextY = locTextRect.y();
    anOut->myTextWidth = locTextRect.width();
    anOut->myTextHeight = locTextRect.height();
}

// The dialog's visible controls, rectangles relative to aPicture.
void locDescribe(UI_Dialog* aDialog, QWidget* aPicture, const char* anImage, std::vector<UI_LayoutControl>* anOut)
{
    if (!aDialog || !aPicture)
        return;
    QWidget* locDialog = aDialog->myWidget;
    if (locDialog != aPicture && !locDialog->isVisibleTo(aPicture))
        return;
    // What the windows around the dialog leave of it (a frame's bar row, the window).
    QRect locClip = aPicture->rect();
    for (QWidget* locOuter = locDialog; locOuter && locOuter != aPicture; locOuter = locOuter->parentWidget())
        locClip &= QRect(locOuter->mapTo(aPicture, QPoint(0, 0)), locOuter->size());
    for (const UI_Control& locControl : aDialog->myControls)
    {
        QWidget* locWidget = locControl.myWidget;
        if (!locWidget || !locWidget->isVisibleTo(locDialog))
            continue;
        QRect locRect(locWidget->mapTo(aPicture, QPoint(0, 0)), locWidget->size());
        locRect &= locClip;
        if (locRect.isEmpty())
            continue;
        UI_LayoutControl locOut;
        locOut.myImage = anImage ? anImage : "";
        locOut.myId = locControl.myId;
        locOut.myX = locRect.x();
        locOut.myY = locRect.y();
        locOut.myWidth = locRect.width();
        locOut.myHeight = locRect.height();
        locMeasure(locControl, &locOut);
        anOut->push_back(locOut);
    }
}

QRect locRectOf(const UI_LayoutControl& aControl)
{
    return QRect(aControl.myX, aControl.myY, aControl.myWidth, aControl.myHeight);
}

QRect locTextRectOf(const UI_LayoutControl& aControl)
{
    return QRect(aControl.myTextX, aControl.myTextY, aControl.myTextWidth, aControl.myTextHeight);
}

std::string locName(const UI_LayoutControl& aControl)
{
    std::string locName = std::to_string(aControl.myId) + " (" + aControl.myClass;
    if (!aControl.myText.empty())
        locName += " \"" + aControl.myText + "\"";
    return locName + ")";
}

// Allowed overlaps: a control inside a group box (clear of its title), and a
// static (drawn without a background) whose text the other control leaves
// free; two statics whose texts lie apart.
bool locMayOverlap(const UI_LayoutControl& aFirst, const UI_LayoutControl& aSecond)
{
    for (int i = 0; i < 2; i++)
    {
        const UI_LayoutControl& locOuter = i == 0 ? aFirst : aSecond;
        const UI_LayoutControl& locInner = i == 0 ? aSecond : aFirst;
        if (locOuter.myClass == "group" && locRectOf(locOuter).contains(locRectOf(locInner)) &&
            !locTextRectOf(locOuter).intersects(locRectOf(locInner)))
            return true;
    }
    if (aFirst.myClass == "static" && aSecond.myClass == "static")
        return !locTextRectOf(aFirst).intersects(locTextRectOf(aSecond));
    if (aFirst.myClass == "static")
        return !locTextRectOf(aFirst).intersects(locRectOf(aSecond));
    if (aSecond.myClass == "static")
        return !locTextRectOf(aSecond).intersects(locRectOf(aFirst));
    return false;
}

std::string ourFolder;
bool ourFolderRead = false;
std::vector<std::string> ourShots;

bool locAppend(const std::string& aPath, const std::string& aText)
{
    FILE* locFile = fopen(aPath.c_str(), "ab");
    if (!locFile)
        return false;
    bool locOk = fwrite(aText.data(), 1, aText.size(), locFile) == aText.size();
    return fclose(locFile) == 0 && locOk;
}

bool locShoot(QWidget* aPicture, const std::vector<UI_LayoutControl>& aControls, const char* aName)
{
    const char* locFolder = UI_GalleryFolder();
    if (!locFolder || !aPicture)
        return false;
    std::string locImage = std::string(aName) + ".png";
    if (!aPicture->grab().save(QString::fromStdString(std::string(locFolder) + "/" + locImage), "PNG"))
        return false;
    std::string locLines;
    for (const UI_LayoutControl& locControl : aControls)
        locLines += UI_LayoutLine(locControl) + "\n";
    std::string locFaults;
    for (const std::string& locFault : UI_FindLayoutFaults(aControls))
        locFaults += locFault + "\n";
    ourShots.push_back(aName);
    return locAppend(std::string(locFolder) + "/layout.tsv", locLines) &&
           locAppend(std::string(locFolder) + "/faults.txt", locFaults);
}
} // namespace

std::vector<UI_LayoutControl> UI_DescribeDialog(UI_Dialog* aDialog, const char* anImage)
{
    std::vector<UI_LayoutControl> locControls;
    if (aDialog)
        locDescribe(aDialog, aDialog->myWidget, anImage, &locControls);
    return locControls;
}

std::vector<UI_LayoutControl> UI_DescribeFrame(UI_Frame* aFrame, const char* anImage)
{
    std::vector<UI_LayoutControl> locControls;
    QWidget* locWindow = UI_GetFrameWidget(aFrame);
    locDescribe(UI_FrameGetDialogBar(aFrame), locWindow, anImage, &locControls);
    locDescribe(UI_FrameGetPane(aFrame), locWindow, anImage, &locControls);
    return locControls;
}

std::string UI_LayoutLine(const UI_LayoutControl& aControl)
{
    return aControl.myImage + "\t" + std::to_string(aControl.myId) + "\t" + aControl.myClass + "\t" +
           std::to_string(aControl.myX) + "\t" + std::to_string(aControl.myY) + "\t" + std::to_string(aControl.myWidth) +
           "\t" + std::to_string(aControl.myHeight) + "\t" + aControl.myText + "\t" + (aControl.myFitsFlag ? "1" : "0");
}

std::vector<std::string> UI_FindLayoutFaults(const std::vector<UI_LayoutControl>& aControls)
{
    std::vector<std::string> locFaults;
    for (size_t i = 0; i < aControls.size(); i++)
    {
        const UI_LayoutControl& locFirst = aControls[i];
        if (!locFirst.myFitsFlag)
            locFaults.push_back(locFirst.myImage + ": the text of " + locName(locFirst) + " does not fit its " +
                                std::to_string(locFirst.myWidth) + "x" + std::to_string(locFirst.myHeight) + " pixels");
        for (size_t j = i + 1; j < aControls.size(); j++)
        {
            const UI_LayoutControl& locSecond = aControls[j];
            if (locFirst.myImage == locSecond.myImage && locRectOf(locFirst).intersects(locRectOf(locSecond)) &&
                !locMayOverlap(locFirst, locSecond))
                locFaults.push_back(locFirst.myImage + ": " + locName(locFirst) + " and " + locName(locSecond) +
                                    " overlap");
        }
    }
    return locFaults;
}

const char* UI_GalleryFolder()
{
    if (!ourFolderRead)
    {
        ourFolderRead = true;
        const char* locFolder = std::getenv("Q_UI_GALLERY");
        ourFolder = locFolder ? locFolder : "";
    }
    return ourFolder.empty() ? nullptr : ourFolder.c_str();
}

bool UI_GalleryShootDialog(UI_Dialog* aDialog, const char* aName)
{
    if (!aDialog)
        return false;
    QCoreApplication::processEvents();
    std::string locImage = std::string(aName) + ".png";
    return locShoot(aDialog->myWidget, UI_DescribeDialog(aDialog, locImage.c_str()), aName);
}

bool UI_GalleryShootFrame(UI_Frame* aFrame, const char* aName)
{
    if (!aFrame)
        return false;
    QCoreApplication::processEvents();
    // A view drawn on a timer is shot with its picture, as the user first sees it.
    const bool locPictureFlag = UI_FrameWaitForViewPicture(aFrame, 5000);
    std::string locImage = std::string(aName) + ".png";
    if (!locShoot(UI_GetFrameWidget(aFrame), UI_DescribeFrame(aFrame, locImage.c_str()), aName))
        return false;
    return locPictureFlag ||
           locAppend(std::string(UI_GalleryFolder()) + "/faults.txt", locImage + ": the view shows no picture\n");
}

void UI_GalleryShootNextModal(const char* aName)
{
    std::string locName = aName;
    auto locPrevious = std::make_shared<UI_ModalHook>();
    *locPrevious = UI_SetModalHook([locName, locPrevious](UI_Dialog* aDialog) {
        UI_SetModalHook(*locPrevious);
        if (!UI_GalleryShootDialog(aDialog, locName.c_str()))
            fprintf(stderr, "gallery: %s could not be written\n", locName.c_str());
        UI_EndDialog(aDialog, UI_IDCANCEL);
    });
}

bool UI_GalleryShootModal(const char* aName, const std::function<void()>& anOpener)
{
    const size_t locBefore = UI_GalleryShots().size();
    UI_GalleryShootNextModal(aName);
    anOpener();
    if (UI_GalleryShots().size() != locBefore)
        return true;
    UI_SetModalHook(nullptr);
    fprintf(stderr, "gallery: %s did not open\n", aName);
    return false;
}

const std::vector<std::string>& UI_GalleryShots()
{
    return ourShots;
}
