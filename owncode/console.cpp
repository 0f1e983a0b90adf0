#include "owncode/console.h"

bool Console::Receive(int aKey, QC_String aText)
{
    if (aKey != 0 && aKey != 1)
        return true;
    int locIndex = UI_ComboAdd(myDialogBar, IDC_CONSOLE, aText);
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
