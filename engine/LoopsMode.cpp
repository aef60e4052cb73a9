#include "engine/LoopsMode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "engine/EngineMath.h"
#include "engine/HistoryRing.h"
#include "engine/InterpolatedRead.h"
#include "engine/SincTable.h"

namespace {

using EngineMath::kPi;
using EngineMath::kTwoPi;
constexpr double kSmootherSeconds = 0.02;
constexpr double kRampSeconds = 0.02;
constexpr double kShifterPrefillSeconds = 0.06;
constexpr double kScratchSeconds = 0.06;

double Clamp(double x, double lo, double hi)
{
    // NaN falls to the lower bound so a bad value can never travel further.
    if (!(x >= lo))
        return lo;
    return x > hi ? hi : x;
}

double Clamp01(double x)
{
    return Clamp(x, 0.0, 1.0);
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

void SaturatingIncrement(uint32_t& counter)
{
    if (counter != std::numeric_limits<uint32_t>::max())
        ++counter;
}

void SaturatingIncrement(uint64_t& counter)
{
    if (counter != std::numeric_limits<uint64_t>::max())
        ++counter;
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
    fadeLength = Round32(0.005 * sampleRate);

    amountSmoother.Configure(kSmootherSeconds, sampleRate);
    octavesSmoother.Configure(kSmootherSeconds, sampleRate);
    reverseSmoother.Configure(kSmootherSeconds, sampleRate);
    reachSmoother.Configure(kSmootherSeconds, sampleRate);
    widthSmoother.Configure(kSmootherSeconds, sampleRate);
    for (LoopVoice& voice : voices) {
        voice.speedSmoother.Configure(kSmootherSeconds, sampleRate);
        voice.gainSmoother.Configure(kSmootherSeconds, sampleRate);
        voice.panSmoother.Configure(kSmootherSeconds, sampleRate);
    }

    // Histories grown from nothing are zero already.
    const bool historyWasEmpty = historyL.empty() && historyR.empty();
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
    const int64_t scratchSize = SamplesFor(kScratchSeconds, sampleRate);
    if (history < 0 || scratchSize < 0)
        throw std::bad_alloc();
    historyLength = static_cast<int32_t>(history + 2);
    historyL.resize(static_cast<size_t>(historyLength));
    historyR.resize(static_cast<size_t>(historyLength));

    panLeft.resize(kPanTableSize);
    panRight.resize(kPanTableSize);
    for (int i = 0; i < kPanTableSize; ++i) {
        if (i == (kPanTableSize - 1) / 2) {
            panLeft[static_cast<size_t>(i)] = 1.0;
            panRight[static_cast<size_t>(i)] = 1.0;
            continue;
        }
        const double x = 2.0 * i / 1024.0 - 1.0;
        const double phi = (x + 1.0) * kPi / 4.0;
        panLeft[static_cast<size_t>(i)] = std::sqrt(2.0) * std::cos(phi);
        panRight[static_cast<size_t>(i)] = std::sqrt(2.0) * std::sin(phi);
    }

    GetSincTable(4);
    shifters[0].Prepare(sampleRate);
    shifters[1].Prepare(sampleRate);
    scratch.resize(static_cast<size_t>(Round32(kScratchSeconds * sampleRate) + 4));
    RebuildFadeTable();
}

void LoopsMode::ReleaseArrays() noexcept
{
    SampleHistory().swap(historyL);
    SampleHistory().swap(historyR);
    std::vector<double>().swap(panLeft);
    std::vector<double>().swap(panRight);
    std::vector<float>().swap(scratch);
    for (GrainShifter& shifter : shifters)
        shifter.Release();
    historyLength = 0;
}

bool LoopsMode::IsReady() const
{
    const size_t n = static_cast<size_t>(historyLength);
    return historyLength > 2 && historyL.size() == n && historyR.size() == n
           && panLeft.size() == static_cast<size_t>(kPanTableSize)
           && panRight.size() == static_cast<size_t>(kPanTableSize)
           && scratch.size() >= static_cast<size_t>(std::max(Round32(kShifterPrefillSeconds * sampleRate), 0))
           && shifters[0].IsReady() && shifters[1].IsReady();
}

void LoopsMode::Reset()
{
    ClearHistory();
    ResetState();
}

void LoopsMode::ClearHistory()
{
    std::fill(historyL.begin(), historyL.end(), 0.0f);
    std::fill(historyR.begin(), historyR.end(), 0.0f);
}

void LoopsMode::ResetState()
{
    monoAmount = monoTarget;
    resetVoicesPending = 0;
    minVoiceAge = 1e300;
    maxVoiceAge = 0.0;
    writeIndex = 0;
    clock = 0.0;
    recordingStopped = 0;
    voiceStartCounter = 0;

    SnapSmoothers();

    randomGeneration = 0;
    randomised = 0;

    shifters[0].Reset();
    shifters[1].Reset();
    shifterOwner = -1;
    chaosReverseFlips = chaosOctaveDrops = shifterStarts = shifterStartsDown = 0;
    sampleCounter = 0;
    divisionsPerLoop = 1;
    divisionCounter = 0;
    wasSynced = 0;
    lastDivisionSamples = 0;
    for (int32_t& c : startCountdown)
        c = -1;

    for (int v = 0; v < kVoiceCount; ++v)
        voiceLevels[v] = kVoiceOrder[v] < voiceCount ? 1.0 : 0.0;
    for (LoopVoice& voice : voices)
        voice.ResetPlayback();
}

void LoopsMode::SnapSmoothers()
{
    amountSmoother.target = amount;
    octavesSmoother.target = octavesTarget;
    reverseSmoother.target = reverseTarget;
    reachSmoother.target = reachTarget;
    widthSmoother.target = widthTarget;
    for (ParamSmoother* s : {&amountSmoother, &octavesSmoother, &reverseSmoother, &reachSmoother, &widthSmoother})
        s->Step(1e6);
    octaves = octavesTarget;
    reverse = reverseTarget;
    reach = reachTarget;
    width = widthTarget;
}

// ---------------------------------------------------------------------------
// Controls

void LoopsMode::SetControls(double a, double b)
{
    loopTime = 0.01 * std::pow(1600.0, Clamp01(a));
    amount = Clamp01(b);
    amountSmoother.target = amount;
}

void LoopsMode::SetTime(double value)
{
    // Voice starts clamp the time to this range anyway; keeping the stored value
    // inside it keeps a frozen loop's state within what a restore accepts.
    loopTime = value > 0.0 ? Clamp(value, 0.01, kMaxSegmentSeconds) : 0.01;
}

void LoopsMode::SetTempoSync(const TempoSyncInfo& info)
{
    sync = info;
    if (static_cast<int64_t>(info.divisionSamples) > Round64(kMaxSegmentSeconds * sampleRate))
        sync.boundaryFound = 0;
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
    const double r = Clamp01(loopMotionRate);
    const double x = r <= 0.5 ? 4.0 * r - 2.0 : 6.0 * r - 3.0;
    lfoRateScale = std::exp2(x);
}

void LoopsMode::SetOctaveDirection(double loopOctaveDir)
{
    octaveDirection = static_cast<uint32_t>(std::min(std::max(Round32(loopOctaveDir), 0), 2));
}

void LoopsMode::SetShapeTargets(double octavesValue, double reverseValue, double reachValue, double widthValue)
{
    octavesTarget = Clamp01(octavesValue);
    reverseTarget = Clamp01(reverseValue);
    reachTarget = Clamp01(reachValue);
    widthTarget = Clamp01(widthValue);
    octavesSmoother.target = octavesTarget;
    reverseSmoother.target = reverseTarget;
    reachSmoother.target = reachTarget;
    widthSmoother.target = widthTarget;
}

void LoopsMode::SetFreezeRequested(bool requested)
{
    freezeRequested = requested ? 1 : 0;
}

void LoopsMode::RestoreConstructedControls()
{
    const LoopsMode constructed;
    monoTarget = constructed.monoTarget;
    lfoMotion = constructed.lfoMotion;
    voiceCount = constructed.voiceCount;
    lfoRateScale = constructed.lfoRateScale;
    octaveDirection = constructed.octaveDirection;
    loopTime = constructed.loopTime;
    amount = constructed.amount;
    freezeRequested = constructed.freezeRequested;
    sync = constructed.sync;
    SetShapeTargets(constructed.octavesTarget, constructed.reverseTarget, constructed.reachTarget,
                    constructed.widthTarget);
    amountSmoother.target = amount;
}

void LoopsMode::FeedIdle(const float* left, const float* right, int n)
{
    if (freezeRequested && recordingStopped)
        return;
    recordingStopped = 0;
    if (IsReady()) {
        // Spans end at the ring's end.
        for (int i = 0; i < n;) {
            const int span = std::min(n - i, historyLength - writeIndex);
            if (span < 1)
                break;
            std::copy(left + i, left + i + span, historyL.begin() + writeIndex);
            std::copy(right + i, right + i + span, historyR.begin() + writeIndex);
            clock = EngineMath::ClockAfterSteps(clock, span);
            writeIndex += span;
            if (writeIndex >= historyLength)
                writeIndex = 0;
            i += span;
        }
    }
    resetVoicesPending = 1;
}

// ---------------------------------------------------------------------------
// Shared helpers of the voice path

void LoopsMode::RebuildFadeTable()
{
    fadeTableLength = fadeLength;
    if (fadeLength < 1 || fadeLength > kFadeTableSize)
        return;
    for (int p = 0; p < fadeLength; ++p)
        fadeTable[static_cast<size_t>(p)] = std::sin((p + 1) * kPi / 2.0 / (fadeLength + 1));
}

double LoopsMode::Fade(int32_t position, int32_t length)
{
    const int32_t f = fadeLength;
    if (f < 1)
        return 1.0;
    if (fadeTableLength != f)
        RebuildFadeTable();
    // Positions outside the segment take the gain of its nearest end rather than
    // the negative values the curve would give there.
    const int64_t len = std::max<int64_t>(length, 1);
    const int64_t p = std::min<int64_t>(std::max<int64_t>(position, 0), len - 1);
    int64_t step; // 1..f along the curve, or 0 for the flat middle
    if (p < f)
        step = p + 1;
    else if (len - p - 1 >= f)
        return 1.0;
    else
        step = len - p;
    if (f <= kFadeTableSize)
        return fadeTable[static_cast<size_t>(step - 1)];
    return std::sin(static_cast<double>(step) * kPi / 2.0 / (f + 1));
}

LoopsMode::RingView LoopsMode::CurrentRing() const
{
    // The oldest slot still inside the ring is clock - historyLength; two slots
    // of margin keep linear and sinc taps off the slot being overwritten next.
    RingView view;
    view.left = HistoryRing{historyL.data(), historyLength, writeIndex, clock};
    view.right = HistoryRing{historyR.data(), historyLength, writeIndex, clock};
    view.newest = std::max(clock - 1.0, 0.0);
    view.oldest = std::max(clock - static_cast<double>(historyLength - 2), 0.0);
    return view;
}

double LoopsMode::RingView::Clamp(double position) const
{
    if (!(position >= oldest))
        return oldest;
    return position > newest ? newest : position;
}

double LoopsMode::ClampToRing(double position) const
{
    return CurrentRing().Clamp(position);
}

void LoopsMode::ReadHistory(const RingView& ring, double position, int interpolation, double& outL, double& outR) const
{
    const double p = ring.Clamp(position);
    if (interpolation == 0)
        ReadLinearPair(ring, p, outL, outR);
    else
        ReadSincPair(ring, p, interpolation, outL, outR);
}

void LoopsMode::ReadLinearPair(const RingView& ring, double position, double& outL, double& outR)
{
    // Both channels share the ring's geometry, so one index serves both.
    const double f = RingIndex(ring.left, position);
    if (f < 0.0) {
        outL = outR = 0.0f;
        return;
    }
    const int i = static_cast<int>(f);
    const double frac = f - i;
    const int j = i + 1 >= ring.left.length ? 0 : i + 1;
    outL = static_cast<float>(ring.left.samples[i] * (1.0 - frac) + ring.left.samples[j] * frac);
    outR = static_cast<float>(ring.right.samples[i] * (1.0 - frac) + ring.right.samples[j] * frac);
}

void LoopsMode::ReadSincPair(const RingView& ring, double position, int interpolation, double& outL, double& outR)
{
    // ReadSinc for both channels at once: the taps' places and weights depend
    // only on the ring's geometry, so each is worked out once for the pair.
    const SincTable& table = GetSincTable(interpolation);
    SincPlace place;
    if (!FindSincPlace(ring.left, position, table, place)) {
        outL = outR = 0.0f;
        return;
    }
    const int length = ring.left.length;
    const int taps = table.TapCount();
    double sumL = 0.0;
    double sumR = 0.0;
    const int firstDelay = place.FirstDelay(table);
    if (firstDelay - (taps - 1) >= 1 && firstDelay <= length - 1) {
        // No tap is held at either end of the ring: the taps are consecutive
        // slots, wrapping at most once.
        int start = ring.left.writeIndex - firstDelay;
        if (start < 0)
            start += length;
        const int beforeWrap = std::min(taps, length - start);
        const float* l = ring.left.samples + start;
        const float* r = ring.right.samples + start;
        for (int k = 0; k < beforeWrap; ++k) {
            const double weight = place.Weight(k);
            sumL += weight * l[k];
            sumR += weight * r[k];
        }
        for (int k = beforeWrap; k < taps; ++k) {
            const double weight = place.Weight(k);
            sumL += weight * ring.left.samples[k - beforeWrap];
            sumR += weight * ring.right.samples[k - beforeWrap];
        }
    } else {
        for (int k = 0; k < taps; ++k) {
            const int index = place.HeldTapIndex(ring.left, table, k);
            const double weight = place.Weight(k);
            sumL += weight * ring.left.samples[index];
            sumR += weight * ring.right.samples[index];
        }
    }
    outL = static_cast<float>(sumL);
    outR = static_cast<float>(sumR);
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

namespace {
int InterpolationFor(double speedLimit)
{
    if (speedLimit >= 3.999)
        return 4;
    if (speedLimit >= 1.999)
        return 2;
    return 0;
}
} // namespace

// ---------------------------------------------------------------------------
// Processing

void LoopsMode::Process(float* left, float* right, int n, DriftContext& drift)
{
    if (resetVoicesPending) {
        for (LoopVoice& voice : voices)
            voice.segmentLength = 0;
        resetVoicesPending = 0;
    }
    if (n < 1)
        return;
    if (!IsReady()) {
        std::fill(left, left + n, 0.0f);
        std::fill(right, right + n, 0.0f);
        return;
    }
    if (fadeTableLength != fadeLength)
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
        const bool settled = !sync.boundaryFound && SnapshotControls().SameBits(before);
        const int count = settled ? n - done : 1;
        done += RenderRun(left + done, right + done, count, run);
    }
}

LoopsMode::ControlSnapshot LoopsMode::SnapshotControls() const
{
    ControlSnapshot s;
    s.values = {amountSmoother.current,
                octavesSmoother.current,
                reverseSmoother.current,
                reachSmoother.current,
                widthSmoother.current,
                octaves,
                reverse,
                reach,
                width,
                chaos,
                voiceSmootherTime};
    s.flags = {recordingStopped, voiceSmoothersValid, chaosWasZero, wasSynced, randomised};
    s.counters = {randomGeneration, divisionsPerLoop, divisionCounter, static_cast<uint32_t>(lastDivisionSamples)};
    std::copy(std::begin(startCountdown), std::end(startCountdown), s.countdowns.begin());
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
    amountSmoother.Step(dt);
    StepShapeControls(dt);

    if (!freezeRequested)
        recordingStopped = 0;
    else if (AllVoicesPrimed())
        recordingStopped = 1;

    chaos = Clamp01(drift.amount);

    ConfigureVoiceSmoothers();
    RunControls run;
    run.justZeroed = chaos <= 0.0 && !chaosWasZero;
    chaosWasZero = chaos <= 0.0 ? 1 : 0;

    run.startAmount = amountSmoother.current;
    run.locked = UpdateTempoLock(run.loopSamples);
    return run;
}

bool LoopsMode::AllVoicesPrimed() const
{
    return std::all_of(std::begin(voices), std::end(voices), [](const LoopVoice& v) { return v.primed != 0; });
}

int LoopsMode::RenderRun(float* left, float* right, int n, const RunControls& run)
{
    const double dt = 1.0 / sampleRate;
    const double rampStep = 1.0 / (kRampSeconds * sampleRate);
    // A voice priming while a freeze waits for it stops the recording from the
    // next sample on, so the run ends there.
    const bool awaitingFreeze = freezeRequested && !recordingStopped;
    // The LFO rates hold for the run; only their phases move per sample. The
    // steps are read only while chaos moves the LFOs, so only then filled.
    double lfoSteps[kVoiceCount][LoopVoice::kLfoCount];
    if (chaos > 0.0)
        for (int v = 0; v < kVoiceCount; ++v)
            for (int k = 0; k < LoopVoice::kLfoCount; ++k)
                lfoSteps[v][k] = (voices[v].lfoRate[k] * 0.075 + 0.025) * lfoRateScale * dt;
    for (int i = 0; i < n; ++i) {
        UpdateVoiceLfosAndTargets(lfoSteps, run.justZeroed);

        if (!recordingStopped) {
            historyL[static_cast<size_t>(writeIndex)] = left[i];
            historyR[static_cast<size_t>(writeIndex)] = right[i];
            clock += 1.0;
            if (++writeIndex >= historyLength)
                writeIndex = 0;
        }

        if (run.locked && sync.boundaryOffset >= 0 && i >= sync.boundaryOffset
            && (i - sync.boundaryOffset) % sync.divisionSamples == 0)
            CountDivision(run.loopSamples);

        monoAmount = RampToward(monoAmount, monoTarget, rampStep);

        const RingView ring = CurrentRing();
        double sumL = 0.0;
        double sumR = 0.0;
        bool levelsMoved = false;
        for (int v = 0; v < kVoiceCount; ++v) {
            const double level = RampToward(voiceLevels[v], kVoiceOrder[v] < voiceCount ? 1.0 : 0.0, rampStep);
            levelsMoved = levelsMoved || level != voiceLevels[v];
            voiceLevels[v] = level;
            StartVoiceWhenDue(v, run.startAmount);
            RenderVoice(v, ring, sumL, sumR);
        }

        // Unchanged levels give the sum the norm was last worked out from.
        if (i == 0 || levelsMoved)
            UpdateOutputNorm();
        left[i] = static_cast<float>(outputNorm * sumL);
        right[i] = static_cast<float>(outputNorm * sumR);
        SaturatingIncrement(sampleCounter);

        if (awaitingFreeze && AllVoicesPrimed())
            return i + 1;
    }
    return n;
}

void LoopsMode::UpdateVoiceLfosAndTargets(const double (&lfoSteps)[kVoiceCount][LoopVoice::kLfoCount], bool justZeroed)
{
    for (int v = 0; v < kVoiceCount; ++v) {
        LoopVoice& voice = voices[v];
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
        voice.gainSmoother.target = Clamp((1.0 + 0.05 * chaos * voice.Lfo(2)) * voice.baseGain, 0.0, 1.0);
        voice.panSmoother.target = Clamp(voice.basePan + 0.5 * chaos * voice.Lfo(3), -1.0, 1.0);
    }
}

bool LoopsMode::UpdateTempoLock(int32_t& loopSamples)
{
    const int32_t division = sync.divisionSamples;
    const bool found = sync.boundaryFound != 0;
    const bool locked = found && division >= 1;
    uint32_t d = 1;
    if (locked) {
        const double fades = static_cast<double>(std::max(2 * fadeLength, 1));
        d = static_cast<uint32_t>(std::max(std::ceil(fades / division), 1.0));
    }
    if (found && (!wasSynced || sync.movedBack || division != lastDivisionSamples || d != divisionsPerLoop)) {
        divisionCounter = 0;
        for (int32_t& c : startCountdown)
            c = -1;
    }
    wasSynced = found ? 1 : 0;
    divisionsPerLoop = d;
    lastDivisionSamples = division;
    loopSamples = 0;
    if (locked)
        loopSamples = static_cast<int32_t>(
            std::min<int64_t>(Round64(kMaxSegmentSeconds * sampleRate), static_cast<int64_t>(division) * d));
    else
        for (int32_t& c : startCountdown)
            c = -1;
    return locked;
}

void LoopsMode::RenderVoice(int v, const RingView& ring, double& sumL, double& sumR)
{
    LoopVoice& voice = voices[v];

    const double age = clock - voice.readPosition;
    minVoiceAge = std::min(minVoiceAge, age);
    maxVoiceAge = std::max(maxVoiceAge, age);

    voice.speed = voice.speedSmoother.Tick();
    voice.gain = voice.gainSmoother.Tick();
    voice.pan = voice.panSmoother.Tick();

    double outL = 0.0;
    double outR = 0.0;
    if (voice.ended) {
        if (voice.tailActive && voice.fadeRemaining >= 1)
            RenderTail(v, ring, outL, outR);
    } else {
        double l = 0.0;
        double r = 0.0;
        ReadHistory(ring, voice.readPosition, InterpolationFor(voice.speedLimit), l, r);
        if (voice.pitchShifted) {
            l = shifters[0].Process(static_cast<float>(l));
            r = shifters[1].Process(static_cast<float>(r));
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
                const double w = static_cast<double>(voice.fadeRemaining) / std::max(fadeLength, 1);
                outL += w * voice.heldOutL;
                outR += w * voice.heldOutR;
                voice.fadeRemaining -= 1;
            }
        }
        voice.lastOutL = outL;
        voice.lastOutR = outR;
    }

    sumL += voiceLevels[v] * outL;
    sumR += voiceLevels[v] * outR;

    if (!voice.ended)
        AdvanceVoice(voice, ring);
    if (voice.segmentPosition < std::numeric_limits<int32_t>::max())
        voice.segmentPosition += 1;
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
    if (randomised && drift.generation == randomGeneration)
        return;
    for (int v = 0; v < kVoiceCount; ++v) {
        LoopVoice& voice = voices[v];
        uint32_t s = (drift.seed ^ 0x5EED1005u) + static_cast<uint32_t>(v + 1) * 0x9E3779B9u;
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
    randomised = 1;
    randomGeneration = drift.generation;
}

void LoopsMode::StartVoice(int v, double a)
{
    LoopVoice& voice = voices[v];
    const int32_t old = voice.segmentLength;
    const double sr = sampleRate;
    const double L = static_cast<double>(historyLength);
    const int32_t minSeg = std::max(2 * fadeLength, 1);
    const bool locked = sync.boundaryFound && sync.divisionSamples > 0;

    const double len = SegmentSamples(voice, locked, minSeg);
    double speed = OctaveSpeed(voice, a);
    bool rev = WantsReverse(voice, a);

    // Chaos events.
    const double p = 0.35 * std::max(2.0 * chaos - 1.0, 0.0);
    const uint32_t x1 = XorShift(voice.rng);
    const uint32_t x2 = XorShift(voice.rng);
    const uint32_t x3 = XorShift(voice.rng);
    const uint32_t x4 = XorShift(voice.rng);
    const bool e1 = !lfoMotion && p > Unit(x1);
    const bool e2 = !lfoMotion && p > Unit(x2);
    const bool e3 = !lfoMotion && p > Unit(x3);
    int shiftDown;
    if (octaveDirection == 1)
        shiftDown = 0;
    else if (octaveDirection == 2)
        shiftDown = 1;
    else
        shiftDown = static_cast<int>(2.0 * Unit(x4)) & 1;
    if (e1) {
        rev = !rev;
        SaturatingIncrement(chaosReverseFlips);
    }
    if (e2 && octaveDirection != 1) {
        speed *= 0.5;
        SaturatingIncrement(chaosOctaveDrops);
    }

    const double g = Clamp(std::fabs(voice.speedSmoother.current), 0.25, 4.0);
    voice.reversed = rev ? 1 : 0;
    if (rev)
        speed = -speed;

    if (voice.pitchShifted) {
        if (shifterOwner == v)
            shifterOwner = -1;
        voice.pitchShifted = 0;
    }

    voice.speedLimit = std::fabs(speed);
    if (lfoMotion && chaos > 0.0)
        voice.speedLimit = std::max(g, std::fabs(speed));

    // Room in the history.
    const double A = std::max(clock - 1.0, 0.0);
    double R = std::min(std::min(kHistorySeconds - len / sr - 4.0, 2.0 * len / sr) * sr, clock);
    const double J = std::min(len / 12.0, 0.02 * sr);
    const double fill = len == 0.0 ? 1.0 : Clamp(A / (2.0 * len), 0.0, 1.0);

    // Effective length.
    double E;
    double fraction;
    if (locked) {
        E = len;
        fraction = 1.0;
    } else {
        E = std::max(len * fill, static_cast<double>(minSeg));
        R = len > 0.0 ? R * E / len : 0.0;
        if (voice.speedLimit > 0.0)
            E = std::min(std::max(A / voice.speedLimit, static_cast<double>(minSeg)), E);
        R = std::min(std::max(A - 5.0 * E / 6.0 - J, E), R);
        fraction = len > 0.0 ? E / len : 0.0;
    }

    // Level scale: half level until one full-length segment has fitted.
    voice.lengthFraction = fraction;
    if (fraction > voice.peakFraction)
        voice.peakAmount = a;
    voice.peakFraction = std::max(voice.peakFraction, fraction);
    voice.levelScale = std::pow(0.5, 1.0 - Clamp01(voice.peakFraction));

    // Placement.
    const double Rm = std::max(R - E, 0.0);
    const double S = v * E / 6.0;
    const double SP = std::min(L - E - 8.0, E * voice.speedLimit);
    double D = reach * a * voice.rReach * Rm + E + S + voice.Lfo(1) * reach * 0.25 * chaos * Rm;
    if (!lfoMotion)
        D += Unit(StartJitterHash(voiceStartCounter)) * fraction * J;
    else {
        const double lo = std::min(L - E - 4.0, std::max(S + E, SP));
        const double hi = std::min(A, L - E - 4.0);
        D = lo
            + std::max(hi - lo, 0.0) * reach
                  * Clamp01((1.0 - chaos) * voice.rReach + chaos * 0.5 * (voice.Lfo(1) + 1.0));
    }
    const double X = Clamp(D, SP, std::max(L - E - 4.0, SP));
    voice.startDelay = Round32(X);

    voice.ended = X > clock - 1.0 ? 1 : 0;
    if (!voice.ended)
        voice.primed = 1;

    if (e3 && !voice.ended && shifterOwner < 0)
        HandShiftersTo(v, shiftDown == 1);
    PlaceWindow(voice, A, SP, rev);

    // Segment, with the first-start stagger of a free-running voice.
    voice.segmentPosition = 0;
    voice.segmentLength = std::max(minSeg, Round32(E));
    if (old == 0 && !locked) {
        const int32_t q = static_cast<int32_t>(static_cast<int64_t>(voice.segmentLength) * v / kVoiceCount);
        if (!voice.ended)
            voice.segmentLength = std::max(minSeg, voice.segmentLength - q);
        else
            voice.segmentPosition = q;
    }

    voice.startStamp = sampleCounter;
    voice.baseSpeed = speed;
    voice.baseGain = 1.0 - 0.75 * a * voice.rGain;
    voice.basePan = a * width * voice.rPan;

    if (voice.pitchShifted)
        PrefillShifters(voice);

    voice.speedSmoother.target = Clamp(speed, -voice.speedLimit, voice.speedLimit);
    voice.speedSmoother.current = (lfoMotion && chaos > 0.0) ? std::copysign(g, speed) : speed;
    voice.gainSmoother.target = Clamp((1.0 + 0.05 * chaos * voice.Lfo(2)) * voice.baseGain, 0.0, 1.0);
    voice.panSmoother.target = Clamp(voice.basePan + 0.5 * chaos * voice.Lfo(3), -1.0, 1.0);

    SaturatingIncrement(voiceStartCounter);
}

void LoopsMode::StepShapeControls(double dt)
{
    struct ShapeControl
    {
        ParamSmoother& smoother;
        double target;
        double& value;
    };
    ShapeControl shape[] = {{octavesSmoother, octavesTarget, octaves},
                            {reverseSmoother, reverseTarget, reverse},
                            {reachSmoother, reachTarget, reach},
                            {widthSmoother, widthTarget, width}};
    for (ShapeControl& c : shape) {
        // A control resting on its target stays there bit for bit (a step of a
        // signed zero lands back on the target through the snap below).
        if (EngineMath::SameBits(c.smoother.current, c.target) && EngineMath::SameBits(c.smoother.target, c.target)
            && EngineMath::SameBits(c.value, c.target))
            continue;
        c.smoother.Step(dt);
        if (std::fabs(c.smoother.current - c.target) < 1e-9)
            c.smoother.current = c.target;
        c.value = c.smoother.current;
    }
}

void LoopsMode::ConfigureVoiceSmoothers()
{
    const double smootherTime = lfoMotion ? 0.01 + 0.09 * chaos * chaos : 0.02;
    if (voiceSmoothersValid && smootherTime == voiceSmootherTime)
        return;
    for (LoopVoice& voice : voices) {
        voice.speedSmoother.Configure(std::max(smootherTime, 1e-9), sampleRate);
        voice.gainSmoother.Configure(std::max(smootherTime, 1e-9), sampleRate);
        voice.panSmoother.Configure(std::max(smootherTime, 1e-9), sampleRate);
    }
    voiceSmootherTime = smootherTime;
    voiceSmoothersValid = 1;
}

void LoopsMode::CountDivision(int32_t loopSamples)
{
    // Only the count modulo divisionsPerLoop matters, so it is kept reduced
    // and can never wrap.
    divisionCounter = divisionCounter % divisionsPerLoop + 1;
    if (divisionCounter % divisionsPerLoop == 0) {
        for (int k = 0; k < kVoiceCount; ++k)
            startCountdown[k] = static_cast<int32_t>(static_cast<int64_t>(loopSamples) * k / kVoiceCount);
    }
}

void LoopsMode::StartVoiceWhenDue(int v, double startAmount)
{
    LoopVoice& voice = voices[v];
    const int32_t c = startCountdown[v];
    if (c > 0)
        startCountdown[v] = c - 1;
    else if (c == 0) {
        startCountdown[v] = -1;
        if (voice.segmentPosition < voice.segmentLength) {
            voice.fadeRemaining = std::max(fadeLength, 1);
            voice.heldOutL = voice.lastOutL;
            voice.heldOutR = voice.lastOutR;
            if (!voice.ended && !voice.pitchShifted)
                CaptureTail(v);
            else
                voice.tailActive = 0; // an older tail would replay; declick from the held output instead
        }
    }
    if (c == 0 || voice.segmentPosition >= voice.segmentLength)
        StartVoice(v, startAmount);
}

void LoopsMode::UpdateOutputNorm()
{
    const double s = voiceLevels[0] * voiceLevels[0] + voiceLevels[1] * voiceLevels[1] + voiceLevels[2] * voiceLevels[2]
                     + voiceLevels[3] * voiceLevels[3] + voiceLevels[4] * voiceLevels[4]
                     + voiceLevels[5] * voiceLevels[5];
    if (outputNormValid && s == outputNormSum)
        return;
    outputNorm = std::sqrt(6.0 / std::max(s, 1.0)) * 0.408248290463863;
    outputNormSum = s;
    outputNormValid = 1;
}

double LoopsMode::SegmentSamples(LoopVoice& voice, bool locked, int32_t minSeg) const
{
    const double sr = sampleRate;
    if (locked)
        return static_cast<double>(std::min<int64_t>(Round64(kMaxSegmentSeconds * sr),
                                                     static_cast<int64_t>(divisionsPerLoop) * sync.divisionSamples));
    double t = (chaos * 0.1 * voice.Lfo(4) + 1.0) * Clamp(loopTime, 0.01, kMaxSegmentSeconds);
    t = Clamp(t, 0.01, kMaxSegmentSeconds);
    return static_cast<double>(std::max<int64_t>(minSeg, Round64(t * sr)));
}

double LoopsMode::OctaveSpeed(LoopVoice& voice, double a) const
{
    double r = lfoMotion ? (1.0 - chaos) * voice.rOctave + chaos * voice.Lfo(0) : a * voice.rOctave;
    if (octaveDirection == 1)
        r = std::fabs(r);
    else if (octaveDirection == 2)
        r = -std::fabs(r);
    return std::ldexp(1.0, Round32(2.0 * octaves * r));
}

bool LoopsMode::WantsReverse(const LoopVoice& voice, double a) const
{
    if (!lfoMotion)
        return std::max((a - 0.4) / 0.6, 0.0) * 0.5 * reverse > voice.rReverse;
    if (!(reverse > 0.0))
        return false;
    // A little hysteresis keeps a wandering voice from flipping at every start.
    const double h = voice.reversed ? 0.04 : -0.04;
    const double wander = 0.5 * (EngineMath::Sin(kTwoPi * (voice.rReverse + voice.lfoPhase[1])) + 1.0);
    return (0.5 * reverse + h) > ((1.0 - chaos) * voice.rReverse + chaos * wander);
}

void LoopsMode::HandShiftersTo(int v, bool down)
{
    shifterOwner = v;
    voices[v].pitchShifted = 1;
    SaturatingIncrement(shifterStarts);
    if (down)
        SaturatingIncrement(shifterStartsDown);
    const double ratio = down ? 0.5 : 2.0;
    for (GrainShifter& shifter : shifters) {
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
    const double start = std::max(clock - 1.0 - voice.startDelay, 0.0);
    const double end = std::min(clock - 1.0, start + span);
    voice.windowStart = start;
    voice.windowSpan = std::max(end - start, 0.0);
    voice.readPosition = reversed ? end : start;
}

void LoopsMode::PrefillShifters(LoopVoice& voice)
{
    // The shifter starts every grain 60 ms behind its newest sample; handing it
    // the voice's next 60 ms of path lets it begin with audio instead of silence.
    const int32_t n = std::min(Round32(kShifterPrefillSeconds * sampleRate), static_cast<int32_t>(scratch.size()));
    if (n <= 0)
        return;
    const bool rev = voice.reversed != 0;
    const SampleHistory* channels[2] = {&historyL, &historyR};
    for (int c = 0; c < 2; ++c) {
        HistoryRing ring{channels[c]->data(), historyLength, writeIndex, clock};
        for (int32_t k = 0; k < n; ++k) {
            const double p = LoopVoice::WrapIntoWindow(k * voice.baseSpeed + voice.readPosition, voice.windowStart,
                                                       voice.windowSpan, rev);
            scratch[static_cast<size_t>(k)] = ReadLinear(ring, ClampToRing(p));
        }
        shifters[c].Prefill(scratch.data(), n);
    }
    voice.readPosition = ClampToRing(
        LoopVoice::WrapIntoWindow(n * voice.baseSpeed + voice.readPosition, voice.windowStart, voice.windowSpan, rev));
}

void LoopsMode::CaptureTail(int v)
{
    LoopVoice& voice = voices[v];
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
    LoopVoice& voice = voices[v];
    const int32_t fm = std::max(fadeLength, 1);
    const int32_t k = std::max(fm - voice.fadeRemaining, 0);
    if (voice.tailSegmentPosition < voice.tailSegmentLength && voice.tailWindowSpan > 0.0) {
        double l = 0.0;
        double r = 0.0;
        ReadHistory(ring, voice.tailReadPosition, voice.tailInterpolation, l, r);
        FoldToMono(l, r);
        const double fadeIn = Fade(k, fm + 1 + k);
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

void LoopsMode::SwapState(LoopsMode& a, LoopsMode& b) noexcept
{
    if (&a == &b)
        return;
    LoopsMode temporary(std::move(a));
    a = std::move(b);
    b = std::move(temporary);
}

void LoopsMode::CopyStateFrom(const LoopsMode& source)
{
    if (&source == this)
        return;
    writeIndex = source.writeIndex;
    clock = source.clock;
    recordingStopped = source.recordingStopped;
    loopTime = source.loopTime;
    amount = source.amount;
    freezeRequested = source.freezeRequested;
    lfoRateScale = source.lfoRateScale;
    octaveDirection = source.octaveDirection;
    chaos = source.chaos;
    fadeLength = source.fadeLength;
    amountSmoother = source.amountSmoother;
    octavesSmoother = source.octavesSmoother;
    reverseSmoother = source.reverseSmoother;
    reachSmoother = source.reachSmoother;
    widthSmoother = source.widthSmoother;
    octavesTarget = source.octavesTarget;
    reverseTarget = source.reverseTarget;
    reachTarget = source.reachTarget;
    widthTarget = source.widthTarget;
    octaves = source.octaves;
    reverse = source.reverse;
    reach = source.reach;
    width = source.width;
    for (int v = 0; v < kVoiceCount; ++v)
        voices[v] = source.voices[v];
    sampleCounter = source.sampleCounter;
    divisionsPerLoop = source.divisionsPerLoop;
    divisionCounter = source.divisionCounter;
    wasSynced = source.wasSynced;
    std::copy(std::begin(source.startCountdown), std::end(source.startCountdown), std::begin(startCountdown));
    lastDivisionSamples = source.lastDivisionSamples;
    randomised = source.randomised;
    randomGeneration = source.randomGeneration;
    voiceStartCounter = source.voiceStartCounter;
    minVoiceAge = source.minVoiceAge;
    maxVoiceAge = source.maxVoiceAge;
    shifterOwner = source.shifterOwner;
    if (source.shifterOwner >= 0) {
        // Copy assignment reuses this object's ring when the lengths agree.
        shifters[0] = source.shifters[0];
        shifters[1] = source.shifters[1];
    }
    chaosReverseFlips = source.chaosReverseFlips;
    chaosOctaveDrops = source.chaosOctaveDrops;
    shifterStarts = source.shifterStarts;
    shifterStartsDown = source.shifterStartsDown;
    resetVoicesPending = source.resetVoicesPending;
    sync = source.sync;
    voiceSmoothersValid = 0;
    chaosWasZero = 0;
}

bool LoopsMode::Resample(double newRate)
{
    if (newRate == sampleRate)
        return true;
    if (!(newRate >= kMinSampleRate && newRate <= kMaxSampleRate) || !IsReady())
        return false;
    const double k = newRate / sampleRate;

    std::unique_ptr<LoopsMode> t;
    try {
        t = std::make_unique<LoopsMode>();
        t->Prepare(newRate, 512);
        if (!t->IsReady())
            return false;
        t->CopyStateFrom(*this);
        for (GrainShifter& shifter : t->shifters)
            shifter.Resample(newRate);
    } catch (const std::bad_alloc&) {
        return false;
    }

    // Every absolute position p maps to p * k; slot j of the new ring holds new
    // position newClock - newLength + j. Reads stop at the newest old sample so
    // the newest slots never blend in the oldest one.
    t->writeIndex = 0;
    t->clock = clock * k;
    const HistoryRing oldL{historyL.data(), historyLength, writeIndex, clock};
    const HistoryRing oldR{historyR.data(), historyLength, writeIndex, clock};
    const double newest = std::max(clock - 1.0, 0.0);
    const int32_t newLength = t->historyLength;
    for (int32_t j = 0; j < newLength; ++j) {
        const double age = std::min((newLength - j) / k, static_cast<double>(historyLength - 1));
        const double p = std::min(clock - age, newest);
        t->historyL[static_cast<size_t>(j)] = ReadLinear(oldL, p);
        t->historyR[static_cast<size_t>(j)] = ReadLinear(oldR, p);
    }

    for (LoopVoice& voice : t->voices) {
        voice.segmentLength = std::max(Round32(voice.segmentLength * k), 1);
        voice.segmentPosition = std::max(std::min(Round32(voice.segmentPosition * k), voice.segmentLength - 1), 0);
        // Scaled separately, the two roundings could leave the declick longer than
        // the fade it belongs to.
        voice.fadeRemaining = std::min(Round32(voice.fadeRemaining * k), std::max(Round32(fadeLength * k), 1));
        voice.tailActive = 0;
        voice.tailReversed = 0;
        voice.readPosition *= k;
        voice.windowStart *= k;
        voice.windowSpan *= k;
        voice.startDelay = Round32(voice.startDelay * k);
        voice.startStamp = TruncateU64(static_cast<double>(voice.startStamp) * k);
        voice.speedSmoother.Configure(kSmootherSeconds, newRate);
        voice.gainSmoother.Configure(kSmootherSeconds, newRate);
        voice.panSmoother.Configure(kSmootherSeconds, newRate);
    }
    t->fadeLength = Round32(fadeLength * k);
    t->sampleCounter = TruncateU64(static_cast<double>(sampleCounter) * k);
    for (ParamSmoother* s :
         {&t->amountSmoother, &t->octavesSmoother, &t->reverseSmoother, &t->reachSmoother, &t->widthSmoother})
        s->Configure(kSmootherSeconds, newRate);

    t->sync = TempoSyncInfo{};
    t->sync.boundaryOffset = -1;
    t->wasSynced = 0;
    t->lastDivisionSamples = 0;
    for (int32_t& c : t->startCountdown)
        c = -1;

    SwapState(*this, *t);
    return true;
}
