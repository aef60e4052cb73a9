#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "engine/dsp/HalfBandResampler.h"
#include "engine/stages/DriveChannel.h"
#include "engine/stages/DriveStage.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/AudioProbe.h"
#include "tests/engine/ChunkedRender.h"

using namespace audio_probe;

namespace {

constexpr double kRate = 48000.0;

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
};

Stereo RunStage(DriveStage& stage, const std::vector<float>& input)
{
    Stereo out{input, input};
    // One sample per call, as the engine drives it.
    for (size_t i = 0; i < input.size(); ++i)
        stage.Process(&out.left[i], &out.right[i], 1);
    return out;
}

std::vector<float> Silence(int count)
{
    return std::vector<float>(static_cast<size_t>(count), 0.0f);
}

class DriveStageTest : public ::testing::Test
{
protected:
    FloatModeScope floatMode;
    DriveStage stage;

    void PrepareWith(double drive, int voice)
    {
        stage.Prepare(kRate);
        stage.SetDrive(drive);
        stage.SetVoice(voice);
    }
};

TEST_F(DriveStageTest, DriveZeroPassesInputExactlyFromTheFirstSample)
{
    for (int voice : {DriveStage::kVoiceOverdrive, DriveStage::kVoiceFuzz}) {
        SCOPED_TRACE(voice);
        PrepareWith(0.0, voice);
        const auto input = Sine(440.0, 0.8, kRate, 4800);
        const Stereo out = RunStage(stage, input);
        EXPECT_EQ(out.left, input);
        EXPECT_EQ(out.right, input);
    }
}

TEST_F(DriveStageTest, FallingToDriveZeroFadesOutAndThenPassesExactly)
{
    PrepareWith(0.6, DriveStage::kVoiceFuzz);
    RunStage(stage, Sine(220.0, 0.5, kRate, 4800));
    ASSERT_FALSE(stage.IsBypassed());

    stage.SetDrive(0.0);
    stage.SetVoice(DriveStage::kVoiceOverdrive);
    // The 10 ms switch lands within 1e-12 after about 0.28 s.
    RunStage(stage, Sine(220.0, 0.5, kRate, static_cast<int>(0.35 * kRate)));
    EXPECT_TRUE(stage.IsBypassed());
    const auto input = Sine(330.0, 0.5, kRate, 2400);
    const Stereo out = RunStage(stage, input);
    EXPECT_EQ(out.left, input);
}

TEST_F(DriveStageTest, EngagedStageDelaysByItsLatencyAndPassesLowFrequencies)
{
    // A barely driven overdrive: the voices add almost nothing, so what is left
    // is the oversampling chain and the DC blocker.
    PrepareWith(1e-6, DriveStage::kVoiceOverdrive);
    RunStage(stage, Silence(static_cast<int>(0.5 * kRate)));

    std::vector<float> impulse(256, 0.0f);
    impulse[10] = 1.0f;
    const Stereo out = RunStage(stage, impulse);
    size_t peak = 0;
    for (size_t i = 0; i < out.left.size(); ++i)
        if (std::fabs(out.left[i]) > std::fabs(out.left[peak]))
            peak = i;
    EXPECT_EQ(peak, 10u + DriveStage::kLatencySamples);
    EXPECT_NEAR(out.left[peak], 1.0, 0.06);

    // The DC blocker and the half-band filters leave the audible band flat.
    const struct
    {
        double hz;
        double maxDeviationDb;
    } band[] = {{100.0, 0.05}, {1000.0, 0.05}, {5000.0, 0.05}, {10000.0, 0.4}};
    for (const auto& c : band) {
        SCOPED_TRACE(c.hz);
        const Stereo y = RunStage(stage, Sine(c.hz, 0.5, kRate, 24000));
        EXPECT_LT(std::fabs(Db(ToneAmplitude(y.left, c.hz, kRate, 12000, 24000) / 0.5)), c.maxDeviationDb);
    }
}

TEST_F(DriveStageTest, HalfBandStagesPassLowFrequenciesAndRejectImages)
{
    struct Case
    {
        int stage; // 1 = 12 taps at 1x -> 2x, 2 = 6 taps at 2x -> 4x
        double hz;
        double maxPassbandDb;
        double maxImageDb;
    };
    const Case cases[] = {
        {1, 1000.0, 0.01, -70.0}, {1, 5000.0, 0.01, -70.0},  {1, 18000.0, 0.2, -30.0},
        {2, 1000.0, 0.01, -85.0}, {2, 10000.0, 0.01, -55.0}, {2, 20000.0, 0.01, -55.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stage " << c.stage << " at " << c.hz << " Hz");
        const double inRate = c.stage == 1 ? kRate : 2.0 * kRate;
        const auto x = Sine(c.hz, 1.0, inRate, 8192);
        std::vector<double> up;
        HalfBandResampler<12> outer(DriveChannel::kHalfBand12);
        HalfBandResampler<6> inner(DriveChannel::kHalfBand6);
        for (float s : x) {
            double a = 0.0;
            double b = 0.0;
            if (c.stage == 1)
                outer.Up(s, a, b);
            else
                inner.Up(s, a, b);
            up.push_back(a);
            up.push_back(b);
        }
        const double outRate = 2.0 * inRate;
        EXPECT_LT(std::fabs(Db(ToneAmplitude(up, c.hz, outRate, 1024, up.size()))), c.maxPassbandDb);
        EXPECT_LT(Db(ToneAmplitude(up, inRate - c.hz, outRate, 1024, up.size())), c.maxImageDb);

        // Down again: a tone above the low rate's Nyquist must not fold back.
        const auto high = Sine(inRate - c.hz, 1.0, outRate, 16384);
        std::vector<double> down;
        for (size_t i = 0; i + 1 < high.size(); i += 2)
            down.push_back(c.stage == 1 ? outer.Down(high[i], high[i + 1]) : inner.Down(high[i], high[i + 1]));
        EXPECT_LT(Db(ToneAmplitude(down, c.hz, inRate, 512, down.size())), c.maxImageDb);
    }
}

TEST_F(DriveStageTest, FuzzVoiceAddsTheOctaveThatOverdriveLacks)
{
    auto secondHarmonicDb = [&](int voice) {
        PrepareWith(0.7, voice);
        const Stereo y = RunStage(stage, Sine(200.0, 0.5, kRate, 48000));
        const double fundamental = ToneAmplitude(y.left, 200.0, kRate, 24000, 48000);
        return Db(ToneAmplitude(y.left, 400.0, kRate, 24000, 48000) / fundamental);
    };
    const double overdrive = secondHarmonicDb(DriveStage::kVoiceOverdrive);
    const double fuzz = secondHarmonicDb(DriveStage::kVoiceFuzz);
    EXPECT_GT(fuzz, overdrive + 6.0);
    EXPECT_GT(fuzz, -15.0);
}

TEST_F(DriveStageTest, DriveAmountAddsDistortion)
{
    auto thirdHarmonicDb = [&](double drive) {
        PrepareWith(drive, DriveStage::kVoiceOverdrive);
        const Stereo y = RunStage(stage, Sine(200.0, 0.5, kRate, 48000));
        const double fundamental = ToneAmplitude(y.left, 200.0, kRate, 24000, 48000);
        return Db(ToneAmplitude(y.left, 600.0, kRate, 24000, 48000) / fundamental);
    };
    // DRIVE 0.01 is faded in by the smoothstep of d / 0.04: barely audible.
    EXPECT_LT(thirdHarmonicDb(0.01), -40.0);
    EXPECT_GT(thirdHarmonicDb(0.7), -20.0);
}

TEST_F(DriveStageTest, SilenceThroughTheFuzzStaysSilent)
{
    PrepareWith(1.0, DriveStage::kVoiceFuzz);
    const Stereo y = RunStage(stage, Silence(9600));
    for (float s : y.left)
        ASSERT_EQ(s, 0.0f);
}

TEST_F(DriveStageTest, VoiceSwitchCrossfadesWithoutAJump)
{
    PrepareWith(0.5, DriveStage::kVoiceOverdrive);
    const auto input = Sine(110.0, 0.4, kRate, 24000);
    Stereo y{input, input};
    auto largestStep = [&](size_t begin, size_t end) {
        float largest = 0.0f;
        for (size_t i = begin; i < end; ++i)
            largest = std::max(largest, std::fabs(y.left[i] - y.left[i - 1]));
        return largest;
    };
    for (size_t i = 0; i < input.size(); ++i) {
        if (i == 12000)
            stage.SetVoice(DriveStage::kVoiceFuzz);
        stage.Process(&y.left[i], &y.right[i], 1);
    }
    EXPECT_EQ(stage.VoiceMix(), 1.0);
    const float steady = std::max(largestStep(1000, 12000), largestStep(18000, 24000));
    EXPECT_LE(largestStep(12000, 18000), 1.2f * steady);
}

TEST_F(DriveStageTest, PreparationMakesTheFollowingBlocksRepeatable)
{
    const auto input = Sine(150.0, 0.7, kRate, 9600);
    PrepareWith(0.8, DriveStage::kVoiceFuzz);
    const Stereo first = RunStage(stage, input);

    // Dirty every state, then prepare again: the result must not remember it.
    stage.SetDrive(0.3);
    stage.SetVoice(DriveStage::kVoiceOverdrive);
    RunStage(stage, Sine(3000.0, 0.9, kRate, 5000));
    PrepareWith(0.8, DriveStage::kVoiceFuzz);
    const Stereo second = RunStage(stage, input);
    EXPECT_EQ(first.left, second.left);
    EXPECT_EQ(first.right, second.right);
}

TEST_F(DriveStageTest, NonFiniteInputDoesNotPoisonTheFilters)
{
    const auto input = Sine(150.0, 0.7, kRate, 4800);
    auto poisoned = input;
    poisoned[1000] = std::numeric_limits<float>::quiet_NaN();
    poisoned[1001] = std::numeric_limits<float>::infinity();
    auto silenced = input;
    silenced[1000] = silenced[1001] = 0.0f;

    PrepareWith(0.9, DriveStage::kVoiceFuzz);
    const Stereo a = RunStage(stage, poisoned);
    PrepareWith(0.9, DriveStage::kVoiceFuzz);
    const Stereo b = RunStage(stage, silenced);
    for (float s : a.left)
        ASSERT_TRUE(std::isfinite(s));
    EXPECT_EQ(a.left, b.left);
}

TEST(DriveCurves, LookupInterpolatesAndHoldsItsEnds)
{
    const double expected = -6.17 + (0.1 - 0.08) / (0.15 - 0.08) * (-6.96 + 6.17);
    EXPECT_NEAR(DriveStage::CurveLookup(DriveStage::kCurveOverdriveDb, 0.1), expected, 1e-12);
    EXPECT_EQ(DriveStage::CurveLookup(DriveStage::kCurveOverdriveDb, -0.5), -3.3);
    EXPECT_EQ(DriveStage::CurveLookup(DriveStage::kCurveFuzzDb, 0.0), 1.0);
    EXPECT_EQ(DriveStage::CurveLookup(DriveStage::kCurveFuzzDb, 1.0), 2.55);
    EXPECT_EQ(DriveStage::CurveLookup(DriveStage::kCurveFuzzDb, 7.0), 2.55);
    EXPECT_EQ(DriveStage::CurveLookup(DriveStage::kCurveFuzzDb, 0.25), 0.17);
}

TEST_F(DriveStageTest, ProcessNeverAllocates)
{
    PrepareWith(1.0, DriveStage::kVoiceFuzz);
    std::vector<float> left = Sine(200.0, 0.5, kRate, 4800);
    std::vector<float> right = left;
    AllocationProbe::Scope probe;
    for (size_t i = 0; i < left.size(); ++i) {
        if (i == 2400)
            stage.SetVoice(DriveStage::kVoiceOverdrive);
        stage.Process(&left[i], &right[i], 1);
    }
    stage.Process(left.data(), right.data(), static_cast<int>(left.size()));
    EXPECT_EQ(probe.Allocations(), 0);
}

// A scene for calls of many samples: settings changed at fixed samples.
struct DriveScene
{
    const char* name;
    std::vector<std::pair<int, std::function<void(DriveStage&)>>> events;
    // Settings the stage glides to, and settles on, before the run.
    std::function<void(DriveStage&)> settleOn = nullptr;
};

class DriveRunRig
{
public:
    explicit DriveRunRig(const DriveScene& s) : scene(&s)
    {
        stage.Prepare(kRate);
        if (!scene->settleOn)
            return;
        scene->settleOn(stage);
        // Long past the 10 ms glides' landing, one sample at a time.
        for (int i = 0; i < kSettleSamples; ++i) {
            float silenceL = 0.0f, silenceR = 0.0f;
            stage.Process(&silenceL, &silenceR, 1);
        }
    }

    int SamplesToNextEvent() const
    {
        int next = 1 << 30;
        for (const auto& event : scene->events)
            if (event.first > position)
                next = std::min(next, event.first - position);
        return next;
    }

    void Process(float* left, float* right, int n)
    {
        for (const auto& event : scene->events)
            if (event.first == position)
                event.second(stage);
        stage.Process(left, right, n);
        position += n;
    }

private:
    static constexpr int kSettleSamples = 48000;
    const DriveScene* scene;
    DriveStage stage;
    int position = 0;
};

TEST_F(DriveStageTest, CallsOfManySamplesMatchOneSampleCalls)
{
    const std::vector<DriveScene> scenes{
        {"bypassed, engaged, drive glides, faded out",
         {{1000, [](DriveStage& d) { d.SetDrive(0.3); }},
          {5000, [](DriveStage& d) { d.SetDrive(0.9); }},
          {9000, [](DriveStage& d) { d.SetDrive(0.0); }}}},
        {"voices cross while the drive glides",
         {{0, [](DriveStage& d) { d.SetDrive(0.6); }},
          {3001, [](DriveStage& d) { d.SetVoice(DriveStage::kVoiceFuzz); }},
          {3002, [](DriveStage& d) { d.SetDrive(0.1); }},
          {8000, [](DriveStage& d) { d.SetVoice(DriveStage::kVoiceOverdrive); }}}},
        {"settled overdrive, then a voice switch",
         {{6000, [](DriveStage& d) { d.SetVoice(DriveStage::kVoiceFuzz); }}},
         [](DriveStage& d) { d.SetDrive(0.4); }},
        {"settled fuzz, then the drive glides",
         {{7000, [](DriveStage& d) { d.SetDrive(0.2); }}},
         [](DriveStage& d) {
             d.SetDrive(0.8);
             d.SetVoice(DriveStage::kVoiceFuzz);
         }},
        {"voice switched while bypassed",
         {{500, [](DriveStage& d) { d.SetVoice(DriveStage::kVoiceFuzz); }},
          {4000, [](DriveStage& d) { d.SetDrive(1.0); }}}},
    };
    for (const DriveScene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const chunked_render::Stereo input{Sine(150.0, 0.6, kRate, 12000), Sine(230.0, 0.5, kRate, 12000, 1.0)};
        chunked_render::ExpectRunsMatchSingleSamples([&scene] { return DriveRunRig(scene); }, input);
    }
}

} // namespace
