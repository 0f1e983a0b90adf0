// The shell's view pane as a drawing window.
#include "qdrawgdi/qdgdi_frame.h"

#include "platform/ui/ui_frame.h"

bool QDGDI_FrameWindow::GetClientSize(int* aWidth, int* aHeight)
{
    if (!myFrame)
        return false;
    UI_FrameGetViewSize(myFrame, aWidth, aHeight);
    return true;
}

void QDGDI_FrameWindow::ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    UI_FrameSetViewPixels(myFrame, aPixels, aWidth, aHeight, aStride);
}
