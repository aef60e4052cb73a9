#include "engine/TransientMap.h"

#include <algorithm>
#include <cmath>

#include "engine/EngineMath.h"
#include "engine/InterpolatedRead.h"

namespace {

constexpr float kOnsetFloor = 0.0001f;
constexpr float kOnsetRatio = 3.0f;

} // namespace

void TransientMap::Prepare(double rate, const float* ring, int ringLength)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    samples = ring;
    length = std::max(ringLength, 0);
    blocks = length < 1 ? 0 : static_cast<int32_t>((static_cast<int64_t>(length) + kBlockSize - 1) / kBlockSize);
    flags.assign(static_cast<size_t>(blocks), 0);

    const double blocksPerSecond = sampleRate / kBlockSize;
    peakDecay = static_cast<float>(std::exp(-1.0 / (blocksPerSecond * 0.001)));
    slowCoef = static_cast<float>(1.0 - std::exp(-1.0 / (blocksPerSecond * 0.08)));
    holdBlocks = std::max(EngineMath::RoundToInt(blocksPerSecond * 0.025), 1);
    Clear();
}

void TransientMap::Clear()
{
    std::fill(flags.begin(), flags.end(), static_cast<uint8_t>(0));
    nextPosition = 0;
    scanIndex = 0;
    synced = 0;
    peakEnv = 0.0f;
    slowEnv = 0.0f;
    holdRemaining = 0;
}

void TransientMap::Resync(int64_t position)
{
    std::fill(flags.begin(), flags.end(), static_cast<uint8_t>(0));
    peakEnv = 0.0f;
    slowEnv = 0.0f;
    holdRemaining = 0;
    synced = 1;
    int64_t index = position % length;
    if (index < 0)
        index += length;
    scanIndex = static_cast<int32_t>(index - index % kBlockSize);
    nextPosition = position - (index - scanIndex);
}

void TransientMap::ScanBlock(int end)
{
    float peak = 0.0f;
    for (int i = scanIndex; i < end; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    // A NaN in the ring must not poison the envelopes for good.
    if (!(peak == peak))
        peak = 0.0f;

    peakEnv = peak > peakEnv ? peak : peakEnv * peakDecay;
    slowEnv += (peak - slowEnv) * slowCoef;

    uint8_t onset = 0;
    if (peakEnv > kOnsetFloor && peakEnv > kOnsetRatio * slowEnv) {
        onset = 1;
        holdRemaining = holdBlocks;
    } else if (holdRemaining >= 1) {
        onset = 1;
        --holdRemaining;
    }
    flags[static_cast<size_t>(scanIndex / kBlockSize)] = onset;
}

void TransientMap::ScanWritten(double clock)
{
    if (length < 1 || samples == nullptr || blocks < 1 || !std::isfinite(clock))
        return;
    // Clocks beyond 2^62 cannot come from a running echo; treat them as a resync
    // point without letting the subtraction below overflow.
    const double limited = std::min(std::max(clock, -4.0e18), 4.0e18);
    const int64_t c = EngineMath::RoundToInt64(limited);
    if (!synced || c < nextPosition || c - nextPosition > length)
        Resync(c);

    for (;;) {
        const int end = std::min((scanIndex / kBlockSize + 1) * kBlockSize, length);
        const int k = end - scanIndex;
        if (k < 1 || nextPosition + k > c)
            break;
        ScanBlock(end);
        nextPosition += k;
        scanIndex = end >= length ? 0 : end;
    }
}

bool TransientMap::IsMarked(double position) const
{
    if (blocks < 1 || !std::isfinite(position))
        return false;
    double wrapped = RemainderOfPosition(position, static_cast<double>(length));
    if (wrapped < 0.0)
        wrapped += length;
    int index = static_cast<int>(wrapped);
    index = std::min(std::max(index, 0), length - 1);
    return flags[static_cast<size_t>(index / kBlockSize)] != 0;
}

bool TransientMap::AnyMarked(double position, double span) const
{
    if (IsMarked(position))
        return true;
    if (span > 0.0) {
        // Past one lap of the ring every block has been looked at already.
        const double reach = std::min(span, static_cast<double>(length) + kBlockSize);
        for (double offset = kBlockSize; offset < reach; offset += kBlockSize)
            if (IsMarked(position + offset))
                return true;
        return IsMarked(position + span);
    }
    return false;
}
