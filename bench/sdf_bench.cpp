// sdf_bench [--threads N] DIR ARCHIVE: packs every file under DIR into ARCHIVE
// with the SDF writer (LZMA by default, "bik" and "mp3" stored, as the archive
// tool packs) on N compressing threads (default: one per core), packs it again
// on the calling thread alone and checks that the two archives are the same
// bytes, packs the same files with 7-Zip (7zz, non-solid LZMA, 8 MB dictionary)
// as the baseline, opens the archive, reads every entry back through the file
// object, compares each with the file on disk, and prints counts, sizes and times.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <unordered_set>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_child.h"
#include "qfile/qf_file.h"
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
void locCollect(const fs::path& aRoot, std::vector<std::string>* aNames, uint64_t* aBytes, int* aSkipped)
{
    std::unordered_set<std::string> locSeen;

    std::error_code locError;
    fs::recursive_directory_iterator locIt(aRoot, fs::directory_options::skip_permission_denied, locError);
    for (; !locError && locIt != fs::recursive_directory_iterator(); locIt.increment(locError))
    {
        const fs::directory_entry& locEntry = *locIt;
        if (locEntry.is_symlink() || !locEntry.is_regular_file())
            continue;
        std::string locName = fs::relative(locEntry.path(), aRoot).generic_string();
        uint64_t locSize = locEntry.file_size(locError);
        std::string locExtension = locEntry.path().extension().string();
        bool locUsable = !locError && locSize > 0 && locSize <= locMaxStored && locName.size() <= 255 &&
                         locName.find('\\') == std::string::npos && locName[0] != '"' &&
                         strcasecmp(locExtension.c_str(), ".sdf") != 0 && std::ifstream(locEntry.path()).good();
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

int main(int argc, char** argv)
{
    int locThreads = 0;
    int locArg = 1;
    if (argc == 5 && strcmp(argv[1], "--threads") == 0)
    {
        locThreads = atoi(argv[2]);
        locArg = 3;
    }
    if (argc - locArg != 2)
    {
        fprintf(stderr, "usage: sdf_bench [--threads N] DIR ARCHIVE\n");
        return 2;
    }
    std::error_code locError;
    fs::path locArchive = fs::absolute(argv[locArg + 1], locError);
    fs::path locRoot = fs::absolute(argv[locArg], locError);
    if (locError || !fs::is_directory(locRoot))
    {
        fprintf(stderr, "sdf_bench: %s is not a directory\n", argv[locArg]);
        return 2;
    }

    std::vector<std::string> locNames;
    uint64_t locTotalBytes = 0;
    int locSkipped = 0;
    locCollect(locRoot, &locNames, &locTotalBytes, &locSkipped);
    if (locNames.empty())
    {
        fprintf(stderr, "sdf_bench: no files under %s\n", argv[locArg]);
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
    }
    else
        printf("7zz            %s (exit %d)\n", locSevenRun.myStarted ? "failed" : "not installed", locSevenRun.myExitCode);
    printf("open           %.3f s\n", locOpenSeconds);
    printf("read           %.2f s (%.1f MB/s)\n", locReadSeconds, double(locReadBytes) / 1e6 / locReadSeconds);
    printf("mismatches     %d\n", locBad);
    return locBad || !locSameBytes ? 1 : 0;
}
