// A doubly linked list of values or pointers. The list owns its links, never
// the items a pointer list points at (DeleteAll deletes them on request).
#pragma once

#include "qcommon/qc_assert.h"

#include <cstddef>
#include <new>
#include <type_traits>

#include "qcommon/qc_cellpool.h"

// Links are made and freed by the hundred thousand in large models: they come
// from the pool of equal cells instead of the heap.

template <class T>
class QC_ListLink
{
public:
    static void* operator new(size_t aSize, const std::nothrow_t&) noexcept { return QC_CellPool::Allocate(aSize); }
    static void operator delete(void* aCell, size_t aSize) noexcept { QC_CellPool::Free(aCell, aSize); }
    static void operator delete(void* aCell, const std::nothrow_t&) noexcept { QC_CellPool::Free(aCell, sizeof(QC_ListLink)); }

    QC_ListLink(const T& anItem)
        : myItem(anItem)
        , myNext(NULL)
        , myPrevious(NULL)
    {
    }

    T myItem;
    QC_ListLink* myNext;
    QC_ListLink* myPrevious;
};

template <class T>
class QC_List
{
public:
    typedef QC_ListLink<T> Link;

    QC_List()
        : myFirstLink(NULL)
        , myLastLink(NULL)
        , myCount(0)
    {
    }

    QC_List(const QC_List& aList)
        : myFirstLink(NULL)
        , myLastLink(NULL)
        , myCount(0)
    {
        *this = aList;
    }

    virtual ~QC_List() { RemoveAll(); }

    // Appends at the end; false when no link can be allocated.
    bool Add(const T& anItem)
    {
        Link* locLink = new (std::nothrow) Link(anItem);
        if (!locLink)
            return false;
        locLink->myPrevious = myLastLink;
        if (myLastLink)
            myLastLink->myNext = locLink;
        else
            myFirstLink = locLink;
        myLastLink = locLink;
        QC_ASSERT(myLastLink);
        ++myCount;
        return true;
    }

    bool AddFirst(const T& anItem)
    {
        Link* locLink = new (std::nothrow) Link(anItem);
        if (!locLink)
            return false;
        locLink->myNext = myFirstLink;
        if (myFirstLink)
            myFirstLink->myPrevious = locLink;
        else
            myLastLink = locLink;
        myFirstLink = locLink;
        QC_ASSERT(myFirstLink);
        ++myCount;
        return true;
    }

    // Frees every link; the items of a pointer list are left alone.
    void RemoveAll()
    {
        Link* locLink = myFirstLink;
        while (locLink)
        {
            Link* locNext = locLink->myNext;
            delete locLink;
            locLink = locNext;
        }
        myFirstLink = NULL;
        myLastLink = NULL;
        myCount = 0;
    }

    // Deletes every item of a pointer list, then frees the links.
    void DeleteAll()
    {
        if constexpr (std::is_pointer_v<T>)
        {
            for (Link* locLink = myFirstLink; locLink; locLink = locLink->myNext)
            {
                delete locLink->myItem;
                locLink->myItem = NULL;
            }
        }
        RemoveAll();
    }

    T GetFirst() const
    {
        QC_ASSERT(myFirstLink);
        return myFirstLink->myItem;
    }

    T GetLast() const
    {
        QC_ASSERT(myLastLink);
        return myLastLink->myItem;
    }

    int Count() const { return myCount; }
    bool IsEmpty() const { return myFirstLink == NULL; }

    // Value copies of the items (pointer copies for a pointer list).
    QC_List& operator=(const QC_List& aList)
    {
        if (&aList == this)
            return *this;
        RemoveAll();
        for (const Link* locLink = aList.myFirstLink; locLink; locLink = locLink->myNext)
            Add(locLink->myItem);
        return *this;
    }

    // Unlinks and frees aLink (not its item); answers the link that followed.
    Link* RemoveLink(Link* aLink)
    {
        QC_ASSERT(aLink);
        Link* locNext = aLink->myNext;
        if (aLink->myPrevious)
            aLink->myPrevious->myNext = aLink->myNext;
        else
            myFirstLink = aLink->myNext;
        if (aLink->myNext)
            aLink->myNext->myPrevious = aLink->myPrevious;
        else
            myLastLink = aLink->myPrevious;
        --myCount;
        delete aLink;
        return locNext;
    }

    Link* myFirstLink;
    Link* myLastLink;
    int myCount;
};
