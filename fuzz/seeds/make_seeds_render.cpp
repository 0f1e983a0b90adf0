// Writes the seed corpora of the renderer build's readers: files written by
// its file object in each stored form, directory-block archives in each data
// mode, spline blocks of paths built from keys, and expression texts.
// Usage: make_seeds_render <corpus folder>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "seed_file.h"
#include "qfile/render/qf_file.h"
#include "qrender/qr_splinepath.h"

static std::string ourCorpus;
static std::string ourWork;

static void locSeed(const char* aTarget, const char* aName, const void* aData, size_t aSize)
{
    WriteSeed(ourCorpus, aTarget, aName, aData, aSize);
}

static std::vector<uint8_t> locReadRaw(const std::string& aPath)
{
    std::vector<uint8_t> locData;
    FILE* locFile = fopen(aPath.c_str(), "rb");
    if (!locFile)
        exit(1);
    for (int c; (c = fgetc(locFile)) != EOF;)
        locData.push_back(uint8_t(c));
    fclose(locFile);
    return locData;
}

static void locFileSeeds()
{
    std::string locText = "// settings\r\n  width 640\r\nheight\t480\r\nname \"main view\"\r\n\r\nlast line without end";
    struct Form
    {
        const char* mySeed;
        uint32_t myMode;
    };
    static const Form ourForms[] = {
        {"plain.txt", 0},
        {"scrambled.bin", QF_SCRAMBLED},
        {"compressed.bin", QF_COMPRESSED},
        {"both.bin", QF_SCRAMBLED | QF_COMPRESSED},
    };
    for (const Form& locForm : ourForms)
    {
        std::string locPath = ourWork + "/" + locForm.mySeed;
        QF_File locFile;
        if (!locFile.Open(locPath.c_str(), QF_WRITE | QF_CREATE_ALWAYS | locForm.myMode) ||
            !locFile.Write(locText.data(), uint32_t(locText.size())) || !locFile.Close())
            exit(1);
        std::vector<uint8_t> locData = locReadRaw(locPath);
        locSeed("fuzz_rfile", locForm.mySeed, locData.data(), locData.size());
    }
    // 16-bit text for the wide line reader.
    std::vector<uint8_t> locWide;
    for (char c : std::string("wide line one\r\n// comment\r\n  second\r\n"))
    {
        locWide.push_back(uint8_t(c));
        locWide.push_back(0);
    }
    locSeed("fuzz_rfile", "wide.txt", locWide.data(), locWide.size());
}

// A directory-block archive in memory.
struct ArchiveNode
{
    std::string myName;
    bool myIsDirectory;
    std::string myData;
    std::vector<ArchiveNode> myChildren;
    uint32_t myPosition = 0;   // directory: its block size word; file: its data
    std::string myStored;      // file: the bytes as stored
};

static void locPut32(std::vector<uint8_t>& aBytes, size_t aPosition, uint32_t aValue)
{
    if (aBytes.size() < aPosition + 4)
        aBytes.resize(aPosition + 4);
    for (int i = 0; i < 4; i++)
        aBytes[aPosition + i] = uint8_t(aValue >> (8 * i));
}

static uint32_t locBlockSize(const ArchiveNode& aDirectory)
{
    uint32_t locSize = 0;
    for (const ArchiveNode& locChild : aDirectory.myChildren)
        locSize += 4 + 9 + uint32_t(locChild.myName.size()) + 1;
    return locSize;
}

static void locStore(ArchiveNode& aNode, uint8_t aMode)
{
    for (ArchiveNode& locChild : aNode.myChildren)
        locStore(locChild, aMode);
    if (aNode.myIsDirectory)
        return;
    std::string locStored = aNode.myData;
    if (aMode & 0x80)
    {
        uLongf locLength = compressBound(uLong(locStored.size()));
        std::vector<uint8_t> locPacked(locLength);
        compress2(locPacked.data(), &locLength, (const Bytef*)locStored.data(), uLong(locStored.size()), 9);
        uint32_t locSize = uint32_t(locStored.size());
        locStored.assign((const char*)&locSize, 4);
        locStored.append((const char*)locPacked.data(), locLength);
    }
    if (aMode & 0x40)
        QF_File::ScrambleBlock(uint32_t(locStored.size()), locStored.data(), 7);
    aNode.myStored = locStored;
}

static void locLayOut(ArchiveNode& aDirectory, uint32_t* aPosition)
{
    for (ArchiveNode& locChild : aDirectory.myChildren)
        if (locChild.myIsDirectory)
        {
            locChild.myPosition = *aPosition;
            *aPosition += 4 + locBlockSize(locChild);
            locLayOut(locChild, aPosition);
        }
}

static void locPlaceFiles(ArchiveNode& aDirectory, uint32_t* aPosition)
{
    for (ArchiveNode& locChild : aDirectory.myChildren)
    {
        if (locChild.myIsDirectory)
            locPlaceFiles(locChild, aPosition);
        else
        {
            locChild.myPosition = *aPosition;
            *aPosition += uint32_t(locChild.myStored.size());
        }
    }
}

static void locEmit(const ArchiveNode& aDirectory, std::vector<uint8_t>& anArchive)
{
    std::vector<uint8_t> locBlock;
    uint32_t locEntry = 4 * uint32_t(aDirectory.myChildren.size());
    for (size_t i = 0; i < aDirectory.myChildren.size(); i++)
    {
        const ArchiveNode& locChild = aDirectory.myChildren[i];
        locPut32(locBlock, 4 * i, locEntry);
        locPut32(locBlock, locEntry, locChild.myIsDirectory ? uint32_t(locChild.myChildren.size())
                                                            : uint32_t(locChild.myStored.size()));
        locPut32(locBlock, locEntry + 4, locChild.myPosition);
        locBlock.resize(locEntry + 9 + locChild.myName.size() + 1);
        locBlock[locEntry + 8] = locChild.myIsDirectory ? 1 : 0;
        memcpy(&locBlock[locEntry + 9], locChild.myName.c_str(), locChild.myName.size() + 1);
        locEntry += 9 + uint32_t(locChild.myName.size()) + 1;
    }
    uint32_t locSizeWord = uint32_t(locBlock.size());
    QF_File::ScrambleBlock(4, &locSizeWord, 7);
    QF_File::ScrambleBlock(uint32_t(locBlock.size()), locBlock.data(), 7);
    locPut32(anArchive, aDirectory.myPosition, locSizeWord);
    if (anArchive.size() < aDirectory.myPosition + 4 + locBlock.size())
        anArchive.resize(aDirectory.myPosition + 4 + locBlock.size());
    memcpy(&anArchive[aDirectory.myPosition + 4], locBlock.data(), locBlock.size());
    for (const ArchiveNode& locChild : aDirectory.myChildren)
    {
        if (locChild.myIsDirectory)
            locEmit(locChild, anArchive);
        else
        {
            if (anArchive.size() < locChild.myPosition + locChild.myStored.size())
                anArchive.resize(locChild.myPosition + locChild.myStored.size());
            memcpy(&anArchive[locChild.myPosition], locChild.myStored.data(), locChild.myStored.size());
        }
    }
}

static ArchiveNode locNode(const char* aName, bool anIsDirectory, std::string aData, std::vector<ArchiveNode> aChildren)
{
    ArchiveNode locNode;
    locNode.myName = aName;
    locNode.myIsDirectory = anIsDirectory;
    locNode.myData = aData;
    locNode.myChildren = aChildren;
    return locNode;
}

static void locArchiveSeeds()
{
    ArchiveNode locTex = locNode("TEX", true, "", {locNode("ROCK.TGA", false, std::string(40, 'x') + "rock", {})});
    ArchiveNode locData = locNode("DATA", true, "", {locNode("LEVEL.TXT", false, "level 1\r\nsize 64 64\r\n", {}), locTex});
    ArchiveNode locRoot = locNode("", true, "", {locNode("README.TXT", false, "readme\r\nof the archive\r\n", {}), locData});
    for (uint8_t locMode : {uint8_t(0x07), uint8_t(0x47), uint8_t(0x87), uint8_t(0xC7)})
    {
        ArchiveNode locTree = locRoot;
        locStore(locTree, locMode);
        // Root: its entry count at 8, block size word at 12, block at 16.
        locTree.myPosition = 12;
        uint32_t locPosition = 16 + locBlockSize(locTree);
        locLayOut(locTree, &locPosition);
        locPlaceFiles(locTree, &locPosition);
        std::vector<uint8_t> locArchive(locPosition, 0);
        locArchive[0] = 'K';
        locArchive[1] = 'O';
        locArchive[2] = 'L';
        locArchive[3] = locMode;
        locPut32(locArchive, 4, locPosition);
        uint32_t locCount = uint32_t(locTree.myChildren.size());
        QF_File::ScrambleBlock(4, &locCount, 7);
        locPut32(locArchive, 8, locCount);
        locEmit(locTree, locArchive);
        char locName[32];
        snprintf(locName, sizeof(locName), "mode%02x.pak", locMode);
        locSeed("fuzz_rarchive", locName, locArchive.data(), locArchive.size());
    }
}

// The stored block of a path: the flag byte of the target, six words, keys, constants.
static std::vector<uint8_t> locSplineBlock(const QR_SplinePath& aPath, bool aSwap)
{
    std::vector<uint8_t> locBlock = {uint8_t(aSwap ? 1 : 0)};
    uint32_t locRate;
    memcpy(&locRate, &aPath.myRate, 4);
    const uint32_t locWords[6] = {locRate, aPath.myIsLooping ? 1u : 0u, aPath.myNumChannels, aPath.myKeyedMask,
                                  aPath.myNumTangents, aPath.myNumKeys};
    for (uint32_t locWord : locWords)
    {
        uint32_t locStored = aSwap ? __builtin_bswap32(locWord) : locWord;
        locBlock.insert(locBlock.end(), (const uint8_t*)&locStored, (const uint8_t*)&locStored + 4);
    }
    if (aPath.myKeys)
        locBlock.insert(locBlock.end(), (const uint8_t*)aPath.myKeys,
                        (const uint8_t*)(aPath.myKeys + aPath.myNumKeys * aPath.myKeySizeInFloats));
    uint32_t locKeyed = __builtin_popcount(aPath.myKeyedMask);
    if (aPath.myConstants)
        locBlock.insert(locBlock.end(), (const uint8_t*)aPath.myConstants,
                        (const uint8_t*)(aPath.myConstants + (aPath.myNumChannels - locKeyed)));
    return locBlock;
}

static void locSplineSeeds()
{
    QR_SplineKey locKeys[3] = {};
    for (int k = 0; k < 3; k++)
    {
        for (int c = 0; c < 9; c++)
        {
            locKeys[k].myValues[c] = c < 3 ? float(k * c) : (c >= 6 ? 1.0f : 0.1f * c);
            locKeys[k].myTangents[c] = 0.5f;
        }
    }
    struct Seed
    {
        const char* myName;
        uint32_t myType;
        int myNumChannels;
        int myNumKeys;
        bool mySwap;
    };
    static const Seed ourSeeds[] = {
        {"hermite9.bin", QR_SplinePath::HERMITE, 9, 3, false},
        {"bezier6_swapped.bin", QR_SplinePath::BEZIER, 6, 3, true},
        {"linear3.bin", QR_SplinePath::LINEAR, 3, 2, false},
        {"step6.bin", QR_SplinePath::STEP, 6, 3, false},
        {"constant6.bin", QR_SplinePath::LINEAR, 6, 1, false},
    };
    for (const Seed& locSeedInfo : ourSeeds)
    {
        // The last key of a stored path is at time 1.
        for (int k = 0; k < 3; k++)
        {
            locKeys[k].myType = locSeedInfo.myType;
            locKeys[k].myTime = locSeedInfo.myNumKeys > 1 ? float(k) / float(locSeedInfo.myNumKeys - 1) : 0.0f;
        }
        QR_SplinePath locPath;
        if (!locPath.BuildFromKeys(locKeys, locSeedInfo.myNumKeys, locSeedInfo.myNumChannels))
            exit(1);
        locPath.SetLength(2.0f);
        std::vector<uint8_t> locBlock = locSplineBlock(locPath, locSeedInfo.mySwap);
        locSeed("fuzz_spline", locSeedInfo.myName, locBlock.data(), locBlock.size());
    }
}

static void locExpressionSeeds()
{
    static const char* const ourTexts[][2] = {
        {"arith.txt", "ADD(MUL(TIME,2),SUB(10, 4))"},
        {"limit.txt", "LIMIT(SIN(ETIME),-0.5,COS(0.25))"},
        {"registers.txt", "ST3(ADD(ST3,1)),ST4(ROUND(-2.7))"},
        {"conditions.txt", "IFBELOW(TIME,5,ST1(RND(0,1)),ST1(ABS(NEG(3))))"},
        {"loops.txt", "NULL(DO(3,ST0(ADD(ST0,1))),WHILE(ST9,ST9(0)),GETY(1,2))"},
        {"vars.txt", "IF(IFEQUAL(IVAR,7,BVAR(DVAR)),MAX(SQRT(4),MIN(TAN(1),ATAN(SQR(2)))))"},
    };
    for (const auto& locText : ourTexts)
        locSeed("fuzz_expression", locText[0], locText[1], strlen(locText[1]));
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    char locCorpus[4096];
    if (!realpath(argv[1], locCorpus))
        return 1;
    ourCorpus = locCorpus;
    char locWork[] = "/tmp/qseeds.XXXXXX";
    if (!mkdtemp(locWork))
        return 1;
    ourWork = locWork;
    locFileSeeds();
    locArchiveSeeds();
    locSplineSeeds();
    locExpressionSeeds();
    std::string locClean = "rm -rf " + ourWork;
    return system(locClean.c_str()) == 0 ? 0 : 1;
}
