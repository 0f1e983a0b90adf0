// Dialogs that edit one member's value: free text, an enumeration, a
// reference, a constrained value and a file.
#pragma once

#include "owncode/dlg_instance.h"

class VelkTypeConstraint;

class CDlgEdit : public CDlgBase
{
public:
    CDlgEdit();

    QC_String myTypeName;   // shown
    QC_String myName;       // shown
    QC_String myValue;

protected:
    void OnInitDialog() override;
    void OnOK() override;
};

// A value picked from a list; the current one is selected when listed.
class CDlgEditList : public CDlgBase
{
public:
    QC_String myTypeName;
    QC_String myName;
    QC_String myValue;
    QC_List<QC_String> myValues;

protected:
    CDlgEditList(const UI_DialogTemplate& aTemplate, bool aFirstWhenAbsentFlag);
    void OnInitDialog() override;
    void OnOK() override;

private:
    bool myFirstWhenAbsentFlag;
};

// "Edit Type": the enumeration's legal values.
class CDlgEditType : public CDlgEditList
{
public:
    CDlgEditType();
};

// "Edit Ref": the names of the instances of the referenced type, after the
// entry for the unset reference.
class CDlgEditRef : public CDlgEditList
{
public:
    CDlgEditRef();

protected:
    void OnInitDialog() override;
};

// "Edit Constrained": a constraint's values; the first ("<empty>" or
// "QG_NOTAGUI") is selected when the current value is not among them.
class CDlgEditConstrained : public CDlgEditList
{
public:
    CDlgEditConstrained(VelkTypeConstraint* aConstraint, const char* aTypeName, const char* aName,
                        const char* aValue);
};

class CDlgEditFile : public CDlgBase
{
public:
    enum
    {
        IDC_BROWSE = 1020,
        IDC_STATUS = 1021,
    };

    CDlgEditFile();

    QC_String myTypeName;
    QC_String myName;
    QC_String myValue;           // a file path; relative to the base directory on OK
    QC_String myExtension;       // of the member's browse filter; empty: any file
    QC_String myBaseDirectory;

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    // The value may be a system path: OnOK checks the part below the base directory.
    bool TextsFit() override { return true; }
    void OnOK() override;

private:
    void Priv_UpdateStatus();
    void Priv_Browse();
};

// The message of both path checks, caption "Invalid Path"; system paths (UTF-8).
void ShowInvalidPath(const char* aPath, const char* aBaseDirectory);
