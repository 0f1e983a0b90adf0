// Surfaces over the recording device: template files compiled to stages (and refused), the
// pixel-shader texts, binding through the caches, instances and texture slots by name.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/gfx/gfx_testsupport.h"
#include "qrender/qr_error.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_render_test_util.h"

namespace
{

enum
{
    CO = 0, C1 = 1, C2 = 2, RES = 3, AO = 4, A1 = 5, A2 = 6, C0 = 7, A0 = 8
};

class SurfaceTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        myDir = std::string(Q_TEST_TMP_DIR) + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : myDir)
            c = (char)tolower((unsigned char)c);
        std::filesystem::remove_all(myDir);
        std::filesystem::create_directories(myDir);
        myDir += "/";
        // A template's frame names hold no blanks, so they name the textures
        // from the tests' folder, whatever the folder's own path holds.
        myOldDir = std::filesystem::current_path();
        std::filesystem::current_path(std::filesystem::path(myDir).parent_path().parent_path());
        myFrameDir = std::filesystem::path(myDir).parent_path().filename().string() + "/";
        for (const char* t : {"stone", "water1", "water2", "bump", "detail"})
            QRT_WriteFile(myDir + t + ".tga", QRT_MakeTGA(4, 4, 32, std::vector<uint32_t>(16, 0xFF808080u), true, false));
    }
    void TearDown() override
    {
        RecordingRender::TearDown();
        EXPECT_EQ(QR_Surface::ourFirst, nullptr);
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        std::filesystem::current_path(myOldDir);
    }
    // A template file: the header with its default textures, then the passes as given.
    std::string Template(const std::string& aName, const std::string& aText)
    {
        std::string locText = aText;
        size_t p;
        while ((p = locText.find("$")) != std::string::npos)
            locText.replace(p, 1, myFrameDir);
        QRT_WriteFile(myDir + aName, std::vector<uint8_t>(locText.begin(), locText.end()));
        return myDir + aName;
    }
    static std::string Header(const std::string& aTextures, const std::string& aFlags = "")
    {
        int n = 0;
        for (char c : aTextures)
            n += c == '\n';
        return "VERSION 1\r\nNUM_DEFAULT_TEXTURES " + std::to_string(n) + "\r\n" + aTextures +
               "NUM_CONFIGS 1\r\nCONFIG DEFAULT\r\nCONFIG_FLAGS " + aFlags + "\r\n";
    }
    static std::string Pass(const std::string& aRemap, const std::string& anInstructions,
                            const std::string& aBlend = "OFF", const std::string& anAlphaTest = "OFF",
                            const std::string& aZWrite = "DEFAULT")
    {
        int r = 0, i = 0;
        for (char c : aRemap)
            r += c == '\n';
        for (char c : anInstructions)
            i += c == '\n';
        return "NUM_PASSES 1\r\nFRAMEBUFFERBLENDING " + aBlend + "\r\nALPHATEST " + anAlphaTest + "\r\nZWRITE " +
               aZWrite + "\r\nFOGCOLOR DEFAULT\r\nNUM_REMAP_ENTRIES " + std::to_string(r) + "\r\n" + aRemap +
               "NUM_INSTRUCTIONS " + std::to_string(i) + "\r\n" + anInstructions;
    }
    QR_Surface* Compile(const std::string& aText)
    {
        return QR_Surface::Acquire(Template("s" + std::to_string(myCount++) + ".sur", aText).c_str());
    }
    static const uint32_t* Stage(QR_Surface* s, int i) { return s->myPass->myBlock->myStages[i].myWords; }

    std::string myDir;
    std::string myFrameDir; // myDir from the current folder
    std::filesystem::path myOldDir;
    int myCount = 0;
};

const std::string locStone = "TEXTURE $stone\n";

TEST_F(SurfaceTest, TheBuiltInsAndTheirInstances)
{
    ASSERT_TRUE(Start());
    QR_Surface* s = QR_Surface::Acquire("INTERNAL_SOLID");
    ASSERT_NE(s, nullptr);
    EXPECT_NE(s->myPass, s->myFadePass);
    EXPECT_EQ(Stage(s, 0)[CO], (uint32_t)GFX_TOP_MODULATE);
    EXPECT_EQ(Stage(s, 0)[AO], (uint32_t)GFX_TOP_SELECTARG1);
    EXPECT_EQ(s->myFadePass->myBlock->mySrcBlend, (uint32_t)GFX_BLEND_SRCALPHA);
    EXPECT_EQ(s->myFadePass->myBlock->myStages[0].myWords[A2], (uint32_t)GFX_TA_TFACTOR);
    QR_Surface::Release(s); // the force-flush instances keep it

    QR_Texture* t = QR_Texture::Acquire((myDir + "stone").c_str(), 0, 0, nullptr);
    QR_SurfaceInstance* a = QR_Surface::CreateInstanceWithTexture("INTERNAL_ALPHA", (myDir + "stone").c_str());
    QR_SurfaceInstance* b = QR_Surface::CreateInstanceWithTexture("internal_alpha", (myDir + "water1").c_str());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->mySurface, b->mySurface);
    EXPECT_EQ(a->mySurface->myRefCount, 2);
    EXPECT_EQ(a->mySurface->myPass, a->mySurface->myFadePass);
    EXPECT_EQ(a->mySurface->myPass->myBlock->myNumStages, 2u);
    EXPECT_EQ(t->myRefCount, 2);
    delete a;
    EXPECT_EQ(t->myRefCount, 1);
    QR_Surface* locAlpha = b->mySurface;
    delete b;
    EXPECT_EQ(QR_Surface::Find("internal_alpha"), nullptr);
    (void)locAlpha;
    QR_Texture::Release(t);
    // A texture that cannot be loaded fails the instance.
    EXPECT_EQ(QR_Surface::CreateInstanceWithTexture("INTERNAL_ALPHA", (myDir + "missing").c_str()), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_TEXTURE_FILE);
}

TEST_F(SurfaceTest, TheTemplateWithAFadePass)
{
    ASSERT_TRUE(Start());
    QR_Surface* s = Compile(Header(locStone, "SORT FADE") +
                            Pass("0\n", "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n", "OFF", "GREATER 128") +
                            Pass("0\n", "MUL_CLAMP TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\nMUL_CLAMP TEMP0.A TEXTURE0.A CONSTANT.A\n",
                                 "SRCALPHA INVSRCALPHA", "GREATER 128", "OFF"));
    ASSERT_NE(s, nullptr) << QR_Error::ourCode;
    EXPECT_NE(s->myPass, s->myFadePass);
    EXPECT_EQ(s->mySortFlag, 1u);
    EXPECT_EQ(s->myDefaultInstance.myAlphaRef, 128u);
    EXPECT_TRUE(s->myPass->myAlphaTestFlag);
    EXPECT_EQ(s->myPass->myBlock->myAlphaFunc, (uint32_t)GFX_CMP_GREATER);
    const uint32_t* w = Stage(s, 0);
    EXPECT_EQ(w[CO], (uint32_t)GFX_TOP_MODULATE);
    EXPECT_EQ(w[C1], (uint32_t)GFX_TA_TEXTURE);
    EXPECT_EQ(w[C2], (uint32_t)GFX_TA_DIFFUSE);
    EXPECT_EQ(w[AO], (uint32_t)GFX_TOP_MODULATE);
    EXPECT_EQ(w[RES], (uint32_t)GFX_TA_CURRENT);
    EXPECT_EQ(s->myPass->myBlock->myNumStages, 1u);
    const uint32_t* f = s->myFadePass->myBlock->myStages[0].myWords;
    EXPECT_EQ(f[A2], (uint32_t)GFX_TA_TFACTOR);
    EXPECT_EQ(s->myFadePass->myZWriteMode, 2u);
    EXPECT_EQ(s->myFadePass->myBlock->mySrcBlend, (uint32_t)GFX_BLEND_SRCALPHA);
    EXPECT_TRUE(s->myUsesDiffuseColor && s->myUsesDiffuseAlpha && s->myUsesConstant);
    EXPECT_FALSE(s->myUsesSpecularColor);
    ASSERT_EQ(s->myNumTextures, 1u);
    EXPECT_NE(s->myDefaultInstance.myTextures[0].myFrames[0], nullptr);
    QR_Surface::Release(s);
}

TEST_F(SurfaceTest, StagePlacementRules)
{
    ASSERT_TRUE(Start());
    // MUL_X2 is MOD2X; lower-case names are accepted.
    QR_Surface* s = Compile(Header(locStone) + Pass("0\n", "mul_x2_clamp temp0.rgba texture0.rgba vertex0.rgba\n",
                                                    "srcalpha invsrcalpha"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Stage(s, 0)[CO], (uint32_t)GFX_TOP_MODULATE2X);
    EXPECT_EQ(s->myPass->myBlock->myDestBlend, (uint32_t)GFX_BLEND_INVSRCALPHA);
    QR_Surface::Release(s);

    // Two colour stages and an alpha move that reads no texture: it moves to stage 1.
    const std::string locTwo = Header("TEXTURE $stone\nTEXTURE $detail\n");
    s = Compile(locTwo + Pass("0\n1\n", "MUL_CLAMP TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\n"
                                        "MUL_CLAMP TEMP0.RGB TEXTURE1.RGB TEMP0.RGB\nMOV_CLAMP TEMP0.A VERTEX0.A\n"));
    ASSERT_NE(s, nullptr) << QR_Error::ourCode;
    EXPECT_EQ(Stage(s, 1)[AO], (uint32_t)GFX_TOP_SELECTARG1);
    EXPECT_EQ(Stage(s, 1)[A1], (uint32_t)GFX_TA_DIFFUSE);
    EXPECT_EQ(Stage(s, 0)[AO], (uint32_t)GFX_TOP_SELECTARG1);
    EXPECT_EQ(Stage(s, 0)[A1], (uint32_t)GFX_TA_DIFFUSE);
    QR_Surface::Release(s);
    // Reading TEXTURE0 it stays on stage 0; stage 1 passes stage 0's result on.
    s = Compile(locTwo + Pass("0\n1\n", "MUL_CLAMP TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\n"
                                        "MUL_CLAMP TEMP0.RGB TEXTURE1.RGB TEMP0.RGB\nMOV_CLAMP TEMP0.A TEXTURE0.A\n"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Stage(s, 0)[A1], (uint32_t)GFX_TA_TEXTURE);
    EXPECT_EQ(Stage(s, 1)[AO], (uint32_t)GFX_TOP_SELECTARG1);
    EXPECT_EQ(Stage(s, 1)[A1], (uint32_t)GFX_TA_CURRENT);
    QR_Surface::Release(s);

    // A bump map on unit 0 read through unit 1: stage 0 BUMPENV, stage 1 the instruction.
    s = Compile(Header("BUMPMAP $bump\nTEXTURE $stone\n") + Pass("0\n1\n", "MUL_CLAMP TEMP0.RGBA TEXTURE1.RGBA VERTEX0.RGBA\n"));
    ASSERT_NE(s, nullptr) << QR_Error::ourCode;
    EXPECT_EQ(s->myPass->myBlock->myNumStages, 2u);
    EXPECT_EQ(Stage(s, 0)[CO], (uint32_t)GFX_TOP_BUMPENVMAP);
    EXPECT_EQ(Stage(s, 1)[CO], (uint32_t)GFX_TOP_MODULATE);
    QR_Surface::Release(s);

    // Only alpha written: every stage's colour passes the vertex colour on, the last one too.
    s = Compile(locTwo + Pass("0\n1\n", "MOV_CLAMP TEMP0.A VERTEX0.A\nMUL_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"));
    ASSERT_NE(s, nullptr);
    for (int i = 0; i < 2; i++)
    {
        EXPECT_EQ(Stage(s, i)[CO], (uint32_t)GFX_TOP_SELECTARG1) << i;
        EXPECT_EQ(Stage(s, i)[C1], (uint32_t)GFX_TA_DIFFUSE) << i;
    }
    QR_Surface::Release(s);

    // Arguments: MAD fills ARG1, ARG2, ARG0; "1-" inverts; ".A" replicates alpha.
    s = Compile(Header(locStone) + Pass("0\n", "MAD_CLAMP TEMP1.RGB 1-TEXTURE0.RGB VERTEX1.A CONSTANT.RGB\n"));
    ASSERT_NE(s, nullptr) << QR_Error::ourCode;
    EXPECT_EQ(Stage(s, 0)[C1], (uint32_t)(GFX_TA_TEXTURE | GFX_TA_COMPLEMENT));
    EXPECT_EQ(Stage(s, 0)[C2], (uint32_t)(GFX_TA_SPECULAR | GFX_TA_ALPHAREPLICATE));
    EXPECT_EQ(Stage(s, 0)[C0], (uint32_t)GFX_TA_TFACTOR);
    EXPECT_EQ(Stage(s, 0)[RES], (uint32_t)GFX_TA_TEMP);
    EXPECT_TRUE(s->myUsesSpecularAlpha);
    QR_Surface::Release(s);

    // An alpha instruction reads alpha only: ARG0 without replication, no colour marked.
    s = Compile(Header(locStone) + Pass("0\n", "MAD_CLAMP TEMP0.A VERTEX0.A VERTEX0.A VERTEX1.A\n"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Stage(s, 0)[A0], (uint32_t)GFX_TA_SPECULAR);
    EXPECT_TRUE(s->myUsesDiffuseAlpha);
    EXPECT_FALSE(s->myUsesDiffuseColor);
    EXPECT_FALSE(s->myUsesSpecularColor);
    QR_Surface::Release(s);

    // Two colour stages and three alpha stages: stage 2 passes stage 1's colour on; the
    // stage after the last is left alone.
    s = Compile(locTwo + Pass("0\n1\n", "MUL_CLAMP TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\n"
                                        "MUL_CLAMP TEMP1.RGB TEXTURE1.RGB TEMP0.RGB\n"
                                        "MOV_CLAMP TEMP0.A VERTEX0.A\nMOV_CLAMP TEMP1.A TEMP0.A\n"
                                        "MOV_CLAMP TEMP1.A TEMP1.A\n"));
    ASSERT_NE(s, nullptr) << QR_Error::ourCode;
    EXPECT_EQ(s->myPass->myBlock->myNumStages, 3u);
    EXPECT_EQ(Stage(s, 2)[CO], (uint32_t)GFX_TOP_SELECTARG1);
    EXPECT_EQ(Stage(s, 2)[C1], (uint32_t)GFX_TA_TEMP);
    EXPECT_EQ(Stage(s, 3)[CO], (uint32_t)GFX_TOP_DISABLE);
    QR_Surface::Release(s);

    // The pass's own fog colour, with or without the 0x prefix.
    s = Compile(Header(locStone) + "NUM_PASSES 1\r\nFRAMEBUFFERBLENDING OFF\r\nALPHATEST OFF\r\nZWRITE ON\r\n"
                                   "FOGCOLOR 0xFF336699\r\nNUM_REMAP_ENTRIES 1\r\n0\r\nNUM_INSTRUCTIONS 0\r\n");
    ASSERT_NE(s, nullptr) << QR_Error::ourCode;
    EXPECT_TRUE(s->myPass->myFogColorFlag);
    EXPECT_EQ(s->myPass->myFogColor, 0xFF336699u);
    EXPECT_EQ(s->myPass->myZWriteMode, 1u);
    QR_SurfaceInstance* locFog = QR_Surface::NewInstance(s, 0, nullptr);
    R()->SetSurface(locFog, 0xFFFFFFFF, 0.0f);
    EXPECT_EQ(Last("SetRenderState FOGCOLOR"), "SetRenderState FOGCOLOR " + std::to_string(0xFF336699u));
    delete locFog;
    QR_Surface::Release(s);
    s = Compile(Header(locStone) + "NUM_PASSES 1\r\nFRAMEBUFFERBLENDING OFF\r\nALPHATEST OFF\r\nZWRITE ON\r\n"
                                   "FOGCOLOR 336699\r\nNUM_REMAP_ENTRIES 1\r\n0\r\nNUM_INSTRUCTIONS 0\r\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->myPass->myFogColor, 0x336699u);
    QR_Surface::Release(s);

    // A second configuration is never read; remap entries above 15 bind no texture.
    s = Compile("VERSION 1\r\nNUM_DEFAULT_TEXTURES 2\r\nTEXTURE 2 $water1 $water2 8.0\r\nTEXTURE $stone\r\n"
                "NUM_CONFIGS 2\r\nCONFIG A\r\nCONFIG_FLAGS\r\n" +
                Pass("0\n1\n16\n17 DOT3CALC\n", "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n") + "CONFIG B\r\n");
    ASSERT_NE(s, nullptr) << QR_Error::ourCode;
    EXPECT_EQ(s->myPass->myNumRemapLines, 4u);
    EXPECT_EQ(s->myPass->myNumRemapEntries, 2u);
    EXPECT_EQ(s->myPass->myRemapMarks[3], (uint8_t)QR_REMAP_DOT3CALC);
    ASSERT_EQ(s->myNumTextures, 2u);
    EXPECT_EQ(s->myTextureNames[0].myNumNames, 2u);
    EXPECT_FLOAT_EQ(s->myTextureNames[0].myFramesPerSecond, 8.0f);
    EXPECT_EQ(s->myDefaultInstance.myTextures[0].myNumFrames, 2u);
    QR_Surface::Release(s);
}

TEST_F(SurfaceTest, BrokenTemplatesAreRefusedWithTheirCode)
{
    ASSERT_TRUE(Start());
    const std::string h = Header(locStone);
    const std::string locOk = "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n";
    const std::string locLongName(300, 'n');
    struct Case
    {
        const char* myWhat;
        std::string myText;
    } locCases[] = {
        {"version 2", "VERSION 2\r\n"},
        {"version not first", "NUM_CONFIGS 1\r\nVERSION 1\r\n"},
        {"no _CLAMP", h + Pass("0\n", "MUL TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\n")},
        {"modifier on ADD", h + Pass("0\n", "ADD_X2_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n")},
        {"CND", h + Pass("0\n", "CND_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA VERTEX1.RGBA\n")},
        {"wrong unit", h + Pass("0\n", "MUL_CLAMP TEMP0.RGBA TEXTURE1.RGBA VERTEX0.RGBA\n")},
        {"unit without remap", Header("TEXTURE $stone\nTEXTURE $detail\n") + Pass("0\n", "MOV_CLAMP TEMP0.RGBA TEXTURE1.RGBA\n")},
        {"bump read directly", Header("BUMPMAP $bump\nTEXTURE $stone\n") + Pass("0\n1\n", "MOV_CLAMP TEMP0.RGBA TEXTURE0.RGBA\n")},
        {"bump on the last unit", Header("TEXTURE $stone\nBUMPMAP $bump\n") + Pass("0\n1\n", locOk)},
        {"alpha only after a bump", Header("BUMPMAP $bump\nTEXTURE $stone\n") + Pass("0\n1\n", "MOV_CLAMP TEMP0.A TEXTURE1.A\n")},
        {"cube map", Header("CUBEMAP $stone\n") + Pass("0\n", locOk)},
        {"alpha test NEVER", h + Pass("0\n", locOk, "OFF", "NEVER 3")},
        {"blend name", h + Pass("0\n", locOk, "ONE SOMETHING")},
        {"two passes", h + "NUM_PASSES 2\r\n"},
        {"no configuration", "VERSION 1\r\nNUM_DEFAULT_TEXTURES 0\r\nNUM_CONFIGS 0\r\n"},
        {"destination", h + Pass("0\n", "MUL_CLAMP TEMP2.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n")},
        {"channel .B", h + Pass("0\n", "MOV_CLAMP TEMP0.A TEXTURE0.B\n")},
        {".RGBA into .RGB", h + Pass("0\n", "MOV_CLAMP TEMP0.RGB TEXTURE0.RGBA\n")},
        {"no channel", h + Pass("0\n", "MOV_CLAMP TEMP0.RGB TEXTURE0\n")},
        {"token over 31", h + Pass("0\n", "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA VERTEX0.RGBA\n")},
        {"frame name over 255", Header("TEXTURE " + locLongName + "\n") + Pass("0\n", locOk)},
        {"line over 256", h + Pass("0\n", "MUL_CLAMP TEMP0.RGBA" + std::string(300, ' ') + "TEXTURE0.RGBA VERTEX0.RGBA\n")},
        {"nine remap entries", Header("TEXTURE $stone\n") + Pass("0\n16\n17\n18\n19\n20\n21\n22\n23\n", locOk)},
        {"slot without a default", h + Pass("1\n", "MOV_CLAMP TEMP0.RGBA VERTEX0.RGBA\n")},
        {"coordinates before textures", h + Pass("16\n0\n", locOk)},
        {"more units than default textures", h + Pass("0\n0\n", locOk)},
        {"fewer names than the count", Header("TEXTURE 3 $water1 $water2 8.0\n") + Pass("0\n", locOk)},
        {"nine stages", h + Pass("0\n", locOk + std::string(
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"
                                                 "ADD_CLAMP TEMP0.RGBA TEMP0.RGBA VERTEX0.RGBA\n"))},
        {"end of file", h},
        {"unknown source", h + Pass("0\n", "MOV_CLAMP TEMP0.RGBA SHADOW0.RGBA\n")},
        {"remap without a number", h + Pass("X\n", locOk)},
        {"CONFIG missing", "VERSION 1\r\nNUM_DEFAULT_TEXTURES 1\r\nTEXTURE $stone\r\nNUM_CONFIGS 1\r\nCONFIG_FLAGS\r\n"
                           "CONFIG_FLAGS\r\n" + Pass("0\n", locOk)},
        {"fog colour with trailing letters", h + "NUM_PASSES 1\r\nFRAMEBUFFERBLENDING OFF\r\nALPHATEST OFF\r\n"
                                                 "ZWRITE ON\r\nFOGCOLOR 0x12ZZ\r\n"},
        {"fog colour", h + "NUM_PASSES 1\r\nFRAMEBUFFERBLENDING OFF\r\nALPHATEST OFF\r\nZWRITE ON\r\nFOGCOLOR 0xZZ\r\n"},
        {"nine alpha stages", h + Pass("0\n", locOk + std::string(
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"
                                                       "ADD_CLAMP TEMP0.A TEMP0.A VERTEX0.A\n"))},
    };
    for (const Case& c : locCases)
    {
        QR_Error::SetCode(0);
        EXPECT_EQ(Compile(c.myText), nullptr) << c.myWhat;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_SURFACE_SYNTAX) << c.myWhat;
    }
    // A frame name of 255 characters is read (its texture then is missing: another code).
    QR_Error::SetCode(0);
    EXPECT_EQ(Compile(Header("TEXTURE 2 " + std::string(255, 'n') + " $water1 8.0\n") + Pass("0\n", locOk)), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_TEXTURE_FILE);
    EXPECT_EQ(QR_Surface::Acquire((myDir + "missing.sur").c_str()), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_IMAGE_FORMAT);
    EXPECT_EQ(std::string(QR_Error::ourText), myDir + "missing.sur");
}

TEST_F(SurfaceTest, PixelShaderTexts)
{
    mySettings.myPixelShaderFlag = 1;
    ASSERT_TRUE(Start());
    ASSERT_TRUE(R()->myRenderSettings.myPixelShaderFlag);
    QR_Surface* s = QR_Surface::Acquire("INTERNAL_SOLID");
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->myPass->myBlock->myPixelShader, nullptr);
    QR_Surface::Release(s);
    // The fade pass was written last.
    QR_CompiledStageBlock locSolid = *QR_Surface::Find("internal_solid")->myPass->myBlock;
    locSolid.myPixelShader = nullptr;
    ASSERT_TRUE(QR_RenderD3D::WritePixelShader(&locSolid));
    EXPECT_STREQ(QR_RenderD3D::LastPixelShaderText(), "ps_1_1\r\ntex t0\r\nmul_sat r0.rgb, t0, v0\r\n+mov_sat r0.a, v0\r\n");
    QR_RenderD3D::ReleaseStageBlock(&locSolid);

    // DOT3 reads the biased constant; "1-" is one minus; LERP has no ps_1_1 form.
    QR_CompiledStageBlock b = locSolid;
    b.myStages[0].myWords[CO] = b.myStages[0].myWords[AO] = GFX_TOP_DOTPRODUCT3;
    b.myStages[0].myWords[C1] = b.myStages[0].myWords[A1] = GFX_TA_TFACTOR;
    b.myStages[0].myWords[C2] = b.myStages[0].myWords[A2] = GFX_TA_TEXTURE;
    ASSERT_TRUE(QR_RenderD3D::WritePixelShader(&b));
    EXPECT_NE(std::string(QR_RenderD3D::LastPixelShaderText()).find("dp3_sat r0.rgba, c1, t0_bx2\r\n"), std::string::npos);
    QR_RenderD3D::ReleaseStageBlock(&b);
    b.myStages[0].myWords[CO] = b.myStages[0].myWords[AO] = GFX_TOP_MODULATE;
    b.myStages[0].myWords[C1] = b.myStages[0].myWords[A1] = GFX_TA_DIFFUSE | GFX_TA_COMPLEMENT;
    ASSERT_TRUE(QR_RenderD3D::WritePixelShader(&b));
    EXPECT_NE(std::string(QR_RenderD3D::LastPixelShaderText()).find("mul_sat r0.rgba, 1-v0, t0\r\n"), std::string::npos);
    QR_RenderD3D::ReleaseStageBlock(&b);
    b.myStages[0].myWords[CO] = GFX_TOP_LERP;
    EXPECT_FALSE(QR_RenderD3D::WritePixelShader(&b));

    // ps_1_2 from template text, operands with blanks or commas.
    s = Compile(Header(locStone) + Pass("0\n", "mul_clamp temp0.rgba, texture0.rgba, vertex0.rgba\n"));
    ASSERT_NE(s, nullptr) << QR_Error::ourCode << " " << GFX_GetLastErrorDetail();
    EXPECT_STREQ(QR_RenderD3D::LastPixelShaderText(), "ps_1_2\r\ntex t0\r\nmul_sat r0.rgba, t0, v0\r\n");
    EXPECT_TRUE(s->myUsesSpecularColor);
    QR_Surface::Release(s);
    s = Compile(Header(locStone) + Pass("0\n", "MUL_CLAMP TEMP0.RGB TEXTURE0.RGB VERTEX0.RGB\n"));
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(QR_RenderD3D::LastPixelShaderText(), "ps_1_2\r\ntex t0\r\nmul_sat r0.rgb, t0, v0\r\n+mov r0.a, c0.a\r\n");
    QR_Surface::Release(s);
    s = Compile(Header("BUMPMAP $bump\nTEXTURE $stone\n") + Pass("0\n1\n", "mov_clamp temp0.rgba texture1.rgba\n"));
    ASSERT_NE(s, nullptr) << GFX_GetLastErrorDetail();
    EXPECT_STREQ(QR_RenderD3D::LastPixelShaderText(), "ps_1_2\r\ntex t0\r\ntexbem t1, t0\r\nmov_sat r0.rgba, t1\r\n");
    QR_Surface::Release(s);
    s = Compile(Header("TEXTURE $bump\nTEXTURE $stone\nTEXTURE $detail\n") +
                Pass("0\n1 DOT3CALC\n2 DOT3TEX\n", "mov_clamp temp0.rgba texture2.rgba\n"));
    ASSERT_NE(s, nullptr) << GFX_GetLastErrorDetail();
    EXPECT_NE(std::string(QR_RenderD3D::LastPixelShaderText()).find("texdp3 t1, t0_bx2\r\ntexdp3tex t2, t0_bx2\r\n"),
              std::string::npos);
    QR_Surface::Release(s);

    std::string locFifty;
    for (int k = 0; k < 50; k++)
        locFifty += "add_clamp temp0.rgba temp0.rgba texture0.rgba\n";
    // Error 3: a normal source below unit 0, texbem onto a dot-product entry, text too long,
    // text the assembler refuses.
    struct Case
    {
        const char* myWhat;
        std::string myText;
    } locCases[] = {
        {"dot3 on unit 0", Header(locStone) + Pass("0 DOT3TEX\n", "mov_clamp temp0.rgba texture0.rgba\n")},
        {"texbem onto a dot product", Header("BUMPMAP $bump\nTEXTURE $stone\n") + Pass("0\n1 DOT3TEX\n", "mov_clamp temp0.rgba texture1.rgba\n")},
        {"too long", Header(locStone) + Pass("0\n", locFifty)},
        {"assembler", Header(locStone) + Pass("0\n", "frobnicate temp0.rgba texture0.rgba\n")},
    };
    for (const Case& c : locCases)
    {
        QR_Error::SetCode(0);
        EXPECT_EQ(Compile(c.myText), nullptr) << c.myWhat;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_DEVICE_TEXTURE) << c.myWhat;
    }
}

TEST_F(SurfaceTest, WithPixelShadersOffTheWriterMakesNothing)
{
    ASSERT_TRUE(Start());
    QR_CompiledStageBlock b = {};
    EXPECT_TRUE(QR_RenderD3D::WritePixelShader(&b));
    EXPECT_EQ(b.myPixelShader, nullptr);
}

TEST_F(SurfaceTest, BindingSendsOnlyChanges)
{
    ASSERT_TRUE(Start());
    QR_View locView;
    QR_View::ourCurrentView = &locView;
    for (const char* f : {"f0", "f1", "f2", "f3"})
        QRT_WriteFile(myDir + f + ".tga", QRT_MakeTGA(2, 2, 24, std::vector<uint32_t>(4), true, false));
    Template("anim.sur", "VERSION 1\r\nNUM_DEFAULT_TEXTURES 1\r\nTEXTURE 4 $f0 $f1 $f2 $f3 8.0\r\n"
                         "NUM_CONFIGS 1\r\nCONFIG D\r\nCONFIG_FLAGS FADE\r\n" +
                             Pass("0\n", "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n", "OFF", "GREATER 200") +
                             Pass("0\n", "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n", "SRCALPHA INVSRCALPHA",
                                  "GREATER 200", "OFF"));
    QR_SurfaceInstance* i = QR_Surface::CreateInstance((myDir + "anim.sur").c_str(), 0, nullptr);
    ASSERT_NE(i, nullptr) << QR_Error::ourCode;
    QR_Texture* locFrame2 = i->myTextures[0].myFrames[2];

    R()->SetSurface(i, 0xFFFFFFFF, 1.3f); // 10.4 frames: frame 2
    EXPECT_EQ(Last("SetTexture 0"), "SetTexture 0 texture");
    Calls().clear();
    R()->SetSurface(i, 0xFFFFFFFF, 1.3f);
    EXPECT_TRUE(Calls().empty()) << Calls()[0];
    (void)locFrame2;

    // Alpha 128 picks the fade pass, whose own depth-write mode goes every time; the alpha
    // reference follows the opacity: 200 x 128 / 255 = 100.
    R()->SetSurface(i, 0x80FFFFFF, 1.3f);
    EXPECT_EQ(Count("SetRenderState ALPHAREF 100"), 1);
    EXPECT_EQ(Count("SetRenderState ZWRITEENABLE 0"), 1);
    EXPECT_EQ(Count("SetRenderState TEXTUREFACTOR"), 1);
    Calls().clear();
    R()->SetSurface(i, 0x80FFFFFF, 1.3f);
    EXPECT_EQ(Count("SetRenderState ZWRITEENABLE 0"), 1);
    EXPECT_EQ(Calls().size(), 1u);

    // No instance: the default block and one stage.
    Calls().clear();
    R()->SetSurface(nullptr, 0x80FFFFFF, 0.0f);
    EXPECT_EQ(Count("SetTextureStageState 0 COLOROP"), 1);
    R()->SetSurface(nullptr, 0x80FFFFFF, 0.0f);
    EXPECT_EQ(Count("SetTextureStageState 0 COLOROP"), 1);

    // A slot entry without frames binds nothing.
    R()->SetSurface(i, 0xFFFFFFFF, 0.0f);
    uint32_t locFrames = i->myTextures[0].myNumFrames;
    i->myTextures[0].myNumFrames = 0;
    Calls().clear();
    R()->SetSurface(i, 0xFFFFFFFF, 0.0f);
    EXPECT_EQ(Last("SetTexture 0"), "SetTexture 0 none");
    i->myTextures[0].myNumFrames = locFrames;
    delete i;
    QR_View::ourCurrentView = nullptr;
}

TEST_F(SurfaceTest, InstancesRecordsAndBumpMatrices)
{
    ASSERT_TRUE(Start());
    std::string locName = Template("two.sur", Header("TEXTURE $stone\nBUMPMAP $bump\nTEXTURE $detail\n") +
                                                  Pass("0\n1\n2\n", "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n"
                                                                    "MUL_CLAMP TEMP0.RGBA TEXTURE2.RGBA TEMP0.RGBA\n"));
    QR_TextureNames locRecord;
    locRecord.SetNames(1);
    locRecord.myNames[0] = (myDir + "water1").c_str();
    QR_SurfaceInstance* i = QR_Surface::CreateInstance(locName.c_str(), 1, &locRecord);
    ASSERT_NE(i, nullptr) << QR_Error::ourCode;
    ASSERT_EQ(i->myNumTextures, 3u);
    QR_Surface* s = i->mySurface;
    EXPECT_EQ(s->myRefCount, 1);
    // The slots after the record take the template's textures, raising their counts.
    EXPECT_EQ(i->myTextures[1].myFrames[0], s->myDefaultInstance.myTextures[1].myFrames[0]);
    EXPECT_EQ(i->myTextures[1].myFrames[0]->myRefCount, 2);
    EXPECT_NE(i->myTextures[0].myFrames[0], s->myDefaultInstance.myTextures[0].myFrames[0]);
    R()->SetSurface(i, 0xFFFFFFFF, 0.0f);
    Calls().clear();
    R()->SetSurface(i, 0xFFFFFFFF, 0.0f);
    EXPECT_EQ(Count("SetTextureStageState 1 BUMPENVMAT"), 4); // the bump matrix goes every time
    delete i;
}

TEST_F(SurfaceTest, TextureSlotsByFileName)
{
    QRT_WriteFile(myDir + "fire0002.dds", QRT_MakeDDS("DXT1", 4, 4, 0));
    QRT_WriteFile(myDir + "fire0003.tga", QRT_MakeTGA(1, 1, 24, {0}, true, false));
    QR_TextureNames r;
    ASSERT_TRUE(QR_Surface::LoadTexture((myDir + "fire0001.tga").c_str(), &r));
    ASSERT_EQ(r.myNumNames, 3u);
    EXPECT_EQ(std::string(r.myNames[2].myData), myDir + "fire0003");
    EXPECT_FLOAT_EQ(r.myFramesPerSecond, 20.0f);
    ASSERT_TRUE(QR_Surface::LoadTexture((myDir + "fire0012").c_str(), &r));
    EXPECT_EQ(r.myNumNames, 1u);
    EXPECT_EQ(std::string(r.myNames[0].myData), myDir + "fire0012");
    ASSERT_TRUE(QR_Surface::LoadTexture("rock.tga", &r));
    EXPECT_EQ(std::string(r.myNames[0].myData), "rock");
    for (const char* n : {"ab", "000", "x000a", "x000.tga"})
    {
        ASSERT_TRUE(QR_Surface::LoadTexture(n, &r)) << n;
        EXPECT_EQ(r.myNumNames, 1u) << n;
    }
    EXPECT_FALSE(QR_Surface::LoadTexture(std::string(300, 'a').c_str(), &r));
}

TEST_F(SurfaceTest, DeviceLossRecompilesSurfacesAndTheNextFrameBinds)
{
    ASSERT_TRUE(Start());
    QR_Surface* s = Compile(Header(locStone) + Pass("0\n", "MUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA VERTEX0.RGBA\n"));
    ASSERT_NE(s, nullptr);
    QR_SurfaceInstance* i = QR_Surface::NewInstance(s, 0, nullptr);
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    R()->BeginFrame();
    R()->EndFrame();
    R()->BeginFrame();
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    ASSERT_NE(s->myPass, nullptr);
    ASSERT_NE(i->myTextures[0].myFrames[0]->myDeviceData, nullptr);
    Calls().clear();
    R()->SetSurface(i, 0xFFFFFFFF, 0.0f);
    EXPECT_EQ(Last("SetTexture 0"), "SetTexture 0 texture");
    EXPECT_EQ(Count("SetTextureStageState 0 COLOROP 4"), 1);
    R()->EndFrame();
    delete i;
    QR_Surface::Release(s);
}

} // namespace
