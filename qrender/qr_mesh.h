// The drawable geometry of a model part as the vertex-shader kinds read it: vertex and
// 16-bit index data in memory, device buffers made from them, levels of detail, the bound
// kind with its set-up and data blocks. Reading, the mesh list and sharing by name come
// with the mesh reader.
#pragma once

#include <stdint.h>

#include "qrender/qr_vertexshader.h"

struct QR_VertexBuffer;
struct QR_IndexBuffer;
class QR_Surface;

struct QR_MeshFrame
{
    uint32_t myFirstVertex;
    uint32_t myNumVertices;
    uint32_t myStartIndex;
    uint32_t myNumIndices;
};

struct QR_MeshLod
{
    float myLodDistance; // serves distances up to this value
    uint32_t myIsAnimated;
    uint32_t myNumVertices;
    uint32_t myStartIndex;
    uint32_t myNumIndices;
    uint32_t myFirstVertex;
    QR_MeshFrame* myFrames; // owned
    uint32_t myNumFrames;
    float myFramesPerSecond;
};

class QR_Mesh
{
public:
    QR_Mesh();
    ~QR_Mesh();

    char* myName;
    QR_VertexBuffer* myVertexBuffer;
    QR_IndexBuffer* myIndexBuffer;
    QR_CompiledVertexShader* myCompiledVertexShader;
    QR_VertexShaderSetupData mySetupData;
    QR_VertexShaderDataBlock myDataBlock;
    QR_Surface* mySurface;
    QR_VertexShader* myVertexShader;
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
};
