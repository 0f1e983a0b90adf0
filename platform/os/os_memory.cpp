// Large blocks straight from the system.
#include "platform/os/os_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace
{
bool Priv_FromSystem(size_t aSize)
{
    return aSize >= OS_LARGE_MIN;
}
}

size_t OS_LargeSize(size_t aSize) noexcept
{
    static const size_t ourPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (!Priv_FromSystem(aSize) || aSize > SIZE_MAX - ourPage)
        return aSize;
    return (aSize + ourPage - 1) & ~(ourPage - 1);
}

void* OS_AllocLarge(size_t aSize) noexcept
{
    if (!Priv_FromSystem(aSize))
        return malloc(aSize ? aSize : 1);
    if (aSize > SIZE_MAX / 2)
        return nullptr;
    void* locBlock = mmap(nullptr, OS_LargeSize(aSize), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return locBlock == MAP_FAILED ? nullptr : locBlock;
}

void OS_DiscardLarge(void* aBlock, size_t aSize, size_t aFrom, size_t aTo) noexcept
{
    if (!aBlock || !Priv_FromSystem(aSize) || aTo > aSize)
        return;
    static const size_t ourPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t locPage = ourPage;
    const uintptr_t locStart = (reinterpret_cast<uintptr_t>(aBlock) + aFrom + locPage - 1) & ~uintptr_t(locPage - 1);
    const uintptr_t locEnd = (reinterpret_cast<uintptr_t>(aBlock) + aTo) & ~uintptr_t(locPage - 1);
    if (locEnd > locStart)
        madvise(reinterpret_cast<void*>(locStart), locEnd - locStart, MADV_DONTNEED);
}

bool OS_FaultIn(void* aBlock, size_t aSize) noexcept
{
#ifdef MADV_POPULATE_WRITE
    constexpr int locPopulateWrite = MADV_POPULATE_WRITE;
#else
    constexpr int locPopulateWrite = 23; // Linux 5.14 on; older ones refuse it
#endif
    static const size_t ourPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t locStart = (reinterpret_cast<uintptr_t>(aBlock) + ourPage - 1) & ~uintptr_t(ourPage - 1);
    const uintptr_t locEnd = (reinterpret_cast<uintptr_t>(aBlock) + aSize) & ~uintptr_t(ourPage - 1);
    return aBlock && locEnd > locStart &&
           madvise(reinterpret_cast<void*>(locStart), locEnd - locStart, locPopulateWrite) == 0;
}

void OS_FreeLarge(void* aBlock, size_t aSize) noexcept
{
    if (!aBlock)
        return;
    if (!Priv_FromSystem(aSize))
        free(aBlock);
    else
        munmap(aBlock, OS_LargeSize(aSize));
}
