#pragma once
#include <cmath>
#include <cstdint>
#include <limits>

namespace EngineMath {

// The audio path's sine, cosine, tanh, exp and pow come from the approximations
// below, which agree with the maths library's to far below anything audible. Built
// with MARLQUIN_REFERENCE_MATHS they are the library's own, bit for bit: the
// reference engine the output tests hold the shipped one against.
#ifdef MARLQUIN_REFERENCE_MATHS
constexpr bool kReferenceMaths = true;
#else
constexpr bool kReferenceMaths = false;
#endif

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// Every generator of the engine replaces a zero seed with this, since xorshift
// would stay at zero for ever.
constexpr uint32_t kZeroSeedReplacement = 0x9e3779b9u;

// The rate a stage runs at when it is prepared with one it cannot use.
constexpr double kDefaultSampleRate = 48000.0;

// The rates the whole engine runs at. Every stage sizes its memory and its
// coefficients for the rate it is prepared with, so a rate far outside this range
// would cost seconds and gigabytes for nothing a host can use.
constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 384000.0;

// A rate that is not finite or not above 0 becomes the default rate; any other is
// pulled into the supported range.
inline double UsableSampleRate(double rate)
{
    if (!(std::isfinite(rate) && rate > 0.0))
        return kDefaultSampleRate;
    return rate < kMinSampleRate ? kMinSampleRate : (rate > kMaxSampleRate ? kMaxSampleRate : rate);
}

// "Rounded to the nearest integer" everywhere in the engine and the panel: halves
// go away from zero, so 2.5 -> 3 and -2.5 -> -3. Values beyond the int range
// saturate and NaN gives 0, because the plain cast is undefined for them.
inline int RoundToInt(double value)
{
    if (!(value == value))
        return 0;
    const double rounded = std::round(value);
    if (rounded >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

// One sample of a one-pole crossfade towards its target, landing on the target
// once within `landing` so that a switch can end exactly at 0 or 1.
inline double StepFade(double mix, double target, double coefficient, double landing)
{
    mix += (target - mix) * coefficient;
    if (std::fabs(target - mix) < landing)
        mix = target;
    return mix;
}

// The same rounding for positions and counts beyond the int range.
inline long long RoundToInt64(double value)
{
    if (!(value == value))
        return 0;
    const double rounded = std::round(value);
    if (rounded >= 9223372036854775807.0)
        return std::numeric_limits<long long>::max();
    if (rounded <= -9223372036854775808.0)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(rounded);
}

} // namespace EngineMath
