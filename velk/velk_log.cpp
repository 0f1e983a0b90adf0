// The language log.
#include "velk/velk_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

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
}

QC_Publisher<int, QC_String>& VelkLog::GetPublisher()
{
    // Never destroyed: subscribers may unsubscribe from static destructors.
    static QC_Publisher<int, QC_String>* ourPublisher = new QC_Publisher<int, QC_String>();
    return *ourPublisher;
}

bool VelkLog::Priv_PublishV(int aKey, const char* aPrefix, const char* aFormat, va_list anArgs)
{
    QC_Publisher<int, QC_String>& locPublisher = GetPublisher();
    QC_List<QC_Subscriber<int, QC_String>*>* locSubscribers = nullptr;
    const bool locSubscribed = locPublisher.myTree.Find(aKey, &locSubscribers);
    // A compile logs a line per root: nobody reads them before the editor listens.
    if (!locSubscribed && QC_Debug::GetNrOfListeners() == 0)
        return false;
    // "prefix text", each part and the whole cut at the buffer's size.
    char locLine[VELK_LOG_BUFFER_SIZE];
    const size_t locPrefixLength = strlen(aPrefix);
    memcpy(locLine, aPrefix, locPrefixLength);
    locLine[locPrefixLength] = ' ';
    vsnprintf(locLine + locPrefixLength + 1, sizeof(locLine) - locPrefixLength - 1, aFormat, anArgs);
    QC_Debug::Print(locLine);
    if (!locSubscribed)
        return false;
    return locPublisher.CallbackSubscribers(locSubscribers, aKey, QC_String(locLine));
}

bool VelkLog::Log(const char* aFormat, ...)
{
    if (!ourLogSwitch)
        return false;
    va_list locArgs;
    va_start(locArgs, aFormat);
    const bool locTaken = Priv_PublishV(VELK_LOG_KEY_LOG, VELK_LOG_PREFIX, aFormat, locArgs);
    va_end(locArgs);
    return locTaken;
}

bool VelkLog::Error(const char* aFormat, ...)
{
    if (!ourErrorSwitch)
        return false;
    va_list locArgs;
    va_start(locArgs, aFormat);
    const bool locTaken = Priv_PublishV(VELK_LOG_KEY_ERROR, VELK_ERROR_PREFIX, aFormat, locArgs);
    va_end(locArgs);
    return locTaken;
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
