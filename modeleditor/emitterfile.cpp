// The ".pe" emitter text: parse into a record (with the renderer's scanner and line
// reader) and format from one. Numbers are written through to_chars, which ignores the
// user's locale.
#include "modeleditor/emitterfile.h"

#include <string.h>
#include <strings.h>

#include <charconv>

#include "qfile/render/qf_file.h"
#include "qrender/qr_particletext.h"

namespace
{
const char* const locOpWords[4] = {"SET", "ADD", "MOD", "APPDEFINED"};
const char* const locOriginWords[5] = {"POINT", "RECTANGLE", "CIRCLE", "BOX", "SPHERE"};
const char* const locTypeWords[3] = {"CAMERAFACING", "3D", "STREAK"};
const char* const locRotationWords[4] = {"NONE", "RANDOMONCE", "SPEED", "RANDOMDIR"};
const char* const locVelocityKeys[3] = {"VELX ", "VELY ", "VELZ "};

// The index of aValue in aWords compared whole without case, or -1.
int locFindWord(const char* aValue, const char* const* aWords, int aCount)
{
    for (int i = 0; i < aCount; i++)
        if (strcasecmp(aValue, aWords[i]) == 0)
            return i;
    return -1;
}

// The index of the word in aWords that aValue begins with, followed by one blank; the
// rest of the line in aRest.
int locFindLeadingWord(const char* aValue, const char* const* aWords, int aCount, const char** aRest)
{
    for (int i = 0; i < aCount; i++)
    {
        size_t n = strlen(aWords[i]);
        if (strncasecmp(aValue, aWords[i], n) == 0 && aValue[n] == ' ')
        {
            *aRest = aValue + n + 1;
            return i;
        }
    }
    return -1;
}

bool locReadSpace(const char* aValue, uint8_t* aSpace)
{
    if (!aValue)
        return false;
    static const char* const locWords[2] = {"WORLD", "EMITTOR"};
    int i = locFindWord(aValue, locWords, 2);
    *aSpace = (uint8_t)(i < 0 ? 0 : i);
    return i >= 0;
}

bool locReadOp(QR_ParticleScanner& aScan, uint32_t* anOp)
{
    char locWord[QR_ParticleLineReader::MAX_LINE_SIZE] = "";
    aScan.Word(locWord, sizeof(locWord));
    int i = locFindWord(locWord, locOpWords, 4);
    *anOp = (uint32_t)(i < 0 ? 0 : i);
    return i >= 0;
}

bool locReadPhase(QR_ParticleLineReader& aReader, EmitterPhaseRecord& aPhase)
{
    const char* v = aReader.Next("LENGTH ");
    if (!v)
        return false;
    QR_ParticleScanner(v).Float(&aPhase.myLength);
    if (!locReadSpace(aReader.Next("SPACE "), &aPhase.mySpace))
        return false;
    for (int i = 0; i < 3; i++)
    {
        if (!(v = aReader.Next(locVelocityKeys[i])))
            return false;
        QR_ParticleScanner s(v);
        s.Float(&aPhase.myVelocityMin[i]).Float(&aPhase.myVelocityMax[i]);
        if (!locReadOp(s, &aPhase.myVelocityOp[i]))
            return false;
    }
    if (!(v = aReader.Next("SIZE ")))
        return false;
    QR_ParticleScanner s(v);
    s.Float(&aPhase.mySizeMin).Float(&aPhase.mySizeMax);
    if (!locReadOp(s, &aPhase.mySizeOp))
        return false;
    if (!(v = aReader.Next("ALPHA ")))
        return false;
    int32_t locMin = 0, locMax = 0;
    QR_ParticleScanner a(v);
    a.Int(&locMin).Int(&locMax);
    aPhase.myAlphaMin = (float)locMin;
    aPhase.myAlphaMax = (float)locMax;
    return locReadOp(a, &aPhase.myAlphaOp);
}

// printf's "%g" (aFixed false) or "%.3f" in the C locale.
void locPutFloat(std::string& aText, float aValue, bool aFixed = false)
{
    char locBuffer[64];
    std::to_chars_result r = aFixed ? std::to_chars(locBuffer, locBuffer + sizeof(locBuffer), (double)aValue,
                                                    std::chars_format::fixed, 3)
                                    : std::to_chars(locBuffer, locBuffer + sizeof(locBuffer), (double)aValue,
                                                    std::chars_format::general, 6);
    aText.append(locBuffer, r.ptr);
}

void locPutInt(std::string& aText, int64_t aValue)
{
    char locBuffer[32];
    std::to_chars_result r = std::to_chars(locBuffer, locBuffer + sizeof(locBuffer), aValue);
    aText.append(locBuffer, r.ptr);
}

void locPutPair(std::string& aText, const char* aKey, float aMin, float aMax)
{
    aText += aKey;
    locPutFloat(aText, aMin);
    aText += ' ';
    locPutFloat(aText, aMax);
}

void locEnd(std::string& aText) { aText += "\r\n"; }
} // namespace

int32_t EmitterFile_TruncateAlpha(float aValue)
{
    if (!(aValue == aValue))
        return 0;
    if (aValue >= 2147483647.0f)
        return 2147483647;
    if (aValue <= -2147483648.0f)
        return -2147483647 - 1;
    return (int32_t)aValue;
}

std::string EmitterFile_Name(const char* anEmitterName)
{
    std::string locName = anEmitterName ? anEmitterName : "";
    size_t n = locName.size();
    if (n > 3 && strcasecmp(locName.c_str() + n - 3, ".pe") == 0)
        return locName;
    return locName + ".pe";
}

bool EmitterFile_Parse(QF_File& aFile, EmitterRecord& aRecord)
{
    // Lines of up to 256 characters.
    QR_ParticleLineReader r(aFile, QR_ParticleLineReader::MAX_LINE_SIZE);
    const char* v;
    if (!(v = r.Next("GENERIC")) || *v)
        return false;

    if (!(v = r.Next("FLAGS")))
        return false;
    aRecord.myFlags = 0;
    if (strstr(v, "EMITTORSPACE"))
        aRecord.myFlags |= 1;
    if (strstr(v, "TEXTUREANIMATED"))
        aRecord.myFlags |= 2;
    if (strstr(v, "ENABLED"))
        aRecord.myFlags |= 4;

    if (!(v = r.Next("RADIUS ")))
        return false;
    QR_ParticleScanner(v).Float(&aRecord.myRadius);

    if (!(v = r.Next("EMITORIGIN ")))
        return false;
    float* e = aRecord.myOriginExtents;
    e[0] = e[1] = e[2] = 0.0f;
    const char* locRest = nullptr;
    if (strcasecmp(v, "POINT") == 0)
        aRecord.myOrigin = 0;
    else
    {
        int i = locFindLeadingWord(v, locOriginWords + 1, 4, &locRest);
        if (i < 0)
            return false;
        aRecord.myOrigin = (uint32_t)i + 1;
        QR_ParticleScanner s(locRest);
        s.Float(&e[0]).Float(&e[1]);
        if (aRecord.myOrigin >= 3)
            s.Float(&e[2]);
    }
    // Full widths in the file for rectangles and boxes, half-extents in memory.
    if (aRecord.myOrigin == 1 || aRecord.myOrigin == 3)
        for (int i = 0; i < 3; i++)
            e[i] *= 0.5f;

    if (!(v = r.Next("TYPE ")))
        return false;
    int locType = locFindWord(v, locTypeWords, 3);
    if (locType < 0)
        return false;
    aRecord.myParticleType = (uint32_t)locType;

    if (!(v = r.Next("SURFACE ")))
        return false;
    aRecord.mySurface = v;
    if (!(v = r.Next("TEXTURE ")))
        return false;
    aRecord.myTexture = v;

    aRecord.myNumFrames = 1;
    aRecord.myFrameWidth = 32;
    aRecord.myFrameHeight = 32;
    aRecord.myFrameTime = 1.0f;
    if (aRecord.myFlags & 2)
    {
        int32_t locValue = 0;
        if (!(v = r.Next("NUMTEXTURES ")))
            return false;
        QR_ParticleScanner(v).Int(&(locValue = 0));
        aRecord.myNumFrames = locValue;
        if (!(v = r.Next("PARTICLEWIDTH ")))
            return false;
        QR_ParticleScanner(v).Int(&(locValue = 0));
        aRecord.myFrameWidth = locValue;
        if (!(v = r.Next("PARTICLEHEIGHT ")))
            return false;
        QR_ParticleScanner(v).Int(&(locValue = 0));
        aRecord.myFrameHeight = locValue;
        if (!(v = r.Next("ANIMTIME ")))
            return false;
        aRecord.myFrameTime = 0.0f;
        QR_ParticleScanner(v).Float(&aRecord.myFrameTime);
        if (aRecord.myNumFrames < 1 || aRecord.myFrameWidth < 1 || aRecord.myFrameHeight < 1)
            return false;
    }

    if (!(v = r.Next("TEXTUREROTATION ")))
        return false;
    aRecord.myRotationSpeedMin = aRecord.myRotationSpeedMax = 0.0f;
    int locRotation = locFindWord(v, locRotationWords, 2);
    if (locRotation < 0)
    {
        locRotation = locFindLeadingWord(v, locRotationWords + 2, 2, &locRest);
        if (locRotation < 0)
            return false;
        locRotation += 2;
        QR_ParticleScanner(locRest).Float(&aRecord.myRotationSpeedMin).Float(&aRecord.myRotationSpeedMax);
    }
    aRecord.myRotation = (uint32_t)locRotation;

    if (!(v = r.Next("TOTALTIME ")))
        return false;
    QR_ParticleScanner(v).Float(&aRecord.myTotalTime);
    if (!(v = r.Next("SPAWNTIME ")))
        return false;
    QR_ParticleScanner(v).Float(&aRecord.mySpawnTime);
    if (!locReadSpace(r.Next("SPACE "), &aRecord.myVelocitySpace))
        return false;
    for (int i = 0; i < 3; i++)
    {
        if (!(v = r.Next(locVelocityKeys[i])))
            return false;
        QR_ParticleScanner(v).Float(&aRecord.myVelocityMin[i]).Float(&aRecord.myVelocityMax[i]);
    }
    if (!(v = r.Next("SIZE ")))
        return false;
    QR_ParticleScanner(v).Float(&aRecord.mySizeMin).Float(&aRecord.mySizeMax);
    if (!(v = r.Next("ALPHA ")))
        return false;
    int32_t locAlphaMin = 0, locAlphaMax = 0;
    QR_ParticleScanner(v).Int(&locAlphaMin).Int(&locAlphaMax);
    aRecord.myAlphaMin = (float)locAlphaMin;
    aRecord.myAlphaMax = (float)locAlphaMax;

    if (!(v = r.Next("NUM_PHASES ")))
        return false;
    int32_t locNumPhases = -1;
    QR_ParticleScanner(v).Int(&locNumPhases);
    if (locNumPhases < 0 || locNumPhases > EMITTERFILE_MAX_PHASES)
        return false;
    aRecord.myPhases.assign((size_t)locNumPhases, EmitterPhaseRecord());
    aRecord.myTotalLength = 0.0f;
    for (EmitterPhaseRecord& p : aRecord.myPhases)
    {
        if (!locReadPhase(r, p))
            return false;
        aRecord.myTotalLength += p.myLength;
    }
    return true;
}

bool EmitterFile_Format(const EmitterRecord& aRecord, std::string& aText)
{
    aText.clear();
    const EmitterRecord& e = aRecord;
    bool locAnimated = (e.myFlags & 2) != 0;
    if (e.mySurface.empty() || e.myTexture.empty() || !(e.mySpawnTime > 0.0f) || e.myOrigin > 4 ||
        e.myParticleType > 2 || e.myRotation > 3 || e.myPhases.size() > (size_t)EMITTERFILE_MAX_PHASES)
        return false;
    if (locAnimated && (!(e.myFrameTime > 0.0f) || e.myNumFrames < 1 || e.myFrameWidth < 1 || e.myFrameHeight < 1))
        return false;
    // A name the line reader would cut or read differently cannot come back either.
    for (const std::string* s : {&e.mySurface, &e.myTexture})
        if (s->size() > 240 || (unsigned char)s->front() < 33 || (unsigned char)s->back() < 33 ||
            s->find("//") != std::string::npos || s->find_first_of("\r\n") != std::string::npos)
            return false;
    for (const EmitterPhaseRecord& p : e.myPhases)
        if (p.mySpace > 1 || p.mySizeOp > 3 || p.myAlphaOp > 3 || p.myVelocityOp[0] > 3 || p.myVelocityOp[1] > 3 ||
            p.myVelocityOp[2] > 3)
            return false;

    std::string& t = aText;
    t += "GENERIC";
    locEnd(t);
    t += "FLAGS";
    if (e.myFlags & 1)
        t += " EMITTORSPACE";
    if (e.myFlags & 2)
        t += " TEXTUREANIMATED";
    if (e.myFlags & 4)
        t += " ENABLED";
    locEnd(t);
    t += "RADIUS ";
    locPutFloat(t, e.myRadius, true);
    locEnd(t);
    t += "EMITORIGIN ";
    t += locOriginWords[e.myOrigin];
    if (e.myOrigin != 0)
    {
        float locScale = (e.myOrigin == 1 || e.myOrigin == 3) ? 2.0f : 1.0f;
        int locCount = e.myOrigin >= 3 ? 3 : 2;
        for (int i = 0; i < locCount; i++)
        {
            t += ' ';
            locPutFloat(t, e.myOriginExtents[i] * locScale);
        }
    }
    locEnd(t);
    t += "TYPE ";
    t += locTypeWords[e.myParticleType];
    locEnd(t);
    t += "SURFACE " + e.mySurface;
    locEnd(t);
    t += "TEXTURE " + e.myTexture;
    locEnd(t);
    if (locAnimated)
    {
        t += "NUMTEXTURES ";
        locPutInt(t, e.myNumFrames);
        locEnd(t);
        t += "PARTICLEWIDTH ";
        locPutInt(t, e.myFrameWidth);
        locEnd(t);
        t += "PARTICLEHEIGHT ";
        locPutInt(t, e.myFrameHeight);
        locEnd(t);
        t += "ANIMTIME ";
        locPutFloat(t, e.myFrameTime);
        locEnd(t);
    }
    t += "TEXTUREROTATION ";
    t += locRotationWords[e.myRotation];
    if (e.myRotation >= 2)
        locPutPair(t, " ", e.myRotationSpeedMin, e.myRotationSpeedMax);
    locEnd(t);
    t += "TOTALTIME ";
    locPutFloat(t, e.myTotalTime);
    locEnd(t);
    t += "SPAWNTIME ";
    locPutFloat(t, e.mySpawnTime);
    locEnd(t);
    t += e.myVelocitySpace ? "SPACE EMITTOR" : "SPACE WORLD";
    locEnd(t);
    for (int i = 0; i < 3; i++)
    {
        locPutPair(t, locVelocityKeys[i], e.myVelocityMin[i], e.myVelocityMax[i]);
        locEnd(t);
    }
    locPutPair(t, "SIZE ", e.mySizeMin, e.mySizeMax);
    locEnd(t);
    t += "ALPHA ";
    locPutInt(t, EmitterFile_TruncateAlpha(e.myAlphaMin));
    t += ' ';
    locPutInt(t, EmitterFile_TruncateAlpha(e.myAlphaMax));
    locEnd(t);
    t += "NUM_PHASES ";
    locPutInt(t, (int64_t)e.myPhases.size());
    locEnd(t);
    for (const EmitterPhaseRecord& p : e.myPhases)
    {
        t += "LENGTH ";
        locPutFloat(t, p.myLength);
        locEnd(t);
        t += p.mySpace ? "SPACE EMITTOR" : "SPACE WORLD";
        locEnd(t);
        for (int i = 0; i < 3; i++)
        {
            locPutPair(t, locVelocityKeys[i], p.myVelocityMin[i], p.myVelocityMax[i]);
            t += ' ';
            t += locOpWords[p.myVelocityOp[i]];
            locEnd(t);
        }
        locPutPair(t, "SIZE ", p.mySizeMin, p.mySizeMax);
        t += ' ';
        t += locOpWords[p.mySizeOp];
        locEnd(t);
        t += "ALPHA ";
        locPutInt(t, EmitterFile_TruncateAlpha(p.myAlphaMin));
        t += ' ';
        locPutInt(t, EmitterFile_TruncateAlpha(p.myAlphaMax));
        t += ' ';
        t += locOpWords[p.myAlphaOp];
        locEnd(t);
    }
    return true;
}
