// Particle definitions over the recording device: the ".pe" reader line by line, its
// refusals, the frame layout, the capacity, and sharing by name.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <filesystem>
#include <unistd.h>

#include "qrender/qr_error.h"
#include "qrender/qr_sharedgenericparticledata.h"
#include "qrender/qr_surface.h"
#include "qrender/qr_texture.h"
#include "qrender/tests/qr_image_writers.h"
#include "qrender/tests/qr_pe_writer.h"
#include "qrender/tests/qr_data_root.h"
#include "qrender/tests/qr_render_test_util.h"

namespace
{

// Runs inside a folder of its own, the data root the names are relative to.
class ParticleTest : public RecordingRender
{
protected:
    void SetUp() override
    {
        RecordingRender::SetUp();
        ASSERT_TRUE(Start());
        ASSERT_TRUE(myRoot.Enter("pe_", {"fx"}));
        QRT_WriteFile("fx/fire.tga", QRT_MakeTGA(128, 128, 32, std::vector<uint32_t>(128 * 128, 0xFF808080u), true,
                                                 false));
        QR_Error::SetCode(0);
    }
    void TearDown() override
    {
        EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
        while (QR_SharedParticleData::ourFirst)
            delete QR_SharedParticleData::ourFirst;
        RecordingRender::TearDown();
        QR_Surface::DestroyAll();
        QR_Texture::DestroyAll();
        myRoot.Leave();
    }
    static void Write(const std::string& aName, const std::string& aText)
    {
        QRT_WriteFile(aName, std::vector<uint8_t>(aText.begin(), aText.end()));
    }
    // A complete file with one line replaced (by its key) or every line as given.
    static std::string Text(const std::vector<std::pair<std::string, std::string>>& aChanges = {})
    {
        std::vector<std::pair<std::string, std::string>> l = {
            {"GENERIC", "GENERIC"}, {"FLAGS", "FLAGS ENABLED"}, {"RADIUS", "RADIUS 2.5"},
            {"EMITORIGIN", "EMITORIGIN BOX 2 4 6"}, {"TYPE", "TYPE CAMERAFACING"},
            {"SURFACE", "SURFACE INTERNAL_ALPHA"}, {"TEXTURE", "TEXTURE fx/fire"},
            {"TEXTUREROTATION", "TEXTUREROTATION SPEED 1 2"}, {"TOTALTIME", "TOTALTIME 3"},
            {"SPAWNTIME", "SPAWNTIME 0.05"}, {"SPACE", "SPACE EMITTOR"}, {"VELX", "VELX -1 1"},
            {"VELY", "VELY 2 3"}, {"VELZ", "VELZ 0 0"}, {"SIZE", "SIZE 0.5 0.75"}, {"ALPHA", "ALPHA 200 255"},
            {"NUM_PHASES", "NUM_PHASES 2"}, {"P0", "LENGTH 1.0\r\nSPACE WORLD\r\nVELX 1 2 SET\r\nVELY 0 0 add\r\n"
                                                  "VELZ 3 3 MOD\r\nSIZE 1 1 APPDEFINED\r\nALPHA -100 255 ADD"},
            {"P1", "LENGTH 1.5\r\nSPACE EMITTOR\r\nVELX 0 0 SET\r\nVELY 0 0 SET\r\nVELZ 0 0 SET\r\n"
                   "SIZE 2 2 SET\r\nALPHA 0 0 SET"}};
        std::string s;
        for (auto& [k, v] : l)
        {
            std::string locLine = v;
            for (auto& [ck, cv] : aChanges)
                if (ck == k)
                    locLine = cv;
            if (!locLine.empty())
                s += locLine + "\r\n";
        }
        return s;
    }
    static QR_SharedGenericParticleData* Load(const std::string& aText, const char* aName = "fx/test")
    {
        Write(std::string(aName) + ".pe", aText);
        return static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Acquire(aName));
    }
    // Loading fails with code 10.
    static void Refused(const std::vector<std::pair<std::string, std::string>>& aChanges)
    {
        QR_Error::SetCode(0);
        EXPECT_EQ(Load(Text(aChanges)), nullptr) << aChanges[0].first << " -> " << aChanges[0].second;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_SYNTAX) << aChanges[0].second;
    }

    QRT_DataRoot myRoot;
};

TEST_F(ParticleTest, EveryLineReadsIntoItsField)
{
    QR_SharedGenericParticleData* d =
        Load("// written by hand\r\n\r\n  generic\r\n" + Text({{"GENERIC", ""}}) + "// trailing comment\r\n");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->myName, "fx/test");
    EXPECT_EQ(d->myKind, 0u);
    EXPECT_EQ(d->myFlags, (uint32_t)QR_PARTICLEFLAG_ENABLED);
    EXPECT_FLOAT_EQ(d->myRadius, 2.5f);
    EXPECT_EQ(d->myOrigin, (uint32_t)QR_PARTICLEORIGIN_BOX);
    EXPECT_FLOAT_EQ(d->myOriginExtents[0], 1.0f); // full sizes halved
    EXPECT_FLOAT_EQ(d->myOriginExtents[1], 2.0f);
    EXPECT_FLOAT_EQ(d->myOriginExtents[2], 3.0f);
    EXPECT_EQ(d->myParticleType, (uint32_t)QR_PARTICLETYPE_CAMERAFACING);
    ASSERT_NE(d->mySurfaceInstance, nullptr);
    EXPECT_EQ(d->myNumFrames, 1u);
    EXPECT_FLOAT_EQ(d->myFrames[0].myUVs[2][0], 1.0f);
    EXPECT_FLOAT_EQ(d->myFrames[0].myUVs[3][1], 1.0f);
    EXPECT_EQ(d->myRotation, (uint32_t)QR_PARTICLEROTATION_SPEED);
    EXPECT_FLOAT_EQ(d->myRotationSpeedMax, 2.0f);
    EXPECT_FLOAT_EQ(d->myTotalTime, 3.0f);
    EXPECT_FLOAT_EQ(d->mySpawnTime, 0.05f);
    EXPECT_EQ(d->myVelocitySpace, 1);
    EXPECT_FLOAT_EQ(d->myVelocityMin[0], -1.0f);
    EXPECT_FLOAT_EQ(d->myVelocityMax[1], 3.0f);
    EXPECT_FLOAT_EQ(d->mySizeMax, 0.75f);
    EXPECT_FLOAT_EQ(d->myAlphaMin, 200.0f);
    ASSERT_EQ(d->myNumPhases, 2u);
    const QR_ParticlePhase& p = d->myPhases[0];
    EXPECT_FLOAT_EQ(p.myLength, 1.0f);
    EXPECT_EQ(p.mySpace, 0);
    EXPECT_EQ(p.myVelocityBlend[0], (uint32_t)QR_PARTICLEBLEND_SET);
    EXPECT_EQ(p.myVelocityBlend[1], (uint32_t)QR_PARTICLEBLEND_ADD); // any case
    EXPECT_EQ(p.myVelocityBlend[2], (uint32_t)QR_PARTICLEBLEND_MOD);
    EXPECT_EQ(p.mySizeBlend, (uint32_t)QR_PARTICLEBLEND_APPDEFINED);
    EXPECT_FLOAT_EQ(p.myAlphaMin, -100.0f); // signed, as the editor writes it
    EXPECT_EQ(d->myPhases[1].mySpace, 1);
    // Two phases of 1.0 and 1.5 s at one particle per 0.05 s.
    EXPECT_FLOAT_EQ(d->myTotalLength, 2.5f);
    EXPECT_EQ(d->myCapacity, 50u);
    EXPECT_EQ(d->mySpawnCap, 50u);
    QR_SharedParticleData::Release(d);
}

TEST_F(ParticleTest, WrittenDefinitionsReadBackEqual)
{
    QR_SharedGenericParticleData* m =
        static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Create("Made\\In.Memory", 0));
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->myName, "made/in");
    EXPECT_EQ(QR_SharedParticleData::Create("made/in.pe", 0), nullptr); // taken
    EXPECT_EQ(QR_SharedParticleData::Create("other", 1), nullptr);      // no such kind
    m->myFlags = QR_PARTICLEFLAG_EMITTORSPACE | QR_PARTICLEFLAG_TEXTUREANIMATED;
    m->myOrigin = QR_PARTICLEORIGIN_RECTANGLE;
    m->myOriginExtents[0] = 2, m->myOriginExtents[1] = 1;
    m->myParticleType = QR_PARTICLETYPE_STREAK;
    m->myRotation = QR_PARTICLEROTATION_RANDOMDIR;
    m->myRotationSpeedMin = -0.5f, m->myRotationSpeedMax = 0.25f;
    m->myTotalTime = 7, m->mySpawnTime = 0.25f;
    m->myAlphaMin = 10, m->myAlphaMax = 20;
    QR_ParticlePhase locPhase = {};
    locPhase.myLength = 4;
    locPhase.myAlphaMin = 1, locPhase.myAlphaMax = 2, locPhase.myAlphaBlend = QR_PARTICLEBLEND_MOD;
    m->myPhases = new QR_ParticlePhase[1]{locPhase};
    m->myNumPhases = 1;
    QRT_PeAnimation locAnimation = {4, 64, 64, 0.1f};
    QR_SharedGenericParticleData* d = Load(QRT_WritePe(*m, "INTERNAL_ALPHA", "fx/fire", &locAnimation), "fx/round");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myFlags, m->myFlags);
    EXPECT_EQ(d->myOrigin, m->myOrigin);
    EXPECT_FLOAT_EQ(d->myOriginExtents[0], 2.0f);
    EXPECT_FLOAT_EQ(d->myOriginExtents[1], 1.0f);
    EXPECT_EQ(d->myParticleType, m->myParticleType);
    EXPECT_EQ(d->myRotation, m->myRotation);
    EXPECT_FLOAT_EQ(d->myRotationSpeedMin, -0.5f);
    EXPECT_FLOAT_EQ(d->myTotalTime, 7.0f);
    EXPECT_EQ(d->myPhases[0].myAlphaBlend, (uint32_t)QR_PARTICLEBLEND_MOD);
    EXPECT_EQ(d->myCapacity, 16u);
    // ANIMTIME 0.1: ten frames a second; four 64 x 64 frames fill the 128 x 128 texture.
    EXPECT_FLOAT_EQ(d->myFramesPerSecond, 10.0f);
    ASSERT_EQ(d->myNumFrames, 4u);
    EXPECT_FLOAT_EQ(d->myFrames[1].myUVs[0][0], 0.5f);
    EXPECT_FLOAT_EQ(d->myFrames[1].myUVs[1][0], 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(d->myFrames[3].myUVs[0][1], 0.5f);
    EXPECT_FLOAT_EQ(d->myFrames[3].myUVs[2][1], 127.0f / 128.0f);
    QR_SharedParticleData::Release(d);
    QR_SharedParticleData::Release(m);
}

TEST_F(ParticleTest, ShapesKeysAndWords)
{
    struct
    {
        const char* myLine;
        uint32_t myShape;
        float myExtents[3];
    } locShapes[] = {{"EMITORIGIN point", 0, {0, 0, 0}},
                     {"EMITORIGIN RECTANGLE 4 2", 1, {2, 1, 0}},
                     {"EMITORIGIN circle 3 3", 2, {3, 3, 0}},
                     {"EMITORIGIN SPHERE 2 4 6", 4, {2, 4, 6}}};
    for (auto& c : locShapes)
    {
        QR_SharedGenericParticleData* d = Load(Text({{"EMITORIGIN", c.myLine}}));
        ASSERT_NE(d, nullptr) << c.myLine;
        EXPECT_EQ(d->myOrigin, c.myShape);
        for (int i = 0; i < 3; i++)
            EXPECT_FLOAT_EQ(d->myOriginExtents[i], c.myExtents[i]) << c.myLine;
        QR_SharedParticleData::Release(d);
    }
    // Flag words are case-sensitive and found anywhere in the line.
    QR_SharedGenericParticleData* d = Load(Text({{"FLAGS", "FLAGS enabled emittorspace xGLOBALx"}}));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myFlags, (uint32_t)QR_PARTICLEFLAG_GLOBAL);
    QR_SharedParticleData::Release(d);
    d = Load(Text({{"TYPE", "type 3d"}, {"TEXTUREROTATION", "TEXTUREROTATION randomonce"}, {"SPACE", "SPACE world"}}));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myParticleType, (uint32_t)QR_PARTICLETYPE_3D);
    EXPECT_EQ(d->myRotation, (uint32_t)QR_PARTICLEROTATION_RANDOMONCE);
    EXPECT_EQ(d->myVelocitySpace, 0);
    QR_SharedParticleData::Release(d);

    EXPECT_EQ(QR_SharedGenericParticleData::ParseBlendMode("appDefined"), 3u);
    EXPECT_EQ(QR_SharedGenericParticleData::ParseBlendMode("SETX"), 4u);
    EXPECT_EQ(QR_SharedGenericParticleData::ParseBlendMode(""), 4u);
}

TEST_F(ParticleTest, BrokenLinesGiveCode10)
{
    Refused({{"FLAGS", "FLAG ENABLED"}});
    Refused({{"RADIUS", "RADIUS"}}); // the key's blank is part of it
    Refused({{"RADIUS", ""}});       // a missing line
    Refused({{"EMITORIGIN", "EMITORIGIN CUBE 1 1 1"}});
    Refused({{"EMITORIGIN", "EMITORIGIN POINT 1"}});
    Refused({{"TYPE", "TYPE SPRITE"}});
    Refused({{"TEXTUREROTATION", "TEXTUREROTATION SPIN 1 2"}});
    Refused({{"SPACE", "SPACE LOCAL"}});
    Refused({{"NUM_PHASES", "NUM_PHASES 3"}}); // a phase short
    Refused({{"P0", "LENGTH 1.0\r\nSPACE WORLD\r\nVELX 1 2 SET\r\nVELY 0 0 ADD\r\nVELZ 3 3 MOD\r\n"
                    "SIZE 1 1 APPDEFINED\r\nALPHA -100 255 BLEND"}});
    Refused({{"P1", "LENGTH 1.5\r\nSPACE EMITTOR\r\nVELX 0 0\r\nVELY 0 0 SET\r\nVELZ 0 0 SET\r\n"
                    "SIZE 2 2 SET\r\nALPHA 0 0 SET"}});
    // Animation lines where none may stand: NUMTEXTURES takes TEXTUREROTATION's place.
    Refused({{"TEXTURE", "TEXTURE fx/fire\r\nNUMTEXTURES 1\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT 8\r\nANIMTIME 1"}});
    // Numbers the emitter would divide by or allocate from.
    Refused({{"SPAWNTIME", "SPAWNTIME 0"}});
    Refused({{"SPAWNTIME", "SPAWNTIME -1"}});
    Refused({{"SPAWNTIME", "SPAWNTIME 10"}});      // a capacity of 0
    Refused({{"SPAWNTIME", "SPAWNTIME 0.000001"}}); // 2.5 million particles
    Refused({{"NUM_PHASES", "NUM_PHASES 2000000000"}});
    Refused({{"NUM_PHASES", "NUM_PHASES -1"}});
    EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr); // nothing cached
}

TEST_F(ParticleTest, AnimationFramesMustFitTheTexture)
{
    auto locAnimated = [&](const std::string& aLines)
    {
        return Text({{"FLAGS", "FLAGS TEXTUREANIMATED"}, {"TEXTURE", "TEXTURE fx/fire\r\n" + aLines}});
    };
    // Five 64 x 64 frames on 128 x 128: the fifth starts a third row below the edge.
    QR_Error::SetCode(0);
    EXPECT_EQ(Load(locAnimated("NUMTEXTURES 5\r\nPARTICLEWIDTH 64\r\nPARTICLEHEIGHT 64\r\nANIMTIME 0.1")), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_SYNTAX);
    // Frames wider than the texture each take a row of their own.
    QR_SharedGenericParticleData* d =
        Load(locAnimated("NUMTEXTURES 1\r\nPARTICLEWIDTH 128\r\nPARTICLEHEIGHT 128\r\nANIMTIME 1"));
    ASSERT_NE(d, nullptr);
    QR_SharedParticleData::Release(d);
    for (const char* locLines : {"NUMTEXTURES 0\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT 8\r\nANIMTIME 0.1",
                                 "NUMTEXTURES 2\r\nPARTICLEWIDTH 0\r\nPARTICLEHEIGHT 8\r\nANIMTIME 0.1",
                                 "NUMTEXTURES 2\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT -8\r\nANIMTIME 0.1",
                                 "NUMTEXTURES 2\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT 8\r\nANIMTIME 0",
                                 "NUMTEXTURES 2000000000\r\nPARTICLEWIDTH 1\r\nPARTICLEHEIGHT 1\r\nANIMTIME 1",
                                 "NUMTEXTURES 2\r\nPARTICLEWIDTH 8\r\nANIMTIME 0.1"})
    {
        QR_Error::SetCode(0);
        EXPECT_EQ(Load(locAnimated(locLines)), nullptr) << locLines;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_SYNTAX) << locLines;
    }
}

TEST_F(ParticleTest, CapacityFollowsLifeOverSpawnTime)
{
    QR_SharedGenericParticleData* d =
        Load(Text({{"NUM_PHASES", "NUM_PHASES 1"}, {"P0", "LENGTH 100\r\nSPACE WORLD\r\nVELX 0 0 SET\r\nVELY 0 0 SET"
                                                          "\r\nVELZ 0 0 SET\r\nSIZE 1 1 SET\r\nALPHA 0 0 SET"},
                   {"P1", ""}}));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myCapacity, 2000u);
    EXPECT_EQ(d->mySpawnCap, 400u);
    QR_SharedParticleData::Release(d);
}

TEST_F(ParticleTest, SharedByNormalisedName)
{
    Write("fx/fire.pe", Text());
    QR_SharedParticleData* a = QR_SharedParticleData::Acquire("FX\\Fire.PE");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->myName, "fx/fire");
    std::filesystem::remove("fx/fire.pe"); // never read again
    QR_SharedParticleData* b = QR_SharedParticleData::Acquire("fx/fire");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->myRefCount, 2);
    QR_SharedParticleData::Release(b);
    EXPECT_EQ(QR_SharedParticleData::ourFirst, a);
    QR_SharedParticleData::Release(a);
    EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
}

TEST_F(ParticleTest, FilesThatGiveNoDefinition)
{
    QR_Error::SetCode(0);
    EXPECT_EQ(QR_SharedParticleData::Acquire("fx/Missing"), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_OPEN);
    EXPECT_STREQ(QR_Error::ourText, "fx/missing.pe");
    // Another kind: no definition, and the particle file's syntax code.
    QR_Error::SetCode(0);
    EXPECT_EQ(Load(Text({{"GENERIC", "SPECIAL"}})), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_SYNTAX);
    // A texture that cannot be loaded keeps the texture layer's code.
    EXPECT_EQ(Load(Text({{"TEXTURE", "TEXTURE fx/none"}})), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_TEXTURE_FILE);
    EXPECT_EQ(QR_SharedParticleData::ourFirst, nullptr);
}

TEST_F(ParticleTest, NumbersReadInTheCLocale)
{
    const char* locOld = setlocale(LC_NUMERIC, nullptr);
    std::string locSaved = locOld ? locOld : "C";
    if (!setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    QR_SharedGenericParticleData* d = Load(Text({{"RADIUS", "RADIUS 0.25"}}));
    setlocale(LC_NUMERIC, locSaved.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_FLOAT_EQ(d->myRadius, 0.25f);
    QR_SharedParticleData::Release(d);
}

TEST_F(ParticleTest, NumbersAsTheStandardConversionsReadThem)
{
    QR_SharedGenericParticleData* d = Load(Text({{"RADIUS", "RADIUS +2.5x"}, {"SIZE", "SIZE 1e60 abc"}}));
    ASSERT_NE(d, nullptr);
    EXPECT_FLOAT_EQ(d->myRadius, 2.5f);
    EXPECT_TRUE(std::isinf(d->mySizeMin)); // past a float: the nearest limit
    EXPECT_FLOAT_EQ(d->mySizeMax, 0.0f);   // not a number: the default stays
    QR_SharedParticleData::Release(d);
    d = Load(Text({{"RADIUS", "RADIUS abc"}}), "fx/other");
    ASSERT_NE(d, nullptr);
    EXPECT_FLOAT_EQ(d->myRadius, 0.0f);
    QR_SharedParticleData::Release(d);
    // A life of exactly one spawn time holds one particle.
    d = Load(Text({{"SPAWNTIME", "SPAWNTIME 2.5"}}), "fx/one");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->myCapacity, 1u);
    EXPECT_EQ(d->mySpawnCap, 1u);
    QR_SharedParticleData::Release(d);
}

TEST_F(ParticleTest, CreatedDefinitionsHoldTheDefaults)
{
    QR_SharedGenericParticleData* d =
        static_cast<QR_SharedGenericParticleData*>(QR_SharedParticleData::Create("AZ\\Fire.pe", 0));
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->myName, "az/fire");
    EXPECT_EQ(d->myCapacity, 1u);
    EXPECT_EQ(d->mySpawnCap, 400u);
    EXPECT_FLOAT_EQ(d->myRadius, 1.0f);
    EXPECT_FLOAT_EQ(d->mySpawnTime, 0.5f);
    EXPECT_FLOAT_EQ(d->myTotalTime, 1.0f);
    EXPECT_FLOAT_EQ(d->myAlphaMin, 255.0f);
    EXPECT_FLOAT_EQ(d->myFadeDistanceSquared, 1e15f);
    EXPECT_EQ(d->myRefCount, 1);
    // A name past the buffer is cut, not overrun.
    std::string locLong(300, 'Q');
    EXPECT_EQ(QR_SharedParticleData::Acquire(locLong.c_str()), nullptr);
    EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_OPEN);
    EXPECT_EQ(strlen(QR_Error::ourText), 255u);
    QR_SharedParticleData::Release(d);
}

TEST_F(ParticleTest, FramesCarryAllFourCorners)
{
    QR_SharedGenericParticleData* d = Load(Text());
    ASSERT_NE(d, nullptr);
    const float locWhole[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; k++)
        for (int i = 0; i < 2; i++)
            EXPECT_FLOAT_EQ(d->myFrames[0].myUVs[k][i], locWhole[k][i]) << k << i;
    QR_SharedParticleData::Release(d);
    d = Load(Text({{"FLAGS", "FLAGS TEXTUREANIMATED"},
                   {"TEXTURE", "TEXTURE fx/fire\r\nNUMTEXTURES 3\r\nPARTICLEWIDTH 64\r\nPARTICLEHEIGHT 32\r\n"
                               "ANIMTIME 0.5"}}),
             "fx/frames");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->myNumFrames, 3u);
    const QR_ParticleFrame& f = d->myFrames[2]; // the second row's first
    const float l = 0.0f, r = 63.0f / 128.0f, t = 32.0f / 128.0f, b = 63.0f / 128.0f;
    const float locCorners[4][2] = {{l, t}, {r, t}, {r, b}, {l, b}};
    for (int k = 0; k < 4; k++)
        for (int i = 0; i < 2; i++)
            EXPECT_FLOAT_EQ(f.myUVs[k][i], locCorners[k][i]) << k << i;
    EXPECT_FLOAT_EQ(d->myFramesPerSecond, 2.0f);
    QR_SharedParticleData::Release(d);
    // Each of the four animation lines is required; a frame of no height is refused.
    const char* locLines[4] = {"NUMTEXTURES 2", "PARTICLEWIDTH 8", "PARTICLEHEIGHT 8", "ANIMTIME 0.1"};
    for (int skip = 0; skip < 5; skip++)
    {
        std::string a;
        for (int i = 0; i < 4; i++)
            if (i != skip)
                a += std::string("\r\n") + (skip == 4 && i == 2 ? "PARTICLEHEIGHT 0" : locLines[i]);
        QR_Error::SetCode(0);
        EXPECT_EQ(Load(Text({{"FLAGS", "FLAGS TEXTUREANIMATED"}, {"TEXTURE", "TEXTURE fx/fire" + a}}), "fx/lines"),
                  nullptr)
            << skip;
        EXPECT_EQ(QR_Error::ourCode, (uint32_t)QR_ERROR_PARTICLE_SYNTAX) << skip;
    }
}

} // namespace
