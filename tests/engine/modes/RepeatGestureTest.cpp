#include <gtest/gtest.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/EffectEngine.h"

// HOLD (momentary) and LATCH (toggled) are two host parameters for one gesture:
// both freeze the slice heard when they engage, and releasing either lets the
// repeats follow the input again.
namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

struct Gesture
{
    const char* name;
    int param; // -1: no gesture
};

class RepeatGestureTest : public ::testing::TestWithParam<Gesture>
{
protected:
    void SetUp() override
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
        const std::pair<int, double> settings[] = {
            {kMode, 1},        {kRepeatEngine, 1},   {kMix, 1},       {kDrive, 0},     {kWear, 0},
            {kChaos, 0},       {kShape, 0},          {kSync, 0},      {kMacro, 0.336}, {kRepeatCount, 2},
            {kRepeatDecay, 1}, {kRepeatFeedback, 0}, {kInputGate, 0}, {kLevel, 0},
        };
        for (const auto& [index, value] : settings)
            engine.SetParam(index, value);
        engine.Prepare(kRate, kBlock);
    }

    // Runs whole blocks of noise (or silence) and returns the output's RMS.
    double Run(double seconds, bool noise)
    {
        const int blocks = static_cast<int>(seconds * kRate / kBlock);
        std::vector<float> l(kBlock), r(kBlock);
        double sum = 0.0;
        for (int b = 0; b < blocks; ++b) {
            for (int i = 0; i < kBlock; ++i) {
                seed = seed * 1664525u + 1013904223u;
                const float v = noise ? 0.5f * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) : 0.0f;
                l[i] = v;
                r[i] = v; // the repeats are mono unless Echo Preserve Stereo is on
            }
            engine.Process(l.data(), r.data(), l.data(), r.data(), kBlock);
            for (int i = 0; i < kBlock; ++i)
                sum += 0.5 * (static_cast<double>(l[i]) * l[i] + static_cast<double>(r[i]) * r[i]);
        }
        return std::sqrt(sum / (static_cast<double>(blocks) * kBlock));
    }

    EffectEngine engine;
    uint32_t seed = 7;
};

} // namespace

TEST_P(RepeatGestureTest, FreezesTheSliceWhileEngagedAndReleases)
{
    const Gesture g = GetParam();
    Run(1.0, true);
    if (g.param >= 0)
        engine.SetParam(g.param, 1);
    Run(0.5, false);
    const double whileEngaged = Run(0.5, false);

    if (g.param < 0) {
        EXPECT_LT(whileEngaged, 1e-4) << "two 50 ms repeats of silence are silent";
        return;
    }
    EXPECT_GT(whileEngaged, 0.05) << g.name << " keeps playing the captured slice over silence";

    engine.SetParam(g.param, 0);
    Run(0.5, false);
    EXPECT_LT(Run(0.5, false), 1e-4) << g.name << " released: the repeats follow the silent input";
}

INSTANTIATE_TEST_SUITE_P(HoldAndLatch, RepeatGestureTest,
                         ::testing::Values(Gesture{"none", -1}, Gesture{"hold", kRepeatHold},
                                           Gesture{"latch", kRepeatLatch}),
                         [](const ::testing::TestParamInfo<Gesture>& info) { return std::string(info.param.name); });
