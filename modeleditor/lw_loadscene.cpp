// A LightWave scene into a template object: the items built part by part,
// parts ordered parents first, emitter links, lights and bone lines.
#include <math.h>
#include <string.h>
#include <strings.h>

#include <new>
#include <utility>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/lw_scene.h"
#include "modeleditor/qrendereditor.h"
#include "modeleditor/templateedit.h"
#include "qrender/qr_light.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"

namespace
{
// Parts are swapped until no state names a parent after its own part. Every
// reference to either part follows the swap.
bool locOrderParents(QR_TemplateObject* aTemplate, const char* aFileName)
{
    const uint32_t n = aTemplate->myNumParts;
    for (uint32_t i = 0; i < n; i++)
    {
        // A parent chain is at most n long: more swaps at one place mean a cycle.
        for (uint32_t locSwaps = 0;; locSwaps++)
        {
            int32_t j = -1;
            const QR_TemplatePart& p = aTemplate->myParts[i];
            for (uint32_t k = 0; k < p.myNumStates && j < 0; k++)
                if (p.myStates[k].myParent > (int32_t)i)
                    j = p.myStates[k].myParent;
            if (j < 0)
                break;
            if (locSwaps >= n || (uint32_t)j >= n)
            {
                SetErrorDetail("File: '%s', joint: %s", aFileName, p.myName ? p.myName : "");
                EditorError::Set(EDITOR_ERROR_INVALID_SCENE);
                return false;
            }
            QR_TemplatePart locHeld;
            MoveTemplatePart(locHeld, aTemplate->myParts[i]);
            MoveTemplatePart(aTemplate->myParts[i], aTemplate->myParts[j]);
            MoveTemplatePart(aTemplate->myParts[j], locHeld);
            for (uint32_t q = 0; q < n; q++)
            {
                QR_TemplatePart& r = aTemplate->myParts[q];
                for (uint32_t k = 0; k < r.myNumStates; k++)
                {
                    int32_t& locParent = r.myStates[k].myParent;
                    locParent = locParent == (int32_t)i ? j : locParent == j ? (int32_t)i : locParent;
                }
                r.mySkinGroup = r.mySkinGroup == (int32_t)i ? j : r.mySkinGroup == j ? (int32_t)i : r.mySkinGroup;
            }
        }
    }
    return true;
}

uint32_t locPartNamed(const QR_TemplateObject* aTemplate, const char* aName)
{
    int32_t r = FindPartByName(aTemplate, aName);
    return r >= 0 ? (uint32_t)r : 0xFFFFFFFF;
}

void locAddLinks(QR_TemplateObject* aTemplate, const LWScene& aScene, uint32_t aState)
{
    std::vector<std::pair<QR_SharedParticleData*, uint32_t>> locLinks;
    for (const std::unique_ptr<LWSItem>& i : aScene.myItems)
    {
        if (i->myConsumed || !i->IsEmitter())
            continue;
        QR_SharedParticleData* d = QR_SharedParticleData::Acquire(i->myEmitterName);
        if (!d)
            continue; // no definition: the link is dropped
        locLinks.push_back({d, i->myParent ? locPartNamed(aTemplate, i->myParent->myName) : 0xFFFFFFFF});
    }
    if (locLinks.empty())
        return;
    aTemplate->myLinks = new (std::nothrow) QR_ParticleLink[locLinks.size()];
    if (!aTemplate->myLinks)
    {
        for (auto& l : locLinks)
            QR_SharedParticleData::Release(l.first);
        return;
    }
    aTemplate->myNumLinks = (uint32_t)locLinks.size();
    for (size_t k = 0; k < locLinks.size(); k++)
    {
        aTemplate->myLinks[k].myDefinition = locLinks[k].first;
        aTemplate->myLinks[k].myStateId = aState;
        aTemplate->myLinks[k].myPartIndex = locLinks[k].second;
    }
}

void locAddLights(QR_TemplateObject* aTemplate, LWScene& aScene, uint32_t aState, const LWBuildSettings& aSettings)
{
    if (aScene.myLights.empty())
        return;
    aTemplate->myLights = new (std::nothrow) QR_Light[aScene.myLights.size()];
    if (!aTemplate->myLights)
        return;
    aTemplate->myNumLights = (uint32_t)aScene.myLights.size();
    for (size_t k = 0; k < aScene.myLights.size(); k++)
    {
        LWSLight& s = *aScene.myLights[k];
        QR_Light& l = aTemplate->myLights[k];
        l.myLightMask = 2; // model lights form their own group, as read from a model file
        memcpy(l.myColor, s.myColour, sizeof(l.myColor));
        if (s.myType != 1 && s.myType != 2)
            continue;
        l.myType = s.myType == 1 ? QR_LIGHT_POINT : QR_LIGHT_SPOT;
        l.myRange = s.myRange;
        l.myMotionPath = s.myMotion.release();
        l.myColorPath = s.myColourPath.release();
        l.myRangePath = s.myRangePath.release();
        if (s.myType == 2)
        {
            l.myConeValues[0] = cosf(s.myConeAngle);
            l.myConeValues[1] = cosf(s.myConeAngle - s.myEdgeAngle);
        }
        if (!aSettings.myHaloSurface.IsEmpty())
            l.myHalo = QR_Surface::CreateInstance(aSettings.myHaloSurface, 0, nullptr);
        l.myStateId = aState;
        l.myPartIndex = locPartNamed(aTemplate, s.myParentName);
    }
}

void locBoneLines(const QR_TemplateObject* aTemplate, const LWScene& aScene, std::vector<QRenderEditorBoneLine>* aLines)
{
    aLines->assign(aTemplate->myNumParts, QRenderEditorBoneLine{0.0f, 0});
    for (uint32_t p = 0; p < aTemplate->myNumParts; p++)
    {
        const char* locName = aTemplate->myParts[p].myName;
        for (const std::unique_ptr<LWSItem>& i : aScene.myItems)
            for (const std::unique_ptr<LWSBone>& b : i->myBones)
                if (locName && strcmp(b->myName, locName) == 0)
                    (*aLines)[p] = {b->myRestLength, LWBoneColour(b->myColourIndex)};
    }
}

// The scene loaded into a template of its own, then merged into aTemplate.
bool locMergeScene(QR_TemplateObject* aTemplate, const char* aFileName, uint32_t aState,
                   const std::vector<QC_String>* aPartNames, const char* anAttachName, const LWBuildSettings& aSettings)
{
    if (!aTemplate)
        return false;
    QR_TemplateObject* locNew = QR_TemplateObject::Create("_internal_pranvel_scene_state_");
    if (!locNew)
    {
        EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
        return false;
    }
    bool locResult = LoadLWS(locNew, aFileName, aState, nullptr, aSettings);
    if (locResult)
    {
        MergeTemplate(aTemplate, locNew, aPartNames, anAttachName);
        ComputeTemplateBounds(aTemplate);
    }
    locNew->Release();
    return locResult;
}
} // namespace

bool LoadLWS(QR_TemplateObject* aTemplate, const char* aFileName, uint32_t aState,
             std::vector<QRenderEditorBoneLine>* aBoneLines, const LWBuildSettings& aSettings)
{
    LWScene locScene;
    if (!ReadLWScene(aFileName, &locScene))
    {
        LWCache::Clear();
        return false;
    }
    EditorError::ourDetail[0] = 0;
    delete[] aTemplate->myParts;
    aTemplate->myParts = nullptr;
    aTemplate->myNumParts = 0;
    // Room for every tree's parts at once: many roots would otherwise grow
    // the part array once each.
    uint64_t locNumParts = 0;
    for (const std::unique_ptr<LWSItem>& i : locScene.myItems)
        if (!i->myConsumed && !i->myParent)
            locNumParts += CountItemTreeParts(*i);
    bool locResult = locNumParts <= 0xFFFFFFFFu && GrowTemplateParts(aTemplate, (uint32_t)locNumParts);
    if (!locResult)
        EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
    uint32_t locNext = 0;
    for (const std::unique_ptr<LWSItem>& i : locScene.myItems)
    {
        if (!locResult)
            break;
        if (i->myConsumed || i->myParent)
            continue;
        locResult = BuildItemTreeAt(i.get(), aTemplate, locNext, aState, aSettings);
        locNext += CountItemTreeParts(*i);
    }
    locResult = locResult && locOrderParents(aTemplate, aFileName);
    if (locResult)
    {
        locAddLinks(aTemplate, locScene, aState);
        locAddLights(aTemplate, locScene, aState, aSettings);
        if (aBoneLines)
            locBoneLines(aTemplate, locScene, aBoneLines);
    }
    LWCache::Clear();
    return locResult;
}

QR_TemplateObject* LoadLWSTemplate(const char* aFileName, const char* aModelName, uint32_t aState,
                                   std::vector<QRenderEditorBoneLine>* aBoneLines, const LWBuildSettings& aSettings)
{
    const char* locName = aModelName && aModelName[0] ? aModelName : aFileName;
    QR_TemplateObject* t = QR_TemplateObject::Create(locName);
    if (!t)
    {
        SetErrorDetail("Model: '%s'", locName);
        EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
        return nullptr;
    }
    if (!LoadLWS(t, aFileName, aState, aBoneLines, aSettings))
    {
        t->Release();
        return nullptr;
    }
    ComputeTemplateBounds(t);
    return t;
}

bool AddLWSState(QR_TemplateObject* aTemplate, const char* aFileName, uint32_t aState,
                 const std::vector<QC_String>* aPartNames, const LWBuildSettings& aSettings)
{
    return locMergeScene(aTemplate, aFileName, aState, aPartNames, nullptr, aSettings);
}

bool AttachLWS(QR_TemplateObject* aTemplate, const char* aFileName, uint32_t aState, const char* anAttachName,
               const LWBuildSettings& aSettings)
{
    return locMergeScene(aTemplate, aFileName, aState, nullptr, anAttachName, aSettings);
}
