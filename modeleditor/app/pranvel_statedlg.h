// The two state dialogs: CStateNameDlg asks, modally, for the state a new
// state gets; CSetActiveStateDlg lists the states the model uses and applies
// the one selected. Both show the state file's names for the 4-character codes.
#pragma once

#include "modeleditor/app/pranvel_scene.h"
#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_string.h"

class CStateNameDlg
{
public:
    void SetLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames);
    void SetCheckInUse(bool aCheckFlag) { myCheckInUseFlag = aCheckFlag; }
    void SetScene(PranvelScene* aScene) { myScene = aScene; }
    // UI_IDOK when a state was chosen.
    intptr_t DoModal(UI_Dialog* aParent);
    const char* GetCode() const { return myCode; }

    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnInitDialog(UI_Dialog* aDialog);
    void OnOK(UI_Dialog* aDialog);

    char myCode[5] = {0, 0, 0, 0, 0};
    QC_GrowingArray<QC_String>* myCodes = nullptr;
    QC_GrowingArray<QC_String>* myNames = nullptr;
    bool myCheckInUseFlag = true;
    PranvelScene* myScene = nullptr;
};

class CSetActiveStateDlg : public QC_Subscriber<int, QC_String>
{
public:
    ~CSetActiveStateDlg() override;
    // The modeless dialog, hidden; subscribes to the scene under key 0.
    bool Create(PranvelScene* aScene, UI_Dialog* aParent);
    void Destroy();
    void SetLists(QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames);
    void UpdateList();
    void Show(bool aShowFlag);
    bool IsVisible() const;
    UI_Dialog* GetDialog() const { return myDialog; }
    bool Receive(int aKey, QC_String aValue) override;

    static const UI_DialogTemplate ourTemplate;

private:
    static intptr_t DialogProc(UI_Dialog* aDialog, const UI_Message& aMessage);
    void OnSelChange();

    UI_Dialog* myDialog = nullptr;
    PranvelScene* myScene = nullptr;
    QC_GrowingArray<QC_String>* myCodes = nullptr;
    QC_GrowingArray<QC_String>* myNames = nullptr;
};
