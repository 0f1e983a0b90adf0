// A binary search tree of unique items ordered by a virtual comparison, with
// its in-order iterator.
#pragma once

#include "qcommon/qc_assert.h"
#include "qcommon/qc_iterator.h"
#include "qcommon/qc_stacklist.h"

#include <cstddef>
#include <new>

template <class T>
class QC_ITreeNode
{
public:
    QC_ITreeNode(const T& aData)
        : myData(aData)
        , myLeftChild(NULL)
        , myRightChild(NULL)
    {
    }

    T myData;
    QC_ITreeNode* myLeftChild;
    QC_ITreeNode* myRightChild;
};

template <class T>
class QC_ITree
{
public:
    typedef QC_ITreeNode<T> Node;

    // Answers of Compare.
    enum
    {
        LESS = 0,
        GREATER = 1,
        EQUAL = 2
    };

    QC_ITree()
        : myRoot(NULL)
        , myCount(0)
    {
    }

    // Frees every node with its item (pointed-to items stay).
    virtual ~QC_ITree()
    {
        FreeNode(myRoot);
        myRoot = NULL;
        myCount = 0;
    }

    QC_ITree(const QC_ITree&) = delete;
    QC_ITree& operator=(const QC_ITree&) = delete;

    // False when an equal item is present, or out of memory.
    virtual bool Add(const T& anItem)
    {
        if (!myRoot)
        {
            myRoot = new (std::nothrow) Node(anItem);
            if (!myRoot)
                return false;
            QC_ASSERT(myRoot);
            QC_ASSERT(myCount == 0);
            ++myCount;
            return true;
        }
        Node* parent = myRoot;
        for (;;)
        {
            unsigned char locOrder = Compare(anItem, parent->myData);
            if (locOrder == EQUAL)
                return false;
            Node* locChild = locOrder == LESS ? parent->myLeftChild : parent->myRightChild;
            if (locChild)
            {
                parent = locChild;
                continue;
            }
            Node* locNode = new (std::nothrow) Node(anItem);
            if (!locNode)
                return false;
            if (locOrder == LESS)
            {
                parent->myLeftChild = locNode;
                QC_ASSERT(parent->myLeftChild);
            }
            else
            {
                parent->myRightChild = locNode;
                QC_ASSERT(parent->myRightChild);
            }
            ++myCount;
            return true;
        }
    }

    // LESS when aFirst sorts before aSecond, GREATER after, EQUAL otherwise.
    virtual unsigned char Compare(const T& aFirst, const T& aSecond)
    {
        if (aFirst < aSecond)
            return LESS;
        if (aSecond < aFirst)
            return GREATER;
        return EQUAL;
    }

    bool Find(const T& anInstance)
    {
        Node* current = myRoot;
        while (current)
        {
            unsigned char locOrder = Compare(anInstance, current->myData);
            if (locOrder == EQUAL)
            {
                QC_ASSERT(anInstance == current->myData);
                return true;
            }
            current = locOrder == LESS ? current->myLeftChild : current->myRightChild;
        }
        return false;
    }

    // Frees a subtree in post-order with its items. The caller resets the link
    // that led to aNode, and the count.
    void FreeNode(Node* aNode)
    {
        if (!aNode)
            return;
        FreeNode(aNode->myLeftChild);
        FreeNode(aNode->myRightChild);
        delete aNode;
    }

    void RemoveAll()
    {
        FreeNode(myRoot);
        myRoot = NULL;
        myCount = 0;
    }

    Node* myRoot;
    int myCount;
};

// Walks a QC_ITree in ascending order.
template <class T>
class QC_ITreeInorderIterator : public QC_Iterator<T>
{
public:
    typedef QC_ITreeNode<T> Node;

    QC_ITreeInorderIterator(QC_ITree<T>* aTree)
        : myRoot(&aTree->myRoot)
    {
    }

    QC_ITreeInorderIterator(const QC_ITree<T>& aTree)
        : myRoot(const_cast<Node**>(&aTree.myRoot))
    {
    }

    bool First() override
    {
        myStack.Clear();
        PushLeftPath(*myRoot);
        return !myStack.IsEmpty();
    }

    bool IsDone() override { return myStack.IsEmpty(); }
    T GetCurrent() override { return myStack.Top()->myData; }

    bool Next() override
    {
        if (!myStack.IsEmpty())
        {
            Node* locNode = myStack.Pop();
            PushLeftPath(locNode->myRightChild);
        }
        return !myStack.IsEmpty();
    }

    // Items are the tree's keys: changing one in place would break the order.
    void SetCurrent(const T& anItem) override { (void)anItem; }

    Node** myRoot;
    QC_StackList<Node*> myStack;

private:
    void PushLeftPath(Node* aNode)
    {
        for (; aNode; aNode = aNode->myLeftChild)
            myStack.Push(aNode);
    }
};
