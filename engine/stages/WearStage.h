#pragma once
#include <cstdint>

#include "engine/dsp/DriftContext.h"
#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"
#include "engine/stages/TapeSaturator.h"
#include "engine/stages/ToneStage.h"
#include "engine/stages/WowFlutter.h"

// Tape-style ageing of the wet signal: wow and flutter, saturation, a worn
// tone, sample-and-hold with mu-law crush, ducked hiss and random dropouts.
// WEAR scales everything; each trim decides how much of its effect WEAR brings.
// At WEAR 0 the stage fades out and then costs nothing.
class WearStage
{
public:
    WearStage();

    // Back to the constructed state: all targets 0, nothing prepared.
    void ResetToConstructed();
    void Prepare(double sampleRate);

    // WEAR and the Wow, Bandwidth, Noise and Crush trims, each clamped to 0..1,
    // into the targets and their smoothers' targets.
    void SetTargets(double wear, double wow, double bandwidth, double noise, double crush);

    // In place.
    void Process(float* left, float* right, int n, DriftContext& drift);

    bool IsBypassed() const { return bypassed != 0; }

    // G.711 mu-law encode and decode of one sample in -1..1.
    static double MuLaw(double x);

    double SampleRate() const { return sampleRate; }

private:
    double sampleRate = EngineMath::kDefaultSampleRate;
    double wearTarget = 0.0;
    double wowTarget = 0.0;
    double bandwidthTarget = 0.0;
    double noiseTarget = 0.0;
    double crushTarget = 0.0;
    ParamSmoother wearSmoother;
    ParamSmoother wowSmoother;
    ParamSmoother bandwidthSmoother;
    ParamSmoother noiseSmoother;
    ParamSmoother crushSmoother;
    double bypassMix = 1.0; // 1 = dry
    double bypassCoefficient = 1.0;
    uint8_t bypassed = 0;
    double duckDb = 1.0;
    double duckGain = 1.0;
    WowFlutter wow[2];
    TapeSaturator saturator[2];
    ToneStage tone[2];
    double holdPhase = 0.0;
    double heldL = 0.0;
    double heldR = 0.0;
    double hissPrevious[2] = {};
    double hissHigh[2] = {};
    double hissLow[2] = {};
    double envelope = 0.0;
    double envelopeAttack = 1.0;
    double envelopeRelease = 1.0;
    double hissHighPole = 0.0;
    double hissLowPole = 0.0;
    uint8_t dropoutActive = 0;
    int32_t dropoutPosition = 0;
    int32_t dropoutLength = 0;
    int32_t dropoutCountdown = 0;
    int32_t dropoutInterval = 4800;
    uint8_t seeded = 0;
    uint32_t randomGeneration = 0;
    uint32_t rng = 1;

    struct Amounts
    {
        double wow = 0.0;
        double saturation = 0.0;
        double tone = 0.0;
        double hissLevel = 0.0;
        double dropoutChance = 0.0;
        double crushMix = 0.0;
        double holdStep = 1.0;
    };

    // What the per-call work hands to the samples it covers.
    struct CallControls
    {
        Amounts amounts;
        double bypassTarget = 1.0;
        bool awake = false; // false: the samples pass untouched
        bool wowInStep = false;
        // The tone units pass their input through for the whole call.
        bool toneBypassed = false;
        // The saturators run with these amounts for the whole call.
        bool saturatorRunning = false;
        double saturatorAmounts[2] = {};
    };

    // The work of a one-sample call before its sample: seeding, the control glides,
    // the bypass decision and the units' settings.
    CallControls BeginCall(DriftContext& drift);
    // True when the next call's BeginCall would change nothing and hand out the
    // same controls, so that the call just begun can cover the samples after it.
    bool NextCallRepeats() const;
    void RenderSamples(float* left, float* right, int n, const CallControls& call);
    // The steps of a sample: the bypass fade (true: the sample passes untouched),
    // the wow, saturation and tone units, the sample-and-hold crush into heldL and
    // heldR, and the next hiss sample of each channel.
    bool StepBypass(double bypassTarget);
    void RunUnits(double& xL, double& xR, const CallControls& call);
    void Crush(double xL, double xR, const Amounts& amounts);
    void NextHiss(double hissLevel, double (&hiss)[2]);
    void SeedFrom(DriftContext& drift);
    void StepSmoothers(double dt);
    Amounts ComputeAmounts() const;
    // ComputeAmounts, computed again only when a smoothed control or the rate has moved.
    const Amounts& CurrentAmounts();
    void ClearAudioState();
    double HissGain(double hissLevel);
    double DropoutGain(double chance);
    uint32_t NextRandom();

    Amounts cachedAmounts;
    double cachedControls[6] = {};
    bool amountsCached = false;
};
