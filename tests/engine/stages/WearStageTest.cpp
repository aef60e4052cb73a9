#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "engine/dsp/DriftContext.h"
#include "engine/stages/TapeSaturator.h"
#include "engine/stages/WearStage.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/AudioProbe.h"
#include "tests/engine/ChunkedRender.h"

using namespace audio_probe;

namespace {

constexpr double kRate = 48000.0;

struct Trims
{
    double wear = 0.0;
    double wow = 0.0;
    double bandwidth = 0.0;
    double noise = 0.0;
    double crush = 0.0;
};

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
};

// The stage as the engine drives it: prepared with the targets already set,
// one sample per call, the drift's walkers stepped every 512 samples.
class WearRig
{
public:
    explicit WearRig(const Trims& trims, uint32_t seed = 7) : drift(seed)
    {
        Set(trims);
        stage.Prepare(kRate);
    }

    void Set(const Trims& t) { stage.SetTargets(t.wear, t.wow, t.bandwidth, t.noise, t.crush); }

    Stereo Run(const std::vector<float>& left, const std::vector<float>& right)
    {
        Stereo out{left, right};
        for (size_t i = 0; i < left.size(); ++i) {
            if (counter++ % 512 == 0)
                drift.Step(512.0 / kRate);
            stage.Process(&out.left[i], &out.right[i], 1, drift);
        }
        return out;
    }
    Stereo Run(const std::vector<float>& mono) { return Run(mono, mono); }

    // What the engine does at a preparation: reseed the drift, prepare the stage.
    void Restart(uint32_t seed)
    {
        drift.Reseed(seed);
        stage.Prepare(kRate);
        counter = 0;
    }

    DriftContext drift;
    WearStage stage;

private:
    unsigned counter = 0;
};

std::vector<float> Silence(int count)
{
    return std::vector<float>(static_cast<size_t>(count), 0.0f);
}

// Delay (in samples) that best aligns a window of the output with the input.
int BestLag(const std::vector<float>& out, const std::vector<float>& in, size_t begin, int maxLag)
{
    int best = 0;
    double bestScore = -1e300;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double score = 0.0;
        for (size_t i = begin; i < begin + 480; ++i)
            score += static_cast<double>(out[i]) * in[i - static_cast<size_t>(lag)];
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

class WearStageTest : public ::testing::Test
{
protected:
    FloatModeScope floatMode;
};

TEST_F(WearStageTest, WearZeroPassesInputExactlyFromTheFirstSample)
{
    // The trims alone do nothing: WEAR scales every effect.
    WearRig rig({0.0, 1.0, 1.0, 1.0, 1.0});
    const auto input = Sine(440.0, 0.8, kRate, 4800);
    const Stereo out = rig.Run(input);
    EXPECT_EQ(out.left, input);
    EXPECT_EQ(out.right, input);
    EXPECT_TRUE(rig.stage.IsBypassed());
}

class WearFallTest : public ::testing::TestWithParam<bool>
{};

TEST_P(WearFallTest, FallingToWearZeroGoesIdleWithAndWithoutFlushToZero)
{
    FloatModeScope floatMode(GetParam());
    WearRig rig({0.8, 0.5, 0.5, 0.5, 0.5});
    rig.Run(Sine(220.0, 0.3, kRate, 24000));
    ASSERT_FALSE(rig.stage.IsBypassed());

    rig.Set({0.0, 0.5, 0.5, 0.5, 0.5});
    // WEAR glides out over its 20 ms smoother, then the 10 ms switch lands.
    rig.Run(Sine(220.0, 0.3, kRate, 48000));
    EXPECT_TRUE(rig.stage.IsBypassed());
    const auto input = Sine(330.0, 0.3, kRate, 2400);
    const Stereo out = rig.Run(input);
    EXPECT_EQ(out.left, input);
    EXPECT_EQ(out.right, input);
}

INSTANTIATE_TEST_SUITE_P(FloatModes, WearFallTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "FlushToZero" : "Denormals"; });

TEST_F(WearStageTest, FullWearWithoutTrimsOnlySaturates)
{
    WearRig rig({1.0, 0.0, 0.0, 0.0, 0.0});
    EXPECT_EQ(rig.Run(Silence(9600)).left, Silence(9600)) << "no hiss, no wow, nothing from silence";

    WearRig fresh({1.0, 0.0, 0.0, 0.0, 0.0});
    TapeSaturator reference[2];
    for (TapeSaturator& s : reference)
        s.Prepare(kRate);
    const auto input = Sine(700.0, 0.6, kRate, 9600);
    const Stereo out = fresh.Run(input);
    for (size_t i = 0; i < input.size(); ++i) {
        for (TapeSaturator& s : reference)
            s.SetAmount(1.0);
        ASSERT_EQ(out.left[i], static_cast<float>(reference[0].Process(input[i]))) << i;
        reference[1].Process(input[i]);
    }
}

TEST_F(WearStageTest, WowModulatesTheDelayAlikeOnBothChannels)
{
    // WEAR 0.2 keeps the saturator out; 2 x 0.2 x 1 gives a third of the wow depth.
    WearRig rig({0.2, 1.0, 0.0, 0.0, 0.0});
    const auto input = Sine(100.0, 0.5, kRate, 3 * 48000);
    const Stereo out = rig.Run(input);
    EXPECT_EQ(out.left, out.right);

    int smallest = 1 << 30;
    int largest = 0;
    for (size_t window = 12000; window + 480 < input.size(); window += 6000) {
        const int lag = BestLag(out.left, input, window, 300);
        smallest = std::min(smallest, lag);
        largest = std::max(largest, lag);
    }
    // (6 +- 2.5) ms x 1/3 is 56 to 136 samples at 48 kHz.
    EXPECT_GE(smallest, 50);
    EXPECT_LE(largest, 140);
    EXPECT_GE(largest - smallest, 15) << "the delay must wander";
}

TEST_F(WearStageTest, BandwidthTrimAddsLowBumpAndCutsHighs)
{
    auto gainDb = [](double bandwidth, double hz) {
        WearRig rig({1.0, 0.0, bandwidth, 0.0, 0.0});
        const Stereo y = rig.Run(Sine(hz, 0.1, kRate, 48000));
        return Db(ToneAmplitude(y.left, hz, kRate, 24000, 48000) / 0.1);
    };
    // Measured against the same WEAR without the trim, so only the tone stage differs.
    EXPECT_NEAR(gainDb(1.0, 80.0) - gainDb(0.0, 80.0), 6.0, 1.0);
    EXPECT_NEAR(gainDb(1.0, 1000.0) - gainDb(0.0, 1000.0), 0.0, 1.5);
    EXPECT_LT(gainDb(1.0, 10000.0) - gainDb(0.0, 10000.0), -8.0);
}

TEST_F(WearStageTest, NoiseTrimAddsBandLimitedHiss)
{
    WearRig rig({1.0, 0.0, 0.0, 1.0, 0.0});
    const Stereo y = rig.Run(Silence(96000));
    const double rms = Rms(y.left, 48000, 96000);
    EXPECT_GT(rms, 0.004);
    EXPECT_LT(rms, 0.02);
    EXPECT_NE(y.left, y.right) << "independent hiss per channel";

    // A one-pole low-pass at 300 Hz keeps little of a 2 to 14 kHz band.
    std::vector<double> low(y.left.size());
    const double pole = std::exp(-2.0 * kPi * 300.0 / kRate);
    double state = 0.0;
    for (size_t i = 0; i < y.left.size(); ++i)
        low[i] = state = (1.0 - pole) * y.left[i] + pole * state;
    EXPECT_LT(Rms(low, 48000, 96000), 0.1 * rms);

    WearRig quiet({1.0, 0.0, 0.0, 0.25, 0.0});
    EXPECT_EQ(quiet.Run(Silence(9600)).left, Silence(9600)) << "below half the noise range there is no hiss";
}

TEST_F(WearStageTest, NoiseTrimBringsDropouts)
{
    auto countDroppedWindows = [](double noise) {
        WearRig rig({1.0, 0.0, 0.0, noise, 0.0});
        const auto input = Sine(1000.0, 0.3, kRate, 5 * 48000);
        const Stereo y = rig.Run(input);
        const double normal = Rms(y.left, 4800, 9600);
        int dropped = 0;
        for (size_t w = 9600; w + 96 <= y.left.size(); w += 96)
            dropped += Rms(y.left, w, w + 96) < 0.15 * normal ? 1 : 0;
        return dropped;
    };
    EXPECT_GT(countDroppedWindows(1.0), 5);
    EXPECT_EQ(countDroppedWindows(0.3), 0) << "dropouts need the top quarter of the noise range";
}

TEST_F(WearStageTest, CrushTrimHoldsAtEightKilohertzOnMuLawLevels)
{
    std::set<float> levels;
    for (int i = -40000; i <= 40000; ++i)
        levels.insert(static_cast<float>(WearStage::MuLaw(i / 32768.0)));

    WearRig rig({1.0, 0.0, 0.0, 0.0, 1.0});
    // A fast, loud tone, so that consecutive held values differ.
    const Stereo y = rig.Run(Sine(3000.0, 0.9, kRate, 48000));
    size_t lastChange = 0;
    int changes = 0;
    int sixSampleHolds = 0;
    for (size_t i = 24001; i < 48000; ++i) {
        ASSERT_EQ(levels.count(y.left[i]), 1u) << "sample " << i << " is not a mu-law level";
        if (y.left[i] != y.left[i - 1]) {
            if (lastChange != 0) {
                // 48 kHz held at 8 kHz: a new value every six samples.
                ASSERT_EQ((i - lastChange) % 6, 0u) << i;
                sixSampleHolds += i - lastChange == 6 ? 1 : 0;
                ++changes;
            }
            lastChange = i;
        }
    }
    EXPECT_GT(sixSampleHolds, 0.9 * changes);
    EXPECT_GT(changes, 3500);
}

TEST(WearMuLaw, EncodesAndDecodesTheG711Levels)
{
    EXPECT_EQ(WearStage::MuLaw(0.0), 0.0);
    EXPECT_EQ(WearStage::MuLaw(1.0), 32124.0 / 32768.0);
    EXPECT_EQ(WearStage::MuLaw(-1.0), -32124.0 / 32768.0);
    EXPECT_EQ(WearStage::MuLaw(4.0), WearStage::MuLaw(1.0)) << "clipped";
    EXPECT_EQ(WearStage::MuLaw(std::numeric_limits<double>::quiet_NaN()), 0.0);

    double previous = -2.0;
    std::set<double> distinct;
    for (int i = -1000; i <= 1000; ++i) {
        const double x = i / 1000.0;
        const double q = WearStage::MuLaw(x);
        ASSERT_GE(q, previous) << x;
        ASSERT_LT(std::fabs(WearStage::MuLaw(-x) + q), 0.04) << "nearly odd: " << x;
        ASSERT_LT(std::fabs(q - x), 0.02 + 0.035 * std::fabs(x)) << x;
        previous = q;
        distinct.insert(q);
    }
    EXPECT_LE(distinct.size(), 255u);
    // Fine steps near zero, coarse ones near full scale.
    EXPECT_LT(WearStage::MuLaw(0.01) - WearStage::MuLaw(0.0), 0.011);
    EXPECT_GT(WearStage::MuLaw(1.0) - WearStage::MuLaw(0.95), 0.02);
}

TEST_F(WearStageTest, SameSeedReplaysWowHissAndDropouts)
{
    const Trims all{1.0, 1.0, 1.0, 1.0, 1.0};
    const auto input = Sine(500.0, 0.4, kRate, 2 * 48000);
    WearRig a(all, 42);
    WearRig b(all, 42);
    WearRig other(all, 43);
    const Stereo first = a.Run(input);
    EXPECT_EQ(first.left, b.Run(input).left);
    EXPECT_NE(first.left, other.Run(input).left);

    // A second preparation with the drift reseeded starts the same story again.
    a.Restart(42);
    WearRig c(all, 42);
    const Stereo again = a.Run(input);
    EXPECT_EQ(again.left, c.Run(input).left);
}

TEST_F(WearStageTest, NonFiniteInputDoesNotPoisonTheDelayLinesAndFilters)
{
    const Trims some{0.9, 1.0, 1.0, 0.3, 0.5};
    auto input = Sine(500.0, 0.4, kRate, 9600);
    auto silenced = input;
    input[1000] = std::numeric_limits<float>::quiet_NaN();
    input[1001] = -std::numeric_limits<float>::infinity();
    silenced[1000] = silenced[1001] = 0.0f;
    WearRig a(some);
    WearRig b(some);
    const Stereo out = a.Run(input);
    for (float s : out.left)
        ASSERT_TRUE(std::isfinite(s));
    EXPECT_EQ(out.left, b.Run(silenced).left);
}

TEST_F(WearStageTest, ProcessNeverAllocates)
{
    WearRig rig({1.0, 1.0, 1.0, 1.0, 1.0});
    std::vector<float> left = Sine(200.0, 0.5, kRate, 9600);
    std::vector<float> right = left;
    AllocationProbe::Scope probe;
    for (size_t i = 0; i < left.size(); ++i)
        rig.stage.Process(&left[i], &right[i], 1, rig.drift);
    rig.stage.Process(left.data(), right.data(), static_cast<int>(left.size()), rig.drift);
    EXPECT_EQ(probe.Allocations(), 0);
}

// A scene for calls of many samples: events at fixed samples, a chaos step
// every 512 samples as in the engine.
struct WearScene
{
    const char* name;
    int length;
    Trims start;
    std::vector<chunked_render::ScriptedStageRig<WearStage>::Event> events;
};

TEST_F(WearStageTest, CallsOfManySamplesMatchOneSampleCalls)
{
    const Trims worn{0.8, 0.7, 0.6, 0.5, 0.4};
    const Trims everything{1.0, 1.0, 1.0, 1.0, 1.0};
    const std::vector<WearScene> scenes{
        {"idle, woken, trims glide, faded out",
         60000,
         Trims{},
         {{1000, [](WearStage& w, DriftContext&) { w.SetTargets(0.8, 0.7, 0.6, 0.5, 0.4); }},
          {40000, [](WearStage& w, DriftContext&) { w.SetTargets(0.8, 0.7, 0.6, 0.5, 0.9); }},
          {50000, [](WearStage& w, DriftContext&) { w.SetTargets(0.0, 0.7, 0.6, 0.5, 0.9); }}}},
        {"settled wear, a trim glides while idle, reseeds",
         20000,
         worn,
         {{3000, [](WearStage&, DriftContext& d) { d.Reseed(99); }},
          {6000, [](WearStage& w, DriftContext&) { w.SetTargets(0.0, 0.7, 0.6, 0.5, 0.4); }},
          {9000, [](WearStage& w, DriftContext&) { w.SetTargets(0.0, 0.2, 0.6, 0.5, 0.4); }},
          {14000, [](WearStage& w, DriftContext&) { w.SetTargets(0.8, 0.2, 0.6, 0.5, 0.4); }}}},
        {"tone faded out under wear, then woken",
         40000,
         worn,
         {{2000, [](WearStage& w, DriftContext&) { w.SetTargets(0.8, 0.7, 0.0, 0.5, 0.4); }},
          {30000, [](WearStage& w, DriftContext&) { w.SetTargets(0.8, 0.7, 0.6, 0.5, 0.4); }}}},
        {"everything at full: hiss, dropouts, crush",
         30000,
         everything,
         {{12000, [](WearStage&, DriftContext& d) { d.Reseed(5); }}}},
    };
    for (const WearScene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const chunked_render::Stereo input{Sine(150.0, 0.6, kRate, scene.length),
                                           Sine(230.0, 0.5, kRate, scene.length, 1.0)};
        chunked_render::ExpectRunsMatchSingleSamples(
            [&scene] {
                chunked_render::ScriptedStageRig<WearStage> rig(scene.events, 3, 0.6);
                const Trims& t = scene.start;
                rig.stage.SetTargets(t.wear, t.wow, t.bandwidth, t.noise, t.crush);
                rig.stage.Prepare(kRate);
                return rig;
            },
            input);
    }
}

} // namespace
