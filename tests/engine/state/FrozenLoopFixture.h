#pragma once
// Frozen loops for the blob and hand-over tests: one built by hand (cheap at any
// rate) and one frozen by running an engine in LOOPS with Loop Freeze on.
#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/modes/LoopsMode.h"
#include "engine/state/FrozenLoopBlob.h"
#include "tests/engine/EffectEngineProbe.h"
#include "tests/engine/modes/LoopStateFixture.h"

namespace FrozenLoopFixture {

inline void EnableFlushToZero()
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
}

// A prepared loop in a valid frozen state: a full history of a known ramp, four
// voices playing windows of it and two waiting (ended), no shifter owner.
inline std::unique_ptr<LoopsMode> MakeHandFrozenLoop(double rate)
{
    auto loop = std::make_unique<LoopsMode>();
    loop->Prepare(rate, 512);
    EditState(*loop, [length = loop->HistoryLength()](LoopsMode::State& state) {
        for (int32_t i = 0; i < length; ++i) {
            float* frame = state.history.FrameAt(static_cast<size_t>(i));
            frame[0] = static_cast<float>((i % 1000) / 1000.0 - 0.5);
            frame[1] = static_cast<float>((i % 777) / 777.0 - 0.5);
        }
        state.clock = 3.0 * length + 17.0;
        state.writeIndex = static_cast<int32_t>(std::fmod(state.clock, length));
        state.recordingStopped = 1;
        state.freezeRequested = 1;
        state.randomised = 1;
        state.loopTime = 0.5;
        for (int v = 0; v < LoopsMode::kVoiceCount; ++v) {
            LoopVoice& voice = state.voices[v];
            voice.rOctave = 0.1 * v - 0.3;
            voice.rReverse = 0.15 * v;
            voice.rGain = 0.1 * v;
            voice.rPan = 0.2 * v - 0.5;
            voice.segmentLength = 400 + 10 * v;
            voice.segmentPosition = 5 * v;
            voice.primed = 1;
            voice.levelScale = 0.75;
            if (v >= 4) {
                voice.ended = 1;
                voice.readPosition = voice.windowStart = state.clock - 1.0;
                voice.windowSpan = 0.0;
            } else {
                voice.windowStart = state.clock - 2000.0 - 300.0 * v;
                voice.windowSpan = 600.0 + 7.5 * v;
                voice.readPosition = voice.windowStart + 3.25 * v;
            }
            voice.lfoPhase[1] = 0.125 * v;
            voice.lfoRate[2] = 0.5;
            voice.lastOutL = 0.01 * v;
            voice.heldOutR = -0.02 * v;
        }
    });
    return loop;
}

// The blob of a hand-frozen loop, moved along the clock by clockShift samples
// (so that two restores can be told apart by their clocks).
inline std::vector<uint8_t> HandBlob(double rate, double clockShift = 0.0)
{
    auto loop = MakeHandFrozenLoop(rate);
    EditState(*loop, [clockShift, length = loop->HistoryLength()](LoopsMode::State& state) {
        state.clock += clockShift;
        state.writeIndex = static_cast<int32_t>(std::fmod(state.clock, length));
        for (LoopVoice& voice : state.voices) {
            voice.windowStart += clockShift;
            voice.readPosition += clockShift;
        }
    });
    return EncodeFrozenLoop(*loop);
}

inline void SetLoopParams(EffectEngine& engine, double freeze)
{
    engine.SetParam(kMode, 2);
    engine.SetParam(kMacro, 0.2);
    engine.SetParam(kShape, 0.0);
    engine.SetParam(kChaos, 0.0);
    engine.SetParam(kDrive, 0.0);
    engine.SetParam(kWear, 0.0);
    engine.SetParam(kMix, 1.0);
    engine.SetParam(kLoopOctaves, 0.0);
    engine.SetParam(kLoopReverse, 0.0);
    engine.SetParam(kLoopVoices, 6);
    engine.SetParam(kLoopFreeze, freeze);
}

// A stereo test signal that differs per seed and is never silent.
inline void Signal(uint32_t seed, int64_t i, float& l, float& r)
{
    const double t = static_cast<double>(i);
    l = static_cast<float>(0.4 * std::sin(0.011 * t * (1 + seed % 7)) + 0.1 * std::sin(0.0007 * t));
    r = static_cast<float>(0.3 * std::sin(0.017 * t * (1 + seed % 5) + 0.5));
}

struct Block
{
    std::vector<float> left;
    std::vector<float> right;
};

// Runs one block of the seeded signal starting at sample `start`.
inline Block RunBlock(EffectEngine& engine, uint32_t seed, int64_t start, int n)
{
    Block in{std::vector<float>(static_cast<size_t>(n)), std::vector<float>(static_cast<size_t>(n))};
    for (int i = 0; i < n; ++i)
        Signal(seed, start + i, in.left[static_cast<size_t>(i)], in.right[static_cast<size_t>(i)]);
    Block out{std::vector<float>(static_cast<size_t>(n)), std::vector<float>(static_cast<size_t>(n))};
    engine.Process(in.left.data(), in.right.data(), out.left.data(), out.right.data(), n);
    return out;
}

inline FrozenLoopHandover::State SnapshotState(const EffectEngine& engine)
{
    return EffectEngineProbe(engine).Handover().CurrentState();
}

// Runs blocks until the live loop is frozen and its snapshot published; returns
// the samples processed, or -1 when that did not happen within maxSamples.
inline int64_t RunUntilPublished(EffectEngine& engine, uint32_t seed, int block, int64_t maxSamples)
{
    for (int64_t done = 0; done < maxSamples; done += block) {
        RunBlock(engine, seed, done, block);
        if (engine.LoopRecordingStopped() && SnapshotState(engine) == FrozenLoopHandover::kValid)
            return done + block;
    }
    return -1;
}

} // namespace FrozenLoopFixture
