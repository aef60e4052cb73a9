#include "engine/modes/LoopsMode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/SincTable.h"

namespace {

using EngineMath::Clamp01OrZero;
using EngineMath::kPi;
using EngineMath::kTwoPi;
using EngineMath::SaturatingIncrement;

// Timing, in seconds.
constexpr double kSmootherSeconds = 0.02;       // controls and voices, without LFO motion
constexpr double kRampSeconds = 0.02;           // voice levels and the mono fold
constexpr double kFadeSeconds = 0.005;          // segment fades and declicks
constexpr double kShifterPrefillSeconds = 0.06; // a grain shifter's delay behind its newest sample
constexpr double kMinLoopSeconds = 0.01;
constexpr double kLoopTimeRange = 1600.0;            // longest over shortest free loop time
constexpr double kMotionSmootherSeconds = 0.01;      // voice smoothers under LFO motion, at chaos 0 ...
constexpr double kMotionSmootherChaosSeconds = 0.09; // ... and what chaos squared adds
constexpr double kMinSmootherSeconds = 1e-9;
constexpr double kHistoryMarginSeconds = 4.0; // kept clear between a segment's reach and the ring's end
constexpr double kStartJitterSeconds = 0.02;  // longest random delay of a free segment start

// Margins between a segment's window and the ends of the ring, in samples.
constexpr double kSpanMarginSamples = 8.0;
constexpr double kPlacementMarginSamples = 4.0;

// Voice LFOs, in hertz before the motion rate scales them.
constexpr double kLfoMinHz = 0.025;
constexpr double kLfoSpanHz = 0.075;

// Depths of chaos and amount on a segment, as fractions.
constexpr double kLoopTimeLfoDepth = 0.1;   // of the loop time
constexpr double kReachLfoDepth = 0.25;     // of the room behind a segment
constexpr double kGainLfoDepth = 0.05;      // of the voice gain
constexpr double kPanLfoDepth = 0.5;        // of the pan range
constexpr double kAmountGainDepth = 0.75;   // gain a voice may lose to the amount
constexpr double kReverseHysteresis = 0.04; // keeps a wandering voice from flipping at every start
constexpr double kChaosEventChance = 0.35;  // chance of each chaos event at chaos 1
constexpr double kReverseFromAmount = 0.4;  // amount at which reversed voices begin

// A voice's speed before a start, as the glide of an LFO-moved start sees it.
constexpr double kMinGlideSpeed = 0.25;
constexpr double kMaxGlideSpeed = 4.0;
// Speed limits from which a voice reads through the factor-4 and factor-2 sinc tables.
constexpr double kSincFourSpeed = 3.999;
constexpr double kSincTwoSpeed = 1.999;
// How close a shape control's glide comes to its target before it lands there.
constexpr double kShapeSnapTolerance = 1e-9;
// The output norm of six voices at full level: 1 / sqrt(6).
constexpr double kSixVoiceNorm = 0.408248290463863;
// Pan table steps across -1..1.
constexpr double kPanSteps = 1024.0;

double Clamp(double x, double lo, double hi)
{
    // NaN falls to the lower bound so a bad value can never travel further.
    if (!(x >= lo))
        return lo;
    return x > hi ? hi : x;
}

int32_t Round32(double x)
{
    return EngineMath::RoundToInt(x);
}
int64_t Round64(double x)
{
    return EngineMath::RoundToInt64(x);
}

uint64_t TruncateU64(double x)
{
    if (!(x > 0.0))
        return 0;
    if (x >= 1.8e19)
        return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(x);
}

uint32_t XorShift(uint32_t& state)
{
    state = DriftContext::XorShift32(state);
    return state;
}

double Unit(uint32_t x)
{
    return DriftContext::ToUnit(x);
}

// Moves value toward target by at most step.
double RampToward(double value, double target, double step)
{
    if (value < target)
        return std::min(value + step, target);
    if (value > target)
        return std::max(value - step, target);
    return target;
}

uint32_t StartJitterHash(uint32_t counter)
{
    uint32_t h = 0x7F4A7C15u + counter * 0x9E3779B9u;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// Length in samples of a span of seconds, or -1 when it cannot be indexed.
int64_t SamplesFor(double seconds, double rate)
{
    const double n = std::ceil(seconds * rate);
    if (!(n >= 0.0) || n > static_cast<double>(std::numeric_limits<int32_t>::max() - 16))
        return -1;
    return static_cast<int64_t>(n);
}

// The sinc factor a voice reads with at a speed limit: 0 for linear reads.
int InterpolationFor(double speedLimit)
{
    if (speedLimit >= kSincFourSpeed)
        return 4;
    if (speedLimit >= kSincTwoSpeed)
        return 2;
    return 0;
}

} // namespace

constexpr int LoopsMode::kVoiceOrder[LoopsMode::kVoiceCount];

LoopsMode::LoopsMode() = default;
LoopsMode::~LoopsMode() = default;
LoopsMode::LoopsMode(const LoopsMode& other) = default;
LoopsMode::LoopsMode(LoopsMode&& other) noexcept = default;
LoopsMode& LoopsMode::operator=(const LoopsMode& other) = default;
LoopsMode& LoopsMode::operator=(LoopsMode&& other) noexcept = default;

// ---------------------------------------------------------------------------
// Preparation and reset

double LoopsMode::SupportedRate(double rate)
{
    return EngineMath::UsableSampleRate(rate);
}

void LoopsMode::Prepare(double rate, int /*maxBlockSize*/)
{
    // Rates outside the supported range are pulled into it: loop times then run
    // off by that factor, but the state stays one that a saved loop can carry.
    sampleRate = SupportedRate(rate);
    state.fadeLength = Round32(kFadeSeconds * sampleRate);

    for (ParamSmoother* s : {&state.amountSmoother, &state.octavesSmoother, &state.reverseSmoother,
                             &state.reachSmoother, &state.widthSmoother})
        s->Configure(kSmootherSeconds, sampleRate);
    for (LoopVoice& voice : state.voices) {
        voice.speedSmoother.Configure(kSmootherSeconds, sampleRate);
        voice.gainSmoother.Configure(kSmootherSeconds, sampleRate);
        voice.panSmoother.Configure(kSmootherSeconds, sampleRate);
    }

    // A history grown from nothing is silent already.
    const bool historyWasEmpty = state.history.Empty();
    try {
        AllocateForRate();
    } catch (const std::bad_alloc&) {
        // Without its memory the mode stays silent (Process checks IsReady).
        ReleaseArrays();
    }
    if (!historyWasEmpty)
        ClearHistory();
    ResetState();
}

void LoopsMode::AllocateForRate()
{
    const int64_t history = SamplesFor(kHistorySeconds, sampleRate);
    if (history < 0)
        throw std::bad_alloc();
    historyLength = static_cast<int32_t>(history + 2);
    if (!state.history.Grow(static_cast<size_t>(historyLength)))
        throw std::bad_alloc();
    BuildPanTables();
    GetSincTable(4);
    state.shifters[0].Prepare(sampleRate);
    state.shifters[1].Prepare(sampleRate);
    RebuildFadeTable();
}

void LoopsMode::BuildPanTables()
{
    panLeft.resize(kPanTableSize);
    panRight.resize(kPanTableSize);
    for (int i = 0; i < kPanTableSize; ++i) {
        if (i == (kPanTableSize - 1) / 2) {
            panLeft[static_cast<size_t>(i)] = 1.0;
            panRight[static_cast<size_t>(i)] = 1.0;
            continue;
        }
        const double x = 2.0 * i / kPanSteps - 1.0;
        const double phi = (x + 1.0) * kPi / 4.0;
        panLeft[static_cast<size_t>(i)] = std::sqrt(2.0) * std::cos(phi);
        panRight[static_cast<size_t>(i)] = std::sqrt(2.0) * std::sin(phi);
    }
}

void LoopsMode::ReleaseArrays() noexcept
{
    state.history.Release();
    std::vector<double>().swap(panLeft);
    std::vector<double>().swap(panRight);
    for (GrainShifter& shifter : state.shifters)
        shifter.Release();
    historyLength = 0;
}

bool LoopsMode::IsReady() const
{
    return historyLength > 2 && state.history.Length() == static_cast<size_t>(historyLength)
           && panLeft.size() == static_cast<size_t>(kPanTableSize)
           && panRight.size() == static_cast<size_t>(kPanTableSize) && state.shifters[0].IsReady()
           && state.shifters[1].IsReady();
}

void LoopsMode::Reset()
{
    ClearHistory();
    ResetState();
}

void LoopsMode::ClearHistory()
{
    state.history.Clear();
}

void LoopsMode::ResetState()
{
    monoAmount = monoTarget;
    state.resetVoicesPending = 0;
    state.minVoiceAge = 1e300;
    state.maxVoiceAge = 0.0;
    state.writeIndex = 0;
    state.clock = 0.0;
    state.recordingStopped = 0;
    state.voiceStartCounter = 0;

    SnapSmoothers();

    state.randomGeneration = 0;
    state.randomised = 0;

    state.shifters[0].Reset();
    state.shifters[1].Reset();
    state.shifterOwner = -1;
    state.chaosReverseFlips = state.chaosOctaveDrops = state.shifterStarts = state.shifterStartsDown = 0;
    state.sampleCounter = 0;
    ResetSchedule();

    for (int v = 0; v < kVoiceCount; ++v)
        voiceLevels[v] = kVoiceOrder[v] < voiceCount ? 1.0 : 0.0;
    for (LoopVoice& voice : state.voices)
        voice.ResetPlayback();
}

void LoopsMode::ResetSchedule()
{
    state.divisionsPerLoop = 1;
    state.divisionCounter = 0;
    state.wasSynced = 0;
    state.lastDivisionSamples = 0;
    for (int32_t& c : state.startCountdown)
        c = -1;
}

void LoopsMode::SnapSmoothers()
{
    state.amountSmoother.target = state.amount;
    state.octavesSmoother.target = state.octavesTarget;
    state.reverseSmoother.target = state.reverseTarget;
    state.reachSmoother.target = state.reachTarget;
    state.widthSmoother.target = state.widthTarget;
    for (ParamSmoother* s : {&state.amountSmoother, &state.octavesSmoother, &state.reverseSmoother,
                             &state.reachSmoother, &state.widthSmoother})
        s->Step(1e6);
    state.octaves = state.octavesTarget;
    state.reverse = state.reverseTarget;
    state.reach = state.reachTarget;
    state.width = state.widthTarget;
}

// ---------------------------------------------------------------------------
// Controls

void LoopsMode::SetControls(double a, double b)
{
    state.loopTime = kMinLoopSeconds * std::pow(kLoopTimeRange, Clamp01OrZero(a));
    state.amount = Clamp01OrZero(b);
    state.amountSmoother.target = state.amount;
}

void LoopsMode::SetTime(double value)
{
    // Voice starts clamp the time to this range anyway; keeping the stored value
    // inside it keeps a frozen loop's state within what a restore accepts.
    state.loopTime = value > 0.0 ? Clamp(value, kMinLoopSeconds, kMaxSegmentSeconds) : kMinLoopSeconds;
}

void LoopsMode::SetTempoSync(const TempoSyncInfo& info)
{
    state.sync = info;
    if (static_cast<int64_t>(info.divisionSamples) > Round64(kMaxSegmentSeconds * sampleRate))
        state.sync.boundaryFound = 0;
}

void LoopsMode::SetMonoVoices(double loopMonoVoices)
{
    monoTarget = loopMonoVoices > 0.5 ? 1.0 : 0.0;
}

void LoopsMode::SetLfoMotion(double loopLfoMotion)
{
    lfoMotion = loopLfoMotion > 0.5 ? 1 : 0;
}

void LoopsMode::SetVoiceCount(double loopVoices)
{
    voiceCount = std::min(std::max(Round32(loopVoices), 1), kVoiceCount);
}

void LoopsMode::SetMotionRate(double loopMotionRate)
{
    const double r = Clamp01OrZero(loopMotionRate);
    const double octaves = r <= 0.5 ? 4.0 * r - 2.0 : 6.0 * r - 3.0;
    state.lfoRateScale = std::exp2(octaves);
}

void LoopsMode::SetOctaveDirection(double loopOctaveDir)
{
    state.octaveDirection = static_cast<uint32_t>(std::min(std::max(Round32(loopOctaveDir), 0), 2));
}

void LoopsMode::SetShapeTargets(double octavesValue, double reverseValue, double reachValue, double widthValue)
{
    state.octavesTarget = Clamp01OrZero(octavesValue);
    state.reverseTarget = Clamp01OrZero(reverseValue);
    state.reachTarget = Clamp01OrZero(reachValue);
    state.widthTarget = Clamp01OrZero(widthValue);
    state.octavesSmoother.target = state.octavesTarget;
    state.reverseSmoother.target = state.reverseTarget;
    state.reachSmoother.target = state.reachTarget;
    state.widthSmoother.target = state.widthTarget;
}

void LoopsMode::SetFreezeRequested(bool requested)
{
    state.freezeRequested = requested ? 1 : 0;
}

void LoopsMode::RestoreConstructedControls()
{
    const LoopsMode constructed;
    const State& fresh = constructed.state;
    monoTarget = constructed.monoTarget;
    lfoMotion = constructed.lfoMotion;
    voiceCount = constructed.voiceCount;
    state.lfoRateScale = fresh.lfoRateScale;
    state.octaveDirection = fresh.octaveDirection;
    state.loopTime = fresh.loopTime;
    state.amount = fresh.amount;
    state.freezeRequested = fresh.freezeRequested;
    state.sync = fresh.sync;
    SetShapeTargets(fresh.octavesTarget, fresh.reverseTarget, fresh.reachTarget, fresh.widthTarget);
    state.amountSmoother.target = state.amount;
}

void LoopsMode::FeedIdle(const float* left, const float* right, int n)
{
    if (state.freezeRequested && state.recordingStopped)
        return;
    state.recordingStopped = 0;
    if (IsReady()) {
        // Spans end at the ring's end.
        for (int i = 0; i < n;) {
            const int span = std::min(n - i, historyLength - state.writeIndex);
            if (span < 1)
                break;
            float* frames = state.history.FrameAt(static_cast<size_t>(state.writeIndex));
            for (int k = 0; k < span; ++k) {
                frames[2 * k] = left[i + k];
                frames[2 * k + 1] = right[i + k];
            }
            state.clock = EngineMath::ClockAfterSteps(state.clock, span);
            state.writeIndex += span;
            if (state.writeIndex >= historyLength)
                state.writeIndex = 0;
            i += span;
        }
    }
    state.resetVoicesPending = 1;
}

// ---------------------------------------------------------------------------
// Shared helpers of the voice path

void LoopsMode::RebuildFadeTable()
{
    const int32_t fadeLength = state.fadeLength;
    fadeTableLength = fadeLength;
    if (fadeLength < 1 || fadeLength > kFadeTableSize)
        return;
    for (int p = 0; p < fadeLength; ++p)
        fadeTable[static_cast<size_t>(p)] = std::sin((p + 1) * kPi / 2.0 / (fadeLength + 1));
}

double LoopsMode::Fade(int32_t position, int32_t length)
{
    const int32_t fadeLength = state.fadeLength;
    if (fadeLength < 1)
        return 1.0;
    if (fadeTableLength != fadeLength)
        RebuildFadeTable();
    // Positions outside the segment take the gain of its nearest end rather than
    // the negative values the curve would give there.
    const int64_t segment = std::max<int64_t>(length, 1);
    const int64_t p = std::min<int64_t>(std::max<int64_t>(position, 0), segment - 1);
    int64_t step; // 1..fadeLength along the curve, or 0 for the flat middle
    if (p < fadeLength)
        step = p + 1;
    else if (segment - p - 1 >= fadeLength)
        return 1.0;
    else
        step = segment - p;
    if (fadeLength <= kFadeTableSize)
        return fadeTable[static_cast<size_t>(step - 1)];
    return std::sin(static_cast<double>(step) * kPi / 2.0 / (fadeLength + 1));
}

DelayLineView<2> LoopsMode::HistoryView() const
{
    return DelayLineView<2>(state.history.Frames(), historyLength, state.writeIndex, state.clock);
}

LoopsMode::RingView LoopsMode::CurrentRing() const
{
    // The oldest slot still inside the ring is clock - historyLength; two slots
    // of margin keep linear and sinc taps off the slot being overwritten next.
    RingView view;
    view.frames = HistoryView();
    view.newest = std::max(state.clock - 1.0, 0.0);
    view.oldest = std::max(state.clock - static_cast<double>(historyLength - 2), 0.0);
    return view;
}

double LoopsMode::RingView::Clamp(double position) const
{
    if (!(position >= oldest))
        return oldest;
    return position > newest ? newest : position;
}

void LoopsMode::ReadHistory(const RingView& ring, double position, int interpolation, double& outL, double& outR) const
{
    const double p = ring.Clamp(position);
    const DelayFrame<2> frame = interpolation == 0 ? ReadLinearFrame(ring.frames, p)
                                                   : ReadSincFrame(ring.frames, p, GetSincTable(interpolation));
    // Each channel is heard at the precision it was recorded in.
    outL = static_cast<float>(frame.left);
    outR = static_cast<float>(frame.right);
}

void LoopsMode::FoldToMono(double& l, double& r) const
{
    if (!(monoAmount > 0.0))
        return;
    const float fl = static_cast<float>(l);
    const float fr = static_cast<float>(r);
    const float m = (fl + fr) * 0.5f;
    l = static_cast<float>(fl + (static_cast<double>(m) - fl) * monoAmount);
    r = static_cast<float>(fr + (static_cast<double>(m) - fr) * monoAmount);
}

// ---------------------------------------------------------------------------
// Processing

void LoopsMode::Process(float* left, float* right, int n, DriftContext& drift)
{
    if (state.resetVoicesPending) {
        for (LoopVoice& voice : state.voices)
            voice.segmentLength = 0;
        state.resetVoicesPending = 0;
    }
    if (n < 1)
        return;
    if (!IsReady()) {
        std::fill(left, left + n, 0.0f);
        std::fill(right, right + n, 0.0f);
        return;
    }
    if (fadeTableLength != state.fadeLength)
        RebuildFadeTable();

    // A call for n samples must leave what n one-sample calls leave. The
    // per-call controls are worked out for one sample; while doing so again
    // would change nothing, the following samples share them.
    for (int done = 0; done < n;) {
        if (n - done == 1) {
            const RunControls run = UpdateRunControls(drift);
            done += RenderRun(left + done, right + done, 1, run);
            continue;
        }
        const ControlSnapshot before = SnapshotControls();
        const RunControls run = UpdateRunControls(drift);
        const bool settled = !state.sync.boundaryFound && SnapshotControls().SameBits(before);
        const int count = settled ? n - done : 1;
        done += RenderRun(left + done, right + done, count, run);
    }
}

LoopsMode::ControlSnapshot LoopsMode::SnapshotControls() const
{
    ControlSnapshot s;
    s.values = {state.amountSmoother.current,
                state.octavesSmoother.current,
                state.reverseSmoother.current,
                state.reachSmoother.current,
                state.widthSmoother.current,
                state.octaves,
                state.reverse,
                state.reach,
                state.width,
                state.chaos,
                voiceSmootherTime};
    s.flags = {state.recordingStopped, voiceSmoothersValid, chaosWasZero, state.wasSynced, state.randomised};
    s.counters = {state.randomGeneration, state.divisionsPerLoop, state.divisionCounter,
                  static_cast<uint32_t>(state.lastDivisionSamples)};
    std::copy(std::begin(state.startCountdown), std::end(state.startCountdown), s.countdowns.begin());
    return s;
}

bool LoopsMode::ControlSnapshot::SameBits(const ControlSnapshot& other) const
{
    return std::memcmp(values.data(), other.values.data(), sizeof(values)) == 0 && flags == other.flags
           && counters == other.counters && countdowns == other.countdowns;
}

LoopsMode::RunControls LoopsMode::UpdateRunControls(const DriftContext& drift)
{
    Randomise(drift);

    const double dt = 1.0 / sampleRate;
    state.amountSmoother.Step(dt);
    StepShapeControls(dt);

    if (!state.freezeRequested)
        state.recordingStopped = 0;
    else if (AllVoicesPrimed())
        state.recordingStopped = 1;

    state.chaos = Clamp01OrZero(drift.Amount());

    ConfigureVoiceSmoothers();
    RunControls run;
    run.justZeroed = state.chaos <= 0.0 && !chaosWasZero;
    chaosWasZero = state.chaos <= 0.0 ? 1 : 0;

    run.startAmount = state.amountSmoother.current;
    run.rampStep = 1.0 / (kRampSeconds * sampleRate);
    run.locked = UpdateTempoLock(run.loopSamples);
    return run;
}

bool LoopsMode::AllVoicesPrimed() const
{
    return std::all_of(std::begin(state.voices), std::end(state.voices),
                       [](const LoopVoice& v) { return v.primed != 0; });
}

void LoopsMode::FillLfoSteps(double (&lfoSteps)[kVoiceCount][LoopVoice::kLfoCount]) const
{
    const double dt = 1.0 / sampleRate;
    for (int v = 0; v < kVoiceCount; ++v)
        for (int k = 0; k < LoopVoice::kLfoCount; ++k)
            lfoSteps[v][k] = (state.voices[v].lfoRate[k] * kLfoSpanHz + kLfoMinHz) * state.lfoRateScale * dt;
}

int LoopsMode::RenderRun(float* left, float* right, int n, const RunControls& run)
{
    // A voice priming while a freeze waits for it stops the recording from the
    // next sample on, so the run ends there.
    const bool awaitingFreeze = state.freezeRequested && !state.recordingStopped;
    // The LFO rates hold for the run; only their phases move per sample. The
    // steps are read only while chaos moves the LFOs, so only then filled.
    double lfoSteps[kVoiceCount][LoopVoice::kLfoCount];
    if (state.chaos > 0.0)
        FillLfoSteps(lfoSteps);
    for (int i = 0; i < n; ++i) {
        UpdateVoiceLfosAndTargets(lfoSteps, run.justZeroed);
        if (!state.recordingStopped)
            RecordFrame(left[i], right[i]);
        double sumL = 0.0;
        double sumR = 0.0;
        RenderVoices(i, run, sumL, sumR);
        left[i] = static_cast<float>(sumL);
        right[i] = static_cast<float>(sumR);
        SaturatingIncrement(state.sampleCounter);

        if (awaitingFreeze && AllVoicesPrimed())
            return i + 1;
    }
    return n;
}

void LoopsMode::RecordFrame(float left, float right)
{
    float* frame = state.history.FrameAt(static_cast<size_t>(state.writeIndex));
    frame[0] = left;
    frame[1] = right;
    state.clock += 1.0;
    if (++state.writeIndex >= historyLength)
        state.writeIndex = 0;
}

void LoopsMode::RenderVoices(int i, const RunControls& run, double& sumL, double& sumR)
{
    const TempoSyncInfo& sync = state.sync;
    if (run.locked && sync.boundaryOffset >= 0 && i >= sync.boundaryOffset
        && (i - sync.boundaryOffset) % sync.divisionSamples == 0)
        CountDivision(run.loopSamples);

    const double rampStep = run.rampStep;
    monoAmount = RampToward(monoAmount, monoTarget, rampStep);

    const RingView ring = CurrentRing();
    double voiceSumL = 0.0;
    double voiceSumR = 0.0;
    bool levelsMoved = false;
    for (int v = 0; v < kVoiceCount; ++v) {
        const double level = RampToward(voiceLevels[v], kVoiceOrder[v] < voiceCount ? 1.0 : 0.0, rampStep);
        levelsMoved = levelsMoved || level != voiceLevels[v];
        voiceLevels[v] = level;
        StartVoiceWhenDue(v, run.startAmount);
        RenderVoice(v, ring, voiceSumL, voiceSumR);
    }

    // Unchanged levels give the sum the norm was last worked out from.
    if (i == 0 || levelsMoved)
        UpdateOutputNorm();
    sumL = outputNorm * voiceSumL;
    sumR = outputNorm * voiceSumR;
}

void LoopsMode::UpdateVoiceLfosAndTargets(const double (&lfoSteps)[kVoiceCount][LoopVoice::kLfoCount], bool justZeroed)
{
    const double chaos = state.chaos;
    for (int v = 0; v < kVoiceCount; ++v) {
        LoopVoice& voice = state.voices[v];
        if (!(chaos <= 0.0 && !justZeroed)) {
            for (int k = 0; k < LoopVoice::kLfoCount; ++k) {
                if (chaos <= 0.0)
                    voice.HoldLfo(k, 0.0);
                else
                    voice.AdvanceLfo(k, lfoSteps[v][k]);
            }
        }
        if (voice.lfoStale[2] && voice.lfoStale[3])
            voice.RefreshLfoPair(2, 3);
        voice.speedSmoother.target = Clamp(voice.baseSpeed, -voice.speedLimit, voice.speedLimit);
        AimGainAndPan(voice);
    }
}

bool LoopsMode::UpdateTempoLock(int32_t& loopSamples)
{
    const TempoSyncInfo& sync = state.sync;
    const int32_t division = sync.divisionSamples;
    const bool found = sync.boundaryFound != 0;
    const bool locked = found && division >= 1;
    // The fewest divisions that hold two fades.
    uint32_t divisions = 1;
    if (locked) {
        const double fades = static_cast<double>(std::max(2 * state.fadeLength, 1));
        divisions = static_cast<uint32_t>(std::max(std::ceil(fades / division), 1.0));
    }
    if (found
        && (!state.wasSynced || sync.movedBack || division != state.lastDivisionSamples
            || divisions != state.divisionsPerLoop)) {
        state.divisionCounter = 0;
        for (int32_t& c : state.startCountdown)
            c = -1;
    }
    state.wasSynced = found ? 1 : 0;
    state.divisionsPerLoop = divisions;
    state.lastDivisionSamples = division;
    loopSamples = 0;
    if (locked)
        loopSamples = static_cast<int32_t>(
            std::min<int64_t>(Round64(kMaxSegmentSeconds * sampleRate), static_cast<int64_t>(division) * divisions));
    else
        for (int32_t& c : state.startCountdown)
            c = -1;
    return locked;
}

void LoopsMode::RenderVoice(int v, const RingView& ring, double& sumL, double& sumR)
{
    LoopVoice& voice = state.voices[v];

    const double age = state.clock - voice.readPosition;
    state.minVoiceAge = std::min(state.minVoiceAge, age);
    state.maxVoiceAge = std::max(state.maxVoiceAge, age);

    voice.speed = voice.speedSmoother.Tick();
    voice.gain = voice.gainSmoother.Tick();
    voice.pan = voice.panSmoother.Tick();

    double outL = 0.0;
    double outR = 0.0;
    if (voice.ended) {
        if (voice.tailActive && voice.fadeRemaining >= 1)
            RenderTail(v, ring, outL, outR);
    } else {
        RenderSegment(v, ring, outL, outR);
    }

    sumL += voiceLevels[v] * outL;
    sumR += voiceLevels[v] * outR;

    if (!voice.ended)
        AdvanceVoice(voice, ring);
    if (voice.segmentPosition < std::numeric_limits<int32_t>::max())
        voice.segmentPosition += 1;
}

void LoopsMode::RenderSegment(int v, const RingView& ring, double& outL, double& outR)
{
    LoopVoice& voice = state.voices[v];
    double l = 0.0;
    double r = 0.0;
    ReadHistory(ring, voice.readPosition, InterpolationFor(voice.speedLimit), l, r);
    if (voice.pitchShifted) {
        l = state.shifters[0].Process(static_cast<float>(l));
        r = state.shifters[1].Process(static_cast<float>(r));
    }
    FoldToMono(l, r);

    const double g = SegmentFade(voice.segmentPosition, voice.segmentLength) * voice.gain * voice.levelScale;
    double pL = 1.0;
    double pR = 1.0;
    PanGains(voice.pan, pL, pR);
    outL = l * g * pL;
    outR = r * g * pR;

    if (voice.fadeRemaining > 0) {
        if (voice.tailActive)
            RenderTail(v, ring, outL, outR);
        else {
            // Declick from the output held when the segment was cut short.
            const double w = static_cast<double>(voice.fadeRemaining) / std::max(state.fadeLength, 1);
            outL += w * voice.heldOutL;
            outR += w * voice.heldOutR;
            voice.fadeRemaining -= 1;
        }
    }
    voice.lastOutL = outL;
    voice.lastOutR = outR;
}

void LoopsMode::AdvanceVoice(LoopVoice& voice, const RingView& ring)
{
    double p = voice.readPosition + voice.speed;
    const double start = voice.windowStart;
    const double span = voice.windowSpan;
    if (span > 0.0) {
        if (!voice.reversed) {
            if (p >= start + span)
                p -= span;
            else if (p < start)
                p += span;
        } else {
            if (p <= start)
                p += span;
            else if (p > start + span)
                p -= span;
        }
    }
    voice.readPosition = ring.Clamp(p);
}

// ---------------------------------------------------------------------------
// Voice personalities, segment starts and tails

void LoopsMode::Randomise(const DriftContext& drift)
{
    if (state.randomised && drift.Generation() == state.randomGeneration)
        return;
    for (int v = 0; v < kVoiceCount; ++v) {
        LoopVoice& voice = state.voices[v];
        uint32_t s = (drift.Seed() ^ 0x5EED1005u) + static_cast<uint32_t>(v + 1) * 0x9E3779B9u;
        if (s == 0)
            s = 0x9E3779B9u;
        XorShift(s);
        XorShift(s);
        voice.rOctave = 2.0 * Unit(XorShift(s)) - 1.0;
        voice.rReverse = Unit(XorShift(s));
        voice.rReach = Unit(XorShift(s));
        voice.rGain = Unit(XorShift(s));
        voice.rPan = 2.0 * Unit(XorShift(s)) - 1.0;
        for (int k = 0; k < LoopVoice::kLfoCount; ++k) {
            voice.lfoPhase[k] = Unit(XorShift(s));
            voice.lfoRate[k] = Unit(XorShift(s));
            voice.lfoStale[k] = 1;
        }
        voice.rng = s;
        voice.segmentLength = 0;
    }
    state.randomised = 1;
    state.randomGeneration = drift.Generation();
}

void LoopsMode::StartVoice(int v, double a)
{
    LoopVoice& voice = state.voices[v];
    const int32_t previousLength = voice.segmentLength;
    const int32_t minSeg = std::max(2 * state.fadeLength, 1);
    const bool locked = state.sync.boundaryFound && state.sync.divisionSamples > 0;

    const double wanted = SegmentSamples(voice, locked, minSeg);
    double speed = OctaveSpeed(voice, a);
    bool reversed = WantsReverse(voice, a);
    const ChaosEvents events = DrawChaosEvents(voice);
    speed = ApplyChaosEvents(events, speed, reversed);

    const double previousSpeed = Clamp(std::fabs(voice.speedSmoother.current), kMinGlideSpeed, kMaxGlideSpeed);
    voice.reversed = reversed ? 1 : 0;
    if (reversed)
        speed = -speed;
    ReleaseShifters(v);
    voice.speedLimit = std::fabs(speed);
    if (lfoMotion && state.chaos > 0.0)
        voice.speedLimit = std::max(previousSpeed, std::fabs(speed));

    const SegmentFit fit = FitSegment(voice, wanted, locked, minSeg);
    UpdateLevelScale(voice, fit.fraction, a);
    const double span = SpanCap(voice, fit);
    const double farthest = std::max(historyLength - fit.length - kPlacementMarginSamples, span);
    const double delay = Clamp(PlacementDelay(v, fit, a), span, farthest);
    voice.startDelay = Round32(delay);
    voice.ended = delay > state.clock - 1.0 ? 1 : 0;
    if (!voice.ended)
        voice.primed = 1;

    if (events.takeShifters && !voice.ended && state.shifterOwner < 0)
        HandShiftersTo(v, events.shiftDown);
    PlaceWindow(voice, std::max(state.clock - 1.0, 0.0), span, reversed);
    CountSegment(v, fit, previousLength, locked, minSeg);

    voice.startStamp = state.sampleCounter;
    voice.baseSpeed = speed;
    voice.baseGain = 1.0 - kAmountGainDepth * a * voice.rGain;
    voice.basePan = a * state.width * voice.rPan;
    if (voice.pitchShifted)
        PrefillShifters(voice);
    AimVoiceSmoothers(voice, speed, previousSpeed);
    SaturatingIncrement(state.voiceStartCounter);
}

void LoopsMode::StepShapeControls(double dt)
{
    struct ShapeControl
    {
        ParamSmoother& smoother;
        double target;
        double& value;
    };
    ShapeControl shape[] = {{state.octavesSmoother, state.octavesTarget, state.octaves},
                            {state.reverseSmoother, state.reverseTarget, state.reverse},
                            {state.reachSmoother, state.reachTarget, state.reach},
                            {state.widthSmoother, state.widthTarget, state.width}};
    for (ShapeControl& c : shape) {
        // A control resting on its target stays there bit for bit (a step of a
        // signed zero lands back on the target through the snap below).
        if (EngineMath::SameBits(c.smoother.current, c.target) && EngineMath::SameBits(c.smoother.target, c.target)
            && EngineMath::SameBits(c.value, c.target))
            continue;
        c.smoother.Step(dt);
        if (std::fabs(c.smoother.current - c.target) < kShapeSnapTolerance)
            c.smoother.current = c.target;
        c.value = c.smoother.current;
    }
}

void LoopsMode::ConfigureVoiceSmoothers()
{
    const double chaos = state.chaos;
    const double smootherTime =
        lfoMotion ? kMotionSmootherSeconds + kMotionSmootherChaosSeconds * chaos * chaos : kSmootherSeconds;
    if (voiceSmoothersValid && smootherTime == voiceSmootherTime)
        return;
    for (LoopVoice& voice : state.voices) {
        voice.speedSmoother.Configure(std::max(smootherTime, kMinSmootherSeconds), sampleRate);
        voice.gainSmoother.Configure(std::max(smootherTime, kMinSmootherSeconds), sampleRate);
        voice.panSmoother.Configure(std::max(smootherTime, kMinSmootherSeconds), sampleRate);
    }
    voiceSmootherTime = smootherTime;
    voiceSmoothersValid = 1;
}

void LoopsMode::CountDivision(int32_t loopSamples)
{
    // Only the count modulo divisionsPerLoop matters, so it is kept reduced
    // and can never wrap.
    const uint32_t divisions = state.divisionsPerLoop;
    state.divisionCounter = state.divisionCounter % divisions + 1;
    if (state.divisionCounter % divisions == 0) {
        for (int k = 0; k < kVoiceCount; ++k)
            state.startCountdown[k] = static_cast<int32_t>(static_cast<int64_t>(loopSamples) * k / kVoiceCount);
    }
}

void LoopsMode::StartVoiceWhenDue(int v, double startAmount)
{
    LoopVoice& voice = state.voices[v];
    const int32_t countdown = state.startCountdown[v];
    if (countdown > 0)
        state.startCountdown[v] = countdown - 1;
    else if (countdown == 0) {
        state.startCountdown[v] = -1;
        if (voice.segmentPosition < voice.segmentLength) {
            voice.fadeRemaining = std::max(state.fadeLength, 1);
            voice.heldOutL = voice.lastOutL;
            voice.heldOutR = voice.lastOutR;
            if (!voice.ended && !voice.pitchShifted)
                CaptureTail(v);
            else
                voice.tailActive = 0; // an older tail would replay; declick from the held output instead
        }
    }
    if (countdown == 0 || voice.segmentPosition >= voice.segmentLength)
        StartVoice(v, startAmount);
}

void LoopsMode::UpdateOutputNorm()
{
    const double s = voiceLevels[0] * voiceLevels[0] + voiceLevels[1] * voiceLevels[1] + voiceLevels[2] * voiceLevels[2]
                     + voiceLevels[3] * voiceLevels[3] + voiceLevels[4] * voiceLevels[4]
                     + voiceLevels[5] * voiceLevels[5];
    if (outputNormValid && s == outputNormSum)
        return;
    outputNorm = std::sqrt(6.0 / std::max(s, 1.0)) * kSixVoiceNorm;
    outputNormSum = s;
    outputNormValid = 1;
}

double LoopsMode::SegmentSamples(LoopVoice& voice, bool locked, int32_t minSeg) const
{
    if (locked)
        return static_cast<double>(
            std::min<int64_t>(Round64(kMaxSegmentSeconds * sampleRate),
                              static_cast<int64_t>(state.divisionsPerLoop) * state.sync.divisionSamples));
    const double loopTime = Clamp(state.loopTime, kMinLoopSeconds, kMaxSegmentSeconds);
    double seconds = (state.chaos * kLoopTimeLfoDepth * voice.Lfo(4) + 1.0) * loopTime;
    seconds = Clamp(seconds, kMinLoopSeconds, kMaxSegmentSeconds);
    return static_cast<double>(std::max<int64_t>(minSeg, Round64(seconds * sampleRate)));
}

double LoopsMode::OctaveSpeed(LoopVoice& voice, double a) const
{
    const double chaos = state.chaos;
    double r = lfoMotion ? (1.0 - chaos) * voice.rOctave + chaos * voice.Lfo(0) : a * voice.rOctave;
    if (state.octaveDirection == 1)
        r = std::fabs(r);
    else if (state.octaveDirection == 2)
        r = -std::fabs(r);
    return std::ldexp(1.0, Round32(2.0 * state.octaves * r));
}

bool LoopsMode::WantsReverse(const LoopVoice& voice, double a) const
{
    const double reverse = state.reverse;
    if (!lfoMotion)
        return std::max((a - kReverseFromAmount) / (1.0 - kReverseFromAmount), 0.0) * 0.5 * reverse > voice.rReverse;
    if (!(reverse > 0.0))
        return false;
    const double chaos = state.chaos;
    const double h = voice.reversed ? kReverseHysteresis : -kReverseHysteresis;
    const double wander = 0.5 * (EngineMath::Sin(kTwoPi * (voice.rReverse + voice.lfoPhase[1])) + 1.0);
    return (0.5 * reverse + h) > ((1.0 - chaos) * voice.rReverse + chaos * wander);
}

LoopsMode::ChaosEvents LoopsMode::DrawChaosEvents(LoopVoice& voice)
{
    // Four draws at every start, whether or not an event can fire, so that a
    // voice's sequence depends on its starts alone.
    const double chance = kChaosEventChance * std::max(2.0 * state.chaos - 1.0, 0.0);
    const uint32_t x1 = XorShift(voice.rng);
    const uint32_t x2 = XorShift(voice.rng);
    const uint32_t x3 = XorShift(voice.rng);
    const uint32_t x4 = XorShift(voice.rng);
    const uint32_t direction = state.octaveDirection;
    ChaosEvents events;
    events.flipReverse = !lfoMotion && chance > Unit(x1);
    events.dropOctave = !lfoMotion && chance > Unit(x2) && direction != 1;
    events.takeShifters = !lfoMotion && chance > Unit(x3);
    if (direction == 1)
        events.shiftDown = false;
    else if (direction == 2)
        events.shiftDown = true;
    else
        events.shiftDown = (static_cast<int>(2.0 * Unit(x4)) & 1) == 1;
    return events;
}

double LoopsMode::ApplyChaosEvents(const ChaosEvents& events, double speed, bool& reversed)
{
    if (events.flipReverse) {
        reversed = !reversed;
        SaturatingIncrement(state.chaosReverseFlips);
    }
    if (events.dropOctave) {
        speed *= 0.5;
        SaturatingIncrement(state.chaosOctaveDrops);
    }
    return speed;
}

void LoopsMode::ReleaseShifters(int v)
{
    LoopVoice& voice = state.voices[v];
    if (!voice.pitchShifted)
        return;
    if (state.shifterOwner == v)
        state.shifterOwner = -1;
    voice.pitchShifted = 0;
}

LoopsMode::SegmentFit LoopsMode::FitSegment(const LoopVoice& voice, double wanted, bool locked, int32_t minSeg) const
{
    const double sr = sampleRate;
    const double recorded = std::max(state.clock - 1.0, 0.0);
    SegmentFit fit;
    fit.room =
        std::min(std::min(kHistorySeconds - wanted / sr - kHistoryMarginSeconds, 2.0 * wanted / sr) * sr, state.clock);
    fit.jitter = std::min(wanted / 12.0, kStartJitterSeconds * sr);
    if (locked) {
        fit.length = wanted;
        fit.fraction = 1.0;
        return fit;
    }
    // Until the history holds two segments, segments shrink to what it holds.
    const double fill = wanted == 0.0 ? 1.0 : Clamp(recorded / (2.0 * wanted), 0.0, 1.0);
    fit.length = std::max(wanted * fill, static_cast<double>(minSeg));
    fit.room = wanted > 0.0 ? fit.room * fit.length / wanted : 0.0;
    if (voice.speedLimit > 0.0)
        fit.length = std::min(std::max(recorded / voice.speedLimit, static_cast<double>(minSeg)), fit.length);
    fit.room = std::min(std::max(recorded - 5.0 * fit.length / 6.0 - fit.jitter, fit.length), fit.room);
    fit.fraction = wanted > 0.0 ? fit.length / wanted : 0.0;
    return fit;
}

void LoopsMode::UpdateLevelScale(LoopVoice& voice, double fraction, double a)
{
    // Half level until one full-length segment has fitted the history.
    voice.lengthFraction = fraction;
    if (fraction > voice.peakFraction)
        voice.peakAmount = a;
    voice.peakFraction = std::max(voice.peakFraction, fraction);
    voice.levelScale = std::pow(0.5, 1.0 - Clamp01OrZero(voice.peakFraction));
}

double LoopsMode::SpanCap(const LoopVoice& voice, const SegmentFit& fit) const
{
    return std::min(historyLength - fit.length - kSpanMarginSamples, fit.length * voice.speedLimit);
}

double LoopsMode::PlacementDelay(int v, const SegmentFit& fit, double a)
{
    LoopVoice& voice = state.voices[v];
    const double chaos = state.chaos;
    const double reach = state.reach;
    const double length = fit.length;
    const double reachable = std::max(fit.room - length, 0.0);
    const double stagger = v * length / static_cast<double>(kVoiceCount);
    double delay = reach * a * voice.rReach * reachable + length + stagger
                   + voice.Lfo(1) * reach * kReachLfoDepth * chaos * reachable;
    if (!lfoMotion)
        return delay + Unit(StartJitterHash(state.voiceStartCounter)) * fit.fraction * fit.jitter;
    const double farthest = historyLength - length - kPlacementMarginSamples;
    const double lo = std::min(farthest, std::max(stagger + length, SpanCap(voice, fit)));
    const double hi = std::min(std::max(state.clock - 1.0, 0.0), farthest);
    const double wander = Clamp01OrZero((1.0 - chaos) * voice.rReach + chaos * 0.5 * (voice.Lfo(1) + 1.0));
    delay = lo + std::max(hi - lo, 0.0) * reach * wander;
    return delay;
}

void LoopsMode::HandShiftersTo(int v, bool down)
{
    state.shifterOwner = v;
    state.voices[v].pitchShifted = 1;
    SaturatingIncrement(state.shifterStarts);
    if (down)
        SaturatingIncrement(state.shifterStartsDown);
    const double ratio = down ? 0.5 : 2.0;
    for (GrainShifter& shifter : state.shifters) {
        shifter.Reset();
        shifter.SetRatio(ratio);
    }
}

void LoopsMode::PlaceWindow(LoopVoice& voice, double newest, double span, bool reversed) const
{
    if (voice.ended) {
        voice.windowStart = newest;
        voice.readPosition = newest;
        voice.windowSpan = 0.0;
        return;
    }
    const double start = std::max(state.clock - 1.0 - voice.startDelay, 0.0);
    const double end = std::min(state.clock - 1.0, start + span);
    voice.windowStart = start;
    voice.windowSpan = std::max(end - start, 0.0);
    voice.readPosition = reversed ? end : start;
}

void LoopsMode::CountSegment(int v, const SegmentFit& fit, int32_t previousLength, bool locked, int32_t minSeg)
{
    LoopVoice& voice = state.voices[v];
    voice.segmentPosition = 0;
    voice.segmentLength = std::max(minSeg, Round32(fit.length));
    if (previousLength != 0 || locked)
        return;
    // A free voice's first segment is staggered by sixths: cut short when it
    // plays, already partly waited out when it cannot.
    const int32_t stagger = static_cast<int32_t>(static_cast<int64_t>(voice.segmentLength) * v / kVoiceCount);
    if (!voice.ended)
        voice.segmentLength = std::max(minSeg, voice.segmentLength - stagger);
    else
        voice.segmentPosition = stagger;
}

void LoopsMode::AimVoiceSmoothers(LoopVoice& voice, double speed, double previousSpeed) const
{
    voice.speedSmoother.target = Clamp(speed, -voice.speedLimit, voice.speedLimit);
    // Under LFO motion the new speed glides in from the old one.
    voice.speedSmoother.current = (lfoMotion && state.chaos > 0.0) ? std::copysign(previousSpeed, speed) : speed;
    AimGainAndPan(voice);
}

void LoopsMode::AimGainAndPan(LoopVoice& voice) const
{
    const double chaos = state.chaos;
    voice.gainSmoother.target = Clamp((1.0 + kGainLfoDepth * chaos * voice.Lfo(2)) * voice.baseGain, 0.0, 1.0);
    voice.panSmoother.target = Clamp(voice.basePan + kPanLfoDepth * chaos * voice.Lfo(3), -1.0, 1.0);
}

void LoopsMode::PrefillShifters(LoopVoice& voice)
{
    // The shifter starts every grain 60 ms behind its newest sample; handing it
    // the voice's next 60 ms of path lets it begin with audio instead of silence.
    const int32_t count = Round32(kShifterPrefillSeconds * sampleRate);
    if (count <= 0)
        return;
    const bool reversed = voice.reversed != 0;
    const RingView ring = CurrentRing();
    for (int32_t k = 0; k < count; ++k) {
        const double p = LoopVoice::WrapIntoWindow(k * voice.baseSpeed + voice.readPosition, voice.windowStart,
                                                   voice.windowSpan, reversed);
        const DelayFrame<2> frame = ReadLinearFrame(ring.frames, ring.Clamp(p));
        state.shifters[0].Push(static_cast<float>(frame.left));
        state.shifters[1].Push(static_cast<float>(frame.right));
    }
    for (GrainShifter& shifter : state.shifters)
        shifter.StartHeadsBack(count);
    voice.readPosition = ring.Clamp(LoopVoice::WrapIntoWindow(count * voice.baseSpeed + voice.readPosition,
                                                              voice.windowStart, voice.windowSpan, reversed));
}

void LoopsMode::CaptureTail(int v)
{
    LoopVoice& voice = state.voices[v];
    voice.tailActive = 1;
    voice.tailReadPosition = voice.readPosition;
    voice.tailWindowStart = voice.windowStart;
    voice.tailWindowSpan = voice.windowSpan;
    voice.tailReversed = voice.reversed;
    voice.tailSpeed = voice.speed;
    voice.tailGain = voice.gain;
    voice.tailPan = voice.pan;
    voice.tailLevelScale = voice.levelScale;
    voice.tailSegmentPosition = voice.segmentPosition;
    voice.tailSegmentLength = voice.segmentLength;
    voice.tailInterpolation = InterpolationFor(voice.speedLimit);
}

void LoopsMode::RenderTail(int v, double& outL, double& outR)
{
    RenderTail(v, CurrentRing(), outL, outR);
}

void LoopsMode::RenderTail(int v, const RingView& ring, double& outL, double& outR)
{
    LoopVoice& voice = state.voices[v];
    const int32_t fadeSpan = std::max(state.fadeLength, 1);
    const int32_t fadedIn = std::max(fadeSpan - voice.fadeRemaining, 0);
    if (voice.tailSegmentPosition < voice.tailSegmentLength && voice.tailWindowSpan > 0.0) {
        double l = 0.0;
        double r = 0.0;
        ReadHistory(ring, voice.tailReadPosition, voice.tailInterpolation, l, r);
        FoldToMono(l, r);
        // The tail fades out as the new segment fades in.
        const double fadeIn = Fade(fadedIn, fadeSpan + 1 + fadedIn);
        const double g = Fade(voice.tailSegmentPosition, voice.tailSegmentLength) * (1.0 - fadeIn) * voice.tailGain
                         * voice.tailLevelScale;
        double pL = 1.0;
        double pR = 1.0;
        PanGains(voice.tailPan, pL, pR);
        outL += l * g * pL;
        outR += r * g * pR;
        voice.tailReadPosition =
            ring.Clamp(LoopVoice::WrapIntoWindow(voice.tailReadPosition + voice.tailSpeed, voice.tailWindowStart,
                                                 voice.tailWindowSpan, voice.tailReversed != 0));
        voice.tailSegmentPosition += 1;
    }
    voice.fadeRemaining -= 1;
    if (voice.fadeRemaining < 1) {
        voice.fadeRemaining = 0;
        voice.tailActive = 0;
    }
}

// ---------------------------------------------------------------------------
// State transfer

LoopsMode::State LoopsMode::TakeState() noexcept
{
    return std::move(state);
}

bool LoopsMode::RestoreState(State&& record) noexcept
{
    if (record.history.Length() != static_cast<size_t>(historyLength) || !record.shifters[0].IsReady()
        || !record.shifters[1].IsReady())
        return false;
    state = std::move(record);
    return true;
}

void LoopsMode::ReleaseHistory() noexcept
{
    state.history.Release();
}

void LoopsMode::CopyHistoryFrom(const LoopsMode& source)
{
    state.history = source.state.history;
}

void LoopsMode::SwapState(LoopsMode& a, LoopsMode& b) noexcept
{
    if (&a == &b)
        return;
    LoopsMode temporary(std::move(a));
    a = std::move(b);
    b = std::move(temporary);
}

namespace {

// Every field of a loop's record but its history and its shifters, which the
// callers move or keep themselves.
void CopyPlaybackFields(LoopsMode::State& to, const LoopsMode::State& from)
{
    to.resetVoicesPending = from.resetVoicesPending;
    to.writeIndex = from.writeIndex;
    to.clock = from.clock;
    to.recordingStopped = from.recordingStopped;
    to.loopTime = from.loopTime;
    to.amount = from.amount;
    to.freezeRequested = from.freezeRequested;
    to.lfoRateScale = from.lfoRateScale;
    to.chaos = from.chaos;
    to.fadeLength = from.fadeLength;
    to.amountSmoother = from.amountSmoother;
    to.octavesTarget = from.octavesTarget;
    to.reverseTarget = from.reverseTarget;
    to.reachTarget = from.reachTarget;
    to.widthTarget = from.widthTarget;
    to.octaves = from.octaves;
    to.reverse = from.reverse;
    to.reach = from.reach;
    to.width = from.width;
    to.octaveDirection = from.octaveDirection;
    to.octavesSmoother = from.octavesSmoother;
    to.reverseSmoother = from.reverseSmoother;
    to.reachSmoother = from.reachSmoother;
    to.widthSmoother = from.widthSmoother;
    std::copy(std::begin(from.voices), std::end(from.voices), std::begin(to.voices));
    to.sync = from.sync;
    to.sampleCounter = from.sampleCounter;
    to.divisionsPerLoop = from.divisionsPerLoop;
    to.divisionCounter = from.divisionCounter;
    to.wasSynced = from.wasSynced;
    std::copy(std::begin(from.startCountdown), std::end(from.startCountdown), std::begin(to.startCountdown));
    to.lastDivisionSamples = from.lastDivisionSamples;
    to.randomised = from.randomised;
    to.randomGeneration = from.randomGeneration;
    to.voiceStartCounter = from.voiceStartCounter;
    to.minVoiceAge = from.minVoiceAge;
    to.maxVoiceAge = from.maxVoiceAge;
    to.shifterOwner = from.shifterOwner;
    to.chaosReverseFlips = from.chaosReverseFlips;
    to.chaosOctaveDrops = from.chaosOctaveDrops;
    to.shifterStarts = from.shifterStarts;
    to.shifterStartsDown = from.shifterStartsDown;
}

} // namespace

void LoopsMode::CopyStateFrom(const LoopsMode& source)
{
    if (&source == this)
        return;
    CopyPlaybackFields(state, source.state);
    if (source.state.shifterOwner >= 0) {
        // Copy assignment reuses this object's ring when the lengths agree.
        state.shifters[0] = source.state.shifters[0];
        state.shifters[1] = source.state.shifters[1];
    }
    voiceSmoothersValid = 0;
    chaosWasZero = 0;
}

bool LoopsMode::Resample(double newRate)
{
    if (newRate == sampleRate)
        return true;
    if (!(newRate >= kMinSampleRate && newRate <= kMaxSampleRate) || !IsReady())
        return false;
    const double ratio = newRate / sampleRate;

    std::unique_ptr<LoopsMode> converted;
    try {
        converted = std::make_unique<LoopsMode>();
        converted->Prepare(newRate, 512);
        if (!converted->IsReady())
            return false;
        converted->CopyStateFrom(*this);
        for (GrainShifter& shifter : converted->state.shifters)
            shifter.Resample(newRate);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ResampleHistoryInto(*converted, ratio);
    converted->ScaleVoices(ratio, newRate);
    converted->ScaleTimingAndDropTempoLock(ratio, newRate);
    SwapState(*this, *converted);
    return true;
}

void LoopsMode::ResampleHistoryInto(LoopsMode& target, double ratio) const
{
    // Every absolute position p maps to p * ratio; slot j of the new ring holds
    // new position newClock - newLength + j. Reads stop at the newest old sample
    // so the newest slots never blend in the oldest one.
    target.state.writeIndex = 0;
    target.state.clock = state.clock * ratio;
    const DelayLineView<2> old = HistoryView();
    const double newest = std::max(state.clock - 1.0, 0.0);
    const int32_t newLength = target.historyLength;
    for (int32_t j = 0; j < newLength; ++j) {
        const double age = std::min((newLength - j) / ratio, static_cast<double>(historyLength - 1));
        const DelayFrame<2> frame = ReadLinearFrame(old, std::min(state.clock - age, newest));
        float* slot = target.state.history.FrameAt(static_cast<size_t>(j));
        slot[0] = static_cast<float>(frame.left);
        slot[1] = static_cast<float>(frame.right);
    }
}

void LoopsMode::ScaleVoices(double ratio, double newRate)
{
    // Scaled separately, the two roundings could leave a declick longer than
    // the fade it belongs to.
    const int32_t longestDeclick = std::max(Round32(state.fadeLength * ratio), 1);
    for (LoopVoice& voice : state.voices) {
        voice.segmentLength = std::max(Round32(voice.segmentLength * ratio), 1);
        voice.segmentPosition = std::max(std::min(Round32(voice.segmentPosition * ratio), voice.segmentLength - 1), 0);
        voice.fadeRemaining = std::min(Round32(voice.fadeRemaining * ratio), longestDeclick);
        voice.tailActive = 0;
        voice.tailReversed = 0;
        voice.readPosition *= ratio;
        voice.windowStart *= ratio;
        voice.windowSpan *= ratio;
        voice.startDelay = Round32(voice.startDelay * ratio);
        voice.startStamp = TruncateU64(static_cast<double>(voice.startStamp) * ratio);
        voice.speedSmoother.Configure(kSmootherSeconds, newRate);
        voice.gainSmoother.Configure(kSmootherSeconds, newRate);
        voice.panSmoother.Configure(kSmootherSeconds, newRate);
    }
}

void LoopsMode::ScaleTimingAndDropTempoLock(double ratio, double newRate)
{
    state.fadeLength = Round32(state.fadeLength * ratio);
    state.sampleCounter = TruncateU64(static_cast<double>(state.sampleCounter) * ratio);
    for (ParamSmoother* s : {&state.amountSmoother, &state.octavesSmoother, &state.reverseSmoother,
                             &state.reachSmoother, &state.widthSmoother})
        s->Configure(kSmootherSeconds, newRate);

    // The rate's tempo record is meaningless at the new rate; the next block brings one.
    state.sync = TempoSyncInfo{};
    state.sync.boundaryOffset = -1;
    state.wasSynced = 0;
    state.lastDivisionSamples = 0;
    for (int32_t& c : state.startCountdown)
        c = -1;
}
