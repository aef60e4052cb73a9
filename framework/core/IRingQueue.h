#pragma once

#include "framework/core/GrowBuffer.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace iplug {

// Single-producer single-consumer ring of fixed-size entries. Storage is sized once
// at construction; one slot always stays free, so a queue built for capacity N holds
// N entries. Neither side locks or allocates. The producer publishes writeIndex with
// release after storing the entry; the consumer publishes readIndex with release after
// copying it out; each reads the other's index with acquire.
template <class T>
class IRingQueue
{
    static_assert(std::is_trivially_copyable_v<T>, "queue entries are copied as bytes");

public:
    explicit IRingQueue(int capacity) : storage(4096)
    {
        const int64_t bytes = (int64_t(capacity < 0 ? 0 : capacity) + 1) * int64_t(sizeof(T));
        if (bytes <= int64_t(0x7fffffff))
            storage.Resize(int(bytes), false);
        slots = uint64_t(storage.Size()) / sizeof(T);
    }

    IRingQueue(const IRingQueue&) = delete;
    IRingQueue& operator=(const IRingQueue&) = delete;

    // False (entry dropped, nothing changed) when full.
    bool Push(const T& entry)
    {
        if (slots == 0)
            return false;
        const uint64_t w = writeIndex.load(std::memory_order_relaxed);
        const uint64_t next = (w + 1) % slots;
        if (next == readIndex.load(std::memory_order_acquire))
            return false;
        std::memcpy(Slot(w), &entry, sizeof(T));
        writeIndex.store(next, std::memory_order_release);
        return true;
    }

    bool Pop(T& out)
    {
        if (slots == 0)
            return false;
        const uint64_t r = readIndex.load(std::memory_order_relaxed);
        if (r == writeIndex.load(std::memory_order_acquire))
            return false;
        std::memcpy(&out, Slot(r), sizeof(T));
        readIndex.store((r + 1) % slots, std::memory_order_release);
        return true;
    }

    int Count() const
    {
        const uint64_t w = writeIndex.load(std::memory_order_acquire);
        const uint64_t r = readIndex.load(std::memory_order_acquire);
        return int(w >= r ? w - r : slots - r + w);
    }

    int Capacity() const { return slots > 0 ? int(slots - 1) : 0; }
    int Slots() const { return int(slots); }

private:
    uint8_t* Slot(uint64_t index) { return storage.Data() + index * sizeof(T); }

    GrowBuffer storage;
    uint64_t slots = 0;
    std::atomic<uint64_t> writeIndex{0};
    std::atomic<uint64_t> readIndex{0};
};

} // namespace iplug
