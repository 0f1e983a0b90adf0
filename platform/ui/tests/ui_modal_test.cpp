// Modal dialogs with the test hook, and the radio, combo, edit and tree controls.
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog.h"
#include "platform/ui/ui_qt.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace
{
enum
{
    ID_EDIT = 20,
    ID_READONLY = 21,
    ID_RADIO_A = 22,
    ID_RADIO_B = 23,
    ID_RADIO_C = 24,
    ID_RADIO_D = 25,
    ID_COMBO = 26,
    ID_TREE = 27,
    ID_LIST = 28,
    ID_NESTED = 29,
};

const UI_ControlTemplate ourControls[] = {
    {UI_IDOK, UI_CONTROL_PUSHBUTTON, "OK", 200, 7, 50, 14, UI_STYLE_DEFAULT_BUTTON},
    {UI_IDCANCEL, UI_CONTROL_PUSHBUTTON, "Cancel", 200, 24, 50, 14, 0},
    {ID_NESTED, UI_CONTROL_PUSHBUTTON, "Nested", 200, 41, 50, 14, 0},
    {ID_EDIT, UI_CONTROL_EDIT, "", 7, 7, 100, 12, UI_STYLE_BORDER},
    {ID_READONLY, UI_CONTROL_EDIT, "fixed", 7, 22, 100, 12, UI_STYLE_BORDER | UI_STYLE_READONLY},
    {ID_RADIO_A, UI_CONTROL_RADIOBUTTON, "A", 7, 37, 40, 10, UI_STYLE_GROUP},
    {ID_RADIO_B, UI_CONTROL_RADIOBUTTON, "B", 7, 48, 40, 10, 0},
    {ID_RADIO_C, UI_CONTROL_RADIOBUTTON, "C", 60, 37, 40, 10, UI_STYLE_GROUP},
    {ID_RADIO_D, UI_CONTROL_RADIOBUTTON, "D", 60, 48, 40, 10, 0},
    {ID_COMBO, UI_CONTROL_COMBOBOX, nullptr, 7, 62, 100, 60, 0},
    {ID_TREE, UI_CONTROL_TREE, nullptr, 7, 80, 100, 80, UI_STYLE_BORDER | UI_STYLE_TV_CHECKBOXES},
    {ID_LIST, UI_CONTROL_LISTBOX, nullptr, 120, 80, 70, 80, UI_STYLE_BORDER | UI_STYLE_LB_NOTIFY},
};
const UI_DialogTemplate ourTemplate = {200, "Modal", 260, 170, "MS Shell Dlg", 8, ourControls,
                                       int(sizeof(ourControls) / sizeof(ourControls[0]))};

struct Record
{
    std::vector<std::pair<int, int>> myCommands;   // control id, notification
    void* myUserDataAtInit = nullptr;
    intptr_t myNestedResult = 0;
    int myDepth = 0;
    bool myEndAtInitFlag = false;
};

// Ends on OK and Cancel with their ids; "Nested" runs the same dialog modally.
intptr_t locModalProc(UI_Dialog* aDialog, const UI_Message& aMessage)
{
    Record* locRecord = static_cast<Record*>(UI_GetDialogUserData(aDialog));
    if (aMessage.myKind == UI_MSG_INITDIALOG)
    {
        locRecord->myUserDataAtInit = locRecord;
        if (locRecord->myEndAtInitFlag)
            UI_EndDialog(aDialog, 77);
        return 1;
    }
    if (aMessage.myKind != UI_MSG_COMMAND)
        return 0;
    locRecord->myCommands.push_back({aMessage.myControlId, aMessage.myNotifyCode});
    if (aMessage.myControlId == UI_IDOK || aMessage.myControlId == UI_IDCANCEL)
        UI_EndDialog(aDialog, aMessage.myControlId);
    if (aMessage.myControlId == ID_NESTED)
    {
        Record locInner;
        locInner.myDepth = locRecord->myDepth + 1;
        locRecord->myNestedResult = UI_DoModal(ourTemplate, locModalProc, aDialog, &locInner);
    }
    return 1;
}

bool locHas(const Record& aRecord, int anId, int aCode)
{
    for (const auto& locCommand : aRecord.myCommands)
        if (locCommand.first == anId && locCommand.second == aCode)
            return true;
    return false;
}

// Installs a hook for the test's length.
class ModalTest : public ::testing::Test
{
protected:
    void TearDown() override { UI_SetModalHook(nullptr); }
};

void locPressKey(UI_Dialog* aDialog, int aKey)
{
    QKeyEvent locPress(QEvent::KeyPress, aKey, Qt::NoModifier);
    QApplication::sendEvent(UI_GetDialogWidget(aDialog), &locPress);
}
} // namespace

TEST_F(ModalTest, HookRunsInsideTheLoopAndTheEndingIdIsReturned)
{
    Record locRecord;
    int locHookCalls = 0;
    UI_SetModalHook([&](UI_Dialog* aDialog) {
        locHookCalls++;
        EXPECT_TRUE(UI_IsDialogVisible(aDialog));
        UI_SetControlText(aDialog, ID_EDIT, "typed");
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_EQ(UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord), UI_IDOK);
    EXPECT_EQ(locHookCalls, 1);
    EXPECT_EQ(locRecord.myUserDataAtInit, &locRecord);
    EXPECT_TRUE(locHas(locRecord, ID_EDIT, UI_EN_CHANGE));
}

TEST_F(ModalTest, DialogEndedWhileItStartsIsNeverShown)
{
    Record locRecord;
    locRecord.myEndAtInitFlag = true;
    int locHookCalls = 0;
    UI_SetModalHook([&](UI_Dialog*) { locHookCalls++; });
    EXPECT_EQ(UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord), 77);
    EXPECT_EQ(locHookCalls, 0);
}

TEST_F(ModalTest, EnterAndEscapeArriveAsOkAndCancel)
{
    for (int locKey : {int(Qt::Key_Return), int(Qt::Key_Escape)})
    {
        Record locRecord;
        UI_SetModalHook([&](UI_Dialog* aDialog) { locPressKey(aDialog, locKey); });
        intptr_t locResult = UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord);
        EXPECT_EQ(locResult, locKey == Qt::Key_Return ? UI_IDOK : UI_IDCANCEL);
    }
}

TEST_F(ModalTest, NestedDialogsRunInsideTheirParentsLoop)
{
    Record locRecord;
    std::vector<std::string> locSeen;
    UI_SetModalHook([&](UI_Dialog* aDialog) {
        Record* locOwn = static_cast<Record*>(UI_GetDialogUserData(aDialog));
        locSeen.push_back("depth " + std::to_string(locOwn->myDepth));
        if (locOwn->myDepth == 0)
        {
            UI_ClickButton(aDialog, ID_NESTED);
            EXPECT_TRUE(UI_IsDialogVisible(aDialog));
            UI_ClickButton(aDialog, UI_IDCANCEL);
        }
        else
            UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_EQ(UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord), UI_IDCANCEL);
    EXPECT_EQ(locRecord.myNestedResult, UI_IDOK);
    EXPECT_EQ(locSeen, (std::vector<std::string>{"depth 0", "depth 1"}));
}

TEST_F(ModalTest, OffscreenWithoutHookOrAnswerTheDialogIsCancelled)
{
    Record locRecord;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord), UI_IDCANCEL);
    std::string locNote = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(locNote.find("\"Modal\""), std::string::npos) << locNote;
    EXPECT_TRUE(locRecord.myCommands.empty());

    UI_SetModalHook([](UI_Dialog* aDialog) { UI_SetControlText(aDialog, ID_EDIT, "left open"); });
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord), UI_IDCANCEL);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("left open by the modal hook"), std::string::npos);
}

TEST_F(ModalTest, RadioGroupsEditsCombosAndListsBehaveAsTheWindowsControls)
{
    Record locRecord;
    UI_SetModalHook([&](UI_Dialog* aDialog) {
        // Two groups: checking B leaves C alone.
        EXPECT_TRUE(UI_CheckRadioButton(aDialog, ID_RADIO_A, ID_RADIO_B, ID_RADIO_A));
        EXPECT_TRUE(UI_CheckRadioButton(aDialog, ID_RADIO_C, ID_RADIO_D, ID_RADIO_C));
        EXPECT_TRUE(UI_ClickButton(aDialog, ID_RADIO_B));
        EXPECT_FALSE(UI_IsButtonChecked(aDialog, ID_RADIO_A));
        EXPECT_TRUE(UI_IsButtonChecked(aDialog, ID_RADIO_B));
        EXPECT_TRUE(UI_IsButtonChecked(aDialog, ID_RADIO_C));
        EXPECT_TRUE(UI_SetButtonCheck(aDialog, ID_RADIO_C, false));
        EXPECT_FALSE(UI_IsButtonChecked(aDialog, ID_RADIO_C));
        EXPECT_TRUE(locHas(locRecord, ID_RADIO_B, UI_BN_CLICKED));

        QLineEdit* locFixed = static_cast<QLineEdit*>(UI_GetControlWidget(aDialog, ID_READONLY));
        EXPECT_TRUE(locFixed->isReadOnly());

        EXPECT_EQ(UI_ComboAdd(aDialog, ID_COMBO, "zeta"), 0);
        EXPECT_EQ(UI_ComboAdd(aDialog, ID_COMBO, "alpha"), 1);
        EXPECT_EQ(UI_ComboGetCurSel(aDialog, ID_COMBO), -1);
        EXPECT_TRUE(UI_ComboSetCurSel(aDialog, ID_COMBO, 1));
        EXPECT_FALSE(locHas(locRecord, ID_COMBO, UI_CBN_SELCHANGE));
        EXPECT_TRUE(UI_ComboPick(aDialog, ID_COMBO, 0));
        EXPECT_TRUE(locHas(locRecord, ID_COMBO, UI_CBN_SELCHANGE));
        std::string locText;
        EXPECT_TRUE(UI_ComboGetText(aDialog, ID_COMBO, 1, &locText));
        EXPECT_EQ(locText, "alpha");
        EXPECT_TRUE(UI_ComboReset(aDialog, ID_COMBO));
        EXPECT_EQ(UI_ComboGetCount(aDialog, ID_COMBO), 0);

        UI_ListAdd(aDialog, ID_LIST, "one");
        UI_ListAdd(aDialog, ID_LIST, "two");
        EXPECT_TRUE(UI_ListDoubleClick(aDialog, ID_LIST, 1));
        EXPECT_EQ(UI_ListGetCurSel(aDialog, ID_LIST), 1);
        EXPECT_TRUE(locHas(locRecord, ID_LIST, UI_LBN_SELCHANGE));
        EXPECT_TRUE(locHas(locRecord, ID_LIST, UI_LBN_DBLCLK));
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_EQ(UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord), UI_IDOK);
}

TEST_F(ModalTest, TreeKeepsOrderChecksDataImagesAndRefusesStaleItems)
{
    Record locRecord;
    UI_SetModalHook([&](UI_Dialog* aDialog) {
        UI_TreeItem locB = UI_TreeInsert(aDialog, ID_TREE, UI_TREE_ROOT, "beta", 1, true);
        UI_TreeItem locA = UI_TreeInsert(aDialog, ID_TREE, UI_TREE_ROOT, "Alpha", 0, true);
        UI_TreeItem locLast = UI_TreeInsert(aDialog, ID_TREE, UI_TREE_ROOT, "aardvark", -1, false);
        UI_TreeItem locChild = UI_TreeInsert(aDialog, ID_TREE, locA, "child", -1, false);
        UI_TreeItem locGrand = UI_TreeInsert(aDialog, ID_TREE, locChild, "grandchild", -1, false);
        ASSERT_NE(locGrand, 0);
        EXPECT_EQ(UI_TreeGetCount(aDialog, ID_TREE), 5);
        // Sorted without regard to case, the unsorted one appended.
        EXPECT_EQ(UI_TreeGetRelated(aDialog, ID_TREE, UI_TREE_ROOT, UI_TREE_CHILD), locA);
        EXPECT_EQ(UI_TreeGetRelated(aDialog, ID_TREE, locA, UI_TREE_NEXT), locB);
        EXPECT_EQ(UI_TreeGetRelated(aDialog, ID_TREE, locB, UI_TREE_NEXT), locLast);
        EXPECT_EQ(UI_TreeGetRelated(aDialog, ID_TREE, locLast, UI_TREE_NEXT), 0);
        EXPECT_EQ(UI_TreeGetRelated(aDialog, ID_TREE, locGrand, UI_TREE_PARENT), locChild);
        EXPECT_EQ(UI_TreeGetRelated(aDialog, ID_TREE, locA, UI_TREE_PARENT), 0);

        EXPECT_TRUE(UI_TreeSetData(aDialog, ID_TREE, locChild, intptr_t(0x123456789)));
        EXPECT_EQ(UI_TreeGetData(aDialog, ID_TREE, locChild), intptr_t(0x123456789));
        EXPECT_FALSE(UI_TreeGetCheck(aDialog, ID_TREE, locChild));
        EXPECT_TRUE(UI_TreeClickCheck(aDialog, ID_TREE, locChild));
        EXPECT_TRUE(UI_TreeGetCheck(aDialog, ID_TREE, locChild));
        EXPECT_TRUE(UI_TreeSetCheck(aDialog, ID_TREE, locChild, false));
        EXPECT_FALSE(UI_TreeGetCheck(aDialog, ID_TREE, locChild));

        UI_Image locRed{2, 2, std::vector<uint32_t>(4, 0xFFFF0000)};
        UI_Image locBlue{2, 2, std::vector<uint32_t>(4, 0xFF0000FF)};
        EXPECT_TRUE(UI_TreeSetImageList(aDialog, ID_TREE, {locRed, locBlue}));
        EXPECT_EQ(UI_TreeGetImage(aDialog, ID_TREE, locB), 1);
        EXPECT_FALSE(UI_TreeSetImageList(aDialog, ID_TREE, {UI_Image{2, 2, {}}}));

        EXPECT_TRUE(UI_TreeExpand(aDialog, ID_TREE, locA, true));
        EXPECT_TRUE(UI_TreeIsExpanded(aDialog, ID_TREE, locA));
        EXPECT_TRUE(UI_TreeClick(aDialog, ID_TREE, locChild));
        EXPECT_EQ(UI_TreeGetSelection(aDialog, ID_TREE), locChild);
        EXPECT_TRUE(locHas(locRecord, ID_TREE, UI_TVN_SELCHANGED));

        // Deleting a branch deletes its items; their handles are refused after.
        EXPECT_TRUE(UI_TreeDelete(aDialog, ID_TREE, locA));
        EXPECT_EQ(UI_TreeGetCount(aDialog, ID_TREE), 2);
        std::string locText;
        EXPECT_FALSE(UI_TreeGetText(aDialog, ID_TREE, locGrand, &locText));
        EXPECT_EQ(UI_TreeInsert(aDialog, ID_TREE, locChild, "orphan", -1, false), 0);
        EXPECT_TRUE(UI_TreeGetText(aDialog, ID_TREE, locB, &locText));
        EXPECT_EQ(locText, "beta");
        EXPECT_TRUE(UI_TreeReset(aDialog, ID_TREE));
        EXPECT_EQ(UI_TreeGetRelated(aDialog, ID_TREE, UI_TREE_ROOT, UI_TREE_CHILD), 0);
        UI_ClickButton(aDialog, UI_IDOK);
    });
    EXPECT_EQ(UI_DoModal(ourTemplate, locModalProc, nullptr, &locRecord), UI_IDOK);
}
