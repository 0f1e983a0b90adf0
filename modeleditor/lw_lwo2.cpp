// The LWO2 chunk walk: layers, points, vertex maps, polygons, tags and the
// descriptions, with surfaces, clips and envelopes handed to their readers.
// Chunks end at their declared size (plus a pad byte when odd) whatever their
// fields read; unknown chunks are skipped and their IDs logged.
#include <string.h>

#include <string>

#include "modeleditor/editorerror.h"
#include "modeleditor/lw_lwo2_local.h"
#include "qcommon/qc_debug.h"

namespace
{
constexpr uint32_t MAX_STRING = 65534; // the longest text a QC_String holds

enum WalkResult
{
    WALK_OK,
    WALK_DAMAGED,     // a field crosses its chunk's end, or a reference is out of range
    WALK_NOT_TRIPLED, // a face of fewer than 3 points
};

WalkResult locReadLayer(LWReader& aReader, LWObject* anObject)
{
    anObject->myLayers.push_back(std::make_unique<LWLayer>());
    LWLayer* locLayer = anObject->myLayers.back().get();
    anObject->myCurrentLayer = locLayer;
    if (!aReader.U2(&locLayer->myNumber) || !aReader.U2(&locLayer->myFlags) || !aReader.VEC12(&locLayer->myPivot) ||
        !aReader.S0(&locLayer->myName))
        return WALK_DAMAGED;
    // The parent field is optional: exactly two bytes left hold it; anything
    // else is skipped.
    if (aReader.Left() == 2 && !aReader.U2(&locLayer->myParent))
        return WALK_DAMAGED;
    return WALK_OK;
}

WalkResult locReadTags(LWReader& aReader, LWObject* anObject)
{
    while (aReader.Left() >= 2)
    {
        QC_String locTag;
        if (!aReader.S0(&locTag))
            return WALK_DAMAGED;
        anObject->myTags.push_back(std::move(locTag));
    }
    return WALK_OK;
}

WalkResult locReadPoints(LWReader& aReader, LWLayer* aLayer)
{
    uint32_t locCount = aReader.Left() / 12;
    aLayer->myPoints.reserve(aLayer->myPoints.size() + locCount);
    for (uint32_t i = 0; i < locCount; i++)
    {
        LWVec3 locPoint;
        aReader.VEC12(&locPoint);
        aLayer->myPoints.push_back(locPoint);
    }
    return WALK_OK;
}

WalkResult locReadVertexMap(LWReader& aReader, LWLayer* aLayer)
{
    LWVertexMap locMap;
    if (!aReader.ID4(&locMap.myType) || !aReader.U2(&locMap.myDimension) || !aReader.S0(&locMap.myName))
        return WALK_DAMAGED;
    const uint32_t locDimension = locMap.myDimension;
    const uint32_t locRecord = 2 + 4 * locDimension;
    locMap.myPoints.reserve(aReader.Left() / locRecord);
    locMap.myValues.reserve(aReader.Left() / locRecord * locDimension);
    while (aReader.Left() >= locRecord)
    {
        uint32_t locPoint;
        if (!aReader.VX(&locPoint))
            return WALK_DAMAGED;
        locMap.myPoints.push_back(locPoint);
        for (uint32_t d = 0; d < locDimension; d++)
        {
            float locValue;
            if (!aReader.F4(&locValue))
                return WALK_DAMAGED;
            locMap.myValues.push_back(locValue);
        }
    }
    aLayer->myVertexMaps.push_back(std::move(locMap));
    return WALK_OK;
}

WalkResult locReadPolyVertexMap(LWReader& aReader, LWLayer* aLayer)
{
    LWPolyVertexMap locMap;
    if (!aReader.ID4(&locMap.myType) || !aReader.U2(&locMap.myDimension) || !aReader.S0(&locMap.myName))
        return WALK_DAMAGED;
    const uint32_t locDimension = locMap.myDimension;
    const uint32_t locRecord = 4 + 4 * locDimension;
    while (aReader.Left() >= locRecord)
    {
        uint32_t locPoint, locPolygon;
        if (!aReader.VX(&locPoint) || !aReader.VX(&locPolygon))
            return WALK_DAMAGED;
        locMap.myPoints.push_back(locPoint);
        locMap.myPolygons.push_back(locPolygon);
        for (uint32_t d = 0; d < locDimension; d++)
        {
            float locValue;
            if (!aReader.F4(&locValue))
                return WALK_DAMAGED;
            locMap.myValues.push_back(locValue);
        }
    }
    aLayer->myPolyVertexMaps.push_back(std::move(locMap));
    return WALK_OK;
}

WalkResult locReadPolygons(LWReader& aReader, LWLayer* aLayer, const char* aFileName)
{
    LWPolygonList locList;
    if (!aReader.ID4(&locList.myType))
        return WALK_DAMAGED;
    // Only faces are kept; patches, curves and the rest are skipped whole.
    if ((locList.myType | 0x20202020) != (LWID("FACE") | 0x20202020))
        return WALK_OK;
    const uint32_t locNumPoints = (uint32_t)aLayer->myPoints.size();
    uint32_t locLayerPolygons = 0; // polygons of the layer's earlier lists, for the index an artist sees
    for (const LWPolygonList& locEarlier : aLayer->myPolygonLists)
        locLayerPolygons += (uint32_t)locEarlier.myPolygons.size();
    locList.myIndices.reserve(aReader.Left() / 2);
    while (aReader.Left() >= 2)
    {
        uint16_t locWord;
        aReader.U2(&locWord);
        LWPolygon locPolygon;
        locPolygon.myNumVertices = locWord & 0x3FF;
        locPolygon.myFlags = (uint8_t)((locWord >> 9) & 0x7E);
        locPolygon.myFirstIndex = (uint32_t)locList.myIndices.size();
        if (locPolygon.myNumVertices < 3)
        {
            LWSetPolygonDetail(aFileName, *aLayer, locLayerPolygons + (uint32_t)locList.myPolygons.size(),
                               locPolygon.myNumVertices, nullptr);
            return WALK_NOT_TRIPLED;
        }
        for (uint32_t i = 0; i < locPolygon.myNumVertices; i++)
        {
            uint32_t locIndex;
            if (!aReader.VX(&locIndex) || locIndex >= locNumPoints)
                return WALK_DAMAGED;
            locList.myIndices.push_back(locIndex);
        }
        locList.myPolygons.push_back(locPolygon);
    }
    aLayer->myPolygonLists.push_back(std::move(locList));
    return WALK_OK;
}

WalkResult locReadPolygonTags(LWReader& aReader, LWLayer* aLayer)
{
    LWPolygonTagList locList;
    if (!aReader.ID4(&locList.myType))
        return WALK_DAMAGED;
    locList.myEntries.reserve(aReader.Left() / 4);
    while (aReader.Left() >= 4)
    {
        LWPolygonTag locTag;
        if (!aReader.VX(&locTag.myPolygon) || !aReader.U2(&locTag.myTag))
            return WALK_DAMAGED;
        locList.myEntries.push_back(locTag);
    }
    aLayer->myPolygonTagLists.push_back(std::move(locList));
    return WALK_OK;
}

// DESC and TEXT: the chunk as text up to its first NUL, cut at the string limit.
WalkResult locReadDescription(LWReader& aReader, LWLayer* aLayer)
{
    uint32_t locCount = aReader.Left() < MAX_STRING ? aReader.Left() : MAX_STRING;
    std::vector<uint8_t> locText;
    aReader.Bytes(&locText, locCount);
    locText.push_back(0);
    aLayer->myDescription.Set(reinterpret_cast<const char*>(locText.data()));
    return WALK_OK;
}

// A chunk read into a new record appended to the object's list.
template <class Record>
WalkResult locReadOwned(LWReader& aReader, bool (*aReadBody)(LWReader&, Record*),
                        std::vector<std::unique_ptr<Record>>* aList)
{
    auto locRecord = std::make_unique<Record>();
    if (!aReadBody(aReader, locRecord.get()))
        return WALK_DAMAGED;
    aList->push_back(std::move(locRecord));
    return WALK_OK;
}

WalkResult locReadChunk(LWReader& aReader, LWObject* anObject, uint32_t anId, const char* aFileName)
{
    LWLayer* locLayer = anObject->myCurrentLayer;
    switch (anId)
    {
        case LWID("LAYR"):
            return locReadLayer(aReader, anObject);
        case LWID("TAGS"):
            return locReadTags(aReader, anObject);
        case LWID("PNTS"):
            return locReadPoints(aReader, locLayer);
        case LWID("BBOX"):
            return aReader.VEC12(&locLayer->myBoundingBox[0]) && aReader.VEC12(&locLayer->myBoundingBox[1])
                       ? WALK_OK
                       : WALK_DAMAGED;
        case LWID("VMAP"):
            return locReadVertexMap(aReader, locLayer);
        case LWID("VMAD"):
            return locReadPolyVertexMap(aReader, locLayer);
        case LWID("POLS"):
            return locReadPolygons(aReader, locLayer, aFileName);
        case LWID("PTAG"):
            return locReadPolygonTags(aReader, locLayer);
        case LWID("CLIP"):
            return locReadOwned(aReader, LWReadClip, &anObject->myClips);
        case LWID("SURF"):
            return locReadOwned(aReader, LWReadSurface, &anObject->mySurfaces);
        case LWID("ENVL"):
            return locReadOwned(aReader, LWReadEnvelope, &anObject->myEnvelopes);
        case LWID("DESC"):
        case LWID("TEXT"):
            return locReadDescription(aReader, locLayer);
        case LWID("ICON"):
            return WALK_OK;
        default:
            aReader.NoteSkipped(anId);
            return WALK_OK;
    }
}

} // namespace

bool LWReader::S0(QC_String* aString)
{
    std::string locText;
    const uint32_t locStart = myFile.myFilePos;
    for (;;)
    {
        uint8_t locChar;
        if (!U1(&locChar))
            return false; // no NUL before the end of the chunk
        if (locChar == 0)
            break;
        if (locText.size() < MAX_STRING)
            locText += (char)locChar;
    }
    // With its NUL the string takes an even number of bytes.
    uint8_t locPad;
    if ((myFile.myFilePos - locStart) & 1)
        U1(&locPad);
    aString->Set(locText.c_str());
    return true;
}

std::string LWChunkIdText(const std::vector<uint32_t>& anIds)
{
    std::string locText;
    for (uint32_t locId : anIds)
    {
        if (!locText.empty())
            locText += ' ';
        for (int i = 3; i >= 0; i--)
        {
            char locChar = (char)(locId >> (8 * i));
            locText += (locChar >= 32 && locChar < 127) ? locChar : '?';
        }
    }
    return locText;
}

void LWAppendChunkNotes(const LWObject& anObject)
{
    if (!anObject.mySkippedChunks.empty())
        AppendErrorDetail("skipped chunks: %s", LWChunkIdText(anObject.mySkippedChunks).c_str());
    if (!anObject.myShortChunks.empty())
        AppendErrorDetail("short sub-chunks: %s", LWChunkIdText(anObject.myShortChunks).c_str());
}

void LWSetPolygonDetail(const char* aFileName, const LWLayer& aLayer, uint32_t aPolygon, uint32_t aCorners,
                        const LWObject* anObject)
{
    if (aLayer.myNumber == LW_DEFAULT_LAYER)
        SetErrorDetail("File: '%s', default layer, polygon %u: %u corners", aFileName, aPolygon, aCorners);
    else
        SetErrorDetail("File: '%s', layer %d '%s', polygon %u: %u corners", aFileName, aLayer.myNumber + 1,
                       aLayer.myName.GetBuffer(), aPolygon, aCorners);
    if (anObject)
        LWAppendChunkNotes(*anObject);
}

LWObject::LWObject()
{
    myLayers.push_back(std::make_unique<LWLayer>());
    myCurrentLayer = myLayers.back().get();
}

LWObject* LoadLWO2(QF_File& aFile, const char* aFileName)
{
    SetErrorDetail("File: '%s'", aFileName);
    auto locObject = std::make_unique<LWObject>();
    LWReader locReader(aFile);
    uint32_t locId = 0, locFormSize = 0, locFormType = 0;
    if (!locReader.ID4(&locId) || locId != LWID("FORM") || !locReader.U4(&locFormSize) ||
        !locReader.ID4(&locFormType) || locFormType != LWID("LWO2"))
    {
        EditorError::Set(EDITOR_ERROR_INVALID_LWO);
        return nullptr;
    }
    // The walk covers the form's extent, clipped to the file.
    uint64_t locFormEnd = 8 + (uint64_t)locFormSize;
    if (locFormEnd > aFile.myFileSize)
        locFormEnd = aFile.myFileSize;
    uint32_t locWalkSize = locFormEnd > 12 ? (uint32_t)(locFormEnd - 12) : 0;
    LWReader::Scope locForm;
    locReader.Enter(locWalkSize, &locForm);
    while (locReader.Left() >= 8)
    {
        uint32_t locSize = 0;
        locReader.ID4(&locId);
        locReader.U4(&locSize);
        LWReader::Scope locChunk;
        if (!locReader.Enter(locSize, &locChunk))
        {
            EditorError::Set(EDITOR_ERROR_INVALID_LWO);
            return nullptr;
        }
        WalkResult locResult = locReadChunk(locReader, locObject.get(), locId, aFileName);
        if (locResult != WALK_OK)
        {
            locObject->mySkippedChunks = locReader.GetSkipped();
            locObject->myShortChunks = locReader.GetShort();
            LWAppendChunkNotes(*locObject);
            EditorError::Set(locResult == WALK_NOT_TRIPLED ? EDITOR_ERROR_NOT_TRIANGULATED : EDITOR_ERROR_INVALID_LWO);
            return nullptr;
        }
        locReader.Leave(locChunk);
    }
    locObject->mySkippedChunks = locReader.GetSkipped();
    locObject->myShortChunks = locReader.GetShort();
    if (!locObject->mySkippedChunks.empty())
        QC_Debug::Printf("LoadLWO2: '%s': skipped unknown chunks %s", aFileName,
                         LWChunkIdText(locObject->mySkippedChunks).c_str());
    if (!locObject->myShortChunks.empty())
        QC_Debug::Printf("LoadLWO2: '%s': sub-chunks shorter than their fields %s", aFileName,
                         LWChunkIdText(locObject->myShortChunks).c_str());
    locObject->myName.Set(aFileName);
    locObject->myName.MakeUpper();
    return locObject.release();
}

LWObject* LoadLWO2(const char* aFileName)
{
    SetErrorDetail("File: '%s'", aFileName);
    QF_File locFile;
    if (!locFile.Open(aFileName, QF_READ | QF_SWAP_BYTES))
    {
        EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
        return nullptr;
    }
    LWObject* locObject = LoadLWO2(locFile, aFileName);
    locFile.Close();
    return locObject;
}
