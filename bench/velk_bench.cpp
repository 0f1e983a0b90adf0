// Measures the data-language core: compiles .fruit and .velk files, writes the
// namespaces back as .velk text and prints the line count and the times.
//
//   velk_bench FILES...                 compile and write back the given files
//   velk_bench --generate N DIR         write DIR/bench.fruit and DIR/bench.velk
//                                       with N root instances, then measure them
//   velk_bench --tez ...                also convert every namespace to .tez and
//                                       .loc beside its .velk and read it back
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

bool Generate(int aCount, const std::string& aDir, std::vector<std::string>& aFiles)
{
    const std::string locFruit = aDir + "/bench.fruit";
    const std::string locVelk = aDir + "/bench.velk";
    FILE* locOut = fopen(locFruit.c_str(), "wb");
    if (locOut == nullptr)
        return false;
    fputs("TYPE Kind\r\n{\r\nSmall\r\nMedium\r\nLarge\r\n}\r\n"
          "CLASS Point\r\n{\r\nDECIMAL x\r\nDECIMAL y\r\nDECIMAL z\r\n}\r\n"
          "CLASS Item\r\n{\r\nTEXT title\r\nLOCTEXT label\r\nKind kind Medium\r\nNUMBER count 1\r\n"
          "Point pos\r\nItem* next\r\nFILE icon\r\n}\r\n"
          "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nNUMBER\r\nPoint\r\nItem*\r\n}\r\n",
          locOut);
    fclose(locOut);

    locOut = fopen(locVelk.c_str(), "wb");
    if (locOut == nullptr)
        return false;
    fprintf(locOut, "INCLUDE %s\r\n\r\n", locFruit.c_str());
    static const char* const locKinds[] = {"Small", "Medium", "Large"};
    for (int locIndex = 0; locIndex < aCount; locIndex++)
    {
        if (locIndex % 10 == 9)
        {
            fprintf(locOut,
                    "Script script%d\r\n{\r\n\tTEXT \"line %d of the script\"\r\n\tNUMBER %d\r\n"
                    "\tPoint Point(%d)\r\n\t{\r\n\t\tx %d.5\r\n\t}\r\n\tItem* item%d\r\n}\r\n\r\n",
                    locIndex, locIndex, locIndex * 3, locIndex, locIndex, locIndex - 1);
            continue;
        }
        fprintf(locOut,
                "Item item%d\r\n{\r\n\ttitle \"Item number %d\"\r\n\tlabel \"Label %d\"\r\n\tkind %s\r\n"
                "\tcount %d\r\n\tpos\r\n\t{\r\n\t\tx %d.25\r\n\t\ty -%d\r\n\t\tz 0.5\r\n\t}\r\n",
                locIndex, locIndex, locIndex, locKinds[locIndex % 3], locIndex, locIndex, locIndex);
        if (locIndex > 0 && locIndex % 10 != 0)
            fprintf(locOut, "\tnext item%d\r\n", locIndex - 1);
        fprintf(locOut, "\ticon textures\\item%d.tga // the picture\r\n}\r\n\r\n", locIndex);
    }
    fclose(locOut);
    aFiles.push_back(locVelk);
    return true;
}
}

int main(int argc, char** argv)
{
    std::vector<std::string> locFiles;
    bool locTezFlag = false;
    for (int locArg = 1; locArg < argc; locArg++)
    {
        if (strcmp(argv[locArg], "--tez") == 0)
            locTezFlag = true;
        else if (strcmp(argv[locArg], "--generate") == 0 && locArg + 2 < argc)
        {
            const int locCount = atoi(argv[locArg + 1]);
            if (locCount < 1 || !Generate(locCount, argv[locArg + 2], locFiles))
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

    ErrorPrinter locErrors;
    VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_ERROR, &locErrors);

    VelkTypeManager locTypes;
    std::vector<std::unique_ptr<VelkNameSpace>> locSpaces;
    std::vector<std::string> locSpaceFiles;
    long locLines = 0;
    double locCompileTime = 0.0;
    bool locOk = true;
    EverythingIgnorer locIgnorer;

    for (const std::string& locFile : locFiles)
    {
        locLines += CountLines(locFile.c_str());
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
        double locSeconds = SecondsSince(locStart);
        locCompileTime += locSeconds;
        printf("compile %-40s %s %8.3f s\n", locFile.c_str(), locCompiled ? "ok    " : "FAILED", locSeconds);
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

    double locTextTime = 0.0;
    double locSaveTime = 0.0;
    long locInstances = 0;
    size_t locBytes = 0;
    for (size_t locIndex = 0; locIndex < locSpaces.size(); locIndex++)
    {
        VelkNameSpace& locSpace = *locSpaces[locIndex];
        locInstances += locSpace.GetNumInstances();
        Clock::time_point locStart = Clock::now();
        VelkOutput locOutput;
        locOk = locSpace.WriteTo(locOutput, locSpaceFiles[locIndex].c_str()) && locOk;
        locTextTime += SecondsSince(locStart);
        locBytes += locOutput.GetText().size();

        const std::string locOutName = locSpaceFiles[locIndex] + ".out.velk";
        locStart = Clock::now();
        locOk = locSpace.Write(locOutName.c_str()) && locOk;
        locSaveTime += SecondsSince(locStart);
    }

    double locTezTime = 0.0;
    double locReadTime = 0.0;
    long locTezBytes = 0;
    long locLocBytes = 0;
    long locTexts = 0;
    if (locTezFlag)
    {
        for (size_t locIndex = 0; locIndex < locSpaces.size(); locIndex++)
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
    }

    printf("lines      %ld\n", locLines);
    printf("instances  %ld root instances in %zu namespaces\n", locInstances, locSpaces.size());
    printf("compile    %.3f s\n", locCompileTime);
    printf("write text %.3f s (%zu bytes)\n", locTextTime, locBytes);
    printf("save file  %.3f s (written beside each .velk as .out.velk)\n", locSaveTime);
    if (locTezFlag)
    {
        printf("tez write  %.3f s (%ld bytes .tez, %ld bytes .loc, .hash report)\n", locTezTime, locTezBytes,
               locLocBytes);
        printf("tez read   %.3f s (%ld localised texts)\n", locReadTime, locTexts);
    }
    VelkLog::GetPublisher().Unsubscribe(&locErrors);
    return locOk ? 0 : 2;
}
