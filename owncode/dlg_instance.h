// Dialogs that name instances: create, copy, rename, and the contents of a
// script class.
#pragma once

#include "owncode/dlg_base.h"

class VelkType;

// Control ids shared by the dialogs of the editor.
enum
{
    IDC_TYPE = 1000,
    IDC_NAME = 1001,
    IDC_VALUE = 1002,
    IDC_LIST = 1003,
    IDC_TYPE_LABEL = 1004,
    IDC_NAME_LABEL = 1005,
    IDC_VALUE_LABEL = 1006,
    IDC_LIST_LABEL = 1007,
};

// A type picked from a list and a name typed for it; the type picked last
// time in this run is preselected. An empty name is allowed: the caller makes
// one up. Names that would not read back as one word are refused.
class CDlgTypeAndName : public CDlgBase
{
public:
    QC_List<QC_String> myTypes;   // in: the type names offered
    QC_String myTypeName;         // out
    QC_String myName;

protected:
    // aLastTypeIndex: the subclass's memory of the last choice.
    CDlgTypeAndName(const UI_DialogTemplate& aTemplate, int& aLastTypeIndex);
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;

private:
    void Priv_UpdateOK();
    int& myLastTypeIndex;
};

class CDlgInstance : public CDlgTypeAndName
{
public:
    CDlgInstance();

private:
    static int ourLastTypeIndex;
};

// "Copy Instance" and "Rename Instance": a type shown and a name typed.
class CDlgNameInstance : public CDlgBase
{
public:
    QC_String myTypeName;
    QC_String myName;

protected:
    explicit CDlgNameInstance(const UI_DialogTemplate& aTemplate);
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;
};

class CDlgCopyInstance : public CDlgNameInstance
{
public:
    CDlgCopyInstance();
};

class CDlgRenameInstance : public CDlgNameInstance
{
public:
    CDlgRenameInstance();
};

// The legal types of a script class in myTypes.
class CDlgAddScriptClassContent : public CDlgTypeAndName
{
public:
    CDlgAddScriptClassContent();

private:
    static int ourLastTypeIndex;
};

class CDlgEditScriptClass : public CDlgBase
{
public:
    enum
    {
        IDC_MOVE_UP = 1010,
        IDC_MOVE_DOWN = 1011,
        IDC_ADD = 1012,
    };

    // Takes the type, the name, the legal types and one line per member.
    explicit CDlgEditScriptClass(VelkType* anInstance);

    QC_String myTypeName;
    QC_String myName;
    QC_List<QC_String> myLegalTypes;
    // One "type name" line per content, in list order; split on OK into:
    QC_List<QC_String> myLines;
    QC_List<QC_String> myContentTypes;
    QC_List<QC_String> myContentNames;

    // The first "%s(%d)" of the type, from 0 up, whose line is not listed.
    static QC_String MakeUniqueName(const QC_List<QC_String>& aLines, const char* aTypeName);

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;

private:
    void Priv_Add();
};
