#include "engine/dsp/EngineMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

// Halves round away from zero (2.5 -> 3, not to the even 2): integer parameters
// such as Loop Voices or Sync Division must read the same as the panel shows them.
TEST(EngineMath, RoundToIntTakesHalvesAwayFromZeroAndSaturates)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr long long kMax64 = std::numeric_limits<long long>::max();
    constexpr long long kMin64 = std::numeric_limits<long long>::min();
    struct Case
    {
        double value;
        int rounded;
        long long rounded64;
    } cases[] = {
        {0.5, 1, 1},
        {1.5, 2, 2},
        {2.5, 3, 3},
        {-0.5, -1, -1},
        {-2.5, -3, -3},
        {2.4999999, 2, 2},
        {-2.4999999, -2, -2},
        {4294967296.5, kMax, 4294967297LL},
        {1e300, kMax, kMax64},
        {-1e300, kMin, kMin64},
        {std::numeric_limits<double>::infinity(), kMax, kMax64},
        {std::numeric_limits<double>::quiet_NaN(), 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EngineMath::RoundToInt(c.value), c.rounded) << c.value;
        EXPECT_EQ(EngineMath::RoundToInt64(c.value), c.rounded64) << c.value;
    }
}

// The audio path's fast sine, cosine, exp, tanh and decibel forms against the maths
// library, over the arguments the stages give them (phases of many cycles, clip
// exponents, saturator drives, ducking levels): errors this small stay some 200 dB
// below the signal.
TEST(EngineMath, FastFormsMatchTheLibrary)
{
    const auto kScalarExp = [](double x) { return EngineMath::Detail::FastExp(x); };
    struct Case
    {
        const char* name;
        std::function<double(double)> fast;
        std::function<double(double)> exact;
        double from, to;
        double tolerance; // absolute, or relative where `relative`
        bool relative;
    } cases[] = {
        {"Sin", [](double x) { return EngineMath::Detail::FastSin(x); }, [](double x) { return std::sin(x); }, -200.0,
         200.0, 5e-14, false},
        {"Sin, two lanes", [](double x) { return EngineMath::Detail::FastSin(StereoDouble(x, 1.0 - x)).Left(); },
         [](double x) { return std::sin(x); }, -200.0, 200.0, 5e-14, false},
        {"Sin, two lanes, right",
         [](double x) { return EngineMath::Detail::FastSin(StereoDouble(1.0 - x, x)).Right(); },
         [](double x) { return std::sin(x); }, -200.0, 200.0, 5e-14, false},
        {"Sin, far", [](double x) { return EngineMath::Detail::FastSin(x); }, [](double x) { return std::sin(x); }, 1e5,
         1e5 + 50.0, 1e-11, false},
        {"Cos", [](double x) { return EngineMath::Detail::FastSin(x + 0.5 * EngineMath::kPi); },
         [](double x) { return std::cos(x); }, -200.0, 200.0, 5e-14, false},
        {"Exp", kScalarExp, [](double x) { return std::exp(x); }, -707.0, 709.0, 2e-15, true},
        {"Exp, small", kScalarExp, [](double x) { return std::exp(x); }, -3.0, 3.0, 1e-15, true},
        {"Exp, two lanes", [](double x) { return EngineMath::Detail::FastExp(StereoDouble(x, -x)).Left(); },
         [](double x) { return std::exp(x); }, -707.0, 708.0, 2e-15, true},
        {"Exp, two lanes, right", [](double x) { return EngineMath::Detail::FastExp(StereoDouble(-x, x)).Right(); },
         [](double x) { return std::exp(x); }, -707.0, 708.0, 2e-15, true},
        {"Tanh", [](double x) { return EngineMath::Tanh(x); }, [](double x) { return std::tanh(x); }, -30.0, 30.0,
         1e-15, false},
        {"Tanh, two lanes", [](double x) { return EngineMath::Tanh(StereoDouble(x, 0.5)).Left(); },
         [](double x) { return std::tanh(x); }, -30.0, 30.0, 1e-15, false},
    };
    for (const Case& c : cases) {
        double worst = 0.0;
        constexpr int kSteps = 200000;
        for (int i = 0; i <= kSteps; ++i) {
            const double x = c.from + (c.to - c.from) * i / kSteps;
            const double exact = c.exact(x);
            const double error = std::fabs(c.fast(x) - exact) / (c.relative ? std::fabs(exact) : 1.0);
            worst = std::max(worst, error);
        }
        EXPECT_LE(worst, c.tolerance) << c.name;
    }
}

TEST(EngineMath, FastExpKeepsTheEdges)
{
    using EngineMath::Detail::FastExp;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FastExp(0.0), 1.0);
    EXPECT_EQ(FastExp(-kInf), 0.0);
    EXPECT_EQ(FastExp(-800.0), 0.0);
    EXPECT_EQ(FastExp(710.0), kInf);
    EXPECT_EQ(FastExp(kInf), kInf);
    EXPECT_TRUE(std::isnan(FastExp(std::numeric_limits<double>::quiet_NaN())));
    // The smallest normal results still scale by 2^n exactly.
    EXPECT_NEAR(FastExp(-707.5) / std::exp(-707.5), 1.0, 1e-14);
    EXPECT_NEAR(FastExp(708.9) / std::exp(708.9), 1.0, 1e-14);

    const StereoDouble lanes = FastExp(StereoDouble(-kInf, 710.0));
    EXPECT_EQ(lanes.Left(), 0.0);
    EXPECT_EQ(lanes.Right(), kInf);
    EXPECT_TRUE(std::isnan(FastExp(StereoDouble(std::numeric_limits<double>::quiet_NaN(), 0.0)).Left()));
    EXPECT_EQ(FastExp(StereoDouble(std::numeric_limits<double>::quiet_NaN(), 0.0)).Right(), 1.0);
}

TEST(EngineMath, FractionOfIsFmodByOne)
{
    for (double x : {0.0, -0.0, 0.25, 1.0, 1.75, 3.0 - 1e-16, 12345.678, 4503599627370495.5, 1e300, -0.25, -7.5}) {
        EXPECT_EQ(EngineMath::FractionOf(x), std::fmod(x, 1.0)) << x;
        EXPECT_EQ(std::signbit(EngineMath::FractionOf(x)), std::signbit(std::fmod(x, 1.0))) << x;
    }
    EXPECT_TRUE(std::isnan(EngineMath::FractionOf(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(EngineMath::FractionOf(std::numeric_limits<double>::infinity())));
}

// The two holds differ only for NaN, which the callers of the first rule out or
// want to see; both keep a negative zero as it is.
TEST(EngineMath, ClampsToTheUnitRangeAndOnlyOneReadsNanAsZero)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        double x;
        double held;
    };
    for (const Case& c : {Case{-0.5, 0.0}, Case{0.25, 0.25}, Case{1.5, 1.0}, Case{-inf, 0.0}, Case{inf, 1.0}}) {
        EXPECT_EQ(EngineMath::Clamp01(c.x), c.held) << c.x;
        EXPECT_EQ(EngineMath::Clamp01OrZero(c.x), c.held) << c.x;
    }
    EXPECT_TRUE(std::isnan(EngineMath::Clamp01(nan)));
    EXPECT_TRUE(EngineMath::SameBits(EngineMath::Clamp01OrZero(nan), 0.0));
    EXPECT_TRUE(std::signbit(EngineMath::Clamp01(-0.0)));
    EXPECT_TRUE(std::signbit(EngineMath::Clamp01OrZero(-0.0)));
}

TEST(EngineMath, SaturatingIncrementStopsAtTheLargestValue)
{
    int32_t signedCount = std::numeric_limits<int32_t>::max() - 1;
    uint32_t count = std::numeric_limits<uint32_t>::max() - 1;
    uint64_t wideCount = std::numeric_limits<uint64_t>::max() - 1;
    for (int i = 0; i < 2; ++i) {
        EngineMath::SaturatingIncrement(signedCount);
        EngineMath::SaturatingIncrement(count);
        EngineMath::SaturatingIncrement(wideCount);
    }
    EXPECT_EQ(signedCount, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(count, std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(wideCount, std::numeric_limits<uint64_t>::max());
}
