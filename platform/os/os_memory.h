// Memory for large blocks that are filled once and freed whole (arenas, cell
// pools, whole-file buffers): taken straight from the system, in whole pages,
// and given back to it at once when freed. Small requests go to the heap.
// Every build takes the same path: pools that cut pieces from these blocks
// mark the room not handed out with the address sanitizer's own interface
// (<sanitizer/asan_interface.h>, nothing in other builds), and unmark a block
// before they free it.
#pragma once

#include <cstddef>
#include <new>

// Requests from this size on are taken from the system.
constexpr size_t OS_LARGE_MIN = 1024 * 1024;

// Null when no memory is left. The block is not cleared.
void* OS_AllocLarge(size_t aSize) noexcept;
// aSize as given to OS_AllocLarge. Null is ignored.
void OS_FreeLarge(void* aBlock, size_t aSize) noexcept;
// Gives the system back the memory of the whole pages within
// aBlock[aFrom, aTo) of a block of aSize bytes from OS_AllocLarge, which then
// read as zeros: for a block that is done with from its start on (a text read
// line by line). Nothing happens for blocks from the heap.
void OS_DiscardLarge(void* aBlock, size_t aSize, size_t aFrom, size_t aTo) noexcept;
// Brings the whole pages within [aBlock, aBlock + aSize) into memory, writable,
// with one call to the system rather than a page fault each: for memory about
// to be filled anyway. Contents stay. False when the system does not do it
// (before Linux 5.14): the pages then come as touched.
bool OS_FaultIn(void* aBlock, size_t aSize) noexcept;
// The size OS_AllocLarge really sets aside for aSize: callers that cut a
// block into pieces may use all of it (and pass it back to OS_FreeLarge).
size_t OS_LargeSize(size_t aSize) noexcept;

// A standard allocator over OS_AllocLarge whose containers leave new elements
// uninitialised (a buffer resized to be read into is not cleared first).
template <class T>
struct OS_LargeAllocator
{
    using value_type = T;

    OS_LargeAllocator() = default;
    template <class U>
    OS_LargeAllocator(const OS_LargeAllocator<U>&) noexcept
    {
    }

    T* allocate(size_t aCount)
    {
        void* locBlock = OS_AllocLarge(aCount * sizeof(T));
        if (!locBlock)
            throw std::bad_alloc();
        return static_cast<T*>(locBlock);
    }
    void deallocate(T* aBlock, size_t aCount) noexcept { OS_FreeLarge(aBlock, aCount * sizeof(T)); }

    template <class U>
    void construct(U* aPlace) noexcept
    {
        ::new (static_cast<void*>(aPlace)) U;
    }
    template <class U, class... Args>
    void construct(U* aPlace, Args&&... someArgs)
    {
        ::new (static_cast<void*>(aPlace)) U(static_cast<Args&&>(someArgs)...);
    }

    template <class U>
    bool operator==(const OS_LargeAllocator<U>&) const noexcept
    {
        return true;
    }
};
