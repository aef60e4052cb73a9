#pragma once
#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <vector>

// Small measuring tools for the audio-stage tests: the audio thread's
// floating-point mode, test tones and single-bin spectrum probes.
namespace audio_probe {

constexpr double kPi = 3.141592653589793;

// Flush-to-zero and denormals-are-zero on (or off) for a scope, as the plug-in
// sets them on its audio thread; the previous mode comes back afterwards.
class FloatModeScope
{
public:
    explicit FloatModeScope(bool flushToZero = true)
        : savedFlush(_MM_GET_FLUSH_ZERO_MODE()), savedDenormals(_MM_GET_DENORMALS_ZERO_MODE())
    {
        _MM_SET_FLUSH_ZERO_MODE(flushToZero ? _MM_FLUSH_ZERO_ON : _MM_FLUSH_ZERO_OFF);
        _MM_SET_DENORMALS_ZERO_MODE(flushToZero ? _MM_DENORMALS_ZERO_ON : _MM_DENORMALS_ZERO_OFF);
    }
    ~FloatModeScope()
    {
        _MM_SET_FLUSH_ZERO_MODE(savedFlush);
        _MM_SET_DENORMALS_ZERO_MODE(savedDenormals);
    }
    FloatModeScope(const FloatModeScope&) = delete;
    FloatModeScope& operator=(const FloatModeScope&) = delete;

private:
    unsigned savedFlush;
    unsigned savedDenormals;
};

inline std::vector<float> Sine(double hz, double amplitude, double rate, int count, double phase = 0.0)
{
    std::vector<float> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        out[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * i / rate + phase));
    return out;
}

// Amplitude of the component at `hz` in samples [begin, end), Hann-windowed so
// that neighbouring tones leak little into the bin.
template <typename Sample>
double ToneAmplitude(const std::vector<Sample>& x, double hz, double rate, size_t begin, size_t end)
{
    double re = 0.0;
    double im = 0.0;
    double windowSum = 0.0;
    const double length = static_cast<double>(end - begin);
    for (size_t i = begin; i < end; ++i) {
        const double t = static_cast<double>(i - begin);
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * t / length);
        const double angle = 2.0 * kPi * hz * static_cast<double>(i) / rate;
        re += w * x[i] * std::cos(angle);
        im -= w * x[i] * std::sin(angle);
        windowSum += w;
    }
    return 2.0 * std::sqrt(re * re + im * im) / windowSum;
}

template <typename Sample>
double Rms(const std::vector<Sample>& x, size_t begin, size_t end)
{
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(end - begin));
}

inline double Db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

} // namespace audio_probe
