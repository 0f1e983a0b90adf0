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
