// A stack on a QC_List whose first link is the top.
#pragma once

#include "qcommon/qc_assert.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_stack.h"

#include <cstddef>

template <class T>
class QC_StackList : public QC_Stack<T>
{
public:
    void Clear() override { myList.RemoveAll(); }
    bool IsEmpty() override { return myList.myFirstLink == NULL; }
    bool Push(const T& anItem) override { return myList.AddFirst(anItem); }

    T Pop() override
    {
        T locItem = myList.GetFirst();
        myList.RemoveLink(myList.myFirstLink);
        return locItem;
    }

    T Top() override
    {
        return myList.GetFirst();
    }

    int Count() const { return myList.myCount; }

    QC_List<T> myList;
};
