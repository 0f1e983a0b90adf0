// Vertex format words: which components a vertex holds, their order and sizes, and the
// device vertex declaration built from a list of formats (one stream per format).
#pragma once

#include <stdint.h>

struct GFX_VertexDecl;
struct GFX_VertexElement;
class GFX_Device;

enum QR_VertexFlags : uint32_t
{
    QR_VERTEXFLAG_XYZ = 0x1,
    QR_VERTEXFLAG_WEIGHT1 = 0x2, // bits 1-2: number of blend weights
    QR_VERTEXFLAG_WEIGHT2 = 0x4,
    QR_VERTEXFLAG_WEIGHT3 = 0x6,
    QR_VERTEXFLAG_NORMAL = 0x8,
    QR_VERTEXFLAG_DIFFUSE = 0x10,
    QR_VERTEXFLAG_SPECULAR = 0x20,
    QR_VERTEXFLAG_UV1 = 0x40, // bits 6-9: number of texture-coordinate sets
    QR_VERTEXFLAG_UV2 = 0x80,
    QR_VERTEXFLAG_UV3 = 0xC0,
    QR_VERTEXFLAG_UV4 = 0x100,
    QR_VERTEXFLAG_UV5 = 0x140,
    QR_VERTEXFLAG_UV6 = 0x180,
    QR_VERTEXFLAG_UV7 = 0x1C0,
    QR_VERTEXFLAG_UV8 = 0x200,
    QR_VERTEXFLAG_XYZRHW = 0x400, // only when QR_VERTEXFLAG_XYZ is clear
    QR_VERTEXFLAG_BONEINDICES = 0x800,
};

const uint32_t QR_VERTEXFLAG_WEIGHTMASK = 0x6;
const uint32_t QR_VERTEXFLAG_UVMASK = 0x3C0;
const uint32_t QR_MAX_DECLARATION_ELEMENTS = 64;

inline uint32_t QR_GetVertexWeightCount(uint32_t aFormat) { return (aFormat & QR_VERTEXFLAG_WEIGHTMASK) >> 1; }
inline uint32_t QR_GetVertexUVCount(uint32_t aFormat) { return (aFormat & QR_VERTEXFLAG_UVMASK) >> 6; }

// Bytes of one vertex of the format.
uint32_t QR_GetVertexSize(uint32_t aFormat);
// Byte offset of one component (a single flag value, or 2/4/6 for the first/second/third
// weight, 0x40 * k for set k) in a vertex of the format; -1 when the format lacks it.
int32_t QR_GetVertexComponentOffset(uint32_t aComponent, uint32_t aFormat);

// Fills the declaration elements for the streams' formats (no end marker: the count is
// returned); 0 when the list would not fit in anElementsOut's QR_MAX_DECLARATION_ELEMENTS.
uint32_t QR_BuildVertexElements(uint32_t aNumStreams, const uint32_t* aFormatList,
                                GFX_VertexElement* anElementsOut);
// Null when the device refuses the declaration.
GFX_VertexDecl* QR_CreateVertexDeclaration(GFX_Device* aDevice, uint32_t aNumStreams, const uint32_t* aFormatList);
