// core/blockpool.cpp: the size-class pools behind allocateBlock.
#include "core/blockpool.h"

#include <cstdint>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace veltra {

#ifndef VELTRA_POOL_OFF

namespace {

constexpr size_t CLASSES = POOLMAXBLOCK / POOLGRANULE;
constexpr size_t SLABBYTES = size_t(1) << 18;  // a slab holds thousands of blocks

// A free block holds the link to the next one.
struct FREEBLOCK {
    FREEBLOCK* next;
};

struct POOL {
    FREEBLOCK* free = nullptr;
    char* slabNext = nullptr;  // unused rest of the newest slab
    char* slabEnd = nullptr;
};

// Never destroyed: atoms in tables with static storage release their blocks
// at exit, after the pools would otherwise be gone.
POOL* pools() {
    static POOL* all = new POOL[CLASSES];
    return all;
}

}  // namespace

void* allocateBlock(size_t bytes) {
    const size_t rounded = (bytes + POOLGRANULE - 1) / POOLGRANULE * POOLGRANULE;
    if (rounded == 0 || rounded > POOLMAXBLOCK) return ::operator new(bytes);
    POOL& pool = pools()[rounded / POOLGRANULE - 1];
    if (FREEBLOCK* block = pool.free) {
        pool.free = block->next;
        return block;
    }
    if (size_t(pool.slabEnd - pool.slabNext) < rounded) {
        // The rest of the old slab (less than one block) stays unused.
        pool.slabNext = static_cast<char*>(::operator new(SLABBYTES));
        pool.slabEnd = pool.slabNext + SLABBYTES;
    }
    void* block = pool.slabNext;
    pool.slabNext += rounded;
    return block;
}

void releaseBlock(void* block, size_t bytes) {
    const size_t rounded = (bytes + POOLGRANULE - 1) / POOLGRANULE * POOLGRANULE;
    if (rounded == 0 || rounded > POOLMAXBLOCK) {
        ::operator delete(block);
        return;
    }
    POOL& pool = pools()[rounded / POOLGRANULE - 1];
    FREEBLOCK* freed = static_cast<FREEBLOCK*>(block);
    freed->next = pool.free;
    pool.free = freed;
}

#else

void* allocateBlock(size_t bytes) { return ::operator new(bytes); }
void releaseBlock(void* block, size_t) { ::operator delete(block); }

#endif

void* allocateLarge(size_t bytes) {
    if (bytes < LARGEBLOCK) return ::operator new(bytes, std::align_val_t(64));
    const size_t rounded = (bytes + LARGEBLOCK - 1) / LARGEBLOCK * LARGEBLOCK;
    void* block = ::operator new(rounded, std::align_val_t(LARGEBLOCK));
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(VELTRA_POOL_OFF)
    madvise(block, rounded, MADV_HUGEPAGE);  // a request only: refused, the pages stay small
#endif
    return block;
}

void releaseLarge(void* block, size_t bytes) {
    if (bytes < LARGEBLOCK)
        ::operator delete(block, std::align_val_t(64));
    else
        ::operator delete(block, std::align_val_t(LARGEBLOCK));
}

}  // namespace veltra
