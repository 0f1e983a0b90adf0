// The cell pool: cells of every size apart and kept, freed cells used again,
// the count of cells in use, and, under the address sanitizer, reads of freed
// cells reported.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "qcommon/qc_cellpool.h"

namespace
{
struct Cell
{
    char* myStart;
    size_t mySize;
};
}

// Enough cells to fill several blocks small and large: each lies apart from
// the others and keeps what was written to it; a freed cell of a size comes
// back for the next request of that size.
TEST(QC_CellPoolTest, CellsLieApartKeepTheirBytesAndComeBack)
{
    const size_t locBefore = QC_CellPool::GetNumCells();
    std::vector<Cell> locCells;
    for (size_t locIndex = 0; locIndex < 60000; locIndex++)
    {
        const size_t locSize = 1 + locIndex * 37 % QC_CELLPOOL_MAX;
        char* locCell = static_cast<char*>(QC_CellPool::Allocate(locSize));
        ASSERT_NE(locCell, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(locCell) % 8, 0u);
        memset(locCell, static_cast<int>(locIndex % 251), locSize);
        locCells.push_back({locCell, locSize});
    }
    EXPECT_EQ(QC_CellPool::GetNumCells(), locBefore + locCells.size());
    std::vector<Cell> locByPlace = locCells;
    std::sort(locByPlace.begin(), locByPlace.end(), [](const Cell& a, const Cell& b) { return a.myStart < b.myStart; });
    for (size_t locIndex = 1; locIndex < locByPlace.size(); locIndex++)
        ASSERT_LE(locByPlace[locIndex - 1].myStart + locByPlace[locIndex - 1].mySize, locByPlace[locIndex].myStart);
    bool locKept = true;
    for (size_t locIndex = 0; locIndex < locCells.size(); locIndex++)
        for (size_t locAt = 0; locAt < locCells[locIndex].mySize; locAt++)
            locKept = locKept && locCells[locIndex].myStart[locAt] == static_cast<char>(locIndex % 251);
    EXPECT_TRUE(locKept);

    // Sizes in one step of 8 share their cells.
    QC_CellPool::Free(locCells[0].myStart, locCells[0].mySize);
    EXPECT_EQ(QC_CellPool::Allocate((locCells[0].mySize + 7) / 8 * 8), locCells[0].myStart);
    for (const Cell& locCell : locCells)
        QC_CellPool::Free(locCell.myStart, locCell.mySize);
    EXPECT_EQ(QC_CellPool::GetNumCells(), locBefore);

    // Larger requests come from the heap and are not counted.
    void* locLarge = QC_CellPool::Allocate(QC_CELLPOOL_MAX + 1);
    ASSERT_NE(locLarge, nullptr);
    EXPECT_EQ(QC_CellPool::GetNumCells(), locBefore);
    QC_CellPool::Free(locLarge, QC_CELLPOOL_MAX + 1);
    QC_CellPool::Free(nullptr, 8);
    EXPECT_EQ(QC_CellPool::GetNumCells(), locBefore);
    // Empty requests too, each its own.
    void* locEmpty[2] = {QC_CellPool::Allocate(0), QC_CellPool::Allocate(0)};
    EXPECT_NE(locEmpty[0], locEmpty[1]);
    QC_CellPool::Free(locEmpty[0], 0);
    QC_CellPool::Free(locEmpty[1], 0);
    EXPECT_EQ(QC_CellPool::GetNumCells(), locBefore);

    // Told that many cells are coming, the pool goes on handing them out.
    QC_CellPool::ExpectMany();
    void* locAfter = QC_CellPool::Allocate(24);
    ASSERT_NE(locAfter, nullptr);
    memset(locAfter, 1, 24);
    QC_CellPool::Free(locAfter, 24);
    EXPECT_EQ(QC_CellPool::GetNumCells(), locBefore);
}

// Threads taking and freeing cells at once each keep their own.
TEST(QC_CellPoolTest, ThreadsKeepTheirCellsApart)
{
    const size_t locBefore = QC_CellPool::GetNumCells();
    // Small cells from the first blocks, then cells of 200 bytes by the
    // megabyte, which take the large blocks that threads bring in at once.
    for (const size_t locWords : {size_t(2), size_t(25)})
    {
        std::vector<std::thread> locThreads;
        std::vector<int> locBroken(4, 0);
        for (int locThread = 0; locThread < 4; locThread++)
            locThreads.emplace_back([locThread, locWords, &locBroken] {
                const size_t locSize = locWords * sizeof(uint64_t);
                std::vector<uint64_t*> locMine;
                for (uint64_t locRound = 0; locRound < 20000; locRound++)
                {
                    uint64_t* locCell = static_cast<uint64_t*>(QC_CellPool::Allocate(locSize));
                    for (size_t locWord = 0; locWord < locWords; locWord++)
                        locCell[locWord] = uint64_t(locThread) << 32 | locRound;
                    locMine.push_back(locCell);
                    if (locRound % 3 == 2)
                    {
                        uint64_t* locOld = locMine[locMine.size() - 2];
                        locMine.erase(locMine.end() - 2);
                        QC_CellPool::Free(locOld, locSize);
                    }
                }
                for (uint64_t* locCell : locMine)
                {
                    for (size_t locWord = 0; locWord < locWords; locWord++)
                        locBroken[size_t(locThread)] +=
                            locCell[locWord] != locCell[0] || (locCell[0] >> 32) != uint64_t(locThread);
                    QC_CellPool::Free(locCell, locSize);
                }
            });
        for (std::thread& locThread : locThreads)
            locThread.join();
        EXPECT_EQ(locBroken, std::vector<int>(4, 0)) << locWords;
        EXPECT_EQ(QC_CellPool::GetNumCells(), locBefore);
    }
}

// The pool's code is the same in every build; only builds with the address
// sanitizer can tell, which is asked at run time. (Room not handed out is
// checked through the arenas' test, whose pieces lie in known places.)
TEST(QC_CellPoolDeathTest, ReadsOfFreedCellsAreReported)
{
    if (dlsym(RTLD_DEFAULT, "__asan_init") == nullptr)
        GTEST_SKIP() << "no address sanitizer in this build";
    volatile char* locCell = static_cast<char*>(QC_CellPool::Allocate(40));
    ASSERT_NE(locCell, nullptr);
    locCell[39] = 1;
    QC_CellPool::Free(const_cast<char*>(locCell), 40);
    EXPECT_DEATH((void)locCell[8], "AddressSanitizer");
}
