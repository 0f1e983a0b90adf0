// Debug output fanned out to the listeners, and the statistics file.
#include "qcommon/qc_debug.h"

#include "qcommon/qc_assert.h"
#include "qcommon/qc_debuglistenerimplementations.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

bool QC_Debug::ourAmInitedFlag = false;
QC_GrowingArray<QC_DebugListener*>* QC_Debug::ourListeners = NULL;
char* QC_Debug::ourStatisticsFileName = NULL;
QC_GrowingArray<QC_Debug::IntStatistic*>* QC_Debug::ourIntStatistics = NULL;
QC_GrowingArray<QC_Debug::FloatStatistic*>* QC_Debug::ourFloatStatistics = NULL;

// A new array of capacity 1 and growth step 1, or null when out of memory.
template <class T>
static QC_GrowingArray<T>* locNewArray()
{
    QC_GrowingArray<T>* locArray = new (std::nothrow) QC_GrowingArray<T>;
    if (locArray && !locArray->Init(1, 1, false))
    {
        delete locArray;
        locArray = NULL;
    }
    return locArray;
}

bool QC_Debug::Init(const char* aLogFileName, bool aStdoutListenerFlag, bool aNullListenerFlag,
                    bool anAppendLogFlag, const char* aStatisticsFileName)
{
    QC_ASSERT(ourAmInitedFlag == false);
    ourAmInitedFlag = true;
#ifdef QC_RENDER_BUILD
    InitChannels();
#endif

    if (aStatisticsFileName && aStatisticsFileName[0])
        ourStatisticsFileName = strdup(aStatisticsFileName);

    ourListeners = locNewArray<QC_DebugListener*>();
    if (!ourListeners)
        return false;
    if (ourStatisticsFileName)
    {
        ourIntStatistics = locNewArray<IntStatistic*>();
        ourFloatStatistics = locNewArray<FloatStatistic*>();
    }

    if (aStdoutListenerFlag && !AddListener(new (std::nothrow) QC_StdoutDebugListener))
        return false;
    if (aLogFileName && aLogFileName[0]
        && !AddListener(new (std::nothrow) QC_FileDebugListener(anAppendLogFlag, aLogFileName)))
        return false;
    if (aNullListenerFlag && !AddListener(new (std::nothrow) QC_NullDebugListener))
        return false;
    return true;
}

bool QC_Debug::AddListener(QC_DebugListener* aListener)
{
    if (!aListener)
        return false;
    if (!ourListeners || !ourListeners->Add(aListener))
    {
        delete aListener;
        return false;
    }
    return true;
}

int QC_Debug::GetNrOfListeners()
{
    return ourListeners ? ourListeners->myUsedNrOfItems : 0;
}

int QC_Debug::Printf(const char* aFormat, ...)
{
    va_list locArgs;
    va_start(locArgs, aFormat);
    int locResult = PrintfV(aFormat, locArgs);
    va_end(locArgs);
    return locResult;
}

int QC_Debug::PrintfV(const char* aFormat, va_list anArgs)
{
    int locNrOfListeners = GetNrOfListeners();
    if (locNrOfListeners == 0)
        return 0;
    char locBuffer[BUFFER_SIZE];
    memset(locBuffer, 0, sizeof(locBuffer));
    vsnprintf(locBuffer, sizeof(locBuffer), aFormat ? aFormat : "", anArgs);
    for (int locIndex = 0; locIndex < ourListeners->myUsedNrOfItems; ++locIndex)
        ourListeners->myItemList[locIndex]->Print(locBuffer);
    return locNrOfListeners;
}

int QC_Debug::Print(const char* aText)
{
    int locNrOfListeners = GetNrOfListeners();
    if (locNrOfListeners == 0)
        return 0;
    // Cut where Printf's buffer would cut it.
    const char* locText = aText ? aText : "";
    char locBuffer[BUFFER_SIZE];
    if (strnlen(locText, BUFFER_SIZE) == BUFFER_SIZE)
    {
        memcpy(locBuffer, locText, BUFFER_SIZE - 1);
        locBuffer[BUFFER_SIZE - 1] = 0;
        locText = locBuffer;
    }
    for (int locIndex = 0; locIndex < ourListeners->myUsedNrOfItems; ++locIndex)
        ourListeners->myItemList[locIndex]->Print(locText);
    return locNrOfListeners;
}

void QC_Debug::Shutdown()
{
    // Drains slot 0: listeners close in the order first, last, second-to-last...
    while (ourListeners && ourListeners->myUsedNrOfItems > 0)
    {
        QC_DebugListener* locListener = ourListeners->myItemList[0];
        ourListeners->RemoveAt(0);
        locListener->Close();
        delete locListener;
    }
    delete ourListeners;
    ourListeners = NULL;
    WriteStatistics();
    delete ourIntStatistics;
    ourIntStatistics = NULL;
    delete ourFloatStatistics;
    ourFloatStatistics = NULL;
    free(ourStatisticsFileName);
    ourStatisticsFileName = NULL;
#ifdef QC_RENDER_BUILD
    ShutdownChannels();
#endif
    ourAmInitedFlag = false;
}

void QC_Debug::WriteStatistics()
{
    FILE* locFile = NULL;
    int locNrOfInts = ourIntStatistics ? ourIntStatistics->myUsedNrOfItems : 0;
    int locNrOfFloats = ourFloatStatistics ? ourFloatStatistics->myUsedNrOfItems : 0;
    if (ourStatisticsFileName && (locNrOfInts > 0 || locNrOfFloats > 0))
    {
        locFile = fopen(ourStatisticsFileName, "w");
        if (locFile)
            fprintf(locFile, "      NumberOf        Average            Min            Max, Statistics variable\r\n");
    }
    while (ourIntStatistics && ourIntStatistics->myUsedNrOfItems > 0)
    {
        IntStatistic* locStatistic = ourIntStatistics->myItemList[0];
        ourIntStatistics->RemoveAt(0);
        if (locFile && locStatistic->myCount > 0)
            fprintf(locFile, "%14d,%14d,%14d,%14d, %s\r\n", locStatistic->myCount,
                    locStatistic->mySum / locStatistic->myCount, locStatistic->myMin, locStatistic->myMax,
                    locStatistic->myName);
        free(locStatistic->myName);
        delete locStatistic;
    }
    while (ourFloatStatistics && ourFloatStatistics->myUsedNrOfItems > 0)
    {
        FloatStatistic* locStatistic = ourFloatStatistics->myItemList[0];
        ourFloatStatistics->RemoveAt(0);
        if (locFile && locStatistic->myCount > 0)
            fprintf(locFile, "%14d,%14f,%14f,%14f, %s\r\n", locStatistic->myCount,
                    (double)(locStatistic->mySum / (float)locStatistic->myCount), (double)locStatistic->myMin,
                    (double)locStatistic->myMax, locStatistic->myName);
        free(locStatistic->myName);
        delete locStatistic;
    }
    if (locFile)
        fclose(locFile);
}
