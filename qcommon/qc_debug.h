// Debug output: printf-style lines handed to every debug listener.
#pragma once

#include "qcommon/qc_growingarray.h"

#include <cstdarg>

// An output sink of the debug output.
class QC_DebugListener
{
public:
    // One message without a line end; the sink adds its own.
    virtual void Print(const char* aText) = 0;
    // Releases the sink's resource; called once, before the sink is deleted.
    virtual void Close() = 0;
    virtual ~QC_DebugListener() {}
};

class QC_Debug
{
public:
    // Once per run (a second call is a fatal assertion until Shutdown). Empty
    // names mean none. False when a listener cannot be created or added.
    static bool Init(const char* aLogFileName, bool aStdoutListenerFlag, bool aNullListenerFlag,
                     bool anAppendLogFlag, const char* aStatisticsFileName);
    // Closes and deletes every listener, writes the statistics file.
    static void Shutdown();

    // Takes ownership of a non-null listener; false before Init or when full.
    static bool AddListener(QC_DebugListener* aListener);

    // Formats into 1024 bytes (longer text is cut) and hands it to every
    // listener; returns the number of listeners.
    static int Printf(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));
    static int PrintfV(const char* aFormat, va_list anArgs);
    // aText as it stands, as Printf("%s", aText) hands it on.
    static int Print(const char* aText);

    static int GetNrOfListeners();
    static bool IsInited() { return ourAmInitedFlag; }

    enum
    {
        BUFFER_SIZE = 1024
    };

#ifdef QC_RENDER_BUILD
    // The renderer build's further operations (qc_debug_render.cpp).
    enum
    {
        NUM_CHANNELS = 10
    };
    // Initialises without any listener or statistics.
    static bool Init();
    // Takes the listener out without closing or deleting it; false when absent.
    static bool RemoveListener(QC_DebugListener* aListener);
    // Empties the file once and remembers it for the channel (0-9); a channel
    // that has a file keeps it.
    static void OpenChannel(const char* aFileName, int aChannel);
    // Appends a line to the channel's file and passes the text to the listeners.
    static void ChannelPrintf(int aChannel, const char* aFormat, ...) __attribute__((format(printf, 2, 3)));
    // Recorded only when Init was given a statistics file.
    static void AddStatistic(const char* aName, int aValue);
    static void AddStatistic(const char* aName, float aValue);

private:
    static void InitChannels();
    static void ShutdownChannels();
    static char** ourChannels;

public:
#endif

private:
    struct IntStatistic
    {
        char* myName;
        int myCount;
        int mySum;
        int myMax;
        int myMin;
    };
    struct FloatStatistic
    {
        char* myName;
        int myCount;
        float mySum;
        float myMax;
        float myMin;
    };

    static void WriteStatistics();

    static bool ourAmInitedFlag;
    // Heap objects, so that a fatal exit leaves them reachable rather than
    // half destroyed; Shutdown frees them.
    static QC_GrowingArray<QC_DebugListener*>* ourListeners;
    static char* ourStatisticsFileName;
    static QC_GrowingArray<IntStatistic*>* ourIntStatistics;
    static QC_GrowingArray<FloatStatistic*>* ourFloatStatistics;
};
