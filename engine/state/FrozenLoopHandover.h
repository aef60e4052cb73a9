#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/modes/LoopsMode.h"

// Hands a frozen loop between the audio thread and the others without ever
// blocking or allocating on the audio thread. The audio thread publishes the
// frozen live loop's playback state into a shadow loop; a reader copies the
// shadow plus the live history while a small atomic state machine keeps the
// loop frozen; a restored loop waits in the pending slot until the audio thread
// swaps it in, and the state it displaced waits in the retired slot until
// another thread frees it.
//
// The state and both slots change only by sequentially consistent
// compare-and-set and exchange, or by release stores read with acquire loads.
// The shadow is written by the audio thread only while it holds
// kAudioWriting, read by a reader only while it holds kReaderCopying.
class FrozenLoopHandover
{
public:
    enum State : int32_t
    {
        kEmpty = 0,         // the shadow is not a valid frozen loop
        kValid = 1,         // the shadow matches a frozen live loop
        kReaderCopying = 2, // a reader copies the shadow and the live history
        kAudioWriting = 3,  // the audio thread writes the shadow or swaps the live loop
    };

    // Fixed points at which the probe is called when set, so that a test can run
    // the other side of the protocol at exactly that point.
    enum class Point
    {
        AudioBlockStarted,       // audio thread: install tried, snapshot checked, parameters not yet applied
        ReaderCopying,           // reader: holds the copying state, nothing copied yet
        ReaderReleased,          // reader: copy taken and the snapshot handed back, not yet encoded
        RestoreBetweenExchanges, // restorer: pending slot exchanged, retired slot not yet emptied
    };

    // What the audio thread's block start found.
    struct BlockStart
    {
        bool loopInstalled = false; // the live loop now holds a restored loop
        bool readerHolding = false; // a reader copies the live history: keep it frozen
    };

    FrozenLoopHandover() = default;
    ~FrozenLoopHandover();
    FrozenLoopHandover(const FrozenLoopHandover&) = delete;
    FrozenLoopHandover& operator=(const FrozenLoopHandover&) = delete;

    // Preparation, while no audio block runs. Frees the pending and the retired loop.
    void DropHandedOverLoops();
    // Preparation: a fresh shadow for the rate (without its histories, which a
    // publish fills) and no snapshot.
    void RenewShadow(double sampleRate, int maxBlockSize);

    // Audio thread, block start: installs a waiting loop into `live` when no
    // reader copies and no displaced state waits, then drops the snapshot unless
    // `live` stays frozen with the Loop Freeze switch held.
    BlockStart BeginBlock(LoopsMode& live, bool freezeHeld);
    // Audio thread, block end: refreshes the snapshot of a frozen `live` at most
    // every 128 samples, and at once when there is none.
    void Publish(const LoopsMode& live, int samples);
    bool ReaderCopying() const { return state.load() == kReaderCopying; }

    // Any thread but the audio thread. The blob of the published frozen loop with
    // the history of `live`, or empty when there is none or another reader copies.
    std::vector<uint8_t> Capture(const LoopsMode& live);
    // Any thread but the audio thread. Decodes a loop (size 0: an empty one),
    // converts it to the loop rate for sampleRate and hands it to the audio
    // thread; false, with both slots unchanged, when it is refused.
    bool Restore(const uint8_t* data, size_t size, double sampleRate);

    // Unset in the product; the audio thread tests it once per block.
    void SetProbe(std::function<void(Point)> onPoint) { probe = std::move(onPoint); }

    // Read-only views for diagnostics and tests.
    State CurrentState() const { return static_cast<State>(state.load(std::memory_order_acquire)); }
    const LoopsMode* Shadow() const { return shadowLoop.get(); }
    const LoopsMode* PendingLoop() const { return pendingLoop.load(std::memory_order_acquire); }
    const LoopsMode* RetiredLoop() const { return retiredLoop.load(std::memory_order_acquire); }

private:
    void InstallPendingLoop(LoopsMode& live, BlockStart& start);
    std::unique_ptr<LoopsMode> CopyFrozenLoop(const LoopsMode& live) const noexcept;
    void Announce(Point point) const
    {
        if (probe)
            probe(point);
    }

    std::unique_ptr<LoopsMode> shadowLoop;
    std::atomic<int32_t> state{kEmpty};
    std::atomic<LoopsMode*> pendingLoop{nullptr};
    std::atomic<LoopsMode*> retiredLoop{nullptr};
    uint32_t samplesSincePublish = 0;
    std::function<void(Point)> probe;
};
