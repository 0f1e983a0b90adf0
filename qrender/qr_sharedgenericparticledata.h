// The generic particle definition: where particles are born, the phases their velocity,
// size and alpha pass through, and the surface and texture frames they are drawn with;
// read from the ".pe" text.
#pragma once

#include <stdint.h>

#include "qrender/qr_particletext.h"
#include "qrender/qr_sharedparticledata.h"

class QR_SurfaceInstance;

enum QR_ParticleBlendMode : uint32_t
{
    QR_PARTICLEBLEND_SET = 0,        // the phase value is the target
    QR_PARTICLEBLEND_ADD = 1,        // target = value + the value at the phase start
    QR_PARTICLEBLEND_MOD = 2,        // target = value x the value at the phase start
    QR_PARTICLEBLEND_APPDEFINED = 3, // the emitter's owner supplies the target
    QR_PARTICLEBLEND_INVALID = 4
};

enum QR_ParticleFlags : uint32_t
{
    QR_PARTICLEFLAG_EMITTORSPACE = 1 << 0, // particles live in the emitter's frame
    QR_PARTICLEFLAG_TEXTUREANIMATED = 1 << 1,
    QR_PARTICLEFLAG_ENABLED = 1 << 2, // started as soon as an emitter gets the definition
    QR_PARTICLEFLAG_GLOBAL = 1 << 3   // keeps a box of its particles; no distance test
};

enum QR_ParticleOrigin : uint32_t
{
    QR_PARTICLEORIGIN_POINT = 0,
    QR_PARTICLEORIGIN_RECTANGLE = 1,
    QR_PARTICLEORIGIN_CIRCLE = 2,
    QR_PARTICLEORIGIN_BOX = 3,
    QR_PARTICLEORIGIN_SPHERE = 4
};

enum QR_ParticleType : uint32_t
{
    QR_PARTICLETYPE_CAMERAFACING = 0,
    QR_PARTICLETYPE_3D = 1,
    QR_PARTICLETYPE_STREAK = 2
};

enum QR_ParticleRotation : uint32_t
{
    QR_PARTICLEROTATION_NONE = 0,
    QR_PARTICLEROTATION_RANDOMONCE = 1,
    QR_PARTICLEROTATION_SPEED = 2,
    QR_PARTICLEROTATION_RANDOMDIR = 3
};

struct QR_ParticlePhase
{
    float myLength; // seconds
    float myVelocityMin[3];
    float myVelocityMax[3];
    uint8_t mySpace; // 0 world, 1 emitter
    uint32_t myVelocityBlend[3];
    float mySizeMin;
    float mySizeMax;
    uint32_t mySizeBlend;
    float myAlphaMin;
    float myAlphaMax;
    uint32_t myAlphaBlend;
};

class QR_SharedGenericParticleData : public QR_SharedParticleData
{
public:
    // Bounds of what a definition may ask of an emitter's ring and of the frame array.
    static constexpr uint32_t MAX_CAPACITY = 1000000;
    static constexpr uint32_t MAX_FRAMES = 1000000;
    static constexpr uint32_t DEFAULT_SPAWN_CAP = 400;

    QR_SharedGenericParticleData();
    ~QR_SharedGenericParticleData() override;
    bool Load(QF_File& aFile) override;

    // "SET" 0, "ADD" 1, "MOD" 2, "APPDEFINED" 3, anything else 4; without regard to case.
    static uint32_t ParseBlendMode(const char* aWord);

    uint32_t myKind; // 0 generic
    float myRadius;
    float myFadeDistanceSquared;
    QR_SurfaceInstance* mySurfaceInstance; // owned
    float myTotalTime;                     // seconds of spawning after a start
    uint32_t myOrigin;                     // QR_PARTICLEORIGIN_*
    float myOriginExtents[3];              // half-extents or radii
    uint32_t myParticleType;               // QR_PARTICLETYPE_*
    QR_ParticlePhase* myPhases;            // owned, myNumPhases
    float mySpawnTime;                     // seconds between two particles
    float myTotalLength;                   // of all phases: a particle's life
    float myVelocityMin[3];
    float myVelocityMax[3];
    uint8_t myVelocitySpace; // 0 world, 1 emitter
    float mySizeMin;
    float mySizeMax;
    float myAlphaMin;
    float myAlphaMax;
    uint32_t myNumPhases;
    uint32_t myCapacity; // particles alive at once
    QR_ParticleFrame* myFrames; // owned, myNumFrames
    uint32_t myNumFrames;
    float myFramesPerSecond;
    uint32_t myRotation; // QR_PARTICLEROTATION_*
    float myRotationSpeedMin;
    float myRotationSpeedMax;
    uint32_t myFlags; // QR_PARTICLEFLAG_*
    uint32_t mySpawnCap; // most particles spawned in one update
};
