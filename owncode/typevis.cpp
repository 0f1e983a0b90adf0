#include "owncode/typevis.h"

#include "velk/velk_compiler.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_uitext.h"

#include <cstring>

// --- TypeVis ---

TypeVis::TypeVis(const char* aFilterFileName) : myFilterManager(aFilterFileName)
{
}

void TypeVis::Clear()
{
    myShown.RemoveAll();
    myHidden.RemoveAll();
    myShownIndex.clear();
    myHiddenIndex.clear();
}

void TypeVis::Update(const VelkTypeManager& aTypeManager)
{
    QC_List<VelkType*> locTypes;
    aTypeManager.GetTypes(locTypes);
    for (QC_List<VelkType*>::Link* locLink = locTypes.myFirstLink; locLink; locLink = locLink->myNext)
    {
        std::string locName = locLink->myItem->GetTypeName().GetBuffer();
        if (myShownIndex.count(locName) || myHiddenIndex.count(locName))
            continue;
        myShown.Add(QC_String(locName.c_str()));
        myShownIndex.insert(locName);
    }
}

bool TypeVis::IsShown(const char* aTypeName) const
{
    return aTypeName && myShownIndex.count(aTypeName) != 0;
}

void TypeVis::SetLists(const QC_List<QC_String>& aShown, const QC_List<QC_String>& aHidden)
{
    Clear();
    myShown = aShown;
    myHidden = aHidden;
    for (QC_List<QC_String>::Link* locLink = myShown.myFirstLink; locLink; locLink = locLink->myNext)
        myShownIndex.insert(locLink->myItem.GetBuffer());
    for (QC_List<QC_String>::Link* locLink = myHidden.myFirstLink; locLink; locLink = locLink->myNext)
        myHiddenIndex.insert(locLink->myItem.GetBuffer());
}

static void locFill(const QC_List<QC_String>& aNames, UI_Dialog* aDialog, int anId)
{
    UI_ListReset(aDialog, anId);
    for (QC_List<QC_String>::Link* locLink = aNames.myFirstLink; locLink; locLink = locLink->myNext)
        UI_ListAdd(aDialog, anId, VelkText_ToUI(locLink->myItem).c_str());
    UI_ListSetSel(aDialog, anId, 0, true);
}

void TypeVis::FillShownList(UI_Dialog* aDialog, int anId) const
{
    locFill(myShown, aDialog, anId);
}

void TypeVis::FillHiddenList(UI_Dialog* aDialog, int anId) const
{
    locFill(myHidden, aDialog, anId);
}

// --- VelkViewer ---

VelkViewer* VelkViewer::Create(const char* aFileName)
{
    if (!aFileName)
        return nullptr;
    VelkViewer* locViewer = new VelkViewer(aFileName);
    if (!VelkCompiler::Compile(locViewer->myNameSpace, aFileName, nullptr, nullptr))
    {
        delete locViewer;
        return nullptr;
    }
    return locViewer;
}

// --- BrowseFilterSet ---

bool BrowseFilterSet::Load(VelkType* aSettings)
{
    Clear();
    if (!aSettings)
        return false;
    QC_List<VelkType*>& locMembers = aSettings->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkType* locMember = locLink->myItem;
        if (strcmp(locMember->GetTypeName().GetBuffer(), "BrowseFilter") != 0)
        {
            Clear();
            return false;
        }
        BrowseFilter* locFilter = new BrowseFilter;
        locFilter->myTypeName = locMember->GetMemberValue("myTypeName");
        locFilter->myMemberName = locMember->GetMemberValue("myMemberName");
        locFilter->myExtension = locMember->GetMemberValue("myExtension");
        myFilters.Add(locFilter);
    }
    return true;
}

const BrowseFilter* BrowseFilterSet::Find(const VelkType* anObject, const char* aMemberName) const
{
    if (!anObject || !aMemberName)
        return nullptr;
    for (QC_List<BrowseFilter*>::Link* locLink = myFilters.myFirstLink; locLink; locLink = locLink->myNext)
        if (strcmp(locLink->myItem->myTypeName.GetBuffer(), anObject->GetTypeName().GetBuffer()) == 0 &&
            strcmp(locLink->myItem->myMemberName.GetBuffer(), aMemberName) == 0)
            return locLink->myItem;
    return nullptr;
}

void BrowseFilterSet::Clear()
{
    myFilters.DeleteAll();
}
