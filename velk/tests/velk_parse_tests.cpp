// The line reader's rules, the word rules, and .fruit type files.
#include <cstring>
#include <string>
#include <vector>

#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
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

TEST(ParseToolWords, SplitAtFirstBlankAndSkipTheRunOfBlanks)
{
    struct Case
    {
        const char* myLine;
        const char* myFirst;
        const char* myRest;
    } locCases[] = {
        {"NUMBER count 5", "NUMBER", "count 5"},
        {"a\tb c", "a", "b c"},
        {"a\tb\tc", "a", "b\tc"},
        {"alone", "alone", ""},
        {"\"quoted line\"", "\"quoted line\"", ""},
        {"\"quoted\" tail", "\"quoted\"", "tail"},
        {"two  spaces", "two", "spaces"},
        {"x\t\t10", "x", "10"},
        {"x \t \"a  b\"", "x", "\"a  b\""},
        {"lone\rcr value", "lone\rcr", "value"},
    };
    for (const Case& locCase : locCases)
    {
        QC_String locLine(locCase.myLine);
        EXPECT_STREQ(ParseTool::GetFirst(locLine).GetBuffer(), locCase.myFirst) << locCase.myLine;
        EXPECT_STREQ(ParseTool::GetRest(locLine).GetBuffer(), locCase.myRest) << locCase.myLine;
        const char* locRest = nullptr;
        const int locFirstLength = ParseTool::SplitFirst(locCase.myLine, (int)strlen(locCase.myLine), locRest);
        EXPECT_EQ(std::string(locCase.myLine, locFirstLength), locCase.myFirst) << locCase.myLine;
        EXPECT_STREQ(locRest, locCase.myRest) << locCase.myLine;
    }
}

// Text in UTF-16 or UTF-32, or holding a NUL, would read as other text (empty,
// or cut short) that a save could then write over the file.
TEST_F(VelkTest, TextThatIsNotEightBitIsRefusedNamingTheFile)
{
    auto locUtf16 = [](const std::string& aText, bool aBigEndian) {
        std::string locOut = aBigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char locChar : aText)
            locOut += aBigEndian ? std::string{'\0', locChar} : std::string{locChar, '\0'};
        return locOut;
    };
    const std::string locVelk = "NUMBER count 7\r\n";
    struct Case
    {
        const char* myName;
        std::string myText;
        const char* myReason;
    } locCases[] = {
        {"le.velk", locUtf16(locVelk, false), "UTF-16 byte-order mark"},
        {"be.velk", locUtf16(locVelk, true), "UTF-16 byte-order mark"},
        {"nomark.velk", locUtf16(locVelk, false).substr(2), "NUL bytes"},
        {"utf32.velk", std::string("\xFF\xFE\0\0N\0\0\0", 8), "UTF-16 byte-order mark"},
        {"late.velk", locVelk + std::string("TEXT t x\0y\r\n", 12), "NUL bytes"},
        {"nul.velk", std::string(1, '\0'), "NUL bytes"},
        {"empty16.velk", "\xFF\xFE", "UTF-16 byte-order mark"},
    };
    for (const Case& locCase : locCases)
    {
        const std::string locPath = WriteDisk(locCase.myName, locCase.myText);
        myLog.myErrors.clear();
        ParseTool locTool;
        EXPECT_FALSE(locTool.Open(locPath.c_str())) << locCase.myName;
        EXPECT_TRUE(locTool.IsEOF());
        EXPECT_TRUE(myLog.HasError("'" + locPath + "' is not 8-bit text (")) << myLog.AllErrors();
        EXPECT_TRUE(myLog.HasError(locCase.myReason)) << myLog.AllErrors();

        VelkNameSpace locSpace;
        VelkTypeManager locTypes;
        EXPECT_FALSE(VelkCompiler::Compile(locSpace, locPath.c_str(), &locTypes, nullptr)) << locCase.myName;
        EXPECT_FALSE(VelkCompiler::CompileText(locSpace, locCase.myName, locCase.myText.data(), locCase.myText.size(),
                                               &locTypes, nullptr))
            << locCase.myName;
        EXPECT_EQ(locSpace.GetNumInstances(), 0);
    }
    // Latin-1 letters that begin such a mark are text.
    for (const char* locLatin : {"\xFF\xFF", "\xFE\xFE", "a\xFE"})
    {
        const std::string locPath = WriteDisk("latin.velk", std::string(locLatin) + "\r\n");
        ParseTool locTool;
        QC_String locLine;
        ASSERT_TRUE(locTool.Open(locPath.c_str())) << locLatin;
        ASSERT_TRUE(locTool.ReadLine(locLine));
        EXPECT_STREQ(locLine.GetBuffer(), locLatin);
    }
    // A type file too, and the UTF-8 mark stays welcome.
    const std::string locFruit = WriteDisk("wide.fruit", locUtf16("TYPE Side\r\n{\r\nLeft\r\n}\r\n", false));
    VelkTypeManager locTypes;
    EXPECT_FALSE(locTypes.Compile(locFruit.c_str()));
    EXPECT_TRUE(myLog.HasError("'" + locFruit + "' is not 8-bit text"));
    const std::string locMarked = WriteDisk("marked.velk", "\xEF\xBB\xBF" + locVelk);
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locMarked.c_str(), &locTypes, nullptr)) << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetInstance("count", false)->GetValueAsInt(), 7);
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

namespace
{
// Classes T1 to Tn, each holding aWidth members of the one before; T0 holds a number.
std::string Nested(int aCount, int aWidth, const char* aBase = "CLASS T0\r\n{\r\nNUMBER x 1\r\n}\r\n")
{
    std::string locText = aBase;
    for (int locIndex = 1; locIndex < aCount; locIndex++)
    {
        locText += "CLASS T" + std::to_string(locIndex) + "\r\n{\r\n";
        for (int locMember = 0; locMember < aWidth; locMember++)
            locText += "T" + std::to_string(locIndex - 1) + " m" + std::to_string(locMember) + "\r\n";
        locText += "}\r\n";
    }
    return locText;
}
}

// A few lines can declare a type of 10^40 objects: the first type past the
// bound is refused, with its size, before it is made.
TEST_F(VelkTest, TypesTooLargeForAnInstanceAreRefusedByName)
{
    const std::string locPath = WriteDisk("tenfold.fruit", Nested(40, 10));
    VelkTypeManager locTypes;
    EXPECT_FALSE(locTypes.Compile(locPath.c_str()));
    EXPECT_NE(locTypes.GetType("T4"), nullptr);
    EXPECT_EQ(locTypes.GetType("T5"), nullptr);
    EXPECT_EQ(locTypes.GetTypeSize("T4").myObjects, 21111u);
    EXPECT_TRUE(myLog.HasError("Type 'T5' is too large: an instance would hold 211111 objects, more than 100000"))
        << myLog.AllErrors();

    // The bound itself is allowed.
    std::string locExact = Nested(5, 10) + "CLASS Full\r\n{\r\nT4 a\r\nT4 b\r\nT4 c\r\nT4 d\r\n";
    for (int locIndex = 0; locIndex < 15555; locIndex++)
        locExact += "NUMBER n" + std::to_string(locIndex) + "\r\n";
    locExact += "}\r\n";
    const std::string locOneMore = locExact + "CLASS Over\r\n{\r\nFull f\r\n}\r\n";
    locTypes.Reset();
    EXPECT_FALSE(locTypes.Compile(WriteDisk("exact.fruit", locOneMore).c_str()));
    EXPECT_EQ(locTypes.GetTypeSize("Full").myObjects, VELK_MAX_INSTANCE_OBJECTS);
    EXPECT_TRUE(myLog.HasError("Type 'Over' is too large: an instance would hold 100001 objects")) << myLog.AllErrors();

    // Members after the one that passes the bound are counted, not made.
    myLog.myErrors.clear();
    const std::string locOnlyWide = WriteDisk("onlywide.fruit", Nested(5, 10) + "CLASS W\r\n{\r\n"
                                                              "T4 a\r\nT4 b\r\nT4 c\r\nT4 d\r\nT4 e\r\nNUMBER n\r\n}\r\n");
    locTypes.Reset();
    EXPECT_FALSE(locTypes.Compile(locOnlyWide.c_str()));
    EXPECT_TRUE(myLog.HasError("Type 'W' is too large: an instance would hold 105557 objects")) << myLog.AllErrors();
    EXPECT_EQ(locTypes.GetType("W"), nullptr);

    // So are all types of a manager together, each within the bound.
    std::string locMany = Nested(5, 10);
    for (int locIndex = 0; locIndex < 13; locIndex++)
        locMany += "CLASS U" + std::to_string(locIndex) + "\r\n{\r\nT4 a\r\nT4 b\r\nT4 c\r\nT4 d\r\n}\r\n";
    locTypes.Reset();
    EXPECT_FALSE(locTypes.Compile(WriteDisk("many.fruit", locMany).c_str()));
    EXPECT_NE(locTypes.GetType("U10"), nullptr);
    EXPECT_TRUE(myLog.HasError("Type 'U11' is too large: with its 84445 objects the types would hold 1036796, "
                               "more than 1000000"))
        << myLog.AllErrors();
    // A reset gives the room back.
    locTypes.Reset();
    EXPECT_FALSE(locTypes.Compile(WriteDisk("many.fruit", locMany).c_str()));
    EXPECT_NE(locTypes.GetType("U10"), nullptr);
}

// The writer nests a class member's block inside its owner's; a type nested
// deeper than the compile reads back is refused, one at the limit reads back.
TEST_F(VelkTest, TypesNestedDeeperThanAFileMayHoldAreRefused)
{
    const std::string locPath = WriteDisk("chain.fruit", Nested(VELK_MAX_BLOCK_DEPTH + 5, 1));
    VelkTypeManager locTypes;
    EXPECT_FALSE(locTypes.Compile(locPath.c_str()));
    const std::string locDeepest = "T" + std::to_string(VELK_MAX_BLOCK_DEPTH - 1);
    const std::string locRefused = "T" + std::to_string(VELK_MAX_BLOCK_DEPTH);
    ASSERT_NE(locTypes.GetType(locDeepest.c_str()), nullptr);
    EXPECT_EQ(locTypes.GetType(locRefused.c_str()), nullptr);
    EXPECT_TRUE(myLog.HasError("Type '" + locRefused + "' nests " + std::to_string(VELK_MAX_BLOCK_DEPTH + 1) +
                               " levels of member blocks, more than the " + std::to_string(VELK_MAX_BLOCK_DEPTH) +
                               " a .velk file may hold"))
        << myLog.AllErrors();

    // A chain over an empty class or a script class nests as deep: each writes a block.
    for (const char* locBase : {"CLASS T0\r\n{\r\n}\r\n", "SCRIPTCLASS T0\r\n{\r\nNUMBER\r\n}\r\n"})
    {
        VelkTypeManager locOther;
        EXPECT_FALSE(locOther.Compile(WriteDisk("over.fruit", Nested(VELK_MAX_BLOCK_DEPTH + 1, 1, locBase)).c_str()));
        EXPECT_NE(locOther.GetType(locDeepest.c_str()), nullptr) << locBase;
        EXPECT_EQ(locOther.GetType(locRefused.c_str()), nullptr) << locBase;
    }

    const std::string locVelk = WriteDisk("deep.velk", "INCLUDE " + locPath + "\r\n" + locDeepest + " top\r\n{\r\n}\r\n");
    VelkNameSpace locSpace;
    locTypes.Reset();
    // The compile stops at the refused type, after the one it needs.
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locVelk.c_str(), &locTypes, nullptr));
    const std::string locFits = WriteDisk("fits.fruit", Nested(VELK_MAX_BLOCK_DEPTH, 1));
    const std::string locFitsVelk = WriteDisk("fits.velk", "INCLUDE " + locFits + "\r\n" + locDeepest + " top\r\n{\r\n}\r\n");
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, locFitsVelk.c_str(), &locTypes, nullptr)) << myLog.AllErrors();
    ASSERT_TRUE(locSpace.Write(PathOf("fits_out.velk").c_str()));
    VelkNameSpace locAgain;
    ASSERT_TRUE(VelkCompiler::Compile(locAgain, PathOf("fits_out.velk").c_str(), &locTypes, nullptr))
        << myLog.AllErrors();
    std::string locPathToX = "top";
    for (int locLevel = 1; locLevel < VELK_MAX_BLOCK_DEPTH; locLevel++)
        locPathToX += ".m0";
    EXPECT_EQ(locAgain.GetInstance((locPathToX + ".x").c_str(), false)->GetValueAsInt(), 1);
}
