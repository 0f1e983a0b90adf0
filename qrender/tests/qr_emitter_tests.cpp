// Particle emitters over the recording device and a view: spawn counts and spacing, the
// ring, spacing along the movement, phases, submission and the drawn vertices.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "qinput/qi_time.h"
#include "qrender/qr_genericparticleemittor.h"
#include "qrender/qr_renderd3d.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/qr_view.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_data_root.h"
#include "qrender/tests/qr_render_test_util.h"

namespace
{

struct DrawnVertex
{
    float x, y, z;
    uint32_t myColor;
    float u, v;
};

class EmitterTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_TRUE(myRoot.Enter("emitter_"));
        QRT_WriteFile("spark.tga", QRT_MakeTGA(8, 8, 32, std::vector<uint32_t>(64, 0xFFFFFFFFu), true, false));
        srand(1);
        QI_Time::ourTime = 100.0f;
        QI_Time::ourFrameTime = 0.02f;
        myView = new QR_View(64, nullptr, 64);
        // The camera 10 units behind the origin, looking along +z.
        myView->myCamera.myMatrix.SetTranslation(0, 0, -10);
        myView->MakeCurrent();
    }
    void TearDown() override
    {
        if (myInFrame)
            R()->EndFrame();
        delete myView;
        EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
        RecordingRender::TearDown();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        myRoot.Leave();
    }
    // A definition: a point origin, no velocity, one phase of aLength seconds.
    static QR_SharedGenericParticleData* Definition(float aSpawnTime, float aLength, const std::string& aType = "CAMERAFACING",
                                                    const std::string& aAlpha = "255 255", const std::string& aFlags = "")
    {
        std::string s = "GENERIC\r\nFLAGS " + aFlags + "\r\nRADIUS 1\r\nEMITORIGIN POINT\r\nTYPE " + aType +
                        "\r\nSURFACE INTERNAL_ALPHA\r\nTEXTURE spark\r\nTEXTUREROTATION NONE\r\nTOTALTIME 1000\r\n"
                        "SPAWNTIME " + std::to_string(aSpawnTime) + "\r\nSPACE WORLD\r\nVELX 0 0\r\nVELY 0 0\r\n"
                        "VELZ 0 0\r\nSIZE 0.5 0.5\r\nALPHA " + aAlpha + "\r\nNUM_PHASES 1\r\nLENGTH " +
                        std::to_string(aLength) + "\r\nSPACE WORLD\r\nVELX 0 0 SET\r\nVELY 0 0 SET\r\nVELZ 0 0 SET\r\n"
                        "SIZE 0.5 0.5 SET\r\nALPHA " + aAlpha + " SET\r\n";
        static int ourCount = 0;
        std::string locName = "def" + std::to_string(ourCount++);
        QRT_WriteFile(locName + ".pe", std::vector<uint8_t>(s.begin(), s.end()));
        return static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Acquire(locName.c_str()));
    }
    // One renderer frame: a new frame count, the view begun, the emitter updated at aTime.
    void Frame(QR_GenericParticleEmitter& e, float aTime, const Matrix44* aParent = nullptr)
    {
        QI_Time::ourTime = aTime;
        if (myInFrame)
            R()->EndFrame();
        R()->BeginFrame();
        myInFrame = true;
        myView->BeginRender(false, 0);
        e.Update(aParent);
    }
    static std::vector<DrawnVertex> LastVertices() { return LastDrawnVertices<DrawnVertex>(); }

    QR_View* myView = nullptr;
    bool myInFrame = false;
    QRT_DataRoot myRoot;
};

TEST_F(EmitterTest, ABacklogIsCappedAndSpreadOverTheTimeThatPassed)
{
    QR_SharedGenericParticleData* d = Definition(0.01f, 10.0f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myCapacity, 1000u);
    EXPECT_EQ(d->mySpawnCap, 400u);
    QR_GenericParticleEmitter e;
    e.SetDefinition(d);
    QR_SharedParticleData::Release(d);
    EXPECT_FALSE(e.IsActive());
    e.Start();
    Frame(e, 100.0f); // the first update after a start spawns one
    EXPECT_EQ(e.myNumParticles, 1u);
    // Out of sight, nothing is spawned and the time keeps counting.
    myView->myCamera.myMatrix.SetTranslation(0, 0, 10);
    Frame(e, 101.0f);
    EXPECT_EQ(e.myNumParticles, 1u);
    myView->myCamera.myMatrix.SetTranslation(0, 0, -10);
    // 30 s at 0.01 s are 3000 particles: the cap's 400, spaced 0.075 s in birth time.
    Frame(e, 130.0f);
    ASSERT_EQ(e.myNumParticles, 401u);
    const QR_Particle& locNewest = e.myParticles[(e.myLastParticle + e.GetCapacity() - 1) % e.GetCapacity()];
    const QR_Particle& locBefore = e.myParticles[(e.myLastParticle + e.GetCapacity() - 2) % e.GetCapacity()];
    EXPECT_FLOAT_EQ(locNewest.myBirthTime, 130.0f);
    EXPECT_NEAR(locNewest.myBirthTime - locBefore.myBirthTime, 0.075f, 1e-4f);
    EXPECT_NEAR(e.myParticles[1].myBirthTime, 130.0f - 399 * 0.075f, 1e-3f);
    // Submitted to the view as a transparent drawable at its squared distance.
    ASSERT_EQ(myView->myNumTransparentObjects, 1u);
    EXPECT_EQ(myView->myTransparentRecords[0].myDrawable, &e);
    EXPECT_EQ(myView->myTransparentRecords[0].myPart, nullptr);
    EXPECT_FLOAT_EQ(myView->myTransparentRecords[0].myDistance, 100.0f);
    // A second update in the same frame submits again but spawns nothing.
    e.Update(nullptr);
    EXPECT_EQ(e.myNumParticles, 401u);
    EXPECT_EQ(myView->myNumTransparentObjects, 2u);
}

TEST_F(EmitterTest, AFullRingReplacesItsOldestParticle)
{
    QR_SharedGenericParticleData* d = Definition(0.25f, 1.0f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myCapacity, 4u);
    QR_GenericParticleEmitter e;
    e.SetDefinition(d);
    e.Start();
    for (int i = 0; i < 4; i++)
        Frame(e, 100.0f + 0.25f * (float)i);
    EXPECT_EQ(e.myNumParticles, 4u);
    EXPECT_EQ(e.myFirstParticle, e.myLastParticle);
    float locOldest = e.myParticles[e.myFirstParticle].myBirthTime;
    Frame(e, 101.0f);
    EXPECT_EQ(e.myNumParticles, 4u);
    EXPECT_FLOAT_EQ(e.myParticles[e.myFirstParticle].myBirthTime, locOldest + 0.25f);
    // A new definition on a running emitter fills the ring in one update.
    QR_SharedGenericParticleData* d2 = Definition(0.1f, 1.0f);
    e.SetDefinition(d2);
    QR_SharedParticleData::Release(d2);
    EXPECT_EQ(e.myNumParticles, 0u);
    EXPECT_TRUE(e.IsActive());
    Frame(e, 101.5f);
    EXPECT_EQ(e.myNumParticles, 10u);
    QR_SharedParticleData::Release(d);
}

TEST_F(EmitterTest, ParticlesAreSpreadAlongTheMovement)
{
    QR_SharedGenericParticleData* d = Definition(0.25f, 10.0f);
    QR_GenericParticleEmitter e;
    e.SetDefinition(d);
    QR_SharedParticleData::Release(d);
    e.Start();
    Frame(e, 100.0f);
    Matrix44 m = Matrix44::Identity();
    m.SetTranslation(1, 0, 0);
    Frame(e, 101.0f, &m); // four particles while moving by one unit
    ASSERT_EQ(e.myNumParticles, 5u);
    const float locExpected[4] = {0.25f, 0.5f, 0.75f, 1.0f}; // oldest born first
    for (int i = 0; i < 4; i++)
    {
        EXPECT_FLOAT_EQ(e.myParticles[1 + i].myPosition[0], locExpected[i]) << i;
        EXPECT_FLOAT_EQ(e.myParticles[1 + i].myBirthTime, 100.25f + 0.25f * (float)i);
    }
}

TEST_F(EmitterTest, CameraFacingQuadsAndStreaks)
{
    QR_SharedGenericParticleData* d = Definition(0.25f, 10.0f);
    QR_GenericParticleEmitter e;
    e.SetDefinition(d);
    QR_SharedParticleData::Release(d);
    e.Start();
    Frame(e, 100.0f);
    Frame(e, 101.0f);
    ASSERT_EQ(e.myNumParticles, 5u);
    Calls().clear();
    myView->Flush();
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 1);
    std::vector<DrawnVertex> v = LastVertices();
    ASSERT_EQ(v.size(), 20u);
    // Camera space, 10 units ahead; half size 0.5 on each side; frame corners in order.
    EXPECT_FLOAT_EQ(v[0].z, 10.0f);
    EXPECT_FLOAT_EQ(v[0].x, -0.5f);
    EXPECT_FLOAT_EQ(v[0].y, 0.5f);
    EXPECT_FLOAT_EQ(v[2].x, 0.5f);
    EXPECT_FLOAT_EQ(v[2].y, -0.5f);
    EXPECT_FLOAT_EQ(v[2].u, 1.0f);
    EXPECT_EQ(v[0].myColor, 0xFFFFFFFFu);
    EXPECT_EQ(QR_Render::ourStats.myParticles, 5u);

    // A streak whose particles all sit on one point has no segment to draw.
    QR_SharedGenericParticleData* s = Definition(0.25f, 10.0f, "STREAK");
    QR_GenericParticleEmitter t;
    t.SetDefinition(s);
    QR_SharedParticleData::Release(s);
    QI_Time::ourTime = 100.0f;
    t.Start();
    Frame(t, 100.0f);
    Frame(t, 101.0f);
    Calls().clear();
    ASSERT_EQ(t.myNumParticles, 5u);
    t.Draw();
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 0);
}

TEST_F(EmitterTest, TransparentPhasesHideQuadsButKeepTheStreak)
{
    QR_SharedGenericParticleData* d = Definition(0.25f, 10.0f, "CAMERAFACING", "0 0");
    QR_GenericParticleEmitter e;
    e.SetDefinition(d);
    QR_SharedParticleData::Release(d);
    e.Start();
    Frame(e, 100.0f);
    Frame(e, 101.0f);
    Calls().clear();
    e.Draw();
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 0);

    // A moving streak with alpha 0: four segments of two triangles.
    QR_SharedGenericParticleData* s = Definition(0.25f, 10.0f, "STREAK", "0 0");
    QR_GenericParticleEmitter t;
    t.SetDefinition(s);
    QR_SharedParticleData::Release(s);
    QI_Time::ourTime = 100.0f;
    t.Start();
    Frame(t, 100.0f);
    Matrix44 m = Matrix44::Identity();
    m.SetTranslation(1, 0, 0);
    Frame(t, 101.0f, &m);
    Calls().clear();
    t.Draw();
    ASSERT_EQ(Count("DrawIndexedPrimitive"), 1);
    std::string locDraw = Last("DrawIndexedPrimitive");
    EXPECT_EQ(locDraw.substr(locDraw.size() - 2), " 8") << locDraw;
    EXPECT_EQ(LastVertices().size(), 10u);
}

TEST_F(EmitterTest, AlphaOutsideAByteIsClampedBeforeItColoursTheVertex)
{
    QR_SharedGenericParticleData* d = Definition(0.25f, 10.0f, "CAMERAFACING", "300 300");
    QR_GenericParticleEmitter e;
    e.SetDefinition(d);
    QR_SharedParticleData::Release(d);
    e.myColor = 0x102030;
    e.Start();
    Frame(e, 100.0f);
    e.Draw();
    std::vector<DrawnVertex> v = LastVertices();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].myColor, 0xFF102030u);
}

TEST_F(EmitterTest, SpawningEndsAndTheEmitterStopsWhenItsParticlesHaveDied)
{
    QR_SharedGenericParticleData* d = Definition(0.5f, 1.0f, "CAMERAFACING", "255 255", "ENABLED");
    QR_GenericParticleEmitter e;
    e.SetDefinition(d); // ENABLED: started at once
    QR_SharedParticleData::Release(d);
    EXPECT_TRUE(e.IsActive());
    Frame(e, 100.0f);
    EXPECT_EQ(e.myNumParticles, 1u);
    e.myStartTime = -1.7e38f; // as a placed object stops it
    Frame(e, 100.5f);
    EXPECT_EQ(e.myNumParticles, 1u); // nothing new
    QI_Time::ourTime = 101.5f;
    e.Draw(); // the particle's one phase is over
    EXPECT_EQ(e.myNumParticles, 0u);
    Frame(e, 101.6f);
    EXPECT_FALSE(e.IsActive());
    EXPECT_EQ(e.myParticles, nullptr);
}

} // namespace
