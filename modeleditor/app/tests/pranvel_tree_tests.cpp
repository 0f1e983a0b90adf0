// Pranvel's model tree offscreen: the real frame and tree control, the editor
// scene on llvmpipe with a model written by the .qrb test writer, the
// real command handler and .qre files, scripted prompts and dialogs. The
// commands' scene side here is a small stand-in that does what each tested
// command needs (the model's open, state removal, bone distance, emitters).
#include <gtest/gtest.h>

#include "modeleditor/app/pranvel_batch.h"
#include "modeleditor/app/pranvel_filedialog.h"
#include "modeleditor/app/pranvel_frame.h"
#include "modeleditor/app/pranvel_leftview.h"
#include "modeleditor/app/pranvel_modeldlgs.h"
#include "modeleditor/app/pranvel_resource.h"
#include "modeleditor/app/pranvel_scenedlgs.h"
#include "modeleditor/editorerror.h"
#include "modeleditor/lw_writer.h"
#include "modeleditor/qre_commands.h"
#include "modeleditor/templateedit.h"
#include "modeleditor/tests/me_testmodel.h"
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"
#include "qrender/qr_error.h"
#include "qrender/qr_templateobject.h"
#include "qrender/tests/qr_pe_writer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// Set: the model links the emitter "fx/spark" to part 1 in STND.
bool ourWithEmitter = false;

// Four parts in a chain, three states each; part 0 holds a box mesh; a
// point light on part 1 in STND.
QRB_TestModel locModel()
{
    QRB_TestModel m;
    const char* locNames[4] = {"body", "arm", "hand", "finger"};
    for (int p = 0; p < 4; p++)
    {
        QRB_TestPart part;
        part.myName = locNames[p];
        if (p == 0)
        {
            part.myMeshName = "box";
            part.myMesh = QRT_CubeMesh("", 0.5f);
        }
        for (const char* locCode : {"STND", "WALK", "RUNN"})
        {
            QRB_TestState s = QRT_State(StateCodeToId(locCode), QRB_TestPath::Constant({0, 0.5f, 0, 0, 0, 0}));
            s.myParent = p - 1;
            part.myStates.push_back(s);
        }
        part.myStates.erase(part.myStates.begin()); // the writer's default state
        m.myParts.push_back(part);
    }
    QRB_TestLight l;
    l.myPartIndex = 1;
    l.myStateId = StateCodeToId("STND");
    m.myLights.push_back(l);
    if (ourWithEmitter)
    {
        QRB_TestLink k;
        k.myPartIndex = 1;
        k.myName = "fx/spark";
        k.myStateId = StateCodeToId("STND");
        m.myLinks.push_back(k);
    }
    return m;
}

std::string ourDir;
// Set: the next open of a model fails (a reload that does not work).
bool ourFailOpen = false;

// The commands' scene side for these tests.
bool locExecute(QRECommand& aCommand, uint32_t)
{
    QRenderEditor* e = QRenderEditor::ourInstance;
    std::string k = aCommand.GetKeyword();
    if (k == "OPENMODEL")
    {
        if (ourFailOpen || e->IsModelLoaded() ||
            strstr(static_cast<OpenModelCommand&>(aCommand).myFileName.GetBuffer(), "broken"))
        {
            EditorError::Set(EDITOR_ERROR_LOAD_MODEL);
            SetErrorDetail("%s", static_cast<OpenModelCommand&>(aCommand).myFileName.GetBuffer());
            return false;
        }
        QR_TemplateObject* t = MET_LoadModel(locModel(), "fixture.qrb");
        return t && e->SetModel(t, static_cast<OpenModelCommand&>(aCommand).myStateCode);
    }
    if (k == "REMOVEBONESTATE")
    {
        auto& c = static_cast<RemoveBoneStateCommand&>(aCommand);
        QR_TemplatePart* p = e->GetPart(uint16_t(c.myPartIndex));
        return p && uint32_t(c.myJointStateIndex) < p->myNumStates &&
               RemovePartState(p, p->myStates[c.myJointStateIndex].myId);
    }
    if (k == "EDITBONE")
    {
        auto& c = static_cast<EditBoneCommand&>(aCommand);
        if (QR_TemplatePart* p = e->GetPart(uint16_t(c.myPartIndex)))
            p->myMaxDistanceSquared = c.myRemoveDistance;
        return true;
    }
    if (k == "ADDMODELHIERARCHY")
        return false;
    if (k == "REMOVEPARTICLEEMITTOR")
        return e->RemoveParticleEmitter(uint32_t(static_cast<RemoveParticleEmittorCommand&>(aCommand).myEmitterIndex));
    return e->IsModelLoaded() || k == "HALOFILE" || k == "DEFAULTSURFACE" || k == "DEFAULTLODDISTANCE";
}

std::vector<std::string> locLines(const std::string& aPath)
{
    std::ifstream locIn(aPath, std::ios::binary);
    std::vector<std::string> locResult;
    std::string locLine;
    while (std::getline(locIn, locLine))
    {
        if (!locLine.empty() && locLine.back() == '\r')
            locLine.pop_back();
        locResult.push_back(locLine);
    }
    return locResult;
}

std::string locKeyword(const std::string& aLine)
{
    return aLine.substr(0, aLine.find(' '));
}

class PranvelTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::path(Q_TEST_TMP_DIR) / ("tree_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(myDir);
        fs::create_directories(myDir / "tmp");
        fs::current_path(myDir);
        ourDir = myDir.string();
        ourFailOpen = false;
        ourWithEmitter = false;
        setenv("XDG_CONFIG_HOME", (myDir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (myDir / "data").c_str(), 1);
        setenv("TMPDIR", (myDir / "tmp").c_str(), 1);
        UI_SetPromptService(&myPrompts);
        myOldModal = UI_SetModalHook([this](UI_Dialog* d) { OnModal(d); });
        myOldPopup = UI_SetPopupHook([this](const std::vector<int>& anIds) {
            myMenus.push_back(anIds);
            return myPopupAnswer;
        });

        myApp = new CPranvelApp;
        static char ourName[] = "Pranvel";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(myApp->InitInstance(1, ourArgv));
        myFrame = myApp->GetMainFrame()->GetFrame();
        e = QRenderEditor::ourInstance;
        ASSERT_NE(e, nullptr);
        // The stand-in scene side of the commands, in place of the scene's own.
        QRECommand::ourExecuteHook = locExecute;
        CPranvelView* v = myApp->GetMainFrame()->GetView();
        const char* locStates[3][2] = {{"STND", "Standing"}, {"WALK", "Walking"}, {"RUNN", "Running"}};
        for (auto& s : locStates)
        {
            v->GetStateCodes()->Add(QC_String(s[0]));
            v->GetStateNames()->Add(QC_String(s[1]));
        }
        e->myStateCodes = v->GetStateCodes();
        e->myStateNames = v->GetStateNames();
        myLeft = myApp->GetMainFrame()->GetLeftView();
        myPane = myApp->GetMainFrame()->GetTreePane();
        CommandHandler::Get()->Clear();
        CommandHandler::Get()->SetModified(false);
        myPrompts.Clear();
    }
    void TearDown() override
    {
        if (myApp)
        {
            myApp->ExitInstance();
            delete myApp;
        }
        UI_SetModalHook(myOldModal);
        UI_SetPopupHook(myOldPopup);
        QRECommand::ourExecuteHook = nullptr;
        UI_SetPromptService(nullptr);
        UI_ClearQuitMessage();
        fs::current_path(Q_TEST_TMP_DIR);
    }

    // Dialogs are answered by title, in the order scripted; an unscripted one is cancelled.
    void OnModal(UI_Dialog* aDialog)
    {
        std::string locTitle = UI_GetDialogTitle(aDialog);
        myDialogs.push_back(locTitle);
        if (myScript.empty() || myScript.front().first != locTitle)
        {
            UI_EndDialog(aDialog, UI_IDCANCEL);
            return;
        }
        auto locAction = myScript.front().second;
        myScript.erase(myScript.begin());
        locAction(aDialog);
    }
    void Script(const std::string& aTitle, std::function<void(UI_Dialog*)> anAction)
    {
        myScript.push_back({aTitle, anAction});
    }
    // The State Name dialog picks the entry of that index.
    void PickState(int anIndex)
    {
        Script("State Name", [anIndex](UI_Dialog* d) {
            UI_ListClick(d, IDC_STATE_NAME_LIST, anIndex);
            UI_ClickButton(d, UI_IDOK);
        });
    }
    // A model opened as ship.lwo in state STND.
    void OpenShip()
    {
        myPrompts.AnswerFile((myDir / "ship.lwo").string());
        PickState(0);
        ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_OPEN));
        ASSERT_TRUE(e->IsModelLoaded());
    }
    UI_TreeItem Find(const std::string& aText)
    {
        std::vector<UI_TreeItem> locStack = {UI_TreeGetRelated(myPane, IDC_MODEL_TREE, UI_TREE_ROOT, UI_TREE_CHILD)};
        while (!locStack.empty())
        {
            UI_TreeItem i = locStack.back();
            locStack.pop_back();
            if (!i)
                continue;
            std::string t;
            UI_TreeGetText(myPane, IDC_MODEL_TREE, i, &t);
            if (t == aText)
                return i;
            locStack.push_back(UI_TreeGetRelated(myPane, IDC_MODEL_TREE, i, UI_TREE_NEXT));
            locStack.push_back(UI_TreeGetRelated(myPane, IDC_MODEL_TREE, i, UI_TREE_CHILD));
        }
        return 0;
    }
    // Selects an item as a right click on its label does.
    void Select(const std::string& aText)
    {
        UI_TreeItem i = Find(aText);
        ASSERT_NE(i, 0) << aText;
        ASSERT_TRUE(UI_TreeSelect(myPane, IDC_MODEL_TREE, i));
    }
    std::vector<std::string> History()
    {
        std::vector<std::string> locResult;
        QC_ListIterator<QRECommand*> i(&CommandHandler::Get()->GetHistory());
        for (i.First(); !i.IsDone(); i.Next())
        {
            QC_String locLine;
            QRE_FormatCommand(*i.GetCurrent(), locLine, nullptr);
            locResult.push_back(locLine.GetBuffer());
        }
        return locResult;
    }

    fs::path myDir;
    CPranvelApp* myApp = nullptr;
    UI_Frame* myFrame = nullptr;
    UI_Dialog* myPane = nullptr;
    CLeftView* myLeft = nullptr;
    QRenderEditor* e = nullptr;
    UI_ScriptedPrompts myPrompts;
    std::vector<std::pair<std::string, std::function<void(UI_Dialog*)>>> myScript;
    std::vector<std::string> myDialogs;
    std::vector<std::vector<int>> myMenus;
    int myPopupAnswer = 0;
    UI_ModalHook myOldModal;
    UI_PopupHook myOldPopup;
};
} // namespace

TEST_F(PranvelTree, RightClicksSelectOnLabelsOnlyAndShowTheKindsMenu)
{
    OpenShip();
    UI_FrameShow(myFrame);
    QCoreApplication::processEvents();
    std::string locRoot;
    UI_TreeGetText(myPane, IDC_MODEL_TREE, UI_TreeGetRelated(myPane, IDC_MODEL_TREE, UI_TREE_ROOT, UI_TREE_CHILD), &locRoot);
    EXPECT_EQ(locRoot, "fixture.qrb");
    UI_TreeItem locPart = Find("finger");
    ASSERT_NE(locPart, 0);
    UI_TreeExpand(myPane, IDC_MODEL_TREE, Find("fixture.qrb"), true);
    UI_TreeExpand(myPane, IDC_MODEL_TREE, locPart, true);
    UI_TreeItem locState = UI_TreeGetRelated(myPane, IDC_MODEL_TREE, locPart, UI_TREE_CHILD);
    for (int i = 0; i < 2; i++)
        locState = UI_TreeGetRelated(myPane, IDC_MODEL_TREE, locState, UI_TREE_NEXT);
    std::string locText;
    UI_TreeGetText(myPane, IDC_MODEL_TREE, locState, &locText);
    EXPECT_EQ(locText, "State 2 (Running)");
    ASSERT_NE(locState, 0);
    UI_TreeSelect(myPane, IDC_MODEL_TREE, locPart);
    for (int i = 0; i < 20; i++)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    int x, y, w, h;
    EXPECT_TRUE(UI_TreeGetLabelRect(myPane, IDC_MODEL_TREE, locPart, &x, &y, &w, &h));
    EXPECT_TRUE(UI_TreeIsExpanded(myPane, IDC_MODEL_TREE, locPart));
    ASSERT_TRUE(UI_TreeGetLabelRect(myPane, IDC_MODEL_TREE, locState, &x, &y, &w, &h));

    // Beside the label: no menu, the selection stays.
    UI_TreeMouseDown(myPane, IDC_MODEL_TREE, x + w + 40, y + h / 2, true);
    EXPECT_TRUE(myMenus.empty());
    EXPECT_EQ(UI_TreeGetSelection(myPane, IDC_MODEL_TREE), locPart);

    // On the label: selected, menu 140.
    UI_TreeMouseDown(myPane, IDC_MODEL_TREE, x + 2, y + h / 2, true);
    EXPECT_EQ(UI_TreeGetSelection(myPane, IDC_MODEL_TREE), locState);
    ASSERT_EQ(myMenus.size(), 1u);
    EXPECT_EQ(myMenus[0], (std::vector<int>{32792, 32789, 102, 103}));

    // The menu's pick reaches the tree: Remove on state 2 of part 3.
    myPopupAnswer = ID_TREE_REMOVE_STATE;
    UI_TreeMouseDown(myPane, IDC_MODEL_TREE, x + 2, y + h / 2, true);
    EXPECT_EQ(History().back(), "REMOVEBONESTATE 3 2");
    EXPECT_EQ(e->GetPart(3)->myNumStates, 2u);
    EXPECT_EQ(UI_TreeGetRelated(myPane, IDC_MODEL_TREE,
                                UI_TreeGetRelated(myPane, IDC_MODEL_TREE,
                                                  UI_TreeGetRelated(myPane, IDC_MODEL_TREE, Find("finger"), UI_TREE_CHILD),
                                                  UI_TREE_NEXT),
                                UI_TREE_NEXT),
              0);

    // The other kinds' menus.
    int n = 0;
    EXPECT_EQ(PranvelContextMenu(QRE_TREE_ROOT, &n)[1].myId, 32785);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(PranvelContextMenu(QRE_TREE_PART, &n)[5].myId, 189);
    EXPECT_EQ(PranvelContextMenu(QRE_TREE_EMITTER, &n)[2].myId, 173);
    EXPECT_EQ(PranvelContextMenu(QRE_TREE_LIGHT, &n)[1].myId, 32787);
    EXPECT_EQ(PranvelContextMenu(2, &n), nullptr);

    // Keys do not move the selection; the user's expansions are remembered by text.
    QTreeView* locTree = qobject_cast<QTreeView*>(UI_GetControlWidget(myPane, IDC_MODEL_TREE));
    ASSERT_NE(locTree, nullptr);
    UI_TreeItem locBefore = UI_TreeGetSelection(myPane, IDC_MODEL_TREE);
    QTest::keyClick(locTree, Qt::Key_Up);
    QTest::keyClick(locTree, Qt::Key_Home);
    EXPECT_EQ(UI_TreeGetSelection(myPane, IDC_MODEL_TREE), locBefore);
    locTree->collapseAll();
    locTree->expand(locTree->model()->index(0, 0));
    ASSERT_EQ(e->GetExpandedItems().Count(), 1);
    EXPECT_STREQ(e->GetExpandedItems()[0], "fixture.qrb");
}

TEST_F(PranvelTree, OpenedLightWaveModelSavesItsCommandsAndLoadsAgain)
{
    OpenShip();
    EXPECT_EQ(myLeft->GetDocumentPath(), (myDir / "ship.qre").string());
    EXPECT_EQ(History().size(), 4u);
    EXPECT_EQ(History()[3].rfind("OPENMODEL ", 0), 0u);
    // Nothing changed since: Save writes nothing.
    CommandHandler::Get()->SetModified(true);
    ASSERT_TRUE(myLeft->OnFileSave());
    // Only the name is upper-cased.
    ASSERT_TRUE(fs::exists(myDir / "SHIP.QRE"));
    std::vector<std::string> locLines = ::locLines((myDir / "SHIP.QRE").string());
    std::vector<std::string> locKeywords;
    for (const std::string& l : locLines)
        if (!l.empty() && l.rfind("VERSION", 0) != 0)
            locKeywords.push_back(locKeyword(l));
    ASSERT_GE(locKeywords.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(locKeywords.begin(), locKeywords.begin() + 5),
              (std::vector<std::string>{"WORKDIR", "HALOFILE", "DEFAULTSURFACE", "DEFAULTLODDISTANCE", "OPENMODEL"}));

    // Save without changes writes nothing, even when the file is gone.
    fs::remove(myDir / "SHIP.QRE");
    ASSERT_TRUE(myLeft->OnFileSave());
    EXPECT_FALSE(fs::exists(myDir / "SHIP.QRE"));

    // The saved file loads again.
    CommandHandler::Get()->SetModified(true);
    ASSERT_TRUE(myLeft->OnFileSave());
    myLeft->OnFileNew();
    EXPECT_FALSE(e->IsModelLoaded());
    myLeft->OpenQRE((myDir / "SHIP.QRE").c_str(), "SHIP");
    EXPECT_TRUE(e->IsModelLoaded());
    EXPECT_NE(Find("finger"), 0);
    EXPECT_TRUE(myPrompts.GetBoxes().empty()) << myPrompts.GetBoxes()[0];
}

TEST_F(PranvelTree, TheTitleNamesTheFileSaved)
{
    QWidget* locWindow = UI_GetFrameWidget(myFrame);
    auto locTitle = [&] { return locWindow->windowTitle().toStdString(); };
    OpenShip();
    EXPECT_EQ(locTitle(), "ship.qre - Pranvel");
    // A new name is written upper-cased, and the title says so.
    CommandHandler::Get()->SetModified(true);
    ASSERT_TRUE(myLeft->OnFileSave());
    EXPECT_TRUE(fs::exists(myDir / "SHIP.QRE"));
    EXPECT_EQ(locTitle(), "SHIP.QRE - Pranvel");
    EXPECT_EQ(myLeft->GetDocumentPath(), (myDir / "SHIP.QRE").string());
    myLeft->OnFileNew();
    EXPECT_EQ(locTitle(), "Untitled - Pranvel");
    myLeft->OpenQRE((myDir / "SHIP.QRE").c_str(), "SHIP");
    EXPECT_EQ(locTitle(), "SHIP.QRE - Pranvel");

    // A name that exists in another case is written under its own spelling; so is Save As's.
    myLeft->OnFileNew();
    fs::remove(myDir / "SHIP.QRE");
    std::ofstream(myDir / "Ship.qre") << "old";
    OpenShip();
    CommandHandler::Get()->SetModified(true);
    ASSERT_TRUE(myLeft->OnFileSave());
    EXPECT_FALSE(fs::exists(myDir / "SHIP.QRE"));
    EXPECT_GT(locLines((myDir / "Ship.qre").string()).size(), 3u);
    EXPECT_EQ(locTitle(), "Ship.qre - Pranvel");
    std::ofstream(myDir / "Other.QRE") << "old";
    myPrompts.AnswerFile((myDir / "other").string());
    ASSERT_TRUE(myLeft->OnFileSaveAs());
    EXPECT_GT(locLines((myDir / "Other.QRE").string()).size(), 3u);
    EXPECT_EQ(locTitle(), "Other.QRE - Pranvel");
    EXPECT_TRUE(myPrompts.GetBoxes().empty()) << myPrompts.GetBoxes()[0];
    // A failed Save As says so and still renames the document, so Save tries that name again.
    std::ofstream(myDir / "afile") << "x";
    myPrompts.AnswerFile((myDir / "afile" / "blocked").string());
    EXPECT_FALSE(myLeft->OnFileSaveAs());
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0].rfind("Pranvel|Failed to save file.", 0), 0u) << myPrompts.GetBoxes()[0];
    EXPECT_EQ(myLeft->GetDocumentPath(), (myDir / "afile" / "blocked.qre").string());
    EXPECT_EQ(locTitle(), "blocked.qre - Pranvel");
}

TEST_F(PranvelTree, AQREWhoseModelFailsNamesItsOwnCause)
{
    // A renderer code left by an earlier failure (the statistics font's) is not this one's.
    std::ofstream(myDir / "bad.qre", std::ios::binary)
        << "VERSION_NUMBER 7\r\nOPENMODEL \"broken.lwo\" \"broken\" \"STND\"\r\n";
    QR_Error::SetCode(QR_ERROR_IMAGE_FORMAT);
    myPrompts.Clear();
    myLeft->OpenQRE((myDir / "bad.qre").c_str(), "bad");
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0].rfind("Pranvel|Error: ", 0), 0u) << myPrompts.GetBoxes()[0];
    EXPECT_NE(myPrompts.GetBoxes()[0].find("broken.lwo"), std::string::npos) << myPrompts.GetBoxes()[0];
}

TEST_F(PranvelTree, SaveAsNamesAndExportAnswers)
{
    EXPECT_EQ(CLeftView::QREName("c:\\work\\out\\model.old.txt"), "c:/work/out/model.old.qre");
    EXPECT_EQ(CLeftView::QREName("c:\\work\\out.d\\model"), "c:/work/out.d/model.qre");
    EXPECT_EQ(CLeftView::CutExtension("a.b/c"), "a.b/c");

    OpenShip();
    fs::create_directories(myDir / "out.d");
    myPrompts.AnswerFile((myDir / "out.d" / "model").string());
    ASSERT_TRUE(myLeft->OnFileSaveAs());
    EXPECT_TRUE(fs::exists(myDir / "out.d" / "model.qre"));
    EXPECT_EQ(myLeft->GetDocumentPath(), (myDir / "out.d" / "model.qre").string());

    // Export over an existing .qre: No writes only the .qrb.
    std::ofstream(myDir / "exp.qre") << "keep";
    CommandHandler::Get()->SetModified(true);
    myPrompts.AnswerFile((myDir / "exp.qrb").string());
    myPrompts.AnswerBox(OS_ID_NO);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    EXPECT_EQ(locLines((myDir / "exp.qre").string()), std::vector<std::string>{"keep"});
    EXPECT_TRUE(fs::exists(myDir / "exp.qrb"));
    // The renderer reads what was exported.
    QR_TemplateObject* t = QR_TemplateObject::Acquire((myDir / "exp.qrb").c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->myNumParts, 4u);
    t->Release();
    // Cancel writes nothing and says so; the document's changes stay unsaved.
    fs::remove(myDir / "exp.qrb");
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "exp.qrb").string());
    myPrompts.AnswerBox(OS_ID_CANCEL);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    EXPECT_FALSE(fs::exists(myDir / "exp.qrb"));
    ASSERT_EQ(myPrompts.GetBoxes().size(), 2u) << myPrompts.GetBoxes()[0] << myPrompts.myQuestions.size();
    EXPECT_EQ(myPrompts.GetBoxes()[1], "Pranvel|No QRE or QRB file saved.");
    // Yes writes both; a failed .qre write is reported (mended).
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "exp.qrb").string());
    myPrompts.AnswerBox(OS_ID_YES);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    EXPECT_GT(locLines((myDir / "exp.qre").string()).size(), 3u);
    EXPECT_TRUE(fs::exists(myDir / "exp.qrb"));
    EXPECT_FALSE(CommandHandler::Get()->IsModified());
    CommandHandler::Get()->SetModified(true);
    myPrompts.Clear();
    std::ofstream(myDir / "afile") << "x";
    myPrompts.AnswerFile((myDir / "afile" / "blocked.qrb").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    EXPECT_EQ(myPrompts.GetBoxes(),
              (std::vector<std::string>{"Pranvel|Failed to save file.\n" + (myDir / "afile" / "blocked.qre").string() +
                                            ": Not a directory",
                                        "Pranvel|Failed to export QRB.\ncannot write " +
                                            (myDir / "afile" / "blocked.qrb").string() + " (Not a directory)"}));
}

TEST_F(PranvelTree, ExportSavesTheHistorySoNothingAsksAgain)
{
    // An edit, then Export: the .qre written beside the .qrb holds the history, so neither
    // Open nor closing asks about unsaved changes, and no second .qre appears beside the
    // LightWave file.
    OpenShip();
    Select("finger");
    Script("Edit bone/joint", [](UI_Dialog* d) {
        UI_SetControlText(d, IDC_BONE_REMOVE_DISTANCE, "2.0");
        UI_ClickButton(d, UI_IDOK);
    });
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_BONE));
    ASSERT_TRUE(CommandHandler::Get()->IsModified());
    fs::create_directories(myDir / "export");
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "export" / "ship.qrb").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    EXPECT_TRUE(myPrompts.GetBoxes().empty()) << testing::PrintToString(myPrompts.GetBoxes());
    EXPECT_TRUE(fs::exists(myDir / "export" / "ship.qrb"));
    std::vector<std::string> locSaved = locLines((myDir / "export" / "ship.qre").string());
    EXPECT_NE(std::find_if(locSaved.begin(), locSaved.end(),
                           [](const std::string& l) { return locKeyword(l) == "EDITBONE"; }),
              locSaved.end());
    EXPECT_FALSE(CommandHandler::Get()->IsModified());
    // The document keeps its name.
    EXPECT_EQ(myLeft->GetDocumentPath(), (myDir / "ship.qre").string());

    // Open asks nothing before its file dialog (cancelled here).
    myPrompts.Clear();
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_OPEN));
    EXPECT_TRUE(myPrompts.GetBoxes().empty()) << testing::PrintToString(myPrompts.GetBoxes());
    EXPECT_TRUE(e->IsModelLoaded());

    // An export whose .qre is not written (answered No) leaves the edits unsaved.
    CommandHandler::Get()->SetModified(true);
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "export" / "ship.qrb").string());
    myPrompts.AnswerBox(OS_ID_NO);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    EXPECT_TRUE(CommandHandler::Get()->IsModified());
    // One that fails to write it too.
    std::ofstream(myDir / "afile") << "x";
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "afile" / "blocked.qrb").string());
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    EXPECT_EQ(myPrompts.GetBoxes().size(), 2u);
    EXPECT_TRUE(CommandHandler::Get()->IsModified());

    // Exported again over the earlier .qre, then closed: no question at all.
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "export" / "ship.qrb").string());
    myPrompts.AnswerBox(OS_ID_YES);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_FILE_QRB_EXPORT));
    ASSERT_EQ(myPrompts.myQuestions.size(), 2u); // the file and the overwrite question
    myPrompts.Clear();
    EXPECT_TRUE(UI_FrameClose(myFrame));
    EXPECT_TRUE(myPrompts.myQuestions.empty()) << testing::PrintToString(myPrompts.GetBoxes());
    for (const auto& f : fs::directory_iterator(myDir))
        EXPECT_NE(f.path().extension(), ".QRE") << f.path();
    EXPECT_FALSE(fs::exists(myDir / "ship.qre"));
}

TEST_F(PranvelTree, RefreshKeepsHistoryAndFlagAndLeavesNoFile)
{
    OpenShip();
    Select("finger");
    Script("Edit bone/joint", [](UI_Dialog* d) {
        UI_SetControlText(d, IDC_BONE_REMOVE_DISTANCE, "2.0");
        UI_ClickButton(d, UI_IDOK);
    });
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_BONE));
    std::vector<std::string> locBefore = History();
    ASSERT_TRUE(CommandHandler::Get()->IsModified());
    myLeft->OnRefresh();
    EXPECT_TRUE(fs::is_empty(myDir / "tmp"));
    EXPECT_TRUE(e->IsModelLoaded());
    EXPECT_TRUE(CommandHandler::Get()->IsModified());
    // The reloaded history is what was saved (a WORKDIR line leads it now).
    std::vector<std::string> locAfter = History();
    EXPECT_EQ(locAfter, locBefore);

    // A reload that fails keeps the file, named in the message.
    ourFailOpen = true;
    myLeft->OnRefresh();
    std::vector<fs::path> locKept;
    for (auto& f : fs::directory_iterator(myDir / "tmp"))
        locKept.push_back(f.path());
    ASSERT_EQ(locKept.size(), 1u);
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_NE(myPrompts.GetBoxes()[0].find(locKept[0].string()), std::string::npos);
    EXPECT_NE(myPrompts.GetBoxes()[0].find("Error: "), std::string::npos);
}

TEST_F(PranvelTree, RefreshKeepsTheUsersExpansionModelItemIncluded)
{
    OpenShip();
    QTreeView* locView = qobject_cast<QTreeView*>(UI_GetControlWidget(myPane, IDC_MODEL_TREE));
    ASSERT_NE(locView, nullptr);
    auto locExpanded = [&]() {
        std::vector<std::string> locTexts;
        for (const char* t : {"fixture.qrb", "body", "arm", "hand", "finger"})
            if (UI_TreeIsExpanded(myPane, IDC_MODEL_TREE, Find(t)))
                locTexts.push_back(t);
        return locTexts;
    };
    // Opened in the view, as the user's clicks open them.
    QModelIndex locModel = locView->model()->index(0, 0);
    locView->expand(locModel);
    locView->expand(locView->model()->index(1, 0, locModel));
    locView->expand(locView->model()->index(3, 0, locModel));
    std::vector<std::string> locBefore = {"fixture.qrb", "arm", "finger"};
    ASSERT_EQ(locExpanded(), locBefore);

    for (int i = 0; i < 2; i++)
    {
        ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_MODEL_REFRESH));
        ASSERT_TRUE(e->IsModelLoaded());
        EXPECT_EQ(locExpanded(), locBefore) << i;
        // The view shows the parts, not the model's line alone.
        EXPECT_FALSE(locView->visualRect(locView->model()->index(3, 0, locView->model()->index(0, 0))).isEmpty());
    }
}

TEST_F(PranvelTree, OpensAskFirstAndKeepTheModelWhenCancelled)
{
    OpenShip();
    Select("finger");
    Script("Edit bone/joint", [](UI_Dialog* d) {
        UI_SetControlText(d, IDC_BONE_REMOVE_DISTANCE, "3");
        UI_ClickButton(d, UI_IDOK);
    });
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_BONE));
    size_t locCount = History().size();

    // Open: No to the question, then the file dialog cancelled: model and history kept.
    myPrompts.AnswerBox(OS_ID_NO);
    myPrompts.AnswerCancel();
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, UI_ID_FILE_OPEN));
    EXPECT_TRUE(e->IsModelLoaded());
    EXPECT_EQ(History().size(), locCount);
    EXPECT_EQ(myPrompts.GetBoxes()[0],
              "Pranvel|You have made unsaved changes to this model.\n\nDo you want to save the changes?");

    // A recent-file open of a .lwo asks too; Cancel changes nothing.
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_CANCEL);
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, (myDir / "boat.lwo").c_str()));
    EXPECT_EQ(History().size(), locCount);
    EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);

    // Yes with a save that fails stops the open.
    std::ofstream(myDir / "afile") << "x";
    myLeft->SetDocument((myDir / "afile" / "x.qre").c_str(), "x");
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_YES);
    EXPECT_FALSE(UI_FrameOpenDocument(myFrame, (myDir / "boat.lwo").c_str()));
    EXPECT_EQ(History().size(), locCount);
    ASSERT_EQ(myPrompts.GetBoxes().size(), 2u);
    EXPECT_EQ(myPrompts.GetBoxes()[1],
              "Pranvel|Failed to save file.\n" + (myDir / "afile" / "X.QRE").string() + ": Not a directory");

    // No: the .lwo opens with a history of its own (one OPENMODEL).
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_NO);
    PickState(1);
    EXPECT_TRUE(UI_FrameOpenDocument(myFrame, (myDir / "boat.lwo").c_str()));
    std::vector<std::string> locHistory = History();
    ASSERT_EQ(locHistory.size(), 4u);
    EXPECT_EQ(locKeyword(locHistory[3]), "OPENMODEL");
    EXPECT_NE(locHistory[3].find("\"WALK\""), std::string::npos);
    EXPECT_EQ(myLeft->GetDocumentPath(), (myDir / "boat.qre").string());

    // Exit asks as well.
    CommandHandler::Get()->SetModified(true);
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_CANCEL);
    EXPECT_FALSE(UI_FrameDoCommand(myFrame, UI_ID_APP_EXIT));
    EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);
    int locExit = 0;
    EXPECT_FALSE(UI_PeekQuitMessage(&locExit));
}

TEST_F(PranvelTree, TreeCommandsRecordTheirLines)
{
    OpenShip();
    // Edit joint/bone: 2.0 stores 4, 0 stores 1.0e15 and shows -1.0 again.
    Select("finger");
    Script("Edit bone/joint", [](UI_Dialog* d) {
        UI_SetControlText(d, IDC_BONE_REMOVE_DISTANCE, "2.0");
        UI_ClickButton(d, UI_IDOK);
    });
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_BONE));
    EXPECT_EQ(History().back(), "EDITBONE 3 4.000 0");
    Select("finger");
    Script("Edit bone/joint", [](UI_Dialog* d) {
        std::string t;
        UI_GetControlText(d, IDC_BONE_REMOVE_DISTANCE, &t);
        EXPECT_EQ(t, "2.0");
        UI_SetControlText(d, IDC_BONE_REMOVE_DISTANCE, "0");
        UI_ClickButton(d, IDC_BONE_ALL_CHILDREN);
    });
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_BONE));
    EXPECT_EQ(History().back(), "EDITBONE 3 999999986991104.000 1");
    Select("finger");
    Script("Edit bone/joint", [](UI_Dialog* d) {
        std::string t;
        UI_GetControlText(d, IDC_BONE_REMOVE_DISTANCE, &t);
        EXPECT_EQ(t, "-1.0");
        UI_SetControlText(d, IDC_BONE_REMOVE_DISTANCE, ""); // stays open: cancelled by the script's end
    });
    size_t locCount = History().size();
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_BONE));
    EXPECT_EQ(History().size(), locCount);

    // Add Hierarchy: a .QRE asks no state; a .lwo asks and its cancel changes nothing.
    UI_FrameUpdateCommands(myFrame);
    Select("arm");
    myDialogs.clear();
    myPrompts.AnswerFile((myDir / "Arm.QRE").string());
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_ADD_HIERARCHY));
    EXPECT_TRUE(myDialogs.empty());
    EXPECT_EQ(locKeyword(History().back()), "ADDQREHIERARCHY");
    EXPECT_NE(History().back().find("\"arm\""), std::string::npos);
    locCount = History().size();
    Select("arm");
    myPrompts.AnswerFile((myDir / "arm.lwo").string());
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_ADD_HIERARCHY));
    EXPECT_EQ(myDialogs, std::vector<std::string>{"State Name"});
    EXPECT_EQ(History().size(), locCount);
    // A failing command shows its text and records nothing.
    Select("arm");
    myPrompts.Clear();
    myPrompts.AnswerFile((myDir / "arm.lwo").string());
    myPrompts.AnswerBox(OS_ID_YES); // STND is in use: chosen all the same
    PickState(0);
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_ADD_HIERARCHY));
    ASSERT_FALSE(myPrompts.GetBoxes().empty());
    EXPECT_EQ(myPrompts.GetBoxes()[0], "Pranvel|State name may be in use. Are you sure?");
    EXPECT_EQ(myPrompts.GetBoxes(), (std::vector<std::string>{"Pranvel|State name may be in use. Are you sure?",
                                                               "Pranvel|Could not add new hierarchy."}));
    EXPECT_EQ(History().size(), locCount);
    // Removing the last state of a part fails with its text.
    for (int i = 0; i < 2; i++)
    {
        UI_TreeSelect(myPane, IDC_MODEL_TREE, UI_TreeGetRelated(myPane, IDC_MODEL_TREE, Find("finger"), UI_TREE_CHILD));
        ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_REMOVE_STATE));
    }
    EXPECT_EQ(History().back(), "REMOVEBONESTATE 3 0");
    myPrompts.Clear();
    UI_TreeSelect(myPane, IDC_MODEL_TREE, UI_TreeGetRelated(myPane, IDC_MODEL_TREE, Find("finger"), UI_TREE_CHILD));
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_REMOVE_STATE));
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Pranvel|Could not remove state."});

    // Edit position/orientation: degrees shown, radians recorded.
    UI_TreeExpand(myPane, IDC_MODEL_TREE, Find("hand"), true);
    UI_TreeItem locHand = Find("hand");
    UI_TreeSelect(myPane, IDC_MODEL_TREE, UI_TreeGetRelated(myPane, IDC_MODEL_TREE, locHand, UI_TREE_CHILD));
    Script("Edit position and orientation", [](UI_Dialog* d) {
        std::string t;
        UI_GetControlText(d, IDC_NULL_Y, &t);
        EXPECT_EQ(t, "0.500");
        UI_SetControlText(d, IDC_NULL_HEADING, "90");
        UI_ClickButton(d, UI_IDOK);
    });
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_POSITION));
    EXPECT_EQ(History().back(), "EDITPOSITIONORIENTATION \"hand\" \"STND\" 0.000 0.500 0.000 1.571 0.000 0.000");

    // The statistics need a model; the tree's numbers.
    uint32_t locStats[10];
    CLeftView::GatherStats(locStats);
    EXPECT_EQ(locStats[0], 24u); // the box's vertices
    EXPECT_EQ(locStats[1], 24u); // both windings
    EXPECT_EQ(locStats[2], 3u);  // parts with a parent
    EXPECT_EQ(CLodStatsDlg::TextureMegabytes(1572864), 1.5f);
    CommandHandler::Get()->SetModified(false);
    myLeft->OnFileNew();
    myPrompts.Clear();
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_VIEW_STATS));
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Pranvel|No model loaded."});
}

TEST_F(PranvelTree, DialogEdgeCases)
{
    // Edit Bone State: "1,5" is 1.5; "LAST" -2, "none" -1; names checked.
    QR_TemplatePart locPart;
    locPart.myNumStates = 2;
    locPart.myStates = new QR_TemplateState[2];
    locPart.myStates[0].myId = StateCodeToId("STND");
    locPart.myStates[1].myId = StateCodeToId("WALK");
    CPranvelView* v = myApp->GetMainFrame()->GetView();
    {
        CEditBoneStateDlg d(v->GetStateCodes(), v->GetStateNames(), &locPart, 0, 1);
        Script("Edit Bone State", [](UI_Dialog* x) {
            UI_SetControlText(x, IDC_BONESTATE_INTERPOLATION, "1,5");
            EXPECT_EQ(UI_ComboGetCurSel(x, IDC_BONESTATE_NAME), 1);
            UI_ComboPick(x, IDC_BONESTATE_NEXT, 1); // LAST
            UI_ClickButton(x, UI_IDOK);
        });
        ASSERT_EQ(d.DoModal(nullptr), UI_IDOK);
        EXPECT_EQ(d.myInterpolationTime, 1.5f);
        EXPECT_EQ(d.myNextState, -2);
        EXPECT_STREQ(d.myStateCode, "WALK");
    }
    {
        CEditBoneStateDlg d(v->GetStateCodes(), v->GetStateNames(), &locPart, 0, 0);
        Script("Edit Bone State", [](UI_Dialog* x) {
            UI_ComboPick(x, IDC_BONESTATE_NEXT, 3); // the part's second state, "Walking"
            UI_ClickButton(x, UI_IDOK);
        });
        ASSERT_EQ(d.DoModal(nullptr), UI_IDOK);
        EXPECT_EQ(d.myNextState, 1);
    }
    {
        // A state name missing from the list is refused and the dialog stays.
        CEditBoneStateDlg d(v->GetStateCodes(), v->GetStateNames(), &locPart, 0, 0);
        Script("Edit Bone State", [](UI_Dialog* x) {
            UI_ComboSetCurSel(x, IDC_BONESTATE_NAME, -1);
            UI_ClickButton(x, UI_IDOK);
        });
        EXPECT_EQ(d.DoModal(nullptr), UI_IDCANCEL);
        EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Pranvel|Invalid state name!"});
    }
    // Edit Object: a field left empty keeps it open.
    {
        CEditObjectDlg d;
        d.myRadius = 2.5f;
        Script("Edit Object", [](UI_Dialog* x) {
            std::string t;
            UI_GetControlText(x, IDC_OBJECT_RADIUS, &t);
            EXPECT_EQ(t, "2.500");
            UI_SetControlText(x, IDC_OBJECT_CENTRE_Y, "");
            UI_ClickButton(x, UI_IDOK);
        });
        EXPECT_EQ(d.DoModal(nullptr), UI_IDCANCEL);
    }
    // Light properties: OK only; Escape cancels.
    {
        CEditLightPropertiesDlg d(nullptr, "");
        Script("Light properties", [](UI_Dialog* x) {
            EXPECT_FALSE(UI_HasControl(x, UI_IDCANCEL));
            UI_SetControlText(x, IDC_LIGHT_DEPTH_FUDGE, "0,25");
            UI_ClickButton(x, UI_IDOK);
        });
        ASSERT_EQ(d.DoModal(nullptr), UI_IDOK);
        EXPECT_EQ(d.myDepthFudge, 0.25f);
        EXPECT_TRUE(d.myHaloTexture.IsEmpty());
    }
    // Add State Partial: the chosen parts in list order.
    {
        AddStatePartialDlg d;
        d.myPartNames = {"body", "arm", "hand"};
        Script("Add State Partial", [](UI_Dialog* x) {
            UI_ListSetSel(x, IDC_PARTIAL_PARTS, 2, true);
            UI_ListSetSel(x, IDC_PARTIAL_PARTS, 0, true);
            UI_ClickButton(x, UI_IDOK);
        });
        ASSERT_EQ(d.DoModal(nullptr), UI_IDOK);
        ASSERT_EQ(d.mySelectedNames.myCount, 2);
    }
    // The folder browser's status text.
    std::string locForty(40, 'a');
    EXPECT_EQ(CFolderBrowser::StatusText(locForty.c_str()), "..." + std::string(35, 'a'));
    std::string locThirtyFive(35, 'b');
    EXPECT_EQ(CFolderBrowser::StatusText(locThirtyFive.c_str()), locThirtyFive);
    // Cancelling the chooser leaves the caller's text.
    CFolderBrowser locBrowser(0, nullptr, "/start");
    myPrompts.AnswerChooserCancel(UI_ScriptedPrompts::FOLDER_DIALOG);
    EXPECT_EQ(locBrowser.Browse(), 0);
    EXPECT_TRUE(locBrowser.GetSelectedPath().empty());
    myPrompts.AnswerFolder("/chosen");
    EXPECT_EQ(locBrowser.Browse(), 1);
    EXPECT_EQ(locBrowser.GetSelectedPath(), "/chosen");
}

// The options' Browse opens the real folder chooser; its status line shows the
// folder the user enters or clicks, cut to its last 35 characters.
TEST_F(PranvelTree, TheFolderBrowsersStatusFollowsTheSelection)
{
    fs::path locOuter = myDir / "a_folder_with_a_rather_long_name";
    fs::path locInner = locOuter / "and_a_child_folder";
    fs::create_directories(locInner);
    UI_SetPromptService(nullptr);
    UI_SetDefaultPromptsInteractive(true);
    std::vector<std::string> locShown;
    QTimer locDriver;
    QObject::connect(&locDriver, &QTimer::timeout, [&]() {
        QFileDialog* locDialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (QFileDialog* f = qobject_cast<QFileDialog*>(w); f && f->isVisible())
                locDialog = f;
        if (!locDialog)
            return;
        QLabel* locStatus = nullptr;
        for (QLabel* l : locDialog->findChildren<QLabel*>())
            if (l->text().startsWith("..."))
                locStatus = l;
        QListView* locView = locDialog->findChild<QListView*>("listView");
        QFileSystemModel* locModel = locDialog->findChild<QFileSystemModel*>();
        QAbstractButton* locParent = locDialog->findChild<QAbstractButton*>("toParentButton");
        if (locStatus && locView && locModel && locParent)
        {
            locShown.push_back(locStatus->text().toStdString());
            locParent->click();
            locShown.push_back(locStatus->text().toStdString());
            QModelIndex i = locModel->index(QString::fromStdString(locInner.string()));
            locView->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            locShown.push_back(locStatus->text().toStdString());
            static_cast<QDialog*>(locDialog)->accept();
        }
        else
            locDialog->reject();
    });
    locDriver.start(20);
    std::string locField;
    Script("Options", [&](UI_Dialog* d) {
        UI_SetControlText(d, IDC_OPT_WORKDIR, locInner.c_str());
        UI_ClickButton(d, IDC_OPT_WORKDIR_BROWSE);
        UI_GetControlText(d, IDC_OPT_WORKDIR, &locField);
        UI_ClickButton(d, UI_IDCANCEL);
    });
    COptionsDlg locOptions;
    locOptions.DoModal(nullptr);
    locDriver.stop();
    UI_SetDefaultPromptsInteractive(false);
    UI_SetPromptService(&myPrompts);
    EXPECT_EQ(locShown, (std::vector<std::string>{CFolderBrowser::StatusText(locInner.c_str()),
                                                  CFolderBrowser::StatusText(locOuter.c_str()),
                                                  CFolderBrowser::StatusText(locInner.c_str())}));
    EXPECT_EQ(locShown[1], "..." + locOuter.string().substr(locOuter.string().size() - 35));
    EXPECT_EQ(locField, locInner.string());
}

TEST_F(PranvelTree, CheckLwsListsTheKeyCheck)
{
    std::vector<std::vector<LWTextKey>> locChannels(9, std::vector<LWTextKey>(1));
    LWTextKey k;
    locChannels[0].clear();
    for (int i = 0; i < 3; i++)
    {
        k.myTime = float(i);
        locChannels[0].push_back(k);
    }
    locChannels[3].push_back(k);
    locChannels[3][1].myTime = 2.0f;
    LWSceneText locScene;
    locScene.SceneHeader().Line("LoadObjectLayer 1 crate.lwo").Line("ObjectMotion").Envelope(locChannels, true);
    ASSERT_TRUE(locScene.Save((myDir / "check.lws").c_str()));
    OpenShip();
    myPrompts.AnswerFile((myDir / "check.lws").string());
    std::vector<std::string> locShown;
    float locHeading = e->GetCameraHeading();
    Script("Errors in LWS", [&locShown](UI_Dialog* d) {
        // Mouse moves over the list's dialog turn the model's camera.
        for (int x : {10, 20, 40})
            UI_DialogMouseMove(d, x, 5, UI_MK_LBUTTON);
        for (int i = 0; i < UI_ListGetCount(d, IDC_LWS_ERROR_LIST); i++)
        {
            std::string t;
            UI_ListGetText(d, IDC_LWS_ERROR_LIST, i, &t);
            locShown.push_back(t);
        }
        UI_ClickButton(d, UI_IDOK);
    });
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_TOOLS_CHECK_LWS));
    EXPECT_NE(e->GetCameraHeading(), locHeading);
    ASSERT_EQ(locShown.size(), 1u);
    EXPECT_EQ(locShown[0], "Obj: 1 crate.lwo, channel: X, key: 2 (time: 1.000, frame: 20) doesn't exist in channel H");
}

namespace
{
// A worker's load waits here until the user-interface thread pressed Abort.
std::atomic<int> ourGate{0}; // 1 armed, 2 a load waits, 3 released

bool locGatedExecute(QRECommand& aCommand, uint32_t aVersion)
{
    if (std::string(aCommand.GetKeyword()) == "OPENMODEL" && ourGate == 1)
    {
        ourGate = 2;
        for (int i = 0; i < 1000 && ourGate != 3; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return locExecute(aCommand, aVersion);
}

std::vector<std::string> locListLines(UI_Dialog* aDialog)
{
    std::vector<std::string> locLines;
    for (int i = 0; i < UI_ListGetCount(aDialog, IDC_BATCH_LIST); i++)
    {
        std::string t;
        UI_ListGetText(aDialog, IDC_BATCH_LIST, i, &t);
        locLines.push_back(t);
    }
    return locLines;
}

void locWaitWhile(const std::function<bool()>& aCondition)
{
    QElapsedTimer locTimer;
    locTimer.start();
    while (aCondition() && locTimer.elapsed() < 20000)
    {
        UI_DispatchMessages(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
} // namespace

TEST_F(PranvelTree, BatchConvertsAFolderTreeOnTheWorker)
{
    EXPECT_TRUE(CBatchConversionDlg::IsConvertible("Model.QRE"));
    EXPECT_TRUE(CBatchConversionDlg::IsConvertible("model.qre"));
    EXPECT_FALSE(CBatchConversionDlg::IsConvertible("_test.qre"));
    EXPECT_FALSE(CBatchConversionDlg::IsConvertible("copy of model.qre"));
    EXPECT_FALSE(CBatchConversionDlg::IsConvertible("model.qre.bak"));
    EXPECT_FALSE(CBatchConversionDlg::IsConvertible("model.qr"));
    EXPECT_EQ(CBatchConversionDlg::QRBPath("/d/a.qre/b.QrE"), "/d/a.qre/b.qrb");

    // A loadable history, saved under every name of the tree.
    OpenShip();
    fs::path r = myDir / "tree";
    for (const char* d : {"sub/deep", "a.qre", "empty"})
        fs::create_directories(r / d);
    for (const char* f : {"good.qre", "Model.QRE", "sub/b.qre", "sub/deep/c.qre", "a.qre/b.qre", "_x.qre",
                          "Copy of x.qre", "x.qre.bak"})
        ASSERT_TRUE(SaveQRE(*CommandHandler::Get(), QC_String((r / f).c_str())));
    // Unloadable: its model does not open. Odd: a line the loader asks about.
    {
        std::ifstream locIn(r / "good.qre", std::ios::binary);
        std::string locText((std::istreambuf_iterator<char>(locIn)), {});
        size_t locAt = locText.find("ship.lwo");
        ASSERT_NE(locAt, std::string::npos);
        std::ofstream(r / "sub" / "bad.qre", std::ios::binary) << locText.replace(locAt, 4, "broken");
        std::ofstream(r / "sub" / "odd.qre", std::ios::binary) << "VERSION 7\r\nBOGUS 1 2\r\n";
    }
    fs::create_directory_symlink(r, r / "sub" / "loop");
    fs::create_directories(myDir / "data" / "pranvel");
    std::ofstream(myDir / "data" / "pranvel" / "qre_batchconversion_errors.txt") << "earlier\n";
    CommandHandler::Get()->SetModified(false);

    myPrompts.Clear();
    myPrompts.AnswerFolder(r.string());
    // The loader's messages about the odd file, asked from the worker.
    myPrompts.AnswerBox(OS_ID_OK);
    myPrompts.AnswerBox(OS_ID_OK);
    std::vector<std::string> locLines;
    bool locCloseRefused = false;
    Script("Dialog", [&](UI_Dialog* d) {
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_BATCH_ABORT));
        UI_ClickButton(d, IDC_BATCH_START);
        EXPECT_TRUE(UI_IsControlEnabled(d, IDC_BATCH_ABORT));
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_BATCH_CLOSE));
        // Escape and the close box are refused while the worker runs.
        QWidget* w = UI_GetDialogWidget(d);
        QTest::keyClick(w, Qt::Key_Escape);
        w->close();
        UI_DispatchMessages(false);
        locCloseRefused = UI_GetDialogWidget(d) != nullptr && CPranvelView::ourBatchBusyFlag;
        locWaitWhile([] { return CPranvelView::ourBatchBusyFlag.load(); });
        EXPECT_TRUE(UI_IsControlEnabled(d, IDC_BATCH_CLOSE));
        locLines = locListLines(d);
        UI_ClickButton(d, IDC_BATCH_CLOSE);
    });
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_TOOLS_BATCH_CONVERSION));
    EXPECT_TRUE(locCloseRefused);
    EXPECT_EQ(myDialogs.back(), "Dialog");

    // Five converted with four lines each, the bad and the odd one with three.
    int locLoading = 0, locOk = 0;
    std::vector<std::string> locFailed;
    for (size_t i = 0; i < locLines.size(); i++)
    {
        if (locLines[i].rfind("Loading: ", 0) == 0)
            locLoading++;
        if (locLines[i] == "Conversion successful")
            locOk++;
        if (locLines[i] == "Conversion failed (couldn't load qre)")
            locFailed.push_back(locLines[i - 1]);
    }
    EXPECT_EQ(locLoading, 7);
    EXPECT_EQ(locOk, 5);
    std::sort(locFailed.begin(), locFailed.end());
    EXPECT_EQ(locFailed, (std::vector<std::string>{"Loading: " + (r / "sub" / "bad.qre").string(),
                                                   "Loading: " + (r / "sub" / "odd.qre").string()}));
    EXPECT_EQ(locLines.size(), 5u * 4 + 2 * 3);
    for (const char* f : {"good.qrb", "Model.qrb", "sub/b.qrb", "sub/deep/c.qrb", "a.qre/b.qrb"})
    {
        ASSERT_TRUE(fs::exists(r / f)) << f;
        QR_TemplateObject* t = QR_TemplateObject::Acquire((r / f).c_str());
        ASSERT_NE(t, nullptr) << f;
        EXPECT_EQ(t->myNumParts, 4u);
        t->Release();
    }
    for (const char* f : {"_x.qrb", "Copy of x.qrb", "x.qrb.bak", "a.qrb", "sub/odd.qrb", "sub/bad.qrb"})
        EXPECT_FALSE(fs::exists(r / f)) << f;
    std::vector<std::string> locLog = ::locLines((myDir / "data" / "pranvel" / "qre_batchconversion_errors.txt").string());
    ASSERT_EQ(locLog.size(), 3u);
    EXPECT_EQ(locLog[0], "earlier");
    std::sort(locLog.begin() + 1, locLog.end());
    EXPECT_EQ(locLog[1], "Failed to load " + (r / "sub" / "bad.qre").string());
    EXPECT_EQ(locLog[2], "Failed to load " + (r / "sub" / "odd.qre").string());
    std::vector<std::string> locBoxes = myPrompts.GetBoxes();
    ASSERT_GE(locBoxes.size(), 1u);
    for (const std::string& b : locBoxes)
        EXPECT_NE(b.find("ERROR: unknown command in QRE file"), std::string::npos) << b;
    EXPECT_EQ(myPrompts.myNumUnscripted, 0);
    // The document names the last file the run loaded; the scene draws again.
    EXPECT_FALSE(myLeft->GetDocumentPath().empty());
    EXPECT_NE(myLeft->GetDocumentPath().find((r).string()), std::string::npos);
    EXPECT_FALSE(CPranvelView::ourBatchBusyFlag);
    EXPECT_TRUE(e->Render());
}

TEST_F(PranvelTree, BatchFailsAndLogsAFileWithAnUnknownCommand)
{
    OpenShip();
    fs::path r = myDir / "batch";
    fs::create_directories(r);
    ASSERT_TRUE(SaveQRE(*CommandHandler::Get(), QC_String((r / "good.qre").c_str())));
    // The same model with one line no command reads: it loads, but short of that line.
    {
        std::ifstream locIn(r / "good.qre", std::ios::binary);
        std::string locText((std::istreambuf_iterator<char>(locIn)), {});
        std::ofstream(r / "odd.qre", std::ios::binary) << locText << "MIRRORMODEL 1 0 0\r\n";
    }
    CommandHandler::Get()->SetModified(false);
    myPrompts.Clear();
    myPrompts.AnswerFolder(r.string());
    myPrompts.AnswerBox(OS_ID_OK);
    std::vector<std::string> locLines;
    Script("Dialog", [&](UI_Dialog* d) {
        UI_ClickButton(d, IDC_BATCH_START);
        locWaitWhile([] { return CPranvelView::ourBatchBusyFlag.load(); });
        locLines = locListLines(d);
        UI_ClickButton(d, IDC_BATCH_CLOSE);
    });
    PranvelRunBatchConversion();
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Pranvel|ERROR: unknown command in QRE file"});

    std::map<std::string, std::string> locOutcome;
    for (size_t i = 0; i + 1 < locLines.size(); i++)
        if (locLines[i].rfind("Loading: ", 0) == 0)
            locOutcome[locLines[i].substr(9)] = locLines[i + 1].rfind("Writing: ", 0) == 0 && i + 2 < locLines.size()
                                                    ? locLines[i + 2]
                                                    : locLines[i + 1];
    EXPECT_EQ(locOutcome[(r / "good.qre").string()], "Conversion successful");
    EXPECT_EQ(locOutcome[(r / "odd.qre").string()], "Conversion failed (couldn't load qre)");
    EXPECT_TRUE(fs::exists(r / "good.qrb"));
    EXPECT_FALSE(fs::exists(r / "odd.qrb"));
    EXPECT_EQ(::locLines((myDir / "data" / "pranvel" / "qre_batchconversion_errors.txt").string()),
              std::vector<std::string>{"Failed to load " + (r / "odd.qre").string()});
}

TEST_F(PranvelTree, BatchAbortStopsAfterTheCurrentFileAtAnyDepth)
{
    OpenShip();
    fs::path r = myDir / "tree";
    fs::create_directories(r / "d1" / "d2");
    for (const char* f : {"h1.qre", "h2.qre", "d1/g1.qre", "d1/g2.qre", "d1/d2/f1.qre", "d1/d2/f2.qre"})
        ASSERT_TRUE(SaveQRE(*CommandHandler::Get(), QC_String((r / f).c_str())));
    CommandHandler::Get()->SetModified(false);
    QRECommand::ourExecuteHook = locGatedExecute;
    ourGate = 1;
    myPrompts.Clear();
    myPrompts.AnswerFolder(r.string());
    std::vector<std::string> locLines;
    Script("Dialog", [&](UI_Dialog* d) {
        UI_ClickButton(d, IDC_BATCH_START);
        locWaitWhile([] { return ourGate != 2; });
        UI_ClickButton(d, IDC_BATCH_ABORT);
        EXPECT_FALSE(UI_IsControlEnabled(d, IDC_BATCH_ABORT));
        ourGate = 3;
        locWaitWhile([] { return CPranvelView::ourBatchBusyFlag.load(); });
        locLines = locListLines(d);
        UI_ClickButton(d, IDC_BATCH_CLOSE);
    });
    PranvelRunBatchConversion();
    ASSERT_EQ(locLines.size(), 4u);
    EXPECT_EQ(locLines[3], "");
    EXPECT_EQ(locLines[2], "Conversion successful");
    int locQRBs = 0;
    for (auto& f : fs::recursive_directory_iterator(r))
        locQRBs += f.path().extension() == ".qrb";
    EXPECT_EQ(locQRBs, 1);
}

namespace
{
class KeyZero : public QC_Subscriber<int, QC_String>
{
public:
    bool Receive(int aKey, QC_String) override
    {
        myKeys.push_back(aKey);
        return true;
    }
    std::vector<int> myKeys;
};
} // namespace

TEST_F(PranvelTree, OpensTellTheStateDialogAndBatchAsksFirst)
{
    KeyZero locSubscriber;
    e->Subscribe(0, &locSubscriber);
    OpenShip();
    EXPECT_EQ(locSubscriber.myKeys, std::vector<int>{0});
    e->Unsubscribe(&locSubscriber);
    // The title follows the document.
    EXPECT_EQ(UI_FrameGetDocumentTitle(myFrame), "ship.qre");

    // Batch with unsaved changes: Cancel shows no dialog and keeps the tree.
    CommandHandler::Get()->SetModified(true);
    myDialogs.clear();
    myPrompts.Clear();
    myPrompts.AnswerBox(OS_ID_CANCEL);
    ASSERT_TRUE(UI_FrameDoCommand(myFrame, ID_TOOLS_BATCH_CONVERSION));
    EXPECT_TRUE(myDialogs.empty());
    EXPECT_NE(Find("finger"), 0);
    EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);
}

TEST_F(PranvelTree, EditStateRecordsTheDialogsValuesAndAllRunsItsOwn)
{
    OpenShip();
    UI_TreeSelect(myPane, IDC_MODEL_TREE, UI_TreeGetRelated(myPane, IDC_MODEL_TREE, Find("finger"), UI_TREE_CHILD));
    Script("Edit Bone State", [](UI_Dialog* d) {
        UI_SetControlText(d, IDC_BONESTATE_INTERPOLATION, "1,5");
        UI_ComboPick(d, IDC_BONESTATE_NEXT, 1); // LAST
        UI_ClickButton(d, IDC_BONESTATE_ALL);   // recorded at once; the dialog stays
        UI_ComboPick(d, IDC_BONESTATE_NEXT, 0); // NONE
        UI_ClickButton(d, UI_IDOK);
    });
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_EDIT_STATE));
    std::vector<std::string> h = History();
    ASSERT_GE(h.size(), 2u);
    EXPECT_EQ(h[h.size() - 2].rfind("EDITALLJOINTSTATE 3 0 \"STND\" -2 1.500 ", 0), 0u) << h[h.size() - 2];
    EXPECT_EQ(h.back().rfind("EDITJOINTSTATE 3 0 \"STND\" -1 1.500 ", 0), 0u) << h.back();
}

namespace
{
// Runs the program in aDir (offscreen, or under Xvfb) until it has written its
// window to aPng; its exit status.
int locRunPranvel(const fs::path& aDir, const std::string& anArgument, const fs::path& aPng, bool anXvfbFlag)
{
    std::string locCommand = "cd '" + aDir.string() + "' && env XDG_CONFIG_HOME='" + (aDir / "config").string() +
                             "' Q_UI_GRAB='" + aPng.string() + "' ";
    if (anXvfbFlag)
        locCommand += "QT_QPA_PLATFORM=xcb '" Q_XVFB_RUN "' -s '-screen 0 1280x1024x24' ";
    locCommand += "'" Q_PRANVEL_PROGRAM "' " + anArgument + " > pranvel.log 2>&1";
    return std::system(locCommand.c_str());
}

// Dark pixels (text, lines) in a rectangle, and pixels that differ between two pictures.
int locDarkPixels(const QImage& anImage, const QRect& aRect)
{
    int n = 0;
    for (int y = aRect.top(); y <= aRect.bottom() && y < anImage.height(); y++)
        for (int x = aRect.left(); x <= aRect.right() && x < anImage.width(); x++)
            n += qGray(anImage.pixel(x, y)) < 96;
    return n;
}

int locChangedPixels(const QImage& a, const QImage& b, const QRect& aRect)
{
    int n = 0;
    for (int y = aRect.top(); y <= aRect.bottom() && y < a.height() && y < b.height(); y++)
        for (int x = aRect.left(); x <= aRect.right() && x < a.width() && x < b.width(); x++)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}
} // namespace

TEST(PranvelProgram, OpensAQREFromTheCommandLineWithTreeAndModel)
{
    fs::path d = fs::path(Q_TEST_TMP_DIR) / "program_qre";
    fs::remove_all(d);
    fs::create_directories(d);
    ASSERT_TRUE(WriteLWBoxObject((d / "box.lwo").c_str()));
    std::ofstream(d / "model.qre", std::ios::binary)
        << "VERSION_NUMBER 7\r\nWORKDIR \"" << d.string()
        << "\"\r\nDEFAULTSURFACE \"INTERNAL_SOLID\"\r\nOPENMODEL \"box.lwo\" \"box\" \"STND\"\r\n";
    // A background the box stands out from; the states the model uses.
    std::ofstream(d / "pranvel.cfg", std::ios::binary) << "stateFile states.txt\r\nbgColor 0x204060\r\n";
    std::ofstream(d / "states.txt", std::ios::binary) << "STND Standing\r\n";

    std::vector<bool> locModes = {false};
    if (Q_XVFB_RUN[0])
        locModes.push_back(true);
    for (bool locXvfb : locModes)
    {
        SCOPED_TRACE(locXvfb ? "xvfb" : "offscreen");
        fs::path locEmpty = d / (locXvfb ? "empty_x.png" : "empty.png");
        fs::path locModel = d / (locXvfb ? "model_x.png" : "model.png");
        ASSERT_EQ(locRunPranvel(d, "", locEmpty, locXvfb), 0);
        ASSERT_EQ(locRunPranvel(d, "model.qre", locModel, locXvfb), 0);
        QImage a(QString::fromStdString(locEmpty.string())), b(QString::fromStdString(locModel.string()));
        ASSERT_FALSE(a.isNull());
        ASSERT_FALSE(b.isNull());
        ASSERT_EQ(a.size(), b.size());
        // The tree pane (the left 300 pixels under the bars) gains the model's items;
        // the view beside it shows the box.
        QRect locTree(4, 50, 290, a.height() - 90);
        EXPECT_GT(locDarkPixels(b, locTree), locDarkPixels(a, locTree) + 50);
        QRect locView(320, 80, a.width() - 330, a.height() - 120);
        EXPECT_GT(locChangedPixels(a, b, locView), 500);
        // The untextured box shows lit in the start-up tint, not black on the blue.
        int locBlack = 0;
        for (int y = locView.top(); y <= locView.bottom() && y < b.height(); y++)
            for (int x = locView.left(); x <= locView.right() && x < b.width(); x++)
                locBlack += (b.pixel(x, y) & 0xFFFFFF) == 0;
        EXPECT_EQ(locBlack, 0);
    }
}

TEST_F(PranvelTree, DeletingTheLastEmitterLeavesNoEmitterItem)
{
    fs::create_directories(myDir / "fx");
    ASSERT_TRUE(QRT_WriteFile("fx/spark.tga", QRT_MakeTGA(8, 8, 32, std::vector<uint32_t>(64, ~0u), true, false)));
    QR_SharedGenericParticleData d;
    d.myNumPhases = 1;
    d.myPhases = new QR_ParticlePhase[1]();
    d.myPhases[0].myLength = 1.0f;
    std::string locPe = QRT_WritePe(d, "INTERNAL_ALPHA", "fx/spark");
    ASSERT_TRUE(QRT_WriteFile("fx/spark.pe", std::vector<uint8_t>(locPe.begin(), locPe.end())));
    ourWithEmitter = true;
    OpenShip();
    UI_TreeItem locEmitter = UI_TreeGetRelated(myPane, IDC_MODEL_TREE, Find("arm"), UI_TREE_CHILD);
    std::string locText;
    UI_TreeGetText(myPane, IDC_MODEL_TREE, locEmitter, &locText);
    ASSERT_EQ(locText.rfind("PE 0: ", 0), 0u) << locText;
    EXPECT_EQ(CLeftView::ItemKind(UI_TreeGetData(myPane, IDC_MODEL_TREE, locEmitter)), QRE_TREE_EMITTER);
    UI_TreeSelect(myPane, IDC_MODEL_TREE, locEmitter);
    ASSERT_TRUE(myLeft->OnCommand(myFrame, ID_TREE_DELETE_EMITTER));
    EXPECT_EQ(History().back(), "REMOVEPARTICLEEMITTOR 0");
    for (UI_TreeItem i = UI_TreeGetRelated(myPane, IDC_MODEL_TREE, Find("arm"), UI_TREE_CHILD); i;
         i = UI_TreeGetRelated(myPane, IDC_MODEL_TREE, i, UI_TREE_NEXT))
        EXPECT_NE(CLeftView::ItemKind(UI_TreeGetData(myPane, IDC_MODEL_TREE, i)), QRE_TREE_EMITTER);
    // Deleting it again fails with its text.
    myPrompts.Clear();
    RemoveParticleEmittorCommand* c = new RemoveParticleEmittorCommand;
    EXPECT_FALSE(myLeft->RunCommand(c, "Could not remove particle emittor."));
    EXPECT_EQ(myPrompts.GetBoxes(), std::vector<std::string>{"Pranvel|Could not remove particle emittor."});
}
