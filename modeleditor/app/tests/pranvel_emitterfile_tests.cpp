// The editor's ".pe" writer and reader through the file library: the name rule, the
// create-always write and its failures, and a written emitter read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "modeleditor/app/pranvel_emitterfile.h"

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
