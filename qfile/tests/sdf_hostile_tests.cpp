// Archives laid out by hand: directory trees that are no trees, names that are
// no names, and the bytes an independent writer would produce.
#include "sdf_test_util.h"

#include "qfile/qf_file.h"

#include <cerrno>

using namespace sdftest;

namespace
{
// Lists every directory reachable from the root, as a tool would; gives up
// (and fails the test) rather than recursing without end.
void ListTree(QF_SDFArchive* anArchive, const std::string& aPath, std::vector<std::string>* aFiles, int aDepth = 0)
{
    ASSERT_LT(aDepth, 200) << "the listing came back to " << aPath;
    QF_FileList locList;
    QF_SDF::ListArchiveDirectory(aPath.c_str(), anArchive, &locList);
    for (QF_FileList::Node* locNode = locList.myFirst; locNode; locNode = locNode->myNext)
    {
        std::string locChild = aPath.empty() ? locNode->myName : aPath + "/" + locNode->myName;
        if (locNode->myIsDirectory)
            ListTree(anArchive, locChild, aFiles, aDepth + 1);
        else
            aFiles->push_back(locChild);
    }
}
}

class SDFHostile : public ScratchTest
{
protected:
    // Opens the bytes as an archive; null with QF_ErrorCode when refused.
    QF_SDFArchive* OpenBytes(const std::vector<uint8_t>& aBytes)
    {
        QF_SDF::Close(nullptr);
        WriteBytes("hostile.sdf", aBytes);
        QF_ErrorCode = 0;
        return QF_SDF::OpenByName("hostile.sdf", 1);
    }
};

TEST_F(SDFHostile, HandMadeSoundTreeOpensAndLists)
{
    // The control case: root, a, a/b with one file each, laid out by hand.
    FatSpec locSpec;
    locSpec.myDirs = {{"", {{1, 0}}}, {"a", {{2, 2}}}, {"a/b", {}}};
    locSpec.myFiles = {{0, "top.txt", "top"}, {1, "x.bin", "xx"}, {2, "deep.txt", "deep"}};
    QF_SDFArchive* locArchive = OpenBytes(BuildArchive(locSpec));
    ASSERT_TRUE(locArchive) << QF_ErrorCode;
    std::vector<std::string> locFiles;
    ListTree(locArchive, "", &locFiles);
    std::sort(locFiles.begin(), locFiles.end());
    EXPECT_EQ(locFiles, (std::vector<std::string>{"a/b/deep.txt", "a/x.bin", "top.txt"}));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open("A/B/DEEP.TXT", OPEN_READ));
    EXPECT_EQ(locFile.GetSize(), 4u);
}

TEST_F(SDFHostile, DirectoryNamesThatAreNoNamesAreRefused)
{
    // The smallest case: the root lists its own empty path as a child.
    FatSpec locSelf;
    locSelf.myDirs = {{"", {{0, 0}}}};
    EXPECT_FALSE(OpenBytes(BuildArchive(locSelf)));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF);

    for (const char* locName : {".", "..", "a/b", "a\\b", "c:"})
    {
        FatSpec locSpec;
        locSpec.myDirs = {{"", {{1, 0}}}, {locName, {}}};
        locSpec.myFiles = {{1, "f.txt", "f"}};
        bool locRefused = !OpenBytes(BuildArchive(locSpec));
        if (std::string(locName) == "c:")
            EXPECT_FALSE(locRefused) << "an odd but proper name";
        else
        {
            EXPECT_TRUE(locRefused) << locName;
            EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF) << locName;
        }
    }
    // An empty leaf after the parent's separator: "a/" listed under "a".
    FatSpec locEmptyLeaf;
    locEmptyLeaf.myDirs = {{"", {{1, 0}}}, {"a", {{2, 2}}}, {"a/", {}}};
    EXPECT_FALSE(OpenBytes(BuildArchive(locEmptyLeaf)));
}

TEST_F(SDFHostile, DirectoryCyclesAndRepeatsAreRefused)
{
    // "a" listing itself.
    FatSpec locSelf;
    locSelf.myDirs = {{"", {{1, 0}}}, {"a", {{1, 0}}}};
    EXPECT_FALSE(OpenBytes(BuildArchive(locSelf)));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF);
    // "a/b" listing its parent.
    FatSpec locBack;
    locBack.myDirs = {{"", {{1, 0}}}, {"a", {{2, 2}}}, {"a/b", {{1, 0}}}};
    EXPECT_FALSE(OpenBytes(BuildArchive(locBack)));
    // The root listing "a" twice: the listing would double at every level.
    FatSpec locTwice;
    locTwice.myDirs = {{"", {{1, 0}, {1, 0}}}, {"a", {}}};
    EXPECT_FALSE(OpenBytes(BuildArchive(locTwice)));
    // A child whose path does not continue its parent's.
    FatSpec locStranger;
    locStranger.myDirs = {{"", {{1, 0}}}, {"a", {{2, 2}}}, {"z/b", {}}};
    EXPECT_FALSE(OpenBytes(BuildArchive(locStranger)));
    // Case may differ between a parent and its child's path: the writer keeps
    // the spelling of the first file of each directory.
    FatSpec locCase;
    locCase.myDirs = {{"", {{1, 0}}}, {"a", {{2, 2}}}, {"A/b", {}}};
    EXPECT_TRUE(OpenBytes(BuildArchive(locCase))) << QF_ErrorCode;
}

TEST_F(SDFHostile, FileNamesThatAreNoNamesAreRefused)
{
    for (const char* locLeaf : {"", ".", "..", "x/y", "x\\y"})
    {
        FatSpec locSpec;
        locSpec.myDirs = {{"", {}}};
        locSpec.myFiles = {{0, locLeaf, "data"}};
        EXPECT_FALSE(OpenBytes(BuildArchive(locSpec))) << locLeaf;
    }
}

TEST_F(SDFHostile, NamesWithHighBytesFromAnIndependentWriter)
{
    // Bytes of 0x80 and above hash as unsigned values: "\xe9t\xe9.txt" here is
    // hashed by this test's own Adler-32, not by the reader's function.
    const std::string locLeaf = "\xc3\xa9t\xc3\xa9.txt";
    uint32_t locA = 1, locB = 0;
    for (unsigned char locChar : locLeaf)
    {
        unsigned char locUpper = (locChar >= 'a' && locChar <= 'z') ? locChar - 32 : locChar;
        locA = (locA + locUpper) % 65521;
        locB = (locB + locA) % 65521;
    }
    EXPECT_EQ(Hash(locLeaf.c_str()), locA | (locB << 16));

    FatSpec locSpec;
    locSpec.myDirs = {{"", {}}};
    locSpec.myFiles = {{0, locLeaf, "summer"}};
    ASSERT_TRUE(OpenBytes(BuildArchive(locSpec)));
    QF_File locFile;
    ASSERT_TRUE(locFile.Open(locLeaf.c_str(), OPEN_READ));
    EXPECT_EQ(locFile.GetSize(), 6u);
}

TEST_F(SDFHostile, EmptyTableOpensAndShorterOnesDoNot)
{
    FatSpec locEmpty;
    std::vector<uint8_t> locBytes = BuildArchive(locEmpty);
    ASSERT_TRUE(OpenBytes(locBytes)) << QF_ErrorCode;
    QF_File locFile;
    EXPECT_FALSE(locFile.Open("anything", OPEN_READ));
    // The same table one byte short: its directory count is cut.
    locBytes.pop_back();
    PutWord(locBytes, locBytes.size() - 7 - 8, 7);
    PutWord(locBytes, locBytes.size() - 7 - 4, 7);
    EXPECT_FALSE(OpenBytes(locBytes));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF);
}

TEST_F(SDFHostile, TwoTableEntriesForOneRecordAreRefused)
{
    FatSpec locSpec;
    locSpec.myDirs = {{"", {}}, {"a", {}}, {"b", {}}};
    std::vector<uint8_t> locBytes = BuildArchive(locSpec);
    ASSERT_TRUE(OpenBytes(locBytes)) << "unlisted directories are only unreachable";
    const uint32_t locFatSize = Word(locBytes, Word(locBytes, 4));
    const uint64_t locFat = locBytes.size() - locFatSize;
    // The table's entries for "a" and "b" both name the record of "a".
    PutWord(locBytes, locFat + 8 + 16 + 4, Word(locBytes, locFat + 8 + 8 + 4));
    EXPECT_FALSE(OpenBytes(locBytes));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF);
    EXPECT_STREQ(QF_SDFErrorText, "two directory records share the path \"a\"");
}

TEST_F(SDFHostile, TablesOutOfHashOrderAreStillSearchedWhole)
{
    // An independent writer that does not sort: every entry must still be found.
    FatSpec locSpec;
    locSpec.myDirs = {{"", {}}};
    for (const char* locLeaf : {"zz.txt", "b.txt", "yy.txt", "a.txt", "q.txt"})
        locSpec.myFiles.push_back({0, locLeaf, locLeaf});
    std::vector<uint8_t> locBytes = BuildArchive(locSpec);
    ASSERT_TRUE(OpenBytes(locBytes));
    ASSERT_GT(Hash("zz.txt"), Hash("b.txt"));
    for (const char* locLeaf : {"zz.txt", "b.txt", "yy.txt", "a.txt", "q.txt"})
    {
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(locLeaf, OPEN_READ)) << locLeaf;
        EXPECT_EQ(locFile.GetSize(), strlen(locLeaf));
    }
}

TEST_F(SDFHostile, TablesThatAreNoTreesAreDamagedAndSayWhy)
{
    struct Case
    {
        FatSpec mySpec;
        const char* myText;
    };
    const Case locCases[] = {
        {{{{"", {{0, 0}}}}, {}}, "the directory \"\" lists a sub-directory whose name is empty"},
        {{{{"", {{1, 0}, {1, 0}}}, {"a", {}}}, {}}, "the directory \"a\" is listed as a sub-directory twice"},
        {{{{"", {{1, 0}}}, {"a", {{2, 2}}}, {"z/b", {}}}, {}}, "the directory \"a\" lists \"z/b\", which is not directly inside it"},
        {{{{"", {{1, 0}}}, {"a", {{1, 0}}}}, {}}, "the directory \"a\" lists \"a\", which is not directly inside it"},
        // Listed by no one, but their files would still be found by path.
        {{{{"", {}}, {"../x", {}}}, {{1, "f.txt", "f"}}}, "the directory path \"../x\" has an empty"},
        {{{{"", {}}, {"a//b", {}}}, {{1, "f.txt", "f"}}}, "the directory path \"a//b\" has an empty"},
        {{{{"", {}}, {"/a", {}}}, {}}, "the directory path \"/a\" has an empty"},
        {{{{"", {}}, {"a/.", {}}}, {}}, "the directory path \"a/.\" has an empty"},
        {{{{"", {}}}, {{0, "..", "f"}}}, "the file name \"..\" is empty"},
    };
    for (const Case& locCase : locCases)
    {
        EXPECT_FALSE(OpenBytes(BuildArchive(locCase.mySpec))) << locCase.myText;
        EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF) << locCase.myText;
        EXPECT_EQ(std::string(QF_SDFErrorText).rfind(locCase.myText, 0), 0u) << QF_SDFErrorText;
    }
    // A sub-directory entry that points at a file's name, before every directory path.
    FatSpec locAtFile;
    locAtFile.myDirs = {{"", {{1, 0}}}, {"a", {}}};
    locAtFile.myFiles = {{0, "f.txt", "f"}};
    std::vector<uint8_t> locBytes = BuildArchive(locAtFile);
    const uint64_t locFat = locBytes.size() - Word(locBytes, Word(locBytes, 4));
    const uint32_t locFileRecord = Word(locBytes, locFat + 8);
    const uint32_t locRootRecord = Word(locBytes, locFat + 20);
    PutWord(locBytes, locFat + locRootRecord + 4, locFileRecord + 20);
    EXPECT_FALSE(OpenBytes(locBytes));
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF);
    EXPECT_STREQ(QF_SDFErrorText, "the directory \"\" lists the sub-directory \"f.txt\", which has no record");
    // What other refusals say.
    QF_SDF::Close(nullptr);
    EXPECT_FALSE(QF_SDF::OpenByName("missing.sdf", 1));
    EXPECT_STREQ(QF_SDFErrorText, strerror(ENOENT));
    WriteText("text.sdf", "not an archive at all");
    EXPECT_FALSE(QF_SDF::OpenByName("text.sdf", 1));
    EXPECT_STREQ(QF_SDFErrorText, "not an SDF archive");
    // A sound open empties the text.
    FatSpec locSound;
    locSound.myDirs = {{"", {{1, 0}}}, {"a", {}}};
    locSound.myFiles = {{1, "f.txt", "f"}};
    ASSERT_TRUE(OpenBytes(BuildArchive(locSound)));
    EXPECT_STREQ(QF_SDFErrorText, "");
}
