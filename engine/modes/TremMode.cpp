#include "engine/modes/TremMode.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::Clamp01;
using EngineMath::kHalfPi;
using EngineMath::kPi;
using EngineMath::kTwoPi;
using EngineMath::kZeroSeedReplacement;
constexpr double kSmoothSeconds = 0.02;
constexpr double kLandingInterval = 1e6;
constexpr double kShapeScale = 12.0;
// At most 5 degrees of tempo correction per 512 samples, and at most this share
// of the natural phase step.
constexpr double kLockRadiansPerSample = 0.08726646259971647 / 512.0;
constexpr double kLockShareOfStep = 0.75;

// MACRO 0..1 sweeps the free rate from 0.5 Hz over a range of 24 (to 12 Hz).
constexpr double kSlowestRateHz = 0.5;
constexpr double kRateRange = 24.0;
constexpr double kFastSmoothSeconds = 0.005;
constexpr double kLevelSmoothSeconds = 0.001;
constexpr double kMultiplierFadeSeconds = 0.005;

// Chaos: how far the drift's walkers pull the rate and the depth (fractions),
// the jitter depth at full chaos (ms), and the slowest rate the LFO runs at (Hz).
constexpr double kRateChaosShare = 0.35;
constexpr double kDepthChaosShare = 0.25;
constexpr double kJitterMsAtFullChaos = 1.2;
constexpr double kSlowestChaoticRateHz = 0.01;
constexpr double kMillisecondsToSeconds = 0.001;
// Cycle events: glitches above chaos 0.7 (reaching certainty 0.3 later), bursts
// above 0.5, and the chances per cycle per unit of chaos.
constexpr double kGlitchChaosFloor = 0.7;
constexpr double kGlitchChaosSpan = 0.3;
constexpr double kBurstChaosFloor = 0.5;
constexpr double kBurstChancePerChaos = 0.1;
constexpr double kBurstChanceScale = 2.0;
constexpr double kDipChancePerChaos = 0.12;
constexpr double kStallChancePerChaos = 0.08;
constexpr double kMaxCycleMultiplier = 4.0;
// A stall holds the phase for this many periods plus a random share of one.
constexpr double kStallShortestPeriods = 0.5;
// A burst lasts 120 ms plus up to 80 ms; its level changes every 32 samples to
// between 0.2 and 1; a dip lowers the gain to 0.15.
constexpr double kBurstShortestSeconds = 0.12;
constexpr double kBurstSpanSeconds = 0.08000000000000002;
constexpr int kBurstStepSamples = 32;
constexpr double kBurstLevelSpan = 0.8;
constexpr double kBurstLevelFloor = 0.2;
constexpr double kDipGain = 0.15;

// The wave: the pluck falls over 65 % of the cycle and rises within 1 ms of it
// (computed at most at 100 Hz); the square's edges take 3 ms of the cycle each
// side of the crossing (at most at 83.3 Hz).
constexpr double kMorphSteps = 3.0;
constexpr double kPluckFallShare = 0.65;
constexpr double kPluckEdgeSeconds = 0.001;
constexpr double kPluckEdgeFastestHz = 100.0;
constexpr double kSquareEdgeSeconds = 0.006;
constexpr double kSquareEdgeFastestHz = 83.33333333333333;
constexpr double kTinyDivisor = 1e-9;

template <class T>
T Smoothstep(T u)
{
    return u * u * (3.0 - 2.0 * u);
}

// The wave's helpers for one lane and for two, each lane as std::floor, std::min,
// std::max and std::clamp would give it.
double Select(bool yes, double a, double b)
{
    return yes ? a : b;
}

double Floor(double x)
{
    return std::floor(x);
}

// Exact for the wave's small phases; -0 may come out as +0, which the wave never tells apart.
StereoDouble Floor(StereoDouble x)
{
    const StereoDouble nearest = EngineMath::Detail::RoundNearest(x);
    return Select(nearest > x, nearest - 1.0, nearest);
}

template <class T>
T Min(T a, T b)
{
    return Select(b < a, b, a);
}

template <class T>
T Max(T a, T b)
{
    return Select(a < b, b, a);
}

template <class T>
T Clamp(T x, double low, double high)
{
    return Select(x < low, T(low), Select(high < x, T(high), x));
}
} // namespace

TremMode::TremMode()
{
    ResetToConstructed();
}

void TremMode::ResetToConstructed()
{
    sampleRate = EngineMath::kDefaultSampleRate;
    rate = kDefaultRate;
    depth = 1.0;
    shape = 0.0;
    stereoPhase = 0.0;
    sync = TempoSyncInfo{};
    coefficient5ms = coefficient1ms = 1.0;
    edgeSine = edgeFraction = squareScale = 0.0;
    rateSmoother = ParamSmoother{};
    depthSmoother = ParamSmoother{};
    shapeSmoother = ParamSmoother{};
    jitterSmoother = ParamSmoother{};
    Reset();
}

void TremMode::Prepare(double rateHz, int /*maxBlockSize*/)
{
    sampleRate = EngineMath::UsableSampleRate(rateHz);
    for (ParamSmoother* s : {&rateSmoother, &depthSmoother, &shapeSmoother, &jitterSmoother})
        s->Configure(kSmoothSeconds, sampleRate);
    if (jitterLine.Length() != kDelayLength)
        jitterLine.Allocate(kDelayLength);
    Reset();
}

void TremMode::Reset()
{
    phase = 0.0;
    multiplier = previousMultiplier = 1;
    multiplierFade = 1.0;
    glitchMix = 0.0;
    rng = 1;
    randomGeneration = 0;
    seeded = cycleWrapped = dip = 0;
    holdSamples = burstSamples = burstStep = 0;
    burstLevel = 1.0;
    levelSmoothed = 1.0;
    burstMix = 0.0;
    gainMod = 1.0;
    coefficient5ms = 1.0 - std::exp(-1.0 / (sampleRate * kFastSmoothSeconds));
    coefficient1ms = 1.0 - std::exp(-1.0 / (sampleRate * kLevelSmoothSeconds));
    edgeRate = -1.0;
    squareRate = -1.0;
    jitterLine.Clear();
    rateSmoother.target = rate;
    depthSmoother.target = depth;
    shapeSmoother.target = shape * kShapeScale;
    jitterSmoother.target = 0.0;
    for (ParamSmoother* s : {&rateSmoother, &depthSmoother, &shapeSmoother, &jitterSmoother})
        s->Step(kLandingInterval);
}

void TremMode::SetControls(double a, double b)
{
    const double macro = std::isfinite(a) ? Clamp01(a) : 0.0;
    rate = kSlowestRateHz * std::pow(kRateRange, macro);
    rateSmoother.target = rate;
    shape = std::isfinite(b) ? Clamp01(b) : 0.0;
    shapeSmoother.target = shape * kShapeScale;
}

void TremMode::SetTime(double hz)
{
    rate = (std::isfinite(hz) && hz > 0.0) ? hz : kSlowestRateHz;
    rateSmoother.target = rate;
}

void TremMode::SetTempoSync(const TempoSyncInfo& info)
{
    sync = info;
}

void TremMode::SetDepth(double value)
{
    depth = std::isfinite(value) ? Clamp01(value) : 0.0;
}

void TremMode::SetStereoPhase(double radians)
{
    stereoPhase = std::isfinite(radians) ? radians : 0.0;
}

double TremMode::Wave(double theta, double m) const
{
    return WaveOf(theta, m);
}

StereoDouble TremMode::Wave(StereoDouble theta, double m) const
{
    return WaveOf(theta, m);
}

template <class T>
T TremMode::WaveOf(T theta, double m) const
{
    T p = EngineMath::Divide(theta - kHalfPi, kTwoPi);
    p -= Floor(p);
    const T triangle = 1.0 - 4.0 * Min(p, 1.0 - p);
    const double k = kMorphSteps * Clamp01(m);
    const T sine = EngineMath::Sin(theta);
    if (k < 1.0)
        return sine + (triangle - sine) * k;

    const T rising = Max(1.0 - EngineMath::Divide(p, kPluckFallShare), T(0.0));
    const double e = edgeFraction;
    const T edge = Clamp((p - (1.0 - e)) / std::max(e, kTinyDivisor), 0.0, 1.0);
    T pluck = Select(p < kPluckFallShare, rising * rising, Smoothstep(edge));
    pluck = 2.0 * pluck - 1.0;
    if (k < 2.0)
        return triangle + (pluck - triangle) * (k - 1.0);

    const T q = Clamp(sine / std::max(squareScale, kTinyDivisor), -1.0, 1.0);
    const T square = EngineMath::Sin(q * kHalfPi);
    return pluck + (square - pluck) * (k - 2.0);
}

uint32_t TremMode::NextRandom()
{
    return rng = DriftContext::XorShift32(rng);
}

double TremMode::NextUnit()
{
    return DriftContext::ToUnit(NextRandom());
}

void TremMode::DrawCycleEvents(double glitch, double dipChance, double stallChance, double burstChance, double period)
{
    const double r1 = NextUnit();
    const double r2 = NextUnit();
    const double r3 = NextUnit();
    const double r4 = NextUnit();
    const double r5 = NextUnit();
    int mult = 1;
    if (glitch > 0.0) {
        const double r6 = NextUnit();
        const double r7 = NextUnit();
        if (r6 < glitch)
            mult = 1 + static_cast<int>(std::floor(kMaxCycleMultiplier * r7));
    }
    if (mult != multiplier) {
        previousMultiplier = multiplier;
        multiplier = mult;
        multiplierFade = 0.0;
    }
    dip = r1 < dipChance ? 1 : 0;
    if (r2 < stallChance)
        holdSamples = static_cast<int32_t>((r3 + kStallShortestPeriods) * period);
    if (r4 < burstChance)
        burstSamples = static_cast<int32_t>((r5 * kBurstSpanSeconds + kBurstShortestSeconds) * sampleRate);
}

StereoDouble TremMode::ChannelWave(StereoDouble channelPhase, double m) const
{
    StereoDouble w = Wave(channelPhase, m);
    if (glitchMix != 0.0) {
        const StereoDouble a = channelPhase - kHalfPi;
        StereoDouble g = Wave(static_cast<double>(multiplier) * a + kHalfPi, m);
        if (multiplierFade < 1.0)
            g = Wave(static_cast<double>(previousMultiplier) * a + kHalfPi, m) * (1.0 - multiplierFade)
                + multiplierFade * g;
        w = w * (1.0 - glitchMix) + glitchMix * g;
    }
    return w;
}

inline void TremMode::DelayStep(DelayLine<2>& line, float& left, float& right, double delayLeft, double delayRight)
{
    if (line.Empty())
        return;
    float* frame = line.FrameAt(line.WriteIndex());
    frame[0] = left;
    frame[1] = right;
    const DelayLineView<2> view = line.ViewAt(0.0);
    left = static_cast<float>(ReadLinearTap(view, TapBehind(view.writeIndex, delayLeft, view.length)).left);
    right = static_cast<float>(ReadLinearTap(view, TapBehind(view.writeIndex, delayRight, view.length)).right);
    line.Advance();
}

void TremMode::SeedFrom(DriftContext& drift)
{
    uint32_t value = drift.NextRandom();
    if (value == 0)
        value = kZeroSeedReplacement;
    seeded = 1;
    randomGeneration = drift.Generation();
    rng = DriftContext::XorShift32(value);
    if (rng == 0)
        rng = kZeroSeedReplacement;
}

void TremMode::UpdateWaveCaches(double r)
{
    if (r != edgeRate) {
        edgeSine = std::sin(std::min(r, kPluckEdgeFastestHz) * kPi * kPluckEdgeSeconds);
        edgeFraction = std::asin(edgeSine) / kPi;
        edgeRate = r;
    }
    if (r != squareRate) {
        squareScale = std::sin(std::min(r, kSquareEdgeFastestHz) * kPi * kSquareEdgeSeconds);
        squareRate = r;
    }
}

double TremMode::TempoCorrection(double inc) const
{
    // The phase error to the host's beat, wrapped to -pi..pi, at most three
    // quarters of the step and 5 degrees per 512 samples.
    double err = std::fmod(sync.phase * kTwoPi + kHalfPi - phase, kTwoPi);
    if (err < 0.0)
        err += kTwoPi;
    if (err > kPi)
        err -= kTwoPi;
    const double limit = std::min(kLockShareOfStep * inc, kLockRadiansPerSample);
    return std::clamp(err, -limit, limit);
}

double TremMode::StepGainModulation()
{
    double burstTarget = 0.0;
    double levelTarget = 1.0;
    if (burstSamples < 1) {
        burstLevel = 1.0;
        burstStep = 0;
    } else {
        --burstSamples;
        burstTarget = 1.0;
        if (burstStep % kBurstStepSamples == 0)
            burstLevel = NextUnit() * kBurstLevelSpan + kBurstLevelFloor;
        ++burstStep;
        levelTarget = burstLevel;
    }
    burstMix += (burstTarget - burstMix) * coefficient5ms;
    levelSmoothed += (levelTarget - levelSmoothed) * coefficient1ms;
    gainMod += (((levelSmoothed - 1.0) * burstMix + 1.0) * (dip ? kDipGain : 1.0) - gainMod) * coefficient5ms;
    return gainMod;
}

void TremMode::Process(float* left, float* right, int n, DriftContext& drift)
{
    int done = 0;
    while (done < n) {
        const CallControls call = BeginCall(drift);
        const int count = NextCallRepeats() ? n - done : 1;
        RenderSamples(left + done, right + done, count, call);
        done += count;
    }
}

TremMode::CallControls TremMode::BeginCall(DriftContext& drift)
{
    const double chaos = drift.Amount();
    const double rateChaos = std::clamp(chaos * drift.WalkerValue(0), -chaos, chaos);
    const double depthChaos = std::clamp(chaos * drift.WalkerValue(1), -chaos, chaos);
    const double eventChaos = Clamp01(chaos);

    if (eventChaos > 0.0 && (!seeded || randomGeneration != drift.Generation()))
        SeedFrom(drift);

    const double dt = 1.0 / sampleRate;
    rateSmoother.Step(dt);
    depthSmoother.target = depth;
    jitterSmoother.target = eventChaos * eventChaos * kJitterMsAtFullChaos;
    depthSmoother.Step(dt);

    CallControls call;
    const double r = std::max((rateChaos * kRateChaosShare + 1.0) * rateSmoother.current, kSlowestChaoticRateHz);
    call.amountBase = Clamp01((depthChaos * kDepthChaosShare + 1.0) * depthSmoother.current);
    UpdateWaveCaches(r);

    call.glitch = Clamp01((eventChaos - kGlitchChaosFloor) / kGlitchChaosSpan);
    call.inc = kTwoPi * r / sampleRate;
    call.period = sampleRate / r;
    call.burstChance = Clamp01((eventChaos - kBurstChaosFloor) * kBurstChancePerChaos * kBurstChanceScale);
    call.dipChance = eventChaos * kDipChancePerChaos;
    call.stallChance = eventChaos * kStallChancePerChaos;

    if (sync.boundaryFound && holdSamples < 1)
        call.inc += TempoCorrection(call.inc);
    return call;
}

// The seed, the wave caches and the targets are settled by the call just begun;
// the tempo correction follows the phase, which moves every sample.
bool TremMode::NextCallRepeats() const
{
    const double dt = 1.0 / sampleRate;
    return !sync.boundaryFound && rateSmoother.StepHolds(dt) && depthSmoother.StepHolds(dt);
}

void TremMode::RenderSamples(float* left, float* right, int n, const CallControls& call)
{
    const double multiplierFadeStep = 1.0 / (sampleRate * kMultiplierFadeSeconds);
    for (int i = 0; i < n; ++i) {
        if (seeded && cycleWrapped) {
            cycleWrapped = 0;
            DrawCycleEvents(call.glitch, call.dipChance, call.stallChance, call.burstChance, call.period);
        }

        const bool stalled = holdSamples > 0;
        if (stalled)
            --holdSamples;

        const double amount = StepGainModulation() * call.amountBase;

        const double m = EngineMath::Divide(shapeSmoother.Tick(), kShapeScale);
        glitchMix += ((call.glitch > 0.0 ? 1.0 : 0.0) - glitchMix) * coefficient5ms;
        multiplierFade = std::min(multiplierFade + multiplierFadeStep, 1.0);

        double gainL = 1.0;
        double gainR = 1.0;
        if (amount != 0.0) {
            const StereoDouble wave = ChannelWave(StereoDouble(phase, phase + stereoPhase), m);
            gainL = 1.0 - (1.0 - wave.Left()) * amount * 0.5;
            gainR = 1.0 - (1.0 - wave.Right()) * amount * 0.5;
        }

        const double jitter = jitterSmoother.Tick() * kMillisecondsToSeconds * sampleRate;
        double delayLeft = 0.0;
        double delayRight = 0.0;
        if (jitter != 0.0) {
            delayLeft = (1.0 - EngineMath::Cos(phase)) * 0.5 * jitter;
            delayRight = (1.0 - EngineMath::Cos(phase + stereoPhase)) * 0.5 * jitter;
        }

        // A non-finite sample would otherwise sit in the jitter line for a while.
        float readL = std::isfinite(left[i]) ? left[i] : 0.0f;
        float readR = std::isfinite(right[i]) ? right[i] : 0.0f;
        DelayStep(jitterLine, readL, readR, delayLeft, delayRight);
        left[i] = static_cast<float>(readL * gainL);
        right[i] = static_cast<float>(readR * gainR);

        if (!stalled) {
            phase += call.inc;
            if (phase >= kTwoPi) {
                cycleWrapped = 1;
                // fmod rather than one subtraction: a rate above the sample rate
                // would otherwise let the phase grow without bound.
                phase = std::fmod(phase, kTwoPi);
            }
        }
    }
}
