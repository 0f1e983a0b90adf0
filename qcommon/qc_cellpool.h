// A pool of small cells for objects made and freed by the hundred thousand
// (list links, data-language objects): cells of 8-byte steps up to
// QC_CELLPOOL_MAX bytes, cut from 64 KB blocks and, once the pool is large,
// 2 MB blocks from the system; larger requests from the heap.
// A freed cell joins its size's list and is never handed back to the heap.
// Safe from several threads. Every build cuts the cells the same way; under
// the address sanitizer, room not handed out and freed cells are poisoned.
#pragma once

#include <cstddef>

constexpr size_t QC_CELLPOOL_MAX = 256;

namespace QC_CellPool
{
// Null when no memory is left.
void* Allocate(size_t aSize) noexcept;
// aSize as given to Allocate.
void Free(void* aCell, size_t aSize) noexcept;
// Cells by the megabyte are coming (a large file is compiled, say): the pool
// takes 2 MB blocks from now on, even while it is still small.
void ExpectMany() noexcept;
// Cells handed out and not freed yet, in all the process: a leak check for
// the objects of the pool, whose cells the leak checker cannot see one by one.
size_t GetNumCells() noexcept;
}
