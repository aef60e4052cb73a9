#include <cstddef>
#include <memory>
#include <vector>

#include "bench/engine/BenchHarness.h"
#include "engine/dsp/DriftContext.h"
#include "engine/modes/RepeatMode.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

struct HeavyRepeat
{
    RepeatMode mode;
    DriftContext drift{7};
    std::vector<float> inL, inR;
    bench_harness::NoiseSource noise;
    long blocks = 0;
    bool held = false;

    HeavyRepeat() : inL(kBlock), inR(kBlock)
    {
        mode.SetCount(RepeatMode::kMaxRepeats);
        mode.SetDecay(0.98);
        mode.SetFeedback(0.95);
        mode.SetGapless(true);
        mode.SetPreserveStereo(true);
        mode.SetControls(1.0, 0.5);
        mode.Prepare(kRate, kBlock);
        drift.SetAmount(0.6);
        // Fill the whole history so every one of the 64 repeats reads real audio.
        const size_t length = mode.CurrentState().history.Length();
        for (size_t done = 0; done < length + kBlock; done += kBlock) {
            FillInput();
            mode.FeedIdle(inL.data(), inR.data(), kBlock);
        }
    }

    void FillInput() { noise.Fill(inL.data(), inR.data(), kBlock); }

    // One host block as the engine runs it: controls once, then the block in one call.
    void ProcessBlock()
    {
        ++blocks;
        const double sweep = static_cast<double>(blocks % 400) / 399.0;
        mode.SetControls(0.4 + 0.6 * sweep, 0.5);
        if (blocks % 90 == 0) {
            held = !held;
            mode.SetHold(held);
        }
        FillInput();
        mode.Process(inL.data(), inR.data(), kBlock, drift);
        benchmark::DoNotOptimize(inL.data());
        benchmark::DoNotOptimize(inR.data());
    }
};

void BM_RepeatHeavy(benchmark::State& state)
{
    bench_harness::FlushDenormals();
    static std::unique_ptr<HeavyRepeat> heavy = std::make_unique<HeavyRepeat>();

    bench_harness::BlockTimer timer;
    timer.Run(state, [] { heavy->ProcessBlock(); });
    timer.Report(state, kBlock, kRate);
    state.counters["p99_block_us"] = timer.PercentileSeconds(99) * 1e6;
    state.SetItemsProcessed(state.iterations() * kBlock);
}

} // namespace

BENCHMARK(BM_RepeatHeavy)->Unit(benchmark::kMicrosecond)->MinTime(3.0);
