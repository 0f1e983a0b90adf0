// The language tree of the editor's left pane: the open namespace as a tree
// (one item per shown root, nested items for class members, "name = value"
// leaves), and the commands that start from it: rename, delete, copy, paste
// and editing a value with the dialog that fits its class. It talks to the
// window only through VelkTreeControl.
#pragma once

#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class BrowseFilterSet;
class TypeVis;
class VelkNameSpace;
class VelkType;
class VelkTypeConstraintSet;
class VelkTypeManager;

// Items are opaque handles: 0 is none, VELK_TREE_ROOT the invisible root.
typedef intptr_t VelkTreeItem;
constexpr VelkTreeItem VELK_TREE_ROOT = -1;

class VelkTreeControl
{
public:
    enum
    {
        POSITION_LAST = 0,
        POSITION_SORTED = 1,
        RELATION_NEXT = 0,
        RELATION_PARENT = 1,
    };

    virtual ~VelkTreeControl() = default;
    virtual bool DeleteAllItems() = 0;
    // Text only; sorted without regard to case.
    virtual VelkTreeItem InsertItem(const char* aText, VelkTreeItem aParent, int aPosition) = 0;
    virtual bool SetItemData(VelkTreeItem anItem, VelkType* anObject) = 0;
    virtual bool SelectItem(VelkTreeItem anItem) = 0;
    virtual VelkTreeItem GetRootItem() = 0;
    virtual VelkTreeItem GetChildItem(VelkTreeItem anItem) = 0;
    virtual VelkTreeItem GetRelatedItem(VelkTreeItem anItem, int aRelation) = 0;
    virtual VelkType* GetItemData(VelkTreeItem anItem) = 0;
    virtual VelkTreeItem GetSelectedItem() = 0;
    virtual bool DeleteItem(VelkTreeItem anItem) = 0;
    // Only on an item's icon, label or state icon; else 0.
    virtual VelkTreeItem HitTest(int anX, int aY) = 0;
    virtual bool ToggleItem(VelkTreeItem anItem) = 0;
    virtual bool ItemHasChildren(VelkTreeItem anItem) = 0;
    virtual bool SetItemText(VelkTreeItem anItem, const char* aText) = 0;
    // Around a rebuild: the inserts in between may be batched.
    virtual void BeginRebuild() {}
    virtual void EndRebuild() {}
    // The item shows that it has children before they are made; the filler
    // makes them when they are first needed. A control that cannot wait
    // answers false and the children are made at once.
    virtual bool SetChildrenLater(VelkTreeItem anItem) { (void) anItem; return false; }
    virtual void SetFiller(std::function<void(VelkTreeItem)> aFiller) { (void) aFiller; }
};

// Over a tree control of platform/ui; the texts are Velk text (velk_uitext.h).
class MFCVelkTreeControl : public VelkTreeControl
{
public:
    MFCVelkTreeControl(UI_Dialog* aDialog, int aControlId) : myDialog(aDialog), myId(aControlId) {}

    bool DeleteAllItems() override;
    VelkTreeItem InsertItem(const char* aText, VelkTreeItem aParent, int aPosition) override;
    bool SetItemData(VelkTreeItem anItem, VelkType* anObject) override;
    bool SelectItem(VelkTreeItem anItem) override;
    VelkTreeItem GetRootItem() override;
    VelkTreeItem GetChildItem(VelkTreeItem anItem) override;
    VelkTreeItem GetRelatedItem(VelkTreeItem anItem, int aRelation) override;
    VelkType* GetItemData(VelkTreeItem anItem) override;
    VelkTreeItem GetSelectedItem() override;
    bool DeleteItem(VelkTreeItem anItem) override;
    VelkTreeItem HitTest(int anX, int aY) override;
    bool ToggleItem(VelkTreeItem anItem) override;
    bool ItemHasChildren(VelkTreeItem anItem) override;
    bool SetItemText(VelkTreeItem anItem, const char* aText) override;
    void BeginRebuild() override;
    void EndRebuild() override;
    bool SetChildrenLater(VelkTreeItem anItem) override;
    void SetFiller(std::function<void(VelkTreeItem)> aFiller) override;

    UI_Dialog* GetDialog() const { return myDialog; }
    int GetControlId() const { return myId; }

private:
    static void Priv_Fill(UI_Dialog* aDialog, int anId, UI_TreeItem anItem, void* aContext);

    UI_Dialog* myDialog;
    int myId;
    std::function<void(VelkTreeItem)> myFiller;
};

// What the tree asks of the facade that owns the data.
class VelkTreeOwner
{
public:
    virtual ~VelkTreeOwner() = default;
    // Adds a new root; false when the namespace refuses it (the caller keeps it).
    virtual bool AddRoot(VelkType* anObject) = 0;
    // Deletes the object from the namespace (the editor lets go of it first).
    virtual bool DeleteObject(VelkType* anObject) = 0;
    // The editor lets go of an object about to be destroyed by a paste.
    virtual void ReleaseObject(VelkType* anObject) = 0;
    virtual void OnTreeRefreshed() = 0;
    virtual const char* GetBaseDirectory() const = 0;
};

class VelkTree
{
public:
    // None is owned.
    VelkTree(VelkTreeControl* aControl, VelkTypeConstraintSet* aConstraints, BrowseFilterSet* aBrowseFilters,
             VelkTreeOwner* anOwner);
    ~VelkTree();
    VelkTree(const VelkTree&) = delete;
    VelkTree& operator=(const VelkTree&) = delete;

    // Deletes every item, forgets the copied object, adds every root whose type is shown.
    void Rebuild(VelkNameSpace& aNameSpace, const TypeVis& aTypeVis);
    // An item's members get their items when the control first needs them.
    VelkTreeItem Add(VelkType* anObject, VelkTreeItem aParent, int aPosition);
    // Sorted under the root, and selected.
    VelkTreeItem AddInstance(VelkType* anObject);
    // The item showing the object; 0 when absent.
    VelkTreeItem FindItem(VelkType* anObject);
    void RefreshChildren(VelkType* anObject);
    void UpdateItemText(VelkType* anObject);
    void RemoveItem(VelkType* anObject);
    void SelectObject(VelkType* anObject);

    void Copy();
    bool Paste(VelkNameSpace& aNameSpace);
    bool Rename(VelkNameSpace& aNameSpace);
    bool Delete();
    // An object is about to be deleted: the copied object goes when it lies inside.
    void ForgetRemoved(VelkType* aRemoved);
    VelkType* GetCopied() const { return myCopied; }

    // True when a value was edited.
    bool EditAtPoint(int anX, int aY, VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager);
    bool EditSelected(VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager);
    // Enter: an item with children is toggled, a leaf is edited.
    bool ToggleOrEditSelected(VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager);
    bool EditObject(VelkType* anObject, VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager);

    // Roots and members of script classes may be renamed and deleted.
    static bool MayRenameOrDelete(VelkType* anObject);
    // True when another root (for a root) or another member of the same class
    // (for a member) has that name.
    static bool IsNameTaken(VelkNameSpace& aNameSpace, VelkType* anObject, const char* aName);
    // "%s = %s" for an object with a value, else its name.
    static QC_String ItemText(VelkType* anObject);
    // The name a rename text gives: cut at the first space, else the first '='.
    static QC_String CutName(const char* aText);
    // Every object of that type name, depth first, as dotted paths from its root.
    static void CollectPaths(VelkNameSpace& aNameSpace, const char* aTypeName, QC_List<QC_String>& anOut);

    VelkTreeControl* GetControl() const { return myControl; }

private:
    bool Priv_EditItem(VelkTreeItem anItem, VelkNameSpace& aNameSpace, VelkTypeManager& aTypeManager);
    bool Priv_Qualifies(VelkTreeItem anItem);
    // A copy of the copied object under the name the copy dialog gives; null when cancelled.
    // Named by the user for its new place under aParent (null: a root).
    VelkType* Priv_NamedCopy(VelkType* aParent);
    // From aFirst over its children and its following siblings.
    VelkTreeItem Priv_Search(VelkTreeItem aFirst, VelkType* anObject);
    void Priv_RefreshChildren(VelkType* anObject, VelkTreeItem anItem);
    void Priv_AddMembers(VelkType* anObject, VelkTreeItem anItem);
    void Priv_NoteRoot(VelkType* aRoot, VelkTreeItem anItem);
    VelkTreeItem Priv_RootItem(VelkType* aRoot) const;

    VelkTreeControl* myControl;
    VelkTypeConstraintSet* myConstraints;
    BrowseFilterSet* myBrowseFilters;
    VelkTreeOwner* myOwner;
    VelkType* myCopied = nullptr;
    // Root object -> its item, sorted by object, so finding an object searches
    // one root's branch only; an entry is trusted only while the item still
    // holds it. A sorted array: two words a root, with no node or bucket
    // of its own as in a hash map.
    std::vector<std::pair<VelkType*, VelkTreeItem>> myRootItems;
    bool myRebuilding = false;
};
