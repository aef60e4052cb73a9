#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/dsp/InterpolatedRead.h"
#include "engine/dsp/SincTable.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A ring whose slots hold signal(t) for the last `length` positions before `clock`.
struct RingFixture
{
    std::vector<float> samples;
    HistoryRing ring;

    template <typename Signal>
    RingFixture(int length, long clock, Signal signal) : samples(length, 0.0f)
    {
        for (long t = clock - length; t < clock; ++t)
            if (t >= 0)
                samples[t % length] = static_cast<float>(signal(static_cast<double>(t)));
        ring = {samples.data(), length, static_cast<int>(clock % length), static_cast<double>(clock)};
    }
};

} // namespace

TEST(SincTable, EveryRowOfBothTablesSumsToOne)
{
    for (int factor : {2, 4}) {
        const SincTable& table = GetSincTable(factor);
        ASSERT_EQ(table.halfWidth, 8 * factor);
        ASSERT_EQ(table.coefficients.size(), static_cast<size_t>(65 * 2 * table.halfWidth));
        for (int p = 0; p <= 64; ++p) {
            double sum = 0.0;
            for (int k = 0; k < table.TapCount(); ++k)
                sum += table.Row(p)[k];
            EXPECT_NEAR(sum, 1.0, 1e-12) << "factor " << factor << " row " << p;
        }
    }
}

TEST(SincTable, ZeroOffsetRowIsCentredOnItsReadTap)
{
    const double* row = GetSincTable(2).Row(0);
    for (int m = 1; m <= 15; ++m) {
        EXPECT_NEAR(row[15 - m], row[15 + m], 1e-15) << m;
        EXPECT_LT(row[15 + m], row[15]);
    }
    // The half-offset row is symmetric about the midpoint between taps 15 and 16.
    const double* half = GetSincTable(2).Row(32);
    for (int m = 0; m < 16; ++m)
        EXPECT_NEAR(half[15 - m], half[16 + m], 1e-15) << m;
}

TEST(SincTable, FactorsBelowFourShareTheFactorTwoTable)
{
    EXPECT_EQ(&GetSincTable(0), &GetSincTable(2));
    EXPECT_EQ(&GetSincTable(3), &GetSincTable(2));
    EXPECT_EQ(&GetSincTable(8), &GetSincTable(4));
    EXPECT_NE(&GetSincTable(2), &GetSincTable(4));
}

TEST(ReadLinear, InterpolatesAcrossTheRingSeam)
{
    // Position t holds the value t, so any read must return its own position.
    RingFixture fixture(16, 45, [](double t) { return t; });
    for (double p : {44.0, 40.25, 32.5, 29.0, 30.75})
        EXPECT_NEAR(ReadLinear(fixture.ring, p), p, 1e-5) << p;
    // 45 % 16 = 13: the newest sample (44) sits in slot 12, the oldest (29) in 13;
    // slot 15 -> 0 is the seam.
    EXPECT_NEAR(ReadLinear(fixture.ring, 34.5), 34.5, 1e-5);
}

TEST(ReadLinear, PositionsOutsideTheRingStayInsideTheArray)
{
    RingFixture fixture(16, 45, [](double t) { return t; });
    for (double p : {-100.0, 3.0, 1000.0, 1e12})
        EXPECT_TRUE(std::isfinite(ReadLinear(fixture.ring, p))) << p;
    EXPECT_EQ(ReadLinear(fixture.ring, std::nan("")), 0.0f);
    EXPECT_EQ(ReadLinear(HistoryRing{}, 3.0), 0.0f);
}

TEST(ReadSinc, ReproducesConstantsAndSlowSinesBetweenSamples)
{
    const double cyclesPerSample = 0.01;
    auto sine = [&](double t) { return std::sin(2.0 * kPi * cyclesPerSample * t); };
    RingFixture constant(512, 2000, [](double) { return 0.75; });
    RingFixture wave(512, 2000, sine);
    for (int factor : {2, 4}) {
        const SincTable& table = GetSincTable(factor);
        for (double p : {1800.0, 1800.1, 1850.5, 1900.99, 1923.3}) {
            EXPECT_NEAR(ReadSinc(constant.ring, p, table), 0.75, 1e-6) << factor << " " << p;
            EXPECT_NEAR(ReadSinc(wave.ring, p, table), sine(p), 2e-3) << factor << " " << p;
        }
    }
}

TEST(ReadSinc, TapsNeverReachPastTheNewestSample)
{
    // The slots just after the write index hold the oldest audio; a tap that ran
    // into the future without the clamp would land on them.
    const int length = 256;
    const long clock = 1000;
    RingFixture fixture(length, clock, [](double) { return 1.0; });
    for (int k = 0; k < 40; ++k)
        fixture.samples[(clock + k) % length] = 1e6f;
    for (double p : {clock - 2.0, clock - 1.5, clock - 1.0})
        EXPECT_NEAR(ReadSinc(fixture.ring, p, GetSincTable(2)), 1.0, 1e-6) << p;
}

TEST(RemainderOfPosition, MatchesFmodBitForBit)
{
    // Positions at and around whole multiples of the length (where a rounded
    // quotient lands one off), fractional clock positions, negatives, huge and
    // non-finite values, for lengths from two samples to 78 s at 384 kHz.
    const double lengths[] = {2.0, 3.0, 1023.0, 48002.0, 96001.0, 29952008.0};
    std::vector<double> positions = {0.0, -0.0, 0.5, -0.5, -48002.25, 1e15, 3e200, -7e30, INFINITY, NAN};
    uint64_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const double unit = static_cast<double>(state >> 11) * 0x1.0p-53;
        positions.push_back(unit * std::ldexp(1.0, static_cast<int>(state % 41)));
    }
    for (double length : lengths) {
        for (double k : {1.0, 2.0, 3.0, 1000.0, 123456.0}) {
            const double whole = k * length;
            positions.push_back(whole);
            positions.push_back(std::nextafter(whole, 0.0));
            positions.push_back(std::nextafter(whole, INFINITY));
            positions.push_back(whole - 1e-9);
        }
    }
    for (double length : lengths)
        for (double p : positions) {
            const double want = std::fmod(p, length);
            const double got = RemainderOfPosition(p, length);
            if (std::isnan(want)) {
                EXPECT_TRUE(std::isnan(got)) << p;
                continue;
            }
            ASSERT_EQ(std::signbit(got), std::signbit(want)) << p << " " << length;
            ASSERT_EQ(got, want) << std::hexfloat << p << " " << length;
        }
}

// A ring whose slots follow a whole-number clock: the read that takes whole
// laps off a position must find the very slot the remainder finds, in the first
// lap, around the writer, across the seam and far from the clock.
TEST(ReadLinearModulo, TheWholeClockReadMatchesTheRemainderBitForBit)
{
    const int length = 1000;
    for (const long clock : {300L, 1000L, 5432L, 1234567L}) {
        SCOPED_TRACE(clock);
        RingFixture fixture(length, clock, [](double t) { return std::sin(0.37 * t); });
        std::vector<double> positions = {0.0, 0.5, 999.75, 1000.0, -0.25, -1000.5, 1e13, -1e13, 2.5e12};
        for (double back = 0.0; back < 2.0 * length; back += 7.3)
            positions.push_back(static_cast<double>(clock) - 1.0 - back);
        for (double p : positions) {
            const double remainder = ReadLinearModuloFrame(fixture.ring, p).value;
            const double wholeClock = ReadLinearWholeClockFrame(fixture.ring, p).value;
            ASSERT_EQ(std::memcmp(&remainder, &wholeClock, sizeof(double)), 0) << std::hexfloat << p;
        }
        // The newest sample is at its own position, modulo the length.
        EXPECT_EQ(static_cast<float>(ReadLinearModuloFrame(fixture.ring, clock - 1.0).value),
                  fixture.samples[(clock - 1) % length]);
    }
}

// A negative position so close to a lap boundary that its wrapped remainder
// rounds up to the length is the boundary itself: slot 0, not a read past the end.
TEST(ReadLinearModulo, ARemainderThatRoundsToTheLengthReadsSlotZero)
{
    RingFixture fixture(16, 45, [](double t) { return t; });
    for (double p : {-1e-300, -1e-16}) {
        EXPECT_EQ(SlotOfPosition(p, 16.0), 0.0) << p;
        EXPECT_EQ(ReadLinearModuloFrame(fixture.ring, p).value, fixture.samples[0]) << p;
    }
    EXPECT_EQ(SlotOfPosition(std::nan(""), 16.0), -1.0);
    EXPECT_EQ(ReadLinearModuloFrame(fixture.ring, INFINITY).value, 0.0);
}

// The single-precision reads at whole-number indices wrap both ways.
TEST(ReadSingle, WholeNumberIndicesWrapModuloTheLength)
{
    std::vector<float> samples = {0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f};
    const DelayLineView<1> ring(samples.data(), 8, 0, 0.0);
    EXPECT_EQ(SampleModulo(ring, 13), 5.0f);
    EXPECT_EQ(SampleModulo(ring, -1), 7.0f);
    EXPECT_EQ(ReadLinearSingle(ring, 7, 0.5f), 3.5f); // 7 towards 0 across the seam
    EXPECT_EQ(ReadLinearSingle(ring, -6, 0.25f), 2.25f);
    // Catmull-Rom through a straight line stays on it, between the middle two.
    EXPECT_EQ(ReadCubicSingle(ring, 2, 0.5f), 3.5f);
    EXPECT_EQ(ReadCubicSingle(ring, 10, 0.0f), 3.0f);
}
