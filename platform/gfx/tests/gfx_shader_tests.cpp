// The shader assembler's rules, and shader programs drawing on llvmpipe.
//
// [SECTION] Assembler
// [SECTION] Programs on llvmpipe
// [SECTION] Dependent reads and matrix instructions, each expected value from its equation
#include "platform/gfx/gfx_device.h"
#include "platform/gfx/gfx_local.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

// [SECTION] Assembler

namespace
{

bool Assemble(const std::string& aText, GFX_ShaderProgram* aProgram)
{
    return GFX_AssembleShader(aText.data(), aText.size(), aProgram);
}

// Channel distance, for values that pass through float maths.
int Distance(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int s = 0; s < 32; s += 8)
        d = std::max(d, std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)));
    return d;
}

} // namespace

TEST(GfxShaderAsm, ReadsTheGeneratedPixelShaderForm)
{
    GFX_ShaderProgram p;
    ASSERT_TRUE(Assemble("ps_1_1\r\ntex t0\r\nmul_sat r0.rgb, t0, v0\r\n+mov_sat r0.a, v0\r\n", &p))
        << GFX_GetLastErrorDetail();
    EXPECT_TRUE(p.myPixelFlag);
    ASSERT_EQ(p.myInsts.size(), 3u);
    EXPECT_EQ(p.myInsts[0].myOp, GFX_SOP_TEX);
    EXPECT_EQ(p.myInsts[1].myDst.myMask, 0x7);
    EXPECT_TRUE(p.myInsts[1].mySatFlag);
    EXPECT_TRUE(p.myInsts[2].myCoissueFlag);
    EXPECT_EQ(p.myInsts[2].myDst.myMask, 0x8);
    EXPECT_EQ(GFX_ShaderStageCount(p), 1u);
    ASSERT_TRUE(Assemble("PS.1.2 // template text\n tex t0\n texbem t1, t0\n dp3_sat r0, c1, t1_bx2 ; comment\n"
                         " lrp r0.rgb, 1-r0.a, -r0, c0.b\n",
                         &p))
        << GFX_GetLastErrorDetail();
    EXPECT_EQ(p.myInsts[2].mySrc[1].myMod, GFX_SRCMOD_BX2);
    EXPECT_EQ(p.myInsts[3].mySrc[0].myMod, GFX_SRCMOD_COMPLEMENT);
    EXPECT_EQ(p.myInsts[3].mySrc[0].mySwizzle[0], 3);
    EXPECT_TRUE(p.myInsts[3].mySrc[1].myNegateFlag);
    EXPECT_EQ(p.myInsts[3].mySrc[2].mySwizzle[3], 2);
    EXPECT_EQ(GFX_ShaderStageCount(p), 2u);
}

TEST(GfxShaderAsm, ReadsVertexShadersWithRelativeConstants)
{
    GFX_ShaderProgram p;
    ASSERT_TRUE(Assemble("vs_1_1\r\ndcl_position v0\r\ndcl_texcoord1 v6\r\ndcl_blendindices v2\r\nmov a0.x, v2.x\r\n"
                         "m4x3 r1.xyz, v0, c[a0.x + 4]\r\nmad oFog, r1.x, c94.z, c94.w\r\nrcp r1.x, r1.x\r\n"
                         "def c95, 0.001, 0.0009765625, 0.5, 0\r\nmov oT1.xy, v6\r\n",
                         &p))
        << GFX_GetLastErrorDetail();
    EXPECT_FALSE(p.myPixelFlag);
    EXPECT_EQ(p.myInsts[1].myUsage, GFX_DECLUSAGE_TEXCOORD);
    EXPECT_EQ(p.myInsts[1].myUsageIndex, 1);
    EXPECT_EQ(p.myInsts[3].myDst.myFile, GFX_REG_ADDRESS);
    EXPECT_TRUE(p.myInsts[4].mySrc[1].myRelativeFlag);
    EXPECT_EQ(p.myInsts[4].mySrc[1].myIndex, 4);
    EXPECT_EQ(p.myInsts[5].myDst.myFile, GFX_REG_FOG);
    EXPECT_EQ(p.myInsts[6].mySrc[0].mySwizzle[3], 0); // ".x" replicates
    EXPECT_FLOAT_EQ(p.myInsts[7].myValues[1], 0.0009765625f);
}

TEST(GfxShaderAsm, AcceptsTheFormsTheRendererWrites)
{
    // A lit, fogged vertex program that fills its temporaries in parts, and template pixel
    // shaders with dependent reads, replicate swizzles and a co-issued alpha.
    const char* locTexts[] = {
        "vs_1_1\r\ndcl_position v0\r\ndcl_normal v3\r\ndcl_texcoord0 v5\r\nm4x4 r0, v0, c0\r\nmov oPos, r0\r\n"
        "m4x3 r1.xyz, v0, c76\r\nsub r1.xyz, r1.xyz, c80.xyz\r\ndp3 r1.x, r1.xyz, r1.xyz\r\nrsq r1.x, r1.x\r\n"
        "rcp r1.x, r1.x\r\nmad oFog, r1.x, c94.z, c94.w\r\nm3x2 oT0, v5.xyw, c60\r\ndp3 r0.x, v3, c82\r\n"
        "dp3 r0.y, v3, c81\r\nmov r0.w, c81.w\r\nlit r0, r0\r\nmul r2, r0.z, c84\r\nmul r1, r0.y, c83\r\n"
        "mad oD1, r0.z, c92, r2\r\nmad r0, r0.y, c91, r1\r\nadd oD0, r0, c93\r\n",
        "ps_1_2\r\ntex t0\r\ntexbem t1, t0\r\ntexdp3tex t2, t0_bx2\r\nmul_sat r0.rgb, t1, v0\r\n"
        "+mov r0.a, c0.a\r\nlrp r1, r0.a, t2, c1.b\r\nmad r0.rgb, r1, r0, v1\r\n",
        "ps_1_4\r\ntexld r0, t0\r\ntexcrd r1.rgb, t1_dw.xyw\r\nbem r1.rg, r1, r0\r\nphase\r\ntexld r1, r1\r\n"
        "mul r0, r1, r0.g\r\n",
    };
    for (const char* t : locTexts)
    {
        GFX_ShaderProgram p;
        EXPECT_TRUE(Assemble(t, &p)) << t << " gave " << GFX_GetLastErrorDetail();
    }
}

TEST(GfxShaderAsm, InstructionsReadOnlyTheComponentsTheyUse)
{
    // Each text writes just what its last instruction reads; one component fewer is refused.
    struct Case { const char* myAccepted; const char* myRefused; };
    const Case locCases[] = {
        {"vs_1_1\nmov r0.xyz, c0\ndp3 r1, r0, c1\n", "vs_1_1\nmov r0.xy, c0\ndp3 r1, r0, c1\n"},
        {"vs_1_1\nmov r0, c0\ndp4 r1, r0, c1\n", "vs_1_1\nmov r0.xyz, c0\ndp4 r1, r0, c1\n"},
        {"vs_1_1\nmov r0.w, c0\nrcp r1, r0\n", "vs_1_1\nmov r0.xyz, c0\nrsq r1, r0\n"},
        {"vs_1_1\nmov r0.y, c0\nexpp r1, r0.y\n", "vs_1_1\nmov r0.x, c0\nlogp r1, r0.y\n"},
        {"vs_1_1\nmov r0.xyw, c0\nlit r1, r0\n", "vs_1_1\nmov r0.xyz, c0\nlit r1, r0\n"},
        {"vs_1_1\nmov r0.yz, c0\nmov r1.yw, c1\ndst r2, r0, r1\n", "vs_1_1\nmov r0.yz, c0\nmov r1.yz, c1\ndst r2, r0, r1\n"},
        {"vs_1_1\nmov r0.yz, c0\nmov r1.yw, c1\ndst r2, r0, r1\n", "vs_1_1\nmov r0.yw, c0\nmov r1.yw, c1\ndst r2, r0, r1\n"},
        {"vs_1_1\nmov r1, c0\nmov r2, c1\nmov r3, c2\nm4x3 r0.xyz, c3, r1\n",
         "vs_1_1\nmov r1, c0\nmov r2, c1\nmov r3, c2\nm4x4 r0, c3, r1\n"},
        {"vs_1_1\nmov r1.xyz, c0\nmov r2.xyz, c1\nm3x2 r0.xy, r1, c4\n", "vs_1_1\nmov r1.xy, c0\nm3x3 r0.xyz, r1, c4\n"},
        {"vs_1_1\nmov r11.x, c0\nmov r10.yz, r11.x\nmov oD0.yz, r10\n", "vs_1_1\nmov r11.x, c0\nmov oD0, r11.xxyx\n"},
        {"ps_1_4\ntexld r0, t0\ntexcrd r1.rg, t1\nbem r2.rg, r1, r0\n", "ps_1_4\ntexld r0, t0\ntexcrd r1.rg, t1\nphase\ntexld r1, r1\n"},
        {"ps_1_4\ntexcrd r1.rg, t1\nmov r1.a, c0\nphase\ntexld r2, r1_dw.xyw\n",
         "ps_1_4\ntexcrd r1.rg, t1\nmov r1.b, c0\nphase\ntexld r2, r1_dw.xyw\n"},
        {"ps_1_4\nmov r5.rg, c0\ntexdepth r5\n", "ps_1_4\nmov r5.r, c0\ntexdepth r5\n"},
        {"ps_1_1\nmov r0.a, c0\n+mov r1.rgb, c1\nmov r0.rgb, r1\n", "ps_1_1\nmov r0.a, c0\n+mov r1.rgb, r0.a\n"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v0\n", "vs_1_1\nmov oPos, v0\n"},
        {"vs_1_1\nmov r1.xyz, c0\nmov r2.xyz, c1\nm3x2 r0.xy, c3, r1\n", "vs_1_1\nmov r1.xyz, c0\nmov r2.xyz, c1\nm3x3 r0.xyz, c3, r1\n"},
        {"vs_1_1\nmov r1.xyz, c0\nmov r2.xyz, c1\nmov r3.xyz, c1\nmov r4.xyz, c1\nm3x4 r0, c3, r1\n",
         "vs_1_1\nmov r1.xyz, c0\nmov r2.xyz, c1\nmov r3.xyz, c1\nm3x4 r0, c3, r1\n"},
        {"vs_1_1\nmov r8, c0\nmov r9, c0\nmov r10, c0\nmov r11, c0\nm4x4 r0, c3, r8\n",
         "vs_1_1\nmov r9, c0\nmov r10, c0\nmov r11, c0\nm4x4 r0, c3, r9\n"},
        {"vs_1_1\nmov r0, c0\nmov oPos, r0\n", "vs_1_1\nmov oD0, c0\nmov oPos, r0\n"},
        {"vs_1_1\ndcl_texcoord7 v15\nmov oPos, v15\n", "vs_1_1\ndcl_texcoord7 v16\nmov oPos, v16\n"},
        {"ps_1_1\nmov r0, c7\n", "ps_1_1\nmov r0, c8\n"},
        {"ps_1_4\ntexld r0, t5\n", "ps_1_4\ntexld r0, t6\n"},
        {"ps_1_4\ntexcrd r2.rgb, t0\ntexkill r2\n", "ps_1_4\ntexcrd r2.rg, t0\ntexkill r2\n"},
        {"ps_1_4\nmov r0, c0.g\n", "ps_1_3\nmov r0, c0.g\n"},
        {"ps_1_4\ntexld r0, t0.xyz\n", "ps_1_4\ntexld r0, t0.xzw\n"},
        {"ps_1_1\ntex t0\ntexm3x2pad t1, t0\ntexm3x2tex t2, t0\n", "ps_1_1\ntex t0\ntexm3x2pad t1, t0\ntexm3x2tex t2, t1\n"},
        {"ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\ntexm3x3tex t3, t0\n",
         "ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\ntexm3x3pad t3, t0\n"},
    };
    for (const Case& c : locCases)
    {
        GFX_ShaderProgram p;
        EXPECT_TRUE(Assemble(c.myAccepted, &p)) << c.myAccepted << " gave " << GFX_GetLastErrorDetail();
        EXPECT_FALSE(Assemble(c.myRefused, &p)) << c.myRefused;
    }
}

TEST(GfxShaderAsm, RefusesBrokenTextWithItsLine)
{
    struct Case { const char* myText; const char* myDetail; };
    const Case locCases[] = {
        {"mov r0, v0\n", "line 1: the first line"},
        {"vs_2_0\n", "line 1: the first line"},
        {"vs_1_1\nfoo r0, v0\n", "line 2: unknown instruction"},
        {"vs_1_1\nmov r12, v0\n", "line 2: register index out of range"},
        {"vs_1_1\nmov v0, r0\n", "line 2: inputs and constants cannot be written"},
        {"vs_1_1\nadd r0, v0\n", "line 2: wrong number of operands"},
        {"vs_1_1\nmov r0, v0.xq\n", "line 2: bad swizzle"},
        {"vs_1_1\nmov r0.yx, v0\n", "line 2: bad write mask"},
        {"vs_1_1\n+mov r0, v0\n", "line 2: co-issue in a vertex shader"},
        {"vs_1_1\nmov r0, oPos\n", "line 2: outputs cannot be read"},
        {"vs_1_1\nmov_sat r0, v0\n", "line 2: unknown instruction modifier"},
        {"vs_1_1\ntex t0\n", "line 2: instruction not offered"},
        {"ps_1_1\nmov r2, v0\n", "line 2: register index out of range"},
        {"ps_1_1\nmov r0, c8\n", "line 2: register index out of range"},
        {"ps_1_1\ntexbem t0, t1\n", "line 2: the source must be an earlier texture register"},
        {"ps_1_1\ntexld r0, t0\n", "line 2: texld, texcrd and texdepth need ps_1_4"},
        {"ps_1_4\ntex t0\n", "line 2: ps_1_4 reads textures"},
        {"ps_1_1\nmov r0, a0\n", "line 2: register not offered"},
        {"ps_1_1\ndef c0, 1, 2, x, 4\n", "line 2: bad number"},
        {"ps_1_1\ndef c0, 1, 2, nan, 4\n", "line 2: bad number"},
        // What the shader versions refuse, with the rule.
        {"vs_1_1\ndcl_position v0\nmov r0.xyz, v0\nmov oPos, r0\n", "line 4: temporary read before it is written: r0"},
        {"vs_1_1\ndcl_position v0\nm4x4 oPos, v0, r1\n", "line 3: temporary read before it is written: r1"},
        {"ps_1_1\nmov r0.rgb, c0\nmov r1, r0.a\n", "line 3: temporary read before it is written: r0"},
        {"ps_1_1\nmov r0, c0\nmov r0.rgb, c1\n+mov r0.a, r1.b\n", "line 4: temporary read before it is written: r1"},
        {"ps_1_4\ntexkill r2\n", "line 2: temporary read before it is written: r2"},
        {"ps_1_1\nmov r0, c0.r\n", "line 2: swizzle not offered in this shader version: c0.r"},
        {"ps_1_1\nmov r0, c0.gbra\n", "line 2: swizzle not offered in this shader version"},
        {"ps_1_4\nmov r0, c0.xyzz\n", "line 2: swizzle not offered in this shader version"},
        {"ps_1_1\ntex t0\ntexbem t1, t0.a\n", "line 3: swizzle not offered in this shader version"},
        {"vs_1_1\ndcl_position v0\nmov oPos, v1\n", "line 3: input read without a dcl: v1"},
        {"ps_1_4\ntexld r0, t0\nadd r0, r0, t0\n", "line 3: ps_1_4 arithmetic cannot use texture registers: t0"},
        {"ps_1_4\nmov t0, c0\n", "line 2: ps_1_4 arithmetic cannot use texture registers: t0"},
        {"ps_1_1\n+mov r0.a, c0.a\n", "line 2: a co-issued instruction pairs with the arithmetic instruction"},
        {"ps_1_1\ntex t0\n+mov r0.a, c0.a\n", "line 3: a co-issued instruction pairs"},
        {"ps_1_1\nmov r0.rgb, c0\n+mov r0.a, c1\n+mov r1, c1\n", "line 4: a co-issued instruction pairs"},
        {"vs_1_1\ndcl_position v0\nmov oPos, c[a0.x + 1]\n", "line 3: a0 read before it is written: c[a0.x + 1]"},
        {"ps_1_1\ntex t0\ntexm3x2pad t1, t0\nmov r0, t1\n", "line 4: texm3x2pad must be followed by texm3x2tex"},
        {"ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\n", "line 4: texm3x3pad must be followed"},
        {"ps_1_1\ntex t0\ntexm3x2tex t1, t0\n", "line 3: the rows of a texm3x2 or texm3x3 matrix"},
        {"ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t3, t0\n", "line 4: the rows of a texm3x2"},
        {"ps_1_1\ntex t0\ntexreg2rgb t1, t0\n", "line 3: texreg2rgb and texm3x3 need ps_1_2 or ps_1_3"},
        {"ps_1_3\ntex t0\ntexreg2ar t0, t0\n", "line 3: the source must be an earlier texture register"},
        {"ps_1_4\ntexld r4, t0\ntexdepth r4\n", "line 3: texdepth works on r5"},
        {"ps_1_2\ntexdepth r1\n", "line 2: texld, texcrd and texdepth need ps_1_4"},
        {"ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\ntexm3x3spec t3, t0, t1\n",
         "line 5: texm3x3spec takes the eye vector from a constant"},
    };
    for (const Case& c : locCases)
    {
        GFX_ShaderProgram p;
        EXPECT_FALSE(Assemble(c.myText, &p)) << c.myText;
        EXPECT_EQ(std::string(GFX_GetLastErrorDetail()).rfind(c.myDetail, 0), 0u)
            << c.myText << " gave " << GFX_GetLastErrorDetail();
    }
}

// [SECTION] Programs on llvmpipe

namespace
{

class GfxShaderPixel : public ::testing::Test
{
protected:
    static GFX_System* ourSystem;
    static void SetUpTestSuite() { ourSystem = GFX_CreateGLSystem(); }
    static void TearDownTestSuite()
    {
        GFX_DestroySystem(ourSystem);
        ourSystem = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(ourSystem, nullptr);
        GFX_DeviceDesc d;
        d.myWidth = d.myHeight = 16;
        myDevice = ourSystem->CreateDevice(d);
        ASSERT_NE(myDevice, nullptr);
        const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0},
                                       {0, 12, GFX_DECLTYPE_COLOR, GFX_DECLUSAGE_COLOR, 0},
                                       {0, 16, GFX_DECLTYPE_FLOAT2, GFX_DECLUSAGE_TEXCOORD, 0}};
        myDecl = myDevice->CreateVertexDecl(e, 3);
        GFX_BufferDesc b;
        b.mySize = 4 * 24;
        myBuffer = myDevice->CreateBuffer(b);
        myDevice->SetRenderState(GFX_RS_LIGHTING, 0);
        myDevice->SetRenderState(GFX_RS_CULLMODE, GFX_CULL_NONE);
    }
    void TearDown() override
    {
        myDevice->ReleaseBuffer(myBuffer);
        myDevice->ReleaseVertexDecl(myDecl);
        if (myRowsDecl)
        {
            myDevice->ReleaseBuffer(myRowsBuffer);
            myDevice->ReleaseVertexDecl(myRowsDecl);
        }
        for (GFX_Shader* s : myShaders)
            myDevice->ReleaseShader(s);
        for (GFX_Texture* t : myTextures)
            myDevice->ReleaseTexture(t);
        EXPECT_EQ(myDevice->GetLiveObjectCount(), 0u);
        ourSystem->DestroyDevice(myDevice);
    }
    GFX_Shader* Shader(const std::string& aText)
    {
        GFX_Shader* s = myDevice->CreateShader(aText.data(), uint32_t(aText.size()));
        EXPECT_NE(s, nullptr) << GFX_GetLastErrorDetail();
        myShaders.push_back(s);
        return s;
    }
    GFX_Texture* Texture(uint32_t aColor)
    {
        GFX_TextureDesc d;
        d.myWidth = d.myHeight = 1;
        GFX_Texture* t = myDevice->CreateTexture(d);
        GFX_LockedRect r;
        myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r);
        memcpy(r.myBits, &aColor, 4);
        myDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0);
        myTextures.push_back(t);
        return t;
    }
    // A quad over the whole target (positions -1..1), one colour.
    uint32_t DrawQuad(uint32_t aColor, float aScale = 1.0f)
    {
        struct V { float x, y, z; uint32_t c; float u, v; };
        const V v[4] = {{-aScale, aScale, 0.5f, aColor, 0, 0}, {aScale, aScale, 0.5f, aColor, 1, 0},
                        {-aScale, -aScale, 0.5f, aColor, 0, 1}, {aScale, -aScale, 0.5f, aColor, 1, 1}};
        return DrawVertices(v, sizeof(v));
    }

    // Stage 0: a V8U8 map with du = 64 / 127 everywhere and the bump matrix 0.496 on stage 1;
    // stage 1: red left half, blue right half, read through coordinate set 0. At u = 0.375
    // the offset 0.496 x du = 0.25 moves the read into the blue half.
    void BumpAndHalves()
    {
        GFX_TextureDesc d;
        d.myWidth = d.myHeight = 4;
        d.myFormat = GFX_FORMAT_V8U8;
        GFX_Texture* locBump = myDevice->CreateTexture(d);
        ASSERT_NE(locBump, nullptr);
        myTextures.push_back(locBump);
        d.myFormat = GFX_FORMAT_A8R8G8B8;
        GFX_Texture* locHalves = myDevice->CreateTexture(d);
        ASSERT_NE(locHalves, nullptr);
        myTextures.push_back(locHalves);
        GFX_LockedRect r;
        ASSERT_TRUE(myDevice->LockTexture(locBump, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
        for (int i = 0; i < 16; ++i)
            static_cast<int8_t*>(r.myBits)[(i / 4) * r.myPitch + (i % 4) * 2] = 64;
        myDevice->UnlockTexture(locBump, GFX_CUBEFACE_POSITIVE_X, 0);
        ASSERT_TRUE(myDevice->LockTexture(locHalves, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
        for (int i = 0; i < 16; ++i)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.myBits) + (i / 4) * r.myPitch)[i % 4] =
                i % 4 < 2 ? 0xFFFF0000 : 0xFF0000FF;
        myDevice->UnlockTexture(locHalves, GFX_CUBEFACE_POSITIVE_X, 0);
        myDevice->SetTexture(0, locBump);
        myDevice->SetTexture(1, locHalves);
        myDevice->SetTextureStageState(1, GFX_TSS_TEXCOORDINDEX, 0);
        myDevice->SetTextureStageState(1, GFX_TSS_BUMPENVMAT00, GFX_FloatBits(0.496f));
    }

    // A full-target quad whose every vertex has the texture coordinates (u, v); the centre pixel.
    uint32_t DrawAt(float u, float v)
    {
        struct V { float x, y, z; uint32_t c; float u, v; };
        const V q[4] = {{-1, 1, 0.5f, 0, u, v}, {1, 1, 0.5f, 0, u, v}, {-1, -1, 0.5f, 0, u, v}, {1, -1, 0.5f, 0, u, v}};
        return DrawVertices(q, sizeof(q));
    }

    // Four vertices of aStride bytes through aDecl (the fixture's own when null); the centre pixel.
    uint32_t DrawVertices(const void* aVertices, size_t aSize, bool aClearFlag = true,
                          GFX_VertexDecl* aDecl = nullptr, GFX_Buffer* aBuffer = nullptr, uint32_t aStride = 24)
    {
        GFX_Buffer* b = aBuffer ? aBuffer : myBuffer;
        void* p = nullptr;
        EXPECT_TRUE(myDevice->LockBuffer(b, 0, 0, 0, &p));
        memcpy(p, aVertices, aSize);
        myDevice->UnlockBuffer(b);
        myDevice->SetVertexDecl(aDecl ? aDecl : myDecl);
        myDevice->SetStreamSource(0, b, 0, aStride);
        if (aClearFlag)
            myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        EXPECT_TRUE(myDevice->BeginScene());
        EXPECT_TRUE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLESTRIP, 0, 2)) << GFX_GetLastErrorDetail();
        EXPECT_TRUE(myDevice->EndScene());
        uint32_t locPixels[256];
        EXPECT_TRUE(myDevice->ReadSurface(myDevice->GetBackBuffer(), locPixels, 64));
        return locPixels[8 * 16 + 8];
    }

    // A full-target quad whose texture-coordinate sets 0..3 (four components each) hold
    // aRows at every vertex; the centre pixel.
    uint32_t DrawRows(const float aRows[4][4])
    {
        if (!myRowsDecl)
        {
            const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0},
                                           {0, 12, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_TEXCOORD, 0},
                                           {0, 28, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_TEXCOORD, 1},
                                           {0, 44, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_TEXCOORD, 2},
                                           {0, 60, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_TEXCOORD, 3}};
            myRowsDecl = myDevice->CreateVertexDecl(e, 5);
            GFX_BufferDesc b;
            b.mySize = 4 * 76;
            myRowsBuffer = myDevice->CreateBuffer(b);
        }
        float v[4][19];
        const float locCorners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        for (int k = 0; k < 4; ++k)
        {
            v[k][0] = locCorners[k][0];
            v[k][1] = locCorners[k][1];
            v[k][2] = 0.5f;
            memcpy(&v[k][3], aRows, 64);
        }
        return DrawVertices(v, sizeof(v), true, myRowsDecl, myRowsBuffer, 76);
    }

    // 2 x 2 texels, point sampled and wrapped: red, green on the top row; blue, white below.
    GFX_Texture* Quadrants()
    {
        GFX_TextureDesc d;
        d.myWidth = d.myHeight = 2;
        GFX_Texture* t = myDevice->CreateTexture(d);
        EXPECT_NE(t, nullptr);
        myTextures.push_back(t);
        GFX_LockedRect r;
        EXPECT_TRUE(myDevice->LockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0, 0, &r));
        memcpy(r.myBits, ourQuadrants, 8);
        memcpy(static_cast<uint8_t*>(r.myBits) + r.myPitch, ourQuadrants + 2, 8);
        myDevice->UnlockTexture(t, GFX_CUBEFACE_POSITIVE_X, 0);
        return t;
    }
    static constexpr uint32_t ourQuadrants[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    static uint32_t Quadrant(double u, double v)
    {
        u -= std::floor(u);
        v -= std::floor(v);
        return ourQuadrants[(v >= 0.5 ? 2 : 0) + (u >= 0.5 ? 1 : 0)];
    }

    // A cube map with one colour per face: +x, -x, +y, -y, +z, -z.
    GFX_Texture* Faces()
    {
        GFX_TextureDesc d;
        d.myWidth = d.myHeight = 1;
        d.myCubeFlag = true;
        GFX_Texture* t = myDevice->CreateTexture(d);
        EXPECT_NE(t, nullptr);
        myTextures.push_back(t);
        for (uint32_t f = 0; f < 6; ++f)
        {
            GFX_LockedRect r;
            EXPECT_TRUE(myDevice->LockTexture(t, GFX_CubeFace(f), 0, 0, &r));
            memcpy(r.myBits, &ourFaces[f], 4);
            myDevice->UnlockTexture(t, GFX_CubeFace(f), 0);
        }
        return t;
    }
    static constexpr uint32_t ourFaces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    static uint32_t Face(const double d[3])
    {
        int a = 0;
        for (int k = 1; k < 3; ++k)
            if (std::fabs(d[k]) > std::fabs(d[a]))
                a = k;
        return ourFaces[2 * a + (d[a] < 0.0 ? 1 : 0)];
    }

    GFX_Device* myDevice = nullptr;
    GFX_VertexDecl* myRowsDecl = nullptr;
    GFX_Buffer* myRowsBuffer = nullptr;
    GFX_VertexDecl* myDecl = nullptr;
    GFX_Buffer* myBuffer = nullptr;
    std::vector<GFX_Shader*> myShaders;
    std::vector<GFX_Texture*> myTextures;
};

GFX_System* GfxShaderPixel::ourSystem = nullptr;

} // namespace

TEST_F(GfxShaderPixel, VertexShaderTransformsThroughConstants)
{
    // c0..c3: a transposed matrix that halves x and y; the colour comes from a constant.
    ASSERT_TRUE(myDevice->SetVertexShader(Shader("vs_1_1\ndcl_position v0\ndcl_color v10\n"
                                                 "m4x4 oPos, v0, c0\nmul oD0, v10, c4\n")));
    const float c[5][4] = {{0.5f, 0, 0, 0}, {0, 0.5f, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {1, 0.5f, 1, 1}};
    ASSERT_TRUE(myDevice->SetVertexShaderConstantF(0, &c[0][0], 5));
    EXPECT_FALSE(myDevice->SetVertexShaderConstantF(95, &c[0][0], 2));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), 0xFFFF80FFu);
    uint32_t locPixels[256];
    myDevice->ReadSurface(myDevice->GetBackBuffer(), locPixels, 64);
    EXPECT_EQ(locPixels[1 * 16 + 1], 0xFF000000u); // the quad covers the middle half only
    ASSERT_TRUE(myDevice->SetVertexShader(nullptr));
    EXPECT_EQ(DrawQuad(0xFF00FF00), 0xFF00FF00u);
}

TEST_F(GfxShaderPixel, VertexShaderRelativeAddressingAndLit)
{
    // a0 from a constant picks c[a0.x + 2]; lit turns (N.L, N.H, -, power) into factors.
    ASSERT_TRUE(myDevice->SetVertexShader(Shader("vs_1_1\ndcl_position v0\nmov oPos, v0\nmov a0.x, c0.x\n"
                                                 "mov r0, c[a0.x + 2]\nlit r1, c1\nmul oD0, r0, r1.y\n"
                                                 "mov oD0.b, r1.z\nmov oD0.a, r1.w\n")));
    const float c[5][4] = {{2, 0, 0, 0}, {0.5f, 0.25f, 0, 2}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}};
    ASSERT_TRUE(myDevice->SetVertexShaderConstantF(0, &c[0][0], 5));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), 0xFF808010u); // 0.5, 0.5, 0.25^2
}

TEST_F(GfxShaderPixel, PixelShaderCombinesTextureColourAndConstants)
{
    myDevice->SetTexture(0, Texture(0xFF8040FF));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\r\ntex t0\r\nmul_sat r0.rgb, t0, v0\r\n+mov_sat r0.a, v0\r\n")));
    EXPECT_EQ(DrawQuad(0xFF80FFFF), 0xFF4040FFu);
    // Co-issued alpha through blending: alpha 0x40 of white over black.
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\nmov r0.rgb, c0\n+mov r0.a, c1.b\n")));
    const float c[2][4] = {{1, 1, 1, 1}, {0, 0, 0.25f, 0}};
    ASSERT_TRUE(myDevice->SetPixelShaderConstantF(0, &c[0][0], 2));
    myDevice->SetRenderState(GFX_RS_ALPHABLENDENABLE, 1);
    myDevice->SetRenderState(GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA);
    myDevice->SetRenderState(GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA);
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), 0xFF404040u);
    myDevice->SetRenderState(GFX_RS_ALPHABLENDENABLE, 0);
    // dp3 with _bx2 sources and a def'd constant: (0, 0, 1) . (0, 0, 1) = 1.
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ndef c2, 0.5, 0.5, 1.0, 1.0\ntex t0\n"
                                                "dp3_sat r0, c2_bx2, c2_bx2\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), 0xFFFFFFFFu);
    ASSERT_TRUE(myDevice->SetPixelShader(nullptr));
}

TEST_F(GfxShaderPixel, AStageWithoutTextureReadsOpaqueWhiteInBothPaths)
{
    // Texture times vertex colour with nothing bound: the vertex colour, through the stage
    // combiner and through every form of pixel-shader read.
    myDevice->SetTexture(0, nullptr);
    myDevice->SetTextureStageState(0, GFX_TSS_COLOROP, GFX_TOP_MODULATE);
    myDevice->SetTextureStageState(0, GFX_TSS_COLORARG1, GFX_TA_TEXTURE);
    myDevice->SetTextureStageState(0, GFX_TSS_COLORARG2, GFX_TA_DIFFUSE);
    EXPECT_EQ(DrawQuad(0xFF80C040), 0xFF80C040u);
    const struct
    {
        const char* myText;
        uint32_t myPixel;
    } locCases[] = {{"ps_1_1\ntex t0\nmul r0, t0, v0\n", 0xFF80C040u},
                    {"ps_1_4\ntexld r0, t0\nmul r0, r0, v0\n", 0xFF80C040u},
                    {"ps_1_1\ntex t0\nmov r0, t0\n", 0xFFFFFFFFu}};
    for (const auto& c : locCases)
    {
        SCOPED_TRACE(c.myText);
        ASSERT_TRUE(myDevice->SetPixelShader(Shader(c.myText)));
        EXPECT_EQ(DrawQuad(0xFF80C040), c.myPixel);
    }
    ASSERT_TRUE(myDevice->SetPixelShader(nullptr));
}

TEST_F(GfxShaderPixel, VertexAndPixelShadersTogether)
{
    myDevice->SetTexture(0, Texture(0xFF00FF00));
    ASSERT_TRUE(myDevice->SetVertexShader(Shader("vs_1_1\ndcl_position v0\ndcl_texcoord0 v7\nmov oPos, v0\n"
                                                 "mov oT0, v7\nmov oD0, c0\n")));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_4\ntexld r0, t0\nadd r0, r0, v0\n")));
    const float c[4] = {1, 0, 0, 1};
    ASSERT_TRUE(myDevice->SetVertexShaderConstantF(0, c, 1));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), 0xFFFFFF00u);
    EXPECT_FALSE(myDevice->SetVertexShader(myShaders[1]));
    EXPECT_FALSE(myDevice->SetPixelShader(myShaders[0]));
}

TEST_F(GfxShaderPixel, SkinningProgramPicksBonesThroughTheAddressRegister)
{
    // Bone indices arrive as shorts holding 3 x bone; bone k's rows sit at c(4 + 3k).
    const GFX_VertexElement e[] = {{0, 0, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0},
                                   {0, 12, GFX_DECLTYPE_SHORT2, GFX_DECLUSAGE_BLENDINDICES, 0},
                                   {0, 16, GFX_DECLTYPE_FLOAT2, GFX_DECLUSAGE_BLENDWEIGHT, 0}};
    GFX_VertexDecl* locDecl = myDevice->CreateVertexDecl(e, 3);
    struct V { float x, y, z; int16_t b0, b1; float w0, w1; };
    const V v[4] = {{-0.5f, 0.5f, 0.5f, 3, 0, 1, 0}, {0.5f, 0.5f, 0.5f, 3, 0, 1, 0},
                    {-0.5f, -0.5f, 0.5f, 3, 0, 1, 0}, {0.5f, -0.5f, 0.5f, 3, 0, 1, 0}};
    void* p = nullptr;
    ASSERT_TRUE(myDevice->LockBuffer(myBuffer, 0, 0, 0, &p));
    memcpy(p, v, sizeof(v));
    myDevice->UnlockBuffer(myBuffer);
    ASSERT_TRUE(myDevice->SetVertexShader(Shader("vs_1_1\ndcl_position v0\ndcl_blendindices v2\ndcl_blendweight v1\n"
                                                 "mov a0.x, v2.x\nm4x3 r0.xyz, v0, c[a0.x + 4]\nmul r0.xyz, r0, v1.x\n"
                                                 "mov r0.w, c0.w\nmov oPos, r0\nmov oD0, c1\n")));
    // Bone 0 (c4..c6): identity; bone 1 (c7..c9): moved right by 0.5 (transposed rows).
    const float c[10][4] = {{0, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0},
                            {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0},
                            {1, 0, 0, 0.5f}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    ASSERT_TRUE(myDevice->SetVertexShaderConstantF(0, &c[0][0], 10));
    myDevice->SetVertexDecl(locDecl);
    myDevice->SetStreamSource(0, myBuffer, 0, sizeof(V));
    myDevice->Clear(0, nullptr, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ASSERT_TRUE(myDevice->BeginScene());
    ASSERT_TRUE(myDevice->DrawPrimitive(GFX_PRIM_TRIANGLESTRIP, 0, 2)) << GFX_GetLastErrorDetail();
    ASSERT_TRUE(myDevice->EndScene());
    uint32_t locPixels[256];
    ASSERT_TRUE(myDevice->ReadSurface(myDevice->GetBackBuffer(), locPixels, 64));
    // x from -0.5 .. 0.5 moved to 0 .. 1: the right half of the middle rows.
    EXPECT_EQ(locPixels[8 * 16 + 4], 0xFF000000u);
    EXPECT_EQ(locPixels[8 * 16 + 12], 0xFF00FF00u);
    myDevice->ReleaseVertexDecl(locDecl);
}

TEST_F(GfxShaderPixel, TexbemOffsetsTheNextTextureByTheStagesMatrix)
{
    BumpAndHalves();
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ntex t0\ntexbem t1, t0\nmov r0, t1\n")));
    EXPECT_EQ(DrawAt(0.375f, 0.5f), 0xFF0000FFu);
    myDevice->SetTextureStageState(1, GFX_TSS_BUMPENVMAT00, 0);
    EXPECT_EQ(DrawAt(0.375f, 0.5f), 0xFFFF0000u);
}

TEST_F(GfxShaderPixel, BemOfPs14UsesTheMatrixOfItsDestinationStage)
{
    // r2.rg = (u, v) + M2 (du, dv), shown as red and green. Stage 2 is read by bem alone (its
    // matrix was once never declared, and the draw failed while reporting success).
    BumpAndHalves();
    myDevice->SetTextureStageState(2, GFX_TSS_BUMPENVMAT00, GFX_FloatBits(0.25f));
    myDevice->SetTextureStageState(2, GFX_TSS_BUMPENVMAT01, GFX_FloatBits(0.5f));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_4\ndef c0, 0, 0, 0, 1\ntexld r0, t0\ntexcrd r1.rgb, t0\n"
                                                "bem r2.rg, r1, r0\nphase\nmov r0, c0\nmov r0.rg, r2\n")));
    const double du = 64.0 / 127.0, u = 0.375, v = 0.5;
    const uint32_t r = uint32_t(std::lround(255.0 * (u + 0.25 * du))), g = uint32_t(std::lround(255.0 * (v + 0.5 * du)));
    EXPECT_LE(Distance(DrawAt(float(u), float(v)), 0xFF000000u | r << 16 | g << 8), 1) << GFX_GetLastErrorDetail();
}

// Values as the shader versions define them, each computed here from its rule.
TEST_F(GfxShaderPixel, PixelShaderConstantsAreHeldToPlusMinusOne)
{
    const auto locByte = [](double v) { return uint32_t(std::lround(255.0 * std::clamp(v, 0.0, 1.0))); };
    const double c = std::clamp(2.0, -1.0, 1.0) * 0.25; // 2.0 held to 1, times 0.25
    const uint32_t locExpected = 0xFF000000u | locByte(c) * 0x010101u;
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ndef c0, 2.0, 2.0, 2.0, 2.0\ndef c1, 0.25, 0.25, 0.25, 1\n"
                                                "mul r0, c0, c1\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), locExpected);
    const float locValues[2][4] = {{2, 2, 2, 2}, {-3, -3, -3, -3}};
    ASSERT_TRUE(myDevice->SetPixelShaderConstantF(2, &locValues[0][0], 2));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ndef c1, 0.25, 0.25, 0.25, 1\nmul r0, c2, c1\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), locExpected);
    // -3 held to -1: 1 + (-1) x 0.25 = 0.75.
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ndef c1, 0.25, 0.25, 0.25, 1\ndef c4, 1, 1, 1, 1\n"
                                                "mad r0, c3, c1, c4\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), 0xFF000000u | locByte(1.0 - 0.25) * 0x010101u);
}

TEST_F(GfxShaderPixel, CoIssuedPairReadsItsSourcesBeforeEitherWrites)
{
    // r0 = (1, 1, 0.5, 1); then rgb = c0 and, co-issued, a = r0.b, which must be the old 0.5.
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ndef c0, 0.25, 0.5, 0.75, 1\ndef c1, 1, 1, 0.5, 1\n"
                                                "mov r0, c1\nmov r0.rgb, c0\n+mov r0.a, r0.b\n")));
    myDevice->SetRenderState(GFX_RS_ALPHABLENDENABLE, 1);
    myDevice->SetRenderState(GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA);
    myDevice->SetRenderState(GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA);
    // Over black: colour x alpha.
    const double a = 0.5;
    const auto locByte = [](double v) { return uint32_t(std::lround(255.0 * v)); };
    EXPECT_LE(Distance(DrawQuad(0xFFFFFFFF), 0xFF000000u | locByte(0.25 * a) << 16 | locByte(0.5 * a) << 8 |
                                                 locByte(0.75 * a)),
              1);
}

TEST_F(GfxShaderPixel, LitGivesNoSpecularFactorWhenNDotHIsNotPositive)
{
    // lit of (N.L, N.H, -, power): (1, max(N.L, 0), N.L > 0 and N.H > 0 ? N.H^power : 0, 1),
    // shown as colour (z, y, x).
    struct Case { float myNL, myNH, myPower; };
    const Case locCases[] = {{0.5f, -0.25f, 0.0f}, {0.5f, 0.0f, 0.0f}, {0.5f, 0.25f, 3.0f}, {-0.5f, 0.5f, 1.0f},
                             {0.75f, 0.5f, 0.0f}};
    ASSERT_TRUE(myDevice->SetVertexShader(Shader("vs_1_1\ndcl_position v0\nmov oPos, v0\nlit r1, c1\n"
                                                 "mov oD0, r1.zyxw\n")));
    for (const Case& c : locCases)
    {
        const float locValues[2][4] = {{0, 0, 0, 0}, {c.myNL, c.myNH, 0, c.myPower}};
        ASSERT_TRUE(myDevice->SetVertexShaderConstantF(0, &locValues[0][0], 2));
        const double y = std::max(double(c.myNL), 0.0);
        const double z = c.myNL > 0 && c.myNH > 0 ? std::pow(double(c.myNH), double(c.myPower)) : 0.0;
        const uint32_t locExpected = 0xFF000000u | uint32_t(std::lround(255.0 * z)) << 16 |
                                     uint32_t(std::lround(255.0 * y)) << 8 | 0xFFu;
        EXPECT_LE(Distance(DrawQuad(0xFFFFFFFF), locExpected), 1)
            << c.myNL << " " << c.myNH << " " << c.myPower;
    }
}

// [SECTION] Dependent reads and matrix instructions, each expected value from its equation

namespace
{

double Channel(uint32_t aColor, int aShift)
{
    return double((aColor >> aShift) & 0xFF) / 255.0;
}

double Dot3(const float* aRow, const double* aVector)
{
    return aRow[0] * aVector[0] + aRow[1] * aVector[1] + aRow[2] * aVector[2];
}

} // namespace

TEST_F(GfxShaderPixel, TexregReadsTheNextTextureAtComponentsOfAnEarlierOne)
{
    // t0 = (a, r, g, b) = (0.75, 0.25, 0.19, 0.63): ar, gb and rgb pick three different texels.
    const uint32_t locSource = 0xC0403090;
    myDevice->SetTexture(0, Texture(locSource));
    myDevice->SetTexture(1, Quadrants());
    const double a = Channel(locSource, 24), r = Channel(locSource, 16), g = Channel(locSource, 8),
                 b = Channel(locSource, 0);
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_2\ntex t0\ntexreg2ar t1, t0\nmov r0, t1\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), Quadrant(a, r));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_2\ntex t0\ntexreg2gb t1, t0\nmov r0, t1\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), Quadrant(g, b));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_3\ntex t0\ntexreg2rgb t1, t0\nmov r0, t1\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), Quadrant(r, g));
    EXPECT_NE(Quadrant(a, r), Quadrant(g, b));
    EXPECT_NE(Quadrant(g, b), Quadrant(r, g));
}

TEST_F(GfxShaderPixel, Texm3x2ReadsAtTheDotsOfTwoCoordinateRows)
{
    const uint32_t locSource = 0xFF8040FF;
    const double n[3] = {Channel(locSource, 16), Channel(locSource, 8), Channel(locSource, 0)};
    myDevice->SetTexture(0, Texture(locSource));
    myDevice->SetTexture(2, Quadrants());
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ntex t0\ntexm3x2pad t1, t0\ntexm3x2tex t2, t0\n"
                                                "mov r0, t2\n")));
    const float locRows[2][4][4] = {{{0, 0, 0, 0}, {0.5f, 0, 0.5f, 0}, {0, 1, 0.1f, 0}, {0, 0, 0, 0}},
                                    {{0, 0, 0, 0}, {0, 0, 0.2f, 0}, {1, 0, 0.3f, 0}, {0, 0, 0, 0}}};
    for (const auto& locCase : locRows)
        EXPECT_EQ(DrawRows(locCase), Quadrant(Dot3(locCase[1], n), Dot3(locCase[2], n)));
    EXPECT_NE(Quadrant(Dot3(locRows[0][1], n), Dot3(locRows[0][2], n)),
              Quadrant(Dot3(locRows[1][1], n), Dot3(locRows[1][2], n)));
}

TEST_F(GfxShaderPixel, Texm3x3GivesTheTransformedVectorAndTexm3x3texReadsACubeAlongIt)
{
    const uint32_t locSource = 0xFF8040C0;
    const double n[3] = {Channel(locSource, 16), Channel(locSource, 8), Channel(locSource, 0)};
    myDevice->SetTexture(0, Texture(locSource));
    const float locRows[4][4] = {{0, 0, 0, 0}, {0.5f, 0, 0.25f, 0}, {0, 1, 0, 0}, {0.25f, 0.5f, 0.5f, 0}};
    const double m[3] = {Dot3(locRows[1], n), Dot3(locRows[2], n), Dot3(locRows[3], n)};
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_2\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\n"
                                                "texm3x3 t3, t0\nmov r0, t3\n")));
    const auto locByte = [](double v) { return uint32_t(std::lround(255.0 * std::clamp(v, 0.0, 1.0))); };
    EXPECT_LE(Distance(DrawRows(locRows), 0xFF000000u | locByte(m[0]) << 16 | locByte(m[1]) << 8 | locByte(m[2])), 1);

    myDevice->SetTexture(3, Faces());
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\n"
                                                "texm3x3tex t3, t0\nmov r0, t3\n")));
    const float locTurned[4][4] = {{0, 0, 0, 0}, {0, -1, 0, 0}, {0.2f, 0, 0, 0}, {0, 0, 0.3f, 0}};
    for (const auto* c : {&locRows, &locTurned})
    {
        const double d[3] = {Dot3((*c)[1], n), Dot3((*c)[2], n), Dot3((*c)[3], n)};
        EXPECT_EQ(DrawRows(*c), Face(d));
    }
}

TEST_F(GfxShaderPixel, Texm3x3specAndVspecReadAlongTheReflectedEyeVector)
{
    // N = M t0 (rows in sets 1..3), E from c0 (spec) or the rows' w (vspec); the read goes
    // along R = 2 N (N.E) / (N.N) - E, which here points to another face than N and E.
    const uint32_t locSource = 0xFF2020E0;
    const double n0[3] = {Channel(locSource, 16), Channel(locSource, 8), Channel(locSource, 0)};
    myDevice->SetTexture(0, Texture(locSource));
    myDevice->SetTexture(3, Faces());
    const double e[3] = {0.2, 0.9, 0.3};
    const float locRows[4][4] = {{0, 0, 0, 0}, {1, 0, 0, float(e[0])}, {0, 1, 0, float(e[1])}, {0, 0, 1, float(e[2])}};
    const double n[3] = {Dot3(locRows[1], n0), Dot3(locRows[2], n0), Dot3(locRows[3], n0)};
    const double ne = n[0] * e[0] + n[1] * e[1] + n[2] * e[2], nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    const double r[3] = {2 * n[0] * ne / nn - e[0], 2 * n[1] * ne / nn - e[1], 2 * n[2] * ne / nn - e[2]};
    EXPECT_NE(Face(r), Face(n));
    EXPECT_NE(Face(r), Face(e));
    const float c[4] = {float(e[0]), float(e[1]), float(e[2]), 0};
    ASSERT_TRUE(myDevice->SetPixelShaderConstantF(0, c, 1));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\n"
                                                "texm3x3spec t3, t0, c0\nmov r0, t3\n")));
    EXPECT_EQ(DrawRows(locRows), Face(r));
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\n"
                                                "texm3x3vspec t3, t0\nmov r0, t3\n")));
    EXPECT_EQ(DrawRows(locRows), Face(r));
}

TEST_F(GfxShaderPixel, TexdepthReplacesThePixelsDepthWithR5rOverR5g)
{
    // The quad lies at z 0.5; its depth becomes 0.2 / 0.8 = 0.25. A later quad at 0.3 is
    // then behind it, one at 0.2 in front.
    const double locDepth = std::clamp(0.2 / 0.8, 0.0, 1.0);
    myDevice->SetRenderState(GFX_RS_ZFUNC, GFX_CMP_LESSEQUAL);
    ASSERT_TRUE(myDevice->SetPixelShader(Shader("ps_1_4\ndef c0, 0.2, 0.8, 0, 0\ndef c1, 1, 0, 0, 1\n"
                                                "mov r5, c0\nphase\ntexdepth r5\nmov r0, c1\n")));
    EXPECT_EQ(DrawQuad(0xFFFFFFFF), 0xFFFF0000u);
    ASSERT_TRUE(myDevice->SetPixelShader(nullptr));
    struct V { float x, y, z; uint32_t c; float u, v; };
    for (const float z : {0.3f, 0.2f})
    {
        const V q[4] = {{-1, 1, z, 0xFF00FF00, 0, 0}, {1, 1, z, 0xFF00FF00, 0, 0}, {-1, -1, z, 0xFF00FF00, 0, 0},
                        {1, -1, z, 0xFF00FF00, 0, 0}};
        EXPECT_EQ(DrawVertices(q, sizeof(q), false), z <= locDepth ? 0xFF00FF00u : 0xFFFF0000u) << z;
    }
}
