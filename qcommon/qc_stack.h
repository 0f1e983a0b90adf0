// The stack interface of the containers.
#pragma once

template <class T>
class QC_Stack
{
public:
    virtual void Clear() = 0;
    virtual bool IsEmpty() = 0;
    virtual bool Push(const T& anItem) = 0;
    virtual T Pop() = 0;
    virtual T Top() = 0;
    virtual ~QC_Stack() {}
};
