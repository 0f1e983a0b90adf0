// Dialogs that name instances.
#include "owncode/dlg_instance.h"

#include "platform/ui/ui_prompt.h"
#include "tez/tez_loc.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_uitext.h"

#include <cstring>
#include <vector>

// --- names the .tez conversion takes ---

namespace
{
// The paths below anObject of the LOCTEXT texts it holds, each "" or
// ".member..." as the converter walks them (not through references).
void locLocTextPaths(const VelkType* anObject, const std::string& aPath, std::vector<std::string>& anOut)
{
    if (anObject->GetTypeName() == "LOCTEXT")
        anOut.push_back(aPath);
    if (anObject->IsReference())
        return;
    for (const VelkType* locMember : anObject->GetMemberView())
        locLocTextPaths(locMember, aPath + "." + locMember->GetName().GetBuffer(), anOut);
}

std::string locKey(const char* aParentPath, const char* aName, const std::string& aPath)
{
    std::string locKey = aParentPath && aParentPath[0] ? std::string(aParentPath) + "." : std::string();
    return locKey + aName + aPath;
}

bool locKeyFits(const std::string& aKey, size_t* anAt = nullptr)
{
    return Tez_CheckLocKey(aKey.data(), aKey.size(), anAt) == TEZ_LOC_KEY_OK;
}
} // namespace

bool Dlg_NameConverts(const VelkType* anObject, const char* aParentPath, const char* aName, std::string* aWhy)
{
    if (!anObject || !aName)
        return true;
    std::vector<std::string> locPaths;
    locLocTextPaths(anObject, "", locPaths);
    for (const std::string& locPath : locPaths)
    {
        const std::string locWith = locKey(aParentPath, aName, locPath);
        size_t locAt = 0;
        // A one-letter name stands for one that is not to blame.
        if (locKeyFits(locWith, &locAt) || !locKeyFits(locKey(aParentPath, "x", locPath)))
            continue;
        if (!aWhy)
            return false;
        const std::string locShownKey = VelkText_ToUI(locWith.c_str());
        const TezLocKeyFault locFault = Tez_CheckLocKey(locWith.data(), locWith.size());
        if (locFault == TEZ_LOC_KEY_TOO_LONG)
            *aWhy = "The name is too long here: the key of the LOCTEXT text it would hold, '" + locShownKey +
                    "', would be " + std::to_string(locWith.size()) + " characters long, and the .tez conversion "
                    "takes keys of at most " + std::to_string(TEZ_LOC_MAX_KEY) + ".";
        else if (locFault == TEZ_LOC_KEY_NOT_ASCII)
            *aWhy = "'" + VelkText_ToUI(std::string(1, locWith[locAt]).c_str()) +
                    "' cannot be in this name: it would be in the key of the LOCTEXT text '" + locShownKey +
                    "', and the .tez conversion takes only ASCII characters (below 128) in keys.";
        else
            *aWhy = "\"//\" cannot be in this name: it would be in the key of the LOCTEXT text '" + locShownKey +
                    "', where the .loc file would read it as the start of a comment, so the .tez conversion refuses "
                    "it.";
        return false;
    }
    return true;
}

QC_String Dlg_PathOf(const VelkType* anObject)
{
    std::string locPath;
    for (const VelkType* locAt = anObject; locAt; locAt = locAt->GetParent())
        locPath = locPath.empty() ? std::string(locAt->GetName().GetBuffer())
                                  : std::string(locAt->GetName().GetBuffer()) + "." + locPath;
    return QC_String(locPath.c_str());
}

namespace
{
// Refused with the reason in a message box; the dialog stays open.
bool locTakesName(const VelkType* anObject, const char* aParentPath, const char* aName)
{
    std::string locWhy;
    if (Dlg_NameConverts(anObject, aParentPath, aName, &locWhy))
        return true;
    UI_MessageBox("Invalid Name", locWhy.c_str(), OS_MB_OK | OS_MB_ICONWARNING);
    return false;
}
} // namespace

// --- CDlgInstance ---

namespace
{
const UI_ControlTemplate ourInstanceControls[] = {
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Type", 7, 7, 60, 8, 0},
    {IDC_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 18, 160, 100, UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_NOTIFY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 124, 60, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 7, 134, 160, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 177, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 177, 24, 50, 14, 0},
};
const UI_DialogTemplate ourInstanceTemplate = {
    130, "Create Instance", 234, 153, DLG_FONT, ourInstanceControls,
    int(sizeof(ourInstanceControls) / sizeof(ourInstanceControls[0]))};
} // namespace

CDlgTypeAndName::CDlgTypeAndName(const UI_DialogTemplate& aTemplate, int& aLastTypeIndex, const char* aMadeUpName)
    : CDlgBase(aTemplate), myLastTypeIndex(aLastTypeIndex), myMadeUpName(aMadeUpName)
{
}

void CDlgTypeAndName::OnInitDialog()
{
    FillList(IDC_LIST, myTypes);
    if (myTypes.myCount > 0)
        SelectListEntry(IDC_LIST, myLastTypeIndex < myTypes.myCount ? myLastTypeIndex : 0);
    SetText(IDC_NAME, myName);
    Priv_UpdateOK();
}

void CDlgTypeAndName::OnCommand(int anId, int aNotifyCode)
{
    if ((anId == IDC_NAME && aNotifyCode == UI_EN_CHANGE) || (anId == IDC_LIST && aNotifyCode == UI_LBN_SELCHANGE))
        Priv_UpdateOK();
}

void CDlgTypeAndName::Priv_UpdateOK()
{
    // A name Velk text cannot hold leaves OK enabled: OK tells why it refuses it.
    QC_String locName;
    bool locFits = GetText(IDC_NAME, locName);
    Enable(UI_IDOK, GetListSelection(IDC_LIST) >= 0 && (!locFits || IsNameText(locName)));
}

void CDlgTypeAndName::OnOK()
{
    int locIndex = GetListSelection(IDC_LIST);
    QC_String locTypeName = GetListText(IDC_LIST, locIndex);
    QC_String locName;
    GetText(IDC_NAME, locName);
    if (myTypeManager)
    {
        // An empty name is made up from the type's.
        QC_String locTaken = locName;
        if (locTaken.IsEmpty())
            locTaken.Format(myMadeUpName, locTypeName.GetBuffer());
        if (!locTakesName(myTypeManager->GetType(locTypeName), myParentPath, locTaken))
            return;
    }
    myTypeName = locTypeName;
    myName = locName;
    myLastTypeIndex = locIndex;
    EndDialog(UI_IDOK);
}

int CDlgInstance::ourLastTypeIndex = 0;

// AppFacade::NewInstance numbers a name made up from the type's from 0.
CDlgInstance::CDlgInstance() : CDlgTypeAndName(ourInstanceTemplate, ourLastTypeIndex, "%s0")
{
    myName = "NewInstance";
}

// --- CDlgCopyInstance, CDlgRenameInstance ---

namespace
{
const UI_ControlTemplate ourNameControls[] = {
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Type", 7, 9, 30, 8, 0},
    {IDC_TYPE, UI_CONTROL_EDIT, nullptr, 40, 7, 130, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 26, 30, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 40, 24, 130, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 180, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 180, 24, 50, 14, 0},
};
const UI_DialogTemplate ourCopyTemplate = {131, "Copy Instance", 237, 44, DLG_FONT, ourNameControls,
                                           int(sizeof(ourNameControls) / sizeof(ourNameControls[0]))};
const UI_DialogTemplate ourRenameTemplate = {132, "Rename Instance", 237, 44, DLG_FONT, ourNameControls,
                                             int(sizeof(ourNameControls) / sizeof(ourNameControls[0]))};
} // namespace

CDlgNameInstance::CDlgNameInstance(const UI_DialogTemplate& aTemplate) : CDlgBase(aTemplate)
{
}

void CDlgNameInstance::OnInitDialog()
{
    SetText(IDC_TYPE, myTypeName);
    SetText(IDC_NAME, myName);
    OnCommand(IDC_NAME, UI_EN_CHANGE);
}

void CDlgNameInstance::OnCommand(int anId, int aNotifyCode)
{
    if (anId == IDC_NAME && aNotifyCode == UI_EN_CHANGE)
    {
        QC_String locName;
        bool locFits = GetText(IDC_NAME, locName);
        Enable(UI_IDOK, !locFits || (!locName.IsEmpty() && IsNameText(locName)));
    }
}

void CDlgNameInstance::OnOK()
{
    QC_String locName;
    GetText(IDC_NAME, locName);
    if (!locTakesName(myObject, myParentPath, locName))
        return;
    myName = locName;
    EndDialog(UI_IDOK);
}

CDlgCopyInstance::CDlgCopyInstance() : CDlgNameInstance(ourCopyTemplate)
{
}

CDlgRenameInstance::CDlgRenameInstance() : CDlgNameInstance(ourRenameTemplate)
{
}

// --- CDlgAddScriptClassContent ---

namespace
{
const UI_ControlTemplate ourAddContentControls[] = {
    {IDC_LIST_LABEL, UI_CONTROL_STATIC, "Valid Contents", 7, 7, 80, 8, 0},
    {IDC_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 18, 160, 90, UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_NOTIFY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 114, 60, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 7, 124, 160, 12, UI_STYLE_BORDER},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 177, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 177, 24, 50, 14, 0},
};
const UI_DialogTemplate ourAddContentTemplate = {
    133, "Add ScriptClass Content", 234, 143, DLG_FONT, ourAddContentControls,
    int(sizeof(ourAddContentControls) / sizeof(ourAddContentControls[0]))};
} // namespace

int CDlgAddScriptClassContent::ourLastTypeIndex = 0;

CDlgAddScriptClassContent::CDlgAddScriptClassContent()
    : CDlgTypeAndName(ourAddContentTemplate, ourLastTypeIndex, "%s(0)")
{
}

// --- CDlgEditScriptClass ---

namespace
{
const UI_ControlTemplate ourScriptClassControls[] = {
    {IDC_TYPE_LABEL, UI_CONTROL_STATIC, "Type", 7, 9, 30, 8, 0},
    {IDC_TYPE, UI_CONTROL_EDIT, nullptr, 40, 7, 160, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_NAME_LABEL, UI_CONTROL_STATIC, "Name", 7, 26, 30, 8, 0},
    {IDC_NAME, UI_CONTROL_EDIT, nullptr, 40, 24, 160, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {IDC_LIST_LABEL, UI_CONTROL_STATIC, "Contents", 7, 42, 60, 8, 0},
    {IDC_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 52, 193, 120, UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_NOTIFY},
    {CDlgEditScriptClass::IDC_MOVE_UP, UI_CONTROL_PUSHBUTTON, "Move Up", 210, 52, 50, 14, 0},
    {CDlgEditScriptClass::IDC_MOVE_DOWN, UI_CONTROL_PUSHBUTTON, "Move Down", 210, 69, 50, 14, 0},
    {CDlgEditScriptClass::IDC_ADD, UI_CONTROL_PUSHBUTTON, "Add", 210, 86, 50, 14, 0},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 210, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 210, 24, 50, 14, 0},
};
const UI_DialogTemplate ourScriptClassTemplate = {
    134, "Edit ScriptClass", 267, 179, DLG_FONT, ourScriptClassControls,
    int(sizeof(ourScriptClassControls) / sizeof(ourScriptClassControls[0]))};

bool locHasLine(const QC_List<QC_String>& aLines, const QC_String& aLine)
{
    for (const QC_List<QC_String>::Link* locLink = aLines.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem == aLine)
            return true;
    return false;
}
} // namespace

CDlgEditScriptClass::CDlgEditScriptClass(VelkType* anInstance) : CDlgBase(ourScriptClassTemplate)
{
    if (!anInstance)
        return;
    myTypeName = anInstance->GetTypeName();
    myName = anInstance->GetName();
    myPath = Dlg_PathOf(anInstance);
    anInstance->GetLegalValues(myLegalTypes);
    QC_List<VelkType*>& locMembers = anInstance->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
    {
        QC_String locLine;
        locLine.Format("%s %s", locLink->myItem->GetTypeName().GetBuffer(), locLink->myItem->GetName().GetBuffer());
        myLines.Add(locLine);
    }
}

QC_String CDlgEditScriptClass::MakeUniqueName(const QC_List<QC_String>& aLines, const char* aTypeName)
{
    QC_String locName;
    QC_String locLine;
    for (int locNumber = 0;; locNumber++)
    {
        locName.Format(VELK_MEMBER_NAME_PATTERN, aTypeName, locNumber);
        locLine.Format("%s %s", aTypeName, locName.GetBuffer());
        if (!locHasLine(aLines, locLine))
            return locName;
    }
}

void CDlgEditScriptClass::OnInitDialog()
{
    SetText(IDC_TYPE, myTypeName);
    SetText(IDC_NAME, myName);
    FillList(IDC_LIST, myLines);
}

void CDlgEditScriptClass::OnCommand(int anId, int aNotifyCode)
{
    if (aNotifyCode != UI_BN_CLICKED)
        return;
    if (anId == IDC_MOVE_UP)
        MoveListSelection(IDC_LIST, -1);
    else if (anId == IDC_MOVE_DOWN)
        MoveListSelection(IDC_LIST, 1);
    else if (anId == IDC_ADD)
        Priv_Add();
}

void CDlgEditScriptClass::Priv_Add()
{
    CDlgAddScriptClassContent locAdd;
    locAdd.myTypes = myLegalTypes;
    locAdd.myTypeManager = myTypeManager;
    locAdd.myParentPath = myPath;
    if (locAdd.DoModal(this) != UI_IDOK)
        return;
    QC_List<QC_String> locLines;
    GetListTexts(IDC_LIST, locLines);
    QC_String locName = locAdd.myName;
    if (locName.IsEmpty())
        locName = MakeUniqueName(locLines, locAdd.myTypeName);
    QC_String locLine;
    locLine.Format("%s %s", locAdd.myTypeName.GetBuffer(), locName.GetBuffer());
    int locIndex = AddListText(IDC_LIST, locLine);
    SelectListEntry(IDC_LIST, locIndex);
}

void CDlgEditScriptClass::OnOK()
{
    GetListTexts(IDC_LIST, myLines);
    myContentTypes.RemoveAll();
    myContentNames.RemoveAll();
    for (QC_List<QC_String>::Link* locLink = myLines.myFirstLink; locLink; locLink = locLink->myNext)
    {
        const QC_String& locLine = locLink->myItem;
        int locBlank = locLine.Find(' ');
        if (locBlank < 0)
        {
            myContentTypes.Add(locLine);
            myContentNames.Add(QC_String());
            continue;
        }
        myContentTypes.Add(locLine.Left(locBlank));
        myContentNames.Add(locLine.Right(locLine.GetLength() - locBlank - 1));
    }
    EndDialog(UI_IDOK);
}
