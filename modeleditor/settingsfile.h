// The model editor's own text files: the settings file "pranvel.cfg" and the
// state file (4-character state codes with readable names). Read into records
// from memory or from a path, written back from records; no window or device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_string.h"

// A line of either file is at most this many characters; longer ones are skipped whole.
constexpr int SETTINGS_MAX_LINE = 255;

// The settings keys, as bits of PranvelSettings::myFoundKeys.
enum SettingsKey
{
    SETTINGS_WORKDIR = 0,
    SETTINGS_STATEFILE,
    SETTINGS_BGCOLOR,
    SETTINGS_OBJECTCOLOR0,  // ... SETTINGS_OBJECTCOLOR0 + 7
    SETTINGS_AMBIENTCOLOR = SETTINGS_OBJECTCOLOR0 + 8,
    SETTINGS_DIRLIGHTDIRECTION,
    SETTINGS_DIRLIGHTELEVATION,
    SETTINGS_DIRLIGHTCOLOR,
    SETTINGS_FOGCOLOR,
    SETTINGS_FOGSTART,
    SETTINGS_NEARPLANE,
    SETTINGS_FARPLANE,
    SETTINGS_MOUSESENS,
    SETTINGS_GRIDENABLE,
    SETTINGS_GRIDSIZE,
    SETTINGS_DEFAULTHALOSURFACE,
    SETTINGS_DEFAULTSURFACE,
    SETTINGS_CACHERENDERING,
    SETTINGS_AUTOCALCFARPLANE,
    SETTINGS_DONTRESETCAMERAONREFRESH,
    SETTINGS_LOD1DISTANCE,  // ... SETTINGS_LOD1DISTANCE + 3
    SETTINGS_NUM_KEYS = SETTINGS_LOD1DISTANCE + 4,
};

// Every setting with the value in force when its key is absent. Colours are
// 0x00RRGGBB; angles radians; the light colour 0..1 per component.
struct PranvelSettings
{
    QC_String myWorkDir;
    QC_String myStateFile;
    uint32_t myBgColor = 0;
    // White leaves the lit colour as it is: parts without a surface draw in their vertex
    // colour times the tint, so a black tint would hide every untextured part.
    uint32_t myObjectColors[8] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    uint32_t myAmbientColor = 0xFFFFFF;
    float myDirLightDirection = 0.0f;
    float myDirLightElevation = 0.0f;
    float myDirLightColor[3] = {0.0f, 0.0f, 0.0f};
    uint32_t myFogColor = 0x808080;
    float myFogStart = 50.0f;          // far plane x 0.25 at start-up
    float myNearPlane = 0.1f;
    float myFarPlane = 200.0f;
    float myMouseSens = 0.005f;
    bool myGridEnable = true;
    float myGridSize = 1.0f;
    QC_String myDefaultHaloSurface;
    QC_String myDefaultSurface = "INTERNAL_SOLID";
    bool myCacheRendering = true;
    bool myAutoCalcFarplane = true;
    bool myDontResetCameraOnRefresh = false;
    float myLodDistances[4] = {50.0f, 100.0f, 200.0f, 400.0f};

    // Bit (1 << SettingsKey) set for every key a read found.
    uint64_t myFoundKeys = 0;

    bool WasFound(int aKey) const { return (myFoundKeys >> aKey) & 1; }
};

// Reads settings lines into aSettings: known keys are applied, unknown ones and
// lines over SETTINGS_MAX_LINE characters skipped. Fields of absent keys keep
// what aSettings held.
void ParseSettingsText(const char* aText, size_t aSize, PranvelSettings* aSettings);
// False when the file cannot be read (aSettings untouched).
bool ReadSettingsFile(const char* aPath, PranvelSettings* aSettings);
// The file's text, every line ended by CR LF, keys in their fixed order.
std::string FormatSettingsText(const PranvelSettings& aSettings);
// Through the save-file helper: false when anything failed (the old file stays).
bool WriteSettingsFile(const char* aPath, const PranvelSettings& aSettings);

// The state file read into the two arrays (cleared first; initialised with
// capacity 10, growth 10 when empty). aWrongLines (optional) receives the
// line number (from 1) of every line whose code is not 4 characters long; a
// shorter code is padded with blanks to 4, a longer one kept.
void ParseStateText(const char* aText, size_t aSize, QC_GrowingArray<QC_String>* aCodes,
                    QC_GrowingArray<QC_String>* aNames, std::vector<int>* aWrongLines);
bool ReadStateFile(const char* aPath, QC_GrowingArray<QC_String>* aCodes, QC_GrowingArray<QC_String>* aNames,
                   std::vector<int>* aWrongLines);

// The lines of the settings and state files: CR LF or LF ends a line; leading
// characters below 33 and empty lines are skipped, "//" starts a comment to the
// line's end, trailing characters below 33 are cut. Lines longer than
// SETTINGS_MAX_LINE characters are skipped whole.
class SettingsLineReader
{
public:
    SettingsLineReader(const char* aText, size_t aSize) : myText(aText), mySize(aSize) {}
    // False at the end. aLineNumber is the physical line, from 1.
    bool Next(std::string* aLine, int* aLineNumber);
    // The next line up to its end, nothing trimmed (CR before LF removed);
    // false at the end. Lines longer than SETTINGS_MAX_LINE give "".
    bool NextRaw(std::string* aLine);

private:
    const char* myText;
    size_t mySize;
    size_t myPos = 0;
    int myLine = 0;
};

// Whole file into memory; false when it cannot be opened or read.
bool ReadWholeFile(const char* aPath, std::string* aText);
// Replaces a file through the save-file helper.
bool WriteWholeFile(const char* aPath, const std::string& aText);
