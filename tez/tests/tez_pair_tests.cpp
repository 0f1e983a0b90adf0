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
#include <string>
#include <vector>

#include "platform/os/tests/os_kill_points.h"
#include "tez/tests/tez_test_util.h"
#include "tez/tez.h"
#include "tez/tez_hash.h"
#include "tez/tez_loc.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

extern "C" ssize_t pwrite(int aHandle, const void* aData, size_t aCount, off_t anOffset)
{
    OS_TestChange();
    return static_cast<ssize_t>(syscall(SYS_pwrite64, aHandle, aData, aCount, anOffset));
}

extern "C" int fsync(int aHandle)
{
    OS_TestChange();
    return static_cast<int>(syscall(SYS_fsync, aHandle));
}

// When set, the next rename to a name ending in ".tez" fails as a failing
// disk's would.
static bool ourFailTezRename = false;

extern "C" int renameat(int aFromDir, const char* aFrom, int aToDir, const char* aTo)
{
    OS_TestChange();
    const size_t locLength = strlen(aTo);
    if (ourFailTezRename && locLength > 4 && strcmp(aTo + locLength - 4, ".tez") == 0)
    {
        ourFailTezRename = false;
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_renameat, aFromDir, aFrom, aToDir, aTo));
}

namespace
{
const char* const PAIR_FRUIT = "CLASS Card\r\n{\r\nLOCTEXT text\r\nNUMBER n\r\n}\r\n"
                               "SCRIPTCLASS Deck\r\n{\r\nTEXT\r\nNUMBER\r\n}\r\n";

// The steps of a conversion that replaces a pair with texts, in their order.
const std::vector<std::string> PAIR_STEPS = {
    "begin .tez", "write .tez",         "flush .tez",  "begin .loc",  "write .loc",
    "flush .loc", "set aside old .tez", "rename .loc", "rename .tez", "write report",
};

// The hook's plan for the conversion under way.
int ourFailStep = 0;
int ourKillStep = 0;
int ourStepsSeen = 0;
std::vector<std::string> ourStepNames;

bool PlanHook(int aStep, const char* aWhat)
{
    ourStepsSeen = aStep;
    ourStepNames.push_back(aWhat);
    if (aStep == ourKillStep)
        kill(getpid(), SIGKILL);
    return aStep != ourFailStep;
}

class TezPairTest : public TezTest
{
protected:
    void SetUp() override
    {
        TezTest::SetUp();
        myFruit = WriteDisk("pair.fruit", PAIR_FRUIT);
        ourFailStep = 0;
        ourKillStep = 0;
        ourStepNames.clear();
        VelkToTez::SetFileStepHook(PlanHook);
    }
    void TearDown() override { VelkToTez::SetFileStepHook(nullptr); }

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

    // A dry run takes every step, in the order the pair needs.
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
    ourStepNames.clear();
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str())) << AllPrinted();
    ASSERT_EQ(ourStepNames, PAIR_STEPS);
    const int locNumSteps = static_cast<int>(PAIR_STEPS.size());

    int locOldPairs = 0;
    int locNewPairs = 0;
    int locMissing = 0;
    for (int locKill = 1; locKill <= locNumSteps + 1; ++locKill)
    {
        SCOPED_TRACE("killed at step " + std::to_string(locKill) +
                     (locKill <= locNumSteps ? " (" + PAIR_STEPS[locKill - 1] + ")" : " (after the last)"));
        ourKillStep = 0;
        ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
        WriteDisk("pair.velk", VelkText(NEW_CARDS));

        const pid_t locChild = fork();
        ASSERT_GE(locChild, 0);
        if (locChild == 0)
        {
            ourKillStep = locKill;
            VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str());
            _exit(0);
        }
        int locStatus = 0;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        EXPECT_EQ(locKill <= locNumSteps, WIFSIGNALED(locStatus));

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
    // Each of the three outcomes happens at some step.
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

TEST_F(TezPairTest, FailureAtAnyStepIsReportedAndLeavesAMatchingPairOrNone)
{
    VelkNameSpace locOld;
    VelkNameSpace locNew;
    ASSERT_TRUE(Compile(locOld, OLD_CARDS));
    ASSERT_TRUE(Compile(locNew, NEW_CARDS));
    const std::string locTez = PathOf("pair.tez");
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
    ourStepNames.clear();
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
    ASSERT_EQ(ourStepNames, PAIR_STEPS);
    const std::vector<std::string>& locSteps = PAIR_STEPS;

    for (int locFail = 1; locFail <= static_cast<int>(locSteps.size()); ++locFail)
    {
        SCOPED_TRACE("step " + std::to_string(locFail) + " (" + locSteps[locFail - 1] + ") fails");
        ourFailStep = 0;
        ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
        ourFailStep = locFail;
        TezDebugCollector::ourLines.clear();
        EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
        EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): failed to ")) << AllPrinted();
        ourFailStep = 0;
        if (!std::filesystem::exists(locTez))
            continue;
        Tez* locRoot = Tez::Load(locTez.c_str(), false);
        ASSERT_NE(locRoot, nullptr);
        const std::string locAlpha = LocText(locRoot, "alpha.text");
        EXPECT_EQ(LocText(locRoot, "beta.text"), locAlpha == "alpha old" ? "beta old" : "beta new");
        EXPECT_TRUE(locAlpha == "alpha old" || locAlpha == "alpha new") << locAlpha;
        delete locRoot;
    }
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
        ourFailTezRename = true;
        EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
        EXPECT_FALSE(ourFailTezRename);
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

    // The same when the step itself fails, before any rename of the .tez.
    ourStepNames.clear();
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
    ASSERT_EQ(ourStepNames, PAIR_STEPS);
    const int locRenameTez = 9;
    ASSERT_EQ(PAIR_STEPS[locRenameTez - 1], "rename .tez");
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locOld, locTez.c_str()));
    ourFailStep = locRenameTez;
    EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
    EXPECT_TRUE(ReadDisk("pair.tez") == locOldTez);
    EXPECT_TRUE(ReadDisk("pair.loc") == locOldLoc);
}

TEST_F(TezPairTest, FailedReportFailsTheConversionAndLeavesNoStaleReport)
{
    VelkNameSpace locSpace;
    ASSERT_TRUE(Compile(locSpace, OLD_CARDS));
    const std::string locTez = PathOf("pair.tez");
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locSpace, locTez.c_str()));
    ASSERT_TRUE(std::filesystem::exists(PathOf("pair.hash")));

    VelkNameSpace locNew;
    ASSERT_TRUE(Compile(locNew, NEW_CARDS));
    ourFailStep = 0;
    ourStepNames.clear();
    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
    ASSERT_EQ(ourStepNames, PAIR_STEPS);
    const int locReportStep = static_cast<int>(PAIR_STEPS.size());

    ASSERT_TRUE(VelkToTez::Priv_ConvertVelkToTez(locSpace, locTez.c_str()));
    ourFailStep = locReportStep;
    EXPECT_FALSE(VelkToTez::Priv_ConvertVelkToTez(locNew, locTez.c_str()));
    EXPECT_TRUE(Printed("VelkToTez::Priv_ConvertVelkToTez(): failed to write hash report '" + PathOf("pair.hash")));
    EXPECT_FALSE(std::filesystem::exists(PathOf("pair.hash")));
    // The pair itself is the new one, whole.
    Tez* locRoot = Tez::Load(locTez.c_str(), false);
    ASSERT_NE(locRoot, nullptr);
    EXPECT_EQ(LocText(locRoot, "gamma.text"), "gamma new");
    delete locRoot;

    // A report that cannot replace what stands in its place fails the same way.
    ourFailStep = 0;
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
