// Sound data (one per file name, shared and reference-counted) and the
// templates made of it. Needs neither a sound device nor a window.
#pragma once

#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_string.h"

#include <cstdint>

class QF_File;

// Kinds of sound data; a container keeps the format word of its "SND " chunk.
enum QS2_SoundKind : uint32_t
{
    QS2_KIND_WAV = 0,
    QS2_KIND_MP3 = 2,
};

// Errors of the sound library.
enum QS2_Error
{
    QS2_ERROR_NONE = 0,
    QS2_ERROR_OPEN = 1,            // the file cannot be opened
    QS2_ERROR_EXTENSION = 2,       // neither "wav", "mp3" nor "qsf"
    QS2_ERROR_CONTAINER = 3,       // a damaged or empty container
    QS2_ERROR_READ = 4,            // reading the sound bytes failed
    QS2_ERROR_NO_ENGINE = 5,
    QS2_ERROR_NOT_STARTED = 6,     // the sound device cannot be started
};
extern int QS2_ErrorCode;

class QS2_SoundData
{
public:
    // The sound data of the file (case-insensitive name), loaded on first use;
    // a reference is taken. Null when the file cannot be loaded.
    static QS2_SoundData* Get(const char* aFileName);
    // Drops a reference; the last one frees it.
    void Release();

    // Loads into fresh sound data from an open file (the container reader
    // reads from aFile's position 0); false with QS2_ErrorCode set.
    bool Load(QF_File& aFile, const char* anExtension);
    // Reads the sound bytes into memory when they are not yet there; false on a short read.
    bool ReadIntoMemory(QF_File& aFile);

    // Newest first.
    static QS2_SoundData* GetFirst() { return ourFirst; }
    static uint32_t GetTotalBytes() { return ourTotalBytes; }
    // Sound bytes smaller than this are held in memory; the engine sets 307,200 at start-up.
    static uint32_t ourPreloadLimit;

    int myRefCount = 0;
    QS2_SoundData* myNext = nullptr;
    QS2_SoundData* myPrevious = nullptr;
    float myLength = 0.0f;                 // seconds
    uint8_t* myAmplitudeData = nullptr;    // owned
    uint32_t myAmplitudeSize = 0;
    uint32_t myAmplitudeWord = 0;
    uint8_t* myFileData = nullptr;         // owned; the sound bytes when held in memory
    uint32_t myFileDataSize = 0;
    uint32_t myFileDataOffset = 0;         // of the sound bytes in the file
    uint32_t mySoundSize = 0;              // of the sound bytes in the file, held or not
    QC_String myFileName;
    uint32_t myKind = QS2_KIND_WAV;

    QS2_SoundData();
    ~QS2_SoundData();
    QS2_SoundData(const QS2_SoundData&) = delete;
    QS2_SoundData& operator=(const QS2_SoundData&) = delete;

private:
    bool LoadContainer(QF_File& aFile);
    void Link();
    void Unlink();

    bool myLinkedFlag = false;
    static QS2_SoundData* ourFirst;
    static uint32_t ourTotalBytes;
};

// A point of a fall-off curve: x the distance, y the volume (0..1).
struct QS2_FalloffPoint
{
    float x;
    float y;
};

// Group of the engine's group array: a volume shared by its templates, with a fade.
struct QS2_Group
{
    uint32_t myId = 0;
    float myVolume = 1.0f;
    float myFadeStartValue = 0.0f;
    float myFadeTarget = 0.0f;
    float myFadeStartTime = 0.0f;
    float myFadeEndTime = -1.0f;   // -1: no fade
};
typedef QC_GrowingArray<QS2_Group> QS2_GroupArray;

// Creation flags of QS2_CreateSoundData.
enum QS2_CreateFlags : uint32_t
{
    QS2_FILENAME_VALID = 1,
    QS2_GROUP_VALID = 2,
    QS2_MAX_CHANNELS_VALID = 4,
    QS2_3D_SOUND = 8,
};

struct QS2_CreateFileEntry
{
    const char* myFileName = nullptr;
    const QS2_FalloffPoint* myPoints = nullptr;
    int myNumPoints = 0;
};

struct QS2_CreateSoundData
{
    const QS2_CreateFileEntry* myFiles = nullptr;
    int myNumFiles = 0;
    int myMaxNumActiveChannels = 1;
    uint32_t myGroupId = 0;
    uint32_t myFlags = 0;
};

struct QS2_TemplateFile
{
    QS2_SoundData* mySoundData = nullptr;
    QS2_FalloffPoint* myPoints = nullptr;   // owned copy, 3D only
    int myNumPoints = 0;
    uint32_t myDefaultRate = 0;             // Hz; 0 until a channel reports it
};

class QS2_SoundTemplate
{
public:
    // Shares a template with the same group, files (case-insensitive, in order)
    // and fall-off points, or makes one; null when a file cannot be loaded.
    static QS2_SoundTemplate* Create(const QS2_CreateSoundData& aData, QS2_GroupArray& aGroups);
    void AddRef() { ++myRefCount; }
    void Release();

    // The volume of file anIndex at aDistance on its fall-off curve: the first
    // point's volume before it, the last point's beyond it.
    float GetFalloffVolume(int anIndex, float aDistance) const;

    static QS2_SoundTemplate* GetFirst() { return ourFirst; }

    int myRefCount = 0;
    QS2_SoundTemplate* myNext = nullptr;
    QS2_SoundTemplate* myPrevious = nullptr;
    int myFileCount = 0;
    QS2_TemplateFile* myFiles = nullptr;   // owned
    int myMaxNumActiveChannels = 1;
    int myCurrentNumActiveChannels = 0;
    int myGroupIndex = 0;
    float myLongestLength = 0.0f;          // seconds
    float myRange = 0.0f;                  // largest last-point distance
    int myAmplitudeFileIndex = -1;
    float myLengthRatio = 1.0f;
    bool my3DFlag = false;

    QS2_SoundTemplate() = default;
    ~QS2_SoundTemplate();
    QS2_SoundTemplate(const QS2_SoundTemplate&) = delete;
    QS2_SoundTemplate& operator=(const QS2_SoundTemplate&) = delete;

private:
    bool Matches(const QS2_CreateSoundData& aData, int aGroupIndex) const;
    static QS2_SoundTemplate* ourFirst;
};

// The group index for an id, appended (volume 1, no fade) when absent.
int QS2_FindOrAddGroup(QS2_GroupArray& aGroups, uint32_t anId);
// The group of templates that name none: index 0, made with the id "QS2 " when the array is empty.
int QS2_DefaultGroup(QS2_GroupArray& aGroups);
