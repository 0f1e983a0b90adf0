// Type visibility, read-only viewers and browse filters over real compiled files.
#include "owncode/typevis.h"

#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
const char* const TOOLS_FRUIT =
    "CLASS BrowseFilter\r\n{\r\nTEXT myTypeName\r\nTEXT myMemberName\r\nTEXT myExtension\r\n}\r\n"
    "CLASS Filters\r\n{\r\nBrowseFilter first\r\nBrowseFilter second\r\nBrowseFilter third\r\n}\r\n"
    "CLASS Mixed\r\n{\r\nBrowseFilter first\r\nNUMBER count 1\r\n}\r\n"
    "CLASS Unit\r\n{\r\nFILE sound\r\nFILE icon\r\n}\r\n";
const char* const TOOLS_VELK =
    "Filters myBrowseFilters\r\n{\r\n"
    "\tfirst\r\n\t{\r\n\t\tmyTypeName Unit\r\n\t\tmyMemberName sound\r\n\t\tmyExtension wav\r\n\t}\r\n"
    "\tsecond\r\n\t{\r\n\t\tmyTypeName Unit\r\n\t\tmyMemberName sound\r\n\t\tmyExtension mp3\r\n\t}\r\n"
    "\tthird\r\n\t{\r\n\t\tmyTypeName Unit\r\n\t\tmyMemberName icon\r\n\t\tmyExtension tga\r\n\t}\r\n}\r\n"
    "Mixed mixed\r\n{\r\n}\r\n"
    "Unit tank\r\n{\r\n}\r\n";

enum
{
    ID_LIST = 10,
};
const UI_ControlTemplate ourControls[] = {{ID_LIST, UI_CONTROL_LISTBOX, nullptr, 0, 0, 100, 100, 0}};
const UI_DialogTemplate ourTemplate = {1, "Types", 100, 100, "MS Sans Serif", 8, ourControls, 1};

intptr_t locProc(UI_Dialog*, const UI_Message&)
{
    return 0;
}

class TypeVisTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = fs::temp_directory_path() /
                ("typevis_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(myDir);
        fs::create_directories(myDir);
        myFruit = Write("tools.fruit", TOOLS_FRUIT);
        myVelk = Write("tools.velk", "INCLUDE " + myFruit + "\r\n" + TOOLS_VELK);
    }
    void TearDown() override { fs::remove_all(myDir); }
    std::string Write(const std::string& aName, const std::string& aText)
    {
        std::ofstream(myDir / aName, std::ios::binary) << aText;
        return (myDir / aName).string();
    }
    static std::vector<std::string> Names(const QC_List<QC_String>& aList)
    {
        std::vector<std::string> locNames;
        for (QC_List<QC_String>::Link* locLink = aList.myFirstLink; locLink; locLink = locLink->myNext)
            locNames.push_back(locLink->myItem.GetBuffer());
        return locNames;
    }
    fs::path myDir;
    std::string myFruit;
    std::string myVelk;
};

TEST_F(TypeVisTest, NewTypesAreShownHiddenOnesStayHidden)
{
    VelkTypeManager locTypes;
    ASSERT_TRUE(locTypes.Compile(myFruit.c_str()));
    TypeVis locVis(nullptr);
    locVis.Update(locTypes);
    EXPECT_TRUE(locVis.IsShown("Unit"));
    EXPECT_TRUE(locVis.IsShown("NUMBER")); // built-in types too
    EXPECT_FALSE(locVis.IsShown("unit"));  // exact
    int locCount = locVis.GetShown().Count();
    EXPECT_EQ(locCount, locTypes.GetNumTypes());

    // The user hides "Unit"; an update (a merge, an include) keeps it hidden
    // and adds a type declared since.
    QC_List<QC_String> locShown;
    QC_List<QC_String> locHidden;
    for (const std::string& locName : Names(locVis.GetShown()))
        (locName == "Unit" ? locHidden : locShown).Add(QC_String(locName.c_str()));
    locVis.SetLists(locShown, locHidden);
    std::string locMore = Write("more.fruit", "CLASS Tank\r\n{\r\nNUMBER armour 3\r\n}\r\n");
    ASSERT_TRUE(locTypes.Compile(locMore.c_str()));
    locVis.Update(locTypes);
    EXPECT_FALSE(locVis.IsShown("Unit"));
    EXPECT_TRUE(locVis.IsShown("Tank"));
    EXPECT_EQ(Names(locVis.GetShown()).back(), "Tank");
    EXPECT_EQ(Names(locVis.GetHidden()), std::vector<std::string>{"Unit"});

    UI_Dialog* locDialog = UI_CreateDialog(ourTemplate, locProc, nullptr);
    ASSERT_NE(locDialog, nullptr);
    locVis.FillHiddenList(locDialog, ID_LIST);
    EXPECT_EQ(UI_ListGetCount(locDialog, ID_LIST), 1);
    EXPECT_EQ(UI_ListGetCurSel(locDialog, ID_LIST), 0);
    locVis.FillShownList(locDialog, ID_LIST);
    EXPECT_EQ(UI_ListGetCount(locDialog, ID_LIST), locVis.GetShown().Count());
    UI_DestroyDialog(locDialog);

    // Opening a file empties both: every type is shown again.
    locVis.Clear();
    locVis.Update(locTypes);
    EXPECT_TRUE(locVis.IsShown("Unit"));
}

TEST_F(TypeVisTest, ViewerOwnsItsCompiledFileOrIsNotMade)
{
    VelkViewer* locViewer = VelkViewer::Create(myVelk.c_str());
    ASSERT_NE(locViewer, nullptr);
    EXPECT_EQ(locViewer->GetNameSpace().GetNumInstances(), 3);
    EXPECT_NE(locViewer->GetNameSpace().FindByName("tank"), nullptr);
    VelkViewer::Destroy(locViewer); // its instances with it (the sanitizer build checks)
    EXPECT_EQ(VelkViewer::Create((myDir / "missing.velk").string().c_str()), nullptr);
}

TEST_F(TypeVisTest, BrowseFiltersLoadFromSettingsAndTheFirstMatchWins)
{
    VelkNameSpace locSpace;
    VelkTypeManager locTypes;
    ASSERT_TRUE(VelkCompiler::Compile(locSpace, myVelk.c_str(), &locTypes, nullptr));
    BrowseFilterSet locSet;
    ASSERT_TRUE(locSet.Load(locSpace.FindByName("myBrowseFilters")));
    EXPECT_EQ(locSet.Count(), 3);
    VelkType* locTank = locSpace.FindByName("tank");
    ASSERT_NE(locTank, nullptr);
    const BrowseFilter* locFound = locSet.Find(locTank, "sound");
    ASSERT_NE(locFound, nullptr);
    EXPECT_STREQ(locFound->myExtension.GetBuffer(), "wav");
    ASSERT_NE(locSet.Find(locTank, "icon"), nullptr);
    EXPECT_STREQ(locSet.Find(locTank, "icon")->myExtension.GetBuffer(), "tga");
    EXPECT_EQ(locSet.Find(locTank, "Sound"), nullptr);
    EXPECT_EQ(locSet.Find(locSpace.FindByName("mixed"), "sound"), nullptr);

    // A member of another type fails the load and leaves the set empty; so
    // does a missing settings instance.
    EXPECT_FALSE(locSet.Load(locSpace.FindByName("mixed")));
    EXPECT_EQ(locSet.Count(), 0);
    EXPECT_FALSE(locSet.Load(nullptr));
}
} // namespace
