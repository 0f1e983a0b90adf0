// The colour swatch and the helpers the editor's dialogs share.
#include "modeleditor/app/pranvel_colorbutton.h"

#include "modeleditor/qre_command.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_qt.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
UI_Frame* ourDialogFrame = nullptr;

class MouseMoveForwarder : public QObject
{
public:
    explicit MouseMoveForwarder(QObject* aParent) : QObject(aParent) {}

protected:
    bool eventFilter(QObject*, QEvent* anEvent) override
    {
        if (anEvent->type() != QEvent::MouseMove || !ourDialogFrame)
            return false;
        QMouseEvent* locMouse = static_cast<QMouseEvent*>(anEvent);
        UI_ViewMessage locMessage;
        locMessage.myKind = UI_VM_MOUSEMOVE;
        locMessage.myX = int(locMouse->position().x());
        locMessage.myY = int(locMouse->position().y());
        Qt::MouseButtons locButtons = locMouse->buttons();
        Qt::KeyboardModifiers locKeys = locMouse->modifiers();
        locMessage.myKeyState = (locButtons & Qt::LeftButton ? UI_MK_LBUTTON : 0) |
                                (locButtons & Qt::RightButton ? UI_MK_RBUTTON : 0) |
                                (locButtons & Qt::MiddleButton ? UI_MK_MBUTTON : 0) |
                                (locKeys & Qt::ShiftModifier ? UI_MK_SHIFT : 0) |
                                (locKeys & Qt::ControlModifier ? UI_MK_CONTROL : 0);
        UI_FrameSendViewMessage(ourDialogFrame, locMessage);
        return false;
    }
};

class DoubleClickWatcher : public QObject
{
public:
    DoubleClickWatcher(QObject* aParent, std::function<void()> aHandler) : QObject(aParent), myHandler(aHandler) {}

protected:
    bool eventFilter(QObject* anObject, QEvent* anEvent) override
    {
        if (anEvent->type() == QEvent::MouseButtonDblClick &&
            static_cast<QMouseEvent*>(anEvent)->button() == Qt::LeftButton)
        {
            QWidget* locWidget = qobject_cast<QWidget*>(anObject);
            if (locWidget && locWidget->isEnabled() && myHandler)
                myHandler();
            return true;
        }
        return false;
    }

private:
    std::function<void()> myHandler;
};
} // namespace

// --- CColorButton ---

void CColorButton::Attach(UI_Dialog* aDialog, int anId)
{
    myDialog = aDialog;
    myId = anId;
}

void CColorButton::DrawItem(UI_DrawItem* anItem) const
{
    if (!anItem)
        return;
    int w = anItem->myWidth;
    int h = anItem->myHeight;
    // The flat push-button frame: a face inside a one-pixel line; pushed, a
    // second, lighter line inside the first.
    UI_DrawFillRect(anItem, 0, 0, w, h, PRANVEL_BUTTON_FACE);
    UI_DrawFrameRect(anItem, 0, 0, w, h, PRANVEL_BUTTON_FRAME);
    if (anItem->mySelectedFlag)
        UI_DrawFrameRect(anItem, 1, 1, w - 2, h - 2, PRANVEL_BUTTON_PUSHED);
    UI_DrawFillRect(anItem, 2, 2, w - 4, h - 4, PranvelSwapRedBlue(myColor));
}

void CColorButton::SetColor(uint32_t aColor)
{
    myColor = aColor & 0xFFFFFF;
    Redraw();
}

void CColorButton::Redraw() const
{
    if (myDialog)
        UI_InvalidateControl(myDialog, myId);
}

// --- dialog helpers ---

void PranvelSetDialogFrame(UI_Frame* aFrame)
{
    ourDialogFrame = aFrame;
}

UI_Frame* PranvelGetDialogFrame()
{
    return ourDialogFrame;
}

void PranvelForwardMouseMoves(UI_Dialog* aDialog)
{
    QWidget* locWidget = UI_GetDialogWidget(aDialog);
    if (!locWidget)
        return;
    locWidget->setMouseTracking(true);
    locWidget->installEventFilter(new MouseMoveForwarder(locWidget));
}

void PranvelWatchDoubleClick(UI_Dialog* aDialog, int anId, std::function<void()> aHandler)
{
    QWidget* locWidget = UI_GetControlWidget(aDialog, anId);
    if (locWidget)
        locWidget->installEventFilter(new DoubleClickWatcher(locWidget, aHandler));
}

bool PranvelReadFloat(UI_Dialog* aDialog, int anId, float* aValue)
{
    std::string locText;
    if (!UI_GetControlText(aDialog, anId, &locText))
        return false;
    for (char& locChar : locText)
        if (locChar == ',')
            locChar = '.';
    const char* locStart = locText.c_str();
    char* locEnd = nullptr;
    // The program reads numbers in the C locale.
    float locValue = strtof(locStart, &locEnd);
    if (locEnd == locStart)
        return false;
    *aValue = locValue;
    return true;
}

int PranvelReadInt(UI_Dialog* aDialog, int anId)
{
    std::string locText;
    if (!UI_GetControlText(aDialog, anId, &locText))
        return 0;
    long locValue = strtol(locText.c_str(), nullptr, 10);
    if (locValue > 0x7FFFFFFFL)
        return 0x7FFFFFFF;
    if (locValue < -0x7FFFFFFFL)
        return -0x7FFFFFFF;
    return int(locValue);
}

void PranvelSetFloatText(UI_Dialog* aDialog, int anId, const char* aFormat, float aValue)
{
    char locText[64];
    snprintf(locText, sizeof(locText), aFormat, double(aValue));
    UI_SetControlText(aDialog, anId, locText);
}

void PranvelSetIntText(UI_Dialog* aDialog, int anId, int aValue)
{
    char locText[32];
    snprintf(locText, sizeof(locText), "%d", aValue);
    UI_SetControlText(aDialog, anId, locText);
}

void PranvelShowControl(UI_Dialog* aDialog, int anId, bool aShowFlag)
{
    if (QWidget* locWidget = UI_GetControlWidget(aDialog, anId))
        locWidget->setVisible(aShowFlag);
}

bool PranvelIsControlShown(UI_Dialog* aDialog, int anId)
{
    QWidget* locWidget = UI_GetControlWidget(aDialog, anId);
    return locWidget && !locWidget->isHidden();
}

bool PranvelRunCommand(QRECommand* aCommand)
{
    CommandHandler* locHandler = CommandHandler::Get();
    if (locHandler && locHandler->Run(QRECommand::CURRENT_VERSION, aCommand))
        return true;
    delete aCommand;
    return false;
}

void PranvelCutExtension(QC_String* aPath)
{
    int n = aPath->GetLength();
    if (n >= 4 && aPath->GetBuffer()[n - 4] == '.')
        *aPath = aPath->Left(n - 4);
}
