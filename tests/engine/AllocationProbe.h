#pragma once
// Replaces the global allocation functions of the one test executable that
// includes this header (include it from exactly one file): counts allocations
// and their bytes inside a probe scope and can make large allocations fail, to show
// that audio paths never allocate and that preparation survives a refused allocation.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace AllocationProbe {
inline std::atomic<long> count{0};
inline std::atomic<size_t> bytes{0};
inline std::atomic<bool> counting{false};
inline std::atomic<size_t> failAbove{0}; // 0: never fail

struct Scope
{
    Scope()
    {
        count = 0;
        bytes = 0;
        counting = true;
    }
    ~Scope() { counting = false; }
    long Allocations() const { return count.load(); }
    // Every byte asked for, freed or not: a bound on the peak.
    size_t Bytes() const { return bytes.load(); }
};

struct FailLarge
{
    explicit FailLarge(size_t bytes) { failAbove = bytes; }
    ~FailLarge() { failAbove = 0; }
};

inline void* Allocate(size_t size)
{
    const size_t limit = failAbove.load();
    if (limit != 0 && size > limit)
        throw std::bad_alloc();
    if (counting.load()) {
        ++count;
        bytes += size;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

inline void* AllocateAligned(size_t size, std::align_val_t alignment)
{
    const size_t limit = failAbove.load();
    if (limit != 0 && size > limit)
        throw std::bad_alloc();
    if (counting.load()) {
        ++count;
        bytes += size;
    }
    const size_t align = static_cast<size_t>(alignment);
    const size_t rounded = (size + align - 1) / align * align;
#if defined(_WIN32)
    void* p = _aligned_malloc(rounded == 0 ? align : rounded, align);
#else
    void* p = std::aligned_alloc(align, rounded == 0 ? align : rounded);
#endif
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

inline void FreeAligned(void* p)
{
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}
} // namespace AllocationProbe

void* operator new(size_t size)
{
    return AllocationProbe::Allocate(size);
}
void* operator new[](size_t size)
{
    return AllocationProbe::Allocate(size);
}
// The engine allocates its loops with the nothrow form; it must go through the
// probe too, or its memory would come from one allocator and go back to another.
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return AllocationProbe::Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}
// The delay memories come aligned for huge pages.
void* operator new(size_t size, std::align_val_t alignment)
{
    return AllocationProbe::AllocateAligned(size, alignment);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    AllocationProbe::FreeAligned(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept
{
    AllocationProbe::FreeAligned(p);
}
