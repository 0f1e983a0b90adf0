// Dialogs that edit one member's value.
#include "owncode/dlg_edit.h"

#include <string>

#include "owncode/validatestring.h"
#include "platform/os/os_file.h"
#include "platform/ui/ui_prompt.h"
#include "qfile/qf_file.h"
#include "velk/velk_type.h"
#include "velkeditor/velk_typeconstraint.h"
#include "velkeditor/velk_uitext.h"

void ShowInvalidPath(const char* aPath, const char* aBaseDirectory)
{
    QC_String locText;
    locText.Format("Invalid path '%s'\nMust be child of base directory '%s'", aPath, aBaseDirectory);
    UI_MessageBox("Invalid Path", locText, OS_MB_OK);
}

namespace
{
// A NUMBER or DECIMAL value must be a number: the box names the member, and the
// dialog stays open with the value as it stands.
bool locAcceptValue(const QC_String& aTypeName, const QC_String& aName, const QC_String& aValue)
{
    if (Velk_IsNumberValue(aTypeName, aValue.GetBuffer()))
        return true;
    QC_String locText;
    locText.Format("'%s' is not a value of the %s '%s': it takes %s.", aValue.GetBuffer(), aTypeName.GetBuffer(),
                   aName.GetBuffer(), Velk_NumberHint(aTypeName));
    UI_MessageBox("Invalid Value", VelkText_ToUI(locText).c_str(), OS_MB_OK | OS_MB_ICONWARNING);
    return false;
}
} // namespace

// --- CDlgEdit ---

namespace
{
const UI_ControlTemplate ourEditControls[] = {
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Type", 7, 9, 30, 8, 0},
    {IDC_TYPE, UI_CONTROL_EDIT, nullptr, 40, 7, 160, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 26, 30, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 40, 24, 160, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_VALUE_LABEL, UI_CONTROL_STATIC, "Value", 7, 43, 30, 8, 0},
    {IDC_VALUE, UI_CONTROL_EDIT, nullptr, 40, 41, 160, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 210, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 210, 24, 50, 14, 0},
};
const UI_DialogTemplate ourEditTemplate = {140, "Edit Free", 267, 60, DLG_FONT, ourEditControls,
                                           int(sizeof(ourEditControls) / sizeof(ourEditControls[0]))};

// Type and name shown above a list of values.
#define DLG_LIST_CONTROLS(aListLabel)                                                                         \
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Type", 7, 9, 30, 8, 0},                                                \
        {IDC_TYPE, UI_CONTROL_EDIT, nullptr, 40, 7, 160, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},              \
        {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 26, 30, 8, 0},                                           \
        {IDC_NAME, UI_CONTROL_EDIT, nullptr, 40, 24, 160, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},             \
        {IDC_LIST_LABEL, UI_CONTROL_STATIC, aListLabel, 7, 42, 60, 8, 0},                                       \
        {IDC_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 52, 193, 110, UI_STYLE_BORDER | UI_STYLE_VSCROLL},           \
        {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 210, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},                        \
        {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 210, 24, 50, 14, 0}

const UI_ControlTemplate ourValueListControls[] = {DLG_LIST_CONTROLS("Value")};
const UI_ControlTemplate ourInstanceListControls[] = {DLG_LIST_CONTROLS("Instances")};
#undef DLG_LIST_CONTROLS
const int ourNumListControls = int(sizeof(ourValueListControls) / sizeof(ourValueListControls[0]));
const UI_DialogTemplate ourEditTypeTemplate = {141, "Edit Type", 267, 169, DLG_FONT, ourValueListControls,
                                               ourNumListControls};
const UI_DialogTemplate ourEditRefTemplate = {142, "Edit Ref", 267, 169, DLG_FONT, ourInstanceListControls,
                                              ourNumListControls};
const UI_DialogTemplate ourEditConstrainedTemplate = {143, "Edit Constrained", 267, 169, DLG_FONT,
                                                      ourValueListControls, ourNumListControls};
} // namespace

CDlgEdit::CDlgEdit() : CDlgBase(ourEditTemplate)
{
}

void CDlgEdit::OnInitDialog()
{
    SetText(IDC_TYPE, myTypeName);
    SetText(IDC_NAME, myName);
    SetText(IDC_VALUE, myValue);
}

void CDlgEdit::OnOK()
{
    QC_String locValue;
    if (!TakeText(IDC_VALUE, locValue) || !locAcceptValue(myTypeName, myName, locValue))
        return;
    myValue = locValue;
    EndDialog(UI_IDOK);
}

// --- list-based editors ---

CDlgEditList::CDlgEditList(const UI_DialogTemplate& aTemplate, bool aFirstWhenAbsentFlag)
    : CDlgBase(aTemplate), myFirstWhenAbsentFlag(aFirstWhenAbsentFlag)
{
}

void CDlgEditList::OnInitDialog()
{
    SetText(IDC_TYPE, myTypeName);
    SetText(IDC_NAME, myName);
    FillList(IDC_LIST, myValues);
    int locIndex = FindListEntry(IDC_LIST, myValue);
    if (locIndex < 0 && myFirstWhenAbsentFlag && myValues.myCount > 0)
        locIndex = 0;
    SelectListEntry(IDC_LIST, locIndex);
}

void CDlgEditList::OnOK()
{
    int locIndex = GetListSelection(IDC_LIST);
    if (locIndex >= 0)
    {
        const QC_String locValue = GetListText(IDC_LIST, locIndex);
        if (!locAcceptValue(myTypeName, myName, locValue))
            return;
        myValue = locValue;
    }
    EndDialog(UI_IDOK);
}

CDlgEditType::CDlgEditType() : CDlgEditList(ourEditTypeTemplate, false)
{
}

CDlgEditRef::CDlgEditRef() : CDlgEditList(ourEditRefTemplate, false)
{
}

void CDlgEditRef::OnInitDialog()
{
    myValues.AddFirst(QC_String(VELK_NULL));
    CDlgEditList::OnInitDialog();
    myValues.RemoveLink(myValues.myFirstLink);
}

CDlgEditConstrained::CDlgEditConstrained(VelkTypeConstraint* aConstraint, const char* aTypeName, const char* aName,
                                         const char* aValue)
    : CDlgEditList(ourEditConstrainedTemplate, true)
{
    myTypeName = aTypeName;
    myName = aName;
    myValue = aValue;
    if (aConstraint)
        myValues = aConstraint->GetValues();
}

// --- CDlgEditFile ---

namespace
{
const UI_ControlTemplate ourEditFileControls[] = {
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Type", 7, 9, 30, 8, 0},
    {IDC_TYPE, UI_CONTROL_EDIT, nullptr, 40, 7, 200, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 26, 30, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 40, 24, 200, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_VALUE_LABEL, UI_CONTROL_STATIC, "Value", 7, 43, 30, 8, 0},
    {IDC_VALUE, UI_CONTROL_EDIT, nullptr, 40, 41, 200, 12, UI_STYLE_BORDER},
    {CDlgEditFile::IDC_BROWSE, UI_CONTROL_PUSHBUTTON, "Browse", 250, 40, 50, 14, 0},
    {CDlgEditFile::IDC_STATUS, UI_CONTROL_STATIC, "", 40, 58, 200, 8, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 250, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 250, 24, 50, 14, 0},
};
const UI_DialogTemplate ourEditFileTemplate = {144, "Edit File", 307, 73, DLG_FONT, ourEditFileControls,
                                               int(sizeof(ourEditFileControls) / sizeof(ourEditFileControls[0]))};
} // namespace

CDlgEditFile::CDlgEditFile() : CDlgBase(ourEditFileTemplate)
{
}

void CDlgEditFile::OnInitDialog()
{
    SetText(IDC_TYPE, myTypeName);
    SetText(IDC_NAME, myName);
    SetText(IDC_VALUE, myValue);
    Priv_UpdateStatus();
}

void CDlgEditFile::OnCommand(int anId, int aNotifyCode)
{
    if (anId == IDC_VALUE && aNotifyCode == UI_EN_CHANGE)
        Priv_UpdateStatus();
    else if (anId == IDC_BROWSE && aNotifyCode == UI_BN_CLICKED)
        Priv_Browse();
}

void CDlgEditFile::Priv_UpdateStatus()
{
    // Through the file library: archives, and names written on Windows in another case.
    // The stored value is the Latin-1 name (the game's); a name made here is
    // UTF-8, so the text as shown is looked for too.
    std::string locShown;
    UI_GetControlText(myDialog, IDC_VALUE, &locShown);
    QC_String locValue;
    bool locFits = GetText(IDC_VALUE, locValue);
    bool locOk = locShown.empty() || locShown == VELK_EMPTY || QF_File::Exists(locShown.c_str()) ||
                 (locFits && QF_File::Exists(locValue));
    SetText(IDC_STATUS, locOk ? "ok" : "DOES NOT EXIST!");
    Enable(UI_IDOK, locOk);
}

void CDlgEditFile::Priv_Browse()
{
    UI_FileDialogRequest locRequest;
    locRequest.myKind = UI_FILEDIALOG_OPEN;
    locRequest.myTitle = "Browse For File";
    locRequest.myInitialDirectory = myBaseDirectory.GetBuffer();
    UI_FileFilter locFilter;
    if (myExtension.IsEmpty())
    {
        locFilter.myText = "All files (*.*)";
        locFilter.myPattern = "*.*";
    }
    else
    {
        QC_String locUpper = myExtension;
        locUpper.MakeUpper();
        QC_String locText;
        locText.Format("%s files (*.%s)", locUpper.GetBuffer(), myExtension.GetBuffer());
        locFilter.myText = locText.GetBuffer();
        locFilter.myPattern = std::string("*.") + myExtension.GetBuffer();
    }
    locRequest.myFilters.push_back(locFilter);
    UI_FileDialogResult locResult;
    if (!UI_FileDialog(locRequest, &locResult))
    {
        OS_SetCurrentDirectory(myBaseDirectory);
        return;
    }
    // A file name as the system gives it, shown as it stands.
    std::string locPath = locResult.GetPath(0);
    QC_String locRelative;
    UI_SetControlText(myDialog, IDC_VALUE,
                      ValidateString(myBaseDirectory, locPath.c_str(), locRelative) ? locRelative.GetBuffer()
                                                                                    : locPath.c_str());
}

void CDlgEditFile::OnOK()
{
    // The base directory is a system path (UTF-8): compared with the text as shown.
    std::string locShown;
    UI_GetControlText(myDialog, IDC_VALUE, &locShown);
    QC_String locRelative;
    if (!ValidateString(myBaseDirectory, locShown.c_str(), locRelative))
    {
        ShowInvalidPath(locShown.c_str(), myBaseDirectory);
        return;
    }
    std::string locWhy;
    QC_String locValue;
    if (!VelkText_FromUI(locRelative.GetBuffer(), locValue, &locWhy))
    {
        UI_MessageBox("Invalid Text", locWhy.c_str(), OS_MB_OK | OS_MB_ICONWARNING);
        return;
    }
    myValue = locValue;
    EndDialog(UI_IDOK);
}
