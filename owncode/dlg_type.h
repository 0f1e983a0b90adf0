// Dialogs about types: create a type, choose the shown types, and the two
// questions the compiler asks about unknown types and members.
#pragma once

#include "owncode/dlg_instance.h"

class VelkTypeFilterManager;
class VelkTypeManager;

class CDlgType : public CDlgBase
{
public:
    enum
    {
        IDC_META_TYPE = 1050,
        IDC_META_CLASS = 1051,
        IDC_META_SCRIPTCLASS = 1052,
        IDC_TYPES = 1053,
        IDC_MEMBERS = 1054,
        IDC_ADD_TYPE = 1055,
        IDC_REMOVE = 1056,
        IDC_ADD_VALUE = 1057,
        IDC_TYPENAME_LABEL = 1058,
        IDC_VALUES_LABEL = 1059,
    };

    CDlgType();

    QC_List<QC_String> myTypes;     // in: the known type names
    int myMetaType = 0;             // 0 Type, 1 Class, 2 ScriptClass
    QC_String myTypeName = "NewType";
    QC_List<QC_String> myMembers;   // out: every entry of the member list

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;
};

class CDlgViewTypes : public CDlgBase
{
public:
    enum
    {
        IDC_INVISIBLE = 1060,
        IDC_VISIBLE = 1061,
        IDC_VIEW_ALL = 1062,
        IDC_HIDE_ALL = 1063,
        IDC_UP = 1064,
        IDC_DOWN = 1065,
        IDC_FILTERS = 1066,
        IDC_INVISIBLE_LABEL = 1067,
        IDC_VISIBLE_LABEL = 1068,
    };

    // The type manager tells which types have filters; the filter manager
    // holds them. Neither is owned; both may be null (no "Filters...").
    CDlgViewTypes(VelkTypeManager* aTypeManager, VelkTypeFilterManager* aFilterManager);

    QC_List<QC_String> myVisible;     // in and out, in order
    QC_List<QC_String> myInvisible;

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;

private:
    void Priv_Move(int aFromId, int aToId, int anIndex);
    void Priv_UpdateFilters();
    void Priv_OpenFilters();

    VelkTypeManager* myTypeManager;
    VelkTypeFilterManager* myFilterManager;
};

class CDlgIgnoreTypeInstance : public CDlgBase
{
public:
    enum
    {
        IDC_IGNORE_TYPE = 1070,
        IDC_IGNORE_INSTANCE = 1071,
        IDC_TEXT1 = 1072,
        IDC_TEXT2 = 1073,
        IDC_TEXT3 = 1074,
    };

    CDlgIgnoreTypeInstance();

    QC_String myTypeName;
    QC_String myInstanceName;
    // Out: ignore every instance of the type from now on, else only this one.
    // The choice is offered again the next time in this run.
    bool myIgnoreTypeFlag = true;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    static bool ourIgnoreTypeFlag;
};

class CDlgIgnoreTypeMember : public CDlgBase
{
public:
    enum
    {
        IDC_TEXT1 = 1080,
        IDC_TEXT2 = 1081,
        IDC_TEXT3 = 1082,
    };

    CDlgIgnoreTypeMember();

    QC_String myTypeName;
    QC_String myMemberName;

protected:
    void OnInitDialog() override;
};
