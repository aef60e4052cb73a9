#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/state/FrozenLoopBlob.h"
#include "engine/state/FrozenLoopHandover.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/EffectEngineProbe.h"
#include "tests/engine/state/FrozenLoopFixture.h"

namespace {

using FrozenLoopFixture::HandBlob;
using FrozenLoopFixture::MakeHandFrozenLoop;
using FrozenLoopFixture::RunBlock;
using FrozenLoopFixture::RunUntilPublished;
using FrozenLoopFixture::SetLoopParams;
using FrozenLoopFixture::SnapshotState;
using Point = FrozenLoopHandover::Point;

constexpr int kBlock = 64;

std::unique_ptr<EffectEngine> MakeLoopEngine(double rate, double freeze = 1.0)
{
    auto engine = std::make_unique<EffectEngine>();
    SetLoopParams(*engine, freeze);
    engine->Prepare(rate, kBlock);
    return engine;
}

const FrozenLoopHandover& HandoverOf(const EffectEngine& engine)
{
    return EffectEngineProbe(engine).Handover();
}

const LoopsMode& LiveLoopOf(const EffectEngine& engine)
{
    return EffectEngineProbe(engine).LiveLoop();
}

bool Restore(EffectEngine& engine, const std::vector<uint8_t>& blob, double rate)
{
    return engine.RestoreFrozenLoop(blob.data(), blob.size(), rate);
}

class FrozenLoopHandoverTest : public ::testing::Test
{
protected:
    void SetUp() override { FrozenLoopFixture::EnableFlushToZero(); }
};

} // namespace

TEST_F(FrozenLoopHandoverTest, CaptureIsEmptyWithoutAFrozenLoopOrWhileAnotherReaderCopies)
{
    EffectEngine unprepared;
    EXPECT_TRUE(unprepared.CaptureFrozenLoop().empty());

    auto recording = MakeLoopEngine(8000, 0.0);
    for (int64_t i = 0; i < 8000; i += kBlock)
        RunBlock(*recording, 1, i, kBlock);
    EXPECT_TRUE(recording->CaptureFrozenLoop().empty());

    // A second reader arriving while the first one copies.
    auto frozen = MakeLoopEngine(8000);
    ASSERT_GT(RunUntilPublished(*frozen, 1, kBlock, 8000 * 30), 0);
    std::vector<uint8_t> second{1};
    FrozenLoopHandover::State stateAfterSecond = FrozenLoopHandover::kEmpty;
    frozen->SetHandoverProbe([&](Point point) {
        if (point != Point::ReaderCopying)
            return;
        second = frozen->CaptureFrozenLoop();
        stateAfterSecond = SnapshotState(*frozen);
    });
    EXPECT_FALSE(frozen->CaptureFrozenLoop().empty());
    frozen->SetHandoverProbe(nullptr);
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(stateAfterSecond, FrozenLoopHandover::kReaderCopying);
    EXPECT_EQ(SnapshotState(*frozen), FrozenLoopHandover::kValid);
}

// A captured loop restored into an engine that recorded something else plays
// exactly what the original engine goes on playing.
TEST_F(FrozenLoopHandoverTest, RestoredCapturePlaysTheSameLoop)
{
    auto original = MakeLoopEngine(8000);
    const int64_t frozenAt = RunUntilPublished(*original, 1, kBlock, 8000 * 30);
    ASSERT_GT(frozenAt, 0);
    const std::vector<uint8_t> blob = original->CaptureFrozenLoop();
    ASSERT_FALSE(blob.empty());
    EXPECT_EQ(SnapshotState(*original), FrozenLoopHandover::kValid);

    auto other = MakeLoopEngine(8000);
    for (int64_t i = 0; i < frozenAt; i += kBlock)
        RunBlock(*other, 2, i, kBlock);
    ASSERT_TRUE(Restore(*other, blob, 8000));

    double worst = 0.0;
    double energy = 0.0;
    for (int64_t i = frozenAt; i < frozenAt + 8000 * 3; i += kBlock) {
        const auto a = RunBlock(*original, 5, i, kBlock);
        const auto b = RunBlock(*other, 5, i, kBlock);
        for (int k = 0; k < kBlock; ++k) {
            worst = std::max(worst, static_cast<double>(std::fabs(a.left[k] - b.left[k])));
            worst = std::max(worst, static_cast<double>(std::fabs(a.right[k] - b.right[k])));
            energy += static_cast<double>(a.left[k]) * a.left[k];
        }
    }
    EXPECT_GT(energy, 1.0);
    EXPECT_LE(worst, 1e-6);
    EXPECT_TRUE(other->LoopRecordingStopped());
}

TEST_F(FrozenLoopHandoverTest, FailedEncodeLeavesTheSnapshotValid)
{
    FrozenLoopHandover handover;
    handover.RenewShadow(8000, kBlock);
    auto live = MakeHandFrozenLoop(8000);
    handover.Publish(*live, kBlock);
    ASSERT_EQ(handover.CurrentState(), FrozenLoopHandover::kValid);

    const float kept = HistorySample(*live, 0, 10);
    const auto setSample = [](float x) { return [x](LoopsMode::State& state) { state.history.FrameAt(10)[0] = x; }; };
    EditState(*live, setSample(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_TRUE(handover.Capture(*live).empty());
    EXPECT_EQ(handover.CurrentState(), FrozenLoopHandover::kValid);

    EditState(*live, setSample(kept));
    EXPECT_FALSE(handover.Capture(*live).empty());
}

TEST_F(FrozenLoopHandoverTest, RestoreAtAnotherRateResamplesBeforeInstalling)
{
    auto source = MakeHandFrozenLoop(44100);
    const std::vector<uint8_t> blob = EncodeFrozenLoop(*source);
    ASSERT_FALSE(blob.empty());

    auto engine = MakeLoopEngine(88200);
    ASSERT_TRUE(Restore(*engine, blob, 88200));
    const LoopsMode* pending = HandoverOf(*engine).PendingLoop();
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->SampleRate(), 88200);

    RunBlock(*engine, 1, 0, kBlock);
    const LoopsMode& live = LiveLoopOf(*engine);
    EXPECT_EQ(live.SampleRate(), 88200);
    EXPECT_TRUE(engine->LoopRecordingStopped());
    EXPECT_EQ(live.GetState().clock, 2.0 * source->GetState().clock);
    EXPECT_EQ(live.GetState().voices[1].windowStart, 2.0 * source->GetState().voices[1].windowStart);
    EXPECT_EQ(live.GetState().voices[1].windowSpan, 2.0 * source->GetState().voices[1].windowSpan);
    // The displaced loop waits for this thread to free it.
    EXPECT_NE(HandoverOf(*engine).RetiredLoop(), nullptr);
}

// The host may run at a rate the loop does not support; the restored loop then
// runs at the rate the live loop was prepared at.
TEST_F(FrozenLoopHandoverTest, RestoreForAnUnsupportedHostRateUsesTheLoopsRate)
{
    auto engine = MakeLoopEngine(4000);
    ASSERT_EQ(LiveLoopOf(*engine).SampleRate(), LoopsMode::kMinSampleRate);
    const std::vector<uint8_t> blob = HandBlob(16000);
    ASSERT_TRUE(Restore(*engine, blob, 4000));
    RunBlock(*engine, 1, 0, kBlock);
    EXPECT_EQ(LiveLoopOf(*engine).SampleRate(), LoopsMode::kMinSampleRate);
    EXPECT_TRUE(engine->LoopRecordingStopped());
    EXPECT_EQ(HandoverOf(*engine).RetiredLoop()->SampleRate(), LoopsMode::kMinSampleRate);
}

TEST_F(FrozenLoopHandoverTest, OnlyTheLatestOfTwoRestoresIsInstalled)
{
    auto engine = MakeLoopEngine(8000);
    const std::vector<uint8_t> first = HandBlob(8000);
    const std::vector<uint8_t> second = HandBlob(8000, 5000.0);
    ASSERT_TRUE(Restore(*engine, first, 8000));
    ASSERT_TRUE(Restore(*engine, second, 8000));
    const double expectedClock = HandoverOf(*engine).PendingLoop()->GetState().clock;
    RunBlock(*engine, 1, 0, kBlock);
    EXPECT_EQ(LiveLoopOf(*engine).GetState().clock, expectedClock);
    EXPECT_EQ(HandoverOf(*engine).PendingLoop(), nullptr);
}

// After an install the displaced state blocks further installs until the next
// restore frees it; that restore's loop is then installed at the next block.
TEST_F(FrozenLoopHandoverTest, RestoreAfterAnInstallFreesTheDisplacedState)
{
    auto engine = MakeLoopEngine(8000);
    ASSERT_TRUE(Restore(*engine, HandBlob(8000), 8000));
    RunBlock(*engine, 1, 0, kBlock);
    ASSERT_NE(HandoverOf(*engine).RetiredLoop(), nullptr);

    ASSERT_TRUE(Restore(*engine, HandBlob(8000, 3000.0), 8000));
    EXPECT_EQ(HandoverOf(*engine).RetiredLoop(), nullptr);
    const double expectedClock = HandoverOf(*engine).PendingLoop()->GetState().clock;
    RunBlock(*engine, 1, kBlock, kBlock);
    EXPECT_EQ(LiveLoopOf(*engine).GetState().clock, expectedClock);

    engine->DiscardPendingLoop();
    EXPECT_EQ(HandoverOf(*engine).RetiredLoop(), nullptr);
    EXPECT_EQ(HandoverOf(*engine).PendingLoop(), nullptr);
}

TEST_F(FrozenLoopHandoverTest, EmptyRestoreReplacesTheFrozenLoopWithAFreshOne)
{
    auto engine = MakeLoopEngine(8000);
    ASSERT_GT(RunUntilPublished(*engine, 1, kBlock, 8000 * 30), 0);
    engine->SetParam(kLoopFreeze, 0.0);
    ASSERT_TRUE(engine->RestoreFrozenLoop(nullptr, 0, 8000));
    RunBlock(*engine, 1, 0, kBlock);
    const LoopsMode& live = LiveLoopOf(*engine);
    EXPECT_EQ(live.SampleRate(), 8000);
    EXPECT_FALSE(engine->LoopRecordingStopped());
    EXPECT_EQ(live.GetState().clock, kBlock);
    EXPECT_EQ(engine->CaptureFrozenLoop().size(), 0u);
}

TEST_F(FrozenLoopHandoverTest, RefusedRestoreLeavesBothSlotsAlone)
{
    auto engine = MakeLoopEngine(8000);
    ASSERT_TRUE(Restore(*engine, HandBlob(8000), 8000));
    const LoopsMode* pending = HandoverOf(*engine).PendingLoop();

    std::vector<uint8_t> damaged = HandBlob(8000);
    damaged.push_back(0);
    EXPECT_FALSE(Restore(*engine, damaged, 8000));
    const std::vector<uint8_t> noise(100, 0xAB);
    EXPECT_FALSE(Restore(*engine, noise, 8000));
    EXPECT_EQ(HandoverOf(*engine).PendingLoop(), pending);
    EXPECT_EQ(HandoverOf(*engine).RetiredLoop(), nullptr);
}

TEST_F(FrozenLoopHandoverTest, PrepareDropsALoopNotYetInstalled)
{
    auto engine = MakeLoopEngine(8000);
    ASSERT_TRUE(Restore(*engine, HandBlob(8000), 8000));
    engine->Prepare(8000, kBlock);
    EXPECT_EQ(HandoverOf(*engine).PendingLoop(), nullptr);
    RunBlock(*engine, 1, 0, kBlock);
    EXPECT_EQ(LiveLoopOf(*engine).GetState().clock, kBlock);
}

// A loop at a rate other than the live loop's is never swapped in on the audio
// thread: it goes to the retired slot as it came.
TEST_F(FrozenLoopHandoverTest, PendingLoopAtAnotherRateIsRetiredUntouched)
{
    auto engine = MakeLoopEngine(8000);
    RunBlock(*engine, 1, 0, kBlock);
    const double strangerClock = MakeHandFrozenLoop(16000)->GetState().clock;
    ASSERT_TRUE(Restore(*engine, HandBlob(16000), 16000));
    RunBlock(*engine, 1, kBlock, kBlock);
    const LoopsMode* retired = HandoverOf(*engine).RetiredLoop();
    ASSERT_NE(retired, nullptr);
    EXPECT_EQ(retired->SampleRate(), 16000);
    EXPECT_EQ(retired->GetState().clock, strangerClock);
    EXPECT_EQ(LiveLoopOf(*engine).SampleRate(), 8000);
    EXPECT_EQ(LiveLoopOf(*engine).GetState().clock, 2 * kBlock);
}

TEST_F(FrozenLoopHandoverTest, InstallAndPublishDoNotAllocate)
{
    auto loop = MakeHandFrozenLoop(8000);
    // A voice holding the shifters makes every publish copy their rings.
    EditState(*loop, [](LoopsMode::State& state) {
        state.shifterOwner = 1;
        state.voices[1].pitchShifted = 1;
    });
    const std::vector<uint8_t> blob = EncodeFrozenLoop(*loop);
    auto engine = MakeLoopEngine(8000);
    RunBlock(*engine, 1, 0, kBlock);
    ASSERT_TRUE(Restore(*engine, blob, 8000));

    std::vector<float> inL(kBlock, 0.1f), inR(kBlock, -0.1f), outL(kBlock), outR(kBlock);
    {
        AllocationProbe::Scope probe;
        // Fewer samples than voice 1 has left of its segment, so it keeps the shifters.
        for (int b = 0; b < 5; ++b)
            engine->Process(inL.data(), inR.data(), outL.data(), outR.data(), kBlock);
        EXPECT_EQ(probe.Allocations(), 0);
    }
    EXPECT_TRUE(engine->LoopRecordingStopped());
    EXPECT_EQ(SnapshotState(*engine), FrozenLoopHandover::kValid);
    EXPECT_EQ(HandoverOf(*engine).Shadow()->GetState().shifterOwner, 1);
}

// Converting a loop to another rate needs a second, larger loop; when memory for
// it is refused, the restore reports it and leaves the slots alone.
TEST_F(FrozenLoopHandoverTest, RestoreWithoutMemoryForTheConversionIsRefused)
{
    const std::vector<uint8_t> blob = HandBlob(8000);
    auto engine = MakeLoopEngine(44100);
    {
        // Enough for the 8 kHz histories, not for the 44.1 kHz ones.
        AllocationProbe::FailLarge refuse(4u << 20);
        EXPECT_FALSE(Restore(*engine, blob, 44100));
    }
    EXPECT_EQ(HandoverOf(*engine).PendingLoop(), nullptr);
    EXPECT_TRUE(Restore(*engine, blob, 44100));
    EXPECT_NE(HandoverOf(*engine).PendingLoop(), nullptr);
}
