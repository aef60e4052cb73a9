#include "engine/stages/WowFlutter.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/dsp/DriftContext.h"
#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::kTwoPi;
using EngineMath::kZeroSeedReplacement;
constexpr double kDepthSeconds = 0.03;
constexpr double kDepthLanding = 1e-12;
constexpr double kPhaseScale = 1.4629180792671596e-9; // 2 pi / 2^32
// Wow at 0.31, 0.47 and 0.68 Hz, flutter at 5.3 and 7.9 Hz, in rad/s.
constexpr double kOmega[WowFlutter::kPhaseCount] = {1.9477874452256718, 2.9530970943744053, 4.272566008882119,
                                                    33.3008821280518, 49.637163926718735};
constexpr double kMaxDelayMs = 12.0;
// The sweep: the three wow sines weighted 1, 0.6 and 0.35 (normalised by their sum
// 1.95, then by 1.25), the two flutter sines by their own weights over 2.5, and
// 0.3 of the chaos offset; it swings the delay by 2.5 ms around 6 ms.
constexpr double kWowWeight1 = 0.6;
constexpr double kWowWeight2 = 0.35;
constexpr double kWowWeightSum = 1.95;
constexpr double kWowScale = 1.25;
constexpr double kFlutterWeight4 = 0.018131575795279214;
constexpr double kFlutterWeight3 = 0.02702631109107657;
constexpr double kFlutterScale = 2.5;
constexpr double kChaosWeight = 0.3;
constexpr double kSweepMs = 2.5;
constexpr double kCentreMs = 6.0;
constexpr double kMillisecondsToSeconds = 0.001;
} // namespace

WowFlutter::WowFlutter()
{
    ResetToConstructed();
}

void WowFlutter::ResetToConstructed()
{
    sampleRate = EngineMath::kDefaultSampleRate;
    amount = 0.0;
    chaosOffset = 0.0;
    depthSmoother = ParamSmoother{};
    SeedPhases(1);
    UpdatePhaseSteps();
    line.Clear();
}

void WowFlutter::Prepare(double rate)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    depthSmoother.Configure(kDepthSeconds, sampleRate);
    UpdatePhaseSteps();
    if (line.Length() != kLineLength)
        line.Allocate(kLineLength);
    Reset();
}

void WowFlutter::UpdatePhaseSteps()
{
    for (int k = 0; k < kPhaseCount; ++k)
        phaseSteps[k] = kOmega[k] / sampleRate;
}

void WowFlutter::Reset()
{
    line.Clear();
    std::copy(std::begin(initialPhases), std::end(initialPhases), std::begin(phases));
    depthSmoother.target = amount;
    depthSmoother.current = amount;
}

void WowFlutter::SeedPhases(uint32_t seedValue)
{
    uint32_t s = seedValue != 0 ? seedValue : kZeroSeedReplacement;
    for (int k = 0; k < kPhaseCount; ++k) {
        s = DriftContext::XorShift32(s);
        phases[k] = s * kPhaseScale;
        initialPhases[k] = phases[k];
    }
}

double WowFlutter::Process(double x)
{
    return DelayRead(x, NextDelay());
}

double WowFlutter::NextDelay()
{
    double depth = depthSmoother.Tick();
    if (std::fabs(depthSmoother.target - depth) < kDepthLanding) {
        depthSmoother.current = depthSmoother.target;
        depth = depthSmoother.current;
    }

    double delaySamples = 0.0;
    if (depth != 0.0) {
        // Four of the five sines two at a time.
        const StereoDouble wow = EngineMath::Sin(StereoDouble(phases[0], phases[1]));
        const StereoDouble wowAndFlutter = EngineMath::Sin(StereoDouble(phases[2], phases[3]));
        const double m =
            EngineMath::Divide(
                EngineMath::Divide(kWowWeight1 * wow.Right() + wow.Left() + kWowWeight2 * wowAndFlutter.Left(),
                                   kWowWeightSum),
                kWowScale)
            + EngineMath::Divide(kFlutterWeight4 * EngineMath::Sin(phases[4]) + kFlutterWeight3 * wowAndFlutter.Right(),
                                 kFlutterScale)
            + kChaosWeight * chaosOffset;
        const double delayMs = std::clamp((std::clamp(m, -1.0, 1.0) * kSweepMs + kCentreMs) * depth, 0.0, kMaxDelayMs);
        delaySamples = delayMs * kMillisecondsToSeconds * sampleRate;
    }

    for (int k = 0; k < kPhaseCount; ++k) {
        phases[k] += phaseSteps[k];
        if (phases[k] >= kTwoPi)
            phases[k] -= kTwoPi;
    }
    return delaySamples;
}

bool WowFlutter::SweepsLike(const WowFlutter& other) const
{
    return sampleRate == other.sampleRate && amount == other.amount && chaosOffset == other.chaosOffset
           && depthSmoother.current == other.depthSmoother.current && depthSmoother.target == other.depthSmoother.target
           && depthSmoother.coefficient == other.depthSmoother.coefficient
           && std::equal(std::begin(phases), std::end(phases), std::begin(other.phases));
}

void WowFlutter::FollowSweep(const WowFlutter& leader)
{
    depthSmoother = leader.depthSmoother;
    std::copy(std::begin(leader.phases), std::end(leader.phases), std::begin(phases));
}

inline WowFlutter::Interpolation WowFlutter::InterpolationAt(double delaySamples) const
{
    Interpolation at;
    at.tap = TapBehind(static_cast<std::ptrdiff_t>(line.WriteIndex()), delaySamples, kLineLength);
    if (delaySamples > 2.0) {
        at.lagrange = Lagrange6(at.tap.fraction);
        at.lagrangeMix = delaySamples >= 3.0 ? 1.0 : delaySamples - 2.0;
    }
    return at;
}

// Inline: both units of a pair read here every sample. A read from three samples
// on, the most common, is Lagrange alone and skips the linear read.
inline double WowFlutter::ReadAt(double x, const Interpolation& at)
{
    if (line.Empty())
        return static_cast<float>(x);
    *line.FrameAt(line.WriteIndex()) = static_cast<float>(x);
    const DelayLineView<1> view = line.ViewAt(0.0);
    double y;
    if (at.lagrangeMix == 1.0) {
        y = at.lagrange.Read(view, at.tap.index);
    } else {
        y = ReadLinearTap(view, at.tap).value;
        if (at.lagrangeMix > 0.0)
            y += (at.lagrange.Read(view, at.tap.index) - y) * at.lagrangeMix;
    }
    line.Advance();
    return y;
}

double WowFlutter::DelayRead(double x, double delaySamples)
{
    return ReadAt(x, InterpolationAt(delaySamples));
}

void WowFlutter::DelayReadBoth(WowFlutter& left, WowFlutter& right, double& xL, double& xR, double delaySamples)
{
    const bool sameSpot = left.line.WriteIndex() == right.line.WriteIndex();
    const Interpolation at = left.InterpolationAt(delaySamples);
    xL = left.ReadAt(xL, at);
    xR = sameSpot ? right.ReadAt(xR, at) : right.DelayRead(xR, delaySamples);
}
