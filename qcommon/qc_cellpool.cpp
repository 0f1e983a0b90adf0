// The pool of small cells.
#include "qcommon/qc_cellpool.h"

#include <atomic>
#include <cstdlib>

#include "platform/os/os_memory.h"

namespace
{
constexpr size_t locStep = 8;
constexpr size_t locMaxCell = QC_CELLPOOL_MAX;
// Blocks of 64 KB from the heap at first; once the pool holds a few
// megabytes, blocks of a huge page, which fill with few page faults (a
// compile makes cells by the million). A small program stays small.
constexpr size_t locSmallBlockSize = 64 * 1024;
constexpr size_t locLargeBlockSize = QC_CELLPOOL_BLOCK;
constexpr size_t locLargeFrom = 4 * 1024 * 1024;

// Sanitizer builds use the heap for every cell, so that their checks see each one.
constexpr bool locPooled = !OS_HEAP_CHECKED;

struct CellPool
{
    // The lock only guards the cell lists.
    std::atomic_flag myLock = ATOMIC_FLAG_INIT;
    void* myFree[locMaxCell / locStep + 1] = {};
    char* myBlock = nullptr;
    size_t myBlockLeft = 0;
    size_t myHeld = 0;   // bytes in blocks so far
    bool myLargeFlag = false;
    char* myOffered = nullptr; // a block of locLargeBlockSize, not cut yet

    void Lock()
    {
        while (myLock.test_and_set(std::memory_order_acquire))
            ;
    }
    void Unlock() { myLock.clear(std::memory_order_release); }
};

CellPool& Priv_Pool()
{
    // Never destroyed: cells may outlive the static objects of this file.
    static CellPool* ourPool = new CellPool();
    return *ourPool;
}
}

void* QC_CellPool::Allocate(size_t aSize) noexcept
{
    if (!locPooled || aSize == 0 || aSize > locMaxCell)
        return malloc(aSize);
    const size_t locClass = (aSize + locStep - 1) / locStep;
    CellPool& locPool = Priv_Pool();
    locPool.Lock();
    void* locCell = locPool.myFree[locClass];
    if (locCell)
        locPool.myFree[locClass] = *static_cast<void**>(locCell);
    else
    {
        const size_t locCellSize = locClass * locStep;
        if (locPool.myBlockLeft < locCellSize)
        {
            // The rest of the old block stays unused.
            const size_t locBlockSize =
                locPool.myHeld < locLargeFrom && !locPool.myLargeFlag ? locSmallBlockSize : locLargeBlockSize;
            if (locPool.myOffered)
            {
                locPool.myBlock = locPool.myOffered;
                locPool.myBlockLeft = locLargeBlockSize;
                locPool.myOffered = nullptr;
            }
            else
            {
                locPool.myBlock = static_cast<char*>(OS_AllocLarge(locBlockSize));
                locPool.myBlockLeft = locPool.myBlock ? locBlockSize : 0;
            }
            locPool.myHeld += locPool.myBlockLeft;
        }
        if (locPool.myBlock)
        {
            locCell = locPool.myBlock;
            locPool.myBlock += locCellSize;
            locPool.myBlockLeft -= locCellSize;
        }
    }
    locPool.Unlock();
    return locCell;
}

void QC_CellPool::ExpectMany() noexcept
{
    CellPool& locPool = Priv_Pool();
    locPool.Lock();
    locPool.myLargeFlag = true;
    locPool.Unlock();
}

bool QC_CellPool::Offer(void* aBlock) noexcept
{
    if (!locPooled || aBlock == nullptr)
        return false;
    CellPool& locPool = Priv_Pool();
    locPool.Lock();
    const bool locTaken = locPool.myOffered == nullptr;
    if (locTaken)
        locPool.myOffered = static_cast<char*>(aBlock);
    locPool.Unlock();
    return locTaken;
}

void QC_CellPool::Free(void* aCell, size_t aSize) noexcept
{
    if (aCell == nullptr)
        return;
    if (!locPooled || aSize == 0 || aSize > locMaxCell)
    {
        free(aCell);
        return;
    }
    const size_t locClass = (aSize + locStep - 1) / locStep;
    CellPool& locPool = Priv_Pool();
    locPool.Lock();
    *static_cast<void**>(aCell) = locPool.myFree[locClass];
    locPool.myFree[locClass] = aCell;
    locPool.Unlock();
}
