#include "engine/ToneStage.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kDefaultSampleRate = 48000.0;
constexpr double kSmoothSeconds = 0.01;
constexpr double kBypassLanding = 1e-12;
constexpr double kBumpHz = 80.0;
} // namespace

ToneStage::ToneStage()
{
    ResetToConstructed();
}

void ToneStage::ResetToConstructed()
{
    sampleRate = kDefaultSampleRate;
    amount = 0.0;
    amountSmoother = ParamSmoother{};
    bypassMix = 1.0;
    bypassCoefficient = 1.0;
    bypassed = 0;
    cachedAmount = -1.0;
    b0 = 1.0;
    b1 = b2 = a1 = a2 = 0.0;
    lowPole = 0.0;
    bumpCos = 1.0;
    bumpSin = 0.0;
    ClearFilters();
}

void ToneStage::Prepare(double rate)
{
    sampleRate = (std::isfinite(rate) && rate > 0.0) ? rate : kDefaultSampleRate;
    amountSmoother.Configure(kSmoothSeconds, sampleRate);
    Reset();
}

void ToneStage::Reset()
{
    ClearFilters();
    bypassed = 0;
    cachedAmount = -1.0;
    bypassMix = amount <= 0.0 ? 1.0 : 0.0;
    bypassCoefficient = 1.0 - std::exp(-1.0 / (sampleRate * kSmoothSeconds));
    amountSmoother.current = amount;
    amountSmoother.target = amount;
    const double w0 = kTwoPi * kBumpHz / sampleRate;
    bumpCos = std::cos(w0);
    bumpSin = std::sin(w0);
}

void ToneStage::ClearFilters()
{
    x1 = x2 = y1 = y2 = 0.0;
    low = 0.0;
}

void ToneStage::UpdateCoefficients(double a)
{
    const double gain = std::pow(10.0, 6.0 * a / 40.0);
    const double alpha = bumpSin / 2.2;
    const double a0 = 1.0 + alpha / gain;
    b0 = (1.0 + alpha * gain) / a0;
    b1 = -2.0 * bumpCos / a0;
    a1 = b1;
    b2 = (1.0 - alpha * gain) / a0;
    a2 = (1.0 - alpha / gain) / a0;
    const double cutoff = std::min(0.45 * sampleRate, 18000.0 * std::pow(0.14444444444444443, a));
    lowPole = std::exp(-kTwoPi * cutoff / sampleRate);
    cachedAmount = a;
}

double ToneStage::Process(double x)
{
    const double a = std::clamp(amountSmoother.Tick(), 0.0, 1.0);
    const double target = amount <= 0.0 ? 1.0 : 0.0;
    bypassMix += (target - bypassMix) * bypassCoefficient;
    if (std::fabs(target - bypassMix) < kBypassLanding)
        bypassMix = target;
    if (bypassMix == 1.0 && target == 1.0) {
        bypassed = 1;
        return x;
    }
    if (bypassed) {
        ClearFilters();
        bypassed = 0;
    }
    if (a != cachedAmount)
        UpdateCoefficients(a);

    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    low = (1.0 - lowPole) * y + lowPole * low;
    return (1.0 - bypassMix) * low + bypassMix * x;
}
