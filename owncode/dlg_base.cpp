// The common part of the editor's modal dialogs.
#include "owncode/dlg_base.h"

#include "platform/ui/ui_prompt.h"
#include "velkeditor/velk_uitext.h"

#include <string>
#include <utility>
#include <vector>

CDlgBase::CDlgBase(const UI_DialogTemplate& aTemplate) : myTemplate(aTemplate)
{
}

CDlgBase::~CDlgBase() = default;

bool CDlgBase::IsNameText(const char* aText)
{
    for (const unsigned char* locChar = reinterpret_cast<const unsigned char*>(aText ? aText : ""); *locChar;
         locChar++)
        if (*locChar < 33 || *locChar == '=' || (locChar[0] == '/' && locChar[1] == '/'))
            return false;
    return true;
}

int CDlgBase::DoModal(CDlgBase* aParent)
{
    intptr_t locResult = UI_DoModal(myTemplate, Priv_Proc, aParent ? aParent->myDialog : nullptr, this);
    myDialog = nullptr;
    return locResult == UI_IDOK ? UI_IDOK : UI_IDCANCEL;
}

intptr_t CDlgBase::Priv_Proc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CDlgBase* locThis = static_cast<CDlgBase*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    switch (aMessage.myKind)
    {
    case UI_MSG_INITDIALOG:
        locThis->myDialog = aDialog;
        locThis->OnInitDialog();
        return 1;
    case UI_MSG_COMMAND:
        if (aMessage.myControlId == UI_IDOK && aMessage.myNotifyCode == UI_BN_CLICKED)
        {
            // Enter does nothing while the OK button is disabled.
            if ((!UI_HasControl(aDialog, UI_IDOK) || UI_IsControlEnabled(aDialog, UI_IDOK)) &&
                locThis->TextsFit())
                locThis->OnOK();
        }
        else if (aMessage.myControlId == UI_IDCANCEL && aMessage.myNotifyCode == UI_BN_CLICKED)
            locThis->OnCancel();
        else
            locThis->OnCommand(aMessage.myControlId, aMessage.myNotifyCode);
        return 1;
    case UI_MSG_CLOSE:
        locThis->OnCancel();
        return 1;
    case UI_MSG_DESTROY:
        locThis->myDialog = nullptr;
        return 1;
    default:
        return 0;
    }
}

void CDlgBase::OnOK()
{
    EndDialog(UI_IDOK);
}

void CDlgBase::OnCancel()
{
    EndDialog(UI_IDCANCEL);
}

void CDlgBase::EndDialog(int aResult)
{
    UI_EndDialog(myDialog, aResult);
}

bool CDlgBase::GetText(int anId, QC_String& anOut) const
{
    std::string locText;
    UI_GetControlText(myDialog, anId, &locText);
    if (VelkText_FromUI(locText, anOut))
        return true;
    anOut = "";
    return false;
}

bool CDlgBase::TakeText(int anId, QC_String& anOut)
{
    std::string locText;
    UI_GetControlText(myDialog, anId, &locText);
    std::string locWhy;
    if (VelkText_FromUI(locText, anOut, &locWhy))
        return true;
    UI_MessageBox("Invalid Text", locWhy.c_str(), OS_MB_OK | OS_MB_ICONWARNING);
    anOut = "";
    return false;
}

bool CDlgBase::TextsFit()
{
    for (int i = 0; i < myTemplate.myNumControls; i++)
    {
        const UI_ControlTemplate& locControl = myTemplate.myControls[i];
        QC_String locText;
        if (locControl.myKind == UI_CONTROL_EDIT && !(locControl.myStyle & UI_STYLE_READONLY) &&
            UI_HasControl(myDialog, locControl.myId) && !TakeText(locControl.myId, locText))
            return false;
    }
    return true;
}

void CDlgBase::SetText(int anId, const char* aText)
{
    UI_SetControlText(myDialog, anId, VelkText_ToUI(aText).c_str());
}

void CDlgBase::Enable(int anId, bool anEnableFlag)
{
    UI_EnableControl(myDialog, anId, anEnableFlag);
}

void CDlgBase::FillList(int anId, const QC_List<QC_String>& aTexts)
{
    UI_ListReset(myDialog, anId);
    for (const QC_List<QC_String>::Link* locLink = aTexts.myFirstLink; locLink; locLink = locLink->myNext)
        AddListText(anId, locLink->myItem);
}

int CDlgBase::AddListText(int anId, const char* aText)
{
    return UI_ListAdd(myDialog, anId, VelkText_ToUI(aText).c_str());
}

void CDlgBase::GetListTexts(int anId, QC_List<QC_String>& anOut) const
{
    anOut.RemoveAll();
    int locCount = UI_ListGetCount(myDialog, anId);
    for (int i = 0; i < locCount; i++)
        anOut.Add(GetListText(anId, i));
}

QC_String CDlgBase::GetListText(int anId, int anIndex) const
{
    // Lists hold only what AddListText put there, so this never refuses.
    std::string locText;
    UI_ListGetText(myDialog, anId, anIndex, &locText);
    QC_String locVelkText;
    VelkText_FromUI(locText, locVelkText);
    return locVelkText;
}

int CDlgBase::GetListSelection(int anId) const
{
    return UI_ListGetCurSel(myDialog, anId);
}

void CDlgBase::SelectListEntry(int anId, int anIndex)
{
    UI_ListSetSel(myDialog, anId, anIndex < 0 ? -1 : anIndex, anIndex >= 0);
}

int CDlgBase::FindListEntry(int anId, const char* aText) const
{
    int locCount = UI_ListGetCount(myDialog, anId);
    for (int i = 0; i < locCount; i++)
        if (GetListText(anId, i) == aText)
            return i;
    return -1;
}

void CDlgBase::MoveListSelection(int anId, int aDelta)
{
    int locIndex = GetListSelection(anId);
    int locOther = locIndex + aDelta;
    int locCount = UI_ListGetCount(myDialog, anId);
    if (locIndex < 0 || locOther < 0 || locOther >= locCount)
        return;
    std::vector<QC_String> locTexts;
    for (int i = 0; i < locCount; i++)
        locTexts.push_back(GetListText(anId, i));
    std::swap(locTexts[locIndex], locTexts[locOther]);
    UI_ListReset(myDialog, anId);
    for (const QC_String& locText : locTexts)
        AddListText(anId, locText);
    SelectListEntry(anId, locOther);
}
