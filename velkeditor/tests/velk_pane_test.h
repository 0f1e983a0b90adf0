// Driving an editor in the shell's real view pane, for the editors' tests: the
// facade's contract for the pane's messages and the user's mouse on the view
// widget (and, through velk_xdotool.h, the X server's input under Xvfb).
#pragma once

#include "platform/ui/ui_app.h"
#include "platform/ui/ui_frame.h"
#include "velkeditor/tests/velk_xdotool.h"
#include "velkeditor/velk_editor.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <vector>

// What the facade does with the pane's messages: each goes to the editor's
// slot, an action that names an instance is kept (the tree would act on it),
// then the editor draws. The idle turn reaches the editor too.
class VelkPaneFacade : public UI_FrameHandler
{
public:
    bool OnViewMessage(UI_Frame*, const UI_ViewMessage& aMessage) override
    {
        if (!myEditor)
            return false;
        const bool locShift = (aMessage.myKeyState & UI_MK_SHIFT) != 0;
        const bool locControl = (aMessage.myKeyState & UI_MK_CONTROL) != 0;
        const int x = aMessage.myX, y = aMessage.myY;
        switch (aMessage.myKind)
        {
        case UI_VM_LBUTTONDOWN:
            Act(myEditor->OnLeftButton(x, y, locShift));
            break;
        case UI_VM_MOUSEMOVE:
            if (aMessage.myKeyState & UI_MK_LBUTTON)
                Act(myEditor->OnLeftButton(x, y, locShift));
            if (aMessage.myKeyState & UI_MK_RBUTTON)
                Act(myEditor->OnRightButton(x, y, locShift, locControl));
            break;
        case UI_VM_LBUTTONUP:
            Act(myEditor->OnLeftButtonUp(x, y));
            break;
        case UI_VM_RBUTTONDOWN:
            Act(myEditor->OnRightButton(x, y, locShift, locControl));
            break;
        case UI_VM_RBUTTONUP:
            Act(myEditor->OnRightButtonUp(x, y));
            break;
        case UI_VM_KEYDOWN:
            Act(myEditor->OnKeyDown(aMessage.myVirtualKey));
            break;
        case UI_VM_KEYUP:
            Act(myEditor->OnKeyUp(aMessage.myVirtualKey));
            break;
        case UI_VM_CHAR:
            Act(myEditor->OnChar(int(aMessage.myChar)));
            break;
        case UI_VM_SIZE:
            myEditor->Resize(aMessage.myWidth, aMessage.myHeight);
            break;
        default:
            break;
        }
        myEditor->Draw(true);
        return aMessage.myKind != UI_VM_PAINT && aMessage.myKind != UI_VM_SIZE;
    }
    void OnIdle(UI_Frame*) override
    {
        if (myEditor)
            myEditor->OnIdle();
    }
    void Act(const EditorAction& anAction)
    {
        if (anAction.myInstance)
            myActions.push_back(anAction);
    }

    VelkEditor* myEditor = nullptr;
    std::vector<EditorAction> myActions;
};

// A mouse event on the view widget, as the user's pointer makes it.
inline void VelkPaneMouse(QWidget* aView, QEvent::Type aType, int x, int y, Qt::MouseButton aButton,
                          Qt::MouseButtons aHeld, Qt::KeyboardModifiers aModifiers = Qt::NoModifier)
{
    QMouseEvent locEvent(aType, QPointF(x, y), aView->mapToGlobal(QPointF(x, y)), aButton, aHeld, aModifiers);
    QApplication::sendEvent(aView, &locEvent);
}
