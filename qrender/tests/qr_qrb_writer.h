// Writes the pieces of .qrb files as the model editor stores them, byte for byte: words,
// names, spline paths and mesh data blocks. Tests, fuzz seeds and benches build their
// inputs with it; whole files are laid out on top by whoever needs them.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

// A spline path as stored: every channel constant unless keys are given.
struct QRB_TestPath
{
    float myRate = 1.0f;
    uint32_t myLoopFlag = 0;
    uint32_t myNumChannels = 0;
    uint32_t myKeyedMask = 0;
    uint32_t myNumTangents = 0;
    uint32_t myNumKeys = 1;
    std::vector<float> myKeys;      // myNumKeys x ((tangents + 1) x keyed + 2)
    std::vector<float> myConstants; // one per channel whose mask bit is clear

    // Constant channels only.
    static QRB_TestPath Constant(const std::vector<float>& aValues)
    {
        QRB_TestPath p;
        p.myNumChannels = (uint32_t)aValues.size();
        p.myConstants = aValues;
        return p;
    }
};

// One level of detail: kind 1 is a level made of animation frames.
struct QRB_TestLevel
{
    uint32_t myKind = 0;
    uint32_t myNumVertices = 0;
    uint32_t myStartIndex = 0;
    uint32_t myNumIndices = 0;
    uint32_t myFirstVertex = 0;
    float myDistance = 1.0e10f;
    float myFrameTime = 0.1f;        // kind 1: seconds per frame
    std::vector<uint32_t> myFrames;  // kind 1: first vertex, vertex count, start index, index count per frame
};

struct QRB_TestMesh
{
    std::string mySurface;                   // empty: no surface
    std::string myVertexShader = "NORMAL_MESH";
    uint32_t mySettings[5] = {0, 1, 0, 0, 0}; // skinning, lighting, word 7, specular (colour mode), word 9
    std::vector<uint32_t> myStages;          // texture-stage words
    std::vector<bool> myStagePathFlags;      // per stage: a path follows
    std::vector<QRB_TestPath> myStagePaths;  // per stage with its flag set
    uint32_t myFogFlag = 0;
    float mySpecularPower = 8.0f;
    uint32_t mySpecularColor = 0xFFFFFF;
    float myRadius = 1.0f;
    uint32_t myVertexFormat = 0x49;
    uint32_t myNumVertices = 0;
    std::vector<uint8_t> myVertices;         // myNumVertices x the format's size
    uint32_t myIndexType = 0;
    std::vector<uint16_t> myIndices;
    std::vector<QRB_TestLevel> myLevels;
};

class QRB_TestWriter
{
public:
    std::vector<uint8_t> myBytes;

    void U32(uint32_t aValue)
    {
        for (int i = 0; i < 4; i++)
            myBytes.push_back((uint8_t)(aValue >> (8 * i)));
    }
    void F32(float aValue)
    {
        uint32_t locBits;
        memcpy(&locBits, &aValue, 4);
        U32(locBits);
    }
    void Raw(const void* aData, size_t aSize)
    {
        const uint8_t* p = (const uint8_t*)aData;
        myBytes.insert(myBytes.end(), p, p + aSize);
    }
    void Name(const std::string& aName) { Raw(aName.c_str(), aName.size() + 1); }

    void Path(const QRB_TestPath& aPath)
    {
        F32(aPath.myRate);
        U32(aPath.myLoopFlag);
        U32(aPath.myNumChannels);
        U32(aPath.myKeyedMask);
        U32(aPath.myNumTangents);
        U32(aPath.myNumKeys);
        Raw(aPath.myKeys.data(), aPath.myKeys.size() * 4);
        Raw(aPath.myConstants.data(), aPath.myConstants.size() * 4);
    }

    // The mesh data that follows a mesh name and its byte count.
    void MeshData(const QRB_TestMesh& m)
    {
        Name(m.mySurface);
        Name(m.myVertexShader);
        for (uint32_t w : m.mySettings)
            U32(w);
        U32((uint32_t)m.myStages.size());
        for (uint32_t w : m.myStages)
            U32(w);
        U32(m.myFogFlag);
        size_t locPath = 0;
        for (size_t i = 0; i < m.myStages.size(); i++)
        {
            bool locFlag = i < m.myStagePathFlags.size() && m.myStagePathFlags[i];
            U32(locFlag ? 1 : 0);
            if (locFlag)
                Path(m.myStagePaths[locPath++]);
        }
        if (m.mySettings[3] == 1 || m.mySettings[3] == 2)
        {
            F32(m.mySpecularPower);
            if (m.mySettings[3] == 2)
                U32(m.mySpecularColor);
        }
        F32(m.myRadius);
        U32(m.myVertexFormat);
        U32(m.myNumVertices);
        Raw(m.myVertices.data(), m.myVertices.size());
        U32(m.myIndexType);
        U32((uint32_t)m.myIndices.size());
        Raw(m.myIndices.data(), m.myIndices.size() * 2);
        U32((uint32_t)m.myLevels.size());
        for (const QRB_TestLevel& l : m.myLevels)
        {
            U32(l.myKind);
            U32(l.myNumVertices);
            U32(l.myStartIndex);
            U32(l.myNumIndices);
            U32(l.myFirstVertex);
            F32(l.myDistance);
            if (l.myKind == 1)
            {
                F32(l.myFrameTime);
                U32((uint32_t)(l.myFrames.size() / 4));
                for (uint32_t w : l.myFrames)
                    U32(w);
            }
        }
    }

    // The object block of a part: kind 1, the name, the byte count, the data.
    void MeshObject(const std::string& aName, const QRB_TestMesh& aMesh)
    {
        U32(1);
        Name(aName);
        size_t locCountAt = myBytes.size();
        U32(0);
        MeshData(aMesh);
        uint32_t locCount = (uint32_t)(myBytes.size() - locCountAt - 4);
        for (int i = 0; i < 4; i++)
            myBytes[locCountAt + i] = (uint8_t)(locCount >> (8 * i));
    }

    bool Save(const std::string& aPath) const
    {
        FILE* f = fopen(aPath.c_str(), "wb");
        if (!f)
            return false;
        bool locOk = fwrite(myBytes.data(), 1, myBytes.size(), f) == myBytes.size();
        return fclose(f) == 0 && locOk;
    }
};

// Vertices of format 0x49 (position, normal, one set) from plain floats, 8 per vertex.
inline std::vector<uint8_t> QRB_TestVertices(const std::vector<float>& aFloats)
{
    std::vector<uint8_t> locBytes(aFloats.size() * 4);
    memcpy(locBytes.data(), aFloats.data(), locBytes.size());
    return locBytes;
}
