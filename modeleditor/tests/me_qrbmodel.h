// Templates built in memory for the writer and command tests: meshes made from
// the sample descriptions (surfaces and textures of the sample folder in the
// current directory), states with constant and keyed paths, links, names and
// lights. A renderer must exist (surfaces compile on it).
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/qrbwriter.h"
#include "modeleditor/templateedit.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_splinepath.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"
#include "qrender/tests/qr_sample_models.h"

inline char* MET_Copy(const char* aText)
{
    char* c = new char[strlen(aText) + 1];
    strcpy(c, aText);
    return c;
}

// Every channel constant.
inline void MET_ConstantPath(QR_SplinePath& aPath, const std::vector<float>& aValues)
{
    aPath.Free();
    aPath.myNumChannels = (uint32_t)aValues.size();
    aPath.myKeyedMask = 0;
    aPath.myNumTangents = 0;
    aPath.myNumKeys = 1;
    aPath.myKeySizeInFloats = 0;
    aPath.myConstants = new float[aValues.size()];
    memcpy(aPath.myConstants, aValues.data(), aValues.size() * 4);
}

// Every channel keyed, linear keys; the last time must be 1.
inline void MET_KeyedPath(QR_SplinePath& aPath, const std::vector<std::pair<float, std::vector<float>>>& aKeys,
                          float aRate, bool aLoopFlag)
{
    aPath.Free();
    uint32_t n = (uint32_t)aKeys[0].second.size();
    aPath.myRate = aRate;
    aPath.myIsLooping = aLoopFlag;
    aPath.myNumChannels = n;
    aPath.myKeyedMask = (1u << n) - 1;
    aPath.myNumTangents = 0;
    aPath.myNumKeys = (uint32_t)aKeys.size();
    aPath.myKeySizeInFloats = n + 2;
    aPath.myKeys = new float[aKeys.size() * (n + 2)];
    float* k = aPath.myKeys;
    for (const auto& [t, v] : aKeys)
    {
        *k++ = t;
        uint32_t locLinear = QR_SplinePath::LINEAR;
        memcpy(k++, &locLinear, 4);
        for (float f : v)
            *k++ = f;
    }
}

// A path from its stored description.
inline void MET_PathFromDescription(QR_SplinePath& aPath, const QRB_TestPath& d)
{
    aPath.Free();
    aPath.myRate = d.myRate;
    aPath.myIsLooping = d.myLoopFlag != 0;
    aPath.myNumChannels = d.myNumChannels;
    aPath.myKeyedMask = d.myKeyedMask;
    aPath.myNumTangents = d.myNumTangents;
    aPath.myNumKeys = d.myNumKeys;
    uint32_t locKeyed = (uint32_t)__builtin_popcount(d.myKeyedMask);
    aPath.myKeySizeInFloats = locKeyed ? (d.myNumTangents + 1) * locKeyed + 2 : 0;
    if (!d.myKeys.empty())
    {
        aPath.myKeys = new float[d.myKeys.size()];
        memcpy(aPath.myKeys, d.myKeys.data(), d.myKeys.size() * 4);
    }
    if (!d.myConstants.empty())
    {
        aPath.myConstants = new float[d.myConstants.size()];
        memcpy(aPath.myConstants, d.myConstants.data(), d.myConstants.size() * 4);
    }
}

// A mesh from a sample description, listed under aName even when another mesh
// has that name; the surface acquired, the kind bound. Null when any step fails.
inline QR_Mesh* MET_MeshFromDescription(const char* aName, const QRB_TestMesh& d)
{
    QR_Mesh* m = new QR_Mesh;
    m->myName = MET_Copy(aName);
    if (!d.mySurface.empty() && !(m->mySurface = QR_Surface::Acquire(d.mySurface.c_str())))
    {
        m->Release();
        return nullptr;
    }
    m->myVertexShader = QR_VertexShader::Find(d.myVertexShader.c_str());
    QR_VertexShaderSetupData& s = m->mySetupData;
    s.mySkinning = d.mySettings[0];
    s.myLighting = d.mySettings[1];
    s.myWord7 = d.mySettings[2];
    s.mySpecular = d.mySettings[3];
    s.myWord9 = d.mySettings[4];
    s.myNumUVs = (uint32_t)d.myStages.size();
    size_t locPath = 0;
    for (size_t i = 0; i < d.myStages.size(); i++)
    {
        s.myUVs[i] = d.myStages[i];
        if (i < d.myStagePathFlags.size() && d.myStagePathFlags[i])
        {
            m->myDataBlock.myTextureMatrixSpline[i] = new QR_SplinePath;
            MET_PathFromDescription(*m->myDataBlock.myTextureMatrixSpline[i], d.myStagePaths[locPath++]);
        }
    }
    s.myFogFlag = d.myFogFlag != 0;
    m->myDataBlock.mySpecularPower = d.mySpecularPower;
    m->myDataBlock.myColor = d.mySpecularColor;
    m->myRadius = d.myRadius;
    m->myVertexFormat = m->myVertexBufferVertexFormat = d.myVertexFormat;
    m->myVertexSize = QR_GetVertexSize(d.myVertexFormat);
    m->myNumVertices = d.myNumVertices;
    m->myVertexData = new uint8_t[d.myVertices.size() + 1];
    memcpy(m->myVertexData, d.myVertices.data(), d.myVertices.size());
    m->myMeshIndexType = d.myIndexType;
    m->myNumIndices = (uint32_t)d.myIndices.size();
    m->myIndexData = new uint16_t[d.myIndices.size() + 1];
    memcpy(m->myIndexData, d.myIndices.data(), d.myIndices.size() * 2);
    m->myNumLods = (uint32_t)d.myLevels.size();
    m->myLods = new QR_MeshLod[d.myLevels.size()]();
    for (size_t k = 0; k < d.myLevels.size(); k++)
    {
        const QRB_TestLevel& l = d.myLevels[k];
        QR_MeshLod& o = m->myLods[k];
        o.myLodDistance = l.myDistance;
        o.myIsAnimated = l.myKind;
        o.myNumVertices = l.myNumVertices;
        o.myStartIndex = l.myStartIndex;
        o.myNumIndices = l.myNumIndices;
        o.myFirstVertex = l.myFirstVertex;
        if (l.myKind == 1)
        {
            o.myFramesPerSecond = 1.0f / l.myFrameTime;
            o.myNumFrames = (uint32_t)l.myFrames.size() / 4;
            o.myFrames = new QR_MeshFrame[o.myNumFrames];
            memcpy(o.myFrames, l.myFrames.data(), l.myFrames.size() * 4);
        }
    }
    return m;
}

inline void MET_SetState(QR_TemplateState& s, const char* aCode, int32_t aParent)
{
    s.myId = StateCodeToId(aCode);
    s.myParent = aParent;
    s.myNextState = -1;
    s.myIsVisible = true;
    s.myIsRemembered = false;
    s.myRestarts = false;
    s.myBlendTime = 0.0f;
    s.myDuration = 0.0f;
    MET_ConstantPath(s.myPath, {0, 0, 0, 0, 0, 0});
}

// Two parts: "first" holds the cube "met_cube" (surface aSurface, may be
// empty), "second" names the same mesh; one state "STND" each.
inline QR_TemplateObject* MET_BuildSharedMeshTemplate(const char* aName, const char* aSurface)
{
    QR_TemplateObject* t = QR_TemplateObject::Create(aName);
    if (!t)
        return nullptr;
    QR_Mesh* m = MET_MeshFromDescription("met_cube", QRT_CubeMesh(aSurface));
    if (!m)
    {
        t->Release();
        return nullptr;
    }
    t->myBoundRadius = 1.5f;
    t->myParts = new QR_TemplatePart[2];
    t->myNumParts = 2;
    const char* locNames[2] = {"first", "second"};
    for (int i = 0; i < 2; i++)
    {
        QR_TemplatePart& p = t->myParts[i];
        p.myName = MET_Copy(locNames[i]);
        p.myStates = new QR_TemplateState[1];
        p.myNumStates = 1;
        MET_SetState(p.myStates[0], "STND", i - 1);
    }
    t->myParts[0].myMesh = m;
    t->myParts[1].myMesh = QR_Mesh::Find("met_cube");
    m->CompileVertexShader();
    return t;
}

// Every kind of record the format holds: static meshes with three levels (the
// second's first vertex differs from its first index), specular colour, fog, a
// slot override, a texture-matrix stage with its path, an animated level, a
// shared mesh, a part without mesh, a skinned arm over three bones of one
// group, states with keyed paths and next states, an emitter link, names, and
// lights of types 0, 1 (with a halo) and 3 with paths.
inline QR_TemplateObject* MET_BuildRichTemplate(const char* aName)
{
    QR_TemplateObject* t = QR_TemplateObject::Create(aName);
    if (!t)
        return nullptr;
    t->myBoundRadius = 4.25f;
    t->myBoundCentre[0] = 0.5f, t->myBoundCentre[1] = -0.25f, t->myBoundCentre[2] = 2.0f;

    QRB_TestMesh locHull = QRT_CubeMesh("surfaces/stone.sur");
    locHull.mySettings[3] = 2;
    locHull.mySpecularColor = 0x336699;
    locHull.mySpecularPower = 12.5f;
    locHull.myFogFlag = 1;
    QRB_TestLevel l0, l1, l2;
    l0.myNumVertices = 24, l0.myNumIndices = 72, l0.myDistance = 100.0f;
    l1.myStartIndex = 12, l1.myNumIndices = 24, l1.myFirstVertex = 4, l1.myNumVertices = 8, l1.myDistance = 400.0f;
    l2.myStartIndex = 60, l2.myNumIndices = 12, l2.myFirstVertex = 20, l2.myNumVertices = 4, l2.myDistance = 1.0e10f;
    locHull.myLevels = {l0, l1, l2};

    QRB_TestMesh locFlame = QRT_CubeMesh("surfaces/fire.sur", 0.3f);
    locFlame.myStages = {UV_TEXTUREMATRIX};
    QRB_TestLevel la;
    la.myKind = 1, la.myNumVertices = 24, la.myNumIndices = 36, la.myDistance = 1.0e10f;
    la.myFrameTime = 0.125f;
    la.myFrames = {0, 24, 0, 36, 0, 24, 36, 36};
    locFlame.myLevels = {la};

    QR_Mesh* locMeshes[3] = {MET_MeshFromDescription("met_hull", locHull),
                             MET_MeshFromDescription("met_flame", locFlame),
                             MET_MeshFromDescription("met_arm", QRT_ArmMesh("surfaces/stone.sur"))};
    if (!locMeshes[0] || !locMeshes[1] || !locMeshes[2])
    {
        for (QR_Mesh* m : locMeshes)
            if (m)
                m->Release();
        t->Release();
        return nullptr;
    }
    locMeshes[1]->myDataBlock.myTextureMatrixSpline[0] = new QR_SplinePath;
    MET_KeyedPath(*locMeshes[1]->myDataBlock.myTextureMatrixSpline[0],
                  {{0.0f, {0, 0, 0, 0, 0, 0}}, {1.0f, {0, 0.5f, 0, 0, 0, 1.5f}}}, 0.5f, true);
    for (QR_Mesh* m : locMeshes)
        m->CompileVertexShader();

    const uint32_t N = 7;
    t->myParts = new QR_TemplatePart[N];
    t->myNumParts = N;
    const char* locNames[N] = {"hull", "flame", "hull_copy", "locator", "bone0", "bone1", "bone2"};
    for (uint32_t i = 0; i < N; i++)
    {
        QR_TemplatePart& p = t->myParts[i];
        p.myName = MET_Copy(locNames[i]);
        p.myStates = new QR_TemplateState[2];
        p.myNumStates = 2;
        MET_SetState(p.myStates[0], "STND", i == 0 ? -1 : (i >= 5 ? (int32_t)i - 1 : 0));
        MET_SetState(p.myStates[1], "WALK", p.myStates[0].myParent);
        QR_TemplateState& w = p.myStates[1];
        MET_KeyedPath(w.myPath, {{0.0f, {0, 0, 0, 0, 0, 0}}, {0.5f, {0, 0.25f * i, 0, 0, 1, 0}}, {1.0f, {0, 0, 0, 0, 2, 0}}},
                      0.5f, true);
        w.myBlendTime = 0.25f;
        w.myDuration = 2.0f;
        w.myIsRemembered = true;
        w.myRestarts = i % 2 == 0;
        w.myIsVisible = i != 3;
        w.myNextState = i == 3 ? -2 : 0;
    }
    QR_TemplatePart* p = t->myParts;
    p[0].myMesh = locMeshes[0];
    p[0].myMatrix.myMatrix[13] = 0.75f;
    p[0].myTextureNames = new QR_TextureNames[1];
    p[0].myTextureNames[0].SetNames(1);
    p[0].myTextureNames[0].myNames[0] = "textures/wood";
    p[0].myTextureNames[0].myFramesPerSecond = 2.5f;
    p[0].myNumTextureNames = 1;
    p[0].myTextureWord = 100; // alpha reference
    p[1].myMesh = locMeshes[1];
    p[2].myMesh = QR_Mesh::Find("met_hull");
    p[2].myMaxDistanceSquared = 2500.0f;
    for (uint32_t i = 4; i < N; i++)
    {
        p[i].mySkinGroup = 4;
        p[i].myMesh = i == 4 ? locMeshes[2] : QR_Mesh::Find("met_arm");
        p[i].myMatrix.myMatrix[12] = -(float)(i - 4);
    }

    t->myLinks = new QR_ParticleLink[1];
    t->myNumLinks = 1;
    t->myLinks[0].myDefinition = QR_SharedParticleData::Acquire("fx/sparks");
    t->myLinks[0].myPartIndex = 1;
    t->myLinks[0].myStateId = StateCodeToId("WALK");
    t->myExpressions = new char*[2]{MET_Copy("ST0=TIME*2"), MET_Copy("")};
    t->myNumExpressions = 2;

    t->myLights = new QR_Light[3];
    t->myNumLights = 3;
    QR_Light* l = t->myLights;
    l[0].myType = QR_LIGHT_DIRECTIONAL;
    l[0].myDirection[0] = 0, l[0].myDirection[1] = -1, l[0].myDirection[2] = 0;
    l[0].myColor[0] = 0.5f, l[0].myColor[1] = 0.25f, l[0].myColor[2] = 1.0f;
    l[0].myRangePath = new QR_SplinePath;
    MET_ConstantPath(*l[0].myRangePath, {3.0f});
    l[1].myType = QR_LIGHT_POINT;
    l[1].myPartIndex = 1;
    l[1].myPosition[1] = 0.8f;
    l[1].myRange = 4.0f;
    l[1].myColor[0] = 1, l[1].myColor[1] = 0.6f, l[1].myColor[2] = 0.2f;
    l[1].myHalo = QR_Surface::CreateInstanceWithTexture("INTERNAL_ALPHA", "textures/halo");
    l[1].myMotionPath = new QR_SplinePath;
    MET_KeyedPath(*l[1].myMotionPath, {{0.0f, {0, 0.8f, 0}}, {1.0f, {0, 1.2f, 0}}}, 1.0f, true);
    l[1].myStateId = StateCodeToId("STND");
    l[2].myType = QR_LIGHT_SPOT;
    l[2].myPartIndex = 0;
    l[2].myPosition[1] = 1.2f;
    l[2].myDirection[1] = -1, l[2].myDirection[2] = 0;
    l[2].myRange = 6.0f;
    l[2].myConeValues[0] = 0.5f, l[2].myConeValues[1] = 0.9f;
    l[2].myFallOff = 0.3f;
    l[2].myColorPath = new QR_SplinePath;
    MET_KeyedPath(*l[2].myColorPath, {{0.0f, {1, 1, 1}}, {1.0f, {0, 0.5f, 1}}}, 2.0f, false);
    l[2].myStateId = StateCodeToId("WALK");
    if (!t->myLinks[0].myDefinition || !l[1].myHalo)
    {
        t->Release();
        return nullptr;
    }
    return t;
}

// Gives every mesh of a built template another name, so that reading the
// written file makes meshes of its own.
inline void MET_RenameBuiltMeshes(QR_TemplateObject* aTemplate)
{
    for (uint32_t i = 0; i < aTemplate->myNumParts; i++)
    {
        QR_Mesh* m = aTemplate->myParts[i].myMesh;
        if (!m || strchr(m->myName, '#'))
            continue;
        std::string n = std::string(m->myName) + "#built";
        delete[] m->myName;
        m->myName = MET_Copy(n.c_str());
    }
}

inline std::string MET_OriginalMeshName(const char* aName)
{
    std::string n = aName;
    return n.substr(0, n.find('#'));
}

// A template in memory from a stored description: every field the format holds.
// The emitter links' ".pe" files, surfaces and halo textures must exist. Null
// when any of them cannot be made.
inline QR_TemplateObject* MET_TemplateFromDescription(const char* aName, const QRB_TestModel& d)
{
    QR_TemplateObject* t = QR_TemplateObject::Create(aName);
    if (!t)
        return nullptr;
    bool locOk = true;
    t->myBoundRadius = d.myRadius;
    memcpy(t->myBoundCentre, d.myCentre, 12);
    if (!d.myParts.empty())
    {
        t->myParts = new QR_TemplatePart[d.myParts.size()];
        t->myNumParts = (uint32_t)d.myParts.size();
    }
    std::vector<std::pair<std::string, QR_Mesh*>> locMeshes; // this model's own, by name
    for (size_t i = 0; i < d.myParts.size() && locOk; i++)
    {
        const QRB_TestPart& s = d.myParts[i];
        QR_TemplatePart& p = t->myParts[i];
        p.myName = MET_Copy(s.myName.c_str());
        p.myMaxDistanceSquared = s.myMaxDistanceSquared;
        memcpy(p.myMatrix.myMatrix, s.myMatrix, 64);
        p.mySkinGroup = s.mySkinGroup;
        if (!s.myStates.empty())
        {
            p.myStates = new QR_TemplateState[s.myStates.size()];
            p.myNumStates = (uint32_t)s.myStates.size();
        }
        for (size_t k = 0; k < s.myStates.size(); k++)
        {
            const QRB_TestState& a = s.myStates[k];
            QR_TemplateState& b = p.myStates[k];
            b.myId = a.myId;
            b.myParent = a.myParent;
            b.myIsVisible = a.myVisible != 0;
            b.myIsRemembered = a.myRemembered != 0;
            b.myBlendTime = a.myBlendTime;
            b.myDuration = a.myDuration;
            b.myNextState = a.myNextState;
            b.myRestarts = a.myRestarts != 0;
            MET_PathFromDescription(b.myPath, a.myPath);
        }
        if (!s.myMeshName.empty())
        {
            for (auto& [n, m] : locMeshes)
                if (n == s.myMeshName)
                {
                    p.myMesh = m;
                    m->myRefCount++;
                }
            if (!p.myMesh)
            {
                p.myMesh = MET_MeshFromDescription(s.myMeshName.c_str(), s.myMesh);
                locOk = p.myMesh != nullptr;
                if (locOk)
                    locMeshes.push_back({s.myMeshName, p.myMesh});
            }
        }
        p.myTextureWord = s.myTextureWord;
        if (!s.mySlots.empty())
        {
            p.myTextureNames = new QR_TextureNames[s.mySlots.size()];
            p.myNumTextureNames = (uint32_t)s.mySlots.size();
        }
        for (size_t j = 0; j < s.mySlots.size(); j++)
        {
            QR_TextureNames& o = p.myTextureNames[j];
            o.myType = s.mySlots[j].myKind;
            o.myFramesPerSecond = s.mySlots[j].myFramesPerSecond;
            o.SetNames((uint32_t)s.mySlots[j].myNames.size());
            for (size_t n = 0; n < s.mySlots[j].myNames.size(); n++)
                o.myNames[n] = s.mySlots[j].myNames[n].c_str();
        }
    }
    if (locOk && !d.myLinks.empty())
    {
        t->myLinks = new QR_ParticleLink[d.myLinks.size()];
        t->myNumLinks = (uint32_t)d.myLinks.size();
        for (size_t i = 0; i < d.myLinks.size() && locOk; i++)
        {
            t->myLinks[i].myPartIndex = d.myLinks[i].myPartIndex;
            t->myLinks[i].myStateId = d.myLinks[i].myStateId;
            t->myLinks[i].myDefinition = QR_SharedParticleData::Acquire(d.myLinks[i].myName.c_str());
            locOk = t->myLinks[i].myDefinition != nullptr;
        }
    }
    if (locOk && !d.myStrings.empty())
    {
        t->myExpressions = new char*[d.myStrings.size()];
        for (const std::string& s : d.myStrings)
            t->myExpressions[t->myNumExpressions++] = MET_Copy(s.c_str());
    }
    if (locOk && !d.myLights.empty())
    {
        t->myLights = new QR_Light[d.myLights.size()];
        t->myNumLights = (uint32_t)d.myLights.size();
        for (size_t i = 0; i < d.myLights.size() && locOk; i++)
        {
            const QRB_TestLight& a = d.myLights[i];
            QR_Light& l = t->myLights[i];
            l.myPartIndex = (uint32_t)a.myPartIndex;
            l.myType = a.myType;
            memcpy(l.myColor, a.myColor, 12);
            QR_SplinePath** locPaths[3] = {&l.myMotionPath, &l.myColorPath, &l.myRangePath};
            for (int k = 0; k < 3; k++)
                if (a.myPathFlags[k])
                {
                    *locPaths[k] = new QR_SplinePath;
                    MET_PathFromDescription(**locPaths[k], a.myPaths[k]);
                }
            memcpy(l.myPosition, a.myPosition, 12);
            memcpy(l.myDirection, a.myDirection, 12);
            l.myRange = a.myRange;
            l.myConeValues[0] = a.myCones[0];
            l.myConeValues[1] = a.myCones[1];
            l.myFallOff = a.myFallOff;
            l.myStateId = a.myStateId;
            if (!a.myHaloSurface.empty())
            {
                l.myHalo = QR_Surface::CreateInstanceWithTexture(a.myHaloSurface.c_str(), a.myHaloTexture.c_str());
                locOk = l.myHalo != nullptr;
            }
        }
    }
    if (!locOk)
    {
        t->Release();
        return nullptr;
    }
    return t;
}

// Writes a described model through the editor's writer: built in memory under
// a passing name, written, and let go (its meshes with it).
inline bool MET_WriteModel(const std::string& aPath, const QRB_TestModel& aModel)
{
    QR_TemplateObject* t = MET_TemplateFromDescription("met#written", aModel);
    if (!t)
        return false;
    bool locResult = QRBWriter().Write(t, aPath.c_str());
    t->Release();
    return locResult;
}
