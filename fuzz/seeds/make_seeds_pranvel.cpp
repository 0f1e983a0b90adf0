// Writes the seed corpus of fuzz_pranvel_files with the editor's own writers:
// a settings file (first byte 0), a state file (1) and a paths file (2).
// Usage: make_seeds_pranvel <corpus folder>
#include <string>

#include "seed_file.h"
#include "modeleditor/pathsfile.h"
#include "modeleditor/settingsfile.h"

static void locSeed(const char* aCorpus, const char* aName, char aKind, const std::string& aText)
{
    std::string locBytes = std::string(1, aKind) + aText;
    WriteSeed(aCorpus, "fuzz_pranvel_files", aName, locBytes.data(), locBytes.size());
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    PranvelSettings locSettings;
    locSeed(argv[1], "settings_default.cfg", 0, FormatSettingsText(locSettings));
    locSettings.myWorkDir = "t:/data/";
    locSettings.myStateFile = "states.txt";
    locSettings.myBgColor = 0x203040;
    locSettings.myObjectColors[3] = 0xFF8000;
    locSettings.myDirLightDirection = 0.5f;
    locSettings.myDirLightColor[1] = 0.5f;
    locSettings.myGridEnable = false;
    locSettings.myGridSize = 2.5f;
    locSettings.myDefaultHaloSurface = "surfaces/halo.sur";
    locSettings.myLodDistances[0] = 12.5f;
    locSeed(argv[1], "settings_changed.cfg", 0, FormatSettingsText(locSettings) + "// a comment\r\nmouseInvert 1\r\n");

    locSeed(argv[1], "states.txt", 1, "STND Standing\r\nWALK Walking\r\nRUN  Running fast\r\nAB short\r\n");

    PathsFile locPaths;
    locSeed(argv[1], "paths_empty.txt", 2, locPaths.ToText());
    locPaths.Set(0, "surfaces");
    locPaths.Set(4, "t:/models/qre");
    locPaths.Set(6, "X:/Data/models");
    locSeed(argv[1], "paths.txt", 2, locPaths.ToText());
    return 0;
}
