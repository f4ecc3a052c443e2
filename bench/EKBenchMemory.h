#pragma once

// Heap accounting for the benchmark programs: operator new and delete are
// replaced by versions that count the live bytes (malloc_usable_size), their
// peak and the number of allocations. CountingMalloc and friends serve the
// allocator hooks of other libraries. Include this header in exactly one
// source file of a benchmark program: it defines the replaced operators.

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>

// The replaced operator new and delete below forward to malloc and free; once
// inlined, GCC takes that pairing for a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace EKBenchMemory {

inline std::atomic<long long> gLive{0};
inline std::atomic<long long> gPeak{0};
inline std::atomic<long long> gCount{0};

inline void Note(void *p)
{
    if (!p)
        return;
    long long live = gLive += static_cast<long long>(malloc_usable_size(p));
    ++gCount;
    long long peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
}

inline void Forget(void *p)
{
    if (p)
        gLive -= static_cast<long long>(malloc_usable_size(p));
}

inline void *CountingMalloc(std::size_t size)
{
    void *p = std::malloc(size ? size : 1);
    Note(p);
    return p;
}

inline void CountingFree(void *p)
{
    Forget(p);
    std::free(p);
}

inline void *CountingRealloc(void *p, std::size_t size)
{
    Forget(p);
    void *q = std::realloc(p, size);
    Note(q ? q : p);
    return q;
}

inline char *CountingStrdup(const char *s)
{
    std::size_t n = std::strlen(s) + 1;
    char *p = static_cast<char *>(CountingMalloc(n));
    if (p)
        std::memcpy(p, s, n);
    return p;
}

} // namespace EKBenchMemory

void *operator new(std::size_t size)
{
    void *p = EKBenchMemory::CountingMalloc(size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void *operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void *p) noexcept
{
    EKBenchMemory::CountingFree(p);
}

void operator delete[](void *p) noexcept
{
    EKBenchMemory::CountingFree(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    EKBenchMemory::CountingFree(p);
}

void operator delete[](void *p, std::size_t) noexcept
{
    EKBenchMemory::CountingFree(p);
}
