#include "engine/modes/TransientMap.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/InterpolatedRead.h"

namespace {

// A block is an onset when its fast peak envelope is above the floor and this
// many times the slow envelope.
constexpr float kOnsetFloor = 0.0001f;
constexpr float kOnsetRatio = 3.0f;
// Time constants of the fast peak's decay and of the slow envelope.
constexpr double kPeakDecaySeconds = 0.001;
constexpr double kSlowEnvelopeSeconds = 0.08;
// How long an onset stays flagged after the last onset block.
constexpr double kHoldSeconds = 0.025;
// Clocks are pinned to this many samples either way before they become positions.
constexpr double kClockLimit = 4.0e18;

} // namespace

void TransientMap::Prepare(double rate, const float* ring, int ringLength)
{
    state.sampleRate = EngineMath::UsableSampleRate(rate);
    state.samples = ring;
    state.length = std::max(ringLength, 0);
    state.blocks =
        state.length < 1 ? 0 : static_cast<int32_t>((static_cast<int64_t>(state.length) + kBlockSize - 1) / kBlockSize);
    state.flags.assign(static_cast<size_t>(state.blocks), 0);

    const double blocksPerSecond = state.sampleRate / kBlockSize;
    state.peakDecay = static_cast<float>(std::exp(-1.0 / (blocksPerSecond * kPeakDecaySeconds)));
    state.slowCoef = static_cast<float>(1.0 - std::exp(-1.0 / (blocksPerSecond * kSlowEnvelopeSeconds)));
    state.holdBlocks = std::max(EngineMath::RoundToInt(blocksPerSecond * kHoldSeconds), 1);
    Clear();
}

void TransientMap::Clear()
{
    std::fill(state.flags.begin(), state.flags.end(), static_cast<uint8_t>(0));
    state.nextPosition = 0;
    state.scanIndex = 0;
    state.synced = 0;
    state.peakEnv = 0.0f;
    state.slowEnv = 0.0f;
    state.holdRemaining = 0;
}

void TransientMap::Resync(int64_t position)
{
    std::fill(state.flags.begin(), state.flags.end(), static_cast<uint8_t>(0));
    state.peakEnv = 0.0f;
    state.slowEnv = 0.0f;
    state.holdRemaining = 0;
    state.synced = 1;
    int64_t index = position % state.length;
    if (index < 0)
        index += state.length;
    state.scanIndex = static_cast<int32_t>(index - index % kBlockSize);
    state.nextPosition = position - (index - state.scanIndex);
}

void TransientMap::ScanBlock(int end)
{
    float peak = 0.0f;
    for (int i = state.scanIndex; i < end; ++i)
        peak = std::max(peak, std::fabs(state.samples[i]));
    // A NaN in the ring must not poison the envelopes for good.
    if (!(peak == peak))
        peak = 0.0f;

    state.peakEnv = peak > state.peakEnv ? peak : state.peakEnv * state.peakDecay;
    state.slowEnv += (peak - state.slowEnv) * state.slowCoef;

    uint8_t onset = 0;
    if (state.peakEnv > kOnsetFloor && state.peakEnv > kOnsetRatio * state.slowEnv) {
        onset = 1;
        state.holdRemaining = state.holdBlocks;
    } else if (state.holdRemaining >= 1) {
        onset = 1;
        --state.holdRemaining;
    }
    state.flags[static_cast<size_t>(state.scanIndex / kBlockSize)] = onset;
}

void TransientMap::ScanWritten(double clock)
{
    if (state.length < 1 || state.samples == nullptr || state.blocks < 1 || !std::isfinite(clock))
        return;
    // Clocks beyond 2^62 cannot come from a running echo; treat them as a resync
    // point without letting the subtraction below overflow.
    const double limited = std::min(std::max(clock, -kClockLimit), kClockLimit);
    const int64_t written = EngineMath::RoundToInt64(limited);
    if (!state.synced || written < state.nextPosition || written - state.nextPosition > state.length)
        Resync(written);

    for (;;) {
        const int end = std::min((state.scanIndex / kBlockSize + 1) * kBlockSize, state.length);
        const int blockLength = end - state.scanIndex;
        if (blockLength < 1 || state.nextPosition + blockLength > written)
            break;
        ScanBlock(end);
        state.nextPosition += blockLength;
        state.scanIndex = end >= state.length ? 0 : end;
    }
}

bool TransientMap::IsMarked(double position) const
{
    if (state.blocks < 1 || !std::isfinite(position))
        return false;
    double wrapped = RemainderOfPosition(position, static_cast<double>(state.length));
    if (wrapped < 0.0)
        wrapped += state.length;
    int index = static_cast<int>(wrapped);
    index = std::min(std::max(index, 0), state.length - 1);
    return state.flags[static_cast<size_t>(index / kBlockSize)] != 0;
}

bool TransientMap::AnyMarked(double position, double span) const
{
    if (IsMarked(position))
        return true;
    if (span > 0.0) {
        // Past one lap of the ring every block has been looked at already.
        const double reach = std::min(span, static_cast<double>(state.length) + kBlockSize);
        for (double offset = kBlockSize; offset < reach; offset += kBlockSize)
            if (IsMarked(position + offset))
                return true;
        return IsMarked(position + span);
    }
    return false;
}
