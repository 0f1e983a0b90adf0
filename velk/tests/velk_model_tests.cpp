// The type model, namespaces and the log, on types compiled from text.
#include <map>
#include <string>
#include <vector>

#include "qcommon/qc_debug.h"
#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_local.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const MODEL_FRUIT =
    "TYPE Colour\r\n{\r\nRed\r\nGreen\r\n}\r\n"
    "CLASS Point\r\n{\r\nNUMBER x\r\nNUMBER y\r\n}\r\n"
    "CLASS Box\r\n{\r\nPoint min\r\nPoint max\r\nBox* link\r\nPoint* corner\r\nLOCTEXT caption\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nPoint\r\n}\r\n";

class VelkModelTest : public VelkTest
{
protected:
    void SetUp() override
    {
        VelkTest::SetUp();
        myFruit = WriteDisk("model.fruit", MODEL_FRUIT);
        ASSERT_TRUE(myTypes.Compile(myFruit.c_str())) << myLog.AllErrors();
    }

    bool Compile(VelkNameSpace& aNameSpace, const std::string& aBody)
    {
        std::string locText = "INCLUDE " + myFruit + "\r\n" + aBody;
        return VelkCompiler::CompileText(aNameSpace, "model.velk", locText.data(), locText.size(), &myTypes, nullptr);
    }

    std::string myFruit;
    VelkTypeManager myTypes;
};
}

TEST_F(VelkModelTest, ScalarsEnumsAndFilesKeepTheirRules)
{
    VelkType* locText = myTypes.GetType("TEXT")->CloneAs("t");
    EXPECT_TRUE(locText->AssignValue(""));
    EXPECT_STREQ(locText->GetValue().GetBuffer(), "<empty>");
    EXPECT_TRUE(locText->AssignInt(-12));
    EXPECT_EQ(locText->GetValueAsInt(), -12);
    EXPECT_TRUE(locText->AssignFloat(2.5f));
    EXPECT_STREQ(locText->GetValue().GetBuffer(), "2.500000");
    delete locText;

    VelkType* locColour = myTypes.GetType("Colour")->Clone();
    EXPECT_STREQ(locColour->GetValue().GetBuffer(), "Red");
    EXPECT_FALSE(locColour->AssignValue(""));
    EXPECT_TRUE(myLog.HasError("VelkEnum::Assign(): Invalid value ''"));
    EXPECT_TRUE(locColour->AssignValue("Green"));
    VelkType* locCopy = locColour->Clone();
    EXPECT_STREQ(locCopy->GetValue().GetBuffer(), "Green");
    EXPECT_TRUE(locCopy->IsEqual(locColour));
    delete locCopy;
    delete locColour;

    VelkType* locFile = myTypes.GetType("FILE")->Clone();
    locFile->AssignValue("data\\sub\\x.tga");
    EXPECT_STREQ(locFile->GetValue().GetBuffer(), "data/sub/x.tga");
    delete locFile;
}

// Few values are compared one by one and many are hashed: both know exactly their own.
TEST_F(VelkModelTest, EnumValuesAndMemberNamesAreKnownExactlyWhateverTheirNumber)
{
    std::string locMany = "TYPE Many\r\n{\r\n";
    for (int i = 0; i < 12; i++)
        locMany += "v" + std::to_string(i) + "\r\n";
    const std::string locFruit = WriteDisk("values.fruit", "TYPE Few\r\n{\r\nRed\r\nRe\r\nRedd\r\n}\r\n" + locMany +
                                                               "}\r\nCLASS Quad\r\n{\r\nNUMBER aaaa\r\nNUMBER baaa\r\n"
                                                               "NUMBER abaa\r\nNUMBER aaab\r\nPoint p\r\n}\r\n");
    ASSERT_TRUE(myTypes.Compile(locFruit.c_str())) << myLog.AllErrors();
    struct Case
    {
        const char* myType;
        const char* myValue;
        bool myLegal;
    } locCases[] = {
        {"Few", "Red", true},  {"Few", "Re", true},   {"Few", "Redd", true}, {"Few", "R", false},
        {"Few", "Reds", false}, {"Few", "red", false}, {"Few", "", false},    {"Many", "v0", true},
        {"Many", "v11", true}, {"Many", "v7", true},   {"Many", "v12", false}, {"Many", "v", false},
        {"Many", "v1 ", false}, {"Many", "", false},
    };
    for (const Case& locCase : locCases)
    {
        SCOPED_TRACE(std::string(locCase.myType) + " '" + locCase.myValue + "'");
        VelkType* locEnum = myTypes.GetType(locCase.myType)->Clone();
        ASSERT_NE(locEnum, nullptr);
        EXPECT_EQ(locEnum->AssignValue(locCase.myValue), locCase.myLegal);
        EXPECT_EQ(static_cast<VelkEnum*>(locEnum)->IsLegalValue(locCase.myValue), locCase.myLegal);
        delete locEnum;
    }

    // Member names of one length, told apart by their first or their last character.
    VelkType* locQuad = myTypes.GetType("Quad")->CloneAs("q");
    for (const char* locName : {"aaaa", "baaa", "abaa", "aaab"})
    {
        VelkType* locMember = locQuad->FindMember(locName);
        ASSERT_NE(locMember, nullptr) << locName;
        EXPECT_STREQ(locMember->GetName().GetBuffer(), locName);
    }
    for (const char* locName : {"", "aaa", "aaaaa", "caaa", "aaaa.x", ".", "p."})
        EXPECT_EQ(locQuad->FindMember(locName), nullptr) << locName;
    ASSERT_NE(locQuad->FindMember("p.y"), nullptr);
    EXPECT_STREQ(locQuad->FindMember("p.y")->GetName().GetBuffer(), "y");
    delete locQuad;
}

TEST_F(VelkModelTest, ScriptClassMembersGetGrowingNumbers)
{
    VelkType* locScript = myTypes.GetType("Script")->CloneAs("s");
    VelkType* locFirst = locScript->AddContent(myTypes, "TEXT");
    VelkType* locSecond = locScript->AddContent(myTypes, "TEXT");
    ASSERT_NE(locFirst, nullptr);
    ASSERT_NE(locSecond, nullptr);
    int locA = 0, locB = 0;
    ASSERT_EQ(sscanf(locFirst->GetName().GetBuffer(), "TEXT(%d)", &locA), 1);
    ASSERT_EQ(sscanf(locSecond->GetName().GetBuffer(), "TEXT(%d)", &locB), 1);
    EXPECT_GT(locB, locA);
    EXPECT_EQ(locScript->AddContent(myTypes, "NUMBER"), nullptr);
    EXPECT_NE(locScript->AddContent(myTypes, "Point"), nullptr);
    EXPECT_EQ(locScript->GetNumMembers(), 3);
    delete locScript;
}

TEST_F(VelkModelTest, ClassEqualityOrderAndDeletion)
{
    VelkType* locBox = myTypes.GetType("Box")->CloneAs("b");
    VelkType* locLonger = locBox->Clone();
    VelkType* locExtra = myTypes.GetType("NUMBER")->CloneAs("extra");
    ASSERT_TRUE(locLonger->AddMember(locExtra));
    EXPECT_TRUE(locBox->IsEqual(locLonger));
    VelkType* locDuplicate = myTypes.GetType("TEXT")->CloneAs("extra");
    EXPECT_FALSE(locLonger->AddMember(locDuplicate));
    delete locDuplicate;
    EXPECT_TRUE(myLog.HasError("VelkClass::AddMember(): Already had a member named 'extra'"));

    QC_List<QC_String> locOrder;
    for (const char* locName : {"caption", "corner", "link", "max", "min"})
        locOrder.Add(QC_String(locName));
    ASSERT_TRUE(locBox->SetMemberOrder(locOrder));
    EXPECT_STREQ(locBox->GetMemberAt(0)->GetName().GetBuffer(), "caption");
    EXPECT_STREQ(locBox->GetMemberAt(4)->GetName().GetBuffer(), "min");

    QC_List<QC_String> locBad;
    for (const char* locName : {"caption", "corner", "nothing", "max", "min"})
        locBad.Add(QC_String(locName));
    EXPECT_FALSE(locBox->SetMemberOrder(locBad));
    EXPECT_EQ(locBox->GetNumMembers(), 5);
    EXPECT_STREQ(locBox->GetMemberAt(0)->GetName().GetBuffer(), "caption");

    VelkType* locX = locBox->FindMember("max.x");
    ASSERT_NE(locX, nullptr);
    EXPECT_TRUE(locBox->Contains(locX));
    QC_String locPath;
    EXPECT_TRUE(locBox->GetMemberPath("", locX, locPath));
    EXPECT_STREQ(locPath.GetBuffer(), "b.max.x");
    EXPECT_TRUE(locBox->DeleteMember(locX));
    EXPECT_EQ(locBox->FindMember("max.x"), nullptr);
    EXPECT_TRUE(locBox->DeleteMemberNamed("link"));
    EXPECT_EQ(locBox->GetNumMembers(), 4);
    EXPECT_STREQ(locBox->GetMemberValue("nothing").GetBuffer(), "<INVALID DEREFERENCE>");
    EXPECT_TRUE(myLog.HasError("VelkType::GetMemberValue(): Failed to find member for name 'nothing'"));
    delete locLonger;
    delete locBox;
}

TEST_F(VelkModelTest, LargeClassesFindMembersAfterRenames)
{
    // Past the size where a class indexes its members by name.
    VelkType* locScript = myTypes.GetType("Script")->CloneAs("big");
    std::vector<VelkType*> locMembers;
    for (int locIndex = 0; locIndex < 100; locIndex++)
        locMembers.push_back(locScript->AddContent(myTypes, "TEXT"));
    locMembers[10]->SetName("renamed");
    locMembers[20]->SetName("renamed");
    EXPECT_EQ(locScript->FindMember("renamed"), locMembers[10]);
    EXPECT_TRUE(locScript->DetachMember(locMembers[10]));
    EXPECT_EQ(locScript->FindMember("renamed"), locMembers[20]);
    EXPECT_EQ(locScript->FindMember(locMembers[10]->GetName().GetBuffer()), locMembers[20]);
    delete locMembers[10];
    EXPECT_EQ(locScript->FindMember(locMembers[50]->GetName().GetBuffer()), locMembers[50]);
    locScript->GetMembers().RemoveAll();
    EXPECT_EQ(locScript->FindMember(locMembers[50]->GetName().GetBuffer()), nullptr);
    for (VelkType* locMember : locMembers)
        if (locMember != locMembers[10])
            delete locMember;
    delete locScript;
}

TEST_F(VelkModelTest, MemberListEditsKeepingTheCountKeepLookupsTrue)
{
    VelkType* locScript = myTypes.GetType("Script")->CloneAs("big");
    for (int locIndex = 0; locIndex < 40; locIndex++)
        locScript->AddContent(myTypes, "TEXT");
    VelkType* locOld = locScript->GetMemberAt(5);
    const std::string locOldName = locOld->GetName().GetBuffer();
    ASSERT_EQ(locScript->FindMember(locOldName.c_str()), locOld);

    // One member swapped for another through the list itself: same count.
    VelkType* locNew = myTypes.GetType("TEXT")->CloneAs("fresh");
    QC_List<VelkType*>& locList = locScript->GetMembers();
    QC_ListIterator<VelkType*> locIter(&locList);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        if (locIter.GetCurrent() == locOld)
        {
            locIter.RemoveCurrent();
            break;
        }
    locList.Add(locNew);
    delete locOld;
    EXPECT_EQ(locScript->GetNumMembers(), 40);
    EXPECT_EQ(locScript->FindMember(locOldName.c_str()), nullptr);
    EXPECT_EQ(locScript->FindMember("fresh"), locNew);

    // A rename inside the list is seen too.
    locNew->SetName("renamed");
    EXPECT_EQ(locScript->FindMember("renamed"), locNew);
    EXPECT_EQ(locScript->FindMember("fresh"), nullptr);
    delete locScript;
}

TEST_F(VelkModelTest, DottedLookupGoesThroughMembersAndReferences)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace,
                        "Box a\r\n{\r\nmin\r\n{\r\nx 3\r\n}\r\nlink b\r\n}\r\n"
                        "Box b\r\n{\r\nmax\r\n{\r\ny 7\r\n}\r\ncorner a.link.max\r\n}\r\n"))
        << myLog.AllErrors();
    EXPECT_STREQ(locSpace.GetInstance("a.min.x", true)->GetValue().GetBuffer(), "3");
    EXPECT_STREQ(locSpace.GetInstance("a.link.max.y", true)->GetValue().GetBuffer(), "7");
    // b.corner names its target through the reference a.link.
    EXPECT_EQ(locSpace.GetInstance("b.corner.y", true), locSpace.GetInstance("b.max.y", false));
    EXPECT_EQ(locSpace.GetInstance("b.corner", true)->GetTypeName(), "Point*");
    EXPECT_EQ(locSpace.GetInstance("a.nothing", true), nullptr);
    EXPECT_EQ(locSpace.GetInstance("zz.min", true), nullptr);
    EXPECT_TRUE(myLog.HasError("Failed to find instance for name 'zz.min'"));
    EXPECT_EQ(VelkNameSpace::FindNameSpaceOf(locSpace.GetInstance("a.min.x", false)), &locSpace);

    QC_String locPath;
    EXPECT_TRUE(locSpace.GetInstancePath(locSpace.GetInstance("b.max.y", false), locPath));
    EXPECT_STREQ(locPath.GetBuffer(), "b.max.y");

    VelkNameSpace locPoints;
    ASSERT_TRUE(Compile(locPoints, "Point p\r\n{\r\n}\r\nScript s\r\n{\r\nPoint\r\n{\r\n}\r\n}\r\n"));
    EXPECT_FALSE(locPoints.HasLocText());
}

TEST_F(VelkModelTest, ReferenceCyclesEndInsteadOfRecursing)
{
    VelkNameSpace locSpace;
    EXPECT_FALSE(Compile(locSpace, "Box a\r\n{\r\nlink a.link.link\r\n}\r\n"));
    EXPECT_EQ(locSpace.GetInstance("a.link.min", false), nullptr);
}

TEST_F(VelkModelTest, ReferencesAssignFromInstancesByPath)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "Box a\r\n{\r\n}\r\nBox b\r\n{\r\n}\r\n"));
    VelkType* locLink = locSpace.GetInstance("a.link", false);
    EXPECT_TRUE(locLink->AssignFrom(locSpace.GetInstance("b", false)));
    EXPECT_STREQ(locLink->GetValue().GetBuffer(), "b");
    EXPECT_FALSE(locLink->AssignFrom(locSpace.GetInstance("b.min", false)));
    EXPECT_TRUE(locLink->AssignFrom(nullptr));
    EXPECT_STREQ(locLink->GetValue().GetBuffer(), "NULL");
}

TEST_F(VelkModelTest, MergeAddsMissingMembersAndRoots)
{
    VelkNameSpace locMine;
    ASSERT_TRUE(Compile(locMine, "Box a\r\n{\r\nmin\r\n{\r\nx 1\r\n}\r\n}\r\nTEXT clash mine\r\n"));
    VelkNameSpace locOther;
    ASSERT_TRUE(Compile(locOther, "Box b\r\n{\r\n}\r\nNUMBER clash 5\r\nPoint min\r\n{\r\ny 4\r\n}\r\n"
                                  "Script s\r\n{\r\nTEXT t\r\n}\r\n"));
    // "min" matches the nested member a.min of the same type: merged there, no new root.
    locOther.AddInclude("EXTRA.fruit");
    locMine.AddInclude("extra.FRUIT");
    ASSERT_TRUE(locMine.Merge(locOther));
    EXPECT_EQ(locMine.GetNumInstances(), 4);
    EXPECT_NE(locMine.GetInstance("b", false), nullptr);
    EXPECT_NE(locMine.GetInstance("s", false), nullptr);
    EXPECT_EQ(locMine.GetInstance("min", false), nullptr);
    EXPECT_STREQ(locMine.GetInstance("a.min.x", false)->GetValue().GetBuffer(), "1");
    EXPECT_STREQ(locMine.GetInstance("clash", false)->GetTypeName().GetBuffer(), "TEXT");
    QC_List<QC_String> locIncludes;
    locMine.GetIncludes(locIncludes, true);
    EXPECT_EQ(locIncludes.myCount, 2);
}

TEST_F(VelkModelTest, MergeMembersAddsOnlyWhatIsMissing)
{
    VelkNameSpace locMine;
    ASSERT_TRUE(Compile(locMine, "Script s\r\n{\r\nTEXT one 1\r\n}\r\n"));
    VelkNameSpace locOther;
    ASSERT_TRUE(Compile(locOther, "Script s\r\n{\r\nTEXT one 2\r\nTEXT two 3\r\n}\r\n"));
    ASSERT_TRUE(locMine.Merge(locOther));
    VelkType* locScript = locMine.GetInstance("s", false);
    EXPECT_EQ(locScript->GetNumMembers(), 2);
    EXPECT_STREQ(locScript->GetMemberValue("one").GetBuffer(), "1");
    EXPECT_STREQ(locScript->GetMemberValue("two").GetBuffer(), "3");
}

// Merge finds each root's name with a single walk and enters what it adds as
// it goes; the result must be that of one FindByName per root (MergeInstance).
TEST_F(VelkModelTest, MergeMeetsNamesAsOneSearchPerRootWould)
{
    std::string locFruit = WriteDisk("crate.fruit", "SCRIPTCLASS Bag\r\n{\r\nTEXT\r\nNUMBER\r\nCrate\r\n}\r\n"
                                                    "CLASS Crate\r\n{\r\nTEXT label\r\nBag bag\r\n}\r\n");
    ASSERT_TRUE(myTypes.Compile(locFruit.c_str())) << myLog.AllErrors();
    const std::string locMine = "INCLUDE " + locFruit +
                                "\r\nCrate c1\r\n{\r\nlabel one\r\n}\r\n"
                                "Bag loose\r\n{\r\nTEXT t1 x\r\n}\r\n"
                                "Crate c2\r\n{\r\nbag\r\n{\r\nCrate deep\r\n{\r\nlabel d\r\n}\r\n}\r\n}\r\n";
    // c1's bag gets a Crate "loose" ahead of the root "loose", so the Bag
    // "loose" that follows meets a Crate and is skipped; the new root loose2
    // brings a NUMBER "n", so the Crate "n" after it is skipped too; "deep" is
    // found inside c2.
    const std::string locOther =
        "INCLUDE " + locFruit +
        "\r\nCrate c1\r\n{\r\nbag\r\n{\r\nCrate loose\r\n{\r\nlabel inner\r\n}\r\n}\r\n}\r\n"
        "Bag loose\r\n{\r\nTEXT t2 y\r\n}\r\n"
        "Crate loose2\r\n{\r\nbag\r\n{\r\nNUMBER n 3\r\n}\r\n}\r\n"
        "Crate n\r\n{\r\n}\r\n"
        "Crate deep\r\n{\r\nbag\r\n{\r\nTEXT added q\r\n}\r\n}\r\n"
        "Crate fresh\r\n{\r\nlabel f\r\n}\r\n";
    VelkNameSpace locMerged;
    VelkNameSpace locSearched;
    VelkNameSpace locSource;
    ASSERT_TRUE(VelkCompiler::CompileText(locMerged, "mine.velk", locMine.data(), locMine.size(), &myTypes, nullptr));
    ASSERT_TRUE(
        VelkCompiler::CompileText(locSearched, "mine.velk", locMine.data(), locMine.size(), &myTypes, nullptr));
    ASSERT_TRUE(
        VelkCompiler::CompileText(locSource, "other.velk", locOther.data(), locOther.size(), &myTypes, nullptr));

    ASSERT_TRUE(locMerged.Merge(locSource)) << myLog.AllErrors();
    for (VelkType* locRoot : locSource.GetInstanceView())
        ASSERT_TRUE(locSearched.MergeInstance(locRoot));

    EXPECT_NE(locMerged.GetInstance("c1.bag.loose", false), nullptr);
    EXPECT_EQ(locMerged.GetInstance("loose.t2", false), nullptr);
    EXPECT_EQ(locMerged.GetInstance("n", false), nullptr);
    EXPECT_NE(locMerged.GetInstance("c2.bag.deep.bag.added", false), nullptr);
    EXPECT_EQ(locMerged.GetInstance("deep", false), nullptr);
    EXPECT_NE(locMerged.GetInstance("fresh", false), nullptr);
    ASSERT_TRUE(locMerged.Write(PathOf("merged.velk").c_str()));
    ASSERT_TRUE(locSearched.Write(PathOf("searched.velk").c_str()));
    EXPECT_EQ(ReadDisk("merged.velk"), ReadDisk("searched.velk"));
}

TEST_F(VelkModelTest, NamespacesTrackTheirObjects)
{
    VelkType* locOrphan = nullptr;
    {
        VelkNameSpace locSpace;
        ASSERT_TRUE(Compile(locSpace, "Box a\r\n{\r\ncaption hello\r\n}\r\n"));
        EXPECT_TRUE(locSpace.HasLocText());
        VelkType* locRoot = locSpace.GetInstance("a", false);
        locOrphan = locRoot->FindMember("link");
        ASSERT_TRUE(locRoot->DetachMember(locOrphan));
        EXPECT_EQ(VelkNameSpace::FindNameSpaceOf(locOrphan), nullptr);
        ASSERT_TRUE(locRoot->AddMember(locOrphan));
        EXPECT_EQ(VelkNameSpace::FindNameSpaceOf(locOrphan), &locSpace);
        locRoot->SetName("renamed");
        EXPECT_EQ(locSpace.GetInstance("renamed.link", false), locOrphan);
        EXPECT_EQ(locSpace.GetInstance("a", false), nullptr);
        locOrphan = locRoot->FindMember("min");
        ASSERT_TRUE(locRoot->DetachMember(locOrphan));
        EXPECT_TRUE(locSpace.DeleteInstance(locRoot));
        EXPECT_EQ(locSpace.GetNumInstances(), 0);
    }
    EXPECT_EQ(VelkNameSpace::FindNameSpaceOf(locOrphan), nullptr);
    delete locOrphan;
}

TEST(VelkLogTest, KeysSwitchesAndSubscribers)
{
    VelkLog::SetLogSwitch(false);
    VelkLog::SetErrorSwitch(true);
    EXPECT_FALSE(VelkLog::Error("nobody listens"));
    {
        VelkLogCollector locLog;
        EXPECT_FALSE(VelkLog::Log("off at start %d", 1));
        EXPECT_TRUE(locLog.myLogs.empty());
        EXPECT_TRUE(VelkLog::Error("broken %s", "100%"));
        ASSERT_EQ(locLog.myErrors.size(), 1u);
        EXPECT_EQ(locLog.myErrors[0], "ERROR: broken 100%");

        VelkLog::SetLogSwitch(true);
        EXPECT_TRUE(VelkLog::Log("on %d", 2));
        ASSERT_EQ(locLog.myLogs.size(), 1u);
        EXPECT_EQ(locLog.myLogs[0], "LOG: on 2");

        VelkLog::SetErrorSwitch(false);
        EXPECT_FALSE(VelkLog::Error("muted"));
        EXPECT_EQ(locLog.myErrors.size(), 1u);
        VelkLog::SetErrorSwitch(true);

        std::string locLong(3000, 'x');
        EXPECT_TRUE(VelkLog::Error("%s", locLong.c_str()));
        EXPECT_EQ(locLog.myErrors.back().size(), 1023u);
    }
    EXPECT_FALSE(VelkLog::Log("unsubscribed"));
    VelkLog::SetLogSwitch(false);
}

// The debug output takes the very line the subscribers get, whoever else listens.
TEST(VelkLogTest, DebugOutputAndSubscribersGetTheSameLines)
{
    struct Recorder : QC_DebugListener
    {
        explicit Recorder(std::vector<std::string>* aLines) : myLines(aLines) {}
        void Print(const char* aText) override { myLines->push_back(aText); }
        void Close() override {}
        std::vector<std::string>* myLines;
    };
    std::vector<std::string> locDebugLines;
    ASSERT_TRUE(QC_Debug::Init(nullptr, false, false, false, nullptr));
    QC_Debug::AddListener(new Recorder(&locDebugLines));
    VelkLog::SetLogSwitch(true);
    const std::string locLong(3000, 'y');

    // Only the debug output listens: the line goes there, and nobody took it.
    EXPECT_FALSE(VelkLog::Log("alone %d%%", 5));
    EXPECT_FALSE(VelkLog::Error("%s", locLong.c_str()));
    {
        VelkLogCollector locLog;
        EXPECT_TRUE(VelkLog::Log("with %s", "%d"));
        EXPECT_TRUE(VelkLog::Error("%s", locLong.c_str()));
        EXPECT_TRUE(VelkLog::Log("%s", locLong.c_str()));
        EXPECT_EQ(locLog.myLogs, (std::vector<std::string>{"LOG: with %d", ("LOG: " + locLong).substr(0, 1023)}));
        EXPECT_EQ(locLog.myErrors, (std::vector<std::string>{("ERROR: " + locLong).substr(0, 1023)}));
    }
    EXPECT_EQ(locDebugLines,
              (std::vector<std::string>{"LOG: alone 5%", ("ERROR: " + locLong).substr(0, 1023), "LOG: with %d",
                                        ("ERROR: " + locLong).substr(0, 1023), ("LOG: " + locLong).substr(0, 1023)}));
    QC_Debug::Shutdown();

    // Nobody at all: nothing taken, nothing kept.
    EXPECT_FALSE(VelkLog::Log("unread %s", "line"));
    EXPECT_EQ(locDebugLines.size(), 5u);
    VelkLog::SetLogSwitch(false);
}

TEST(VelkNameIndexTest, AgreesWithACountingModelThroughAddsAndRemovals)
{
    VelkNameIndex locIndex;
    std::map<std::string, int> locModel;
    unsigned int locSeed = 12345;
    auto locNext = [&locSeed]() { return (locSeed = locSeed * 1103515245u + 12345u) >> 16; };
    VelkType* const locObject = reinterpret_cast<VelkType*>(0x1000);
    for (int locStep = 0; locStep < 20000; locStep++)
    {
        const std::string locName = "n" + std::to_string(locNext() % 300);
        switch (locNext() % 3)
        {
        case 0:
            locIndex.Add(locName, locObject);
            locModel[locName]++;
            break;
        case 1:
            EXPECT_EQ(locIndex.AddIfAbsent(locName, locObject), locModel[locName] == 0);
            if (locModel[locName] == 0)
                locModel[locName] = 1;
            break;
        default:
            locIndex.Remove(locName, locObject);
            if (locModel[locName] > 0)
                locModel[locName]--;
            break;
        }
    }
    size_t locNames = 0;
    int locTotal = 0;
    for (const auto& [locName, locCount] : locModel)
    {
        VelkType* locFound = nullptr;
        VelkNameIndex::LookupResult locResult = locIndex.Lookup(locName, locFound);
        if (locCount == 0)
            EXPECT_EQ(locResult, VelkNameIndex::LOOKUP_ABSENT) << locName;
        else
        {
            EXPECT_NE(locResult, VelkNameIndex::LOOKUP_ABSENT) << locName;
            if (locResult == VelkNameIndex::LOOKUP_UNIQUE)
            {
                EXPECT_EQ(locCount, 1) << locName;
            }
            locNames++;
            locTotal += locCount;
        }
    }
    EXPECT_EQ(locIndex.GetNumNames(), locNames);
    EXPECT_EQ(locIndex.GetTotal(), locTotal);
}

TEST_F(VelkModelTest, WideClassInstancesFindMembersByNameThroughEdits)
{
    // Past the size where a class looks members up by name rather than by scan.
    std::string locFruit = "CLASS Wide\r\n{\r\n";
    std::string locBody = "Wide first\r\n{\r\n";
    for (int locIndex = 0; locIndex < 20; locIndex++)
    {
        locFruit += "NUMBER m" + std::to_string(locIndex) + "\r\n";
        locBody += "m" + std::to_string(locIndex) + " " + std::to_string(100 + locIndex) + "\r\n";
    }
    locFruit += "}\r\n";
    locBody += "}\r\nWide second\r\n{\r\nm19 7\r\n}\r\n";
    const std::string locWideFruit = WriteDisk("wide.fruit", locFruit.c_str());
    VelkTypeManager locTypes;
    ASSERT_TRUE(locTypes.Compile(locWideFruit.c_str())) << myLog.AllErrors();
    VelkNameSpace locSpace;
    const std::string locText = "INCLUDE " + locWideFruit + "\r\n" + locBody;
    ASSERT_TRUE(VelkCompiler::CompileText(locSpace, "wide.velk", locText.data(), locText.size(), &locTypes, nullptr))
        << myLog.AllErrors();
    VelkType* locFirst = locSpace.GetInstance("first", false);
    VelkType* locSecond = locSpace.GetInstance("second", false);
    ASSERT_TRUE(locFirst && locSecond);
    auto locValue = [](VelkType* anInstance, const char* aName) {
        VelkType* locMember = anInstance->FindMember(aName);
        return locMember ? std::string(locMember->GetName().GetBuffer()) + "=" + locMember->GetValue().GetBuffer()
                         : std::string("none");
    };
    EXPECT_EQ(locValue(locFirst, "m7"), "m7=107");
    EXPECT_EQ(locValue(locSecond, "m19"), "m19=7");

    // Members move: a deletion shifts the later ones, a new order moves all.
    EXPECT_TRUE(locFirst->DeleteMemberNamed("m3"));
    EXPECT_EQ(locValue(locFirst, "m3"), "none");
    EXPECT_EQ(locValue(locFirst, "m7"), "m7=107");
    QC_List<QC_String> locOrder;
    for (int locIndex = 19; locIndex >= 0; locIndex--)
        if (locIndex != 3)
            locOrder.Add(QC_String(("m" + std::to_string(locIndex)).c_str()));
    EXPECT_TRUE(locFirst->SetMemberOrder(locOrder));
    for (int locIndex : {0, 4, 12, 19})
        EXPECT_EQ(locValue(locFirst, ("m" + std::to_string(locIndex)).c_str()),
                  "m" + std::to_string(locIndex) + "=" + std::to_string(100 + locIndex));

    // Renames: a repeated name gives the first in order, the old name is gone.
    locSecond->FindMember("m2")->SetName("m9");
    EXPECT_EQ(locSecond->FindMember("m9"), locSecond->GetMemberAt(2));
    locSecond->FindMember("m15")->SetName("other");
    EXPECT_EQ(locValue(locSecond, "m15"), "none");
    EXPECT_EQ(locValue(locSecond, "other"), "other=0");
    EXPECT_EQ(locValue(locSecond, "m19"), "m19=7");
    // The other instance, sharing the declaration, is untouched.
    EXPECT_EQ(locValue(locFirst, "m15"), "m15=115");
    EXPECT_EQ(locValue(locFirst, "m20"), "none");
}

// An object keeps its type's name as a number in its name's word: a rename,
// a clone or an assignment must leave the type name as it was, and a number
// given back must name the new type that takes it, not the old one.
TEST_F(VelkModelTest, TypeNamesStayThroughRenamesClonesAndNumbersGivenBack)
{
    VelkType* locBox = myTypes.GetType("Box")->CloneAs("crate");
    locBox->SetName("a rather long name for a box, longer than a short one");
    EXPECT_STREQ(locBox->GetTypeName().GetBuffer(), "Box");
    VelkType* locCorner = locBox->FindMember("corner");
    EXPECT_STREQ(locCorner->GetTypeName().GetBuffer(), "Point*");
    locCorner->SetName("edge");
    EXPECT_STREQ(locCorner->GetTypeName().GetBuffer(), "Point*");
    EXPECT_STREQ(locCorner->GetName().GetBuffer(), "edge");
    VelkType* locCopy = locBox->Clone();
    EXPECT_STREQ(locCopy->GetTypeName().GetBuffer(), "Box");
    EXPECT_STREQ(locCopy->GetName().GetBuffer(), "a rather long name for a box, longer than a short one");
    EXPECT_TRUE(locCopy->IsEqual(locBox));
    EXPECT_TRUE(locCopy->FindMember("min")->AssignFrom(locBox->FindMember("max")));
    EXPECT_FALSE(locCopy->FindMember("min")->AssignFrom(locBox->FindMember("caption")));
    EXPECT_STREQ(locCopy->FindMember("min")->GetTypeName().GetBuffer(), "Point");
    delete locCopy;

    // Types of another manager come and go; their numbers are taken again.
    for (int locRound = 0; locRound < 3; locRound++)
    {
        const std::string locName = "Shape" + std::to_string(locRound);
        const std::string locFruit =
            WriteDisk("shape.fruit", "CLASS " + locName + "\r\n{\r\nNUMBER side\r\n" + locName + "* other\r\n}\r\n");
        VelkTypeManager locTypes;
        ASSERT_TRUE(locTypes.Compile(locFruit.c_str())) << myLog.AllErrors();
        VelkType* locShape = locTypes.GetType(locName.c_str())->Clone();
        EXPECT_EQ(locShape->GetTypeName(), locName.c_str());
        EXPECT_EQ(locShape->FindMember("other")->GetTypeName(), (locName + "*").c_str());
        EXPECT_FALSE(locShape->HasTypeNameOf(*locBox));
        delete locShape;
    }
    EXPECT_STREQ(locBox->GetTypeName().GetBuffer(), "Box");
    EXPECT_STREQ(locBox->FindMember("link")->GetTypeName().GetBuffer(), "Box*");
    delete locBox;
}

// Type names take numbers of 16 bits: when all are taken a new name gets none
// (the type manager refuses its type), and the numbers come back once released.
TEST_F(VelkModelTest, TypeNameNumbersRunOutAndComeBack)
{
    std::vector<uint16_t> locTaken;
    while (VelkTypeName::NumbersLeft(1))
    {
        const std::string locName = "Filler" + std::to_string(locTaken.size());
        locTaken.push_back(VelkTypeName::Acquire(locName.c_str()));
        ASSERT_NE(locTaken.back(), 0);
        ASSERT_LT(locTaken.size(), 70000u);
    }
    EXPECT_EQ(VelkTypeName::Acquire("OneTooMany"), 0);
    EXPECT_STREQ(VelkTypeName::Get(locTaken.back()).GetBuffer(), ("Filler" + std::to_string(locTaken.size() - 1)).c_str());
    // A name already known still gets its number.
    const uint16_t locKnown = VelkTypeName::Acquire("Filler7");
    EXPECT_EQ(locKnown, locTaken[7]);
    VelkTypeName::Release(locKnown);
    const std::string locFruit = WriteDisk("late.fruit", "CLASS Late\r\n{\r\nNUMBER n\r\n}\r\n");
    VelkTypeManager locTypes;
    EXPECT_FALSE(locTypes.Compile(locFruit.c_str()));
    EXPECT_TRUE(myLog.HasError("Too many type names")) << myLog.AllErrors();

    for (uint16_t locNumber : locTaken)
        VelkTypeName::Release(locNumber);
    EXPECT_TRUE(VelkTypeName::NumbersLeft(locTaken.size()));
    VelkTypeManager locLaterTypes;
    ASSERT_TRUE(locLaterTypes.Compile(locFruit.c_str())) << myLog.AllErrors();
    ASSERT_NE(locLaterTypes.GetType("Late"), nullptr);
    VelkType* locLate = locLaterTypes.GetType("Late")->Clone();
    EXPECT_STREQ(locLate->GetTypeName().GetBuffer(), "Late");
    delete locLate;
}

// Many roots whose names share all but the last character, or differ only in
// case, or in last characters alike in their low bits ('1', 'A', 'Q', 'a',
// 'q'): each name finds its own root and only it, through adds, references,
// deletions and renames.
TEST_F(VelkModelTest, ManyRootsOfLikeNamesFindOnlyTheirOwn)
{
    const char* const locSpellings[] = {"cell", "Cell", "CELL"};
    const char locLasts[] = {'1', 'A', 'Q', 'a', 'q', '0', '9'};
    // The first hashes, before its last character, to what would mark an empty slot.
    std::vector<std::string> locNames = {"z5419749610", "z541974961p", "z5419749611"};
    for (int locGroup = 0; locGroup < 400; locGroup++)
        for (const char* locSpelling : locSpellings)
            for (char locLast : locLasts)
                locNames.push_back(locSpelling + std::to_string(locGroup) + locLast);
    std::string locBody;
    for (size_t i = 0; i < locNames.size(); i++)
    {
        locBody += "Box " + locNames[i] + "\r\n{\r\nmin\r\n{\r\nx " + std::to_string(i) + "\r\n}\r\n";
        // To a root of the same name but for its case, or its last character.
        if (i >= 7)
            locBody += "link " + locNames[i - 7] + "\r\n";
        locBody += "}\r\n";
    }
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, locBody)) << myLog.AllErrors();
    ASSERT_EQ(locSpace.GetNumInstances(), int(locNames.size()));

    auto locNumberOf = [&locSpace](const std::string& aPath) {
        VelkType* locNumber = locSpace.GetInstance(aPath.c_str(), false);
        return locNumber ? std::string(locNumber->GetValue().GetBuffer()) : std::string("none");
    };
    for (size_t i = 0; i < locNames.size(); i++)
    {
        ASSERT_EQ(locNumberOf(locNames[i] + ".min.x"), std::to_string(i)) << locNames[i];
        if (i >= 7)
        {
            ASSERT_EQ(locNumberOf(locNames[i] + ".link.min.x"), std::to_string(i - 7)) << locNames[i];
        }
    }
    for (const char* locAbsent : {"cELL5A", "cell5", "cell5B", "cell400a", "cell5AA", "ell5A", "", "Cell4001"})
        EXPECT_EQ(locSpace.GetInstance(locAbsent, false), nullptr) << locAbsent;

    // The same name again is refused; a case variant of it is a root of its own.
    VelkNameSpace locMore;
    EXPECT_FALSE(Compile(locMore, "Box cell7q\r\n{\r\n}\r\nBox cell7Q\r\n{\r\n}\r\nBox cell7q\r\n{\r\n}\r\n"));
    EXPECT_TRUE(myLog.HasError("Instance name 'cell7q' already defined"));
    EXPECT_EQ(locMore.GetNumInstances(), 2);

    // Every third root goes and every fifth left is renamed: the rest stay
    // found, the gone names are not, and a gone name can be taken again.
    std::map<std::string, std::string> locLeft;
    for (size_t i = 0; i < locNames.size(); i++)
    {
        VelkType* locRoot = locSpace.GetInstance(locNames[i].c_str(), false);
        if (i % 3 == 0)
            ASSERT_TRUE(locSpace.DeleteInstance(locRoot));
        else if (i % 5 == 0)
        {
            locRoot->SetName(("r" + locNames[i]).c_str());
            locLeft["r" + locNames[i]] = std::to_string(i);
        }
        else
            locLeft[locNames[i]] = std::to_string(i);
    }
    EXPECT_EQ(locSpace.GetNumInstances(), int(locLeft.size()));
    for (size_t i = 0; i < locNames.size(); i++)
    {
        auto locKept = locLeft.find(locNames[i]);
        EXPECT_EQ(locNumberOf(locNames[i] + ".min.x"), locKept == locLeft.end() ? "none" : locKept->second)
            << locNames[i];
    }
    for (const auto& [locName, locNumber] : locLeft)
        EXPECT_EQ(locNumberOf(locName + ".min.x"), locNumber) << locName;
    VelkType* locAgain = locSpace.GetInstance(locNames[1].c_str(), false)->Clone();
    locAgain->SetName(locNames[3].c_str());
    ASSERT_TRUE(locSpace.AddInstance(locAgain));
    EXPECT_EQ(locSpace.GetInstance(locNames[3].c_str(), false), locAgain);
    VelkType* locTwin = locSpace.GetInstance(locNames[1].c_str(), false)->Clone();
    EXPECT_FALSE(locSpace.AddInstance(locTwin));
    delete locTwin;
}
