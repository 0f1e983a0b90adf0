// The one object through which the editor's windows work on the data: the
// open file's namespace and types, the settings from "korrinth.velk", which
// types the tree shows, the language tree, the console, the viewers, the
// editor of the right-hand pane and the lock of the open file. Menu commands,
// the document's load and save, the tree and the right pane's input all call
// it. One per process; only the user-interface thread enters it.
#pragma once

#include "owncode/filelocker.h"
#include "owncode/typevis.h"
#include "owncode/velktree.h"
#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_string.h"
#include "velk/velk_namespace.h"
#include "velk/velk_typemanager.h"

class Console;
class VelkEditor;
class VelkEditorFactory;
class VelkTypeConstraintSet;

// The document the facade marks modified (the program's, not owned).
class AppDocument
{
public:
    virtual ~AppDocument() = default;
    virtual void SetModifiedFlag(bool aModifiedFlag) = 0;
};

class AppFacade : public VelkTreeOwner
{
public:
    // The panes the facade works in. The list view is the window the editors
    // draw in (a QDGDI_Window*, handed on to the factory as it is).
    struct Panes
    {
        AppDocument* myDocument = nullptr;
        void* myListView = nullptr;
        UI_Dialog* myTreePane = nullptr;
        int myTreeId = 0;
        UI_Dialog* myConsoleBar = nullptr;
    };

    // Makes the facade and runs Init when none exists; a failed Init destroys
    // it again and answers false with the reason in aMessage. The prototypes
    // stay the caller's; the facade keeps the copies their Create makes.
    static bool Create(const Panes& aPanes, QC_String& aMessage, VelkEditorFactory* aFactoryPrototype,
                       VelkTypeConstraintSet* aConstraintPrototype);
    static void Destroy();
    static AppFacade* Get() { return ourInstance; }

    static const char* const SETTINGS_FILE;   // "korrinth.velk"

    // Files. Each path is made relative to the base directory and its
    // extension checked without regard to case (merge takes the path as given).
    bool OpenFile(const char* aPath);
    bool MergeFile(const char* aPath);
    bool IncludeTypes(const char* aPath);
    bool SaveFile(const char* aPath);
    void NewFile();
    bool AddViewer(const char* aPath);
    bool RemoveViewer(const char* aFileName);
    void DeleteViewers();
    void FillViewerList(UI_Dialog* aDialog, int anId) const;
    const QC_List<VelkViewer*>& GetViewers() const { return myViewers; }

    // Instances and types.
    VelkType* NewInstance(const char* aTypeName, const char* aWantedName);
    VelkType* NewMember(VelkType* aType, VelkType* aParent, const char* aName);
    bool DeleteInstance(VelkType* anObject);
    // The text is cut at its first space, else its first '='. An empty name,
    // or one another root (or sibling member) has, is refused.
    bool Rename(VelkType* anObject, const char* aText);
    // Index 0..2 of "TYPE", "TYPE", "TYPE"; creating types is not supported:
    // always false.
    bool NewType(int aMetaTypeIndex, const char* aTypeName, const QC_List<QC_String>& aMembers);
    void FillTypeList(UI_Dialog* aDialog, int anId) const;

    VelkTypeManager& GetTypeManager() { return myTypeManager; }
    VelkNameSpace& GetNameSpace() { return myNameSpace; }
    VelkNameSpace& GetSettings() { return mySettings; }
    TypeVis& GetTypeVis() { return myTypeVis; }
    VelkTree* GetTree() { return myTree; }
    Console* GetConsole() { return myConsole; }
    FileLocker& GetLocker() { return myLocker; }
    VelkEditor* GetEditor() { return myEditor; }
    bool HasInstances() const { return myNameSpace.GetNumInstances() > 0; }
    bool HasTypes() const { return myTypeManager.GetNumTypes() > 0; }
    bool GetDrawFlag() const { return myDrawFlag; }
    void ToggleDrawFlag() { myDrawFlag = !myDrawFlag; }
    const char* GetBaseDirectory() const override { return myBaseDirectory; }
    // Back to the base directory (file dialogs may have moved away).
    bool ResetDirectory() const;
    // Relative path below the base directory; false (and empty) outside it.
    bool ValidateString(const char* aPath, QC_String& aRelativePath) const;

    // The editor of the right-hand pane.
    void SelectInstance(VelkType* anObject);
    void OnLeftButton(int anX, int aY, bool aShiftFlag);
    void OnLeftButtonUp(int anX, int aY);
    void OnRightButton(int anX, int aY, bool aShiftFlag, bool aControlFlag);
    void OnRightButtonUp(int anX, int aY);
    void OnKeyDown(int aVirtualKey);
    void OnKeyUp(int aVirtualKey);
    void OnChar(int aCharacter);
    void OnSize(int aWidth, int aHeight);
    void OnIdle();
    // With the flag the tree is rebuilt first; then the editor is drawn.
    void Refresh(bool aRebuildFlag);
    void Draw();

    // Tree commands; each answers whether the data changed.
    void TreeCopy();
    bool TreePaste();
    bool TreeRename();
    bool TreeDelete();
    bool TreeEditAtPoint(int anX, int aY);
    bool TreeEditSelected();
    bool TreeToggleOrEdit();
    void TreeLeftButton(int anX, int aY);

    // VelkTreeOwner
    bool AddRoot(VelkType* anObject) override;
    bool DeleteObject(VelkType* anObject) override { return DeleteInstance(anObject); }
    void ReleaseObject(VelkType* anObject) override;
    void OnTreeRefreshed() override;

private:
    AppFacade();
    ~AppFacade() override;
    bool Init(const Panes& aPanes, QC_String& aMessage, VelkEditorFactory* aFactoryPrototype,
              VelkTypeConstraintSet* aConstraintPrototype);
    bool Priv_Fail(QC_String& aMessage, const char* aText);
    bool Priv_CheckPath(const char* aPath, const char* anExtension, QC_String& aRelativePath) const;
    // The console lines of a conversion that failed after the .velk was saved.
    void Priv_TellFailedConversion(const char* aVelkPath);
    void Priv_Lock(const char* aRelativePath);
    void Priv_ClearOpenFile();
    void Priv_RebuildTree();
    void Priv_NoteEditorChanges();
    void Priv_HandleAction(VelkType* anObject, int anAction);
    void Priv_SetModified();
    // After a tree edit: marks the document and draws when something changed.
    bool Priv_Edited(bool anEditedFlag);
    void Priv_DeleteEditor();

    static AppFacade* ourInstance;

    AppDocument* myDocument = nullptr;
    void* myListView = nullptr;
    VelkNameSpace mySettings;
    TypeVis myTypeVis;
    VelkTypeManager myTypeManager;
    VelkNameSpace myNameSpace;
    MFCVelkTreeControl* myTreeControl = nullptr;
    VelkTree* myTree = nullptr;
    Console* myConsole = nullptr;
    QC_String myBaseDirectory;
    bool myDrawFlag = true;
    QC_List<VelkViewer*> myViewers;
    VelkEditorFactory* myFactory = nullptr;
    VelkEditor* myEditor = nullptr;
    VelkTypeConstraintSet* myConstraints = nullptr;
    BrowseFilterSet myBrowseFilters;
    FileLocker myLocker;
    bool myDebugStartedFlag = false;
};
