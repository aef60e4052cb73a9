#include <vector>

#include "bench/engine/BenchHarness.h"
#include "engine/dsp/DriftContext.h"
#include "engine/modes/TremMode.h"
#include "engine/stages/DriveStage.h"
#include "engine/stages/WearStage.h"

// The drive, wear and tremolo stages on their own, one sample per call as the
// engine runs them, at 48 kHz on a two-tone signal. The counter audio_s_per_cpu_s
// is seconds of stereo audio per CPU second for the stage alone.

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

struct Signal
{
    std::vector<float> left;
    std::vector<float> right;

    Signal()
        : left(bench_harness::Sine(kBlock, 220.0, 0.4, kRate)), right(bench_harness::Sine(kBlock, 331.0, 0.3, kRate))
    {}
};

// One block per iteration, one sample per call, the drift stepped once a block when there is one.
template <class ProcessSample>
void RunPerSample(benchmark::State& state, DriftContext* drift, ProcessSample&& process)
{
    bench_harness::FlushDenormals();
    const Signal input;
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        left = input.left;
        right = input.right;
        if (drift)
            drift->Step(kBlock / kRate);
        for (int i = 0; i < kBlock; ++i)
            process(&left[i], &right[i]);
        benchmark::DoNotOptimize(left.data());
    }
    bench_harness::ReportAudioPerCpuSecond(state, state.iterations() * kBlock, kRate);
}

void BM_DriveStage(benchmark::State& state)
{
    DriveStage stage;
    stage.Prepare(kRate);
    stage.SetDrive(0.8);
    stage.SetVoice(static_cast<int>(state.range(0)));
    RunPerSample(state, nullptr, [&](float* left, float* right) { stage.Process(left, right, 1); });
}
BENCHMARK(BM_DriveStage)->Arg(DriveStage::kVoiceOverdrive)->Arg(DriveStage::kVoiceFuzz);

// The drive given a whole block per call, as the engine's runs reach it once its switches hold.
void BM_DriveStageBlock(benchmark::State& state)
{
    bench_harness::FlushDenormals();
    DriveStage stage;
    stage.Prepare(kRate);
    stage.SetDrive(0.8);
    stage.SetVoice(static_cast<int>(state.range(0)));
    const Signal input;
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        left = input.left;
        right = input.right;
        stage.Process(left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
    }
    bench_harness::ReportAudioPerCpuSecond(state, state.iterations() * kBlock, kRate);
}
BENCHMARK(BM_DriveStageBlock)->Arg(DriveStage::kVoiceOverdrive)->Arg(DriveStage::kVoiceFuzz);

void BM_WearStage(benchmark::State& state)
{
    DriftContext drift(7);
    WearStage stage;
    stage.SetTargets(1.0, 1.0, 1.0, 1.0, 1.0);
    stage.Prepare(kRate);
    RunPerSample(state, &drift, [&](float* left, float* right) { stage.Process(left, right, 1, drift); });
}
BENCHMARK(BM_WearStage);

void BM_TremMode(benchmark::State& state)
{
    DriftContext drift(7);
    drift.SetAmount(1.0);
    TremMode trem;
    trem.Prepare(kRate, kBlock);
    trem.SetControls(0.6, 1.0);
    RunPerSample(state, &drift, [&](float* left, float* right) { trem.Process(left, right, 1, drift); });
}
BENCHMARK(BM_TremMode);

} // namespace
