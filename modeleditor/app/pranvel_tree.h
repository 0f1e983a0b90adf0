// The model tree's control as the editor scene fills it: QRenderEditorTree over
// one platform/ui tree control (a control of a dialog or pane, found by id).
//
// The scene (QRenderEditor::RebuildTree) empties the control, appends every item
// with its text and its datum, (index << 16) | kind (QRenderEditorTreeKind), and
// opens again the items whose texts it remembers as expanded; the control does
// not report those program expansions. The user's own expansions and collapses
// arrive as the control's UI_TVN_ITEMEXPANDED; OnMessage hands the item's text
// to QRenderEditor::ToggleExpandedItem, so the next rebuild opens the same items.
//
// In the pane's dialog procedure:
//   PranvelTreeControl locTree(aPane, IDC_MODEL_TREE);
//   if (locTree.OnMessage(aMessage, QRenderEditor::ourInstance))
//       return 0;
//   ... after a change: QRenderEditor::ourInstance->RebuildTree(&locTree);
#pragma once

#include <cstdint>

#include "modeleditor/qrendereditor.h"
#include "platform/ui/ui_dialog.h"

class PranvelTreeControl : public QRenderEditorTree
{
public:
    PranvelTreeControl(UI_Dialog* aDialog, int anId) : myDialog(aDialog), myId(anId) {}

    void DeleteAll() override;
    intptr_t Append(intptr_t aParent, const char* aText, intptr_t aData) override;
    intptr_t GetChild(intptr_t anItem) override;
    intptr_t GetNext(intptr_t anItem) override;
    QC_String GetText(intptr_t anItem) override;
    void Expand(intptr_t anItem) override;

    // The control's item-expanded notification reaches aScene (may be null);
    // true when aMessage was that notification of this control.
    bool OnMessage(const UI_Message& aMessage, QRenderEditor* aScene);

    // The parts of an item's datum.
    static int GetKind(intptr_t aData) { return int(aData & 0xFFFF); }
    static int GetIndex(intptr_t aData) { return int(aData >> 16); }

private:
    UI_Dialog* myDialog;
    int myId;
};

// The left pane's procedure while nothing else handles it: the user's
// expansions reach the scene.
intptr_t PranvelTreePaneProc(UI_Dialog* aPane, const UI_Message& aMessage);
