// The generic particle emitter: a fixed ring of particles spawned around the emitter and
// moved through the definition's phases, drawn as camera-facing quads or as one streak.
// Random numbers come from the C library's rand(), so recorded input replays them.
#pragma once

#include <stdint.h>

#include "qrender/qr_particleemittor.h"

class QR_SharedGenericParticleData;
struct QR_ParticlePhase;

struct QR_Particle
{
    float myBirthTime;
    float myPhaseStartTime;
    float myPosition[3]; // at the phase start
    float myVelocity[3]; // at the phase start
    float myVelocityChange[3]; // over the phase
    float mySize;
    float mySizeChange;
    float myAlphaStart;
    float myAlphaEnd;
    float myAngle; // radians
    float myRotationSpeed;
    uint32_t myPhase;
    uint32_t myColor; // 0xRRGGBB
    float myBirthRotation[9]; // the emitter's 3 x 3 at birth, rows
};

class QR_GenericParticleEmitter : public QR_ParticleEmitter
{
public:
    // Most particles drawn from one reservation of the dynamic buffers.
    static constexpr uint32_t BATCH_PARTICLES = 682;

    QR_GenericParticleEmitter();
    ~QR_GenericParticleEmitter() override;

    // Takes a reference to the definition, drops the particles and the old definition,
    // and starts at once when the definition is ENABLED.
    bool SetDefinition(QR_SharedParticleData* aDefinition);
    void Update(const Matrix44* aParentMatrix) override;
    void Draw() override;
    void Start() override;
    void Stop() override;
    bool IsActive() const override { return myActiveFlag != 0; }
    uint32_t GetCapacity() const { return myCapacity; } // of the ring as allocated

    // The application-defined velocity every emitter starts with (zero until the
    // application sets it).
    static float ourAppVelocity[3];

    uint32_t myColor; // 0xRRGGBB of new particles
    float myStartTime;
    QR_SharedGenericParticleData* myData; // one reference
    QR_Particle* myParticles; // owned ring of myData->myCapacity, made at the first spawn
    uint32_t myLastUpdateFrame;
    uint32_t myLastParticle;  // next slot to write
    uint32_t myFirstParticle; // oldest live particle
    uint32_t myNumParticles;
    float myLastSpawnTime;
    float myPreviousPosition[3];
    float myFade; // 0..1 towards the fade distance
    uint8_t myActiveFlag;
    uint8_t mySpawnState; // 0 new definition: fill the ring; 1 just started; 2 running
    Matrix44 myWorldMatrix;
    float myBoxMin[3]; // of the particles, for global emitters
    float myBoxMax[3];
    // The values APPDEFINED phases take; the owner may point them at its own.
    // A new emitter's velocity is ourAppVelocity, its size and alpha 0.
    const float* myAppVelocity; // 3 floats
    const float* myAppSize;
    const float* myAppAlpha;

private:
    uint32_t myCapacity; // of the ring as allocated
    void SpawnParticle(uint32_t anIndex, float aBirthTime, const float* aPosition, const float* aMovement,
                       float aFraction);
    void SetPhaseTargets(QR_Particle& aParticle, const QR_ParticlePhase& aPhase);
    bool IsVisible(const float* aPosition) const;
    void Submit(const float* aPosition);
};
