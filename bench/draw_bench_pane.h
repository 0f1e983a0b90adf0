// What the parts of draw_bench share: a pane of a fixed size whose present
// copies the picture once, as the shell's pane does, and a clock.
#pragma once

#include <QImage>

#include <chrono>
#include <cstdint>
#include <cstring>

#include "qdrawgdi/qdgdi.h"

inline double DrawBenchSeconds(std::chrono::steady_clock::time_point aStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

class DrawBenchPane : public QDGDI_Window
{
  public:
    DrawBenchPane(int aWidth, int aHeight) : myShown(aWidth, aHeight, QImage::Format_RGB32) {}
    bool GetClientSize(int* aWidth, int* aHeight) override
    {
        *aWidth = myShown.width();
        *aHeight = myShown.height();
        return true;
    }
    void ShowPicture(const uint32_t* aPixels, int aWidth, int aHeight, int aStride) override
    {
        for (int y = 0; y < aHeight; y++)
            memcpy(myShown.scanLine(y), (const uint8_t*)aPixels + size_t(y) * aStride, size_t(aWidth) * 4);
        myPresents++;
    }

    QImage myShown;
    int myPresents = 0;
};
