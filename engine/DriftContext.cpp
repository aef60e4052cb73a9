#include "engine/DriftContext.h"

#include <algorithm>
#include <cmath>

#include "engine/EngineMath.h"

namespace {
using EngineMath::kZeroSeedReplacement;
constexpr double kWalkerTime = 0.05;
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
        walker.smoother.Configure(kWalkerTime, 1.0);
    }
}

void DriftContext::Step(double dt)
{
    const double s = std::sqrt(std::max(dt, 0.0));
    for (auto& walker : walkers) {
        const double r = ToBipolar(NextRandom());
        walker.value = std::clamp(walker.value + r * s * 0.5, -1.0, 1.0);
        walker.smoother.target = walker.value;
        walker.smoother.Step(dt);
    }
}
