#include "engine/modes/EchoMode.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/InterpolatedRead.h"

namespace {

using EngineMath::Clamp01OrZero;
using EngineMath::kPi;
using EngineMath::kZeroSeedReplacement;
using EngineMath::SaturatingIncrement;
// The shifters delay every repeat by this much; the taps read this much less far back.
constexpr double kShifterDelaySeconds = 0.06;
constexpr double kBufferSeconds = 13.748000000000001;
constexpr double kRingPaddingSamples = 2.0;
constexpr int kScratchPaddingSamples = 4;
constexpr double kTimeBase = 23.999999999999996; // the double of 1.2 / 0.05
constexpr double kMinTime = 0.05;                // seconds
constexpr double kMinTapPeriodSeconds = 0.01;
// Without a beat to follow the tap period wanders by up to this fraction times the chaos.
constexpr double kPeriodWander = 0.02;
constexpr double kMaxFeedback = 0.9;
constexpr double kMinTapDelay = 4.0; // samples
constexpr double kUnityTolerance = 1e-9;
constexpr uint32_t kFlickerSeedMask = 0xECA01239u;
constexpr int kChaosSeedSteps = 18;
constexpr double kCrossfadeSeconds = 0.01;
// Longer crossfades (very high rates) compute their weights past the table.
constexpr int kMaxCrossfadeTable = 8192;
constexpr double kSmootherSeconds = 0.02;
// A smoother stepped over this many seconds lands on its target.
constexpr double kSnapSeconds = 1e6;
// Each repeat's low-pass: the top cutoff falls by this factor per repeat, to the floor.
constexpr double kLowpassTopHz = 9000.0;
constexpr double kLowpassFallPerRepeat = 0.78;
constexpr double kLowpassFloorHz = 1800.0;
// Power of a repeat on its own side and on the other.
constexpr double kPanNearPower = 0.6;
constexpr double kPanFarPower = 0.4;
// Time constant of the mute and dropout gains.
constexpr double kGainFadeSeconds = 0.005;
// Tap levels and pitch-voice mixes ramp over this long.
constexpr double kLevelFadeSeconds = 0.01;
// A flicker dips a tap to this gain, over this long.
constexpr double kFlickerGain = 0.5;
constexpr double kFlickerFadeSeconds = 0.005;
// Chances per roll, per unit of chaos: a flicker; the tap events; dropouts and
// bends, which only chaos above kDropoutMinChaos brings.
constexpr double kFlickerChance = 0.15;
constexpr double kFastRunChance = 0.1;
constexpr double kReverseRunChance = 0.05;
constexpr double kOctaveJumpChance = 0.07;
constexpr double kMuteGhostChance = 0.08;
constexpr double kDropoutChance = 0.05;
constexpr double kDropoutMinChaos = 0.4;
// Lengths of the events: a dropout and a bend last their least plus up to their span.
constexpr double kDropoutMinSeconds = 0.08;
constexpr double kDropoutSpanSeconds = 0.06999999999999999;
constexpr double kBendMinSeconds = 0.2;
constexpr double kBendSpanSeconds = 0.09999999999999998;
// A bend's depth for its length: up to 15 % speed deviation.
constexpr double kBendSpeedDeviation = 0.15;
constexpr double kFastRunPeriods = 0.5;
constexpr double kFastRunSpeed = 2.0;
constexpr double kReverseRunSpeed = -1.0;
constexpr double kMaxReverseSeconds = 0.32;
constexpr double kMinReverseSeconds = 0.03;
// A ghost repeat reads this many tap periods behind its tap.
constexpr double kGhostOffsetPeriods = 0.5;
// The ghost's feedback power is its tap's and this half.
constexpr double kGhostDecayOffset = 1.5;
// The click that opens a dropout.
constexpr double kClickSeconds = 0.0015;
constexpr double kClickAmplitude = 0.18;
// Slight detunes (ratios up to this) compound per repeat.
constexpr double kCompoundDetuneLimit = 1.02;
constexpr double kMinTapRatio = 0.25;
constexpr double kMaxTapRatio = 2.5;
// The soft clip's drive at full feedback is 1 + this.
constexpr double kDriveDepth = 3.0;
// Pitch voices: the least ratio they serve, how far a tap must lie beyond their
// latency, and how many samples apart their restarts are staggered per tap.
constexpr double kMinPitchVoiceRatio = 2.0 / 3.0;
constexpr double kPitchVoiceMarginSamples = 256.0;
constexpr int32_t kPitchVoiceStaggerSamples = 64;
// A restarted voice is heard after this many of its analysis windows (at its speed).
constexpr double kWarmupWindows = 2.0;
constexpr double kOctaveUpRatio = 2.0;
// Countdowns stay this far from the int limits.
constexpr double kMaxCountSamples = 1.0e9;

struct ShapeRow
{
    double lo;
    double hi;
    double out;
};

constexpr ShapeRow kShapeRows[] = {
    {0.0, 0.15, 0.5}, {0.2, 0.35, 1.0}, {0.4, 0.55, 1.005}, {0.6, 0.75, 1.5}, {0.8, 1.0, 2.0},
};

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
    return static_cast<int32_t>(std::min(samples, kMaxCountSamples));
}

int32_t CountOrZero(double samples)
{
    if (!(samples >= 0.0))
        return 0;
    return static_cast<int32_t>(std::min(samples, kMaxCountSamples));
}

// The mono input of a stereo sample; a sample that is not finite is written
// as silence, so that it cannot come back with every repeat.
float MonoInput(float left, float right)
{
    const float mono = (left + right) * 0.5f;
    return std::isfinite(mono) ? mono : 0.0f;
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
    const double x = Clamp01OrZero(shape);
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
    FillPanMatrix();
    for (int k = 0; k < kTaps; ++k) {
        state.flickerGain[k] = 1.0;
        state.flickerTarget[k] = 1.0;
        state.muteGain[k] = 1.0;
        state.tapCrossfade[k] = -1.0;
        state.tapLevels[k] = k < state.repeats ? 1.0 : 0.0;
    }
    timeSmoother.target = timeSmoother.current = state.time;
    pitchSmoother.target = pitchSmoother.current = ShapeRatio(state.pitchControl);
    feedbackSmoother.target = feedbackSmoother.current = state.feedback;
}

void EchoMode::Prepare(double rate, int /*maxBlockSize*/)
{
    state.sampleRate = EngineMath::UsableSampleRate(rate);
    ready = AllocateForRate();
    // Without its memory the echo stays silent: nothing may point at a ring
    // that is gone.
    if (!ready)
        ReleaseMemory();
    PrepareTables();
    // The history was just allocated silent (or is gone).
    ResetState();
}

bool EchoMode::AllocateForRate()
{
    const double sr = state.sampleRate;
    const double wanted = std::ceil(kBufferSeconds * sr) + kRingPaddingSamples;
    if (wanted > static_cast<double>(std::numeric_limits<int32_t>::max() / 2)
        || !history.Allocate(static_cast<size_t>(wanted)))
        return false;
    const int32_t length = static_cast<int32_t>(history.Length());
    try {
        for (GrainShifter& shifter : shifters)
            shifter.Prepare(sr);
        const int scratchLength = EngineMath::RoundToInt(kShifterDelaySeconds * sr) + kScratchPaddingSamples;
        scratch.assign(static_cast<size_t>(scratchLength), 0.0f);
        transientMap.Prepare(sr, history.Frames(), length);
        for (PitchVoice& voice : pitchVoices)
            voice.Prepare(sr, history.Frames(), length, &transientMap);
        BuildCrossfadeTable();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void EchoMode::ReleaseMemory()
{
    history.Release();
    std::vector<float>().swap(scratch);
    std::vector<double>().swap(crossfadeOldWeights);
    std::vector<double>().swap(crossfadeNewWeights);
    transientMap.Prepare(state.sampleRate, nullptr, 0);
    for (PitchVoice& voice : pitchVoices) {
        try {
            voice.Prepare(state.sampleRate, nullptr, 0, &transientMap);
        } catch (const std::bad_alloc&) {
        }
    }
}

void EchoMode::PrepareTables()
{
    for (int k = 0; k < kTaps; ++k) {
        const double cutoff = std::max(kLowpassFloorHz, kLowpassTopHz * std::pow(kLowpassFallPerRepeat, k + 1));
        tapLowpassCoef[k] = std::exp(-2.0 * kPi * cutoff / state.sampleRate);
    }
    timeSmoother.Configure(kSmootherSeconds, state.sampleRate);
    pitchSmoother.Configure(kSmootherSeconds, state.sampleRate);
    feedbackSmoother.Configure(kSmootherSeconds, state.sampleRate);
    FillPanMatrix();
}

void EchoMode::FillPanMatrix()
{
    panMatrix[0] = std::sqrt(kPanNearPower);
    panMatrix[1] = std::sqrt(kPanFarPower);
    panMatrix[2] = std::sqrt(kPanFarPower);
    panMatrix[3] = std::sqrt(kPanNearPower);
}

void EchoMode::Reset()
{
    history.Clear();
    ResetState();
}

void EchoMode::ResetState()
{
    transientMap.Clear();
    history.Rewind();
    state.clock = 0.0;
    state.idleSampleCounter = 0;
    for (GrainShifter& shifter : shifters)
        shifter.Reset();
    state.minOldTapDelay = 1e30;
    ResetChaos();
    state.tickCountdown = 0;
    state.tapLevelsValid = 0;
    state.delaysValid = 0;
    state.tickCount = 0;
    state.syncCountdown = -1;
    state.pitchVoiceSamples = 0;
    for (int k = 0; k < kTaps; ++k)
        ResetTap(k);
    muteCoef = dropoutCoef = 1.0 - std::exp(-1.0 / (state.sampleRate * kGainFadeSeconds));
    decayValid = 0;
    SnapSmoothers();
}

void EchoMode::ResetChaos()
{
    state.chaosRng = 1;
    state.chaosGeneration = 0;
    state.chaosSeeded = 0;
    state.reverseRunCount = state.fastRunCount = state.octaveJumpCount = state.muteCount = 0;
    state.ghostCount = state.dropoutCount = state.bendCount = state.delayFloorCount = 0;
    state.eventCountdown = 0;
    state.dropoutCountdown = 0;
    state.clickPosition = -1;
    state.dropoutGain = 1.0;
    state.bendRemaining = 0;
    state.bendLength = 0;
    state.bendDepth = 0.0;
}

void EchoMode::ResetTap(int k)
{
    state.flickerCountdown[k] = 0;
    state.flickerGain[k] = 1.0;
    state.flickerTarget[k] = 1.0;
    state.tapLowpassState[k] = 0.0;
    state.tapChaosCountdown[k] = 0;
    state.reverseRun[k] = 0;
    state.reverseRunLength[k] = 0.0;
    state.reverseRunPos[k] = 0.0;
    state.fastRun[k] = 0;
    state.fastRunLength[k] = 0.0;
    state.fastRunPos[k] = 0.0;
    state.tapDelay[k] = 0.0;
    state.oldTapDelay[k] = 0.0;
    state.tapCrossfade[k] = -1.0;
    pitchVoices[k].Reset();
    state.pitchVoiceMix[k] = 0.0;
    state.tapLevels[k] = k < state.repeats ? 1.0 : 0.0;
    state.pitchVoiceRunning[k] = 0;
    state.pitchVoiceWarmup[k] = 0;
    state.pitchVoiceHoldoff[k] = 0;
    state.pitchVoiceEnabled[k] = 0;
    state.tapSpacing[k] = 0.0;
    state.octaveUpCountdown[k] = 0;
    state.muteCountdown[k] = 0;
    state.muteGain[k] = 1.0;
    state.ghostCountdown[k] = 0;
    state.ghostLowpassState[k] = 0.0;
}

void EchoMode::SetControls(double a, double b)
{
    state.time = kMinTime * std::pow(kTimeBase, Clamp01OrZero(a));
    timeSmoother.target = state.time;
    state.pitchControl = Clamp01OrZero(b);
    pitchSmoother.target = ShapeRatio(state.pitchControl);
}

void EchoMode::SetTime(double value)
{
    state.time = (std::isfinite(value) && value > 0.0) ? value : kMinTime;
    timeSmoother.target = state.time;
}

void EchoMode::SetTempoSync(const TempoSyncInfo& info)
{
    state.sync = info;
}

void EchoMode::SetFeedback(double value)
{
    state.feedback = std::min(Clamp01OrZero(value), kMaxFeedback);
    feedbackSmoother.target = state.feedback;
}

void EchoMode::SetRepeats(int count)
{
    state.repeats = std::min(std::max(count, 1), kTaps);
}

void EchoMode::RestoreConstructedControls()
{
    state.time = kDefaultTime;
    state.pitchControl = kDefaultPitchControl;
    state.feedback = kDefaultFeedback;
    state.repeats = kDefaultRepeats;
    state.sync = TempoSyncInfo{};
    timeSmoother.target = state.time;
    pitchSmoother.target = ShapeRatio(state.pitchControl);
    feedbackSmoother.target = state.feedback;
}

void EchoMode::SnapSmoothers()
{
    timeSmoother.target = state.time;
    pitchSmoother.target = ShapeRatio(state.pitchControl);
    feedbackSmoother.target = state.feedback;
    timeSmoother.Step(kSnapSeconds);
    pitchSmoother.Step(kSnapSeconds);
    feedbackSmoother.Step(kSnapSeconds);
}

void EchoMode::FeedIdle(const float* left, const float* right, int n)
{
    if (ready && left != nullptr && right != nullptr) {
        const int length = static_cast<int>(history.Length());
        // Spans end at the ring's end and where the counter completes a block of
        // the onset map, which is scanned there.
        for (int i = 0; i < n;) {
            const int toBlock =
                TransientMap::kBlockSize - static_cast<int>(state.idleSampleCounter % TransientMap::kBlockSize);
            const int toRingEnd = length - static_cast<int>(history.WriteIndex());
            const int span = std::min({n - i, toRingEnd, toBlock});
            float* frames = history.FrameAt(history.WriteIndex());
            for (int s = 0; s < span; ++s)
                frames[s] = MonoInput(left[i + s], right[i + s]);
            history.Skip(static_cast<size_t>(span));
            state.clock = EngineMath::ClockAfterSteps(state.clock, span);
            // Wrapping at 2^32 keeps the 32-sample cadence, so this counter may wrap.
            state.idleSampleCounter += static_cast<uint32_t>(span);
            if (state.idleSampleCounter % TransientMap::kBlockSize == 0)
                transientMap.Update(state.clock);
            i += span;
        }
    }
    state.reinitPending = 1;
}

void EchoMode::BuildCrossfadeTable()
{
    crossfadeTableSamples = kCrossfadeSeconds * state.sampleRate;
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
    // The echo's clock counts whole samples, so its ring's slots follow the clock.
    return ReadLinearWholeClockFrame(history.ViewAt(state.clock), position).value;
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
    history.Write({MonoInput(left, right)});
    state.clock += 1.0;
    const double newest = state.clock - 1.0;

    RollGlobalEvents(plan);
    const double wow = StepWow();
    state.dropoutGain += ((state.dropoutCountdown > 0 ? 0.0 : 1.0) - state.dropoutGain) * dropoutCoef;
    if (state.dropoutCountdown > 0)
        --state.dropoutCountdown;
    const bool tick = StepTick(plan.periodCount);

    double outL = 0.0;
    double outR = 0.0;
    for (int k = 0; k < kTaps; ++k) {
        const bool wanted = k < state.repeats;
        if (wanted)
            state.tapLevels[k] = std::min(state.tapLevels[k] + plan.levelStep, 1.0);
        else
            state.tapLevels[k] = std::max(state.tapLevels[k] - plan.levelStep, 0.0);
        if (!wanted && state.tapLevels[k] <= 0.0)
            continue;
        const double out = TapOutput(k, newest, wow, tick, plan) * state.tapLevels[k];
        if (k % 2 == 0) {
            outL += out * panMatrix[0];
            outR += out * panMatrix[1];
        } else {
            outL += out * panMatrix[2];
            outR += out * panMatrix[3];
        }
    }

    if (tick) {
        SaturatingIncrement(state.tickCount);
        state.delaysValid = 1;
    }
    const double click = StepClick(plan.clickLength);
    left = static_cast<float>(outL * state.dropoutGain + click);
    right = static_cast<float>(outR * state.dropoutGain + click);
}

bool EchoMode::PlanStillHolds(const DriftContext& drift) const
{
    const double interval = 1.0 / state.sampleRate;
    return !state.reinitPending && state.tapLevelsValid && !state.sync.boundaryFound
           && StepChangesNothing(timeSmoother, interval) && StepChangesNothing(pitchSmoother, interval)
           && StepChangesNothing(feedbackSmoother, interval) && decayValid && feedbackSmoother.current == decayFeedback
           && !ChaosNeedsSeed(Clamp01OrZero(drift.Amount()), drift);
}

void EchoMode::RefreshSamplePlan(SamplePlan& plan)
{
    plan.reinit = false;
    plan.firstBlock = false;
    // With the rest of the plan unchanged, only an octave jump starting or
    // ending changes a voice's ratio and so its latency and whether it plays.
    for (int k = 0; k < kTaps; ++k) {
        if ((state.octaveUpCountdown[k] > 0) != plannedOctaveUp[k]) {
            PlanPitchVoices(plan);
            break;
        }
    }
    state.blockStartClock = state.clock;
}

EchoMode::SamplePlan EchoMode::PlanSample(const DriftContext& drift)
{
    SamplePlan plan;
    plan.reinit = state.reinitPending != 0;
    plan.firstBlock = state.tapLevelsValid == 0;
    const double sr = state.sampleRate;

    // An instance that was only fed starts its taps afresh from the history.
    if (plan.reinit)
        RestartTaps();

    // Always one sample's step: a step over a longer interval rounds differently.
    const double interval = 1.0 / sr;
    timeSmoother.Step(interval);
    pitchSmoother.Step(interval);
    feedbackSmoother.Step(interval);
    plan.chaos = Clamp01OrZero(drift.Amount());
    const double period = TapPeriod(plan.chaos, drift);
    plan.periodSamples = sr * period;

    SeedChaos(plan.chaos, drift);
    plan.pFast = kFastRunChance * plan.chaos;
    plan.pReverse = kReverseRunChance * plan.chaos;
    plan.pOctave = kOctaveJumpChance * plan.chaos;
    plan.pMuteGhost = kMuteGhostChance * plan.chaos;
    plan.pDropout = plan.chaos > kDropoutMinChaos ? kDropoutChance * plan.chaos : 0.0;

    PlanTaps(plan, period);
    PlanPitchVoices(plan);
    if (plan.reinit)
        PrefillShifters(plan);

    state.blockStartClock = state.clock;
    if (!state.tapLevelsValid) {
        for (int k = 0; k < kTaps; ++k)
            state.tapLevels[k] = k < state.repeats ? 1.0 : 0.0;
        state.tapLevelsValid = 1;
    }
    ScheduleSyncTick();

    plan.periodCount = CountFor(plan.periodSamples);
    plan.levelStep = 1.0 / (kLevelFadeSeconds * sr);
    plan.mixStep = plan.levelStep;
    plan.crossfadeSamples = kCrossfadeSeconds * sr;
    plan.flickerStep = (1.0 - kFlickerGain) / std::max(kFlickerFadeSeconds * sr, 1.0);
    plan.clickLength = static_cast<int32_t>(kClickSeconds * sr);
    plan.shifterDelay = kShifterDelaySeconds * sr;
    plan.maxTapDelay = static_cast<double>(history.Length()) - kMinTapDelay;
    return plan;
}

void EchoMode::RestartTaps()
{
    SnapSmoothers();
    state.tickCountdown = 0;
    state.delaysValid = 0;
    for (int k = 0; k < kTaps; ++k) {
        state.pitchVoiceRunning[k] = 0;
        state.pitchVoiceMix[k] = 0.0;
        state.pitchVoiceHoldoff[k] = kPitchVoiceStaggerSamples * k;
        state.ghostLowpassState[k] = 0.0;
        state.tapLowpassState[k] = 0.0;
        shifters[k].Reset();
    }
    state.reinitPending = 0;
}

double EchoMode::TapPeriod(double chaos, const DriftContext& drift) const
{
    double period;
    if (state.sync.boundaryFound) {
        period = std::max(kMinTapPeriodSeconds, timeSmoother.current);
    } else {
        const double wander = std::min(std::max(chaos * drift.WalkerValue(2), -chaos), chaos);
        period = std::max(kMinTapPeriodSeconds, timeSmoother.current * (1.0 + kPeriodWander * wander));
    }
    if (!std::isfinite(period))
        period = kDefaultTime;
    return period;
}

bool EchoMode::ChaosNeedsSeed(double chaos, const DriftContext& drift) const
{
    return chaos > 0.0 && (!state.chaosSeeded || drift.Generation() != state.chaosGeneration);
}

void EchoMode::SeedChaos(double chaos, const DriftContext& drift)
{
    if (ChaosNeedsSeed(chaos, drift)) {
        uint32_t seeded = drift.Seed() != 0 ? drift.Seed() : kZeroSeedReplacement;
        for (int step = 0; step < kChaosSeedSteps; ++step)
            seeded = DriftContext::XorShift32(seeded);
        state.chaosRng = seeded;
        state.flickerRng = (drift.Seed() ^ kFlickerSeedMask) | 1u;
        state.chaosSeeded = 1;
        state.chaosGeneration = drift.Generation();
    }
}

void EchoMode::PlanTaps(SamplePlan& plan, double period)
{
    const double sr = state.sampleRate;
    const double shape = pitchSmoother.current;
    for (int k = 0; k < kTaps; ++k) {
        double ratio = (shape > 1.0 && shape <= kCompoundDetuneLimit) ? std::pow(shape, k + 1) : shape;
        ratio = std::min(std::max(ratio, kMinTapRatio), kMaxTapRatio);
        if (!(ratio == ratio))
            ratio = 1.0;
        plan.tapRatio[k] = ratio;
        plan.extra[k] = ratio > 1.0 ? (ratio - 1.0) * sr * period : 0.0;
    }
    const double decay = feedbackSmoother.current;
    plan.drive = 1.0 + kDriveDepth * decay * decay * decay;
    if (decay != decayFeedback || !decayValid) {
        for (int k = 0; k < kTaps; ++k) {
            tapDecay[k] = std::pow(decay, k + 1);
            ghostDecay[k] = std::pow(decay, k + kGhostDecayOffset);
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
    const bool gridKnown = state.sync.synced || state.sync.boundaryFound;
    for (int k = 0; k < kTaps; ++k) {
        plannedOctaveUp[k] = state.octaveUpCountdown[k] > 0;
        const double voiceRatio = plan.tapRatio[k] * (plannedOctaveUp[k] ? kOctaveUpRatio : 1.0);
        pitchVoices[k].SetRatio(voiceRatio);
        state.tapSpacing[k] = (k + 1) * plan.periodSamples;
        state.pitchVoiceEnabled[k] = plan.tapRatio[k] >= kMinPitchVoiceRatio
                                     && state.tapSpacing[k] >= pitchVoices[k].Latency() + kPitchVoiceMarginSamples
                                     && gridKnown && std::fabs(plan.tapRatio[k] - 1.0) >= kUnityTolerance;
    }
}

void EchoMode::PrefillShifters(const SamplePlan& plan)
{
    // Each shifter gets the 60 ms preceding its tap's read position.
    const int m = static_cast<int>(scratch.size());
    for (int k = 0; k < kTaps; ++k) {
        const double delay =
            std::max((k + 1) * plan.periodSamples - kShifterDelaySeconds * state.sampleRate, kMinTapDelay)
            + plan.extra[k];
        for (int j = 0; j < m; ++j)
            scratch[static_cast<size_t>(j)] =
                static_cast<float>(ReadEcho((state.clock - delay) - (m - j) * plan.tapRatio[k]));
        shifters[k].Prefill(scratch.data(), m);
    }
}

void EchoMode::ScheduleSyncTick()
{
    // Ticks land 60 ms before the beat so that the shifters' delay puts the
    // repeats on it.
    if (state.sync.boundaryFound && state.sync.divisionSamples > 0) {
        int64_t offset = state.sync.boundaryOffset;
        bool update = true;
        if (offset < 0 && state.syncCountdown >= 0) {
            update = false;
        } else if (offset < 0) {
            offset = EngineMath::RoundToInt((1.0 - state.sync.phase) * state.sync.divisionSamples);
            if (offset < 0)
                update = false;
        }
        if (update) {
            offset -= EngineMath::RoundToInt64(kShifterDelaySeconds * state.sampleRate);
            if (offset < 0)
                offset += (-offset + state.sync.divisionSamples - 1) / state.sync.divisionSamples
                          * state.sync.divisionSamples;
            state.syncCountdown = static_cast<int32_t>(std::min<int64_t>(offset, std::numeric_limits<int32_t>::max()));
        }
    } else {
        state.syncCountdown = -1;
    }
}

void EchoMode::RenderPitchVoices(const SamplePlan& plan)
{
    transientMap.Update(state.blockStartClock);
    for (int k = 0; k < kTaps; ++k) {
        const bool mayRun = (k < state.repeats || state.tapLevels[k] > 0.0)
                            && (state.pitchVoiceEnabled[k] || state.pitchVoiceMix[k] > 0.0);
        if (state.pitchVoiceHoldoff[k] >= 1) {
            --state.pitchVoiceHoldoff[k];
            state.pitchVoiceRunning[k] = 0;
            state.pitchVoiceMix[k] = 0.0;
        } else if (mayRun) {
            PitchVoice& voice = pitchVoices[k];
            voice.SetBlockClock(state.blockStartClock);
            voice.SetReadDelay(std::max(voice.Latency() + kPitchVoiceMarginSamples, state.tapSpacing[k]));
            if (!state.pitchVoiceRunning[k]) {
                if (plan.firstBlock && !plan.reinit) {
                    state.pitchVoiceWarmup[k] = 0;
                } else {
                    voice.Restart();
                    state.pitchVoiceWarmup[k] = CountOrZero(
                        std::ceil(kWarmupWindows * voice.Window() / std::max(plan.tapRatio[k], kMinPitchVoiceRatio)));
                }
                state.pitchVoiceRunning[k] = 1;
            }
            voice.Render(&pitchVoiceOut[k], 1);
            ++state.pitchVoiceSamples;
        } else {
            state.pitchVoiceRunning[k] = 0;
            state.pitchVoiceMix[k] = 0.0;
        }
    }
}

void EchoMode::RollGlobalEvents(const SamplePlan& plan)
{
    if (!state.chaosSeeded || --state.eventCountdown >= 1)
        return;
    state.eventCountdown = plan.periodCount;
    const uint32_t x1 = XorShift(state.chaosRng);
    const uint32_t x2 = XorShift(state.chaosRng);
    const uint32_t x3 = XorShift(state.chaosRng);
    const uint32_t x4 = XorShift(state.chaosRng);
    if (state.dropoutCountdown <= 0 && plan.pDropout > Unit(x1)) {
        state.dropoutCountdown = CountOrZero((Unit(x2) * kDropoutSpanSeconds + kDropoutMinSeconds) * state.sampleRate);
        state.clickPosition = 0;
        SaturatingIncrement(state.dropoutCount);
    }
    if (state.bendRemaining <= 0 && plan.pDropout > Unit(x3)) {
        state.bendLength = state.bendRemaining =
            CountOrZero((Unit(x4) * kBendSpanSeconds + kBendMinSeconds) * state.sampleRate);
        state.bendDepth = state.bendLength * kBendSpeedDeviation / kPi;
        SaturatingIncrement(state.bendCount);
    }
}

double EchoMode::StepWow()
{
    // During a bend every tap reads further back.
    double wow = 0.0;
    if (state.bendRemaining > 0) {
        wow =
            state.bendDepth * 0.5
            * (1.0 - EngineMath::Cos(2.0 * kPi * (1.0 - static_cast<double>(state.bendRemaining) / state.bendLength)));
        --state.bendRemaining;
    }
    return wow;
}

bool EchoMode::StepTick(int32_t periodCount)
{
    bool tick = false;
    if (--state.tickCountdown < 1) {
        state.tickCountdown = periodCount;
        tick = true;
    }
    if (state.syncCountdown == 0) {
        state.tickCountdown = periodCount;
        tick = true;
        state.syncCountdown = state.sync.divisionSamples;
    }
    if (state.syncCountdown > 0)
        --state.syncCountdown;
    return tick;
}

inline void EchoMode::RollTapEvents(int k, const SamplePlan& plan)
{
    if (state.chaosSeeded && --state.tapChaosCountdown[k] < 1)
        RollTapEventsNow(k, plan);
}

void EchoMode::RollTapEventsNow(int k, const SamplePlan& plan)
{
    const double periodSamples = plan.periodSamples;
    state.tapChaosCountdown[k] = plan.periodCount;
    const uint32_t x1 = XorShift(state.chaosRng);
    const uint32_t x2 = XorShift(state.chaosRng);
    const uint32_t x3 = XorShift(state.chaosRng);
    const uint32_t x4 = XorShift(state.chaosRng);
    const uint32_t x5 = XorShift(state.chaosRng);
    if (!state.reverseRun[k] && !state.fastRun[k] && plan.pFast > Unit(x1)) {
        state.fastRun[k] = 1;
        state.fastRunLength[k] = kFastRunPeriods * periodSamples;
        state.fastRunPos[k] = 0.0;
        SaturatingIncrement(state.fastRunCount);
    }
    if (state.octaveUpCountdown[k] <= 0 && plan.pOctave > Unit(x2)) {
        state.octaveUpCountdown[k] = CountOrZero(periodSamples);
        SaturatingIncrement(state.octaveJumpCount);
    }
    if (state.muteCountdown[k] <= 0 && plan.pMuteGhost > Unit(x3)) {
        state.muteCountdown[k] = CountOrZero(periodSamples);
        SaturatingIncrement(state.muteCount);
    }
    if (state.ghostCountdown[k] <= 0 && plan.pMuteGhost > Unit(x4)) {
        state.ghostCountdown[k] = CountOrZero(periodSamples);
        SaturatingIncrement(state.ghostCount);
    }
    const double reverseLength = std::min(kMaxReverseSeconds * state.sampleRate, (k + 1) * periodSamples);
    if (!state.reverseRun[k] && !state.fastRun[k] && reverseLength > kMinReverseSeconds * state.sampleRate
        && plan.pReverse > Unit(x5)) {
        state.reverseRun[k] = 1;
        state.reverseRunLength[k] = reverseLength;
        state.reverseRunPos[k] = 0.0;
        SaturatingIncrement(state.reverseRunCount);
    }
}

double EchoMode::StepRunSpeed(int k)
{
    double speed = 1.0;
    if (state.reverseRun[k]) {
        speed = kReverseRunSpeed;
        state.reverseRunPos[k] += 1.0;
        if (state.reverseRunPos[k] >= state.reverseRunLength[k])
            state.reverseRun[k] = 0;
    } else if (state.fastRun[k]) {
        speed = kFastRunSpeed;
        state.fastRunPos[k] += 1.0;
        if (state.fastRunPos[k] >= state.fastRunLength[k])
            state.fastRun[k] = 0;
    }
    return speed;
}

inline double EchoMode::ReadTap(int k, double newest, double wow, double speed, bool tick, const SamplePlan& plan)
{
    const double ratio = plan.tapRatio[k];
    const double base = std::max((k + 1) * plan.periodSamples - plan.shifterDelay, kMinTapDelay);
    if (tick) {
        const double target = base + plan.extra[k];
        if (state.delaysValid && target != state.tapDelay[k]) {
            state.oldTapDelay[k] = state.tapDelay[k];
            state.tapCrossfade[k] = 0.0;
        }
        state.tapDelay[k] = target;
    }
    const bool follows = speed == 1.0 && std::fabs(ratio - 1.0) < kUnityTolerance;
    if (follows && state.tapDelay[k] != base) {
        if (state.delaysValid && state.tapCrossfade[k] < 0.0) {
            state.oldTapDelay[k] = state.tapDelay[k];
            state.tapCrossfade[k] = 0.0;
        }
        state.tapDelay[k] = base;
    }

    double y = ReadEcho(newest - state.tapDelay[k] - wow);
    if (state.tapCrossfade[k] >= 0.0) {
        const double progress = state.tapCrossfade[k] / plan.crossfadeSamples;
        if (progress >= 1.0) {
            state.tapCrossfade[k] = -1.0;
        } else {
            state.minOldTapDelay = std::min(state.minOldTapDelay, state.oldTapDelay[k]);
            const double old = ReadEcho(newest - state.oldTapDelay[k] - wow);
            double oldWeight;
            double newWeight;
            CrossfadeWeights(state.tapCrossfade[k], plan.crossfadeSamples, oldWeight, newWeight);
            y = oldWeight * old + newWeight * y;
            state.oldTapDelay[k] = std::max(state.oldTapDelay[k] - (speed * ratio - 1.0), kMinTapDelay);
            state.tapCrossfade[k] += 1.0;
        }
    }

    if (!follows) {
        state.tapDelay[k] -= speed * ratio - 1.0;
        if (state.tapDelay[k] < kMinTapDelay) {
            state.tapDelay[k] = kMinTapDelay;
            SaturatingIncrement(state.delayFloorCount);
        }
        if (state.tapDelay[k] > plan.maxTapDelay)
            state.tapDelay[k] = plan.maxTapDelay;
    }
    return y;
}

inline double EchoMode::BlendPitchVoice(int k, double y, bool runActive, const SamplePlan& plan)
{
    if (state.pitchVoiceWarmup[k] > 0)
        --state.pitchVoiceWarmup[k];
    // A voice that is not running holds no fresh output to blend in.
    if (state.pitchVoiceEnabled[k] && state.pitchVoiceRunning[k] && !runActive && state.pitchVoiceWarmup[k] == 0)
        state.pitchVoiceMix[k] = std::min(state.pitchVoiceMix[k] + plan.mixStep, 1.0);
    else
        state.pitchVoiceMix[k] = std::max(state.pitchVoiceMix[k] - plan.mixStep, 0.0);
    if (state.pitchVoiceMix[k] > 0.0) {
        const double voiced = pitchVoiceOut[k];
        if (state.pitchVoiceMix[k] >= 1.0)
            y = voiced;
        else
            y = y * EngineMath::Cos(state.pitchVoiceMix[k] * kPi * 0.5)
                + voiced * EngineMath::Sin(state.pitchVoiceMix[k] * kPi * 0.5);
    }
    return y;
}

double EchoMode::TapOutput(int k, double newest, double wow, bool tick, const SamplePlan& plan)
{
    RollTapEvents(k, plan);
    state.muteGain[k] += ((state.muteCountdown[k] > 0 ? 0.0 : 1.0) - state.muteGain[k]) * muteCoef;
    if (state.muteCountdown[k] > 0)
        --state.muteCountdown[k];

    const double speed = StepRunSpeed(k);
    double y = ReadTap(k, newest, wow, speed, tick, plan);

    GrainShifter& shifter = shifters[k];
    // Setting the ratio the shifter has changes nothing once a shifted ratio's
    // crossfade is cancelled.
    const double shifterRatio = state.octaveUpCountdown[k] > 0 ? kOctaveUpRatio : 1.0;
    const GrainShifter::State& shifted = shifter.CurrentState();
    if (shifterRatio != shifted.ratio || (shifterRatio != 1.0 && shifted.crossfadeRemaining != 0))
        shifter.SetRatio(shifterRatio);
    if (state.octaveUpCountdown[k] > 0)
        --state.octaveUpCountdown[k];
    y = shifter.Process(static_cast<float>(y));
    y = BlendPitchVoice(k, y, speed != 1.0, plan);

    if (--state.flickerCountdown[k] < 1) {
        state.flickerCountdown[k] = plan.periodCount;
        state.flickerTarget[k] =
            (state.chaosSeeded && kFlickerChance * plan.chaos > Unit(XorShift(state.flickerRng))) ? kFlickerGain : 1.0;
    }
    const double toTarget = state.flickerTarget[k] - state.flickerGain[k];
    state.flickerGain[k] += std::min(std::max(toTarget, -plan.flickerStep), plan.flickerStep);

    const double drive = plan.drive;
    const double pole = 1.0 - tapLowpassCoef[k];
    const double clipped = std::tanh(state.flickerGain[k] * tapDecay[k] * state.muteGain[k] * y * drive) / drive;
    state.tapLowpassState[k] += (clipped - state.tapLowpassState[k]) * pole;
    double out = state.tapLowpassState[k];

    if (state.ghostCountdown[k] > 0) {
        --state.ghostCountdown[k];
        const double ghost = ReadEcho(newest - (kGhostOffsetPeriods * plan.periodSamples + state.tapDelay[k]) - wow);
        const double ghostClipped = std::tanh(ghost * state.muteGain[k] * ghostDecay[k] * drive) / drive;
        state.ghostLowpassState[k] += (ghostClipped - state.ghostLowpassState[k]) * pole;
        out += state.ghostLowpassState[k];
    }
    return out;
}

double EchoMode::StepClick(int32_t clickLength)
{
    // The dropout starts with a short click.
    double click = 0.0;
    if (state.clickPosition >= 0) {
        if (state.clickPosition < clickLength) {
            const double phi = 2.0 * kPi * state.clickPosition / clickLength;
            click = (1.0 - EngineMath::Cos(phi)) * 0.5 * EngineMath::Sin(phi) * kClickAmplitude;
            ++state.clickPosition;
        }
        if (state.clickPosition >= clickLength)
            state.clickPosition = -1;
    }
    return click;
}
