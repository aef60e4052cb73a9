// LOOPS with Loop LFO Motion on, the way most LOOPS presets play it: the voices'
// octaves and directions come from their own personalities and slow LFOs rather
// than from SHAPE, chaos makes them wander instead of firing sudden events, and
// a new segment's speed glides in from the previous one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/tables/FactoryPreset.h"
#include "tests/engine/AudioProbe.h"
#include "tests/engine/EffectEngineProbe.h"
#include "tests/engine/modes/LoopsModeRig.h"

namespace {

constexpr double kRate = 8000.0;
constexpr int kBlock = 256;

std::unique_ptr<EffectEngine> MakeLoopEngine(const double* values)
{
    auto engine = std::make_unique<EffectEngine>();
    for (int i = 0; i < kParamCount; ++i)
        engine->SetParam(i, values[i]);
    engine->Prepare(kRate, kBlock);
    return engine;
}

// Default parameters in LOOPS with six voices, SHAPE and CHAOS at 0, fully wet.
std::array<double, kParamCount> LoopValues()
{
    std::array<double, kParamCount> values;
    for (int i = 0; i < kParamCount; ++i)
        values[i] = GetParamSpec(i).defaultValue;
    values[kMode] = 2;
    values[kShape] = 0.0;
    values[kChaos] = 0.0;
    values[kMix] = 1.0;
    values[kLoopVoices] = 6;
    return values;
}

// Plays a mono input through the engine; returns the left output.
std::vector<float> Play(EffectEngine& engine, const std::vector<float>& in)
{
    const int frames = static_cast<int>(in.size());
    std::vector<float> out(in.size()), right(in.size());
    for (int pos = 0; pos < frames; pos += kBlock)
        engine.Process(in.data() + pos, in.data() + pos, out.data() + pos, right.data() + pos,
                       std::min(kBlock, frames - pos));
    return out;
}

std::vector<float> PlaySine(EffectEngine& engine, double hz, int frames)
{
    return Play(engine, audio_probe::Sine(hz, 0.5, kRate, frames));
}

bool IsLoopsPreset(const FactoryPreset& preset)
{
    return std::strncmp(preset.name, "LOOPS - ", 8) == 0;
}

uint32_t ChaosEvents(const LoopsMode& loop)
{
    return loop.GetState().chaosReverseFlips + loop.GetState().chaosOctaveDrops + loop.GetState().shifterStarts;
}

class LoopsLfoMotionTest : public ::testing::Test
{
protected:
    audio_probe::FloatModeScope floatMode;
};

} // namespace

// With SHAPE at 0 the amount that scales the voices' octave and reverse choices
// is 0, so without LFO motion every voice plays the input as it was; with LFO
// motion the voices still take the octaves and directions of their personalities.
TEST_F(LoopsLfoMotionTest, OctavesAndReverseActAtShapeZero)
{
    for (double motion : {0.0, 1.0}) {
        SCOPED_TRACE(testing::Message() << "Loop LFO Motion " << motion);
        std::array<double, kParamCount> values = LoopValues();
        values[kMacro] = 0.55;
        values[kLoopOctaves] = 1.0;
        values[kLoopReverse] = 1.0;
        values[kLoopLFOMotion] = motion;
        auto engine = MakeLoopEngine(values.data());

        const std::vector<float> out = PlaySine(*engine, 500.0, 6 * 8000);
        const size_t from = 3 * 8000;
        const size_t to = out.size();
        const double octaves = audio_probe::ToneAmplitude(out, 250.0, kRate, from, to)
                               + audio_probe::ToneAmplitude(out, 1000.0, kRate, from, to)
                               + audio_probe::ToneAmplitude(out, 2000.0, kRate, from, to);
        int reversed = 0;
        for (const LoopVoice& voice : EffectEngineProbe(*engine).LiveLoop().GetState().voices)
            reversed += voice.reversed;

        const double plain = audio_probe::ToneAmplitude(out, 500.0, kRate, from, to);
        // Share of the tone that the voices moved by an octave or two.
        const double moved = octaves / (octaves + plain);
        if (motion > 0.5) {
            EXPECT_GT(moved, 0.5);
            EXPECT_GT(reversed, 0);
        } else {
            EXPECT_LT(moved, 0.2);
            EXPECT_EQ(reversed, 0);
        }
        EXPECT_GT(audio_probe::Rms(out, from, to), 0.05);
    }
}

// Under LFO motion Loop Reach alone spreads the voices' windows over the whole
// recorded history, whatever SHAPE says: long after the input has moved from one
// tone to another, voices reaching back still play the first tone.
TEST_F(LoopsLfoMotionTest, ReachPlaysOlderAudioAtShapeZero)
{
    struct Case
    {
        double motion;
        double reach;
        bool older;
    } cases[] = {{1.0, 1.0, true}, {1.0, 0.0, false}, {0.0, 1.0, false}};
    const int early = 20 * 8000;
    const int late = 3 * 8000;
    // Whole cycles in a 0.25 s segment and in a sixth of it, so that neither the
    // restarts nor the voices' stagger cancel a tone.
    std::vector<float> in = audio_probe::Sine(312.0, 0.5, kRate, early);
    const std::vector<float> lateTone = audio_probe::Sine(720.0, 0.5, kRate, late);
    in.insert(in.end(), lateTone.begin(), lateTone.end());

    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Loop LFO Motion " << c.motion << ", Loop Reach " << c.reach);
        std::array<double, kParamCount> values = LoopValues();
        values[kMacro] = std::log(25.0) / std::log(1600.0); // 0.25 s loops
        values[kLoopOctaves] = 0.0;
        values[kLoopReverse] = 0.0;
        values[kLoopReach] = c.reach;
        values[kLoopLFOMotion] = c.motion;
        auto engine = MakeLoopEngine(values.data());
        const std::vector<float> out = Play(*engine, in);

        const size_t from = early + late / 2;
        const double older = audio_probe::ToneAmplitude(out, 312.0, kRate, from, out.size());
        const double recent = audio_probe::ToneAmplitude(out, 720.0, kRate, from, out.size());
        const double share = older / (older + recent);
        if (c.older)
            EXPECT_GT(share, 0.5);
        else
            EXPECT_LT(share, 0.05);
    }
}

// Every LOOPS preset that uses LFO motion plays its chaos as wandering LFOs: no
// voice flips direction, drops an octave or takes the pitch shifters by chance,
// even in the presets with the chaos knob past half way, where the same settings
// without LFO motion do fire those events.
TEST_F(LoopsLfoMotionTest, PresetsWithLfoMotionFireNoChaosEvents)
{
    int checked = 0;
    int eventfulWithoutMotion = 0;
    for (int p = 0; p < FactoryPresetCount(); ++p) {
        const FactoryPreset& preset = FactoryPresetAt(p);
        if (!IsLoopsPreset(preset) || preset.values[kLoopLFOMotion] < 0.5)
            continue;
        SCOPED_TRACE(preset.name);
        auto engine = MakeLoopEngine(preset.values);
        const std::vector<float> out = PlaySine(*engine, 330.0, 8 * 8000);
        EXPECT_EQ(ChaosEvents(EffectEngineProbe(*engine).LiveLoop()), 0u);
        EXPECT_GT(audio_probe::Rms(out, 4 * 8000, out.size()), 0.01);
        ++checked;

        if (preset.values[kChaos] > 0.75) {
            double withoutMotion[kParamCount];
            std::copy(std::begin(preset.values), std::end(preset.values), withoutMotion);
            withoutMotion[kLoopLFOMotion] = 0.0;
            auto plain = MakeLoopEngine(withoutMotion);
            PlaySine(*plain, 330.0, 8 * 8000);
            eventfulWithoutMotion += ChaosEvents(EffectEngineProbe(*plain).LiveLoop()) > 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(checked, 13);
    EXPECT_GT(eventfulWithoutMotion, 0);
}

// With chaos up, a voice's new segment starts at the speed the voice had and
// glides to its new octave with a time constant of 0.01 + 0.09 * chaos^2
// seconds, so octave changes sound as slides rather than jumps.
TEST_F(LoopsLfoMotionTest, NewSegmentGlidesFromThePreviousSpeed)
{
    LoopsModeRig rig(kRate, 5);
    LoopControls c = BusyControls(0.6);
    c.lfoMotion = true;
    c.chaos = 1.0;
    c.motionRate = 1.0;
    rig.Apply(c);
    rig.Run(8 * 8000, NoiseSignal);

    const double glideSamples = (0.01 + 0.09) * kRate;
    int glides = 0;
    for (int i = 0; i < 30 * 8000 && glides < 3; ++i) {
        double before[LoopsMode::kVoiceCount];
        uint64_t stamps[LoopsMode::kVoiceCount];
        for (int v = 0; v < LoopsMode::kVoiceCount; ++v) {
            before[v] = rig.loop->GetState().voices[v].speed;
            stamps[v] = rig.loop->GetState().voices[v].startStamp;
        }
        rig.Run(1, NoiseSignal);
        for (int v = 0; v < LoopsMode::kVoiceCount; ++v) {
            const LoopVoice& voice = rig.loop->GetState().voices[v];
            const double target = voice.baseSpeed;
            if (voice.startStamp == stamps[v] || voice.ended || voice.segmentLength < 2 * glideSamples
                || std::fabs(std::fabs(target) - std::fabs(before[v])) < 0.5 || std::fabs(before[v]) < 0.25)
                continue;
            SCOPED_TRACE(testing::Message() << "voice " << v << " from " << before[v] << " to " << target);
            const double gap = target - std::copysign(std::fabs(before[v]), target);
            // One sample into the glide the voice is still near its old speed...
            EXPECT_LT(std::fabs(voice.speed - (target - gap)), 0.01 * std::fabs(gap));
            // ...and one time constant later a fraction 1/e of the way is left.
            rig.Run(static_cast<int64_t>(glideSamples) - 1, NoiseSignal);
            EXPECT_NEAR((target - voice.speed) / gap, std::exp(-1.0), 0.01);
            ++glides;
            break;
        }
    }
    EXPECT_EQ(glides, 3);
}
