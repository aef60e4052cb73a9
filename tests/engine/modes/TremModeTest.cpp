#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "engine/dsp/DriftContext.h"
#include "engine/modes/TempoSyncInfo.h"
#include "engine/modes/TremMode.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/AudioProbe.h"
#include "tests/engine/ChunkedRender.h"

using namespace audio_probe;

namespace {

constexpr double kRate = 48000.0;
constexpr double kTwoPi = 2.0 * kPi;

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
};

// The tremolo as the engine drives it: one sample per call, the drift's walkers
// stepped every 512 samples, an optional tempo record handed over per sample.
class TremRig
{
public:
    explicit TremRig(double chaos = 0.0, uint32_t seed = 1) : drift(seed)
    {
        drift.SetAmount(chaos);
        trem.Prepare(kRate, 512);
    }

    // Constant 1.0 in, so the output is the gain itself.
    Stereo RunGain(int count) { return Run(std::vector<float>(static_cast<size_t>(count), 1.0f)); }

    Stereo Run(const std::vector<float>& input) { return Run(Stereo{input, input}); }

    Stereo Run(Stereo out)
    {
        for (size_t i = 0; i < out.left.size(); ++i) {
            if (counter % 512 == 0)
                drift.Step(512.0 / kRate);
            if (syncOn)
                trem.SetTempoSync(SyncAt(counter));
            ++counter;
            trem.Process(&out.left[i], &out.right[i], 1, drift);
        }
        return out;
    }

    // A host grid of quarter notes at 120 BPM that starts at sample 0.
    void FollowGrid(bool positionReported)
    {
        syncOn = true;
        boundaryFound = positionReported;
    }

    TempoSyncInfo SyncAt(unsigned sample) const
    {
        TempoSyncInfo info;
        info.synced = 1;
        info.boundaryFound = boundaryFound ? 1 : 0;
        info.divisionBeats = 1.0;
        info.beatsPerSample = 2.0 / kRate;
        info.divisionSamples = 24000;
        info.phase = std::fmod(sample * info.beatsPerSample / info.divisionBeats, 1.0);
        info.boundaryOffset = sample % 24000 == 0 ? 0 : -1;
        return info;
    }

    DriftContext drift;
    TremMode trem;
    unsigned counter = 0;

private:
    bool syncOn = false;
    bool boundaryFound = false;
};

// Start-of-run sample indices of the gain's troughs.
std::vector<size_t> Troughs(const std::vector<float>& gain)
{
    std::vector<size_t> at;
    for (size_t i = 1; i + 1 < gain.size(); ++i)
        if (gain[i] < 0.05f && gain[i] < gain[i - 1] && gain[i] <= gain[i + 1])
            at.push_back(i);
    return at;
}

class TremModeTest : public ::testing::Test
{
protected:
    FloatModeScope floatMode;
};

TEST_F(TremModeTest, WaveMorphsFromSineThroughTriangleAndPluckToSquare)
{
    TremRig rig;
    rig.RunGain(1);                              // caches the edge and square coefficients of the 4 Hz rate
    const double edge = rig.trem.EdgeFraction(); // 1 ms of a 250 ms cycle
    ASSERT_NEAR(edge, 0.004, 1e-9);
    const double peak = kPi / 2.0;
    auto at = [&](double cycleFromPeak) { return peak + cycleFromPeak * kTwoPi; };
    const struct
    {
        double theta;
        double shape;
        double expected;
    } cases[] = {
        {peak, 0.0, 1.0},
        {at(0.5), 0.0, -1.0},
        {kPi / 6.0, 0.0, 0.5},
        {at(0.125), 1.0 / 6.0, 0.5 * (std::sqrt(0.5) + 0.5)}, // halfway between sine and triangle
        {at(0.125), 1.0 / 3.0, 0.5},                          // triangle
        {at(0.5), 1.0 / 3.0, -1.0},
        {peak, 2.0 / 3.0, 1.0},                 // pluck: falls from the peak...
        {at(0.325), 2.0 / 3.0, -0.5},           // ...as a square of the remaining time
        {at(0.8), 2.0 / 3.0, -1.0},             // rests
        {at(1.0 - edge / 2.0), 2.0 / 3.0, 0.0}, // and rises in the last 1 ms
        {peak, 1.0, 1.0},                       // square
        {at(0.5), 1.0, -1.0},
        {0.0, 1.0, 0.0},
        {std::asin(rig.trem.SquareScale()), 1.0, 1.0}, // the edge is 3 ms wide
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "theta " << c.theta << " shape " << c.shape);
        EXPECT_NEAR(rig.trem.Wave(c.theta, c.shape), c.expected, 1e-9);
    }
}

TEST_F(TremModeTest, GainFollowsTheSineWithDepthAndStereoPhase)
{
    const struct
    {
        double depth;
        double stereoDegrees;
    } cases[] = {{1.0, 0.0}, {1.0, 180.0}, {0.5, 90.0}, {0.0, 0.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << " stereo " << c.stereoDegrees);
        TremRig rig;
        rig.trem.SetDepth(c.depth);
        rig.trem.SetStereoPhase(c.stereoDegrees * kPi / 180.0);
        rig.trem.Prepare(kRate, 512);
        const Stereo gain = rig.RunGain(24000);
        const double inc = kTwoPi * TremMode::kDefaultRate / kRate;
        for (size_t i = 0; i < gain.left.size(); ++i) {
            const double phase = std::fmod(i * inc, kTwoPi);
            const double stereo = c.stereoDegrees * kPi / 180.0;
            ASSERT_NEAR(gain.left[i], 1.0 - (1.0 - std::sin(phase)) * c.depth * 0.5, 1e-5) << i;
            ASSERT_NEAR(gain.right[i], 1.0 - (1.0 - std::sin(phase + stereo)) * c.depth * 0.5, 1e-5) << i;
        }
    }
}

TEST_F(TremModeTest, RateComesFromMacroOrTime)
{
    const struct
    {
        const char* how;
        void (*set)(TremMode&);
        double hz;
    } cases[] = {
        {"MACRO 0", [](TremMode& t) { t.SetControls(0.0, 0.0); }, 0.5},
        {"MACRO 1", [](TremMode& t) { t.SetControls(1.0, 0.0); }, 12.0},
        {"MACRO 0.5", [](TremMode& t) { t.SetControls(0.5, 0.0); }, 0.5 * std::sqrt(24.0)},
        {"time 7", [](TremMode& t) { t.SetTime(7.0); }, 7.0},
        {"time 0", [](TremMode& t) { t.SetTime(0.0); }, 0.5},
        {"time -3", [](TremMode& t) { t.SetTime(-3.0); }, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        TremRig rig;
        c.set(rig.trem);
        const Stereo gain = rig.RunGain(static_cast<int>(5.5 * kRate));
        const auto troughs = Troughs(gain.left);
        ASSERT_GE(troughs.size(), 3u);
        // Skip the first trough: the rate glides from 4 Hz over 20 ms.
        const double period = static_cast<double>(troughs.back() - troughs[1]) / (troughs.size() - 2);
        EXPECT_NEAR(kRate / period, c.hz, 0.01 * c.hz);
    }
}

TEST_F(TremModeTest, RateAboveTheSampleRateKeepsThePhaseInOneCycle)
{
    TremRig rig;
    rig.trem.SetTime(1e6);
    for (int i = 0; i < 4800; ++i) {
        const Stereo gain = rig.RunGain(1);
        ASSERT_GE(rig.trem.Phase(), 0.0);
        ASSERT_LT(rig.trem.Phase(), kTwoPi) << i;
        ASSERT_TRUE(gain.left[0] >= 0.0f && gain.left[0] <= 1.0f) << i;
    }
}

TEST_F(TremModeTest, ReportedHostPositionPullsThePeakOntoTheDivisionStart)
{
    const double inc = kTwoPi * 2.0 / kRate;
    const double maxCorrection = 0.08726646259971647 / 512.0; // 5 degrees per 512 samples
    for (bool reported : {true, false}) {
        SCOPED_TRACE(reported ? "position reported" : "host stopped");
        TremRig rig;
        rig.trem.SetTime(2.0); // one cycle per quarter note at 120 BPM
        rig.trem.Prepare(kRate, 512);
        rig.FollowGrid(reported);

        // The free LFO peaks a quarter cycle (6000 samples) after each division start.
        double largestCorrection = 0.0;
        std::vector<float> lastDivision;
        for (int i = 0; i < 4 * 24000; ++i) {
            const double before = rig.trem.Phase();
            const float gain = rig.RunGain(1).left[0];
            double step = rig.trem.Phase() - before;
            if (step < 0.0)
                step += kTwoPi;
            largestCorrection = std::max(largestCorrection, std::fabs(step - inc));
            if (i >= 3 * 24000)
                lastDivision.push_back(gain);
        }
        size_t peak = 0;
        for (size_t i = 0; i < lastDivision.size(); ++i)
            if (lastDivision[i] > lastDivision[peak])
                peak = i;

        if (reported) {
            // Pulled gently, never by a jump, then held on the grid.
            EXPECT_GT(largestCorrection, 0.9 * maxCorrection);
            EXPECT_LE(largestCorrection, maxCorrection + 1e-12);
            EXPECT_TRUE(peak < 30 || peak > 24000 - 30) << peak;
        } else {
            EXPECT_LT(largestCorrection, 1e-12);
            EXPECT_NEAR(static_cast<double>(peak), 6000.0, 30.0);
        }
    }
}

TEST_F(TremModeTest, ChaosEventsReplayForTheSameSeed)
{
    auto run = [](uint32_t seed) {
        TremRig rig(1.0, seed);
        rig.trem.SetTime(8.0);
        return rig.Run(Sine(300.0, 0.5, kRate, 3 * 48000)).left;
    };
    const auto first = run(11);
    EXPECT_EQ(first, run(11));
    EXPECT_NE(first, run(12));

    // A preparation with the drift reseeded replays the same events.
    TremRig rig(1.0, 11);
    rig.trem.SetTime(8.0);
    rig.Run(Sine(300.0, 0.5, kRate, 48000));
    rig.drift.Reseed(11);
    rig.counter = 0;
    rig.trem.ResetToConstructed();
    rig.trem.Prepare(kRate, 512);
    rig.trem.SetTime(8.0);
    EXPECT_EQ(rig.Run(Sine(300.0, 0.5, kRate, 3 * 48000)).left, first);
}

TEST_F(TremModeTest, CycleMultiplicationNeedsChaosAboveSevenTenths)
{
    for (double chaos : {0.6, 1.0}) {
        SCOPED_TRACE(chaos);
        TremRig rig(chaos, 3);
        rig.trem.SetTime(12.0);
        bool multiplied = false;
        bool glitchHeard = false;
        for (int i = 0; i < 10 * 48000; ++i) {
            rig.RunGain(1);
            multiplied = multiplied || rig.trem.Multiplier() != 1;
            glitchHeard = glitchHeard || rig.trem.GlitchMix() != 0.0;
        }
        EXPECT_EQ(multiplied, chaos > 0.7);
        EXPECT_EQ(glitchHeard, chaos > 0.7);
    }
}

TEST_F(TremModeTest, NonFiniteInputDoesNotLingerInTheJitterLines)
{
    auto input = Sine(300.0, 0.5, kRate, 9600);
    auto silenced = input;
    input[2000] = std::numeric_limits<float>::quiet_NaN();
    input[2001] = std::numeric_limits<float>::infinity();
    silenced[2000] = silenced[2001] = 0.0f;
    TremRig a(1.0, 5);
    TremRig b(1.0, 5);
    const auto out = a.Run(input).left;
    for (float s : out)
        ASSERT_TRUE(std::isfinite(s));
    EXPECT_EQ(out, b.Run(silenced).left);
}

// The jitter delays each channel by its own share of the jitter depth, half a
// cosine of its own phase. A stereo phase of half a cycle puts the two shares in
// opposition, so they add up to the whole depth at every sample while each one
// sweeps. Without depth the gain stays 1, and a ramp read back tells the delay
// it was read at; the channels ramp in opposite directions.
TEST_F(TremModeTest, JitterDelaysEachChannelByItsOwnPhase)
{
    constexpr double kSlope = 1e-4;            // per sample
    constexpr size_t kSettled = 48000;         // the jitter depth has landed
    constexpr size_t kMeasured = 12000;        // a cycle at 4 Hz
    constexpr double kFullJitter = 1.2 * 48.0; // 1.2 ms at full chaos, in samples
    TremRig rig(1.0, 7);
    rig.trem.SetDepth(0.0);
    rig.trem.SetStereoPhase(kPi);
    rig.trem.Prepare(kRate, 512);
    Stereo input;
    for (size_t i = 0; i < kSettled + kMeasured; ++i) {
        input.left.push_back(static_cast<float>(i * kSlope));
        input.right.push_back(static_cast<float>(-(i * kSlope)));
    }
    const Stereo out = rig.Run(input);
    double leftLeast = kFullJitter;
    double leftMost = 0.0;
    for (size_t i = kSettled; i < kSettled + kMeasured; ++i) {
        const double left = i - out.left[i] / kSlope;
        const double right = i + out.right[i] / kSlope;
        ASSERT_NEAR(left + right, kFullJitter, 0.05) << i;
        leftLeast = std::min(leftLeast, left);
        leftMost = std::max(leftMost, left);
    }
    EXPECT_GT(leftMost - leftLeast, kFullJitter / 2);
}

TEST_F(TremModeTest, ProcessNeverAllocates)
{
    DriftContext drift(9);
    drift.SetAmount(1.0);
    TremMode trem;
    trem.Prepare(kRate, 512);
    trem.SetControls(1.0, 1.0);
    std::vector<float> left = Sine(200.0, 0.5, kRate, 9600);
    std::vector<float> right = left;
    AllocationProbe::Scope probe;
    for (size_t i = 0; i < left.size(); ++i)
        trem.Process(&left[i], &right[i], 1, drift);
    trem.Process(left.data(), right.data(), static_cast<int>(left.size()), drift);
    EXPECT_EQ(probe.Allocations(), 0);
}

// A scene for calls of many samples: events at fixed samples, a chaos step
// every 512 samples as in the engine.
struct TremScene
{
    const char* name;
    int length;
    double chaos;
    std::vector<chunked_render::ScriptedStageRig<TremMode>::Event> events;
};

TempoSyncInfo HostGrid(bool positionFound)
{
    TempoSyncInfo info;
    info.synced = 1;
    info.boundaryFound = positionFound ? 1 : 0;
    info.phase = 0.3;
    info.divisionBeats = 1.0;
    info.beatsPerSample = 2.0 / kRate;
    info.divisionSamples = 24000;
    return info;
}

TEST_F(TremModeTest, CallsOfManySamplesMatchOneSampleCalls)
{
    const std::vector<TremScene> scenes{
        {"controls glide and settle",
         40000,
         0.0,
         {{0, [](TremMode& t, DriftContext&) { t.SetControls(0.4, 0.5); }},
          {1500, [](TremMode& t, DriftContext&) { t.SetControls(0.7, 0.9); }},
          {30000, [](TremMode& t, DriftContext&) { t.SetDepth(0.5); }},
          {34000, [](TremMode& t, DriftContext&) { t.SetStereoPhase(1.2); }},
          {36000, [](TremMode& t, DriftContext&) { t.SetTime(3.0); }}}},
        {"chaos events, a reseed and less chaos",
         9000,
         1.0,
         {{0, [](TremMode& t, DriftContext&) { t.SetControls(0.6, 0.8); }},
          {3000, [](TremMode&, DriftContext& d) { d.Reseed(77); }},
          {6100, [](TremMode&, DriftContext& d) { d.SetAmount(0.4); }}}},
        {"host position found, then lost",
         9000,
         0.3,
         {{0,
           [](TremMode& t, DriftContext&) {
               t.SetTime(40.0);
               t.Reset();
           }},
          {1000, [](TremMode& t, DriftContext&) { t.SetTempoSync(HostGrid(true)); }},
          {4000, [](TremMode& t, DriftContext&) { t.SetTempoSync(HostGrid(false)); }}}},
    };
    for (const TremScene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const chunked_render::Stereo input{Sine(150.0, 0.6, kRate, scene.length),
                                           Sine(230.0, 0.5, kRate, scene.length, 1.0)};
        chunked_render::ExpectRunsMatchSingleSamples(
            [&scene] {
                chunked_render::ScriptedStageRig<TremMode> rig(scene.events, 5, scene.chaos);
                rig.stage.Prepare(kRate, 512);
                return rig;
            },
            input);
    }
}

} // namespace
