#include "engine/modes/LoopsMode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "engine/dsp/DelayLine.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/modes/LoopsModeRig.h"

namespace {

// A loop at `rate` that has played noise for `seconds` with busy settings and
// was then frozen, so some voice may own the pitch shifters.
std::unique_ptr<LoopsModeRig> PlayedRig(double rate, double seconds, uint32_t seed = 21)
{
    auto rig = std::make_unique<LoopsModeRig>(rate, seed);
    LoopControls c = BusyControls(0.4);
    rig->Apply(c);
    rig->Run(static_cast<int64_t>(seconds * rate), NoiseSignal);
    c.freeze = true;
    rig->Apply(c);
    rig->Run(1, NoiseSignal);
    return rig;
}

DelayLineView<2> RingOf(const LoopsMode& loop)
{
    const LoopsMode::State& state = loop.GetState();
    return DelayLineView<2>(state.history.Frames(), loop.HistoryLength(), state.writeIndex, state.clock);
}

// Both channels at a position, each rounded as a voice hears it.
std::pair<float, float> ReadBoth(const DelayLineView<2>& ring, double position)
{
    const DelayFrame<2> frame = ReadLinearFrame(ring, position);
    return {static_cast<float>(frame.left), static_cast<float>(frame.right)};
}

const float* HistoryData(const LoopsMode& loop)
{
    return loop.GetState().history.Frames();
}

} // namespace

TEST(LoopStateTransfer, CopyIsDeepAndMoveEmptiesTheSource)
{
    auto rig = PlayedRig(8000.0, 2.0);
    LoopsMode& source = *rig->loop;

    LoopsMode copy(source);
    EXPECT_NE(HistoryData(copy), HistoryData(source));
    EXPECT_TRUE(SameHistory(copy, source));
    EXPECT_TRUE(copy.GetState().shifters[0].CurrentState().buffer
                == source.GetState().shifters[0].CurrentState().buffer);
    EXPECT_NE(copy.GetState().shifters[0].CurrentState().buffer.data(),
              source.GetState().shifters[0].CurrentState().buffer.data());
    EXPECT_EQ(copy.GetState().clock, source.GetState().clock);
    EXPECT_EQ(copy.GetState().voices[4].readPosition, source.GetState().voices[4].readPosition);
    EditState(copy, [](LoopsMode::State& state) { state.history.FrameAt(10)[0] = 42.0f; });
    EXPECT_NE(HistorySample(source, 0, 10), 42.0f);

    const float* data = HistoryData(source);
    LoopsMode moved(std::move(source));
    EXPECT_EQ(HistoryData(moved), data);
    EXPECT_TRUE(source.GetState().history.Empty());
    EXPECT_TRUE(source.GetState().shifters[0].CurrentState().buffer.empty());
    EXPECT_FALSE(source.IsReady());
    EXPECT_EQ(moved.GetState().clock, copy.GetState().clock);

    LoopsMode assigned;
    assigned = std::move(moved);
    EXPECT_EQ(HistoryData(assigned), data);
    EXPECT_TRUE(moved.GetState().history.Empty());
}

TEST(LoopStateTransfer, SwapStateExchangesEverythingWithoutAllocating)
{
    auto a = PlayedRig(8000.0, 2.0, 1);
    auto b = PlayedRig(16000.0, 1.0, 2);
    const LoopsMode aBefore(*a->loop);
    const LoopsMode bBefore(*b->loop);
    const float* aData = HistoryData(*a->loop);
    const float* bData = HistoryData(*b->loop);
    {
        AllocationProbe::Scope probe;
        LoopsMode::SwapState(*a->loop, *b->loop);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_EQ(HistoryData(*a->loop), bData);
    EXPECT_EQ(HistoryData(*b->loop), aData);
    EXPECT_EQ(a->loop->SampleRate(), 16000.0);
    EXPECT_EQ(b->loop->SampleRate(), 8000.0);
    EXPECT_EQ(a->loop->GetState().clock, bBefore.GetState().clock);
    EXPECT_EQ(b->loop->HistoryLength(), aBefore.HistoryLength());
    EXPECT_EQ(a->loop->GetState().voices[2].rOctave, bBefore.GetState().voices[2].rOctave);
    EXPECT_EQ(a->loop->GetState().shifterOwner, bBefore.GetState().shifterOwner);
    EXPECT_TRUE(b->loop->GetState().shifters[1].CurrentState().buffer
                == aBefore.GetState().shifters[1].CurrentState().buffer);
}

TEST(LoopStateTransfer, CopyStateFromCopiesPlaybackStateOnly)
{
    auto rig = PlayedRig(8000.0, 3.0);
    LoopsMode& live = *rig->loop;

    // The shadow of the hand-over: prepared at the same rate, history released,
    // here with two voices where the live loop has six.
    LoopsMode shadow;
    shadow.SetVoiceCount(2);
    shadow.Prepare(8000.0, 512);
    EditState(shadow, [](LoopsMode::State& state) { state.shifters[0].Push(0.75f); }); // lands in slot 0
    shadow.ReleaseHistory();
    const float* shifterData = shadow.GetState().shifters[0].CurrentState().buffer.data();

    EditState(live, [](LoopsMode::State& state) { state.shifterOwner = -1; });
    {
        AllocationProbe::Scope probe;
        shadow.CopyStateFrom(live);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_TRUE(shadow.GetState().history.Empty());
    EXPECT_EQ(shadow.GetState().clock, live.GetState().clock);
    EXPECT_EQ(shadow.GetState().writeIndex, live.GetState().writeIndex);
    EXPECT_EQ(shadow.GetState().recordingStopped, 1);
    EXPECT_EQ(shadow.GetState().voices[5].windowStart, live.GetState().voices[5].windowStart);
    EXPECT_EQ(shadow.GetState().voices[5].rPan, live.GetState().voices[5].rPan);
    EXPECT_EQ(shadow.GetState().sampleCounter, live.GetState().sampleCounter);
    EXPECT_EQ(shadow.GetState().shifters[0].CurrentState().buffer[0], 0.75f); // kept: no voice owns the shifters
    // The per-block controls and what follows from them stay the shadow's.
    EXPECT_EQ(shadow.VoiceLevel(0), 0.0);
    EXPECT_EQ(live.VoiceLevel(0), 1.0);

    EditState(live, [](LoopsMode::State& state) { state.shifterOwner = 3; });
    {
        AllocationProbe::Scope probe;
        shadow.CopyStateFrom(live);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_TRUE(shadow.GetState().shifters[0].CurrentState().buffer
                == live.GetState().shifters[0].CurrentState().buffer);
    EXPECT_EQ(shadow.GetState().shifters[0].CurrentState().buffer.data(), shifterData);
    EXPECT_EQ(shadow.GetState().shifters[1].CurrentState().clock, live.GetState().shifters[1].CurrentState().clock);
}

TEST(LoopStateTransfer, ResampleDoublingKeepsContentAndScalesPositions)
{
    auto rig = PlayedRig(44100.0, 3.0);
    LoopsMode& loop = *rig->loop;
    EditState(loop, [](LoopsMode::State& state) {
        state.sync.boundaryFound = 1;
        state.wasSynced = 1;
        state.startCountdown[1] = 17;
    });
    const LoopsMode before(loop);

    ASSERT_TRUE(loop.Resample(88200.0));
    EXPECT_EQ(loop.SampleRate(), 88200.0);
    EXPECT_EQ(loop.HistoryLength(), static_cast<int32_t>(std::ceil(52.0 * 88200.0)) + 2);
    EXPECT_EQ(loop.GetState().clock, 2.0 * before.GetState().clock);
    EXPECT_EQ(loop.GetState().fadeLength, 2 * before.GetState().fadeLength);
    EXPECT_EQ(loop.GetState().sampleCounter, 2 * before.GetState().sampleCounter);
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v) {
        SCOPED_TRACE(v);
        const LoopVoice& was = before.GetState().voices[v];
        const LoopVoice& now = loop.GetState().voices[v];
        EXPECT_EQ(now.readPosition, 2.0 * was.readPosition);
        EXPECT_EQ(now.windowStart, 2.0 * was.windowStart);
        EXPECT_EQ(now.windowSpan, 2.0 * was.windowSpan);
        EXPECT_EQ(now.segmentLength, 2 * was.segmentLength);
        EXPECT_EQ(now.segmentPosition, std::min(2 * was.segmentPosition, now.segmentLength - 1));
        EXPECT_EQ(now.startDelay, 2 * was.startDelay);
        EXPECT_EQ(now.rOctave, was.rOctave);
        EXPECT_EQ(now.tailActive, 0);
        EXPECT_NEAR(now.speedSmoother.coefficient, 1.0 - std::exp(-1.0 / (0.02 * 88200.0)), 1e-15);
    }
    EXPECT_EQ(loop.GetState().sync.boundaryFound, 0);
    EXPECT_EQ(loop.GetState().sync.boundaryOffset, -1);
    EXPECT_EQ(loop.GetState().wasSynced, 0);
    EXPECT_EQ(loop.GetState().startCountdown[1], -1);

    // The sample at old position p is found at new position 2p.
    const DelayLineView<2> oldRing = RingOf(before);
    const DelayLineView<2> newRing = RingOf(loop);
    const double oldClock = before.GetState().clock;
    for (double p = oldClock - 1.0; p > oldClock - 2.5 * 44100.0; p -= 997.0)
        ASSERT_EQ(ReadBoth(newRing, 2.0 * p), ReadBoth(oldRing, p)) << p;
    EXPECT_EQ(ReadBoth(newRing, 2.0 * (oldClock - 1.0) + 1.0), ReadBoth(oldRing, oldClock - 1.0));

    // The resampled loop plays on from there without leaving its ring.
    rig->drift.SetAmount(1.0);
    for (int i = 0; i < 88200; ++i) {
        float l = 0.0f;
        float r = 0.0f;
        rig->Step(l, r);
        ASSERT_TRUE(std::isfinite(l) && std::isfinite(r));
        for (const LoopVoice& voice : loop.GetState().voices)
            ASSERT_TRUE(voice.readPosition >= loop.GetState().clock - (loop.HistoryLength() - 2)
                        && voice.readPosition <= loop.GetState().clock - 1.0);
    }
}

TEST(LoopStateTransfer, ResampleEdgeCases)
{
    auto rig = PlayedRig(48000.0, 1.0);
    LoopsMode& loop = *rig->loop;

    // Same rate: nothing changes, not even the arrays.
    const float* data = HistoryData(loop);
    const double clock = loop.GetState().clock;
    EXPECT_TRUE(loop.Resample(48000.0));
    EXPECT_EQ(HistoryData(loop), data);
    EXPECT_EQ(loop.GetState().clock, clock);

    // Unsupported rates are refused and leave the loop as it was.
    for (double rate : {4000.0, 400000.0, std::nan(""), -1.0}) {
        EXPECT_FALSE(loop.Resample(rate)) << rate;
        EXPECT_EQ(loop.SampleRate(), 48000.0);
        EXPECT_EQ(HistoryData(loop), data);
    }

    // A segment that would round to nothing keeps one sample; a pending declick
    // never outlasts the fade it belongs to.
    EditState(loop, [](LoopsMode::State& state) {
        state.voices[0].segmentLength = 1;
        state.voices[0].segmentPosition = 0;
        state.voices[1].fadeRemaining = state.fadeLength;
    });
    ASSERT_TRUE(loop.Resample(22050.0));
    EXPECT_EQ(loop.GetState().voices[0].segmentLength, 1);
    EXPECT_EQ(loop.GetState().voices[0].segmentPosition, 0);
    EXPECT_LE(loop.GetState().voices[1].fadeRemaining, loop.GetState().fadeLength);
}

// A record goes back only into a loop whose history it fits; a refused record
// stays whole for the caller.
TEST(LoopStateTransfer, RestoreStateTakesOnlyARecordThatFits)
{
    auto rig = PlayedRig(8000.0, 1.0);
    LoopsMode::State record = rig->loop->TakeState();
    EXPECT_FALSE(rig->loop->IsReady());
    const double clock = record.clock;

    LoopsMode other;
    other.Prepare(16000.0, 512);
    EXPECT_FALSE(other.RestoreState(std::move(record)));
    EXPECT_EQ(record.history.Length(), static_cast<size_t>(rig->loop->HistoryLength()));
    EXPECT_EQ(other.GetState().clock, 0.0);

    ASSERT_TRUE(rig->loop->RestoreState(std::move(record)));
    EXPECT_TRUE(rig->loop->IsReady());
    EXPECT_EQ(rig->loop->GetState().clock, clock);
}
