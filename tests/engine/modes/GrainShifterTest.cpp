#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <pmmintrin.h>
#include <vector>
#include <xmmintrin.h>

#include "engine/modes/GrainShifter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class GrainShifterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    }

    // Deterministic distinct test samples.
    static float Noise(uint32_t& state)
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state >> 8) - (1 << 23)) / (1 << 23);
    }

    // Power of a signal at one frequency (Goertzel).
    static double PowerAt(const std::vector<float>& x, double hz, double rate)
    {
        const double w = 2.0 * std::cos(2.0 * kPi * hz / rate);
        double s1 = 0.0, s2 = 0.0;
        for (float v : x) {
            const double s0 = v + w * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return s1 * s1 + s2 * s2 - w * s1 * s2;
    }
};

} // namespace

TEST_F(GrainShifterTest, GrainLengthFollowsTheRatio)
{
    struct Case
    {
        double ratio;
        double seconds;
    };
    const Case cases[] = {
        {1.0, 0.05},
        {0.5, 0.05},
        {1.25, 0.05},
        {-1.0, 0.05},
        {2.0, 0.05299999999999999},
        {-2.0, 0.05299999999999999},
        {1.5, 0.05 + 0.045 / 3.0},
        {4.0, 0.05299999999999999 / 3.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(GrainLengthSeconds(c.ratio), c.seconds, 1e-15) << c.ratio;
    EXPECT_EQ(GrainLengthSeconds(2.0), 0.05299999999999999);
}

TEST_F(GrainShifterTest, AtUnityItIsAnExactSixtyMillisecondDelay)
{
    GrainShifter shifter;
    shifter.Prepare(48000.0);
    ASSERT_EQ(shifter.CurrentState().length, 19202);
    std::vector<float> input(8000);
    uint32_t state = 7;
    for (float& v : input)
        v = Noise(state);
    for (size_t n = 0; n < input.size(); ++n) {
        const float y = shifter.Process(input[n]);
        const float expected = n < 2880 ? 0.0f : input[n - 2880];
        ASSERT_EQ(y, expected) << n;
    }
}

TEST_F(GrainShifterTest, ResetForgetsEarlierAudio)
{
    GrainShifter shifter;
    shifter.Prepare(44100.0);
    for (int n = 0; n < 30000; ++n)
        shifter.Process(1.0f);
    shifter.SetRatio(0.5);
    shifter.Reset();
    // Both the plain delay and the slowed heads read only what was pushed since.
    for (double ratio : {0.5, 1.0}) {
        shifter.SetRatio(ratio);
        shifter.Reset();
        for (int n = 0; n < 2000; ++n)
            ASSERT_EQ(shifter.Process(0.0f), 0.0f) << ratio << " " << n;
    }
}

TEST_F(GrainShifterTest, RatioTwoRaisesAnOctave)
{
    const double rate = 48000.0;
    GrainShifter shifter;
    shifter.Prepare(rate);
    shifter.SetRatio(2.0);
    std::vector<float> out;
    for (int n = 0; n < 48000; ++n) {
        const float y = shifter.Process(static_cast<float>(std::sin(2.0 * kPi * 300.0 * n / rate)));
        if (n >= 9600)
            out.push_back(y);
    }
    EXPECT_GT(PowerAt(out, 600.0, rate), 20.0 * PowerAt(out, 300.0, rate));
}

TEST_F(GrainShifterTest, ReturningToUnityCrossfadesOverOneGrain)
{
    GrainShifter shifter;
    shifter.Prepare(48000.0);
    shifter.SetRatio(2.0);
    std::vector<float> input(40000);
    uint32_t state = 11;
    for (float& v : input)
        v = Noise(state);
    size_t n = 0;
    for (; n < 20000; ++n)
        shifter.Process(input[n]);

    shifter.SetRatio(1.0);
    ASSERT_EQ(shifter.CurrentState().crossfadeLength, 2544);
    int differing = 0;
    for (int i = 0; i < 2544; ++i, ++n)
        differing += shifter.Process(input[n]) != input[n - 2880];
    EXPECT_GT(differing, 2000);
    EXPECT_EQ(shifter.CurrentState().crossfadeRemaining, 0);
    for (; n < input.size(); ++n)
        ASSERT_EQ(shifter.Process(input[n]), input[n - 2880]) << n;

    // Leaving unity again cancels a crossfade that is still running.
    shifter.SetRatio(0.5);
    shifter.SetRatio(1.0);
    EXPECT_GT(shifter.CurrentState().crossfadeRemaining, 0);
    shifter.SetRatio(2.0);
    EXPECT_EQ(shifter.CurrentState().crossfadeRemaining, 0);
}

TEST_F(GrainShifterTest, ResampleKeepsTheDelayedSignalInTime)
{
    const double hz = 50.0;
    GrainShifter shifter;
    shifter.Prepare(48000.0);
    for (int n = 0; n < 30001; ++n)
        shifter.Process(static_cast<float>(std::sin(2.0 * kPi * hz * n / 48000.0)));

    shifter.Resample(96000.0);
    const GrainShifter::State& resampled = shifter.CurrentState();
    EXPECT_EQ(resampled.length, 38402);
    EXPECT_DOUBLE_EQ(resampled.minDelay, 5760.0);
    EXPECT_DOUBLE_EQ(resampled.clock, 60002.0);
    EXPECT_EQ(resampled.writeIndex, static_cast<int>(std::fmod(resampled.clock, resampled.length)));

    // Continue the same sine at the new rate; the output is the input 60 ms ago.
    for (int n = 0; n < 6000; ++n) {
        const double t = (60002.0 + n) / 96000.0;
        const float y = shifter.Process(static_cast<float>(std::sin(2.0 * kPi * hz * t)));
        ASSERT_NEAR(y, std::sin(2.0 * kPi * hz * (t - 0.06)), 2e-3) << n;
    }
}

TEST_F(GrainShifterTest, UnusableRatesFallBackSafely)
{
    GrainShifter unprepared;
    EXPECT_EQ(unprepared.Process(1.0f), 0.0f);

    GrainShifter shifter;
    shifter.Prepare(std::nan(""));
    EXPECT_EQ(shifter.CurrentState().sampleRate, 48000.0);
    shifter.Prepare(-5.0);
    EXPECT_EQ(shifter.CurrentState().sampleRate, 48000.0);
    shifter.Resample(std::numeric_limits<double>::infinity());
    shifter.Resample(0.0);
    shifter.Resample(1e13);
    EXPECT_EQ(shifter.CurrentState().sampleRate, 48000.0);
    EXPECT_EQ(shifter.CurrentState().length, 19202);

    // A rate beyond the engine's range is pulled into it rather than sizing the ring for it.
    GrainShifter huge;
    huge.Prepare(1e13);
    EXPECT_EQ(huge.CurrentState().sampleRate, 384000.0);
    EXPECT_EQ(huge.CurrentState().length, 153602);
}
