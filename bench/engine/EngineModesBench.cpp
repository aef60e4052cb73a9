#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "bench/engine/BenchHarness.h"
#include "engine/EffectEngine.h"

// Every mode of the whole engine at 48 and 192 kHz, as the plug-in runs it: one
// block of 256 per call, FTZ/DAZ on, a looped two-tone input. The counter
// audio_s_per_cpu_s is seconds of stereo audio per second of the measured time
// (the real-time factor of one instance on one core).
namespace {

constexpr int kBlock = 256;

using Settings = std::vector<std::pair<int, double>>;

// Macro, shape and chaos in the middle, so every mode does real work.
const Settings kCommon = {{kMacro, 0.5}, {kShape, 0.6}, {kChaos, 0.6}, {kMix, 1.0}};
const Settings kTremSettings = {{kMode, 0}};
const Settings kRepeatEngineSettings = {{kMode, 1}, {kRepeatEngine, 1}};
const Settings kLegacyEchoSettings = {{kMode, 1}, {kRepeatEngine, 0}};
const Settings kLoopsSettings = {{kMode, 2}, {kLoopOctaves, 0.7}, {kLoopReverse, 0.4}, {kLoopReach, 0.6}};
const Settings kFrozenLoopsSettings = {
    {kMode, 2}, {kLoopOctaves, 0.7}, {kLoopReverse, 0.4}, {kLoopReach, 0.6}, {kLoopFreeze, 1}};

double RateOf(const benchmark::State& state)
{
    return static_cast<double>(state.range(0));
}

struct Rig
{
    std::unique_ptr<EffectEngine> engine = std::make_unique<EffectEngine>();
    std::vector<float> inL, inR, outL, outR;
    int position = 0;
    double rate;

    Rig(double sampleRate, const Settings& settings) : rate(sampleRate)
    {
        bench_harness::FlushDenormals();
        for (const auto& [index, value] : kCommon)
            engine->SetParam(index, value);
        for (const auto& [index, value] : settings)
            engine->SetParam(index, value);
        engine->Prepare(rate, kBlock);
        const int frames = static_cast<int>(rate);
        inL = bench_harness::Sine(frames, 220.0, 0.4, rate);
        inR = bench_harness::Sine(frames, 330.0, 0.4, rate);
        outL.resize(kBlock);
        outR.resize(kBlock);
    }

    void Block()
    {
        if (position + kBlock > static_cast<int>(inL.size()))
            position = 0;
        engine->Process(inL.data() + position, inR.data() + position, outL.data(), outR.data(), kBlock);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        position += kBlock;
    }

    // Plays until the loop has frozen (every voice started on recorded audio).
    void RunUntilFrozen()
    {
        for (int i = 0; i < 60 * static_cast<int>(rate) / kBlock && !engine->LoopRecordingStopped(); ++i)
            Block();
    }
};

void Report(benchmark::State& state, double rate, int64_t blocks)
{
    bench_harness::ReportAudioPerCpuSecond(state, blocks * kBlock, rate);
}

void RunMode(benchmark::State& state, const Settings& settings)
{
    Rig rig(RateOf(state), settings);
    // Past the first second, so the histories hold audio and the modes are settled.
    for (int i = 0; i < static_cast<int>(rig.rate) / kBlock; ++i)
        rig.Block();
    int64_t blocks = 0;
    for (auto _ : state) {
        rig.Block();
        ++blocks;
    }
    Report(state, rig.rate, blocks);
}

void BM_EngineTrem(benchmark::State& state)
{
    RunMode(state, kTremSettings);
}
void BM_EngineRepeat(benchmark::State& state)
{
    RunMode(state, kRepeatEngineSettings);
}
void BM_EngineLegacyEcho(benchmark::State& state)
{
    RunMode(state, kLegacyEchoSettings);
}
void BM_EngineLoops(benchmark::State& state)
{
    RunMode(state, kLoopsSettings);
}

// The REPEAT slot crossfading between the repeat engine and the echoes: Repeat
// Engine flips every 20 ms, the length of the crossfade, so both run all the time.
void BM_EngineRepeatSlotCrossfade(benchmark::State& state)
{
    Rig rig(RateOf(state), kRepeatEngineSettings);
    const int flipBlocks = std::max(1, static_cast<int>(0.02 * rig.rate) / kBlock);
    int64_t blocks = 0;
    bool engineOn = true;
    for (auto _ : state) {
        if (blocks % flipBlocks == 0) {
            engineOn = !engineOn;
            rig.engine->SetParam(kRepeatEngine, engineOn ? 1.0 : 0.0);
        }
        rig.Block();
        ++blocks;
    }
    Report(state, rig.rate, blocks);
}

// A frozen loop playing while another thread captures it every 100 ms, as a host
// saving its state would. Measured in real time, since the capturing thread's work
// (copying and encoding the history) competes for the machine too.
void BM_EngineFrozenLoopsWithCaptures(benchmark::State& state)
{
    Rig rig(RateOf(state), kFrozenLoopsSettings);
    rig.RunUntilFrozen();
    if (!rig.engine->LoopRecordingStopped()) {
        state.SkipWithError("loop did not freeze");
        return;
    }
    std::atomic<bool> stop{false};
    std::atomic<int64_t> captures{0};
    std::thread capturer([&] {
        while (!stop.load()) {
            if (!rig.engine->CaptureFrozenLoop().empty())
                captures.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    int64_t blocks = 0;
    for (auto _ : state) {
        rig.Block();
        ++blocks;
    }
    stop.store(true);
    capturer.join();
    Report(state, rig.rate, blocks);
    state.counters["captures"] = static_cast<double>(captures.load());
}

} // namespace

BENCHMARK(BM_EngineTrem)->Arg(48000)->Arg(192000);
BENCHMARK(BM_EngineRepeat)->Arg(48000)->Arg(192000);
BENCHMARK(BM_EngineLegacyEcho)->Arg(48000)->Arg(192000);
BENCHMARK(BM_EngineLoops)->Arg(48000)->Arg(192000);
BENCHMARK(BM_EngineRepeatSlotCrossfade)->Arg(48000)->Arg(192000);
BENCHMARK(BM_EngineFrozenLoopsWithCaptures)->Arg(48000)->Arg(192000)->UseRealTime();
