// Writes the seed corpus of the mesh-block reader with the tests' .qrb writer: plain,
// surfaced, specular, texture-animated, frame-animated, skinned and strip meshes. Each seed
// starts with the target's flag byte (0: read as stored).
// Usage: make_seeds_mesh <corpus folder>
#include <cstring>
#include <string>
#include <vector>

#include "seed_file.h"
#include "qrender/tests/qr_qrb_writer.h"

static std::string ourCorpus;

static void locSeed(const char* aName, const QRB_TestMesh& aMesh)
{
    QRB_TestWriter w;
    w.myBytes.push_back(0);
    w.MeshData(aMesh);
    WriteSeed(ourCorpus, "fuzz_mesh", aName, w.myBytes.data(), w.myBytes.size());
}

static QRB_TestMesh locGrid(uint32_t aFormat, uint32_t aSize, int aSide)
{
    QRB_TestMesh m;
    m.myVertexFormat = aFormat;
    m.myNumVertices = (uint32_t)(aSide * aSide);
    m.myVertices.assign(m.myNumVertices * aSize, 0);
    for (int y = 0; y < aSide; y++)
        for (int x = 0; x < aSide; x++)
        {
            float p[3] = {(float)x, (float)y, (float)((x * 7 + y * 3) % 5)};
            memcpy(&m.myVertices[(y * aSide + x) * aSize], p, 12);
        }
    for (int y = 0; y + 1 < aSide; y++)
        for (int x = 0; x + 1 < aSide; x++)
        {
            uint16_t a = (uint16_t)(y * aSide + x), b = (uint16_t)(a + 1), c = (uint16_t)(a + aSide), d = (uint16_t)(c + 1);
            m.myIndices.insert(m.myIndices.end(), {a, b, c, c, b, d});
        }
    QRB_TestLevel l;
    l.myNumVertices = m.myNumVertices;
    l.myNumIndices = (uint32_t)m.myIndices.size();
    l.myDistance = 100.0f;
    QRB_TestLevel f = l;
    f.myNumIndices = 6;
    f.myDistance = 1.0e6f;
    m.myLevels = {l, f};
    return m;
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    ourCorpus = argv[1];
    locSeed("plain.bin", locGrid(0x49, 32, 3));

    QRB_TestMesh s = locGrid(0x59, 36, 3);
    s.mySurface = "INTERNAL_SOLID";
    s.mySettings[3] = 2;
    s.myStages = {0, 0x10000};
    s.myStagePathFlags = {false, true};
    QRB_TestPath p;
    p.myNumChannels = 4;
    p.myKeyedMask = 1;
    p.myNumKeys = 2;
    p.myLoopFlag = 1;
    p.myKeys = {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f}; // time, linear type bits 0, value
    uint32_t locLinear = 3;
    memcpy(&p.myKeys[1], &locLinear, 4);
    memcpy(&p.myKeys[4], &locLinear, 4);
    p.myConstants = {0.0f, 0.0f, 0.5f};
    s.myStagePaths = {p};
    s.myFogFlag = 1;
    locSeed("surface_specular_path.bin", s);

    QRB_TestMesh a = locGrid(0x49, 32, 4);
    QRB_TestLevel al;
    al.myKind = 1;
    al.myDistance = 1.0e6f;
    al.myFrameTime = 0.05f;
    al.myFrames = {0, 16, 0, 6, 0, 16, 6, 6, 0, 16, 12, 12};
    a.myLevels = {al};
    locSeed("animated.bin", a);

    QRB_TestMesh k = locGrid(0x84F, 48, 3);
    k.mySettings[0] = 2;
    k.mySettings[1] = 1;
    locSeed("skinned.bin", k);
    QRB_TestMesh k2 = locGrid(0x88F, 56, 3);
    k2.mySettings[0] = 1;
    locSeed("skinned_two_sets.bin", k2);

    QRB_TestMesh nm = locGrid(0x49, 32, 3);
    nm.myVertexShader = "NORMAL_MAP";
    nm.myStages = {0, 0};
    locSeed("normal_map.bin", nm);

    QRB_TestMesh t = locGrid(0x19, 28, 2);
    t.myIndexType = 1;
    t.myIndices = {0, 1, 2, 3};
    t.myLevels[0].myNumIndices = 4;
    t.myLevels[1].myNumIndices = 3;
    locSeed("strip.bin", t);
    return 0;
}
