// The language log.
#include "velk/velk_log.h"

#include <cstdarg>
#include <cstdio>

#include "qcommon/qc_debug.h"
#include "velk/velk_local.h"
#include "velk/velk_parsetool.h"

bool VelkLog::ourLogSwitch = false;
bool VelkLog::ourErrorSwitch = true;

namespace
{
constexpr int VELK_LOG_BUFFER_SIZE = 1024;
const char* const VELK_LOG_PREFIX = "LOG:";
const char* const VELK_ERROR_PREFIX = "ERROR:";
const char* const VELK_LOG_JOIN = "%s %s";
}

QC_Publisher<int, QC_String>& VelkLog::GetPublisher()
{
    // Never destroyed: subscribers may unsubscribe from static destructors.
    static QC_Publisher<int, QC_String>* ourPublisher = new QC_Publisher<int, QC_String>();
    return *ourPublisher;
}

bool VelkLog::Priv_Publish(int aKey, const char* aPrefix, const char* aText)
{
    char locLine[VELK_LOG_BUFFER_SIZE];
    snprintf(locLine, sizeof(locLine), VELK_LOG_JOIN, aPrefix, aText);
    QC_Debug::Printf("%s", locLine);

    QC_Publisher<int, QC_String>& locPublisher = GetPublisher();
    QC_List<QC_Subscriber<int, QC_String>*>* locSubscribers = nullptr;
    if (!locPublisher.myTree.Find(aKey, &locSubscribers))
        return false;
    return locPublisher.CallbackSubscribers(locSubscribers, aKey, QC_String(locLine));
}

bool VelkLog::Log(const char* aFormat, ...)
{
    if (!ourLogSwitch)
        return false;
    char locText[VELK_LOG_BUFFER_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat, locArgs);
    va_end(locArgs);
    return Priv_Publish(VELK_LOG_KEY_LOG, VELK_LOG_PREFIX, locText);
}

bool VelkLog::Error(const char* aFormat, ...)
{
    if (!ourErrorSwitch)
        return false;
    char locText[VELK_LOG_BUFFER_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat, locArgs);
    va_end(locArgs);
    return Priv_Publish(VELK_LOG_KEY_ERROR, VELK_ERROR_PREFIX, locText);
}

bool VelkLog::ParseError(const ParseTool& aParseTool, const char* aFormat, ...)
{
    if (!ourErrorSwitch)
        return false;
    char locText[VELK_LOG_BUFFER_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locText, sizeof(locText), aFormat, locArgs);
    va_end(locArgs);
    return Error("(%s, line %d) %s", Velk_Text(aParseTool.GetFileName()), aParseTool.GetLineCounter(), locText);
}
