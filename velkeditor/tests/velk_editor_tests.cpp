// The abstract editor's release rule and the constraint set's lookup.
#include <gtest/gtest.h>

#include "velk/velk_type.h"
#include "velkeditor/velk_editor.h"
#include "velkeditor/velk_typeconstraint.h"

namespace
{
// Keeps one selection and forgets it as the editors must.
class SelectingEditor : public VelkEditor
{
public:
    using VelkEditor::VelkEditor;
    void SelectInstance(VelkType* anInstance) override { mySelection = anInstance; }
    void Draw(bool) override {}
    EditorAction OnLeftButton(int, int, bool) override { return EditorAction(mySelection, EditorAction::EDIT_IN_TREE); }
    EditorAction OnLeftButtonUp(int, int) override { return EditorAction(); }
    EditorAction OnRightButton(int, int, bool, bool) override { return EditorAction(); }
    EditorAction OnRightButtonUp(int, int) override { return EditorAction(); }
    EditorAction OnKeyDown(int) override { return EditorAction(); }
    EditorAction OnKeyUp(int) override { return EditorAction(); }
    EditorAction OnChar(int) override { return EditorAction(); }
    VelkType* GetSelectedInstance() override { return mySelection; }
    void Resize(int, int) override {}
    bool OnInstanceRemoved(VelkType* anInstance) override
    {
        myRemovedCalls++;
        if (IsRemovedBy(mySelection, anInstance))
            mySelection = nullptr;
        return true;
    }

    VelkType* mySelection = nullptr;
    int myRemovedCalls = 0;
};

class FixedConstraint : public VelkTypeConstraint
{
public:
    FixedConstraint(const char* aType, const char* aMember, const char* aValue)
        : VelkTypeConstraint(nullptr, aType, aMember), myValue(aValue)
    {
    }
    bool FillValues() override
    {
        myValues.Add(myValue);
        return true;
    }
    const char* myValue;
};

class TestSet : public VelkTypeConstraintSet
{
public:
    bool Load(VelkNameSpace* aNameSpace) override
    {
        VelkTypeConstraintSet::Load(aNameSpace);
        return Add(new FixedConstraint("Unit", "mySound", "first")) &&
               Add(new FixedConstraint("Unit", "mySound", "second")) &&
               Add(new FixedConstraint("Unit", "myFont", "font"));
    }
};
} // namespace

TEST(VelkEditor, ReleaseRefusesTheOwnInstanceAndEveryObjectHoldingIt)
{
    // root { inner { leaf } other }
    VelkClass* locRoot = new VelkClass("Root", "root");
    VelkClass* locInner = new VelkClass("Inner", "inner");
    VelkFree* locLeaf = new VelkFree("TEXT", "leaf", false);
    VelkFree* locOther = new VelkFree("TEXT", "other", false);
    ASSERT_TRUE(locInner->AddMember(locLeaf));
    ASSERT_TRUE(locRoot->AddMember(locInner));
    ASSERT_TRUE(locRoot->AddMember(locOther));

    SelectingEditor locEditor(locInner);
    EXPECT_FALSE(locEditor.ReleaseInstance(locInner));
    EXPECT_FALSE(locEditor.ReleaseInstance(locRoot));
    EXPECT_EQ(locEditor.myRemovedCalls, 0);

    locEditor.SelectInstance(locLeaf);
    EXPECT_TRUE(locEditor.ReleaseInstance(locOther));
    EXPECT_EQ(locEditor.mySelection, locLeaf);
    EXPECT_EQ(locEditor.myRemovedCalls, 1);

    // A selection inside the removed object is forgotten too.
    SelectingEditor locOuter(locOther);
    locOuter.SelectInstance(locLeaf);
    EXPECT_TRUE(locOuter.ReleaseInstance(locInner));
    EXPECT_EQ(locOuter.mySelection, nullptr);
    delete locRoot;
}

TEST(VelkTypeConstraintSet, FirstRegistrationWinsAndRefillStartsEmpty)
{
    TestSet locSet;
    ASSERT_TRUE(locSet.Load(nullptr));
    VelkFree locUnit("Unit", "u", false);
    VelkFree locOtherType("Tank", "t", false);
    VelkTypeConstraint* locFound = locSet.Find(&locUnit, "mySound");
    ASSERT_NE(locFound, nullptr);
    EXPECT_EQ(locFound->GetInstance(), &locUnit);
    EXPECT_TRUE(locFound->Refill());
    EXPECT_TRUE(locFound->Refill());
    ASSERT_EQ(locFound->GetValues().myCount, 1);
    EXPECT_EQ(locFound->GetValues().GetFirst(), "first");
    EXPECT_EQ(locSet.Find(&locOtherType, "mySound"), nullptr);
    EXPECT_EQ(locSet.Find(&locUnit, "mysound"), nullptr);
    ASSERT_TRUE(locSet.Load(nullptr));
    EXPECT_EQ(locSet.GetConstraints().myCount, 3);

    VelkTypeConstraintSet locBase;
    VelkTypeConstraintSet* locCopy = locBase.Create();
    ASSERT_NE(locCopy, nullptr);
    EXPECT_TRUE(locCopy->Load(nullptr));
    EXPECT_TRUE(locCopy->GetConstraints().IsEmpty());
    delete locCopy;
}
