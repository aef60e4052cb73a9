#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/dsp/EngineMath.h"

// Flags the 32-sample blocks of an echo ring that hold onsets. The ring is
// scanned behind its writer, one whole block at a time: a block is an onset
// when its fast peak envelope stands well above the slow envelope, and the
// flag is held for 25 ms after the last onset.
class TransientMap
{
public:
    static constexpr int kBlockSize = 32;
    // Scan positions up to here convert to double and back exactly.
    static constexpr int64_t kExactPositionLimit = int64_t{1} << 52;

    // Points the map at a ring (not owned) and sizes the flags for it. A rate
    // that is not above 0 (or not finite) is taken as 48000.
    void Prepare(double sampleRate, const float* samples, int length);
    // Clears every flag, both envelopes and the scan position.
    void Clear();
    // Scans the whole blocks written up to `clock` (samples written so far).
    // Inline: the echo asks for every sample, and most calls find no whole block.
    void Update(double clock)
    {
        if (!BlockStillOpen(clock))
            ScanWritten(clock);
    }
    // Whether the block holding the absolute position is flagged.
    bool IsMarked(double position) const;
    // Whether any block between the position and position + span is flagged.
    bool AnyMarked(double position, double span) const;

    // The map's whole state, in its documented order.
    struct State
    {
        const float* samples = nullptr; // the ring, not owned
        std::vector<uint8_t> flags;     // one per block, 1 = onset
        double sampleRate = EngineMath::kDefaultSampleRate;
        int32_t length = 0;
        int32_t blocks = 0;
        int64_t nextPosition = 0; // absolute position of the next sample to scan
        int32_t scanIndex = 0;    // its ring index, block-aligned
        uint8_t synced = 0;
        float peakEnv = 0.0f;
        float slowEnv = 0.0f;
        float peakDecay = 0.0f;
        float slowCoef = 0.0f;
        int32_t holdBlocks = 1;
        int32_t holdRemaining = 0;
    };

    int BlockCount() const { return state.blocks; }
    int HoldBlocks() const { return state.holdBlocks; }
    const State& CurrentState() const { return state; }

private:
    // True when the next block is not yet whole at `clock`, so that an update
    // would change nothing (false whenever that is not plain).
    bool BlockStillOpen(double clock) const
    {
        if (!state.synced || state.nextPosition < 0 || state.nextPosition > kExactPositionLimit)
            return false;
        const int32_t pending =
            std::min((state.scanIndex / kBlockSize + 1) * kBlockSize, state.length) - state.scanIndex;
        const double from = static_cast<double>(state.nextPosition);
        return clock >= from && clock <= from + (pending - 1);
    }
    void ScanWritten(double clock);
    void Resync(int64_t position);
    void ScanBlock(int end);

    State state;
};
