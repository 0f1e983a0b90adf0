// Runs measured work and baseline programs as child processes: wall time and
// the child's peak resident memory (getrusage of the reaped child).
#pragma once

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct BenchChildRun
{
    bool myStarted = false;   // false when the program could not be run
    int myExitCode = -1;
    double mySeconds = 0.0;
    double myCpuSeconds = 0.0; // user + system time of the child
    long myPeakKB = 0;        // ru_maxrss of the child
};

// Runs anArguments[0] (searched on PATH) in aDirectory (empty: the current
// one), standard input from /dev/null, standard output to anOutputPath
// (empty: /dev/null), standard error kept.
namespace benchchild
{
// Waits for the child started at aStart and fills aRun from its status and usage.
inline void Reap(pid_t aChild, std::chrono::steady_clock::time_point aStart, BenchChildRun* aRun)
{
    int locStatus = 0;
    struct rusage locUsage;
    if (wait4(aChild, &locStatus, 0, &locUsage) != aChild)
        return;
    aRun->mySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
    aRun->myExitCode = WIFEXITED(locStatus) ? WEXITSTATUS(locStatus) : -1;
    aRun->myStarted = aRun->myExitCode != 127;
    aRun->myPeakKB = locUsage.ru_maxrss;
    aRun->myCpuSeconds = double(locUsage.ru_utime.tv_sec + locUsage.ru_stime.tv_sec) +
                         1e-6 * double(locUsage.ru_utime.tv_usec + locUsage.ru_stime.tv_usec);
}
}

// Runs aWork in a forked child whose exit code is its result, so that its
// peak memory is its own. Call it while this process is still small: the
// child starts with this process's resident pages.
inline BenchChildRun BenchRunForked(const std::function<int()>& aWork)
{
    BenchChildRun locRun;
    fflush(stdout);
    fflush(stderr);
    auto locStart = std::chrono::steady_clock::now();
    pid_t locChild = fork();
    if (locChild < 0)
        return locRun;
    if (locChild == 0)
    {
        int locCode = aWork();
        fflush(stdout);
        fflush(stderr);
        _exit(locCode);
    }
    benchchild::Reap(locChild, locStart, &locRun);
    return locRun;
}

inline BenchChildRun BenchRunChild(const std::vector<std::string>& anArguments, const std::string& aDirectory,
                                   const std::string& anOutputPath = std::string(),
                                   const std::string& anInputPath = std::string())
{
    BenchChildRun locRun;
    std::vector<char*> locArgv;
    for (const std::string& locArgument : anArguments)
        locArgv.push_back(const_cast<char*>(locArgument.c_str()));
    locArgv.push_back(nullptr);

    auto locStart = std::chrono::steady_clock::now();
    pid_t locChild = fork();
    if (locChild < 0)
        return locRun;
    if (locChild == 0)
    {
        int locIn = open(anInputPath.empty() ? "/dev/null" : anInputPath.c_str(), O_RDONLY);
        int locOut = open(anOutputPath.empty() ? "/dev/null" : anOutputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (locIn < 0 || locOut < 0 || dup2(locIn, 0) < 0 || dup2(locOut, 1) < 0)
            _exit(126);
        if (!aDirectory.empty() && chdir(aDirectory.c_str()) != 0)
            _exit(126);
        execvp(locArgv[0], locArgv.data());
        _exit(127);
    }
    benchchild::Reap(locChild, locStart, &locRun);
    return locRun;
}
