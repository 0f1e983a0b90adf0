// A compile is bounded as a whole, and a .velk file cut short is refused, not
// read as the part that is left.
#include <string>
#include <vector>

#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_parsetool.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
// Each class holds two of the one before: "P" holds 98,303 objects, just under
// the bound of one instance.
constexpr uint64_t BIG_OBJECTS = 98303;

std::string DoublingFruit()
{
    std::string locFruit = "CLASS C0\r\n{\r\nTEXT t\r\n}\r\n";
    for (int locLevel = 1; locLevel <= 15; locLevel++)
    {
        const std::string locBefore = "C" + std::to_string(locLevel - 1);
        locFruit += "CLASS " + (locLevel == 15 ? std::string("P") : "C" + std::to_string(locLevel)) + "\r\n{\r\n" +
                    locBefore + " a\r\n" + locBefore + " b\r\n}\r\n";
    }
    return locFruit + "SCRIPTCLASS Bag\r\n{\r\nP\r\nTEXT\r\n}\r\n";
}

const char* const GAME_FRUIT = "CLASS Point\r\n{\r\nNUMBER x 1\r\nNUMBER y 2\r\n}\r\n"
                               "CLASS Item\r\n{\r\nTEXT title\r\nPoint pos\r\nLOCTEXT label\r\n}\r\n"
                               "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nPoint\r\n}\r\n"
                               "SCRIPTCLASS Nest\r\n{\r\nNest\r\nTEXT\r\n}\r\n";

// Whole: every block closed, the last line without its line end.
const std::string GAME_FIRST = "Item first\r\n{\r\n\ttitle \"hello world\"\r\n\tpos\r\n\t{\r\n\t\tx 10\r\n\t}\r\n"
                               "\tlabel \"Some label\"\r\n}\r\n";
const std::string GAME_REST = "Script script\r\n{\r\n\tTEXT TEXT(1) \"a b\"\r\n\tPoint Point(3)\r\n\t{\r\n\t\ty 5\r\n"
                              "\t}\r\n}\r\nTEXT motto \"carpe diem\"\r\nItem last\r\n{\r\n\ttitle \"end\"\r\n}";
const std::string GAME_BODY = GAME_FIRST + GAME_REST;

class VelkWholeTest : public VelkTest
{
protected:
    bool CompileBody(VelkNameSpace& aSpace, const std::string& aFruitName, const std::string& aFruit,
                     const std::string& aBody)
    {
        const std::string locFruit = WriteDisk(aFruitName, aFruit);
        myText = "INCLUDE " + locFruit + "\r\n" + aBody;
        myPath = WriteDisk("file.velk", myText);
        aSpace.Clear();
        myLog.myErrors.clear();
        return VelkCompiler::Compile(aSpace, myPath.c_str(), &myTypes, nullptr);
    }
    bool CompileGame(VelkNameSpace& aSpace, const std::string& aBody)
    {
        return CompileBody(aSpace, "game.fruit", GAME_FRUIT, aBody);
    }

    std::string WriteText(VelkNameSpace& aSpace)
    {
        VelkOutput locOutput;
        EXPECT_TRUE(aSpace.WriteTo(locOutput, "memory"));
        return locOutput.GetText();
    }

    VelkTypeManager myTypes;
    VelkNameSpace myScratch;
    std::string myText;
    std::string myPath;
};

// The lines of aText up to aCut leave a block open: the braces alone on their
// lines, counted as a reader of the grammar counts them.
bool InsideBlock(const std::string& aText, size_t aCut)
{
    int locDepth = 0;
    size_t locStart = 0;
    while (locStart < aCut)
    {
        size_t locEnd = aText.find('\n', locStart);
        if (locEnd == std::string::npos || locEnd > aCut)
            locEnd = aCut;
        std::string locLine = aText.substr(locStart, locEnd - locStart);
        const size_t locFirst = locLine.find_first_not_of(" \t\r");
        const size_t locLast = locLine.find_last_not_of(" \t\r");
        locLine = locFirst == std::string::npos ? "" : locLine.substr(locFirst, locLast - locFirst + 1);
        if (locLine == "{")
            locDepth++;
        else if (locLine == "}" && locDepth > 0)
            locDepth--;
        locStart = locEnd + 1;
    }
    return locDepth > 0;
}
} // namespace

// [SECTION] The objects of one compile

TEST_F(VelkWholeTest, ManyRootsOfALargeTypeAreRefusedBeforeTheyAreMade)
{
    // 1,000 roots of 9 bytes each, 98 million objects: refused at the root that
    // would pass the limit, which names the file, the root, its type and the count.
    std::string locBody;
    for (int locRoot = 0; locRoot < 1000; locRoot++)
        locBody += "P a" + std::to_string(locRoot) + "\n{\n}\n";
    VelkNameSpace locSpace;
    EXPECT_FALSE(CompileBody(locSpace, "big.fruit", DoublingFruit(), locBody));
    const uint64_t locLimit = VELK_MAX_COMPILE_OBJECTS + VELK_COMPILE_OBJECTS_PER_BYTE * myText.size();
    const uint64_t locMade = locLimit / BIG_OBJECTS;
    EXPECT_EQ(locSpace.GetNumInstances(), (int)locMade);
    const std::string locWant = "(" + myPath + ", line " + std::to_string(2 + 3 * locMade) + ") Instance 'a" +
                                std::to_string(locMade) + "' of type 'P' would make 98303 objects more, " +
                                std::to_string((locMade + 1) * BIG_OBJECTS) + " in all, more than the " +
                                std::to_string(locLimit) + " this file may make";
    EXPECT_TRUE(myLog.HasError(locWant)) << myLog.AllErrors();
}

TEST_F(VelkWholeTest, TheLimitHoldsExactlyAndForEachCompileAnew)
{
    // Roots of P just past the fixed part of the limit, TEXT roots of one
    // object each and a comment that bring the limit to exactly their objects:
    // the file opens, twice in a row; a byte less of comment and the last root
    // is too many.
    const int locBig = (int)(VELK_MAX_COMPILE_OBJECTS / BIG_OBJECTS) + 1;
    const uint64_t locBigObjects = locBig * BIG_OBJECTS;
    const int locSmall = (int)((VELK_MAX_COMPILE_OBJECTS - locBigObjects) % VELK_COMPILE_OBJECTS_PER_BYTE);
    std::string locRoots;
    for (int locRoot = 0; locRoot < locSmall; locRoot++)
        locRoots += "TEXT t" + std::to_string(locRoot) + " x\r\n";
    for (int locRoot = 0; locRoot < locBig; locRoot++)
        locRoots += "P a" + std::to_string(locRoot) + "\r\n{\r\n}\r\n";
    const uint64_t locObjects = locBigObjects + locSmall;
    const std::string locInclude = "INCLUDE " + PathOf("big.fruit") + "\r\n";
    const uint64_t locBytes = (locObjects - VELK_MAX_COMPILE_OBJECTS) / VELK_COMPILE_OBJECTS_PER_BYTE;
    size_t locPad = (size_t)locBytes - locInclude.size() - locRoots.size();
    // Comment lines of 1,000 bytes, and the rest.
    std::string locComment;
    for (; locPad >= 2000; locPad -= 1000)
        locComment += "//" + std::string(996, 'x') + "\r\n";
    locComment += "//" + std::string(locPad - 4, 'x') + "\r\n";
    VelkNameSpace locSpace;
    for (int locTry = 0; locTry < 2; locTry++)
    {
        ASSERT_TRUE(CompileBody(locSpace, "big.fruit", DoublingFruit(), locComment + locRoots)) << myLog.AllErrors();
        ASSERT_EQ(myText.size(), locBytes);
        EXPECT_EQ(locSpace.GetNumInstances(), locBig + locSmall);
    }
    EXPECT_FALSE(
        CompileBody(locSpace, "big.fruit", DoublingFruit(), locComment.substr(0, 2) + locComment.substr(3) + locRoots));
    EXPECT_EQ(locSpace.GetNumInstances(), locBig + locSmall - 1);
    EXPECT_TRUE(myLog.HasError("Instance 'a" + std::to_string(locBig - 1) + "' of type 'P' would make 98303 objects more, " +
                               std::to_string(locObjects) + " in all, more than the " +
                               std::to_string(locObjects - VELK_COMPILE_OBJECTS_PER_BYTE) + " this file may make"))
        << myLog.AllErrors();
}

TEST_F(VelkWholeTest, ScriptMembersCountAndTheirRootIsNamed)
{
    // One root, its objects made by the members of a script class.
    std::string locBody = "Bag bag\r\n{\r\nTEXT first\r\n";
    for (int locMember = 0; locMember < 100; locMember++)
        locBody += "P m" + std::to_string(locMember) + "\r\n{\r\n}\r\n";
    locBody += "}\r\n";
    VelkNameSpace locSpace;
    EXPECT_FALSE(CompileBody(locSpace, "big.fruit", DoublingFruit(), locBody));
    const uint64_t locLimit = VELK_MAX_COMPILE_OBJECTS + VELK_COMPILE_OBJECTS_PER_BYTE * myText.size();
    // The root and its TEXT member, then as many members of P as fit.
    const uint64_t locFit = (locLimit - 2) / BIG_OBJECTS;
    EXPECT_TRUE(myLog.HasError("A member of type 'P' in instance 'bag' of type 'Bag' would make 98303 objects more, " +
                               std::to_string(2 + (locFit + 1) * BIG_OBJECTS) + " in all, more than the " +
                               std::to_string(locLimit)))
        << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetNumInstances(), 0);
}

TEST_F(VelkWholeTest, AnInstanceMadeOutsideACompileHasNoLimit)
{
    // The editor makes instances one at a time, each within the bound of its type.
    ASSERT_TRUE(CompileBody(myScratch, "big.fruit", DoublingFruit(), "TEXT t x\r\n"));
    std::string locBlock = "{\r\n";
    for (int locMember = 0; locMember < 50; locMember++)
        locBlock += "P m" + std::to_string(locMember) + "\r\n{\r\n}\r\n";
    locBlock += "}\r\n";
    ParseTool locParseTool;
    ASSERT_TRUE(locParseTool.OpenText("bag", locBlock.data(), locBlock.size()));
    VelkType* locBag = VelkCompiler::CreateInstance("bag", locParseTool, myTypes.GetType("Bag"), myTypes, nullptr);
    ASSERT_NE(locBag, nullptr) << myLog.AllErrors();
    EXPECT_EQ(locBag->GetNumMembers(), 50);
    delete locBag;
}

// [SECTION] Files cut short

TEST_F(VelkWholeTest, EveryCutInsideABlockIsRefused)
{
    VelkNameSpace locWhole;
    ASSERT_TRUE(CompileGame(locWhole, GAME_BODY)) << myLog.AllErrors();
    EXPECT_TRUE(myLog.myErrors.empty()) << myLog.AllErrors();

    const std::string& locBody = GAME_BODY;
    int locRefused = 0;
    for (size_t locCut = 0; locCut < locBody.size(); locCut++)
    {
        VelkNameSpace locSpace;
        const bool locCompiled = CompileGame(locSpace, locBody.substr(0, locCut));
        if (InsideBlock(locBody, locCut))
        {
            EXPECT_FALSE(locCompiled) << "cut at " << locCut << ":\n" << locBody.substr(0, locCut);
            locRefused++;
        }
    }
    EXPECT_GT(locRefused, (int)locBody.size() / 2);
}

TEST_F(VelkWholeTest, CutShortNamesTheLineWhereTheOpenBlockBegan)
{
    struct Case
    {
        const char* myBody;
        const char* myErrors[3];
    };
    const Case locCases[] = {
        // Cut inside a quoted value of a member: the value, then its block.
        {"Item a\r\n{\r\n}\r\nItem b\r\n{\r\n\ttitle \"hel",
         {"line 7) The file ends inside the quoted value of 'title' of type 'TEXT'",
          "line 7) The file ends inside the block begun at line 6, of 'b' of class type 'Item'",
          "Failed to init new instance of type 'Item'"}},
        // A nested block left open names the innermost.
        {"Item a\r\n{\r\n\tpos\r\n\t{\r\n\t\tx 3\r\n",
         {"line 6) The file ends inside the block begun at line 5, of 'pos' of class type 'Point'"}},
        // The block line read, nothing after it.
        {"Item a\r\n{\r\n", {"The file ends inside the block begun at line 3, of 'a' of class type 'Item'"}},
        // A root value cut inside its quotes.
        {"TEXT motto \"carpe di", {"line 2) The file ends inside the quoted value of 'motto' of type 'TEXT'"}},
        {"TEXT lone \"", {"line 2) The file ends inside the quoted value of 'lone' of type 'TEXT'"}},
        {"Script s\r\n{\r\nTEXT named \"two words",
         {"The file ends inside the quoted value of 'named' of type 'TEXT'",
          "The file ends inside the block begun at line 3, of 's' of class type 'Script'"}},
    };
    for (const Case& locCase : locCases)
    {
        VelkNameSpace locSpace;
        EXPECT_FALSE(CompileGame(locSpace, locCase.myBody)) << locCase.myBody;
        for (const char* locError : locCase.myErrors)
            if (locError)
                EXPECT_TRUE(myLog.HasError(locError)) << locCase.myBody << "\n" << myLog.AllErrors();
        EXPECT_TRUE(myLog.HasError(myPath)) << myLog.AllErrors();
    }

    // 200 blocks never closed, each inside the one before: the innermost is named.
    std::string locOpen = "Nest n\r\n{\r\n";
    for (int locBlock = 1; locBlock < 200; locBlock++)
        locOpen += "Nest\r\n{\r\n";
    VelkNameSpace locSpace;
    EXPECT_FALSE(CompileGame(locSpace, locOpen + "TEXT last\r\n"));
    EXPECT_TRUE(myLog.HasError("line 402) The file ends inside the block begun at line 401, of 'Nest("))
        << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetNumInstances(), 0);
    EXPECT_FALSE(CompileGame(locSpace, "Item i\r\n{\r\n" + std::string(50, ' ')));
    EXPECT_TRUE(myLog.HasError("The file ends inside the block begun at line 3")) << myLog.AllErrors();
}

TEST_F(VelkWholeTest, WholeFilesThatLookCutStayAccepted)
{
    struct Case
    {
        const char* myBody;
        const char* myValue; // of the root "t"
    };
    const Case locCases[] = {
        // The open quote ends its line: the file goes on (or ends) after it.
        {"TEXT t \"open\r\n", "open"},
        {"TEXT t \"open\r\nNUMBER n 1", "open"},
        // A comment cut the quotes: the text before it stays.
        {"TEXT t \"http://x.org\"", "http:"},
        // Quotes closed; a quote inside is even.
        {"TEXT t \"a \"b\" c\"", "a \"b\" c"},
        {"TEXT t done\"", "done"},
        // The last block closed on the last line, without its line end.
        {"Item i\r\n{\r\n}\r\nTEXT t last", "last"},
    };
    for (const Case& locCase : locCases)
    {
        VelkNameSpace locSpace;
        ASSERT_TRUE(CompileGame(locSpace, locCase.myBody)) << locCase.myBody << "\n" << myLog.AllErrors();
        VelkType* locRoot = locSpace.GetInstance("t", false);
        ASSERT_NE(locRoot, nullptr) << locCase.myBody;
        EXPECT_STREQ(locRoot->GetValue().GetBuffer(), locCase.myValue);
        EXPECT_TRUE(myLog.myErrors.empty()) << locCase.myBody << "\n" << myLog.AllErrors();
    }
    VelkNameSpace locSpace;
    EXPECT_TRUE(CompileGame(locSpace, "Item i\r\n{\r\n}"));
}

TEST_F(VelkWholeTest, StrayBracesAreReportedWithTheirLines)
{
    // Skipped as before, so the file reads as it did, but never without a word.
    VelkNameSpace locClean;
    ASSERT_TRUE(CompileGame(locClean, GAME_BODY));
    const std::string locCleanText = WriteText(locClean);

    VelkNameSpace locSpace;
    ASSERT_TRUE(CompileGame(locSpace, "}\r\nItem first\r\n{\r\n{\r\n\ttitle \"hello world\"\r\n"
                                      "\tpos\r\n\t{\r\n\t{\r\n\t\tx 10\r\n\t}\r\n\tlabel \"Some label\"\r\n}\r\n"
                                      "{\r\n}\r\n" +
                                          GAME_REST))
        << myLog.AllErrors();
    EXPECT_EQ(WriteText(locSpace), locCleanText);
    const std::vector<std::string> locWant = {
        "ERROR: (" + myPath + ", line 2) Stray '}' outside any block; the line is skipped",
        "ERROR: (" + myPath + ", line 5) Stray '{' in the block of 'first' of class type 'Item'; the line is skipped",
        "ERROR: (" + myPath + ", line 9) Stray '{' in the block of 'pos' of class type 'Point'; the line is skipped",
        "ERROR: (" + myPath + ", line 14) Stray '{' outside any block; the line is skipped",
        "ERROR: (" + myPath + ", line 15) Stray '}' outside any block; the line is skipped",
    };
    EXPECT_EQ(myLog.myErrors, locWant);
}
