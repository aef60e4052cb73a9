#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <pmmintrin.h>
#include <vector>
#include <xmmintrin.h>

#include "engine/dsp/DriftContext.h"
#include "engine/modes/RepeatMode.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/ChunkedRender.h"

namespace {

constexpr double kRate = 48000.0;

class RepeatModeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
        drift.SetAmount(0.0);
    }

    // Plain repeats: unison speed, no feedback, no chaos.
    void Configure(double seconds, int count, double decay, bool stereo = false)
    {
        repeat.SetControls(0.0, 0.28);
        repeat.SetTime(seconds);
        repeat.SetCount(count);
        repeat.SetDecay(decay);
        repeat.SetFeedback(0.0);
        repeat.SetPreserveStereo(stereo);
        repeat.Prepare(kRate, 512);
    }

    // Runs the mode one sample at a time, as the engine does.
    void Run(const std::vector<float>& inL, const std::vector<float>& inR, std::vector<float>& outL,
             std::vector<float>& outR)
    {
        outL.resize(inL.size());
        outR.resize(inR.size());
        for (size_t i = 0; i < inL.size(); ++i) {
            float l = inL[i], r = inR[i];
            repeat.Process(&l, &r, 1, drift);
            outL[i] = l;
            outR[i] = r;
        }
    }

    float Step(float l, float r)
    {
        repeat.Process(&l, &r, 1, drift);
        return l;
    }

    static std::vector<float> Noise(size_t n, uint32_t seed)
    {
        std::vector<float> x(n);
        for (float& v : x) {
            seed = seed * 1664525u + 1013904223u;
            v = 0.5f * (static_cast<float>(seed >> 8) / (1 << 24) - 0.5f);
        }
        return x;
    }

    RepeatMode repeat;
    DriftContext drift{1};
};

} // namespace

TEST_F(RepeatModeTest, ImpulseReturnsOnceForEachRepeatWithTheDecayLaw)
{
    struct Case
    {
        bool stereo;
        float amplitude;
        double left[4];
        double right[4];
    };
    const double limited = 1.0 + std::tanh(2.0);
    const Case cases[] = {
        // Without Preserve Stereo the repeats are mono: a left impulse lands half in each side.
        {false, 1.0f, {0.5, 0.25, 0.125, 0.0625}, {0.5, 0.25, 0.125, 0.0625}},
        {true, 1.0f, {1.0, 0.5, 0.25, 0.125}, {0.0, 0.0, 0.0, 0.0}},
        // Above 1 the output is soft-limited towards 2.
        {true, 3.0f, {limited, 1.0 + std::tanh(0.5), 0.75, 0.375}, {0, 0, 0, 0}},
        {true, -3.0f, {-limited, -1.0 - std::tanh(0.5), -0.75, -0.375}, {0, 0, 0, 0}},
    };
    const int slice = 4800;
    const size_t impulseAt = 2 * slice + 1000; // early in its slice, clear of the dip
    for (const Case& c : cases) {
        Configure(0.1, 4, 0.5, c.stereo);
        std::vector<float> inL(impulseAt + 6 * slice, 0.0f), inR(inL.size(), 0.0f), outL, outR;
        inL[impulseAt] = c.amplitude;
        Run(inL, inR, outL, outR);
        for (size_t i = 0; i < outL.size(); ++i) {
            double wantL = 0.0, wantR = 0.0;
            for (int k = 1; k <= 4; ++k)
                if (i == impulseAt + static_cast<size_t>(k) * slice) {
                    wantL = c.left[k - 1];
                    wantR = c.right[k - 1];
                }
            ASSERT_NEAR(outL[i], wantL, 1e-6) << "stereo " << c.stereo << " amp " << c.amplitude << " at " << i;
            ASSERT_NEAR(outR[i], wantR, 1e-6) << "stereo " << c.stereo << " amp " << c.amplitude << " at " << i;
        }
    }
}

TEST_F(RepeatModeTest, MacroAndTimeAreClampedToTheSliceRange)
{
    struct Case
    {
        double seconds;
        double stored;
    };
    const Case cases[] = {{5.0, 1.2}, {0.0, 0.001}, {-3.0, 0.001}, {std::nan(""), 0.001}, {0.3, 0.3}};
    for (const Case& c : cases) {
        repeat.SetTime(c.seconds);
        EXPECT_EQ(repeat.CurrentState().time, c.stored) << c.seconds;
    }
    repeat.SetControls(1.0, 0.5);
    EXPECT_NEAR(repeat.CurrentState().time, 1.2, 1e-12);
    repeat.SetControls(-2.0, 3.0);
    EXPECT_NEAR(repeat.CurrentState().time, 0.01, 1e-15);
    EXPECT_EQ(repeat.CurrentState().shape, 1.0);

    // MACRO 0: the first repeat of an impulse arrives 10 ms later.
    Configure(0.1, 1, 0.5, true);
    repeat.SetControls(0.0, 0.28);
    std::vector<float> inL(3000, 0.0f), inR(3000, 0.0f), outL, outR;
    inL[100] = 1.0f;
    Run(inL, inR, outL, outR);
    EXPECT_NEAR(outL[580], 1.0, 1e-6);
    for (size_t i = 0; i < outL.size(); ++i) {
        if (i != 580) {
            ASSERT_EQ(outL[i], 0.0f) << i;
        }
    }
}

TEST_F(RepeatModeTest, HoldLoopsTheLastSliceAndReleaseReturnsToTheInput)
{
    const int slice = 2400;
    Configure(0.05, 1, 1.0);
    const std::vector<float> input = Noise(6 * kRate, 3);
    size_t n = 0;
    for (; n < kRate; ++n)
        Step(input[n], input[n]);

    const size_t pressed = n;
    repeat.SetHold(true);
    std::vector<float> held; // held[j] plays slice position j
    held.push_back(Step(input[n], input[n]));
    ++n;
    // The capture copies one sample per processed sample, never a slice at once.
    EXPECT_EQ(repeat.CurrentState().captureLength, slice);
    EXPECT_EQ(repeat.CurrentState().captured, 1);

    for (; n < pressed + 5 * slice; ++n)
        held.push_back(Step(input[n], input[n]));
    // After the 5 ms glide, every slice plays the captured one (inner part, away
    // from the edge fades and the pre-repeat dip).
    for (int cycle = 1; cycle < 5; ++cycle)
        for (int p = 600; p < 1600; ++p)
            ASSERT_NEAR(held[cycle * slice + p], input[pressed - slice + p], 1e-6) << cycle << " " << p;

    repeat.SetHold(false);
    const size_t released = n;
    for (; n < released + 3 * slice; ++n) {
        const float y = Step(input[n], input[n]);
        const double position = std::fmod(static_cast<double>(n - pressed), slice);
        if (n >= released + 240 && position > 600 && position < 1600) {
            ASSERT_NEAR(y, input[n - slice], 1e-6) << n - released;
        }
    }
}

TEST_F(RepeatModeTest, SliceChangesBelowHalfASampleStartNoTransition)
{
    Configure(0.1, 4, 0.7);
    for (int i = 0; i < 1000; ++i)
        Step(0.1f, 0.1f);
    repeat.SetTime(0.1 + 0.4 / kRate);
    Step(0.1f, 0.1f);
    EXPECT_EQ(repeat.CurrentState().transitionCount, -1);
    EXPECT_EQ(repeat.CurrentState().sliceLength, 4800.0);

    repeat.SetTime(0.2);
    Step(0.1f, 0.1f);
    EXPECT_EQ(repeat.CurrentState().sliceLength, 9600.0);
    EXPECT_GE(repeat.CurrentState().transitionCount, 0);
    for (int i = 0; i < 0.04 * kRate; ++i)
        Step(0.1f, 0.1f);
    EXPECT_EQ(repeat.CurrentState().transitionCount, -1);
}

TEST_F(RepeatModeTest, DoubleSpeedRepeatsFallSilentUnlessGapless)
{
    // A constant input makes the tap gain visible; SHAPE 0.7 plays at speed 2.
    // The slice is 4800 samples, the unison edge 480: without Gapless a repeat is
    // silent from (4800 - 480) / 2 + 480 = 2640 samples into its slice on.
    for (bool gapless : {false, true}) {
        Configure(0.1, 1, 1.0);
        repeat.SetControls(0.0, 0.7);
        repeat.SetTime(0.1);
        repeat.SetGapless(gapless);
        for (int i = 0; i < kRate; ++i)
            Step(0.25f, 0.25f);
        int silent = 0, full = 0;
        for (int i = 0; i < 4800; ++i) {
            const float y = Step(0.25f, 0.25f);
            silent += std::fabs(y) < 1e-9f;
            full += std::fabs(y - 0.25f) < 1e-6f;
        }
        if (gapless) {
            EXPECT_LT(silent, 10);
            EXPECT_GT(full, 3000);
        } else {
            // Offsets 2640..4799, and offset 0 where the repeat fades in.
            EXPECT_EQ(silent, 4800 - 2640 + 1);
            EXPECT_GT(full, 1500);
        }
    }
}

TEST_F(RepeatModeTest, FeedbackAndChaosStayBounded)
{
    repeat.SetControls(0.0, 0.95);
    repeat.SetCount(64);
    repeat.SetDecay(1.0);
    repeat.SetFeedback(0.95);
    repeat.SetGapless(true);
    repeat.SetPreserveStereo(true);
    repeat.Prepare(kRate, 512);
    drift.SetAmount(1.0);
    // Hold from the very first sample: the capture reaches back before the clock.
    bool held = true;
    repeat.SetHold(held);
    const std::vector<float> loud = Noise(3 * kRate, 9);
    for (size_t i = 0; i < loud.size(); ++i) {
        if (i % 7000 == 0) {
            held = !held;
            repeat.SetHold(held);
        }
        if (i % 5000 == 0)
            repeat.SetControls(static_cast<double>(i % 13) / 12.0, static_cast<double>(i % 11) / 10.0);
        float l = 4.0f * loud[i], r = -4.0f * loud[i];
        repeat.Process(&l, &r, 1, drift);
        ASSERT_TRUE(std::isfinite(l) && std::isfinite(r)) << i;
        ASSERT_LE(std::fabs(l), 2.0f) << i;
        ASSERT_LE(std::fabs(r), 2.0f) << i;
    }
}

TEST_F(RepeatModeTest, FeedbackDiesAwayAfterTheInputStops)
{
    Configure(0.01, 1, 1.0);
    repeat.SetFeedback(0.95);
    const std::vector<float> burst = Noise(4800, 5);
    for (float v : burst)
        Step(v, v);
    auto energy = [&](int samples) {
        double sum = 0.0;
        for (int i = 0; i < samples; ++i) {
            const double y = Step(0.0f, 0.0f);
            sum += y * y;
        }
        return sum;
    };
    const double early = energy(4800);
    for (int i = 0; i < 10; ++i)
        energy(4800);
    const double late = energy(4800);
    EXPECT_GT(early, 0.0);
    EXPECT_LT(late, early * 1e-3);
}

TEST_F(RepeatModeTest, IdleFeedKeepsTheHistoryForLaterRepeats)
{
    Configure(0.1, 2, 0.5, true);
    std::vector<float> l(3000, 0.0f), r(3000, 0.0f);
    l[1000] = 1.0f;
    repeat.FeedIdle(l.data(), r.data(), static_cast<int>(l.size()));
    // The impulse, fed while the mode was silent, comes back one and two slices on.
    std::vector<float> out;
    for (int i = 0; i < 9000; ++i)
        out.push_back(Step(0.0f, 0.0f));
    EXPECT_NEAR(out[1000 + 4800 - 3000], 1.0, 1e-6);
    EXPECT_NEAR(out[1000 + 9600 - 3000], 0.5, 1e-6);
}

// Idle feeding in chunks of any length, a HOLD capture running at first, records
// each sample at its clock's slot through the wrap of the history, captures what
// one sample at a time captures and leaves the mode to sound the same after.
TEST_F(RepeatModeTest, IdleFeedingInChunksMatchesSingleSamples)
{
    // The lowest rate keeps the history short enough to wrap.
    constexpr double kLowRate = 8000.0;
    const size_t total = 640000;
    const std::vector<float> inL = Noise(total, 3);
    const std::vector<float> inR = Noise(total, 4);
    const std::vector<float> after = Noise(3000, 5);
    const auto feed = [&](size_t chunk, std::vector<float>& out) {
        auto r = std::make_unique<RepeatMode>();
        r->SetControls(0.0, 0.28);
        r->SetTime(0.1);
        r->SetCount(2);
        r->SetFeedback(0.7);
        r->Prepare(kLowRate, 512);
        const DelayLine<2>& history = r->CurrentState().history;
        const size_t frames = history.Length();
        EXPECT_LT(frames, total);
        r->SetHold(true);
        for (size_t i = 0; i < total; i += chunk)
            r->FeedIdle(inL.data() + i, inR.data() + i, static_cast<int>(std::min(chunk, total - i)));
        EXPECT_EQ(r->CurrentState().clock, total);
        bool slotsHold = true;
        for (size_t i = total - frames; i < total; ++i) {
            const size_t slot = i % frames;
            slotsHold = slotsHold && history.FrameAt(slot)[0] == inL[i] && history.FrameAt(slot)[1] == inR[i];
        }
        EXPECT_TRUE(slotsHold);
        DriftContext d{1};
        d.SetAmount(0.0);
        out.clear();
        for (const float x : after) {
            float l = x;
            float rr = -x;
            r->Process(&l, &rr, 1, d);
            out.push_back(l);
            out.push_back(rr);
        }
        return r;
    };

    std::vector<float> singleOut;
    const auto single = feed(1, singleOut);
    for (const size_t chunk : {7u, 512u, 6001u}) {
        SCOPED_TRACE(chunk);
        std::vector<float> chunkedOut;
        const auto chunked = feed(chunk, chunkedOut);
        EXPECT_EQ(chunked->CurrentState().captured, single->CurrentState().captured);
        EXPECT_TRUE(chunked->CurrentState().capture[0] == single->CurrentState().capture[0]);
        EXPECT_TRUE(chunked->CurrentState().capture[1] == single->CurrentState().capture[1]);
        EXPECT_EQ(std::memcmp(chunkedOut.data(), singleOut.data(), sizeof(float) * singleOut.size()), 0);
    }
}

TEST_F(RepeatModeTest, PreparesAcrossRatesAndStaysSilentWhenMemoryCannotBeHad)
{
    struct Case
    {
        double rate;
        double used;
        size_t history;
    };
    // Rates outside the engine's range are pulled into it instead of sizing the
    // history for them.
    const Case cases[] = {{8000.0, 8000.0, 624008},
                          {48000.0, 48000.0, 3744008},
                          {384000.0, 384000.0, 29952008},
                          {1e300, 384000.0, 29952008}};
    for (const Case& c : cases) {
        RepeatMode mode;
        mode.Prepare(c.rate, 512);
        ASSERT_TRUE(mode.IsPrepared()) << c.rate;
        EXPECT_EQ(mode.CurrentState().history.Length(), c.history) << c.rate;
        EXPECT_EQ(mode.CurrentState().sampleRate, c.used);
        EXPECT_EQ(mode.CurrentState().capture[0].size(), static_cast<size_t>(std::ceil(1.2 * c.used)) + 8);
        EXPECT_EQ(mode.CurrentState().feedbackLine.Length(), 2 * (static_cast<size_t>(std::ceil(1.2 * c.used)) + 8));
        float l = 0.5f, r = 0.5f;
        mode.Process(&l, &r, 1, drift);
        EXPECT_TRUE(std::isfinite(l));
    }

    RepeatMode unprepared;
    float l = 0.7f, r = 0.7f;
    unprepared.Process(&l, &r, 1, drift);
    EXPECT_EQ(l, 0.0f);

    RepeatMode refused;
    {
        AllocationProbe::FailLarge refuse(1 << 20);
        refused.Prepare(48000.0, 512);
    }
    EXPECT_FALSE(refused.IsPrepared());
    EXPECT_TRUE(refused.CurrentState().history.Empty());
    l = r = 0.7f;
    refused.Process(&l, &r, 1, drift);
    refused.FeedIdle(&l, &r, 1);
    EXPECT_EQ(l, 0.0f);
    EXPECT_EQ(r, 0.0f);

    // A later successful preparation brings it back.
    refused.Prepare(std::nan(""), 512);
    EXPECT_TRUE(refused.IsPrepared());
    EXPECT_EQ(refused.CurrentState().sampleRate, 48000.0);
}

TEST_F(RepeatModeTest, LongRunningCountersSaturate)
{
    Configure(0.05, 2, 0.5);
    Step(0.1f, 0.1f);
    RepeatMode::State aged = repeat.CurrentState();
    aged.offsetFadeCount = std::numeric_limits<int32_t>::max() - 2;
    aged.cycleCount = std::numeric_limits<int32_t>::max() - 2;
    repeat.RestoreState(aged);
    for (int i = 0; i < 5; ++i)
        Step(0.0f, 0.0f);
    EXPECT_EQ(repeat.CurrentState().offsetFadeCount, std::numeric_limits<int32_t>::max());
    EXPECT_GE(repeat.CurrentState().cycleCount, 0);
}

TEST_F(RepeatModeTest, EveryPreparationReplaysTheSameChaos)
{
    const std::vector<float> input = Noise(20000, 21);
    repeat.SetControls(0.1, 0.5);
    repeat.SetCount(8);
    repeat.SetDecay(0.9);
    repeat.SetPreserveStereo(true);
    std::vector<float> runs[2];
    for (std::vector<float>& out : runs) {
        repeat.Prepare(kRate, 512);
        drift.Reseed(77);
        drift.SetAmount(1.0);
        for (float v : input)
            out.push_back(Step(v, -v));
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(RepeatModeTest, SliceLengthCrossfadeKeepsIdenticalMaterialAtConstantLevel)
{
    // Old and new slices of a constant read the same value: the correlation-aware
    // gains sum to 1 where an equal-power fade would swell by up to 3 dB.
    Configure(0.1, 1, 1.0);
    for (int i = 0; i < kRate; ++i)
        Step(0.25f, 0.25f);
    repeat.SetTime(0.13);
    double lowest = 1.0, highest = 0.0;
    for (int i = 0; i < 0.05 * kRate; ++i) {
        const float y = Step(0.25f, 0.25f);
        lowest = std::min<double>(lowest, y);
        highest = std::max<double>(highest, y);
    }
    EXPECT_NEAR(repeat.CurrentState().correlation, 1.0, 1e-9);
    EXPECT_NEAR(lowest, 0.25, 1e-6);
    EXPECT_NEAR(highest, 0.25, 1e-6);
}

TEST_F(RepeatModeTest, ClicksRealignTheTapsAtMostOncePerSixtyMilliseconds)
{
    Configure(0.5, 2, 0.5);
    for (int i = 0; i < 2 * kRate; ++i)
        Step(0.0f, 0.0f);
    EXPECT_EQ(repeat.CurrentState().offsetFadeCount, 1000000 + 2 * static_cast<int>(kRate));

    auto click = [&] {
        Step(0.8f, 0.8f);
        for (int i = 0; i < 47; ++i)
            Step(0.0f, 0.0f);
    };
    click();
    // Offset A jumped to 10 ms (less than half the 0.5 s slice) on the click, then ran on.
    EXPECT_EQ(repeat.CurrentState().readOffsetA, 480.0 + 48.0);
    EXPECT_EQ(repeat.CurrentState().offsetFadeCount, 48);

    for (int i = 0; i < 20; ++i)
        click(); // one per millisecond: all inside the 60 ms hold-off
    EXPECT_EQ(repeat.CurrentState().offsetFadeCount, 21 * 48);
    // Once the slow envelope has forgotten the burst, a click counts again.
    for (int i = 0; i < 0.3 * kRate; ++i)
        Step(0.0f, 0.0f);
    click();
    EXPECT_EQ(repeat.CurrentState().offsetFadeCount, 48);
}

TEST_F(RepeatModeTest, NonFiniteInputDoesNotPoisonTheRepeats)
{
    Configure(0.02, 4, 0.8);
    repeat.SetFeedback(0.9);
    const float bad[] = {std::nanf(""), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float v : bad)
        Step(v, v);
    float l = std::nanf(""), r = 0.0f;
    repeat.FeedIdle(&l, &r, 1);
    for (int i = 0; i < 0.5 * kRate; ++i) {
        const float y = Step(0.1f, -0.1f);
        ASSERT_TRUE(std::isfinite(y)) << i;
    }
    EXPECT_TRUE(std::isfinite(repeat.CurrentState().envelopeSlow));
    EXPECT_TRUE(std::isfinite(repeat.CurrentState().feedbackFilter[0]));
}

// A state taken from one mode and put into another, which has played something
// else meanwhile, plays on exactly as the original does: the speeds with chaos
// and their fades, the held gains and the feedback included.
TEST_F(RepeatModeTest, AStateRestoredIntoAnotherModePlaysOnAsTheOriginal)
{
    const auto prepared = [] {
        auto r = std::make_unique<RepeatMode>();
        r->SetControls(0.3, 0.5);
        r->SetCount(64);
        r->SetDecay(0.9);
        r->SetFeedback(0.6);
        r->Prepare(kRate, 512);
        return r;
    };
    std::vector<float> left = Noise(60000, 1);
    std::vector<float> right = Noise(60000, 2);
    const auto original = prepared();
    DriftContext chaos{5};
    chaos.SetAmount(0.7);
    original->Process(left.data(), right.data(), 30000, chaos);

    const auto restored = prepared();
    std::vector<float> other = Noise(5000, 3);
    DriftContext otherChaos{9};
    restored->Process(other.data(), other.data(), 5000, otherChaos);
    ASSERT_TRUE(restored->RestoreState(original->CurrentState()));
    DriftContext restoredChaos = chaos;

    std::vector<float> copyLeft(left.begin() + 30000, left.end());
    std::vector<float> copyRight(right.begin() + 30000, right.end());
    original->Process(left.data() + 30000, right.data() + 30000, 30000, chaos);
    restored->Process(copyLeft.data(), copyRight.data(), 30000, restoredChaos);
    EXPECT_EQ(std::memcmp(copyLeft.data(), left.data() + 30000, sizeof(float) * 30000), 0);
    EXPECT_EQ(std::memcmp(copyRight.data(), right.data() + 30000, sizeof(float) * 30000), 0);

    // A state whose buffers were never sized leaves the mode silent, not reading them.
    const RepeatMode unprepared;
    EXPECT_FALSE(restored->RestoreState(unprepared.CurrentState()));
    EXPECT_FALSE(restored->IsPrepared());
    float l = 0.5f, r = 0.5f;
    restored->Process(&l, &r, 1, restoredChaos);
    EXPECT_EQ(l, 0.0f);
}

namespace {

using RepeatRunRig = chunked_render::CuedModeRig<RepeatMode>;
using RepeatCue = RepeatRunRig::Cue;

struct RepeatScript
{
    const char* name;
    std::function<void(RepeatMode&, DriftContext&)> setup;
    std::vector<RepeatCue> cues;
};

constexpr int kScriptLength = 24000;

RepeatRunRig StartScript(const RepeatScript& script)
{
    auto repeat = std::make_unique<RepeatMode>();
    DriftContext drift{3};
    repeat->SetControls(0.2, 0.28);
    repeat->SetCount(8);
    repeat->SetDecay(0.8);
    repeat->Prepare(kRate, 512);
    if (script.setup)
        script.setup(*repeat, drift);
    return RepeatRunRig(std::move(repeat), drift, script.cues);
}

RepeatCue Hold(int at, bool on)
{
    return {at, [on](RepeatMode& r, DriftContext&) { r.SetHold(on); }};
}

} // namespace

// A call of n samples must leave the output and the state exactly as n calls of
// one sample do, whatever moves meanwhile: slice length, shape, repeat count,
// decay, feedback, HOLD, gapless, Preserve Stereo, chaos and idle feeding.
TEST_F(RepeatModeTest, RunsOfAnyLengthMatchSingleSampleCalls)
{
    const std::vector<RepeatScript> scripts = {
        {"settled", nullptr, {}},
        {"controls move",
         nullptr,
         {
             {1500, [](RepeatMode& r, DriftContext&) { r.SetControls(0.35, 0.5); }},
             {6000, [](RepeatMode& r, DriftContext&) { r.SetCount(30); }},
             {9000, [](RepeatMode& r, DriftContext&) { r.SetDecay(0.95); }},
             {12000, [](RepeatMode& r, DriftContext&) { r.SetCount(3); }},
             {15000, [](RepeatMode& r, DriftContext&) { r.SetTime(0.0301); }},
             {18000, [](RepeatMode& r, DriftContext&) { r.SetPreserveStereo(true); }},
         }},
        {"feedback and gapless fast repeats",
         [](RepeatMode& r, DriftContext&) {
             r.SetControls(0.25, 0.95);
             r.SetGapless(true);
             r.SetFeedback(0.9);
         },
         {
             {8000, [](RepeatMode& r, DriftContext&) { r.SetFeedback(0.2); }},
             {14000, [](RepeatMode& r, DriftContext&) { r.SetGapless(false); }},
         }},
        {"hold toggles",
         nullptr,
         {Hold(3000, true),
          Hold(3001, false),
          Hold(3002, true),
          Hold(9000, false),
          Hold(16000, true),
          {17000, [](RepeatMode& r, DriftContext&) { r.SetControls(0.1, 0.28); }},
          Hold(21000, false)}},
        {"chaos",
         [](RepeatMode& r, DriftContext& d) {
             r.SetCount(64);
             d.SetAmount(1.0);
         },
         {
             {7000, [](RepeatMode&, DriftContext& d) { d.Reseed(11); }},
             {13000, [](RepeatMode&, DriftContext& d) { d.SetAmount(0.3); }},
         }},
        // Most of 64 taps at unit speed over a slice of no whole number of
        // samples, with onsets, a HOLD and count and decay moves: the taps of
        // several samples are summed together, and onsets split their runs.
        {"many repeats over a fractional slice",
         [](RepeatMode& r, DriftContext& d) {
             r.SetTime(0.0061234);
             r.SetCount(64);
             r.SetDecay(0.9);
             d.SetAmount(0.25);
         },
         {
             {16000, [](RepeatMode& r, DriftContext&) { r.SetDecay(0.7); }},
             Hold(19000, true),
             Hold(20500, false),
             {22000, [](RepeatMode& r, DriftContext&) { r.SetCount(40); }},
         }},
        // The same with a history recorded while idle up to just before its
        // end, so that the writer wraps while taps of several samples are read.
        {"many repeats across the end of the history",
         [](RepeatMode& r, DriftContext& d) {
             r.SetTime(0.0061234);
             r.SetCount(64);
             d.SetAmount(0.25);
             const int frames = static_cast<int>(r.CurrentState().history.Length()) - 9000;
             const std::vector<float> idle = RepeatModeTest::Noise(static_cast<size_t>(frames), 8);
             r.FeedIdle(idle.data(), idle.data(), frames);
         },
         {}},
        {"fed while idle",
         nullptr,
         {
             {5000,
              [](RepeatMode& r, DriftContext&) {
                  const std::vector<float> idle = RepeatModeTest::Noise(2000, 9);
                  r.SetHold(true);
                  r.FeedIdle(idle.data(), idle.data(), static_cast<int>(idle.size()));
              }},
             Hold(11000, false),
         }},
    };

    chunked_render::Stereo input{Noise(kScriptLength, 1), Noise(kScriptLength, 2)};
    // Silences and bursts give the transient detector onsets to find.
    for (size_t i = 0; i < input.left.size(); ++i)
        if ((i / 2500) % 2 == 1) {
            input.left[i] *= 0.02f;
            input.right[i] *= 0.02f;
        }

    for (const RepeatScript& script : scripts) {
        SCOPED_TRACE(script.name);
        chunked_render::ExpectRunsMatchSingleSamples([&script] { return StartScript(script); }, input);
    }
}
