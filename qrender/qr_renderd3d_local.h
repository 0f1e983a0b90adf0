// Internals of the renderer's back end shared by its source files: the device-state caches
// and the vertex-cache optimiser.
#pragma once

#include "qrender/qr_renderd3d.h"

// What the device holds, as last sent. All bits set means unknown.
struct QR_D3DStateCache
{
    QR_RenderStates myStates;
    uint32_t mySurfaceDepthWrite; // the depth-write value the surface binding set last
    uint32_t myDrawColor;
    uint32_t myFogColor;
    uint32_t myAlphaRef;
    QR_Texture* myTextures[8];
    uint32_t myNumBoundStages;
    const QR_CompiledStageBlock* myLastBlock;
    QR_SurfaceInstance* myCurrentInstance; // remembered by SetSurface, cleared once a frame
    uint32_t myDrawAlpha;
};

// The stream and index-buffer bindings last sent to the device.
struct QR_StreamCache
{
    GFX_Buffer* myBuffers[8];
    uint32_t myStrides[8];
    uint32_t myNumStreams;
    GFX_Buffer* myIndexBuffer;
};

extern QR_D3DStateCache ourD3DStateCache;
extern QR_StreamCache ourD3DStreamCache;
// The pass the surface binding applies for no surface: vertex colour times the draw colour.
extern QR_CompiledStageBlock ourDefaultStageBlock;

void QR_InvalidateStreamCache();

// Vertex-cache optimisation of a 16-bit triangle list. Both return false (and leave the
// output unspecified) when an index is out of range or memory runs out.
// aFaceRemapOut[i] = the old triangle that becomes triangle i.
bool QR_OptimizeFaces(const uint16_t* anIndices, uint32_t aNumFaces, uint32_t aNumVertices, uint32_t* aFaceRemapOut);
// aVertexRemapOut[i] = the old vertex that becomes vertex i; unused vertices go last.
bool QR_OptimizeVertices(const uint16_t* anIndices, uint32_t aNumFaces, uint32_t aNumVertices,
                         uint32_t* aVertexRemapOut);
// True when two triangles use the same three vertices in any order.
bool QR_HasDuplicateTriangle(const uint16_t* anIndices, uint32_t aNumFaces);
