// Template objects from LightWave data: scene items and bones into parts,
// a lone object into a template, templates merged as new states, bounds.
//
// Sections:
//   [SECTION] Parts of an item tree
//   [SECTION] Lone objects
//   [SECTION] Merging
//   [SECTION] Bounds
#include <algorithm>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <new>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/lw_scene.h"
#include "modeleditor/templateedit.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_vertex.h"

const char* const LW_OBJECT_TEMPLATE_NAME = "_internal_pranvel_object_";

namespace
{
constexpr float NEVER_REMOVED = 1.0e15f;
constexpr uint32_t MAX_ITEM_BONES = 256; // a bone byte addresses part offsets 0-255

char* locCopy(const char* aText)
{
    size_t n = strlen(aText);
    char* locResult = new (std::nothrow) char[n + 1];
    if (locResult)
        memcpy(locResult, aText, n + 1);
    return locResult;
}

bool locNoMemory()
{
    EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
    return false;
}

// [SECTION] Parts of an item tree ----------------------------------------------------------

uint32_t locPartsOf(const LWSItem& anItem)
{
    if (anItem.IsEmitter())
        return 0; // nor its children
    uint32_t n = 0;
    if (!anItem.myBones.empty())
        n = (uint32_t)anItem.myBones.size();
    else if (anItem.myLevels[0] && anItem.myLevels[0]->myBatches.size() > 1)
        n = (uint32_t)anItem.myLevels[0]->myBatches.size();
    else
        n = 1;
    for (const LWSItem* c : anItem.myChildren)
        n += locPartsOf(*c);
    return n;
}

// Texture slots from a batch's base names: colour and transparency, colour alone, or none.
bool locSetTextureSlots(QR_TemplatePart& aPart, const LWMeshBatch* aBatch)
{
    if (!aBatch)
        return true;
    uint32_t n = !aBatch->myTextureBaseNames[1].IsEmpty() ? 2 : !aBatch->myTextureBaseNames[0].IsEmpty() ? 1 : 0;
    if (!n)
        return true;
    aPart.myTextureNames = new (std::nothrow) QR_TextureNames[n];
    if (!aPart.myTextureNames)
        return false;
    aPart.myNumTextureNames = n;
    aPart.myTextureWord = 0;
    for (uint32_t i = 0; i < n; i++)
        QR_Surface::LoadTexture(aBatch->myTextureBaseNames[i], &aPart.myTextureNames[i]);
    return true;
}

const LWMeshBatch* locBatch(const LWSItem& anItem, uint32_t aBatch)
{
    const LWLayerMesh* l = anItem.myLevels[0];
    return l && aBatch < l->myBatches.size() ? &l->myBatches[aBatch] : nullptr;
}

// One state record: the moved path (or a still one at the origin).
bool locStartPart(QR_TemplatePart& aPart, const char* aName, uint32_t aState, QR_SplinePath* aPath,
                  float aDuration, int32_t aParent)
{
    aPart.myName = locCopy(aName);
    aPart.myStates = new (std::nothrow) QR_TemplateState[1];
    if (!aPart.myName || !aPart.myStates)
        return false;
    aPart.myNumStates = 1;
    QR_TemplateState& s = aPart.myStates[0];
    s.myId = aState;
    s.myBlendTime = 0.2f;
    s.myDuration = aDuration;
    s.myNextState = -1;
    s.myParent = aParent;
    s.myRestarts = false;
    s.myIsVisible = true;
    s.myIsRemembered = true;
    if (aPath)
    {
        MovePath(s.myPath, *aPath);
        return true;
    }
    const float locZero[6] = {};
    return SetStillPath(s.myPath, locZero);
}

class TreeBuilder
{
public:
    TreeBuilder(QR_TemplateObject* aTemplate, uint32_t aState, const LWBuildSettings& aSettings)
        : myTemplate(aTemplate), myState(aState), mySettings(aSettings)
    {
    }

    bool Build(LWSItem* anItem)
    {
        if (anItem->IsEmitter())
            return true;
        if (anItem->myBones.size() > MAX_ITEM_BONES)
        {
            SetErrorDetail("Item: '%s', %u bones", anItem->myName.GetBuffer(), (unsigned)anItem->myBones.size());
            EditorError::Set(EDITOR_ERROR_INVALID_SCENE);
            return false;
        }
        anItem->myFirstPart = (int)myNext;
        if (!(anItem->myBones.empty() ? BuildPlain(anItem) : BuildBones(anItem)))
            return false;
        for (LWSItem* c : anItem->myChildren)
            if (!Build(c))
                return false;
        return true;
    }

    uint32_t myNext = 0; // the next free part

private:
    // The part an item hangs below: its parent's first part, or that of the
    // parent's bone named by the parent bone number.
    static int32_t ParentPart(const LWSItem& anItem)
    {
        const LWSItem* p = anItem.myParent;
        if (!p || p->myFirstPart < 0)
            return -1;
        if (anItem.myParentBone >= 1 && anItem.myParentBone < (int)p->myBones.size())
            return p->myFirstPart + p->myBones[anItem.myParentBone]->myPartOffset;
        return p->myFirstPart;
    }

    bool BuildPlain(LWSItem* anItem)
    {
        const uint32_t locFirst = myNext++;
        QR_TemplatePart& p = myTemplate->myParts[locFirst];
        if (!locStartPart(p, anItem->myName, myState, anItem->myMotion.get(), 0.1f, ParentPart(*anItem)))
            return locNoMemory();
        anItem->myMotion.reset();
        LWLayerMesh* locLayer = anItem->myLevels[0];
        if (!locLayer)
            return true; // a null object: no mesh, no slots, no shift
        // Keys move by the layer's pivot, less the parent's pivot when the parent has no bones.
        const LWSItem* locParent = anItem->myParent;
        LWVec3 d = locLayer->myPivot;
        if (locParent && !locParent->myBones.empty())
            d = {0, 0, 0};
        else if (locParent)
            d = {d.x - locParent->myPivot.x, d.y - locParent->myPivot.y, d.z - locParent->myPivot.z};
        ShiftPathChannel(p.myStates[0].myPath, 0, d.x);
        ShiftPathChannel(p.myStates[0].myPath, 1, d.y);
        ShiftPathChannel(p.myStates[0].myPath, 2, d.z);
        if (!locSetTextureSlots(p, locBatch(*anItem, 0)))
            return locNoMemory();
        if (locLayer->myBatches.empty())
            return true; // nothing to draw: the part keeps no mesh
        uint32_t locBatches = (uint32_t)locLayer->myBatches.size();
        myNext += locBatches - 1;
        if (QR_Mesh* m = QR_Mesh::Create(locLayer->myName))
        {
            p.myMesh = m;
            return BuildStaticMeshes(m, anItem, myTemplate, locFirst, mySettings);
        }
        p.myMesh = QR_Mesh::Find(locLayer->myName);
        return BuildStaticMeshes(nullptr, anItem, myTemplate, locFirst, mySettings);
    }

    void WalkBones(LWSItem* anItem, LWSBone* aBone, int32_t aRootPart, uint32_t aDepth)
    {
        if (aDepth > anItem->myBones.size())
            return; // the reader refuses cycles; this only bounds the walk
        const uint32_t locPart = myNext++;
        aBone->myPartOffset = (uint8_t)(locPart - (uint32_t)anItem->myFirstPart);
        QR_TemplatePart& p = myTemplate->myParts[locPart];
        if (!locStartPart(p, aBone->myName, myState, aBone->myMotion.get(), -1.0f,
                          aBone->myParent ? aBone->myParent->myNumber : -1))
        {
            myFailed = true;
            return;
        }
        aBone->myMotion.reset();
        // The part's rest transform is the bone's bind pose: a skinned vertex goes through it
        // before the bone's world matrix, so the rest pose leaves the mesh where it was modelled.
        p.myMatrix = aBone->myRestMatrix;
        p.mySkinGroup = aRootPart < 0 ? (int32_t)locPart : aRootPart;
        for (LWSBone* c : aBone->myChildren)
            WalkBones(anItem, c, p.mySkinGroup, aDepth + 1);
    }

    bool BuildBones(LWSItem* anItem)
    {
        const uint32_t locFirst = myNext;
        myFailed = false;
        for (const std::unique_ptr<LWSBone>& b : anItem->myBones)
            if (!b->myParent)
                WalkBones(anItem, b.get(), -1, 0);
        if (myFailed)
            return locNoMemory();
        // Every bone has a part; parent bone numbers become part indices.
        const uint32_t locEnd = locFirst + (uint32_t)anItem->myBones.size();
        myNext = locEnd;
        const int32_t locItemParent = ParentPart(*anItem);
        for (uint32_t i = locFirst; i < locEnd; i++)
        {
            QR_TemplatePart& p = myTemplate->myParts[i];
            if (!p.myNumStates)
                continue;
            int32_t& locParent = p.myStates[0].myParent;
            locParent = locParent < 0 ? locItemParent
                                      : (int32_t)locFirst + anItem->myBones[(size_t)locParent]->myPartOffset;
        }
        LWLayerMesh* locLayer = anItem->myLevels[0];
        if (!locLayer || locLayer->myBatches.empty())
            return true; // nothing to draw: the bone parts keep no mesh
        QR_Mesh* m = QR_Mesh::Create(locLayer->myName);
        bool locResult = true;
        if (m)
            locResult = BuildSkinnedMesh(m, anItem, mySettings);
        else
            m = QR_Mesh::Find(locLayer->myName);
        const LWMeshBatch* locSlots = locBatch(*anItem, 0);
        for (uint32_t i = locFirst; i < locEnd && m; i++)
        {
            QR_TemplatePart& p = myTemplate->myParts[i];
            p.myMesh = m;
            m->myRefCount++;
            if (!locSetTextureSlots(p, locSlots))
                locResult = locResult && locNoMemory();
        }
        if (m)
            m->Release(); // the builder's own reference
        return locResult;
    }

    QR_TemplateObject* myTemplate;
    uint32_t myState;
    const LWBuildSettings& mySettings;
    bool myFailed = false;
};
} // namespace

bool BuildStaticMeshes(QR_Mesh* aFirstMesh, LWSItem* anItem, QR_TemplateObject* aTemplate, uint32_t aFirstPart,
                       const LWBuildSettings& aSettings)
{
    // A null first mesh: the layer's meshes exist already and are shared.
    if (aFirstMesh && !FillLWMesh(aFirstMesh, anItem, 0, false, aSettings))
        return false;
    const LWLayerMesh* locLayer = anItem->myLevels[0];
    const QR_TemplatePart& locFirstPart = aTemplate->myParts[aFirstPart];
    const QR_TemplateState& f = locFirstPart.myStates[0];
    for (uint32_t b = 1; b < locLayer->myBatches.size(); b++)
    {
        QR_TemplatePart& p = aTemplate->myParts[aFirstPart + b];
        std::string locName = std::string(locFirstPart.myName) + ":" + std::to_string(b);
        if (!locStartPart(p, locName.c_str(), f.myId, nullptr, f.myDuration, (int32_t)aFirstPart))
            return locNoMemory();
        QR_TemplateState& s = p.myStates[0];
        s.myBlendTime = f.myBlendTime;
        s.myNextState = f.myNextState;
        s.myRestarts = f.myRestarts;
        s.myIsVisible = f.myIsVisible;
        s.myIsRemembered = f.myIsRemembered;
        s.myPath.myRate = f.myPath.myRate;
        if (!locSetTextureSlots(p, &locLayer->myBatches[b]))
            return locNoMemory();
        std::string locMeshName = std::string(locLayer->myName) + ":" + std::to_string(b);
        if (QR_Mesh* m = QR_Mesh::Create(locMeshName.c_str()))
        {
            p.myMesh = m;
            if (!FillLWMesh(m, anItem, b, false, aSettings))
                return false;
        }
        else
            p.myMesh = QR_Mesh::Find(locMeshName.c_str());
    }
    return true;
}

uint32_t CountItemTreeParts(const LWSItem& anItem)
{
    return locPartsOf(anItem);
}

bool BuildItemTree(LWSItem* anItem, QR_TemplateObject* aTemplate, uint32_t aState, const LWBuildSettings& aSettings)
{
    const uint32_t locFirst = aTemplate->myNumParts;
    if (!GrowTemplateParts(aTemplate, locPartsOf(*anItem)))
        return locNoMemory();
    return BuildItemTreeAt(anItem, aTemplate, locFirst, aState, aSettings);
}

bool BuildItemTreeAt(LWSItem* anItem, QR_TemplateObject* aTemplate, uint32_t aFirst, uint32_t aState,
                     const LWBuildSettings& aSettings)
{
    const uint32_t locFirst = aFirst;
    TreeBuilder locBuilder(aTemplate, aState, aSettings);
    locBuilder.myNext = locFirst;
    if (!locBuilder.Build(anItem))
        return false;
    const uint32_t locEnd = locFirst + locPartsOf(*anItem);
    for (uint32_t i = locFirst; i < locEnd && i < aTemplate->myNumParts; i++)
    {
        QR_TemplatePart& p = aTemplate->myParts[i];
        if (!p.myMesh || !p.myMesh->myLods || !p.myMesh->myNumLods)
            continue;
        float locLast = p.myMesh->myLods[p.myMesh->myNumLods - 1].myLodDistance;
        if (locLast < p.myMaxDistanceSquared)
            p.myMaxDistanceSquared = locLast * 0.99f;
    }
    return true;
}

// [SECTION] Lone objects -------------------------------------------------------------------

namespace
{
QC_String locBaseName(const char* aFileName)
{
    std::string s = aFileName;
    for (char& c : s)
        if (c == '\\')
            c = '/';
    size_t locSlash = s.rfind('/');
    if (locSlash != std::string::npos)
        s = s.substr(locSlash + 1);
    size_t locDot = s.rfind('.');
    if (locDot != std::string::npos)
        s.resize(locDot);
    return QC_String(s.c_str());
}

bool locBuildObject(const char* aTemplateName, const char* aFileName, const char* anItemName,
                    QR_TemplateObject** aTemplateOut, uint32_t aState, const LWBuildSettings& aSettings)
{
    *aTemplateOut = nullptr;
    QR_TemplateObject* t = QR_TemplateObject::Create(aTemplateName);
    if (!t)
    {
        SetErrorDetail("Model: '%s'", aTemplateName);
        EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
        return false;
    }
    LWCache::Clear();
    if (!FindOrLoadLWObject(aFileName, 1, false))
    {
        t->Release();
        LWCache::Clear();
        return false;
    }
    LWSItem locItem;
    locItem.myIndex = 0;
    locItem.myLevels[0] = LWCache::GetLastMesh();
    locItem.myLayerIndex = 1;
    locItem.myName = anItemName && anItemName[0] ? QC_String(anItemName) : locBaseName(aFileName);
    EditorError::ourDetail[0] = 0;
    bool locResult = BuildItemTree(&locItem, t, aState, aSettings);
    LWCache::Clear();
    if (!locResult)
    {
        t->Release();
        return false;
    }
    ComputeTemplateBounds(t);
    *aTemplateOut = t;
    return true;
}
} // namespace

bool BuildTemplateFromLWO(const char* aFileName, const char* anItemName, QR_TemplateObject** aTemplateOut,
                          uint32_t aState, const LWBuildSettings& aSettings)
{
    return locBuildObject(LW_OBJECT_TEMPLATE_NAME, aFileName, anItemName, aTemplateOut, aState, aSettings);
}

bool AddLWOState(QR_TemplateObject* aTemplate, const char* aFileName, const char* anItemName, uint32_t aState,
                 const std::vector<QC_String>* aPartNames, const LWBuildSettings& aSettings)
{
    // Not the lone-object name: the model may be using it.
    QR_TemplateObject* locNew;
    if (!locBuildObject("_internal_pranvel_state_", aFileName, anItemName, &locNew, aState, aSettings))
        return false;
    MergeTemplate(aTemplate, locNew, aPartNames, nullptr);
    locNew->Release();
    ComputeTemplateBounds(aTemplate);
    return true;
}

// [SECTION] Merging ------------------------------------------------------------------------

namespace
{
int32_t locFindExact(const QR_TemplateObject* aTemplate, const char* aName)
{
    for (uint32_t i = 0; i < aTemplate->myNumParts; i++)
        if (aTemplate->myParts[i].myName && aName && strcmp(aTemplate->myParts[i].myName, aName) == 0)
            return (int32_t)i;
    return -1;
}

// A part index of aNew as the index of the part of the same name in aTemplate.
int32_t locTranslate(const QR_TemplateObject* aTemplate, const QR_TemplateObject* aNew, int32_t anIndex,
                     int32_t aNotFound)
{
    if (anIndex < 0 || (uint32_t)anIndex >= aNew->myNumParts)
        return aNotFound;
    int32_t r = locFindExact(aTemplate, aNew->myParts[anIndex].myName);
    return r >= 0 ? r : aNotFound;
}

// Links and lights name their part without regard to case; -1 when it is gone.
uint32_t locTranslateNoCase(const QR_TemplateObject* aTemplate, const QR_TemplateObject* aNew, uint32_t anIndex)
{
    if (anIndex >= aNew->myNumParts)
        return 0xFFFFFFFF;
    int32_t r = FindPartByName(aTemplate, aNew->myParts[anIndex].myName);
    return r >= 0 ? (uint32_t)r : 0xFFFFFFFF;
}

// aNew's records appended after anArray's own, each moved by aMove(to, from,
// own); aNew's array is emptied. Out of memory: both stay as they were.
template <class T, class Move>
void locAppend(T*& anArray, uint32_t& aCount, T*& aNew, uint32_t& aNewCount, Move aMove)
{
    if (!aNewCount)
        return;
    const uint32_t n = aCount + aNewCount;
    T* locArray = new (std::nothrow) T[n];
    if (!locArray)
        return;
    for (uint32_t i = 0; i < n; i++)
        aMove(locArray[i], i < aCount ? anArray[i] : aNew[i - aCount], i < aCount);
    delete[] anArray;
    delete[] aNew;
    anArray = locArray;
    aCount = n;
    aNew = nullptr;
    aNewCount = 0;
}

bool locListed(const std::vector<QC_String>* aNames, const char* aName)
{
    if (!aNames || aNames->empty())
        return true;
    for (const QC_String& n : *aNames)
        if (aName && strcasecmp(n, aName) == 0)
            return true;
    return false;
}

bool locHasState(const QR_TemplatePart& aPart, uint32_t anId, uint32_t aBefore)
{
    for (uint32_t i = 0; i < aBefore && i < aPart.myNumStates; i++)
        if (aPart.myStates[i].myId == anId)
            return true;
    return false;
}

void locMoveState(QR_TemplateState& aTo, QR_TemplateState& aFrom)
{
    QR_SplinePath locPath;
    MovePath(locPath, aFrom.myPath);
    aFrom.myPath = QR_SplinePath();
    aTo = aFrom;
    MovePath(aTo.myPath, locPath);
}

void locMergeStates(QR_TemplateObject* aTemplate, QR_TemplateObject* aNew, int32_t aTarget, QR_TemplatePart& aSource)
{
    QR_TemplatePart& d = aTemplate->myParts[aTarget];
    std::vector<uint32_t> locTake;
    for (uint32_t k = 0; k < aSource.myNumStates; k++)
        if (!locHasState(d, aSource.myStates[k].myId, d.myNumStates))
        {
            bool locRepeat = false;
            for (uint32_t t : locTake)
                locRepeat = locRepeat || aSource.myStates[t].myId == aSource.myStates[k].myId;
            if (!locRepeat)
                locTake.push_back(k);
        }
    if (locTake.empty())
        return;
    QR_TemplateState* locStates = new (std::nothrow) QR_TemplateState[d.myNumStates + locTake.size()];
    if (!locStates)
        return;
    for (uint32_t i = 0; i < d.myNumStates; i++)
        locMoveState(locStates[i], d.myStates[i]);
    uint32_t n = d.myNumStates;
    for (uint32_t k : locTake)
    {
        QR_TemplateState& s = locStates[n];
        locMoveState(s, aSource.myStates[k]);
        if (s.myParent >= 0)
            s.myParent = locTranslate(aTemplate, aNew, s.myParent, -1);
        if (s.myNextState >= 0)
        {
            int32_t locNext = -1;
            if ((uint32_t)s.myNextState < aSource.myNumStates)
            {
                uint32_t locId = aSource.myStates[s.myNextState].myId;
                for (uint32_t i = 0; i < n && locNext < 0; i++)
                    if (locStates[i].myId == locId)
                        locNext = (int32_t)i;
            }
            s.myNextState = locNext >= 0 ? locNext : (s.myNextState < (int32_t)n ? s.myNextState : -1);
        }
        else if (s.myNextState < -2)
            s.myNextState = -1;
        n++;
    }
    delete[] d.myStates;
    d.myStates = locStates;
    d.myNumStates = n;
}
} // namespace

bool MergeTemplate(QR_TemplateObject* aTemplate, QR_TemplateObject* aNew, const std::vector<QC_String>* aPartNames,
                   const char* anAttachName)
{
    const int32_t locAttach = FindPartByName(aTemplate, anAttachName);
    for (uint32_t i = 0; i < aNew->myNumParts; i++)
    {
        QR_TemplatePart& src = aNew->myParts[i];
        if (!locListed(aPartNames, src.myName))
            continue;
        int32_t locExisting = locFindExact(aTemplate, src.myName);
        if (locExisting >= 0)
        {
            locMergeStates(aTemplate, aNew, locExisting, src);
            continue;
        }
        if (!GrowTemplateParts(aTemplate, 1))
            return true; // out of memory: what merged so far stays
        QR_TemplatePart& d = aTemplate->myParts[aTemplate->myNumParts - 1];
        // The index word names a part too; it follows its part's name.
        int32_t locGroup = src.mySkinGroup;
        MoveTemplatePart(d, src);
        if (locGroup >= 0)
            d.mySkinGroup = locTranslate(aTemplate, aNew, locGroup, locGroup);
        for (uint32_t k = 0; k < d.myNumStates; k++)
        {
            QR_TemplateState& s = d.myStates[k];
            s.myParent = s.myParent < 0 ? locAttach : locTranslate(aTemplate, aNew, s.myParent, locAttach);
            if (s.myNextState < -2 || s.myNextState >= (int32_t)d.myNumStates)
                s.myNextState = -1;
        }
        // The moved part keeps its name for the translations of later parts.
        src.myName = locCopy(d.myName ? d.myName : "");
    }

    // Emitter links, lights and names, appended with their parts translated.
    locAppend(aTemplate->myLinks, aTemplate->myNumLinks, aNew->myLinks, aNew->myNumLinks,
              [&](QR_ParticleLink& l, QR_ParticleLink& o, bool anOwn) {
                  l.myDefinition = o.myDefinition;
                  l.myStateId = o.myStateId;
                  l.myPartIndex = anOwn || o.myPartIndex == 0xFFFFFFFF
                                      ? o.myPartIndex
                                      : locTranslateNoCase(aTemplate, aNew, o.myPartIndex);
                  o.myDefinition = nullptr;
              });
    locAppend(aTemplate->myLights, aTemplate->myNumLights, aNew->myLights, aNew->myNumLights,
              [&](QR_Light& l, QR_Light& o, bool anOwn) {
                  l.CopyFields(o);
                  l.myMotionPath = o.myMotionPath;
                  l.myColorPath = o.myColorPath;
                  l.myRangePath = o.myRangePath;
                  l.myHalo = o.myHalo;
                  o.myMotionPath = o.myColorPath = o.myRangePath = nullptr;
                  o.myHalo = nullptr;
                  if (!anOwn && o.myPartIndex != 0xFFFFFFFF)
                      l.myPartIndex = locTranslateNoCase(aTemplate, aNew, o.myPartIndex);
              });
    locAppend(aTemplate->myExpressions, aTemplate->myNumExpressions, aNew->myExpressions, aNew->myNumExpressions,
              [](char*& l, char*& o, bool) {
                  l = o;
                  o = nullptr;
              });
    return true;
}

// [SECTION] Bounds -------------------------------------------------------------------------

namespace
{
void locAddMeshBounds(QR_Mesh* aMesh, const Matrix44& aMatrix, float aLowest[3], float aHighest[3])
{
    if (!(aMesh->myVertexFormat & QR_VERTEXFLAG_XYZ) || !aMesh->myNumVertices || !aMesh->myVertexData)
    {
        aMesh->myRadius = 0.01f;
        return;
    }
    float locLargest = 0;
    for (uint32_t v = 0; v < aMesh->myNumVertices; v++)
    {
        float p[3];
        memcpy(p, aMesh->myVertexData + (size_t)v * aMesh->myVertexSize, sizeof(p));
        float d = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
        if (d > locLargest)
            locLargest = d;
        float w[4]; // Transform writes w too
        aMatrix.Transform(p[0], p[1], p[2], w);
        for (int c = 0; c < 3; c++)
        {
            if (w[c] < aLowest[c])
                aLowest[c] = w[c];
            if (w[c] > aHighest[c])
                aHighest[c] = w[c];
        }
    }
    aMesh->myRadius = sqrtf(locLargest);
}
} // namespace

void ComputeTemplateBounds(QR_TemplateObject* aTemplate)
{
    // Skin groups that share a mesh measure it once: its box in model space.
    struct Measured
    {
        QR_Mesh* myMesh;
        float myLowest[3], myHighest[3];
    };
    std::vector<Measured> locMeasured;
    std::vector<Matrix44> locWorld(aTemplate->myNumParts, Matrix44::Identity());
    float lo[3] = {9999999.0f, 9999999.0f, 9999999.0f};
    float hi[3] = {-9999999.0f, -9999999.0f, -9999999.0f};
    int32_t locLastGroup = -1;
    for (uint32_t i = 0; i < aTemplate->myNumParts; i++)
    {
        QR_TemplatePart& p = aTemplate->myParts[i];
        if (!p.myMesh || !p.myNumStates)
            continue;
        for (uint32_t k = 0; k < p.myNumStates; k++)
        {
            const QR_TemplateState& s = p.myStates[k];
            Matrix44 m = Matrix44::Identity();
            s.myPath.GetMatrix(0.0f, m);
            if (s.myParent >= 0 && (uint32_t)s.myParent < aTemplate->myNumParts)
                m = m * locWorld[s.myParent];
            locWorld[i] = m;
            // A skinned mesh is in model space already: measured once per bone tree.
            if (p.mySkinGroup >= 0)
            {
                if (p.mySkinGroup != locLastGroup)
                {
                    auto locFound = std::find_if(locMeasured.begin(), locMeasured.end(),
                                                 [&](const Measured& aMeasured) { return aMeasured.myMesh == p.myMesh; });
                    if (locFound == locMeasured.end())
                    {
                        Measured locNew = {p.myMesh, {9999999.0f, 9999999.0f, 9999999.0f},
                                           {-9999999.0f, -9999999.0f, -9999999.0f}};
                        locAddMeshBounds(p.myMesh, Matrix44::Identity(), locNew.myLowest, locNew.myHighest);
                        locMeasured.push_back(locNew);
                        locFound = locMeasured.end() - 1;
                    }
                    for (int c = 0; c < 3; c++)
                    {
                        lo[c] = std::min(lo[c], locFound->myLowest[c]);
                        hi[c] = std::max(hi[c], locFound->myHighest[c]);
                    }
                }
                locLastGroup = p.mySkinGroup;
            }
            else
                locAddMeshBounds(p.myMesh, locWorld[i], lo, hi);
        }
    }
    float c[3], r2 = 0;
    for (int k = 0; k < 3; k++)
    {
        c[k] = (lo[k] + hi[k]) * 0.5f;
        r2 += (hi[k] - c[k]) * (hi[k] - c[k]);
    }
    memcpy(aTemplate->myBoundCentre, c, sizeof(c));
    aTemplate->myBoundRadius = sqrtf(r2);
}
