// The tree control: an item store of our own behind a QTreeView, with check
// boxes, an image list and pointer-sized item data.
//
// [SECTION] The item store
// [SECTION] The model the view reads
// [SECTION] Inserts, deletes and batched sorting
// [SECTION] The view
// [SECTION] Operations: items, texts, data and checks
// [SECTION] Operations: selection and children made later
// [SECTION] Operations: images, clicks and hit tests
// [SECTION] Operations: batched updates and presses
#include "platform/ui/ui_dialog_local.h"
#include "platform/ui/ui_frame.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QImage>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

// [SECTION] The item store --------------------------------------------------------------------

namespace
{
// The order of the list boxes' sorting (UI_CompareNoCase) over the node's
// texts, with tolower's answers for every byte looked up instead of asked.
int locCompareNoCase(std::string_view aLeft, std::string_view aRight)
{
    static const std::array<unsigned char, 256> ourLower = [] {
        std::array<unsigned char, 256> locTable{};
        for (int i = 0; i < 256; i++)
            locTable[size_t(i)] = (unsigned char) std::tolower(i);
        return locTable;
    }();
    size_t locCount = std::min(aLeft.size(), aRight.size());
    for (size_t i = 0; i < locCount; i++)
    {
        int locLeft = ourLower[(unsigned char) aLeft[i]];
        int locRight = ourLower[(unsigned char) aRight[i]];
        if (locLeft != locRight)
            return locLeft - locRight;
    }
    return int(aLeft.size()) - int(aRight.size());
}
} // namespace

UI_TreeText& UI_TreeText::operator=(UI_TreeText&& anOther) noexcept
{
    if (this != &anOther)
    {
        Priv_Free();
        std::memcpy(myBytes, anOther.myBytes, sizeof(myBytes));
        anOther.myBytes[INLINE] = char(INLINE);
    }
    return *this;
}

UI_TreeText& UI_TreeText::operator=(std::string_view aText)
{
    // Made before the old goes: the new text may be a piece of it.
    char locBytes[INLINE + 1];
    if (aText.size() <= INLINE)
    {
        std::memcpy(locBytes, aText.data(), aText.size());
        locBytes[INLINE] = char(INLINE - aText.size());
    }
    else
    {
        char* locText = static_cast<char*>(std::malloc(aText.size()));
        if (!locText)
            std::abort();
        std::memcpy(locText, aText.data(), aText.size());
        const uint32_t locLength = uint32_t(std::min<size_t>(aText.size(), UINT32_MAX));
        std::memcpy(locBytes, &locText, sizeof(locText));
        std::memcpy(locBytes + sizeof(locText), &locLength, sizeof(locLength));
        locBytes[INLINE] = HEAP;
    }
    Priv_Free();
    std::memcpy(myBytes, locBytes, sizeof(myBytes));
    return *this;
}

UI_TreeText::operator std::string_view() const
{
    if (myBytes[INLINE] != HEAP)
        return std::string_view(myBytes, INLINE - size_t(myBytes[INLINE]));
    const char* locText = nullptr;
    uint32_t locLength = 0;
    std::memcpy(&locText, myBytes, sizeof(locText));
    std::memcpy(&locLength, myBytes + sizeof(locText), sizeof(locLength));
    return std::string_view(locText, locLength);
}

void UI_TreeText::Priv_Free()
{
    if (myBytes[INLINE] != HEAP)
        return;
    char* locText = nullptr;
    std::memcpy(&locText, myBytes, sizeof(locText));
    std::free(locText);
    myBytes[INLINE] = char(INLINE);
}

UI_TreeNode* UI_TreeNodePool::New()
{
    if (!myFree)
    {
        Block locBlock;
        locBlock.mySize = myNextSize;
        locBlock.myNodes.reset(new UI_TreeNode[myNextSize]);
        myNextSize = std::min<size_t>(myNextSize * 2, 4096);
        // Linked through their parent field while free, the first slot on top.
        for (size_t i = locBlock.mySize; i-- > 0;)
        {
            locBlock.myNodes[i].myParent = myFree;
            myFree = &locBlock.myNodes[i];
        }
        auto locAt = std::lower_bound(myBlocks.begin(), myBlocks.end(), locBlock.myNodes.get(),
                                      [](const Block& aBlock, const UI_TreeNode* aStart) {
                                          return std::less<const UI_TreeNode*>()(aBlock.myNodes.get(), aStart);
                                      });
        myBlocks.insert(locAt, std::move(locBlock));
    }
    UI_TreeNode* locNode = myFree;
    myFree = locNode->myParent;
    locNode->myParent = nullptr;
    locNode->myLive = true;
    return locNode;
}

void UI_TreeNodePool::Delete(UI_TreeNode* aNode)
{
    *aNode = UI_TreeNode();
    aNode->myParent = myFree;
    myFree = aNode;
}

bool UI_TreeNodePool::Owns(const UI_TreeNode* aNode) const
{
    // The last block starting at or before the node.
    auto locAt = std::upper_bound(myBlocks.begin(), myBlocks.end(), aNode,
                                  [](const UI_TreeNode* aPointer, const Block& aBlock) {
                                      return std::less<const UI_TreeNode*>()(aPointer, aBlock.myNodes.get());
                                  });
    if (locAt == myBlocks.begin())
        return false;
    --locAt;
    uintptr_t locStart = reinterpret_cast<uintptr_t>(locAt->myNodes.get());
    uintptr_t locNode = reinterpret_cast<uintptr_t>(aNode);
    if (locNode >= locStart + locAt->mySize * sizeof(UI_TreeNode) || (locNode - locStart) % sizeof(UI_TreeNode))
        return false;
    return aNode->myLive;
}

void UI_TreeNodePool::Clear()
{
    myBlocks.clear();
    myFree = nullptr;
    myNextSize = 16;
}

// [SECTION] The model the view reads ----------------------------------------------------------

UI_TreeModel::UI_TreeModel(bool aCheckBoxFlag, QObject* aParent)
    : QAbstractItemModel(aParent), myCheckBoxFlag(aCheckBoxFlag)
{
}

UI_TreeModel::~UI_TreeModel() = default;

void UI_TreeModel::Free(UI_TreeNode* aNode)
{
    // Iterative, so that a deep tree cannot exhaust the stack.
    std::vector<UI_TreeNode*> locStack{aNode};
    while (!locStack.empty())
    {
        UI_TreeNode* locNode = locStack.back();
        locStack.pop_back();
        locStack.insert(locStack.end(), locNode->myChildren.begin(), locNode->myChildren.end());
        myNodes.Delete(locNode);
    }
}

void UI_TreeModel::Forget(UI_TreeNode* aNode)
{
    std::vector<UI_TreeNode*> locStack{aNode};
    while (!locStack.empty())
    {
        UI_TreeNode* locNode = locStack.back();
        locStack.pop_back();
        locStack.insert(locStack.end(), locNode->myChildren.begin(), locNode->myChildren.end());
        myCount--;
    }
}

bool UI_TreeModel::Has(UI_TreeNode* aNode) const
{
    return aNode && myNodes.Owns(aNode);
}

UI_TreeNode* UI_TreeModel::NodeOf(const QModelIndex& anIndex) const
{
    return anIndex.isValid() ? static_cast<UI_TreeNode*>(anIndex.internalPointer()) : nullptr;
}

QModelIndex UI_TreeModel::IndexOf(UI_TreeNode* aNode) const
{
    if (!aNode || aNode == &myRoot)
        return QModelIndex();
    return createIndex(aNode->myRow, 0, aNode);
}

QModelIndex UI_TreeModel::index(int aRow, int aColumn, const QModelIndex& aParent) const
{
    const UI_TreeNode* locParent = aParent.isValid() ? NodeOf(aParent) : &myRoot;
    if (aColumn != 0 || aRow < 0 || aRow >= int(locParent->myChildren.size()))
        return QModelIndex();
    return createIndex(aRow, 0, locParent->myChildren[aRow]);
}

QModelIndex UI_TreeModel::parent(const QModelIndex& anIndex) const
{
    UI_TreeNode* locNode = NodeOf(anIndex);
    if (!locNode || locNode->myParent == &myRoot)
        return QModelIndex();
    return IndexOf(locNode->myParent);
}

int UI_TreeModel::rowCount(const QModelIndex& aParent) const
{
    if (aParent.column() > 0)
        return 0;
    const UI_TreeNode* locParent = aParent.isValid() ? NodeOf(aParent) : &myRoot;
    return int(locParent->myChildren.size());
}

int UI_TreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant UI_TreeModel::data(const QModelIndex& anIndex, int aRole) const
{
    UI_TreeNode* locNode = NodeOf(anIndex);
    if (!locNode)
        return QVariant();
    switch (aRole)
    {
    case Qt::DisplayRole:
    {
        std::string_view locText = locNode->myText;
        return QString::fromUtf8(locText.data(), qsizetype(locText.size()));
    }
    case Qt::DecorationRole:
        if (locNode->myImage >= 0 && locNode->myImage < int(myImages.size()))
            return myImages[locNode->myImage];
        return QVariant();
    case Qt::CheckStateRole:
        if (myCheckBoxFlag)
            return locNode->myChecked ? Qt::Checked : Qt::Unchecked;
        return QVariant();
    default:
        return QVariant();
    }
}

bool UI_TreeModel::setData(const QModelIndex& anIndex, const QVariant& aValue, int aRole)
{
    UI_TreeNode* locNode = NodeOf(anIndex);
    if (!locNode || aRole != Qt::CheckStateRole || !myCheckBoxFlag)
        return false;
    locNode->myChecked = aValue.toInt() == Qt::Checked;
    emit dataChanged(anIndex, anIndex, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags UI_TreeModel::flags(const QModelIndex& anIndex) const
{
    if (!anIndex.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags locFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (myCheckBoxFlag)
        locFlags |= Qt::ItemIsUserCheckable;
    return locFlags;
}

bool UI_TreeModel::hasChildren(const QModelIndex& aParent) const
{
    const UI_TreeNode* locParent = aParent.isValid() ? NodeOf(aParent) : &myRoot;
    if (aParent.column() > 0)
        return false;
    return !locParent->myChildren.empty() || locParent->myChildrenLater;
}

bool UI_TreeModel::canFetchMore(const QModelIndex& aParent) const
{
    UI_TreeNode* locParent = NodeOf(aParent);
    return locParent && locParent->myChildrenLater;
}

void UI_TreeModel::fetchMore(const QModelIndex& aParent)
{
    Fill(NodeOf(aParent));
}

void UI_TreeModel::Fill(UI_TreeNode* aNode)
{
    if (!aNode || !aNode->myChildrenLater)
        return;
    // Cleared first: the fill procedure's own questions must not fill again.
    aNode->myChildrenLater = false;
    if (myFill)
        myFill(aNode);
}

// [SECTION] Inserts, deletes and batched sorting ----------------------------------------------

UI_TreeNode* UI_TreeModel::Insert(UI_TreeNode* aParent, const char* aText, int anImage, bool aSortedFlag)
{
    std::vector<UI_TreeNode*>& locSiblings = aParent->myChildren.Get();
    if (myUpdating)
    {
        // Appended now, put in place once at the end of the update.
        if (aSortedFlag && aParent->myPendingFrom < 0)
        {
            aParent->myPendingFrom = int(locSiblings.size());
            myPendingParents.push_back(aParent);
        }
        else if (!aSortedFlag)
            Priv_SortPending(aParent);
        UI_TreeNode* locNode = myNodes.New();
        locNode->myText = std::string_view(aText);
        locNode->myImage = anImage;
        locNode->myParent = aParent;
        locNode->myRow = int(locSiblings.size());
        locSiblings.push_back(locNode);
        myCount++;
        return locNode;
    }
    int locRow = int(locSiblings.size());
    if (aSortedFlag)
    {
        // After the last sibling that does not sort behind the new item.
        std::string_view locText = aText;
        int locLow = 0;
        int locHigh = locRow;
        while (locLow < locHigh)
        {
            int locMid = (locLow + locHigh) / 2;
            if (locCompareNoCase(locSiblings[locMid]->myText, locText) <= 0)
                locLow = locMid + 1;
            else
                locHigh = locMid;
        }
        locRow = locLow;
    }
    UI_TreeNode* locNode = myNodes.New();
    locNode->myText = std::string_view(aText);
    locNode->myImage = anImage;
    locNode->myParent = aParent;
    locNode->myRow = locRow;
    beginInsertRows(IndexOf(aParent), locRow, locRow);
    locSiblings.insert(locSiblings.begin() + locRow, locNode);
    for (size_t i = size_t(locRow) + 1; i < locSiblings.size(); i++)
        locSiblings[i]->myRow = int(i);
    myCount++;
    endInsertRows();
    return locNode;
}

void UI_TreeModel::BeginUpdate()
{
    if (myUpdating)
        return;
    beginResetModel();
    myUpdating = true;
}

void UI_TreeModel::EndUpdate()
{
    if (!myUpdating)
        return;
    SortPending();
    myUpdating = false;
    endResetModel();
}

void UI_TreeModel::SortPending()
{
    std::vector<UI_TreeNode*> locParents;
    locParents.swap(myPendingParents);
    for (UI_TreeNode* locParent : locParents)
        if (locParent == &myRoot || Has(locParent))
            Priv_SortPending(locParent);
}

void UI_TreeModel::Priv_SortPending(UI_TreeNode* aParent)
{
    int locFrom = aParent->myPendingFrom;
    if (locFrom < 0)
        return;
    aParent->myPendingFrom = -1;
    std::vector<UI_TreeNode*>& locChildren = aParent->myChildren.Get();
    auto locLess = [](const UI_TreeNode* aLeft, const UI_TreeNode* aRight) {
        return locCompareNoCase(aLeft->myText, aRight->myText) < 0;
    };
    // Stable, and the earlier items first among equals: the order one-by-one
    // sorted inserts give.
    std::stable_sort(locChildren.begin() + locFrom, locChildren.end(), locLess);
    std::inplace_merge(locChildren.begin(), locChildren.begin() + locFrom, locChildren.end(), locLess);
    // A long list grown by appends holds up to twice its room.
    if (locChildren.capacity() > 4096 && locChildren.capacity() > locChildren.size() + locChildren.size() / 4)
        locChildren.shrink_to_fit();
    for (size_t i = 0; i < locChildren.size(); i++)
        locChildren[i]->myRow = int(i);
}

void UI_TreeModel::Delete(UI_TreeNode* aNode)
{
    UI_TreeNode* locParent = aNode->myParent;
    if (myUpdating)
        SortPending();
    int locRow = aNode->myRow;
    if (!myUpdating)
        beginRemoveRows(IndexOf(locParent), locRow, locRow);
    std::vector<UI_TreeNode*>& locSiblings = locParent->myChildren.Get();
    locSiblings.erase(locSiblings.begin() + locRow);
    for (size_t i = size_t(locRow); i < locSiblings.size(); i++)
        locSiblings[i]->myRow = int(i);
    if (locSiblings.empty())
        locParent->myChildren.Clear();
    Forget(aNode);
    Free(aNode);
    if (!myUpdating)
        endRemoveRows();
}

void UI_TreeModel::Reset()
{
    if (!myUpdating)
        beginResetModel();
    myRoot.myChildren.Clear();
    myRoot.myPendingFrom = -1;
    myPendingParents.clear();
    myNodes.Clear();
    myCount = 0;
    if (!myUpdating)
        endResetModel();
}

void UI_TreeModel::Changed(UI_TreeNode* aNode)
{
    if (myUpdating)
        return;
    QModelIndex locIndex = IndexOf(aNode);
    emit dataChanged(locIndex, locIndex);
}

// [SECTION] The view --------------------------------------------------------------------------

UI_TreeWidget::UI_TreeWidget(UI_Dialog* anOwner, int anId, unsigned aStyle, QWidget* aParent)
    : QTreeView(aParent), myModel(new UI_TreeModel((aStyle & UI_STYLE_TV_CHECKBOXES) != 0, this)),
      myOwner(anOwner), myId(anId)
{
    setModel(myModel);
    myModel->myFill = [this](UI_TreeNode* aNode) {
        if (myFillProc)
            myFillProc(myOwner, myId, reinterpret_cast<UI_TreeItem>(aNode), myFillContext);
    };
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape((aStyle & UI_STYLE_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
    myNoKeysFlag = (aStyle & UI_STYLE_TV_NOKEYS) != 0;
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [anOwner, anId](const QModelIndex&, const QModelIndex&) {
                if (anOwner->mySilentDepth == 0)
                    UI_SendDialogCommand(anOwner, anId, UI_TVN_SELCHANGED);
            });
    // The user's expansions are notified (UI_TVN_ITEMEXPANDED), the program's are not.
    auto locNoteExpansion = [this](const QModelIndex& anIndex, bool anExpandedFlag) {
        UI_TreeNode* locNode = myModel->NodeOf(anIndex);
        if (!locNode)
            return;
        locNode->myExpanded = anExpandedFlag;
        if (myOwner->mySilentDepth != 0)
            return;
        UI_Message locMessage;
        locMessage.myKind = UI_MSG_COMMAND;
        locMessage.myControlId = myId;
        locMessage.myNotifyCode = UI_TVN_ITEMEXPANDED;
        locMessage.myItem = reinterpret_cast<UI_TreeItem>(locNode);
        locMessage.myWidth = anExpandedFlag ? 1 : 0;
        UI_SendDialogMessage(myOwner, locMessage);
    };
    connect(this, &QTreeView::expanded, this,
            [locNoteExpansion](const QModelIndex& anIndex) { locNoteExpansion(anIndex, true); });
    connect(this, &QTreeView::collapsed, this,
            [locNoteExpansion](const QModelIndex& anIndex) { locNoteExpansion(anIndex, false); });
}

QRect UI_TreeWidget::ItemRect(UI_TreeNode* aNode)
{
    QModelIndex locIndex = myModel->IndexOf(aNode);
    QRect locRow = visualRect(locIndex);
    if (!locIndex.isValid() || locRow.isEmpty())
        return QRect();
    QStyleOptionViewItem locOption;
    initViewItemOption(&locOption);
    locOption.rect = locRow;
    locOption.index = locIndex;
    std::string_view locNodeText = aNode->myText;
    locOption.text = QString::fromUtf8(locNodeText.data(), qsizetype(locNodeText.size()));
    locOption.features |= QStyleOptionViewItem::HasDisplay;
    QVariant locIcon = myModel->data(locIndex, Qt::DecorationRole);
    if (locIcon.isValid())
    {
        locOption.icon = locIcon.value<QIcon>();
        locOption.features |= QStyleOptionViewItem::HasDecoration;
        locOption.decorationSize = iconSize().isValid() ? iconSize() : QSize(16, 16);
    }
    if (myModel->flags(locIndex) & Qt::ItemIsUserCheckable)
        locOption.features |= QStyleOptionViewItem::HasCheckIndicator;
    QStyle* locStyle = style();
    QRect locText = locStyle->subElementRect(QStyle::SE_ItemViewItemText, &locOption, this);
    // The text rectangle runs to the column's end; the label is the text's own width.
    int locMargin = locStyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    int locWidth = fontMetrics().horizontalAdvance(locOption.text) + 2 * locMargin;
    QRect locLabel(locText.left(), locText.top(), std::min(locText.width(), locWidth), locText.height());
    if (locOption.features & QStyleOptionViewItem::HasDecoration)
        locLabel = locLabel.united(locStyle->subElementRect(QStyle::SE_ItemViewItemDecoration, &locOption, this));
    if (locOption.features & QStyleOptionViewItem::HasCheckIndicator)
        locLabel =
            locLabel.united(locStyle->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &locOption, this));
    return locLabel;
}

void UI_TreeWidget::PressAt(const QPoint& aPoint, bool aRightFlag)
{
    QModelIndex locIndex = indexAt(aPoint);
    UI_TreeNode* locNode = myModel->NodeOf(locIndex);
    if (!aRightFlag && locNode)
    {
        if (ItemRect(locNode).contains(aPoint))
        {
            if (selectionModel()->currentIndex() != locIndex)
                selectionModel()->setCurrentIndex(locIndex, QItemSelectionModel::ClearAndSelect);
        }
        else if (aPoint.x() < visualRect(locIndex).x() && (!locNode->myChildren.empty() || locNode->myChildrenLater))
        {
            myModel->Fill(locNode);
            setExpanded(locIndex, !isExpanded(locIndex));
        }
    }
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_COMMAND;
    locMessage.myControlId = myId;
    locMessage.myNotifyCode = aRightFlag ? UI_NM_RCLICK : UI_NM_CLICK;
    locMessage.myX = aPoint.x();
    locMessage.myY = aPoint.y();
    UI_SendDialogMessage(myOwner, locMessage);
}

void UI_TreeWidget::mousePressEvent(QMouseEvent* anEvent)
{
    // The Windows control selects on the icon or label only, never on a right press.
    if (anEvent->button() != Qt::LeftButton && anEvent->button() != Qt::RightButton)
    {
        QTreeView::mousePressEvent(anEvent);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    PressAt(anEvent->position().toPoint(), anEvent->button() == Qt::RightButton);
    anEvent->accept();
}

void UI_TreeWidget::keyPressEvent(QKeyEvent* anEvent)
{
    UI_Message locMessage;
    locMessage.myKind = UI_MSG_COMMAND;
    locMessage.myControlId = myId;
    locMessage.myNotifyCode = UI_TVN_KEYDOWN;
    locMessage.myVirtualKey = UI_VirtualKeyFromQt(anEvent->key(), int(anEvent->modifiers()));
    if (locMessage.myVirtualKey != 0)
        UI_SendDialogMessage(myOwner, locMessage);
    if (myNoKeysFlag)
        anEvent->accept();
    else
        QTreeView::keyPressEvent(anEvent);
}

void UI_TreeWidget::keyReleaseEvent(QKeyEvent* anEvent)
{
    if (myNoKeysFlag)
        anEvent->accept();
    else
        QTreeView::keyReleaseEvent(anEvent);
}

// [SECTION] Operations: items, texts, data and checks -----------------------------------------

namespace
{
// Every operation but an insert sees the pending sorted inserts in place.
UI_TreeWidget* locFindTree(UI_Dialog* aDialog, int anId, bool aSortFlag = true)
{
    UI_Control* locControl = UI_FindControl(aDialog, anId);
    if (!locControl || locControl->myKind != UI_CONTROL_TREE)
        return nullptr;
    UI_TreeWidget* locTree = static_cast<UI_TreeWidget*>(locControl->myWidget);
    if (aSortFlag && locTree->GetModel()->IsUpdating())
        locTree->GetModel()->SortPending();
    return locTree;
}

// The item's node, or null for a handle that is no item of this tree.
UI_TreeNode* locNode(UI_TreeWidget* aTree, UI_TreeItem anItem)
{
    UI_TreeNode* locNode = reinterpret_cast<UI_TreeNode*>(anItem);
    return aTree && aTree->GetModel()->Has(locNode) ? locNode : nullptr;
}
} // namespace

UI_TreeItem UI_TreeInsert(UI_Dialog* aDialog, int anId, UI_TreeItem aParent, const char* aText, int anImage,
                          bool aSortedFlag)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    if (!locTree)
        return 0;
    UI_TreeModel* locModel = locTree->GetModel();
    UI_TreeNode* locParent = aParent == UI_TREE_ROOT || aParent == 0 ? &locModel->myRoot : locNode(locTree, aParent);
    if (!locParent)
        return 0;
    UI_SilentScope locSilent(aDialog);
    return reinterpret_cast<UI_TreeItem>(
        locModel->Insert(locParent, aText ? aText : "", anImage, aSortedFlag));
}

bool UI_TreeDelete(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (anItem == UI_TREE_ROOT)
        return UI_TreeReset(aDialog, anId);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem)
        return false;
    UI_SilentScope locSilent(aDialog);
    locTree->GetModel()->Delete(locItem);
    return true;
}

bool UI_TreeReset(UI_Dialog* aDialog, int anId)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree)
        return false;
    UI_SilentScope locSilent(aDialog);
    locTree->GetModel()->Reset();
    return true;
}

int UI_TreeGetCount(UI_Dialog* aDialog, int anId)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    return locTree ? locTree->GetModel()->myCount : -1;
}

UI_TreeItem UI_TreeGetRelated(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, int aRelation)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree)
        return 0;
    UI_TreeModel* locModel = locTree->GetModel();
    UI_TreeNode* locItem = anItem == UI_TREE_ROOT ? &locModel->myRoot : locNode(locTree, anItem);
    if (!locItem)
        return 0;
    UI_TreeNode* locResult = nullptr;
    switch (aRelation)
    {
    case UI_TREE_CHILD:
        locModel->Fill(locItem);
        locResult = locItem->myChildren.empty() ? nullptr : locItem->myChildren.front();
        break;
    case UI_TREE_NEXT:
        if (locItem->myParent && size_t(locItem->myRow) + 1 < locItem->myParent->myChildren.size())
            locResult = locItem->myParent->myChildren[locItem->myRow + 1];
        break;
    case UI_TREE_PARENT:
        locResult = locItem->myParent == &locModel->myRoot ? nullptr : locItem->myParent;
        break;
    default:
        break;
    }
    return reinterpret_cast<UI_TreeItem>(locResult);
}

bool UI_TreeGetText(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, std::string* aText)
{
    UI_TreeNode* locItem = locNode(locFindTree(aDialog, anId, false), anItem);
    if (!locItem)
        return false;
    *aText = std::string_view(locItem->myText);
    return true;
}

bool UI_TreeSetText(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, const char* aText)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem)
        return false;
    locItem->myText = std::string_view(aText ? aText : "");
    locTree->GetModel()->Changed(locItem);
    return true;
}

bool UI_TreeSetData(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, intptr_t aData)
{
    UI_TreeNode* locItem = locNode(locFindTree(aDialog, anId, false), anItem);
    if (!locItem)
        return false;
    locItem->myData = aData;
    return true;
}

intptr_t UI_TreeGetData(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeNode* locItem = locNode(locFindTree(aDialog, anId, false), anItem);
    return locItem ? locItem->myData : 0;
}

bool UI_TreeSetCheck(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, bool aCheckFlag)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem)
        return false;
    locItem->myChecked = aCheckFlag;
    locTree->GetModel()->Changed(locItem);
    return true;
}

bool UI_TreeGetCheck(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeNode* locItem = locNode(locFindTree(aDialog, anId, false), anItem);
    return locItem && locItem->myChecked;
}

// [SECTION] Operations: selection and children made later -------------------------------------

bool UI_TreeSelect(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree)
        return false;
    UI_TreeNode* locItem = anItem ? locNode(locTree, anItem) : nullptr;
    if (anItem && !locItem)
        return false;
    if (locTree->GetModel()->IsUpdating())
    {
        locTree->myPendingSelection = locItem;
        locTree->myHasPendingSelection = true;
        return true;
    }
    // Notified through the view's own current-changed signal when it changes.
    QModelIndex locIndex = locTree->GetModel()->IndexOf(locItem);
    locTree->selectionModel()->setCurrentIndex(locIndex, QItemSelectionModel::ClearAndSelect);
    if (locItem)
        locTree->scrollTo(locIndex);
    return true;
}

UI_TreeItem UI_TreeGetSelection(UI_Dialog* aDialog, int anId)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree)
        return 0;
    if (locTree->GetModel()->IsUpdating())
        return locTree->myHasPendingSelection ? reinterpret_cast<UI_TreeItem>(locTree->myPendingSelection) : 0;
    return reinterpret_cast<UI_TreeItem>(locTree->GetModel()->NodeOf(locTree->selectionModel()->currentIndex()));
}

bool UI_TreeExpand(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, bool anExpandFlag)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem)
        return false;
    if (anExpandFlag)
        locTree->GetModel()->Fill(locItem);
    if (!locTree->GetModel()->IsUpdating())
    {
        UI_SilentScope locSilent(aDialog);
        locTree->setExpanded(locTree->GetModel()->IndexOf(locItem), anExpandFlag);
    }
    locItem->myExpanded = anExpandFlag && !locItem->myChildren.empty();
    return true;
}

bool UI_TreeIsExpanded(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeNode* locItem = locNode(locFindTree(aDialog, anId, false), anItem);
    return locItem && locItem->myExpanded;
}

bool UI_TreeSetFillProc(UI_Dialog* aDialog, int anId, UI_TreeFillProc aProc, void* aContext)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    if (!locTree)
        return false;
    locTree->myFillProc = aProc;
    locTree->myFillContext = aContext;
    return true;
}

bool UI_TreeSetChildrenLater(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem || !locItem->myChildren.empty())
        return false;
    locItem->myChildrenLater = true;
    locTree->GetModel()->Changed(locItem);
    return true;
}

// [SECTION] Operations: images, clicks and hit tests ------------------------------------------

bool UI_TreeSetImageList(UI_Dialog* aDialog, int anId, const std::vector<UI_Image>& anImages)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree)
        return false;
    std::vector<QIcon> locIcons;
    for (const UI_Image& locImage : anImages)
    {
        QImage locPicture = UI_ToQImage(locImage);
        if (locPicture.isNull())
            return false;
        locIcons.emplace_back(QPixmap::fromImage(locPicture));
    }
    UI_TreeModel* locModel = locTree->GetModel();
    locModel->myImages = std::move(locIcons);
    if (!anImages.empty())
        locTree->setIconSize(QSize(anImages.front().myWidth, anImages.front().myHeight));
    emit locModel->layoutChanged();
    return true;
}

bool UI_TreeSetImage(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, int anImage)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem)
        return false;
    locItem->myImage = anImage;
    locTree->GetModel()->Changed(locItem);
    return true;
}

int UI_TreeGetImage(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeNode* locItem = locNode(locFindTree(aDialog, anId, false), anItem);
    return locItem ? locItem->myImage : -1;
}

bool UI_TreeClickCheck(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem || !(locTree->GetModel()->flags(locTree->GetModel()->IndexOf(locItem)) & Qt::ItemIsUserCheckable))
        return false;
    // Through the model, as the view's own click handling does.
    return locTree->GetModel()->setData(locTree->GetModel()->IndexOf(locItem),
                                        locItem->myChecked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

bool UI_TreeClick(UI_Dialog* aDialog, int anId, UI_TreeItem anItem)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem)
        return false;
    locTree->selectionModel()->setCurrentIndex(locTree->GetModel()->IndexOf(locItem),
                                               QItemSelectionModel::ClearAndSelect);
    return true;
}

UI_TreeItem UI_TreeHitTest(UI_Dialog* aDialog, int anId, int anX, int aY)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree)
        return 0;
    UI_TreeNode* locItem = locTree->GetModel()->NodeOf(locTree->indexAt(QPoint(anX, aY)));
    if (!locItem || !locTree->ItemRect(locItem).contains(anX, aY))
        return 0;
    return reinterpret_cast<UI_TreeItem>(locItem);
}

bool UI_TreeGetLabelRect(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, int* anX, int* aY, int* aWidth,
                         int* aHeight)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    UI_TreeNode* locItem = locNode(locTree, anItem);
    if (!locItem)
        return false;
    QRect locRect = locTree->ItemRect(locItem);
    if (locRect.isEmpty())
        return false;
    *anX = locRect.x();
    *aY = locRect.y();
    *aWidth = locRect.width();
    *aHeight = locRect.height();
    return true;
}

// [SECTION] Operations: batched updates and presses -------------------------------------------

bool UI_TreeBeginUpdate(UI_Dialog* aDialog, int anId)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree || locTree->GetModel()->IsUpdating())
        return false;
    UI_SilentScope locSilent(aDialog);
    locTree->myHasPendingSelection = false;
    locTree->myPendingSelection = nullptr;
    locTree->setUpdatesEnabled(false);
    locTree->GetModel()->BeginUpdate();
    return true;
}

bool UI_TreeEndUpdate(UI_Dialog* aDialog, int anId)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId, false);
    if (!locTree || !locTree->GetModel()->IsUpdating())
        return false;
    UI_TreeModel* locModel = locTree->GetModel();
    {
        UI_SilentScope locSilent(aDialog);
        locModel->EndUpdate();
        // The reset collapsed the view: items marked expanded open again.
        // Only the expanded branches are walked: no list of every root.
        std::vector<UI_TreeNode*> locStack;
        for (UI_TreeNode* locRoot : locModel->myRoot.myChildren)
            if (locRoot->myExpanded && !locRoot->myChildren.empty())
                locStack.push_back(locRoot);
        while (!locStack.empty())
        {
            UI_TreeNode* locNode = locStack.back();
            locStack.pop_back();
            if (locNode->myExpanded && !locNode->myChildren.empty())
            {
                locTree->setExpanded(locModel->IndexOf(locNode), true);
                locStack.insert(locStack.end(), locNode->myChildren.begin(), locNode->myChildren.end());
            }
        }
    }
    locTree->setUpdatesEnabled(true);
    // The selection the program made meanwhile is notified as any other.
    if (locTree->myHasPendingSelection)
    {
        locTree->myHasPendingSelection = false;
        UI_TreeSelect(aDialog, anId, reinterpret_cast<UI_TreeItem>(locTree->myPendingSelection));
    }
    return true;
}

bool UI_TreeMouseDown(UI_Dialog* aDialog, int anId, int anX, int aY, bool aRightFlag)
{
    UI_TreeWidget* locTree = locFindTree(aDialog, anId);
    if (!locTree)
        return false;
    locTree->PressAt(QPoint(anX, aY), aRightFlag);
    return true;
}
