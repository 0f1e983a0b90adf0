// The drawable geometry of a model part: vertex and 16-bit index data in memory, device
// buffers made from them by the bound vertex-shader kind, levels of detail, a shared
// surface. Meshes are listed process-wide, shared by lower-case name and counted.
#pragma once

#include <stdint.h>

#include "qrender/qr_vertexshader.h"

struct QR_VertexBuffer;
struct QR_IndexBuffer;
class QR_Surface;
class QF_File;

struct QR_MeshFrame
{
    uint32_t myFirstVertex;
    uint32_t myNumVertices;
    uint32_t myStartIndex;
    uint32_t myNumIndices;
};

struct QR_MeshLod
{
    float myLodDistance; // serves (squared) distances up to this value
    uint32_t myIsAnimated; // 1: a sequence of frames
    uint32_t myNumVertices;
    uint32_t myStartIndex;
    uint32_t myNumIndices;
    uint32_t myFirstVertex;
    QR_MeshFrame* myFrames; // owned
    uint32_t myNumFrames;
    float myFramesPerSecond;
};

// SortLodTriangles without a view direction: the eye at the centre of the range's vertices.
enum QR_MeshSortMode : uint32_t
{
    QR_MESHSORT_ALL = 0,         // every triangle sorted
    QR_MESHSORT_OPAQUE_FIRST = 1 // opaque triangles first in their order, the rest sorted behind them
};

class QR_Mesh
{
public:
    QR_Mesh();
    ~QR_Mesh();
    QR_Mesh(const QR_Mesh&) = delete;
    QR_Mesh& operator=(const QR_Mesh&) = delete;

    // Raises the count of the listed mesh of that (lower-cased) name.
    static QR_Mesh* Find(const char* aName);
    // Null when a mesh of that name is listed.
    static QR_Mesh* Create(const char* aName);
    // Reads a mesh block into this new mesh and prepares it for drawing. A damaged block
    // gives QR_ERROR_MODEL_DATA with aFileName (or the mesh's name) as the text.
    bool ReadMeshData(QF_File& aFile, const char* aFileName = nullptr);
    bool CompileVertexShader();
    static bool CompileAllVertexShaders();
    void ReleaseDeviceData();
    static void ReleaseAllDeviceData();
    void Release();
    static void DestroyAll();
    // Reorders one triangle-list level's drawn range in place; false when the level does
    // not exist or the mesh is a strip.
    bool SortLodTriangles(uint32_t aLevel, const float* aViewDirection);
    bool SortLodTriangles(uint32_t aLevel, QR_MeshSortMode aMode);
    // One unit normal per triangle of the whole index data (triangle lists only).
    bool BuildFaceNormals();
    // Drops every mesh's reference to a kind that is going away.
    static void ForgetVertexShader(const QR_VertexShader* aKind);

    char* myName; // owned, lower case
    QR_VertexBuffer* myVertexBuffer;
    QR_IndexBuffer* myIndexBuffer;
    QR_CompiledVertexShader* myCompiledVertexShader;
    QR_VertexShaderSetupData mySetupData;
    QR_VertexShaderDataBlock myDataBlock;
    QR_Surface* mySurface;           // one reference, or null
    QR_VertexShader* myVertexShader; // one reference, or null
    float myRadius;
    uint32_t myVertexSize;
    uint8_t* myVertexData; // owned
    uint32_t myNumVertices;
    uint32_t myVertexFormat;
    uint32_t myVertexBufferVertexFormat;
    uint16_t* myIndexData; // owned
    uint32_t myNumIndices;
    uint32_t myMeshIndexType; // 0 triangle list, 1 triangle strip
    QR_MeshLod* myLods;       // owned
    uint32_t myNumLods;
    float* myFaceNormals; // owned, 3 floats per triangle
    uint32_t myNumFaceNormals;
    int32_t myRefCount;
    QR_Mesh* myPrev;
    QR_Mesh* myNext;

    static QR_Mesh* ourFirst;

private:
    bool SortRange(uint32_t aStart, uint32_t aCount, const float* aViewDirection, QR_MeshSortMode aMode);
    void Link();
};
