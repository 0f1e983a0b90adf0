// The shell's view pane as the window a drawing factory presents to.
#pragma once

#include "qdrawgdi/qdgdi.h"

struct UI_Frame;

class QDGDI_FrameWindow : public QDGDI_Window
{
public:
    // The frame is not owned and must outlive every factory made on this window.
    explicit QDGDI_FrameWindow(UI_Frame* aFrame) : myFrame(aFrame) {}

    bool GetClientSize(int* aWidth, int* aHeight) override;
    // One copy into the pane's picture; the pane paints it on its next turn.
    void ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride) override;

    UI_Frame* GetFrame() const { return myFrame; }

private:
    UI_Frame* myFrame;
};
