// LWO2 objects and LightWave scene and motion text written for tests, fuzz
// seeds and the bench.
#include "modeleditor/lw_writer.h"

#include <string.h>

#include <charconv>

#include "qcommon/qc_assert.h"
#include "qfile/render/qf_file.h"

namespace
{
bool locSaveBytes(const char* aPath, const void* aData, size_t aSize)
{
    QF_File locFile;
    if (!locFile.Open(aPath, QF_WRITE | QF_CREATE_ALWAYS))
        return false;
    bool locWritten = aSize == 0 || locFile.Write(aData, (uint32_t)aSize);
    return locFile.Close() && locWritten;
}
} // namespace

LWO2Writer::LWO2Writer(const char* aFormType)
{
    BeginChunk("FORM");
    ID4(aFormType);
}

void LWO2Writer::ID4(const char* anId)
{
    QC_ASSERT(strlen(anId) == 4);
    Bytes(anId, 4);
}

void LWO2Writer::U1(uint8_t aValue)
{
    myBytes.push_back(aValue);
}

void LWO2Writer::U2(uint16_t aValue)
{
    myBytes.push_back((uint8_t)(aValue >> 8));
    myBytes.push_back((uint8_t)aValue);
}

void LWO2Writer::U4(uint32_t aValue)
{
    for (int i = 3; i >= 0; i--)
        myBytes.push_back((uint8_t)(aValue >> (8 * i)));
}

void LWO2Writer::F4(float aValue)
{
    uint32_t locBits;
    memcpy(&locBits, &aValue, 4);
    U4(locBits);
}

void LWO2Writer::VEC12(float anX, float aY, float aZ)
{
    F4(anX);
    F4(aY);
    F4(aZ);
}

void LWO2Writer::VX(uint32_t anIndex, bool aLongForm)
{
    if (anIndex < 0xFF00 && !aLongForm)
        U2((uint16_t)anIndex);
    else
        U4(0xFF000000 | (anIndex & 0xFFFFFF));
}

void LWO2Writer::S0(const char* aString)
{
    size_t locLength = strlen(aString);
    Bytes(aString, locLength + 1);
    if ((locLength & 1) == 0)
        U1(0);
}

void LWO2Writer::Bytes(const void* aData, size_t aSize)
{
    const uint8_t* locData = static_cast<const uint8_t*>(aData);
    myBytes.insert(myBytes.end(), locData, locData + aSize);
}

void LWO2Writer::BeginChunk(const char* anId)
{
    ID4(anId);
    myOpen.push_back({myBytes.size(), false});
    U4(0);
}

void LWO2Writer::BeginSubChunk(const char* anId)
{
    ID4(anId);
    myOpen.push_back({myBytes.size(), true});
    U2(0);
}

void LWO2Writer::EndChunk()
{
    QC_ASSERT(!myOpen.empty() && !myOpen.back().second);
    size_t locField = myOpen.back().first;
    myOpen.pop_back();
    size_t locSize = myBytes.size() - locField - 4;
    for (int i = 0; i < 4; i++)
        myBytes[locField + i] = (uint8_t)(locSize >> (8 * (3 - i)));
    if (locSize & 1)
        U1(0);
    myLastSizeField = locField;
    myLastWasSubChunk = false;
}

void LWO2Writer::EndSubChunk()
{
    QC_ASSERT(!myOpen.empty() && myOpen.back().second);
    size_t locField = myOpen.back().first;
    myOpen.pop_back();
    size_t locSize = myBytes.size() - locField - 2;
    QC_ASSERT(locSize < 0x10000);
    myBytes[locField] = (uint8_t)(locSize >> 8);
    myBytes[locField + 1] = (uint8_t)locSize;
    if (locSize & 1)
        U1(0);
    myLastSizeField = locField;
    myLastWasSubChunk = true;
}

void LWO2Writer::PatchLastSize(uint32_t aSize)
{
    if (myLastWasSubChunk)
    {
        myBytes[myLastSizeField] = (uint8_t)(aSize >> 8);
        myBytes[myLastSizeField + 1] = (uint8_t)aSize;
    }
    else
        for (int i = 0; i < 4; i++)
            myBytes[myLastSizeField + i] = (uint8_t)(aSize >> (8 * (3 - i)));
}

void LWO2Writer::Layer(uint16_t aNumber, const char* aName, int aParent, LWVec3 aPivot)
{
    BeginChunk("LAYR");
    U2(aNumber);
    U2(0);
    VEC12(aPivot.x, aPivot.y, aPivot.z);
    S0(aName);
    if (aParent >= 0)
        U2((uint16_t)aParent);
    EndChunk();
}

void LWO2Writer::Points(const std::vector<LWVec3>& aPoints)
{
    BeginChunk("PNTS");
    for (const LWVec3& locPoint : aPoints)
        VEC12(locPoint.x, locPoint.y, locPoint.z);
    EndChunk();
}

void LWO2Writer::Polygons(const std::vector<std::vector<uint32_t>>& aPolygons, const char* aType)
{
    BeginChunk("POLS");
    ID4(aType);
    for (const std::vector<uint32_t>& locPolygon : aPolygons)
    {
        U2((uint16_t)(locPolygon.size() & 0x3FF));
        for (uint32_t locIndex : locPolygon)
            VX(locIndex);
    }
    EndChunk();
}

void LWO2Writer::Tags(const std::vector<std::string>& aTags)
{
    BeginChunk("TAGS");
    for (const std::string& locTag : aTags)
        S0(locTag.c_str());
    EndChunk();
}

void LWO2Writer::PolygonTags(const char* aType, const std::vector<std::pair<uint32_t, uint16_t>>& anEntries)
{
    BeginChunk("PTAG");
    ID4(aType);
    for (const auto& locEntry : anEntries)
    {
        VX(locEntry.first);
        U2(locEntry.second);
    }
    EndChunk();
}

void LWO2Writer::VertexMap(const char* aType, uint16_t aDimension, const char* aName,
                           const std::vector<MapEntry>& anEntries)
{
    Map("VMAP", aType, aDimension, aName, anEntries);
}

void LWO2Writer::PolyVertexMap(const char* aType, uint16_t aDimension, const char* aName,
                               const std::vector<MapEntry>& anEntries)
{
    Map("VMAD", aType, aDimension, aName, anEntries);
}

void LWO2Writer::Map(const char* anId, const char* aType, uint16_t aDimension, const char* aName,
                     const std::vector<MapEntry>& anEntries)
{
    BeginChunk(anId);
    ID4(aType);
    U2(aDimension);
    S0(aName);
    for (const MapEntry& locEntry : anEntries)
    {
        VX(locEntry.myPoint);
        if (anId[3] == 'D')
            VX(locEntry.myPolygon);
        for (uint16_t d = 0; d < aDimension; d++)
            F4(d < locEntry.myValues.size() ? locEntry.myValues[d] : 0.0f);
    }
    EndChunk();
}

void LWO2Writer::StillClip(uint32_t anIndex, const char* aFileName)
{
    BeginChunk("CLIP");
    U4(anIndex);
    BeginSubChunk("STIL");
    S0(aFileName);
    EndSubChunk();
    EndChunk();
}

void LWO2Writer::BeginSurface(const char* aName, const char* aSource)
{
    BeginChunk("SURF");
    S0(aName);
    S0(aSource);
}

void LWO2Writer::SurfaceValue(const char* anId, float aValue)
{
    BeginSubChunk(anId);
    F4(aValue);
    VX(0);
    EndSubChunk();
}

void LWO2Writer::SurfaceU2(const char* anId, uint16_t aValue)
{
    BeginSubChunk(anId);
    U2(aValue);
    EndSubChunk();
}

void LWO2Writer::SurfaceSmoothing(float aRadians)
{
    BeginSubChunk("SMAN");
    F4(aRadians);
    EndSubChunk();
}

void LWO2Writer::SurfaceVertexColours(const char* aType, const char* aMapName)
{
    BeginSubChunk("VCOL");
    F4(1.0f);
    VX(0);
    ID4(aType);
    S0(aMapName);
    EndSubChunk();
}

void LWO2Writer::SurfaceBlock(const Block& aBlock)
{
    BeginSubChunk("BLOK");
    BeginSubChunk(aBlock.myType);
    S0("\x80");
    BeginSubChunk("CHAN");
    ID4(aBlock.myChannel);
    EndSubChunk();
    BeginSubChunk("ENAB");
    U2(1);
    EndSubChunk();
    EndSubChunk();
    BeginSubChunk("TMAP");
    BeginSubChunk("CNTR");
    VEC12(0, 0, 0);
    VX(0);
    EndSubChunk();
    if (aBlock.myReferenceObject)
    {
        BeginSubChunk("OREF");
        S0(aBlock.myReferenceObject);
        EndSubChunk();
    }
    EndSubChunk();
    BeginSubChunk("PROJ");
    U2(aBlock.myProjection);
    EndSubChunk();
    if (aBlock.myImage != LW_NO_IMAGE)
    {
        BeginSubChunk("IMAG");
        VX(aBlock.myImage);
        EndSubChunk();
    }
    if (aBlock.myUVMap)
    {
        BeginSubChunk("VMAP");
        S0(aBlock.myUVMap);
        EndSubChunk();
    }
    for (const auto& locExtra : aBlock.myExtra)
    {
        BeginSubChunk(locExtra.first.c_str());
        Bytes(locExtra.second.data(), locExtra.second.size());
        EndSubChunk();
    }
    EndSubChunk();
}

std::vector<uint8_t> LWO2Writer::GetBytes() const
{
    QC_ASSERT(myOpen.size() == 1);
    std::vector<uint8_t> locBytes = myBytes;
    size_t locSize = locBytes.size() - 8;
    for (int i = 0; i < 4; i++)
        locBytes[4 + i] = (uint8_t)(locSize >> (8 * (3 - i)));
    return locBytes;
}

bool LWO2Writer::Save(const char* aPath) const
{
    std::vector<uint8_t> locBytes = GetBytes();
    return locSaveBytes(aPath, locBytes.data(), locBytes.size());
}

LWSceneText& LWSceneText::Line(const std::string& aLine)
{
    myText += aLine;
    myText += "\r\n";
    return *this;
}

LWSceneText& LWSceneText::SceneHeader()
{
    return Line("LWSC").Line("3").Line("");
}

LWSceneText& LWSceneText::MotionHeader()
{
    return Line("LWMO").Line("3").Line("");
}

LWSceneText& LWSceneText::Envelope(const std::vector<std::vector<LWTextKey>>& aChannels, bool aChannelLines, int aPre,
                                   int aPost)
{
    if (aChannelLines)
        Line("NumChannels " + std::to_string(aChannels.size()));
    for (size_t c = 0; c < aChannels.size(); c++)
    {
        if (aChannelLines)
            Line("Channel " + std::to_string(c));
        Line("{ Envelope");
        Line("  " + std::to_string(aChannels[c].size()));
        for (const LWTextKey& locKey : aChannels[c])
        {
            std::string locLine = "  Key " + Number(locKey.myValue) + " " + Number(locKey.myTime) + " " +
                                  std::to_string(locKey.myShape);
            for (float locParameter : locKey.myParameters)
                locLine += " " + Number(locParameter);
            Line(locLine);
        }
        Line("  Behaviors " + std::to_string(aPre) + " " + std::to_string(aPost));
        Line("}");
    }
    return *this;
}

bool LWSceneText::Save(const char* aPath) const
{
    return locSaveBytes(aPath, myText.data(), myText.size());
}

std::string LWSceneText::Number(double aValue)
{
    char locBuffer[64];
    std::to_chars_result locResult = std::to_chars(locBuffer, locBuffer + sizeof(locBuffer), aValue);
    return std::string(locBuffer, locResult.ptr);
}

bool WriteLWBoxObject(const char* aPath, float aHalf)
{
    const float h = aHalf;
    LWO2Writer w;
    w.Tags({"Default"});
    w.Layer(0, "box");
    w.Points({{-h, -h, -h}, {h, -h, -h}, {h, h, -h}, {-h, h, -h}, {-h, -h, h}, {h, -h, h}, {h, h, h}, {-h, h, h}});
    w.Polygons({{0, 1, 2}, {0, 2, 3}, {7, 6, 5}, {7, 5, 4}, {0, 4, 5}, {0, 5, 1}, {1, 5, 6}, {1, 6, 2}, {2, 6, 7},
                {2, 7, 3}, {3, 7, 4}, {3, 4, 0}});
    std::vector<std::pair<uint32_t, uint16_t>> locTags;
    for (uint32_t i = 0; i < 12; i++)
        locTags.push_back({i, 0});
    w.PolygonTags("SURF", locTags);
    w.BeginSurface("Default");
    w.EndSurface();
    return w.Save(aPath);
}
