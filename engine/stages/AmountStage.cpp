#include "engine/stages/AmountStage.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSmoothSeconds = 0.01;
constexpr double kBypassLanding = 1e-12;
} // namespace

void AmountStage::ResetAmountToConstructed()
{
    sampleRate = EngineMath::kDefaultSampleRate;
    amount = 0.0;
    amountSmoother = ParamSmoother{};
    bypassMix = 1.0;
    bypassCoefficient = 1.0;
    bypassed = 0;
    cachedAmount = -1.0;
}

void AmountStage::PrepareAmount(double rate)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    amountSmoother.Configure(kSmoothSeconds, sampleRate);
}

void AmountStage::ResetAmount()
{
    bypassed = 0;
    cachedAmount = -1.0;
    bypassMix = amount <= 0.0 ? 1.0 : 0.0;
    bypassCoefficient = 1.0 - std::exp(-1.0 / (sampleRate * kSmoothSeconds));
    amountSmoother.current = amount;
    amountSmoother.target = amount;
}

bool AmountStage::StaysBypassed() const
{
    return amount <= 0.0 && bypassed && bypassMix == 1.0 && amountSmoother.TickHolds();
}

bool AmountStage::StaysRunning(double& smoothed) const
{
    if (!(amount > 0.0) || bypassed || !amountSmoother.TickHolds())
        return false;
    const double faded = EngineMath::StepFade(bypassMix, 0.0, bypassCoefficient, kBypassLanding);
    if (!EngineMath::SameBits(faded, bypassMix))
        return false;
    smoothed = std::clamp(amountSmoother.current, 0.0, 1.0);
    return true;
}

AmountStage::Step AmountStage::StepAmount(double& smoothed)
{
    smoothed = std::clamp(amountSmoother.Tick(), 0.0, 1.0);
    const double target = amount <= 0.0 ? 1.0 : 0.0;
    bypassMix = EngineMath::StepFade(bypassMix, target, bypassCoefficient, kBypassLanding);
    if (bypassMix == 1.0 && target == 1.0) {
        bypassed = 1;
        return Step::Bypassed;
    }
    if (bypassed) {
        bypassed = 0;
        return Step::Woken;
    }
    return Step::Running;
}
