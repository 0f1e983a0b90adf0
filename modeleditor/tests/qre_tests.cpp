// The command handler, the line layout of every keyword in every file version,
// and .qre files saved and loaded through real files. The scene's side is a
// scripted hook here.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "modeleditor/editorerror.h"
#include "modeleditor/qre_commands.h"
#include "platform/os/os_file.h"
#include "platform/os/os_ui.h"
#include "platform/os/tests/os_kill_points.h"

namespace fs = std::filesystem;

// A crash in the middle of a save: the writes to regular files may go on for
// this many bytes, then the process is killed within the write that passes
// it (-1: never). With the flag set it is killed at the first flush to disk.
static int64_t ourKillAfterBytes = -1;
static bool ourKillAtFlushFlag = false;

extern "C" ssize_t write(int aHandle, const void* aData, size_t aCount)
{
    struct stat locStat;
    if (ourKillAfterBytes >= 0 && fstat(aHandle, &locStat) == 0 && S_ISREG(locStat.st_mode))
    {
        if (int64_t(aCount) > ourKillAfterBytes)
        {
            syscall(SYS_write, aHandle, aData, size_t(ourKillAfterBytes));
            kill(getpid(), SIGKILL);
        }
        ourKillAfterBytes -= int64_t(aCount);
    }
    return static_cast<ssize_t>(syscall(SYS_write, aHandle, aData, aCount));
}

extern "C" int fsync(int aHandle)
{
    OS_TestChange();
    if (ourKillAtFlushFlag)
        kill(getpid(), SIGKILL);
    return static_cast<int>(syscall(SYS_fsync, aHandle));
}

extern "C" ssize_t pwrite(int aHandle, const void* aData, size_t aCount, off_t anOffset)
{
    OS_TestChange();
    return static_cast<ssize_t>(syscall(SYS_pwrite64, aHandle, aData, aCount, anOffset));
}

namespace
{
std::vector<std::string> ourExecuted;
std::string ourFailKeyword;
std::vector<std::string> ourBoxes;

bool ScriptedScene(QRECommand& aCommand, uint32_t)
{
    ourExecuted.push_back(aCommand.GetKeyword());
    if (ourFailKeyword == aCommand.GetKeyword())
    {
        EditorError::Set(EDITOR_ERROR_BONE_NOT_FOUND);
        return false;
    }
    return true;
}

int ScriptedBox(const char* aText, const char*, int)
{
    ourBoxes.push_back(aText);
    return OS_ID_OK;
}

std::string ReadFile(const fs::path& aPath)
{
    std::ifstream locIn(aPath, std::ios::binary);
    std::stringstream locText;
    locText << locIn.rdbuf();
    return locText.str();
}

void WriteFile(const fs::path& aPath, const std::string& aText)
{
    std::ofstream(aPath, std::ios::binary) << aText;
}

std::vector<std::string> Keywords(CommandHandler& aHandler)
{
    std::vector<std::string> locResult;
    for (auto* locLink = aHandler.GetHistory().myFirstLink; locLink; locLink = locLink->myNext)
        locResult.push_back(locLink->myItem->GetKeyword());
    return locResult;
}

class QRETest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        myOldDir = fs::current_path();
        fs::current_path(myDir);
        ourExecuted.clear();
        ourBoxes.clear();
        ourFailKeyword.clear();
        QRECommand::ourExecuteHook = ScriptedScene;
        myOldBox = OS_SetMessageBoxHook(ScriptedBox);
        ASSERT_TRUE(CommandHandler::Create());
        myHandler = CommandHandler::Get();
    }
    void TearDown() override
    {
        CommandHandler::Destroy();
        QRECommand::ourExecuteHook = nullptr;
        OS_SetMessageBoxHook(myOldBox);
        fs::current_path(myOldDir);
    }
    std::string Line(QRECommand& aCommand)
    {
        QC_String locLine;
        EXPECT_TRUE(QRE_FormatCommand(aCommand, locLine, nullptr));
        return locLine.GetBuffer();
    }
    fs::path myDir, myOldDir;
    OS_MessageBoxHook myOldBox = nullptr;
    CommandHandler* myHandler = nullptr;
};

TEST_F(QRETest, HandlerRecordsOnlySuccessAndKeepsTheFlag)
{
    EXPECT_FALSE(CommandHandler::Create());
    EXPECT_EQ(myHandler, CommandHandler::Get());
    EXPECT_EQ(Keywords(*myHandler), std::vector<std::string>{"WORKDIR"});
    EXPECT_FALSE(myHandler->IsModified());

    ourFailKeyword = "EDITBONE";
    auto* locFailing = new EditBoneCommand();
    EXPECT_FALSE(myHandler->Run(7, locFailing));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_BONE_NOT_FOUND);
    EXPECT_FALSE(myHandler->IsModified());
    EXPECT_EQ(myHandler->GetHistory().Count(), 1);

    EXPECT_TRUE(myHandler->Run(7, new EditObjectCommand()));
    EXPECT_TRUE(myHandler->IsModified());
    // A failure after a success leaves the flag set.
    EXPECT_FALSE(myHandler->Run(7, locFailing));
    EXPECT_TRUE(myHandler->IsModified());
    delete locFailing;

    ourExecuted.clear();
    EXPECT_TRUE(myHandler->RunIfAbsent(7, new EditObjectCommand()));
    EXPECT_TRUE(ourExecuted.empty());
    EXPECT_EQ(myHandler->GetHistory().Count(), 2);

    auto* locUnrecorded = new HaloFileCommand("halo");
    EXPECT_TRUE(myHandler->RunUnrecorded(7, locUnrecorded));
    delete locUnrecorded;
    EXPECT_EQ(myHandler->GetHistory().Count(), 2);

    myHandler->Clear();
    EXPECT_TRUE(myHandler->GetHistory().IsEmpty());
    EXPECT_FALSE(myHandler->IsModified());
    EXPECT_TRUE(CommandHandler::Destroy());
    EXPECT_FALSE(CommandHandler::Destroy());
    EXPECT_TRUE(CommandHandler::Create());
    myHandler = CommandHandler::Get();
}

TEST_F(QRETest, PrependWorkDirKeepsExactlyOneLeadingWorkDir)
{
    myHandler->Clear();
    ASSERT_TRUE(myHandler->PrependWorkDir());
    ASSERT_EQ(myHandler->GetHistory().Count(), 1);
    auto* locFirst = static_cast<WorkDirCommand*>(myHandler->GetHistory().GetFirst());
    EXPECT_EQ(std::string(locFirst->myDirectory.GetBuffer()), fs::current_path().string());

    EXPECT_TRUE(myHandler->Run(7, new EditObjectCommand()));
    ASSERT_TRUE(myHandler->PrependWorkDir());
    EXPECT_EQ(Keywords(*myHandler), (std::vector<std::string>{"WORKDIR", "EDITOBJECT"}));

    CommandHandler::ourWorkDirHook = []() { return "/scene/dir"; };
    ASSERT_TRUE(myHandler->PrependWorkDir());
    CommandHandler::ourWorkDirHook = nullptr;
    locFirst = static_cast<WorkDirCommand*>(myHandler->GetHistory().GetFirst());
    EXPECT_STREQ(locFirst->myDirectory.GetBuffer(), "/scene/dir");
    EXPECT_EQ(myHandler->GetHistory().Count(), 2);
}

// One line per keyword and version: leading integers before 4, the state code
// as a number in version 0, solid defaults, EDITMESH and EDITOBJECT growth.
TEST_F(QRETest, EveryKeywordParsesInEveryVersion)
{
    struct Case
    {
        uint32_t myVersion;
        const char* myLine;
        const char* myWritten;   // as written in version 7
    };
    const Case locCases[] = {
        {0, "WORKDIR \"/a b\"", "WORKDIR \"/a b\""},
        {5, "DEFAULTSURFACE \"surf\"", "DEFAULTSURFACE \"surf\""},
        {2, "HALOFILE \"halo\"", "HALOFILE \"halo\""},
        {7, "OPENMODEL \"m/x.lws\" \"x.lws\" \"IDLE\"", "OPENMODEL \"m/x.lws\" \"x.lws\" \"IDLE\""},
        {3, "ADDSTATE 9 \"r.lwo\" \"r.lwo\" \"RUN \" 2 \"a\" \"b c\"", "ADDSTATE \"r.lwo\" \"r.lwo\" \"RUN \" 2 \"a\" \"b c\""},
        {4, "ADDSTATE \"r.lwo\" \"r.lwo\" \"RUN1\" 0", "ADDSTATE \"r.lwo\" \"r.lwo\" \"RUN1\" 0"},
        {0, "ADDJOINTSTATE 9 3 1162626387", "ADDJOINTSTATE 3 \"\""},
        {2, "ADDJOINTSTATE 9 3 \"WALK\"", "ADDJOINTSTATE 3 \"WALK\""},
        {7, "ADDJOINTSTATE 3 \"WALK\"", "ADDJOINTSTATE 3 \"WALK\""},
        {1, "REMOVEBONESTATE 9 2 1", "REMOVEBONESTATE 2 1"},
        {0, "EDITJOINTSTATE 9 1 2 77 -2 0.5 1.25 1 0 1", "EDITJOINTSTATE 1 2 \"\" -2 0.500 1.250 1 0 1 1"},
        {2, "EDITJOINTSTATE 9 1 2 \"WALK\" -1 0.5 1.25 1 1 0", "EDITJOINTSTATE 1 2 \"WALK\" -1 0.500 1.250 1 1 0 1"},
        {3, "EDITALLJOINTSTATE 9 1 2 \"WALK\" 3 0.5 1.25 1 1 0 0", "EDITALLJOINTSTATE 1 2 \"WALK\" 3 0.500 1.250 1 1 0 0"},
        {7, "EDITJOINTSTATE 1 2 \"WALK\" 0 0.000 0.000 0 0 0 0", "EDITJOINTSTATE 1 2 \"WALK\" 0 0.000 0.000 0 0 0 0"},
        {4, "EDITBONE 5 100.0", "EDITBONE 5 100.000 0"},
        {2, "EDITBONE 9 5 100.0", "EDITBONE 5 100.000 0"},
        {5, "EDITBONE 5 1000000000000000.0 1", "EDITBONE 5 999999986991104.000 1"},
        {3, "EDITPOSITIONORIENTATION 9 \"arm\" \"IDLE\" 1 2 3 0.1 0.2 0.3",
         "EDITPOSITIONORIENTATION \"arm\" \"IDLE\" 1.000 2.000 3.000 0.100 0.200 0.300"},
        {5, "EDITOBJECT 2.5 7 8 9", "EDITOBJECT 2.500 0.000 0.000 0.000"},
        {6, "EDITOBJECT 2.5 7 8 9", "EDITOBJECT 2.500 7.000 8.000 9.000"},
        {3, "EDITMESH \"mesh\" \"vs\" 2", "EDITMESH \"mesh\" 0 \"vs\" 2 0 0 0 0 0 0 0 0 0 0.000 0.000 0.000 0.000 0.000"},
        {4, "EDITMESH \"mesh\" 1 \"vs\" 2", "EDITMESH \"mesh\" 1 \"vs\" 2 0 0 0 0 0 0 0 0 0 0.000 0.000 0.000 0.000 0.000"},
        {6, "EDITMESH \"mesh\" 1 \"vs\" 2 1 1 0 2 0 255 1 3 4 10 20 30 40",
         "EDITMESH \"mesh\" 1 \"vs\" 2 1 1 0 2 0 255 1 3 4 10.000 20.000 30.000 40.000 0.000"},
        {7, "EDITMESH \"mesh\" 1 \"vs\" 2 1 1 0 2 0 255 1 3 4 10 20 30 40 12.5",
         "EDITMESH \"mesh\" 1 \"vs\" 2 1 1 0 2 0 255 1 3 4 10.000 20.000 30.000 40.000 12.500"},
        {7, "EDITLIGHTSOURCE 1 \"NULL\" 0.25", "EDITLIGHTSOURCE 1 \"NULL\" 0.250"},
        {7, "SELECTSURFACE \"s\" -1 128", "SELECTSURFACE \"s\" -1 128"},
        {7, "CHANGETEXTURE \"t.tga\" 2 5", "CHANGETEXTURE \"t.tga\" 2 5"},
        {3, "ADDPARTICLEEMITTOR 9 \"fire\" \"IDLE\" \"arm\"", "ADDPARTICLEEMITTOR \"fire\" \"IDLE\" \"arm\""},
        {2, "REMOVEPARTICLEEMITTOR 9 4", "REMOVEPARTICLEEMITTOR 4"},
        {4, "ADDNULLOBJECT \"n\" \"IDLE\" \"arm\"", "ADDNULLOBJECT \"n\" \"IDLE\" \"arm\""},
        {3, "ADDQREHIERARCHY 9 \"arm\" \"sub.qre\"", "ADDQREHIERARCHY \"arm\" \"sub.qre\""},
        {0, "ADDMODELHIERARCHY 9 \"a\" \"b\" \"c\"", "ADDMODELHIERARCHY \"a\" \"b\" \"c\""},
        {7, "DEFAULTLODDISTANCE 1 2 3 4.5", "DEFAULTLODDISTANCE 1.000 2.000 3.000 4.500"},
    };
    for (const Case& locCase : locCases)
    {
        std::string locText = locCase.myLine;
        const char* locSpace = strchr(locCase.myLine, ' ');
        QRECommand* locCommand = QRE_CreateCommand(locCase.myLine, static_cast<uint32_t>(locSpace - locCase.myLine));
        ASSERT_NE(locCommand, nullptr) << locCase.myLine;
        EXPECT_TRUE(ParseQRECommand(*locCommand, locText.data(), locCase.myVersion)) << locCase.myLine;
        EXPECT_EQ(Line(*locCommand), locCase.myWritten) << locCase.myLine;
        delete locCommand;
    }
    // The version-0 joint state code is the number; solid stays true before 3.
    std::string locText = "ADDJOINTSTATE 9 3 1162626387";
    AddJointStateCommand locAdd;
    ASSERT_TRUE(ParseQRECommand(locAdd, locText.data(), 0));
    EXPECT_EQ(locAdd.myStateNumber, 1162626387);
    locText = "EDITJOINTSTATE 9 1 2 \"WALK\" -1 0.5 1.25 1 1 0";
    EditJointStateCommand locEdit;
    ASSERT_TRUE(ParseQRECommand(locEdit, locText.data(), 2));
    EXPECT_TRUE(locEdit.mySolidFlag);
    EXPECT_EQ(locEdit.myNextState, -1);
    EXPECT_EQ(QRE_CreateCommand("EDITLOD", 7), nullptr);
}

TEST_F(QRETest, ShortAndBrokenLines)
{
    // Fewer values keep the defaults and nothing past the line is read.
    std::string locText = "EDITMESH \"m\" 2";
    EditMeshCommand locMesh;
    locMesh.myPresortMode = 3;
    ASSERT_TRUE(ParseQRECommand(locMesh, locText.data(), 7));
    EXPECT_EQ(locMesh.myLodIndex, 2);
    EXPECT_EQ(locMesh.myPresortMode, 3);

    // List counts bounded by the tokens left; negative counts fail.
    for (const char* locLine : {"ADDSTATE \"a\" \"b\" \"c\" 3 \"x\"", "ADDSTATE \"a\" \"b\" \"c\" -1",
                                "ADDSTATE \"a\" \"b\" \"c\" 2147483647"})
    {
        locText = locLine;
        AddStateCommand locState;
        EXPECT_FALSE(ParseQRECommand(locState, locText.data(), 7)) << locLine;
    }
    locText = "ADDSTATE \"a\" \"b\" \"c\" 0";
    AddStateCommand locState;
    EXPECT_TRUE(ParseQRECommand(locState, locText.data(), 7));
    EXPECT_EQ(locState.myPartNames.Count(), 0);

    // An unclosed quote, a lower-case keyword and another keyword fail.
    for (const char* locLine : {"WORKDIR \"abc", "workdir \"abc\"", "HALOFILE \"abc\""})
    {
        locText = locLine;
        WorkDirCommand locWork;
        EXPECT_FALSE(ParseQRECommand(locWork, locText.data(), 7)) << locLine;
    }
    // Numbers in the C locale whatever the program set.
    locText = "EDITOBJECT 1.5";
    EditObjectCommand locObject;
    ASSERT_TRUE(ParseQRECommand(locObject, locText.data(), 7));
    EXPECT_FLOAT_EQ(locObject.myRadius, 1.5f);
}

TEST_F(QRETest, SaveLoadSaveGivesTheSameLinesAndNoBackup)
{
    ASSERT_TRUE(myHandler->Run(7, new DefaultSurfaceCommand("default")));
    auto* locOpen = new OpenModelCommand();
    locOpen->myFileName = "models/a b.lws";
    locOpen->myModelName = "a b.lws";
    locOpen->myStateCode = "IDLE";
    ASSERT_TRUE(myHandler->Run(7, locOpen));
    auto* locState = new AddStateCommand();
    locState->myFileName = "run.lwo";
    locState->myStateCode = "RUN1";
    // A 20,000-character line saves and loads.
    for (int locIndex = 0; locIndex < 1200; ++locIndex)
        locState->myPartNames.Add(QC_String(("part_number_" + std::to_string(locIndex)).c_str()));
    ASSERT_TRUE(myHandler->Run(7, locState));

    const fs::path locFile = myDir / "m.qre";
    WriteFile(locFile, "old contents\r\n");
    ASSERT_TRUE(SaveQRE(*myHandler, "m.qre"));
    EXPECT_FALSE(myHandler->IsModified());
    EXPECT_FALSE(fs::exists(myDir / "m.qre__PRANVEL_BACKUP__"));
    const std::string locFirst = ReadFile(locFile);
    EXPECT_EQ(locFirst.rfind("VERSION_NUMBER 7\r\nWORKDIR \"" + myDir.string() + "\"\r\nDEFAULTSURFACE", 0), 0u);
    EXPECT_GT(locFirst.size(), 20000u);

    ourExecuted.clear();
    ASSERT_TRUE(LoadQRE(*myHandler, "m.qre", false));
    EXPECT_EQ(Keywords(*myHandler), (std::vector<std::string>{"DEFAULTSURFACE", "OPENMODEL", "ADDSTATE"}));
    EXPECT_EQ(static_cast<AddStateCommand*>(myHandler->GetHistory().GetLast())->myPartNames.Count(), 1200);
    EXPECT_FALSE(myHandler->IsModified());
    ASSERT_TRUE(SaveQRE(*myHandler, "m.qre"));
    EXPECT_EQ(ReadFile(locFile), locFirst);
    EXPECT_TRUE(ourBoxes.empty());
}

TEST_F(QRETest, LoadRules)
{
    // No version line: version 0, and the first line is a command.
    WriteFile(myDir / "v0.qre", "EDITBONE 9 3 2.0\r\n");
    ASSERT_TRUE(LoadQRE(*myHandler, "v0.qre", false));
    ASSERT_EQ(myHandler->GetHistory().Count(), 1);
    EXPECT_EQ(static_cast<EditBoneCommand*>(myHandler->GetHistory().GetFirst())->myPartIndex, 3);

    // Skipped lines, an unknown keyword shown and skipped, and the default
    // surface recorded ahead of the model.
    QRE_GetDefaultSurfaceName = []() { return "scene_default"; };
    WriteFile(myDir / "mixed.qre",
              "VERSION_NUMBER 7\r\nEDITLOD 1 2\r\nADDLOD x\r\nBOGUS 1\r\nOPENMODEL \"a.lwo\" \"a.lwo\" \"IDLE\"\r\n");
    ASSERT_TRUE(LoadQRE(*myHandler, "mixed.qre", false));
    QRE_GetDefaultSurfaceName = nullptr;
    EXPECT_EQ(ourBoxes, std::vector<std::string>{"ERROR: unknown command in QRE file"});
    EXPECT_EQ(Keywords(*myHandler), (std::vector<std::string>{"DEFAULTSURFACE", "OPENMODEL"}));
    EXPECT_STREQ(static_cast<DefaultSurfaceCommand*>(myHandler->GetHistory().GetFirst())->mySurfaceName, "scene_default");
    // Callers that must not accept a partial model learn how many lines were
    // unknown; the skipped EDITLOD is not one of them.
    int locUnknown = -1;
    ASSERT_TRUE(LoadQRE(*myHandler, "mixed.qre", false, &locUnknown));
    EXPECT_EQ(locUnknown, 1);
    ASSERT_TRUE(LoadQRE(*myHandler, "v0.qre", false, &locUnknown));
    EXPECT_EQ(locUnknown, 0);

    // A lower-case keyword fails the parse and empties the history.
    WriteFile(myDir / "lower.qre", "VERSION_NUMBER 7\r\nEDITOBJECT 1\r\neditobject 2\r\n");
    EXPECT_FALSE(LoadQRE(*myHandler, "lower.qre", false));
    EXPECT_TRUE(myHandler->GetHistory().IsEmpty());

    // A failing command keeps what was replayed and restores the directory.
    fs::create_directories(myDir / "sub");
    WriteFile(myDir / "fail.qre", "VERSION_NUMBER 7\r\nWORKDIR \"" + (myDir / "sub").string() +
                                      "\"\r\nEDITOBJECT 1\r\nEDITBONE 1 2 0\r\n");
    ourFailKeyword = "EDITBONE";
    EXPECT_FALSE(LoadQRE(*myHandler, "fail.qre", false));
    EXPECT_EQ(Keywords(*myHandler), std::vector<std::string>{"EDITOBJECT"});
    EXPECT_EQ(fs::current_path(), myDir);
    ourFailKeyword.clear();

    // A hierarchy import keeps the current directory and the history, also
    // when its parse fails; ADDMODELHIERARCHY fails its line.
    WriteFile(myDir / "import.qre", "VERSION_NUMBER 7\r\nWORKDIR \"/\"\r\nEDITOBJECT 3\r\n");
    WriteFile(myDir / "broken.qre", "VERSION_NUMBER 7\r\nEDITOBJECT 3\r\neditobject 3\r\n");
    WriteFile(myDir / "model.qre", "VERSION_NUMBER 7\r\nADDMODELHIERARCHY \"a\" \"b\" \"c\"\r\n");
    ourExecuted.clear();
    EXPECT_TRUE(ReloadQREHierarchy("import.qre"));
    EXPECT_EQ(ourExecuted, std::vector<std::string>{"EDITOBJECT"});
    EXPECT_FALSE(ReloadQREHierarchy("broken.qre"));
    EXPECT_FALSE(ReloadQREHierarchy("model.qre"));
    EXPECT_EQ(fs::current_path(), myDir);
    EXPECT_EQ(Keywords(*myHandler), std::vector<std::string>{"EDITOBJECT"});
    EXPECT_FALSE(LoadQRE(*myHandler, "missing.qre", true));
}

TEST_F(QRETest, HierarchyImportOfAFileBeingLoadedIsRefused)
{
    // The scene's hierarchy import loads the named file; here it loads itself.
    WriteFile(myDir / "self.qre", "VERSION_NUMBER 7\r\nADDQREHIERARCHY \"arm\" \"self.qre\"\r\n");
    QRECommand::ourExecuteHook = [](QRECommand& aCommand, uint32_t) {
        return ReloadQREHierarchy(static_cast<AddQREHierarchyCommand&>(aCommand).myFileName);
    };
    EXPECT_FALSE(LoadQRE(*myHandler, "self.qre", false));
    EXPECT_EQ(EditorError::Get(), EDITOR_ERROR_LOAD_MODEL);
}

TEST_F(QRETest, UnreadableStringsWarnAndFailedWritesKeepTheOldFile)
{
    ASSERT_TRUE(myHandler->Run(7, new HaloFileCommand("a\"b")));
    ASSERT_TRUE(SaveQRE(*myHandler, "q.qre"));
    ASSERT_EQ(ourBoxes.size(), 1u);
    EXPECT_NE(ourBoxes[0].find("HALOFILE"), std::string::npos);
    EXPECT_FALSE(LoadQRE(*myHandler, "q.qre", false));

    // A save whose write fails (file-size limit) leaves the old file under
    // its name and no backup.
    WriteFile(myDir / "x.qre", "old\r\n");
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit locOld{};
    ::getrlimit(RLIMIT_FSIZE, &locOld);
    rlimit locSmall = locOld;
    locSmall.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &locSmall);
    const bool locSaved = SaveQRE(*myHandler, "x.qre");
    ::setrlimit(RLIMIT_FSIZE, &locOld);
    EXPECT_FALSE(locSaved);
    EXPECT_EQ(ReadFile(myDir / "x.qre"), "old\r\n");
    EXPECT_FALSE(fs::exists(myDir / "x.qre__PRANVEL_BACKUP__"));

    // A folder standing at the name fails the save and stays where it is.
    fs::create_directories(myDir / "dir.qre" / "inside");
    EXPECT_FALSE(SaveQRE(*myHandler, "dir.qre"));
    EXPECT_TRUE(fs::is_directory(myDir / "dir.qre" / "inside"));
    EXPECT_FALSE(fs::exists(myDir / "dir.qre__PRANVEL_BACKUP__"));
}

}

namespace
{
std::set<std::string> Names(const fs::path& aDir)
{
    std::set<std::string> locNames;
    for (const fs::directory_entry& locEntry : fs::directory_iterator(aDir))
        locNames.insert(locEntry.path().filename().string());
    return locNames;
}
}

TEST_F(QRETest, AKilledSaveLeavesTheWholeOldFileOrTheWholeNewOne)
{
    // About 1 MB in many lines: several pieces reach the disk before the end.
    for (int locState = 0; locState < 60; ++locState)
    {
        auto* locCommand = new AddStateCommand();
        locCommand->myFileName = "run.lwo";
        locCommand->myStateCode = "RUN1";
        for (int locIndex = 0; locIndex < 1200; ++locIndex)
            locCommand->myPartNames.Add(QC_String(("part_" + std::to_string(locState * 10000 + locIndex)).c_str()));
        ASSERT_TRUE(myHandler->Run(7, locCommand));
    }
    ASSERT_TRUE(SaveQRE(*myHandler, "big.qre"));
    const std::string locNew = ReadFile(myDir / "big.qre");
    ASSERT_GT(locNew.size(), 900000u);
    const std::string locOld = "VERSION_NUMBER 7\r\nWORKDIR \"old\"\r\n";

    // Killed within the first write, between pieces, within the last, at the
    // flush before the rename, and after the save.
    const int64_t locSize = int64_t(locNew.size());
    const std::vector<int64_t> locPoints = {0, 1, 262144, 300000, 700001, locSize - 1, -2, -3};
    for (int64_t locPoint : locPoints)
    {
        SCOPED_TRACE(locPoint);
        WriteFile(myDir / "big.qre", locOld);
        fs::permissions(myDir / "big.qre", fs::perms::owner_read | fs::perms::owner_write);
        const pid_t locChild = fork();
        ASSERT_GE(locChild, 0);
        if (locChild == 0)
        {
            ourKillAfterBytes = locPoint >= 0 ? locPoint : -1;
            ourKillAtFlushFlag = locPoint == -2;
            SaveQRE(*myHandler, "big.qre");
            kill(getpid(), SIGKILL);
        }
        int locStatus = 0;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        EXPECT_TRUE(WIFSIGNALED(locStatus) && WTERMSIG(locStatus) == SIGKILL);
        const std::string locOnDisk = ReadFile(myDir / "big.qre");
        EXPECT_TRUE(locOnDisk == (locPoint == -3 ? locNew : locOld)) << locOnDisk.size();
        EXPECT_EQ(fs::status(myDir / "big.qre").permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    // The next save clears what the killed ones left.
    ASSERT_TRUE(SaveQRE(*myHandler, "big.qre"));
    EXPECT_TRUE(ReadFile(myDir / "big.qre") == locNew);
    EXPECT_EQ(Names(myDir), std::set<std::string>{"big.qre"});
}

TEST_F(QRETest, AKilledSaveOfAHardLinkedFileLeavesTheOldOrTheNewOnceOpenedAgain)
{
    // A file with a second name is rewritten in place: killed at every change
    // to the disk, it holds the whole old or the whole new history once
    // opened again (the load puts back or drops what the save left).
    setenv("XDG_DATA_HOME", (myDir / "data").c_str(), 1);
    const auto locFill = [&](const char* aState, int aCount) {
        myHandler->Clear();
        for (int locState = 0; locState < aCount; ++locState)
        {
            auto* locCommand = new AddStateCommand();
            locCommand->myFileName = "run.lwo";
            locCommand->myStateCode = aState;
            for (int locIndex = 0; locIndex < 1200; ++locIndex)
                locCommand->myPartNames.Add(QC_String(("part_" + std::to_string(locState * 10000 + locIndex)).c_str()));
            ASSERT_TRUE(myHandler->Run(7, locCommand));
        }
    };
    locFill("OLD1", 12);
    ASSERT_TRUE(SaveQRE(*myHandler, "old.qre"));
    const std::string locOld = ReadFile(myDir / "old.qre");
    locFill("NEW1", 30);
    ASSERT_TRUE(SaveQRE(*myHandler, "new.qre"));
    const std::string locNew = ReadFile(myDir / "new.qre");
    fs::create_directories(myDir / "other");
    int locTries = 0, locKills = 0, locIntact = 0;
    for (int locAt = 1; locAt < 200; ++locAt)
    {
        SCOPED_TRACE(locAt);
        fs::remove(myDir / "other" / "model.qre");
        WriteFile(myDir / "model.qre", locOld);
        fs::create_hard_link(myDir / "model.qre", myDir / "other" / "model.qre");
        const pid_t locChild = fork();
        ASSERT_GE(locChild, 0);
        if (locChild == 0)
        {
            ourKillAtChange = locAt;
            const bool locSaved = SaveQRE(*myHandler, "model.qre");
            ourKillAtChange = 0;
            _exit(locSaved ? 0 : 1);
        }
        int locStatus = 0;
        ASSERT_EQ(waitpid(locChild, &locStatus, 0), locChild);
        ++locTries;
        const bool locKilled = WIFSIGNALED(locStatus) && WTERMSIG(locStatus) == SIGKILL;
        locKills += locKilled;
        // Opened again as Pranvel opens it, by either name.
        CommandHandler::Destroy();
        ASSERT_TRUE(CommandHandler::Create());
        myHandler = CommandHandler::Get();
        EXPECT_TRUE(LoadQRE(*myHandler, locAt % 2 ? "other/model.qre" : "model.qre", true));
        const std::string locOnDisk = ReadFile(myDir / "model.qre");
        const bool locWhole = locOnDisk == locOld || locOnDisk == locNew;
        EXPECT_TRUE(locWhole) << locOnDisk.size();
        locIntact += locWhole;
        if (!locKilled)
        {
            EXPECT_TRUE(locOnDisk == locNew);
            break;
        }
        locFill("NEW1", 30);
    }
    // The new content is written once, into the backup: fewer steps than before.
    EXPECT_GE(locKills, 15);
    printf("in-place .qre saves: %d tries, %d kills landed, %d files intact\n", locTries, locKills, locIntact);
    unsetenv("XDG_DATA_HOME");
}

TEST_F(QRETest, SavesKeepLinksModesAndTheNameThatExists)
{
    ASSERT_TRUE(myHandler->Run(7, new HaloFileCommand("halo")));
    const std::string locOld = "VERSION_NUMBER 7\r\n";

    // A symbolic link stays a link to the file that gets the text.
    fs::create_directories(myDir / "real");
    WriteFile(myDir / "real" / "tower.qre", locOld);
    fs::create_symlink("real/tower.qre", myDir / "linked.qre");
    ASSERT_TRUE(SaveQRE(*myHandler, "linked.qre"));
    EXPECT_TRUE(fs::is_symlink(myDir / "linked.qre"));
    const std::string locNew = ReadFile(myDir / "real" / "tower.qre");
    EXPECT_NE(locNew.find("HALOFILE \"halo\""), std::string::npos);

    // A hard link keeps sharing the file; a private file stays private.
    fs::create_hard_link(myDir / "real" / "tower.qre", myDir / "twin.qre");
    WriteFile(myDir / "real" / "tower.qre", locOld);
    fs::permissions(myDir / "real" / "tower.qre", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(SaveQRE(*myHandler, "twin.qre"));
    EXPECT_EQ(ReadFile(myDir / "real" / "tower.qre"), locNew);
    EXPECT_EQ(fs::hard_link_count(myDir / "twin.qre"), 2u);
    EXPECT_EQ(fs::status(myDir / "twin.qre").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // The editor's Save upper-cases the name: the file that exists is replaced.
    ASSERT_TRUE(SaveQRE(*myHandler, "REAL/TOWER.QRE"));
    EXPECT_EQ(Names(myDir / "real"), std::set<std::string>{"tower.qre"});
    EXPECT_EQ(fs::hard_link_count(myDir / "twin.qre"), 2u);
    ASSERT_TRUE(SaveQRE(*myHandler, "real/NEW.QRE"));
    EXPECT_EQ(Names(myDir / "real"), (std::set<std::string>{"tower.qre", "NEW.QRE"}));

    // A read-only file is not replaced; the failure says why.
    fs::permissions(myDir / "real" / "tower.qre", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    myHandler->SetModified(true);
    EXPECT_FALSE(SaveQRE(*myHandler, "real/TOWER.QRE"));
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(std::string(EditorError::GetDetail()), "real/TOWER.QRE: Permission denied");
    EXPECT_TRUE(myHandler->IsModified());
    EXPECT_EQ(ReadFile(myDir / "real" / "tower.qre"), locNew);
    EXPECT_EQ(Names(myDir / "real"), (std::set<std::string>{"tower.qre", "NEW.QRE"}));
}
