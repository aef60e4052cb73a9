#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/modes/PitchVoice.h"
#include "tests/engine/AudioProbe.h"

namespace {

constexpr double kRate = 48000.0;

// A ring holding a whole number of periods of a sine, so that every read
// position, wrapped or not, sees the same continuous tone.
struct VoiceOverTone
{
    VoiceOverTone(double hz, int length, double ratio) : ring(audio_probe::Sine(hz, 1.0, kRate, length))
    {
        voice.Prepare(kRate, ring.data(), length, nullptr);
        voice.SetRatio(ratio);
        voice.SetBlockClock(blockClock);
        voice.SetReadDelay(voice.Latency() + 256.0);
    }

    std::vector<float> Render(int count)
    {
        std::vector<float> out(static_cast<size_t>(count));
        for (int i = 0; i < count; i += 256) {
            voice.Render(out.data() + i, std::min(256, count - i));
            blockClock += 256.0;
            voice.SetBlockClock(blockClock);
        }
        return out;
    }

    std::vector<float> ring;
    double blockClock = 10.0 * static_cast<double>(ring.size());
    PitchVoice voice;
};

int ZeroCrossings(const std::vector<float>& x, size_t begin, size_t end)
{
    int count = 0;
    for (size_t i = begin + 1; i < end; ++i)
        if ((x[i - 1] < 0.0f) != (x[i] < 0.0f))
            ++count;
    return count;
}

} // namespace

TEST(PitchVoice, RatioOutsideItsRangeIsReplacedOrClamped)
{
    struct Case
    {
        double given;
        double expected;
    };
    const Case cases[] = {
        {0.0, 1.0}, {-2.0, 1.0}, {std::numeric_limits<double>::quiet_NaN(), 1.0},
        {8.0, 4.0}, {0.1, 0.25}, {std::numeric_limits<double>::infinity(), 4.0},
        {1.5, 1.5},
    };
    std::vector<float> ring(48000, 0.0f);
    PitchVoice voice;
    voice.Prepare(kRate, ring.data(), 48000, nullptr);
    for (const Case& c : cases) {
        voice.SetRatio(c.given);
        EXPECT_EQ(voice.Ratio(), c.expected) << "given " << c.given;
    }
}

TEST(PitchVoice, WindowLatencyAndSearchRangeFollowRateRatioAndRing)
{
    struct Case
    {
        double rate;
        int ringLength;
        double ratio;
        int window;
        double latency;
        int searchRange;
    };
    const Case cases[] = {
        {48000.0, 659906, 1.0, 2048, 5120.0, 819},
        {48000.0, 659906, 2.0, 2048, 1024.0 + 3072.0, 768},
        {48000.0, 659906, 0.5, 2048, 4096.0 + 3072.0, 0},
        {96000.0, 1319810, 1.0, 4096, 4096.0 + 6144.0, 819},
        {384000.0, 5279234, 1.0, 4096, 4096.0 + 6144.0, 819},
        {8000.0, 109986, 1.0, 341, 341.0 + 511.5, 136},
        {48000.0, 2000, 1.0, 250, 250.0 + 375.0, 100},
        {0.0, 659906, 1.0, 2048, 5120.0, 819},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rate " << c.rate << " ring " << c.ringLength << " ratio " << c.ratio);
        std::vector<float> ring(static_cast<size_t>(c.ringLength), 0.0f);
        PitchVoice voice;
        voice.Prepare(c.rate, ring.data(), c.ringLength, nullptr);
        voice.SetRatio(c.ratio);
        EXPECT_EQ(voice.Window(), c.window);
        EXPECT_DOUBLE_EQ(voice.Latency(), c.latency);
        EXPECT_EQ(voice.SearchRange(), c.searchRange);
    }
}

TEST(PitchVoice, TableRatioIsExactOnWholeOctaves)
{
    EXPECT_EQ(PitchVoice::TableRatio(0.0), 1.0f);
    EXPECT_EQ(PitchVoice::TableRatio(12.0), 2.0f);
    EXPECT_EQ(PitchVoice::TableRatio(-12.0), 0.5f);
    EXPECT_NEAR(PitchVoice::TableRatio(7.0), std::pow(2.0, 7.0 / 12.0), 1e-6);
    EXPECT_NEAR(PitchVoice::TableRatio(0.5), std::pow(2.0, 0.5 / 12.0), 1e-6);
}

TEST(PitchVoice, ExpectedReadIndexStaysInItsRange)
{
    std::vector<float> ring(1000, 0.0f);
    PitchVoice voice;
    voice.Prepare(kRate, ring.data(), 1000, nullptr);
    for (const double clock : {0.0, 123.0, -98765.0, 1e12, std::numeric_limits<double>::quiet_NaN()}) {
        voice.SetBlockClock(clock);
        voice.SetReadDelay(6000.0);
        for (const int offset : {0, 31, 255}) {
            const int index = voice.ExpectedReadIndex(offset);
            EXPECT_GE(index, 1000) << clock;
            EXPECT_LT(index, 3000) << clock;
        }
    }
}

TEST(PitchVoice, EmptyRingRendersSilence)
{
    PitchVoice voice;
    voice.Prepare(kRate, nullptr, 0, nullptr);
    std::vector<float> out(100, 7.0f);
    voice.Restart();
    voice.Render(out.data(), 100);
    for (const float x : out)
        EXPECT_EQ(x, 0.0f);
}

// Over a constant signal the output is the sum of the grain weights: after the
// first grain's rise it must stay at 1 through every hand-over between the two
// half-overlapping triangles.
TEST(PitchVoice, OverlappingTrianglesSumToOne)
{
    std::vector<float> ring(48000, 1.0f);
    PitchVoice voice;
    voice.Prepare(kRate, ring.data(), 48000, nullptr);
    voice.SetBlockClock(100000.0);
    voice.SetReadDelay(voice.Latency() + 256.0);
    std::vector<float> out(20000);
    voice.Render(out.data(), 20000);
    EXPECT_EQ(voice.GrainLength(), 2048);
    for (int i = 0; i < 1024; ++i)
        ASSERT_NEAR(out[static_cast<size_t>(i)], i / 1024.0, 1e-5) << i;
    for (int i = 1024; i < 20000; ++i)
        ASSERT_NEAR(out[static_cast<size_t>(i)], 1.0, 1e-5) << i;
}

// On a periodic signal the search must start each grain in phase with the one
// it overlaps: grains that joined out of phase would cancel and the tone's
// amplitude would dip at every hand-over. Pitched, the tone moves by the ratio.
TEST(PitchVoice, GrainsJoinInPhaseAndShiftThePitch)
{
    struct Case
    {
        double ratio;
        double outputHz;
    };
    const Case cases[] = {{1.0, 200.0}, {1.5, 300.0}, {2.0, 400.0}, {0.75, 150.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ratio);
        VoiceOverTone rig(200.0, 48000, c.ratio);
        const std::vector<float> out = rig.Render(48000);
        const size_t begin = 8192;
        const size_t end = out.size();
        const double seconds = (end - begin) / kRate;
        EXPECT_NEAR(ZeroCrossings(out, begin, end) / (2.0 * seconds), c.outputHz, c.outputHz * 0.02);

        const size_t period = static_cast<size_t>(kRate / c.outputHz) + 1;
        double lowestPeak = 2.0;
        for (size_t start = begin; start + period <= end; start += period) {
            float peak = 0.0f;
            for (size_t i = start; i < start + period; ++i)
                peak = std::max(peak, std::fabs(out[i]));
            lowestPeak = std::min<double>(lowestPeak, peak);
        }
        EXPECT_GT(lowestPeak, 0.85);
        EXPECT_LT(audio_probe::Rms(out, begin, end), 0.75);
    }
}

TEST(PitchVoice, RestartPrimesTheSearchNearTheReadPosition)
{
    VoiceOverTone rig(200.0, 48000, 1.5);
    rig.Render(4096);
    rig.voice.Restart();
    const std::vector<float> out = rig.Render(16384);
    for (const float x : out)
        ASSERT_TRUE(std::isfinite(x));
    EXPECT_GT(audio_probe::ToneAmplitude(out, 300.0, kRate, 4096, out.size()), 0.7);
}
