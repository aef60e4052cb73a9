#include "bench/engine/BenchHarness.h"
#include "engine/EffectEngine.h"
#include "standalone/DeviceBlockSlicer.h"

#include <memory>
#include <vector>

namespace {

constexpr double kSampleRate = 48000.0;
constexpr int kChannels = 2;

// The plug-in's block path without the framework: double channels to float scratch, the
// engine, float back to double.
class EngineBlock
{
public:
    explicit EngineBlock(int maxFrames) : engine(std::make_unique<EffectEngine>())
    {
        engine->Prepare(kSampleRate, maxFrames);
        for (std::vector<float>& buffer : scratch)
            buffer.assign(size_t(maxFrames), 0.0f);
    }

    void Run(double** in, double** out, int n)
    {
        for (int i = 0; i < n; ++i) {
            scratch[0][size_t(i)] = float(in[0][i]);
            scratch[1][size_t(i)] = float(in[1][i]);
        }
        engine->Process(scratch[0].data(), scratch[1].data(), scratch[2].data(), scratch[3].data(), n);
        for (int i = 0; i < n; ++i) {
            out[0][i] = scratch[2][size_t(i)];
            out[1][i] = scratch[3][size_t(i)];
        }
    }

private:
    std::unique_ptr<EffectEngine> engine;
    std::vector<float> scratch[4];
};

std::vector<double> DeviceInput(int frames)
{
    const std::vector<float> left = bench_harness::Sine(frames, 220.0, 0.4, kSampleRate);
    const std::vector<float> right = bench_harness::Sine(frames, 330.0, 0.4, kSampleRate);
    std::vector<double> input(left.begin(), left.end());
    input.insert(input.end(), right.begin(), right.end());
    return input;
}

// One device buffer per iteration straight into the engine, as if the plug-in took the
// device's buffer length as its block.
void BM_DeviceBufferDirect(benchmark::State& state)
{
    bench_harness::FlushDenormals();
    const int n = int(state.range(0));
    EngineBlock block(n);
    std::vector<double> input = DeviceInput(n);
    std::vector<double> output(input.size());
    double* in[kChannels] = {input.data(), input.data() + n};
    double* out[kChannels] = {output.data(), output.data() + n};
    int64_t processed = 0;
    for (auto _ : state) {
        block.Run(in, out, n);
        benchmark::DoNotOptimize(output.data());
        processed += n;
    }
    bench_harness::ReportAudioPerCpuSecond(state, processed, kSampleRate);
}

// The same device buffers cut into 64-frame plug-in blocks, as the program's audio callback
// does (in place for whole blocks, carried over otherwise).
void BM_DeviceBufferSliced(benchmark::State& state)
{
    bench_harness::FlushDenormals();
    const int n = int(state.range(0));
    EngineBlock block(DeviceBlockSlicer::kBlockFrames);
    DeviceBlockSlicer slicer;
    slicer.Configure(kChannels, kChannels, kChannels, kChannels);
    std::vector<double> input = DeviceInput(n);
    std::vector<double> output(input.size());
    int64_t processed = 0;
    for (auto _ : state) {
        slicer.Run(input.data(), output.data(), n,
                   [&](double** in, double** out) { block.Run(in, out, DeviceBlockSlicer::kBlockFrames); });
        benchmark::DoNotOptimize(output.data());
        processed += n;
    }
    bench_harness::ReportAudioPerCpuSecond(state, processed, kSampleRate);
}

} // namespace

BENCHMARK(BM_DeviceBufferDirect)->Arg(512);
BENCHMARK(BM_DeviceBufferSliced)->Arg(512)->Arg(300);
