// The paths file "pranvel_paths.txt": the directory last used for each of the
// eight kinds of file the editor's file dialogs open. No window or device.
#pragma once

#include <cstddef>
#include <string>

#include "qcommon/qc_string.h"

// The file kinds of the editor's file dialogs.
enum PathsFileKind
{
    PATHS_SURFACE = 0,
    PATHS_TEXTURE = 1,
    PATHS_PARTICLE_EMITTER = 2,
    PATHS_QRB = 3,
    PATHS_QRE = 4,
    PATHS_LW_OBJECT = 5,
    PATHS_MODEL = 6,       // LightWave scenes, objects and QRE files
    PATHS_LW_SCENE = 7,
    PATHS_NUM_KINDS = 8,
};

// One directory per kind, '/' separators, no trailing '/', or empty.
class PathsFile
{
public:
    // All entries "", then the file's count line and at most eight raw
    // lines; false (entries empty) when the file cannot be read.
    bool Load(const char* aPath);
    void LoadFromText(const char* aText, size_t aSize);
    // "8", then the eight entries, CR LF each, through the save-file helper;
    // false (the old file kept) when anything failed.
    bool Save(const char* aPath) const;
    std::string ToText() const;

    // Null-safe access by kind; kinds outside 0..7 give "" and are not stored.
    const QC_String& Get(int aKind) const;
    void Set(int aKind, const char* aDirectory);

private:
    QC_String myPaths[PATHS_NUM_KINDS];
};
