// The reader: crafted, truncated and corrupted files, lookups, and .tez files
// brought up to date from their .velk.
#include <chrono>
#include <string>

#include "tez/tests/tez_test_util.h"
#include "tez/tez.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"
#include "velk/velk_arena.h"

namespace
{
const char* const SMALL_FRUIT = "CLASS Point\r\n{\r\nNUMBER x 1\r\nNUMBER y 2\r\nPoint* other\r\n}\r\n";

class TezReaderTest : public TezTest
{
protected:
    Tez* LoadBytes(const std::string& aBytes, const char* aName = "crafted.tez")
    {
        WriteDisk(aName, aBytes);
        return Tez::Load(PathOf(aName).c_str(), false);
    }

    void ExpectRefused(const std::string& aBytes, const std::string& aMessage)
    {
        TezDebugCollector::ourLines.clear();
        Tez* locRoot = LoadBytes(aBytes);
        EXPECT_EQ(locRoot, nullptr) << aMessage;
        delete locRoot;
        EXPECT_TRUE(Printed(aMessage)) << aMessage << "\n" << AllPrinted();
    }

    // Moves a file's last-write time by some seconds.
    void Age(const std::string& aName, int aSeconds)
    {
        const auto locTime = std::filesystem::last_write_time(PathOf(aName));
        std::filesystem::last_write_time(PathOf(aName), locTime + std::chrono::seconds(aSeconds));
    }

    std::string VelkFile(const std::string& aName, const std::string& aBody)
    {
        const std::string locFruit = WriteDisk("small.fruit", SMALL_FRUIT);
        return WriteDisk(aName, "INCLUDE " + locFruit + "\r\n" + aBody);
    }
};
}

TEST_F(TezReaderTest, LookupsWalkPathsAndReferences)
{
    // b comes first and refers through a.r, which is resolved on the way.
    const std::string locBytes = TezBytes()
                                     .Header(0, 3)
                                     .Object("B", "b", 2)
                                     .Ref("P*", "s", "a.r.x")
                                     .Ref("P*", "n", "nUlL")
                                     .Object("A", "a", 2)
                                     .Ref("P*", "r", "c")
                                     .Scalar("NUMBER", "k", "-42")
                                     .Object("P", "c", 2)
                                     .Scalar("NUMBER", "x", "12")
                                     .Object("Q", "deep", 1)
                                     .Scalar("TEXT", "leaf", "")
                                     .Text();
    Tez* locRoot = LoadBytes(locBytes);
    ASSERT_NE(locRoot, nullptr) << AllPrinted();
    EXPECT_EQ(locRoot->GetNumMembers(), 3);
    EXPECT_EQ(locRoot->GetMember("b.s")->GetTarget(), locRoot->GetMember("c.x"));
    EXPECT_EQ(locRoot->GetMember("b.s")->GetValueAsInt(), 12);
    EXPECT_EQ(locRoot->GetMember("a.r.deep.leaf"), locRoot->GetMember("c.deep.leaf"));
    EXPECT_STREQ(locRoot->GetMemberValue("c.deep.leaf"), "");
    EXPECT_EQ(locRoot->GetMember("a.r")->GetNumMembers(), 2);
    EXPECT_EQ(locRoot->GetMember("a.r")->GetMemberByIndex(1), locRoot->GetMember("c.deep"));
    EXPECT_EQ(locRoot->GetMemberValue("a.r"), nullptr);
    EXPECT_EQ(locRoot->GetMember("a.k")->GetValueAsInt(), -42);
    EXPECT_EQ(locRoot->GetMember("b.n")->GetTarget(), nullptr);
    EXPECT_EQ(locRoot->GetMember("b.n.x"), nullptr);
    EXPECT_EQ(locRoot->GetMemberValue("c.z"), nullptr);
    EXPECT_TRUE(Printed("Tez::GetMemberValue(): failed to find member named 'c.z'"));
    EXPECT_EQ(locRoot->GetMember(std::string(511, 'c').c_str()), nullptr);
    EXPECT_EQ(locRoot->GetMember(std::string(600, 'c').c_str()), nullptr);
    delete locRoot;
}

TEST_F(TezReaderTest, RootWithManyMembersIsFoundByHash)
{
    TezBytes locPlain;
    locPlain.Header(0, 201).Scalar("NUMBER", "aca", "first");
    for (int locIndex = 0; locIndex < 199; ++locIndex)
        locPlain.Scalar("NUMBER", ("n" + std::to_string(locIndex)).c_str(), std::to_string(locIndex));
    locPlain.Scalar("NUMBER", "bab", "second");
    Tez* locRoot = LoadBytes(locPlain.Text());
    ASSERT_NE(locRoot, nullptr);
    EXPECT_EQ(locRoot->GetMember("n150")->GetValueAsInt(), 150);
    // Names that hash alike: the first in record order wins.
    EXPECT_STREQ(locRoot->GetMemberValue("bab"), "first");
    delete locRoot;
}

TEST_F(TezReaderTest, RecordsGoWithTheirRoot)
{
    const int locArenas = VelkArena::GetNumAlive();
    TezBytes locPlain;
    locPlain.Header(0, 3).Scalar("NUMBER", "a", "1").Scalar("TEXT", "b", "two").Scalar("NUMBER", "c", "3");
    Tez* locRoot = LoadBytes(locPlain.Text());
    ASSERT_NE(locRoot, nullptr);
    EXPECT_EQ(VelkArena::GetNumAlive(), locArenas + 1);
    EXPECT_STREQ(locRoot->GetMemberValue("b"), "two");
    // Loading again into the same node lets the old records go first.
    ASSERT_TRUE(locRoot->Init(PathOf("crafted.tez").c_str()));
    EXPECT_EQ(VelkArena::GetNumAlive(), locArenas + 1);
    delete locRoot;
    EXPECT_EQ(VelkArena::GetNumAlive(), locArenas);
}

TEST_F(TezReaderTest, MalformedFilesAreRefusedWithTheirMessage)
{
    ExpectRefused("tez0011" + std::string(20, '\0'), "Tez::Init(): invalid file version 'tez0011' should have been 'tez0010'");
    ExpectRefused(TezBytes().Header(0, 0).Text(), "Tez::Init(): top level instance had no members");
    ExpectRefused(TezBytes().Header(0, 0xFFFFFFFF).Text(), "Tez::Init(): top level instance had no members");
    ExpectRefused(TezBytes().Header(0, 0x7FFFFFFF).Scalar("N", "n", "1").Text(), "exceeds the");
    ExpectRefused(TezBytes().Header(0, 1).Object("C", "c", 0x40000000).Text(), "exceeds the");
    ExpectRefused(TezBytes().Header(0, 1).Scalar("N", "n", "1", -3).Text(), "Tez::Init(): invalid member count -3");
    ExpectRefused(TezBytes().Header(0, 1).Object("N", "n", -1).U32(512).Text() + std::string(512, 'x'),
                  "Tez::Init(): invalid string length 512 >= 512");
    ExpectRefused(TezBytes().Header(0, 1).Object("N", "n", -1).U32(0x80000000).Text(), "invalid string length");
    ExpectRefused(TezBytes().Header(0, 1).Object("N", "n", -1).U32(20).Text() + "short", "file ends inside a value");
    ExpectRefused(TezBytes().Header(0, 1).Ref("T*", "r", "").Text(),
                  "Tez::Init(): encountered reference with empty string value");
    ExpectRefused(TezBytes().Header(0, 2).Scalar("N", "n", "1").Ref("T*", "r", "n.missing").Text(),
                  "Tez::Init(): failed to resolve references for member 1");
    ExpectRefused(TezBytes().Header(1, 1).Scalar("N", "n", "1").Text(),
                  "Tez::Init(): failed to load localization decoder for");
    // References that come back to themselves, directly or through a path.
    ExpectRefused(TezBytes().Header(0, 2).Object("A", "a", 1).Ref("T*", "r", "b.s").Object("B", "b", 1)
                      .Ref("T*", "s", "a.r").Text(),
                  "Tez::Init(): failed to resolve references for member 0");
    ExpectRefused(TezBytes().Header(0, 2).Object("A", "a", 1).Ref("T*", "r", "b.s.x").Object("B", "b", 1)
                      .Ref("T*", "s", "a.r.y").Text(),
                  "Tez::Init(): failed to resolve references for member 0");

    TezBytes locDeep;
    locDeep.Header(0, 1);
    for (int locLevel = 0; locLevel < 300; ++locLevel)
        locDeep.Object("C", "c", 1);
    locDeep.Scalar("N", "n", "1");
    ExpectRefused(locDeep.Text(), "records nested deeper than 256");

    ExpectRefused("", "invalid file version");
    EXPECT_EQ(Tez::Load("", false), nullptr);
    EXPECT_TRUE(Printed("Tez::Init(): empty filename"));
    EXPECT_EQ(Tez::Load(PathOf("absent.tez").c_str(), false), nullptr);
    EXPECT_TRUE(Printed("Tez::Init(): failed to read file '" + PathOf("absent.tez") + "'"));
}

TEST_F(TezReaderTest, TruncatedAndCorruptedFilesFailCleanly)
{
    const std::string locTez = TezBytes()
                                   .Header(1, 2)
                                   .Object("P", "p", 3)
                                   .Scalar("NUMBER", "x", "1")
                                   .Scalar("LOCTEXT", "label", "0")
                                   .Ref("P*", "other", "q")
                                   .Object("P", "q", 2)
                                   .Ref("P*", "other", "p.other.t")
                                   .Scalar("TEXT", "t", "hello")
                                   .Text();
    const std::string locLoc = "\xEF\xBB\xBFp.label\tText\r\n";
    WriteDisk("crafted.loc", locLoc);
    Tez* locRoot = LoadBytes(locTez);
    ASSERT_NE(locRoot, nullptr) << AllPrinted();
    EXPECT_EQ(locRoot->GetLocDecoder()->GetNumTexts(), 1u);
    delete locRoot;

    for (size_t locLength = 0; locLength < locTez.size(); ++locLength)
    {
        locRoot = LoadBytes(locTez.substr(0, locLength));
        EXPECT_EQ(locRoot, nullptr) << "cut at " << locLength;
        delete locRoot;
    }
    // Any byte flipped: loaded or refused, never a crash.
    for (size_t locPos = 0; locPos < locTez.size(); ++locPos)
    {
        for (unsigned char locMask : {0x01, 0x80, 0xFF})
        {
            std::string locBroken = locTez;
            locBroken[locPos] = static_cast<char>(locBroken[locPos] ^ locMask);
            locRoot = LoadBytes(locBroken);
            if (locRoot)
                locRoot->GetMember("q.other.x");
            delete locRoot;
        }
    }
    for (size_t locLength = 0; locLength < locLoc.size(); ++locLength)
    {
        WriteDisk("crafted.loc", locLoc.substr(0, locLength));
        locRoot = LoadBytes(locTez);
        if (locLength < 3)
        {
            EXPECT_EQ(locRoot, nullptr);
        }
        delete locRoot;
    }
}

TEST_F(TezReaderTest, StaleOrBrokenTezIsConvertedAgain)
{
    const std::string locVelk = VelkFile("data.velk", "Point p\r\n{\r\n\tx 5\r\n}\r\n");
    const std::string locTez = PathOf("data.tez");

    Tez* locRoot = Tez::Load(locTez.c_str(), true);
    ASSERT_NE(locRoot, nullptr) << AllPrinted();
    EXPECT_TRUE(Printed("VelkToTez::IsFileNewer(): Missing '"));
    EXPECT_EQ(locRoot->GetMember("p.x")->GetValueAsInt(), 5);
    delete locRoot;

    // Up to date: loaded as it is. (A .velk written in the same clock tick as
    // the conversion would count as newer.)
    Age("data.velk", -10);
    TezDebugCollector::ourLines.clear();
    locRoot = Tez::Load(locTez.c_str(), true);
    ASSERT_NE(locRoot, nullptr);
    EXPECT_FALSE(Printed("Converted"));
    delete locRoot;

    // A newer .velk is converted first.
    VelkFile("data.velk", "Point p\r\n{\r\n\tx 6\r\n}\r\n");
    Age("data.tez", -10);
    TezDebugCollector::ourLines.clear();
    locRoot = Tez::Load(locTez.c_str(), true);
    ASSERT_NE(locRoot, nullptr) << AllPrinted();
    EXPECT_TRUE(Printed("VelkToTez::IsFileNewer(): Existing '"));
    EXPECT_TRUE(Printed("VelkToTez::Priv_AssertFileName(): Converted '"));
    EXPECT_EQ(locRoot->GetMember("p.x")->GetValueAsInt(), 6);
    delete locRoot;

    // A file of another version is replaced.
    std::string locBytes = ReadDisk("data.tez");
    locBytes[6] = '9';
    WriteDisk("data.tez", locBytes);
    Age("data.tez", 10);
    EXPECT_EQ(Tez::Load(locTez.c_str(), false), nullptr);
    TezDebugCollector::ourLines.clear();
    locRoot = Tez::Load(locTez.c_str(), true);
    ASSERT_NE(locRoot, nullptr) << AllPrinted();
    EXPECT_TRUE(Printed("is of incorrect format version (should be tez0010) or fragmented, forcing new conversion..."));
    delete locRoot;

    // A .velk that no longer compiles fails the load.
    VelkFile("data.velk", "Point p\r\n{\r\n\tother nowhere\r\n}\r\n");
    Age("data.tez", -20);
    EXPECT_EQ(Tez::Load(locTez.c_str(), true), nullptr);
    EXPECT_TRUE(Printed("VelkToTez::Priv_AssertFileName(): Failed to convert '"));

    EXPECT_EQ(Tez::Load(PathOf("nothing.tez").c_str(), true), nullptr);
    EXPECT_TRUE(Printed("VelkToTez::IsFileNewer(): none of the two files exist"));
    EXPECT_EQ(Tez::Load(PathOf("data.velk").c_str(), true), nullptr);
    EXPECT_TRUE(Printed("you MUST pass a valid .tez filename"));
}
