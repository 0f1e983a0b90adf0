// Measures the data-language editor through its facade, offscreen: start,
// opening a file to the drawn window with its tree (compile, type visibility,
// tree, console, lock), 1,000 edits, saving (.velk, .tez and .loc) and a merge
// of 200 roots, with peak memory; beside baselines of the same run: the
// compile and save straight through velk/ (a child of its own, taken by turns
// with the editor's), the write and conversion, and the same items in a plain
// QStandardItemModel.
//
//   korrinth_bench [--repeat R] --generate N DIR   velk_bench's data with N roots
//                                                  in DIR, plus the editor's
//                                                  "korrinth.velk"
//   korrinth_bench --shape S ...                   of velk_bench's shape S
//   korrinth_bench [--repeat R] DIR                a folder generated before
//
// With --repeat the compile + save and the editor run R times by turns and the
// medians are printed. Each side runs in a child process of its own, so that
// its peak memory is its own; the children hand their times back through a file.
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

#include "platform/ui/ui_qt.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStandardItemModel>
#include <QWidget>

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

#include <sys/resource.h>

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

// User + system time of this process so far.
double CpuSeconds()
{
    struct rusage locUsage;
    getrusage(RUSAGE_SELF, &locUsage);
    return double(locUsage.ru_utime.tv_sec + locUsage.ru_stime.tv_sec) +
           1e-6 * double(locUsage.ru_utime.tv_usec + locUsage.ru_stime.tv_usec);
}

long PeakKB()
{
    struct rusage locUsage;
    getrusage(RUSAGE_SELF, &locUsage);
    return locUsage.ru_maxrss;
}

// What the open's compile is measured against: the compile and save alone.
int RunCompileSave()
{
    VelkNameSpace locNameSpace;
    VelkTypeManager locTypes;
    Clock::time_point locStart = Clock::now();
    double locCpu = CpuSeconds();
    if (!VelkCompiler::Compile(locNameSpace, "bench.velk", &locTypes, nullptr))
        return 1;
    if (!locNameSpace.Write("base_save.velk"))
        return 2;
    Record("compile_save", SecondsSince(locStart));
    Record("compile_save_cpu", CpuSeconds() - locCpu);
    return 0;
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
    Record("start_peak_kb", double(PeakKB()));
    UI_Frame* locFrame = Korrinth_GetFrame(locProgram);
    AppFacade* locFacade = AppFacade::Get();

    std::string locPath = std::filesystem::absolute("bench.velk").string();
    locStart = Clock::now();
    double locCpu = CpuSeconds();
    if (!UI_FrameOpenDocument(locFrame, locPath.c_str()))
        return 3;
    Record("open", SecondsSince(locStart));
    // The compile, the tree and the console made, before the window shows them.
    Record("open_made_peak_kb", double(PeakKB()));
    // Then to the window drawn with its tree, as the user first sees it.
    UI_FrameShow(locFrame);
    QCoreApplication::processEvents();
    QWidget* locWindow = UI_GetFrameWidget(locFrame);
    if (!locWindow || locWindow->grab().isNull())
        return 7;
    Record("open_shown", SecondsSince(locStart));
    Record("open_shown_cpu", CpuSeconds() - locCpu);
    Record("open_peak_kb", double(PeakKB()));

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
    locCpu = CpuSeconds();
    if (!locFacade->MergeFile("merge.velk"))
        return 6;
    Record("merge", SecondsSince(locStart));
    Record("merge_cpu", CpuSeconds() - locCpu);
    Record("merge_roots", double(locFacade->GetNameSpace().GetNumInstances() - int(locTargets.size())));
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

bool WriteSettings(const std::string& aDir, const BenchVelkShapeInfo& aShape)
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
    {
        char locName[128];
        snprintf(locName, sizeof(locName), aShape.myRootName, i * aShape.myRootStep);
        locMerge << aShape.myRootClass << " merged" << i << "\r\n{\r\n\t" << aShape.myTextMember << " \"merged " << i
                 << "\"\r\n}\r\n"
                 << aShape.myRootClass << " " << locName << "\r\n{\r\n\t" << aShape.myTextMember << " \"changed " << i
                 << "\"\r\n}\r\n";
    }
    return bool(locFruit) && bool(locVelk) && bool(locMerge);
}

double Ratio(double aValue, double aBase)
{
    return aBase > 0 ? aValue / aBase : 0.0;
}

double Median(std::vector<double> aValues)
{
    if (aValues.empty())
        return 0.0;
    std::sort(aValues.begin(), aValues.end());
    size_t locMiddle = aValues.size() / 2;
    return aValues.size() % 2 ? aValues[locMiddle] : (aValues[locMiddle - 1] + aValues[locMiddle]) / 2;
}

std::string Runs(const std::vector<double>& aValues)
{
    std::string locText;
    for (double locValue : aValues)
    {
        char locNumber[32];
        snprintf(locNumber, sizeof(locNumber), "%s%.3f", locText.empty() ? "" : " ", locValue);
        locText += locNumber;
    }
    return locText;
}

} // namespace

int main(int argc, char** argv)
{
    std::string locDir;
    int locCount = 0;
    int locRepeat = 1;
    if (const char* locSiblings = std::getenv("KORRINTH_BENCH_SIBLINGS"))
        SIBLINGS = std::max(1, std::atoi(locSiblings));
    BenchArgs locArgs(argc, argv,
                      "usage: korrinth_bench [--repeat R] [--shape " BENCH_VELK_SHAPES "] --generate N DIR\n"
                      "       korrinth_bench [--repeat R] DIR\n");
    locArgs.IntOption("--repeat", &locRepeat, 1, 1000);
    const char* locShape = "plain";
    locArgs.Option("--shape", 1, &locShape);
    const BenchVelkShapeInfo* locShapeInfo = BenchVelkShape(locShape);
    if (locShapeInfo == nullptr)
        locArgs.Refuse("--shape is " BENCH_VELK_SHAPES);
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
    if (locCount > 0)
        std::filesystem::create_directories(locDir, locError);
    locDir = std::filesystem::absolute(locDir).lexically_normal().string();
    if (!locDir.empty() && locDir.back() == '/')
        locDir.pop_back();
    std::vector<std::string> locFiles;
    if (locCount > 0 && (!locShapeInfo->myGenerator(locCount, locDir, locFiles) || !WriteSettings(locDir, *locShapeInfo)))
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

    // Compile + save and the editor by turns, each run's figures gathered apart.
    std::map<std::string, std::vector<double>> locRuns;
    std::vector<double> locCompilePeaks;
    std::vector<double> locEditorPeaks;
    for (int locRun = 0; locRun < locRepeat; locRun++)
    {
        BenchChildRun locCompile = BenchRunForked(RunCompileSave);
        BenchChildRun locEditor = BenchRunForked([argc, argv]() { return RunKorrinth(argc, argv); });
        if (locCompile.myExitCode != 0 || locEditor.myExitCode != 0)
        {
            fprintf(stderr, "korrinth_bench: a run failed (compile + save %d, editor %d)\n", locCompile.myExitCode,
                    locEditor.myExitCode);
            return 1;
        }
        for (const auto& [locKey, locValue] : ReadResults())
            locRuns[locKey].push_back(locValue);
        std::remove(RESULTS);
        locCompilePeaks.push_back(double(locCompile.myPeakKB));
        locEditorPeaks.push_back(double(locEditor.myPeakKB));
    }
    BenchChildRun locBase = BenchRunForked(RunBaseline);
    BenchChildRun locSiblings = BenchRunForked([argc, argv]() { return RunSiblings(argc, argv); });
    if (locBase.myExitCode != 0 || locSiblings.myExitCode != 0)
    {
        fprintf(stderr, "korrinth_bench: a run failed (baseline %d, siblings %d)\n", locBase.myExitCode,
                locSiblings.myExitCode);
        return 1;
    }
    std::map<std::string, double> locResults = ReadResults();
    for (const auto& [locKey, locValues] : locRuns)
        locResults[locKey] = Median(locValues);
    long locLines = 0;
    double locTextMB = 0;
    {
        std::ifstream locFile("bench.velk", std::ios::binary);
        std::string locLine;
        while (std::getline(locFile, locLine))
            locLines++;
        locTextMB = double(std::filesystem::file_size("bench.velk", locError)) / (1024.0 * 1024.0);
    }
    double locCompile = locResults["base_compile"];
    double locCompileSave = locResults["compile_save"];
    double locWriteConvert = locResults["base_write"] + locResults["base_convert"];
    double locOpenPeakMB = locResults["open_peak_kb"] / 1024.0;
    double locCompilePeakMB = Median(locCompilePeaks) / 1024.0;
    printf("korrinth_bench: %s/bench.velk, %ld lines, %.1f MB, %.0f roots; %d run(s) by turns, medians\n",
           locDir.c_str(), locLines, locTextMB, locResults["base_items"], locRepeat);
    printf("compile + save, velk/ straight: %.3f s (%s); peak %.1f MB = %.2f x the text\n", locCompileSave,
           Runs(locRuns["compile_save"]).c_str(), locCompilePeakMB, Ratio(locCompilePeakMB, locTextMB));
    printf("Korrinth open to the drawn window with its tree: %.3f s (%s) = %.2f x the compile + save "
           "(the facade's open %.3f s); peak after the open %.1f MB = %.2f x the text\n",
           locResults["open_shown"], Runs(locRuns["open_shown"]).c_str(),
           Ratio(locResults["open_shown"], locCompileSave), locResults["open"], locOpenPeakMB,
           Ratio(locOpenPeakMB, locTextMB));
    printf("Korrinth's peak after its start %.1f MB, after the facade's open %.1f MB, after the drawn window %.1f MB\n",
           locResults["start_peak_kb"] / 1024.0, locResults["open_made_peak_kb"] / 1024.0, locOpenPeakMB);
    printf("Korrinth merge of %.0f new and %.0f existing roots: %.3f s (%s) = %.2f x the compile + save\n",
           locResults["merge_roots"], 200 - locResults["merge_roots"], locResults["merge"],
           Runs(locRuns["merge"]).c_str(), Ratio(locResults["merge"], locCompileSave));
    // CPU time moves less than wall time on a shared machine.
    printf("CPU time: compile + save %.3f s; open to the drawn window %.3f s (%.2f x); merge %.3f s\n",
           locResults["compile_save_cpu"], locResults["open_shown_cpu"],
           Ratio(locResults["open_shown_cpu"], locResults["compile_save_cpu"]), locResults["merge_cpu"]);
    printf("Korrinth through the facade: start %.3f s; %d edits %.3f s; save .velk+.tez/.loc %.3f s "
           "(%.2f x write+convert); peak of the whole run %.1f MB\n",
           locResults["start"], EDITS, locResults["edits"], locResults["save"],
           Ratio(locResults["save"], locWriteConvert), Median(locEditorPeaks) / 1024.0);
    printf("baseline, velk/ and tez/ straight: compile %.3f s, write %.3f s, convert %.3f s; "
           "the same items in a QStandardItemModel %.3f s; peak %.1f MB\n",
           locCompile, locResults["base_write"], locResults["base_convert"], locResults["base_model"],
           locBase.myPeakKB / 1024.0);
    printf("tree control: %d sorted siblings in one update %.3f s; QStandardItemModel %.3f s (%.2f x)\n", SIBLINGS,
           locResults["siblings_tree"], locResults["siblings_model"],
           Ratio(locResults["siblings_tree"], locResults["siblings_model"]));
    return 0;
}
