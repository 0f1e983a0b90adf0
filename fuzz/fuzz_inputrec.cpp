// Input recordings: arbitrary bytes played back frame by frame until the
// playback ends, as a program would read them.
#include <cstdint>
#include <cstdio>

#include "qinput/qi_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize == 0)
        return 0;
    FILE* locFile = fmemopen(const_cast<uint8_t*>(aData), aSize, "rb");
    if (!locFile)
        return 0;
    if (QI_Input::StartPlayback(locFile))
    {
        QI_Input* locInput = QI_Input::GetInstance();
        // Every frame record takes at least 26 bytes, so this many frames reach the end.
        for (size_t i = 0; i <= aSize / 26 + 1 && locInput->myFile; i++)
            locInput->Update();
        if (locInput->myFile)
            __builtin_trap();
        locInput->Update();
        QI_Input::Shutdown();
    }
    return 0;
}
