// For tests: the debug lines printed while a DebugLines object lives.
#pragma once

#include <string>
#include <vector>

#include "qcommon/qc_debug.h"

// Keeps the debug lines while it is installed.
class DebugLines : public QC_DebugListener
{
public:
    DebugLines()
    {
        if (!QC_Debug::IsInited())
            QC_Debug::Init();
        QC_Debug::AddListener(this);
    }
    ~DebugLines() override { QC_Debug::RemoveListener(this); }
    void Print(const char* aText) override { myLines.push_back(aText); }
    void Close() override {}

    std::vector<std::string> myLines;
};
