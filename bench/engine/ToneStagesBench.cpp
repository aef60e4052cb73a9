#include <benchmark/benchmark.h>

#include <cmath>
#include <pmmintrin.h>
#include <vector>
#include <xmmintrin.h>

#include "engine/DriftContext.h"
#include "engine/DriveStage.h"
#include "engine/TremMode.h"
#include "engine/WearStage.h"

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

    Signal() : left(kBlock), right(kBlock)
    {
        for (int i = 0; i < kBlock; ++i) {
            left[i] = static_cast<float>(0.4 * std::sin(2.0 * 3.141592653589793 * 220.0 * i / kRate));
            right[i] = static_cast<float>(0.3 * std::sin(2.0 * 3.141592653589793 * 331.0 * i / kRate));
        }
    }
};

void ReportRate(benchmark::State& state)
{
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}

void BM_DriveStage(benchmark::State& state)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    const Signal input;
    DriveStage stage;
    stage.Prepare(kRate);
    stage.SetDrive(0.8);
    stage.SetVoice(static_cast<int>(state.range(0)));
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        left = input.left;
        right = input.right;
        for (int i = 0; i < kBlock; ++i)
            stage.Process(&left[i], &right[i], 1);
        benchmark::DoNotOptimize(left.data());
    }
    ReportRate(state);
}
BENCHMARK(BM_DriveStage)->Arg(DriveStage::kVoiceOverdrive)->Arg(DriveStage::kVoiceFuzz);

void BM_WearStage(benchmark::State& state)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    const Signal input;
    DriftContext drift(7);
    WearStage stage;
    stage.SetTargets(1.0, 1.0, 1.0, 1.0, 1.0);
    stage.Prepare(kRate);
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        left = input.left;
        right = input.right;
        drift.Step(kBlock / kRate);
        for (int i = 0; i < kBlock; ++i)
            stage.Process(&left[i], &right[i], 1, drift);
        benchmark::DoNotOptimize(left.data());
    }
    ReportRate(state);
}
BENCHMARK(BM_WearStage);

void BM_TremMode(benchmark::State& state)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    const Signal input;
    DriftContext drift(7);
    drift.amount = 1.0;
    TremMode trem;
    trem.Prepare(kRate, kBlock);
    trem.SetControls(0.6, 1.0);
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        left = input.left;
        right = input.right;
        drift.Step(kBlock / kRate);
        for (int i = 0; i < kBlock; ++i)
            trem.Process(&left[i], &right[i], 1, drift);
        benchmark::DoNotOptimize(left.data());
    }
    ReportRate(state);
}
BENCHMARK(BM_TremMode);

} // namespace
