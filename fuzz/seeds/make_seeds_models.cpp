// Writes the seed corpora of the model readers: ".pe" particle definitions of the editor's
// writer over every shape, type, rotation, animation and blend mode.
// Usage: make_seeds_models <corpus folder>
#include <cstdio>
#include <string>

#include "seed_file.h"
#include "qrender/tests/qr_pe_writer.h"

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

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_seeds_models <corpus folder>\n");
        return 2;
    }
    ourCorpus = argv[1];
    locPeSeeds();
    return 0;
}
