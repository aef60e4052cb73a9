#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/dsp/DriftContext.h"

namespace {

std::vector<double> Walk(DriftContext& drift, int steps, double dt)
{
    std::vector<double> out;
    for (int s = 0; s < steps; ++s) {
        drift.Step(dt);
        for (int w = 0; w < DriftContext::kWalkerCount; ++w) {
            out.push_back(drift.WalkerWalk(w));
            out.push_back(drift.WalkerValue(w));
        }
    }
    return out;
}

} // namespace

TEST(DriftContext, ConstructionReseedsOnce)
{
    const DriftContext drift(7);
    EXPECT_EQ(drift.Seed(), 7u);
    EXPECT_EQ(drift.GeneratorState(), 7u);
    EXPECT_EQ(drift.Generation(), 1u);
    EXPECT_EQ(drift.Amount(), 0.0);
    for (int w = 0; w < DriftContext::kWalkerCount; ++w) {
        EXPECT_EQ(drift.WalkerWalk(w), 0.0);
        EXPECT_EQ(drift.WalkerValue(w), 0.0);
    }
}

TEST(DriftContext, ZeroSeedIsReplaced)
{
    DriftContext drift(1);
    drift.Reseed(0);
    EXPECT_EQ(drift.Seed(), 0u);
    EXPECT_EQ(drift.GeneratorState(), 0x9e3779b9u);
}

TEST(DriftContext, XorShiftUsesShifts13_17_5)
{
    uint32_t x = 1;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    EXPECT_EQ(DriftContext::XorShift32(1), x);
    EXPECT_EQ(DriftContext::ToUnit(0), 0.0);
    EXPECT_EQ(DriftContext::ToBipolar(0), -1.0);
    EXPECT_EQ(DriftContext::ToBipolar(0x80000000u), 0.0);
}

TEST(DriftContext, SameSeedRepeatsTheWalkWithNewGeneration)
{
    DriftContext drift(1);
    drift.Reseed(0x5eed0003u);
    const uint32_t firstGeneration = drift.Generation();
    const auto first = Walk(drift, 50, 512.0 / 48000);
    drift.Reseed(0x5eed0003u);
    EXPECT_NE(drift.Generation(), firstGeneration);
    EXPECT_EQ(Walk(drift, 50, 512.0 / 48000), first);

    drift.Reseed(0x5eed0004u);
    EXPECT_NE(Walk(drift, 50, 512.0 / 48000), first);
}

TEST(DriftContext, NonPositiveStepOnlyAdvancesTheGenerator)
{
    for (double dt : {0.0, -1.0}) {
        DriftContext drift(42);
        drift.Step(0.01);
        double values[DriftContext::kWalkerCount], smoothed[DriftContext::kWalkerCount];
        for (int w = 0; w < DriftContext::kWalkerCount; ++w) {
            values[w] = drift.WalkerWalk(w);
            smoothed[w] = drift.WalkerValue(w);
        }
        uint32_t expectedRng = drift.GeneratorState();
        for (int i = 0; i < 8; ++i)
            expectedRng = DriftContext::XorShift32(expectedRng);
        drift.Step(dt);
        EXPECT_EQ(drift.GeneratorState(), expectedRng) << dt;
        for (int w = 0; w < DriftContext::kWalkerCount; ++w) {
            EXPECT_EQ(drift.WalkerWalk(w), values[w]) << dt;
            EXPECT_EQ(drift.WalkerValue(w), smoothed[w]) << dt;
        }
    }
}

TEST(DriftContext, WalkersStayWithinUnitRange)
{
    DriftContext drift(99);
    for (int s = 0; s < 2000; ++s) {
        drift.Step(100.0);
        for (int w = 0; w < DriftContext::kWalkerCount; ++w) {
            ASSERT_GE(drift.WalkerWalk(w), -1.0);
            ASSERT_LE(drift.WalkerWalk(w), 1.0);
            ASSERT_GE(drift.WalkerValue(w), -1.0);
            ASSERT_LE(drift.WalkerValue(w), 1.0);
        }
    }
}

TEST(DriftContext, SmoothedWalkFollowsWithFiftyMillisecondPole)
{
    DriftContext drift(5);
    const double dt = 512.0 / 48000;
    drift.Step(dt);
    const double a = 1.0 - std::exp(-dt / 0.05);
    for (int w = 0; w < DriftContext::kWalkerCount; ++w)
        EXPECT_DOUBLE_EQ(drift.WalkerValue(w), drift.WalkerWalk(w) * a);
}
