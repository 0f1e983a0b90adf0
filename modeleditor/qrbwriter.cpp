// The ".qrb" writer. Field order and meaning are the renderer reader's
// (qrender/qr_templateobject.cpp, qr_mesh.cpp, qr_splinepath.cpp).
#include "modeleditor/qrbwriter.h"

#include <string.h>

#include "modeleditor/editorerror.h"
#include "platform/os/os_savefile.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_sharedparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_templateobject.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_vertexshader.h"

namespace
{
// Code 13 with the detail aWhat followed by aText.
bool locFail(const char* aWhat, const char* aText)
{
    EditorError::Set(EDITOR_ERROR_WRITE_QRB);
    SetErrorDetail("%s%s", aWhat, aText ? aText : "");
    return false;
}

// The indices of a level (or of each of its frames) name vertices of its own range.
bool locIndicesInside(const QR_Mesh& aMesh, const QR_MeshLod& aLevel)
{
    auto locInside = [&aMesh](uint32_t aStart, uint32_t aCount, uint32_t aFirst, uint32_t aNumVertices) {
        if (!aMesh.myIndexData || (uint64_t)aStart + aCount > aMesh.myNumIndices)
            return aCount == 0;
        for (uint32_t i = aStart; i < aStart + aCount; i++)
            if (aMesh.myIndexData[i] < aFirst || aMesh.myIndexData[i] - aFirst >= aNumVertices)
                return false;
        return true;
    };
    if (aLevel.myIsAnimated != 1)
        return locInside(aLevel.myStartIndex, aLevel.myNumIndices, aLevel.myFirstVertex, aLevel.myNumVertices);
    for (uint32_t f = 0; aLevel.myFrames && f < aLevel.myNumFrames; f++)
    {
        const QR_MeshFrame& locFrame = aLevel.myFrames[f];
        if (!locInside(locFrame.myStartIndex, locFrame.myNumIndices, locFrame.myFirstVertex, locFrame.myNumVertices))
            return false;
    }
    return true;
}

uint32_t locCountBits(uint32_t aMask)
{
    uint32_t n = 0;
    for (; aMask; aMask &= aMask - 1)
        n++;
    return n;
}
} // namespace

void QRBWriter::U32(uint32_t aValue)
{
    uint8_t b[4] = {(uint8_t)aValue, (uint8_t)(aValue >> 8), (uint8_t)(aValue >> 16), (uint8_t)(aValue >> 24)};
    myBytes.insert(myBytes.end(), b, b + 4);
}

void QRBWriter::F32(float aValue)
{
    uint32_t locBits;
    memcpy(&locBits, &aValue, 4);
    U32(locBits);
}

void QRBWriter::Raw(const void* aData, size_t aSize)
{
    const uint8_t* p = (const uint8_t*)aData;
    if (aSize)
        myBytes.insert(myBytes.end(), p, p + aSize);
}

bool QRBWriter::Name(const char* aText, uint32_t aLimit, const char* aWhat)
{
    const char* locText = aText ? aText : "";
    size_t n = strlen(locText);
    if (n > aLimit)
    {
        // The reader would stop at its limit and read the rest as the next fields.
        EditorError::Set(EDITOR_ERROR_WRITE_QRB);
        SetErrorDetail("%s name too long: %s", aWhat, locText);
        return false;
    }
    Raw(locText, n + 1);
    return true;
}

bool QRBWriter::WriteSplinePath(const QR_SplinePath& aPath)
{
    uint32_t locChannels = aPath.myNumChannels;
    if (locChannels > QR_SplinePath::MAX_CHANNELS || aPath.myNumTangents > QR_SplinePath::MAX_TANGENTS)
        return locFail("spline path: too many channels or tangents", "");
    uint32_t locMask = aPath.myKeyedMask & (uint32_t)((1ull << locChannels) - 1);
    uint32_t locKeyed = locCountBits(locMask);
    uint32_t locKeySize = (aPath.myNumTangents + 1) * locKeyed + 2;
    if (locKeyed > 0 && (!aPath.myKeys || aPath.myNumKeys < 2 || aPath.myKeySizeInFloats != locKeySize))
        return locFail("spline path: keys do not match the channel mask", "");
    if (locChannels > locKeyed && !aPath.myConstants)
        return locFail("spline path: constants missing", "");
    F32(aPath.myRate);
    U32(aPath.myIsLooping ? 1 : 0);
    U32(locChannels);
    U32(locMask);
    // A path without keyed channels is stored as one key and no tangents.
    U32(locKeyed ? aPath.myNumTangents : 0);
    U32(locKeyed ? aPath.myNumKeys : 1);
    if (locKeyed)
        Raw(aPath.myKeys, (size_t)aPath.myNumKeys * locKeySize * 4);
    if (locChannels > locKeyed)
        Raw(aPath.myConstants, (size_t)(locChannels - locKeyed) * 4);
    return true;
}

bool QRBWriter::WriteMesh(const QR_Mesh& m)
{
    const QR_Surface* locSurface = m.mySurface;
    if (!Name(locSurface ? locSurface->myName : "", MAX_NAME_LENGTH, "surface"))
        return false;
    const char* locShader = myShaderName ? myShaderName(&m, myContext) : nullptr;
    if (!locShader || !locShader[0])
        locShader = m.myVertexShader && m.myVertexShader->myName ? m.myVertexShader->myName : "";
    if (!Name(locShader, MAX_NAME_LENGTH, "vertex shader"))
        return false;

    const QR_VertexShaderSetupData& s = m.mySetupData;
    U32(s.mySkinning);
    U32(s.myLighting);
    U32(s.myWord7);
    U32(s.mySpecular);
    U32(s.myWord9);
    uint32_t locStages = locSurface ? s.myNumUVs : 0;
    if (locStages > QR_MAXSETUPUVS)
        locStages = QR_MAXSETUPUVS;
    if (locSurface && locStages > locSurface->myNumTextureNames)
        locStages = locSurface->myNumTextureNames;
    U32(locStages);
    for (uint32_t i = 0; i < locStages; i++)
        U32(s.myUVs[i]);
    U32(s.myFogFlag ? 1 : 0);
    for (uint32_t i = 0; i < locStages; i++)
    {
        const QR_SplinePath* locPath = m.myDataBlock.myTextureMatrixSpline[i];
        U32(locPath ? 1 : 0);
        if (locPath && !WriteSplinePath(*locPath))
            return false;
    }
    if (s.mySpecular == 1 || s.mySpecular == 2)
    {
        F32(m.myDataBlock.mySpecularPower);
        if (s.mySpecular == 2)
            U32(m.myDataBlock.myColor);
    }

    F32(m.myRadius);
    U32(m.myVertexFormat);
    U32(m.myNumVertices);
    size_t locVertexBytes = (size_t)m.myNumVertices * QR_GetVertexSize(m.myVertexFormat);
    if (locVertexBytes && !m.myVertexData)
        return locFail("no vertex data in mesh ", m.myName);
    Raw(m.myVertexData, locVertexBytes);
    U32(m.myMeshIndexType);
    U32(m.myNumIndices);
    if (m.myNumIndices && !m.myIndexData)
        return locFail("no index data in mesh ", m.myName);
    Raw(m.myIndexData, (size_t)m.myNumIndices * 2);

    U32(m.myNumLods);
    float locDistance = 0;
    for (uint32_t k = 0; k < m.myNumLods; k++)
    {
        const QR_MeshLod& l = m.myLods[k];
        if (!locIndicesInside(m, l))
            return locFail("an index outside its level's vertices in mesh ", m.myName);
        U32(l.myIsAnimated);
        U32(l.myNumVertices);
        U32(l.myStartIndex);
        U32(l.myNumIndices);
        U32(l.myFirstVertex);
        // Levels go in increasing distance: one nearer than the level before
        // it is never drawn, as it is at that level's distance.
        if (k == 0 || l.myLodDistance > locDistance)
            locDistance = l.myLodDistance;
        F32(locDistance);
        if (l.myIsAnimated == 1)
        {
            // Stored as the time of one frame.
            F32(l.myFramesPerSecond != 0.0f ? 1.0f / l.myFramesPerSecond : 0.0f);
            uint32_t locFrames = l.myFrames ? l.myNumFrames : 0;
            U32(locFrames);
            for (uint32_t f = 0; f < locFrames; f++)
            {
                U32(l.myFrames[f].myFirstVertex);
                U32(l.myFrames[f].myNumVertices);
                U32(l.myFrames[f].myStartIndex);
                U32(l.myFrames[f].myNumIndices);
            }
        }
    }
    return true;
}

bool QRBWriter::WriteObjectBlock(const QR_Mesh* aMesh)
{
    if (!aMesh)
    {
        U32(0);
        return true;
    }
    const char* locName = aMesh->myName ? aMesh->myName : "";
    for (const std::string& locWritten : myWrittenMeshes)
        if (locWritten == locName)
        {
            U32(2);
            return Name(locName, MAX_NAME_LENGTH, "mesh");
        }
    myWrittenMeshes.push_back(locName);
    U32(1);
    if (!Name(locName, MAX_NAME_LENGTH, "mesh"))
        return false;
    size_t locCountAt = myBytes.size();
    U32(0);
    if (!WriteMesh(*aMesh))
        return false;
    uint32_t locCount = (uint32_t)(myBytes.size() - locCountAt - 4);
    for (int i = 0; i < 4; i++)
        myBytes[locCountAt + i] = (uint8_t)(locCount >> (8 * i));
    return true;
}

bool QRBWriter::WritePart(const QR_TemplatePart& p)
{
    if (!Name(p.myName, MAX_NAME_LENGTH, "part"))
        return false;
    F32(p.myMaxDistanceSquared);
    Raw(p.myMatrix.myMatrix, 64);
    U32((uint32_t)p.mySkinGroup);
    uint32_t locStates = p.myStates ? p.myNumStates : 0;
    U32(locStates);
    for (uint32_t k = 0; k < locStates; k++)
    {
        const QR_TemplateState& s = p.myStates[k];
        U32(s.myId);
        U32((uint32_t)s.myParent);
        U32(s.myIsVisible ? 1 : 0);
        U32(s.myIsRemembered ? 1 : 0);
        F32(s.myBlendTime);
        F32(s.myDuration);
        U32((uint32_t)s.myNextState);
        U32(s.myRestarts ? 1 : 0);
        if (!WriteSplinePath(s.myPath))
            return false;
    }
    if (!WriteObjectBlock(p.myMesh))
        return false;

    // The part's slots override its mesh surface's slots one for one.
    const QR_Surface* locSurface = p.myMesh ? p.myMesh->mySurface : nullptr;
    uint32_t locSlots = locSurface && p.myTextureNames ? p.myNumTextureNames : 0;
    if (locSurface && locSlots > locSurface->myNumTextureNames)
        locSlots = locSurface->myNumTextureNames;
    U32(locSlots);
    U32(p.myTextureWord);
    for (uint32_t j = 0; j < locSlots; j++)
    {
        const QR_TextureNames& t = p.myTextureNames[j];
        uint32_t locKind = locSurface->myTextureNames[j].myType;
        U32(locKind);
        F32(t.myFramesPerSecond);
        uint32_t locNames = locKind <= QR_SURFACETEXTURETYPE_BUMPMAP && t.myNames ? t.myNumNames : 0;
        U32(locNames);
        for (uint32_t n = 0; n < locNames; n++)
            if (!Name(t.myNames[n].myData, MAX_NAME_LENGTH, "texture"))
                return false;
    }
    return true;
}

bool QRBWriter::WriteLight(const QR_Light& l)
{
    if (l.myType > QR_LIGHT_SPOT)
    {
        EditorError::Set(EDITOR_ERROR_WRITE_QRB);
        SetErrorDetail("light type %u", l.myType);
        return false;
    }
    U32(l.myPartIndex);
    U32(l.myType);
    Raw(l.myColor, 12);
    for (const QR_SplinePath* locPath : {l.myMotionPath, l.myColorPath, l.myRangePath})
    {
        U32(locPath ? 1 : 0);
        if (locPath && !WriteSplinePath(*locPath))
            return false;
    }
    auto locHalo = [&]() {
        const QR_SurfaceInstance* h = l.myHalo;
        const QR_Surface* locSurface = h ? h->mySurface : nullptr;
        // The stored halo is its surface and one texture: the instance's own, else the
        // one the surface shows by default.
        const char* locTexture = nullptr;
        if (h && h->myNumTextures && h->myTextures && h->myTextures[0].myNumFrames && h->myTextures[0].myFrames &&
            h->myTextures[0].myFrames[0])
            locTexture = h->myTextures[0].myFrames[0]->myName;
        else if (locSurface && locSurface->myNumTextureNames && locSurface->myTextureNames &&
                 locSurface->myTextureNames[0].myNumNames && locSurface->myTextureNames[0].myNames)
            locTexture = locSurface->myTextureNames[0].myNames[0].myData;
        // Without a surface name or a texture the reader could not make the halo again:
        // such a halo shows no image and is stored as none.
        if (!locSurface || !locSurface->myName || !locSurface->myName[0] || !locTexture || !locTexture[0])
            return Name("", MAX_NAME_LENGTH, "halo");
        return Name(locSurface->myName, MAX_NAME_LENGTH, "halo surface") &&
               Name(locTexture, MAX_NAME_LENGTH, "halo texture");
    };
    switch (l.myType)
    {
    case QR_LIGHT_DIRECTIONAL:
        Raw(l.myDirection, 12);
        break;
    case QR_LIGHT_POINT:
        Raw(l.myPosition, 12);
        F32(l.myRange);
        if (!locHalo())
            return false;
        break;
    case QR_LIGHT_SPOT:
        Raw(l.myPosition, 12);
        Raw(l.myDirection, 12);
        F32(l.myRange);
        F32(l.myConeValues[0]);
        F32(l.myConeValues[1]);
        F32(l.myFallOff);
        if (!locHalo())
            return false;
        break;
    default:
        break;
    }
    U32(l.myStateId);
    return true;
}

bool QRBWriter::WriteToMemory(const QR_TemplateObject* aTemplate, std::vector<uint8_t>& aBytesOut)
{
    myBytes.clear();
    myWrittenMeshes.clear();
    bool locResult = aTemplate != nullptr;
    if (!locResult)
        locFail("no model", "");
    if (locResult)
    {
        const QR_TemplateObject& t = *aTemplate;
        Raw("QRB\x09", 4);
        F32(t.myBoundRadius);
        Raw(t.myBoundCentre, 12);
        uint32_t locParts = t.myParts ? t.myNumParts : 0;
        U32(locParts);
        // A parent is computed before its children: the reader refuses a part
        // whose parent comes after it.
        for (uint32_t i = 0; i < locParts && locResult; i++)
            for (uint32_t k = 0; t.myParts[i].myStates && k < t.myParts[i].myNumStates && locResult; k++)
                if (t.myParts[i].myStates[k].myParent >= (int32_t)i)
                    locResult = locFail("a parent after its part ", t.myParts[i].myName);
        for (uint32_t i = 0; i < locParts && locResult; i++)
            locResult = WritePart(t.myParts[i]);

        uint32_t locLinks = t.myLinks ? t.myNumLinks : 0;
        if (locResult)
            U32(locLinks);
        for (uint32_t i = 0; i < locLinks && locResult; i++)
        {
            const QR_ParticleLink& l = t.myLinks[i];
            U32(l.myPartIndex);
            locResult = Name(l.myDefinition ? l.myDefinition->myName : "", MAX_NAME_LENGTH, "particle emitter");
            U32(l.myStateId);
        }

        uint32_t locNames = t.myExpressions ? t.myNumExpressions : 0;
        if (locResult)
        {
            U32(locNames);
            if (locNames)
                U32(0);
        }
        for (uint32_t i = 0; i < locNames && locResult; i++)
            locResult = Name(t.myExpressions[i], MAX_LIST_NAME_LENGTH, "name list");

        uint32_t locLights = t.myLights ? t.myNumLights : 0;
        if (locResult)
            U32(locLights);
        for (uint32_t i = 0; i < locLights && locResult; i++)
            locResult = WriteLight(t.myLights[i]);
    }
    myWrittenMeshes.clear();
    if (locResult)
        aBytesOut.swap(myBytes);
    myBytes.clear();
    return locResult;
}

bool QRBWriter::Write(const QR_TemplateObject* aTemplate, const char* aFileName)
{
    std::vector<uint8_t> locBytes;
    if (!WriteToMemory(aTemplate, locBytes))
        return false;
    // Only a complete file replaces the old one.
    OS_SaveFile locSave;
    if (!aFileName)
        return locFail("cannot write ", aFileName);
    if (!locSave.Begin(aFileName) || !locSave.Write(locBytes.data(), locBytes.size()) || !locSave.Commit())
    {
        locFail("cannot write ", aFileName);
        AppendErrorDetail("(%s)", strerror(locSave.GetError()));
        if (const char* locKept = locSave.GetKeptPath())
            AppendErrorDetail("; its old content is kept in '%s'", locKept);
        return false;
    }
    return true;
}
