// The data-language half of the sample tree, run by make_samples (the renderer's
// file library and the data language's cannot share one program):
//   sample_data DIR          writes DIR/velk: types, settings, a level with
//                            references, lists (one of a single type, for the
//                            spreadsheet), localised texts and sounds (WAV and
//                            MP3), a sound with its fall-off, a GUI layout and
//                            its skin, and the .tez and .loc conversions of
//                            the .velk files;
//   sample_data --check DIR  reads the tree back: every .velk compiles without
//                            an error line, every .tez loads, every sound
//                            decodes, and every file of DIR/models reads back
//                            from DIR/pack.sdf with the same bytes.
// Prints one line per part; exits with 1 when anything fails.
#include <dirent.h>
#include <math.h>
#include <sndfile.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/os/os_cmdline.h"
#include "qfile/qf_file.h"
#include "qfile/qf_sdf.h"
#include "qsound2/qs2_sounddata.h"
#include "tez/tez.h"
#include "tez/tez_convert.h"
#include "tez/tez_loc.h"
#include "va_velkeditors/tests/vave_gui_testdata.h"
#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const ourFruit =
    "CLASS BrowseFilter\n{\nTEXT myTypeName\nTEXT myMemberName\nTEXT myExtension\n}\n"
    "SCRIPTCLASS BrowseFilters\n{\nBrowseFilter\n}\n"
    "TYPE Colour\n{\nRed\nGreen\nBlue\n}\n"
    "CLASS Point\n{\nNUMBER x 1\nNUMBER y 2\n}\n"
    "SCRIPTCLASS Script\n{\nTEXT\nNUMBER\nPoint\n}\n"
    "CLASS Unit\n{\nTEXT title\nLOCTEXT label\nColour colour Green\nPoint pos\nFILE sound\nUnit* next\n"
    "Script script\n}\n"
    "CLASS Supply\n{\nTEXT name\nNUMBER amount 10\nColour colour Red\n}\n"
    "SCRIPTCLASS Supplies\n{\nSupply\n}\n";

const char* const ourSettings =
    "INCLUDE game.fruit\nTEXT DebugFile korrinth_debug.txt\nBrowseFilters myBrowseFilters\n{\n"
    "\tBrowseFilter BrowseFilter(0)\n\t{\n\t\tmyTypeName Unit\n\t\tmyMemberName sound\n"
    "\t\tmyExtension wav\n\t}\n}\nPoint Unit\n{\n\tx 77\n}\n";

const char* const ourLevel =
    "INCLUDE game.fruit\nUnit tank\n{\n\ttitle \"big tank\"\n\tlabel \"Heavy tank\"\n\tcolour Blue\n"
    "\tpos\n\t{\n\t\tx 10\n\t}\n\tsound sounds\\engine.wav\n\tnext jeep\n\tscript\n\t{\n"
    "\t\tTEXT TEXT(1) hello\n\t\tNUMBER NUMBER(2) 5\n\t\tPoint Point(3)\n\t\t{\n\t\t\ty 4\n\t\t}\n\t}\n}\n"
    "Unit jeep\n{\n\tlabel \"Scout jeep\"\n\tsound sounds\\horn.mp3\n\tnext tank\n}\n"
    "Point spot\n{\n}\nNUMBER count 7\n"
    "Supplies supplies\n{\n"
    "\tSupply Supply(0)\n\t{\n\t\tname fuel\n\t\tamount 40\n\t}\n"
    "\tSupply Supply(1)\n\t{\n\t\tname ammunition\n\t\tcolour Blue\n\t}\n"
    "\tSupply Supply(2)\n\t{\n\t\tname rations\n\t\tamount 25\n\t\tcolour Green\n\t}\n}\n";

// The sound library's types: a sound plays one of its specs, each a file with
// its fall-off of volume over distance.
const char* const ourSoundFruit =
    "CLASS QS_DistanceVolume\n{\nDECIMAL myDistance\nDECIMAL myVolume\n}\n"
    "SCRIPTCLASS QS_Envelope\n{\nQS_DistanceVolume\n}\n"
    "CLASS QS_SoundSpec\n{\nFILE myFileName\nNUMBER myBaseFrequency 0\nQS_Envelope myEnvelope\n}\n"
    "SCRIPTCLASS QS_SoundSpecs\n{\nQS_SoundSpec\n}\n"
    "CLASS QS_Sound\n{\nNUMBER myNumChannels 1\nQS_SoundSpecs mySpecs\n}\n";

const char* const ourSounds =
    "INCLUDE sound.fruit\n"
    "QS_Sound engine\n{\n\tmyNumChannels 2\n\tmySpecs\n\t{\n"
    "\t\tQS_SoundSpec QS_SoundSpec(0)\n\t\t{\n\t\t\tmyFileName sounds\\engine.wav\n\t\t\tmyEnvelope\n\t\t\t{\n"
    "\t\t\t\tQS_DistanceVolume QS_DistanceVolume(0)\n\t\t\t\t{\n\t\t\t\t\tmyDistance 0\n\t\t\t\t\tmyVolume 1\n\t\t\t\t}\n"
    "\t\t\t\tQS_DistanceVolume QS_DistanceVolume(1)\n\t\t\t\t{\n\t\t\t\t\tmyDistance 150\n\t\t\t\t\tmyVolume 0.4\n\t\t\t\t}\n"
    "\t\t\t\tQS_DistanceVolume QS_DistanceVolume(2)\n\t\t\t\t{\n\t\t\t\t\tmyDistance 400\n\t\t\t\t\tmyVolume 0\n\t\t\t\t}\n"
    "\t\t\t}\n\t\t}\n\t}\n}\n";

// The .velk files, each converted to .tez (and .loc when it has LOCTEXT values).
const char* const ourVelkFiles[] = {"korrinth.velk", "level.velk", "sounds.velk", "menu.velk", "skins/main.velk"};

bool locWrite(const std::string& aPath, const std::string& aText)
{
    FILE* f = fopen(aPath.c_str(), "wb");
    if (!f)
        return false;
    const bool locOk = fwrite(aText.data(), 1, aText.size(), f) == aText.size();
    return fclose(f) == 0 && locOk;
}

bool locRead(const std::string& aPath, std::string* anOut)
{
    FILE* f = fopen(aPath.c_str(), "rb");
    if (!f)
        return false;
    anOut->clear();
    char b[65536];
    size_t n;
    while ((n = fread(b, 1, sizeof(b), f)) > 0)
        anOut->append(b, n);
    const bool locOk = !ferror(f);
    fclose(f);
    return locOk;
}

// A rising tone, aSeconds long, mono.
bool locWriteSound(const std::string& aPath, int aFormat, int aRate, double aSeconds, double aHertz)
{
    SF_INFO locInfo = {};
    locInfo.samplerate = aRate;
    locInfo.channels = 1;
    locInfo.format = aFormat;
    SNDFILE* f = sf_open(aPath.c_str(), SFM_WRITE, &locInfo);
    if (!f)
    {
        fprintf(stderr, "sample_data: %s: %s\n", aPath.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> locSamples((size_t)(aRate * aSeconds));
    for (size_t i = 0; i < locSamples.size(); i++)
    {
        const double t = (double)i / aRate;
        locSamples[i] = (float)(0.4 * sin(2 * M_PI * aHertz * (1 + t) * t) * std::min(1.0, 20 * (aSeconds - t)));
    }
    const bool locOk = sf_writef_float(f, locSamples.data(), (sf_count_t)locSamples.size()) ==
                       (sf_count_t)locSamples.size();
    return sf_close(f) == 0 && locOk;
}

std::string locSkinFile()
{
    using namespace VAVE_TestData;
    const std::string locPrefabs = Prefab("panel", 0, 0, 12, 12, 4, 4, 8, 8) + Prefab("bar", 16, 0, 48, 8, 18, 2, 46, 6);
    const std::string locFonts = Font("big", "sans", 250000) + Font("small", "sans", 0);
    return SkinFile("widgets.fruit", Skin("red", "skins/skin.tga", "skins/skin.tga", locPrefabs, locFonts));
}

std::string locMenu()
{
    using namespace VAVE_TestData;
    return Gui("widgets.fruit", "menu",
               Widget("VAP_Plate", "back", RED_SKIN + "myPrefab panel\n" + Box(400, 400, 9000, 7000)) +
                   Widget("VAP_TextLabel", "title", RED_SKIN + "myFont big\nmyText Options\n" + Box(800, 800, 4000, 1000)) +
                   Widget("VAP_CheckBox", "music",
                          RED_SKIN + "myCheckedPrefab panel\nmyFont small\nmyText Music\n" + Box(800, 2200, 3000, 800)) +
                   Widget("VAP_Slider", "volume", RED_SKIN + "myPrefab bar\n" + Box(800, 3400, 5000, 400)) +
                   Widget("VAP_ProgressBar", "loading", RED_SKIN + "myPrefab bar\n" + Box(800, 4400, 5000, 400)) +
                   Widget("VAP_Button", "ok", RED_SKIN + "myUpPrefab panel\nmyFont big\nmyText OK\n" + Box(6000, 5800, 2400, 1000)));
}

// Counts the data language's error lines.
class ErrorCounter : public QC_Subscriber<int, QC_String>
{
public:
    bool Receive(int, QC_String aLine) override
    {
        myCount++;
        fprintf(stderr, "  error: %s\n", aLine.GetBuffer());
        return true;
    }
    int myCount = 0;
};

int Write(const std::string& aDir)
{
    const std::string d = aDir + "/velk/";
    for (const char* locSub : {"", "sounds", "skins"})
        mkdir((d + locSub).c_str(), 0755);
    bool locOk = locWrite(d + "game.fruit", ourFruit) && locWrite(d + "korrinth.velk", ourSettings) &&
                 locWrite(d + "level.velk", ourLevel) && locWrite(d + "sound.fruit", ourSoundFruit) &&
                 locWrite(d + "sounds.velk", ourSounds) && locWrite(d + "widgets.fruit", VAVE_TestData::Fruit()) &&
                 locWrite(d + "skins/skin.tga", VAVE_TestData::TextureTGA()) &&
                 locWrite(d + "skins/main.velk", locSkinFile()) && locWrite(d + "menu.velk", locMenu());
    locOk = locOk && locWriteSound(d + "sounds/engine.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 0.5, 110) &&
            locWriteSound(d + "sounds/horn.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 0.4, 440);
    if (!locOk)
    {
        fprintf(stderr, "sample_data: cannot write %s\n", d.c_str());
        return 1;
    }
    if (chdir(d.c_str()) != 0)
        return 1;
    int locConverted = 0;
    for (const char* locName : ourVelkFiles)
    {
        VelkTypeManager locTypes;
        VelkNameSpace locSpace;
        if (!VelkCompiler::Compile(locSpace, locName, &locTypes, nullptr) || !VelkToTez::Convert(locSpace, locName))
        {
            fprintf(stderr, "sample_data: cannot convert %s%s\n", d.c_str(), locName);
            return 1;
        }
        locConverted++;
    }
    printf("velk: game.fruit, sound.fruit, widgets.fruit, korrinth.velk, level.velk (localised texts, "
           "sounds/engine.wav, sounds/horn.mp3, the list \"supplies\"), sounds.velk (the sound \"engine\"), menu.velk "
           "(GUI layout), skins/main.velk (skin); %d converted to .tez in %s\n",
           locConverted, d.c_str());
    return 0;
}

// Relative paths of the files under aDir/aSub.
void locList(const std::string& aDir, const std::string& aSub, std::vector<std::string>* aFiles)
{
    DIR* locDir = opendir((aDir + "/" + aSub).c_str());
    if (!locDir)
        return;
    while (dirent* e = readdir(locDir))
    {
        const std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        const std::string r = aSub.empty() ? n : aSub + "/" + n;
        struct stat s;
        if (stat((aDir + "/" + r).c_str(), &s) != 0)
            continue;
        if (S_ISDIR(s.st_mode))
            locList(aDir, r, aFiles);
        else
            aFiles->push_back(r);
    }
    closedir(locDir);
    std::sort(aFiles->begin(), aFiles->end());
}

bool locEndsWith(const std::string& aText, const char* anEnd)
{
    const size_t n = strlen(anEnd);
    return aText.size() >= n && aText.compare(aText.size() - n, n, anEnd) == 0;
}

// The label's text through the .loc decoder, in ASCII.
std::string locLabel(Tez* aRoot, const char* aPath)
{
    Tez* locNode = aRoot->GetMember(aPath);
    const TezLocDecoder* locDecoder = aRoot->GetLocDecoder();
    if (!locNode || !locDecoder)
        return "";
    const QC_LocString* locText = locDecoder->GetText((uint32_t)locNode->GetValueAsInt());
    std::string r;
    for (int i = 0; locText && i < locText->GetLength(); i++)
        r += (char)locText->GetText()[i];
    return r;
}

int Check(const std::string& aDir)
{
    int locFailed = 0;
    std::string locOld;
    {
        char b[4096];
        if (!getcwd(b, sizeof(b)))
            return 1;
        locOld = b;
    }
    const std::string d = aDir + "/velk";
    if (chdir(d.c_str()) != 0)
    {
        fprintf(stderr, "sample_data: no folder %s\n", d.c_str());
        return 1;
    }
    std::vector<std::string> locFiles;
    locList(".", "", &locFiles);

    ErrorCounter locErrors;
    VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_ERROR, &locErrors);
    int locVelk = 0, locInstances = 0;
    for (const std::string& f : locFiles)
        if (locEndsWith(f, ".velk"))
        {
            VelkTypeManager locTypes;
            VelkNameSpace locSpace;
            const int locBefore = locErrors.myCount;
            if (!VelkCompiler::Compile(locSpace, f.c_str(), &locTypes, nullptr) || locErrors.myCount != locBefore)
            {
                fprintf(stderr, "sample_data: %s does not compile cleanly\n", f.c_str());
                locFailed++;
            }
            locVelk++;
            locInstances += locSpace.GetNumInstances();
        }
    VelkLog::GetPublisher().Unsubscribe(&locErrors);
    printf("check: %d .velk files compile without errors (%d root instances)\n", locVelk, locInstances);

    int locTez = 0;
    for (const std::string& f : locFiles)
        if (locEndsWith(f, ".tez"))
        {
            Tez* locRoot = Tez::Load(f.c_str(), false);
            if (!locRoot)
            {
                fprintf(stderr, "sample_data: %s does not load\n", f.c_str());
                locFailed++;
                continue;
            }
            locTez++;
            if (f == "level.tez")
            {
                const std::string locTank = locLabel(locRoot, "tank.label"), locJeep = locLabel(locRoot, "jeep.label");
                const char* locSound = locRoot->GetMemberValue("tank.next.sound");
                if (locTank != "Heavy tank" || locJeep != "Scout jeep" || !locSound ||
                    strcmp(locSound, "sounds/horn.mp3") != 0)
                {
                    fprintf(stderr, "sample_data: level.tez reads back wrong (\"%s\", \"%s\", %s)\n",
                            locTank.c_str(), locJeep.c_str(), locSound ? locSound : "no sound");
                    locFailed++;
                }
            }
            delete locRoot;
        }
    printf("check: %d .tez files load; level.loc holds the localised labels\n", locTez);

    int locSounds = 0;
    for (const std::string& f : locFiles)
        if (locEndsWith(f, ".wav") || locEndsWith(f, ".mp3"))
        {
            SF_INFO locInfo = {};
            SNDFILE* s = sf_open(f.c_str(), SFM_READ, &locInfo);
            QS2_SoundData* locData = QS2_SoundData::Get(f.c_str());
            if (!s || locInfo.frames <= 0 || !locData)
            {
                fprintf(stderr, "sample_data: sound %s does not load\n", f.c_str());
                locFailed++;
            }
            else
                locSounds++;
            if (s)
                sf_close(s);
            if (locData)
                locData->Release();
        }
    printf("check: %d sounds decode\n", locSounds);

    if (chdir(locOld.c_str()) != 0 || chdir(aDir.c_str()) != 0)
        return 1;
    std::vector<std::string> locModels;
    locList("models", "", &locModels);
    if (!QF_SDF::OpenByName("pack.sdf", 1))
    {
        fprintf(stderr, "sample_data: pack.sdf does not open (error %d)\n", QF_ErrorCode);
        return 1;
    }
    int locEntries = 0;
    for (const std::string& f : locModels)
    {
        QF_File locFile;
        std::string locDisk, locPacked;
        // From DIR the names stored (relative to DIR/models) exist only in the archive.
        if (!locFile.Open(f.c_str(), OPEN_READ) || !locRead("models/" + f, &locDisk))
        {
            fprintf(stderr, "sample_data: %s is not in pack.sdf\n", f.c_str());
            locFailed++;
            continue;
        }
        locPacked.resize(locFile.GetSize());
        if (locFile.Read(locPacked.data(), (uint32_t)locPacked.size()) != locPacked.size() || locPacked != locDisk)
        {
            fprintf(stderr, "sample_data: %s reads back from pack.sdf with other bytes\n", f.c_str());
            locFailed++;
            continue;
        }
        locEntries++;
    }
    QF_SDF::Close(nullptr);
    printf("check: %d files of models/ read back from pack.sdf unchanged\n", locEntries);
    return locFailed ? 1 : 0;
}

const OS_Option ourOptions[] = {{"--check", false}};
const OS_CommandLine ourLine = {
    "sample_data",
    "usage: sample_data [--check] DIR\n"
    "Writes the data-language half of the sample tree into DIR/velk (run by\n"
    "make_samples); with --check reads DIR back.\n"
    "  --check     read DIR back instead of writing it\n"
    "  -h, --help  this text\n",
    ourOptions, 1, false};
}

int main(int argc, char** argv)
{
    OS_Arguments locArguments;
    const int locCheck = OS_ReadCommandLine(ourLine, argc, argv, &locArguments);
    if (locCheck != OS_COMMAND_LINE_GO_ON)
        return locCheck;
    if (locArguments.myOperands.size() != 1)
        return OS_RefuseCommandLine(ourLine, "one folder");
    return locArguments.Has("--check") ? Check(locArguments.myOperands[0]) : Write(locArguments.myOperands[0]);
}
