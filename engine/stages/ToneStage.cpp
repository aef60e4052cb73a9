#include "engine/stages/ToneStage.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::kTwoPi;
constexpr double kBumpHz = 80.0;
// The bump rises to 6 dB at full amount (amplitude factor 10^(dB / 40) for a
// peaking filter) with a Q of 1.1 (alpha = sin w0 / (2 Q)).
constexpr double kBumpDbAtFull = 6.0;
constexpr double kPeakingDbDivisor = 40.0;
constexpr double kBumpTwiceQ = 2.2;
// The high cut falls from 18 kHz by a ratio of 0.1444 (to 2.6 kHz) at full
// amount, never above 0.45 of the rate.
constexpr double kHighCutHz = 18000.0;
constexpr double kHighCutRatio = 0.14444444444444443;
constexpr double kHighCutRateShare = 0.45;
} // namespace

ToneStage::ToneStage()
{
    ResetToConstructed();
}

void ToneStage::ResetToConstructed()
{
    ResetAmountToConstructed();
    b0 = 1.0;
    b1 = b2 = a1 = a2 = 0.0;
    lowPole = 0.0;
    bumpCos = 1.0;
    bumpSin = 0.0;
    ClearFilters();
}

void ToneStage::Prepare(double rate)
{
    PrepareAmount(rate);
    Reset();
}

void ToneStage::Reset()
{
    ClearFilters();
    ResetAmount();
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
    const double gain = std::pow(10.0, kBumpDbAtFull * a / kPeakingDbDivisor);
    const double alpha = bumpSin / kBumpTwiceQ;
    const double a0 = 1.0 + alpha / gain;
    b0 = (1.0 + alpha * gain) / a0;
    b1 = -2.0 * bumpCos / a0;
    a1 = b1;
    b2 = (1.0 - alpha * gain) / a0;
    a2 = (1.0 - alpha / gain) / a0;
    const double cutoff = std::min(kHighCutRateShare * sampleRate, kHighCutHz * std::pow(kHighCutRatio, a));
    lowPole = std::exp(-kTwoPi * cutoff / sampleRate);
    cachedAmount = a;
}

double ToneStage::Process(double x)
{
    double a = 0.0;
    const Step step = StepAmount(a);
    if (step == Step::Bypassed)
        return x;
    if (step == Step::Woken)
        ClearFilters();
    if (a != cachedAmount)
        UpdateCoefficients(a);

    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    low = (1.0 - lowPole) * y + lowPole * low;
    return Blend(low, x);
}
