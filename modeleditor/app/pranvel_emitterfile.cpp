// The editor's ".pe" writer and reader over the file library and the renderer's surfaces.
#include "modeleditor/app/pranvel_emitterfile.h"

#include <new>
#include <string.h>

#include "qfile/render/qf_file.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"

bool WriteEmitterFile(const char* anEmitterName, const EmitterRecord& aRecord)
{
    std::string locText;
    if (!EmitterFile_Format(aRecord, locText))
        return false;
    std::string locName = EmitterFile_Name(anEmitterName);
    QF_File locFile;
    if (!locFile.Open(locName.c_str(), QF_WRITE | QF_CREATE_ALWAYS))
        return false;
    bool locWritten = locFile.Write(locText.data(), (uint32_t)locText.size());
    // The contents reach the disk only at Close: its result is the write's.
    bool locClosed = locFile.Close();
    return locWritten && locClosed;
}

bool ReadEmitterFile(const char* anEmitterName, EmitterRecord& aRecord, QR_SharedGenericParticleData* aDefinition)
{
    std::string locName = EmitterFile_Name(anEmitterName);
    QF_File locFile;
    if (!locFile.Open(locName.c_str(), QF_READ))
        return false;
    bool locParsed = EmitterFile_Parse(locFile, aRecord);
    locFile.Close();
    if (!locParsed)
        return false;
    return !aDefinition || ApplyEmitterRecord(aRecord, aDefinition);
}

bool ApplyEmitterRecord(const EmitterRecord& aRecord, QR_SharedGenericParticleData* aDefinition)
{
    const EmitterRecord& e = aRecord;
    QR_SurfaceInstance* locInstance = QR_Surface::CreateInstanceWithTexture(e.mySurface.c_str(), e.myTexture.c_str());
    if (!locInstance)
        return false;

    // Frames over frame 0 of slot 0, left to right, then downwards; one whole frame
    // without the strip or without a texture to cut.
    uint32_t locCount = 1;
    const QR_Texture* t = nullptr;
    if ((e.myFlags & QR_PARTICLEFLAG_TEXTUREANIMATED) && locInstance->myNumTextures &&
        locInstance->myTextures[0].myNumFrames && locInstance->myTextures[0].myFrames[0] && e.myNumFrames > 0 &&
        e.myFrameWidth > 0 && e.myFrameHeight > 0 && (uint32_t)e.myNumFrames <= QR_SharedGenericParticleData::MAX_FRAMES)
    {
        t = locInstance->myTextures[0].myFrames[0];
        if (t->mySourceWidth > 0 && t->mySourceHeight > 0)
            locCount = (uint32_t)e.myNumFrames;
        else
            t = nullptr;
    }
    QR_ParticleFrame* locFrames = new (std::nothrow) QR_ParticleFrame[locCount];
    QR_ParticlePhase* locPhases = new (std::nothrow) QR_ParticlePhase[e.myPhases.empty() ? 1 : e.myPhases.size()]();
    if (!locFrames || !locPhases)
    {
        delete[] locFrames;
        delete[] locPhases;
        delete locInstance;
        return false;
    }
    // Frames past the texture's bottom edge are laid out all the same: the renderer's
    // reader refuses such a file, the preview only shows what lies there.
    if (!t)
        QR_SetWholeParticleFrame(locFrames[0]);
    else
        QR_LayoutParticleFrames(t->mySourceWidth, t->mySourceHeight, e.myFrameWidth, e.myFrameHeight, locCount,
                                locFrames);
    for (size_t i = 0; i < e.myPhases.size(); i++)
    {
        const EmitterPhaseRecord& p = e.myPhases[i];
        QR_ParticlePhase& q = locPhases[i];
        q.myLength = p.myLength;
        q.mySpace = p.mySpace;
        for (int c = 0; c < 3; c++)
        {
            q.myVelocityMin[c] = p.myVelocityMin[c];
            q.myVelocityMax[c] = p.myVelocityMax[c];
            q.myVelocityBlend[c] = p.myVelocityOp[c];
        }
        q.mySizeMin = p.mySizeMin, q.mySizeMax = p.mySizeMax, q.mySizeBlend = p.mySizeOp;
        q.myAlphaMin = p.myAlphaMin, q.myAlphaMax = p.myAlphaMax, q.myAlphaBlend = p.myAlphaOp;
    }

    QR_SharedGenericParticleData* d = aDefinition;
    delete d->mySurfaceInstance;
    delete[] d->myFrames;
    delete[] d->myPhases;
    d->mySurfaceInstance = locInstance;
    d->myFrames = locFrames;
    d->myNumFrames = locCount;
    d->myPhases = locPhases;
    d->myNumPhases = (uint32_t)e.myPhases.size();
    d->myFlags = e.myFlags;
    d->myRadius = e.myRadius;
    d->myOrigin = e.myOrigin;
    memcpy(d->myOriginExtents, e.myOriginExtents, sizeof(d->myOriginExtents));
    d->myParticleType = e.myParticleType;
    d->myFramesPerSecond = e.myFrameTime > 0.0f ? 1.0f / e.myFrameTime : 1.0f;
    d->myRotation = e.myRotation;
    d->myRotationSpeedMin = e.myRotationSpeedMin;
    d->myRotationSpeedMax = e.myRotationSpeedMax;
    d->myTotalTime = e.myTotalTime;
    d->mySpawnTime = e.mySpawnTime;
    d->myVelocitySpace = e.myVelocitySpace;
    memcpy(d->myVelocityMin, e.myVelocityMin, sizeof(d->myVelocityMin));
    memcpy(d->myVelocityMax, e.myVelocityMax, sizeof(d->myVelocityMax));
    d->mySizeMin = e.mySizeMin;
    d->mySizeMax = e.mySizeMax;
    d->myAlphaMin = e.myAlphaMin;
    d->myAlphaMax = e.myAlphaMax;
    d->myTotalLength = 0.0f;
    for (const EmitterPhaseRecord& p : e.myPhases)
        d->myTotalLength += p.myLength;
    // The ring of particles alive at once, as the renderer sizes it, kept within its bounds.
    float locCapacity = e.mySpawnTime > 0.0f ? d->myTotalLength / e.mySpawnTime : 1.0f;
    d->myCapacity = !(locCapacity >= 1.0f) ? 1u
                    : locCapacity >= (float)QR_SharedGenericParticleData::MAX_CAPACITY
                        ? QR_SharedGenericParticleData::MAX_CAPACITY
                        : (uint32_t)locCapacity;
    d->mySpawnCap = d->myCapacity < QR_SharedGenericParticleData::DEFAULT_SPAWN_CAP
                        ? d->myCapacity
                        : QR_SharedGenericParticleData::DEFAULT_SPAWN_CAP;
    return true;
}

void EmitterRecordFromDefinition(const QR_SharedGenericParticleData& aDefinition, EmitterRecord& aRecord)
{
    const QR_SharedGenericParticleData& d = aDefinition;
    EmitterRecord& e = aRecord;
    e.myFlags = d.myFlags & (QR_PARTICLEFLAG_EMITTORSPACE | QR_PARTICLEFLAG_TEXTUREANIMATED | QR_PARTICLEFLAG_ENABLED);
    e.myRadius = d.myRadius;
    e.myOrigin = d.myOrigin;
    memcpy(e.myOriginExtents, d.myOriginExtents, sizeof(e.myOriginExtents));
    e.myParticleType = d.myParticleType;
    const QR_SurfaceInstance* s = d.mySurfaceInstance;
    e.mySurface = s && s->mySurface && s->mySurface->myName ? s->mySurface->myName : "";
    e.myRotation = d.myRotation;
    e.myRotationSpeedMin = d.myRotationSpeedMin;
    e.myRotationSpeedMax = d.myRotationSpeedMax;
    e.myTotalTime = d.myTotalTime;
    e.mySpawnTime = d.mySpawnTime;
    e.myVelocitySpace = d.myVelocitySpace;
    memcpy(e.myVelocityMin, d.myVelocityMin, sizeof(e.myVelocityMin));
    memcpy(e.myVelocityMax, d.myVelocityMax, sizeof(e.myVelocityMax));
    e.mySizeMin = d.mySizeMin;
    e.mySizeMax = d.mySizeMax;
    e.myAlphaMin = d.myAlphaMin;
    e.myAlphaMax = d.myAlphaMax;
    e.myPhases.assign(d.myNumPhases, EmitterPhaseRecord());
    e.myTotalLength = 0.0f;
    for (uint32_t k = 0; k < d.myNumPhases; k++)
    {
        const QR_ParticlePhase& p = d.myPhases[k];
        EmitterPhaseRecord& q = e.myPhases[k];
        q.myLength = p.myLength;
        q.mySpace = p.mySpace;
        memcpy(q.myVelocityMin, p.myVelocityMin, sizeof(q.myVelocityMin));
        memcpy(q.myVelocityMax, p.myVelocityMax, sizeof(q.myVelocityMax));
        memcpy(q.myVelocityOp, p.myVelocityBlend, sizeof(q.myVelocityOp));
        q.mySizeMin = p.mySizeMin, q.mySizeMax = p.mySizeMax, q.mySizeOp = p.mySizeBlend;
        q.myAlphaMin = p.myAlphaMin, q.myAlphaMax = p.myAlphaMax, q.myAlphaOp = p.myAlphaBlend;
        e.myTotalLength += p.myLength;
    }
}
