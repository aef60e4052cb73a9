#include "engine/dsp/DriftContext.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::kZeroSeedReplacement;
// The smoothed walk follows the raw one with this time constant (seconds); the
// smoothers step by intervals in seconds, so their per-sample rate is 1 Hz.
constexpr double kWalkerTime = 0.05;
constexpr double kWalkerSmootherRate = 1.0;
// A walker's step is this much of the square root of the interval (seconds).
constexpr double kWalkStepScale = 0.5;
} // namespace

DriftContext::DriftContext(uint32_t initialSeed)
{
    Reseed(initialSeed);
}

void DriftContext::Reseed(uint32_t newSeed)
{
    seed = newSeed;
    generation += 1;
    rng = newSeed != 0 ? newSeed : kZeroSeedReplacement;
    for (auto& walker : walkers) {
        walker.value = 0.0;
        walker.smoother = ParamSmoother{};
        walker.smoother.Configure(kWalkerTime, kWalkerSmootherRate);
    }
}

void DriftContext::Step(double dt)
{
    const double stepSize = std::sqrt(std::max(dt, 0.0));
    for (auto& walker : walkers) {
        const double r = ToBipolar(NextRandom());
        walker.value = std::clamp(walker.value + r * stepSize * kWalkStepScale, -1.0, 1.0);
        walker.smoother.target = walker.value;
        walker.smoother.Step(dt);
    }
}
