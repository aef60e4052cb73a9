#include "engine/modes/GrainShifter.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/InterpolatedRead.h"

namespace {

using EngineMath::kHalfPi;
using EngineMath::kTwoPi;
constexpr double kUnityTolerance = 1e-9;
// The ring holds this much input; the heads never read further back.
constexpr double kMaxDelaySeconds = 0.4;
// Every grain starts this far behind the newest sample; at ratio 1 it is the delay.
constexpr double kMinDelaySeconds = 0.06;
// Heads faster than this start each grain up to this far either side of the
// minimum delay, so that repeated grains do not buzz at the grain rate.
constexpr double kJitterSeconds = 0.003;
constexpr double kJitterAboveSpeed = 1.25;
// How far behind the newest sample a head may read before anything is pushed:
// the longest grain and its jitter. Reset silences that much and a margin.
constexpr double kHeadReachSeconds = 0.098;
constexpr int32_t kSilencedMarginSamples = 64;
// Rings longer than this many samples would not fit an int32 index.
constexpr double kMaxRingSamples = 1e9;
// Grain lengths: the plain length up to the ratio where grains start to grow,
// the growth over the next span of ratio, and the catch-up distance (the double
// one step below 0.053 s) that a head at the ratio may cover in one grain.
constexpr double kPlainGrainSeconds = 0.05;
constexpr double kGrowFromRatio = 1.25;
constexpr double kGrowOverRatio = 0.75;
constexpr double kGrainGrowthSeconds = 0.045;
constexpr double kCatchUpSeconds = 0.05299999999999999;
constexpr double kUnitScale = 1.0 / 4294967296.0; // u32 to [0, 1)

bool IsUsableRate(double rate)
{
    return std::isfinite(rate) && rate > 0.0;
}

// Rates whose ring would not fit an int32 index are refused.
bool FitsRing(double rate)
{
    return kMaxDelaySeconds * rate < kMaxRingSamples;
}

int32_t RingLengthFor(double rate)
{
    return static_cast<int32_t>(std::ceil(kMaxDelaySeconds * rate)) + 2;
}

bool IsUnity(double ratio)
{
    return std::fabs(ratio - 1.0) < kUnityTolerance;
}

// Linear read of a shifter's ring at an absolute position (slot = position
// modulo length).
inline float ReadRing(const GrainShifter::State& state, double position)
{
    const DelayLineView<1> view(state.buffer.data(), static_cast<std::ptrdiff_t>(state.buffer.size()), state.writeIndex,
                                state.clock);
    return static_cast<float>(ReadLinearModuloFrame(view, position).value);
}

} // namespace

double GrainLengthSeconds(double ratio)
{
    const double speed = std::fabs(ratio);
    if (speed <= kGrowFromRatio)
        return kPlainGrainSeconds;
    const double catchUp = kCatchUpSeconds / (speed - 1.0);
    const double growth =
        kPlainGrainSeconds + kGrainGrowthSeconds * std::min(1.0, (speed - kGrowFromRatio) / kGrowOverRatio);
    return std::min(catchUp, growth);
}

void GrainShifter::Prepare(double rate)
{
    state.sampleRate = EngineMath::UsableSampleRate(rate);
    state.minDelay = kMinDelaySeconds * state.sampleRate;
    state.grainLength = GrainLengthSeconds(state.ratio) * state.sampleRate;
    state.length = 0;
    if (FitsRing(state.sampleRate)) {
        try {
            state.buffer.resize(static_cast<size_t>(RingLengthFor(state.sampleRate)), 0.0f);
            state.length = RingLengthFor(state.sampleRate);
        } catch (const std::bad_alloc&) {
        }
    }
    if (state.length == 0)
        std::vector<float>().swap(state.buffer); // unusable: Process stays silent
    Reset();
}

void GrainShifter::Reset()
{
    const int32_t size = static_cast<int32_t>(state.buffer.size());
    const double reach = std::ceil(kHeadReachSeconds * state.sampleRate + state.minDelay);
    const int32_t reachSamples = static_cast<int32_t>(std::min(reach, kMaxRingSamples));
    const int32_t silenced = std::max<int32_t>(0, std::min<int32_t>(reachSamples + kSilencedMarginSamples, size));
    std::fill(state.buffer.end() - silenced, state.buffer.end(), 0.0f);
    state.writeIndex = 0;
    state.clock = 0.0;
    state.readPosA = state.readPosB = -1.0 - state.minDelay;
    state.phaseA = 0.0;
    state.phaseB = 0.5;
    state.minMargin = 1e30;
    state.rng = kSeed;
    state.crossfadeRemaining = 0;
}

void GrainShifter::Release()
{
    std::vector<float>().swap(state.buffer);
    state.length = 0;
}

void GrainShifter::RestoreState(State restored)
{
    state = std::move(restored);
}

void GrainShifter::SetRatio(double r)
{
    if (!IsUnity(r)) {
        state.crossfadeRemaining = 0;
    } else if (!IsUnity(state.ratio)) {
        state.oldGrainLength = state.grainLength;
        state.oldRatio = state.ratio;
        const int32_t samples = EngineMath::RoundToInt(state.grainLength);
        state.crossfadeLength = state.crossfadeRemaining = samples < 2 ? 1 : samples;
    }
    state.ratio = r;
    state.grainLength = GrainLengthSeconds(r) * state.sampleRate;
}

float GrainShifter::ReadBuffer(double position) const
{
    return ReadRing(state, position);
}

double GrainShifter::RestartHead(double speed)
{
    const double newest = state.clock - 1.0;
    double position = newest - state.minDelay;
    if (speed > kJitterAboveSpeed) {
        state.rng ^= state.rng << 13;
        state.rng ^= state.rng >> 17;
        state.rng ^= state.rng << 5;
        const double unit = state.rng * kUnitScale;
        position += (2.0 * unit - 1.0) * kJitterSeconds * state.sampleRate;
    }
    return position;
}

void GrainShifter::AdvanceHead(double& position, double& phase, double speed, double phaseStep)
{
    position += speed;
    phase += phaseStep;
    if (phase >= 1.0) {
        phase -= 1.0;
        state.minMargin = std::min(state.minMargin, (state.clock - 1.0) - position);
        position = RestartHead(speed);
        state.minMargin = std::min(state.minMargin, (state.clock - 1.0) - position);
    }
}

float GrainShifter::Read(double speed, double grain)
{
    const double phaseStep = 1.0 / grain;

    const double weightA = EngineMath::Cos(kTwoPi * state.phaseA);
    const float tapA = ReadBuffer(state.readPosA);
    AdvanceHead(state.readPosA, state.phaseA, speed, phaseStep);

    const double weightB = EngineMath::Cos(kTwoPi * state.phaseB);
    const float tapB = ReadBuffer(state.readPosB);
    AdvanceHead(state.readPosB, state.phaseB, speed, phaseStep);

    return static_cast<float>(tapA * (1.0 - weightA) * 0.5 + tapB * (1.0 - weightB) * 0.5);
}

void GrainShifter::Push(float x)
{
    if (state.length < 1 || state.buffer.empty())
        return;
    state.buffer[state.writeIndex] = x;
    state.clock += 1.0;
    if (++state.writeIndex >= state.length)
        state.writeIndex = 0;
}

void GrainShifter::Prefill(const float* samples, int count)
{
    for (int i = 0; i < count; ++i)
        Push(samples[i]);
    StartHeadsBack(count);
}

void GrainShifter::StartHeadsBack(int count)
{
    state.readPosA = state.readPosB = state.clock - count;
}

void GrainShifter::RestartPlain(double position)
{
    state.readPosA = state.readPosB = position;
    state.phaseA = 0.0;
    state.phaseB = 0.5;
}

float GrainShifter::Process(float x)
{
    if (state.length < 1 || state.buffer.empty())
        return 0.0f;
    const bool unity = IsUnity(state.ratio);
    if (unity)
        state.minMargin = std::min(state.minMargin, state.minDelay);
    Push(x);
    if (!unity)
        return Read(state.ratio, state.grainLength);

    const double plainPosition = state.clock - 1.0 - state.minDelay;
    if (state.crossfadeRemaining < 1) {
        RestartPlain(plainPosition);
        return ReadBuffer(plainPosition);
    }
    const double t = static_cast<double>(state.crossfadeLength - state.crossfadeRemaining) / state.crossfadeLength;
    const double shifted = Read(state.oldRatio, state.oldGrainLength);
    const double plain = ReadBuffer(plainPosition);
    const double result = EngineMath::Sin(t * kHalfPi) * plain + EngineMath::Cos(t * kHalfPi) * shifted;
    if (--state.crossfadeRemaining == 0)
        RestartPlain(plainPosition);
    return static_cast<float>(result);
}

void GrainShifter::Resample(double newRate)
{
    if (newRate == state.sampleRate || !IsUsableRate(newRate) || !FitsRing(newRate))
        return;
    const double scale = newRate / state.sampleRate;

    const int32_t newLength = RingLengthFor(newRate);
    std::vector<float> resampled(static_cast<size_t>(newLength), 0.0f);
    for (int32_t j = 0; j < newLength; ++j)
        resampled[j] = ReadRing(state, state.clock - (newLength - j) / scale);

    state.sampleRate = newRate;
    state.length = newLength;
    state.clock *= scale;
    state.readPosA *= scale;
    state.readPosB *= scale;
    state.grainLength *= scale;
    state.minDelay *= scale;
    state.minMargin *= scale;
    state.oldGrainLength *= scale;
    state.crossfadeLength = EngineMath::RoundToInt(state.crossfadeLength * scale);
    state.crossfadeRemaining = EngineMath::RoundToInt(state.crossfadeRemaining * scale);

    // Rotate so that slot index again equals absolute position modulo length.
    const int32_t shift = static_cast<int32_t>(std::fmod(state.clock, static_cast<double>(state.length)));
    std::rotate(resampled.rbegin(), resampled.rbegin() + shift, resampled.rend());
    state.writeIndex = shift;
    state.buffer = std::move(resampled);
}
