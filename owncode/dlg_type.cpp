// Dialogs about types.
#include "owncode/dlg_type.h"

#include <algorithm>

#include "owncode/dlg_filter.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_typefilter.h"

// --- CDlgType ---

namespace
{
const UI_ControlTemplate ourTypeControls[] = {
    {CDlgType::IDC_META_TYPE, UI_CONTROL_RADIOBUTTON, "Type", 7, 7, 50, 10, UI_STYLE_GROUP},
    {CDlgType::IDC_META_CLASS, UI_CONTROL_RADIOBUTTON, "Class", 60, 7, 50, 10, 0},
    {CDlgType::IDC_META_SCRIPTCLASS, UI_CONTROL_RADIOBUTTON, "ScriptClass", 113, 7, 60, 10, 0},
    {CDlgType::IDC_TYPENAME_LABEL, UI_CONTROL_STATIC, "TypeName", 7, 24, 40, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 50, 22, 150, 12, UI_STYLE_BORDER},
    {CDlgType::IDC_TYPES, UI_CONTROL_LISTBOX, nullptr, 7, 40, 110, 120, UI_STYLE_BORDER | UI_STYLE_VSCROLL},
    {CDlgType::IDC_ADD_TYPE, UI_CONTROL_PUSHBUTTON, "Add ->", 122, 60, 45, 14, 0},
    {CDlgType::IDC_REMOVE, UI_CONTROL_PUSHBUTTON, "Remove", 122, 80, 45, 14, 0},
    {CDlgType::IDC_MEMBERS, UI_CONTROL_LISTBOX, nullptr, 172, 40, 110, 120, UI_STYLE_BORDER | UI_STYLE_VSCROLL},
    {CDlgType::IDC_ADD_VALUE, UI_CONTROL_PUSHBUTTON, "<- Add", 287, 60, 45, 14, 0},
    {CDlgType::IDC_VALUES_LABEL, UI_CONTROL_STATIC, "Values", 337, 40, 60, 8, 0},
    {IDC_VALUE, UI_CONTROL_EDIT, nullptr, 337, 61, 90, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 377, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 377, 24, 50, 14, 0},
};
const UI_DialogTemplate ourTypeTemplate = {160, "Create / Edit Type", 434, 167, DLG_FONT, ourTypeControls,
                                           int(sizeof(ourTypeControls) / sizeof(ourTypeControls[0]))};
} // namespace

CDlgType::CDlgType() : CDlgBase(ourTypeTemplate)
{
}

void CDlgType::OnInitDialog()
{
    int locMeta = myMetaType >= 0 && myMetaType <= 2 ? myMetaType : 0;
    UI_CheckRadioButton(myDialog, IDC_META_TYPE, IDC_META_SCRIPTCLASS, IDC_META_TYPE + locMeta);
    SetText(IDC_NAME, myTypeName);
    FillList(IDC_TYPES, myTypes);
    FillList(IDC_MEMBERS, myMembers);
}

void CDlgType::OnCommand(int anId, int aNotifyCode)
{
    if (aNotifyCode != UI_BN_CLICKED)
        return;
    if (anId == IDC_ADD_TYPE)
    {
        // The selected known type joins the members.
        int locIndex = GetListSelection(IDC_TYPES);
        if (locIndex >= 0)
            AddListText(IDC_MEMBERS, GetListText(IDC_TYPES, locIndex));
    }
    else if (anId == IDC_REMOVE)
    {
        int locIndex = GetListSelection(IDC_MEMBERS);
        if (locIndex >= 0)
            UI_ListDelete(myDialog, IDC_MEMBERS, locIndex);
    }
    else if (anId == IDC_ADD_VALUE)
    {
        // The typed value joins the members.
        QC_String locValue;
        if (TakeText(IDC_VALUE, locValue) && !locValue.IsEmpty())
        {
            AddListText(IDC_MEMBERS, locValue);
            SetText(IDC_VALUE, "");
        }
    }
}

void CDlgType::OnOK()
{
    myMetaType = 0;
    for (int i = 0; i < 3; i++)
        if (UI_IsButtonChecked(myDialog, IDC_META_TYPE + i))
            myMetaType = i;
    GetText(IDC_NAME, myTypeName);
    GetListTexts(IDC_MEMBERS, myMembers);
    EndDialog(UI_IDOK);
}

// --- CDlgViewTypes ---

namespace
{
const unsigned LIST_STYLE = UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_NOTIFY;
const UI_ControlTemplate ourViewTypesControls[] = {
    {CDlgViewTypes::IDC_INVISIBLE_LABEL, UI_CONTROL_STATIC, "Invisible", 7, 7, 60, 8, 0},
    {CDlgViewTypes::IDC_INVISIBLE, UI_CONTROL_LISTBOX, nullptr, 7, 18, 130, 160, LIST_STYLE},
    {CDlgViewTypes::IDC_VISIBLE_LABEL, UI_CONTROL_STATIC, "Visible", 197, 7, 60, 8, 0},
    {CDlgViewTypes::IDC_VISIBLE, UI_CONTROL_LISTBOX, nullptr, 197, 18, 130, 160, LIST_STYLE},
    {CDlgViewTypes::IDC_VIEW_ALL, UI_CONTROL_PUSHBUTTON, "View All", 142, 60, 50, 14, 0},
    {CDlgViewTypes::IDC_HIDE_ALL, UI_CONTROL_PUSHBUTTON, "Hide All", 142, 77, 50, 14, 0},
    {CDlgViewTypes::IDC_UP, UI_CONTROL_PUSHBUTTON, "Up", 332, 60, 50, 14, 0},
    {CDlgViewTypes::IDC_DOWN, UI_CONTROL_PUSHBUTTON, "Down", 332, 77, 50, 14, 0},
    {CDlgViewTypes::IDC_FILTERS, UI_CONTROL_PUSHBUTTON, "Filters...", 332, 110, 50, 14, UI_STYLE_DISABLED},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 332, 18, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 332, 35, 50, 14, 0},
};
const UI_DialogTemplate ourViewTypesTemplate = {
    161, "View Types", 389, 185, DLG_FONT, ourViewTypesControls,
    int(sizeof(ourViewTypesControls) / sizeof(ourViewTypesControls[0]))};
} // namespace

CDlgViewTypes::CDlgViewTypes(VelkTypeManager* aTypeManager, VelkTypeFilterManager* aFilterManager)
    : CDlgBase(ourViewTypesTemplate), myTypeManager(aTypeManager), myFilterManager(aFilterManager)
{
}

void CDlgViewTypes::OnInitDialog()
{
    FillList(IDC_INVISIBLE, myInvisible);
    FillList(IDC_VISIBLE, myVisible);
    Priv_UpdateFilters();
}

void CDlgViewTypes::Priv_Move(int aFromId, int aToId, int anIndex)
{
    if (anIndex < 0)
        return;
    AddListText(aToId, GetListText(aFromId, anIndex));
    UI_ListDelete(myDialog, aFromId, anIndex);
}

void CDlgViewTypes::Priv_UpdateFilters()
{
    bool locEnable = false;
    int locIndex = GetListSelection(IDC_VISIBLE);
    if (locIndex >= 0 && myTypeManager && myFilterManager)
    {
        VelkClass* locClass = dynamic_cast<VelkClass*>(myTypeManager->GetType(GetListText(IDC_VISIBLE, locIndex)));
        locEnable = locClass && !locClass->IsScriptClass();
    }
    Enable(IDC_FILTERS, locEnable);
}

void CDlgViewTypes::Priv_OpenFilters()
{
    int locIndex = GetListSelection(IDC_VISIBLE);
    if (locIndex < 0 || !myTypeManager || !myFilterManager)
        return;
    QC_String locName = GetListText(IDC_VISIBLE, locIndex);
    CDlgFilterList locFilters(myFilterManager->GetType(locName), myTypeManager->GetType(locName));
    locFilters.DoModal(this);
}

void CDlgViewTypes::OnCommand(int anId, int aNotifyCode)
{
    if (aNotifyCode == UI_LBN_DBLCLK && (anId == IDC_INVISIBLE || anId == IDC_VISIBLE))
    {
        int locOtherId = anId == IDC_INVISIBLE ? IDC_VISIBLE : IDC_INVISIBLE;
        Priv_Move(anId, locOtherId, GetListSelection(anId));
    }
    else if (aNotifyCode == UI_BN_CLICKED && (anId == IDC_VIEW_ALL || anId == IDC_HIDE_ALL))
    {
        int locFromId = anId == IDC_VIEW_ALL ? IDC_INVISIBLE : IDC_VISIBLE;
        int locToId = anId == IDC_VIEW_ALL ? IDC_VISIBLE : IDC_INVISIBLE;
        while (UI_ListGetCount(myDialog, locFromId) > 0)
            Priv_Move(locFromId, locToId, 0);
    }
    else if (aNotifyCode == UI_BN_CLICKED && (anId == IDC_UP || anId == IDC_DOWN))
        MoveListSelection(IDC_VISIBLE, anId == IDC_UP ? -1 : 1);
    else if (aNotifyCode == UI_BN_CLICKED && anId == IDC_FILTERS)
        Priv_OpenFilters();
    Priv_UpdateFilters();
}

void CDlgViewTypes::OnOK()
{
    GetListTexts(IDC_INVISIBLE, myInvisible);
    GetListTexts(IDC_VISIBLE, myVisible);
    EndDialog(UI_IDOK);
}

// --- CDlgIgnoreTypeInstance ---

namespace
{
const UI_ControlTemplate ourIgnoreInstanceControls[] = {
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Invalid Type", 7, 9, 60, 8, 0},
    {IDC_TYPE, UI_CONTROL_EDIT, nullptr, 70, 7, 150, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Instance Name", 7, 26, 60, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 70, 24, 150, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {CDlgIgnoreTypeInstance::IDC_TEXT1, UI_CONTROL_STATIC, "An unknown type was encountered during compilation.", 7,
     44, 270, 8, 0},
    {CDlgIgnoreTypeInstance::IDC_TEXT2, UI_CONTROL_STATIC,
     "You may either ignore this type entirely, or just this instance.", 7, 54, 270, 8, 0},
    {CDlgIgnoreTypeInstance::IDC_TEXT3, UI_CONTROL_STATIC, "Alternatively, select Cancel to abort compilation.", 7,
     64, 270, 8, 0},
    {CDlgIgnoreTypeInstance::IDC_IGNORE_TYPE, UI_CONTROL_RADIOBUTTON, "Ignore This Type", 7, 80, 100, 10,
     UI_STYLE_GROUP},
    {CDlgIgnoreTypeInstance::IDC_IGNORE_INSTANCE, UI_CONTROL_RADIOBUTTON, "Ignore This Instance", 7, 92, 100, 10, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 230, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 230, 24, 50, 14, 0},
};
const UI_DialogTemplate ourIgnoreInstanceTemplate = {
    162, "Ignore Type / Instance", 287, 109, DLG_FONT, ourIgnoreInstanceControls,
    int(sizeof(ourIgnoreInstanceControls) / sizeof(ourIgnoreInstanceControls[0]))};
} // namespace

bool CDlgIgnoreTypeInstance::ourIgnoreTypeFlag = true;

CDlgIgnoreTypeInstance::CDlgIgnoreTypeInstance() : CDlgBase(ourIgnoreInstanceTemplate)
{
}

void CDlgIgnoreTypeInstance::OnInitDialog()
{
    SetText(IDC_TYPE, myTypeName);
    SetText(IDC_NAME, myInstanceName);
    UI_CheckRadioButton(myDialog, IDC_IGNORE_TYPE, IDC_IGNORE_INSTANCE,
                        ourIgnoreTypeFlag ? IDC_IGNORE_TYPE : IDC_IGNORE_INSTANCE);
}

void CDlgIgnoreTypeInstance::OnOK()
{
    myIgnoreTypeFlag = UI_IsButtonChecked(myDialog, IDC_IGNORE_TYPE);
    ourIgnoreTypeFlag = myIgnoreTypeFlag;
    EndDialog(UI_IDOK);
}

// --- CDlgIgnoreTypeMember ---

namespace
{
const UI_ControlTemplate ourIgnoreMemberControls[] = {
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Type", 7, 9, 60, 8, 0},
    {IDC_TYPE, UI_CONTROL_EDIT, nullptr, 70, 7, 150, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Unknown Member", 7, 26, 60, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 70, 24, 150, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {CDlgIgnoreTypeMember::IDC_TEXT1, UI_CONTROL_STATIC,
     "An invalid member was encountered while compiling an instance of the", 7, 44, 270, 8, 0},
    {CDlgIgnoreTypeMember::IDC_TEXT2, UI_CONTROL_STATIC,
     "specific type. Press OK to ignore all future occurrances of this", 7, 54, 270, 8, 0},
    {CDlgIgnoreTypeMember::IDC_TEXT3, UI_CONTROL_STATIC, "member, or Cancel to abort compilation.", 7, 64, 270, 8, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 230, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 230, 24, 50, 14, 0},
};
const UI_DialogTemplate ourIgnoreMemberTemplate = {
    163, "Ignore Member Of Type", 287, 80, DLG_FONT, ourIgnoreMemberControls,
    int(sizeof(ourIgnoreMemberControls) / sizeof(ourIgnoreMemberControls[0]))};
} // namespace

CDlgIgnoreTypeMember::CDlgIgnoreTypeMember() : CDlgBase(ourIgnoreMemberTemplate)
{
}

void CDlgIgnoreTypeMember::OnInitDialog()
{
    SetText(IDC_TYPE, myTypeName);
    SetText(IDC_NAME, myMemberName);
}
