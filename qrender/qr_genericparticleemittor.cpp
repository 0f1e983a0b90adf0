// Particle emitters: spawning around the emitter's path, the phases particles pass
// through, and drawing as camera-facing quads or one streak through the dynamic buffers.
//
// [SECTION] Emitters and definitions
// [SECTION] Spawning
// [SECTION] Drawing
#include "qrender/qr_genericparticleemittor.h"

#include <math.h>
#include <new>
#include <stdlib.h>
#include <string.h>

#include "qcommon/qc_assert.h"
#include "qinput/qi_time.h"
#include "qrender/qr_render.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_view.h"

namespace
{
// The C library's generator as a 15-bit source (0..32767), whatever its own range.
inline int locRand()
{
    return rand() & 0x7FFF;
}

inline float locUnitRandom()
{
    return (float)locRand() * 3.051851e-05f; // 1 / 32767
}

inline float locRandRange(float a, float b)
{
    return a == b ? a : a + (b - a) * locUnitRandom();
}

const float TWO_PI = 6.283184f;

// v x the 3 x 3 rows m (row-vector convention).
inline void locTurn(const float* v, const float* m, float* anOut)
{
    float x = v[0], y = v[1], z = v[2];
    anOut[0] = x * m[0] + y * m[3] + z * m[6];
    anOut[1] = x * m[1] + y * m[4] + z * m[7];
    anOut[2] = x * m[2] + y * m[5] + z * m[8];
}

const float ZERO_VALUES[3] = {0.0f, 0.0f, 0.0f};
} // namespace

float QR_GenericParticleEmitter::ourAppVelocity[3] = {0.0f, 0.0f, 0.0f};

// [SECTION] Emitters and definitions ------------------------------------------------------------

QR_ParticleEmitter::QR_ParticleEmitter()
{
    myLocalMatrix.SetIdentity();
}

QR_ParticleEmitter::~QR_ParticleEmitter() {}

QR_ParticleEmitter* QR_ParticleEmitter::Create(QR_SharedParticleData* aDefinition)
{
    QR_SharedGenericParticleData* locData = static_cast<QR_SharedGenericParticleData*>(aDefinition);
    if (!locData || locData->myKind != 0)
        return nullptr;
    QR_GenericParticleEmitter* locEmitter = new (std::nothrow) QR_GenericParticleEmitter();
    if (locEmitter && !locEmitter->SetDefinition(aDefinition))
    {
        delete locEmitter;
        return nullptr;
    }
    return locEmitter;
}

QR_GenericParticleEmitter::QR_GenericParticleEmitter()
    : myColor(0xFFFFFF)
    , myStartTime(0.0f)
    , myData(nullptr)
    , myParticles(nullptr)
    , myLastUpdateFrame(0)
    , myLastParticle(0)
    , myFirstParticle(0)
    , myNumParticles(0)
    , myLastSpawnTime(0.0f)
    , myPreviousPosition{0.0f, 0.0f, 0.0f}
    , myFade(1.0f)
    , myActiveFlag(0)
    , mySpawnState(0)
    , myBoxMin{0.0f, 0.0f, 0.0f}
    , myBoxMax{0.0f, 0.0f, 0.0f}
    , myAppVelocity(ourAppVelocity)
    , myAppSize(ZERO_VALUES)
    , myAppAlpha(ZERO_VALUES)
    , myCapacity(0)
{
    myWorldMatrix.SetIdentity();
}

QR_GenericParticleEmitter::~QR_GenericParticleEmitter()
{
    QR_SharedParticleData::Release(myData);
    delete[] myParticles;
}

bool QR_GenericParticleEmitter::SetDefinition(QR_SharedParticleData* aDefinition)
{
    aDefinition->myRefCount++;
    delete[] myParticles;
    myParticles = nullptr;
    myCapacity = 0;
    myNumParticles = myFirstParticle = myLastParticle = 0;
    QR_SharedParticleData::Release(myData);
    myData = static_cast<QR_SharedGenericParticleData*>(aDefinition);
    mySpawnState = 0;
    if (myData->myFlags & QR_PARTICLEFLAG_ENABLED)
        Start();
    return true;
}

void QR_GenericParticleEmitter::Start()
{
    QC_ASSERT(myData);
    float locNow = QI_Time::ourTime;
    myActiveFlag = 1;
    myStartTime = locNow;
    myLastSpawnTime = locNow - myData->mySpawnTime; // the first update spawns one
    mySpawnState = 1;
    myLastUpdateFrame = QR_Render::ourFrameCount - 1;
}

void QR_GenericParticleEmitter::Stop()
{
    myActiveFlag = 0;
    delete[] myParticles;
    myParticles = nullptr;
    myCapacity = 0;
    myNumParticles = myFirstParticle = myLastParticle = 0;
}

// [SECTION] Spawning ----------------------------------------------------------------------------

bool QR_GenericParticleEmitter::IsVisible(const float* aPosition) const
{
    const QR_View* v = QR_View::ourCurrentView;
    if (!v)
        return false;
    float locCentre[3] = {aPosition[0], aPosition[1], aPosition[2]};
    float locRadius = myData->myRadius;
    if (myData->myFlags & QR_PARTICLEFLAG_GLOBAL)
    {
        float d2 = 0.0f;
        for (int i = 0; i < 3; i++)
        {
            locCentre[i] = (myBoxMin[i] + myBoxMax[i]) * 0.5f;
            float e = myBoxMax[i] - myBoxMin[i];
            d2 += e * e;
        }
        locRadius = sqrtf(d2) * 0.5f;
    }
    float locPoint[4];
    v->myViewProjectionMatrix.Transform(locCentre[0], locCentre[1], locCentre[2], locPoint);
    return !v->myCamera.IsSphereOutside(locPoint, locRadius);
}

void QR_GenericParticleEmitter::Submit(const float* aPosition)
{
    QR_View* v = QR_View::ourCurrentView;
    if (!v || myNumParticles == 0 || (myData->myFlags & QR_PARTICLEFLAG_GLOBAL))
        return;
    const float* c = v->myCamera.GetPosition();
    float d2 = 0.0f;
    for (int i = 0; i < 3; i++)
        d2 += (aPosition[i] - c[i]) * (aPosition[i] - c[i]);
    if (!(d2 < v->myCamera.myFarSquared) || !(d2 < myData->myFadeDistanceSquared))
        return;
    myFade = 1.0f - sqrtf(d2) / sqrtf(myData->myFadeDistanceSquared);
    if (!(myFade > 0.0f))
        return;
    QR_TransparentRecord* r = v->NewTransparentRecord();
    r->myDistance = d2;
    r->myPart = nullptr;
    r->myDrawable = this;
    r->myNumBoneMatrices = 0;
    r->mySurfaceColor = 0xFF000000;
    r->myLightSet = nullptr;
}

void QR_GenericParticleEmitter::SetPhaseTargets(QR_Particle& p, const QR_ParticlePhase& aPhase)
{
    float t[3];
    for (int i = 0; i < 3; i++)
        t[i] = aPhase.myVelocityBlend[i] == QR_PARTICLEBLEND_APPDEFINED
                   ? myAppVelocity[i]
                   : locRandRange(aPhase.myVelocityMin[i], aPhase.myVelocityMax[i]);
    if (aPhase.mySpace)
        locTurn(t, p.myBirthRotation, t);
    for (int i = 0; i < 3; i++)
    {
        if (aPhase.myVelocityBlend[i] == QR_PARTICLEBLEND_ADD)
            t[i] += p.myVelocity[i];
        else if (aPhase.myVelocityBlend[i] == QR_PARTICLEBLEND_MOD)
            t[i] *= p.myVelocity[i];
        p.myVelocityChange[i] = t[i] - p.myVelocity[i];
    }
    auto locTarget = [](uint32_t aMode, float aMin, float aMax, const float* anApp, float aStart)
    {
        float v = aMode == QR_PARTICLEBLEND_APPDEFINED ? *anApp : locRandRange(aMin, aMax);
        if (aMode == QR_PARTICLEBLEND_ADD)
            v += aStart;
        else if (aMode == QR_PARTICLEBLEND_MOD)
            v *= aStart;
        return v;
    };
    p.mySizeChange = locTarget(aPhase.mySizeBlend, aPhase.mySizeMin, aPhase.mySizeMax, myAppSize, p.mySize) - p.mySize;
    p.myAlphaEnd = locTarget(aPhase.myAlphaBlend, aPhase.myAlphaMin, aPhase.myAlphaMax, myAppAlpha, p.myAlphaStart);
}

void QR_GenericParticleEmitter::SpawnParticle(uint32_t anIndex, float aBirthTime, const float* aPosition,
                                              const float* aMovement, float aFraction)
{
    const QR_SharedGenericParticleData& d = *myData;
    QR_Particle& p = myParticles[anIndex];
    p.myColor = myColor;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            p.myBirthRotation[3 * r + c] = myWorldMatrix[4 * r + c];

    const float* e = d.myOriginExtents;
    float o[3] = {0.0f, 0.0f, 0.0f};
    switch (d.myOrigin)
    {
    case QR_PARTICLEORIGIN_RECTANGLE:
        o[0] = locRandRange(-e[0], e[0]);
        o[2] = locRandRange(-e[1], e[1]);
        break;
    case QR_PARTICLEORIGIN_CIRCLE:
    {
        float r = locUnitRandom(), a = locUnitRandom() * TWO_PI;
        o[0] = cosf(a) * e[0] * r;
        o[2] = sinf(a) * e[1] * r;
        break;
    }
    case QR_PARTICLEORIGIN_BOX:
        o[0] = locRandRange(-e[0], e[0]);
        o[1] = locRandRange(-e[1], e[1]);
        o[2] = locRandRange(-e[2], e[2]);
        break;
    case QR_PARTICLEORIGIN_SPHERE:
    {
        float r = locUnitRandom(), a = locUnitRandom() * TWO_PI, b = locUnitRandom() * TWO_PI;
        o[0] = cosf(a) * e[0] * r * cosf(b);
        o[1] = sinf(b) * e[1] * r;
        o[2] = sinf(a) * e[2] * r * cosf(b);
        break;
    }
    default: break;
    }
    if (d.myFlags & QR_PARTICLEFLAG_EMITTORSPACE)
        memcpy(p.myPosition, o, sizeof(o));
    else
    {
        float t[3];
        locTurn(o, p.myBirthRotation, t);
        for (int i = 0; i < 3; i++)
            p.myPosition[i] = aPosition[i] + aMovement[i] * aFraction + t[i];
    }
    for (int i = 0; i < 3; i++)
        p.myVelocity[i] = locRandRange(d.myVelocityMin[i], d.myVelocityMax[i]);
    if (d.myVelocitySpace)
        locTurn(p.myVelocity, p.myBirthRotation, p.myVelocity);
    p.mySize = locRandRange(d.mySizeMin, d.mySizeMax);
    p.myAlphaStart = locRandRange(d.myAlphaMin, d.myAlphaMax);
    p.myAngle = 0.0f;
    p.myRotationSpeed = 0.0f;
    switch (d.myRotation)
    {
    case QR_PARTICLEROTATION_RANDOMONCE: p.myAngle = (float)locRand() * 0.00019175341f; break;
    case QR_PARTICLEROTATION_SPEED: p.myRotationSpeed = locRandRange(d.myRotationSpeedMin, d.myRotationSpeedMax); break;
    case QR_PARTICLEROTATION_RANDOMDIR:
        p.myRotationSpeed = locRandRange(d.myRotationSpeedMin, d.myRotationSpeedMax);
        if (locRand() % 2 == 0)
            p.myRotationSpeed = -p.myRotationSpeed;
        break;
    default: break;
    }
    p.myPhase = 0;
    p.myBirthTime = p.myPhaseStartTime = aBirthTime;
    if (d.myNumPhases)
        SetPhaseTargets(p, d.myPhases[0]);
    else
    {
        memset(p.myVelocityChange, 0, sizeof(p.myVelocityChange));
        p.mySizeChange = 0.0f;
        p.myAlphaEnd = p.myAlphaStart;
    }
}

void QR_GenericParticleEmitter::Update(const Matrix44* aParentMatrix)
{
    if (!myActiveFlag || !myData)
        return;
    const QR_SharedGenericParticleData& d = *myData;
    const float locNow = QI_Time::ourTime;
    const float* locPosition = &myWorldMatrix.myMatrix[12];
    if (myLastUpdateFrame == QR_Render::ourFrameCount)
    {
        if (IsVisible(locPosition))
            Submit(locPosition);
        return;
    }
    myWorldMatrix = aParentMatrix ? myLocalMatrix * *aParentMatrix : myLocalMatrix;
    if (!(locNow - myStartTime < d.myTotalTime))
    {
        // Spawning is over: the live particles go on until they die.
        if (myNumParticles == 0)
        {
            Stop();
            return;
        }
    }
    else
    {
        if (!IsVisible(locPosition))
            return; // the frame stays unmarked: the time keeps counting for the next spawn
        if (!myParticles)
        {
            myParticles = new (std::nothrow) QR_Particle[d.myCapacity];
            if (!myParticles)
                return;
            myCapacity = d.myCapacity;
        }
        uint32_t n;
        float locSpacing = d.mySpawnTime;
        if (mySpawnState == 0)
        {
            n = myCapacity; // a new definition fills the ring at once
            myLastSpawnTime = locNow;
            memcpy(myPreviousPosition, locPosition, sizeof(myPreviousPosition));
        }
        else
        {
            float locCount = floorf((locNow - myLastSpawnTime) / d.mySpawnTime);
            n = locCount > 0.0f ? (locCount < 4.0e9f ? (uint32_t)locCount : 0xFFFFFFFFu) : 0;
            if (n > 0)
                myLastSpawnTime = locNow;
            if (n > d.mySpawnCap)
            {
                locSpacing = (float)n * d.mySpawnTime / (float)d.mySpawnCap;
                n = d.mySpawnCap;
            }
            if (mySpawnState == 1)
                memcpy(myPreviousPosition, locPosition, sizeof(myPreviousPosition));
        }
        float locMovement[3];
        for (int i = 0; i < 3; i++)
            locMovement[i] = myPreviousPosition[i] - locPosition[i];
        memcpy(myPreviousPosition, locPosition, sizeof(myPreviousPosition));

        for (uint32_t k = n; k-- > 0;)
        {
            uint32_t locIndex = myLastParticle;
            if (myNumParticles == myCapacity)
            {
                QC_ASSERT(myFirstParticle == myLastParticle);
                myFirstParticle = (myFirstParticle + 1) % myCapacity; // the oldest is overwritten
            }
            else
                myNumParticles++;
            myLastParticle = (myLastParticle + 1) % myCapacity;
            SpawnParticle(locIndex, locNow - (float)k * locSpacing, locPosition, locMovement, (float)k / (float)n);
        }
    }
    myLastUpdateFrame = QR_Render::ourFrameCount;
    mySpawnState = 2;
    Submit(locPosition);
}

// [SECTION] Drawing -----------------------------------------------------------------------------

namespace
{
struct locVertex
{
    float myX, myY, myZ;
    uint32_t myColor;
    float myU, myV;
};
static_assert(sizeof(locVertex) == 24, "position, colour and one uv set");

// One reservation of the dynamic buffers, drawn when full and at the end.
class locBatch
{
public:
    locBatch(QR_Render* aRender, uint32_t aVertices) : myRender(aRender), myCapacity(aVertices) {}
    ~locBatch() { Flush(); }

    // Room for aVertices more vertices and anIndices more indices; false when the
    // buffers cannot be had (the drawing ends).
    bool Room(uint32_t aVertices, uint32_t anIndices)
    {
        if (myVertices && myUsedVertices + aVertices <= myCapacity && myUsedIndices + anIndices <= myCapacity * 3 / 2)
            return true;
        Flush();
        QR_VertexBuffer* locBuffer = myRender->myDynamicVertexBuffer;
        if (!locBuffer || !myRender->myDynamicIndexBuffer)
            return false;
        locBuffer->myVertexSize = sizeof(locVertex);
        void* locOut = nullptr;
        if (!myRender->AppendIndexedVertices(locBuffer, myRender->myDynamicIndexBuffer, &locOut, myCapacity,
                                             &myIndices, myCapacity * 3 / 2, &myBase))
            return false;
        myVertices = (locVertex*)locOut;
        return true;
    }
    locVertex* Vertices() { return myVertices + myUsedVertices; }
    uint16_t* Indices() { return myIndices + myUsedIndices; }
    uint32_t Base() const { return myBase + myUsedVertices; }
    bool AtStart() const { return myUsedVertices == 0; }
    void Used(uint32_t aVertices, uint32_t anIndices)
    {
        myUsedVertices += aVertices;
        myUsedIndices += anIndices;
    }
    void Flush()
    {
        if (myVertices && myUsedIndices)
        {
            QR_VertexBuffer* locList[1] = {myRender->myDynamicVertexBuffer};
            myRender->DrawIndexedDynamic(locList, myRender->myDynamicIndexBuffer, QR_DRAWTYPES_TRIANGLELIST,
                                         myUsedVertices, myUsedIndices / 3);
        }
        myVertices = nullptr;
        myIndices = nullptr;
        myUsedVertices = myUsedIndices = 0;
    }

private:
    QR_Render* myRender;
    uint32_t myCapacity;
    locVertex* myVertices = nullptr;
    uint16_t* myIndices = nullptr;
    uint32_t myBase = 0;
    uint32_t myUsedVertices = 0;
    uint32_t myUsedIndices = 0;
};
} // namespace

void QR_GenericParticleEmitter::Draw()
{
    QR_Render* locRender = QR_Render::ourInstance;
    const QR_View* v = QR_View::ourCurrentView;
    if (myNumParticles == 0 || !myParticles || !locRender || !v)
        return;
    const QR_SharedGenericParticleData& d = *myData;
    const float locNow = QI_Time::ourTime;
    locRender->SetSurface(d.mySurfaceInstance, 0xFF000000, locNow - myStartTime);
    const bool locEmitterSpace = (d.myFlags & QR_PARTICLEFLAG_EMITTORSPACE) != 0;
    const Matrix44 locToCamera = locEmitterSpace ? myWorldMatrix * v->myViewMatrix : v->myViewMatrix;
    const bool locGlobal = (d.myFlags & QR_PARTICLEFLAG_GLOBAL) != 0;
    for (int i = 0; i < 3; i++)
        myBoxMin[i] = myBoxMax[i] = 0.0f;

    uint32_t locBatchParticles = myNumParticles < BATCH_PARTICLES ? myNumParticles : BATCH_PARTICLES;
    locBatch b(locRender, 4 * locBatchParticles);
    const bool locStreak = d.myParticleType == QR_PARTICLETYPE_STREAK;
    const float* locCamera = v->myCamera.GetPosition();
    float locPrevious[3] = {0.0f, 0.0f, 0.0f};
    bool locHavePrevious = false;
    float locPreviousSide[3] = {0.0f, 0.0f, 0.0f};

    const uint32_t locCount = myNumParticles;
    uint32_t locIndex = myFirstParticle;
    for (uint32_t n = 0; n < locCount; n++, locIndex = (locIndex + 1) % myCapacity)
    {
        QR_Particle& p = myParticles[locIndex];
        bool locDead = false;
        while (p.myPhase < d.myNumPhases && !(d.myPhases[p.myPhase].myLength > locNow - p.myPhaseStartTime))
        {
            const float locLength = d.myPhases[p.myPhase].myLength;
            if (++p.myPhase >= d.myNumPhases)
                break;
            p.myPhaseStartTime += locLength;
            for (int i = 0; i < 3; i++)
            {
                p.myPosition[i] += (2.0f * p.myVelocity[i] + p.myVelocityChange[i]) * locLength * 0.5f;
                p.myVelocity[i] += p.myVelocityChange[i];
            }
            p.myAlphaStart = p.myAlphaEnd;
            p.mySize += p.mySizeChange;
            SetPhaseTargets(p, d.myPhases[p.myPhase]);
        }
        if (p.myPhase >= d.myNumPhases)
            locDead = true;
        if (locDead)
        {
            myFirstParticle = (myFirstParticle + 1) % myCapacity;
            myNumParticles--;
            continue;
        }
        const float locLength = d.myPhases[p.myPhase].myLength;
        const float t = locNow - p.myPhaseStartTime;
        const float f = t / locLength;
        float locAlpha = roundf(((p.myAlphaEnd - p.myAlphaStart) * f + p.myAlphaStart) * myFade);
        if (locAlpha <= 0.0f && !locStreak)
            continue;
        // Alpha outside 0..255 would spill into the colour.
        uint32_t locAlphaByte = locAlpha <= 0.0f ? 0u : locAlpha >= 255.0f ? 255u : (uint32_t)locAlpha;
        uint32_t locColor = locAlphaByte << 24 | (p.myColor & 0xFFFFFF);
        if (d.myRotation != QR_PARTICLEROTATION_NONE)
            p.myAngle += (locNow - p.myBirthTime) * p.myRotationSpeed;
        const float s = p.mySize + f * p.mySizeChange;
        uint32_t locFrame = 0;
        if ((d.myFlags & QR_PARTICLEFLAG_TEXTUREANIMATED) && d.myNumFrames)
        {
            float locFrameValue = (locNow - p.myBirthTime) * d.myFramesPerSecond;
            locFrame = locFrameValue > 0.0f && locFrameValue < 4.0e9f ? (uint32_t)locFrameValue : 0;
            if (locFrame >= d.myNumFrames)
                locFrame %= d.myNumFrames;
        }
        float pos[3];
        for (int i = 0; i < 3; i++)
            pos[i] = p.myPosition[i] + p.myVelocity[i] * t + p.myVelocityChange[i] * f * t * 0.5f;
        if (locGlobal)
            for (int i = 0; i < 3; i++)
            {
                myBoxMin[i] = pos[i] < myBoxMin[i] ? pos[i] : myBoxMin[i];
                myBoxMax[i] = pos[i] > myBoxMax[i] ? pos[i] : myBoxMax[i];
            }

        if (d.myParticleType == QR_PARTICLETYPE_CAMERAFACING)
        {
            if (!b.Room(4, 6))
                break;
            float c[4];
            locToCamera.Transform(pos[0], pos[1], pos[2], c);
            const float sn = sinf(p.myAngle) * s, cs = cosf(p.myAngle) * s;
            const float (*uv)[2] = d.myFrames[locFrame].myUVs;
            locVertex* o = b.Vertices();
            o[0] = {c[0] - cs + sn, c[1] + cs + sn, c[2], locColor, uv[0][0], uv[0][1]};
            o[1] = {c[0] + cs + sn, c[1] + cs - sn, c[2], locColor, uv[1][0], uv[1][1]};
            o[2] = {c[0] + cs - sn, c[1] - cs - sn, c[2], locColor, uv[2][0], uv[2][1]};
            o[3] = {c[0] - cs - sn, c[1] - cs + sn, c[2], locColor, uv[3][0], uv[3][1]};
            const uint16_t base = (uint16_t)b.Base();
            uint16_t* ix = b.Indices();
            const uint16_t locQuad[6] = {0, 1, 3, 1, 2, 3};
            for (int i = 0; i < 6; i++)
                ix[i] = (uint16_t)(base + locQuad[i]);
            b.Used(4, 6);
        }
        else if (locStreak)
        {
            if (locHavePrevious &&
                (locPrevious[0] != pos[0] || locPrevious[1] != pos[1] || locPrevious[2] != pos[2]))
            {
                float dv[3] = {locPrevious[0] - pos[0], locPrevious[1] - pos[1], locPrevious[2] - pos[2]};
                float e[3] = {locCamera[0] - pos[0], locCamera[1] - pos[1], locCamera[2] - pos[2]};
                float side[3] = {dv[1] * e[2] - dv[2] * e[1], dv[2] * e[0] - dv[0] * e[2], dv[0] * e[1] - dv[1] * e[0]};
                float locLen = sqrtf(side[0] * side[0] + side[1] * side[1] + side[2] * side[2]);
                float locScale = locLen > 0.0f ? s / locLen : 0.0f;
                for (int i = 0; i < 3; i++)
                    side[i] *= locScale;
                if (!b.Room(4, 6))
                    break;
                const float u = (float)(locCount - n);
                // A new batch starts with the previous point's pair again.
                if (b.AtStart())
                {
                    locVertex* o = b.Vertices();
                    float c0[4], c1[4];
                    locToCamera.Transform(locPrevious[0] - locPreviousSide[0], locPrevious[1] - locPreviousSide[1],
                                          locPrevious[2] - locPreviousSide[2], c0);
                    locToCamera.Transform(locPrevious[0] + locPreviousSide[0], locPrevious[1] + locPreviousSide[1],
                                          locPrevious[2] + locPreviousSide[2], c1);
                    o[0] = {c0[0], c0[1], c0[2], locColor, u + 1.0f, 0.0f};
                    o[1] = {c1[0], c1[1], c1[2], locColor, u + 1.0f, 1.0f};
                    b.Used(2, 0);
                }
                float c0[4], c1[4];
                locToCamera.Transform(pos[0] - side[0], pos[1] - side[1], pos[2] - side[2], c0);
                locToCamera.Transform(pos[0] + side[0], pos[1] + side[1], pos[2] + side[2], c1);
                locVertex* o = b.Vertices();
                o[0] = {c0[0], c0[1], c0[2], locColor, u, 0.0f};
                o[1] = {c1[0], c1[1], c1[2], locColor, u, 1.0f};
                // Joins the previous pair (base - 2, base - 1) to this one.
                const uint16_t base = (uint16_t)(b.Base() - 2);
                uint16_t* ix = b.Indices();
                const uint16_t locJoin[6] = {0, 1, 2, 1, 3, 2};
                for (int i = 0; i < 6; i++)
                    ix[i] = (uint16_t)(base + locJoin[i]);
                b.Used(2, 6);
                memcpy(locPreviousSide, side, sizeof(side));
            }
            memcpy(locPrevious, pos, sizeof(pos));
            locHavePrevious = true;
        }
        // 3D particles are not drawn.
    }
    QR_Render::ourStats.myParticles += myNumParticles;
}
