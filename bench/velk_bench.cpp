// Measures the data-language core: compiles .fruit and .velk files, writes the
// namespaces back as .velk text and prints the line count and the times.
//
//   velk_bench FILES...                 compile and write back the given files
//   velk_bench --generate N DIR         write DIR/bench.fruit and DIR/bench.velk
//                                       with N root instances, and the same data
//                                       as DIR/bench.proto and protobuf text
//                                       DIR/bench.txtpb, then measure them
//   velk_bench --shape wide ...         generate the second shape instead: more
//                                       members, references and nesting, and
//                                       longer names (velk_generate.h)
//   velk_bench --shape deep ...         or the third: small trees of nested
//                                       objects, long texts, most values left
//                                       at their defaults
//   velk_bench --shape small ...        or the fourth: many roots of 50 to 90
//                                       bytes each
//   velk_bench --shape nested ...       or the fifth: a class nested in each
//                                       root, beside a reference, an enum, a
//                                       text and a file
//   velk_bench --tez ...                also convert every namespace to .tez and
//                                       .loc beside its .velk and read it back
//   velk_bench --repeat K ...           run the measured work and the baseline K
//                                       times each, by turns, and print the
//                                       medians and the best times
//   velk_bench --log ...                compile with the language log on, as the
//                                       editor has it: its lines go to a debug
//                                       file beside the first file (.log.txt)
//                                       and to a subscriber
//
// The compile and write runs in a child process of its own, so that its time
// and peak memory compare with those of the baseline, `protoc --encode` of the
// generated protobuf text, run the same way in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_args.h"
#include "bench/bench_child.h"
#include "bench/velk_generate.h"
#include "platform/os/os_file.h"
#include "qcommon/qc_debug.h"
#include "qcommon/qc_publisher.h"
#include "tez/tez.h"
#include "tez/tez_convert.h"
#include "tez/tez_loc.h"
#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point aStart)
{
    return std::chrono::duration<double>(Clock::now() - aStart).count();
}

// CPU time of this process so far: on a busy machine it shows the work apart
// from the waiting (the saves also wait for the disk).
double CpuSeconds()
{
    timespec locTime;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &locTime);
    return double(locTime.tv_sec) + 1e-9 * double(locTime.tv_nsec);
}

bool EndsWith(const std::string& aText, const char* anEnd)
{
    const size_t locLength = strlen(anEnd);
    if (aText.size() < locLength)
        return false;
    for (size_t locIndex = 0; locIndex < locLength; locIndex++)
    {
        char locChar = aText[aText.size() - locLength + locIndex];
        if (locChar >= 'A' && locChar <= 'Z')
            locChar = locChar - 'A' + 'a';
        if (locChar != anEnd[locIndex])
            return false;
    }
    return true;
}

long CountLines(const char* aPath)
{
    FILE* locFile = fopen(aPath, "rb");
    if (locFile == nullptr)
        return 0;
    long locLines = 0;
    char locBuffer[65536];
    size_t locRead;
    while ((locRead = fread(locBuffer, 1, sizeof(locBuffer), locFile)) > 0)
        for (size_t locIndex = 0; locIndex < locRead; locIndex++)
            locLines += locBuffer[locIndex] == '\n';
    fclose(locFile);
    return locLines;
}

// Takes the log lines as the editor's console does: a copy of each.
class LogTaker : public QC_Subscriber<int, QC_String>
{
public:
    bool Receive(int aKey, QC_String aValue) override
    {
        myBytes += aValue.GetLength();
        return true;
    }
    long myBytes = 0;
};

// Shows the first error lines of the language log on standard error.
class ErrorPrinter : public QC_Subscriber<int, QC_String>
{
public:
    bool Receive(int aKey, QC_String aValue) override
    {
        if (myCount++ < 20)
            fprintf(stderr, "%s\n", aValue.GetBuffer());
        return true;
    }
    int myCount = 0;
};

// Compiles every file and saves each namespace beside its .velk as .out.velk;
// with aTez, also converts each to .tez and reads it back. Prints its figures;
// returns the process exit code.
bool ourLogFlag = false;

int RunVelk(const std::vector<std::string>& aFiles, bool aTez)
{
    ErrorPrinter locErrors;
    VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_ERROR, &locErrors);
    // Each run is a child of its own: the debug output starts afresh in it.
    LogTaker locLogTaker;
    if (ourLogFlag && !aFiles.empty())
    {
        VelkLog::SetLogSwitch(true);
        QC_Debug::Init((aFiles[0] + ".log.txt").c_str(), false, false, false, "");
        VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_LOG, &locLogTaker);
    }

    VelkTypeManager locTypes;
    std::vector<std::unique_ptr<VelkNameSpace>> locSpaces;
    std::vector<std::string> locSpaceFiles;
    double locCompileTime = 0.0;
    double locCompileCpu = 0.0;
    bool locOk = true;
    EverythingIgnorer locIgnorer;

    for (const std::string& locFile : aFiles)
    {
        Clock::time_point locStart = Clock::now();
        const double locStartCpu = CpuSeconds();
        bool locCompiled;
        if (EndsWith(locFile, ".fruit"))
            locCompiled = locTypes.Compile(locFile.c_str());
        else
        {
            locSpaces.push_back(std::make_unique<VelkNameSpace>());
            locSpaceFiles.push_back(locFile);
            locCompiled = VelkCompiler::Compile(*locSpaces.back(), locFile.c_str(), &locTypes, &locIgnorer);
        }
        locCompileTime += SecondsSince(locStart);
        locCompileCpu += CpuSeconds() - locStartCpu;
        if (!locCompiled)
            fprintf(stderr, "velk_bench: compiling %s failed\n", locFile.c_str());
        locOk = locOk && locCompiled;
    }

    // A namespace that did not compile holds part of its file: writing it would
    // replace the previous output with that part.
    if (!locOk)
    {
        fprintf(stderr, "velk_bench: a compile failed; nothing written\n");
        VelkLog::GetPublisher().Unsubscribe(&locErrors);
        VelkLog::GetPublisher().Unsubscribe(&locLogTaker);
        return 2;
    }

    double locSaveTime = 0.0;
    long locInstances = 0;
    for (size_t locIndex = 0; locIndex < locSpaces.size() && !aTez; locIndex++)
    {
        VelkNameSpace& locSpace = *locSpaces[locIndex];
        locInstances += locSpace.GetNumInstances();
        const std::string locOutName = locSpaceFiles[locIndex] + ".out.velk";
        Clock::time_point locStart = Clock::now();
        locOk = locSpace.Write(locOutName.c_str()) && locOk;
        locSaveTime += SecondsSince(locStart);
    }

    double locTezTime = 0.0;
    double locReadTime = 0.0;
    double locTezCpu = 0.0;
    double locReadCpu = 0.0;
    long locTezBytes = 0;
    long locLocBytes = 0;
    long locTexts = 0;
    for (size_t locIndex = 0; locIndex < locSpaces.size() && aTez; locIndex++)
    {
        const std::string& locVelkName = locSpaceFiles[locIndex];
        const std::string locBase = locVelkName.substr(0, locVelkName.find_last_of('.'));
        const std::string locTezName = locBase + ".tez";
        Clock::time_point locStart = Clock::now();
        double locStartCpu = CpuSeconds();
        const bool locConverted = VelkToTez::Convert(*locSpaces[locIndex], locVelkName.c_str());
        locTezTime += SecondsSince(locStart);
        locTezCpu += CpuSeconds() - locStartCpu;
        if (!locConverted)
        {
            fprintf(stderr, "velk_bench: conversion of '%s' failed\n", locVelkName.c_str());
            locOk = false;
            continue;
        }
        locStart = Clock::now();
        locStartCpu = CpuSeconds();
        Tez* locRoot = Tez::Load(locTezName.c_str(), false);
        locReadTime += SecondsSince(locStart);
        locReadCpu += CpuSeconds() - locStartCpu;
        if (locRoot == nullptr || locRoot->GetNumMembers() != locSpaces[locIndex]->GetNumInstances())
        {
            fprintf(stderr, "velk_bench: reading '%s' back failed\n", locTezName.c_str());
            locOk = false;
        }
        else if (locRoot->GetLocDecoder())
            locTexts += static_cast<long>(locRoot->GetLocDecoder()->GetNumTexts());
        delete locRoot;
        OS_FileInfo locInfo;
        if (OS_GetFileInfo(locTezName.c_str(), &locInfo))
            locTezBytes += static_cast<long>(locInfo.mySize);
        if (OS_GetFileInfo((locBase + ".loc").c_str(), &locInfo))
            locLocBytes += static_cast<long>(locInfo.mySize);
    }

    if (!aTez)
    {
        printf("instances  %ld root instances in %zu namespaces\n", locInstances, locSpaces.size());
        printf("compile    %.3f s\n", locCompileTime);
        printf("save file  %.3f s (written beside each .velk as .out.velk)\n", locSaveTime);
    }
    else
    {
        printf("tez run    compile %.3f s (%.3f s of CPU), tez write %.3f s (%.3f s of CPU; %ld bytes .tez, %ld bytes "
               ".loc, .hash report)\n",
               locCompileTime, locCompileCpu, locTezTime, locTezCpu, locTezBytes, locLocBytes);
        printf("tez read   %.3f s (%.3f s of CPU; %ld localised texts)\n", locReadTime, locReadCpu, locTexts);
        printf("tez ratio  convert + read %.3f s against the compile's %.3f s (%.2fx); CPU %.3f s against %.3f s "
               "(%.2fx)\n",
               locTezTime + locReadTime, locCompileTime, locCompileTime / (locTezTime + locReadTime),
               locTezCpu + locReadCpu, locCompileCpu, locCompileCpu / (locTezCpu + locReadCpu));
    }
    VelkLog::GetPublisher().Unsubscribe(&locErrors);
    VelkLog::GetPublisher().Unsubscribe(&locLogTaker);
    return locOk ? 0 : 2;
}

// The later runs print nothing: their figures go into the best of all runs.
int RunVelkQuietly(const std::vector<std::string>& aFiles)
{
    fflush(stdout);
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    return RunVelk(aFiles, false);
}

// The runs of one program: medians and bests of its times, and its peaks.
struct RunSet
{
    std::vector<double> mySeconds;
    std::vector<double> myCpuSeconds;
    std::vector<double> myPeakKB;
    int myExitCode = 0;

    void Add(const BenchChildRun& aRun)
    {
        if (aRun.myExitCode != 0 || !aRun.myStarted)
            myExitCode = aRun.myExitCode != 0 ? aRun.myExitCode : -1;
        mySeconds.push_back(aRun.mySeconds);
        myCpuSeconds.push_back(aRun.myCpuSeconds);
        myPeakKB.push_back(double(aRun.myPeakKB));
    }

    static double Median(std::vector<double> aValues)
    {
        std::sort(aValues.begin(), aValues.end());
        const size_t locMiddle = aValues.size() / 2;
        return aValues.size() % 2 ? aValues[locMiddle] : 0.5 * (aValues[locMiddle - 1] + aValues[locMiddle]);
    }
    static double Best(const std::vector<double>& aValues) { return *std::min_element(aValues.begin(), aValues.end()); }
    static double Most(const std::vector<double>& aValues) { return *std::max_element(aValues.begin(), aValues.end()); }
};

long FileBytes(const std::string& aPath)
{
    OS_FileInfo locInfo;
    return OS_GetFileInfo(aPath.c_str(), &locInfo) ? static_cast<long>(locInfo.mySize) : 0;
}
}

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv,
                      "usage: velk_bench [--tez] [--log] [--repeat K] FILES...\n"
                      "       velk_bench [--tez] [--log] [--repeat K] [--shape " BENCH_VELK_SHAPES "] --generate N DIR\n");
    std::vector<std::string> locFiles;
    std::string locGenerated;
    const bool locTezFlag = locArgs.Flag("--tez");
    ourLogFlag = locArgs.Flag("--log");
    int locRepeat = 1;
    locArgs.IntOption("--repeat", &locRepeat, 1, 1000);
    const char* locShape = "plain";
    locArgs.Option("--shape", 1, &locShape);
    const BenchVelkShapeInfo* locShapeInfo = BenchVelkShape(locShape);
    if (locShapeInfo == nullptr)
        locArgs.Refuse("--shape is " BENCH_VELK_SHAPES);
    const char* locGenerate[2] = {};
    if (locArgs.Option("--generate", 2, locGenerate))
    {
        const int locCount = locArgs.Int("--generate", locGenerate[0], 1, 100000000);
        locGenerated = locGenerate[1];
        locArgs.Operands(0, 0);
        if (!locShapeInfo->myGenerator(locCount, locGenerated, locFiles))
        {
            fprintf(stderr, "velk_bench: cannot generate %d instances in '%s'\n", locCount, locGenerated.c_str());
            return 1;
        }
    }
    else
        for (const char* locFile : locArgs.Operands(1, 100000))
            locFiles.push_back(locFile);

    long locLines = 0;
    long locTextBytes = 0;
    for (const std::string& locFile : locFiles)
    {
        locLines += CountLines(locFile.c_str());
        locTextBytes += FileBytes(locFile);
    }
    printf("lines      %ld (%ld bytes)\n", locLines, locTextBytes);

    // By turns, so that a change in the machine's load meets both alike.
    RunSet locVelk;
    RunSet locProtoc;
    for (int locRound = 0; locRound < locRepeat && locVelk.myExitCode == 0; locRound++)
    {
        locVelk.Add(BenchRunForked([&] { return locRound == 0 ? RunVelk(locFiles, false) : RunVelkQuietly(locFiles); }));
        if (!locGenerated.empty())
            locProtoc.Add(BenchRunChild({"protoc", "--encode=bench.Root", "bench.proto"}, locGenerated,
                                        locGenerated + "/bench.pb", locGenerated + "/bench.txtpb"));
    }
    // A failed compile has no figures worth showing.
    if (locVelk.myExitCode != 0)
    {
        printf("velk       failed (exit %d): no figures\n", locVelk.myExitCode);
        return 2;
    }
    const double locVelkSeconds = RunSet::Median(locVelk.mySeconds);
    const double locVelkCpu = RunSet::Median(locVelk.myCpuSeconds);
    const double locVelkPeak = RunSet::Most(locVelk.myPeakKB);
    if (locRepeat > 1)
        printf("repeat     %d runs of each by turns: medians (best), and the highest peaks\n", locRepeat);
    printf("velk       compile + save %.3f s (%.3f s) in its process, CPU %.3f s (%.3f s), peak %.0f KB (%.1fx the text)\n",
           locVelkSeconds, RunSet::Best(locVelk.mySeconds), locVelkCpu, RunSet::Best(locVelk.myCpuSeconds), locVelkPeak,
           locTextBytes ? 1024.0 * locVelkPeak / double(locTextBytes) : 0.0);
    bool locOk = true;
    if (locTezFlag)
        locOk = BenchRunForked([&] { return RunVelk(locFiles, true); }).myExitCode == 0;

    if (!locGenerated.empty())
    {
        if (locProtoc.myExitCode != 0)
            printf("protoc     failed or not installed (exit %d)\n", locProtoc.myExitCode);
        else
        {
            const double locProtocSeconds = RunSet::Median(locProtoc.mySeconds);
            const double locProtocCpu = RunSet::Median(locProtoc.myCpuSeconds);
            const double locProtocPeak = RunSet::Most(locProtoc.myPeakKB);
            printf("protoc     --encode %.3f s (%.3f s) in its process, CPU %.3f s (%.3f s), peak %.0f KB (%.1fx; %ld "
                   "bytes of text, %ld bytes out)\n",
                   locProtocSeconds, RunSet::Best(locProtoc.mySeconds), locProtocCpu, RunSet::Best(locProtoc.myCpuSeconds),
                   locProtocPeak, 1024.0 * locProtocPeak / double(FileBytes(locGenerated + "/bench.txtpb")),
                   FileBytes(locGenerated + "/bench.txtpb"), FileBytes(locGenerated + "/bench.pb"));
            printf("ratio      protoc time / velk time = %.2f (CPU %.2f), of the medians; best of each %.2f; velk peak / "
                   "protoc peak = %.2f\n",
                   locProtocSeconds / locVelkSeconds, locProtocCpu / locVelkCpu,
                   RunSet::Best(locProtoc.mySeconds) / RunSet::Best(locVelk.mySeconds), locVelkPeak / locProtocPeak);
        }
    }
    return locOk ? 0 : 2;
}
