// Edits of a compiled namespace, as the editor makes them: renames, deletions,
// pastes, new instances and value changes. Instances start out sharing their
// prototype's names and values, so an edit of one object must show in that
// object only, and the text written after the edits must compile back to the
// same bytes.
#include <memory>
#include <string>

#include "velk/tests/velk_test_util.h"
#include "velk/velk_compiler.h"
#include "velk/velk_namespace.h"
#include "velk/velk_output.h"
#include "velk/velk_type.h"
#include "velk/velk_typemanager.h"

namespace
{
const char* const SHOP_FRUIT =
    "TYPE Size\r\n{\r\nSmall\r\nLarge\r\n}\r\n"
    "CLASS Spot\r\n{\r\nDECIMAL x 0.5\r\nDECIMAL y\r\n}\r\n"
    "CLASS Goods\r\n{\r\nTEXT title\r\nSize size Large\r\nNUMBER count 3\r\nSpot spot\r\nGoods* next\r\n}\r\n"
    "SCRIPTCLASS Steps\r\n{\r\nTEXT\r\nSpot\r\n}\r\n";

const char* const SHOP_VELK =
    "Goods apple\r\n{\r\n\ttitle \"red apple\"\r\n\tspot\r\n\t{\r\n\t\ty 2\r\n\t}\r\n}\r\n"
    "Goods pear\r\n{\r\n\tnext apple\r\n}\r\n"
    "Steps walk\r\n{\r\n\tTEXT TEXT(1) go\r\n\tSpot Spot(2)\r\n\t{\r\n\t\tx 7\r\n\t}\r\n}\r\n";

class VelkEditTest : public VelkTest
{
protected:
    void SetUp() override
    {
        VelkTest::SetUp();
        myTypes = std::make_unique<VelkTypeManager>();
        mySpace = std::make_unique<VelkNameSpace>();
        std::string locFruit = WriteDisk("shop.fruit", SHOP_FRUIT);
        std::string locVelk = WriteDisk("shop.velk", "INCLUDE " + locFruit + "\r\n" + SHOP_VELK);
        ASSERT_TRUE(VelkCompiler::Compile(*mySpace, locVelk.c_str(), myTypes.get(), nullptr)) << myLog.AllErrors();
        myOriginal = Text(*mySpace);
    }

    static std::string Text(VelkNameSpace& aSpace)
    {
        VelkOutput locOutput;
        EXPECT_TRUE(aSpace.WriteTo(locOutput, "memory"));
        return locOutput.GetText();
    }

    // Saves, compiles the file again and expects the same text back.
    void ExpectRoundTrip(const std::string& aFile)
    {
        const std::string locText = Text(*mySpace);
        ASSERT_TRUE(mySpace->Write(PathOf(aFile).c_str()));
        EXPECT_EQ(ReadDisk(aFile), locText);
        VelkNameSpace locAgain;
        ASSERT_TRUE(VelkCompiler::Compile(locAgain, PathOf(aFile).c_str(), myTypes.get(), nullptr)) << myLog.AllErrors();
        EXPECT_EQ(Text(locAgain), locText);
    }

    VelkType* Get(const char* aPath) { return mySpace->GetInstance(aPath, false); }

    std::unique_ptr<VelkTypeManager> myTypes;
    std::unique_ptr<VelkNameSpace> mySpace;
    std::string myOriginal;
};
}

TEST_F(VelkEditTest, RenamesShowInTheRenamedObjectOnly)
{
    Get("apple.spot")->SetName("place");
    EXPECT_EQ(Get("apple.spot"), nullptr);
    ASSERT_NE(Get("apple.place"), nullptr);
    EXPECT_STREQ(Get("apple.place.y")->GetValue().GetBuffer(), "2");
    // The sibling instance, the prototype and new instances keep the name they shared.
    ASSERT_NE(Get("pear.spot"), nullptr);
    EXPECT_STREQ(myTypes->GetType("Goods")->FindMember("spot")->GetName().GetBuffer(), "spot");
    ASSERT_TRUE(mySpace->AddInstance(myTypes->GetType("Goods")->CloneAs("fresh")));
    EXPECT_NE(Get("fresh.spot"), nullptr);
    Get("apple.place")->SetName("spot");
    ASSERT_TRUE(mySpace->DeleteInstance(Get("fresh")));
    EXPECT_EQ(Text(*mySpace), myOriginal);

    Get("walk")->SetName("stroll");
    Get("stroll.TEXT(1)")->SetName("TEXT(11)");
    EXPECT_EQ(Get("walk"), nullptr);
    EXPECT_NE(Get("stroll.Spot(2)"), nullptr);
    EXPECT_STREQ(Get("stroll.TEXT(11)")->GetValue().GetBuffer(), "go");
    const std::string locText = Text(*mySpace);
    EXPECT_NE(locText.find("Steps stroll\r\n{\r\n\tTEXT TEXT(11) go\r\n"), std::string::npos) << locText;
    ExpectRoundTrip("renamed.velk");
}

TEST_F(VelkEditTest, ValueChangesStayInTheChangedInstance)
{
    ASSERT_TRUE(Get("pear.size")->AssignValue("Small"));
    ASSERT_TRUE(Get("pear.count")->AssignValue("9"));
    ASSERT_TRUE(Get("apple.spot.x")->AssignValue("1.5"));
    ASSERT_TRUE(Get("walk.TEXT(1)")->AssignValue("two words"));
    EXPECT_FALSE(Get("apple.size")->AssignValue("Medium"));
    EXPECT_STREQ(Get("apple.size")->GetValue().GetBuffer(), "Large");
    EXPECT_STREQ(Get("apple.count")->GetValue().GetBuffer(), "3");
    EXPECT_STREQ(Get("pear.spot.x")->GetValue().GetBuffer(), "0.5");
    VelkType* locPrototype = myTypes->GetType("Goods");
    EXPECT_STREQ(locPrototype->FindMember("size")->GetValue().GetBuffer(), "Large");
    EXPECT_STREQ(locPrototype->FindMember("count")->GetValue().GetBuffer(), "3");
    EXPECT_STREQ(myTypes->GetType("Spot")->FindMember("x")->GetValue().GetBuffer(), "0.5");

    // Resetting empties the one value; the others keep the default.
    Get("pear.count")->ResetValue();
    EXPECT_STREQ(Get("pear.count")->GetValue().GetBuffer(), "<empty>");
    EXPECT_STREQ(Get("apple.count")->GetValue().GetBuffer(), "3");
    EXPECT_STREQ(locPrototype->FindMember("count")->GetValue().GetBuffer(), "3");
    ASSERT_TRUE(Get("pear.count")->AssignValue("5"));
    ExpectRoundTrip("values.velk");
    EXPECT_NE(Text(*mySpace).find("\tTEXT TEXT(1) \"two words\"\r\n"), std::string::npos);
}

TEST_F(VelkEditTest, PastesAndNewInstancesAreIndependentCopies)
{
    ASSERT_TRUE(mySpace->AddInstance(Get("apple")->CloneAs("apple2")));
    VelkType* locTwin = Get("apple")->CloneAs("pear");
    EXPECT_FALSE(mySpace->AddInstance(locTwin));
    delete locTwin;
    VelkType* locFresh = myTypes->GetType("Goods")->CloneAs("fresh");
    ASSERT_TRUE(mySpace->AddInstance(locFresh));
    ASSERT_TRUE(Get("fresh.title")->AssignValue("new one"));
    ASSERT_TRUE(Get("apple2.spot.y")->AssignValue("8"));
    ASSERT_TRUE(Get("apple2.next")->AssignValue("fresh"));

    EXPECT_STREQ(Get("apple.spot.y")->GetValue().GetBuffer(), "2");
    EXPECT_STREQ(Get("apple2.title")->GetValue().GetBuffer(), "red apple");
    EXPECT_STREQ(myTypes->GetType("Goods")->FindMember("title")->GetValue().GetBuffer(), "<empty>");
    ASSERT_TRUE(mySpace->ResolveReferences(*myTypes));
    EXPECT_EQ(mySpace->GetNumInstances(), 5);
    ExpectRoundTrip("pasted.velk");

    // A member pasted into another instance takes the place of the one deleted.
    VelkType* locPear = Get("pear");
    ASSERT_TRUE(locPear->DeleteMemberNamed("spot"));
    EXPECT_EQ(Get("pear.spot"), nullptr);
    ASSERT_TRUE(locPear->AddMember(Get("apple2.spot")->Clone()));
    EXPECT_STREQ(Get("pear.spot.y")->GetValue().GetBuffer(), "8");
    ASSERT_TRUE(Get("pear.spot.y")->AssignValue("4"));
    EXPECT_STREQ(Get("apple2.spot.y")->GetValue().GetBuffer(), "8");
}

TEST_F(VelkEditTest, DeletionsLeaveTheCopiesWhole)
{
    ASSERT_TRUE(mySpace->AddInstance(Get("apple")->CloneAs("copy")));
    VelkType* locAdded = Get("walk")->AddContent(*myTypes, "TEXT");
    ASSERT_NE(locAdded, nullptr);
    ASSERT_TRUE(locAdded->AssignValue("more"));
    ASSERT_TRUE(mySpace->DeleteInstance(Get("apple")));
    ASSERT_TRUE(mySpace->DeleteInstance(Get("walk.Spot(2)")));
    EXPECT_EQ(Get("apple"), nullptr);
    EXPECT_STREQ(Get("copy.title")->GetValue().GetBuffer(), "red apple");
    EXPECT_STREQ(Get("copy.spot.y")->GetValue().GetBuffer(), "2");

    // The reference to the deleted instance goes out as NULL.
    const std::string locText = Text(*mySpace);
    EXPECT_NE(locText.find("Goods pear\r\n{\r\n\ttitle <empty>\r\n\tsize Large\r\n\tcount 3\r\n\tspot\r\n\t{\r\n\t\tx 0.5\r\n"
                           "\t\ty 0.0\r\n\t}\r\n\r\n\tnext NULL\r\n"),
              std::string::npos)
        << locText;
    EXPECT_EQ(locText.find("Spot(2)"), std::string::npos);
    ExpectRoundTrip("deleted.velk");

    // The instances outlive the types they were made from, names and values included.
    myTypes.reset();
    EXPECT_EQ(Text(*mySpace), locText);
    Get("copy.spot")->SetName("moved");
    EXPECT_STREQ(Get("copy.moved.x")->GetValue().GetBuffer(), "0.5");
    mySpace.reset();
}
