// CLeftView, the left pane of Pranvel's frame: the loaded model as a tree of
// parts, states, emitters and lights, its context menus, the file commands
// (new, open, save, save as, export, refresh) and the tree's edit commands.
// Every model change is a command run through the one CommandHandler.
#pragma once

#include <cstdint>
#include <string>

#include "modeleditor/app/pranvel_tree.h"
#include "modeleditor/qrendereditor.h"
#include "platform/ui/ui_frame.h"

class CPranvelView;
class PranvelEmitterCommands;
class QRECommand;
class QR_TemplateObject;
class QR_TemplatePart;

// The commands of the tree's context menus and of the Tools menu it serves.
enum PranvelTreeCommand
{
    ID_TREE_EDIT_OBJECT = 32785,
    ID_TREE_ADD_STATE = 32780,
    ID_TREE_ADD_STATE_PARTIAL = 159,
    ID_TREE_VIEW_STATS = 181,
    ID_TREE_PART_ADD_STATE = 32790,
    ID_TREE_ADD_NULL = 101,
    ID_TREE_ADD_HIERARCHY = 176,
    ID_TREE_EDIT_SURFACE = 32800,
    ID_TREE_EDIT_BONE = 189,
    ID_TREE_REMOVE_STATE = 32792,
    ID_TREE_EDIT_STATE = 32789,
    ID_TREE_ADD_EMITTER = 102,
    ID_TREE_EDIT_POSITION = 103,
    ID_TREE_EDIT_EMITTER = 172,
    ID_TREE_DELETE_EMITTER = 173,
    ID_TREE_EDIT_LIGHT = 32787,
};

// The context menu of each item kind (none: null).
const UI_MenuEntry* PranvelContextMenu(int aKind, int* aNumEntries);

class CLeftView : public UI_FrameHandler
{
public:
    CLeftView() = default;
    ~CLeftView() override;

    // Works on the frame's tree pane (control IDC_MODEL_TREE) and the render
    // view; becomes the first command handler and the document's tree operations.
    bool Attach(UI_Frame* aFrame, UI_Dialog* aPane, CPranvelView* aView);
    void Detach();
    static CLeftView* ourInstance;
    // The pane's dialog procedure.
    static intptr_t PaneProc(UI_Dialog* aDialog, const UI_Message& aMessage);

    bool OnCommand(UI_Frame* aFrame, int anId) override;
    bool OnUpdateCommand(UI_Frame* aFrame, int anId, UI_CommandState* aState) override;

    // [Tree]
    static int ItemKind(intptr_t aDatum) { return int(aDatum & 0xFFFF); }
    static int ItemIndex(intptr_t aDatum) { return int((aDatum >> 16) & 0xFFFF); }
    // Right button at a point of the tree (client pixels): selects the item on
    // its label or icon; then its kind's menu. The picked id, 0 for none.
    int OnRightButton(int anX, int aY);
    void RebuildTree();
    UI_Dialog* GetPane() const { return myPane; }

    // [File]
    void OnFileNew();
    void OnFileOpen();
    // True when saved (or nothing to save); false when it failed or was cancelled.
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnFileExport();
    void OnRefresh();
    void OpenQRE(const char* aPath, const char* aTitle);
    void OpenLightWave(const char* aPath, const char* aTitle);
    // The unsaved-changes question: false when the operation must stop.
    bool SaveModified();
    // Where Save writes and what the title shows.
    const std::string& GetDocumentPath() const { return myDocumentPath; }
    const std::string& GetDocumentTitle() const { return myDocumentTitle; }
    void SetDocument(const char* aPath, const char* aTitle);
    // The Save As rule: '\\' to '/', the extension cut, ".qre" added.
    static std::string QREName(const char* aChosenPath);
    // Export's rule: cut at the last '.' after the last '/'.
    static std::string CutExtension(const std::string& aPath);
    // The load-failure message of the renderer's and the editor's errors.
    static std::string LoadFailureText();
    // The refresh's temporary file; empty when none could be made.
    static std::string MakeTemporaryName();

    // [Edit]
    bool RunCommand(QRECommand* aCommand, const char* aFailureText);
    void OnEditObject();
    void OnAddState(bool aPartialFlag);
    void OnViewStats();
    void OnPartAddState();
    void OnAddNull();
    void OnAddHierarchy();
    void OnEditBone();
    void OnRemoveState();
    void OnEditState();
    void OnEditPosition();
    void OnDeleteEmitter();
    void OnEditLight();
    void OnCheckLws();
    void OnEmitter(bool anAddFlag);
    void OnEditSurface();
    // The ten statistics of the loaded model, texture memory last.
    static void GatherStats(uint32_t aValues[10]);

private:
    QRenderEditor* Scene() const { return QRenderEditor::ourInstance; }
    void EnableTimer(bool anOnFlag);
    void PublishModelChanged();
    // The selected item's datum; false without a selection.
    bool GetSelection(intptr_t* aDatum, intptr_t* aParentDatum = nullptr);
    // The selected part's index and record (null when not in the model).
    QR_TemplatePart* GetSelectedPart(int* anIndex);
    bool ChooseState(char aCode[5]);
    // Saves the history as aPath; on success the document becomes the file written.
    bool SaveTo(const std::string& aPath, const std::string& aTitle);

    UI_Frame* myFrame = nullptr;
    UI_Dialog* myPane = nullptr;
    CPranvelView* myView = nullptr;
    PranvelTreeControl* myTree = nullptr;
    PranvelEmitterCommands* myEmitterCommands = nullptr;
    std::string myDocumentPath;
    std::string myDocumentTitle;
};
