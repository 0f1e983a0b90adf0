// Writes a small sample data tree with our own writers: make_samples DIR.
// DIR/models: .qrb models, TGA and DDS textures, surfaces, particles, and a
// LightWave scene (lightwave/tower.lws over three objects) opened by the
// command file tower.qre and exported as models/tower.qrb, and the editor's
// settings pranvel.cfg naming its state file states.txt;
// DIR/velk: a Velk data set with its .tez/.loc conversions and sounds, written
// by sample_data beside this program (the data language's file library and
// the renderer's cannot share one program); DIR/pack.sdf: DIR/models packed
// by sdf_pack beside this program.
// DIR/models also holds what Pranvel needs there: surfaces/particle_additive.sur
// (the surface of the particle editor's new emitter), and pranvel.cfg naming
// the state file states.txt.
// make_samples --check DIR reads the models back through the renderer, replays
// tower.qre, runs sample_data --check, and opens Korrinth (found beside this
// program's folder) headless on the list "supplies" (the spreadsheet) and the
// sound "engine" (the fall-off editor). Prints one line per part with its counts.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_writer.h"
#include "modeleditor/qre_command.h"
#include "modeleditor/qrendereditor.h"
#include "platform/input/in_script.h"
#include "platform/os/os_cmdline.h"
#include "platform/os/os_ui.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"
#include "modeleditor/tests/me_qrbmodel.h"

namespace
{
// The folder this program lies in, with its '/'.
std::string locOwnFolder()
{
    char locSelf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", locSelf, sizeof(locSelf) - 1);
    if (n <= 0)
        return std::string();
    locSelf[n] = 0;
    const std::string locPath = locSelf;
    return locPath.substr(0, locPath.rfind('/') + 1);
}

// Runs a tool found beside this program with its arguments; its exit code.
int locRunBeside(const char* aName, const char* anArg0, const char* anArg1)
{
    const std::string locFolder = locOwnFolder();
    if (locFolder.empty())
        return 1;
    const std::string locTool = locFolder + aName;
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

// Korrinth in aVelkDir, headless, with aName selected in aFile until its
// window is grabbed: true when it ends well and an editor opened for aName.
bool locOpenInKorrinth(const std::string& aProgram, const std::string& aVelkDir, const char* aFile, const char* aName)
{
    char locScratch[] = "/tmp/make_samples.XXXXXX";
    if (!mkdtemp(locScratch))
        return false;
    const std::string s = locScratch, locLog = s + "/korrinth.log";
    fflush(stdout);
    const pid_t locChild = fork();
    if (locChild == 0)
    {
        if (chdir(aVelkDir.c_str()) != 0 || !freopen(locLog.c_str(), "w", stderr) || !freopen("/dev/null", "w", stdout))
            _exit(127);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_CONFIG_HOME", (s + "/config").c_str(), 1);
        setenv("Q_UI_GRAB", (s + "/shot.png").c_str(), 1);
        unsetenv("Q_UI_COMMANDS");
        execl(aProgram.c_str(), aProgram.c_str(), "--select", aName, aFile, (char*)nullptr);
        _exit(127);
    }
    int locStatus = 0;
    const bool locEnded = locChild > 0 && waitpid(locChild, &locStatus, 0) == locChild && WIFEXITED(locStatus) &&
                          WEXITSTATUS(locStatus) == 0;
    std::string locErrors;
    if (FILE* f = fopen(locLog.c_str(), "rb"))
    {
        char b[4096];
        size_t n;
        while ((n = fread(b, 1, sizeof(b), f)) > 0)
            locErrors.append(b, n);
        fclose(f);
    }
    struct stat locShot;
    const bool locShown = stat((s + "/shot.png").c_str(), &locShot) == 0 && locShot.st_size > 0;
    const bool locOk = locEnded && locShown && locErrors.find("Korrinth: no ") == std::string::npos;
    if (!locOk)
        fprintf(stderr, "make_samples: Korrinth --select %s %s fails:\n%s", aName, aFile, locErrors.c_str());
    std::string locRemove = "rm -rf '" + s + "'";
    if (system(locRemove.c_str()) != 0)
        fprintf(stderr, "make_samples: %s left behind\n", s.c_str());
    return locOk;
}

// The spreadsheet and the fall-off editor open on the sample's list and sound.
int CheckEditors(const std::string& aDir)
{
    const std::string locKorrinth = locOwnFolder() + "../korrinth/Korrinth";
    if (access(locKorrinth.c_str(), X_OK) != 0)
    {
        printf("check: Korrinth not built, its editors left out\n");
        return 0;
    }
    const bool locSheet = locOpenInKorrinth(locKorrinth, aDir + "/velk", "level.velk", "supplies");
    const bool locSound = locOpenInKorrinth(locKorrinth, aDir + "/velk", "sounds.velk", "engine");
    if (locSheet && locSound)
        printf("check: Korrinth opens level.velk's list \"supplies\" in the spreadsheet and sounds.velk's "
               "\"engine\" in the fall-off editor\n");
    return locSheet && locSound ? 0 : 1;
}

// What Pranvel reads beside the models: the particle editor's surface (additive
// blending over the spark texture), and the settings naming the state file.
bool WritePranvelFiles(const std::string& aDir)
{
    const std::string d = aDir + "/models/";
    const std::string locSurface = "VERSION 1\r\nNUM_DEFAULT_TEXTURES 1\r\nTEXTURE textures/spark\r\nNUM_CONFIGS 1\r\n"
                                   "CONFIG DEFAULT\r\nCONFIG_FLAGS SORT\r\nNUM_PASSES 1\r\n"
                                   "FRAMEBUFFERBLENDING SRCALPHA ONE\r\nALPHATEST OFF\r\nZWRITE DEFAULT\r\n"
                                   "FOGCOLOR DEFAULT\r\nNUM_REMAP_ENTRIES 1\r\n0\r\nNUM_INSTRUCTIONS 1\r\n"
                                   "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\r\n";
    // The states a LightWave import offers, one line each.
    const std::string locStates = "STND Standing\r\nWALK Walking\r\nDEAD Dead\r\n";
    const std::string locSettings = "stateFile states.txt\r\n";
    for (const auto& f : {std::pair<std::string, const std::string*>{"surfaces/particle_additive.sur", &locSurface},
                          {"states.txt", &locStates},
                          {"pranvel.cfg", &locSettings}})
    {
        FILE* locFile = fopen((d + f.first).c_str(), "wb");
        const bool locWritten = locFile && fwrite(f.second->data(), 1, f.second->size(), locFile) == f.second->size();
        const int locError = errno;
        if (!locFile || fclose(locFile) != 0 || !locWritten)
        {
            fprintf(stderr, "make_samples: cannot write %s%s: %s\n", d.c_str(), f.first.c_str(),
                    strerror(locWritten ? errno : locError));
            return false;
        }
    }
    const long locStateCount = std::count(locStates.begin(), locStates.end(), '\n');
    printf("pranvel: models/surfaces/particle_additive.sur (new particle emitters), models/pranvel.cfg naming "
           "models/states.txt (%ld states)\n",
           locStateCount);
    return true;
}

// A square tower of aFloors floors: walls in "Stone" mapped with
// textures/stone, a plain "Roof".
bool WriteTower(const char* aPath, int aFloors)
{
    LWO2Writer w;
    w.Tags({"Stone", "Roof"});
    w.Layer(0, "tower");
    std::vector<LWVec3> p;
    std::vector<LWO2Writer::MapEntry> uv;
    std::vector<std::vector<uint32_t>> q;
    std::vector<std::pair<uint32_t, uint16_t>> tags;
    const float locCorner[5][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}, {-0.5f, -0.5f}};
    const float locStorey = 3.0f / (float)aFloors;
    for (int f = 0; f < aFloors; f++)
        for (int side = 0; side < 4; side++)
        {
            const uint32_t n = (uint32_t)p.size();
            for (int c = 0; c < 4; c++)
            {
                const int locEnd = side + (c == 1 || c == 2 ? 1 : 0);
                const float y = locStorey * (float)(f + (c >= 2 ? 1 : 0));
                p.push_back({locCorner[locEnd][0], y, locCorner[locEnd][1]});
                uv.push_back({n + (uint32_t)c, 0, {(float)(c == 1 || c == 2), y / 3.0f}});
            }
            tags.push_back({(uint32_t)q.size(), 0});
            q.push_back({n, n + 3, n + 2, n + 1});
        }
    const uint32_t locRoof = (uint32_t)p.size();
    for (int c = 0; c < 4; c++)
        p.push_back({locCorner[c][0], 3.0f, locCorner[c][1]});
    tags.push_back({(uint32_t)q.size(), 1});
    q.push_back({locRoof, locRoof + 3, locRoof + 2, locRoof + 1});
    w.Points(p);
    w.Polygons(q);
    w.PolygonTags("SURF", tags);
    w.VertexMap("TXUV", 2, "UV", uv);
    w.StillClip(1, "textures/stone.tga");
    w.BeginSurface("Stone");
    LWO2Writer::Block b;
    w.SurfaceBlock(b);
    w.EndSurface();
    w.BeginSurface("Roof");
    w.EndSurface();
    return w.Save(aPath);
}

// A mast of four segments up from the tower's roof, its lower half weighted
// to the bone "Base", its upper half to "Top".
bool WriteMast(const char* aPath)
{
    LWO2Writer w;
    w.Tags({"Mast"});
    w.Layer(0, "mast");
    std::vector<LWVec3> p;
    std::vector<LWO2Writer::MapEntry> locBase, locTop;
    std::vector<std::vector<uint32_t>> q;
    for (uint32_t k = 0; k <= 4; k++)
        for (uint32_t c = 0; c < 2; c++)
        {
            (k < 2 ? locBase : locTop).push_back({(uint32_t)p.size(), 0, {1.0f}});
            p.push_back({c * 0.1f - 0.05f, 3.0f + 0.4f * (float)k, 0});
        }
    std::vector<std::pair<uint32_t, uint16_t>> tags;
    for (uint32_t k = 0; k < 4; k++)
    {
        tags.push_back({k, 0});
        q.push_back({2 * k, 2 * k + 2, 2 * k + 3, 2 * k + 1});
    }
    w.Points(p);
    w.Polygons(q);
    w.PolygonTags("SURF", tags);
    w.VertexMap("WGHT", 1, "Base", locBase);
    w.VertexMap("WGHT", 1, "Top", locTop);
    w.BeginSurface("Mast");
    w.EndSurface();
    return w.Save(aPath);
}

// The scene: the mast with two bones, the tower (and its second level of
// detail, found by name) parented to it, a spark emitter on the roof, a sun
// and a lamp.
bool WriteLightWave()
{
    mkdir("lightwave", 0755);
    if (!WriteTower("lightwave/tower.lwo", 3) || !WriteTower("lightwave/tower_LOD2.lwo", 1) ||
        !WriteMast("lightwave/mast.lwo"))
        return false;
    LWSceneText s;
    s.SceneHeader()
        .Line("LoadObjectLayer 1 lightwave/mast.lwo")
        .Line("AddBone")
        .Line("BoneName Base")
        .Line("BoneRestLength 0.8")
        .Line("BoneWeightMapName Base")
        .Line("ParentItem 10000000")
        .Line("AddBone")
        .Line("BoneName Top")
        .Line("BoneRestLength 0.8")
        .Line("BoneWeightMapName Top")
        .Line("ParentItem 40000000")
        .Line("LoadObjectLayer 1 lightwave/tower.lwo")
        .Line("ParentItem 10000000")
        .Line("AddNullObject PE_fx/sparks")
        .Line("ParentItem 10000001")
        .Line("AddLight")
        .Line("LightName Sun")
        .Line("LightType 0")
        .Line("ParentItem 10000001")
        .Line("AddLight")
        .Line("LightName Lamp")
        .Line("LightType 1")
        .Line("LightRange 5")
        .Line("ParentItem 10000001");
    return s.Save("lightwave/tower.lws");
}

int locQuietBox(const char* aText, const char* aCaption, int)
{
    fprintf(stderr, "make_samples: %s: %s\n", aCaption ? aCaption : "", aText ? aText : "");
    return OS_ID_OK;
}

// A keyboard for the editor scene's input object: no window gives it events here.
IN_Script* ourKeyboard = nullptr;

// The editor scene with its command handler, in DIR/models.
bool StartEditor(const std::string& aDir)
{
    OS_SetMessageBoxHook(locQuietBox);
    ourKeyboard = new IN_Script;
    ourKeyboard->AddKeyboard();
    if (chdir((aDir + "/models").c_str()) != 0 || !QRenderEditor::Create() || !CommandHandler::Create())
    {
        fprintf(stderr, "make_samples: no editor scene (error %u)\n", QR_Error::ourCode);
        return false;
    }
    return true;
}

void StopEditor()
{
    CommandHandler::Destroy();
    QRenderEditor::Destroy();
    delete ourKeyboard;
    ourKeyboard = nullptr;
}

// The LightWave files, then tower.qre opening them, saved back by the command
// handler, and the model exported.
int WriteModelFromLightWave(const std::string& aDir)
{
    if (!StartEditor(aDir))
        return 1;
    FILE* f = fopen("tower.qre", "wb");
    const char locQre[] = "VERSION_NUMBER 7\r\nHALOFILE \"INTERNAL_ALPHA\"\r\n"
                          "OPENMODEL \"lightwave/tower.lws\" \"tower\" \"STND\"\r\n";
    const bool locWritten = f && fwrite(locQre, 1, sizeof(locQre) - 1, f) == sizeof(locQre) - 1;
    if (f && fclose(f) != 0)
        return 1;
    bool locOk = locWritten && WriteLightWave() && LoadQRE(*CommandHandler::Get(), "tower.qre", false) &&
                 SaveQRE(*CommandHandler::Get(), "tower.qre") && QRenderEditor::ourInstance->ExportQRB("models/tower.qrb");
    const QR_TemplateObject* t = QRenderEditor::ourInstance->GetTemplate();
    if (!locOk || !t)
        fprintf(stderr, "make_samples: the LightWave model fails (error %u: %s)\n", EditorError::Get(),
                EditorError::GetDetail());
    else
        printf("lightwave: lightwave/tower.lws, tower.lwo, tower_LOD2.lwo, mast.lwo; tower.qre (%d commands) "
               "exported as models/tower.qrb (%u parts, %u lights, %u emitter links)\n",
               CommandHandler::Get()->GetHistory().Count(), t->myNumParts, t->myNumLights, t->myNumLinks);
    StopEditor();
    return locOk && t ? 0 : 1;
}

// Every sample model that is meant to load acquires through the renderer, and
// tower.qre replays.
int CheckModels(const std::string& aDir)
{
    if (!StartEditor(aDir))
        return 1;
    int locLoaded = 0, locFailed = 0;
    std::vector<std::string> locNames = {"models/tower.qrb"};
    for (const QRT_SampleModel& m : QRT_SampleModels())
        locNames.push_back(m.myName);
    for (const std::string& n : locNames)
    {
        QR_MainObject* o = QR_MainObject::Create(n.c_str());
        if (!o)
        {
            fprintf(stderr, "make_samples: %s does not load (error %u)\n", n.c_str(), QR_Error::ourCode);
            locFailed++;
            continue;
        }
        locLoaded++;
        delete o;
    }
    printf("check: %d models acquire through the renderer\n", locLoaded);
    if (QR_Surface* locSurface = QR_Surface::Acquire("surfaces/particle_additive.sur"))
    {
        printf("check: surfaces/particle_additive.sur compiles for the particle editor\n");
        QR_Surface::Release(locSurface);
    }
    else
    {
        fprintf(stderr, "make_samples: surfaces/particle_additive.sur does not load (error %u)\n", QR_Error::ourCode);
        locFailed++;
    }
    if (!LoadQRE(*CommandHandler::Get(), "tower.qre", false) || !QRenderEditor::ourInstance->GetTemplate())
    {
        fprintf(stderr, "make_samples: tower.qre does not replay (error %u: %s)\n", EditorError::Get(),
                EditorError::GetDetail());
        locFailed++;
    }
    else
        printf("check: tower.qre replays (%d commands)\n", CommandHandler::Get()->GetHistory().Count());
    StopEditor();
    return locFailed ? 1 : 0;
}
}

// Makes the folder and any missing parent, and checks that files can be made in it; else
// says why on standard error.
bool locMakeFolder(const std::string& aPath)
{
    std::error_code locError;
    std::filesystem::create_directories(aPath, locError);
    if (!locError && access(aPath.c_str(), W_OK | X_OK) != 0)
        locError.assign(errno, std::generic_category());
    if (locError)
        fprintf(stderr, "make_samples: cannot write into %s: %s\n", aPath.c_str(),
                locError.message().c_str());
    return !locError;
}

// The folder as an absolute path: the writers change the working folder.
std::string locAbsolute(const char* aPath)
{
    char locFull[PATH_MAX];
    return realpath(aPath, locFull) ? std::string(locFull) : std::string(aPath);
}

const OS_Option ourOptions[] = {{"--check", false}};
const OS_CommandLine ourLine = {
    "make_samples",
    "usage: make_samples [--check] DIR\n"
    "Writes the sample data tree into DIR (models/, velk/); with --check reads\n"
    "an existing tree back and opens its editors.\n"
    "  --check     read DIR back instead of writing it\n"
    "  -h, --help  this text\n",
    ourOptions, 1, false};

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (locArguments.myOperands.size() != 1)
        return OS_RefuseCommandLine(ourLine, "one folder");
    const char* locDir = locArguments.myOperands[0];
    if (locArguments.Has("--check"))
    {
        const std::string d = locAbsolute(locDir);
        const int locModels = CheckModels(d);
        const int locData = locRunBeside("sample_data", "--check", d.c_str());
        const int locEditors = CheckEditors(d);
        return locData != 0 || locModels != 0 || locEditors != 0 ? 1 : 0;
    }
    if (!locMakeFolder(locDir))
        return 1;
    const std::string d = locAbsolute(locDir);
    if (!locMakeFolder(d + "/models") || !locMakeFolder(d + "/velk"))
        return 1;
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
    if (!WritePranvelFiles(d) || WriteModelFromLightWave(d) != 0)
        return 1;
    if (locRunBeside("sample_data", d.c_str(), nullptr) != 0)
        return 1;
    return locRunBeside("sdf_pack", (d + "/pack.sdf").c_str(), (d + "/models").c_str());
}
