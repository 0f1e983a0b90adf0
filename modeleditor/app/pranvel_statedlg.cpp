// The state-name dialog and the set-active-state dialog.
#include "modeleditor/app/pranvel_statedlg.h"
#include "modeleditor/app/pranvel_resource.h"

#include "platform/ui/ui_prompt.h"

#include <cstring>
#include <string>

namespace
{
const UI_ControlTemplate ourStateNameControls[] = {
    {IDC_STATE_NAME_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 130, 120, UI_STYLE_BORDER | UI_STYLE_VSCROLL},
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 144, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 144, 24, 50, 14, 0},
};

const UI_ControlTemplate ourActiveStateControls[] = {
    {IDC_ACTIVE_STATE_LIST, UI_CONTROL_LISTBOX, nullptr, 7, 7, 146, 150,
     UI_STYLE_BORDER | UI_STYLE_VSCROLL | UI_STYLE_LB_NOTIFY | UI_STYLE_LB_NOINTEGRALHEIGHT},
};

// The state code as text: at most its first four characters.
QC_String locFourCharacters(const QC_String& aCode)
{
    return aCode.Left(aCode.GetLength() < 4 ? aCode.GetLength() : 4);
}
} // namespace

const UI_DialogTemplate CStateNameDlg::ourTemplate = {
    IDD_STATE_NAME, "State Name", 201, 134, "MS Shell Dlg", 8, ourStateNameControls, 3};

const UI_DialogTemplate CSetActiveStateDlg::ourTemplate = {
    IDD_SET_ACTIVE_STATE, "Set Active State", 160, 164, "MS Shell Dlg", 8, ourActiveStateControls, 1};

// --- CStateNameDlg ---

void CStateNameDlg::SetLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames)
{
    myCodes = aCodes;
    myNames = aNames;
}

intptr_t CStateNameDlg::DoModal(UI_Dialog* aParent)
{
    return UI_DoModal(ourTemplate, DialogProc, aParent, this);
}

intptr_t CStateNameDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CStateNameDlg* locThis = static_cast<CStateNameDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    if (aMessage.myKind == UI_MSG_INITDIALOG)
        locThis->OnInitDialog(aDialog);
    else if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == UI_IDOK)
        locThis->OnOK(aDialog);
    else if ((aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == UI_IDCANCEL) ||
             aMessage.myKind == UI_MSG_CLOSE)
        UI_EndDialog(aDialog, UI_IDCANCEL);
    return 0;
}

void CStateNameDlg::OnInitDialog(UI_Dialog* aDialog)
{
    UI_ListReset(aDialog, IDC_STATE_NAME_LIST);
    if (!myCodes || !myNames)
        return;
    for (int i = 0; i < myCodes->Count() && i < myNames->Count(); i++)
        UI_ListAdd(aDialog, IDC_STATE_NAME_LIST, (*myNames)[i]);
}

void CStateNameDlg::OnOK(UI_Dialog* aDialog)
{
    int locSelected = UI_ListGetCurSel(aDialog, IDC_STATE_NAME_LIST);
    if (locSelected < 0 || !myCodes || locSelected >= myCodes->Count())
    {
        UI_MessageBox(PRANVEL_CAPTION, "State name not defined. Choose an existing name!", OS_MB_OK);
        return;
    }
    const QC_String& locCode = (*myCodes)[locSelected];
    if (myCheckInUseFlag && myScene)
    {
        bool locInUse = false;
        for (int i = 0; i < myScene->GetNumUsedStates() && !locInUse; i++)
            locInUse = myScene->GetUsedState(i) == locCode;
        if (locInUse && UI_MessageBox(PRANVEL_CAPTION, "State name may be in use. Are you sure?", OS_MB_YESNO) !=
                            OS_ID_YES)
            return;
    }
    // Codes hold at least four characters (the state file pads short ones).
    QC_String locFour = locFourCharacters(locCode);
    memset(myCode, 0, sizeof(myCode));
    memcpy(myCode, locFour.GetBuffer(), size_t(locFour.GetLength()));
    UI_EndDialog(aDialog, UI_IDOK);
}

// --- CSetActiveStateDlg ---

CSetActiveStateDlg::~CSetActiveStateDlg()
{
    Destroy();
}

bool CSetActiveStateDlg::Create(PranvelScene* aScene, UI_Dialog* aParent)
{
    myScene = aScene;
    myDialog = UI_CreateDialog(ourTemplate, DialogProc, aParent);
    if (!myDialog)
        return false;
    UI_SetDialogUserData(myDialog, this);
    UI_SetDialogResizable(myDialog, true);
    // The scene tells its subscribers when another model is shown.
    if (myScene)
        myScene->GetPublisher()->Subscribe(0, this);
    return true;
}

void CSetActiveStateDlg::Destroy()
{
    // Only while the scene lives: the view deletes it before the frame goes.
    if (myScene && PranvelScene::ourInstance == myScene)
        myScene->GetPublisher()->Unsubscribe(this);
    myScene = nullptr;
    if (myDialog)
        UI_DestroyDialog(myDialog);
    myDialog = nullptr;
}

void CSetActiveStateDlg::SetLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames)
{
    myCodes = aCodes;
    myNames = aNames;
}

bool CSetActiveStateDlg::Receive(int aKey, QC_String)
{
    if (aKey == 0)
        UpdateList();
    return true;
}

void CSetActiveStateDlg::Show(bool aShowFlag)
{
    UI_ShowDialog(myDialog, aShowFlag);
}

bool CSetActiveStateDlg::IsVisible() const
{
    return UI_IsDialogVisible(myDialog);
}

intptr_t CSetActiveStateDlg::DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    CSetActiveStateDlg* locThis = static_cast<CSetActiveStateDlg*>(UI_GetDialogUserData(aDialog));
    if (!locThis)
        return 0;
    if (aMessage.myKind == UI_MSG_SIZE && UI_HasControl(aDialog, IDC_ACTIVE_STATE_LIST))
    {
        int x, y, w, h;
        UI_GetControlRect(aDialog, IDC_ACTIVE_STATE_LIST, &x, &y, &w, &h);
        int locWidth = aMessage.myWidth - 20;
        int locHeight = aMessage.myHeight - 20;
        UI_SetControlRect(aDialog, IDC_ACTIVE_STATE_LIST, x, y, locWidth > 0 ? locWidth : 0,
                          locHeight > 0 ? locHeight : 0);
    }
    else if (aMessage.myKind == UI_MSG_COMMAND && aMessage.myControlId == IDC_ACTIVE_STATE_LIST &&
             aMessage.myNotifyCode == UI_LBN_SELCHANGE)
        locThis->OnSelChange();
    else if (aMessage.myKind == UI_MSG_CLOSE)
        UI_ShowDialog(aDialog, false);
    return 0;
}

void CSetActiveStateDlg::UpdateList()
{
    if (!myDialog)
        return;
    UI_ListReset(myDialog, IDC_ACTIVE_STATE_LIST);
    if (!myScene)
        return;
    int locCount = (myCodes && myNames) ? std::min(myCodes->Count(), myNames->Count()) : 0;
    for (int u = 0; u < myScene->GetNumUsedStates(); u++)
    {
        QC_String locUsed = myScene->GetUsedState(u);
        bool locNamed = false;
        for (int i = 0; i < locCount; i++)
            if ((*myCodes)[i] == locUsed)
            {
                UI_ListAdd(myDialog, IDC_ACTIVE_STATE_LIST, (*myNames)[i]);
                locNamed = true;
            }
        if (!locNamed)
            UI_ListAdd(myDialog, IDC_ACTIVE_STATE_LIST, locUsed);
    }
    QC_String locActive = myScene->GetActiveState();
    bool locSelected = false;
    for (int i = 0; i < locCount; i++)
        if ((*myCodes)[i] == locActive)
            locSelected = UI_ListSelectString(myDialog, IDC_ACTIVE_STATE_LIST, -1, (*myNames)[i]) >= 0 || locSelected;
    if (!locSelected)
        UI_ListSelectString(myDialog, IDC_ACTIVE_STATE_LIST, -1, locActive);
}

void CSetActiveStateDlg::OnSelChange()
{
    int locSelected = UI_ListGetCurSel(myDialog, IDC_ACTIVE_STATE_LIST);
    std::string locText;
    if (!myScene || locSelected < 0 || !UI_ListGetText(myDialog, IDC_ACTIVE_STATE_LIST, locSelected, &locText))
        return;
    int locCount = (myCodes && myNames) ? std::min(myCodes->Count(), myNames->Count()) : 0;
    int locMatch = -1;
    for (int i = 0; i < locCount; i++)
        if ((*myNames)[i] == locText.c_str())
            locMatch = i;
    QC_String locCode;
    if (locMatch >= 0)
        locCode = locFourCharacters((*myCodes)[locMatch]);
    else
    {
        if (locText.size() > 4)
            return;
        locText.resize(4, ' ');
        locCode = locText.c_str();
    }
    myScene->SetActiveState(locCode);
}
