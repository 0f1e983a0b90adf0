// The console: the data-language core's log and error lines, appended to the
// combo box of the main frame's dialog bar. The first error since the last
// clear stays the shown line, so it is not scrolled away by what follows.
#pragma once

#include "platform/ui/ui_dialog.h"
#include "qcommon/qc_publisher.h"
#include "qcommon/qc_string.h"

#include <string>
#include <vector>

class Console : public QC_Subscriber<int, QC_String>
{
public:
    enum
    {
        IDC_CONSOLE = 1003,
    };

    // The dialog bar is not owned.
    explicit Console(UI_Dialog* aDialogBar) : myDialogBar(aDialogBar) {}

    // Key 0: a log line, key 1: an error line; others are ignored.
    bool Receive(int aKey, QC_String aText) override;
    void Clear();
    bool IsErrorShown() const { return myErrorShownFlag; }
    // Between the two the lines are held and then added at once, as they
    // would have been one by one: a compile logs a line per root.
    void BeginBatch();
    void EndBatch();
    UI_Dialog* GetDialogBar() const { return myDialogBar; }

private:
    void Priv_AddHeld();

    UI_Dialog* myDialogBar;
    bool myErrorShownFlag = false;
    bool myBatchFlag = false;
    std::vector<std::string> myHeldLines;
    std::vector<int> myHeldKeys;
};

