#pragma once
#include <cmath>
#include <cstdint>

#include "engine/dsp/ParamSmoother.h"

// The record of one of the six voices of LoopsMode, part of its State: its
// random personality, the segment it is playing, its smoothed speed/gain/pan,
// five slow LFOs and the tail of an interrupted segment. LoopsMode drives it;
// the voice itself only holds state and the small helpers that need nothing else.
struct LoopVoice
{
    static constexpr int kLfoCount = 5;

    // sin(2*pi*phase) of LFO k, computed once after the phase moved. The LFOs
    // step every sample for all six voices, so the steps are inline.
    double Lfo(int k) { return lfoStale[k] ? RefreshLfo(k) : lfoValue[k]; }

    // Works out LFOs a and b together, both sines in one two-lane call: the gain
    // and pan LFOs are read every sample.
    void RefreshLfoPair(int a, int b);

    // Moves LFO k's phase by delta, keeping it inside (-1, 1).
    void AdvanceLfo(int k, double delta)
    {
        double phase = lfoPhase[k] + delta;
        if (!(phase > -1.0 && phase < 1.0))
            phase = std::fmod(phase, 1.0);
        lfoPhase[k] = phase;
        lfoStale[k] = 1;
    }

    // Sets LFO k's output to value without touching its phase (chaos at 0).
    void HoldLfo(int k, double value)
    {
        lfoValue[k] = value;
        lfoStale[k] = 0;
    }

    // Clears the playback state the way a reset of the mode does; personality,
    // LFOs, base values, level scale and speed limit stay.
    void ResetPlayback();

    // Wraps an absolute position into the window [start, start + span)
    // (forwards) or (start, start + span] (reversed); span <= 0 gives start.
    static double WrapIntoWindow(double position, double start, double span, bool reversed);

    // Personality, drawn from the chaos seed.
    double rOctave = 0.0;
    double rReverse = 0.0;
    double rReach = 0.0;
    double rGain = 0.0;
    double rPan = 0.0;
    uint32_t rng = 1;

    int32_t segmentLength = 0;
    int32_t segmentPosition = 0;
    double readPosition = 0.0;
    double windowStart = 0.0;
    double windowSpan = 0.0;
    int32_t startDelay = 0;
    uint64_t startStamp = 0;
    uint8_t reversed = 0;
    uint8_t ended = 0;
    uint8_t primed = 0;
    uint8_t pitchShifted = 0;

    ParamSmoother speedSmoother;
    ParamSmoother gainSmoother;
    ParamSmoother panSmoother;
    double speed = 1.0;
    double gain = 1.0;
    double pan = 0.0;

    double lfoPhase[kLfoCount] = {};
    double lfoRate[kLfoCount] = {};
    double lfoValue[kLfoCount] = {};
    uint8_t lfoStale[kLfoCount] = {};

    double baseSpeed = 1.0;
    double baseGain = 1.0;
    double basePan = 0.0;

    double lengthFraction = 1.0;
    double peakFraction = 0.0;
    double peakAmount = 0.0;
    double levelScale = 1.0;

    double lastOutL = 0.0;
    double lastOutR = 0.0;
    double heldOutL = 0.0;
    double heldOutR = 0.0;

    int32_t fadeRemaining = 0;
    uint8_t tailActive = 0;
    uint8_t tailReversed = 0;
    double tailReadPosition = 0.0;
    double tailWindowStart = 0.0;
    double tailWindowSpan = 0.0;
    double tailSpeed = 0.0;
    double tailGain = 0.0;
    double tailPan = 0.0;
    double tailLevelScale = 0.0;
    int32_t tailSegmentPosition = 0;
    int32_t tailSegmentLength = 0;
    int32_t tailInterpolation = 0; // 0 linear, 2 or 4 the sinc factor

    double speedLimit = 1.0;

private:
    double RefreshLfo(int k);
};
