// Large blocks: sizes, alignment, contents kept, and the allocator that leaves
// new elements uninitialised.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/os/os_memory.h"

TEST(OSMemoryTest, LargeBlocksAreWholeAndWritable)
{
    for (size_t locSize : {size_t(1), size_t(4096), OS_LARGE_MIN - 1, OS_LARGE_MIN, size_t(3 << 20) + 17})
    {
        const size_t locHeld = OS_LargeSize(locSize);
        EXPECT_GE(locHeld, locSize);
        char* locBlock = static_cast<char*>(OS_AllocLarge(locSize));
        ASSERT_NE(locBlock, nullptr) << locSize;
        // Every byte reachable, the first and the last held.
        memset(locBlock, 0x5A, locSize);
        EXPECT_EQ(locBlock[locSize / 2], 0x5A);
        locBlock[locHeld - 1] = 1;
        OS_FreeLarge(locBlock, locHeld);
    }
    OS_FreeLarge(nullptr, OS_LARGE_MIN);
}

TEST(OSMemoryTest, LargeBlocksFromTheSystemAreWholePages)
{
    const size_t locPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    EXPECT_EQ(OS_LargeSize(OS_LARGE_MIN), OS_LARGE_MIN);
    EXPECT_EQ(OS_LargeSize(size_t(5 << 20) + 1), size_t(5 << 20) + locPage);
    EXPECT_EQ(OS_LargeSize(OS_LARGE_MIN - 1), OS_LARGE_MIN - 1);
    void* locBlocks[4];
    for (void*& locBlock : locBlocks)
    {
        locBlock = OS_AllocLarge(size_t(3 << 20) + 1);
        ASSERT_NE(locBlock, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(locBlock) % locPage, 0u);
        // The whole last page is the caller's.
        static_cast<char*>(locBlock)[OS_LargeSize(size_t(3 << 20) + 1) - 1] = 1;
    }
    for (void* locBlock : locBlocks)
        OS_FreeLarge(locBlock, size_t(3 << 20) + 1);
}

TEST(OSMemoryTest, LargeVectorsKeepTheirContentsAsTheyGrow)
{
    std::vector<uint32_t, OS_LargeAllocator<uint32_t>> locNumbers;
    for (uint32_t locIndex = 0; locIndex < 1000000; ++locIndex)
        locNumbers.push_back(locIndex * 7);
    bool locAllKept = true;
    for (uint32_t locIndex = 0; locIndex < locNumbers.size(); ++locIndex)
        locAllKept = locAllKept && locNumbers[locIndex] == locIndex * 7;
    EXPECT_TRUE(locAllKept);
    locNumbers.resize(3000000);
    EXPECT_EQ(locNumbers[999999], 999999u * 7);
    std::vector<char, OS_LargeAllocator<char>> locText(5, 'x');
    EXPECT_EQ(std::string(locText.begin(), locText.end()), "xxxxx");
}

// Discarding gives back only whole pages inside the range: the bytes around
// them, up to the page bounds, stay as they were; the pages inside read as zeros.
TEST(OSMemoryTest, DiscardedPagesReadAsZerosAndTheirNeighboursStay)
{
    const size_t locPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t locSize = size_t(3 << 20) + 100;
    char* locBlock = static_cast<char*>(OS_AllocLarge(locSize));
    ASSERT_NE(locBlock, nullptr);
    memset(locBlock, 0x5A, locSize);
    const bool locFromSystem = OS_LargeSize(locSize) != locSize;
    // From the middle of one page to the middle of another, some way on.
    const size_t locFrom = 10 * locPage + 100;
    const size_t locTo = 40 * locPage + 201;
    OS_DiscardLarge(locBlock, locSize, locFrom, locTo);
    const size_t locFirstWhole = 11 * locPage;
    const size_t locEndWhole = 40 * locPage;
    for (size_t locAt : {size_t(0), locFrom - 1, locFrom, locFirstWhole - 1, locEndWhole, locTo, locSize - 1})
        EXPECT_EQ(locBlock[locAt], 0x5A) << locAt;
    for (size_t locAt : {locFirstWhole, locFirstWhole + 1, size_t(25) * locPage, locEndWhole - 1})
        EXPECT_EQ(locBlock[locAt], locFromSystem ? 0 : 0x5A) << locAt;
    // Out of the block, or a range too small for a whole page: nothing goes.
    OS_DiscardLarge(locBlock, locSize, locSize - 10, locSize + locPage * 4);
    OS_DiscardLarge(locBlock, locSize, 2 * locPage + 1, 3 * locPage + 4000);
    EXPECT_EQ(locBlock[locSize - 1], 0x5A);
    EXPECT_EQ(locBlock[2 * locPage + 1], 0x5A);
    EXPECT_EQ(locBlock[3 * locPage - 1], 0x5A);
    // From a page bound to the block's end: the first page and the last whole one go too.
    OS_DiscardLarge(locBlock, locSize, 100 * locPage, locSize);
    EXPECT_EQ(locBlock[100 * locPage], locFromSystem ? 0 : 0x5A);
    EXPECT_EQ(locBlock[(locSize & ~(locPage - 1)) - 1], locFromSystem ? 0 : 0x5A);
    EXPECT_EQ(locBlock[100 * locPage - 1], 0x5A);
    // The pages discarded are the block's again once written.
    locBlock[locFirstWhole] = 7;
    EXPECT_EQ(locBlock[locFirstWhole], 7);
    OS_FreeLarge(locBlock, locSize);
    OS_DiscardLarge(nullptr, locSize, 0, locSize);

    // A block from the heap is left alone: its pages may hold other blocks.
    const size_t locSmall = 40 * locPage;
    ASSERT_LT(locSmall, OS_LARGE_MIN);
    char* locHeap = static_cast<char*>(OS_AllocLarge(locSmall));
    ASSERT_NE(locHeap, nullptr);
    memset(locHeap, 0x5A, locSmall);
    OS_DiscardLarge(locHeap, locSmall, 0, locSmall);
    EXPECT_EQ(locHeap[20 * locPage], 0x5A);
    OS_FreeLarge(locHeap, locSmall);
}

// Faulting in brings the whole pages of a range in at once and keeps what
// they hold; the pages partly outside it are left as they are.
TEST(OSMemoryTest, FaultedInPagesAreInMemoryAndKeepTheirContents)
{
    const size_t locPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t locSize = 64 * locPage;
    void* locMapped = mmap(nullptr, locSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(locMapped, MAP_FAILED);
    char* locBlock = static_cast<char*>(locMapped);
    locBlock[0] = 1;
    locBlock[3 * locPage + 5] = 2;
    auto locResident = [&](size_t aPage)
    {
        unsigned char locIn = 0;
        return mincore(locBlock + aPage * locPage, locPage, &locIn) == 0 && (locIn & 1) != 0;
    };
    EXPECT_FALSE(locResident(10));
    // From within page 2 to within page 40: pages 3 to 39 come in.
    const bool locDone = OS_FaultIn(locBlock + 2 * locPage + 1, 38 * locPage);
    if (locDone)
    {
        for (size_t locAt : {size_t(3), size_t(10), size_t(39)})
            EXPECT_TRUE(locResident(locAt)) << locAt;
        EXPECT_FALSE(locResident(2));
        EXPECT_FALSE(locResident(40));
    }
    EXPECT_EQ(locBlock[0], 1);
    EXPECT_EQ(locBlock[3 * locPage + 5], 2);
    EXPECT_EQ(locBlock[10 * locPage], 0);
    // Nothing, or less than a page: nothing to do.
    EXPECT_FALSE(OS_FaultIn(nullptr, locSize));
    EXPECT_FALSE(OS_FaultIn(locBlock + 1, locPage));
    munmap(locMapped, locSize);
}
