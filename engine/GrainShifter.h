#pragma once
#include <cstdint>
#include <vector>

#include "engine/EngineMath.h"

// Grain period in seconds for a pitch ratio: 50 ms up to |ratio| 1.25, growing
// towards 95 ms for large ratios but never so long that a head running at the
// ratio outruns the 53 ms ahead of it.
double GrainLengthSeconds(double ratio);

// Two-head delay-line pitch shifter with Hann-windowed grains. At ratio 1 it is
// a plain 60 ms delay; leaving ratio 1 starts both heads at once, returning to it
// crossfades (equal power) from the shifted output over one grain.
//
// The fields are public and in a fixed order because the frozen-loop state
// serialises them; copying or moving a shifter copies or moves all of them.
class GrainShifter
{
public:
    static constexpr uint32_t kSeed = 0x5F1D2C3Bu;

    // Sizes the ring for the rate (not finite or not above 0: 48000), then resets.
    void Prepare(double sampleRate);
    // Silences what the heads would read first and restarts the clock; the ratio,
    // grain length and crossfade settings stay.
    void Reset();
    void SetRatio(double ratio);
    // Pushes one input sample and returns one output sample.
    float Process(float x);
    // Writes one sample into the ring without reading (used to prefill the ring).
    void Push(float x);
    // One output sample from the two heads at a speed and grain length; advances them.
    float Read(double speed, double grain);
    // Converts the whole state to another rate (restoring a loop saved at that rate).
    void Resample(double newRate);

    double sampleRate = EngineMath::kDefaultSampleRate;
    double ratio = 1.0;
    std::vector<float> buffer;
    int32_t length = 0;
    int32_t writeIndex = 0;
    double clock = 0.0;
    double grainLength = 2400.0;
    uint32_t rng = kSeed;
    double minDelay = 2880.0;
    double minMargin = 1e30;
    double readPosA = 0.0;
    double readPosB = 0.0;
    double phaseA = 0.0;
    double phaseB = 0.5;
    int32_t crossfadeRemaining = 0;
    int32_t crossfadeLength = 0;
    double oldRatio = 1.0;
    double oldGrainLength = 2400.0;

private:
    // Linear read at an absolute position (ring slot = position modulo length).
    float ReadBuffer(double position) const;
    // Restarts a head that finished its grain just behind the newest sample.
    double RestartHead(double speed);
    void RestartPlain(double position);
};
