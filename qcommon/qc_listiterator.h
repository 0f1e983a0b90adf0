// An iterator over one QC_List that can also unlink the current item.
#pragma once

#include "qcommon/qc_assert.h"
#include "qcommon/qc_iterator.h"
#include "qcommon/qc_list.h"

#include <cstddef>

template <class T>
class QC_ListIterator : public QC_Iterator<T>
{
public:
    QC_ListIterator()
        : myCurrentLink(NULL)
        , myList(NULL)
    {
    }

    QC_ListIterator(QC_List<T>* aList)
        : myCurrentLink(NULL)
        , myList(aList)
    {
        QC_ASSERT(myList);
    }

    // The iterator never changes a const list unless RemoveCurrent or SetCurrent is called.
    QC_ListIterator(const QC_List<T>& aList)
        : myCurrentLink(NULL)
        , myList(const_cast<QC_List<T>*>(&aList))
    {
    }

    void SetList(QC_List<T>* aList)
    {
        myList = aList;
        myCurrentLink = NULL;
        QC_ASSERT(myList);
    }

    bool First() override
    {
        QC_ASSERT(myList);
        myCurrentLink = myList->myFirstLink;
        return myCurrentLink != NULL;
    }

    bool IsDone() override { return myCurrentLink == NULL; }

    T GetCurrent() override
    {
        QC_ASSERT(myList && myCurrentLink);
        return myCurrentLink->myItem;
    }

    // False when already past the end; moving off the last item answers true.
    bool Next() override
    {
        QC_ASSERT(myList);
        if (!myCurrentLink)
            return false;
        myCurrentLink = myCurrentLink->myNext;
        return true;
    }

    void SetCurrent(const T& anItem) override
    {
        QC_ASSERT(myList && myCurrentLink);
        myCurrentLink->myItem = anItem;
    }

    // Unlinks the current item without deleting it and moves to the one after.
    void RemoveCurrent()
    {
        QC_ASSERT(myList && myCurrentLink);
        myCurrentLink = myList->RemoveLink(myCurrentLink);
    }

    QC_ListLink<T>* myCurrentLink;
    QC_List<T>* myList;
};
