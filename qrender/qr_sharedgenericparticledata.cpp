// The generic particle definition and its ".pe" reader: one keyed line per item in a fixed
// order, numbers in the C locale whatever the user's.
#include "qrender/qr_sharedgenericparticledata.h"

#include <new>
#include <string.h>
#include <strings.h>

#include "qfile/render/qf_file.h"
#include "qrender/qr_error.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"

QR_SharedGenericParticleData::QR_SharedGenericParticleData()
    : myKind(0)
    , myRadius(1.0f)
    , myFadeDistanceSquared(1e15f)
    , mySurfaceInstance(nullptr)
    , myTotalTime(1.0f)
    , myOrigin(QR_PARTICLEORIGIN_POINT)
    , myOriginExtents{0.0f, 0.0f, 0.0f}
    , myParticleType(QR_PARTICLETYPE_CAMERAFACING)
    , myPhases(nullptr)
    , mySpawnTime(0.5f)
    , myTotalLength(0.0f)
    , myVelocityMin{0.0f, 0.0f, 0.0f}
    , myVelocityMax{0.0f, 0.0f, 0.0f}
    , myVelocitySpace(0)
    , mySizeMin(0.0f)
    , mySizeMax(0.0f)
    , myAlphaMin(255.0f)
    , myAlphaMax(255.0f)
    , myNumPhases(0)
    , myCapacity(1)
    , myFrames(nullptr)
    , myNumFrames(0)
    , myFramesPerSecond(1.0f)
    , myRotation(QR_PARTICLEROTATION_NONE)
    , myRotationSpeedMin(0.0f)
    , myRotationSpeedMax(0.0f)
    , myFlags(0)
    , mySpawnCap(DEFAULT_SPAWN_CAP)
{
}

QR_SharedGenericParticleData::~QR_SharedGenericParticleData()
{
    delete mySurfaceInstance;
    delete[] myPhases;
    delete[] myFrames;
}

uint32_t QR_SharedGenericParticleData::ParseBlendMode(const char* aWord)
{
    static const char* const locWords[] = {"SET", "ADD", "MOD", "APPDEFINED"};
    for (uint32_t i = 0; i < 4; i++)
        if (strcasecmp(aWord, locWords[i]) == 0)
            return i;
    return QR_PARTICLEBLEND_INVALID;
}

namespace
{
// The shared keyed line reader, recording error 10 at a key that does not match.
class locLineReader
{
public:
    explicit locLineReader(QF_File& aFile) : myReader(aFile, 256) {}

    const char* Next(const char* aKey)
    {
        const char* locValue = myReader.Next(aKey);
        if (!locValue)
            QR_Error::SetCode(QR_ERROR_PARTICLE_SYNTAX);
        return locValue;
    }
    uint32_t BytesLeft() const { return myReader.BytesLeft(); }

private:
    QR_ParticleLineReader myReader;
};

bool locFail()
{
    QR_Error::SetCode(QR_ERROR_PARTICLE_SYNTAX);
    return false;
}

// "WORLD" 0, "EMITTOR" 1.
bool locReadSpace(const char* aValue, uint8_t* aSpace)
{
    if (strcasecmp(aValue, "WORLD") == 0)
        *aSpace = 0;
    else if (strcasecmp(aValue, "EMITTOR") == 0)
        *aSpace = 1;
    else
        return locFail();
    return true;
}

// "%f %f %s": the bounds and a blend mode that must be one of the four.
bool locReadPhaseRange(const char* aValue, float* aMin, float* aMax, uint32_t* aBlend)
{
    char locWord[256] = "";
    QR_ParticleScanner(aValue).Float(aMin).Float(aMax).Word(locWord, sizeof(locWord));
    *aBlend = QR_SharedGenericParticleData::ParseBlendMode(locWord);
    return *aBlend != QR_PARTICLEBLEND_INVALID || locFail();
}

bool locReadPhaseAlpha(const char* aValue, float* aMin, float* aMax, uint32_t* aBlend)
{
    char locWord[256] = "";
    int32_t locMin = 0, locMax = 0;
    QR_ParticleScanner(aValue).Int(&locMin).Int(&locMax).Word(locWord, sizeof(locWord));
    *aMin = (float)locMin;
    *aMax = (float)locMax;
    *aBlend = QR_SharedGenericParticleData::ParseBlendMode(locWord);
    return *aBlend != QR_PARTICLEBLEND_INVALID || locFail();
}

} // namespace

bool QR_SharedGenericParticleData::Load(QF_File& aFile)
{
    locLineReader locReader(aFile);
    const char* v;

    if (!(v = locReader.Next("FLAGS")))
        return false;
    myFlags = 0;
    if (strstr(v, "EMITTORSPACE"))
        myFlags |= QR_PARTICLEFLAG_EMITTORSPACE;
    if (strstr(v, "TEXTUREANIMATED"))
        myFlags |= QR_PARTICLEFLAG_TEXTUREANIMATED;
    if (strstr(v, "ENABLED"))
        myFlags |= QR_PARTICLEFLAG_ENABLED;
    if (strstr(v, "GLOBAL"))
        myFlags |= QR_PARTICLEFLAG_GLOBAL;

    if (!(v = locReader.Next("RADIUS ")))
        return false;
    myRadius = QR_ParticleScanner::ToFloat(v);

    if (!(v = locReader.Next("EMITORIGIN ")))
        return false;
    const char* locRest;
    float* e = myOriginExtents;
    if (strcasecmp(v, "POINT") == 0)
        myOrigin = QR_PARTICLEORIGIN_POINT;
    else if ((locRest = QR_ParticleAfterWord(v, "RECTANGLE ")))
    {
        myOrigin = QR_PARTICLEORIGIN_RECTANGLE;
        QR_ParticleScanner(locRest).Float(&e[0]).Float(&e[1]);
    }
    else if ((locRest = QR_ParticleAfterWord(v, "CIRCLE ")))
    {
        myOrigin = QR_PARTICLEORIGIN_CIRCLE;
        QR_ParticleScanner(locRest).Float(&e[0]).Float(&e[1]);
    }
    else if ((locRest = QR_ParticleAfterWord(v, "BOX ")))
    {
        myOrigin = QR_PARTICLEORIGIN_BOX;
        QR_ParticleScanner(locRest).Float(&e[0]).Float(&e[1]).Float(&e[2]);
    }
    else if ((locRest = QR_ParticleAfterWord(v, "SPHERE ")))
    {
        myOrigin = QR_PARTICLEORIGIN_SPHERE;
        QR_ParticleScanner(locRest).Float(&e[0]).Float(&e[1]).Float(&e[2]);
    }
    else
        return locFail();
    // The file holds full sizes for rectangles and boxes, radii for circles and spheres.
    if (myOrigin == QR_PARTICLEORIGIN_RECTANGLE || myOrigin == QR_PARTICLEORIGIN_BOX)
        for (int i = 0; i < 3; i++)
            e[i] *= 0.5f;

    if (!(v = locReader.Next("TYPE ")))
        return false;
    if (strcasecmp(v, "CAMERAFACING") == 0)
        myParticleType = QR_PARTICLETYPE_CAMERAFACING;
    else if (strcasecmp(v, "3D") == 0)
        myParticleType = QR_PARTICLETYPE_3D;
    else if (strcasecmp(v, "STREAK") == 0)
        myParticleType = QR_PARTICLETYPE_STREAK;
    else
        return locFail();

    if (!(v = locReader.Next("SURFACE ")))
        return false;
    char locSurface[256];
    strcpy(locSurface, v);
    if (!(v = locReader.Next("TEXTURE ")))
        return false;
    mySurfaceInstance = QR_Surface::CreateInstanceWithTexture(locSurface, v);
    if (!mySurfaceInstance)
        return false; // the surface or texture layer's code stays

    if (myFlags & QR_PARTICLEFLAG_TEXTUREANIMATED)
    {
        int32_t locCount, locWidth, locHeight;
        if (!(v = locReader.Next("NUMTEXTURES ")))
            return false;
        locCount = QR_ParticleScanner::ToInt(v);
        if (!(v = locReader.Next("PARTICLEWIDTH ")))
            return false;
        locWidth = QR_ParticleScanner::ToInt(v);
        if (!(v = locReader.Next("PARTICLEHEIGHT ")))
            return false;
        locHeight = QR_ParticleScanner::ToInt(v);
        if (!(v = locReader.Next("ANIMTIME ")))
            return false;
        float locFrameTime = QR_ParticleScanner::ToFloat(v);
        if (locCount <= 0 || locWidth <= 0 || locHeight <= 0 || !(locFrameTime > 0.0f))
            return locFail();
        myFramesPerSecond = 1.0f / locFrameTime;

        // The frames run over frame 0 of slot 0, left to right, then downwards.
        QR_SurfaceInstance* s = mySurfaceInstance;
        if (s->myNumTextures == 0 || s->myTextures[0].myNumFrames == 0 || !s->myTextures[0].myFrames[0])
            return locFail();
        const QR_Texture* t = s->myTextures[0].myFrames[0];
        int64_t W = t->mySourceWidth, H = t->mySourceHeight;
        if (W <= 0 || H <= 0)
            return locFail();
        // More frames than rows of the texture hold run past its bottom: refused before
        // anything is allocated.
        if ((uint64_t)locCount > MAX_FRAMES || !QR_ParticleFramesMayFit(W, H, locWidth, locHeight, (uint32_t)locCount))
            return locFail();
        myFrames = new (std::nothrow) QR_ParticleFrame[locCount];
        if (!myFrames)
            return locFail();
        myNumFrames = (uint32_t)locCount;
        if (!QR_LayoutParticleFrames(W, H, locWidth, locHeight, myNumFrames, myFrames))
            return locFail();
    }
    else
    {
        myFrames = new (std::nothrow) QR_ParticleFrame[1];
        if (!myFrames)
            return locFail();
        myNumFrames = 1;
        QR_SetWholeParticleFrame(myFrames[0]);
    }

    if (!(v = locReader.Next("TEXTUREROTATION ")))
        return false;
    if (strcasecmp(v, "NONE") == 0)
        myRotation = QR_PARTICLEROTATION_NONE;
    else if (strcasecmp(v, "RANDOMONCE") == 0)
        myRotation = QR_PARTICLEROTATION_RANDOMONCE;
    else if ((locRest = QR_ParticleAfterWord(v, "SPEED ")))
    {
        myRotation = QR_PARTICLEROTATION_SPEED;
        QR_ParticleScanner(locRest).Float(&myRotationSpeedMin).Float(&myRotationSpeedMax);
    }
    else if ((locRest = QR_ParticleAfterWord(v, "RANDOMDIR ")))
    {
        myRotation = QR_PARTICLEROTATION_RANDOMDIR;
        QR_ParticleScanner(locRest).Float(&myRotationSpeedMin).Float(&myRotationSpeedMax);
    }
    else
        return locFail();

    if (!(v = locReader.Next("TOTALTIME ")))
        return false;
    myTotalTime = QR_ParticleScanner::ToFloat(v);
    if (!(v = locReader.Next("SPAWNTIME ")))
        return false;
    mySpawnTime = QR_ParticleScanner::ToFloat(v);
    if (!(mySpawnTime > 0.0f))
        return locFail(); // emitters divide by it

    if (!(v = locReader.Next("SPACE ")) || !locReadSpace(v, &myVelocitySpace))
        return false;
    static const char* const locVelocityKeys[3] = {"VELX ", "VELY ", "VELZ "};
    for (int i = 0; i < 3; i++)
    {
        if (!(v = locReader.Next(locVelocityKeys[i])))
            return false;
        QR_ParticleScanner(v).Float(&myVelocityMin[i]).Float(&myVelocityMax[i]);
    }
    if (!(v = locReader.Next("SIZE ")))
        return false;
    QR_ParticleScanner(v).Float(&mySizeMin).Float(&mySizeMax);
    if (!(v = locReader.Next("ALPHA ")))
        return false;
    // Signed, as the editor writes them: -100 stays -100.
    int32_t locAlphaMin = 0, locAlphaMax = 0;
    QR_ParticleScanner(v).Int(&locAlphaMin).Int(&locAlphaMax);
    myAlphaMin = (float)locAlphaMin;
    myAlphaMax = (float)locAlphaMax;

    if (!(v = locReader.Next("NUM_PHASES ")))
        return false;
    int32_t locNumPhases = QR_ParticleScanner::ToInt(v);
    // A phase is seven lines of at least two bytes each.
    if (locNumPhases < 0 || (uint64_t)locNumPhases * 14 > locReader.BytesLeft() + 1)
        return locFail();
    myPhases = new (std::nothrow) QR_ParticlePhase[locNumPhases ? locNumPhases : 1]();
    if (!myPhases)
        return locFail();
    myNumPhases = (uint32_t)locNumPhases;
    myTotalLength = 0.0f;
    for (uint32_t p = 0; p < myNumPhases; p++)
    {
        QR_ParticlePhase& ph = myPhases[p];
        if (!(v = locReader.Next("LENGTH ")))
            return false;
        ph.myLength = QR_ParticleScanner::ToFloat(v);
        myTotalLength += ph.myLength;
        if (!(v = locReader.Next("SPACE ")) || !locReadSpace(v, &ph.mySpace))
            return false;
        for (int i = 0; i < 3; i++)
            if (!(v = locReader.Next(locVelocityKeys[i])) ||
                !locReadPhaseRange(v, &ph.myVelocityMin[i], &ph.myVelocityMax[i], &ph.myVelocityBlend[i]))
                return false;
        if (!(v = locReader.Next("SIZE ")) || !locReadPhaseRange(v, &ph.mySizeMin, &ph.mySizeMax, &ph.mySizeBlend))
            return false;
        if (!(v = locReader.Next("ALPHA ")) ||
            !locReadPhaseAlpha(v, &ph.myAlphaMin, &ph.myAlphaMax, &ph.myAlphaBlend))
            return false;
    }

    // The ring of an emitter holds a particle's life over the spawn time; a ring of none
    // (the emitter divides by it) or of millions is refused.
    float locCapacity = myTotalLength / mySpawnTime;
    if (!(locCapacity >= 1.0f) || locCapacity >= (float)MAX_CAPACITY + 1.0f)
        return locFail();
    myCapacity = (uint32_t)locCapacity;
    mySpawnCap = myCapacity < DEFAULT_SPAWN_CAP ? myCapacity : DEFAULT_SPAWN_CAP;
    return true;
}
