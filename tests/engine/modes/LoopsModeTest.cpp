#include "engine/modes/LoopsMode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/engine/AllocationProbe.h"
#include "tests/engine/modes/LoopsModeRig.h"

namespace {

// Loop time 0.25 s through the MACRO mapping 0.01 * 1600^macro.
const double kQuarterSecondMacro = std::log(25.0) / std::log(1600.0);

double MaxAbs(const std::vector<float>& v)
{
    double m = 0.0;
    for (float x : v)
        m = std::max(m, static_cast<double>(std::fabs(x)));
    return m;
}

double Rms(const std::vector<float>& v)
{
    double s = 0.0;
    for (float x : v)
        s += static_cast<double>(x) * x;
    return v.empty() ? 0.0 : std::sqrt(s / static_cast<double>(v.size()));
}

// Every read head of every voice lies inside the part of the ring that holds
// recorded audio.
::testing::AssertionResult HeadsInsideRing(const LoopsMode& loop)
{
    const double newest = std::max(loop.GetState().clock - 1.0, 0.0);
    const double oldest = std::max(loop.GetState().clock - (loop.HistoryLength() - 2), 0.0);
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v) {
        const LoopVoice& voice = loop.GetState().voices[v];
        if (!(voice.readPosition >= oldest && voice.readPosition <= newest))
            return ::testing::AssertionFailure()
                   << "voice " << v << " reads at " << voice.readPosition << " outside " << oldest << ".." << newest;
        if (voice.tailActive && !(voice.tailReadPosition >= oldest && voice.tailReadPosition <= newest))
            return ::testing::AssertionFailure() << "voice " << v << " tail reads at " << voice.tailReadPosition;
    }
    return ::testing::AssertionSuccess();
}

LoopControls PlainControls(double voices)
{
    LoopControls c;
    c.macro = kQuarterSecondMacro;
    c.voices = voices;
    return c;
}

} // namespace

// With amount 0 every voice plays its window at speed 1, centre pan and full
// gain, so a constant input shows the summed level directly: one voice at unity,
// n voices at n / sqrt(n) once all of them are inside their segments.
TEST(LoopsMode, VoiceCountSetsOutputNormalisation)
{
    struct Case
    {
        double voices;
        double peak;
    } cases[] = {{1, 1.0}, {2, std::sqrt(2.0)}, {6, std::sqrt(6.0)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.voices);
        LoopsModeRig rig(8000.0);
        rig.Apply(PlainControls(c.voices));
        rig.Run(3 * 8000, ConstantSignal);
        std::vector<float> out;
        rig.Run(2 * 8000, ConstantSignal, &out);
        EXPECT_NEAR(MaxAbs(out), c.peak, 1e-5);
        EXPECT_NEAR(rig.loop->OutputNorm(), 1.0 / std::sqrt(c.voices), 1e-12);
    }
}

TEST(LoopsMode, OneVoiceIsVoiceTwo)
{
    LoopsModeRig rig(8000.0);
    rig.Apply(PlainControls(1));
    rig.Run(8000, ConstantSignal);
    const double expected[LoopsMode::kVoiceCount] = {0, 0, 1, 0, 0, 0};
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v)
        EXPECT_EQ(rig.loop->VoiceLevel(v), expected[v]) << v;
}

TEST(LoopsMode, VoiceLevelsRampOver20msButResetJumps)
{
    LoopsModeRig rig(8000.0);
    rig.Apply(PlainControls(6));
    rig.Run(1000, ConstantSignal);
    rig.Apply(PlainControls(1));
    rig.Run(1, ConstantSignal);
    EXPECT_NEAR(rig.loop->VoiceLevel(0), 1.0 - 1.0 / 160.0, 1e-12);
    EXPECT_EQ(rig.loop->VoiceLevel(2), 1.0);
    rig.Run(158, ConstantSignal);
    EXPECT_GT(rig.loop->VoiceLevel(0), 1e-3);
    rig.Run(2, ConstantSignal);
    EXPECT_EQ(rig.loop->VoiceLevel(0), 0.0);

    rig.Apply(PlainControls(3));
    rig.loop->Reset();
    const double expected[LoopsMode::kVoiceCount] = {0, 1, 1, 1, 0, 0};
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v)
        EXPECT_EQ(rig.loop->VoiceLevel(v), expected[v]) << v;
}

TEST(LoopsMode, FreezeStopsRecordingAndKeepsPlaying)
{
    LoopsModeRig rig(8000.0);
    LoopControls c = PlainControls(6);
    rig.Apply(c);
    rig.Run(3 * 8000, NoiseSignal);

    c.freeze = true;
    rig.Apply(c);
    rig.Run(1, NoiseSignal);
    ASSERT_EQ(rig.loop->GetState().recordingStopped, 1);
    const double frozenClock = rig.loop->GetState().clock;
    const std::vector<float> frozenHistory = HistoryChannel(*rig.loop, 0);

    std::vector<float> out;
    rig.Run(
        2 * 8000, [](uint64_t, float& l, float& r) { l = r = 0.0f; }, &out);
    EXPECT_EQ(rig.loop->GetState().clock, frozenClock);
    EXPECT_TRUE(HistoryChannel(*rig.loop, 0) == frozenHistory);
    EXPECT_GT(Rms(out), 0.1);

    c.freeze = false;
    rig.Apply(c);
    rig.Run(10, NoiseSignal);
    EXPECT_EQ(rig.loop->GetState().recordingStopped, 0);
    EXPECT_EQ(rig.loop->GetState().clock, frozenClock + 10);
}

TEST(LoopsMode, FreezeWaitsUntilEveryVoiceHasHistory)
{
    LoopsModeRig rig(8000.0);
    LoopControls c = PlainControls(6);
    c.freeze = true;
    rig.Apply(c);
    rig.Run(1, NoiseSignal);
    EXPECT_EQ(rig.loop->GetState().recordingStopped, 0);
    EXPECT_EQ(rig.loop->GetState().clock, 1.0);

    int samples = 1;
    while (!rig.loop->GetState().recordingStopped && samples < 10 * 8000) {
        rig.Run(1, NoiseSignal);
        ++samples;
    }
    ASSERT_EQ(rig.loop->GetState().recordingStopped, 1);
    for (const LoopVoice& voice : rig.loop->GetState().voices)
        EXPECT_EQ(voice.primed, 1);
    const double clock = rig.loop->GetState().clock;
    rig.Run(1000, NoiseSignal);
    EXPECT_EQ(rig.loop->GetState().clock, clock);
}

TEST(LoopsMode, RecordsInputBeforeOverwritingIt)
{
    LoopsModeRig rig(8000.0);
    rig.Apply(PlainControls(6));
    rig.Run(500, NoiseSignal);
    float l = 0.25f;
    float r = -0.5f;
    rig.Step(l, r);
    const size_t last = static_cast<size_t>(rig.loop->GetState().writeIndex - 1);
    EXPECT_EQ(HistorySample(*rig.loop, 0, last), 0.25f);
    EXPECT_EQ(HistorySample(*rig.loop, 1, last), -0.5f);
}

TEST(LoopsMode, ControlMappings)
{
    LoopsMode loop;
    loop.Prepare(48000.0, 512);

    loop.SetTime(0.0);
    EXPECT_EQ(loop.GetState().loopTime, 0.01);
    loop.SetTime(-3.0);
    EXPECT_EQ(loop.GetState().loopTime, 0.01);
    loop.SetTime(std::nan(""));
    EXPECT_EQ(loop.GetState().loopTime, 0.01);
    loop.SetControls(1.0, 0.5);
    EXPECT_DOUBLE_EQ(loop.GetState().loopTime, 16.0);
    EXPECT_EQ(loop.GetState().amount, 0.5);
    loop.SetControls(-1.0, 7.0);
    EXPECT_DOUBLE_EQ(loop.GetState().loopTime, 0.01);
    EXPECT_EQ(loop.GetState().amount, 1.0);

    const double rates[][2] = {{0.0, 0.25}, {0.5, 1.0}, {1.0, 8.0}, {0.25, 0.5}};
    for (const auto& r : rates) {
        loop.SetMotionRate(r[0]);
        EXPECT_DOUBLE_EQ(loop.GetState().lfoRateScale, r[1]) << r[0];
    }

    // A division longer than 16 s leaves the loop unlocked.
    TempoSyncInfo info;
    info.boundaryFound = 1;
    info.divisionSamples = 16 * 48000;
    loop.SetTempoSync(info);
    EXPECT_EQ(loop.GetState().sync.boundaryFound, 1);
    info.divisionSamples = 16 * 48000 + 1;
    loop.SetTempoSync(info);
    EXPECT_EQ(loop.GetState().sync.boundaryFound, 0);
}

TEST(LoopsMode, ChaosZeroHoldsLfosAndResumesFromTheirPhases)
{
    LoopsModeRig rig(8000.0);
    LoopControls c = PlainControls(6);
    c.chaos = 0.7;
    rig.Apply(c);
    rig.Run(2000, NoiseSignal);

    c.chaos = 0.0;
    rig.Apply(c);
    rig.Run(1, NoiseSignal);
    double phases[LoopsMode::kVoiceCount][LoopVoice::kLfoCount];
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v)
        for (int k = 0; k < LoopVoice::kLfoCount; ++k) {
            phases[v][k] = rig.loop->GetState().voices[v].lfoPhase[k];
            LoopVoice voice = rig.loop->GetState().voices[v];
            EXPECT_EQ(voice.Lfo(k), 0.0);
        }
    rig.Run(4000, NoiseSignal);
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v)
        for (int k = 0; k < LoopVoice::kLfoCount; ++k)
            EXPECT_EQ(rig.loop->GetState().voices[v].lfoPhase[k], phases[v][k]);

    c.chaos = 0.7;
    rig.Apply(c);
    rig.Run(1, NoiseSignal);
    const LoopVoice& voice = rig.loop->GetState().voices[0];
    const double step = (voice.lfoRate[0] * 0.075 + 0.025) * rig.loop->GetState().lfoRateScale / 8000.0;
    EXPECT_NEAR(voice.lfoPhase[0], phases[0][0] + step, 1e-15);
}

TEST(LoopsMode, SameSeedReproducesTheSameOutputAfterPreparation)
{
    LoopControls c = BusyControls(0.35);
    c.shape = 0.9;

    auto render = [&](LoopsModeRig& rig) {
        rig.Apply(c);
        rig.loop->SnapSmoothers(); // as the engine does on its first sample
        std::vector<float> out;
        rig.Run(3 * 8000, NoiseSignal, &out);
        return out;
    };
    LoopsModeRig first(8000.0, 11);
    LoopsModeRig second(8000.0, 11);
    const std::vector<float> a = render(first);
    EXPECT_TRUE(a == render(second));
    EXPECT_GT(Rms(a), 0.01);

    // Preparing again and reseeding gives the same voices and events.
    first.loop->Prepare(8000.0, 512);
    first.drift.Reseed(11 + 0x5eed0000u);
    first.counter = 0;
    EXPECT_TRUE(a == render(first));

    LoopsModeRig other(8000.0, 12);
    const std::vector<float> b = render(other);
    EXPECT_FALSE(a == b);
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v)
        EXPECT_NE(other.loop->GetState().voices[v].rOctave, first.loop->GetState().voices[v].rOctave) << v;
}

// An interrupted segment plays on as a tail while the new one fades in; with a
// constant input the two gains must add up to one on every sample, which fails
// if the tail's fade runs at another pace than the new segment's fade-in.
TEST(LoopsMode, TailCrossfadeKeepsConstantInputLevel)
{
    const double rate = 8000.0;
    LoopsModeRig rig(rate);
    LoopControls c = PlainControls(1);
    rig.Apply(c);
    rig.Run(25 * 8000, ConstantSignal);

    c.divisionSamples = 16 * 8000; // locked, but no further boundary during the test
    rig.Apply(c);
    rig.Run(1, ConstantSignal);
    const LoopVoice& voice = rig.loop->GetState().voices[2];
    while (!(voice.segmentPosition > 3 * rig.loop->GetState().fadeLength
             && voice.segmentLength - voice.segmentPosition > 3 * rig.loop->GetState().fadeLength))
        rig.Run(1, ConstantSignal);

    EditState(*rig.loop, [](LoopsMode::State& state) { state.startCountdown[2] = 0; });
    std::vector<float> out;
    rig.Run(1, ConstantSignal, &out);
    ASSERT_EQ(voice.tailActive, 1);
    int tailSamples = 1;
    while (voice.tailActive && tailSamples < 10000) {
        rig.Run(1, ConstantSignal, &out);
        ++tailSamples;
    }
    EXPECT_EQ(tailSamples, rig.loop->GetState().fadeLength);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i], 1.0, 1e-5) << i;
}

// Heavy settings run for longer than the ring, free and tempo-locked, at the
// smallest and the largest supported rate: every read head stays inside the
// recorded part of the ring and the output stays finite.
TEST(LoopsMode, ReadsStayInsideTheRing)
{
    struct Case
    {
        double rate;
        int32_t division;
        double seconds; // played after the ring has wrapped
    } cases[] = {{8000.0, 0, 20.0}, {8000.0, 3000, 20.0}, {384000.0, 0, 0.5}, {384000.0, 70000, 0.5}};
    for (const Case& tc : cases) {
        SCOPED_TRACE(testing::Message() << tc.rate << " Hz, division " << tc.division);
        LoopsModeRig rig(tc.rate, 3);
        LoopControls c = BusyControls(0.5);
        c.octaveDir = 1.0;
        c.divisionSamples = tc.division;
        rig.Apply(c);

        // Fill and wrap the ring quickly, then play through it.
        std::vector<float> l(4096), r(4096);
        int64_t fed = 0;
        while (rig.loop->GetState().clock < rig.loop->HistoryLength() + 0.5 * tc.rate) {
            for (size_t i = 0; i < l.size(); ++i)
                NoiseSignal(static_cast<uint64_t>(fed + static_cast<int64_t>(i)), l[i], r[i]);
            rig.loop->FeedIdle(l.data(), r.data(), static_cast<int>(l.size()));
            fed += static_cast<int64_t>(l.size());
        }
        const int64_t total = static_cast<int64_t>(tc.seconds * tc.rate);
        bool finite = true;
        bool inside = true;
        for (int64_t i = 0; i < total && finite && inside; ++i) {
            float a = 0.0f;
            float b = 0.0f;
            NoiseSignal(static_cast<uint64_t>(i), a, b);
            rig.Step(a, b);
            finite = std::isfinite(a) && std::isfinite(b) && std::fabs(a) < 64.0f && std::fabs(b) < 64.0f;
            const ::testing::AssertionResult heads = HeadsInsideRing(*rig.loop);
            inside = heads;
            EXPECT_TRUE(heads) << "sample " << i;
        }
        EXPECT_TRUE(finite);
        EXPECT_GT(rig.loop->GetState().shifterStarts + rig.loop->GetState().chaosReverseFlips, 0u);
    }
}

TEST(LoopsMode, ProcessDoesNotAllocate)
{
    LoopsModeRig rig(8000.0, 5);
    LoopControls c;
    c.shape = 1.0;
    c.octaves = 1.0;
    c.reverse = 0.5;
    c.reach = 1.0;
    c.chaos = 1.0;
    c.mono = true;
    rig.Apply(c);
    rig.Run(2000, NoiseSignal);
    AllocationProbe::Scope probe;
    rig.Run(20000, NoiseSignal);
    c.divisionSamples = 2000;
    rig.Apply(c);
    rig.Run(20000, NoiseSignal);
    EXPECT_EQ(probe.Allocations(), 0);
}

TEST(LoopsMode, RefusedAllocationLeavesTheModeSilentAndSafe)
{
    LoopsMode loop;
    {
        AllocationProbe::FailLarge fail(1 << 20);
        loop.Prepare(48000.0, 512);
    }
    EXPECT_FALSE(loop.IsReady());
    DriftContext drift(1);
    float l[64];
    float r[64];
    std::fill(l, l + 64, 0.5f);
    std::fill(r, r + 64, 0.5f);
    loop.FeedIdle(l, r, 64);
    loop.Process(l, r, 64, drift);
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(l[i] == 0.0f && r[i] == 0.0f);
    EXPECT_FALSE(loop.Resample(96000.0));

    loop.Prepare(48000.0, 512);
    EXPECT_TRUE(loop.IsReady());
    EXPECT_EQ(loop.HistoryLength(), 2496002);
    EXPECT_EQ(loop.GetState().fadeLength, 240);
}

TEST(LoopsMode, PreparationRatesOutsideTheSupportedRangeAreClamped)
{
    struct Case
    {
        double requested;
        double used;
    } cases[] = {{1e12, 384000.0}, {100.0, 8000.0},         {0.0, 48000.0},
                 {-5.0, 48000.0},  {std::nan(""), 48000.0}, {44100.0, 44100.0}};
    LoopsMode loop;
    for (const Case& c : cases) {
        loop.Prepare(c.requested, 512);
        EXPECT_EQ(loop.SampleRate(), c.used) << c.requested;
        EXPECT_TRUE(loop.IsReady()) << c.requested;
        EXPECT_EQ(loop.HistoryLength(), static_cast<int32_t>(std::ceil(52.0 * c.used)) + 2);
    }
}

TEST(LoopsMode, ProcessWithNothingToDoOnlyConsumesThePendingReset)
{
    LoopsMode loop;
    loop.Prepare(8000.0, 512);
    DriftContext drift(1);
    EditState(loop, [](LoopsMode::State& state) {
        state.voices[3].segmentLength = 77;
        state.resetVoicesPending = 1;
    });
    float l = 0.0f;
    float r = 0.0f;
    loop.Process(&l, &r, 0, drift);
    EXPECT_EQ(loop.GetState().resetVoicesPending, 0);
    EXPECT_EQ(loop.GetState().voices[3].segmentLength, 0);
    EXPECT_EQ(loop.GetState().clock, 0.0);
}

// A tempo-locked restart leaves the interrupted segment playing on as a tail. If
// LOOPS goes quiet right then and another mode plays for longer than the ring
// holds, the tail's place in the history has been overwritten by the time LOOPS
// is heard again: its head must be held at the oldest recorded sample, not wrap
// round into the newest audio.
TEST(LoopsMode, TailHeldOverALongIdleStretchReadsInsideTheRing)
{
    LoopsModeRig rig(8000.0, 3);
    LoopControls c = PlainControls(6);
    rig.Apply(c);
    rig.Run(3 * 8000, NoiseSignal);
    c.divisionSamples = 3000;
    rig.Apply(c);
    const LoopVoice* tailVoice = nullptr;
    for (int i = 0; i < 4 * 3000 && !tailVoice; ++i) {
        rig.Run(1, NoiseSignal);
        for (const LoopVoice& voice : rig.loop->GetState().voices)
            if (voice.tailActive && voice.fadeRemaining > 2)
                tailVoice = &voice;
    }
    ASSERT_NE(tailVoice, nullptr);

    std::vector<float> l(8000), r(8000);
    for (int64_t fed = 0; fed < rig.loop->HistoryLength() + 8000; fed += 8000) {
        for (size_t i = 0; i < l.size(); ++i)
            NoiseSignal(rig.counter + static_cast<uint64_t>(fed) + i, l[i], r[i]);
        rig.loop->FeedIdle(l.data(), r.data(), static_cast<int>(l.size()));
    }
    ASSERT_TRUE(tailVoice->tailActive);

    // The same loop with the tail already held at the oldest sample it may read.
    LoopsModeRig held(8000.0, 3);
    *held.loop = *rig.loop;
    held.drift = rig.drift;
    held.controls = rig.controls;
    held.counter = rig.counter;
    const double oldest = rig.loop->GetState().clock - (rig.loop->HistoryLength() - 2);
    ASSERT_LT(tailVoice->tailReadPosition, oldest);
    const std::ptrdiff_t tailIndex = tailVoice - rig.loop->GetState().voices;
    EditState(*held.loop, [&](LoopsMode::State& state) { state.voices[tailIndex].tailReadPosition = oldest; });

    std::vector<float> out, heldOut;
    for (int i = 0; i < 3; ++i) {
        rig.Run(1, NoiseSignal, &out);
        held.Run(1, NoiseSignal, &heldOut);
        EXPECT_TRUE(HeadsInsideRing(*rig.loop)) << "sample " << i;
    }
    EXPECT_EQ(out, heldOut);
}

namespace {

enum class Tempo
{
    Free,
    SyncedWithoutBoundary, // the host's grid is known but not locked: only the phase moves
    Locked,
    LockedAfterJumpBack,
    // A host handing the boundary's record to three calls in a row: each of
    // them counts a division.
    LockedWithRepeatedBoundary,
};

// One stretch of a scripted session: controls set at its start, then samples.
struct Stretch
{
    int samples;
    LoopControls controls;
    Tempo tempo;
    bool reseed;
};

constexpr double kContractRate = 8000.0;
constexpr int32_t kContractDivision = 1500;

TempoSyncInfo RecordFor(Tempo tempo, int64_t position, bool firstOfStretch)
{
    TempoSyncInfo info;
    if (tempo == Tempo::Free)
        return info;
    info.synced = 1;
    info.divisionSamples = kContractDivision;
    info.divisionBeats = 1.0;
    info.beatsPerSample = 1.0 / kContractDivision;
    info.phase = static_cast<double>(position % kContractDivision) / kContractDivision;
    if (tempo == Tempo::SyncedWithoutBoundary)
        return info;
    info.boundaryFound = 1;
    info.movedBack = tempo == Tempo::LockedAfterJumpBack && firstOfStretch ? 1 : 0;
    const int64_t repeats = tempo == Tempo::LockedWithRepeatedBoundary ? 3 : 1;
    if (position % kContractDivision < repeats) {
        info.boundaryOffset = 0;
        info.phase = 0.0;
    }
    return info;
}

// Two records a single call may share: without a boundary found the phase is
// never read, so only the rest must agree.
bool SameRecordForACall(const TempoSyncInfo& a, const TempoSyncInfo& b)
{
    const bool phaseMatters = a.boundaryFound || b.boundaryFound;
    return a.synced == b.synced && a.boundaryFound == b.boundaryFound && a.movedBack == b.movedBack
           && a.boundaryOffset == b.boundaryOffset && a.divisionSamples == b.divisionSamples
           && (!phaseMatters || a.phase == b.phase);
}

// Plays a script through a fresh loop in calls of at most maxRun samples, cut
// where the engine would cut them (chaos steps, tempo records, control changes),
// then plays a window one sample at a time to expose any state left behind.
struct ContractRender
{
    std::vector<float> left, right, afterLeft, afterRight;
};

ContractRender RenderScript(const std::vector<Stretch>& script, int maxRun)
{
    LoopsModeRig rig(kContractRate, 9);
    LoopsMode& loop = *rig.loop;
    ContractRender out;
    int64_t position = 0;
    for (const Stretch& stretch : script) {
        rig.Apply(stretch.controls);
        if (position == 0)
            loop.SnapSmoothers(); // as the engine does on its first sample
        if (stretch.reseed)
            rig.drift.Reseed(rig.drift.Seed() + 1);
        const int64_t end = position + stretch.samples;
        const int64_t first = position;
        while (position < end) {
            if (position % 512 == 0)
                rig.drift.Step(512.0 / kContractRate);
            const TempoSyncInfo record = RecordFor(stretch.tempo, position, position == first);
            int64_t n = 1;
            while (n < maxRun && position + n < end && (position + n) % 512 != 0
                   && SameRecordForACall(record, RecordFor(stretch.tempo, position + n, false)))
                ++n;
            std::vector<float> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
            for (int64_t i = 0; i < n; ++i)
                NoiseSignal(static_cast<uint64_t>(position + i), l[static_cast<size_t>(i)], r[static_cast<size_t>(i)]);
            loop.SetTempoSync(record);
            loop.Process(l.data(), r.data(), static_cast<int>(n), rig.drift);
            out.left.insert(out.left.end(), l.begin(), l.end());
            out.right.insert(out.right.end(), r.begin(), r.end());
            position += n;
        }
    }
    rig.counter = static_cast<uint64_t>(position);
    rig.controls.divisionSamples = 0;
    rig.Run(3000, NoiseSignal, &out.afterLeft, &out.afterRight);
    return out;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

struct ContractScript
{
    const char* name;
    std::vector<Stretch> stretches;
};

std::vector<ContractScript> ContractScripts()
{
    const LoopControls plain = PlainControls(6);
    const LoopControls busy = BusyControls(0.3);

    LoopControls fewer = plain;
    fewer.voices = 2;
    fewer.shape = 0.8;
    fewer.octaves = 0.7;
    fewer.reach = 0.6;
    fewer.width = 0.5;
    LoopControls mono = fewer;
    mono.voices = 5;
    mono.mono = true;

    LoopControls calm = busy;
    calm.chaos = 0.0;
    LoopControls half = busy;
    half.chaos = 0.4;

    LoopControls motion = busy;
    motion.lfoMotion = true;
    motion.motionRate = 0.9;
    LoopControls slower = motion;
    slower.motionRate = 0.1;
    slower.chaos = 0.6;

    LoopControls frozen = busy;
    frozen.freeze = true;

    LoopControls locked = busy;
    locked.divisionSamples = kContractDivision;

    return {{"recording, voice count and shape glides",
             {{9000, plain, Tempo::Free, false},
              {5000, fewer, Tempo::Free, false},
              {6000, mono, Tempo::Free, false},
              {3000, plain, Tempo::Free, false}}},
            {"chaos steps, reseeds and a pause at zero",
             {{8000, busy, Tempo::Free, false},
              {4000, calm, Tempo::Free, false},
              {4000, half, Tempo::Free, true},
              {4000, busy, Tempo::Free, true}}},
            {"motion by LFO", {{8000, motion, Tempo::Free, false}, {8000, slower, Tempo::Free, false}}},
            {"freeze waiting for its voices, frozen, released",
             {{6000, frozen, Tempo::Free, false},
              {8000, frozen, Tempo::Free, true},
              {4000, busy, Tempo::Free, false},
              {3000, frozen, Tempo::Free, false}}},
            {"tempo lock",
             {{8000, busy, Tempo::SyncedWithoutBoundary, false},
              {6000, locked, Tempo::Locked, false},
              {4000, locked, Tempo::LockedAfterJumpBack, false},
              {4000, locked, Tempo::LockedWithRepeatedBoundary, false},
              {3000, busy, Tempo::SyncedWithoutBoundary, false},
              {3000, locked, Tempo::Locked, false}}}};
}

} // namespace

// A call for n samples leaves the output and the state that n one-sample calls
// leave, whatever the length of the calls and whatever moves between them.
TEST(LoopsMode, CallsOfAnyLengthMatchOneSampleCalls)
{
    const int maxRuns[] = {2, 7, 64, 512, 4096};
    for (const ContractScript& script : ContractScripts()) {
        const ContractRender reference = RenderScript(script.stretches, 1);
        ASSERT_GT(Rms(reference.left), 0.01) << script.name;
        for (int maxRun : maxRuns) {
            SCOPED_TRACE(testing::Message() << script.name << ", calls of up to " << maxRun);
            const ContractRender calls = RenderScript(script.stretches, maxRun);
            EXPECT_TRUE(SameBits(calls.left, reference.left));
            EXPECT_TRUE(SameBits(calls.right, reference.right));
            EXPECT_TRUE(SameBits(calls.afterLeft, reference.afterLeft));
            EXPECT_TRUE(SameBits(calls.afterRight, reference.afterRight));
        }
    }
}

// Idle feeding in chunks of any length records each sample at its clock's
// slot, through the wrap of the history.
TEST(LoopsMode, IdleFeedingInChunksRecordsEverySampleAtItsSlot)
{
    auto loop = std::make_unique<LoopsMode>();
    loop->Prepare(48000.0, 512);
    const int length = loop->HistoryLength();
    const int total = length + 3001;
    std::vector<float> l(static_cast<size_t>(total));
    std::vector<float> r(static_cast<size_t>(total));
    std::vector<float> expectedL(static_cast<size_t>(length), 0.0f);
    std::vector<float> expectedR(static_cast<size_t>(length), 0.0f);
    for (int i = 0; i < total; ++i) {
        l[static_cast<size_t>(i)] = static_cast<float>(std::sin(0.001 * i));
        r[static_cast<size_t>(i)] = static_cast<float>(std::cos(0.0013 * i));
        expectedL[static_cast<size_t>(i % length)] = l[static_cast<size_t>(i)];
        expectedR[static_cast<size_t>(i % length)] = r[static_cast<size_t>(i)];
    }

    for (const int chunk : {1, 2, 7, 512, 4093}) {
        SCOPED_TRACE(chunk);
        loop->Reset();
        for (int i = 0; i < total; i += chunk)
            loop->FeedIdle(l.data() + i, r.data() + i, std::min(chunk, total - i));
        EXPECT_EQ(loop->GetState().clock, static_cast<double>(total));
        EXPECT_EQ(loop->GetState().writeIndex, total % length);
        EXPECT_EQ(loop->GetState().resetVoicesPending, 1);
        EXPECT_TRUE(HistoryChannel(*loop, 0) == expectedL);
        EXPECT_TRUE(HistoryChannel(*loop, 1) == expectedR);
    }
}

// A preparation forgets what was recorded, at the same rate as at another.
TEST(LoopsMode, PreparationClearsARecordedHistory)
{
    for (const double rate : {48000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        auto loop = std::make_unique<LoopsMode>();
        loop->Prepare(48000.0, 512);
        const std::vector<float> input(4096, 0.25f);
        loop->FeedIdle(input.data(), input.data(), 4096);
        loop->Prepare(rate, 512);
        EXPECT_EQ(loop->GetState().clock, 0.0);
        EXPECT_EQ(loop->GetState().writeIndex, 0);
        const auto isZero = [](float x) { return x == 0.0f; };
        const DelayLine<2>& history = loop->GetState().history;
        EXPECT_TRUE(std::all_of(history.Frames(), history.Frames() + 2 * history.Length(), isZero));
    }
}
