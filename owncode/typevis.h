// Three small parts of the editor's facade: which root instances the language
// tree shows, by type (TypeVis); a further .velk file compiled read-only
// beside the open one (VelkViewer); which extension the file dialog of a FILE
// member offers (BrowseFilterSet, from the settings' "myBrowseFilters").
#pragma once

#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"
#include "velk/velk_namespace.h"
#include "velkeditor/velk_typefilter.h"

#include <string>
#include <unordered_set>

class VelkType;
class VelkTypeManager;

class TypeVis
{
public:
    // The filter manager keeps "korrinth.tfm"; null keeps it in memory (tests).
    explicit TypeVis(const char* aFilterFileName = "korrinth.tfm");

    void Clear();
    // Every type of the manager that is in neither list is appended to the
    // shown one: new types are shown until the user hides them.
    void Update(const VelkTypeManager& aTypeManager);
    // Exact match in the shown list; indexed, as it runs for every root.
    bool IsShown(const char* aTypeName) const;
    void SetLists(const QC_List<QC_String>& aShown, const QC_List<QC_String>& aHidden);
    // Resets the list box, adds the names in list order, selects the first.
    void FillShownList(UI_Dialog* aDialog, int anId) const;
    void FillHiddenList(UI_Dialog* aDialog, int anId) const;

    const QC_List<QC_String>& GetShown() const { return myShown; }
    const QC_List<QC_String>& GetHidden() const { return myHidden; }
    VelkTypeFilterManager& GetFilterManager() { return myFilterManager; }

private:
    QC_List<QC_String> myShown;
    QC_List<QC_String> myHidden;
    VelkTypeFilterManager myFilterManager;
    std::unordered_set<std::string> myShownIndex;
    std::unordered_set<std::string> myHiddenIndex;
};

class VelkViewer
{
public:
    // Compiled with a type manager of the compile's own; null when it fails.
    static VelkViewer* Create(const char* aFileName);
    static void Destroy(VelkViewer* aViewer) { delete aViewer; }

    const QC_String& GetFileName() const { return myFileName; }
    // Owns its instances: they go with the viewer.
    VelkNameSpace& GetNameSpace() { return myNameSpace; }

private:
    explicit VelkViewer(const char* aFileName) : myFileName(aFileName) {}

    QC_String myFileName;
    VelkNameSpace myNameSpace;
};

struct BrowseFilter
{
    QC_String myTypeName;
    QC_String myMemberName;
    QC_String myExtension;
};

class BrowseFilterSet
{
public:
    BrowseFilterSet() = default;
    ~BrowseFilterSet() { Clear(); }
    BrowseFilterSet(const BrowseFilterSet&) = delete;
    BrowseFilterSet& operator=(const BrowseFilterSet&) = delete;

    // Every member of the settings instance must be a "BrowseFilter"; false
    // for a missing instance or a member of another type (the set stays empty).
    bool Load(VelkType* aSettings);
    // The first filter of the object's type and that member name (exact), or null.
    const BrowseFilter* Find(const VelkType* anObject, const char* aMemberName) const;
    void Clear();
    int Count() const { return myFilters.Count(); }

private:
    QC_List<BrowseFilter*> myFilters; // owned
};
