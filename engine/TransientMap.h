#pragma once
#include <cstdint>
#include <vector>

#include "engine/EngineMath.h"

// Flags the 32-sample blocks of an echo ring that hold onsets. The ring is
// scanned behind its writer, one whole block at a time: a block is an onset
// when its fast peak envelope stands well above the slow envelope, and the
// flag is held for 25 ms after the last onset.
class TransientMap
{
public:
    static constexpr int kBlockSize = 32;

    // Points the map at a ring (not owned) and sizes the flags for it. A rate
    // that is not above 0 (or not finite) is taken as 48000.
    void Prepare(double sampleRate, const float* samples, int length);
    // Clears every flag, both envelopes and the scan position.
    void Clear();
    // Scans the whole blocks written up to `clock` (samples written so far).
    void Update(double clock);
    // Whether the block holding the absolute position is flagged.
    bool IsMarked(double position) const;
    // Whether any block between the position and position + span is flagged.
    bool AnyMarked(double position, double span) const;

    int BlockCount() const { return blocks; }
    int HoldBlocks() const { return holdBlocks; }

    const float* samples = nullptr;
    std::vector<uint8_t> flags;
    double sampleRate = EngineMath::kDefaultSampleRate;
    int32_t length = 0;
    int32_t blocks = 0;
    int64_t nextPosition = 0;
    int32_t scanIndex = 0;
    uint8_t synced = 0;
    float peakEnv = 0.0f;
    float slowEnv = 0.0f;
    float peakDecay = 0.0f;
    float slowCoef = 0.0f;
    int32_t holdBlocks = 1;
    int32_t holdRemaining = 0;

private:
    void Resync(int64_t position);
    void ScanBlock(int end);
};
