// A folder of sample models written with our own writers: textured static meshes (TGA and
// DDS, surface templates) with levels of detail, animated states with blends and next
// states, a skinned arm, an animated texture, a particle link with its ".pe" file, point and
// spot lights with halos; DDS texture cells, a sub-folder, a damaged model and one with a
// missing texture. The sample-model tool, tests and the model bench use it.
#pragma once

#include <math.h>
#include <string.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_pe_writer.h"
#include "qrender/tests/qr_qrb_model_writer.h"

// State ids of the samples, four characters as the editor stores them.
const uint32_t QRT_IDLE = 'I' << 24 | 'D' << 16 | 'L' << 8 | 'E';
const uint32_t QRT_WALK = 'W' << 24 | 'A' << 16 | 'L' << 8 | 'K';
const uint32_t QRT_JUMP = 'J' << 24 | 'U' << 16 | 'M' << 8 | 'P';

inline bool QRT_WriteText(const std::string& aPath, const std::string& aText)
{
    return QRT_WriteFile(aPath, std::vector<uint8_t>(aText.begin(), aText.end()));
}

// A one-pass surface template: its texture times the vertex colour; SORT for blended ones.
inline std::string QRT_SurfaceText(const std::string& aTexture, bool aBlendedFlag)
{
    return "VERSION 1\r\nNUM_DEFAULT_TEXTURES 1\r\nTEXTURE " + aTexture + "\r\nNUM_CONFIGS 1\r\nCONFIG DEFAULT\r\n"
           "CONFIG_FLAGS" + std::string(aBlendedFlag ? " SORT" : "") + "\r\nNUM_PASSES 1\r\nFRAMEBUFFERBLENDING " +
           (aBlendedFlag ? "SRCALPHA INVSRCALPHA" : "OFF") +
           "\r\nALPHATEST OFF\r\nZWRITE DEFAULT\r\nFOGCOLOR DEFAULT\r\nNUM_REMAP_ENTRIES 1\r\n0\r\n"
           "NUM_INSTRUCTIONS 1\r\nMUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\r\n";
}

// A cube of side 2 x aHalf (format 0x49), 24 vertices, both windings; two levels of
// detail: the whole cube up to squared distance 400, its front and back faces beyond.
inline QRB_TestMesh QRT_CubeMesh(const std::string& aSurface, float aHalf = 0.5f)
{
    QRB_TestMesh m;
    m.mySurface = aSurface;
    if (!aSurface.empty())
    {
        m.myStages = {0};
        m.myStagePathFlags = {false};
    }
    std::vector<float> v;
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    for (int f = 0; f < 6; f++)
    {
        // Two axes across the face.
        float a[3] = {1, 0, 0}, b[3] = {0, 1, 0};
        if (n[f][0] != 0)
            a[0] = 0, a[1] = 1, b[1] = 0, b[2] = 1;
        else if (n[f][1] != 0)
            b[1] = 0, b[2] = 1;
        const float c[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (int k = 0; k < 4; k++)
        {
            for (int i = 0; i < 3; i++)
                v.push_back(aHalf * (n[f][i] + c[k][0] * a[i] + c[k][1] * b[i]));
            v.insert(v.end(), {n[f][0], n[f][1], n[f][2]});
            v.push_back(c[k][0] * 0.5f + 0.5f);
            v.push_back(0.5f - c[k][1] * 0.5f);
        }
        uint16_t o = (uint16_t)(4 * f);
        // Both windings: the face shows whatever the culling.
        for (uint16_t i : {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2})
            m.myIndices.push_back((uint16_t)(o + i));
    }
    m.myVertices = QRB_TestVertices(v);
    m.myNumVertices = 24;
    m.myRadius = aHalf * 1.7321f;
    QRB_TestLevel l0, l1;
    l0.myNumVertices = 24, l0.myNumIndices = 72, l0.myDistance = 400.0f;
    l1.myNumVertices = 8, l1.myNumIndices = 24, l1.myDistance = 1.0e10f;
    m.myLevels = {l0, l1};
    return m;
}

// A skinned bar along x from 0 to 3 (format 0x84F: position, three weights, bone indices,
// normal, one set), each third following its own bone.
inline QRB_TestMesh QRT_ArmMesh(const std::string& aSurface)
{
    QRB_TestMesh m;
    m.mySurface = aSurface;
    m.mySettings[0] = 1; // one bone per vertex
    if (!aSurface.empty())
    {
        m.myStages = {0};
        m.myStagePathFlags = {false};
    }
    m.myVertexFormat = 0x84F;
    for (int s = 0; s <= 3; s++)
        for (int k = 0; k < 4; k++)
        {
            float p[3] = {(float)s, (k & 1) ? 0.2f : -0.2f, (k & 2) ? 0.2f : -0.2f};
            float w[3] = {1, 0, 0};
            uint8_t b[4] = {(uint8_t)(s < 3 ? s : 2), 0, 0, 0};
            float nn[3] = {0, p[1] * 5, p[2] * 5};
            float uv[2] = {(float)s / 3.0f, (float)(k & 1)};
            const uint8_t* parts[5] = {(const uint8_t*)p, (const uint8_t*)w, b, (const uint8_t*)nn,
                                       (const uint8_t*)uv};
            const size_t sizes[5] = {12, 12, 4, 12, 8};
            for (int i = 0; i < 5; i++)
                m.myVertices.insert(m.myVertices.end(), parts[i], parts[i] + sizes[i]);
        }
    m.myNumVertices = 16;
    // Around each segment: corners 0 (-y -z), 1 (+y -z), 3 (+y +z), 2 (-y +z), both windings.
    const uint16_t locRing[5] = {0, 1, 3, 2, 0};
    for (uint16_t s = 0; s < 3; s++)
        for (int k = 0; k < 4; k++)
        {
            uint16_t a = (uint16_t)(4 * s + locRing[k]), b = (uint16_t)(4 * s + locRing[k + 1]);
            for (uint16_t i : {a, b, (uint16_t)(b + 4), a, (uint16_t)(b + 4), (uint16_t)(a + 4), a, (uint16_t)(b + 4), b,
                               a, (uint16_t)(a + 4), (uint16_t)(b + 4)})
                m.myIndices.push_back(i);
        }
    m.myRadius = 3.1f;
    QRB_TestLevel l;
    l.myNumVertices = 16;
    l.myNumIndices = (uint32_t)m.myIndices.size();
    m.myLevels = {l};
    return m;
}

inline QRB_TestState QRT_State(uint32_t anId, const QRB_TestPath& aPath)
{
    QRB_TestState s;
    s.myId = anId;
    s.myPath = aPath;
    return s;
}

// A turn about y by one full circle per pass, at a height.
inline QRB_TestPath QRT_SpinPath(float aHeight, float aRate)
{
    return QRB_LinearPath({{0, {0, aHeight, 0, 0, 0, 0}}, {0.5f, {0, aHeight, 0, 0, 3.14159f, 0}},
                           {1, {0, aHeight, 0, 0, 6.28318f, 0}}},
                          true, aRate);
}

// The models of one sample folder; each name relative to the folder (the data root).
struct QRT_SampleModel
{
    std::string myName;
    QRB_TestModel myModel;
};

inline std::vector<QRT_SampleModel> QRT_SampleModels()
{
    std::vector<QRT_SampleModel> locModels;
    // Static textured meshes with levels of detail: TGA through the template, a TGA and a
    // DDS override of the slot.
    {
        QRB_TestModel m;
        m.myRadius = 0.9f;
        QRB_TestPart p;
        p.myName = "crate";
        p.myMeshName = "cube_stone";
        p.myMesh = QRT_CubeMesh("surfaces/stone.sur");
        p.myStates = {QRT_State(QRT_IDLE, QRB_TestPath::Constant({0, 0, 0, 0.3f, 0.6f, 0}))};
        m.myParts.push_back(p);
        locModels.push_back({"models/crate.qrb", m});
        p.myName = "box";
        p.mySlots = {{0, 1.0f, {"textures/wood"}}};
        m.myParts = {p};
        locModels.push_back({"models/woodbox.qrb", m});
        p.mySlots = {{0, 1.0f, {"textures/metal"}}};
        m.myParts = {p};
        locModels.push_back({"models/metalbox.qrb", m});
    }
    // Animated states: a body that idles and walks (blended) and jumps back (-2); a head.
    {
        QRB_TestModel m;
        m.myRadius = 2.0f;
        m.myCentre[1] = 0.5f;
        QRB_TestPart body;
        body.myName = "body";
        body.myMeshName = "cube_stone";
        body.myMesh = QRT_CubeMesh("surfaces/stone.sur");
        QRB_TestState idle = QRT_State(QRT_IDLE, QRT_SpinPath(0.0f, 0.25f));
        idle.myRemembered = 1;
        QRB_TestState walk = QRT_State(QRT_WALK, QRB_LinearPath({{0, {-1, 0, 0, 0, 0, 0}}, {0.5f, {1, 0, 0, 0, 0, 0}},
                                                                   {1, {-1, 0, 0, 0, 0, 0}}},
                                                                  true, 0.5f));
        walk.myBlendTime = 0.4f;
        walk.myRemembered = 1;
        QRB_TestState jump = QRT_State(QRT_JUMP, QRB_LinearPath({{0, {0, 0, 0, 0, 0, 0}}, {0.5f, {0, 1.5f, 0, 0, 0, 0}},
                                                                   {1, {0, 0, 0, 0, 0, 0}}},
                                                                  false, 1.0f));
        jump.myDuration = 1.0f;
        jump.myNextState = -2;
        jump.myBlendTime = 0.2f;
        body.myStates = {idle, walk, jump};
        QRB_TestPart head = body;
        head.myName = "head";
        head.myMeshName = "cube_small";
        head.myMesh = QRT_CubeMesh("surfaces/stone.sur", 0.25f);
        for (QRB_TestState& s : head.myStates)
        {
            s.myParent = 0;
            s.myPath = QRB_TestPath::Constant({0, 0.8f, 0, 0, 0, 0});
            s.myNextState = s.myId == QRT_JUMP ? -2 : -1;
        }
        m.myParts = {body, head};
        locModels.push_back({"models/walker.qrb", m});
    }
    // A skinned arm: three bones of one group, each holding the arm (the run draws it once).
    {
        QRB_TestModel m;
        m.myRadius = 3.2f;
        m.myCentre[0] = 1.5f;
        for (int i = 0; i < 3; i++)
        {
            QRB_TestPart b;
            b.myName = "bone" + std::to_string(i);
            b.mySkinGroup = 0;
            b.myMeshName = "arm";
            b.myMesh = QRT_ArmMesh("surfaces/stone.sur");
            // Rest matrices take the bar's pieces to their bones' origins.
            b.myMatrix[12] = -(float)i;
            QRB_TestState s = QRT_State(QRT_IDLE, i == 0 ? QRB_TestPath::Constant({0, 0, 0, 0, 0, 0})
                                                          : QRB_LinearPath({{0, {1, 0, 0, 0, 0, 0}},
                                                                            {0.5f, {1, 0, 0, 0, 0, 0.6f}},
                                                                            {1, {1, 0, 0, 0, 0, 0}}},
                                                                           true, 0.5f));
            s.myParent = i - 1;
            b.myStates = {s};
            m.myParts.push_back(b);
        }
        locModels.push_back({"models/arm.qrb", m});
    }
    // An animated texture (numbered frames at 20 a second) with a particle link, and lights.
    {
        QRB_TestModel m;
        m.myRadius = 1.5f;
        QRB_TestPart p;
        p.myName = "brazier";
        p.myMeshName = "cube_fire";
        p.myMesh = QRT_CubeMesh("surfaces/fire.sur", 0.4f);
        p.mySlots = {{0, 20.0f, {"textures/fire0001", "textures/fire0002", "textures/fire0003", "textures/fire0004"}}};
        p.myStates = {QRT_State(QRT_IDLE, QRB_TestPath::Constant({0, 0, 0, 0, 0, 0}))};
        m.myParts = {p};
        m.myLinks = {{0, "fx/sparks", QRT_IDLE}};
        QRB_TestLight l;
        l.myPartIndex = 0;
        l.myType = 1;
        l.myColor[0] = 1, l.myColor[1] = 0.6f, l.myColor[2] = 0.2f;
        l.myPosition[1] = 0.8f;
        l.myRange = 4.0f;
        l.myHaloSurface = "INTERNAL_ALPHA";
        l.myHaloTexture = "textures/halo";
        l.myStateId = QRT_IDLE;
        m.myLights.push_back(l);
        l.myType = 3;
        l.myPosition[1] = 1.2f;
        l.myDirection[1] = -1, l.myDirection[2] = 0;
        l.myCones[0] = 0.5f, l.myCones[1] = 0.9f;
        l.myFallOff = 0.3f;
        m.myLights.push_back(l);
        m.myStrings = {"ST0=TIME*2"};
        locModels.push_back({"models/brazier.qrb", m});
    }
    return locModels;
}

// Writes one model file; false when it cannot.
typedef bool (*QRT_ModelWriter)(const std::string& aPath, const QRB_TestModel& aModel);

inline bool QRT_WriteModelBytes(const std::string& aPath, const QRB_TestModel& aModel)
{
    return QRT_WriteFile(aPath, QRB_WriteModel(aModel));
}

// Writes the folder; aCopies further copies of every model go to "many/" (a large folder
// for the bench). Models go through aWriter after the textures, surfaces and particle
// definitions they name are written. False when a file cannot be written.
inline bool QRT_WriteSampleFolder(const std::string& aDir, int aCopies = 0, QRT_ModelWriter aWriter = QRT_WriteModelBytes)
{
    std::string d = aDir + "/";
    for (const char* f : {"", "models", "textures", "surfaces", "fx", "cells", "cells/sub", "many"})
        mkdir((d + f).c_str(), 0755);
    bool locOk = true;
    auto locImage = [](uint32_t w, uint32_t h, uint32_t aSeed, uint8_t anAlpha)
    {
        std::vector<uint32_t> p(w * h);
        for (uint32_t y = 0; y < h; y++)
            for (uint32_t x = 0; x < w; x++)
                p[y * w + x] = (uint32_t)anAlpha << 24 | ((x * 4 + aSeed * 40) & 0xFF) << 16 |
                               ((y * 4 + aSeed * 90) & 0xFF) << 8 | (((x ^ y) & 8) ? 0xC0 : 0x40);
        return p;
    };
    locOk &= QRT_WriteFile(d + "textures/stone.tga", QRT_MakeTGA(64, 64, 32, locImage(64, 64, 1, 255), false, true));
    locOk &= QRT_WriteFile(d + "textures/wood.tga", QRT_MakeTGA(64, 32, 24, locImage(64, 32, 2, 255), true, false));
    locOk &= QRT_WriteFile(d + "textures/metal.dds", QRT_MakeDDS("DXT1", 64, 64, 7));
    for (int i = 1; i <= 4; i++)
        locOk &= QRT_WriteFile(d + "textures/fire000" + std::to_string(i) + ".tga",
                               QRT_MakeTGA(32, 32, 32, locImage(32, 32, (uint32_t)i + 3, 255), false, false));
    locOk &= QRT_WriteFile(d + "textures/spark.tga", QRT_MakeTGA(16, 16, 32, locImage(16, 16, 9, 200), false, false));
    locOk &= QRT_WriteFile(d + "textures/halo.tga", QRT_MakeTGA(32, 32, 32, locImage(32, 32, 7, 128), false, false));
    locOk &= QRT_WriteText(d + "surfaces/stone.sur", QRT_SurfaceText("textures/stone", false));
    locOk &= QRT_WriteText(d + "surfaces/fire.sur", QRT_SurfaceText("textures/fire0001", true));

    QR_SharedGenericParticleData e;
    e.myFlags = QR_PARTICLEFLAG_ENABLED | QR_PARTICLEFLAG_TEXTUREANIMATED;
    e.myRadius = 2.0f;
    e.myOrigin = QR_PARTICLEORIGIN_CIRCLE;
    e.myOriginExtents[0] = e.myOriginExtents[1] = 0.3f;
    e.myTotalTime = 1.0e6f;
    e.mySpawnTime = 0.02f;
    e.myVelocityMin[1] = 1.0f, e.myVelocityMax[1] = 2.0f;
    e.mySizeMin = 0.05f, e.mySizeMax = 0.1f;
    e.myAlphaMin = 200, e.myAlphaMax = 255;
    e.myRotation = QR_PARTICLEROTATION_RANDOMDIR;
    e.myRotationSpeedMin = 1, e.myRotationSpeedMax = 3;
    e.myNumPhases = 2;
    e.myPhases = new QR_ParticlePhase[2]();
    e.myPhases[0].myLength = 0.5f;
    e.myPhases[0].myVelocityMin[1] = e.myPhases[0].myVelocityMax[1] = 0.5f;
    e.myPhases[0].mySizeMin = e.myPhases[0].mySizeMax = 0.1f;
    e.myPhases[0].myAlphaMin = e.myPhases[0].myAlphaMax = 255;
    e.myPhases[1].myLength = 0.5f;
    e.myPhases[1].myVelocityBlend[1] = QR_PARTICLEBLEND_MOD;
    e.myPhases[1].myVelocityMin[1] = e.myPhases[1].myVelocityMax[1] = 0.5f;
    e.myPhases[1].mySizeMin = e.myPhases[1].mySizeMax = 0.2f;
    QRT_PeAnimation locAnimation = {4, 8, 8, 0.1f};
    locOk &= QRT_WriteText(d + "fx/sparks.pe", QRT_WritePe(e, "INTERNAL_ALPHA", "textures/spark", &locAnimation));

    // Models are written from the folder, so that names resolve against it.
    char locOldDir[4096];
    if (!getcwd(locOldDir, sizeof(locOldDir)) || chdir(d.c_str()) != 0)
        return false;
    for (const QRT_SampleModel& s : QRT_SampleModels())
    {
        locOk &= aWriter(s.myName, s.myModel);
        std::string locName = s.myName.substr(s.myName.find('/') + 1);
        for (int c = 0; c < aCopies; c++)
            locOk &= aWriter("many/" + std::to_string(c) + "_" + locName, s.myModel);
    }
    // A model whose part names a texture that is not there (the surface loses its texture
    // after the model is written: a writer may need the surface whole), and a damaged one.
    locOk &= QRT_WriteText("surfaces/missing.sur", QRT_SurfaceText("textures/stone", false));
    QRB_TestModel m = QRT_SampleModels()[0].myModel;
    m.myParts[0].myMeshName = "cube_missing";
    m.myParts[0].myMesh = QRT_CubeMesh("surfaces/missing.sur");
    locOk &= aWriter("models/missing_texture.qrb", m);
    locOk &= QRT_WriteText("surfaces/missing.sur", QRT_SurfaceText("textures/none", false));
    locOk &= aWriter("models/damaged.qrb", QRT_SampleModels()[3].myModel);
    if (FILE* f = fopen("models/damaged.qrb", "r+b"))
    {
        fseek(f, 0, SEEK_END);
        long locSize = ftell(f);
        fclose(f);
        locOk &= truncate("models/damaged.qrb", locSize / 2) == 0;
    }
    else
        locOk = false;
    locOk &= aWriter("cells/sub/walker.qrb", QRT_SampleModels()[3].myModel);
    locOk &= chdir(locOldDir) == 0;
    // Texture cells and a sub-folder.
    locOk &= QRT_WriteFile(d + "cells/dxt1.dds", QRT_MakeDDS("DXT1", 128, 128, 8));
    locOk &= QRT_WriteFile(d + "cells/dxt5.dds", QRT_MakeDDS("DXT5", 64, 32, 0));
    locOk &= QRT_WriteFile(d + "cells/sub/dxt3.dds", QRT_MakeDDS("DXT3", 32, 32, 6));
    return locOk;
}
