// Type filters and the filter file: round trips, damaged files, failed saves.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "velk/tests/velk_test_util.h"
#include "velkeditor/velk_typefilter.h"

namespace
{
typedef std::vector<uint8_t> Bytes;

void PutU32(Bytes& anOut, uint32_t aValue)
{
    for (int i = 0; i < 4; i++)
        anOut.push_back(uint8_t(aValue >> (8 * i)));
}

void PutString(Bytes& anOut, const std::string& aText)
{
    PutU32(anOut, uint32_t(aText.size()));
    anOut.insert(anOut.end(), aText.begin(), aText.end());
}

std::vector<std::string> Members(VelkTypeFilter* aFilter)
{
    QC_List<QC_String> locList;
    aFilter->GetMembers(locList);
    std::vector<std::string> locOut;
    for (auto* locLink = locList.myFirstLink; locLink; locLink = locLink->myNext)
        locOut.push_back(locLink->myItem.GetBuffer());
    return locOut;
}

Bytes Save(const VelkTypeFilterManager& aManager)
{
    Bytes locBytes;
    aManager.SaveTo(locBytes);
    return locBytes;
}

// Two types: "Unit" with filters "combat" (active) and "looks", "Empty" with
// no filter and the default one active.
Bytes SampleFile()
{
    Bytes locFile;
    PutU32(locFile, 2);
    PutString(locFile, "Unit");
    PutU32(locFile, 2);
    PutString(locFile, "combat");
    PutU32(locFile, 3);
    PutString(locFile, "myArmour");
    PutString(locFile, "myDamage");
    PutString(locFile, "myRange");
    PutString(locFile, "looks");
    PutU32(locFile, 1);
    PutString(locFile, "myModel.myName");
    PutString(locFile, "combat");
    PutString(locFile, "Empty");
    PutU32(locFile, 0);
    PutString(locFile, "");
    return locFile;
}

class TypeFilterFileTest : public VelkScratchTest
{
protected:
    void WriteFile(const char* aName, const Bytes& aBytes) const
    {
        WriteDisk(aName, std::string(aBytes.begin(), aBytes.end()));
    }

    Bytes ReadFile(const char* aName) const
    {
        std::string locData = ReadDisk(aName);
        return Bytes(locData.begin(), locData.end());
    }
};
} // namespace

TEST(TypeFilter, EmptyFilterLetsEveryMemberThroughAndMembersAreUnique)
{
    VelkTypeFilter locFilter("f");
    EXPECT_TRUE(locFilter.Contains("anything"));
    EXPECT_TRUE(locFilter.AddMember("b"));
    EXPECT_TRUE(locFilter.AddMember("a"));
    EXPECT_FALSE(locFilter.AddMember("b"));
    EXPECT_TRUE(locFilter.Contains("a"));
    EXPECT_FALSE(locFilter.Contains("anything"));
    EXPECT_EQ(Members(&locFilter), (std::vector<std::string>{"a", "b"}));
    locFilter.Clear();
    EXPECT_TRUE(locFilter.Contains("anything"));

    locFilter.AddMember("old");
    std::vector<QC_String> locNames{"z", "a", "m", "a"};
    locFilter.SetMembers(locNames);
    EXPECT_EQ(Members(&locFilter), (std::vector<std::string>{"a", "m", "z"}));
}

TEST(TypeFilter, RecordsFindAddAndActivateFilters)
{
    VelkTypeFilterManager locManager(nullptr);
    VelkTypeFilterManager::Type* locType = locManager.GetType("Unit");
    EXPECT_EQ(locManager.GetType("Unit"), locType);
    EXPECT_EQ(locManager.GetTypes().myCount, 1);
    EXPECT_EQ(locType->GetActiveFilter(), locType->GetDefaultFilter());

    VelkTypeFilter* locFirst = locType->AddFilter("first");
    EXPECT_EQ(locType->GetActiveFilter(), locFirst);
    VelkTypeFilter* locSecond = locType->AddFilter("second");
    EXPECT_EQ(locType->GetActiveFilter(), locSecond);
    // A name that exists gives the filter back and leaves the active one alone.
    EXPECT_EQ(locType->AddFilter("first"), locFirst);
    EXPECT_EQ(locType->GetActiveFilter(), locSecond);
    EXPECT_EQ(locType->GetFilters().myCount, 2);

    EXPECT_TRUE(locType->SetActiveFilter("first"));
    EXPECT_EQ(locType->GetActiveFilter(), locFirst);
    EXPECT_FALSE(locType->SetActiveFilter("missing"));
    EXPECT_EQ(locType->GetActiveFilter(), locType->GetDefaultFilter());
}

TEST(TypeFilter, WrittenFileHoldsSortedUniqueMembersAndTheActiveName)
{
    VelkTypeFilterManager locManager(nullptr);
    VelkTypeFilterManager::Type* locUnit = locManager.GetType("Unit");
    VelkTypeFilter* locCombat = locUnit->AddFilter("combat");
    locCombat->AddMember("myRange");
    locCombat->AddMember("myDamage");
    locCombat->AddMember("myArmour");
    locCombat->AddMember("myRange");
    VelkTypeFilter* locLooks = locUnit->AddFilter("looks");
    locLooks->AddMember("myModel.myName");
    locUnit->SetActiveFilter("combat");
    locManager.GetType("Empty");
    EXPECT_EQ(Save(locManager), SampleFile());

    VelkTypeFilterManager locAgain(nullptr);
    Bytes locFile = SampleFile();
    ASSERT_TRUE(locAgain.LoadFrom(locFile.data(), locFile.size()));
    VelkTypeFilterManager::Type* locUnitAgain = locAgain.FindType("Unit");
    ASSERT_NE(locUnitAgain, nullptr);
    EXPECT_EQ(locUnitAgain->GetActiveFilter()->GetName(), "combat");
    EXPECT_EQ(Members(locUnitAgain->GetActiveFilter()),
              (std::vector<std::string>{"myArmour", "myDamage", "myRange"}));
    VelkTypeFilterManager::Type* locEmpty = locAgain.FindType("Empty");
    ASSERT_NE(locEmpty, nullptr);
    EXPECT_EQ(locEmpty->GetActiveFilter(), locEmpty->GetDefaultFilter());
    EXPECT_EQ(Save(locAgain), locFile);
    // Saving into a used buffer replaces its contents.
    Bytes locReused = locFile;
    locAgain.SaveTo(locReused);
    EXPECT_EQ(locReused, locFile);
}

TEST(TypeFilter, LastRecordWithManyEmptyFiltersIsWhole)
{
    // Each filter takes 8 bytes, and the record ends 4 bytes later: the
    // count check must not ask for more than that.
    Bytes locFile;
    PutU32(locFile, 1);
    PutString(locFile, "T");
    PutU32(locFile, 6);
    for (int i = 0; i < 6; i++)
    {
        PutString(locFile, "");
        PutU32(locFile, 0);
    }
    PutString(locFile, "");
    VelkTypeFilterManager locManager(nullptr);
    EXPECT_TRUE(locManager.LoadFrom(locFile.data(), locFile.size()));
    ASSERT_EQ(locManager.GetTypes().myCount, 1);
    EXPECT_EQ(locManager.FindType("T")->GetFilters().myCount, 6);
    EXPECT_EQ(Save(locManager), locFile);
}

TEST(TypeFilter, LongNamesAreCutWhereTheReaderStops)
{
    VelkTypeFilterManager locManager(nullptr);
    std::string locLong(2000, 'x');
    locManager.GetType("T")->AddFilter(locLong.c_str())->AddMember(locLong.c_str());
    Bytes locBytes = Save(locManager);
    VelkTypeFilterManager locAgain(nullptr);
    ASSERT_TRUE(locAgain.LoadFrom(locBytes.data(), locBytes.size()));
    VelkTypeFilter* locFilter = locAgain.FindType("T")->GetActiveFilter();
    EXPECT_EQ(locFilter->GetName().GetLength(), 1023);
    EXPECT_EQ(Members(locFilter), std::vector<std::string>{std::string(1023, 'x')});
}

TEST(TypeFilter, ManySortedMembersLoadIntoABalancedTree)
{
    // Written sorted, read back in that order: a plain insert would make the
    // tree a list, with quadratic loading and a recursion as deep as the list.
    Bytes locFile;
    PutU32(locFile, 1);
    PutString(locFile, "Wide");
    PutU32(locFile, 1);
    PutString(locFile, "all");
    const uint32_t locCount = 200000;
    PutU32(locFile, locCount);
    for (uint32_t i = 0; i < locCount; i++)
    {
        char locName[16];
        snprintf(locName, sizeof(locName), "m%07u", i);
        PutString(locFile, locName);
    }
    PutString(locFile, "all");
    VelkTypeFilterManager locManager(nullptr);
    ASSERT_TRUE(locManager.LoadFrom(locFile.data(), locFile.size()));
    VelkTypeFilter* locFilter = locManager.FindType("Wide")->GetActiveFilter();
    EXPECT_EQ(locFilter->GetNumMembers(), int(locCount));
    EXPECT_TRUE(locFilter->Contains("m0000000"));
    EXPECT_TRUE(locFilter->Contains("m0199999"));
    EXPECT_FALSE(locFilter->Contains("m0200000"));
    EXPECT_EQ(Save(locManager), locFile);
}

TEST(TypeFilter, DamagedFilesKeepTheWholeRecordsBeforeTheDamage)
{
    Bytes locFile = SampleFile();
    // The first type record ends after its active name "combat".
    const size_t locFirstEnd = 4 + (4 + 4) + 4 + (4 + 6) + 4 + (4 + 8) * 2 + (4 + 7) + (4 + 5) + 4 + (4 + 14) + (4 + 6);
    for (size_t locCut = 0; locCut < locFile.size(); locCut++)
    {
        VelkTypeFilterManager locManager(nullptr);
        bool locLoaded = locManager.LoadFrom(locFile.data(), locCut);
        SCOPED_TRACE(locCut);
        EXPECT_EQ(locLoaded, locCut == 0);
        EXPECT_EQ(locManager.GetTypes().myCount, locCut >= locFirstEnd ? 1 : 0);
        if (locCut >= locFirstEnd)
        {
            EXPECT_EQ(locManager.FindType("Unit")->GetActiveFilter()->GetName(), "combat");
        }
    }

    // A string of 1,024 bytes ends the read; the record before it stays.
    Bytes locLong(locFile.begin(), locFile.begin() + locFirstEnd);
    locLong[0] = 2;
    PutString(locLong, std::string(1024, 'n'));
    PutU32(locLong, 0);
    PutString(locLong, "");
    VelkTypeFilterManager locManager(nullptr);
    EXPECT_FALSE(locManager.LoadFrom(locLong.data(), locLong.size()));
    EXPECT_EQ(locManager.GetTypes().myCount, 1);

    // A member name too long to read ends the read there, even when its bytes
    // would read on as a record of empty strings.
    Bytes locMember(locFile.begin(), locFile.begin() + locFirstEnd);
    locMember[0] = 2;
    PutString(locMember, "Next");
    PutU32(locMember, 1);
    PutString(locMember, "f");
    PutU32(locMember, 2);
    PutString(locMember, std::string(1024, '\0'));
    PutString(locMember, "a");
    PutString(locMember, "");
    VelkTypeFilterManager locMemberManager(nullptr);
    EXPECT_FALSE(locMemberManager.LoadFrom(locMember.data(), locMember.size()));
    EXPECT_EQ(locMemberManager.GetTypes().myCount, 1);

    // Counts of four billion end at once instead of looping on empty strings.
    for (int locWhich = 0; locWhich < 3; locWhich++)
    {
        Bytes locHuge(locFile.begin(), locFile.begin() + locFirstEnd);
        locHuge[0] = 2;
        if (locWhich == 0)
        {
            locHuge[0] = locHuge[1] = locHuge[2] = locHuge[3] = 0xFF;
        }
        else
        {
            PutString(locHuge, "Next");
            if (locWhich == 1)
                PutU32(locHuge, 0xFFFFFFFF);
            else
            {
                PutU32(locHuge, 1);
                PutString(locHuge, "f");
                PutU32(locHuge, 0xFFFFFFFF);
                PutString(locHuge, "a");
            }
        }
        VelkTypeFilterManager locHugeManager(nullptr);
        EXPECT_FALSE(locHugeManager.LoadFrom(locHuge.data(), locHuge.size()));
        EXPECT_EQ(locHugeManager.GetTypes().myCount, 1) << locWhich;
    }
}

TEST_F(TypeFilterFileTest, FourZeroBytesSaveBackIdentically)
{
    std::string locPath = PathOf("korrinth.tfm");
    WriteFile("korrinth.tfm", Bytes(4, 0));
    {
        VelkTypeFilterManager locManager(locPath.c_str());
        EXPECT_EQ(locManager.GetTypes().myCount, 0);
    }
    EXPECT_EQ(ReadFile("korrinth.tfm"), Bytes(4, 0));
}

TEST_F(TypeFilterFileTest, MissingFileGivesNoTypesAndIsWrittenAtTheEnd)
{
    std::string locPath = PathOf("korrinth.tfm");
    {
        VelkTypeFilterManager locManager(locPath.c_str());
        EXPECT_TRUE(locManager.GetTypes().IsEmpty());
        EXPECT_TRUE(locManager.Load());
        locManager.GetType("Script");
    }
    Bytes locExpected;
    PutU32(locExpected, 1);
    PutString(locExpected, "Script");
    PutU32(locExpected, 0);
    PutString(locExpected, "");
    EXPECT_EQ(ReadFile("korrinth.tfm"), locExpected);
}

TEST_F(TypeFilterFileTest, SaveGoesToTheFolderTheFileWasReadFrom)
{
    char locOld[4096];
    ASSERT_NE(getcwd(locOld, sizeof(locOld)), nullptr);
    std::filesystem::create_directories(myDir / "elsewhere");
    ASSERT_EQ(chdir(myDir.c_str()), 0);
    WriteFile("korrinth.tfm", SampleFile());
    {
        VelkTypeFilterManager locManager("korrinth.tfm");
        ASSERT_EQ(chdir("elsewhere"), 0);
        locManager.GetType("Added");
    }
    ASSERT_EQ(chdir(locOld), 0);
    EXPECT_FALSE(std::filesystem::exists(myDir / "elsewhere" / "korrinth.tfm"));
    Bytes locSaved = ReadFile("korrinth.tfm");
    EXPECT_EQ(locSaved.size(), SampleFile().size() + 4 + 5 + 4 + 4);
    EXPECT_EQ(locSaved[0], 3);
}

TEST_F(TypeFilterFileTest, FailedSaveKeepsTheOldFile)
{
    std::string locPath = PathOf("korrinth.tfm");
    WriteFile("korrinth.tfm", SampleFile());
    VelkTypeFilterManager locManager(locPath.c_str());
    ASSERT_EQ(locManager.GetTypes().myCount, 2);
    locManager.GetType("Unit")->AddFilter("big")->AddMember(std::string(1000, 'm').c_str());

    struct rlimit locOld;
    getrlimit(RLIMIT_FSIZE, &locOld);
    struct rlimit locSmall = locOld;
    locSmall.rlim_cur = 64;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    bool locSaved = locManager.Save();
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, SIG_DFL);

    EXPECT_FALSE(locSaved);
    EXPECT_EQ(ReadFile("korrinth.tfm"), SampleFile());
    std::vector<std::string> locLeft;
    for (auto& locEntry : std::filesystem::directory_iterator(myDir))
        locLeft.push_back(locEntry.path().filename().string());
    EXPECT_EQ(locLeft, std::vector<std::string>{"korrinth.tfm"});
}

TEST_F(TypeFilterFileTest, UnreadableOrUnwritableFilesAnswerFalse)
{
    // A folder where the file should be: it can be neither read nor replaced.
    std::string locPath = PathOf("korrinth.tfm");
    std::filesystem::create_directories(locPath);
    VelkTypeFilterManager locManager(locPath.c_str());
    EXPECT_FALSE(locManager.Load());
    EXPECT_TRUE(locManager.GetTypes().IsEmpty());
    std::filesystem::remove(locPath);

    WriteFile("korrinth.tfm", Bytes{5, 0, 0});
    EXPECT_FALSE(locManager.Load());
    WriteFile("korrinth.tfm", SampleFile());
    EXPECT_TRUE(locManager.Load());
    EXPECT_EQ(locManager.GetTypes().myCount, 2);

    VelkTypeFilterManager locNowhere((myDir / "no" / "such" / "korrinth.tfm").c_str());
    EXPECT_FALSE(locNowhere.Save());
    VelkTypeFilterManager locMemoryOnly(nullptr);
    EXPECT_FALSE(locMemoryOnly.Save());
}
