// Renderer meshes from converted LightWave layers: every level of detail of
// one batch laid out in one vertex array and one 16-bit index list, in the
// vertex format its UV sets and colours ask for.
#include <math.h>
#include <string.h>

#include <new>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_build.h"
#include "modeleditor/lw_mesh.h"
#include "modeleditor/lw_scene.h"
#include "qrender/qr_error.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_vertex.h"

namespace
{
constexpr float NEVER_SWITCHED = 1.0e15f;

struct Level
{
    const LWMeshBatch* myBatch;
    float myDistance; // squared
};

// The levels of batch aBatch: slot 0 and the following filled slots, ending at
// the last layer that has the batch.
std::vector<Level> locLevels(const LWSItem& anItem, uint32_t aBatch, const LWBuildSettings& aSettings)
{
    int n = 0;
    while (n < LWSItem::NUM_LEVELS && anItem.myLevels[n])
        n++;
    bool locMarker = anItem.myFailedLevel == n;
    int m = 0;
    while (m < n && anItem.myLevels[m]->myBatches.size() > aBatch)
        m++;
    std::vector<Level> locResult;
    for (int i = 0; i < m; i++)
    {
        // Levels past the fourth take the fourth distance.
        float d = aSettings.myLodDistances[i < 4 ? i : 3];
        float locDistance = d * d;
        if (i == m - 1 && !(m == n && locMarker))
            locDistance = NEVER_SWITCHED;
        // Levels go in increasing distance, whatever the settings say.
        if (!locResult.empty() && !(locDistance >= locResult.back().myDistance))
            locDistance = locResult.back().myDistance;
        locResult.push_back({&anItem.myLevels[i]->myBatches[aBatch], locDistance});
    }
    return locResult;
}

bool locFail(uint32_t aCode, const char* aMeshName)
{
    SetErrorDetail("Mesh: '%s'", aMeshName ? aMeshName : "");
    EditorError::Set(aCode);
    return false;
}

uint32_t locStaticFormat(const LWMeshBatch& aBatch)
{
    uint32_t f = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_NORMAL;
    if (aBatch.myHasVertexColours)
        f |= QR_VERTEXFLAG_DIFFUSE;
    if (aBatch.myNumUVSets == 1)
        f |= QR_VERTEXFLAG_UV1;
    else if (aBatch.myNumUVSets != 0)
        f |= QR_VERTEXFLAG_UV2;
    return f;
}

uint32_t locSkinnedFormat(const LWMeshBatch& aBatch)
{
    uint32_t f = QR_VERTEXFLAG_XYZ | QR_VERTEXFLAG_WEIGHT3 | QR_VERTEXFLAG_BONEINDICES | QR_VERTEXFLAG_NORMAL;
    if (aBatch.myNumUVSets >= 2)
        return f | QR_VERTEXFLAG_UV2;
    // A skinned layer without UVs keeps its weights: 0x80f.
    return aBatch.myNumUVSets == 1 ? f | QR_VERTEXFLAG_UV1 : f;
}

// The part offset of the first bone whose weight map has aMap's name; 0 when none.
uint8_t locBoneByte(const LWSItem& anItem, const LWVertexMap* aMap)
{
    for (const std::unique_ptr<LWSBone>& b : anItem.myBones)
        if (b->myWeightMap && strcmp(b->myWeightMap->myName, aMap->myName) == 0)
            return b->myPartOffset;
    return 0;
}

void locWriteVertex(uint8_t* v, const LWMeshVertex& s, uint32_t aFormat, bool aSkinned, const LWSItem& anItem)
{
    uint32_t locUVs = QR_GetVertexUVCount(aFormat);
    if (aSkinned)
    {
        memcpy(v, s.myPosition, 12);
        float w[3] = {1.0f, 0.0f, 0.0f};
        uint8_t b[4] = {0, 0, 0, 0};
        if (s.myWeights[0].myMap)
        {
            for (int k = 0; k < 3; k++)
                w[k] = s.myWeights[k].myMap ? s.myWeights[k].myWeight : 0.0f;
            for (int k = 0; k < 4; k++)
                if (s.myWeights[k].myMap)
                    b[k] = locBoneByte(anItem, s.myWeights[k].myMap);
        }
        memcpy(v + 12, w, 12);
        memcpy(v + 24, b, 4);
        memcpy(v + 28, s.myNormal, 12);
        if (locUVs >= 1)
            memcpy(v + 40, s.myUV0, 8);
        if (locUVs >= 2)
            memcpy(v + 48, s.myUV1, 8);
        return;
    }
    const float p[3] = {s.myPosition[0] - anItem.myPivot.x, s.myPosition[1] - anItem.myPivot.y,
                        s.myPosition[2] - anItem.myPivot.z};
    memcpy(v, p, 12);
    memcpy(v + 12, s.myNormal, 12);
    uint32_t o = 24;
    if (aFormat & QR_VERTEXFLAG_DIFFUSE)
    {
        memcpy(v + o, &s.myColour, 4);
        o += 4;
    }
    if (locUVs >= 1)
        memcpy(v + o, s.myUV0, 8);
    if (locUVs >= 2)
        memcpy(v + o + 8, s.myUV1, 8);
}
} // namespace

void GetSurfaceRenderFlags(const QR_Surface* aSurface, bool* aLightingOut, bool* aColourModeOut)
{
    QR_SurfaceShading s = {};
    bool locKnown = aSurface && QR_Surface::GetShading(aSurface, &s);
    *aLightingOut = locKnown && s.myLightingFlag;
    *aColourModeOut = locKnown && s.mySpecularFlag;
}

bool FillLWMesh(QR_Mesh* aMesh, LWSItem* anItem, uint32_t aBatch, bool aSkinned, const LWBuildSettings& aSettings)
{
    LWLayerMesh* locLayer = anItem->myLevels[0];
    if (!locLayer || aBatch >= locLayer->myBatches.size())
        return true; // a layer without batches: nothing to fill
    if (aSkinned && locLayer->myBatches.size() > 1)
    {
        SetErrorDetail("Mesh: '%s'", aMesh->myName ? aMesh->myName : "");
        EditorError::Set(EDITOR_ERROR_SKINNED_SURFACES);
        return false;
    }
    const LWMeshBatch& locFirst = locLayer->myBatches[aBatch];
    std::vector<Level> locLevels = ::locLevels(*anItem, aBatch, aSettings);

    // Surface: textures go to the part's slots, the mesh takes the default surface by name.
    if (!locFirst.myTextureBaseNames[0].IsEmpty())
    {
        aMesh->mySurface = QR_Surface::Acquire(aSettings.myDefaultSurface);
        if (!aMesh->mySurface)
        {
            SetErrorDetail("Surface: '%s'", aSettings.myDefaultSurface.GetBuffer());
            EditorError::Set(EDITOR_ERROR_LOAD_SURFACE);
            return false;
        }
    }
    aMesh->myVertexShader = QR_VertexShader::Find("NORMAL_MESH");

    const uint32_t locFormat = aSkinned ? locSkinnedFormat(locFirst) : locStaticFormat(locFirst);
    const uint32_t locSize = QR_GetVertexSize(locFormat);
    uint64_t locNumVertices = 0, locNumIndices = 0;
    for (const Level& l : locLevels)
    {
        locNumVertices += l.myBatch->myVertices.size();
        locNumIndices += l.myBatch->GetNumTriangles() * 3;
    }
    if (locNumIndices > 0xFFFFFFFFu || locNumVertices * locSize > 0x7FFFFFFFu)
        return locFail(EDITOR_ERROR_TOO_MANY_VERTICES, aMesh->myName);

    aMesh->myMeshIndexType = 0;
    aMesh->myVertexFormat = aMesh->myVertexBufferVertexFormat = locFormat;
    aMesh->myVertexSize = locSize;
    aMesh->myVertexData = new (std::nothrow) uint8_t[locNumVertices * locSize + 1]();
    aMesh->myIndexData = new (std::nothrow) uint16_t[locNumIndices + 1];
    aMesh->myLods = new (std::nothrow) QR_MeshLod[locLevels.size()]();
    if (!aMesh->myVertexData || !aMesh->myIndexData || !aMesh->myLods)
        return locFail(EDITOR_ERROR_LOAD_MODEL, aMesh->myName);
    aMesh->myNumVertices = (uint32_t)locNumVertices;
    aMesh->myNumIndices = (uint32_t)locNumIndices;
    aMesh->myNumLods = (uint32_t)locLevels.size();

    uint32_t locFirstVertex = 0, locFirstIndex = 0;
    for (size_t i = 0; i < locLevels.size(); i++)
    {
        const LWMeshBatch& b = *locLevels[i].myBatch;
        QR_MeshLod& r = aMesh->myLods[i];
        r.myLodDistance = locLevels[i].myDistance;
        r.myIsAnimated = 0;
        r.myNumVertices = (uint32_t)b.myVertices.size();
        r.myFirstVertex = locFirstVertex;
        r.myNumIndices = b.GetNumTriangles() * 3;
        r.myStartIndex = locFirstIndex;
        for (uint32_t k = 0; k < r.myNumIndices; k++)
        {
            uint32_t locIndex = (b.myTriangles[k] & 0xFFFF) + locFirstVertex;
            // 16-bit indices: a level starting late cannot address all of its vertices.
            if (locIndex > 0xFFFF || (b.myTriangles[k] & 0xFFFF) >= r.myNumVertices)
                return locFail(EDITOR_ERROR_TOO_MANY_VERTICES, aMesh->myName);
            aMesh->myIndexData[locFirstIndex + k] = (uint16_t)locIndex;
        }
        for (uint32_t k = 0; k < r.myNumVertices; k++)
            locWriteVertex(aMesh->myVertexData + (size_t)(locFirstVertex + k) * locSize, b.myVertices[k], locFormat,
                           aSkinned, *anItem);
        if (i == 0 && QR_Render::ourInstance &&
            !QR_Render::ourInstance->OptimizeVertexOrder(aMesh->myVertexData, r.myNumVertices, locSize,
                                                         aMesh->myIndexData, r.myNumIndices))
            return locFail(EDITOR_ERROR_LOAD_MODEL, aMesh->myName);
        locFirstVertex += r.myNumVertices;
        locFirstIndex += r.myNumIndices;
    }

    // Render settings and texture stages.
    QR_VertexShaderSetupData& s = aMesh->mySetupData;
    s.mySkinning = aSkinned ? 1 : 0;
    s.myWord7 = 0;
    s.myWord9 = 0;
    if (aMesh->mySurface)
    {
        bool locLighting, locColourMode;
        GetSurfaceRenderFlags(aMesh->mySurface, &locLighting, &locColourMode);
        s.myLighting = locLighting ? 1 : 0;
        s.mySpecular = locColourMode ? 1 : 0;
        s.myNumUVs = 2;
        for (uint32_t i = 0; i < 2; i++)
        {
            s.myUVs[i] = (i == 1 && (locFormat & QR_VERTEXFLAG_UV2)) ? 1 : 0;
            // Only the first mesh of the item takes the reference item's path.
            LWSItem* locReference = anItem->myReferences[i];
            if (locReference && locReference->myMotion)
            {
                aMesh->myDataBlock.myTextureMatrixSpline[i] = locReference->myMotion.release();
                s.myUVs[i] |= UV_TEXTUREMATRIX;
            }
        }
        if (locColourMode)
        {
            aMesh->myDataBlock.myColor = 0xFF00;
            aMesh->myDataBlock.mySpecularPower = 40.0f;
        }
    }
    else
    {
        s.myLighting = 1;
        s.mySpecular = 0;
    }

    QR_Error::ourText[0] = 0;
    if (!aMesh->CompileVertexShader())
    {
        SetErrorDetail("Mesh: '%s': %s", aMesh->myName ? aMesh->myName : "", QR_Error::ourText);
        EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
        return false;
    }
    return true;
}

bool BuildSkinnedMesh(QR_Mesh* aMesh, LWSItem* anItem, const LWBuildSettings& aSettings)
{
    return FillLWMesh(aMesh, anItem, 0, true, aSettings);
}
