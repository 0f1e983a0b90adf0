// Template part, state and emitter-link editing.
#include "modeleditor/templateedit.h"

#include "modeleditor/editorerror.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_templateobject.h"

#include <new>
#include <string.h>
#include <strings.h>
#include <string>
#include <vector>

namespace
{

QR_TemplateState* locFindState(QR_TemplatePart* aPart, uint32_t aState)
{
    for (uint32_t i = 0; i < aPart->myNumStates; i++)
        if (aPart->myStates[i].myId == aState)
            return &aPart->myStates[i];
    return nullptr;
}

QR_TemplateState* locFindPartState(const QR_TemplateObject* aTemplate, uint32_t aState, const char* aPartName)
{
    if (!aTemplate)
        return nullptr;
    int32_t locPart = FindPartByName(aTemplate, aPartName);
    if (locPart < 0)
        return nullptr;
    return locFindState(&aTemplate->myParts[locPart], aState);
}

// The address of channel aChannel's value in key aKey, or of its constant.
float* locChannelValue(QR_SplinePath& aPath, uint32_t aChannel, uint32_t aKey)
{
    if (aChannel >= aPath.myNumChannels)
        return nullptr;
    uint32_t locSlot = 0;
    for (uint32_t c = 0; c < aChannel; c++)
        if (((aPath.myKeyedMask >> c) & 1u) == ((aPath.myKeyedMask >> aChannel) & 1u))
            locSlot++;
    if (aPath.myKeyedMask & (1u << aChannel))
    {
        if (!aPath.myKeys || aKey >= aPath.myNumKeys)
            return nullptr;
        return &aPath.myKeys[aKey * aPath.myKeySizeInFloats + 2 + locSlot * (aPath.myNumTangents + 1)];
    }
    return aPath.myConstants ? &aPath.myConstants[locSlot] : nullptr;
}

} // namespace

bool SetStillPath(QR_SplinePath& aPath, const float aValues[6])
{
    aPath.Free();
    aPath.myConstants = new (std::nothrow) float[6];
    if (!aPath.myConstants)
        return false;
    memcpy(aPath.myConstants, aValues, 6 * sizeof(float));
    aPath.myRate = 1.0f;
    aPath.myNumChannels = 6;
    aPath.myKeyedMask = 0;
    aPath.myKeySizeInFloats = 0;
    aPath.myNumTangents = 0;
    aPath.myKeys = nullptr;
    aPath.myNumKeys = 1;
    aPath.myIsLooping = false;
    return true;
}

void ShiftPathChannel(QR_SplinePath& aPath, uint32_t aChannel, float aDelta)
{
    if (aChannel >= aPath.myNumChannels)
        return;
    if (!(aPath.myKeyedMask & (1u << aChannel)))
    {
        if (float* locConstant = locChannelValue(aPath, aChannel, 0))
            *locConstant += aDelta;
        return;
    }
    for (uint32_t k = 0; k < aPath.myNumKeys; k++)
        if (float* locValue = locChannelValue(aPath, aChannel, k))
            *locValue += aDelta;
}

void MovePath(QR_SplinePath& aTo, QR_SplinePath& aFrom)
{
    if (&aTo == &aFrom)
        return;
    aTo.Free();
    aTo.myRate = aFrom.myRate;
    aTo.myKeySizeInFloats = aFrom.myKeySizeInFloats;
    aTo.myNumChannels = aFrom.myNumChannels;
    aTo.myKeyedMask = aFrom.myKeyedMask;
    aTo.myNumTangents = aFrom.myNumTangents;
    aTo.myConstants = aFrom.myConstants;
    aTo.myKeys = aFrom.myKeys;
    aTo.myNumKeys = aFrom.myNumKeys;
    aTo.myIsLooping = aFrom.myIsLooping;
    aFrom.myConstants = nullptr;
    aFrom.myKeys = nullptr;
    aFrom.myNumKeys = 0;
    aFrom.myNumChannels = 0;
    aFrom.myKeyedMask = 0;
    aFrom.myKeySizeInFloats = 0;
}

void MoveTemplatePart(QR_TemplatePart& aTo, QR_TemplatePart& aFrom)
{
    aTo.myName = aFrom.myName;
    aTo.myStates = aFrom.myStates;
    aTo.myNumStates = aFrom.myNumStates;
    aTo.myMesh = aFrom.myMesh;
    aTo.myMaxDistanceSquared = aFrom.myMaxDistanceSquared;
    aTo.mySkinGroup = aFrom.mySkinGroup;
    aTo.myMatrix = aFrom.myMatrix;
    aTo.myNumTextureNames = aFrom.myNumTextureNames;
    aTo.myTextureWord = aFrom.myTextureWord;
    aTo.myTextureNames = aFrom.myTextureNames;
    aFrom.myName = nullptr;
    aFrom.myStates = nullptr;
    aFrom.myNumStates = 0;
    aFrom.myMesh = nullptr;
    aFrom.myNumTextureNames = 0;
    aFrom.myTextureNames = nullptr;
}

bool GrowTemplateParts(QR_TemplateObject* aTemplate, uint32_t aCount)
{
    if (!aCount)
        return true;
    QR_TemplatePart* locParts = new (std::nothrow) QR_TemplatePart[aTemplate->myNumParts + aCount];
    if (!locParts)
        return false;
    for (uint32_t i = 0; i < aTemplate->myNumParts; i++)
        MoveTemplatePart(locParts[i], aTemplate->myParts[i]);
    delete[] aTemplate->myParts;
    aTemplate->myParts = locParts;
    aTemplate->myNumParts += aCount;
    return true;
}

int32_t FindPartByName(const QR_TemplateObject* aTemplate, const char* aName, int32_t* anIndexOut)
{
    int32_t locIndex = -1;
    if (aTemplate && aName)
        for (uint32_t i = 0; i < aTemplate->myNumParts; i++)
        {
            const char* locName = aTemplate->myParts[i].myName;
            if (locName && strcasecmp(locName, aName) == 0)
            {
                locIndex = (int32_t)i;
                break;
            }
        }
    if (anIndexOut)
        *anIndexOut = locIndex;
    return locIndex;
}

bool GetPartChannelValues(const QR_TemplateObject* aTemplate, uint32_t aState, const char* aPartName,
                          float aPositionOut[3], float anOrientationOut[3])
{
    QR_TemplateState* locState = locFindPartState(aTemplate, aState, aPartName);
    if (!locState)
        return false;
    for (uint32_t c = 0; c < 6; c++)
    {
        const float* locValue = locChannelValue(locState->myPath, c, 0);
        float v = locValue ? *locValue : 0.0f;
        if (c < 3)
            aPositionOut[c] = v;
        else
            anOrientationOut[c - 3] = v;
    }
    return true;
}

bool SetPartStatePose(QR_TemplateObject* aTemplate, uint32_t aState, const float aPosition[3],
                      const float anOrientation[3], const char* aPartName)
{
    QR_TemplateState* locState = locFindPartState(aTemplate, aState, aPartName);
    if (!locState)
        return false;
    QR_SplinePath& p = locState->myPath;
    for (uint32_t c = 0; c < 6 && c < p.myNumChannels; c++)
    {
        float* locFirst = locChannelValue(p, c, 0);
        if (!locFirst)
            continue;
        float locDelta = (c < 3 ? aPosition[c] : anOrientation[c - 3]) - *locFirst;
        if (p.myKeyedMask & (1u << c))
        {
            for (uint32_t k = 0; k < p.myNumKeys; k++)
                *locChannelValue(p, c, k) += locDelta;
        }
        else
            *locFirst += locDelta;
    }
    return true;
}

bool AddPartState(QR_TemplatePart* aPart, uint32_t aState)
{
    if (!aPart || aPart->myNumStates == 0)
        return false;
    const QR_TemplateState& locFirst = aPart->myStates[0];
    // A path holds up to MAX_CHANNELS values; the still pose keeps the first six.
    float locValues[QR_SplinePath::MAX_CHANNELS] = {};
    if (locFirst.myPath.myNumChannels <= QR_SplinePath::MAX_CHANNELS)
        locFirst.myPath.GetValue(0.0f, locValues);
    QR_TemplateState* locStates = new (std::nothrow) QR_TemplateState[aPart->myNumStates + 1];
    if (!locStates)
        return false;
    for (uint32_t i = 0; i < aPart->myNumStates; i++)
        locStates[i] = aPart->myStates[i];
    QR_TemplateState& s = locStates[aPart->myNumStates];
    s.myId = aState;
    s.myBlendTime = -1.0f;
    s.myDuration = -1.0f;
    s.myNextState = -1;
    s.myParent = locFirst.myParent;
    s.myRestarts = false;
    s.myIsVisible = false;
    s.myIsRemembered = true;
    if (!SetStillPath(s.myPath, locValues))
    {
        delete[] locStates;
        return false;
    }
    delete[] aPart->myStates;
    aPart->myStates = locStates;
    aPart->myNumStates++;
    return true;
}

bool RemovePartState(QR_TemplatePart* aPart, uint32_t aState)
{
    if (!aPart || aPart->myNumStates < 2)
    {
        EditorError::Set(EDITOR_ERROR_DELETE_LAST_STATE);
        return false;
    }
    uint32_t locAt = 0;
    while (locAt < aPart->myNumStates && aPart->myStates[locAt].myId != aState)
        locAt++;
    if (locAt == aPart->myNumStates)
    {
        EditorError::Set(EDITOR_ERROR_STATE_NOT_FOUND);
        return false;
    }
    for (uint32_t i = locAt; i + 1 < aPart->myNumStates; i++)
        aPart->myStates[i] = aPart->myStates[i + 1];
    aPart->myStates[aPart->myNumStates - 1].myPath.Free();
    aPart->myNumStates--;
    for (uint32_t i = 0; i < aPart->myNumStates; i++)
    {
        QR_TemplateState& s = aPart->myStates[i];
        if (s.myNextState == (int32_t)locAt)
        {
            s.myNextState = -1;
            s.myDuration = -1.0f;
        }
        else if (s.myNextState > (int32_t)locAt)
            s.myNextState--;
    }
    return true;
}

bool AddEmitterLink(QR_TemplateObject* aTemplate, const char* anEmitterName, const char* aPartName, uint32_t aState)
{
    if (!aTemplate || !anEmitterName)
        return false;
    int32_t locPart = FindPartByName(aTemplate, aPartName);
    if (locPart < 0)
        return false;
    QR_SharedParticleData* locDefinition = QR_SharedParticleData::Acquire(anEmitterName);
    if (!locDefinition)
        return false;
    QR_ParticleLink* locLinks = new (std::nothrow) QR_ParticleLink[aTemplate->myNumLinks + 1];
    if (!locLinks)
    {
        QR_SharedParticleData::Release(locDefinition);
        return false;
    }
    // The references move over to the new array.
    for (uint32_t i = 0; i < aTemplate->myNumLinks; i++)
    {
        QR_ParticleLink& o = aTemplate->myLinks[i];
        locLinks[i].myDefinition = o.myDefinition;
        locLinks[i].myStateId = o.myStateId;
        locLinks[i].myPartIndex = o.myPartIndex;
        o.myDefinition = nullptr;
    }
    QR_ParticleLink& n = locLinks[aTemplate->myNumLinks];
    n.myDefinition = locDefinition;
    n.myStateId = aState;
    n.myPartIndex = (uint32_t)locPart;
    delete[] aTemplate->myLinks;
    aTemplate->myLinks = locLinks;
    aTemplate->myNumLinks++;
    return true;
}

bool RemoveEmitterLink(QR_TemplateObject* aTemplate, uint32_t anIndex)
{
    if (!aTemplate || anIndex >= aTemplate->myNumLinks)
        return false;
    QR_ParticleLink* l = aTemplate->myLinks;
    QR_SharedParticleData::Release(l[anIndex].myDefinition);
    for (uint32_t i = anIndex; i + 1 < aTemplate->myNumLinks; i++)
    {
        l[i].myDefinition = l[i + 1].myDefinition;
        l[i].myStateId = l[i + 1].myStateId;
        l[i].myPartIndex = l[i + 1].myPartIndex;
    }
    l[aTemplate->myNumLinks - 1].myDefinition = nullptr;
    if (--aTemplate->myNumLinks == 0)
    {
        delete[] aTemplate->myLinks;
        aTemplate->myLinks = nullptr;
    }
    return true;
}

bool ReloadEmitterLinks(QR_TemplateObject* aTemplate)
{
    if (!aTemplate)
        return false;
    std::vector<std::string> locNames;
    for (uint32_t i = 0; i < aTemplate->myNumLinks; i++)
    {
        QR_SharedParticleData* d = aTemplate->myLinks[i].myDefinition;
        locNames.push_back(d && d->myName ? d->myName : "");
    }
    for (uint32_t i = 0; i < aTemplate->myNumLinks; i++)
    {
        QR_SharedParticleData::Release(aTemplate->myLinks[i].myDefinition);
        aTemplate->myLinks[i].myDefinition = nullptr;
    }
    bool locResult = true;
    for (uint32_t i = aTemplate->myNumLinks; i-- > 0;)
    {
        aTemplate->myLinks[i].myDefinition = QR_SharedParticleData::Acquire(locNames[i].c_str());
        // A link without a definition would run no emitter: it goes.
        if (!aTemplate->myLinks[i].myDefinition)
        {
            RemoveEmitterLink(aTemplate, i);
            locResult = false;
        }
    }
    return locResult;
}

bool AddNullPart(QR_TemplateObject* aTemplate, const char* aName, uint32_t aState, const char* aParentName)
{
    if (!aTemplate || !aName)
        return false;
    int32_t locParent = FindPartByName(aTemplate, aParentName);
    char* locName = new (std::nothrow) char[strlen(aName) + 1];
    QR_TemplateState* locStates = new (std::nothrow) QR_TemplateState[1];
    const float locZero[6] = {};
    if (!locName || !locStates || !SetStillPath(locStates[0].myPath, locZero) || !GrowTemplateParts(aTemplate, 1))
    {
        delete[] locName;
        delete[] locStates;
        return false;
    }
    strcpy(locName, aName);
    QR_TemplatePart& n = aTemplate->myParts[aTemplate->myNumParts - 1];
    n.myName = locName;
    n.myStates = locStates;
    n.myNumStates = 1;
    QR_TemplateState& s = n.myStates[0];
    s.myId = aState;
    s.myBlendTime = -1.0f;
    s.myDuration = -1.0f;
    s.myNextState = -1;
    s.myParent = locParent;
    s.myRestarts = false;
    s.myIsVisible = true;
    s.myIsRemembered = true;
    return true;
}

uint32_t StateCodeToId(const char* aCode)
{
    uint32_t locId = 0;
    for (int i = 0; i < 4; i++)
    {
        uint8_t c = aCode && aCode[0] ? (uint8_t)*aCode++ : 0;
        locId = locId << 8 | c;
        if (!c)
            aCode = nullptr;
    }
    return locId;
}

void StateIdToCode(uint32_t anId, char aCodeOut[5])
{
    for (int i = 0; i < 4; i++)
        aCodeOut[i] = (char)(anId >> (24 - 8 * i));
    aCodeOut[4] = 0;
}
