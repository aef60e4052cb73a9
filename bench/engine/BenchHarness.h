#pragma once
#include <benchmark/benchmark.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

// What the engine benchmarks share: the audio thread's float modes, the test
// signals, per-block timing and the real-time-factor counters.
namespace bench_harness {

// As the plug-in sets them on its audio thread.
inline void FlushDenormals()
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
}

// `frames` samples of a sine.
inline std::vector<float> Sine(int frames, double hz, double amplitude, double rate)
{
    constexpr double kTwoPi = 2.0 * 3.14159265358979323846;
    std::vector<float> out(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        out[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(kTwoPi * hz * i / rate));
    return out;
}

// Repeatable white noise in -0.5..0.5, the right channel an inverted half of the left.
struct NoiseSource
{
    uint32_t state = 12345;

    void Fill(float* left, float* right, int n)
    {
        for (int i = 0; i < n; ++i) {
            state = state * 1664525u + 1013904223u;
            const float v = static_cast<float>(state >> 8) / (1 << 24) - 0.5f;
            left[i] = v;
            right[i] = -0.5f * v;
        }
    }
};

// Seconds of stereo audio per CPU second: the real-time factor of one instance on one core.
inline void ReportAudioPerCpuSecond(benchmark::State& state, int64_t frames, double rate)
{
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(frames) / rate, benchmark::Counter::kIsRate);
}

// Times each block on its own, for the worst block against its budget as well as the average.
class BlockTimer
{
public:
    BlockTimer() { seconds.reserve(1 << 16); }

    template <class Block>
    void Run(benchmark::State& state, Block&& block)
    {
        using Clock = std::chrono::steady_clock;
        for (auto _ : state) {
            const auto start = Clock::now();
            block();
            const double took = std::chrono::duration<double>(Clock::now() - start).count();
            seconds.push_back(took);
            total += took;
        }
        std::sort(seconds.begin(), seconds.end());
    }

    // realtime_factor, worst_block_us and block_budget_us for blocks of `frames` at `rate`.
    void Report(benchmark::State& state, int frames, double rate) const
    {
        const double audio = static_cast<double>(state.iterations()) * frames / rate;
        state.counters["realtime_factor"] = total > 0.0 ? audio / total : 0.0;
        state.counters["worst_block_us"] = (seconds.empty() ? 0.0 : seconds.back()) * 1e6;
        state.counters["block_budget_us"] = frames / rate * 1e6;
    }

    double PercentileSeconds(int percent) const
    {
        return seconds.empty() ? 0.0 : seconds[seconds.size() * static_cast<size_t>(percent) / 100];
    }

private:
    std::vector<double> seconds;
    double total = 0.0;
};

} // namespace bench_harness
