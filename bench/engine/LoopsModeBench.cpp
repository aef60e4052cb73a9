#include <cstdint>
#include <memory>
#include <vector>

#include "bench/engine/BenchHarness.h"
#include "engine/dsp/DriftContext.h"
#include "engine/modes/LoopsMode.h"
#include "engine/modes/TempoSyncInfo.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr int32_t kQuarterAt120 = 24000;

// LOOPS at its most expensive: six voices, octaves up (sinc reads at speed 4),
// reverse, full reach, full chaos (pitch shifters, events) and tempo lock.
struct HeavyLoops
{
    LoopsMode mode;
    DriftContext drift{0x5eed0000u + 7};
    std::vector<float> inL, inR;
    bench_harness::NoiseSource noise;
    uint64_t sample = 0;

    HeavyLoops() : inL(kBlock), inR(kBlock)
    {
        mode.Prepare(kRate, kBlock);
        mode.SetVoiceCount(6);
        mode.SetOctaveDirection(1);
        mode.SetShapeTargets(1.0, 0.5, 1.0, 1.0);
        mode.SetMotionRate(0.5);
        mode.SetControls(0.5, 1.0);
        mode.SetTime(0.4);
        mode.SnapSmoothers();
        drift.SetAmount(1.0);
        // Fill the whole ring, then let every voice settle on real audio.
        const int32_t length = mode.HistoryLength();
        for (int32_t done = 0; done < length + kBlock; done += kBlock) {
            FillInput();
            mode.FeedIdle(inL.data(), inR.data(), kBlock);
        }
        for (int i = 0; i < 400; ++i)
            ProcessBlock();
    }

    void FillInput() { noise.Fill(inL.data(), inR.data(), kBlock); }

    // One host block as the engine runs it: one sample at a time, with the tempo
    // record and a chaos step every 512 samples.
    void ProcessBlock()
    {
        FillInput();
        for (int i = 0; i < kBlock; ++i, ++sample) {
            if (sample % 512 == 0)
                drift.Step(512.0 / kRate);
            TempoSyncInfo info;
            info.synced = 1;
            info.boundaryFound = 1;
            info.divisionSamples = kQuarterAt120;
            info.divisionBeats = 1.0;
            info.beatsPerSample = 120.0 / 60.0 / kRate;
            info.boundaryOffset = sample % kQuarterAt120 == 0 ? 0 : -1;
            mode.SetTempoSync(info);
            mode.Process(&inL[i], &inR[i], 1, drift);
        }
        benchmark::DoNotOptimize(inL.data());
        benchmark::DoNotOptimize(inR.data());
    }
};

void BM_LoopsHeavy(benchmark::State& state)
{
    bench_harness::FlushDenormals();
    static std::unique_ptr<HeavyLoops> heavy = std::make_unique<HeavyLoops>();

    bench_harness::BlockTimer timer;
    timer.Run(state, [] { heavy->ProcessBlock(); });
    timer.Report(state, kBlock, kRate);
    state.counters["shifter_starts"] = heavy->mode.GetState().shifterStarts;
    state.SetItemsProcessed(state.iterations() * kBlock);
}

// LOOPS at the engine's defaults (six voices, chaos 0.2, free running), fed
// in calls of range(0) samples: 1 is how the engine calls it today, 512 one
// call per host block.
struct DefaultLoops
{
    LoopsMode mode;
    DriftContext drift{0x5eed0000u};
    std::vector<float> inL, inR;
    bench_harness::NoiseSource noise;
    uint64_t sample = 0;

    DefaultLoops() : inL(kBlock), inR(kBlock)
    {
        mode.Prepare(kRate, kBlock);
        mode.SetShapeTargets(0.5, 0.5, 0.5, 1.0);
        mode.SetControls(0.5, 0.3);
        mode.SnapSmoothers();
        drift.SetAmount(0.2);
        for (int i = 0; i < 400; ++i)
            ProcessBlock(kBlock);
    }

    void ProcessBlock(int callSize)
    {
        noise.Fill(inL.data(), inR.data(), kBlock);
        drift.Step(512.0 / kRate);
        mode.SetTempoSync(TempoSyncInfo{});
        for (int i = 0; i < kBlock; i += callSize)
            mode.Process(&inL[i], &inR[i], callSize, drift);
        sample += kBlock;
        benchmark::DoNotOptimize(inL.data());
        benchmark::DoNotOptimize(inR.data());
    }
};

void BM_LoopsDefaults(benchmark::State& state)
{
    bench_harness::FlushDenormals();
    const int callSize = static_cast<int>(state.range(0));
    DefaultLoops loops;
    bench_harness::BlockTimer timer;
    timer.Run(state, [&] { loops.ProcessBlock(callSize); });
    timer.Report(state, kBlock, kRate);
    state.SetItemsProcessed(state.iterations() * kBlock);
}

} // namespace

BENCHMARK(BM_LoopsHeavy)->Unit(benchmark::kMicrosecond)->MinTime(3.0);
BENCHMARK(BM_LoopsDefaults)->Arg(1)->Arg(512)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
