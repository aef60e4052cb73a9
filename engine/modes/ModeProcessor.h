#pragma once

#include "engine/dsp/DriftContext.h"
#include "engine/modes/TempoSyncInfo.h"

// The interface of the four modes. The slot order is fixed: destructor,
// Prepare, Reset, SetControls, Process, SetTime, SetTempoSync.
class ModeProcessor
{
public:
    virtual ~ModeProcessor() = default;
    // Sizes buffers and coefficients for the rate, then resets.
    virtual void Prepare(double sampleRate, int maxBlockSize) = 0;
    // Clears the audio state.
    virtual void Reset() = 0;
    // The mode's two macro controls (MACRO, SHAPE), each clamped to 0..1.
    virtual void SetControls(double a, double b) = 0;
    // Processes n samples in place.
    virtual void Process(float* left, float* right, int n, DriftContext& drift) = 0;
    // Time in seconds, or the tremolo's rate in Hz; not above 0 selects the default.
    virtual void SetTime(double value) = 0;
    virtual void SetTempoSync(const TempoSyncInfo& info) = 0;
};
