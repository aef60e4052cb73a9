#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/dsp/DelayLine.h"
#include "engine/modes/RepeatTapRun.h"

namespace {

constexpr int kLineFrames = 300;
constexpr double kSlice = 7.37;
constexpr int kActive = 12;
// Taps 1, 2, 3, 5, 8, 9, 10 and 11 wait for the run; 0, 4, 6 and 7 come with their sample.
constexpr uint64_t kUnitTaps = 0b1111'0010'1110;
constexpr uint64_t kTransients = (1u << 2) | (1u << 9);
constexpr double kDecay = 0.8;

// A run fed as the repeat engine feeds it: between two samples the line takes
// one frame, and each sample gives the terms of its other taps at once. Each
// sum must be, bit for bit, the one a sample-by-sample sum over the line's
// checked reads gives.
class RepeatTapRunTest : public ::testing::Test
{
protected:
    RepeatTapRunTest()
    {
        line.Allocate(kLineFrames);
        key = {slice, kDecay, kUnitTaps, kTransients, kActive};
        double g = 1.0;
        for (int k = 0; k < RepeatTapRun::kMaxTaps; ++k) {
            gains[k] = k == 10 ? 0.0 : (k == 3 ? 0.5 : 1.0);
            decayPowers[k] = g;
            g *= kDecay;
        }
    }

    void WriteFrames(int count)
    {
        for (int i = 0; i < count; ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Neighbours far apart in size: a blend then depends on every bit
            // of its fraction, since their difference rounds in float.
            const float scale = clock % 2 == 0 ? 1.0f : 1e-3f;
            const float left = scale * (static_cast<float>(seed >> 8) / (1 << 24) - 0.5f);
            const float right = scale * 0.25f - left * 0.75f;
            line.Write({left, right});
            ++clock;
        }
    }

    DelayLineView<2> View() const { return line.ViewAt(static_cast<double>(clock)); }

    static double OwnTerm(int k, int j, int channel) { return 0.001 * (k + 1) * (j + 2) * (channel == 0 ? 1.0 : -1.5); }

    // Pushes a sample at the current clock with its own taps' terms, and
    // works out its sum the slow way.
    void PushSample(int j)
    {
        const DelayLineView<2> view = View();
        RepeatTapRun::Sample sample;
        sample.index = j;
        sample.now = view.clock;
        sample.writeIndex = view.writeIndex;
        sample.dipCurve = 0.3 + 0.041 * j;
        StereoDouble* column = run.NextColumn();
        double sumLeft = 0.0;
        double sumRight = 0.0;
        for (int k = 0; k < kActive; ++k) {
            double left = 0.0;
            double right = 0.0;
            if ((kUnitTaps >> k) & 1u) {
                const DelayFrame<2> read = view.ReadWritten(view.clock - static_cast<double>(k + 1) * slice);
                const double dip = ((kTransients >> k) & 1u) ? sample.dipCurve : 1.0;
                left = gains[k] * (read.left * dip) * decayPowers[k];
                right = gains[k] * (read.right * dip) * decayPowers[k];
            } else {
                left = OwnTerm(k, j, 0);
                right = OwnTerm(k, j, 1);
                column[k * RepeatTapRun::Stride()] = StereoDouble(left, right);
            }
            sumLeft += left;
            sumRight += right;
        }
        expected.push_back({sumLeft, sumRight});
        run.Push(sample);
    }

    void ExpectSumsAsOneByOne()
    {
        run.Finish(line.Frames(), static_cast<std::ptrdiff_t>(line.Length()));
        ASSERT_EQ(run.Length(), static_cast<int>(expected.size()));
        for (int j = 0; j < run.Length(); ++j) {
            SCOPED_TRACE(j);
            const DelayFrame<2>& sum = run.At(j).sum;
            EXPECT_EQ(std::memcmp(&sum.left, &expected[j].left, sizeof(double)), 0) << sum.left;
            EXPECT_EQ(std::memcmp(&sum.right, &expected[j].right, sizeof(double)), 0) << sum.right;
        }
    }

    DelayLine<2> line;
    RepeatTapRun run;
    RepeatTapRun::Key key;
    double gains[RepeatTapRun::kMaxTaps] = {};
    double decayPowers[RepeatTapRun::kMaxTaps] = {};
    std::vector<DelayFrame<2>> expected;
    double slice = kSlice;
    uint64_t clock = 0;
    uint32_t seed = 12345u;
};

struct RunCase
{
    const char* name;
    double slice;
    uint64_t firstClock;     // of the first sample
    std::size_t firstWriter; // the write slot at the first sample
    int framesBefore;        // written before the first sample
    int samples;
    int skipEvery; // every this many samples, one clock step without a sample; 0: none
};

// Just over 8 samples: past 2^24 a read position minus the offset rounds to the
// whole number above, so positions there step by two frames once.
constexpr double kSliceJustOverWhole = 8.0 + 0x1p-30;
constexpr uint64_t kTwoTo24 = uint64_t{1} << 24;

// With kSlice the run's taps read from 15 (tap 1), 23 (tap 2), 30, 45, 67, 74
// and 89 (tap 11) frames behind the writer, each over a stretch of 17 frames in
// a full run. With the writer at slot 7 at the first sample, tap 1's stretch
// crosses the line's end, tap 2's passes it by its last frame only, and the
// longer taps' stretches start from a slot found across the end.
constexpr std::size_t kWriterBelowTap2 = 7;
// From clock 136 on, the read positions of taps 1 and 2 cross 128, where the
// spacing of doubles doubles: past it their fractions round to one bit fewer,
// and for these two offsets the bit lost is not zero. From clock 120 no
// position crosses a spacing that rounds its fraction.
constexpr uint64_t kClockAcross128 = 136;
constexpr uint64_t kClockWithinSpacings = 120;

TEST_F(RepeatTapRunTest, SumsMatchTheSampleBySampleSum)
{
    constexpr int kFull = RepeatTapRun::kLength;
    const RunCase cases[] = {
        {"a full run of consecutive samples", kSlice, kClockWithinSpacings, 120, 120, kFull, 0},
        {"a short run", kSlice, kClockWithinSpacings, 120, 120, 5, 0},
        {"samples with clock steps between them", kSlice, kClockWithinSpacings, 120, 120, 10, 3},
        {"a run whose writer crosses the end of the line", kSlice, kClockWithinSpacings, kLineFrames - 6, 120, kFull,
         0},
        {"a stretch that crosses the end of the line", kSlice, kClockWithinSpacings, kWriterBelowTap2, 120, kFull, 0},
        {"a run whose samples' fractions differ in their low bits", kSlice, kClockAcross128, 120, 120, kFull, 0},
        {"a run whose oldest tap reads the first frames written", kSlice, 90, 90, 90, 12, 0},
        {"positions crossing 2^24", kSliceJustOverWhole, kTwoTo24 + 10, 120, 120, kFull, 0},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(line.Allocate(kLineFrames));
        line.Skip((c.firstWriter + kLineFrames - c.framesBefore % kLineFrames) % kLineFrames);
        clock = c.firstClock - static_cast<uint64_t>(c.framesBefore);
        slice = c.slice;
        key.slice = c.slice;
        expected.clear();
        run.Clear();
        WriteFrames(c.framesBefore);
        ASSERT_EQ(line.WriteIndex(), c.firstWriter);
        run.Open(key, gains, decayPowers);
        for (int j = 0; j < c.samples; ++j) {
            ASSERT_TRUE(run.Takes(key, View().clock));
            PushSample(j);
            WriteFrames(1);
            if (c.skipEvery > 0 && j % c.skipEvery == c.skipEvery - 1)
                WriteFrames(1);
        }
        ExpectSumsAsOneByOne();
    }
}

TEST_F(RepeatTapRunTest, ASampleJoinsOnlyWithTheSameKeyAndWithinTheRunsSpan)
{
    WriteFrames(100);
    EXPECT_TRUE(run.Takes(key, View().clock)) << "an empty run takes any sample";
    run.Open(key, gains, decayPowers);
    PushSample(0);
    RepeatTapRun::Key other = key;
    other.decay = 0.81;
    EXPECT_FALSE(run.Takes(other, View().clock + 1.0));
    other = key;
    other.unitTaps &= ~uint64_t{2};
    EXPECT_FALSE(run.Takes(other, View().clock + 1.0));
    EXPECT_TRUE(run.Takes(key, View().clock + RepeatTapRun::kLength - 1.0));
    EXPECT_FALSE(run.Takes(key, View().clock + RepeatTapRun::kLength));
}

} // namespace
