// Writes a small sample data tree with our own writers: make_samples DIR.
// DIR/models: .qrb models, TGA and DDS textures, surfaces, particles;
// DIR/velk: a Velk data set with its .tez/.loc conversions and sounds, written
// by sample_data beside this program (the data language's file library and
// the renderer's cannot share one program). tools/sdf_pack packs part of it
// into an SDF archive.
// make_samples --check DIR reads the models back through the renderer and then
// runs sample_data --check. Prints one line per part with its counts.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "qrender/qr_error.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_render.h"
#include "modeleditor/tests/me_qrbmodel.h"

namespace
{
// Runs sample_data (found beside this program) with its arguments; its exit code.
int locRunSampleData(const char* anArg0, const char* anArg1)
{
    char locSelf[4096];
    const ssize_t n = readlink("/proc/self/exe", locSelf, sizeof(locSelf) - 1);
    if (n <= 0)
        return 1;
    locSelf[n] = 0;
    std::string locTool = locSelf;
    locTool = locTool.substr(0, locTool.rfind('/') + 1) + "sample_data";
    fflush(stdout);
    const pid_t locChild = fork();
    if (locChild == 0)
    {
        if (anArg1)
            execl(locTool.c_str(), locTool.c_str(), anArg0, anArg1, (char*)nullptr);
        else
            execl(locTool.c_str(), locTool.c_str(), anArg0, (char*)nullptr);
        fprintf(stderr, "make_samples: cannot run %s\n", locTool.c_str());
        _exit(127);
    }
    int locStatus = 0;
    if (locChild < 0 || waitpid(locChild, &locStatus, 0) != locChild)
        return 1;
    return WIFEXITED(locStatus) ? WEXITSTATUS(locStatus) : 1;
}

// Every sample model that is meant to load acquires through the renderer.
int CheckModels(const std::string& aDir)
{
    if (chdir((aDir + "/models").c_str()) != 0)
        return 1;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 64;
    s.myHeight = 64;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
    {
        fprintf(stderr, "make_samples: no renderer (error %u)\n", QR_Error::ourCode);
        return 1;
    }
    int locLoaded = 0, locFailed = 0;
    for (const QRT_SampleModel& m : QRT_SampleModels())
    {
        QR_MainObject* o = QR_MainObject::Create(m.myName.c_str());
        if (!o)
        {
            fprintf(stderr, "make_samples: %s does not load (error %u)\n", m.myName.c_str(), QR_Error::ourCode);
            locFailed++;
            continue;
        }
        locLoaded++;
        delete o;
    }
    QR_Render::Destroy();
    printf("check: %d models acquire through the renderer\n", locLoaded);
    return locFailed ? 1 : 0;
}
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--check") == 0)
    {
        const int locModels = CheckModels(argv[2]);
        return locRunSampleData("--check", argv[2]) != 0 || locModels != 0 ? 1 : 0;
    }
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_samples [--check] DIR\n");
        return 2;
    }
    std::string d = argv[1];
    mkdir(d.c_str(), 0755);
    // The models are written by the model editor's writer from templates built in memory.
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 64;
    s.myHeight = 64;
    bool locOk = QR_Render::Create(nullptr, nullptr) && QR_Render::ourInstance->Init(&s) &&
                 QRT_WriteSampleFolder(d + "/models", 0, MET_WriteModel);
    QR_Render::Destroy();
    if (!locOk)
    {
        fprintf(stderr, "make_samples: cannot write %s/models (renderer error %u, editor error %u %s)\n", d.c_str(),
                QR_Error::ourCode, EditorError::Get(), EditorError::GetDetail());
        return 1;
    }
    printf("models: %s/models\n", d.c_str());
    mkdir((d + "/velk").c_str(), 0755);
    return locRunSampleData(d.c_str(), nullptr);
}
