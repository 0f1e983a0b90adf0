// Qt classes behind UI_Dialog.
#pragma once

#include "platform/ui/ui_dialog.h"

#include <QAbstractItemModel>
#include <QDialog>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QTreeView>

#include <QSet>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QButtonGroup;
class QEventLoop;
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
    // The group the next radio button joins while the dialog is built.
    QButtonGroup* myRadioGroup = nullptr;
    // A modal dialog's loop and result; the loop is null for a modeless one.
    QEventLoop* myModalLoop = nullptr;
    bool myModalEnded = false;
    intptr_t myModalResult = 0;
};

intptr_t UI_SendDialogMessage(UI_Dialog* aDialog, const UI_Message& aMessage);
// The widgets of sliders, up-down controls and owner-drawn buttons (ui_controls_qt.cpp).
QWidget* UI_CreateFurtherControl(UI_Dialog* aDialog, const UI_ControlTemplate& aTemplate, QWidget* aParent);
// Notifies UI_EN_KILLFOCUS when the edit loses the focus.
void UI_WatchEditFocus(UI_Dialog* aDialog, int anId, QWidget* anEdit);
void UI_SendDialogCommand(UI_Dialog* aDialog, int anId, int aNotifyCode);
UI_Control* UI_FindControl(UI_Dialog* aDialog, int anId);
// The image as a QImage; a null one when its pixels do not fill its size.
QImage UI_ToQImage(const UI_Image& anImage);
// Copies 0xAARRGGBB pixels (rows aStride bytes apart) into the picture, resized
// to fit; false, the picture unchanged, for bad sizes.
bool UI_CopyPixels(QImage* aPicture, const uint32_t* aPixels, int aWidth, int aHeight, int aStride);
// A widget's picture handed over and not painted yet: painted when the program asks,
// while it draws its next picture, or by the widget itself shortly after the last one.
class UI_PaintLater
{
public:
    explicit UI_PaintLater(QWidget* aWidget);
    // A new picture to paint.
    void Wait();
    // The widget painted: for its paint event.
    void Painted();
    // Paints a waiting picture now.
    void PaintNow();

private:
    static constexpr int ourDelayMs = 15;
    QWidget* myWidget;
    QTimer myTimer;
    bool myWaitingFlag = false;
};

// Byte order without regard to ASCII case, as Windows' controls sort.
int UI_CompareNoCase(const QByteArray& aLeft, const QByteArray& aRight);

// While it lives, the layer's own changes to the dialog's controls are not
// notified as the user's.
struct UI_SilentScope
{
    explicit UI_SilentScope(UI_Dialog* aDialog) : myDialog(aDialog) { myDialog->mySilentDepth++; }
    ~UI_SilentScope() { myDialog->mySilentDepth--; }
    UI_Dialog* myDialog;
};

class UI_DialogWidget : public QDialog
{
public:
    explicit UI_DialogWidget(UI_Dialog* anOwner, QWidget* aParent);

protected:
    void closeEvent(QCloseEvent* anEvent) override;
    void keyPressEvent(QKeyEvent* anEvent) override;
    void resizeEvent(QResizeEvent* anEvent) override;
    void showEvent(QShowEvent* anEvent) override;
    void hideEvent(QHideEvent* anEvent) override;
    void mouseMoveEvent(QMouseEvent* anEvent) override;

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

// The tree control's item store: pointer-sized data per item, rows kept in
// each node so that parent lookups stay constant time.
struct UI_TreeNode;

// An item's UTF-8 text in 16 bytes: up to 15 bytes in place, a longer text
// in a block of its own. A tree keeps one per item, and most labels are short.
class UI_TreeText
{
public:
    UI_TreeText() { myBytes[INLINE] = char(INLINE); }
    UI_TreeText(const UI_TreeText&) = delete;
    UI_TreeText& operator=(const UI_TreeText&) = delete;
    UI_TreeText& operator=(UI_TreeText&& anOther) noexcept;
    ~UI_TreeText() { Priv_Free(); }
    UI_TreeText& operator=(std::string_view aText);
    operator std::string_view() const;

private:
    static constexpr size_t INLINE = 15;
    // The last byte: the room left in place (0..15), or HEAP for a text
    // whose pointer and length fill the first twelve.
    static constexpr char HEAP = char(0x7f);
    void Priv_Free();
    char myBytes[INLINE + 1];
};

// A node's children: nothing held while it has none, which most items do.
class UI_TreeChildren
{
public:
    bool empty() const { return !myList || myList->empty(); }
    size_t size() const { return myList ? myList->size() : 0; }
    UI_TreeNode* operator[](size_t anIndex) const { return (*myList)[anIndex]; }
    UI_TreeNode* front() const { return myList->front(); }
    UI_TreeNode* const* begin() const { return myList ? myList->data() : nullptr; }
    UI_TreeNode* const* end() const { return myList ? myList->data() + myList->size() : nullptr; }
    // The list, made on demand.
    std::vector<UI_TreeNode*>& Get()
    {
        if (!myList)
            myList = std::make_unique<std::vector<UI_TreeNode*>>();
        return *myList;
    }
    void Clear() { myList.reset(); }

private:
    std::unique_ptr<std::vector<UI_TreeNode*>> myList;
};

struct UI_TreeNode
{
    // UTF-8: compared as bytes, turned into a QString only when shown.
    UI_TreeText myText;
    intptr_t myData = 0;
    UI_TreeNode* myParent = nullptr;
    UI_TreeChildren myChildren;
    int myImage = -1;
    int myRow = 0;
    // During an update: the children from this row on were appended by sorted
    // inserts and still wait for their places; -1 when none wait.
    int myPendingFrom = -1;
    bool myChecked = false;
    bool myExpanded = false;
    // Shows an expander before it has children: the tree's fill procedure
    // makes them the first time they are needed.
    bool myChildrenLater = false;
    bool myLive = false;
};

// The nodes of one tree, in blocks of the tree's own (no heap block per item),
// so that a handle can be checked without a set of every item: it is an item
// when it points at a slot of a block and that slot is in use.
class UI_TreeNodePool
{
public:
    UI_TreeNode* New();
    void Delete(UI_TreeNode* aNode);
    bool Owns(const UI_TreeNode* aNode) const;
    // Frees every block; every node goes.
    void Clear();

private:
    struct Block
    {
        std::unique_ptr<UI_TreeNode[]> myNodes;
        size_t mySize = 0;
    };
    // Sorted by address.
    std::vector<Block> myBlocks;
    UI_TreeNode* myFree = nullptr;
    size_t myNextSize = 16;
};

class UI_TreeModel : public QAbstractItemModel
{
public:
    UI_TreeModel(bool aCheckBoxFlag, QObject* aParent);
    ~UI_TreeModel() override;

    QModelIndex index(int aRow, int aColumn, const QModelIndex& aParent) const override;
    QModelIndex parent(const QModelIndex& anIndex) const override;
    int rowCount(const QModelIndex& aParent) const override;
    int columnCount(const QModelIndex& aParent) const override;
    QVariant data(const QModelIndex& anIndex, int aRole) const override;
    bool setData(const QModelIndex& anIndex, const QVariant& aValue, int aRole) override;
    Qt::ItemFlags flags(const QModelIndex& anIndex) const override;
    bool hasChildren(const QModelIndex& aParent) const override;
    bool canFetchMore(const QModelIndex& aParent) const override;
    void fetchMore(const QModelIndex& aParent) override;

    // Makes the children of a node marked for later, once.
    void Fill(UI_TreeNode* aNode);
    std::function<void(UI_TreeNode*)> myFill;

    UI_TreeNode* Insert(UI_TreeNode* aParent, const char* aText, int anImage, bool aSortedFlag);
    void Delete(UI_TreeNode* aNode);
    void Reset();
    void Changed(UI_TreeNode* aNode);
    QModelIndex IndexOf(UI_TreeNode* aNode) const;
    UI_TreeNode* NodeOf(const QModelIndex& anIndex) const;
    // False for a handle that is not an item of this tree.
    bool Has(UI_TreeNode* aNode) const;
    // Inside an update the view hears nothing until EndUpdate resets it.
    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const { return myUpdating; }
    // Puts the pending sorted inserts of every touched parent in their places.
    void SortPending();

    UI_TreeNode myRoot;
    std::vector<QIcon> myImages;
    int myCount = 0;

private:
    void Free(UI_TreeNode* aNode);
    void Forget(UI_TreeNode* aNode);

    void Priv_SortPending(UI_TreeNode* aParent);

    bool myCheckBoxFlag;
    bool myUpdating = false;
    std::vector<UI_TreeNode*> myPendingParents;
    // Every live item, so that stale handles from callers are refused.
    UI_TreeNodePool myNodes;
};

class UI_TreeWidget : public QTreeView
{
public:
    UI_TreeWidget(UI_Dialog* anOwner, int anId, unsigned aStyle, QWidget* aParent);
    UI_TreeModel* GetModel() const { return myModel; }
    // Icon, label and check box of a shown item, in viewport pixels (empty when hidden).
    QRect ItemRect(UI_TreeNode* aNode);
    // The press a user makes: notified, and a left press on an item's icon or
    // label selects it; a press on the expander toggles the item.
    void PressAt(const QPoint& aPoint, bool aRightFlag);
    // A selection made during an update, applied at its end.
    UI_TreeNode* myPendingSelection = nullptr;
    bool myHasPendingSelection = false;
    UI_TreeFillProc myFillProc = nullptr;
    void* myFillContext = nullptr;

protected:
    void keyPressEvent(QKeyEvent* anEvent) override;
    void keyReleaseEvent(QKeyEvent* anEvent) override;
    void mousePressEvent(QMouseEvent* anEvent) override;

private:
    UI_TreeModel* myModel;
    UI_Dialog* myOwner;
    int myId;
    bool myNoKeysFlag = false;
};
