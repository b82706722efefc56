// core/blockpool.h: small fixed-size blocks carved from large slabs, one free
// list per size class. The grounder stores millions of atoms, each an ordered
// set node and an argument block of a few dozen bytes; served by the general
// allocator, each would carry its header and rounding. Pool blocks carry none.
// Released blocks go back to their class's free list, never to the system.
#pragma once
#include <cstddef>
#include <new>

namespace veltra {

constexpr size_t POOLGRANULE = 8;     // block sizes are multiples of this
constexpr size_t POOLMAXBLOCK = 128;  // larger requests go to operator new

#if defined(__SANITIZE_ADDRESS__)
#define VELTRA_POOL_OFF 1  // every block from operator new: the sanitizer sees each one
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRA_POOL_OFF 1
#endif
#endif

// A block of bytes bytes (any size); released by releaseBlock with the same
// size.
void* allocateBlock(size_t bytes);
void releaseBlock(void* block, size_t bytes);

// Memory for a large table read at random: 64-byte aligned, and from
// LARGEBLOCK bytes on, aligned to LARGEBLOCK and offered huge pages where
// the system gives them on request (one TLB entry and one page fault per 2
// MB instead of per 4 KB). Released by releaseLarge with the same size.
constexpr size_t LARGEBLOCK = size_t(1) << 21;
void* allocateLarge(size_t bytes);
void releaseLarge(void* block, size_t bytes);

// A standard allocator over allocateLarge.
template <class T>
struct LARGEALLOCATOR {
    using value_type = T;
    LARGEALLOCATOR() = default;
    template <class U>
    LARGEALLOCATOR(const LARGEALLOCATOR<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(allocateLarge(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { releaseLarge(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const LARGEALLOCATOR<U>&) const { return true; }
    template <class U>
    bool operator!=(const LARGEALLOCATOR<U>&) const { return false; }
};

// A standard allocator over the pools: single objects come from the pool of
// their size, arrays from operator new.
template <class T>
struct POOLALLOCATOR {
    using value_type = T;

    POOLALLOCATOR() = default;
    template <class U>
    POOLALLOCATOR(const POOLALLOCATOR<U>&) {}

    T* allocate(size_t n) {
        if (n == 1) return static_cast<T*>(allocateBlock(sizeof(T)));
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) {
        if (n == 1)
            releaseBlock(p, sizeof(T));
        else
            ::operator delete(p);
    }
    template <class U>
    bool operator==(const POOLALLOCATOR<U>&) const { return true; }
    template <class U>
    bool operator!=(const POOLALLOCATOR<U>&) const { return false; }
};

}  // namespace veltra
