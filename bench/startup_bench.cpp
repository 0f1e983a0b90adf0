// startup_bench: each program's time from its start to its first drawn window on the
// sample tree, beside a bare Qt window with an OpenGL context (EGL surfaceless, a
// framebuffer object cleared and read back into a plain QWidget, as our device does),
// started and grabbed the same way, in the same run, by turns.
//
// Every child is this machine's program run with Q_UI_FIRST_DRAWN=<file.png>: the user
// interface layer grabs the first window drawn, writes the clock and the process's CPU
// time at that moment beside the picture and quits. The time counts from the fork.
#include "bench/bench_args.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
const char* const USAGE =
    "usage: startup_bench [--runs N] [--build DIR] DATAROOT\n"
    "  DATAROOT     the sample tree tools/run_samples writes (BUILD/samples/data): pack.sdf,\n"
    "               velk/level.velk, models/tower.qre and the folder models/models\n"
    "  --runs N     rounds, each starting every program and the baseline once (default 5)\n"
    "  --build DIR  the programs of that build tree (default: the bench's own)\n"
    "Prints, per program, the medians of the time to its first drawn window (wall and\n"
    "CPU) and their ratio to the baseline's.\n"
    "  startup_bench --bare-window FILE.png   the baseline itself (run by the bench)\n";

double locClock(clockid_t aClock)
{
    timespec t = {};
    clock_gettime(aClock, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Writes the mark the user interface layer writes for the programs.
void locWriteMark(const std::string& aPng, const QImage& anImage)
{
    const double locWall = locClock(CLOCK_MONOTONIC), locCpu = locClock(CLOCK_PROCESS_CPUTIME_ID);
    anImage.save(QString::fromStdString(aPng), "PNG");
    if (FILE* f = fopen((aPng + ".time").c_str(), "w"))
    {
        fprintf(f, "%.6f %.6f\n", locWall, locCpu);
        fclose(f);
    }
}

class BareWindow : public QWidget
{
public:
    QImage myFrame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, myFrame);
    }
};

// A context and one cleared frame in an FBO, read back: the least a GL window draws.
bool locDrawFrame(int aWidth, int aHeight, QImage* anImage)
{
    EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint locMajor = 0, locMinor = 0;
    if (d == EGL_NO_DISPLAY || !eglInitialize(d, &locMajor, &locMinor) || !eglBindAPI(EGL_OPENGL_API))
        return false;
    const EGLint locAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext c = eglCreateContext(d, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, locAttribs);
    if (c == EGL_NO_CONTEXT || !eglMakeCurrent(d, EGL_NO_SURFACE, EGL_NO_SURFACE, c))
        return false;
    GLuint locFbo = 0, locColor = 0, locDepth = 0;
    glGenFramebuffers(1, &locFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, locFbo);
    glGenRenderbuffers(1, &locColor);
    glBindRenderbuffer(GL_RENDERBUFFER, locColor);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, aWidth, aHeight);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, locColor);
    glGenRenderbuffers(1, &locDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, locDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, aWidth, aHeight);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, locDepth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return false;
    glViewport(0, 0, aWidth, aHeight);
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    *anImage = QImage(aWidth, aHeight, QImage::Format_RGBA8888);
    glReadPixels(0, 0, aWidth, aHeight, GL_RGBA, GL_UNSIGNED_BYTE, anImage->bits());
    return glGetError() == GL_NO_ERROR;
}

int locBareWindow(int argc, char** argv, const std::string& aPng)
{
    QApplication locApp(argc, argv);
    BareWindow locWindow;
    locWindow.resize(800, 600);
    if (!locDrawFrame(800, 600, &locWindow.myFrame))
    {
        fprintf(stderr, "startup_bench: no OpenGL 3.3 context for the baseline\n");
        return 1;
    }
    locWindow.show();
    QTimer::singleShot(0, &locWindow, [&]() {
        locWriteMark(aPng, locWindow.grab().toImage());
        QApplication::quit();
    });
    return locApp.exec();
}

struct Program
{
    const char* myName;
    std::string myPath;
    std::string myDirectory; // under the data root
    std::vector<std::string> myArguments;
};

struct Sample
{
    bool myOk = false;
    double myDrawn = 0.0, myDrawnCpu = 0.0; // from the start to the first drawn window
    double myExit = 0.0, myExitCpu = 0.0;   // to the end of the process
};

Sample locRun(const Program& aProgram, const std::string& aDataRoot, const std::string& aPng)
{
    Sample s;
    std::filesystem::remove(aPng);
    std::filesystem::remove(aPng + ".time");
    std::vector<char*> locArgv;
    locArgv.push_back(const_cast<char*>(aProgram.myPath.c_str()));
    for (const std::string& a : aProgram.myArguments)
        locArgv.push_back(const_cast<char*>(a.c_str()));
    locArgv.push_back(nullptr);
    const std::string locDirectory = aDataRoot + "/" + aProgram.myDirectory;
    fflush(stdout);
    const double locStart = locClock(CLOCK_MONOTONIC);
    pid_t locChild = fork();
    if (locChild < 0)
        return s;
    if (locChild == 0)
    {
        setenv("Q_UI_FIRST_DRAWN", aPng.c_str(), 1);
        if (chdir(locDirectory.c_str()) != 0)
            _exit(126);
        if (FILE* locNull = freopen("/dev/null", "w", stdout))
            (void)locNull;
        execv(locArgv[0], locArgv.data());
        _exit(127);
    }
    int locStatus = 0;
    rusage locUsage = {};
    if (wait4(locChild, &locStatus, 0, &locUsage) != locChild)
        return s;
    s.myExit = locClock(CLOCK_MONOTONIC) - locStart;
    s.myExitCpu = double(locUsage.ru_utime.tv_sec + locUsage.ru_stime.tv_sec) +
                  1e-6 * double(locUsage.ru_utime.tv_usec + locUsage.ru_stime.tv_usec);
    double locMark = 0.0, locCpu = 0.0;
    FILE* f = fopen((aPng + ".time").c_str(), "r");
    const bool locMarked = f && fscanf(f, "%lf %lf", &locMark, &locCpu) == 2;
    if (f)
        fclose(f);
    if (!WIFEXITED(locStatus) || WEXITSTATUS(locStatus) != 0 || !locMarked)
    {
        fprintf(stderr, "startup_bench: %s %s (exit %d) drew no window\n", aProgram.myName,
                aProgram.myArguments.empty() ? "" : aProgram.myArguments[0].c_str(),
                WIFEXITED(locStatus) ? WEXITSTATUS(locStatus) : -1);
        return s;
    }
    s.myDrawn = locMark - locStart;
    s.myDrawnCpu = locCpu;
    s.myOk = true;
    return s;
}

double locMedian(std::vector<double> aValues)
{
    if (aValues.empty())
        return 0.0;
    std::sort(aValues.begin(), aValues.end());
    const size_t n = aValues.size();
    return n % 2 ? aValues[n / 2] : 0.5 * (aValues[n / 2 - 1] + aValues[n / 2]);
}

std::string locBuildDir()
{
    std::error_code e;
    std::filesystem::path locSelf = std::filesystem::read_symlink("/proc/self/exe", e);
    return locSelf.parent_path().parent_path().string();
}

} // namespace

int main(int argc, char** argv)
{
    // The baseline, run by the bench itself: "--bare-window FILE.png".
    if (argc == 3 && strcmp(argv[1], "--bare-window") == 0)
        return locBareWindow(argc, argv, argv[2]);
    BenchArgs locArgs(argc, argv, USAGE);
    int locRuns = 5;
    locArgs.IntOption("--runs", &locRuns, 1, 1000);
    const char* locBuildArg = nullptr;
    std::string locBuild = locArgs.Option("--build", 1, &locBuildArg) ? std::string(locBuildArg) : locBuildDir();
    std::string locDataRoot = locArgs.Operands(1, 1)[0];
    std::error_code e;
    locDataRoot = std::filesystem::absolute(locDataRoot, e).string();
    if (!std::filesystem::is_directory(locDataRoot + "/models/models", e))
    {
        fprintf(stderr, "startup_bench: %s is not the sample tree (no models/models)\n", locDataRoot.c_str());
        return 2;
    }
    // The children's settings and recent files go to a folder of the bench's own.
    const std::string locWork = (std::filesystem::temp_directory_path() / "startup_bench").string();
    std::filesystem::create_directories(locWork + "/config", e);
    std::filesystem::create_directories(locWork + "/data", e);
    setenv("XDG_CONFIG_HOME", (locWork + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (locWork + "/data").c_str(), 1);

    const std::string b = std::filesystem::absolute(locBuild, e).string();
    std::error_code locSelfError;
    const std::vector<Program> locPrograms = {
        {"baseline", std::filesystem::read_symlink("/proc/self/exe", locSelfError).string(), ".",
         {"--bare-window", locWork + "/baseline.png"}},
        {"Ostrane", b + "/ostrane/Ostrane", ".", {"pack.sdf"}},
        {"Tessaly", b + "/tessaly/Tessaly", "models", {"models/"}},
        {"Pranvel", b + "/modeleditor/app/Pranvel", "models", {"tower.qre"}},
        {"Korrinth", b + "/korrinth/Korrinth", "velk", {"level.velk"}},
    };
    std::vector<std::vector<Sample>> locSamples(locPrograms.size());
    for (int r = 0; r < locRuns; r++)
        for (size_t k = 0; k < locPrograms.size(); k++)
        {
            // By turns, each round starting one further along.
            const size_t p = (k + size_t(r)) % locPrograms.size();
            const Program& locProgram = locPrograms[p];
            if (access(locProgram.myPath.c_str(), X_OK) != 0)
                continue;
            const std::string locPng = locWork + "/" + locProgram.myName + ".png";
            Sample s = locRun(locProgram, locDataRoot, locPng);
            if (s.myOk)
                locSamples[p].push_back(s);
        }
    if (locSamples[0].empty())
    {
        fprintf(stderr, "startup_bench: the baseline drew no window\n");
        return 1;
    }
    auto locMedianOf = [](const std::vector<Sample>& aList, double Sample::*aField) {
        std::vector<double> v;
        for (const Sample& s : aList)
            v.push_back(s.*aField);
        return locMedian(v);
    };
    const double locBaseWall = locMedianOf(locSamples[0], &Sample::myDrawn);
    const double locBaseCpu = locMedianOf(locSamples[0], &Sample::myDrawnCpu);
    printf("startup_bench: %d rounds on %s, medians; pictures in %s\n", locRuns, locDataRoot.c_str(), locWork.c_str());
    printf("%-9s %6s %10s %10s %8s %8s %10s %10s\n", "", "runs", "drawn s", "CPU s", "wall x", "CPU x", "exit s",
           "exit CPU s");
    int locFailed = 0;
    for (size_t p = 0; p < locPrograms.size(); p++)
    {
        const std::vector<Sample>& v = locSamples[p];
        if (v.empty())
        {
            printf("%-9s   none\n", locPrograms[p].myName);
            locFailed++;
            continue;
        }
        const double w = locMedianOf(v, &Sample::myDrawn), c = locMedianOf(v, &Sample::myDrawnCpu);
        printf("%-9s %6zu %10.3f %10.3f %8.2f %8.2f %10.3f %10.3f\n", locPrograms[p].myName, v.size(), w, c,
               w / locBaseWall, c / std::max(locBaseCpu, 1e-9), locMedianOf(v, &Sample::myExit),
               locMedianOf(v, &Sample::myExitCpu));
    }
    return locFailed ? 1 : 0;
}
