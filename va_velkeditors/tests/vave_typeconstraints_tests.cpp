// The widget and sound constraints over real skin, GUI and sound files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <typeinfo>
#include <algorithm>
#include <memory>
#include <vector>

#include "va_velkeditors/vave_typeconstraints.h"
#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_log.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const WIDGET_FRUIT =
    "CLASS VAP_Font\r\n{\r\nTEXT myFile\r\n}\r\n"
    "CLASS VAP_Prefab\r\n{\r\nTEXT myImage\r\n}\r\n"
    "SCRIPTCLASS VAP_FontList\r\n{\r\nVAP_Font\r\n}\r\n"
    "SCRIPTCLASS VAP_PrefabList\r\n{\r\nVAP_Prefab\r\n}\r\n"
    "CLASS VAP_Skin\r\n{\r\nVAP_FontList myFonts\r\nVAP_PrefabList myPrefabs\r\n}\r\n"
    "CLASS VAP_BareSkin\r\n{\r\nTEXT myNote\r\n}\r\n"
    "SCRIPTCLASS VAP_SkinList\r\n{\r\nVAP_Skin\r\nVAP_BareSkin\r\n}\r\n"
    "CLASS VAP_SkinFile\r\n{\r\nVAP_SkinList mySkins\r\n}\r\n"
    "CLASS VAP_Button\r\n{\r\nFILE mySkinFile\r\nTEXT mySkin\r\nTEXT myFont\r\nTEXT myUpPrefab\r\nTEXT myTargetGui\r\n}\r\n"
    "CLASS Gui\r\n{\r\nTEXT myTitle\r\n}\r\n"
    "SCRIPTCLASS GuiList\r\n{\r\nGui\r\n}\r\n"
    "CLASS GuiFile\r\n{\r\nGuiList myGuis\r\n}\r\n"
    "CLASS QS_Sound\r\n{\r\nTEXT myFile\r\n}\r\n"
    "SCRIPTCLASS QS_SoundGroup\r\n{\r\nQS_Sound\r\nQS_SoundGroup\r\n}\r\n"
    "CLASS SoundSource\r\n{\r\nTEXT mySound\r\n}\r\n";

const char* const SKIN_VELK =
    "VAP_SkinFile mySkinFile\r\n{\r\n\tmySkins\r\n\t{\r\n"
    "\t\tVAP_Skin red\r\n\t\t{\r\n"
    "\t\t\tmyFonts\r\n\t\t\t{\r\n\t\t\t\tVAP_Font big\r\n\t\t\t\t{\r\n\t\t\t\t}\r\n"
    "\t\t\t\tVAP_Font small\r\n\t\t\t\t{\r\n\t\t\t\t}\r\n\t\t\t}\r\n"
    "\t\t\tmyPrefabs\r\n\t\t\t{\r\n\t\t\t\tVAP_Prefab plate\r\n\t\t\t\t{\r\n\t\t\t\t}\r\n\t\t\t}\r\n"
    "\t\t}\r\n"
    "\t\tVAP_Skin blue\r\n\t\t{\r\n\t\t}\r\n"
    "\t\tVAP_BareSkin plain\r\n\t\t{\r\n\t\t}\r\n"
    "\t}\r\n}\r\n";

const char* const SOUND_VELK =
    "QS_Sound boom\r\n{\r\n}\r\n"
    "SoundSource notASound\r\n{\r\n}\r\n"
    "QS_SoundGroup weapons\r\n{\r\n"
    "\tQS_Sound laser\r\n\t{\r\n\t}\r\n"
    "\tQS_SoundGroup heavy\r\n\t{\r\n\t\tQS_Sound cannon\r\n\t\t{\r\n\t\t}\r\n\t\tQS_Sound mortar\r\n\t\t{\r\n\t\t}\r\n\t}\r\n"
    "\tQS_Sound rocket\r\n\t{\r\n\t}\r\n"
    "}\r\n"
    "QS_Sound click\r\n{\r\n}\r\n";

class ConstraintTest : public VelkScratchTest
{
protected:
    void SetUp() override
    {
        VelkScratchTest::SetUp();
        std::filesystem::create_directories(myDir / "skins");
        std::filesystem::create_directories(myDir / "sound");
        ASSERT_NE(getcwd(myOldDir, sizeof(myOldDir)), nullptr);
        ASSERT_EQ(chdir(myDir.c_str()), 0);
        WriteDisk("widgets.fruit", WIDGET_FRUIT);
        WriteDisk("skins/main.velk", std::string("INCLUDE widgets.fruit\r\n") + SKIN_VELK);
        ASSERT_TRUE(myTypes.Compile("widgets.fruit"));
        VelkLog::SetErrorSwitch(false);
        mySet.Load(&myOpenFile);
    }

    void TearDown() override
    {
        VelkLog::SetErrorSwitch(true);
        ASSERT_EQ(chdir(myOldDir), 0);
    }

    // A button of the open file with the given skin file and skin.
    VelkType* Button(const char* aSkinFile, const char* aSkin)
    {
        std::string locText = std::string("INCLUDE widgets.fruit\r\nVAP_Button button\r\n{\r\n\tmySkinFile ") +
                              aSkinFile + "\r\n\tmySkin " + aSkin + "\r\n}\r\n";
        WriteDisk("button.velk", locText);
        myButtons.emplace_back(new VelkNameSpace);
        EXPECT_TRUE(VelkCompiler::Compile(*myButtons.back(), "button.velk", &myTypes, nullptr));
        return myButtons.back()->GetInstance("button", true);
    }

    std::vector<std::string> Fill(VelkType* anInstance, const char* aMember, bool anExpected = true)
    {
        VelkTypeConstraint* locConstraint = mySet.Find(anInstance, aMember);
        EXPECT_NE(locConstraint, nullptr) << aMember;
        if (!locConstraint)
            return {};
        EXPECT_EQ(locConstraint->Refill(), anExpected) << aMember;
        std::vector<std::string> locValues;
        QC_List<QC_String>& locList = locConstraint->GetValues();
        for (auto* locLink = locList.myFirstLink; locLink; locLink = locLink->myNext)
            locValues.push_back(locLink->myItem.GetBuffer());
        return locValues;
    }

    char myOldDir[4096];
    VelkTypeManager myTypes;
    VelkNameSpace myOpenFile;
    VAVE_TypeConstraintSet mySet;
    std::vector<std::unique_ptr<VelkNameSpace>> myButtons;
};

typedef std::vector<std::string> Values;
} // namespace

TEST_F(ConstraintTest, SkinFontsAndPrefabsComeFromTheSkinFileWithItsExtensionReplaced)
{
    // No "skins/main.skin" exists: the value is read as "skins/main.velk".
    VelkType* locButton = Button("skins/main.skin", "red");
    EXPECT_EQ(Fill(locButton, "mySkin"), (Values{"<empty>", "red", "blue", "plain"}));
    EXPECT_EQ(Fill(locButton, "myFont"), (Values{"<empty>", "big", "small"}));
    EXPECT_EQ(Fill(locButton, "myUpPrefab"), (Values{"<empty>", "plate"}));
    // The skin file is read again on every fill.
    WriteDisk("skins/main.velk", "INCLUDE widgets.fruit\r\nVAP_SkinFile mySkinFile\r\n{\r\n}\r\n");
    EXPECT_EQ(Fill(locButton, "mySkin"), (Values{"<empty>"}));
}

TEST_F(ConstraintTest, EachMissingPieceLeavesOnlyTheFixedFirstEntry)
{
    const Values locOnlyEmpty{"<empty>"};
    // A value whose only '.' is its first character.
    EXPECT_EQ(Fill(Button(".velk", "red"), "mySkin", false), locOnlyEmpty);
    EXPECT_EQ(Fill(Button("skins/none.skin", "red"), "mySkin", false), locOnlyEmpty);
    WriteDisk("skins/broken.velk", "INCLUDE widgets.fruit\r\nVAP_SkinFile mySkinFile\r\n{\r\n\tnoSuchMember 1\r\n}\r\n");
    EXPECT_EQ(Fill(Button("skins/broken.x", "red"), "mySkin", false), locOnlyEmpty);
    WriteDisk("skins/other.velk", "INCLUDE widgets.fruit\r\nVAP_SkinFile someOtherName\r\n{\r\n}\r\n");
    EXPECT_EQ(Fill(Button("skins/other.x", "red"), "mySkin", false), locOnlyEmpty);
    EXPECT_EQ(Fill(Button("skins/main.x", "green"), "myFont", false), locOnlyEmpty);
    EXPECT_EQ(Fill(Button("skins/main.x", "plain"), "myFont", false), locOnlyEmpty);
    EXPECT_EQ(Fill(Button("skins/main.x", "plain"), "myUpPrefab", false), locOnlyEmpty);

    VelkTypeConstraint* locConstraint = mySet.Find(Button("skins/main.x", "red"), "mySkin");
    ASSERT_NE(locConstraint, nullptr);
    locConstraint->SetInstance(nullptr);
    EXPECT_FALSE(locConstraint->Refill());
    EXPECT_EQ(locConstraint->GetValues().myCount, 1);
}

TEST_F(ConstraintTest, TargetGuisComeFromTheOpenFileWhateverIsOpenAtTheTime)
{
    VelkType* locButton = Button("skins/main.x", "red");
    EXPECT_EQ(Fill(locButton, "myTargetGui", false), (Values{"QG_NOTAGUI"}));
    WriteDisk("guis.velk", "INCLUDE widgets.fruit\r\nGuiFile myGuiFile\r\n{\r\n\tmyGuis\r\n\t{\r\n"
                       "\t\tGui main\r\n\t\t{\r\n\t\t}\r\n\t\tGui options\r\n\t\t{\r\n\t\t}\r\n\t}\r\n}\r\n");
    ASSERT_TRUE(VelkCompiler::Compile(myOpenFile, "guis.velk", &myTypes, nullptr));
    EXPECT_EQ(Fill(locButton, "myTargetGui"), (Values{"QG_NOTAGUI", "main", "options"}));
}

TEST_F(ConstraintTest, SoundIdsListNestedGroupsInPlace)
{
    VelkType* locSource = myTypes.GetType("SoundSource")->CloneAs("source");
    EXPECT_EQ(Fill(locSource, "mySound", false), (Values{"<empty>"}));
    WriteDisk("sound/agentsounds.velk", std::string("INCLUDE widgets.fruit\r\n") + SOUND_VELK);
    EXPECT_EQ(Fill(locSource, "mySound"), (Values{"<empty>", "boom", "laser", "cannon", "mortar", "rocket", "click"}));
    delete locSource;
}

TEST_F(ConstraintTest, TableRegistersEveryConstraintInItsOrder)
{
    QC_List<VelkTypeConstraint*>& locAll = mySet.GetConstraints();
    EXPECT_EQ(locAll.myCount, 10 + 9 + 9 + 33 + 6 + 2 + 20);
    std::vector<std::string> locOrder;
    for (auto* locLink = locAll.myFirstLink; locLink; locLink = locLink->myNext)
        locOrder.push_back(std::string(locLink->myItem->GetTypeName().GetBuffer()) + "." +
                           locLink->myItem->GetMemberName().GetBuffer());
    EXPECT_EQ(locOrder[0], "VAP_Plate.mySkin");
    EXPECT_EQ(locOrder[9], "VAP_TextInput.mySkin");
    EXPECT_EQ(locOrder[17], "VAP_MultiColumnTextList.myTitleBarFont");
    EXPECT_EQ(locOrder[28], "VAP_TextList.myPrefab");
    EXPECT_EQ(locOrder[39], "VAP_ComboBox.myPrefab");
    EXPECT_EQ(locOrder[63], "VAP_MultiColumnTextList.myTitleBarDownPrefab");
    EXPECT_EQ(locOrder[67], "VAP_Button.myTargetGui");
    EXPECT_EQ(locOrder[69], "StraightShooter.myFireSound1");
    EXPECT_EQ(locOrder.back(), "UnitType::DeathEffect.mySound8");
    // No pair is registered twice, so the first match is the only one.
    std::sort(locOrder.begin(), locOrder.end());
    EXPECT_EQ(std::adjacent_find(locOrder.begin(), locOrder.end()), locOrder.end());

    VelkFree locShooter("HomingShooter", "h", false);
    VelkTypeConstraint* locFound = mySet.Find(&locShooter, "myFireSound2");
    ASSERT_NE(locFound, nullptr);
    EXPECT_EQ(typeid(*locFound), typeid(VAVE_SoundIdConstraint));
    EXPECT_EQ(locFound->GetInstance(), &locShooter);
    EXPECT_EQ(mySet.Find(&locShooter, "mySkin"), nullptr);

    VelkTypeConstraintSet* locCopy = mySet.Create();
    ASSERT_NE(dynamic_cast<VAVE_TypeConstraintSet*>(locCopy), nullptr);
    delete locCopy;
}
