#pragma once
#include <cstdint>

#include "engine/dsp/DelayLine.h"
#include "engine/dsp/DriftContext.h"
#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"
#include "engine/dsp/StereoDouble.h"
#include "engine/modes/ModeProcessor.h"
#include "engine/modes/TempoSyncInfo.h"

// The TREM mode: a stereo tremolo whose wave morphs with SHAPE from sine
// through triangle and a plucked decay to a square. CHAOS adds random events
// per cycle (gain dips, phase stalls, stutter bursts, cycle multiplication) and
// a small LFO-following delay jitter. Synced, the LFO peak is pulled gently
// onto the host's division start.
class TremMode : public ModeProcessor
{
public:
    static constexpr int kDelayLength = 4096;
    static constexpr double kDefaultRate = 4.0;

    TremMode();

    // Back to the constructed state: 4 Hz, depth 1, shape 0, no stereo phase.
    void ResetToConstructed();

    void Prepare(double sampleRate, int maxBlockSize) override;
    void Reset() override;
    void SetControls(double a, double b) override;
    void Process(float* left, float* right, int n, DriftContext& drift) override;
    void SetTime(double hz) override;
    void SetTempoSync(const TempoSyncInfo& info) override;

    // Trem Depth, clamped to 0..1.
    void SetDepth(double value);
    // Trem Stereo Phase, in radians.
    void SetStereoPhase(double radians);

    // The morphing wave, -1..1, at phase theta (peak at pi/2) for morph m (SHAPE).
    // Uses the edge and square coefficients cached for the current rate.
    double Wave(double theta, double m) const;
    // The same for two phases at once (left and right), lane by lane.
    StereoDouble Wave(StereoDouble theta, double m) const;

    double SampleRate() const { return sampleRate; }
    // The free or synced rate set last, in Hz.
    double Rate() const { return rate; }
    // The LFO phase in radians, 0..2pi.
    double Phase() const { return phase; }
    // The glitch event's cycle multiplication (1..4) and how much of it is heard.
    int Multiplier() const { return multiplier; }
    double GlitchMix() const { return glitchMix; }
    // The share of a cycle the pluck's rising edge takes, and the scale that
    // sets the square's edge width, both for the current rate.
    double EdgeFraction() const { return edgeFraction; }
    double SquareScale() const { return squareScale; }

private:
    double sampleRate = EngineMath::kDefaultSampleRate;
    double phase = 0.0;
    int32_t multiplier = 1;
    int32_t previousMultiplier = 1;
    double multiplierFade = 1.0;
    double glitchMix = 0.0;
    TempoSyncInfo sync;
    uint32_t rng = 1;
    uint32_t randomGeneration = 0;
    uint8_t seeded = 0;
    uint8_t cycleWrapped = 0;
    uint8_t dip = 0;
    int32_t holdSamples = 0;
    int32_t burstSamples = 0;
    int32_t burstStep = 0;
    double burstLevel = 1.0;
    double levelSmoothed = 1.0;
    double burstMix = 0.0;
    double gainMod = 1.0;
    double coefficient5ms = 1.0;
    double coefficient1ms = 1.0;
    double rate = kDefaultRate;
    double depth = 1.0;
    double shape = 0.0;
    double edgeSine = 0.0;
    double edgeFraction = 0.0;
    double edgeRate = -1.0;
    double squareScale = 0.0;
    double squareRate = -1.0;
    double stereoPhase = 0.0;
    ParamSmoother rateSmoother;
    ParamSmoother depthSmoother;
    ParamSmoother shapeSmoother;
    ParamSmoother jitterSmoother;
    // The jitter's line: both channels side by side in a frame, written together
    // through one write slot. Allocated by Prepare; without it the jitter is left out.
    DelayLine<2> jitterLine;

    void SeedFrom(DriftContext& drift);
    // The edge and square-wave shapes cached for a rate.
    void UpdateWaveCaches(double r);
    // What the per-call work hands to the samples it covers.
    struct CallControls
    {
        double amountBase = 0.0;
        double glitch = 0.0;
        double inc = 0.0;
        double period = 0.0;
        double burstChance = 0.0;
        double dipChance = 0.0;
        double stallChance = 0.0;
    };

    // The work of a one-sample call before its sample: seeding, the control glides
    // and the wave caches.
    CallControls BeginCall(DriftContext& drift);
    // True when the next call's BeginCall would change nothing and hand out the
    // same controls, so that the call just begun can cover the samples after it.
    bool NextCallRepeats() const;
    void RenderSamples(float* left, float* right, int n, const CallControls& call);
    // What to add to a sample's phase step so the wave drifts onto the host's beat.
    double TempoCorrection(double inc) const;
    // One sample of the burst and dip gain the chaos events put on the depth.
    double StepGainModulation();
    uint32_t NextRandom();
    double NextUnit();
    void DrawCycleEvents(double glitch, double dipChance, double stallChance, double burstChance, double period);
    // The wave of both channels' phases, with the glitch's multiplied cycles mixed in.
    StereoDouble ChannelWave(StereoDouble channelPhase, double m) const;
    template <class T>
    T WaveOf(T theta, double m) const;
    // Writes a frame into the jitter line and reads each channel back, in place, at
    // its own delay; without the line the frame passes as it is.
    static void DelayStep(DelayLine<2>& line, float& left, float& right, double delayLeft, double delayRight);
};
