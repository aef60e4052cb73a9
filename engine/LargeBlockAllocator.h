#pragma once
#include <cstddef>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Allocator for the delay memories of many seconds. Their first touch is what a
// preparation costs: on a system with 4 KiB pages the tens of megabytes fault in
// page by page. Where the system offers transparent huge pages, blocks of 2 MiB
// and more are aligned to 2 MiB and marked for them, so the same memory faults in
// a few hundred times fewer steps. Smaller blocks, and every block elsewhere,
// come from the ordinary heap. The contents are handled as by std::allocator.
template <typename T>
class LargeBlockAllocator
{
public:
    using value_type = T;

    LargeBlockAllocator() noexcept = default;
    template <typename U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept
    {}

    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (!IsLarge(bytes))
            return static_cast<T*>(::operator new(bytes));
        return static_cast<T*>(AllocateLarge(bytes));
    }

    void deallocate(T* p, std::size_t n) noexcept
    {
        if (IsLarge(n * sizeof(T)))
            ::operator delete (p, std::align_val_t{kHugePage});
        else
            ::operator delete(p);
    }

    friend bool operator==(const LargeBlockAllocator&, const LargeBlockAllocator&) noexcept { return true; }
    friend bool operator!=(const LargeBlockAllocator&, const LargeBlockAllocator&) noexcept { return false; }

private:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;

    static bool IsLarge(std::size_t bytes)
    {
#if defined(__linux__)
        return bytes >= kHugePage;
#else
        (void)bytes;
        return false;
#endif
    }

    static void* AllocateLarge(std::size_t bytes)
    {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* p = ::operator new (rounded, std::align_val_t{kHugePage});
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        // Only advice: without huge pages the block works as any other.
        madvise(p, rounded, MADV_HUGEPAGE);
#endif
        return p;
    }
};

// A channel of recorded samples many seconds long.
using SampleHistory = std::vector<float, LargeBlockAllocator<float>>;
