// Field-by-field comparison of two templates (one written and read back), for
// the writer and command tests. Meshes are compared by content, surfaces,
// kinds, particle definitions and textures by identity (shared by name).
#pragma once

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>

#include "modeleditor/tests/me_qrbmodel.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"

inline void ExpectSamePath(const QR_SplinePath& a, const QR_SplinePath& b, const std::string& aWhere)
{
    SCOPED_TRACE(aWhere);
    EXPECT_EQ(a.myRate, b.myRate);
    EXPECT_EQ(a.myIsLooping, b.myIsLooping);
    EXPECT_EQ(a.myNumChannels, b.myNumChannels);
    EXPECT_EQ(a.myKeyedMask, b.myKeyedMask);
    EXPECT_EQ(a.myKeySizeInFloats, b.myKeySizeInFloats);
    uint32_t locKeyed = __builtin_popcount(a.myKeyedMask);
    if (locKeyed)
    {
        EXPECT_EQ(a.myNumTangents, b.myNumTangents);
        ASSERT_EQ(a.myNumKeys, b.myNumKeys);
        EXPECT_EQ(memcmp(a.myKeys, b.myKeys, (size_t)a.myNumKeys * a.myKeySizeInFloats * 4), 0);
    }
    ASSERT_EQ(a.myConstants == nullptr, b.myConstants == nullptr);
    if (a.myConstants)
    {
        EXPECT_EQ(memcmp(a.myConstants, b.myConstants, (a.myNumChannels - locKeyed) * 4), 0);
    }
}

inline void ExpectSameMesh(const QR_Mesh& a, const QR_Mesh& b, const std::string& aWhere)
{
    SCOPED_TRACE(aWhere);
    EXPECT_EQ(a.mySurface, b.mySurface); // surfaces are shared by name
    EXPECT_EQ(a.myVertexShader, b.myVertexShader);
    const QR_VertexShaderSetupData& s = a.mySetupData;
    const QR_VertexShaderSetupData& t = b.mySetupData;
    EXPECT_EQ(s.mySkinning, t.mySkinning);
    EXPECT_EQ(s.myLighting, t.myLighting);
    EXPECT_EQ(s.myWord7, t.myWord7);
    EXPECT_EQ(s.mySpecular, t.mySpecular);
    EXPECT_EQ(s.myWord9, t.myWord9);
    EXPECT_EQ(s.myFogFlag, t.myFogFlag);
    // Stages are stored up to the surface's slot count.
    uint32_t locStages = a.mySurface ? std::min(s.myNumUVs, a.mySurface->myNumTextureNames) : 0;
    ASSERT_EQ(locStages, t.myNumUVs);
    for (uint32_t i = 0; i < locStages; i++)
    {
        EXPECT_EQ(s.myUVs[i], t.myUVs[i]);
        const QR_SplinePath* p = a.myDataBlock.myTextureMatrixSpline[i];
        const QR_SplinePath* q = b.myDataBlock.myTextureMatrixSpline[i];
        ASSERT_EQ(p == nullptr, q == nullptr);
        if (p)
            ExpectSamePath(*p, *q, "texture matrix " + std::to_string(i));
    }
    if (s.mySpecular == 1 || s.mySpecular == 2)
    {
        EXPECT_EQ(a.myDataBlock.mySpecularPower, b.myDataBlock.mySpecularPower);
    }
    if (s.mySpecular == 2)
    {
        EXPECT_EQ(a.myDataBlock.myColor, b.myDataBlock.myColor);
    }
    EXPECT_EQ(a.myRadius, b.myRadius);
    EXPECT_EQ(a.myVertexFormat, b.myVertexFormat);
    EXPECT_EQ(a.myVertexSize, b.myVertexSize);
    ASSERT_EQ(a.myNumVertices, b.myNumVertices);
    EXPECT_EQ(memcmp(a.myVertexData, b.myVertexData, (size_t)a.myNumVertices * a.myVertexSize), 0);
    EXPECT_EQ(a.myMeshIndexType, b.myMeshIndexType);
    ASSERT_EQ(a.myNumIndices, b.myNumIndices);
    EXPECT_EQ(memcmp(a.myIndexData, b.myIndexData, (size_t)a.myNumIndices * 2), 0);
    ASSERT_EQ(a.myNumLods, b.myNumLods);
    for (uint32_t k = 0; k < a.myNumLods; k++)
    {
        SCOPED_TRACE("level " + std::to_string(k));
        const QR_MeshLod& l = a.myLods[k];
        const QR_MeshLod& m = b.myLods[k];
        EXPECT_EQ(l.myLodDistance, m.myLodDistance);
        EXPECT_EQ(l.myIsAnimated, m.myIsAnimated);
        EXPECT_EQ(l.myNumVertices, m.myNumVertices);
        EXPECT_EQ(l.myStartIndex, m.myStartIndex);
        EXPECT_EQ(l.myNumIndices, m.myNumIndices);
        EXPECT_EQ(l.myFirstVertex, m.myFirstVertex);
        if (l.myIsAnimated != 1)
            continue;
        EXPECT_FLOAT_EQ(l.myFramesPerSecond, m.myFramesPerSecond);
        ASSERT_EQ(l.myNumFrames, m.myNumFrames);
        EXPECT_EQ(memcmp(l.myFrames, m.myFrames, l.myNumFrames * sizeof(QR_MeshFrame)), 0);
    }
}

inline void ExpectSameTemplate(const QR_TemplateObject& a, const QR_TemplateObject& b)
{
    EXPECT_EQ(a.myBoundRadius, b.myBoundRadius);
    EXPECT_EQ(memcmp(a.myBoundCentre, b.myBoundCentre, 12), 0);
    ASSERT_EQ(a.myNumParts, b.myNumParts);
    for (uint32_t i = 0; i < a.myNumParts; i++)
    {
        const QR_TemplatePart& p = a.myParts[i];
        const QR_TemplatePart& q = b.myParts[i];
        SCOPED_TRACE(std::string("part ") + p.myName);
        EXPECT_STREQ(p.myName, q.myName);
        EXPECT_EQ(p.myMaxDistanceSquared, q.myMaxDistanceSquared);
        EXPECT_EQ(memcmp(p.myMatrix.myMatrix, q.myMatrix.myMatrix, 64), 0);
        EXPECT_EQ(p.mySkinGroup, q.mySkinGroup);
        ASSERT_EQ(p.myNumStates, q.myNumStates);
        for (uint32_t k = 0; k < p.myNumStates; k++)
        {
            const QR_TemplateState& s = p.myStates[k];
            const QR_TemplateState& t = q.myStates[k];
            EXPECT_EQ(s.myId, t.myId);
            EXPECT_EQ(s.myParent, t.myParent);
            EXPECT_EQ(s.myIsVisible, t.myIsVisible);
            EXPECT_EQ(s.myIsRemembered, t.myIsRemembered);
            EXPECT_EQ(s.myBlendTime, t.myBlendTime);
            EXPECT_EQ(s.myDuration, t.myDuration);
            EXPECT_EQ(s.myNextState, t.myNextState);
            EXPECT_EQ(s.myRestarts, t.myRestarts);
            ExpectSamePath(s.myPath, t.myPath, "state " + std::to_string(k));
        }
        ASSERT_EQ(p.myMesh == nullptr, q.myMesh == nullptr);
        if (p.myMesh)
        {
            EXPECT_STREQ(q.myMesh->myName, MET_OriginalMeshName(p.myMesh->myName).c_str());
            ExpectSameMesh(*p.myMesh, *q.myMesh, p.myMesh->myName);
        }
        ASSERT_EQ(p.myNumTextureNames, q.myNumTextureNames);
        EXPECT_EQ(p.myTextureWord, q.myTextureWord);
        for (uint32_t j = 0; j < p.myNumTextureNames; j++)
        {
            const QR_TextureNames& s = p.myTextureNames[j];
            const QR_TextureNames& t = q.myTextureNames[j];
            EXPECT_EQ(s.myType, t.myType);
            EXPECT_EQ(s.myFramesPerSecond, t.myFramesPerSecond);
            ASSERT_EQ(s.myNumNames, t.myNumNames);
            for (uint32_t n = 0; n < s.myNumNames; n++)
                EXPECT_STREQ(s.myNames[n].myData, t.myNames[n].myData);
        }
    }
    ASSERT_EQ(a.myNumLinks, b.myNumLinks);
    for (uint32_t i = 0; i < a.myNumLinks; i++)
    {
        EXPECT_EQ(a.myLinks[i].myPartIndex, b.myLinks[i].myPartIndex);
        EXPECT_EQ(a.myLinks[i].myStateId, b.myLinks[i].myStateId);
        EXPECT_EQ(a.myLinks[i].myDefinition, b.myLinks[i].myDefinition); // shared by name
    }
    ASSERT_EQ(a.myNumExpressions, b.myNumExpressions);
    for (uint32_t i = 0; i < a.myNumExpressions; i++)
        EXPECT_STREQ(a.myExpressions[i], b.myExpressions[i]);
    ASSERT_EQ(a.myNumLights, b.myNumLights);
    for (uint32_t i = 0; i < a.myNumLights; i++)
    {
        SCOPED_TRACE("light " + std::to_string(i));
        const QR_Light& l = a.myLights[i];
        const QR_Light& m = b.myLights[i];
        EXPECT_EQ(l.myPartIndex, m.myPartIndex);
        EXPECT_EQ(l.myType, m.myType);
        EXPECT_EQ(memcmp(l.myColor, m.myColor, 12), 0);
        EXPECT_EQ(l.myStateId, m.myStateId);
        const QR_SplinePath* p[3] = {l.myMotionPath, l.myColorPath, l.myRangePath};
        const QR_SplinePath* q[3] = {m.myMotionPath, m.myColorPath, m.myRangePath};
        for (int k = 0; k < 3; k++)
        {
            ASSERT_EQ(p[k] == nullptr, q[k] == nullptr);
            if (p[k])
                ExpectSamePath(*p[k], *q[k], "light path " + std::to_string(k));
        }
        if (l.myType == QR_LIGHT_DIRECTIONAL || l.myType == QR_LIGHT_SPOT)
        {
            EXPECT_EQ(memcmp(l.myDirection, m.myDirection, 12), 0);
        }
        if (l.myType == QR_LIGHT_POINT || l.myType == QR_LIGHT_SPOT)
        {
            EXPECT_EQ(memcmp(l.myPosition, m.myPosition, 12), 0);
            EXPECT_EQ(l.myRange, m.myRange);
            ASSERT_EQ(l.myHalo == nullptr, m.myHalo == nullptr);
            if (l.myHalo)
            {
                EXPECT_EQ(l.myHalo->mySurface, m.myHalo->mySurface);
                EXPECT_EQ(l.myHalo->myTextures[0].myFrames[0], m.myHalo->myTextures[0].myFrames[0]);
            }
        }
        if (l.myType == QR_LIGHT_SPOT)
        {
            EXPECT_EQ(l.myConeValues[0], m.myConeValues[0]);
            EXPECT_EQ(l.myConeValues[1], m.myConeValues[1]);
            EXPECT_EQ(l.myFallOff, m.myFallOff);
        }
    }
}
