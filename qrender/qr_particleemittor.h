// Particle emitters: the abstract emitter a placed object owns for each particle link of
// its template; the one kind is qr_genericparticleemittor. An emitter spawns in Update and
// is drawn by the view it submitted itself to.
#pragma once

#include <stdint.h>

#include "qrender/matrix44.h"
#include "qrender/qr_view.h"

class QR_SharedParticleData;

class QR_ParticleEmitter : public QR_ViewDrawable
{
public:
    QR_ParticleEmitter();
    ~QR_ParticleEmitter() override;

    // Spawns and submits itself to the current view, once per frame. aParentMatrix null:
    // the local matrix is the world placement.
    virtual void Update(const Matrix44* aParentMatrix) = 0;
    void Draw() override = 0;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;

    // A generic emitter for a definition of kind 0, else null.
    static QR_ParticleEmitter* Create(QR_SharedParticleData* aDefinition);

    Matrix44 myLocalMatrix; // the placement relative to the parent
};
