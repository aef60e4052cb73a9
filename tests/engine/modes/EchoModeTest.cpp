#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "engine/dsp/DriftContext.h"
#include "engine/modes/EchoMode.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/AudioProbe.h"
#include "tests/engine/ChunkedRender.h"

namespace {

using StereoBlock = chunked_render::Stereo;

constexpr double kUnpitchedShape = 0.3;

// The MACRO value that gives an echo time in seconds.
double MacroFor(double seconds)
{
    return std::log(seconds / 0.05) / std::log(24.0);
}

// One unpitched echo at a rate, fed as the engine feeds it: one sample per call
// unless a block length is given.
struct EchoRig
{
    explicit EchoRig(double rate = 48000.0, int repeats = 1, double feedback = 0.5, double time = 0.25)
        : echo(std::make_unique<EchoMode>()), rate(rate)
    {
        echo->SetControls(MacroFor(time), kUnpitchedShape);
        echo->SetRepeats(repeats);
        echo->SetFeedback(feedback);
        echo->SetTime(time);
        echo->Prepare(rate, 512);
    }

    StereoBlock Run(const std::vector<float>& inLeft, const std::vector<float>& inRight, int block = 1)
    {
        StereoBlock out{inLeft, inRight};
        ProcessInPlace(out, block);
        return out;
    }

    void ProcessInPlace(StereoBlock& io, int block = 1)
    {
        const int n = static_cast<int>(io.left.size());
        for (int i = 0; i < n; i += block)
            echo->Process(io.left.data() + i, io.right.data() + i, std::min(block, n - i), drift);
    }

    StereoBlock RunMono(const std::vector<float>& input, int block = 1) { return Run(input, input, block); }

    audio_probe::FloatModeScope floatMode;
    std::unique_ptr<EchoMode> echo;
    DriftContext drift{1};
    double rate;
};

std::vector<float> Impulse(int length, int at = 0)
{
    std::vector<float> x(static_cast<size_t>(length), 0.0f);
    x[static_cast<size_t>(at)] = 1.0f;
    return x;
}

int FirstAbove(const std::vector<float>& x, float threshold, int from = 0)
{
    for (size_t i = static_cast<size_t>(from); i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold)
            return static_cast<int>(i);
    return -1;
}

float PeakIn(const std::vector<float>& x, int begin, int end)
{
    float peak = 0.0f;
    for (int i = begin; i < end; ++i)
        peak = std::max(peak, std::fabs(x[static_cast<size_t>(i)]));
    return peak;
}

} // namespace

TEST(ShapeRatio, PlateausAndRamps)
{
    struct Case
    {
        double shape;
        double ratio;
    };
    const Case cases[] = {
        {-1.0, 0.5},
        {0.0, 0.5},
        {0.15, 0.5},
        {0.175, 0.75},
        {0.2, 1.0},
        {0.5, 1.005},
        {0.7, 1.5},
        {0.9, 2.0},
        {1.0, 2.0},
        {3.0, 2.0},
        {std::numeric_limits<double>::quiet_NaN(), 0.5},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(ShapeRatio(c.shape), c.ratio, 1e-12) << c.shape;
}

// One repeat: the tap reads T - 60 ms back and its shifter adds the other 60 ms,
// so an impulse comes back exactly T later, and only once.
TEST(EchoMode, SingleRepeatArrivesAtTheSetTimeAtEveryRate)
{
    for (const double rate : {8000.0, 44100.0, 48000.0, 384000.0}) {
        SCOPED_TRACE(rate);
        EchoRig rig(rate, 1, 0.5, 0.25);
        ASSERT_TRUE(rig.echo->IsReady());
        const int at = static_cast<int>(std::lround(0.25 * rate));
        const StereoBlock out = rig.RunMono(Impulse(at * 3));
        EXPECT_EQ(FirstAbove(out.left, 1e-9f), at);
        EXPECT_EQ(FirstAbove(out.right, 1e-9f), at);
        EXPECT_GT(PeakIn(out.left, at, at + 10), 0.02f);
        EXPECT_LT(PeakIn(out.left, at + at / 2, at * 3), 1e-6f);
    }
}

TEST(EchoMode, BlockLengthDoesNotChangeTheEcho)
{
    EchoRig perSample(48000.0, 3, 0.7, 0.1);
    EchoRig inBlocks(48000.0, 3, 0.7, 0.1);
    const std::vector<float> input = audio_probe::Sine(330.0, 0.5, 48000.0, 2400);
    std::vector<float> longInput(30000, 0.0f);
    std::copy(input.begin(), input.end(), longInput.begin());
    const StereoBlock a = perSample.RunMono(longInput, 1);
    const StereoBlock b = inBlocks.RunMono(longInput, 300);
    for (size_t i = 0; i < longInput.size(); ++i) {
        ASSERT_EQ(a.left[i], b.left[i]) << i;
        ASSERT_EQ(a.right[i], b.right[i]) << i;
    }
}

// Repeat k + 1 sits (k + 1) * T late, scaled by feedback^(k + 1); odd repeats
// lean left with power 0.6 / 0.4, even repeats right.
TEST(EchoMode, RepeatsAreSpacedDecayingAndPannedAlternately)
{
    EchoRig rig(48000.0, 4, 0.5, 0.1);
    const int spacing = 4800;
    const StereoBlock out = rig.RunMono(Impulse(spacing * 6));
    float previous = 1.0f;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k + 1);
        const int at = (k + 1) * spacing;
        EXPECT_EQ(FirstAbove(out.left, 1e-9f, at - spacing / 2), at);
        const float left = PeakIn(out.left, at, at + 50);
        const float right = PeakIn(out.right, at, at + 50);
        const double expectedRatio = k % 2 == 0 ? std::sqrt(0.6 / 0.4) : std::sqrt(0.4 / 0.6);
        EXPECT_NEAR(left / right, expectedRatio, 1e-4);
        EXPECT_LT(std::max(left, right), previous);
        previous = std::max(left, right);
    }
    EXPECT_LT(PeakIn(out.left, 5 * spacing - 100, 6 * spacing), 1e-6f);
}

TEST(EchoMode, FeedbackZeroSilencesEveryRepeat)
{
    EchoRig rig(48000.0, 8, 0.0, 0.05);
    const StereoBlock out = rig.RunMono(audio_probe::Sine(440.0, 0.9, 48000.0, 30000));
    EXPECT_EQ(PeakIn(out.left, 0, 30000), 0.0f);
    EXPECT_EQ(PeakIn(out.right, 0, 30000), 0.0f);
}

TEST(EchoMode, FeedbackAndRepeatsAreClamped)
{
    EchoMode echo;
    echo.SetFeedback(5.0);
    EXPECT_EQ(echo.CurrentState().feedback, 0.9);
    echo.SetFeedback(-1.0);
    EXPECT_EQ(echo.CurrentState().feedback, 0.0);
    echo.SetFeedback(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(echo.CurrentState().feedback, 0.0);
    echo.SetRepeats(0);
    EXPECT_EQ(echo.CurrentState().repeats, 1);
    echo.SetRepeats(12);
    EXPECT_EQ(echo.CurrentState().repeats, 8);
    echo.SetTime(-1.0);
    EXPECT_EQ(echo.CurrentState().time, 0.05);
    echo.SetTime(std::numeric_limits<double>::infinity());
    EXPECT_EQ(echo.CurrentState().time, 0.05);
    echo.SetControls(1.0, 0.5);
    EXPECT_NEAR(echo.CurrentState().time, 1.2, 1e-12);
    EXPECT_EQ(echo.CurrentState().pitchControl, 0.5);
    echo.RestoreConstructedControls();
    EXPECT_EQ(echo.CurrentState().time, 0.25);
    EXPECT_EQ(echo.CurrentState().pitchControl, 0.0);
    EXPECT_EQ(echo.CurrentState().feedback, 0.5);
    EXPECT_EQ(echo.CurrentState().repeats, 4);
    EXPECT_EQ(echo.CurrentState().sync.boundaryOffset, -1);
}

// Taps read the ring at the ratio: half speed an octave down, double speed an
// octave up, the unpitched tap at the input's own frequency.
TEST(EchoMode, PitchedRepeatsReadTheRingAtTheRatio)
{
    struct Case
    {
        double shape;
        double outputHz;
    };
    const Case cases[] = {{0.1, 500.0}, {0.3, 1000.0}, {1.0, 2000.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        EchoRig rig(48000.0, 1, 0.9, 0.25);
        rig.echo->SetControls(MacroFor(0.25), c.shape);
        rig.echo->SnapSmoothers();
        const StereoBlock out = rig.RunMono(audio_probe::Sine(1000.0, 0.5, 48000.0, 48000));
        const double tone = audio_probe::ToneAmplitude(out.left, c.outputHz, 48000.0, 24000, 48000);
        const double input = audio_probe::ToneAmplitude(out.left, 1000.0, 48000.0, 24000, 48000);
        EXPECT_GT(tone, 0.1);
        if (c.outputHz != 1000.0) {
            EXPECT_GT(tone, 4.0 * input);
        }
    }
}

// The per-channel instances get each channel as a pair of equal samples: each
// echoes only its own channel.
TEST(EchoMode, OneChannelInstancesKeepTheChannelsApart)
{
    EchoRig leftEcho(48000.0, 2, 0.6, 0.1);
    EchoRig rightEcho(48000.0, 2, 0.6, 0.1);
    const std::vector<float> left = Impulse(12000, 0);
    const std::vector<float> right = Impulse(12000, 100);
    const StereoBlock l = leftEcho.RunMono(left);
    const StereoBlock r = rightEcho.RunMono(right);
    std::vector<float> monoLeft(12000), monoRight(12000);
    for (size_t i = 0; i < monoLeft.size(); ++i) {
        monoLeft[i] = (l.left[i] + l.right[i]) * 0.5f;
        monoRight[i] = (r.left[i] + r.right[i]) * 0.5f;
    }
    EXPECT_EQ(FirstAbove(monoLeft, 1e-9f), 4800);
    EXPECT_EQ(FirstAbove(monoRight, 1e-9f), 4900);
    EXPECT_EQ(FirstAbove(monoLeft, 1e-9f, 4801 + 50), 9600);
    EXPECT_EQ(FirstAbove(monoRight, 1e-9f, 4901 + 50), 9700);
}

// While not heard the echo is only fed; when heard again its taps restart from
// that history, so an impulse fed while idle still returns on time.
// The ring's slots repeat every lap, so an impulse written at the same slot
// two laps later, once everything has fallen silent, comes back bit for bit the
// same: reads in later laps find the slot the first lap found. The impulse sits
// just before the end of the ring so that its repeats are read across the wrap,
// and the fractional tap time makes every read interpolate.
TEST(EchoMode, LaterLapsReadTheRingAsTheFirstDoes)
{
    EchoRig rig(8000.0, 3, 0.5, 0.2501);
    rig.echo->SnapSmoothers();
    const int length = static_cast<int>(rig.echo->History().Length());
    const int window = 3 * 2001 + 100;
    const int first = length - 100;
    const int third = first + 2 * length;
    const std::vector<float> input = Impulse(third + window, first);
    std::vector<float> withBoth = input;
    withBoth[static_cast<size_t>(third)] = 1.0f;
    const StereoBlock out = rig.RunMono(withBoth, 512);

    const std::vector<float> firstLap(out.left.begin() + first, out.left.begin() + first + window);
    const std::vector<float> thirdLap(out.left.begin() + third, out.left.end());
    EXPECT_GT(PeakIn(firstLap, 0, window), 0.02f);
    EXPECT_EQ(std::memcmp(firstLap.data(), thirdLap.data(), sizeof(float) * static_cast<size_t>(window)), 0);
}

// Idle feeding in chunks of any length leaves the ring, its clock and the onset
// map as one sample at a time does, through the wrap of the ring and across the
// map's 32-sample cadence.
TEST(EchoMode, IdleFeedingInChunksMatchesSingleSamples)
{
    EchoRig single(8000.0);
    const int total = static_cast<int>(single.echo->History().Length()) + 1000;
    std::vector<float> l(static_cast<size_t>(total), 0.0f);
    std::vector<float> r(static_cast<size_t>(total), 0.0f);
    for (int i = 0; i < total; i += 997) {
        l[static_cast<size_t>(i)] = 0.8f;
        r[static_cast<size_t>(i)] = -0.3f;
    }
    for (int i = 0; i < total; ++i)
        single.echo->FeedIdle(l.data() + i, r.data() + i, 1);

    for (const int chunk : {2, 7, 31, 33, 512, 5000}) {
        SCOPED_TRACE(chunk);
        EchoRig chunked(8000.0);
        for (int i = 0; i < total; i += chunk)
            chunked.echo->FeedIdle(l.data() + i, r.data() + i, std::min(chunk, total - i));
        const EchoMode::State& a = chunked.echo->CurrentState();
        const EchoMode::State& b = single.echo->CurrentState();
        EXPECT_EQ(a.clock, b.clock);
        EXPECT_EQ(a.idleSampleCounter, b.idleSampleCounter);
        const DelayLine<1>& ringA = chunked.echo->History();
        const DelayLine<1>& ringB = single.echo->History();
        EXPECT_EQ(ringA.WriteIndex(), ringB.WriteIndex());
        ASSERT_EQ(ringA.Length(), ringB.Length());
        EXPECT_TRUE(std::equal(ringA.Frames(), ringA.Frames() + ringA.Length(), ringB.Frames()));
        const TransientMap::State& mapA = chunked.echo->Transients().CurrentState();
        const TransientMap::State& mapB = single.echo->Transients().CurrentState();
        EXPECT_TRUE(mapA.flags == mapB.flags);
        EXPECT_EQ(mapA.nextPosition, mapB.nextPosition);
        EXPECT_EQ(mapA.scanIndex, mapB.scanIndex);
        EXPECT_EQ(mapA.peakEnv, mapB.peakEnv);
        EXPECT_EQ(mapA.slowEnv, mapB.slowEnv);
    }
}

TEST(EchoMode, HistoryFedWhileIdleReturnsOnTime)
{
    EchoRig rig(48000.0, 2, 0.5, 0.1);
    const std::vector<float> idle = Impulse(3000, 1000);
    rig.echo->FeedIdle(idle.data(), idle.data(), 3000);
    EXPECT_EQ(rig.echo->CurrentState().reinitPending, 1);
    // FeedIdle keeps the onset map current as it goes.
    EXPECT_TRUE(rig.echo->Transients().IsMarked(1000.0));

    const StereoBlock out = rig.RunMono(std::vector<float>(12000, 0.0f));
    EXPECT_EQ(rig.echo->CurrentState().reinitPending, 0);
    EXPECT_EQ(FirstAbove(out.left, 1e-9f), 1000 + 4800 - 3000);
    EXPECT_EQ(FirstAbove(out.left, 1e-9f, 1000 + 4800 - 3000 + 100), 1000 + 9600 - 3000);
}

TEST(EchoMode, ChaosEventsFollowTheAmountAndTheSeed)
{
    struct Case
    {
        double amount;
        bool anyEvents;
        bool dropoutsAndBends;
    };
    const Case cases[] = {{0.0, false, false}, {0.4, true, false}, {1.0, true, true}};
    const std::vector<float> input = audio_probe::Sine(220.0, 0.5, 48000.0, 48000 * 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.amount);
        EchoRig rig(48000.0, 8, 0.7, 0.05);
        rig.drift.SetAmount(c.amount);
        const StereoBlock out = rig.RunMono(input, 64);
        const EchoMode::State& e = rig.echo->CurrentState();
        const uint32_t tapEvents = e.fastRunCount + e.reverseRunCount + e.octaveJumpCount + e.muteCount + e.ghostCount;
        EXPECT_EQ(tapEvents > 0, c.anyEvents);
        EXPECT_EQ(e.dropoutCount + e.bendCount > 0, c.dropoutsAndBends);
        for (size_t i = 0; i < out.left.size(); ++i)
            ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
    }

    EchoRig first(48000.0, 8, 0.7, 0.05);
    EchoRig second(48000.0, 8, 0.7, 0.05);
    first.drift.SetAmount(1.0);
    second.drift.SetAmount(1.0);
    const StereoBlock a = first.RunMono(input, 64);
    const StereoBlock b = second.RunMono(input, 64);
    EXPECT_TRUE(a.left == b.left && a.right == b.right);
}

// With the tempo grid known and the repeats pitched, the pitch voices take over
// the taps; they stay bounded and the processing does not allocate.
TEST(EchoMode, PitchVoicesRunOnlyWhileSyncedAndPitched)
{
    EchoRig rig(48000.0, 3, 0.6, 0.25);
    rig.echo->SetControls(MacroFor(0.25), 0.7);
    rig.echo->SnapSmoothers();
    TempoSyncInfo info;
    info.synced = 1;
    info.divisionSamples = 12000;
    rig.echo->SetTempoSync(info);
    const std::vector<float> input = audio_probe::Sine(200.0, 0.5, 48000.0, 48000);
    StereoBlock out{input, input};
    {
        AllocationProbe::Scope probe;
        rig.ProcessInPlace(out);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_GT(rig.echo->CurrentState().pitchVoiceSamples, 0u);
    EXPECT_EQ(rig.echo->CurrentState().pitchVoiceMix[0], 1.0);
    for (size_t i = 0; i < out.left.size(); ++i)
        ASSERT_TRUE(std::isfinite(out.left[i]) && std::fabs(out.left[i]) < 2.0f) << i;
    EXPECT_GT(audio_probe::ToneAmplitude(out.left, 300.0, 48000.0, 24000, 48000), 0.02);

    EchoRig unsynced(48000.0, 3, 0.6, 0.25);
    unsynced.echo->SetControls(MacroFor(0.25), 0.7);
    unsynced.echo->SnapSmoothers();
    unsynced.RunMono(input);
    EXPECT_EQ(unsynced.echo->CurrentState().pitchVoiceSamples, 0u);
}

TEST(EchoMode, RefusedMemoryLeavesTheEchoSilentAndSafe)
{
    EchoRig rig(8000.0, 1, 0.5, 0.05);
    {
        AllocationProbe::FailLarge refuse(1 << 20);
        rig.echo->Prepare(48000.0, 512);
    }
    EXPECT_FALSE(rig.echo->IsReady());
    const std::vector<float> input = audio_probe::Sine(440.0, 0.5, 48000.0, 4800);
    rig.echo->FeedIdle(input.data(), input.data(), 4800);
    const StereoBlock out = rig.RunMono(input);
    EXPECT_EQ(PeakIn(out.left, 0, 4800), 0.0f);

    rig.echo->Prepare(std::numeric_limits<double>::infinity(), 512);
    EXPECT_TRUE(rig.echo->IsReady());
    EXPECT_EQ(rig.echo->CurrentState().sampleRate, 48000.0);
    rig.echo->Prepare(1e12, 512);
    EXPECT_TRUE(rig.echo->IsReady());
    EXPECT_EQ(rig.echo->CurrentState().sampleRate, 384000.0);
    rig.echo->Prepare(48000.0, 512);
    EXPECT_TRUE(rig.echo->IsReady());
    EXPECT_EQ(rig.echo->History().Length(), 659906u);
}

// A NaN sample must not stay in the ring to come back with every repeat.
TEST(EchoMode, NonFiniteInputDoesNotPoisonTheRing)
{
    EchoRig rig(48000.0, 4, 0.5, 0.05);
    std::vector<float> input = audio_probe::Sine(440.0, 0.5, 48000.0, 24000);
    input[100] = std::numeric_limits<float>::quiet_NaN();
    input[200] = std::numeric_limits<float>::infinity();
    const StereoBlock out = rig.RunMono(input);
    for (size_t i = 0; i < out.left.size(); ++i)
        ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
}

// An unpitched tap follows a new echo time at once, not at its next tick; while
// the time glides the read head slides (a short pitch bend) but never jumps.
TEST(EchoMode, TimeChangeMovesUnpitchedRepeatsWithoutAClick)
{
    EchoRig impulse(48000.0, 1, 0.5, 0.1);
    StereoBlock first{Impulse(10), Impulse(10)};
    impulse.ProcessInPlace(first);
    impulse.echo->SetTime(0.15);
    const StereoBlock later = impulse.RunMono(std::vector<float>(12000, 0.0f));
    EXPECT_LT(PeakIn(later.left, 4000, 6000), 1e-6f);
    int arrival = 0;
    float peak = 0.0f;
    for (int i = 0; i < 12000; ++i)
        if (std::fabs(later.left[static_cast<size_t>(i)]) > peak) {
            peak = std::fabs(later.left[static_cast<size_t>(i)]);
            arrival = i + 10;
        }
    EXPECT_NEAR(arrival, 7200, 150);

    EchoRig tone(48000.0, 1, 0.5, 0.1);
    const std::vector<float> input = audio_probe::Sine(300.0, 0.5, 48000.0, 48000);
    StereoBlock before{std::vector<float>(input.begin(), input.begin() + 24000),
                       std::vector<float>(input.begin(), input.begin() + 24000)};
    tone.ProcessInPlace(before);
    tone.echo->SetTime(0.1371);
    StereoBlock after{std::vector<float>(input.begin() + 24000, input.end()),
                      std::vector<float>(input.begin() + 24000, input.end())};
    tone.ProcessInPlace(after);
    float steadyStep = 0.0f;
    for (size_t i = 12000; i < before.left.size(); ++i)
        steadyStep = std::max(steadyStep, std::fabs(before.left[i] - before.left[i - 1]));
    float changeStep = 0.0f;
    for (size_t i = 1; i < after.left.size(); ++i)
        changeStep = std::max(changeStep, std::fabs(after.left[i] - after.left[i - 1]));
    EXPECT_GT(steadyStep, 0.0f);
    EXPECT_LT(changeStep, 4.0f * steadyStep);
}

// A tap pitched down by varispeed falls behind and is set back at every tick;
// the 10 ms equal-power crossfade between the old and the new read position
// keeps that jump (here half a period of the tone) from clicking.
TEST(EchoMode, TickJumpOfAPitchedTapIsCrossfaded)
{
    EchoRig rig(48000.0, 1, 0.5, 0.1);
    rig.echo->SetControls(MacroFor(0.1), 0.1);
    rig.echo->SnapSmoothers();
    const StereoBlock out = rig.RunMono(audio_probe::Sine(330.0, 0.5, 48000.0, 48000));
    const float amplitude = PeakIn(out.left, 24000, 48000);
    ASSERT_GT(amplitude, 0.05f);
    float largestStep = 0.0f;
    for (size_t i = 24001; i < out.left.size(); ++i)
        largestStep = std::max(largestStep, std::fabs(out.left[i] - out.left[i - 1]));
    EXPECT_LT(largestStep, 0.06f * amplitude);
}

TEST(EchoMode, OddRatesGiveAFiniteEcho)
{
    const double rates[] = {1.0, 1000.0, 1e-300, -5.0, std::numeric_limits<double>::quiet_NaN()};
    for (const double rate : rates) {
        SCOPED_TRACE(rate);
        EchoRig rig(rate, 8, 0.9, 0.05);
        rig.drift.SetAmount(1.0);
        ASSERT_TRUE(rig.echo->IsReady());
        const StereoBlock out = rig.RunMono(audio_probe::Sine(3.0, 0.5, 1000.0, 4000));
        for (size_t i = 0; i < out.left.size(); ++i)
            ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
    }
}

namespace {

using EchoRunRig = chunked_render::CuedModeRig<EchoMode>;

struct ContractCase
{
    const char* name;
    std::function<void(EchoMode&, DriftContext&)> setup;
    std::vector<EchoRunRig::Cue> cues;
};

constexpr int kScriptLength = 30000;

// Noise bursts with sharp onsets over a low tone, different in each channel.
chunked_render::Stereo ContractInput(int n)
{
    chunked_render::Stereo x{std::vector<float>(static_cast<size_t>(n)), std::vector<float>(static_cast<size_t>(n))};
    uint32_t seed = 12345u;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = static_cast<double>(seed >> 8) / (1 << 24) - 0.5;
        const double burst = (i % 7000) < 1500 ? 0.6 : 0.05;
        const double tone = 0.2 * std::sin(2.0 * audio_probe::kPi * 180.0 * i / 48000.0);
        x.left[static_cast<size_t>(i)] = static_cast<float>(noise * burst + tone);
        x.right[static_cast<size_t>(i)] = static_cast<float>(-noise * burst * 0.5 + tone);
    }
    return x;
}

EchoRunRig StartContractCase(const ContractCase& c)
{
    auto echo = std::make_unique<EchoMode>();
    DriftContext drift{1};
    echo->SetControls(MacroFor(0.1), kUnpitchedShape);
    echo->SetRepeats(3);
    echo->SetFeedback(0.6);
    echo->Prepare(48000.0, 512);
    if (c.setup)
        c.setup(*echo, drift);
    return EchoRunRig(std::move(echo), drift, c.cues);
}

void SyncedPitched(EchoMode& echo, DriftContext&)
{
    echo.SetControls(MacroFor(0.1), 0.7);
    echo.SnapSmoothers();
    TempoSyncInfo info;
    info.synced = 1;
    info.divisionSamples = 4800;
    echo.SetTempoSync(info);
}

} // namespace

// A call of n samples must leave the output and the state exactly as n calls of
// one sample do, whatever moves meanwhile: smoothed controls, repeat counts,
// chaos amounts, reseeds and walker steps, idle feeding, tempo records, pitch
// voices and the octave jumps that retune them.
TEST(EchoMode, RunsOfAnyLengthMatchSingleSampleCalls)
{
    const std::vector<ContractCase> cases = {
        {"settled", nullptr, {}},
        {"controls move",
         nullptr,
         {
             {2000, [](EchoMode& e, DriftContext&) { e.SetControls(MacroFor(0.07), 0.25); }},
             {9000, [](EchoMode& e, DriftContext&) { e.SetFeedback(0.85); }},
             {15000, [](EchoMode& e, DriftContext&) { e.SetRepeats(7); }},
             {19000, [](EchoMode& e, DriftContext&) { e.SetRepeats(2); }},
             {21000, [](EchoMode& e, DriftContext&) { e.SetTime(0.12); }},
         }},
        {"pitched taps",
         [](EchoMode& e, DriftContext&) { e.SetControls(MacroFor(0.1), 0.9); },
         {
             {7000, [](EchoMode& e, DriftContext&) { e.SetControls(MacroFor(0.1), 0.45); }},
             {16000, [](EchoMode& e, DriftContext&) { e.SetControls(MacroFor(0.1), 0.05); }},
         }},
        {"chaos",
         [](EchoMode& e, DriftContext& d) {
             e.SetRepeats(8);
             d.Reseed(5);
             d.SetAmount(1.0);
         },
         {
             {6000, [](EchoMode&, DriftContext& d) { d.Step(1.0 / 48000.0); }},
             {6001, [](EchoMode&, DriftContext& d) { d.Step(1.0 / 48000.0); }},
             {11000, [](EchoMode&, DriftContext& d) { d.Reseed(7); }},
             {18000, [](EchoMode&, DriftContext& d) { d.SetAmount(0.3); }},
             {24000, [](EchoMode&, DriftContext& d) { d.SetAmount(0.0); }},
         }},
        {"fed while idle",
         nullptr,
         {
             {5000,
              [](EchoMode& e, DriftContext&) {
                  const std::vector<float> idle = audio_probe::Sine(440.0, 0.4, 48000.0, 3000);
                  e.FeedIdle(idle.data(), idle.data(), static_cast<int>(idle.size()));
              }},
             {5001, [](EchoMode& e, DriftContext&) { e.SetFeedback(0.3); }},
         }},
        {"pitch voices with octave jumps",
         [](EchoMode& e, DriftContext& d) {
             SyncedPitched(e, d);
             e.SetRepeats(8);
             d.Reseed(5);
             d.SetAmount(1.0);
         },
         {
             {26000, [](EchoMode& e, DriftContext&) { e.SetTempoSync(TempoSyncInfo{}); }},
         }},
        {"beat boundary found",
         SyncedPitched,
         {
             {4000,
              [](EchoMode& e, DriftContext&) {
                  TempoSyncInfo info;
                  info.synced = 1;
                  info.boundaryFound = 1;
                  info.boundaryOffset = 2000;
                  info.divisionSamples = 4800;
                  e.SetTempoSync(info);
              }},
             {14000,
              [](EchoMode& e, DriftContext&) {
                  TempoSyncInfo info;
                  info.synced = 1;
                  info.divisionSamples = 4800;
                  e.SetTempoSync(info);
              }},
         }},
    };

    const chunked_render::Stereo input = ContractInput(kScriptLength);
    for (const ContractCase& c : cases) {
        SCOPED_TRACE(c.name);
        audio_probe::FloatModeScope floatMode;
        chunked_render::ExpectRunsMatchSingleSamples([&c] { return StartContractCase(c); }, input);
    }
}
