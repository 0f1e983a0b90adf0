// Dialogs of the type filters.
#include "owncode/dlg_filter.h"

#include <string>
#include <vector>

#include "velk/velk_type.h"
#include "velkeditor/velk_uitext.h"

// --- CDlgFilterType ---

namespace
{
const UI_ControlTemplate ourFilterTypeControls[] = {
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Filter", 7, 9, 30, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 40, 7, 150, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {CDlgFilterType::IDC_TREE, UI_CONTROL_TREE, nullptr, 7, 24, 183, 170,
     UI_STYLE_BORDER | UI_STYLE_TV_CHECKBOXES},
    {CDlgFilterType::IDC_RESET, UI_CONTROL_PUSHBUTTON, "Reset", 200, 48, 50, 14, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 200, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 200, 24, 50, 14, 0},
};
const UI_DialogTemplate ourFilterTypeTemplate = {
    150, "Filter Type", 257, 201, DLG_FONT, ourFilterTypeControls,
    int(sizeof(ourFilterTypeControls) / sizeof(ourFilterTypeControls[0]))};

QC_String locJoin(const QC_String& aPath, const char* aName)
{
    if (aPath.IsEmpty())
        return QC_String(aName);
    QC_String locPath;
    locPath.Format(VELK_PATH_PATTERN, aPath.GetBuffer(), aName);
    return locPath;
}
} // namespace

CDlgFilterType::CDlgFilterType(VelkType* aType, VelkTypeFilter* aFilter)
    : CDlgBase(ourFilterTypeTemplate), myType(aType), myFilter(aFilter)
{
}

void CDlgFilterType::Priv_AddMembers(VelkType* anObject, UI_TreeItem aParent, const QC_String& aPath)
{
    QC_List<VelkType*>& locMembers = anObject->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
    {
        VelkType* locMember = locLink->myItem;
        QC_String locPath = locJoin(aPath, locMember->GetName());
        UI_TreeItem locItem =
            UI_TreeInsert(myDialog, IDC_TREE, aParent, VelkText_ToUI(locMember->GetName()).c_str(), -1, false);
        UI_TreeSetCheck(myDialog, IDC_TREE, locItem, myFilter->Contains(locPath));
        Priv_AddMembers(locMember, locItem, locPath);
        UI_TreeExpand(myDialog, IDC_TREE, locItem, true);
    }
}

void CDlgFilterType::OnInitDialog()
{
    if (myFilter)
        SetText(IDC_NAME, myFilter->GetName());
    if (myType && myFilter)
        Priv_AddMembers(myType, UI_TREE_ROOT, QC_String());
}

void CDlgFilterType::Priv_Collect(UI_TreeItem aFirst, const QC_String& aPath, QC_List<QC_String>& anOut) const
{
    for (UI_TreeItem locItem = aFirst; locItem; locItem = UI_TreeGetRelated(myDialog, IDC_TREE, locItem, UI_TREE_NEXT))
    {
        if (!UI_TreeGetCheck(myDialog, IDC_TREE, locItem))
            continue;
        // Items hold only names put there as Velk text, so this never refuses.
        std::string locText;
        UI_TreeGetText(myDialog, IDC_TREE, locItem, &locText);
        QC_String locName;
        VelkText_FromUI(locText, locName);
        QC_String locPath = locJoin(aPath, locName);
        anOut.Add(locPath);
        Priv_Collect(UI_TreeGetRelated(myDialog, IDC_TREE, locItem, UI_TREE_CHILD), locPath, anOut);
    }
}

void CDlgFilterType::GetCheckedPaths(QC_List<QC_String>& anOut) const
{
    anOut.RemoveAll();
    Priv_Collect(UI_TreeGetRelated(myDialog, IDC_TREE, UI_TREE_ROOT, UI_TREE_CHILD), QC_String(), anOut);
}

void CDlgFilterType::OnCommand(int anId, int aNotifyCode)
{
    if (anId != IDC_RESET || aNotifyCode != UI_BN_CLICKED)
        return;
    // Every item unchecked, depth first.
    std::vector<UI_TreeItem> locStack{UI_TreeGetRelated(myDialog, IDC_TREE, UI_TREE_ROOT, UI_TREE_CHILD)};
    while (!locStack.empty())
    {
        UI_TreeItem locItem = locStack.back();
        locStack.pop_back();
        if (!locItem)
            continue;
        UI_TreeSetCheck(myDialog, IDC_TREE, locItem, false);
        locStack.push_back(UI_TreeGetRelated(myDialog, IDC_TREE, locItem, UI_TREE_NEXT));
        locStack.push_back(UI_TreeGetRelated(myDialog, IDC_TREE, locItem, UI_TREE_CHILD));
    }
}

void CDlgFilterType::OnOK()
{
    if (myFilter)
    {
        QC_List<QC_String> locPaths;
        GetCheckedPaths(locPaths);
        myFilter->Clear();
        for (QC_List<QC_String>::Link* locLink = locPaths.myFirstLink; locLink; locLink = locLink->myNext)
            myFilter->AddMember(locLink->myItem);
    }
    EndDialog(UI_IDOK);
}

// --- CDlgNewFilter ---

namespace
{
const UI_ControlTemplate ourNewFilterControls[] = {
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 9, 30, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 40, 7, 130, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 180, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 180, 24, 50, 14, 0},
};
const UI_DialogTemplate ourNewFilterTemplate = {
    151, "New Filter", 237, 45, DLG_FONT, ourNewFilterControls,
    int(sizeof(ourNewFilterControls) / sizeof(ourNewFilterControls[0]))};
} // namespace

CDlgNewFilter::CDlgNewFilter() : CDlgBase(ourNewFilterTemplate)
{
}

void CDlgNewFilter::OnInitDialog()
{
    SetText(IDC_NAME, myName);
    OnCommand(IDC_NAME, UI_EN_CHANGE);
}

void CDlgNewFilter::OnCommand(int anId, int aNotifyCode)
{
    // An empty name is the default filter's, which is not listed.
    if (anId == IDC_NAME && aNotifyCode == UI_EN_CHANGE)
    {
        QC_String locName;
        Enable(UI_IDOK, !GetText(IDC_NAME, locName) || !locName.IsEmpty());
    }
}

void CDlgNewFilter::OnOK()
{
    GetText(IDC_NAME, myName);
    EndDialog(UI_IDOK);
}

// --- CDlgFilterList ---

namespace
{
const UI_ControlTemplate ourFilterListControls[] = {
    {IDC_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 150, 100, UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_NOTIFY},
    {CDlgFilterList::IDC_NEW, UI_CONTROL_PUSHBUTTON, "New", 167, 48, 50, 14, 0},
    {CDlgFilterList::IDC_EDIT, UI_CONTROL_PUSHBUTTON, "Edit", 167, 65, 50, 14, 0},
    {CDlgFilterList::IDC_ACTIVE_LABEL, UI_CONTROL_STATIC, "Currently Active Filter", 7, 113, 100, 8, 0},
    {CDlgFilterList::IDC_ACTIVE, UI_CONTROL_EDIT, nullptr, 7, 123, 150, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 167, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 167, 24, 50, 14, 0},
};
const UI_DialogTemplate ourFilterListTemplate = {
    152, "Filters for Type", 224, 142, DLG_FONT, ourFilterListControls,
    int(sizeof(ourFilterListControls) / sizeof(ourFilterListControls[0]))};
} // namespace

CDlgFilterList::CDlgFilterList(VelkTypeFilterManager::Type* aRecord, VelkType* aType)
    : CDlgBase(ourFilterListTemplate), myRecord(aRecord), myType(aType)
{
}

void CDlgFilterList::Priv_Fill(const char* aSelectName)
{
    QC_List<QC_String> locNames;
    for (QC_List<VelkTypeFilter*>::Link* locLink = myRecord->GetFilters().myFirstLink; locLink;
         locLink = locLink->myNext)
        locNames.Add(locLink->myItem->GetName());
    FillList(IDC_LIST, locNames);
    int locIndex = FindListEntry(IDC_LIST, aSelectName);
    SelectListEntry(IDC_LIST, locIndex >= 0 ? locIndex : (locNames.IsEmpty() ? -1 : 0));
    Priv_Update();
}

void CDlgFilterList::Priv_Update()
{
    int locIndex = GetListSelection(IDC_LIST);
    Enable(IDC_EDIT, locIndex >= 0);
    SetText(IDC_ACTIVE, locIndex >= 0 ? GetListText(IDC_LIST, locIndex).GetBuffer() : "");
}

void CDlgFilterList::OnInitDialog()
{
    if (!myRecord)
        return;
    myActiveAtStart = myRecord->GetActiveFilter();
    Priv_Fill(myActiveAtStart->GetName());
}

void CDlgFilterList::OnCommand(int anId, int aNotifyCode)
{
    if (!myRecord)
        return;
    if (anId == IDC_LIST && aNotifyCode == UI_LBN_SELCHANGE)
        Priv_Update();
    else if (anId == IDC_NEW && aNotifyCode == UI_BN_CLICKED)
    {
        CDlgNewFilter locNew;
        if (locNew.DoModal(this) == UI_IDOK)
            Priv_Fill(myRecord->AddFilter(locNew.myName)->GetName());
    }
    else if (anId == IDC_EDIT && aNotifyCode == UI_BN_CLICKED)
    {
        int locIndex = GetListSelection(IDC_LIST);
        VelkTypeFilter* locFilter = locIndex >= 0 ? myRecord->FindFilter(GetListText(IDC_LIST, locIndex)) : nullptr;
        if (locFilter)
        {
            CDlgFilterType locEdit(myType, locFilter);
            locEdit.DoModal(this);
        }
    }
}

void CDlgFilterList::OnOK()
{
    if (myRecord)
    {
        int locIndex = GetListSelection(IDC_LIST);
        myRecord->SetActiveFilter(locIndex >= 0 ? GetListText(IDC_LIST, locIndex).GetBuffer() : "");
    }
    EndDialog(UI_IDOK);
}

void CDlgFilterList::OnCancel()
{
    // A filter made with "New" stays, but the active one is the one before.
    if (myRecord && myActiveAtStart)
        myRecord->SetActiveFilter(myActiveAtStart->GetName());
    EndDialog(UI_IDCANCEL);
}
