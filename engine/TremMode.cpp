#include "engine/TremMode.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/EngineMath.h"

namespace {
using EngineMath::kPi;
using EngineMath::kTwoPi;
using EngineMath::kZeroSeedReplacement;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kSmoothSeconds = 0.02;
constexpr double kLandingInterval = 1e6;
constexpr double kShapeScale = 12.0;
constexpr double kMinRate = 0.5;
// At most 5 degrees of tempo correction per 512 samples.
constexpr double kLockRadiansPerSample = 0.08726646259971647 / 512.0;

template <class T>
T Smoothstep(T u)
{
    return u * u * (3.0 - 2.0 * u);
}

double Clamp01(double x)
{
    return std::clamp(x, 0.0, 1.0);
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
    coefficient5ms = 1.0 - std::exp(-1.0 / (sampleRate * 0.005));
    coefficient1ms = 1.0 - std::exp(-1.0 / (sampleRate * 0.001));
    edgeRate = -1.0;
    squareRate = -1.0;
    std::fill(std::begin(delayL), std::end(delayL), 0.0f);
    std::fill(std::begin(delayR), std::end(delayR), 0.0f);
    delayIndexL = delayIndexR = 0;
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
    rate = 0.5 * std::pow(24.0, macro);
    rateSmoother.target = rate;
    shape = std::isfinite(b) ? Clamp01(b) : 0.0;
    shapeSmoother.target = shape * kShapeScale;
}

void TremMode::SetTime(double hz)
{
    rate = (std::isfinite(hz) && hz > 0.0) ? hz : kMinRate;
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
    const double k = 3.0 * Clamp01(m);
    const T sine = EngineMath::Sin(theta);
    if (k < 1.0)
        return sine + (triangle - sine) * k;

    const T rising = Max(1.0 - EngineMath::Divide(p, 0.65), T(0.0));
    const double e = edgeFraction;
    const T edge = Clamp((p - (1.0 - e)) / std::max(e, 1e-9), 0.0, 1.0);
    T pluck = Select(p < 0.65, rising * rising, Smoothstep(edge));
    pluck = 2.0 * pluck - 1.0;
    if (k < 2.0)
        return triangle + (pluck - triangle) * (k - 1.0);

    const T q = Clamp(sine / std::max(squareScale, 1e-9), -1.0, 1.0);
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
            mult = 1 + static_cast<int>(std::floor(4.0 * r7));
    }
    if (mult != multiplier) {
        previousMultiplier = multiplier;
        multiplier = mult;
        multiplierFade = 0.0;
    }
    dip = r1 < dipChance ? 1 : 0;
    if (r2 < stallChance)
        holdSamples = static_cast<int32_t>((r3 + 0.5) * period);
    if (r4 < burstChance)
        burstSamples = static_cast<int32_t>((r5 * 0.08000000000000002 + 0.12) * sampleRate);
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

float TremMode::DelayStep(float (&line)[kDelayLength], int32_t& index, float input, double delaySamples)
{
    constexpr int mask = kDelayLength - 1;
    line[index] = input;
    double p = index - delaySamples;
    while (p < 0.0)
        p += kDelayLength;
    const int i = static_cast<int>(p);
    const double f = p - i;
    const double y = line[i & mask] * (1.0 - f) + line[(i + 1) & mask] * f;
    index = (index + 1) & mask;
    return static_cast<float>(y);
}

void TremMode::SeedFrom(DriftContext& drift)
{
    uint32_t value = drift.NextRandom();
    if (value == 0)
        value = kZeroSeedReplacement;
    seeded = 1;
    randomGeneration = drift.generation;
    rng = DriftContext::XorShift32(value);
    if (rng == 0)
        rng = kZeroSeedReplacement;
}

void TremMode::UpdateWaveCaches(double r)
{
    if (r != edgeRate) {
        edgeSine = std::sin(std::min(r, 100.0) * kPi * 0.001);
        edgeFraction = std::asin(edgeSine) / kPi;
        edgeRate = r;
    }
    if (r != squareRate) {
        squareScale = std::sin(std::min(r, 83.33333333333333) * kPi * 0.006);
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
    const double limit = std::min(0.75 * inc, kLockRadiansPerSample);
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
        if (burstStep % 32 == 0)
            burstLevel = NextUnit() * 0.8 + 0.2;
        ++burstStep;
        levelTarget = burstLevel;
    }
    burstMix += (burstTarget - burstMix) * coefficient5ms;
    levelSmoothed += (levelTarget - levelSmoothed) * coefficient1ms;
    gainMod += (((levelSmoothed - 1.0) * burstMix + 1.0) * (dip ? 0.15 : 1.0) - gainMod) * coefficient5ms;
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
    const double c = drift.amount;
    const double cr = std::clamp(c * drift.WalkerValue(0), -c, c);
    const double cd = std::clamp(c * drift.WalkerValue(1), -c, c);
    const double cc = Clamp01(c);

    if (cc > 0.0 && (!seeded || randomGeneration != drift.generation))
        SeedFrom(drift);

    const double dt = 1.0 / sampleRate;
    rateSmoother.Step(dt);
    depthSmoother.target = depth;
    jitterSmoother.target = cc * cc * 1.2;
    depthSmoother.Step(dt);

    CallControls call;
    const double r = std::max((cr * 0.35 + 1.0) * rateSmoother.current, 0.01);
    call.amountBase = Clamp01((cd * 0.25 + 1.0) * depthSmoother.current);
    UpdateWaveCaches(r);

    call.glitch = Clamp01((cc - 0.7) / 0.3);
    call.inc = kTwoPi * r / sampleRate;
    call.period = sampleRate / r;
    call.burstChance = Clamp01((cc - 0.5) * 0.1 * 2.0);
    call.dipChance = cc * 0.12;
    call.stallChance = cc * 0.08;

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
    const double multiplierFadeStep = 1.0 / (sampleRate * 0.005);
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

        const double jitter = jitterSmoother.Tick() * 0.001 * sampleRate;
        double delayLeft = 0.0;
        double delayRight = 0.0;
        if (jitter != 0.0) {
            delayLeft = (1.0 - EngineMath::Cos(phase)) * 0.5 * jitter;
            delayRight = (1.0 - EngineMath::Cos(phase + stereoPhase)) * 0.5 * jitter;
        }

        // A non-finite sample would otherwise sit in the jitter lines for a while.
        const float inL = std::isfinite(left[i]) ? left[i] : 0.0f;
        const float inR = std::isfinite(right[i]) ? right[i] : 0.0f;
        const float readL = DelayStep(delayL, delayIndexL, inL, delayLeft);
        const float readR = DelayStep(delayR, delayIndexR, inR, delayRight);
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
