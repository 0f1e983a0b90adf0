// The instance compiler, the ignore policies, and .velk text written and read back.
#include <sys/resource.h>

#include <csignal>
#include <string>

#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const GAME_FRUIT =
    "TYPE Colour\r\n{\r\nRed\r\nGreen\r\nBlue\r\n}\r\n"
    "CLASS Point\r\n{\r\nNUMBER x 1\r\nNUMBER y 2\r\n}\r\n"
    "CLASS Item\r\n{\r\nTEXT title\r\nColour colour Green\r\nPoint pos\r\nItem* next\r\nFILE icon\r\n"
    "LOCTEXT label\r\nDECIMAL weight 0.5\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nNUMBER\r\nPoint\r\nItem*\r\n}\r\n";

const char* const GAME_VELK =
    "Item first\r\n{\r\n\ttitle \"hello world\"\r\n\tcolour Blue\r\n\tpos\r\n\t{\r\n\t\tx 10\r\n\t}\r\n"
    "\tnext second\r\n\ticon c:\\data\\icon.tga\r\n\tlabel \"Some label\"\r\n\tweight 1.25\r\n}\r\n"
    "Item second\r\n{\r\n}\r\n"
    "Script script\r\n{\r\n\tTEXT TEXT(1) \"a b\"\r\n\tNUMBER 42\r\n\tPoint Point(3)\r\n\t{\r\n\t\tx 5\r\n\t}\r\n"
    "\tItem* Item*(9) first\r\n\tTEXT ends\"\r\n}\r\n"
    "NUMBER count 7\r\nTEXT motto \"carpe diem\"\r\nTEXT pair two words\r\n";

// Asks once per type and answers as told; counts the questions.
class CountingIgnorer : public VelkInstanceIgnorer
{
public:
    int Sub_OkToIgnoreInstanceOfType(const char* aTypeName, const char* anInstanceText) override
    {
        myTypeQuestions++;
        return myTypeAnswer;
    }
    bool Sub_OkToIgnoreMember(const char* aTypeName, const char* anInstanceName, const char* aMemberName) override
    {
        myMemberQuestions++;
        return myMemberAnswer;
    }
    int myTypeAnswer = 0;
    bool myMemberAnswer = true;
    int myTypeQuestions = 0;
    int myMemberQuestions = 0;
};

class VelkCompileTest : public VelkTest
{
protected:
    void SetUp() override
    {
        VelkTest::SetUp();
        myFruit = WriteDisk("game.fruit", GAME_FRUIT);
    }

    std::string VelkFile(const std::string& aName, const std::string& aBody)
    {
        return WriteDisk(aName, "INCLUDE " + myFruit + "\r\n" + aBody);
    }

    std::string WriteText(VelkNameSpace& aSpace)
    {
        VelkOutput locOutput;
        EXPECT_TRUE(aSpace.WriteTo(locOutput, "memory"));
        return locOutput.GetText();
    }

    std::string myFruit;
    VelkTypeManager myTypes;
};
}

TEST_F(VelkCompileTest, CompiledValuesFollowTheWordRules)
{
    VelkNameSpace locSpace;
    std::string locPath = VelkFile("game.velk", GAME_VELK);
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetNumInstances(), 6);
    EXPECT_STREQ(locSpace.GetInstance("first.title", true)->GetValue().GetBuffer(), "hello world");
    EXPECT_STREQ(locSpace.GetInstance("first.pos.x", true)->GetValue().GetBuffer(), "10");
    EXPECT_STREQ(locSpace.GetInstance("first.pos.y", true)->GetValue().GetBuffer(), "2");
    EXPECT_STREQ(locSpace.GetInstance("first.icon", true)->GetValue().GetBuffer(), "c:/data/icon.tga");
    EXPECT_STREQ(locSpace.GetInstance("second.colour", true)->GetValue().GetBuffer(), "Green");
    EXPECT_STREQ(locSpace.GetInstance("motto", true)->GetValue().GetBuffer(), "carpe diem");
    // Two words without quotes: the first renames the instance.
    EXPECT_EQ(locSpace.GetInstance("pair", false), nullptr);
    EXPECT_STREQ(locSpace.GetInstance("two", true)->GetValue().GetBuffer(), "words");
    EXPECT_STREQ(locSpace.GetInstance("script.TEXT(1)", true)->GetValue().GetBuffer(), "a b");
    EXPECT_STREQ(locSpace.GetInstance("script.Item*(9)", true)->GetValue().GetBuffer(), "first");
    EXPECT_STREQ(locSpace.GetInstance("script.Point(3).x", true)->GetValue().GetBuffer(), "5");
    EXPECT_EQ(locSpace.GetInstance("script", true)->GetNumMembers(), 5);
    EXPECT_TRUE(myLog.HasLog("VelkCompiler::Compile(): Instantiated Item first"));
    QC_List<QC_String> locIncludes;
    locSpace.GetIncludes(locIncludes, true);
    ASSERT_EQ(locIncludes.myCount, 1);
    EXPECT_EQ(locIncludes.GetFirst(), myFruit.c_str());
}

// A script line without a name of its own gets its type's name and a number in
// brackets, a new number each time, never one a line of the script already has.
TEST_F(VelkCompileTest, UnnamedScriptLinesAreNumberedByType)
{
    VelkNameSpace locSpace;
    const std::string locPath = VelkFile(
        "numbered.velk", "Item first\r\n{\r\n}\r\nScript steps\r\n{\r\n\tNUMBER 4\r\n\tItem* first\r\n"
                         "\tTEXT \"go on\"\r\n\tNUMBER 5\r\n}\r\n");
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    VelkType* locSteps = locSpace.GetInstance("steps", true);
    ASSERT_NE(locSteps, nullptr);
    ASSERT_EQ(locSteps->GetNumMembers(), 4);
    const char* const locTypes[] = {"NUMBER", "Item*", "TEXT", "NUMBER"};
    const char* const locValues[] = {"4", "first", "go on", "5"};
    long locLast = -1;
    for (int locIndex = 0; locIndex < 4; locIndex++)
    {
        VelkType* locLine = locSteps->GetMemberAt(locIndex);
        const std::string locName = locLine->GetName().GetBuffer();
        const std::string locType = locTypes[locIndex];
        ASSERT_GT(locName.size(), locType.size() + 2) << locName;
        EXPECT_EQ(locName.substr(0, locType.size() + 1), locType + "(") << locName;
        EXPECT_EQ(locName.back(), ')') << locName;
        const std::string locDigits = locName.substr(locType.size() + 1, locName.size() - locType.size() - 2);
        ASSERT_FALSE(locDigits.empty());
        EXPECT_EQ(locDigits.find_first_not_of("0123456789"), std::string::npos) << locName;
        EXPECT_TRUE(locDigits == "0" || locDigits[0] != '0') << locName;
        const long locNumber = std::stol(locDigits);
        EXPECT_GT(locNumber, locLast) << locName;
        locLast = locNumber;
        EXPECT_STREQ(locLine->GetValue().GetBuffer(), locValues[locIndex]);
        EXPECT_EQ(locSpace.GetInstance(("steps." + locName).c_str(), false), locLine);
    }
}

TEST_F(VelkCompileTest, WrittenTextCompilesBackToTheSameBytes)
{
    VelkNameSpace locSpace;
    std::string locPath = VelkFile("game.velk", GAME_VELK);
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    ASSERT_TRUE(locSpace.Write(PathOf("out1.velk").c_str()));
    std::string locFirst = ReadDisk("out1.velk");

    VelkNameSpace locAgain;
    ASSERT_TRUE(VelkCompiler::Compile(locAgain, PathOf("out1.velk").c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    ASSERT_TRUE(locAgain.Write(PathOf("out2.velk").c_str()));
    EXPECT_EQ(ReadDisk("out2.velk"), locFirst);
    EXPECT_EQ(WriteText(locAgain), locFirst);
    EXPECT_TRUE(myLog.HasLog("Successfully wrote namespace to '"));

    EXPECT_NE(locFirst.find("INCLUDE " + myFruit + "\r\n\r\nItem first\r\n{\r\n\ttitle \"hello world\"\r\n"), std::string::npos);
    EXPECT_NE(locFirst.find("\tpos\r\n\t{\r\n\t\tx 10\r\n\t\ty 2\r\n\t}\r\n\r\n"), std::string::npos);
    EXPECT_NE(locFirst.find("\tItem* Item*(9) first\r\n\r\n"), std::string::npos);
    EXPECT_NE(locFirst.find("\tTEXT TEXT(1) \"a b\"\r\n\r\n"), std::string::npos);
    EXPECT_NE(locFirst.find("\tPoint Point(3)\r\n\t{\r\n\t\tx 5\r\n"), std::string::npos);
    EXPECT_NE(locFirst.find("NUMBER count 7\r\n\r\n"), std::string::npos);
    // The reader drops a value's trailing quote.
    EXPECT_NE(locFirst.find(" ends\r\n\r\n"), std::string::npos);
    EXPECT_EQ(locFirst.find('\n', 0), locFirst.find("\r\n") + 1);
}

// Files lined up by hand: a run of spaces and TABs parts words as one blank
// does; the writer puts one blank back, and a value in quotes keeps its own.
TEST_F(VelkCompileTest, ValuesLinedUpWithBlanksKeepTheirNames)
{
    const std::string locFruit = WriteDisk("lined.fruit", "CLASS Box\r\n{\r\nNUMBER   width    3\r\n"
                                                          "TEXT\t\tlabel\t\"x  y\"\r\nPoint \t corner\r\n}\r\n");
    const std::string locPath =
        WriteDisk("lined.velk", "INCLUDE  " + myFruit + "\r\nINCLUDE\t" + locFruit +
                                    "\r\nNUMBER count  7\r\nNUMBER\t\tdepth\t\t10\r\n"
                                    "Box  crate\r\n{\r\n\twidth  12\r\n\tcorner\r\n\t{\r\n\t\tx\t\t10\r\n\t\ty \t 20\r\n\t}\r\n}\r\n"
                                    "Script  steps\r\n{\r\n\tTEXT   TEXT(4)   \"a  b\"\r\n}\r\n"
                                    "TEXT motto  \" spaced \"\r\n");
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetNumInstances(), 5);
    EXPECT_EQ(locSpace.GetInstance("count", false)->GetValueAsInt(), 7);
    EXPECT_EQ(locSpace.GetInstance("depth", false)->GetValueAsInt(), 10);
    EXPECT_EQ(locSpace.GetInstance("crate.width", false)->GetValueAsInt(), 12);
    EXPECT_STREQ(locSpace.GetInstance("crate.label", false)->GetValue().GetBuffer(), "\"x  y\"");
    EXPECT_EQ(locSpace.GetInstance("crate.corner.x", false)->GetValueAsInt(), 10);
    EXPECT_EQ(locSpace.GetInstance("crate.corner.y", false)->GetValueAsInt(), 20);
    EXPECT_STREQ(locSpace.GetInstance("steps.TEXT(4)", false)->GetValue().GetBuffer(), "a  b");
    EXPECT_STREQ(locSpace.GetInstance("motto", false)->GetValue().GetBuffer(), " spaced ");
    EXPECT_EQ(locSpace.FindByName(""), nullptr);

    ASSERT_TRUE(locSpace.Write(PathOf("lined_out.velk").c_str())) << myLog.AllErrors();
    const std::string locWritten = ReadDisk("lined_out.velk");
    EXPECT_NE(locWritten.find("NUMBER count 7\r\n"), std::string::npos) << locWritten;
    EXPECT_NE(locWritten.find("\t\tx 10\r\n\t\ty 20\r\n"), std::string::npos) << locWritten;
    EXPECT_NE(locWritten.find("\tTEXT TEXT(4) \"a  b\"\r\n"), std::string::npos) << locWritten;
    EXPECT_NE(locWritten.find("\twidth 12\r\n"), std::string::npos) << locWritten;
    VelkNameSpace locAgain;
    ASSERT_TRUE(VelkCompiler::Compile(locAgain, PathOf("lined_out.velk").c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    EXPECT_EQ(WriteText(locAgain), locWritten);
}

TEST_F(VelkCompileTest, ScalarValuesAreQuotedForReading)
{
    VelkNameSpace locSpace;
    struct Case
    {
        const char* myValue;
        const char* myWritten;
    } locCases[] = {
        {"plain", "plain"},
        {"two words", "\"two words\""},
        {"tab\tinside", "\"tab\tinside\""},
        {" lead", "\" lead\""},
        {"trail\t", "\"trail\t\""},
        {"lone\rcr", "\"lone\rcr\""},
        // The reader drops one quote at each end, so a value with a quote at
        // either end is wrapped whole.
        {"\"both\"", "\"\"both\"\""},
        {"\"open", "\"\"open\""},
        {"end\"", "\"end\"\""},
        {"\"", "\"\"\""},
        {"with space\"", "\"with space\"\""},
        {"caf\xE9", "caf\xE9"},
    };
    for (const Case& locCase : locCases)
    {
        locSpace.Clear();
        VelkType* locText = myTypes.GetType("TEXT")->CloneAs("t");
        locText->AssignValue(locCase.myValue);
        ASSERT_TRUE(locSpace.AddInstance(locText));
        EXPECT_EQ(WriteText(locSpace), std::string("\r\nTEXT t ") + locCase.myWritten + "\r\n\r\n") << locCase.myValue;
    }
}

TEST_F(VelkCompileTest, BrokenReferencesAreWrittenAsNull)
{
    VelkNameSpace locSpace;
    std::string locPath = VelkFile("refs.velk", "Item a\r\n{\r\nnext b\r\n}\r\nItem b\r\n{\r\n}\r\n");
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    ASSERT_TRUE(locSpace.DeleteInstance(locSpace.GetInstance("b", false)));
    std::string locText = WriteText(locSpace);
    EXPECT_NE(locText.find("\tnext NULL\r\n"), std::string::npos);
    EXPECT_STREQ(locSpace.GetInstance("a.next", false)->GetValue().GetBuffer(), "NULL");

    VelkNameSpace locBack;
    ASSERT_TRUE(VelkCompiler::CompileText(locBack, "back.velk", locText.data(), locText.size(), &myTypes, nullptr))
        << myLog.AllErrors();
    EXPECT_EQ(WriteText(locBack), locText);
}

TEST_F(VelkCompileTest, InstanceErrorsStopTheCompileAndKeepWhatCameBefore)
{
    struct Case
    {
        const char* myBody;
        const char* myError;
        int myInstances;
    } locCases[] = {
        {"NUMBER a 1\r\nNUMBER a 2\r\n", "Instance name 'a' already defined", 1},
        {"NUMBER a 1\r\nThing x 5\r\n", "Unknown type 'Thing'", 1},
        {"Item a\r\n{\r\nbogus 1\r\n}\r\n", "Unknown member 'bogus' referenced in instantiation of 'a' of class type 'Item'", 0},
        {"Item a\r\n{\r\nnext nobody\r\n}\r\n", "Failed to resolve references", 1},
        {"Item a\r\n{\r\nnext nobody\r\n}\r\n", "Failed to find instance for name 'nobody'", 1},
        {"NUMBER lonely\r\nNUMBER b 1\r\n", "Missing block start in instantiation of 'lonely' of class type 'NUMBER'", 0},
        {"Item a\r\n{\r\ncolour Purple\r\n}\r\n", "Invalid value 'Purple' for instance 'colour' of type 'Colour'", 0},
        {"Item a\r\n{\r\ncolour Purple\r\n}\r\n", "Failed to init new instance of type 'Item'", 0},
        {"Script s\r\n{\r\nDECIMAL 1.0\r\n}\r\n", "Unknown member 'DECIMAL'", 0},
        {"INCLUDE nowhere.fruit\r\n", "Failed to compile 'nowhere.fruit'", 0},
    };
    int locIndex = 0;
    for (const Case& locCase : locCases)
    {
        myLog.myErrors.clear();
        VelkNameSpace locSpace;
        std::string locPath = VelkFile("bad" + std::to_string(locIndex++) + ".velk", locCase.myBody);
        EXPECT_FALSE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr)) << locCase.myBody;
        EXPECT_TRUE(myLog.HasError(locCase.myError)) << locCase.myError << "\n" << myLog.AllErrors();
        EXPECT_EQ(locSpace.GetNumInstances(), locCase.myInstances) << locCase.myBody;
    }
}

TEST_F(VelkCompileTest, ParseErrorsNameTheFileAndLine)
{
    VelkNameSpace locSpace;
    std::string locPath = VelkFile("line.velk", "\r\n// nothing\r\nNUMBER a 1\r\nWhat x y\r\n");
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr));
    // Physical lines from 1: the INCLUDE, a blank and a comment line come first.
    EXPECT_TRUE(myLog.HasError("ERROR: (" + locPath + ", line 5) Unknown type 'What'")) << myLog.AllErrors();
}

TEST_F(VelkCompileTest, LoneBracesAndWordsAreSkipped)
{
    VelkNameSpace locSpace;
    std::string locPath = VelkFile("skip.velk", "{\r\n}\r\nstray\r\nNUMBER a 1\r\n");
    EXPECT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), nullptr, nullptr)) << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetNumInstances(), 1);
}

TEST_F(VelkCompileTest, EverythingIgnorerSkipsUnknownBlocks)
{
    std::string locPath = VelkFile("ignore.velk",
                                   "Gone g\r\n{\r\nx 1\r\ninner\r\n{\r\ny 2\r\n}\r\n}\r\n"
                                   "Item a\r\n{\r\nold\r\n{\r\n{\r\n}\r\n}\r\nold 5\r\ntitle kept\r\n}\r\n"
                                   "Gone h 5\r\nNUMBER n 3\r\nGone last 1");
    VelkNameSpace locSpace;
    EverythingIgnorer locIgnorer;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, &locIgnorer)) << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetNumInstances(), 2);
    EXPECT_STREQ(locSpace.GetInstance("a.title", false)->GetValue().GetBuffer(), "kept");
    EXPECT_TRUE(locIgnorer.IsTypeIgnored("Gone"));
    EXPECT_TRUE(myLog.HasLog("VelkCompiler::Compile(): User indicated that instance 'g' of unknown type 'Gone' should be ignored"));
    EXPECT_TRUE(myLog.HasLog("VelkType::Assign(): User indicated that member 'old' of type 'Item' should be ignored"));
}

TEST_F(VelkCompileTest, IgnorePoliciesAskOncePerTypeAndMember)
{
    std::string locPath = VelkFile("ask.velk", "Gone a 1\r\nGone b 2\r\nItem i\r\n{\r\nold 1\r\nold 2\r\n}\r\nItem j\r\n{\r\nold 3\r\n}\r\n");
    CountingIgnorer locWholeType;
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, &locWholeType));
    EXPECT_EQ(locWholeType.myTypeQuestions, 1);
    EXPECT_EQ(locWholeType.myMemberQuestions, 1);

    CountingIgnorer locEachInstance;
    locEachInstance.myTypeAnswer = 1;
    locSpace.Clear();
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, &locEachInstance));
    EXPECT_EQ(locEachInstance.myTypeQuestions, 2);
    EXPECT_FALSE(locEachInstance.IsTypeIgnored("Gone"));

    CountingIgnorer locRefuse;
    locRefuse.myTypeAnswer = 2;
    locSpace.Clear();
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, &locRefuse));
    EXPECT_TRUE(myLog.HasError("Unknown type 'Gone'"));

    CountingIgnorer locNoMembers;
    locNoMembers.myMemberAnswer = false;
    locSpace.Clear();
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, &locNoMembers));
    EXPECT_TRUE(myLog.HasError("Unknown member 'old' referenced in instantiation of 'i' of class type 'Item'"));

    std::string locOpen = VelkFile("open.velk", "Gone g\r\n{\r\nx 1\r\n");
    locSpace.Clear();
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locOpen.c_str(), &myTypes, &locWholeType));
    EXPECT_TRUE(myLog.HasError("Failed to perform user specified ignore of instance 'g' of type 'Gone'"));
}

TEST_F(VelkCompileTest, MalformedFilesFailWithoutCrashing)
{
    std::string locDeep = "SCRIPTCLASS Nest\r\n{\r\nNest\r\nTEXT\r\n}\r\n";
    std::string locNestFruit = WriteDisk("nest.fruit", locDeep);
    std::string locBody = "INCLUDE " + locNestFruit + "\r\nNest n\r\n{\r\n";
    for (int locLevel = 0; locLevel < 5000; locLevel++)
        locBody += "Nest\r\n{\r\n";
    std::string locPath = WriteDisk("deep.velk", locBody);
    VelkNameSpace locSpace;
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locPath.c_str(), &myTypes, nullptr));
    EXPECT_TRUE(myLog.HasError("Blocks nested deeper than 200 levels")) << myLog.AllErrors();

    // Nested within the limit, the same file compiles, writes and reads back.
    std::string locShallow = "INCLUDE " + locNestFruit + "\r\nNest n\r\n{\r\n";
    for (int locLevel = 0; locLevel < 150; locLevel++)
        locShallow += "Nest\r\n{\r\nTEXT \"level " + std::to_string(locLevel) + "\"\r\n";
    for (int locLevel = 0; locLevel <= 150; locLevel++)
        locShallow += "}\r\n";
    std::string locShallowPath = WriteDisk("shallow.velk", locShallow);
    VelkNameSpace locNested;
    ASSERT_TRUE(VelkCompiler::Compile(locNested, locShallowPath.c_str(), &myTypes, nullptr)) << myLog.AllErrors();
    std::string locText = WriteText(locNested);
    VelkNameSpace locBack;
    ASSERT_TRUE(VelkCompiler::CompileText(locBack, "back", locText.data(), locText.size(), &myTypes, nullptr));
    EXPECT_EQ(WriteText(locBack), locText);

    const char locRaw[] = "NUMBER a 1\r\n\0\x01\xff\xfe garbage\r\n";
    std::string locBinary(locRaw, sizeof(locRaw) - 1);
    std::string locBinaryPath = VelkFile("binary.velk", locBinary);
    VelkNameSpace locGarbage;
    EXPECT_FALSE(VelkCompiler::Compile(locGarbage, locBinaryPath.c_str(), &myTypes, nullptr));
}

TEST_F(VelkCompileTest, FailedSaveKeepsTheOldFile)
{
    std::string locTarget = WriteDisk("keep.velk", "old contents");
    VelkNameSpace locSpace;
    for (int locIndex = 0; locIndex < 2000; locIndex++)
    {
        VelkType* locText = myTypes.GetType("TEXT")->CloneAs(("t" + std::to_string(locIndex)).c_str());
        locText->AssignValue("a fairly long value so that the text passes the size limit");
        locSpace.AddInstance(locText);
    }
    struct rlimit locOld;
    getrlimit(RLIMIT_FSIZE, &locOld);
    struct rlimit locSmall = locOld;
    locSmall.rlim_cur = 4096;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    bool locWritten = locSpace.Write(locTarget.c_str());
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(locWritten);
    EXPECT_TRUE(myLog.HasLog("Failed to write namespace to '" + locTarget + "'"));
    EXPECT_EQ(ReadDisk("keep.velk"), "old contents");

    const std::string locNowhere = PathOf("no/such/folder/x.velk");
    EXPECT_FALSE(locSpace.Write(locNowhere.c_str()));
    EXPECT_TRUE(myLog.HasLog("Failed to open output file '" + locNowhere + "': No such file or directory"));

    // A read-only file is not replaced, even by root, and the log says why.
    const std::string locLocked = WriteDisk("level.velk", "locked contents");
    std::filesystem::permissions(locLocked, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read);
    EXPECT_FALSE(locSpace.Write(locLocked.c_str()));
    EXPECT_TRUE(myLog.HasLog("Failed to open output file '" + locLocked + "': Permission denied"));
    EXPECT_EQ(ReadDisk("level.velk"), "locked contents");
}
