// The application facade.
//
// Sections: [SECTION] life cycle, [SECTION] files, [SECTION] instances,
// [SECTION] editor, [SECTION] tree commands.
#include "owncode/appfacade.h"

#include "owncode/console.h"
#include "owncode/instanceignorer.h"
#include "owncode/validatestring.h"
#include "platform/os/os_file.h"
#include "platform/ui/ui_prompt.h"
#include "qcommon/qc_debug.h"
#include "qdrawgdi/qdgdi.h"
#include "tez/tez_convert.h"
#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_type.h"
#include "velkeditor/velk_editor.h"
#include "velkeditor/velk_editorfactory.h"
#include "velkeditor/velk_typeconstraint.h"
#include "velkeditor/velk_uitext.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <ctime>
#include <string>
#include <unistd.h>

AppFacade* AppFacade::ourInstance = nullptr;
const char* const AppFacade::SETTINGS_FILE = "korrinth.velk";

namespace
{
const char* const locCaption = "Korrinth";
const char* const locMetaTypes[3] = {"TYPE", "TYPE", "TYPE"};

bool locHasExtension(const char* aPath, const char* anExtension)
{
    size_t locLength = std::strlen(aPath);
    size_t locExtension = std::strlen(anExtension);
    return locLength >= locExtension && strcasecmp(aPath + locLength - locExtension, anExtension) == 0;
}

// The working directory without a length limit.
bool locCurrentDirectory(QC_String& aDirectory)
{
    char* locPath = getcwd(nullptr, 0);
    if (!locPath)
        return false;
    aDirectory = locPath;
    std::free(locPath);
    return true;
}
} // namespace

// --- [SECTION] life cycle ---

AppFacade::AppFacade() = default;

AppFacade::~AppFacade()
{
    VelkLog::GetPublisher().Unsubscribe(myConsole);
    Priv_DeleteEditor();
    delete myFactory;
    delete myConstraints;
    delete myConsole;
    delete myTree;
    delete myTreeControl;
    DeleteViewers();
    myNameSpace.Clear();
    if (myDebugStartedFlag)
        QC_Debug::Shutdown();
    myLocker.Unlock();
    myBrowseFilters.Clear();
}

bool AppFacade::Create(const Panes& aPanes, QC_String& aMessage, VelkEditorFactory* aFactoryPrototype,
                       VelkTypeConstraintSet* aConstraintPrototype)
{
    if (ourInstance)
        return true;
    ourInstance = new AppFacade;
    if (!ourInstance->Init(aPanes, aMessage, aFactoryPrototype, aConstraintPrototype))
    {
        Destroy();
        return false;
    }
    return true;
}

void AppFacade::Destroy()
{
    delete ourInstance;
    ourInstance = nullptr;
}

bool AppFacade::Priv_Fail(QC_String& aMessage, const char* aText)
{
    aMessage = aText;
    QC_Debug::Printf("%s\n", aText);
    return false;
}

bool AppFacade::Init(const Panes& aPanes, QC_String& aMessage, VelkEditorFactory* aFactoryPrototype,
                     VelkTypeConstraintSet* aConstraintPrototype)
{
    QC_String locText;
    myDocument = aPanes.myDocument;
    myListView = aPanes.myListView;
    std::srand(unsigned(std::time(nullptr)));
    VelkLog::SetLogSwitch(true);
    VelkLog::SetErrorSwitch(true);

    if (!VelkCompiler::Compile(mySettings, SETTINGS_FILE, nullptr, nullptr))
    {
        locText.Format("AppFacade::Init(): Failed to compile directory namespace '%s'", SETTINGS_FILE);
        return Priv_Fail(aMessage, locText);
    }
    // The real spelling is kept; paths are compared with it without regard to case.
    if (!locCurrentDirectory(myBaseDirectory))
        return Priv_Fail(aMessage, "AppFacade::Init(): Failed to get current directory");

    VelkType* locDebugFile = mySettings.GetInstance("DebugFile", false);
    if (!locDebugFile)
        return Priv_Fail(aMessage, "AppFacade::Init(): Failed to find instance 'DebugFile' in directory");
    if (!QC_Debug::IsInited())
        myDebugStartedFlag = QC_Debug::Init(locDebugFile->GetValue(), false, true, false, "");
    QC_Debug::Printf("AppFacade::Init(): Base directory directory is '%s'\n", myBaseDirectory.GetBuffer());

    myConstraints = aConstraintPrototype ? aConstraintPrototype->Create() : nullptr;
    if (!myConstraints)
        return false;
    if (!myConstraints->Load(&myNameSpace))
        return Priv_Fail(aMessage, "AppFacade::Init(): Failed to load type constraints");

    if (!myBrowseFilters.Load(mySettings.GetInstance("myBrowseFilters", false)))
        return Priv_Fail(aMessage, "AppFacade::Init(): Failed to load browse filters");

    myTreeControl = new MFCVelkTreeControl(aPanes.myTreePane, aPanes.myTreeId);
    myTree = new VelkTree(myTreeControl, myConstraints, &myBrowseFilters, this);

    myFactory = aFactoryPrototype ? aFactoryPrototype->Create() : nullptr;
    if (!myFactory)
        return false;

    myConsole = new Console(aPanes.myConsoleBar);
    VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_LOG, myConsole);
    VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_ERROR, myConsole);

    aMessage = "AppFacade::Init(): Success";
    QC_Debug::Printf("%s\n", aMessage.GetBuffer());
    return true;
}

// --- [SECTION] files ---

bool AppFacade::ValidateString(const char* aPath, QC_String& aRelativePath) const
{
    return ::ValidateString(myBaseDirectory, aPath, aRelativePath);
}

bool AppFacade::ResetDirectory() const
{
    return OS_SetCurrentDirectory(myBaseDirectory);
}

bool AppFacade::Priv_CheckPath(const char* aPath, const char* anExtension, QC_String& aRelativePath) const
{
    if (!aPath || !ValidateString(aPath, aRelativePath))
        return false;
    return locHasExtension(aRelativePath, anExtension);
}

void AppFacade::Priv_Lock(const char* aRelativePath)
{
    std::string locMessage;
    if (!myLocker.Lock(aRelativePath, &locMessage))
        UI_MessageBox(locCaption, locMessage.c_str(), OS_MB_OK | OS_MB_ICONWARNING);
    // A stale lock taken over, other names of the file: told, not asked.
    for (const std::string& locNote : myLocker.GetNotes())
        VelkLog::Log("%s", locNote.c_str());
}

void AppFacade::Priv_ClearOpenFile()
{
    Priv_DeleteEditor();
    myConsole->Clear();
    myNameSpace.Clear();
    myTypeManager.Reset();
    myTypeVis.Clear();
}

void AppFacade::Priv_RebuildTree()
{
    myTypeVis.Update(myTypeManager);
    myTree->Rebuild(myNameSpace, myTypeVis);
}

bool AppFacade::OpenFile(const char* aPath)
{
    // The path is checked before the held lock goes: a refused open keeps the
    // open file locked.
    QC_String locRelative;
    if (!Priv_CheckPath(aPath, ".velk", locRelative))
        return false;
    myLocker.Unlock();
    Priv_ClearOpenFile();
    InstanceIgnorer locIgnorer;
    myConsole->BeginBatch();
    bool locResult = VelkCompiler::Compile(myNameSpace, locRelative, &myTypeManager, &locIgnorer);
    myConsole->EndBatch();
    Priv_Lock(locRelative);
    Priv_RebuildTree();
    return locResult;
}

bool AppFacade::MergeFile(const char* aPath)
{
    if (!aPath)
        return false;
    VelkNameSpace locNameSpace;
    VelkTypeManager locTypeManager;
    InstanceIgnorer locIgnorer;
    myConsole->BeginBatch();
    bool locResult = VelkCompiler::Compile(locNameSpace, aPath, &locTypeManager, &locIgnorer);
    if (locResult)
        locResult = myNameSpace.Merge(locNameSpace);
    myConsole->EndBatch();
    Priv_RebuildTree();
    // Merged roots may replace what the editor shows.
    if (myEditor)
        myEditor->OnTreeRefreshed();
    return locResult;
}

bool AppFacade::IncludeTypes(const char* aPath)
{
    QC_String locRelative;
    if (!Priv_CheckPath(aPath, ".fruit", locRelative))
        return false;
    myConsole->Clear();
    bool locResult = myTypeManager.Compile(locRelative);
    if (locResult)
        myNameSpace.AddInclude(locRelative);
    Priv_RebuildTree();
    if (myEditor)
        myEditor->OnTreeRefreshed();
    return locResult;
}

bool AppFacade::SaveFile(const char* aPath)
{
    QC_String locRelative;
    if (!aPath || !ValidateString(aPath, locRelative))
        return false;
    if (!HasInstances())
    {
        UI_MessageBox(locCaption, "You may not save an empty namespace!", OS_MB_OK | OS_MB_ICONWARNING);
        return false;
    }
    std::string locMessage;
    if (!myLocker.CanSave(locRelative, &locMessage))
    {
        UI_MessageBox(locCaption, locMessage.c_str(), OS_MB_OK | OS_MB_ICONWARNING);
        return false;
    }
    if (!locHasExtension(locRelative, ".velk"))
        return false;
    myConsole->Clear();
    for (const std::string& locNote : myLocker.GetNotes())
        VelkLog::Log("%s", locNote.c_str());
    if (!myNameSpace.Write(locRelative))
        return false;
    bool locResult = VelkToTez::Convert(myNameSpace, locRelative);
    if (locResult)
        VelkLog::Log("Successfully converted '%s' to tez", locRelative.GetBuffer());
    else
        Priv_TellFailedConversion(locRelative);
    Priv_Lock(locRelative);
    if (locResult && myDocument)
        myDocument->SetModifiedFlag(false);
    return locResult;
}

void AppFacade::Priv_TellFailedConversion(const char* aVelkPath)
{
    // The file that failed and the system's reason, where there are both.
    const VelkToTez::Failure& locFailure = VelkToTez::GetLastFailure();
    if (locFailure.myFile.empty())
        VelkLog::Error("Failed to convert '%s' to tez", aVelkPath);
    else if (locFailure.myError == 0)
        VelkLog::Error("Failed to convert '%s' to tez: '%s' could not be written", aVelkPath,
                       locFailure.myFile.c_str());
    else
        VelkLog::Error("Failed to convert '%s' to tez: '%s' could not be written: %s", aVelkPath,
                       locFailure.myFile.c_str(), std::strerror(locFailure.myError));
    if (locFailure.myPairReplaced || locFailure.myTezFile.empty())
        return;
    // The game reads the .tez: the text saved is not what it will see.
    const std::string locBase = locFailure.myTezFile.substr(0, locFailure.myTezFile.size() - std::strlen(".tez"));
    if (myNameSpace.HasLocText())
        VelkLog::Error("'%s' was saved, but '%s.tez' and '%s.loc' were left as they were", aVelkPath,
                       locBase.c_str(), locBase.c_str());
    else
        VelkLog::Error("'%s' was saved, but '%s.tez' was left as it was", aVelkPath, locBase.c_str());
}

void AppFacade::NewFile()
{
    myLocker.Unlock();
    Priv_ClearOpenFile();
    Priv_RebuildTree();
}

bool AppFacade::AddViewer(const char* aPath)
{
    QC_String locRelative;
    if (!Priv_CheckPath(aPath, ".velk", locRelative))
        return false;
    VelkViewer* locViewer = VelkViewer::Create(locRelative);
    if (!locViewer)
        return false;
    myViewers.Add(locViewer);
    return true;
}

bool AppFacade::RemoveViewer(const char* aFileName)
{
    for (QC_List<VelkViewer*>::Link* locLink = myViewers.myFirstLink; locLink; locLink = locLink->myNext)
        if (locLink->myItem->GetFileName() == aFileName)
        {
            VelkViewer::Destroy(locLink->myItem);
            myViewers.RemoveLink(locLink);
            return true;
        }
    return false;
}

void AppFacade::DeleteViewers()
{
    for (QC_List<VelkViewer*>::Link* locLink = myViewers.myFirstLink; locLink; locLink = locLink->myNext)
        VelkViewer::Destroy(locLink->myItem);
    myViewers.RemoveAll();
}

void AppFacade::FillViewerList(UI_Dialog* aDialog, int anId) const
{
    UI_ListReset(aDialog, anId);
    for (QC_List<VelkViewer*>::Link* locLink = myViewers.myFirstLink; locLink; locLink = locLink->myNext)
        UI_ListAdd(aDialog, anId, locLink->myItem->GetFileName());
}

// --- [SECTION] instances ---

void AppFacade::Priv_SetModified()
{
    if (myDocument)
        myDocument->SetModifiedFlag(true);
}

VelkType* AppFacade::NewInstance(const char* aTypeName, const char* aWantedName)
{
    VelkType* locType = aTypeName ? myTypeManager.GetType(aTypeName) : nullptr;
    if (!locType)
        return nullptr;
    QC_String locName = aWantedName ? aWantedName : "";
    if (locName.IsEmpty() || myNameSpace.GetInstance(locName, false))
    {
        QC_String locBase = locName.IsEmpty() ? QC_String(aTypeName) : locName;
        for (int locNumber = 0;; locNumber++)
        {
            locName.Format("%s%d", locBase.GetBuffer(), locNumber);
            if (!myNameSpace.GetInstance(locName, false))
                break;
        }
    }
    VelkType* locInstance = locType->CloneAs(locName);
    if (!locInstance)
        return nullptr;
    if (!myNameSpace.AddInstance(locInstance))
    {
        delete locInstance;
        return nullptr;
    }
    myTree->AddInstance(locInstance);
    Priv_SetModified();
    return locInstance;
}

VelkType* AppFacade::NewMember(VelkType* aType, VelkType* aParent, const char* aName)
{
    if (!aType)
        return nullptr;
    VelkType* locMember = aType->CloneAs(aName ? aName : "");
    if (!locMember)
        return nullptr;
    bool locAdded = aParent ? aParent->AddMember(locMember) : myNameSpace.AddInstance(locMember);
    if (!locAdded)
    {
        delete locMember;
        return nullptr;
    }
    Priv_SetModified();
    return locMember;
}

bool AppFacade::AddRoot(VelkType* anObject)
{
    if (!anObject || !myNameSpace.AddInstance(anObject))
        return false;
    Priv_SetModified();
    return true;
}

void AppFacade::ReleaseObject(VelkType* anObject)
{
    myTree->ForgetRemoved(anObject);
    if (myEditor && !myEditor->ReleaseInstance(anObject))
        Priv_DeleteEditor();
}

bool AppFacade::DeleteInstance(VelkType* anObject)
{
    if (!anObject)
        return false;
    // Whoever holds the object or something inside it lets go first.
    ReleaseObject(anObject);
    if (!myNameSpace.DeleteInstance(anObject))
        return false;
    Priv_SetModified();
    return true;
}

bool AppFacade::Rename(VelkType* anObject, const char* aText)
{
    if (!anObject)
        return false;
    QC_String locName = VelkTree::CutName(aText);
    if (locName.IsEmpty())
        return false;
    if (VelkTree::IsNameTaken(myNameSpace, anObject, locName))
        return false;
    anObject->SetName(locName);
    myTree->UpdateItemText(anObject);
    Priv_SetModified();
    Draw();
    return true;
}

bool AppFacade::NewType(int aMetaTypeIndex, const char* aTypeName, const QC_List<QC_String>& aMembers)
{
    (void) aMembers;
    if (aMetaTypeIndex < 0 || aMetaTypeIndex > 2)
        return false;
    return myTypeManager.AddType(aMetaTypeIndex, aTypeName ? aTypeName : locMetaTypes[aMetaTypeIndex], "");
}

void AppFacade::FillTypeList(UI_Dialog* aDialog, int anId) const
{
    UI_ListReset(aDialog, anId);
    QC_List<VelkType*> locTypes;
    myTypeManager.GetTypes(locTypes);
    for (QC_List<VelkType*>::Link* locLink = locTypes.myFirstLink; locLink; locLink = locLink->myNext)
        UI_ListAdd(aDialog, anId, VelkText_ToUI(locLink->myItem->GetTypeName()).c_str());
    UI_ListSetSel(aDialog, anId, 0, true);
}

// --- [SECTION] editor ---

void AppFacade::Priv_DeleteEditor()
{
    if (!myEditor)
        return;
    delete myEditor;
    myEditor = nullptr;
    // The pane keeps the last picture shown until another comes: not a deleted editor's.
    if (myListView)
        static_cast<QDGDI_Window*>(myListView)->ShowPicture(nullptr, 0, 0, 0);
}

void AppFacade::Draw()
{
    if (myEditor)
        myEditor->Draw(myDrawFlag);
}

void AppFacade::SelectInstance(VelkType* anObject)
{
    if (!anObject)
        return;
    VelkType* locSettings = mySettings.GetInstance(anObject->GetTypeName(), false);
    VelkEditor* locEditor =
        myFactory->CreateEditor(anObject, &myTypeVis.GetFilterManager(), myListView, locSettings);
    if (locEditor)
    {
        QC_Debug::Printf("AppFacade::SelectInstance(): new editor for type '%s'\n",
                         anObject->GetTypeName().GetBuffer());
        Priv_DeleteEditor();
        myEditor = locEditor;
    }
    else if (myEditor)
    {
        QC_Debug::Printf("AppFacade::SelectInstance(): myEditor->SelectInstance()\n");
        myEditor->SelectInstance(anObject);
    }
    else
        QC_Debug::Printf("AppFacade::SelectInstance(): no current editor\n");
    // An editor that mends bad values as it opens (a skin's prefabs) has changed the data.
    Priv_NoteEditorChanges();
    Draw();
}

// The document is marked modified only when the editor really changed a value:
// input that merely selects, scrolls, plays or moves the pointer changes nothing.
void AppFacade::Priv_NoteEditorChanges()
{
    if (myEditor && myEditor->TakeChanged())
        Priv_SetModified();
}

void AppFacade::Priv_HandleAction(VelkType* anObject, int anAction)
{
    if (!anObject)
        return;
    if (anAction == EditorAction::SELECT_IN_TREE)
        myTree->SelectObject(anObject);
    else if (anAction == EditorAction::EDIT_IN_TREE)
        Priv_Edited(myTree->EditObject(anObject, myNameSpace, myTypeManager));
}

#define FACADE_FORWARD(aCall)                                                                                        \
    do                                                                                                               \
    {                                                                                                                \
        if (myEditor)                                                                                                \
        {                                                                                                            \
            EditorAction locAction = myEditor->aCall;                                                                \
            Priv_NoteEditorChanges();                                                                                \
            Priv_HandleAction(locAction.myInstance, locAction.myAction);                                             \
        }                                                                                                            \
    } while (0)

void AppFacade::OnLeftButton(int anX, int aY, bool aShiftFlag)
{
    FACADE_FORWARD(OnLeftButton(anX, aY, aShiftFlag));
    Draw();
}

void AppFacade::OnLeftButtonUp(int anX, int aY)
{
    FACADE_FORWARD(OnLeftButtonUp(anX, aY));
    Draw();
}

void AppFacade::OnRightButton(int anX, int aY, bool aShiftFlag, bool aControlFlag)
{
    FACADE_FORWARD(OnRightButton(anX, aY, aShiftFlag, aControlFlag));
    Draw();
}

void AppFacade::OnRightButtonUp(int anX, int aY)
{
    FACADE_FORWARD(OnRightButtonUp(anX, aY));
    Draw();
}

void AppFacade::OnKeyDown(int aVirtualKey)
{
    FACADE_FORWARD(OnKeyDown(aVirtualKey));
    Draw();
}

void AppFacade::OnKeyUp(int aVirtualKey)
{
    if (aVirtualKey == 46)
    {
        // Only what the tree itself may delete: a root or a script class's member.
        VelkType* locSelected = myEditor ? myEditor->GetSelectedInstance() : nullptr;
        if (locSelected && VelkTree::MayRenameOrDelete(locSelected))
        {
            myTree->RemoveItem(locSelected);
            DeleteInstance(locSelected);
        }
    }
    else
        FACADE_FORWARD(OnKeyUp(aVirtualKey));
    Draw();
}

void AppFacade::OnChar(int aCharacter)
{
    FACADE_FORWARD(OnChar(aCharacter));
    Draw();
}

#undef FACADE_FORWARD

void AppFacade::OnSize(int aWidth, int aHeight)
{
    if (!myEditor)
        return;
    myEditor->Resize(aWidth, aHeight);
    Draw();
}

void AppFacade::OnIdle()
{
    if (myEditor)
        myEditor->OnIdle();
}

void AppFacade::OnTreeRefreshed()
{
    if (myEditor)
        myEditor->OnTreeRefreshed();
}

void AppFacade::Refresh(bool aRebuildFlag)
{
    if (aRebuildFlag)
    {
        myTree->Rebuild(myNameSpace, myTypeVis);
        OnTreeRefreshed();
    }
    Draw();
}

// --- [SECTION] tree commands ---

void AppFacade::TreeCopy()
{
    myTree->Copy();
    Draw();
}

bool AppFacade::TreePaste()
{
    bool locResult = myTree->Paste(myNameSpace);
    if (locResult)
        Priv_SetModified();
    Draw();
    return locResult;
}

bool AppFacade::TreeRename()
{
    bool locResult = myTree->Rename(myNameSpace);
    if (locResult)
        Priv_SetModified();
    Draw();
    return locResult;
}

bool AppFacade::TreeDelete()
{
    bool locResult = myTree->Delete();
    Draw();
    return locResult;
}

bool AppFacade::Priv_Edited(bool anEditedFlag)
{
    if (!anEditedFlag)
        return false;
    Priv_SetModified();
    Draw();
    return true;
}

bool AppFacade::TreeEditAtPoint(int anX, int aY)
{
    return Priv_Edited(myTree->EditAtPoint(anX, aY, myNameSpace, myTypeManager));
}

bool AppFacade::TreeEditSelected()
{
    return Priv_Edited(myTree->EditSelected(myNameSpace, myTypeManager));
}

bool AppFacade::TreeToggleOrEdit()
{
    return Priv_Edited(myTree->ToggleOrEditSelected(myNameSpace, myTypeManager));
}

void AppFacade::TreeLeftButton(int anX, int aY)
{
    if (!myTree->GetControl()->HitTest(anX, aY))
        myTree->GetControl()->SelectItem(0);
}
