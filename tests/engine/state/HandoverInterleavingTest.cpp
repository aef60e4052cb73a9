// The frozen-loop hand-over at its critical moments: each test stops one side of
// the protocol at a fixed point (the engine's hand-over probe) and runs the
// other side there, so an interleaving that a stress run meets only by chance
// happens every time.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/state/FrozenLoopBlob.h"
#include "engine/state/FrozenLoopHandover.h"
#include "tests/WaitUntil.h"
#include "tests/engine/EffectEngineProbe.h"
#include "tests/engine/state/FrozenLoopFixture.h"

namespace {

using FrozenLoopFixture::HandBlob;
using FrozenLoopFixture::MakeHandFrozenLoop;
using FrozenLoopFixture::RunBlock;
using FrozenLoopFixture::RunUntilPublished;
using FrozenLoopFixture::SetLoopParams;
using Point = FrozenLoopHandover::Point;

constexpr int kBlock = 64;
constexpr double kRate = 8000.0;

// A LOOPS engine whose frozen loop is published (hand-over state "valid").
std::unique_ptr<EffectEngine> MakePublishedEngine()
{
    auto engine = std::make_unique<EffectEngine>();
    SetLoopParams(*engine, 1.0);
    engine->Prepare(kRate, kBlock);
    if (RunUntilPublished(*engine, 1, kBlock, static_cast<int64_t>(kRate) * 30) < 0)
        return nullptr;
    return engine;
}

const LoopsMode& LiveLoopOf(const EffectEngine& engine)
{
    return EffectEngineProbe(engine).LiveLoop();
}

// Waits for a flag set by the other thread; false only past the limit a hang
// reaches, so that a broken protocol fails the test instead of hanging it.
bool WaitFor(const std::atomic<bool>& flag)
{
    return test_wait::WaitUntil([&] { return flag.load(); }, [] { std::this_thread::yield(); });
}

class HandoverInterleavingTest : public ::testing::Test
{
protected:
    void SetUp() override { FrozenLoopFixture::EnableFlushToZero(); }
};

} // namespace

// Loop Freeze goes off while a reader copies the live history, and the reader
// finishes after the audio thread has looked at the state but before it applies
// the block's parameters. The snapshot is then valid again, so a second reader
// may start copying at any moment of that block: the history must not change
// until the next block start has dropped the snapshot.
TEST_F(HandoverInterleavingTest, ReaderFinishingMidBlockKeepsTheLoopFrozenForTheWholeBlock)
{
    auto engine = MakePublishedEngine();
    ASSERT_NE(engine, nullptr);
    engine->SetParam(kLoopFreeze, 0.0);

    std::atomic<bool> readerCopying{false};
    std::atomic<bool> audioLooked{false};
    std::atomic<bool> readerDone{false};
    std::atomic<bool> timedOut{false};
    engine->SetHandoverProbe([&](Point point) {
        if (point == Point::ReaderCopying) {
            readerCopying = true;
            timedOut = timedOut || !WaitFor(audioLooked);
        } else if (point == Point::AudioBlockStarted && readerCopying && !audioLooked) {
            audioLooked = true;
            timedOut = timedOut || !WaitFor(readerDone);
        }
    });

    std::vector<uint8_t> blob;
    std::thread reader([&] {
        blob = engine->CaptureFrozenLoop();
        readerDone = true;
    });
    ASSERT_TRUE(WaitFor(readerCopying));
    const double frozenClock = LiveLoopOf(*engine).GetState().clock;
    const std::vector<float> frozenHistory = HistoryChannel(LiveLoopOf(*engine), 0);
    RunBlock(*engine, 2, 0, kBlock);
    reader.join();
    engine->SetHandoverProbe(nullptr);
    ASSERT_FALSE(timedOut.load());

    EXPECT_FALSE(blob.empty());
    EXPECT_NE(DecodeFrozenLoop(blob.data(), blob.size()), nullptr);
    EXPECT_TRUE(engine->LoopRecordingStopped());
    EXPECT_EQ(LiveLoopOf(*engine).GetState().clock, frozenClock);
    EXPECT_TRUE(HistoryChannel(LiveLoopOf(*engine), 0) == frozenHistory);

    // With no reader left, the next block honours Loop Freeze off.
    RunBlock(*engine, 2, kBlock, kBlock);
    EXPECT_FALSE(engine->LoopRecordingStopped());
    EXPECT_EQ(LiveLoopOf(*engine).GetState().clock, frozenClock + kBlock);
    EXPECT_TRUE(engine->CaptureFrozenLoop().empty());
}

// The audio thread installs the waiting loop while a second restore is half
// done. Whatever it displaced must not stay in the retired slot, or the newer
// loop would wait there until some later restore.
TEST_F(HandoverInterleavingTest, InstallBetweenTheRestoreExchangesStillInstallsTheNewerLoop)
{
    auto engine = std::make_unique<EffectEngine>();
    SetLoopParams(*engine, 1.0);
    engine->Prepare(kRate, kBlock);
    RunBlock(*engine, 1, 0, kBlock);

    const std::vector<uint8_t> older = HandBlob(kRate);
    const std::vector<uint8_t> newer = HandBlob(kRate, 4000.0);
    const double newerClock = DecodeFrozenLoop(newer.data(), newer.size())->GetState().clock;
    ASSERT_TRUE(engine->RestoreFrozenLoop(older.data(), older.size(), kRate));

    int installsRun = 0;
    engine->SetHandoverProbe([&](Point point) {
        if (point == Point::RestoreBetweenExchanges && installsRun++ == 0)
            RunBlock(*engine, 1, kBlock, kBlock);
    });
    ASSERT_TRUE(engine->RestoreFrozenLoop(newer.data(), newer.size(), kRate));
    engine->SetHandoverProbe(nullptr);
    ASSERT_EQ(installsRun, 1);

    RunBlock(*engine, 1, 2 * kBlock, kBlock);
    EXPECT_EQ(EffectEngineProbe(*engine).Handover().PendingLoop(), nullptr);
    EXPECT_EQ(LiveLoopOf(*engine).GetState().clock, newerClock);
    EXPECT_TRUE(engine->LoopRecordingStopped());
}

// A capture whose encoding fails after it handed the snapshot back must leave
// the state alone: meanwhile the audio thread may have dropped the snapshot and
// started recording, and "valid" would let the next reader copy a moving history.
TEST_F(HandoverInterleavingTest, FailedEncodeDoesNotRevalidateADroppedSnapshot)
{
    FrozenLoopHandover handover;
    handover.RenewShadow(kRate, kBlock);
    auto live = MakeHandFrozenLoop(kRate);
    handover.Publish(*live, kBlock);
    ASSERT_EQ(handover.CurrentState(), FrozenLoopHandover::kValid);
    // A sample the encoder refuses, so that this capture fails after its copy.
    EditState(*live,
              [](LoopsMode::State& state) { state.history.FrameAt(10)[0] = std::numeric_limits<float>::quiet_NaN(); });

    bool blockStarted = false;
    handover.SetProbe([&](Point point) {
        if (point == Point::ReaderReleased && !blockStarted) {
            blockStarted = true;
            // Loop Freeze went off: the audio thread drops the snapshot.
            EXPECT_FALSE(handover.BeginBlock(*live, false).readerHolding);
        }
    });
    EXPECT_TRUE(handover.Capture(*live).empty());
    handover.SetProbe(nullptr);
    ASSERT_TRUE(blockStarted);
    EXPECT_EQ(handover.CurrentState(), FrozenLoopHandover::kEmpty);
}
