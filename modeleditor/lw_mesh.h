// LightWave layers converted into batches of welded triangles, one per
// texture combination, and the process-wide caches of loaded objects and
// converted layers through which the editor reaches them.
#pragma once

#include <stdint.h>

#include <memory>
#include <vector>

#include "modeleditor/lw_object.h"
#include "qcommon/qc_string.h"

struct LWMeshWeight
{
    const LWVertexMap* myMap; // the WGHT map that gave the weight; null when unused
    float myWeight;
};

struct LWMeshVertex
{
    float myPosition[3];
    float myNormal[3]; // unit length, or all zero
    float myUV0[2];    // v flipped: 1 - v of the file
    float myUV1[2];
    uint32_t myColour; // 0xAARRGGBB; 0 when the batch has no vertex colours
    LWMeshWeight myWeights[4]; // by falling weight; normalised when their sum is neither 0 nor 1
};

struct LWMeshBatch
{
    std::vector<LWMeshVertex> myVertices;
    std::vector<uint32_t> myTriangles; // three vertex indices per triangle, each below 65536
    // [0] the colour image, [1] the transparency image: upper-cased file
    // names of still clips, empty when absent.
    QC_String myTextureNames[2];
    QC_String myTextureBaseNames[2]; // '/' separators, extension cut
    QC_String myBumpName, myReflectionName;
    float myGlossiness = 0.4f;
    int myNumUVSets = 0; // 0 to 2
    bool myHasVertexColours = false;

    uint32_t GetNumTriangles() const { return (uint32_t)(myTriangles.size() / 3); }
};

struct LWLayerMesh
{
    LWObject* myObject = nullptr; // owned by the object cache
    int myLayerNumber = 0;
    std::vector<LWMeshBatch> myBatches;
    LWVec3 myPivot = {0, 0, 0};
    QC_String myName; // "%s:%d": the file name as passed, the layer number
    float myRadius = 0; // of the farthest point from the origin
};

// Fills aMesh's batches from the first layer numbered aLayerNumber. False
// with EditorError set: 3 no such layer, 7 a polygon of more than 24 points,
// 8 a texture clip missing or not a still, 9 a colour image not UV mapped,
// 10 a texture without UVs, 11 a transparency image without a colour image,
// 39 a batch of more than 65535 vertices.
bool ConvertLWLayer(int aLayerNumber, LWObject* anObject, LWLayerMesh* aMesh);

// Loads aFileName once (found again without regard to case) and converts
// the layer at index aLayer of its layers list (0 the default layer, 1 the
// file's first) or, with aByNumber, the layer numbered aLayer. Each layer of
// an object is converted once while the caches hold it; later calls share
// that mesh. False with EditorError set.
bool FindOrLoadLWObject(const char* aFileName, int aLayer, bool aByNumber);

// The texture base name of a still's file name: "C:IMAGES/WOOD.TGA" gives "C:/IMAGES/WOOD".
QC_String LWTextureBaseName(const char* aName);

// The caches; single-threaded. Model builders clear them before each model.
class LWCache
{
public:
    static std::vector<std::unique_ptr<LWObject>> ourObjects;    // in load order
    static std::vector<std::unique_ptr<LWLayerMesh>> ourMeshes;  // in conversion order, one per object layer
    static LWLayerMesh* ourLastMesh;                             // owned by ourMeshes
    // Files that did not load, with the code and detail they gave.
    struct Failure
    {
        QC_String myName, myDetail;
        uint32_t myCode;
    };
    static std::vector<Failure> ourFailures;

    static LWObject* FindObject(const char* aFileName);
    static LWLayerMesh* FindMesh(const LWObject* anObject, int aLayerNumber);
    // The mesh made or found by the latest successful FindOrLoadLWObject, or null.
    static LWLayerMesh* GetLastMesh() { return ourLastMesh; }
    static void Clear();
};
