// The memory of compiled namespaces: names and values in the namespace's arena,
// values left in the text read. Edits after the compile must give what the
// same edits give on objects of the heap, objects must outlive the namespace
// they came from, and nothing may stay behind when the last user is gone.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include <dlfcn.h>

#include "qcommon/qc_cellpool.h"
#include "velk/tests/velk_test_util.h"
#include "velk/velk_arena.h"
#include "velk/velk_compiler.h"
#include "velk/velk_local.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const DEPOT_FRUIT =
    "TYPE Size\r\n{\r\nSmall\r\nLarge\r\n}\r\n"
    "CLASS Spot\r\n{\r\nDECIMAL x 0.5\r\nDECIMAL y\r\n}\r\n"
    "CLASS Crate\r\n{\r\nTEXT title\r\nSize size Large\r\nNUMBER count 3\r\nFILE art\r\nLOCTEXT label\r\n"
    "Spot spot\r\nCrate* next\r\n}\r\n"
    "SCRIPTCLASS Steps\r\n{\r\nTEXT\r\nSpot\r\nCrate*\r\n}\r\n";

const char* const DEPOT_VELK =
    "Crate box\r\n{\r\n\ttitle \"wooden box\"\r\n\tsize Small\r\n\tart art\\box.tga // its picture\r\n"
    "\tlabel \"Box\"\r\n\tspot\r\n\t{\r\n\t\ty 2\r\n\t}\r\n}\r\n"
    "Crate bin\r\n{\r\n\tcount 12\r\n\tnext box\r\n}\r\n"
    "Steps route\r\n{\r\n\tTEXT TEXT(1) go\r\n\tSpot Spot(2)\r\n\t{\r\n\t\tx 7\r\n\t}\r\n\tCrate* Crate*(3) bin\r\n}\r\n"
    "NUMBER lone 42\r\n";

class VelkArenaTest : public VelkTest
{
protected:
    void SetUp() override
    {
        VelkTest::SetUp();
        myArenas = VelkArena::GetNumAlive();
        myCells = QC_CellPool::GetNumCells();
        myTypes = std::make_unique<VelkTypeManager>();
        myFruit = WriteDisk("depot.fruit", DEPOT_FRUIT);
        myVelk = WriteDisk("depot.velk", "INCLUDE " + myFruit + "\r\n" + DEPOT_VELK);
    }

    void TearDown() override
    {
        myTypes.reset();
        // Every arena goes with the last object that used it, and every
        // object's cell with the object (the leak checker sees neither).
        EXPECT_EQ(VelkArena::GetNumAlive(), myArenas);
        EXPECT_EQ(QC_CellPool::GetNumCells(), myCells);
        VelkTest::TearDown();
    }

    std::unique_ptr<VelkNameSpace> Compiled()
    {
        auto locSpace = std::make_unique<VelkNameSpace>();
        EXPECT_TRUE(VelkCompiler::Compile(*locSpace, myVelk.c_str(), myTypes.get(), nullptr)) << myLog.AllErrors();
        return locSpace;
    }

    static std::string Text(VelkNameSpace& aSpace)
    {
        VelkOutput locOutput;
        EXPECT_TRUE(aSpace.WriteTo(locOutput, "memory"));
        return locOutput.GetText();
    }

    // The editor's kinds of edit, the same on any namespace.
    void Edit(VelkNameSpace& aSpace)
    {
        auto locGet = [&](const char* aPath) { return aSpace.GetInstance(aPath, false); };
        ASSERT_NE(locGet("box.title"), nullptr);
        // Values: text, enumerated, number, file, reference, reset.
        ASSERT_TRUE(locGet("box.title")->AssignValue("big box"));
        ASSERT_TRUE(locGet("box.title")->AssignValue("bigger box"));
        ASSERT_TRUE(locGet("bin.size")->AssignValue("Small"));
        EXPECT_FALSE(locGet("bin.size")->AssignValue("Huge"));
        ASSERT_TRUE(locGet("bin.count")->AssignInt(13));
        ASSERT_TRUE(locGet("bin.art")->AssignValue("dir\\bin.tga"));
        ASSERT_TRUE(locGet("route.Crate*(3)")->AssignValue("box"));
        locGet("box.spot.x")->ResetValue();
        ASSERT_TRUE(locGet("lone")->AssignFloat(1.5f));
        // Renames of a root, a class member and a script member.
        locGet("bin")->SetName("tub");
        locGet("route.TEXT(1)")->SetName("TEXT(10)");
        locGet("box.spot")->SetName("place");
        locGet("box.place")->SetName("spot");
        // Pastes: an instance and a member of another instance.
        ASSERT_TRUE(aSpace.AddInstance(locGet("box")->CloneAs("box2")));
        ASSERT_TRUE(locGet("box2.label")->AssignValue("Second"));
        VelkType* locTub = locGet("tub");
        ASSERT_TRUE(locTub->DeleteMemberNamed("spot"));
        ASSERT_TRUE(locTub->AddMember(locGet("box.spot")->Clone()));
        // A new instance from its type, a new script member, deletions.
        ASSERT_TRUE(aSpace.AddInstance(myTypes->GetType("Crate")->CloneAs("fresh")));
        ASSERT_TRUE(locGet("fresh.next")->AssignValue("box2"));
        VelkType* locStep = locGet("route")->AddContent(*myTypes, "TEXT");
        ASSERT_NE(locStep, nullptr);
        ASSERT_TRUE(locStep->AssignValue("stop here"));
        // Script members are numbered across the program: the name is made the same.
        locStep->SetName("TEXT(20)");
        ASSERT_TRUE(aSpace.DeleteInstance(locGet("route.Spot(2)")));
        ASSERT_TRUE(aSpace.DeleteInstance(locGet("lone")));
    }

    int myArenas = 0;
    size_t myCells = 0;
    std::unique_ptr<VelkTypeManager> myTypes;
    std::string myFruit;
    std::string myVelk;
};
}

TEST_F(VelkArenaTest, EditsGiveWhatTheyGiveOnObjectsOfTheHeap)
{
    std::unique_ptr<VelkNameSpace> locCompiled = Compiled();
    // The same instances copied outside any compile live on the heap.
    VelkNameSpace locHeap;
    ASSERT_TRUE(locHeap.Merge(*locCompiled));
    const std::string locBefore = Text(*locCompiled);
    EXPECT_EQ(Text(locHeap), locBefore);
    EXPECT_NE(locBefore.find("\tart art/box.tga\r\n"), std::string::npos) << locBefore;
    EXPECT_NE(locBefore.find("NUMBER lone 42\r\n"), std::string::npos) << locBefore;

    Edit(*locCompiled);
    Edit(locHeap);
    const std::string locAfter = Text(*locCompiled);
    EXPECT_EQ(locAfter, Text(locHeap));
    EXPECT_NE(locAfter.find("Crate tub\r\n{\r\n\ttitle <empty>\r\n\tsize Small\r\n\tcount 13\r\n\tart dir/bin.tga\r\n"),
              std::string::npos)
        << locAfter;
    EXPECT_NE(locAfter.find("\tTEXT TEXT(10) go\r\n"), std::string::npos) << locAfter;
    EXPECT_NE(locAfter.find("\tCrate* Crate*(3) box\r\n"), std::string::npos) << locAfter;
    EXPECT_EQ(locAfter.find("NUMBER lone"), std::string::npos);

    // Written and compiled again, the edited namespace gives the same text.
    ASSERT_TRUE(locCompiled->Write(PathOf("edited.velk").c_str()));
    EXPECT_EQ(ReadDisk("edited.velk"), locAfter);
    VelkNameSpace locAgain;
    ASSERT_TRUE(VelkCompiler::Compile(locAgain, PathOf("edited.velk").c_str(), myTypes.get(), nullptr)) << myLog.AllErrors();
    EXPECT_STREQ(locAgain.GetInstance("tub.spot.y", false)->GetValue().GetBuffer(), "2");
    EXPECT_STREQ(locAgain.GetInstance("route.TEXT(20)", false)->GetValue().GetBuffer(), "stop here");
}

TEST_F(VelkArenaTest, ObjectsOutliveTheNamespaceTheyCameFrom)
{
    std::unique_ptr<VelkNameSpace> locSpace = Compiled();
    VelkType* locBox = locSpace->GetInstance("box", false);
    VelkType* locSpot = locBox->FindMember("spot");
    ASSERT_TRUE(locBox->DetachMember(locSpot));
    VelkType* locTitle = locBox->FindMember("title");
    ASSERT_TRUE(locBox->DetachMember(locTitle));
    // An edit of a detached value still takes its memory from the namespace's arena.
    ASSERT_TRUE(locTitle->AssignValue("kept title"));
    VelkType* locCopy = locSpace->GetInstance("route", false)->Clone();
    locSpace.reset();
    EXPECT_EQ(VelkArena::GetNumAlive(), myArenas + 1);

    EXPECT_STREQ(locSpot->FindMember("y")->GetValue().GetBuffer(), "2");
    EXPECT_STREQ(locTitle->GetValue().GetBuffer(), "kept title");
    EXPECT_STREQ(locCopy->FindMember("TEXT(1)")->GetValue().GetBuffer(), "go");

    // Pasted into a namespace of its own, the detached member is written whole.
    VelkNameSpace locOther;
    VelkType* locCrate = myTypes->GetType("Crate")->CloneAs("crate");
    ASSERT_TRUE(locOther.AddInstance(locCrate));
    ASSERT_TRUE(locCrate->DeleteMemberNamed("spot"));
    ASSERT_TRUE(locCrate->AddMember(locSpot));
    EXPECT_NE(Text(locOther).find("\tspot\r\n\t{\r\n\t\tx 0.5\r\n\t\ty 2\r\n\t}\r\n"), std::string::npos) << Text(locOther);
    delete locTitle;
    delete locCopy;
}

TEST_F(VelkArenaTest, NamespacesWithLiveEditsLeaveNothingBehind)
{
    {
        std::unique_ptr<VelkNameSpace> locSpace = Compiled();
        EXPECT_EQ(VelkArena::GetNumAlive(), myArenas + 1);
        Edit(*locSpace);
        for (int locRound = 0; locRound < 1000; locRound++)
            ASSERT_TRUE(locSpace->GetInstance("box.title", false)->AssignInt(locRound));
        // Compiled again into the same namespace after a clear: a fresh arena.
        locSpace->Clear();
        EXPECT_EQ(VelkArena::GetNumAlive(), myArenas);
        ASSERT_TRUE(VelkCompiler::Compile(*locSpace, myVelk.c_str(), myTypes.get(), nullptr)) << myLog.AllErrors();
        Edit(*locSpace);
    }
    EXPECT_EQ(VelkArena::GetNumAlive(), myArenas);
    // A failed compile leaves what it made to the namespace, which frees it.
    {
        VelkNameSpace locBroken;
        const std::string locText = "INCLUDE " + myFruit + "\r\nCrate a\r\n{\r\n\ttitle one\r\n\tsize \"Huge\"\r\n}\r\n";
        EXPECT_FALSE(VelkCompiler::CompileText(locBroken, "broken.velk", locText.data(), locText.size(), myTypes.get(), nullptr));
        // The refused value is reported as the line held it.
        EXPECT_TRUE(myLog.HasError("Invalid value '\"Huge\"' for instance 'size' of type 'Size'")) << myLog.AllErrors();
    }
    EXPECT_EQ(VelkArena::GetNumAlive(), myArenas);
}

TEST(ParseToolLines, InPlaceReadsGiveTheLinesOfCopyingReads)
{
    // Texts of the characters the line rules look at, long lines among them.
    const char locAlphabet[] = {'a', 'b', ' ', '\t', '\r', '\n', '/', '"', '{'};
    std::mt19937 locRandom(16);
    for (int locRound = 0; locRound < 3000; locRound++)
    {
        std::string locText;
        const int locLength = locRound % 100 == 0 ? 9000 : (int)(locRandom() % 200);
        for (int locIndex = 0; locIndex < locLength; locIndex++)
            locText += locRound % 100 == 0 && locRandom() % 50 != 0 ? 'a' : locAlphabet[locRandom() % sizeof(locAlphabet)];
        ParseTool locCopying;
        ParseTool locInPlace;
        locCopying.OpenText("copy", locText.data(), locText.size());
        locInPlace.OpenText("place", locText.data(), locText.size());
        QC_String locLine;
        const char* locPlaced = nullptr;
        int locPlacedLength = 0;
        for (;;)
        {
            const bool locRead = locCopying.ReadLine(locLine);
            ASSERT_EQ(locInPlace.ReadLineInPlace(locPlaced, locPlacedLength), locRead) << locRound;
            if (!locRead)
                break;
            ASSERT_EQ(std::string(locPlaced), std::string(locLine.GetBuffer())) << locRound;
            ASSERT_EQ(locPlacedLength, locLine.GetLength()) << locRound;
            ASSERT_EQ(locInPlace.GetLineCounter(), locCopying.GetLineCounter()) << locRound;
            ASSERT_EQ(locInPlace.WasLineCut(), locCopying.WasLineCut()) << locRound;
            // A peek after an in-place read sees the next line unchanged.
            QC_String locPeekCopying, locPeekInPlace;
            ASSERT_EQ(locInPlace.PeekLine(locPeekInPlace), locCopying.PeekLine(locPeekCopying));
            ASSERT_EQ(locPeekInPlace, locPeekCopying) << locRound;
        }
    }
}

TEST(VelkNameIndexKeys, EmptyAndRepeatedNamesAreFound)
{
    VelkNameIndex locIndex;
    VelkType* locFirst = reinterpret_cast<VelkType*>(&locIndex);
    VelkType* locFound = nullptr;
    EXPECT_EQ(locIndex.Lookup("", locFound), VelkNameIndex::LOOKUP_ABSENT);
    locIndex.Add("", locFirst);
    EXPECT_EQ(locIndex.Lookup("", locFound), VelkNameIndex::LOOKUP_UNIQUE);
    EXPECT_EQ(locFound, locFirst);
    // Past many keys (several key blocks, the table grown) every name is still found.
    std::vector<std::string> locNames;
    for (int locIndexNumber = 0; locIndexNumber < 5000; locIndexNumber++)
        locNames.push_back("name" + std::to_string(locIndexNumber) + std::string(locIndexNumber % 40, 'x'));
    for (const std::string& locName : locNames)
        locIndex.Add(locName, locFirst);
    locIndex.Add(locNames[7], locFirst);
    for (const std::string& locName : locNames)
        EXPECT_NE(locIndex.Lookup(locName, locFound), VelkNameIndex::LOOKUP_ABSENT) << locName;
    EXPECT_EQ(locIndex.Lookup(locNames[7], locFound), VelkNameIndex::LOOKUP_SCAN);
    locIndex.Remove(locNames[7], locFirst);
    locIndex.Remove(locNames[8], locFirst);
    EXPECT_EQ(locIndex.Lookup(locNames[8], locFound), VelkNameIndex::LOOKUP_ABSENT);
    EXPECT_EQ(locIndex.GetTotal(), 5000);
    // A key longer than a block of keys, and keys stored after it.
    const std::string locLong(40000, 'k');
    locIndex.Add(locLong, locFirst);
    locIndex.Add("after", locFirst);
    EXPECT_EQ(locIndex.Lookup(locLong, locFound), VelkNameIndex::LOOKUP_UNIQUE);
    EXPECT_EQ(locIndex.Lookup("after", locFound), VelkNameIndex::LOOKUP_UNIQUE);
    EXPECT_EQ(locIndex.Lookup(locLong.substr(1), locFound), VelkNameIndex::LOOKUP_ABSENT);
    EXPECT_NE(locIndex.Lookup(locNames[4999], locFound), VelkNameIndex::LOOKUP_ABSENT);
}

// Root names stay in the text read when no value follows close behind; the
// values beside them keep theirs, and both survive edits and a second write.
TEST_F(VelkArenaTest, NamesLeftInTheTextKeepTheValuesBesideThem)
{
    myVelk = WriteDisk("names.velk", "INCLUDE " + myFruit +
                                         "\r\nNUMBER a 1\r\nTEXT bc x\r\nNUMBER d 7\r\nCrate c\r\n{\r\n}\r\n"
                                         "TEXT e \"q v\"\r\nCrate f\r\n{\r\n\tcount 5\r\n}\r\n");
    auto locSpace = Compiled();
    const std::pair<const char*, const char*> locExpected[] = {{"a", "1"}, {"bc", "x"}, {"d", "7"}, {"e", "q v"}};
    for (const auto& locPair : locExpected)
    {
        VelkType* locRoot = locSpace->GetInstance(locPair.first, false);
        ASSERT_NE(locRoot, nullptr) << locPair.first;
        EXPECT_STREQ(locRoot->GetName().GetBuffer(), locPair.first);
        EXPECT_EQ(locRoot->GetName().GetLength(), static_cast<int>(strlen(locPair.first)));
        EXPECT_STREQ(locRoot->GetValue().GetBuffer(), locPair.second);
    }
    ASSERT_NE(locSpace->GetInstance("c", false), nullptr);
    EXPECT_EQ(locSpace->GetInstance("f.count", false)->GetValueAsInt(), 5);
    const std::string locFirst = Text(*locSpace);
    locSpace->GetInstance("c", false)->SetName("cc");
    locSpace->GetInstance("cc", false)->SetName("c");
    ASSERT_TRUE(locSpace->DeleteInstance(locSpace->GetInstance("a", false)));
    ASSERT_TRUE(locSpace->AddInstance(locSpace->GetInstance("bc", false)->CloneAs("a")));
    EXPECT_NE(Text(*locSpace), locFirst);
    EXPECT_STREQ(locSpace->GetInstance("f", false)->GetName().GetBuffer(), "f");
    EXPECT_STREQ(locSpace->GetInstance("a", false)->GetValue().GetBuffer(), "x");
}

TEST_F(VelkArenaTest, CopiesMadeInTheSameArenaShareTheirTexts)
{
    std::unique_ptr<VelkNameSpace> locSpace = Compiled();
    VelkType* locCopy = nullptr;
    {
        // As a compile that copies an instance of its own namespace.
        VelkArenaLocal::Scope locScope(locSpace->GetArena());
        locCopy = locSpace->GetInstance("box", false)->CloneAs("box3");
    }
    ASSERT_NE(locCopy, nullptr);
    EXPECT_STREQ(locCopy->FindMember("title")->GetValue().GetBuffer(), "wooden box");
    EXPECT_STREQ(locCopy->FindMember("art")->GetValue().GetBuffer(), "art/box.tga");
    EXPECT_STREQ(locCopy->FindMember("spot.y")->GetValue().GetBuffer(), "2");
    ASSERT_TRUE(locCopy->FindMember("title")->AssignValue("copied box"));
    EXPECT_STREQ(locSpace->GetInstance("box.title", false)->GetValue().GetBuffer(), "wooden box");
    // The copy keeps the arena, and so its texts, after the namespace is gone.
    locSpace.reset();
    EXPECT_STREQ(locCopy->FindMember("label")->GetValue().GetBuffer(), "Box");
    EXPECT_STREQ(locCopy->FindMember("title")->GetValue().GetBuffer(), "copied box");
    delete locCopy;
}

TEST(VelkArenaTexts, InternedTextsFollowTheirContentNotTheirPlace)
{
    VelkArenaLocal* locArena = VelkArenaLocal::Of(VelkArena::Create());
    ASSERT_NE(locArena, nullptr);
    char locSource[] = "abc";
    char* locFirst = locArena->InternText(locSource, 3);
    EXPECT_STREQ(locFirst, "abc");
    EXPECT_EQ(locArena->InternText(locSource, 3), locFirst);
    // The same place holding another text, or fewer of its characters.
    locSource[2] = 'd';
    char* locChanged = locArena->InternText(locSource, 3);
    EXPECT_STREQ(locChanged, "abd");
    EXPECT_STREQ(locFirst, "abc");
    EXPECT_STREQ(locArena->InternText(locSource, 2), "ab");
    // The length word before each text, as a string keeps it.
    QC_String locView;
    locView.Borrow(locChanged);
    EXPECT_EQ(locView.GetLength(), 3);
    locView.Unborrow();
    locArena->Release();
}

TEST_F(VelkArenaTest, QuotedValuesLoseOneQuoteAtEachEnd)
{
    const std::string locText = "INCLUDE " + myFruit +
                                "\r\nCrate q\r\n{\r\n\ttitle \"\"\r\n\tlabel \"\"\"\r\n\tart \"x\r\n}\r\nTEXT lone \"\r\n";
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::CompileText(locSpace, "quotes.velk", locText.data(), locText.size(), myTypes.get(), nullptr))
        << myLog.AllErrors();
    EXPECT_STREQ(locSpace.GetInstance("q.title", false)->GetValue().GetBuffer(), "<empty>");
    EXPECT_STREQ(locSpace.GetInstance("q.label", false)->GetValue().GetBuffer(), "\"");
    EXPECT_STREQ(locSpace.GetInstance("q.art", false)->GetValue().GetBuffer(), "x");
    EXPECT_STREQ(locSpace.GetInstance("lone", false)->GetValue().GetBuffer(), "<empty>");
}

namespace
{
// Hands out every class's member list, which the class then keeps instead of its array.
void HandOutLists(VelkType* anObject)
{
    if (anObject->GetNumMembers() == 0)
        return;
    QC_List<VelkType*>& locList = anObject->GetMembers();
    for (QC_ListLink<VelkType*>* locLink = locList.myFirstLink; locLink; locLink = locLink->myNext)
        HandOutLists(locLink->myItem);
}
}

TEST_F(VelkArenaTest, EditsGiveTheSameTextWhetherOrNotMemberListsWereHandedOut)
{
    std::unique_ptr<VelkNameSpace> locArrays = Compiled();
    std::unique_ptr<VelkNameSpace> locLists = Compiled();
    QC_List<VelkType*> locRoots;
    locLists->GetInstances(locRoots, true);
    for (QC_ListLink<VelkType*>* locLink = locRoots.myFirstLink; locLink; locLink = locLink->myNext)
        HandOutLists(locLink->myItem);
    EXPECT_EQ(Text(*locLists), Text(*locArrays));

    for (VelkNameSpace* locSpace : {locArrays.get(), locLists.get()})
    {
        Edit(*locSpace);
        VelkType* locBox = locSpace->GetInstance("box", false);
        QC_List<QC_String> locOrder;
        for (const char* locName : {"next", "spot", "label", "art", "count", "size", "title"})
            locOrder.Add(QC_String(locName));
        ASSERT_TRUE(locBox->SetMemberOrder(locOrder));
        // An order naming a member twice changes nothing.
        locOrder.RemoveAll();
        for (const char* locName : {"title", "title", "label", "art", "count", "size", "spot"})
            locOrder.Add(QC_String(locName));
        EXPECT_FALSE(locBox->SetMemberOrder(locOrder));
        EXPECT_EQ(locBox->GetMemberAt(0)->GetName(), "next");
        EXPECT_EQ(locBox->GetMemberAt(6)->GetName(), "title");
        EXPECT_EQ(locBox->GetMemberAt(7), nullptr);
        // Many script members, then every other one deleted.
        VelkType* locRoute = locSpace->GetInstance("route", false);
        std::vector<VelkType*> locAdded;
        for (int locIndex = 0; locIndex < 40; locIndex++)
        {
            locAdded.push_back(locRoute->AddContent(*myTypes, "TEXT"));
            ASSERT_NE(locAdded.back(), nullptr);
            locAdded.back()->SetName(("TEXT(" + std::to_string(100 + locIndex) + ")").c_str());
            ASSERT_TRUE(locAdded.back()->AssignInt(locIndex));
        }
        for (size_t locIndex = 0; locIndex < locAdded.size(); locIndex += 2)
            ASSERT_TRUE(locRoute->DeleteMember(locAdded[locIndex]));
        EXPECT_EQ(locRoute->FindMember("TEXT(101)"), locAdded[1]);
        EXPECT_EQ(locRoute->FindMember("TEXT(100)"), nullptr);
        EXPECT_TRUE(locRoute->HasMember(locAdded[39]));
    }
    const std::string locText = Text(*locArrays);
    EXPECT_EQ(Text(*locLists), locText);
    EXPECT_NE(locText.find("Crate box\r\n{\r\n\tnext NULL\r\n\tspot\r\n"), std::string::npos) << locText;
    EXPECT_NE(locText.find("\tTEXT TEXT(137) 37\r\n\r\n\tTEXT TEXT(139) 39\r\n"), std::string::npos) << locText;
}

// A scalar's is-file flag and a class's rule of distinct member names are kept
// beside the object's owner: they must survive every change of owner.
TEST_F(VelkArenaTest, ObjectsKeepTheirKindThroughChangesOfOwner)
{
    std::unique_ptr<VelkNameSpace> locSpace = Compiled();
    VelkType* locBox = locSpace->GetInstance("box", false);
    VelkType* locArt = locBox->FindMember("art");
    ASSERT_TRUE(locBox->DetachMember(locArt));
    EXPECT_EQ(locArt->GetParent(), nullptr);
    ASSERT_TRUE(locArt->AssignValue("a\\b.tga"));
    EXPECT_STREQ(locArt->GetValue().GetBuffer(), "a/b.tga");
    // A root of another namespace, then a member again.
    VelkNameSpace locOther;
    ASSERT_TRUE(locOther.AddInstance(locArt));
    EXPECT_EQ(locArt->GetRootNameSpace(), &locOther);
    EXPECT_EQ(locArt->GetParent(), nullptr);
    ASSERT_TRUE(locArt->AssignValue("c\\d.tga"));
    EXPECT_STREQ(locArt->GetValue().GetBuffer(), "c/d.tga");
    locArt->SetName("picture");
    EXPECT_EQ(locOther.GetInstance("picture", false), locArt);
    VelkType* locCopy = locArt->Clone();
    ASSERT_TRUE(locCopy->AssignValue("e\\f.tga"));
    EXPECT_STREQ(locCopy->GetValue().GetBuffer(), "e/f.tga");
    delete locCopy;
    ASSERT_TRUE(locBox->AddMember(locBox->FindMember("title")->CloneAs("art2")));
    EXPECT_EQ(locBox->FindMember("art2")->GetParent(), locBox);

    // A class detached and made a root still refuses a second member of one name.
    VelkType* locSpot = locBox->FindMember("spot");
    ASSERT_TRUE(locBox->DetachMember(locSpot));
    ASSERT_TRUE(locOther.AddInstance(locSpot));
    VelkType* locSecondX = locSpot->FindMember("x")->Clone();
    EXPECT_FALSE(locSpot->AddMember(locSecondX));
    delete locSecondX;
    EXPECT_TRUE(myLog.HasError("Already had a member named 'x'")) << myLog.AllErrors();
    EXPECT_EQ(locSpot->GetRootNameSpace(), &locOther);
    EXPECT_EQ(locSpot->FindMember("x")->GetParent(), locSpot);
    // A script class keeps allowing repeated names wherever it goes.
    VelkType* locRoute = locSpace->GetInstance("route", false);
    VelkType* locStep = locRoute->FindMember("TEXT(1)")->Clone();
    ASSERT_TRUE(locRoute->AddMember(locStep));
    EXPECT_EQ(locRoute->GetNumMembers(), 4);
}

// A script class emptied and filled again from another, with its members in an
// array and handed out as a list.
TEST_F(VelkArenaTest, ScriptClassesEmptiedAndRefilledHoldWhatTheyWereGiven)
{
    std::unique_ptr<VelkNameSpace> locSpace = Compiled();
    VelkType* locRoute = locSpace->GetInstance("route", false);
    for (bool locHandOut : {false, true})
    {
        VelkType* locCopy = locRoute->CloneAs("copy");
        if (locHandOut)
            HandOutLists(locCopy);
        locCopy->DeleteMembers();
        EXPECT_EQ(locCopy->GetNumMembers(), 0);
        EXPECT_EQ(locCopy->GetMemberAt(0), nullptr);
        ASSERT_TRUE(locCopy->AssignFrom(locRoute));
        ASSERT_EQ(locCopy->GetNumMembers(), 3);
        EXPECT_STREQ(locCopy->GetMemberAt(2)->GetValue().GetBuffer(), "bin");
        EXPECT_TRUE(locCopy->IsEqual(locRoute));
        delete locCopy;
    }
}

// An object keeps the number of its value's arena beside its name: the
// arena must follow through clones and owner changes, and a later arena that
// takes a number given back must not be mistaken for the earlier one.
TEST_F(VelkArenaTest, ValuesKeepTheirArenaWhenArenaNumbersComeBack)
{
    std::unique_ptr<VelkNameSpace> locSpace = Compiled();
    VelkType* locBox = locSpace->GetInstance("box", false);
    VelkType* locTitle = locBox->FindMember("title");
    ASSERT_TRUE(locBox->DetachMember(locTitle));
    VelkType* locNext = locSpace->GetInstance("bin.next", false)->Clone();
    locSpace.reset();
    // More arenas than there are numbers, one after another.
    for (int locRound = 0; locRound < 70000; locRound++)
    {
        VelkArena* locArena = VelkArena::Create();
        ASSERT_NE(locArena, nullptr);
        EXPECT_NE(VelkArenaLocal::Of(locArena)->GetNumber(), 0);
        EXPECT_EQ(VelkArenaLocal::FromNumber(VelkArenaLocal::Of(locArena)->GetNumber()), locArena);
        locArena->Release();
    }
    EXPECT_EQ(VelkArena::GetNumAlive(), myArenas + 1);
    EXPECT_STREQ(locTitle->GetValue().GetBuffer(), "wooden box");
    EXPECT_STREQ(locNext->GetValue().GetBuffer(), "box");
    VelkNameSpace locOther;
    ASSERT_TRUE(locOther.AddInstance(locTitle));
    EXPECT_EQ(locTitle->GetRootNameSpace(), &locOther);
    ASSERT_TRUE(locTitle->AssignValue("another box"));
    EXPECT_STREQ(locTitle->GetValue().GetBuffer(), "another box");
    locTitle->SetName("lid");
    EXPECT_EQ(locOther.GetInstance("lid", false), locTitle);
    EXPECT_STREQ(Text(locOther).c_str(), "\r\nTEXT lid \"another box\"\r\n\r\n");
    EXPECT_TRUE(locOther.DeleteInstance(locTitle));
    delete locNext;
}

// A large text is given back to the system as the compile passes it: nothing
// made from it may still point into it, the first roots least of all.
TEST_F(VelkArenaTest, ALargeTextGivenBackLeavesEveryNameAndValueWhole)
{
    std::string locBody;
    const int locCount = 20000;
    for (int locIndex = 0; locIndex < locCount; locIndex++)
    {
        const std::string locNumber = std::to_string(locIndex);
        locBody += "Crate box" + locNumber + "\r\n{\r\n\ttitle \"wooden box " + locNumber + "\"\r\n\tcount " + locNumber +
                   "\r\n\tart art\\" + locNumber + ".tga\r\n\tspot\r\n\t{\r\n\t\ty -" + locNumber + "\r\n\t}\r\n";
        if (locIndex > 0)
            locBody += "\tnext box" + std::to_string(locIndex - 1) + "\r\n";
        locBody += "}\r\n";
    }
    ASSERT_GT(locBody.size(), 2u * 1024 * 1024);
    const std::string locPath = WriteDisk("large.velk", "INCLUDE " + myFruit + "\r\n" + locBody);
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), myTypes.get(), nullptr)) << myLog.AllErrors();
    for (int locIndex : {0, 1, 777, locCount / 2, locCount - 1})
    {
        const std::string locBox = "box" + std::to_string(locIndex);
        const std::string locNumber = std::to_string(locIndex);
        VelkType* locRoot = locSpace.GetInstance(locBox.c_str(), false);
        ASSERT_NE(locRoot, nullptr) << locBox;
        EXPECT_EQ(locRoot->GetName(), locBox.c_str());
        EXPECT_EQ(locRoot->FindMember("title")->GetValue(), ("wooden box " + locNumber).c_str());
        EXPECT_EQ(locRoot->FindMember("count")->GetValue(), locNumber.c_str());
        EXPECT_EQ(locRoot->FindMember("art")->GetValue(), ("art/" + locNumber + ".tga").c_str());
        EXPECT_EQ(locRoot->FindMember("spot.y")->GetValue(), ("-" + locNumber).c_str());
    }
    EXPECT_EQ(locSpace.GetInstance("box12345.next", false)->GetValue(), "box12344");
    // Written, compiled again and written again: the same text.
    const std::string locText = Text(locSpace);
    EXPECT_NE(locText.find("Crate box0\r\n{\r\n\ttitle \"wooden box 0\"\r\n"), std::string::npos);
    VelkNameSpace locAgain;
    ASSERT_TRUE(VelkCompiler::CompileText(locAgain, "again.velk", locText.data(), locText.size(), myTypes.get(), nullptr))
        << myLog.AllErrors();
    EXPECT_EQ(Text(locAgain), locText);
}

// A text passed goes back to the system page by page: what lies after the
// place passed stays as read, and the buffer frees whole and takes a new text.
TEST(VelkTextBufferTest, TextAfterThePlacePassedStays)
{
    VelkTextBuffer locText;
    const size_t locSize = size_t(3) * 1024 * 1024 + 4096 + 3;
    for (int locRound = 0; locRound < 2; locRound++)
    {
        ASSERT_TRUE(locText.Allocate(locSize));
        ASSERT_EQ(locText.size(), locSize);
        for (size_t locAt = 0; locAt < locSize; locAt++)
            locText[locAt] = static_cast<char>('a' + locAt % 26);
        for (size_t locPassed : {size_t(100), size_t(300 * 1024), size_t(200 * 1024), locSize / 2 + 1, locSize - 1})
        {
            locText.Passed(locPassed);
            bool locKept = true;
            for (size_t locAt = std::max(locPassed, size_t(300 * 1024)); locAt < locSize; locAt += 4093)
                locKept = locKept && locText[locAt] == static_cast<char>('a' + locAt % 26);
            EXPECT_TRUE(locKept) << locPassed;
            EXPECT_EQ(locText[locSize - 1], static_cast<char>('a' + (locSize - 1) % 26));
        }
        locText.Free();
        EXPECT_TRUE(locText.empty());
    }
}

// Pieces of every size and alignment, over blocks small and large and the steps
// they are faulted in by, lie within the arena's blocks, apart, and keep what
// was written to them.
TEST(VelkArenaTexts, PiecesLieWithinTheBlocksAndApart)
{
    for (const bool locLarge : {false, true})
    {
        VelkArenaLocal* locArena = VelkArenaLocal::Of(VelkArena::Create());
        ASSERT_NE(locArena, nullptr);
        if (locLarge)
            locArena->ExpectLarge();
        struct Piece
        {
            char* myStart;
            size_t mySize;
            char myFill;
        };
        std::vector<Piece> locPieces;
        std::string locText(65534, 't');
        size_t locTotal = 0;
        for (int i = 0; locTotal < (size_t(5) << 20); i++)
        {
            Piece locPiece;
            locPiece.myFill = static_cast<char>('a' + i % 26);
            if (i % 5 == 0)
            {
                const size_t locAlign = size_t(1) << (i / 5 % 5);
                locPiece.mySize = size_t(i * 13 % 3000) + 1;
                locPiece.myStart = static_cast<char*>(locArena->Allocate(locPiece.mySize, locAlign));
                ASSERT_NE(locPiece.myStart, nullptr);
                EXPECT_EQ(reinterpret_cast<uintptr_t>(locPiece.myStart) % locAlign, 0u);
                memset(locPiece.myStart, locPiece.myFill, locPiece.mySize);
            }
            else
            {
                // Now and then a text near the longest, most of a step or more.
                const size_t locLength = i % 97 == 0 ? locText.size() - size_t(i % 7) : size_t(i * 37 % 700);
                char* locCopy = locArena->CopyText(locText.data(), locLength);
                ASSERT_NE(locCopy, nullptr);
                EXPECT_EQ(strlen(locCopy), locLength);
                memset(locCopy, locPiece.myFill, locLength);
                // With its length word before and its NUL after.
                locPiece.myStart = locCopy - 2;
                locPiece.mySize = locLength + 3;
            }
            ASSERT_TRUE(locArena->Holds(locPiece.myStart, locPiece.mySize)) << i;
            locTotal += locPiece.mySize;
            locPieces.push_back(locPiece);
        }
        std::vector<Piece> locByPlace = locPieces;
        std::sort(locByPlace.begin(), locByPlace.end(),
                  [](const Piece& a, const Piece& b) { return a.myStart < b.myStart; });
        for (size_t i = 1; i < locByPlace.size(); i++)
            ASSERT_LE(locByPlace[i - 1].myStart + locByPlace[i - 1].mySize, locByPlace[i].myStart) << i;
        for (const Piece& locPiece : locPieces)
        {
            const bool locText = locPiece.mySize >= 3 && locPiece.myStart[locPiece.mySize - 1] == 0;
            const size_t locFrom = locText ? 2 : 0, locTo = locPiece.mySize - (locText ? 1 : 0);
            ASSERT_EQ(std::string(locPiece.myStart + locFrom, locTo - locFrom),
                      std::string(locTo - locFrom, locPiece.myFill));
        }
        EXPECT_FALSE(locArena->Holds(locText.data(), 1));
        locArena->Release();
    }
}

// A text given back is the room of the next one; texts of even and odd
// lengths keep their NULs; a first piece a little smaller than a block gets
// the room it asked for.
TEST(VelkArenaTexts, TextsGivenBackAndPiecesNearABlockKeepTheirRoom)
{
    VelkArenaLocal* locArena = VelkArenaLocal::Of(VelkArena::Create());
    ASSERT_NE(locArena, nullptr);
    char* locFirst = locArena->CopyText("abcdef", 6);
    char* locSecond = locArena->CopyText("ghij", 4);
    char* locThird = locArena->CopyText("klm", 3);
    EXPECT_STREQ(locFirst, "abcdef");
    EXPECT_STREQ(locSecond, "ghij");
    EXPECT_STREQ(locThird, "klm");
    locArena->GiveBack(locSecond, 4); // not the last: stays
    locArena->GiveBack(locThird, 3);
    EXPECT_EQ(locArena->CopyText("nop", 3), locThird);
    EXPECT_STREQ(locSecond, "ghij");
    locArena->Release();

    for (size_t locLess : {size_t(8), size_t(16), size_t(24)})
    {
        VelkArena* locFresh = VelkArena::Create();
        ASSERT_NE(locFresh, nullptr);
        const size_t locSize = 16 * 1024 - locLess;
        char* locPiece = static_cast<char*>(locFresh->Allocate(locSize, 1));
        ASSERT_NE(locPiece, nullptr);
        EXPECT_TRUE(VelkArenaLocal::Of(locFresh)->Holds(locPiece, locSize)) << locLess;
        memset(locPiece, 1, locSize);
        locFresh->Release();
    }
}

// At a block's end, a piece a little larger than the room left goes whole to a
// new block, however the room was faulted in.
TEST(VelkArenaTexts, PiecesLargerThanTheRoomLeftGoToANewBlock)
{
    VelkArenaLocal* locArena = VelkArenaLocal::Of(VelkArena::Create());
    ASSERT_NE(locArena, nullptr);
    for (size_t locRound = 0; locRound < 48; locRound++)
    {
        char* locFirst = static_cast<char*>(locArena->Allocate(1 + locRound % 3, 1));
        ASSERT_NE(locFirst, nullptr);
        // The block's end, from the arena's own answer.
        size_t locIn = 1, locOut = size_t(8) << 20;
        while (locOut - locIn > 1)
        {
            const size_t locMiddle = (locIn + locOut) / 2;
            (locArena->Holds(locFirst, locMiddle) ? locIn : locOut) = locMiddle;
        }
        char* const locEnd = locFirst + locIn;
        // All but a few bytes, in pieces of a few kilobytes, then a piece too large for the rest.
        const size_t locKeep = locRound % 24;
        char* locAt = locFirst + 1 + locRound % 3;
        while (static_cast<size_t>(locEnd - locAt) > locKeep)
        {
            const size_t locPiece = std::min<size_t>(size_t(locEnd - locAt) - locKeep, 1000 + locRound * 97);
            char* locPlace = static_cast<char*>(locArena->Allocate(locPiece, 1));
            ASSERT_EQ(locPlace, locAt) << locRound;
            locAt += locPiece;
        }
        const size_t locTooLarge = locKeep + 1 + locRound % 5;
        char* locNext = static_cast<char*>(locArena->Allocate(locTooLarge, 1));
        ASSERT_NE(locNext, nullptr);
        EXPECT_TRUE(locNext + locTooLarge <= locFirst || locNext >= locEnd) << locRound;
        EXPECT_TRUE(locArena->Holds(locNext, locTooLarge)) << locRound;
        memset(locNext, 1, locTooLarge);
    }
    locArena->Release();
}

// An empty text opens and ends at once; a text of one page is never handed on.
TEST(ParseToolLines, EmptyTextsOpenAndEndAtOnce)
{
    const std::string locPath = ::testing::TempDir() + "velk_empty_text.velk";
    FILE* locFile = fopen(locPath.c_str(), "wb");
    ASSERT_NE(locFile, nullptr);
    fclose(locFile);
    ParseTool locTool;
    ASSERT_TRUE(locTool.Open(locPath.c_str()));
    const char* locLine = nullptr;
    int locLength = 0;
    EXPECT_FALSE(locTool.ReadLineInPlace(locLine, locLength));
    ASSERT_TRUE(locTool.OpenText("empty.velk", "", 0));
    EXPECT_FALSE(locTool.ReadLineInPlace(locLine, locLength));
    remove(locPath.c_str());
}

// Enum values share one copy per value in the arena: the value read after one
// must stay whole, and an edit of one enum must leave the others as they were.
TEST_F(VelkArenaTest, EnumsSharingTheirTextsChangeOneByOne)
{
    const std::string locText = "INCLUDE " + myFruit +
                                "\r\nCrate a\r\n{\r\n\tsize Small\r\n\ttitle after\r\n}\r\n"
                                "Crate b\r\n{\r\n\tsize Small\r\n\tlabel \"then this\"\r\n}\r\nCrate c\r\n{\r\n\tsize Large\r\n}\r\n";
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::CompileText(locSpace, "enums.velk", locText.data(), locText.size(), myTypes.get(), nullptr))
        << myLog.AllErrors();
    VelkType* locSizeA = locSpace.GetInstance("a.size", false);
    VelkType* locSizeB = locSpace.GetInstance("b.size", false);
    EXPECT_EQ(locSizeA->GetValue().GetBuffer(), locSizeB->GetValue().GetBuffer());
    EXPECT_STREQ(locSpace.GetInstance("a.title", false)->GetValue().GetBuffer(), "after");
    EXPECT_STREQ(locSpace.GetInstance("b.label", false)->GetValue().GetBuffer(), "then this");
    ASSERT_TRUE(locSizeA->AssignValue("Large"));
    EXPECT_STREQ(locSizeA->GetValue().GetBuffer(), "Large");
    EXPECT_STREQ(locSizeB->GetValue().GetBuffer(), "Small");
    EXPECT_STREQ(locSpace.GetInstance("c.size", false)->GetValue().GetBuffer(), "Large");
    EXPECT_NE(Text(locSpace).find("Crate b\r\n{\r\n\ttitle <empty>\r\n\tsize Small\r\n"), std::string::npos) << Text(locSpace);
}

// The address sanitizer sees the arenas' own pieces: a read past the last
// piece handed out, a read of a text already passed, and a read after the
// arena is gone (its blocks from the heap, or from the system when large)
// are reported. Only builds with the sanitizer can tell; it is asked at run
// time, the arena's code being the same in every build.
TEST(VelkArenaSanitizerDeathTest, ReadsOutsideThePiecesAreReported)
{
    if (dlsym(RTLD_DEFAULT, "__asan_init") == nullptr)
        GTEST_SKIP() << "no address sanitizer in this build";
    for (const bool locLarge : {false, true})
    {
        VelkArena* locArena = VelkArena::Create();
        ASSERT_NE(locArena, nullptr);
        if (locLarge)
            locArena->ExpectLarge();
        volatile char* locPiece = static_cast<char*>(locArena->Allocate(24));
        ASSERT_NE(locPiece, nullptr);
        locPiece[23] = 1;
        EXPECT_DEATH((void)locPiece[24], "AddressSanitizer");
        char* locText = VelkArenaLocal::Of(locArena)->CopyText("abcdef", 6);
        ASSERT_NE(locText, nullptr);
        EXPECT_DEATH((void)static_cast<volatile char*>(locText)[8], "AddressSanitizer");
        // Given back: a text taken back is room not handed out again.
        VelkArenaLocal::Of(locArena)->GiveBack(locText, 6);
        EXPECT_DEATH((void)static_cast<volatile char*>(locText)[0], "AddressSanitizer");
        locArena->Release();
        EXPECT_DEATH((void)locPiece[0], "AddressSanitizer");
    }
    VelkTextBuffer locText;
    ASSERT_TRUE(locText.Allocate(1000));
    memset(locText.data(), 'x', 1000);
    locText.Passed(500);
    EXPECT_EQ(locText[500], 'x');
    EXPECT_DEATH((void)static_cast<volatile char*>(locText.data())[100], "AddressSanitizer");
}
