#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <pmmintrin.h>
#include <vector>
#include <xmmintrin.h>

#include "engine/DriftContext.h"
#include "engine/RepeatMode.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

struct HeavyRepeat
{
    RepeatMode mode;
    DriftContext drift{7};
    std::vector<float> inL, inR;
    uint32_t noise = 12345;
    long blocks = 0;

    HeavyRepeat() : inL(kBlock), inR(kBlock)
    {
        mode.count = RepeatMode::kMaxRepeats;
        mode.decayTarget = 0.98;
        mode.feedbackTarget = 0.95;
        mode.gapless = 1;
        mode.preserveStereo = 1;
        mode.SetControls(1.0, 0.5);
        mode.Prepare(kRate, kBlock);
        drift.amount = 0.6;
        // Fill the whole history so every one of the 64 repeats reads real audio.
        const size_t length = mode.history[0].size();
        for (size_t done = 0; done < length + kBlock; done += kBlock)
        {
            FillInput();
            mode.FeedIdle(inL.data(), inR.data(), kBlock);
        }
    }

    void FillInput()
    {
        for (int i = 0; i < kBlock; ++i)
        {
            noise = noise * 1664525u + 1013904223u;
            const float v = static_cast<float>(noise >> 8) / (1 << 24) - 0.5f;
            inL[i] = v;
            inR[i] = -0.5f * v;
        }
    }

    // One host block as the engine runs it: controls once, then one sample at a time.
    void ProcessBlock()
    {
        ++blocks;
        const double sweep = static_cast<double>(blocks % 400) / 399.0;
        mode.SetControls(0.4 + 0.6 * sweep, 0.5);
        if (blocks % 90 == 0)
            mode.hold ^= 1;
        FillInput();
        for (int i = 0; i < kBlock; ++i)
            mode.Process(&inL[i], &inR[i], 1, drift);
        benchmark::DoNotOptimize(inL.data());
        benchmark::DoNotOptimize(inR.data());
    }
};

void BM_RepeatHeavy(benchmark::State& state)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    static std::unique_ptr<HeavyRepeat> heavy = std::make_unique<HeavyRepeat>();

    using Clock = std::chrono::steady_clock;
    std::vector<double> blockSeconds;
    blockSeconds.reserve(1 << 16);
    double total = 0.0;
    for (auto _ : state)
    {
        const auto start = Clock::now();
        heavy->ProcessBlock();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        blockSeconds.push_back(seconds);
        total += seconds;
    }
    std::sort(blockSeconds.begin(), blockSeconds.end());
    const double worst = blockSeconds.empty() ? 0.0 : blockSeconds.back();
    const double p99 = blockSeconds.empty() ? 0.0 : blockSeconds[blockSeconds.size() * 99 / 100];
    const double audio = static_cast<double>(state.iterations()) * kBlock / kRate;
    state.counters["realtime_factor"] = total > 0.0 ? audio / total : 0.0;
    state.counters["worst_block_us"] = worst * 1e6;
    state.counters["p99_block_us"] = p99 * 1e6;
    state.counters["block_budget_us"] = kBlock / kRate * 1e6;
    state.SetItemsProcessed(state.iterations() * kBlock);
}

} // namespace

BENCHMARK(BM_RepeatHeavy)->Unit(benchmark::kMicrosecond)->MinTime(3.0);
