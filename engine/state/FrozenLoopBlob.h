#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/modes/LoopsMode.h"

// The byte form of a frozen loop: its sample rate, both history channels and the
// playback state of its voices and pitch shifters, enough for a restored loop to
// go on where the saved one stood. Little-endian, no padding.
//
// A blob comes from a saved preset or host state, so the reader trusts nothing:
// every count, index, position and level that could make the loop read or write
// outside its arrays, or play non-finite audio, is checked before a loop is
// handed out.
class FrozenLoopBlob
{
public:
    static constexpr uint32_t kMagic = 0x4B544631u; // the bytes "1FTK"
    static constexpr uint32_t kVersion = 1;
    // Everything but the two histories and the two shifter rings.
    static constexpr uint64_t kFixedBytes = 3017;
    // Seconds of input a shifter ring holds (its length is ceil(this * rate) + 2).
    static constexpr double kShifterRingSeconds = 0.4;

    // Size of a blob whose loop has these history and shifter ring lengths.
    static constexpr uint64_t SizeFor(uint64_t historyLength, uint64_t shifterLength)
    {
        return kFixedBytes + 8 * historyLength + 8 * shifterLength;
    }

    // Size of the blob of a loop prepared at a rate inside the supported range.
    static constexpr uint64_t SizeAtRate(double sampleRate)
    {
        return SizeFor(CeilCount(LoopsMode::kHistorySeconds * sampleRate) + 2,
                       CeilCount(kShifterRingSeconds * sampleRate) + 2);
    }

    // The largest blob the supported rates produce; anything longer is refused unread.
    static constexpr uint64_t MaxSize() { return SizeAtRate(LoopsMode::kMaxSampleRate); }

    static constexpr bool IsSupportedRate(double sampleRate)
    {
        return sampleRate >= LoopsMode::kMinSampleRate && sampleRate <= LoopsMode::kMaxSampleRate;
    }

private:
    static constexpr uint64_t CeilCount(double x)
    {
        const uint64_t whole = static_cast<uint64_t>(x);
        return static_cast<double>(whole) < x ? whole + 1 : whole;
    }
};

// The blob of a frozen loop; empty when the loop is not frozen, its rate is not
// supported, it would not pass ValidateFrozenLoop, or a value is not finite.
std::vector<uint8_t> EncodeFrozenLoop(const LoopsMode& loop);

// A new loop prepared at the blob's rate and filled from it, or null when the
// blob is malformed or fails ValidateFrozenLoop. When given, `error` receives the
// reader's complaint ("truncated state", "nonfinite state", "invalid vector
// length", "invalid bool"); it stays empty for the other refusals.
std::unique_ptr<LoopsMode> DecodeFrozenLoop(const uint8_t* data, size_t size, std::string* error = nullptr);

// Whether a loop is a frozen loop the engine can play safely.
bool ValidateFrozenLoop(const LoopsMode& loop);
