// An unbalanced binary search tree from keys (int or QC_String) to values,
// with its in-order iterator. An equal key, when allowed, goes to the right,
// so equal keys come out of a walk in insertion order.
#pragma once

#include "qcommon/qc_assert.h"
#include "qcommon/qc_iterator.h"
#include "qcommon/qc_stacklist.h"

#include <cstddef>
#include <new>
#include <type_traits>

template <class T, class K>
class QC_KeyTreeNode
{
public:
    QC_KeyTreeNode(const T& aValue, const K& aKey)
        : myValue(aValue)
        , myKey(aKey)
        , myLeftChild(NULL)
        , myRightChild(NULL)
    {
    }

    T myValue;
    K myKey;
    QC_KeyTreeNode* myLeftChild;
    QC_KeyTreeNode* myRightChild;
};

template <class T, class K>
class QC_KeyTree
{
public:
    typedef QC_KeyTreeNode<T, K> Node;

    QC_KeyTree(bool anAllowDuplicatesFlag = false)
        : myRoot(NULL)
        , myCount(0)
        , myAllowDuplicatesFlag(anAllowDuplicatesFlag)
    {
    }

    // Frees the nodes; pointer values stay (DeleteAll deletes them).
    ~QC_KeyTree() { RemoveAll(); }

    QC_KeyTree(const QC_KeyTree&) = delete;
    QC_KeyTree& operator=(const QC_KeyTree&) = delete;

    // False on an equal key unless duplicates are allowed, or out of memory.
    bool Add(const T& aValue, const K& aKey)
    {
        if (!myRoot)
        {
            myRoot = new (std::nothrow) Node(aValue, aKey);
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
            bool locGoLeft;
            if (aKey < parent->myKey)
                locGoLeft = true;
            else if (parent->myKey < aKey)
                locGoLeft = false;
            else if (myAllowDuplicatesFlag)
                locGoLeft = false;
            else
                return false;
            Node* locChild = locGoLeft ? parent->myLeftChild : parent->myRightChild;
            if (locChild)
            {
                parent = locChild;
                continue;
            }
            Node* locNode = new (std::nothrow) Node(aValue, aKey);
            if (!locNode)
                return false;
            if (locGoLeft)
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

    // The node nearest the root with an equal key; either output may be null.
    bool Find(const K& aKey, T* aValue = NULL, Node** aNode = NULL) const
    {
        Node* current = myRoot;
        while (current)
        {
            if (aKey < current->myKey)
                current = current->myLeftChild;
            else if (current->myKey < aKey)
                current = current->myRightChild;
            else
            {
                QC_ASSERT(aKey == current->myKey);
                if (aValue)
                    *aValue = current->myValue;
                if (aNode)
                    *aNode = current;
                return true;
            }
        }
        return false;
    }

    // Removes the node nearest the root with an equal key and hands out its value.
    bool Remove(const K& aKey, T* aValue = NULL)
    {
        Node** locLink = &myRoot;
        while (*locLink)
        {
            Node* locNode = *locLink;
            if (aKey < locNode->myKey)
                locLink = &locNode->myLeftChild;
            else if (locNode->myKey < aKey)
                locLink = &locNode->myRightChild;
            else
            {
                if (aValue)
                    *aValue = locNode->myValue;
                *locLink = BuildReplacement(locNode);
                delete locNode;
                --myCount;
                return true;
            }
        }
        return false;
    }

    // Frees a subtree in post-order, deleting pointer values with their nodes.
    // The caller resets the link that led to aNode.
    void FreeNode(Node* aNode)
    {
        if (!aNode)
            return;
        FreeNode(aNode->myLeftChild);
        FreeNode(aNode->myRightChild);
        if constexpr (std::is_pointer_v<T>)
            delete aNode->myValue;
        delete aNode;
    }

    // Deletes every pointer value and frees every node.
    void DeleteAll()
    {
        FreeNode(myRoot);
        myRoot = NULL;
        myCount = 0;
    }

    // Frees every node and leaves the values alone.
    void RemoveAll()
    {
        FreeNodesOnly(myRoot);
        myRoot = NULL;
        myCount = 0;
    }

    Node* myRoot;
    int myCount;
    bool myAllowDuplicatesFlag;

private:
    static Node* BuildReplacement(Node* aNode)
    {
        if (!aNode->myLeftChild)
            return aNode->myRightChild;
        if (!aNode->myRightChild)
            return aNode->myLeftChild;
        Node* locRight = aNode->myRightChild;
        if (!locRight->myLeftChild)
        {
            locRight->myLeftChild = aNode->myLeftChild;
            return locRight;
        }
        Node* locParent = locRight;
        Node* locLeftmost = locRight->myLeftChild;
        while (locLeftmost->myLeftChild)
        {
            locParent = locLeftmost;
            locLeftmost = locLeftmost->myLeftChild;
        }
        locParent->myLeftChild = locLeftmost->myRightChild;
        locLeftmost->myLeftChild = aNode->myLeftChild;
        locLeftmost->myRightChild = aNode->myRightChild;
        return locLeftmost;
    }

    static void FreeNodesOnly(Node* aNode)
    {
        if (!aNode)
            return;
        FreeNodesOnly(aNode->myLeftChild);
        FreeNodesOnly(aNode->myRightChild);
        delete aNode;
    }
};

// Walks a key tree in ascending key order. The tree must not change during
// the walk, except through the walk's own bookkeeping.
template <class T, class K>
class QC_KeyTreeInorderIterator : public QC_Iterator<T>
{
public:
    typedef QC_KeyTreeNode<T, K> Node;

    QC_KeyTreeInorderIterator(QC_KeyTree<T, K>* aTree)
        : myRoot(&aTree->myRoot)
    {
    }

    QC_KeyTreeInorderIterator(const QC_KeyTree<T, K>& aTree)
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

    T GetCurrent() override { return myStack.Top()->myValue; }
    K GetCurrentKey() { return myStack.Top()->myKey; }
    Node* GetCurrentNode() { return myStack.Top(); }

    bool Next() override
    {
        if (!myStack.IsEmpty())
        {
            Node* locNode = myStack.Pop();
            PushLeftPath(locNode->myRightChild);
        }
        return !myStack.IsEmpty();
    }

    Node** myRoot;
    QC_StackList<Node*> myStack;

private:
    void PushLeftPath(Node* aNode)
    {
        for (; aNode; aNode = aNode->myLeftChild)
            myStack.Push(aNode);
    }
};
