// The renderer build's display restore, apart from the fatal-error routine.
#include "qcommon/qc_mem.h"

#include "platform/os/os_ui.h"

void QC_Mem::RestoreDisplay()
{
    OS_RestoreDisplay();
}
