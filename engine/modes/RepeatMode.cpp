
#include "engine/modes/RepeatMode.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>

#include "engine/dsp/EngineMath.h"

namespace {

using EngineMath::kHalfPi;
using EngineMath::kPi;
using EngineMath::SaturatingIncrement;
constexpr double kMinTime = 0.001; // s
constexpr double kMaxTime = 1.2;   // s
// MACRO a gives a slice of kMacroShortest x kMacroRange^a seconds.
constexpr double kMacroShortest = 0.01; // s
constexpr double kMacroRange = 120.0;
// The history holds this many slices of the longest time: 64 repeats and the newest.
constexpr double kHistorySlices = 65.0;
constexpr double kSmoothingSeconds = 0.01; // decay, feedback and stereo width
constexpr double kGainRampSeconds = 0.005; // repeat gains and the hold mix, linear
constexpr double kFeedbackLowpassHz = 8000.0;
constexpr double kEnvelopeFastSeconds = 0.005;
constexpr double kEnvelopeSlowSeconds = 0.05;
// A transient: the fast envelope above the floor and above the slow one by the
// ratio (about 4 dB); the detector then rests for the hold-off.
constexpr double kTransientFloor = 9e-6;
constexpr double kTransientRatio = 2.5600000000000005;
constexpr double kTransientMargin = 1e-12;
constexpr double kTransientHoldoffSeconds = 0.06;
// The first stretch of a repeat after its slice start plays at unit speed, and a
// transient re-aligns the taps by as much.
constexpr double kUnisonEdgeSeconds = 0.01;
constexpr double kEdgeFadeSeconds = 0.012;
constexpr double kSpeedFadeSeconds = 0.005;
constexpr double kOffsetFadeSeconds = 0.02;
constexpr double kTransitionSeconds = 0.04;
// The dip carved before the next repeat, between these fractions of a slice.
constexpr double kDipStart = 0.7;
constexpr double kDipEnd = 0.95;
constexpr double kDipDepth = 0.9;
// Below this energy a correlation is taken as none.
constexpr double kEnergyFloor = 1e-12;
constexpr int32_t kIdleCount = 1000000;
// Below this many unit-speed taps a sample sums at once: holding its output back
// for a run costs more than the run saves.
constexpr int kFewestTapsForRun = 8;
// Below these magnitudes the feedback amount and the feedback filter land on 0.
constexpr double kFeedbackFloor = 1e-12;
constexpr double kFeedbackFilterFloor = 1e-20;

double Clamp(double x, double lo, double hi)
{
    return x < lo ? lo : (x > hi ? hi : x);
}

size_t SliceCapacity(double sampleRate)
{
    return static_cast<size_t>(std::ceil(kMaxTime * sampleRate)) + 8;
}

double HistoryCapacity(double sampleRate)
{
    return std::ceil(kMaxTime * kHistorySlices * sampleRate) + 8.0;
}

// One stray NaN or infinity would otherwise live on in the history for 78 s and
// in the feedback filter and envelopes until the next reset.
float FiniteOrZero(float x)
{
    return std::isfinite(x) ? x : 0.0f;
}

double SoftLimit(double x)
{
    const double magnitude = std::fabs(x);
    if (magnitude <= 1.0)
        return x;
    const double limited = 1.0 + EngineMath::Tanh(magnitude - 1.0);
    return x < 0.0 ? -limited : limited;
}

} // namespace

void RepeatMode::ReleaseBuffers()
{
    history.Release();
    feedbackLine.Release();
    for (int c = 0; c < 2; ++c)
        std::vector<float>().swap(capture[c]);
}

bool RepeatMode::AllocateBuffers()
{
    // A rate whose history could not even be addressed fails like an allocation.
    const double historySamples = HistoryCapacity(sampleRate);
    if (!(historySamples < static_cast<double>(std::vector<float>().max_size() / 8))) {
        ReleaseBuffers();
        return false;
    }
    const size_t slice = SliceCapacity(sampleRate);
    if (!history.Allocate(static_cast<size_t>(historySamples)) || !feedbackLine.Allocate(2 * slice)) {
        ReleaseBuffers();
        return false;
    }
    try {
        for (int c = 0; c < 2; ++c)
            capture[c].assign(slice, 0.0f);
        return true;
    } catch (const std::bad_alloc&) {
        ReleaseBuffers();
        return false;
    }
}

void RepeatMode::Prepare(double rate, int)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    coefficient10ms = 1.0 - std::exp(-1.0 / (sampleRate * kSmoothingSeconds));
    rampStep = 1.0 / (sampleRate * kGainRampSeconds);
    lowpass8k = 1.0 - std::exp(-2.0 * kPi * kFeedbackLowpassHz / sampleRate);
    coefficient5ms = 1.0 - std::exp(-1.0 / (sampleRate * kEnvelopeFastSeconds));
    coefficient50ms = 1.0 - std::exp(-1.0 / (sampleRate * kEnvelopeSlowSeconds));
    prepared = AllocateBuffers();
    // A preparation starts over like construction, so the same chaos seed
    // replays the same speed pattern after every preparation.
    started = 0;
    Reset();
}

void RepeatMode::Reset()
{
    feedbackLine.Clear();
    history.Rewind();
    for (int c = 0; c < 2; ++c) {
        std::fill(capture[c].begin(), capture[c].end(), 0.0f);
        feedbackFilter[c] = 0.0;
    }
    sliceLength = time * sampleRate;
    decay = decayTarget;
    feedback = feedbackTarget;
    clock = 0;
    feedbackValidFrom = 0;
    position = 0.0;
    captureStart = 0.0;
    captureLength = 0;
    captured = 0;
    previousHold = 0;
    holdMix = 0.0;
    stereoWidth = preserveStereo ? 1.0 : 0.0;
    std::fill(std::begin(repeatGain), std::end(repeatGain), 0.0);
    gainsSettled = false;
    std::fill(std::begin(speed), std::end(speed), 1.0);
    std::fill(std::begin(previousSpeed), std::end(previousSpeed), 1.0);
    std::fill(std::begin(speedClass), std::end(speedClass), static_cast<uint8_t>(kUnitStepClass));
    std::fill(std::begin(previousSpeedClass), std::end(previousSpeedClass),
              static_cast<uint8_t>(kPreviousCycleClasses + kUnitStepClass));
    std::fill(std::begin(classSpeed), std::end(classSpeed), 1.0);
    NoteUnitSpeedTaps();
    classesInUse = 1u << kUnitStepClass | 1u << (kPreviousCycleClasses + kUnitStepClass);
    previousSliceLength = sliceLength;
    cycleCount = kIdleCount;
    offsetFadeCount = kIdleCount;
    envelopeFast = envelopeSlow = 0.0;
    readOffsetA = readOffsetB = 0.0;
    previousPosition = previousOffsetA = 0.0;
    transitionCount = -1;
    transientHistory = 0;
    transientSeen = 0;
}

bool RepeatMode::RestoreState(const State& saved)
{
    static_cast<State&>(*this) = saved;
    prepared = BuffersFit() && RebuildSpeedClasses();
    NoteUnitSpeedTaps();
    gainsSettled = false;
    tapDecayOf = std::numeric_limits<double>::quiet_NaN();
    run.Clear();
    return prepared;
}

bool RepeatMode::BuffersFit() const
{
    const size_t slice = SliceCapacity(sampleRate);
    return !history.Empty() && static_cast<double>(history.Length()) == HistoryCapacity(sampleRate)
           && feedbackLine.Length() == 2 * slice && capture[0].size() == slice && capture[1].size() == slice;
}

// The speed classes are not part of the state: equal speeds of a cycle share a
// class, the current cycle's in classes 0..4 and the previous one's in 5..9.
bool RepeatMode::RebuildSpeedClasses()
{
    classesInUse = 0;
    return GroupSpeeds(speed, speedClass, 0) && GroupSpeeds(previousSpeed, previousSpeedClass, kPreviousCycleClasses);
}

bool RepeatMode::GroupSpeeds(const double* speeds, uint8_t* classes, int firstClass)
{
    int used = 0;
    for (int k = 0; k < kMaxRepeats; ++k) {
        int c = firstClass;
        while (c < firstClass + used && classSpeed[c] != speeds[k])
            ++c;
        if (c == firstClass + used) {
            if (used == kPreviousCycleClasses)
                return false;
            classSpeed[c] = speeds[k];
            ++used;
        }
        classes[k] = static_cast<uint8_t>(c);
        classesInUse |= 1u << c;
    }
    return true;
}

void RepeatMode::SetControls(double a, double b)
{
    SetTime(kMacroShortest * std::pow(kMacroRange, Clamp(a, 0.0, 1.0)));
    shape = Clamp(b, 0.0, 1.0);
}

void RepeatMode::SetCount(int repeats)
{
    count = std::clamp(repeats, 1, kMaxRepeats);
}

void RepeatMode::SetTime(double seconds)
{
    // NaN lands on the shortest slice rather than poisoning every position.
    time = seconds >= kMinTime ? std::min(seconds, kMaxTime) : kMinTime;
}

void RepeatMode::SetTempoSync(const TempoSyncInfo& info)
{
    sync = info;
}

// ---------------------------------------------------------------------------
// Reads

double RepeatMode::RaisedCosine(double x)
{
    if (!(x > 0.0))
        return 0.0;
    if (x >= 1.0)
        return 1.0;
    return 0.5 - 0.5 * EngineMath::Cos(kPi * x);
}

double RepeatMode::DipCurve() const
{
    const double r = position / sliceLength;
    if (!(r > kDipStart && r < kDipEnd))
        return 1.0;
    const double s = EngineMath::Sin((r - kDipStart) * 4.0 * kPi);
    return 1.0 - kDipDepth * s * s;
}

double RepeatMode::DipGain() const
{
    return dipFlag ? dipCurve : 1.0;
}

// All 64 repeats share a handful of speeds and two offsets, so the fades of
// each combination in use are worked out once per sample, before the taps.
void RepeatMode::FillTapShapes()
{
    const uint32_t classes = speedFade < 1.0 ? classesInUse : classesInUse & kCurrentCycleClassBits;
    const double now = static_cast<double>(clock);
    for (int c = 0; c < kSpeedClasses; ++c) {
        // Unit-speed taps read without fades.
        if (!((classes >> c) & 1u) || classSpeed[c] == 1.0)
            continue;
        FillShape(tapShapes[c][0], classSpeed[c], readOffsetA, now);
        if (offsetFade.active)
            FillShape(tapShapes[c][1], classSpeed[c], readOffsetB, now);
    }
}

void RepeatMode::FillShape(TapShape& shape, double s, double offset, double now) const
{
    const double edge = std::min(0.5 * sliceLength, kUnisonEdgeSeconds * sampleRate);
    const double fade12 = kEdgeFadeSeconds * sampleRate;
    shape.shift = -offset + (offset - edge) * s + edge;
    shape.writerScale = 0.0;
    shape.writerLimit = std::numeric_limits<double>::infinity();
    if (gapless && s > 1.0) {
        const double fade = std::max(std::min(fade12, 0.25 * sliceLength), 1.0);
        const double beforeEnd = RaisedCosine((sliceLength - offset) / fade);
        shape.gain = std::min(beforeEnd, RaisedCosine(offset / std::min(edge, fade)));
        shape.writerScale = 1.0 / ((s - 1.0) * fade);
        // Reads up to here lie at least twice the fade behind the writer (at
        // least a sample: the speed is above 1.5 and the fade at least 1), far
        // beyond any rounding, so the writer fade is 1 and leaves the gain as it is.
        shape.writerLimit = (now - 1.0) - 2.0 * (s - 1.0) * fade;
    } else if ((offset - edge) * s + edge >= sliceLength) {
        shape.gain = 0.0; // a fast tap that finished its slice waits for the next one
    } else {
        const double end = s > 1.0 ? (sliceLength - edge) / s + edge : sliceLength;
        const double fade = std::max(std::min(fade12, 0.25 * end), 1.0);
        shape.gain = std::min(RaisedCosine((end - offset) / fade), RaisedCosine(offset / std::min(edge, fade)));
    }
}

inline RepeatMode::Frame RepeatMode::TapReadShaped(const Line& line, double src, double s, const TapShape& shape,
                                                   double dip)
{
    if (s == 1.0) {
        const Frame v = line.ReadWritten(src);
        return {v.left * dip, v.right * dip};
    }
    double gain = shape.gain;
    const double rp = src + shape.shift;
    if (rp > shape.writerLimit) {
        // Gapless: fade out before the reader catches up with the write position.
        gain = std::min(gain, RaisedCosine((line.clock - 1.0 - rp) * shape.writerScale));
    }
    if (gain <= 0.0)
        return {};
    const Frame v = line.ReadWritten(rp);
    return {v.left * gain, v.right * gain};
}

inline RepeatMode::Frame RepeatMode::TapRead(const Line& line, double src, double s, int speedClass, int offsetSlot,
                                             double dip) const
{
    return TapReadShaped(line, src, s, tapShapes[speedClass][offsetSlot], dip);
}

inline RepeatMode::Frame RepeatMode::TapReadAligned(const Line& line, double src, double s, int speedClass,
                                                    double dip) const
{
    const Frame a = TapRead(line, src, s, speedClass, 0, dip);
    if (s == 1.0 || !offsetFade.active)
        return a;
    const Frame b = TapRead(line, src, s, speedClass, 1, dip);
    const double ga = offsetFade.gainA;
    const double gb = offsetFade.gainB;
    return {ga * a.left + gb * b.left, ga * a.right + gb * b.right};
}

inline RepeatMode::Frame RepeatMode::TapReadRepeat(const Line& line, double src, int k, double dip) const
{
    const Frame v = TapReadAligned(line, src, speed[k], speedClass[k], dip);
    const double x = speedFade;
    if (x >= 1.0 || previousSpeed[k] == speed[k])
        return v;
    const Frame old = TapReadAligned(line, src, previousSpeed[k], previousSpeedClass[k], dip);
    return {old.left * (1.0 - x) + x * v.left, old.right * (1.0 - x) + x * v.right};
}

double RepeatMode::CaptureRead(int channel, double heldLength, double s) const
{
    const double rp = position * heldLength / sliceLength * s;
    if (rp >= heldLength)
        return 0.0;
    const double fade12 = kEdgeFadeSeconds * sampleRate;
    const double end = std::min(sliceLength / s, sliceLength);
    const double g = RaisedCosine(std::min(end - position, position) / std::max(std::min(fade12, 0.25 * end), 1.0));
    const double dip = s == 1.0 ? DipGain() : 1.0;

    const double k = captureLength;
    double p = std::fmod(k - heldLength + rp, k);
    if (p < 0.0)
        p += k;
    const int32_t i = std::min(static_cast<int32_t>(p), captureLength - 1);
    const int32_t j = i + 1 >= captureLength ? 0 : i + 1;
    const Line line = HistoryLine();
    auto sample = [&](int32_t index) {
        if (index < captured)
            return static_cast<double>(capture[channel][index]);
        const Frame frame = line.ReadWritten(captureStart + index);
        return channel == 0 ? frame.left : frame.right;
    };
    const double si = sample(i);
    const double sj = sample(j);
    return (si + (sj - si) * (p - i)) * g * dip;
}

double RepeatMode::Correlation(double span) const
{
    const Line line = HistoryLine();
    const double newest = static_cast<double>(clock) - 1.0;
    const double startA = static_cast<double>(clock) - sliceLength;
    const double startB = static_cast<double>(clock) - previousSliceLength;
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (double j = 0.0; j < span; j += 4.0) {
        const double xa = startA + j;
        const double xb = startB + j;
        if (xa > newest || xb > newest)
            break;
        const Frame a = line.ReadWritten(xa);
        const Frame b = line.ReadWritten(xb);
        ab += a.left * b.left + a.right * b.right;
        aa += a.left * a.left + a.right * a.right;
        bb += b.left * b.left + b.right * b.right;
    }
    if (aa <= kEnergyFloor || bb <= kEnergyFloor)
        return 0.0;
    return Clamp(ab / std::sqrt(aa * bb), 0.0, 1.0);
}

void RepeatMode::NewCycle(DriftContext& drift)
{
    std::copy(std::begin(speed), std::end(speed), std::begin(previousSpeed));
    for (int k = 0; k < kMaxRepeats; ++k)
        previousSpeedClass[k] = static_cast<uint8_t>(kPreviousCycleClasses + speedClass[k]);
    std::copy(classSpeed, classSpeed + kPreviousCycleClasses, classSpeed + kPreviousCycleClasses);
    classesInUse = (classesInUse & kCurrentCycleClassBits) << kPreviousCycleClasses;
    const double chaos = drift.Amount();
    const double base = shape < 0.16 ? 0.5 : shape < 0.4 ? 1.0 : shape < 0.64 ? 1.5 : shape < 0.88 ? 2.0 : 4.0;
    for (int k = 0; k < kMaxRepeats; ++k) {
        const uint32_t r1 = drift.NextRandom();
        const uint32_t r2 = drift.NextRandom();
        int step = 0;
        if (0.8 * chaos > DriftContext::ToUnit(r1)) {
            step = (r2 & 1u) ? 1 : -1;
            if (chaos > 0.75 && (r2 & 6u) == 0)
                step *= 2;
        }
        speed[k] = base * std::ldexp(1.0, step);
        speedClass[k] = static_cast<uint8_t>(step + kUnitStepClass);
        classesInUse |= 1u << speedClass[k];
    }
    for (int c = 0; c < kPreviousCycleClasses; ++c)
        classSpeed[c] = base * std::ldexp(1.0, c - kUnitStepClass);
    NoteUnitSpeedTaps();
    cycleCount = 0;
}

// ---------------------------------------------------------------------------
// Per-sample steps

void RepeatMode::StartIfFirst(DriftContext& drift)
{
    if (started)
        return;
    decay = decayTarget;
    feedback = feedbackTarget;
    sliceLength = time * sampleRate;
    stereoWidth = preserveStereo ? 1.0 : 0.0;
    started = 1;
    for (int k = 0; k < kMaxRepeats; ++k)
        repeatGain[k] = k < count ? 1.0 : 0.0;
    gainsSettled = false;
    NewCycle(drift);
}

void RepeatMode::UpdateHold(DriftContext& drift)
{
    if (!hold || previousHold) {
        previousHold = hold;
    } else {
        captureLength = std::max(EngineMath::RoundToInt(sliceLength), 1);
        captured = 0;
        position = 0.0;
        captureStart = static_cast<double>(clock) - captureLength;
        NewCycle(drift);
        previousPosition = 0.0;
        captureHasTransient = transientSeen || (transientHistory & 1u);
        previousHold = 1;
    }
    const double target = hold ? 1.0 : 0.0;
    if (holdMix < target)
        holdMix = std::min(holdMix + rampStep, target);
    else if (holdMix > target)
        holdMix = std::max(holdMix - rampStep, target);
}

void RepeatMode::UpdateSliceLength()
{
    const double wanted = time * sampleRate;
    if (transitionCount >= 0 || !(std::fabs(wanted - sliceLength) > 0.5))
        return;
    const double ratio = wanted / sliceLength;
    previousSliceLength = sliceLength;
    previousPosition = position;
    previousOffsetA = readOffsetA;
    position *= ratio;
    readOffsetA *= ratio;
    readOffsetB *= ratio;
    if (position >= wanted)
        position = 0.0;
    if (readOffsetA >= wanted)
        readOffsetA = 0.0;
    if (readOffsetB >= wanted)
        readOffsetB = 0.0;
    sliceLength = wanted;
    transitionCount = 0;
    correlation = Correlation(std::min(std::min(wanted, previousSliceLength) - 1.0, kTransitionSeconds * sampleRate));
}

void RepeatMode::DetectTransient(double left, double right)
{
    const double e = (right * right + left * left) * 0.5;
    envelopeFast += (e - envelopeFast) * coefficient5ms;
    envelopeSlow += (e - envelopeSlow) * coefficient50ms;
    if (transientHoldoff >= 1) {
        --transientHoldoff;
        return;
    }
    if (envelopeFast >= kTransientFloor && envelopeFast >= envelopeSlow * kTransientRatio + kTransientMargin) {
        transientSeen = 1;
        transientHoldoff = static_cast<int32_t>(kTransientHoldoffSeconds * sampleRate);
        if (!hold) {
            readOffsetB = readOffsetA;
            readOffsetA = previousOffsetA = std::min(kUnisonEdgeSeconds * sampleRate, 0.5 * sliceLength);
            offsetFadeCount = 0;
        }
    }
}

void RepeatMode::FillCapture()
{
    // One sample per processed sample: the captured slice lies wholly in the
    // history, which reads fill in until the copy catches up.
    if (captured >= captureLength)
        return;
    const Frame v = HistoryLine().ReadWritten(captureStart + captured);
    capture[0][captured] = static_cast<float>(v.left);
    capture[1][captured] = static_cast<float>(v.right);
    ++captured;
}

void RepeatMode::RampRepeatGains()
{
    if (gainsSettled && settledCount == count)
        return;
    bool moving = false;
    int active = 0;
    for (int k = 0; k < kMaxRepeats; ++k) {
        const double target = k < count ? 1.0 : 0.0;
        if (repeatGain[k] < target)
            repeatGain[k] = std::min(repeatGain[k] + rampStep, target);
        else if (repeatGain[k] > target)
            repeatGain[k] = std::max(repeatGain[k] - rampStep, target);
        moving = moving || repeatGain[k] != target;
        if (repeatGain[k] > 0.0)
            active = k + 1;
    }
    activeRepeats = active;
    gainsSettled = !moving;
    settledCount = count;
}

void RepeatMode::UpdateTapDecay(double step)
{
    if (step == tapDecayOf)
        return;
    double g = 1.0;
    for (int k = 0; k < kMaxRepeats; ++k) {
        tapDecay[k] = g;
        g *= step;
    }
    tapDecayOf = step;
}

void RepeatMode::NoteUnitSpeedTaps()
{
    uint64_t unit = 0;
    for (int k = 0; k < kMaxRepeats; ++k)
        if (speed[k] == 1.0)
            unit |= uint64_t{1} << k;
    unitSpeedTaps = unit;
}

// Terms of the taps that the mask names, each read at offset A the general way,
// for a sample outside the speed and offset fades. The line comes by value: the
// terms' stores cannot change it then, so its fields stay in registers.
void RepeatMode::AddTapTerms(const Line line, uint64_t taps, StereoDouble* terms, int stride, Frame& firstTap) const
{
    const double now = line.clock;
    const double slice = sliceLength;
    const double dipped = dipCurve;
    const uint64_t transients = transientHistory;
    for (; taps != 0; taps &= taps - 1) {
        const int k = __builtin_ctzll(taps);
        const double gain = repeatGain[k];
        if (!(gain > 0.0)) {
            terms[k * stride] = StereoDouble(0.0);
            continue;
        }
        const double dip = ((transients >> k) & 1u) ? dipped : 1.0;
        const double src = now - static_cast<double>(k + 1) * slice;
        const Frame v = TapRead(line, src, speed[k], speedClass[k], 0, dip);
        terms[k * stride] = StereoDouble(gain) * StereoDouble(v.left, v.right) * StereoDouble(tapDecay[k]);
        if (k == 0)
            firstTap = v;
    }
}

// How many of the first `active` taps read inside the written history, and
// still will once a tap run has written its samples; 0 when the oldest of them
// would not. Tap k reads at clock - (k + 1) x slice, so positions fall with the
// tap number: the taps at or after the clock's start come first.
int RepeatMode::TapsInside(const Line& line, int active) const
{
    const double slice = sliceLength;
    if (!(slice >= 2.0))
        return 0;
    const auto positionOf = [&](int taps) { return line.clock - static_cast<double>(taps) * slice; };
    int inside = static_cast<int>(std::min(static_cast<double>(active), std::floor(line.clock / slice)));
    while (inside > 0 && positionOf(inside) < 0.0)
        --inside;
    while (inside < active && positionOf(inside + 1) >= 0.0)
        ++inside;
    if (inside > 0 && !(line.clock - std::floor(positionOf(inside)) + RepeatTapRun::kLength < line.span))
        return 0;
    return inside;
}

uint64_t RepeatMode::HeardTaps(int active)
{
    return active >= kMaxRepeats ? ~uint64_t{0} : (uint64_t{1} << active) - 1;
}

// A sample can leave its unit-speed taps to the run when they are plain reads
// inside the history and its gains rest, so that only the key tells runs apart.
bool RepeatMode::UnitTapsCanWait(const Line& line, RepeatTapRun::Key& key) const
{
    const bool plain = speedFade >= 1.0 && !offsetFade.active;
    if (!plain || transitionCount >= 0 || !(gainsSettled && settledCount == count))
        return false;
    const int active = activeRepeats;
    // Tap 0 is read at once: its read feeds the feedback line this sample. Taps
    // that reach back before the clock's start read silence, also at once.
    const uint64_t inside = HeardTaps(TapsInside(line, active));
    key = {sliceLength, decay, unitSpeedTaps & inside & ~uint64_t{1}, transientHistory, active};
    return __builtin_popcountll(key.unitTaps) >= kFewestTapsForRun;
}

RepeatMode::Frame RepeatMode::RepeatSum(Frame& first)
{
    const Line line = HistoryLine();
    const double now = line.clock;
    // Locals rather than members: the shape cache's stores inside the loop would
    // otherwise make every member read reload from memory, and the sums would
    // live in memory.
    const double slice = sliceLength;
    const double step = decay;
    const double dipped = dipCurve;
    const uint64_t transients = transientHistory;
    const int active = activeRepeats;
    // Outside the speed and offset fades a tap is one read at offset A: a loop
    // of its own spares every tap the tests for the fades.
    const bool plain = speedFade >= 1.0 && !offsetFade.active;
    Frame sum;
    Frame firstTap;
    double g = 1.0;
    // k + 1 as a double, counted rather than converted for every tap.
    double taps = 1.0;
    for (int k = 0; k < active; ++k, taps += 1.0) {
        const double gain = repeatGain[k];
        if (gain > 0.0) {
            const double dip = ((transients >> k) & 1u) ? dipped : 1.0;
            const double src = now - taps * slice;
            const Frame v =
                plain ? TapRead(line, src, speed[k], speedClass[k], 0, dip) : TapReadRepeat(line, src, k, dip);
            sum.left += gain * v.left * g;
            sum.right += gain * v.right * g;
            if (k == 0)
                firstTap = v;
        }
        g *= step;
    }
    first = firstTap;
    return sum;
}

RepeatMode::Frame RepeatMode::CapturePlayback()
{
    if (captureLength < 1)
        return {};
    dipFlag = captureHasTransient;
    const double heldLength = std::min(sliceLength, static_cast<double>(captureLength));
    const double x = std::min(cycleCount / (kSpeedFadeSeconds * sampleRate), 1.0);
    const double fade = std::max(std::min(kEdgeFadeSeconds * sampleRate, 0.25 * sliceLength), 1.0);
    const double edges = RaisedCosine(std::min(position, sliceLength - position) / fade);
    Frame out;
    for (int c = 0; c < 2; ++c) {
        double v = CaptureRead(c, heldLength, speed[0]) * x;
        if (x < 1.0)
            v += CaptureRead(c, heldLength, previousSpeed[0]) * (1.0 - x);
        (c == 0 ? out.left : out.right) = v * edges;
    }
    return out;
}

void RepeatMode::UpdateTapFades()
{
    speedFade = std::min(cycleCount / (kSpeedFadeSeconds * sampleRate), 1.0);
    const double fadeLength = kOffsetFadeSeconds * sampleRate;
    offsetFade.active = offsetFadeCount < fadeLength;
    if (!offsetFade.active)
        return;
    const double u = RaisedCosine(offsetFadeCount / fadeLength) * kHalfPi;
    offsetFade.gainA = EngineMath::Sin(u);
    offsetFade.gainB = EngineMath::Cos(u);
}

void RepeatMode::PrepareTaps()
{
    dipCurve = DipCurve();
    UpdateTapFades();
    FillTapShapes();
}

RepeatMode::Voices RepeatMode::RenderVoices()
{
    PrepareTaps();
    Voices voices;
    voices.sum = RepeatSum(voices.first);
    RenderHeldAndFed(voices);
    return voices;
}

void RepeatMode::RenderHeldAndFed(Voices& voices)
{
    voices.held = CapturePlayback();
    dipFlag = static_cast<uint8_t>(transientHistory & 1u);
    const double now = static_cast<double>(clock);
    if (static_cast<double>(feedbackValidFrom) <= now - 1.5 * sliceLength)
        voices.fed = TapReadRepeat(FeedbackLine(), now - sliceLength, 0, DipGain());
}

void RepeatMode::MixSliceTransition(Voices& voices)
{
    const double t = std::min(transitionCount / std::max(kTransitionSeconds * sampleRate - 1.0, 1.0), 1.0);
    const double gNew = EngineMath::Sin(RaisedCosine(t) * kHalfPi);
    const double rho = correlation;
    const double gOld = std::sqrt(std::max(1.0 - (1.0 - rho * rho) * gNew * gNew, 0.0)) - rho * gNew;

    std::swap(sliceLength, previousSliceLength);
    std::swap(position, previousPosition);
    std::swap(readOffsetA, previousOffsetA);
    const Voices old = RenderVoices();
    std::swap(sliceLength, previousSliceLength);
    std::swap(position, previousPosition);
    std::swap(readOffsetA, previousOffsetA);

    auto mix = [&](Frame& now, const Frame& before) {
        now.left = gOld * before.left + gNew * now.left;
        now.right = gOld * before.right + gNew * now.right;
    };
    mix(voices.sum, old.sum);
    mix(voices.first, old.first);
    mix(voices.held, old.held);
    mix(voices.fed, old.fed);
}

void RepeatMode::WriteInput(float left, float right)
{
    history.Write({left, right});
    ++clock;
}

void RepeatMode::Advance(DriftContext& drift)
{
    position += 1.0;
    SaturatingIncrement(cycleCount);
    if (position >= sliceLength) {
        position -= sliceLength;
        NewCycle(drift);
        transientHistory = (transientHistory << 1) | transientSeen;
        transientSeen = 0;
    }
    readOffsetA += 1.0;
    if (readOffsetA >= sliceLength)
        readOffsetA -= sliceLength;
    readOffsetB += 1.0;
    if (readOffsetB >= sliceLength)
        readOffsetB -= sliceLength;
    SaturatingIncrement(offsetFadeCount);
    if (transitionCount >= 0) {
        previousPosition += 1.0;
        if (previousPosition >= previousSliceLength)
            previousPosition -= previousSliceLength;
        previousOffsetA += 1.0;
        if (previousOffsetA >= previousSliceLength)
            previousOffsetA -= previousSliceLength;
        if (++transitionCount >= kTransitionSeconds * sampleRate)
            transitionCount = -1;
    }
}

void RepeatMode::Process(float* left, float* right, int n, DriftContext& drift)
{
    if (!prepared) {
        for (int i = 0; i < n; ++i)
            left[i] = right[i] = 0.0f;
        return;
    }
    for (int i = 0; i < n; ++i) {
        const float inL = FiniteOrZero(left[i]);
        const float inR = FiniteOrZero(right[i]);
        StepControls(inL, inR, drift);
        RenderSample(i, inL, inR, left, right);
        Advance(drift);
    }
    FinishRun(left, right);
}

// A sample whose unit-speed taps can wait joins the run and leaves its output
// to it; any other sample sums and writes its output at once.
void RepeatMode::RenderSample(int index, float inL, float inR, float* left, float* right)
{
    PrepareTaps();
    const Line line = HistoryLine();
    RepeatTapRun::Key key;
    // The count alone rules a run out for the usual few repeats.
    if (activeRepeats <= kFewestTapsForRun || !UnitTapsCanWait(line, key))
        RenderAtOnce(index, inL, inR, left, right);
    else
        RenderIntoRun(line, key, index, inL, inR, left, right);
}

void RepeatMode::RenderAtOnce(int index, float inL, float inR, float* left, float* right)
{
    Voices voices;
    voices.sum = RepeatSum(voices.first);
    RenderHeldAndFed(voices);
    if (transitionCount >= 0)
        MixSliceTransition(voices);
    WriteFeedback(voices);
    WriteInput(inL, inR);
    WriteOutput(OutputOf(voices), voices.sum, left[index], right[index]);
}

void RepeatMode::RenderIntoRun(const Line& line, const RepeatTapRun::Key& key, int index, float inL, float inR,
                               float* left, float* right)
{
    UpdateTapDecay(decay);
    if (!run.Takes(key, line.clock))
        FinishRun(left, right);
    if (run.Length() == 0)
        run.Open(key, repeatGain, tapDecay);
    RepeatTapRun::Sample pending;
    pending.index = index;
    pending.now = line.clock;
    pending.writeIndex = line.writeIndex;
    pending.dipCurve = dipCurve;
    Voices voices;
    AddTapTerms(line, HeardTaps(key.active) & ~key.unitTaps, run.NextColumn(), RepeatTapRun::Stride(), voices.first);
    RenderHeldAndFed(voices);
    WriteFeedback(voices);
    WriteInput(inL, inR);
    pending.output = OutputOf(voices);
    run.Push(pending);
    if (run.Full())
        FinishRun(left, right);
}

void RepeatMode::FinishRun(float* left, float* right)
{
    if (run.Length() == 0)
        return;
    run.Finish(history.Frames(), static_cast<std::ptrdiff_t>(history.Length()));
    for (int j = 0; j < run.Length(); ++j) {
        const RepeatTapRun::Sample& sample = run.At(j);
        WriteOutput(sample.output, sample.sum, left[sample.index], right[sample.index]);
    }
    run.Clear();
}

void RepeatMode::StepControls(float inL, float inR, DriftContext& drift)
{
    StartIfFirst(drift);
    UpdateHold(drift);
    UpdateSliceLength();
    DetectTransient(inL, inR);
    feedback += (feedbackTarget - feedback) * coefficient10ms;
    if (std::fabs(feedback) < kFeedbackFloor)
        feedback = 0.0;
    decay += (decayTarget - decay) * coefficient10ms;
    stereoWidth += ((preserveStereo ? 1.0 : 0.0) - stereoWidth) * coefficient10ms;
    FillCapture();
    RampRepeatGains();
}

void RepeatMode::WriteFeedback(const Voices& voices)
{
    const double firsts[2] = {voices.first.left, voices.first.right};
    const double helds[2] = {voices.held.left, voices.held.right};
    const double feds[2] = {voices.fed.left, voices.fed.right};
    // Both channels' feedback saturates in one two-lane call.
    const auto feedbackInput = [&](int c) {
        return (1.0 - holdMix) * firsts[c] + holdMix * helds[c] + feds[c] * feedback;
    };
    const StereoDouble saturated = EngineMath::Tanh(StereoDouble(feedbackInput(0), feedbackInput(1)));
    const double ys[2] = {saturated.Left(), saturated.Right()};
    float filtered[2];
    for (int c = 0; c < 2; ++c) {
        feedbackFilter[c] += (ys[c] - feedbackFilter[c]) * lowpass8k;
        if (std::fabs(feedbackFilter[c]) < kFeedbackFilterFloor)
            feedbackFilter[c] = 0.0;
        filtered[c] = static_cast<float>(feedbackFilter[c]);
    }
    feedbackLine.Write(filtered);
}

RepeatTapRun::Output RepeatMode::OutputOf(const Voices& voices) const
{
    RepeatTapRun::Output output;
    const double feds[2] = {voices.fed.left, voices.fed.right};
    const double helds[2] = {voices.held.left, voices.held.right};
    for (int c = 0; c < 2; ++c) {
        output.fedPart[c] = feds[c] * feedback;
        output.heldPart[c] = holdMix * helds[c];
    }
    output.keep = 1.0 - holdMix;
    output.width = stereoWidth;
    return output;
}

void RepeatMode::WriteOutput(const RepeatTapRun::Output& output, const Frame& sum, float& left, float& right)
{
    const double sums[2] = {sum.left, sum.right};
    double out[2];
    for (int c = 0; c < 2; ++c)
        out[c] = SoftLimit(output.fedPart[c] + output.keep * sums[c] + output.heldPart[c]);
    const double mid = (out[0] + out[1]) * 0.5;
    left = static_cast<float>(mid + (out[0] - mid) * output.width);
    right = static_cast<float>(mid + (out[1] - mid) * output.width);
}

void RepeatMode::FeedIdle(const float* left, const float* right, int n)
{
    if (!prepared)
        return;
    if (hold && !previousHold) {
        captureLength = std::max(EngineMath::RoundToInt(time * sampleRate), 1);
        captured = 0;
        position = 0.0;
        captureStart = static_cast<double>(clock) - captureLength;
    }
    previousHold = hold;
    holdMix = hold ? 1.0 : 0.0;
    int i = 0;
    for (; i < n && captured < captureLength; ++i) {
        FillCapture();
        feedbackLine.Advance();
        WriteInput(FiniteOrZero(left[i]), FiniteOrZero(right[i]));
    }
    // The slice is captured: the rest only records, in spans that end at the
    // history's end.
    const size_t frames = history.Length();
    if (i < n && frames > 0) {
        feedbackLine.Skip(static_cast<size_t>(n - i));
        while (i < n) {
            const int span = static_cast<int>(std::min(static_cast<size_t>(n - i), frames - history.WriteIndex()));
            float* out = history.FrameAt(history.WriteIndex());
            for (int s = 0; s < span; ++s) {
                out[2 * s] = FiniteOrZero(left[i + s]);
                out[2 * s + 1] = FiniteOrZero(right[i + s]);
            }
            clock += static_cast<uint64_t>(span);
            history.Skip(static_cast<size_t>(span));
            i += span;
        }
    }
    feedbackFilter[0] = feedbackFilter[1] = 0.0;
    feedbackValidFrom = clock;
}
