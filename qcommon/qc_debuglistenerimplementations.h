// The debug listeners: standard output, a log file, and a sink for nothing.
#pragma once

#include "qcommon/qc_debug.h"

#include <cstdio>

class QC_StdoutDebugListener : public QC_DebugListener
{
public:
    void Print(const char* aText) override;
    void Close() override;
};

// Writes every line unbuffered, so the log survives a crash.
class QC_FileDebugListener : public QC_DebugListener
{
public:
    // Opens "at" when appending, else "wt"; on failure the listener prints nothing.
    QC_FileDebugListener(bool anAppendFlag, const char* aFileName);
    ~QC_FileDebugListener() override;

    void Print(const char* aText) override;
    void Close() override;
    bool IsOpen() const { return myFile != NULL; }

private:
    FILE* myFile;
};

class QC_NullDebugListener : public QC_DebugListener
{
public:
    void Print(const char* aText) override;
    void Close() override;
};
