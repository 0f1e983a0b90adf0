// The ".pe" particle-emitter text as the editor writes and reads it: one keyed line per
// item in a fixed order, then seven lines per phase. Parsed into a plain record here; the
// surface instance and texture frames are made from the record by the editor afterwards.
// No window or device.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

class QF_File;

// The editor offers at most this many phases; the reader refuses more.
constexpr int32_t EMITTERFILE_MAX_PHASES = 250;

struct EmitterPhaseRecord
{
    float myLength = 1.0f; // seconds
    uint8_t mySpace = 0;   // 0 world, 1 emitter
    float myVelocityMin[3] = {0.0f, 0.0f, 0.0f};
    float myVelocityMax[3] = {0.0f, 0.0f, 0.0f};
    uint32_t myVelocityOp[3] = {0, 0, 0}; // SET 0, ADD 1, MOD 2, APPDEFINED 3
    float mySizeMin = 0.0f;
    float mySizeMax = 0.0f;
    uint32_t mySizeOp = 0;
    float myAlphaMin = 0.0f; // held as floats, written truncated
    float myAlphaMax = 0.0f;
    uint32_t myAlphaOp = 0;
};

struct EmitterRecord
{
    uint32_t myFlags = 0; // 1 emitter space, 2 animated texture, 4 enabled (8 global: never read here)
    float myRadius = 1.0f;
    uint32_t myOrigin = 0;                          // POINT 0, RECTANGLE 1, CIRCLE 2, BOX 3, SPHERE 4
    float myOriginExtents[3] = {0.0f, 0.0f, 0.0f}; // half-extents or radii
    uint32_t myParticleType = 0;                    // CAMERAFACING 0, 3D 1, STREAK 2
    std::string mySurface;
    std::string myTexture; // without extension
    // The animation strip; a file without it gives one frame of 32 x 32 every 1.0 s.
    int32_t myNumFrames = 1;
    int32_t myFrameWidth = 32;
    int32_t myFrameHeight = 32;
    float myFrameTime = 1.0f; // seconds
    uint32_t myRotation = 0;  // NONE 0, RANDOMONCE 1, SPEED 2, RANDOMDIR 3
    float myRotationSpeedMin = 0.0f;
    float myRotationSpeedMax = 0.0f;
    float myTotalTime = 1.0f; // seconds of emission
    float mySpawnTime = 0.5f; // seconds between two particles
    uint8_t myVelocitySpace = 0;
    float myVelocityMin[3] = {0.0f, 0.0f, 0.0f};
    float myVelocityMax[3] = {0.0f, 0.0f, 0.0f};
    float mySizeMin = 0.0f;
    float mySizeMax = 0.0f;
    float myAlphaMin = 255.0f;
    float myAlphaMax = 255.0f;
    std::vector<EmitterPhaseRecord> myPhases;
    float myTotalLength = 0.0f; // of all phases, set by the reader
};

// The file name of an emitter name: "%s.pe" unless the name already ends in ".pe" (any case).
std::string EmitterFile_Name(const char* anEmitterName);

// Reads a whole open file from its first line ("GENERIC"). False at the first line out of
// order, a word outside its list, NUM_PHASES outside 0..250, or a frame count, width or
// height below 1; aRecord is then partly filled.
bool EmitterFile_Parse(QF_File& aFile, EmitterRecord& aRecord);

// An alpha as the file holds it: truncated toward 0 as a C cast does, clamped to int's range
// (NaN gives 0).
int32_t EmitterFile_TruncateAlpha(float aValue);

// The file's text, CR LF line ends, numbers in the C locale. False (aText empty) for what no
// reader could take back: an empty surface or texture name, a spawn time of 0 or less, or
// with the strip a frame time of 0 or less or a frame count, width or height below 1.
bool EmitterFile_Format(const EmitterRecord& aRecord, std::string& aText);
