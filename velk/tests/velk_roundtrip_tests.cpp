// .velk text that always reads back as written: compile, write, compile again
// gives the same namespace and the same bytes, or the save is refused.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const TRIP_FRUIT =
    "TYPE Size\r\n{\r\nSmall\r\nVery Large\r\n\"Quoted\"\r\n}\r\n"
    "TYPE Nothing\r\n{\r\n}\r\n"
    "CLASS Point\r\n{\r\nNUMBER x 1\r\nTEXT tag\r\n}\r\n"
    "CLASS Holder\r\n{\r\nTEXT text\r\nLOCTEXT label\r\nSize size\r\nPoint pos\r\nHolder* other\r\nFILE file\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nTEXT\r\nPoint\r\nHolder*\r\n}\r\n";

// Every object as "path type value", depth first: what a namespace holds,
// independent of how it is written.
void Dump(VelkType* anObject, const std::string& aPrefix, std::string& anOut)
{
    const std::string locPath = aPrefix.empty() ? anObject->GetName().GetBuffer()
                                                : aPrefix + "." + anObject->GetName().GetBuffer();
    anOut += locPath + " " + anObject->GetTypeName().GetBuffer();
    if (anObject->GetNumMembers() == 0)
        anOut += std::string(" [") + anObject->GetValue().GetBuffer() + "]";
    anOut += "\n";
    for (int locIndex = 0; locIndex < anObject->GetNumMembers(); locIndex++)
        Dump(anObject->GetMemberAt(locIndex), locPath, anOut);
}

std::string Dump(VelkNameSpace& aSpace)
{
    QC_List<VelkType*> locRoots;
    aSpace.GetInstances(locRoots, true);
    std::string locOut;
    QC_ListIterator<VelkType*> locIter(&locRoots);
    for (locIter.First(); !locIter.IsDone(); locIter.Next())
        Dump(locIter.GetCurrent(), "", locOut);
    return locOut;
}

std::string WithLf(std::string aText)
{
    std::string locOut;
    for (char locChar : aText)
        if (locChar != '\r')
            locOut += locChar;
    return locOut;
}

class VelkRoundTripTest : public VelkTest
{
protected:
    void SetUp() override
    {
        VelkTest::SetUp();
        myFruit = WriteDisk("trip.fruit", TRIP_FRUIT);
    }

    bool Compile(VelkNameSpace& aSpace, const std::string& aText)
    {
        return VelkCompiler::CompileText(aSpace, "trip.velk", aText.data(), aText.size(), &myTypes, nullptr);
    }

    // Compile, write, compile again: the same namespace; write again: the same bytes.
    void ExpectRoundTrip(const std::string& aSource, const std::string& aCase)
    {
        VelkNameSpace locFirst;
        ASSERT_TRUE(Compile(locFirst, aSource)) << aCase << "\n" << myLog.AllErrors();
        VelkOutput locText;
        ASSERT_TRUE(locFirst.WriteTo(locText, "trip.velk")) << aCase << "\n" << myLog.AllErrors();
        VelkNameSpace locSecond;
        ASSERT_TRUE(Compile(locSecond, locText.GetText())) << aCase << "\n" << myLog.AllErrors();
        EXPECT_EQ(Dump(locSecond), Dump(locFirst)) << aCase;
        VelkOutput locAgain;
        ASSERT_TRUE(locSecond.WriteTo(locAgain, "trip.velk")) << aCase;
        EXPECT_EQ(locAgain.GetText(), locText.GetText()) << aCase;
    }

    // A value given by the editor is saved and read back whole.
    void ExpectValueSurvives(const char* aTypeName, const std::string& aValue)
    {
        VelkNameSpace locSpace;
        ASSERT_TRUE(Compile(locSpace, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n}\r\n"
                                      "Script s\r\n{\r\n\tTEXT TEXT(0) x\r\n}\r\n"));
        VelkType* locRoot = myTypes.GetType(aTypeName)->CloneAs("root");
        ASSERT_TRUE(locRoot->AssignValue(aValue.c_str()));
        ASSERT_TRUE(locSpace.AddInstance(locRoot));
        ASSERT_TRUE(locSpace.GetInstance("h.text", false)->AssignValue(aValue.c_str()));
        ASSERT_TRUE(locSpace.GetInstance("s.TEXT(0)", false)->AssignValue(aValue.c_str()));
        const std::string locExpected = locRoot->GetValue().GetBuffer();

        ASSERT_TRUE(locSpace.Write(PathOf("value.velk").c_str())) << myLog.AllErrors();
        VelkNameSpace locBack;
        ASSERT_TRUE(Compile(locBack, ReadDisk("value.velk"))) << myLog.AllErrors();
        EXPECT_EQ(locBack.GetInstance("root", false)->GetValue().GetBuffer(), locExpected);
        EXPECT_EQ(locBack.GetInstance("h.text", false)->GetValue().GetBuffer(), locExpected);
        EXPECT_EQ(locBack.GetInstance("s.TEXT(0)", false)->GetValue().GetBuffer(), locExpected);
        EXPECT_EQ(Dump(locBack), Dump(locSpace));
    }

    std::string myFruit;
    VelkTypeManager myTypes;
};
}

TEST_F(VelkRoundTripTest, SourcesReadBackAsWritten)
{
    const std::string locInclude = "INCLUDE " + myFruit + "\r\n";
    const std::string locBody =
        "Holder plain\r\n{\r\n\ttext \"two words\"\r\n\tlabel \"a\tb\"\r\n\tsize \"Very Large\"\r\n"
        "\tpos\r\n\t{\r\n\t\ttag \"\"both\"\"\r\n\t}\r\n\tother quoted\r\n\tfile dir\\sub\\f.tga\r\n}\r\n"
        "Holder quoted\r\n{\r\n\ttext \"\"\"\r\n\tlabel \"\"open\"\r\n\tsize \"\"Quoted\"\"\r\n}\r\n"
        "TEXT lead \"  blanks around  \"\r\n"
        "TEXT latin \"caf\xE9 \xE0 la cr\xE8me\"\r\n"
        "TEXT url \"http://cut here\"\r\n"
        "TEXT tab \"a\tb\"\r\n"
        "TEXT cr \"lone\rcr\"\r\n"
        "LOCTEXT empty <empty>\r\n"
        "TEXT long \"" + std::string(3900, 'x') + " y\"\r\n"
        "Script s\r\n{\r\n\tTEXT TEXT(4) \"in a script\"\r\n\tPoint Point(2)\r\n\t{\r\n\t\tx 9\r\n\t}\r\n"
        "\tHolder* Holder*(7) plain\r\n}\r\n";
    ExpectRoundTrip(locInclude + locBody, "CR LF");
    ExpectRoundTrip(WithLf(locInclude + locBody), "LF");
    ExpectRoundTrip("\xEF\xBB\xBF" + locInclude + locBody, "byte-order mark");

    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, locInclude + locBody)) << myLog.AllErrors();
    EXPECT_STREQ(locSpace.GetInstance("tab", false)->GetValue().GetBuffer(), "a\tb");
    EXPECT_STREQ(locSpace.GetInstance("quoted.text", false)->GetValue().GetBuffer(), "\"");
    EXPECT_STREQ(locSpace.GetInstance("plain.pos.tag", false)->GetValue().GetBuffer(), "\"both\"");
    EXPECT_STREQ(locSpace.GetInstance("quoted.size", false)->GetValue().GetBuffer(), "\"Quoted\"");
    EXPECT_STREQ(locSpace.GetInstance("url", false)->GetValue().GetBuffer(), "http:");
    EXPECT_STREQ(locSpace.GetInstance("lead", false)->GetValue().GetBuffer(), "  blanks around  ");
}

TEST_F(VelkRoundTripTest, EditedValuesAreQuotedSoTheyComeBackWhole)
{
    const std::vector<std::string> locValues = {
        "a\tb", "tab\tand space", "\"", "\"both\"", "\"open", "end\"", " lead", "trail ", "\t", "lone\rcr",
        "caf\xE9 \xFF", "/single/slashes/", "{", "}", std::string(4000, 'v'),
    };
    for (const std::string& locValue : locValues)
    {
        SCOPED_TRACE(locValue.substr(0, 40));
        ExpectValueSurvives("TEXT", locValue);
    }
}

TEST_F(VelkRoundTripTest, SavesThatCannotReadBackAreRefusedNamingTheInstance)
{
    struct Case
    {
        const char* myWhat;
        std::string myValue;
        std::string myName;
        const char* myError;
    } locCases[] = {
        {"comment", "http://host", "h", "Cannot write 'text' of type 'TEXT': its value holds a line break or \"//\""},
        {"comment at the end", "ends//", "h", "Cannot write 'text' of type 'TEXT': its value holds a line break or \"//\""},
        {"comment alone", "//", "h", "Cannot write 'text' of type 'TEXT': its value holds a line break or \"//\""},
        {"line feed", "two\nlines", "h", "Cannot write 'text' of type 'TEXT': its value holds a line break"},
        {"cr lf", "two\r\nlines", "h", "Cannot write 'text' of type 'TEXT': its value holds a line break"},
        {"long value", std::string(4200, 'w'), "h", "Cannot write 'text' of type 'TEXT': its line would be 4205 characters"},
        {"blank in name", "v", "has blank", "Cannot write 'has blank' of type 'Holder': a name must be one word"},
        {"tab in name", "v", "has\ttab", "Cannot write 'has\ttab' of type 'Holder': a name must be one word"},
        {"brace name", "v", "}", "Cannot write '}' of type 'Holder'"},
        {"quoted name", "v", "\"q\"", "Cannot write '\"q\"' of type 'Holder'"},
    };
    const std::string locOld = WriteDisk("keep.velk", "old contents");
    for (const Case& locCase : locCases)
    {
        SCOPED_TRACE(locCase.myWhat);
        myLog.myErrors.clear();
        VelkNameSpace locSpace;
        ASSERT_TRUE(Compile(locSpace, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n}\r\n"));
        VelkType* locHolder = locSpace.GetInstance("h", false);
        ASSERT_TRUE(locHolder->FindMember("text")->AssignValue(locCase.myValue.c_str()));
        locHolder->SetName(locCase.myName.c_str());
        EXPECT_FALSE(locSpace.Write(locOld.c_str()));
        EXPECT_TRUE(myLog.HasError(locCase.myError)) << myLog.AllErrors();
        EXPECT_EQ(ReadDisk("keep.velk"), "old contents");
    }

    // A class line too long to read.
    myLog.myErrors.clear();
    VelkNameSpace locLongName;
    ASSERT_TRUE(Compile(locLongName, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n}\r\n"));
    VelkType* locLongRoot = locLongName.GetInstance("h", false);
    locLongRoot->SetName(std::string(4200, 'n').c_str());
    EXPECT_FALSE(locLongName.Write(locOld.c_str()));
    EXPECT_TRUE(myLog.HasError("Cannot write '" + std::string(200, 'n'))) << myLog.AllErrors();
    EXPECT_EQ(ReadDisk("keep.velk"), "old contents");
    // "Holder " and the name: 4095 characters are read back.
    locLongRoot->SetName(std::string(4088, 'n').c_str());
    EXPECT_TRUE(locLongName.Write(locOld.c_str())) << myLog.AllErrors();
    EXPECT_NE(ReadDisk("keep.velk").find("\r\nHolder " + std::string(4088, 'n') + "\r\n{\r\n"), std::string::npos);
    WriteDisk("keep.velk", "old contents");

    // A scalar member's name is checked as a root's is.
    myLog.myErrors.clear();
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "INCLUDE " + myFruit + "\r\nScript s\r\n{\r\n\tTEXT text v\r\n}\r\n"));
    locSpace.GetInstance("s.text", false)->SetName("two words");
    EXPECT_FALSE(locSpace.Write(locOld.c_str()));
    EXPECT_TRUE(myLog.HasError("Cannot write 'two words' of type 'TEXT': a name must be one word")) << myLog.AllErrors();
}

TEST_F(VelkRoundTripTest, ClassMembersRenamedByTheirValueLineAreRefused)
{
    // Two words without quotes: the member takes the first as its name, which
    // its class does not declare, so the written line would be an unknown member.
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n\ttext two words\r\n}\r\n"
                                  "Script s\r\n{\r\n\tTEXT any name\r\n}\r\n"));
    EXPECT_STREQ(locSpace.GetInstance("h.two", false)->GetValue().GetBuffer(), "words");
    VelkOutput locOutput;
    EXPECT_FALSE(locSpace.WriteTo(locOutput, "renamed.velk"));
    EXPECT_TRUE(myLog.HasError("Cannot write member 'two' of 'h': class type 'Holder' declares no member of that name"))
        << myLog.AllErrors();

    // Renamed onto another member's name: the line would go to that member.
    myLog.myErrors.clear();
    VelkNameSpace locTwice;
    ASSERT_TRUE(Compile(locTwice, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n\tfile text x\r\n}\r\n"));
    EXPECT_FALSE(locTwice.WriteTo(locOutput, "twice.velk"));
    EXPECT_TRUE(myLog.HasError("Cannot write member 'text' of 'h': an earlier member has that name"))
        << myLog.AllErrors();

    // An enumerated value the reader would refuse.
    myLog.myErrors.clear();
    VelkNameSpace locEnum;
    ASSERT_TRUE(locEnum.AddInstance(myTypes.GetType("Nothing")->CloneAs("none")));
    EXPECT_FALSE(locEnum.WriteTo(locOutput, "enum.velk"));
    EXPECT_TRUE(myLog.HasError("Cannot write 'none' of type 'Nothing': its value '' is not one of the type's values"))
        << myLog.AllErrors();

    // Script-class members carry their own names.
    ExpectRoundTrip("INCLUDE " + myFruit +
                        "\r\nScript s\r\n{\r\n\tTEXT any name\r\n}\r\n",
                    "script member names");
}

TEST_F(VelkRoundTripTest, ScriptMemberLinesThatOutgrowALineAreRefused)
{
    // The member line carries its type and generated name too: a value that
    // fits its source line no longer fits the written one.
    const std::string locValue(4095 - 12, 'z');
    const std::string locText = "INCLUDE " + myFruit + "\r\nScript s\r\n{\r\n\tTEXT " + locValue + "\r\n}\r\n";
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, locText)) << myLog.AllErrors();
    VelkOutput locOutput;
    EXPECT_FALSE(locSpace.WriteTo(locOutput, "script.velk"));
    EXPECT_TRUE(myLog.HasError("Cannot write 'TEXT(")) << myLog.AllErrors();
    EXPECT_TRUE(myLog.HasError("more than the 4095 a line holds")) << myLog.AllErrors();
}

TEST_F(VelkRoundTripTest, LinesTooLongToReadAreCompileErrorsWithTheirLine)
{
    const std::string locVelk = WriteDisk(
        "long.velk", "INCLUDE " + myFruit + "\r\n\r\nTEXT ok short\r\nTEXT cut \"" + std::string(5000, 'c') + "\"\r\n");
    VelkNameSpace locSpace;
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locVelk.c_str(), &myTypes, nullptr));
    EXPECT_TRUE(myLog.HasError("ERROR: (" + locVelk + ", line 4) Line longer than 4095 characters"))
        << myLog.AllErrors();
    EXPECT_EQ(locSpace.GetInstance("cut", false), nullptr);

    // Inside a block and in a type file alike.
    myLog.myErrors.clear();
    const std::string locBlock = WriteDisk(
        "block.velk", "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n\ttext " + std::string(4096, 'b') + "\r\n}\r\n");
    VelkNameSpace locBlockSpace;
    EXPECT_FALSE(VelkCompiler::Compile(locBlockSpace, locBlock.c_str(), &myTypes, nullptr));
    EXPECT_TRUE(myLog.HasError("(" + locBlock + ", line 4) Line longer than 4095")) << myLog.AllErrors();

    myLog.myErrors.clear();
    const std::string locFruit = WriteDisk("long.fruit", "TYPE T\r\n{\r\n" + std::string(4200, 't') + "\r\n}\r\n");
    VelkTypeManager locTypes;
    EXPECT_FALSE(locTypes.Compile(locFruit.c_str()));
    EXPECT_TRUE(myLog.HasError("(" + locFruit + ", line 3) Line longer than 4095")) << myLog.AllErrors();

    // A line of exactly the limit is whole, and is written whole; one more
    // character is refused by the writer.
    VelkNameSpace locExact;
    const std::string locExactText = "INCLUDE " + myFruit + "\r\nTEXT exact " + std::string(4095 - 11, 'e') +
                                     "\r\nPoint p\r\n{\r\n\tx 4\r\n}\r\n";
    ASSERT_TRUE(Compile(locExact, locExactText)) << myLog.AllErrors();
    VelkOutput locWritten;
    ASSERT_TRUE(locExact.WriteTo(locWritten, "exact.velk")) << myLog.AllErrors();
    EXPECT_EQ(locWritten.GetText(), "INCLUDE " + myFruit + "\r\n\r\nTEXT exact " + std::string(4095 - 11, 'e') +
                                        "\r\n\r\nPoint p\r\n{\r\n\tx 4\r\n\ttag <empty>\r\n}\r\n\r\n");
    ASSERT_TRUE(locExact.GetInstance("exact", false)->AssignValue(std::string(4095 - 10, 'e').c_str()));
    EXPECT_FALSE(locExact.WriteTo(locWritten, "exact.velk"));
    EXPECT_TRUE(myLog.HasError("Cannot write 'exact' of type 'TEXT': its line would be 4096 characters long"))
        << myLog.AllErrors();
}

TEST_F(VelkRoundTripTest, ByteOrderMarkIsSkippedInBothTextForms)
{
    const std::string locFruit = WriteDisk("bom.fruit", "\xEF\xBB\xBF" "CLASS Pair\r\n{\r\nNUMBER a\r\n}\r\n");
    const std::string locVelk =
        WriteDisk("bom.velk", "\xEF\xBB\xBF" "INCLUDE " + locFruit + "\r\nPair p\r\n{\r\n\ta 3\r\n}\r\nBogus x y\r\n");
    VelkNameSpace locSpace;
    EXPECT_FALSE(VelkCompiler::Compile(locSpace, locVelk.c_str(), &myTypes, nullptr));
    EXPECT_STREQ(locSpace.GetInstance("p.a", false)->GetValue().GetBuffer(), "3");
    // The mark takes no line of its own.
    EXPECT_TRUE(myLog.HasError("(" + locVelk + ", line 6) Unknown type 'Bogus'")) << myLog.AllErrors();
}

TEST_F(VelkRoundTripTest, OverlongMemberPathsAreRefusedNotAsserted)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n}\r\n"));
    VelkType* locHolder = locSpace.GetInstance("h", false);
    VelkType* locPos = locHolder->FindMember("pos");
    VelkType* locText = locHolder->FindMember("text");
    VelkType* locTag = locPos->FindMember("tag");
    locHolder->SetName(std::string(40000, 'r').c_str());
    locPos->SetName(std::string(30000, 'p').c_str());
    locText->SetName(std::string(30000, 't').c_str());
    QC_String locPath;
    EXPECT_FALSE(locSpace.GetInstancePath(locText, locPath));
    EXPECT_FALSE(locSpace.GetInstancePath(locTag, locPath));
    locPos->SetName("p");
    ASSERT_TRUE(locSpace.GetInstancePath(locTag, locPath));
    EXPECT_EQ(locPath.GetLength(), 40000 + 6);
}

// The text a sink takes in pieces: never held whole, nothing lost, duplicated or reordered
// across the small gathering buffer, and Clear forgets all of it.
TEST(VelkOutputPieces, ALongTextReachesTheSinkInOrderWithoutBeingHeldWhole)
{
    struct Recorder : VelkOutput::Sink
    {
        std::string myTaken;
        size_t myPieces = 0;
        bool Take(const char* aText, size_t aLength) override
        {
            myTaken.append(aText, aLength);
            ++myPieces;
            return true;
        }
    } locSink;
    VelkOutput locOutput;
    locOutput.SetSink(&locSink, 1000);
    std::string locExpected;
    size_t locMostHeld = 0;
    for (int i = 0; i < 3000; i++)
    {
        const std::string locPiece = std::to_string(i) + (i % 7 == 0 ? std::string(900, 'w') : ";");
        ASSERT_TRUE(locOutput.Put(locPiece.c_str(), locPiece.size()));
        locExpected += locPiece;
        locMostHeld = std::max(locMostHeld, locOutput.GetSize() - locSink.myTaken.size());
    }
    // The piece size, the gathering buffer and one put.
    EXPECT_LT(locMostHeld, 1000u + 4096u + 910u);
    EXPECT_GT(locSink.myPieces, 50u);
    EXPECT_EQ(locOutput.GetSize(), locExpected.size());
    ASSERT_TRUE(locOutput.FlushToSink());
    EXPECT_EQ(locSink.myTaken, locExpected);

    locOutput.SetSink(nullptr, 0);
    ASSERT_TRUE(locOutput.Put(std::string(5000, 'x').c_str()));
    ASSERT_EQ(locOutput.GetText().size(), 5000u);
    locOutput.Clear();
    EXPECT_EQ(locOutput.GetSize(), 0u);
    ASSERT_TRUE(locOutput.Put("ab", 2) && locOutput.Put("c"));
    EXPECT_EQ(locOutput.GetText(), "abc");
}

TEST_F(VelkRoundTripTest, ScalarLinesAreWrittenWholeUpToTheLineLimitAtAnyIndent)
{
    // "text " and the value, in quotes when it holds a blank: 4095 characters
    // are read back, one more is refused.
    struct Case
    {
        std::string myValue;
        bool myWritten;
    } locCases[] = {
        {std::string(4090, 'a'), true},
        {std::string(4091, 'a'), false},
        {"b " + std::string(4086, 'b'), true},
        {"b " + std::string(4087, 'b'), false},
        {"t\tab", true},
        {"tail\"", true},
        {"\"head", true},
    };
    for (const Case& locCase : locCases)
    {
        SCOPED_TRACE(locCase.myValue.substr(0, 8) + " " + std::to_string(locCase.myValue.size()));
        myLog.myErrors.clear();
        VelkNameSpace locSpace;
        ASSERT_TRUE(Compile(locSpace, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n}\r\n"));
        ASSERT_TRUE(locSpace.GetInstance("h.text", false)->AssignValue(locCase.myValue.c_str()));
        VelkOutput locText;
        ASSERT_EQ(locSpace.WriteTo(locText, "limit.velk"), locCase.myWritten) << myLog.AllErrors();
        if (!locCase.myWritten)
        {
            EXPECT_TRUE(myLog.HasError("Cannot write 'text' of type 'TEXT': its line would be 4096 characters long"))
                << myLog.AllErrors();
            continue;
        }
        const bool locQuoted = locCase.myValue.find_first_of(" \t\"") != std::string::npos;
        const std::string locLine =
            "\r\n{\r\n\ttext " + (locQuoted ? "\"" + locCase.myValue + "\"" : locCase.myValue) + "\r\n\tlabel ";
        EXPECT_NE(locText.GetText().find(locLine), std::string::npos);
        VelkNameSpace locBack;
        ASSERT_TRUE(Compile(locBack, locText.GetText())) << myLog.AllErrors();
        EXPECT_EQ(Dump(locBack), Dump(locSpace));
    }

    // A root scalar carries its type and a blank line after it.
    VelkNameSpace locRoots;
    ASSERT_TRUE(Compile(locRoots, "INCLUDE " + myFruit + "\r\nTEXT motto \"a b\"\r\nNUMBER n 7\r\n"));
    VelkOutput locRootText;
    ASSERT_TRUE(locRoots.WriteTo(locRootText, "roots.velk"));
    EXPECT_EQ(locRootText.GetText(), "INCLUDE " + myFruit + "\r\n\r\nTEXT motto \"a b\"\r\n\r\nNUMBER n 7\r\n\r\n");

    // Any indent a caller gives: blanks, and TABs deeper than the writer keeps
    // made, with a line longer than the output's small buffer.
    VelkNameSpace locDeep;
    ASSERT_TRUE(Compile(locDeep, "INCLUDE " + myFruit + "\r\nHolder h\r\n{\r\n\tpos\r\n\t{\r\n\t\tx 3\r\n\t}\r\n}\r\n"));
    VelkType* locHolder = locDeep.GetInstance("h", false);
    const std::string locLong(4090, 'L');
    ASSERT_TRUE(locHolder->FindMember("text")->AssignValue(locLong.c_str()));
    for (const std::string& locIndent : {std::string("  "), std::string(40, '\t'), std::string(31, '\t')})
    {
        SCOPED_TRACE(std::to_string(locIndent.size()));
        VelkOutput locOut;
        ASSERT_TRUE(locHolder->Write(locOut, QC_String(locIndent.c_str()), true)) << myLog.AllErrors();
        const std::string& locGot = locOut.GetText();
        EXPECT_EQ(locGot.rfind(locIndent + "Holder h\r\n" + locIndent + "{\r\n", 0), 0u) << locGot.substr(0, 60);
        EXPECT_NE(locGot.find("\r\n" + locIndent + "{\r\n" + locIndent + "\ttext " + locLong + "\r\n" + locIndent +
                              "\tlabel "),
                  std::string::npos);
        EXPECT_NE(locGot.find("\r\n" + locIndent + "\tpos\r\n" + locIndent + "\t{\r\n" + locIndent + "\t\tx 3\r\n" +
                              locIndent + "\t\ttag <empty>\r\n" + locIndent + "\t}\r\n\r\n"),
                  std::string::npos)
            << locGot.substr(4100);
        EXPECT_EQ(locGot.substr(locGot.size() - locIndent.size() - 5), locIndent + "}\r\n\r\n");
    }
}

TEST(VelkOutputPieces, ClaimedRoomKeepsItsPlaceAmongPutsAndReachesTheSink)
{
    struct Recorder : VelkOutput::Sink
    {
        std::string myTaken;
        bool Take(const char* aText, size_t aLength) override
        {
            myTaken.append(aText, aLength);
            return true;
        }
    } locSink;
    VelkOutput locOutput;
    locOutput.SetSink(&locSink, 1000);
    std::string locExpected;
    for (int i = 0; i < 2000; i++)
    {
        const std::string locPiece = "<" + std::to_string(i) + std::string(size_t(i % 13) * 37, 'c') + ">";
        if (i % 3 == 0)
        {
            char* locRoom = locOutput.Claim(locPiece.size());
            ASSERT_NE(locRoom, nullptr);
            memcpy(locRoom, locPiece.data(), locPiece.size());
        }
        else
            ASSERT_TRUE(locOutput.Put(locPiece.c_str(), locPiece.size()));
        locExpected += locPiece;
        // Claimed room goes on in pieces as puts do: little is held at any time.
        ASSERT_LT(locOutput.GetSize() - locSink.myTaken.size(), 1000u + 4096u + 500u);
    }
    EXPECT_EQ(locOutput.Claim(4097), nullptr);
    char* locWhole = locOutput.Claim(4096);
    ASSERT_NE(locWhole, nullptr);
    memset(locWhole, 'W', 4096);
    locExpected += std::string(4096, 'W');
    EXPECT_EQ(locOutput.GetSize(), locExpected.size());
    ASSERT_TRUE(locOutput.FlushToSink());
    EXPECT_EQ(locSink.myTaken, locExpected);
}
