// The frame's view pane as the editors' drawing window.
#include "velkeditor/velk_editorview.h"

#include "platform/ui/ui_frame.h"

#include <cstring>

bool VelkEditorView::GetClientSize(int* aWidth, int* aHeight)
{
    if (!myFrame)
        return false;
    UI_FrameGetViewSize(myFrame, aWidth, aHeight);
    return true;
}

void VelkEditorView::ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride)
{
    if (!myFrame || aWidth <= 0 || aHeight <= 0)
        return;
    myImage.myWidth = aWidth;
    myImage.myHeight = aHeight;
    myImage.myPixels.resize((size_t)aWidth * aHeight);
    for (int y = 0; y < aHeight; y++)
        memcpy(&myImage.myPixels[(size_t)y * aWidth], (const uint8_t*)aPixels + (size_t)y * aStride,
               (size_t)aWidth * 4);
    UI_FrameSetViewPicture(myFrame, myImage);
}

bool VelkEditorView::GetCursorPosition(int* anX, int* aY)
{
    if (!myFrame)
        return false;
    UI_FrameGetViewCursor(myFrame, anX, aY);
    return true;
}
