// Dialogs that name instances: create, copy, rename, and the contents of a
// script class.
#pragma once

#include "owncode/dlg_base.h"

#include <string>

class VelkType;
class VelkTypeManager;

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

// False with the reason (UTF-8, for a message) when the .tez conversion would
// refuse anObject named aName under its parent's dotted path aParentPath
// (empty at the root): every LOCTEXT text inside it gets a key of the names
// on its path, which must be short, ASCII and free of "//". Only a name to
// blame is refused: where the rest of the path breaks the rules already, any
// name is accepted as before.
bool Dlg_NameConverts(const VelkType* anObject, const char* aParentPath, const char* aName, std::string* aWhy);
// The dotted path of the object from its root; empty for none.
QC_String Dlg_PathOf(const VelkType* anObject);

// A type picked from a list and a name typed for it; the type picked last
// time in this run is preselected. An empty name is allowed: the caller makes
// one up. Names that would not read back as one word are refused.
class CDlgTypeAndName : public CDlgBase
{
public:
    QC_List<QC_String> myTypes;   // in: the type names offered
    QC_String myTypeName;         // out
    QC_String myName;
    // In: where the types are found, so that a name the .tez conversion would
    // refuse is refused here (none: not checked), and the parent's path.
    const VelkTypeManager* myTypeManager = nullptr;
    QC_String myParentPath;

protected:
    // aLastTypeIndex: the subclass's memory of the last choice. aMadeUpName:
    // the "%s" pattern the caller names an object by its type when the name
    // is left empty.
    CDlgTypeAndName(const UI_DialogTemplate& aTemplate, int& aLastTypeIndex, const char* aMadeUpName);
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;

private:
    void Priv_UpdateOK();
    int& myLastTypeIndex;
    const char* myMadeUpName;
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
    // In: the object to be named (none: the name is not checked against the
    // .tez conversion's rules) and its parent's path.
    const VelkType* myObject = nullptr;
    QC_String myParentPath;

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
    // In: where the contents' types are found (none: their names are not
    // checked against the .tez conversion's rules).
    const VelkTypeManager* myTypeManager = nullptr;

    // The first "%s(%d)" of the type, from 0 up, whose line is not listed.
    static QC_String MakeUniqueName(const QC_List<QC_String>& aLines, const char* aTypeName);

protected:
    void OnInitDialog() override;
    void OnCommand(int anId, int aNotifyCode) override;
    void OnOK() override;

private:
    void Priv_Add();

    QC_String myPath;
};
