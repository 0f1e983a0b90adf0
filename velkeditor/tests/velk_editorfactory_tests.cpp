// The base editor factory's choice, over types compiled from a real .fruit file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"
#include "velkeditor/velk_editor.h"
#include "velkeditor/velk_editorfactory.h"
#include "velkeditor/velk_typefilter.h"

namespace
{
class EditorFactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::path locDir = std::filesystem::path(Q_TEST_TMP_DIR) / "factory";
        std::filesystem::create_directories(locDir);
        std::string locFruit = (locDir / "types.fruit").string();
        std::ofstream(locFruit) << "CLASS Row\r\n{\r\nNUMBER myValue\r\n}\r\n"
                                   "CLASS QS_Sound\r\n{\r\nTEXT myFile\r\n}\r\n"
                                   "SCRIPTCLASS Table\r\n{\r\nRow\r\n}\r\n"
                                   "SCRIPTCLASS Mixed\r\n{\r\nRow\r\nNUMBER\r\n}\r\n";
        ASSERT_TRUE(myTypes.Compile(locFruit.c_str()));
    }

    VelkType* Make(const char* aTypeName)
    {
        VelkType* locType = myTypes.GetType(aTypeName);
        EXPECT_NE(locType, nullptr) << aTypeName;
        myInstances.emplace_back(locType->CloneAs("x"));
        return myInstances.back().get();
    }

    VelkTypeManager myTypes;
    std::vector<std::unique_ptr<VelkType>> myInstances;
};
} // namespace

TEST_F(EditorFactoryTest, ScriptClassWithOneLegalTypeRegistersItsRecord)
{
    VelkEditorFactory locPrototype;
    std::unique_ptr<VelkEditorFactory> locFactory(locPrototype.Create());
    ASSERT_NE(locFactory, nullptr);
    VelkTypeFilterManager locFilters(nullptr);

    EXPECT_EQ(locFactory->CreateEditor(Make("Mixed"), &locFilters, nullptr, nullptr), nullptr);
    EXPECT_EQ(locFactory->CreateEditor(Make("Row"), &locFilters, nullptr, nullptr), nullptr);
    EXPECT_EQ(locFactory->CreateEditor(Make("QS_Sound"), &locFilters, nullptr, nullptr), nullptr);
    EXPECT_TRUE(locFilters.GetTypes().IsEmpty());

    locFactory->CreateEditor(Make("Table"), &locFilters, nullptr, nullptr);
    ASSERT_EQ(locFilters.GetTypes().myCount, 1);
    EXPECT_EQ(locFilters.GetTypes().GetFirst()->GetTypeName(), "Row");
    std::vector<uint8_t> locSaved;
    locFilters.SaveTo(locSaved);
    const uint8_t locExpected[] = {1, 0, 0, 0, 3, 0, 0, 0, 'R', 'o', 'w', 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(locSaved, std::vector<uint8_t>(locExpected, locExpected + sizeof(locExpected)));
}
