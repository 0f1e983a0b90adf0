// lightwave_bench --export DIR...: every LightWave scene and object under DIR is
// opened as a model in the editor scene, written by the .qrb writer (into
// memory, and as a file committed to the disk) and read back by the renderer's
// reader; prints the bytes and the times, the reader being the baseline.
// lightwave_bench --qre DIR...: every .qre under DIR is loaded (its commands
// replayed from its folder) and exported beside itself as .qrb, the batch
// conversion's path; the read-back of each export is the baseline.
#include "bench/lightwave_bench_export.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/qrbwriter.h"
#include "modeleditor/qre_command.h"
#include "modeleditor/qrendereditor.h"
#include "platform/input/in_script.h"
#include "platform/os/os_ui.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_templateobject.h"

namespace
{
using Clock = std::chrono::steady_clock;

double locSince(Clock::time_point aStart)
{
    return std::chrono::duration<double>(Clock::now() - aStart).count();
}

// Seconds per pass of aWork, repeated to at least a quarter second.
template <class Work> double locTime(Work&& aWork)
{
    Clock::time_point locStart = Clock::now();
    aWork();
    double locFirst = locSince(locStart);
    int locPasses = locFirst >= 0.25 ? 1 : (int)std::min(100.0, 0.25 / std::max(locFirst, 1e-5));
    if (locPasses <= 1)
        return locFirst;
    locStart = Clock::now();
    for (int i = 0; i < locPasses; i++)
        aWork();
    return locSince(locStart) / locPasses;
}

bool locEndsWith(const std::string& aName, const char* anEnd)
{
    size_t n = strlen(anEnd);
    return aName.size() > n && strcasecmp(aName.c_str() + aName.size() - n, anEnd) == 0;
}

void locList(const std::string& aFolder, const std::vector<const char*>& anEnds, std::vector<std::string>* aFiles)
{
    DIR* d = opendir(aFolder.c_str());
    if (!d)
        return;
    std::vector<std::string> locNames;
    while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            locNames.push_back(e->d_name);
    closedir(d);
    std::sort(locNames.begin(), locNames.end());
    for (const std::string& n : locNames)
    {
        std::string p = aFolder + "/" + n;
        struct stat s;
        if (stat(p.c_str(), &s) != 0)
            continue;
        if (S_ISDIR(s.st_mode))
            locList(p, anEnds, aFiles);
        else
            for (const char* locEnd : anEnds)
                if (locEndsWith(n, locEnd) && n.find("_LOD") == std::string::npos)
                    aFiles->push_back(p);
    }
}

int locQuiet(const char*, const char*, int)
{
    return OS_ID_OK;
}

struct Figures
{
    long myFiles = 0, myFailed = 0;
    double myBytes = 0, myOpen = 0, myWrite = 0, mySave = 0, myRead = 0;
};

// The loaded model written to aPath (timed), the model let go, the file read back (timed).
bool locWriteAndRead(QRenderEditor* e, const std::string& aPath, Figures* f)
{
    QRBWriter w(
        [](const QR_Mesh* aMesh, void* aScene) { return ((QRenderEditor*)aScene)->GetMeshVertexShaderName(aMesh); }, e);
    bool locOk = true;
    std::vector<uint8_t> locBytes;
    f->myWrite += locTime([&] { locOk = locOk && w.WriteToMemory(e->GetTemplate(), locBytes); });
    f->mySave += locTime([&] { locOk = locOk && w.Write(e->GetTemplate(), aPath.c_str()); });
    e->ClearModel();
    if (!locOk)
        return false;
    struct stat s;
    f->myBytes += stat(aPath.c_str(), &s) == 0 ? (double)s.st_size : 0;
    f->myRead += locTime([&] {
        QR_TemplateObject* t = QR_TemplateObject::Acquire(aPath.c_str());
        locOk = locOk && t;
        if (t)
            t->Release();
    });
    return locOk;
}

void locPrint(const char* aName, const Figures& f)
{
    printf("%-7s files %ld (failed %ld)  written %.1f KB  open %.4f s  write %.4f s (as files %.4f s)  "
           "read back %.4f s  write/read %.2f (as files %.2f)\n",
           aName, f.myFiles, f.myFailed, f.myBytes / 1e3, f.myOpen, f.myWrite, f.mySave, f.myRead,
           f.myWrite / std::max(1e-9, f.myRead), f.mySave / std::max(1e-9, f.myRead));
}

std::string locFolderOf(const std::string& aPath, std::string* aLeafOut)
{
    size_t locSlash = aPath.rfind('/');
    *aLeafOut = locSlash == std::string::npos ? aPath : aPath.substr(locSlash + 1);
    return locSlash == std::string::npos ? "." : aPath.substr(0, locSlash);
}
} // namespace

int LWBench_Export(int argc, char** argv, bool aQreFlag)
{
    if (argc < 1)
    {
        fprintf(stderr, "usage: lightwave_bench --export|--qre DIR...\n");
        return 2;
    }
    std::vector<std::string> locFiles;
    for (int i = 0; i < argc; i++)
        locList(argv[i], aQreFlag ? std::vector<const char*>{".qre"} : std::vector<const char*>{".lws", ".lwo"},
                &locFiles);
    char locCwd[4096];
    if (!getcwd(locCwd, sizeof(locCwd)))
        return 1;
    std::string locOut = std::string(P_tmpdir) + "/lightwave_bench." + std::to_string(getpid());
    mkdir(locOut.c_str(), 0755);

    OS_SetMessageBoxHook(locQuiet);
    IN_Script locScript;
    locScript.AddKeyboard();
    locScript.SetFocusWindow(true);
    if (!QRenderEditor::Create() || !CommandHandler::Create())
    {
        fprintf(stderr, "lightwave_bench: the editor scene did not start\n");
        return 1;
    }
    QRenderEditor* e = QRenderEditor::ourInstance;
    Figures locLW, locQRE;
    for (const std::string& locPath : locFiles)
    {
        std::string locLeaf;
        std::string locFolder = locFolderOf(locPath, &locLeaf);
        // Models name their files relative to their folder.
        if (chdir(locFolder.c_str()) != 0)
            continue;
        e->ClearModel();
        LWCache::Clear();
        std::string locBase = locLeaf.substr(0, locLeaf.size() - 4);
        std::string locTarget = locOut + "/" + locBase + ".qrb";
        bool locOk;
        Figures* f;
        if (aQreFlag)
        {
            f = &locQRE;
            CommandHandler::Get()->Clear();
            Clock::time_point locStart = Clock::now();
            locOk = LoadQRE(*CommandHandler::Get(), locLeaf.c_str(), false) && e->GetTemplate();
            f->myOpen += locSince(locStart);
            // The batch conversion writes beside the .qre.
            locTarget = locFolder + "/" + locBase + ".qrb";
        }
        else
        {
            f = &locLW;
            Clock::time_point locStart = Clock::now();
            locOk = e->OpenScene(locLeaf.c_str(), locBase.c_str(), "STND");
            f->myOpen += locSince(locStart);
        }
        f->myFiles++;
        if (!locOk || !locWriteAndRead(e, locTarget, f))
        {
            f->myFailed++;
            fprintf(stderr, "lightwave_bench: %s failed (editor error %u %s)\n", locPath.c_str(), EditorError::Get(),
                    EditorError::GetDetail());
        }
        if (chdir(locCwd) != 0)
            return 1;
    }
    e->ClearModel();
    CommandHandler::Destroy();
    QRenderEditor::Destroy();
    if (aQreFlag)
        locPrint("qre", locQRE);
    else
        locPrint("export", locLW);
    return 0;
}
