// Measures the data-language editor through its facade, offscreen: start,
// opening a file (compile, type visibility, tree, console, lock), 1,000
// edits, saving (.velk, .tez and .loc) and a merge, with peak memory; beside
// baselines of the same run: the compile, write and conversion straight
// through velk/ and tez/, and the same items in a plain QStandardItemModel.
//
//   korrinth_bench --generate N DIR   velk_bench's data with N roots in DIR,
//                                     plus the editor's "korrinth.velk"
//   korrinth_bench DIR                a folder generated before
//
// Each side runs in a child process of its own, so that its peak memory is
// its own; the children hand their times back through a file.
#include "bench/bench_args.h"
#include "bench/bench_child.h"
#include "bench/velk_generate.h"
#include "korrinth/korrinth.h"
#include "owncode/appfacade.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog.h"
#include "platform/ui/ui_frame.h"
#include "tez/tez_convert.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

#include <QCoreApplication>
#include <QStandardItemModel>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;
const char* const RESULTS = "korrinth_bench.results";
const int EDITS = 1000;
int SIBLINGS = 1000000;

double SecondsSince(Clock::time_point aStart)
{
    return std::chrono::duration<double>(Clock::now() - aStart).count();
}

void Record(const char* aKey, double aValue)
{
    FILE* locFile = fopen(RESULTS, "ab");
    if (!locFile)
        return;
    fprintf(locFile, "%s %.6f\n", aKey, aValue);
    fclose(locFile);
}

std::map<std::string, double> ReadResults()
{
    std::map<std::string, double> locResults;
    std::ifstream locFile(RESULTS);
    std::string locKey;
    double locValue = 0;
    while (locFile >> locKey >> locValue)
        locResults[locKey] = locValue;
    return locResults;
}

void AddItems(VelkType* anObject, QStandardItem* aParent)
{
    QString locText = QString::fromUtf8(anObject->GetName().GetBuffer());
    if (!anObject->GetValue().IsEmpty())
        locText += QStringLiteral(" = ") + QString::fromUtf8(anObject->GetValue().GetBuffer());
    QStandardItem* locItem = new QStandardItem(locText);
    aParent->appendRow(locItem);
    if (!anObject->GetValue().IsEmpty())
        return;
    QC_List<VelkType*>& locMembers = anObject->GetMembers();
    for (QC_List<VelkType*>::Link* locLink = locMembers.myFirstLink; locLink; locLink = locLink->myNext)
        AddItems(locLink->myItem, locItem);
}

// The library straight: compile, write, convert; then the tree's items in a
// plain model, sorted at the top level as the tree sorts its roots.
int RunBaseline()
{
    VelkNameSpace locNameSpace;
    VelkTypeManager locTypes;
    Clock::time_point locStart = Clock::now();
    if (!VelkCompiler::Compile(locNameSpace, "bench.velk", &locTypes, nullptr))
        return 1;
    Record("base_compile", SecondsSince(locStart));
    locStart = Clock::now();
    if (!locNameSpace.Write("base_out.velk"))
        return 2;
    Record("base_write", SecondsSince(locStart));
    locStart = Clock::now();
    if (!VelkToTez::Convert(locNameSpace, "base_out.velk"))
        return 3;
    Record("base_convert", SecondsSince(locStart));

    int locArgc = 1;
    char locName[] = "korrinth_bench";
    char* locArgv[] = {locName, nullptr};
    QCoreApplication locApplication(locArgc, locArgv);
    locStart = Clock::now();
    // Left to the process's end: Qt frees a big model's items in quadratic time.
    QStandardItemModel* locModel = new QStandardItemModel;
    QC_List<VelkType*> locRoots;
    locNameSpace.GetInstances(locRoots, true);
    for (QC_List<VelkType*>::Link* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
        AddItems(locLink->myItem, locModel->invisibleRootItem());
    locModel->sort(0);
    Record("base_model", SecondsSince(locStart));
    Record("base_items", double(locModel->rowCount()));
    return 0;
}

int RunKorrinth(int argc, char** argv)
{
    if (!UI_Init(&argc, argv))
        return 1;
    Clock::time_point locStart = Clock::now();
    KorrinthProgram* locProgram = Korrinth_Start(nullptr);
    if (!locProgram)
        return 2;
    Record("start", SecondsSince(locStart));
    UI_Frame* locFrame = Korrinth_GetFrame(locProgram);
    AppFacade* locFacade = AppFacade::Get();

    std::string locPath = std::filesystem::absolute("bench.velk").string();
    locStart = Clock::now();
    if (!UI_FrameOpenDocument(locFrame, locPath.c_str()))
        return 3;
    Record("open", SecondsSince(locStart));

    // Renames of roots spread over the file: each finds its item and updates it.
    QC_List<VelkType*> locRoots;
    locFacade->GetNameSpace().GetInstances(locRoots, true);
    std::vector<VelkType*> locTargets;
    for (QC_List<VelkType*>::Link* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
        locTargets.push_back(locLink->myItem);
    size_t locStep = std::max<size_t>(1, locTargets.size() / EDITS);
    locStart = Clock::now();
    int locEdits = 0;
    for (size_t i = 0; i < locTargets.size() && locEdits < EDITS; i += locStep, locEdits++)
    {
        std::string locName = "edited" + std::to_string(locEdits);
        if (!locFacade->Rename(locTargets[i], locName.c_str()))
            return 4;
    }
    Record("edits", SecondsSince(locStart));

    locStart = Clock::now();
    if (!locFacade->SaveFile("saved.velk"))
        return 5;
    Record("save", SecondsSince(locStart));

    locStart = Clock::now();
    if (!locFacade->MergeFile("merge.velk"))
        return 6;
    Record("merge", SecondsSince(locStart));
    Korrinth_Stop(locProgram);
    return 0;
}

// A million siblings in random order, sorted by the tree control in one
// update, and the same rows in a QStandardItemModel sorted once.
int RunSiblings(int argc, char** argv)
{
    if (!UI_Init(&argc, argv))
        return 1;
    std::vector<std::string> locNames;
    for (int i = 0; i < SIBLINGS; i++)
        locNames.push_back("item" + std::to_string(i));
    std::shuffle(locNames.begin(), locNames.end(), std::mt19937(7));

    static const UI_ControlTemplate locControls[] = {{1, UI_CONTROL_TREE, nullptr, 0, 0, 200, 200, 0}};
    static const UI_DialogTemplate locTemplate = {1, "tree", 200, 200, "MS Shell Dlg", 8, locControls, 1};
    UI_Dialog* locDialog = UI_CreateDialog(locTemplate, [](UI_Dialog*, const UI_Message&) -> intptr_t { return 0; },
                                           nullptr);
    Clock::time_point locStart = Clock::now();
    UI_TreeBeginUpdate(locDialog, 1);
    for (const std::string& locName : locNames)
        UI_TreeInsert(locDialog, 1, UI_TREE_ROOT, locName.c_str(), -1, true);
    UI_TreeEndUpdate(locDialog, 1);
    Record("siblings_tree", SecondsSince(locStart));

    locStart = Clock::now();
    // Left to the process's end, as in the baseline.
    QStandardItemModel* locModel = new QStandardItemModel;
    for (const std::string& locName : locNames)
        locModel->appendRow(new QStandardItem(QString::fromUtf8(locName.c_str())));
    locModel->sort(0);
    Record("siblings_model", SecondsSince(locStart));
    UI_DestroyDialog(locDialog);
    return 0;
}

bool WriteSettings(const std::string& aDir)
{
    std::ofstream locFruit(aDir + "/korrinth.fruit", std::ios::binary);
    locFruit << "CLASS BrowseFilter\r\n{\r\nTEXT myTypeName\r\nTEXT myMemberName\r\nTEXT myExtension\r\n}\r\n"
                "SCRIPTCLASS BrowseFilters\r\n{\r\nBrowseFilter\r\n}\r\n";
    std::ofstream locVelk(aDir + "/korrinth.velk", std::ios::binary);
    locVelk << "INCLUDE korrinth.fruit\r\nTEXT DebugFile korrinth_debug.txt\r\n"
               "BrowseFilters myBrowseFilters\r\n{\r\n\tBrowseFilter BrowseFilter(0)\r\n\t{\r\n"
               "\t\tmyTypeName Item\r\n\t\tmyMemberName icon\r\n\t\tmyExtension tga\r\n\t}\r\n}\r\n";
    // A hundred new roots and a hundred that exist, merged into the open file.
    std::ofstream locMerge(aDir + "/merge.velk", std::ios::binary);
    locMerge << "INCLUDE " << aDir << "/bench.fruit\r\n";
    for (int i = 0; i < 100; i++)
        locMerge << "Item merged" << i << "\r\n{\r\n\ttitle \"merged " << i << "\"\r\n}\r\n"
                 << "Item item" << i * 7 << "\r\n{\r\n\tcount " << i << "\r\n}\r\n";
    return bool(locFruit) && bool(locVelk) && bool(locMerge);
}

double Ratio(double aValue, double aBase)
{
    return aBase > 0 ? aValue / aBase : 0.0;
}
} // namespace

int main(int argc, char** argv)
{
    std::string locDir;
    int locCount = 0;
    if (const char* locSiblings = std::getenv("KORRINTH_BENCH_SIBLINGS"))
        SIBLINGS = std::max(1, std::atoi(locSiblings));
    BenchArgs locArgs(argc, argv, "usage: korrinth_bench --generate N DIR\n       korrinth_bench DIR\n");
    const char* locGenerate[2] = {};
    if (locArgs.Option("--generate", 2, locGenerate))
    {
        locCount = locArgs.Int("--generate", locGenerate[0], 1, 100000000);
        locDir = locGenerate[1];
        locArgs.Operands(0, 0);
    }
    else
        locDir = locArgs.Operands(1, 1)[0];
    std::error_code locError;
    std::filesystem::create_directories(locDir, locError);
    locDir = std::filesystem::absolute(locDir).lexically_normal().string();
    if (!locDir.empty() && locDir.back() == '/')
        locDir.pop_back();
    std::vector<std::string> locFiles;
    if (locCount > 0 && (!BenchGenerateVelk(locCount, locDir, locFiles) || !WriteSettings(locDir)))
    {
        fprintf(stderr, "korrinth_bench: cannot generate %d roots in '%s'\n", locCount, locDir.c_str());
        return 1;
    }
    if (chdir(locDir.c_str()) != 0)
    {
        fprintf(stderr, "korrinth_bench: no folder '%s'\n", locDir.c_str());
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_CONFIG_HOME", (locDir + "/config").c_str(), 1);
    std::remove(RESULTS);
    std::remove("bench.velk.lock");

    BenchChildRun locBase = BenchRunForked(RunBaseline);
    BenchChildRun locEditor = BenchRunForked([argc, argv]() { return RunKorrinth(argc, argv); });
    BenchChildRun locSiblings = BenchRunForked([argc, argv]() { return RunSiblings(argc, argv); });
    if (locBase.myExitCode != 0 || locEditor.myExitCode != 0 || locSiblings.myExitCode != 0)
    {
        fprintf(stderr, "korrinth_bench: a run failed (baseline %d, editor %d, siblings %d)\n", locBase.myExitCode,
                locEditor.myExitCode, locSiblings.myExitCode);
        return 1;
    }
    std::map<std::string, double> locResults = ReadResults();
    long locLines = 0;
    {
        std::ifstream locFile("bench.velk", std::ios::binary);
        std::string locLine;
        while (std::getline(locFile, locLine))
            locLines++;
    }
    double locCompile = locResults["base_compile"];
    double locWriteConvert = locResults["base_write"] + locResults["base_convert"];
    printf("korrinth_bench: %s/bench.velk, %ld lines, %.0f roots\n", locDir.c_str(), locLines,
           locResults["base_items"]);
    printf("baseline, velk/ and tez/ straight: compile %.3f s, write %.3f s, convert %.3f s; "
           "the same items in a QStandardItemModel %.3f s; peak %.1f MB\n",
           locCompile, locResults["base_write"], locResults["base_convert"], locResults["base_model"],
           locBase.myPeakKB / 1024.0);
    printf("Korrinth through the facade: start %.3f s; open %.3f s (%.2f x the compile); %d edits %.3f s; "
           "save .velk+.tez/.loc %.3f s (%.2f x write+convert); merge %.3f s; peak %.1f MB (%.2f x)\n",
           locResults["start"], locResults["open"], Ratio(locResults["open"], locCompile), EDITS, locResults["edits"],
           locResults["save"], Ratio(locResults["save"], locWriteConvert), locResults["merge"],
           locEditor.myPeakKB / 1024.0, Ratio(double(locEditor.myPeakKB), double(locBase.myPeakKB)));
    printf("child processes: baseline %.2f s, editor %.2f s, siblings %.2f s\n", locBase.mySeconds,
           locEditor.mySeconds, locSiblings.mySeconds);
    printf("tree control: %d sorted siblings in one update %.3f s; QStandardItemModel %.3f s (%.2f x)\n", SIBLINGS,
           locResults["siblings_tree"], locResults["siblings_model"],
           Ratio(locResults["siblings_tree"], locResults["siblings_model"]));
    return 0;
}
