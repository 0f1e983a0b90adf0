// The iteration interface of the containers.
#pragma once

template <class T>
class QC_Iterator
{
public:
    // True when there is a first item.
    virtual bool First() = 0;
    // True when there is no current item.
    virtual bool IsDone() = 0;
    virtual T GetCurrent() = 0;
    virtual bool Next() = 0;
    // Replaces the current item; iterators that cannot do that ignore it.
    virtual void SetCurrent(const T& anItem) { (void)anItem; }
    virtual ~QC_Iterator() {}
};
