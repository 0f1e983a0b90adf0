// The common part of the editor's modal dialogs: a control table run through
// platform/ui, with the handlers the dialog classes fill in.
#pragma once

#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"

class CDlgBase
{
public:
    explicit CDlgBase(const UI_DialogTemplate& aTemplate);
    virtual ~CDlgBase();
    CDlgBase(const CDlgBase&) = delete;
    CDlgBase& operator=(const CDlgBase&) = delete;

    // Runs the dialog modally over its parent (or none); UI_IDOK or UI_IDCANCEL.
    int DoModal(CDlgBase* aParent = nullptr);
    // The dialog while it runs, else null.
    UI_Dialog* GetDialog() const { return myDialog; }

    // A name that the saved file reads back as one word: nothing below 33, no
    // '=' and no "//" (the rest of the line would be a comment).
    static bool IsNameText(const char* aText);

protected:
    // Fills the controls from the fields.
    virtual void OnInitDialog() {}
    virtual void OnCommand(int anId, int aNotifyCode) {}
    // Copy the controls back into the fields, then EndDialog; a dialog that
    // refuses its contents stays open by not ending.
    virtual void OnOK();
    virtual void OnCancel();
    // Before OnOK: true when every edit the user may change holds Velk text;
    // else the first that does not is told in a message box and the dialog
    // stays open.
    virtual bool TextsFit();
    void EndDialog(int aResult);

    // The texts of edits and lists are Velk text (Latin-1, see velk_uitext.h).
    // False when the control holds a character Velk text cannot: anOut is then
    // empty. OK never reaches OnOK while an edit the user may change holds one.
    bool GetText(int anId, QC_String& anOut) const;
    // The same, but a refused text is told in a message box first.
    bool TakeText(int anId, QC_String& anOut);
    void SetText(int anId, const char* aText);
    void Enable(int anId, bool anEnableFlag);
    void FillList(int anId, const QC_List<QC_String>& aTexts);
    // Appended at the end; its index.
    int AddListText(int anId, const char* aText);
    void GetListTexts(int anId, QC_List<QC_String>& anOut) const;
    QC_String GetListText(int anId, int anIndex) const;
    int GetListSelection(int anId) const;
    void SelectListEntry(int anId, int anIndex);
    // Swaps the selected entry with its neighbour aDelta away and keeps it
    // selected; nothing happens at the ends.
    void MoveListSelection(int anId, int aDelta);
    // Exact, case-sensitive: values of the data language keep their case.
    int FindListEntry(int anId, const char* aText) const;

    UI_Dialog* myDialog = nullptr;

private:
    static intptr_t Priv_Proc(UI_Dialog* aDialog, const UI_Message& aMessage);

    const UI_DialogTemplate& myTemplate;
};

// The font every dialog of the editor uses.
#define DLG_FONT "MS Shell Dlg", 8
