// The renderer's singly linked value list with one built-in cursor.
#pragma once

#include <new>
#include <stddef.h>

#include "qcommon/qc_assert.h"

template <class T> class QR_VL_List
{
public:
    struct Node
    {
        T myItem;
        Node* myNext;
    };

    Node* myFirst = nullptr;
    Node* myLast = nullptr;
    int myCount = 0;
    Node* myIteratorNode = nullptr; // null: the walk has not started, or has ended

    QR_VL_List() = default;
    QR_VL_List(const QR_VL_List&) = delete;
    QR_VL_List& operator=(const QR_VL_List&) = delete;
    ~QR_VL_List() { RemoveAll(); }

    bool AddFirst(const T& anItem)
    {
        Node* locNode = new (std::nothrow) Node{anItem, myFirst};
        if (!locNode)
            return false;
        myFirst = locNode;
        if (!myLast)
            myLast = locNode;
        myCount++;
        return true;
    }

    bool AddLast(const T& anItem)
    {
        Node* locNode = new (std::nothrow) Node{anItem, nullptr};
        if (!locNode)
            return false;
        if (myLast)
            myLast->myNext = locNode;
        else
            myFirst = locNode;
        myLast = locNode;
        myCount++;
        return true;
    }

    int GetCount() const { return myCount; }

    // Puts the cursor before the first node; the next Next() stands on it.
    void Reset() { myIteratorNode = nullptr; }
    bool AtEnd() const { return myIteratorNode == nullptr; }

    T GetCurrent() const
    {
        QC_ASSERT(myIteratorNode != NULL);
        return myIteratorNode->myItem;
    }

    void Next() { myIteratorNode = myIteratorNode ? myIteratorNode->myNext : myFirst; }

    // The cursor moves to the predecessor, so that Next() continues with the
    // node after the removed one.
    void RemoveCurrent()
    {
        QC_ASSERT(myIteratorNode != NULL);
        Node* locNode = myIteratorNode;
        Node* locPrevious = nullptr;
        if (locNode == myFirst)
            myFirst = locNode->myNext;
        else
        {
            locPrevious = myFirst;
            while (locPrevious->myNext != locNode)
                locPrevious = locPrevious->myNext;
            locPrevious->myNext = locNode->myNext;
        }
        if (locNode == myLast)
            myLast = locPrevious;
        delete locNode;
        myCount--;
        myIteratorNode = locPrevious;
    }

    // Frees the nodes, not what pointer items point at.
    void RemoveAll()
    {
        Node* locNode = myFirst;
        while (locNode)
        {
            Node* locNext = locNode->myNext;
            delete locNode;
            locNode = locNext;
        }
        myFirst = myLast = myIteratorNode = nullptr;
        myCount = 0;
    }
};
