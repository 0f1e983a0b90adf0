// Shared helpers of the archive tests: a scratch folder as current directory,
// files written into it, and an archive's bytes taken apart.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qfile/qf_sdf.h"
#include "qfile/qf_sdfedit.h"
#include "qpack/qp_pack.h"

namespace sdftest
{
namespace fs = std::filesystem;

inline uint32_t Word(const std::vector<uint8_t>& aBytes, uint64_t anOffset)
{
    EXPECT_LE(anOffset + 4, aBytes.size());
    if (anOffset + 4 > aBytes.size())
        return 0;
    return uint32_t(aBytes[anOffset]) | (uint32_t(aBytes[anOffset + 1]) << 8) | (uint32_t(aBytes[anOffset + 2]) << 16) |
           (uint32_t(aBytes[anOffset + 3]) << 24);
}

inline void PutWord(std::vector<uint8_t>& aBytes, uint64_t anOffset, uint32_t aValue)
{
    for (int i = 0; i < 4; ++i)
        aBytes[anOffset + i] = uint8_t(aValue >> (8 * i));
}

inline std::vector<uint8_t> ReadBytes(const fs::path& aPath)
{
    std::ifstream locIn(aPath, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(locIn)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& aPath, const std::vector<uint8_t>& aBytes)
{
    if (aPath.has_parent_path())
        fs::create_directories(aPath.parent_path());
    std::ofstream(aPath, std::ios::binary).write(reinterpret_cast<const char*>(aBytes.data()), std::streamsize(aBytes.size()));
}

inline void WriteText(const fs::path& aPath, const std::string& aText)
{
    WriteBytes(aPath, std::vector<uint8_t>(aText.begin(), aText.end()));
}

inline uint32_t Hash(const char* aPath)
{
    char locNormalized[256];
    return QF_SDF::HashName(aPath, locNormalized);
}

inline std::string Text(const std::vector<uint8_t>& aFat, uint32_t anOffset)
{
    return std::string(reinterpret_cast<const char*>(aFat.data()) + anOffset);
}

// A FAT described by its directories and files, laid out as the format says
// by this independent writer: names are the bytes given, the table stored.
struct FatSpec
{
    struct Dir
    {
        std::string myPath;
        // Sub-directory entries: (directory index, character of its path they point at).
        std::vector<std::pair<int, uint32_t>> mySubs;
    };
    struct File
    {
        int myDir;
        std::string myLeaf;
        std::string myData;
    };
    std::vector<Dir> myDirs;
    std::vector<File> myFiles;
};

inline uint32_t Align4(uint32_t aValue)
{
    return (aValue + 3) & ~3u;
}

inline std::vector<uint8_t> BuildArchive(const FatSpec& aSpec)
{
    const uint32_t locN = uint32_t(aSpec.myFiles.size());
    const uint32_t locD = uint32_t(aSpec.myDirs.size());
    std::vector<uint32_t> locFileAt, locDirAt, locPathAt;
    uint32_t locAt = 8 + 8 * (locN + locD);
    for (const FatSpec::File& locFile : aSpec.myFiles)
    {
        locFileAt.push_back(locAt);
        locAt += 20 + Align4(uint32_t(locFile.myLeaf.size()) + 1);
    }
    for (int i = 0; i < int(locD); ++i)
    {
        const FatSpec::Dir& locDir = aSpec.myDirs[i];
        uint32_t locFiles = 0;
        for (const FatSpec::File& locFile : aSpec.myFiles)
            locFiles += locFile.myDir == i;
        locDirAt.push_back(locAt);
        locPathAt.push_back(locAt + 8 + 4 * uint32_t(locDir.mySubs.size()) + 4 * locFiles);
        locAt = locPathAt.back() + Align4(uint32_t(locDir.myPath.size()) + 1);
    }
    std::vector<uint8_t> locFat(locAt, 0);
    std::vector<uint8_t> locData;
    PutWord(locFat, 0, locN);
    PutWord(locFat, 4 + 8 * locN, locD);
    for (uint32_t i = 0; i < locN; ++i)
    {
        const FatSpec::File& locFile = aSpec.myFiles[i];
        const std::string& locDirPath = aSpec.myDirs[locFile.myDir].myPath;
        std::string locPath = locDirPath.empty() ? locFile.myLeaf : locDirPath + "/" + locFile.myLeaf;
        PutWord(locFat, 4 + 8 * i, Hash(locPath.c_str()));
        PutWord(locFat, 8 + 8 * i, locFileAt[i]);
        PutWord(locFat, locFileAt[i] + 4, uint32_t(locFile.myData.size()));
        PutWord(locFat, locFileAt[i] + 8, uint32_t(locFile.myData.size()));
        PutWord(locFat, locFileAt[i] + 12, 8 + uint32_t(locData.size()));
        PutWord(locFat, locFileAt[i] + 16, locPathAt[locFile.myDir]);
        memcpy(&locFat[locFileAt[i] + 20], locFile.myLeaf.data(), locFile.myLeaf.size());
        locData.insert(locData.end(), locFile.myData.begin(), locFile.myData.end());
    }
    for (uint32_t i = 0; i < locD; ++i)
    {
        const FatSpec::Dir& locDir = aSpec.myDirs[i];
        PutWord(locFat, 8 + 8 * locN + 8 * i, Hash(locDir.myPath.c_str()));
        PutWord(locFat, 12 + 8 * locN + 8 * i, locDirAt[i]);
        uint32_t locAtWord = locDirAt[i];
        PutWord(locFat, locAtWord, uint32_t(locDir.mySubs.size()));
        for (const auto& locSub : locDir.mySubs)
            PutWord(locFat, locAtWord += 4, locPathAt[locSub.first] + locSub.second);
        std::vector<uint32_t> locFiles;
        for (uint32_t j = 0; j < locN; ++j)
            if (aSpec.myFiles[j].myDir == int(i))
                locFiles.push_back(locFileAt[j]);
        PutWord(locFat, locAtWord += 4, uint32_t(locFiles.size()));
        for (uint32_t locFile : locFiles)
            PutWord(locFat, locAtWord += 4, locFile);
        memcpy(&locFat[locPathAt[i]], locDir.myPath.data(), locDir.myPath.size());
    }
    std::vector<uint8_t> locBytes(8, 0);
    PutWord(locBytes, 0, 0x094C4F4B);
    locBytes.insert(locBytes.end(), locData.begin(), locData.end());
    PutWord(locBytes, 4, uint32_t(locBytes.size()));
    locBytes.resize(locBytes.size() + 8);
    PutWord(locBytes, locBytes.size() - 8, uint32_t(locFat.size()));
    PutWord(locBytes, locBytes.size() - 4, uint32_t(locFat.size()));   // stored
    locBytes.insert(locBytes.end(), locFat.begin(), locFat.end());
    return locBytes;
}

// An archive file taken apart: its bytes and its unpacked FAT.
struct Archive
{
    std::vector<uint8_t> myBytes;
    std::vector<uint8_t> myFat;
    uint32_t myFatBlock = 0;
    uint32_t myFatMethod = 0;

    bool Load(const fs::path& aPath)
    {
        myBytes = ReadBytes(aPath);
        if (myBytes.size() < 16 || Word(myBytes, 0) != 0x094C4F4B)
            return false;
        myFatBlock = Word(myBytes, 4);
        uint32_t locUnpacked = Word(myBytes, myFatBlock);
        uint32_t locPacked = Word(myBytes, myFatBlock + 4);
        myFatMethod = locPacked >> 30;
        uint32_t locStored = locPacked & 0x3FFFFFFF;
        if (uint64_t(myFatBlock) + 8 + locStored != myBytes.size())
            return false;
        const uint8_t* locData = myBytes.data() + myFatBlock + 8;
        myFat.assign(locUnpacked, 0);
        if (myFatMethod == 0)
            myFat.assign(locData, locData + locStored);
        else if (myFatMethod == 1)
            return QP_Pack::DecompressZlib(locUnpacked, myFat.data(), locStored, locData) == locUnpacked;
        else if (myFatMethod == 2)
            return QP_Pack::DecompressLZMA(locData, locStored, myFat.data(), locUnpacked);
        return myFatMethod == 0;
    }

    uint32_t FileCount() const { return Word(myFat, 0); }
    uint32_t FileHash(uint32_t i) const { return Word(myFat, 4 + 8 * i); }
    uint32_t FileRecord(uint32_t i) const { return Word(myFat, 8 + 8 * i); }
    uint32_t DirTable() const { return 4 + 8 * FileCount(); }
    uint32_t DirCount() const { return Word(myFat, DirTable()); }
    uint32_t DirHash(uint32_t i) const { return Word(myFat, DirTable() + 4 + 8 * i); }
    uint32_t DirRecord(uint32_t i) const { return Word(myFat, DirTable() + 8 + 8 * i); }
    std::string DirPath(uint32_t aRecord) const
    {
        uint32_t locSubs = Word(myFat, aRecord);
        uint32_t locFiles = Word(myFat, aRecord + 4 + 4 * locSubs);
        return Text(myFat, aRecord + 8 + 4 * locSubs + 4 * locFiles);
    }
    // The directory record of that path, or 0.
    uint32_t FindDir(const std::string& aPath) const
    {
        for (uint32_t i = 0; i < DirCount(); ++i)
            if (DirPath(DirRecord(i)) == aPath)
                return DirRecord(i);
        return 0;
    }
    // The file record whose leaf is that name, or 0.
    uint32_t FindFile(const std::string& aLeaf) const
    {
        for (uint32_t i = 0; i < FileCount(); ++i)
            if (Text(myFat, FileRecord(i) + 20) == aLeaf)
                return FileRecord(i);
        return 0;
    }
};

// Each test runs in a fresh folder of its own as the current directory, with
// no archive registered.
class ScratchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) /
                (std::string(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) + "." +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        fs::current_path(myDir);
        QF_SDF::Close(nullptr);
    }

    void TearDown() override
    {
        QF_SDF::Close(nullptr);
        fs::current_path(Q_TEST_TMP_DIR);
    }

    // Packs the names (as given) with a method for data and FAT; false with the
    // writer's error. A name AddFile refuses makes the write fail too.
    bool Pack(const std::vector<std::string>& aNames, const char* anArchive, uint32_t aMethod = 2)
    {
        QF_SDFEdit locWriter;
        for (const std::string& locName : aNames)
            locWriter.AddFile(locName.c_str());
        locWriter.SetDefaultCompression(aMethod);
        return locWriter.Write(anArchive);
    }

    fs::path myDir;
};
}
