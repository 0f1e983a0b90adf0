// The name hash, and .loc files written and read back.
#include <string>

#include "platform/os/os_savefile.h"
#include "tez/tests/tez_test_util.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"

namespace
{
const std::string BOM = "\xEF\xBB\xBF";

class TezLocTest : public TezTest
{
protected:
    // Writes a .loc beside "texts.tez" and loads it.
    bool LoadLoc(const std::string& aContents, TezLocDecoder& aDecoder)
    {
        WriteDisk("texts.loc", aContents);
        return aDecoder.Load(PathOf("texts.tez").c_str());
    }
    static std::u16string TextOf(const TezLocDecoder& aDecoder, uint32_t anIndex)
    {
        const QC_LocString* locText = aDecoder.GetText(anIndex);
        return locText ? std::u16string(locText->GetText(), static_cast<size_t>(locText->GetLength())) : u"<none>";
    }
};
}

TEST(TezHashTest, KnownValues)
{
    EXPECT_EQ(TezHash(""), 1u);
    EXPECT_EQ(TezHash("abc"), 38600999u);
    // Bytes count as unsigned, and the sums are reduced only at the end.
    EXPECT_EQ(TezHash("\xff"), (256u) | (256u << 16));
    EXPECT_EQ(TezHash("aca"), TezHash("bab"));
}

TEST_F(TezLocTest, EncoderWritesMarkKeyTabLatin1AsUtf8AndCrLf)
{
    TezLocEncoder locEncoder;
    EXPECT_EQ(locEncoder.AddKeyValue("menu.title", "caf\xe9"), 0);
    EXPECT_EQ(locEncoder.AddKeyValue("menu.empty", "<empty>"), 1);
    EXPECT_EQ(locEncoder.AddKeyValue("menu.lines", "one\\ntwo \\\\n end"), 2);
    EXPECT_EQ(locEncoder.AddKeyValue("blank", "   "), 3);
    ASSERT_TRUE(locEncoder.Save(PathOf("texts.tez").c_str()));
    EXPECT_EQ(ReadDisk("texts.loc"), BOM + "menu.title\tcaf\xC3\xA9\r\nmenu.empty\t<empty>\r\n"
                                           "menu.lines\tone\\ntwo \\\\n end\r\nblank\t<empty>\r\n");

    TezLocDecoder locDecoder;
    ASSERT_TRUE(locDecoder.Load(PathOf("texts.tez").c_str()));
    ASSERT_EQ(locDecoder.GetNumTexts(), 4u);
    EXPECT_EQ(TextOf(locDecoder, 0), u"caf\u00e9");
    EXPECT_EQ(TextOf(locDecoder, 1), u"");
    EXPECT_EQ(TextOf(locDecoder, 2), u"one\ntwo \\\n end");
    EXPECT_EQ(TextOf(locDecoder, 3), u"");
    EXPECT_EQ(locDecoder.GetText(4), nullptr);
}

TEST_F(TezLocTest, EncoderRefusesBadKeysLongLinesAndNamesWithoutExtension)
{
    TezLocEncoder locLongKey;
    locLongKey.AddKeyValue(std::string(256, 'k').c_str(), "v");
    EXPECT_FALSE(locLongKey.Save(PathOf("a.tez").c_str()));
    EXPECT_TRUE(Printed("key '" + std::string(256, 'k') + "' was longer than 255 characters"));

    TezLocEncoder locWideKey;
    locWideKey.AddKeyValue("k\xe9y", "v");
    EXPECT_FALSE(locWideKey.Save(PathOf("a.tez").c_str()));
    EXPECT_TRUE(Printed("contained invalid characters (> 127 ASCII)"));

    // The language log tells "//" apart from the other keys the decoder misreads.
    for (const char* locKey : {"k\ty", "a\t/x", " k", "k//"})
    {
        TezLocEncoder locUnreadable;
        locUnreadable.AddKeyValue(locKey, "v");
        TezDebugCollector::ourLines.clear();
        EXPECT_FALSE(locUnreadable.Save(PathOf("a.tez").c_str()));
        const std::string locWhy = std::string(locKey) == "k//"
                                       ? "holds \"//\", which would begin a comment in the .loc file; rename 'k//'"
                                       : "is empty, starts with a blank or holds a control character";
        EXPECT_TRUE(Printed("ERROR: VelkToTez: the LOCTEXT text '" + std::string(locKey) +
                            "' cannot be converted: its key (the names of its instance and members, joined by '.') " +
                            locWhy))
            << AllPrinted();
    }

    // 255 + TAB + 3839 characters fit the reader's line; one more does not.
    TezLocEncoder locFits;
    locFits.AddKeyValue(std::string(255, 'k').c_str(), std::string(3839, 'x').c_str());
    EXPECT_TRUE(locFits.Save(PathOf("fits.tez").c_str()));
    TezLocDecoder locDecoder;
    ASSERT_TRUE(locDecoder.Load(PathOf("fits.tez").c_str()));
    EXPECT_EQ(locDecoder.GetText(0)->GetLength(), 3839);
    // Bytes above 127 take two bytes each when encoded.
    TezLocEncoder locWideFits;
    locWideFits.AddKeyValue("k", std::string(2046, '\xe9').c_str());
    EXPECT_TRUE(locWideFits.Save(PathOf("wide.tez").c_str()));
    TezLocEncoder locTooLong;
    locTooLong.AddKeyValue("k", std::string(2047, '\xe9').c_str());
    EXPECT_FALSE(locTooLong.Save(PathOf("long.tez").c_str()));
    EXPECT_FALSE(std::filesystem::exists(PathOf("long.loc")));

    TezLocEncoder locFine;
    locFine.AddKeyValue("k", "v");
    EXPECT_FALSE(locFine.Save(PathOf("noextension").c_str()));
    EXPECT_FALSE(locFine.Save(PathOf(".tez").c_str()));
}

TEST_F(TezLocTest, DecoderFollowsTheLineRules)
{
    TezLocDecoder locDecoder;
    ASSERT_TRUE(LoadLoc(BOM + "a\tfirst  \r\n\r\n   b\tsecond // comment\r\nc\tthird\ne\t!\r\nf\t\xEE\x80\x80\r\n"
                                "d\t\xE2\x82\xAC",
                        locDecoder));
    ASSERT_EQ(locDecoder.GetNumTexts(), 6u);
    EXPECT_EQ(TextOf(locDecoder, 3), u"!");
    EXPECT_EQ(TextOf(locDecoder, 4), u"\ue000");
    EXPECT_EQ(TextOf(locDecoder, 0), u"first");
    EXPECT_EQ(TextOf(locDecoder, 1), u"second");
    EXPECT_EQ(TextOf(locDecoder, 2), u"third");
    EXPECT_EQ(TextOf(locDecoder, 5), u"\u20ac");
}

TEST_F(TezLocTest, DecoderRefusesBrokenFiles)
{
    struct Case
    {
        const char* myName;
        std::string myContents;
        const char* myMessage;
    };
    const Case locCases[] = {
        {"no mark", "a\tb\r\n", nullptr},
        {"short mark", "\xEF\xBB", nullptr},
        {"no tab", BOM + "a\tb\r\nno tab here\r\n", "found line without a tab delimiter"},
        {"four bytes", BOM + "a\t\xF0\x9F\x98\x80\r\n", "invalid or unsupported UTF-8"},
        {"lone continuation", BOM + "a\t\x80x\r\n", "invalid or unsupported UTF-8"},
        {"cut sequence", BOM + "a\tx\xC3", "invalid or unsupported UTF-8"},
        {"latin-1 byte", BOM + "a\tcaf\xe9\r\n", "invalid or unsupported UTF-8"},
        {"over-long", BOM + "a\t\xC0\xAF\r\n", "invalid or unsupported UTF-8"},
        {"surrogate", BOM + "a\t\xED\xA0\x80\r\n", "invalid or unsupported UTF-8"},
        {"last surrogate", BOM + "a\t\xED\xBF\xBF\r\n", "invalid or unsupported UTF-8"},
        {"cut three-byte sequence", BOM + "a\tx\xE2\x82", "invalid or unsupported UTF-8"},
        {"bad middle of three", BOM + "a\t\xE2\x41\x82\r\n", "invalid or unsupported UTF-8"},
        {"bad end of three", BOM + "a\t\xE2\x82\x41\r\n", "invalid or unsupported UTF-8"},
        {"bad end of two", BOM + "a\t\xC3\x41\r\n", "invalid or unsupported UTF-8"},
        {"long line", BOM + "a\t" + std::string(5000, 'x') + "\r\n", "is longer than 4095 characters"},
    };
    for (const Case& locCase : locCases)
    {
        TezDebugCollector::ourLines.clear();
        TezLocDecoder locDecoder;
        EXPECT_FALSE(LoadLoc(locCase.myContents, locDecoder)) << locCase.myName;
        EXPECT_EQ(locDecoder.GetNumTexts(), 0u) << locCase.myName;
        if (locCase.myMessage)
        {
            EXPECT_TRUE(Printed(locCase.myMessage)) << locCase.myName << "\n" << AllPrinted();
        }
    }
    TezLocDecoder locDecoder;
    EXPECT_FALSE(locDecoder.Load(PathOf("missing.tez").c_str()));
}

TEST_F(TezLocTest, LineOfExactlyTheLimitIsRead)
{
    TezLocDecoder locDecoder;
    const std::string locLine = "k\t" + std::string(4093, 'x');
    ASSERT_TRUE(LoadLoc(BOM + locLine + "\r\nz\tlast\r\n", locDecoder)) << AllPrinted();
    ASSERT_EQ(locDecoder.GetNumTexts(), 2u);
    EXPECT_EQ(locDecoder.GetText(0)->GetLength(), 4093);
    EXPECT_EQ(TextOf(locDecoder, 1), u"last");
}
