// The archive tool's real dialog on Qt's offscreen platform, driven through its
// buttons, drops and scripted answers to its questions.
#include "ostrane/main.h"
#include "ostrane/resource.h"
#include "ostrane/win32_wrap.h"

#include "platform/os/os_system.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"
#include "qfile/qf_file.h"
#include "qfile/qf_sdf.h"
#include "qfile/qf_sdfedit.h"
#include "qfile/tests/sdf_test_util.h"

#include <QEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
class TitleRecorder : public QObject
{
public:
    bool eventFilter(QObject* anObject, QEvent* anEvent) override
    {
        if (anEvent->type() == QEvent::WindowTitleChange)
            myTitles.push_back(static_cast<QWidget*>(anObject)->windowTitle().toStdString());
        return false;
    }
    std::vector<std::string> myTitles;
};

void locWriteFile(const fs::path& aPath, const std::string& aContents)
{
    fs::create_directories(aPath.parent_path());
    std::ofstream locStream(aPath, std::ios::binary);
    locStream << aContents;
}

std::string locReadFile(const fs::path& aPath)
{
    std::ifstream locStream(aPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(locStream), std::istreambuf_iterator<char>());
}

class OstraneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "ostrane_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
        const ::testing::TestInfo* locInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        myRoot = fs::path(Q_TEST_TMP_DIR) / locInfo->name();
        fs::remove_all(myRoot);
        myWork = myRoot / "data";
        fs::create_directories(myWork);
        myOldDirectory = fs::current_path();
        fs::current_path(myWork);
        UI_SetPromptService(&myPrompts);
        UI_ClearQuitMessage();
    }

    void TearDown() override
    {
        OstraneShutdown();
        UI_ClearQuitMessage();
        UI_SetPromptService(nullptr);
        OS_SetRoundingMode(OS_ROUND_NEAREST);
        fs::current_path(myOldDirectory);
    }

    void Start(const char* aCommandLine = "") { myStarted = OstraneStart(aCommandLine); }
    void Click(int anId) { UI_ClickButton(ourOstraneDialog, anId); }
    void Drop(const fs::path& aPath) { UI_DropFiles(ourOstraneDialog, IDC_FILE_LIST, {aPath.string()}); }
    bool Enabled(int anId) { return UI_IsControlEnabled(ourOstraneDialog, anId); }
    std::string Title() { return UI_GetDialogTitle(ourOstraneDialog); }

    std::vector<std::string> Entries()
    {
        std::vector<std::string> locEntries;
        std::string locText;
        for (int i = 0; OstraneListGetText(IDC_FILE_LIST, i, &locText); i++)
            locEntries.push_back(locText);
        return locEntries;
    }

    // Saves the list under a name typed into the save dialog.
    void SaveAs(const std::string& aTypedName)
    {
        myPrompts.AnswerFile((myWork / aTypedName).string());
        myPrompts.AnswerBox(OS_ID_OK);
        Click(IDC_SAVE_SDF);
    }

    void Select(int anIndex) { UI_ListSetSel(ourOstraneDialog, IDC_FILE_LIST, anIndex, true); }

    UI_ScriptedPrompts myPrompts;
    fs::path myRoot;
    fs::path myWork;
    fs::path myOldDirectory;
    bool myStarted = false;
};
} // namespace

TEST_F(OstraneTest, ButtonStatesFollowStartAddRemoveSaveAndLoad)
{
    locWriteFile(myWork / "a.txt", "alpha");
    locWriteFile(myWork / "b.txt", "bravo");
    Start();
    EXPECT_EQ(Title(), "Ostrane v0.01");
    EXPECT_FALSE(Enabled(IDC_SAVE_SDF));
    EXPECT_FALSE(Enabled(IDC_EXTRACT_FILES));
    EXPECT_TRUE(Enabled(IDC_OPEN_SDF));

    Drop(myWork / "a.txt");
    Drop(myWork / "b.txt");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(Enabled(IDC_SAVE_SDF));
    EXPECT_FALSE(Enabled(IDC_EXTRACT_FILES));
    EXPECT_TRUE(OstraneGetChangedFlag());

    Select(1);
    Click(IDC_REMOVE_FILES);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.txt"}));
    EXPECT_TRUE(Enabled(IDC_SAVE_SDF));

    SaveAs("pack");
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"SDF created|1 files in SDF"}));
    EXPECT_TRUE(fs::exists(myWork / "pack.SDF"));
    EXPECT_EQ(Title(), "Ostrane v0.01 - pack.SDF");
    EXPECT_FALSE(Enabled(IDC_SAVE_SDF));
    EXPECT_FALSE(Enabled(IDC_EXTRACT_FILES));
    EXPECT_FALSE(OstraneGetChangedFlag());

    // The save dialog asked for "*.SDF"; the open dialog shows "*.sdf" and filters on "*.SDF".
    ASSERT_EQ(myPrompts.myQuestions.front().myKind, UI_ScriptedPrompts::FILE_DIALOG);
    EXPECT_EQ(myPrompts.myQuestions.front().myRequest.myKind, UI_FILEDIALOG_SAVE);
    myPrompts.Clear();
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    ASSERT_EQ(myPrompts.myQuestions.size(), 1u);
    ASSERT_EQ(myPrompts.myQuestions[0].myRequest.myFilters.size(), 1u);
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myFilters[0].myText, "*.sdf");
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myFilters[0].myPattern, "*.SDF");
    EXPECT_EQ(Title(), "Ostrane v0.01 - pack.SDF");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.txt"}));
    EXPECT_TRUE(Enabled(IDC_EXTRACT_FILES));
    EXPECT_FALSE(Enabled(IDC_SAVE_SDF));
    // The listing closed the archive again.
    EXPECT_EQ(QF_SDF::ourFirstArchive, nullptr);
    // Adding to or removing from a loaded list makes it differ from the archive:
    // nothing to extract.
    Drop(myWork / "b.txt");
    EXPECT_FALSE(Enabled(IDC_EXTRACT_FILES));
    EXPECT_TRUE(Enabled(IDC_SAVE_SDF));
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    ASSERT_TRUE(Enabled(IDC_EXTRACT_FILES));
    Select(0);
    Click(IDC_REMOVE_FILES);
    EXPECT_FALSE(Enabled(IDC_EXTRACT_FILES));
    EXPECT_TRUE(Enabled(IDC_SAVE_SDF));

    Click(IDC_NEW_SDF);
    EXPECT_EQ(Title(), "Ostrane v0.01");
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(Enabled(IDC_EXTRACT_FILES));
}

TEST_F(OstraneTest, TypedNamesGetTheSdfExtensionUnlessTheyHaveIt)
{
    locWriteFile(myWork / "a.txt", "alpha");
    Start();
    Drop(myWork / "a.txt");
    SaveAs("one");
    EXPECT_TRUE(fs::exists(myWork / "one.SDF"));
    EXPECT_EQ(OstraneGetSdfName(), "one.SDF");

    Click(IDC_NEW_SDF);
    Drop(myWork / "a.txt");
    SaveAs("two.sdf");
    EXPECT_TRUE(fs::exists(myWork / "two.sdf"));
    EXPECT_FALSE(fs::exists(myWork / "two.sdf.SDF"));
    EXPECT_EQ(Title(), "Ostrane v0.01 - two.sdf");

    // A cancelled save dialog saves nothing and leaves the bare title.
    Click(IDC_NEW_SDF);
    Drop(myWork / "a.txt");
    myPrompts.Clear();
    myPrompts.AnswerCancel();
    Click(IDC_SAVE_SDF);
    EXPECT_EQ(Title(), "Ostrane v0.01");
    EXPECT_TRUE(Enabled(IDC_SAVE_SDF));
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
}

TEST_F(OstraneTest, DecliningToOverwriteAsksForAnotherNameAndAcceptingReplaces)
{
    locWriteFile(myWork / "a.txt", "alpha");
    locWriteFile(myWork / "b.txt", "bravo");
    Start();
    Drop(myWork / "a.txt");
    SaveAs("pack");
    std::string locFirstArchive = locReadFile(myWork / "pack.SDF");

    // The name is known: the question comes at once; Cancel reopens the save dialog.
    Drop(myWork / "b.txt");
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_CANCEL);
    myPrompts.AnswerFile((myWork / "other").string());
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_SAVE_SDF);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"Warning|SDF already exists. Press Ok to overwrite it.",
                                        "SDF created|2 files in SDF"}));
    EXPECT_EQ(myPrompts.myNumUnscripted, 0);
    EXPECT_EQ(locReadFile(myWork / "pack.SDF"), locFirstArchive);
    EXPECT_TRUE(fs::exists(myWork / "other.SDF"));

    // A typed name that exists: OK replaces the old archive.
    Click(IDC_NEW_SDF);
    Drop(myWork / "b.txt");
    myPrompts.Clear();
    myPrompts.AnswerFile((myWork / "pack").string());
    myPrompts.AnswerBox(OS_ID_OK);
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_SAVE_SDF);
    EXPECT_EQ(myPrompts.GetBoxes().back(), "SDF created|1 files in SDF");
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"b.txt"}));
}

TEST_F(OstraneTest, ExtractsSelectedEntriesFromTheLastToTheFirst)
{
    for (const char* locName : {"a.txt", "b.txt", "c.txt", "d.txt"})
        locWriteFile(myWork / "files" / locName, std::string("contents of ") + locName);
    Start();
    Drop(myWork / "files");
    SaveAs("pack");
    fs::remove_all(myWork / "files");
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    ASSERT_EQ(Entries().size(), 4u);

    TitleRecorder locRecorder;
    UI_GetDialogWidget(ourOstraneDialog)->installEventFilter(&locRecorder);
    Select(0);
    Select(2);
    Select(3);
    myPrompts.Clear();
    Click(IDC_EXTRACT_FILES);
    UI_GetDialogWidget(ourOstraneDialog)->removeEventFilter(&locRecorder);

    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"Extraction complete|All 3 files extracted succesfully."}));
    std::vector<std::string> locExtracting;
    for (const std::string& locTitle : locRecorder.myTitles)
        if (locTitle.find("Extracting") != std::string::npos)
            locExtracting.push_back(locTitle);
    EXPECT_EQ(locExtracting, (std::vector<std::string>{"Ostrane v0.01 - Extracting files/d.txt...",
                                                       "Ostrane v0.01 - Extracting files/c.txt...",
                                                       "Ostrane v0.01 - Extracting files/a.txt..."}));
    EXPECT_EQ(Title(), "Ostrane v0.01 - pack.SDF");
    EXPECT_EQ(locReadFile(myWork / "files" / "d.txt"), "contents of d.txt");
    EXPECT_EQ(locReadFile(myWork / "files" / "a.txt"), "contents of a.txt");
    EXPECT_FALSE(fs::exists(myWork / "files" / "b.txt"));
    // Closed after extraction: a later save reads the disk, not the archive.
    EXPECT_EQ(QF_SDF::ourFirstArchive, nullptr);
}

TEST_F(OstraneTest, DirectoriesAddFilesButNoArchivesAndNothingTwice)
{
    locWriteFile(myWork / "sub" / "x.sdf", "not packed");
    locWriteFile(myWork / "sub" / "a.txt", "alpha");
    locWriteFile(myWork / "sub" / "abc", "short name");
    Start();
    Drop(myWork / "sub");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"sub\\a.txt", "sub\\abc"}));

    // The same files by other spellings: another case, the other separator.
    Drop(myWork / "sub" / "A.TXT");
    OstraneAddPath("SUB/ABC");
    OstraneAddPath("sub\\a.txt");
    EXPECT_EQ(Entries().size(), 2u);

    // Paths outside the start directory are refused, also one that only shares its prefix.
    locWriteFile(myRoot / "data2" / "z.txt", "outside");
    myPrompts.Clear();
    Drop(myRoot / "data2" / "z.txt");
    myPrompts.AnswerFiles((myRoot / "data2").string(), {"z.txt"});
    Click(IDC_ADD_FILES);
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"ERROR|Only files from sub directories allowed.",
                                                              "ERROR|Only files from sub directories allowed."}));
    EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(OstraneTest, AddFilesTakesSeveralNamesWithTheDirectoryPrefix)
{
    locWriteFile(myWork / "top.txt", "top");
    locWriteFile(myWork / "deep" / "er" / "one.txt", "1");
    locWriteFile(myWork / "deep" / "er" / "two.txt", "2");
    Start();
    myPrompts.AnswerFiles((myWork / "deep" / "er").string(), {"one.txt", "two.txt"});
    Click(IDC_ADD_FILES);
    myPrompts.AnswerFile((myWork / "top.txt").string());
    Click(IDC_ADD_FILES);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"deep/er\\one.txt", "deep/er\\two.txt", "top.txt"}));
    EXPECT_EQ(fs::current_path(), myWork);
}

TEST_F(OstraneTest, PercentInANameSurvivesSaveAndLoad)
{
    locWriteFile(myWork / "100%.txt", "one hundred percent");
    Start();
    TitleRecorder locRecorder;
    UI_GetDialogWidget(ourOstraneDialog)->installEventFilter(&locRecorder);
    Drop(myWork / "100%.txt");
    SaveAs("pack");
    UI_GetDialogWidget(ourOstraneDialog)->removeEventFilter(&locRecorder);
    EXPECT_NE(std::find(locRecorder.myTitles.begin(), locRecorder.myTitles.end(),
                        "Ostrane v0.01 - Working on 100%.txt... 1/1 (0.0%)"),
              locRecorder.myTitles.end());
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"100%.txt"}));
}

TEST_F(OstraneTest, DirectoryTreeRoundTripsThroughAnArchive)
{
    std::mt19937 locRandom(7);
    std::map<std::string, std::string> locFiles;
    const char* const locNames[] = {"tree/readme.txt", "tree/Art/Rock.tga", "tree/Art/sky.DDS",
                                    "tree/music/theme.mp3", "tree/video/intro.bik", "tree/a/b/c/deep.bin"};
    for (const char* locName : locNames)
    {
        std::string locContents;
        size_t locSize = 1 + locRandom() % 70000;
        bool locCompressible = locRandom() % 2;
        for (size_t i = 0; i < locSize; i++)
            locContents += (char) (locCompressible ? "abcd"[i % 4] : locRandom() & 0xFF);
        locFiles[locName] = locContents;
        locWriteFile(myWork / locName, locContents);
    }
    Start();
    Drop(myWork / "tree");
    SaveAs("tree.sdf");
    ASSERT_EQ(myPrompts.GetBoxes().back(), "SDF created|6 files in SDF");
    OstraneShutdown();

    // Elsewhere: the archive from the command line, every entry extracted.
    fs::path locElsewhere = myRoot / "elsewhere";
    fs::create_directories(locElsewhere);
    fs::current_path(locElsewhere);
    Start("../data/tree.sdf");
    ASSERT_TRUE(myStarted);
    EXPECT_EQ(Entries().size(), 6u);
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"Are you sure?|Press OK to extract all files from SDF",
                                                              "Extraction complete|All 6 files extracted succesfully."}));
    for (const auto& [locName, locContents] : locFiles)
    {
        EXPECT_EQ(locReadFile(locElsewhere / locName), locContents) << locName;
    }
}

TEST_F(OstraneTest, MissingCommandLineArchiveEndsTheProgram)
{
    Start("missing.sdf");
    EXPECT_FALSE(myStarted);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"ERROR|Failed to load SDF\nmissing.sdf: No such file or directory"}));
    int locExitValue = 0;
    EXPECT_TRUE(UI_PeekQuitMessage(&locExitValue));
    EXPECT_EQ(locExitValue, -2);
    EXPECT_EQ(OstraneMain("missing.sdf"), 0);
}

// A model, a text and an empty file, named as archives or not: each is refused with the box
// and the opener's reason, whether chosen with "Open SDF" or named on the command line.
TEST_F(OstraneTest, FilesThatAreNoArchiveAreRefusedWithTheirReason)
{
    locWriteFile(myWork / "tower.qrb", std::string("QRB\x01\x00\x00\x00\x10", 8) + std::string(64, '\x7F'));
    locWriteFile(myWork / "notes.sdf", "These are notes, not an archive.\r\n");
    locWriteFile(myWork / "empty.sdf", "");
    const std::pair<const char*, const char*> locCases[] = {
        {"tower.qrb", "not an SDF archive"},
        {"notes.sdf", "not an SDF archive"},
        {"empty.sdf", "the header is cut short"},
    };
    for (const auto& [locName, locReason] : locCases)
    {
        const std::vector<std::string> locBox = {std::string("ERROR|Failed to load SDF\n") + locName + ": " +
                                                 locReason};
        Start();
        myPrompts.AnswerFile((myWork / locName).string());
        Click(IDC_OPEN_SDF);
        EXPECT_EQ(myPrompts.GetBoxes(), locBox) << locName;
        EXPECT_EQ(myPrompts.myNumUnscripted, 1) << locName; // the box, answered OK
        EXPECT_TRUE(Entries().empty()) << locName;
        EXPECT_FALSE(UI_PeekQuitMessage(nullptr)) << locName;
        OstraneShutdown();
        myPrompts.Clear();

        Start(locName);
        EXPECT_FALSE(myStarted) << locName;
        EXPECT_EQ(myPrompts.GetBoxes(), locBox) << locName;
        OstraneShutdown();
        myPrompts.Clear();
        UI_ClearQuitMessage();
    }
    // An archive chosen outside the start folder is not taken, and the box says so.
    locWriteFile(myRoot / "outside.sdf", "");
    Start();
    myPrompts.AnswerFile((myRoot / "outside.sdf").string());
    Click(IDC_OPEN_SDF);
    EXPECT_EQ(myPrompts.GetBoxes(),
              std::vector<std::string>{"ERROR|Failed to load SDF\n" + (myRoot / "outside.sdf").string() +
                                       ": not inside the folder the program started in"});
    // The dialog's buffer holds 255 characters: a longer path is refused whole, not cut.
    const std::string locFolder = std::string(100, 'd') + "/" + std::string(100, 'e') + "/";
    const std::string locFits = locFolder + std::string(49, 'n') + ".sdf",
                      locLong = locFolder + std::string(50, 'n') + ".sdf";
    ASSERT_EQ(locFits.size(), 255u);
    locWriteFile(myWork / locFits, "");
    locWriteFile(myWork / locLong, "");
    myPrompts.Clear();
    myPrompts.AnswerFile((myWork / locFits).string());
    Click(IDC_OPEN_SDF);
    myPrompts.AnswerFile((myWork / locLong).string());
    Click(IDC_OPEN_SDF);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"ERROR|Failed to load SDF\n" + locFits + ": the header is cut short",
                                        "ERROR|Failed to load SDF\n" + locLong +
                                            ": the path is longer than 255 characters"}));
}

TEST_F(OstraneTest, ClosingWithChangesAsksFirst)
{
    locWriteFile(myWork / "a.txt", "alpha");
    Start();
    EXPECT_EQ(OS_GetRoundingMode(), OS_ROUND_TRUNCATE);
    Drop(myWork / "a.txt");
    myPrompts.AnswerBox(OS_ID_CANCEL);
    UI_GetDialogWidget(ourOstraneDialog)->close();
    EXPECT_FALSE(UI_PeekQuitMessage(nullptr));
    myPrompts.AnswerBox(OS_ID_CANCEL);
    Click(IDC_NEW_SDF);
    EXPECT_EQ(Entries().size(), 1u);
    myPrompts.AnswerBox(OS_ID_OK);
    UI_GetDialogWidget(ourOstraneDialog)->close();
    int locExitValue = 1;
    EXPECT_TRUE(UI_PeekQuitMessage(&locExitValue));
    EXPECT_EQ(locExitValue, 0);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{
                  "Are you sure you want to quit?|You have made changes to the SDF, these will be lost if you quit.",
                  "Are you sure you want to create a new SDF?|You have made changes to the existing SDF, these will "
                  "be lost if you create a new one.",
                  "Are you sure you want to quit?|You have made changes to the SDF, these will be lost if you quit."}));
}

TEST_F(OstraneTest, ArchivesNamingPathsAboveThemAreNotLoaded)
{
    // The writer refuses "../evil.txt" before it writes anything.
    locWriteFile(myRoot / "evil.txt", "outside");
    locWriteFile(myWork / "good.txt", "inside");
    {
        QF_SDFEdit locEditor;
        EXPECT_FALSE(locEditor.AddFile("../evil.txt"));
        locEditor.AddFile("../data/good.txt");
        EXPECT_FALSE(locEditor.Write("evil.sdf"));
        EXPECT_EQ(QF_SDFEditError, QF_SDFEDIT_BAD_NAME);
        EXPECT_STREQ(QF_SDFEditErrorText, "../evil.txt");
        EXPECT_FALSE(fs::exists(myWork / "evil.sdf"));
    }
    // One made elsewhere: its ".." directory is no name an archive may hold,
    // so nothing of it is listed.
    locWriteFile(myWork / "zz" / "evil.txt", "outside");
    {
        QF_SDFEdit locEditor;
        locEditor.AddFile("zz/evil.txt");
        locEditor.AddFile("good.txt");
        locEditor.SetDefaultCompression(0);
        ASSERT_TRUE(locEditor.Write("evil.sdf")) << QF_SDFEditError;
    }
    std::string locBytes = locReadFile(myWork / "evil.sdf");
    for (size_t locAt = 0; (locAt = locBytes.find("zz", locAt)) != std::string::npos;)
        locBytes.replace(locAt, 2, "..");
    locWriteFile(myWork / "evil.sdf", locBytes);
    fs::path locInner = myWork / "inner";
    fs::create_directories(locInner);
    fs::current_path(locInner);
    Start("../evil.sdf");
    EXPECT_FALSE(myStarted);
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0].rfind("ERROR|Failed to load SDF\n../evil.sdf: ", 0), 0u);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(QF_ErrorCode, QF_ERROR_CORRUPT_SDF);
}

TEST_F(OstraneTest, FailedWriteIsNotCountedAsExtracted)
{
    locWriteFile(myWork / "a.txt", "alpha");
    locWriteFile(myWork / "b.txt", "bravo");
    Start();
    Drop(myWork / "a.txt");
    Drop(myWork / "b.txt");
    SaveAs("pack");
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    // A directory where a.txt should go: the file cannot be written.
    fs::remove(myWork / "a.txt");
    fs::create_directories(myWork / "a.txt");
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes().back(), "Extraction complete|1/2 files extracted succesfully");
}

TEST_F(OstraneTest, ExtractionNeverPassesALink)
{
    for (const char* locName : {"link/victim.txt", "link/new/deep.txt", "link2/x.txt", "dangling.txt", "good/ok.txt"})
        locWriteFile(myWork / locName, std::string("archived ") + locName);
    Start();
    for (const char* locName : {"link", "link2", "dangling.txt", "good"})
        Drop(myWork / locName);
    SaveAs("pack");
    for (const char* locName : {"link", "link2", "dangling.txt", "good"})
        fs::remove_all(myWork / locName);
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    ASSERT_EQ(Entries().size(), 5u);

    // Links in the destination that lead out of it, one of them only in another case.
    locWriteFile(myRoot / "outside" / "victim.txt", "precious");
    fs::create_symlink("../outside", myWork / "link");
    fs::create_symlink("../outside", myWork / "LINK2");
    fs::create_symlink("../outside/made.txt", myWork / "dangling.txt");
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes().back(), "Extraction complete|1/5 files extracted succesfully");
    EXPECT_EQ(locReadFile(myRoot / "outside" / "victim.txt"), "precious");
    std::vector<std::string> locOutside;
    for (const fs::directory_entry& locEntry : fs::directory_iterator(myRoot / "outside"))
        locOutside.push_back(locEntry.path().filename().string());
    EXPECT_EQ(locOutside, std::vector<std::string>{"victim.txt"});
    EXPECT_EQ(locReadFile(myWork / "good" / "ok.txt"), "archived good/ok.txt");
    EXPECT_TRUE(fs::is_symlink(myWork / "dangling.txt"));
}

TEST_F(OstraneTest, FailedWriteBackIsNotCountedAsExtracted)
{
    locWriteFile(myWork / "small.txt", "small");
    locWriteFile(myWork / "big.bin", std::string(8192, 'b'));
    Start();
    Drop(myWork / "small.txt");
    Drop(myWork / "big.bin");
    SaveAs("pack");
    myPrompts.AnswerFile((myWork / "pack.SDF").string());
    Click(IDC_OPEN_SDF);
    locWriteFile(myWork / "big.bin", "the old big.bin");

    // A file-size limit makes the writes of the big entry fail as a full disk would.
    struct rlimit locOld;
    getrlimit(RLIMIT_FSIZE, &locOld);
    struct rlimit locSmall = locOld;
    locSmall.rlim_cur = 4096;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &locSmall);
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_EXTRACT_FILES);
    setrlimit(RLIMIT_FSIZE, &locOld);
    signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(myPrompts.GetBoxes().back(), "Extraction complete|1/2 files extracted succesfully");
    EXPECT_EQ(locReadFile(myWork / "big.bin"), "the old big.bin");
    EXPECT_EQ(locReadFile(myWork / "small.txt"), "small");
}

TEST_F(OstraneTest, AddingAFolderEntersEachDirectoryOnce)
{
    for (const char* locName : {"a.txt", "b.txt", "c.txt", "sub/d.txt", "sub/e.txt", ".sdf", "x.Sdf"})
        locWriteFile(myWork / "top" / locName, "x");
    fs::create_symlink("..", myWork / "top" / "sub" / "up");
    fs::create_symlink(".", myWork / "top" / "here");
    Start();
    Drop(myWork / "top");
    std::vector<std::string> locEntries = Entries();
    std::sort(locEntries.begin(), locEntries.end());
    EXPECT_EQ(locEntries, (std::vector<std::string>{"top\\a.txt", "top\\b.txt", "top\\c.txt", "top\\sub\\d.txt",
                                                     "top\\sub\\e.txt"}));
}

TEST_F(OstraneTest, RemovingSeveralSelectedEntriesRemovesExactlyThose)
{
    for (const char* locName : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"})
        locWriteFile(myWork / locName, "x");
    Start();
    for (const char* locName : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"})
        Drop(myWork / locName);
    Select(1);
    Select(2);
    Select(4);
    Click(IDC_REMOVE_FILES);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.txt", "d.txt", "f.txt"}));
    // Removed entries can be added again: nothing of them is left behind.
    Drop(myWork / "c.txt");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"a.txt", "c.txt", "d.txt", "f.txt"}));
}

TEST_F(OstraneTest, OneSelectedEntryIsExtractedAloneAndFailuresCount)
{
    locWriteFile(myWork / "a.txt", "alpha");
    locWriteFile(myWork / "b.txt", "bravo");
    {
        // A stored table, so that the test can give b.txt the method no archive may use.
        QF_SDFEdit locEditor;
        locEditor.AddFile("a.txt");
        locEditor.AddFile("b.txt");
        locEditor.SetDefaultCompression(0);
        ASSERT_TRUE(locEditor.Write("pack.sdf"));
    }
    std::string locBytes = locReadFile(myWork / "pack.sdf");
    size_t locLeaf = locBytes.rfind(std::string("b.txt\0", 6));
    ASSERT_NE(locLeaf, std::string::npos);
    locBytes[locLeaf - 20 + 8 + 3] = char(locBytes[locLeaf - 20 + 8 + 3] | 0xC0);
    locWriteFile(myWork / "pack.sdf", locBytes);
    fs::remove(myWork / "a.txt");
    fs::remove(myWork / "b.txt");
    Start("pack.sdf");
    ASSERT_TRUE(myStarted);
    ASSERT_EQ(Entries(), (std::vector<std::string>{"a.txt", "b.txt"}));

    Select(0);
    myPrompts.Clear();
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"Extraction complete|All 1 files extracted succesfully."}));
    EXPECT_EQ(locReadFile(myWork / "a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(myWork / "b.txt"));

    UI_ListSetSel(ourOstraneDialog, IDC_FILE_LIST, 0, false);
    Select(1);
    myPrompts.Clear();
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"Error reading file|b.txt", "Extraction complete|0/1 files extracted succesfully"}));
    EXPECT_FALSE(fs::exists(myWork / "b.txt"));
}

namespace
{
std::vector<std::string> locSorted(std::vector<std::string> aList)
{
    std::sort(aList.begin(), aList.end());
    return aList;
}
} // namespace

TEST_F(OstraneTest, WindowsNamesListReadableAndExtractUnderUtf8Names)
{
    // Code page 1252: e acute, the euro sign and i diaeresis, a byte Windows
    // leaves undefined, and one name that is UTF-8 already.
    const std::vector<std::pair<std::string, std::string>> locFiles = {
        {"caf\xE9.txt", "coffee"},
        {"\x80uro.txt", std::string("\x00\x01\xFF\x80 euro", 9)},
        {"na\xEFve/r\xE9sum\xE9.txt", "cv"},
        {"na\xEFve/\x81odd.bin", "undefined byte"},
        {"d\xC3\xA9j\xC3\xA0.txt", "already utf-8"},
        {"plain.txt", "plain"}};
    sdftest::FatSpec locSpec;
    locSpec.myDirs = {{"", {{1, 0}}}, {"na\xEFve", {}}};
    for (const auto& [locPath, locData] : locFiles)
    {
        size_t locSlash = locPath.find('/');
        locSpec.myFiles.push_back({locSlash == std::string::npos ? 0 : 1, locPath.substr(locSlash + 1), locData});
    }
    sdftest::WriteBytes(myWork / "win.sdf", sdftest::BuildArchive(locSpec));
    const std::vector<std::string> locUtf8 = {"caf\xC3\xA9.txt", "\xE2\x82\xACuro.txt", "na\xC3\xAFve/r\xC3\xA9sum\xC3\xA9.txt",
                                              "na\xC3\xAFve/\xC2\x81odd.bin", "d\xC3\xA9j\xC3\xA0.txt", "plain.txt"};
    Start("win.sdf");
    ASSERT_TRUE(myStarted);
    EXPECT_EQ(locSorted(Entries()), locSorted(locUtf8));
    EXPECT_EQ(Title(), "Ostrane v0.01 - win.sdf");

    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes().back(), "Extraction complete|All 6 files extracted succesfully.");
    for (size_t i = 0; i < locFiles.size(); i++)
        EXPECT_EQ(locReadFile(myWork / locUtf8[i]), locFiles[i].second) << locUtf8[i];
    // Nothing under the stored bytes.
    EXPECT_FALSE(fs::exists(myWork / "caf\xE9.txt"));
    EXPECT_FALSE(fs::exists(myWork / "na\xEFve"));
}

TEST_F(OstraneTest, EntriesTheListCannotShowAreCountedInTheTitle)
{
    // A file and a folder of one name are both listed; a path longer than an
    // archive path may be (it cannot be read back) and a second spelling of a
    // listed path are not, and the title says so.
    const std::string locLong(3000, 'L');
    sdftest::FatSpec locSpec;
    locSpec.myDirs = {{"", {{1, 0}, {2, 0}, {3, 0}}}, {"a", {}}, {locLong, {}}, {"B", {}}};
    locSpec.myFiles = {{0, "a", "file a"}, {1, "b.txt", "in folder a"}, {2, "x.txt", "far"}, {3, "c.txt", "one"},
                       {3, "C.TXT", "two"}};
    sdftest::WriteBytes(myWork / "odd.sdf", sdftest::BuildArchive(locSpec));
    Start("odd.sdf");
    ASSERT_TRUE(myStarted);
    EXPECT_EQ(locSorted(Entries()), (std::vector<std::string>{"B/c.txt", "a", "a/b.txt"}));
    EXPECT_EQ(Title(), "Ostrane v0.01 - odd.sdf (2 entries not shown)");
    EXPECT_FALSE(Enabled(IDC_SAVE_SDF));
    EXPECT_TRUE(Enabled(IDC_EXTRACT_FILES));
    // Gone with the list.
    Click(IDC_NEW_SDF);
    EXPECT_EQ(Title(), "Ostrane v0.01");
}

TEST_F(OstraneTest, NamesNoArchiveMayHoldAreNotAdded)
{
    locWriteFile(myWork / "y.txt", "why");
    locWriteFile(myWork / "sub" / "x.txt", "ex");
    Start();
    for (const char* locName : {"./y.txt", "sub//x.txt", "sub/./x.txt", "sub/../y.txt", "/abs", "\\x"})
    {
        myPrompts.Clear();
        OstraneAddPath(locName);
        EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{std::string("Error adding file|") + locName});
    }
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(Enabled(IDC_SAVE_SDF));

    // A path longer than an archive may hold, dropped whole.
    fs::path locDeep = myWork;
    for (int i = 0; i < 30; i++)
        locDeep /= std::string(20, char('a' + i % 26));
    locWriteFile(locDeep / "deep.txt", "deep");
    myPrompts.Clear();
    Drop(locDeep / "deep.txt");
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0].rfind("Error adding file|aaaaaaaaaaaaaaaaaaaa/bbbb", 0), 0u);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(OstraneTest, ASaveOfOddNamesWritesNothing)
{
    locWriteFile(myWork / "y.txt", "why");
    locWriteFile(myWork / "sub" / "x.txt", "ex");
    Start();
    Drop(myWork / "y.txt");
    SaveAs("pack");
    const std::string locOld = locReadFile(myWork / "pack.SDF");
    locWriteFile(myWork / "z.txt", "zed");
    Drop(myWork / "z.txt");
    for (const char* locName : {"./y.txt", "sub//x.txt", "sub/./x.txt", "sub/../y.txt", "/abs", "\\x"})
    {
        // Put into the list past the add's check, as a list of another origin would be.
        OstraneListAdd(IDC_FILE_LIST, locName);
        myPrompts.Clear();
        myPrompts.AnswerBox(OS_ID_OK);
        Click(IDC_SAVE_SDF);
        EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"Warning|SDF already exists. Press Ok to overwrite it.",
                                                                  std::string("Error adding file|") + locName}));
        EXPECT_EQ(locReadFile(myWork / "pack.SDF"), locOld) << locName;
        std::vector<std::string> locEntries = Entries();
        Select(int(std::find(locEntries.begin(), locEntries.end(), locName) - locEntries.begin()));
        Click(IDC_REMOVE_FILES);
        ASSERT_EQ(Entries(), (std::vector<std::string>{"y.txt", "z.txt"}));
    }
    for (const fs::directory_entry& locEntry : fs::directory_iterator(myWork))
        EXPECT_EQ(locEntry.path().filename().string().find(".tmp"), std::string::npos) << locEntry.path();
}

TEST_F(OstraneTest, AFailedSaveSaysWhichFileAndWhy)
{
    locWriteFile(myWork / "a.txt", "alpha");
    Start();
    Drop(myWork / "a.txt");
    // A folder where the archive should go.
    fs::create_directories(myWork / "pack.SDF");
    myPrompts.AnswerFile((myWork / "pack").string());
    myPrompts.AnswerBox(OS_ID_OK);
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_SAVE_SDF);
    EXPECT_EQ(myPrompts.GetBoxes().back(), std::string("Failed to create SDF!|Error: 15 (pack.SDF: ") + strerror(EISDIR) + ")");

    // An emptied list.
    Select(0);
    Click(IDC_REMOVE_FILES);
    fs::remove(myWork / "pack.SDF");
    myPrompts.Clear();
    Click(IDC_SAVE_SDF);
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Failed to create SDF!|Error: 6 (pack.SDF: no files to write)"});
}

TEST_F(OstraneTest, OnlyFilesThatResolveInsideTheStartFolderAreTaken)
{
    const fs::path locGame = myRoot / "data" / "game";
    locWriteFile(locGame / "x.txt", "inside");
    locWriteFile(locGame / "sub" / "y.txt", "deeper");
    locWriteFile(myRoot / "data" / "secret" / "x.txt", "outside");
    locWriteFile(myRoot / "data" / "Other" / "x.txt", "another folder");
    fs::create_directory_symlink(locGame, myRoot / "link");
    fs::create_directory_symlink("../secret", locGame / "out");
    fs::create_symlink("../secret/x.txt", locGame / "leak.txt");
    fs::create_symlink("sub/y.txt", locGame / "alias.txt");
    const std::string locBase = locGame.string();
    std::string locRelative;

    EXPECT_FALSE(OstraneGetRelativePath(locBase, locBase + "/../secret/x.txt", &locRelative));
    EXPECT_TRUE(OstraneGetRelativePath(locBase, locBase + "/sub/../x.txt", &locRelative));
    EXPECT_EQ(locRelative, "x.txt");
    EXPECT_FALSE(OstraneGetRelativePath(locBase, locBase + "/out/x.txt", &locRelative));
    EXPECT_FALSE(OstraneGetRelativePath(locBase, locBase + "/leak.txt", &locRelative));
    EXPECT_TRUE(OstraneGetRelativePath(locBase, locBase + "/alias.txt", &locRelative));
    EXPECT_EQ(locRelative, "alias.txt");
    EXPECT_FALSE(OstraneGetRelativePath(locBase, (myRoot / "data" / "gamer").string(), &locRelative));

    // A start folder reached through a link, either way round.
    EXPECT_TRUE(OstraneGetRelativePath((myRoot / "link").string(), locBase + "/sub/y.txt", &locRelative));
    EXPECT_EQ(locRelative, "sub/y.txt");
    EXPECT_TRUE(OstraneGetRelativePath(locBase, (myRoot / "link" / "x.txt").string(), &locRelative));
    EXPECT_EQ(locRelative, "x.txt");
    EXPECT_TRUE(OstraneGetRelativePath(locBase + "/", locBase, &locRelative));
    EXPECT_EQ(locRelative, "");

    // Either separator, a trailing one, a name in another case, names still to be made.
    EXPECT_TRUE(OstraneGetRelativePath(locBase, locBase + "\\sub\\y.txt", &locRelative));
    EXPECT_EQ(locRelative, "sub/y.txt");
    EXPECT_TRUE(OstraneGetRelativePath(locBase, locBase + "/sub/", &locRelative));
    EXPECT_EQ(locRelative, "sub");
    EXPECT_TRUE(OstraneGetRelativePath(locBase, locBase + "/SUB/Y.TXT", &locRelative));
    EXPECT_EQ(locRelative, "sub/y.txt");
    EXPECT_TRUE(OstraneGetRelativePath(locBase, locBase + "/new.sdf", &locRelative));
    EXPECT_EQ(locRelative, "new.sdf");
    EXPECT_FALSE(OstraneGetRelativePath(locBase, locBase + "/missing/..", &locRelative));
    EXPECT_FALSE(OstraneGetRelativePath(locBase, (myRoot / "data" / "new.sdf").string(), &locRelative));
    // The root as start folder; a start folder that is not there.
    EXPECT_TRUE(OstraneGetRelativePath("/", locBase + "/x.txt", &locRelative));
    EXPECT_EQ(locRelative, locBase.substr(1) + "/x.txt");
    EXPECT_FALSE(OstraneGetRelativePath(locBase + "/missing", locBase + "/missing/x.txt", &locRelative));
    EXPECT_FALSE(OstraneGetRelativePath("", locBase + "/x.txt", &locRelative));

    // Case: a start folder spelled otherwise than on disk is found as the disk
    // spells it; a folder that differs only in case is another folder.
    EXPECT_TRUE(OstraneGetRelativePath((myRoot / "DATA" / "Game").string(), locBase + "/x.txt", &locRelative));
    EXPECT_EQ(locRelative, "x.txt");
    EXPECT_FALSE(OstraneGetRelativePath((myRoot / "data" / "other").string(),
                                        (myRoot / "data" / "Other" / "x.txt").string(), &locRelative) &&
                 fs::exists(myRoot / "data" / "other"));
    fs::create_directories(myRoot / "data" / "other");
    EXPECT_FALSE(OstraneGetRelativePath((myRoot / "data" / "other").string(),
                                        (myRoot / "data" / "Other" / "x.txt").string(), &locRelative));

    // Through the program: a drop, the add dialog, and a folder whose links lead out.
    fs::current_path(locGame);
    Start();
    Drop(locGame / ".." / "secret" / "x.txt");
    Drop(locGame / "leak.txt");
    myPrompts.AnswerFiles(locBase, {"x.txt", "leak.txt"});
    Click(IDC_ADD_FILES);
    locWriteFile(locGame / "tree" / "in.txt", "in");
    fs::create_directory_symlink("../../secret", locGame / "tree" / "out");
    fs::create_symlink("../../secret/x.txt", locGame / "tree" / "leak.txt");
    fs::create_symlink("in.txt", locGame / "tree" / "alias.txt");
    Drop(locGame / "tree");
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"ERROR|Only files from sub directories allowed.",
                                                              "ERROR|Only files from sub directories allowed.",
                                                              "ERROR|Only files from sub directories allowed.",
                                                              "ERROR|Only files from sub directories allowed."}));
    EXPECT_EQ(locSorted(Entries()), (std::vector<std::string>{"tree\\alias.txt", "tree\\in.txt", "x.txt"}));
}

// Two files that an archive would take for one (another a-z case, a code page
// 1252 name beside its UTF-8 spelling) are not both listed; the add names them,
// the listed one first, and a save packs that one under its own name.
// Another spelling of a listed file is the same file and passes unremarked.
TEST_F(OstraneTest, AddRefusesTheSecondOfTwoFilesAnArchiveTakesForOne)
{
    const std::map<std::string, std::string> locFiles = {{"in/Readme.txt", "mixed case"},
                                                         {"in/README.txt", "upper case"},
                                                         {"in/caf\xE9.txt", "code page 1252"},
                                                         {"in/caf\xC3\xA9.txt", "utf-8"},
                                                         {"in/other.txt", "other"}};
    for (const auto& [locName, locData] : locFiles)
        locWriteFile(myWork / locName, locData);
    Start();
    Drop(myWork / "in");
    // The code page 1252 name is listed as UTF-8, whichever of the pair it is.
    std::vector<std::string> locEntries = Entries();
    ASSERT_EQ(locEntries.size(), 3u);
    EXPECT_EQ(locEntries[0], "in\\caf\xC3\xA9.txt");
    EXPECT_EQ(locEntries[1], "in\\other.txt");
    EXPECT_TRUE(locEntries[2] == "in\\Readme.txt" || locEntries[2] == "in\\README.txt") << locEntries[2];
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    std::string locBox = myPrompts.GetBoxes()[0];
    ASSERT_EQ(locBox.rfind("Error adding file|", 0), 0u) << locBox;
    locBox.erase(0, strlen("Error adding file|"));
    // Whichever of each pair the folder gave first is listed and named first.
    std::map<std::string, std::string> locListed;
    const std::map<std::string, std::string> locLines = {
        {"in\\Readme.txt and in\\README.txt are one name in an archive", "in/Readme.txt"},
        {"in\\README.txt and in\\Readme.txt are one name in an archive", "in/README.txt"},
        {"in\\caf\xC3\xA9.txt (code page 1252) and in\\caf\xC3\xA9.txt are one name in an archive", "in/caf\xE9.txt"},
        {"in\\caf\xC3\xA9.txt and in\\caf\xC3\xA9.txt (code page 1252) are one name in an archive",
         "in/caf\xC3\xA9.txt"}};
    for (size_t locStart = 0; locStart <= locBox.size();)
    {
        size_t locEnd = std::min(locBox.find('\n', locStart), locBox.size());
        auto locLine = locLines.find(locBox.substr(locStart, locEnd - locStart));
        ASSERT_NE(locLine, locLines.end()) << locBox;
        locListed[locLine->second.substr(0, 7)] = locLine->second;
        locStart = locEnd + 1;
    }
    ASSERT_EQ(locListed.size(), 2u) << locBox;

    // The listed one again, by another spelling of the same file: nothing to say.
    myPrompts.Clear();
    OstraneAddPath("IN/OTHER.TXT");
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
    EXPECT_EQ(Entries().size(), 3u);

    // Saved, the archive holds the listed files under the names they have on the disk.
    SaveAs("pairs");
    EXPECT_EQ(myPrompts.GetBoxes().back(), "SDF created|3 files in SDF");
    ASSERT_TRUE(QF_SDF::OpenByName((myWork / "pairs.SDF").string().c_str(), 1));
    for (const auto& [locPrefix, locName] : locListed)
    {
        QF_SDFFileRecord locRecord;
        EXPECT_TRUE(QF_SDF::FindFile(locName.c_str(), &locRecord, 1)) << locName;
        QF_File locFile;
        ASSERT_TRUE(locFile.Open(locName.c_str(), OPEN_READ)) << locName;
        std::string locRead(locFile.GetSize(), 0);
        locFile.Read(locRead.data(), uint32_t(locRead.size()));
        EXPECT_EQ(locRead, locFiles.at(locName)) << locName;
    }
    QF_SDF::Close(nullptr);

    // Removed and added again, a code page 1252 name is listed again.
    fs::remove(myWork / "in" / "caf\xC3\xA9.txt");
    Select(0);
    Click(IDC_REMOVE_FILES);
    EXPECT_EQ(Entries().size(), 2u);
    myPrompts.Clear();
    OstraneAddPath("in/caf\xE9.txt");
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
    locEntries = Entries();
    EXPECT_EQ(std::count(locEntries.begin(), locEntries.end(), "in/caf\xC3\xA9.txt"), 1) << locEntries.size();
    // It is packed under the name it has on the disk, whatever the list shows.
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_SAVE_SDF);
    EXPECT_EQ(myPrompts.GetBoxes().back(), "SDF created|3 files in SDF");
    ASSERT_TRUE(QF_SDF::OpenByName((myWork / "pairs.SDF").string().c_str(), 1));
    QF_SDFFileRecord locRecord;
    ASSERT_TRUE(QF_SDF::FindFile("in/caf\xE9.txt", &locRecord, 1));
    EXPECT_EQ(locRecord.mySize, strlen("code page 1252"));
    QF_SDF::Close(nullptr);
}

// An archive written elsewhere with two names of one entry: the list shows the
// one readers reach, and extraction names the other and never counts it.
TEST_F(OstraneTest, ExtractionNamesTheEntriesAnotherNameHides)
{
    sdftest::FatSpec locSpec;
    locSpec.myDirs = {{"", {{1, 0}}}, {"docs", {}}};
    locSpec.myFiles = {{1, "Readme.txt", "mixed case"},
                       {1, "README.txt", "upper case"},
                       {0, "caf\xE9.txt", "code page 1252"},
                       {0, "caf\xC3\xA9.txt", "utf-8"},
                       {0, "plain.txt", "plain"}};
    sdftest::WriteBytes(myWork / "pairs.sdf", sdftest::BuildArchive(locSpec));
    Start("pairs.sdf");
    ASSERT_TRUE(myStarted);
    // Table order decides, as it does for every reader: the first of each name.
    EXPECT_EQ(Entries(), (std::vector<std::string>{"caf\xC3\xA9.txt", "docs/Readme.txt", "plain.txt"}));
    EXPECT_EQ(Title(), "Ostrane v0.01 - pairs.sdf (2 entries not shown)");

    // The listed one of a pair, selected alone.
    Select(1);
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"Entries not extracted|These entries share their names with others and "
                                        "cannot be extracted:\ndocs/README.txt, hidden by docs/Readme.txt",
                                        "Extraction complete|1/2 files extracted succesfully"}));
    EXPECT_EQ(locReadFile(myWork / "docs" / "Readme.txt"), "mixed case");
    EXPECT_FALSE(fs::exists(myWork / "docs" / "README.txt"));

    // All of them.
    myPrompts.Clear();
    UI_ListSetSel(ourOstraneDialog, IDC_FILE_LIST, 1, false);
    myPrompts.AnswerBox(OS_ID_OK);
    Click(IDC_EXTRACT_FILES);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{
                  "Are you sure?|Press OK to extract all files from SDF",
                  "Entries not extracted|These entries share their names with others and cannot be extracted:\n"
                  "caf\xC3\xA9.txt, hidden by caf\xC3\xA9.txt (code page 1252)\n"
                  "docs/README.txt, hidden by docs/Readme.txt",
                  "Extraction complete|3/5 files extracted succesfully"}));
    // The file of the UTF-8 name holds the entry that the name reaches.
    EXPECT_EQ(locReadFile(myWork / "caf\xC3\xA9.txt"), "code page 1252");
    EXPECT_EQ(locReadFile(myWork / "plain.txt"), "plain");
}
