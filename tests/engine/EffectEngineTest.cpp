#include <gtest/gtest.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "engine/EffectEngine.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/EffectEngineProbe.h"
#include "tests/engine/state/FrozenLoopFixture.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
};

// A deterministic, non-trivial test signal: two detuned tones with a decaying envelope.
Stereo TestSignal(int frames, double sampleRate = 48000.0)
{
    Stereo s{std::vector<float>(frames), std::vector<float>(frames)};
    for (int i = 0; i < frames; ++i) {
        const double t = i / sampleRate;
        const double env = 0.5 + 0.4 * std::sin(2 * kPi * 1.5 * t);
        s.left[i] = static_cast<float>(env * std::sin(2 * kPi * 220.0 * t));
        s.right[i] = static_cast<float>(env * std::sin(2 * kPi * 331.0 * t + 0.3));
    }
    return s;
}

Stereo RunBlocks(EffectEngine& engine, const Stereo& in, int block)
{
    const int frames = static_cast<int>(in.left.size());
    Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
    for (int pos = 0; pos < frames; pos += block) {
        const int n = std::min(block, frames - pos);
        engine.Process(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos, out.right.data() + pos, n);
    }
    return out;
}

void SetParams(EffectEngine& engine, std::initializer_list<std::pair<int, double>> params)
{
    for (const auto& [index, value] : params)
        engine.SetParam(index, value);
}

EffectEngineProbe Inspect(const EffectEngine& engine)
{
    return EffectEngineProbe(engine);
}

std::vector<double> AllParams(const EffectEngine& engine)
{
    std::vector<double> values;
    for (int i = 0; i < kParamCount; ++i)
        values.push_back(engine.GetParam(i));
    return values;
}

// Hands the engine a hand-built frozen loop to install at its next block start.
bool RestoreHandLoop(EffectEngine& engine, double clockShift = 0.0)
{
    const std::vector<uint8_t> blob = FrozenLoopFixture::HandBlob(engine.SampleRate(), clockShift);
    return engine.RestoreFrozenLoop(blob.data(), blob.size(), engine.SampleRate());
}

bool AllFinite(const Stereo& s)
{
    for (size_t i = 0; i < s.left.size(); ++i)
        if (!std::isfinite(s.left[i]) || !std::isfinite(s.right[i]))
            return false;
    return true;
}

class EffectEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    }

    std::unique_ptr<EffectEngine> MakeEngine(std::initializer_list<std::pair<int, double>> params,
                                             double rate = 48000.0, int block = 512)
    {
        auto engine = std::make_unique<EffectEngine>();
        SetParams(*engine, params);
        engine->Prepare(rate, block);
        return engine;
    }
};

} // namespace

TEST_F(EffectEngineTest, InvalidPreparationFallsBackToDefaults)
{
    struct Case
    {
        double rate;
        int block;
        double expectedRate;
        int expectedBlock;
    };
    const Case cases[] = {
        {kNaN, 0, 48000, 512}, {kInf, -3, 48000, 512},   {-44100, 1, 48000, 1},
        {0.0, 64, 48000, 64},  {96000, 256, 96000, 256},
    };
    for (const Case& c : cases) {
        EffectEngine engine;
        engine.Prepare(c.rate, c.block);
        EXPECT_EQ(engine.SampleRate(), c.expectedRate) << c.rate;
        EXPECT_EQ(engine.MaxBlockSize(), c.expectedBlock) << c.block;
        EXPECT_GE(Inspect(engine).ScratchLength(), static_cast<size_t>(c.expectedBlock));
    }
}

// Every stage runs at the one supported rate: a host rate far outside it would
// otherwise size the repeat history and the echo rings for it.
TEST_F(EffectEngineTest, RatesOutsideTheSupportedRangeArePulledInForEveryStage)
{
    struct Case
    {
        double requested;
        double used;
    };
    const Case cases[] = {{1e6, 384000.0}, {1e300, 384000.0}, {100.0, 8000.0}};
    for (const Case& c : cases) {
        auto engine = MakeEngine({{kMode, 1}, {kDrive, 0.5}, {kWear, 0.5}}, c.requested, 256);
        EXPECT_EQ(engine->SampleRate(), c.used) << c.requested;
        const EffectEngineProbe inner = Inspect(*engine);
        for (double stageRate : {inner.Drive().SampleRate(), inner.Wear().SampleRate(), inner.Trem().SampleRate(),
                                 inner.Repeat().CurrentState().sampleRate, inner.Echo().CurrentState().sampleRate,
                                 inner.EchoLeft().CurrentState().sampleRate,
                                 inner.EchoRight().CurrentState().sampleRate, inner.LiveLoop().SampleRate()})
            EXPECT_EQ(stageRate, c.used) << c.requested;
        EXPECT_TRUE(inner.Repeat().IsPrepared()) << c.requested;
        EXPECT_TRUE(inner.Echo().IsReady()) << c.requested;
        const Stereo out = RunBlocks(*engine, TestSignal(2048, c.used), 256);
        EXPECT_TRUE(AllFinite(out)) << c.requested;
    }
}

TEST_F(EffectEngineTest, SetParamIgnoresBadIndicesAndValuesAndClampsToRow)
{
    EffectEngine engine;
    const std::vector<double> before = AllParams(engine);
    engine.SetParam(41, 0.5);
    engine.SetParam(-1, 0.5);
    engine.SetParam(kWear, kNaN);
    engine.SetParam(kWear, kInf);
    engine.SetParam(kWear, -kInf);
    EXPECT_EQ(AllParams(engine), before);

    struct Case
    {
        int index;
        double value;
        double stored;
    };
    const Case cases[] = {
        {kRepeatCount, 100, 64}, {kLevel, -40, -12},  {kLevel, 3.25, 3.25},
        {kMix, 1.5, 1.0},        {kChaosSeed, -7, 0}, {kTremStereoPhase, 200, 180},
    };
    for (const Case& c : cases) {
        engine.SetParam(c.index, c.value);
        EXPECT_EQ(engine.GetParam(c.index), c.stored) << c.index;
    }
}

TEST_F(EffectEngineTest, ParametersSurviveAPreparation)
{
    auto engine = MakeEngine({{kMix, 0.3}, {kLevel, 5.0}, {kMode, 2}});
    engine->SetTempo(133);
    engine->Prepare(44100, 128);
    EXPECT_EQ(engine->GetParam(kMix), 0.3);
    EXPECT_EQ(engine->GetParam(kLevel), 5.0);
    EXPECT_EQ(engine->Tempo(), 133);
}

TEST_F(EffectEngineTest, ProcessBeforePrepareIsSilentAndEmptyBlocksDoNothing)
{
    EffectEngine engine;
    const Stereo in = TestSignal(64);
    const Stereo out = RunBlocks(engine, in, 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(out.left[i], 0.0f);
        EXPECT_EQ(out.right[i], 0.0f);
    }
    engine.Prepare(48000, 64);
    float sentinel = 7.0f;
    engine.Process(&sentinel, &sentinel, &sentinel, &sentinel, 0);
    engine.Process(&sentinel, &sentinel, &sentinel, &sentinel, -5);
    EXPECT_EQ(sentinel, 7.0f);
    EXPECT_EQ(Inspect(engine).ChunkCounter(), 0u);
}

// The dry signal is taken after the gate and the drive; with MIX 0 nothing else reaches the output.
TEST_F(EffectEngineTest, DryPathAtMixZeroIsTheInputBitForBit)
{
    for (int mode = 0; mode < 3; ++mode) {
        auto engine =
            MakeEngine({{kMix, 0}, {kDrive, 0}, {kInputGate, 0}, {kMode, mode}, {kWear, 1}, {kChaos, 1}, {kLevel, 12}});
        const Stereo in = TestSignal(4096);
        const Stereo out = RunBlocks(*engine, in, 256);
        for (int i = 0; i < 4096; ++i) {
            ASSERT_EQ(out.left[i], in.left[i]) << "mode " << mode << " sample " << i;
            ASSERT_EQ(out.right[i], in.right[i]) << "mode " << mode << " sample " << i;
        }
    }
}

TEST_F(EffectEngineTest, DryPathAtMixZeroIsTheDriveOutput)
{
    auto engine = MakeEngine({{kMix, 0}, {kDrive, 0.6}, {kDriveVoice, 1}, {kInputGate, 0}, {kWear, 1}});
    DriveStage reference;
    reference.Prepare(48000);
    reference.SetDrive(0.6);
    reference.SetVoice(DriveStage::kVoiceFuzz);

    Stereo in = TestSignal(2048);
    const Stereo out = RunBlocks(*engine, in, 128);
    for (int i = 0; i < 2048; ++i)
        reference.Process(&in.left[i], &in.right[i], 1);
    for (int i = 0; i < 2048; ++i) {
        ASSERT_EQ(out.left[i], in.left[i]) << i;
        ASSERT_EQ(out.right[i], in.right[i]) << i;
    }
}

TEST_F(EffectEngineTest, InputGateClosesBelowTenthAndOpensAboveFifteenPercent)
{
    struct Case
    {
        float level;
        bool open;
    };
    const Case cases[] = {{0.08f, false}, {0.099f, false}, {0.2f, true}, {0.5f, true}};
    for (const Case& c : cases) {
        auto engine = MakeEngine({{kMix, 0}, {kDrive, 0}, {kInputGate, 1}});
        Stereo in{std::vector<float>(9600, c.level), std::vector<float>(9600, -c.level)};
        const Stereo out = RunBlocks(*engine, in, 480);
        // Judge after the 5 ms attack has settled.
        for (int i = 4800; i < 9600; ++i) {
            ASSERT_EQ(out.left[i], c.open ? c.level : 0.0f) << c.level << " @ " << i;
            ASSERT_EQ(out.right[i], c.open ? -c.level : 0.0f) << c.level << " @ " << i;
        }
    }
}

TEST_F(EffectEngineTest, InputGateScalesWithItsSetting)
{
    // At half setting the gate closes below 0.05 and is open from 0.075.
    auto engine = MakeEngine({{kMix, 0}, {kDrive, 0}, {kInputGate, 0.5}});
    Stereo quiet{std::vector<float>(9600, 0.045f), std::vector<float>(9600, 0.045f)};
    EXPECT_EQ(RunBlocks(*engine, quiet, 512).left.back(), 0.0f);
    Stereo loud{std::vector<float>(9600, 0.09f), std::vector<float>(9600, 0.09f)};
    EXPECT_EQ(RunBlocks(*engine, loud, 512).left.back(), 0.09f);
}

// One engine per MIX value, all with the same seed: the wet path does not depend on
// MIX, so the MIX law can be checked exactly against the MIX 1 and MIX 0 outputs.
TEST_F(EffectEngineTest, MixAndLevelLawIsExact)
{
    const std::initializer_list<std::pair<int, double>> common = {{kDrive, 0.3},  {kWear, 0.4}, {kChaos, 0.5},
                                                                  {kLevel, -4.5}, {kMode, 0},   {kShape, 0.7}};
    const Stereo in = TestSignal(6000);
    auto wetEngine = MakeEngine(common);
    wetEngine->SetParam(kMix, 1.0);
    auto dryEngine = MakeEngine(common);
    dryEngine->SetParam(kMix, 0.0);
    auto mixEngine = MakeEngine(common);
    mixEngine->SetParam(kMix, 0.3);
    const Stereo wet = RunBlocks(*wetEngine, in, 300);
    const Stereo dry = RunBlocks(*dryEngine, in, 300);
    const Stereo mixed = RunBlocks(*mixEngine, in, 300);
    for (int i = 0; i < 6000; ++i) {
        ASSERT_EQ(mixed.left[i], static_cast<float>(wet.left[i] * 0.3 + dry.left[i] * (1.0 - 0.3))) << i;
        ASSERT_EQ(mixed.right[i], static_cast<float>(wet.right[i] * 0.3 + dry.right[i] * (1.0 - 0.3))) << i;
    }
}

TEST_F(EffectEngineTest, LevelScalesOnlyTheWetSignalFromTheFirstSample)
{
    const Stereo in = TestSignal(3000);
    auto unity = MakeEngine({{kMix, 1}, {kLevel, 0}, {kWear, 0.5}});
    auto boosted = MakeEngine({{kMix, 1}, {kLevel, 6}, {kWear, 0.5}});
    const Stereo a = RunBlocks(*unity, in, 100);
    const Stereo b = RunBlocks(*boosted, in, 100);
    const double gain = std::pow(10.0, 6.0 / 20.0);
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(b.left[i], static_cast<float>(a.left[i] * gain)) << i;
    EXPECT_EQ(Inspect(*boosted).LevelGain(), gain);
    EXPECT_EQ(Inspect(*boosted).MixAmount(), 1.0);
}

TEST_F(EffectEngineTest, ChangedMixGlidesAndLands)
{
    auto engine = MakeEngine({{kMix, 0}});
    const Stereo in = TestSignal(512);
    RunBlocks(*engine, in, 512);
    engine->SetParam(kMix, 1.0);
    RunBlocks(*engine, TestSignal(1), 1);
    EXPECT_GT(Inspect(*engine).MixAmount(), 0.0);
    EXPECT_LT(Inspect(*engine).MixAmount(), 0.01);
    RunBlocks(*engine, TestSignal(24000), 512);
    EXPECT_EQ(Inspect(*engine).MixAmount(), 1.0);
}

TEST_F(EffectEngineTest, ChaosSeedReseedsOnlyWhenItsRoundedValueChanges)
{
    auto engine = MakeEngine({{kChaosSeed, 3.4}});
    EXPECT_EQ(Inspect(*engine).Drift().Seed(), 0x5eed0003u);
    const uint32_t generation = Inspect(*engine).Drift().Generation();
    const Stereo in = TestSignal(64);

    engine->SetParam(kChaosSeed, 3.49);
    RunBlocks(*engine, in, 64);
    EXPECT_EQ(Inspect(*engine).Drift().Generation(), generation);

    engine->SetParam(kChaosSeed, 3.6);
    RunBlocks(*engine, in, 64);
    EXPECT_EQ(Inspect(*engine).Drift().Generation(), generation + 1);
    EXPECT_EQ(Inspect(*engine).Drift().Seed(), 0x5eed0004u);
    EXPECT_EQ(Inspect(*engine).Drift().Amount(), engine->GetParam(kChaos));
}

TEST_F(EffectEngineTest, SameSeedGivesTheSameOutputAfterEachPreparation)
{
    const Stereo in = TestSignal(48000);
    for (int mode = 0; mode < 3; ++mode) {
        auto engine = MakeEngine({{kMode, mode},
                                  {kChaos, 1},
                                  {kShape, 1},
                                  {kWear, 1},
                                  {kDrive, 0.5},
                                  {kChaosSeed, 17},
                                  {kDirtTrimNoise, 1},
                                  {kDirtTrimCrush, 1}});
        const Stereo first = RunBlocks(*engine, in, 512);
        engine->Prepare(48000, 512);
        const Stereo second = RunBlocks(*engine, in, 333);
        ASSERT_TRUE(AllFinite(first));
        EXPECT_EQ(first.left, second.left) << "mode " << mode;
        EXPECT_EQ(first.right, second.right) << "mode " << mode;

        engine->SetParam(kChaosSeed, 18);
        engine->Prepare(48000, 512);
        const Stereo other = RunBlocks(*engine, in, 512);
        EXPECT_NE(first.left, other.left) << "mode " << mode;
    }
}

// A non-finite input sample is replaced at entry: the output is exactly what a
// silent sample in its place gives (gate, drive, modes and wear all see silence),
// not merely some finite signal.
TEST_F(EffectEngineTest, NonFiniteInputSamplesActAsSilence)
{
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()}) {
        for (int mode = 0; mode < 3; ++mode) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " input " << bad);
            const auto params = {
                std::pair<int, double>{kMode, mode}, {kDrive, 0.5}, {kWear, 0.6}, {kMix, 0.7}, {kInputGate, 0.2}};
            Stereo silenced = TestSignal(24000);
            silenced.left[100] = 0.0f;
            silenced.right[5000] = 0.0f;
            Stereo poisoned = silenced;
            poisoned.left[100] = bad;
            poisoned.right[5000] = bad;

            auto reference = MakeEngine(params);
            const Stereo expected = RunBlocks(*reference, silenced, 256);
            ASSERT_TRUE(AllFinite(expected));
            auto engine = MakeEngine(params);
            const Stereo out = RunBlocks(*engine, poisoned, 256);
            EXPECT_EQ(out.left, expected.left);
            EXPECT_EQ(out.right, expected.right);
        }
    }
}

// Samples near the float limit overflow a float sum of their magnitudes. The engine
// stays finite in every mode, and the gate closes again on a quiet signal soon
// after such a spike instead of staying open for seconds.
TEST_F(EffectEngineTest, HugeFiniteInputIsHeldToABound)
{
    constexpr float kHuge = std::numeric_limits<float>::max();
    for (int mode = 0; mode < 3; ++mode) {
        auto engine = MakeEngine({{kMode, mode}, {kDrive, 0.5}, {kWear, 0.6}, {kMix, 0.7}, {kInputGate, 0.2}});
        Stereo in = TestSignal(48000);
        in.left[100] = kHuge;
        in.right[100] = kHuge;
        in.right[5000] = -kHuge;
        EXPECT_TRUE(AllFinite(RunBlocks(*engine, in, 256))) << "mode " << mode;
    }

    auto engine = MakeEngine({{kMix, 0}, {kDrive, 0}, {kInputGate, 0.2}});
    Stereo quiet{std::vector<float>(144000, 0.01f), std::vector<float>(144000, 0.01f)};
    quiet.left[4800] = kHuge;
    quiet.right[4800] = -kHuge;
    const Stereo out = RunBlocks(*engine, quiet, 512);
    ASSERT_TRUE(AllFinite(out));
    for (int i = 4800 + 2 * 48000; i < 144000; ++i)
        ASSERT_EQ(out.left[i], 0.0f) << i;
}

TEST_F(EffectEngineTest, NonFiniteInputLeavesTheGateWorking)
{
    for (double bad : {kNaN, kInf}) {
        auto engine = MakeEngine({{kMix, 0}, {kDrive, 0}, {kInputGate, 0.2}});
        Stereo in{std::vector<float>(9600, 0.5f), std::vector<float>(9600, 0.5f)};
        in.left[0] = static_cast<float>(bad);
        in.right[0] = static_cast<float>(-bad);
        const Stereo out = RunBlocks(*engine, in, 512);
        ASSERT_TRUE(AllFinite(out)) << bad;
        EXPECT_EQ(out.left.back(), 0.5f) << bad;
    }
}

TEST_F(EffectEngineTest, ProcessDoesNotAllocate)
{
    for (int mode = 0; mode < 3; ++mode) {
        auto engine = MakeEngine({{kMode, mode}, {kChaos, 1}, {kDrive, 0.7}, {kWear, 1}, {kSync, 1}});
        engine->SetTempo(128);
        const Stereo in = TestSignal(48000);
        Stereo out{std::vector<float>(48000), std::vector<float>(48000)};
        const AllocationProbe::Scope probe;
        for (int pos = 0; pos < 48000; pos += 512) {
            engine->SetHostPosition(pos / 48000.0 * 128.0 / 60.0);
            const int n = std::min(512, 48000 - pos);
            engine->Process(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos, out.right.data() + pos,
                            n);
            if (pos == 24064)
                engine->SetParam(kMode, (mode + 1) % 3);
        }
        EXPECT_EQ(probe.Allocations(), 0) << "mode " << mode;
    }
}

TEST_F(EffectEngineTest, InPlaceProcessingMatchesSeparateBuffers)
{
    const Stereo in = TestSignal(4000);
    auto a = MakeEngine({{kMode, 1}, {kDrive, 0.4}, {kWear, 0.3}});
    auto b = MakeEngine({{kMode, 1}, {kDrive, 0.4}, {kWear, 0.3}});
    const Stereo separate = RunBlocks(*a, in, 400);
    Stereo inPlace = in;
    for (int pos = 0; pos < 4000; pos += 400)
        b->Process(inPlace.left.data() + pos, inPlace.right.data() + pos, inPlace.left.data() + pos,
                   inPlace.right.data() + pos, 400);
    EXPECT_EQ(separate.left, inPlace.left);
    EXPECT_EQ(separate.right, inPlace.right);
}

TEST_F(EffectEngineTest, StoppedFrozenLoopIsPublishedAndInvalidatedWhenFreezeEnds)
{
    auto engine = MakeEngine({{kMode, 0}, {kLoopFreeze, 1}});
    const Stereo in = TestSignal(256);
    RunBlocks(*engine, in, 128);
    EXPECT_EQ(Inspect(*engine).Handover().CurrentState(), FrozenLoopHandover::kEmpty);

    // A frozen loop installed while TREM is heard stays frozen and is published.
    ASSERT_TRUE(RestoreHandLoop(*engine));
    RunBlocks(*engine, in, 128);
    EXPECT_EQ(Inspect(*engine).Handover().CurrentState(), FrozenLoopHandover::kValid);
    ASSERT_NE(Inspect(*engine).Handover().Shadow(), nullptr);
    EXPECT_EQ(Inspect(*engine).Handover().Shadow()->GetState().recordingStopped, 1);

    engine->SetParam(kLoopFreeze, 0);
    RunBlocks(*engine, in, 64);
    EXPECT_EQ(Inspect(*engine).Handover().CurrentState(), FrozenLoopHandover::kEmpty);
}

TEST_F(EffectEngineTest, ReaderCopyingKeepsTheLoopFrozen)
{
    auto engine = MakeEngine({{kMode, 0}, {kLoopFreeze, 1}});
    ASSERT_TRUE(RestoreHandLoop(*engine));
    RunBlocks(*engine, TestSignal(128), 128);
    engine->SetParam(kLoopFreeze, 0);

    bool blocksRun = false;
    engine->SetHandoverProbe([&](FrozenLoopHandover::Point point) {
        if (point != FrozenLoopHandover::Point::ReaderCopying || blocksRun)
            return;
        blocksRun = true;
        RunBlocks(*engine, TestSignal(64), 64);
        EXPECT_EQ(Inspect(*engine).LiveLoop().GetState().freezeRequested, 1);
        EXPECT_TRUE(engine->LoopRecordingStopped());
        EXPECT_EQ(Inspect(*engine).Handover().CurrentState(), FrozenLoopHandover::kReaderCopying);
    });
    EXPECT_FALSE(engine->CaptureFrozenLoop().empty());
    engine->SetHandoverProbe(nullptr);
    EXPECT_TRUE(blocksRun);
}

TEST_F(EffectEngineTest, PendingLoopIsSwappedInAndTheOldStateRetired)
{
    auto engine = MakeEngine({{kMode, 0}, {kLoopFreeze, 1}});
    ASSERT_TRUE(RestoreHandLoop(*engine));
    const LoopsMode* incoming = Inspect(*engine).Handover().PendingLoop();

    RunBlocks(*engine, TestSignal(64), 64);
    const FrozenLoopHandover& handover = Inspect(*engine).Handover();
    EXPECT_EQ(handover.PendingLoop(), nullptr);
    EXPECT_EQ(handover.RetiredLoop(), incoming);
    EXPECT_EQ(Inspect(*engine).LiveLoop().GetState().recordingStopped, 1);
    EXPECT_EQ(Inspect(*engine).LiveLoop().GetState().randomGeneration, Inspect(*engine).Drift().Generation());
    EXPECT_EQ(incoming->GetState().recordingStopped, 0);

    // A second pending loop waits until the other side has freed the retired one:
    // a block runs between the restore's two exchanges.
    const LoopsMode* secondWhileRetired = nullptr;
    engine->SetHandoverProbe([&](FrozenLoopHandover::Point point) {
        if (point != FrozenLoopHandover::Point::RestoreBetweenExchanges)
            return;
        const LoopsMode* second = handover.PendingLoop();
        RunBlocks(*engine, TestSignal(64), 64);
        secondWhileRetired = handover.PendingLoop() == second ? second : nullptr;
    });
    ASSERT_TRUE(RestoreHandLoop(*engine, 1000.0));
    engine->SetHandoverProbe(nullptr);
    EXPECT_NE(secondWhileRetired, nullptr);
    // Preparing drops the waiting loop (the engine deletes it; a leak checker would notice otherwise).
    engine->Prepare(48000, 512);
    EXPECT_EQ(handover.PendingLoop(), nullptr);
    EXPECT_EQ(handover.RetiredLoop(), nullptr);
}

TEST_F(EffectEngineTest, RunsAtCommonSampleRatesAndBlockSizes)
{
    struct Case
    {
        double rate;
        int block;
    };
    const Case cases[] = {{8000, 32}, {44100, 1}, {96000, 1024}, {192000, 4096}};
    for (const Case& c : cases) {
        for (int mode = 0; mode < 3; ++mode) {
            auto engine =
                MakeEngine({{kMode, mode}, {kDrive, 0.5}, {kWear, 0.7}, {kChaos, 0.8}, {kMix, 1}}, c.rate, c.block);
            const Stereo out = RunBlocks(*engine, TestSignal(static_cast<int>(c.rate), c.rate), c.block);
            EXPECT_TRUE(AllFinite(out)) << c.rate << " mode " << mode;
            double energy = 0;
            for (float x : out.left)
                energy += x * x;
            EXPECT_GT(energy, 0.0) << c.rate << " mode " << mode;
        }
    }
}

// Modes that sit idle keep their histories fed, however the host cuts its blocks:
// switching modes back and forth gives the same output in blocks of one sample as
// in long blocks, including longer blocks than the engine was prepared for.
TEST_F(EffectEngineTest, IdleModesHearTheSameInputWhateverTheBlockLength)
{
    const int modes[] = {0, 1, 2, 0, 2, 1, 1, 0};
    constexpr int kSegment = 4800;
    const Stereo in = TestSignal(kSegment * 8);
    auto run = [&](int block) {
        auto engine = MakeEngine({{kDrive, 0.3}, {kWear, 0.4}, {kChaos, 0.5}, {kMacro, 0.3}}, 48000.0, 480);
        Stereo out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
        for (int segment = 0; segment < 8; ++segment) {
            engine->SetParam(kMode, modes[segment]);
            engine->SetParam(kRepeatEngine, segment < 6 ? 1 : 0);
            for (int pos = segment * kSegment; pos < (segment + 1) * kSegment; pos += block)
                engine->Process(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos,
                                out.right.data() + pos, block);
        }
        return out;
    };
    const Stereo reference = run(1);
    for (int block : {480, 1600}) {
        const Stereo out = run(block);
        EXPECT_EQ(out.left, reference.left) << block;
        EXPECT_EQ(out.right, reference.right) << block;
    }
}

// The engine covers stretches of samples whose per-chunk work would repeat
// unchanged with one call per stage: whatever the host's block length (longer
// than prepared for, or cutting across the chaos steps), the output is that of
// blocks of one sample. Each scene changes parameters at block starts common to
// every length, and holds them long enough for the mode crossfades to settle.
TEST_F(EffectEngineTest, OutputIsTheSameWhateverTheBlockLength)
{
    struct Change
    {
        int at; // in units of kStretch
        int index;
        double value;
    };
    struct Scene
    {
        const char* name;
        std::vector<std::pair<int, double>> start;
        std::vector<Change> changes;
    };
    constexpr int kStretch = 16800; // a multiple of every block length below
    constexpr int kStretches = 9;
    const std::vector<Scene> scenes{
        {"TREM with chaos, drive, wear and gliding controls",
         {{kMode, 0},
          {kChaos, 0.7},
          {kDrive, 0.5},
          {kDriveVoice, 1},
          {kWear, 0.7},
          {kDirtTrimNoise, 0.9},
          {kDirtTrimCrush, 0.8},
          {kMacro, 0.6},
          {kShape, 0.5},
          {kInputGate, 0.2}},
         {{3, kMix, 0.6},
          {4, kLevel, -6.0},
          {4, kTremDepth, 0.4},
          {5, kMacro, 0.3},
          {6, kChaosSeed, 9},
          {7, kWear, 0.0},
          {7, kDrive, 0.0}}},
        {"LOOPS, then TREM with LOOPS fed while idle, then LOOPS again",
         {{kMode, 2}, {kChaos, 0.3}, {kWear, 0.3}, {kMacro, 0.4}},
         {{2, kMode, 0}, {8, kMode, 2}}},
        {"the repeat engine switched off under TREM, then REPEAT's stereo echoes",
         {{kMode, 0}, {kEchoPreserveStereo, 1}, {kMacro, 0.2}},
         {{1, kRepeatEngine, 0}, {2, kMode, 1}}},
        {"REPEAT with its engines crossfading and the stereo echoes switched in and out",
         {{kMode, 1}, {kMacro, 0.3}, {kChaos, 0.4}, {kRepeatFeedback, 0.6}},
         {{2, kRepeatEngine, 0}, {4, kEchoPreserveStereo, 1}, {6, kRepeatEngine, 1}, {7, kEchoPreserveStereo, 0}}},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const Stereo in = TestSignal(kStretch * kStretches);
        auto run = [&](int block) {
            auto engine = std::make_unique<EffectEngine>();
            for (const auto& [index, value] : scene.start)
                engine->SetParam(index, value);
            engine->Prepare(48000.0, 480);
            Stereo out{std::vector<float>(in.left.size()), std::vector<float>(in.left.size())};
            for (int pos = 0; pos < kStretch * kStretches; pos += block) {
                for (const Change& change : scene.changes)
                    if (change.at * kStretch == pos)
                        engine->SetParam(change.index, change.value);
                engine->Process(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos,
                                out.right.data() + pos, block);
            }
            return out;
        };
        const Stereo reference = run(1);
        for (int block : {480, 700, 1200}) {
            const Stereo out = run(block);
            EXPECT_EQ(out.left, reference.left) << block;
            EXPECT_EQ(out.right, reference.right) << block;
        }
    }
}
