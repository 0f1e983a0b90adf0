// QC_String: the length word, the shared empty buffer, compares, searches,
// copies and formatting.
#include "qcommon/qc_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

static int locLengthWord(const QC_String& aString)
{
    uint16_t locLength;
    memcpy(&locLength, aString.GetBuffer() - 2, 2);
    return locLength;
}

TEST(QC_StringTest, EmptyStringsShareOneBufferUntilGivenTheirOwn)
{
    QC_String locDefault;
    QC_String locFromNull((const char*)nullptr);
    EXPECT_EQ(locDefault.GetBuffer(), QC_String::GetSharedEmptyText());
    EXPECT_EQ(locFromNull.GetBuffer(), QC_String::GetSharedEmptyText());
    EXPECT_EQ(locDefault.GetLength(), 0);

    QC_String locAssignedEmpty;
    locAssignedEmpty = "";
    EXPECT_NE(locAssignedEmpty.GetBuffer(), QC_String::GetSharedEmptyText());
    EXPECT_EQ(locAssignedEmpty.GetLength(), 0);
    QC_String locCopyOfEmpty(locDefault);
    EXPECT_NE(locCopyOfEmpty.GetBuffer(), QC_String::GetSharedEmptyText());

    QC_String locText("abc");
    locText = (const char*)nullptr;
    EXPECT_EQ(locText.GetBuffer(), QC_String::GetSharedEmptyText());
    locText.~QC_String();
    EXPECT_EQ(locText.GetBuffer(), QC_String::GetSharedEmptyText());
    new (&locText) QC_String;
    // The shared buffer stays an empty text whatever happened above.
    EXPECT_STREQ(QC_String::GetSharedEmptyText(), "");
    EXPECT_EQ(locLengthWord(locDefault), 0);
}

TEST(QC_StringTest, LengthWordStandsBeforeTheTextUpTo65534)
{
    std::string locLong(65534, 'x');
    QC_String locString(locLong.c_str());
    EXPECT_EQ(locString.GetLength(), 65534);
    EXPECT_EQ(locLengthWord(locString), 65534);
    EXPECT_EQ(locString.GetBuffer()[65534], 0);

    QC_String locCopy(locString);
    EXPECT_EQ(locCopy.GetLength(), 65534);
    EXPECT_NE(locCopy.GetBuffer(), locString.GetBuffer());
}

TEST(QC_StringDeathTest, LengthOf65535FailsTheSizeAssertion)
{
    std::string locTooLong(65535, 'x');
    EXPECT_EXIT({ QC_String locString(locTooLong.c_str()); }, testing::ExitedWithCode(102),
                "Assertion \\(.*65535\\) failed");
    EXPECT_EXIT({ QC_String locString; locString.Allocate(65535); }, testing::ExitedWithCode(102),
                "Assertion \\(aSize >= 0 && aSize < 65535\\) failed in .*qc_string.cpp, line [0-9]+");
    EXPECT_EXIT({ QC_String locString("abc"); locString.Left(-1); }, testing::ExitedWithCode(102),
                "aSize >= 0 && aSize < 65535");
}

TEST(QC_StringTest, AllocateGivesAZeroedBufferToFill)
{
    QC_String locString("old");
    char* locBuffer = locString.Allocate(4);
    EXPECT_EQ(locString.GetLength(), 4);
    EXPECT_EQ(memcmp(locBuffer, "\0\0\0\0", 5), 0);
    memcpy(locBuffer, "abcd", 4);
    EXPECT_TRUE(locString == "abcd");
}

TEST(QC_StringTest, ComparesByteOrderAndIgnoresCaseOnRequest)
{
    QC_String locLower("abc");
    QC_String locUpper("ABC");
    EXPECT_FALSE(locLower == locUpper);
    EXPECT_TRUE(locLower != "ABC");
    EXPECT_EQ(locLower.CompareNoCase(locUpper), 0);
    EXPECT_EQ(locLower.CompareNoCase("aBc"), 0);
    EXPECT_LT(locLower.CompareNoCase("ABD"), 0);
    EXPECT_GT(QC_String("b").CompareNoCase("A"), 0);
    EXPECT_TRUE(locUpper < locLower);
    EXPECT_TRUE(locLower > locUpper);
    EXPECT_TRUE(QC_String("ab") < QC_String("abc"));
    EXPECT_TRUE(QC_String() == "");
    EXPECT_TRUE(QC_String() == (const char*)nullptr);
    // Bytes above 127 sort after ASCII, as unsigned bytes.
    EXPECT_TRUE(QC_String("z") < QC_String("\xe9"));
}

TEST(QC_StringTest, SearchesAnswerIndexOrMinusOne)
{
    QC_String locAbc("abc");
    EXPECT_EQ(locAbc.Find("xyz"), -1);
    EXPECT_EQ(locAbc.Find(""), 0);
    EXPECT_EQ(locAbc.Find("bc"), 1);
    EXPECT_EQ(locAbc.Find('c'), 2);
    EXPECT_EQ(locAbc.Find('z'), -1);
    QC_String locAbca("abca");
    EXPECT_EQ(locAbca.ReverseFind('a'), 3);
    EXPECT_EQ(locAbca.ReverseFind('\0'), 4);
    EXPECT_EQ(locAbca.ReverseFind('q'), -1);
    EXPECT_EQ(QC_String().Find('a'), -1);
    // The terminator is not among the characters searched, whatever ReverseFind says.
    EXPECT_EQ(locAbc.Find('\0'), -1);
    EXPECT_EQ(QC_String("").Find('\0'), -1);
    EXPECT_EQ(QC_String().Find('\0'), -1);
}

TEST(QC_StringTest, ReplaceAndCaseChangeWorkInPlace)
{
    QC_String locBanana("banana");
    EXPECT_EQ(locBanana.Replace('a', 'a'), 0);
    EXPECT_EQ(locBanana.Replace('a', 'b'), 3);
    EXPECT_TRUE(locBanana == "bbnbnb");
    QC_String locMixed("MiXed 12");
    locMixed.MakeUpper();
    EXPECT_TRUE(locMixed == "MIXED 12");
    locMixed.MakeLower();
    EXPECT_TRUE(locMixed == "mixed 12");
    EXPECT_EQ(locMixed.GetLength(), 8);
    QC_String locEmpty;
    locEmpty.MakeUpper();
    EXPECT_EQ(locEmpty.GetBuffer(), QC_String::GetSharedEmptyText());
}

TEST(QC_StringTest, NewStringsLeaveTheReceiverAlone)
{
    QC_String locAbc("abc");
    EXPECT_TRUE(locAbc.Left(10) == "abc");
    EXPECT_TRUE(locAbc.Right(10) == "abc");
    EXPECT_TRUE(locAbc.Right(2) == "bc");
    EXPECT_TRUE(locAbc.Left(1) == "a");
    EXPECT_TRUE(locAbc.Left(0) == "");
    QC_String locSum = locAbc + "def";
    EXPECT_TRUE(locSum == "abcdef");
    EXPECT_EQ(locSum.GetLength(), 6);
    EXPECT_TRUE(locAbc == "abc");
    EXPECT_TRUE((locAbc + nullptr) == "abc");
}

TEST(QC_StringTest, CopiesCarryEmbeddedNulsByLength)
{
    QC_String locString;
    memcpy(locString.Allocate(3), "a\0b", 3);
    QC_String locCopy(locString);
    EXPECT_EQ(locCopy.GetLength(), 3);
    EXPECT_EQ(memcmp(locCopy.GetBuffer(), "a\0b", 4), 0);
    QC_String locRight = locString.Right(1);
    EXPECT_TRUE(locRight == "b");
}

TEST(QC_StringTest, AssignmentsHandleThemselvesAndTheirOwnText)
{
    QC_String locString("hello");
    QC_String& locSame = locString;
    locString = locSame;
    EXPECT_TRUE(locString == "hello");
    locString = locString.GetBuffer();
    EXPECT_TRUE(locString == "hello");
    locString = locString.GetBuffer() + 2;
    EXPECT_TRUE(locString == "llo");
    EXPECT_EQ(locString.GetLength(), 3);
    locString = 'x';
    EXPECT_TRUE(locString == "x");
    locString.SetChar('y');
    EXPECT_TRUE(locString == "y");
    locString.Set("set");
    EXPECT_TRUE(locString == "set");
    locString.Set(nullptr);
    EXPECT_EQ(locString.GetBuffer(), QC_String::GetSharedEmptyText());
}

TEST(QC_StringTest, FormatIsSizedFromTheResult)
{
    QC_String locString;
    locString.Format("%s=%d", "key", 5);
    EXPECT_TRUE(locString == "key=5");
    EXPECT_EQ(locString.GetLength(), 5);

    // Results that outgrow a per-conversion estimate.
    locString.Format("%f", 1e10);
    EXPECT_TRUE(locString == "10000000000.000000");
    locString.Format("%40d|", 7);
    EXPECT_EQ(locString.GetLength(), 41);
    std::string locLong(5000, 'q');
    locString.Format("<%s>", locLong.c_str());
    EXPECT_EQ(locString.GetLength(), 5002);
    locString.Format("%*d", 30, 1);
    EXPECT_EQ(locString.GetLength(), 30);

    // Formatting a string from its own text.
    QC_String locSelf("abc");
    locSelf.Format("%s%s", locSelf.GetBuffer(), locSelf.GetBuffer());
    EXPECT_TRUE(locSelf == "abcabc");

    locString.Format("%s", "");
    EXPECT_EQ(locString.GetLength(), 0);
}
