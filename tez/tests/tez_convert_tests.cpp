// Namespaces converted to .tez, .loc and .hash files, and read back.
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "qcommon/qc_listiterator.h"
#include "tez/tests/tez_test_util.h"
#include "tez/tez.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const GAME_FRUIT =
    "TYPE Colour\r\n{\r\nRed\r\nGreen\r\nBlue\r\n}\r\n"
    "CLASS Point\r\n{\r\nNUMBER x 1\r\nNUMBER y 2\r\n}\r\n"
    "CLASS Item\r\n{\r\nTEXT title\r\nColour colour Green\r\nPoint pos\r\nItem* next\r\nFILE icon\r\n"
    "LOCTEXT label\r\nDECIMAL weight 0.5\r\n}\r\n"
    "CLASS Holder\r\n{\r\nItem* item\r\nPoint* spot\r\n}\r\n"
    "CLASS Empty\r\n{\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nLOCTEXT\r\nPoint\r\nItem*\r\n}\r\n";

// holder2 refers through holder.item, which comes later in the file.
const char* const GAME_VELK =
    "Holder holder2\r\n{\r\n\tspot holder.item.pos\r\n}\r\n"
    "Item first\r\n{\r\n\ttitle \"hello world\"\r\n\tcolour Blue\r\n\tpos\r\n\t{\r\n\t\tx 10\r\n\t}\r\n"
    "\tnext second\r\n\ticon c:\\data\\icon.tga\r\n\tlabel \"Caf\xe9 au lait\"\r\n\tweight 1.25\r\n}\r\n"
    "Item second\r\n{\r\n\tnext NULL\r\n}\r\n"
    "Holder holder\r\n{\r\n\titem first\r\n}\r\n"
    "Empty nothing\r\n{\r\n}\r\n"
    "Script script\r\n{\r\n\tTEXT \"a b\"\r\n\tLOCTEXT \"line\\none\"\r\n\tPoint Point(3)\r\n\t{\r\n\t\tx 5\r\n\t}\r\n"
    "\tItem* first\r\n}\r\n"
    "NUMBER count 7\r\nLOCTEXT greeting Hello\r\n";

class TezConvertTest : public TezTest
{
protected:
    void SetUp() override
    {
        TezTest::SetUp();
        myFruit = WriteDisk("game.fruit", GAME_FRUIT);
    }

    std::string VelkFile(const std::string& aName, const std::string& aBody)
    {
        return WriteDisk(aName, "INCLUDE " + myFruit + "\r\n" + aBody);
    }

    bool Compile(VelkNameSpace& aSpace, const std::string& aName, const std::string& aBody)
    {
        return VelkCompiler::Compile(aSpace, VelkFile(aName, aBody).c_str(), &myTypes, nullptr);
    }

    // The tree read back holds what the namespace holds.
    void ExpectSame(VelkType* aSource, Tez* aNode, const TezLocDecoder* aDecoder, int aDepth = 0)
    {
        ASSERT_NE(aNode, nullptr);
        const std::string locWhere = aSource->GetName().GetBuffer();
        EXPECT_EQ(aNode->GetTypeHash(), TezHash(aSource->GetTypeName())) << locWhere;
        EXPECT_EQ(aNode->GetOwnNameHash(), TezHash(aSource->GetName())) << locWhere;
        if (VelkRef* locRef = dynamic_cast<VelkRef*>(aSource))
        {
            ASSERT_TRUE(aNode->IsReference()) << locWhere;
            VelkType* locTarget = locRef->GetTarget(false);
            if (!locTarget)
                EXPECT_EQ(aNode->GetTarget(), nullptr) << locWhere;
            else if (aDepth < 3)
                ExpectSame(locTarget, aNode->GetTarget(), aDecoder, aDepth + 1);
            return;
        }
        if (aSource->GetNumMembers() > 0)
        {
            ASSERT_EQ(aNode->GetCount(), aSource->GetNumMembers()) << locWhere;
            for (int locIndex = 0; locIndex < aSource->GetNumMembers(); ++locIndex)
                ExpectSame(aSource->GetMemberAt(locIndex), aNode->GetMemberByIndex(locIndex), aDecoder, aDepth);
            return;
        }
        EXPECT_EQ(aNode->GetCount(), -1) << locWhere;
        std::string locValue = aSource->GetValue().GetBuffer();
        if (locValue == "<empty>")
            locValue.clear();
        if (aSource->GetTypeName() == "FILE")
            for (char& locChar : locValue)
                locChar = locChar == '\\' ? '/' : locChar;
        if (aSource->GetTypeName() != "LOCTEXT")
        {
            EXPECT_EQ(std::string(aNode->GetValue()), locValue) << locWhere;
            return;
        }
        ASSERT_NE(aDecoder, nullptr);
        const QC_LocString* locText = aDecoder->GetText(static_cast<uint32_t>(aNode->GetValueAsInt()));
        ASSERT_NE(locText, nullptr) << locWhere;
        std::u16string locExpected;
        for (unsigned char locChar : locValue)
        {
            if (locChar == 'n' && !locExpected.empty() && locExpected.back() == u'\\')
                locExpected.back() = u'\n';
            else
                locExpected += static_cast<char16_t>(locChar);
        }
        EXPECT_EQ(std::u16string(locText->GetText(), static_cast<size_t>(locText->GetLength())), locExpected)
            << locWhere;
    }

    std::string myFruit;
    VelkTypeManager myTypes;
};
}

TEST_F(TezConvertTest, HeaderAndRecordsHaveTheirExactLayout)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "small.velk",
                        "NUMBER count 7\r\nPoint p\r\n{\r\n\tx 3\r\n}\r\nEmpty none\r\n{\r\n}\r\n"
                        "FILE icon a\\b\\c.tga\r\nTEXT nothing <empty>\r\nHolder h\r\n{\r\n}\r\n"));
    ASSERT_TRUE(VelkToTez::Convert(locSpace, PathOf("small.velk").c_str())) << AllPrinted();
    const std::string locExpected = TezBytes()
                                        .Header(0, 6)
                                        .Scalar("NUMBER", "count", "7")
                                        .Object("Point", "p", 2)
                                        .Scalar("NUMBER", "x", "3")
                                        .Scalar("NUMBER", "y", "2")
                                        .Scalar("Empty", "none", "")
                                        .Scalar("FILE", "icon", "a/b/c.tga")
                                        .Scalar("TEXT", "nothing", "")
                                        .Object("Holder", "h", 2)
                                        .Ref("Item*", "item", "NULL")
                                        .Ref("Point*", "spot", "NULL")
                                        .Text();
    EXPECT_EQ(ReadDisk("small.tez"), locExpected);
    EXPECT_EQ(ReadDisk("small.tez").substr(0, 8), std::string("tez0010\0", 8));
    EXPECT_FALSE(std::filesystem::exists(PathOf("small.loc")));

    std::string locReport;
    for (const char* locName : {"NUMBER", "count", "Point", "p", "x", "y", "Empty", "none", "FILE", "icon", "TEXT",
                                "nothing", "Holder", "h", "Item*", "item", "Point*", "spot"})
    {
        char locLine[300];
        snprintf(locLine, sizeof(locLine), "%13d %s\r\n", static_cast<int>(TezHash(locName)), locName);
        locReport += locLine;
    }
    EXPECT_EQ(ReadDisk("small.hash"), locReport + "\r\n\r\nNo duplicate hash entries.\r\n");
}

TEST_F(TezConvertTest, NamespaceReadBackEqualsTheSource)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "game.velk", GAME_VELK));
    ASSERT_TRUE(VelkToTez::Convert(locSpace, PathOf("game.velk").c_str())) << AllPrinted();

    // LOCTEXT keys are dotted paths from the root; indices count from 0.
    EXPECT_EQ(ReadDisk("game.loc"), "\xEF\xBB\xBF"
                                    "first.label\tCaf\xC3\xA9 au lait\r\n"
                                    "second.label\t<empty>\r\n"
                                    "script.LOCTEXT(1)\tline\\none\r\n"
                                    "greeting\tHello\r\n");

    Tez* locRoot = Tez::Load(PathOf("game.tez").c_str(), false);
    ASSERT_NE(locRoot, nullptr) << AllPrinted();
    EXPECT_EQ(locRoot->GetTypeHash(), TezHash("tez0010"));
    EXPECT_EQ(locRoot->GetOwnNameHash(), TezHash(PathOf("game.tez").c_str()));
    ASSERT_NE(locRoot->GetLocDecoder(), nullptr);
    EXPECT_EQ(locRoot->GetLocDecoder()->GetNumTexts(), 4u);

    QC_List<VelkType*> locRoots;
    locSpace.GetInstances(locRoots, true);
    ASSERT_EQ(locRoot->GetNumMembers(), locRoots.myCount);
    int locIndex = 0;
    QC_ListIterator<VelkType*> locIter(&locRoots);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        ExpectSame(locIter.GetCurrent(), locRoot->GetMemberByIndex(locIndex++), locRoot->GetLocDecoder());

    // The reference through holder.item, which comes later, reaches first.pos.
    EXPECT_EQ(locRoot->GetMember("holder2.spot")->GetTarget(), locRoot->GetMember("first.pos"));
    delete locRoot;
}

TEST_F(TezConvertTest, ValueLimitIs511Bytes)
{
    VelkNameSpace locFits;
    ASSERT_TRUE(Compile(locFits, "fits.velk", "TEXT t " + std::string(511, 'x') + "\r\n"));
    ASSERT_TRUE(VelkToTez::Convert(locFits, PathOf("fits.velk").c_str()));
    Tez* locRoot = Tez::Load(PathOf("fits.tez").c_str(), false);
    ASSERT_NE(locRoot, nullptr);
    EXPECT_EQ(std::string(locRoot->GetMemberValue("t")), std::string(511, 'x'));
    delete locRoot;

    const std::string locOld = ReadDisk("fits.tez");
    VelkNameSpace locTooLong;
    ASSERT_TRUE(Compile(locTooLong, "fits.velk", "TEXT t " + std::string(512, 'x') + "\r\n"));
    EXPECT_FALSE(VelkToTez::Convert(locTooLong, PathOf("fits.velk").c_str()));
    EXPECT_TRUE(Printed("string value exceeds maximum allowed length (512 chars)"));
    EXPECT_EQ(ReadDisk("fits.tez"), locOld);
}

TEST_F(TezConvertTest, ReportListsNamesSharingAHash)
{
    // "aca", "bab" and "c_c" hash alike.
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "dup.velk",
                        "NUMBER aca 1\r\nNUMBER bab 2\r\nScript s\r\n{\r\n\tTEXT aca v\r\n}\r\nNUMBER c_c 3\r\n"));
    ASSERT_TRUE(VelkToTez::Convert(locSpace, PathOf("dup.velk").c_str())) << AllPrinted();
    const std::string locReport = ReadDisk("dup.hash");
    char locLine[64];
    snprintf(locLine, sizeof(locLine), "%13d", static_cast<int>(TezHash("aca")));
    const std::string locHash = locLine;
    EXPECT_NE(locReport.find("\r\n\r\n\r\nDuplicate Hash Entries:\r\n" + locHash + " aca\r\n" + locHash +
                             " bab\r\n" + locHash +
                             " c_c\r\n\r\n3 duplicate hash entries were found!\r\n"),
              std::string::npos)
        << locReport;

    // A later conversion starts with an empty registry.
    VelkNameSpace locPlain;
    ASSERT_TRUE(Compile(locPlain, "plain.velk", "NUMBER one 1\r\n"));
    ASSERT_TRUE(VelkToTez::Convert(locPlain, PathOf("plain.velk").c_str()));
    snprintf(locLine, sizeof(locLine), "%13d NUMBER\r\n%13d one\r\n", static_cast<int>(TezHash("NUMBER")),
             static_cast<int>(TezHash("one")));
    EXPECT_EQ(ReadDisk("plain.hash"), std::string(locLine) + "\r\n\r\nNo duplicate hash entries.\r\n");
}

TEST_F(TezConvertTest, FailedLocSaveLeavesTheOldPairUntouched)
{
    VelkNameSpace locGood;
    ASSERT_TRUE(Compile(locGood, "pair.velk", "LOCTEXT greeting Hello\r\nNUMBER n 1\r\n"));
    ASSERT_TRUE(VelkToTez::Convert(locGood, PathOf("pair.velk").c_str()));
    const std::string locOldTez = ReadDisk("pair.tez");
    const std::string locOldLoc = ReadDisk("pair.loc");
    const std::string locOldReport = ReadDisk("pair.hash");

    VelkNameSpace locBadKey;
    ASSERT_TRUE(Compile(locBadKey, "pair.velk", "NUMBER n 2\r\nLOCTEXT " + std::string(256, 'k') + " Hi\r\n"));
    EXPECT_FALSE(VelkToTez::Convert(locBadKey, PathOf("pair.velk").c_str()));
    EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): failed to save .loc file for '" + PathOf("pair.tez")));
    EXPECT_EQ(ReadDisk("pair.tez"), locOldTez);
    EXPECT_EQ(ReadDisk("pair.loc"), locOldLoc);
    EXPECT_EQ(ReadDisk("pair.hash"), locOldReport);

    // A .loc that cannot be replaced fails too, and the old .tez goes back.
    std::filesystem::remove(PathOf("pair.loc"));
    std::filesystem::create_directory(PathOf("pair.loc"));
    EXPECT_FALSE(VelkToTez::Convert(locGood, PathOf("pair.velk").c_str()));
    EXPECT_EQ(ReadDisk("pair.tez"), locOldTez);
    EXPECT_TRUE(std::filesystem::is_directory(PathOf("pair.loc")));

    VelkNameSpace locEmpty;
    EXPECT_FALSE(VelkToTez::Convert(locEmpty, PathOf("pair.velk").c_str()));
    EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): no instances at root level"));
    EXPECT_FALSE(VelkToTez::Convert(locGood, PathOf("noextension").c_str()));
}

// Saves follow a link to the file it names; its .tez and .loc go beside that file.
TEST_F(TezConvertTest, AVelkSavedThroughALinkIsConvertedBesideTheFileItNames)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "level.velk", "LOCTEXT greeting Hello\r\nNUMBER n 1\r\n"));
    std::filesystem::create_directory(PathOf("links"));
    std::filesystem::create_symlink("../level.velk", PathOf("links/alias.velk"));
    ASSERT_TRUE(VelkToTez::Convert(locSpace, PathOf("links/alias.velk").c_str())) << AllPrinted();
    EXPECT_TRUE(std::filesystem::exists(PathOf("level.tez")));
    EXPECT_TRUE(std::filesystem::exists(PathOf("level.loc")));
    EXPECT_FALSE(std::filesystem::exists(PathOf("links/alias.tez")));
    EXPECT_FALSE(std::filesystem::exists(PathOf("links/alias.loc")));
}

TEST_F(TezConvertTest, ReportNumbersAreSignedAndRightAligned)
{
    VelkToTez::ClearRegistry();
    const uint32_t locHashes[] = {0u, 7u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 1234567890u, 0xC0000000u};
    std::string locExpected;
    for (size_t locIndex = 0; locIndex < sizeof(locHashes) / sizeof(locHashes[0]); ++locIndex)
    {
        const std::string locName = "n" + std::to_string(locIndex);
        VelkToTez::Register(locHashes[locIndex], locName.c_str());
        char locLine[64];
        snprintf(locLine, sizeof(locLine), "%13d %s\r\n", static_cast<int>(locHashes[locIndex]), locName.c_str());
        locExpected += locLine;
    }
    EXPECT_EQ(VelkToTez::MakeHashReport(), locExpected + "\r\n\r\nNo duplicate hash entries.\r\n");
    VelkToTez::ClearRegistry();
}

// Many names in families that share hashes, met in a shuffled order and each
// several times: the report lists every name once in the order first met, and
// every name of a shared hash once among the duplicates, the first of a family
// just before the second. Checked against a plain model of the rule.
TEST_F(TezConvertTest, RegistryListsFamiliesOfSharedHashesInOrderMet)
{
    std::vector<std::string> locNames;
    for (int locIndex = 0; locIndex < 20000; ++locIndex)
        locNames.push_back("item" + std::to_string(locIndex));
    std::vector<size_t> locOrder;
    uint32_t locRandom = 12345;
    for (int locPass = 0; locPass < 3; ++locPass)
        for (size_t locIndex = 0; locIndex < locNames.size(); ++locIndex)
        {
            locRandom = locRandom * 1103515245u + 12345u;
            locOrder.push_back((locRandom >> 8) % locNames.size());
        }

    std::vector<std::pair<std::string, uint32_t>> locEntries;
    std::vector<std::pair<std::string, uint32_t>> locDuplicates;
    std::map<std::string, bool> locSeen;
    std::map<uint32_t, std::vector<std::string>> locFamilies;
    VelkToTez::ClearRegistry();
    for (size_t locPick : locOrder)
    {
        const std::string& locName = locNames[locPick];
        const uint32_t locHash = TezHash(locName.c_str());
        VelkToTez::Register(locHash, locName.c_str());
        if (locSeen[locName])
            continue;
        locSeen[locName] = true;
        locEntries.emplace_back(locName, locHash);
        std::vector<std::string>& locFamily = locFamilies[locHash];
        if (locFamily.size() == 1)
            locDuplicates.emplace_back(locFamily[0], locHash);
        if (!locFamily.empty())
            locDuplicates.emplace_back(locName, locHash);
        locFamily.push_back(locName);
    }
    ASSERT_GT(locDuplicates.size(), 1000u);

    std::string locExpected;
    char locLine[96];
    for (const auto& locEntry : locEntries)
    {
        snprintf(locLine, sizeof(locLine), "%13d %s\r\n", static_cast<int>(locEntry.second), locEntry.first.c_str());
        locExpected += locLine;
    }
    locExpected += "\r\n\r\nDuplicate Hash Entries:\r\n";
    for (const auto& locEntry : locDuplicates)
    {
        snprintf(locLine, sizeof(locLine), "%13d %s\r\n", static_cast<int>(locEntry.second), locEntry.first.c_str());
        locExpected += locLine;
    }
    locExpected += "\r\n" + std::to_string(locDuplicates.size()) + " duplicate hash entries were found!\r\n";
    EXPECT_EQ(VelkToTez::MakeHashReport(), locExpected);
    ASSERT_EQ(VelkToTez::GetEntries().size(), locEntries.size());
    EXPECT_EQ(VelkToTez::GetEntries().back().myName, locEntries.back().first);
    VelkToTez::ClearRegistry();
    EXPECT_TRUE(VelkToTez::GetEntries().empty());
}

// The names are registered apart from the records being written: the report
// must still list them in the order the records meet them.
TEST_F(TezConvertTest, ReportFollowsTheRecordsInTheirOrder)
{
    // The game's records, then enough more that the two walks overlap.
    std::string locBody = GAME_VELK;
    for (int locIndex = 0; locIndex < 3000; ++locIndex)
    {
        const std::string locName = "item" + std::to_string(locIndex);
        locBody += "Item " + locName + "\r\n{\r\n\tlabel \"L" + std::to_string(locIndex) + "\"\r\n\tpos\r\n\t{\r\n\t\tx " +
                   std::to_string(locIndex) + "\r\n\t}\r\n" +
                   (locIndex ? "\tnext item" + std::to_string(locIndex - 1) + "\r\n" : "") + "}\r\n";
        if (locIndex % 7 == 0)
            locBody += "Script script" + locName + "\r\n{\r\n\tPoint Point(" + std::to_string(locIndex) +
                       ")\r\n\t{\r\n\t}\r\n\tItem* " + locName + "\r\n}\r\nEmpty empty" + locName + "\r\n{\r\n}\r\n";
    }
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "order.velk", locBody));
    ASSERT_TRUE(VelkToTez::Convert(locSpace, PathOf("order.velk").c_str())) << AllPrinted();

    // The hashes of the records' type and name, in file order.
    const std::string locTez = ReadDisk("order.tez");
    size_t locAt = 16;
    std::vector<uint32_t> locMet;
    const auto locU32 = [&locTez, &locAt]() {
        uint32_t locValue = 0;
        if (locAt + 4 <= locTez.size())
            memcpy(&locValue, locTez.data() + locAt, 4);
        locAt += 4;
        return locValue;
    };
    std::function<void()> locRecord = [&]() {
        locMet.push_back(locU32());
        locMet.push_back(locU32());
        const int32_t locCount = static_cast<int32_t>(locU32());
        if (locCount < 1)
            locAt += locU32();
        for (int32_t locMember = 0; locMember < locCount && locAt < locTez.size(); ++locMember)
            locRecord();
    };
    for (int locRoot = locSpace.GetNumInstances(); locRoot > 0; --locRoot)
        locRecord();
    ASSERT_EQ(locAt, locTez.size());

    // The report's hashes, up to the blank line before its duplicates.
    const std::string locReport = ReadDisk("order.hash");
    std::vector<uint32_t> locListed;
    for (size_t locLine = 0; locLine < locReport.size();)
    {
        const size_t locEnd = locReport.find("\r\n", locLine);
        ASSERT_NE(locEnd, std::string::npos);
        if (locEnd == locLine)
            break;
        locListed.push_back(static_cast<uint32_t>(std::stol(locReport.substr(locLine, 13))));
        locLine = locEnd + 2;
    }

    // Names that share a hash are listed each; the first of each hash comes
    // in the order the records first meet it.
    const auto locFirsts = [](const std::vector<uint32_t>& aHashes) {
        std::vector<uint32_t> locFirst;
        std::set<uint32_t> locSeen;
        for (const uint32_t locHash : aHashes)
            if (locSeen.insert(locHash).second)
                locFirst.push_back(locHash);
        return locFirst;
    };
    EXPECT_GT(locListed.size(), 4000u);
    EXPECT_TRUE(locFirsts(locMet) == locFirsts(locListed));
}

TEST_F(TezConvertTest, ValuesThatAreNotNumbersFailTheConversionWithTheirNames)
{
    VelkNameSpace locGood;
    ASSERT_TRUE(Compile(locGood, "numbers.velk",
                        "NUMBER a -3\r\nNUMBER b +7\r\nNUMBER c 2147483647\r\nNUMBER d -2147483648\r\n"
                        "DECIMAL e 1.5e3\r\nDECIMAL f .5\r\nDECIMAL g -5.\r\nDECIMAL h 2E-3\r\nDECIMAL i 12\r\n"
                        "DECIMAL j 9.09e09\r\nDECIMAL k 0.90E-90\r\n"
                        "Item item\r\n{\r\n\tweight 0.25\r\n\tpos\r\n\t{\r\n\t\tx 4\r\n\t}\r\n}\r\n"));
    ASSERT_TRUE(VelkToTez::Convert(locGood, PathOf("numbers.velk").c_str())) << AllPrinted();
    EXPECT_FALSE(Printed("ERROR:")) << AllPrinted();
    const std::string locOldTez = ReadDisk("numbers.tez");

    // Such files still compile; their conversion tells every value and leaves the old .tez.
    VelkNameSpace locBad;
    ASSERT_TRUE(Compile(locBad, "numbers.velk",
                        "NUMBER a abc\r\nNUMBER b 1.5\r\nNUMBER c 2147483648\r\nNUMBER d 0x10\r\nNUMBER ok 5\r\n"
                        "NUMBER m -21474836480\r\n"
                        "DECIMAL e 1,5\r\nDECIMAL f 1e\r\nDECIMAL g .\r\nDECIMAL h 2 \r\nDECIMAL i \"\"\r\n"
                        "Item item\r\n{\r\n\tweight heavy\r\n\tpos\r\n\t{\r\n\t\tx -\r\n\t}\r\n}\r\n"))
        << AllPrinted();
    EXPECT_FALSE(VelkToTez::Convert(locBad, PathOf("numbers.velk").c_str()));
    std::vector<std::string> locErrors;
    for (const std::string& locLine : TezDebugCollector::ourLines)
        if (locLine.rfind("ERROR:", 0) == 0)
            locErrors.push_back(locLine);
    const std::string locWhole = "which is not a whole number such as 12 or -3";
    const std::string locNumber = "which is not a number such as 12, -0.5 or 1.5e3, with a point and no comma";
    EXPECT_EQ(locErrors, (std::vector<std::string>{
                             "ERROR: VelkToTez: the NUMBER instance 'a' holds 'abc', " + locWhole,
                             "ERROR: VelkToTez: the NUMBER instance 'b' holds '1.5', " + locWhole,
                             "ERROR: VelkToTez: the NUMBER instance 'c' holds '2147483648', " + locWhole,
                             "ERROR: VelkToTez: the NUMBER instance 'd' holds '0x10', " + locWhole,
                             "ERROR: VelkToTez: the NUMBER instance 'm' holds '-21474836480', " + locWhole,
                             "ERROR: VelkToTez: the DECIMAL instance 'e' holds '1,5', " + locNumber,
                             "ERROR: VelkToTez: the DECIMAL instance 'f' holds '1e', " + locNumber,
                             "ERROR: VelkToTez: the DECIMAL instance 'g' holds '.', " + locNumber,
                             "ERROR: VelkToTez: the NUMBER member 'pos.x' of instance 'item' holds '-', " + locWhole,
                             "ERROR: VelkToTez: the DECIMAL member 'weight' of instance 'item' holds 'heavy', " +
                                 locNumber,
                         }))
        << AllPrinted();
    EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): values that are not numbers: 10; '" +
                        PathOf("numbers.tez") + "' is left as it was"));
    EXPECT_EQ(ReadDisk("numbers.tez"), locOldTez);
    // One is enough.
    VelkNameSpace locOne;
    ASSERT_TRUE(Compile(locOne, "numbers.velk", "NUMBER a 1\r\nDECIMAL b x\r\n"));
    EXPECT_FALSE(VelkToTez::Convert(locOne, PathOf("numbers.velk").c_str()));
    EXPECT_EQ(ReadDisk("numbers.tez"), locOldTez);
}

TEST_F(TezConvertTest, KeysTheLocFileRefusesAreToldWithTheNameToChange)
{
    // Names without a LOCTEXT text under them convert whatever they hold.
    VelkNameSpace locFine;
    ASSERT_TRUE(Compile(locFine, "keys.velk",
                        "Point \xc6r\xf8\r\n{\r\n}\r\nItem " + std::string(249, 'i') + "\r\n{\r\n}\r\n" +
                            "Script s\r\n{\r\n\tTEXT \xc9t\xe9 x\r\n\tLOCTEXT ok\r\n}\r\n"));
    ASSERT_TRUE(VelkToTez::Convert(locFine, PathOf("keys.velk").c_str())) << AllPrinted();
    const std::string locOldTez = ReadDisk("keys.tez");

    VelkNameSpace locBad;
    ASSERT_TRUE(Compile(locBad, "keys.velk",
                        "Item \xd8resund\r\n{\r\n}\r\nItem ab\r\n{\r\n}\r\nItem " + std::string(250, 'i') +
                            "\r\n{\r\n}\r\nScript s\r\n{\r\n\tLOCTEXT \xc9t\xe9 Hi\r\n}\r\nINCLUDE " +
                            WriteDisk("box.fruit", "CLASS Box\r\n{\r\nItem \xc9" "ben\r\n}\r\n") +
                            "\r\nBox box\r\n{\r\n}\r\nLOCTEXT caf\xe9 Hi\r\nLOCTEXT k\x80 Hi\r\nLOCTEXT cd Hi\r\n"));
    // A .velk file cannot hold "//" in a name (it starts a comment there), an edit can.
    locBad.GetInstance("ab", false)->SetName("a//b");
    locBad.GetInstance("cd", false)->SetName("c//");
    EXPECT_FALSE(VelkToTez::Convert(locBad, PathOf("keys.velk").c_str()));
    std::vector<std::string> locErrors;
    for (const std::string& locLine : TezDebugCollector::ourLines)
        if (locLine.rfind("ERROR:", 0) == 0)
            locErrors.push_back(locLine);
    const std::string locKey = "' cannot be converted: its key (the names of its instance and members, joined by '.') ";
    const std::string locAscii = "and keys hold only ASCII characters (below 128); rename '";
    EXPECT_EQ(locErrors, (std::vector<std::string>{
                             "ERROR: VelkToTez: the LOCTEXT text '\xd8resund.label" + locKey + "holds '\xd8', " +
                                 locAscii + "\xd8resund'",
                             "ERROR: VelkToTez: the LOCTEXT text 'a//b.label" + locKey +
                                 "holds \"//\", which would begin a comment in the .loc file; rename 'a//b'",
                             "ERROR: VelkToTez: the LOCTEXT text '" + std::string(250, 'i') + ".labe..." + locKey +
                                 "is 256 characters long, and keys hold at most 255; shorten the names on its path",
                             "ERROR: VelkToTez: the LOCTEXT text 's.\xc9t\xe9" + locKey + "holds '\xc9', " + locAscii +
                                 "\xc9t\xe9'",
                             "ERROR: VelkToTez: the LOCTEXT text 'box.\xc9" "ben.label" + locKey + "holds '\xc9', " +
                                 locAscii + "\xc9" "ben'",
                             "ERROR: VelkToTez: the LOCTEXT text 'caf\xe9" + locKey + "holds '\xe9', " + locAscii +
                                 "caf\xe9'",
                             "ERROR: VelkToTez: the LOCTEXT text 'k\x80" + locKey + "holds '\x80', " + locAscii +
                                 "k\x80'",
                             "ERROR: VelkToTez: the LOCTEXT text 'c//" + locKey +
                                 "holds \"//\", which would begin a comment in the .loc file; rename 'c//'",
                         }))
        << AllPrinted();
    // The debug output keeps its one line, of the first.
    EXPECT_TRUE(Printed("TezLocEncoder::ValidateKeyValues(): key '\xd8resund.label' contained invalid characters"));
    EXPECT_FALSE(Printed("key 'a//b.label'"));
    EXPECT_EQ(ReadDisk("keys.tez"), locOldTez);

    // Past twenty, the rest are counted.
    for (const int locCount : {20, 23})
    {
        std::string locMany;
        for (int i = 0; i < locCount; i++)
            locMany += "LOCTEXT \xe9" + std::to_string(i) + " x\r\n";
        VelkNameSpace locManySpace;
        ASSERT_TRUE(Compile(locManySpace, "keys.velk", locMany));
        TezDebugCollector::ourLines.clear();
        EXPECT_FALSE(VelkToTez::Convert(locManySpace, PathOf("keys.velk").c_str()));
        int locTold = 0;
        for (const std::string& locLine : TezDebugCollector::ourLines)
            locTold += locLine.rfind("ERROR: VelkToTez: the LOCTEXT text '\xe9", 0) == 0;
        EXPECT_EQ(locTold, 20);
        EXPECT_EQ(Printed("more LOCTEXT texts cannot be converted"), locCount > 20);
        if (locCount > 20)
            EXPECT_TRUE(Printed("ERROR: VelkToTez: 3 more LOCTEXT texts cannot be converted")) << AllPrinted();
    }
}
