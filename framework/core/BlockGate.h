#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace iplug {

// One audio block or one processing reset at a time over the state the two share. A block
// never waits: when a reset holds the gate it is refused and must leave the shared state alone,
// not even look at it. A reset waits for a block in progress and keeps later blocks out until
// it ends. The shared state is reachable only through a hold, so neither side can touch it
// before it owns the gate.
template <class Shared>
class BlockGate
{
public:
    // What a side holds while it owns the gate; empty when a block was refused.
    class Hold
    {
    public:
        ~Hold()
        {
            if (gate)
                gate->busy.store(kIdle, std::memory_order_release);
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

        explicit operator bool() const { return gate != nullptr; }
        Shared& operator*() const { return gate->shared; }
        Shared* operator->() const { return &gate->shared; }

    private:
        friend class BlockGate;
        explicit Hold(BlockGate* owner) : gate(owner) {}

        BlockGate* gate;
    };

    BlockGate() = default;
    BlockGate(const BlockGate&) = delete;
    BlockGate& operator=(const BlockGate&) = delete;

    // Audio thread: one try, never a wait.
    Hold TryBlock()
    {
        std::int32_t expected = kIdle;
        const bool taken =
            busy.compare_exchange_strong(expected, kProcessing, std::memory_order_acquire, std::memory_order_relaxed);
        return Hold(taken ? this : nullptr);
    }

    // Any other thread: waits, yielding, until no block runs.
    Hold HoldForReset()
    {
        for (std::int32_t expected = kIdle;
             !busy.compare_exchange_weak(expected, kResetting, std::memory_order_acquire, std::memory_order_relaxed);
             expected = kIdle)
            std::this_thread::yield();
        return Hold(this);
    }

private:
    enum : std::int32_t
    {
        kIdle = 0,
        kProcessing = 1,
        kResetting = 2
    };

    std::atomic<std::int32_t> busy{kIdle};
    Shared shared{};
};

} // namespace iplug
