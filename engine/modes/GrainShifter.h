#pragma once
#include <cstdint>
#include <vector>

#include "engine/dsp/EngineMath.h"

// Grain period in seconds for a pitch ratio: 50 ms up to |ratio| 1.25, growing
// towards 95 ms for large ratios but never so long that a head running at the
// ratio outruns the 53 ms ahead of it.
double GrainLengthSeconds(double ratio);

// Two-head delay-line pitch shifter with Hann-windowed grains. At ratio 1 it is
// a plain 60 ms delay; leaving ratio 1 starts both heads at once, returning to it
// crossfades (equal power) from the shifted output over one grain.
//
// Copying or moving a shifter copies or moves its whole state, ring included.
class GrainShifter
{
public:
    static constexpr uint32_t kSeed = 0x5F1D2C3Bu;

    // The whole state of a shifter, in the order the frozen-loop state keeps it.
    struct State
    {
        double sampleRate = EngineMath::kDefaultSampleRate;
        double ratio = 1.0;
        // Its own input ring, indexed by absolute position modulo `length`.
        std::vector<float> buffer;
        int32_t length = 0;
        int32_t writeIndex = 0; // `clock` modulo `length`
        double clock = 0.0;     // samples pushed since the last reset
        double grainLength = 2400.0;
        uint32_t rng = kSeed;
        double minDelay = 2880.0;
        // The smallest distance between the newest sample and a read head since
        // the last reset; nothing reads it back.
        double minMargin = 1e30;
        double readPosA = 0.0;
        double readPosB = 0.0;
        double phaseA = 0.0;
        double phaseB = 0.5;
        int32_t crossfadeRemaining = 0;
        int32_t crossfadeLength = 0;
        double oldRatio = 1.0;
        double oldGrainLength = 2400.0;
    };

    // Sizes the ring for the rate (not finite or not above 0: 48000), then resets.
    void Prepare(double sampleRate);
    // Silences what the heads would read first and restarts the clock; the ratio,
    // grain length and crossfade settings stay.
    void Reset();
    // Gives the ring's memory back; Process then stays silent until the next Prepare.
    void Release();
    void SetRatio(double ratio);
    // Pushes one input sample and returns one output sample.
    float Process(float x);
    // Writes one sample into the ring without reading.
    void Push(float x);
    // Pushes `count` samples without reading and starts both heads at the first
    // of them, so that the shifter begins with that audio instead of silence.
    void Prefill(const float* samples, int count);
    // Starts both heads at the first of the last `count` samples pushed, as
    // Prefill does for samples pushed one by one.
    void StartHeadsBack(int count);
    // One output sample from the two heads at a speed and grain length; advances them.
    float Read(double speed, double grain);
    // Converts the whole state to another rate (restoring a loop saved at that rate).
    void Resample(double newRate);

    // Whether the ring is sized as the length says, so that Process is heard.
    bool IsReady() const { return state.length > 0 && state.buffer.size() == static_cast<size_t>(state.length); }
    const State& CurrentState() const { return state; }
    // Takes over a whole state, as a frozen loop restores it.
    void RestoreState(State restored);

private:
    // Linear read at an absolute position (ring slot = position modulo length).
    float ReadBuffer(double position) const;
    // Restarts a head that finished its grain just behind the newest sample.
    double RestartHead(double speed);
    // Steps one head on by `speed` and its grain phase by `phaseStep`, restarting
    // it behind the newest sample when its grain ends.
    void AdvanceHead(double& position, double& phase, double speed, double phaseStep);
    void RestartPlain(double position);

    State state;
};
