// Writes the seed corpora of the material readers: TGA files of the fixture writer and of
// the renderer's screenshot writer, DDS files of every format and level count, and surface
// templates of the forms the compiler reads. Each seed starts with the target's flag byte.
// Usage: make_seeds_materials <corpus folder>
#include <cstdio>
#include <string>
#include <vector>

#include "seed_file.h"
#include "qrender/qr_render.h"
#include "qrender/tests/qr_image_writers.h"

static std::string ourCorpus;

static void locSeed(const char* aTarget, const std::string& aName, uint8_t aFlags, const std::vector<uint8_t>& aData)
{
    std::vector<uint8_t> locBytes(1, aFlags);
    locBytes.insert(locBytes.end(), aData.begin(), aData.end());
    WriteSeed(ourCorpus, aTarget, aName.c_str(), locBytes.data(), locBytes.size());
}

static std::vector<uint8_t> locText(const std::string& aText)
{
    return std::vector<uint8_t>(aText.begin(), aText.end());
}

static void locTGASeeds()
{
    std::vector<uint32_t> p(5 * 3);
    for (size_t i = 0; i < p.size(); i++)
        p[i] = i < 7 ? 0x80FF0000u : 0xFF00FF00u | (uint32_t)i;
    int n = 0;
    for (uint32_t locBits : {24u, 32u})
        for (bool locTop : {false, true})
            for (bool locRLE : {false, true})
            {
                locSeed("fuzz_tga", "fixture" + std::to_string(n) + ".tga", (uint8_t)(n * 5),
                        QRT_MakeTGA(5, 3, locBits, p, locTop, locRLE));
                n++;
            }
    // The screenshot writer: a cleared frame of the renderer on the recording device.
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myWidth = 12;
    s.myHeight = 8;
    if (!QR_Render::Create(nullptr, nullptr) || !QR_Render::ourInstance->Init(&s))
        exit(1);
    QR_Rect r = {0, 0, 6, 8};
    QR_Render::ourInstance->BeginFrame();
    QR_Render::ourInstance->Clear(&r, QR_CLEAR_TARGET, 0x336699, 1.0f, 0);
    QR_Render::ourInstance->EndFrame();
    std::string locShot = ourCorpus + "/screenshot.tmp";
    if (!QR_Render::SaveScreenshot(locShot.c_str()))
        exit(1);
    QR_Render::Destroy();
    locSeed("fuzz_tga", "screenshot.tga", 0, QRT_ReadFile(locShot));
    remove(locShot.c_str());
}

static void locDDSSeeds()
{
    locSeed("fuzz_dds", "dxt1.dds", 0, QRT_MakeDDS("DXT1", 16, 8, 0));
    locSeed("fuzz_dds", "dxt1_mips.dds", 1, QRT_MakeDDS("DXT1", 16, 8, 5));
    locSeed("fuzz_dds", "dxt3_mips.dds", 0, QRT_MakeDDS("DXT3", 8, 8, 4));
    locSeed("fuzz_dds", "dxt5.dds", 2, QRT_MakeDDS("DXT5", 8, 4, 2));
    locSeed("fuzz_dds", "v8u8.dds", 0, QRT_MakeDDS(nullptr, 8, 8, 0));
    locSeed("fuzz_dds", "v8u8_mips.dds", 4, QRT_MakeDDS(nullptr, 4, 8, 4));
}

static std::string locPass(const std::string& aRemap, int aNumRemap, const std::string& anInstructions, int aNum,
                           const char* aBlend, const char* anAlphaTest)
{
    return std::string("NUM_PASSES 1\r\nFRAMEBUFFERBLENDING ") + aBlend + "\r\nALPHATEST " + anAlphaTest +
           "\r\nZWRITE DEFAULT\r\nFOGCOLOR 0xff808080\r\nNUM_REMAP_ENTRIES " + std::to_string(aNumRemap) + "\r\n" +
           aRemap + "NUM_INSTRUCTIONS " + std::to_string(aNum) + "\r\n" + anInstructions;
}

static void locSurfaceSeeds()
{
    const std::string h1 = "VERSION 1\r\nNUM_DEFAULT_TEXTURES 1\r\nTEXTURE fz\r\nNUM_CONFIGS 1\r\nCONFIG DEFAULT\r\n";
    const std::string h2 = "VERSION 1\r\nNUM_DEFAULT_TEXTURES 3\r\nBUMPMAP fz\r\nTEXTURE 2 fz fz 8.0\r\nTEXTURE fz\r\n"
                           "NUM_CONFIGS 1\r\nCONFIG DEFAULT\r\n";
    const std::string locMul = "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\r\n";
    std::string locFade = h1 + "CONFIG_FLAGS SORT FADE\r\n" + locPass("0\r\n", 1, locMul, 1, "OFF", "GREATER 128") +
                          locPass("0\r\n", 1,
                                  "MUL_CLAMP TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\r\nMUL_CLAMP TEMP0.A TEXTURE0.A CONSTANT.A\r\n",
                                  2, "SRCALPHA INVSRCALPHA", "GREATER 128");
    locSeed("fuzz_surface", "fade.sur", 0, locText(locFade));
    locSeed("fuzz_surface", "fade_ps.sur", 3, locText(locFade));
    std::string locBump = h2 + "CONFIG_FLAGS\r\n" +
                          locPass("0\r\n1\r\n2\r\n17 DOT3CALC\r\n", 4,
                                  "MUL_CLAMP TEMP0.RGB TEXTURE1.RGB VERTEX0.RGB\r\nMOV_CLAMP TEMP0.A VERTEX0.A\r\n"
                                  "MAD_CLAMP TEMP1.RGB 1-TEXTURE2.RGB TEMP0.A CONSTANT.RGB\r\n",
                                  3, "ONE ONE", "OFF");
    locSeed("fuzz_surface", "bump.sur", 0, locText(locBump));
    std::string locShader = h2 + "CONFIG_FLAGS\r\n" +
                            locPass("0\r\n1\r\n2 DOT3TEX\r\n", 3,
                                    "mul_x2_clamp temp0.rgb, texture1.rgb, vertex0.rgb\r\n"
                                    "dot3_clamp temp1.rgba, constant0_bx2, texture2.rgba\r\n"
                                    "lerp_clamp temp0.rgba, temp1.a, temp0, vertex1\r\n",
                                    3, "SRCALPHA ONE", "LESS 10");
    locSeed("fuzz_surface", "shader.sur", 1, locText(locShader));
    locSeed("fuzz_surface", "alpha_only.sur", 2,
            locText(h1 + "CONFIG_FLAGS\r\n" + locPass("0\r\n", 1, "MOV_CLAMP TEMP0.A TEXTURE0.A\r\n", 1, "OFF", "ALWAYS")));
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_seeds_materials <corpus folder>\n");
        return 2;
    }
    ourCorpus = argv[1];
    locTGASeeds();
    locDDSSeeds();
    locSurfaceSeeds();
    return 0;
}
