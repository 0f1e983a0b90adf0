// The .tez/.loc pair on disk: replaced so that a crash leaves a matching pair
// or none, .loc keys the decoder can read, stale files found to the
// nanosecond, the report's failures, and names the game cannot tell apart.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/os/tests/os_kill_points.h"
#include "platform/os/tests/os_open_shim.h"
#include "tez/tests/tez_test_util.h"
#include "tez/tez.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

// Every call that changes the disk, counted, with a plan that fails one of
// them as a failing disk would or kills the process there (ourKillAtChange).
// The calls of os_kill_points.h (cuts, plain renames, removals) only kill.
struct FaultPlan
{
    std::atomic<int> myFailAt{0}; // the call that fails with EIO; 0: none
    std::atomic<int> myCalls{0};
    // What failed: "write", "flush", "create", "rename", "exchange" (a
    // rename that swaps two names) or "link", and the names it touched.
    std::string myFailed;
    // When set, the next rename to a name ending in it fails.
    std::string myFailRenameTo;
};
static FaultPlan ourPlan;

static std::string locLeaf(const char* aPath)
{
    const char* locSlash = aPath ? strrchr(aPath, '/') : nullptr;
    return locSlash ? locSlash + 1 : aPath ? aPath : "";
}

// False, errno set, when this call fails.
static bool locMayChange(const char* aKind, const std::string& aNames = std::string())
{
    OS_TestChange();
    if (ourPlan.myFailAt.load() == 0 || ourPlan.myCalls.fetch_add(1) + 1 != ourPlan.myFailAt.load())
        return true;
    ourPlan.myFailed = aNames.empty() ? aKind : std::string(aKind) + " " + aNames;
    errno = EIO;
    return false;
}

static bool locMayRename(const char* aFrom, const char* aTo, const char* aKind = "rename")
{
    const std::string locTo = locLeaf(aTo);
    const std::string& locEnd = ourPlan.myFailRenameTo;
    if (!locEnd.empty() && locTo.size() >= locEnd.size() &&
        locTo.compare(locTo.size() - locEnd.size(), locEnd.size(), locEnd) == 0)
    {
        ourPlan.myFailRenameTo.clear();
        errno = EIO;
        return false;
    }
    return locMayChange(aKind, locLeaf(aFrom) + " " + locTo);
}

// Writes and flushes of regular files only: the test's own output is not the disk's.
static bool locIsFile(int aHandle, const char* aKind)
{
    struct stat locStat;
    return aHandle > 2 && fstat(aHandle, &locStat) == 0 && S_ISREG(locStat.st_mode) ? locMayChange(aKind)
                                                                                    : (OS_TestChange(), true);
}

extern "C" ssize_t pwrite(int aHandle, const void* aData, size_t aCount, off_t anOffset)
{
    if (!locIsFile(aHandle, "write"))
        return -1;
    return static_cast<ssize_t>(syscall(SYS_pwrite64, aHandle, aData, aCount, anOffset));
}

extern "C" ssize_t write(int aHandle, const void* aData, size_t aCount)
{
    if (aHandle > 2 && !locIsFile(aHandle, "write"))
        return -1;
    return static_cast<ssize_t>(syscall(SYS_write, aHandle, aData, aCount));
}

extern "C" int fsync(int aHandle)
{
    if (!locIsFile(aHandle, "flush"))
        return -1;
    return static_cast<int>(syscall(SYS_fsync, aHandle));
}

extern "C" int fdatasync(int aHandle)
{
    if (!locIsFile(aHandle, "flush"))
        return -1;
    return static_cast<int>(syscall(SYS_fdatasync, aHandle));
}

extern "C" int renameat(int aFromDir, const char* aFrom, int aToDir, const char* aTo)
{
    if (!locMayRename(aFrom, aTo))
        return -1;
    return static_cast<int>(syscall(SYS_renameat, aFromDir, aFrom, aToDir, aTo));
}

extern "C" int renameat2(int aFromDir, const char* aFrom, int aToDir, const char* aTo, unsigned int aFlags)
{
    if (!locMayRename(aFrom, aTo, (aFlags & RENAME_EXCHANGE) ? "exchange" : "rename"))
        return -1;
    return static_cast<int>(syscall(SYS_renameat2, aFromDir, aFrom, aToDir, aTo, aFlags));
}

extern "C" int linkat(int aFromDir, const char* aFrom, int aToDir, const char* aTo, int aFlags)
{
    if (!locMayChange("link", locLeaf(aFrom) + " " + locLeaf(aTo)))
        return -1;
    return static_cast<int>(syscall(SYS_linkat, aFromDir, aFrom, aToDir, aTo, aFlags));
}

int OS_TestOpenAt(int aDir, const char* aPath, int aFlags, mode_t aMode)
{
    const bool locCreates = (aFlags & O_CREAT) || (aFlags & O_TMPFILE) == O_TMPFILE;
    if (locCreates && !locMayChange("create", locLeaf(aPath)))
        return -1;
    return static_cast<int>(syscall(SYS_openat, aDir, aPath, aFlags, aMode));
}

namespace
{
const char* const PAIR_FRUIT = "CLASS Card\r\n{\r\nLOCTEXT text\r\nNUMBER n\r\n}\r\n"
                               "SCRIPTCLASS Deck\r\n{\r\nTEXT\r\nNUMBER\r\n}\r\n";

class TezPairTest : public TezTest
{
protected:
    void SetUp() override
    {
        TezTest::SetUp();
        myFruit = WriteDisk("pair.fruit", PAIR_FRUIT);
        ourPlan.myFailAt = 0;
        ourPlan.myFailRenameTo.clear();
    }
    void TearDown() override
    {
        ourPlan.myFailAt = 0;
        ourPlan.myFailRenameTo.clear();
    }

    std::string VelkText(const std::string& aBody) { return "INCLUDE " + myFruit + "\r\n" + aBody; }

    bool Compile(VelkNameSpace& aSpace, const std::string& aBody)
    {
        const std::string locText = VelkText(aBody);
        return VelkCompiler::CompileText(aSpace, "pair.velk", locText.data(), locText.size(), &myTypes, nullptr);
    }

    // The .loc text of a LOCTEXT node, as Latin-1.
    static std::string LocText(Tez* aRoot, const char* aPath)
    {
        Tez* locNode = aRoot->GetMember(aPath);
        if (locNode == nullptr || aRoot->GetLocDecoder() == nullptr)
            return "<none>";
        const QC_LocString* locText = aRoot->GetLocDecoder()->GetText(static_cast<uint32_t>(locNode->GetValueAsInt()));
        if (locText == nullptr)
            return "<out of range>";
        std::string locOut;
        for (int locIndex = 0; locIndex < locText->GetLength(); ++locIndex)
            locOut += static_cast<char>(locText->GetText()[locIndex]);
        return locOut;
    }

    void SetWriteTime(const std::string& aName, time_t aSeconds, long aNanoseconds)
    {
        const struct timespec locTimes[2] = {{aSeconds, aNanoseconds}, {aSeconds, aNanoseconds}};
        ASSERT_EQ(utimensat(AT_FDCWD, PathOf(aName).c_str(), locTimes, 0), 0);
    }

    std::string myFruit;
    VelkTypeManager myTypes;
    VelkLogCollector myLog;
};

// Every card's text starts with its own name: a .tez beside another's .loc
// shows some card another card's text.
const char* const OLD_CARDS = "Card alpha\r\n{\r\n\ttext \"alpha old\"\r\n}\r\n"
                              "Card beta\r\n{\r\n\ttext \"beta old\"\r\n}\r\n";
const char* const NEW_CARDS = "Card gamma\r\n{\r\n\ttext \"gamma new\"\r\n}\r\n"
                              "Card beta\r\n{\r\n\ttext \"beta new\"\r\n}\r\n"
                              "Card alpha\r\n{\r\n\ttext \"alpha new\"\r\n}\r\n";
}

TEST_F(TezPairTest, CrashAtAnyStepLeavesAMatchingPairOrNone)
{
    VelkNameSpace locOld;
    VelkNameSpace locNew;
    ASSERT_TRUE(Compile(locOld, OLD_CARDS)) << myLog.AllErrors();
    ASSERT_TRUE(Compile(locNew, NEW_CARDS)) << myLog.AllErrors();
    const std::string locTez = PathOf("pair.tez");

    // Killed before each change to the disk in turn, until one run ends
    // before the change it was to die at.
    int locKills = 0, locOldPairs = 0, locNewPairs = 0, locMissing = 0;
    for (int locKill = 1; locKill < 400; ++locKill)
    {
        SCOPED_TRACE("killed at change " + std::to_string(locKill));
        ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
        WriteDisk("pair.velk", VelkText(NEW_CARDS));

        const pid_t locChild = fork();
        ASSERT_GE(locChild, 0);
        if (locChild == 0)
        {
            ourKillAtChange = locKill;
            const bool locDone = VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str());
            ourKillAtChange = 0;
            _exit(locDone ? 0 : 1);
        }
        int locStatus = 0;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        const bool locKilled = WIFSIGNALED(locStatus);
        locKills += locKilled;
        if (!locKilled)
        {
            EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0);
            Tez* locRoot = Tez::Load(locTez.c_str(), false);
            ASSERT_NE(locRoot, nullptr) << AllPrinted();
            EXPECT_EQ(LocText(locRoot, "gamma.text"), "gamma new");
            delete locRoot;
            break;
        }

        if (!std::filesystem::exists(locTez))
        {
            // No .tez: a load with conversion makes the new pair.
            locMissing++;
            Tez* locRoot = Tez::Load(locTez.c_str(), true);
            ASSERT_NE(locRoot, nullptr) << AllPrinted();
            EXPECT_EQ(LocText(locRoot, "alpha.text"), "alpha new");
            EXPECT_EQ(LocText(locRoot, "gamma.text"), "gamma new");
            delete locRoot;
            continue;
        }
        Tez* locRoot = Tez::Load(locTez.c_str(), false);
        ASSERT_NE(locRoot, nullptr) << AllPrinted();
        const std::string locAlpha = LocText(locRoot, "alpha.text");
        const std::string locBeta = LocText(locRoot, "beta.text");
        if (locAlpha == "alpha old")
        {
            locOldPairs++;
            EXPECT_EQ(locBeta, "beta old");
        }
        else
        {
            locNewPairs++;
            EXPECT_EQ(locAlpha, "alpha new");
            EXPECT_EQ(locBeta, "beta new");
            EXPECT_EQ(LocText(locRoot, "gamma.text"), "gamma new");
        }
        delete locRoot;
    }
    printf("pair with texts: %d kills landed, %d old pairs, %d new pairs, %d without a .tez\n", locKills,
           locOldPairs, locNewPairs, locMissing);
    // Each of the three outcomes happens at some change.
    EXPECT_GE(locKills, 10);
    EXPECT_GT(locOldPairs, 0);
    EXPECT_GT(locNewPairs, 0);
    EXPECT_GT(locMissing, 0);
}

namespace
{
// Cards enough that each file of the pair takes many writes; every text
// starts with its card's name and ends with the round it was written in.
std::string ManyCards(const char* aRound)
{
    // The new round has one card more, first: its texts' numbers all move, so
    // an old .tez beside a new .loc shows each card another's text.
    std::string locText = strcmp(aRound, "new") == 0 ? "Card first\r\n{\r\n\ttext \"first\"\r\n}\r\n" : "";
    for (int i = 0; i < 1500; ++i)
        locText += "Card c" + std::to_string(i) + "\r\n{\r\n\ttext \"c" + std::to_string(i) + " " +
                   std::string(120, 'x') + " " + aRound + "\"\r\n}\r\n";
    return locText;
}
}

TEST_F(TezPairTest, AHardLinkedPairKilledAnywhereIsBothOldOrBothNewOnceOpenedAgain)
{
    // Both files have a second name in another folder: each is rewritten in place.
    setenv("XDG_DATA_HOME", PathOf("data").c_str(), 1);
    VelkNameSpace locOld;
    VelkNameSpace locNew;
    ASSERT_TRUE(Compile(locOld, ManyCards("old"))) << myLog.AllErrors();
    ASSERT_TRUE(Compile(locNew, ManyCards("new"))) << myLog.AllErrors();
    const std::string locTez = PathOf("pair.tez");
    std::filesystem::create_directories(PathOf("linked"));
    const std::string locEnd = std::string(120, 'x') + " ";
    int locKills = 0, locOldPairs = 0, locNewPairs = 0;
    for (int locAt = 1; locAt < 400; ++locAt)
    {
        SCOPED_TRACE("killed at change " + std::to_string(locAt));
        ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
        for (const char* locName : {"pair.tez", "pair.loc"})
        {
            std::filesystem::remove(PathOf("linked/") + locName);
            std::filesystem::create_hard_link(PathOf(locName), PathOf("linked/") + locName);
        }
        const pid_t locChild = fork();
        ASSERT_GE(locChild, 0);
        if (locChild == 0)
        {
            ourKillAtChange = locAt;
            const bool locDone = VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str());
            ourKillAtChange = 0;
            _exit(locDone ? 0 : 1);
        }
        int locStatus = 0;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        const bool locKilled = WIFSIGNALED(locStatus);
        // Opened again by either name: the texts of one round only.
        const std::string locOpened = locAt % 2 ? PathOf("linked/pair.tez") : locTez;
        ASSERT_TRUE(std::filesystem::exists(locOpened));
        Tez* locRoot = Tez::Load(locOpened.c_str(), false);
        ASSERT_NE(locRoot, nullptr) << AllPrinted();
        const std::string locFirst = LocText(locRoot, "c0.text");
        const std::string locRound = locFirst.substr(locFirst.rfind(' ') + 1);
        EXPECT_TRUE(locRound == "old" || locRound == "new") << locFirst;
        for (const char* locCard : {"c1", "c700", "c1499"})
            EXPECT_EQ(LocText(locRoot, (std::string(locCard) + ".text").c_str()), locCard + (" " + locEnd) + locRound);
        delete locRoot;
        (locRound == "old" ? locOldPairs : locNewPairs)++;
        if (!locKilled)
        {
            EXPECT_TRUE(WIFEXITED(locStatus) && WEXITSTATUS(locStatus) == 0);
            EXPECT_EQ(locRound, "new");
            break;
        }
        ++locKills;
    }
    EXPECT_GE(locKills, 20);
    EXPECT_GT(locOldPairs, 0);
    EXPECT_GT(locNewPairs, 1);
    printf("hard-linked pair: %d tries, %d kills landed, %d old pairs, %d new pairs\n", locOldPairs + locNewPairs,
           locKills, locOldPairs, locNewPairs);
    unsetenv("XDG_DATA_HOME");
}

TEST_F(TezPairTest, FailureAtAnyChangeIsReportedAndLeavesAMatchingPairOrNone)
{
    VelkNameSpace locOld;
    VelkNameSpace locNew;
    ASSERT_TRUE(Compile(locOld, OLD_CARDS));
    ASSERT_TRUE(Compile(locNew, NEW_CARDS));
    const std::string locTez = PathOf("pair.tez");

    // Each change to the disk fails in turn, until a conversion makes fewer.
    std::set<std::string> locFailedKinds;
    int locFailures = 0;
    for (int locFail = 1; locFail < 400; ++locFail)
    {
        SCOPED_TRACE("change " + std::to_string(locFail) + " fails");
        ourPlan.myFailAt = 0;
        ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
        ourPlan.myCalls = 0;
        ourPlan.myFailed.clear();
        ourPlan.myFailAt = locFail;
        TezDebugCollector::ourLines.clear();
        const bool locDone = VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str());
        ourPlan.myFailAt = 0;
        const std::string locFailed = ourPlan.myFailed;
        SCOPED_TRACE(locFailed.empty() ? "none failed" : locFailed + " failed");
        if (locFailed.empty())
        {
            EXPECT_TRUE(locDone);
            break;
        }
        // What the pair's data and names depend on fails the conversion; a
        // file that could not be made, or names that could not be swapped,
        // may be made another way.
        const std::string locKind = locFailed.substr(0, locFailed.find(' '));
        const bool locPairsName = locFailed.find("pair.") != std::string::npos;
        if (locKind == "write" || locKind == "flush" || (locKind == "rename" && locPairsName))
        {
            EXPECT_FALSE(locDone);
        }
        if (!locDone)
        {
            locFailures++;
            locFailedKinds.insert(locKind);
            EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): failed to ")) << AllPrinted();
        }
        if (!std::filesystem::exists(locTez))
        {
            EXPECT_FALSE(locDone);
            continue;
        }
        Tez* locRoot = Tez::Load(locTez.c_str(), false);
        ASSERT_NE(locRoot, nullptr);
        const std::string locAlpha = LocText(locRoot, "alpha.text");
        EXPECT_EQ(LocText(locRoot, "beta.text"), locAlpha == "alpha old" ? "beta old" : "beta new");
        EXPECT_TRUE(locAlpha == "alpha old" || locAlpha == "alpha new") << locAlpha;
        if (locDone)
        {
            EXPECT_EQ(LocText(locRoot, "gamma.text"), "gamma new");
        }
        delete locRoot;
    }
    printf("pair with texts: %d changes failed the conversion\n", locFailures);
    // The writes, flushes and renames of all three files were reached.
    EXPECT_GE(locFailures, 10);
    EXPECT_EQ(locFailedKinds.count("write") + locFailedKinds.count("flush") + locFailedKinds.count("rename"), 3u);
}

TEST_F(TezPairTest, AFailedRenameOfTheSecondFilePutsTheOldPairBack)
{
    VelkNameSpace locOld;
    VelkNameSpace locNew;
    ASSERT_TRUE(Compile(locOld, OLD_CARDS));
    ASSERT_TRUE(Compile(locNew, NEW_CARDS));
    const std::string locTez = PathOf("pair.tez");
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
    const std::string locOldTez = ReadDisk("pair.tez");
    const std::string locOldLoc = ReadDisk("pair.loc");
    ASSERT_FALSE(locOldLoc.empty());

    // The .loc is hard-linked elsewhere in the second round: rewritten in
    // place, its old bytes go back the same.
    for (int locLinkedFlag = 0; locLinkedFlag < 2; ++locLinkedFlag)
    {
        SCOPED_TRACE(locLinkedFlag ? "linked .loc" : "plain .loc");
        if (locLinkedFlag)
            std::filesystem::create_hard_link(PathOf("pair.loc"), PathOf("shared.loc"));
        // The system refuses the .tez's rename once the new .loc is in.
        ourPlan.myFailRenameTo = ".tez";
        EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
        EXPECT_TRUE(ourPlan.myFailRenameTo.empty());
        EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): failed to write outfile '" + locTez + "'"));
        EXPECT_TRUE(ReadDisk("pair.tez") == locOldTez);
        EXPECT_TRUE(ReadDisk("pair.loc") == locOldLoc);
        Tez* locRoot = Tez::Load(locTez.c_str(), false);
        ASSERT_NE(locRoot, nullptr);
        EXPECT_EQ(LocText(locRoot, "alpha.text"), "alpha old");
        delete locRoot;
        std::vector<std::string> locNames;
        for (const auto& locEntry : std::filesystem::directory_iterator(myDir))
            if (locEntry.path().filename().string()[0] == '.')
                locNames.push_back(locEntry.path().filename().string());
        EXPECT_TRUE(locNames.empty()) << locNames[0];
    }
    EXPECT_TRUE(ReadDisk("shared.loc") == locOldLoc);
}

TEST_F(TezPairTest, FailedReportFailsTheConversionAndLeavesNoStaleReport)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, OLD_CARDS));
    const std::string locTez = PathOf("pair.tez");
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locSpace, locTez.c_str()));
    ASSERT_TRUE(std::filesystem::exists(PathOf("pair.hash")));

    // The system refuses the report's rename, once the pair is in.
    VelkNameSpace locNew;
    ASSERT_TRUE(Compile(locNew, NEW_CARDS));
    ourPlan.myFailRenameTo = ".hash";
    EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
    EXPECT_TRUE(ourPlan.myFailRenameTo.empty());
    EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): failed to write hash report '" + PathOf("pair.hash")));
    EXPECT_FALSE(std::filesystem::exists(PathOf("pair.hash")));
    // The pair itself is the new one, whole.
    Tez* locRoot = Tez::Load(locTez.c_str(), false);
    ASSERT_NE(locRoot, nullptr);
    EXPECT_EQ(LocText(locRoot, "gamma.text"), "gamma new");
    delete locRoot;

    // A report that cannot replace what stands in its place fails the same way.
    std::filesystem::create_directory(PathOf("pair.hash"));
    EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locSpace, locTez.c_str()));
    locRoot = Tez::Load(locTez.c_str(), false);
    ASSERT_NE(locRoot, nullptr);
    EXPECT_EQ(LocText(locRoot, "alpha.text"), "alpha old");
    delete locRoot;
}

TEST_F(TezPairTest, KeysTheDecoderCannotReadAreRefused)
{
    struct Case
    {
        std::string myKey;
        bool myReadable;
    } locCases[] = {
        {"card.text", true}, {"a b", true}, {"a/b", true}, {"x", true}, {"del\x7f", true},
        {"", false}, {" ", false}, {" lead", false}, {"\tlead", false}, {"b\thi", false},
        {"a//b", false}, {"a\x01" "b", false}, {"a\rb", false}, {"a\nb", false},
    };
    for (const Case& locCase : locCases)
    {
        SCOPED_TRACE("key '" + locCase.myKey + "'");
        TezDebugCollector::ourLines.clear();
        TezLocEncoder locEncoder;
        locEncoder.AddKeyValue(locCase.myKey.c_str(), "hi there");
        locEncoder.AddKeyValue("next", "second");
        EXPECT_EQ(locEncoder.Save(PathOf("keys.tez").c_str()), locCase.myReadable);
        if (!locCase.myReadable)
        {
            EXPECT_TRUE(Printed("TezLocEncoder::ValidateKeyValues(): key '" + locCase.myKey +
                                "' of a LOCTEXT instance cannot be read back"))
                << AllPrinted();
            continue;
        }
        TezLocDecoder locDecoder;
        ASSERT_TRUE(locDecoder.Load(PathOf("keys.tez").c_str()));
        ASSERT_EQ(locDecoder.GetNumTexts(), 2u);
        EXPECT_EQ(std::u16string(locDecoder.GetText(0)->GetText(), 8), u"hi there");
    }

    // Through a conversion: a key holding a control character fails it, and a
    // load that converts first fails every time instead of loading other texts.
    const std::string locVelk = WriteDisk("tab.velk", VelkText("LOCTEXT b\x01hi there\r\nCard c\r\n{\r\n}\r\n"));
    const std::string locTez = PathOf("tab.tez");
    for (int locTry = 0; locTry < 2; ++locTry)
    {
        TezDebugCollector::ourLines.clear();
        EXPECT_EQ(Tez::Load(locTez.c_str(), true), nullptr);
        EXPECT_TRUE(Printed("key 'b\x01hi' of a LOCTEXT instance cannot be read back")) << AllPrinted();
        EXPECT_FALSE(std::filesystem::exists(locTez));
        EXPECT_FALSE(std::filesystem::exists(PathOf("tab.loc")));
    }
}

TEST_F(TezPairTest, OverlongKeysAreCutBeforeTheStringLimit)
{
    VelkType* locText = myTypes.GetType("LOCTEXT")->CloneAs("x");
    TezLocEncoder locEncoder;
    EXPECT_EQ(locEncoder.AddKeyValue(locText, std::string(70000, 'p').c_str()), 0);
    EXPECT_FALSE(locEncoder.ValidateKeyValues());
    // The line is cut by the debug output long before its end.
    EXPECT_TRUE(Printed("TezLocEncoder::ValidateKeyValues(): key '" + std::string(900, 'p')));
    delete locText;
}

TEST_F(TezPairTest, StaleTezIsFoundToTheNanosecond)
{
    WriteDisk("time.velk", VelkText("Card c\r\n{\r\n\tn 1\r\n}\r\n"));
    WriteDisk("time.tez", "");
    const std::string locTez = PathOf("time.tez");
    const std::string locVelk = PathOf("time.velk");
    SetWriteTime("time.tez", 1700000000, 500);
    SetWriteTime("time.velk", 1700000000, 501);
    EXPECT_EQ(VelkToTez::IsFileNewer(locTez.c_str(), locVelk.c_str()), 0);
    SetWriteTime("time.velk", 1700000000, 500);
    EXPECT_EQ(VelkToTez::IsFileNewer(locTez.c_str(), locVelk.c_str()), 0);
    SetWriteTime("time.velk", 1700000000, 499);
    EXPECT_EQ(VelkToTez::IsFileNewer(locTez.c_str(), locVelk.c_str()), 1);
    SetWriteTime("time.tez", 1700000001, 0);
    SetWriteTime("time.velk", 1700000000, 999999999);
    EXPECT_EQ(VelkToTez::IsFileNewer(locTez.c_str(), locVelk.c_str()), 1);
    EXPECT_EQ(VelkToTez::IsFileNewer(locTez.c_str(), PathOf("gone.velk").c_str()), 1);
    EXPECT_EQ(VelkToTez::IsFileNewer(PathOf("gone.tez").c_str(), PathOf("gone.velk").c_str()), -1);

    // Edits saved right after each conversion are all seen.
    std::filesystem::remove(locTez);
    for (int locCycle = 0; locCycle < 20; ++locCycle)
    {
        WriteDisk("time.velk", VelkText("Card c\r\n{\r\n\tn " + std::to_string(locCycle) + "\r\n}\r\n"));
        Tez* locRoot = Tez::Load(locTez.c_str(), true);
        ASSERT_NE(locRoot, nullptr) << AllPrinted();
        EXPECT_EQ(locRoot->GetMember("c.n")->GetValueAsInt(), locCycle);
        delete locRoot;
    }
}

TEST_F(TezPairTest, SiblingsWithTheSameHashAreErrorLines)
{
    ASSERT_EQ(TezHash("unit127"), TezHash("unit208"));
    ASSERT_EQ(TezHash("aca"), TezHash("bab"));
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, "Card unit127\r\n{\r\n}\r\nCard unit208\r\n{\r\n}\r\n"
                                  "Deck deck\r\n{\r\n\tTEXT aca one\r\n\tNUMBER bab 2\r\n\tTEXT c_c three\r\n}\r\n"
                                  "Deck other\r\n{\r\n\tTEXT aca one\r\n}\r\nCard bab\r\n{\r\n}\r\n"));
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locSpace, PathOf("hash.tez").c_str()));
    const std::string locUnit = std::to_string(static_cast<int>(TezHash("unit127")));
    const std::string locAca = std::to_string(static_cast<int>(TezHash("aca")));
    EXPECT_TRUE(myLog.HasError("ERROR: VelkToTez: 'unit127' and 'unit208' have the same name hash " + locUnit +
                               ": the game finds only the first of them by name"))
        << myLog.AllErrors();
    EXPECT_TRUE(myLog.HasError("'deck.aca' and 'deck.bab' have the same name hash " + locAca));
    EXPECT_TRUE(myLog.HasError("'deck.aca' and 'deck.c_c'"));
    EXPECT_TRUE(myLog.HasError("'deck.bab' and 'deck.c_c'"));
    // Equal hashes that are not siblings are only in the report.
    EXPECT_EQ(myLog.myErrors.size(), 4u) << myLog.AllErrors();
    EXPECT_NE(ReadDisk("hash.hash").find("Duplicate Hash Entries:"), std::string::npos);
}

TEST_F(TezPairTest, CollidingPairsBeyondAThousandAreCounted)
{
    // Forty-seven members of one name: 1,081 pairs.
    std::string locBody = "Deck many\r\n{\r\n";
    for (int locIndex = 0; locIndex < 47; ++locIndex)
        locBody += "\tTEXT same v\r\n";
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, locBody + "}\r\n"));
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locSpace, PathOf("many.tez").c_str()));
    ASSERT_EQ(myLog.myErrors.size(), 1001u);
    EXPECT_TRUE(myLog.HasError("'many.same' and 'many.same' have the same name hash"));
    EXPECT_TRUE(myLog.HasError("81 more pairs of names with the same hash in '" + PathOf("many.tez") +
                               "' were not listed"));
}

TEST_F(TezPairTest, FailedConversionLeavesNothingForTheNextReport)
{
    VelkNameSpace locFailing;
    ASSERT_TRUE(Compile(locFailing, "Card leftover\r\n{\r\n}\r\nDeck d\r\n{\r\n\tTEXT " + std::string(600, 'v') +
                                        "\r\n}\r\n"));
    EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locFailing, PathOf("fail.tez").c_str()));
    VelkNameSpace locPlain;
    ASSERT_TRUE(Compile(locPlain, "Deck d\r\n{\r\n}\r\n"));
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locPlain, PathOf("plain.tez").c_str()));
    const std::string locReport = ReadDisk("plain.hash");
    EXPECT_EQ(locReport.find("leftover"), std::string::npos) << locReport;
    EXPECT_EQ(locReport.find("Card"), std::string::npos) << locReport;
}

TEST_F(TezPairTest, SharedHashesAreFoundAmongManyClonesOfOneList)
{
    // Cards share their member list; decks between them repeat one list of
    // names that collide, and one deck lists them in another order.
    std::string locText;
    for (int locIndex = 0; locIndex < 40; ++locIndex)
    {
        locText += "Card c" + std::to_string(locIndex) + "\r\n{\r\n}\r\n";
        if (locIndex % 10 == 9)
            locText += "Deck d" + std::to_string(locIndex) + "\r\n{\r\n\tTEXT aca one\r\n\tNUMBER bab 2\r\n}\r\n";
    }
    locText += "Deck last\r\n{\r\n\tNUMBER bab 2\r\n\tTEXT aca one\r\n}\r\n";
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, locText));
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locSpace, PathOf("clones.tez").c_str()));
    for (const char* locDeck : {"d9", "d19", "d29", "d39"})
        EXPECT_TRUE(myLog.HasError(std::string("'") + locDeck + ".aca' and '" + locDeck + ".bab'")) << locDeck;
    EXPECT_TRUE(myLog.HasError("'last.bab' and 'last.aca'"));
    size_t locMemberPairs = 0;
    for (const std::string& locError : myLog.myErrors)
        locMemberPairs += locError.find(".aca'") != std::string::npos;
    EXPECT_EQ(locMemberPairs, 5u) << myLog.AllErrors();
}

TEST_F(TezPairTest, ConvertingFirstFoldsThePathToLowerCase)
{
    // Every letter of the name folds, the last of the alphabet too.
    WriteDisk("zaz.velk", VelkText("Card c\r\n{\r\n\tn 26\r\n}\r\n"));
    Tez* locRoot = Tez::Load(PathOf("ZAZ.TEZ").c_str(), true);
    ASSERT_NE(locRoot, nullptr) << AllPrinted();
    EXPECT_EQ(locRoot->GetMember("c.n")->GetValueAsInt(), 26);
    delete locRoot;
    EXPECT_TRUE(std::filesystem::exists(PathOf("zaz.tez")));
    EXPECT_FALSE(std::filesystem::exists(PathOf("ZAZ.TEZ")));
}
