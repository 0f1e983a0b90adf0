// The fixed-function and the assembled "NORMAL_MESH" kinds on llvmpipe: the same scene drawn
// through a view by each gives the same picture; skinned programs against software
// skinning; halo brightness at both thresholds; a frame after a device loss.
#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/gfx/gfx_testsupport.h"
#include "qfile/render/qf_file.h"
#include "qr_qrb_writer.h"
#include "qrender/qr_error.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_render.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"

namespace
{

const int locSide = 96;

GFX_System* locGLSystem()
{
    return GFX_CreateGLSystem();
}

// A bumpy grid facing the camera (normals leaning with the bumps), textured by a 4 x 4 grey
// checker through "INTERNAL_SOLID".
QRB_TestMesh locBumpyGrid(bool aDiffuseFlag)
{
    QRB_TestMesh m;
    const int n = 9;
    uint32_t locSize = aDiffuseFlag ? 36 : 32;
    m.myVertexFormat = aDiffuseFlag ? 0x59 : 0x49;
    m.myNumVertices = n * n;
    m.myVertices.resize(m.myNumVertices * locSize);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++)
        {
            float u = x / (float)(n - 1), v = y / (float)(n - 1);
            float px = (u - 0.5f) * 4.0f, py = (0.5f - v) * 4.0f;
            float pz = 0.3f * sinf(px * 1.7f) * cosf(py * 1.3f);
            float nx = -0.3f * 1.7f * cosf(px * 1.7f) * cosf(py * 1.3f);
            float ny = 0.3f * 1.3f * sinf(px * 1.7f) * sinf(py * 1.3f);
            float l = sqrtf(nx * nx + ny * ny + 1.0f);
            float p[8] = {px, py, pz, nx / l, ny / l, -1.0f / l, u, v};
            uint8_t* d = &m.myVertices[(y * n + x) * locSize];
            memcpy(d, p, 24);
            if (aDiffuseFlag)
            {
                uint32_t c = 0xFF000000u | (uint32_t)(80 + 20 * x) << 16 | (uint32_t)(255 - 20 * y) << 8 | 0xA0;
                memcpy(d + 24, &c, 4);
                memcpy(d + 28, p + 6, 8);
            }
            else
                memcpy(d + 24, p + 6, 8);
        }
    for (int y = 0; y + 1 < n; y++)
        for (int x = 0; x + 1 < n; x++)
        {
            uint16_t a = (uint16_t)(y * n + x), b = (uint16_t)(a + 1), c = (uint16_t)(a + n), d = (uint16_t)(c + 1);
            m.myIndices.insert(m.myIndices.end(), {a, b, c, b, d, c}); // clockwise on screen
        }
    QRB_TestLevel l;
    l.myNumVertices = m.myNumVertices;
    l.myNumIndices = (uint32_t)m.myIndices.size();
    m.myLevels = {l};
    m.mySurface = "INTERNAL_SOLID";
    m.myStages = {0};
    m.mySettings[1] = 1; // lit
    return m;
}

class KindsPixel : public testing::Test
{
protected:
    void Start(uint8_t aVertexShaderFlag)
    {
        QR_RenderD3D::ourSystemFactory = locGLSystem;
        QR_RenderSettings s;
        s.myFullScreenFlag = 0;
        s.myBitsPerPixel = 32;
        s.myWidth = locSide;
        s.myHeight = locSide;
        s.myVertexShaderFlag = aVertexShaderFlag;
        ASSERT_TRUE(QR_Render::Create(nullptr, nullptr)) << GFX_GetLastErrorDetail();
        ASSERT_TRUE(QR_Render::ourInstance->Init(&s)) << GFX_GetLastErrorDetail();
        ASSERT_EQ(s.myVertexShaderFlag, aVertexShaderFlag);
        uint32_t locPixels[16];
        for (int i = 0; i < 16; i++)
            locPixels[i] = ((i + i / 4) & 1) ? 0xFFFFFFFF : 0xFFA0A0A0;
        QR_TexturePixels locRecord = {4, 4, 32, locPixels};
        myTexture = QR_Texture::Acquire("checker", QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord);
        ASSERT_NE(myTexture, nullptr);
    }
    void Stop()
    {
        QR_Mesh::DestroyAll();
        QR_Texture::Release(myTexture);
        myTexture = nullptr;
        QR_View::ourCurrentView = nullptr;
        QR_Render::Destroy();
    }
    void TearDown() override
    {
        if (QR_Render::ourInstance)
            Stop();
    }

    QR_Mesh* Read(const QRB_TestMesh& aMesh, const char* aName)
    {
        QRB_TestWriter w;
        w.MeshData(aMesh);
        mkdir(Q_TEST_TMP_DIR, 0755);
        std::string locPath = std::string(Q_TEST_TMP_DIR) + "/kinds_mesh.bin";
        EXPECT_TRUE(w.Save(locPath));
        QF_File f;
        EXPECT_TRUE(f.Open(locPath.c_str(), QF_READ));
        QR_Mesh* m = QR_Mesh::Create(aName);
        bool locOk = m->ReadMeshData(f);
        EXPECT_TRUE(locOk) << QR_Error::ourCode << " " << QR_Error::ourText;
        return locOk ? m : nullptr;
    }

    QR_Texture* myTexture = nullptr;
};

struct Comparison
{
    int myMaxDifference = 0;
    double myMeanDifference = 0.0;
    int myLitPixels = 0;
};

Comparison locCompare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    Comparison c;
    double locSum = 0.0;
    for (size_t i = 0; i < a.size(); i++)
    {
        for (int k = 0; k < 24; k += 8)
        {
            int d = abs((int)((a[i] >> k) & 0xFF) - (int)((b[i] >> k) & 0xFF));
            c.myMaxDifference = d > c.myMaxDifference ? d : c.myMaxDifference;
            locSum += d;
        }
        c.myLitPixels += (a[i] & 0xFFFFFF) != 0x203040;
    }
    c.myMeanDifference = locSum / (3.0 * a.size());
    return c;
}

// One frame of a mesh through a view with a directional and a point light and fog; the part
// turned a little about z and moved, so object and world frames differ. aBones > 0 draws a
// skinned run of that many parts with the given matrices.
class SceneDrawer
{
public:
    static inline float ourSunLength = 1.0f; // the directional light's stored length
    static std::vector<uint32_t> Draw(QR_Mesh* m, uint32_t aBones, const Matrix44* aBoneMatrices,
                                      std::vector<uint32_t> (*aGrab)())
    {
        QR_Scene locScene;
        QR_Light d, p;
        d.myType = QR_LIGHT_DIRECTIONAL;
        d.myDirection[0] = 0.4f * ourSunLength, d.myDirection[1] = -0.5f * ourSunLength,
        d.myDirection[2] = 0.77f * ourSunLength;
        d.myColor[0] = 0.6f, d.myColor[1] = 0.5f, d.myColor[2] = 0.3f;
        p.myType = QR_LIGHT_POINT;
        p.myPosition[0] = -30.0f, p.myPosition[1] = 20.0f, p.myPosition[2] = -25.0f;
        p.myRange = 80.0f;
        p.myColor[0] = 0.1f, p.myColor[1] = 0.15f, p.myColor[2] = 0.3f;
        locScene.AddLight(&d);
        locScene.AddLight(&p);
        QR_View v(8, &locScene, 8);
        v.myAmbientColor = 0x182028;
        v.myFogColor = 0x406080;
        v.myFogDistance = 4.0f;
        PlaceCamera(v.myCamera, 0.35f);
        std::vector<QR_ViewPart> locParts(aBones ? aBones : 1);
        for (size_t i = 0; i < locParts.size(); i++)
        {
            QR_ViewPart& locPart = locParts[i];
            locPart = {m, QR_Surface::CreateInstanceWithTexture("INTERNAL_SOLID", "checker"), 0.0f,
                       Matrix44::Identity(), nullptr, i + 1 < locParts.size() ? &locParts[i + 1] : nullptr};
            if (aBones)
                locPart.myMatrix = aBoneMatrices[i];
            else
            {
                float a = 0.3f;
                locPart.myMatrix[0] = cosf(a), locPart.myMatrix[1] = sinf(a);
                locPart.myMatrix[4] = -sinf(a), locPart.myMatrix[5] = cosf(a);
                locPart.myMatrix[12] = 0.2f;
            }
        }
        QR_Render::ourInstance->BeginFrame();
        v.MakeCurrent();
        v.BeginRender(true, 0x203040);
        QR_OpaqueRecord* r = v.NewOpaqueRecord();
        r->myKey = 0;
        r->mySortKey = &r->myKey;
        r->myPart = &locParts[0];
        r->myLodDistance = 0.0f;
        r->myNumBoneMatrices = aBones;
        r->mySurfaceColor = 0xFFFFFFFF;
        r->myLightSet = v.MakeLightSet(0, 0, 0, 3.0f, 0xFFFFFFFF);
        v.EndRender();
        QR_Render::ourInstance->EndFrame();
        for (QR_ViewPart& locPart : locParts)
            delete locPart.mySurfaceInstance;
        QR_View::ourCurrentView = nullptr;
        return aGrab();
    }

    // A camera 6 units from the origin, turned about y and looking a little down.
    static void PlaceCamera(QR_Camera& c, float aYaw)
    {
        c.SetViewport(0, 0, locSide, locSide);
        c.SetClipPlanes(0.5f, 20.0f);
        float f[3] = {sinf(aYaw), -0.2f, cosf(aYaw)};
        float l = sqrtf(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
        for (float& x : f)
            x /= l;
        float side[3] = {f[2], 0, -f[0]};
        float ls = sqrtf(side[0] * side[0] + side[2] * side[2]);
        for (float& x : side)
            x /= ls;
        float up[3] = {f[1] * side[2] - f[2] * side[1], f[2] * side[0] - f[0] * side[2],
                       f[0] * side[1] - f[1] * side[0]};
        Matrix44& m = c.myMatrix;
        m = Matrix44::Identity();
        for (int k = 0; k < 3; k++)
        {
            m[k] = side[k];
            m[4 + k] = up[k];
            m[8 + k] = f[k];
            m[12 + k] = -6.0f * f[k];
        }
    }
};

std::vector<uint32_t> locGrab()
{
    std::vector<uint32_t> p(locSide * locSide);
    EXPECT_TRUE(QR_Render::ourInstance->GrabFrontBuffer(p.data()));
    return p;
}

TEST_F(KindsPixel, LitFoggedTexturedMeshLooksTheSameThroughBothKinds)
{
    for (bool locDiffuse : {false, true})
    {
        std::vector<uint32_t> f[2];
        for (uint8_t locFlag : {0, 1})
        {
            Start(locFlag);
            QRB_TestMesh q = locBumpyGrid(locDiffuse);
            q.myFogFlag = 1;
            q.mySettings[3] = 1;
            q.mySpecularPower = 6.0f;
            QR_Mesh* m = Read(q, "grid");
            ASSERT_NE(m, nullptr);
            f[locFlag] = SceneDrawer::Draw(m, 0, nullptr, locGrab);
            Stop();
        }
        Comparison c = locCompare(f[0], f[1]);
        EXPECT_GT(c.myLitPixels, locSide * locSide / 16) << locDiffuse;
        EXPECT_LE(c.myMaxDifference, 12) << locDiffuse;
        EXPECT_LT(c.myMeanDifference, 1.5) << locDiffuse;
    }
}

// The device shines a directional light along its direction made unit length; the programs
// must too, or a longer stored direction brightens only the assembled kind's frame.
TEST_F(KindsPixel, DirectionalLightOfAnyLengthLightsAsAUnitOne)
{
    std::vector<uint32_t> f[3];
    const float locLengths[3] = {3.0f, 3.0f, 1.0f};
    const uint8_t locFlags[3] = {0, 1, 1};
    for (int i = 0; i < 3; i++)
    {
        Start(locFlags[i]);
        QR_Mesh* m = Read(locBumpyGrid(false), "grid");
        ASSERT_NE(m, nullptr);
        SceneDrawer::ourSunLength = locLengths[i];
        f[i] = SceneDrawer::Draw(m, 0, nullptr, locGrab);
        SceneDrawer::ourSunLength = 1.0f;
        Stop();
    }
    Comparison c = locCompare(f[0], f[1]);
    EXPECT_GT(c.myLitPixels, locSide * locSide / 16);
    EXPECT_LE(c.myMaxDifference, 12);
    EXPECT_LT(c.myMeanDifference, 1.5);
    Comparison u = locCompare(f[1], f[2]);
    EXPECT_LE(u.myMaxDifference, 1);
}

// Two bones: the left half of the grid follows bone 0, the right half bone 1, each with a
// turn and a shift; rigid weights, so the two-bone and four-bone programs and the
// fixed-function kind's software skinning (bone 0 only, one weight) must agree.
QRB_TestMesh locSkinnedGrid(uint32_t aSkinning)
{
    QRB_TestMesh g = locBumpyGrid(false);
    QRB_TestMesh m = g;
    m.myVertexFormat = 0x84F;
    m.mySettings[0] = aSkinning;
    m.myVertices.assign(g.myNumVertices * 48, 0);
    for (uint32_t v = 0; v < g.myNumVertices; v++)
    {
        const uint8_t* s = &g.myVertices[v * 32];
        uint8_t* d = &m.myVertices[v * 48];
        float p[3];
        memcpy(p, s, 12);
        memcpy(d, s, 12);
        float w[3] = {1, 0, 0};
        memcpy(d + 12, w, 12);
        uint8_t b = p[0] < 0.0f ? 0 : 1;
        uint8_t locBones[4] = {b, b, b, b};
        memcpy(d + 24, locBones, 4);
        memcpy(d + 28, s + 12, 12);
        memcpy(d + 40, s + 24, 8);
    }
    return m;
}

TEST_F(KindsPixel, SkinnedProgramsAgreeWithSoftwareSkinning)
{
    Matrix44 locBones[2] = {Matrix44::Identity(), Matrix44::Identity()};
    float a = 0.25f;
    locBones[0][0] = cosf(a), locBones[0][2] = -sinf(a), locBones[0][8] = sinf(a), locBones[0][10] = cosf(a);
    locBones[0][13] = 0.3f;
    locBones[1][0] = cosf(-a), locBones[1][1] = sinf(-a), locBones[1][4] = -sinf(-a), locBones[1][5] = cosf(-a);
    locBones[1][12] = 0.4f;
    for (uint32_t locSkinning : {1u, 2u})
    {
        std::vector<uint32_t> f[2];
        for (uint8_t locFlag : {0, 1})
        {
            Start(locFlag);
            QR_Mesh* m = Read(locSkinnedGrid(locSkinning), "skinned");
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->myVertexBuffer != nullptr, locFlag == 1); // packed, or skinned per draw
            f[locFlag] = SceneDrawer::Draw(m, 2, locBones, locGrab);
            Stop();
        }
        Comparison c = locCompare(f[0], f[1]);
        EXPECT_GT(c.myLitPixels, locSide * locSide / 16) << locSkinning;
        // Positions are packed to millimetres by the two-bone program: a few edge pixels move.
        EXPECT_LT(c.myMeanDifference, 1.5) << locSkinning;
    }
}

TEST_F(KindsPixel, SkinnedVertexOutsideThePackedFieldsIsRefused)
{
    Start(1);
    QRB_TestMesh q = locSkinnedGrid(1);
    float locFar = 40.0f; // 40 m: 40000 mm do not fit a 16-bit field
    memcpy(&q.myVertices[0], &locFar, 4);
    QRB_TestWriter w;
    w.MeshData(q);
    std::string locPath = std::string(Q_TEST_TMP_DIR) + "/kinds_far.bin";
    ASSERT_TRUE(w.Save(locPath));
    QF_File f;
    ASSERT_TRUE(f.Open(locPath.c_str(), QF_READ));
    QR_Mesh* m = QR_Mesh::Create("far");
    EXPECT_FALSE(m->ReadMeshData(f, "far.qrb"));
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_MODEL_DATA);
    EXPECT_STREQ(QR_Error::ourText, "far.qrb");
    EXPECT_EQ(m->myVertexBuffer, nullptr);
    // The four-bone layout keeps float positions.
    QRB_TestMesh q4 = locSkinnedGrid(2);
    memcpy(&q4.myVertices[0], &locFar, 4);
    EXPECT_NE(Read(q4, "far4"), nullptr);
}

TEST_F(KindsPixel, HaloBrightnessFollowsTheTwoThresholds)
{
    for (uint8_t locFlag : {0, 1})
    {
        Start(locFlag);
        uint32_t locWhite[16];
        for (uint32_t& p : locWhite)
            p = 0xFFFFFFFF;
        QR_TexturePixels locRecord = {4, 4, 32, locWhite};
        QR_Texture* t = QR_Texture::Acquire("halo_white", QR_TEXTUREFLAG_FROMMEMORY, 0, &locRecord);
        ASSERT_NE(t, nullptr);
        QR_Scene locScene;
        QR_Light l;
        l.myType = QR_LIGHT_SPOT;
        l.myPosition[2] = 5.0f;
        l.myRange = 10.0f;
        l.myColor[0] = 1.0f, l.myColor[1] = 0.5f, l.myColor[2] = 0.25f;
        l.myConeValues[0] = 0.5f; // nothing below
        l.myConeValues[1] = 0.9f; // full from here
        l.myFallOff = 1.0f;
        l.myHalo = QR_Surface::CreateInstanceWithTexture("INTERNAL_SOLID", "halo_white");
        ASSERT_TRUE(locScene.AddLight(&l));
        QR_View v(4, &locScene, 4);
        v.myCamera.SetViewport(0, 0, locSide, locSide);
        // c = -(light direction . camera forward): the light shines back at the camera.
        const float locC[4] = {1.0f, 0.9f, 0.7f, 0.45f};
        const int locExpected[4] = {255, 255, 127, 0};
        for (int i = 0; i < 4; i++)
        {
            l.myDirection[0] = sqrtf(1.0f - locC[i] * locC[i]);
            l.myDirection[1] = 0.0f;
            l.myDirection[2] = -locC[i];
            QR_Render::ourInstance->BeginFrame();
            v.MakeCurrent();
            v.BeginRender(true, 0x000000);
            v.EndRender();
            QR_Render::ourInstance->EndFrame();
            std::vector<uint32_t> p = locGrab();
            uint32_t locCentre = p[(locSide / 2) * locSide + locSide / 2];
            EXPECT_NEAR((int)((locCentre >> 16) & 0xFF), locExpected[i], 2) << i << " " << (int)locFlag;
            EXPECT_NEAR((int)((locCentre >> 8) & 0xFF), locExpected[i] / 2, 2) << i;
        }
        QR_View::ourCurrentView = nullptr;
        QR_Texture::Release(t);
        Stop();
    }
}

TEST_F(KindsPixel, AssembledProgramsAreRebuiltAfterADeviceLoss)
{
    std::vector<uint32_t> f[2];
    Start(1);
    QRB_TestMesh q = locBumpyGrid(true);
    q.myFogFlag = 1;
    QR_Mesh* m = Read(q, "grid");
    ASSERT_NE(m, nullptr);
    Matrix44 locBones[2] = {Matrix44::Identity(), Matrix44::Identity()};
    QR_Mesh* s = Read(locSkinnedGrid(2), "skinned");
    ASSERT_NE(s, nullptr);
    f[0] = SceneDrawer::Draw(m, 0, nullptr, locGrab);
    std::vector<uint32_t> locSkinned = SceneDrawer::Draw(s, 2, locBones, locGrab);
    GFX_LoseDevice(QR_RenderD3D::ourDevice, 0);
    QR_Render::ourInstance->BeginFrame();
    QR_Render::ourInstance->EndFrame(); // the loss is seen and everything made again
    ASSERT_NE(QR_RenderD3D::ourDevice, nullptr);
    ASSERT_NE(m->myCompiledVertexShader, nullptr);
    f[1] = SceneDrawer::Draw(m, 0, nullptr, locGrab);
    EXPECT_EQ(f[0], f[1]);
    EXPECT_EQ(SceneDrawer::Draw(s, 2, locBones, locGrab), locSkinned);
    Stop();
}


// A flat normal map through a DOT3 template: unit 0 the surface colour, unit 1 the normal map,
// unit 2 the half vector's lookup, unit 3 the light vector dotted with the normal. The normal
// map kind's tangent-space light vector makes the picture the plain N.L of the light.
TEST_F(KindsPixel, NormalMapKindLightsThroughADot3Template)
{
    QR_RenderD3D::ourSystemFactory = locGLSystem;
    QR_RenderSettings s;
    s.myFullScreenFlag = 0;
    s.myBitsPerPixel = 32;
    s.myWidth = locSide;
    s.myHeight = locSide;
    s.myPixelShaderFlag = 1;
    ASSERT_TRUE(QR_Render::Create(nullptr, nullptr));
    ASSERT_TRUE(QR_Render::ourInstance->Init(&s)) << GFX_GetLastErrorDetail();
    ASSERT_EQ(s.myPixelShaderFlag, 1);
    ASSERT_NE(QR_VertexShader::Find("NORMAL_MAP"), nullptr);
    QR_VertexShader::Find("NORMAL_MAP")->Release();
    auto locTexture = [](const char* aName, uint32_t aColor)
    {
        uint32_t p[16];
        for (uint32_t& x : p)
            x = aColor;
        QR_TexturePixels r = {4, 4, 32, p};
        return QR_Texture::Acquire(aName, QR_TEXTUREFLAG_FROMMEMORY | QR_TEXTUREFLAG_NOMIPMAPS, 1, &r);
    };
    QR_Texture* t[3] = {locTexture("nm_white", 0xFFFFFFFF), locTexture("nm_flat", 0xFF8080FF),
                        locTexture("nm_ramp", 0xFF000000)};
    myTexture = locTexture("checker", 0xFFFFFFFF);
    std::string locDir = std::string(Q_TEST_TMP_DIR) + "/";
    std::string locTemplate = locDir + "normalmap.sur";
    std::string h = "VERSION 1\r\nNUM_DEFAULT_TEXTURES 3\r\nTEXTURE nm_white\r\nTEXTURE nm_flat\r\nTEXTURE nm_ramp\r\n"
                    "NUM_CONFIGS 1\r\nCONFIG D\r\nCONFIG_FLAGS\r\nNUM_PASSES 1\r\nFRAMEBUFFERBLENDING OFF\r\n"
                    "ALPHATEST OFF\r\nZWRITE DEFAULT\r\nFOGCOLOR DEFAULT\r\nNUM_REMAP_ENTRIES 4\r\n0\r\n1\r\n2 DOT3TEX\r\n"
                    "16 DOT3CALC\r\nNUM_INSTRUCTIONS 1\r\nMUL_CLAMP TEMP0.RGBA TEXTURE0.RGBA TEXTURE3.RGBA\r\n";
    FILE* f = fopen(locTemplate.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(h.data(), 1, h.size(), f);
    fclose(f);
    QRB_TestMesh q = locBumpyGrid(false);
    // Flat, facing the camera: the normals all (0, 0, -1).
    for (uint32_t v = 0; v < q.myNumVertices; v++)
    {
        float p[6];
        memcpy(p, &q.myVertices[v * 32], 24);
        p[2] = 0.0f, p[3] = 0.0f, p[4] = 0.0f, p[5] = -1.0f;
        memcpy(&q.myVertices[v * 32], p, 24);
    }
    q.myVertexShader = "NORMAL_MAP";
    q.mySurface = locTemplate;
    q.myStages = {0, 0, 0, 0};
    QR_Mesh* m = Read(q, "normal_mapped");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->myVertexBuffer->myVertexSize, 76u);
    QR_Scene locScene;
    QR_Light d;
    d.myType = QR_LIGHT_DIRECTIONAL;
    d.myColor[0] = d.myColor[1] = d.myColor[2] = 1.0f;
    ASSERT_TRUE(locScene.AddLight(&d));
    for (float locAngle : {0.0f, 0.7853982f, 1.0471976f})
    {
        d.myDirection[0] = sinf(locAngle), d.myDirection[1] = 0.0f, d.myDirection[2] = cosf(locAngle);
        QR_View v(4, &locScene, 4);
        v.myCamera.SetViewport(0, 0, locSide, locSide);
        v.myCamera.myMatrix[14] = -4.0f;
        QR_ViewPart locPart = {m, QR_Surface::NewInstance(m->mySurface, 0, nullptr), 0.0f, Matrix44::Identity(),
                               nullptr, nullptr};
        ASSERT_NE(locPart.mySurfaceInstance, nullptr);
        QR_Render::ourInstance->BeginFrame();
        v.MakeCurrent();
        v.BeginRender(true, 0x000000);
        QR_OpaqueRecord* r = v.NewOpaqueRecord();
        r->myKey = 0;
        r->mySortKey = &r->myKey;
        r->myPart = &locPart;
        r->myLodDistance = 0.0f;
        r->myNumBoneMatrices = 0;
        r->mySurfaceColor = 0xFFFFFFFF;
        r->myLightSet = v.MakeLightSet(0, 0, 0, 3.0f, 0xFFFFFFFF);
        v.EndRender();
        QR_Render::ourInstance->EndFrame();
        delete locPart.mySurfaceInstance;
        QR_View::ourCurrentView = nullptr;
        uint32_t c = locGrab()[(locSide / 2) * locSide + locSide / 2];
        int locExpected = (int)lrintf(255.0f * cosf(locAngle));
        EXPECT_NEAR((int)((c >> 8) & 0xFF), locExpected, 6) << locAngle;
    }
    for (QR_Texture* x : t)
        QR_Texture::Release(x);
    Stop();
}

} // namespace
