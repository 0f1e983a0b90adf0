// The extension factory hands everything it does not make to the base factory.
#include <gtest/gtest.h>

#include <memory>

#include "va_velkeditors/vave_factory.h"
#include "velk/velk_type.h"
#include "velkeditor/velk_typefilter.h"

TEST(VAVE_Factory, CopiesItselfAndDelegatesToTheBaseFactory)
{
    VAVE_Factory locPrototype;
    std::unique_ptr<VelkEditorFactory> locFactory(locPrototype.Create());
    ASSERT_NE(dynamic_cast<VAVE_Factory*>(locFactory.get()), nullptr);
    VelkTypeFilterManager locFilters(nullptr);
    VelkScriptClass locTable("Table", "table");
    // No legal types declared: the base factory makes no record.
    EXPECT_EQ(locFactory->CreateEditor(&locTable, &locFilters, nullptr, nullptr), nullptr);
    VelkClass locSkin("VAP_Skin", "skin");
    EXPECT_EQ(locFactory->CreateEditor(&locSkin, &locFilters, nullptr, nullptr), nullptr);
    EXPECT_TRUE(locFilters.GetTypes().IsEmpty());
}
