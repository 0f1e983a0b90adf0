// The ".pe" text: formatted records parse back to themselves, the reader's edge cases, and
// what the writer refuses.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <string>

#include "modeleditor/emitterfile.h"
#include "qfile/render/qf_file.h"

namespace fs = std::filesystem;

namespace
{
class EmitterFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ("pe_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(myDir);
        fs::create_directories(myDir);
    }
    bool Parse(const std::string& aText, EmitterRecord& aRecord)
    {
        std::string locPath = (myDir / "t.pe").string();
        std::ofstream(locPath, std::ios::binary) << aText;
        QF_File locFile;
        if (!locFile.Open(locPath.c_str(), QF_READ))
            return false;
        bool locResult = EmitterFile_Parse(locFile, aRecord);
        locFile.Close();
        return locResult;
    }
    fs::path myDir;
};

EmitterRecord Sample(uint32_t anOrigin, uint32_t aRotation, bool anAnimated, int aPhases)
{
    EmitterRecord e;
    e.myFlags = 4 | (anAnimated ? 2 : 0) | (anOrigin & 1);
    e.myRadius = 2.125f;
    e.myOrigin = anOrigin;
    e.myOriginExtents[0] = 1.5f;
    e.myOriginExtents[1] = anOrigin ? 0.25f : 0.0f;
    e.myOriginExtents[2] = anOrigin >= 3 ? 3.0f : 0.0f;
    if (anOrigin == 0)
        e.myOriginExtents[0] = 0.0f;
    e.myParticleType = anOrigin % 3;
    e.mySurface = "surfaces/particle_additive.sur";
    e.myTexture = "textures/smoke";
    if (anAnimated)
    {
        e.myNumFrames = 6;
        e.myFrameWidth = 16;
        e.myFrameHeight = 8;
        e.myFrameTime = 0.125f;
    }
    e.myRotation = aRotation;
    if (aRotation >= 2)
        e.myRotationSpeedMin = -1.5f, e.myRotationSpeedMax = 2.75f;
    e.myTotalTime = 3.5f;
    e.mySpawnTime = 0.05f;
    e.myVelocitySpace = 1;
    e.myVelocityMin[1] = -0.5f, e.myVelocityMax[2] = 1e-7f;
    e.mySizeMin = 0.1f, e.mySizeMax = 123456.0f;
    e.myAlphaMin = 12, e.myAlphaMax = 200;
    for (int i = 0; i < aPhases; i++)
    {
        EmitterPhaseRecord p;
        p.myLength = 0.5f + (float)i;
        p.mySpace = (uint8_t)(i & 1);
        for (int c = 0; c < 3; c++)
        {
            p.myVelocityMin[c] = (float)(c - i);
            p.myVelocityMax[c] = (float)(c + i) * 0.5f;
            p.myVelocityOp[c] = (uint32_t)((i + c) % 4);
        }
        p.mySizeMin = 0.5f, p.mySizeMax = 1.0f, p.mySizeOp = (uint32_t)(i % 4);
        p.myAlphaMin = (float)(i % 256), p.myAlphaMax = 255, p.myAlphaOp = (uint32_t)((i + 1) % 4);
        e.myPhases.push_back(p);
    }
    return e;
}

void ExpectSame(const EmitterRecord& a, const EmitterRecord& b)
{
    EXPECT_EQ(a.myFlags, b.myFlags);
    EXPECT_EQ(a.myRadius, b.myRadius);
    EXPECT_EQ(a.myOrigin, b.myOrigin);
    for (int i = 0; i < 3; i++)
    {
        EXPECT_EQ(a.myOriginExtents[i], b.myOriginExtents[i]) << i;
        EXPECT_EQ(a.myVelocityMin[i], b.myVelocityMin[i]);
        EXPECT_EQ(a.myVelocityMax[i], b.myVelocityMax[i]);
    }
    EXPECT_EQ(a.myParticleType, b.myParticleType);
    EXPECT_EQ(a.mySurface, b.mySurface);
    EXPECT_EQ(a.myTexture, b.myTexture);
    EXPECT_EQ(a.myNumFrames, b.myNumFrames);
    EXPECT_EQ(a.myFrameWidth, b.myFrameWidth);
    EXPECT_EQ(a.myFrameHeight, b.myFrameHeight);
    EXPECT_EQ(a.myFrameTime, b.myFrameTime);
    EXPECT_EQ(a.myRotation, b.myRotation);
    EXPECT_EQ(a.myRotationSpeedMin, b.myRotationSpeedMin);
    EXPECT_EQ(a.myRotationSpeedMax, b.myRotationSpeedMax);
    EXPECT_EQ(a.myTotalTime, b.myTotalTime);
    EXPECT_EQ(a.mySpawnTime, b.mySpawnTime);
    EXPECT_EQ(a.myVelocitySpace, b.myVelocitySpace);
    EXPECT_EQ(a.mySizeMin, b.mySizeMin);
    EXPECT_EQ(a.mySizeMax, b.mySizeMax);
    EXPECT_EQ(a.myAlphaMin, b.myAlphaMin);
    EXPECT_EQ(a.myAlphaMax, b.myAlphaMax);
    ASSERT_EQ(a.myPhases.size(), b.myPhases.size());
    for (size_t i = 0; i < a.myPhases.size(); i++)
    {
        const EmitterPhaseRecord &p = a.myPhases[i], &q = b.myPhases[i];
        EXPECT_EQ(p.myLength, q.myLength);
        EXPECT_EQ(p.mySpace, q.mySpace);
        for (int c = 0; c < 3; c++)
        {
            EXPECT_EQ(p.myVelocityMin[c], q.myVelocityMin[c]);
            EXPECT_EQ(p.myVelocityMax[c], q.myVelocityMax[c]);
            EXPECT_EQ(p.myVelocityOp[c], q.myVelocityOp[c]);
        }
        EXPECT_EQ(p.mySizeMin, q.mySizeMin);
        EXPECT_EQ(p.mySizeMax, q.mySizeMax);
        EXPECT_EQ(p.mySizeOp, q.mySizeOp);
        EXPECT_EQ(p.myAlphaMin, q.myAlphaMin);
        EXPECT_EQ(p.myAlphaMax, q.myAlphaMax);
        EXPECT_EQ(p.myAlphaOp, q.myAlphaOp);
    }
}

const char* const locBase = "GENERIC\r\n"
                            "FLAGS ENABLED\r\n"
                            "RADIUS 1.000\r\n"
                            "EMITORIGIN POINT\r\n"
                            "TYPE CAMERAFACING\r\n"
                            "SURFACE surfaces/particle_additive.sur\r\n"
                            "TEXTURE smoke\r\n";
const char* const locTail = "TEXTUREROTATION NONE\r\n"
                            "TOTALTIME 1\r\n"
                            "SPAWNTIME 0.5\r\n"
                            "SPACE WORLD\r\n"
                            "VELX 0 0\r\nVELY 0 0\r\nVELZ 0 0\r\nSIZE 1 1\r\nALPHA 255 255\r\n";
const char* const locPhase = "LENGTH 1\r\nSPACE WORLD\r\nVELX 0 0 SET\r\nVELY 0 0 SET\r\nVELZ 0 0 SET\r\n"
                             "SIZE 1 1 SET\r\n";
} // namespace

TEST_F(EmitterFileTest, EveryShapeModeSpaceAndOperationRoundTrips)
{
    for (uint32_t o = 0; o < 5; o++)
        for (uint32_t r = 0; r < 4; r++)
            for (int a = 0; a < 2; a++)
                for (int n : {0, 1, 7})
                {
                    SCOPED_TRACE(testing::Message() << o << " " << r << " " << a << " " << n);
                    EmitterRecord e = Sample(o, r, a != 0, n);
                    std::string t;
                    ASSERT_TRUE(EmitterFile_Format(e, t));
                    EmitterRecord b;
                    ASSERT_TRUE(Parse(t, b));
                    e.myTotalLength = b.myTotalLength;
                    ExpectSame(e, b);
                }
    EmitterRecord e = Sample(3, 2, true, 250);
    std::string t;
    ASSERT_TRUE(EmitterFile_Format(e, t));
    EmitterRecord b;
    ASSERT_TRUE(Parse(t, b));
    ExpectSame(e, b);
    float locSum = 0;
    for (const EmitterPhaseRecord& p : e.myPhases)
        locSum += p.myLength;
    EXPECT_EQ(b.myTotalLength, locSum);
    // Every line ends in CR LF.
    EXPECT_EQ(t.find('\n') - 1, t.find('\r'));
    EXPECT_EQ(std::string::npos, t.find("\n\n"));
    size_t locLines = 0;
    for (size_t i = 0; i < t.size(); i++)
        if (t[i] == '\n')
        {
            EXPECT_EQ('\r', t[i - 1]);
            locLines++;
        }
    EXPECT_EQ(21u + 250u * 7u, locLines);
}

TEST_F(EmitterFileTest, WrittenTextIsTheFixedLayoutInTheCLocale)
{
    // A user's locale with a decimal comma changes nothing.
    const char* locOld = setlocale(LC_NUMERIC, nullptr);
    std::string locSaved = locOld ? locOld : "C";
    setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EmitterRecord e = Sample(1, 3, true, 1);
    e.myOriginExtents[0] = 2, e.myOriginExtents[1] = 1;
    e.myAlphaMin = -100.9f;
    e.myPhases[0].myAlphaMin = 254.7f;
    std::string t;
    ASSERT_TRUE(EmitterFile_Format(e, t));
    setlocale(LC_NUMERIC, locSaved.c_str());
    EXPECT_EQ("GENERIC\r\n"
              "FLAGS EMITTORSPACE TEXTUREANIMATED ENABLED\r\n"
              "RADIUS 2.125\r\n"
              "EMITORIGIN RECTANGLE 4 2\r\n"
              "TYPE 3D\r\n"
              "SURFACE surfaces/particle_additive.sur\r\n"
              "TEXTURE textures/smoke\r\n"
              "NUMTEXTURES 6\r\n"
              "PARTICLEWIDTH 16\r\n"
              "PARTICLEHEIGHT 8\r\n"
              "ANIMTIME 0.125\r\n"
              "TEXTUREROTATION RANDOMDIR -1.5 2.75\r\n"
              "TOTALTIME 3.5\r\n"
              "SPAWNTIME 0.05\r\n"
              "SPACE EMITTOR\r\n"
              "VELX 0 0\r\n"
              "VELY -0.5 0\r\n"
              "VELZ 0 1e-07\r\n"
              "SIZE 0.1 123456\r\n"
              "ALPHA -100 200\r\n"
              "NUM_PHASES 1\r\n"
              "LENGTH 0.5\r\n"
              "SPACE WORLD\r\n"
              "VELX 0 0 SET\r\n"
              "VELY 1 0.5 ADD\r\n"
              "VELZ 2 1 MOD\r\n"
              "SIZE 0.5 1 SET\r\n"
              "ALPHA 254 255 ADD\r\n",
              t);
}

TEST_F(EmitterFileTest, NameRule)
{
    EXPECT_EQ("smoke.pe", EmitterFile_Name("smoke"));
    EXPECT_EQ("smoke.pe", EmitterFile_Name("smoke.pe"));
    EXPECT_EQ("SMOKE.PE", EmitterFile_Name("SMOKE.PE"));
    EXPECT_EQ("a.Pe", EmitterFile_Name("a.Pe"));
    EXPECT_EQ(".pe.pe", EmitterFile_Name(".pe"));
    EXPECT_EQ("pe.pe", EmitterFile_Name("pe"));
    EXPECT_EQ("smoke.p.pe", EmitterFile_Name("smoke.p"));
}

TEST_F(EmitterFileTest, ShapesHalvedOnReadingAndDoubledOnWriting)
{
    EmitterRecord e;
    std::string t = locBase;
    t.replace(t.find("POINT"), 5, "RECTANGLE 4 2");
    ASSERT_TRUE(Parse(t + locTail + "NUM_PHASES 0\r\n", e));
    EXPECT_EQ(1u, e.myOrigin);
    EXPECT_EQ(2.0f, e.myOriginExtents[0]);
    EXPECT_EQ(1.0f, e.myOriginExtents[1]);
    std::string w;
    ASSERT_TRUE(EmitterFile_Format(e, w));
    EXPECT_NE(std::string::npos, w.find("EMITORIGIN RECTANGLE 4 2\r\n"));

    t = locBase;
    t.replace(t.find("POINT"), 5, "circle 3 3");
    ASSERT_TRUE(Parse(t + locTail + "NUM_PHASES 0\r\n", e));
    EXPECT_EQ(2u, e.myOrigin);
    EXPECT_EQ(3.0f, e.myOriginExtents[0]);
    ASSERT_TRUE(EmitterFile_Format(e, w));
    EXPECT_NE(std::string::npos, w.find("EMITORIGIN CIRCLE 3 3\r\n"));

    t = locBase;
    t.replace(t.find("POINT"), 5, "BOX 2 4 6");
    ASSERT_TRUE(Parse(t + locTail + "NUM_PHASES 0\r\n", e));
    EXPECT_EQ(3.0f, e.myOriginExtents[2]);
    // POINT must be the whole value; the other words need their blank.
    for (const char* locBad : {"POINT 1", "CIRCLE", "TRIANGLE 1 2", "SPHERE,1,2,3"})
    {
        t = locBase;
        t.replace(t.find("POINT"), 5, locBad);
        EXPECT_FALSE(Parse(t + locTail + "NUM_PHASES 0\r\n", e)) << locBad;
    }
}

TEST_F(EmitterFileTest, ReaderEdgeCases)
{
    EmitterRecord e;
    // Comments, blank lines, lower-case keys and words.
    std::string t = "// made by hand\r\n\r\n" + std::string(locBase) + "\r\n  // more\r\n" + locTail +
                    "num_phases 1\r\n" + locPhase + "alpha -100 255 add // end\r\n";
    ASSERT_TRUE(Parse(t, e));
    ASSERT_EQ(1u, e.myPhases.size());
    EXPECT_EQ(-100.0f, e.myPhases[0].myAlphaMin);
    EXPECT_EQ(1u, e.myPhases[0].myAlphaOp);
    EXPECT_EQ(1, e.myNumFrames);
    EXPECT_EQ(32, e.myFrameWidth);
    EXPECT_EQ(1.0f, e.myFrameTime);

    std::string p = locPhase;
    p.replace(p.find("VELX 0 0 SET"), 12, "VELX 0 0 set");
    ASSERT_TRUE(Parse(std::string(locBase) + locTail + "NUM_PHASES 1\r\n" + p + "ALPHA 0 0 SET\r\n", e));
    EXPECT_EQ(0u, e.myPhases[0].myVelocityOp[0]);
    for (const char* locWord : {"VELX 0 0 SETX", "VELX 0 0", "VELX 0 0 MULTIPLY"})
    {
        p = locPhase;
        p.replace(p.find("VELX 0 0 SET"), 12, locWord);
        EXPECT_FALSE(Parse(std::string(locBase) + locTail + "NUM_PHASES 1\r\n" + p + "ALPHA 0 0 SET\r\n", e))
            << locWord;
    }

    // GLOBAL is not the editor's: dropped when saved again. Flag words keep their case.
    t = locBase;
    t.replace(t.find("FLAGS ENABLED"), 13, "FLAGS GLOBAL ENABLED textureanimated");
    ASSERT_TRUE(Parse(t + locTail + "NUM_PHASES 0\r\n", e));
    EXPECT_EQ(4u, e.myFlags);
    std::string w;
    ASSERT_TRUE(EmitterFile_Format(e, w));
    EXPECT_NE(std::string::npos, w.find("\r\nFLAGS ENABLED\r\n"));

    // The strip lines without the flag stand where TEXTUREROTATION must.
    EXPECT_FALSE(Parse(std::string(locBase) + "NUMTEXTURES 4\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT 8\r\nANIMTIME 1\r\n" +
                           locTail + "NUM_PHASES 0\r\n",
                       e));
    // The flag without the strip lines.
    t = locBase;
    t.replace(t.find("FLAGS ENABLED"), 13, "FLAGS TEXTUREANIMATED");
    EXPECT_FALSE(Parse(t + locTail + "NUM_PHASES 0\r\n", e));
    // Strip values below 1 refused; a frame time of 0 read as it stands.
    for (const char* locStrip : {"NUMTEXTURES 0\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT 8\r\nANIMTIME 1\r\n",
                                 "NUMTEXTURES 4\r\nPARTICLEWIDTH -8\r\nPARTICLEHEIGHT 8\r\nANIMTIME 1\r\n",
                                 "NUMTEXTURES 4\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT x\r\nANIMTIME 1\r\n"})
        EXPECT_FALSE(Parse(t + locStrip + locTail + "NUM_PHASES 0\r\n", e)) << locStrip;
    ASSERT_TRUE(Parse(t + "NUMTEXTURES 4\r\nPARTICLEWIDTH 8\r\nPARTICLEHEIGHT 16\r\nANIMTIME 0.25\r\n" + locTail +
                          "NUM_PHASES 0\r\n",
                      e));
    EXPECT_EQ(4, e.myNumFrames);
    EXPECT_EQ(16, e.myFrameHeight);
    EXPECT_EQ(0.25f, e.myFrameTime);
}

TEST_F(EmitterFileTest, ReaderRefusals)
{
    EmitterRecord e;
    std::string locGood = std::string(locBase) + locTail + "NUM_PHASES 0\r\n";
    ASSERT_TRUE(Parse(locGood, e));
    EXPECT_FALSE(Parse("", e));
    EXPECT_FALSE(Parse("GENERICS\r\n" + locGood.substr(9), e));
    EXPECT_FALSE(Parse("SPECIAL\r\n" + locGood.substr(9), e));
    EXPECT_TRUE(Parse("generic\r\n" + locGood.substr(9), e));
    // Each line out of order or missing, and each word outside its list.
    size_t locStart = 9;
    while (locStart < locGood.size())
    {
        size_t locEnd = locGood.find("\r\n", locStart) + 2;
        std::string t = locGood.substr(0, locStart) + locGood.substr(locEnd);
        EXPECT_FALSE(Parse(t, e)) << locGood.substr(locStart, locEnd - locStart);
        locStart = locEnd;
    }
    for (const char* locSwap : {"TYPE CAMERAFACING|TYPE CAMERA", "SPACE WORLD|SPACE LOCAL", "TEXTUREROTATION NONE|TEXTUREROTATION NONE 1",
                                "TEXTUREROTATION NONE|TEXTUREROTATION SPEED", "RADIUS 1.000|RADIUS1.000",
                                "TEXTURE smoke|TEXTURE "})
    {
        std::string locFrom(locSwap, strchr(locSwap, '|')), locTo(strchr(locSwap, '|') + 1);
        std::string t = locGood;
        t.replace(t.find(locFrom), locFrom.size(), locTo);
        EXPECT_FALSE(Parse(t, e)) << locSwap;
    }
    // NUM_PHASES bounded before anything is allocated; phases must all be there.
    std::string t = std::string(locBase) + locTail;
    EXPECT_FALSE(Parse(t + "NUM_PHASES -1\r\n", e));
    EXPECT_FALSE(Parse(t + "NUM_PHASES 251\r\n", e));
    EXPECT_FALSE(Parse(t + "NUM_PHASES 2000000000\r\n", e));
    EXPECT_FALSE(Parse(t + "NUM_PHASES\r\n", e));
    EXPECT_FALSE(Parse(t + "NUM_PHASES 2\r\n" + locPhase + "ALPHA 0 0 SET\r\n", e));
    EXPECT_TRUE(Parse(t + "NUM_PHASES 2\r\n" + locPhase + "ALPHA 0 0 SET\r\n" + locPhase + "ALPHA 0 0 MOD\r\n", e));
    EXPECT_EQ(2.0f, e.myTotalLength);
}

TEST_F(EmitterFileTest, WriterRefusesWhatNoReaderTakesBack)
{
    std::string t;
    EmitterRecord locGood = Sample(0, 0, true, 1);
    ASSERT_TRUE(EmitterFile_Format(locGood, t));
    auto Refused = [&](EmitterRecord e) {
        std::string s = "x";
        bool r = EmitterFile_Format(e, s);
        return !r && s.empty();
    };
    EmitterRecord e = locGood;
    e.myTexture.clear();
    EXPECT_TRUE(Refused(e));
    e = locGood;
    e.mySurface.clear();
    EXPECT_TRUE(Refused(e));
    e = locGood;
    e.myTexture = "smoke // old";
    EXPECT_TRUE(Refused(e));
    e = locGood;
    e.mySpawnTime = 0;
    EXPECT_TRUE(Refused(e));
    e.mySpawnTime = -1;
    EXPECT_TRUE(Refused(e));
    e = locGood;
    e.myFrameTime = 0;
    EXPECT_TRUE(Refused(e));
    e.myFlags &= ~2u; // unused without the strip
    EXPECT_FALSE(Refused(e));
    for (int f = 0; f < 3; f++)
    {
        e = locGood;
        (f == 0 ? e.myNumFrames : f == 1 ? e.myFrameWidth : e.myFrameHeight) = 0;
        EXPECT_TRUE(Refused(e)) << f;
    }
    e = locGood;
    e.myPhases.resize(251);
    EXPECT_TRUE(Refused(e));
    e = locGood;
    e.myPhases[0].myAlphaOp = 4;
    EXPECT_TRUE(Refused(e));
}
