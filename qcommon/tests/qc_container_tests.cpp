// Growing arrays, lists with their iterator, the stack and the wide string.
#include "qcommon/qc_growingarray.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_listiterator.h"
#include "qcommon/qc_locstring.h"
#include "qcommon/qc_stacklist.h"
#include "qcommon/qc_string.h"

#include <gtest/gtest.h>

#include <vector>

template <class T>
static std::vector<T> locItems(QC_List<T>& aList)
{
    std::vector<T> locResult;
    QC_ListIterator<T> locIterator(&aList);
    for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        locResult.push_back(locIterator.GetCurrent());
    return locResult;
}

TEST(QC_GrowingArrayTest, GrowsByItsStepAndFailsWithoutOne)
{
    QC_GrowingArray<int> locArray;
    ASSERT_TRUE(locArray.Init(2, 3, false));
    EXPECT_TRUE(locArray.Add(1));
    EXPECT_TRUE(locArray.Add(2));
    EXPECT_EQ(locArray.myMaxNrOfItems, 2);
    EXPECT_TRUE(locArray.Add(3));
    EXPECT_EQ(locArray.myMaxNrOfItems, 5);
    EXPECT_TRUE(locArray.Add(4));
    EXPECT_TRUE(locArray.Add(5));
    EXPECT_TRUE(locArray.Add(6));
    EXPECT_EQ(locArray.myMaxNrOfItems, 8);
    for (int locIndex = 0; locIndex < 6; ++locIndex)
        EXPECT_EQ(locArray[locIndex], locIndex + 1);

    QC_GrowingArray<int> locFixed;
    ASSERT_TRUE(locFixed.Init(1, 0, false));
    EXPECT_TRUE(locFixed.Add(1));
    EXPECT_FALSE(locFixed.Add(2));
    EXPECT_EQ(locFixed.myUsedNrOfItems, 1);
}

TEST(QC_GrowingArrayTest, ResizeNeverDropsUsedItems)
{
    QC_GrowingArray<QC_String> locArray;
    ASSERT_TRUE(locArray.Init(4, 4, true));
    locArray.Add("a");
    locArray.Add("b");
    locArray.Add("c");
    EXPECT_EQ(locArray.Resize(1), 3);
    EXPECT_EQ(locArray.Resize(3), 3);
    EXPECT_EQ(locArray.Resize(10), 10);
    EXPECT_TRUE(locArray[2] == "c");
}

TEST(QC_GrowingArrayTest, RemoveAtMovesTheLastItemIntoTheHole)
{
    QC_GrowingArray<char> locArray;
    ASSERT_TRUE(locArray.Init(3, 1, false));
    locArray.Add('a');
    locArray.Add('b');
    locArray.Add('c');
    locArray.RemoveAt(0);
    ASSERT_EQ(locArray.myUsedNrOfItems, 2);
    EXPECT_EQ(locArray[0], 'c');
    EXPECT_EQ(locArray[1], 'b');
}

struct CountedItem
{
    explicit CountedItem(int* aCounter) : myCounter(aCounter) {}
    ~CountedItem() { ++*myCounter; }
    int* myCounter;
};

TEST(QC_GrowingArrayTest, DeleteAllDeletesPointerItems)
{
    int locDeleted = 0;
    QC_GrowingArray<CountedItem*> locArray;
    ASSERT_TRUE(locArray.Init(1, 1, false));
    for (int locIndex = 0; locIndex < 3; ++locIndex)
        locArray.Add(new CountedItem(&locDeleted));
    locArray.DeleteAll();
    EXPECT_EQ(locDeleted, 3);
    EXPECT_EQ(locArray.myUsedNrOfItems, 0);
}

TEST(QC_GrowingArrayDeathTest, SecondInitAndBadIndexAreFatal)
{
    EXPECT_EXIT(
        {
            QC_GrowingArray<int> locArray;
            locArray.Init(1, 1, false);
            locArray.Init(1, 1, false);
        },
        testing::ExitedWithCode(102), "Assertion \\(myItemList == NULL\\) failed in .*qc_growingarray.h, line [0-9]+");
    EXPECT_EXIT(
        {
            QC_GrowingArray<int> locArray;
            locArray.Init(1, 1, false);
            locArray.RemoveAt(0);
        },
        testing::ExitedWithCode(102), "Assertion \\(anItemNumber < myUsedNrOfItems\\) failed");
}

TEST(QC_ListTest, AddsIteratesAndRemovesLinks)
{
    QC_List<QC_String> locList;
    locList.Add("b");
    locList.Add("c");
    locList.AddFirst("a");
    EXPECT_EQ(locList.myCount, 3);
    EXPECT_TRUE(locList.GetFirst() == "a");

    QC_ListIterator<QC_String> locIterator(&locList);
    ASSERT_TRUE(locIterator.First());
    locIterator.Next();
    locIterator.RemoveCurrent();
    EXPECT_TRUE(locIterator.GetCurrent() == "c");
    locIterator.RemoveCurrent();
    EXPECT_TRUE(locIterator.IsDone());
    EXPECT_EQ(locList.myLastLink, locList.myFirstLink);
    EXPECT_EQ(locList.myCount, 1);

    locIterator.First();
    locIterator.RemoveCurrent();
    EXPECT_TRUE(locIterator.IsDone());
    EXPECT_EQ(locList.myFirstLink, nullptr);
    EXPECT_EQ(locList.myLastLink, nullptr);
    EXPECT_EQ(locList.myCount, 0);
    EXPECT_FALSE(locIterator.First());
}

TEST(QC_ListTest, RemovingTheFirstLinkGoesOnAtTheNext)
{
    QC_List<int> locList;
    for (int locIndex = 1; locIndex <= 3; ++locIndex)
        locList.Add(locIndex);
    QC_ListIterator<int> locIterator(&locList);
    locIterator.First();
    locIterator.RemoveCurrent();
    EXPECT_EQ(locIterator.GetCurrent(), 2);
    EXPECT_EQ(locList.myFirstLink->myPrevious, nullptr);
    EXPECT_EQ(locItems(locList), (std::vector<int>{2, 3}));
}

TEST(QC_ListTest, NextPastTheEndAnswersFalse)
{
    QC_List<int> locList;
    locList.Add(1);
    QC_ListIterator<int> locIterator(&locList);
    locIterator.First();
    EXPECT_TRUE(locIterator.Next());
    EXPECT_TRUE(locIterator.IsDone());
    EXPECT_FALSE(locIterator.Next());
}

TEST(QC_ListTest, AssignmentCopiesItemsDeeply)
{
    QC_List<QC_String> locSource;
    locSource.Add("x");
    locSource.Add("y");
    QC_List<QC_String> locCopy;
    locCopy.Add("old");
    locCopy = locSource;
    ASSERT_EQ(locCopy.myCount, 2);
    EXPECT_NE(locCopy.myFirstLink->myItem.GetBuffer(), locSource.myFirstLink->myItem.GetBuffer());
    EXPECT_TRUE(locCopy.myLastLink->myItem == "y");

    QC_List<QC_String> locEmpty;
    locCopy = locEmpty;
    EXPECT_EQ(locCopy.myCount, 0);
    EXPECT_EQ(locCopy.myFirstLink, nullptr);
}

TEST(QC_ListTest, RemoveAllKeepsItemsDeleteAllDeletesThem)
{
    int locDeleted = 0;
    CountedItem locKept(&locDeleted);
    {
        QC_List<CountedItem*> locList;
        locList.Add(&locKept);
        locList.RemoveAll();
        EXPECT_EQ(locList.myCount, 0);
        locList.Add(&locKept);
    }
    EXPECT_EQ(locDeleted, 0);

    QC_List<CountedItem*> locOwned;
    locOwned.Add(new CountedItem(&locDeleted));
    locOwned.Add(new CountedItem(&locDeleted));
    locOwned.DeleteAll();
    EXPECT_EQ(locDeleted, 2);
    EXPECT_EQ(locOwned.myCount, 0);
}

TEST(QC_ListDeathTest, MisuseIsFatal)
{
    EXPECT_EXIT(
        {
            QC_List<int> locList;
            locList.GetFirst();
        },
        testing::ExitedWithCode(102), "Assertion \\(myFirstLink\\) failed");
    EXPECT_EXIT(
        {
            QC_ListIterator<int> locIterator;
            locIterator.First();
        },
        testing::ExitedWithCode(102), "Assertion \\(myList\\) failed");
    EXPECT_EXIT(
        {
            QC_List<int> locList;
            QC_ListIterator<int> locIterator(&locList);
            locIterator.First();
            locIterator.GetCurrent();
        },
        testing::ExitedWithCode(102), "Assertion \\(myList && myCurrentLink\\) failed");
}

TEST(QC_StackListDeathTest, PopsInReverseOrderAndNotWhenEmpty)
{
    QC_StackList<int> locStack;
    EXPECT_TRUE(locStack.IsEmpty());
    locStack.Push(1);
    locStack.Push(2);
    locStack.Push(3);
    EXPECT_EQ(locStack.Top(), 3);
    EXPECT_EQ(locStack.Pop(), 3);
    EXPECT_EQ(locStack.Pop(), 2);
    locStack.Clear();
    EXPECT_TRUE(locStack.IsEmpty());
    EXPECT_EXIT(locStack.Pop(), testing::ExitedWithCode(102), "Assertion \\(myFirstLink\\) failed");
}

TEST(QC_LocStringTest, CopiesSixteenBitText)
{
    QC_LocString locString;
    locString = u"h\u00e9llo";
    EXPECT_EQ(locString.myLength, 5);
    EXPECT_EQ(locString.myText[1], 0xe9);
    EXPECT_EQ(locString.myText[5], 0);
    locString = locString.myText;
    EXPECT_EQ(locString.myLength, 5);
    QC_LocString locCopy(locString);
    EXPECT_NE(locCopy.myText, locString.myText);
    EXPECT_EQ(std::u16string(locCopy.GetText()), u"h\u00e9llo");
    locString = (const char16_t*)nullptr;
    EXPECT_EQ(locString.myLength, 0);
    EXPECT_EQ(locString.GetText()[0], 0);
}
