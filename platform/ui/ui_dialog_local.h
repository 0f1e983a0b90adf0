// Qt classes behind UI_Dialog.
#pragma once

#include "platform/ui/ui_dialog.h"

#include <QDialog>
#include <QListWidget>

#include <string>
#include <vector>

class UI_DialogWidget;

struct UI_Control
{
    int myId = 0;
    int myKind = UI_CONTROL_STATIC;
    unsigned myStyle = 0;
    QWidget* myWidget = nullptr;
};

struct UI_Dialog
{
    UI_DialogWidget* myWidget = nullptr;
    UI_DialogProc myProc = nullptr;
    std::vector<UI_Control> myControls;
    std::string myTitle;
    int myBaseX = 0;
    int myBaseY = 0;
    void* myUserData = nullptr;
    // Set while the layer itself changes a control, so that only the user's
    // changes are notified (as the Windows controls do).
    int mySilentDepth = 0;
};

intptr_t UI_SendDialogMessage(UI_Dialog* aDialog, const UI_Message& aMessage);

class UI_DialogWidget : public QDialog
{
public:
    explicit UI_DialogWidget(UI_Dialog* anOwner, QWidget* aParent);

protected:
    void closeEvent(QCloseEvent* anEvent) override;
    void keyPressEvent(QKeyEvent* anEvent) override;

private:
    UI_Dialog* myOwner;
};

// A list box: sorted without regard to case when asked, files dropped on it
// reach the dialog procedure.
class UI_ListBoxWidget : public QListWidget
{
public:
    UI_ListBoxWidget(UI_Dialog* anOwner, int anId, unsigned aStyle, QWidget* aParent);

    int AddText(const QString& aText);
    int FindExact(const QByteArray& aText) const;

protected:
    void dragEnterEvent(QDragEnterEvent* anEvent) override;
    void dragMoveEvent(QDragMoveEvent* anEvent) override;
    void dropEvent(QDropEvent* anEvent) override;

private:
    UI_Dialog* myOwner;
    int myId;
    unsigned myStyle;
};
