// The editor's ".pe" writer and reader through the file library: the name rule, the
// create-always write and its failures, and a written emitter read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "modeleditor/app/pranvel_emitterfile.h"
#include "modeleditor/app/tests/pranvel_particle_fixture.h"
#include "qrender/qr_error.h"
#include "qrender/qr_sharedgenericparticledata.h"

namespace fs = std::filesystem;

namespace
{
class PranvelEmitterFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ("pranvel_pe_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        myOld = fs::current_path();
        fs::current_path(myDir);
    }
    void TearDown() override { fs::current_path(myOld); }
    fs::path myDir, myOld;
};

EmitterRecord Sample()
{
    EmitterRecord e;
    e.myFlags = 4;
    e.mySurface = "surfaces/particle_additive.sur";
    e.myTexture = "smoke";
    e.myOrigin = 3;
    e.myOriginExtents[0] = 1, e.myOriginExtents[1] = 2, e.myOriginExtents[2] = 0.5f;
    EmitterPhaseRecord p;
    p.myAlphaMin = 7;
    e.myPhases.push_back(p);
    return e;
}

std::string ReadAll(const char* aPath)
{
    std::ifstream f(aPath, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
} // namespace

TEST_F(PranvelEmitterFileTest, WrittenUnderTheNameRuleAndReadBack)
{
    EmitterRecord e = Sample();
    ASSERT_TRUE(WriteEmitterFile("smoke", e));
    ASSERT_TRUE(fs::exists("smoke.pe"));
    std::string locText;
    ASSERT_TRUE(EmitterFile_Format(e, locText));
    EXPECT_EQ(locText, ReadAll("smoke.pe"));
    EmitterRecord b;
    ASSERT_TRUE(ReadEmitterFile("smoke", b, nullptr));
    ASSERT_TRUE(ReadEmitterFile("smoke.pe", b, nullptr));
    EXPECT_EQ(3u, b.myOrigin);
    EXPECT_EQ(0.5f, b.myOriginExtents[2]);
    ASSERT_EQ(1u, b.myPhases.size());
    EXPECT_EQ(7.0f, b.myPhases[0].myAlphaMin);

    // Create-always: a longer old file is replaced whole.
    std::ofstream("other.PE", std::ios::binary) << std::string(5000, 'x');
    ASSERT_TRUE(WriteEmitterFile("other.PE", e));
    EXPECT_EQ(locText, ReadAll("other.PE"));
    EXPECT_FALSE(fs::exists("other.PE.pe"));
}

TEST_F(PranvelEmitterFileTest, FailuresAreReportedAndKeepTheOldFile)
{
    EmitterRecord e = Sample();
    ASSERT_TRUE(WriteEmitterFile("keep", e));
    std::string locOld = ReadAll("keep.pe");
    EmitterRecord locBad = e;
    locBad.myTexture.clear();
    EXPECT_FALSE(WriteEmitterFile("keep", locBad));
    EXPECT_EQ(locOld, ReadAll("keep.pe"));
    // A folder that cannot be written.
    if (geteuid() != 0)
    {
        fs::create_directories("locked");
        fs::permissions("locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(WriteEmitterFile("locked/keep", e));
        fs::permissions("locked", fs::perms::owner_all);
    }
    EmitterRecord b;
    EXPECT_FALSE(ReadEmitterFile("nothing", b, nullptr));
    std::ofstream("damaged.pe", std::ios::binary) << "GENERIC\r\nFLAGS\r\nRADIUS 1\r\n";
    EXPECT_FALSE(ReadEmitterFile("damaged", b, nullptr));
}

// Files the editor writes, read by the renderer's own reader on llvmpipe: every value comes
// back as the editor's reader gives it, frames laid out over the texture.
namespace
{
class EmitterCrossReadTest : public PranvelEmitterFileTest
{
protected:
    void SetUp() override
    {
        PranvelEmitterFileTest::SetUp();
        // 100 x 60 texels: strips of 30 x 20 frames give three per row, three rows.
        ASSERT_TRUE(PET_WriteParticleFiles(100, 60));
        ASSERT_TRUE(PET_StartRenderer()) << GFX_GetLastErrorDetail();
    }
    void TearDown() override
    {
        PET_StopRenderer();
        PranvelEmitterFileTest::TearDown();
    }
};

EmitterRecord CrossSample(uint32_t aShape, uint32_t aRotation, bool anAnimated, int aPhases)
{
    EmitterRecord e;
    e.myFlags = 4 | (aShape & 1) | (anAnimated ? 2 : 0);
    e.myRadius = 1.75f;
    e.myOrigin = aShape;
    if (aShape)
        e.myOriginExtents[0] = 0.5f, e.myOriginExtents[1] = 1.25f, e.myOriginExtents[2] = aShape >= 3 ? 3.0f : 0.0f;
    e.myParticleType = aShape % 3;
    e.mySurface = "surfaces/particle_additive.sur";
    e.myTexture = anAnimated ? "fx/strip" : "fx/dummy";
    if (anAnimated)
        e.myNumFrames = 7, e.myFrameWidth = 30, e.myFrameHeight = 20, e.myFrameTime = 0.125f;
    e.myRotation = aRotation;
    if (aRotation >= 2)
        e.myRotationSpeedMin = -0.5f, e.myRotationSpeedMax = 2.5f;
    e.myTotalTime = 9999999.0f;
    e.mySpawnTime = 0.1f;
    e.myVelocitySpace = aShape & 1;
    for (int c = 0; c < 3; c++)
        e.myVelocityMin[c] = -1.5f + c, e.myVelocityMax[c] = 2.0f + c;
    e.mySizeMin = 0.25f, e.mySizeMax = 0.5f;
    e.myAlphaMin = 10, e.myAlphaMax = 250;
    for (int i = 0; i < aPhases; i++)
    {
        EmitterPhaseRecord p;
        p.myLength = 0.5f + (float)(i % 5);
        p.mySpace = (uint8_t)(i & 1);
        for (int c = 0; c < 3; c++)
        {
            p.myVelocityMin[c] = (float)i * 0.25f - (float)c;
            p.myVelocityMax[c] = (float)i * 0.5f + (float)c;
            p.myVelocityOp[c] = (uint32_t)(i + c) % 4;
        }
        p.mySizeMin = 0.125f * (float)i, p.mySizeMax = 0.25f * (float)i, p.mySizeOp = (uint32_t)(i + 1) % 4;
        p.myAlphaMin = (float)(i % 256), p.myAlphaMax = 255, p.myAlphaOp = (uint32_t)(i + 2) % 4;
        e.myPhases.push_back(p);
    }
    return e;
}

void ExpectSameDefinition(const QR_SharedGenericParticleData& r, const QR_SharedGenericParticleData& d)
{
    EXPECT_EQ(r.myFlags, d.myFlags);
    EXPECT_EQ(r.myRadius, d.myRadius);
    EXPECT_EQ(r.myOrigin, d.myOrigin);
    for (int c = 0; c < 3; c++)
    {
        EXPECT_EQ(r.myOriginExtents[c], d.myOriginExtents[c]);
        EXPECT_EQ(r.myVelocityMin[c], d.myVelocityMin[c]);
        EXPECT_EQ(r.myVelocityMax[c], d.myVelocityMax[c]);
    }
    EXPECT_EQ(r.myParticleType, d.myParticleType);
    EXPECT_EQ(r.myRotation, d.myRotation);
    EXPECT_EQ(r.myRotationSpeedMin, d.myRotationSpeedMin);
    EXPECT_EQ(r.myRotationSpeedMax, d.myRotationSpeedMax);
    EXPECT_EQ(r.myTotalTime, d.myTotalTime);
    EXPECT_EQ(r.mySpawnTime, d.mySpawnTime);
    EXPECT_EQ(r.myVelocitySpace, d.myVelocitySpace);
    EXPECT_EQ(r.mySizeMin, d.mySizeMin);
    EXPECT_EQ(r.mySizeMax, d.mySizeMax);
    EXPECT_EQ(r.myAlphaMin, d.myAlphaMin);
    EXPECT_EQ(r.myAlphaMax, d.myAlphaMax);
    EXPECT_EQ(r.myFramesPerSecond, d.myFramesPerSecond);
    EXPECT_EQ(r.myTotalLength, d.myTotalLength);
    EXPECT_EQ(r.myCapacity, d.myCapacity);
    EXPECT_EQ(r.mySpawnCap, d.mySpawnCap);
    ASSERT_EQ(r.myNumPhases, d.myNumPhases);
    for (uint32_t i = 0; i < r.myNumPhases; i++)
    {
        const QR_ParticlePhase& a = r.myPhases[i];
        const QR_ParticlePhase& b = d.myPhases[i];
        EXPECT_EQ(a.myLength, b.myLength);
        EXPECT_EQ(a.mySpace, b.mySpace);
        for (int c = 0; c < 3; c++)
        {
            EXPECT_EQ(a.myVelocityMin[c], b.myVelocityMin[c]);
            EXPECT_EQ(a.myVelocityMax[c], b.myVelocityMax[c]);
            EXPECT_EQ(a.myVelocityBlend[c], b.myVelocityBlend[c]);
        }
        EXPECT_EQ(a.mySizeMin, b.mySizeMin);
        EXPECT_EQ(a.mySizeMax, b.mySizeMax);
        EXPECT_EQ(a.mySizeBlend, b.mySizeBlend);
        EXPECT_EQ(a.myAlphaMin, b.myAlphaMin);
        EXPECT_EQ(a.myAlphaMax, b.myAlphaMax);
        EXPECT_EQ(a.myAlphaBlend, b.myAlphaBlend) << "phase " << i;
    }
    ASSERT_EQ(r.myNumFrames, d.myNumFrames);
    EXPECT_EQ(0, memcmp(r.myFrames, d.myFrames, sizeof(QR_ParticleFrame) * r.myNumFrames));
    ASSERT_TRUE(r.mySurfaceInstance && d.mySurfaceInstance);
    EXPECT_EQ(r.mySurfaceInstance->myTextures[0].myFrames[0], d.mySurfaceInstance->myTextures[0].myFrames[0]);
}
} // namespace

TEST_F(EmitterCrossReadTest, TheRendererReadsWhatTheEditorWrites)
{
    int n = 0;
    for (uint32_t locShape = 0; locShape < 5; locShape++)
        for (uint32_t locRotation = 0; locRotation < 4; locRotation++)
            for (int locAnimated = 0; locAnimated < 2; locAnimated++)
            {
                int locPhases = (n % 3) == 0 ? 250 : 1 + (n % 3);
                EmitterRecord e = CrossSample(locShape, locRotation, locAnimated != 0, locPhases);
                std::string locName = "fx/e" + std::to_string(n++);
                ASSERT_TRUE(WriteEmitterFile(locName.c_str(), e));
                auto* r = static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Acquire(locName.c_str()));
                ASSERT_NE(r, nullptr) << locName << " code " << QR_Error::ourCode;
                QR_SharedGenericParticleData d;
                EmitterRecord b;
                ASSERT_TRUE(ReadEmitterFile(locName.c_str(), b, &d));
                SCOPED_TRACE(locName);
                ExpectSameDefinition(*r, d);
                // And the definition gives the record back, as the editor saves it again.
                EmitterRecord locBack = b;
                EmitterRecordFromDefinition(*r, locBack);
                std::string locWritten, locAgain;
                ASSERT_TRUE(EmitterFile_Format(e, locWritten));
                ASSERT_TRUE(EmitterFile_Format(locBack, locAgain));
                EXPECT_EQ(locWritten, locAgain);
                QR_SharedParticleData::Release(r);
            }
}

TEST_F(EmitterCrossReadTest, StripFramesRunAlongRowsOfTheTexture)
{
    EmitterRecord e = CrossSample(0, 0, true, 1);
    ASSERT_TRUE(WriteEmitterFile("fx/strip", e));
    auto* r = static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Acquire("fx/strip"));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->myNumFrames, 7u);
    EXPECT_FLOAT_EQ(r->myFramesPerSecond, 8.0f);
    // Frame 4: second row, second column; from (30/100, 20/60) to (59/100, 39/60).
    const QR_ParticleFrame& f = r->myFrames[4];
    EXPECT_FLOAT_EQ(f.myUVs[0][0], 0.30f);
    EXPECT_FLOAT_EQ(f.myUVs[0][1], 20.0f / 60.0f);
    EXPECT_FLOAT_EQ(f.myUVs[2][0], 0.59f);
    EXPECT_FLOAT_EQ(f.myUVs[2][1], 39.0f / 60.0f);
    EXPECT_FLOAT_EQ(f.myUVs[3][0], 0.30f);
    EXPECT_FLOAT_EQ(r->myFrames[6].myUVs[0][1], 40.0f / 60.0f);
    QR_SharedParticleData::Release(r);

    // Ten frames need a fourth row the texture does not have: the renderer refuses the
    // file the editor could write.
    e.myNumFrames = 10;
    ASSERT_TRUE(WriteEmitterFile("fx/long", e));
    EXPECT_EQ(QR_SharedParticleData::Acquire("fx/long"), nullptr);
}
