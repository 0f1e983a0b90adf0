// Placed objects: building the part instances, emitters, expressions and light copies from
// the template; the per-part state machine; the update of part matrices and lights; and the
// hand-over of parts to the current view.
//
// [SECTION] Building
// [SECTION] States
// [SECTION] Update
// [SECTION] Render
// [SECTION] Part operations
#include "qrender/qr_mainobject.h"

#include <math.h>
#include <new>
#include <string.h>
#include <strings.h>

#include "qcommon/qc_assert.h"
#include "qcommon/qc_debug.h"
#include "qinput/qi_time.h"
#include "qrender/qr_expressions.h"
#include "qrender/qr_genericparticleemittor.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_quaternion.h"
#include "qrender/qr_render.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_vertexshader.h"

// The float bits 0xFEFFC99E: a start time so far back that the emitter's spawning is over.
static const float EMITTER_STOPPED = -1.7e38f;

// [SECTION] Building ---------------------------------------------------------------------------

QR_PartInstance::QR_PartInstance()
    : myStateRates(nullptr)
    , myBlend(nullptr)
    , myRotationOverride(nullptr)
    , myPositionOverride(nullptr)
    , mySortKey(0)
    , myCurrentState(0)
    , myPreviousState(0)
    , myPreviousElapsed(0.0f)
    , myColor(0xFFFFFFFF)
    , myColorOverride(false)
{
    myMesh = nullptr;
    mySurfaceInstance = nullptr;
    myStateStartTime = 0.0f;
    myMatrix.SetIdentity();
    myRestMatrix = nullptr;
    myNextBone = nullptr;
}

QR_PartInstance::~QR_PartInstance()
{
    // The vertex-shader kinds keep pointers to the matrices drawn last.
    if (QR_VertexShader::ourWorldMatrix == &myMatrix)
        QR_VertexShader::ourWorldMatrix = nullptr;
    if (QR_VertexShader::ourObjectMatrix == &myMatrix)
        QR_VertexShader::ourObjectMatrix = nullptr;
    delete[] myStateRates;
    delete myBlend;
    delete[] myRotationOverride;
    delete[] myPositionOverride;
    delete mySurfaceInstance;
    if (myMesh)
        myMesh->Release();
}

QR_MainObject::QR_MainObject(QR_TemplateObject* aTemplate)
    : myLastUpdateFrame((int32_t)QR_Render::ourFrameCount - 1)
    , myPartInstances(nullptr)
    , myNumPartInstances(0)
    , myEmitters(nullptr)
    , myNumEmitters(0)
    , myExpressions(nullptr)
    , myExpressionTexts(nullptr)
    , myNumExpressions(0)
    , myLights(nullptr)
    , myLightStartTimes(nullptr)
    , myNumLights(0)
    , myTemplate(nullptr)
    , myColor(0xFF000000)
    , myLightMask(0xFFFFFFFF)
    , myDrawImmediately(false)
    , myTemplateLoadCount(0)
{
    myMatrix.SetIdentity();
    if (aTemplate)
        SetTemplate(aTemplate);
}

QR_MainObject::~QR_MainObject()
{
    Clear();
    if (myTemplate)
        myTemplate->Release();
}

QR_MainObject* QR_MainObject::Create(const char* aFileName)
{
    QR_TemplateObject* locTemplate = QR_TemplateObject::Acquire(aFileName);
    if (!locTemplate)
        return nullptr;
    QR_MainObject* locObject = new (std::nothrow) QR_MainObject();
    if (locObject && !locObject->SetTemplate(locTemplate))
    {
        delete locObject;
        locObject = nullptr;
    }
    locTemplate->Release(); // the object keeps its own reference
    return locObject;
}

void QR_MainObject::Clear()
{
    delete[] myPartInstances;
    myPartInstances = nullptr;
    myNumPartInstances = 0;
    for (uint32_t i = 0; i < myNumEmitters; i++)
        delete myEmitters[i];
    delete[] myEmitters;
    myEmitters = nullptr;
    myNumEmitters = 0;
    for (uint32_t i = 0; i < myNumExpressions; i++)
    {
        delete myExpressions[i];
        delete[] myExpressionTexts[i];
    }
    delete[] myExpressions;
    delete[] myExpressionTexts;
    myExpressions = nullptr;
    myExpressionTexts = nullptr;
    myNumExpressions = 0;
    // The halos are the template's: they must survive the copies.
    for (uint32_t i = 0; i < myNumLights; i++)
        myLights[i].myHalo = nullptr;
    delete[] myLights;
    delete[] myLightStartTimes;
    myLights = nullptr;
    myLightStartTimes = nullptr;
    myNumLights = 0;
}

bool QR_MainObject::SetTemplate(QR_TemplateObject* aTemplate)
{
    if (myTemplate || !aTemplate)
        return false;
    aTemplate->myRefCount++;
    myTemplate = aTemplate;
    Build();
    return true;
}

// Everything per template reading: part instances, emitters, expressions, light copies;
// then the first state of every part.
void QR_MainObject::Build()
{
    QR_TemplateObject* t = myTemplate;
    myTemplateLoadCount = t->myLoadCount;
    if (t->myNumParts)
    {
        myPartInstances = new (std::nothrow) QR_PartInstance[t->myNumParts];
        if (myPartInstances)
            myNumPartInstances = t->myNumParts;
    }
    for (uint32_t i = 0; i < myNumPartInstances; i++)
    {
        const QR_TemplatePart& p = t->myParts[i];
        QR_PartInstance& inst = myPartInstances[i];
        inst.myRestMatrix = &p.myMatrix;
        // The next part of a skinned run is the next bone of the palette.
        if (p.mySkinGroup >= 0 && i + 1 < myNumPartInstances && t->myParts[i + 1].mySkinGroup == p.mySkinGroup)
            inst.myNextBone = &myPartInstances[i + 1];
        if (p.myMesh)
        {
            inst.myMesh = p.myMesh;
            p.myMesh->myRefCount++;
            if (p.myMesh->mySurface)
            {
                const char* locFailed = nullptr;
                inst.mySurfaceInstance =
                    QR_Surface::NewInstance(p.myMesh->mySurface, p.myNumTextureNames, p.myTextureNames, &locFailed);
                // The part is still drawn, without its surface: tell why.
                if (!inst.mySurfaceInstance && locFailed)
                    QC_Debug::Printf("QR_MainObject: model '%s', part '%s': texture '%s' cannot be made",
                                     t->myName ? t->myName : "", p.myName ? p.myName : "", locFailed);
            }
            const QR_Surface* s = p.myMesh->mySurface;
            uint32_t locKind = p.myMesh->myVertexShader ? p.myMesh->myVertexShader->mySortGroup : 0;
            uint32_t locCompiled = p.myMesh->myCompiledVertexShader ? p.myMesh->myCompiledVertexShader->myId : 0;
            if (s && s->mySortFlag)
                inst.mySortKey = (locKind | 0xFFFFFFF8u) << 28;
            else
                inst.mySortKey = ((locKind << 14) | (locCompiled & 0x3FFF)) << 14;
        }
        if (p.myNumStates)
        {
            inst.myStateRates = new (std::nothrow) float[p.myNumStates];
            if (inst.myStateRates)
                for (uint32_t k = 0; k < p.myNumStates; k++)
                    inst.myStateRates[k] = p.myStates[k].myPath.myRate;
        }
    }

    if (t->myNumLinks)
    {
        myEmitters = new (std::nothrow) QR_ParticleEmitter*[t->myNumLinks]();
        if (myEmitters)
            myNumEmitters = t->myNumLinks;
    }
    for (uint32_t i = 0; i < myNumEmitters; i++)
        myEmitters[i] = QR_ParticleEmitter::Create(t->myLinks[i].myDefinition);

    QR_ExpressionContext* locContext = QR_ExpressionContext::GetInstance();
    if (t->myNumExpressions && locContext)
    {
        myExpressions = new (std::nothrow) QR_Expression*[t->myNumExpressions]();
        myExpressionTexts = new (std::nothrow) char*[t->myNumExpressions]();
        if (myExpressions && myExpressionTexts)
            myNumExpressions = t->myNumExpressions;
    }
    for (uint32_t i = 0; i < myNumExpressions; i++)
    {
        size_t n = strlen(t->myExpressions[i]);
        myExpressionTexts[i] = new (std::nothrow) char[n + 1];
        if (!myExpressionTexts[i])
            continue;
        memcpy(myExpressionTexts[i], t->myExpressions[i], n + 1);
        QR_Expression::Parse(locContext, myExpressionTexts[i], &myExpressions[i], this, 0);
    }

    if (t->myNumLights)
    {
        myLights = new (std::nothrow) QR_Light[t->myNumLights];
        myLightStartTimes = new (std::nothrow) float[t->myNumLights];
        if (myLights && myLightStartTimes)
            myNumLights = t->myNumLights;
    }
    for (uint32_t i = 0; i < myNumLights; i++)
    {
        myLights[i].CopyFields(t->myLights[i]);
        myLights[i].myHalo = t->myLights[i].myHalo;
        myLightStartTimes[i] = -1.0f;
    }
    SetState(0, nullptr);
}

void QR_MainObject::Refresh()
{
    if (IsStale())
    {
        Clear();
        Build();
    }
}

bool QR_MainObject::IsStale() const
{
    return myTemplate && myTemplate->myLoadCount != myTemplateLoadCount;
}

// [SECTION] States -----------------------------------------------------------------------------

static bool locNameMatches(const char* aPartName, const char* aName)
{
    return !aName || (aPartName && strcasecmp(aPartName, aName) == 0);
}

bool QR_MainObject::LocalPose(uint32_t aPart, Matrix44& aPose) const
{
    const QR_PartInstance& inst = myPartInstances[aPart];
    const QR_TemplatePart& p = myTemplate->myParts[aPart];
    aPose.SetIdentity();
    if (inst.myBlend)
        QR_PoseBlend::Evaluate(*inst.myBlend, aPose);
    else
    {
        QR_SplinePath& locPath = p.myStates[inst.myCurrentState].myPath;
        if (inst.myStateRates)
            locPath.myRate = inst.myStateRates[inst.myCurrentState];
        locPath.GetMatrix(QI_Time::ourTime - inst.myStateStartTime, aPose);
    }
    if (inst.myRotationOverride && !inst.myBlend)
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                aPose[4 * r + c] = inst.myRotationOverride[3 * r + c];
    if (inst.myPositionOverride)
        aPose.SetTranslation(inst.myPositionOverride[0], inst.myPositionOverride[1], inst.myPositionOverride[2]);
    return true;
}

// A blend from the part's present pose to aNewState's path at anOffset plus its blend time.
void QR_MainObject::StartBlend(uint32_t aPart, uint32_t aNewState, float anOffset)
{
    QR_PartInstance& inst = myPartInstances[aPart];
    const QR_TemplateState& s = myTemplate->myParts[aPart].myStates[aNewState];
    Matrix44 locFrom, locTo;
    LocalPose(aPart, locFrom);
    locTo.SetIdentity();
    QR_SplinePath& locPath = myTemplate->myParts[aPart].myStates[aNewState].myPath;
    if (inst.myStateRates)
        locPath.myRate = inst.myStateRates[aNewState];
    locPath.GetMatrix(anOffset + s.myBlendTime, locTo);
    if (!inst.myBlend)
        inst.myBlend = new (std::nothrow) QR_PoseBlend();
    if (inst.myBlend)
        QR_PoseBlend::Set(*inst.myBlend, locFrom, locTo, s.myBlendTime);
}

// Moves one part into aNewState. aSetStateFlag: called by SetState (steps 2 and 3 there);
// otherwise the state ended and anOffset and the blend were settled by the caller.
void QR_MainObject::SwitchState(uint32_t aPart, uint32_t aNewState, bool anIdGivenFlag, bool aSetStateFlag,
                                float anOffset)
{
    QR_PartInstance& inst = myPartInstances[aPart];
    const QR_TemplatePart& p = myTemplate->myParts[aPart];
    const float locNow = QI_Time::ourTime;
    const uint32_t locOld = inst.myCurrentState;
    const QR_TemplateState& cur = p.myStates[locOld];
    const QR_TemplateState& nu = p.myStates[aNewState];
    float locOffset = anOffset;
    if (aSetStateFlag)
    {
        locOffset = 0.0f;
        if (anIdGivenFlag && cur.myPath.myIsLooping && nu.myPath.myIsLooping && !nu.myRestarts)
        {
            if (aNewState == locOld)
                return; // already playing: left alone
            float e = locNow - inst.myStateStartTime;
            float locCurRate = inst.myStateRates ? inst.myStateRates[locOld] : cur.myPath.myRate;
            float locNewRate = inst.myStateRates ? inst.myStateRates[aNewState] : nu.myPath.myRate;
            // A state of rate 0 starts at its beginning.
            if (locNewRate != 0.0f)
                locOffset = (e - truncf(e)) * locCurRate / locNewRate;
            if (!isfinite(locOffset))
                locOffset = 0.0f;
        }
    }
    if (inst.myPreviousState != inst.myCurrentState && cur.myIsRemembered)
    {
        inst.myPreviousState = locOld;
        inst.myPreviousElapsed = locNow - inst.myStateStartTime;
    }
    if (aSetStateFlag)
    {
        if (!inst.myRotationOverride && anIdGivenFlag && cur.myParent == nu.myParent &&
            nu.myBlendTime > QI_Time::ourFrameTime && nu.myIsVisible)
            StartBlend(aPart, aNewState, locOffset);
        else if (!inst.myRotationOverride)
        {
            delete inst.myBlend;
            inst.myBlend = nullptr;
        }
    }
    inst.myCurrentState = aNewState;
    inst.myStateStartTime = locNow - locOffset;

    for (uint32_t i = 0; i < myNumEmitters; i++)
    {
        const QR_ParticleLink& l = myTemplate->myLinks[i];
        if (!myEmitters[i] || l.myPartIndex != aPart)
            continue;
        if (l.myStateId == nu.myId)
            myEmitters[i]->Start();
        else if (l.myStateId == cur.myId)
            static_cast<QR_GenericParticleEmitter*>(myEmitters[i])->myStartTime = EMITTER_STOPPED;
    }
    for (uint32_t i = 0; i < myNumLights; i++)
    {
        if (myLights[i].myPartIndex != aPart)
            continue;
        if (myLights[i].myStateId == nu.myId)
            myLightStartTimes[i] = locNow;
        else if (myLights[i].myStateId == cur.myId)
            myLightStartTimes[i] = -1.0f;
    }
}

bool QR_MainObject::SetState(uint32_t aStateId, const char* aPartName)
{
    if (!myTemplate)
        return true;
    Refresh();
    for (uint32_t i = 0; i < myNumPartInstances; i++)
    {
        const QR_TemplatePart& p = myTemplate->myParts[i];
        if (!p.myNumStates || !locNameMatches(p.myName, aPartName))
            continue;
        uint32_t k = 0;
        if (aStateId != 0)
            while (k < p.myNumStates && p.myStates[k].myId != aStateId)
                k++;
        if (k < p.myNumStates)
            SwitchState(i, k, aStateId != 0, true, 0.0f);
    }
    return true;
}

// [SECTION] Update -----------------------------------------------------------------------------

void QR_MainObject::Update(const Matrix44& aParentMatrix)
{
    if (!myTemplate)
        return;
    // A reloaded template may have other parts and states: everything is built again.
    Refresh();
    const float locNow = QI_Time::ourTime;
    const float locFrameTime = QI_Time::ourFrameTime;
    if (myLastUpdateFrame != (int32_t)QR_Render::ourFrameCount)
    {
        myLastUpdateFrame = (int32_t)QR_Render::ourFrameCount;
        for (uint32_t i = 0; i < myNumPartInstances; i++)
        {
            const QR_TemplatePart& p = myTemplate->myParts[i];
            QR_PartInstance& inst = myPartInstances[i];
            if (!p.myNumStates)
                continue; // a part without states is never updated or drawn
            const QR_TemplateState& cur = p.myStates[inst.myCurrentState];
            if (cur.myNextState != -1 && cur.myDuration < locNow - inst.myStateStartTime)
            {
                uint32_t locTarget = cur.myNextState == -2 ? inst.myPreviousState : (uint32_t)cur.myNextState;
                const QR_TemplateState& target = p.myStates[locTarget];
                float locOffset = 0.0f;
                if (!inst.myRotationOverride)
                {
                    if (cur.myNextState == -2 && target.myPath.myIsLooping && !target.myRestarts)
                        locOffset = locNow + inst.myPreviousElapsed - inst.myStateStartTime;
                    if (cur.myParent == target.myParent && target.myBlendTime > locFrameTime && target.myIsVisible)
                        StartBlend(i, locTarget, locOffset);
                    else
                    {
                        delete inst.myBlend;
                        inst.myBlend = nullptr;
                    }
                }
                SwitchState(i, locTarget, true, false, locOffset);
            }
            const QR_TemplateState& s = p.myStates[inst.myCurrentState];
            if (!s.myIsVisible)
                continue;
            float locRate = inst.myStateRates ? inst.myStateRates[inst.myCurrentState] : s.myPath.myRate;
            if (s.myPath.myIsLooping)
            {
                float x = (locNow - inst.myStateStartTime) * locRate;
                if (x - floorf(x) - locFrameTime * locRate <= 0.0f)
                    for (uint32_t e = 0; e < myNumEmitters; e++)
                        if (myEmitters[e] && myTemplate->myLinks[e].myPartIndex == i &&
                            myTemplate->myLinks[e].myStateId == s.myId)
                            myEmitters[e]->Start();
            }
            Matrix44 locLocal;
            if (inst.myBlend)
            {
                locLocal.SetIdentity();
                if (QR_PoseBlend::Evaluate(*inst.myBlend, locLocal))
                {
                    delete inst.myBlend;
                    inst.myBlend = nullptr;
                }
            }
            else
            {
                locLocal.SetIdentity();
                QR_SplinePath& locPath = p.myStates[inst.myCurrentState].myPath;
                locPath.myRate = locRate;
                locPath.GetMatrix(locNow - inst.myStateStartTime, locLocal);
            }
            const Matrix44& locParent = s.myParent < 0 || (uint32_t)s.myParent >= myNumPartInstances
                                            ? aParentMatrix
                                            : myPartInstances[s.myParent].myMatrix;
            inst.myMatrix = locLocal * locParent;
            // A running blend carries the rotation it blends to; the override takes over after.
            if (inst.myRotationOverride && !inst.myBlend)
                for (int r = 0; r < 3; r++)
                    for (int c = 0; c < 3; c++)
                        inst.myMatrix[4 * r + c] = inst.myRotationOverride[3 * r + c];
            if (inst.myPositionOverride)
                inst.myMatrix.SetTranslation(inst.myPositionOverride[0], inst.myPositionOverride[1],
                                             inst.myPositionOverride[2]);
        }
    }

    // Lights, on every call: the template light's paths at the light's own time.
    QR_View* locView = QR_View::ourCurrentView;
    for (uint32_t i = 0; i < myNumLights; i++)
    {
        if (myLightStartTimes[i] < 0.0f)
            continue;
        QR_Light& tl = myTemplate->myLights[i];
        QR_Light& l = myLights[i];
        tl.Update(locNow - myLightStartTimes[i]);
        memcpy(l.myColor, tl.myColor, sizeof(l.myColor));
        l.myRange = tl.myRange;
        const Matrix44& m = l.myPartIndex < myNumPartInstances ? myPartInstances[l.myPartIndex].myMatrix : aParentMatrix;
        float p[4];
        m.Transform(tl.myPosition[0], tl.myPosition[1], tl.myPosition[2], p);
        memcpy(l.myPosition, p, sizeof(l.myPosition));
        const float* d = tl.myDirection;
        for (int c = 0; c < 3; c++)
            l.myDirection[c] = d[0] * m[c] + d[1] * m[4 + c] + d[2] * m[8 + c];
        if (locView)
            locView->AddLight(&l);
    }
}

void QR_MainObject::UpdateIfShown()
{
    if (myColor >> 24)
        Update(myMatrix);
}

void QR_MainObject::UpdateScaled(float anX, float aY, float aZ)
{
    if (!(myColor >> 24))
        return;
    Matrix44 m = myMatrix;
    const float s[3] = {anX, aY, aZ};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            m[4 * r + c] = s[r] * myMatrix[4 * r + c];
    Update(m);
}

bool QR_MainObject::IsVisible() const
{
    const QR_View* v = QR_View::ourCurrentView;
    if (!myTemplate || !v)
        return false;
    const float* c = myTemplate->myBoundCentre;
    float w[4], p[4];
    myMatrix.Transform(c[0], c[1], c[2], w);
    v->myViewProjectionMatrix.Transform(w[0], w[1], w[2], p);
    return !v->myCamera.IsSphereOutside(p, myTemplate->myBoundRadius);
}

// [SECTION] Render -----------------------------------------------------------------------------

void QR_MainObject::DrawImmediately(uint32_t aFirst, uint32_t aNumBones, uint32_t aColor, float aDistanceSquared)
{
    QR_PartInstance& inst = myPartInstances[aFirst];
    QR_Mesh* locMesh = inst.myMesh;
    QR_Render* locRender = QR_Render::ourInstance;
    if (!locRender || !locMesh || !locMesh->myVertexShader || !locMesh->myCompiledVertexShader ||
        aNumBones > QR_MAXBONEMATRICES)
        return;
    QR_VertexShader* locKind = locMesh->myVertexShader;
    locKind->Begin(locMesh->myCompiledVertexShader);
    QR_VertexShader::ourWorldMatrix = &inst.myMatrix;
    QR_VertexShader::ourObjectMatrix = &inst.myMatrix;
    QR_VertexShader::ourNumBoneMatrices = aNumBones;
    for (uint32_t i = 0; i < aNumBones; i++)
        QR_VertexShader::ourBoneMatrices[i] =
            myTemplate->myParts[aFirst + i].myMatrix * myPartInstances[aFirst + i].myMatrix;
    float locTime = QI_Time::ourTime - inst.myStateStartTime;
    locRender->SetSurface(inst.mySurfaceInstance, aColor, locTime);
    locMesh->myDataBlock.myTime = locTime;
    locMesh->myDataBlock.myLightData = nullptr;
    locKind->SetDataBlock(&locMesh->myDataBlock);
    locKind->Draw(locMesh, aDistanceSquared, locTime);
    QR_VertexShader::ourNumBoneMatrices = 0;
}

void QR_MainObject::Render()
{
    if (!myTemplate || !(myColor >> 24) || IsStale())
        return;
    // Refused without an update in this frame: the parts' matrices would be another frame's.
    if (myLastUpdateFrame != (int32_t)QR_Render::ourFrameCount)
        return;
    QR_View* v = QR_View::ourCurrentView;
    QR_Render* locRender = QR_Render::ourInstance;
    if (!v || !locRender)
        return;
    float locCentre[4];
    const float* c = myTemplate->myBoundCentre;
    myMatrix.Transform(c[0], c[1], c[2], locCentre);
    QR_LightSet* locLights = v->MakeLightSet(locCentre[0], locCentre[1], locCentre[2], myTemplate->myBoundRadius,
                                             myLightMask);
    if (myDrawImmediately)
    {
        QR_RenderStates locDefault;
        locRender->SetRenderStates(&locDefault, (uint32_t)-5);
    }
    const float* locCamera = v->myCamera.GetPosition();
    const float locFar = v->myCamera.myFar;
    const QR_TemplatePart* parts = myTemplate->myParts;
    const uint32_t n = myNumPartInstances;
    int64_t locRunStart = -1;
    for (uint32_t i = 0; i < n; i++)
    {
        const QR_TemplatePart& p = parts[i];
        QR_PartInstance& inst = myPartInstances[i];
        if (!p.myNumStates || !p.myStates[inst.myCurrentState].myIsVisible || !inst.myMesh)
            continue;
        const int32_t g = p.mySkinGroup;
        const bool locLast = i + 1 == n;
        if (g >= 0 && !locLast && parts[i + 1].mySkinGroup == g)
        {
            if (i == 0 || parts[i - 1].mySkinGroup != g)
                locRunStart = i;
            continue;
        }
        uint32_t locFirst = i, locBones = 0;
        if (g >= 0 && i > 0 && parts[i - 1].mySkinGroup == g && locRunStart >= 0)
        {
            locFirst = (uint32_t)locRunStart;
            locBones = i - locFirst + 1;
        }
        locRunStart = -1;

        float d2 = 0.0f;
        for (int k = 0; k < 3; k++)
        {
            float e = inst.myMatrix[12 + k] - locCamera[k];
            d2 += e * e;
        }
        if (!(d2 < p.myMaxDistanceSquared))
            continue;
        QR_Render::ourStats.myDrawnParts++;
        uint32_t locAlpha = (inst.myColor >> 24) * (myColor >> 24) / 255;
        uint32_t locRGB = (inst.myColorOverride ? inst.myColor : myColor) & 0xFFFFFF;
        if ((double)d2 > 0.4 * (double)p.myMaxDistanceSquared)
            locAlpha = (uint32_t)((1.0 - (double)d2 / (double)p.myMaxDistanceSquared) * 1.6666666 * locAlpha);
        if (locAlpha == 0)
            continue;
        // 14 bits, also past the far plane (where it would spill into the shader ids).
        double locDepth = sqrt((double)d2) * 16383.0 / ((double)locFar * 1.414214);
        uint32_t locDepthKey = locDepth >= 16383.0 || !(locDepth >= 0.0) ? 16383u : (uint32_t)locDepth;
        QR_PartInstance& locDrawn = myPartInstances[locFirst];
        if (myDrawImmediately)
        {
            DrawImmediately(locFirst, locBones, locAlpha << 24 | locRGB, d2);
            continue;
        }
        if (locAlpha < 255 || (int32_t)locDrawn.mySortKey < 0)
        {
            QR_TransparentRecord* r = v->NewTransparentRecord();
            r->myDistance = d2;
            r->myPart = &locDrawn;
            r->myDrawable = nullptr;
            r->myNumBoneMatrices = locBones;
            r->mySurfaceColor = locAlpha << 24 | locRGB;
            r->myLightSet = locLights;
        }
        else
        {
            QR_OpaqueRecord* r = v->NewOpaqueRecord();
            r->myKey = locDrawn.mySortKey | locDepthKey;
            r->mySortKey = &r->myKey;
            r->myPart = &locDrawn;
            r->myLodDistance = d2;
            r->myNumBoneMatrices = locBones;
            r->mySurfaceColor = 0xFF000000 | locRGB;
            r->myLightSet = locLights;
        }
    }
    for (uint32_t e = 0; e < myNumEmitters; e++)
    {
        if (!myEmitters[e])
            continue;
        uint32_t locPart = myTemplate->myLinks[e].myPartIndex;
        myEmitters[e]->Update(locPart < n ? &myPartInstances[locPart].myMatrix : &myMatrix);
    }
}

// [SECTION] Part operations --------------------------------------------------------------------

void QR_MainObject::SetAlpha(uint8_t anAlpha, const char* aPartName)
{
    Refresh();
    if (!aPartName)
    {
        myColor = (myColor & 0xFFFFFF) | (uint32_t)anAlpha << 24;
        return;
    }
    for (uint32_t i = 0; i < myNumPartInstances; i++)
        if (locNameMatches(myTemplate->myParts[i].myName, aPartName))
            myPartInstances[i].myColor = (myPartInstances[i].myColor & 0xFFFFFF) | (uint32_t)anAlpha << 24;
}

void QR_MainObject::SetColor(uint32_t aColor, const char* aPartName)
{
    Refresh();
    if (!aPartName)
    {
        myColor = (myColor & 0xFF000000) | (aColor & 0xFFFFFF);
        return;
    }
    for (uint32_t i = 0; i < myNumPartInstances; i++)
        if (locNameMatches(myTemplate->myParts[i].myName, aPartName))
        {
            QR_PartInstance& p = myPartInstances[i];
            p.myColor = (p.myColor & 0xFF000000) | (aColor & 0xFFFFFF);
            p.myColorOverride = true;
        }
}

float QR_MainObject::GetStateLength(uint32_t aStateId, const char* aPartName) const
{
    float locRate = 1.0e32f;
    bool locMatched = false;
    if (IsStale())
        return -1.0f;
    for (uint32_t i = 0; i < myNumPartInstances; i++)
    {
        const QR_TemplatePart& p = myTemplate->myParts[i];
        if (!locNameMatches(p.myName, aPartName))
            continue;
        for (uint32_t k = 0; k < p.myNumStates; k++)
        {
            if (aStateId != 0 && p.myStates[k].myId != aStateId)
                continue;
            float r = myPartInstances[i].myStateRates ? myPartInstances[i].myStateRates[k] : p.myStates[k].myPath.myRate;
            locMatched = true;
            if (r < locRate)
                locRate = r;
            break;
        }
    }
    if (!locMatched || !(locRate < 1.0e31f))
        return -1.0f;
    return 1.0f / locRate;
}

void QR_MainObject::SetStateLength(float aLength, uint32_t aStateId, const char* aPartName)
{
    Refresh();
    for (uint32_t i = 0; i < myNumPartInstances; i++)
    {
        const QR_TemplatePart& p = myTemplate->myParts[i];
        if (!locNameMatches(p.myName, aPartName) || !myPartInstances[i].myStateRates)
            continue;
        for (uint32_t k = 0; k < p.myNumStates; k++)
            if (aStateId == 0 || p.myStates[k].myId == aStateId)
            {
                myPartInstances[i].myStateRates[k] = 1.0f / aLength;
                break;
            }
    }
}

int32_t QR_MainObject::FindPart(const char* aPartName) const
{
    if (IsStale())
        return -1;
    for (uint32_t i = 0; i < myNumPartInstances; i++)
        if (aPartName && locNameMatches(myTemplate->myParts[i].myName, aPartName))
            return (int32_t)i;
    return -1;
}

bool QR_MainObject::SetPartPosition(float anX, float aY, float aZ, const char* aPartName)
{
    Refresh();
    int32_t i = FindPart(aPartName);
    if (i < 0)
        return false;
    QR_PartInstance& inst = myPartInstances[i];
    if (!inst.myPositionOverride && !(inst.myPositionOverride = new (std::nothrow) float[3]))
        return false;
    inst.myPositionOverride[0] = anX, inst.myPositionOverride[1] = aY, inst.myPositionOverride[2] = aZ;
    return true;
}

bool QR_MainObject::SetPartRotation(const float* aRotation, const char* aPartName, float aBlendTime)
{
    Refresh();
    int32_t i = FindPart(aPartName);
    if (i < 0)
        return false;
    QR_PartInstance& inst = myPartInstances[i];
    if (aBlendTime > 0.0f && myTemplate->myParts[i].myNumStates)
    {
        Matrix44 locFrom, locTo;
        LocalPose((uint32_t)i, locFrom);
        locTo = locFrom;
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++)
                locTo[4 * r + c] = aRotation[3 * r + c];
        if (!inst.myBlend)
            inst.myBlend = new (std::nothrow) QR_PoseBlend();
        if (inst.myBlend)
            QR_PoseBlend::Set(*inst.myBlend, locFrom, locTo, aBlendTime);
    }
    else
    {
        delete inst.myBlend;
        inst.myBlend = nullptr;
    }
    if (!inst.myRotationOverride)
    {
        if (!(inst.myRotationOverride = new (std::nothrow) float[9]))
            return false;
    }
    memcpy(inst.myRotationOverride, aRotation, 9 * sizeof(float));
    return true;
}

bool QR_MainObject::GetPartRotation(const char* aPartName, float* aRotationOut) const
{
    int32_t i = FindPart(aPartName);
    if (i < 0)
        return false;
    if (myPartInstances[i].myRotationOverride)
        memcpy(aRotationOut, myPartInstances[i].myRotationOverride, 9 * sizeof(float));
    return true;
}
