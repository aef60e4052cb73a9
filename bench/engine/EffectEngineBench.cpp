#include <benchmark/benchmark.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "engine/EffectEngine.h"

namespace {

constexpr double kSampleRate = 48000.0;
constexpr double kPi = 3.14159265358979323846;

using Settings = std::vector<std::pair<int, double>>;

const Settings kDefaultSettings = {};
const Settings kHeavyTrem = {
    {kMode, 0},        {kShape, 1},          {kChaos, 1},         {kDrive, 1},
    {kDriveVoice, 1},  {kWear, 1},           {kDirtTrimWow, 1},   {kDirtTrimBandwidth, 1},
    {kDirtTrimNoise, 1}, {kDirtTrimCrush, 1},
};

// Measures the engine as the plug-in runs it: one block per call, FTZ/DAZ on.
// The counter is seconds of stereo audio processed per CPU second (the real-time factor).
void RunEngine(benchmark::State& state, const Settings& settings)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);

    const int block = static_cast<int>(state.range(0));
    auto engine = std::make_unique<EffectEngine>();
    for (const auto& [index, value] : settings)
        engine->SetParam(index, value);
    engine->Prepare(kSampleRate, block);

    // One second of a two-tone signal, looped.
    const int frames = static_cast<int>(kSampleRate);
    std::vector<float> inL(frames), inR(frames), outL(block), outR(block);
    for (int i = 0; i < frames; ++i) {
        inL[i] = static_cast<float>(0.4 * std::sin(2 * kPi * 220.0 * i / kSampleRate));
        inR[i] = static_cast<float>(0.4 * std::sin(2 * kPi * 330.0 * i / kSampleRate));
    }

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
    state.counters["audio_s_per_cpu_s"]
        = benchmark::Counter(static_cast<double>(processed) / kSampleRate, benchmark::Counter::kIsRate);
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
