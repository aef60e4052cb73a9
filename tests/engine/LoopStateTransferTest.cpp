#include "engine/LoopsMode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/HistoryRing.h"
#include "engine/InterpolatedRead.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/LoopsModeRig.h"

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

HistoryRing RingOf(const LoopsMode& loop, const SampleHistory& channel)
{
    return HistoryRing{channel.data(), loop.historyLength, loop.writeIndex, loop.clock};
}

} // namespace

TEST(LoopStateTransfer, CopyIsDeepAndMoveEmptiesTheSource)
{
    auto rig = PlayedRig(8000.0, 2.0);
    LoopsMode& source = *rig->loop;

    LoopsMode copy(source);
    EXPECT_NE(copy.historyL.data(), source.historyL.data());
    EXPECT_TRUE(copy.historyL == source.historyL);
    EXPECT_TRUE(copy.shifters[0].CurrentState().buffer == source.shifters[0].CurrentState().buffer);
    EXPECT_NE(copy.shifters[0].CurrentState().buffer.data(), source.shifters[0].CurrentState().buffer.data());
    EXPECT_EQ(copy.clock, source.clock);
    EXPECT_EQ(copy.voices[4].readPosition, source.voices[4].readPosition);
    copy.historyL[10] = 42.0f;
    EXPECT_NE(source.historyL[10], 42.0f);

    const float* data = source.historyL.data();
    LoopsMode moved(std::move(source));
    EXPECT_EQ(moved.historyL.data(), data);
    EXPECT_TRUE(source.historyL.empty());
    EXPECT_TRUE(source.historyR.empty());
    EXPECT_TRUE(source.scratch.empty());
    EXPECT_FALSE(source.IsReady());
    EXPECT_EQ(moved.clock, copy.clock);

    LoopsMode assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.historyL.data(), data);
    EXPECT_TRUE(moved.historyL.empty());
}

TEST(LoopStateTransfer, SwapStateExchangesEverythingWithoutAllocating)
{
    auto a = PlayedRig(8000.0, 2.0, 1);
    auto b = PlayedRig(16000.0, 1.0, 2);
    const LoopsMode aBefore(*a->loop);
    const LoopsMode bBefore(*b->loop);
    const float* aData = a->loop->historyL.data();
    const float* bData = b->loop->historyL.data();
    {
        AllocationProbe::Scope probe;
        LoopsMode::SwapState(*a->loop, *b->loop);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_EQ(a->loop->historyL.data(), bData);
    EXPECT_EQ(b->loop->historyL.data(), aData);
    EXPECT_EQ(a->loop->sampleRate, 16000.0);
    EXPECT_EQ(b->loop->sampleRate, 8000.0);
    EXPECT_EQ(a->loop->clock, bBefore.clock);
    EXPECT_EQ(b->loop->historyLength, aBefore.historyLength);
    EXPECT_EQ(a->loop->voices[2].rOctave, bBefore.voices[2].rOctave);
    EXPECT_EQ(b->loop->fadeTable, aBefore.fadeTable);
    EXPECT_EQ(a->loop->shifterOwner, bBefore.shifterOwner);
    EXPECT_TRUE(b->loop->shifters[1].CurrentState().buffer == aBefore.shifters[1].CurrentState().buffer);
}

TEST(LoopStateTransfer, CopyStateFromCopiesPlaybackStateOnly)
{
    auto rig = PlayedRig(8000.0, 3.0);
    LoopsMode& live = *rig->loop;

    // The shadow of the hand-over: prepared at the same rate, histories released.
    LoopsMode shadow;
    shadow.Prepare(8000.0, 512);
    SampleHistory().swap(shadow.historyL);
    SampleHistory().swap(shadow.historyR);
    shadow.shifters[0].Push(0.75f); // lands in slot 0
    shadow.monoAmount = 0.3;
    shadow.voiceCount = 2;
    shadow.voiceSmoothersValid = 1;
    const float* shifterData = shadow.shifters[0].CurrentState().buffer.data();

    live.shifterOwner = -1;
    {
        AllocationProbe::Scope probe;
        shadow.CopyStateFrom(live);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_TRUE(shadow.historyL.empty());
    EXPECT_EQ(shadow.clock, live.clock);
    EXPECT_EQ(shadow.writeIndex, live.writeIndex);
    EXPECT_EQ(shadow.recordingStopped, 1);
    EXPECT_EQ(shadow.voices[5].windowStart, live.voices[5].windowStart);
    EXPECT_EQ(shadow.voices[5].rPan, live.voices[5].rPan);
    EXPECT_EQ(shadow.sampleCounter, live.sampleCounter);
    EXPECT_EQ(shadow.shifters[0].CurrentState().buffer[0], 0.75f); // kept: no voice owns the shifters
    EXPECT_EQ(shadow.monoAmount, 0.3);
    EXPECT_EQ(shadow.voiceCount, 2);
    EXPECT_EQ(shadow.voiceSmoothersValid, 0);
    EXPECT_EQ(shadow.chaosWasZero, 0);

    live.shifterOwner = 3;
    {
        AllocationProbe::Scope probe;
        shadow.CopyStateFrom(live);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_TRUE(shadow.shifters[0].CurrentState().buffer == live.shifters[0].CurrentState().buffer);
    EXPECT_EQ(shadow.shifters[0].CurrentState().buffer.data(), shifterData);
    EXPECT_EQ(shadow.shifters[1].CurrentState().clock, live.shifters[1].CurrentState().clock);
}

TEST(LoopStateTransfer, ResampleDoublingKeepsContentAndScalesPositions)
{
    auto rig = PlayedRig(44100.0, 3.0);
    LoopsMode& loop = *rig->loop;
    loop.sync.boundaryFound = 1;
    loop.wasSynced = 1;
    loop.startCountdown[1] = 17;
    const LoopsMode before(loop);

    ASSERT_TRUE(loop.Resample(88200.0));
    EXPECT_EQ(loop.sampleRate, 88200.0);
    EXPECT_EQ(loop.historyLength, static_cast<int32_t>(std::ceil(52.0 * 88200.0)) + 2);
    EXPECT_EQ(loop.clock, 2.0 * before.clock);
    EXPECT_EQ(loop.fadeLength, 2 * before.fadeLength);
    EXPECT_EQ(loop.sampleCounter, 2 * before.sampleCounter);
    for (int v = 0; v < LoopsMode::kVoiceCount; ++v) {
        SCOPED_TRACE(v);
        const LoopVoice& was = before.voices[v];
        const LoopVoice& now = loop.voices[v];
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
    EXPECT_EQ(loop.sync.boundaryFound, 0);
    EXPECT_EQ(loop.sync.boundaryOffset, -1);
    EXPECT_EQ(loop.wasSynced, 0);
    EXPECT_EQ(loop.startCountdown[1], -1);

    // The sample at old position p is found at new position 2p.
    const HistoryRing oldL = RingOf(before, before.historyL);
    const HistoryRing newL = RingOf(loop, loop.historyL);
    const HistoryRing oldR = RingOf(before, before.historyR);
    const HistoryRing newR = RingOf(loop, loop.historyR);
    for (double p = before.clock - 1.0; p > before.clock - 2.5 * 44100.0; p -= 997.0) {
        ASSERT_EQ(ReadLinear(newL, 2.0 * p), ReadLinear(oldL, p)) << p;
        ASSERT_EQ(ReadLinear(newR, 2.0 * p), ReadLinear(oldR, p)) << p;
    }
    EXPECT_EQ(ReadLinear(newL, 2.0 * (before.clock - 1.0) + 1.0), ReadLinear(oldL, before.clock - 1.0));

    // The resampled loop plays on from there without leaving its ring.
    rig->drift.amount = 1.0;
    for (int i = 0; i < 88200; ++i) {
        float l = 0.0f;
        float r = 0.0f;
        rig->Step(l, r);
        ASSERT_TRUE(std::isfinite(l) && std::isfinite(r));
        for (const LoopVoice& voice : loop.voices)
            ASSERT_TRUE(voice.readPosition >= loop.clock - (loop.historyLength - 2)
                        && voice.readPosition <= loop.clock - 1.0);
    }
}

TEST(LoopStateTransfer, ResampleEdgeCases)
{
    auto rig = PlayedRig(48000.0, 1.0);
    LoopsMode& loop = *rig->loop;

    // Same rate: nothing changes, not even the arrays.
    const float* data = loop.historyL.data();
    const double clock = loop.clock;
    EXPECT_TRUE(loop.Resample(48000.0));
    EXPECT_EQ(loop.historyL.data(), data);
    EXPECT_EQ(loop.clock, clock);

    // Unsupported rates are refused and leave the loop as it was.
    for (double rate : {4000.0, 400000.0, std::nan(""), -1.0}) {
        EXPECT_FALSE(loop.Resample(rate)) << rate;
        EXPECT_EQ(loop.sampleRate, 48000.0);
        EXPECT_EQ(loop.historyL.data(), data);
    }

    // A segment that would round to nothing keeps one sample; a pending declick
    // never outlasts the fade it belongs to.
    loop.voices[0].segmentLength = 1;
    loop.voices[0].segmentPosition = 0;
    loop.voices[1].fadeRemaining = loop.fadeLength;
    ASSERT_TRUE(loop.Resample(22050.0));
    EXPECT_EQ(loop.voices[0].segmentLength, 1);
    EXPECT_EQ(loop.voices[0].segmentPosition, 0);
    EXPECT_LE(loop.voices[1].fadeRemaining, loop.fadeLength);
}
