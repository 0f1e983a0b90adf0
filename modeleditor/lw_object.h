// A LightWave object (LWO2) read into memory: layers with their points,
// vertex maps, polygons and tags, the tag strings, surfaces with their
// texture blocks, image clips and envelopes, all in file order.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "qcommon/qc_string.h"

class QF_File;

// Four-character chunk and type codes, first character in the high byte.
constexpr uint32_t LWID(const char (&anId)[5])
{
    return ((uint32_t)(uint8_t)anId[0] << 24) | ((uint32_t)(uint8_t)anId[1] << 16) |
           ((uint32_t)(uint8_t)anId[2] << 8) | (uint32_t)(uint8_t)anId[3];
}

constexpr uint32_t LW_NO_ENVELOPE = 0xFFFFFFFF;
constexpr uint32_t LW_NO_IMAGE = 0xFFFFFFFF;
constexpr uint16_t LW_DEFAULT_LAYER = 0xFFFF;
constexpr uint16_t LW_NO_PARENT = 0xFFFF;

struct LWVec3
{
    float x, y, z;
};

// One VMAP chunk: per entry a point index and myDimension values.
struct LWVertexMap
{
    uint32_t myType = 0;
    uint16_t myDimension = 0;
    QC_String myName;
    std::vector<uint32_t> myPoints;
    std::vector<float> myValues; // myPoints.size() x myDimension

    const float* GetValues(size_t anEntry) const { return myValues.data() + anEntry * myDimension; }
};

// One VMAD chunk: values per polygon corner.
struct LWPolyVertexMap
{
    uint32_t myType = 0;
    uint16_t myDimension = 0;
    QC_String myName;
    std::vector<uint32_t> myPoints;
    std::vector<uint32_t> myPolygons;
    std::vector<float> myValues; // entries x myDimension

    const float* GetValues(size_t anEntry) const { return myValues.data() + anEntry * myDimension; }
};

struct LWPolygon
{
    uint8_t myFlags;        // the six flag bits of the count word, (word >> 9) & 0x7E
    uint16_t myNumVertices; // 3 to 1023
    uint32_t myFirstIndex;  // into the list's myIndices
};

// One POLS chunk of type FACE.
struct LWPolygonList
{
    uint32_t myType = 0;
    std::vector<LWPolygon> myPolygons;
    std::vector<uint32_t> myIndices; // point indices of every polygon, in file order

    const uint32_t* GetIndices(const LWPolygon& aPolygon) const { return &myIndices[aPolygon.myFirstIndex]; }
};

struct LWPolygonTag
{
    uint32_t myPolygon; // counts the layer's polygons across its lists
    uint16_t myTag;     // index into the object's tags
};

// One PTAG chunk.
struct LWPolygonTagList
{
    uint32_t myType = 0;
    std::vector<LWPolygonTag> myEntries;
};

struct LWLayer
{
    uint16_t myNumber = LW_DEFAULT_LAYER;
    uint16_t myFlags = 0;
    LWVec3 myPivot = {0, 0, 0};
    QC_String myName;
    uint16_t myParent = LW_NO_PARENT;
    LWVec3 myBoundingBox[2] = {{0, 0, 0}, {0, 0, 0}};
    std::vector<LWVec3> myPoints;
    std::vector<LWVertexMap> myVertexMaps;
    std::vector<LWPolyVertexMap> myPolyVertexMaps;
    std::vector<LWPolygonList> myPolygonLists;
    std::vector<LWPolygonTagList> myPolygonTagLists;
    QC_String myDescription;
};

// One BLOK sub-chunk of a surface.
struct LWTextureBlock
{
    uint32_t myType = 0;
    QC_String myOrdinal;
    uint32_t myChannel = 0;
    uint16_t myEnabled = 1;
    uint16_t myOpacityType = 255;
    float myOpacity = 1.0f;
    uint32_t myOpacityEnvelope = LW_NO_ENVELOPE;
    LWVec3 myCentre = {0, 0, 0};
    uint32_t myCentreEnvelope = LW_NO_ENVELOPE;
    LWVec3 mySize = {0, 0, 0};
    uint32_t mySizeEnvelope = LW_NO_ENVELOPE;
    LWVec3 myRotation = {0, 0, 0};
    uint32_t myRotationEnvelope = LW_NO_ENVELOPE;
    uint16_t myFalloffType = 0;
    LWVec3 myFalloff = {0, 0, 0};
    uint32_t myFalloffEnvelope = LW_NO_ENVELOPE;
    QC_String myReferenceObject; // "(none)" is stored empty
    uint16_t myCoordinateSystem = 0;
    uint16_t myProjection = 0; // 5: UV
    uint16_t myAxis = 0;
    uint32_t myImage = LW_NO_IMAGE; // a clip index
    uint16_t myWrapWidth = 2, myWrapHeight = 2;
    float myWrapAmountWidth = 1.0f;
    uint32_t myWrapAmountWidthEnvelope = LW_NO_ENVELOPE;
    float myWrapAmountHeight = 1.0f;
    uint32_t myWrapAmountHeightEnvelope = LW_NO_ENVELOPE;
    QC_String myUVMapName;
    uint16_t myAntialiasingFlags = 0;
    float myAntialiasingStrength = 1.0f;
    uint16_t myPixelBlending = 0;
    float myValues[3] = {0, 0, 0};
    int myNumValues = 0;
    QC_String myParameterName;
    QC_String myItemName;
    float myGradientStart = 0.0f, myGradientEnd = 1.0f;
    uint16_t myGradientRepeat = 0;
    std::vector<float> myGradientInputs;
    std::vector<float> myGradientOutputs; // 4 per key
    std::vector<uint16_t> myGradientInterpolations;
    QC_String myFunctionName;
    std::vector<uint8_t> myFunctionData;
};

struct LWSurface
{
    QC_String myName, mySourceName;
    LWVec3 myColour = {0, 0, 0};
    uint32_t myColourEnvelope = LW_NO_ENVELOPE;
    float myDiffuse = 0, myLuminosity = 0, mySpecular = 0, myReflection = 0, myTransparency = 0,
          myTranslucency = 0, myGlossiness = 0.4f, mySharpness = 0, myBump = 0;
    uint32_t myDiffuseEnvelope = LW_NO_ENVELOPE, myLuminosityEnvelope = LW_NO_ENVELOPE,
             mySpecularEnvelope = LW_NO_ENVELOPE, myReflectionEnvelope = LW_NO_ENVELOPE,
             myTransparencyEnvelope = LW_NO_ENVELOPE, myTranslucencyEnvelope = LW_NO_ENVELOPE,
             myGlossinessEnvelope = LW_NO_ENVELOPE, mySharpnessEnvelope = LW_NO_ENVELOPE,
             myBumpEnvelope = LW_NO_ENVELOPE;
    uint16_t mySidedness = 1;
    float mySmoothingAngle = 6.2832f; // radians
    uint16_t myReflectionOptions = 3;
    uint32_t myReflectionImage = 0;
    float myReflectionSeamAngle = 0;
    uint32_t myReflectionSeamAngleEnvelope = LW_NO_ENVELOPE;
    float myRefractiveIndex = 1.0f;
    uint32_t myRefractiveIndexEnvelope = LW_NO_ENVELOPE;
    float myColourHighlights = 0;
    uint32_t myColourHighlightsEnvelope = LW_NO_ENVELOPE;
    uint16_t myTransparencyOptions = 3;
    uint32_t myRefractionImage = 0;
    float myColourFilter = 0;
    uint32_t myColourFilterEnvelope = LW_NO_ENVELOPE;
    float myAdditiveTransparency = 0;
    uint32_t myAdditiveTransparencyEnvelope = LW_NO_ENVELOPE;
    uint16_t myGlowType = 0;
    float myGlowIntensity = 0, myGlowSize = 0;
    uint32_t myGlowIntensityEnvelope = LW_NO_ENVELOPE, myGlowSizeEnvelope = LW_NO_ENVELOPE;
    uint16_t myLineFlags = 0;
    float myLineSize = 0;
    uint32_t myLineSizeEnvelope = LW_NO_ENVELOPE;
    LWVec3 myLineColour = {0, 0, 0};
    uint32_t myLineColourEnvelope = LW_NO_ENVELOPE;
    uint16_t myAlphaMode = 2;
    float myAlphaValue = 0;
    uint32_t myVertexColourMapType = 0;
    QC_String myVertexColourMapName;
    std::vector<LWTextureBlock> myBlocks;
    int myFirstColourImage = -1; // index into myBlocks of the first IMAP block on COLR, or -1
};

// One sub-chunk of a CLIP; the ID tells which of the kinds below it is.
struct LWClipItem
{
    uint32_t myId = 0;
    virtual ~LWClipItem() = default;
};

struct LWClipStill : LWClipItem
{
    QC_String myFileName;
};

struct LWClipSequence : LWClipItem
{
    uint8_t myDigits = 0, myFlags = 0;
    uint16_t myOffset = 0;
    QC_String myPrefix, mySuffix;
};

struct LWClipAnim : LWClipItem
{
    QC_String myFileName, myServerName;
    uint16_t myFlags = 0;
    std::vector<uint8_t> myData;
};

struct LWClipCycle : LWClipItem
{
    uint16_t myLow = 0, myHigh = 0;
    QC_String myName;
};

// CONT, BRIT, SATR, HUE and GAMM hold a value; NEGA holds a flag.
struct LWClipValue : LWClipItem
{
    float myValue = 0;
    uint32_t myEnvelope = LW_NO_ENVELOPE;
    uint16_t myFlag = 0;
};

// IFLT and PFLT.
struct LWClipFilter : LWClipItem
{
    QC_String myServerName;
    uint16_t myFlags = 0;
    std::vector<uint8_t> myData;
};

struct LWClip
{
    uint32_t myIndex = 0;
    std::vector<std::unique_ptr<LWClipItem>> myItems;
};

struct LWEnvelopeKey
{
    float myTime, myValue;
};

struct LWEnvelopeSpan
{
    uint32_t myCurveType;
    std::vector<float> myParameters;
};

struct LWEnvelope
{
    uint32_t myIndex = 0;
    uint8_t myUserFormat = 0, myType = 0;
    uint16_t myPreBehaviour = 0, myPostBehaviour = 0;
    std::vector<LWEnvelopeKey> myKeys;
    std::vector<LWEnvelopeSpan> mySpans;
    QC_String myChannelServer;
    uint16_t myChannelFlags = 0;
    std::vector<uint8_t> myChannelData;
    QC_String myName;
};

class LWObject
{
public:
    LWObject();

    std::vector<QC_String> myTags;
    std::vector<std::unique_ptr<LWClip>> myClips;
    std::vector<std::unique_ptr<LWSurface>> mySurfaces;
    std::vector<std::unique_ptr<LWEnvelope>> myEnvelopes;
    // Starts with the default layer (number 0xFFFF), then the file's layers in order.
    std::vector<std::unique_ptr<LWLayer>> myLayers;
    LWLayer* myCurrentLayer; // owned by myLayers
    QC_String myName;        // the file name as passed, upper-cased
    // IDs of unknown chunks and sub-chunks that were skipped, and of known
    // sub-chunks shorter than their fields, each once, in the order met.
    std::vector<uint32_t> mySkippedChunks;
    std::vector<uint32_t> myShortChunks;
};

// Reads an LWO2 file. Null with EditorError set (1: cannot be opened,
// 2: not LWO2 or damaged, 7: a face of fewer than 3 points, the detail
// naming the layer, the polygon and its corners).
LWObject* LoadLWO2(const char* aFileName);
// The same over a file opened for reading with QF_SWAP_BYTES; the caller
// closes the file. aFileName only names the object and the detail text.
LWObject* LoadLWO2(QF_File& aFile, const char* aFileName);

// The detail of a polygon the importer refuses: the file, the layer (as
// LightWave numbers it, from 1), the polygon's index within the layer and its
// corner count, then the object's chunk notes.
void LWSetPolygonDetail(const char* aFileName, const LWLayer& aLayer, uint32_t aPolygon, uint32_t aCorners,
                        const LWObject* anObject);
// Appends the skipped and short chunk IDs of anObject to the error detail.
void LWAppendChunkNotes(const LWObject& anObject);
// "ABCD EFGH": four-character IDs, unprintable bytes as '?'.
std::string LWChunkIdText(const std::vector<uint32_t>& anIds);
