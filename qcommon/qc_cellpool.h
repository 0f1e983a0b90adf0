// A pool of small cells for objects made and freed by the hundred thousand
// (list links, data-language objects): cells of 8-byte steps up to
// QC_CELLPOOL_MAX bytes, cut from 64 KB blocks and, once the pool is large,
// 2 MB blocks on huge pages; larger requests from the heap.
// A freed cell joins its size's list and is never handed back to the heap.
// Safe from several threads. Sanitizer builds use the heap for every cell, so
// that their checks see each one.
#pragma once

#include <cstddef>

constexpr size_t QC_CELLPOOL_MAX = 256;
// The size of the pool's large blocks.
constexpr size_t QC_CELLPOOL_BLOCK = 2 * 1024 * 1024;

namespace QC_CellPool
{
// Null when no memory is left.
void* Allocate(size_t aSize) noexcept;
// aSize as given to Allocate.
void Free(void* aCell, size_t aSize) noexcept;
// Cells by the megabyte are coming (a large file is compiled, say): the pool
// takes huge-page blocks from now on, even while it is still small.
void ExpectMany() noexcept;
// Offers a block of memory already in use by the process, a huge page's worth
// (QC_CELLPOOL_BLOCK bytes, as many aligned) that its owner is done with: the
// pool cuts its next cells from it instead of a fresh block, and keeps it for
// good. False when the pool holds one offered block unused already, or cuts
// no cells from blocks (the owner keeps the block then).
bool Offer(void* aBlock) noexcept;
}
