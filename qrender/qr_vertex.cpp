// Vertex format words: sizes, component offsets and device declarations.
#include "qrender/qr_vertex.h"

#include "platform/gfx/gfx_device.h"
#include "qcommon/qc_assert.h"

static uint32_t locPositionSize(uint32_t aFormat)
{
    if (aFormat & QR_VERTEXFLAG_XYZ)
        return 12;
    if (aFormat & QR_VERTEXFLAG_XYZRHW)
        return 16;
    return 0;
}

// Weights and the four bone-index bytes that always follow them.
static uint32_t locBlendSize(uint32_t aFormat)
{
    uint32_t locWeights = QR_GetVertexWeightCount(aFormat);
    if (locWeights)
        return 4 * locWeights + 4;
    return (aFormat & QR_VERTEXFLAG_BONEINDICES) ? 4 : 0;
}

uint32_t QR_GetVertexSize(uint32_t aFormat)
{
    uint32_t locSize = locPositionSize(aFormat) + locBlendSize(aFormat);
    if (aFormat & QR_VERTEXFLAG_NORMAL)
        locSize += 12;
    if (aFormat & QR_VERTEXFLAG_DIFFUSE)
        locSize += 4;
    if (aFormat & QR_VERTEXFLAG_SPECULAR)
        locSize += 4;
    return locSize + 8 * QR_GetVertexUVCount(aFormat);
}

int32_t QR_GetVertexComponentOffset(uint32_t aComponent, uint32_t aFormat)
{
    if (aComponent & QR_VERTEXFLAG_UVMASK)
    {
        if (aComponent > (aFormat & QR_VERTEXFLAG_UVMASK))
            return -1;
    }
    else if (aComponent == QR_VERTEXFLAG_WEIGHT1 || aComponent == QR_VERTEXFLAG_WEIGHT2 ||
             aComponent == QR_VERTEXFLAG_WEIGHT3)
    {
        if (aComponent > (aFormat & QR_VERTEXFLAG_WEIGHTMASK))
            return -1;
    }
    else if (!(aComponent & aFormat))
        return -1;

    uint32_t locPosition = locPositionSize(aFormat);
    uint32_t locNormal = locPosition + locBlendSize(aFormat);
    uint32_t locDiffuse = locNormal + ((aFormat & QR_VERTEXFLAG_NORMAL) ? 12 : 0);
    uint32_t locSpecular = locDiffuse + ((aFormat & QR_VERTEXFLAG_DIFFUSE) ? 4 : 0);
    uint32_t locUV = locSpecular + ((aFormat & QR_VERTEXFLAG_SPECULAR) ? 4 : 0);

    switch (aComponent)
    {
    case QR_VERTEXFLAG_XYZ:
    case QR_VERTEXFLAG_XYZRHW:
        return 0;
    case QR_VERTEXFLAG_WEIGHT1:
        return (int32_t)locPosition;
    case QR_VERTEXFLAG_WEIGHT2:
        return (int32_t)locPosition + 4;
    case QR_VERTEXFLAG_WEIGHT3:
        return (int32_t)locPosition + 8;
    case QR_VERTEXFLAG_BONEINDICES:
        return (int32_t)(locPosition + 4 * QR_GetVertexWeightCount(aFormat));
    case QR_VERTEXFLAG_NORMAL:
        return (int32_t)locNormal;
    case QR_VERTEXFLAG_DIFFUSE:
        return (int32_t)locDiffuse;
    case QR_VERTEXFLAG_SPECULAR:
        return (int32_t)locSpecular;
    default:
        break;
    }
    if ((aComponent & ~QR_VERTEXFLAG_UVMASK) == 0)
    {
        uint32_t locSet = aComponent >> 6;
        if (locSet >= 1 && locSet <= 8)
            return (int32_t)(locUV + 8 * (locSet - 1));
    }
    QC_ASSERT(0);
    return -1;
}

uint32_t QR_BuildVertexElements(uint32_t aNumStreams, const uint32_t* aFormatList,
                                GFX_VertexElement* anElementsOut)
{
    uint32_t locCount = 0;
    auto locAdd = [&](uint32_t aStream, uint32_t aComponent, uint32_t aFormat, GFX_DeclType aType,
                      GFX_DeclUsage aUsage, uint8_t anIndex) {
        if (locCount >= QR_MAX_DECLARATION_ELEMENTS)
            return false;
        GFX_VertexElement& locElement = anElementsOut[locCount++];
        locElement.myStream = (uint16_t)aStream;
        locElement.myOffset = (uint16_t)QR_GetVertexComponentOffset(aComponent, aFormat);
        locElement.myType = aType;
        locElement.myUsage = aUsage;
        locElement.myUsageIndex = anIndex;
        return true;
    };
    for (uint32_t s = 0; s < aNumStreams; s++)
    {
        uint32_t locFormat = aFormatList[s];
        bool locOk = true;
        if (locFormat & QR_VERTEXFLAG_XYZ)
            locOk &= locAdd(s, QR_VERTEXFLAG_XYZ, locFormat, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0);
        else if (locFormat & QR_VERTEXFLAG_XYZRHW)
            locOk &= locAdd(s, QR_VERTEXFLAG_XYZRHW, locFormat, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_POSITIONT, 0);
        if (locFormat & QR_VERTEXFLAG_NORMAL)
            locOk &= locAdd(s, QR_VERTEXFLAG_NORMAL, locFormat, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_NORMAL, 0);
        if (locFormat & QR_VERTEXFLAG_DIFFUSE)
            locOk &= locAdd(s, QR_VERTEXFLAG_DIFFUSE, locFormat, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_COLOR, 0);
        if (locFormat & QR_VERTEXFLAG_SPECULAR)
            locOk &= locAdd(s, QR_VERTEXFLAG_SPECULAR, locFormat, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_COLOR, 1);
        uint32_t locNumUVs = QR_GetVertexUVCount(locFormat);
        for (uint32_t k = 1; k <= locNumUVs && k <= 8; k++)
            locOk &= locAdd(s, QR_VERTEXFLAG_UV1 * k, locFormat, GFX_DECLTYPE_FLOAT2, GFX_DECLUSAGE_TEXCOORD,
                            (uint8_t)(k - 1));
        if (!locOk)
            return 0;
    }
    return locCount;
}

GFX_VertexDecl* QR_CreateVertexDeclaration(GFX_Device* aDevice, uint32_t aNumStreams, const uint32_t* aFormatList)
{
    GFX_VertexElement locElements[QR_MAX_DECLARATION_ELEMENTS];
    uint32_t locCount = QR_BuildVertexElements(aNumStreams, aFormatList, locElements);
    if (!locCount || !aDevice)
        return nullptr;
    return aDevice->CreateVertexDecl(locElements, locCount);
}
