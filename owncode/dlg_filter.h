// Dialogs of the type filters: the list of a type's filters, a new filter's
// name, and the members one filter lets through.
#pragma once

#include "owncode/dlg_instance.h"
#include "velkeditor/velk_typefilter.h"

class VelkType;

class CDlgFilterType : public CDlgBase
{
public:
    enum
    {
        IDC_TREE = 1030,
        IDC_RESET = 1031,
    };

    // The type's prototype gives the member tree; both are not owned.
    CDlgFilterType(VelkType* aType, VelkTypeFilter* aFilter);

    // The dotted path of every checked item whose parents are all checked.
    void GetCheckedPaths(QC_List<QC_String>& anOut) const;

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;

private:
    void Priv_AddMembers(VelkType* anObject, UI_TreeItem aParent, const QC_String& aPath);
    void Priv_Collect(UI_TreeItem aFirst, const QC_String& aPath, QC_List<QC_String>& anOut) const;

    VelkType* myType;
    VelkTypeFilter* myFilter;
};

class CDlgNewFilter : public CDlgBase
{
public:
    CDlgNewFilter();

    QC_String myName;

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;
};

class CDlgFilterList : public CDlgBase
{
public:
    enum
    {
        IDC_NEW = 1040,
        IDC_EDIT = 1041,
        IDC_ACTIVE = 1042,
        IDC_ACTIVE_LABEL = 1043,
    };

    // The filter manager's record of the type, and the type's prototype for
    // the member tree (may be null); neither is owned. On OK the selected
    // filter becomes the active one (none selected: the default filter).
    CDlgFilterList(VelkTypeFilterManager::Type* aRecord, VelkType* aType);

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;
    void OnCancel() override;

private:
    void Priv_Fill(const char* aSelectName);
    void Priv_Update();

    VelkTypeFilterManager::Type* myRecord;
    VelkType* myType;
    VelkTypeFilter* myActiveAtStart = nullptr;
};
