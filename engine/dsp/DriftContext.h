#pragma once
#include <cstdint>

#include "engine/dsp/ParamSmoother.h"

// The engine's single source of chaos: one seeded xorshift32 generator shared by
// every stage that draws random events, and eight slowly wandering walkers that
// stages read (scaled by `amount` themselves) as smooth random modulation.
class DriftContext
{
public:
    static constexpr int kWalkerCount = 8;

    explicit DriftContext(uint32_t seed = 1);

    void Reseed(uint32_t seed);
    // Advances every walker by one Brownian step for an interval of dt seconds.
    void Step(double dt);

    // Smoothed walk of walker i (0..7), -1..1.
    double WalkerValue(int index) const { return walkers[index].smoother.current; }
    // The raw walk of walker i (0..7), -1..1, which the smoothed value follows.
    double WalkerWalk(int index) const { return walkers[index].value; }

    // The generator shared by all users: one xorshift32 step.
    uint32_t NextRandom() { return rng = XorShift32(rng); }
    // The generator's state, as the next NextRandom() starts from it.
    uint32_t GeneratorState() const { return rng; }
    // The last seed given.
    uint32_t Seed() const { return seed; }
    // Counts the reseeds: users that seed their own generators from this one
    // compare it to know when to seed again.
    uint32_t Generation() const { return generation; }
    // The block's CHAOS value, 0..1 as stored; it does not scale the walkers,
    // each user scales them itself.
    double Amount() const { return amount; }
    void SetAmount(double chaos) { amount = chaos; }

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

private:
    struct Walker
    {
        double value = 0.0;     // raw walk, -1..1
        ParamSmoother smoother; // smoother.current is what stages read
    };

    uint32_t rng = 1;
    uint32_t seed = 1;
    uint32_t generation = 0;
    double amount = 0.0;
    Walker walkers[kWalkerCount];
};
