// Every dialog driven offscreen through the modal hook, as a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "owncode/dlg_edit.h"
#include "owncode/dlg_filter.h"
#include "owncode/dlg_instance.h"
#include "owncode/dlg_type.h"
#include "owncode/dlg_viewvelk.h"
#include "platform/ui/ui_prompt_script.h"
#include "platform/ui/ui_qt.h"
#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_typeconstraint.h"

namespace
{
typedef std::vector<std::string> Texts;
typedef std::function<void(UI_Dialog*)> Step;

const char* const TYPES_FRUIT =
    "TYPE Colour\r\n{\r\nRed\r\nGreen\r\n}\r\n"
    "CLASS Point\r\n{\r\nNUMBER x\r\nNUMBER y\r\n}\r\n"
    "CLASS Unit\r\n{\r\nTEXT myName\r\nPoint myPos\r\nColour myColour\r\n}\r\n"
    "SCRIPTCLASS Script\r\n{\r\nPoint\r\nTEXT\r\n}\r\n";

QC_List<QC_String> List(const Texts& aTexts)
{
    QC_List<QC_String> locList;
    for (const std::string& locText : aTexts)
        locList.Add(QC_String(locText.c_str()));
    return locList;
}

Texts Vector(const QC_List<QC_String>& aList)
{
    Texts locTexts;
    for (const QC_List<QC_String>::Link* locLink = aList.myFirstLink; locLink; locLink = locLink->myNext)
        locTexts.push_back(locLink->myItem.GetBuffer());
    return locTexts;
}

std::string Text(UI_Dialog* aDialog, int anId)
{
    std::string locText;
    UI_GetControlText(aDialog, anId, &locText);
    return locText;
}

Texts ListTexts(UI_Dialog* aDialog, int anId)
{
    Texts locTexts;
    for (int i = 0; i < UI_ListGetCount(aDialog, anId); i++)
    {
        std::string locText;
        UI_ListGetText(aDialog, anId, i, &locText);
        locTexts.push_back(locText);
    }
    return locTexts;
}

std::string SelectedText(UI_Dialog* aDialog, int anId)
{
    std::string locText;
    UI_ListGetText(aDialog, anId, UI_ListGetCurSel(aDialog, anId), &locText);
    return locText;
}

// The Enter key as the dialog window receives it.
void PressEnter(UI_Dialog* aDialog)
{
    QKeyEvent locPress(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(UI_GetDialogWidget(aDialog), &locPress);
}

// Text typed into an edit, one key press a character, as the keyboard sends it.
void Type(UI_Dialog* aDialog, int anId, const char* aUtf8)
{
    QWidget* locEdit = UI_GetControlWidget(aDialog, anId);
    for (QChar locChar : QString::fromUtf8(aUtf8))
    {
        QKeyEvent locPress(QEvent::KeyPress, 0, Qt::NoModifier, QString(locChar));
        QApplication::sendEvent(locEdit, &locPress);
    }
}

// Each modal dialog shown takes the next step; its caption is checked first.
class DialogTest : public VelkScratchTest
{
protected:
    void SetUp() override
    {
        VelkScratchTest::SetUp();
        ASSERT_NE(getcwd(myOldDir, sizeof(myOldDir)), nullptr);
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        std::ofstream("types.fruit") << TYPES_FRUIT;
        ASSERT_TRUE(myTypes.Compile("types.fruit"));
        UI_SetModalHook([this](UI_Dialog* aDialog) {
            ASSERT_FALSE(mySteps.empty()) << "unexpected dialog " << UI_GetDialogTitle(aDialog);
            auto locStep = mySteps.front();
            mySteps.pop_front();
            EXPECT_EQ(UI_GetDialogTitle(aDialog), locStep.first);
            // Q_DIALOG_SHOTS=<folder>: every dialog as first shown, for a look under X.
            if (const char* locShots = getenv("Q_DIALOG_SHOTS"))
            {
                std::string locName = std::string(locShots) + "/" + std::to_string(++myShotNumber);
                UI_GrabDialog(aDialog, (locName + ".png").c_str());
                // Under X also the screen, once the window is mapped and painted.
                if (QGuiApplication::platformName() != "offscreen")
                {
                    QElapsedTimer locTimer;
                    locTimer.start();
                    while (locTimer.elapsed() < 200)
                        QApplication::processEvents(QEventLoop::AllEvents, 20);
                    QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(locName + ".screen.png"));
                }
            }
            locStep.second(aDialog);
        });
        myPreviousPrompts = UI_SetPromptService(&myPrompts);
    }

    void TearDown() override
    {
        EXPECT_TRUE(mySteps.empty()) << mySteps.size() << " dialogs did not open";
        UI_SetModalHook(nullptr);
        UI_SetPromptService(myPreviousPrompts);
        ASSERT_EQ(chdir(myOldDir), 0);
    }

    void Expect(const char* aCaption, Step aStep) { mySteps.push_back({aCaption, std::move(aStep)}); }

    std::string Cwd() const
    {
        char locPath[4096];
        return getcwd(locPath, sizeof(locPath)) ? locPath : "";
    }

    char myOldDir[4096];
    VelkTypeManager myTypes;
    std::deque<std::pair<std::string, Step>> mySteps;
    UI_ScriptedPrompts myPrompts;
    UI_PromptService* myPreviousPrompts = nullptr;
    static inline int myShotNumber = 0;
};
} // namespace

TEST_F(DialogTest, CreateInstanceRemembersTheTypeAndRefusesNamesThatSplit)
{
    CDlgInstance locFirst;
    locFirst.myTypes = List({"Point", "Unit", "Script"});
    Expect("Create Instance", [](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_NAME), "NewInstance");
        EXPECT_EQ(UI_ListGetCurSel(aDialog, IDC_LIST), 0);
        UI_ListClick(aDialog, IDC_LIST, 1);
        for (const char* locBad : {"two words", "a=b", "tab\there", "a//b", "//"})
        {
            UI_SetControlText(aDialog, IDC_NAME, locBad);
            EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK)) << locBad;
        }
        // Empty: the facade names it after the type.
        UI_SetControlText(aDialog, IDC_NAME, "");
        EXPECT_TRUE(UI_IsControlEnabled(aDialog, UI_IDOK));
        UI_SetControlText(aDialog, IDC_NAME, "hero");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locFirst.DoModal(), UI_IDOK);
    EXPECT_EQ(locFirst.myTypeName, "Unit");
    EXPECT_EQ(locFirst.myName, "hero");

    CDlgInstance locSecond;
    locSecond.myTypes = List({"Point", "Unit", "Script"});
    Expect("Create Instance", [](UI_Dialog* aDialog) {
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "Unit");
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    EXPECT_EQ(locSecond.DoModal(), UI_IDCANCEL);
    EXPECT_EQ(locSecond.myName, "NewInstance");
}

TEST_F(DialogTest, CopyAndRenameNeedANameOfOneWord)
{
    CDlgCopyInstance locCopy;
    locCopy.myTypeName = "Unit";
    locCopy.myName = "hero";
    Expect("Copy Instance", [](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_TYPE), "Unit");
        EXPECT_EQ(Text(aDialog, IDC_NAME), "hero");
        UI_SetControlText(aDialog, IDC_NAME, "");
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK));
        UI_SetControlText(aDialog, IDC_NAME, "hero copy");
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK));
        // Enter does nothing while OK is disabled.
        PressEnter(aDialog);
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        UI_SetControlText(aDialog, IDC_NAME, "heroCopy");
        EXPECT_TRUE(UI_IsControlEnabled(aDialog, UI_IDOK));
        PressEnter(aDialog);
    });
    ASSERT_EQ(locCopy.DoModal(), UI_IDOK);
    EXPECT_EQ(locCopy.myName, "heroCopy");

    CDlgRenameInstance locRename;
    locRename.myTypeName = "Unit";
    locRename.myName = "hero";
    Expect("Rename Instance", [](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_NAME, "new=name");
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    EXPECT_EQ(locRename.DoModal(), UI_IDCANCEL);
    EXPECT_EQ(locRename.myName, "hero");
}

TEST_F(DialogTest, ScriptClassContentsGetUniqueNamesAndSplitAtTheFirstBlank)
{
    std::ofstream("script.velk") << "INCLUDE types.fruit\r\nScript script\r\n{\r\n\tTEXT greeting \"hello\"\r\n"
                                    "\tPoint Point(0)\r\n\t{\r\n\t}\r\n}\r\n";
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, "script.velk", &myTypes, nullptr));
    CDlgEditScriptClass locEdit(locSpace.GetInstance("script", true));
    EXPECT_EQ(Vector(locEdit.myLegalTypes), (Texts{"Point", "TEXT"}));

    auto locAddPoint = [](UI_Dialog* aDialog) {
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "Point");
        UI_SetControlText(aDialog, IDC_NAME, "has blank");
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK));
        UI_SetControlText(aDialog, IDC_NAME, "");
        UI_ClickButton(aDialog, UI_IDOK);
    };
    Expect("Edit ScriptClass", [](UI_Dialog* aDialog) {
        EXPECT_EQ(ListTexts(aDialog, IDC_LIST), (Texts{"TEXT greeting", "Point Point(0)"}));
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_ADD);
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_ADD);
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_ADD);
        EXPECT_EQ(ListTexts(aDialog, IDC_LIST),
                  (Texts{"TEXT greeting", "Point Point(0)", "Point Point(1)", "Point Point(2)", "TEXT a"}));
        EXPECT_EQ(UI_ListGetCurSel(aDialog, IDC_LIST), 4);
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_MOVE_DOWN);
        EXPECT_EQ(UI_ListGetCurSel(aDialog, IDC_LIST), 4);
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_MOVE_UP);
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_MOVE_UP);
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "TEXT a");
        EXPECT_EQ(UI_ListGetCurSel(aDialog, IDC_LIST), 2);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    Expect("Add ScriptClass Content", locAddPoint);
    Expect("Add ScriptClass Content", locAddPoint);
    Expect("Add ScriptClass Content", [](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, 1);
        // A name with a blank would not read back; this one is typed whole.
        UI_SetControlText(aDialog, IDC_NAME, "a");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locEdit.DoModal(), UI_IDOK);
    EXPECT_EQ(Vector(locEdit.myContentTypes), (Texts{"TEXT", "Point", "TEXT", "Point", "Point"}));
    EXPECT_EQ(Vector(locEdit.myContentNames), (Texts{"greeting", "Point(0)", "a", "Point(1)", "Point(2)"}));
}

TEST_F(DialogTest, TwoEmptyContentNamesOfOneTypeGetZeroThenOne)
{
    QC_List<QC_String> locLines;
    EXPECT_EQ(CDlgEditScriptClass::MakeUniqueName(locLines, "Point"), "Point(0)");
    locLines.Add("Point Point(0)");
    EXPECT_EQ(CDlgEditScriptClass::MakeUniqueName(locLines, "Point"), "Point(1)");
    locLines.Add("TEXT Point(1)");
    EXPECT_EQ(CDlgEditScriptClass::MakeUniqueName(locLines, "Point"), "Point(1)");
}

TEST_F(DialogTest, ValueEditorsSelectTheCurrentValueOrTheirFallback)
{
    CDlgEdit locFree;
    locFree.myTypeName = "TEXT";
    locFree.myName = "myName";
    locFree.myValue = "old";
    Expect("Edit Free", [](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_VALUE), "old");
        UI_SetControlText(aDialog, IDC_VALUE, "new value");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locFree.DoModal(), UI_IDOK);
    EXPECT_EQ(locFree.myValue, "new value");

    CDlgEditType locEnum;
    locEnum.myValue = "Green";
    locEnum.myValues = List({"Red", "Green"});
    Expect("Edit Type", [](UI_Dialog* aDialog) {
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "Green");
        UI_ListClick(aDialog, IDC_LIST, 0);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locEnum.DoModal(), UI_IDOK);
    EXPECT_EQ(locEnum.myValue, "Red");

    CDlgEditRef locRef;
    locRef.myValue = "NULL";
    locRef.myValues = List({"first", "second"});
    Expect("Edit Ref", [](UI_Dialog* aDialog) {
        EXPECT_EQ(ListTexts(aDialog, IDC_LIST), (Texts{"NULL", "first", "second"}));
        EXPECT_EQ(UI_ListGetCurSel(aDialog, IDC_LIST), 0);
        UI_ListClick(aDialog, IDC_LIST, 2);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locRef.DoModal(), UI_IDOK);
    EXPECT_EQ(locRef.myValue, "second");
    EXPECT_EQ(locRef.myValues.myCount, 2);

    class Fixed : public VelkTypeConstraint
    {
    public:
        Fixed() : VelkTypeConstraint(nullptr, "VAP_Button", "mySkin") {}
        bool FillValues() override
        {
            myValues.Add("<empty>");
            myValues.Add("red");
            return true;
        }
    } locConstraint;
    locConstraint.Refill();
    CDlgEditConstrained locAbsent(&locConstraint, "VAP_Button", "mySkin", "gone");
    Expect("Edit Constrained", [](UI_Dialog* aDialog) {
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "<empty>");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locAbsent.DoModal(), UI_IDOK);
    EXPECT_EQ(locAbsent.myValue, "<empty>");
    CDlgEditConstrained locPresent(&locConstraint, "VAP_Button", "mySkin", "red");
    Expect("Edit Constrained", [](UI_Dialog* aDialog) {
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "red");
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    EXPECT_EQ(locPresent.DoModal(), UI_IDCANCEL);
}

TEST_F(DialogTest, NumberEditsRefuseTextThatIsNotANumber)
{
    // Refused: a box names the member, the dialog stays open with the text as typed.
    CDlgEdit locNumber;
    locNumber.myTypeName = "NUMBER";
    locNumber.myName = "amount";
    locNumber.myValue = "10";
    Expect("Edit Free", [&locNumber](UI_Dialog* aDialog) {
        for (const char* locText : {"abc", "1.5"})
        {
            UI_SetControlText(aDialog, IDC_VALUE, locText);
            UI_ClickButton(aDialog, UI_IDOK);
            EXPECT_EQ(locNumber.myValue, "10");
        }
        UI_SetControlText(aDialog, IDC_VALUE, "-12");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locNumber.DoModal(), UI_IDOK);
    EXPECT_EQ(locNumber.myValue, "-12");
    EXPECT_EQ(myPrompts.GetBoxes(),
              (Texts{"Invalid Value|'abc' is not a value of the NUMBER 'amount': it takes a whole number such as 12 or -3.",
                     "Invalid Value|'1.5' is not a value of the NUMBER 'amount': it takes a whole number such as 12 or -3."}));

    // A DECIMAL is read in the C locale: a comma is refused whatever the user's locale.
    myPrompts.Clear();
    CDlgEdit locDecimal;
    locDecimal.myTypeName = "DECIMAL";
    locDecimal.myName = "myVolume";
    Expect("Edit Free", [&locDecimal](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_VALUE, "0,5");
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_EQ(Text(aDialog, IDC_VALUE), "0,5");
        EXPECT_EQ(locDecimal.myValue, "");
        UI_SetControlText(aDialog, IDC_VALUE, "-2.5e-1");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locDecimal.DoModal(), UI_IDOK);
    EXPECT_EQ(locDecimal.myValue, "-2.5e-1");
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0], "Invalid Value|'0,5' is not a value of the DECIMAL 'myVolume': it takes a number "
                                       "such as 12, -0.5 or 1.5e3, with a point and no comma.");

    // A constrained NUMBER takes only the numbers of its list.
    myPrompts.Clear();
    class Numbers : public VelkTypeConstraint
    {
    public:
        Numbers() : VelkTypeConstraint(nullptr, "Unit", "size") {}
        bool FillValues() override
        {
            myValues.Add("<empty>");
            myValues.Add("5");
            myValues.Add("big");
            return true;
        }
    } locConstraint;
    locConstraint.Refill();
    CDlgEditConstrained locConstrained(&locConstraint, "NUMBER", "size", "5");
    Expect("Edit Constrained", [&locConstrained](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, UI_ListFindExact(aDialog, IDC_LIST, "big"));
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_EQ(locConstrained.myValue, "5");
        UI_ListClick(aDialog, IDC_LIST, UI_ListFindExact(aDialog, IDC_LIST, "<empty>"));
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locConstrained.DoModal(), UI_IDOK);
    EXPECT_EQ(locConstrained.myValue, "<empty>");
    EXPECT_EQ(myPrompts.GetBoxes(),
              (Texts{"Invalid Value|'big' is not a value of the NUMBER 'size': it takes a whole number such as 12 or -3."}));

    // Text is text, and an emptied number is no number but no wrong one either.
    myPrompts.Clear();
    for (const char* locType : {"TEXT", "NUMBER"})
    {
        CDlgEdit locOther;
        locOther.myTypeName = locType;
        const char* locValue = locType[0] == 'T' ? "abc" : "";
        Expect("Edit Free", [locValue](UI_Dialog* aDialog) {
            UI_SetControlText(aDialog, IDC_VALUE, locValue);
            UI_ClickButton(aDialog, UI_IDOK);
        });
        ASSERT_EQ(locOther.DoModal(), UI_IDOK);
        EXPECT_EQ(locOther.myValue, locValue);
    }
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
}

TEST_F(DialogTest, EditFileChecksExistenceAndStoresPathsBelowTheBase)
{
    std::filesystem::create_directories("Data");
    std::ofstream("Data/Sound.wav") << "RIFF";
    CDlgEditFile locEdit;
    locEdit.myTypeName = "FILE";
    locEdit.myName = "myFile";
    locEdit.myValue = "<empty>";
    locEdit.myExtension = "wav";
    locEdit.myBaseDirectory = myDir.c_str();
    myPrompts.AnswerCancel();
    myPrompts.AnswerFile((myDir / "Data" / "Sound.wav").string());
    Expect("Edit File", [this](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, CDlgEditFile::IDC_STATUS), "ok");
        UI_SetControlText(aDialog, IDC_VALUE, "data/missing.wav");
        EXPECT_EQ(Text(aDialog, CDlgEditFile::IDC_STATUS), "DOES NOT EXIST!");
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK));
        // Written on Windows in another case: found all the same.
        UI_SetControlText(aDialog, IDC_VALUE, "data\\SOUND.wav");
        EXPECT_EQ(Text(aDialog, CDlgEditFile::IDC_STATUS), "ok");
        UI_SetControlText(aDialog, IDC_VALUE, "");
        EXPECT_TRUE(UI_IsControlEnabled(aDialog, UI_IDOK));

        // A cancelled browse goes back to the base directory.
        ASSERT_EQ(chdir("Data"), 0);
        UI_ClickButton(aDialog, CDlgEditFile::IDC_BROWSE);
        EXPECT_EQ(Cwd(), myDir.string());
        UI_ClickButton(aDialog, CDlgEditFile::IDC_BROWSE);
        EXPECT_EQ(Text(aDialog, IDC_VALUE), "Data/Sound.wav");

        // Outside the base directory: refused, the dialog stays.
        UI_SetControlText(aDialog, IDC_VALUE, myOldDir);
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        UI_SetControlText(aDialog, IDC_VALUE, (myDir / "Data" / "Sound.wav").c_str());
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locEdit.DoModal(), UI_IDOK);
    EXPECT_EQ(locEdit.myValue, "Data/Sound.wav");
    ASSERT_EQ(myPrompts.myQuestions.size(), 3u);
    const UI_FileDialogRequest& locRequest = myPrompts.myQuestions[0].myRequest;
    EXPECT_EQ(locRequest.myTitle, "Browse For File");
    EXPECT_EQ(locRequest.myInitialDirectory, myDir.string());
    ASSERT_EQ(locRequest.myFilters.size(), 1u);
    EXPECT_EQ(locRequest.myFilters[0].myText, "WAV files (*.wav)");
    EXPECT_EQ(locRequest.myFilters[0].myPattern, "*.wav");
    EXPECT_EQ(myPrompts.GetBoxes(), (Texts{"Invalid Path|Invalid path '" + std::string(myOldDir) +
                                           "'\nMust be child of base directory '" + myDir.string() + "'"}));

    CDlgEditFile locAny;
    myPrompts.Clear();
    myPrompts.AnswerFile("/outside/x.bin");
    Expect("Edit File", [](UI_Dialog* aDialog) {
        UI_ClickButton(aDialog, CDlgEditFile::IDC_BROWSE);
        EXPECT_EQ(Text(aDialog, IDC_VALUE), "/outside/x.bin");
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    locAny.myBaseDirectory = myDir.c_str();
    EXPECT_EQ(locAny.DoModal(), UI_IDCANCEL);
    ASSERT_EQ(myPrompts.myQuestions.size(), 1u);
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myFilters[0].myText, "All files (*.*)");
}

TEST_F(DialogTest, ViewVelkStaysOpenWhileAFileLiesOutsideTheBase)
{
    CDlgViewVelk locView;
    locView.myBaseDirectory = myDir.c_str();
    locView.myFiles = List({"levels/one.velk"});
    myPrompts.AnswerFile("/elsewhere/two.velk");
    myPrompts.AnswerCancel();
    myPrompts.AnswerFile((myDir / "Levels" / "Three.velk").string());
    Expect("View Velk", [this](UI_Dialog* aDialog) {
        UI_ClickButton(aDialog, CDlgViewVelk::IDC_ADD);
        ASSERT_EQ(chdir("/"), 0);
        UI_ClickButton(aDialog, CDlgViewVelk::IDC_ADD);
        EXPECT_EQ(Cwd(), myDir.string());
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        UI_ListClick(aDialog, IDC_LIST, 1);
        UI_ClickButton(aDialog, CDlgViewVelk::IDC_REMOVE);
        UI_ClickButton(aDialog, CDlgViewVelk::IDC_ADD);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locView.DoModal(), UI_IDOK);
    EXPECT_EQ(myPrompts.GetBoxes(),
              (Texts{"Invalid Path|Invalid path '/elsewhere/two.velk'\nMust be child of base directory '" +
                     myDir.string() + "'"}));
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myTitle, "View Velk");
    EXPECT_EQ(myPrompts.myQuestions[0].myRequest.myFilters[0].myPattern, "*.velk");
    EXPECT_EQ(Vector(locView.myRelativeFiles), (Texts{"levels/one.velk", "Levels/Three.velk"}));

    // Left with Cancel after a refusal: nothing changes.
    CDlgViewVelk locRefused;
    locRefused.myBaseDirectory = myDir.c_str();
    locRefused.myFiles = List({"/elsewhere/x.velk"});
    Expect("View Velk", [](UI_Dialog* aDialog) {
        UI_ClickButton(aDialog, CDlgViewVelk::IDC_CLEAR_ALL);
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    EXPECT_EQ(locRefused.DoModal(), UI_IDCANCEL);
    EXPECT_EQ(Vector(locRefused.myFiles), (Texts{"/elsewhere/x.velk"}));
    EXPECT_TRUE(locRefused.myRelativeFiles.IsEmpty());
}

TEST_F(DialogTest, ViewTypesMovesOrdersAndOpensFiltersForPlainClasses)
{
    VelkTypeFilterManager locFilters(nullptr);
    CDlgViewTypes locView(&myTypes, &locFilters);
    locView.myVisible = List({"Unit", "Script", "Point", "Colour"});
    locView.myInvisible = List({"TEXT"});
    Expect("View Types", [](UI_Dialog* aDialog) {
        enum
        {
            VISIBLE = CDlgViewTypes::IDC_VISIBLE,
            INVISIBLE = CDlgViewTypes::IDC_INVISIBLE,
        };
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, CDlgViewTypes::IDC_FILTERS));
        UI_ListClick(aDialog, VISIBLE, 1);
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, CDlgViewTypes::IDC_FILTERS));   // a script class
        UI_ListClick(aDialog, VISIBLE, 3);
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, CDlgViewTypes::IDC_FILTERS));   // an enumeration
        UI_ListClick(aDialog, VISIBLE, 0);
        EXPECT_TRUE(UI_IsControlEnabled(aDialog, CDlgViewTypes::IDC_FILTERS));
        UI_ClickButton(aDialog, CDlgViewTypes::IDC_UP);
        EXPECT_EQ(UI_ListGetCurSel(aDialog, VISIBLE), 0);
        UI_ClickButton(aDialog, CDlgViewTypes::IDC_DOWN);
        EXPECT_EQ(ListTexts(aDialog, VISIBLE), (Texts{"Script", "Unit", "Point", "Colour"}));
        EXPECT_EQ(SelectedText(aDialog, VISIBLE), "Unit");
        UI_ClickButton(aDialog, CDlgViewTypes::IDC_FILTERS);

        UI_ListDoubleClick(aDialog, VISIBLE, 2);
        UI_ListDoubleClick(aDialog, INVISIBLE, 0);
        EXPECT_EQ(ListTexts(aDialog, VISIBLE), (Texts{"Script", "Unit", "Colour", "TEXT"}));
        EXPECT_EQ(ListTexts(aDialog, INVISIBLE), (Texts{"Point"}));
        UI_ClickButton(aDialog, CDlgViewTypes::IDC_HIDE_ALL);
        EXPECT_EQ(ListTexts(aDialog, INVISIBLE), (Texts{"Point", "Script", "Unit", "Colour", "TEXT"}));
        UI_ClickButton(aDialog, CDlgViewTypes::IDC_VIEW_ALL);
        UI_ListDoubleClick(aDialog, VISIBLE, 4);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    Expect("Filters for Type", [](UI_Dialog* aDialog) {
        EXPECT_EQ(UI_ListGetCount(aDialog, IDC_LIST), 0);
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, CDlgFilterList::IDC_EDIT));
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locView.DoModal(), UI_IDOK);
    EXPECT_EQ(Vector(locView.myVisible), (Texts{"Point", "Script", "Unit", "Colour"}));
    EXPECT_EQ(Vector(locView.myInvisible), (Texts{"TEXT"}));
    // The nested list made the type's record.
    ASSERT_NE(locFilters.FindType("Unit"), nullptr);
    EXPECT_EQ(locFilters.GetTypes().myCount, 1);
}

TEST_F(DialogTest, FilterListAddsEditsAndActivatesFilters)
{
    VelkTypeFilterManager locFilters(nullptr);
    VelkTypeFilterManager::Type* locRecord = locFilters.GetType("Unit");
    locRecord->AddFilter("combat")->AddMember("myName");
    locRecord->AddFilter("looks");
    locRecord->SetActiveFilter("combat");
    CDlgFilterList locList(locRecord, myTypes.GetType("Unit"));
    Expect("Filters for Type", [](UI_Dialog* aDialog) {
        EXPECT_EQ(ListTexts(aDialog, IDC_LIST), (Texts{"combat", "looks"}));
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "combat");
        EXPECT_EQ(Text(aDialog, CDlgFilterList::IDC_ACTIVE), "combat");
        UI_ClickButton(aDialog, CDlgFilterList::IDC_EDIT);
        UI_ClickButton(aDialog, CDlgFilterList::IDC_NEW);
        EXPECT_EQ(ListTexts(aDialog, IDC_LIST), (Texts{"combat", "looks", "moves"}));
        EXPECT_EQ(SelectedText(aDialog, IDC_LIST), "moves");
        UI_ListClick(aDialog, IDC_LIST, 1);
        EXPECT_EQ(Text(aDialog, CDlgFilterList::IDC_ACTIVE), "looks");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    Expect("Filter Type", [](UI_Dialog* aDialog) {
        enum { TREE = CDlgFilterType::IDC_TREE };
        EXPECT_EQ(Text(aDialog, IDC_NAME), "combat");
        UI_TreeItem locName = UI_TreeGetRelated(aDialog, TREE, UI_TREE_ROOT, UI_TREE_CHILD);
        UI_TreeItem locPos = UI_TreeGetRelated(aDialog, TREE, locName, UI_TREE_NEXT);
        UI_TreeItem locX = UI_TreeGetRelated(aDialog, TREE, locPos, UI_TREE_CHILD);
        EXPECT_TRUE(UI_TreeGetCheck(aDialog, TREE, locName));
        EXPECT_FALSE(UI_TreeGetCheck(aDialog, TREE, locPos));
        UI_TreeClickCheck(aDialog, TREE, locPos);
        UI_TreeClickCheck(aDialog, TREE, locX);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    Expect("New Filter", [](UI_Dialog* aDialog) {
        EXPECT_FALSE(UI_IsControlEnabled(aDialog, UI_IDOK));
        UI_SetControlText(aDialog, IDC_NAME, "moves");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locList.DoModal(), UI_IDOK);
    EXPECT_EQ(locRecord->GetActiveFilter()->GetName(), "looks");
    QC_List<QC_String> locMembers;
    locRecord->FindFilter("combat")->GetMembers(locMembers);
    EXPECT_EQ(Vector(locMembers), (Texts{"myName", "myPos", "myPos.x"}));

    // Cancel keeps the filter made with New but not the new choice.
    CDlgFilterList locAgain(locRecord, myTypes.GetType("Unit"));
    Expect("Filters for Type", [](UI_Dialog* aDialog) {
        UI_ClickButton(aDialog, CDlgFilterList::IDC_NEW);
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    Expect("New Filter", [](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_NAME, "later");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_EQ(locAgain.DoModal(), UI_IDCANCEL);
    EXPECT_EQ(locRecord->GetActiveFilter()->GetName(), "looks");
    EXPECT_NE(locRecord->FindFilter("later"), nullptr);
}

TEST_F(DialogTest, FilterTypeVisitsChildrenOnlyUnderCheckedItemsAndResets)
{
    VelkTypeFilter locFilter("f");
    locFilter.AddMember("myPos");
    locFilter.AddMember("myPos.y");
    locFilter.AddMember("myColour");
    CDlgFilterType locEdit(myTypes.GetType("Unit"), &locFilter);
    Expect("Filter Type", [&locEdit](UI_Dialog* aDialog) {
        enum { TREE = CDlgFilterType::IDC_TREE };
        EXPECT_EQ(UI_TreeGetCount(aDialog, TREE), 5);
        UI_TreeItem locName = UI_TreeGetRelated(aDialog, TREE, UI_TREE_ROOT, UI_TREE_CHILD);
        UI_TreeItem locPos = UI_TreeGetRelated(aDialog, TREE, locName, UI_TREE_NEXT);
        UI_TreeItem locX = UI_TreeGetRelated(aDialog, TREE, locPos, UI_TREE_CHILD);
        UI_TreeItem locY = UI_TreeGetRelated(aDialog, TREE, locX, UI_TREE_NEXT);
        EXPECT_FALSE(UI_TreeGetCheck(aDialog, TREE, locName));
        EXPECT_TRUE(UI_TreeGetCheck(aDialog, TREE, locPos));
        EXPECT_FALSE(UI_TreeGetCheck(aDialog, TREE, locX));
        EXPECT_TRUE(UI_TreeGetCheck(aDialog, TREE, locY));
        // An unchecked parent hides its checked children.
        UI_TreeClickCheck(aDialog, TREE, locPos);
        QC_List<QC_String> locPaths;
        locEdit.GetCheckedPaths(locPaths);
        EXPECT_EQ(Vector(locPaths), (Texts{"myColour"}));
        UI_ClickButton(aDialog, CDlgFilterType::IDC_RESET);
        EXPECT_FALSE(UI_TreeGetCheck(aDialog, TREE, locY));
        locEdit.GetCheckedPaths(locPaths);
        EXPECT_TRUE(locPaths.IsEmpty());
        UI_TreeClickCheck(aDialog, TREE, locName);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locEdit.DoModal(), UI_IDOK);
    QC_List<QC_String> locMembers;
    locFilter.GetMembers(locMembers);
    EXPECT_EQ(Vector(locMembers), (Texts{"myName"}));
}

TEST_F(DialogTest, IgnoreQuestionsShowTheirTextsAndRememberTheChoice)
{
    CDlgIgnoreTypeInstance locFirst;
    locFirst.myTypeName = "Tank";
    locFirst.myInstanceName = "Tank tiger";
    Expect("Ignore Type / Instance", [](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_TYPE), "Tank");
        EXPECT_EQ(Text(aDialog, CDlgIgnoreTypeInstance::IDC_TEXT1),
                  "An unknown type was encountered during compilation.");
        EXPECT_TRUE(UI_IsButtonChecked(aDialog, CDlgIgnoreTypeInstance::IDC_IGNORE_TYPE));
        UI_ClickButton(aDialog, CDlgIgnoreTypeInstance::IDC_IGNORE_INSTANCE);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locFirst.DoModal(), UI_IDOK);
    EXPECT_FALSE(locFirst.myIgnoreTypeFlag);
    CDlgIgnoreTypeInstance locSecond;
    Expect("Ignore Type / Instance", [](UI_Dialog* aDialog) {
        EXPECT_TRUE(UI_IsButtonChecked(aDialog, CDlgIgnoreTypeInstance::IDC_IGNORE_INSTANCE));
        EXPECT_FALSE(UI_IsButtonChecked(aDialog, CDlgIgnoreTypeInstance::IDC_IGNORE_TYPE));
        UI_ClickButton(aDialog, CDlgIgnoreTypeInstance::IDC_IGNORE_TYPE);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locSecond.DoModal(), UI_IDOK);
    EXPECT_TRUE(locSecond.myIgnoreTypeFlag);

    CDlgIgnoreTypeMember locMember;
    locMember.myTypeName = "Unit";
    locMember.myMemberName = "mySpeed";
    Expect("Ignore Member Of Type", [](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_NAME), "mySpeed");
        EXPECT_EQ(Text(aDialog, CDlgIgnoreTypeMember::IDC_TEXT2),
                  "specific type. Press OK to ignore all future occurrances of this");
        UI_ClickButton(aDialog, UI_IDCANCEL);
    });
    EXPECT_EQ(locMember.DoModal(), UI_IDCANCEL);
}

TEST_F(DialogTest, CreateTypeCollectsMetatypeNameAndMembers)
{
    CDlgType locType;
    locType.myTypes = List({"NUMBER", "TEXT", "Point"});
    Expect("Create / Edit Type", [](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_NAME), "NewType");
        EXPECT_TRUE(UI_IsButtonChecked(aDialog, CDlgType::IDC_META_TYPE));
        UI_ClickButton(aDialog, CDlgType::IDC_META_SCRIPTCLASS);
        UI_SetControlText(aDialog, IDC_NAME, "Mixed");
        UI_ListClick(aDialog, CDlgType::IDC_TYPES, 2);
        UI_ClickButton(aDialog, CDlgType::IDC_ADD_TYPE);
        UI_ListClick(aDialog, CDlgType::IDC_TYPES, 0);
        UI_ClickButton(aDialog, CDlgType::IDC_ADD_TYPE);
        UI_SetControlText(aDialog, IDC_VALUE, "Extra");
        UI_ClickButton(aDialog, CDlgType::IDC_ADD_VALUE);
        EXPECT_EQ(Text(aDialog, IDC_VALUE), "");
        UI_ListClick(aDialog, CDlgType::IDC_MEMBERS, 1);
        UI_ClickButton(aDialog, CDlgType::IDC_REMOVE);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locType.DoModal(), UI_IDOK);
    EXPECT_EQ(locType.myMetaType, 2);
    EXPECT_EQ(locType.myTypeName, "Mixed");
    EXPECT_EQ(Vector(locType.myMembers), (Texts{"Point", "Extra"}));
}

TEST_F(DialogTest, VelkTextIsShownAsLatin1AndTextBeyondItIsRefused)
{
    // Latin-1 bytes shown as their characters; a letter appended and typed
    // accents come back one byte each.
    CDlgEdit locEdit;
    locEdit.myTypeName = "LOCTEXT";
    locEdit.myName = "label";
    locEdit.myValue = "Sp\xe4her \xe9t\xe9";
    Expect("Edit Free", [&locEdit](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_VALUE), "Sp\xc3\xa4her \xc3\xa9t\xc3\xa9");
        Type(aDialog, IDC_VALUE, "s Gr\xc3\xb6\xc3\x9f" "e");
        // The euro sign and a CJK letter: refused with a message, the dialog stays as typed.
        Type(aDialog, IDC_VALUE, " 5\xe2\x82\xac \xe4\xb8\xad");
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        EXPECT_EQ(locEdit.myValue, "Sp\xe4her \xe9t\xe9");
        for (int i = 0; i < 5; i++)
        {
            QKeyEvent locBack(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
            QApplication::sendEvent(UI_GetControlWidget(aDialog, IDC_VALUE), &locBack);
        }
        PressEnter(aDialog);
    });
    ASSERT_EQ(locEdit.DoModal(), UI_IDOK);
    EXPECT_EQ(locEdit.myValue, "Sp\xe4her \xe9t\xe9s Gr\xf6\xdf" "e");
    EXPECT_EQ(myPrompts.GetBoxes(), (Texts{"Invalid Text|'\xe2\x82\xac' is not a character of ISO 8859-1 (Latin-1), "
                                           "the only characters Velk text holds."}));

    // Names: OK stays enabled for a name Velk cannot hold, so that OK can say why.
    myPrompts.Clear();
    CDlgRenameInstance locRename;
    locRename.myTypeName = "Unit";
    locRename.myName = "h\xe9ro";
    Expect("Rename Instance", [&locRename](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_NAME), "h\xc3\xa9ro");
        UI_SetControlText(aDialog, IDC_NAME, "\xce\xb1lpha");
        EXPECT_TRUE(UI_IsControlEnabled(aDialog, UI_IDOK));
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_EQ(locRename.myName, "h\xe9ro");
        UI_SetControlText(aDialog, IDC_NAME, "\xc3\xa5lpha");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locRename.DoModal(), UI_IDOK);
    EXPECT_EQ(locRename.myName, "\xe5lpha");
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0].substr(0, 17), "Invalid Text|'\xce\xb1'");

    // Lists: Latin-1 values listed, found and picked; a typed member refused before it is listed.
    myPrompts.Clear();
    CDlgEditType locEnum;
    locEnum.myTypeName = "Colour";
    locEnum.myValues = List({"Rouge", "Bleu fonc\xe9"});
    locEnum.myValue = "Bleu fonc\xe9";
    Expect("Edit Type", [](UI_Dialog* aDialog) {
        EXPECT_EQ(ListTexts(aDialog, IDC_LIST), (Texts{"Rouge", "Bleu fonc\xc3\xa9"}));
        EXPECT_EQ(UI_ListGetCurSel(aDialog, IDC_LIST), 1);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locEnum.DoModal(), UI_IDOK);
    EXPECT_EQ(locEnum.myValue, "Bleu fonc\xe9");
    CDlgType locType;
    Expect("Create / Edit Type", [](UI_Dialog* aDialog) {
        UI_SetControlText(aDialog, IDC_VALUE, "\xe2\x84\xa2");
        UI_ClickButton(aDialog, CDlgType::IDC_ADD_VALUE);
        UI_SetControlText(aDialog, IDC_VALUE, "\xc2\xae");
        UI_ClickButton(aDialog, CDlgType::IDC_ADD_VALUE);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locType.DoModal(), UI_IDOK);
    EXPECT_EQ(Vector(locType.myMembers), (Texts{"\xae"}));
    EXPECT_EQ(myPrompts.GetBoxes().size(), 1u);

    // A file made on this system has a UTF-8 name: found as shown, stored as Latin-1.
    myPrompts.Clear();
    // One whose name Latin-1 cannot write is found, but not stored.
    std::ofstream("caf\xc3\xa9.wav") << "RIFF";
    std::ofstream("\xe2\x82\xac.wav") << "RIFF";
    CDlgEditFile locFile;
    locFile.myBaseDirectory = myDir.c_str();
    locFile.myValue = "caf\xe9.wav";
    Expect("Edit File", [&locFile, this](UI_Dialog* aDialog) {
        EXPECT_EQ(Text(aDialog, IDC_VALUE), "caf\xc3\xa9.wav");
        EXPECT_EQ(Text(aDialog, CDlgEditFile::IDC_STATUS), "ok");
        UI_SetControlText(aDialog, IDC_VALUE, (myDir / "\xe2\x82\xac.wav").c_str());
        EXPECT_EQ(Text(aDialog, CDlgEditFile::IDC_STATUS), "ok");
        UI_ClickButton(aDialog, UI_IDOK);
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        EXPECT_EQ(locFile.myValue, "caf\xe9.wav");
        UI_SetControlText(aDialog, IDC_VALUE, (myDir / "caf\xc3\xa9.wav").c_str());
        UI_ClickButton(aDialog, UI_IDOK);
    });
    ASSERT_EQ(locFile.DoModal(), UI_IDOK);
    EXPECT_EQ(locFile.myValue, "caf\xe9.wav");
    ASSERT_EQ(myPrompts.GetBoxes().size(), 1u);
    EXPECT_EQ(myPrompts.GetBoxes()[0].substr(0, 18), "Invalid Text|'\xe2\x82\xac'");
}

namespace
{
const char* const SIGNS_FRUIT =
    "CLASS Sign\r\n{\r\nLOCTEXT label\r\nTEXT note\r\n}\r\n"
    "CLASS Plain\r\n{\r\nTEXT note\r\nSign* sign\r\n}\r\n"
    "CLASS Sk\xe6rm\r\n{\r\nLOCTEXT label\r\n}\r\n"
    "SCRIPTCLASS Board\r\n{\r\nSign\r\nTEXT\r\n}\r\n";

const std::string NOT_ASCII = "' cannot be in this name: it would be in the key of the LOCTEXT text '";
const std::string ONLY_ASCII = "', and the .tez conversion takes only ASCII characters (below 128) in keys.";

// Types a name, presses OK and says whether the dialog stayed open.
bool Refused(UI_Dialog* aDialog, const std::string& aUtf8)
{
    UI_SetControlText(aDialog, IDC_NAME, aUtf8.c_str());
    UI_ClickButton(aDialog, UI_IDOK);
    return UI_IsDialogVisible(aDialog);
}
} // namespace

// The .loc key of a LOCTEXT text is the path of names down to it: a name that
// would put a character above 127, "//" or more than 255 characters into one
// is refused where it is typed, and only such a name.
TEST_F(DialogTest, CreateInstanceRefusesNamesTheLocKeysCannotHold)
{
    std::ofstream("signs.fruit") << SIGNS_FRUIT;
    ASSERT_TRUE(myTypes.Compile("signs.fruit"));
    CDlgInstance locCreate;
    locCreate.myTypes = List({"Plain", "Sign", "LOCTEXT", "Sk\xe6rm"});
    locCreate.myTypeManager = &myTypes;
    Expect("Create Instance", [this](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, 1);
        EXPECT_TRUE(Refused(aDialog, "\xc3\x98resund"));
        EXPECT_EQ(myPrompts.GetBoxes(),
                  (Texts{"Invalid Name|'\xc3\x98" + NOT_ASCII + "\xc3\x98resund.label" + ONLY_ASCII}));
        myPrompts.Clear();
        // "//" would not read back from the .velk file: OK is not even enabled.
        EXPECT_TRUE(Refused(aDialog, "a//b"));
        EXPECT_TRUE(myPrompts.GetBoxes().empty());
        std::string locWhy;
        EXPECT_FALSE(Dlg_NameConverts(myTypes.GetType("Sign"), "", "a//b", &locWhy));
        EXPECT_EQ(locWhy, "\"//\" cannot be in this name: it would be in the key of the LOCTEXT text 'a//b.label', "
                          "where the .loc file would read it as the start of a comment, so the .tez conversion "
                          "refuses it.");
        myPrompts.Clear();
        // 249 characters and ".label" make the longest key.
        EXPECT_TRUE(Refused(aDialog, std::string(250, 'n')));
        EXPECT_EQ(myPrompts.GetBoxes(),
                  (Texts{"Invalid Name|The name is too long here: the key of the LOCTEXT text it would hold, '" +
                         std::string(250, 'n') +
                         ".label', would be 256 characters long, and the .tez conversion takes keys of at most 255."}));
        myPrompts.Clear();
        // A LOCTEXT root is its own key.
        UI_ListClick(aDialog, IDC_LIST, 2);
        EXPECT_TRUE(Refused(aDialog, "caf\xc3\xa9"));
        // An empty name is made up from the type's, which is not ASCII.
        UI_ListClick(aDialog, IDC_LIST, 3);
        EXPECT_TRUE(Refused(aDialog, ""));
        EXPECT_TRUE(Refused(aDialog, "Sk\xc3\xa6rm"));
        ASSERT_EQ(myPrompts.GetBoxes().size(), 3u);
        EXPECT_EQ(myPrompts.GetBoxes()[1], "Invalid Name|'\xc3\xa6" + NOT_ASCII + "Sk\xc3\xa6rm0.label" + ONLY_ASCII);
        myPrompts.Clear();
        EXPECT_FALSE(Refused(aDialog, "Skaerm"));
    });
    ASSERT_EQ(locCreate.DoModal(), UI_IDOK);
    EXPECT_EQ(locCreate.myTypeName, "Sk\xe6rm");
    EXPECT_EQ(locCreate.myName, "Skaerm");
    EXPECT_TRUE(myPrompts.GetBoxes().empty());

    // What converts today stays accepted: no LOCTEXT text below (a reference
    // to a Sign holds none), and keys of 255 characters.
    CDlgInstance locPlain;
    locPlain.myTypes = List({"Plain", "Sign"});
    locPlain.myTypeManager = &myTypes;
    Expect("Create Instance", [](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, 1);
        EXPECT_FALSE(Refused(aDialog, std::string(249, 'n')));
    });
    ASSERT_EQ(locPlain.DoModal(), UI_IDOK);
    Expect("Create Instance", [](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, 0);
        EXPECT_FALSE(Refused(aDialog, "\xc3\x98resund/" + std::string(300, 'n')));
    });
    ASSERT_EQ(locPlain.DoModal(), UI_IDOK);
    EXPECT_EQ(std::string(locPlain.myName.GetBuffer()), "\xd8resund/" + std::string(300, 'n'));
    EXPECT_TRUE(myPrompts.GetBoxes().empty());
}

TEST_F(DialogTest, RenameCopyAndNewContentsRefuseNamesTheLocKeysCannotHold)
{
    std::ofstream("signs.fruit") << SIGNS_FRUIT;
    ASSERT_TRUE(myTypes.Compile("signs.fruit"));
    std::ofstream("signs.velk") << "INCLUDE signs.fruit\r\nSign tank\r\n{\r\n\tlabel Hi\r\n}\r\n"
                                   "Board board\r\n{\r\n\tSign Sign(0)\r\n\t{\r\n\t}\r\n\tTEXT t hello\r\n}\r\n"
                                   "Board \xc6r\xf8\r\n{\r\n\tSign Sign(0)\r\n\t{\r\n\t}\r\n}\r\n"
                                   "Plain plain\r\n{\r\n}\r\n";
    VelkNameSpace locSpace;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, "signs.velk", &myTypes, nullptr));
    VelkType* locBoard = locSpace.GetInstance("board", false);
    ASSERT_NE(locBoard, nullptr);
    VelkType* locContent = locBoard->FindMember("Sign(0)");
    ASSERT_NE(locContent, nullptr);
    EXPECT_EQ(Dlg_PathOf(locContent), "board.Sign(0)");

    // A name's key goes on through its contents; a content's starts at its root.
    struct Case
    {
        VelkType* myObject;
        std::string myName;   // UTF-8
        bool myRefusedFlag;
    };
    const Case locCases[] = {
        {locSpace.GetInstance("tank", false), "\xc3\x98resund", true},
        {locSpace.GetInstance("tank", false), "Oresund", false},
        {locBoard, "b\xc3\xb8" "ard", true},
        {locContent, "S\xc3\xa9", true},
        {locContent, std::string(243, 's'), false},
        {locContent, std::string(244, 's'), true},
        {locBoard->FindMember("t"), "\xc3\xa9t\xc3\xa9", false},
        {locSpace.GetInstance("plain", false), "pl\xc3\xa2in", false},
        // Under a root that breaks the rule already, the name is not to blame.
        {locSpace.GetInstance("\xc6r\xf8", false)->FindMember("Sign(0)"), "\xc3\x98", false},
    };
    for (const Case& locCase : locCases)
    {
        myPrompts.Clear();
        CDlgRenameInstance locRename;
        locRename.myTypeName = locCase.myObject->GetTypeName();
        locRename.myName = locCase.myObject->GetName();
        locRename.myObject = locCase.myObject;
        locRename.myParentPath = Dlg_PathOf(locCase.myObject->GetParent());
        bool locRefused = false;
        Expect("Rename Instance", [&](UI_Dialog* aDialog) {
            locRefused = Refused(aDialog, locCase.myName);
            if (locRefused)
                UI_ClickButton(aDialog, UI_IDCANCEL);
        });
        EXPECT_EQ(locRename.DoModal(), locCase.myRefusedFlag ? UI_IDCANCEL : UI_IDOK) << locCase.myName;
        EXPECT_EQ(locRefused, locCase.myRefusedFlag) << locCase.myName;
        EXPECT_EQ(myPrompts.GetBoxes().size(), locCase.myRefusedFlag ? 1u : 0u) << locCase.myName;
        if (locCase.myName == "S\xc3\xa9")
            EXPECT_EQ(myPrompts.GetBoxes(),
                      (Texts{"Invalid Name|'\xc3\xa9" + NOT_ASCII + "board.S\xc3\xa9.label" + ONLY_ASCII}));
    }

    // A copy is named for the place it goes to.
    myPrompts.Clear();
    CDlgCopyInstance locCopy;
    locCopy.myTypeName = "Sign";
    locCopy.myName = "Sign(0)";
    locCopy.myObject = locContent;
    locCopy.myParentPath = "board";
    Expect("Copy Instance", [](UI_Dialog* aDialog) {
        EXPECT_TRUE(Refused(aDialog, "\xc3\xa9"));
        EXPECT_FALSE(Refused(aDialog, "e"));
    });
    ASSERT_EQ(locCopy.DoModal(), UI_IDOK);
    EXPECT_EQ(myPrompts.GetBoxes(), (Texts{"Invalid Name|'\xc3\xa9" + NOT_ASCII + "board.\xc3\xa9.label" + ONLY_ASCII}));

    // New contents of a script class: a Sign holds a LOCTEXT text, a TEXT none.
    myPrompts.Clear();
    CDlgEditScriptClass locEdit(locBoard);
    locEdit.myTypeManager = &myTypes;
    Expect("Edit ScriptClass", [](UI_Dialog* aDialog) {
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_ADD);
        UI_ClickButton(aDialog, CDlgEditScriptClass::IDC_ADD);
        EXPECT_EQ(ListTexts(aDialog, IDC_LIST), (Texts{"Sign Sign(0)", "TEXT t", "Sign s", "TEXT \xc3\xa9"}));
        UI_ClickButton(aDialog, UI_IDOK);
    });
    Expect("Add ScriptClass Content", [](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, 0);
        EXPECT_TRUE(Refused(aDialog, "\xc3\xa9"));
        EXPECT_FALSE(Refused(aDialog, "s"));
    });
    Expect("Add ScriptClass Content", [](UI_Dialog* aDialog) {
        UI_ListClick(aDialog, IDC_LIST, 1);
        EXPECT_FALSE(Refused(aDialog, "\xc3\xa9"));
    });
    ASSERT_EQ(locEdit.DoModal(), UI_IDOK);
    EXPECT_EQ(myPrompts.GetBoxes(), (Texts{"Invalid Name|'\xc3\xa9" + NOT_ASCII + "board.\xc3\xa9.label" + ONLY_ASCII}));
}
