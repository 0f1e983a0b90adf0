// Conversion of a LightWave layer into welded triangle batches, and the
// object and mesh caches.
//
// [SECTION] Layer tables: polygons, face and smooth normals, map indexes
// [SECTION] Batches: slots, vertex maps, smoothing and UV splits
// [SECTION] Merge and output
// [SECTION] Caches and FindOrLoadLWObject
//
// Each batch is worked on alone with one point-to-slot table shared by all,
// and vertex maps are indexed by point, so the work is linear in the layer
// whatever the number of surfaces. The vertex order is that of per-batch
// slot arrays indexed by point with splits appended: used points in point
// order, then the split copies in the order they were made.
#include "modeleditor/lw_mesh.h"

#include <math.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "modeleditor/editorerror.h"

namespace
{
constexpr int MAX_POLYGON_VERTICES = 24;
constexpr uint32_t MAX_BATCH_VERTICES = 65535; // 16-bit indices; 0xFFFF stays free
constexpr uint32_t NO_SLOT = 0xFFFFFFFF;

// [SECTION] Layer tables: polygons, face and smooth normals, map indexes

struct Vec3
{
    float x, y, z;
};

Vec3 locSub(const LWVec3& a, const LWVec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 locCross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float locDot(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

struct LayerTables
{
    const LWLayer* myLayer = nullptr;
    uint32_t myNumPoints = 0;
    uint32_t myNumPolygons = 0;
    std::vector<const uint32_t*> myPolygonPoints; // per layer polygon: its point indices as read
    std::vector<uint16_t> myPolygonSizes;
    std::vector<float> myFaceNormals;   // 3 per polygon
    std::vector<float> mySmoothNormals; // 3 per point
    // The entries of every vertex map by point, in map then entry order.
    std::vector<uint32_t> myPointEntryStart; // myNumPoints + 1
    std::vector<uint32_t> myPointEntries;    // pairs: map index, entry index
    // The entries of every TXUV corner map by polygon, in map then entry order.
    std::vector<uint32_t> myPolygonEntryStart;
    std::vector<uint32_t> myPolygonEntries; // pairs
};

// Sorts the (map, entry) pairs of aMaps into buckets by the key that aKeyOf
// gives (NO_SLOT: left out), keeping map then entry order in each bucket.
// Bucket k is entries [aStart[k], aStart[k + 1]), two words per pair.
template <class Map, class KeyOf>
void locBucket(const std::vector<Map>& aMaps, uint32_t aNumKeys, KeyOf&& aKeyOf, std::vector<uint32_t>* aStart,
               std::vector<uint32_t>* anEntries)
{
    aStart->assign(aNumKeys + 1, 0);
    for (const Map& locMap : aMaps)
        for (uint32_t e = 0; e < locMap.myPoints.size(); e++)
        {
            uint32_t locKey = aKeyOf(locMap, e);
            if (locKey != NO_SLOT)
                (*aStart)[locKey + 1]++;
        }
    for (uint32_t k = 0; k < aNumKeys; k++)
        (*aStart)[k + 1] += (*aStart)[k];
    anEntries->resize((size_t)(*aStart)[aNumKeys] * 2);
    std::vector<uint32_t> locFill(aStart->begin(), aStart->end() - 1);
    for (uint32_t m = 0; m < aMaps.size(); m++)
        for (uint32_t e = 0; e < aMaps[m].myPoints.size(); e++)
        {
            uint32_t locKey = aKeyOf(aMaps[m], e);
            if (locKey == NO_SLOT)
                continue;
            uint32_t locAt = locFill[locKey]++;
            (*anEntries)[locAt * 2] = m;
            (*anEntries)[locAt * 2 + 1] = e;
        }
}

bool locBuildTables(const LWLayer& aLayer, const LWObject& anObject, LayerTables* aTables)
{
    LayerTables& t = *aTables;
    t.myLayer = &aLayer;
    t.myNumPoints = (uint32_t)aLayer.myPoints.size();
    for (const LWPolygonList& locList : aLayer.myPolygonLists)
        for (const LWPolygon& locPolygon : locList.myPolygons)
        {
            if (locPolygon.myNumVertices > MAX_POLYGON_VERTICES)
            {
                EditorError::Set(EDITOR_ERROR_NOT_TRIANGULATED);
                LWSetPolygonDetail(anObject.myName, aLayer, (uint32_t)t.myPolygonPoints.size(),
                                   locPolygon.myNumVertices, &anObject);
                return false;
            }
            t.myPolygonPoints.push_back(locList.GetIndices(locPolygon));
            t.myPolygonSizes.push_back(locPolygon.myNumVertices);
        }
    t.myNumPolygons = (uint32_t)t.myPolygonPoints.size();

    // Face normals n = (P2 - P1) x (P0 - P1), and their sums at the points.
    t.myFaceNormals.assign((size_t)t.myNumPolygons * 3, 0.0f);
    t.mySmoothNormals.assign((size_t)t.myNumPoints * 3, 0.0f);
    const std::vector<LWVec3>& locPoints = aLayer.myPoints;
    for (uint32_t p = 0; p < t.myNumPolygons; p++)
    {
        const uint32_t* locIndices = t.myPolygonPoints[p];
        Vec3 n = locCross(locSub(locPoints[locIndices[2]], locPoints[locIndices[1]]),
                          locSub(locPoints[locIndices[0]], locPoints[locIndices[1]]));
        float locLengthSquared = n.x * n.x + n.y * n.y + n.z * n.z;
        float* locFace = &t.myFaceNormals[p * 3];
        if (locLengthSquared > 0)
        {
            float locScale = 1.0f / sqrtf(locLengthSquared);
            locFace[0] = n.x * locScale;
            locFace[1] = n.y * locScale;
            locFace[2] = n.z * locScale;
        }
        for (uint32_t c = 0; c < t.myPolygonSizes[p]; c++)
        {
            float* locSum = &t.mySmoothNormals[(size_t)locIndices[c] * 3];
            locSum[0] += locFace[0];
            locSum[1] += locFace[1];
            locSum[2] += locFace[2];
        }
    }
    for (uint32_t i = 0; i < t.myNumPoints; i++)
    {
        float* locNormal = &t.mySmoothNormals[(size_t)i * 3];
        float locLengthSquared = locDot(locNormal, locNormal);
        if (locLengthSquared >= 0.01f)
        {
            float locScale = 1.0f / sqrtf(locLengthSquared);
            locNormal[0] *= locScale;
            locNormal[1] *= locScale;
            locNormal[2] *= locScale;
        }
        else
        {
            locNormal[0] = 0;
            locNormal[1] = 1;
            locNormal[2] = 0;
        }
    }

    // Vertex-map entries by point; entries outside the layer are dropped.
    locBucket(aLayer.myVertexMaps, t.myNumPoints,
              [&](const LWVertexMap& aMap, uint32_t anEntry) {
                  return aMap.myPoints[anEntry] < t.myNumPoints ? aMap.myPoints[anEntry] : NO_SLOT;
              },
              &t.myPointEntryStart, &t.myPointEntries);
    // TXUV corner-map entries by polygon.
    locBucket(aLayer.myPolyVertexMaps, t.myNumPolygons,
              [&](const LWPolyVertexMap& aMap, uint32_t anEntry) {
                  bool locUsable = aMap.myType == LWID("TXUV") && aMap.myDimension >= 2 &&
                                   aMap.myPoints[anEntry] < t.myNumPoints && aMap.myPolygons[anEntry] < t.myNumPolygons;
                  return locUsable ? aMap.myPolygons[anEntry] : NO_SLOT;
              },
              &t.myPolygonEntryStart, &t.myPolygonEntries);
    return true;
}

// [SECTION] Batches: slots, vertex maps, smoothing and UV splits

struct Slot
{
    float myPosition[3];
    float myNormal[3];
    float myUV[2][2];
    uint32_t myColour;
    LWMeshWeight myWeights[4];
    uint32_t myRefCount;
    uint32_t myPoint; // the point the slot was made for; NO_SLOT for split copies
};

struct WorkBatch
{
    const LWSurface* mySurface = nullptr;
    std::unique_ptr<LWSurface> myDefaultSurface; // for a tag that names no surface
    QC_String myTextureNames[2];
    QC_String myBumpName, myReflectionName;
    int myNumUVSets = 0;
    bool myHasVertexColours = false;
    std::vector<uint32_t> myPolygons;    // layer polygon indices, in the order they were tagged
    std::vector<uint32_t> myCornerStart; // per batch polygon, into myCorners
    std::vector<uint32_t> myCorners;     // slot of each corner
    std::vector<Slot> mySlots;
};

void locSurfaceDetail(const LWObject& anObject, const WorkBatch& aBatch)
{
    SetErrorDetail("File: '%s', surface: %s", anObject.myName.GetBuffer(), aBatch.mySurface->myName.GetBuffer());
}

// The upper-cased file name of the still that a clip index names; false
// when the clip is missing, has no item, or does not start with a still.
bool locStillName(const LWObject& anObject, uint32_t anImage, QC_String* aName)
{
    for (const std::unique_ptr<LWClip>& locClip : anObject.myClips)
        if (locClip->myIndex == anImage)
        {
            if (locClip->myItems.empty() || locClip->myItems[0]->myId != LWID("STIL"))
                return false;
            *aName = static_cast<const LWClipStill&>(*locClip->myItems[0]).myFileName;
            aName->MakeUpper();
            return true;
        }
    return false;
}

bool locStartBatch(const LWObject& anObject, const QC_String& aTag, WorkBatch* aBatch)
{
    for (const std::unique_ptr<LWSurface>& locSurface : anObject.mySurfaces)
        if (locSurface->myName == aTag)
        {
            aBatch->mySurface = locSurface.get();
            break;
        }
    if (!aBatch->mySurface)
    {
        aBatch->myDefaultSurface = std::make_unique<LWSurface>();
        aBatch->myDefaultSurface->myName = aTag;
        aBatch->mySurface = aBatch->myDefaultSurface.get();
    }
    const LWSurface& locSurface = *aBatch->mySurface;
    if (locSurface.myFirstColourImage >= 0)
    {
        const LWTextureBlock& locBlock = locSurface.myBlocks[locSurface.myFirstColourImage];
        if (locBlock.myProjection != 5)
        {
            EditorError::Set(EDITOR_ERROR_NOT_UV_MAPPED);
            locSurfaceDetail(anObject, *aBatch);
            return false;
        }
        if (!locStillName(anObject, locBlock.myImage, &aBatch->myTextureNames[0]))
        {
            EditorError::Set(EDITOR_ERROR_MISSING_TEXTURE);
            locSurfaceDetail(anObject, *aBatch);
            return false;
        }
    }
    return true;
}

// What a vertex map or corner map does in one batch.
enum MapUse : uint8_t
{
    MAP_UNUSED,
    MAP_COLOUR,
    MAP_WEIGHT,
    MAP_UV0,
    MAP_UV1,
};

MapUse locUVUse(const LWSurface& aSurface, const QC_String& aMapName)
{
    for (const LWTextureBlock& locBlock : aSurface.myBlocks)
        if (locBlock.myType == LWID("IMAP") && locBlock.myUVMapName == aMapName)
        {
            if (locBlock.myChannel == LWID("COLR"))
                return MAP_UV0;
            if (locBlock.myChannel == LWID("TRNL"))
                return MAP_UV1;
            return MAP_UNUSED;
        }
    return MAP_UNUSED;
}

uint32_t locColourChannel(float aValue)
{
    float locScaled = aValue * 255.0f;
    if (!(locScaled > 0.0f))
        return 0;
    if (locScaled >= 255.0f)
        return 255;
    return (uint32_t)locScaled;
}

void locInsertWeight(Slot* aSlot, const LWVertexMap* aMap, float aWeight)
{
    if (!(aWeight > 0.01f))
        return;
    for (int i = 0; i < 4; i++)
        if (aWeight > aSlot->myWeights[i].myWeight)
        {
            for (int j = 3; j > i; j--)
                aSlot->myWeights[j] = aSlot->myWeights[j - 1];
            aSlot->myWeights[i] = {aMap, aWeight};
            return;
        }
}

// Gives a corner a slot of its own: a copy when others share the slot, else
// the slot itself. Returns the slot the corner now uses.
uint32_t locSplit(WorkBatch* aBatch, uint32_t aCorner)
{
    uint32_t locSlot = aBatch->myCorners[aCorner];
    if (aBatch->mySlots[locSlot].myRefCount <= 1)
        return locSlot;
    Slot locCopy = aBatch->mySlots[locSlot];
    locCopy.myRefCount = 1;
    locCopy.myPoint = NO_SLOT;
    aBatch->mySlots[locSlot].myRefCount--;
    aBatch->mySlots.push_back(locCopy);
    aBatch->myCorners[aCorner] = (uint32_t)aBatch->mySlots.size() - 1;
    return aBatch->myCorners[aCorner];
}

// Slots, vertex maps, texture names and splits of one batch. aPointSlot
// (one entry per point, NO_SLOT throughout) is returned in that state.
bool locBuildBatch(const LWObject& anObject, const LayerTables& t, WorkBatch* aBatch, std::vector<uint32_t>& aPointSlot,
                   std::vector<uint32_t>& aPolygonPosition)
{
    const LWLayer& locLayer = *t.myLayer;
    const LWSurface& locSurface = *aBatch->mySurface;

    // Slots for the points that the batch's polygons use.
    size_t locNumCorners = 0;
    for (uint32_t locPolygon : aBatch->myPolygons)
        locNumCorners += t.myPolygonSizes[locPolygon];
    aBatch->myCornerStart.reserve(aBatch->myPolygons.size() + 1);
    aBatch->myCorners.reserve(locNumCorners);
    // Splits add at most one slot per corner; room never touched costs no page.
    aBatch->mySlots.reserve(locNumCorners);
    for (uint32_t locPolygon : aBatch->myPolygons)
    {
        aBatch->myCornerStart.push_back((uint32_t)aBatch->myCorners.size());
        const uint32_t* locPoints = t.myPolygonPoints[locPolygon];
        for (uint32_t c = 0; c < t.myPolygonSizes[locPolygon]; c++)
        {
            uint32_t locPoint = locPoints[c];
            if (aPointSlot[locPoint] == NO_SLOT)
            {
                Slot locSlot = {};
                const LWVec3& locPosition = locLayer.myPoints[locPoint];
                locSlot.myPosition[0] = locPosition.x;
                locSlot.myPosition[1] = locPosition.y;
                locSlot.myPosition[2] = locPosition.z;
                memcpy(locSlot.myNormal, &t.mySmoothNormals[(size_t)locPoint * 3], sizeof(locSlot.myNormal));
                locSlot.myPoint = locPoint;
                aPointSlot[locPoint] = (uint32_t)aBatch->mySlots.size();
                aBatch->mySlots.push_back(locSlot);
            }
            aBatch->mySlots[aPointSlot[locPoint]].myRefCount++;
            aBatch->myCorners.push_back(aPointSlot[locPoint]);
        }
    }
    aBatch->myCornerStart.push_back((uint32_t)aBatch->myCorners.size());
    const uint32_t locNumPointSlots = (uint32_t)aBatch->mySlots.size();

    // Vertex maps. A surface that names an RGB colour map takes colours only: the alpha an
    // RGBA map stores beside them (often 0) is no opacity of that surface.
    const bool locSurfaceAlpha = (locSurface.myVertexColourMapType | 0x20202020) == (LWID("RGBA") | 0x20202020);
    std::vector<MapUse> locUses(locLayer.myVertexMaps.size(), MAP_UNUSED);
    for (size_t m = 0; m < locLayer.myVertexMaps.size(); m++)
    {
        const LWVertexMap& locMap = locLayer.myVertexMaps[m];
        uint32_t locTypeNoCase = locMap.myType | 0x20202020;
        if ((locTypeNoCase == (LWID("RGB ") | 0x20202020) || locTypeNoCase == (LWID("RGBA") | 0x20202020)) &&
            locMap.myDimension >= 3 && locMap.myName == locSurface.myVertexColourMapName)
        {
            locUses[m] = MAP_COLOUR;
            aBatch->myHasVertexColours = true;
        }
        else if (locMap.myType == LWID("WGHT") && locMap.myDimension >= 1)
            locUses[m] = MAP_WEIGHT;
        else if (locMap.myType == LWID("TXUV") && locMap.myDimension >= 2)
        {
            locUses[m] = locUVUse(locSurface, locMap.myName);
            if (locUses[m] != MAP_UNUSED)
                aBatch->myNumUVSets = std::max(aBatch->myNumUVSets, locUses[m] == MAP_UV0 ? 1 : 2);
        }
    }
    for (uint32_t s = 0; s < locNumPointSlots; s++)
    {
        Slot& locSlot = aBatch->mySlots[s];
        for (uint32_t i = t.myPointEntryStart[locSlot.myPoint]; i < t.myPointEntryStart[locSlot.myPoint + 1]; i++)
        {
            uint32_t m = t.myPointEntries[i * 2];
            if (locUses[m] == MAP_UNUSED)
                continue;
            const LWVertexMap& locMap = locLayer.myVertexMaps[m];
            const float* locValues = locMap.GetValues(t.myPointEntries[i * 2 + 1]);
            switch (locUses[m])
            {
                case MAP_COLOUR:
                {
                    uint32_t locAlpha = locSurfaceAlpha && locMap.myDimension == 4 ? locColourChannel(locValues[3]) : 255;
                    locSlot.myColour = (locAlpha << 24) | (locColourChannel(locValues[0]) << 16) |
                                       (locColourChannel(locValues[1]) << 8) | locColourChannel(locValues[2]);
                    break;
                }
                case MAP_WEIGHT:
                    locInsertWeight(&locSlot, &locMap, locValues[0]);
                    break;
                case MAP_UV0:
                case MAP_UV1:
                {
                    float* locUV = locSlot.myUV[locUses[m] == MAP_UV0 ? 0 : 1];
                    locUV[0] = locValues[0];
                    locUV[1] = 1.0f - locValues[1];
                    break;
                }
                case MAP_UNUSED:
                    break;
            }
        }
    }
    for (uint32_t s = 0; s < locNumPointSlots; s++)
        aPointSlot[aBatch->mySlots[s].myPoint] = NO_SLOT;

    // Bump, reflection and transparency images; a later block of a channel
    // replaces an earlier one.
    for (const LWTextureBlock& locBlock : locSurface.myBlocks)
    {
        if (locBlock.myType != LWID("IMAP"))
            continue;
        if (locBlock.myChannel == LWID("BUMP"))
            aBatch->myBumpName = locBlock.myReferenceObject;
        else if (locBlock.myChannel == LWID("REFL"))
            aBatch->myReflectionName = locBlock.myReferenceObject;
        else if (locBlock.myChannel == LWID("TRNL") && locBlock.myImage != LW_NO_IMAGE &&
                 !locStillName(anObject, locBlock.myImage, &aBatch->myTextureNames[1]))
        {
            EditorError::Set(EDITOR_ERROR_MISSING_TEXTURE);
            locSurfaceDetail(anObject, *aBatch);
            return false;
        }
    }

    // Corners whose face turns further from the smooth normal than the
    // smoothing angle get the face normal.
    const double locSmoothingAngle = locSurface.mySmoothingAngle;
    for (size_t p = 0; p < aBatch->myPolygons.size(); p++)
    {
        const float* locFace = &t.myFaceNormals[(size_t)aBatch->myPolygons[p] * 3];
        for (uint32_t c = aBatch->myCornerStart[p]; c < aBatch->myCornerStart[p + 1]; c++)
        {
            float d = locDot(aBatch->mySlots[aBatch->myCorners[c]].myNormal, locFace);
            if (d >= 1.0f || (d > -1.0f && acos((double)d) <= locSmoothingAngle))
                continue;
            uint32_t locSlot = locSplit(aBatch, c);
            memcpy(aBatch->mySlots[locSlot].myNormal, locFace, sizeof(float) * 3);
        }
    }

    // Discontinuous UVs, in corner-map then entry order.
    std::vector<std::pair<uint32_t, uint32_t>> locEntries;
    for (size_t p = 0; p < aBatch->myPolygons.size(); p++)
    {
        uint32_t locPolygon = aBatch->myPolygons[p];
        if (aPolygonPosition[locPolygon] != NO_SLOT)
            continue;
        aPolygonPosition[locPolygon] = (uint32_t)p;
        for (uint32_t i = t.myPolygonEntryStart[locPolygon]; i < t.myPolygonEntryStart[locPolygon + 1]; i++)
            locEntries.push_back({t.myPolygonEntries[i * 2], t.myPolygonEntries[i * 2 + 1]});
    }
    std::sort(locEntries.begin(), locEntries.end());
    std::vector<MapUse> locCornerUses(locLayer.myPolyVertexMaps.size(), MAP_UNUSED);
    for (size_t m = 0; m < locCornerUses.size(); m++)
        locCornerUses[m] = locUVUse(locSurface, locLayer.myPolyVertexMaps[m].myName);
    for (const auto& locEntry : locEntries)
    {
        MapUse locUse = locCornerUses[locEntry.first];
        if (locUse == MAP_UNUSED)
            continue;
        const LWPolyVertexMap& locMap = locLayer.myPolyVertexMaps[locEntry.first];
        uint32_t locPoint = locMap.myPoints[locEntry.second];
        uint32_t p = aPolygonPosition[locMap.myPolygons[locEntry.second]];
        const uint32_t* locPoints = t.myPolygonPoints[aBatch->myPolygons[p]];
        const float* locValues = locMap.GetValues(locEntry.second);
        const float locUV[2] = {locValues[0], 1.0f - locValues[1]};
        const int locSet = locUse == MAP_UV0 ? 0 : 1;
        for (uint32_t c = aBatch->myCornerStart[p]; c < aBatch->myCornerStart[p + 1]; c++)
        {
            if (locPoints[c - aBatch->myCornerStart[p]] != locPoint)
                continue;
            const float* locCurrent = aBatch->mySlots[aBatch->myCorners[c]].myUV[locSet];
            if (locCurrent[0] != locUV[0] || locCurrent[1] != locUV[1])
            {
                uint32_t locSlot = locSplit(aBatch, c);
                memcpy(aBatch->mySlots[locSlot].myUV[locSet], locUV, sizeof(locUV));
            }
            break;
        }
    }
    for (uint32_t locPolygon : aBatch->myPolygons)
        aPolygonPosition[locPolygon] = NO_SLOT;

    // The slots made for points go in point order, the copies after them.
    std::vector<uint32_t> locOrder(locNumPointSlots);
    for (uint32_t s = 0; s < locNumPointSlots; s++)
        locOrder[s] = s;
    std::sort(locOrder.begin(), locOrder.end(),
              [&](uint32_t a, uint32_t b) { return aBatch->mySlots[a].myPoint < aBatch->mySlots[b].myPoint; });
    std::vector<uint32_t> locNewIndex(aBatch->mySlots.size());
    std::vector<Slot> locSorted;
    locSorted.reserve(aBatch->mySlots.size());
    for (uint32_t s = 0; s < locNumPointSlots; s++)
    {
        locNewIndex[locOrder[s]] = s;
        locSorted.push_back(aBatch->mySlots[locOrder[s]]);
    }
    for (uint32_t s = locNumPointSlots; s < aBatch->mySlots.size(); s++)
    {
        locNewIndex[s] = s;
        locSorted.push_back(aBatch->mySlots[s]);
    }
    aBatch->mySlots.swap(locSorted);
    for (uint32_t& locCorner : aBatch->myCorners)
        locCorner = locNewIndex[locCorner];
    return true;
}

// [SECTION] Merge and output

void locAppendBatch(WorkBatch* aTarget, WorkBatch* aSource)
{
    const uint32_t locSlotOffset = (uint32_t)aTarget->mySlots.size();
    const uint32_t locCornerOffset = (uint32_t)aTarget->myCorners.size();
    aTarget->mySlots.insert(aTarget->mySlots.end(), aSource->mySlots.begin(), aSource->mySlots.end());
    aTarget->myCornerStart.pop_back();
    for (uint32_t locStart : aSource->myCornerStart)
        aTarget->myCornerStart.push_back(locStart + locCornerOffset);
    for (uint32_t locCorner : aSource->myCorners)
        aTarget->myCorners.push_back(locCorner + locSlotOffset);
    aTarget->myPolygons.insert(aTarget->myPolygons.end(), aSource->myPolygons.begin(), aSource->myPolygons.end());
    aTarget->myNumUVSets = std::max(aTarget->myNumUVSets, aSource->myNumUVSets);
    aTarget->myHasVertexColours |= aSource->myHasVertexColours;
}

// The bytes that make two slots the same vertex.
struct WeldKey
{
    uint32_t myWords[11 + 4 * 3];

    explicit WeldKey(const Slot& aSlot)
    {
        memset(myWords, 0, sizeof(myWords));
        memcpy(&myWords[0], aSlot.myPosition, 12);
        memcpy(&myWords[3], aSlot.myNormal, 12);
        memcpy(&myWords[6], aSlot.myUV, 16);
        myWords[10] = aSlot.myColour;
        for (int i = 0; i < 4; i++)
        {
            uint64_t locMap = (uint64_t)(uintptr_t)aSlot.myWeights[i].myMap;
            myWords[11 + i * 3] = (uint32_t)locMap;
            myWords[12 + i * 3] = (uint32_t)(locMap >> 32);
            memcpy(&myWords[13 + i * 3], &aSlot.myWeights[i].myWeight, 4);
        }
    }
    bool operator==(const WeldKey& anOther) const { return memcmp(myWords, anOther.myWords, sizeof(myWords)) == 0; }
    uint64_t Hash() const
    {
        uint64_t locHash = 1469598103934665603ull;
        for (uint32_t locWord : myWords)
            locHash = (locHash ^ locWord) * 1099511628211ull;
        return locHash ^ (locHash >> 29);
    }
};

LWMeshVertex locOutputVertex(const Slot& aSlot)
{
    LWMeshVertex locVertex;
    memcpy(locVertex.myPosition, aSlot.myPosition, sizeof(locVertex.myPosition));
    float locLengthSquared = locDot(aSlot.myNormal, aSlot.myNormal);
    float locScale = locLengthSquared > 0 ? 1.0f / sqrtf(locLengthSquared) : 0.0f;
    for (int i = 0; i < 3; i++)
        locVertex.myNormal[i] = aSlot.myNormal[i] * locScale;
    memcpy(locVertex.myUV0, aSlot.myUV[0], sizeof(locVertex.myUV0));
    memcpy(locVertex.myUV1, aSlot.myUV[1], sizeof(locVertex.myUV1));
    locVertex.myColour = aSlot.myColour;
    float locSum = 0;
    for (int i = 0; i < 4; i++)
    {
        locVertex.myWeights[i] = aSlot.myWeights[i];
        locSum += aSlot.myWeights[i].myWeight;
    }
    if (locSum != 0.0f && locSum != 1.0f)
        for (int i = 0; i < 4; i++)
            locVertex.myWeights[i].myWeight /= locSum;
    return locVertex;
}

bool locOutputBatch(const LWObject& anObject, WorkBatch& aBatch, LWMeshBatch* anOutput)
{
    for (int i = 0; i < 2; i++)
    {
        anOutput->myTextureNames[i] = aBatch.myTextureNames[i];
        anOutput->myTextureBaseNames[i] = LWTextureBaseName(aBatch.myTextureNames[i]);
        if (anOutput->myTextureBaseNames[i].IsEmpty())
            continue;
        uint32_t locCode = EDITOR_ERROR_NONE;
        if (aBatch.myNumUVSets == 0)
            locCode = EDITOR_ERROR_TEXTURE_WITHOUT_UV;
        else if (i == 1 && anOutput->myTextureBaseNames[0].IsEmpty())
            locCode = EDITOR_ERROR_TEXTURE2_WITHOUT_TEXTURE1;
        if (locCode != EDITOR_ERROR_NONE)
        {
            EditorError::Set(locCode);
            locSurfaceDetail(anObject, aBatch);
            return false;
        }
    }
    anOutput->myBumpName = aBatch.myBumpName;
    anOutput->myReflectionName = aBatch.myReflectionName;
    anOutput->myGlossiness = aBatch.mySurface->myGlossiness;
    anOutput->myNumUVSets = aBatch.myNumUVSets;
    anOutput->myHasVertexColours = aBatch.myHasVertexColours;

    // Welding: each slot takes the index of the first earlier slot with the
    // same bytes, found through an open-addressed table of output indices.
    const size_t locNumSlots = aBatch.mySlots.size();
    size_t locTableSize = 16;
    while (locTableSize < locNumSlots * 2)
        locTableSize *= 2;
    std::vector<uint32_t> locTable(locTableSize, NO_SLOT);
    std::vector<WeldKey> locKeys;
    std::vector<uint32_t> locRemap(locNumSlots);
    locKeys.reserve(locNumSlots);
    anOutput->myVertices.reserve(locNumSlots);
    for (size_t s = 0; s < locNumSlots; s++)
    {
        WeldKey locKey(aBatch.mySlots[s]);
        size_t locAt = locKey.Hash() & (locTableSize - 1);
        while (locTable[locAt] != NO_SLOT && !(locKeys[locTable[locAt]] == locKey))
            locAt = (locAt + 1) & (locTableSize - 1);
        if (locTable[locAt] == NO_SLOT)
        {
            if (locKeys.size() >= MAX_BATCH_VERTICES)
            {
                EditorError::Set(EDITOR_ERROR_TOO_MANY_VERTICES);
                locSurfaceDetail(anObject, aBatch);
                return false;
            }
            locTable[locAt] = (uint32_t)locKeys.size();
            locKeys.push_back(locKey);
            anOutput->myVertices.push_back(locOutputVertex(aBatch.mySlots[s]));
        }
        locRemap[s] = locTable[locAt];
    }

    // Each polygon becomes a fan from its first corner.
    size_t locNumPolygons = aBatch.myCornerStart.size() - 1;
    anOutput->myTriangles.reserve((aBatch.myCorners.size() - 2 * locNumPolygons) * 3);
    for (size_t p = 0; p < locNumPolygons; p++)
    {
        const uint32_t* locCorners = &aBatch.myCorners[aBatch.myCornerStart[p]];
        uint32_t locCount = aBatch.myCornerStart[p + 1] - aBatch.myCornerStart[p];
        for (uint32_t i = 2; i < locCount; i++)
        {
            anOutput->myTriangles.push_back(locRemap[locCorners[0]]);
            anOutput->myTriangles.push_back(locRemap[locCorners[i - 1]]);
            anOutput->myTriangles.push_back(locRemap[locCorners[i]]);
        }
    }
    return true;
}
} // namespace

QC_String LWTextureBaseName(const char* aName)
{
    std::string locName = aName ? aName : "";
    if (locName.size() >= 2 && locName[1] == ':')
        locName = locName.substr(0, 2) + "/" + locName.substr(2);
    std::replace(locName.begin(), locName.end(), '\\', '/');
    for (size_t i = locName.size(); i-- > 1;)
    {
        if (locName[i] == '/')
            break;
        if (locName[i] == '.')
        {
            locName.resize(i);
            break;
        }
    }
    return QC_String(locName.c_str());
}

bool ConvertLWLayer(int aLayerNumber, LWObject* anObject, LWLayerMesh* aMesh)
{
    const LWLayer* locLayer = nullptr;
    for (const std::unique_ptr<LWLayer>& locCandidate : anObject->myLayers)
        if (locCandidate->myNumber == aLayerNumber)
        {
            locLayer = locCandidate.get();
            break;
        }
    if (!locLayer)
    {
        EditorError::Set(EDITOR_ERROR_LAYER_NOT_FOUND);
        SetErrorDetail("Looking for layer %d in %s", aLayerNumber, anObject->myName.GetBuffer());
        return false;
    }

    float locRadiusSquared = 0;
    for (const LWVec3& locPoint : locLayer->myPoints)
        locRadiusSquared = std::max(locRadiusSquared, locPoint.x * locPoint.x + locPoint.y * locPoint.y + locPoint.z * locPoint.z);
    aMesh->myRadius = sqrtf(locRadiusSquared);

    LayerTables locTables;
    if (!locBuildTables(*locLayer, *anObject, &locTables))
        return false;

    // One batch per SURF tag value, in the order the tags first appear.
    std::vector<std::unique_ptr<WorkBatch>> locBatches;
    std::vector<int> locBatchOfTag(anObject->myTags.size(), -1);
    for (const LWPolygonTagList& locList : locLayer->myPolygonTagLists)
    {
        if (locList.myType != LWID("SURF"))
            continue; // parts, bones, colours and unknown kinds carry no surface
        for (const LWPolygonTag& locEntry : locList.myEntries)
        {
            if (locEntry.myPolygon >= locTables.myNumPolygons || locEntry.myTag >= anObject->myTags.size())
                continue;
            int& locBatch = locBatchOfTag[locEntry.myTag];
            if (locBatch < 0)
            {
                auto locNew = std::make_unique<WorkBatch>();
                if (!locStartBatch(*anObject, anObject->myTags[locEntry.myTag], locNew.get()))
                    return false;
                locBatch = (int)locBatches.size();
                locBatches.push_back(std::move(locNew));
            }
            locBatches[locBatch]->myPolygons.push_back(locEntry.myPolygon);
        }
    }

    std::vector<uint32_t> locPointSlot(locTables.myNumPoints, NO_SLOT);
    std::vector<uint32_t> locPolygonPosition(locTables.myNumPolygons, NO_SLOT);
    for (std::unique_ptr<WorkBatch>& locBatch : locBatches)
        if (!locBuildBatch(*anObject, locTables, locBatch.get(), locPointSlot, locPolygonPosition))
            return false;

    // Batches with the same two texture names become one.
    for (size_t b = 0; b < locBatches.size(); b++)
    {
        if (!locBatches[b] || locBatches[b]->myPolygons.empty())
            continue;
        for (size_t o = b + 1; o < locBatches.size(); o++)
            if (locBatches[o] && !locBatches[o]->myPolygons.empty() &&
                locBatches[o]->myTextureNames[0] == locBatches[b]->myTextureNames[0] &&
                locBatches[o]->myTextureNames[1] == locBatches[b]->myTextureNames[1])
            {
                locAppendBatch(locBatches[b].get(), locBatches[o].get());
                locBatches[o].reset();
            }
    }

    aMesh->myBatches.clear();
    for (std::unique_ptr<WorkBatch>& locBatch : locBatches)
    {
        if (!locBatch || locBatch->myPolygons.empty())
            continue;
        aMesh->myBatches.emplace_back();
        if (!locOutputBatch(*anObject, *locBatch, &aMesh->myBatches.back()))
        {
            aMesh->myBatches.clear();
            return false;
        }
        locBatch.reset();
    }
    return true;
}

// [SECTION] Caches and FindOrLoadLWObject

std::vector<std::unique_ptr<LWObject>> LWCache::ourObjects;
std::vector<std::unique_ptr<LWLayerMesh>> LWCache::ourMeshes;
std::vector<LWCache::Failure> LWCache::ourFailures;
LWLayerMesh* LWCache::ourLastMesh = nullptr;

LWObject* LWCache::FindObject(const char* aFileName)
{
    for (const std::unique_ptr<LWObject>& locObject : ourObjects)
        if (locObject->myName.CompareNoCase(aFileName) == 0)
            return locObject.get();
    return nullptr;
}

LWLayerMesh* LWCache::FindMesh(const LWObject* anObject, int aLayerNumber)
{
    for (const std::unique_ptr<LWLayerMesh>& locMesh : ourMeshes)
        if (locMesh->myObject == anObject && locMesh->myLayerNumber == aLayerNumber)
            return locMesh.get();
    return nullptr;
}

void LWCache::Clear()
{
    ourLastMesh = nullptr;
    ourMeshes.clear();
    ourObjects.clear();
    ourFailures.clear();
}

bool FindOrLoadLWObject(const char* aFileName, int aLayer, bool aByNumber)
{
    LWObject* locObject = LWCache::FindObject(aFileName);
    if (!locObject)
    {
        // A file that did not load fails again the same way without another look.
        for (const LWCache::Failure& locFailure : LWCache::ourFailures)
            if (locFailure.myName.CompareNoCase(aFileName) == 0)
            {
                EditorError::Set(locFailure.myCode);
                SetErrorDetail("%s", locFailure.myDetail.GetBuffer());
                return false;
            }
        locObject = LoadLWO2(aFileName);
        if (!locObject)
        {
            LWCache::ourFailures.push_back({QC_String(aFileName), QC_String(EditorError::GetDetail()), EditorError::Get()});
            return false;
        }
        LWCache::ourObjects.emplace_back(locObject);
    }
    int locNumber = aLayer;
    if (!aByNumber)
    {
        if (aLayer < 0 || (size_t)aLayer >= locObject->myLayers.size())
        {
            EditorError::Set(EDITOR_ERROR_LAYER_NOT_FOUND);
            SetErrorDetail("Looking for layer %d in %s", aLayer, locObject->myName.GetBuffer());
            return false;
        }
        locNumber = locObject->myLayers[aLayer]->myNumber;
    }
    // A layer is converted once per import: every item that names it shares
    // the batches, which nothing changes after the conversion.
    if (LWLayerMesh* locFound = LWCache::FindMesh(locObject, locNumber))
    {
        LWCache::ourLastMesh = locFound;
        return true;
    }
    auto locMesh = std::make_unique<LWLayerMesh>();
    locMesh->myObject = locObject;
    locMesh->myLayerNumber = locNumber;
    locMesh->myName.Format("%s:%d", aFileName, locNumber);
    for (const std::unique_ptr<LWLayer>& locLayer : locObject->myLayers)
        if (locLayer->myNumber == locNumber)
        {
            locMesh->myPivot = locLayer->myPivot;
            break;
        }
    if (!ConvertLWLayer(locNumber, locObject, locMesh.get()))
        return false;
    LWCache::ourMeshes.push_back(std::move(locMesh));
    LWCache::ourLastMesh = LWCache::ourMeshes.back().get();
    return true;
}
