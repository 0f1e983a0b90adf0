// Writers of LightWave files for tests, fuzz seeds and the bench: LWO2
// objects built chunk by chunk, and scene and motion-file text.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "modeleditor/lw_object.h"

class LWO2Writer
{
public:
    // Starts the FORM of type aFormType.
    explicit LWO2Writer(const char* aFormType = "LWO2");

    // Fields, big-endian.
    void ID4(const char* anId);
    void U1(uint8_t aValue);
    void U2(uint16_t aValue);
    void U4(uint32_t aValue);
    void F4(float aValue);
    void VEC12(float anX, float aY, float aZ);
    // Two bytes below 0xFF00, else (or when asked) the four-byte form.
    void VX(uint32_t anIndex, bool aLongForm = false);
    // With its NUL and the pad byte that makes the count even.
    void S0(const char* aString);
    void Bytes(const void* aData, size_t aSize);

    // Chunks (U4 size) and sub-chunks (U2 size) nest; End patches the size
    // and adds the pad byte of an odd size.
    void BeginChunk(const char* anId);
    void EndChunk();
    void BeginSubChunk(const char* anId);
    void EndSubChunk();
    // A chunk or sub-chunk with a declared size that is not its real one.
    void PatchLastSize(uint32_t aSize);

    // Whole chunks.
    void Layer(uint16_t aNumber, const char* aName, int aParent = -1, LWVec3 aPivot = {0, 0, 0});
    void Points(const std::vector<LWVec3>& aPoints);
    void Polygons(const std::vector<std::vector<uint32_t>>& aPolygons, const char* aType = "FACE");
    void Tags(const std::vector<std::string>& aTags);
    void PolygonTags(const char* aType, const std::vector<std::pair<uint32_t, uint16_t>>& anEntries);
    struct MapEntry
    {
        uint32_t myPoint;
        uint32_t myPolygon; // VMAD only
        std::vector<float> myValues;
    };
    void VertexMap(const char* aType, uint16_t aDimension, const char* aName, const std::vector<MapEntry>& anEntries);
    void PolyVertexMap(const char* aType, uint16_t aDimension, const char* aName,
                       const std::vector<MapEntry>& anEntries);
    void StillClip(uint32_t anIndex, const char* aFileName);

    // A surface: BeginSurface, its sub-chunks, EndSurface.
    void BeginSurface(const char* aName, const char* aSource = "");
    // A value with its envelope index (0: none) such as DIFF or GLOS.
    void SurfaceValue(const char* anId, float aValue);
    void SurfaceU2(const char* anId, uint16_t aValue);
    void SurfaceSmoothing(float aRadians);
    void SurfaceVertexColours(const char* aType, const char* aMapName);
    struct Block
    {
        const char* myType = "IMAP";
        const char* myChannel = "COLR";
        uint16_t myProjection = 5; // UV
        uint32_t myImage = 1;      // clip index; LW_NO_IMAGE writes no IMAG
        const char* myUVMap = "UV";
        const char* myReferenceObject = nullptr; // TMAP/OREF when set
        // Attribute sub-chunks written as given after the others: ID and body.
        std::vector<std::pair<std::string, std::vector<uint8_t>>> myExtra;
    };
    void SurfaceBlock(const Block& aBlock);
    void EndSurface() { EndChunk(); }

    // The finished file; the writer stays usable for more chunks.
    std::vector<uint8_t> GetBytes() const;
    // Written through the renderer build's file object.
    bool Save(const char* aPath) const;

private:
    // VMAP, or VMAD with the polygon of each entry.
    void Map(const char* anId, const char* aType, uint16_t aDimension, const char* aName,
             const std::vector<MapEntry>& anEntries);

    std::vector<uint8_t> myBytes;
    std::vector<std::pair<size_t, bool>> myOpen; // offset of each open size field, sub-chunk flag
    size_t myLastSizeField = 0;
    bool myLastWasSubChunk = false;
};

// One key line of a scene or motion envelope.
struct LWTextKey
{
    float myValue = 0;
    float myTime = 0;
    int myShape = 3; // linear
    float myParameters[6] = {0, 0, 0, 0, 0, 0};
};

// Scene and motion-file text; lines end with CR LF, numbers in the C locale.
class LWSceneText
{
public:
    LWSceneText& Line(const std::string& aLine);
    // "LWSC", "3" and an empty line.
    LWSceneText& SceneHeader();
    // "LWMO", "3" and an empty line.
    LWSceneText& MotionHeader();
    // An envelope group: with aChannelLines a NumChannels line and a Channel
    // line per channel (motions), else the bare channels (colours, ranges).
    LWSceneText& Envelope(const std::vector<std::vector<LWTextKey>>& aChannels, bool aChannelLines, int aPre = 1,
                          int aPost = 1);
    const std::string& GetText() const { return myText; }
    bool Save(const char* aPath) const;

    static std::string Number(double aValue);

private:
    std::string myText;
};

// A box of twelve triangles (half size aHalf) in one layer "box" with the
// surface "Default", saved as an LWO2 file; false when the write failed.
bool WriteLWBoxObject(const char* aPath, float aHalf = 1.0f);
