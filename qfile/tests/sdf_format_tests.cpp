// The bytes the writer lays down: header, data blocks, FAT tables and records.
#include "sdf_test_util.h"


using namespace sdftest;

class SDFFormat : public ScratchTest
{
};

TEST_F(SDFFormat, PathHashIsAdlerOfUpperCasedSlashPath)
{
    EXPECT_EQ(Hash(""), 1u);
    EXPECT_EQ(Hash("Data\\Tex.DDS"), Hash("data/tex.dds"));
    // Adler-32 of "A": a = 1 + 65, b = 66.
    EXPECT_EQ(Hash("a"), (66u << 16) | 66u);
    char locNormalized[256];
    QF_SDF::HashName("Dir\\Sub\\F.dat", locNormalized);
    EXPECT_STREQ(locNormalized, "Dir/Sub/F.dat");
}

TEST_F(SDFFormat, SingleFileArchiveHasRootAndOneRecord)
{
    WriteText("a.txt", "hello, archive");
    ASSERT_TRUE(Pack({"a.txt"}, "one.sdf", 0));
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("one.sdf"));
    EXPECT_EQ(locArchive.myFatMethod, 0u);
    // Data right after the header; the FAT block right after the data.
    EXPECT_EQ(locArchive.myFatBlock, 8u + 14u);
    EXPECT_EQ(std::string(locArchive.myBytes.begin() + 8, locArchive.myBytes.begin() + 22), "hello, archive");

    const std::vector<uint8_t>& locFat = locArchive.myFat;
    ASSERT_EQ(locArchive.FileCount(), 1u);
    ASSERT_EQ(locArchive.DirCount(), 1u);
    EXPECT_EQ(locArchive.FileHash(0), Hash("a.txt"));
    EXPECT_EQ(locArchive.DirHash(0), 1u);
    uint32_t locRecord = locArchive.FileRecord(0);
    EXPECT_EQ(locRecord, 8u + 8u * 2u);
    EXPECT_EQ(Word(locFat, locRecord + 4), 14u);
    EXPECT_EQ(Word(locFat, locRecord + 8), 14u);          // stored, method 0
    EXPECT_EQ(Word(locFat, locRecord + 12), 8u);
    EXPECT_EQ(Text(locFat, locRecord + 20), "a.txt");
    // "a.txt" and its NUL take 8 bytes; the root record follows.
    uint32_t locRoot = locArchive.DirRecord(0);
    EXPECT_EQ(locRoot, locRecord + 20 + 8);
    EXPECT_EQ(Word(locFat, locRoot), 0u);
    EXPECT_EQ(Word(locFat, locRoot + 4), 1u);
    EXPECT_EQ(Word(locFat, locRoot + 8), locRecord);
    // The record's directory path is the root's empty path string.
    EXPECT_EQ(Word(locFat, locRecord + 16), locRoot + 12);
    EXPECT_EQ(Text(locFat, locRoot + 12), "");
    EXPECT_EQ(locFat.size(), locRoot + 16u);
}

TEST_F(SDFFormat, NestedDirectoriesListLeafNamesInsideTheirPaths)
{
    WriteText("x/y/z.bin", "zzz");
    WriteText("x/w.bin", "wwww");
    ASSERT_TRUE(Pack({"x/y/z.bin", "x/w.bin"}, "tree.sdf"));
    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("tree.sdf"));
    const std::vector<uint8_t>& locFat = locArchive.myFat;
    ASSERT_EQ(locArchive.DirCount(), 3u);

    uint32_t locRoot = locArchive.FindDir("");
    uint32_t locX = locArchive.FindDir("x");
    uint32_t locXY = locArchive.FindDir("x/y");
    ASSERT_TRUE(locRoot && locX && locXY);
    // The root lists x by the first character of x's path string.
    ASSERT_EQ(Word(locFat, locRoot), 1u);
    EXPECT_EQ(Word(locFat, locRoot + 4), locX + 8 + 4 * 2);
    EXPECT_EQ(Word(locFat, locRoot + 8), 0u);
    // x lists y by the y inside "x/y", and holds w.bin.
    ASSERT_EQ(Word(locFat, locX), 1u);
    uint32_t locYName = Word(locFat, locX + 4);
    EXPECT_EQ(Text(locFat, locYName), "y");
    EXPECT_EQ(Text(locFat, locYName - 2), "x/y");
    ASSERT_EQ(Word(locFat, locX + 8), 1u);
    EXPECT_EQ(Word(locFat, locX + 12), locArchive.FindFile("w.bin"));
    EXPECT_EQ(Word(locFat, locArchive.FindFile("z.bin") + 16), locXY + 12);

    // Both tables ascend by hash; every record offset is a multiple of 4.
    for (uint32_t i = 1; i < locArchive.FileCount(); ++i)
        EXPECT_LE(locArchive.FileHash(i - 1), locArchive.FileHash(i));
    for (uint32_t i = 1; i < locArchive.DirCount(); ++i)
        EXPECT_LE(locArchive.DirHash(i - 1), locArchive.DirHash(i));
    for (uint32_t i = 0; i < locArchive.FileCount(); ++i)
        EXPECT_EQ(locArchive.FileRecord(i) % 4, 0u);
    for (uint32_t i = 0; i < locArchive.DirCount(); ++i)
        EXPECT_EQ(locArchive.DirRecord(i) % 4, 0u);
    // Data blocks follow each other in file-table order.
    uint32_t locOffset = 8;
    for (uint32_t i = 0; i < locArchive.FileCount(); ++i)
    {
        uint32_t locRecord = locArchive.FileRecord(i);
        EXPECT_EQ(Word(locFat, locRecord + 12), locOffset);
        locOffset += Word(locFat, locRecord + 8) & 0x3FFFFFFF;
    }
    EXPECT_EQ(locOffset, locArchive.myFatBlock);
}

TEST_F(SDFFormat, CompressedBlocksCarryTheirMethodAndProperties)
{
    std::string locText;
    for (int i = 0; i < 4000; ++i)
        locText += "surface " + std::to_string(i % 17) + "\r\n";
    WriteText("z.txt", locText);
    QF_SDFEdit locWriter;
    locWriter.AddFile("z.txt");
    locWriter.SetCompression("txt", 2);
    locWriter.SetDefaultCompression(1);   // zlib for the FAT, unless it does not shrink
    ASSERT_TRUE(locWriter.Write("methods.sdf"));

    Archive locArchive;
    ASSERT_TRUE(locArchive.Load("methods.sdf"));
    uint32_t locRecord = locArchive.FindFile("z.txt");
    uint32_t locPacked = Word(locArchive.myFat, locRecord + 8);
    EXPECT_EQ(locPacked >> 30, 2u);
    uint32_t locStored = locPacked & 0x3FFFFFFF;
    EXPECT_LT(locStored, locText.size() / 10);
    // LZMA data: the 5 property bytes (lc 3, lp 0, pb 2; 8 MiB), then the raw stream.
    uint32_t locData = Word(locArchive.myFat, locRecord + 12);
    EXPECT_EQ(locArchive.myBytes[locData], 0x5D);
    EXPECT_EQ(Word(locArchive.myBytes, locData + 1), 0x800000u);
    std::string locBack(locText.size(), 0);
    ASSERT_TRUE(QP_Pack::DecompressLZMA(locArchive.myBytes.data() + locData, locStored, locBack.data(),
                                        uint32_t(locBack.size())));
    EXPECT_EQ(locBack, locText);
}

TEST_F(SDFFormat, NamesThatAreNotUtf8ReadAsCodePage1252PartByPart)
{
    const std::pair<std::string, std::string> locCases[] = {
        {"plain/a.txt", "plain/a.txt"},
        {"", ""},
        // Valid UTF-8 of every length stays as it is.
        {"\xC3\xA9/\xE2\x82\xAC/\xF0\x9F\x98\x80/\xF4\x8F\xBF\xBF", "\xC3\xA9/\xE2\x82\xAC/\xF0\x9F\x98\x80/\xF4\x8F\xBF\xBF"},
        // The range Windows fills differently from Latin-1, its five gaps, and Latin-1 above.
        {"\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E",
         "\xE2\x82\xAC\xE2\x80\x9A\xC6\x92\xE2\x80\x9E\xE2\x80\xA6\xE2\x80\xA0\xE2\x80\xA1\xCB\x86\xE2\x80\xB0\xC5\xA0"
         "\xE2\x80\xB9\xC5\x92\xC5\xBD"},
        {"\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F",
         "\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\xA2\xE2\x80\x93\xE2\x80\x94\xCB\x9C\xE2\x84\xA2\xC5\xA1"
         "\xE2\x80\xBA\xC5\x93\xC5\xBE\xC5\xB8"},
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {"\xA0\xE9\xFF", "\xC2\xA0\xC3\xA9\xC3\xBF"},
        // The ends of each UTF-8 range are UTF-8.
        {"\xC2\x80/\xE0\xA0\x80/\xF0\x90\x80\x80/\xED\x9F\xBF/\xEE\x80\x80",
         "\xC2\x80/\xE0\xA0\x80/\xF0\x90\x80\x80/\xED\x9F\xBF/\xEE\x80\x80"},
        {"\x80", "\xE2\x82\xAC"},
        {"\xC3\xA9\x80", "\xC3\x83\xC2\xA9\xE2\x82\xAC"},
        {"\xED\xBF\xBF", "\xC3\xAD\xC2\xBF\xC2\xBF"},
        // Each part on its own: a UTF-8 folder keeps its name beside a 1252 file.
        {"caf\xC3\xA9/caf\xE9.txt", "caf\xC3\xA9/caf\xC3\xA9.txt"},
        {"caf\xE9\\x", "caf\xC3\xA9\\x"},
        // Not UTF-8: overlong, a surrogate, past U+10FFFF, cut short, a stray
        // continuation byte, a lead byte of five.
        {"\xC0\x80", "\xC3\x80\xE2\x82\xAC"},
        {"\xE0\x9F\xBF", "\xC3\xA0\xC5\xB8\xC2\xBF"},
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},
        {"\xF0\x8F\xBF\xBF", "\xC3\xB0\xC2\x8F\xC2\xBF\xC2\xBF"},
        {"a\xE2\x82", "a\xC3\xA2\xE2\x80\x9A"},
        {"\xC3", "\xC3\x83"},
        {"\xA9", "\xC2\xA9"},
        {"\xC3\x28", "\xC3\x83("},
        {"\xF8\x88\x80\x80\x80", "\xC3\xB8\xCB\x86\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},
    };
    for (const auto& [locStored, locShown] : locCases)
        EXPECT_EQ(QF_SDFNameToUtf8(locStored.c_str()), locShown) << locStored;
}
