#include "owncode/console.h"

#include "velkeditor/velk_uitext.h"

bool Console::Receive(int aKey, QC_String aText)
{
    if (aKey != 0 && aKey != 1)
        return true;
    if (myBatchFlag)
    {
        myHeldLines.push_back(VelkText_LineToUI(aText));
        myHeldKeys.push_back(aKey);
        // In pieces: the held copies stay small beside the combo's own.
        if (myHeldLines.size() >= 1024)
            Priv_AddHeld();
        return true;
    }
    int locIndex = UI_ComboAdd(myDialogBar, IDC_CONSOLE, VelkText_LineToUI(aText).c_str());
    if (locIndex >= 0 && !myErrorShownFlag)
    {
        UI_ComboSetCurSel(myDialogBar, IDC_CONSOLE, locIndex);
        if (aKey == 1)
            myErrorShownFlag = true;
    }
    return true;
}

void Console::Clear()
{
    UI_ComboReset(myDialogBar, IDC_CONSOLE);
    myErrorShownFlag = false;
}

void Console::BeginBatch()
{
    myBatchFlag = true;
}

void Console::EndBatch()
{
    myBatchFlag = false;
    Priv_AddHeld();
}

void Console::Priv_AddHeld()
{
    if (myHeldLines.empty())
        return;
    int locFirst = UI_ComboAddMany(myDialogBar, IDC_CONSOLE, myHeldLines);
    int locShown = -1;
    for (size_t i = 0; locFirst >= 0 && i < myHeldKeys.size() && !myErrorShownFlag; i++)
    {
        locShown = locFirst + int(i);
        myErrorShownFlag = myHeldKeys[i] == 1;
    }
    if (locShown >= 0)
        UI_ComboSetCurSel(myDialogBar, IDC_CONSOLE, locShown);
    myHeldLines.clear();
    myHeldKeys.clear();
}
