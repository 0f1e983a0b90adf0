// The frame's view pane as the editors' drawing window.
#include "velkeditor/velk_editorview.h"

#include "platform/ui/ui_frame.h"

bool VelkEditorView::GetClientSize(int* aWidth, int* aHeight)
{
    if (!myFrame)
        return false;
    UI_FrameGetViewSize(myFrame, aWidth, aHeight);
    return true;
}

void VelkEditorView::ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    if (!aPixels)
        UI_FrameSetViewPicture(myFrame, UI_Image());
    else
        UI_FrameSetViewPixels(myFrame, aPixels, aWidth, aHeight, aStride);
}

bool VelkEditorView::GetCursorPosition(int* anX, int* aY)
{
    if (!myFrame)
        return false;
    UI_FrameGetViewCursor(myFrame, anX, aY);
    return true;
}
