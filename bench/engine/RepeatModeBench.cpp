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
    bool moving = true;

    // moving: MACRO swept and HOLD toggled, gapless fast repeats at SHAPE 0.5;
    // otherwise the settled heavy setting of the render's heavy-repeat
    // scenario, most repeats at unit speed over a fixed slice.
    explicit HeavyRepeat(bool movingControls) : inL(kBlock), inR(kBlock), moving(movingControls)
    {
        mode.SetCount(RepeatMode::kMaxRepeats);
        mode.SetDecay(moving ? 0.98 : 0.85);
        mode.SetFeedback(0.95);
        mode.SetGapless(moving);
        mode.SetPreserveStereo(moving);
        mode.SetControls(moving ? 1.0 : 0.5, moving ? 0.5 : 0.3);
        mode.Prepare(kRate, kBlock);
        drift.SetAmount(moving ? 0.6 : 0.2);
        // Fill the whole history so every one of the 64 repeats reads real audio.
        const size_t length = mode.CurrentState().history.Length();
        for (size_t done = 0; done < length + kBlock; done += kBlock) {
            FillInput();
            mode.FeedIdle(inL.data(), inR.data(), kBlock);
        }
    }

    void FillInput() { noise.Fill(inL.data(), inR.data(), kBlock); }

    void MoveControls()
    {
        const double sweep = static_cast<double>(blocks % 400) / 399.0;
        mode.SetControls(0.4 + 0.6 * sweep, 0.5);
        if (blocks % 90 == 0) {
            held = !held;
            mode.SetHold(held);
        }
    }

    // One host block as the engine runs it: controls once, then the block in one call.
    void ProcessBlock()
    {
        ++blocks;
        if (moving)
            MoveControls();
        FillInput();
        mode.Process(inL.data(), inR.data(), kBlock, drift);
        benchmark::DoNotOptimize(inL.data());
        benchmark::DoNotOptimize(inR.data());
    }
};

void RunHeavy(benchmark::State& state, HeavyRepeat& heavy)
{
    bench_harness::FlushDenormals();
    bench_harness::BlockTimer timer;
    timer.Run(state, [&heavy] { heavy.ProcessBlock(); });
    timer.Report(state, kBlock, kRate);
    state.counters["p99_block_us"] = timer.PercentileSeconds(99) * 1e6;
    state.SetItemsProcessed(state.iterations() * kBlock);
}

void BM_RepeatHeavy(benchmark::State& state)
{
    static std::unique_ptr<HeavyRepeat> heavy = std::make_unique<HeavyRepeat>(true);
    RunHeavy(state, *heavy);
}

void BM_RepeatHeavySettled(benchmark::State& state)
{
    static std::unique_ptr<HeavyRepeat> heavy = std::make_unique<HeavyRepeat>(false);
    RunHeavy(state, *heavy);
}

} // namespace

BENCHMARK(BM_RepeatHeavy)->Unit(benchmark::kMicrosecond)->MinTime(3.0);
BENCHMARK(BM_RepeatHeavySettled)->Unit(benchmark::kMicrosecond)->MinTime(3.0);
