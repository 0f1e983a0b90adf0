// Writes the seed corpora of the tools' build readers with the project's own
// writers: SDF archives (QF_SDFEdit), packed buffers (QP_Pack) and .velk texts
// (the namespace writer). Usage: make_seeds_tools <corpus folder>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qfile/qf_sdfedit.h"
#include "qpack/qp_pack.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "tez/tez_convert.h"
#include "tez/tez_loc.h"
#include "velk/velk_typemanager.h"
#ifdef Q_SEEDS_TFM
#include "velkeditor/velk_typefilter.h"
#endif

static std::string ourCorpus;

static void locWrite(const std::string& aPath, const void* aData, size_t aSize)
{
    FILE* locFile = fopen(aPath.c_str(), "wb");
    if (!locFile || (aSize && fwrite(aData, 1, aSize, locFile) != aSize) || fclose(locFile) != 0)
    {
        fprintf(stderr, "cannot write %s\n", aPath.c_str());
        exit(1);
    }
}

static std::vector<uint8_t> locRead(const std::string& aPath)
{
    std::vector<uint8_t> locData;
    FILE* locFile = fopen(aPath.c_str(), "rb");
    if (!locFile)
        exit(1);
    int c;
    while ((c = fgetc(locFile)) != EOF)
        locData.push_back(uint8_t(c));
    fclose(locFile);
    return locData;
}

static void locSeed(const char* aTarget, const char* aName, const void* aData, size_t aSize)
{
    std::string locFolder = ourCorpus + "/" + aTarget;
    mkdir(locFolder.c_str(), 0755);
    locWrite(locFolder + "/" + aName, aData, aSize);
}

// Text that compresses a little, so that every method keeps it compressed.
static std::string locSampleText(int aLines, int aSeed)
{
    std::string locText;
    for (int i = 0; i < aLines; i++)
        locText += "line " + std::to_string(i * aSeed % 97) + " of the sample, value " + std::to_string(i * 31 + aSeed) + "\r\n";
    return locText;
}

static void locSdfSeeds(const std::string& aWork)
{
    struct Archive
    {
        const char* mySeed;
        uint32_t myDefaultMethod;
        const char* myRuleExtension;   // stored raw
    };
    static const Archive ourArchives[] = {
        {"zlib.sdf", 1, nullptr},
        {"lzma.sdf", 2, nullptr},
        {"stored.sdf", 0, nullptr},
        {"mixed.sdf", 2, "txt"},
    };
    const std::string locTree = aWork + "/sdf";
    mkdir(locTree.c_str(), 0755);
    mkdir((locTree + "/data").c_str(), 0755);
    mkdir((locTree + "/data/tex").c_str(), 0755);
    if (chdir(locTree.c_str()) != 0)
        exit(1);
    const std::string locA = locSampleText(12, 3), locB = locSampleText(20, 7);
    const char locBinary[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 42};
    locWrite("readme.txt", locA.data(), locA.size());
    locWrite("data/level.txt", locB.data(), locB.size());
    locWrite("data/tex/Rock.TGA", locBinary, sizeof(locBinary));
    for (const Archive& locArchive : ourArchives)
    {
        QF_SDFEdit locWriter;
        locWriter.SetDefaultCompression(locArchive.myDefaultMethod);
        if (locArchive.myRuleExtension)
            locWriter.SetCompression(locArchive.myRuleExtension, 0);
        locWriter.AddFile("readme.txt");
        locWriter.AddFile("data\\level.txt");
        locWriter.AddFile("data/tex/Rock.TGA");
        const std::string locOut = aWork + "/" + locArchive.mySeed;
        if (!locWriter.Write(locOut.c_str()))
        {
            fprintf(stderr, "SDF write failed: %d %s\n", QF_SDFEditError, QF_SDFEditErrorText);
            exit(1);
        }
        std::vector<uint8_t> locData = locRead(locOut);
        locSeed("fuzz_sdf", locArchive.mySeed, locData.data(), locData.size());
    }
}

// Method byte (odd: zlib), u32 unpacked size, packed bytes.
static void locPackSeeds()
{
    const std::string locText = locSampleText(30, 5);
    const uint32_t locSize = uint32_t(locText.size());
    std::vector<uint8_t> locPacked(QP_Pack::GetZlibCapacity(locSize) + 16);
    for (int locMethod = 1; locMethod <= 2; locMethod++)
    {
        uint32_t locLength = locMethod == 1 ? uint32_t(QP_Pack::CompressZlib(locText.data(), locPacked.data(), locSize))
                                            : QP_Pack::CompressLZMA(locText.data(), locPacked.data(), locSize);
        if (locLength == 0 || locLength == uint32_t(-1))
            exit(1);
        std::vector<uint8_t> locSeedData = {uint8_t(locMethod == 1 ? 1 : 0), uint8_t(locSize), uint8_t(locSize >> 8),
                                            uint8_t(locSize >> 16), uint8_t(locSize >> 24)};
        locSeedData.insert(locSeedData.end(), locPacked.begin(), locPacked.begin() + locLength);
        locSeed("fuzz_qpack", locMethod == 1 ? "zlib.bin" : "lzma.bin", locSeedData.data(), locSeedData.size());
    }
}

static const char ourTypes[] =
    "// item types\r\n"
    "TYPE Colour\r\n{\r\nRED\r\nGREEN\r\nBLUE\r\n}\r\n"
    "CLASS Item\r\n{\r\nNUMBER Count 1\r\nDECIMAL Weight\r\nTEXT Name \"none\"\r\nColour Tint RED\r\nItem* Next\r\nLOCTEXT Label\r\n}\r\n"
    "CLASS Shelf\r\n{\r\nItem First\r\nFILE Picture\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nNUMBER\r\nItem\r\nTEXT\r\n}\r\n";

static const char ourInstances[] =
    "INCLUDE types.fruit\r\n"
    "Item Apple\r\n{\r\nCount 3\r\nWeight 0.25\r\nName \"red apple\"\r\nTint GREEN\r\nNext Pear\r\nLabel \"Red apple\"\r\n}\r\n"
    "Item Pear\r\n{\r\nCount 1\r\n}\r\n"
    "Shelf Top\r\n{\r\nFirst\r\n{\r\nCount 2\r\n}\r\nPicture shelf.tga\r\n}\r\n"
    "Script Run\r\n{\r\nNUMBER 4\r\nTEXT Greeting hello\r\nItem Spare\r\n{\r\nCount 9\r\n}\r\n}\r\n"
    "NUMBER Total 12\r\n"
    "Unknown Thing\r\n{\r\nA 1\r\n}\r\n";

static void locVelkSeeds(const std::string& aWork)
{
    if (chdir(aWork.c_str()) != 0)
        exit(1);
    locWrite("types.fruit", ourTypes, sizeof(ourTypes) - 1);
    locSeed("fuzz_fruit", "types.fruit", ourTypes, sizeof(ourTypes) - 1);
    static const char ourSelfInclude[] = "INCLUDE a.fruit\r\nTYPE Mode\r\n{\r\nON\r\nOFF\r\n}\r\n"
                                         "CLASS Node\r\n{\r\nNode* Parent\r\nMode State OFF\r\n}\r\n";
    locSeed("fuzz_fruit", "include.fruit", ourSelfInclude, sizeof(ourSelfInclude) - 1);

    // The instance text as the writer puts it out, after a compile that ignores the unknown type.
    VelkTypeManager locTypeManager;
    VelkNameSpace locNameSpace;
    EverythingIgnorer locIgnorer;
    VelkCompiler::CompileText(locNameSpace, "seed.velk", ourInstances, sizeof(ourInstances) - 1, &locTypeManager,
                              &locIgnorer);
    VelkOutput locOutput;
    if (!locNameSpace.WriteTo(locOutput, "seed.velk") || locOutput.GetText().empty())
        exit(1);
    std::string locWritten = locOutput.GetText();
    locSeed("fuzz_velk", "written.velk", locWritten.data(), locWritten.size());
    locSeed("fuzz_velk", "ignored.velk", ourInstances, sizeof(ourInstances) - 1);
    std::string locWithTypes = std::string(ourTypes) + '\0' + locWritten;
    locSeed("fuzz_velk", "withtypes.velk", locWithTypes.data(), locWithTypes.size());

    // The converter's .tez and .loc of the same namespace.
    if (!VelkToTez::Convert(locNameSpace, "seed.velk"))
        exit(1);
    std::vector<uint8_t> locTez = locRead(aWork + "/seed.tez");
    std::vector<uint8_t> locLoc = locRead(aWork + "/seed.loc");
    locSeed("fuzz_tez", "seed.tez", locTez.data(), locTez.size());
    std::vector<uint8_t> locBoth = locTez;
    static const char ourSeparator[] = "#LOCFILE";
    locBoth.insert(locBoth.end(), ourSeparator, ourSeparator + sizeof(ourSeparator) - 1);
    locBoth.insert(locBoth.end(), locLoc.begin(), locLoc.end());
    locSeed("fuzz_tez", "seed_with_loc.tez", locBoth.data(), locBoth.size());
    locSeed("fuzz_loc", "seed.loc", locLoc.data(), locLoc.size());
    TezLocEncoder locEncoder;
    locEncoder.AddKeyValue("Menu.Title", "Start");
    locEncoder.AddKeyValue("Menu.Quit", "Quit \xC3\xA9\xE2\x82\xAC");
    std::string locEncoded;
    if (!locEncoder.Encode(locEncoded))
        exit(1);
    locSeed("fuzz_loc", "encoded.loc", locEncoded.data(), locEncoded.size());
}

#ifdef Q_SEEDS_TFM
// Filter files written by the filter manager: empty, one type with no filter,
// and types with several filters, members and an active one.
static void locTfmSeeds()
{
    std::vector<uint8_t> locBytes;
    VelkTypeFilterManager locManager(nullptr);
    locManager.SaveTo(locBytes);
    locSeed("fuzz_tfm", "empty.tfm", locBytes.data(), locBytes.size());
    locManager.GetType("Script");
    locManager.SaveTo(locBytes);
    locSeed("fuzz_tfm", "one_type.tfm", locBytes.data(), locBytes.size());
    VelkTypeFilterManager::Type* locUnit = locManager.GetType("UnitType");
    VelkTypeFilter* locCombat = locUnit->AddFilter("combat");
    locCombat->AddMember("myRange");
    locCombat->AddMember("myDamage");
    locCombat->AddMember("myWeapon.myReload");
    locUnit->AddFilter("looks")->AddMember("myModel");
    locUnit->SetActiveFilter("combat");
    VelkTypeFilterManager::Type* locSound = locManager.GetType("QS_Sound");
    locSound->AddFilter("")->AddMember("myVolume");
    locSound->AddFilter("all");
    locManager.SaveTo(locBytes);
    locSeed("fuzz_tfm", "filters.tfm", locBytes.data(), locBytes.size());
}
#endif

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
    locSdfSeeds(locWork);
    locPackSeeds();
    locVelkSeeds(locWork);
#ifdef Q_SEEDS_TFM
    locTfmSeeds();
#endif
    std::string locClean = std::string("rm -rf ") + locWork;
    return system(locClean.c_str()) == 0 ? 0 : 1;
}
