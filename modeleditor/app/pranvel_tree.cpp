// The model tree's control behind the editor scene's tree interface.
#include "modeleditor/app/pranvel_tree.h"
#include "modeleditor/app/pranvel_resource.h"

#include <string>

void PranvelTreeControl::DeleteAll()
{
    UI_TreeReset(myDialog, myId);
}

intptr_t PranvelTreeControl::Append(intptr_t aParent, const char* aText, intptr_t aData)
{
    UI_TreeItem locItem = UI_TreeInsert(myDialog, myId, aParent ? aParent : UI_TREE_ROOT, aText, -1, false);
    if (locItem)
        UI_TreeSetData(myDialog, myId, locItem, aData);
    return locItem;
}

intptr_t PranvelTreeControl::GetChild(intptr_t anItem)
{
    return UI_TreeGetRelated(myDialog, myId, anItem ? anItem : UI_TREE_ROOT, UI_TREE_CHILD);
}

intptr_t PranvelTreeControl::GetNext(intptr_t anItem)
{
    return anItem ? UI_TreeGetRelated(myDialog, myId, anItem, UI_TREE_NEXT) : 0;
}

QC_String PranvelTreeControl::GetText(intptr_t anItem)
{
    std::string locText;
    if (!anItem || !UI_TreeGetText(myDialog, myId, anItem, &locText))
        return QC_String();
    return QC_String(locText.c_str());
}

void PranvelTreeControl::Expand(intptr_t anItem)
{
    if (anItem)
        UI_TreeExpand(myDialog, myId, anItem, true);
}

bool PranvelTreeControl::OnMessage(const UI_Message& aMessage, QRenderEditor* aScene)
{
    if (aMessage.myKind != UI_MSG_COMMAND || aMessage.myControlId != myId ||
        aMessage.myNotifyCode != UI_TVN_ITEMEXPANDED)
        return false;
    // Expanded or collapsed alike: the scene's list remembers or forgets the text.
    if (aScene && aMessage.myItem)
        aScene->ToggleExpandedItem(GetText(aMessage.myItem));
    return true;
}

intptr_t PranvelTreePaneProc(UI_Dialog* aPane, const UI_Message& aMessage)
{
    PranvelTreeControl locTree(aPane, IDC_MODEL_TREE);
    locTree.OnMessage(aMessage, QRenderEditor::ourInstance);
    return 0;
}
