#include "engine/TapeSaturator.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kDefaultSampleRate = 48000.0;
constexpr double kSmoothSeconds = 0.01;
constexpr double kBypassLanding = 1e-12;
} // namespace

const double TapeSaturator::kHalfBand8[kTaps] = {-0.0051639, -0.0228819, 0.0967484, 0.4313074,
                                                 0.4313074,  0.0967484,  -0.0228819, -0.0051639};

TapeSaturator::TapeSaturator()
{
    ResetToConstructed();
}

void TapeSaturator::ResetToConstructed()
{
    sampleRate = kDefaultSampleRate;
    amount = 0.0;
    amountSmoother = ParamSmoother{};
    bypassMix = 1.0;
    bypassCoefficient = 1.0;
    bypassed = 0;
    cachedAmount = -1.0;
    positiveDrive = negativeDrive = makeup = 1.0;
    mix = 0.0;
    ClearFilters();
}

void TapeSaturator::Prepare(double rate)
{
    sampleRate = (std::isfinite(rate) && rate > 0.0) ? rate : kDefaultSampleRate;
    amountSmoother.Configure(kSmoothSeconds, sampleRate);
    Reset();
}

void TapeSaturator::Reset()
{
    ClearFilters();
    bypassed = 0;
    cachedAmount = -1.0;
    bypassMix = amount <= 0.0 ? 1.0 : 0.0;
    bypassCoefficient = 1.0 - std::exp(-1.0 / (sampleRate * kSmoothSeconds));
    amountSmoother.current = amount;
    amountSmoother.target = amount;
}

void TapeSaturator::ClearFilters()
{
    std::fill(std::begin(upHistory), std::end(upHistory), 0.0);
    std::fill(std::begin(downHistory), std::end(downHistory), 0.0);
    upIndex = 0;
    downIndex = 0;
    dcInPrev = 0.0;
    dcOutPrev = 0.0;
}

void TapeSaturator::UpdateDrive(double a)
{
    const double g = (2.5 * std::pow(a, 1.3) + 1.0) / (1.0 - 0.2 * a * a);
    negativeDrive = (1.0 - 0.4 * a) * g;
    positiveDrive = (1.0 + 0.4 * a) * g;
    makeup = std::pow(g, -0.62);
    const double u = a > 0.0 ? std::min(a / 0.075, 1.0) : 0.0;
    mix = u * u * (3.0 - 2.0 * u);
    cachedAmount = a;
}

double TapeSaturator::Push(double (&history)[kTaps], int& index, double x)
{
    index = index == 0 ? kTaps - 1 : index - 1;
    history[index] = x;
    double sum = 0.0;
    int k = index;
    for (int t = 0; t < kTaps; ++t) {
        sum += kHalfBand8[t] * history[k];
        k = k + 1 == kTaps ? 0 : k + 1;
    }
    return sum;
}

double TapeSaturator::Process(double x)
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
        UpdateDrive(a);

    auto shape = [&](double u) {
        const double drive = u >= 0.0 ? positiveDrive : negativeDrive;
        return (std::tanh(u * drive) * makeup - u) * mix + u;
    };
    // Zero-stuffed 2x: the stuffed zero keeps the filter's gain at 1 after the x2.
    const double u0 = Push(upHistory, upIndex, 2.0 * x);
    const double u1 = Push(upHistory, upIndex, 0.0);
    const double d = Push(downHistory, downIndex, shape(u0));
    Push(downHistory, downIndex, shape(u1));

    const double pole = std::clamp(1.0 - kTwoPi * 10.0 / sampleRate, 0.0, 0.999999);
    const double y = pole * dcOutPrev + (d - dcInPrev);
    dcInPrev = d;
    dcOutPrev = y;
    return y * (1.0 - bypassMix) + x * bypassMix;
}
