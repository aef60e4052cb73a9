#pragma once
#include <cstdint>

#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"
#include "engine/dsp/StereoDouble.h"
#include "engine/stages/DriveChannel.h"

// The input drive: an overdrive and a fuzz voice, both run at four times the
// sample rate and crossfaded by a smoothed voice switch. DRIVE sets gain, tone
// and make-up; at DRIVE 0 the stage fades out of the path and stops working.
class DriveStage
{
public:
    static constexpr int kVoiceOverdrive = 0;
    static constexpr int kVoiceFuzz = 1;
    // Input-to-output delay while the stage is engaged, in samples at 1x.
    static constexpr int kLatencySamples = 14;
    static constexpr int kCurvePoints = 11;
    static const double kCurveX[kCurvePoints];
    static const double kCurveOverdriveDb[kCurvePoints];
    static const double kCurveFuzzDb[kCurvePoints];

    DriveStage();

    // Back to the constructed state: DRIVE 0, overdrive voice, nothing prepared.
    void ResetToConstructed();
    // Starts from the constructed state, then sets up coefficients for the rate;
    // the stage comes out bypassed on the overdrive voice.
    void Prepare(double sampleRate);

    // DRIVE, clamped to 0..1, into the target and the smoother's target.
    void SetDrive(double drive);
    // kVoiceFuzz or kVoiceOverdrive.
    void SetVoice(int newVoice);

    // In place.
    void Process(float* left, float* right, int n);

    // True once the stage has faded out completely and passes samples untouched.
    bool IsBypassed() const { return bypassed != 0; }

    // Make-up curves in dB over the smoothed drive.
    static double CurveLookup(const double (&values)[kCurvePoints], double d);

    double SampleRate() const { return sampleRate; }
    // The smoothed voice switch: 0 the overdrive, 1 the fuzz.
    double VoiceMix() const { return voiceMix; }

    // The most samples worked through the oversampling chain at once.
    static constexpr int kRunLength = 64;

private:
    // Coefficients of the current smoothed drive.
    double preGain = 1.0;
    double odMakeup = 1.0;
    double fuzzGain = 1.0;
    double fuzzMakeup = 1.0;
    double octaveMix = 0.0;
    double bias = 0.0;
    double fuzzLowpass = 0.0;
    double cutoffBias = 0.15;
    double gateHigh = 0.0;
    double gateLow = 0.0;
    double fadeIn = 0.0;
    double odLowpass = 0.0;
    double cachedDrive = -1.0;

    double sampleRate = EngineMath::kDefaultSampleRate;
    double driveTarget = 0.0;
    int32_t voice = kVoiceOverdrive;
    ParamSmoother driveSmoother;

    double bypassMix = 1.0; // 1 = dry
    double bypassCoefficient = 1.0;
    double voiceMix = 0.0; // 1 = fuzz
    double voiceCoefficient = 1.0;

    double a720 = 0.0;
    double a9000 = 0.0;
    double a250 = 0.0;
    double a30 = 0.0;
    double envelopeAttack = 1.0;
    double envelopeRelease = 1.0;

    uint8_t bypassed = 0;
    uint8_t fuzzSilent = 0;

    DriveChannel channels; // left and right side by side

    double dcPole = 0.0; // of the output DC blocker, for sampleRate
    void UpdateCoefficients(double d);
    // Samples whose switches have moved but whose audio waits, all sharing the
    // coefficients and the voice path of their first one.
    void FlushPending(float* left, float* right);
    bool SwitchesHold(double bypassTarget, double voiceTarget) const;
    // The rest of a call whose switches hold, straight through the chain.
    void ProcessSettled(float* left, float* right, int n);
    // Compiled once with the fuzz voice and once without, so the overdrive alone
    // carries none of the fuzz path's tests.
    template <bool Fuzz>
    void ProcessFrames(float* left, float* right, int count);
    // The steps of ProcessFrames: the run's input and fuzz gates, the voices at
    // 4x, and the output mixed with the dry input.
    template <bool Fuzz>
    void TakeRunInput(const float* left, const float* right, int count);
    template <bool Fuzz>
    void RunVoices(int count);
    void WriteRunOutput(float* left, float* right, int count);
    // Leaving bypass clears every filter, waking the fuzz voice its own.
    void WakeFilters(bool fuzz);
    using VoiceMemory = DriveChannel::VoiceMemory;
    // The coefficients the voices read, as they enter each sample's arithmetic.
    struct VoiceCoefficients
    {
        double odLow720Step, odLow9000Step, preGain, odPostStep, odMakeup, fadeIn;
        double fuzzLow250Step, fuzzDcStep, octaveMix, fuzzGain, bias, cutSpan, fuzzPostStep, fuzzMakeup;
    };
    VoiceCoefficients CurrentVoiceCoefficients() const;
    template <bool Fuzz>
    static StereoDouble ProcessVoices(VoiceMemory& m, const VoiceCoefficients& c, StereoDouble u, StereoDouble gateOpen,
                                      StereoDouble gateCut, double mix);

    int pendingStart = 0;
    int pendingCount = 0;
    bool pendingFuzz = false;
    double pendingBypassMix[kRunLength] = {};
    double pendingVoiceMix[kRunLength] = {};
    StereoDouble runInput[kRunLength] = {};
    StereoDouble runGateOpen[kRunLength] = {};
    StereoDouble runGateCut[kRunLength] = {};
    StereoDouble runHalfRate[2 * kRunLength] = {};
    StereoDouble runQuarterRate[4 * kRunLength] = {};
};
