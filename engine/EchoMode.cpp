#include "engine/EchoMode.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "engine/EngineMath.h"
#include "engine/InterpolatedRead.h"

namespace {

using EngineMath::kPi;
using EngineMath::kZeroSeedReplacement;
constexpr double kShifterDelaySeconds = 0.06;
constexpr double kBufferSeconds = 13.748000000000001;
constexpr double kTimeBase = 23.999999999999996; // the double of 1.2 / 0.05
constexpr double kMinTime = 0.05;
constexpr double kMaxFeedback = 0.9;
constexpr double kMinTapDelay = 4.0;
constexpr double kUnityTolerance = 1e-9;
constexpr uint32_t kFlickerSeedMask = 0xECA01239u;
constexpr double kCrossfadeSeconds = 0.01;
// Longer crossfades (very high rates) compute their weights past the table.
constexpr int kMaxCrossfadeTable = 8192;
// Below this a position's ulp is far under one sample, so whole laps subtract exactly.
constexpr double kExactLapLimit = 1099511627776.0;

struct ShapeRow
{
    double lo;
    double hi;
    double out;
};

constexpr ShapeRow kShapeRows[] = {
    {0.0, 0.15, 0.5}, {0.2, 0.35, 1.0}, {0.4, 0.55, 1.005}, {0.6, 0.75, 1.5}, {0.8, 1.0, 2.0},
};

double Clamp01(double value)
{
    if (!(value == value))
        return 0.0;
    return std::min(std::max(value, 0.0), 1.0);
}

uint32_t XorShift(uint32_t& state)
{
    state = DriftContext::XorShift32(state);
    return state;
}

double Unit(uint32_t value)
{
    return DriftContext::ToUnit(value);
}

// A sample count from a duration, at least 1 and far from the int limits so
// that countdowns cannot overflow.
int32_t CountFor(double samples)
{
    if (!(samples >= 1.0))
        return 1;
    return static_cast<int32_t>(std::min(samples, 1.0e9));
}

int32_t CountOrZero(double samples)
{
    if (!(samples >= 0.0))
        return 0;
    return static_cast<int32_t>(std::min(samples, 1.0e9));
}

uint32_t SaturatingIncrement(uint32_t value)
{
    return value < std::numeric_limits<uint32_t>::max() ? value + 1 : value;
}

float Finite(float value)
{
    return std::isfinite(value) ? value : 0.0f;
}

// A one-pole that may stop an ulp short of its target forever is still at rest
// when its next step leaves it where it is.
bool StepChangesNothing(const ParamSmoother& smoother, double interval)
{
    return smoother.stepValid && smoother.stepInterval == interval && smoother.stepTime == smoother.time
           && smoother.current + (smoother.target - smoother.current) * smoother.stepCoefficient == smoother.current;
}

} // namespace

double ShapeRatio(double shape)
{
    const double x = Clamp01(shape);
    const ShapeRow* previous = nullptr;
    for (const ShapeRow& row : kShapeRows) {
        if (row.hi >= x) {
            if (x >= row.lo || previous == nullptr)
                return row.out;
            const double t = (x - previous->hi) / (row.lo - previous->hi);
            return previous->out + (row.out - previous->out) * t;
        }
        previous = &row;
    }
    return kShapeRows[4].out;
}

EchoMode::EchoMode()
{
    panMatrix[0] = std::sqrt(0.6);
    panMatrix[1] = std::sqrt(0.4);
    panMatrix[2] = std::sqrt(0.4);
    panMatrix[3] = std::sqrt(0.6);
    for (int k = 0; k < kTaps; ++k) {
        flickerGain[k] = 1.0;
        flickerTarget[k] = 1.0;
        muteGain[k] = 1.0;
        tapCrossfade[k] = -1.0;
        tapLevels[k] = k < repeats ? 1.0 : 0.0;
    }
    timeSmoother.target = timeSmoother.current = time;
    pitchSmoother.target = pitchSmoother.current = ShapeRatio(pitchControl);
    feedbackSmoother.target = feedbackSmoother.current = feedback;
}

void EchoMode::Prepare(double rate, int /*maxBlockSize*/)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    ready = false;
    const double wanted = std::ceil(kBufferSeconds * sampleRate) + 2.0;
    try {
        if (wanted > static_cast<double>(std::numeric_limits<int32_t>::max() / 2))
            throw std::bad_alloc();
        length = static_cast<int32_t>(wanted);
        buffer.assign(static_cast<size_t>(length), 0.0f);
        for (GrainShifter& shifter : shifters)
            shifter.Prepare(sampleRate);
        scratch.assign(static_cast<size_t>(EngineMath::RoundToInt(kShifterDelaySeconds * sampleRate) + 4), 0.0f);
        transientMap.Prepare(sampleRate, buffer.data(), length);
        for (PitchVoice& voice : pitchVoices)
            voice.Prepare(sampleRate, buffer.data(), length, &transientMap);
        BuildCrossfadeTable();
        ready = true;
    } catch (const std::bad_alloc&) {
        // Without its memory the echo stays silent: nothing may point at a
        // buffer that is gone.
        SampleHistory().swap(buffer);
        std::vector<float>().swap(scratch);
        std::vector<double>().swap(crossfadeOldWeights);
        std::vector<double>().swap(crossfadeNewWeights);
        length = 0;
        transientMap.Prepare(sampleRate, nullptr, 0);
        for (PitchVoice& voice : pitchVoices) {
            try {
                voice.Prepare(sampleRate, nullptr, 0, &transientMap);
            } catch (const std::bad_alloc&) {
            }
        }
    }

    for (int k = 0; k < kTaps; ++k) {
        const double cutoff = std::max(1800.0, 9000.0 * std::pow(0.78, k + 1));
        tapLowpassCoef[k] = std::exp(-2.0 * kPi * cutoff / sampleRate);
    }
    timeSmoother.Configure(0.02, sampleRate);
    pitchSmoother.Configure(0.02, sampleRate);
    feedbackSmoother.Configure(0.02, sampleRate);
    panMatrix[0] = std::sqrt(0.6);
    panMatrix[1] = std::sqrt(0.4);
    panMatrix[2] = std::sqrt(0.4);
    panMatrix[3] = std::sqrt(0.6);
    // The history was just assigned zeros (or is gone).
    ResetState();
}

void EchoMode::Reset()
{
    std::fill(buffer.begin(), buffer.end(), 0.0f);
    ResetState();
}

void EchoMode::ResetState()
{
    transientMap.Clear();
    for (int k = 0; k < kTaps; ++k) {
        flickerCountdown[k] = 0;
        flickerGain[k] = 1.0;
        flickerTarget[k] = 1.0;
    }
    writeIndex = 0;
    clock = 0.0;
    idleSampleCounter = 0;
    for (GrainShifter& shifter : shifters)
        shifter.Reset();
    minOldTapDelay = 1e30;
    chaosRng = 1;
    chaosGeneration = 0;
    chaosSeeded = 0;
    reverseRunCount = fastRunCount = octaveJumpCount = muteCount = 0;
    ghostCount = dropoutCount = bendCount = delayFloorCount = 0;
    eventCountdown = 0;
    dropoutCountdown = 0;
    clickPosition = -1;
    dropoutGain = 1.0;
    bendRemaining = 0;
    bendLength = 0;
    bendDepth = 0.0;
    tickCountdown = 0;
    tapLevelsValid = 0;
    delaysValid = 0;
    tickCount = 0;
    syncCountdown = -1;
    pitchVoiceSamples = 0;
    for (int k = 0; k < kTaps; ++k) {
        tapLowpassState[k] = 0.0;
        tapChaosCountdown[k] = 0;
        reverseRun[k] = 0;
        reverseRunLength[k] = 0.0;
        reverseRunPos[k] = 0.0;
        fastRun[k] = 0;
        fastRunLength[k] = 0.0;
        fastRunPos[k] = 0.0;
        tapDelay[k] = 0.0;
        oldTapDelay[k] = 0.0;
        tapCrossfade[k] = -1.0;
        pitchVoices[k].Reset();
        pitchVoiceMix[k] = 0.0;
        tapLevels[k] = k < repeats ? 1.0 : 0.0;
        pitchVoiceRunning[k] = 0;
        pitchVoiceWarmup[k] = 0;
        pitchVoiceHoldoff[k] = 0;
        pitchVoiceEnabled[k] = 0;
        tapSpacing[k] = 0.0;
        octaveUpCountdown[k] = 0;
        muteCountdown[k] = 0;
        muteGain[k] = 1.0;
        ghostCountdown[k] = 0;
        ghostLowpassState[k] = 0.0;
    }
    muteCoef = dropoutCoef = 1.0 - std::exp(-1.0 / (sampleRate * 0.005));
    decayValid = 0;
    SnapSmoothers();
}

void EchoMode::SetControls(double a, double b)
{
    time = kMinTime * std::pow(kTimeBase, Clamp01(a));
    timeSmoother.target = time;
    pitchControl = Clamp01(b);
    pitchSmoother.target = ShapeRatio(pitchControl);
}

void EchoMode::SetTime(double value)
{
    time = (std::isfinite(value) && value > 0.0) ? value : kMinTime;
    timeSmoother.target = time;
}

void EchoMode::SetTempoSync(const TempoSyncInfo& info)
{
    sync = info;
}

void EchoMode::SetFeedback(double value)
{
    feedback = std::min(Clamp01(value), kMaxFeedback);
    feedbackSmoother.target = feedback;
}

void EchoMode::SetRepeats(int count)
{
    repeats = std::min(std::max(count, 1), kTaps);
}

void EchoMode::RestoreConstructedControls()
{
    time = kDefaultTime;
    pitchControl = kDefaultPitchControl;
    feedback = kDefaultFeedback;
    repeats = kDefaultRepeats;
    sync = TempoSyncInfo{};
    timeSmoother.target = time;
    pitchSmoother.target = ShapeRatio(pitchControl);
    feedbackSmoother.target = feedback;
}

void EchoMode::SnapSmoothers()
{
    timeSmoother.target = time;
    pitchSmoother.target = ShapeRatio(pitchControl);
    feedbackSmoother.target = feedback;
    timeSmoother.Step(1e6);
    pitchSmoother.Step(1e6);
    feedbackSmoother.Step(1e6);
}

void EchoMode::FeedIdle(const float* left, const float* right, int n)
{
    if (ready && left != nullptr && right != nullptr) {
        // Spans end at the ring's end and where the counter completes a block of
        // the onset map, which is scanned there.
        for (int i = 0; i < n;) {
            const int toBlock =
                TransientMap::kBlockSize - static_cast<int>(idleSampleCounter % TransientMap::kBlockSize);
            const int span = std::min({n - i, length - writeIndex, toBlock});
            float* history = buffer.data() + writeIndex;
            for (int s = 0; s < span; ++s)
                history[s] = Finite((left[i + s] + right[i + s]) * 0.5f);
            writeIndex += span;
            if (writeIndex >= length)
                writeIndex = 0;
            clock = EngineMath::ClockAfterSteps(clock, span);
            // Wrapping at 2^32 keeps the 32-sample cadence, so this counter may wrap.
            idleSampleCounter += static_cast<uint32_t>(span);
            if (idleSampleCounter % TransientMap::kBlockSize == 0)
                transientMap.Update(clock);
            i += span;
        }
    }
    reinitPending = 1;
}

void EchoMode::BuildCrossfadeTable()
{
    crossfadeTableSamples = kCrossfadeSeconds * sampleRate;
    const int size = static_cast<int>(std::min(std::ceil(crossfadeTableSamples), double{kMaxCrossfadeTable}));
    crossfadeOldWeights.assign(static_cast<size_t>(size), 0.0);
    crossfadeNewWeights.assign(static_cast<size_t>(size), 0.0);
    for (int step = 0; step < size; ++step)
        ComputeCrossfadeWeights(step, crossfadeTableSamples, crossfadeOldWeights[static_cast<size_t>(step)],
                                crossfadeNewWeights[static_cast<size_t>(step)]);
}

inline void EchoMode::CrossfadeWeights(double step, double crossfadeSamples, double& oldWeight, double& newWeight) const
{
    const int index = static_cast<int>(step);
    if (crossfadeSamples == crossfadeTableSamples && index == step && index >= 0
        && index < static_cast<int>(crossfadeOldWeights.size())) {
        oldWeight = crossfadeOldWeights[static_cast<size_t>(index)];
        newWeight = crossfadeNewWeights[static_cast<size_t>(index)];
        return;
    }
    ComputeCrossfadeWeights(step, crossfadeSamples, oldWeight, newWeight);
}

void EchoMode::ComputeCrossfadeWeights(double step, double crossfadeSamples, double& oldWeight, double& newWeight)
{
    const double t = step / crossfadeSamples;
    oldWeight = EngineMath::Cos(t * kPi * 0.5);
    newWeight = EngineMath::Sin(t * kPi * 0.5);
}

inline double EchoMode::ReadEcho(double position) const
{
    // A position in the first lap is its own slot. The slots follow the clock
    // (slot = clock modulo length), so whole laps of the clock subtract exactly
    // from a position further along, and what is left within a lap either way
    // of the writer is the position's slot.
    const double fullLength = static_cast<double>(length);
    double wrapped = position;
    if (!(position >= 0.0 && position < fullLength)) {
        wrapped = position - (clock - writeIndex);
        if (!(position >= fullLength && position < kExactLapLimit && wrapped > -fullLength && wrapped < fullLength))
            return ReadEchoAnywhere(position);
        if (wrapped < 0.0)
            wrapped += fullLength;
    }
    const int i = static_cast<int>(wrapped);
    const double frac = wrapped - i;
    const int j = i + 1 >= length ? 0 : i + 1;
    return buffer[static_cast<size_t>(i)] * (1.0 - frac) + buffer[static_cast<size_t>(j)] * frac;
}

double EchoMode::ReadEchoAnywhere(double position) const
{
    if (!std::isfinite(position))
        return 0.0;
    double wrapped = RemainderOfPosition(position, static_cast<double>(length));
    if (wrapped < 0.0)
        wrapped += length;
    int i = static_cast<int>(wrapped);
    if (i >= length)
        i = length - 1;
    const double frac = wrapped - i;
    const int j = i + 1 >= length ? 0 : i + 1;
    return buffer[static_cast<size_t>(i)] * (1.0 - frac) + buffer[static_cast<size_t>(j)] * frac;
}

void EchoMode::Process(float* left, float* right, int n, DriftContext& drift)
{
    if (n < 1 || left == nullptr || right == nullptr)
        return;
    if (!ready) {
        std::fill(left, left + n, 0.0f);
        std::fill(right, right + n, 0.0f);
        return;
    }

    // Every sample sees the plan a call of its own would make: the plan is made
    // afresh unless making it again could change nothing. Once the plan holds
    // it holds to the end of the call, as nothing a sample does touches what
    // the test reads.
    SamplePlan plan = PlanSample(drift);
    ProcessSample(left[0], right[0], plan);
    bool holds = false;
    for (int i = 1; i < n; ++i) {
        holds = holds || PlanStillHolds(drift);
        if (holds)
            RefreshSamplePlan(plan);
        else
            plan = PlanSample(drift);
        ProcessSample(left[i], right[i], plan);
    }
}

void EchoMode::ProcessSample(float& left, float& right, const SamplePlan& plan)
{
    RenderPitchVoices(plan);

    // The mono input goes into the history.
    buffer[static_cast<size_t>(writeIndex)] = Finite((left + right) * 0.5f);
    if (++writeIndex >= length)
        writeIndex = 0;
    clock += 1.0;
    const double newest = clock - 1.0;

    RollGlobalEvents(plan);
    const double wow = StepWow();
    dropoutGain += ((dropoutCountdown > 0 ? 0.0 : 1.0) - dropoutGain) * dropoutCoef;
    if (dropoutCountdown > 0)
        --dropoutCountdown;
    const bool tick = StepTick(plan.periodCount);

    double outL = 0.0;
    double outR = 0.0;
    for (int k = 0; k < kTaps; ++k) {
        const bool wanted = k < repeats;
        if (wanted)
            tapLevels[k] = std::min(tapLevels[k] + plan.levelStep, 1.0);
        else
            tapLevels[k] = std::max(tapLevels[k] - plan.levelStep, 0.0);
        if (!wanted && tapLevels[k] <= 0.0)
            continue;
        const double out = TapOutput(k, newest, wow, tick, plan) * tapLevels[k];
        if (k % 2 == 0) {
            outL += out * panMatrix[0];
            outR += out * panMatrix[1];
        } else {
            outL += out * panMatrix[2];
            outR += out * panMatrix[3];
        }
    }

    if (tick) {
        tickCount = SaturatingIncrement(tickCount);
        delaysValid = 1;
    }
    const double click = StepClick(plan.clickLength);
    left = static_cast<float>(outL * dropoutGain + click);
    right = static_cast<float>(outR * dropoutGain + click);
}

bool EchoMode::PlanStillHolds(const DriftContext& drift) const
{
    const double interval = 1.0 / sampleRate;
    return !reinitPending && tapLevelsValid && !sync.boundaryFound && StepChangesNothing(timeSmoother, interval)
           && StepChangesNothing(pitchSmoother, interval) && StepChangesNothing(feedbackSmoother, interval)
           && decayValid && feedbackSmoother.current == decayFeedback && !ChaosNeedsSeed(Clamp01(drift.amount), drift);
}

void EchoMode::RefreshSamplePlan(SamplePlan& plan)
{
    plan.reinit = false;
    plan.firstBlock = false;
    // With the rest of the plan unchanged, only an octave jump starting or
    // ending changes a voice's ratio and so its latency and whether it plays.
    for (int k = 0; k < kTaps; ++k) {
        if ((octaveUpCountdown[k] > 0) != plannedOctaveUp[k]) {
            PlanPitchVoices(plan);
            break;
        }
    }
    blockStartClock = clock;
}

EchoMode::SamplePlan EchoMode::PlanSample(const DriftContext& drift)
{
    SamplePlan plan;
    plan.reinit = reinitPending != 0;
    plan.firstBlock = tapLevelsValid == 0;
    const double sr = sampleRate;

    // An instance that was only fed starts its taps afresh from the history.
    if (plan.reinit)
        RestartTaps();

    // Always one sample's step: a step over a longer interval rounds differently.
    const double interval = 1.0 / sr;
    timeSmoother.Step(interval);
    pitchSmoother.Step(interval);
    feedbackSmoother.Step(interval);
    plan.chaos = Clamp01(drift.amount);
    const double period = TapPeriod(plan.chaos, drift);
    plan.periodSamples = sr * period;

    SeedChaos(plan.chaos, drift);
    plan.pFast = 0.1 * plan.chaos;
    plan.pReverse = 0.05 * plan.chaos;
    plan.pOctave = 0.07 * plan.chaos;
    plan.pMuteGhost = 0.08 * plan.chaos;
    plan.pDropout = plan.chaos > 0.4 ? 0.05 * plan.chaos : 0.0;

    PlanTaps(plan, period);
    PlanPitchVoices(plan);
    if (plan.reinit)
        PrefillShifters(plan);

    blockStartClock = clock;
    if (!tapLevelsValid) {
        for (int k = 0; k < kTaps; ++k)
            tapLevels[k] = k < repeats ? 1.0 : 0.0;
        tapLevelsValid = 1;
    }
    ScheduleSyncTick();

    plan.periodCount = CountFor(plan.periodSamples);
    plan.levelStep = 1.0 / (0.01 * sr);
    plan.mixStep = plan.levelStep;
    plan.crossfadeSamples = kCrossfadeSeconds * sr;
    plan.flickerStep = 0.5 / std::max(0.005 * sr, 1.0);
    plan.clickLength = static_cast<int32_t>(0.0015 * sr);
    plan.shifterDelay = kShifterDelaySeconds * sr;
    plan.maxTapDelay = length - kMinTapDelay;
    return plan;
}

void EchoMode::RestartTaps()
{
    SnapSmoothers();
    tickCountdown = 0;
    delaysValid = 0;
    for (int k = 0; k < kTaps; ++k) {
        pitchVoiceRunning[k] = 0;
        pitchVoiceMix[k] = 0.0;
        pitchVoiceHoldoff[k] = 64 * k;
        ghostLowpassState[k] = 0.0;
        tapLowpassState[k] = 0.0;
        shifters[k].Reset();
    }
    reinitPending = 0;
}

double EchoMode::TapPeriod(double chaos, const DriftContext& drift) const
{
    double period;
    if (sync.boundaryFound) {
        period = std::max(0.01, timeSmoother.current);
    } else {
        const double wander = std::min(std::max(chaos * drift.WalkerValue(2), -chaos), chaos);
        period = std::max(0.01, timeSmoother.current * (1.0 + 0.02 * wander));
    }
    if (!std::isfinite(period))
        period = kDefaultTime;
    return period;
}

bool EchoMode::ChaosNeedsSeed(double chaos, const DriftContext& drift) const
{
    return chaos > 0.0 && (!chaosSeeded || drift.generation != chaosGeneration);
}

void EchoMode::SeedChaos(double chaos, const DriftContext& drift)
{
    if (ChaosNeedsSeed(chaos, drift)) {
        uint32_t state = drift.seed != 0 ? drift.seed : kZeroSeedReplacement;
        for (int s = 0; s < 18; ++s)
            state = DriftContext::XorShift32(state);
        chaosRng = state;
        flickerRng = (drift.seed ^ kFlickerSeedMask) | 1u;
        chaosSeeded = 1;
        chaosGeneration = drift.generation;
    }
}

void EchoMode::PlanTaps(SamplePlan& plan, double period)
{
    const double sr = sampleRate;
    const double shape = pitchSmoother.current;
    for (int k = 0; k < kTaps; ++k) {
        double r = (shape > 1.0 && shape <= 1.02) ? std::pow(shape, k + 1) : shape;
        r = std::min(std::max(r, 0.25), 2.5);
        if (!(r == r))
            r = 1.0;
        plan.tapRatio[k] = r;
        plan.extra[k] = r > 1.0 ? (r - 1.0) * sr * period : 0.0;
    }
    const double decay = feedbackSmoother.current;
    plan.drive = 1.0 + 3.0 * decay * decay * decay;
    if (decay != decayFeedback || !decayValid) {
        for (int k = 0; k < kTaps; ++k) {
            tapDecay[k] = std::pow(decay, k + 1);
            ghostDecay[k] = std::pow(decay, k + 1.5);
        }
        decayFeedback = decay;
        decayValid = 1;
    }
}

// The octave jumps of the taps change the voices' ratios from one sample to the
// next, so this part of the plan is made for every sample.
void EchoMode::PlanPitchVoices(const SamplePlan& plan)
{
    // Pitch voices only for pitched taps while the tempo grid is known.
    const bool gridKnown = sync.synced || sync.boundaryFound;
    for (int k = 0; k < kTaps; ++k) {
        plannedOctaveUp[k] = octaveUpCountdown[k] > 0;
        const double q = plan.tapRatio[k] * (plannedOctaveUp[k] ? 2.0 : 1.0);
        pitchVoices[k].SetRatio(q);
        tapSpacing[k] = (k + 1) * plan.periodSamples;
        pitchVoiceEnabled[k] = plan.tapRatio[k] >= 2.0 / 3.0 && tapSpacing[k] >= pitchVoices[k].Latency() + 256.0
                               && gridKnown && std::fabs(plan.tapRatio[k] - 1.0) >= kUnityTolerance;
    }
}

void EchoMode::PrefillShifters(const SamplePlan& plan)
{
    // Each shifter gets the 60 ms preceding its tap's read position.
    const int m = static_cast<int>(scratch.size());
    for (int k = 0; k < kTaps; ++k) {
        const double delay =
            std::max((k + 1) * plan.periodSamples - kShifterDelaySeconds * sampleRate, kMinTapDelay) + plan.extra[k];
        for (int j = 0; j < m; ++j)
            scratch[static_cast<size_t>(j)] =
                static_cast<float>(ReadEcho((clock - delay) - (m - j) * plan.tapRatio[k]));
        shifters[k].Prefill(scratch.data(), m);
    }
}

void EchoMode::ScheduleSyncTick()
{
    // Ticks land 60 ms before the beat so that the shifters' delay puts the
    // repeats on it.
    if (sync.boundaryFound && sync.divisionSamples > 0) {
        int64_t offset = sync.boundaryOffset;
        bool update = true;
        if (offset < 0 && syncCountdown >= 0) {
            update = false;
        } else if (offset < 0) {
            offset = EngineMath::RoundToInt((1.0 - sync.phase) * sync.divisionSamples);
            if (offset < 0)
                update = false;
        }
        if (update) {
            offset -= EngineMath::RoundToInt64(kShifterDelaySeconds * sampleRate);
            if (offset < 0)
                offset += (-offset + sync.divisionSamples - 1) / sync.divisionSamples * sync.divisionSamples;
            syncCountdown = static_cast<int32_t>(std::min<int64_t>(offset, std::numeric_limits<int32_t>::max()));
        }
    } else {
        syncCountdown = -1;
    }
}

void EchoMode::RenderPitchVoices(const SamplePlan& plan)
{
    transientMap.Update(blockStartClock);
    for (int k = 0; k < kTaps; ++k) {
        const bool mayRun = (k < repeats || tapLevels[k] > 0.0) && (pitchVoiceEnabled[k] || pitchVoiceMix[k] > 0.0);
        if (pitchVoiceHoldoff[k] >= 1) {
            --pitchVoiceHoldoff[k];
            pitchVoiceRunning[k] = 0;
            pitchVoiceMix[k] = 0.0;
        } else if (mayRun) {
            PitchVoice& voice = pitchVoices[k];
            voice.blockClock = blockStartClock;
            voice.readDelay = std::max(voice.Latency() + 256.0, tapSpacing[k]);
            if (!pitchVoiceRunning[k]) {
                if (plan.firstBlock && !plan.reinit) {
                    pitchVoiceWarmup[k] = 0;
                } else {
                    voice.Restart();
                    pitchVoiceWarmup[k] =
                        CountOrZero(std::ceil(2.0 * voice.Window() / std::max(plan.tapRatio[k], 2.0 / 3.0)));
                }
                pitchVoiceRunning[k] = 1;
            }
            voice.Render(&pitchVoiceOut[k], 1);
            ++pitchVoiceSamples;
        } else {
            pitchVoiceRunning[k] = 0;
            pitchVoiceMix[k] = 0.0;
        }
    }
}

void EchoMode::RollGlobalEvents(const SamplePlan& plan)
{
    if (!chaosSeeded || --eventCountdown >= 1)
        return;
    eventCountdown = plan.periodCount;
    const uint32_t x1 = XorShift(chaosRng);
    const uint32_t x2 = XorShift(chaosRng);
    const uint32_t x3 = XorShift(chaosRng);
    const uint32_t x4 = XorShift(chaosRng);
    if (dropoutCountdown <= 0 && plan.pDropout > Unit(x1)) {
        dropoutCountdown = CountOrZero((Unit(x2) * 0.06999999999999999 + 0.08) * sampleRate);
        clickPosition = 0;
        dropoutCount = SaturatingIncrement(dropoutCount);
    }
    if (bendRemaining <= 0 && plan.pDropout > Unit(x3)) {
        bendLength = bendRemaining = CountOrZero((Unit(x4) * 0.09999999999999998 + 0.2) * sampleRate);
        bendDepth = bendLength * 0.15 / kPi;
        bendCount = SaturatingIncrement(bendCount);
    }
}

double EchoMode::StepWow()
{
    // During a bend every tap reads further back.
    double wow = 0.0;
    if (bendRemaining > 0) {
        wow = bendDepth * 0.5
              * (1.0 - EngineMath::Cos(2.0 * kPi * (1.0 - static_cast<double>(bendRemaining) / bendLength)));
        --bendRemaining;
    }
    return wow;
}

bool EchoMode::StepTick(int32_t periodCount)
{
    bool tick = false;
    if (--tickCountdown < 1) {
        tickCountdown = periodCount;
        tick = true;
    }
    if (syncCountdown == 0) {
        tickCountdown = periodCount;
        tick = true;
        syncCountdown = sync.divisionSamples;
    }
    if (syncCountdown > 0)
        --syncCountdown;
    return tick;
}

inline void EchoMode::RollTapEvents(int k, const SamplePlan& plan)
{
    if (chaosSeeded && --tapChaosCountdown[k] < 1)
        RollTapEventsNow(k, plan);
}

void EchoMode::RollTapEventsNow(int k, const SamplePlan& plan)
{
    const double periodSamples = plan.periodSamples;
    tapChaosCountdown[k] = plan.periodCount;
    const uint32_t x1 = XorShift(chaosRng);
    const uint32_t x2 = XorShift(chaosRng);
    const uint32_t x3 = XorShift(chaosRng);
    const uint32_t x4 = XorShift(chaosRng);
    const uint32_t x5 = XorShift(chaosRng);
    if (!reverseRun[k] && !fastRun[k] && plan.pFast > Unit(x1)) {
        fastRun[k] = 1;
        fastRunLength[k] = 0.5 * periodSamples;
        fastRunPos[k] = 0.0;
        fastRunCount = SaturatingIncrement(fastRunCount);
    }
    if (octaveUpCountdown[k] <= 0 && plan.pOctave > Unit(x2)) {
        octaveUpCountdown[k] = CountOrZero(periodSamples);
        octaveJumpCount = SaturatingIncrement(octaveJumpCount);
    }
    if (muteCountdown[k] <= 0 && plan.pMuteGhost > Unit(x3)) {
        muteCountdown[k] = CountOrZero(periodSamples);
        muteCount = SaturatingIncrement(muteCount);
    }
    if (ghostCountdown[k] <= 0 && plan.pMuteGhost > Unit(x4)) {
        ghostCountdown[k] = CountOrZero(periodSamples);
        ghostCount = SaturatingIncrement(ghostCount);
    }
    const double reverseLength = std::min(0.32 * sampleRate, (k + 1) * periodSamples);
    if (!reverseRun[k] && !fastRun[k] && reverseLength > 0.03 * sampleRate && plan.pReverse > Unit(x5)) {
        reverseRun[k] = 1;
        reverseRunLength[k] = reverseLength;
        reverseRunPos[k] = 0.0;
        reverseRunCount = SaturatingIncrement(reverseRunCount);
    }
}

double EchoMode::StepRunSpeed(int k)
{
    double speed = 1.0;
    if (reverseRun[k]) {
        speed = -1.0;
        reverseRunPos[k] += 1.0;
        if (reverseRunPos[k] >= reverseRunLength[k])
            reverseRun[k] = 0;
    } else if (fastRun[k]) {
        speed = 2.0;
        fastRunPos[k] += 1.0;
        if (fastRunPos[k] >= fastRunLength[k])
            fastRun[k] = 0;
    }
    return speed;
}

inline double EchoMode::ReadTap(int k, double newest, double wow, double speed, bool tick, const SamplePlan& plan)
{
    const double r = plan.tapRatio[k];
    const double base = std::max((k + 1) * plan.periodSamples - plan.shifterDelay, kMinTapDelay);
    if (tick) {
        const double target = base + plan.extra[k];
        if (delaysValid && target != tapDelay[k]) {
            oldTapDelay[k] = tapDelay[k];
            tapCrossfade[k] = 0.0;
        }
        tapDelay[k] = target;
    }
    const bool follows = speed == 1.0 && std::fabs(r - 1.0) < kUnityTolerance;
    if (follows && tapDelay[k] != base) {
        if (delaysValid && tapCrossfade[k] < 0.0) {
            oldTapDelay[k] = tapDelay[k];
            tapCrossfade[k] = 0.0;
        }
        tapDelay[k] = base;
    }

    double y = ReadEcho(newest - tapDelay[k] - wow);
    if (tapCrossfade[k] >= 0.0) {
        const double t = tapCrossfade[k] / plan.crossfadeSamples;
        if (t >= 1.0) {
            tapCrossfade[k] = -1.0;
        } else {
            minOldTapDelay = std::min(minOldTapDelay, oldTapDelay[k]);
            const double old = ReadEcho(newest - oldTapDelay[k] - wow);
            double oldWeight;
            double newWeight;
            CrossfadeWeights(tapCrossfade[k], plan.crossfadeSamples, oldWeight, newWeight);
            y = oldWeight * old + newWeight * y;
            oldTapDelay[k] = std::max(oldTapDelay[k] - (speed * r - 1.0), kMinTapDelay);
            tapCrossfade[k] += 1.0;
        }
    }

    if (!follows) {
        tapDelay[k] -= speed * r - 1.0;
        if (tapDelay[k] < kMinTapDelay) {
            tapDelay[k] = kMinTapDelay;
            delayFloorCount = SaturatingIncrement(delayFloorCount);
        }
        if (tapDelay[k] > plan.maxTapDelay)
            tapDelay[k] = plan.maxTapDelay;
    }
    return y;
}

inline double EchoMode::BlendPitchVoice(int k, double y, bool runActive, const SamplePlan& plan)
{
    if (pitchVoiceWarmup[k] > 0)
        --pitchVoiceWarmup[k];
    // A voice that is not running holds no fresh output to blend in.
    if (pitchVoiceEnabled[k] && pitchVoiceRunning[k] && !runActive && pitchVoiceWarmup[k] == 0)
        pitchVoiceMix[k] = std::min(pitchVoiceMix[k] + plan.mixStep, 1.0);
    else
        pitchVoiceMix[k] = std::max(pitchVoiceMix[k] - plan.mixStep, 0.0);
    if (pitchVoiceMix[k] > 0.0) {
        const double p = pitchVoiceOut[k];
        if (pitchVoiceMix[k] >= 1.0)
            y = p;
        else
            y = y * EngineMath::Cos(pitchVoiceMix[k] * kPi * 0.5) + p * EngineMath::Sin(pitchVoiceMix[k] * kPi * 0.5);
    }
    return y;
}

double EchoMode::TapOutput(int k, double newest, double wow, bool tick, const SamplePlan& plan)
{
    RollTapEvents(k, plan);
    muteGain[k] += ((muteCountdown[k] > 0 ? 0.0 : 1.0) - muteGain[k]) * muteCoef;
    if (muteCountdown[k] > 0)
        --muteCountdown[k];

    const double speed = StepRunSpeed(k);
    double y = ReadTap(k, newest, wow, speed, tick, plan);

    GrainShifter& shifter = shifters[k];
    // Setting the ratio the shifter has changes nothing once a shifted ratio's
    // crossfade is cancelled.
    const double shifterRatio = octaveUpCountdown[k] > 0 ? 2.0 : 1.0;
    const GrainShifter::State& shifted = shifter.CurrentState();
    if (shifterRatio != shifted.ratio || (shifterRatio != 1.0 && shifted.crossfadeRemaining != 0))
        shifter.SetRatio(shifterRatio);
    if (octaveUpCountdown[k] > 0)
        --octaveUpCountdown[k];
    y = shifter.Process(static_cast<float>(y));
    y = BlendPitchVoice(k, y, speed != 1.0, plan);

    if (--flickerCountdown[k] < 1) {
        flickerCountdown[k] = plan.periodCount;
        flickerTarget[k] = (chaosSeeded && 0.15 * plan.chaos > Unit(XorShift(flickerRng))) ? 0.5 : 1.0;
    }
    const double toTarget = flickerTarget[k] - flickerGain[k];
    flickerGain[k] += std::min(std::max(toTarget, -plan.flickerStep), plan.flickerStep);

    const double drive = plan.drive;
    const double pole = 1.0 - tapLowpassCoef[k];
    const double z = std::tanh(flickerGain[k] * tapDecay[k] * muteGain[k] * y * drive) / drive;
    tapLowpassState[k] += (z - tapLowpassState[k]) * pole;
    double out = tapLowpassState[k];

    if (ghostCountdown[k] > 0) {
        --ghostCountdown[k];
        const double g = ReadEcho(newest - (0.5 * plan.periodSamples + tapDelay[k]) - wow);
        const double gz = std::tanh(g * muteGain[k] * ghostDecay[k] * drive) / drive;
        ghostLowpassState[k] += (gz - ghostLowpassState[k]) * pole;
        out += ghostLowpassState[k];
    }
    return out;
}

double EchoMode::StepClick(int32_t clickLength)
{
    // The dropout starts with a short click.
    double click = 0.0;
    if (clickPosition >= 0) {
        if (clickPosition < clickLength) {
            const double phi = 2.0 * kPi * clickPosition / clickLength;
            click = (1.0 - EngineMath::Cos(phi)) * 0.5 * EngineMath::Sin(phi) * 0.18;
            ++clickPosition;
        }
        if (clickPosition >= clickLength)
            clickPosition = -1;
    }
    return click;
}
