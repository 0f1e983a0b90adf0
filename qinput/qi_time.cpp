// The frame timer over the monotonic clock.
#include "qinput/qi_time.h"

#include <new>
#include <time.h>

namespace
{
bool locMonotonicFrequency(uint64_t* aFrequency)
{
    *aFrequency = 1000000000ull;
    return true;
}

bool locMonotonicCounter(uint64_t* aCounter)
{
    timespec locNow;
    if (clock_gettime(CLOCK_MONOTONIC, &locNow) != 0)
        return false;
    *aCounter = (uint64_t)locNow.tv_sec * 1000000000ull + (uint64_t)locNow.tv_nsec;
    return true;
}

uint32_t locMonotonicTicks()
{
    timespec locNow;
    clock_gettime(CLOCK_MONOTONIC, &locNow);
    return (uint32_t)((uint64_t)locNow.tv_sec * 1000u + (uint64_t)locNow.tv_nsec / 1000000u);
}

const QI_TimeSource locMonotonicSource = {locMonotonicFrequency, locMonotonicCounter, locMonotonicTicks};
const QI_TimeSource* locSource = &locMonotonicSource;
} // namespace

float QI_Time::ourFrameTime = 0.0f;
float QI_Time::ourTime = 0.0f;
double QI_Time::ourRealFrameTime = 0.0;
double QI_Time::ourTotalRealTime = 0.0;
double QI_Time::ourStartTime = 0.0;
double QI_Time::ourFrequency = -1.0;
uint64_t QI_Time::ourLastCounter = 0;
QI_Time* QI_Time::ourInstance = nullptr;

void QI_Time::SetSource(const QI_TimeSource* aSource)
{
    locSource = aSource ? aSource : &locMonotonicSource;
}

bool QI_Time::Init()
{
    if (!ourInstance)
        ourInstance = new (std::nothrow) QI_Time;
    return true;
}

void QI_Time::Shutdown()
{
    delete ourInstance;
    ourInstance = nullptr;
}

QI_Time::QI_Time()
{
    myMinFrameTime = -1.0f;
    myMaxFrameTime = -1.0f;
    myHistory = new double[1];
    myHistory[0] = 0.001;
    myHistoryIndex = 0;
    myRunningTime = 0.0;
    ourStartTime = locSource->myGetTickCount() * 0.001;
    uint64_t locFrequency;
    if (!locSource->myQueryFrequency(&locFrequency) || locFrequency == 0)
    {
        ourFrequency = -1.0;
        return;
    }
    ourFrequency = (double)locFrequency;
    if (!locSource->myQueryCounter(&ourLastCounter))
        ourFrequency = -1.0;
}

QI_Time::~QI_Time()
{
    delete[] myHistory;
}

void QI_Time::Update()
{
    double locMeasured;
    uint64_t locCounter;
    if (ourFrequency > 0.0 && locSource->myQueryCounter(&locCounter))
    {
        locMeasured = (double)(int64_t)(locCounter - ourLastCounter) / ourFrequency;
        ourLastCounter = locCounter;
    }
    else
    {
        // Time since start that the running time has not accounted for yet.
        locMeasured = ((double)locSource->myGetTickCount() * 0.001 - ourStartTime) - myRunningTime;
        ourFrequency = -1.0;
    }
    myHistory[0] = locMeasured;
    myHistoryIndex = 0;
    ourRealFrameTime = locMeasured;
    ourTotalRealTime += locMeasured;

    double locFrameTime = locMeasured;
    if (myMinFrameTime >= 0.0f && locFrameTime < myMinFrameTime)
        locFrameTime = myMinFrameTime;
    if (myMaxFrameTime >= 0.0f && locFrameTime > myMaxFrameTime)
        locFrameTime = myMaxFrameTime;

    myRunningTime += locFrameTime;
    ourFrameTime = (float)locFrameTime;
    ourTime = (float)myRunningTime;
}

void QI_Time::SetMinFrameRate(float aRate)
{
    myMaxFrameTime = (aRate > 0.0f) ? 1.0f / aRate : -1.0f;
}

void QI_Time::SetMaxFrameRate(float aRate)
{
    myMinFrameTime = (aRate > 0.0f) ? 1.0f / aRate : -1.0f;
}

void QI_Time::Pause(bool aFlag)
{
    myMaxFrameTime = aFlag ? 0.0f : -1.0f;
}
