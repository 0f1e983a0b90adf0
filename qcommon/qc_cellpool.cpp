// The pool of small cells.
#include "qcommon/qc_cellpool.h"

#include <sanitizer/asan_interface.h>

#include <atomic>
#include <cstdlib>

#include "platform/os/os_memory.h"

namespace
{
constexpr size_t locStep = 8;
constexpr size_t locMaxCell = QC_CELLPOOL_MAX;
// Blocks of 64 KB from the heap at first; once the pool holds a few
// megabytes, blocks of 2 MB from the system (a compile makes cells by the
// million). A small program stays small.
constexpr size_t locSmallBlockSize = 64 * 1024;
constexpr size_t locLargeBlockSize = 2 * 1024 * 1024;
constexpr size_t locLargeFrom = 4 * 1024 * 1024;
// A large block is faulted in this much at a time as it fills: one call
// instead of a fault per page, and no more in memory than the fill needs.
constexpr size_t locFaultStep = 64 * 1024;

struct CellPool
{
    // The lock guards everything below.
    std::atomic_flag myLock = ATOMIC_FLAG_INIT;
    void* myFree[locMaxCell / locStep + 1] = {};
    // The blocks from the heap, which the leak checker follows from here;
    // those from the system it does not scan. Cells handed out lie in
    // unpoisoned memory, where it follows their pointers in turn; freed ones
    // in poisoned memory, where it does not.
    char* mySmallBlocks[locLargeFrom / locSmallBlockSize] = {};
    size_t myNumSmallBlocks = 0;
    char* myBlock = nullptr;
    size_t myBlockLeft = 0;
    // Bytes of the current block from myBlock on that are faulted in already.
    size_t myFaultedLeft = 0;
    size_t myHeld = 0;   // bytes in blocks so far
    size_t myNumCells = 0;
    bool myLargeFlag = false;

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
    if (aSize == 0 || aSize > locMaxCell)
        return malloc(aSize);
    const size_t locClass = (aSize + locStep - 1) / locStep;
    const size_t locCellSize = locClass * locStep;
    CellPool& locPool = Priv_Pool();
    locPool.Lock();
    void* locCell = locPool.myFree[locClass];
    if (locCell)
    {
        ASAN_UNPOISON_MEMORY_REGION(locCell, locCellSize);
        locPool.myFree[locClass] = *static_cast<void**>(locCell);
    }
    else
    {
        if (locPool.myBlockLeft < locCellSize)
        {
            // The rest of the old block stays unused.
            const size_t locBlockSize =
                locPool.myHeld < locLargeFrom && !locPool.myLargeFlag ? locSmallBlockSize : locLargeBlockSize;
            locPool.myBlock = static_cast<char*>(OS_AllocLarge(locBlockSize));
            locPool.myBlockLeft = locPool.myBlock ? locBlockSize : 0;
            // Blocks from the heap are used as they come.
            locPool.myFaultedLeft = locBlockSize == locSmallBlockSize ? locPool.myBlockLeft : 0;
            locPool.myHeld += locPool.myBlockLeft;
            ASAN_POISON_MEMORY_REGION(locPool.myBlock, locPool.myBlockLeft);
            if (locPool.myBlock && locBlockSize == locSmallBlockSize)
                locPool.mySmallBlocks[locPool.myNumSmallBlocks++] = locPool.myBlock;
        }
        if (locPool.myBlock)
        {
            if (locPool.myFaultedLeft < locCellSize)
            {
                const size_t locStep = locPool.myBlockLeft - locPool.myFaultedLeft < locFaultStep
                                           ? locPool.myBlockLeft - locPool.myFaultedLeft
                                           : locFaultStep;
                OS_FaultIn(locPool.myBlock + locPool.myFaultedLeft, locStep);
                locPool.myFaultedLeft += locStep;
            }
            locCell = locPool.myBlock;
            ASAN_UNPOISON_MEMORY_REGION(locCell, locCellSize);
            locPool.myBlock += locCellSize;
            locPool.myBlockLeft -= locCellSize;
            locPool.myFaultedLeft -= locCellSize;
        }
    }
    locPool.myNumCells += locCell != nullptr;
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

size_t QC_CellPool::GetNumCells() noexcept
{
    CellPool& locPool = Priv_Pool();
    locPool.Lock();
    const size_t locCount = locPool.myNumCells;
    locPool.Unlock();
    return locCount;
}

void QC_CellPool::Free(void* aCell, size_t aSize) noexcept
{
    if (aCell == nullptr)
        return;
    if (aSize == 0 || aSize > locMaxCell)
    {
        free(aCell);
        return;
    }
    const size_t locClass = (aSize + locStep - 1) / locStep;
    CellPool& locPool = Priv_Pool();
    locPool.Lock();
    *static_cast<void**>(aCell) = locPool.myFree[locClass];
    locPool.myFree[locClass] = aCell;
    locPool.myNumCells--;
    // The link written above stays readable to the pool alone.
    ASAN_POISON_MEMORY_REGION(aCell, locClass * locStep);
    locPool.Unlock();
}
