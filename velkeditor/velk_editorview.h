// The frame's view pane as the window the editors draw in: the presented
// picture is copied once into the view's picture, and the pane's last pointer position is
// the cursor the editors read.
#pragma once

#include "qdrawgdi/qdgdi.h"

struct UI_Frame;

class VelkEditorView : public QDGDI_Window
{
public:
    // The frame is not owned and must outlive the view.
    explicit VelkEditorView(UI_Frame* aFrame) : myFrame(aFrame) {}

    bool GetClientSize(int* aWidth, int* aHeight) override;
    void ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride) override;
    bool GetCursorPosition(int* anX, int* aY) override;

private:
    UI_Frame* myFrame;
};
