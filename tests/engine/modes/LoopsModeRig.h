#pragma once
// Drives a LoopsMode the way the engine does: controls once per block, the tempo
// record and one-sample Process calls per sample, a chaos step every 512 samples.
#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/dsp/DriftContext.h"
#include "engine/modes/LoopsMode.h"
#include "engine/modes/TempoSyncInfo.h"
#include "tests/engine/modes/LoopStateFixture.h"

struct LoopControls
{
    double macro = 0.3; // loop time 0.01 * 1600^macro
    double shape = 0.0; // amount
    double voices = 6.0;
    double octaves = 0.0;
    double octaveDir = 0.0;
    double reverse = 0.0;
    double reach = 0.0;
    double width = 0.0;
    double motionRate = 0.5;
    bool lfoMotion = false;
    bool mono = false;
    bool freeze = false;
    double chaos = 0.0;
    // Tempo lock: 0 leaves the loop free-running.
    int32_t divisionSamples = 0;
};

// Every voice feature at work: full shape, octaves, reach, width and chaos, half reverse.
inline LoopControls BusyControls(double macro)
{
    LoopControls c;
    c.macro = macro;
    c.shape = 1.0;
    c.octaves = 1.0;
    c.reverse = 0.5;
    c.reach = 1.0;
    c.width = 1.0;
    c.chaos = 1.0;
    return c;
}

class LoopsModeRig
{
public:
    explicit LoopsModeRig(double sampleRate, uint32_t seed = 7) : drift(seed + 0x5eed0000u)
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
        loop->Prepare(sampleRate, 512);
    }

    void Apply(const LoopControls& c)
    {
        controls = c;
        loop->SetMonoVoices(c.mono ? 1.0 : 0.0);
        loop->SetLfoMotion(c.lfoMotion ? 1.0 : 0.0);
        loop->SetVoiceCount(c.voices);
        loop->SetMotionRate(c.motionRate);
        loop->SetOctaveDirection(c.octaveDir);
        loop->SetShapeTargets(c.octaves, c.reverse, c.reach, c.width);
        loop->SetFreezeRequested(c.freeze);
        loop->SetControls(c.macro, c.shape);
        loop->SetTime(0.01 * std::pow(1600.0, c.macro));
        drift.SetAmount(c.chaos);
    }

    // Processes one sample in place; returns nothing, the sample is overwritten.
    void Step(float& l, float& r)
    {
        if (counter % 512 == 0)
            drift.Step(512.0 / loop->SampleRate());
        TempoSyncInfo info;
        if (controls.divisionSamples > 0) {
            info.synced = 1;
            info.boundaryFound = 1;
            info.divisionSamples = controls.divisionSamples;
            info.boundaryOffset = (counter % static_cast<uint64_t>(controls.divisionSamples)) == 0 ? 0 : -1;
        }
        loop->SetTempoSync(info);
        loop->Process(&l, &r, 1, drift);
        ++counter;
    }

    // Runs n samples of a signal; returns the left output when wanted.
    template <typename Signal>
    void Run(int64_t n, Signal signal, std::vector<float>* outL = nullptr, std::vector<float>* outR = nullptr)
    {
        for (int64_t i = 0; i < n; ++i) {
            float l = 0.0f;
            float r = 0.0f;
            signal(counter, l, r);
            Step(l, r);
            if (outL)
                outL->push_back(l);
            if (outR)
                outR->push_back(r);
        }
    }

    std::unique_ptr<LoopsMode> loop = std::make_unique<LoopsMode>();
    DriftContext drift;
    LoopControls controls;
    uint64_t counter = 0;
};

inline void ConstantSignal(uint64_t, float& l, float& r)
{
    l = 1.0f;
    r = 1.0f;
}

inline void NoiseSignal(uint64_t i, float& l, float& r)
{
    uint32_t x = static_cast<uint32_t>(i) * 0x9E3779B9u + 0x1234567u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    l = static_cast<float>(x & 0xFFFF) / 32768.0f - 1.0f;
    r = static_cast<float>((x >> 16) & 0xFFFF) / 32768.0f - 1.0f;
}
