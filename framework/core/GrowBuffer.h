#pragma once

#include <cstdint>

namespace iplug {

// Growable heap byte buffer that every framework buffer (text, lists, state, queues)
// builds on. Sizes are i32 as stored state and callers expect, but every size
// computation runs in 64 bits and a request that would not fit an i32 fails cleanly.
class GrowBuffer
{
public:
    explicit GrowBuffer(int granularity = 4096);
    ~GrowBuffer();

    GrowBuffer(const GrowBuffer& other);
    GrowBuffer& operator=(const GrowBuffer& other);
    GrowBuffer(GrowBuffer&& other) noexcept;
    GrowBuffer& operator=(GrowBuffer&& other) noexcept;

    // Returns the data, or null when the new size is 0 or the buffer could not grow
    // (in which case it is left exactly as it was). A negative size counts as 0.
    void* Resize(int newSize, bool allowShrink);

    // Byte-for-byte copy; leaves this buffer empty when it cannot hold the copy.
    void CopyFrom(const GrowBuffer& other);

    // Null while the size is 0, whatever is still allocated.
    uint8_t* Data() { return size > 0 ? data : nullptr; }
    const uint8_t* Data() const { return size > 0 ? data : nullptr; }

    int Size() const { return size; }
    int Allocated() const { return allocated; }
    int Granularity() const { return granularity; }

    // The allocation Resize would choose for a given size; exposed so growth
    // policy is testable without poking at the allocator.
    static int64_t AllocationFor(int64_t newSize, int granularity);

protected:
    uint8_t* data = nullptr;
    int allocated = 0;
    int size = 0;
    int granularity;
};

} // namespace iplug
