#include <gtest/gtest.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/TempoSyncBuilder.h"
#include "engine/modes/EchoMode.h"
#include "tests/engine/EffectEngineProbe.h"
#include "tests/engine/state/FrozenLoopFixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class ModeMixingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
        engine = std::make_unique<EffectEngine>();
    }

    void Prepare(std::initializer_list<std::pair<int, double>> params, double tempo = 120.0)
    {
        for (const auto& [index, value] : params)
            engine->SetParam(index, value);
        engine->SetTempo(tempo);
        engine->Prepare(48000, 512);
    }

    // Runs n samples of a tone through the engine.
    void Process(int n)
    {
        std::vector<float> left(n), right(n);
        for (int i = 0; i < n; ++i, ++sampleIndex) {
            left[i] = static_cast<float>(0.4 * std::sin(2 * kPi * 300.0 * sampleIndex / 48000.0));
            right[i] = static_cast<float>(0.4 * std::cos(2 * kPi * 170.0 * sampleIndex / 48000.0));
        }
        engine->Process(left.data(), right.data(), left.data(), right.data(), n);
    }

    // A tempo record for a block at the engine's tempo and rate, given the host
    // position before and now; the boundaries reported stay remembered.
    TempoSyncInfo Record(double previous, double now, int n = 512, int division = 4, int slot = 1)
    {
        Move(grid, previous, now);
        return grid.Make(n, division, slot, true, true, engine->Tempo(), engine->SampleRate());
    }

    // The host was at `previous` for the last block and is at `now` for this one.
    static void Move(TempoSyncBuilder& builder, double previous, double now)
    {
        builder.SetHostPosition(previous);
        builder.TakePosition();
        builder.SetHostPosition(now);
    }

    EffectEngineProbe Inspect() const { return EffectEngineProbe(*engine); }

    std::unique_ptr<EffectEngine> engine;
    TempoSyncBuilder grid;
    long sampleIndex = 0;
};

} // namespace

TEST_F(ModeMixingTest, ShapeRatioPlateausAndRamps)
{
    struct Case
    {
        double shape, ratio;
    };
    const Case cases[] = {{-1, 0.5},    {0, 0.5},   {0.15, 0.5}, {0.175, 0.75}, {0.2, 1.0}, {0.35, 1.0},
                          {0.5, 1.005}, {0.7, 1.5}, {0.9, 2.0},  {1.0, 2.0},    {5.0, 2.0}};
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ShapeRatio(c.shape), c.ratio) << c.shape;
}

TEST_F(ModeMixingTest, TempoRecordWithoutBoundaryInsideTheBlock)
{
    Prepare({{kSync, 1}});
    const TempoSyncInfo info = Record(3.9, 4.1);
    EXPECT_EQ(info.synced, 1);
    EXPECT_EQ(info.boundaryFound, 1);
    EXPECT_EQ(info.movedBack, 0);
    EXPECT_NEAR(info.phase, 0.1, 1e-12);
    EXPECT_EQ(info.boundaryOffset, -1);
    EXPECT_EQ(info.divisionBeats, 1.0);
    EXPECT_EQ(info.divisionSamples, 24000);
    EXPECT_DOUBLE_EQ(info.beatsPerSample, 1.0 / 24000);
}

TEST_F(ModeMixingTest, TempoRecordReportsBoundaryOffsetOnce)
{
    Prepare({{kSync, 1}});
    EXPECT_EQ(Record(4.97, 4.999).boundaryOffset, 24);
    // The next block starts on that boundary: it was reported already.
    EXPECT_EQ(Record(4.999, 5.0).boundaryOffset, -1);
}

TEST_F(ModeMixingTest, JumpingBackForgetsTheEmittedBoundary)
{
    Prepare({{kSync, 1}});
    EXPECT_EQ(Record(1.9, 1.99).boundaryOffset, 240);
    EXPECT_EQ(Record(1.99, 2.0).boundaryOffset, -1);
    const TempoSyncInfo back = Record(4.1, 2.0);
    EXPECT_EQ(back.movedBack, 1);
    EXPECT_EQ(back.boundaryOffset, 0);
}

TEST_F(ModeMixingTest, TempoRecordWithoutLockingConditions)
{
    Prepare({{kSync, 1}});
    struct Case
    {
        double previous, now;
        bool synced, fresh;
    };
    const Case cases[] = {
        {4.0, 4.0, true, true},          // host stopped
        {std::nan(""), 4.0, true, true}, // no previous position
        {3.9, 4.1, false, true},         // not synced
        {3.9, 4.1, true, false},         // no position this block
    };
    for (const Case& c : cases) {
        TempoSyncBuilder builder;
        Move(builder, c.previous, c.now);
        const TempoSyncInfo info = builder.Make(512, 4, 1, c.synced, c.fresh, engine->Tempo(), engine->SampleRate());
        EXPECT_EQ(info.boundaryFound, 0) << c.previous << " " << c.now;
        EXPECT_EQ(info.boundaryOffset, -1);
        EXPECT_EQ(info.phase, 0.0);
        EXPECT_EQ(info.divisionSamples, 24000);
    }
}

TEST_F(ModeMixingTest, TempoRecordClampsTempoAndKeepsDivisionAtLeastOneSample)
{
    Prepare({{kSync, 1}}, std::nan(""));
    EXPECT_EQ(engine->MakeTempoSync(512, 4, 1, true, false).divisionSamples, 24000);
    engine->SetTempo(5000);
    EXPECT_DOUBLE_EQ(engine->MakeTempoSync(512, 11, 1, true, false).beatsPerSample, 999.0 / 60 / 48000);
    engine->SetTempo(1);
    EXPECT_EQ(engine->MakeTempoSync(512, 4, 1, true, false).divisionSamples, 144000);
}

// The per-sample records are advanced from the block values; the tremolo slot uses the
// reversed division order.
TEST_F(ModeMixingTest, ProcessAdvancesRecordsPerSampleForBothSlots)
{
    Prepare({{kSync, 1}, {kSyncDivision, 2}});
    engine->SetHostPosition(4.9);
    Process(512);
    engine->SetHostPosition(4.999);
    Process(25);
    // Slot 1: 1/8 (half a beat); the boundary at 5.0 falls on sample 24, the last one.
    EXPECT_EQ(Inspect().ModeSync().boundaryOffset, 0);
    EXPECT_EQ(Inspect().ModeSync().divisionBeats, 0.5);
    // The boundary sample sits at phase 0 (or just below 1 by rounding).
    const double phase = Inspect().ModeSync().phase;
    EXPECT_LT(std::min(phase, 1.0 - phase), 1e-9);
    // Slot 0: division 2 reads as 1/2 (two beats); its next boundary is at 6.
    EXPECT_EQ(Inspect().TremSync().divisionBeats, 2.0);
    EXPECT_EQ(Inspect().TremSync().boundaryOffset, -1);
    EXPECT_EQ(Inspect().TempoSync().LastHostPosition(), 4.999);
    EXPECT_FALSE(Inspect().TempoSync().PositionFresh());
}

TEST_F(ModeMixingTest, MovedBackIsSetOnTheFirstSampleOnly)
{
    for (int blockLength : {1, 2}) {
        Prepare({{kSync, 1}});
        engine->SetHostPosition(8.0);
        Process(16);
        engine->SetHostPosition(2.5);
        Process(blockLength);
        // The record left behind is that of the block's last sample.
        EXPECT_EQ(Inspect().ModeSync().movedBack, blockLength == 1 ? 1 : 0) << blockLength;
        EXPECT_EQ(Inspect().ModeSync().boundaryFound, 1);
    }
}

TEST_F(ModeMixingTest, FirstSampleLandsOnTheCurrentMode)
{
    for (int mode = 0; mode < 3; ++mode) {
        engine = std::make_unique<EffectEngine>();
        Prepare({{kMode, mode}, {kRepeatEngine, 0}, {kEchoPreserveStereo, 1}});
        EXPECT_EQ(Inspect().ModeWeight(mode), 0.0);
        Process(1);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(Inspect().ModeWeight(k), k == mode ? 1.0 : 0.0) << mode << " " << k;
        EXPECT_EQ(Inspect().RepeatEngineMix(), 0.0);
        EXPECT_EQ(Inspect().StereoMix(), 1.0);
    }
}

TEST_F(ModeMixingTest, SwitchingModesCrossfadesWithWeightsSummingToOne)
{
    Prepare({{kMode, 0}});
    Process(256);
    engine->SetParam(kMode, 2);
    bool bothHeard = false;
    for (int i = 0; i < 4800; ++i) {
        Process(1);
        const double sum = Inspect().ModeWeight(0) + Inspect().ModeWeight(2);
        ASSERT_NEAR(sum, 1.0, 1e-12) << i;
        ASSERT_EQ(Inspect().ModeWeight(1), 0.0);
        bothHeard = bothHeard || (Inspect().MixedWeight(0) > 0.0001f && Inspect().MixedWeight(2) > 0.0001f);
    }
    EXPECT_TRUE(bothHeard);
    // 30 ms time constant: after 100 ms the new mode carries about 96 % of the signal.
    EXPECT_NEAR(Inspect().ModeWeight(2), 1.0 - std::exp(-0.1 / 0.03), 1e-3);
    Process(48000);
    EXPECT_EQ(Inspect().ModeWeight(0), 0.0);
    EXPECT_EQ(Inspect().MixedWeight(2), 1.0f);
}

TEST_F(ModeMixingTest, InactiveModesKeepTheirHistory)
{
    Prepare({{kMode, 0}});
    Process(1000);
    // Loop and the three echoes record while TREM is heard.
    EXPECT_EQ(Inspect().LiveLoop().GetState().clock, 1000.0);
    EXPECT_EQ(Inspect().Echo().CurrentState().clock, 1000.0);
    EXPECT_EQ(Inspect().EchoLeft().CurrentState().clock, 1000.0);
    EXPECT_EQ(Inspect().Repeat().CurrentState().clock, 1000u);
}

TEST_F(ModeMixingTest, FrozenInactiveLoopIsLeftUntouched)
{
    Prepare({{kMode, 0}, {kLoopFreeze, 1}});
    Process(100);
    // A frozen loop, installed at the next block start.
    const std::vector<uint8_t> blob = FrozenLoopFixture::HandBlob(48000);
    ASSERT_TRUE(engine->RestoreFrozenLoop(blob.data(), blob.size(), 48000));
    Process(1);
    const LoopsMode::State& loop = Inspect().LiveLoop().GetState();
    ASSERT_EQ(loop.recordingStopped, 1);
    const double clock = loop.clock;
    const int32_t writeIndex = loop.writeIndex;
    const uint8_t resetVoicesPending = loop.resetVoicesPending;
    Process(500);
    EXPECT_EQ(loop.clock, clock);
    EXPECT_EQ(loop.writeIndex, writeIndex);
    EXPECT_EQ(loop.recordingStopped, 1);
    EXPECT_EQ(loop.resetVoicesPending, resetVoicesPending);
}

TEST_F(ModeMixingTest, RepeatEngineSwitchCrossfadesToTheLegacyEcho)
{
    Prepare({{kMode, 1}, {kRepeatEngine, 1}, {kEchoPreserveStereo, 1}});
    Process(4800);
    // With the repeat engine fully in, the echoes are only fed.
    EXPECT_EQ(Inspect().RepeatEngineMix(), 1.0);
    EXPECT_EQ(Inspect().EchoLeft().CurrentState().reinitPending, 1);
    EXPECT_EQ(Inspect().EchoRight().CurrentState().reinitPending, 1);
    EXPECT_EQ(Inspect().Echo().CurrentState().reinitPending, 1);

    engine->SetParam(kRepeatEngine, 0);
    Process(1);
    const double e = Inspect().RepeatEngineMix();
    EXPECT_GT(e, 0.0);
    EXPECT_LT(e, 1.0);
    Process(48000);
    EXPECT_EQ(Inspect().RepeatEngineMix(), 0.0);
    // Preserve Stereo on: the per-channel echoes are processed, the stereo echo only fed.
    EXPECT_EQ(Inspect().StereoMix(), 1.0);
    EXPECT_EQ(Inspect().EchoLeft().CurrentState().reinitPending, 0);
    EXPECT_EQ(Inspect().Echo().CurrentState().reinitPending, 1);
}

TEST_F(ModeMixingTest, PositionBeyondDoublePrecisionStillBuildsARecord)
{
    // At 2^53 quarter notes a 1/64 division is below the position's resolution.
    const double p = 9007199254740992.0;
    Move(grid, p - 4, p);
    const TempoSyncInfo info = grid.Make(4096, 11, 1, true, true, 999, 8000);
    EXPECT_EQ(info.boundaryFound, 1);
    EXPECT_GE(info.boundaryOffset, 0);
    EXPECT_LT(info.boundaryOffset, 4096);
}

// Long blocks let the engine hand the repeat slot whole runs of samples; they
// must sound exactly as blocks of one sample do while the repeat engine and
// Preserve Stereo switch in and out, each alone and both at once.
TEST_F(ModeMixingTest, RepeatSlotSoundsTheSameInLongBlocksAsSampleBySample)
{
    struct Switches
    {
        int repeatEngine;
        int preserveStereo;
    };
    const Switches script[] = {{1, 0}, {0, 0}, {0, 1}, {1, 1}, {0, 1}, {0, 0}, {1, 1}, {0, 0}, {1, 0}};
    constexpr int kSegment = 24000;
    const int frames = kSegment * static_cast<int>(std::size(script));
    std::vector<float> inL(frames), inR(frames);
    for (int i = 0; i < frames; ++i) {
        const double burst = (i / 3000) % 3 == 0 ? 0.6 : 0.15;
        inL[i] = static_cast<float>(burst * std::sin(2 * kPi * 300.0 * i / 48000.0));
        inR[i] = static_cast<float>(burst * std::cos(2 * kPi * 170.0 * i / 48000.0));
    }

    auto run = [&](int block) {
        auto e = std::make_unique<EffectEngine>();
        for (const auto& [index, value] :
             {std::pair<int, double>{kMode, 1}, {kChaos, 0.4}, {kMacro, 0.3}, {kRepeatFeedback, 0.5}})
            e->SetParam(index, value);
        e->Prepare(48000, 1600);
        std::vector<float> outL(frames), outR(frames);
        for (int s = 0; s < static_cast<int>(std::size(script)); ++s) {
            e->SetParam(kRepeatEngine, script[s].repeatEngine);
            e->SetParam(kEchoPreserveStereo, script[s].preserveStereo);
            for (int pos = s * kSegment; pos < (s + 1) * kSegment; pos += block)
                e->Process(inL.data() + pos, inR.data() + pos, outL.data() + pos, outR.data() + pos, block);
        }
        return std::make_pair(outL, outR);
    };

    const auto reference = run(1);
    for (const int block : {480, 1600}) {
        SCOPED_TRACE(block);
        const auto out = run(block);
        EXPECT_EQ(std::memcmp(out.first.data(), reference.first.data(), frames * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(out.second.data(), reference.second.data(), frames * sizeof(float)), 0);
    }
}

TEST_F(ModeMixingTest, HostPositionIgnoresNonFiniteValues)
{
    TempoSyncBuilder builder;
    builder.SetHostPosition(2.5);
    builder.TakePosition();
    builder.SetHostPosition(std::nan(""));
    EXPECT_EQ(builder.HostPosition(), 2.5);
    EXPECT_FALSE(builder.PositionFresh());
}
