#pragma once
#include <cstdint>

#include "engine/ParamSmoother.h"

// The engine's single source of chaos: one seeded xorshift32 generator shared by
// every stage that draws random events, and eight slowly wandering walkers that
// stages read (scaled by `amount` themselves) as smooth random modulation.
class DriftContext
{
public:
    static constexpr int kWalkerCount = 8;

    struct Walker
    {
        double value = 0.0;     // raw walk, -1..1
        ParamSmoother smoother; // smoother.current is what stages read
    };

    explicit DriftContext(uint32_t seed = 1);

    void Reseed(uint32_t seed);
    // Advances every walker by one Brownian step for an interval of dt seconds.
    void Step(double dt);

    // Smoothed walk of walker i (0..7), -1..1.
    double WalkerValue(int index) const { return walkers[index].smoother.current; }

    // The generator shared by all users: one xorshift32 step.
    uint32_t NextRandom() { return rng = XorShift32(rng); }

    static uint32_t XorShift32(uint32_t x)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    // u * 2^-32, in 0..1.
    static double ToUnit(uint32_t u) { return u * (1.0 / 4294967296.0); }
    // u * 2^-31 - 1, in -1..1.
    static double ToBipolar(uint32_t u) { return u * (1.0 / 2147483648.0) - 1.0; }

    uint32_t rng = 1;
    uint32_t seed = 1;
    uint32_t generation = 0;
    double amount = 0.0;
    Walker walkers[kWalkerCount];
};
