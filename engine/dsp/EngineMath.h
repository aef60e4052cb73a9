#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "engine/dsp/StereoDouble.h"

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
constexpr double kHalfPi = 0.5 * kPi;

namespace Detail {

// Nearest integer of |x| < 2^51 as a double, in the current (nearest) rounding mode.
template <class T>
T RoundNearest(T x)
{
    constexpr double kShifter = 6755399441055744.0; // 1.5 * 2^52
    return (x + kShifter) - kShifter;
}

// sin(r) for |r| <= pi/2: Taylor series to r^19, within 1e-15.
template <class T>
T SinKernel(T r)
{
    const T r2 = r * r;
    T p = -1.0 / 121645100408832000.0;
    p = p * r2 + 1.0 / 355687428096000.0;
    p = p * r2 - 1.0 / 1307674368000.0;
    p = p * r2 + 1.0 / 6227020800.0;
    p = p * r2 - 1.0 / 39916800.0;
    p = p * r2 + 1.0 / 362880.0;
    p = p * r2 - 1.0 / 5040.0;
    p = p * r2 + 1.0 / 120.0;
    p = p * r2 - 1.0 / 6.0;
    return r + r * r2 * p;
}

constexpr double kPiHigh = 3.141592653589793116;
constexpr double kPiLow = 1.2246467991473532e-16;

// sin(x) for |x| below about 1e12: x less the nearest multiple k of pi (pi in two
// parts, so the reduction stays exact to the last bits), sign flipped for odd k.
inline double FastSin(double x)
{
    const double k = RoundNearest(x * (1.0 / kPi));
    const double r = (x - k * kPiHigh) - k * kPiLow;
    const double s = SinKernel(r);
    return (static_cast<long long>(k) & 1) ? -s : s;
}

inline StereoDouble FastSin(StereoDouble x)
{
    const StereoDouble k = RoundNearest(x * (1.0 / kPi));
    const StereoDouble r = (x - k * kPiHigh) - k * kPiLow;
    const StereoDouble odd = Abs(k - 2.0 * RoundNearest(k * 0.5)); // 1 for odd k, else 0
    return SinKernel(r) * (1.0 - 2.0 * odd);
}

// e^r for |r| <= ln 2 / 2 by its Taylor series to r^13 (within 2e-16 relative).
template <class T>
T ExpKernel(T r)
{
    T p = 1.0 / 6227020800.0;
    p = p * r + 1.0 / 479001600.0;
    p = p * r + 1.0 / 39916800.0;
    p = p * r + 1.0 / 3628800.0;
    p = p * r + 1.0 / 362880.0;
    p = p * r + 1.0 / 40320.0;
    p = p * r + 1.0 / 5040.0;
    p = p * r + 1.0 / 720.0;
    p = p * r + 1.0 / 120.0;
    p = p * r + 1.0 / 24.0;
    p = p * r + 1.0 / 6.0;
    p = p * r + 0.5;
    p = p * r + 1.0;
    return p * r + 1.0;
}

constexpr double kLn2High = 0.6931471803691238;
constexpr double kLn2Low = 1.9082149292705877e-10;

// exp(x): 2^n times e^r with n the nearest integer of x / ln 2 and |r| <= ln 2 / 2.
// Below -708 the result is 0, above 709 infinity, NaN stays NaN.
inline double FastExp(double x)
{
    if (!(x > -708.0))
        return x != x ? x : 0.0;
    if (x > 709.0)
        return std::numeric_limits<double>::infinity();
    const double n = RoundNearest(x * 1.4426950408889634);
    const double p = ExpKernel((x - n * kLn2High) - n * kLn2Low);
    // 2^n split in two factors so that n down to -1022 - 52 and up to 1023 stays representable.
    const long long half = static_cast<long long>(n) / 2;
    const auto twoTo = [](long long e) {
        const uint64_t bits = static_cast<uint64_t>(e + 1023) << 52;
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    };
    return p * twoTo(half) * twoTo(static_cast<long long>(n) - half);
}

// x held within low..high.
inline double Hold(double x, double low, double high)
{
    return x > high ? high : (x < low ? low : x);
}

inline StereoDouble Hold(StereoDouble x, double low, double high)
{
    return Select(x > high, high, Select(x < low, low, x));
}

// The same for both lanes at once; results that would fall below the normal range are 0.
inline StereoDouble FastExp(StereoDouble x)
{
    const StereoDouble held = Hold(x, -708.0, 709.0);
    const StereoDouble n = RoundNearest(held * 1.4426950408889634);
    const StereoDouble e = ExpKernel((held - n * kLn2High) - n * kLn2Low) * PowerOfTwo(n);
    return Select(x > 709.0, std::numeric_limits<double>::infinity(), Select(x < -708.0, 0.0, e));
}

// The library's function of x, lane by lane for two.
template <class F>
double Library(double x, F f)
{
    return f(x);
}

template <class F>
StereoDouble Library(StereoDouble x, F f)
{
    return StereoDouble(f(x.Left()), f(x.Right()));
}

} // namespace Detail

// Sin, Exp and Tanh take a double or a StereoDouble (both lanes alike).
template <class T>
T Sin(T x)
{
    if constexpr (kReferenceMaths)
        return Detail::Library(x, [](double v) { return std::sin(v); });
    else
        return Detail::FastSin(x);
}

inline double Cos(double x)
{
    if constexpr (kReferenceMaths)
        return std::cos(x);
    else
        return Detail::FastSin(x + kHalfPi);
}

template <class T>
T Exp(T x)
{
    if constexpr (kReferenceMaths)
        return Detail::Library(x, [](double v) { return std::exp(v); });
    else
        return Detail::FastExp(x);
}

// tanh through exp: 1 - 2 / (e^2x + 1), exact to a few 1e-16 absolute; beyond +-20
// the result rounds to +-1 in any case.
template <class T>
T Tanh(T x)
{
    if constexpr (kReferenceMaths)
        return Detail::Library(x, [](double v) { return std::tanh(v); });
    else
        return 1.0 - 2.0 / (Detail::FastExp(2.0 * Detail::Hold(x, -20.0, 20.0)) + 1.0);
}

// x / c for a constant c: the fast form multiplies by the reciprocal, worked out
// when compiled (one rounding more, and a multiplication costs a fraction of a
// division on the audio path).
template <class T>
T Divide(T x, double c)
{
    if constexpr (kReferenceMaths)
        return x / c;
    else
        return x * (1.0 / c);
}

// 10^(db / 20).
inline double DecibelsToGain(double db)
{
    if constexpr (kReferenceMaths)
        return std::pow(10.0, db / 20.0);
    else
        return Detail::FastExp(db * (2.302585092994046 / 20.0));
}

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

// x held within 0..1 as std::clamp holds it: a NaN stays NaN.
inline double Clamp01(double x)
{
    return std::clamp(x, 0.0, 1.0);
}

// x held within 0..1 with a NaN read as 0, for a value that must land in range
// whatever it holds.
inline double Clamp01OrZero(double x)
{
    return x == x ? Clamp01(x) : 0.0;
}

// Counts one more, staying at the type's largest value rather than wrapping:
// counters that run for the life of a session never overflow.
template <class T>
void SaturatingIncrement(T& counter)
{
    static_assert(std::is_integral_v<T>, "a counter is an integer");
    if (counter < std::numeric_limits<T>::max())
        ++counter;
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

// fmod(x, 1), without the library call for the usual x > 0: there x - floor(x) is
// exact, as fmod is.
inline double FractionOf(double x)
{
    return x > 0.0 ? x - std::floor(x) : std::fmod(x, 1.0);
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

// The same bits: unlike ==, tells -0 from 0 and finds a NaN equal to itself, so a
// state compared this way is really the state it was.
inline bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A sample clock after `count` steps of 1.0 each, bit for bit: whole clocks
// below 2^52 add a count exactly; any other clock takes the steps one by one.
inline double ClockAfterSteps(double clock, int count)
{
    if (clock >= 0.0 && clock < 4503599627370496.0 && clock == std::floor(clock))
        return clock + count;
    for (int i = 0; i < count; ++i)
        clock += 1.0;
    return clock;
}

} // namespace EngineMath
