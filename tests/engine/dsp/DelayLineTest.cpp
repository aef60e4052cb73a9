#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "engine/dsp/DelayLine.h"
#include "tests/engine/AllocationProbe.h"

namespace {

// A stereo line of `length` frames holding frame t = (t, -t) for t below `written`.
struct StereoLine
{
    DelayLine<2> line;
    double clock = 0.0;

    StereoLine(std::size_t length, int written)
    {
        EXPECT_TRUE(line.Allocate(length));
        for (int t = 0; t < written; ++t) {
            line.Write({static_cast<float>(t), static_cast<float>(-t)});
            clock += 1.0;
        }
    }
};

} // namespace

TEST(DelayLine, WritesWrapAndSkipsLandWhereWritesWould)
{
    StereoLine written(5, 12);
    EXPECT_EQ(written.line.WriteIndex(), 12u % 5u);
    // The last five frames, each at its clock's slot.
    for (int t = 7; t < 12; ++t) {
        EXPECT_EQ(written.line.FrameAt(static_cast<std::size_t>(t % 5))[0], static_cast<float>(t));
        EXPECT_EQ(written.line.FrameAt(static_cast<std::size_t>(t % 5))[1], static_cast<float>(-t));
    }
    for (std::size_t count : {0u, 1u, 4u, 5u, 6u, 23u}) {
        StereoLine skipped(5, 3);
        StereoLine stepped(5, 3);
        skipped.line.Skip(count);
        for (std::size_t i = 0; i < count; ++i)
            stepped.line.Advance();
        EXPECT_EQ(skipped.line.WriteIndex(), stepped.line.WriteIndex()) << count;
    }
}

TEST(DelayLine, AllocateStartsOverGrowKeepsFramesAndRefusalLeavesItEmpty)
{
    StereoLine reused(4, 3);
    ASSERT_TRUE(reused.line.Allocate(4));
    EXPECT_EQ(reused.line.WriteIndex(), 0u);
    EXPECT_EQ(reused.line.FrameAt(1)[0], 0.0f);

    StereoLine ring(4, 3);
    ASSERT_TRUE(ring.line.Grow(6));
    EXPECT_EQ(ring.line.Length(), 6u);
    EXPECT_EQ(ring.line.WriteIndex(), 3u);
    EXPECT_EQ(ring.line.FrameAt(2)[1], -2.0f);
    EXPECT_EQ(ring.line.FrameAt(5)[0], 0.0f);
    // Shrinking past the writer starts it over.
    ASSERT_TRUE(ring.line.Grow(2));
    EXPECT_EQ(ring.line.WriteIndex(), 0u);

    ring.line.Clear();
    EXPECT_EQ(ring.line.FrameAt(1)[0], 0.0f);

    DelayLine<1> refused;
    {
        AllocationProbe::FailLarge refuse(1 << 20);
        EXPECT_FALSE(refused.Allocate(1 << 22));
    }
    EXPECT_TRUE(refused.Empty());
    EXPECT_EQ(refused.ViewAt(5.0).ReadWritten(2.0).value, 0.0);
}

// A read of what has been written: between frames it steps from the earlier one,
// the newest is not blended with the slot after it, and anything outside what the
// line holds is silent.
TEST(DelayLine, ReadWrittenInterpolatesOnlyWhatTheLineHolds)
{
    StereoLine ring(8, 11); // holds t = 4..10; slot 3 is next to be written
    const DelayLine<2>::View view = ring.line.ViewAt(ring.clock);
    struct Case
    {
        double position;
        double left;
    };
    const Case cases[] = {{4.25, 4.25}, {9.5, 9.5}, {10.0, 10.0}, {10.75, 10.0},      {11.0, 0.0},
                          {3.5, 0.0},   {2.5, 0.0}, {-1.0, 0.0},  {std::nan(""), 0.0}};
    for (const Case& c : cases) {
        const DelayFrame<2> frame = view.ReadWritten(c.position);
        EXPECT_EQ(frame.left, c.left) << c.position;
        EXPECT_EQ(frame.right, -c.left) << c.position;
    }
    // Half a step from a to b, as a + (b - a) / 2, across the ring's seam.
    EXPECT_EQ(view.ReadWritten(7.5).left, 7.5);
}

// Reads at a delay behind the writer, across the ring's wrap: the linear read
// blends the two slots around the place, and the six-point Lagrange read gives
// back a quintic exactly.
TEST(DelayLine, TapReadsBehindTheWriterAcrossTheWrap)
{
    constexpr std::size_t kLength = 16;
    const auto curve = [](double t) { return 0.001 * t * t * t - 0.02 * t * t + 0.5 * t + 1.0; };
    DelayLine<1> line;
    ASSERT_TRUE(line.Allocate(kLength));
    for (int t = 0; t < 20; ++t) {
        const float frame[1] = {static_cast<float>(curve(t))};
        line.Write(frame);
    }
    const DelayLineView<1> view = line.ViewAt(20.0);
    struct Case
    {
        double delay;
        double time; // of the place read
    };
    for (const Case& c : {Case{3.25, 16.75}, Case{6.5, 13.5}, Case{4.75, 15.25}}) {
        const DelayTap tap = TapBehind(view.writeIndex, c.delay, view.length);
        const double below = static_cast<float>(curve(std::floor(c.time)));
        const double above = static_cast<float>(curve(std::floor(c.time) + 1.0));
        const double fraction = c.time - std::floor(c.time);
        EXPECT_NEAR(ReadLinearTap(view, tap).value, below + (above - below) * fraction, 1e-9) << c.delay;
        EXPECT_NEAR(Lagrange6(tap.fraction).Read(view, tap.index), curve(c.time), 1e-5) << c.delay;
    }
}

// Delays that no caller means (beyond the ring, negative, not a number) still
// land on a slot of the ring, and a huge one does not take for ever.
TEST(DelayLine, TapsOfDelaysOutsideTheRingStayOnIt)
{
    constexpr std::ptrdiff_t kLength = 16;
    const double delays[] = {std::nan(""),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             1e300,
                             -1.0,
                             16.0,
                             15.75};
    for (const std::ptrdiff_t slot : {std::ptrdiff_t{0}, std::ptrdiff_t{7}, kLength - 1}) {
        for (const double delay : delays) {
            const DelayTap tap = TapBehind(slot, delay, kLength);
            EXPECT_GE(tap.index, 0) << slot << " " << delay;
            EXPECT_LT(tap.index, kLength) << slot << " " << delay;
            EXPECT_TRUE(tap.fraction >= 0.0 && tap.fraction < 1.0) << slot << " " << delay;
        }
    }
}

// A read behind the writer gives the same value, bit for bit, wherever the writer
// stands on the ring: whether the slots it needs lie side by side in the frames
// or across the seam, and where rounding carries a tap onto the slot one past
// the end. Twelve frames are written from each starting slot of a ring of
// sixteen; the unwritten slots stay silent, so every start holds the same past.
TEST(DelayLine, TapReadsAgreeWhereverTheWriterStands)
{
    constexpr std::size_t kLength = 16;
    constexpr int kWritten = 12;
    const auto signal = [](int t) { return t < kWritten ? static_cast<float>(std::sin(0.7 * t) + 0.1 * t) : 0.0f; };
    const double delays[] = {0.0, 1e-17, 0.25, 1.0, 2.5, 3.0, 4.75, 7.5, 9.125};
    constexpr int kDelays = sizeof(delays) / sizeof(delays[0]);

    struct Reads
    {
        double mono[kDelays];
        double lagrange[kDelays];
        DelayFrame<2> stereo[kDelays];
    };
    const auto readFrom = [&](std::size_t start) {
        DelayLine<1> mono;
        DelayLine<2> stereo;
        EXPECT_TRUE(mono.Allocate(kLength));
        EXPECT_TRUE(stereo.Allocate(kLength));
        mono.Skip(start);
        stereo.Skip(start);
        for (int t = 0; t < kWritten; ++t) {
            mono.Write({signal(t)});
            stereo.Write({signal(t), -signal(t)});
        }
        const DelayLineView<1> monoView = mono.ViewAt(0.0);
        const DelayLineView<2> stereoView = stereo.ViewAt(0.0);
        Reads reads{};
        for (int d = 0; d < kDelays; ++d) {
            const DelayTap tap = TapBehind(monoView.writeIndex, delays[d], monoView.length);
            reads.mono[d] = ReadLinearTap(monoView, tap).value;
            reads.lagrange[d] = Lagrange6(tap.fraction).Read(monoView, tap.index);
            reads.stereo[d] = ReadLinearTap(stereoView, TapBehind(stereoView.writeIndex, delays[d], stereoView.length));
        }
        return reads;
    };

    // Against the blend of the written frames, from the writer at slot 0.
    const Reads first = readFrom(0);
    for (int d = 0; d < kDelays; ++d) {
        const double time = kWritten - delays[d];
        const int below = static_cast<int>(std::floor(time));
        const double fraction = time - below;
        const double expected = signal(below) * (1.0 - fraction) + signal(below + 1) * fraction;
        EXPECT_EQ(first.mono[d], expected) << delays[d];
        EXPECT_EQ(first.stereo[d].left, expected) << delays[d];
        EXPECT_EQ(first.stereo[d].right, -expected) << delays[d];
    }
    for (std::size_t start = 1; start < kLength; ++start) {
        const Reads reads = readFrom(start);
        for (int d = 0; d < kDelays; ++d) {
            EXPECT_EQ(reads.mono[d], first.mono[d]) << start << " " << delays[d];
            EXPECT_EQ(reads.lagrange[d], first.lagrange[d]) << start << " " << delays[d];
            EXPECT_EQ(reads.stereo[d].left, first.stereo[d].left) << start << " " << delays[d];
            EXPECT_EQ(reads.stereo[d].right, first.stereo[d].right) << start << " " << delays[d];
        }
    }
}
