#include <memory>
#include <utility>
#include <vector>

#include "bench/engine/BenchHarness.h"
#include "engine/EffectEngine.h"

namespace {

constexpr double kSampleRate = 48000.0;

using Settings = std::vector<std::pair<int, double>>;

const Settings kDefaultSettings = {};
const Settings kHeavyTrem = {
    {kMode, 0},          {kShape, 1},         {kChaos, 1},       {kDrive, 1},
    {kDriveVoice, 1},    {kWear, 1},          {kDirtTrimWow, 1}, {kDirtTrimBandwidth, 1},
    {kDirtTrimNoise, 1}, {kDirtTrimCrush, 1},
};

// Measures the engine as the plug-in runs it: one block per call, FTZ/DAZ on.
// The counter is seconds of stereo audio processed per CPU second (the real-time factor).
void RunEngine(benchmark::State& state, const Settings& settings)
{
    bench_harness::FlushDenormals();

    const int block = static_cast<int>(state.range(0));
    auto engine = std::make_unique<EffectEngine>();
    for (const auto& [index, value] : settings)
        engine->SetParam(index, value);
    engine->Prepare(kSampleRate, block);

    // One second of a two-tone signal, looped.
    const int frames = static_cast<int>(kSampleRate);
    const std::vector<float> inL = bench_harness::Sine(frames, 220.0, 0.4, kSampleRate);
    const std::vector<float> inR = bench_harness::Sine(frames, 330.0, 0.4, kSampleRate);
    std::vector<float> outL(block), outR(block);

    int position = 0;
    int64_t processed = 0;
    for (auto _ : state) {
        if (position + block > frames)
            position = 0;
        engine->Process(inL.data() + position, inR.data() + position, outL.data(), outR.data(), block);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        position += block;
        processed += block;
    }
    bench_harness::ReportAudioPerCpuSecond(state, processed, kSampleRate);
}

void BM_EffectEngineDefault(benchmark::State& state)
{
    RunEngine(state, kDefaultSettings);
}

void BM_EffectEngineHeavyTrem(benchmark::State& state)
{
    RunEngine(state, kHeavyTrem);
}

} // namespace

BENCHMARK(BM_EffectEngineDefault)->Arg(64)->Arg(512);
BENCHMARK(BM_EffectEngineHeavyTrem)->Arg(64)->Arg(512);
