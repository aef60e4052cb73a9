#include <gtest/gtest.h>

#include <cmath>

#include "engine/dsp/ParamSmoother.h"

TEST(ParamSmoother, ConstructedState)
{
    const ParamSmoother s;
    EXPECT_EQ(s.current, 0.0);
    EXPECT_EQ(s.target, 0.0);
    EXPECT_EQ(s.coefficient, 1.0);
    EXPECT_EQ(s.time, 0.05);
    EXPECT_EQ(s.stepValid, 0);
    EXPECT_EQ(s.configured, 0);
}

TEST(ParamSmoother, ConfigureSetsOnePoleCoefficient)
{
    struct Case
    {
        double time, rate, expected;
    };
    const Case cases[] = {
        {0.02, 48000, 1.0 - std::exp(-1.0 / (0.02 * 48000))},
        {0.01, 44100, 1.0 - std::exp(-1.0 / (0.01 * 44100))},
        {0.05, 0.0, 1.0}, // no rate: jumps
        {0.05, -1.0, 1.0},
        {0.0, 48000, 1.0 - std::exp(-1.0 / (1e-9 * 48000))},
    };
    for (const Case& c : cases) {
        ParamSmoother s;
        s.Configure(c.time, c.rate);
        EXPECT_EQ(s.coefficient, c.expected) << c.time << " " << c.rate;
        EXPECT_EQ(s.time, c.time > 0 ? c.time : 1e-9);
        EXPECT_EQ(s.configured, 1);
    }
}

TEST(ParamSmoother, ReconfigureWithOtherTimeReplacesTheCache)
{
    ParamSmoother s;
    s.Configure(0.02, 48000);
    const double first = s.coefficient;
    s.Configure(0.02, 48000);
    EXPECT_EQ(s.coefficient, first);
    s.Configure(0.01, 48000);
    EXPECT_EQ(s.coefficient, 1.0 - std::exp(-1.0 / (0.01 * 48000)));
    EXPECT_EQ(s.configuredTime, 0.01);
    // A coefficient changed behind the cache's back is restored on the next call.
    s.coefficient = 0.5;
    s.Configure(0.01, 48000);
    EXPECT_EQ(s.coefficient, 1.0 - std::exp(-1.0 / (0.01 * 48000)));
}

TEST(ParamSmoother, StepMovesByIntervalAndLandsOnHugeInterval)
{
    ParamSmoother s;
    s.Configure(0.05, 1.0);
    s.target = 1.0;
    s.Step(0.05);
    EXPECT_DOUBLE_EQ(s.current, 1.0 - std::exp(-1.0));
    s.Step(1e6);
    EXPECT_EQ(s.current, 1.0);
}

TEST(ParamSmoother, StepWithoutPositiveIntervalHoldsStill)
{
    for (double interval : {0.0, -1.0, std::nan("")}) {
        ParamSmoother s;
        s.current = 0.25;
        s.target = 1.0;
        s.Step(interval);
        EXPECT_EQ(s.current, 0.25) << interval;
    }
}

TEST(ParamSmoother, StepCacheFollowsTimeChanges)
{
    ParamSmoother s;
    s.Configure(0.05, 1.0);
    s.target = 1.0;
    s.Step(0.01);
    s.Configure(0.01, 1.0);
    s.current = 0.0;
    s.Step(0.01);
    EXPECT_DOUBLE_EQ(s.current, 1.0 - std::exp(-1.0));
}

TEST(ParamSmoother, TickIsThePerSampleGlide)
{
    ParamSmoother s;
    s.Configure(0.01, 48000);
    s.target = 2.0;
    s.current = 1.0;
    const double expected = (2.0 - 1.0) * s.coefficient + 1.0;
    EXPECT_EQ(s.Tick(), expected);
}
