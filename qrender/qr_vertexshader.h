// Vertex-shader kinds: the abstract kind, its registry by name, the per-mesh set-up and
// per-draw data blocks, compiled set-ups, and the globals the views set before each draw
// (world and object matrices, bone-matrix palette).
#pragma once

#include <stdint.h>

#include "qcommon/qc_growingarray.h"
#include "qrender/matrix44.h"

class QR_Mesh;
class QR_SplinePath;
class QR_Surface;

const uint32_t QR_MAXACTIVELIGHTS = 3;
const uint32_t QR_MAXBONEMATRICES = 32;
const uint32_t QR_MAXSETUPSTREAMS = 4;
const uint32_t QR_MAXSETUPUVS = 4;

// Texture-coordinate sources (low 16 bits of a myUVs entry).
enum QR_UVSource : uint32_t
{
    UV_VERTEX_UVSET_0 = 0,
    UV_VERTEX_UVSET_1 = 1,
    UV_VERTEX_UVSET_2 = 2,
    UV_VERTEX_UVSET_3 = 3,
    UV_CAMERASPACE_POSITION = 4,
    UV_CAMERASPACE_NORMAL = 5,
    UV_CAMERASPACE_REFLECTION = 6,
    UV_MASK = 0xFFFF
};
const uint32_t UV_TEXTUREMATRIX = 1 << 16;
const uint32_t UV_THREECOMPONENTS = 1 << 17;
const uint32_t UV_PROJECTED = 1 << 18;

struct QR_VertexShaderSetupData
{
    uint32_t myNumStreams;
    uint32_t myVertexFormatList[QR_MAXSETUPSTREAMS];
    uint32_t mySkinning;  // 0 none, 1 one bone per vertex, 2 four blended bones
    uint32_t myLighting;  // lit when 1 or 2
    uint32_t myWord7;     // compared and copied, read by no kind
    uint32_t mySpecular;  // 0 none, 1 twice each light's colour, 2 the data block's colour
    uint32_t myWord9;     // compared and copied, read by no kind
    uint32_t myNumUVs;    // texture stages described by myUVs
    uint32_t myUVs[QR_MAXSETUPUVS];
    uint8_t myFogFlag;
};

// What the kinds read of a light, in the leading order of the model's light record;
// positions and directions in world space.
struct QR_LightSetLight
{
    float myPosition[3];
    float myDirection[3];
    uint32_t myType; // 0 directional, 1 point
    float myColor[3];
    float myRange;
};

// The lights a view picked for one submission.
struct QR_LightSet
{
    uint32_t myAmbientColor; // 0x00RRGGBB
    uint32_t myNumLights;    // at most QR_MAXACTIVELIGHTS
    const QR_LightSetLight* myLights[QR_MAXACTIVELIGHTS];
    float myLightColors[QR_MAXACTIVELIGHTS][3];
    uint32_t myFlags; // bit 0: changed, unseen by the fixed-function kind; bit 1: by the assembled kinds
};

struct QR_VertexShaderDataBlock
{
    float myTime;
    QR_LightSet* myLightData;
    QR_SplinePath* myTextureMatrixSpline[8];
    Matrix44* myTextureMatrix[8];
    uint32_t myColor; // 0xRRGGBB, the specular colour when mySpecular is 2
    float mySpecularPower;
};

struct QR_CompiledVertexShader
{
    uint32_t myRefCount;
    void* myRecord; // the kind's own compiled record
    uint32_t myId;  // smallest id unused by the kind's other compiled set-ups
};

// The switches of a mesh's surface that decide what its device buffer must carry.
struct QR_SurfaceShading
{
    uint32_t myNumStages;
    bool myLightingFlag;
    bool mySpecularFlag;
    bool myVertexColorFlag;
};
typedef bool (*QR_SurfaceShadingFunc)(const QR_Surface* aSurface, QR_SurfaceShading* aShadingOut);

class QR_VertexShader
{
public:
    QR_VertexShader(const char* aName, uint32_t aSortGroup);
    virtual ~QR_VertexShader();

    virtual void ReleaseDeviceObjects() {}
    virtual bool RestoreDeviceObjects() { return true; }
    virtual QR_CompiledVertexShader* Compile(const QR_VertexShaderSetupData& aSetup) = 0;
    virtual void ReleaseCompiled(QR_CompiledVertexShader* aCompiled) = 0;
    virtual void Begin(QR_CompiledVertexShader* aCompiled) = 0;
    virtual void SetDataBlock(QR_VertexShaderDataBlock* aDataBlock) = 0;
    virtual bool PrepareMesh(QR_Mesh* aMesh) = 0;
    virtual void Draw(QR_Mesh* aMesh, float aLodDistance, float aTime) = 0;

    // Upper-cases the name and adds a reference to the kind found.
    static QR_VertexShader* Find(const char* aName);
    void Release();
    static bool RestoreAll();
    static void ReleaseAll();
    static bool ReserveDynamicBuffers(QR_Mesh* aMesh);

    // The smallest id no handle of the list uses.
    static uint32_t FreeCompiledId(const QC_GrowingArray<QR_CompiledVertexShader*>& aList);
    // A new handle of count 1 and the smallest free id for aRecord, listed; null (nothing
    // listed, the record left to the caller) when memory runs out.
    static QR_CompiledVertexShader* AddCompiled(QC_GrowingArray<QR_CompiledVertexShader*>& aList, void* aRecord);
    // Lowers the handle's count; at 0 unlists it and returns true: the caller frees its record
    // and then the handle.
    static bool DropCompiled(QC_GrowingArray<QR_CompiledVertexShader*>& aList, QR_CompiledVertexShader* aCompiled);
    // The refill callback of a mesh's static index buffer: its 16-bit indices copied.
    static bool RefillIndices(void* aMesh);

    char* myName;
    QR_VertexShader* myPrev;
    QR_VertexShader* myNext;
    uint32_t myRefCount;
    uint32_t mySortGroup; // 0 ordinary, 1 depth sort, 2 camera facing

    static QR_VertexShader* ourFirst;
    static QR_VertexShader* ourDefault; // the last made "NORMAL_MESH"
    static QR_VertexShader* ourCurrent; // whose Begin ran last
    static uint32_t ourNumStreams;
    static uint32_t ourNumBoneMatrices;
    static Matrix44 ourBoneMatrices[QR_MAXBONEMATRICES];
    static const Matrix44* ourWorldMatrix;  // null: identity
    static const Matrix44* ourObjectMatrix;
    // Filled by the surfaces; without it a surface is taken to use every set-up stage and
    // to follow the set-up's lighting and specular words.
    static QR_SurfaceShadingFunc ourSurfaceShadingFunc;
    static void GetSurfaceShading(const QR_Mesh* aMesh, QR_SurfaceShading* aShadingOut);
};
