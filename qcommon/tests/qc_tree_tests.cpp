// Key trees and item trees: duplicates, the removal rule, in-order walks.
#include "qcommon/qc_itree.h"
#include "qcommon/qc_keytree.h"
#include "qcommon/qc_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

typedef QC_KeyTree<int, int> IntTree;

static std::vector<int> locKeys(IntTree& aTree)
{
    std::vector<int> locResult;
    QC_KeyTreeInorderIterator<int, int> locIterator(&aTree);
    for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        locResult.push_back(locIterator.GetCurrentKey());
    return locResult;
}

// The shape as "key(left,right)", "-" for no child.
static std::string locShape(const IntTree::Node* aNode)
{
    if (!aNode)
        return "-";
    if (!aNode->myLeftChild && !aNode->myRightChild)
        return std::to_string(aNode->myKey);
    return std::to_string(aNode->myKey) + "(" + locShape(aNode->myLeftChild) + "," + locShape(aNode->myRightChild) + ")";
}

static void locAddAll(IntTree& aTree, std::vector<int> aKeys)
{
    for (int locKey : aKeys)
        ASSERT_TRUE(aTree.Add(locKey * 10, locKey));
}

TEST(QC_KeyTreeTest, RefusesDuplicatesUnlessAllowed)
{
    IntTree locTree;
    EXPECT_TRUE(locTree.Add(50, 5));
    EXPECT_TRUE(locTree.Add(30, 3));
    EXPECT_TRUE(locTree.Add(80, 8));
    EXPECT_FALSE(locTree.Add(31, 3));
    EXPECT_EQ(locTree.myCount, 3);

    IntTree locDuplicates(true);
    locDuplicates.Add(50, 5);
    locDuplicates.Add(30, 3);
    locDuplicates.Add(80, 8);
    EXPECT_TRUE(locDuplicates.Add(31, 3));
    EXPECT_EQ(locKeys(locDuplicates), (std::vector<int>{3, 3, 5, 8}));
    // Equal keys come out in insertion order; Find answers the first one.
    std::vector<int> locValues;
    QC_KeyTreeInorderIterator<int, int> locIterator(&locDuplicates);
    for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        locValues.push_back(locIterator.GetCurrent());
    EXPECT_EQ(locValues, (std::vector<int>{30, 31, 50, 80}));
    int locValue = 0;
    IntTree::Node* locNode = nullptr;
    EXPECT_TRUE(locDuplicates.Find(3, &locValue, &locNode));
    EXPECT_EQ(locValue, 30);
    EXPECT_EQ(locNode->myKey, 3);
    EXPECT_FALSE(locDuplicates.Find(4));
}

TEST(QC_KeyTreeTest, RemovalFollowsTheReplacementRule)
{
    // Root with a right child that has a left child: that child takes the place.
    IntTree locTree;
    locAddAll(locTree, {5, 3, 8, 7, 9});
    int locValue = 0;
    EXPECT_TRUE(locTree.Remove(5, &locValue));
    EXPECT_EQ(locValue, 50);
    EXPECT_EQ(locShape(locTree.myRoot), "7(3,8(-,9))");
    EXPECT_EQ(locTree.myCount, 4);

    // The leftmost node of the right subtree hands its right subtree to its parent.
    IntTree locDeep;
    locAddAll(locDeep, {5, 3, 9, 7, 6, 8, 10});
    EXPECT_TRUE(locDeep.Remove(5));
    EXPECT_EQ(locShape(locDeep.myRoot), "6(3,9(7(-,8),10))");

    // A right child without a left child takes the removed node's left subtree.
    IntTree locShallow;
    locAddAll(locShallow, {5, 3, 8, 9});
    EXPECT_TRUE(locShallow.Remove(5));
    EXPECT_EQ(locShape(locShallow.myRoot), "8(3,9)");

    // One child: that subtree moves up.
    IntTree locOneSide;
    locAddAll(locOneSide, {5, 3, 8, 2});
    EXPECT_TRUE(locOneSide.Remove(3));
    EXPECT_EQ(locShape(locOneSide.myRoot), "5(2,8)");
    EXPECT_TRUE(locOneSide.Remove(8));
    EXPECT_EQ(locShape(locOneSide.myRoot), "5(2,-)");
    EXPECT_FALSE(locOneSide.Remove(42));

    IntTree locSingle;
    locAddAll(locSingle, {1});
    EXPECT_TRUE(locSingle.Remove(1));
    EXPECT_EQ(locSingle.myRoot, nullptr);
    EXPECT_EQ(locSingle.myCount, 0);
}

TEST(QC_KeyTreeTest, RemovesTheDuplicateNearestTheRoot)
{
    IntTree locTree(true);
    locTree.Add(1, 5);
    locTree.Add(2, 5);
    int locValue = 0;
    EXPECT_TRUE(locTree.Remove(5, &locValue));
    EXPECT_EQ(locValue, 1);
    EXPECT_TRUE(locTree.Find(5, &locValue));
    EXPECT_EQ(locValue, 2);
}

TEST(QC_KeyTreeTest, WalksInAscendingOrderWhateverTheInsertionOrder)
{
    IntTree locTree;
    std::vector<int> locInput = {50, 20, 70, 10, 30, 60, 80, 25, 35, 65, 1, 99};
    locAddAll(locTree, locInput);
    EXPECT_EQ(locKeys(locTree), (std::vector<int>{1, 10, 20, 25, 30, 35, 50, 60, 65, 70, 80, 99}));

    IntTree locEmpty;
    QC_KeyTreeInorderIterator<int, int> locIterator(&locEmpty);
    EXPECT_FALSE(locIterator.First());
    EXPECT_TRUE(locIterator.IsDone());
    EXPECT_FALSE(locIterator.Next());
}

TEST(QC_KeyTreeTest, StringKeysOrderByBytes)
{
    QC_KeyTree<int, QC_String> locTree;
    locTree.Add(1, "beta");
    locTree.Add(2, "Alpha");
    locTree.Add(3, "alpha");
    EXPECT_FALSE(locTree.Add(4, QC_String("beta")));
    QC_KeyTreeInorderIterator<int, QC_String> locIterator(locTree);
    std::vector<std::string> locOrder;
    for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        locOrder.push_back((const char*)locIterator.GetCurrentKey());
    EXPECT_EQ(locOrder, (std::vector<std::string>{"Alpha", "alpha", "beta"}));
    int locValue = 0;
    EXPECT_TRUE(locTree.Find("alpha", &locValue));
    EXPECT_EQ(locValue, 3);
}

struct DeletionCounter
{
    explicit DeletionCounter(int* aCounter) : myCounter(aCounter) {}
    virtual ~DeletionCounter() { ++*myCounter; }
    int* myCounter;
};

TEST(QC_KeyTreeTest, DeleteAllDeletesValuesRemoveAllKeepsThem)
{
    int locDeleted = 0;
    DeletionCounter locKept(&locDeleted);
    {
        QC_KeyTree<DeletionCounter*, QC_String> locTree;
        locTree.Add(&locKept, "a");
        locTree.Add(&locKept, "b");
    }
    EXPECT_EQ(locDeleted, 0);
    QC_KeyTree<DeletionCounter*, QC_String> locOwning;
    locOwning.Add(new DeletionCounter(&locDeleted), "x");
    locOwning.Add(new DeletionCounter(&locDeleted), "w");
    locOwning.Add(new DeletionCounter(&locDeleted), "y");
    locOwning.DeleteAll();
    EXPECT_EQ(locDeleted, 3);
    EXPECT_EQ(locOwning.myRoot, nullptr);
    EXPECT_EQ(locOwning.myCount, 0);
}

TEST(QC_ITreeTest, HoldsUniqueStringsInOrder)
{
    QC_ITree<QC_String> locTree;
    EXPECT_TRUE(locTree.Add("b"));
    EXPECT_TRUE(locTree.Add("a"));
    EXPECT_FALSE(locTree.Add("b"));
    EXPECT_TRUE(locTree.Add("c"));
    EXPECT_EQ(locTree.myCount, 3);
    EXPECT_TRUE(locTree.Find("a"));
    EXPECT_FALSE(locTree.Find("d"));

    QC_ITreeInorderIterator<QC_String> locIterator(&locTree);
    std::vector<std::string> locOrder;
    for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        locOrder.push_back((const char*)locIterator.GetCurrent());
    EXPECT_EQ(locOrder, (std::vector<std::string>{"a", "b", "c"}));

    // The way an owner empties the tree by hand.
    locTree.FreeNode(locTree.myRoot);
    locTree.myRoot = nullptr;
    locTree.myCount = 0;
    EXPECT_FALSE(locIterator.First());
}

// An item tree with its own order: longer strings first.
class LongestFirstTree : public QC_ITree<QC_String>
{
public:
    unsigned char Compare(const QC_String& aFirst, const QC_String& aSecond) override
    {
        if (aFirst.GetLength() != aSecond.GetLength())
            return aFirst.GetLength() > aSecond.GetLength() ? LESS : GREATER;
        return QC_ITree<QC_String>::Compare(aFirst, aSecond);
    }
};

TEST(QC_ITreeTest, AddUsesTheOverriddenComparison)
{
    LongestFirstTree locTree;
    locTree.Add("bb");
    locTree.Add("a");
    locTree.Add("ccc");
    locTree.Add("aa");
    QC_ITreeInorderIterator<QC_String> locIterator(locTree);
    std::vector<std::string> locOrder;
    for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        locOrder.push_back((const char*)locIterator.GetCurrent());
    EXPECT_EQ(locOrder, (std::vector<std::string>{"ccc", "aa", "bb", "a"}));
}
