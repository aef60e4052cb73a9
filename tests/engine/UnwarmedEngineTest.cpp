// Runs in a process of its own on purpose: nothing here may build the shared
// interpolation tables before the engine under test is prepared.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/EffectEngine.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/engine/AudioProbe.h"
#include "tests/engine/EffectEngineProbe.h"

// The first block after preparing a fresh process's first engine already has
// voices reading faster than real time through the windowed-sinc tables; those
// tables must exist by then, since building them allocates on the audio thread.
TEST(UnwarmedEngine, FirstBlockWithFastVoicesDoesNotAllocate)
{
    const audio_probe::FloatModeScope floatMode;
    constexpr double kRate = 8000.0;
    constexpr int kFrames = 2 * 8000;
    auto engine = std::make_unique<EffectEngine>();
    engine->SetParam(kMode, 2);
    engine->SetParam(kMacro, 0.3);
    engine->SetParam(kShape, 1.0);
    engine->SetParam(kChaos, 0.0);
    engine->SetParam(kLoopOctaves, 1.0);
    engine->SetParam(kLoopOctaveDir, 1.0);
    engine->SetParam(kLoopReverse, 0.0);
    engine->SetParam(kMix, 1.0);
    engine->Prepare(kRate, kFrames);

    const std::vector<float> inL = audio_probe::Sine(220.0, 0.5, kRate, kFrames);
    const std::vector<float> inR = audio_probe::Sine(330.0, 0.5, kRate, kFrames);
    std::vector<float> outL(kFrames), outR(kFrames);
    long allocations = 0;
    {
        const AllocationProbe::Scope probe;
        engine->Process(inL.data(), inR.data(), outL.data(), outR.data(), kFrames);
        allocations = probe.Allocations();
    }
    EXPECT_EQ(allocations, 0);

    bool fastVoice = false;
    for (const LoopVoice& voice : EffectEngineProbe(*engine).LiveLoop().GetState().voices)
        fastVoice = fastVoice || (voice.speedLimit >= 2.0 && !voice.ended);
    EXPECT_TRUE(fastVoice) << "no voice read through the sinc tables";
    EXPECT_GT(audio_probe::Rms(outL, kFrames / 2, kFrames), 0.01);
}
