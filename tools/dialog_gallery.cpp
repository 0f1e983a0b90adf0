// dialog_gallery OUTDIR [SAMPLE_DIR]: every dialog and main window of
// Ostrane, Korrinth and Pranvel as a person sees them. Writes the sample
// tree (make_samples beside this program) to OUTDIR/data unless one
// is given, runs each program in gallery mode on it (Q_UI_GALLERY, offscreen)
// and leaves OUTDIR/<program>-<dialog>.png and OUTDIR/layout.tsv. Exits 1,
// naming the dialogs and controls, when two controls overlap, a text does not
// fit its control, or a program could not show all its dialogs.
#include "platform/os/os_cmdline.h"

#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace
{
std::string locSelfFolder()
{
    char locSelf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", locSelf, sizeof(locSelf) - 1);
    if (n <= 0)
        return ".";
    locSelf[n] = 0;
    std::string locPath = locSelf;
    return locPath.substr(0, locPath.rfind('/'));
}

// Runs the program in the folder with its arguments (standard output and
// error to aLog when given); its exit code, 127 when it cannot start.
int locRun(const std::string& aFolder, const std::vector<std::string>& anArgs, const std::string& aLog)
{
    fflush(stdout);
    const pid_t locChild = fork();
    if (locChild == 0)
    {
        if (!aFolder.empty() && chdir(aFolder.c_str()) != 0)
            _exit(127);
        if (!aLog.empty() && !freopen(aLog.c_str(), "w", stdout))
            _exit(127);
        if (!aLog.empty())
            dup2(fileno(stdout), 2);
        std::vector<char*> locArgv;
        for (const std::string& locArg : anArgs)
            locArgv.push_back(const_cast<char*>(locArg.c_str()));
        locArgv.push_back(nullptr);
        execv(locArgv[0], locArgv.data());
        fprintf(stderr, "dialog_gallery: cannot run %s\n", locArgv[0]);
        _exit(127);
    }
    int locStatus = 0;
    if (locChild < 0 || waitpid(locChild, &locStatus, 0) != locChild)
        return 127;
    return WIFEXITED(locStatus) ? WEXITSTATUS(locStatus) : 128;
}

std::vector<std::string> locReadLines(const std::string& aPath)
{
    std::vector<std::string> locLines;
    FILE* locFile = fopen(aPath.c_str(), "rb");
    if (!locFile)
        return locLines;
    char locLine[8192];
    while (fgets(locLine, sizeof(locLine), locFile))
    {
        size_t n = strlen(locLine);
        while (n > 0 && (locLine[n - 1] == '\n' || locLine[n - 1] == '\r'))
            locLine[--n] = 0;
        locLines.push_back(locLine);
    }
    fclose(locFile);
    return locLines;
}

// Leaves no picture or list of an earlier run behind.
void locClear(const std::string& aFolder)
{
    DIR* locDir = opendir(aFolder.c_str());
    if (!locDir)
        return;
    while (dirent* locEntry = readdir(locDir))
    {
        std::string locName = locEntry->d_name;
        bool locPicture = locName.size() > 4 && locName.compare(locName.size() - 4, 4, ".png") == 0;
        if (locPicture || locName == "layout.tsv" || locName == "faults.txt")
            unlink((aFolder + "/" + locName).c_str());
    }
    closedir(locDir);
}

struct Program
{
    const char* myName;
    const char* myPath;
    const char* myFolder;   // in the sample tree
    const char* myArgument; // the file it opens
};
} // namespace

int main(int argc, char** argv)
{
    static const OS_CommandLine ourLine = {
        "dialog_gallery",
        "usage: dialog_gallery OUTDIR [SAMPLE_DIR]\n"
        "Shoots every dialog and main window of Ostrane, Korrinth and Pranvel on\n"
        "the sample tree (SAMPLE_DIR, else one written into OUTDIR/data) into\n"
        "OUTDIR, and checks them for overlapping controls and cut texts.\n"
        "  -h, --help  this text\n",
        nullptr, 0, false};
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (argc < 2 || argc > 3 || locArguments.myOperands.size() != size_t(argc - 1))
        return OS_RefuseCommandLine(ourLine, "an output folder and at most a sample folder");
    mkdir(argv[1], 0777);
    char locFull[PATH_MAX];
    if (!realpath(argv[1], locFull))
    {
        fprintf(stderr, "dialog_gallery: cannot make %s\n", argv[1]);
        return 2;
    }
    const std::string locOut = locFull;
    locClear(locOut);
    std::string locSamples = argc > 2 ? argv[2] : locOut + "/data";
    if (argc < 3)
    {
        const std::string locTools = locSelfFolder();
        std::error_code locError;
        std::filesystem::remove_all(locSamples, locError);
        if (locError ||
            locRun("", {locTools + "/make_samples", locSamples}, locOut + "/make_samples.log") != 0)
        {
            fprintf(stderr, "dialog_gallery: writing the sample tree failed, see %s\n", locOut.c_str());
            return 1;
        }
    }
    else if (realpath(argv[2], locFull))
        locSamples = locFull;

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("ALSOFT_DRIVERS", "null", 1);
    setenv("EGL_PLATFORM", "surfaceless", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    unsetenv("DISPLAY");
    unsetenv("Q_UI_GRAB");
    setenv("Q_UI_GALLERY", locOut.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (locOut + "/config").c_str(), 1);
    if (!getenv("XDG_RUNTIME_DIR"))
    {
        std::string locRuntime = locOut + "/runtime";
        mkdir(locRuntime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", locRuntime.c_str(), 1);
    }

    const Program locPrograms[] = {
        {"ostrane", Q_GALLERY_OSTRANE, "", "pack.sdf"},
        {"korrinth", Q_GALLERY_KORRINTH, "/velk", "level.velk"},
        {"pranvel", Q_GALLERY_PRANVEL, "/models", "tower.qre"},
    };
    int locResult = 0;
    for (const Program& locProgram : locPrograms)
    {
        std::string locLog = locOut + "/" + locProgram.myName + ".log";
        int locExit = locRun(locSamples + locProgram.myFolder, {locProgram.myPath, locProgram.myArgument}, locLog);
        if (locExit != 0)
        {
            fprintf(stderr, "dialog_gallery: %s ended with %d, see %s\n", locProgram.myName, locExit, locLog.c_str());
            for (const std::string& locLine : locReadLines(locLog))
                if (locLine.rfind("gallery:", 0) == 0)
                    fprintf(stderr, "  %s\n", locLine.c_str());
            locResult = 1;
        }
    }

    std::vector<std::string> locControls = locReadLines(locOut + "/layout.tsv");
    std::vector<std::string> locImages;
    for (const std::string& locLine : locControls)
    {
        std::string locImage = locLine.substr(0, locLine.find('\t'));
        if (locImages.empty() || locImages.back() != locImage)
            locImages.push_back(locImage);
    }
    std::vector<std::string> locFaults = locReadLines(locOut + "/faults.txt");
    printf("Dialog gallery: %s (%zu pictures with controls, %zu controls, %zu faults)\n", locOut.c_str(),
           locImages.size(), locControls.size(), locFaults.size());
    for (const std::string& locFault : locFaults)
        fprintf(stderr, "  %s\n", locFault.c_str());
    return locFaults.empty() ? locResult : 1;
}
