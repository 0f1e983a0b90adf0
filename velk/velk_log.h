// The log of the data-language core: every message of the type model, the
// compilers and the writer is published here, log lines under key 0 and error
// lines under key 1, and copied to the debug output.
#pragma once

#include <cstdarg>

#include "qcommon/qc_publisher.h"
#include "qcommon/qc_string.h"

class ParseTool;

enum VelkLogKey
{
    VELK_LOG_KEY_LOG = 0,
    VELK_LOG_KEY_ERROR = 1,
};

class VelkLog
{
public:
    // Each answers true only when a subscriber list for its key took the line.
    static bool Log(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
    static bool Error(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
    // An error line prefixed with "(file, line n)" of the tool.
    static bool ParseError(const ParseTool& aParseTool, const char* aFormat, ...) __attribute__((format(printf, 2, 3)));

    static QC_Publisher<int, QC_String>& GetPublisher();

    // Log lines are off and error lines on when the program starts.
    static bool GetLogSwitch() { return ourLogSwitch; }
    static void SetLogSwitch(bool aFlag) { ourLogSwitch = aFlag; }
    static bool GetErrorSwitch() { return ourErrorSwitch; }
    static void SetErrorSwitch(bool aFlag) { ourErrorSwitch = aFlag; }

private:
    // Formats the line only when the debug output or a subscriber of aKey takes it.
    static bool Priv_PublishV(int aKey, const char* aPrefix, const char* aFormat, va_list anArgs);

    static bool ourLogSwitch;
    static bool ourErrorSwitch;
};
