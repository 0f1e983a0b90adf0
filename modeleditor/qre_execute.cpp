// The edit commands carried out on the editor scene's loaded model.
//
// Commands that change a part's states, slots, surface or lights re-create the
// placed instance afterwards: it keeps indices into the arrays they replace.
#include "modeleditor/qre_execute.h"

#include <string.h>
#include <strings.h>

#include <new>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mainobject.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"

namespace
{
// Slots a surface can hold.
const int32_t MAX_TEXTURE_SLOTS = 8;

bool locFail(uint32_t aCode)
{
    EditorError::Set(aCode);
    return false;
}

QR_TemplateObject* locModel(QRenderEditor* aScene)
{
    return aScene && aScene->IsModelLoaded() ? aScene->GetTemplate() : nullptr;
}

// A command's part index addresses the part array by its low 16 bits.
QR_TemplatePart* locPart(QRenderEditor* aScene, int32_t anIndex)
{
    QR_TemplateObject* t = locModel(aScene);
    uint32_t i = (uint32_t)anIndex & 0xFFFF;
    return t && i < t->myNumParts ? &t->myParts[i] : nullptr;
}

void locShowAgain(QRenderEditor* aScene)
{
    aScene->RecreateInstance();
    aScene->SetActiveState(QC_String());
}

bool locDefaultSurface(QRenderEditor* s, DefaultSurfaceCommand& c)
{
    if (!c.mySurfaceName.IsEmpty())
        s->myDefaultSurface = c.mySurfaceName;
    return true;
}

bool locHaloFile(QRenderEditor* s, HaloFileCommand& c)
{
    if (!c.mySurfaceName.IsEmpty())
        s->myDefaultHaloSurface = c.mySurfaceName;
    return true;
}

bool locAddJointState(QRenderEditor* s, AddJointStateCommand& c, uint32_t aVersion)
{
    QR_TemplatePart* p = locPart(s, c.myPartIndex);
    if (!p)
        return locFail(EDITOR_ERROR_BONE_NOT_FOUND);
    uint32_t locId = aVersion == 0 ? (uint32_t)c.myStateNumber : StateCodeToId(c.myStateCode);
    if (!AddPartState(p, locId))
        return locFail(EDITOR_ERROR_ADD_STATE);
    locShowAgain(s);
    return true;
}

bool locRemoveBoneState(QRenderEditor* s, RemoveBoneStateCommand& c)
{
    QR_TemplatePart* p = locPart(s, c.myPartIndex);
    if (!p || c.myJointStateIndex < 0 || (uint32_t)c.myJointStateIndex >= p->myNumStates)
        return locFail(EDITOR_ERROR_BONE_NOT_FOUND);
    if (!RemovePartState(p, p->myStates[c.myJointStateIndex].myId))
        return locFail(EDITOR_ERROR_REMOVE_STATE);
    locShowAgain(s);
    return true;
}

// The part and joint state an EDITJOINTSTATE line names, with a next state that
// is -1, -2 or one of the part's states; null (error 29) otherwise.
QR_TemplateState* locEditedState(QRenderEditor* s, const EditJointStateCommand& c, QR_TemplatePart** aPartOut)
{
    QR_TemplatePart* p = locPart(s, c.myPartIndex);
    if (!p || c.myJointStateIndex < 0 || (uint32_t)c.myJointStateIndex >= p->myNumStates || c.myNextState < -2 ||
        c.myNextState >= (int64_t)p->myNumStates)
    {
        EditorError::Set(EDITOR_ERROR_BONE_NOT_FOUND);
        return nullptr;
    }
    *aPartOut = p;
    return &p->myStates[c.myJointStateIndex];
}

bool locEditJointState(QRenderEditor* s, EditJointStateCommand& c, uint32_t aVersion)
{
    QR_TemplatePart* p;
    QR_TemplateState* j = locEditedState(s, c, &p);
    if (!j)
        return false;
    // A version-0 line carries the code as an unused number: the code stays.
    if (aVersion > 0)
        j->myId = StateCodeToId(c.myStateCode);
    j->myBlendTime = c.myInterpolationTime;
    j->myDuration = c.myTimeToNext;
    j->myNextState = c.myNextState;
    j->myPath.myIsLooping = c.myLoopFlag;
    j->myIsVisible = c.myActiveFlag;
    j->myRestarts = c.myForceStartFlag;
    j->myIsRemembered = c.mySolidFlag;
    locShowAgain(s);
    return true;
}

bool locEditAllJointState(QRenderEditor* s, EditAllJointStateCommand& c)
{
    QR_TemplatePart* locRefPart;
    QR_TemplateState* r = locEditedState(s, c, &locRefPart);
    if (!r)
        return false;
    QR_TemplateObject* t = s->GetTemplate();
    uint32_t locNextCode = c.myNextState >= 0 ? locRefPart->myStates[c.myNextState].myId : 0;
    for (uint32_t i = 0; i < t->myNumParts; i++)
    {
        QR_TemplatePart& p = t->myParts[i];
        for (uint32_t k = 0; k < p.myNumStates; k++)
        {
            QR_TemplateState& j = p.myStates[k];
            if (&j == r || j.myId != r->myId)
                continue;
            if (r->myPath.myIsLooping != c.myLoopFlag)
                j.myPath.myIsLooping = c.myLoopFlag;
            if (r->myIsVisible != c.myActiveFlag)
                j.myIsVisible = c.myActiveFlag;
            if (r->myRestarts != c.myForceStartFlag)
                j.myRestarts = c.myForceStartFlag;
            if (r->myIsRemembered != c.mySolidFlag)
                j.myIsRemembered = c.mySolidFlag;
            if (r->myBlendTime != c.myInterpolationTime)
                j.myBlendTime = c.myInterpolationTime;
            if (r->myDuration != c.myTimeToNext)
                j.myDuration = c.myTimeToNext;
            if (c.myNextState < 0)
                j.myNextState = c.myNextState;
            else
                for (uint32_t n = 0; n < p.myNumStates; n++)
                    if (p.myStates[n].myId == locNextCode)
                    {
                        j.myNextState = (int32_t)n;
                        break;
                    }
        }
    }
    locShowAgain(s);
    return true;
}

bool locEditBone(QRenderEditor* s, EditBoneCommand& c)
{
    QR_TemplateObject* t = locModel(s);
    // The whole value is the index here.
    if (!t || c.myPartIndex < 0 || (uint32_t)c.myPartIndex >= t->myNumParts)
        return true;
    std::vector<bool> locSet(t->myNumParts, false);
    for (uint32_t i = (uint32_t)c.myPartIndex; i < t->myNumParts; i++)
    {
        QR_TemplatePart& p = t->myParts[i];
        if (i != (uint32_t)c.myPartIndex)
        {
            int32_t locParent = p.myNumStates ? p.myStates[0].myParent : -1;
            if (!c.myAllChildrenFlag || locParent < 0 || (uint32_t)locParent >= t->myNumParts || !locSet[locParent])
                continue;
        }
        float d = c.myRemoveDistance;
        if (p.myMesh && p.myMesh->myLods && p.myMesh->myNumLods)
        {
            float locLast = p.myMesh->myLods[p.myMesh->myNumLods - 1].myLodDistance;
            if (locLast < d)
                d = locLast;
        }
        p.myMaxDistanceSquared = d;
        locSet[i] = true;
    }
    return true;
}

bool locEditPositionOrientation(QRenderEditor* s, EditPositionOrientationCommand& c)
{
    QR_TemplateObject* t = locModel(s);
    if (!t || !SetPartStatePose(t, StateCodeToId(c.myStateCode), c.myPosition, c.myHeadingPitchBank, c.myPartName))
        return locFail(EDITOR_ERROR_BONE_NOT_FOUND);
    return true;
}

bool locEditObject(QRenderEditor* s, EditObjectCommand& c)
{
    if (!locModel(s))
        return true;
    s->SetBounds(c.myCentre, c.myRadius);
    return true;
}

bool locEditMesh(QRenderEditor* s, EditMeshCommand& c, uint32_t aVersion)
{
    QR_Mesh* m = QR_Mesh::ourFirst;
    while (m && (!m->myName || strcasecmp(m->myName, c.myMeshName) != 0))
        m = m->myNext;
    if (!m)
    {
        EditorError::Set(EDITOR_ERROR_MESH_NOT_FOUND);
        SetErrorDetail("%s", c.myMeshName.GetBuffer());
        return false;
    }
    // The level to sort is checked before anything changes.
    if (c.myPresortMode != 0 && (c.myLodIndex < 0 || (uint32_t)c.myLodIndex >= m->myNumLods))
    {
        EditorError::Set(EDITOR_ERROR_MESH_NOT_FOUND);
        SetErrorDetail("%s has no level %d", c.myMeshName.GetBuffer(), c.myLodIndex);
        return false;
    }
    // The compiled set-up belongs to the kind that made it: released before the kind changes.
    m->ReleaseDeviceData();
    s->SetMeshVertexShader(m, c.myVertexShaderName);

    QR_VertexShaderSetupData& d = m->mySetupData;
    if (aVersion >= 6)
    {
        d.mySkinning = (uint32_t)c.mySettings[0];
        d.myLighting = (uint32_t)c.mySettings[1];
        d.myWord7 = (uint32_t)c.mySettings[2];
        d.mySpecular = (uint32_t)c.mySettings[3];
        d.myWord9 = (uint32_t)c.mySettings[4];
        m->myDataBlock.myColor = (uint32_t)c.mySpecularColour;
        d.myFogFlag = c.myFogFlag;
        d.myUVs[0] = (uint32_t)c.myUVSetWords[0];
        d.myUVs[1] = (uint32_t)c.myUVSetWords[1];
        if (aVersion >= 7)
            m->myDataBlock.mySpecularPower = c.mySpecularPower;
        else if (d.mySpecular != 0)
            m->myDataBlock.mySpecularPower = 40.0f;
        if (d.mySpecular == 0)
            m->myDataBlock.mySpecularPower = 0.0f;
    }

    uint32_t locSets = QR_GetVertexUVCount(m->myVertexFormat);
    for (uint32_t i = 0; i < d.myNumUVs && i < QR_MAXSETUPUVS; i++)
    {
        uint32_t locSet = d.myUVs[i] & UV_MASK;
        if (locSet < UV_CAMERASPACE_POSITION && locSet >= locSets)
            d.myUVs[i] &= ~(uint32_t)UV_MASK;
        if (!m->myDataBlock.myTextureMatrixSpline[i])
            d.myUVs[i] &= ~UV_TEXTUREMATRIX;
    }

    static const float ourDown[3] = {0.0f, -1.0f, 0.0f};
    if (c.myPresortMode == 1)
        m->SortLodTriangles((uint32_t)c.myLodIndex, ourDown);
    else if (c.myPresortMode == 3)
        m->SortLodTriangles((uint32_t)c.myLodIndex, QR_MESHSORT_OPAQUE_FIRST);
    else if (c.myPresortMode != 0)
        m->SortLodTriangles((uint32_t)c.myLodIndex, QR_MESHSORT_ALL);

    if (aVersion >= 6)
        for (uint32_t i = 0; i < 4 && i + 1 < m->myNumLods; i++)
            m->myLods[i].myLodDistance = c.myLodDistances[i] * c.myLodDistances[i];
    m->CompileVertexShader();
    return true;
}

bool locEditLightSource(QRenderEditor* s, EditLightSourceCommand& c)
{
    QR_TemplateObject* t = locModel(s);
    if (!t || c.myLightIndex < 0 || (uint32_t)c.myLightIndex >= t->myNumLights)
        return locFail(EDITOR_ERROR_LIGHT_NOT_FOUND);
    QR_SurfaceInstance* locHalo = nullptr;
    if (!c.myHaloTexture.IsEmpty() && strcasecmp(c.myHaloTexture, "NULL") != 0)
    {
        const QC_String& locSurface = s->myDefaultHaloSurface.IsEmpty() ? s->mySecondHaloSurface : s->myDefaultHaloSurface;
        locHalo = QR_Surface::CreateInstanceWithTexture(locSurface, c.myHaloTexture);
        if (!locHalo)
        {
            EditorError::Set(EDITOR_ERROR_LOAD_SURFACE);
            SetErrorDetail("%s", c.myHaloTexture.GetBuffer());
            return false;
        }
    }
    QR_Light& l = t->myLights[c.myLightIndex];
    delete l.myHalo;
    l.myHalo = locHalo;
    l.myFallOff = c.myDepthFudge;
    locShowAgain(s);
    return true;
}

bool locSelectSurface(QRenderEditor* s, SelectSurfaceCommand& c)
{
    if (c.myPartIndex < 0)
        return true;
    QR_TemplatePart* p = locPart(s, c.myPartIndex);
    if (!p || !p->myMesh)
        return locFail(EDITOR_ERROR_BONE_NOT_FOUND);
    // The new surface first: when it cannot be loaded the mesh keeps its old one.
    QR_Surface* locSurface = QR_Surface::Acquire(c.mySurfaceName);
    if (!locSurface)
    {
        EditorError::Set(EDITOR_ERROR_LOAD_SURFACE);
        SetErrorDetail("%s", c.mySurfaceName.GetBuffer());
        return false;
    }
    QR_Mesh* m = p->myMesh;
    m->ReleaseDeviceData();
    QR_Surface::Release(m->mySurface);
    m->mySurface = locSurface;
    p->myTextureWord = (uint32_t)c.myAlphaRef;
    bool locLighting, locColourMode;
    GetSurfaceRenderFlags(locSurface, &locLighting, &locColourMode);
    QR_VertexShaderSetupData& d = m->mySetupData;
    d.myLighting = locLighting ? 1 : 0;
    d.mySpecular = locColourMode ? 1 : 0;
    d.myWord7 = 0;
    d.myWord9 = 0;
    if (d.mySpecular != 0 && m->myDataBlock.mySpecularPower == 0.0f)
        m->myDataBlock.mySpecularPower = 40.0f;
    if (d.mySpecular == 0)
        m->myDataBlock.mySpecularPower = 0.0f;
    if (d.mySpecular != 2)
        m->myDataBlock.myColor = 0;
    m->CompileVertexShader();
    locShowAgain(s);
    return true;
}

bool locChangeTexture(QRenderEditor* s, ChangeTextureCommand& c)
{
    QR_TemplatePart* p = locPart(s, c.myPartIndex);
    if (!p || c.mySlot < 0 || c.mySlot >= MAX_TEXTURE_SLOTS)
        return locFail(EDITOR_ERROR_BONE_NOT_FOUND);
    uint32_t locSlot = (uint32_t)c.mySlot;
    if (locSlot >= p->myNumTextureNames || !p->myTextureNames)
    {
        QR_TextureNames* locSlots = new (std::nothrow) QR_TextureNames[locSlot + 1];
        if (!locSlots)
            return locFail(EDITOR_ERROR_BONE_NOT_FOUND);
        for (uint32_t i = 0; i < p->myNumTextureNames && p->myTextureNames; i++)
        {
            QR_TextureNames& o = p->myTextureNames[i];
            locSlots[i].myType = o.myType;
            locSlots[i].myFramesPerSecond = o.myFramesPerSecond;
            locSlots[i].myNames = o.myNames;
            locSlots[i].myNumNames = o.myNumNames;
            o.myNames = nullptr;
            o.myNumNames = 0;
        }
        delete[] p->myTextureNames;
        p->myTextureNames = locSlots;
        p->myNumTextureNames = locSlot + 1;
    }
    if (!QR_Surface::LoadTexture(c.myTextureName, &p->myTextureNames[locSlot]))
    {
        EditorError::Set(EDITOR_ERROR_MISSING_TEXTURE);
        SetErrorDetail("%s", c.myTextureName.GetBuffer());
        return false;
    }
    locShowAgain(s);
    return true;
}

bool locAddParticleEmittor(QRenderEditor* s, AddParticleEmittorCommand& c)
{
    if (!locModel(s) || !s->AddParticleEmitter(c.myEmitterName, c.myPartName, c.myStateCode))
        return locFail(EDITOR_ERROR_ADD_PE);
    return true;
}

bool locRemoveParticleEmittor(QRenderEditor* s, RemoveParticleEmittorCommand& c)
{
    if (!locModel(s) || c.myEmitterIndex < 0 || !s->RemoveParticleEmitter((uint32_t)c.myEmitterIndex))
        return locFail(EDITOR_ERROR_REMOVE_PE);
    return true;
}

bool locAddNullObject(QRenderEditor* s, AddNullObjectCommand& c)
{
    if (!locModel(s) || !s->AddNullObject(c.myName, c.myParentName, c.myStateCode))
        return locFail(EDITOR_ERROR_ADD_NULL_OBJECT);
    return true;
}

bool locDefaultLodDistance(QRenderEditor* s, DefaultLodDistanceCommand& c)
{
    memcpy(s->myLodDistances, c.myDistances, sizeof(s->myLodDistances));
    return true;
}

template <class T> T* locAs(QRECommand& aCommand)
{
    return strcmp(aCommand.GetKeyword(), T::KEYWORD) == 0 ? static_cast<T*>(&aCommand) : nullptr;
}

const char* locWorkDir()
{
    return QRenderEditor::ourInstance ? QRenderEditor::ourInstance->GetWorkDir().GetBuffer() : "";
}

const char* locDefaultSurfaceName()
{
    return QRenderEditor::ourInstance ? QRenderEditor::ourInstance->myDefaultSurface.GetBuffer() : "";
}
} // namespace

bool QRE_ExecuteOnScene(QRECommand& aCommand, uint32_t aVersion)
{
    QRenderEditor* s = QRenderEditor::ourInstance;
    if (!s)
        return false;
    if (auto* c = locAs<DefaultSurfaceCommand>(aCommand))
        return locDefaultSurface(s, *c);
    if (auto* c = locAs<HaloFileCommand>(aCommand))
        return locHaloFile(s, *c);
    if (auto* c = locAs<AddJointStateCommand>(aCommand))
        return locAddJointState(s, *c, aVersion);
    if (auto* c = locAs<RemoveBoneStateCommand>(aCommand))
        return locRemoveBoneState(s, *c);
    if (auto* c = locAs<EditAllJointStateCommand>(aCommand))
        return locEditAllJointState(s, *c);
    if (auto* c = locAs<EditJointStateCommand>(aCommand))
        return locEditJointState(s, *c, aVersion);
    if (auto* c = locAs<EditBoneCommand>(aCommand))
        return locEditBone(s, *c);
    if (auto* c = locAs<EditPositionOrientationCommand>(aCommand))
        return locEditPositionOrientation(s, *c);
    if (auto* c = locAs<EditObjectCommand>(aCommand))
        return locEditObject(s, *c);
    if (auto* c = locAs<EditMeshCommand>(aCommand))
        return locEditMesh(s, *c, aVersion);
    if (auto* c = locAs<EditLightSourceCommand>(aCommand))
        return locEditLightSource(s, *c);
    if (auto* c = locAs<SelectSurfaceCommand>(aCommand))
        return locSelectSurface(s, *c);
    if (auto* c = locAs<ChangeTextureCommand>(aCommand))
        return locChangeTexture(s, *c);
    if (auto* c = locAs<AddParticleEmittorCommand>(aCommand))
        return locAddParticleEmittor(s, *c);
    if (auto* c = locAs<RemoveParticleEmittorCommand>(aCommand))
        return locRemoveParticleEmittor(s, *c);
    if (auto* c = locAs<AddNullObjectCommand>(aCommand))
        return locAddNullObject(s, *c);
    if (auto* c = locAs<DefaultLodDistanceCommand>(aCommand))
        return locDefaultLodDistance(s, *c);
    if (auto* c = locAs<OpenModelCommand>(aCommand))
        return s->OpenScene(c->myFileName, c->myModelName, c->myStateCode);
    if (auto* c = locAs<AddStateCommand>(aCommand))
        return s->OpenModelFile(c->myFileName, c->myModelName, c->myStateCode, &c->myPartNames);
    if (auto* c = locAs<AddQREHierarchyCommand>(aCommand))
        return s->AddQREHierarchy(c->myPartName, c->myFileName);
    return false;
}

void QRE_InstallSceneHooks()
{
    QRECommand::ourExecuteHook = QRE_ExecuteOnScene;
    CommandHandler::ourWorkDirHook = locWorkDir;
    QRE_GetDefaultSurfaceName = locDefaultSurfaceName;
}

void QRE_RemoveSceneHooks()
{
    QRECommand::ourExecuteHook = nullptr;
    CommandHandler::ourWorkDirHook = nullptr;
    QRE_GetDefaultSurfaceName = nullptr;
}
