// Cameras, scenes, lights and views: projection numbers and sphere tests, scene order and
// in-use refusals, light paths, and on the recording device the views' records, light
// sets, pass order and halo gathering.
#include <gtest/gtest.h>

#include <math.h>
#include <sys/stat.h>

#include "qfile/render/qf_file.h"

#include "qinput/qi_time.h"
#include "qr_qrb_writer.h"
#include "qr_render_test_util.h"
#include "qrender/qr_camera.h"
#include "qrender/qr_light.h"
#include "qrender/qr_mesh.h"
#include "qrender/qr_scene.h"
#include "qrender/qr_splinepath.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_vertex.h"
#include "qrender/qr_view.h"

namespace
{

TEST(Camera, ProjectionFollowsFieldOfViewPlanesAndViewport)
{
    QR_Camera c;
    EXPECT_EQ(c.myViewportWidth, 640); // no renderer
    c.SetViewport(0, 0, 800, 600);
    const float* p = c.myProjectionMatrix.myMatrix;
    EXPECT_NEAR(p[0], 1.0000138f, 1e-6f);
    EXPECT_NEAR(p[5], 1.3333517f, 1e-6f);
    EXPECT_FLOAT_EQ(p[10], 1000.0f / 999.0f);
    EXPECT_FLOAT_EQ(p[11], 1.0f);
    EXPECT_FLOAT_EQ(p[15], 0.0f);
    c.SetClipPlanes(0.1f, 200.0f);
    EXPECT_NEAR(p[10], 1.0005003f, 1e-6f);
    EXPECT_NEAR(p[14], -0.1000500f, 1e-6f);
    EXPECT_FLOAT_EQ(c.myNearSquared, 0.1f * 0.1f);
    EXPECT_FLOAT_EQ(c.myFarSquared, 40000.0f);
    // A viewport without height keeps the last projection.
    Matrix44 locBefore = c.myProjectionMatrix;
    c.SetViewport(0, 0, 100, 0);
    EXPECT_EQ(memcmp(&locBefore, &c.myProjectionMatrix, sizeof(Matrix44)), 0);
    EXPECT_TRUE(std::isfinite(c.myProjectionMatrix[5]));
}

TEST(Camera, SphereTestsEnlargeTheSidesBy142Hundredths)
{
    QR_Camera c;
    c.myProjectionMatrix = Matrix44::Identity();
    float locInside[4] = {11.4f, 0, 5, 10};
    float locOutside[4] = {11.5f, 0, 5, 10};
    EXPECT_FALSE(c.IsSphereOutside(locInside, 1.0f));
    EXPECT_TRUE(c.IsSphereOutside(locOutside, 1.0f));
    EXPECT_TRUE(c.IsSphereOutsideSides(locOutside, 1.0f));
    float locBeyond[4] = {0, 0, 1002, 10}; // past the far plane by more than the radius
    EXPECT_TRUE(c.IsSphereOutside(locBeyond, 1.0f));
    EXPECT_FALSE(c.IsSphereOutsideSides(locBeyond, 1.0f));
    float locLow[4] = {0, -12, -5, 10};
    EXPECT_EQ(c.GetOutcode(locLow), 4u | 16u);
    float locRight[4] = {11, 11, 2000, 10};
    EXPECT_EQ(c.GetOutcode(locRight), 2u | 8u | 32u);
}

QR_Light* locLight(uint32_t aType)
{
    QR_Light* l = new QR_Light();
    l->myType = aType;
    return l;
}

TEST(Scene, DirectionalFirstPointsThenSpots)
{
    QR_Scene s;
    QR_Light* p1 = locLight(QR_LIGHT_POINT);
    QR_Light* d = locLight(QR_LIGHT_DIRECTIONAL);
    QR_Light* spot = locLight(QR_LIGHT_SPOT);
    QR_Light* p2 = locLight(QR_LIGHT_POINT);
    QR_Light* none = locLight(QR_LIGHT_NONE);
    EXPECT_TRUE(s.AddLight(p1));
    EXPECT_TRUE(s.AddLight(d));
    EXPECT_TRUE(s.AddLight(spot));
    EXPECT_TRUE(s.AddLight(p2));
    EXPECT_FALSE(s.AddLight(none));
    EXPECT_FALSE(s.AddLight(p1)); // already in it
    ASSERT_EQ(s.myNumLights, 4u);
    EXPECT_EQ(s.myLights[0], d);
    EXPECT_EQ(s.myLights[1], p1);
    EXPECT_EQ(s.myLights[2], p2);
    EXPECT_EQ(s.myLights[3], spot);

    s.mySceneInUsageCounter = 1;
    EXPECT_FALSE(s.AddLight(none));
    EXPECT_FALSE(s.RemoveLight(p1));
    EXPECT_EQ(s.myNumLights, 4u);
    s.mySceneInUsageCounter = 0;

    EXPECT_FALSE(s.RemoveLight(none));
    EXPECT_TRUE(s.RemoveLight(p1));
    EXPECT_EQ(s.myLights[1], p2);
    EXPECT_TRUE(s.RemoveLight(d));
    EXPECT_TRUE(s.RemoveLight(spot));
    EXPECT_TRUE(s.RemoveLight(p2));
    EXPECT_EQ(s.myLights, nullptr);
    EXPECT_EQ(s.myNumLights, 0u);
    for (QR_Light* l : {p1, d, spot, p2, none})
        delete l;
}

TEST(Light, PathsMoveTurnAndColourTheLight)
{
    QR_Light l;
    l.myColor[0] = 0.5f;
    l.Update(3.0f); // no paths: unchanged
    EXPECT_FLOAT_EQ(l.myColor[0], 0.5f);
    EXPECT_FLOAT_EQ(l.myDirection[2], 1.0f);

    // Constant channels read back from a stored path: position, heading, pitch.
    auto locPath = [](const std::vector<float>& aValues)
    {
        QRB_TestWriter w;
        w.Path(QRB_TestPath::Constant(aValues));
        std::string locName = std::string(Q_TEST_TMP_DIR) + "/light_path.bin";
        mkdir(Q_TEST_TMP_DIR, 0755);
        EXPECT_TRUE(w.Save(locName));
        QF_File f;
        EXPECT_TRUE(f.Open(locName.c_str(), QF_READ));
        QR_SplinePath* p = new QR_SplinePath();
        EXPECT_TRUE(p->Read(f));
        return p;
    };
    const float h = 0.5f, p = 0.25f;
    l.myMotionPath = locPath({1, 2, 3, h, p});
    l.myColorPath = locPath({0.1f, 0.2f, 0.3f});
    l.myRangePath = locPath({7});
    l.Update(0.5f);
    EXPECT_FLOAT_EQ(l.myPosition[1], 2.0f);
    EXPECT_FLOAT_EQ(l.myDirection[0], sinf(h) * cosf(p));
    EXPECT_FLOAT_EQ(l.myDirection[1], -sinf(p));
    EXPECT_FLOAT_EQ(l.myDirection[2], cosf(h) * cosf(p));
    EXPECT_FLOAT_EQ(l.myColor[2], 0.3f);
    EXPECT_FLOAT_EQ(l.myRange, 7.0f);
}

// A view over the recording renderer, with parts drawn from meshes read from blocks.
class ViewTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        ASSERT_TRUE(Start());
        mkdir(Q_TEST_TMP_DIR, 0755);
    }
    void TearDown() override
    {
        QR_Mesh::DestroyAll();
        QR_View::ourCurrentView = nullptr;
        RecordingRender::TearDown();
    }

    // A mesh whose draws record its index count (3 x aTriangles).
    QR_Mesh* MakeMesh(const char* aName, uint32_t aTriangles)
    {
        QRB_TestMesh m;
        m.myNumVertices = 3;
        m.myVertices.assign(3 * 32, 0);
        for (uint32_t t = 0; t < aTriangles; t++)
            m.myIndices.insert(m.myIndices.end(), {0, 1, 2});
        QRB_TestLevel l;
        l.myNumVertices = 3;
        l.myNumIndices = 3 * aTriangles;
        m.myLevels = {l};
        QRB_TestWriter w;
        w.MeshData(m);
        std::string locPath = std::string(Q_TEST_TMP_DIR) + "/view_mesh.bin";
        EXPECT_TRUE(w.Save(locPath));
        QF_File f;
        EXPECT_TRUE(f.Open(locPath.c_str(), QF_READ));
        QR_Mesh* locMesh = QR_Mesh::Create(aName);
        EXPECT_TRUE(locMesh->ReadMeshData(f));
        return locMesh;
    }

    static QR_ViewPart Part(QR_Mesh* aMesh)
    {
        QR_ViewPart p = {aMesh, nullptr, 0.0f, Matrix44::Identity(), nullptr, nullptr};
        return p;
    }

    // Primitive counts of the indexed draws since the last call.
    std::vector<int> DrawnPrimitives()
    {
        std::vector<int> locOut;
        for (const std::string& s : Calls())
            if (s.rfind("DrawIndexedPrimitive", 0) == 0)
                locOut.push_back(atoi(s.substr(s.rfind(' ') + 1).c_str()));
        Calls().clear();
        return locOut;
    }
};

TEST_F(ViewTest, OpaquePartsDrawByKeyAndTransparentOnesFarToNear)
{
    QR_Mesh* a = MakeMesh("a", 1);
    QR_Mesh* b = MakeMesh("b", 2);
    QR_Mesh* c = MakeMesh("c", 3);
    QR_ViewPart pa = Part(a), pb = Part(b), pc = Part(c);
    QR_View v(400, nullptr, 16);
    v.MakeCurrent();
    R()->BeginFrame();
    v.BeginRender(true, 0x102030);
    EXPECT_EQ(Last("Clear"), "Clear 0 0 64 48 flags 3 color 0x00102030 z 1 stencil 127");
    QR_LightSet* s = v.MakeLightSet(0, 0, 0, 1, 0xFFFFFFFF);
    uint32_t locKeys[3] = {30, 10, 20};
    QR_ViewPart* locParts[3] = {&pa, &pb, &pc};
    for (int i = 0; i < 3; i++)
    {
        QR_OpaqueRecord* r = v.NewOpaqueRecord();
        r->myKey = locKeys[i];
        r->mySortKey = &r->myKey;
        r->myPart = locParts[i];
        r->myLodDistance = 0.0f;
        r->myNumBoneMatrices = 0;
        r->mySurfaceColor = 0xFFFFFFFF;
        r->myLightSet = s;
    }
    float locDistances[3] = {5.0f, 10.0f, 7.0f};
    for (int i = 0; i < 3; i++)
    {
        QR_TransparentRecord* r = v.NewTransparentRecord();
        *r = {locDistances[i], locParts[i], nullptr, 0, 0x80FFFFFF, s};
    }
    Calls().clear();
    uint32_t locBefore = QR_Render::ourStats.myTransparentObjects;
    v.EndRender();
    // Keys 10, 20, 30: b, c, a; then distances 10, 7, 5: b, c, a.
    EXPECT_EQ(DrawnPrimitives(), (std::vector<int>{2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(QR_Render::ourStats.myTransparentObjects, locBefore + 3);
    EXPECT_EQ(v.myNumOpaqueObjects, 0u);
    EXPECT_EQ(v.myNumTransparentObjects, 0u);
    R()->EndFrame();
}

TEST_F(ViewTest, ExtraSubmissionsReuseTheFirstRecord)
{
    QR_View v(400, nullptr, 4);
    v.BeginRender(false, 0);
    QR_TransparentRecord* locFirst = v.NewTransparentRecord();
    for (int i = 1; i < 400; i++)
        v.NewTransparentRecord();
    EXPECT_EQ(v.NewTransparentRecord(), locFirst); // the 401st
    EXPECT_EQ(v.myNumTransparentObjects, 400u);
    QR_OpaqueRecord* locOpaque = v.NewOpaqueRecord();
    for (int i = 1; i < 4; i++)
        v.NewOpaqueRecord();
    EXPECT_EQ(v.NewOpaqueRecord(), locOpaque);
    EXPECT_EQ(v.myNumOpaqueObjects, 4u);
    QR_LightSet* locSet = v.MakeLightSet(0, 0, 0, 1, 1);
    for (int i = 1; i < 4; i++)
        v.MakeLightSet(0, 0, 0, 1, 1);
    EXPECT_EQ(v.MakeLightSet(0, 0, 0, 1, 1), locSet);
    v.myNumOpaqueObjects = 0; // nothing to draw: the records are empty
    v.myNumTransparentObjects = 0;
    v.EndRender();
}

TEST_F(ViewTest, LightSetKeepsTheThreeNearestAndFoldsTheDroppedOne)
{
    QR_Scene s;
    QR_View v(16, &s, 16);
    v.myAmbientColor = 0x101010;
    v.myCamera.SetClipPlanes(0.5f, 1000.0f);
    v.myCamera.myMatrix[14] = -50.0f; // the camera 50 back, looking along +z
    QR_Light l[5];
    float x[4] = {5, 1, 2, 3}; // the farthest comes first and is dropped last
    for (int i = 0; i < 4; i++)
    {
        l[i].myType = QR_LIGHT_POINT;
        l[i].myPosition[0] = x[i];
        l[i].myRange = 10.0f;
        l[i].myColor[0] = 1.0f;
        l[i].myColor[1] = 0.5f;
        l[i].myColor[2] = 0.0f;
        ASSERT_TRUE(s.AddLight(&l[i]));
    }
    l[4].myType = QR_LIGHT_POINT;
    l[4].myPosition[0] = 2.5f;
    l[4].myRange = 10.0f;
    l[4].myLightMask = 2; // another group
    ASSERT_TRUE(s.AddLight(&l[4]));

    v.BeginRender(false, 0);
    EXPECT_EQ(s.mySceneInUsageCounter, 1);
    EXPECT_FALSE(s.RemoveLight(&l[0]));
    EXPECT_EQ(v.myLights.Count(), 5);
    QR_LightSet* set = v.MakeLightSet(0, 0, 0, 1.0f, 1);
    ASSERT_EQ(set->myNumLights, 3u);
    EXPECT_EQ(set->myLights[0], &l[3]); // in the dropped light's place
    EXPECT_EQ(set->myLights[1], &l[1]);
    EXPECT_EQ(set->myLights[2], &l[2]);
    EXPECT_EQ(set->myFlags, 0xFFFFFFFFu);
    // The light at 5 (half its range) adds half its colour x 255: 127 red, 63 green.
    EXPECT_EQ(set->myAmbientColor, (0x10u + 127) << 16 | (0x10u + 63) << 8 | 0x10u);
    EXPECT_FLOAT_EQ(set->myLightColors[1][1], 0.5f);

    // Out of reach: radius + range not above the distance.
    QR_LightSet* far = v.MakeLightSet(100, 0, 0, 1.0f, 1);
    EXPECT_EQ(far->myNumLights, 0u);
    EXPECT_EQ(far->myAmbientColor, 0x101010u);
    v.EndRender();
    EXPECT_EQ(s.mySceneInUsageCounter, 0);
}

TEST_F(ViewTest, LightsOutsideTheViewAndHaloLightsAreSorted)
{
    QR_Scene s;
    QR_View v(16, &s, 16);
    QR_Light d, inside, outside, spot, spotWithHalo;
    d.myType = QR_LIGHT_DIRECTIONAL;
    inside.myType = QR_LIGHT_POINT;
    inside.myPosition[2] = 20.0f;
    inside.myRange = 5.0f;
    outside.myType = QR_LIGHT_POINT;
    outside.myPosition[2] = -50.0f; // behind the camera
    outside.myRange = 5.0f;
    spot.myType = QR_LIGHT_SPOT;
    spot.myPosition[2] = 20.0f;
    spot.myRange = 5.0f;
    spotWithHalo.myType = QR_LIGHT_SPOT;
    spotWithHalo.myPosition[2] = 20.0f;
    spotWithHalo.myRange = 5.0f;
    spotWithHalo.myHalo = QR_Surface::CreateInstance("INTERNAL_SOLID", 0, nullptr);
    ASSERT_NE(spotWithHalo.myHalo, nullptr);
    for (QR_Light* l : {&d, &inside, &outside, &spot, &spotWithHalo})
        ASSERT_TRUE(s.AddLight(l));
    R()->BeginFrame();
    v.BeginRender(false, 0);
    EXPECT_EQ(v.myLights.Count(), 2); // the directional and the visible point light
    EXPECT_EQ(v.myHaloLights.Count(), 1);
    // A light handed over by an object follows the same rules.
    QR_Light extra;
    extra.myType = QR_LIGHT_POINT;
    extra.myPosition[2] = 10.0f;
    extra.myRange = 1.0f;
    v.AddLight(&extra);
    EXPECT_EQ(v.myLights.Count(), 3);
    Calls().clear();
    v.EndRender();
    EXPECT_EQ(Count("DrawPrimitive 5 "), 1); // one halo strip
    EXPECT_EQ(v.myHaloLights.Count(), 0);
    R()->EndFrame();
}

TEST_F(ViewTest, EndRenderWithoutASceneTouchesNoCounter)
{
    QR_View v(2, nullptr, 2);
    v.BeginRender(true, 0);
    v.EndRender();
    EXPECT_EQ(v.myNumLightSets, 0u);
}

TEST_F(ViewTest, SkinnedRunsFillThePaletteAndTooLongOnesAreSkipped)
{
    QR_Mesh* m = MakeMesh("skin", 1);
    QR_ViewPart p[3] = {Part(m), Part(m), Part(m)};
    Matrix44 locRest = Matrix44::Identity();
    locRest[12] = 1.0f;
    for (int i = 0; i < 3; i++)
    {
        p[i].myMatrix[13] = (float)i;
        p[i].myRestMatrix = &locRest;
        p[i].myNextBone = i < 2 ? &p[i + 1] : nullptr;
    }
    QR_View v(4, nullptr, 4);
    R()->BeginFrame();
    v.BeginRender(false, 0);
    QR_OpaqueRecord* r = v.NewOpaqueRecord();
    r->myKey = 0;
    r->mySortKey = &r->myKey;
    r->myPart = &p[0];
    r->myNumBoneMatrices = 3;
    r->mySurfaceColor = 0xFFFFFFFF;
    r->myLightSet = v.MakeLightSet(0, 0, 0, 1, 1);
    QR_OpaqueRecord* r2 = v.NewOpaqueRecord();
    *r2 = *r;
    r2->mySortKey = &r2->myKey;
    r2->myKey = 1;
    r2->myNumBoneMatrices = 33;
    uint32_t locSkipped = QR_View::ourSkippedDraws;
    Calls().clear();
    v.EndRender();
    EXPECT_EQ(QR_View::ourSkippedDraws, locSkipped + 1);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 1);
    EXPECT_FLOAT_EQ(QR_VertexShader::ourBoneMatrices[2][12], 1.0f);
    EXPECT_FLOAT_EQ(QR_VertexShader::ourBoneMatrices[2][13], 2.0f);
    EXPECT_EQ(QR_VertexShader::ourNumBoneMatrices, 0u);
    R()->EndFrame();
}

TEST_F(ViewTest, DestroyedViewClearsThePointersIntoIt)
{
    QR_View* v = new QR_View(2, nullptr, 2);
    v->MakeCurrent();
    EXPECT_EQ(QR_View::ourCurrentView, v);
    EXPECT_EQ(QR_RenderD3D::ourProjectionMatrix, &v->myViewProjectionMatrix);
    QR_VertexShader::ourWorldMatrix = &v->myViewMatrix;
    delete v;
    EXPECT_EQ(QR_View::ourCurrentView, nullptr);
    EXPECT_EQ(QR_RenderD3D::ourProjectionMatrix, nullptr);
    EXPECT_EQ(QR_VertexShader::ourWorldMatrix, nullptr);
}

} // namespace
