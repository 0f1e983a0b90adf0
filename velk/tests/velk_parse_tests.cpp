// The line reader's rules, the word rules, and .fruit type files.
#include <string>
#include <vector>

#include "velk/tests/velk_test_util.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
std::vector<std::string> ReadAll(const std::string& aText)
{
    ParseTool locTool;
    locTool.OpenText("text", aText.data(), aText.size());
    std::vector<std::string> locLines;
    QC_String locLine;
    while (locTool.ReadLine(locLine))
        locLines.push_back(locLine.GetBuffer());
    return locLines;
}

using Lines = std::vector<std::string>;
}

TEST(ParseToolLines, FollowTheLineRules)
{
    struct Case
    {
        const char* myName;
        std::string myText;
        Lines myLines;
    } locCases[] = {
        {"crlf", "ab\r\ncd\r\n", {"ab", "cd"}},
        {"lone lf ends a line too", "x\ny\r\n", {"x", "y"}},
        {"lone cr stays", "x\ry\r\n", {"x\ry"}},
        {"leading blanks skipped", " \t  ab\r\n", {"ab"}},
        {"trailing blanks cut", "ab \t \r\n", {"ab"}},
        {"blank and comment lines skipped", "  \r\n// note\r\n\r\ncd\r\n", {"cd"}},
        {"comment drops blanks before it", "ab  // note\r\n", {"ab"}},
        {"comment inside quotes", "TEXT url \"http://host\"\r\n", {"TEXT url \"http:"}},
        {"word followed by comment", "word// note\r\n", {"word"}},
        {"last line without line end keeps its blanks", "ab\r\ncd  ", {"ab", "cd  "}},
        {"only blanks before the end give one empty line", "ab\r\n  \r\n ", {"ab", ""}},
        {"braces alone", "{\r\n  }\r\n", {"{", "}"}},
        {"byte-order mark skipped",
         "\xEF\xBB\xBF"
         "ab\r\n",
         {"ab"}},
        {"a byte-order mark alone is no line", "\xEF\xBB\xBF", {}},
        {"part of one is text", "\xEF\xBB", {"\xEF\xBB"}},
        {"long runs stop at each line end and comment",
         std::string(40, 'a') + "\r\n" + std::string(17, 'b') + "//c\r\n" + std::string(16, 'd') + "\n" +
             std::string(33, 'e'),
         {std::string(40, 'a'), std::string(17, 'b'), std::string(16, 'd'), std::string(33, 'e')}},
        {"a lone cr far into a line stays",
         std::string(20, 'x') + "\r" + std::string(20, 'y') + "/z\r\n",
         {std::string(20, 'x') + "\r" + std::string(20, 'y') + "/z"}},
    };
    for (const Case& locCase : locCases)
        EXPECT_EQ(ReadAll(locCase.myText), locCase.myLines) << locCase.myName;
}

TEST(ParseToolLines, LongLineIsCutAndContinuesWithItsBlanks)
{
    std::string locLong(4095, 'a');
    locLong += "  bbb";
    Lines locLines = ReadAll(locLong + "\r\nnext\r\n");
    ASSERT_EQ(locLines.size(), 3u);
    EXPECT_EQ(locLines[0], std::string(4095, 'a'));
    EXPECT_EQ(locLines[1], "  bbb");
    EXPECT_EQ(locLines[2], "next");

    Lines locExact = ReadAll(std::string(4095, 'c') + "\r\nnext\r\n");
    ASSERT_EQ(locExact.size(), 2u);
    EXPECT_EQ(locExact[0].size(), 4095u);
}

TEST(ParseToolLines, CounterAndPeek)
{
    std::string locText = "one\r\n\r\ntwo\r\nthree";
    ParseTool locTool;
    locTool.OpenText("peek.velk", locText.data(), locText.size());
    EXPECT_EQ(locTool.GetLineCounter(), 0);
    QC_String locLine;
    ASSERT_TRUE(locTool.ReadLine(locLine));
    EXPECT_EQ(locTool.GetLineCounter(), 1);
    ASSERT_TRUE(locTool.PeekLine(locLine));
    EXPECT_STREQ(locLine.GetBuffer(), "two");
    EXPECT_EQ(locTool.GetLineCounter(), 1);
    ASSERT_TRUE(locTool.ReadLine(locLine));
    EXPECT_STREQ(locLine.GetBuffer(), "two");
    // Physical lines: the blank line between counts.
    EXPECT_EQ(locTool.GetLineCounter(), 3);
    ASSERT_TRUE(locTool.ReadLine(locLine));
    EXPECT_STREQ(locLine.GetBuffer(), "three");
    EXPECT_TRUE(locTool.IsEOF());
    EXPECT_FALSE(locTool.ReadLine(locLine));
    locTool.Close();
    EXPECT_TRUE(locTool.IsEOF());
    EXPECT_FALSE(locTool.ReadLine(locLine));

    // Blanks after the last line end give an empty last line, counted where it stands.
    const std::string locTail = "ab\r\n  \r\n ";
    locTool.OpenText("tail.velk", locTail.data(), locTail.size());
    ASSERT_TRUE(locTool.ReadLine(locLine));
    EXPECT_EQ(locTool.GetLineCounter(), 1);
    ASSERT_TRUE(locTool.ReadLine(locLine));
    EXPECT_STREQ(locLine.GetBuffer(), "");
    EXPECT_EQ(locTool.GetLineCounter(), 3);
}

// Opening another text starts it afresh, whatever was read of the last one.
TEST(ParseToolLines, OpeningAgainStartsAtTheTop)
{
    ParseTool locTool;
    const std::string locFirst = "ab\r\ncd\r\nef\r\n";
    const std::string locSecond = "gh\r\n";
    QC_String locLine;
    ASSERT_TRUE(locTool.OpenText("first.velk", locFirst.data(), locFirst.size()));
    ASSERT_TRUE(locTool.ReadLine(locLine));
    ASSERT_TRUE(locTool.ReadLine(locLine));
    ASSERT_TRUE(locTool.OpenText("second.velk", locSecond.data(), locSecond.size()));
    ASSERT_TRUE(locTool.ReadLine(locLine));
    EXPECT_STREQ(locLine.GetBuffer(), "gh");
    EXPECT_EQ(locTool.GetLineCounter(), 1);
    EXPECT_FALSE(locTool.ReadLine(locLine));
}

TEST(ParseToolWords, SplitAtFirstSpaceElseFirstTab)
{
    struct Case
    {
        const char* myLine;
        const char* myFirst;
        const char* myRest;
    } locCases[] = {
        {"NUMBER count 5", "NUMBER", "count 5"},
        {"a\tb c", "a\tb", "c"},
        {"a\tb\tc", "a", "b\tc"},
        {"alone", "alone", ""},
        {"\"quoted line\"", "\"quoted line\"", ""},
        {"\"quoted\" tail", "\"quoted\"", "tail"},
        {"two  spaces", "two", " spaces"},
    };
    for (const Case& locCase : locCases)
    {
        QC_String locLine(locCase.myLine);
        EXPECT_STREQ(ParseTool::GetFirst(locLine).GetBuffer(), locCase.myFirst) << locCase.myLine;
        EXPECT_STREQ(ParseTool::GetRest(locLine).GetBuffer(), locCase.myRest) << locCase.myLine;
    }
}

TEST_F(VelkTest, OpenMissingFileReportsIt)
{
    ParseTool locTool;
    EXPECT_FALSE(locTool.Open(PathOf("missing.velk").c_str()));
    EXPECT_TRUE(myLog.HasError("ParseTool::Open(): Failed to open '"));
}

// ---------------------------------------------------------------------------
// Type files
// ---------------------------------------------------------------------------

TEST_F(VelkTest, TypesOfEveryKindCompile)
{
    std::string locFruit = WriteDisk("types.fruit",
                                     "TYPE Colour\r\n{\r\nRed\r\nGreen\r\nBlue\r\n}\r\n"
                                     "CLASS Point // a comment\r\n{\r\nNUMBER x 1\r\nNUMBER y\r\n}\r\n"
                                     "CLASS Node\r\n{\r\nTEXT title \"a title\"\r\nColour colour Blue\r\nPoint pos\r\n"
                                     "Node* next\r\nFILE icon c:\\x\\y.tga\r\n}\r\n"
                                     "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nPoint\r\nNode*\r\n}\r\n");
    VelkTypeManager locTypes;
    ASSERT_TRUE(locTypes.Compile(locFruit.c_str())) << myLog.AllErrors();
    EXPECT_EQ(locTypes.GetNumTypes(), 5 + 4);

    VelkType* locColour = locTypes.GetType("Colour");
    ASSERT_NE(locColour, nullptr);
    QC_List<QC_String> locValues;
    locColour->GetLegalValues(locValues);
    EXPECT_EQ(locValues.myCount, 3);
    EXPECT_STREQ(locColour->GetName().GetBuffer(), "PROTOTYPE");

    VelkType* locNode = locTypes.GetType("Node");
    ASSERT_NE(locNode, nullptr);
    EXPECT_EQ(locNode->GetNumMembers(), 5);
    EXPECT_STREQ(locNode->GetMemberValue("title").GetBuffer(), "\"a title\"");
    EXPECT_STREQ(locNode->GetMemberValue("colour").GetBuffer(), "Blue");
    EXPECT_STREQ(locNode->GetMemberValue("pos.x").GetBuffer(), "1");
    EXPECT_STREQ(locNode->GetMemberValue("pos.y").GetBuffer(), "0");
    EXPECT_STREQ(locNode->FindMember("next")->GetTypeName().GetBuffer(), "Node*");
    EXPECT_STREQ(locNode->GetMemberValue("next").GetBuffer(), "NULL");
    EXPECT_STREQ(locNode->GetMemberValue("icon").GetBuffer(), "c:/x/y.tga");

    VelkType* locScript = locTypes.GetType("Script");
    ASSERT_NE(locScript, nullptr);
    EXPECT_TRUE(locScript->IsLegalMemberType("Node*"));
    EXPECT_FALSE(locScript->IsLegalMemberType("NUMBER"));

    EXPECT_NE(locTypes.GetRefType("Colour*"), nullptr);
    EXPECT_NE(locTypes.GetRefType("NUMBER*"), nullptr);
    EXPECT_EQ(locTypes.GetType("colour"), nullptr);
    EXPECT_TRUE(myLog.HasLog("VelkClass::Construct(): Constructed type 'Node'"));
}

TEST_F(VelkTest, TypeFileErrorsAreReportedWithTheirLine)
{
    struct Case
    {
        const char* myText;
        const char* myError;
    } locCases[] = {
        {"NUMBER Count\r\n", "(%s, line 1) Syntax error 'Count'"},
        {"TYPE E\r\n{\r\n\r\nA\r\nA\r\n}\r\n", "(%s, line 5) Syntax error 'E'"},
        {"CLASS C\r\n{\r\nC self\r\n}\r\n", "Undefined type 'C' for member 'self' in declaration of class type 'C'"},
        {"CLASS C\r\n{\r\nD* other\r\n}\r\n", "Undefined reference type 'D*' for member 'other' in declaration of class type 'C'"},
        {"CLASS C\r\n{\r\nNUMBER a\r\nTEXT a\r\n}\r\n", "Failed to add member 'a' in declaration of class type 'C'"},
        {"CLASS C\r\nNUMBER a\r\n", "Missing block start in declaration of class type 'C'"},
        {"SCRIPTCLASS S\r\nTEXT\r\n", "Missing block start in declaration of scriptclass type 'S'"},
        {"TYPE E\r\nA\r\n", "Missing block start in declaration of enumerated type 'E'"},
        {"CLASS TEXT\r\n{\r\n}\r\n", "Typename 'TEXT' already defined"},
        {"BOGUS Thing\r\n", "Syntax error 'Thing'"},
    };
    int locIndex = 0;
    for (const Case& locCase : locCases)
    {
        std::string locPath = WriteDisk("bad" + std::to_string(locIndex++) + ".fruit", locCase.myText);
        myLog.myErrors.clear();
        VelkTypeManager locTypes;
        EXPECT_FALSE(locTypes.Compile(locPath.c_str())) << locCase.myText;
        char locExpected[512];
        snprintf(locExpected, sizeof(locExpected), locCase.myError, locPath.c_str());
        EXPECT_TRUE(myLog.HasError(locExpected)) << locExpected << "\n" << myLog.AllErrors();
    }
}

TEST_F(VelkTest, ClassMayReferToItsOwnType)
{
    std::string locPath = WriteDisk("self.fruit", "CLASS List\r\n{\r\nList* next\r\n}\r\n");
    VelkTypeManager locTypes;
    EXPECT_TRUE(locTypes.Compile(locPath.c_str()));
}

TEST_F(VelkTest, IncludedFruitFilesCompileOnceWhateverTheirCase)
{
    std::string locBase = WriteDisk("base.fruit", "TYPE Side\r\n{\r\nLeft\r\nRight\r\n}\r\n");
    std::string locUpper = PathOf("BASE.FRUIT");
    std::string locTop = WriteDisk("top.fruit", "INCLUDE " + locBase + "\r\nINCLUDE " + locUpper + "\r\nCLASS Car\r\n{\r\nSide wheel\r\n}\r\n");
    std::string locSelf = WriteDisk("self.fruit", "INCLUDE " + PathOf("self.fruit") + "\r\n");

    VelkTypeManager locTypes;
    ASSERT_TRUE(locTypes.Compile(locTop.c_str())) << myLog.AllErrors();
    EXPECT_TRUE(myLog.HasLog("already compiled, skipping..."));
    EXPECT_NE(locTypes.GetType("Car"), nullptr);
    EXPECT_EQ(locTypes.GetIncludedFiles().myCount, 2);

    myLog.myLogs.clear();
    ASSERT_TRUE(locTypes.Compile(locSelf.c_str()));
    EXPECT_TRUE(myLog.HasLog("'" + locSelf + "' already compiled, skipping..."));

    locTypes.Reset();
    EXPECT_EQ(locTypes.GetType("Car"), nullptr);
    EXPECT_EQ(locTypes.GetNumTypes(), 5);
    EXPECT_TRUE(locTypes.Compile(locTop.c_str()));
}
