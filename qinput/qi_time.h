// The frame timer: measures each frame, clamps it and publishes the results
// as process-wide values that every animated part of the renderer reads.
#pragma once

#include <stdint.h>

// Where the timer reads its clocks; tests install their own.
struct QI_TimeSource
{
    bool (*myQueryFrequency)(uint64_t* aFrequency); // counts per second
    bool (*myQueryCounter)(uint64_t* aCounter);
    uint32_t (*myGetTickCount)();                   // milliseconds
};

class QI_Time
{
public:
    static bool Init();
    static void Shutdown();
    static QI_Time* GetInstance() { return ourInstance; }

    QI_Time();
    ~QI_Time();

    // One measurement; called once per frame.
    void Update();

    // The maximum frame time becomes 1 / rate (rate <= 0: no maximum).
    void SetMinFrameRate(float aRate);
    // The minimum frame time becomes 1 / rate (rate <= 0: no minimum).
    void SetMaxFrameRate(float aRate);
    // True stands the running time still; false lifts every maximum.
    void Pause(bool aFlag);

    // Null restores the monotonic clock. Takes effect for the next QI_Time.
    static void SetSource(const QI_TimeSource* aSource);

    static float ourFrameTime;       // clamped, seconds
    static float ourTime;            // running clamped time, seconds
    static double ourRealFrameTime;  // before clamping
    static double ourTotalRealTime;  // sum before clamping
    static double ourStartTime;      // tick count at construction, seconds
    static double ourFrequency;      // counts per second; -1 when there is no counter
    static uint64_t ourLastCounter;

    double* myHistory;
    double myRunningTime;
    int myHistoryIndex;
    float myMinFrameTime; // -1: none
    float myMaxFrameTime; // -1: none

private:
    static QI_Time* ourInstance;
};
