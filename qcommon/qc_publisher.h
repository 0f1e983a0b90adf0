// Publish/subscribe of keyed messages. The publisher owns one subscriber list
// per key, never the subscribers: a subscriber unsubscribes before it dies.
#pragma once

#include "qcommon/qc_assert.h"
#include "qcommon/qc_keytree.h"
#include "qcommon/qc_list.h"
#include "qcommon/qc_listiterator.h"

#include <new>

template <class K, class V>
class QC_Subscriber
{
public:
    virtual ~QC_Subscriber() {}
    // aValue is the receiver's own copy. False ends the program.
    virtual bool Receive(K aKey, V aValue) = 0;
};

template <class K, class V>
class QC_Publisher
{
public:
    typedef QC_Subscriber<K, V> Subscriber;
    typedef QC_List<Subscriber*> SubscriberList;

    QC_Publisher() {}

    // Deletes the subscriber lists, not the subscribers.
    virtual ~QC_Publisher() { myTree.DeleteAll(); }

    QC_Publisher(const QC_Publisher&) = delete;
    QC_Publisher& operator=(const QC_Publisher&) = delete;

    // Adds aSubscriber to aKey's list once; true also when it was there.
    bool Subscribe(K aKey, Subscriber* aSubscriber)
    {
        SubscriberList* locList = NULL;
        if (!myTree.Find(aKey, &locList))
        {
            locList = new (std::nothrow) SubscriberList;
            if (!locList)
                return false;
            if (!myTree.Add(locList, aKey))
            {
                delete locList;
                return false;
            }
        }
        QC_ListIterator<Subscriber*> locIterator(locList);
        for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        {
            if (locIterator.GetCurrent() == aSubscriber)
                return true;
        }
        return locList->Add(aSubscriber);
    }

    // Removes aSubscriber from every key and drops the keys left empty.
    void Unsubscribe(Subscriber* aSubscriber)
    {
        QC_List<K> locEmptyKeys;
        QC_KeyTreeInorderIterator<SubscriberList*, K> locKeys(&myTree);
        for (locKeys.First(); !locKeys.IsDone(); locKeys.Next())
        {
            SubscriberList* locList = locKeys.GetCurrent();
            QC_ListIterator<Subscriber*> locIterator(locList);
            for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
            {
                if (locIterator.GetCurrent() == aSubscriber)
                {
                    locIterator.RemoveCurrent();
                    if (locList->myCount == 0)
                        locEmptyKeys.Add(locKeys.GetCurrentKey());
                    break;
                }
            }
        }
        QC_ListIterator<K> locKeyIterator(&locEmptyKeys);
        for (locKeyIterator.First(); !locKeyIterator.IsDone(); locKeyIterator.Next())
        {
            SubscriberList* locList = NULL;
            if (myTree.Remove(locKeyIterator.GetCurrent(), &locList))
                delete locList;
        }
    }

    // Hands every subscriber of the list its own copy of aValue, in order.
    bool CallbackSubscribers(SubscriberList* aList, K aKey, const V& aValue)
    {
        QC_ListIterator<Subscriber*> locIterator(aList);
        for (locIterator.First(); !locIterator.IsDone(); locIterator.Next())
        {
            // The by-value parameter is the subscriber's own copy.
            if (!locIterator.GetCurrent()->Receive(aKey, aValue))
                QC_ASSERT(0 && "QC_Publisher::CallbackSubscribers(): subscriber indicated that a Receive() failed");
        }
        return true;
    }

    // Publishes under aKey; a key nobody subscribed to sends nothing.
    bool CallbackSubscribers(K aKey, const V& aValue)
    {
        SubscriberList* locList = NULL;
        if (!myTree.Find(aKey, &locList))
            return true;
        return CallbackSubscribers(locList, aKey, aValue);
    }

    QC_KeyTree<SubscriberList*, K> myTree;
};
