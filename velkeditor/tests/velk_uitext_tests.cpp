// Velk text to and from the UI layer's UTF-8.
#include <gtest/gtest.h>

#include "velkeditor/velk_uitext.h"

#include <string>
#include <utility>

TEST(VelkUIText, EveryByteRoundTripsAndLatin1IsTwoUtf8Bytes)
{
    std::string locAll;
    for (int i = 1; i < 256; i++)
        locAll += char(i);
    std::string locShown = VelkText_ToUI(locAll.c_str());
    EXPECT_EQ(locShown.size(), 127u + 2u * 128u);
    EXPECT_EQ(VelkText_ToUI("Sp\xe4her \xe9t\xe9"), "Sp\xc3\xa4her \xc3\xa9t\xc3\xa9");
    QC_String locBack;
    ASSERT_TRUE(VelkText_FromUI(locShown, locBack));
    EXPECT_EQ(std::string(locBack.GetBuffer()), locAll);
    // Typed text: one byte a character.
    ASSERT_TRUE(VelkText_FromUI("Gr\xc3\xb6\xc3\x9f" "e", locBack));
    EXPECT_EQ(std::string(locBack.GetBuffer()), "Gr\xf6\xdf" "e");
    EXPECT_EQ(VelkText_ToUI(nullptr), "");
}

TEST(VelkUIText, LogLinesKeepUtf8PathsAndShowLatin1Names)
{
    // A path of the system, valid UTF-8: as it is.
    EXPECT_EQ(VelkText_LineToUI("Successfully converted 'caf\xc3\xa9.velk' to tez"),
              "Successfully converted 'caf\xc3\xa9.velk' to tez");
    // A Velk name in Latin-1 (no UTF-8), alone or beside a UTF-8 path: Latin-1.
    EXPECT_EQ(VelkText_LineToUI("Rename: '\xe9" "claireur' is taken"), "Rename: '\xc3\xa9" "claireur' is taken");
    EXPECT_EQ(VelkText_LineToUI("'\xe9t\xe9' in 'caf\xc3\xa9.velk'"), "'\xc3\xa9t\xc3\xa9' in 'caf\xc3\x83\xc2\xa9.velk'");
    // A sequence cut at the end is no UTF-8.
    EXPECT_EQ(VelkText_LineToUI("x\xc3"), "x\xc3\x83");
    EXPECT_EQ(VelkText_LineToUI(nullptr), "");
}

TEST(VelkUIText, TextVelkCannotHoldIsRefusedAndNamed)
{
    QC_String locOut("kept");
    std::string locWhy;
    // The euro sign, CJK, an emoji: outside Latin-1; the first is named.
    EXPECT_FALSE(VelkText_FromUI("5 \xe2\x82\xac and \xe4\xb8\xad", locOut, &locWhy));
    EXPECT_EQ(locWhy, "'\xe2\x82\xac' is not a character of ISO 8859-1 (Latin-1), the only characters Velk text holds.");
    // The message names a character of 2, 3 or 4 bytes whole, and a byte that is
    // no UTF-8 (a lone continuation, a cut sequence, an overlong form, past U+10FFFF) alone.
    const std::pair<const char*, std::string> locCases[] = {
        {"x\xce\xb1y", "'\xce\xb1' is not"},
        {"\xe0\xa4\x85", "'\xe0\xa4\x85' is not"},
        {"\xf0\x9f\x98\x80", "'\xf0\x9f\x98\x80' is not"},
        {"a\x80", "The byte 0x80 is"},
        {"a\xc3", "The byte 0xC3 is"},
        {"\xc3(x", "The byte 0xC3 is"},
        {"\xc0\x80", "The byte 0xC0 is"},
        {"\xe2\x82", "The byte 0xE2 is"},
        {"\xf5\x80\x80\x80", "The byte 0xF5 is"},
    };
    for (const auto& [locBad, locStart] : locCases)
    {
        EXPECT_FALSE(VelkText_FromUI(locBad, locOut, &locWhy)) << locBad;
        EXPECT_EQ(locWhy.substr(0, locStart.size()), locStart) << locBad;
    }
    EXPECT_EQ(locOut, "kept");
    // Longer than a QC_String holds.
    EXPECT_TRUE(VelkText_FromUI(std::string(65534, 'a'), locOut));
    EXPECT_FALSE(VelkText_FromUI(std::string(65535, 'a'), locOut, &locWhy));
    EXPECT_NE(locWhy.find("at most 65534"), std::string::npos);
    // Counted in Latin-1 characters, not in UTF-8 bytes.
    std::string locAccented;
    for (int i = 0; i < 40000; i++)
        locAccented += "\xc3\xa9";
    ASSERT_TRUE(VelkText_FromUI(locAccented, locOut));
    EXPECT_EQ(locOut.GetLength(), 40000);
}
