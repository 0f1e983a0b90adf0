// Measures the data-language core: compiles .fruit and .velk files, writes the
// namespaces back as .velk text and prints the line count and the times.
//
//   velk_bench FILES...                 compile and write back the given files
//   velk_bench --generate N DIR         write DIR/bench.fruit and DIR/bench.velk
//                                       with N root instances, and the same data
//                                       as DIR/bench.proto and protobuf text
//                                       DIR/bench.txtpb, then measure them
//   velk_bench --tez ...                also convert every namespace to .tez and
//                                       .loc beside its .velk and read it back
//
// The compile and write runs in a child process of its own, so that its time
// and peak memory compare with those of the baseline, `protoc --encode` of the
// generated protobuf text, run the same way in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_child.h"
#include "bench/velk_generate.h"
#include "platform/os/os_file.h"
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
int RunVelk(const std::vector<std::string>& aFiles, bool aTez)
{
    ErrorPrinter locErrors;
    VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_ERROR, &locErrors);

    VelkTypeManager locTypes;
    std::vector<std::unique_ptr<VelkNameSpace>> locSpaces;
    std::vector<std::string> locSpaceFiles;
    double locCompileTime = 0.0;
    bool locOk = true;
    EverythingIgnorer locIgnorer;

    for (const std::string& locFile : aFiles)
    {
        Clock::time_point locStart = Clock::now();
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
    long locTezBytes = 0;
    long locLocBytes = 0;
    long locTexts = 0;
    for (size_t locIndex = 0; locIndex < locSpaces.size() && aTez; locIndex++)
    {
        const std::string& locVelkName = locSpaceFiles[locIndex];
        const std::string locBase = locVelkName.substr(0, locVelkName.find_last_of('.'));
        const std::string locTezName = locBase + ".tez";
        Clock::time_point locStart = Clock::now();
        const bool locConverted = VelkToTez::Convert(*locSpaces[locIndex], locVelkName.c_str());
        locTezTime += SecondsSince(locStart);
        if (!locConverted)
        {
            fprintf(stderr, "velk_bench: conversion of '%s' failed\n", locVelkName.c_str());
            locOk = false;
            continue;
        }
        locStart = Clock::now();
        Tez* locRoot = Tez::Load(locTezName.c_str(), false);
        locReadTime += SecondsSince(locStart);
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
        printf("tez run    compile %.3f s, tez write %.3f s (%ld bytes .tez, %ld bytes .loc, .hash report)\n",
               locCompileTime, locTezTime, locTezBytes, locLocBytes);
        printf("tez read   %.3f s (%ld localised texts); convert + read %.3f s against the compile's %.3f s\n",
               locReadTime, locTexts, locTezTime + locReadTime, locCompileTime);
    }
    VelkLog::GetPublisher().Unsubscribe(&locErrors);
    return locOk ? 0 : 2;
}

long FileBytes(const std::string& aPath)
{
    OS_FileInfo locInfo;
    return OS_GetFileInfo(aPath.c_str(), &locInfo) ? static_cast<long>(locInfo.mySize) : 0;
}
}

int main(int argc, char** argv)
{
    std::vector<std::string> locFiles;
    std::string locGenerated;
    bool locTezFlag = false;
    for (int locArg = 1; locArg < argc; locArg++)
    {
        if (strcmp(argv[locArg], "--tez") == 0)
            locTezFlag = true;
        else if (strcmp(argv[locArg], "--generate") == 0 && locArg + 2 < argc)
        {
            const int locCount = atoi(argv[locArg + 1]);
            locGenerated = argv[locArg + 2];
            if (locCount < 1 || !BenchGenerateVelk(locCount, locGenerated, locFiles))
            {
                fprintf(stderr, "velk_bench: cannot generate %s instances in '%s'\n", argv[locArg + 1], argv[locArg + 2]);
                return 1;
            }
            locArg += 2;
        }
        else
            locFiles.push_back(argv[locArg]);
    }
    if (locFiles.empty())
    {
        fprintf(stderr, "usage: velk_bench [--tez] FILES...\n       velk_bench [--tez] --generate N DIR\n");
        return 1;
    }

    long locLines = 0;
    long locTextBytes = 0;
    for (const std::string& locFile : locFiles)
    {
        locLines += CountLines(locFile.c_str());
        locTextBytes += FileBytes(locFile);
    }
    printf("lines      %ld (%ld bytes)\n", locLines, locTextBytes);

    BenchChildRun locVelk = BenchRunForked([&] { return RunVelk(locFiles, false); });
    printf("velk       compile + save %.3f s in its process (%.3f s of CPU), peak %ld KB (%.1fx the text)\n",
           locVelk.mySeconds, locVelk.myCpuSeconds, locVelk.myPeakKB, locTextBytes ? 1024.0 * double(locVelk.myPeakKB) / double(locTextBytes) : 0.0);
    bool locOk = locVelk.myExitCode == 0;
    if (locTezFlag)
        locOk = BenchRunForked([&] { return RunVelk(locFiles, true); }).myExitCode == 0 && locOk;

    if (!locGenerated.empty())
    {
        BenchChildRun locProtoc = BenchRunChild({"protoc", "--encode=bench.Root", "bench.proto"}, locGenerated,
                                                locGenerated + "/bench.pb", locGenerated + "/bench.txtpb");
        if (locProtoc.myExitCode != 0)
            printf("protoc     %s (exit %d)\n", locProtoc.myStarted ? "failed" : "not installed", locProtoc.myExitCode);
        else
        {
            printf("protoc     --encode %.3f s in its process (%.3f s of CPU), peak %ld KB (%ld bytes of text, %ld "
                   "bytes out)\n",
                   locProtoc.mySeconds, locProtoc.myCpuSeconds, locProtoc.myPeakKB, FileBytes(locGenerated + "/bench.txtpb"),
                   FileBytes(locGenerated + "/bench.pb"));
            printf("ratio      protoc time / velk time = %.2f (CPU %.2f); velk peak / protoc peak = %.2f\n",
                   locProtoc.mySeconds / locVelk.mySeconds, locProtoc.myCpuSeconds / locVelk.myCpuSeconds,
                   double(locVelk.myPeakKB) / double(locProtoc.myPeakKB));
        }
    }
    return locOk ? 0 : 2;
}
