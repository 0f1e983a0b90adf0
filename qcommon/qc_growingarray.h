// A dynamic array that grows by a fixed step. Removal moves the last item into
// the hole, so the order of the items is not kept.
#pragma once

#include "qcommon/qc_assert.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

template <class T>
class QC_GrowingArray
{
public:
    QC_GrowingArray()
        : myUsedNrOfItems(0)
        , myMaxNrOfItems(0)
        , myGrowthStep(0)
        , myItemList(NULL)
        , myCopyFlag(false)
    {
    }

    // Frees the item array; pointed-to items stay (see DeleteAll).
    ~QC_GrowingArray() { delete[] myItemList; }

    QC_GrowingArray(const QC_GrowingArray&) = delete;
    QC_GrowingArray& operator=(const QC_GrowingArray&) = delete;

    // aCopyFlag: copy items one by one with their assignment instead of moving
    // blocks bytewise. An array is initialised once.
    bool Init(int aMaxNrOfItems, int aGrowthStep, bool aCopyFlag)
    {
        QC_ASSERT(myItemList == NULL);
        QC_ASSERT(aMaxNrOfItems >= 0 && aGrowthStep >= 0);
        myItemList = new (std::nothrow) T[aMaxNrOfItems > 0 ? aMaxNrOfItems : 1];
        if (!myItemList)
            return false;
        myUsedNrOfItems = 0;
        myMaxNrOfItems = aMaxNrOfItems;
        myGrowthStep = aGrowthStep;
        myCopyFlag = aCopyFlag;
        return true;
    }

    // False when the array is full and cannot grow (no memory, or step 0).
    bool Add(const T& anItem)
    {
        QC_ASSERT(myMaxNrOfItems > 0);
        if (myUsedNrOfItems >= myMaxNrOfItems)
        {
            if (Resize(myMaxNrOfItems + myGrowthStep) <= myUsedNrOfItems)
                return false;
        }
        myItemList[myUsedNrOfItems++] = anItem;
        return true;
    }

    // Returns the capacity after the call; never below the used count, and
    // unchanged when the new array cannot be allocated.
    int Resize(int aNewMaxNrOfItems)
    {
        if (aNewMaxNrOfItems == myMaxNrOfItems)
            return myMaxNrOfItems;
        if (aNewMaxNrOfItems < myUsedNrOfItems)
            aNewMaxNrOfItems = myUsedNrOfItems;
        T* locItemList = new (std::nothrow) T[aNewMaxNrOfItems > 0 ? aNewMaxNrOfItems : 1];
        if (!locItemList)
            return myMaxNrOfItems;
        if constexpr (std::is_trivially_copyable_v<T>)
        {
            if (!myCopyFlag)
            {
                if (myUsedNrOfItems > 0)
                    memcpy((void*)locItemList, (const void*)myItemList, sizeof(T) * (size_t)myUsedNrOfItems);
            }
            else
            {
                for (int locIndex = 0; locIndex < myUsedNrOfItems; ++locIndex)
                    locItemList[locIndex] = myItemList[locIndex];
            }
        }
        else
        {
            for (int locIndex = 0; locIndex < myUsedNrOfItems; ++locIndex)
                locItemList[locIndex] = myItemList[locIndex];
        }
        delete[] myItemList;
        myItemList = locItemList;
        myMaxNrOfItems = aNewMaxNrOfItems;
        return myMaxNrOfItems;
    }

    void RemoveAt(int anItemNumber)
    {
        QC_ASSERT(anItemNumber >= 0);
        QC_ASSERT(anItemNumber < myUsedNrOfItems);
        --myUsedNrOfItems;
        if (anItemNumber != myUsedNrOfItems)
            myItemList[anItemNumber] = myItemList[myUsedNrOfItems];
        if constexpr (!std::is_trivially_copyable_v<T>)
            myItemList[myUsedNrOfItems] = T();
    }

#ifdef QC_RENDER_BUILD
    // Removes the first item equal to anItem by moving the last item into its
    // place; false when there is none.
    bool RemoveCyclic(const T& anItem)
    {
        for (int locIndex = 0; locIndex < myUsedNrOfItems; ++locIndex)
            if (myItemList[locIndex] == anItem)
            {
                RemoveAt(locIndex);
                return true;
            }
        return false;
    }
#endif

    // Forgets every item without deleting it.
    void RemoveAll()
    {
        while (myUsedNrOfItems > 0)
            RemoveAt(myUsedNrOfItems - 1);
    }

    // Pointer items: deletes each item, draining slot 0. The file library
    // specialises this for open files, which it closes first.
    void DeleteAll()
    {
        while (myUsedNrOfItems > 0)
        {
            if constexpr (std::is_pointer_v<T>)
                delete myItemList[0];
            RemoveAt(0);
        }
    }

    int Count() const { return myUsedNrOfItems; }

    T& operator[](int anItemNumber)
    {
        QC_ASSERT(anItemNumber >= 0 && anItemNumber < myUsedNrOfItems);
        return myItemList[anItemNumber];
    }

    const T& operator[](int anItemNumber) const
    {
        QC_ASSERT(anItemNumber >= 0 && anItemNumber < myUsedNrOfItems);
        return myItemList[anItemNumber];
    }

    int myUsedNrOfItems;
    int myMaxNrOfItems;
    int myGrowthStep;
    T* myItemList;
    bool myCopyFlag;
};
