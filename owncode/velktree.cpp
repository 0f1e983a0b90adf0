// The language tree: the tree control over the UI layer, and the tree of a
// namespace's instances shown in it.
//
// Sections: [SECTION] tree control, [SECTION] building the tree,
// [SECTION] finding and refreshing items, [SECTION] copy and paste,
// [SECTION] rename and delete, [SECTION] editing values.
#include "owncode/velktree.h"

#include "owncode/dlg_edit.h"
#include "owncode/dlg_instance.h"
#include "owncode/typevis.h"
#include "platform/ui/ui_prompt.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_editor.h"
#include "velkeditor/velk_typeconstraint.h"
#include "velkeditor/velk_uitext.h"

#include <algorithm>
#include <utility>
#include <vector>

// --- [SECTION] tree control ---

bool MFCVelkTreeControl::DeleteAllItems()
{
    return UI_TreeReset(myDialog, myId);
}

VelkTreeItem MFCVelkTreeControl::InsertItem(const char* aText, VelkTreeItem aParent, int aPosition)
{
    return UI_TreeInsert(myDialog, myId, aParent, VelkText_ToUI(aText).c_str(), -1, aPosition == POSITION_SORTED);
}

bool MFCVelkTreeControl::SetItemData(VelkTreeItem anItem, VelkType* anObject)
{
    return UI_TreeSetData(myDialog, myId, anItem, reinterpret_cast<intptr_t>(anObject));
}

bool MFCVelkTreeControl::SelectItem(VelkTreeItem anItem)
{
    return UI_TreeSelect(myDialog, myId, anItem);
}

VelkTreeItem MFCVelkTreeControl::GetRootItem()
{
    return UI_TreeGetRelated(myDialog, myId, UI_TREE_ROOT, UI_TREE_CHILD);
}

VelkTreeItem MFCVelkTreeControl::GetChildItem(VelkTreeItem anItem)
{
    return UI_TreeGetRelated(myDialog, myId, anItem, UI_TREE_CHILD);
}

VelkTreeItem MFCVelkTreeControl::GetRelatedItem(VelkTreeItem anItem, int aRelation)
{
    return UI_TreeGetRelated(myDialog, myId, anItem, aRelation == RELATION_PARENT ? UI_TREE_PARENT : UI_TREE_NEXT);
}

VelkType* MFCVelkTreeControl::GetItemData(VelkTreeItem anItem)
{
    return reinterpret_cast<VelkType*>(UI_TreeGetData(myDialog, myId, anItem));
}

VelkTreeItem MFCVelkTreeControl::GetSelectedItem()
{
    return UI_TreeGetSelection(myDialog, myId);
}

bool MFCVelkTreeControl::DeleteItem(VelkTreeItem anItem)
{
    return UI_TreeDelete(myDialog, myId, anItem);
}

VelkTreeItem MFCVelkTreeControl::HitTest(int anX, int aY)
{
    return UI_TreeHitTest(myDialog, myId, anX, aY);
}

bool MFCVelkTreeControl::ToggleItem(VelkTreeItem anItem)
{
    return UI_TreeExpand(myDialog, myId, anItem, !UI_TreeIsExpanded(myDialog, myId, anItem));
}

bool MFCVelkTreeControl::ItemHasChildren(VelkTreeItem anItem)
{
    return UI_TreeGetRelated(myDialog, myId, anItem, UI_TREE_CHILD) != 0;
}

bool MFCVelkTreeControl::SetItemText(VelkTreeItem anItem, const char* aText)
{
    return UI_TreeSetText(myDialog, myId, anItem, VelkText_ToUI(aText).c_str());
}

void MFCVelkTreeControl::BeginRebuild()
{
    UI_TreeBeginUpdate(myDialog, myId);
}

void MFCVelkTreeControl::EndRebuild()
{
    UI_TreeEndUpdate(myDialog, myId);
}

bool MFCVelkTreeControl::SetChildrenLater(VelkTreeItem anItem)
{
    return UI_TreeSetChildrenLater(myDialog, myId, anItem);
}

void MFCVelkTreeControl::SetFiller(std::function<void(VelkTreeItem)> aFiller)
{
    myFiller = std::move(aFiller);
    UI_TreeSetFillProc(myDialog, myId, myFiller ? &MFCVelkTreeControl::Priv_Fill : nullptr, this);
}

void MFCVelkTreeControl::Priv_Fill(UI_Dialog*, int, UI_TreeItem anItem, void* aContext)
{
    MFCVelkTreeControl* locControl = static_cast<MFCVelkTreeControl*>(aContext);
    if (locControl->myFiller)
        locControl->myFiller(anItem);
}

// --- [SECTION] building the tree ---

namespace
{
bool locIsScriptClass(VelkType* anObject)
{
    VelkClass* locClass = dynamic_cast<VelkClass*>(anObject);
    return locClass && locClass->IsScriptClass();
}

VelkType* locDirectMember(VelkType* anObject, const char* aName)
{
    QC_List<VelkType*>& locMembers = anObject->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->GetName() == aName)
            return locLink->myItem;
    return nullptr;
}

void locCollect(VelkType* anObject, const QC_String& aPath, const char* aTypeName, QC_List<QC_String>& anOut)
{
    if (anObject->GetTypeName() == aTypeName)
        anOut.Add(aPath);
    QC_List<VelkType*>& locMembers = anObject->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
    {
        QC_String locPath;
        locPath.Format(VELK_PATH_PATTERN, aPath.GetBuffer(), locLink->myItem->GetName().GetBuffer());
        locCollect(locLink->myItem, locPath, aTypeName, anOut);
    }
}
} // namespace

VelkTree::VelkTree(VelkTreeControl* aControl, VelkTypeConstraintSet* aConstraints, BrowseFilterSet* aBrowseFilters,
                   VelkTreeOwner* anOwner)
    : myControl(aControl), myConstraints(aConstraints), myBrowseFilters(aBrowseFilters), myOwner(anOwner)
{
    myControl->DeleteAllItems();
    myControl->SetFiller([this](VelkTreeItem anItem) {
        if (VelkType* locObject = myControl->GetItemData(anItem))
            Priv_AddMembers(locObject, anItem);
    });
}

VelkTree::~VelkTree()
{
    myControl->SetFiller(nullptr);
}

QC_String VelkTree::ItemText(VelkType* anObject)
{
    const QC_String& locValue = anObject->GetValue();
    if (locValue.IsEmpty())
        return anObject->GetName();
    QC_String locText;
    locText.Format("%s = %s", anObject->GetName().GetBuffer(), locValue.GetBuffer());
    return locText;
}

QC_String VelkTree::CutName(const char* aText)
{
    QC_String locText = aText ? aText : "";
    int locCut = locText.Find(' ');
    if (locCut < 0)
        locCut = locText.Find('=');
    return locCut < 0 ? locText : locText.Left(locCut);
}

bool VelkTree::IsNameTaken(VelkNameSpace& aNameSpace, VelkType* anObject, const char* aName)
{
    VelkType* locOther = nullptr;
    if (VelkType* locParent = anObject->GetParent())
    {
        QC_List<VelkType*>& locMembers = locParent->GetMembers();
        for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink && !locOther; locLink = locLink->myNext)
            if (locLink->myItem != anObject && locLink->myItem->GetName() == aName)
                locOther = locLink->myItem;
    }
    else
        locOther = aNameSpace.GetInstance(aName, false);
    return locOther && locOther != anObject;
}

bool VelkTree::MayRenameOrDelete(VelkType* anObject)
{
    return anObject && (anObject->GetParent() == nullptr || locIsScriptClass(anObject->GetParent()));
}

void VelkTree::Rebuild(VelkNameSpace& aNameSpace, const TypeVis& aTypeVis)
{
    myControl->BeginRebuild();
    myControl->DeleteAllItems();
    myCopied = nullptr;
    myRootItems.clear();
    myRootItems.shrink_to_fit();
    myRootItems.reserve(size_t(aNameSpace.GetNumInstances()));
    // Noted unsorted, sorted once at the end.
    myRebuilding = true;
    for (VelkType* locRoot : aNameSpace.GetInstanceView())
        if (aTypeVis.IsShown(locRoot->GetTypeName()))
            Add(locRoot, VELK_TREE_ROOT, VelkTreeControl::POSITION_SORTED);
    myRebuilding = false;
    std::sort(myRootItems.begin(), myRootItems.end());
    myControl->EndRebuild();
}

VelkTreeItem VelkTree::Add(VelkType* anObject, VelkTreeItem aParent, int aPosition)
{
    if (!anObject->GetValue().IsEmpty())
    {
        VelkTreeItem locItem = myControl->InsertItem(ItemText(anObject), aParent, aPosition);
        if (locItem)
            myControl->SetItemData(locItem, anObject);
        if (locItem && aParent == VELK_TREE_ROOT)
            Priv_NoteRoot(anObject, locItem);
        return locItem;
    }
    VelkTreeItem locItem = myControl->InsertItem(anObject->GetName(), aParent, aPosition);
    if (!locItem)
        return 0;
    myControl->SetItemData(locItem, anObject);
    if (aParent == VELK_TREE_ROOT)
        Priv_NoteRoot(anObject, locItem);
    if (anObject->GetNumMembers() > 0 && !myControl->SetChildrenLater(locItem))
        Priv_AddMembers(anObject, locItem);
    return locItem;
}

void VelkTree::Priv_NoteRoot(VelkType* aRoot, VelkTreeItem anItem)
{
    if (myRebuilding)
    {
        myRootItems.emplace_back(aRoot, anItem);
        return;
    }
    auto locAt = std::lower_bound(myRootItems.begin(), myRootItems.end(), std::make_pair(aRoot, VelkTreeItem(0)),
                                  [](const auto& aLeft, const auto& aRight) { return aLeft.first < aRight.first; });
    if (locAt != myRootItems.end() && locAt->first == aRoot)
        locAt->second = anItem;
    else
        myRootItems.emplace(locAt, aRoot, anItem);
}

VelkTreeItem VelkTree::Priv_RootItem(VelkType* aRoot) const
{
    auto locAt = std::lower_bound(myRootItems.begin(), myRootItems.end(), std::make_pair(aRoot, VelkTreeItem(0)),
                                  [](const auto& aLeft, const auto& aRight) { return aLeft.first < aRight.first; });
    return locAt != myRootItems.end() && locAt->first == aRoot ? locAt->second : 0;
}

void VelkTree::Priv_AddMembers(VelkType* anObject, VelkTreeItem anItem)
{
    // The read-only view: the list's own accessor drops the class's member index.
    for (VelkType* locMember : anObject->GetMemberView())
        Add(locMember, anItem, VelkTreeControl::POSITION_LAST);
}

VelkTreeItem VelkTree::AddInstance(VelkType* anObject)
{
    VelkTreeItem locItem = Add(anObject, VELK_TREE_ROOT, VelkTreeControl::POSITION_SORTED);
    if (locItem)
        myControl->SelectItem(locItem);
    return locItem;
}

// --- [SECTION] finding and refreshing items ---

VelkTreeItem VelkTree::FindItem(VelkType* anObject)
{
    if (!anObject)
        return 0;
    // Only the root's branch: every root item is known, and a search of the
    // whole tree would make the items of every branch.
    VelkType* locRoot = anObject;
    while (locRoot->GetParent())
        locRoot = locRoot->GetParent();
    VelkTreeItem locRootItem = Priv_RootItem(locRoot);
    if (!locRootItem || myControl->GetItemData(locRootItem) != locRoot)
        return 0;
    if (locRoot == anObject)
        return locRootItem;
    return Priv_Search(myControl->GetChildItem(locRootItem), anObject);
}

VelkTreeItem VelkTree::Priv_Search(VelkTreeItem aFirst, VelkType* anObject)
{
    // Depth first, iterative: children, then siblings.
    std::vector<VelkTreeItem> locStack;
    if (aFirst)
        locStack.push_back(aFirst);
    while (!locStack.empty())
    {
        VelkTreeItem locItem = locStack.back();
        locStack.pop_back();
        if (myControl->GetItemData(locItem) == anObject)
            return locItem;
        if (VelkTreeItem locNext = myControl->GetRelatedItem(locItem, VelkTreeControl::RELATION_NEXT))
            locStack.push_back(locNext);
        if (VelkTreeItem locChild = myControl->GetChildItem(locItem))
            locStack.push_back(locChild);
    }
    return 0;
}

void VelkTree::Priv_RefreshChildren(VelkType* anObject, VelkTreeItem anItem)
{
    if (!anItem)
        return;
    while (VelkTreeItem locChild = myControl->GetChildItem(anItem))
        if (!myControl->DeleteItem(locChild))
            break;
    Priv_AddMembers(anObject, anItem);
}

void VelkTree::RefreshChildren(VelkType* anObject)
{
    Priv_RefreshChildren(anObject, FindItem(anObject));
}

void VelkTree::UpdateItemText(VelkType* anObject)
{
    VelkTreeItem locItem = FindItem(anObject);
    if (locItem)
        myControl->SetItemText(locItem, ItemText(anObject));
}

void VelkTree::RemoveItem(VelkType* anObject)
{
    VelkTreeItem locItem = FindItem(anObject);
    if (locItem)
        myControl->DeleteItem(locItem);
}

void VelkTree::SelectObject(VelkType* anObject)
{
    VelkTreeItem locItem = FindItem(anObject);
    if (!locItem)
        return;
    myControl->SelectItem(locItem);
    myControl->SetItemText(locItem, ItemText(anObject));
}

// --- [SECTION] copy and paste ---

void VelkTree::Copy()
{
    VelkTreeItem locSelected = myControl->GetSelectedItem();
    myCopied = locSelected ? myControl->GetItemData(locSelected) : nullptr;
}

void VelkTree::ForgetRemoved(VelkType* aRemoved)
{
    if (myCopied && VelkEditor::IsRemovedBy(myCopied, aRemoved))
        myCopied = nullptr;
}

VelkType* VelkTree::Priv_NamedCopy(VelkType* aParent)
{
    CDlgCopyInstance locDialog;
    locDialog.myTypeName = myCopied->GetTypeName();
    locDialog.myName = myCopied->GetName();
    locDialog.myObject = myCopied;
    locDialog.myParentPath = Dlg_PathOf(aParent);
    if (locDialog.DoModal() != UI_IDOK)
        return nullptr;
    return myCopied->CloneAs(locDialog.myName);
}

bool VelkTree::Paste(VelkNameSpace& aNameSpace)
{
    (void) aNameSpace;
    if (!myCopied)
        return false;
    VelkTreeItem locSelected = myControl->GetSelectedItem();
    VelkType* locTarget = locSelected ? myControl->GetItemData(locSelected) : nullptr;
    // Also a copied object inside the target: the paste would free what it reads.
    if (locTarget && VelkEditor::IsRemovedBy(myCopied, locTarget))
        return false;
    if (!locTarget)
    {
        // A root the namespace refuses (its name is taken) is not shown.
        VelkType* locCopy = Priv_NamedCopy(nullptr);
        if (!locCopy || !myOwner->AddRoot(locCopy))
        {
            delete locCopy;
            return false;
        }
        Add(locCopy, VELK_TREE_ROOT, VelkTreeControl::POSITION_SORTED);
        return true;
    }
    if (locTarget->GetTypeName() != myCopied->GetTypeName())
    {
        if (!locTarget->IsLegalMemberType(myCopied->GetTypeName()))
            return false;
        VelkType* locCopy = Priv_NamedCopy(locTarget);
        if (!locCopy || !locTarget->AddMember(locCopy))
        {
            delete locCopy;
            return false;
        }
        Priv_RefreshChildren(locTarget, locSelected);
        return true;
    }
    // The script classes in the target get new members: whoever holds the old
    // ones lets go first.
    std::vector<VelkType*> locStack{locTarget};
    while (!locStack.empty())
    {
        VelkType* locObject = locStack.back();
        locStack.pop_back();
        bool locScript = locIsScriptClass(locObject);
        QC_List<VelkType*>& locMembers = locObject->GetMembers();
        for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
        {
            if (locScript)
                myOwner->ReleaseObject(locLink->myItem);
            else
                locStack.push_back(locLink->myItem);
        }
    }
    bool locResult = locTarget->AssignFrom(myCopied);
    myControl->SetItemText(locSelected, ItemText(locTarget));
    Priv_RefreshChildren(locTarget, locSelected);
    myOwner->OnTreeRefreshed();
    return locResult;
}

// --- [SECTION] rename and delete ---

bool VelkTree::Priv_Qualifies(VelkTreeItem anItem)
{
    if (!anItem)
        return false;
    VelkTreeItem locParent = myControl->GetRelatedItem(anItem, VelkTreeControl::RELATION_PARENT);
    return locParent == 0 || locIsScriptClass(myControl->GetItemData(locParent));
}

bool VelkTree::Rename(VelkNameSpace& aNameSpace)
{
    VelkTreeItem locSelected = myControl->GetSelectedItem();
    if (!Priv_Qualifies(locSelected))
        return false;
    VelkType* locObject = myControl->GetItemData(locSelected);
    if (!locObject)
        return false;
    CDlgRenameInstance locDialog;
    locDialog.myTypeName = locObject->GetTypeName();
    locDialog.myName = locObject->GetName();
    locDialog.myObject = locObject;
    locDialog.myParentPath = Dlg_PathOf(locObject->GetParent());
    if (locDialog.DoModal() != UI_IDOK)
        return false;
    QC_String locName = CutName(locDialog.myName);
    if (locName.IsEmpty())
    {
        VelkLog::Error("Rename: an instance needs a name");
        return false;
    }
    if (locName == locObject->GetName())
        return false;
    if (IsNameTaken(aNameSpace, locObject, locName))
    {
        VelkLog::Error("Rename: '%s' is taken by another instance", locName.GetBuffer());
        return false;
    }
    locObject->SetName(locName);
    myControl->SetItemText(locSelected, locName);
    return true;
}

bool VelkTree::Delete()
{
    VelkTreeItem locSelected = myControl->GetSelectedItem();
    if (!Priv_Qualifies(locSelected))
        return false;
    VelkType* locObject = myControl->GetItemData(locSelected);
    if (!locObject || !myOwner->DeleteObject(locObject))
        return false;
    myControl->DeleteItem(locSelected);
    return true;
}

// --- [SECTION] editing values ---

bool VelkTree::EditAtPoint(int anX, int aY, VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager)
{
    VelkTreeItem locItem = myControl->HitTest(anX, aY);
    return locItem && Priv_EditItem(locItem, aNameSpace, aTypeManager);
}

bool VelkTree::EditSelected(VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager)
{
    VelkTreeItem locItem = myControl->GetSelectedItem();
    return locItem && Priv_EditItem(locItem, aNameSpace, aTypeManager);
}

bool VelkTree::ToggleOrEditSelected(VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager)
{
    VelkTreeItem locItem = myControl->GetSelectedItem();
    if (!locItem)
        return false;
    if (myControl->ItemHasChildren(locItem))
    {
        myControl->ToggleItem(locItem);
        return false;
    }
    return Priv_EditItem(locItem, aNameSpace, aTypeManager);
}

bool VelkTree::EditObject(VelkType* anObject, VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager)
{
    VelkTreeItem locItem = FindItem(anObject);
    return locItem && Priv_EditItem(locItem, aNameSpace, aTypeManager);
}

void VelkTree::CollectPaths(VelkNameSpace& aNameSpace, const char* aTypeName, QC_List<QC_String>& anOut)
{
    QC_List<VelkType*> locRoots;
    aNameSpace.GetInstances(locRoots, true);
    for (QC_List<VelkType*>::Link* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
        locCollect(locLink->myItem, locLink->myItem->GetName(), aTypeName, anOut);
}

bool VelkTree::Priv_EditItem(VelkTreeItem anItem, VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager)
{
    VelkType* locObject = myControl->GetItemData(anItem);
    if (!locObject)
        return false;
    if (locIsScriptClass(locObject))
    {
        CDlgEditScriptClass locDialog(locObject);
        locDialog.myTypeManager = &aTypeManager;
        if (locDialog.DoModal() != UI_IDOK)
            return false;
        QC_List<QC_String>::Link* locType = locDialog.myContentTypes.myFirstLink;
        for (QC_List<QC_String>::Link* locName = locDialog.myContentNames.myFirstLink; locName && locType;
             locName = locName->myNext, locType = locType->myNext)
        {
            if (locDirectMember(locObject, locName->myItem))
                continue;
            VelkType* locMember = locObject->AddContent(aTypeManager, locType->myItem);
            if (locMember)
                locMember->SetName(locName->myItem);
        }
        locObject->SetMemberOrder(locDialog.myContentNames);
        Priv_RefreshChildren(locObject, anItem);
        return true;
    }
    QC_String locValue;
    if (dynamic_cast<VelkEnum*>(locObject))
    {
        CDlgEditType locDialog;
        locDialog.myTypeName = locObject->GetTypeName();
        locDialog.myName = locObject->GetName();
        locDialog.myValue = locObject->GetValue();
        locObject->GetLegalValues(locDialog.myValues);
        if (locDialog.DoModal() != UI_IDOK)
            return false;
        locValue = locDialog.myValue;
    }
    else if (VelkRef* locRef = dynamic_cast<VelkRef*>(locObject))
    {
        CDlgEditRef locDialog;
        locDialog.myTypeName = locObject->GetTypeName();
        locDialog.myName = locObject->GetName();
        locDialog.myValue = locObject->GetValue();
        QC_String locTypeName = locObject->GetTypeName();
        if (locTypeName.GetLength() > 0)
            locTypeName = locTypeName.Left(locTypeName.GetLength() - 1);
        CollectPaths(aNameSpace, locTypeName, locDialog.myValues);
        if (locDialog.DoModal() != UI_IDOK)
            return false;
        if (!locRef->AssignFrom(aNameSpace.GetInstance(locDialog.myValue, false)))
            return false;
        myControl->SetItemText(anItem, ItemText(locObject));
        return true;
    }
    else if (VelkFree* locFree = dynamic_cast<VelkFree*>(locObject))
    {
        VelkType* locParent = locObject->GetParent();
        if (locFree->IsFile())
        {
            CDlgEditFile locDialog;
            locDialog.myTypeName = locObject->GetTypeName();
            locDialog.myName = locObject->GetName();
            locDialog.myValue = locObject->GetValue();
            locDialog.myBaseDirectory = myOwner->GetBaseDirectory();
            const BrowseFilter* locFilter =
                locParent && myBrowseFilters ? myBrowseFilters->Find(locParent, locObject->GetName()) : nullptr;
            if (locFilter)
                locDialog.myExtension = locFilter->myExtension;
            if (locDialog.DoModal() != UI_IDOK)
                return false;
            locValue = locDialog.myValue;
        }
        else
        {
            VelkTypeConstraint* locConstraint =
                locParent && myConstraints ? myConstraints->Find(locParent, locObject->GetName()) : nullptr;
            if (locConstraint)
                locConstraint->Refill();
            if (!locConstraint)
            {
                CDlgEdit locDialog;
                locDialog.myTypeName = locObject->GetTypeName();
                locDialog.myName = locObject->GetName();
                locDialog.myValue = locObject->GetValue();
                if (locDialog.DoModal() != UI_IDOK)
                    return false;
                locValue = locDialog.myValue;
            }
            else if (locConstraint->GetValues().myCount > 0)
            {
                CDlgEditConstrained locDialog(locConstraint, locObject->GetTypeName(), locObject->GetName(),
                                              locObject->GetValue());
                if (locDialog.DoModal() != UI_IDOK)
                    return false;
                locValue = locDialog.myValue;
            }
            else
            {
                QC_String locText;
                locText.Format("Constrained field '%s' in type '%s' has no valid values",
                               locObject->GetName().GetBuffer(), locParent->GetTypeName().GetBuffer());
                UI_MessageBox("Korrinth", VelkText_ToUI(locText).c_str(), OS_MB_OK);
                return false;
            }
        }
    }
    else
        return false;
    if (!locObject->AssignValue(locValue))
        return false;
    QC_String locText;
    locText.Format("%s = %s", locObject->GetName().GetBuffer(), locObject->GetValue().GetBuffer());
    myControl->SetItemText(anItem, locText);
    return true;
}
