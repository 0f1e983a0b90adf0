// Whole ".qrb" files as the model editor writes them, byte for byte, laid out over the
// pieces of qr_qrb_writer.h: parts with their states and meshes (a mesh met again in the
// same file is named, not stored), particle links, expression texts and lights. For tests,
// fuzz seeds, the sample-model generator and the bench.
#pragma once

#include <string>
#include <vector>

#include "qrender/tests/qr_qrb_writer.h"

struct QRB_TestState
{
    uint32_t myId = 0;
    int32_t myParent = -1;
    uint32_t myVisible = 1;
    uint32_t myRemembered = 0;
    float myBlendTime = 0.0f;
    float myDuration = 0.0f;
    int32_t myNextState = -1;
    uint32_t myRestarts = 0;
    QRB_TestPath myPath = QRB_TestPath::Constant({0, 0, 0, 0, 0, 0});
};

struct QRB_TestTextureSlot
{
    uint32_t myKind = 0; // 0 texture, 1 bump map
    float myFramesPerSecond = 1.0f;
    std::vector<std::string> myNames;
};

struct QRB_TestPart
{
    std::string myName = "part";
    float myMaxDistanceSquared = 1.0e15f;
    float myMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int32_t mySkinGroup = -1;
    std::vector<QRB_TestState> myStates = {QRB_TestState()};
    std::string myMeshName; // empty: no mesh
    QRB_TestMesh myMesh;
    uint32_t myTextureWord = 0;
    std::vector<QRB_TestTextureSlot> mySlots;
};

struct QRB_TestLink
{
    uint32_t myPartIndex = 0xFFFFFFFF;
    std::string myName; // of the ".pe" file, without its extension
    uint32_t myStateId = 0;
};

struct QRB_TestLight
{
    int32_t myPartIndex = -1;
    uint32_t myType = 1; // 0 directional, 1 point, 2 none, 3 spot
    float myColor[3] = {1, 1, 1};
    bool myPathFlags[3] = {false, false, false}; // motion, colour, range
    QRB_TestPath myPaths[3];
    float myPosition[3] = {0, 0, 0};
    float myDirection[3] = {0, 0, 1};
    float myRange = 10.0f;
    float myCones[2] = {-1.0f, -1.0f};
    float myFallOff = 0.1f;
    std::string myHaloSurface; // empty: no halo
    std::string myHaloTexture;
    uint32_t myStateId = 0;
};

struct QRB_TestModel
{
    float myRadius = 1.0f;
    float myCentre[3] = {0, 0, 0};
    std::vector<QRB_TestPart> myParts;
    std::vector<QRB_TestLink> myLinks;
    std::vector<std::string> myStrings;
    std::vector<QRB_TestLight> myLights;
};

inline std::vector<uint8_t> QRB_WriteModel(const QRB_TestModel& aModel)
{
    QRB_TestWriter w;
    w.Raw("QRB\x09", 4);
    w.F32(aModel.myRadius);
    w.Raw(aModel.myCentre, 12);
    w.U32((uint32_t)aModel.myParts.size());
    std::vector<std::string> locWritten; // mesh names stored in full so far
    for (const QRB_TestPart& p : aModel.myParts)
    {
        w.Name(p.myName);
        w.F32(p.myMaxDistanceSquared);
        w.Raw(p.myMatrix, 64);
        w.U32((uint32_t)p.mySkinGroup);
        w.U32((uint32_t)p.myStates.size());
        for (const QRB_TestState& s : p.myStates)
        {
            w.U32(s.myId);
            w.U32((uint32_t)s.myParent);
            w.U32(s.myVisible);
            w.U32(s.myRemembered);
            w.F32(s.myBlendTime);
            w.F32(s.myDuration);
            w.U32((uint32_t)s.myNextState);
            w.U32(s.myRestarts);
            w.Path(s.myPath);
        }
        bool locSeen = false;
        for (const std::string& n : locWritten)
            locSeen = locSeen || n == p.myMeshName;
        if (p.myMeshName.empty())
            w.U32(0);
        else if (locSeen)
        {
            w.U32(2);
            w.Name(p.myMeshName);
        }
        else
        {
            locWritten.push_back(p.myMeshName);
            w.MeshObject(p.myMeshName, p.myMesh);
        }
        w.U32((uint32_t)p.mySlots.size());
        w.U32(p.myTextureWord);
        for (const QRB_TestTextureSlot& t : p.mySlots)
        {
            w.U32(t.myKind);
            w.F32(t.myFramesPerSecond);
            w.U32((uint32_t)t.myNames.size());
            if (t.myKind <= 1)
                for (const std::string& n : t.myNames)
                    w.Name(n);
        }
    }
    w.U32((uint32_t)aModel.myLinks.size());
    for (const QRB_TestLink& l : aModel.myLinks)
    {
        w.U32(l.myPartIndex);
        w.Name(l.myName);
        w.U32(l.myStateId);
    }
    w.U32((uint32_t)aModel.myStrings.size());
    if (!aModel.myStrings.empty())
        w.U32(0);
    for (const std::string& s : aModel.myStrings)
        w.Name(s);
    w.U32((uint32_t)aModel.myLights.size());
    for (const QRB_TestLight& l : aModel.myLights)
    {
        w.U32((uint32_t)l.myPartIndex);
        w.U32(l.myType);
        w.Raw(l.myColor, 12);
        for (int i = 0; i < 3; i++)
        {
            w.U32(l.myPathFlags[i] ? 1 : 0);
            if (l.myPathFlags[i])
                w.Path(l.myPaths[i]);
        }
        auto locHalo = [&]
        {
            w.Name(l.myHaloSurface);
            if (!l.myHaloSurface.empty())
                w.Name(l.myHaloTexture);
        };
        switch (l.myType)
        {
        case 0: w.Raw(l.myDirection, 12); break;
        case 1:
            w.Raw(l.myPosition, 12);
            w.F32(l.myRange);
            locHalo();
            break;
        case 3:
            w.Raw(l.myPosition, 12);
            w.Raw(l.myDirection, 12);
            w.F32(l.myRange);
            w.F32(l.myCones[0]);
            w.F32(l.myCones[1]);
            w.F32(l.myFallOff);
            locHalo();
            break;
        default: break;
        }
        w.U32(l.myStateId);
    }
    return w.myBytes;
}

// A unit quad of format 0x49 (position, normal, one uv set) facing -z, two triangles, one
// level of detail.
inline QRB_TestMesh QRB_TestQuad(const std::string& aSurface, float aSize = 1.0f)
{
    QRB_TestMesh m;
    m.mySurface = aSurface;
    if (!aSurface.empty())
    {
        m.myStages = {0};
        m.myStagePathFlags = {false};
    }
    float s = aSize;
    m.myVertices = QRB_TestVertices({-s, -s, 0, 0, 0, -1, 0, 1, //
                                     s, -s, 0, 0, 0, -1, 1, 1,  //
                                     s, s, 0, 0, 0, -1, 1, 0,   //
                                     -s, s, 0, 0, 0, -1, 0, 0});
    m.myNumVertices = 4;
    m.myIndices = {0, 2, 1, 0, 3, 2};
    m.myRadius = s * 1.4143f;
    QRB_TestLevel l;
    l.myNumVertices = 4;
    l.myNumIndices = 6;
    m.myLevels = {l};
    return m;
}

// A path whose every channel is keyed with linear keys: (time, values) pairs, the last
// time 1.0. aRate is passes per second.
inline QRB_TestPath QRB_LinearPath(const std::vector<std::pair<float, std::vector<float>>>& aKeys, bool aLoopFlag,
                                   float aRate = 1.0f)
{
    QRB_TestPath p;
    p.myRate = aRate;
    p.myLoopFlag = aLoopFlag ? 1 : 0;
    p.myNumChannels = (uint32_t)aKeys[0].second.size();
    p.myKeyedMask = (1u << p.myNumChannels) - 1;
    p.myNumKeys = (uint32_t)aKeys.size();
    for (const auto& [t, v] : aKeys)
    {
        p.myKeys.push_back(t);
        float locType;
        uint32_t locLinear = 3;
        memcpy(&locType, &locLinear, 4);
        p.myKeys.push_back(locType);
        p.myKeys.insert(p.myKeys.end(), v.begin(), v.end());
    }
    return p;
}
