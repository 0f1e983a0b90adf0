// Drop-down lists at their closed height, base units from the dialog's font,
// and the layout check of the gallery, on real widgets offscreen.
#include "platform/ui/ui_app.h"
#include "platform/ui/ui_dialog.h"
#include "platform/ui/ui_frame.h"
#include "platform/ui/ui_gallery.h"
#include "platform/ui/ui_qt.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{
enum
{
    ID_COMBO = 10,
    ID_BELOW = 11,
    ID_LEFT = 20,
    ID_RIGHT = 21,
    ID_GROUP = 22,
    ID_INSIDE = 23,
    ID_LABEL = 24,
    ID_FIELD = 25,
    ID_CUT = 26,
};

intptr_t locProc(UI_Dialog*, const UI_Message&)
{
    return 0;
}

// A drop-down list 100 units tall over a label it must not cover.
const UI_ControlTemplate ourComboControls[] = {
    {ID_COMBO, UI_CONTROL_COMBOBOX, nullptr, 10, 10, 100, 100, 0},
    {ID_BELOW, UI_CONTROL_STATIC, "Below the list", 10, 30, 100, 8, 0},
};
const UI_DialogTemplate ourComboTemplate = {1, "Combo", 140, 60, "MS Shell Dlg", 8, ourComboControls, 2};

// Dark pixels inside the rectangle, and where they lie.
int locInk(const QImage& anImage, const QRect& aRect, QRect* aBounds = nullptr)
{
    int locCount = 0;
    QRect locBounds;
    QRect locRect = aRect & anImage.rect();
    for (int y = locRect.top(); y <= locRect.bottom(); y++)
        for (int x = locRect.left(); x <= locRect.right(); x++)
            if (qGray(anImage.pixel(x, y)) < 100)
            {
                locCount++;
                locBounds |= QRect(x, y, 1, 1);
            }
    if (aBounds)
        *aBounds = locBounds;
    return locCount;
}

const UI_LayoutControl* locFind(const std::vector<UI_LayoutControl>& aControls, int anId)
{
    for (const UI_LayoutControl& locControl : aControls)
        if (locControl.myId == anId)
            return &locControl;
    return nullptr;
}

bool locNamed(const std::vector<std::string>& aFaults, const std::string& aText)
{
    for (const std::string& locFault : aFaults)
        if (locFault.find(aText) != std::string::npos)
            return true;
    return false;
}
} // namespace

TEST(GalleryTest, ComboIsOneLineHighClosedAndItsTemplateHeightIsTheOpenedList)
{
    UI_Dialog* locDialog = UI_CreateDialog(ourComboTemplate, locProc, nullptr);
    ASSERT_NE(locDialog, nullptr);
    for (int i = 0; i < 20; i++)
        UI_ComboAdd(locDialog, ID_COMBO, ("Entry " + std::to_string(i)).c_str());
    UI_ComboSetCurSel(locDialog, ID_COMBO, 3);
    UI_ShowDialog(locDialog, true);
    QApplication::processEvents();

    int locBaseX = 0, locBaseY = 0;
    UI_GetDialogBaseUnits(locDialog, &locBaseX, &locBaseY);
    QComboBox* locCombo = static_cast<QComboBox*>(UI_GetControlWidget(locDialog, ID_COMBO));
    const int locLine = locCombo->fontMetrics().height();
    QRect locClosed = locCombo->geometry();
    EXPECT_EQ(locClosed.width(), (2 * 100 * locBaseX + 4) / 8);
    EXPECT_GE(locClosed.height(), locLine);
    EXPECT_LT(locClosed.height(), 2 * locLine);
    // The opened list takes the rest of the template's 100 units.
    int locListHeight = (2 * 100 * locBaseY + 8) / 16 - locClosed.height();
    EXPECT_EQ(locCombo->maxVisibleItems(), locListHeight / (locLine + 2));
    EXPECT_GT(locCombo->maxVisibleItems(), 5);

    // Drawn: the current entry inside the closed box, the label below it
    // uncovered, nothing of the list's rows in between.
    QImage locShot = UI_GetDialogWidget(locDialog)->grab().toImage();
    QRect locText;
    EXPECT_GT(locInk(locShot, locClosed.adjusted(1, 1, -locClosed.height() - 4, -1), &locText), 10);
    EXPECT_GE(locText.top(), locClosed.top() + 3);
    EXPECT_LE(locText.bottom(), locClosed.bottom() - 3);
    QRect locBelow = UI_GetControlWidget(locDialog, ID_BELOW)->geometry();
    EXPECT_GT(locInk(locShot, locBelow), 10);
    EXPECT_EQ(locInk(locShot, QRect(locClosed.left(), locClosed.bottom() + 1, locClosed.width(),
                                    locBelow.top() - locClosed.bottom() - 1)),
              0);
    EXPECT_TRUE(UI_FindLayoutFaults(UI_DescribeDialog(locDialog, "combo.png")).empty());

    // Moved as MoveWindow moves it: the height given is the list's again.
    ASSERT_TRUE(UI_SetControlRect(locDialog, ID_COMBO, 5, 5, 120, 300));
    EXPECT_EQ(locCombo->geometry(), QRect(5, 5, 120, locClosed.height()));
    EXPECT_EQ(locCombo->maxVisibleItems(), (300 - locClosed.height()) / (locLine + 2));
    UI_DestroyDialog(locDialog);
}

TEST(GalleryTest, BaseUnitsComeFromTheFontTheDialogDrawsWith)
{
    for (int locPoints : {8, 12})
    {
        const UI_DialogTemplate locTemplate = {1, "Units", 100, 50, "MS Shell Dlg", locPoints, ourComboControls, 2};
        UI_Dialog* locDialog = UI_CreateDialog(locTemplate, locProc, nullptr);
        ASSERT_NE(locDialog, nullptr);
        QWidget* locWidget = UI_GetDialogWidget(locDialog);
        QFontMetrics locMetrics = UI_GetControlWidget(locDialog, ID_BELOW)->fontMetrics();
        int locLetters =
            locMetrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        int locBaseX = 0, locBaseY = 0;
        UI_GetDialogBaseUnits(locDialog, &locBaseX, &locBaseY);
        EXPECT_EQ(locBaseX, (locLetters / 26 + 1) / 2) << locPoints;
        EXPECT_EQ(locBaseY, locMetrics.height()) << locPoints;
        EXPECT_EQ(locWidget->width(), (2 * 100 * locBaseX + 4) / 8);
        EXPECT_EQ(locWidget->height(), (2 * 50 * locBaseY + 8) / 16);
        // A label 8 units high holds one line of its font.
        EXPECT_GE(UI_GetControlWidget(locDialog, ID_BELOW)->height(), locMetrics.height());
        UI_DestroyDialog(locDialog);
    }
}

TEST(GalleryTest, FaultsNameOverlapsAndCutTextsButNotGroupsOrLabelsBesideTheirFields)
{
    const UI_ControlTemplate locControls[] = {
        {ID_LEFT, UI_CONTROL_PUSHBUTTON, "Left", 10, 10, 50, 14, 0},
        {ID_RIGHT, UI_CONTROL_PUSHBUTTON, "Right", 50, 12, 50, 14, 0},
        {ID_GROUP, UI_CONTROL_GROUPBOX, "Group", 10, 40, 120, 50, 0},
        {ID_INSIDE, UI_CONTROL_CHECKBOX, "Inside", 20, 55, 60, 10, 0},
        // The label's rectangle reaches under the field, its text does not.
        {ID_LABEL, UI_CONTROL_STATIC, "Name", 140, 10, 80, 8, 0},
        {ID_FIELD, UI_CONTROL_EDIT, "value", 180, 8, 60, 12, UI_STYLE_BORDER},
        {ID_CUT, UI_CONTROL_STATIC, "A label far too long\tfor its place", 140, 40, 30, 8, 0},
    };
    const UI_DialogTemplate locTemplate = {1, "Faults", 250, 100, "MS Shell Dlg", 8, locControls, 7};
    UI_Dialog* locDialog = UI_CreateDialog(locTemplate, locProc, nullptr);
    ASSERT_NE(locDialog, nullptr);
    UI_ShowDialog(locDialog, true);
    QApplication::processEvents();
    std::vector<UI_LayoutControl> locControlsSeen = UI_DescribeDialog(locDialog, "faults.png");
    ASSERT_EQ(locControlsSeen.size(), 7u);
    const UI_LayoutControl* locCut = locFind(locControlsSeen, ID_CUT);
    ASSERT_NE(locCut, nullptr);
    EXPECT_FALSE(locCut->myFitsFlag);
    EXPECT_TRUE(locFind(locControlsSeen, ID_LABEL)->myFitsFlag);
    EXPECT_EQ(UI_LayoutLine(*locCut).substr(0, 21), "faults.png\t26\tstatic\t");
    EXPECT_NE(UI_LayoutLine(*locCut).find("\tA label far too long for its place\t0"), std::string::npos);
    EXPECT_EQ(locFind(locControlsSeen, ID_FIELD)->myClass, "edit");
    EXPECT_EQ(locFind(locControlsSeen, ID_INSIDE)->myClass, "check");

    std::vector<std::string> locFaults = UI_FindLayoutFaults(locControlsSeen);
    EXPECT_EQ(locFaults.size(), 2u);
    EXPECT_TRUE(locNamed(locFaults, "20 (button \"Left\") and 21 (button \"Right\") overlap"));
    EXPECT_TRUE(locNamed(locFaults, "26 (static \"A label far too long for its place\") does not fit"));

    // A longer label runs under its field: now it is a fault.
    UI_SetControlText(locDialog, ID_LABEL, "Name of the thing");
    locFaults = UI_FindLayoutFaults(UI_DescribeDialog(locDialog, "faults.png"));
    EXPECT_TRUE(locNamed(locFaults, "24 (static \"Name of the thing\") and 25 (edit \"value\") overlap"));
    // A control hidden is not seen at all.
    UI_SetControlText(locDialog, ID_LABEL, "Name");
    UI_GetControlWidget(locDialog, ID_RIGHT)->hide();
    locFaults = UI_FindLayoutFaults(UI_DescribeDialog(locDialog, "faults.png"));
    EXPECT_EQ(locFaults.size(), 1u);
    UI_DestroyDialog(locDialog);
}

TEST(GalleryTest, GalleryModeWritesPictureLinesAndFaultsOfAModalDialog)
{
    namespace fs = std::filesystem;
    fs::path locFolder = fs::path(Q_TEST_TMP_DIR) / "gallery";
    fs::remove_all(locFolder);
    fs::create_directories(locFolder);
    setenv("Q_UI_GALLERY", locFolder.c_str(), 1);
    ASSERT_STREQ(UI_GalleryFolder(), locFolder.c_str());
    UI_GalleryShootNextModal("test-combo");
    EXPECT_EQ(UI_DoModal(ourComboTemplate, locProc, nullptr, nullptr), UI_IDCANCEL);
    ASSERT_FALSE(UI_GalleryShots().empty());
    EXPECT_EQ(UI_GalleryShots().back(), "test-combo");
    QImage locPicture(QString::fromStdString((locFolder / "test-combo.png").string()));
    EXPECT_FALSE(locPicture.isNull());
    std::ifstream locLayout(locFolder / "layout.tsv");
    std::vector<std::string> locLines;
    for (std::string locLine; std::getline(locLayout, locLine);)
        locLines.push_back(locLine);
    ASSERT_EQ(locLines.size(), 2u);
    EXPECT_EQ(locLines[0].rfind("test-combo.png\t10\tcombo\t", 0), 0u) << locLines[0];
    EXPECT_EQ(locLines[1].rfind("test-combo.png\t11\tstatic\t", 0), 0u) << locLines[1];
    EXPECT_EQ(locLines[1].substr(locLines[1].size() - 17), "\tBelow the list\t1");
    EXPECT_EQ(fs::file_size(locFolder / "faults.txt"), 0u);
    // The hook was used once: the next dialog is not shot.
    size_t locShots = UI_GalleryShots().size();
    EXPECT_EQ(UI_DoModal(ourComboTemplate, locProc, nullptr, nullptr), UI_IDCANCEL);
    EXPECT_EQ(UI_GalleryShots().size(), locShots);
    unsetenv("Q_UI_GALLERY");
}

// A frame's dialog bar and pane as the window shows them, in the window's
// pixels and inside it; the console's entry a line without its line end.
TEST(GalleryTest, FrameControlsAreDescribedInTheWindowsPixels)
{
    static const UI_MenuEntry locMenu[] = {{UI_MENU_POPUP, 0, "&File"}, {UI_MENU_ITEM, 0xE101, "&Open"},
                                           {UI_MENU_END, 0, nullptr}};
    UI_FrameTemplate locTemplate = {"GalleryFrame", locMenu, 3, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 120};
    UI_Frame* locFrame = UI_CreateFrame(locTemplate);
    ASSERT_NE(locFrame, nullptr);
    const UI_ControlTemplate locBarControls[] = {{ID_COMBO, UI_CONTROL_COMBOBOX, nullptr, 4, 2, 900, 120, 0}};
    const UI_DialogTemplate locBar = {0, "", 910, 16, "MS Shell Dlg", 8, locBarControls, 1};
    const UI_ControlTemplate locPaneControls[] = {{ID_LEFT, UI_CONTROL_TREE, nullptr, 0, 0, 100, 100, 0}};
    const UI_DialogTemplate locPane = {0, "", 100, 100, "MS Shell Dlg", 8, locPaneControls, 1};
    UI_Dialog* locBarDialog = UI_FrameCreateDialogBar(locFrame, locBar, locProc);
    ASSERT_NE(UI_FrameCreatePane(locFrame, locPane, locProc, ID_LEFT), nullptr);
    UI_ComboAdd(locBarDialog, ID_COMBO, "LOG: a line with its line end\n");
    UI_ComboSetCurSel(locBarDialog, ID_COMBO, 0);
    UI_FrameShow(locFrame);
    QWidget* locWindow = UI_GetFrameWidget(locFrame);
    locWindow->showNormal();
    locWindow->resize(640, 480);
    QApplication::processEvents();

    std::vector<UI_LayoutControl> locControls = UI_DescribeFrame(locFrame, "frame.png");
    ASSERT_EQ(locControls.size(), 2u);
    const UI_LayoutControl* locCombo = locFind(locControls, ID_COMBO);
    const UI_LayoutControl* locTree = locFind(locControls, ID_LEFT);
    ASSERT_TRUE(locCombo && locTree);
    EXPECT_EQ(locCombo->myText, "LOG: a line with its line end");
    EXPECT_TRUE(locCombo->myFitsFlag);
    EXPECT_LE(locCombo->myX + locCombo->myWidth, locWindow->width());
    EXPECT_LT(locCombo->myHeight, 2 * UI_GetControlWidget(locBarDialog, ID_COMBO)->fontMetrics().height());
    // The bar lies between the menu and the pane.
    EXPECT_GT(locCombo->myY, 0);
    EXPECT_LE(locCombo->myY + locCombo->myHeight, locTree->myY);
    EXPECT_EQ(locTree->myX, 0);
    EXPECT_TRUE(UI_FindLayoutFaults(locControls).empty());
    UI_DestroyFrame(locFrame);
}
