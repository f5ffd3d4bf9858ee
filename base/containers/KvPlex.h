// KvPlex: a block of nodes for the node-based containers.
//
// A block is a header (the link to the next block) followed by `count`
// elements of `elementSize` bytes. Containers carve their nodes out of
// blocks, recycle freed nodes through a free list and release the whole
// chain only when they become empty, so adding and removing costs no
// allocation most of the time. The element area is aligned for any type;
// the block holds raw memory (constructing and destroying elements in it
// is the container's business).
#pragma once

#include <cstddef>

struct alignas(std::max_align_t) KvPlex {
    KvPlex* pNext;

    void* data() { return this + 1; }

    // Allocates one block, pushes it on the chain at `head` and returns it;
    // null (and the chain unchanged) when out of memory or when the size
    // overflows.
    static KvPlex* Create(KvPlex*& head, size_t count, size_t elementSize);

    // Frees this block and every block behind it.
    void FreeDataChain();
};
