// The renderer build's further debug operations: the argument-less Init,
// listener removal, output channels written to their own files, and the
// statistics recorders.
#include "qcommon/qc_debug.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <new>

#include "qcommon/qc_assert.h"

char** QC_Debug::ourChannels = NULL;

namespace
{
// Adds aValue to the statistic of that name in aList, which gets it on first use.
template <class Statistic, class Value>
void locAddStatistic(QC_GrowingArray<Statistic*>* aList, const char* aName, Value aValue)
{
    for (int i = 0; i < aList->myUsedNrOfItems; i++)
    {
        Statistic* locStatistic = aList->myItemList[i];
        if (strcmp(locStatistic->myName, aName) == 0)
        {
            locStatistic->mySum += aValue;
            locStatistic->myCount++;
            if (aValue < locStatistic->myMin)
                locStatistic->myMin = aValue;
            if (locStatistic->myMax < aValue)
                locStatistic->myMax = aValue;
            return;
        }
    }
    Statistic* locStatistic = new (std::nothrow) Statistic{strdup(aName), 1, aValue, aValue, aValue};
    if (!locStatistic)
        return;
    if (!locStatistic->myName || !aList->Add(locStatistic))
    {
        free(locStatistic->myName);
        delete locStatistic;
    }
}
} // namespace

void QC_Debug::InitChannels()
{
    ourChannels = new (std::nothrow) char*[NUM_CHANNELS];
    if (ourChannels)
        for (int i = 0; i < NUM_CHANNELS; i++)
            ourChannels[i] = NULL;
}

void QC_Debug::ShutdownChannels()
{
    if (!ourChannels)
        return;
    for (int i = 0; i < NUM_CHANNELS; i++)
        free(ourChannels[i]);
    delete[] ourChannels;
    ourChannels = NULL;
}

bool QC_Debug::Init()
{
    QC_ASSERT(ourAmInitedFlag == false);
    ourAmInitedFlag = true;
    InitChannels();
    ourListeners = new (std::nothrow) QC_GrowingArray<QC_DebugListener*>;
    if (ourListeners && !ourListeners->Init(1, 1, false))
    {
        delete ourListeners;
        ourListeners = NULL;
    }
    return true;
}

bool QC_Debug::RemoveListener(QC_DebugListener* aListener)
{
    if (!aListener || !ourListeners)
        return false;
    for (int i = 0; i < ourListeners->myUsedNrOfItems; i++)
        if (ourListeners->myItemList[i] == aListener)
        {
            ourListeners->RemoveAt(i);
            return true;
        }
    return false;
}

void QC_Debug::OpenChannel(const char* aFileName, int aChannel)
{
    if (!ourChannels || !aFileName || aChannel < 0 || aChannel >= NUM_CHANNELS || ourChannels[aChannel])
        return;
    FILE* locFile = fopen(aFileName, "w");
    if (!locFile)
        return;
    fclose(locFile);
    ourChannels[aChannel] = strdup(aFileName);
}

void QC_Debug::ChannelPrintf(int aChannel, const char* aFormat, ...)
{
    if (!ourChannels || aChannel < 0 || aChannel >= NUM_CHANNELS || !ourChannels[aChannel] || !aFormat)
        return;
    FILE* locFile = fopen(ourChannels[aChannel], "a");
    if (!locFile)
        return;
    char locBuffer[BUFFER_SIZE];
    va_list locArgs;
    va_start(locArgs, aFormat);
    vsnprintf(locBuffer, sizeof(locBuffer), aFormat, locArgs);
    va_end(locArgs);
    fprintf(locFile, "%s\r\n", locBuffer);
    Printf("%s", locBuffer);
    fclose(locFile);
}

void QC_Debug::AddStatistic(const char* aName, int aValue)
{
    if (!ourStatisticsFileName || !ourIntStatistics || !aName)
        return;
    locAddStatistic(ourIntStatistics, aName, aValue);
}

void QC_Debug::AddStatistic(const char* aName, float aValue)
{
    if (!ourStatisticsFileName || !ourFloatStatistics || !aName)
        return;
    locAddStatistic(ourFloatStatistics, aName, aValue);
}
