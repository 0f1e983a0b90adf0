// Writes the seed corpora of the model readers: ".pe" particle definitions of the editor's
// writer over every shape, type, rotation, animation and blend mode, and ".qrb" models of
// the test writer with meshes, states, links, texts and lights.
// Usage: make_seeds_models <corpus folder>
#include <cstdio>
#include <string>

#include "seed_file.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_pe_writer.h"
#include "qrender/tests/qr_qrb_model_writer.h"

static std::string ourCorpus;

static void locPeSeeds()
{
    for (int n = 0; n < 5; n++)
    {
        QR_SharedGenericParticleData d;
        d.myFlags = (uint32_t)n & 7;
        d.myOrigin = (uint32_t)n;
        d.myOriginExtents[0] = 1.5f, d.myOriginExtents[1] = 2, d.myOriginExtents[2] = 0.5f;
        d.myParticleType = (uint32_t)n % 3;
        d.myRotation = (uint32_t)n % 4;
        d.myRotationSpeedMin = -1, d.myRotationSpeedMax = 2;
        d.myTotalTime = 2, d.mySpawnTime = 0.1f;
        d.myVelocityMin[1] = 1, d.myVelocityMax[1] = 2;
        d.mySizeMin = 0.1f, d.mySizeMax = 0.2f;
        d.myAlphaMin = -10, d.myAlphaMax = 255;
        d.myNumPhases = (uint32_t)n % 3 + 1;
        d.myPhases = new QR_ParticlePhase[d.myNumPhases]();
        for (uint32_t p = 0; p < d.myNumPhases; p++)
        {
            QR_ParticlePhase& ph = d.myPhases[p];
            ph.myLength = 0.5f + (float)p;
            ph.mySpace = (uint8_t)(p & 1);
            for (int i = 0; i < 3; i++)
                ph.myVelocityBlend[i] = (p + (uint32_t)i) % 4;
            ph.mySizeBlend = (uint32_t)n % 4, ph.myAlphaBlend = (p + 1) % 4;
            ph.myAlphaMax = 128;
        }
        QRT_PeAnimation locAnimation = {n + 1, 2, 2, 0.05f};
        std::string s = QRT_WritePe(d, "INTERNAL_ALPHA", "fz", &locAnimation);
        WriteSeed(ourCorpus, "fuzz_pe", ("editor" + std::to_string(n) + ".pe").c_str(), s.data(), s.size());
        d.mySurfaceInstance = nullptr;
    }
}


static void locSaveQrb(const char* aName, const QRB_TestModel& aModel)
{
    std::vector<uint8_t> b = QRB_WriteModel(aModel);
    WriteSeed(ourCorpus, "fuzz_qrb", aName, b.data(), b.size());
}

// Models over "fx.pe", "s.sur" (slots: bump map, texture, texture) and the texture "fz".
static void locQrbSeeds()
{
    locSaveQrb("empty.qrb", QRB_TestModel());

    QRB_TestModel m;
    m.myRadius = 3;
    QRB_TestPart p;
    p.myName = "body";
    p.myMeshName = "quad";
    p.myMesh = QRB_TestQuad("s.sur");
    p.myMesh.myStages = {0, 0, 0};
    p.myMesh.myStagePathFlags = {false, true, false};
    p.myMesh.myStages[1] |= 1 << 16;
    p.myMesh.myStagePaths = {QRB_LinearPath({{0, {0, 0, 0, 0, 0, 0}}, {1, {1, 0, 0, 0, 0, 0}}}, true)};
    p.mySlots = {{1, 1.0f, {"fz"}}, {0, 20.0f, {"fz", "fz"}}};
    QRB_TestState s;
    s.myId = 1;
    s.myPath = QRB_LinearPath({{0, {0, 0, 0, 0, 0, 0}}, {1, {0, 1, 0, 0, 3, 0}}}, true, 0.5f);
    QRB_TestState t = s;
    t.myId = 2;
    t.myBlendTime = 0.3f;
    t.myDuration = 1.0f;
    t.myNextState = -2;
    t.myRestarts = 1;
    p.myStates = {s, t};
    p.myStates[0].myRemembered = 1;
    m.myParts.push_back(p);
    QRB_TestPart c = p;
    c.myName = "child";
    c.myStates[0].myParent = 0;
    c.myStates[1].myParent = 0;
    c.myStates[1].myNextState = 0;
    m.myParts.push_back(c); // names the mesh: kind 2
    m.myLinks.push_back({0, "fx", 1});
    m.myLinks.push_back({0xFFFFFFFF, "FX.pe", 2});
    m.myStrings = {"ST0=TIME", "ST1=ST0*2"};
    for (uint32_t locType : {0u, 1u, 2u, 3u})
    {
        QRB_TestLight l;
        l.myType = locType;
        l.myPartIndex = locType == 3 ? 1 : -1;
        l.myStateId = locType;
        if (locType >= 1)
        {
            l.myHaloSurface = "INTERNAL_ALPHA";
            l.myHaloTexture = "fz";
        }
        l.myPathFlags[0] = locType == 1;
        l.myPaths[0] = QRB_LinearPath({{0, {0, 0, 0, 0, 0}}, {1, {1, 2, 3, 0.5f, 0.25f}}}, true);
        m.myLights.push_back(l);
    }
    locSaveQrb("model.qrb", m);

    QRB_TestModel k;
    QRB_TestPart b;
    b.mySkinGroup = 0;
    for (int i = 0; i < 4; i++)
    {
        b.myName = "bone" + std::to_string(i);
        b.myStates[0].myParent = i - 1;
        k.myParts.push_back(b);
    }
    k.myParts[3].myMeshName = "arm";
    k.myParts[3].myMesh = QRB_TestQuad("");
    locSaveQrb("skinned.qrb", k);
}

// Fonts: a description length byte, the description, then the glyph strip.
static void locFontSeeds()
{
    for (int k = 0; k < 3; k++)
    {
        const int w = 40 + 20 * k, h = 6 + k;
        std::vector<uint32_t> p((size_t)w * h, 0);
        for (int x = 0; x < w; x++)
            if (x % (4 + k) != 0)
                for (int y = 0; y < h; y++)
                    p[(size_t)y * w + x] = 0xFF000000u | (uint32_t)(x * 5) << 8;
        std::string d = k == 0 ? "ABCDEFGH" : k == 1 ? "a b\tc 123" : "0123456789 .,";
        std::vector<uint8_t> b(1, (uint8_t)d.size());
        b.insert(b.end(), d.begin(), d.end());
        std::vector<uint8_t> t = QRT_MakeTGA((uint32_t)w, (uint32_t)h, 32, p, k != 1, k == 2);
        b.insert(b.end(), t.begin(), t.end());
        WriteSeed(ourCorpus, "fuzz_font", ("strip" + std::to_string(k) + ".bin").c_str(), b.data(), b.size());
    }
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_seeds_models <corpus folder>\n");
        return 2;
    }
    ourCorpus = argv[1];
    locPeSeeds();
    locQrbSeeds();
    locFontSeeds();
    return 0;
}
