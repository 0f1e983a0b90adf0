// Vertex-cache optimisation of triangle lists: a greedy face order that favours triangles
// whose vertices are in a simulated LRU cache and vertices with few remaining triangles,
// then a vertex order by first use.
#include <algorithm>
#include <math.h>
#include <new>
#include <stdint.h>
#include <string.h>
#include <vector>

#include "qrender/qr_renderd3d_local.h"

namespace
{
const int locCacheSize = 32;

float locCacheScore(int aCachePosition)
{
    if (aCachePosition < 0)
        return 0.0f;
    if (aCachePosition < 3)
        return 0.75f; // the last triangle's vertices: a fixed score, so no strip bias
    return powf(1.0f - (float)(aCachePosition - 3) / (float)(locCacheSize - 3), 1.5f);
}

// Vertices with few triangles left are finished first, so they leave the cache early.
float locValenceScore(uint32_t aRemainingFaces)
{
    return 2.0f * powf((float)aRemainingFaces, -0.5f);
}

// The same values from tables made once, for the counts that are common.
struct ScoreTables
{
    static constexpr uint32_t VALENCES = 64;
    float myCache[locCacheSize + 3];
    float myValence[VALENCES];

    ScoreTables()
    {
        for (int c = 0; c < locCacheSize + 3; c++)
            myCache[c] = locCacheScore(c);
        for (uint32_t n = 1; n < VALENCES; n++)
            myValence[n] = locValenceScore(n);
    }
};

const ScoreTables ourTables;

inline float locVertexScore(int aCachePosition, uint32_t aRemainingFaces)
{
    if (aRemainingFaces == 0)
        return -1.0f;
    float locScore = aCachePosition >= 0 ? ourTables.myCache[aCachePosition] : 0.0f;
    return locScore + (aRemainingFaces < ScoreTables::VALENCES ? ourTables.myValence[aRemainingFaces]
                                                               : locValenceScore(aRemainingFaces));
}
} // namespace

bool QR_HasDuplicateTriangle(const uint16_t* anIndices, uint32_t aNumFaces)
{
    std::vector<uint64_t> locKeys;
    try
    {
        locKeys.resize(aNumFaces);
    }
    catch (...)
    {
        return false;
    }
    for (uint32_t f = 0; f < aNumFaces; f++)
    {
        uint16_t v[3] = {anIndices[3 * f], anIndices[3 * f + 1], anIndices[3 * f + 2]};
        std::sort(v, v + 3);
        locKeys[f] = ((uint64_t)v[0] << 32) | ((uint64_t)v[1] << 16) | v[2];
    }
    std::sort(locKeys.begin(), locKeys.end());
    for (uint32_t f = 1; f < aNumFaces; f++)
        if (locKeys[f] == locKeys[f - 1])
            return true;
    return false;
}

bool QR_OptimizeFaces(const uint16_t* anIndices, uint32_t aNumFaces, uint32_t aNumVertices, uint32_t* aFaceRemapOut)
{
    for (uint32_t i = 0; i < 3 * aNumFaces; i++)
        if (anIndices[i] >= aNumVertices)
            return false;
    if (aNumFaces == 0)
        return true;

    std::vector<uint32_t> locRemaining, locFaceStart, locFaceList;
    std::vector<int> locCachePos;
    std::vector<float> locVertexScores, locFaceScores;
    std::vector<uint8_t> locFaceDone;
    try
    {
        locRemaining.assign(aNumVertices, 0);
        locFaceStart.assign(aNumVertices + 1, 0);
        locFaceList.resize(3 * (size_t)aNumFaces);
        locCachePos.assign(aNumVertices, -1);
        locVertexScores.resize(aNumVertices);
        locFaceScores.resize(aNumFaces);
        locFaceDone.assign(aNumFaces, 0);
    }
    catch (...)
    {
        return false;
    }

    // Faces of every vertex, as one array cut by vertex.
    for (uint32_t i = 0; i < 3 * aNumFaces; i++)
        locRemaining[anIndices[i]]++;
    for (uint32_t v = 0; v < aNumVertices; v++)
        locFaceStart[v + 1] = locFaceStart[v] + locRemaining[v];
    std::vector<uint32_t> locFill(locFaceStart.begin(), locFaceStart.end() - 1);
    for (uint32_t f = 0; f < aNumFaces; f++)
        for (int k = 0; k < 3; k++)
            locFaceList[locFill[anIndices[3 * f + k]]++] = f;

    for (uint32_t v = 0; v < aNumVertices; v++)
        locVertexScores[v] = locVertexScore(-1, locRemaining[v]);
    for (uint32_t f = 0; f < aNumFaces; f++)
        locFaceScores[f] = locVertexScores[anIndices[3 * f]] + locVertexScores[anIndices[3 * f + 1]] +
                           locVertexScores[anIndices[3 * f + 2]];

    int locCache[locCacheSize + 3];
    int locCacheCount = 0;
    uint32_t locNextScan = 0;
    // The best face among those touching cached vertices (the first of the
    // highest score in cache then face order), found while they are rescored.
    int64_t locBest = -1;
    for (uint32_t locOut = 0; locOut < aNumFaces; locOut++)
    {
        // Else the first face left.
        if (locBest < 0)
        {
            while (locFaceDone[locNextScan])
                locNextScan++;
            locBest = locNextScan;
        }
        uint32_t locFace = (uint32_t)locBest;
        locFaceDone[locFace] = 1;
        aFaceRemapOut[locOut] = locFace;

        // The face's vertices go to the front of the cache.
        int locNewCache[locCacheSize + 3];
        int locNewCount = 0;
        for (int k = 0; k < 3; k++)
        {
            uint32_t v = anIndices[3 * locFace + k];
            locNewCache[locNewCount++] = (int)v;
            locRemaining[v]--;
        }
        for (int c = 0; c < locCacheCount; c++)
        {
            int v = locCache[c];
            if (v != locNewCache[0] && v != locNewCache[1] && v != locNewCache[2])
                locNewCache[locNewCount++] = v;
        }
        for (int c = 0; c < locNewCount; c++)
            locCachePos[locNewCache[c]] = c < locCacheSize ? c : -1;
        // Rescore the vertices whose position or count changed, and their faces.
        for (int c = 0; c < locNewCount; c++)
        {
            uint32_t v = (uint32_t)locNewCache[c];
            locVertexScores[v] = locVertexScore(locCachePos[v], locRemaining[v]);
        }
        locBest = -1;
        float locBestScore = -1e30f;
        for (int c = 0; c < locNewCount; c++)
        {
            uint32_t v = (uint32_t)locNewCache[c];
            for (uint32_t k = locFaceStart[v]; k < locFaceStart[v + 1]; k++)
            {
                uint32_t f = locFaceList[k];
                if (locFaceDone[f])
                    continue;
                locFaceScores[f] = locVertexScores[anIndices[3 * f]] + locVertexScores[anIndices[3 * f + 1]] +
                                   locVertexScores[anIndices[3 * f + 2]];
                if (c < locCacheSize && locFaceScores[f] > locBestScore)
                {
                    locBestScore = locFaceScores[f];
                    locBest = f;
                }
            }
        }
        locCacheCount = locNewCount < locCacheSize ? locNewCount : locCacheSize;
        memcpy(locCache, locNewCache, sizeof(int) * (size_t)locCacheCount);
    }
    return true;
}

bool QR_OptimizeVertices(const uint16_t* anIndices, uint32_t aNumFaces, uint32_t aNumVertices,
                         uint32_t* aVertexRemapOut)
{
    std::vector<uint8_t> locUsed;
    try
    {
        locUsed.assign(aNumVertices, 0);
    }
    catch (...)
    {
        return false;
    }
    uint32_t locOut = 0;
    for (uint32_t i = 0; i < 3 * aNumFaces; i++)
    {
        uint32_t v = anIndices[i];
        if (v >= aNumVertices)
            return false;
        if (!locUsed[v])
        {
            locUsed[v] = 1;
            aVertexRemapOut[locOut++] = v;
        }
    }
    for (uint32_t v = 0; v < aNumVertices; v++)
        if (!locUsed[v])
            aVertexRemapOut[locOut++] = v;
    return true;
}
