// The ".pe" reading pieces both readers share: the scanner's scanf rules, the keyed line
// reader, and the frame layout of an animation strip.
#include <gtest/gtest.h>

#include <math.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qfile/render/qf_file.h"
#include "qrender/qr_particletext.h"

TEST(ParticleText, ScannerReadsAsScanfDoes)
{
    float a = -1, b = -1, c = -1;
    int32_t i = -1, j = -1;
    char w[8] = "x";
    EXPECT_FALSE(QR_ParticleScanner(" 1.5\t+2 -3e1").Float(&a).Float(&b).Float(&c).IsStopped());
    EXPECT_EQ(a, 1.5f);
    EXPECT_EQ(b, 2.0f);
    EXPECT_EQ(c, -30.0f);
    // The first value that does not convert stops the scan; it and the later ones stay.
    a = b = c = 7;
    EXPECT_TRUE(QR_ParticleScanner("4 x 5").Float(&a).Float(&b).Float(&c).IsStopped());
    EXPECT_EQ(a, 4.0f);
    EXPECT_EQ(b, 7.0f);
    EXPECT_EQ(c, 7.0f);
    EXPECT_TRUE(QR_ParticleScanner("+-1").Float(&a).IsStopped());
    // Out of float's range: the nearest limit, as strtof gives it.
    QR_ParticleScanner("1e39 -1e39 1e-50").Float(&a).Float(&b).Float(&c);
    EXPECT_TRUE(isinf(a) && a > 0);
    EXPECT_TRUE(isinf(b) && b < 0);
    EXPECT_EQ(c, 0.0f);
    EXPECT_FALSE(QR_ParticleScanner("12 -7 SET").Int(&i).Int(&j).Word(w, sizeof(w)).IsStopped());
    EXPECT_EQ(i, 12);
    EXPECT_EQ(j, -7);
    EXPECT_STREQ(w, "SET");
    // An integer past int's range stops; a word is cut to its buffer; no word stops.
    i = 3;
    EXPECT_TRUE(QR_ParticleScanner("2147483648").Int(&i).IsStopped());
    EXPECT_EQ(i, 3);
    QR_ParticleScanner("APPDEFINED").Word(w, 4);
    EXPECT_STREQ(w, "APP");
    EXPECT_TRUE(QR_ParticleScanner("  ").Word(w, sizeof(w)).IsStopped());
    EXPECT_EQ(QR_ParticleScanner::ToFloat("2.25abc"), 2.25f);
    EXPECT_EQ(QR_ParticleScanner::ToFloat("abc"), 0.0f);
    EXPECT_EQ(QR_ParticleScanner::ToInt("-41 5"), -41);
    EXPECT_EQ(QR_ParticleScanner::ToInt("x"), 0);
    EXPECT_STREQ(QR_ParticleAfterWord("speed 1 2", "SPEED "), "1 2");
    EXPECT_EQ(QR_ParticleAfterWord("SPEEDY", "SPEED "), nullptr);
}

TEST(ParticleText, LineReaderMatchesKeysAndCutsLongLines)
{
    std::string locPath = std::string(Q_TEST_TMP_DIR) + "/particletext.pe";
    std::filesystem::create_directories(Q_TEST_TMP_DIR);
    std::string locLong(300, 'z');
    std::ofstream(locPath, std::ios::binary) << "// a comment\r\n\r\n  radius 2\r\nTEXTURE a\r\nTEXTURE " + locLong +
                                                    "\r\nFLAGS\r\n";
    QF_File f;
    ASSERT_TRUE(f.Open(locPath.c_str(), QF_READ));
    QR_ParticleLineReader r(f, 256);
    EXPECT_STREQ(r.Next("RADIUS "), "2");
    EXPECT_EQ(r.Next("SURFACE "), nullptr); // the line is used up all the same
    uint32_t locLeft = r.BytesLeft();
    EXPECT_EQ(locLeft, 8 + locLong.size() + 2 + 7);
    const char* v = r.Next("TEXTURE ");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(strlen(v), 255u - 8u); // 255 characters of the line
    // The rest of the cut line is read as the next line, as the file library reads it.
    const char* locRest = r.Next("zz");
    ASSERT_NE(locRest, nullptr);
    EXPECT_EQ(strlen(locRest) + 2, locLong.size() - (255u - 8u));
    EXPECT_STREQ(r.Next("FLAGS"), "");
    f.Close();
}

TEST(ParticleText, FramesRunAlongRowsAndRefusePastTheBottom)
{
    QR_ParticleFrame f[12];
    QR_SetWholeParticleFrame(f[0]);
    const float locWhole[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    EXPECT_EQ(0, memcmp(f[0].myUVs, locWhole, sizeof(locWhole)));

    // 100 x 60 in frames of 30 x 20: three a row, three rows.
    ASSERT_TRUE(QR_LayoutParticleFrames(100, 60, 30, 20, 9, f));
    EXPECT_FLOAT_EQ(f[0].myUVs[0][0], 0.0f);
    EXPECT_FLOAT_EQ(f[0].myUVs[1][0], 0.29f);
    EXPECT_FLOAT_EQ(f[0].myUVs[2][1], 19.0f / 60.0f);
    EXPECT_FLOAT_EQ(f[0].myUVs[3][0], 0.0f);
    EXPECT_FLOAT_EQ(f[0].myUVs[3][1], 19.0f / 60.0f);
    EXPECT_FLOAT_EQ(f[2].myUVs[0][0], 0.6f);
    EXPECT_FLOAT_EQ(f[3].myUVs[0][0], 0.0f);
    EXPECT_FLOAT_EQ(f[3].myUVs[0][1], 20.0f / 60.0f);
    EXPECT_FLOAT_EQ(f[8].myUVs[1][1], 40.0f / 60.0f);
    EXPECT_FLOAT_EQ(f[8].myUVs[2][0], 0.89f);
    EXPECT_FLOAT_EQ(f[8].myUVs[2][1], 59.0f / 60.0f);
    EXPECT_FLOAT_EQ(f[4].myUVs[3][0], 0.3f);
    EXPECT_FLOAT_EQ(f[4].myUVs[3][1], 39.0f / 60.0f);
    // A tenth frame would start a fourth row.
    EXPECT_FALSE(QR_LayoutParticleFrames(100, 60, 30, 20, 10, f));
    // Frames exactly filling a row end on a new row at the bottom edge: still inside.
    EXPECT_TRUE(QR_LayoutParticleFrames(60, 20, 30, 20, 2, f));
    EXPECT_TRUE(QR_LayoutParticleFrames(60, 40, 30, 20, 3, f));
    EXPECT_FALSE(QR_LayoutParticleFrames(60, 20, 30, 20, 3, f));
    // Frames wider than the texture: one a row.
    EXPECT_TRUE(QR_LayoutParticleFrames(16, 64, 32, 32, 2, f));
    EXPECT_FLOAT_EQ(f[1].myUVs[0][1], 0.5f);

    // The bound before allocating: one row more than the texture holds.
    EXPECT_TRUE(QR_ParticleFramesMayFit(100, 60, 30, 20, 12));
    EXPECT_FALSE(QR_ParticleFramesMayFit(100, 60, 30, 20, 13));
    EXPECT_TRUE(QR_ParticleFramesMayFit(16, 64, 32, 32, 3));
    EXPECT_FALSE(QR_ParticleFramesMayFit(16, 64, 32, 32, 4));
    EXPECT_TRUE(QR_ParticleFramesMayFit(30, 20, 30, 20, 2));
}
