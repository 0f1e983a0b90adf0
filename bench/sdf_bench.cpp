// sdf_bench [--threads N] DIR ARCHIVE: packs every file under DIR into ARCHIVE
// with the SDF writer (LZMA by default, "bik" and "mp3" stored, as the archive
// tool packs) on N compressing threads (default: one per core), packs it again
// on the calling thread alone and checks that the two archives are the same
// bytes, packs the same files with 7-Zip (7zz, non-solid LZMA, 8 MB dictionary)
// as the baseline, opens the archive, reads every entry back through the file
// object, compares each with the file on disk, and prints counts, sizes and times.
// Files under DIR that cannot be read are reported and make the exit status 1.
//
// sdf_bench --entries N [WORKDIR]: N small files in one folder are packed, then
// the archive is loaded (opened and its folder listed, as the archive tool
// loads) and extracted (each entry streamed to a file beneath an empty folder)
// at N / 10 and at N entries; beside each, the baseline does the same work on
// the disk alone (listing the source folder; writing the files with plain
// POSIX calls). Linear work takes about ten times as long at N as at N / 10.
//
// sdf_bench --small N [--threads T] [--repeat K] [WORKDIR]: N generated files
// of 100 to 2,000 bytes in folders of 100 are packed K times by the writer on
// T compressing threads (default: one per core) and K times by 7-Zip, by
// turns, each in a process of its own; prints every run's wall and CPU time,
// the medians and their ratios, and checks that one thread and T threads
// write the same bytes. For a given number of cores, run it under taskset.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <unordered_set>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <random>
#include <cstdlib>
#include <unistd.h>

#include "bench/bench_args.h"
#include "bench/bench_child.h"
#include "qfile/qf_file.h"
#include "qfile/qf_filestream.h"
#include "qfile/qf_sdf.h"
#include "qfile/qf_sdfedit.h"

namespace fs = std::filesystem;

namespace
{
const uint64_t locMaxStored = 0x3FFFFFFF;

double locSeconds(std::chrono::steady_clock::time_point aStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

// Regular, readable, non-empty files that an archive can hold, relative to
// aRoot; names that an archive could not tell apart are counted as skipped.
void locCollect(const fs::path& aRoot, std::vector<std::string>* aNames, uint64_t* aBytes, int* aSkipped,
                std::vector<std::string>* anUnreadable)
{
    std::unordered_set<std::string> locSeen;

    std::error_code locError;
    fs::recursive_directory_iterator locIt(aRoot, fs::directory_options::skip_permission_denied, locError);
    for (; !locError && locIt != fs::recursive_directory_iterator(); locIt.increment(locError))
    {
        const fs::directory_entry& locEntry = *locIt;
        if (locEntry.is_directory() && !locEntry.is_symlink() && access(locEntry.path().c_str(), R_OK | X_OK) != 0)
            anUnreadable->push_back(fs::relative(locEntry.path(), aRoot).generic_string() + "/");
        if (locEntry.is_symlink() || !locEntry.is_regular_file())
            continue;
        std::string locName = fs::relative(locEntry.path(), aRoot).generic_string();
        uint64_t locSize = locEntry.file_size(locError);
        std::string locExtension = locEntry.path().extension().string();
        if (!locError && !std::ifstream(locEntry.path()).good())
        {
            anUnreadable->push_back(locName);
            continue;
        }
        bool locUsable = !locError && locSize > 0 && locSize <= locMaxStored && locName.size() <= 255 &&
                         locName.find('\\') == std::string::npos && locName[0] != '"' &&
                         strcasecmp(locExtension.c_str(), ".sdf") != 0;
        if (!locUsable)
        {
            ++*aSkipped;
            locError.clear();
            continue;
        }
        // Archive paths ignore case: of names that differ only in case, the
        // archive can give back only one.
        std::string locKey = locName;
        std::transform(locKey.begin(), locKey.end(), locKey.begin(), [](unsigned char c) { return char(toupper(c)); });
        if (!locSeen.insert(locKey).second)
        {
            ++*aSkipped;
            continue;
        }
        aNames->push_back(locName);
        *aBytes += locSize;
    }
}

// Packs the names into anArchive with aThreads compressing threads; the
// seconds taken, or a negative number when the write fails.
double locPack(const std::vector<std::string>& aNames, const char* anArchive, int aThreads)
{
    auto locStart = std::chrono::steady_clock::now();
    QF_SDFEdit locWriter;
    for (const std::string& locName : aNames)
        locWriter.AddFile(locName.c_str());
    locWriter.SetDefaultCompression(2);
    locWriter.SetCompression("bik", 0);
    locWriter.SetCompression("mp3", 0);
    locWriter.SetThreadCount(aThreads);
    if (!locWriter.Write(anArchive))
    {
        fprintf(stderr, "sdf_bench: write failed: error %d (%s)\n", QF_SDFEditError, QF_SDFEditErrorText);
        return -1.0;
    }
    return locSeconds(locStart);
}

bool locSameFiles(const fs::path& aFirst, const fs::path& aSecond)
{
    std::ifstream locFirst(aFirst, std::ios::binary);
    std::ifstream locSecond(aSecond, std::ios::binary);
    return locFirst && locSecond &&
           std::equal(std::istreambuf_iterator<char>(locFirst), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(locSecond), std::istreambuf_iterator<char>());
}

bool locSameAsDisk(const QF_File& aFile, const std::string& aName)
{
    std::ifstream locIn(aName, std::ios::binary | std::ios::ate);
    if (!locIn || uint64_t(locIn.tellg()) != aFile.GetSize())
        return false;
    std::vector<char> locDisk(aFile.GetSize());
    locIn.seekg(0);
    locIn.read(locDisk.data(), std::streamsize(locDisk.size()));
    return locIn.good() && memcmp(locDisk.data(), aFile.myBuffer, locDisk.size()) == 0;
}
}

namespace
{
// --- many entries in one folder ---

struct locEntriesRun
{
    double myLoad = 0.0;       // open and list the folder
    double myLoadBase = 0.0;   // list the source folder on disk
    double myExtract = 0.0;    // stream every entry to a file beneath an empty folder
    double myExtractBase = 0.0;
    bool myOk = false;
};

bool locNoteFile(const OS_DirEntry& anEntry, void* aUserData)
{
    static_cast<std::unordered_set<std::string>*>(aUserData)->insert(anEntry.myName);
    return true;
}

locEntriesRun locRunEntries(const fs::path& aWork, int aCount)
{
    locEntriesRun locRun;
    std::error_code locError;
    fs::remove_all(aWork, locError);
    fs::create_directories(aWork / "src" / "many");
    std::vector<std::string> locNames;
    for (int i = 0; i < aCount; ++i)
    {
        locNames.push_back("many/entry" + std::to_string(i) + ".txt");
        std::ofstream(aWork / "src" / locNames.back(), std::ios::binary) << "contents of entry " << i << "\n";
    }
    fs::current_path(aWork / "src");
    const fs::path locArchive = aWork / "many.sdf";
    if (locPack(locNames, locArchive.c_str(), 0) < 0.0)
        return locRun;

    auto locStart = std::chrono::steady_clock::now();
    QF_SDFArchive* locOpened = QF_SDF::OpenByName(locArchive.c_str(), 1);
    QF_FileList locList;
    if (!locOpened || !QF_SDF::ListArchiveDirectory("many", locOpened, &locList) || locList.Count() != aCount)
    {
        fprintf(stderr, "sdf_bench: the archive of %d entries did not load (error %d)\n", aCount, QF_ErrorCode);
        return locRun;
    }
    locRun.myLoad = locSeconds(locStart);
    locStart = std::chrono::steady_clock::now();
    std::unordered_set<std::string> locOnDisk;
    OS_ListDirectory("many", locNoteFile, &locOnDisk);
    locRun.myLoadBase = locSeconds(locStart);

    fs::create_directories(aWork / "out");
    const std::string locOut = (aWork / "out").string();
    locStart = std::chrono::steady_clock::now();
    for (const std::string& locName : locNames)
    {
        QF_FileStream locStream;
        if (!locStream.Open(locName.c_str()) || !locStream.SaveBeneath(locOut.c_str(), locName.c_str(), false))
        {
            fprintf(stderr, "sdf_bench: %s did not extract (error %d)\n", locName.c_str(), QF_ErrorCode);
            return locRun;
        }
    }
    OS_SyncFileSystem(locOut.c_str());
    locRun.myExtract = locSeconds(locStart);
    QF_SDF::Close(nullptr);

    // The baseline: the same files written by plain calls, no archive, no checks.
    fs::create_directories(aWork / "base" / "many");
    locStart = std::chrono::steady_clock::now();
    char locBuffer[64];
    for (int i = 0; i < aCount; ++i)
    {
        int locLength = snprintf(locBuffer, sizeof(locBuffer), "contents of entry %d\n", i);
        int locFile = open((aWork / "base" / locNames[size_t(i)]).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (locFile < 0 || write(locFile, locBuffer, size_t(locLength)) != locLength || close(locFile) != 0)
            return locRun;
    }
    OS_SyncFileSystem((aWork / "base").c_str());
    locRun.myExtractBase = locSeconds(locStart);
    fs::current_path(aWork);
    locRun.myOk = fs::file_size(aWork / "out" / locNames.back()) == fs::file_size(aWork / "base" / locNames.back());
    fs::remove_all(aWork / "src", locError);
    fs::remove_all(aWork / "out", locError);
    fs::remove_all(aWork / "base", locError);
    fs::remove(locArchive, locError);
    return locRun;
}

int locMainEntries(int aCount, const char* aWork)
{
    if (aCount < 10)
    {
        fprintf(stderr, "sdf_bench: --entries needs at least 10\n");
        return 2;
    }
    fs::path locWork = aWork ? fs::absolute(aWork) : fs::temp_directory_path() / ("sdf_bench." + std::to_string(getpid()));
    locEntriesRun locSmall = locRunEntries(locWork / "small", aCount / 10);
    locEntriesRun locLarge = locRunEntries(locWork / "large", aCount);
    std::error_code locError;
    if (!aWork)
        fs::remove_all(locWork, locError);
    if (!locSmall.myOk || !locLarge.myOk)
        return 1;
    printf("entries in one folder   %8d %10d   time ratio (10 = linear)\n", aCount / 10, aCount);
    printf("load (open + list)      %7.3fs %9.3fs   %.1f\n", locSmall.myLoad, locLarge.myLoad, locLarge.myLoad / locSmall.myLoad);
    printf("  baseline: list disk   %7.3fs %9.3fs   %.1f\n", locSmall.myLoadBase, locLarge.myLoadBase,
           locLarge.myLoadBase / locSmall.myLoadBase);
    printf("extract (stream, save)  %7.3fs %9.3fs   %.1f\n", locSmall.myExtract, locLarge.myExtract,
           locLarge.myExtract / locSmall.myExtract);
    printf("  baseline: plain write %7.3fs %9.3fs   %.1f\n", locSmall.myExtractBase, locLarge.myExtractBase,
           locLarge.myExtractBase / locSmall.myExtractBase);
    return 0;
}
}


namespace
{
// --- many small files: the writer against 7-Zip ---

// Text of the kind a content tree holds in small files: keyed lines with
// names and numbers, 100 to 2,000 bytes each, in folders of 100 files.
bool locGenerateSmall(const fs::path& aRoot, int aCount, std::vector<std::string>* aNames, uint64_t* aBytes)
{
    static const char* const locWords[] = {"model",  "texture", "sound",  "light",  "shadow", "material", "entity",
                                           "script", "trigger", "sector", "portal", "bone",   "frame",    "speed",
                                           "radius", "colour",  "weight", "origin", "angle",  "target",   "sprite"};
    static const char* const locExtensions[] = {".txt", ".def", ".mtr", ".cfg"};
    const int locWordCount = int(sizeof(locWords) / sizeof(locWords[0]));
    std::mt19937 locGenerator(46);
    for (int i = 0; i < aCount; ++i)
    {
        char locName[64];
        snprintf(locName, sizeof(locName), "set%03d/item%05d%s", i / 100, i, locExtensions[i % 4]);
        const size_t locLength = 100 + locGenerator() % 1901;
        std::string locText;
        while (locText.size() < locLength)
        {
            locText += locWords[locGenerator() % unsigned(locWordCount)];
            locText += "_";
            locText += locWords[locGenerator() % unsigned(locWordCount)];
            locText += " " + std::to_string(int(locGenerator() % 2000) - 500);
            locText += locGenerator() % 3 ? " " : "\n";
        }
        locText.resize(locLength);
        std::error_code locError;
        fs::create_directories((aRoot / locName).parent_path(), locError);
        std::ofstream locOut(aRoot / locName, std::ios::binary);
        if (!(locOut << locText))
            return false;
        aNames->push_back(locName);
        *aBytes += locLength;
    }
    return true;
}

double locMedian(std::vector<double> aValues)
{
    std::sort(aValues.begin(), aValues.end());
    const size_t locMiddle = aValues.size() / 2;
    return aValues.size() % 2 ? aValues[locMiddle] : 0.5 * (aValues[locMiddle - 1] + aValues[locMiddle]);
}

double locLoad()
{
    double locAverage = 0.0;
    return getloadavg(&locAverage, 1) == 1 ? locAverage : -1.0;
}

int locMainSmall(int aCount, int aThreads, int aRepeat, const char* aWork)
{
    const fs::path locWork = aWork ? fs::absolute(aWork) : fs::temp_directory_path() / ("sdf_bench." + std::to_string(getpid()));
    const fs::path locSource = locWork / "small";
    std::error_code locError;
    fs::remove_all(locSource, locError);
    std::vector<std::string> locNames;
    uint64_t locBytes = 0;
    if (!locGenerateSmall(locSource, aCount, &locNames, &locBytes))
    {
        fprintf(stderr, "sdf_bench: cannot write the small files under %s\n", locSource.c_str());
        return 1;
    }
    fs::current_path(locSource);
    const fs::path locArchive = locWork / "small.sdf";
    const fs::path locOneThread = locWork / "small.1thread.sdf";
    const fs::path locSeven = locWork / "small.7z";
    const fs::path locList = locWork / "small.list";
    {
        std::ofstream locOut(locList);
        for (const std::string& locName : locNames)
            locOut << locName << "\n";
    }
    printf("small files    %d, %llu bytes, %s threads, %d runs of each by turns, load %.1f\n", aCount,
           (unsigned long long)locBytes, aThreads > 0 ? std::to_string(aThreads).c_str() : "every core's", aRepeat,
           locLoad());

    std::vector<double> locOurs, locOursCpu, locSevens, locSevensCpu;
    bool locSevenFailed = false;
    for (int locRound = 0; locRound < aRepeat && !locSevenFailed; ++locRound)
    {
        BenchChildRun locRuns[2];
        for (int locTurn = 0; locTurn < 2; ++locTurn)
        {
            // Which goes first changes every round.
            if ((locTurn + locRound) % 2 == 0)
                locRuns[0] = BenchRunForked([&] { return locPack(locNames, locArchive.c_str(), aThreads) < 0.0 ? 1 : 0; });
            else
            {
                fs::remove(locSeven, locError);
                locRuns[1] = BenchRunChild({"7zz", "a", "-t7z", "-m0=LZMA:d=8m", "-ms=off", "-bso0", "-bsp0",
                                            locSeven.string(), "@" + locList.string()},
                                           locSource.string());
            }
        }
        if (locRuns[0].myExitCode != 0)
            return 1;
        locSevenFailed = locRuns[1].myExitCode != 0;
        locOurs.push_back(locRuns[0].mySeconds);
        locOursCpu.push_back(locRuns[0].myCpuSeconds);
        printf("run %-2d         SDF %.2f s (CPU %.2f s, peak %ld KB)", locRound + 1, locRuns[0].mySeconds,
               locRuns[0].myCpuSeconds, locRuns[0].myPeakKB);
        if (!locSevenFailed)
        {
            locSevens.push_back(locRuns[1].mySeconds);
            locSevensCpu.push_back(locRuns[1].myCpuSeconds);
            printf("   7zz %.2f s (CPU %.2f s, peak %ld KB)", locRuns[1].mySeconds, locRuns[1].myCpuSeconds,
                   locRuns[1].myPeakKB);
        }
        printf("\n");
    }
    const uint64_t locArchiveBytes = fs::file_size(locArchive, locError);
    const uint64_t locSevenBytes = locSevenFailed ? 0 : fs::file_size(locSeven, locError);
    const bool locSame = locPack(locNames, locOneThread.c_str(), 1) >= 0.0 && locSameFiles(locArchive, locOneThread);
    printf("median         SDF %.2f s (CPU %.2f s), %llu bytes", locMedian(locOurs), locMedian(locOursCpu),
           (unsigned long long)locArchiveBytes);
    if (locSevenFailed)
        printf("; 7zz failed or is not installed\n");
    else
        printf("; 7zz %.2f s (CPU %.2f s), %llu bytes\nratio          7zz time / SDF time = %.2f (CPU %.2f)\n",
               locMedian(locSevens), locMedian(locSevensCpu), (unsigned long long)locSevenBytes,
               locMedian(locSevens) / locMedian(locOurs), locMedian(locSevensCpu) / locMedian(locOursCpu));
    printf("1 thread       same bytes: %s; load %.1f\n", locSame ? "yes" : "NO", locLoad());
    fs::current_path(locWork);
    for (const fs::path& locPath : {locArchive, locOneThread, locSeven, locList})
        fs::remove(locPath, locError);
    fs::remove_all(locSource, locError);
    if (!aWork)
        fs::remove_all(locWork, locError);
    return locSame ? 0 : 1;
}
}

int main(int argc, char** argv)
{
    BenchArgs locArgs(argc, argv,
                      "usage: sdf_bench [--threads N] DIR ARCHIVE\n"
                      "       sdf_bench --entries N [WORKDIR]\n"
                      "       sdf_bench --small N [--threads N] [--repeat K] [WORKDIR]\n");
    int locThreads = 0;
    int locCount = 0;
    locArgs.IntOption("--threads", &locThreads, 0, 1024);
    if (locArgs.IntOption("--entries", &locCount, 10, 10000000))
    {
        std::vector<const char*> locRest = locArgs.Operands(0, 1);
        return locMainEntries(locCount, locRest.empty() ? nullptr : locRest[0]);
    }
    if (locArgs.IntOption("--small", &locCount, 1, 10000000))
    {
        int locRepeat = 5;
        locArgs.IntOption("--repeat", &locRepeat, 1, 1000);
        std::vector<const char*> locRest = locArgs.Operands(0, 1);
        return locMainSmall(locCount, locThreads, locRepeat, locRest.empty() ? nullptr : locRest[0]);
    }
    std::vector<const char*> locRest = locArgs.Operands(2, 2);
    std::error_code locError;
    fs::path locArchive = fs::absolute(locRest[1], locError);
    fs::path locRoot = fs::absolute(locRest[0], locError);
    if (locError || !fs::is_directory(locRoot))
    {
        fprintf(stderr, "sdf_bench: %s is not a directory\n", locRest[0]);
        return 2;
    }

    std::vector<std::string> locNames;
    uint64_t locTotalBytes = 0;
    int locSkipped = 0;
    std::vector<std::string> locUnreadable;
    locCollect(locRoot, &locNames, &locTotalBytes, &locSkipped, &locUnreadable);
    for (const std::string& locName : locUnreadable)
        fprintf(stderr, "sdf_bench: cannot read %s\n", locName.c_str());
    if (locNames.empty())
    {
        fprintf(stderr, "sdf_bench: no files under %s\n", locRest[0]);
        return 2;
    }
    // The writer takes names relative to the current directory.
    fs::current_path(locRoot);

    fs::path locSequential = locArchive.string() + ".1thread";
    double locSequentialSeconds = locPack(locNames, locSequential.c_str(), 1);
    double locWriteSeconds = locPack(locNames, locArchive.c_str(), locThreads);
    if (locWriteSeconds < 0.0 || locSequentialSeconds < 0.0)
        return 1;
    uint64_t locArchiveBytes = fs::file_size(locArchive, locError);
    bool locSameBytes = locSameFiles(locArchive, locSequential);
    fs::remove(locSequential, locError);

    // Each entry is one compressed stream, made on one thread: no write can take
    // less than its slowest file alone, nor less than one thread's time spread
    // over every core. How fast a file packs depends on its contents too, so
    // the few largest are timed and the slowest of them counts.
    std::vector<std::pair<uint64_t, std::string>> locBySize;
    for (const std::string& locName : locNames)
    {
        const uint64_t locSize = fs::file_size(locName, locError);
        if (!locError)
            locBySize.emplace_back(locSize, locName);
    }
    const size_t locTimed = std::min<size_t>(4, locBySize.size());
    std::partial_sort(locBySize.begin(), locBySize.begin() + locTimed, locBySize.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string locLargest;
    uint64_t locLargestBytes = 0;
    double locLargestSeconds = 0.0;
    fs::path locAlone = locArchive.string() + ".largest";
    for (size_t i = 0; i < locTimed; ++i)
    {
        const double locAloneSeconds = locPack({locBySize[i].second}, locAlone.c_str(), 1);
        if (locAloneSeconds > locLargestSeconds)
            locLargest = locBySize[i].second, locLargestBytes = locBySize[i].first, locLargestSeconds = locAloneSeconds;
    }
    fs::remove(locAlone, locError);
    const unsigned locCores = std::max(1u, std::thread::hardware_concurrency());
    const int locUsed = locThreads > 0 ? std::min(locThreads, int(locCores)) : int(locCores);
    const double locFloor = std::max(locLargestSeconds, locSequentialSeconds / locUsed);

    // The baseline: the same files, named the same way, through 7-Zip.
    fs::path locList = locArchive.string() + ".list";
    fs::path locSeven = locArchive.string() + ".7z";
    {
        std::ofstream locOut(locList);
        for (const std::string& locName : locNames)
            locOut << locName << "\n";
    }
    fs::remove(locSeven, locError);
    BenchChildRun locSevenRun = BenchRunChild({"7zz", "a", "-t7z", "-m0=LZMA:d=8m", "-ms=off", "-bso0", "-bsp0",
                                               locSeven.string(), "@" + locList.string()},
                                              locRoot.string());
    uint64_t locSevenBytes = locSevenRun.myExitCode == 0 ? fs::file_size(locSeven, locError) : 0;
    fs::remove(locList, locError);
    fs::remove(locSeven, locError);

    auto locStart = std::chrono::steady_clock::now();
    if (!QF_SDF::OpenByName(locArchive.c_str(), 1))
    {
        fprintf(stderr, "sdf_bench: cannot open the archive: error %d\n", QF_ErrorCode);
        return 1;
    }
    double locOpenSeconds = locSeconds(locStart);

    // Only the reads through the file object are timed, not the comparison.
    double locReadSeconds = 0.0;
    uint64_t locReadBytes = 0;
    int locBad = 0;
    QF_File locFile;
    for (const std::string& locName : locNames)
    {
        locStart = std::chrono::steady_clock::now();
        bool locOpened = locFile.Open(locName.c_str(), OPEN_READ);
        locReadSeconds += locSeconds(locStart);
        if (!locOpened || !locSameAsDisk(locFile, locName))
        {
            if (locBad++ < 10)
                fprintf(stderr, "sdf_bench: %s differs (open %d, error %d)\n", locName.c_str(), locOpened, QF_ErrorCode);
        }
        else
            locReadBytes += locFile.GetSize();
        locFile.Close();
    }
    QF_SDF::Close(nullptr);

    printf("files          %zu (skipped %d)\n", locNames.size(), locSkipped);
    printf("total bytes    %llu\n", (unsigned long long)locTotalBytes);
    printf("archive bytes  %llu (%.1f%%)\n", (unsigned long long)locArchiveBytes,
           locTotalBytes ? 100.0 * double(locArchiveBytes) / double(locTotalBytes) : 0.0);
    printf("write          %.2f s (%.1f MB/s) on %s threads\n", locWriteSeconds,
           double(locTotalBytes) / 1e6 / locWriteSeconds,
           locThreads > 0 ? std::to_string(locThreads).c_str() : "every core's");
    printf("write 1 thread %.2f s (%.2fx the threaded write's time), same bytes: %s\n", locSequentialSeconds,
           locSequentialSeconds / locWriteSeconds, locSameBytes ? "yes" : "NO");
    if (locSevenRun.myExitCode == 0)
    {
        printf("7zz LZMA d=8m  %.2f s, %llu bytes (%.1f%%)\n", locSevenRun.mySeconds, (unsigned long long)locSevenBytes,
               locTotalBytes ? 100.0 * double(locSevenBytes) / double(locTotalBytes) : 0.0);
        printf("ratio          7zz time / SDF write time = %.2f; SDF size / 7zz size = %.3f\n",
               locSevenRun.mySeconds / locWriteSeconds, locSevenBytes ? double(locArchiveBytes) / double(locSevenBytes) : 0.0);
        printf("floor          slowest of the %zu largest files %s (%llu bytes) alone %.2f s, one thread / %d cores "
               "%.2f s: 7zz time / floor = %.2f at best\n",
               locTimed, locLargest.c_str(), (unsigned long long)locLargestBytes, locLargestSeconds, locUsed,
               locSequentialSeconds / locUsed, locSevenRun.mySeconds / locFloor);
    }
    else
        printf("7zz            %s (exit %d)\n", locSevenRun.myStarted ? "failed" : "not installed", locSevenRun.myExitCode);
    printf("open           %.3f s\n", locOpenSeconds);
    printf("read           %.2f s (%.1f MB/s)\n", locReadSeconds, double(locReadBytes) / 1e6 / locReadSeconds);
    printf("mismatches     %d\n", locBad);
    if (!locUnreadable.empty())
        printf("unreadable     %zu (left out, see above)\n", locUnreadable.size());
    return locBad || !locSameBytes || !locUnreadable.empty() ? 1 : 0;
}
